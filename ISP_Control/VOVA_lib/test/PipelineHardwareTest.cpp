// What a camera's pipeline hands to the driver: the tiling switch, a
// configuration the conversion refuses, and the data extraction at the filter
// line store, which needs a statistics block running, through a whole set-up
// pass down to the load structure.
#include <cerrno>
#include <cstring>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "vova/Camera.h"
#include "vova/CameraFactory.h"
#include "vova/Connection.h"
#include "vova/ModuleBLC.h"
#include "vova/ModuleFOS.h"
#include "vova/ModuleIIF.h"
#include "vova/ModuleOUT.h"
#include "vova/Pipeline.h"
#include "vova/Sensor.h"
#include "vova/Shot.h"
#include "vova_test_support.h"

using namespace VOVA;

namespace pipeline_hardware {
namespace {

using Keys = std::vector<std::pair<std::string, std::string>>;

class PipelineHardware : public vovatest::BoardTest {
protected:
    void SetUp() override
    {
        vovatest::BoardTest::SetUp();
        chip = placeChip();
    }
    void TearDown() override
    {
        camera.reset();
        vovatest::BoardTest::TearDown();
    }
    // A camera on the chip with its modules registered and set up from `keys`.
    void makeCamera(const Keys &keys)
    {
        camera.reset();
        camera = std::make_unique<Camera>(0, vovatest::kSensorId, vovatest::kSensorMode, SENSOR_FLIP_NONE);
        ASSERT_EQ(QOV_SUCCESS, CameraFactory::populateCameraFromHWVersion(*camera, camera->getSensor()));
        ParameterList list;
        for (const auto &k : keys)
            list.addParameter(Parameter(k.first, k.second), true);
        ASSERT_EQ(QOV_SUCCESS, camera->loadParameters(list));
        pipeline = camera->getPipeline();
    }
    // The driver's copy of the camera's registered configuration.
    simboard::IspPipelineView view()
    {
        auto v = driver->pipeline(driver->pipelineIds().at(0));
        EXPECT_TRUE(v.has_value());
        return v.value_or(simboard::IspPipelineView{});
    }

    std::shared_ptr<simboard::SimChip> chip;
    std::unique_ptr<Camera> camera;
    Pipeline *pipeline = nullptr;
};

TEST_F(PipelineHardware, OutputsAreUntiledUnlessTilingIsSwitchedOnWhereTheHardwareHasIt)
{
    makeCamera({{"OUT_ENC", "NV21"}});
    EXPECT_FALSE(pipeline->tilingEnabled());
    ASSERT_EQ(QOV_SUCCESS, camera->program());
    EXPECT_FALSE(view().info.config.bSupportTiling);
    QOV_UINT32 id = 0;
    {
        vovatest::LogCapture log;  // the driver refuses a tiled buffer for an untiled configuration
        EXPECT_EQ(QOV_ERROR_FAILURE, camera->allocateBuffer(CI_TYPE_ENCODER, true, &id));
    }

    makeCamera({{"OUT_ENC", "NV21"}});
    pipeline->setTilingEnabled(true);
    ASSERT_EQ(QOV_SUCCESS, camera->program());
    EXPECT_TRUE(view().info.config.bSupportTiling);
    EXPECT_EQ(QOV_SUCCESS, camera->allocateBuffer(CI_TYPE_ENCODER, true, &id));
    camera.reset();

    // hardware without tiling: refused before anything reaches the driver
    driver->setProfile(simboard::IspProfile::noFunctionalities());
    makeCamera({{"OUT_ENC", "NV21"}});
    pipeline->setTilingEnabled(true);
    driver->clearRequests();
    vovatest::LogCapture log;
    EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, pipeline->programPipeline(false));
    EXPECT_TRUE(log.contains("The HW 2.7 does not support tiled output")) << log.text();
    EXPECT_TRUE(log.contains("Configuration not supported")) << log.text();
    EXPECT_EQ(VOVA_Ctx_INIT, pipeline->getStatus());
    EXPECT_EQ(0u, driver->requestCount(CI_PIPELINE_REGISTER));
}

// The largest outputs the application asks for are what the driver reserves
// for; the camera's update flag goes with every update.
TEST_F(PipelineHardware, OutputMaximaAndTheUpdateFlagReachTheDriver)
{
    makeCamera({{"OUT_ENC", "NV21"}, {"OUT_DISP", "RGB888_32"}});
    ASSERT_EQ(QOV_SUCCESS, camera->setDisplayDimensions(1400, 1100));
    ASSERT_EQ(QOV_SUCCESS, camera->setEncoderDimensions(1300, 980));
    ASSERT_EQ(QOV_SUCCESS, camera->program());
    const CI_PIPELINE_CONFIG config = view().info.config;
    EXPECT_EQ(1400, config.ui16MaxDispOutWidth);
    EXPECT_EQ(1100, config.ui16MaxDispOutHeight);
    EXPECT_EQ(1300, config.ui16MaxEncOutWidth);
    EXPECT_EQ(980, config.ui16MaxEncOutHeight);

    for (const bool asap : {true, false}) {
        camera->bUpdateASAP = asap;
        driver->clearRequests();
        ASSERT_EQ(QOV_SUCCESS, camera->program());
        ASSERT_EQ(1u, driver->requestCount(CI_CONFIG_UPDATE));
        for (const simboard::IspRequest &r : driver->requests()) {
            if (r.index != CI_CONFIG_UPDATE)
                continue;
            CI_PIPE_PARAM param;
            ASSERT_LE(sizeof param, r.record.size());
            memcpy(&param, r.record.data(), sizeof param);
            EXPECT_EQ(asap, param.bUpdateASAP != 0);
        }
    }
}

// Reloading all, all but the two global modules, or the global ones only;
// the first module that refuses its keys stops the walk with its code.
TEST_F(PipelineHardware, ReloadingTakesTheModulesOfItsKind)
{
    makeCamera({});
    ParameterList list;
    list.addParameter(Parameter("OUT_ENC", "NV21"), true);
    list.addParameter(Parameter("IIF_DECIMATION", std::vector<std::string>{"2", "3"}), true);
    list.addParameter(Parameter("BLC_SYS_BLACK", "100"), true);
    auto *out = static_cast<ModuleOUT *>(pipeline->getModule(STP_OUT));
    auto *iif = static_cast<ModuleIIF *>(pipeline->getModule(STP_IIF));
    auto *blc = static_cast<ModuleBLC *>(pipeline->getModule(STP_BLC));
    struct Case {
        const char *what;
        QOV_RESULT (*reload)(Pipeline &, const ParameterList &);
        bool globals, others;
    } const cases[] = {
        {"all", [](Pipeline &p, const ParameterList &l) { return p.reloadAll(l); }, true, true},
        {"all but the global ones", [](Pipeline &p, const ParameterList &l) { return p.reloadAllModules(l); }, false,
         true},
        {"the global ones", [](Pipeline &p, const ParameterList &l) { return p.reloadAllGlobals(l); }, true, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        for (SetupModule *m : std::initializer_list<SetupModule *>{out, iif, blc})
            m->load(ParameterList());
        ASSERT_EQ(QOV_SUCCESS, c.reload(*pipeline, list));
        EXPECT_EQ(c.globals ? YVU_420_PL12_8 : PXL_NONE, out->encoderType);
        EXPECT_EQ(c.globals ? 1u : 0u, iif->aDecimation[0]);
        EXPECT_EQ(c.globals ? 2u : 0u, iif->aDecimation[1]);
        EXPECT_EQ(c.others ? 100u : 64u, blc->ui32SystemBlack);
    }

    // an output name the encoder does not take: the imager interface is not reached
    list.addParameter(Parameter("OUT_ENC", "RGB888_24"), true);
    iif->load(ParameterList());
    vovatest::LogCapture log;
    EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, pipeline->reloadAllGlobals(list));
    EXPECT_TRUE(log.contains("Failed to reload global module 0=module28")) << log.text();
    EXPECT_EQ(0u, iif->aDecimation[0]);
}

// Every request the driver refuses fails its operation with the pipeline's
// own message; only a failed allocation puts the pipeline in error.
TEST_F(PipelineHardware, EachDriverRefusalFailsItsOperation)
{
    enum Stage { Set, Pooled, Started, Acquired };
    struct Case {
        const char *what;
        Stage stage;
        CI_eIOCTL request;
        std::function<QOV_RESULT(Pipeline &, Shot &)> operation;
        QOV_RESULT result;
        const char *message;
        CtxStatus status;
    } const cases[] = {
        {"register", Set, CI_PIPELINE_REGISTER, [](Pipeline &p, Shot &) { return p.programPipeline(false); },
         QOV_ERROR_FAILURE, "Failed to register the pipeline configuration (returned", VOVA_Ctx_INIT},
        {"add shots", Pooled, CI_CONFIG_ADDPOOL, [](Pipeline &p, Shot &) { return p.addShots(1); }, QOV_ERROR_FAILURE,
         "Failed to add Shots to the pipeline (returned", VOVA_Ctx_READY},
        {"allocate", Pooled, CI_CREATE_BUFF,
         [](Pipeline &p, Shot &) {
             QOV_UINT32 id = 0;
             return p.allocateBuffer(CI_TYPE_ENCODER, 0, false, &id);
         },
         QOV_ERROR_FAILURE, "Failed to allocate buffer (ret=", VOVA_Ctx_ERROR},
        {"deregister", Pooled, CI_DEREGISTER_BUFF, [](Pipeline &p, Shot &) { return p.deregisterBuffer(1); },
         QOV_ERROR_FAILURE, "Failed to deregister buffer 1 (returned", VOVA_Ctx_READY},
        {"delete shots", Pooled, CI_CONFIG_DELPOOL, [](Pipeline &p, Shot &) { return p.deleteShots(); },
         QOV_ERROR_INVALID_ARGUMENT, "Failed to delete Pipeline's shots", VOVA_Ctx_READY},
        {"start", Pooled, CI_CAPTURE_START, [](Pipeline &p, Shot &) { return p.startCapture(); }, QOV_ERROR_FAILURE,
         "Failed to start capture (returned", VOVA_Ctx_READY},
        {"stop", Started, CI_CAPTURE_STOP, [](Pipeline &p, Shot &) { return p.stopCapture(); }, QOV_ERROR_FAILURE,
         "Failed to stop the capture (returned", VOVA_Ctx_READY},
        {"trigger", Started, CI_CAPTURE_TRIGGER, [](Pipeline &p, Shot &) { return p.programShot(); },
         QOV_ERROR_FAILURE, "Could not capture a frame (returned", VOVA_Ctx_READY},
        {"trigger given buffers", Started, CI_CAPTURE_TRIGGER,
         [](Pipeline &p, Shot &) {
             CI_BUFFID ids{};
             EXPECT_EQ(QOV_SUCCESS, p.getFirstAvailableBuffers(ids));
             return p.programSpecifiedShot(ids);
         },
         QOV_ERROR_FAILURE, "Could not trigger specified shoot (returned", VOVA_Ctx_READY},
        {"acquire", Started, CI_CAPTURE_ACQUIRE, [](Pipeline &p, Shot &s) { return p.acquireShot(s, true); },
         QOV_ERROR_FAILURE, "Failed to acquire buffer with blocking call (returned", VOVA_Ctx_READY},
        {"release", Acquired, CI_CAPTURE_RELEASE, [](Pipeline &p, Shot &s) { return p.releaseShot(s); },
         QOV_ERROR_FAILURE, "Failed to release the buffer (returned", VOVA_Ctx_READY},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        makeCamera({{"OUT_ENC", "NV21"}});
        if (c.stage >= Pooled) {
            ASSERT_EQ(QOV_SUCCESS, camera->program());
            ASSERT_EQ(QOV_SUCCESS, camera->allocateBufferPool(2));
        }
        if (c.stage >= Started) {
            ASSERT_EQ(QOV_SUCCESS, camera->startCapture());
            ASSERT_EQ(QOV_SUCCESS, camera->enqueueShot());
        }
        Shot shot;
        if (c.stage == Acquired) {
            ASSERT_EQ(QOV_SUCCESS, pipeline->acquireShot(shot, true));
        }
        driver->planFault(c.request, -EINVAL);
        {
            vovatest::LogCapture log;
            EXPECT_EQ(c.result, c.operation(*pipeline, shot));
            EXPECT_TRUE(log.contains(c.message)) << log.text();
        }
        EXPECT_EQ(c.status, pipeline->getStatus());
        if (c.stage == Acquired) {
            EXPECT_EQ(QOV_SUCCESS, pipeline->releaseShot(shot));  // the refused release left it acquired
        }
        camera.reset();
    }
}

// A buffer of each output the driver refuses: the pool names the output and
// the buffer, and stops there.
TEST_F(PipelineHardware, APoolNamesTheOutputWhoseBufferWasRefused)
{
    const Keys all = {{"OUT_ENC", "NV21"},
                      {"OUT_DISP", "RGB888_32"},
                      {"OUT_DE_HDF", "BGR101010_32"},
                      {"OUT_DI_HDF", "BGR161616_64"},
                      {"OUT_DE_RAW2D", "TIFF10"}};
    const Keys bayer = {{"OUT_DE", "BAYER10"}, {"OUT_DE_POINT", "1"}};
    struct Case {
        const Keys *keys;
        unsigned skip;  // buffers allocated before the refused one
        const char *message;
    } const cases[] = {
        {&all, 1, "Failed to allocate Encoder buffer 2/2"},   {&all, 2, "Failed to allocate Display buffer 1/2"},
        {&all, 5, "Failed to allocate HDRExt buffer 2/2"},    {&all, 7, "Failed to allocate HDRIns buffer 2/2"},
        {&all, 9, "Failed to allocate RAW2D Extraction buffer 2/2"}, {&bayer, 1, "Failed to allocate Bayer buffer 2/2"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        makeCamera(*c.keys);
        ASSERT_EQ(QOV_SUCCESS, camera->program());
        driver->planFault(CI_CREATE_BUFF, -ENOMEM, 1, c.skip);
        std::list<QOV_UINT32> ids;
        vovatest::LogCapture log;
        EXPECT_EQ(QOV_ERROR_FAILURE, camera->allocateBufferPool(2, ids));
        EXPECT_TRUE(log.contains(c.message)) << log.text();
        EXPECT_EQ(c.skip, ids.size());
        EXPECT_EQ(c.skip, driver->liveObjects().buffers);
        camera.reset();
    }
}

// Refusals of the driver or of the chip while the camera runs its steps:
// each is reported with the camera's message, and the camera's state is the
// one the refusal leaves (the sensor and the capture stopped where started).
TEST_F(PipelineHardware, CameraStepsRefusedOnTheWay)
{
    enum Stage { Programmed, Ready, Capturing };
    struct Case {
        const char *what;
        Stage stage;
        std::function<void(simboard::IspDriver &, simboard::SimChip &)> refuse;
        std::function<QOV_RESULT(Camera &)> step;
        QOV_RESULT result;
        const char *message;
        Camera::State state;
        bool captureRuns, chipStreams;
    } const cases[] = {
        {"shots", Programmed, [](auto &d, auto &) { d.planFault(CI_CONFIG_ADDPOOL, -ENOMEM); },
         [](Camera &c) { return c.addShots(2); }, QOV_ERROR_FAILURE, "Error adding buffer pool", Camera::CAM_ERROR,
         false, false},
        {"shots of a pool", Programmed, [](auto &d, auto &) { d.planFault(CI_CONFIG_ADDPOOL, -ENOMEM); },
         [](Camera &c) { return c.allocateBufferPool(2); }, QOV_ERROR_FAILURE, "Failed to add shots",
         Camera::CAM_PROGRAMMED, false, false},
        {"one buffer", Ready, [](auto &d, auto &) { d.planFault(CI_CREATE_BUFF, -ENOMEM); },
         [](Camera &c) {
             QOV_UINT32 id = 0;
             return c.allocateBuffer(CI_TYPE_ENCODER, false, &id);
         },
         QOV_ERROR_FAILURE, "Error while allocating buffer", Camera::CAM_ERROR, false, false},
        {"start", Ready, [](auto &d, auto &) { d.planFault(CI_CAPTURE_START, -EIO); },
         [](Camera &c) { return c.startCapture(); }, QOV_ERROR_FAILURE, "Unable to start capture", Camera::CAM_READY,
         false, false},
        {"program before the start", Ready, [](auto &d, auto &) { d.planFault(CI_CONFIG_UPDATE, -EIO); },
         [](Camera &c) { return c.startCapture(); }, QOV_ERROR_FAILURE, "Unable to program pipeline before starting",
         Camera::CAM_READY, false, false},
        {"sensor start", Ready, [](auto &, auto &chip) { chip.setResponding(false); },
         [](Camera &c) { return c.startCapture(); }, QOV_ERROR_I2C_FAILED, "Unable to start sensor!", Camera::CAM_READY,
         false, false},
        {"trigger", Capturing, [](auto &d, auto &) { d.planFault(CI_CAPTURE_TRIGGER, -EIO); },
         [](Camera &c) { return c.enqueueShot(); }, QOV_ERROR_FAILURE, "Error programming shot", Camera::CAM_ERROR,
         true, true},
        {"update before the trigger", Capturing, [](auto &d, auto &) { d.planFault(CI_CONFIG_UPDATE, -EIO); },
         [](Camera &c) { return c.enqueueShot(); }, QOV_ERROR_FAILURE, "Error programming pipeline",
         Camera::CAM_ERROR, true, true},
        {"stop", Capturing, [](auto &d, auto &) { d.planFault(CI_CAPTURE_STOP, -EIO); },
         [](Camera &c) { return c.stopCapture(); }, QOV_ERROR_FAILURE, "stopping capture.", Camera::CAM_ERROR, true,
         false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        chip->setResponding(true);
        makeCamera({{"OUT_ENC", "NV21"}});
        ASSERT_EQ(QOV_SUCCESS, camera->program());
        if (c.stage >= Ready) {
            ASSERT_EQ(QOV_SUCCESS, camera->allocateBufferPool(2));
            ASSERT_EQ(Camera::CAM_READY, camera->state);
        }
        if (c.stage >= Capturing) {
            ASSERT_EQ(QOV_SUCCESS, camera->startCapture());
        }
        c.refuse(*driver, *chip);
        vovatest::LogCapture log;
        const QOV_RESULT result = c.step(*camera);
        log.text();
        EXPECT_EQ(c.result, result);
        EXPECT_TRUE(log.contains(c.message)) << log.text();
        EXPECT_EQ(c.state, camera->state);
        const bool started = !driver->pipelineIds().empty() && view().started;
        EXPECT_EQ(c.captureRuns, started);
        EXPECT_EQ(c.chipStreams, chip->streaming());
        chip->setResponding(true);
        camera.reset();
    }
}

// A camera destroyed while the process keeps its driver connection takes its
// pipeline out of the driver.
TEST_F(PipelineHardware, ADestroyedCameraLeavesNoPipelineInTheDriver)
{
    CI_Connection held;
    makeCamera({{"OUT_ENC", "NV21"}});
    ASSERT_EQ(QOV_SUCCESS, camera->program());
    ASSERT_EQ(QOV_SUCCESS, camera->allocateBufferPool(2));
    EXPECT_EQ(1u, driver->liveObjects().pipelines);
    camera.reset();
    EXPECT_EQ(1u, driver->liveObjects().connections);
    EXPECT_EQ(0u, driver->liveObjects().pipelines);
    EXPECT_EQ(0u, driver->liveObjects().shots);
    EXPECT_EQ(0u, driver->liveObjects().buffers);
}

// A data extraction in an encoder format passes the output module but not the
// conversion: neither the registration nor a later update is sent.
TEST_F(PipelineHardware, AConfigurationTheConversionRefusesIsNotSent)
{
    for (const bool registered : {false, true}) {
        SCOPED_TRACE(registered ? "update" : "registration");
        makeCamera({{"OUT_ENC", "NV21"}});
        if (registered) {
            ASSERT_EQ(QOV_SUCCESS, camera->program());
        }
        const CtxStatus status = pipeline->getStatus();
        auto *out = static_cast<ModuleOUT *>(pipeline->getModule(STP_OUT));
        ASSERT_EQ(QOV_SUCCESS, out->load([] {
            ParameterList l;
            l.addParameter(Parameter("OUT_DE", "NV21"), true);
            l.addParameter(Parameter("OUT_DE_POINT", "1"), true);
            return l;
        }()));
        ASSERT_EQ(QOV_SUCCESS, camera->setupModules());
        driver->clearRequests();
        vovatest::LogCapture log;
        EXPECT_EQ(QOV_ERROR_FAILURE, pipeline->programPipeline(false));
        EXPECT_TRUE(log.contains("failed to convert the pipeline (returned")) << log.text();
        EXPECT_EQ(status, pipeline->getStatus());
        EXPECT_EQ(0u, driver->requestCount(CI_PIPELINE_REGISTER));
        EXPECT_EQ(0u, driver->requestCount(CI_CONFIG_UPDATE));
        camera.reset();
    }
}

// Data extraction alone at point 2, loaded into a camera: the set-up pass
// switches the focus region on over the whole sensor and the registration
// carries it to the hardware; a statistics block already on leaves it off.
TEST_F(PipelineHardware, DataExtractionAtTheFilterLineStoreRunsTheFocusStatisticsOnTheHardware)
{
    struct Case {
        const char *what;
        Keys keys;
        bool forced;
    } const cases[] = {
        {"data extraction alone", {{"OUT_DE", "BAYER10"}, {"OUT_DE_POINT", "2"}}, true},
        {"with the global histogram", {{"OUT_DE", "BAYER10"}, {"OUT_DE_POINT", "2"}, {"HIS_GLOBAL_ENABLE", "1"}}, false},
        {"at point 1", {{"OUT_DE", "BAYER10"}, {"OUT_DE_POINT", "1"}}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        vovatest::LogCapture log;
        makeCamera(c.keys);
        EXPECT_EQ(c.forced, log.contains("DE workaround: enabling FOS because only DE point 2 enabled.")) << log.text();
        ASSERT_EQ(QOV_SUCCESS, camera->program());
        const simboard::IspPipelineView v = view();
        EXPECT_EQ(c.forced, (v.info.config.eOutputConfig & CI_SAVE_FOS_ROI) != 0);
        if (c.forced) {
            // from (0, 0) to the last of the sensor's 1296 x 972 pixels
            EXPECT_EQ(0u, v.loadStructure[59]);
            EXPECT_EQ((vovatest::kSensorWidth - 1) | (vovatest::kSensorHeight - 1) << 16, v.loadStructure[60]);
            ParameterList saved;
            ASSERT_EQ(QOV_SUCCESS, camera->saveParameters(saved, ModuleBase::SAVE_VAL));
            EXPECT_EQ("1", saved.getParameter("FOS_ROI_ENABLE")->getString(0));
            EXPECT_EQ((std::vector<std::string>{"1295", "971"}),
                      saved.getParameter("FOS_ROI_END_COORDS")->getValues());
        }
        camera.reset();
    }
}

}  // namespace
}  // namespace pipeline_hardware
