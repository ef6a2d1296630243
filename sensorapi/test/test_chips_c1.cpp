// The AR330, OV4688, OV4689 and OV2718 drivers against their simulated
// chips: bring-up, identity, modes, streaming on and off (chip, PHY, gasket,
// reset and power-down lines), flips, exposure and gain through the
// registers, focus, and the failures. Expected register values are worked
// out by hand from the chips' encodings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sensor_test_support.h"
#include "sensorapi/sensorapi.h"
#include "sensors/sensor_drivers.h"
#include "simboard/board.h"
#include "simboard/gpio.h"
#include "simboard/sensor_chip.h"
#include "simboard/sensor_models.h"
#include "simboard/sensor_phy.h"
#include "simboard/sleep.h"

namespace chips_c1 {
namespace {

using sensortest::captureOutput;
using sensortest::lastWrite;
using simboard::Board;
using simboard::ChipModel;
using simboard::GpioBank;
using simboard::GpioEvent;
using simboard::PhyRecord;
using simboard::SensorBoard;
using simboard::SimChip;
using simboard::Sleeps;
using simboard::TraceEntry;

enum Chip { AR330, OV4688, OV4689, OV2718 };

ChipModel chipModel(Chip chip)
{
    switch (chip) {
    case AR330: return simboard::modelAR330();
    case OV4688: return simboard::modelOV4688();
    case OV4689: return simboard::modelOV4689();
    default: return simboard::modelOV2718();
    }
}

// The model with one initial register changed (another identity, another revision).
ChipModel chipModelWith(Chip chip, uint16_t address, uint8_t value)
{
    ChipModel model = chipModel(chip);
    model.targets[0].setInitial(address, value);
    return model;
}

// One sensor-table entry of these drivers and where the simulated board wires it.
struct Entry {
    QOV_UINT16 sensor;
    const char *name;
    Chip chip;
    unsigned bus;
    unsigned phy;
    unsigned gasket;
    bool boardFile;  // brought up from the board file, with its GPIO lines
    unsigned resetLine, pwdnLine;  // on gpiochip0
    const char *version;
    MOSAICType bayer;
    QOV_UINT32 wellDepth;
    // mode 0 on the link
    QOV_UINT32 linkType;
    QOV_UINT8 lanes, hsFreqRange;
    double frameTimeUs;  // one frame of mode 0
};

const Entry kEntries[] = {
    // AR330 and OV4688: fixed "/dev/i2c-0", no GPIO lines. AR330 feeds the
    // parallel input 2 over HiSPi; OV4688 the MIPI input 1 through PHY 1.
    {1, "AR330", AR330, 0, 0, 2, false, 0, 0, "not-verified", MOSAIC_GRBG, 7500, 1, 0, 10,
     964 / 12.6 * 730},
    {2, "OV4688", OV4688, 0, 1, 1, false, 0, 0, "0x4688", MOSAIC_BGGR, 6040, 8, 1, 2,
     5312.0 * 756 / 54},
    {3, "OV4689_0", OV4689, 0, 0, 0, true, 10, 11, "0x4688", MOSAIC_BGGR, 6040, 8, 2, 2,
     2576.0 * 1554 / (730.0 / 6)},
    {4, "OV4689_1", OV4689, 1, 1, 1, true, 12, 13, "0x4688", MOSAIC_BGGR, 6040, 8, 2, 2,
     2576.0 * 1554 / (730.0 / 6)},
    {5, "OV2718_0", OV2718, 0, 0, 0, true, 10, 11, "0x2770", MOSAIC_BGGR, 6040, 8, 4, 10,
     2200.0 * 1125 / 75},
    {6, "OV2718_1", OV2718, 1, 1, 1, true, 12, 13, "0x2770", MOSAIC_BGGR, 6040, 8, 4, 10,
     2200.0 * 1125 / 75},
};

const Entry &entryOf(Chip chip)
{
    static const int first[] = {0, 1, 2, 4};
    return kEntries[first[chip]];
}

std::string entryName(const testing::TestParamInfo<Entry> &info) { return info.param.name; }

bool contains(const std::vector<uint64_t> &sleeps, uint64_t us)
{
    return std::find(sleeps.begin(), sleeps.end(), us) != sleeps.end();
}

// Register writes as (address, value) pairs, in order.
using Writes = std::vector<std::pair<uint16_t, uint8_t>>;

Writes writesOf(const SimChip &chip)
{
    Writes w;
    for (const SimChip::Write &write : chip.writes())
        w.emplace_back(write.address, write.value);
    return w;
}

class C1Chips : public sensortest::SimBoardTest {
protected:
    void TearDown() override
    {
        if (m_handle) {
            EXPECT_EQ(QOV_SUCCESS, Sensor_Destroy(m_handle));
            m_handle = nullptr;
        }
        sensortest::SimBoardTest::TearDown();
    }

    std::shared_ptr<SimChip> place(const Entry &e, ChipModel model)
    {
        return SensorBoard::instance().place(e.bus, std::move(model), static_cast<int>(e.phy));
    }
    std::shared_ptr<SimChip> place(const Entry &e) { return place(e, chipModel(e.chip)); }

    // Places the chip of `e` and opens its driver.
    std::shared_ptr<SimChip> open(const Entry &e)
    {
        auto chip = place(e);
        EXPECT_EQ(QOV_SUCCESS, Sensor_Initialise(e.sensor, &m_handle));
        EXPECT_NE(nullptr, m_handle);
        return chip;
    }
    std::shared_ptr<SimChip> open(Chip chip) { return open(entryOf(chip)); }

    // Opens the chip, sets a mode and streams.
    std::shared_ptr<SimChip> stream(Chip kind, QOV_UINT16 mode = 0, QOV_UINT8 flips = SENSOR_FLIP_NONE)
    {
        auto chip = open(kind);
        EXPECT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, mode, flips));
        EXPECT_EQ(QOV_SUCCESS, Sensor_Enable(m_handle));
        return chip;
    }

    // The simulated board's own files with another sensor clock.
    void useBoardClock(const std::string &mhz)
    {
        const std::string defaultRoot = Board::instance().root();
        std::ifstream model(defaultRoot + "/proc/device-tree/model", std::ios::binary);
        std::string modelText((std::istreambuf_iterator<char>(model)), std::istreambuf_iterator<char>());
        m_root.setModel(modelText, false);
        std::ifstream in(defaultRoot + "/etc/vezara/boardcfg/Vezara.cfg");
        std::string text, line;
        while (std::getline(in, line))
            text += (line.rfind("-Board_clock_frequency", 0) == 0 ? "-Board_clock_frequency " + mhz : line) +
                    "\n";
        m_root.setBoardFile("Vezara", text);
        m_root.apply();
    }

    SENSOR_HANDLE m_handle = nullptr;

private:
    // A root of the test's own, applied only by useBoardClock (SetUp's board
    // reset restores the default root after its construction).
    sensortest::BoardRoot m_root;
};

/*-------------------------------------------------------------------------
 * Bring-up, identity and streaming at every table entry
 *-------------------------------------------------------------------------*/

class C1Entries : public C1Chips, public testing::WithParamInterface<Entry> {};

TEST_P(C1Entries, OpensReportsItselfStreamsAndStops)
{
    const Entry &e = GetParam();
    auto chip = place(e);
    ASSERT_EQ(QOV_SUCCESS, Sensor_Initialise(e.sensor, &m_handle));
    ASSERT_NE(nullptr, m_handle);

    GpioBank &gpio = GpioBank::instance();
    if (e.boardFile) {
        // power-down line held at the board's level 1; reset requested high, pulsed low, high
        const auto pwdn = gpio.eventsOf("gpiochip0", e.pwdnLine);
        ASSERT_EQ(1u, pwdn.size());
        EXPECT_EQ(GpioEvent::REQUEST, pwdn[0].kind);
        EXPECT_EQ(1, pwdn[0].value);
        EXPECT_EQ("Sensor", pwdn[0].consumer);
        const auto reset = gpio.eventsOf("gpiochip0", e.resetLine);
        ASSERT_EQ(3u, reset.size());
        EXPECT_EQ(GpioEvent::REQUEST, reset[0].kind);
        EXPECT_EQ(1, reset[0].value);
        EXPECT_EQ(GpioEvent::SET, reset[1].kind);
        EXPECT_EQ(0, reset[1].value);
        EXPECT_EQ(GpioEvent::SET, reset[2].kind);
        EXPECT_EQ(1, reset[2].value);
        const std::vector<uint64_t> pulse = {1000, 100000};
        EXPECT_TRUE(std::search(Sleeps::log().begin(), Sleeps::log().end(), pulse.begin(), pulse.end()) !=
                    Sleeps::log().end());
    } else {
        EXPECT_TRUE(gpio.events().empty());
    }

    SENSOR_INFO info{};
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetInfo(m_handle, &info));
    EXPECT_STREQ(e.name, info.pszSensorName);
    EXPECT_STREQ(e.version, info.pszSensorVersion);
    EXPECT_EQ(e.bayer, info.eBayerOriginal);
    EXPECT_EQ(e.bayer, info.eBayerEnabled);
    EXPECT_EQ(e.gasket, info.ui8Imager);  // the input its frames arrive on
    EXPECT_EQ(e.wellDepth, info.ui32WellDepth);
    EXPECT_EQ(30, info.ui16FocalLength);
    EXPECT_DOUBLE_EQ(1.2, info.fNumber);
    EXPECT_DOUBLE_EQ(5.0, info.flReadNoise);
    EXPECT_TRUE(info.bBackFacing);
    EXPECT_EQ(SENSOR_STATE_IDLE, info.sStatus.eState);

    auto phy = SensorBoard::instance().phy(e.phy);
    ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 0, SENSOR_FLIP_NONE));
    EXPECT_FALSE(phy->enabled());
    ASSERT_EQ(QOV_SUCCESS, Sensor_Enable(m_handle));
    EXPECT_TRUE(chip->streaming());
    sensortest::expectNoListEndWritten(*chip);
    ASSERT_TRUE(phy->enabled());
    EXPECT_EQ(e.linkType, phy->state().type);
    EXPECT_EQ(e.lanes, phy->state().mipiLanes);
    EXPECT_EQ(e.hsFreqRange, phy->state().mipiHsFreqRange);
    EXPECT_EQ(chip, SensorBoard::instance().sourceOf(e.gasket));
    // the exposure the driver reports is the one the chip was given (within
    // the whole-microsecond line time the driver counts with)
    QOV_UINT32 exposure = 0;
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetExposure(m_handle, &exposure, 0));
    EXPECT_NEAR(exposure, chip->exposureUs(), 0.03 * exposure);
    SENSOR_STATUS status{};
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetState(m_handle, &status));
    EXPECT_EQ(SENSOR_STATE_RUNNING, status.eState);

    Sleeps::clear();
    ASSERT_EQ(QOV_SUCCESS, Sensor_Disable(m_handle));
    EXPECT_FALSE(chip->streaming());
    EXPECT_FALSE(phy->enabled());
    const PhyRecord &off = phy->switches().back().record;
    EXPECT_EQ(0, off.enable);
    EXPECT_EQ(0, off.mipiLanes);
    EXPECT_EQ(0, off.mipiHsFreqRange);
    EXPECT_EQ(nullptr, SensorBoard::instance().sourceOf(e.gasket));
    // one frame time for the frame in flight to end
    const auto &sleeps = Sleeps::log();
    EXPECT_TRUE(std::any_of(sleeps.begin(), sleeps.end(),
                            [&](uint64_t us) { return us + 2.0 >= e.frameTimeUs && us <= e.frameTimeUs; }))
        << "no sleep of one frame, " << e.frameTimeUs << " us";
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetState(m_handle, &status));
    EXPECT_EQ(SENSOR_STATE_IDLE, status.eState);
}

INSTANTIATE_TEST_SUITE_P(Table, C1Entries, testing::ValuesIn(kEntries), entryName);

/*-------------------------------------------------------------------------
 * Modes
 *-------------------------------------------------------------------------*/

struct ModeGolden {
    QOV_UINT16 mode;
    QOV_UINT16 width, height, hts, vts;
    double frameRate;
    QOV_UINT32 exposureMin, exposureMax;
    QOV_UINT8 lanes, bitDepth;
    double pixelRate;
    QOV_UINT8 hsFreqRange;
    HDR_MODES hdr;
};

// AR330: pixel rate 24 MHz / 4 x multiplier / 4 / 5 (Mpx/s), line time
// floor(line length / pixel rate), frame rate 1e6 / floor(line time x frame length).
// OV4688: 24 MHz x 27 / 4 / 3 = 54 MHz. OV4689: 730 MHz / 6 (configurations 0
// and 1), 1120 MHz / 9 (configuration 2), pixel rate lanes x clock. OV2718: 75 MHz.
std::vector<ModeGolden> modeGoldens(Chip chip)
{
    const QOV_UINT32 f = 0xFFFFF, ff = 0xFFFF;
    switch (chip) {
    case AR330:
        return {
            {0, 1280, 720, 1928, 730, 17.905, 76, 76 * ff, 0, 10, 12.6, 0, HDR_NONE},
            {1, 1280, 720, 2028, 864, 16.436, 70, 70 * ff, 0, 10, 14.4, 0, HDR_NONE},
            {2, 1280, 720, 2028, 864, 29.449, 39, 39 * ff, 0, 10, 25.8, 0, HDR_NONE},
            {3, 1920, 1080, 2208, 1248, 20.903, 38, 38 * ff, 0, 10, 28.8, 0, HDR_NONE},
            {4, 2304, 1296, 2496, 1308, 27.200, 28, 28 * ff, 0, 10, 44.4, 0, HDR_NONE},
            {5, 2304, 1296, 2496, 1308, 17.643, 43, 43 * ff, 0, 10, 28.8, 0, HDR_NONE},
            {6, 2304, 1296, 2496, 1308, 24.993, 30, 30 * ff, 0, 10, 40.8, 0, HDR_NONE},
            {7, 2304, 1296, 2496, 1308, 19.848, 38, 38 * ff, 0, 10, 32.4, 0, HDR_NONE},
            {8, 1280, 720, 2028, 864, 14.724, 78, 78 * ff, 0, 10, 12.9, 0, HDR_NONE},
            {9, 1280, 720, 2028, 864, 16.436, 70, 70 * ff, 0, 10, 14.4, 0, HDR_NONE},
            {10, 1280, 720, 2028, 864, 17.121, 67, 67 * ff, 0, 10, 15.0, 0, HDR_NONE},
            {11, 1280, 720, 2028, 864, 15.067, 76, 76 * ff, 0, 10, 13.2, 0, HDR_NONE},
            {12, 1920, 1088, 4224, 1212, 5.626, 146, 146 * ff, 0, 10, 14.4, 0, HDR_NONE},
            {13, 1280, 720, 1928, 864, 51.867, 22, 22 * ff, 0, 10, 43.2, 0, HDR_NONE},
            {14, 1280, 720, 1928, 730, 17.905, 76, 76 * ff, 0, 10, 12.6, 0, HDR_NONE},
        };
    case OV4688:
        return {{0, 1280, 720, 5312, 756, 13.447, 98, 98 * f, 1, 10, 54e6, 2, HDR_NONE}};
    case OV4689: {
        const double c01 = 730.0 / 6, c2 = 1120.0 / 9;
        return {
            {0, 2688, 1520, 2576, 1554, 30.39, 21, 21 * f, 2, 10, 2 * c01, 2, HDR_NONE},
            {1, 2016, 1520, 2576, 1554, 30.39, 21, 21 * f, 2, 10, 2 * c01, 2, HDR_NONE},
            {2, 1920, 1080, 2608, 1116, 41.80, 21, 21 * f, 2, 10, 2 * c01, 2, HDR_NONE},
            {3, 1344, 760, 2632, 797, 58.00, 21, 21 * f, 2, 10, 2 * c01, 2, HDR_NONE},
            {16, 2688, 1520, 1116, 1605, 67.93, 9, 9 * f, 4, 10, 4 * c01, 10, HDR_NONE},
            {17, 2016, 1520, 860, 1554, 91.04, 7, 7 * f, 4, 10, 4 * c01, 10, HDR_NONE},
            {18, 1920, 1080, 816, 1116, 133.60, 6, 6 * f, 4, 10, 4 * c01, 10, HDR_NONE},
            {19, 1344, 760, 840, 797, 181.73, 6, 6 * f, 4, 10, 4 * c01, 10, HDR_NONE},
            {32, 1920, 1080, 4300, 1116, 25.93, 34, 34 * f, 1, 8, c2, 2, HDR_NONE},
            {33, 1280, 720, 5312, 756, 30.99, 42, 42 * f, 1, 8, c2, 2, HDR_NONE},
        };
    }
    default:
        // revision 2A; the maximum is floor((VTS - 2) x HTS / 75 MHz)
        return {
            {0, 1920, 1080, 2200, 1125, 30.303, 29, 32941, 4, 12, 75e6, 10, HDR_NONE},
            {1, 1280, 720, 2200, 1125, 30.303, 29, 32941, 4, 12, 75e6, 10, HDR_NONE},
            {2, 1936, 1096, 2200, 1125, 30.303, 29, 32941, 4, 12, 75e6, 10, HDR_NONE},
            {3, 1936, 1096, 2200, 1125, 30.303, 29, 32941, 4, 12, 75e6, 10, HDR_NONE},
            {16, 1920, 1080, 3550, 1126, 18.763, 47, 53202, 4, 12, 75e6, 10, HDR_STAGGERED},
            {17, 1280, 720, 3550, 1126, 18.763, 47, 53202, 4, 12, 75e6, 10, HDR_STAGGERED},
        };
    }
}

void expectMode(const ModeGolden &g, const SENSOR_MODE &mode)
{
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
    EXPECT_EQ(SENSOR_FLIP_BOTH, mode.ui8SupportFlipping);
    EXPECT_EQ(g.hdr, mode.eHDRMode);
    EXPECT_EQ(g.hdr == HDR_STAGGERED, mode.bLongExpFirst != 0);
}

class C1ChipKinds : public C1Chips, public testing::WithParamInterface<Chip> {};

std::string chipName(const testing::TestParamInfo<Chip> &info)
{
    static const char *const names[] = {"AR330", "OV4688", "OV4689", "OV2718"};
    return names[info.param];
}

TEST_P(C1ChipKinds, ListsItsModes)
{
    open(GetParam());
    ASSERT_NE(nullptr, m_handle);
    for (const ModeGolden &g : modeGoldens(GetParam())) {
        SCOPED_TRACE("mode " + std::to_string(g.mode));
        SENSOR_MODE mode{};
        ASSERT_EQ(QOV_SUCCESS, Sensor_GetMode(m_handle, g.mode, &mode));
        expectMode(g, mode);
    }
}

// Setting and starting each mode warns of exactly the registers its lists
// lack (flips, gain, exposure, clock): none, but for the OV2718's modes 2
// and 3, whose lists carry no flip, offset or ISP setting register.
TEST_P(C1ChipKinds, EveryModeWarnsOfTheRegistersItsListsLack)
{
    open(GetParam());
    ASSERT_NE(nullptr, m_handle);
    for (const ModeGolden &g : modeGoldens(GetParam())) {
        SCOPED_TRACE("mode " + std::to_string(g.mode));
        const auto out = captureOutput([&] {
            ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, g.mode, SENSOR_FLIP_NONE));
            ASSERT_EQ(QOV_SUCCESS, Sensor_Enable(m_handle));
            ASSERT_EQ(QOV_SUCCESS, Sensor_Disable(m_handle));
        });
        const std::string text = out.out + out.err;
        std::vector<std::string> missing;
        for (size_t at = text.find("Did not find "); at != std::string::npos; at = text.find("Did not find ", at + 1))
            missing.push_back(text.substr(at + 13, text.find(" in registers", at) - at - 13));
        const std::vector<std::string> expected =
            GetParam() == OV2718 && (g.mode == 2 || g.mode == 3)
                ? std::vector<std::string>{"flipIndex0", "otp hoffset index", "isp setting index"}
                : std::vector<std::string>{};
        EXPECT_EQ(expected, missing) << text;
    }
}

// A second Enable of a streaming sensor is refused and changes nothing: the
// chip, the PHY and the gasket stay on, and Destroy still stops them.
TEST_P(C1ChipKinds, SecondEnableKeepsTheSensorStreaming)
{
    const Entry &e = entryOf(GetParam());
    auto chip = stream(GetParam());
    auto phy = SensorBoard::instance().phy(e.phy);
    ASSERT_NE(nullptr, phy);
    const size_t switches = phy->switches().size();
    chip->clearWrites();

    const auto out = captureOutput([&] { EXPECT_EQ(QOV_ERROR_WRONG_STATE, Sensor_Enable(m_handle)); });
    EXPECT_NE(std::string::npos, (out.out + out.err).find(" is already enabled\n")) << out.out << out.err;
    EXPECT_TRUE(chip->writes().empty());
    EXPECT_EQ(switches, phy->switches().size());
    EXPECT_TRUE(chip->streaming());
    EXPECT_TRUE(phy->enabled());
    EXPECT_EQ(chip, SensorBoard::instance().sourceOf(e.gasket));
    SENSOR_STATUS status{};
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetState(m_handle, &status));
    EXPECT_EQ(SENSOR_STATE_RUNNING, status.eState);

    ASSERT_EQ(QOV_SUCCESS, Sensor_Destroy(m_handle));
    m_handle = nullptr;
    EXPECT_FALSE(chip->streaming());
    EXPECT_FALSE(phy->enabled());
    EXPECT_EQ(nullptr, SensorBoard::instance().sourceOf(e.gasket));
}

INSTANTIATE_TEST_SUITE_P(Table, C1ChipKinds, testing::Values(AR330, OV4688, OV4689, OV2718), chipName);

// Mode numbers the drivers refuse, by reading and by setting.
struct MissingMode {
    Chip chip;
    QOV_UINT16 mode;
    QOV_RESULT getResult, setResult;
};

class C1MissingModes : public C1Chips, public testing::WithParamInterface<MissingMode> {};

TEST_P(C1MissingModes, AreRefused)
{
    const MissingMode &m = GetParam();
    auto chip = open(m.chip);
    ASSERT_NE(nullptr, m_handle);
    chip->clearWrites();
    SENSOR_MODE mode{};
    EXPECT_EQ(m.getResult, Sensor_GetMode(m_handle, m.mode, &mode));
    EXPECT_EQ(m.setResult, Sensor_SetMode(m_handle, m.mode, SENSOR_FLIP_NONE));
    EXPECT_TRUE(chip->writes().empty());
    SENSOR_STATUS status{};
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetState(m_handle, &status));
    EXPECT_EQ(0, status.ui16CurrentMode);
}

INSTANTIATE_TEST_SUITE_P(
    Table, C1MissingModes,
    testing::Values(MissingMode{AR330, 15, QOV_ERROR_NOT_SUPPORTED, QOV_ERROR_INVALID_ARGUMENT},
                    // the special mode before a file was loaded
                    MissingMode{AR330, 255, QOV_ERROR_NOT_SUPPORTED, QOV_ERROR_INVALID_ARGUMENT},
                    MissingMode{OV4688, 1, QOV_ERROR_NOT_SUPPORTED, QOV_ERROR_INVALID_ARGUMENT},
                    MissingMode{OV4689, 4, QOV_ERROR_NOT_SUPPORTED, QOV_ERROR_NOT_SUPPORTED},
                    MissingMode{OV4689, 34, QOV_ERROR_NOT_SUPPORTED, QOV_ERROR_NOT_SUPPORTED},
                    MissingMode{OV4689, 48, QOV_ERROR_NOT_SUPPORTED, QOV_ERROR_NOT_SUPPORTED},
                    MissingMode{OV2718, 4, QOV_ERROR_NOT_SUPPORTED, QOV_ERROR_NOT_SUPPORTED},
                    MissingMode{OV2718, 18, QOV_ERROR_NOT_SUPPORTED, QOV_ERROR_NOT_SUPPORTED}));

// The OV2718 takes the tables of its silicon revision.
struct Revision {
    uint8_t subId;
    QOV_UINT8 hsFreqRange;
    QOV_UINT16 hdrHts, hdrVts;
    double hdrFrameRate;
    QOV_UINT32 hdrExposureMin, hdrExposureMax;
    bool warned;
};

class C1OV2718Revisions : public C1Chips, public testing::WithParamInterface<Revision> {};

TEST_P(C1OV2718Revisions, ChooseTheirTables)
{
    const Revision &r = GetParam();
    place(entryOf(OV2718), chipModelWith(OV2718, 0x300D, r.subId));
    const auto out = captureOutput([&] { EXPECT_EQ(QOV_SUCCESS, Sensor_Initialise(5, &m_handle)); });
    ASSERT_NE(nullptr, m_handle);
    char warning[96];
    snprintf(warning, sizeof(warning), "Unknown sensor revision (subID: 0x%x), assuming revision 2A\n", r.subId);
    EXPECT_EQ(r.warned, out.err.find(warning) != std::string::npos) << out.err;

    SENSOR_MODE mode{};
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetMode(m_handle, 0, &mode));
    EXPECT_EQ(r.hsFreqRange, mode.ui8MipiHsFreqRange);
    EXPECT_EQ(2200, mode.ui16HorizontalTotal);
    EXPECT_EQ(1125, mode.ui16VerticalTotal);
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetMode(m_handle, 16, &mode));
    EXPECT_EQ(r.hsFreqRange, mode.ui8MipiHsFreqRange);
    EXPECT_EQ(r.hdrHts, mode.ui16HorizontalTotal);
    EXPECT_EQ(r.hdrVts, mode.ui16VerticalTotal);
    EXPECT_NEAR(r.hdrFrameRate, mode.flFrameRate, 0.005);
    EXPECT_EQ(r.hdrExposureMin, mode.ui32ExposureMin);
    EXPECT_EQ(r.hdrExposureMax, mode.ui32ExposureMax);
    EXPECT_EQ(HDR_STAGGERED, mode.eHDRMode);
    EXPECT_TRUE(mode.bLongExpFirst);
}

INSTANTIATE_TEST_SUITE_P(Table, C1OV2718Revisions,
                         testing::Values(Revision{0xE1, 10, 3550, 1126, 18.763, 47, 53202, false},
                                         Revision{0xF0, 7, 2200, 1136, 30.011, 29, 33264, false},
                                         Revision{0x12, 10, 3550, 1126, 18.763, 47, 53202, true}));

/*-------------------------------------------------------------------------
 * What reaches the chip at SetMode and Enable
 *-------------------------------------------------------------------------*/

// The shared-base drivers and the OV4688 write nothing before Enable; the
// AR330 writes its mode list at SetMode and prepares the parallel input.
TEST_F(C1Chips, ListsAreWrittenAtEnableExceptTheAR330sAtSetMode)
{
    for (Chip kind : {OV4688, OV4689, OV2718}) {
        SCOPED_TRACE(kind);
        auto chip = open(kind);
        ASSERT_NE(nullptr, m_handle);
        chip->clearWrites();
        ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 0, SENSOR_FLIP_NONE));
        EXPECT_TRUE(chip->writes().empty());
        ASSERT_EQ(QOV_SUCCESS, Sensor_Enable(m_handle));
        EXPECT_FALSE(chip->writes().empty());
        ASSERT_EQ(QOV_SUCCESS, Sensor_Destroy(m_handle));
        m_handle = nullptr;
        SensorBoard::instance().removeAll();
    }

    auto chip = open(AR330);
    ASSERT_NE(nullptr, m_handle);
    ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 3, SENSOR_FLIP_NONE));
    EXPECT_FALSE(chip->streaming());
    EXPECT_EQ(1920u, chip->frameFormat().width);
    EXPECT_EQ(1080u, chip->frameFormat().height);
    ASSERT_EQ(QOV_SUCCESS, Sensor_Enable(m_handle));
    const PhyRecord &on = SensorBoard::instance().phy(0)->state();
    EXPECT_EQ(10, on.pixelRes);
    EXPECT_EQ(1920u, on.frameWidth);
    EXPECT_EQ(1080u, on.frameHeight);
    // the register read-back of Enable does not write to the registers it reads
    EXPECT_FALSE(chip->wasWritten(0x30F0));
    EXPECT_FALSE(chip->wasWritten(0x3072));
}

// The PLL multipliers follow the board's reference clock.
TEST_F(C1Chips, PllMultipliersFollowTheBoardClock)
{
    auto chip = stream(OV4689, 0);
    EXPECT_EQ(27, lastWrite(*chip, 0x0302));  // 660 MHz / 24 MHz
    EXPECT_EQ(30, lastWrite(*chip, 0x030D));  // 730 MHz / 24 MHz
    ASSERT_EQ(QOV_SUCCESS, Sensor_Disable(m_handle));
    ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 32, SENSOR_FLIP_NONE));
    ASSERT_EQ(QOV_SUCCESS, Sensor_Enable(m_handle));
    EXPECT_EQ(40, lastWrite(*chip, 0x0302));  // 960 MHz / 24 MHz
    EXPECT_EQ(46, lastWrite(*chip, 0x030D));  // 1120 MHz / 24 MHz
    ASSERT_EQ(QOV_SUCCESS, Sensor_Destroy(m_handle));
    m_handle = nullptr;
    SensorBoard::instance().removeAll();

    chip = stream(OV2718, 0);
    EXPECT_EQ(100, lastWrite(*chip, 0x3001));  // 2400 MHz / 24 MHz
    EXPECT_EQ(73, lastWrite(*chip, 0x3005));   // 1800 MHz / 24 MHz - 2
    // the configuration's initial exposure (272 lines) and gain
    QOV_UINT32 exposure = 0;
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetExposure(m_handle, &exposure, 0));
    EXPECT_EQ(7888u, exposure);
    double gain = 0;
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetCurrentGain(m_handle, &gain, 0));
    EXPECT_DOUBLE_EQ(2.0, gain);
}

// Below 20 MHz the configurations are not written (the chip does not
// start, and Enable says so), the mode lists still are.
TEST_F(C1Chips, ConfigurationsRefuseAClockBelow20MHz)
{
    useBoardClock("19.2");
    for (Chip kind : {OV4689, OV2718}) {
        SCOPED_TRACE(kind);
        auto chip = open(kind);
        ASSERT_NE(nullptr, m_handle);
        chip->clearWrites();
        ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 0, SENSOR_FLIP_NONE));
        const auto out = captureOutput([&] { EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, Sensor_Enable(m_handle)); });
        EXPECT_NE(std::string::npos, out.err.find("Reference clock frequency 19.2"));
        EXPECT_FALSE(chip->wasWritten(kind == OV4689 ? 0x0302 : 0x3001));
        EXPECT_FALSE(chip->streaming());
        EXPECT_TRUE(chip->wasWritten(kind == OV4689 ? 0x3808 : 0x30AC));
        ASSERT_EQ(QOV_SUCCESS, Sensor_Destroy(m_handle));
        m_handle = nullptr;
        SensorBoard::instance().removeAll();
    }
}

/*-------------------------------------------------------------------------
 * Flips
 *-------------------------------------------------------------------------*/

struct FlipCase {
    Chip chip;
    QOV_UINT8 flips;
    std::vector<std::pair<uint16_t, uint8_t>> expected;  // last value written to each register
};

class C1Flips : public C1Chips, public testing::WithParamInterface<FlipCase> {};

TEST_P(C1Flips, GoIntoTheFlipRegisters)
{
    const FlipCase &c = GetParam();
    auto chip = stream(c.chip, 0, c.flips);
    ASSERT_NE(nullptr, m_handle);
    for (const auto &[address, value] : c.expected) {
        SCOPED_TRACE(address);
        EXPECT_EQ(value, lastWrite(*chip, address));
    }
    SENSOR_STATUS status{};
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetState(m_handle, &status));
    EXPECT_EQ(c.flips, status.ui8Flipping);
}

// AR330: read mode 0x3040 bit 14 mirror, bit 15 flip (high byte 0x3040 of
// the list's 0x0000). OV4688: 6 in 0x3820 with flip, in 0x3821 with mirror.
// OV4689: 6 in 0x3820 with flip, 0 in 0x3821 with mirror (6 without).
// OV2718: 0x30C0 0x04 gains 0x08 with flip and loses 0x04 with mirror;
// mirror also clears bit 0 of 0x30A9 (0x03) and sets 0xFE in 0x3252 (0x21).
INSTANTIATE_TEST_SUITE_P(
    Table, C1Flips,
    testing::Values(FlipCase{AR330, SENSOR_FLIP_NONE, {{0x3040, 0x00}, {0x3041, 0x00}}},
                    FlipCase{AR330, SENSOR_FLIP_HORIZONTAL, {{0x3040, 0x40}, {0x3041, 0x00}}},
                    FlipCase{AR330, SENSOR_FLIP_VERTICAL, {{0x3040, 0x80}}},
                    FlipCase{AR330, SENSOR_FLIP_BOTH, {{0x3040, 0xC0}}},
                    FlipCase{OV4688, SENSOR_FLIP_NONE, {{0x3820, 0}, {0x3821, 0}}},
                    FlipCase{OV4688, SENSOR_FLIP_HORIZONTAL, {{0x3820, 0}, {0x3821, 6}}},
                    FlipCase{OV4688, SENSOR_FLIP_VERTICAL, {{0x3820, 6}, {0x3821, 0}}},
                    FlipCase{OV4689, SENSOR_FLIP_NONE, {{0x3820, 0}, {0x3821, 6}}},
                    FlipCase{OV4689, SENSOR_FLIP_HORIZONTAL, {{0x3820, 0}, {0x3821, 0}}},
                    FlipCase{OV4689, SENSOR_FLIP_VERTICAL, {{0x3820, 6}, {0x3821, 6}}},
                    FlipCase{OV2718, SENSOR_FLIP_NONE, {{0x30C0, 0x04}, {0x30A9, 0x03}, {0x3252, 0x21}}},
                    FlipCase{OV2718, SENSOR_FLIP_HORIZONTAL, {{0x30C0, 0x00}, {0x30A9, 0x02}, {0x3252, 0xFF}}},
                    FlipCase{OV2718, SENSOR_FLIP_VERTICAL, {{0x30C0, 0x0C}, {0x30A9, 0x03}, {0x3252, 0x21}}},
                    FlipCase{OV2718, SENSOR_FLIP_BOTH, {{0x30C0, 0x08}, {0x30A9, 0x02}, {0x3252, 0xFF}}}));

TEST_F(C1Chips, TestPatternModesOfTheOV2718RefuseFlips)
{
    open(OV2718);
    ASSERT_NE(nullptr, m_handle);
    EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, Sensor_SetMode(m_handle, 2, SENSOR_FLIP_HORIZONTAL));
    EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, Sensor_SetMode(m_handle, 3, SENSOR_FLIP_VERTICAL));
    EXPECT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 2, SENSOR_FLIP_NONE));
}

/*-------------------------------------------------------------------------
 * Exposure and gain through the registers
 *-------------------------------------------------------------------------*/

struct ControlCase {
    const char *label;
    Chip chip;
    bool exposure;  // else gain
    double value;   // microseconds or multiplier
    Writes writes;  // every register byte written, in order
    double decoded; // what the simulated chip makes of it
};

class C1Controls : public C1Chips, public testing::WithParamInterface<ControlCase> {};

std::string controlName(const testing::TestParamInfo<ControlCase> &info) { return info.param.label; }

TEST_P(C1Controls, ReachTheRegisters)
{
    const ControlCase &c = GetParam();
    auto chip = stream(c.chip, 0);
    ASSERT_NE(nullptr, m_handle);
    chip->clearWrites();
    if (c.exposure) {
        ASSERT_EQ(QOV_SUCCESS, Sensor_SetExposure(m_handle, static_cast<QOV_UINT32>(c.value), 0));
        QOV_UINT32 back = 0;
        ASSERT_EQ(QOV_SUCCESS, Sensor_GetExposure(m_handle, &back, 0));
        EXPECT_EQ(static_cast<QOV_UINT32>(c.value), back);
        EXPECT_NEAR(c.decoded, chip->exposureUs(), 0.01);
    } else {
        ASSERT_EQ(QOV_SUCCESS, Sensor_SetGain(m_handle, c.value, 0));
        double back = 0;
        ASSERT_EQ(QOV_SUCCESS, Sensor_GetCurrentGain(m_handle, &back, 0));
        EXPECT_DOUBLE_EQ(c.value, back);
        EXPECT_NEAR(c.decoded, chip->gain(), 1e-4);
    }
    EXPECT_EQ(c.writes, writesOf(*chip));
}

// Group hold of the OV4688/OV4689 updates: 0x3208 = 0x0g opens group g,
// 0x1g closes it, 0xEg launches it.
Writes ovGain(uint8_t high, uint8_t low)
{
    return {{0x3208, 0x01}, {0x3507, 0x00}, {0x3508, high}, {0x3509, low},
            {0x3208, 0x11}, {0x320B, 0x00}, {0x3208, 0xE1}};
}

INSTANTIATE_TEST_SUITE_P(
    Table, C1Controls,
    testing::Values(
        // AR330 mode 0: line time floor(964 / 12.6) = 76 us; 10000 us = 131 lines
        ControlCase{"AR330_Exposure", AR330, true, 10000, {{0x3012, 0x00}, {0x3013, 0x83}}, 131 * 964 / 12.6},
        // gain = analogue step at or below x digital gain (1/128): the
        // simulated chip's analogue gain is 2^coarse x 32 / (32 - fine)
        ControlCase{"AR330_Gain1", AR330, false, 1.0,
                    {{0x305E, 0x00}, {0x305F, 0x80}, {0x3060, 0x00}, {0x3061, 0x00}}, 1.0},
        ControlCase{"AR330_Gain1_5", AR330, false, 1.5,
                    {{0x305E, 0x00}, {0x305F, 0x84}, {0x3060, 0x0A}, {0x3061, 0x0A}},
                    32.0 / 22 * 132 / 128},
        ControlCase{"AR330_Gain2", AR330, false, 2.0,
                    {{0x305E, 0x00}, {0x305F, 0x80}, {0x3060, 0x10}, {0x3061, 0x10}}, 2.0},
        ControlCase{"AR330_Gain16", AR330, false, 16.0,
                    {{0x305E, 0x01}, {0x305F, 0x40}, {0x3060, 0x2C}, {0x3061, 0x2C}}, 16.0},
        // OV4688: line time 98 us; 10000 us = 102 lines = 0x0066, as 0x00 0x06 0x60
        ControlCase{"OV4688_Exposure", OV4688, true, 10000,
                    {{0x3208, 0x02}, {0x3500, 0x00}, {0x3501, 0x06}, {0x3502, 0x60},
                     {0x3208, 0x12}, {0x320B, 0x00}, {0x3208, 0xE2}},
                    102 * 5312 / 54.0},
        ControlCase{"OV4688_Gain1", OV4688, false, 1.0, ovGain(0x00, 0x80), 1.0},
        ControlCase{"OV4688_Gain2", OV4688, false, 2.0, ovGain(0x01, 0x78), 2.0},  // entry 16: 376
        ControlCase{"OV4688_Gain16", OV4688, false, 16.0, ovGain(0x07, 0xF7), 15.9375},  // entry 239: 2039
        // OV4689 mode 0: line time 21 us; 10000 us = 476 lines = 0x01DC; the
        // chip's clock is 24 MHz x 30 / 6 = 120 MHz
        ControlCase{"OV4689_Exposure", OV4689, true, 10000,
                    {{0x3208, 0x02}, {0x3500, 0x00}, {0x3501, 0x1D}, {0x3502, 0xC0}, {0x3846, 0x08},
                     {0x3208, 0x12}, {0x320B, 0x00}, {0x3208, 0xE2}},
                    476 * 2576 / 120.0},
        ControlCase{"OV4689_Gain1", OV4689, false, 1.0, ovGain(0x00, 0x80), 1.0},
        ControlCase{"OV4689_Gain1_5", OV4689, false, 1.5, ovGain(0x00, 0xC0), 1.5},  // entry 8: 192
        ControlCase{"OV4689_Gain2", OV4689, false, 2.0, ovGain(0x01, 0x78), 2.0},
        ControlCase{"OV4689_Gain5", OV4689, false, 5.0, ovGain(0x03, 0x94), 5.0},  // entry 64: 916
        ControlCase{"OV4689_Gain16", OV4689, false, 16.0, ovGain(0x07, 0xF7), 15.9375},
        ControlCase{"OV4689_Gain100", OV4689, false, 100.0, ovGain(0x07, 0xF7), 15.9375},
        // OV2718 configuration 0: line time 29 us; 10000 us = 344 lines = 0x0158
        ControlCase{"OV2718_Exposure", OV2718, true, 10000, {{0x30B6, 0x01}, {0x30B7, 0x58}},
                    344 * 2200 / 75.0},
        // gain x 256, the same in both pairs
        ControlCase{"OV2718_Gain1_5", OV2718, false, 1.5,
                    {{0x315A, 0x01}, {0x315B, 0x80}, {0x315C, 0x01}, {0x315D, 0x80}}, 1.5},
        ControlCase{"OV2718_Gain0_5", OV2718, false, 0.5,
                    {{0x315A, 0x00}, {0x315B, 0x80}, {0x315C, 0x00}, {0x315D, 0x80}}, 0.5}),
    controlName);

// The OV4689 has five exposure and gain contexts; 0x3846 counts the
// exposure contexts in use.
TEST_F(C1Chips, OV4689ContextsHaveTheirOwnRegisters)
{
    auto chip = stream(OV4689, 0);
    ASSERT_NE(nullptr, m_handle);
    ASSERT_EQ(QOV_SUCCESS, Sensor_SetExposure(m_handle, 10000, 0));
    ASSERT_EQ(QOV_SUCCESS, Sensor_SetExposure(m_handle, 2100, 1));  // 100 lines = 0x064
    EXPECT_EQ(0x09, lastWrite(*chip, 0x3846));
    EXPECT_EQ(0x00, lastWrite(*chip, 0x350A));
    EXPECT_EQ(0x06, lastWrite(*chip, 0x350B));
    EXPECT_EQ(0x40, lastWrite(*chip, 0x350C));
    chip->clearWrites();
    ASSERT_EQ(QOV_SUCCESS, Sensor_SetExposure(m_handle, 21 * 0x1234, 2));
    const Writes expected = {{0x3208, 0x02}, {0x3510, 0x01}, {0x3511, 0x23}, {0x3512, 0x40}, {0x3846, 0x0A},
                             {0x3208, 0x12}, {0x320B, 0x00}, {0x3208, 0xE2}};
    EXPECT_EQ(expected, writesOf(*chip));
    // a later context-0 update keeps the count of contexts in use
    ASSERT_EQ(QOV_SUCCESS, Sensor_SetExposure(m_handle, 10000, 0));
    EXPECT_EQ(0x0A, lastWrite(*chip, 0x3846));

    chip->clearWrites();
    ASSERT_EQ(QOV_SUCCESS, Sensor_SetGain(m_handle, 2.0, 4));
    const Writes gain = {{0x3208, 0x01}, {0x351F, 0x00}, {0x3520, 0x01}, {0x3521, 0x78},
                         {0x3208, 0x11}, {0x320B, 0x00}, {0x3208, 0xE1}};
    EXPECT_EQ(gain, writesOf(*chip));

    QOV_UINT32 exposure = 0;
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetExposure(m_handle, &exposure, 2));
    EXPECT_EQ(21u * 0x1234, exposure);
    double value = 0;
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetCurrentGain(m_handle, &value, 4));
    EXPECT_DOUBLE_EQ(2.0, value);

    chip->clearWrites();
    EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, Sensor_SetExposure(m_handle, 10000, 5));
    EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, Sensor_SetGain(m_handle, 2.0, 5));
    EXPECT_TRUE(chip->writes().empty());
}

// Exposure and gain after SetMode: 302 lines of the mode (the AR330 the
// list's integration time of 512 lines), unity gain.
TEST_F(C1Chips, SetModeStartsFromTheModesExposure)
{
    const struct {
        Chip chip;
        QOV_UINT32 exposure;
    } cases[] = {{AR330, 512 * 76}, {OV4688, 302 * 98}, {OV4689, 302 * 21}, {OV2718, 302 * 29}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.chip);
        open(c.chip);
        ASSERT_NE(nullptr, m_handle);
        ASSERT_EQ(QOV_SUCCESS, Sensor_SetGain(m_handle, 3.0, 0));
        ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 0, SENSOR_FLIP_NONE));
        QOV_UINT32 exposure = 0;
        ASSERT_EQ(QOV_SUCCESS, Sensor_GetExposure(m_handle, &exposure, 0));
        EXPECT_EQ(c.exposure, exposure);
        double gain = 0;
        ASSERT_EQ(QOV_SUCCESS, Sensor_GetCurrentGain(m_handle, &gain, 0));
        EXPECT_DOUBLE_EQ(c.chip == AR330 ? 1.0 : 3.0, gain);  // only the AR330 resets its gain
        ASSERT_EQ(QOV_SUCCESS, Sensor_Destroy(m_handle));
        m_handle = nullptr;
        SensorBoard::instance().removeAll();
    }
}

// Before any mode is set: the exposure the driver starts from (the OV4688
// and OV4689 a fixed one in every context, the AR330 its mode 0 list's) and
// unity gain.
TEST_F(C1Chips, CreationStartsFromTheInitialExposureAndUnityGain)
{
    const struct {
        Chip chip;
        QOV_UINT32 exposure;
    } cases[] = {{AR330, 512 * 76}, {OV4688, 26878}, {OV4689, 26878}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.chip);
        open(c.chip);
        ASSERT_NE(nullptr, m_handle);
        for (QOV_UINT8 context = 0; context < (c.chip == OV4689 ? 2 : 1); context++) {
            QOV_UINT32 exposure = 0;
            ASSERT_EQ(QOV_SUCCESS, Sensor_GetExposure(m_handle, &exposure, context));
            EXPECT_EQ(c.exposure, exposure) << int(context);
            double gain = 0;
            ASSERT_EQ(QOV_SUCCESS, Sensor_GetCurrentGain(m_handle, &gain, context));
            EXPECT_DOUBLE_EQ(1.0, gain) << int(context);
        }
        ASSERT_EQ(QOV_SUCCESS, Sensor_Destroy(m_handle));
        m_handle = nullptr;
        SensorBoard::instance().removeAll();
    }
}

// Gains outside any sensible range still give register values in range.
TEST_F(C1Chips, GainsOutOfRangeAreEncodedSafely)
{
    const double nan = std::nan("");
    const struct {
        Chip chip;
        double gain;
        uint16_t address;  // the first register of the gain value
        uint8_t high, low;
    } cases[] = {
        {AR330, -2.0, 0x305E, 0x00, 0x00},  {AR330, 1e30, 0x305E, 0xFF, 0xFF},   {AR330, nan, 0x305E, 0x00, 0x00},
        {OV4688, -2.0, 0x3508, 0x00, 0x80}, {OV4688, 1e30, 0x3508, 0x07, 0xF7},  {OV4688, nan, 0x3508, 0x00, 0x80},
        {OV4689, -2.0, 0x3508, 0x00, 0x80}, {OV4689, 1e30, 0x3508, 0x07, 0xF7},  {OV4689, nan, 0x3508, 0x00, 0x80},
        {OV2718, -2.0, 0x315A, 0x00, 0x00}, {OV2718, 1e30, 0x315A, 0xFF, 0xFF},  {OV2718, nan, 0x315A, 0x00, 0x00},
        // beyond 16 bits the value saturates rather than wrapping: AR330
        // 5000 / 6.4 x 128 = 100000, OV2718 300 x 256 = 76800
        {AR330, 5000.0, 0x305E, 0xFF, 0xFF}, {OV2718, 300.0, 0x315A, 0xFF, 0xFF},
    };
    for (Chip kind : {AR330, OV4688, OV4689, OV2718}) {
        auto chip = stream(kind, 0);
        ASSERT_NE(nullptr, m_handle);
        for (const auto &c : cases) {
            if (c.chip != kind)
                continue;
            SCOPED_TRACE(std::to_string(kind) + " gain " + std::to_string(c.gain));
            ASSERT_EQ(QOV_SUCCESS, Sensor_SetGain(m_handle, c.gain, 0));
            EXPECT_EQ(c.high, lastWrite(*chip, c.address));
            EXPECT_EQ(c.low, lastWrite(*chip, c.address + 1));
        }
        ASSERT_EQ(QOV_SUCCESS, Sensor_Destroy(m_handle));
        m_handle = nullptr;
        SensorBoard::instance().removeAll();
    }
}

// Exposures of more lines than the registers count saturate rather than
// wrapping round to a short exposure.
TEST_F(C1Chips, LongExposuresSaturateTheLineCount)
{
    const struct {
        Chip chip;
        QOV_UINT32 exposure;  // 0x12345 lines of mode 0
        std::vector<std::pair<uint16_t, uint8_t>> expected;
    } cases[] = {
        // AR330: 76 us lines into 0x3012
        {AR330, 76u * 0x12345, {{0x3012, 0xFF}, {0x3013, 0xFF}}},
        // OV4688 (98 us) and OV4689 (21 us): lines << 4 over 0x3500-0x3502
        {OV4688, 98u * 0x12345, {{0x3500, 0x0F}, {0x3501, 0xFF}, {0x3502, 0xF0}}},
        {OV4689, 21u * 0x12345, {{0x3500, 0x0F}, {0x3501, 0xFF}, {0x3502, 0xF0}}},
        // OV2718: 29 us lines into 0x30B6-0x30B7
        {OV2718, 29u * 0x12345, {{0x30B6, 0xFF}, {0x30B7, 0xFF}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.chip);
        auto chip = stream(c.chip, 0);
        ASSERT_NE(nullptr, m_handle);
        ASSERT_EQ(QOV_SUCCESS, Sensor_SetExposure(m_handle, c.exposure, 0));
        for (const auto &[address, value] : c.expected)
            EXPECT_EQ(value, lastWrite(*chip, address)) << std::hex << address;
        ASSERT_EQ(QOV_SUCCESS, Sensor_Destroy(m_handle));
        m_handle = nullptr;
        SensorBoard::instance().removeAll();
    }
}

/*-------------------------------------------------------------------------
 * Focus
 *-------------------------------------------------------------------------*/

TEST_F(C1Chips, FocusIsReportedByTheOV4688AndOV4689Only)
{
    for (Chip kind : {OV4688, OV4689}) {
        SCOPED_TRACE(kind);
        auto chip = open(kind);
        ASSERT_NE(nullptr, m_handle);
        ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 0, SENSOR_FLIP_NONE));
        QOV_UINT16 min = 0, max = 0, current = 0;
        ASSERT_EQ(QOV_SUCCESS, Sensor_GetFocusRange(m_handle, &min, &max));
        EXPECT_EQ(50, min);
        EXPECT_EQ(600, max);
        const unsigned transfers = chip->transfers();
        EXPECT_EQ(QOV_SUCCESS, Sensor_SetFocus(m_handle, 300));
        EXPECT_EQ(transfers, chip->transfers());  // no lens actuator
        ASSERT_EQ(QOV_SUCCESS, Sensor_GetCurrentFocus(m_handle, &current));
        EXPECT_EQ(50, current);
        ASSERT_EQ(QOV_SUCCESS, Sensor_Destroy(m_handle));
        m_handle = nullptr;
        SensorBoard::instance().removeAll();
    }
    for (Chip kind : {AR330, OV2718}) {
        SCOPED_TRACE(kind);
        open(kind);
        ASSERT_NE(nullptr, m_handle);
        QOV_UINT16 min = 0, max = 0;
        EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, Sensor_GetFocusRange(m_handle, &min, &max));
        EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, Sensor_SetFocus(m_handle, 100));
        EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, Sensor_GetCurrentFocus(m_handle, &min));
        ASSERT_EQ(QOV_SUCCESS, Sensor_Destroy(m_handle));
        m_handle = nullptr;
        SensorBoard::instance().removeAll();
    }
}

/*-------------------------------------------------------------------------
 * Stop lists and their pauses
 *-------------------------------------------------------------------------*/

// The OV4688 lists swap the markers: 0xFF pauses, 0xFE ends. Its mode list
// pauses 15 ms after the software reset, its stop list 200 ms.
TEST_F(C1Chips, OV4688PausesWithItsOwnMarkers)
{
    auto chip = open(OV4688);
    ASSERT_NE(nullptr, m_handle);
    ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 0, SENSOR_FLIP_NONE));
    Sleeps::clear();
    ASSERT_EQ(QOV_SUCCESS, Sensor_Enable(m_handle));
    EXPECT_TRUE(contains(Sleeps::log(), 15000));
    // the group launch follows the list
    const Writes all = writesOf(*chip);
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ((std::pair<uint16_t, uint8_t>(0x320B, 0x00)), all[all.size() - 2]);
    EXPECT_EQ((std::pair<uint16_t, uint8_t>(0x3208, 0xE0)), all.back());
    for (const auto &[address, value] : all)
        EXPECT_LT(address, 0xFE00) << "a marker reached the chip";

    chip->clearWrites();
    Sleeps::clear();
    ASSERT_EQ(QOV_SUCCESS, Sensor_Disable(m_handle));
    const Writes stop = {{0x0100, 0x00}, {0x301A, 0xF9}, {0x4805, 0x03}};
    EXPECT_EQ(stop, writesOf(*chip));
    ASSERT_FALSE(Sleeps::log().empty());
    EXPECT_EQ(200000u, Sleeps::log().front());
    // a second Disable does nothing
    chip->clearWrites();
    ASSERT_EQ(QOV_SUCCESS, Sensor_Disable(m_handle));
    EXPECT_TRUE(chip->writes().empty());
}

TEST_F(C1Chips, StopListsOfTheSharedBaseDrivers)
{
    auto chip = stream(OV4689, 0);
    ASSERT_NE(nullptr, m_handle);
    chip->clearWrites();
    Sleeps::clear();
    ASSERT_EQ(QOV_SUCCESS, Sensor_Disable(m_handle));
    const Writes ov4689Stop = {{0x0100, 0x00}, {0x301A, 0xF9}, {0x4805, 0x03}};
    EXPECT_EQ(ov4689Stop, writesOf(*chip));
    ASSERT_FALSE(Sleeps::log().empty());
    EXPECT_EQ(200000u, Sleeps::log().front());
    ASSERT_EQ(QOV_SUCCESS, Sensor_Destroy(m_handle));
    m_handle = nullptr;
    SensorBoard::instance().removeAll();

    // destroying a streaming OV2718 stops it first
    chip = stream(OV2718, 0);
    ASSERT_NE(nullptr, m_handle);
    chip->clearWrites();
    ASSERT_EQ(QOV_SUCCESS, Sensor_Destroy(m_handle));
    m_handle = nullptr;
    const Writes ov2718Stop = {{0x3012, 0x00}};
    EXPECT_EQ(ov2718Stop, writesOf(*chip));
    EXPECT_FALSE(SensorBoard::instance().phy(0)->enabled());
}

/*-------------------------------------------------------------------------
 * The AR330's special mode
 *-------------------------------------------------------------------------*/

class C1AR330Special : public C1Chips {
protected:
    void SetUp() override
    {
        C1Chips::SetUp();
        char pattern[] = "/tmp/ar330-special-XXXXXX";
        const int fd = mkstemp(pattern);
        ASSERT_GE(fd, 0);
        close(fd);
        m_file = pattern;
    }
    void TearDown() override
    {
        std::remove(m_file.c_str());
        C1Chips::TearDown();
    }
    void write(const std::string &text)
    {
        std::ofstream out(m_file);
        out << text;
    }
    std::string m_file;
};

// 1280 x 720 from a file: pixel clock 24 / 4 x 48 / 4 / 5 = 14.4 MHz, line
// 1000 clocks (69 us), 800 lines, 100 lines of exposure; then 60 filler
// registers, more than the loader's first buffer holds.
const char *kSpecialRegisters =
    "302A 5\n302C 4\n302E 4\n3030 30\n3004 200\n3008 6FF\n3002 19C\n3006 46B\n"
    "300C 3E8\n300A 320\n3012 64\n31AC 0A0A\n3040 0\n";

TEST_F(C1AR330Special, LoadsAndSetsMode255)
{
    std::string text = kSpecialRegisters;
    for (int i = 0; i < 60; ++i) {
        char line[32];
        snprintf(line, sizeof(line), "%X %X\n", 0x3E00 + 2 * i, i);
        text += line;
    }
    write(text);
    auto chip = open(AR330);
    ASSERT_NE(nullptr, m_handle);
    const auto out = captureOutput([&] { EXPECT_EQ(QOV_SUCCESS, AR330_LoadSpecialModeRegisters(m_handle, m_file.c_str())); });
    EXPECT_NE(std::string::npos, out.out.find("73 registers were loaded from '" + m_file + "'\n"));

    SENSOR_MODE mode{};
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetMode(m_handle, 255, &mode));
    EXPECT_EQ(1280, mode.ui16Width);
    EXPECT_EQ(720, mode.ui16Height);
    EXPECT_EQ(2000, mode.ui16HorizontalTotal);
    EXPECT_EQ(800, mode.ui16VerticalTotal);
    EXPECT_EQ(69u, mode.ui32ExposureMin);
    EXPECT_NEAR(1e6 / 55555, mode.flFrameRate, 1e-9);
    EXPECT_EQ(0, mode.ui8SupportFlipping);

    EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, Sensor_SetMode(m_handle, 255, SENSOR_FLIP_HORIZONTAL));
    chip->clearWrites();
    ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 255, SENSOR_FLIP_NONE));
    EXPECT_EQ(73u * 2, chip->writes().size());
    EXPECT_EQ(59, lastWrite(*chip, 0x3E00 + 2 * 59 + 1));
    QOV_UINT32 exposure = 0;
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetExposure(m_handle, &exposure, 0));
    EXPECT_EQ(100u * 69, exposure);
}

TEST_F(C1AR330Special, RefusesFilesItCannotUse)
{
    open(AR330);
    ASSERT_NE(nullptr, m_handle);
    write("3012 64\n");
    auto out = captureOutput([&] { EXPECT_EQ(QOV_ERROR_FAILURE, AR330_LoadSpecialModeRegisters(m_handle, m_file.c_str())); });
    EXPECT_NE(std::string::npos, out.err.find("Did not read enough information!\n"));

    out = captureOutput([&] {
        EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, AR330_LoadSpecialModeRegisters(m_handle, "/nonexistent/regs.txt"));
    });
    EXPECT_NE(std::string::npos, out.err.find("Failed to open '/nonexistent/regs.txt'\n"));

    // registers without a clock setting cannot be described: the mode is refused
    write("3012 64\n300C 3E8\n300A 320\n");
    ASSERT_EQ(QOV_SUCCESS, AR330_LoadSpecialModeRegisters(m_handle, m_file.c_str()));
    SENSOR_MODE mode{};
    EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, Sensor_GetMode(m_handle, 255, &mode));
    EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, Sensor_SetMode(m_handle, 255, SENSOR_FLIP_NONE));
}

/*-------------------------------------------------------------------------
 * Failures
 *-------------------------------------------------------------------------*/

// Without a chip answering, or with another chip identity, creation fails
// and leaves nothing open (the fixture checks descriptors and GPIO chips).
struct BadChip {
    QOV_UINT16 sensor;
    bool present;
    uint16_t idRegister;
    uint8_t idValue;
    const char *message;
};

class C1BadChips : public C1Chips, public testing::WithParamInterface<BadChip> {};

TEST_P(C1BadChips, FailCreation)
{
    const BadChip &b = GetParam();
    const Entry &e = *std::find_if(std::begin(kEntries), std::end(kEntries),
                                   [&](const Entry &x) { return x.sensor == b.sensor; });
    if (b.present)
        place(e, chipModelWith(e.chip, b.idRegister, b.idValue));
    const auto out = captureOutput([&] { EXPECT_EQ(QOV_ERROR_DEVICE_FAILED, Sensor_Initialise(b.sensor, &m_handle)); });
    EXPECT_EQ(nullptr, m_handle);
    EXPECT_NE(std::string::npos, out.err.find(b.message)) << out.err;
    EXPECT_FALSE(SensorBoard::instance().phy(e.phy)->enabled());
}

INSTANTIATE_TEST_SUITE_P(
    Table, C1BadChips,
    testing::Values(
        BadChip{2, false, 0, 0, "Failed to ensure that the i2c device has a compatible OV4688 sensor! ret=3"},
        BadChip{2, true, 0x300B, 0x89,
                "Failed to ensure that the i2c device has a compatible OV4688 sensor! ret=0 chip_version=0x4689 "
                "(expect chip 0x4688)\n"},
        BadChip{3, false, 0, 0, "Failed to ensure that the i2c device has a compatible sensor! ret=3"},
        BadChip{4, true, 0x300A, 0x56,
                "Failed to ensure that the i2c device has a compatible sensor! ret=0 chip_version=0x5688 "
                "(expect chip 0x4688)\n"},
        BadChip{5, false, 0, 0, "Failed to ensure that the i2c device has a compatible sensor! ret=3"},
        BadChip{6, true, 0x300B, 0x71,
                "Failed to ensure that the i2c device has a compatible sensor! ret=0 chip_version=0x2771 "
                "(expect chip 0x2770)\n"}));

// The AR330 checks no identity: it opens without a chip, and the first
// register write (at SetMode) finds no chip.
TEST_F(C1Chips, AR330WithoutAChipFailsAtItsFirstWrite)
{
    ASSERT_EQ(QOV_SUCCESS, Sensor_Initialise(1, &m_handle));
    ASSERT_NE(nullptr, m_handle);
    const auto out =
        captureOutput([&] { EXPECT_EQ(QOV_ERROR_I2C_FAILED, Sensor_SetMode(m_handle, 3, SENSOR_FLIP_NONE)); });
    EXPECT_NE(std::string::npos, out.err.find("Failed to write I2C data! write_len = -1, register = 0x301a\n"));
    EXPECT_NE(std::string::npos, out.err.find("failed to setup register 2/72\n"));
    // the refused mode is not taken: mode 0 and its description stay
    SENSOR_INFO info{};
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetInfo(m_handle, &info));
    EXPECT_EQ(0, info.sStatus.ui16CurrentMode);
    EXPECT_EQ(1280, info.sMode.ui16Width);
    QOV_UINT32 low = 0, high = 0;
    QOV_UINT8 contexts = 0;
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetExposureRange(m_handle, &low, &high, &contexts));
    EXPECT_EQ(76u, low);
}

// Register writes the chip does not take are reported by every AR330
// operation that writes, not taken for success; the values asked for are kept.
TEST_F(C1Chips, AR330ReportsWritesTheChipDoesNotTake)
{
    auto chip = open(AR330);
    ASSERT_NE(nullptr, m_handle);
    ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 0, SENSOR_FLIP_NONE));
    chip->setResponding(false);
    chip->clearWrites();
    auto out = captureOutput([&] { EXPECT_EQ(QOV_ERROR_I2C_FAILED, Sensor_SetExposure(m_handle, 10000, 0)); });
    EXPECT_NE(std::string::npos, out.err.find("failed to set exposure\n"));
    out = captureOutput([&] { EXPECT_EQ(QOV_ERROR_I2C_FAILED, Sensor_SetGain(m_handle, 2.0, 0)); });
    EXPECT_NE(std::string::npos, out.err.find("failed to set global gain register\n"));
    QOV_UINT32 exposure = 0;
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetExposure(m_handle, &exposure, 0));
    EXPECT_EQ(10000u, exposure);
    double gain = 0;
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetCurrentGain(m_handle, &gain, 0));
    EXPECT_DOUBLE_EQ(2.0, gain);

    // Enable: the PHY is on but the chip does not start
    out = captureOutput([&] { EXPECT_EQ(QOV_ERROR_I2C_FAILED, Sensor_Enable(m_handle)); });
    EXPECT_NE(std::string::npos, out.err.find("failed to enable sensor\n"));
    EXPECT_TRUE(SensorBoard::instance().phy(0)->enabled());
    out = captureOutput([&] { EXPECT_EQ(QOV_ERROR_I2C_FAILED, Sensor_Disable(m_handle)); });
    EXPECT_NE(std::string::npos, out.err.find("failed to disable sensor!\n"));
    EXPECT_FALSE(SensorBoard::instance().phy(0)->enabled());
    EXPECT_TRUE(chip->writes().empty());
}

// The OV2718 revision read failing after a good identity read.
TEST_F(C1Chips, OV2718RevisionReadFailing)
{
    place(entryOf(OV2718));
    // the identity read is the first read of the bus, the revision the second
    Board::instance().injectFault("/dev/i2c-0", TraceEntry::READ, -EIO, 1, 1);
    const auto out = captureOutput([&] { EXPECT_EQ(QOV_ERROR_DEVICE_FAILED, Sensor_Initialise(5, &m_handle)); });
    EXPECT_EQ(nullptr, m_handle);
    EXPECT_NE(std::string::npos, out.err.find("Failed to read sensor subversion id\n"));
}

// A failing chip selection: the AR330 reports it from each write.
TEST_F(C1Chips, AR330ReportsAFailingChipSelection)
{
    auto chip = open(AR330);
    ASSERT_NE(nullptr, m_handle);
    Board::instance().injectFault("/dev/i2c-0", 0x0703, -EIO, 1, 3);  // the fourth pair of the list
    auto out = captureOutput([&] { EXPECT_EQ(QOV_ERROR_I2C_FAILED, Sensor_SetMode(m_handle, 0, SENSOR_FLIP_NONE)); });
    EXPECT_NE(std::string::npos, out.err.find("Failed to write I2C slave write address!\n"));
    EXPECT_NE(std::string::npos, out.err.find("Did not find register 0x3040 in mode 0 to apply flipping 0 0!\n"));
    EXPECT_NE(std::string::npos, out.err.find("failed to setup register 8/72\n"));
    EXPECT_NE(std::string::npos, out.err.find("failed to configure mode 0\n"));

    ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 0, SENSOR_FLIP_NONE));
    for (const auto &[call, message] : std::vector<std::pair<std::function<QOV_RESULT()>, const char *>>{
             {[&] { return Sensor_SetExposure(m_handle, 10000, 0); }, "failed to set exposure\n"},
             {[&] { return Sensor_SetGain(m_handle, 2.0, 0); }, "failed to set global gain register\n"},
             {[&] { return Sensor_Enable(m_handle); }, "failed to enable sensor\n"}}) {
        Board::instance().injectFault("/dev/i2c-0", 0x0703, -EIO);
        chip->clearWrites();
        out = captureOutput([&] { EXPECT_EQ(QOV_ERROR_I2C_FAILED, call()); });
        EXPECT_NE(std::string::npos, out.err.find(message)) << out.err;
        EXPECT_TRUE(chip->writes().empty());
    }
    // Disable reports the failure but still switches the PHY off
    Board::instance().injectFault("/dev/i2c-0", 0x0703, -EIO);
    out = captureOutput([&] { EXPECT_EQ(QOV_ERROR_I2C_FAILED, Sensor_Disable(m_handle)); });
    EXPECT_NE(std::string::npos, out.err.find("failed to disable sensor!\n"));
    EXPECT_FALSE(SensorBoard::instance().phy(0)->enabled());
}

// A PHY refusing to switch on: the AR330 and OV4688 report it as a device
// failure and stay idle, with the gasket given back and nothing streaming.
TEST_F(C1Chips, APhyThatDoesNotSwitchOnLeavesTheSensorIdle)
{
    for (Chip kind : {AR330, OV4688}) {
        SCOPED_TRACE(kind);
        const Entry &e = entryOf(kind);
        auto chip = open(kind);
        ASSERT_NE(nullptr, m_handle);
        ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 0, SENSOR_FLIP_NONE));
        Board::instance().injectFault("/dev/sensor_phy" + std::to_string(e.phy), 0x8020F000ul, -EIO);
        captureOutput([&] { EXPECT_EQ(QOV_ERROR_DEVICE_FAILED, Sensor_Enable(m_handle)); });
        EXPECT_FALSE(chip->streaming());
        SENSOR_STATUS status{};
        ASSERT_EQ(QOV_SUCCESS, Sensor_GetState(m_handle, &status));
        EXPECT_EQ(SENSOR_STATE_IDLE, status.eState);
        EXPECT_EQ(nullptr, SensorBoard::instance().sourceOf(e.gasket));
        // the gasket was given back: a second try succeeds
        ASSERT_EQ(QOV_SUCCESS, Sensor_Enable(m_handle));
        EXPECT_TRUE(chip->streaming());
        ASSERT_EQ(QOV_SUCCESS, Sensor_Destroy(m_handle));
        m_handle = nullptr;
        SensorBoard::instance().removeAll();
    }
}

// The OV4688 goes on with its mode list past a record that does not reach
// the chip, and reports the failure once the list and the start are sent.
TEST_F(C1Chips, OV4688ModeListGoesOnPastAFailingRecord)
{
    auto chip = open(OV4688);
    ASSERT_NE(nullptr, m_handle);
    ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 0, SENSOR_FLIP_NONE));
    chip->clearWrites();
    Board::instance().injectFault("/dev/i2c-0", TraceEntry::WRITE, -EIO, 1, 2);  // the third record
    const auto out = captureOutput([&] { EXPECT_EQ(QOV_ERROR_I2C_FAILED, Sensor_Enable(m_handle)); });
    EXPECT_NE(std::string::npos, out.err.find("Failed to write I2C data! write_len = -1, index = 9\n")) << out.err;
    EXPECT_FALSE(chip->wasWritten(0x0300));  // the third record (the first after the pause)
    EXPECT_TRUE(chip->wasWritten(0x0302));
    EXPECT_EQ(0xE0, lastWrite(*chip, 0x3208));  // the start list was sent
    EXPECT_TRUE(chip->streaming());
    SENSOR_STATUS status{};
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetState(m_handle, &status));
    EXPECT_EQ(SENSOR_STATE_RUNNING, status.eState);  // for Disable to stop
}

// One record of Enable's lists that does not reach the chip (its data or
// its chip selection), early in the lists: the rest is still sent (the chip
// streams) and the failure is reported, not covered by the writes after it.
TEST_F(C1Chips, OneFailedRecordOfEnableIsReported)
{
    for (unsigned long op : {static_cast<unsigned long>(TraceEntry::WRITE), 0x0703ul}) {
        for (Chip kind : {OV4688, OV4689, OV2718}) {
            SCOPED_TRACE(::testing::Message() << kind << " op " << op);
            auto chip = open(kind);
            ASSERT_NE(nullptr, m_handle);
            ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 0, SENSOR_FLIP_NONE));
            Board::instance().injectFault("/dev/i2c-0", op, -EIO, 1, 3);
            captureOutput([&] { EXPECT_EQ(QOV_ERROR_I2C_FAILED, Sensor_Enable(m_handle)); });
            EXPECT_TRUE(chip->streaming());
            ASSERT_EQ(QOV_SUCCESS, Sensor_Destroy(m_handle));
            m_handle = nullptr;
            SensorBoard::instance().removeAll();
        }
    }
}

// Exposure, gain and the lists of Enable report the writes a chip that
// stopped answering does not take; the values asked for are kept.
TEST_F(C1Chips, FailedWritesAreReported)
{
    for (Chip kind : {OV4688, OV4689, OV2718}) {
        SCOPED_TRACE(kind);
        auto chip = open(kind);
        ASSERT_NE(nullptr, m_handle);
        ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 0, SENSOR_FLIP_NONE));
        chip->setResponding(false);
        captureOutput([&] {
            EXPECT_EQ(QOV_ERROR_I2C_FAILED, Sensor_SetExposure(m_handle, 10000, 0));
            EXPECT_EQ(QOV_ERROR_I2C_FAILED, Sensor_SetGain(m_handle, 2.0, 0));
        });
        QOV_UINT32 exposure = 0;
        ASSERT_EQ(QOV_SUCCESS, Sensor_GetExposure(m_handle, &exposure, 0));
        EXPECT_EQ(10000u, exposure);
        double gain = 0;
        ASSERT_EQ(QOV_SUCCESS, Sensor_GetCurrentGain(m_handle, &gain, 0));
        EXPECT_DOUBLE_EQ(2.0, gain);
        captureOutput([&] { EXPECT_EQ(QOV_ERROR_I2C_FAILED, Sensor_Enable(m_handle)); });
        EXPECT_FALSE(chip->streaming());
        EXPECT_TRUE(chip->writes().empty());
        ASSERT_EQ(QOV_SUCCESS, Sensor_Destroy(m_handle));
        m_handle = nullptr;
        SensorBoard::instance().removeAll();
    }
}

// Version reads failing: "not-verified".
TEST_F(C1Chips, VersionReadFailingGivesNotVerified)
{
    for (Chip kind : {OV4688, OV4689, OV2718}) {
        SCOPED_TRACE(kind);
        open(kind);
        ASSERT_NE(nullptr, m_handle);
        Board::instance().injectFault("/dev/i2c-0", TraceEntry::READ, -EIO);
        SENSOR_INFO info{};
        captureOutput([&] { EXPECT_EQ(QOV_SUCCESS, Sensor_GetInfo(m_handle, &info)); });
        EXPECT_STREQ("not-verified", info.pszSensorVersion);
        ASSERT_EQ(QOV_SUCCESS, Sensor_Destroy(m_handle));
        m_handle = nullptr;
        SensorBoard::instance().removeAll();
    }
}

}  // namespace
}  // namespace chips_c1
