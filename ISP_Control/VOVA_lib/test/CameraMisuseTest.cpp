// Every camera and pipeline operation in the states that refuse it: the
// message, the code and the state that follows. Also the camera that
// borrows a sensor without a handle, driven as far as it can go.
#include <functional>
#include <list>
#include <memory>
#include <sstream>

#include "vova/Camera.h"
#include "vova/CameraFactory.h"
#include "vova/ControlLSH.h"
#include "vova/ModuleOUT.h"
#include "vova/Pipeline.h"
#include "vova/Sensor.h"
#include "vova/Shot.h"
#include "vova_test_support.h"

using namespace VOVA;

namespace {

const char *const E = "Unable to perform operation, camera is in error state.";

ParameterList encoderOnly()
{
    ParameterList list;
    list.addParameter(Parameter("OUT_ENC", "NV21"), true);
    return list;
}

// Drives a camera on a borrowed sensor to `target` by the application's road.
void driveTo(Camera &camera, Camera::State target)
{
    if (target == Camera::CAM_ERROR) {
        driveTo(camera, Camera::CAM_READY);
        camera.enqueueShot();
        ASSERT_EQ(Camera::CAM_ERROR, camera.state);
        return;
    }
    const Camera::State road[] = {Camera::CAM_CONNECTED, Camera::CAM_REGISTERED, Camera::CAM_SET_UP,
                                  Camera::CAM_PROGRAMMED, Camera::CAM_READY, Camera::CAM_CAPTURING};
    for (Camera::State s : road) {
        if (camera.state == target)
            return;
        switch (s) {
        case Camera::CAM_CONNECTED:
            ASSERT_EQ(QOV_SUCCESS, CameraFactory::populateCameraFromHWVersion(camera, camera.getSensor()));
            break;
        case Camera::CAM_REGISTERED:
            ASSERT_EQ(QOV_SUCCESS, camera.loadParameters(encoderOnly()));
            break;
        case Camera::CAM_SET_UP:
            ASSERT_EQ(QOV_SUCCESS, camera.program());
            break;
        case Camera::CAM_PROGRAMMED:
            ASSERT_EQ(QOV_SUCCESS, camera.allocateBufferPool(1));
            break;
        case Camera::CAM_READY:
            ASSERT_EQ(QOV_SUCCESS, camera.startCapture());
            break;
        default:
            break;
        }
    }
    ASSERT_EQ(target, camera.state);
}

struct Misuse {
    const char *operation;
    std::function<QOV_RESULT(Camera &)> call;
    std::vector<Camera::State> states;
    const char *message;
    QOV_RESULT code;
    bool toError;  // the camera ends in CAM_ERROR (otherwise its state is unchanged)
};

Shot g_shot;

const std::vector<Misuse> &misuses()
{
    using S = Camera::State;
    const S CONN = Camera::CAM_CONNECTED, REG = Camera::CAM_REGISTERED, SET = Camera::CAM_SET_UP,
            PROG = Camera::CAM_PROGRAMMED, READY = Camera::CAM_READY, CAPT = Camera::CAM_CAPTURING,
            ERR = Camera::CAM_ERROR;
    static const std::vector<Misuse> table = {
        {"loadParameters", [](Camera &c) { return c.loadParameters(ParameterList()); }, {ERR}, E, QOV_ERROR_WRONG_STATE, true},
        {"loadParameters", [](Camera &c) { return c.loadParameters(ParameterList()); }, {CONN},
         "Camera modules must be registered before loading parameters.", QOV_ERROR_WRONG_STATE, true},
        {"loadControlParameters", [](Camera &c) { return c.loadControlParameters(ParameterList()); }, {ERR}, E,
         QOV_ERROR_WRONG_STATE, true},
        {"setupModules", [](Camera &c) { return c.setupModules(); }, {ERR}, E, QOV_ERROR_WRONG_STATE, true},
        {"setupModules", [](Camera &c) { return c.setupModules(); }, {CONN},
         "Camera modules must be registered before set up.", QOV_ERROR_WRONG_STATE, true},
        {"setupModule", [](Camera &c) { return c.setupModule(STP_BLC); }, {ERR}, E, QOV_ERROR_WRONG_STATE, true},
        {"program", [](Camera &c) { return c.program(); }, {ERR}, E, QOV_ERROR_WRONG_STATE, true},
        {"program", [](Camera &c) { return c.program(); }, {CONN, REG},
         "Error programming pipeline. Camera modules must be set up before programming the pipeline.",
         QOV_ERROR_WRONG_STATE, false},
        {"addShots", [](Camera &c) { return c.addShots(1); }, {ERR}, E, QOV_ERROR_WRONG_STATE, true},
        {"addShots", [](Camera &c) { return c.addShots(1); }, {CONN, REG, SET}, "Invalid camera state ",
         QOV_ERROR_WRONG_STATE, true},
        {"addShots(0)", [](Camera &c) { return c.addShots(0); }, {PROG, READY},
         "Given number of Shots to add is too small: 0", QOV_ERROR_INVALID_ARGUMENT, false},
        {"deleteShots", [](Camera &c) { return c.deleteShots(); }, {ERR}, E, QOV_ERROR_WRONG_STATE, true},
        {"allocateBufferPool", [](Camera &c) { return c.allocateBufferPool(1); }, {ERR}, E, QOV_ERROR_FAILURE, true},
        {"allocateBufferPool", [](Camera &c) { return c.allocateBufferPool(1); }, {CONN, REG, SET},
         "Invalid camera state (", QOV_ERROR_FAILURE, true},
        {"allocateBuffer", [](Camera &c) { return c.allocateBuffer(CI_TYPE_ENCODER, false, nullptr); }, {ERR}, E,
         QOV_ERROR_WRONG_STATE, true},
        {"allocateBuffer", [](Camera &c) { return c.allocateBuffer(CI_TYPE_ENCODER, false, nullptr); },
         {CONN, REG, SET}, "invalid camera state (", QOV_ERROR_WRONG_STATE, true},
        {"importBuffer", [](Camera &c) { return c.importBuffer(CI_TYPE_ENCODER, 5, 4096, false, nullptr); }, {ERR},
         E, QOV_ERROR_WRONG_STATE, true},
        {"importBuffer", [](Camera &c) { return c.importBuffer(CI_TYPE_ENCODER, 5, 4096, false, nullptr); },
         {CONN, REG, SET}, "invalid camera state (", QOV_ERROR_WRONG_STATE, true},
        {"importBuffer(size 0)", [](Camera &c) { return c.importBuffer(CI_TYPE_ENCODER, 5, 0, false, nullptr); },
         {CONN, PROG}, "size is 0", QOV_ERROR_INVALID_ARGUMENT, false},
        {"deregisterBuffer", [](Camera &c) { return c.deregisterBuffer(1); }, {ERR}, E, QOV_ERROR_WRONG_STATE, true},
        {"startCapture", [](Camera &c) { return c.startCapture(); }, {ERR}, E, QOV_ERROR_WRONG_STATE, true},
        {"startCapture", [](Camera &c) { return c.startCapture(); }, {CONN, REG, SET, PROG, CAPT},
         "Camera not ready to start capture.", QOV_ERROR_WRONG_STATE, false},
        {"stopCapture", [](Camera &c) { return c.stopCapture(); }, {ERR}, E, QOV_ERROR_WRONG_STATE, true},
        {"stopCapture", [](Camera &c) { return c.stopCapture(); }, {CONN, REG, SET, PROG, READY},
         "Camera was not capturing.", QOV_ERROR_WRONG_STATE, false},
        {"enqueueShot", [](Camera &c) { return c.enqueueShot(); }, {ERR}, E, QOV_ERROR_WRONG_STATE, true},
        {"enqueueShot", [](Camera &c) { return c.enqueueShot(); }, {CONN, REG, SET, PROG, READY},
         "Camera must me programmed and buffers allocated before enqueuing a shot.", QOV_ERROR_WRONG_STATE, true},
        {"enqueueSpecifiedShot", [](Camera &c) { return c.enqueueSpecifiedShot(CI_BUFFID{}); }, {READY},
         "Camera must me programmed and buffers allocated before enqueuing a shot.", QOV_ERROR_WRONG_STATE, true},
        {"acquireShot", [](Camera &c) { return c.acquireShot(g_shot); }, {ERR}, E, QOV_ERROR_WRONG_STATE, true},
        {"tryAcquireShot", [](Camera &c) { return c.tryAcquireShot(g_shot); }, {ERR}, E, QOV_ERROR_WRONG_STATE, true},
        {"releaseShot", [](Camera &c) { return c.releaseShot(g_shot); }, {ERR}, E, QOV_ERROR_WRONG_STATE, true},
        {"setDisplayDimensions", [](Camera &c) { return c.setDisplayDimensions(640, 480); }, {CAPT},
         "Can't change display buffer size when pipeline is running", QOV_ERROR_WRONG_STATE, false},
        {"setEncoderDimensions", [](Camera &c) { return c.setEncoderDimensions(640, 480); }, {CAPT},
         "Can't change encoder buffer size when pipeline is running", QOV_ERROR_WRONG_STATE, false},
        {"populate", [](Camera &c) { return CameraFactory::populateCameraFromHWVersion(c, c.getSensor()); }, {ERR},
         E, QOV_ERROR_WRONG_STATE, true},
        {"populate", [](Camera &c) { return CameraFactory::populateCameraFromHWVersion(c, c.getSensor()); }, {CAPT},
         "Cannot replace the modules of a capturing camera", QOV_ERROR_WRONG_STATE, false},
    };
    return table;
}

class CameraMisuse : public vovatest::BoardTest {};

TEST_F(CameraMisuse, EachOperationInEachWrongStateGivesItsMessageCodeAndNextState)
{
    for (const Misuse &m : misuses()) {
        for (Camera::State start : m.states) {
            SCOPED_TRACE(std::string(m.operation) + " in " + Camera::StateName(start));
            Sensor sensor;
            Camera camera(0, &sensor);
            driveTo(camera, start);
            if (HasFatalFailure())
                return;
            vovatest::LogCapture log;
            EXPECT_EQ(m.code, m.call(camera));
            EXPECT_TRUE(log.contains(m.message)) << log.text();
            EXPECT_EQ(m.toError ? Camera::CAM_ERROR : start, camera.state);
        }
    }
}

// Loading and setting up are expected from a registered to a programmed
// camera: there they are silent, later they warn but still run.
TEST_F(CameraMisuse, LoadingAndSettingUpWarnOnlyOutsideTheirStates)
{
    using S = Camera::State;
    const char *const load = "Possible invalid camera state for registering pipeline modules";
    const char *const setupAll = "Possible invalid camera state for setting up modules.";
    const char *const setupOne = "Possible invalid camera state for setting up module.";
    struct Case {
        const char *operation;
        std::function<QOV_RESULT(Camera &)> call;
        const char *warning;
        std::vector<S> silent, warned;
    } const cases[] = {
        {"loadParameters", [](Camera &c) { return c.loadParameters(encoderOnly()); }, load,
         {Camera::CAM_REGISTERED, Camera::CAM_SET_UP, Camera::CAM_PROGRAMMED}, {Camera::CAM_READY}},
        {"setupModules", [](Camera &c) { return c.setupModules(); }, setupAll,
         {Camera::CAM_REGISTERED, Camera::CAM_SET_UP, Camera::CAM_PROGRAMMED}, {Camera::CAM_READY}},
        {"setupModule", [](Camera &c) { return c.setupModule(STP_BLC); }, setupOne,
         {Camera::CAM_REGISTERED, Camera::CAM_SET_UP}, {Camera::CAM_PROGRAMMED, Camera::CAM_READY}},
    };
    for (const Case &c : cases) {
        for (bool warns : {false, true}) {
            for (S start : warns ? c.warned : c.silent) {
                SCOPED_TRACE(std::string(c.operation) + " in " + Camera::StateName(start));
                Sensor sensor;
                Camera camera(0, &sensor);
                driveTo(camera, start);
                if (HasFatalFailure())
                    return;
                vovatest::LogCapture log;
                EXPECT_EQ(QOV_SUCCESS, c.call(camera));
                EXPECT_EQ(warns, log.contains(c.warning)) << log.text();
                EXPECT_NE(Camera::CAM_ERROR, camera.state);
            }
        }
    }
}

// A load stops at the first step that fails, with that step's code, and
// leaves the camera registered: the setup modules' keys, then the loops'.
TEST_F(CameraMisuse, ALoadStopsAtTheFailingStepAndLeavesTheCameraRegistered)
{
    Sensor sensor;
    Camera camera(0, &sensor);
    driveTo(camera, Camera::CAM_REGISTERED);
    ASSERT_EQ(QOV_SUCCESS, camera.registerControlModule(new ControlLSH("VOVA_CTRL_LSH")));
    ParameterList unreadable = encoderOnly();
    unreadable.addParameter(Parameter("LSH_CTRL_CORRECTIONS", "1"), true);
    unreadable.addParameter(Parameter("LSH_CTRL_TEMPERATURE_0", "3000"), true);
    unreadable.addParameter(Parameter("LSH_CTRL_FILE_0", "/nonexistent.lsh"), true);
    ParameterList both = unreadable;
    both.addParameter(Parameter("OUT_ENC", "BOGUS"), true);
    QOV_RESULT ret[3];
    std::string setupLog, controlLog;
    {
        vovatest::LogCapture log;
        ret[0] = camera.loadParameters(both);
        setupLog = log.text();
    }
    EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, ret[0]);
    EXPECT_NE(std::string::npos, setupLog.find("error loading setup parameters in the pipeline.")) << setupLog;
    EXPECT_EQ(std::string::npos, setupLog.find("error loading control parameters")) << setupLog;
    EXPECT_EQ(Camera::CAM_REGISTERED, camera.state);
    {
        vovatest::LogCapture log;
        ret[1] = camera.loadParameters(unreadable);
        ret[2] = camera.loadControlParameters(unreadable);
        controlLog = log.text();
    }
    EXPECT_EQ(QOV_ERROR_FAILURE, ret[1]);
    EXPECT_EQ(QOV_ERROR_FAILURE, ret[2]);
    EXPECT_NE(std::string::npos, controlLog.find("error loading control parameters in the pipeline")) << controlLog;
    EXPECT_EQ(Camera::CAM_REGISTERED, camera.state);
    EXPECT_EQ(QOV_SUCCESS, camera.loadParameters(encoderOnly()));
    EXPECT_EQ(Camera::CAM_SET_UP, camera.state);
}

TEST_F(CameraMisuse, BorrowedSensorWithoutHandleCapturesButNoFrameEverArrives)
{
    Sensor sensor;  // the default figures: 1280 x 720, imager 0
    {
        Camera camera(0, &sensor);
        EXPECT_FALSE(camera.ownsSensor());
        driveTo(camera, Camera::CAM_CAPTURING);
        ASSERT_EQ(Camera::CAM_CAPTURING, camera.state);
        EXPECT_EQ(Sensor::SENSOR_ERROR, sensor.getState());  // never enabled: it is not the camera's
        ASSERT_EQ(QOV_SUCCESS, camera.enqueueShot());
        Shot shot;
        {
            vovatest::LogCapture log;
            EXPECT_EQ(QOV_ERROR_NOT_AVAILABLE, camera.tryAcquireShot(shot));
            EXPECT_EQ(QOV_ERROR_FAILURE, camera.acquireShot(shot));
            EXPECT_TRUE(log.contains("Unable to get shot")) << log.text();
        }
        EXPECT_EQ(nullptr, shot.pCIBuffer);
        EXPECT_EQ(Camera::CAM_CAPTURING, camera.state);
        EXPECT_EQ(QOV_SUCCESS, camera.stopCapture());
        EXPECT_EQ(Camera::CAM_READY, camera.state);
    }
    EXPECT_EQ(Sensor::SENSOR_ERROR, sensor.getState());
}

TEST_F(CameraMisuse, DestroyingACapturingCameraStopsItsSensorFirst)
{
    auto chip = placeChip();
    auto camera = std::make_unique<Camera>(0, vovatest::kSensorId, vovatest::kSensorMode, SENSOR_FLIP_NONE);
    driveTo(*camera, Camera::CAM_CAPTURING);
    EXPECT_TRUE(chip->streaming());
    vovatest::LogCapture log;
    camera.reset();
    EXPECT_TRUE(log.contains("Camera in capture state, should be stopped before destroying.")) << log.text();
    EXPECT_FALSE(chip->streaming());
}

// The pipeline of a context the hardware does not have stays in its error
// state; every operation with a state check refuses it.
TEST_F(CameraMisuse, PipelineInErrorRefusesEveryOperationWithAStateCheck)
{
    Sensor sensor;
    Camera camera(2, &sensor);  // the standard board has contexts 0 and 1
    Pipeline *p = camera.getPipeline();
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(VOVA_Ctx_ERROR, p->getStatus());
    EXPECT_EQ(Camera::CAM_CONNECTED, camera.state);
    Shot shot;
    CI_BUFFID ids{};
    CI_BUFFER hdr{};
    const std::vector<std::pair<const char *, std::function<QOV_RESULT()>>> calls = {
        {"reloadAll", [&] { return p->reloadAll(ParameterList()); }},
        {"reloadAllModules", [&] { return p->reloadAllModules(ParameterList()); }},
        {"reloadModule", [&] { return p->reloadModule(STP_OUT, ParameterList()); }},
        {"reloadAllGlobals", [&] { return p->reloadAllGlobals(ParameterList()); }},
        {"setupModule", [&] { return p->setupModule(STP_OUT); }},
        {"setupAll", [&] { return p->setupAll(); }},
        {"setupAllGlobals", [&] { return p->setupAllGlobals(); }},
        {"setupAllModules", [&] { return p->setupAllModules(); }},
        {"setupByPriority", [&] { return p->setupByPriority(LOW); }},
        {"setupPending", [&] { return p->setupPending(); }},
        {"setupRequested", [&] { return p->setupRequested(); }},
        {"programPipeline", [&] { return p->programPipeline(false); }},
        {"addShots", [&] { return p->addShots(1); }},
        {"deleteShots", [&] { return p->deleteShots(); }},
        {"allocateBuffer", [&] { return p->allocateBuffer(CI_TYPE_ENCODER, 0, false, nullptr); }},
        {"importBuffer", [&] { return p->importBuffer(CI_TYPE_ENCODER, 5, 64, false, nullptr); }},
        {"deregisterBuffer", [&] { return p->deregisterBuffer(1); }},
        {"startCapture", [&] { return p->startCapture(); }},
        {"stopCapture", [&] { return p->stopCapture(); }},
        {"programShot", [&] { return p->programShot(); }},
        {"getFirstAvailableBuffers", [&] { return p->getFirstAvailableBuffers(ids); }},
        {"getAvailableHDRInsertion", [&] { return p->getAvailableHDRInsertion(hdr, 0); }},
        {"acquireShot", [&] { return p->acquireShot(shot, false); }},
    };
    for (const auto &c : calls) {
        SCOPED_TRACE(c.first);
        vovatest::LogCapture log;
        EXPECT_EQ(QOV_ERROR_WRONG_STATE, c.second());
        EXPECT_TRUE(log.contains("Pipeline is in error state")) << log.text();
        EXPECT_EQ(VOVA_Ctx_ERROR, p->getStatus());
    }
    vovatest::LogCapture log;
    EXPECT_EQ(QOV_ERROR_WRONG_STATE, p->programSpecifiedShot(ids));
    EXPECT_TRUE(log.contains("Pipeline not ready for programming a shot")) << log.text();
}

// Pipeline operations refused in a state other than error: message, code,
// and the status left as it was.
TEST_F(CameraMisuse, PipelineOperationsOutOfOrder)
{
    Sensor sensor;
    Camera camera(0, &sensor);
    driveTo(camera, Camera::CAM_SET_UP);  // the pipeline is still INIT
    Pipeline *p = camera.getPipeline();
    ASSERT_EQ(VOVA_Ctx_INIT, p->getStatus());
    CI_BUFFID ids{};
    struct Case {
        const char *name;
        std::function<QOV_RESULT()> call;
        const char *message;
        QOV_RESULT code;
    } const cases[] = {
        {"allocateBuffer", [&] { return p->allocateBuffer(CI_TYPE_ENCODER, 0, false, nullptr); },
         "Context is not set up. Unabel to allocate buffer", QOV_ERROR_WRONG_STATE},
        {"importBuffer", [&] { return p->importBuffer(CI_TYPE_ENCODER, 5, 64, false, nullptr); },
         "Context is not set up. Unable to import buffer", QOV_ERROR_WRONG_STATE},
        {"importBuffer NONE", [&] { return p->importBuffer(CI_TYPE_NONE, 5, 64, false, nullptr); },
         "eBuffer is NONE or ionFD is 0", QOV_ERROR_INVALID_ARGUMENT},
        {"addShots(0)", [&] { return p->addShots(0); }, "At least one buffer must be requested.",
         QOV_ERROR_INVALID_ARGUMENT},
        {"startCapture", [&] { return p->startCapture(); }, "Pipeline not ready for starting capture.",
         QOV_ERROR_WRONG_STATE},
        {"stopCapture", [&] { return p->stopCapture(); }, "Pipeline not ready.", QOV_ERROR_WRONG_STATE},
        {"programShot", [&] { return p->programShot(); }, "Pipeline not ready for programming a shot",
         QOV_ERROR_WRONG_STATE},
        {"programSpecifiedShot", [&] { return p->programSpecifiedShot(ids); },
         "Pipeline not ready for programming a shot", QOV_ERROR_WRONG_STATE},
        // an id the factory never fills
        {"setupModule", [&] { return p->setupModule(static_cast<SetupID>(29)); }, "Module not found: id=29",
         QOV_ERROR_INVALID_ARGUMENT},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        vovatest::LogCapture log;
        EXPECT_EQ(c.code, c.call());
        EXPECT_TRUE(log.contains(c.message)) << log.text();
        EXPECT_EQ(VOVA_Ctx_INIT, p->getStatus());
    }
    ASSERT_EQ(QOV_SUCCESS, camera.program());
    ASSERT_EQ(QOV_SUCCESS, camera.allocateBufferPool(1));
    ASSERT_EQ(VOVA_Ctx_READY, p->getStatus());
    vovatest::LogCapture log;
    EXPECT_EQ(QOV_ERROR_WRONG_STATE, p->programShot());
    EXPECT_TRUE(log.contains("Capture not started, unable to program shot.")) << log.text();
}

}  // namespace

namespace {

class CameraConstruction : public vovatest::BoardTest {};

// A derived camera that completes itself without having found a sensor.
class SensorlessCamera : public Camera {
public:
    SensorlessCamera() : Camera(0) { result = init(-1, 0); }
    QOV_RESULT result;
};

// A camera built on its context alone has no pipeline yet: every operation
// that needs one says so instead of reaching for it.
TEST_F(CameraConstruction, WithoutAPipelineOperationsSaySo)
{
    Camera camera(0);
    ASSERT_EQ(Camera::CAM_CONNECTED, camera.state);
    ASSERT_EQ(nullptr, camera.getPipeline());
    Shot shot;
    ParameterList list;
    const std::pair<const char *, std::function<QOV_RESULT()>> operations[] = {
        {"deleteShots", [&] { return camera.deleteShots(); }},
        {"deregisterBuffer", [&] { return camera.deregisterBuffer(1); }},
        {"acquireShot", [&] { return camera.acquireShot(shot); }},
        {"releaseShot", [&] { return camera.releaseShot(shot); }},
        {"setDisplayDimensions", [&] { return camera.setDisplayDimensions(640, 480); }},
        {"setEncoderDimensions", [&] { return camera.setEncoderDimensions(640, 480); }},
        {"saveParameters", [&] { return camera.saveParameters(list, ModuleBase::SAVE_VAL); }},
        {"setupModule", [&] { return camera.setupModule(STP_BLC); }},
    };
    for (const auto &[name, operation] : operations) {
        vovatest::LogCapture log;
        const QOV_RESULT result = operation();
        log.text();
        EXPECT_EQ(QOV_ERROR_FAILURE, result) << name;
        EXPECT_TRUE(log.contains("Camera pipeline not defined (== NULL)")) << name << ": " << log.text();
    }
    EXPECT_EQ(Camera::CAM_CONNECTED, camera.state);
}

TEST_F(CameraConstruction, FailuresEndInTheErrorState)
{
    {
        vovatest::LogCapture log;
        Camera noChip(0, vovatest::kSensorId, vovatest::kSensorMode, SENSOR_FLIP_NONE);  // nothing on the bus
        EXPECT_EQ(Camera::CAM_ERROR, noChip.state);
        EXPECT_EQ(nullptr, noChip.getPipeline());
        EXPECT_TRUE(log.contains("Failed to get a sensor handle for identifier 12.")) << log.text();
        EXPECT_TRUE(log.contains("Unable to initialize the sensor for mode 3 with flipping 0x0")) << log.text();
    }
    {
        vovatest::LogCapture log;
        Camera noSensor(0, static_cast<Sensor *>(nullptr));
        EXPECT_EQ(Camera::CAM_ERROR, noSensor.state);
        EXPECT_TRUE(log.contains("Given sensor is NULL")) << log.text();
    }
    {
        vovatest::LogCapture log;
        SensorlessCamera derived;
        EXPECT_EQ(QOV_ERROR_NOT_INITIALISED, derived.result);
        EXPECT_EQ(Camera::CAM_ERROR, derived.state);
        EXPECT_EQ(nullptr, derived.getPipeline());
        EXPECT_TRUE(log.contains("Camera has no sensor!")) << log.text();
    }
    driver->refuseOpen();
    vovatest::LogCapture log;
    Sensor sensor;
    Camera noDriver(0, &sensor);
    EXPECT_EQ(Camera::CAM_ERROR, noDriver.state);
    EXPECT_EQ(nullptr, noDriver.getConnection());
    EXPECT_TRUE(log.contains("Error connecting to CI")) << log.text();
    std::ostringstream os;
    os << noDriver;
    EXPECT_EQ("Camera:\n  state = CAM_ERROR\n  ctx = 0\n  ownSensor = 0\nControls:\n", os.str());
}

}  // namespace
