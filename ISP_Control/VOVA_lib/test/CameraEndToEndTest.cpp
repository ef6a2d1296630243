// A camera on the simulated board from construction to destruction: the
// factory's modules, a setup file, programming, buffers, capture, shots
// with their metadata and statistics, release, stop.
#include <sys/mman.h>
#include <unistd.h>

#include <list>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "module_test_support.h"
#include "vova/Camera.h"
#include "vova/CameraFactory.h"
#include "vova/ModuleBLC.h"
#include "vova/ModuleIIF.h"
#include "vova/ModuleOUT.h"
#include "vova/ParameterFileParser.h"
#include "vova/Pipeline.h"
#include "vova/Sensor.h"
#include "vova/Shot.h"
#include "vova_test_support.h"

using namespace VOVA;

namespace {

QOV_UINT32 histogramTotal(const Metadata &m)
{
    return std::accumulate(std::begin(m.histogramStats.globalHistogram), std::end(m.histogramStats.globalHistogram),
                           0u);
}

class CameraEndToEnd : public vovatest::BoardTest {};

TEST_F(CameraEndToEnd, SensorCameraCapturesShotsWithMetadataAndLeavesNothingBehind)
{
    auto chip = placeChip();
    {
        Camera camera(0, vovatest::kSensorId, vovatest::kSensorMode, SENSOR_FLIP_NONE);
        ASSERT_EQ(Camera::CAM_CONNECTED, camera.state);
        EXPECT_EQ(2, camera.hwInfo.rev_ui8Major);
        EXPECT_EQ(7, camera.hwInfo.rev_ui8Minor);
        ASSERT_EQ(QOV_SUCCESS, CameraFactory::populateCameraFromHWVersion(camera, camera.getSensor()));
        EXPECT_EQ(Camera::CAM_REGISTERED, camera.state);

        const ParameterList setup = ParameterFileParser::parseFile(vovatest::cameraSetupFile());
        ASSERT_TRUE(setup.validFlag);
        ASSERT_EQ(QOV_SUCCESS, camera.loadParameters(setup));
        EXPECT_EQ(Camera::CAM_SET_UP, camera.state);
        ASSERT_EQ(QOV_SUCCESS, camera.program());
        EXPECT_EQ(Camera::CAM_PROGRAMMED, camera.state);

        std::list<QOV_UINT32> ids;
        ASSERT_EQ(QOV_SUCCESS, camera.allocateBufferPool(2, ids));
        EXPECT_EQ(4u, ids.size());  // two encoder, two display
        EXPECT_EQ(Camera::CAM_READY, camera.state);
        ASSERT_EQ(QOV_SUCCESS, camera.startCapture());
        EXPECT_EQ(Camera::CAM_CAPTURING, camera.state);
        EXPECT_TRUE(chip->streaming());

        for (int frame = 0; frame < 3; frame++) {
            ASSERT_EQ(QOV_SUCCESS, camera.enqueueShot());
            Shot shot;
            ASSERT_EQ(QOV_SUCCESS, camera.acquireShot(shot));
            ASSERT_NE(nullptr, shot.pCIBuffer);
            EXPECT_FALSE(shot.bFrameError);
            EXPECT_EQ(RGB_888_32, shot.DISPLAY.pxlFormat);
            EXPECT_NE(nullptr, shot.DISPLAY.data);
            EXPECT_EQ(vovatest::kSensorWidth, shot.DISPLAY.width);
            EXPECT_EQ(YVU_420_PL12_8, shot.YUV.pxlFormat);
            EXPECT_NE(nullptr, shot.YUV.firstDataCbCr());
            EXPECT_EQ(nullptr, shot.BAYER.data);
            EXPECT_EQ(simboard::kIspStatisticsSize, shot.stats.size);
            // the scene is measured: every pixel of the image lands in the histogram
            EXPECT_GT(histogramTotal(shot.metadata), 0u);
            EXPECT_TRUE(shot.metadata.histogramConfig.bGlobalEnable);
            EXPECT_GT(shot.metadata.timestamps.ui32InterruptServiced, 0u);
            ASSERT_EQ(QOV_SUCCESS, camera.releaseShot(shot));
            EXPECT_EQ(nullptr, shot.pCIBuffer);
        }
        // the black level of the setup file reached the hardware
        auto view = driver->pipeline(driver->pipelineIds().at(0));
        ASSERT_TRUE(view);
        EXPECT_EQ(0xF0F0F0F0u, view->loadStructure[5]);

        ASSERT_EQ(QOV_SUCCESS, camera.stopCapture());
        EXPECT_EQ(Camera::CAM_READY, camera.state);
        EXPECT_FALSE(chip->streaming());
    }
}

// The display output and data extraction share one output: with a display
// format set, no data-extraction buffers are allocated.
TEST_F(CameraEndToEnd, DataExtractionBuffersOnlyWithoutADisplayOutput)
{
    struct Case {
        std::vector<std::pair<const char *, const char *>> outputs;
        size_t buffers;
    } const cases[] = {
        {{{"OUT_ENC", "NV21"}}, 1},
        {{{"OUT_ENC", "NV21"}, {"OUT_DE", "BAYER10"}}, 2},
        {{{"OUT_DE", "BAYER10"}}, 1},
        {{{"OUT_ENC", "NV21"}, {"OUT_DISP", "RGB888_32"}}, 2},
        {{{"OUT_ENC", "NV21"}, {"OUT_DISP", "RGB888_32"}, {"OUT_DE", "BAYER10"}}, 2},
    };
    for (const Case &c : cases) {
        ParameterList setup;
        std::string name;
        for (const auto &[key, value] : c.outputs) {
            setup.addParameter(Parameter(key, value), true);
            name += std::string(key) + "=" + value + " ";
        }
        SCOPED_TRACE(name);
        Sensor sensor;
        Camera camera(0, &sensor);
        ASSERT_EQ(QOV_SUCCESS, CameraFactory::populateCameraFromHWVersion(camera, &sensor));
        ASSERT_EQ(QOV_SUCCESS, camera.loadParameters(setup));
        ASSERT_EQ(QOV_SUCCESS, camera.program());
        std::list<QOV_UINT32> ids;
        ASSERT_EQ(QOV_SUCCESS, camera.allocateBufferPool(1, ids));
        EXPECT_EQ(c.buffers, ids.size());
    }

    // data extraction without an extraction point is refused before any buffer
    Sensor sensor;
    Camera camera(0, &sensor);
    ASSERT_EQ(QOV_SUCCESS, CameraFactory::populateCameraFromHWVersion(camera, &sensor));
    ParameterList setup;
    setup.addParameter(Parameter("OUT_DE", "BAYER10"), true);
    ASSERT_EQ(QOV_SUCCESS, camera.loadParameters(setup));
    ASSERT_EQ(QOV_SUCCESS, camera.program());
    static_cast<ModuleOUT *>(camera.getPipeline()->getModule(STP_OUT))->dataExtractionPoint = CI_INOUT_NONE;
    std::list<QOV_UINT32> ids;
    vovatest::LogCapture log;
    EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, camera.allocateBufferPool(1, ids));
    EXPECT_TRUE(log.contains("Data extraction enabled but data extraction point set to NONE")) << log.text();
    EXPECT_TRUE(ids.empty());
}

// Buffers the caller owns are imported into the pipeline, make the camera
// ready to capture and are given back; a refused import puts the camera in
// error.
TEST_F(CameraEndToEnd, ImportedBuffersHoldShotsAndAreGivenBack)
{
    Sensor sensor;
    Camera camera(0, &sensor);
    ASSERT_EQ(QOV_SUCCESS, CameraFactory::populateCameraFromHWVersion(camera, &sensor));
    ParameterList setup;
    setup.addParameter(Parameter("OUT_ENC", "NV21"), true);
    ASSERT_EQ(QOV_SUCCESS, camera.loadParameters(setup));
    ASSERT_EQ(QOV_SUCCESS, camera.program());
    const int fd = memfd_create("imported", 0);
    ASSERT_GE(fd, 0);
    const QOV_UINT32 size = 4u << 20;
    ASSERT_EQ(0, ftruncate(fd, size));
    QOV_UINT32 id = 0;
    {
        vovatest::LogCapture log;
        EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, camera.importBuffer(CI_TYPE_ENCODER, fd, 0, false, &id));
        EXPECT_TRUE(log.contains("size is 0")) << log.text();
    }
    EXPECT_EQ(Camera::CAM_PROGRAMMED, camera.state);
    ASSERT_EQ(QOV_SUCCESS, camera.addShots(1));
    QOV_UINT32 second = 0;
    ASSERT_EQ(QOV_SUCCESS, camera.importBuffer(CI_TYPE_ENCODER, fd, size, false, &id));
    ASSERT_EQ(QOV_SUCCESS, camera.importBuffer(CI_TYPE_ENCODER, fd, size, false, &second));
    EXPECT_NE(0u, id);
    EXPECT_NE(id, second);
    EXPECT_EQ(Camera::CAM_READY, camera.state);
    EXPECT_EQ(2u, driver->liveObjects().buffers);
    ASSERT_EQ(QOV_SUCCESS, camera.startCapture());
    ASSERT_EQ(QOV_SUCCESS, camera.stopCapture());
    ASSERT_EQ(QOV_SUCCESS, camera.deregisterBuffer(id));
    ASSERT_EQ(QOV_SUCCESS, camera.deregisterBuffer(second));
    EXPECT_EQ(0u, driver->liveObjects().buffers);
    {
        vovatest::LogCapture log;
        EXPECT_NE(QOV_SUCCESS, camera.deregisterBuffer(id));
        EXPECT_NE(QOV_SUCCESS, camera.importBuffer(CI_TYPE_ENCODER, 977, size, false, &id));
        EXPECT_TRUE(log.contains("Failed to deregister buffer " + std::to_string(id))) << log.text();
        EXPECT_TRUE(log.contains("Error while importing buffer")) << log.text();
    }
    EXPECT_EQ(Camera::CAM_ERROR, camera.state);
    close(fd);
}

}  // namespace
