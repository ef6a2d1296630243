// Defaults of the floating-point configuration and the whole-pipeline
// conversion: output layouts, borders, update masks and output flags.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "mc_test_support.h"

namespace {

using mctest::createdPipeline;
using mctest::defaultPipeline;
using mctest::standardHw;

TEST(McPipelineInit, ImagerSizeZeroWarnsInitialisesAllAndFails)
{
    const CI_HWINFO hw = standardHw();
    auto p = std::make_unique<MC_PIPELINE>();
    MC_IIFInit(&p->sIIF);
    testing::internal::CaptureStderr();
    EXPECT_EQ(MC_PipelineInit(p.get(), &hw), QOV_ERROR_FAILURE);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("IIF sizes should be configured before running MC_PipelineInit"), std::string::npos);
    EXPECT_NE(err.find("IIF should be configured before configuring LCA\n"), std::string::npos);
    // The records after the refused one are initialised all the same.
    EXPECT_EQ(p->sWBC.aGain[3], 1.0);
    EXPECT_EQ(p->sFLD.ui32SceneChange, 300000u);
    EXPECT_EQ(p->sENS.ui32NLines, 8u);
    EXPECT_TRUE(p->sENS.updateNeeded);
    EXPECT_EQ(p->pHWInfo, &hw);
    EXPECT_EQ(p->sIIF.ui8Imager, 2);
    EXPECT_EQ(p->sIIF.eBayerFormat, MOSAIC_RGGB);
}

TEST(McPipelineInit, SystemBlackLevelFollowsTheContextBitDepth)
{
    const struct {
        QOV_UINT8 depth;
        QOV_UINT16 black;
    } cases[] = {{8, 16}, {9, 16}, {10, 16}, {12, 64}, {14, 256}, {26, 0}};
    for (const auto &c : cases) {
        CI_HWINFO hw = standardHw();
        hw.context_aBitDepth[0] = c.depth;
        auto p = defaultPipeline(hw, 960, 540);
        EXPECT_EQ(p->ui16SystemBlackLevel, c.black) << "depth " << int(c.depth);
    }
}

TEST(McPipelineInit, OutputsAndRecordDefaults)
{
    const CI_HWINFO hw = standardHw();
    auto p = defaultPipeline(hw, 960, 540);
    EXPECT_EQ(p->eEncOutput, PXL_NONE);
    EXPECT_EQ(p->eRaw2DExtOutput, PXL_NONE);
    EXPECT_EQ(p->eDEPoint, CI_INOUT_NONE);
    EXPECT_FALSE(p->bEnableCRC);
    EXPECT_TRUE(p->bEnableTimestamp);
    EXPECT_EQ(p->sBLC.ui16PixelMax, 1023.0);
    EXPECT_EQ(p->sDPF.ui16NbLines, 14);                 // 2 x (parallelism 2 + 5)
    EXPECT_EQ(p->sDPF.ui32OutputMapSize, 540u * 256u);
    EXPECT_EQ(p->sDPF.fWeight, 16.0);
    EXPECT_EQ(p->sTNM.aCurve[0], 1.0 / 64);
    EXPECT_EQ(p->sTNM.aCurve[62], 63.0 / 64);
    EXPECT_EQ(p->sESC.aOutputSize[0], 1920);
    EXPECT_EQ(p->sDSC.aOutputSize[1], 1080);
    EXPECT_EQ(p->sFOS.ui16Width, 1920);
    EXPECT_EQ(p->sFOS.ui16ROILeft, 480);
    EXPECT_EQ(p->sWBS.fYOffset, -0.5);
    EXPECT_EQ(p->sHIS.ui16Top, 270);
    EXPECT_EQ(p->sFLD.ui16VTot, 1080); // imager height in lines
    EXPECT_EQ(p->sR2Y.aCoeff[1][1], 0.614);
    EXPECT_EQ(p->sY2R.aOffset[1], -16.0);
    EXPECT_EQ(p->sMGM.fClipMin, -0.5);
    EXPECT_EQ(p->sDGM.aSlope[2], 0.0);
    EXPECT_EQ(p->sSHA.aGainWeigth[1], 1.0 / 3.0);
}

// Every value of `values` equals `expected`.
template <typename T, size_t N>
void expectAll(const T (&values)[N], T expected, const char *what)
{
    for (size_t i = 0; i < N; ++i)
        EXPECT_EQ(values[i], expected) << what << "[" << i << "]";
}
template <typename T, size_t N, size_t M>
void expectAll(const T (&values)[N][M], T expected, const char *what)
{
    for (size_t i = 0; i < N; ++i)
        for (size_t j = 0; j < M; ++j)
            EXPECT_EQ(values[i][j], expected) << what << "[" << i << "][" << j << "]";
}

// The init functions on a record that was used before (every byte set to a
// value no default has): each writes every field of its record, so nothing
// of the earlier configuration survives into the new one.
TEST(McPipelineInit, EveryRecordIsWrittenWholeOverAUsedOne)
{
    CI_HWINFO hw = standardHw();
    hw.config_ui8BitDepth = 12;
    hw.config_ui8Parallelism = 3;
    hw.context_aBitDepth[0] = 12;
    auto p = std::make_unique<MC_PIPELINE>();
    memset(static_cast<void *>(p.get()), 0x5A, sizeof(MC_PIPELINE));

    ASSERT_EQ(MC_IIFInit(&p->sIIF), QOV_SUCCESS);
    EXPECT_TRUE(p->sIIF.updateNeeded);
    EXPECT_EQ(p->sIIF.ui8Imager, 2);
    EXPECT_EQ(p->sIIF.eBayerFormat, MOSAIC_RGGB);
    expectAll(p->sIIF.ui16ImagerOffset, QOV_UINT16(0), "IIF offset");
    expectAll(p->sIIF.ui16ImagerSize, QOV_UINT16(0), "IIF size");
    expectAll(p->sIIF.ui16ImagerDecimation, QOV_UINT16(0), "IIF decimation");
    EXPECT_EQ(p->sIIF.ui8BlackBorderOffset, 0);

    // A refused LCA init leaves its record as it was.
    MC_LCA refused;
    memset(static_cast<void *>(&refused), 0x5A, sizeof(refused));
    testing::internal::CaptureStderr();
    EXPECT_EQ(MC_LCAInit(&refused, &p->sIIF), QOV_ERROR_INVALID_ARGUMENT);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(refused.aShift[0], 0x5A);
    EXPECT_EQ(refused.aOffsetRed[1], 0x5A5A);

    p->sIIF.ui16ImagerSize[0] = 1000;
    p->sIIF.ui16ImagerSize[1] = 300;
    p->sIIF.ui16ImagerOffset[0] = 10;
    p->sIIF.ui16ImagerOffset[1] = 20;
    p->sIIF.ui16ImagerDecimation[0] = 0x103;
    p->sIIF.ui16ImagerDecimation[1] = 2;
    ASSERT_EQ(MC_PipelineInit(p.get(), &hw), QOV_SUCCESS);

    EXPECT_EQ(p->pHWInfo, &hw);
    EXPECT_EQ(p->eEncOutput, PXL_NONE);
    EXPECT_EQ(p->eDispOutput, PXL_NONE);
    EXPECT_EQ(p->eHDRExtOutput, PXL_NONE);
    EXPECT_EQ(p->eHDRInsertion, PXL_NONE);
    EXPECT_EQ(p->eRaw2DExtOutput, PXL_NONE);
    EXPECT_EQ(p->eDEPoint, CI_INOUT_NONE);
    EXPECT_EQ(p->ui16SystemBlackLevel, 64);
    EXPECT_FALSE(p->bEnableCRC);
    EXPECT_TRUE(p->bEnableTimestamp);
    EXPECT_EQ(p->sIIF.ui16ImagerSize[0], 1000); // not initialised again

    const QOV_BOOL8 dirty[] = {
        p->sBLC.updateNeeded, p->sRLT.updateNeeded, p->sLSH.updateNeeded, p->sWBC.updateNeeded,
        p->sDNS.updateNeeded, p->sDPF.updateNeeded, p->sLCA.updateNeeded, p->sCCM.updateNeeded,
        p->sMGM.updateNeeded, p->sGMA.updateNeeded, p->sR2Y.updateNeeded, p->sMIE.updateNeeded,
        p->sTNM.updateNeeded, p->sSHA.updateNeeded, p->sESC.updateNeeded, p->sDSC.updateNeeded,
        p->sY2R.updateNeeded, p->sDGM.updateNeeded, p->sHDR.updateNeeded, p->sEXS.updateNeeded,
        p->sFOS.updateNeeded, p->sWBS.updateNeeded, p->sAWS.updateNeeded, p->sHIS.updateNeeded,
        p->sFLD.updateNeeded, p->sENS.updateNeeded};
    expectAll(dirty, QOV_BOOL8(QOV_TRUE), "updateNeeded");

    EXPECT_FALSE(p->sBLC.bBlackFrame);
    EXPECT_FALSE(p->sBLC.bRowAverage);
    EXPECT_EQ(p->sBLC.ui16PixelMax, 4095.0); // the Bayer path's 12 bits
    EXPECT_EQ(p->sBLC.fRowAverage, 0.0);
    expectAll(p->sBLC.aFixedOffset, QOV_INT8(0), "BLC offset");

    EXPECT_EQ(p->sRLT.eMode, CI_RLT_DISABLED);
    expectAll(p->sRLT.aPoints, QOV_UINT16(0), "RLT points");
    expectAll(p->sLSH.aGradients, 0.0, "LSH gradients");

    expectAll(p->sWBC.aGain, 1.0, "WBC gain");
    expectAll(p->sWBC.aClip, 512.0, "WBC clip");
    EXPECT_EQ(p->sWBC.eRGBThresholdMode, WBC_THRESHOLD);
    expectAll(p->sWBC.afRGBThreshold, 1.0, "WBC threshold");
    expectAll(p->sWBC.afRGBGain, 1.0, "WBC RGB gain");

    EXPECT_FALSE(p->sDNS.bCombineChannels);
    expectAll(p->sDNS.aPixThresLUT, 0.0, "DNS LUT");
    EXPECT_EQ(p->sDNS.ui8SensorBitdepth, 0);
    EXPECT_EQ(p->sDNS.fGreyscalePixelThreshold, 0.25);

    EXPECT_EQ(p->sDPF.eDPFEnable, 0);
    EXPECT_EQ(p->sDPF.apDefectInput, nullptr);
    EXPECT_EQ(p->sDPF.ui32NDefect, 0u);
    EXPECT_EQ(p->sDPF.ui16NbLines, 16);              // 2 x (parallelism 3 + 5)
    EXPECT_EQ(p->sDPF.ui32OutputMapSize, 300u * 256u);
    EXPECT_EQ(p->sDPF.aSkip[0], 3);                  // low 8 bits of the decimation
    EXPECT_EQ(p->sDPF.aSkip[1], 2);
    EXPECT_EQ(p->sDPF.aOffset[0], 10);
    EXPECT_EQ(p->sDPF.aOffset[1], 20);
    EXPECT_EQ(p->sDPF.ui8Threshold, 0);
    EXPECT_EQ(p->sDPF.fWeight, 16.0);

    expectAll(p->sLCA.aCoeffRed, 0.0, "LCA red");
    expectAll(p->sLCA.aCoeffBlue, 0.0, "LCA blue");
    EXPECT_EQ(p->sLCA.aOffsetRed[0], 505);
    EXPECT_EQ(p->sLCA.aOffsetBlue[0], 505);
    EXPECT_EQ(p->sLCA.aOffsetRed[1], 160);
    EXPECT_EQ(p->sLCA.aOffsetBlue[1], 160);
    EXPECT_EQ(p->sLCA.aShift[0], 0);
    EXPECT_EQ(p->sLCA.aShift[1], 0xFF);
    expectAll(p->sLCA.aDec, QOV_UINT8(0), "LCA decimation");

    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_EQ(p->sCCM.aCoeff[i][j], i == j ? 1.0 : 0.0) << "CCM " << i << "," << j;
    expectAll(p->sCCM.aOffset, 0.0, "CCM offset");

    for (const MC_GAMUTMAPPER *gm : {&p->sMGM, &p->sDGM}) {
        EXPECT_EQ(gm->fClipMin, -0.5);
        EXPECT_EQ(gm->fClipMax, 1.5);
        EXPECT_EQ(gm->fSrcNorm, 1.0);
        EXPECT_EQ(gm->aSlope[0], 1.0);
        EXPECT_EQ(gm->aSlope[1], 1.0);
        EXPECT_EQ(gm->aSlope[2], 0.0);
        expectAll(gm->aCoeff, 0.0, "gamut mapper coefficients");
    }
    EXPECT_FALSE(p->sGMA.bBypass);

    const double r2y[3][3] = {{0.439, -0.399, -0.04}, {0.183, 0.614, 0.062}, {-0.101, -0.338, 0.439}};
    const double y2r[3][3] = {{1.5748, 1.0, 0.0}, {-0.4681242606, 1.0, -0.18732430448}, {0.0, 1.0, 1.8556}};
    const double r2yOffset[3] = {0.0, 0.5, 0.0}, y2rOffset[3] = {-128.0, -16.0, -128.0};
    EXPECT_EQ(p->sR2Y.eType, RGB_TO_YCC);
    EXPECT_EQ(p->sY2R.eType, RGB_TO_YCC);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            EXPECT_EQ(p->sR2Y.aCoeff[i][j], r2y[i][j]) << i << "," << j;
            EXPECT_EQ(p->sY2R.aCoeff[i][j], y2r[i][j]) << i << "," << j;
        }
        EXPECT_EQ(p->sR2Y.aOffset[i], r2yOffset[i]);
        EXPECT_EQ(p->sY2R.aOffset[i], y2rOffset[i]);
    }

    const MC_MIE &mie = p->sMIE;
    EXPECT_EQ(mie.fBlackLevel, 0.0);
    EXPECT_FALSE(mie.bVibrancy);
    EXPECT_FALSE(mie.bMemoryColour);
    expectAll(mie.aVibrancySatMul, 0.0, "MIE vibrancy");
    for (const double *a : {mie.aYOffset, mie.aYScale, mie.aCOffset, mie.aCScale, mie.aGaussMinY, mie.aGaussScaleY,
                            mie.aGaussCB, mie.aGaussCR, mie.aGaussKB, mie.aGaussKR})
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(a[i], 0.0) << "MIE " << i;
    expectAll(mie.aRot, 0.0, "MIE rotation");
    expectAll(mie.aGaussRot, 0.0, "MIE gauss rotation");
    expectAll(mie.aGaussScale, 0.0, "MIE gauss scale");
    expectAll(mie.aGaussGain, 0.0, "MIE gauss gain");

    const MC_TNM &tnm = p->sTNM;
    EXPECT_FALSE(tnm.bBypassTNM);
    EXPECT_FALSE(tnm.bSetTNMtoPassDataIntact);
    for (int i = 0; i < 63; ++i)
        EXPECT_EQ(tnm.aCurve[i], (i + 1) / 64.0) << i;
    EXPECT_EQ(tnm.histFlattenMin, 0.0);
    EXPECT_EQ(tnm.histFlattenThreshold, 0.0);
    EXPECT_EQ(tnm.chromaSaturationScale, 1.0);
    EXPECT_EQ(tnm.chromaConfigurationScale, 1.0);
    EXPECT_EQ(tnm.chromaIOScale, 1.75);
    EXPECT_EQ(tnm.ui16LocalColumns, 16);
    EXPECT_EQ(tnm.ui16ColumnsIndex, 0);
    EXPECT_EQ(tnm.localWeights, 0.0);
    EXPECT_EQ(tnm.updateWeights, 0.0);
    EXPECT_EQ(tnm.inputLumaOffset, 1.0);
    EXPECT_EQ(tnm.inputLumaScale, 256.0 / 255.0);
    EXPECT_EQ(tnm.outputLumaOffset, 16.0);
    EXPECT_EQ(tnm.outputLumaScale, 220.0 / 256.0);

    const MC_SHA &sha = p->sSHA;
    EXPECT_EQ(sha.ui16Threshold, 0);
    EXPECT_EQ(sha.fStrength, 0.0);
    EXPECT_EQ(sha.fDetail, 1.0);
    EXPECT_FALSE(sha.bDenoise);
    const double weights[6] = {0.0, 1.0 / 3.0, 1.0 / 3.0, 0.0, 0.0, 0.0};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(sha.aGainWeigth[i], weights[i]) << i;
    EXPECT_EQ(sha.fELWScale, 4.0);
    EXPECT_EQ(sha.i16ELWOffset, 0);
    expectAll(sha.aDNSimil, QOV_UINT16(0), "SHA similarity");
    expectAll(sha.aDNAvoid, QOV_UINT16(0), "SHA avoidance");

    EXPECT_FALSE(p->sESC.bBypassESC);
    EXPECT_TRUE(p->sESC.bAdjustCutoff);
    EXPECT_FALSE(p->sESC.bChromaInter);
    EXPECT_FALSE(p->sDSC.bBypassDSC);
    EXPECT_TRUE(p->sDSC.bAdjustCutoff);
    const QOV_UINT16 output[2] = {2000, 600};
    for (int d = 0; d < 2; ++d) {
        EXPECT_EQ(p->sESC.aOutputSize[d], output[d]);
        EXPECT_EQ(p->sDSC.aOutputSize[d], output[d]);
        EXPECT_EQ(p->sESC.aOffset[d], 0);
        EXPECT_EQ(p->sDSC.aOffset[d], 0);
        EXPECT_EQ(p->sESC.aPitch[d], 1.0);
        EXPECT_EQ(p->sDSC.aPitch[d], 1.0);
    }

    const MC_HDR &hdr = p->sHDR;
    EXPECT_EQ(hdr.eHDRMode, HDR_NONE);
    EXPECT_EQ(hdr.eBayerMode, MOSAICType(0));
    EXPECT_FALSE(hdr.bLongExpFirst);
    expectAll(hdr.aFrameSize, QOV_UINT16(0), "HDR frame");
    EXPECT_EQ(hdr.ui32LineGap, 0u);
    expectAll(hdr.aBlackLevel, QOV_UINT16(0), "HDR black level");
    EXPECT_EQ(hdr.fExposureRatio, 0.0);
    EXPECT_EQ(hdr.fGain, 0.0);
    expectAll(hdr.aWeightCurve, 0.0, "HDR weights");
    expectAll(hdr.aLumCoeffs, 0.0, "HDR luma");
    expectAll(hdr.aTNMCurve, 0.0, "HDR tone curve");

    EXPECT_TRUE(p->sEXS.bGlobalEnable);
    EXPECT_TRUE(p->sEXS.bRegionEnable);
    EXPECT_EQ(p->sEXS.ui16Left, 71);
    EXPECT_EQ(p->sEXS.ui16Top, 21);
    EXPECT_EQ(p->sEXS.ui16Width, 142);
    EXPECT_EQ(p->sEXS.ui16Height, 42);
    EXPECT_EQ(p->sEXS.fPixelMax, 255.0);

    EXPECT_TRUE(p->sFOS.bGlobalEnable);
    EXPECT_TRUE(p->sFOS.bRegionEnable);
    EXPECT_EQ(p->sFOS.ui16Left, 0);
    EXPECT_EQ(p->sFOS.ui16Top, 0);
    EXPECT_EQ(p->sFOS.ui16Width, 2000);
    EXPECT_EQ(p->sFOS.ui16Height, 600);
    EXPECT_EQ(p->sFOS.ui16ROILeft, 500);
    EXPECT_EQ(p->sFOS.ui16ROITop, 150);
    EXPECT_EQ(p->sFOS.ui16ROIWidth, 1000);
    EXPECT_EQ(p->sFOS.ui16ROIHeight, 300);

    const MC_WBS &wbs = p->sWBS;
    EXPECT_EQ(wbs.ui8ActiveROI, 0);
    EXPECT_EQ(wbs.fRGBOffset, 0.0);
    EXPECT_EQ(wbs.fYOffset, -0.5);
    EXPECT_EQ(wbs.aRoiLeft[0], 500);
    EXPECT_EQ(wbs.aRoiTop[0], 150);
    EXPECT_EQ(wbs.aRoiWidth[0], 1000);
    EXPECT_EQ(wbs.aRoiHeight[0], 300);
    EXPECT_EQ(wbs.aRoiLeft[1], 0);
    EXPECT_EQ(wbs.aRoiTop[1], 0);
    EXPECT_EQ(wbs.aRoiWidth[1], 0);
    EXPECT_EQ(wbs.aRoiHeight[1], 0);
    for (const QOV_UINT16 *maxima : {wbs.aRMax, wbs.aGMax, wbs.aBMax, wbs.aYMax})
        EXPECT_TRUE(maxima[0] == 9 && maxima[1] == 9);

    const MC_AWS &aws = p->sAWS;
    EXPECT_FALSE(aws.bEnable);
    EXPECT_FALSE(aws.bDebugBitmap);
    EXPECT_EQ(aws.fLog2_R_Qeff, 255.0);
    EXPECT_EQ(aws.fLog2_B_Qeff, 255.0);
    EXPECT_EQ(aws.fRedDarkThresh, 0.0);
    EXPECT_EQ(aws.fBlueDarkThresh, 0.0);
    EXPECT_EQ(aws.fGreenDarkThresh, 0.0);
    EXPECT_EQ(aws.fRedClipThresh, 255.0);
    EXPECT_EQ(aws.fBlueClipThresh, 255.0);
    EXPECT_EQ(aws.fGreenClipThresh, 255.0);
    EXPECT_EQ(aws.fBbDist, 127.0);
    EXPECT_EQ(aws.ui16GridStartRow, 0);
    EXPECT_EQ(aws.ui16GridStartColumn, 0);
    EXPECT_EQ(aws.ui16GridTileWidth, 285);
    EXPECT_EQ(aws.ui16GridTileHeight, 85);
    const double coeffX[5] = {0.88671875, 0.966796875, 0.998046875, 0, 0};
    const double coeffY[5] = {0.4609375, 0.2548828125, 0.064453125, 0, 0};
    const double offset[5] = {0.0390625, 0.255859375, 0.63671875, 0, 0};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(aws.aCurveCoeffX[i], coeffX[i]) << i;
        EXPECT_EQ(aws.aCurveCoeffY[i], coeffY[i]) << i;
        EXPECT_EQ(aws.aCurveOffset[i], offset[i]) << i;
    }

    EXPECT_TRUE(p->sHIS.bGlobalEnable);
    EXPECT_TRUE(p->sHIS.bRegionEnable);
    EXPECT_EQ(p->sHIS.fInputOffset, 0.0);
    EXPECT_EQ(p->sHIS.fInputScale, 1.0);
    EXPECT_EQ(p->sHIS.ui16Left, 500);
    EXPECT_EQ(p->sHIS.ui16Top, 150);
    EXPECT_EQ(p->sHIS.ui16Width, 1000);
    EXPECT_EQ(p->sHIS.ui16Height, 300);

    const MC_FLD &fld = p->sFLD;
    EXPECT_TRUE(fld.bEnable);
    EXPECT_EQ(fld.ui16VTot, 600);
    EXPECT_EQ(fld.fFrameRate, 30.0);
    EXPECT_EQ(fld.ui16CoefDiff, 50);
    EXPECT_EQ(fld.ui16NFThreshold, 1500);
    EXPECT_EQ(fld.ui32SceneChange, 300000u);
    EXPECT_EQ(fld.ui8RShift, 10);
    EXPECT_EQ(fld.ui8MinPN, 4);
    EXPECT_EQ(fld.ui8PN, 4);
    EXPECT_FALSE(fld.bReset);

    EXPECT_FALSE(p->sENS.bEnable);
    EXPECT_EQ(p->sENS.ui32NLines, 8u);
    EXPECT_EQ(p->sENS.ui32KernelSubsampling, 0u);
}

TEST(McPipelineInit, StatisticsGridsFromTheImager)
{
    MC_IIF iif{};
    MC_EXS exs{};
    iif.ui16ImagerSize[0] = 100;
    iif.ui16ImagerSize[1] = 40;
    MC_EXSInit(&exs, &iif);
    EXPECT_EQ(exs.ui16Left, 7);
    EXPECT_EQ(exs.ui16Width, 14);
    EXPECT_EQ(exs.ui16Top, 2);
    EXPECT_EQ(exs.ui16Height, 8);

    MC_AWS aws{};
    iif.ui16ImagerSize[0] = 1000;
    iif.ui16ImagerSize[1] = 50;
    MC_AWSInit(&aws, &iif);
    EXPECT_EQ(aws.ui16GridTileWidth, 285);
    EXPECT_EQ(aws.ui16GridTileHeight, 16);
    // The signed S5.10 register values 256, 31904 and 30816, then 16.0 twice.
    const double boundaries[5] = {0.25, -0.84375, -1.90625, 16.0, 16.0};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(aws.aCurveBoundary[i], boundaries[i]) << i;

    // A seventh of the imager once that is more than the smallest tile.
    const struct {
        QOV_UINT16 size, exsTile, awsTile;
    } sizes[] = {{55, 8, 16}, {56, 8, 16}, {63, 9, 18}, {7, 8, 16}};
    for (const auto &c : sizes) {
        iif.ui16ImagerSize[0] = iif.ui16ImagerSize[1] = c.size;
        MC_EXSInit(&exs, &iif);
        MC_AWSInit(&aws, &iif);
        EXPECT_EQ(exs.ui16Width, c.exsTile) << c.size;
        EXPECT_EQ(exs.ui16Height, c.exsTile) << c.size;
        EXPECT_EQ(aws.ui16GridTileWidth, c.awsTile) << c.size;
        EXPECT_EQ(aws.ui16GridTileHeight, c.awsTile) << c.size;
    }
}

TEST(McPipelineInit, LcaShiftsAndCentres)
{
    const struct {
        QOV_UINT16 size;
        QOV_UINT8 shift;
    } cases[] = {{4000, 1}, {2050, 1}, {2049, 0}, {1000, 0}, {512, 0}, {511, 0xFF}, {300, 0xFF}, {256, 0xFF},
                 {255, 0xFE}, {128, 0xFE}, {127, 0xFD}, {1, 0xF7},
                 // kept whole beyond what the hardware field takes
                 {4097, 1}, {4100, 2}, {8200, 3}, {20000, 4}, {60000, 5}};
    for (const auto &c : cases) {
        MC_IIF iif{};
        iif.ui16ImagerSize[0] = c.size;
        iif.ui16ImagerSize[1] = 600;
        iif.ui16ImagerOffset[0] = 10;
        MC_LCA lca{};
        ASSERT_EQ(MC_LCAInit(&lca, &iif), QOV_SUCCESS);
        EXPECT_EQ(lca.aShift[0], c.shift) << "size " << c.size;
        EXPECT_EQ(lca.aOffsetRed[0], (10 + c.size) / 2);
        EXPECT_EQ(lca.aOffsetBlue[1], 300);
    }
}

/*-------------------------------------------------------------------------
 * Whole conversion
 *-------------------------------------------------------------------------*/

class McPipelineConvert : public testing::Test
{
  protected:
    CI_HWINFO hw = standardHw();
    std::unique_ptr<MC_PIPELINE> mc = defaultPipeline(hw, 960, 540);
    std::unique_ptr<CI_PIPELINE> ci = createdPipeline();
    int mask = -1;
};

TEST_F(McPipelineConvert, DefaultPipelineConvertsEveryModule)
{
    ASSERT_EQ(MC_PipelineConvert(mc.get(), ci.get(), &mask), QOV_SUCCESS);
    // Groups 0-6, lens-shading, white-balance-tile and HDR bits; no defect map.
    EXPECT_EQ(mask, 1 | 2 | 4 | 8 | 16 | 32 | 64 | 128 | 512 | 1024);
    // Timestamp, EXS global and region, FOS grid and ROI, both histograms, flicker.
    EXPECT_EQ(ci->config.eOutputConfig, 1024u + 3 + 12 + 192 + 256);
    EXPECT_EQ(ci->config.ui16SysBlackLevel, 16);
    EXPECT_EQ(ci->config.ui32DPFWriteMapSize, 540u * 256u);
    EXPECT_EQ(ci->sImagerInterface.ui16ImagerSize[0], 959);
    EXPECT_EQ(ci->sImagerInterface.ui16BuffThreshold, 1919);
    EXPECT_EQ(ci->sImagerInterface.ui16ScalerBottomBorder, 0);
    EXPECT_EQ(ci->sEncoderScaler.aOutputSize[0], 959);
    EXPECT_EQ(ci->sEncoderScaler.aOutputSize[1], 1079);
    EXPECT_TRUE(ci->sEncoderScaler.bOutput422); // no encoder counts as 4:2:2
    EXPECT_FALSE(mc->sCCM.updateNeeded);
    EXPECT_FALSE(mc->sENS.updateNeeded);
}

TEST_F(McPipelineConvert, SecondCallConvertsOnlyBlackLevelAndWhiteBalance)
{
    ASSERT_EQ(MC_PipelineConvert(mc.get(), ci.get(), &mask), QOV_SUCCESS);
    ASSERT_EQ(MC_PipelineConvert(mc.get(), ci.get(), &mask), QOV_SUCCESS);
    EXPECT_EQ(mask, CI_UPD_GRP_0 | CI_UPD_GRP_2);
    EXPECT_TRUE(mc->sBLC.updateNeeded);
    EXPECT_TRUE(mc->sWBC.updateNeeded);
}

TEST_F(McPipelineConvert, BottomBorderFollowsTheOutputs)
{
    mc->eDispOutput = RGB_888_32;
    ASSERT_EQ(MC_PipelineConvert(mc.get(), ci.get(), &mask), QOV_SUCCESS);
    EXPECT_EQ(ci->sImagerInterface.ui16ScalerBottomBorder, 2);
    EXPECT_EQ(ci->config.eDispType.eBuffer, TYPE_RGB);
    EXPECT_EQ(ci->config.ui16MaxDispOutWidth, 1920);
    EXPECT_EQ(ci->config.ui16MaxEncOutWidth, 0);

    mc->eEncOutput = YUV_420_PL12_8;
    ASSERT_EQ(MC_PipelineConvert(mc.get(), ci.get(), &mask), QOV_SUCCESS);
    EXPECT_EQ(ci->sImagerInterface.ui16ScalerBottomBorder, 4);
    EXPECT_EQ(ci->config.eEncType.eBuffer, TYPE_YUV);
    EXPECT_EQ(ci->config.ui16MaxEncOutHeight, 1080);

    mc->eEncOutput = PXL_NONE;
    mc->eDispOutput = PXL_NONE;
    mc->sENS.bEnable = QOV_TRUE;
    ASSERT_EQ(MC_PipelineConvert(mc.get(), ci.get(), &mask), QOV_SUCCESS);
    EXPECT_EQ(ci->sImagerInterface.ui16ScalerBottomBorder, 4);
    EXPECT_EQ(ci->config.eEncType.eBuffer, TYPE_NONE);
    EXPECT_EQ(ci->config.ui16MaxDispOutWidth, 0);

    mc->sENS.bEnable = QOV_FALSE; // nothing below the scalers any more
    ASSERT_EQ(MC_PipelineConvert(mc.get(), ci.get(), &mask), QOV_SUCCESS);
    EXPECT_EQ(ci->sImagerInterface.ui16ScalerBottomBorder, 0);
}

// The scalers' bottom border for every mix of outputs: 4 lines below either
// YUV path (encoder or its statistics), 2 below the display alone, none
// otherwise; a data extraction does not go through the display scaler.
TEST_F(McPipelineConvert, BottomBorderForEveryMixOfOutputs)
{
    struct Case {
        pxlFormat enc, disp;
        CI_INOUT_POINTS point;
        bool ens;
        QOV_UINT16 border;
    } cases[] = {
        {PXL_NONE, PXL_NONE, CI_INOUT_NONE, false, 0},
        {YUV_420_PL12_8, PXL_NONE, CI_INOUT_NONE, false, 4},
        {YUV_422_PL12_8, PXL_NONE, CI_INOUT_NONE, true, 4},
        {PXL_NONE, PXL_NONE, CI_INOUT_NONE, true, 4},
        {PXL_NONE, RGB_888_32, CI_INOUT_NONE, false, 2},
        {YUV_420_PL12_8, RGB_888_32, CI_INOUT_NONE, false, 4},
        {PXL_NONE, RGB_888_32, CI_INOUT_NONE, true, 4},
        {PXL_NONE, BAYER_RGGB_10, CI_INOUT_BLACK_LEVEL, false, 0},
        {YUV_420_PL12_8, BAYER_RGGB_10, CI_INOUT_BLACK_LEVEL, false, 4},
        {PXL_NONE, BAYER_RGGB_10, CI_INOUT_BLACK_LEVEL, true, 4},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "encoder " << c.enc << " display " << c.disp << " point " << c.point
                                        << " ENS " << c.ens);
        mc = defaultPipeline(hw, 960, 540);
        ci = createdPipeline();
        ci->sImagerInterface.ui16ScalerBottomBorder = 7; // left by an earlier use
        mc->eEncOutput = c.enc;
        mc->eDispOutput = c.disp;
        mc->eDEPoint = c.point;
        mc->sENS.bEnable = c.ens ? QOV_TRUE : QOV_FALSE;
        ASSERT_EQ(MC_PipelineConvert(mc.get(), ci.get(), &mask), QOV_SUCCESS);
        EXPECT_EQ(ci->sImagerInterface.ui16ScalerBottomBorder, c.border);
    }
}

TEST_F(McPipelineConvert, DisplayCarriesTheDataExtraction)
{
    mc->sIIF.eBayerFormat = MOSAIC_GRBG;
    mc->eDispOutput = BAYER_RGGB_10;
    mc->eDEPoint = CI_INOUT_BLACK_LEVEL;
    ASSERT_EQ(MC_PipelineConvert(mc.get(), ci.get(), &mask), QOV_SUCCESS);
    EXPECT_EQ(ci->config.eDispType.eBuffer, TYPE_BAYER);
    EXPECT_EQ(ci->config.eDispType.eMosaic, MOSAIC_GRBG);
    EXPECT_EQ(ci->config.eDataExtraction, CI_INOUT_BLACK_LEVEL);
    EXPECT_EQ(ci->sImagerInterface.ui16ScalerBottomBorder, 0);
}

// Converting onto a record an earlier conversion used with every output on
// gives what converting onto a freshly created record gives: no format, size,
// data extraction or border is left over from the earlier use.
TEST_F(McPipelineConvert, ConversionOverAUsedRecordLeavesNothingOfItsOutputs)
{
    auto everyOutput = defaultPipeline(hw, 960, 540);
    everyOutput->sIIF.eBayerFormat = MOSAIC_GRBG;
    everyOutput->eEncOutput = YUV_420_PL12_8;
    everyOutput->eDispOutput = BAYER_RGGB_10;
    everyOutput->eDEPoint = CI_INOUT_BLACK_LEVEL;
    everyOutput->eHDRExtOutput = BGR_101010_32;
    everyOutput->eHDRInsertion = BGR_161616_64;
    everyOutput->eRaw2DExtOutput = BAYER_TIFF_12;
    everyOutput->sENS.bEnable = QOV_TRUE;

    auto samePixelType = [](const PIXELTYPE &a, const PIXELTYPE &b) {
        return a.eFmt == b.eFmt && a.eBuffer == b.eBuffer && a.eMosaic == b.eMosaic &&
               a.ui8HSubsampling == b.ui8HSubsampling && a.ui8VSubsampling == b.ui8VSubsampling &&
               a.ui8BitDepth == b.ui8BitDepth && a.ui8PackedElements == b.ui8PackedElements &&
               a.ui8PackedStride == b.ui8PackedStride && a.ePackedStart == b.ePackedStart;
    };
    struct Case {
        const char *name;
        pxlFormat enc, disp;
    } cases[] = {
        {"no output", PXL_NONE, PXL_NONE},
        {"display only", PXL_NONE, RGB_888_32},
        {"encoder only", YUV_422_PL12_8, PXL_NONE},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto used = createdPipeline();
        auto earlier = std::make_unique<MC_PIPELINE>(*everyOutput);
        ASSERT_EQ(MC_PipelineConvert(earlier.get(), used.get(), &mask), QOV_SUCCESS);
        ASSERT_EQ(used->config.eDataExtraction, CI_INOUT_BLACK_LEVEL);

        auto fresh = createdPipeline();
        for (CI_PIPELINE *target : {used.get(), fresh.get()}) {
            mc = defaultPipeline(hw, 960, 540);
            mc->eEncOutput = c.enc;
            mc->eDispOutput = c.disp;
            ASSERT_EQ(MC_PipelineConvert(mc.get(), target, &mask), QOV_SUCCESS);
        }
        const CI_PIPELINE_CONFIG &got = used->config, &want = fresh->config;
        EXPECT_EQ(got.eDataExtraction, CI_INOUT_NONE);
        EXPECT_TRUE(samePixelType(got.eEncType, want.eEncType));
        EXPECT_TRUE(samePixelType(got.eDispType, want.eDispType));
        EXPECT_TRUE(samePixelType(got.eHDRExtType, want.eHDRExtType));
        EXPECT_TRUE(samePixelType(got.eHDRInsType, want.eHDRInsType));
        EXPECT_TRUE(samePixelType(got.eRaw2DExtraction, want.eRaw2DExtraction));
        EXPECT_EQ(got.eOutputConfig, want.eOutputConfig);
        EXPECT_EQ(got.ui16MaxEncOutWidth, want.ui16MaxEncOutWidth);
        EXPECT_EQ(got.ui16MaxEncOutHeight, want.ui16MaxEncOutHeight);
        EXPECT_EQ(got.ui16MaxDispOutWidth, want.ui16MaxDispOutWidth);
        EXPECT_EQ(got.ui16MaxDispOutHeight, want.ui16MaxDispOutHeight);
        EXPECT_EQ(got.ui32DPFWriteMapSize, want.ui32DPFWriteMapSize);
        EXPECT_EQ(got.ui16SysBlackLevel, want.ui16SysBlackLevel);
        EXPECT_EQ(used->sImagerInterface.ui16ScalerBottomBorder, fresh->sImagerInterface.ui16ScalerBottomBorder);
        EXPECT_EQ(used->sEncoderScaler.bOutput422, fresh->sEncoderScaler.bOutput422);
    }
}

TEST_F(McPipelineConvert, Raw2DMustBeATiffFormat)
{
    mc->eRaw2DExtOutput = BAYER_RGGB_10;
    mask = 0x7777;
    testing::internal::CaptureStderr();
    EXPECT_EQ(MC_PipelineConvert(mc.get(), ci.get(), &mask), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("format is expected to be TIFF for Raw2D\n"),
              std::string::npos);
    EXPECT_EQ(mask, 0x7777); // left as it was
    EXPECT_TRUE(mc->sCCM.updateNeeded);

    for (pxlFormat tiff : {BAYER_TIFF_10, BAYER_TIFF_12}) {
        mc->eRaw2DExtOutput = tiff;
        EXPECT_EQ(MC_PipelineConvert(mc.get(), ci.get(), &mask), QOV_SUCCESS);
        EXPECT_EQ(ci->config.eRaw2DExtraction.ePackedStart, PACKED_MSB);
    }
}

TEST_F(McPipelineConvert, WrongFormatFamiliesAreRefused)
{
    mc->eEncOutput = RGB_888_24;
    testing::internal::CaptureStderr();
    EXPECT_EQ(MC_PipelineConvert(mc.get(), ci.get(), &mask), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("unexpected YUV format given\n"), std::string::npos);
    EXPECT_EQ(mask, -1);

    mc->eEncOutput = PXL_NONE;
    mc->eHDRExtOutput = YUV_420_PL12_8;
    testing::internal::CaptureStderr();
    EXPECT_NE(MC_PipelineConvert(mc.get(), ci.get(), &mask), QOV_SUCCESS);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("unexpected RGB format given for HDR extraction\n"),
              std::string::npos);
}

// Each output's format of the wrong family is refused with the output named,
// and the right one reaches the configuration.
TEST_F(McPipelineConvert, EveryOutputChecksItsFormatFamily)
{
    struct Case {
        const char *name;
        pxlFormat MC_PIPELINE::*output;
        pxlFormat wrong, right;
        CI_INOUT_POINTS point;
        const char *message;
        PIXELTYPE CI_PIPELINE_CONFIG::*type;
        FORMAT_TYPES family;
    } cases[] = {
        {"display", &MC_PIPELINE::eDispOutput, YUV_420_PL12_8, RGB_888_32, CI_INOUT_NONE,
         "unexpected RGB format given\n", &CI_PIPELINE_CONFIG::eDispType, TYPE_RGB},
        {"data extraction", &MC_PIPELINE::eDispOutput, RGB_888_32, BAYER_RGGB_12, CI_INOUT_FILTER_LINESTORE,
         "unexpected Bayer format given\n", &CI_PIPELINE_CONFIG::eDispType, TYPE_BAYER},
        {"HDR extraction", &MC_PIPELINE::eHDRExtOutput, BAYER_RGGB_10, BGR_101010_32, CI_INOUT_NONE,
         "unexpected RGB format given for HDR extraction\n", &CI_PIPELINE_CONFIG::eHDRExtType, TYPE_RGB},
        {"HDR insertion", &MC_PIPELINE::eHDRInsertion, YUV_422_PL12_8, BGR_161616_64, CI_INOUT_NONE,
         "unexpected RGB format given for HDR insertion\n", &CI_PIPELINE_CONFIG::eHDRInsType, TYPE_RGB},
        {"RAW 2D", &MC_PIPELINE::eRaw2DExtOutput, RGB_888_32, BAYER_TIFF_12, CI_INOUT_NONE,
         "unexpected Bayer format given to Raw 2D\n", &CI_PIPELINE_CONFIG::eRaw2DExtraction, TYPE_BAYER},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        mc = defaultPipeline(hw, 960, 540);
        ci = createdPipeline();
        mc->eDEPoint = c.point;
        mc.get()->*c.output = c.wrong;
        mask = -1;
        testing::internal::CaptureStderr();
        EXPECT_NE(MC_PipelineConvert(mc.get(), ci.get(), &mask), QOV_SUCCESS);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(c.message), std::string::npos) << err;
        EXPECT_EQ(mask, -1);

        mc.get()->*c.output = c.right;
        ASSERT_EQ(MC_PipelineConvert(mc.get(), ci.get(), &mask), QOV_SUCCESS);
        EXPECT_EQ((ci->config.*c.type).eFmt, c.right);
        EXPECT_EQ((ci->config.*c.type).eBuffer, c.family);
    }
}

TEST_F(McPipelineConvert, HdrModeForcesNeutralBlackOffsetsAndGains)
{
    mc->sHDR.eHDRMode = HDR_STAGGERED;
    const QOV_INT8 offsets[4] = {5, -3, 2, 1};
    const double gains[4] = {2.0, 1.5, 1.0, 1.25};
    for (int c = 0; c < 4; ++c) {
        mc->sBLC.aFixedOffset[c] = offsets[c];
        mc->sWBC.aGain[c] = gains[c];
    }
    ASSERT_EQ(MC_PipelineConvert(mc.get(), ci.get(), &mask), QOV_SUCCESS);
    const QOV_UINT16 hdrGains[4] = {2048, 1536, 1024, 1280}; // U3.10
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(ci->sBlackCorrection.i8FixedOffset[c], 0);
        EXPECT_EQ(ci->sWhiteBalance.aGain[c], 1024); // 1.0 in U6.10
        EXPECT_EQ(ci->sHDR.aWBCGains[c], hdrGains[c]);
        EXPECT_EQ(mc->sWBC.aGain[c], gains[c]);
    }

    // Back to no HDR: the real values reach the hardware at once.
    mc->sHDR.eHDRMode = HDR_NONE;
    ASSERT_EQ(MC_PipelineConvert(mc.get(), ci.get(), &mask), QOV_SUCCESS);
    EXPECT_EQ(ci->sBlackCorrection.i8FixedOffset[1], -3);
    EXPECT_EQ(ci->sWhiteBalance.aGain[0], 2048);
}

TEST_F(McPipelineConvert, OutputFlagsFollowTheEnables)
{
    mc->bEnableCRC = 1;
    mc->bEnableTimestamp = 1;
    mc->sFOS.bGlobalEnable = mc->sFOS.bRegionEnable = QOV_FALSE;
    mc->sHIS.bGlobalEnable = mc->sHIS.bRegionEnable = QOV_FALSE;
    mc->sFLD.bEnable = QOV_FALSE;
    ASSERT_EQ(MC_PipelineConvert(mc.get(), ci.get(), &mask), QOV_SUCCESS);
    EXPECT_EQ(ci->config.eOutputConfig, 1536u + 3u);

    // A flag depends on the enables only, converted or not; a boolean counts
    // only as 1, the white-balance tests as non-zero.
    mc->sEXS.bGlobalEnable = 2;
    mc->sWBS.ui8ActiveROI = 2;
    mc->sAWS.bEnable = 3;
    mc->sENS.bEnable = 1;
    ASSERT_EQ(MC_PipelineConvert(mc.get(), ci.get(), &mask), QOV_SUCCESS);
    EXPECT_EQ(ci->config.eOutputConfig, 1536u + 2u + 16u + 32u + 2048u);
}

TEST_F(McPipelineConvert, MainModuleFailureStillConvertsTheOthers)
{
    mc->sESC.aPitch[1] = 0.5;
    testing::internal::CaptureStderr();
    EXPECT_EQ(MC_PipelineConvert(mc.get(), ci.get(), &mask), QOV_ERROR_FAILURE);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("upsampling not supported: pitch < 1.0 is not valid (given: 1.000000 0.500000)\n"),
              std::string::npos);
    EXPECT_NE(err.find("failed when converting a main module configuration\n"), std::string::npos);
    EXPECT_FALSE(mc->sDSC.updateNeeded);
    EXPECT_FALSE(mc->sHDR.updateNeeded);
    EXPECT_TRUE(mc->sEXS.updateNeeded); // statistics not converted
    EXPECT_EQ(ci->config.eOutputConfig, 0u);
}

TEST_F(McPipelineConvert, StatisticsFailureKeepsTheFlags)
{
    mc->sENS.ui32NLines = 12;
    mc->sENS.bEnable = 1;
    testing::internal::CaptureStderr();
    EXPECT_EQ(MC_PipelineConvert(mc.get(), ci.get(), &mask), QOV_ERROR_FAILURE);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("nb of lines should be a power of 2 (12 given)\n"),
              std::string::npos);
    EXPECT_EQ(ci->config.eOutputConfig, 1024u + 3 + 12 + 192 + 256 + 2048);
    EXPECT_EQ(ci->config.ui16SysBlackLevel, 64); // not copied
}

TEST_F(McPipelineConvert, NullArgumentsAreRefused)
{
    EXPECT_EQ(MC_PipelineConvert(mc.get(), ci.get(), nullptr), QOV_ERROR_INVALID_ARGUMENT);
    mc->pHWInfo = nullptr;
    EXPECT_EQ(MC_PipelineConvert(mc.get(), ci.get(), &mask), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(mask, -1);
}

} // namespace
