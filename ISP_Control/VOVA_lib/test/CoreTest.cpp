// The core's pieces one by one: identifiers and module bases, the module
// and loop registries, the driver connection, the sensor wrapper, the
// pipeline's update bookkeeping and driver queries, shots, the camera
// factory and the timing hooks.
#include <cerrno>
#include <iterator>
#include <list>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "vova/Camera.h"
#include "vova/CameraFactory.h"
#include "vova/Connection.h"
#include "vova/Control.h"
#include "vova/ModuleBLC.h"
#include "vova/ModuleIIF.h"
#include "vova/ModuleOUT.h"
#include "vova/PerfTime.h"
#include "vova/Pipeline.h"
#include "vova/Sensor.h"
#include "vova/Shot.h"
#include "vova_test_support.h"

using namespace VOVA;

namespace {

// A control loop that records when it runs and can be told to fail.
template <ControlID ID> class RecordingLoop : public ControlModuleBase<ID> {
public:
    RecordingLoop(std::vector<int> *runs, bool fail = false)
        : ControlModuleBase<ID>("TEST_LOOP"), m_runs(runs), m_fail(fail)
    {
    }
    QOV_RESULT load(const ParameterList &) override { return m_fail ? QOV_ERROR_FAILURE : QOV_SUCCESS; }
    QOV_RESULT save(ParameterList &, ModuleBase::SaveType) const override
    {
        saves++;
        return m_fail ? QOV_ERROR_FAILURE : QOV_SUCCESS;
    }
    QOV_RESULT programCorrection() override { return QOV_SUCCESS; }
    QOV_RESULT update(const Metadata &) override
    {
        m_runs->push_back(ID);
        return m_fail ? QOV_ERROR_FAILURE : QOV_SUCCESS;
    }
    QOV_RESULT configureStatistics() override
    {
        configured++;
        return m_fail ? QOV_ERROR_FAILURE : QOV_SUCCESS;
    }
    bool hasConverged() const override { return false; }
    void init() override { inits++; }
    void setFailing(bool fail) { m_fail = fail; }
    int inits = 0;
    mutable int saves = 0;
    int configured = 0;

private:
    std::vector<int> *m_runs;
    bool m_fail;
};

/*-------------------------------------------------------------------------
 * Identifiers and bases
 *-------------------------------------------------------------------------*/

TEST(ModuleIds, NamesOfTheIdentifiers)
{
    EXPECT_STREQ("STP_IIF", ModuleBase::setupIDName(STP_IIF));
    EXPECT_STREQ("STP_HDR", ModuleBase::setupIDName(static_cast<SetupID>(27)));
    EXPECT_STREQ("STP_OUT", ModuleBase::setupIDName(static_cast<SetupID>(28)));
    EXPECT_STREQ("unkown-setupID", ModuleBase::setupIDName(static_cast<SetupID>(29)));
    EXPECT_STREQ("unkown-setupID", ModuleBase::setupIDName(static_cast<SetupID>(-1)));
    EXPECT_STREQ("CTRL_LSH", ModuleBase::controlIDName(static_cast<ControlID>(6)));
    EXPECT_STREQ("CTRL_AUX2", ModuleBase::controlIDName(CTRL_AUX2));
    EXPECT_STREQ("unkown-controlID", ModuleBase::controlIDName(static_cast<ControlID>(9)));
    EXPECT_EQ(STP_BLC, ModuleBLC::id);
    EXPECT_EQ(STP_OUT, ModuleOUT().getModuleID());
}

TEST(ModuleBases, ControlLoopPipelinesAndOwner)
{
    std::vector<int> runs;
    RecordingLoop<CTRL_AE> loop(&runs);
    Pipeline *a = reinterpret_cast<Pipeline *>(0x1000), *b = reinterpret_cast<Pipeline *>(0x2000);
    EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, loop.addPipeline(nullptr));
    EXPECT_EQ(QOV_SUCCESS, loop.addPipeline(a));
    EXPECT_EQ(QOV_ERROR_ALREADY_EXISTS, loop.addPipeline(a));
    EXPECT_EQ(1u, loop.getPipelines().size());
    EXPECT_EQ(QOV_SUCCESS, loop.addPipeline(b));
    EXPECT_EQ(nullptr, loop.getPipelineOwner());
    EXPECT_EQ(nullptr, loop.getSensor());
    EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, loop.setPipelineOwner(reinterpret_cast<Pipeline *>(0x3000)));
    EXPECT_EQ(QOV_SUCCESS, loop.setPipelineOwner(a));
    EXPECT_EQ(a, loop.getPipelineOwner());
    EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, loop.removePipeline(a));
    EXPECT_EQ(QOV_SUCCESS, loop.removePipeline(b));
    EXPECT_EQ(QOV_ERROR_NOT_INITIALISED, loop.removePipeline(b));
    EXPECT_EQ(QOV_SUCCESS, loop.setPipelineOwner(nullptr));
    EXPECT_EQ(QOV_SUCCESS, loop.removePipeline(a));
    // clearing drops every pipeline and the owner with them
    EXPECT_EQ(QOV_SUCCESS, loop.addPipeline(a));
    EXPECT_EQ(QOV_SUCCESS, loop.addPipeline(b));
    EXPECT_EQ(QOV_SUCCESS, loop.setPipelineOwner(b));
    loop.clearPipelines();
    EXPECT_TRUE(loop.getPipelines().empty());
    EXPECT_EQ(nullptr, loop.getPipelineOwner());
    EXPECT_EQ(QOV_SUCCESS, loop.addPipeline(b));
    std::ostringstream os;
    loop.printState(os);
    EXPECT_EQ("  TEST_LOOP:\n    config:\n      enabled = 1\n", os.str());
}

TEST(ModuleBases, FlagsOfASetupModule)
{
    ModuleBLC blc;
    EXPECT_FALSE(blc.isUpdateRequested());
    blc.requestUpdate();
    EXPECT_TRUE(blc.isUpdateRequested());
    vovatest::LogCapture log;
    EXPECT_EQ(QOV_ERROR_WRONG_STATE, blc.setup());
    EXPECT_TRUE(log.contains("ERROR [VOVA_MOD_BLC]: setup():")) << log.text();
    EXPECT_TRUE(log.contains("pipeline not set!")) << log.text();
    blc.clearFlags();
    EXPECT_FALSE(blc.isUpdateRequested());
    EXPECT_FALSE(blc.isSetup());
    EXPECT_EQ(NORMAL, blc.getPriority());
    std::ostringstream os;
    os << blc;
    EXPECT_EQ("  VOVA_MOD_BLC:\n", os.str());
}

TEST(TimingHooks, SwitchedOff)
{
    vovatest::LogCapture log;
    EXPECT_FALSE(LOG_Perf_Available());
    LOG_Perf_Out(nullptr, nullptr, nullptr, 0);
    LOG_Perf_In("x", "y", "z", 1);
    LOG_Perf_Register(static_cast<const char *>(nullptr), true);
    LOG_Perf_Register(static_cast<const ModuleBase *>(nullptr), false);
    LOG_Perf_Summary();
    EXPECT_FALSE(LOG_Perf_Available());
    EXPECT_EQ("", log.text());
}

/*-------------------------------------------------------------------------
 * Registries
 *-------------------------------------------------------------------------*/

class Registries : public vovatest::BoardTest {};

TEST_F(Registries, TheSameObjectRegisteredTwiceStaysInPlace)
{
    Sensor sensor;
    Camera camera(0, &sensor);
    Pipeline *p = camera.getPipeline();
    ModuleBLC *blc = new ModuleBLC();
    ASSERT_EQ(QOV_SUCCESS, p->registerModule(blc));
    {
        vovatest::LogCapture log;
        EXPECT_EQ(QOV_SUCCESS, p->registerModule(blc));
        EXPECT_EQ("", log.text());
    }
    EXPECT_EQ(blc, p->getModule(STP_BLC));
    blc->ui32SystemBlack = 7;  // still alive: not deleted by the second registration
    ModuleBLC *other = new ModuleBLC();
    vovatest::LogCapture log;
    EXPECT_EQ(QOV_SUCCESS, p->registerModule(other));
    EXPECT_TRUE(log.contains("WARNING [VOVA_PIPELINE]: registerModule() Module with id = 2 was previously registered"));
    EXPECT_EQ(other, p->getModule(STP_BLC));
    EXPECT_EQ(p, other->getPipeline());

    std::vector<int> runs;
    auto *loop = new RecordingLoop<CTRL_AE>(&runs);
    ASSERT_EQ(QOV_SUCCESS, camera.registerControlModule(loop));
    EXPECT_EQ(QOV_SUCCESS, camera.registerControlModule(loop));
    EXPECT_EQ(loop, camera.getControlModule(CTRL_AE));
    EXPECT_EQ(1, loop->inits);
    EXPECT_EQ(p, loop->getPipelineOwner());
    EXPECT_EQ(&sensor, loop->getSensor());
}

TEST_F(Registries, ControlLoopsRunInIdOrderAndEveryOneIsTried)
{
    std::vector<int> runs;
    Control control;
    auto *ae = new RecordingLoop<CTRL_AE>(&runs, true);
    auto *awb = new RecordingLoop<CTRL_AWB>(&runs);
    auto *lsh = new RecordingLoop<CTRL_LSH>(&runs);
    auto *tnm = new RecordingLoop<CTRL_TNM>(&runs);
    for (ControlModule *m : std::initializer_list<ControlModule *>{lsh, ae, tnm, awb})
        ASSERT_EQ(QOV_SUCCESS, control.registerControlModule(m, nullptr));
    tnm->enableControl(false);
    lsh->setUpdateType(UPDATE_REQUEST);
    Metadata metadata{};
    {
        vovatest::LogCapture log;
        EXPECT_EQ(QOV_ERROR_FAILURE, control.runControlModules(UPDATE_SHOT, metadata));
        EXPECT_TRUE(log.contains("Failed to update module with id 1")) << log.text();
    }
    EXPECT_EQ((std::vector<int>{CTRL_AWB, CTRL_AE}), runs);
    runs.clear();
    vovatest::LogCapture log;
    EXPECT_EQ(QOV_ERROR_FAILURE, control.runControlModules(metadata));
    EXPECT_EQ((std::vector<int>{CTRL_AWB, CTRL_AE, CTRL_LSH}), runs);
    runs.clear();
    EXPECT_EQ(QOV_SUCCESS, control.runControlModule(CTRL_TNM, metadata));
    EXPECT_EQ(std::vector<int>{CTRL_TNM}, runs);
    EXPECT_EQ(QOV_ERROR_FAILURE, control.loadAll(ParameterList()));
    ParameterList saved;
    // one loop alone answers for itself
    EXPECT_EQ(QOV_ERROR_FAILURE, control.loadControlModule(CTRL_AE, ParameterList()));
    EXPECT_EQ(QOV_SUCCESS, control.loadControlModule(CTRL_AWB, ParameterList()));
    EXPECT_EQ(QOV_ERROR_FAILURE, control.saveControlModule(CTRL_AE, saved, ModuleBase::SAVE_VAL));
    const int awbSaves = awb->saves;
    EXPECT_EQ(QOV_SUCCESS, control.saveControlModule(CTRL_AWB, saved, ModuleBase::SAVE_VAL));
    EXPECT_EQ(awbSaves + 1, awb->saves);
    EXPECT_EQ(QOV_ERROR_FAILURE, control.saveControlModule(CTRL_AF, saved, ModuleBase::SAVE_VAL));
    EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, control.loadControlModule(CTRL_AF, ParameterList()));
    EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, control.runControlModule(CTRL_AF, metadata));
    EXPECT_EQ(QOV_ERROR_FAILURE, control.registerControlModule(nullptr, nullptr));
    EXPECT_TRUE(log.contains("Module with id 2 not found.")) << log.text();
    EXPECT_TRUE(log.contains("NULL module provided")) << log.text();
}

// Saving, configuring the statistics and handing a pipeline to the loops try
// every loop, and fail when any one fails.
TEST_F(Registries, CollectiveOperationsTryEveryLoop)
{
    std::vector<int> runs;
    Control control;
    auto *ae = new RecordingLoop<CTRL_AE>(&runs, true);
    auto *awb = new RecordingLoop<CTRL_AWB>(&runs);
    ASSERT_EQ(QOV_SUCCESS, control.registerControlModule(ae, nullptr));
    ASSERT_EQ(QOV_SUCCESS, control.registerControlModule(awb, nullptr));
    ParameterList saved;
    {
        vovatest::LogCapture log;
        EXPECT_EQ(QOV_ERROR_FAILURE, control.saveAll(saved, ModuleBase::SAVE_VAL));
        EXPECT_EQ(QOV_ERROR_FAILURE, control.configureStatistics());
        EXPECT_TRUE(log.contains("Failed to save module with id 1")) << log.text();
        EXPECT_TRUE(log.contains("Failed to configure the statistics for module withid 1")) << log.text();
    }
    EXPECT_EQ(1, awb->saves);
    EXPECT_EQ(1, awb->configured);
    ae->setFailing(false);
    EXPECT_EQ(QOV_SUCCESS, control.saveAll(saved, ModuleBase::SAVE_VAL));
    EXPECT_EQ(QOV_SUCCESS, control.configureStatistics());
    EXPECT_EQ(2, ae->saves);
    EXPECT_EQ(2, awb->configured);

    Pipeline *a = reinterpret_cast<Pipeline *>(0x1000), *b = reinterpret_cast<Pipeline *>(0x2000);
    EXPECT_EQ(QOV_SUCCESS, control.addPipelineToAll(a));
    EXPECT_EQ(QOV_SUCCESS, control.setPipelineOwnerToAll(a));
    EXPECT_EQ(a, ae->getPipelineOwner());
    EXPECT_EQ(a, awb->getPipelineOwner());
    vovatest::LogCapture log;
    EXPECT_EQ(QOV_ERROR_FAILURE, control.addPipelineToAll(a));  // already held by both
    EXPECT_EQ(QOV_ERROR_FAILURE, control.setPipelineOwnerToAll(b));  // held by neither
    EXPECT_TRUE(log.contains("Failed to add pipeline to 2 modules")) << log.text();
    EXPECT_TRUE(log.contains("Failed to set pipeline owner to 2 modules")) << log.text();
    EXPECT_EQ(a, awb->getPipelineOwner());
    std::ostringstream os;
    control.printAllState(os);
    EXPECT_EQ(2u, [&] {
        size_t n = 0;
        for (size_t at = os.str().find("TEST_LOOP:"); at != std::string::npos; at = os.str().find("TEST_LOOP:", at + 1))
            n++;
        return n;
    }());
}

/*-------------------------------------------------------------------------
 * Driver connection
 *-------------------------------------------------------------------------*/

class Connections : public vovatest::BoardTest {};

TEST_F(Connections, OneDriverConnectionForAllReferences)
{
    {
        CI_Connection first;
        CI_Connection second;
        EXPECT_EQ(2, first.getNConnections());
        EXPECT_EQ(first.getConnection(), second.getConnection());
        EXPECT_EQ(1u, driver->liveObjects().connections);
    }
    EXPECT_EQ(0u, driver->liveObjects().connections);
    driver->refuseOpen();
    vovatest::LogCapture log;
    CI_Connection refused;
    EXPECT_EQ(nullptr, refused.getConnection());
    EXPECT_EQ(0, refused.getNConnections());
    EXPECT_TRUE(log.contains("Unable to initialize connection to CI")) << log.text();
    EXPECT_TRUE(log.contains("Failed to connect (returned 3)")) << log.text();
    Camera camera(0);
    EXPECT_EQ(Camera::CAM_CONNECTED, camera.state);  // the refusal was for one opening only
}

/*-------------------------------------------------------------------------
 * Sensor wrapper
 *-------------------------------------------------------------------------*/

class SensorWrapper : public vovatest::BoardTest {};

TEST_F(SensorWrapper, ConstructionFiguresAreTheKeysInMicroseconds)
{
    Sensor sensor;
    EXPECT_EQ(35000u, sensor.getExposure());
    EXPECT_EQ(0u, sensor.getMinExposure());
    EXPECT_EQ(5000000u, sensor.getMaxExposure());
    EXPECT_DOUBLE_EQ(128.0, sensor.getMaxGain());
    EXPECT_EQ(Sensor::SENSOR_ERROR, sensor.getState());
    EXPECT_EQ(1280u, sensor.uiWidth);
    EXPECT_EQ(525u, sensor.nVTot);
    ParameterList saved;
    EXPECT_EQ(QOV_SUCCESS, sensor.save(saved, ModuleBase::SAVE_VAL));
    EXPECT_EQ("35", saved.getParameter("SENSOR_EXPOSURE_MS")->getString(0));
    EXPECT_EQ((std::vector<std::string>{"1280", "720"}), saved.getParameter("SENSOR_ACTIVE_SIZE")->getValues());
    EXPECT_EQ("// Sensor information", saved.getGroup("Sensor").header);
    EXPECT_EQ(8u, saved.getGroup("Sensor").parameters.size());
    ParameterList defaults;
    sensor.save(defaults, ModuleBase::SAVE_DEF);
    EXPECT_EQ("double range=[0,5000]", defaults.getParameter("SENSOR_EXPOSURE_MS")->getInfo());
    EXPECT_EQ(0, Sensor::GetSensorId("IIF Datagen"));
    EXPECT_EQ(12, Sensor::GetSensorId("OV5695_0"));
    EXPECT_EQ(-1, Sensor::GetSensorId("OV5695"));
    EXPECT_STREQ("UNKNOWN", Sensor::StateName(static_cast<Sensor::State>(9)));
    const std::pair<Sensor::State, const char *> states[] = {{Sensor::SENSOR_ERROR, "SENSOR_ERROR"},
                                                            {Sensor::SENSOR_INITIALIZED, "SENSOR_INITIALIZED"},
                                                            {Sensor::SENSOR_ENABLED, "SENSOR_ENABLED"},
                                                            {Sensor::SENSOR_CONFIGURED, "SENSOR_CONFIGURED"}};
    for (const auto &[state, name] : states)
        EXPECT_STREQ(name, Sensor::StateName(state));
}

// A sensor whose programmed exposure and gain a test sets.
class FigureSensor : public Sensor {
public:
    FigureSensor(QOV_UINT32 exposure, double gain)
    {
        programmedExposure = exposure;
        programmedGain = gain;
    }
};

// Every figure distinct and away from its default: each reaches its own saved
// key and its own field of the global setup.
TEST_F(SensorWrapper, EveryFigureReachesItsKeyAndTheGlobalSetup)
{
    FigureSensor sensor(12345, 3.5);
    sensor.uiWidth = 1000;
    sensor.uiHeight = 600;
    sensor.uiImager = 2;
    sensor.nVTot = 777;
    sensor.eBayerFormat = MOSAIC_GBRG;
    sensor.uiBitDepth = 12;
    sensor.flFrameRate = 24.5;
    sensor.uiWellDepth = 6000;
    sensor.flReadNoise = 2.25;
    sensor.eHDRMode = HDR_ALTERNATE_ROW;
    sensor.bLongExpFirst = true;
    sensor.ui32LineGap = 9;
    ParameterList saved;
    ASSERT_EQ(QOV_SUCCESS, sensor.save(saved, ModuleBase::SAVE_VAL));
    const std::pair<const char *, std::vector<std::string>> keys[] = {
        {"SENSOR_EXPOSURE_MS", {"12.345"}}, {"SENSOR_GAIN", {"3.5"}},          {"SENSOR_BITDEPTH", {"12"}},
        {"SENSOR_WELL_DEPTH", {"6000"}},    {"SENSOR_READ_NOISE", {"2.25"}},   {"SENSOR_FRAME_RATE", {"24.5"}},
        {"SENSOR_ACTIVE_SIZE", {"1000", "600"}}, {"SENSOR_VTOT", {"777"}},
    };
    for (const auto &k : keys)
        EXPECT_EQ(k.second, saved.getParameter(k.first)->getValues()) << k.first;

    CI_Connection connection;
    Pipeline pipeline(connection.getConnection(), 1, &sensor);
    ASSERT_EQ(VOVA_Ctx_INIT, pipeline.getStatus());
    EXPECT_EQ(1, pipeline.getCIPipeline()->config.ui8Context);
    EXPECT_EQ(1000u, pipeline.getMaxDisplayWidth());
    EXPECT_EQ(600u, pipeline.getMaxEncoderHeight());
    EXPECT_EQ(2, pipeline.getCIPipeline()->sImagerInterface.ui8Imager);
    const Global_Setup g = pipeline.getGlobalSetup();
    EXPECT_EQ(1000u, g.ui32Sensor_width);
    EXPECT_EQ(600u, g.ui32Sensor_height);
    EXPECT_EQ(12u, g.ui32Sensor_bitdepth);
    EXPECT_EQ(2u, g.ui32Sensor_imager);
    EXPECT_DOUBLE_EQ(3.5, g.fSensor_gain);
    EXPECT_EQ(6000u, g.ui32Sensor_well_depth);
    EXPECT_EQ(MOSAIC_GBRG, g.eSensor_bayer_format);
    EXPECT_DOUBLE_EQ(2.25, g.fSensor_read_noise);
    EXPECT_EQ(HDR_ALTERNATE_ROW, g.eSensorHDRMode);
    EXPECT_EQ(QOV_TRUE, g.bSensorLongExpFirst);
    EXPECT_EQ(9u, g.ui32SensorLineGap);
    EXPECT_EQ(1000u, g.ui32ImageWidth);  // twice the imager-interface cells
    EXPECT_EQ(600u, g.ui32ImageHeight);
}

// A pipeline that could not be made describes the sensor alone, and says it
// is in no state to be used; without a sensor it has nothing to describe.
TEST_F(SensorWrapper, APipelineInErrorDescribesTheSensorOnly)
{
    FigureSensor sensor(20000, 2.0);
    sensor.uiWidth = 1000;
    sensor.uiHeight = 600;
    CI_Connection connection;
    const unsigned contexts = connection.getConnection()->sHWInfo.config_ui8NContexts;
    struct Case {
        const char *what;
        Sensor *sensor;
        unsigned context;
        const char *message;
        QOV_UINT32 width;
    } const cases[] = {
        {"context past the last", &sensor, contexts, "Pipeline is in error state", 1000},
        {"no sensor", nullptr, 0, "Pipeline does not have a sensor!", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        vovatest::LogCapture log;
        Pipeline pipeline(connection.getConnection(), c.context, c.sensor);
        ASSERT_EQ(VOVA_Ctx_ERROR, pipeline.getStatus());
        QOV_RESULT ret = QOV_SUCCESS;
        const Global_Setup g = pipeline.getGlobalSetup(&ret);
        EXPECT_EQ(QOV_ERROR_WRONG_STATE, ret);
        EXPECT_TRUE(log.contains(c.message)) << log.text();
        EXPECT_EQ(c.width, g.ui32Sensor_width);
        EXPECT_EQ(c.width, g.ui32ImageWidth);
        EXPECT_EQ(0xFFFFFFFFu, g.ui32EncWidth);
        EXPECT_EQ(2u, g.CFA_WIDTH);
    }
}

// Each kind of saving gives every key its bound or default, over the values
// an earlier save left in the same list.
TEST_F(SensorWrapper, EverySaveKindWritesEveryKey)
{
    using Texts = std::vector<std::string>;
    const char *const keys[] = {"SENSOR_EXPOSURE_MS", "SENSOR_GAIN",       "SENSOR_BITDEPTH",    "SENSOR_WELL_DEPTH",
                                "SENSOR_READ_NOISE",  "SENSOR_FRAME_RATE", "SENSOR_ACTIVE_SIZE", "SENSOR_VTOT"};
    struct Case {
        ModuleBase::SaveType kind;
        std::vector<Texts> values;  // in the order of the keys
    } const cases[] = {
        {ModuleBase::SAVE_MIN, {{"0"}, {"0"}, {"8"}, {"0"}, {"0"}, {"1"}, {"0", "0"}, {"0"}}},
        {ModuleBase::SAVE_MAX,
         {{"5000"}, {"128"}, {"16"}, {"65535"}, {"100"}, {"255"}, {"16384", "16384"}, {"16383"}}},
        {ModuleBase::SAVE_DEF, {{"35"}, {"1"}, {"10"}, {"5000"}, {"0"}, {"30"}, {"1280", "720"}, {"525"}}},
    };
    FigureSensor sensor(12345, 3.5);
    sensor.nVTot = 777;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.kind);
        ParameterList list;
        ASSERT_EQ(QOV_SUCCESS, sensor.save(list, ModuleBase::SAVE_VAL));
        ASSERT_EQ(QOV_SUCCESS, sensor.save(list, c.kind));
        for (size_t k = 0; k < std::size(keys); k++)
            EXPECT_EQ(c.values[k], list.getParameter(keys[k])->getValues()) << keys[k];
    }
}

// Configuring copies the mode and the chip's figures as the sensor library
// reports them, and the ranges the driver gives: a chip with a lens motor,
// and one in a staggered HDR mode (long exposure first, a line gap).
TEST_F(SensorWrapper, ConfiguredFiguresAreTheSensorLibrarys)
{
    struct Case {
        const char *chip;
        int mode;
        bool focus, hdr;
    } const cases[] = {{"S5K3P9", 3, true, false}, {"IMX662", 3, false, true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.chip);
        simboard::SensorBoard::instance().place(0, *simboard::chipModelByName(c.chip));
        Sensor sensor(Sensor::GetSensorId(c.chip));
        ASSERT_EQ(QOV_SUCCESS, sensor.configure(c.mode, SENSOR_FLIP_NONE));
        EXPECT_EQ(Sensor::SENSOR_CONFIGURED, sensor.getState());
        SENSOR_INFO info{};
        ASSERT_EQ(QOV_SUCCESS, Sensor_GetInfo(sensor.getHandle(), &info));
        ASSERT_EQ(c.hdr, info.sMode.eHDRMode != HDR_NONE);
        EXPECT_EQ(info.sMode.ui16Width, sensor.uiWidth);
        EXPECT_EQ(info.sMode.ui16Height, sensor.uiHeight);
        EXPECT_EQ(info.ui8Imager, sensor.uiImager);
        EXPECT_EQ(info.sMode.ui16VerticalTotal, sensor.nVTot);
        EXPECT_EQ(info.eBayerEnabled, sensor.eBayerFormat);
        EXPECT_EQ(info.sMode.ui8BitDepth, sensor.uiBitDepth);
        EXPECT_EQ(info.ui32WellDepth, sensor.uiWellDepth);
        EXPECT_EQ(info.ui16FocalLength, sensor.uiFocalLength);
        EXPECT_DOUBLE_EQ(info.flReadNoise, sensor.flReadNoise);
        EXPECT_DOUBLE_EQ(info.fNumber, sensor.flAperture);
        EXPECT_DOUBLE_EQ(info.sMode.flFrameRate, sensor.flFrameRate);
        EXPECT_EQ(info.sMode.eHDRMode, sensor.eHDRMode);
        EXPECT_EQ(info.sMode.ui32LineGap, sensor.ui32LineGap);
        EXPECT_EQ(info.sMode.bLongExpFirst != 0, sensor.bLongExpFirst);
        QOV_UINT32 exposure = 0, lo = 0, hi = 0;
        QOV_UINT8 contexts = 0;
        ASSERT_EQ(QOV_SUCCESS, Sensor_GetExposure(sensor.getHandle(), &exposure, 0));
        ASSERT_EQ(QOV_SUCCESS, Sensor_GetExposureRange(sensor.getHandle(), &lo, &hi, &contexts));
        EXPECT_EQ(exposure, sensor.getExposure());
        EXPECT_EQ(lo, sensor.getMinExposure());
        EXPECT_EQ(hi, sensor.getMaxExposure());
        double gainLo = 0, gainHi = 0;
        ASSERT_EQ(QOV_SUCCESS, Sensor_GetGainRange(sensor.getHandle(), &gainLo, &gainHi, &contexts));
        EXPECT_DOUBLE_EQ(gainLo, sensor.getMinGain());
        EXPECT_DOUBLE_EQ(gainHi, sensor.getMaxGain());
        EXPECT_DOUBLE_EQ(1.0, sensor.getGain());
        EXPECT_EQ(contexts, sensor.ui8SensorContexts);
        EXPECT_EQ(c.focus, sensor.getFocusSupported());
        if (c.focus) {
            QOV_UINT16 focusLo = 0, focusHi = 0, focus = 0;
            ASSERT_EQ(QOV_SUCCESS, Sensor_GetFocusRange(sensor.getHandle(), &focusLo, &focusHi));
            ASSERT_EQ(QOV_SUCCESS, Sensor_GetCurrentFocus(sensor.getHandle(), &focus));
            EXPECT_EQ(focusLo, sensor.getMinFocus());
            EXPECT_EQ(focusHi, sensor.getMaxFocus());
            EXPECT_EQ(focus, sensor.getFocusDistance());
        }
    }
}

// The names come after what the list held, each with its place in the table.
TEST_F(SensorWrapper, SensorNamesAreTheTableInOrder)
{
    std::list<std::pair<std::string, int>> names{{"earlier", 99}};
    Sensor::GetSensorNames(names);
    ASSERT_EQ(1u + Sensor_NumberSensors(), names.size());
    EXPECT_EQ("earlier", names.front().first);
    names.pop_front();
    int index = 0;
    for (const auto &entry : names) {
        EXPECT_EQ(index, entry.second);
        EXPECT_EQ(Sensor_ListAll()[index], entry.first);
        index++;
    }
    EXPECT_EQ((std::pair<std::string, int>{"IIF Datagen", 0}), names.front());
    EXPECT_EQ("OV5695_0", std::next(names.begin(), vovatest::kSensorId)->first);
}

// A chip without a lens motor: any distance is accepted and nothing is sent.
TEST_F(SensorWrapper, FocusOnASensorWithoutFocusIsAcceptedAndIgnored)
{
    auto chip = placeChip();
    Sensor sensor(vovatest::kSensorId);
    ASSERT_EQ(QOV_SUCCESS, sensor.configure(vovatest::kSensorMode, SENSOR_FLIP_NONE));
    ASSERT_FALSE(sensor.getFocusSupported());
    const unsigned transfers = chip->transfers();
    vovatest::LogCapture log;
    EXPECT_EQ(QOV_SUCCESS, sensor.setFocusDistance(500));
    EXPECT_EQ(0u, sensor.getFocusDistance());
    EXPECT_EQ(transfers, chip->transfers());
    EXPECT_EQ("", log.text());
}

TEST_F(SensorWrapper, ExposureAndGainOnlyWhileStreamingAndARefusedGainFails)
{
    auto chip = placeChip();
    Sensor sensor(vovatest::kSensorId);
    ASSERT_EQ(Sensor::SENSOR_INITIALIZED, sensor.getState());
    ASSERT_EQ(QOV_SUCCESS, sensor.configure(vovatest::kSensorMode, SENSOR_FLIP_NONE));
    EXPECT_EQ(vovatest::kSensorWidth, sensor.uiWidth);
    EXPECT_EQ(MOSAIC_BGGR, sensor.eBayerFormat);
    {
        vovatest::LogCapture log;
        EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, sensor.setExposure(10000));
        EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, sensor.setGain(2.0));
        EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, sensor.disable());
        EXPECT_TRUE(log.contains("Sensor is in state SENSOR_CONFIGURED, expecting SENSOR_ENABLED")) << log.text();
    }
    ASSERT_EQ(QOV_SUCCESS, sensor.enable());
    EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, sensor.configure(0, 0));
    ASSERT_EQ(QOV_SUCCESS, sensor.setGain(2.0));
    EXPECT_NEAR(2.0, sensor.getGain(), 0.1);
    EXPECT_NEAR(2.0, chip->gain(), 0.1);
    ASSERT_EQ(QOV_SUCCESS, sensor.setExposure(10000));
    EXPECT_NEAR(10000.0, sensor.getExposure(), 100.0);

    chip->setResponding(false);  // the chip acknowledges nothing
    {
        vovatest::LogCapture log;
        EXPECT_NE(QOV_SUCCESS, sensor.setGain(4.0));
        EXPECT_NE(QOV_SUCCESS, sensor.setExposure(20000));
        EXPECT_TRUE(log.contains("Failed to set gain to 4.000000")) << log.text();
        EXPECT_TRUE(log.contains("Failed to set exposure to 20000")) << log.text();
    }
    EXPECT_NEAR(2.0, chip->gain(), 0.1);
    EXPECT_NEAR(10000.0, sensor.getExposure(), 100.0);
    chip->setResponding(true);
    ASSERT_EQ(QOV_SUCCESS, sensor.disable());
    EXPECT_EQ(Sensor::SENSOR_CONFIGURED, sensor.getState());
}

TEST_F(SensorWrapper, FocusOutsideTheRangeIsClampedToTheNearerEnd)
{
    auto chip = simboard::SensorBoard::instance().place(0, *simboard::chipModelByName("S5K3P9"));
    Sensor sensor(Sensor::GetSensorId("S5K3P9"));
    ASSERT_EQ(QOV_SUCCESS, sensor.configure(3, SENSOR_FLIP_NONE));
    ASSERT_TRUE(sensor.getFocusSupported());
    const unsigned lo = sensor.getMinFocus(), hi = sensor.getMaxFocus();
    ASSERT_LT(lo, hi);
    {
        vovatest::LogCapture log;
        EXPECT_EQ(QOV_SUCCESS, sensor.setFocusDistance(hi + 100));
        EXPECT_TRUE(log.contains("Requested focus distance " + std::to_string(hi + 100) + " out of range (" +
                                 std::to_string(lo) + "; " + std::to_string(hi) + "). Setting focus distance to " +
                                 std::to_string(hi)))
            << log.text();
    }
    EXPECT_EQ(hi, sensor.getFocusDistance());
    EXPECT_EQ(QOV_SUCCESS, sensor.setFocusDistance((lo + hi) / 2));
    EXPECT_EQ((lo + hi) / 2, sensor.getFocusDistance());
    if (lo > 0) {
        EXPECT_EQ(QOV_SUCCESS, sensor.setFocusDistance(lo - 1));
        EXPECT_EQ(lo, sensor.getFocusDistance());
    }
    chip->setResponding(false);  // a refused move fails and says so
    vovatest::LogCapture log;
    EXPECT_NE(QOV_SUCCESS, sensor.setFocusDistance(lo + 1));
    EXPECT_TRUE(log.contains("Failed to set focus distance to " + std::to_string(lo + 1))) << log.text();
}

// A configuration that fails at any step leaves the sensor in error, so that
// it cannot be enabled: a mode the chip lacks, a generator with no source
// file to describe, and each call to the chips in turn failing.
TEST_F(SensorWrapper, AFailedConfigurationLeavesTheSensorInError)
{
    struct Refusal {
        int sensorId, mode;
        const char *message;
    } const refusals[] = {{vovatest::kSensorId, 99, "failed to set sensor's mode to 99 with flipping 0x0"},
                          {0, 0, "failed to get sensor's info"}};
    placeChip();
    for (const Refusal &r : refusals) {
        Sensor sensor(r.sensorId);
        ASSERT_EQ(Sensor::SENSOR_INITIALIZED, sensor.getState());
        vovatest::LogCapture log;
        EXPECT_NE(QOV_SUCCESS, sensor.configure(r.mode, SENSOR_FLIP_NONE)) << r.message;
        EXPECT_EQ(Sensor::SENSOR_ERROR, sensor.getState()) << r.message;
        EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, sensor.enable()) << r.message;
        EXPECT_TRUE(log.contains(r.message)) << log.text();
    }
    // The chip's calls one by one: a failed device-ID read is tolerated, a
    // failed gain write is not.
    simboard::Board &board = simboard::Board::instance();
    board.clearTrace();
    size_t calls = 0;
    {
        Sensor sensor(vovatest::kSensorId);
        const size_t before = board.trace().size();
        ASSERT_EQ(QOV_SUCCESS, sensor.configure(vovatest::kSensorMode, SENSOR_FLIP_NONE));
        calls = board.trace().size() - before;
    }
    int failed = 0;
    for (size_t k = 0; k < calls; k++) {
        Sensor sensor(vovatest::kSensorId);
        board.failCall(board.trace().size() + k, {simboard::CallFault::ERROR, -EIO});
        vovatest::LogCapture log;
        const QOV_RESULT ret = sensor.configure(vovatest::kSensorMode, SENSOR_FLIP_NONE);
        board.clearFaults();
        if (ret == QOV_SUCCESS) {
            EXPECT_EQ(Sensor::SENSOR_CONFIGURED, sensor.getState()) << k;
            continue;
        }
        failed++;
        EXPECT_EQ(Sensor::SENSOR_ERROR, sensor.getState()) << k;
        EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, sensor.enable()) << k;
        EXPECT_TRUE(log.contains("Failed to set initial gain to 1.0")) << log.text();
    }
    EXPECT_GT(failed, 0);
}

// A start the chip refuses leaves the sensor in error: it cannot be started
// again until it is configured anew.
TEST_F(SensorWrapper, AFailedStartLeavesTheSensorInError)
{
    auto chip = placeChip();
    Sensor sensor(vovatest::kSensorId);
    ASSERT_EQ(QOV_SUCCESS, sensor.configure(vovatest::kSensorMode, SENSOR_FLIP_NONE));
    chip->setResponding(false);
    {
        vovatest::LogCapture log;
        EXPECT_NE(QOV_SUCCESS, sensor.enable());
        EXPECT_TRUE(log.contains("Failed to start transmitting data from the sensor!")) << log.text();
    }
    EXPECT_EQ(Sensor::SENSOR_ERROR, sensor.getState());
    chip->setResponding(true);
    EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, sensor.enable());
    EXPECT_EQ(Sensor::SENSOR_ERROR, sensor.getState());
}

/*-------------------------------------------------------------------------
 * Pipeline: updates that do not reach the driver, driver queries
 *-------------------------------------------------------------------------*/

class PipelineUpdates : public vovatest::BoardTest {
protected:
    void SetUp() override
    {
        vovatest::BoardTest::SetUp();
        camera = std::make_unique<Camera>(0, &sensor);
        ASSERT_EQ(QOV_SUCCESS, CameraFactory::populateCameraFromHWVersion(*camera, &sensor));
        ParameterList list;
        list.addParameter(Parameter("OUT_ENC", "NV21"), true);
        ASSERT_EQ(QOV_SUCCESS, camera->loadParameters(list));
        ASSERT_EQ(QOV_SUCCESS, camera->program());
        ASSERT_EQ(QOV_SUCCESS, camera->allocateBufferPool(2));
        pipeline = camera->getPipeline();
    }
    void TearDown() override
    {
        camera.reset();
        vovatest::BoardTest::TearDown();
    }
    // The update masks the driver received since the last clear.
    std::vector<int> sentMasks() const
    {
        std::vector<int> masks;
        for (const simboard::IspRequest &r : driver->requests()) {
            if (r.index != CI_CONFIG_UPDATE || r.record.size() < sizeof(CI_PIPE_PARAM))
                continue;
            CI_PIPE_PARAM param;
            memcpy(&param, r.record.data(), sizeof param);
            masks.push_back(param.eUpdateMask);
        }
        return masks;
    }

    Sensor sensor;
    std::unique_ptr<Camera> camera;
    Pipeline *pipeline = nullptr;
};

// One module saved alone writes its own keys; a module the pipeline does not
// hold is refused by every single-module operation.
TEST_F(PipelineUpdates, SingleModuleOperationsNeedARegisteredModule)
{
    ParameterList saved;
    ASSERT_EQ(QOV_SUCCESS, pipeline->saveModule(STP_OUT, saved, ModuleBase::SAVE_VAL));
    EXPECT_EQ("NV21", saved.getParameterString("OUT_ENC", 0, ""));
    EXPECT_FALSE(saved.exists("BLC_SYS_BLACK_LEVEL"));

    Pipeline bare(camera->getConnection(), 1, &sensor);
    vovatest::LogCapture log;
    EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, bare.registerModule(nullptr));
    EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, bare.saveModule(STP_OUT, saved, ModuleBase::SAVE_VAL));
    EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, bare.reloadModule(STP_OUT, saved));
    EXPECT_EQ(nullptr, bare.getModule(STP_OUT));
    EXPECT_TRUE(log.contains("Given module is NULL")) << log.text();
    EXPECT_TRUE(log.contains("Module not found: id=" + std::to_string(STP_OUT))) << log.text();
}

// Shots are deleted only while the capture is stopped and none is pending
// or acquired; then the pipeline has none left to enqueue.
TEST_F(PipelineUpdates, ShotsAreDeletedOnlyWhenNoneIsInUse)
{
    ASSERT_EQ(QOV_SUCCESS, camera->startCapture());
    {
        vovatest::LogCapture log;
        EXPECT_EQ(QOV_ERROR_WRONG_STATE, camera->deleteShots());
        EXPECT_TRUE(log.contains("Pipeline is started - cannot delete shots")) << log.text();
    }
    ASSERT_EQ(QOV_SUCCESS, camera->stopCapture());
    ASSERT_EQ(QOV_SUCCESS, camera->deleteShots());
    ASSERT_EQ(QOV_SUCCESS, camera->startCapture());
    vovatest::LogCapture log;
    EXPECT_NE(QOV_SUCCESS, camera->enqueueShot());
    EXPECT_TRUE(log.contains("Failed to add a frame to be captured")) << log.text();
}

TEST_F(PipelineUpdates, AFailedUpdateKeepsItsGroupsForTheNextOne)
{
    MC_PIPELINE *mc = pipeline->getMCPipeline();
    mc->sBLC.updateNeeded = QOV_TRUE;
    driver->planFault(CI_CONFIG_UPDATE, -EINVAL);
    {
        vovatest::LogCapture log;
        EXPECT_EQ(QOV_ERROR_FAILURE, pipeline->programPipeline(false));
        EXPECT_TRUE(log.contains("Failed to update the pipeline configuration for module")) << log.text();
    }
    EXPECT_EQ(CI_UPD_BLC, pipeline->getPendingUpdates() & CI_UPD_BLC);
    driver->clearRequests();
    ASSERT_EQ(QOV_SUCCESS, pipeline->programPipeline(false));  // nothing converted this time
    ASSERT_EQ(1u, sentMasks().size());
    EXPECT_EQ(CI_UPD_BLC, sentMasks()[0] & CI_UPD_BLC);
    EXPECT_EQ(0, pipeline->getPendingUpdates());
}

TEST_F(PipelineUpdates, StoppedOnlyRegistersWaitForTheCaptureToStop)
{
    ASSERT_EQ(QOV_SUCCESS, camera->startCapture());
    MC_PIPELINE *mc = pipeline->getMCPipeline();
    mc->sLSH.updateNeeded = QOV_TRUE;  // lens shading: group 0 and its matrix registers
    mc->sAWS.updateNeeded = QOV_TRUE;  // white-balance tiles: group 0 and their curve registers
    driver->clearRequests();
    ASSERT_EQ(QOV_SUCCESS, pipeline->programPipeline(false));
    ASSERT_EQ(1u, sentMasks().size());
    EXPECT_EQ(CI_UPD_GRP_0, sentMasks()[0] & (CI_UPD_GRP_0 | CI_UPD_LSH_REG | CI_UPD_AWS_REG));
    EXPECT_EQ(CI_UPD_LSH_REG | CI_UPD_AWS_REG, pipeline->getPendingUpdates());
    // still held while the capture runs
    ASSERT_EQ(QOV_SUCCESS, pipeline->programPipeline(false));
    EXPECT_EQ(0, sentMasks()[1] & (CI_UPD_LSH_REG | CI_UPD_AWS_REG));
    ASSERT_EQ(QOV_SUCCESS, camera->stopCapture());
    driver->clearRequests();
    ASSERT_EQ(QOV_SUCCESS, camera->setupModules());
    ASSERT_EQ(QOV_SUCCESS, camera->program());
    ASSERT_EQ(1u, sentMasks().size());
    EXPECT_EQ(CI_UPD_LSH_REG | CI_UPD_AWS_REG, sentMasks()[0] & (CI_UPD_LSH_REG | CI_UPD_AWS_REG));
    EXPECT_EQ(0, pipeline->getPendingUpdates());
}

// Only the modules not yet set up are set up: a change to a module that is
// set up waits for its update request.
TEST_F(PipelineUpdates, SetupPendingSkipsTheModulesAlreadySetUp)
{
    auto *blc = static_cast<ModuleBLC *>(pipeline->getModule(STP_BLC));
    MC_PIPELINE *mc = pipeline->getMCPipeline();
    ASSERT_TRUE(blc->isSetup());
    const QOV_UINT16 before = mc->ui16SystemBlackLevel;
    blc->ui32SystemBlack = before + 7u;
    ASSERT_EQ(QOV_SUCCESS, pipeline->setupPending());
    EXPECT_EQ(before, mc->ui16SystemBlackLevel);
    blc->clearFlags();
    ASSERT_EQ(QOV_SUCCESS, pipeline->setupPending());
    EXPECT_EQ(before + 7u, mc->ui16SystemBlackLevel);
    EXPECT_TRUE(blc->isSetup());
}

// A priority sets up the modules of that priority and of every higher one.
TEST_F(PipelineUpdates, SetupByPriorityIncludesTheGivenPriority)
{
    SetupModule *high = pipeline->getModule(STP_BLC), *normal = pipeline->getModule(STP_CCM),
                *low = pipeline->getModule(STP_TNM);
    high->setPriority(HIGH);
    low->setPriority(LOW);
    struct Case {
        modulePriority priority;
        bool high, normal, low;
    } const cases[] = {{HIGH, true, false, false}, {NORMAL, true, true, false}, {LOW, true, true, true}};
    for (const Case &c : cases) {
        for (SetupModule *m : {high, normal, low})
            m->clearFlags();
        ASSERT_EQ(QOV_SUCCESS, pipeline->setupByPriority(c.priority));
        EXPECT_EQ(c.high, high->isSetup()) << c.priority;
        EXPECT_EQ(c.normal, normal->isSetup()) << c.priority;
        EXPECT_EQ(c.low, low->isSetup()) << c.priority;
    }
}

TEST_F(PipelineUpdates, AFailedDriverQueryFailsTheOperation)
{
    ASSERT_EQ(QOV_SUCCESS, camera->startCapture());
    driver->planFault(CI_CAPTURE_ISSTARTED, -EINVAL);
    {
        vovatest::LogCapture log;
        EXPECT_EQ(QOV_ERROR_FAILURE, pipeline->programShot());
        EXPECT_TRUE(log.contains("Failed to ask the driver whether the capture runs (returned 11)")) << log.text();
    }
    EXPECT_EQ(0u, driver->requestCount(CI_CAPTURE_TRIGGER));
    ASSERT_EQ(QOV_SUCCESS, camera->stopCapture());

    driver->planFault(CI_CAPTURE_HASAVAILABLE, -EINVAL);
    vovatest::LogCapture log;
    EXPECT_EQ(QOV_ERROR_FAILURE, pipeline->addShots(1));
    EXPECT_TRUE(log.contains("Failed to ask the driver for available shots (returned 11)")) << log.text();
}

class MissingOutputModule : public vovatest::BoardTest {};

TEST_F(MissingOutputModule, OperationsThatNeedItSaySoAndGiveTheShotBack)
{
    placeChip();
    Camera camera(0, vovatest::kSensorId, vovatest::kSensorMode, SENSOR_FLIP_NONE);
    ASSERT_EQ(QOV_SUCCESS, CameraFactory::populateCameraFromHWVersion(camera, camera.getSensor()));
    ParameterList list;
    list.addParameter(Parameter("OUT_ENC", "NV21"), true);
    ASSERT_EQ(QOV_SUCCESS, camera.loadParameters(list));
    ASSERT_EQ(QOV_SUCCESS, camera.program());
    ASSERT_EQ(QOV_SUCCESS, camera.allocateBufferPool(2));
    ASSERT_EQ(QOV_SUCCESS, camera.startCapture());
    ASSERT_EQ(QOV_SUCCESS, camera.enqueueShot());
    Pipeline *pipeline = camera.getPipeline();
    pipeline->clearModules();
    Shot shot;
    QOV_RESULT verify, program, acquire, pool;
    vovatest::LogCapture log;
    verify = pipeline->verifyConfiguration();
    program = pipeline->programPipeline(false);
    acquire = pipeline->acquireShot(shot, true);
    pool = camera.allocateBufferPool(1);
    EXPECT_EQ(QOV_ERROR_NOT_INITIALISED, verify);
    EXPECT_EQ(QOV_ERROR_NOT_INITIALISED, program);
    EXPECT_EQ(QOV_ERROR_NOT_INITIALISED, acquire);
    EXPECT_EQ(QOV_ERROR_FAILURE, pool);
    EXPECT_EQ(nullptr, shot.pCIBuffer);
    EXPECT_TRUE(log.contains("Pipeline has no registered ModuleOUT!")) << log.text();
    EXPECT_TRUE(log.contains("Configuration not supported")) << log.text();
    EXPECT_TRUE(log.contains("global module not found")) << log.text();
    // the shot that could not be described went back to the driver
    auto view = driver->pipeline(driver->pipelineIds().at(0));
    ASSERT_TRUE(view);
    for (const simboard::IspShotView &s : view->shots)
        EXPECT_NE(simboard::IspShotState::Acquired, s.state);
    EXPECT_EQ(QOV_SUCCESS, camera.stopCapture());
}

TEST_F(PipelineUpdates, SizesLargerThanTheHardwareFieldsAreRefused)
{
    vovatest::LogCapture log;
    EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, camera->setDisplayDimensions(70000, 480));
    EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, camera->setEncoderDimensions(640, 65536));
    EXPECT_EQ(QOV_SUCCESS, camera->setEncoderDimensions(65535, 65535));
    EXPECT_TRUE(log.contains("Display size 70000x480 is larger than the hardware can describe (65535)")) << log.text();
    EXPECT_EQ(1280u, pipeline->getMaxDisplayWidth());
    EXPECT_EQ(65535u, pipeline->getMaxEncoderWidth());
}

}  // namespace
