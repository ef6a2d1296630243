// The shared sensor driver base, driven through a small chip driver of the
// test's own against its simulated chip, through the real seams.
#include <fcntl.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "ci/ci_api.h"
#include "ci/ci_gasket.h"
#include "ci_kernel/ci_ioctrl.h"
#include "platform/device_io.h"
#include "sensor_test_support.h"
#include "sensors/sensor_common.h"
#include "simboard/i2c_bus.h"
#include "simboard/isp_driver.h"
#include "simboard/sensor_chip.h"
#include "simboard/sensor_phy.h"

using sensortest::boardFile;
using sensortest::BoardRoot;
using sensortest::captureOutput;
using sensortest::Output;
using simboard::GpioBank;
using simboard::GpioEvent;
using simboard::SensorBoard;
using simboard::SimChip;
using simboard::Sleeps;
using testing::ElementsAre;
using testing::HasSubstr;

namespace {

/*-------------------------------------------------------------------------
 * The test chip and its driver on the base
 *-------------------------------------------------------------------------*/

constexpr QOV_UINT8 kAddress = 0x10;
constexpr QOV_UINT16 kChipIdRegister = 0x300A;
constexpr QOV_UINT16 kChipId = 0x5A81;
constexpr QOV_UINT32 kLineTime = 21;  // microseconds

// Configurations: bit depth (0x3031), then a 5 ms pause.
const QOV_UINT8 config0[] = {0x01, 0x00, 0x00, 0x30, 0x31, 10, 0xFE, 0x05, 0x00, 0xFF, 0xFF, 0xFF};
const QOV_UINT8 config1[] = {0x01, 0x00, 0x00, 0x30, 0x31, 12, 0xFF, 0xFF, 0xFF};
// Modes: size (0x3808-0x380B), then streaming on.
#define MODE_LIST(w, h) \
    {0x38, 0x08, (w) >> 8, 0x38, 0x09, (w) & 0xFF, 0x38, 0x0A, (h) >> 8, 0x38, 0x0B, (h) & 0xFF, 0x01, 0x00, 0x01, 0xFF, 0xFF, 0xFF}
const QOV_UINT8 mode00[] = MODE_LIST(640, 480);
const QOV_UINT8 mode01[] = MODE_LIST(320, 240);
const QOV_UINT8 mode02[] = MODE_LIST(160, 120);
const QOV_UINT8 mode03[] = MODE_LIST(80, 60);
const QOV_UINT8 mode10[] = MODE_LIST(1280, 720);
const QOV_UINT8 mode11[] = MODE_LIST(64, 32);
const QOV_UINT8 emptyList[] = {0xFF, 0x00, 0x00};
const QOV_UINT8 numModes[] = {4, 2};
const QOV_UINT8 stopList[] = {0x01, 0x00, 0x00, 0xFE, 0x0A, 0x00, 0x30, 0x1A, 0xF9};

// Copies of the tables per test: the base caches record counts in them.
struct Tables {
    sensor_mode configs[2] = {{3, config0, 0, 3}, {3, config1, 0, 3}};
    sensor_mode modes[8] = {{3, mode00, 0, 3}, {1, mode01, 0, 3}, {3, mode02, 0, 3}, {0, mode03, 0, 3},
                            {3, mode10, 0, 3}, {3, mode11, 0, 3}, {0, nullptr, 0, 3}, {0, nullptr, 0, 3}};
};
Tables g_tables;

// Value of register `address` in a list (last occurrence), or -1.
int listValue(const QOV_UINT8 *list, QOV_UINT32 n, QOV_UINT16 address)
{
    int value = -1;
    for (QOV_UINT32 i = 0; i < n; ++i)
        if (list[3 * i] == (address >> 8) && list[3 * i + 1] == (address & 0xFF))
            value = list[3 * i + 2];
    return value;
}

QOV_RESULT testGetConfInfo(CAM_STRUCT *cam, QOV_UINT16 mode, SENSOR_MODE *info)
{
    unsigned n = 0;
    const QOV_UINT8 *list = SensorModeGetRegisters(cam->pConfigs, cam->uiConfigsSize, mode >> 4, &n);
    if (!list)
        return QOV_ERROR_NOT_SUPPORTED;
    info->ui8BitDepth = static_cast<QOV_UINT8>(listValue(list, n, 0x3031));
    info->ui8MipiLanes = (mode >> 4) ? 4 : 2;
    info->ui8MipiHsFreqRange = 0x1A;
    info->ui8MipiOscFreq = 438;
    info->flPixelRate = 48.0;
    cam->sclk = 48e6;
    return QOV_SUCCESS;
}

QOV_RESULT testGetModeInfo(CAM_STRUCT *cam, QOV_UINT16 mode, SENSOR_MODE *info)
{
    unsigned n = 0;
    const QOV_UINT8 *list =
        SensorModeGetRegisters(cam->pModes, cam->uiModesSize, (mode >> 4) * 4 + (mode & 0xF), &n);
    if (!list)
        return QOV_ERROR_NOT_SUPPORTED;
    info->ui16Width = static_cast<QOV_UINT16>(listValue(list, n, 0x3808) << 8 | listValue(list, n, 0x3809));
    info->ui16Height = static_cast<QOV_UINT16>(listValue(list, n, 0x380A) << 8 | listValue(list, n, 0x380B));
    info->ui16HorizontalTotal = 1000;
    info->ui16VerticalTotal = 1600;
    info->flFrameRate = 30.0;
    info->ui8SupportFlipping = 3;
    info->ui32ExposureMin = kLineTime;
    info->ui32ExposureMax = kLineTime * 0xFFFF;
    return QOV_SUCCESS;
}

QOV_RESULT testApplyConfig(CAM_STRUCT *cam)
{
    return sensor_i2c_write8(cam->i2c_dev, cam->currConfReg, cam->nConfRegisters * 3);
}

QOV_RESULT testApplyMode(CAM_STRUCT *cam)
{
    return sensor_i2c_write8(cam->i2c_dev, cam->currModeReg, cam->nModeRegisters * 3);
}

// Lines in three registers, high to low, one record apart.
QOV_RESULT testComputeExposure(CAM_STRUCT *cam, QOV_UINT8 context, QOV_UINT8 *values)
{
    const QOV_UINT32 lines = cam->ui32Exposure[context] / cam->currMode.ui32ExposureMin;
    values[0] = static_cast<QOV_UINT8>(lines >> 16);
    values[3] = static_cast<QOV_UINT8>(lines >> 8);
    values[6] = static_cast<QOV_UINT8>(lines);
    return QOV_SUCCESS;
}

// Gain in 1/16 steps, in two registers.
QOV_RESULT testComputeGains(double gain, QOV_UINT8 *values)
{
    const QOV_UINT32 code = static_cast<QOV_UINT32>(gain * 16);
    values[0] = static_cast<QOV_UINT8>(code >> 8);
    values[3] = static_cast<QOV_UINT8>(code);
    return QOV_SUCCESS;
}

QOV_RESULT testDisable(SENSOR_HANDLE h) { return SensorFuncDisable(h, stopList, sizeof(stopList)); }

QOV_RESULT testSetExposure(SENSOR_HANDLE h, QOV_UINT32 exposure, QOV_UINT8 context)
{
    QOV_UINT8 regs[] = {0x35, 0x00, 0x00, 0x35, 0x01, 0x00, 0x35, 0x02, 0x00};
    return SensorFuncSetExposure(h, exposure, context, regs, sizeof(regs), 2);
}

QOV_RESULT testSetGain(SENSOR_HANDLE h, double gain, QOV_UINT8 context)
{
    QOV_UINT8 regs[] = {0x35, 0x08, 0x00, 0x35, 0x09, 0x00};
    return SensorFuncSetGain(h, gain, context, regs, sizeof(regs), 2);
}

QOV_RESULT testGetInfo(SENSOR_HANDLE, SENSOR_INFO *info)
{
    strcpy(info->pszSensorName, "TESTCHIP");
    return QOV_SUCCESS;
}

// Fills a state as a chip driver's create function does.
void fillState(CAM_STRUCT *cam, sensor_num sensor, QOV_UINT8 position)
{
    cam->sFuncs.GetMode = SensorFuncGetMode;
    cam->sFuncs.GetState = SensorFuncGetState;
    cam->sFuncs.SetMode = SensorFuncSetMode;
    cam->sFuncs.Enable = SensorFuncEnable;
    cam->sFuncs.Disable = testDisable;
    cam->sFuncs.Destroy = SensorFuncDestroy;
    cam->sFuncs.GetInfo = testGetInfo;
    cam->sFuncs.GetGainRange = SensorFuncGetGainRange;
    cam->sFuncs.GetCurrentGain = SensorFuncGetGain;
    cam->sFuncs.SetGain = testSetGain;
    cam->sFuncs.GetExposureRange = SensorFuncGetExposureRange;
    cam->sFuncs.GetExposure = SensorFuncGetExposure;
    cam->sFuncs.SetExposure = testSetExposure;
    g_tables = Tables{};
    cam->pConfigs = g_tables.configs;
    cam->uiConfigsSize = sizeof(g_tables.configs);
    cam->pModes = g_tables.modes;
    cam->uiModesSize = sizeof(g_tables.modes);
    cam->pNumModes = numModes;
    cam->uiNumModesSize = sizeof(numModes);
    cam->ApplyConfig = testApplyConfig;
    cam->ApplyMode = testApplyMode;
    cam->GetConfInfo = testGetConfInfo;
    cam->GetModeInfo = testGetModeInfo;
    cam->ComputeExposure = testComputeExposure;
    cam->ComputeGains = testComputeGains;
    cam->aec_min_gain = 1.0;
    cam->aec_max_gain = 8.0;
    for (int c = 0; c < SENSOR_MAX_CONTEXTS; ++c) {
        cam->flGain[c] = 1.0;
        cam->ui32Exposure[c] = 10000;
    }
    cam->focus_dac_min = 50;
    cam->nSensor = sensor;
    strcpy(cam->sensorName, "TESTCHIP");
    cam->imager = static_cast<QOV_UINT8>(GetImagerNum(sensor));
    cam->sensorNumOnBoard = position;
    cam->sensorChipIdOffset = kChipIdRegister;
    cam->sensorChipId = kChipId;
    cam->i2c_dev = sensor_i2c_dev{-1, kAddress, kAddress, 2};
}

QOV_RESULT testCreate(SENSOR_HANDLE *handle, sensor_num sensor, QOV_UINT8 position)
{
    CAM_STRUCT *cam = static_cast<CAM_STRUCT *>(calloc(1, sizeof(CAM_STRUCT)));
    if (!cam)
        return QOV_ERROR_NO_MEMORY;
    fillState(cam, sensor, position);
    if (CamInitialize(cam) != QOV_SUCCESS) {
        free(cam);
        *handle = nullptr;
        return QOV_ERROR_DEVICE_FAILED;
    }
    *handle = &cam->sFuncs;
    return QOV_SUCCESS;
}

// The simulated test chip: streaming in 0x0100, exposure lines in
// 0x3500-0x3502, gain in 1/16 in 0x3508-0x3509, size in 0x3808-0x380B.
simboard::ChipModel testChipModel(QOV_UINT16 chipId = kChipId, uint8_t addressBytes = 2)
{
    simboard::ChipModel model;
    model.name = "TESTCHIP";
    model.targets.push_back({kAddress, addressBytes,
                             {{kChipIdRegister, static_cast<uint8_t>(chipId >> 8)},
                              {kChipIdRegister + 1, static_cast<uint8_t>(chipId & 0xFF)}}});
    model.streaming = [](const SimChip &c) { return (c.reg(0x0100) & 1) != 0; };
    model.exposureUs = [](const SimChip &c) { return double(c.regBE(0x3500, 3)) * kLineTime; };
    model.gain = [](const SimChip &c) { return c.reg16(0x3508) / 16.0; };
    model.frameFormat = [](const SimChip &c) {
        simboard::ChipFrameFormat f;
        f.width = c.reg16(0x3808);
        f.height = c.reg16(0x380A);
        f.bitDepth = c.reg(0x3031);
        f.mosaic = MOSAIC_BGGR;
        return f;
    };
    return model;
}

CAM_STRUCT *camOf(SENSOR_HANDLE h) { return reinterpret_cast<CAM_STRUCT *>(h); }

/*-------------------------------------------------------------------------
 * Fixture
 *-------------------------------------------------------------------------*/

class SensorBase : public sensortest::SimBoardTest {
protected:
    void SetUp() override
    {
        SimBoardTest::SetUp();
        root.apply();
        root.setModel("Test");
        root.setBoardFile("Test", boardFile());
    }

    void TearDown() override
    {
        if (handle)
            captureOutput([&] { EXPECT_EQ(Sensor_Destroy(handle), QOV_SUCCESS); });
        SimBoardTest::TearDown();
    }

    // Creates the test sensor for `sensor` at `position`, with its log.
    QOV_RESULT create(sensor_num sensor = SENSOR_DURIDU_OV4689_0, QOV_UINT8 position = 0)
    {
        QOV_RESULT ret = QOV_SUCCESS;
        log = captureOutput([&] { ret = testCreate(&handle, sensor, position); });
        return ret;
    }

    // Runs `f`, keeping its log.
    template <typename F>
    QOV_RESULT logged(F &&f)
    {
        QOV_RESULT ret = QOV_SUCCESS;
        log = captureOutput([&] { ret = f(); });
        return ret;
    }

    std::vector<GpioEvent> events() const { return GpioBank::instance().events(); }
    simboard::PhySwitch lastSwitch(unsigned phy) const
    {
        const auto &switches = SensorBoard::instance().phy(phy)->switches();
        EXPECT_FALSE(switches.empty());
        return switches.empty() ? simboard::PhySwitch{} : switches.back();
    }

    BoardRoot root;
    SENSOR_HANDLE handle = nullptr;
    Output log;
};

GpioEvent request(const char *chip, unsigned line, int value)
{
    return GpioEvent{GpioEvent::REQUEST, chip, line, value, "Sensor"};
}
GpioEvent set(const char *chip, unsigned line, int value) { return GpioEvent{GpioEvent::SET, chip, line, value, ""}; }

/*-------------------------------------------------------------------------
 * Bring-up
 *-------------------------------------------------------------------------*/

TEST_F(SensorBase, CreateBringsTheHardwareUp)
{
    SensorBoard::instance().place(0, testChipModel());
    ASSERT_EQ(create(), QOV_SUCCESS) << log.err;
    CAM_STRUCT *cam = camOf(handle);
    EXPECT_EQ(cam->refClock, 24e6);
    ASSERT_NE(cam->psSensorPhy, nullptr);
    EXPECT_EQ(cam->psSensorPhy->psConfig, SensorPhyConfigPtr(SENSOR_DURIDU_OV4689_0));
    // Power-down line at the board's value, then the reset pulse.
    EXPECT_THAT(events(), ElementsAre(request("gpiochip0", 11, 1), request("gpiochip0", 10, 1),
                                      set("gpiochip0", 10, 0), set("gpiochip0", 10, 1)));
    EXPECT_THAT(Sleeps::log(), ElementsAre(1000u, 100000u));
    EXPECT_TRUE(GpioBank::instance().requested("gpiochip0", 11));
    EXPECT_EQ(GpioBank::instance().openChips(), 2);
    for (const char *line :
         {"[SENSOR_I2C]: CamInitialize() PWDN GPIO controller gpiochip0 found!\n", "Reset GPIO controller gpiochip0 found!\n",
          "Get GPIO PWDN 11:\n", "Get GPIO RST 10:\n", "Set reset GPIO to LOW\n", "Set reset GPIO to HIGH\n"})
        EXPECT_THAT(log.out, HasSubstr(line));

    SENSOR_STATUS status;
    ASSERT_EQ(Sensor_GetState(handle, &status), QOV_SUCCESS);
    EXPECT_EQ(status.eState, SENSOR_STATE_IDLE);
    EXPECT_EQ(status.ui16CurrentMode, 0);

    // The chip identity was read through the bus: select, address, 2 bytes.
    std::vector<simboard::TraceEntry> i2c;
    for (const auto &e : simboard::Board::instance().trace())
        if (e.path == "/dev/i2c-0" && e.kind != simboard::TraceEntry::OPEN)
            i2c.push_back(e);
    ASSERT_EQ(i2c.size(), 3u);
    EXPECT_EQ(i2c[0].kind, simboard::TraceEntry::IOCTL);
    EXPECT_EQ(i2c[0].request, 0x0703ul);
    EXPECT_EQ(i2c[1].kind, simboard::TraceEntry::WRITE);
    EXPECT_EQ(i2c[1].length, 2u);
    EXPECT_EQ(i2c[2].kind, simboard::TraceEntry::READ);
    EXPECT_EQ(i2c[2].length, 2u);

    captureOutput([&] { EXPECT_EQ(Sensor_Destroy(handle), QOV_SUCCESS); });
    handle = nullptr;
    EXPECT_FALSE(GpioBank::instance().requested("gpiochip0", 11));
    EXPECT_FALSE(GpioBank::instance().requested("gpiochip0", 10));
}

TEST_F(SensorBase, BoardChoosesWhichLinesAreDriven)
{
    struct Case {
        const char *name;
        std::string extraKeys;  // appended to the board file: the last occurrence wins
        std::vector<GpioEvent> events;
        std::vector<uint64_t> sleeps;
    };
    const std::vector<Case> cases = {
        {"no reset line", "-Sensor0_gpio_reset -1\n", {request("gpiochip0", 11, 1)}, {}},
        {"no power-down line", "-Sensor0_gpio_pwdn -1\n",
         {request("gpiochip0", 10, 1), set("gpiochip0", 10, 0), set("gpiochip0", 10, 1)}, {1000, 100000}},
        {"no reset pulse", "-Board_reset_need 0\n-Board_pwdn_value 0\n",
         {request("gpiochip0", 11, 0), request("gpiochip0", 10, 1), set("gpiochip0", 10, 1)}, {100000}},
        {"lines on other chips", "-Sensor0_gpiochip_reset 3\n-Sensor0_gpio_reset 4\n-Sensor0_gpiochip_pwdn 2\n",
         {request("gpiochip2", 11, 1), request("gpiochip3", 4, 1), set("gpiochip3", 4, 0), set("gpiochip3", 4, 1)},
         {1000, 100000}},
    };
    SensorBoard::instance().place(0, testChipModel());
    for (const Case &c : cases) {
        root.setBoardFile("Test", boardFile() + c.extraKeys);
        GpioBank::instance().clearEvents();
        Sleeps::clear();
        ASSERT_EQ(create(), QOV_SUCCESS) << c.name << log.err;
        EXPECT_EQ(events(), c.events) << c.name;
        EXPECT_EQ(Sleeps::log(), c.sleeps) << c.name;
        captureOutput([&] { Sensor_Destroy(handle); });
        handle = nullptr;
    }
}

TEST_F(SensorBase, FailedBringUpLeavesNothingOpen)
{
    struct Case {
        const char *name;
        std::function<void()> arrange;
        const char *message;
    };
    auto &board = simboard::Board::instance();
    auto &gpio = GpioBank::instance();
    const std::vector<Case> cases = {
        {"chip absent", [] {}, "Failed to ensure that the i2c device has a compatible sensor! ret=3 chip_version=0x0 "
                               "(expect chip 0x5a81)\n"},
        {"wrong chip", [] { SensorBoard::instance().place(0, testChipModel(0x1234)); },
         "ret=0 chip_version=0x1234 (expect chip 0x5a81)\n"},
        {"chip on another bus", [] { SensorBoard::instance().place(1, testChipModel()); }, "compatible sensor!"},
        {"identity read fails",
         [&] {
             SensorBoard::instance().place(0, testChipModel());
             board.injectFault("/dev/i2c-0", simboard::TraceEntry::READ, -EIO);
         },
         "Failed to read I2C at 0x300a\n"},
        {"bus missing",
         [&] {
             SensorBoard::instance().place(0, testChipModel());
             root.setBoardFile("Test", boardFile() + "-Sensor0_i2c 7\n");
         },
         "Failed to open I2C device: \"/dev/i2c-7\", err = 2\n"},
        {"reset controller missing", [&] { root.setBoardFile("Test", boardFile() + "-Sensor0_gpiochip_reset 9\n"); },
         "Reset GPIO controller not found!\n"},
        {"power-down controller missing",
         [&] { root.setBoardFile("Test", boardFile() + "-Sensor0_gpiochip_pwdn 12\n"); },
         "PWDN GPIO controller not found!\n"},
        {"power-down line missing", [&] { root.setBoardFile("Test", boardFile() + "-Sensor0_gpio_pwdn 100\n"); },
         "Failed to get PWDN GPIO\n"},
        {"power-down request", [&] { gpio.injectFault(simboard::GpioOp::Request, "gpiochip0", 11); },
         "Failed to request PWDN GPIO\n"},
        {"reset line missing", [&] { root.setBoardFile("Test", boardFile() + "-Sensor0_gpio_reset 99\n"); },
         "Failed get Reset GPIO\n"},
        {"reset request", [&] { gpio.injectFault(simboard::GpioOp::Request, "gpiochip0", 10); },
         "Failed to request Reset GPIO\n"},
        {"reset low", [&] { gpio.injectFault(simboard::GpioOp::Set, "gpiochip0", 10); },
         "Failed to set Reset GPIO to LOW\n"},
        {"reset high", [&] { gpio.injectFault(simboard::GpioOp::Set, "gpiochip0", 10, 1, 1); },
         "Failed to set Reset GPIO to HIGH\n"},
        {"phy missing", [&] { board.injectFault("/dev/sensor_phy0", simboard::Board::OPEN_REQUEST, -ENODEV); },
         "Failed to create sensor phy!\n"},
        {"board file", [&] { root.setBoardFile("Test", boardFile() + "-Board_max_sensors 0\n"); },
         "Imager number 0 not supported for this board!\n"},
    };
    for (const Case &c : cases) {
        SetUp();  // a fresh board for each case
        c.arrange();
        handle = reinterpret_cast<SENSOR_HANDLE>(1);
        EXPECT_EQ(create(), QOV_ERROR_DEVICE_FAILED) << c.name;
        EXPECT_EQ(handle, nullptr) << c.name;
        EXPECT_THAT(log.err, HasSubstr(c.message)) << c.name;
        EXPECT_EQ(board.openDescriptors(), 0u) << c.name;
        EXPECT_EQ(gpio.openChips(), 0) << c.name;
        EXPECT_FALSE(gpio.requested("gpiochip0", 10) || gpio.requested("gpiochip0", 11)) << c.name;
    }
}

TEST_F(SensorBase, CsiMultiplexerSelectsTheBoardPosition)
{
    root.setBoardFile("Test", boardFile() + "-Board_mux_need 1\n");
    SensorBoard::instance().place(1, testChipModel());
    ASSERT_EQ(create(SENSOR_DURIDU_OV4689_1, 1), QOV_SUCCESS) << log.err;
    EXPECT_THAT(GpioBank::instance().eventsOf("gpiochip6", 2), ElementsAre(request("gpiochip6", 2, 1), set("gpiochip6", 2, 0)));
    EXPECT_THAT(GpioBank::instance().eventsOf("gpiochip6", 3), ElementsAre(request("gpiochip6", 3, 1), set("gpiochip6", 3, 0)));
    EXPECT_THAT(log.out, HasSubstr("[SENSOR_I2C]: RezozMxGpioSet() Set csi multiplexer SEL to 0\n"));
    EXPECT_THAT(log.out, HasSubstr("Set csi multiplexer nOE to 0"));
    EXPECT_EQ(GpioBank::instance().openChips(), 3);
    captureOutput([&] { Sensor_Destroy(handle); });

    // Position 0 hands -1 to the SEL line (unsigned arithmetic).
    GpioBank::instance().clearEvents();
    SensorBoard::instance().place(0, testChipModel());
    ASSERT_EQ(create(SENSOR_DURIDU_OV4689_0, 0), QOV_SUCCESS) << log.err;
    EXPECT_THAT(GpioBank::instance().eventsOf("gpiochip6", 2), ElementsAre(request("gpiochip6", 2, 1), set("gpiochip6", 2, -1)));
    EXPECT_EQ(GpioBank::instance().level("gpiochip6", 2), 1);
    EXPECT_THAT(log.out, HasSubstr("Set csi multiplexer SEL to -1\n"));
}

TEST_F(SensorBase, CsiMultiplexerFailures)
{
    root.setBoardFile("Test", boardFile() + "-Board_mux_need 1\n");
    SensorBoard::instance().place(0, testChipModel());
    struct Case {
        simboard::GpioOp op;
        unsigned line;
        unsigned skip;
        const char *message;
    };
    const Case cases[] = {
        {simboard::GpioOp::Open, 0, 0, "GPIO controller for csi multiplexer not found!\n"},
        {simboard::GpioOp::GetLine, 2, 0, "Failed get csi multiplexer SEL GPIO\n"},
        {simboard::GpioOp::GetLine, 3, 0, "Failed get csi multiplexer nOE GPIO\n"},
        {simboard::GpioOp::Request, 2, 0, "Failed to request csi multiplexer SEL GPIO\n"},
        {simboard::GpioOp::Set, 2, 0, "Failed to set csi multiplexer SEL\n"},
        {simboard::GpioOp::Request, 3, 0, "Failed to request csi multiplexer nOE GPIO\n"},
        {simboard::GpioOp::Set, 3, 0, "Failed to set csi multiplexer nOE\n"},
    };
    for (const Case &c : cases) {
        GpioBank::instance().injectFault(c.op, "gpiochip6", c.line, 1, c.skip);
        EXPECT_EQ(create(), QOV_ERROR_DEVICE_FAILED) << c.message;
        EXPECT_THAT(log.err, HasSubstr(std::string("RezozMxGpioSet():")));
        EXPECT_THAT(log.err, HasSubstr(c.message));
        EXPECT_EQ(GpioBank::instance().openChips(), 0) << c.message;
        EXPECT_FALSE(GpioBank::instance().requested("gpiochip6", 2)) << c.message;
    }
}

/*-------------------------------------------------------------------------
 * Register access
 *-------------------------------------------------------------------------*/

class RegisterAccess : public sensortest::SimBoardTest {
protected:
    void SetUp() override
    {
        SimBoardTest::SetUp();
        chip16 = SensorBoard::instance().place(0, testChipModel());
        simboard::ChipModel narrow = testChipModel(kChipId, 1);
        narrow.targets[0].address = 0x21;
        chip8 = SensorBoard::instance().place(0, narrow);
        fd = PLATFORM_Open("/dev/i2c-0", O_RDWR);
        ASSERT_GE(fd, 0);
        simboard::Board::instance().clearTrace();
    }
    void TearDown() override
    {
        PLATFORM_Close(fd);
        SimBoardTest::TearDown();
    }
    sensor_i2c_dev dev16() const { return sensor_i2c_dev{fd, kAddress, kAddress, 2}; }
    sensor_i2c_dev dev8() const { return sensor_i2c_dev{fd, 0x21, 0x21, 1}; }
    size_t transfers() const { return simboard::Board::instance().trace().size(); }

    std::shared_ptr<SimChip> chip16, chip8;
    int fd = -1;
};

TEST_F(RegisterAccess, WriteSendsOneTransferPerRecord)
{
    const QOV_UINT8 data[] = {0x30, 0x10, 0x11, 0x30, 0x12, 0x22, 0x40, 0x00, 0x33};
    ASSERT_EQ(sensor_i2c_write8(dev16(), data, sizeof(data)), QOV_SUCCESS);
    EXPECT_EQ(transfers(), 4u);  // the chip is selected once
    EXPECT_EQ(chip16->reg(0x3010), 0x11);
    EXPECT_EQ(chip16->reg(0x3012), 0x22);
    EXPECT_EQ(chip16->reg(0x4000), 0x33);
    EXPECT_EQ(chip16->writes().size(), 3u);
    EXPECT_EQ(sensor_i2c_write8(dev16(), data, 0), QOV_SUCCESS);
}

TEST_F(RegisterAccess, PauseRecordsOnlyForTwoByteAddresses)
{
    const QOV_UINT8 data16[] = {0xFE, 0xC8, 0x55, 0x30, 0x00, 0x01};
    ASSERT_EQ(sensor_i2c_write8(dev16(), data16, sizeof(data16)), QOV_SUCCESS);
    EXPECT_THAT(Sleeps::log(), ElementsAre(200000u));
    EXPECT_EQ(chip16->writes().size(), 1u);
    EXPECT_EQ(chip16->reg(0xFEC8), 0);

    const QOV_UINT8 data8[] = {0xFE, 0x5A, 0x10, 0x01};
    ASSERT_EQ(sensor_i2c_write8(dev8(), data8, sizeof(data8)), QOV_SUCCESS);
    EXPECT_EQ(chip8->reg(0xFE), 0x5A);
    EXPECT_EQ(chip8->reg(0x10), 0x01);
    EXPECT_EQ(Sleeps::log().size(), 1u);
}

TEST_F(RegisterAccess, WriteRefusals)
{
    const QOV_UINT8 data[] = {0x30, 0x10, 0x11, 0x30, 0x12, 0x22, 0x40, 0x00, 0x33};
    Output log = captureOutput([&] { EXPECT_EQ(sensor_i2c_write8(dev16(), data, 7), QOV_ERROR_INVALID_ARGUMENT); });
    EXPECT_THAT(log.err, HasSubstr("[SENSOR_I2C]: sensor_i2c_write8():"));
    EXPECT_THAT(log.err, HasSubstr("Wrong len of data array, len = 7\n"));
    EXPECT_EQ(transfers(), 0u);  // not even the selection

    simboard::Board::instance().injectFault("/dev/i2c-0", 0x0703, -EBUSY);
    log = captureOutput([&] { EXPECT_EQ(sensor_i2c_write8(dev16(), data, sizeof(data)), QOV_ERROR_I2C_FAILED); });
    EXPECT_THAT(log.err, HasSubstr("Failed to write I2C slave address!\n"));
    EXPECT_TRUE(chip16->writes().empty());

    simboard::Board::instance().injectFault("/dev/i2c-0", simboard::TraceEntry::WRITE, -EREMOTEIO, 1, 1);
    log = captureOutput([&] { EXPECT_EQ(sensor_i2c_write8(dev16(), data, sizeof(data)), QOV_ERROR_I2C_FAILED); });
    EXPECT_THAT(log.err, HasSubstr("Failed to write I2C data! write_len = -1, index = 3\n"));
    EXPECT_EQ(chip16->writes().size(), 1u);  // the records after the failing one are not sent
    EXPECT_FALSE(chip16->wasWritten(0x4000));

    // A chip that does not answer.
    chip16->setResponding(false);
    log = captureOutput([&] { EXPECT_EQ(sensor_i2c_write8(dev16(), data, 3), QOV_ERROR_I2C_FAILED); });
    EXPECT_THAT(log.err, HasSubstr("write_len = -1, index = 0\n"));
}

TEST_F(RegisterAccess, Reads)
{
    chip16->setReg(0x1234, 0xAB);
    chip16->setReg(0x1235, 0xCD);
    QOV_UINT16 value16 = 0;
    ASSERT_EQ(sensor_i2c_read16(dev16(), 0x1234, &value16), QOV_SUCCESS);
    EXPECT_EQ(value16, 0xABCD);
    QOV_UINT8 value8 = 0;
    ASSERT_EQ(sensor_i2c_read8(dev16(), 0x1235, &value8), QOV_SUCCESS);
    EXPECT_EQ(value8, 0xCD);
    // One address byte: the low byte of the offset.
    chip8->setReg(0x34, 0x77);
    ASSERT_EQ(sensor_i2c_read8(dev8(), 0x1234, &value8), QOV_SUCCESS);
    EXPECT_EQ(value8, 0x77);
}

TEST_F(RegisterAccess, ReadFailures)
{
    QOV_UINT16 value = 0;
    auto &board = simboard::Board::instance();
    board.injectFault("/dev/i2c-0", 0x0703, -EBUSY);
    Output log = captureOutput([&] { EXPECT_EQ(sensor_i2c_read16(dev16(), 0x300A, &value), QOV_ERROR_I2C_FAILED); });
    EXPECT_THAT(log.err, HasSubstr("[SENSOR_I2C]: sensor_i2c_read16():"));
    EXPECT_THAT(log.err, HasSubstr("Failed to write I2C read address!\n"));

    board.injectFault("/dev/i2c-0", simboard::TraceEntry::READ, -EIO);
    log = captureOutput([&] { EXPECT_EQ(sensor_i2c_read16(dev16(), 0x300A, &value), QOV_ERROR_FAILURE); });
    EXPECT_THAT(log.err, HasSubstr("Failed to read I2C at 0x300a\n"));

    // A short or failed address write warns and fails the read without reading:
    // the chip's register pointer did not move, so it would answer another register.
    const struct {
        long answer;
        const char *warning;
    } shortWrites[] = {
        {1, "WARNING [SENSOR_I2C]: sensor_i2c_read16() Wrote 1B instead of 2B before reading\n"},
        {-EIO, "WARNING [SENSOR_I2C]: sensor_i2c_read16() Wrote -1B instead of 2B before reading\n"},
    };
    for (const auto &c : shortWrites) {
        board.clearTrace();
        board.injectFault("/dev/i2c-0", simboard::TraceEntry::WRITE, c.answer);
        value = 0x1234;
        log = captureOutput([&] { EXPECT_EQ(sensor_i2c_read16(dev16(), 0x300A, &value), QOV_ERROR_FAILURE); });
        EXPECT_THAT(log.err, HasSubstr(c.warning));
        EXPECT_THAT(log.err, HasSubstr("Failed to read I2C at 0x300a\n"));
        EXPECT_EQ(value, 0x1234);
        for (const auto &entry : board.trace())
            EXPECT_NE(entry.kind, simboard::TraceEntry::READ);
    }
}

/*-------------------------------------------------------------------------
 * Register lists and modes
 *-------------------------------------------------------------------------*/

TEST(SensorModeTable, CountsRecordsOnceAndCachesThem)
{
    Tables tables;
    unsigned n = 99;
    EXPECT_EQ(SensorModeGetRegisters(tables.configs, sizeof(tables.configs), 0, &n), config0);
    EXPECT_EQ(n, 3u);  // the pause is a record; the end marker is not
    EXPECT_EQ(tables.configs[0].nRegisters, 3u);
    tables.configs[0].nRegisters = 7;  // a cached count is used as it is
    SensorModeGetRegisters(tables.configs, sizeof(tables.configs), 0, &n);
    EXPECT_EQ(n, 7u);

    // An empty list counts 0 and stays uncounted.
    tables.modes[3].modeRegisters = emptyList;
    n = 99;
    EXPECT_EQ(SensorModeGetRegisters(tables.modes, sizeof(tables.modes), 3, &n), emptyList);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(tables.modes[3].nRegisters, 0u);

    EXPECT_EQ(SensorModeGetRegisters(tables.modes, sizeof(tables.modes), 8, &n), nullptr);
    EXPECT_EQ(SensorModeGetRegisters(tables.modes, sizeof(tables.modes), 6, &n), nullptr);  // no list
}

TEST(SensorModeTable, ModeNumbersAreConfigurationTimesSixteenPlusMode)
{
    CAM_STRUCT cam;
    memset(&cam, 0, sizeof(cam));
    fillState(&cam, SENSOR_DURIDU_OV4689_0, 0);
    struct Case {
        QOV_UINT16 mode;
        QOV_RESULT result;
    };
    const Case cases[] = {{0x00, QOV_SUCCESS}, {0x03, QOV_SUCCESS}, {0x04, QOV_ERROR_NOT_SUPPORTED},
                          {0x10, QOV_SUCCESS}, {0x11, QOV_SUCCESS}, {0x12, QOV_ERROR_NOT_SUPPORTED},
                          {0x13, QOV_ERROR_NOT_SUPPORTED}, {0x20, QOV_ERROR_NOT_SUPPORTED},
                          {0xFFFF, QOV_ERROR_NOT_SUPPORTED}};
    for (const Case &c : cases) {
        Output log = captureOutput([&] { EXPECT_EQ(CamCheckMode(&cam, c.mode), c.result) << c.mode; });
        if (c.result != QOV_SUCCESS) {
            EXPECT_THAT(log.err, HasSubstr("Mode " + std::to_string(c.mode) + " not supported\n"));
        }
    }
    // Without hardware a mode can still be described.
    SENSOR_MODE mode;
    memset(&mode, 0, sizeof(mode));
    ASSERT_EQ(SensorFuncGetMode(&cam.sFuncs, 0x11, &mode), QOV_SUCCESS);
    EXPECT_EQ(mode.ui16Width, 64);  // mode-table entry 5
    EXPECT_EQ(mode.ui8BitDepth, 12);
    EXPECT_EQ(mode.ui8MipiLanes, 4);
}

TEST_F(SensorBase, SetModeSelectsListsAndStartsExposure)
{
    SensorBoard::instance().place(0, testChipModel());
    ASSERT_EQ(create(), QOV_SUCCESS) << log.err;
    CAM_STRUCT *cam = camOf(handle);
    cam->ui16CurrentFocus = 200;
    const size_t transfersBefore = simboard::Board::instance().trace().size();

    ASSERT_EQ(Sensor_SetMode(handle, 0x11, SENSOR_FLIP_VERTICAL), QOV_SUCCESS);
    EXPECT_EQ(cam->currConfig, 1u);
    EXPECT_EQ(cam->currConfReg, config1);
    EXPECT_EQ(cam->nConfRegisters, 2u);
    EXPECT_EQ(cam->currModeReg, mode11);
    EXPECT_EQ(cam->nModeRegisters, 5u);
    EXPECT_EQ(cam->currMode.ui16Width, 64);
    EXPECT_EQ(cam->currMode.ui8BitDepth, 12);
    EXPECT_EQ(cam->ui16CurrentFocus, 50);
    EXPECT_EQ(cam->ui32Exposure[0], 302u * kLineTime);  // 6342
    EXPECT_EQ(simboard::Board::instance().trace().size(), transfersBefore);  // nothing sent
    SENSOR_STATUS status;
    Sensor_GetState(handle, &status);
    EXPECT_EQ(status.ui16CurrentMode, 0x11);
    EXPECT_EQ(status.ui8Flipping, SENSOR_FLIP_VERTICAL);

    // The exposure is no more than the maximum.
    cam->GetModeInfo = [](CAM_STRUCT *c, QOV_UINT16 m, SENSOR_MODE *info) {
        testGetModeInfo(c, m, info);
        info->ui32ExposureMax = 5000;
        return QOV_SUCCESS;
    };
    ASSERT_EQ(Sensor_SetMode(handle, 0, SENSOR_FLIP_NONE), QOV_SUCCESS);
    EXPECT_EQ(cam->ui32Exposure[0], 5000u);
}

TEST_F(SensorBase, RefusedModeLeavesTheCurrentModeInForce)
{
    SensorBoard::instance().place(0, testChipModel());
    ASSERT_EQ(create(), QOV_SUCCESS) << log.err;
    ASSERT_EQ(Sensor_SetMode(handle, 0x10, SENSOR_FLIP_NONE), QOV_SUCCESS);
    CAM_STRUCT *cam = camOf(handle);
    const CAM_STRUCT before = *cam;

    // Mode 1 allows only the horizontal flip.
    EXPECT_EQ(logged([&] { return Sensor_SetMode(handle, 0x01, SENSOR_FLIP_BOTH); }), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_THAT(log.err, HasSubstr("sensor mode does not support selected flipping 0x3 (supports 0x1)\n"));
    EXPECT_EQ(logged([&] { return Sensor_SetMode(handle, 0x13, SENSOR_FLIP_NONE); }), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_THAT(log.err, HasSubstr("Mode 19 not supported\n"));
    cam->GetModeInfo = [](CAM_STRUCT *, QOV_UINT16, SENSOR_MODE *) { return QOV_ERROR_FAILURE; };
    EXPECT_EQ(logged([&] { return Sensor_SetMode(handle, 0x00, SENSOR_FLIP_NONE); }), QOV_ERROR_FAILURE);
    EXPECT_THAT(log.err, HasSubstr("failed to get mode 0 initial information!\n"));
    cam->GetModeInfo = testGetModeInfo;

    EXPECT_EQ(cam->ui16CurrentMode, 0x10);
    EXPECT_EQ(cam->currConfig, 1u);
    EXPECT_EQ(cam->currConfReg, before.currConfReg);
    EXPECT_EQ(cam->currModeReg, before.currModeReg);
    EXPECT_EQ(memcmp(&cam->currMode, &before.currMode, sizeof(SENSOR_MODE)), 0);
    EXPECT_EQ(cam->ui32Exposure[0], before.ui32Exposure[0]);

    // Allowed flips are kept, the others are refused.
    ASSERT_EQ(Sensor_SetMode(handle, 0x01, SENSOR_FLIP_HORIZONTAL), QOV_SUCCESS);
    EXPECT_EQ(cam->ui8CurrentFlipping, SENSOR_FLIP_HORIZONTAL);
}

TEST_F(SensorBase, OperationsWithoutHardware)
{
    CAM_STRUCT *cam = static_cast<CAM_STRUCT *>(calloc(1, sizeof(CAM_STRUCT)));
    fillState(cam, SENSOR_DURIDU_OV4689_0, 0);
    SENSOR_HANDLE h = &cam->sFuncs;
    QOV_UINT32 u32;
    double d;
    QOV_UINT8 u8;
    struct Case {
        const char *name;
        std::function<QOV_RESULT()> call;
        const char *message;
    };
    const Case cases[] = {
        {"SetMode", [&] { return Sensor_SetMode(h, 0, 0); }, "sensor not initialised\n"},
        {"Enable", [&] { return Sensor_Enable(h); }, "sensor not initialised\n"},
        {"Destroy", [&] { return Sensor_Destroy(h); }, "sensor not initialised\n"},
        {"GetExposureRange", [&] { return Sensor_GetExposureRange(h, &u32, &u32, &u8); }, "sensor not initialised\n"},
        {"GetExposure", [&] { return Sensor_GetExposure(h, &u32, 0); }, "sensor not initialised\n"},
        {"GetCurrentGain", [&] { return Sensor_GetCurrentGain(h, &d, 0); }, "sensor not initialised\n"},
        {"SetExposure", [&] { return Sensor_SetExposure(h, 100, 0); }, "sensor not initialised\n"},
        {"SetGain", [&] { return Sensor_SetGain(h, 2.0, 0); }, "sensor is not initialised\n"},
        {"CamSetConfig", [&] { return CamSetConfig(cam, 0); }, "sensor not initialised\n"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(logged(c.call), QOV_ERROR_NOT_INITIALISED) << c.name;
        EXPECT_THAT(log.err, HasSubstr(c.message)) << c.name;
    }
    SENSOR_STATUS status;
    EXPECT_EQ(logged([&] { return Sensor_GetState(h, &status); }), QOV_SUCCESS);
    EXPECT_THAT(log.err, HasSubstr("WARNING [SENSOR_I2C]: SensorFuncGetState() sensor not initialised\n"));
    EXPECT_EQ(status.eState, SENSOR_STATE_UNINITIALISED);
    double lo = 0, hi = 0;
    EXPECT_EQ(Sensor_GetGainRange(h, &lo, &hi, &u8), QOV_SUCCESS);  // no state check
    EXPECT_EQ(hi, 8.0);
    EXPECT_EQ(Sensor_Disable(h), QOV_SUCCESS);  // not streaming: nothing to do
    free(cam);
}

/*-------------------------------------------------------------------------
 * Streaming
 *-------------------------------------------------------------------------*/

TEST_F(SensorBase, EnableSwitchesThePhyAndWritesConfigurationThenMode)
{
    auto chip = SensorBoard::instance().place(0, testChipModel());
    ASSERT_EQ(create(), QOV_SUCCESS) << log.err;
    ASSERT_EQ(Sensor_SetMode(handle, 0x01, SENSOR_FLIP_NONE), QOV_SUCCESS);
    Sleeps::clear();
    chip->clearWrites();
    ASSERT_EQ(logged([&] { return Sensor_Enable(handle); }), QOV_SUCCESS);
    EXPECT_THAT(log.out, HasSubstr("Enabling TESTCHIP Camera!\n"));

    const simboard::PhySwitch on = lastSwitch(0);
    EXPECT_EQ(on.request, 0x8020F000ul);
    EXPECT_EQ(on.record.enable, 1);
    EXPECT_EQ(on.record.mipiLanes, 2);
    EXPECT_EQ(on.record.mipiHsFreqRange, 0x1A);
    EXPECT_EQ(on.record.mipiOscFreq, 438);
    auto isp = simboard::IspDriver::installed();
    EXPECT_TRUE(isp->gasket(0).reserved);
    EXPECT_FALSE(isp->gasket(0).request.bParallel);

    // Configuration (2 records and a pause), then mode (5 records).
    std::vector<uint16_t> written;
    for (const auto &w : chip->writes())
        written.push_back(w.address);
    EXPECT_THAT(written, ElementsAre(0x0100, 0x3031, 0x3808, 0x3809, 0x380A, 0x380B, 0x0100));
    EXPECT_THAT(Sleeps::log(), ElementsAre(5000u));
    EXPECT_EQ(chip->frameFormat().width, 320u);

    // The chip streams into gasket 0 of the ISP.
    EXPECT_EQ(SensorBoard::instance().sourceOf(0), chip);
    SENSOR_STATUS status;
    Sensor_GetState(handle, &status);
    EXPECT_EQ(status.eState, SENSOR_STATE_RUNNING);
}

TEST_F(SensorBase, RegisterFailuresWhileEnablingAreReported)
{
    // Writes of Enable: configuration 0x0100, 0x3031 (then a pause), mode
    // 0x3808, 0x3809, 0x380A, 0x380B, 0x0100.
    struct Case {
        const char *name;
        unsigned times, skip;  // the failing writes
        std::vector<uint16_t> written;
    };
    const Case cases[] = {
        // the rest of the configuration is not sent, the mode still is
        {"configuration", 1, 0, {0x3808, 0x3809, 0x380A, 0x380B, 0x0100}},
        {"mode", 1, 3, {0x0100, 0x3031, 0x3808}},
        {"every write", 0, 0, {}},
    };
    auto chip = SensorBoard::instance().place(0, testChipModel());
    ASSERT_EQ(create(), QOV_SUCCESS) << log.err;
    ASSERT_EQ(Sensor_SetMode(handle, 0, SENSOR_FLIP_NONE), QOV_SUCCESS);
    for (const Case &c : cases) {
        chip->clearWrites();
        simboard::Board::instance().injectFault("/dev/i2c-0", simboard::TraceEntry::WRITE, -EIO, c.times, c.skip);
        EXPECT_EQ(logged([&] { return Sensor_Enable(handle); }), QOV_ERROR_I2C_FAILED) << c.name;
        EXPECT_THAT(log.err, HasSubstr("Failed to write I2C data!")) << c.name;
        EXPECT_THAT(log.err, HasSubstr("failed to write the configuration and mode of TESTCHIP\n")) << c.name;
        std::vector<uint16_t> written;
        for (const auto &w : chip->writes())
            written.push_back(w.address);
        EXPECT_EQ(written, c.written) << c.name;
        simboard::Board::instance().clearFaults();

        // The PHY and gasket stay on: Disable stops the chip and releases them.
        SENSOR_STATUS status;
        Sensor_GetState(handle, &status);
        EXPECT_EQ(status.eState, SENSOR_STATE_RUNNING) << c.name;
        EXPECT_TRUE(simboard::IspDriver::installed()->gasket(0).reserved) << c.name;
        EXPECT_EQ(logged([&] { return Sensor_Disable(handle); }), QOV_SUCCESS) << c.name;
        EXPECT_EQ(chip->writesTo(0x0100).back(), 0x00) << c.name;
        EXPECT_FALSE(simboard::IspDriver::installed()->gasket(0).reserved) << c.name;
    }

    // A hook's own refusal is reported the same way.
    chip->clearWrites();
    camOf(handle)->ApplyConfig = [](CAM_STRUCT *) { return QOV_ERROR_NOT_SUPPORTED; };
    EXPECT_EQ(logged([&] { return Sensor_Enable(handle); }), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_TRUE(chip->wasWritten(0x3808));
    camOf(handle)->ApplyConfig = testApplyConfig;
}

TEST_F(SensorBase, EnableOnAGasketInUseFails)
{
    SensorBoard::instance().place(0, testChipModel());
    ASSERT_EQ(create(), QOV_SUCCESS) << log.err;
    ASSERT_EQ(Sensor_SetMode(handle, 0, SENSOR_FLIP_NONE), QOV_SUCCESS);
    // Another connection holds gasket 0.
    CI_CONNECTION *other = nullptr;
    ASSERT_EQ(CI_DriverInit(&other), QOV_SUCCESS);
    CI_GASKET gasket;
    CI_GasketInit(&gasket);
    ASSERT_EQ(CI_GasketAcquire(&gasket, other), QOV_SUCCESS);

    const size_t traced = simboard::Board::instance().trace().size();
    EXPECT_NE(logged([&] { return Sensor_Enable(handle); }), QOV_SUCCESS);
    EXPECT_THAT(log.err, HasSubstr("failed to acquire the gasket 0!\n"));
    EXPECT_THAT(log.err, HasSubstr("failed to switch on the sensor phy of TESTCHIP\n"));
    EXPECT_TRUE(SensorBoard::instance().phy(0)->switches().empty());
    // The gasket it never got is not given back: no release request, and the
    // other connection keeps it.
    const std::vector<simboard::TraceEntry> &trace = simboard::Board::instance().trace();
    for (size_t i = traced; i < trace.size(); ++i)
        EXPECT_NE(trace[i].request, static_cast<unsigned long>(CI_IOCTL_GASKET_RELEASE)) << trace[i].path;
    EXPECT_THAT(log.err, testing::Not(HasSubstr("failed to release")));
    EXPECT_TRUE(simboard::IspDriver::installed()->gasket(0).reserved);
    SENSOR_STATUS status;
    Sensor_GetState(handle, &status);
    EXPECT_EQ(status.eState, SENSOR_STATE_IDLE);
    CI_GasketRelease(&gasket, other);
    CI_DriverFinalise(other);

    // A PHY that refuses its request: the gasket is given back.
    simboard::Board::instance().injectFault("/dev/sensor_phy0", SENSOR_PHY_IOCTL_CTRL, -EIO);
    EXPECT_EQ(logged([&] { return Sensor_Enable(handle); }), QOV_ERROR_DEVICE_FAILED);
    EXPECT_FALSE(simboard::IspDriver::installed()->gasket(0).reserved);
}

TEST_F(SensorBase, DisableStopsTheChipThenThePhy)
{
    auto chip = SensorBoard::instance().place(0, testChipModel());
    ASSERT_EQ(create(), QOV_SUCCESS) << log.err;
    ASSERT_EQ(Sensor_SetMode(handle, 0, SENSOR_FLIP_NONE), QOV_SUCCESS);

    // Not streaming: nothing is sent.
    const size_t before = simboard::Board::instance().trace().size();
    EXPECT_EQ(Sensor_Disable(handle), QOV_SUCCESS);
    EXPECT_EQ(simboard::Board::instance().trace().size(), before);

    captureOutput([&] { ASSERT_EQ(Sensor_Enable(handle), QOV_SUCCESS); });
    chip->clearWrites();
    Sleeps::clear();
    ASSERT_EQ(logged([&] { return Sensor_Disable(handle); }), QOV_SUCCESS);
    EXPECT_THAT(log.out, HasSubstr("Disabling TESTCHIP camera\n"));
    EXPECT_THAT(log.out, HasSubstr("enabled (MIPI) - frame count 0\n"));
    EXPECT_THAT(log.out, HasSubstr("Gasket MIPI FIFO 0 - Enabled lanes"));
    EXPECT_THAT(log.out, HasSubstr("Gasket CRC Error 0x0\n       HDR Error 0x0\n       ECC Error 0x0\n"
                                   "       ECC Correted 0x0\n       SOT Error Count 0x0\n"));
    EXPECT_EQ(chip->writesTo(0x0100), std::vector<uint8_t>{0x00});
    EXPECT_EQ(chip->writesTo(0x301A), std::vector<uint8_t>{0xF9});
    EXPECT_THAT(Sleeps::log(), ElementsAre(10000u, 33333u));  // the stop list's pause, one frame
    const simboard::PhySwitch off = lastSwitch(0);
    EXPECT_EQ(off.record.enable, 0);
    EXPECT_EQ(off.record.mipiLanes, 0);
    EXPECT_EQ(off.record.mipiHsFreqRange, 0);
    EXPECT_FALSE(simboard::IspDriver::installed()->gasket(0).reserved);
    EXPECT_EQ(SensorBoard::instance().sourceOf(0), nullptr);
}

TEST_F(SensorBase, DestroyOfAStreamingSensorStopsItFirst)
{
    auto chip = SensorBoard::instance().place(0, testChipModel());
    ASSERT_EQ(create(), QOV_SUCCESS) << log.err;
    ASSERT_EQ(Sensor_SetMode(handle, 0, SENSOR_FLIP_NONE), QOV_SUCCESS);
    captureOutput([&] { ASSERT_EQ(Sensor_Enable(handle), QOV_SUCCESS); });
    chip->clearWrites();
    EXPECT_EQ(logged([&] { return Sensor_Destroy(handle); }), QOV_SUCCESS);
    handle = nullptr;
    EXPECT_EQ(chip->writesTo(0x0100), std::vector<uint8_t>{0x00});
    EXPECT_EQ(lastSwitch(0).record.enable, 0);
    EXPECT_FALSE(simboard::IspDriver::installed()->gasket(0).reserved);
}

/*-------------------------------------------------------------------------
 * Exposure and gain
 *-------------------------------------------------------------------------*/

TEST_F(SensorBase, ExposureAndGainGoToTheRegisters)
{
    auto chip = SensorBoard::instance().place(0, testChipModel());
    ASSERT_EQ(create(), QOV_SUCCESS) << log.err;
    ASSERT_EQ(Sensor_SetMode(handle, 0, SENSOR_FLIP_NONE), QOV_SUCCESS);
    chip->clearWrites();

    // 50000 us is 2380 lines (0x00094C) of 21 us; stored as given even above the maximum.
    ASSERT_EQ(Sensor_SetExposure(handle, 50000, 0), QOV_SUCCESS);
    EXPECT_EQ(chip->reg(0x3500), 0x00);
    EXPECT_EQ(chip->reg(0x3501), 0x09);
    EXPECT_EQ(chip->reg(0x3502), 0x4C);
    EXPECT_EQ(chip->exposureUs(), 2380.0 * kLineTime);
    QOV_UINT32 exposure = 0;
    ASSERT_EQ(Sensor_GetExposure(handle, &exposure, 0), QOV_SUCCESS);
    EXPECT_EQ(exposure, 50000u);
    ASSERT_EQ(Sensor_SetExposure(handle, 2100, 4), QOV_SUCCESS);
    ASSERT_EQ(Sensor_GetExposure(handle, &exposure, 4), QOV_SUCCESS);
    EXPECT_EQ(exposure, 2100u);

    // Gain 2.5 is 40 sixteenths.
    ASSERT_EQ(Sensor_SetGain(handle, 2.5, 0), QOV_SUCCESS);
    EXPECT_EQ(chip->reg16(0x3508), 40);
    EXPECT_EQ(chip->gain(), 2.5);
    double gain = 0;
    ASSERT_EQ(Sensor_GetCurrentGain(handle, &gain, 0), QOV_SUCCESS);
    EXPECT_EQ(gain, 2.5);

    // Context 5 does not exist: nothing is stored or sent.
    const size_t writes = chip->writes().size();
    EXPECT_EQ(Sensor_SetExposure(handle, 1000, 5), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(Sensor_SetGain(handle, 3.0, 5), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(Sensor_GetExposure(handle, &exposure, 5), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(Sensor_GetCurrentGain(handle, &gain, 5), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(chip->writes().size(), writes);

    // A failing bus is reported; the value asked for is stored all the same.
    simboard::Board::instance().injectFault("/dev/i2c-0", 0x0703, -EIO);
    EXPECT_EQ(logged([&] { return Sensor_SetGain(handle, 4.0, 0); }), QOV_ERROR_I2C_FAILED);
    EXPECT_THAT(log.err, HasSubstr("Failed to write I2C slave address!\n"));
    ASSERT_EQ(Sensor_GetCurrentGain(handle, &gain, 0), QOV_SUCCESS);
    EXPECT_EQ(gain, 4.0);
    EXPECT_EQ(chip->reg16(0x3508), 40);
    // The second of the three exposure registers fails: the third is not sent.
    const uint8_t lowLines = chip->reg(0x3502);
    simboard::Board::instance().injectFault("/dev/i2c-0", simboard::TraceEntry::WRITE, -EIO, 1, 1);
    EXPECT_EQ(logged([&] { return Sensor_SetExposure(handle, 21000, 0); }), QOV_ERROR_I2C_FAILED);
    EXPECT_THAT(log.err, HasSubstr("Failed to write I2C data! write_len = -1, index = 3\n"));
    ASSERT_EQ(Sensor_GetExposure(handle, &exposure, 0), QOV_SUCCESS);
    EXPECT_EQ(exposure, 21000u);
    EXPECT_EQ(chip->reg(0x3500), 0x00);
    EXPECT_EQ(chip->reg(0x3502), lowLines);

    QOV_UINT32 lo = 0, hi = 0;
    QOV_UINT8 contexts = 9;
    ASSERT_EQ(Sensor_GetExposureRange(handle, &lo, &hi, &contexts), QOV_SUCCESS);
    EXPECT_EQ(lo, kLineTime);
    EXPECT_EQ(hi, kLineTime * 0xFFFF);
    EXPECT_EQ(contexts, 0);
}

TEST_F(SensorBase, TemplateMustHoldItsFirstValue)
{
    SensorBoard::instance().place(0, testChipModel());
    ASSERT_EQ(create(), QOV_SUCCESS) << log.err;
    QOV_UINT8 regs[3] = {0x35, 0x00, 0x00};
    EXPECT_EQ(logged([&] { return SensorFuncSetExposure(handle, 100, 0, regs, 3, 3); }), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(logged([&] { return SensorFuncSetGain(handle, 1.0, 0, nullptr, 3, 2); }), QOV_ERROR_INVALID_ARGUMENT);
}

}  // namespace
