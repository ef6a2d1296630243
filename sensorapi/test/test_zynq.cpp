// The ZYNQ external data generator against the simulated board: the board
// file of position 0, the simulated GPIO lines, the sensor PHY and the
// ISP's gasket. Every case ends with nothing left open.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ci/ci_api.h"
#include "ci/ci_gasket.h"
#include "sensor_test_support.h"
#include "sensorapi/sensorapi.h"
#include "simboard/board.h"
#include "simboard/gpio.h"
#include "simboard/isp_driver.h"
#include "simboard/isp_model.h"
#include "simboard/sensor_chip.h"
#include "simboard/sensor_models.h"
#include "simboard/sensor_phy.h"

namespace {

constexpr QOV_UINT16 kZynq = 20;  // "ZYNQ" in the sensor table
const char kZynqLog[] = "ZYNQ_SENSOR";  // its tag in the log
const std::string kChip = "gpiochip0";
constexpr unsigned kResetLine = 10;  // position 0 of the tests' board file
constexpr unsigned kPwdnLine = 11;

using sensortest::Log;
using sensortest::RecordingModel;
using simboard::GpioBank;
using simboard::GpioEvent;
using simboard::GpioOp;

class ZynqTest : public testing::Test {
protected:
    void SetUp() override
    {
        simboard::Board::instance().reset();
        driver = simboard::IspDriver::installed();
        ASSERT_TRUE(driver);
        useBoard(kPwdnLine, kResetLine);
    }

    void TearDown() override
    {
        if (handle) {
            EXPECT_EQ(Sensor_Destroy(handle), QOV_SUCCESS);
        }
        handle = nullptr;
        EXPECT_EQ(GpioBank::instance().openChips(), 0);
        EXPECT_EQ(driver->liveObjects().total(), 0u);
        EXPECT_EQ(simboard::Board::instance().openDescriptors(), 0u);
        simboard::Board::instance().reset();
        if (!root.empty())
            std::filesystem::remove_all(root);
    }

    // A board root whose position 0 has these power-down and reset lines
    // (on chips `pwdnChip` and `resetChip`).
    void useBoard(int pwdnLine, int resetLine, unsigned pwdnChip = 0, unsigned resetChip = 0)
    {
        if (!root.empty())
            std::filesystem::remove_all(root);
        std::string pattern = testing::TempDir() + "zynq_board_XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern;
        std::filesystem::create_directories(root + "/proc/device-tree");
        std::filesystem::create_directories(root + "/etc/vezara/boardcfg");
        std::ofstream(root + "/proc/device-tree/model") << "Test board";
        std::ofstream(root + "/etc/vezara/boardcfg/Test board.cfg")
            << "-Board_reset_need 1\n-Board_mux_need 0\n-Board_pwdn_value "
               "1\n-Board_max_sensors 1\n"
            << "-Board_clock_frequency 24.0\n-Sensor0_i2c 0\n"
            << "-Sensor0_gpiochip_reset " << resetChip << "\n-Sensor0_gpio_reset " << resetLine << "\n"
            << "-Sensor0_gpiochip_pwdn " << pwdnChip << "\n-Sensor0_gpio_pwdn " << pwdnLine << "\n";
        simboard::Board::instance().setRoot(root);
    }

    std::shared_ptr<simboard::SensorPhyDevice> phy() { return simboard::SensorBoard::instance().phy(0); }

    // The values driven on a line since the last clear, requests included.
    static std::vector<std::pair<GpioEvent::Kind, int>> lineEvents(unsigned line)
    {
        std::vector<std::pair<GpioEvent::Kind, int>> events;
        for (const GpioEvent &e : GpioBank::instance().eventsOf(kChip, line))
            events.emplace_back(e.kind, e.value);
        return events;
    }

    std::shared_ptr<simboard::IspDriver> driver;
    SENSOR_HANDLE handle = nullptr;
    std::string root;
};

TEST_F(ZynqTest, CreationOpensThePhyAndHoldsBothLinesLow)
{
    Log log(kZynqLog);
    ASSERT_EQ(Sensor_Initialise(kZynq, &handle), QOV_SUCCESS);
    ASSERT_NE(handle, nullptr);
    using K = GpioEvent::Kind;
    EXPECT_EQ(lineEvents(kPwdnLine), (std::vector<std::pair<K, int>>{{K::REQUEST, 0}, {K::SET, 0}}));
    EXPECT_EQ(lineEvents(kResetLine), (std::vector<std::pair<K, int>>{{K::REQUEST, 0}, {K::SET, 0}}));
    for (const GpioEvent &e : GpioBank::instance().events())
        EXPECT_EQ(e.consumer, e.kind == K::REQUEST ? "Sensor" : e.consumer);
    // power-down is taken before reset
    const auto &events = GpioBank::instance().events();
    ASSERT_GE(events.size(), 4u);
    EXPECT_EQ(events[0].line, kPwdnLine);
    EXPECT_EQ(events[2].line, kResetLine);
    EXPECT_TRUE(phy()->switches().empty());            // the PHY is opened, not switched
    EXPECT_EQ(driver->liveObjects().connections, 1u);  // the PHY's own connection
    EXPECT_TRUE(log.has("INFO", "ZYNQ_Create", "Gasket 0 init\n"));
    EXPECT_TRUE(log.has("INFO", "ZYNQ_Create", "PWDN GPIO controller gpiochip0 found!\n")) << log.text();
    EXPECT_TRUE(log.has("INFO", "ZYNQ_Create", "Get GPIO PWDN 11:\n"));
    EXPECT_TRUE(log.has("INFO", "ZYNQ_Create", "Get GPIO RESET 10:\n"));

    SENSOR_INFO info{};
    ASSERT_EQ(Sensor_GetInfo(handle, &info), QOV_SUCCESS);
    EXPECT_STREQ(info.pszSensorName, "ZYNQ");
    EXPECT_STREQ(info.pszSensorVersion, "not-verified");
    EXPECT_EQ(info.eBayerOriginal, MOSAIC_RGGB);
    EXPECT_EQ(info.eBayerEnabled, MOSAIC_RGGB);
    EXPECT_EQ(info.ui8Imager, 0);
    EXPECT_TRUE(info.bBackFacing);
    EXPECT_EQ(info.ui32WellDepth, 0u);
    EXPECT_EQ(info.sStatus.eState, SENSOR_STATE_IDLE);
    EXPECT_EQ(info.sStatus.ui16CurrentMode, 0);
    EXPECT_EQ(info.sMode.ui16Width, 64);
}

TEST_F(ZynqTest, TwoFixedModesAndNothingToAdjust)
{
    ASSERT_EQ(Sensor_Initialise(kZynq, &handle), QOV_SUCCESS);
    struct Expected {
        QOV_UINT16 width, height;
    } const modes[] = {{64, 64}, {640, 480}};
    for (QOV_UINT16 m = 0; m < 2; ++m) {
        SENSOR_MODE mode{};
        ASSERT_EQ(Sensor_GetMode(handle, m, &mode), QOV_SUCCESS);
        EXPECT_EQ(mode.ui8BitDepth, 8);
        EXPECT_EQ(mode.ui16Width, modes[m].width);
        EXPECT_EQ(mode.ui16Height, modes[m].height);
        EXPECT_EQ(mode.ui16HorizontalTotal, modes[m].width);
        EXPECT_EQ(mode.ui16VerticalTotal, modes[m].height);
        EXPECT_EQ(mode.flFrameRate, 30.0);
        EXPECT_EQ(mode.flPixelRate, 200.0);
        EXPECT_EQ(mode.ui32ExposureMin, 1u);
        EXPECT_EQ(mode.ui32ExposureMax, 1u);
        EXPECT_EQ(mode.ui8MipiLanes, 2);
        EXPECT_EQ(mode.ui8MipiHsFreqRange, 0x09);
        EXPECT_EQ(mode.ui8MipiOscFreq, 438);
        EXPECT_EQ(mode.ui8SupportFlipping, 0);
    }
    {
        Log log(kZynqLog);
        SENSOR_MODE mode{};
        EXPECT_EQ(Sensor_GetMode(handle, 2, &mode), QOV_ERROR_NOT_SUPPORTED);
        EXPECT_EQ(log.text(), "");  // silently
    }
    Log log(kZynqLog);
    EXPECT_EQ(Sensor_SetMode(handle, 2, SENSOR_FLIP_NONE), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(Sensor_SetMode(handle, 1, SENSOR_FLIP_HORIZONTAL), QOV_ERROR_NOT_SUPPORTED);
    ASSERT_EQ(Sensor_SetMode(handle, 1, SENSOR_FLIP_NONE), QOV_SUCCESS);
    SENSOR_STATUS status{};
    ASSERT_EQ(Sensor_GetState(handle, &status), QOV_SUCCESS);
    EXPECT_EQ(status.ui16CurrentMode, 1);
    EXPECT_EQ(status.ui8Flipping, SENSOR_FLIP_NONE);

    QOV_UINT32 lo = 0, hi = 0, exposure = 0;
    QOV_UINT8 contexts = 0;
    ASSERT_EQ(Sensor_GetExposureRange(handle, &lo, &hi, &contexts), QOV_SUCCESS);
    EXPECT_EQ(lo, 1u);
    EXPECT_EQ(hi, 1u);
    EXPECT_EQ(contexts, 1);
    EXPECT_EQ(Sensor_SetExposure(handle, 5000, 0), QOV_SUCCESS);
    ASSERT_EQ(Sensor_GetExposure(handle, &exposure, 0), QOV_SUCCESS);
    EXPECT_EQ(exposure, 1u);
    double gmin = 0, gmax = 0, gain = 0;
    ASSERT_EQ(Sensor_GetGainRange(handle, &gmin, &gmax, &contexts), QOV_SUCCESS);
    EXPECT_EQ(gmin, 1.0);
    EXPECT_EQ(gmax, 1.0);
    EXPECT_EQ(contexts, 1);
    EXPECT_EQ(Sensor_SetGain(handle, 4.0, 0), QOV_SUCCESS);
    ASSERT_EQ(Sensor_GetCurrentGain(handle, &gain, 0), QOV_SUCCESS);
    EXPECT_EQ(gain, 1.0);

    QOV_UINT16 f1 = 0, f2 = 0;
    EXPECT_EQ(Sensor_GetFocusRange(handle, &f1, &f2), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(Sensor_Insert(handle), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(Sensor_WaitProcessed(handle), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(Sensor_ConfigureFlash(handle, QOV_FALSE, 0, 0, 0), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_TRUE(log.has("ERROR", "ZYNQ_SetMode", "invalid mode 2\n"));
    EXPECT_TRUE(log.has("ERROR", "ZYNQ_SetMode", "sensor does not support flipping\n"));
}

TEST_F(ZynqTest, EnableStreamsThroughPhyAndGasketAndDisableStops)
{
    ASSERT_EQ(Sensor_Initialise(kZynq, &handle), QOV_SUCCESS);
    ASSERT_EQ(Sensor_SetMode(handle, 1, SENSOR_FLIP_NONE), QOV_SUCCESS);
    GpioBank::instance().clearEvents();
    {
        Log log(kZynqLog);
        ASSERT_EQ(Sensor_Enable(handle), QOV_SUCCESS);
        EXPECT_TRUE(log.has("INFO", "ZYNQ_Enable", "Enabling zynq data generator!\n"));
        EXPECT_TRUE(log.has("INFO", "ZYNQ_Enable", "MipiOscFreq = 438\n"));
    }
    ASSERT_EQ(phy()->switches().size(), 1u);
    const simboard::PhyRecord &on = phy()->switches()[0].record;
    EXPECT_EQ(phy()->switches()[0].request, simboard::SensorPhyDevice::kCtrl);
    EXPECT_EQ(on.type, 8u);  // MIPI
    EXPECT_EQ(on.enable, 1);
    EXPECT_EQ(on.mipiLanes, 2);
    EXPECT_EQ(on.mipiHsFreqRange, 0x09);
    EXPECT_EQ(on.mipiOscFreq, 438);
    const simboard::IspGasketView gasket = driver->gasket(0);
    EXPECT_TRUE(gasket.reserved);
    EXPECT_EQ(gasket.request.bParallel, QOV_FALSE);
    EXPECT_EQ(GpioBank::instance().level(kChip, kPwdnLine), 1);
    EXPECT_EQ(GpioBank::instance().level(kChip, kResetLine), 1);
    // power-down is raised before reset
    const auto &raised = GpioBank::instance().events();
    ASSERT_EQ(raised.size(), 2u);
    EXPECT_EQ(raised[0].line, kPwdnLine);
    EXPECT_EQ(raised[1].line, kResetLine);
    SENSOR_STATUS status{};
    ASSERT_EQ(Sensor_GetState(handle, &status), QOV_SUCCESS);
    EXPECT_EQ(status.eState, SENSOR_STATE_RUNNING);
    EXPECT_EQ(status.ui16CurrentMode, 1);

    ASSERT_EQ(Sensor_Disable(handle), QOV_SUCCESS);
    ASSERT_EQ(phy()->switches().size(), 2u);
    const simboard::PhyRecord &off = phy()->switches()[1].record;
    EXPECT_EQ(off.enable, 0);
    EXPECT_EQ(off.mipiLanes, 0);
    EXPECT_EQ(off.mipiHsFreqRange, 0);
    EXPECT_FALSE(driver->gasket(0).reserved);
    EXPECT_EQ(GpioBank::instance().level(kChip, kPwdnLine), 0);
    EXPECT_EQ(GpioBank::instance().level(kChip, kResetLine), 0);
    ASSERT_EQ(Sensor_GetState(handle, &status), QOV_SUCCESS);
    EXPECT_EQ(status.eState, SENSOR_STATE_IDLE);
}

TEST_F(ZynqTest, SecondEnableKeepsTheSourceStreaming)
{
    ASSERT_EQ(Sensor_Initialise(kZynq, &handle), QOV_SUCCESS);
    ASSERT_EQ(Sensor_Enable(handle), QOV_SUCCESS);
    {
        Log log(kZynqLog);
        EXPECT_EQ(Sensor_Enable(handle), QOV_ERROR_WRONG_STATE);
        EXPECT_TRUE(log.has("ERROR", "ZYNQ_Enable", "ZYNQ is already enabled\n"));
    }
    EXPECT_EQ(phy()->switches().size(), 1u);
    EXPECT_TRUE(driver->gasket(0).reserved);
    SENSOR_STATUS status{};
    ASSERT_EQ(Sensor_GetState(handle, &status), QOV_SUCCESS);
    EXPECT_EQ(status.eState, SENSOR_STATE_RUNNING);
    ASSERT_EQ(Sensor_Destroy(handle), QOV_SUCCESS);
    handle = nullptr;
    EXPECT_FALSE(phy()->enabled());
    EXPECT_FALSE(driver->gasket(0).reserved);
}

TEST_F(ZynqTest, DestroyingAStreamingSourceSwitchesThePhyOff)
{
    ASSERT_EQ(Sensor_Initialise(kZynq, &handle), QOV_SUCCESS);
    ASSERT_EQ(Sensor_Enable(handle), QOV_SUCCESS);
    Log log(kZynqLog);
    ASSERT_EQ(Sensor_Destroy(handle), QOV_SUCCESS);
    handle = nullptr;
    EXPECT_FALSE(phy()->enabled());
    EXPECT_FALSE(driver->gasket(0).reserved);
    EXPECT_EQ(GpioBank::instance().level(kChip, kPwdnLine), 0);
    EXPECT_EQ(GpioBank::instance().level(kChip, kResetLine), 0);
    EXPECT_FALSE(GpioBank::instance().requested(kChip, kPwdnLine));
    EXPECT_FALSE(GpioBank::instance().requested(kChip, kResetLine));
    EXPECT_TRUE(log.has("INFO", "ZYNQ_Destroy", "Destroying zynq data generator\n"));
}

TEST_F(ZynqTest, EnableWithoutGasketOrPhyFailsAndLeavesTheSourceOff)
{
    ASSERT_EQ(Sensor_Initialise(kZynq, &handle), QOV_SUCCESS);
    GpioBank::instance().clearEvents();
    // Another connection holds gasket 0: nothing is switched, the lines stay low.
    CI_CONNECTION *other = nullptr;
    ASSERT_EQ(CI_DriverInit(&other), QOV_SUCCESS);
    CI_GASKET gasket;
    CI_GasketInit(&gasket);
    ASSERT_EQ(CI_GasketAcquire(&gasket, other), QOV_SUCCESS);
    {
        Log log(kZynqLog);
        EXPECT_EQ(Sensor_Enable(handle), QOV_ERROR_IN_USE);
        EXPECT_TRUE(log.has("ERROR", "ZYNQ_Enable", "failed to switch on the sensor phy\n")) << log.text();
    }
    EXPECT_TRUE(phy()->switches().empty());
    EXPECT_TRUE(GpioBank::instance().events().empty());
    SENSOR_STATUS status{};
    ASSERT_EQ(Sensor_GetState(handle, &status), QOV_SUCCESS);
    EXPECT_EQ(status.eState, SENSOR_STATE_IDLE);
    CI_GasketRelease(&gasket, other);
    CI_DriverFinalise(other);

    // The PHY refuses its request: the gasket is given back.
    simboard::Board::instance().injectFault("/dev/sensor_phy0", simboard::SensorPhyDevice::kCtrl, -EIO);
    {
        Log log(kZynqLog);
        EXPECT_EQ(Sensor_Enable(handle), QOV_ERROR_DEVICE_FAILED);
    }
    EXPECT_FALSE(driver->gasket(0).reserved);
    EXPECT_TRUE(GpioBank::instance().events().empty());
    ASSERT_EQ(Sensor_GetState(handle, &status), QOV_SUCCESS);
    EXPECT_EQ(status.eState, SENSOR_STATE_IDLE);

    // Once the gasket is free the source starts.
    ASSERT_EQ(Sensor_Enable(handle), QOV_SUCCESS);
    EXPECT_TRUE(driver->gasket(0).reserved);
    EXPECT_EQ(GpioBank::instance().level(kChip, kPwdnLine), 1);
}

TEST_F(ZynqTest, TheGeneratorStreamsIntoTheIspWhileEnabled)
{
    simboard::ChipModel model = simboard::modelZYNQ();
    model.format = simboard::ChipFrameFormat{32, 16, 8, MOSAIC_RGGB, 30.0};
    auto generator = simboard::SensorBoard::instance().place(0, model);
    auto images = std::make_shared<std::vector<simboard::BayerFrame>>();
    driver->setImageModel(std::make_unique<RecordingModel>(images));
    CI_CONNECTION *connection = nullptr;
    ASSERT_EQ(CI_DriverInit(&connection), QOV_SUCCESS);
    CI_PIPELINE *pipeline = nullptr;
    ASSERT_EQ(CI_PipelineCreate(&pipeline, connection), QOV_SUCCESS);
    pipeline->config.ui8Context = 0;
    pipeline->sImagerInterface.ui8Imager = 0;
    pipeline->sImagerInterface.eBayerFormat = MOSAIC_RGGB;
    pipeline->sImagerInterface.ui16ImagerSize[0] = 32 / 2 - 1;
    pipeline->sImagerInterface.ui16ImagerSize[1] = 16 / 2 - 1;
    pipeline->sToneMapping.bBypassTNM = 1;
    ASSERT_EQ(CI_PipelineRegister(pipeline), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineAddPool(pipeline, 2), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineComputeLinestore(pipeline), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineStartCapture(pipeline), QOV_SUCCESS);

    // Created: both lines low, the generator is held and sends nothing.
    ASSERT_EQ(Sensor_Initialise(kZynq, &handle), QOV_SUCCESS);
    ASSERT_EQ(Sensor_SetMode(handle, 1, SENSOR_FLIP_NONE), QOV_SUCCESS);
    EXPECT_FALSE(generator->running());
    ASSERT_EQ(CI_PipelineTriggerShoot(pipeline), QOV_SUCCESS);
    CI_SHOT *shot = nullptr;
    EXPECT_NE(CI_PipelineAcquireShotNB(pipeline, &shot), QOV_SUCCESS);

    // Enabled: the generator's frames reach the ISP through PHY and gasket 0.
    ASSERT_EQ(Sensor_Enable(handle), QOV_SUCCESS);
    EXPECT_TRUE(generator->running());
    EXPECT_EQ(simboard::SensorBoard::instance().sourceOf(0), generator);
    ASSERT_EQ(CI_PipelineAcquireShot(pipeline, &shot), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineReleaseShot(pipeline, shot), QOV_SUCCESS);
    ASSERT_EQ(images->size(), 1u);
    simboard::BayerFrame expected;
    simboard::SensorBoard::instance().scene().render(model.format, 10000, 1.0, std::nullopt, expected);
    EXPECT_EQ((*images)[0].width, 32u);
    EXPECT_EQ((*images)[0].height, 16u);
    EXPECT_EQ((*images)[0].bitDepth, 8);
    EXPECT_EQ((*images)[0].samples, expected.samples);

    // Either line low holds the generator, PHY on or not.
    for (unsigned line : {kPwdnLine, kResetLine}) {
        ASSERT_TRUE(GpioBank::instance().set(kChip, line, 0));
        EXPECT_TRUE(phy()->enabled());
        EXPECT_EQ(simboard::SensorBoard::instance().sourceOf(0), nullptr) << line;
        ASSERT_TRUE(GpioBank::instance().set(kChip, line, 1));
        EXPECT_EQ(simboard::SensorBoard::instance().sourceOf(0), generator) << line;
    }

    // Disabled: the generator stops.
    ASSERT_EQ(Sensor_Disable(handle), QOV_SUCCESS);
    EXPECT_FALSE(generator->running());
    ASSERT_EQ(CI_PipelineTriggerShoot(pipeline), QOV_SUCCESS);
    EXPECT_NE(CI_PipelineAcquireShotNB(pipeline, &shot), QOV_SUCCESS);
    EXPECT_EQ(images->size(), 1u);

    ASSERT_EQ(CI_PipelineStopCapture(pipeline), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineDestroy(pipeline), QOV_SUCCESS);
    ASSERT_EQ(CI_DriverFinalise(connection), QOV_SUCCESS);
}

TEST_F(ZynqTest, LineFailuresWhileSwitchingAreReported)
{
    ASSERT_EQ(Sensor_Initialise(kZynq, &handle), QOV_SUCCESS);
    struct Case {
        unsigned line;
        bool enable;
        const char *function;
        const char *message;
    } const cases[] = {
        {kPwdnLine, true, "ZYNQ_Enable", "Failed to set PWDN GPIO to HIGH\n"},
        {kResetLine, true, "ZYNQ_Enable", "Failed to set RESET GPIO to HIGH\n"},
        {kPwdnLine, false, "ZYNQ_Disable", "Failed to set PWDN GPIO to LOW\n"},
        {kResetLine, false, "ZYNQ_Disable", "Failed to set RESET GPIO to LOW\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        if (!c.enable) {
            ASSERT_EQ(Sensor_Enable(handle), QOV_SUCCESS);
        }
        GpioBank::instance().injectFault(GpioOp::Set, kChip, c.line);
        Log log(kZynqLog);
        EXPECT_EQ(c.enable ? Sensor_Enable(handle) : Sensor_Disable(handle), QOV_ERROR_DEVICE_FAILED);
        EXPECT_TRUE(log.has("ERROR", c.function, c.message)) << log.text();
        ASSERT_EQ(Sensor_Disable(handle), QOV_SUCCESS);
    }
}

struct CreateFailure {
    const char *name;
    std::function<void(class ZynqCreateTest &)> arrange;
    const char *message;  // the driver's own message, or empty
};

class ZynqCreateTest : public ZynqTest, public testing::WithParamInterface<CreateFailure> {
public:
    using ZynqTest::useBoard;
};

TEST_P(ZynqCreateTest, FailedBringUpClosesEverything)
{
    const CreateFailure &c = GetParam();
    c.arrange(*this);
    if (HasFatalFailure())
        return;
    SENSOR_FUNCS sentinel{};
    SENSOR_HANDLE created = &sentinel;  // a failed creation stores a null handle
    Log log(kZynqLog);
    EXPECT_EQ(Sensor_Initialise(kZynq, &created), QOV_ERROR_DEVICE_FAILED);
    EXPECT_EQ(created, nullptr);
    if (*c.message) {
        EXPECT_TRUE(log.has("ERROR", "ZYNQ_Create", c.message)) << log.text();
    }
    // lines taken before the failure are released with their chips
    EXPECT_FALSE(GpioBank::instance().requested(kChip, kPwdnLine));
    EXPECT_FALSE(GpioBank::instance().requested(kChip, kResetLine));
}

void fault(GpioOp op, unsigned line)
{
    GpioBank::instance().injectFault(op, kChip, line);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ZynqCreateTest,
    testing::Values(
        CreateFailure{"PhyMissing",
                      [](ZynqCreateTest &) {
                          simboard::Board::instance().injectFault("/dev/sensor_phy0", simboard::Board::OPEN_REQUEST,
                                                                  -ENOENT);
                      },
                      "Failed to create sensor phy!\n"},
        CreateFailure{"NoBoardFile",
                      [](ZynqCreateTest &) {
                          std::filesystem::remove(simboard::Board::instance().root() +
                                                  "/etc/vezara/boardcfg/Test board.cfg");
                      },
                      ""},
        CreateFailure{"PwdnControllerMissing", [](ZynqCreateTest &) { fault(GpioOp::Open, 0); },
                      "PWDN GPIO controller not found!\n"},
        CreateFailure{"ResetControllerMissing", [](ZynqCreateTest &t) { t.useBoard(11, 10, 0, 99); },
                      "Reset GPIO controller not found!\n"},
        // unlike the chip sensors, both lines are required
        CreateFailure{"NoPwdnLine", [](ZynqCreateTest &t) { t.useBoard(-1, 10); }, "PWDN GPIO is not defined\n"},
        CreateFailure{"NoResetLine", [](ZynqCreateTest &t) { t.useBoard(11, -1); }, "RESET GPIO is not defined\n"},
        CreateFailure{"PwdnLineMissing", [](ZynqCreateTest &) { fault(GpioOp::GetLine, kPwdnLine); },
                      "Failed to get PWDN GPIO\n"},
        CreateFailure{"PwdnRequestRefused", [](ZynqCreateTest &) { fault(GpioOp::Request, kPwdnLine); },
                      "Failed to request PWDN GPIO\n"},
        CreateFailure{"PwdnSetFails", [](ZynqCreateTest &) { fault(GpioOp::Set, kPwdnLine); },
                      "Failed to set PWDN GPIO to LOW\n"},
        CreateFailure{"ResetLineMissing", [](ZynqCreateTest &) { fault(GpioOp::GetLine, kResetLine); },
                      "Failed to get RESET GPIO\n"},
        CreateFailure{"ResetRequestRefused", [](ZynqCreateTest &) { fault(GpioOp::Request, kResetLine); },
                      "Failed to request RESET GPIO\n"},
        CreateFailure{"ResetSetFails", [](ZynqCreateTest &) { fault(GpioOp::Set, kResetLine); },
                      "Failed to set RESET GPIO to LOW\n"}),
    [](const testing::TestParamInfo<CreateFailure> &info) { return info.param.name; });

}  // namespace
