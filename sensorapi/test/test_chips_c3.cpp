// The IMX415, IMX335, IMX327, IMX662, GC8034, GC5035 and S5K3P9 drivers
// against their simulated chips: bring-up with its power lines, identity,
// modes, streaming through the PHY and gasket, flips, exposure, gain and
// focus through the registers, and the failures of the bring-up and of the
// transfers. Expected register values are worked out by hand from the chips'
// encodings.
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sensor_test_support.h"
#include "sensorapi/sensorapi.h"
#include "simboard/board.h"
#include "simboard/gpio.h"
#include "simboard/sensor_chip.h"
#include "simboard/sensor_models.h"
#include "simboard/sensor_phy.h"
#include "simboard/sleep.h"

namespace chips_c3 {
namespace {

using simboard::Board;
using simboard::ChipModel;
using simboard::GpioBank;
using simboard::GpioEvent;
using simboard::SensorBoard;
using simboard::SimChip;
using simboard::Sleeps;
using simboard::TraceEntry;
using Registers = std::vector<std::pair<uint16_t, uint8_t>>;

enum Chip { IMX415, IMX335, IMX327, IMX662, GC8034, GC5035, S5K3P9 };

// One chip of these drivers, with the wiring of its board position in the
// simulated board's board file.
struct ChipCase {
    Chip chip;
    const char *name;
    QOV_UINT16 sensor;  // sensor-table number
    unsigned bus;
    unsigned phy;
    unsigned gasket;
    unsigned resetLine;  // on gpiochip0
    unsigned pwdnLine;
    uint16_t idRegister;
    const char *version;  // identity as GetInfo reports it
    MOSAICType bayer;     // without flips
    QOV_UINT8 imager;     // as GetInfo reports it
    double gainMax;
    unsigned listedModes;  // modes 0, 1, ... the driver answers
    bool focus;
};

const ChipCase kChips[] = {
    {IMX415, "IMX415", 11, 0, 0, 0, 10, 11, 0x3064, "0x4a00", MOSAIC_GBRG, 0, 3981.0, 10, false},
    {IMX335, "IMX335", 18, 0, 0, 0, 10, 11, 0x3A01, "0x301", MOSAIC_RGGB, 0, 3981.0, 8, false},
    {IMX327, "IMX327", 19, 0, 0, 0, 10, 11, 0x301E, "0xb201", MOSAIC_RGGB, 0, 2818.0, 2, false},
    {IMX662, "IMX662", 23, 0, 0, 0, 10, 11, 0x3060, "0x9500", MOSAIC_RGGB, 0, 15.85, 4, false},
    {GC8034, "GC8034", 21, 1, 1, 1, 12, 13, 0x00F0, "0x8044", MOSAIC_RGGB, 1, 16.0, 1, true},
    {GC5035, "GC5035", 22, 0, 0, 0, 10, 11, 0x00F0, "0x5035", MOSAIC_RGGB, 0, 16.0, 1, false},
    {S5K3P9, "S5K3P9", 15, 0, 0, 0, 10, 11, 0x0000, "0x3109", MOSAIC_GRBG, 0, 16.0, 7, true},
};

const ChipCase &chipCase(Chip chip)
{
    for (const ChipCase &c : kChips) {
        if (c.chip == chip)
            return c;
    }
    return kChips[0];
}

ChipModel chipModel(Chip chip)
{
    switch (chip) {
    case IMX415: return simboard::modelIMX415();
    case IMX335: return simboard::modelIMX335();
    case IMX327: return simboard::modelIMX327();
    case IMX662: return simboard::modelIMX662();
    case GC8034: return simboard::modelGC8034();
    case GC5035: return simboard::modelGC5035();
    default: return simboard::modelS5K3P9();
    }
}

std::string chipParamName(const testing::TestParamInfo<ChipCase> &info) { return info.param.name; }

class C3Test : public testing::Test {
protected:
    void SetUp() override
    {
        Board::instance().reset();
        Sleeps::setInstant(true);
    }

    void TearDown() override
    {
        if (m_handle) {
            EXPECT_EQ(QOV_SUCCESS, Sensor_Destroy(m_handle));
        }
        m_handle = nullptr;
        // nothing of the sensor stays open
        EXPECT_EQ(0u, Board::instance().openDescriptors());
        EXPECT_EQ(0, GpioBank::instance().openChips());
        Board::instance().reset();
    }

    std::shared_ptr<SimChip> place(Chip chip)
    {
        return SensorBoard::instance().place(chipCase(chip).bus, chipModel(chip));
    }

    // Places the chip at its board position and opens its driver.
    std::shared_ptr<SimChip> open(Chip chip)
    {
        auto simChip = place(chip);
        EXPECT_EQ(QOV_SUCCESS, Sensor_Initialise(chipCase(chip).sensor, &m_handle));
        EXPECT_NE(nullptr, m_handle);
        return simChip;
    }

    // Opens the chip, selects a mode and streams it.
    std::shared_ptr<SimChip> stream(Chip chip, QOV_UINT16 mode, QOV_UINT8 flips = SENSOR_FLIP_NONE)
    {
        auto simChip = open(chip);
        EXPECT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, mode, flips));
        EXPECT_EQ(QOV_SUCCESS, Sensor_Enable(m_handle));
        return simChip;
    }

    SENSOR_INFO info()
    {
        SENSOR_INFO sensorInfo{};
        EXPECT_EQ(QOV_SUCCESS, Sensor_GetInfo(m_handle, &sensorInfo));
        return sensorInfo;
    }

    SENSOR_HANDLE m_handle = nullptr;
};

void expectRegisters(const SimChip &chip, const Registers &expected, unsigned target = 0)
{
    for (const auto &[address, value] : expected)
        EXPECT_EQ(value, chip.reg(address, target)) << "register 0x" << std::hex << address;
}

// Position of the first write of `value` to `address` in the chip's write log.
long firstWrite(const SimChip &chip, uint16_t address, uint8_t value)
{
    const auto &writes = chip.writes();
    for (size_t i = 0; i < writes.size(); ++i) {
        if (writes[i].target == 0 && writes[i].address == address && writes[i].value == value)
            return static_cast<long>(i);
    }
    return -1;
}

/*--------------------------------------------------------------------------
 * Behaviour shared by every chip
 *-------------------------------------------------------------------------*/

class C3Chip : public C3Test, public testing::WithParamInterface<ChipCase> {};

TEST_P(C3Chip, OpensWithItsIdentityAndPowerSequence)
{
    const ChipCase &c = GetParam();
    open(c.chip);

    const SENSOR_INFO sensorInfo = info();
    EXPECT_STREQ(c.name, sensorInfo.pszSensorName);
    EXPECT_STREQ(c.version, sensorInfo.pszSensorVersion);
    EXPECT_EQ(c.bayer, sensorInfo.eBayerOriginal);
    EXPECT_EQ(c.bayer, sensorInfo.eBayerEnabled);
    EXPECT_EQ(c.imager, sensorInfo.ui8Imager);
    EXPECT_DOUBLE_EQ(1.2, sensorInfo.fNumber);
    EXPECT_DOUBLE_EQ(5.0, sensorInfo.flReadNoise);
    EXPECT_TRUE(sensorInfo.bBackFacing);
    EXPECT_EQ(SENSOR_STATE_IDLE, sensorInfo.sStatus.eState);

    double gainMin = 0, gainMax = 0;
    QOV_UINT8 contexts = 9;
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetGainRange(m_handle, &gainMin, &gainMax, &contexts));
    EXPECT_DOUBLE_EQ(1.0, gainMin);
    EXPECT_DOUBLE_EQ(c.gainMax, gainMax);

    // power-down driven to the board's level; reset requested high, pulsed
    // low for 1 ms, then high with 100 ms to settle
    const auto pwdn = GpioBank::instance().eventsOf("gpiochip0", c.pwdnLine);
    ASSERT_EQ(1u, pwdn.size());
    EXPECT_EQ(GpioEvent::REQUEST, pwdn[0].kind);
    EXPECT_EQ(1, pwdn[0].value);
    EXPECT_EQ("Sensor", pwdn[0].consumer);
    const auto reset = GpioBank::instance().eventsOf("gpiochip0", c.resetLine);
    ASSERT_EQ(3u, reset.size());
    EXPECT_EQ(GpioEvent::REQUEST, reset[0].kind);
    EXPECT_EQ(1, reset[0].value);
    EXPECT_EQ(GpioEvent::SET, reset[1].kind);
    EXPECT_EQ(0, reset[1].value);
    EXPECT_EQ(GpioEvent::SET, reset[2].kind);
    EXPECT_EQ(1, reset[2].value);
    ASSERT_GE(Sleeps::log().size(), 2u);
    const std::vector<uint64_t> powerSleeps(Sleeps::log().begin(), Sleeps::log().begin() + 2);
    EXPECT_EQ((std::vector<uint64_t>{1000, 100000}), powerSleeps);

    // destroying closes the chips, which releases the lines
    ASSERT_EQ(QOV_SUCCESS, Sensor_Destroy(m_handle));
    m_handle = nullptr;
    EXPECT_FALSE(GpioBank::instance().requested("gpiochip0", c.resetLine));
    EXPECT_FALSE(GpioBank::instance().requested("gpiochip0", c.pwdnLine));
}

TEST_P(C3Chip, ListsItsModes)
{
    const ChipCase &c = GetParam();
    open(c.chip);
    unsigned listed = 0;
    SENSOR_MODE mode{};
    while (Sensor_GetMode(m_handle, static_cast<QOV_UINT16>(listed), &mode) == QOV_SUCCESS)
        ++listed;
    EXPECT_EQ(c.listedModes, listed);
}

TEST_P(C3Chip, StreamsThroughPhyAndGasketUntilDisabled)
{
    const ChipCase &c = GetParam();
    auto chip = stream(c.chip, 0);

    SENSOR_MODE mode{};
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetMode(m_handle, 0, &mode));
    EXPECT_EQ(SENSOR_STATE_RUNNING, info().sStatus.eState);
    EXPECT_TRUE(chip->streaming());
    auto phy = SensorBoard::instance().phy(c.phy);
    ASSERT_NE(nullptr, phy);
    EXPECT_TRUE(phy->enabled());
    EXPECT_EQ(mode.ui8MipiLanes, phy->state().mipiLanes);
    EXPECT_EQ(mode.ui8MipiHsFreqRange, phy->state().mipiHsFreqRange);
    EXPECT_EQ(mode.ui8MipiOscFreq, phy->state().mipiOscFreq);
    EXPECT_EQ(chip, SensorBoard::instance().sourceOf(c.gasket));

    // the chip sends what the driver describes
    const simboard::ChipFrameFormat format = chip->frameFormat();
    EXPECT_EQ(mode.ui16Width, format.width);
    EXPECT_EQ(mode.ui16Height, format.height);
    EXPECT_EQ(mode.ui8BitDepth, format.bitDepth);
    EXPECT_EQ(info().eBayerOriginal, format.mosaic);
    EXPECT_NEAR(mode.flFrameRate, format.frameRate, 0.01);

    Sleeps::clear();
    ASSERT_EQ(QOV_SUCCESS, Sensor_Disable(m_handle));
    EXPECT_EQ(SENSOR_STATE_IDLE, info().sStatus.eState);
    EXPECT_FALSE(chip->streaming());
    EXPECT_FALSE(phy->enabled());
    EXPECT_EQ(0, phy->state().mipiLanes);
    EXPECT_EQ(nullptr, SensorBoard::instance().sourceOf(c.gasket));
    // one frame time for the frame in flight
    ASSERT_FALSE(Sleeps::log().empty());
    EXPECT_EQ(static_cast<uint64_t>(std::floor(1e6 / mode.flFrameRate)), Sleeps::log().front());

    // a second disable does nothing
    chip->clearWrites();
    EXPECT_EQ(QOV_SUCCESS, Sensor_Disable(m_handle));
    EXPECT_TRUE(chip->writes().empty());
}

TEST_P(C3Chip, DestroyStopsAStreamingChip)
{
    const ChipCase &c = GetParam();
    auto chip = stream(c.chip, 0);
    ASSERT_TRUE(chip->streaming());
    ASSERT_EQ(QOV_SUCCESS, Sensor_Destroy(m_handle));
    m_handle = nullptr;
    EXPECT_FALSE(chip->streaming());
    EXPECT_FALSE(SensorBoard::instance().phy(c.phy)->enabled());
}

// A second Enable of a streaming sensor is refused and changes nothing: the
// chip, the PHY and the gasket stay on, and Destroy still stops them.
TEST_P(C3Chip, SecondEnableKeepsTheSensorStreaming)
{
    const ChipCase &c = GetParam();
    auto chip = stream(c.chip, 0);
    auto phy = SensorBoard::instance().phy(c.phy);
    ASSERT_NE(nullptr, phy);
    const size_t switches = phy->switches().size();
    chip->clearWrites();

    const auto out = sensortest::captureOutput([&] { EXPECT_EQ(QOV_ERROR_WRONG_STATE, Sensor_Enable(m_handle)); });
    EXPECT_NE(std::string::npos, (out.out + out.err).find(std::string(c.name) + " is already enabled\n"))
        << out.out << out.err;
    EXPECT_TRUE(chip->writes().empty());
    EXPECT_EQ(switches, phy->switches().size());
    EXPECT_TRUE(chip->streaming());
    EXPECT_TRUE(phy->enabled());
    EXPECT_EQ(chip, SensorBoard::instance().sourceOf(c.gasket));
    EXPECT_EQ(SENSOR_STATE_RUNNING, info().sStatus.eState);

    ASSERT_EQ(QOV_SUCCESS, Sensor_Destroy(m_handle));
    m_handle = nullptr;
    EXPECT_FALSE(chip->streaming());
    EXPECT_FALSE(phy->enabled());
    EXPECT_EQ(nullptr, SensorBoard::instance().sourceOf(c.gasket));
}

TEST_P(C3Chip, SceneFollowsExposureAndGain)
{
    const ChipCase &c = GetParam();
    auto chip = stream(c.chip, 0);
    ASSERT_EQ(QOV_SUCCESS, Sensor_SetExposure(m_handle, 10000, 0));
    ASSERT_EQ(QOV_SUCCESS, Sensor_SetGain(m_handle, 2.0, 0));

    QOV_UINT32 exposure = 0;
    double gain = 0;
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetExposure(m_handle, &exposure, 0));
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetCurrentGain(m_handle, &gain, 0));
    EXPECT_EQ(10000u, exposure);
    EXPECT_DOUBLE_EQ(2.0, gain);
    // whole lines of the rounded-down line time: within 6 %
    EXPECT_NEAR(10000.0, chip->exposureUs(), 600.0);
    EXPECT_NEAR(2.0, chip->gain(), 0.02);
}

TEST_P(C3Chip, ExposureAndGainBeforeAnyModeAreHarmless)
{
    const ChipCase &c = GetParam();
    open(c.chip);
    EXPECT_EQ(QOV_SUCCESS, Sensor_SetExposure(m_handle, 10000, 0));
    EXPECT_EQ(QOV_SUCCESS, Sensor_SetGain(m_handle, 4.0, 0));
    EXPECT_EQ(QOV_SUCCESS, Sensor_SetGain(m_handle, -3.0, 0));
}

TEST_P(C3Chip, AbsentChipFailsTheBringUp)
{
    const ChipCase &c = GetParam();
    SENSOR_HANDLE handle = reinterpret_cast<SENSOR_HANDLE>(0x1);
    EXPECT_EQ(QOV_ERROR_DEVICE_FAILED, Sensor_Initialise(c.sensor, &handle));
    EXPECT_EQ(nullptr, handle);
}

TEST_P(C3Chip, WrongChipIdFailsTheBringUp)
{
    const ChipCase &c = GetParam();
    // a chip of another identity: the bring-up's reset pulse restores the power-on value
    ChipModel model = chipModel(c.chip);
    const SimChip original(model);
    model.targets[0].setInitial(c.idRegister, static_cast<uint8_t>(original.reg(c.idRegister) ^ 0x10));
    SensorBoard::instance().place(c.bus, model);
    SENSOR_HANDLE handle = nullptr;
    const auto output = sensortest::captureOutput(
        [&] { EXPECT_EQ(QOV_ERROR_DEVICE_FAILED, Sensor_Initialise(c.sensor, &handle)); });
    EXPECT_EQ(nullptr, handle);
    EXPECT_NE(std::string::npos, output.err.find("Failed to ensure that the i2c device has a compatible"));
}

TEST_P(C3Chip, ChipThatStopsAnsweringIsNotVerified)
{
    const ChipCase &c = GetParam();
    auto chip = open(c.chip);
    chip->setResponding(false);
    EXPECT_STREQ("not-verified", info().pszSensorVersion);
}

// A chip that stopped answering: exposure, gain and Enable report the writes
// it does not take (the values asked for are kept). The S5K3P9's Enable stops
// earlier, at the frame counter it cannot read.
TEST_P(C3Chip, FailedWritesAreReported)
{
    const ChipCase &c = GetParam();
    auto chip = open(c.chip);
    ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 0, SENSOR_FLIP_NONE));
    chip->setResponding(false);
    sensortest::captureOutput([&] {
        EXPECT_EQ(QOV_ERROR_I2C_FAILED, Sensor_SetExposure(m_handle, 10000, 0));
        EXPECT_EQ(QOV_ERROR_I2C_FAILED, Sensor_SetGain(m_handle, 2.0, 0));
    });
    QOV_UINT32 exposure = 0;
    double gain = 0;
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetExposure(m_handle, &exposure, 0));
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetCurrentGain(m_handle, &gain, 0));
    EXPECT_EQ(10000u, exposure);
    EXPECT_DOUBLE_EQ(2.0, gain);
    sensortest::captureOutput([&] {
        EXPECT_EQ(c.chip == S5K3P9 ? QOV_ERROR_NOT_SUPPORTED : QOV_ERROR_I2C_FAILED, Sensor_Enable(m_handle));
    });
    EXPECT_FALSE(chip->streaming());
}

TEST_P(C3Chip, FocusSlotsOnlyWithALens)
{
    const ChipCase &c = GetParam();
    open(c.chip);
    QOV_UINT16 low = 0, high = 0;
    EXPECT_EQ(c.focus ? QOV_SUCCESS : QOV_ERROR_NOT_SUPPORTED, Sensor_GetFocusRange(m_handle, &low, &high));
    EXPECT_EQ(c.focus ? QOV_SUCCESS : QOV_ERROR_NOT_SUPPORTED, Sensor_SetFocus(m_handle, 300));
}

INSTANTIATE_TEST_SUITE_P(Chips, C3Chip, testing::ValuesIn(kChips), chipParamName);

/*--------------------------------------------------------------------------
 * Mode descriptions
 *-------------------------------------------------------------------------*/

struct ModeCase {
    Chip chip;
    QOV_UINT16 mode;
    QOV_UINT16 width, height;
    QOV_UINT8 bits, lanes;
    QOV_UINT16 hTotal, vTotal;
    QOV_UINT32 exposureMin, exposureMax;
    double frameRate;
    QOV_UINT8 hsFreqRange;
    QOV_UINT16 oscFreq;
    QOV_UINT8 flips;
};

// Line times: IMX415 and IMX662 HMAX / 74.25, IMX335 HMAX / 37.125, IMX327
// 10^6 / (rate x VMAX), GC8034 HTS / 320, S5K3P9 LL / 560 (microseconds).
const ModeCase kModes[] = {
    {IMX415, 0, 3864, 2192, 12, 4, 1100, 2250, 112, 33274, 30.0, 41, 438, 3},
    {IMX415, 1, 3864, 2192, 12, 4, 650, 2250, 64, 19661, 50.77, 62, 306, 3},
    {IMX415, 2, 3864, 2192, 12, 4, 550, 2250, 56, 16637, 60.0, 62, 306, 3},
    {IMX415, 3, 3864, 2192, 10, 4, 366, 2250, 32, 11071, 90.16, 71, 420, 3},
    {IMX415, 4, 3864, 2192, 12, 4, 1100, 2250, 112, 33274, 30.0, 41, 438, 3},
    {IMX415, 5, 3864, 2192, 12, 4, 550, 2250, 56, 16637, 60.0, 62, 306, 3},
    {IMX415, 6, 3864, 2192, 12, 2, 2200, 2250, 232, 66548, 15.0, 41, 438, 3},
    {IMX415, 7, 3864, 2192, 12, 4, 650, 2250, 64, 19661, 50.77, 62, 306, 3},
    {IMX415, 8, 3072, 2192, 12, 4, 550, 2250, 56, 16637, 60.0, 62, 306, 3},
    {IMX415, 9, 3072, 2192, 12, 4, 1100, 2250, 112, 33274, 30.0, 41, 438, 3},
    {IMX335, 0, 2592, 1944, 10, 4, 275, 4500, 7, 33266, 60.0, 59, 438, 3},
    {IMX335, 1, 2592, 1944, 12, 4, 550, 4500, 14, 66533, 30.0, 25, 438, 3},
    {IMX335, 2, 2592, 1940, 12, 4, 550, 4500, 14, 66533, 30.0, 7, 438, 0},
    {IMX335, 3, 2592, 1944, 10, 4, 275, 4500, 7, 33266, 60.0, 59, 438, 3},
    {IMX335, 4, 2592, 1944, 10, 2, 550, 4500, 14, 66533, 30.0, 59, 438, 3},
    {IMX335, 5, 2592, 1944, 10, 2, 806, 4500, 21, 97501, 20.47, 59, 438, 3},
    {IMX335, 6, 2592, 1944, 10, 4, 275, 4500, 7, 33266, 60.0, 59, 438, 3},
    {IMX335, 7, 2592, 1944, 12, 4, 550, 4500, 14, 66533, 30.0, 25, 438, 3},
    {IMX327, 0, 1920, 1080, 12, 2, 4400, 1125, 29, 33274, 30.0, 22, 0, 3},
    {IMX327, 1, 1920, 1080, 12, 4, 2200, 1125, 14, 16637, 60.0, 22, 0, 3},
    {IMX662, 0, 1936, 1100, 12, 4, 1980, 1250, 26, 32396, 30.0, 7, 0, 3},
    {IMX662, 1, 1936, 1100, 12, 4, 990, 1250, 13, 16198, 60.0, 7, 0, 3},
    {IMX662, 2, 1936, 1100, 10, 4, 660, 1250, 8, 9968, 90.0, 57, 0, 3},
    {IMX662, 3, 1936, 1100, 10, 4, 990, 2500, 13, 32396, 30.0, 7, 0, 3},
    {GC8034, 0, 3264, 2448, 10, 4, 4272, 2516, 53, 33535, 29.77, 24, 0, 3},
    {GC8034, 16, 1632, 1224, 10, 2, 4272, 2516, 53, 33535, 14.89, 24, 0, 3},
    {GC5035, 0, 2592, 1944, 10, 2, 2920, 2000, 33, 16633, 30.0, 25, 0, 3},
    {S5K3P9, 0, 4640, 3488, 10, 4, 5088, 3668, 63, 33253, 30.01, 12, 438, 3},
    {S5K3P9, 1, 4096, 3488, 10, 4, 5088, 3668, 63, 33253, 30.01, 12, 438, 3},
    {S5K3P9, 2, 3840, 2160, 10, 4, 5088, 3668, 63, 33253, 30.01, 12, 438, 3},
    {S5K3P9, 3, 2320, 1744, 10, 4, 8496, 2196, 105, 33195, 30.02, 44, 438, 3},
    {S5K3P9, 4, 1920, 1080, 10, 4, 5088, 1833, 63, 16581, 60.05, 12, 438, 3},
    {S5K3P9, 5, 720, 1600, 10, 4, 5088, 1833, 63, 16581, 60.05, 12, 438, 3},
    {S5K3P9, 6, 1280, 720, 10, 4, 5088, 917, 63, 8258, 120.02, 26, 438, 3},
};

std::string modeParamName(const testing::TestParamInfo<ModeCase> &info)
{
    return std::string(chipCase(info.param.chip).name) + "_mode" + std::to_string(info.param.mode);
}

class C3Mode : public C3Test, public testing::WithParamInterface<ModeCase> {};

TEST_P(C3Mode, DescribesTheModeAndSelectsIt)
{
    const ModeCase &m = GetParam();
    auto chip = open(m.chip);
    SENSOR_MODE mode{};
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetMode(m_handle, m.mode, &mode));
    EXPECT_EQ(m.width, mode.ui16Width);
    EXPECT_EQ(m.height, mode.ui16Height);
    EXPECT_EQ(m.bits, mode.ui8BitDepth);
    EXPECT_EQ(m.lanes, mode.ui8MipiLanes);
    EXPECT_EQ(m.hTotal, mode.ui16HorizontalTotal);
    EXPECT_EQ(m.vTotal, mode.ui16VerticalTotal);
    EXPECT_EQ(m.exposureMin, mode.ui32ExposureMin);
    EXPECT_EQ(m.exposureMax, mode.ui32ExposureMax);
    EXPECT_NEAR(m.frameRate, mode.flFrameRate, 0.01);
    EXPECT_EQ(m.hsFreqRange, mode.ui8MipiHsFreqRange);
    EXPECT_EQ(m.oscFreq, mode.ui8MipiOscFreq);
    EXPECT_EQ(m.flips, mode.ui8SupportFlipping);

    // selecting it makes it the current mode with that exposure range
    ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, m.mode, SENSOR_FLIP_NONE));
    QOV_UINT32 low = 0, high = 0;
    QOV_UINT8 contexts = 0;
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetExposureRange(m_handle, &low, &high, &contexts));
    EXPECT_EQ(m.exposureMin, low);
    EXPECT_EQ(m.exposureMax, high);
    const SENSOR_INFO sensorInfo = info();
    EXPECT_EQ(m.mode, sensorInfo.sStatus.ui16CurrentMode);
    EXPECT_EQ(m.width, sensorInfo.sMode.ui16Width);

    // streamed, the chip sends that size, having been sent the lists and nothing past their ends
    ASSERT_EQ(QOV_SUCCESS, Sensor_Enable(m_handle));
    EXPECT_TRUE(chip->streaming());
    EXPECT_EQ(m.width, chip->frameFormat().width);
    EXPECT_EQ(m.height, chip->frameFormat().height);
    sensortest::expectNoListEndWritten(*chip);
}

INSTANTIATE_TEST_SUITE_P(Modes, C3Mode, testing::ValuesIn(kModes), modeParamName);

/*--------------------------------------------------------------------------
 * Exposure and gain registers
 *-------------------------------------------------------------------------*/

// After selecting `mode`, set the exposure (when not 0), then the gain (when
// not 0), and find these register values.
struct RegisterCase {
    const char *label;
    Chip chip;
    QOV_UINT16 mode;
    QOV_UINT32 exposure;
    double gain;
    Registers expected;
};

const RegisterCase kRegisterCases[] = {
    // IMX415 mode 0: line time 14.81 us, ExposureMin 112 = 8 whole lines, VMAX 2250.
    // 10000 * 8 / 112 = 714 lines, shutter 2250 - 714 = 1536 = 0x600.
    {"IMX415_exposure_10ms", IMX415, 0, 10000, 0, {{0x3050, 0x00}, {0x3051, 0x06}, {0x3052, 0x00}}},
    // 1 us: 0 lines, raised to 4, shutter 2246 = 0x8C6.
    {"IMX415_exposure_1us", IMX415, 0, 1, 0, {{0x3050, 0xC6}, {0x3051, 0x08}, {0x3052, 0x00}}},
    // 20 log10(3981) / 0.3 = 239.99 steps: 239 = 0xEF.
    {"IMX415_gain_max", IMX415, 0, 0, 3981.0, {{0x3090, 0xEF}, {0x3091, 0x00}}},
    // 20 log10(2) / 0.3 = 20.07: 20 steps.
    {"IMX415_gain_2", IMX415, 0, 0, 2.0, {{0x3090, 0x14}, {0x3091, 0x00}}},
    // below unity: no negative step count
    {"IMX415_gain_half", IMX415, 0, 0, 0.5, {{0x3090, 0x00}, {0x3091, 0x00}}},
    // 10^(300 x 0.3 / 20) = 10^4.5: 300 steps = 0x12C, bit 8 in 0x3091
    {"IMX415_gain_300_steps", IMX415, 0, 0, 31622.8, {{0x3090, 0x2C}, {0x3091, 0x01}}},
    // 20 log10(1e9) / 0.3 = 600 steps: held at the 9 bits of the register, 0x1FF
    {"IMX415_gain_beyond_the_register", IMX415, 0, 0, 1e9, {{0x3090, 0xFF}, {0x3091, 0x01}}},
    // IMX335 mode 0: line time 7.41 us, ExposureMin 7, VMAX 4500.
    // 10000 / 7 = 1428 lines, shutter 3072 = 0xC00.
    {"IMX335_exposure_10ms", IMX335, 0, 10000, 0, {{0x3058, 0x00}, {0x3059, 0x0C}, {0x305A, 0x00}}},
    // below the minimum: 1 line, shutter 4499 = 0x1193.
    {"IMX335_exposure_short", IMX335, 0, 6, 0, {{0x3058, 0x93}, {0x3059, 0x11}, {0x305A, 0x00}}},
    // longer than the frame: 4500 - 9 lines, shutter 9.
    {"IMX335_exposure_long", IMX335, 0, 1000000, 0, {{0x3058, 0x09}, {0x3059, 0x00}, {0x305A, 0x00}}},
    {"IMX335_gain_2", IMX335, 0, 0, 2.0, {{0x30E8, 0x14}, {0x30E9, 0x00}}},
    // 2666 steps: held at 11 bits, 0x7FF
    {"IMX335_gain_beyond_the_register", IMX335, 0, 0, 1e40, {{0x30E8, 0xFF}, {0x30E9, 0x07}}},
    // IMX327 mode 1: line time 14.81 us, ExposureMin 14, VMAX 1125.
    // 10000 / 14 = 714 lines, shutter 1124 - 714 = 410 = 0x19A.
    {"IMX327_exposure_10ms", IMX327, 1, 10000, 0, {{0x3020, 0x9A}, {0x3021, 0x01}, {0x3022, 0x00}}},
    // longer than the frame: 1123 lines, shutter 1.
    {"IMX327_exposure_long", IMX327, 1, 1000000, 0, {{0x3020, 0x01}, {0x3021, 0x00}, {0x3022, 0x00}}},
    // 20 log10(2818) / 0.3 = 229.998: 229 = 0xE5.
    {"IMX327_gain_max", IMX327, 1, 0, 2818.0, {{0x3014, 0xE5}}},
    // 333 steps: held at 8 bits
    {"IMX327_gain_beyond_the_register", IMX327, 1, 0, 1e5, {{0x3014, 0xFF}}},
    // IMX662 mode 0: line time 26.67 us, ExposureMin 26, ExposureMax 32396, VMAX 1250.
    // 10000 / 26 = 384 lines, shutter 866 = 0x362.
    {"IMX662_exposure_10ms", IMX662, 0, 10000, 0, {{0x3050, 0x62}, {0x3051, 0x03}, {0x3052, 0x00}}},
    // 32396 / 26 = 1246 lines at most, shutter 4.
    {"IMX662_exposure_long", IMX662, 0, 1000000, 0, {{0x3050, 0x04}, {0x3051, 0x00}, {0x3052, 0x00}}},
    // 20 log10(15.85) / 0.3 = 80.002: 80 = 0x50.
    {"IMX662_gain_max", IMX662, 0, 0, 15.85, {{0x3070, 0x50}, {0x3071, 0x00}}},
    {"IMX662_gain_beyond_the_register", IMX662, 0, 0, 1e40, {{0x3070, 0xFF}, {0x3071, 0x07}}},
    // GC8034 4 lanes: ExposureMin 53 (four rows of 13.35 us), VTS 2516.
    // 10000 * 4 / 53 = 754 = 0x2F2 lines, even, so no digital correction;
    // gain 2.0: g64 128 >= 125, level 2; (128 * 256 / 125) * 256 = 262 * 256 = 0x10600.
    {"GC8034_exposure_10ms_gain_2", GC8034, 0, 10000, 2.0,
     {{0x03, 0x02}, {0x04, 0xF2}, {0xB6, 0x02}, {0xB1, 0x01}, {0xB2, 0x06},
      // row 2 of the level table: 0x20 = 0x4E, 0x33 = 0x84, then page 1 0xDF = 0x0C ... 0xEE = 0xD8
      {0x20, 0x4E}, {0x33, 0x84}, {0xDF, 0x0C}, {0xE7, 0x2E}, {0xEE, 0xD8}}},
    // 95 * 4 / 53 = 7 lines, odd: ratio 7 * 256 / 6 = 298; gain 2.0 then
    // 262 * 298 = 78076 = 0x130FC.
    {"GC8034_odd_lines_gain_2", GC8034, 0, 95, 2.0,
     {{0x03, 0x00}, {0x04, 0x07}, {0xB6, 0x02}, {0xB1, 0x01}, {0xB2, 0x30}}},
    // fewer than 4 lines: 4 lines.
    {"GC8034_exposure_1us", GC8034, 0, 1, 0, {{0x03, 0x00}, {0x04, 0x04}}},
    // gain 16.0: g64 1024, level 7 (684); 1024 * 256 / 684 = 383; 383 * 256 = 0x17F00.
    {"GC8034_gain_max", GC8034, 0, 10000, 16.0, {{0xB6, 0x07}, {0xB1, 0x01}, {0xB2, 0x7F}, {0x20, 0x52}}},
    // g64 held at 0xFFFF: 65535 * 256 / 684 = 24527; 24527 * 256 = 0x5FCF00.
    {"GC8034_gain_beyond_16_bits", GC8034, 0, 10000, 2000.0, {{0xB6, 0x07}, {0xB1, 0x5F}, {0xB2, 0xCF}}},
    // below unity: level 0 at unity, also just below it (63 / 64)
    {"GC8034_gain_half", GC8034, 0, 10000, 0.5, {{0xB6, 0x00}, {0xB1, 0x01}, {0xB2, 0x00}, {0x20, 0x55}}},
    {"GC8034_gain_just_below_unity", GC8034, 0, 10000, 0.99, {{0xB6, 0x00}, {0xB1, 0x01}, {0xB2, 0x00}}},
    // either side of the first level's end: g64 87 stays at level 0 with digital
    // 87 * 256 / 64 = 348 -> 0x15C00; g64 88 is level 1 with unity digital gain.
    {"GC8034_gain_top_of_level_0", GC8034, 0, 10000, 87.0 / 64, {{0xB6, 0x00}, {0xB1, 0x01}, {0xB2, 0x5C}}},
    {"GC8034_gain_start_of_level_1", GC8034, 0, 10000, 88.0 / 64, {{0xB6, 0x01}, {0xB1, 0x01}, {0xB2, 0x00}}},
    // GC5035: ExposureMin 33, VTS 2000. 10000 * 4 / 33 = 1212 = 0x4BC lines, even;
    // gain 2.0: g64 128, level (126, 8); 128 * 256 / 126 = 260 -> 0xB1 = 4, 0xB2 = (260 & 63) << 2 = 0x10.
    {"GC5035_exposure_10ms_gain_2", GC5035, 0, 10000, 2.0,
     {{0x03, 0x04}, {0x04, 0xBC}, {0xB6, 0x08}, {0xB1, 0x04}, {0xB2, 0x10}}},
    // gain 16.0: g64 1024, level (998, 20); 1024 * 256 / 998 = 262 -> 4, (6 << 2) = 0x18.
    {"GC5035_gain_max", GC5035, 0, 10000, 16.0, {{0xB6, 0x14}, {0xB1, 0x04}, {0xB2, 0x18}}},
    // 20.0 is taken as 16.0.
    {"GC5035_gain_above_max", GC5035, 0, 10000, 20.0, {{0xB6, 0x14}, {0xB1, 0x04}, {0xB2, 0x18}}},
    // 0.5 is taken as 1.0: level (64, 0), 64 * 256 / 64 = 256 -> 4, 0.
    {"GC5035_gain_below_unity", GC5035, 0, 10000, 0.5, {{0xB6, 0x00}, {0xB1, 0x04}, {0xB2, 0x00}}},
    {"GC5035_gain_just_below_unity", GC5035, 0, 10000, 0.99, {{0xB6, 0x00}, {0xB1, 0x04}, {0xB2, 0x00}}},
    // 42 * 4 / 33 = 5 lines, odd: ratio 5 * 256 / 4 = 320; gain 2.0: 128 * 320 / 126 = 325
    // -> 0xB1 = 5, 0xB2 = (325 & 63) << 2 = 0x14.
    {"GC5035_odd_lines_gain_2", GC5035, 0, 42, 2.0,
     {{0x03, 0x00}, {0x04, 0x05}, {0xB6, 0x08}, {0xB1, 0x05}, {0xB2, 0x14}}},
    {"GC5035_exposure_1us", GC5035, 0, 1, 0, {{0x03, 0x00}, {0x04, 0x04}}},
    // At most VTS - 4 = 1996 = 0x7CC lines: 16476 * 4 / 33 = 1997 is held there,
    // 16467 * 4 / 33 = 1996 exactly, 16459 * 4 / 33 = 1995 passes.
    {"GC5035_exposure_long", GC5035, 0, 1000000, 0, {{0x03, 0x07}, {0x04, 0xCC}}},
    {"GC5035_exposure_one_line_over", GC5035, 0, 16476, 0, {{0x03, 0x07}, {0x04, 0xCC}}},
    {"GC5035_exposure_at_frame_length", GC5035, 0, 16467, 0, {{0x03, 0x07}, {0x04, 0xCC}}},
    {"GC5035_exposure_one_line_under", GC5035, 0, 16459, 0, {{0x03, 0x07}, {0x04, 0xCB}}},
    // GC8034 4 lanes: at most 2516 - 4 = 2512 = 0x9D0 lines.
    {"GC8034_exposure_long", GC8034, 0, 1000000, 0, {{0x03, 0x09}, {0x04, 0xD0}}},
    // S5K3P9 mode 0: line time 9.09 us, whole 9; 10000 / 9 = 1111 = 0x457 lines.
    {"S5K3P9_exposure_10ms", S5K3P9, 0, 10000, 0, {{0x0202, 0x04}, {0x0203, 0x57}}},
    // 10^6 / 9 = 111111 lines: more than 16 bits hold, so the register's largest count
    {"S5K3P9_exposure_1s", S5K3P9, 0, 1000000, 0, {{0x0202, 0xFF}, {0x0203, 0xFF}}},
    // gain x 32
    {"S5K3P9_gain_2", S5K3P9, 0, 0, 2.0, {{0x0204, 0x00}, {0x0205, 0x40}}},
    {"S5K3P9_gain_max", S5K3P9, 0, 0, 16.0, {{0x0204, 0x02}, {0x0205, 0x00}}},
};

std::string registerParamName(const testing::TestParamInfo<RegisterCase> &info) { return info.param.label; }

class C3Registers : public C3Test, public testing::WithParamInterface<RegisterCase> {};

TEST_P(C3Registers, WritesTheChipsEncoding)
{
    const RegisterCase &r = GetParam();
    auto chip = open(r.chip);
    ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, r.mode, SENSOR_FLIP_NONE));
    chip->clearWrites();
    if (r.exposure) {
        ASSERT_EQ(QOV_SUCCESS, Sensor_SetExposure(m_handle, r.exposure, 0));
        QOV_UINT32 stored = 0;
        ASSERT_EQ(QOV_SUCCESS, Sensor_GetExposure(m_handle, &stored, 0));
        EXPECT_EQ(r.exposure, stored);
    }
    if (r.gain != 0) {
        ASSERT_EQ(QOV_SUCCESS, Sensor_SetGain(m_handle, r.gain, 0));
        double stored = 0;
        ASSERT_EQ(QOV_SUCCESS, Sensor_GetCurrentGain(m_handle, &stored, 0));
        EXPECT_DOUBLE_EQ(r.gain, stored);
    }
    expectRegisters(*chip, r.expected);
    // each one written by the settings, a zero included
    for (const auto &[address, value] : r.expected)
        EXPECT_TRUE(chip->wasWritten(address)) << "register 0x" << std::hex << address;
}

INSTANTIATE_TEST_SUITE_P(Encodings, C3Registers, testing::ValuesIn(kRegisterCases), registerParamName);

/*--------------------------------------------------------------------------
 * Flips
 *-------------------------------------------------------------------------*/

struct FlipCase {
    const char *label;
    Chip chip;
    QOV_UINT16 mode;
    QOV_UINT8 flips;
    Registers expected;  // after streaming starts
    MOSAICType bayer;    // reported by the driver and sent by the chip
};

const FlipCase kFlipCases[] = {
    {"IMX415_both", IMX415, 0, SENSOR_FLIP_BOTH, {{0x3030, 0x03}}, MOSAIC_GBRG},
    {"IMX415_horizontal", IMX415, 0, SENSOR_FLIP_HORIZONTAL, {{0x3030, 0x01}}, MOSAIC_GBRG},
    {"IMX335_vertical", IMX335, 0, SENSOR_FLIP_VERTICAL,
     {{0x304E, 0x00}, {0x304F, 0x01}, {0x3081, 0xFE}, {0x3083, 0xFE}, {0x30B6, 0xFA}, {0x30B7, 0x01}, {0x3116, 0x02}},
     MOSAIC_RGGB},
    {"IMX335_horizontal", IMX335, 0, SENSOR_FLIP_HORIZONTAL,
     {{0x304E, 0x01}, {0x304F, 0x00}, {0x3081, 0x02}, {0x3083, 0x02}, {0x30B6, 0x00}, {0x30B7, 0x00}, {0x3116, 0x08}},
     MOSAIC_RGGB},
    // bit 1 is the horizontal flip, bit 0 the vertical one
    {"IMX327_horizontal", IMX327, 0, SENSOR_FLIP_HORIZONTAL, {{0x3007, 0x02}}, MOSAIC_RGGB},
    {"IMX327_vertical", IMX327, 0, SENSOR_FLIP_VERTICAL, {{0x3007, 0x01}}, MOSAIC_RGGB},
    {"IMX662_both", IMX662, 0, SENSOR_FLIP_BOTH, {{0x3020, 0x01}, {0x3021, 0x01}}, MOSAIC_RGGB},
    {"IMX662_vertical", IMX662, 0, SENSOR_FLIP_VERTICAL, {{0x3020, 0x00}, {0x3021, 0x01}}, MOSAIC_RGGB},
    {"GC8034_horizontal", GC8034, 0, SENSOR_FLIP_HORIZONTAL, {}, MOSAIC_GRBG},
    {"GC8034_both", GC8034, 16, SENSOR_FLIP_BOTH, {}, MOSAIC_BGGR},
    {"GC5035_vertical", GC5035, 0, SENSOR_FLIP_VERTICAL, {}, MOSAIC_GBRG},
    {"GC5035_none", GC5035, 0, SENSOR_FLIP_NONE, {}, MOSAIC_RGGB},
    {"S5K3P9_both", S5K3P9, 0, SENSOR_FLIP_BOTH, {{0x0101, 0x03}}, MOSAIC_GBRG},
    {"S5K3P9_horizontal", S5K3P9, 3, SENSOR_FLIP_HORIZONTAL, {{0x0101, 0x01}}, MOSAIC_RGGB},
    {"S5K3P9_vertical", S5K3P9, 6, SENSOR_FLIP_VERTICAL, {{0x0101, 0x02}}, MOSAIC_BGGR},
};

std::string flipParamName(const testing::TestParamInfo<FlipCase> &info) { return info.param.label; }

class C3Flip : public C3Test, public testing::WithParamInterface<FlipCase> {};

TEST_P(C3Flip, ReachesTheChipAndTheBayerOrder)
{
    const FlipCase &f = GetParam();
    auto chip = stream(f.chip, f.mode, f.flips);
    expectRegisters(*chip, f.expected);
    const SENSOR_INFO sensorInfo = info();
    EXPECT_EQ(f.flips, sensorInfo.sStatus.ui8Flipping);
    EXPECT_EQ(f.bayer, sensorInfo.eBayerOriginal);
    EXPECT_EQ(f.bayer, chip->frameFormat().mosaic);
    EXPECT_TRUE(chip->streaming());
}

INSTANTIATE_TEST_SUITE_P(Flips, C3Flip, testing::ValuesIn(kFlipCases), flipParamName);

TEST_F(C3Test, Imx335WritesTheVerticalReadoutBlockBeforeTheFlip)
{
    auto chip = stream(IMX335, 0, SENSOR_FLIP_VERTICAL);
    const long block = firstWrite(*chip, 0x3081, 0xFE);
    const long flip = firstWrite(*chip, 0x304F, 0x01);
    ASSERT_GE(block, 0);
    ASSERT_GE(flip, 0);
    EXPECT_LT(block, flip);
}

TEST_F(C3Test, Imx335CropModeRefusesFlips)
{
    open(IMX335);
    const auto output = sensortest::captureOutput([&] {
        EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, Sensor_SetMode(m_handle, 2, SENSOR_FLIP_HORIZONTAL));
        EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, Sensor_SetMode(m_handle, 2, SENSOR_FLIP_VERTICAL));
    });
    EXPECT_NE(std::string::npos, output.err.find("sensor mode does not support selected flipping 0x1 (supports 0x0)"));
    EXPECT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 2, SENSOR_FLIP_NONE));
}

/*--------------------------------------------------------------------------
 * Chip specifics
 *-------------------------------------------------------------------------*/

TEST_F(C3Test, Imx415ModeListsEndWithTheCommonTuning)
{
    auto chip = stream(IMX415, 0);
    // streaming started by the mode list, then the tuning values
    const long start = firstWrite(*chip, 0x3000, 0x00);
    const long tuning = firstWrite(*chip, 0x32D4, 0x21);
    ASSERT_GE(start, 0);
    EXPECT_GT(tuning, start);
    EXPECT_EQ(0xA1, chip->reg(0x32EC));
}

TEST_F(C3Test, Imx327StartsEachModeWithASoftwareReset)
{
    auto chip = open(IMX327);
    ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 1, SENSOR_FLIP_NONE));
    Sleeps::clear();
    ASSERT_EQ(QOV_SUCCESS, Sensor_Enable(m_handle));
    ASSERT_FALSE(chip->writes().empty());
    EXPECT_EQ(0x3003, chip->writes().front().address);
    EXPECT_EQ(0x01, chip->writes().front().value);
    // the reset wait, then the wait before streaming
    EXPECT_EQ((std::vector<uint64_t>{10000, 20000}), Sleeps::log());
    EXPECT_EQ(0x4A, chip->reg(0x309E));
    EXPECT_TRUE(chip->streaming());
}

TEST_F(C3Test, Imx662HdrModeIsStaggered)
{
    open(IMX662);
    SENSOR_MODE mode{};
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetMode(m_handle, 3, &mode));
    EXPECT_EQ(HDR_STAGGERED, mode.eHDRMode);
    EXPECT_TRUE(mode.bLongExpFirst);
    EXPECT_EQ(1u, mode.ui32LineGap);
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetMode(m_handle, 0, &mode));
    EXPECT_EQ(HDR_NONE, mode.eHDRMode);
    EXPECT_EQ(0u, mode.ui32LineGap);
}

TEST_F(C3Test, Gc8034ModeSlotsFollowTheConfigurations)
{
    auto chip = open(GC8034);
    SENSOR_MODE mode{};
    EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, Sensor_GetMode(m_handle, 1, &mode));
    EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, Sensor_GetMode(m_handle, 32, &mode));
    ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 16, SENSOR_FLIP_NONE));
    ASSERT_EQ(QOV_SUCCESS, Sensor_Enable(m_handle));
    auto phy = SensorBoard::instance().phy(1);
    EXPECT_EQ(2, phy->state().mipiLanes);
    EXPECT_EQ(24, phy->state().mipiHsFreqRange);
    EXPECT_EQ(1632u, chip->frameFormat().width);
    EXPECT_EQ(chip, SensorBoard::instance().sourceOf(1));
}

// Distance to actuator code, linear in 1/distance between table entries.
struct FocusCase {
    QOV_UINT16 distance;
    unsigned code;
};

TEST_F(C3Test, Gc8034FocusMovesTheLens)
{
    auto chip = open(GC8034);
    QOV_UINT16 low = 0, high = 0, current = 0;
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetFocusRange(m_handle, &low, &high));
    EXPECT_EQ(20, low);
    EXPECT_EQ(3000, high);
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetCurrentFocus(m_handle, &current));
    EXPECT_EQ(3000, current);

    // 50: 670 - 350 * 100 * 20 / 50 / 70 = 470; 1000: 70 - 70 * 3000 * 430 / 1000 / 2430 = 32.8
    const FocusCase cases[] = {{20, 1020}, {10, 1020}, {50, 470}, {1000, 32}, {3000, 0}, {5000, 0}};
    for (const FocusCase &f : cases) {
        SCOPED_TRACE(f.distance);
        chip->clearWrites();
        ASSERT_EQ(QOV_SUCCESS, Sensor_SetFocus(m_handle, f.distance));
        // one 2-byte transfer: code bits 4-9 in the first byte, bits 0-3 in the high nibble of the second
        ASSERT_EQ(1u, chip->writes().size());
        EXPECT_EQ(1u, chip->writes()[0].target);
        EXPECT_EQ((f.code >> 4) & 0x3F, chip->writes()[0].address);
        EXPECT_EQ((f.code << 4) & 0xFF, chip->writes()[0].value);
        EXPECT_EQ(static_cast<int>(f.code), chip->focus().value_or(-1));
        ASSERT_EQ(QOV_SUCCESS, Sensor_GetCurrentFocus(m_handle, &current));
        EXPECT_EQ(f.distance, current);
    }
    // 20 is sent as 0x3F, 0xC0
    ASSERT_EQ(QOV_SUCCESS, Sensor_SetFocus(m_handle, 20));
    EXPECT_EQ(0x3F, chip->writes().back().address);
    EXPECT_EQ(0xC0, chip->writes().back().value);

    // a mode selection restores the far end, where the lens rests
    ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 0, SENSOR_FLIP_NONE));
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetCurrentFocus(m_handle, &current));
    EXPECT_EQ(3000, current);
}

TEST_F(C3Test, Gc8034FocusReportsFailedTransfers)
{
    open(GC8034);
    const std::string bus = "/dev/i2c-1";
    Board::instance().injectFault(bus, 0x0703, -EIO);
    auto output = sensortest::captureOutput(
        [&] { EXPECT_EQ(QOV_ERROR_I2C_FAILED, Sensor_SetFocus(m_handle, 100)); });
    EXPECT_NE(std::string::npos, output.err.find("Failed to write I2C slave address!\n"));

    Board::instance().injectFault(bus, TraceEntry::WRITE, -EIO);
    output = sensortest::captureOutput([&] { EXPECT_EQ(QOV_ERROR_I2C_FAILED, Sensor_SetFocus(m_handle, 250)); });
    EXPECT_NE(std::string::npos, output.err.find("Failed to write I2C data!\n"));
    // the distance is kept all the same
    QOV_UINT16 current = 0;
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetCurrentFocus(m_handle, &current));
    EXPECT_EQ(250, current);
}

TEST_F(C3Test, S5k3p9FocusMovesTheLens)
{
    auto chip = open(S5K3P9);
    QOV_UINT16 low = 0, high = 0;
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetFocusRange(m_handle, &low, &high));
    EXPECT_EQ(80, low);
    EXPECT_EQ(600, high);
    // 80: 800 - 200 * 100 * 10 / 80 / 30 = 716.7; 200: 600 - 216 * 300 * 100 / 200 / 200 = 438;
    // 600: 384 - 96 * 1500 * 300 / 600 / 1200 = 324
    const FocusCase cases[] = {{80, 716}, {100, 600}, {200, 438}, {600, 324},
                               {50, 1023}, {20, 1023}, {1500, 288}, {4000, 288}};
    for (const FocusCase &f : cases) {
        SCOPED_TRACE(f.distance);
        ASSERT_EQ(QOV_SUCCESS, Sensor_SetFocus(m_handle, f.distance));
        EXPECT_EQ(f.code >> 8, chip->reg(0x03, 1));
        EXPECT_EQ(f.code & 0xFF, chip->reg(0x04, 1));
        EXPECT_EQ(static_cast<int>(f.code), chip->focus().value_or(-1));
    }
}

TEST_F(C3Test, S5k3p9EnableSetsTheActuatorUpAndFocuses)
{
    auto chip = open(S5K3P9);
    ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 0, SENSOR_FLIP_NONE));
    QOV_UINT16 current = 0;
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetCurrentFocus(m_handle, &current));
    EXPECT_EQ(600, current);
    EXPECT_FALSE(chip->wasWritten(0x02, 1));  // the lens is not moved yet

    ASSERT_EQ(QOV_SUCCESS, Sensor_Enable(m_handle));
    expectRegisters(*chip, {{0x02, 0x02}, {0x06, 0x61}, {0x07, 0x39}, {0x03, 0x01}, {0x04, 0x44}}, 1);
    EXPECT_EQ(324, chip->focus().value_or(-1));
    // the initialisation list reset the chip and left it in standby, the mode list started it
    EXPECT_TRUE(chip->wasWritten(0x6010));
    EXPECT_TRUE(chip->streaming());
    EXPECT_EQ(0x0E, chip->reg(0x0340));
}

TEST_F(C3Test, S5k3p9RefusesModesBeyondItsTable)
{
    open(S5K3P9);
    SENSOR_MODE mode{};
    EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, Sensor_GetMode(m_handle, 7, &mode));
    EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, Sensor_SetMode(m_handle, 7, SENSOR_FLIP_NONE));
    // the current mode stays
    EXPECT_EQ(0, info().sStatus.ui16CurrentMode);
    EXPECT_EQ(4640, info().sMode.ui16Width);
}

TEST_F(C3Test, S5k3p9EnableFailsWhenTheStreamDoesNotStop)
{
    ChipModel model = simboard::modelS5K3P9();
    model.onWrite = nullptr;  // the frame counter never reads 0xFF
    model.targets[0].setInitial(0x0005, 0x00);
    auto chip = SensorBoard::instance().place(0, model);
    ASSERT_EQ(QOV_SUCCESS, Sensor_Initialise(15, &m_handle));
    ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 0, SENSOR_FLIP_NONE));
    Sleeps::clear();
    const auto output =
        sensortest::captureOutput([&] { EXPECT_EQ(QOV_ERROR_NOT_INITIALISED, Sensor_Enable(m_handle)); });
    EXPECT_NE(std::string::npos, output.err.find("stream off error\n"));
    // five reads, 50 ms apart, after the 3 ms wait of the initialisation list
    EXPECT_EQ((std::vector<uint64_t>{3000, 50000, 50000, 50000, 50000}), Sleeps::log());
    // the mode list was not written; the sensor counts as enabled until disabled
    EXPECT_FALSE(chip->wasWritten(0x0340));
    EXPECT_EQ(SENSOR_STATE_RUNNING, info().sStatus.eState);
    EXPECT_TRUE(SensorBoard::instance().phy(0)->enabled());
    EXPECT_EQ(QOV_SUCCESS, Sensor_Disable(m_handle));
    EXPECT_FALSE(SensorBoard::instance().phy(0)->enabled());
}

TEST_F(C3Test, S5k3p9EnableFailsWhenTheFrameCounterCannotBeRead)
{
    auto chip = open(S5K3P9);
    Board::instance().injectFault("/dev/i2c-0", TraceEntry::READ, -EIO, 0);
    const auto output =
        sensortest::captureOutput([&] { EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, Sensor_Enable(m_handle)); });
    EXPECT_NE(std::string::npos, output.err.find("Failed to read 0x0005 register\n"));
    Board::instance().clearFaults();
}

TEST_F(C3Test, S5k3p9ReportsRefusedRegisterWrites)
{
    auto chip = open(S5K3P9);
    ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 0, SENSOR_FLIP_NONE));
    Board::instance().injectFault("/dev/i2c-0", TraceEntry::WRITE, -EIO, 0);
    EXPECT_EQ(QOV_ERROR_I2C_FAILED, Sensor_SetExposure(m_handle, 10000, 0));
    EXPECT_EQ(QOV_ERROR_I2C_FAILED, Sensor_SetGain(m_handle, 2.0, 0));
    EXPECT_EQ(QOV_ERROR_I2C_FAILED, Sensor_SetFocus(m_handle, 100));
    Board::instance().clearFaults();
    // the requested values are kept
    QOV_UINT32 exposure = 0;
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetExposure(m_handle, &exposure, 0));
    EXPECT_EQ(10000u, exposure);
    EXPECT_NE(0x57, chip->reg(0x0203));
}

// A write of the initialisation list that does not reach the chip: the lists
// go on, the lens is set up and focused, and Enable reports the failure.
TEST_F(C3Test, S5k3p9EnableReportsAFailedListWriteAndGoesOn)
{
    auto chip = open(S5K3P9);
    ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 0, SENSOR_FLIP_NONE));
    // the first write is the address of the identity read, the second the first pair of the list
    Board::instance().injectFault("/dev/i2c-0", TraceEntry::WRITE, -EIO, 1, 1);
    sensortest::captureOutput([&] { EXPECT_EQ(QOV_ERROR_I2C_FAILED, Sensor_Enable(m_handle)); });
    // the failed first pair (0x6028 = 0x4000) is missing, the software reset follows
    ASSERT_FALSE(chip->writes().empty());
    EXPECT_EQ(0x6010, chip->writes().front().address);
    EXPECT_TRUE(chip->streaming());
    expectRegisters(*chip, {{0x02, 0x02}, {0x03, 0x01}, {0x04, 0x44}}, 1);
    EXPECT_EQ(SENSOR_STATE_RUNNING, info().sStatus.eState);  // for Disable to stop
}

// A write failing after the initialisation list: the mode list's last pair
// (the stream start), the orientation set again after it, the actuator's
// set-up, the focus. Enable goes on past each as far as it can and reports
// the failure.
TEST_F(C3Test, S5k3p9EnableReportsAFailedWriteAfterTheInitialisationList)
{
    auto chip = open(S5K3P9);
    ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 0, SENSOR_FLIP_BOTH));
    // The writes of a clean Enable: the orientation is the only one-byte register write.
    Board::instance().clearTrace();
    ASSERT_EQ(QOV_SUCCESS, Sensor_Enable(m_handle));
    unsigned writes = 0, orientation = 0;
    for (const simboard::TraceEntry &e : Board::instance().trace()) {
        if (e.kind == TraceEntry::WRITE && e.path == "/dev/i2c-0") {
            ++writes;
            if (e.length == 3)
                orientation = writes;
        }
    }
    ASSERT_NE(0u, orientation);
    ASSERT_EQ(orientation + 5, writes);  // three set-up pairs of the actuator, two of the focus
    ASSERT_EQ(QOV_SUCCESS, Sensor_Disable(m_handle));

    struct Case {
        const char *name;
        unsigned write;  // 1 is the first of Enable
        bool orientationSet, lensSetUp, focused;
    };
    const Case cases[] = {
        {"stream start", orientation - 1, true, true, true},
        {"orientation", orientation, false, true, true},
        {"actuator set-up", orientation + 1, true, false, false},
        {"focus", writes, true, true, false},
    };
    for (const Case &c : cases) {
        chip->clearWrites();
        chip->setReg(0x0101, 0x00);
        chip->setReg(0x02, 0x00, 1);
        chip->setReg(0x04, 0x00, 1);
        Board::instance().injectFault("/dev/i2c-0", TraceEntry::WRITE, -EIO, 1, c.write - 1);
        sensortest::captureOutput([&] { EXPECT_EQ(QOV_ERROR_I2C_FAILED, Sensor_Enable(m_handle)) << c.name; });
        Board::instance().clearFaults();
        EXPECT_EQ(c.orientationSet, chip->reg(0x0101) == 0x03) << c.name;
        EXPECT_EQ(c.lensSetUp, chip->reg(0x02, 1) == 0x02) << c.name;
        EXPECT_EQ(c.focused, chip->reg(0x04, 1) == 0x44) << c.name;  // 324, low byte last
        EXPECT_EQ(SENSOR_STATE_RUNNING, info().sStatus.eState) << c.name;  // for Disable to stop
        ASSERT_EQ(QOV_SUCCESS, Sensor_Disable(m_handle)) << c.name;
    }
}

// A PHY refusing to switch on: Enable reports a device failure and the
// sensor stays idle, with the gasket given back for a later try.
TEST_F(C3Test, S5k3p9PhyThatDoesNotSwitchOnLeavesTheSensorIdle)
{
    auto chip = open(S5K3P9);
    ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 0, SENSOR_FLIP_NONE));
    chip->clearWrites();
    Board::instance().injectFault("/dev/sensor_phy0", 0x8020F000ul, -EIO);
    sensortest::captureOutput([&] { EXPECT_EQ(QOV_ERROR_DEVICE_FAILED, Sensor_Enable(m_handle)); });
    EXPECT_TRUE(chip->writes().empty());
    EXPECT_EQ(SENSOR_STATE_IDLE, info().sStatus.eState);
    EXPECT_EQ(nullptr, SensorBoard::instance().sourceOf(0));
    ASSERT_EQ(QOV_SUCCESS, Sensor_Enable(m_handle));
    EXPECT_TRUE(chip->streaming());
}

TEST_F(C3Test, S5k3p9BoardWithoutResetLineSkipsThePulse)
{
    sensortest::BoardRoot root;
    root.setModel("NoReset");
    root.setBoardFile("NoReset", "-Board_reset_need 1\n-Board_mux_need 0\n-Board_pwdn_value 0\n"
                                 "-Board_max_sensors 1\n-Board_clock_frequency 24\n"
                                 "-Sensor0_i2c 0\n-Sensor0_gpiochip_reset 0\n-Sensor0_gpio_reset -1\n"
                                 "-Sensor0_gpiochip_pwdn 0\n-Sensor0_gpio_pwdn 11\n");
    open(S5K3P9);
    for (unsigned line = 0; line < 32; ++line) {
        if (line != 11) {
            EXPECT_TRUE(GpioBank::instance().eventsOf("gpiochip0", line).empty()) << line;
        }
    }
    const auto pwdn = GpioBank::instance().eventsOf("gpiochip0", 11);
    ASSERT_EQ(1u, pwdn.size());
    EXPECT_EQ(0, pwdn[0].value);
    EXPECT_TRUE(Sleeps::log().empty());
}

// Each step of the S5K3P9's own power-down and reset bring-up failing: the
// creation fails with its message and leaves no chip, line or device open.
TEST_F(C3Test, S5k3p9GpioFailuresFailTheBringUp)
{
    using simboard::GpioOp;
    struct Case {
        GpioOp op;
        unsigned line, skip;
        const char *message;
    };
    const Case cases[] = {
        {GpioOp::Open, 0, 0, "PWDN GPIO controller not found!\n"},
        {GpioOp::Open, 0, 1, "Reset GPIO controller not found!\n"},
        {GpioOp::GetLine, 11, 0, "Failed to get PWDN GPIO\n"},
        {GpioOp::Request, 11, 0, "Failed to request PWDN GPIO\n"},
        {GpioOp::GetLine, 10, 0, "Failed to get Reset GPIO\n"},
        {GpioOp::Request, 10, 0, "Failed to request Reset GPIO\n"},
        {GpioOp::Set, 10, 0, "Failed to set Reset GPIO to LOW\n"},
        {GpioOp::Set, 10, 1, "Failed to set Reset GPIO to HIGH\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        Board::instance().reset();
        Sleeps::setInstant(true);
        place(S5K3P9);
        GpioBank::instance().injectFault(c.op, "gpiochip0", c.line, 1, c.skip);
        SENSOR_HANDLE handle = reinterpret_cast<SENSOR_HANDLE>(&handle);
        const auto output = sensortest::captureOutput(
            [&] { EXPECT_EQ(QOV_ERROR_DEVICE_FAILED, Sensor_Initialise(chipCase(S5K3P9).sensor, &handle)); });
        EXPECT_EQ(nullptr, handle);
        EXPECT_NE(std::string::npos, output.err.find(c.message)) << output.err;
        EXPECT_EQ(0u, Board::instance().openDescriptors());
        EXPECT_EQ(0, GpioBank::instance().openChips());
        EXPECT_FALSE(GpioBank::instance().requested("gpiochip0", 10));
        EXPECT_FALSE(GpioBank::instance().requested("gpiochip0", 11));
    }
}

TEST_F(C3Test, S5k3p9MissingBoardFileFailsCleanly)
{
    sensortest::BoardRoot root;
    root.setModel("Unknown");
    place(S5K3P9);
    SENSOR_HANDLE handle = nullptr;
    EXPECT_EQ(QOV_ERROR_DEVICE_FAILED, Sensor_Initialise(15, &handle));
    EXPECT_EQ(nullptr, handle);
}

}  // namespace
}  // namespace chips_c3
