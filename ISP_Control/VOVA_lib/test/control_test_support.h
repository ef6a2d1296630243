// Shared fixture of the control-loop tests: a capturing camera on the
// simulated board with the factory's modules, the loops under test
// registered, and a frame step that enqueues, acquires (running the loops)
// and releases one shot, keeping `inFlight` shots queued as the capture
// program does with its buffers.
#ifndef VOVA_CONTROL_TEST_SUPPORT_H
#define VOVA_CONTROL_TEST_SUPPORT_H

#include <cstring>
#include <functional>
#include <memory>

#include "mc/mc_conversions.h"
#include "simboard/scene.h"
#include "vova/Camera.h"
#include "vova/CameraFactory.h"
#include "vova/Pipeline.h"
#include "vova/Sensor.h"
#include "vova/Shot.h"
#include "vova_test_support.h"

namespace vovatest {

class LoopCamera : public BoardTest {
protected:
    void TearDown() override
    {
        if (camera && camera->state == VOVA::Camera::CAM_CAPTURING) {
            VOVA::Shot shot;
            while (queued > 0 && camera->acquireShot(shot, false) == QOV_SUCCESS) {
                camera->releaseShot(shot);
                queued--;
            }
            camera->stopCapture();
        }
        camera.reset();
        BoardTest::TearDown();
    }

    simboard::Scene &scene() { return simboard::SensorBoard::instance().scene(); }

    // A programmed camera with buffers, ready to register loops and start.
    void makeCamera(const VOVA::ParameterList &setup = VOVA::ParameterList())
    {
        makeCamera("OV5695", kSensorId, kSensorMode, setup);
    }
    // The same on another chip of the sensor table, placed on bus 0.
    void makeCamera(const char *chipName, int sensorId, int mode, const VOVA::ParameterList &setup)
    {
        chip = simboard::SensorBoard::instance().place(0, *simboard::chipModelByName(chipName));
        camera = std::make_unique<VOVA::Camera>(0, sensorId, mode, SENSOR_FLIP_NONE);
        ASSERT_EQ(VOVA::Camera::CAM_CONNECTED, camera->state);
        ASSERT_EQ(QOV_SUCCESS, VOVA::CameraFactory::populateCameraFromHWVersion(*camera, camera->getSensor()));
        ASSERT_EQ(QOV_SUCCESS, camera->loadParameters(setup));
        ASSERT_EQ(QOV_SUCCESS, camera->program());
        ASSERT_EQ(QOV_SUCCESS, camera->allocateBufferPool(2));
    }

    void start()
    {
        ASSERT_EQ(QOV_SUCCESS, camera->startCapture());
        queued = 0;
    }

    // One frame: keeps `inFlight` shots enqueued, acquires the oldest (the
    // loops run on it), hands it to `look` and releases it.
    QOV_RESULT frame(const std::function<void(const VOVA::Shot &)> &look = nullptr)
    {
        while (queued < inFlight) {
            QOV_RESULT ret = camera->enqueueShot();
            if (ret != QOV_SUCCESS)
                return ret;
            queued++;
        }
        VOVA::Shot shot;
        QOV_RESULT ret = camera->acquireShot(shot);
        if (shot.pCIBuffer) {
            queued--;
            if (look)
                look(shot);
            camera->releaseShot(shot);
        }
        return ret;
    }

    // Enqueues one more shot: the pipeline programs what the loops of the
    // last frame asked for.
    void program()
    {
        ASSERT_EQ(QOV_SUCCESS, camera->enqueueShot());
        queued++;
    }

    // What the pipeline last handed to the hardware for one block (`sent`)
    // is the conversion of the record `m` sets up from its fields now.
    template <class CI, class Convert> void expectSent(VOVA::SetupModule &m, const CI &sent, Convert convert)
    {
        ASSERT_EQ(QOV_SUCCESS, m.setup());
        CI expected;
        std::memcpy(&expected, &sent, sizeof expected);  // any field the conversion leaves
        int mask = 0;
        ASSERT_EQ(QOV_SUCCESS, convert(&expected, &mask));
        EXPECT_EQ(0, std::memcmp(&expected, &sent, sizeof expected)) << m.getLoggingName();
    }
    MC_PIPELINE &mc() { return *pipeline().getMCPipeline(); }
    CI_PIPELINE &ci() { return *pipeline().getCIPipeline(); }

    VOVA::Sensor &sensor() { return *camera->getSensor(); }
    VOVA::Pipeline &pipeline() { return *camera->getPipeline(); }
    template <class M> M &module() { return *static_cast<M *>(pipeline().getModule(M::id)); }

    std::shared_ptr<simboard::SimChip> chip;
    std::unique_ptr<VOVA::Camera> camera;
    int inFlight = 1;
    int queued = 0;
};

}  // namespace vovatest

#endif
