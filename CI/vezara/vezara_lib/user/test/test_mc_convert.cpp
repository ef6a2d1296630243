// Module conversions and reverts: each hardware value worked out by hand
// from the field format of the module's record.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "mc_test_support.h"

namespace {

using mctest::contains;

TEST(McConvertBayer, BlackLevel)
{
    MC_BLC blc{};
    CI_MODULE_BLC hw{};
    int mask = 0;
    blc.updateNeeded = QOV_TRUE;
    blc.bRowAverage = QOV_TRUE;
    blc.fRowAverage = 4.0;
    blc.ui16PixelMax = 64.0;
    blc.aFixedOffset[0] = 7;
    ASSERT_EQ(MC_BLCConvert(&blc, &hw, &mask), QOV_SUCCESS);
    EXPECT_EQ(mask, CI_UPD_GRP_0);
    EXPECT_FALSE(blc.updateNeeded);
    EXPECT_EQ(hw.ui16RowReciprocal, 128); // 0.25 in U1.9
    EXPECT_EQ(hw.ui16PixelMax, 255);      // 63.75 is the U6.2 maximum
    EXPECT_EQ(hw.i8FixedOffset[0], 0);    // no fixed offsets with row averaging

    blc.updateNeeded = QOV_TRUE;
    blc.fRowAverage = 0.0;
    blc.ui16PixelMax = 10.5;
    ASSERT_EQ(MC_BLCConvert(&blc, &hw, &mask), QOV_SUCCESS);
    EXPECT_EQ(hw.ui16RowReciprocal, 0);
    EXPECT_EQ(hw.ui16PixelMax, 42);

    blc.updateNeeded = QOV_TRUE;
    blc.bRowAverage = QOV_FALSE;
    ASSERT_EQ(MC_BLCConvert(&blc, &hw, &mask), QOV_SUCCESS);
    EXPECT_EQ(hw.i8FixedOffset[0], 7);

    // A clean record is left alone.
    hw.ui16PixelMax = 1;
    mask = 0;
    ASSERT_EQ(MC_BLCConvert(&blc, &hw, &mask), QOV_SUCCESS);
    EXPECT_EQ(hw.ui16PixelMax, 1);
    EXPECT_EQ(mask, 0);
}

TEST(McConvertBayer, LensShadingGradientsAndWhiteBalance)
{
    MC_LSH lsh{};
    CI_MODULE_LSH lshHw{};
    int mask = 0;
    lsh.updateNeeded = QOV_TRUE;
    // Each gradient its own value: x then y of channels 0 to 3, in S-1.12
    // (11 bits: -0.25 to 0.25 - 2^-12), negative as 16-bit two's complement.
    const double gradients[4][2] = {{-0.01, 0.01}, {0.5, -0.5}, {0.2, -0.2}, {0.0, 0.1}};
    const QOV_UINT16 expectedX[4] = {0xFFD7, 1023, 819, 0};   // -41; 0.5 saturates; 819.2
    const QOV_UINT16 expectedY[4] = {41, 0xFC00, 0xFCCD, 410}; // -0.5 saturates to -1024; -819; 409.6
    for (int c = 0; c < 4; ++c) {
        lsh.aGradients[c][0] = gradients[c][0];
        lsh.aGradients[c][1] = gradients[c][1];
    }
    ASSERT_EQ(MC_LSHConvert(&lsh, &lshHw, &mask), QOV_SUCCESS);
    EXPECT_EQ(mask, 129);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(lshHw.aGradientsX[c], expectedX[c]) << "channel " << c;
        EXPECT_EQ(lshHw.aGradientsY[c], expectedY[c]) << "channel " << c;
    }

    MC_WBC wbc{};
    CI_MODULE_WBC wbcHw{};
    MC_WBCInit(&wbc);
    wbc.aGain[1] = 2.0;
    wbc.afRGBThreshold[1] = 0.0;
    wbc.afRGBThreshold[2] = 0.5;
    mask = 0;
    ASSERT_EQ(MC_WBCConvert(&wbc, &wbcHw, &mask), QOV_SUCCESS);
    EXPECT_EQ(mask, 5);
    EXPECT_EQ(wbcHw.aGain[0], 1024);
    EXPECT_EQ(wbcHw.aGain[1], 2048);
    EXPECT_EQ(wbcHw.aClip[0], 8191); // 512 is above the U9.4 maximum
    EXPECT_EQ(wbcHw.aRGBGain[0], 16);
    EXPECT_EQ(wbcHw.aRGBThreshold[0], 510); // 1.0 x 511 - 1
    EXPECT_EQ(wbcHw.aRGBThreshold[1], 0);   // -1 saturates
    EXPECT_EQ(wbcHw.aRGBThreshold[2], 254); // 254.5 truncated
    EXPECT_EQ(wbcHw.eRGBThresholdMode, WBC_THRESHOLD);
}

TEST(McConvertBayer, Denoiser)
{
    MC_DNS dns{};
    CI_MODULE_DNS hw{};
    int mask = 0;
    MC_DNSInit(&dns);
    dns.aPixThresLUT[20] = 1.0;
    ASSERT_EQ(MC_DNSConvert(&dns, &hw, &mask), QOV_SUCCESS);
    EXPECT_EQ(mask, CI_UPD_GRP_1);
    EXPECT_EQ(hw.i8Log2PixThresh, -16); // log2 0.25 = -2 in S3.3
    EXPECT_EQ(hw.aPixThresLUT[20], 32);

    dns.updateNeeded = QOV_TRUE;
    dns.fGreyscalePixelThreshold = 0.0; // log2 0 = -inf saturates
    ASSERT_EQ(MC_DNSConvert(&dns, &hw, &mask), QOV_SUCCESS);
    EXPECT_EQ(hw.i8Log2PixThresh, -32);

    dns.updateNeeded = QOV_TRUE;
    dns.fGreyscalePixelThreshold = -1.0; // log of a negative number: NaN gives 0
    ASSERT_EQ(MC_DNSConvert(&dns, &hw, &mask), QOV_SUCCESS);
    EXPECT_EQ(hw.i8Log2PixThresh, 0);
}

// Every element of the raw-domain records at a value of its own (each
// exact in its format), so a dropped, swapped or mis-indexed element shows.
TEST(McConvertBayer, EveryElementAtAValueOfItsOwn)
{
    int mask = 0;
    for (const bool rowAverage : {false, true}) {
        SCOPED_TRACE(rowAverage ? "row average" : "fixed offsets");
        MC_BLC blc{};
        CI_MODULE_BLC blcHw;
        memset(&blcHw, 0x5A, sizeof(blcHw));
        blc.updateNeeded = QOV_TRUE;
        blc.bBlackFrame = QOV_TRUE;
        blc.bRowAverage = rowAverage;
        blc.fRowAverage = 2.0;
        blc.ui16PixelMax = 50.25;
        for (int c = 0; c < 4; ++c)
            blc.aFixedOffset[c] = static_cast<QOV_INT8>(3 * c - 5);
        ASSERT_EQ(MC_BLCConvert(&blc, &blcHw, &mask), QOV_SUCCESS);
        EXPECT_EQ(blcHw.bBlackFrame, 1);
        EXPECT_EQ(blcHw.bRowAverage, rowAverage ? 1 : 0);
        EXPECT_EQ(blcHw.ui16RowReciprocal, rowAverage ? 256 : 0); // 0.5 in U1.9
        EXPECT_EQ(blcHw.ui16PixelMax, 201);                        // U6.2
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(blcHw.i8FixedOffset[c], rowAverage ? 0 : 3 * c - 5) << c;
    }

    MC_WBC wbc{};
    CI_MODULE_WBC wbcHw;
    memset(&wbcHw, 0x5A, sizeof(wbcHw));
    wbc.updateNeeded = QOV_TRUE;
    wbc.eRGBThresholdMode = WBC_SATURATION;
    for (int c = 0; c < 4; ++c) {
        wbc.aGain[c] = 1.0 + c / 4.0;
        wbc.aClip[c] = 100.0 + 1.5 * c;
    }
    const double thresholds[3] = {0.5, 0.625, 0.75};
    const QOV_UINT16 thresholdFields[3] = {254, 318, 382}; // trunc(t x 511 - 1)
    for (int i = 0; i < 3; ++i) {
        wbc.afRGBThreshold[i] = thresholds[i];
        wbc.afRGBGain[i] = 1.5 + 0.25 * i;
    }
    ASSERT_EQ(MC_WBCConvert(&wbc, &wbcHw, &mask), QOV_SUCCESS);
    EXPECT_EQ(wbcHw.eRGBThresholdMode, WBC_SATURATION);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(wbcHw.aGain[c], 1024 + 256 * c) << c; // U6.10
        EXPECT_EQ(wbcHw.aClip[c], 1600 + 24 * c) << c;  // U9.4
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(wbcHw.aRGBThreshold[i], thresholdFields[i]) << i;
        EXPECT_EQ(wbcHw.aRGBGain[i], 24 + 4 * i) << i; // U4.4
    }

    MC_LSH lsh{};
    CI_MODULE_LSH lshHw;
    memset(&lshHw, 0x5A, sizeof(lshHw));
    lsh.updateNeeded = QOV_TRUE;
    for (int c = 0; c < 4; ++c)
        for (int d = 0; d < 2; ++d)
            lsh.aGradients[c][d] = (d ? -1 : 1) * (37 * (2 * c + d) + 5) / 4096.0; // S-1.12
    ASSERT_EQ(MC_LSHConvert(&lsh, &lshHw, &mask), QOV_SUCCESS);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(lshHw.aGradientsX[c], 37 * 2 * c + 5) << c;
        EXPECT_EQ(lshHw.aGradientsY[c], QOV_UINT16(-(37 * (2 * c + 1) + 5))) << c;
    }

    MC_DNS dns{};
    CI_MODULE_DNS dnsHw;
    memset(&dnsHw, 0x5A, sizeof(dnsHw));
    dns.updateNeeded = QOV_TRUE;
    dns.bCombineChannels = QOV_TRUE;
    dns.fGreyscalePixelThreshold = 2.0;
    for (int i = 0; i < 21; ++i)
        dns.aPixThresLUT[i] = 1.5 * i + 0.25;
    ASSERT_EQ(MC_DNSConvert(&dns, &dnsHw, &mask), QOV_SUCCESS);
    EXPECT_EQ(dnsHw.bCombineChannels, 1);
    EXPECT_EQ(dnsHw.i8Log2PixThresh, 8); // log2 2 = 1 in S3.3
    for (int i = 0; i < 21; ++i)
        EXPECT_EQ(dnsHw.aPixThresLUT[i], 48 * i + 8) << i; // U8.5

    MC_LCA lca{};
    CI_MODULE_LCA lcaHw;
    memset(&lcaHw, 0x5A, sizeof(lcaHw));
    lca.updateNeeded = QOV_TRUE;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 2; ++j) {
            lca.aCoeffRed[i][j] = (j ? -1 : 1) * (1 + 2 * i + j) * 0.25;
            lca.aCoeffBlue[i][j] = (10 + 2 * i + j) * 0.125;
        }
    }
    for (int d = 0; d < 2; ++d) {
        lca.aOffsetRed[d] = static_cast<QOV_UINT16>(11 + d);
        lca.aOffsetBlue[d] = static_cast<QOV_UINT16>(21 + d);
        lca.aShift[d] = static_cast<QOV_UINT8>(d ? 0xFE : 3);
        lca.aDec[d] = static_cast<QOV_UINT8>(1 + d);
    }
    ASSERT_EQ(MC_LCAConvert(&lca, &lcaHw, &mask), QOV_SUCCESS);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 2; ++j) {
            EXPECT_EQ(lcaHw.aCoeffRed[i][j], (j ? -1 : 1) * (1 + 2 * i + j) * 32) << i << "," << j; // S5.7
            EXPECT_EQ(lcaHw.aCoeffBlue[i][j], (10 + 2 * i + j) * 16) << i << "," << j;
        }
    }
    for (int d = 0; d < 2; ++d) {
        EXPECT_EQ(lcaHw.aOffsetRed[d], 11 + d);
        EXPECT_EQ(lcaHw.aOffsetBlue[d], 21 + d);
        EXPECT_EQ(lcaHw.aShift[d], d ? 0xFE : 3);
        EXPECT_EQ(lcaHw.aDec[d], 1 + d);
    }
}

class McConvertDpf : public testing::Test
{
  protected:
    void TearDown() override
    {
        MC_DPFFree(&dpf);
        free(hw.sInput.apDefectInput);
    }

    void setMap(std::initializer_list<QOV_UINT16> ys)
    {
        MC_DPFFree(&dpf);
        dpf.apDefectInput = static_cast<QOV_UINT16 *>(calloc(2 * ys.size() + 2, sizeof(QOV_UINT16)));
        QOV_UINT32 i = 0;
        for (QOV_UINT16 y : ys) {
            dpf.apDefectInput[2 * i] = static_cast<QOV_UINT16>(3 * i);
            dpf.apDefectInput[2 * i + 1] = y;
            ++i;
        }
        dpf.ui32NDefect = i;
        dpf.updateNeeded = QOV_TRUE;
    }

    MC_DPF dpf{};
    MC_IIF iif{};
    CI_MODULE_DPF hw{};
    int mask = 0;
};

TEST_F(McConvertDpf, ReadBufferFromTheBusiestLineWindow)
{
    iif.ui16ImagerSize[1] = 100; // 200 lines
    dpf.ui16NbLines = 10;        // 21 windows
    dpf.fWeight = 100.0;
    dpf.aSkip[1] = 3;
    dpf.eDPFEnable = CI_DPF_DETECT_ENABLED | CI_DPF_READ_MAP_ENABLED;
    setMap({0, 5, 9, 15});
    ASSERT_EQ(MC_DPFConvert(&dpf, &iif, &hw, &mask), QOV_SUCCESS);
    EXPECT_EQ(hw.sInput.ui16InternalBufSize, 16); // (3 + 1) x 4
    EXPECT_EQ(hw.sInput.ui32NDefect, 4u);
    ASSERT_NE(hw.sInput.apDefectInput, nullptr);
    EXPECT_NE(hw.sInput.apDefectInput, dpf.apDefectInput); // its own copy
    EXPECT_EQ(hw.sInput.apDefectInput[7], 15);
    EXPECT_EQ(hw.ui8Weight, 63); // U6.0 maximum
    EXPECT_EQ(hw.aSkip[1], 3);
    EXPECT_EQ(hw.eDPFEnable, 5);
    // A new defect list reaches the driver.
    EXPECT_EQ(mask, CI_UPD_GRP_1 | CI_UPD_DPF_INPUT);

    // Removing the list is a change too; after that, nothing to send.
    MC_DPFFree(&dpf);
    dpf.updateNeeded = QOV_TRUE;
    mask = 0;
    ASSERT_EQ(MC_DPFConvert(&dpf, &iif, &hw, &mask), QOV_SUCCESS);
    EXPECT_EQ(mask, CI_UPD_GRP_1 | CI_UPD_DPF_INPUT);
    EXPECT_EQ(hw.sInput.apDefectInput, nullptr);
    dpf.updateNeeded = QOV_TRUE;
    mask = 0;
    ASSERT_EQ(MC_DPFConvert(&dpf, &iif, &hw, &mask), QOV_SUCCESS);
    EXPECT_EQ(mask, CI_UPD_GRP_1);
}

TEST_F(McConvertDpf, DefectBelowTheLastWindowIsRefused)
{
    iif.ui16ImagerSize[1] = 100;
    dpf.ui16NbLines = 10;
    setMap({0, 210});
    testing::internal::CaptureStderr();
    EXPECT_EQ(MC_DPFConvert(&dpf, &iif, &hw, &mask), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_TRUE(contains(testing::internal::GetCapturedStderr(),
                         "The given DPF map has more lines than the IIF is setup for! Found y=210 while "
                         "IIF_height=200\n"));
    EXPECT_FALSE(dpf.updateNeeded);
}

// The windows cover the image and one window more: the rows of the last,
// partial window are accepted, the first row past it is refused.
TEST_F(McConvertDpf, LastPartialLineWindow)
{
    const struct {
        QOV_UINT16 imagerHeight, lines, y;
        bool accepted;
    } cases[] = {
        {100, 10, 209, true},  // 200 lines: 21 windows, the last 200-209
        {100, 10, 210, false},
        {99, 10, 197, true},   // 198 lines: 20 windows, the last 190-199
        {99, 10, 199, true},
        {99, 10, 200, false},
        {99, 7, 202, true},    // 29 windows, the last 196-202
        {99, 7, 203, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE("height " + std::to_string(c.imagerHeight) + ", " + std::to_string(c.lines) + " lines, y " +
                     std::to_string(c.y));
        iif.ui16ImagerSize[1] = c.imagerHeight;
        dpf.ui16NbLines = c.lines;
        setMap({0, c.y, c.y, c.y});
        testing::internal::CaptureStderr();
        const QOV_RESULT r = MC_DPFConvert(&dpf, &iif, &hw, &mask);
        const std::string err = testing::internal::GetCapturedStderr();
        if (c.accepted) {
            EXPECT_EQ(r, QOV_SUCCESS) << err;
            EXPECT_EQ(hw.sInput.ui16InternalBufSize, 16); // three in the last window: (3 + 1) x 4
        } else {
            EXPECT_EQ(r, QOV_ERROR_NOT_SUPPORTED);
            EXPECT_TRUE(contains(err, ("Found y=" + std::to_string(c.y) + " while IIF_height=" +
                                       std::to_string(2 * c.imagerHeight) + "\n")
                                          .c_str()))
                << err;
        }
    }
}

TEST_F(McConvertDpf, EmptyMapIsRefused)
{
    setMap({});
    testing::internal::CaptureStdout();
    EXPECT_EQ(MC_DPFConvert(&dpf, &iif, &hw, &mask), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_TRUE(contains(testing::internal::GetCapturedStdout(), "MC_DPFConvert"));
    EXPECT_EQ(hw.sInput.ui32NDefect, 0u);
    EXPECT_EQ(hw.sInput.apDefectInput, nullptr);
}

TEST_F(McConvertDpf, Revert)
{
    hw.eDPFEnable = 3;
    hw.ui8Weight = 63;
    hw.ui8Threshold = 9;
    hw.aOffset[0] = 12;
    hw.sInput.ui32NDefect = 7;
    dpf.updateNeeded = QOV_TRUE;
    ASSERT_EQ(MC_DPFRevert(&hw, 0, &dpf), QOV_SUCCESS);
    EXPECT_FALSE(dpf.updateNeeded);
    EXPECT_EQ(dpf.fWeight, 63.0);
    EXPECT_EQ(dpf.ui32NDefect, 7u);
    EXPECT_EQ(dpf.apDefectInput, nullptr);
    EXPECT_EQ(dpf.aOffset[0], 12);
    EXPECT_EQ(dpf.eDPFEnable, 3);
}

TEST(McConvertBayer, ChromaAberration)
{
    MC_LCA lca{};
    CI_MODULE_LCA hw{};
    int mask = 0;
    lca.updateNeeded = QOV_TRUE;
    lca.aCoeffRed[0][0] = 1.0;
    lca.aCoeffBlue[2][1] = -0.5;
    lca.aCoeffRed[1][1] = 100.0; // above the S5.7 maximum
    lca.aShift[0] = 0xFF;
    lca.aOffsetBlue[1] = 300;
    ASSERT_EQ(MC_LCAConvert(&lca, &hw, &mask), QOV_SUCCESS);
    EXPECT_EQ(mask, CI_UPD_GRP_1);
    EXPECT_EQ(hw.aCoeffRed[0][0], 128);
    EXPECT_EQ(hw.aCoeffBlue[2][1], -64);
    EXPECT_EQ(hw.aCoeffRed[1][1], 2047);
    EXPECT_EQ(hw.aShift[0], 0xFF);
    EXPECT_EQ(hw.aOffsetBlue[1], 300);

    // Shifts are copied whole; the load structure holds them to the field.
    for (QOV_UINT8 shift : {2, 3, 5, 0xF7}) {
        lca.updateNeeded = QOV_TRUE;
        lca.aShift[1] = shift;
        ASSERT_EQ(MC_LCAConvert(&lca, &hw, &mask), QOV_SUCCESS);
        EXPECT_EQ(hw.aShift[1], shift) << "shift " << int(shift);
    }
}

TEST(McConvertColour, ColourMatrixAndGamutMappers)
{
    MC_CCM ccm{};
    CI_MODULE_CCM ccmHw{};
    int mask = 0;
    MC_CCMInit(&ccm);
    ccm.aCoeff[0][1] = -0.5;
    ccm.aCoeff[2][3] = 0.25;
    ccm.aOffset[0] = 12.7;
    ccm.aOffset[1] = -3.9;
    ccm.aOffset[2] = 1e9; // saturates rather than overflowing
    ASSERT_EQ(MC_CCMConvert(&ccm, &ccmHw, &mask), QOV_SUCCESS);
    EXPECT_EQ(mask, CI_UPD_GRP_2);
    EXPECT_EQ(ccmHw.aCoeff[0][0], 512);
    EXPECT_EQ(ccmHw.aCoeff[0][1], -256);
    EXPECT_EQ(ccmHw.aCoeff[2][3], 128);
    EXPECT_EQ(ccmHw.aOffset[0], 12);
    EXPECT_EQ(ccmHw.aOffset[1], -3);
    EXPECT_EQ(ccmHw.aOffset[2], 32767);

    MC_MGM mgm{};
    CI_MODULE_MGM mgmHw{};
    MC_MGMInit(&mgm);
    mgm.aCoeff[5] = 0.5;
    mask = 0;
    ASSERT_EQ(MC_MGMConvert(&mgm, &mgmHw, &mask), QOV_SUCCESS);
    EXPECT_EQ(mask, CI_UPD_GRP_2);
    EXPECT_EQ(mgmHw.i16ClipMin, -512);
    EXPECT_EQ(mgmHw.ui16ClipMax, 1536);
    EXPECT_EQ(mgmHw.ui16SrcNorm, 1024);
    EXPECT_EQ(mgmHw.aSlope[0], 1024);
    EXPECT_EQ(mgmHw.aSlope[2], 0);
    EXPECT_EQ(mgmHw.aCoeff[5], 32);

    MC_DGM dgm{};
    CI_MODULE_DGM dgmHw{};
    MC_DGMInit(&dgm);
    mask = 0;
    ASSERT_EQ(MC_DGMConvert(&dgm, &dgmHw, &mask), QOV_SUCCESS);
    EXPECT_EQ(mask, CI_UPD_GRP_6);

    MC_GMA gma{};
    CI_MODULE_GMA gmaHw{};
    gma.updateNeeded = QOV_TRUE;
    gma.bBypass = QOV_TRUE;
    mask = 0;
    ASSERT_EQ(MC_GMAConvert(&gma, &gmaHw, &mask), QOV_SUCCESS);
    EXPECT_EQ(gmaHw.bBypass, 1);
    EXPECT_EQ(mask, CI_UPD_GRP_2);
}

TEST(McConvertColour, PlaneConverters)
{
    MC_R2Y r2y{};
    CI_MODULE_R2Y r2yHw{};
    int mask = 0;
    MC_R2YInit(&r2y);
    r2yHw.eType = YCC_TO_YCC;
    ASSERT_EQ(MC_R2YConvert(&r2y, &r2yHw, &mask), QOV_SUCCESS);
    EXPECT_EQ(mask, CI_UPD_GRP_2);
    // S2.10: 0.439 x 1024 = 449.5, -0.399 x 1024 = -408.6, -0.04 x 1024 = -40.96.
    EXPECT_EQ(r2yHw.aCoeff[0][0], 450);
    EXPECT_EQ(r2yHw.aCoeff[0][1], -409);
    EXPECT_EQ(r2yHw.aCoeff[0][2], -41);
    EXPECT_EQ(r2yHw.aOffset[1], 2); // 0.5 in S8.2
    EXPECT_EQ(r2yHw.eType, YCC_TO_YCC); // not written

    MC_Y2R y2r{};
    CI_MODULE_Y2R y2rHw{};
    MC_Y2RInit(&y2r);
    mask = 0;
    ASSERT_EQ(MC_Y2RConvert(&y2r, &y2rHw, &mask), QOV_SUCCESS);
    EXPECT_EQ(mask, CI_UPD_GRP_6);
    EXPECT_EQ(y2rHw.aCoeff[0][0], 806); // 1.5748 x 512 = 806.3
    EXPECT_EQ(y2rHw.aCoeff[1][2], -96); // -0.1873 x 512 = -95.9
    EXPECT_EQ(y2rHw.aOffset[0], -512);  // -128 in S9.2
    EXPECT_EQ(y2rHw.aOffset[1], -64);
}

// Every element of the colour records at a value of its own (each exact in
// its format); the two gamut mappers and the two plane converters differ.
TEST(McConvertColour, EveryElementAtAValueOfItsOwn)
{
    int mask = 0;
    MC_CCM ccm{};
    CI_MODULE_CCM ccmHw;
    memset(&ccmHw, 0x5A, sizeof(ccmHw));
    ccm.updateNeeded = QOV_TRUE;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j)
            ccm.aCoeff[i][j] = (4 * i + j - 6) * 0.125;
    const double offsets[3] = {-7.9, 3.2, 100.5};
    const QOV_INT16 offsetFields[3] = {-7, 3, 100};
    for (int i = 0; i < 3; ++i)
        ccm.aOffset[i] = offsets[i];
    ASSERT_EQ(MC_CCMConvert(&ccm, &ccmHw, &mask), QOV_SUCCESS);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 4; ++j)
            EXPECT_EQ(ccmHw.aCoeff[i][j], (4 * i + j - 6) * 64) << i << "," << j; // S3.9
        EXPECT_EQ(ccmHw.aOffset[i], offsetFields[i]) << i;
    }

    for (int mapper = 0; mapper < 2; ++mapper) {
        SCOPED_TRACE(mapper ? "display gamut mapper" : "main gamut mapper");
        MC_GAMUTMAPPER gm{};
        CI_MODULE_GAMUTMAPPER gmHw;
        memset(&gmHw, 0x5A, sizeof(gmHw));
        gm.updateNeeded = QOV_TRUE;
        const int m = mapper;
        gm.fClipMin = -0.25 - 0.25 * m;
        gm.fClipMax = 1.25 + 0.5 * m;
        gm.fSrcNorm = 0.75 + 0.25 * m;
        for (int i = 0; i < 3; ++i)
            gm.aSlope[i] = 0.5 + 0.75 * i + 0.25 * m;
        for (int i = 0; i < 6; ++i)
            gm.aCoeff[i] = (i - 3) * 0.25 + 0.125 * m;
        ASSERT_EQ(mapper ? MC_DGMConvert(&gm, &gmHw, &mask) : MC_MGMConvert(&gm, &gmHw, &mask), QOV_SUCCESS);
        EXPECT_EQ(gmHw.i16ClipMin, -256 - 256 * m); // S10.2 of value x 256
        EXPECT_EQ(gmHw.ui16ClipMax, 1280 + 512 * m);
        EXPECT_EQ(gmHw.ui16SrcNorm, 768 + 256 * m);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(gmHw.aSlope[i], 512 + 768 * i + 256 * m) << i; // U2.10
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(gmHw.aCoeff[i], (i - 3) * 16 + 8 * m) << i; // S2.6
    }

    MC_R2Y r2y{};
    CI_MODULE_R2Y r2yHw;
    MC_Y2R y2r{};
    CI_MODULE_Y2R y2rHw;
    memset(&r2yHw, 0x5A, sizeof(r2yHw));
    memset(&y2rHw, 0x5A, sizeof(y2rHw));
    r2y.updateNeeded = y2r.updateNeeded = QOV_TRUE;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            r2y.aCoeff[i][j] = (3 * i + j - 4) * 0.125;
            y2r.aCoeff[i][j] = (3 * i + j - 4) * 0.25;
        }
        r2y.aOffset[i] = 1.25 * (i + 1);
        y2r.aOffset[i] = -10.5 * (i + 1);
    }
    ASSERT_EQ(MC_R2YConvert(&r2y, &r2yHw, &mask), QOV_SUCCESS);
    ASSERT_EQ(MC_Y2RConvert(&y2r, &y2rHw, &mask), QOV_SUCCESS);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            EXPECT_EQ(r2yHw.aCoeff[i][j], (3 * i + j - 4) * 128) << i << "," << j; // S2.10
            EXPECT_EQ(y2rHw.aCoeff[i][j], (3 * i + j - 4) * 128) << i << "," << j; // S3.9
        }
        EXPECT_EQ(r2yHw.aOffset[i], 5 * (i + 1)) << i;   // S8.2
        EXPECT_EQ(y2rHw.aOffset[i], -42 * (i + 1)) << i; // S9.2
    }

    MC_SHA sha{};
    CI_MODULE_SHA shaHw;
    memset(&shaHw, 0x5A, sizeof(shaHw));
    sha.updateNeeded = QOV_TRUE;
    sha.ui16Threshold = 17;
    sha.fStrength = 33.9;
    sha.fDetail = 0.5;
    sha.bDenoise = QOV_TRUE;
    for (int i = 0; i < 6; ++i)
        sha.aGainWeigth[i] = 1.9 + i;
    sha.fELWScale = 7.7;
    sha.i16ELWOffset = -301;
    for (int i = 0; i < 7; ++i) {
        sha.aDNSimil[i] = static_cast<QOV_UINT16>(10 * i + 3);
        sha.aDNAvoid[i] = static_cast<QOV_UINT16>(200 + 20 * i);
    }
    ASSERT_EQ(MC_SHAConvert(&sha, &shaHw, nullptr, &mask), QOV_SUCCESS);
    EXPECT_EQ(shaHw.ui8Threshold, 17);
    EXPECT_EQ(shaHw.ui8Strength, 33);
    EXPECT_EQ(shaHw.ui8Detail, 32); // U0.6
    EXPECT_EQ(shaHw.bDenoiseBypass, 0);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(shaHw.aGainWeight[i], 1 + i) << i;
    EXPECT_EQ(shaHw.ui8ELWScale, 7);
    EXPECT_EQ(shaHw.i8ELWOffset, -45); // the low byte of -301
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(shaHw.aDNSimil[i], 10 * i + 3) << i;
        EXPECT_EQ(shaHw.aDNAvoid[i], std::min(200 + 20 * i, 255)) << i;
    }
}

TEST(McConvertColour, ImageEnhancer)
{
    MC_MIE mie{};
    CI_MODULE_MIE hw{};
    int mask = 0;
    MC_MIEInit(&mie);
    mie.fBlackLevel = 16.0;
    mie.aVibrancySatMul[31] = 1.0;
    mie.aGaussCB[0] = 0.9;
    mie.aGaussCR[1] = 0.1;
    mie.aYOffset[0] = 1.0;
    mie.aYOffset[1] = 0.0;
    mie.aGaussMinY[0] = 1.0;
    mie.aGaussMinY[1] = 2.0;
    mie.aGaussScale[11] = 300.7;
    mie.aGaussScale[0] = 12.9;
    mie.aGaussGain[11] = 0.5;
    mie.aRot[5] = -1.0;
    mie.aCOffset[2] = -2.25;
    ASSERT_EQ(MC_MIEConvert(&mie, &hw, nullptr, &mask), QOV_SUCCESS);
    EXPECT_EQ(mask, CI_UPD_GRP_3);
    EXPECT_EQ(hw.ui16BlackLevel, 64);
    EXPECT_EQ(hw.aVibrancySatMul[31], 256);
    // 0.9 x 1023 - 512 = 408.7 -> 408 = 0x198, whose low byte is -104.
    EXPECT_EQ(hw.aGaussCB[0], -104);
    // 0.1 x 1023 - 512 = -409.7 -> -409 = 0x...E67, low byte 0x67.
    EXPECT_EQ(hw.aGaussCR[1], 103);
    EXPECT_EQ(hw.aYOffset[0], 8191);
    EXPECT_EQ(hw.aYOffset[1], -8192);
    EXPECT_EQ(hw.aGaussMinY[0], 1023);
    EXPECT_EQ(hw.aGaussMinY[1], 1023);
    EXPECT_EQ(hw.aGaussScale[11], 255);
    EXPECT_EQ(hw.aGaussScale[0], 12);
    EXPECT_EQ(hw.aGaussGain[11], 128);
    EXPECT_EQ(hw.aRot[5], -128);
    EXPECT_EQ(hw.aCOffset[2], -5); // -4.5 rounded away from zero
}

// Every element of the image enhancer's three memory colours at a value of
// its own; the fourth colour's entries have no register.
TEST(McConvertColour, ImageEnhancerEveryElement)
{
    MC_MIE mie{};
    CI_MODULE_MIE hw;
    memset(&hw, 0x5A, sizeof(hw));
    int mask = 0;
    mie.updateNeeded = QOV_TRUE;
    mie.fBlackLevel = 12.25;
    mie.bVibrancy = QOV_TRUE;
    mie.bMemoryColour = QOV_TRUE;
    for (int i = 0; i < 32; ++i)
        mie.aVibrancySatMul[i] = 0.25 * i;
    const double cb[3] = {0.45, 0.48, 0.51}, cr[3] = {0.55, 0.52, 0.49};
    for (int i = 0; i < 4; ++i) {
        mie.aYOffset[i] = 0.125 * (i + 1);
        mie.aCOffset[i] = 1.5 * (i + 1);
        mie.aYScale[i] = 0.25 * (i + 1);
        mie.aCScale[i] = 0.5 * (i + 1);
        mie.aGaussMinY[i] = 0.25 * (i + 1);
        mie.aGaussScaleY[i] = 0.75 * (i + 1);
        mie.aGaussCB[i] = i < 3 ? cb[i] : 0.9;
        mie.aGaussCR[i] = i < 3 ? cr[i] : 0.9;
        mie.aGaussKB[i] = 10 + i;
        mie.aGaussKR[i] = 20 + i;
    }
    for (int k = 0; k < 8; ++k) {
        mie.aRot[k] = (k - 3) * 0.125;
        mie.aGaussRot[k] = (k - 2) * 0.0625;
    }
    for (int k = 0; k < 12; ++k) {
        mie.aGaussScale[k] = 1.7 + k;
        mie.aGaussGain[k] = k / 16.0;
    }
    ASSERT_EQ(MC_MIEConvert(&mie, &hw, nullptr, &mask), QOV_SUCCESS);
    EXPECT_EQ(hw.ui16BlackLevel, 49); // U8.2
    EXPECT_EQ(hw.bVibrancy, 1);
    EXPECT_EQ(hw.bMemoryColour, 1);
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(hw.aVibrancySatMul[i], 64 * i) << i; // U4.8
    const QOV_INT16 yOffset[3] = {-6144, -4096, -2048}; // trunc(v x 16383 - 8192)
    const QOV_UINT16 minY[3] = {255, 511, 767};         // trunc(v x 1023)
    const QOV_INT8 cbField[3] = {-51, -20, 9}, crField[3] = {50, 19, -10}; // trunc(v x 1023 - 512)
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(hw.aYOffset[i], yOffset[i]);
        EXPECT_EQ(hw.aCOffset[i], 3 * (i + 1));      // S9.1
        EXPECT_EQ(hw.aYScale[i], 4 * (i + 1));       // U2.4
        EXPECT_EQ(hw.aCScale[i], 8 * (i + 1));       // U4.4
        EXPECT_EQ(hw.aGaussMinY[i], minY[i]);
        EXPECT_EQ(hw.aGaussScaleY[i], 12 * (i + 1)); // U4.4
        EXPECT_EQ(hw.aGaussCB[i], cbField[i]);
        EXPECT_EQ(hw.aGaussCR[i], crField[i]);
        EXPECT_EQ(hw.aGaussKB[i], 10 + i);
        EXPECT_EQ(hw.aGaussKR[i], 20 + i);
    }
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(hw.aRot[k], (k - 3) * 16) << k;     // S1.7
        EXPECT_EQ(hw.aGaussRot[k], (k - 2) * 8) << k; // S1.7
    }
    for (int k = 0; k < 12; ++k) {
        EXPECT_EQ(hw.aGaussScale[k], 1 + k) << k;
        EXPECT_EQ(hw.aGaussGain[k], 16 * k) << k; // U0.8
    }

    // The ends of the 8-bit fields: above them they saturate, below 0 they stop at 0.
    const double beyond[3] = {255.4, 256.0, -5.0};
    const QOV_UINT8 held[3] = {255, 255, 0};
    for (int i = 0; i < 3; ++i) {
        mie.aGaussKB[i] = beyond[i];
        mie.aGaussKR[2 - i] = beyond[i];
        mie.aGaussGain[i] = beyond[i] / 256.0;
        mie.aGaussScaleY[i] = beyond[i] / 16.0;
    }
    mie.updateNeeded = QOV_TRUE;
    ASSERT_EQ(MC_MIEConvert(&mie, &hw, nullptr, &mask), QOV_SUCCESS);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(beyond[i]);
        EXPECT_EQ(hw.aGaussKB[i], held[i]);
        EXPECT_EQ(hw.aGaussKR[2 - i], held[i]);
        EXPECT_EQ(hw.aGaussGain[i], held[i]);
        EXPECT_EQ(hw.aGaussScaleY[i], held[i]);
    }
}

TEST(McConvertColour, ToneMapperColumns)
{
    MC_TNM tnm{};
    MC_IIF iif{};
    CI_MODULE_TNM hw{};
    int mask = 0;
    MC_TNMInit(&tnm, &iif, nullptr);
    iif.ui16ImagerSize[0] = 960;
    ASSERT_EQ(MC_TNMConvert(&tnm, &iif, 2, &hw, &mask), QOV_SUCCESS);
    EXPECT_EQ(mask, CI_UPD_GRP_3);
    EXPECT_EQ(hw.localColWidth[0], 120);
    EXPECT_EQ(hw.localColWidth[1], 546); // 65536 / 120 = 546.1
    EXPECT_EQ(hw.histNormFactor, 273);   // 65536 / 240 = 273.07
    EXPECT_EQ(hw.histNormLastFactor, 273);
    EXPECT_EQ(hw.localColumns, 15);
    EXPECT_EQ(hw.histFlattenThreshold[1], 4096); // 1.0 in U4.12 for a threshold of 0
    EXPECT_EQ(hw.aCurve[0], 32);                 // 1/64 in U1.11
    EXPECT_EQ(hw.chromaIOScale, 28672);          // 1.75 in U2.14
    EXPECT_EQ(hw.inputLumaOffset, 16);
    EXPECT_EQ(hw.inputLumaScale, 4112); // 256/255 x 4096 = 4112.06
    EXPECT_EQ(hw.outputLumaOffset, 256);
    EXPECT_EQ(hw.outputLumaScale, 3520);

    // 2002 pixels in 16 columns: 126 wide, the last 2002 - 15 x 126 = 112.
    tnm.updateNeeded = QOV_TRUE;
    tnm.histFlattenThreshold = 0.5;
    iif.ui16ImagerSize[0] = 1001;
    ASSERT_EQ(MC_TNMConvert(&tnm, &iif, 2, &hw, &mask), QOV_SUCCESS);
    EXPECT_EQ(hw.localColWidth[0], 126);
    EXPECT_EQ(hw.histNormFactor, 260);     // 65536 / 252 = 260.06
    EXPECT_EQ(hw.histNormLastFactor, 293); // 65536 / 224 = 292.57
    EXPECT_EQ(hw.histFlattenThreshold[0], 1024);
    EXPECT_EQ(hw.histFlattenThreshold[1], 8192);

    // No columns at all: no division by zero, a width the check refuses.
    tnm.updateNeeded = QOV_TRUE;
    tnm.ui16LocalColumns = 0;
    ASSERT_EQ(MC_TNMConvert(&tnm, &iif, 2, &hw, &mask), QOV_SUCCESS);
    EXPECT_EQ(hw.localColWidth[0], 0);
    EXPECT_EQ(hw.localColWidth[1], 0);
    EXPECT_EQ(CI_ModuleTNM_verif(&hw), QOV_ERROR_FAILURE);
}

// Every tone-mapper field at a value of its own, none at its default.
TEST(McConvertColour, ToneMapperEveryField)
{
    MC_TNM tnm{};
    MC_IIF iif{};
    CI_MODULE_TNM hw;
    memset(&hw, 0x5A, sizeof(hw));
    int mask = 0;
    tnm.updateNeeded = QOV_TRUE;
    tnm.bBypassTNM = QOV_TRUE;
    for (int i = 0; i < 63; ++i)
        tnm.aCurve[i] = i / 32.0;
    tnm.histFlattenMin = 0.25;
    tnm.histFlattenThreshold = 0.75;
    tnm.chromaSaturationScale = 2.5;
    tnm.chromaConfigurationScale = 3.25;
    tnm.chromaIOScale = 0.5;
    tnm.ui16LocalColumns = 8;
    tnm.ui16ColumnsIndex = 5;
    tnm.localWeights = 0.375;
    tnm.updateWeights = 0.125;
    tnm.inputLumaOffset = 2.5;
    tnm.inputLumaScale = 1.5;
    tnm.outputLumaOffset = 12.25;
    tnm.outputLumaScale = 0.75;
    iif.ui16ImagerSize[0] = 1001; // 2002 pixels: 8 columns of 251, the last 245
    ASSERT_EQ(MC_TNMConvert(&tnm, &iif, 2, &hw, &mask), QOV_SUCCESS);
    EXPECT_EQ(mask, CI_UPD_GRP_3);
    for (int i = 0; i < 63; ++i)
        EXPECT_EQ(hw.aCurve[i], i * 64) << i; // U1.11
    EXPECT_EQ(hw.bBypassTNM, 1);
    EXPECT_EQ(hw.histFlattenMin, 512);
    EXPECT_EQ(hw.histFlattenThreshold[0], 1536);
    EXPECT_EQ(hw.histFlattenThreshold[1], 16384); // 1 / (1 - 0.75) in U4.12
    EXPECT_EQ(hw.histNormFactor, 131);            // 65536 / (2 x 251) = 130.5
    EXPECT_EQ(hw.histNormLastFactor, 134);        // 65536 / (2 x 245) = 133.7
    EXPECT_EQ(hw.chromaSaturationScale, 640);
    EXPECT_EQ(hw.chromaConfigurationScale, 3328);
    EXPECT_EQ(hw.chromaIOScale, 8192);
    EXPECT_EQ(hw.localColWidth[0], 251);
    EXPECT_EQ(hw.localColWidth[1], 261); // 65536 / 251 = 261.1
    EXPECT_EQ(hw.localColumns, 7);
    EXPECT_EQ(hw.columnsIdx, 5);
    EXPECT_EQ(hw.localWeights, 384);
    EXPECT_EQ(hw.updateWeights, 8192);
    EXPECT_EQ(hw.inputLumaOffset, 40);
    EXPECT_EQ(hw.inputLumaScale, 6144);
    EXPECT_EQ(hw.outputLumaOffset, 196);
    EXPECT_EQ(hw.outputLumaScale, 3072);
}

// The flatten minimum and threshold are U0.11: 1.0 and above saturate.
TEST(McConvertColour, ToneMapperFlattenEnds)
{
    const struct {
        double value;
        QOV_UINT16 field;
    } cases[] = {{0.0, 0}, {1.0 / 2048, 1}, {2047.0 / 2048, 2047}, {1.0, 2047}, {3.0, 2047}, {-0.5, 0}};
    for (const auto &c : cases) {
        MC_TNM tnm{};
        MC_IIF iif{};
        CI_MODULE_TNM hw{};
        int mask = 0;
        MC_TNMInit(&tnm, &iif, nullptr);
        iif.ui16ImagerSize[0] = 960;
        tnm.histFlattenMin = c.value;
        ASSERT_EQ(MC_TNMConvert(&tnm, &iif, 2, &hw, &mask), QOV_SUCCESS);
        EXPECT_EQ(hw.histFlattenMin, c.field) << "minimum " << c.value;
        if (c.value >= 1.0 || c.value < 0.0)
            continue; // no reciprocal for a threshold of 1 or more
        tnm.updateNeeded = QOV_TRUE;
        tnm.histFlattenThreshold = c.value;
        ASSERT_EQ(MC_TNMConvert(&tnm, &iif, 2, &hw, &mask), QOV_SUCCESS);
        EXPECT_EQ(hw.histFlattenThreshold[0], c.field) << "threshold " << c.value;
    }
}

TEST(McConvertColour, Sharpening)
{
    MC_SHA sha{};
    CI_MODULE_SHA hw{};
    int mask = 0;
    MC_SHAInit(&sha);
    sha.ui16Threshold = 256;
    sha.fStrength = 300.0;
    sha.aGainWeigth[3] = 5.7;
    sha.i16ELWOffset = -64;
    sha.aDNSimil[6] = 300;
    ASSERT_EQ(MC_SHAConvert(&sha, &hw, nullptr, &mask), QOV_SUCCESS);
    EXPECT_EQ(mask, CI_UPD_GRP_4);
    EXPECT_EQ(hw.ui8Threshold, 255);
    EXPECT_EQ(hw.ui8Strength, 255);
    EXPECT_EQ(hw.ui8Detail, 63); // 1.0 saturates U0.6
    EXPECT_EQ(hw.bDenoiseBypass, 1);
    EXPECT_EQ(hw.aGainWeight[1], 0); // 1/3 truncated
    EXPECT_EQ(hw.aGainWeight[3], 5);
    EXPECT_EQ(hw.ui8ELWScale, 4);
    EXPECT_EQ(hw.i8ELWOffset, -64);
    EXPECT_EQ(hw.aDNSimil[6], 255);
}

TEST(McConvertScaler, SizesPitchAndTaps)
{
    MC_ESC esc{};
    MC_IIF iif{};
    CI_MODULE_ESC hw{};
    int mask = 0;
    iif.ui16ImagerSize[0] = 960;
    iif.ui16ImagerSize[1] = 540;
    MC_ESCInit(&esc, &iif);
    esc.aPitch[0] = 2.0;
    esc.aPitch[1] = 1.5;
    ASSERT_EQ(MC_ESCConvert(&esc, &hw, QOV_FALSE, &mask), QOV_SUCCESS);
    EXPECT_EQ(mask, CI_UPD_GRP_5);
    EXPECT_EQ(hw.aOutputSize[0], 959);
    EXPECT_EQ(hw.aOutputSize[1], 1079);
    EXPECT_EQ(hw.aPitch[0], 65536u); // 2.0 in U6.15
    EXPECT_EQ(hw.aPitch[1], 49152u);
    EXPECT_FALSE(hw.bOutput422);
    // 4:2:0: the vertical chroma taps are those of pitch 3.0.
    const QOV_INT8 chroma[16] = {12, 19, 19, 14, 11, 18, 20, 15, 10, 18, 20, 16, 9, 18, 20, 17};
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(hw.VChroma[i], chroma[i]) << i;
    // Horizontal luma, 16 taps at pitch 2 with the cut-off adjustment.
    const QOV_INT8 hluma0[16] = {1, 1, -2, -4, -2, 7, 17, 23, 18, 8, -1, -4, -2, 1, 2, 1};
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(hw.HLuma[i], hluma0[i]) << i;

    // Degenerate sizes.
    esc.updateNeeded = QOV_TRUE;
    esc.aOutputSize[0] = 1;
    esc.aOutputSize[1] = 0;
    ASSERT_EQ(MC_ESCConvert(&esc, &hw, QOV_TRUE, &mask), QOV_SUCCESS);
    EXPECT_EQ(hw.aOutputSize[0], 0);
    EXPECT_EQ(hw.aOutputSize[1], 0);

    // A bypassed scaler keeps its previous taps.
    QOV_INT8 before[16];
    memcpy(before, hw.VChroma, sizeof(before));
    esc.updateNeeded = QOV_TRUE;
    esc.bBypassESC = QOV_TRUE;
    esc.aPitch[1] = 4.0;
    ASSERT_EQ(MC_ESCConvert(&esc, &hw, QOV_FALSE, &mask), QOV_SUCCESS);
    EXPECT_EQ(0, memcmp(before, hw.VChroma, sizeof(before)));
    EXPECT_EQ(hw.bBypassScaler, 1);
    EXPECT_EQ(hw.aPitch[1], 131072u);
}

TEST(McConvertScaler, UpsamplingAndNonFinitePitchesAreRefused)
{
    for (double bad : {0.99, std::nan(""), std::numeric_limits<double>::infinity()}) {
        MC_DSC dsc{};
        MC_IIF iif{};
        CI_MODULE_DSC hw{};
        hw.bIsDisplay = 1;
        memset(hw.HLuma, 0x11, sizeof(hw.HLuma));
        int mask = 0;
        iif.ui16ImagerSize[0] = 100;
        iif.ui16ImagerSize[1] = 100;
        MC_DSCInit(&dsc, &iif);
        dsc.aPitch[0] = bad;
        testing::internal::CaptureStderr();
        EXPECT_EQ(MC_DSCConvert(&dsc, &hw, &mask), QOV_ERROR_NOT_SUPPORTED) << bad;
        EXPECT_TRUE(contains(testing::internal::GetCapturedStderr(), "upsampling not supported"));
        EXPECT_FALSE(dsc.updateNeeded);
        EXPECT_EQ(mask, CI_UPD_GRP_6);
        EXPECT_EQ(hw.HLuma[0], 0x11); // no tap computed
        EXPECT_EQ(hw.aOutputSize[0], 99); // sizes already written
    }
}

TEST(McConvertScaler, DisplayAtPitchOneFitsItsFields)
{
    MC_DSC dsc{};
    MC_IIF iif{};
    CI_MODULE_DSC hw{};
    hw.bIsDisplay = 1;
    int mask = 0;
    iif.ui16ImagerSize[0] = 320;
    iif.ui16ImagerSize[1] = 240;
    MC_DSCInit(&dsc, &iif);
    ASSERT_EQ(MC_DSCConvert(&dsc, &hw, &mask), QOV_SUCCESS);
    EXPECT_EQ(hw.VChroma[0], 63); // the identity phase: 63 and 1
    EXPECT_EQ(hw.VChroma[1], 1);
    EXPECT_EQ(hw.VLuma[1], 63);
    EXPECT_EQ(hw.VLuma[2], 1);
}

// Each scaler's four tap tables follow the pitch of their own direction:
// compared with the taps worked out alone at that pitch, with pitches that
// give different taps horizontally and vertically.
TEST(McConvertScaler, EachTapTableFollowsItsOwnPitch)
{
    struct Case {
        bool display;
        bool output422; // encoder only: 4:2:0 halves the vertical chroma pitch
        double h, v;
        bool adjust;
    } cases[] = {
        {true, false, 2.25, 1.25, true}, {true, false, 1.0, 3.5, false}, {true, false, 3.0, 1.5, false},
        {false, true, 2.25, 1.25, true}, {false, false, 1.25, 2.5, true}, {false, true, 3.5, 1.0, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << (c.display ? "display" : "encoder") << " 422 " << c.output422
                                        << " pitch " << c.h << " x " << c.v << " adjust " << c.adjust);
        MC_IIF iif{};
        iif.ui16ImagerSize[0] = 640;
        iif.ui16ImagerSize[1] = 480;
        CI_MODULE_SCALER hw{};
        hw.bIsDisplay = c.display ? 1 : 0;
        int mask = 0;
        const QOV_BOOL8 adjust = c.adjust ? QOV_TRUE : QOV_FALSE;
        if (c.display) {
            MC_DSC dsc{};
            MC_DSCInit(&dsc, &iif);
            dsc.aPitch[0] = c.h;
            dsc.aPitch[1] = c.v;
            dsc.bAdjustCutoff = adjust;
            ASSERT_EQ(MC_DSCConvert(&dsc, &hw, &mask), QOV_SUCCESS);
        } else {
            MC_ESC esc{};
            MC_ESCInit(&esc, &iif);
            esc.aPitch[0] = c.h;
            esc.aPitch[1] = c.v;
            esc.bAdjustCutoff = adjust;
            ASSERT_EQ(MC_ESCConvert(&esc, &hw, c.output422 ? QOV_TRUE : QOV_FALSE, &mask), QOV_SUCCESS);
        }
        // The display scaler has half the encoder's taps in every table.
        const int lumaH = c.display ? 8 : 16;
        const double chromaV = c.display || c.output422 ? c.v : 2.0 * c.v;
        struct Table {
            const char *name;
            const QOV_INT8 *got;
            size_t size;
            int taps;
            double pitch;
        } tables[] = {
            {"HLuma", hw.HLuma, sizeof(hw.HLuma), lumaH, c.h},
            {"VLuma", hw.VLuma, sizeof(hw.VLuma), lumaH / 2, c.v},
            {"HChroma", hw.HChroma, sizeof(hw.HChroma), lumaH / 2, c.h},
            {"VChroma", hw.VChroma, sizeof(hw.VChroma), lumaH / 4, chromaV},
        };
        for (const Table &t : tables) {
            QOV_INT8 want[64] = {};
            QOV_INT8 other[64] = {};
            QOV_CalculateScalerCoefficients(static_cast<QOV_UINT8>(t.taps), t.pitch, want, adjust);
            // Taps at the other direction's pitch differ, so a swap would show.
            const double otherPitch = t.name[0] == 'H' ? c.v : c.h;
            QOV_CalculateScalerCoefficients(static_cast<QOV_UINT8>(t.taps), otherPitch, other, adjust);
            ASSERT_NE(0, memcmp(want, other, t.size)) << t.name;
            EXPECT_EQ(0, memcmp(want, t.got, t.size)) << t.name;
        }
    }
}

TEST(McConvertColour, HdrTablesFlagTheirChanges)
{
    auto hdr = std::make_unique<MC_HDR>();
    auto hw = std::make_unique<CI_MODULE_HDR>();
    MC_WBC wbc{};
    MC_WBCInit(&wbc);
    int mask = 0;
    MC_HDRInit(hdr.get());
    ASSERT_EQ(MC_HDRConvert(hdr.get(), &wbc, hw.get(), &mask), QOV_SUCCESS);
    EXPECT_EQ(mask, CI_UPD_HDR);
    EXPECT_FALSE(hw->bUpdateWeight); // all zero, as the record already was
    EXPECT_FALSE(hw->bUpdateTNM);
    EXPECT_EQ(hw->aWBCGains[0], 1024);

    hdr->updateNeeded = QOV_TRUE;
    hdr->aTNMCurve[3327] = 0.5;
    hdr->fExposureRatio = 4.0;
    ASSERT_EQ(MC_HDRConvert(hdr.get(), &wbc, hw.get(), &mask), QOV_SUCCESS);
    EXPECT_FALSE(hw->bUpdateWeight);
    EXPECT_TRUE(hw->bUpdateTNM);
    EXPECT_EQ(hw->aTNMCurve[3327], 2048);
    EXPECT_EQ(hw->ui16ExposureRatio, 1024);

    hdr->updateNeeded = QOV_TRUE;
    hdr->aWeightCurve[0] = 1.0;
    ASSERT_EQ(MC_HDRConvert(hdr.get(), &wbc, hw.get(), &mask), QOV_SUCCESS);
    EXPECT_TRUE(hw->bUpdateWeight);
    EXPECT_FALSE(hw->bUpdateTNM);
    EXPECT_EQ(hw->aWeightCurve[0], 256);
}

/*-------------------------------------------------------------------------
 * Statistics configuration
 *-------------------------------------------------------------------------*/

// Every HDR field and both scalers' fields at values of their own.
TEST(McConvertColour, HdrAndScalersEveryField)
{
    int mask = 0;
    auto hdr = std::make_unique<MC_HDR>();
    auto hw = std::make_unique<CI_MODULE_HDR>();
    MC_WBC wbc{};
    MC_WBCInit(&wbc);
    for (int c = 0; c < 4; ++c)
        wbc.aGain[c] = 1.0 + 0.5 * c;
    MC_HDRInit(hdr.get());
    hdr->eHDRMode = HDR_PIXEL_BASED;
    hdr->eBayerMode = MOSAIC_GBRG;
    hdr->bLongExpFirst = QOV_TRUE;
    hdr->aFrameSize[0] = 61;
    hdr->aFrameSize[1] = 62;
    hdr->aBlackLevel[0] = 63;
    hdr->aBlackLevel[1] = 64;
    hdr->ui32LineGap = 65;
    hdr->fExposureRatio = 2.5;
    hdr->fGain = 0.75;
    for (int i = 0; i < 3; ++i)
        hdr->aLumCoeffs[i] = 0.125 * (i + 1);
    hdr->aWeightCurve[4095] = 0.5;
    hdr->aTNMCurve[0] = 0.25;
    ASSERT_EQ(MC_HDRConvert(hdr.get(), &wbc, hw.get(), &mask), QOV_SUCCESS);
    EXPECT_EQ(hw->eHDRMode, HDR_PIXEL_BASED);
    EXPECT_EQ(hw->eBayerMode, MOSAIC_GBRG);
    EXPECT_EQ(hw->bLongExpFirst, 1);
    EXPECT_EQ(hw->aFrameSize[0], 61);
    EXPECT_EQ(hw->aFrameSize[1], 62);
    EXPECT_EQ(hw->aBlackLevel[0], 63);
    EXPECT_EQ(hw->aBlackLevel[1], 64);
    EXPECT_EQ(hw->ui32LineGap, 65u);
    EXPECT_EQ(hw->ui16ExposureRatio, 640); // U8.8
    EXPECT_EQ(hw->ui16Gain, 192);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(hw->aLumCoeffs[i], 512 * (i + 1)) << i; // U0.12
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(hw->aWBCGains[c], 1024 + 512 * c) << c; // U3.10
    EXPECT_EQ(hw->aWeightCurve[4095], 128);
    EXPECT_EQ(hw->aTNMCurve[0], 1024);
    EXPECT_TRUE(hw->bUpdateWeight);
    EXPECT_TRUE(hw->bUpdateTNM);

    MC_ESC esc{};
    MC_DSC dsc{};
    CI_MODULE_ESC escHw{};
    CI_MODULE_DSC dscHw{};
    escHw.bIsDisplay = 0;
    dscHw.bIsDisplay = 1;
    dscHw.bChromaInter = 1;
    dscHw.bOutput422 = 1;
    esc.updateNeeded = dsc.updateNeeded = QOV_TRUE;
    esc.bBypassESC = QOV_TRUE;
    dsc.bBypassDSC = QOV_FALSE;
    esc.bChromaInter = QOV_TRUE;
    esc.aOutputSize[0] = 640;
    esc.aOutputSize[1] = 480;
    dsc.aOutputSize[0] = 320;
    dsc.aOutputSize[1] = 240;
    esc.aOffset[0] = 71;
    esc.aOffset[1] = 72;
    dsc.aOffset[0] = 73;
    dsc.aOffset[1] = 74;
    esc.aPitch[0] = 1.25;
    esc.aPitch[1] = 1.5;
    dsc.aPitch[0] = 2.25;
    dsc.aPitch[1] = 3.5;
    ASSERT_EQ(MC_ESCConvert(&esc, &escHw, QOV_TRUE, &mask), QOV_SUCCESS);
    ASSERT_EQ(MC_DSCConvert(&dsc, &dscHw, &mask), QOV_SUCCESS);
    EXPECT_EQ(escHw.bBypassScaler, 1);
    EXPECT_EQ(dscHw.bBypassScaler, 0);
    EXPECT_EQ(escHw.bChromaInter, 1);
    EXPECT_EQ(escHw.bOutput422, 1);
    EXPECT_EQ(dscHw.bChromaInter, 1); // the display's are left alone
    EXPECT_EQ(dscHw.bOutput422, 1);
    EXPECT_EQ(escHw.aOutputSize[0], 319);
    EXPECT_EQ(escHw.aOutputSize[1], 479);
    EXPECT_EQ(dscHw.aOutputSize[0], 159);
    EXPECT_EQ(dscHw.aOutputSize[1], 239);
    EXPECT_EQ(escHw.aOffset[0], 71);
    EXPECT_EQ(escHw.aOffset[1], 72);
    EXPECT_EQ(dscHw.aOffset[0], 73);
    EXPECT_EQ(dscHw.aOffset[1], 74);
    EXPECT_EQ(escHw.aPitch[0], 40960u); // U6.15
    EXPECT_EQ(escHw.aPitch[1], 49152u);
    EXPECT_EQ(dscHw.aPitch[0], 73728u);
    EXPECT_EQ(dscHw.aPitch[1], 114688u);
    EXPECT_EQ(escHw.bIsDisplay, 0);
    EXPECT_EQ(dscHw.bIsDisplay, 1);
}

TEST(McConvertStats, FocusRegionAndRevert)
{
    MC_FOS fos{};
    CI_MODULE_FOS hw{};
    int mask = 0;
    fos.updateNeeded = QOV_TRUE;
    fos.ui16ROILeft = 100;
    fos.ui16ROITop = 50;
    fos.ui16ROIWidth = 200;
    fos.ui16ROIHeight = 100;
    ASSERT_EQ(MC_FOSConvert(&fos, &hw, &mask), QOV_SUCCESS);
    EXPECT_EQ(mask, CI_UPD_GRP_1);
    EXPECT_EQ(hw.ui16ROIRight, 299);
    EXPECT_EQ(hw.ui16ROIBottom, 149);

    MC_FOS back{};
    back.updateNeeded = QOV_TRUE;
    ASSERT_EQ(MC_FOSRevert(&hw, CI_SAVE_FOS_GRID, &back), QOV_SUCCESS);
    EXPECT_EQ(back.ui16ROIWidth, 200);
    EXPECT_EQ(back.ui16ROIHeight, 100);
    EXPECT_TRUE(back.bGlobalEnable);
    EXPECT_FALSE(back.bRegionEnable);
    EXPECT_TRUE(back.updateNeeded); // left as it was
}

TEST(McConvertStats, WhiteBalanceRegions)
{
    MC_WBS wbs{};
    CI_MODULE_WBS hw{};
    int mask = 0;
    wbs.updateNeeded = QOV_TRUE;
    wbs.ui8ActiveROI = 1;
    wbs.fYOffset = -0.5;
    wbs.aRoiLeft[0] = 10;
    wbs.aRoiWidth[0] = 20;
    wbs.aRoiTop[0] = 0;
    wbs.aRoiHeight[0] = 0; // bottom forced to 0 on an active region
    testing::internal::CaptureStderr();
    ASSERT_EQ(MC_WBSConvert(&wbs, &hw, &mask), QOV_SUCCESS);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(contains(
        err, "WBS CI::aRoiBottom[0] forced to 0 because (MC::aRoiTop[0] + MC::aRoiHeight[0]) <= 0\n"));
    EXPECT_FALSE(contains(err, "aRoiRigh[1]")); // region 1 is not active
    EXPECT_EQ(mask, CI_UPD_GRP_2);
    EXPECT_EQ(hw.ui8ActiveROI, 0);
    EXPECT_EQ(hw.aRoiRight[0], 29);
    EXPECT_EQ(hw.aRoiBottom[0], 0);
    EXPECT_EQ(hw.ui16YOffset, -8);

    MC_WBS back{};
    ASSERT_EQ(MC_WBSRevert(&hw, CI_SAVE_WHITEBALANCE, &back), QOV_SUCCESS);
    EXPECT_EQ(back.ui8ActiveROI, 1);
    EXPECT_EQ(back.aRoiWidth[0], 20);
    EXPECT_EQ(back.aRoiHeight[0], 0);
    EXPECT_EQ(back.fYOffset, -0.5);
    ASSERT_EQ(MC_WBSRevert(&hw, 0, &back), QOV_SUCCESS);
    EXPECT_EQ(back.ui8ActiveROI, 0);

    // The same empty region without an active region: no warning.
    wbs.updateNeeded = QOV_TRUE;
    wbs.ui8ActiveROI = 0;
    testing::internal::CaptureStderr();
    ASSERT_EQ(MC_WBSConvert(&wbs, &hw, &mask), QOV_SUCCESS);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(McConvertStats, FlickerStepsAndFrameRate)
{
    MC_FLD fld{};
    CI_MODULE_FLD hw{};
    int mask = 0;
    MC_IIF iif{};
    MC_FLDInit(&fld, &iif);
    fld.ui16VTot = 1125;
    ASSERT_EQ(MC_FLDConvert(&fld, &hw, &mask), QOV_SUCCESS);
    EXPECT_EQ(mask, CI_UPD_GRP_3);
    // 33750 lines per second: 12800 / 33750 x 16384 = 6213.8, 15360 / 33750 x 16384 = 7456.5
    EXPECT_EQ(hw.ui16FracStep50, 6214);
    EXPECT_EQ(hw.ui16FracStep60, 7457);
    EXPECT_EQ(hw.ui16VertTotal, 1125);

    MC_FLD back{};
    ASSERT_EQ(MC_FLDRevert(&hw, CI_SAVE_FLICKER, &back), QOV_SUCCESS);
    EXPECT_TRUE(back.bEnable);
    EXPECT_NEAR(back.fFrameRate, 30.0, 0.01);
    EXPECT_EQ(back.ui32SceneChange, 300000u);

    // Without a vertical total the frame rate is unknown, not a division by 0.
    hw.ui16VertTotal = 0;
    ASSERT_EQ(MC_FLDRevert(&hw, 0, &back), QOV_SUCCESS);
    EXPECT_EQ(back.fFrameRate, 0.0);
    EXPECT_FALSE(back.bEnable);

    // No lines at all: the steps saturate to 1.0.
    fld.updateNeeded = QOV_TRUE;
    fld.ui16VTot = 0;
    ASSERT_EQ(MC_FLDConvert(&fld, &hw, &mask), QOV_SUCCESS);
    EXPECT_EQ(hw.ui16FracStep50, 16384);
}

// Every field of the statistics records at a value of its own, through the
// hardware record and back; each enable read from its own output flag.
TEST(McConvertStats, EveryFieldThereAndBack)
{
    int mask = 0;
    MC_EXS exs{};
    CI_MODULE_EXS exsHw{};
    exs.updateNeeded = QOV_TRUE;
    exs.ui16Left = 11;
    exs.ui16Top = 12;
    exs.ui16Width = 13;
    exs.ui16Height = 14;
    exs.fPixelMax = 200.0;
    ASSERT_EQ(MC_EXSConvert(&exs, &exsHw, &mask), QOV_SUCCESS);
    EXPECT_EQ(exsHw.ui16PixelMax, 200);
    for (const QOV_UINT32 flags : {QOV_UINT32(CI_SAVE_EXS_GLOBAL), QOV_UINT32(CI_SAVE_EXS_REGION)}) {
        MC_EXS back{};
        ASSERT_EQ(MC_EXSRevert(&exsHw, flags, &back), QOV_SUCCESS);
        EXPECT_EQ(back.bGlobalEnable, flags == CI_SAVE_EXS_GLOBAL);
        EXPECT_EQ(back.bRegionEnable, flags == CI_SAVE_EXS_REGION);
        EXPECT_TRUE(back.ui16Left == 11 && back.ui16Top == 12 && back.ui16Width == 13 && back.ui16Height == 14);
        EXPECT_EQ(back.fPixelMax, 200.0);
    }

    MC_FOS fos{};
    CI_MODULE_FOS fosHw{};
    fos.updateNeeded = QOV_TRUE;
    fos.ui16Left = 21;
    fos.ui16Top = 22;
    fos.ui16Width = 23;
    fos.ui16Height = 24;
    fos.ui16ROILeft = 25;
    fos.ui16ROITop = 26;
    fos.ui16ROIWidth = 27;
    fos.ui16ROIHeight = 28;
    ASSERT_EQ(MC_FOSConvert(&fos, &fosHw, &mask), QOV_SUCCESS);
    EXPECT_TRUE(fosHw.ui16Left == 21 && fosHw.ui16Top == 22 && fosHw.ui16Width == 23 && fosHw.ui16Height == 24);
    EXPECT_TRUE(fosHw.ui16ROILeft == 25 && fosHw.ui16ROITop == 26);
    EXPECT_EQ(fosHw.ui16ROIRight, 51);
    EXPECT_EQ(fosHw.ui16ROIBottom, 53);
    MC_FOS fosBack{};
    ASSERT_EQ(MC_FOSRevert(&fosHw, CI_SAVE_FOS_ROI, &fosBack), QOV_SUCCESS);
    EXPECT_FALSE(fosBack.bGlobalEnable);
    EXPECT_TRUE(fosBack.bRegionEnable);
    EXPECT_TRUE(fosBack.ui16Left == 21 && fosBack.ui16Top == 22 && fosBack.ui16Width == 23 && fosBack.ui16Height == 24);
    EXPECT_TRUE(fosBack.ui16ROILeft == 25 && fosBack.ui16ROITop == 26);
    EXPECT_TRUE(fosBack.ui16ROIWidth == 27 && fosBack.ui16ROIHeight == 28);

    MC_WBS wbs{};
    CI_MODULE_WBS wbsHw{};
    wbs.updateNeeded = QOV_TRUE;
    wbs.ui8ActiveROI = 2;
    wbs.fRGBOffset = 1.25;
    wbs.fYOffset = -2.5;
    for (int r = 0; r < 2; ++r) {
        wbs.aRoiLeft[r] = static_cast<QOV_UINT16>(31 + 10 * r);
        wbs.aRoiTop[r] = static_cast<QOV_UINT16>(32 + 10 * r);
        wbs.aRoiWidth[r] = static_cast<QOV_UINT16>(33 + 10 * r);
        wbs.aRoiHeight[r] = static_cast<QOV_UINT16>(34 + 10 * r);
        wbs.aRMax[r] = static_cast<QOV_UINT16>(35 + 10 * r);
        wbs.aGMax[r] = static_cast<QOV_UINT16>(36 + 10 * r);
        wbs.aBMax[r] = static_cast<QOV_UINT16>(37 + 10 * r);
        wbs.aYMax[r] = static_cast<QOV_UINT16>(38 + 10 * r);
    }
    ASSERT_EQ(MC_WBSConvert(&wbs, &wbsHw, &mask), QOV_SUCCESS);
    EXPECT_EQ(wbsHw.ui8ActiveROI, 1);
    EXPECT_EQ(wbsHw.ui16RGBOffset, 20); // S9.4
    EXPECT_EQ(wbsHw.ui16YOffset, -40);
    for (int r = 0; r < 2; ++r) {
        EXPECT_EQ(wbsHw.aRoiRight[r], 31 + 33 + 20 * r - 1) << r;
        EXPECT_EQ(wbsHw.aRoiBottom[r], 32 + 34 + 20 * r - 1) << r;
    }
    MC_WBS wbsBack{};
    ASSERT_EQ(MC_WBSRevert(&wbsHw, CI_SAVE_WHITEBALANCE, &wbsBack), QOV_SUCCESS);
    EXPECT_EQ(wbsBack.ui8ActiveROI, 2);
    EXPECT_EQ(wbsBack.fRGBOffset, 1.25);
    EXPECT_EQ(wbsBack.fYOffset, -2.5);
    for (int r = 0; r < 2; ++r) {
        SCOPED_TRACE(r);
        EXPECT_EQ(wbsBack.aRoiLeft[r], wbs.aRoiLeft[r]);
        EXPECT_EQ(wbsBack.aRoiTop[r], wbs.aRoiTop[r]);
        EXPECT_EQ(wbsBack.aRoiWidth[r], wbs.aRoiWidth[r]);
        EXPECT_EQ(wbsBack.aRoiHeight[r], wbs.aRoiHeight[r]);
        EXPECT_EQ(wbsBack.aRMax[r], wbs.aRMax[r]);
        EXPECT_EQ(wbsBack.aGMax[r], wbs.aGMax[r]);
        EXPECT_EQ(wbsBack.aBMax[r], wbs.aBMax[r]);
        EXPECT_EQ(wbsBack.aYMax[r], wbs.aYMax[r]);
    }

    MC_HIS his{};
    CI_MODULE_HIS hisHw{};
    his.updateNeeded = QOV_TRUE;
    his.fInputOffset = 41.0;
    his.fInputScale = 42.0;
    his.ui16Left = 43;
    his.ui16Top = 44;
    his.ui16Width = 45;
    his.ui16Height = 46;
    ASSERT_EQ(MC_HISConvert(&his, &hisHw, &mask), QOV_SUCCESS);
    for (const QOV_UINT32 flags : {QOV_UINT32(CI_SAVE_HIST_GLOBAL), QOV_UINT32(CI_SAVE_HIST_REGION)}) {
        MC_HIS back{};
        ASSERT_EQ(MC_HISRevert(&hisHw, flags, &back), QOV_SUCCESS);
        EXPECT_EQ(back.bGlobalEnable, flags == CI_SAVE_HIST_GLOBAL);
        EXPECT_EQ(back.bRegionEnable, flags == CI_SAVE_HIST_REGION);
        EXPECT_EQ(back.fInputOffset, 41.0);
        EXPECT_EQ(back.fInputScale, 42.0);
        EXPECT_TRUE(back.ui16Left == 43 && back.ui16Top == 44 && back.ui16Width == 45 && back.ui16Height == 46);
    }

    MC_FLD fld{};
    CI_MODULE_FLD fldHw{};
    fld.updateNeeded = QOV_TRUE;
    fld.bEnable = QOV_TRUE;
    fld.ui16VTot = 1000;
    fld.fFrameRate = 25.6; // 25600 lines a second: steps 0.5 and 0.6
    fld.ui16CoefDiff = 51;
    fld.ui16NFThreshold = 52;
    fld.ui32SceneChange = 53;
    fld.ui8RShift = 54;
    fld.ui8MinPN = 55;
    fld.ui8PN = 56;
    fld.bReset = QOV_TRUE;
    ASSERT_EQ(MC_FLDConvert(&fld, &fldHw, &mask), QOV_SUCCESS);
    EXPECT_EQ(fldHw.ui16FracStep50, 8192);
    EXPECT_EQ(fldHw.ui16FracStep60, 9830); // 0.6 x 16384 = 9830.4
    MC_FLD fldBack{};
    ASSERT_EQ(MC_FLDRevert(&fldHw, CI_SAVE_FLICKER, &fldBack), QOV_SUCCESS);
    EXPECT_TRUE(fldBack.bEnable);
    EXPECT_EQ(fldBack.ui16VTot, 1000);
    EXPECT_EQ(fldBack.fFrameRate, 25.6);
    EXPECT_EQ(fldBack.ui16CoefDiff, 51);
    EXPECT_EQ(fldBack.ui16NFThreshold, 52);
    EXPECT_EQ(fldBack.ui32SceneChange, 53u);
    EXPECT_EQ(fldBack.ui8RShift, 54);
    EXPECT_EQ(fldBack.ui8MinPN, 55);
    EXPECT_EQ(fldBack.ui8PN, 56);
    EXPECT_TRUE(fldBack.bReset);
}

TEST(McConvertStats, EncoderStatistics)
{
    const struct {
        QOV_UINT32 lines;
        QOV_UINT32 sub;
        QOV_RESULT result;
        QOV_UINT8 log2Couples;
        QOV_UINT8 subExp;
        const char *message;
    } cases[] = {
        {6, 0, QOV_SUCCESS, 0, 0, "nb of couples clipped from 6 to 8 (min=8, max=1024)\n"},
        {2000, 1, QOV_SUCCESS, 7, 0, "nb of couples clipped from 2000 to 1024 (min=8, max=1024)\n"},
        {12, 0, QOV_ERROR_FAILURE, 0, 0, "nb of lines should be a power of 2 (12 given)\n"},
        {16, 4, QOV_SUCCESS, 1, 2, nullptr},
        {16, 3, QOV_ERROR_FAILURE, 1, 1, "kernel subsampling should be a power of 2 (3 given)\n"},
    };
    for (const auto &c : cases) {
        MC_ENS ens{};
        CI_MODULE_ENS hw{};
        ens.updateNeeded = QOV_TRUE;
        ens.ui32NLines = c.lines;
        ens.ui32KernelSubsampling = c.sub;
        testing::internal::CaptureStderr();
        EXPECT_EQ(MC_ENSConvert(&ens, &hw), c.result) << c.lines;
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(ens.updateNeeded);
        if (c.result == QOV_SUCCESS || c.sub == 3) {
            EXPECT_EQ(hw.ui8Log2NCouples, c.log2Couples) << c.lines;
            EXPECT_EQ(hw.ui8SubExp, c.subExp) << c.lines;
        }
        if (c.message)
            EXPECT_TRUE(contains(err, c.message)) << err;
        else
            EXPECT_EQ(err, "");
    }

    CI_MODULE_ENS hw{};
    hw.ui8Log2NCouples = 2;
    hw.ui8SubExp = 2;
    MC_ENS back{};
    ASSERT_EQ(MC_ENSRevert(&hw, CI_SAVE_ENS, &back), QOV_SUCCESS);
    EXPECT_TRUE(back.bEnable);
    EXPECT_EQ(back.ui32NLines, 32u);
    EXPECT_EQ(back.ui32KernelSubsampling, 4u);
}

TEST(McConvertStats, WhiteBalanceTilesAndRevert)
{
    MC_AWS aws{};
    MC_IIF iif{};
    CI_MODULE_AWS hw{};
    int mask = 0;
    MC_AWSInit(&aws, &iif);
    aws.ui16GridStartColumn = 100;
    aws.ui16GridStartRow = 60;
    aws.ui16GridTileWidth = 64;
    aws.ui16GridTileHeight = 48;
    aws.fLog2_B_Qeff = -1.0;
    aws.fBbDist = 127.0;
    ASSERT_EQ(MC_AWSConvert(&aws, &hw, &mask), QOV_SUCCESS);
    EXPECT_EQ(mask, CI_UPD_AWS);
    EXPECT_EQ(hw.ui16GridStartColumn, 50);
    EXPECT_EQ(hw.ui16GridStartRow, 30);
    EXPECT_EQ(hw.ui16GridTileWidth, 31);
    EXPECT_EQ(hw.ui16GridTileHeight, 23);
    EXPECT_EQ(hw.ui16Log2_R_Qeff, 4095); // 255.0 saturates S8.5
    EXPECT_EQ(hw.ui16Log2_B_Qeff, 0xFFE0);
    EXPECT_EQ(hw.ui16RedClipThresh, 65280); // 255.0 in U8.8
    EXPECT_EQ(hw.ui16BbDist, 4064);         // 127.0 in U7.5
    EXPECT_EQ(hw.sCurveCoeffs.aCurveCoeffX[0], 908); // 0.88671875 x 1024
    EXPECT_EQ(hw.sCurveCoeffs.aCurveBoundary[0], 256);   // 0.25 x 1024
    EXPECT_EQ(hw.sCurveCoeffs.aCurveBoundary[1], -864);  // -0.84375 x 1024
    EXPECT_EQ(hw.sCurveCoeffs.aCurveBoundary[2], -1952); // -1.90625 x 1024

    MC_AWS back{};
    ASSERT_EQ(MC_AWSRevert(&hw, CI_SAVE_WHITEBALANCE_EXT, &back), QOV_SUCCESS);
    EXPECT_TRUE(back.bEnable);
    EXPECT_EQ(back.ui16GridStartColumn, 100);
    EXPECT_EQ(back.ui16GridStartRow, 60);
    EXPECT_EQ(back.ui16GridTileWidth, 64);
    EXPECT_EQ(back.ui16GridTileHeight, 48);
    EXPECT_EQ(back.fLog2_B_Qeff, -1.0);
    EXPECT_EQ(back.fBbDist, 127.0);
    EXPECT_EQ(back.aCurveCoeffX[0], 0.88671875);
}

// A revert writes its own record only: the bytes after it, in the caller's
// larger structure, keep what they held. The hardware record is followed by
// bytes that are not its own either.
template <typename CI, typename MC>
void expectRevertStaysInItsRecord(const char *name, QOV_RESULT (*revert)(const CI *, QOV_UINT32, MC *))
{
    SCOPED_TRACE(name);
    struct {
        CI record;
        unsigned char after[64];
    } in;
    memset(&in, 0, sizeof(in));
    memset(in.after, 0x5A, sizeof(in.after));
    struct {
        MC record;
        unsigned char guard[64];
    } out;
    memset(&out, 0, sizeof(out));
    memset(out.guard, 0xA5, sizeof(out.guard));
    revert(&in.record, ~0u, &out.record);
    for (size_t i = 0; i < sizeof(out.guard); ++i)
        ASSERT_EQ(out.guard[i], 0xA5) << "byte " << i << " after the record";
}

TEST(McConvertStats, EveryRevertWritesItsOwnRecordOnly)
{
    expectRevertStaysInItsRecord("DPF", MC_DPFRevert);
    expectRevertStaysInItsRecord("EXS", MC_EXSRevert);
    expectRevertStaysInItsRecord("FOS", MC_FOSRevert);
    expectRevertStaysInItsRecord("WBS", MC_WBSRevert);
    expectRevertStaysInItsRecord("AWS", MC_AWSRevert);
    expectRevertStaysInItsRecord("HIS", MC_HISRevert);
    expectRevertStaysInItsRecord("FLD", MC_FLDRevert);
    expectRevertStaysInItsRecord("ENS", MC_ENSRevert);
}

// Every white-balance tile field at a value of its own, once near the low
// ends of the formats and once at or past the high ends; the revert gives
// back what the fields can hold.
TEST(McConvertStats, WhiteBalanceTilesEveryField)
{
    struct Case {
        const char *name;
        double qeffR, qeffB, darkR, darkB, darkG, clipR, clipB, clipG, bbDist;
        QOV_UINT16 qeffRHw, qeffBHw, darkRHw, darkBHw, darkGHw, clipRHw, clipBHw, clipGHw, bbDistHw;
        QOV_UINT16 startRow, startColumn, tileWidth, tileHeight;
        QOV_UINT16 startRowHw, startColumnHw, tileWidthHw, tileHeightHw;
        double curveScale; // curve entry i of array a is curveScale x (a + 1) x (i + 1) / 1024
    } cases[] = {
        {"low ends", -128.0, -0.03125, 0.5, 2.25, 0.0, 200.0, 100.5, 1.0 / 256, 1.0 / 32,
         0xF000, 0xFFFF, 128, 576, 0, 51200, 25728, 1, 1,
         4, 2, 10, 6, 2, 1, 4, 2, 1.0},
        {"high ends", 127.96875, 200.0, 254.5, 3.0, 255.99609375, 255.0, 7.75, 300.0, 127.96875,
         4095, 4095, 65152, 768, 65535, 65280, 1984, 65535, 4095,
         3000, 4000, 512, 256, 1500, 2000, 255, 127, -800.0}, // curve entries up to 15.6 of S5.10's 16
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        MC_AWS aws{};
        CI_MODULE_AWS hw{};
        int mask = 0;
        aws.updateNeeded = QOV_TRUE;
        aws.bEnable = QOV_FALSE;
        aws.bDebugBitmap = QOV_TRUE;
        aws.fLog2_R_Qeff = c.qeffR;
        aws.fLog2_B_Qeff = c.qeffB;
        aws.fRedDarkThresh = c.darkR;
        aws.fBlueDarkThresh = c.darkB;
        aws.fGreenDarkThresh = c.darkG;
        aws.fRedClipThresh = c.clipR;
        aws.fBlueClipThresh = c.clipB;
        aws.fGreenClipThresh = c.clipG;
        aws.fBbDist = c.bbDist;
        aws.ui16GridStartRow = c.startRow;
        aws.ui16GridStartColumn = c.startColumn;
        aws.ui16GridTileWidth = c.tileWidth;
        aws.ui16GridTileHeight = c.tileHeight;
        double *curves[4] = {aws.aCurveCoeffX, aws.aCurveCoeffY, aws.aCurveOffset, aws.aCurveBoundary};
        for (int a = 0; a < 4; ++a)
            for (int i = 0; i < 5; ++i)
                curves[a][i] = c.curveScale * (a + 1) * (i + 1) / 1024.0 * (i % 2 ? -1 : 1);
        ASSERT_EQ(MC_AWSConvert(&aws, &hw, &mask), QOV_SUCCESS);
        EXPECT_EQ(mask, CI_UPD_AWS);
        EXPECT_EQ(hw.bEnable, 0);
        EXPECT_EQ(hw.bDebugBitmap, 1);
        EXPECT_EQ(hw.ui16Log2_R_Qeff, c.qeffRHw);
        EXPECT_EQ(hw.ui16Log2_B_Qeff, c.qeffBHw);
        EXPECT_EQ(hw.ui16RedDarkThresh, c.darkRHw);
        EXPECT_EQ(hw.ui16BlueDarkThresh, c.darkBHw);
        EXPECT_EQ(hw.ui16GreenDarkThresh, c.darkGHw);
        EXPECT_EQ(hw.ui16RedClipThresh, c.clipRHw);
        EXPECT_EQ(hw.ui16BlueClipThresh, c.clipBHw);
        EXPECT_EQ(hw.ui16GreenClipThresh, c.clipGHw);
        EXPECT_EQ(hw.ui16BbDist, c.bbDistHw);
        EXPECT_EQ(hw.ui16GridStartRow, c.startRowHw);
        EXPECT_EQ(hw.ui16GridStartColumn, c.startColumnHw);
        EXPECT_EQ(hw.ui16GridTileWidth, c.tileWidthHw);
        EXPECT_EQ(hw.ui16GridTileHeight, c.tileHeightHw);
        const QOV_INT16 *hwCurves[4] = {hw.sCurveCoeffs.aCurveCoeffX, hw.sCurveCoeffs.aCurveCoeffY,
                                        hw.sCurveCoeffs.aCurveOffset, hw.sCurveCoeffs.aCurveBoundary};
        for (int a = 0; a < 4; ++a)
            for (int i = 0; i < 5; ++i)
                EXPECT_EQ(hwCurves[a][i], static_cast<QOV_INT16>(curves[a][i] * 1024)) << a << "," << i;

        MC_AWS back{};
        ASSERT_EQ(MC_AWSRevert(&hw, 0, &back), QOV_SUCCESS);
        EXPECT_FALSE(back.bEnable);
        EXPECT_TRUE(back.bDebugBitmap);
        EXPECT_EQ(back.fLog2_R_Qeff, QOV_INT16(c.qeffRHw) / 32.0);
        EXPECT_EQ(back.fLog2_B_Qeff, QOV_INT16(c.qeffBHw) / 32.0);
        EXPECT_EQ(back.fRedDarkThresh, c.darkRHw / 256.0);
        EXPECT_EQ(back.fBlueDarkThresh, c.darkBHw / 256.0);
        EXPECT_EQ(back.fGreenDarkThresh, c.darkGHw / 256.0);
        EXPECT_EQ(back.fRedClipThresh, c.clipRHw / 256.0);
        EXPECT_EQ(back.fBlueClipThresh, c.clipBHw / 256.0);
        EXPECT_EQ(back.fGreenClipThresh, c.clipGHw / 256.0);
        EXPECT_EQ(back.fBbDist, c.bbDistHw / 32.0);
        EXPECT_EQ(back.ui16GridStartRow, c.startRow);
        EXPECT_EQ(back.ui16GridStartColumn, c.startColumn);
        EXPECT_EQ(back.ui16GridTileWidth, c.tileWidth);
        EXPECT_EQ(back.ui16GridTileHeight, c.tileHeight);
        const double *backCurves[4] = {back.aCurveCoeffX, back.aCurveCoeffY, back.aCurveOffset, back.aCurveBoundary};
        for (int a = 0; a < 4; ++a)
            for (int i = 0; i < 5; ++i)
                EXPECT_EQ(backCurves[a][i], curves[a][i]) << a << "," << i;
    }
}

TEST(McConvertStats, ExposureAndHistogram)
{
    MC_EXS exs{};
    CI_MODULE_EXS exsHw{};
    int mask = 0;
    exs.updateNeeded = QOV_TRUE;
    exs.fPixelMax = 255.9;
    exs.ui16Width = 137;
    ASSERT_EQ(MC_EXSConvert(&exs, &exsHw, &mask), QOV_SUCCESS);
    EXPECT_EQ(mask, CI_UPD_GRP_0);
    EXPECT_EQ(exsHw.ui16PixelMax, 255);
    MC_EXS back{};
    ASSERT_EQ(MC_EXSRevert(&exsHw, CI_SAVE_EXS_REGION, &back), QOV_SUCCESS);
    EXPECT_FALSE(back.bGlobalEnable);
    EXPECT_TRUE(back.bRegionEnable);
    EXPECT_EQ(back.fPixelMax, 255.0);
    EXPECT_EQ(back.ui16Width, 137);

    MC_HIS his{};
    CI_MODULE_HIS hisHw{};
    his.updateNeeded = QOV_TRUE;
    his.fInputOffset = 3.7;
    his.fInputScale = -2.0; // saturates at 0
    mask = 0;
    ASSERT_EQ(MC_HISConvert(&his, &hisHw, &mask), QOV_SUCCESS);
    EXPECT_EQ(mask, CI_UPD_GRP_2);
    EXPECT_EQ(hisHw.ui16InputOffset, 3);
    EXPECT_EQ(hisHw.ui16InputScale, 0);
}

} // namespace
