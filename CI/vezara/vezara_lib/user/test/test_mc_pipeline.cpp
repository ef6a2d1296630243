// Defaults of the floating-point configuration and the whole-pipeline
// conversion: output layouts, borders, update masks and output flags.
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
