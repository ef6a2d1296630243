// The raw-domain and statistics modules through a camera from the factory
// on the simulated board: statistics blocks switched on by their keys come
// back filled, with the configuration the modules set; a defect map reaches
// the driver; a lens-shading grid file becomes the matrix the shots use; a
// default configuration programs without a register that does not fit.
#include <cstring>
#include <numeric>

#include "module_test_support.h"
#include "vova/ModuleDPF.h"
#include "vova/ModuleLSH.h"
#include "vova/Shot.h"

using namespace VOVA;

namespace {

template <class T, size_t N> QOV_UINT64 total(const T (&values)[N])
{
    return std::accumulate(std::begin(values), std::end(values), QOV_UINT64{0});
}

class ModulesThroughACamera : public vovatest::CameraModuleTest {
protected:
    // Starts the capture, takes `frames` shots, checks the last one and stops.
    template <class Check> void capture(unsigned frames, Check check)
    {
        std::list<QOV_UINT32> ids;
        ASSERT_EQ(QOV_SUCCESS, camera->allocateBufferPool(2, ids));
        ASSERT_EQ(QOV_SUCCESS, camera->startCapture());
        for (unsigned i = 0; i < frames; i++) {
            ASSERT_EQ(QOV_SUCCESS, camera->enqueueShot());
            Shot shot;
            ASSERT_EQ(QOV_SUCCESS, camera->acquireShot(shot));
            EXPECT_FALSE(shot.bFrameError);
            if (i + 1 == frames)
                check(shot);
            ASSERT_EQ(QOV_SUCCESS, camera->releaseShot(shot));
        }
        ASSERT_EQ(QOV_SUCCESS, camera->stopCapture());
    }

    const MC_PIPELINE &records() { return *camera->getPipeline()->getMCPipeline(); }
};

TEST_F(ModulesThroughACamera, EachStatisticsBlockSwitchedOnComesBackWithTheModulesConfiguration)
{
    loadAndProgram({
        {"EXS_GLOBAL_ENABLE", {"1"}},
        {"EXS_REGIONAL_ENABLE", {"1"}},
        {"EXS_GRID_START_COORDS", {"8", "6"}},
        {"EXS_GRID_TILE_DIMENSIONS", {"180", "136"}},
        {"EXS_PIXEL_MAX", {"100"}},
        {"FOS_ROI_ENABLE", {"1"}},
        {"FOS_ROI_START_COORDS", {"100", "80"}},
        {"FOS_ROI_END_COORDS", {"899", "679"}},
        {"FOS_GRID_ENABLE", {"1"}},
        {"FOS_GRID_START_COORDS", {"0", "0"}},
        {"FOS_GRID_TILE_SIZE", {"184", "138"}},
        {"HIS_GLOBAL_ENABLE", {"1"}},
        {"HIS_REGIONAL_ENABLE", {"1"}},
        {"HIS_GRID_TILE_DIMENSIONS", {"184", "138"}},
        {"WBS_ROI_ENABLE", {"2"}},
        {"WBS_ROI_START_COORDS", {"0", "0", "100", "100"}},
        {"WBS_ROI_END_COORDS", {"1295", "971", "600", "500"}},
        {"WBS_RMAX_TH", {"1", "1"}},
        {"WBS_GMAX_TH", {"1", "1"}},
        {"WBS_BMAX_TH", {"1", "1"}},
        {"AWS_ENABLED", {"1"}},
        {"AWS_CURVES_NUM", {"3"}},
        {"FLD_ENABLE", {"1"}},
        {"ENS_ENABLE", {"1"}},
    });
    capture(3, [&](const Shot &shot) {
        const Metadata &m = shot.metadata;
        const MC_PIPELINE &set = records();

        // exposure clipping
        EXPECT_GT(total(m.clippingStats.globalClipped), 0u);
        EXPECT_GT(m.clippingStats.regionClipped[3][3][0] + m.clippingStats.regionClipped[3][3][1], 0u);
        EXPECT_TRUE(m.clippingConfig.bGlobalEnable);
        EXPECT_TRUE(m.clippingConfig.bRegionEnable);
        EXPECT_EQ(set.sEXS.ui16Left, m.clippingConfig.ui16Left);
        EXPECT_EQ(set.sEXS.ui16Top, m.clippingConfig.ui16Top);
        EXPECT_EQ(set.sEXS.ui16Width, m.clippingConfig.ui16Width);
        EXPECT_EQ(set.sEXS.ui16Height, m.clippingConfig.ui16Height);
        EXPECT_EQ(100.0, m.clippingConfig.fPixelMax);

        // focus
        EXPECT_GT(m.focusStats.ROISharpness, 0u);
        EXPECT_GT(m.focusStats.gridSharpness[3][3], 0u);
        EXPECT_TRUE(m.focusConfig.bGlobalEnable);
        EXPECT_TRUE(m.focusConfig.bRegionEnable);
        EXPECT_EQ(100, m.focusConfig.ui16ROILeft);
        EXPECT_EQ(80, m.focusConfig.ui16ROITop);
        EXPECT_EQ(set.sFOS.ui16ROIWidth, m.focusConfig.ui16ROIWidth);
        EXPECT_EQ(set.sFOS.ui16ROIHeight, m.focusConfig.ui16ROIHeight);
        EXPECT_EQ(set.sFOS.ui16Width, m.focusConfig.ui16Width);
        EXPECT_EQ(set.sFOS.ui16Height, m.focusConfig.ui16Height);

        // histograms
        EXPECT_GT(total(m.histogramStats.globalHistogram), 0u);
        EXPECT_GT(total(m.histogramStats.regionHistograms[3][3]), 0u);
        EXPECT_TRUE(m.histogramConfig.bGlobalEnable);
        EXPECT_TRUE(m.histogramConfig.bRegionEnable);
        EXPECT_EQ(set.sHIS.fInputOffset, m.histogramConfig.fInputOffset);
        EXPECT_EQ(set.sHIS.fInputScale, m.histogramConfig.fInputScale);
        EXPECT_EQ(set.sHIS.ui16Width, m.histogramConfig.ui16Width);
        EXPECT_EQ(set.sHIS.ui16Height, m.histogramConfig.ui16Height);

        // white-balance regions
        for (int r = 0; r < 2; r++) {
            EXPECT_GT(total(m.whiteBalanceStats.averageColor[r].channelAccumulated), 0u) << r;
            EXPECT_EQ(set.sWBS.aRoiLeft[r], m.whiteBalanceConfig.aRoiLeft[r]) << r;
            EXPECT_EQ(set.sWBS.aRoiTop[r], m.whiteBalanceConfig.aRoiTop[r]) << r;
            EXPECT_EQ(set.sWBS.aRoiWidth[r], m.whiteBalanceConfig.aRoiWidth[r]) << r;
            EXPECT_EQ(set.sWBS.aRoiHeight[r], m.whiteBalanceConfig.aRoiHeight[r]) << r;
            EXPECT_EQ(set.sWBS.aRMax[r], m.whiteBalanceConfig.aRMax[r]) << r;
            EXPECT_EQ(set.sWBS.aYMax[r], m.whiteBalanceConfig.aYMax[r]) << r;
        }
        EXPECT_EQ(2, m.whiteBalanceConfig.ui8ActiveROI);
        EXPECT_EQ(set.sWBS.fYOffset, m.whiteBalanceConfig.fYOffset);

        // white-balance tiles; the shot carries only the enable of their configuration
        EXPECT_GT(m.autoWhiteBalanceStats.tileStats[3][3].numCFAs, 0u);
        EXPECT_TRUE(m.autoWhiteBalanceConfig.bEnable);

        // flicker detection, timed by the sensor; the vertical total does not travel with the shot
        // the simulated scene has no lamp: waiting over the first frames, then no flicker
        EXPECT_TRUE(m.flickerStats.flickerStatus == FLD_WAITING || m.flickerStats.flickerStatus == FLD_NO_FLICKER)
            << m.flickerStats.flickerStatus;
        EXPECT_TRUE(m.flickerConfig.bEnable);
        EXPECT_EQ(camera->getSensor()->nVTot, set.sFLD.ui16VTot);
        EXPECT_EQ(set.sFLD.ui32SceneChange, m.flickerConfig.ui32SceneChange);
        EXPECT_EQ(set.sFLD.ui8PN, m.flickerConfig.ui8PN);
        EXPECT_EQ(set.sFLD.ui8MinPN, m.flickerConfig.ui8MinPN);
        EXPECT_EQ(set.sFLD.ui16NFThreshold, m.flickerConfig.ui16NFThreshold);
        EXPECT_EQ(set.sFLD.ui16CoefDiff, m.flickerConfig.ui16CoefDiff);
        EXPECT_EQ(set.sFLD.ui8RShift, m.flickerConfig.ui8RShift);

        // encoder statistics
        EXPECT_GT(shot.ENS.size, 0u);
        EXPECT_NE(nullptr, shot.ENS.data);
    });
}

TEST_F(ModulesThroughACamera, ADefaultConfigurationProgramsWithoutARegisterThatDoesNotFit)
{
    vovatest::LogCapture log;
    loadAndProgram();
    capture(1, [](const Shot &) {});
    EXPECT_EQ(std::string::npos, log.text().find("does not fit")) << log.text();
}

TEST_F(ModulesThroughACamera, ADefectMapFileReachesTheDriverAndTheDefectOutputComesBack)
{
    loadAndProgram({{"DPF_READ_MAP_FILE", {vovatest::kTwoDefects}},
                    {"DPF_READ_MAP_ENABLE", {"1"}},
                    {"DPF_WRITE_MAP_ENABLE", {"1"}}});
    const ModuleDPF &dpf = module<ModuleDPF>(STP_DPF);
    ASSERT_TRUE(dpf.hasInputMap());
    auto view = driverPipeline();
    ASSERT_TRUE(view);
    EXPECT_EQ((std::vector<uint16_t>{10, 20, 40, 31}), view->defects);
    EXPECT_EQ(CI_DPF_DETECT_ENABLED | CI_DPF_WRITE_MAP_ENABLED | CI_DPF_READ_MAP_ENABLED,
              view->info.dpfConfig.eDPFEnable);
    EXPECT_EQ(2u, view->info.dpfConfig.sInput.ui32NDefect);
    capture(2, [](const Shot &shot) {
        // both listed pixels corrected, and written out: coordinates, then the value
        EXPECT_EQ(2u, shot.metadata.defectiveStats.ui32FixedPixels);
        EXPECT_EQ(2u, shot.metadata.defectiveStats.ui32NOutCorrection);
        ASSERT_EQ(16u, shot.DPF.size);
        EXPECT_EQ(8u, shot.DPF.elementSize);
        QOV_UINT32 words[4];
        std::memcpy(words, shot.DPF.data, sizeof(words));
        EXPECT_EQ(20u << 16 | 10u, words[0]);
        EXPECT_EQ(31u << 16 | 40u, words[2]);
        // second word: corrected value in bits 0-15, confidence in 16-23, status in 31
        EXPECT_GT(words[1] & 0xFFFFu, 0u);
        EXPECT_EQ(0u, words[1] & 0x7F000000u);
    });
}

TEST_F(ModulesThroughACamera, AnEmptyDefectMapDoesNotStopTheShots)
{
    loadAndProgram({{"DPF_READ_MAP_FILE", {vovatest::kEmptyMap}}, {"DPF_READ_MAP_ENABLE", {"1"}}});
    EXPECT_FALSE(module<ModuleDPF>(STP_DPF).hasInputMap());
    EXPECT_TRUE(driverPipeline()->defects.empty());
    capture(3, [](const Shot &shot) { EXPECT_FALSE(shot.bFrameError); });
    EXPECT_EQ(Camera::CAM_READY, camera->state);
}

TEST_F(ModulesThroughACamera, ALensShadingGridFileBecomesTheMatrixTheShotsUse)
{
    loadAndProgram({{"LSH_MATRIX_ENABLE", {"1"}}});
    ModuleLSH &lsh = module<ModuleLSH>(STP_LSH);
    EXPECT_TRUE(lsh.bEnableMatrix);
    QOV_UINT32 id = 0;
    ASSERT_EQ(QOV_SUCCESS, lsh.addMatrix(vovatest::kBowl, id, 1.0, 0));
    ASSERT_EQ(QOV_SUCCESS, lsh.configureMatrix(id));
    capture(2, [&](const Shot &) { EXPECT_EQ(id, driverPipeline()->matrixInUse); });
    // switched off while capturing, the next shots go without
    ASSERT_EQ(QOV_SUCCESS, camera->startCapture());
    ASSERT_EQ(QOV_SUCCESS, lsh.configureMatrix(0));
    ASSERT_EQ(QOV_SUCCESS, camera->enqueueShot());
    Shot shot;
    ASSERT_EQ(QOV_SUCCESS, camera->acquireShot(shot));
    EXPECT_EQ(0u, driverPipeline()->matrixInUse);
    ASSERT_EQ(QOV_SUCCESS, camera->releaseShot(shot));
    ASSERT_EQ(QOV_SUCCESS, camera->stopCapture());
}

}  // namespace
