// The OV10823, OV5647, OV5695 and IMX219 drivers against their simulated
// chips: bring-up at every board position, modes, streaming, flips, exposure
// and gain through the registers, and the failures of the bring-up. Expected
// register values are worked out by hand from the chips' encodings.
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sensorapi/sensorapi.h"
#include "sensors/sensor_common.h"
#include "sensors/sensor_drivers.h"
#include "simboard/board.h"
#include "simboard/gpio.h"
#include "simboard/sensor_chip.h"
#include "simboard/sensor_models.h"
#include "simboard/sensor_phy.h"
#include "simboard/sleep.h"
#include "sensor_test_support.h"

namespace chips_c2 {
namespace {

using sensortest::lastWrite;
using simboard::Board;
using simboard::ChipModel;
using simboard::GpioBank;
using simboard::GpioEvent;
using simboard::SensorBoard;
using simboard::SimChip;
using simboard::Sleeps;

enum Chip { OV10823, OV5647, OV5695, IMX219 };

const char *chipName(Chip chip)
{
    static const char *const names[] = {"OV10823", "OV5647", "OV5695", "IMX219"};
    return names[chip];
}

ChipModel chipModel(Chip chip)
{
    switch (chip) {
    case OV10823: return simboard::modelOV10823();
    case OV5647: return simboard::modelOV5647();
    case OV5695: return simboard::modelOV5695();
    default: return simboard::modelIMX219();
    }
}

// The sensor positions of the simulated board's board file.
struct Position {
    unsigned bus;
    unsigned phy;
    const char *gpioChip;
    unsigned resetLine;
    unsigned pwdnLine;
    unsigned gasket;
};
const Position kPositions[] = {
    {0, 0, "gpiochip0", 10, 11, 0},
    {1, 1, "gpiochip0", 12, 13, 1},
    {2, 1, "gpiochip1", 0, 1, 1},
};

// One sensor-table entry of these drivers.
struct Entry {
    QOV_UINT16 sensor;
    const char *name;
    Chip chip;
    unsigned position;
    const char *version;
};
const Entry kEntries[] = {
    {7, "OV10823_0", OV10823, 0, "0xa820"}, {8, "OV10823_1", OV10823, 1, "0xa820"},
    {9, "OV5647_0", OV5647, 0, "0x5647"},   {10, "OV5647_1", OV5647, 1, "0x5647"},
    {12, "OV5695_0", OV5695, 0, "0x5695"},  {13, "OV5695_1", OV5695, 1, "0x5695"},
    {14, "OV5695_2", OV5695, 2, "0x5695"},  {16, "IMX219_0", IMX219, 0, "0x219"},
    {17, "IMX219_1", IMX219, 1, "0x219"},
};

// The entry at board position 0 of each chip.
QOV_UINT16 sensorAtPosition0(Chip chip)
{
    static const QOV_UINT16 sensors[] = {7, 9, 12, 16};
    return sensors[chip];
}

std::string entryName(const ::testing::TestParamInfo<Entry> &info)
{
    return info.param.name;
}

std::string chipParamName(const ::testing::TestParamInfo<Chip> &info)
{
    return chipName(info.param);
}

class C2Chips : public sensortest::SimBoardTest {
protected:
    void TearDown() override
    {
        if (m_handle) {
            EXPECT_EQ(QOV_SUCCESS, Sensor_Destroy(m_handle));
            m_handle = nullptr;
        }
        m_root.reset();
        sensortest::SimBoardTest::TearDown();
    }

    // A fresh board for the next case of a table.
    void resetBoard()
    {
        m_root.reset();
        Board::instance().reset();
        Sleeps::setInstant(true);
    }

    std::shared_ptr<SimChip> place(Chip chip, unsigned position = 0)
    {
        return SensorBoard::instance().place(kPositions[position].bus, chipModel(chip));
    }

    // Places the chip at board position 0 and opens its driver.
    std::shared_ptr<SimChip> open(Chip chip)
    {
        auto simChip = place(chip);
        EXPECT_EQ(QOV_SUCCESS, Sensor_Initialise(sensorAtPosition0(chip), &m_handle));
        EXPECT_NE(nullptr, m_handle);
        return simChip;
    }

    // The board with its sensor clock at `mhz`.
    void useBoardClock(const std::string &mhz)
    {
        m_root = std::make_unique<sensortest::BoardRoot>();
        m_root->setModel("Vezara");
        m_root->setBoardFile("Vezara", sensortest::boardFile("-Board_reset_need 1\n-Board_mux_need 0\n"
                                                            "-Board_pwdn_value 1\n-Board_max_sensors 3\n"
                                                            "-Board_clock_frequency " +
                                                            mhz + "\n"));
    }

    SENSOR_HANDLE m_handle = nullptr;
    std::unique_ptr<sensortest::BoardRoot> m_root;
};

/*-------------------------------------------------------------------------
 * Bring-up at every board position
 *-------------------------------------------------------------------------*/

class C2Entries : public C2Chips, public ::testing::WithParamInterface<Entry> {};

TEST_P(C2Entries, OpensAtItsBoardPositionAndReportsItself)
{
    const Entry &e = GetParam();
    const Position &pos = kPositions[e.position];
    auto chip = place(e.chip, e.position);

    ASSERT_EQ(QOV_SUCCESS, Sensor_Initialise(e.sensor, &m_handle));
    ASSERT_NE(nullptr, m_handle);

    // power-down line held at the board's level, reset pulsed low then high
    GpioBank &gpio = GpioBank::instance();
    const auto pwdn = gpio.eventsOf(pos.gpioChip, pos.pwdnLine);
    ASSERT_EQ(1u, pwdn.size());
    EXPECT_EQ(GpioEvent::REQUEST, pwdn[0].kind);
    EXPECT_EQ(1, pwdn[0].value);
    const auto reset = gpio.eventsOf(pos.gpioChip, pos.resetLine);
    ASSERT_EQ(3u, reset.size());
    EXPECT_EQ(GpioEvent::REQUEST, reset[0].kind);
    EXPECT_EQ(1, reset[0].value);
    EXPECT_EQ(GpioEvent::SET, reset[1].kind);
    EXPECT_EQ(0, reset[1].value);
    EXPECT_EQ(GpioEvent::SET, reset[2].kind);
    EXPECT_EQ(1, reset[2].value);

    SENSOR_INFO info{};
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetInfo(m_handle, &info));
    EXPECT_STREQ(e.name, info.pszSensorName);
    EXPECT_STREQ(e.version, info.pszSensorVersion);
    EXPECT_EQ(pos.gasket, info.ui8Imager);
    EXPECT_EQ(e.chip == IMX219 ? MOSAIC_RGGB : MOSAIC_BGGR, info.eBayerOriginal);
    EXPECT_EQ(info.eBayerOriginal, info.eBayerEnabled);
    EXPECT_EQ(SENSOR_STATE_IDLE, info.sStatus.eState);
    EXPECT_TRUE(info.bBackFacing);
    EXPECT_DOUBLE_EQ(1.2, info.fNumber);
    if (e.chip != IMX219) {
        EXPECT_EQ(30, info.ui16FocalLength);
        EXPECT_EQ(6040u, info.ui32WellDepth);
    }

    // streams into the gasket of its position
    ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 0, SENSOR_FLIP_NONE));
    ASSERT_EQ(QOV_SUCCESS, Sensor_Enable(m_handle));
    EXPECT_TRUE(SensorBoard::instance().phy(pos.phy)->enabled());
    EXPECT_EQ(chip, SensorBoard::instance().sourceOf(pos.gasket));
}

INSTANTIATE_TEST_SUITE_P(Table, C2Entries, ::testing::ValuesIn(kEntries), entryName);

/*-------------------------------------------------------------------------
 * Modes
 *-------------------------------------------------------------------------*/

struct ModeGolden {
    QOV_UINT16 width, height, hts, vts;
    double frameRate;
    QOV_UINT32 exposureMin, exposureMax;
    QOV_UINT8 lanes, bitDepth;
    double pixelRate;
    QOV_UINT8 hsFreqRange;
    QOV_UINT8 flips;
};

// Line times: OV10823 (HTS / 4 lanes) / 104.4 MHz, doubled for the minimum;
// OV5647 HTS / 78.4 MHz; OV5695 HTS / 45 MHz (4 whole line times minimum);
// IMX219 LL / (2 x 24 MHz / 3 x multiplier / 5).
std::vector<ModeGolden> modeGoldens(Chip chip)
{
    switch (chip) {
    case OV10823:
        return {
            {4336, 2440, 5504, 2528, 30.01, 26, 26u * 0xFFFFF, 4, 10, 417.6, 25, 3},
            {3840, 2160, 5504, 2528, 30.01, 26, 26u * 0xFFFFF, 4, 10, 417.6, 25, 3},
            {2168, 1220, 5504, 1264, 60.03, 26, 26u * 0xFFFFF, 4, 10, 417.6, 25, 3},
            {1920, 1080, 5504, 1264, 60.03, 26, 26u * 0xFFFFF, 4, 10, 417.6, 25, 3},
        };
    case OV5647:
        return {
            {1920, 1080, 2416, 1104, 29.39, 30, 59040, 2, 10, 156.8, 0, 3},
            {2592, 1944, 2844, 1968, 14.01, 36, 70848, 2, 10, 156.8, 0, 3},
        };
    case OV5695:
        return {
            {2592, 1944, 740, 2024, 30.04, 64, 32320, 2, 10, 84.0, 0x19, 0},
            {1920, 1080, 672, 2232, 30.00, 56, 31192, 2, 10, 84.0, 0x19, 0},
            {720, 1600, 740, 2024, 30.04, 64, 32320, 2, 10, 84.0, 0x19, 0},
            {1296, 972, 672, 2232, 30.00, 56, 31192, 2, 10, 84.0, 0x19, 0},
        };
    default:
        return {
            {3280, 2464, 3448, 2500, 21.16, 18, 47183, 2, 10, 182400000.0, 40, 0},
            {3280, 2464, 3448, 2544, 30.28, 12, 32974, 4, 10, 265600000.0, 26, 0},
            {1920, 1080, 3448, 1766, 29.95, 18, 33307, 2, 10, 182400000.0, 40, 0},
        };
    }
}

class C2ChipKinds : public C2Chips, public ::testing::WithParamInterface<Chip> {};

TEST_P(C2ChipKinds, ListsItsModes)
{
    open(GetParam());
    ASSERT_NE(nullptr, m_handle);
    const std::vector<ModeGolden> goldens = modeGoldens(GetParam());
    for (size_t m = 0; m < goldens.size(); ++m) {
        SCOPED_TRACE("mode " + std::to_string(m));
        const ModeGolden &g = goldens[m];
        SENSOR_MODE mode{};
        ASSERT_EQ(QOV_SUCCESS, Sensor_GetMode(m_handle, static_cast<QOV_UINT16>(m), &mode));
        EXPECT_EQ(g.width, mode.ui16Width);
        EXPECT_EQ(g.height, mode.ui16Height);
        EXPECT_EQ(g.hts, mode.ui16HorizontalTotal);
        EXPECT_EQ(g.vts, mode.ui16VerticalTotal);
        EXPECT_NEAR(g.frameRate, mode.flFrameRate, 0.005);
        EXPECT_EQ(g.exposureMin, mode.ui32ExposureMin);
        EXPECT_EQ(g.exposureMax, mode.ui32ExposureMax);
        EXPECT_EQ(g.lanes, mode.ui8MipiLanes);
        EXPECT_EQ(g.bitDepth, mode.ui8BitDepth);
        EXPECT_NEAR(g.pixelRate, mode.flPixelRate, g.pixelRate * 1e-9);
        EXPECT_EQ(g.hsFreqRange, mode.ui8MipiHsFreqRange);
        EXPECT_EQ(g.flips, mode.ui8SupportFlipping);
        EXPECT_EQ(GetParam() == OV5695 ? 438 : 0, mode.ui8MipiOscFreq);
    }
    SENSOR_MODE mode{};
    EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED,
              Sensor_GetMode(m_handle, static_cast<QOV_UINT16>(goldens.size()), &mode));
    EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, Sensor_GetMode(m_handle, 16, &mode));
    EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, Sensor_SetMode(m_handle, 16, SENSOR_FLIP_NONE));
}

// Streaming on and off: configuration then mode on the chip, PHY and gasket
// switched, the stop list and the frame time on the way down.
TEST_P(C2ChipKinds, EnablesAndDisablesStreaming)
{
    const Chip kind = GetParam();
    auto chip = open(kind);
    ASSERT_NE(nullptr, m_handle);
    const QOV_UINT16 lastMode = static_cast<QOV_UINT16>(modeGoldens(kind).size() - 1);
    const ModeGolden g = modeGoldens(kind)[lastMode];
    auto phy = SensorBoard::instance().phy(0);

    ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, lastMode, SENSOR_FLIP_NONE));
    EXPECT_TRUE(chip->writes().empty());  // nothing reaches the chip before Enable
    EXPECT_FALSE(phy->enabled());

    ASSERT_EQ(QOV_SUCCESS, Sensor_Enable(m_handle));
    EXPECT_TRUE(chip->streaming());
    ASSERT_FALSE(chip->writes().empty());
    EXPECT_EQ(0x0100, chip->writes().back().address);  // the mode list ends by starting the stream
    EXPECT_EQ(0x01, chip->writes().back().value);
    sensortest::expectNoListEndWritten(*chip);
    const simboard::ChipFrameFormat format = chip->frameFormat();
    EXPECT_EQ(g.width, format.width);
    EXPECT_EQ(g.height, format.height);
    EXPECT_EQ(10, format.bitDepth);
    EXPECT_NEAR(g.frameRate, format.frameRate, 0.01);
    EXPECT_TRUE(phy->enabled());
    EXPECT_EQ(simboard::SensorPhyDevice::kTypeMipi, phy->state().type);
    EXPECT_EQ(g.lanes, phy->state().mipiLanes);
    EXPECT_EQ(g.hsFreqRange, phy->state().mipiHsFreqRange);
    EXPECT_EQ(chip, SensorBoard::instance().sourceOf(0));
    SENSOR_STATUS status{};
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetState(m_handle, &status));
    EXPECT_EQ(SENSOR_STATE_RUNNING, status.eState);
    EXPECT_EQ(lastMode, status.ui16CurrentMode);

    chip->clearWrites();
    Sleeps::clear();
    ASSERT_EQ(QOV_SUCCESS, Sensor_Disable(m_handle));
    ASSERT_FALSE(chip->writes().empty());
    EXPECT_EQ(0x0100, chip->writes().front().address);
    EXPECT_EQ(0x00, chip->writes().front().value);
    EXPECT_FALSE(chip->streaming());
    EXPECT_FALSE(phy->enabled());
    EXPECT_EQ(0, phy->state().mipiLanes);
    EXPECT_EQ(0, phy->state().mipiHsFreqRange);
    EXPECT_EQ(nullptr, SensorBoard::instance().sourceOf(0));
    // the OV chips pause 200 ms after standby; then one frame time
    std::vector<uint64_t> sleeps = Sleeps::log();
    const uint64_t frameTime = static_cast<uint64_t>(std::floor(1e6 / g.frameRate));
    ASSERT_FALSE(sleeps.empty());
    // (the golden frame rates are rounded to 0.01)
    EXPECT_NEAR(static_cast<double>(frameTime), static_cast<double>(sleeps.back()), frameTime * 1e-3);
    if (kind != IMX219) {
        ASSERT_EQ(2u, sleeps.size());
        EXPECT_EQ(200000u, sleeps[0]);
    }
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetState(m_handle, &status));
    EXPECT_EQ(SENSOR_STATE_IDLE, status.eState);
}

INSTANTIATE_TEST_SUITE_P(Table, C2ChipKinds, ::testing::Values(OV10823, OV5647, OV5695, IMX219),
                         chipParamName);

/*-------------------------------------------------------------------------
 * Flips
 *-------------------------------------------------------------------------*/

struct FlipCase {
    Chip chip;
    QOV_UINT8 flips;
    std::optional<int> reg3820;  // last value written to the flip register(s); none: not written
    std::optional<int> reg3821;
};

// OV10823: 0x3820 = 4 with vertical flip, 0x3821 is not in its lists.
// OV5647: neither register is in its lists. OV5695: 0x3820 listed 0x80, bit 4
// vertical, bit 3 horizontal.
const FlipCase kFlipCases[] = {
    {OV10823, SENSOR_FLIP_BOTH, 4, std::nullopt},
    {OV10823, SENSOR_FLIP_VERTICAL, 4, std::nullopt},
    {OV10823, SENSOR_FLIP_HORIZONTAL, 0, std::nullopt},
    {OV5647, SENSOR_FLIP_BOTH, std::nullopt, std::nullopt},
    {OV5695, SENSOR_FLIP_NONE, 0x80, std::nullopt},
    {OV5695, SENSOR_FLIP_HORIZONTAL, 0x88, std::nullopt},
    {OV5695, SENSOR_FLIP_VERTICAL, 0x90, std::nullopt},
    {OV5695, SENSOR_FLIP_BOTH, 0x98, std::nullopt},
};

// A configuration list without the PLL registers: the OV10823 and OV5647
// assume their default system clock (120 and 84 MHz) and say so, rather than
// keeping the clock of the last mode read.
TEST_F(C2Chips, ConfigurationWithoutPllRegistersAssumesTheDefaultClock)
{
    // Two MIPI lanes (0x3012 bits 4-7 / 0x3018 bits 5-7), no PLL record.
    static const QOV_UINT8 ov10823List[] = {0x30, 0x12, 0x20, 0xFF, 0xFF, 0xFF};
    static const QOV_UINT8 ov5647List[] = {0x30, 0x18, 0x40, 0xFF, 0xFF, 0xFF};
    const struct {
        Chip chip;
        const QOV_UINT8 *list;
        double sclkMHz;
    } cases[] = {{OV10823, ov10823List, 120.0}, {OV5647, ov5647List, 84.0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(chipName(c.chip));
        open(c.chip);
        ASSERT_NE(nullptr, m_handle);
        SENSOR_MODE mode{};
        ASSERT_EQ(QOV_SUCCESS, Sensor_GetMode(m_handle, 0, &mode));  // the driver's own clock first
        ASSERT_NE(2 * c.sclkMHz, mode.flPixelRate);
        sensor_mode configs[] = {{3, c.list, 0, 3}};
        CAM_STRUCT *cam = reinterpret_cast<CAM_STRUCT *>(m_handle);
        sensor_mode *ownConfigs = cam->pConfigs;
        const QOV_UINT8 ownSize = cam->uiConfigsSize;
        cam->pConfigs = configs;
        cam->uiConfigsSize = static_cast<QOV_UINT8>(sizeof(configs));
        const auto out = sensortest::captureOutput([&] { ASSERT_EQ(QOV_SUCCESS, Sensor_GetMode(m_handle, 0, &mode)); });
        cam->pConfigs = ownConfigs;
        cam->uiConfigsSize = ownSize;
        EXPECT_EQ(2, mode.ui8MipiLanes);
        EXPECT_DOUBLE_EQ(2 * c.sclkMHz, mode.flPixelRate);
        EXPECT_NE(std::string::npos, (out.out + out.err).find("Did not find all PLL registers - assumes sclk of " +
                                                              std::to_string(static_cast<int>(c.sclkMHz)) + " MHz\n"))
            << out.out << out.err;
        ASSERT_EQ(QOV_SUCCESS, Sensor_Destroy(m_handle));
        m_handle = nullptr;
        SensorBoard::instance().removeAll();
    }
}

TEST_F(C2Chips, FlipsReachTheFlipRegisters)
{
    for (const FlipCase &c : kFlipCases) {
        SCOPED_TRACE(std::string(chipName(c.chip)) + " flips " + std::to_string(c.flips));
        resetBoard();
        auto chip = open(c.chip);
        ASSERT_NE(nullptr, m_handle);
        // the OV5695 reports no flips in its modes, yet its entries take both
        ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 0, c.flips));
        ASSERT_EQ(QOV_SUCCESS, Sensor_Enable(m_handle));
        EXPECT_EQ(c.reg3820, lastWrite(*chip, 0x3820));
        EXPECT_EQ(c.reg3821, lastWrite(*chip, 0x3821));
        SENSOR_STATUS status{};
        ASSERT_EQ(QOV_SUCCESS, Sensor_GetState(m_handle, &status));
        EXPECT_EQ(c.flips, status.ui8Flipping);
        SENSOR_INFO info{};
        ASSERT_EQ(QOV_SUCCESS, Sensor_GetInfo(m_handle, &info));
        EXPECT_EQ(MOSAIC_BGGR, info.eBayerOriginal);  // the OV chips keep their order
        EXPECT_EQ(QOV_SUCCESS, Sensor_Destroy(m_handle));
        m_handle = nullptr;
    }
}

TEST_F(C2Chips, Imx219OrientationFollowsFlipsAndSetsTheBayerOrder)
{
    const struct {
        QOV_UINT8 flips;
        int orientation;
        MOSAICType bayer;
    } cases[] = {
        {SENSOR_FLIP_NONE, 0x00, MOSAIC_RGGB},
        {SENSOR_FLIP_HORIZONTAL, 0x01, MOSAIC_GRBG},
        {SENSOR_FLIP_VERTICAL, 0x02, MOSAIC_GBRG},
        {SENSOR_FLIP_BOTH, 0x03, MOSAIC_BGGR},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE("flips " + std::to_string(c.flips));
        resetBoard();
        auto chip = open(IMX219);
        ASSERT_NE(nullptr, m_handle);
        ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 2, c.flips));
        ASSERT_EQ(QOV_SUCCESS, Sensor_Enable(m_handle));
        EXPECT_EQ(c.orientation, lastWrite(*chip, 0x0172));
        SENSOR_INFO info{};
        ASSERT_EQ(QOV_SUCCESS, Sensor_GetInfo(m_handle, &info));
        EXPECT_EQ(c.bayer, info.eBayerOriginal);
        EXPECT_EQ(c.bayer, info.eBayerEnabled);
        EXPECT_EQ(c.bayer, chip->frameFormat().mosaic);  // what the chip sends agrees
        EXPECT_EQ(QOV_SUCCESS, Sensor_Destroy(m_handle));
        m_handle = nullptr;
    }
}

/*-------------------------------------------------------------------------
 * Exposure and gain
 *-------------------------------------------------------------------------*/

using Regs = std::vector<std::pair<uint16_t, int>>;

struct ExposureCase {
    Chip chip;
    QOV_UINT16 mode;
    QOV_UINT32 exposure;
    Regs regs;           // last value written to each register
    double chipExposure;  // microseconds the chip integrates with those registers
};

// OV10823: n = 2E / 26, 0x3500 = n >> 12, 0x3501 = n >> 4, 0x3502 = (n & 15) << 4,
// frame length n + 4 when n exceeds VTS; line 1376 / 104.4 MHz.
// OV5647: n = E / 30 (mode 0), same encoding; line 2416 / 78.4 MHz.
// OV5695: n = E / 64 (mode 0) or E / 56 (mode 1); 0x3500 = n >> 10,
// 0x3501 = n >> 2, 0x3502 = (n & 3) << 6: 4n lines of 740 (672) / 45 MHz.
// IMX219: lines = E / 18 (mode 0) or E / 12 (mode 1) in 0x015A/0x015B.
const ExposureCase kExposureCases[] = {
    {OV10823, 0, 10000, {{0x3500, 0x00}, {0x3501, 0x30}, {0x3502, 0x10}, {0x380E, 0x09}, {0x380F, 0xE0}},
     769 * 1376 / 104.4},
    {OV10823, 0, 40000, {{0x3500, 0x00}, {0x3501, 0xC0}, {0x3502, 0x40}, {0x380E, 0x0C}, {0x380F, 0x08}},
     3076 * 1376 / 104.4},
    {OV10823, 2, 10000, {{0x3500, 0x00}, {0x3501, 0x30}, {0x3502, 0x10}, {0x380E, 0x04}, {0x380F, 0xF0}},
     769 * 1376 / 104.4},
    {OV5647, 0, 10000, {{0x3500, 0x00}, {0x3501, 0x14}, {0x3502, 0xD0}, {0x3503, 0x03}},
     333 * 2416 / 78.4},
    {OV5695, 0, 10000, {{0x3500, 0x00}, {0x3501, 0x27}, {0x3502, 0x00}}, 624 * 740 / 45.0},
    {OV5695, 1, 10000, {{0x3500, 0x00}, {0x3501, 0x2C}, {0x3502, 0x80}}, 712 * 672 / 45.0},
    {IMX219, 0, 10000, {{0x015A, 0x02}, {0x015B, 0x2B}}, 555 * 3448 / 182.4},
    {IMX219, 1, 10000, {{0x015A, 0x03}, {0x015B, 0x41}}, 833 * 3448 / 265.6},
};

TEST_F(C2Chips, ExposureReachesTheChip)
{
    for (const ExposureCase &c : kExposureCases) {
        SCOPED_TRACE(std::string(chipName(c.chip)) + " mode " + std::to_string(c.mode) + " " +
                     std::to_string(c.exposure) + " us");
        resetBoard();
        auto chip = open(c.chip);
        ASSERT_NE(nullptr, m_handle);
        ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, c.mode, SENSOR_FLIP_NONE));
        ASSERT_EQ(QOV_SUCCESS, Sensor_Enable(m_handle));
        ASSERT_EQ(QOV_SUCCESS, Sensor_SetExposure(m_handle, c.exposure, 0));
        for (const auto &[address, value] : c.regs) {
            EXPECT_EQ(value, lastWrite(*chip, address)) << "register 0x" << std::hex << address;
        }
        EXPECT_NEAR(c.chipExposure, chip->exposureUs(), 0.01);
        QOV_UINT32 exposure = 0;
        ASSERT_EQ(QOV_SUCCESS, Sensor_GetExposure(m_handle, &exposure, 0));
        EXPECT_EQ(c.exposure, exposure);
        EXPECT_EQ(QOV_SUCCESS, Sensor_Destroy(m_handle));
        m_handle = nullptr;
    }
}

struct GainCase {
    Chip chip;
    double gain;
    Regs regs;
    double chipGain;
};

// OV chips: a = 16 x gain in 0x350A/0x350B (OV10823 3 bits high, OV5647 2
// bits) or 0x3508/0x3509 (OV5695); IMX219: code = floor(256.5 - 256 / gain).
const GainCase kGainCases[] = {
    {OV10823, 64.0, {{0x350A, 0x04}, {0x350B, 0x00}}, 64.0},
    {OV10823, 2.5, {{0x350A, 0x00}, {0x350B, 0x28}}, 2.5},
    {OV5647, 2.0, {{0x350A, 0x00}, {0x350B, 0x20}, {0x3503, 0x03}}, 2.0},
    {OV5647, 32.0, {{0x350A, 0x02}, {0x350B, 0x00}}, 32.0},
    {OV5695, 15.5, {{0x3508, 0x00}, {0x3509, 0xF8}}, 15.5},
    {OV5695, 1.0, {{0x3508, 0x00}, {0x3509, 0x10}}, 1.0},
    {IMX219, 1.0, {{0x0157, 0}}, 1.0},
    {IMX219, 2.0, {{0x0157, 128}}, 2.0},
    {IMX219, 8.0, {{0x0157, 224}}, 8.0},
    {IMX219, 10.66, {{0x0157, 232}}, 256.0 / 24},
    // floor(256.5 - 256 / 1000) = 256: held at the register's 255
    {IMX219, 1000.0, {{0x0157, 255}}, 256.0},
};

TEST_F(C2Chips, GainReachesTheChip)
{
    for (const GainCase &c : kGainCases) {
        SCOPED_TRACE(std::string(chipName(c.chip)) + " gain " + std::to_string(c.gain));
        resetBoard();
        auto chip = open(c.chip);
        ASSERT_NE(nullptr, m_handle);
        ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 0, SENSOR_FLIP_NONE));
        ASSERT_EQ(QOV_SUCCESS, Sensor_SetGain(m_handle, c.gain, 0));
        for (const auto &[address, value] : c.regs) {
            EXPECT_EQ(value, lastWrite(*chip, address)) << "register 0x" << std::hex << address;
        }
        EXPECT_NEAR(c.chipGain, chip->gain(), 1e-9);
        double gain = 0;
        ASSERT_EQ(QOV_SUCCESS, Sensor_GetCurrentGain(m_handle, &gain, 0));
        EXPECT_DOUBLE_EQ(c.gain, gain);
        EXPECT_EQ(QOV_SUCCESS, Sensor_Destroy(m_handle));
        m_handle = nullptr;
    }
}

TEST_F(C2Chips, GainRangesAndStartingValues)
{
    const struct {
        Chip chip;
        double maxGain;
    } cases[] = {{OV10823, 64.0}, {OV5647, 32.0}, {OV5695, 15.5}, {IMX219, 10.66}};
    for (const auto &c : cases) {
        SCOPED_TRACE(chipName(c.chip));
        resetBoard();
        open(c.chip);
        ASSERT_NE(nullptr, m_handle);
        double minGain = 0, maxGain = 0, gain = -1;
        QOV_UINT8 contexts = 9;
        ASSERT_EQ(QOV_SUCCESS, Sensor_GetGainRange(m_handle, &minGain, &maxGain, &contexts));
        EXPECT_DOUBLE_EQ(1.0, minGain);
        EXPECT_DOUBLE_EQ(c.maxGain, maxGain);
        ASSERT_EQ(QOV_SUCCESS, Sensor_GetCurrentGain(m_handle, &gain, 0));
        EXPECT_DOUBLE_EQ(1.0, gain);
        ASSERT_EQ(QOV_SUCCESS, Sensor_GetCurrentGain(m_handle, &gain, 1));
        EXPECT_DOUBLE_EQ(0.0, gain);
        QOV_UINT32 exposure = 1;
        ASSERT_EQ(QOV_SUCCESS, Sensor_GetExposure(m_handle, &exposure, 4));
        EXPECT_EQ(0u, exposure);
        EXPECT_EQ(QOV_SUCCESS, Sensor_Destroy(m_handle));
        m_handle = nullptr;
    }
}

// Every context writes the one register set; context 5 does not exist.
TEST_F(C2Chips, ContextsShareOneRegisterSet)
{
    auto chip = open(OV5695);
    ASSERT_NE(nullptr, m_handle);
    ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 0, SENSOR_FLIP_NONE));
    ASSERT_EQ(QOV_SUCCESS, Sensor_SetExposure(m_handle, 10000, 3));
    EXPECT_EQ(0x27, lastWrite(*chip, 0x3501));
    QOV_UINT32 exposure = 0;
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetExposure(m_handle, &exposure, 3));
    EXPECT_EQ(10000u, exposure);

    chip->clearWrites();
    EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, Sensor_SetExposure(m_handle, 10000, 5));
    EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, Sensor_SetGain(m_handle, 2.0, 5));
    EXPECT_TRUE(chip->writes().empty());
}

// The OV10823 brackets exposure and frame length in one register group.
TEST_F(C2Chips, Ov10823ExposureIsOneRegisterGroup)
{
    auto chip = open(OV10823);
    ASSERT_NE(nullptr, m_handle);
    ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 0, SENSOR_FLIP_NONE));
    chip->clearWrites();
    ASSERT_EQ(QOV_SUCCESS, Sensor_SetExposure(m_handle, 10000, 0));
    const std::vector<std::pair<uint16_t, int>> expected = {
        {0x3208, 0x02}, {0x3500, 0x00}, {0x3501, 0x30}, {0x3502, 0x10}, {0x380E, 0x09},
        {0x380F, 0xE0}, {0x3208, 0x12}, {0x320B, 0x00}, {0x3208, 0xE2},
    };
    std::vector<std::pair<uint16_t, int>> written;
    for (const SimChip::Write &w : chip->writes()) {
        written.emplace_back(w.address, w.value);
    }
    EXPECT_EQ(expected, written);
}

// A mode query takes exposure context 0 from the mode list's exposure
// registers; SetMode then sets 302 line times.
TEST_F(C2Chips, ModeQueryTakesTheListExposure)
{
    open(OV10823);
    ASSERT_NE(nullptr, m_handle);
    ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 0, SENSOR_FLIP_NONE));
    QOV_UINT32 exposure = 0;
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetExposure(m_handle, &exposure, 0));
    EXPECT_EQ(302u * 26, exposure);

    // mode 2 lists 0x3501 = 0x4E: 1248 lines of 1376 / 104.4 MHz
    SENSOR_MODE mode{};
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetMode(m_handle, 2, &mode));
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetExposure(m_handle, &exposure, 0));
    EXPECT_EQ(static_cast<QOV_UINT32>(1248 * 1376 / 104.4), exposure);

    // the description queries the current mode 0: 0x3501 = 0x9D, 2512 lines
    SENSOR_INFO info{};
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetInfo(m_handle, &info));
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetExposure(m_handle, &exposure, 0));
    EXPECT_EQ(static_cast<QOV_UINT32>(2512 * 1376 / 104.4), exposure);
}

// Values beyond what the registers hold saturate instead of wrapping round.
TEST_F(C2Chips, OutOfRangeExposureAndGainSaturate)
{
    const struct {
        Chip chip;
        QOV_UINT32 exposure;
        double gain;
        Regs regs;
    } cases[] = {
        // n = 4000000 / 26 = 153846 lines: more than 16 bits
        {OV10823, 2000000, 200.0,
         {{0x3500, 0x0F}, {0x3501, 0xFF}, {0x3502, 0xF0}, {0x380E, 0xFF}, {0x380F, 0xFF},
          {0x350A, 0x07}, {0x350B, 0xFF}}},
        {OV5647, 3000000, -2.0, {{0x3500, 0x0F}, {0x3501, 0xFF}, {0x3502, 0xF0}, {0x350A, 0}, {0x350B, 0}}},
        // n counts 4-line steps in 14 bits
        {OV5695, 2000000, std::nan(""), {{0x3500, 0x0F}, {0x3501, 0xFF}, {0x3502, 0xC0}, {0x3508, 0}, {0x3509, 0}}},
        // gain codes of 16 x gain: 3200 = 0xC80 fits 12 bits; 4096 and above hold at 0xFFF
        {OV5695, 10000, 200.0, {{0x3501, 0x27}, {0x3508, 0x0C}, {0x3509, 0x80}}},
        {OV5695, 10000, 256.0, {{0x3508, 0x0F}, {0x3509, 0xFF}}},
        {OV5695, 10000, 1000.0, {{0x3508, 0x0F}, {0x3509, 0xFF}}},
        {OV5647, 10000, 64.0, {{0x350A, 0x03}, {0x350B, 0xFF}}},
        {IMX219, 2000000, 0.5, {{0x015A, 0xFF}, {0x015B, 0xFF}, {0x0157, 0}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(chipName(c.chip));
        resetBoard();
        auto chip = open(c.chip);
        ASSERT_NE(nullptr, m_handle);
        ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 0, SENSOR_FLIP_NONE));
        ASSERT_EQ(QOV_SUCCESS, Sensor_SetExposure(m_handle, c.exposure, 0));
        ASSERT_EQ(QOV_SUCCESS, Sensor_SetGain(m_handle, c.gain, 0));
        for (const auto &[address, value] : c.regs) {
            EXPECT_EQ(value, lastWrite(*chip, address)) << "register 0x" << std::hex << address;
        }
        EXPECT_EQ(QOV_SUCCESS, Sensor_Destroy(m_handle));
        m_handle = nullptr;
    }
}

// Before any mode is chosen the line time is unknown: exposure 0 lines, no fault.
TEST_F(C2Chips, ExposureBeforeAModeWritesZeroLines)
{
    auto chip = open(IMX219);
    ASSERT_NE(nullptr, m_handle);
    ASSERT_EQ(QOV_SUCCESS, Sensor_SetExposure(m_handle, 10000, 0));
    EXPECT_EQ(0, lastWrite(*chip, 0x015A));
    EXPECT_EQ(0, lastWrite(*chip, 0x015B));
}

/*-------------------------------------------------------------------------
 * Reference clock
 *-------------------------------------------------------------------------*/

TEST_F(C2Chips, Ov10823PllFollowsTheBoardClock)
{
    const struct {
        const char *mhz;
        std::optional<int> reg3082, reg308D;  // none: the configuration is not written
    } cases[] = {
        {"24.0", 108, 174},  // 2592 / 24, 4176 / 24
        {"27.0", 96, 154},   // 2592 / 27, 4176 / 27 = 154.7
        {"20.0", 129, 208},
        {"27.5", std::nullopt, std::nullopt},
        {"19.2", std::nullopt, std::nullopt},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.mhz) + " MHz");
        resetBoard();
        useBoardClock(c.mhz);
        auto chip = open(OV10823);
        ASSERT_NE(nullptr, m_handle);
        ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 0, SENSOR_FLIP_NONE));
        // a refused clock leaves the chip unconfigured, and Enable says so
        ASSERT_EQ(c.reg3082 ? QOV_SUCCESS : QOV_ERROR_NOT_SUPPORTED, Sensor_Enable(m_handle));
        EXPECT_EQ(c.reg3082, lastWrite(*chip, 0x3082));
        EXPECT_EQ(c.reg308D, lastWrite(*chip, 0x308D));
        EXPECT_EQ(c.reg3082.has_value(), chip->wasWritten(0x0103));
        EXPECT_TRUE(chip->wasWritten(0x3808));  // the mode is written either way
        EXPECT_EQ(QOV_SUCCESS, Sensor_Destroy(m_handle));
        m_handle = nullptr;
    }
}

TEST_F(C2Chips, Imx219TimingFollowsTheBoardClock)
{
    useBoardClock("27.0");
    open(IMX219);
    ASSERT_NE(nullptr, m_handle);
    // 2 x 27 MHz / 3 x 57 / 5; line 3448 / 205.2 MHz = 16.80 us
    SENSOR_MODE mode{};
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetMode(m_handle, 0, &mode));
    EXPECT_DOUBLE_EQ(205200000.0, mode.flPixelRate);
    EXPECT_EQ(16u, mode.ui32ExposureMin);
    EXPECT_EQ(41940u, mode.ui32ExposureMax);  // 16.803 x 2496
    EXPECT_NEAR(23.805, mode.flFrameRate, 0.001);
}

// A clock the timing arithmetic cannot take fails the bring-up cleanly.
TEST_F(C2Chips, ImplausibleBoardClocksFailTheBringUp)
{
    for (const Chip chip : {IMX219, OV5647}) {
        for (const char *mhz : {"1e-30", "inf"}) {
            SCOPED_TRACE(mhz);
            resetBoard();
            useBoardClock(mhz);
            place(chip);
            const auto out = sensortest::captureOutput(
                [&] { EXPECT_EQ(QOV_ERROR_DEVICE_FAILED, Sensor_Initialise(sensorAtPosition0(chip), &m_handle)); });
            EXPECT_EQ(nullptr, m_handle);
            EXPECT_NE(std::string::npos, (out.out + out.err).find("Incorrect clock frequency "));
        }
    }
}

/*-------------------------------------------------------------------------
 * Failures
 *-------------------------------------------------------------------------*/

struct BringUpFailure {
    const char *label;
    QOV_UINT16 sensor;
    std::optional<Chip> placed;  // the chip on bus 0, if any
    bool failIdentityRead;
};

const BringUpFailure kBringUpFailures[] = {
    {"OV10823 absent", 7, std::nullopt, false},
    {"IMX219 absent", 16, std::nullopt, false},
    // another chip answering at the same address
    {"OV5695 finds an OV5647", 12, OV5647, false},
    {"OV5647 finds an OV5695", 9, OV5695, false},
    {"IMX219 finds an OV10823", 16, OV10823, false},
    {"OV10823 finds an IMX219", 7, IMX219, false},
    {"OV5647 identity read fails", 9, OV5647, true},
};

TEST_F(C2Chips, BringUpFailuresLeaveNothingOpen)
{
    for (const BringUpFailure &c : kBringUpFailures) {
        SCOPED_TRACE(c.label);
        resetBoard();
        if (c.placed) {
            place(*c.placed);
        }
        if (c.failIdentityRead) {
            Board::instance().injectFault("/dev/i2c-0", simboard::TraceEntry::READ, -EIO);
        }
        SENSOR_HANDLE handle = reinterpret_cast<SENSOR_HANDLE>(&handle);
        EXPECT_EQ(QOV_ERROR_DEVICE_FAILED, Sensor_Initialise(c.sensor, &handle));
        EXPECT_EQ(nullptr, handle);
        EXPECT_EQ(0u, Board::instance().openDescriptors());
        EXPECT_EQ(0, GpioBank::instance().openChips());
        EXPECT_FALSE(GpioBank::instance().requested("gpiochip0", 10));
        EXPECT_FALSE(GpioBank::instance().requested("gpiochip0", 11));
    }
}

// A chip that stops answering after the bring-up: the operations report
// the failed transfers (the values asked for are kept) and the
// description marks the version as not verified.
TEST_F(C2Chips, FailingTransfersAfterBringUp)
{
    const Chip kinds[] = {OV10823, OV5647, OV5695, IMX219};
    for (Chip kind : kinds) {
        SCOPED_TRACE(chipName(kind));
        resetBoard();
        auto chip = open(kind);
        ASSERT_NE(nullptr, m_handle);
        ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 0, SENSOR_FLIP_NONE));
        chip->setResponding(false);

        EXPECT_EQ(QOV_ERROR_I2C_FAILED, Sensor_SetExposure(m_handle, 10000, 0));
        EXPECT_EQ(QOV_ERROR_I2C_FAILED, Sensor_SetGain(m_handle, 2.0, 0));
        EXPECT_TRUE(chip->writes().empty());
        QOV_UINT32 exposure = 0;
        ASSERT_EQ(QOV_SUCCESS, Sensor_GetExposure(m_handle, &exposure, 0));
        EXPECT_EQ(10000u, exposure);

        SENSOR_INFO info{};
        ASSERT_EQ(QOV_SUCCESS, Sensor_GetInfo(m_handle, &info));
        EXPECT_STREQ("not-verified", info.pszSensorVersion);

        EXPECT_EQ(QOV_ERROR_I2C_FAILED, Sensor_Enable(m_handle));
        EXPECT_FALSE(chip->streaming());
        EXPECT_EQ(QOV_SUCCESS, Sensor_Destroy(m_handle));
        m_handle = nullptr;
    }
}

// One failed record does not stop the rest of a list.
TEST_F(C2Chips, OneFailedRecordDoesNotStopTheList)
{
    auto chip = open(OV5647);
    ASSERT_NE(nullptr, m_handle);
    ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 0, SENSOR_FLIP_NONE));
    // the first write of the configuration (the software reset) fails
    Board::instance().injectFault("/dev/i2c-0", simboard::TraceEntry::WRITE, -EIO);
    ASSERT_EQ(QOV_ERROR_I2C_FAILED, Sensor_Enable(m_handle));
    EXPECT_FALSE(chip->wasWritten(0x0103));
    EXPECT_EQ(0x62, lastWrite(*chip, 0x3036));
    EXPECT_TRUE(chip->streaming());
}

TEST(C2Create, NullHandlePointerIsRefused)
{
    for (auto create : {OV10823_Create_0, OV10823_Create_1, OV5647_Create_0, OV5647_Create_1,
                        OV5695_Create_0, OV5695_Create_1, OV5695_Create_2})
        EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, create(nullptr));
}

}  // namespace
}  // namespace chips_c2
