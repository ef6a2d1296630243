// Statistics measured by the simulated ISP's image pipeline on frames that the
// internal data generator plays in from a JUX file, read back through the
// library's extraction functions and compared with values worked out by hand
// from the input.
//
// The capture: a 64 x 48 RGGB image of 12-bit samples (32 x 24 CFA cells)
// through the parallel 12-bit generator, the data extraction as the only
// output, the statistics records set the way their setup modules set them.
// One shot per frame; the configuration changes between shots go through a
// conversion and a pipeline update, as the control core sends them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "ci/ci_api.h"
#include "ci/ci_converter.h"
#include "ci/ci_datagen.h"
#include "mc/mc_conversions.h"
#include "mc/mc_structs.h"
#include "sim_image/sim_image.h"
#include "simboard/board.h"
#include "simboard/isp_driver.h"
#include "simboard/isp_model.h"
#include "test_ci_support.h"

namespace {

using citest::TempFolder;

constexpr QOV_UINT32 kWidth = 64, kHeight = 48;
constexpr QOV_UINT32 kSamples = kWidth * kHeight;            // 3072
constexpr QOV_UINT32 kCells = (kWidth / 2) * (kHeight / 2);  // 768
// The white-balance regions as the control writes them, from (0, 0) to
// (W - 1, H - 1) with width and height end - start: right = W - 2, bottom
// = H - 2.
constexpr QOV_UINT32 kRegionPixels = (kWidth - 1) * (kHeight - 1);  // 2961
constexpr QOV_UINT8 kDepth = 12;
constexpr QOV_UINT8 kGasket = 3;  // parallel 12-bit receiver of the standard profile

// The frames of the input file.
enum InputFrame : unsigned { kGrey, kColour, kChecker, kFrameCount };
constexpr QOV_UINT16 kGreyLevel = 1000;
constexpr QOV_UINT16 kRed = 800, kGreen = 1000, kBlue = 1200;  // the coloured field
constexpr QOV_UINT16 kCheckerDark = 500, kCheckerBright = 1500;  // 8 x 8-pixel squares

QOV_UINT16 inputSample(unsigned frame, QOV_UINT32 x, QOV_UINT32 y)
{
    switch (frame) {
    case kGrey: return kGreyLevel;
    case kColour: return (y & 1) == 0 ? ((x & 1) == 0 ? kRed : kGreen) : ((x & 1) == 0 ? kGreen : kBlue);
    default: return ((x / 8 + y / 8) & 1) ? kCheckerBright : kCheckerDark;
    }
}

// The input file: one frame of each kind, written as 2x2 cells (top-left,
// top-right, bottom-left, bottom-right sample).
void writeJux(const std::string &path)
{
    sSimImageOut out;
    ASSERT_EQ(SimImageOut_init(&out), QOV_SUCCESS);
    out.info.eColourModel = SimImage_RGGB;
    out.info.ui8BitDepth = kDepth;
    out.info.ui32Width = kWidth;
    out.info.ui32Height = kHeight;
    ASSERT_EQ(SimImageOut_create(&out), QOV_SUCCESS);
    ASSERT_EQ(SimImageOut_open(&out, path.c_str()), QOV_SUCCESS);
    std::vector<QOV_UINT16> cells(kSamples);
    for (unsigned f = 0; f < kFrameCount; ++f) {
        size_t k = 0;
        for (QOV_UINT32 cy = 0; cy < kHeight / 2; ++cy) {
            for (QOV_UINT32 cx = 0; cx < kWidth / 2; ++cx) {
                cells[k++] = inputSample(f, 2 * cx, 2 * cy);
                cells[k++] = inputSample(f, 2 * cx + 1, 2 * cy);
                cells[k++] = inputSample(f, 2 * cx, 2 * cy + 1);
                cells[k++] = inputSample(f, 2 * cx + 1, 2 * cy + 1);
            }
        }
        ASSERT_EQ(SimImageOut_addFrame(&out, cells.data(), cells.size() * sizeof(QOV_UINT16)), QOV_SUCCESS);
        ASSERT_EQ(SimImageOut_write(&out), QOV_SUCCESS);
    }
    ASSERT_EQ(SimImageOut_close(&out), QOV_SUCCESS);
    ASSERT_EQ(SimImageOut_clean(&out), QOV_SUCCESS);
}

// Everything read back from one shot.
struct ShotStats {
    QOV_UINT32 outputs = 0;
    MC_STATS_EXS exs{};
    MC_STATS_HIS his{};
    MC_STATS_FOS fos{};
    MC_STATS_WBS wbs{};
    MC_STATS_AWS aws{};
    MC_HIS hisConfig{};
    MC_EXS exsConfig{};
};

class Statistics : public testing::Test {
protected:
    void SetUp() override
    {
        simboard::Board::instance().reset();
        driver = simboard::IspDriver::installed();
        ASSERT_TRUE(driver);
        driver->setProfile(simboard::IspProfile::standard());
        driver->setImageModel(simboard::makePipelineImageModel());
        SimImageIn_init(&image);
        ASSERT_TRUE(folder.ok());
        const std::string path = folder.file("statistics.jux");
        writeJux(path);
        if (HasFatalFailure())
            return;
        ASSERT_EQ(SimImageIn_loadJUX(&image, path.c_str()), QOV_SUCCESS);
        ASSERT_EQ(image.nFrames, static_cast<unsigned>(kFrameCount));
        startCapture();
    }

    void TearDown() override
    {
        if (pipeline && CI_PipelineIsStarted(pipeline) == QOV_TRUE) {
            EXPECT_EQ(CI_PipelineStopCapture(pipeline), QOV_SUCCESS);
        }
        if (datagen) {
            EXPECT_EQ(CI_DatagenStop(datagen), QOV_SUCCESS);
            EXPECT_EQ(CI_DatagenDestroy(datagen), QOV_SUCCESS);
        }
        if (pipeline) {
            EXPECT_EQ(CI_PipelineDeleteShots(pipeline), QOV_SUCCESS);
            for (QOV_UINT32 id : bufferIds)
                EXPECT_EQ(CI_PipelineDeregisterBuffer(pipeline, id), QOV_SUCCESS);
            EXPECT_EQ(CI_PipelineDestroy(pipeline), QOV_SUCCESS);
        }
        CI_ConverterClear(&converter);
        SimImageIn_close(&image);
        if (connection) {
            EXPECT_EQ(CI_DriverFinalise(connection), QOV_SUCCESS);
        }
        if (driver) {
            EXPECT_EQ(driver->liveObjects().total(), 0u);
        }
        simboard::Board::instance().reset();
    }

    // The statistics records as their setup modules write them.
    void configureStatistics()
    {
        // Exposure: both counts, 8 x 8-pixel tiles from the corner.
        MC_EXS &exs = mc->sEXS;
        exs.bGlobalEnable = QOV_TRUE;
        exs.bRegionEnable = QOV_TRUE;
        exs.ui16Left = 0;
        exs.ui16Top = 0;
        exs.ui16Width = 8;
        exs.ui16Height = 8;
        exs.fPixelMax = 4095.0;
        exs.updateNeeded = QOV_TRUE;
        // Histograms: both, the module's default input range (offset 256,
        // scale 32767) and tiles (10 x 8 pixels).
        MC_HIS &his = mc->sHIS;
        his.bGlobalEnable = QOV_TRUE;
        his.bRegionEnable = QOV_TRUE;
        his.fInputOffset = 256.0;
        his.fInputScale = 32767.0;
        his.ui16Left = 0;
        his.ui16Top = 0;
        his.ui16Width = 10;
        his.ui16Height = 8;
        his.updateNeeded = QOV_TRUE;
        // Focus: the whole image as region of interest, from (0, 0) to
        // (63, 47), and a grid of 16 x 16-pixel tiles.
        MC_FOS &fos = mc->sFOS;
        fos.bGlobalEnable = QOV_TRUE;
        fos.bRegionEnable = QOV_TRUE;
        fos.ui16Left = 0;
        fos.ui16Top = 0;
        fos.ui16Width = 16;
        fos.ui16Height = 16;
        fos.ui16ROILeft = 0;
        fos.ui16ROITop = 0;
        fos.ui16ROIWidth = (kWidth - 1) - 0 + 1;
        fos.ui16ROIHeight = (kHeight - 1) - 0 + 1;
        fos.updateNeeded = QOV_TRUE;
        // White balance: two regions over the image, written as the
        // white-balance control writes them (from (0, 0) to (W - 1, H - 1),
        // width and height end - start), thresholds with 11 fractional bits.
        // Region 0: channel maxima 0.25, luma 0.125; region 1: 0.45 and 0.9.
        MC_WBS &wbs = mc->sWBS;
        wbs.ui8ActiveROI = 2;
        wbs.fRGBOffset = 0.0;
        wbs.fYOffset = -127.0;
        const double channelMax[2] = {0.25, 0.45}, lumaMax[2] = {0.125, 0.9};
        for (int r = 0; r < 2; ++r) {
            wbs.aRoiLeft[r] = 0;
            wbs.aRoiTop[r] = 0;
            wbs.aRoiWidth[r] = kWidth - 1;
            wbs.aRoiHeight[r] = kHeight - 1;
            wbs.aRMax[r] = wbs.aGMax[r] = wbs.aBMax[r] = static_cast<QOV_UINT16>(channelMax[r] * 2048);
            wbs.aYMax[r] = static_cast<QOV_UINT16>(lumaMax[r] * 2048);
        }
        wbs.updateNeeded = QOV_TRUE;
        // White-balance tiles: the module's default thresholds (dark 8.0,
        // clip 128.0 of the 8-bit range), 16 x 16-pixel tiles from the corner.
        MC_AWS &aws = mc->sAWS;
        aws.bEnable = QOV_TRUE;
        aws.bDebugBitmap = QOV_FALSE;
        aws.fLog2_R_Qeff = aws.fLog2_B_Qeff = 1.0;
        aws.fRedDarkThresh = aws.fBlueDarkThresh = aws.fGreenDarkThresh = 8.0;
        aws.fRedClipThresh = aws.fBlueClipThresh = aws.fGreenClipThresh = 128.0;
        aws.fBbDist = 0.2;
        aws.ui16GridStartRow = 0;
        aws.ui16GridStartColumn = 0;
        aws.ui16GridTileWidth = 16;
        aws.ui16GridTileHeight = 16;
        aws.updateNeeded = QOV_TRUE;
        // White-balance gains and clips as the gain module writes them: unit
        // gains, clips 1.0 x 256.
        for (int c = 0; c < 4; ++c) {
            mc->sWBC.aGain[c] = 1.0;
            mc->sWBC.aClip[c] = 256.0;
        }
        mc->sWBC.updateNeeded = QOV_TRUE;
    }

    void startCapture()
    {
        ASSERT_EQ(CI_DriverInit(&connection), QOV_SUCCESS);
        ASSERT_EQ(CI_PipelineCreate(&pipeline, connection), QOV_SUCCESS);
        pipeline->config.ui8Context = 0;

        ASSERT_EQ(MC_IIFInit(&mc->sIIF), QOV_SUCCESS);
        mc->sIIF.ui8Imager = kGasket;
        mc->sIIF.eBayerFormat = MOSAIC_RGGB;
        mc->sIIF.ui16ImagerSize[0] = kWidth / 2;
        mc->sIIF.ui16ImagerSize[1] = kHeight / 2;
        ASSERT_EQ(MC_PipelineInit(mc.get(), &connection->sHWInfo), QOV_SUCCESS);
        mc->eDispOutput = BAYER_RGGB_12;
        mc->eDEPoint = CI_INOUT_BLACK_LEVEL;
        mc->sTNM.bBypassTNM = QOV_TRUE;  // 16 local columns of 40 pixels do not fit the image
        mc->sFLD.bEnable = QOV_FALSE;
        configureStatistics();
        int mask = 0;
        ASSERT_EQ(MC_PipelineConvert(mc.get(), pipeline, &mask), QOV_SUCCESS);
        ASSERT_EQ(pipeline->config.eOutputConfig, kAllOutputs);
        ASSERT_EQ(CI_PipelineRegister(pipeline), QOV_SUCCESS);
        ASSERT_EQ(CI_PipelineAddPool(pipeline, 1), QOV_SUCCESS);
        QOV_UINT32 id = 0;
        ASSERT_EQ(CI_PipelineAllocateBuffer(pipeline, CI_TYPE_DATAEXT, 0, QOV_FALSE, &id), QOV_SUCCESS);
        bufferIds.push_back(id);
        ASSERT_EQ(CI_PipelineComputeLinestore(pipeline), QOV_SUCCESS);

        ASSERT_EQ(CI_DatagenCreate(&datagen, connection), QOV_SUCCESS);
        datagen->ui8IIFDGIndex = 0;
        datagen->eFormat = CI_DGFMT_PARALLEL;
        datagen->ui8FormatBitdepth = kDepth;
        datagen->ui8Gasket = kGasket;
        datagen->eBayerMosaic = MOSAIC_RGGB;
        ASSERT_EQ(CI_ConverterConfigure(&converter, CI_DGFMT_PARALLEL, kDepth), QOV_SUCCESS);
        const QOV_UINT32 frameSize = CI_ConverterFrameSize(&converter, kWidth, kHeight);
        ASSERT_GT(frameSize, 0u);
        ASSERT_EQ(CI_DatagenAllocateFrame(datagen, frameSize, nullptr), QOV_SUCCESS);
        ASSERT_EQ(CI_DatagenStart(datagen), QOV_SUCCESS);
        ASSERT_EQ(CI_PipelineStartCapture(pipeline), QOV_SUCCESS);
    }

    // Sends the records changed since the last conversion.
    void update()
    {
        int mask = 0;
        ASSERT_EQ(MC_PipelineConvert(mc.get(), pipeline, &mask), QOV_SUCCESS);
        ASSERT_EQ(CI_PipelineUpdate(pipeline, mask, nullptr), QOV_SUCCESS);
    }

    // One shot of input frame `f`: trigger, play the frame in, acquire, read
    // the statistics and the configuration back, release.
    void shoot(unsigned f, ShotStats &out)
    {
        ASSERT_EQ(CI_PipelineTriggerShoot(pipeline), QOV_SUCCESS);
        ASSERT_EQ(SimImageIn_convertFrame(&image, static_cast<QOV_INT32>(f)), QOV_SUCCESS);
        CI_DG_FRAME *frame = CI_DatagenGetAvailableFrame(datagen);
        ASSERT_NE(frame, nullptr);
        ASSERT_EQ(CI_ConverterConvertFrame(&converter, &image, frame), QOV_SUCCESS);
        frame->ui32HorizontalBlanking = 130;
        frame->ui32VerticalBlanking = 20;
        ASSERT_EQ(CI_DatagenInsertFrame(frame), QOV_SUCCESS);
        ASSERT_EQ(CI_DatagenWaitProcessedFrame(datagen, QOV_TRUE), QOV_SUCCESS);

        CI_SHOT *shot = nullptr;
        ASSERT_EQ(CI_PipelineAcquireShot(pipeline, &shot), QOV_SUCCESS);
        ASSERT_NE(shot, nullptr);
        EXPECT_EQ(shot->bFrameError, 0);
        ASSERT_NE(shot->pStatistics, nullptr);
        out.outputs = shot->eOutputConfig;
        EXPECT_EQ(MC_EXSExtract(shot->pStatistics, &out.exs), QOV_SUCCESS);
        EXPECT_EQ(MC_HISExtract(shot->pStatistics, &out.his), QOV_SUCCESS);
        EXPECT_EQ(MC_FOSExtract(shot->pStatistics, &out.fos), QOV_SUCCESS);
        EXPECT_EQ(MC_WBSExtract(shot->pStatistics, &out.wbs), QOV_SUCCESS);
        EXPECT_EQ(MC_AWSExtract(shot->pStatistics, &out.aws), QOV_SUCCESS);
        CI_PIPELINE_STATS config{};
        EXPECT_EQ(CI_PipelineExtractConfig(shot, &config), QOV_SUCCESS);
        EXPECT_EQ(MC_HISRevert(&config.sHistStats, shot->eOutputConfig, &out.hisConfig), QOV_SUCCESS);
        EXPECT_EQ(MC_EXSRevert(&config.sExposureStats, shot->eOutputConfig, &out.exsConfig), QOV_SUCCESS);
        ASSERT_EQ(CI_PipelineReleaseShot(pipeline, shot), QOV_SUCCESS);
    }

    static constexpr QOV_UINT32 kAllOutputs = CI_SAVE_TIMESTAMP | CI_SAVE_EXS_GLOBAL | CI_SAVE_EXS_REGION |
                                              CI_SAVE_FOS_ROI | CI_SAVE_FOS_GRID | CI_SAVE_WHITEBALANCE |
                                              CI_SAVE_WHITEBALANCE_EXT | CI_SAVE_HIST_GLOBAL |
                                              CI_SAVE_HIST_REGION;

    TempFolder folder{"ci_stats_"};
    std::shared_ptr<simboard::IspDriver> driver;
    sSimImageIn image{};
    CI_CONVERTER converter{};
    CI_CONNECTION *connection = nullptr;
    CI_PIPELINE *pipeline = nullptr;
    CI_DATAGEN *datagen = nullptr;
    std::vector<QOV_UINT32> bufferIds;
    std::unique_ptr<MC_PIPELINE> mc = std::make_unique<MC_PIPELINE>();
};

// Exposure tiles of 8 x 8 pixels hold 4 x 4 samples of each channel; the
// 48 lines fill tile rows 0 to 5.
void expectClipped(const MC_STATS_EXS &exs, QOV_UINT32 perChannel, QOV_UINT32 perTile)
{
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(exs.globalClipped[c], perChannel) << "channel " << c;
        for (int r = 0; r < 7; ++r)
            for (int t = 0; t < 7; ++t)
                ASSERT_EQ(exs.regionClipped[r][t][c], r < 6 ? perTile : 0u) << r << "," << t << " channel " << c;
    }
}

TEST_F(Statistics, FlatGreyField)
{
    ASSERT_FALSE(HasFatalFailure());
    // A pixel maximum below the level: every sample is clipped.
    mc->sEXS.fPixelMax = kGreyLevel - 1;
    mc->sEXS.updateNeeded = QOV_TRUE;
    update();
    auto grey = std::make_unique<ShotStats>();
    shoot(kGrey, *grey);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(grey->outputs, kAllOutputs);
    EXPECT_EQ(grey->exsConfig.fPixelMax, kGreyLevel - 1.0);
    expectClipped(grey->exs, kCells, 16);

    // The histograms count the luma of every pixel after the driver's
    // gamma curve (63 points of 4095 (i / 62)^(1 / 2.2)): 1000 lies 575 / 4095
    // of the way from point 15 (2148) to point 16 (2212), 2156; the input
    // ((2156 - 256) x 32767) >> 15 = 1899 falls in global bin 1899 / 64 = 29
    // and tile bin 1899 / 256 = 7. Tiles of 10 x 8 pixels: columns 0-5 hold
    // 80 pixels, column 6 the last 4 columns (32), row 6 lies below the image.
    for (int b = 0; b < 64; ++b)
        EXPECT_EQ(grey->his.globalHistogram[b], b == 29 ? kSamples : 0u) << "bin " << b;
    for (int r = 0; r < 7; ++r)
        for (int t = 0; t < 7; ++t)
            for (int b = 0; b < 16; ++b) {
                const QOV_UINT32 tile = r == 6 ? 0u : t == 6 ? 32u : 80u;
                ASSERT_EQ(grey->his.regionHistograms[r][t][b], b == 7 ? tile : 0u) << r << "," << t << " bin " << b;
            }

    // No edge anywhere: no sharpness.
    EXPECT_EQ(grey->fos.ROISharpness, 0u);
    for (int r = 0; r < 7; ++r)
        for (int t = 0; t < 7; ++t)
            EXPECT_EQ(grey->fos.gridSharpness[r][t], 0u) << r << "," << t;

    // White-balance tiles of 8 x 8 cells: 4 columns and 3 rows of them over
    // the 32 x 24 cells. 1000 (62.5 of 8 bits) lies between the dark and the
    // clip threshold: every cell counts, each adding log2 1000 per channel.
    for (int r = 0; r < 7; ++r)
        for (int t = 0; t < 7; ++t) {
            const MC_TILE_STATS_AWS &tile = grey->aws.tileStats[r][t];
            const QOV_UINT32 n = r < 3 && t < 4 ? 64u : 0u;
            EXPECT_EQ(tile.numCFAs, n) << r << "," << t;
            if (n == 0) {
                EXPECT_EQ(tile.fCollectedGreen, 0.0);
                continue;
            }
            for (double sum : {tile.fCollectedRed, tile.fCollectedGreen, tile.fCollectedBlue})
                EXPECT_NEAR(sum / n, std::log2(1000.0), 1.0 / 64) << r << "," << t;
        }

    // A pixel maximum above the level: nothing is clipped. The tile
    // histograms switched off read zero, the global one is still measured.
    mc->sEXS.fPixelMax = kGreyLevel + 1;
    mc->sEXS.updateNeeded = QOV_TRUE;
    mc->sHIS.bRegionEnable = QOV_FALSE;
    mc->sHIS.updateNeeded = QOV_TRUE;
    update();
    auto second = std::make_unique<ShotStats>();
    shoot(kGrey, *second);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(second->outputs, kAllOutputs & ~static_cast<QOV_UINT32>(CI_SAVE_HIST_REGION));
    EXPECT_EQ(second->exsConfig.fPixelMax, kGreyLevel + 1.0);
    EXPECT_EQ(second->hisConfig.bRegionEnable, QOV_FALSE);
    EXPECT_EQ(second->hisConfig.bGlobalEnable, QOV_TRUE);
    expectClipped(second->exs, 0, 0);
    EXPECT_EQ(second->his.globalHistogram[29], kSamples);
    for (int r = 0; r < 7; ++r)
        for (int t = 0; t < 7; ++t)
            for (int b = 0; b < 16; ++b)
                ASSERT_EQ(second->his.regionHistograms[r][t][b], 0u) << r << "," << t << " bin " << b;
}

TEST_F(Statistics, ColouredFieldWithWhiteBalanceGains)
{
    ASSERT_FALSE(HasFatalFailure());
    // Red gain 1.5, blue gain 0.5: the cells become R 1200, G 1000, B 600
    // (the colour matrix is the identity). The white-balance sums count
    // pixels, in 8-bit units (the 12-bit value / 16): R 75, G 62, B 37.
    mc->sWBC.aGain[0] = 1.5;
    mc->sWBC.aGain[3] = 0.5;
    mc->sWBC.updateNeeded = QOV_TRUE;
    update();
    auto stats = std::make_unique<ShotStats>();
    shoot(kColour, *stats);
    ASSERT_FALSE(HasFatalFailure());
    const QOV_UINT32 r = 1200, g = 1000, b = 600;
    const MC_STATS_WBS &wbs = stats->wbs;
    for (int n = 0; n < 2; ++n) {
        SCOPED_TRACE("region " + std::to_string(n));
        // Average colour: every pixel of the region.
        EXPECT_EQ(wbs.averageColor[n].channelAccumulated[0], kRegionPixels * (r / 16));
        EXPECT_EQ(wbs.averageColor[n].channelAccumulated[1], kRegionPixels * (g / 16));
        EXPECT_EQ(wbs.averageColor[n].channelAccumulated[2], kRegionPixels * (b / 16));
    }
    // White patch, region 0 (maxima 0.25 of the range, 1024): only red
    // lies above; region 1 (0.45, 1843): nothing.
    EXPECT_EQ(wbs.whitePatch[0].channelAccumulated[0], kRegionPixels * (r / 16));
    EXPECT_EQ(wbs.whitePatch[0].channelCount[0], kRegionPixels);
    for (int c = 1; c < 3; ++c) {
        EXPECT_EQ(wbs.whitePatch[0].channelAccumulated[c], 0u) << c;
        EXPECT_EQ(wbs.whitePatch[0].channelCount[c], 0u) << c;
    }
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(wbs.whitePatch[1].channelCount[c], 0u) << c;
    // High-luminance white: the luma of every cell (about 1000) lies above
    // region 0's 0.125 (512) and below region 1's 0.9 (3686).
    EXPECT_EQ(wbs.highLuminance[0].lumaCount, kRegionPixels);
    EXPECT_EQ(wbs.highLuminance[0].channelAccumulated[0], kRegionPixels * (r / 16));
    EXPECT_EQ(wbs.highLuminance[0].channelAccumulated[1], kRegionPixels * (g / 16));
    EXPECT_EQ(wbs.highLuminance[0].channelAccumulated[2], kRegionPixels * (b / 16));
    EXPECT_EQ(wbs.highLuminance[1].lumaCount, 0u);
    EXPECT_EQ(wbs.highLuminance[1].channelAccumulated[0], 0u);

    // White-balance tiles, measured before the gains: every cell counts
    // (800 to 1200 lie between 128 and 2048); each channel sums the
    // logarithm of its raw value.
    for (int row = 0; row < 3; ++row)
        for (int t = 0; t < 4; ++t) {
            const MC_TILE_STATS_AWS &tile = stats->aws.tileStats[row][t];
            ASSERT_EQ(tile.numCFAs, 64u) << row << "," << t;
            EXPECT_NEAR(tile.fCollectedRed / 64, std::log2(double{kRed}), 1.0 / 64);
            EXPECT_NEAR(tile.fCollectedGreen / 64, std::log2(double{kGreen}), 1.0 / 64);
            EXPECT_NEAR(tile.fCollectedBlue / 64, std::log2(double{kBlue}), 1.0 / 64);
        }
    EXPECT_EQ(stats->aws.tileStats[3][0].numCFAs, 0u);
    EXPECT_EQ(stats->aws.tileStats[0][4].numCFAs, 0u);
}

TEST_F(Statistics, CheckerIsSharperThanFlatField)
{
    ASSERT_FALSE(HasFatalFailure());
    auto flat = std::make_unique<ShotStats>();
    shoot(kGrey, *flat);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(flat->fos.ROISharpness, 0u);

    auto checker = std::make_unique<ShotStats>();
    shoot(kChecker, *checker);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_GT(checker->fos.ROISharpness, 0u);
    // 16 x 16-pixel tiles: 4 columns and 3 rows over the image, each
    // crossed by the squares' edges; the rest of the grid lies outside.
    for (int r = 0; r < 7; ++r)
        for (int t = 0; t < 7; ++t) {
            if (r < 3 && t < 4)
                EXPECT_GT(checker->fos.gridSharpness[r][t], 0u) << r << "," << t;
            else
                EXPECT_EQ(checker->fos.gridSharpness[r][t], 0u) << r << "," << t;
        }
    // With the focus grid switched off its values read zero, the region of
    // interest is still measured.
    mc->sFOS.bGlobalEnable = QOV_FALSE;
    mc->sFOS.updateNeeded = QOV_TRUE;
    update();
    auto noGrid = std::make_unique<ShotStats>();
    shoot(kChecker, *noGrid);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(noGrid->outputs & CI_SAVE_FOS_GRID, 0u);
    EXPECT_EQ(noGrid->fos.ROISharpness, checker->fos.ROISharpness);
    for (int r = 0; r < 7; ++r)
        for (int t = 0; t < 7; ++t)
            EXPECT_EQ(noGrid->fos.gridSharpness[r][t], 0u) << r << "," << t;
}

}  // namespace
