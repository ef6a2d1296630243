// The simulated sensors: I2C buses and chips, GPIO lines through the gpiod
// functions, the PHY driver, the synthetic scene and the frames a streaming
// chip sends into the ISP.
#include <gpiod.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "isp_test_support.h"
#include "simboard/gpio.h"
#include "simboard/i2c_bus.h"
#include "simboard/sensor_chip.h"
#include "simboard/sensor_phy.h"
#include "simboard/sleep.h"

namespace sensor_board_test {
namespace {

using namespace isptest;
using simboard::ChipFrameFormat;
using simboard::ChipModel;
using simboard::GpioBank;
using simboard::GpioEvent;
using simboard::Scene;
using simboard::SensorBoard;
using simboard::SimChip;

// A chip at 0x36 with 2-byte addresses, identity 0x4688 at 0x300A, and a
// lens actuator at 0x0C with 1-byte addresses.
ChipModel chipModel()
{
    ChipModel model;
    model.name = "CHIP";
    model.targets.push_back({0x36, 2, {{0x300A, 0x46}, {0x300B, 0x88}}});
    model.targets.push_back({0x0C, 1, {}});
    model.streaming = [](const SimChip &c) { return c.reg(0x0100) == 1; };
    model.exposureUs = [](const SimChip &c) { return c.reg16(0x3500) * 10.0; };
    model.gain = [](const SimChip &c) { return c.reg(0x3508) / 16.0; };
    model.focus = [](const SimChip &c) { return static_cast<int>(c.reg(0x03, 1)); };
    model.format = ChipFrameFormat{8, 4, 12, MOSAIC_RGGB, 30.0};
    return model;
}

long selectAddress(int fd, unsigned address)
{
    return rawRequest(fd, simboard::I2cBus::kI2cSlave, reinterpret_cast<void *>(static_cast<uintptr_t>(address)));
}

long writeBytes(int fd, std::vector<uint8_t> bytes)
{
    ssize_t n = PLATFORM_Write(fd, bytes.data(), bytes.size());
    return n < 0 ? -errno : n;
}

class SimSensors : public IspTest {
protected:
    void SetUp() override
    {
        IspTest::SetUp();
        chip = SensorBoard::instance().place(0, chipModel());
    }
    int openBus(unsigned bus)
    {
        int fd = PLATFORM_Open(("/dev/i2c-" + std::to_string(bus)).c_str(), O_RDWR);
        EXPECT_GE(fd, 0);
        return fd;
    }
    std::shared_ptr<SimChip> chip;
};

TEST_F(SimSensors, BusTransfersAutoIncrementTheRegisterAddress)
{
    int fd = openBus(0);
    ASSERT_EQ(selectAddress(fd, 0x36), 0);
    EXPECT_EQ(writeBytes(fd, {0x35, 0x00, 0x12, 0x34, 0x56}), 5);
    EXPECT_EQ(chip->reg16(0x3500), 0x1234);
    EXPECT_EQ(chip->reg(0x3502), 0x56);
    ASSERT_EQ(chip->writes().size(), 3u);
    EXPECT_EQ(chip->writes()[2].address, 0x3502);
    // An address alone sets the read pointer; reads go on from there.
    EXPECT_EQ(writeBytes(fd, {0x30, 0x0A}), 2);
    uint8_t bytes[3] = {};
    EXPECT_EQ(PLATFORM_Read(fd, bytes, 1), 1);
    EXPECT_EQ(PLATFORM_Read(fd, bytes + 1, 2), 2);
    EXPECT_EQ(bytes[0], 0x46);
    EXPECT_EQ(bytes[1], 0x88);
    EXPECT_EQ(bytes[2], 0x00);
    // The actuator answers at its own address with 1-byte addresses.
    ASSERT_EQ(selectAddress(fd, 0x0C), 0);
    EXPECT_EQ(writeBytes(fd, {0x03, 0x01, 0x80}), 3);
    EXPECT_EQ(chip->reg(0x03, 1), 0x01);
    EXPECT_EQ(chip->reg(0x04, 1), 0x80);
    EXPECT_EQ(chip->focus(), 1);
    EXPECT_EQ(chip->transfers(), 5u);
    PLATFORM_Close(fd);
}

// A long run (a soak of the demo program) must not grow the records without
// end: the board's trace and the chip's write log keep their newest entries.
TEST_F(SimSensors, LongRunKeepsTheNewestRecordsWithinTheirBounds)
{
    int fd = openBus(0);
    ASSERT_EQ(selectAddress(fd, 0x36), 0);
    const auto &trace = simboard::Board::instance().trace();
    const size_t transfers = simboard::Board::kTraceLimit + 100;
    for (size_t i = 0; i < transfers; ++i) {
        const auto low = static_cast<uint8_t>(i);
        ASSERT_EQ(writeBytes(fd, {0x35, 0x00, static_cast<uint8_t>(i >> 8), low, 0x10}), 5);
    }
    // 3 bytes a transfer: the write log was trimmed several times over
    EXPECT_LE(trace.size(), simboard::Board::kTraceLimit);
    EXPECT_GE(trace.size(), simboard::Board::kTraceLimit / 2);
    EXPECT_LE(chip->writes().size(), SimChip::kWriteLogLimit);
    EXPECT_GE(chip->writes().size(), SimChip::kWriteLogLimit / 2);
    // the newest entries are the ones kept, in order
    EXPECT_EQ(trace.back().kind, simboard::TraceEntry::WRITE);
    EXPECT_EQ(trace.back().length, 5u);
    const std::vector<uint8_t> low = chip->writesTo(0x3501);
    ASSERT_GE(low.size(), 2u);
    EXPECT_EQ(low.back(), static_cast<uint8_t>(transfers - 1));
    EXPECT_EQ(low[low.size() - 2], static_cast<uint8_t>(transfers - 2));
    EXPECT_EQ(chip->writes().back().address, 0x3502);
    EXPECT_EQ(chip->reg16(0x3500), static_cast<uint16_t>(transfers - 1));
    PLATFORM_Close(fd);
}

TEST_F(SimSensors, BusRefusals)
{
    int fd = openBus(0);
    uint8_t byte = 0;
    EXPECT_EQ(writeBytes(fd, {0x30, 0x0A}), -ENXIO);  // nothing selected
    EXPECT_EQ(selectAddress(fd, 0x80), -EINVAL);
    EXPECT_EQ(rawRequest(fd, 0x0704, nullptr), -ENOTTY);
    ASSERT_EQ(selectAddress(fd, 0x37), 0);  // selecting an empty address succeeds...
    EXPECT_EQ(writeBytes(fd, {0x30, 0x0A}), -ENXIO);  // ...the transfer is not acknowledged
    EXPECT_LT(PLATFORM_Read(fd, &byte, 1), 0);
    EXPECT_EQ(errno, ENXIO);
    ASSERT_EQ(selectAddress(fd, 0x36), 0);
    chip->setResponding(false);
    EXPECT_EQ(writeBytes(fd, {0x30, 0x0A}), -ENXIO);
    chip->setResponding(true);
    // Faults on demand, per bus and transfer kind.
    simboard::Board::instance().injectFault("/dev/i2c-0", simboard::TraceEntry::READ, -EREMOTEIO, 2);
    EXPECT_LT(PLATFORM_Read(fd, &byte, 1), 0);
    EXPECT_LT(PLATFORM_Read(fd, &byte, 1), 0);
    EXPECT_EQ(PLATFORM_Read(fd, &byte, 1), 1);
    PLATFORM_Close(fd);
    // A chip on another bus is not seen here.
    SensorBoard::instance().remove(chip);
    SensorBoard::instance().place(2, chipModel());
    fd = openBus(0);
    ASSERT_EQ(selectAddress(fd, 0x36), 0);
    EXPECT_EQ(writeBytes(fd, {0x30, 0x0A}), -ENXIO);
    PLATFORM_Close(fd);
    fd = openBus(2);
    ASSERT_EQ(selectAddress(fd, 0x36), 0);
    EXPECT_EQ(writeBytes(fd, {0x30, 0x0A}), 2);
    PLATFORM_Close(fd);
}

// The default board wires position 0 (bus 0) to reset line 10 and power-down
// line 11 of gpiochip0, run at power-down level 1; position 1 (bus 1) to
// lines 12 and 13.
TEST_F(SimSensors, ResetAndPowerDownLinesOfTheChipsPosition)
{
    auto neighbour = SensorBoard::instance().place(1, chipModel());
    int fd = openBus(0);
    ASSERT_EQ(selectAddress(fd, 0x36), 0);
    EXPECT_EQ(writeBytes(fd, {0x35, 0x00, 0x12}), 3);  // lines not driven: the chip runs
    gpiod_chip *gpio = gpiod_chip_open_by_name("gpiochip0");
    ASSERT_NE(gpio, nullptr);
    gpiod_line *reset = gpiod_chip_get_line(gpio, 10);
    gpiod_line *pwdn = gpiod_chip_get_line(gpio, 11);

    // Powered down: silent on the bus, registers kept, no frames.
    ASSERT_EQ(gpiod_line_request_output(pwdn, "test", 0), 0);
    EXPECT_TRUE(chip->poweredDown());
    EXPECT_EQ(writeBytes(fd, {0x35, 0x00, 0x34}), -ENXIO);
    uint8_t byte = 0;
    EXPECT_LT(PLATFORM_Read(fd, &byte, 1), 0);
    EXPECT_EQ(errno, ENXIO);
    EXPECT_EQ(chip->reg(0x3500), 0x12);
    chip->setReg(0x0100, 1);
    EXPECT_FALSE(chip->running());
    ASSERT_EQ(gpiod_line_set_value(pwdn, 1), 0);
    EXPECT_EQ(writeBytes(fd, {0x35, 0x00, 0x34}), 3);
    EXPECT_EQ(chip->reg(0x3500), 0x34);

    // Held in reset: power-on registers and silent; released: answers with them.
    ASSERT_EQ(gpiod_line_request_output(reset, "test", 1), 0);
    EXPECT_EQ(chip->reg(0x3500), 0x34);
    ASSERT_EQ(gpiod_line_set_value(reset, 0), 0);
    EXPECT_TRUE(chip->inReset());
    EXPECT_EQ(chip->reg(0x3500), 0x00);
    EXPECT_EQ(chip->reg(0x0100), 0x00);
    EXPECT_EQ(chip->reg16(0x300A), 0x4688);
    EXPECT_EQ(writeBytes(fd, {0x35, 0x00, 0x56}), -ENXIO);
    ASSERT_EQ(gpiod_line_set_value(reset, 1), 0);
    EXPECT_TRUE(chip->responding());
    EXPECT_EQ(writeBytes(fd, {0x30, 0x0A}), 2);
    EXPECT_EQ(PLATFORM_Read(fd, &byte, 1), 1);
    EXPECT_EQ(byte, 0x46);

    // The lines of position 0 leave the chip of position 1 alone.
    ASSERT_EQ(gpiod_line_set_value(reset, 0), 0);
    ASSERT_EQ(gpiod_line_set_value(pwdn, 0), 0);
    EXPECT_TRUE(neighbour->responding());
    // Released lines keep their level.
    gpiod_chip_close(gpio);
    EXPECT_FALSE(chip->responding());
    PLATFORM_Close(fd);
}

TEST_F(SimSensors, WriteHookSeesEveryByte)
{
    ChipModel model = chipModel();
    model.targets[0].address = 0x10;
    model.onWrite = [](SimChip &c, unsigned target, uint16_t address, uint8_t value) {
        if (target == 0 && address == 0x0103 && value == 1)
            c.resetRegisters();  // software reset
    };
    auto resettable = SensorBoard::instance().place(0, model);
    int fd = openBus(0);
    ASSERT_EQ(selectAddress(fd, 0x10), 0);
    EXPECT_EQ(writeBytes(fd, {0x35, 0x08, 0x20}), 3);
    EXPECT_EQ(resettable->reg(0x3508), 0x20);
    EXPECT_EQ(writeBytes(fd, {0x01, 0x03, 0x01}), 3);
    EXPECT_EQ(resettable->reg(0x3508), 0x00);
    EXPECT_EQ(resettable->reg16(0x300A), 0x4688);
    EXPECT_EQ(resettable->writesTo(0x3508), std::vector<uint8_t>{0x20});
    PLATFORM_Close(fd);
}

// The board file's numbers reach the wiring only where they fit their field:
// a bus, chip or line number beyond int, and a clock that is not a positive
// finite number, count as absent (no position, no line, the default clock).
TEST(SimWiring, NumbersBeyondTheirFieldCountAsAbsent)
{
    char pattern[] = "/tmp/simboard_wiring_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string root = pattern;
    std::filesystem::create_directories(root + "/proc/device-tree");
    std::filesystem::create_directories(root + "/etc/vezara/boardcfg");
    std::ofstream(root + "/proc/device-tree/model", std::ios::binary) << std::string("Bench", 6);
    auto read = [&](const std::string &text) {
        std::ofstream(root + "/etc/vezara/boardcfg/Bench.cfg") << text;
        return simboard::BoardWiring::read(root);
    };
    const struct {
        const char *value;
        std::optional<int> taken;
    } numbers[] = {
        {"7", 7},          {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1}, {"2147483647.5", 2147483647},
        {"1e20", {}},      {"-1e20", {}},              {"2147483648", {}},              {"-2147483649", {}},
        {"nan", {}},       {"inf", {}},
    };
    for (const auto &n : numbers) {
        SCOPED_TRACE(n.value);
        const std::string v = n.value;
        // as the bus: the position is there or not
        auto wiring = read("-Sensor0_i2c " + v + "\n");
        ASSERT_EQ(wiring.positions.size(), n.taken ? 1u : 0u);
        if (n.taken) {
            EXPECT_EQ(wiring.positions[0].bus, *n.taken);
        }
        // as each line and chip number of a position on bus 2
        wiring = read("-Sensor0_i2c 2 -Sensor0_gpiochip_reset " + v + " -Sensor0_gpio_reset " + v +
                      " -Sensor0_gpiochip_pwdn " + v + " -Sensor0_gpio_pwdn " + v + "\n");
        ASSERT_EQ(wiring.positions.size(), 1u);
        const auto &p = wiring.positions[0];
        EXPECT_EQ(p.bus, 2);
        const std::string chip = n.taken ? "gpiochip" + std::to_string(*n.taken) : "";
        EXPECT_EQ(p.resetChip, chip);
        EXPECT_EQ(p.pwdnChip, chip);
        EXPECT_EQ(p.resetLine, n.taken.value_or(-1));
        EXPECT_EQ(p.pwdnLine, n.taken.value_or(-1));
    }
    const struct {
        const char *value;
        double clock;
    } clocks[] = {{"27", 27.0}, {"0.5", 0.5}, {"0", 24.0}, {"-27", 24.0}, {"inf", 24.0}, {"nan", 24.0}, {"1e400", 24.0}};
    for (const auto &c : clocks) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(read(std::string("-Board_clock_frequency ") + c.value + "\n").clockMHz, c.clock);
    }
    std::filesystem::remove_all(root);
}

TEST(SimGpio, LinesThroughTheGpiodFunctions)
{
    simboard::Board::instance().reset();
    GpioBank &bank = GpioBank::instance();
    errno = 0;
    EXPECT_EQ(gpiod_chip_open_by_name("gpiochip8"), nullptr);
    EXPECT_EQ(errno, ENOENT);
    gpiod_chip *chip = gpiod_chip_open_by_name("gpiochip2");
    ASSERT_NE(chip, nullptr);
    EXPECT_STREQ(gpiod_chip_name(chip), "gpiochip2");
    EXPECT_EQ(gpiod_chip_get_line(chip, 32), nullptr);
    EXPECT_EQ(errno, EINVAL);
    gpiod_line *line = gpiod_chip_get_line(chip, 5);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(gpiod_chip_get_line(chip, 5), line);
    EXPECT_EQ(gpiod_line_set_value(line, 1), -1);  // not requested
    EXPECT_EQ(errno, EPERM);
    ASSERT_EQ(gpiod_line_request_output(line, "Sensor", 0), 0);
    EXPECT_EQ(gpiod_line_request_output(line, "Sensor", 0), -1);
    EXPECT_EQ(errno, EBUSY);
    // The same line through another handle of the chip is busy too.
    gpiod_chip *again = gpiod_chip_open_by_name("gpiochip2");
    EXPECT_EQ(gpiod_line_request_output(gpiod_chip_get_line(again, 5), "Other", 1), -1);
    gpiod_chip_close(again);
    ASSERT_EQ(gpiod_line_set_value(line, 1), 0);
    ASSERT_EQ(gpiod_line_set_value(line, -1), 0);  // any non-zero value drives the line high
    EXPECT_EQ(bank.level("gpiochip2", 5), 1);
    EXPECT_EQ(bank.openChips(), 1);
    gpiod_chip_close(chip);
    EXPECT_EQ(bank.openChips(), 0);
    EXPECT_FALSE(bank.requested("gpiochip2", 5));
    const std::vector<GpioEvent> expected = {
        {GpioEvent::REQUEST, "gpiochip2", 5, 0, "Sensor"},
        {GpioEvent::SET, "gpiochip2", 5, 1, ""},
        {GpioEvent::SET, "gpiochip2", 5, -1, ""},
        {GpioEvent::RELEASE, "gpiochip2", 5, 0, ""},
    };
    EXPECT_EQ(bank.events(), expected);
    EXPECT_EQ(bank.eventsOf("gpiochip2", 5).size(), 4u);
    EXPECT_TRUE(bank.eventsOf("gpiochip2", 4).empty());

    // Faults: the second open, a request, a set.
    bank.injectFault(simboard::GpioOp::Open, "gpiochip1", 0, 1, 1);
    gpiod_chip *first = gpiod_chip_open_by_name("gpiochip1");
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(gpiod_chip_open_by_name("gpiochip1"), nullptr);
    bank.injectFault(simboard::GpioOp::Request, "gpiochip1", 3);
    EXPECT_EQ(gpiod_line_request_output(gpiod_chip_get_line(first, 3), "Sensor", 1), -1);
    EXPECT_EQ(gpiod_line_request_output(gpiod_chip_get_line(first, 3), "Sensor", 1), 0);
    bank.injectFault(simboard::GpioOp::Set, "gpiochip1", 3);
    EXPECT_EQ(gpiod_line_set_value(gpiod_chip_get_line(first, 3), 0), -1);
    EXPECT_EQ(bank.level("gpiochip1", 3), 1);
    gpiod_chip_close(first);
    simboard::Board::instance().reset();
    EXPECT_TRUE(GpioBank::instance().events().empty());
}

TEST(SimPhy, RecordLayoutAndRequests)
{
    simboard::Board::instance().reset();
    int fd = PLATFORM_Open("/dev/sensor_phy1", O_RDWR);
    ASSERT_GE(fd, 0);
    uint8_t record[32] = {};
    record[0] = 8;                       // type MIPI
    record[4] = 1;                       // enable
    record[7] = 4;                       // lanes
    record[8] = 0x2A;                    // frequency range
    record[10] = 0xB6, record[11] = 1;   // oscillator 438
    record[12] = 1;                      // PHYs
    record[16] = 0x80, record[17] = 7;   // width 1920
    record[24] = 0x00, record[25] = 0x36, record[26] = 0x6E, record[27] = 0x01;  // 24000000
    record[28] = 1;
    record[29] = 1;
    EXPECT_EQ(rawRequest(fd, 0x8020F000ul, record), 0);
    EXPECT_EQ(rawRequest(fd, 0x4020F000ul, record), -ENOTTY);
    EXPECT_EQ(rawRequest(fd, 0x8020F000ul, nullptr), -EFAULT);
    auto phy = SensorBoard::instance().phy(1);
    ASSERT_EQ(phy->switches().size(), 1u);
    const simboard::PhyRecord &r = phy->state();
    EXPECT_EQ(r.type, 8u);
    EXPECT_EQ(r.enable, 1);
    EXPECT_EQ(r.mipiLanes, 4);
    EXPECT_EQ(r.mipiHsFreqRange, 0x2A);
    EXPECT_EQ(r.mipiOscFreq, 438);
    EXPECT_EQ(r.numPhys, 1);
    EXPECT_EQ(r.frameWidth, 1920u);
    EXPECT_EQ(r.clkFreq, 24000000u);
    EXPECT_EQ(r.resetGpio, 1);
    EXPECT_EQ(r.enableMux, 1);
    EXPECT_TRUE(phy->enabled());
    EXPECT_EQ(phy->gasket(), 1u);  // MIPI PHY 1 feeds MIPI input 1
    record[0] = 1;                 // HiSPi: a parallel input
    EXPECT_EQ(rawRequest(fd, 0x8020F003ul, record), 0);
    EXPECT_EQ(phy->gasket(), 3u);
    PLATFORM_Close(fd);
    simboard::Board::instance().reset();
}

TEST(SimSleeps, RecordedAndInstantOnRequest)
{
    simboard::Board::instance().reset();
    EXPECT_FALSE(simboard::Sleeps::instant());
    EXPECT_TRUE(simboard::Sleeps::request(1));
    simboard::Sleeps::setInstant(true);
    EXPECT_FALSE(simboard::Sleeps::request(250000));
    EXPECT_EQ(simboard::Sleeps::log(), (std::vector<uint64_t>{1, 250000}));
    EXPECT_EQ(simboard::Sleeps::total(), 250001u);
    simboard::Board::instance().reset();
    EXPECT_FALSE(simboard::Sleeps::instant());
    EXPECT_TRUE(simboard::Sleeps::log().empty());
}

/*-------------------------------------------------------------------------
 * The scene
 *-------------------------------------------------------------------------*/

// Sample at (x, y) of a frame (24 x 16: patches of 4 x 4 pixels).
uint16_t sampleAt(const simboard::BayerFrame &f, uint32_t x, uint32_t y) { return f.samples[y * f.width + x]; }

TEST(SimScene, WhitePatchByHand)
{
    Scene scene;  // light 0.5, black 64 (10 bits), texture contrast 0.25
    simboard::BayerFrame frame;
    scene.render(ChipFrameFormat{24, 16, 10, MOSAIC_RGGB, 30.0}, 10000, 1.0, std::nullopt, frame);
    ASSERT_EQ(frame.samples.size(), 24u * 16u);
    // The white patch (0.9) is the first of the last row, cell row 6 of the
    // texture (cosine of 16 cells: cos 135 deg = -0.7071); green sites of cell
    // columns 0 and 1 (cos 22.5 deg = 0.9239):
    // 64 + 0.9 x 0.5 x (1 - 0.25 x 0.7071) x 959 = 419.3 and
    // 64 + 0.9 x 0.5 x (1 - 0.25 x 0.9239 x 0.7071) x 959 = 425.1.
    EXPECT_EQ(sampleAt(frame, 1, 12), 419);
    EXPECT_EQ(sampleAt(frame, 3, 12), 425);
    EXPECT_EQ(sampleAt(frame, 0, 13), 419);
    // No light: the black level, scaled to the bit depth.
    scene.lightLevel = 0;
    for (auto [depth, black] : {std::pair<uint8_t, uint16_t>{8, 16}, {10, 64}, {12, 256}}) {
        scene.render(ChipFrameFormat{24, 16, depth, MOSAIC_RGGB, 30.0}, 10000, 1.0, std::nullopt, frame);
        EXPECT_EQ(frame.bitDepth, depth);
        for (uint16_t s : frame.samples)
            ASSERT_EQ(s, black) << int(depth);
    }
}

TEST(SimScene, ExposureTimesGainAndClipping)
{
    Scene scene;
    simboard::BayerFrame a, b, c;
    const ChipFrameFormat format{24, 16, 12, MOSAIC_GRBG, 30.0};
    scene.render(format, 5000, 1.0, std::nullopt, a);
    scene.render(format, 2500, 2.0, std::nullopt, b);  // the same product
    scene.render(format, 10000, 1.0, std::nullopt, c);
    EXPECT_EQ(a.samples, b.samples);
    // Grey patch 0.19 (row 3, column 3): the signal above black doubles.
    const int black = 256;
    const int signalA = sampleAt(a, 13, 12) - black, signalC = sampleAt(c, 13, 12) - black;
    EXPECT_GT(signalA, 100);
    EXPECT_NEAR(signalC, 2 * signalA, 1);
    // Far too much light clips at the largest value.
    scene.render(format, 1e7, 16.0, std::nullopt, c);
    for (uint32_t y = 12; y < 16; ++y)
        for (uint32_t x = 0; x < 4; ++x)
            EXPECT_EQ(sampleAt(c, x, y), 4095);
}

TEST(SimScene, BayerOrderPutsRedOnTheRedSites)
{
    Scene scene;
    struct Case {
        MOSAICType mosaic;
        uint32_t redX, redY;
    };
    const Case cases[] = {{MOSAIC_RGGB, 0, 0}, {MOSAIC_GRBG, 1, 0}, {MOSAIC_GBRG, 0, 1}, {MOSAIC_BGGR, 1, 1}};
    for (const Case &c : cases) {
        simboard::BayerFrame frame;
        scene.render(ChipFrameFormat{24, 16, 10, c.mosaic, 30.0}, 10000, 1.0, std::nullopt, frame);
        EXPECT_EQ(frame.mosaic, c.mosaic);
        // The red patch (row 2, column 2) is brightest on its red sites.
        const uint32_t x0 = 8, y0 = 8;
        const uint16_t red = sampleAt(frame, x0 + c.redX, y0 + c.redY);
        for (uint32_t dy = 0; dy < 2; ++dy)
            for (uint32_t dx = 0; dx < 2; ++dx)
                if (dx != c.redX || dy != c.redY) {
                    EXPECT_GT(red, sampleAt(frame, x0 + dx, y0 + dy)) << c.mosaic;
                }
    }
}

TEST(SimScene, ColourTemperatureAndFocus)
{
    Scene scene;
    double warm[3], cold[3];
    scene.colourTemperature = 2800;
    scene.channelResponse(warm);
    scene.colourTemperature = 7500;
    scene.channelResponse(cold);
    EXPECT_EQ(warm[1], 1.0);
    EXPECT_GT(warm[0] / warm[2], 2 * cold[0] / cold[2]);  // a warm light is much redder

    // The texture fades as the lens leaves the in-focus position.
    scene.inFocusPosition = 300;
    auto contrast = [&](std::optional<int> focus) {
        simboard::BayerFrame f;
        scene.render(ChipFrameFormat{192, 16, 12, MOSAIC_RGGB, 30.0}, 10000, 1.0, focus, f);
        // Two green sites of the white patch half a texture period apart.
        return sampleAt(f, 17, 12) - sampleAt(f, 1, 12);
    };
    EXPECT_EQ(contrast(300), contrast(std::nullopt));
    EXPECT_GT(contrast(300), contrast(340));
    EXPECT_GT(contrast(340), contrast(500));
    EXPECT_EQ(contrast(340), contrast(260));
}

/*-------------------------------------------------------------------------
 * Streaming into the ISP
 *-------------------------------------------------------------------------*/

class SimStreaming : public SimSensors {
protected:
    // A pipeline on gasket 0 extracting the 8 x 4 12-bit frame, a shot, a buffer.
    void bringUp()
    {
        fd = openDevice();
        PipeSetup setup;
        setup.imager = 0;
        setup.display = BAYER_RGGB_12;
        pipeline = startedPipeline(fd, setup, 1);
        buffer = static_cast<uint32_t>(createBuffer(fd, pipeline, CI_ALLOC_DISP));
        phyFd = PLATFORM_Open("/dev/sensor_phy0", O_RDWR);
        ASSERT_GE(phyFd, 0);
    }
    void TearDown() override
    {
        if (phyFd >= 0)
            PLATFORM_Close(phyFd);
        SimSensors::TearDown();
    }
    void setPhy(bool on)
    {
        uint8_t record[32] = {};
        record[0] = 8;
        record[4] = on;
        ASSERT_EQ(rawRequest(phyFd, 0x8020F000ul, record), 0);
    }
    void reserveGasket()
    {
        CI_GASKET gasket{};
        gasket.uiGasket = 0;
        ASSERT_EQ(request(fd, CI_GASKET_ACQUIRE, &gasket), 0);
    }
    // Triggers a shot; answers the acquisition's result (non-blocking).
    long capture(CI_BUFFER_PARAM *shot)
    {
        CI_BUFFID ids{};
        ids.dispId = buffer;
        EXPECT_EQ(trigger(fd, pipeline, ids), 0);
        return acquire(fd, pipeline, false, shot);
    }

    int fd = -1, phyFd = -1, pipeline = 0;
    uint32_t buffer = 0;
};

TEST_F(SimStreaming, StreamingChipFeedsItsGasket)
{
    bringUp();
    chip->setReg(0x3500, 0x03);  // 0x03E8 x 10 us = 10 ms
    chip->setReg(0x3501, 0xE8);
    chip->setReg(0x3508, 32);    // gain 2
    chip->setReg(0x0100, 1);
    setPhy(true);
    reserveGasket();
    EXPECT_EQ(SensorBoard::instance().sourceOf(0), chip);
    const uint64_t start = driver->now();

    CI_BUFFER_PARAM shot;
    long shotId = capture(&shot);
    ASSERT_GT(shotId, 0);
    EXPECT_EQ(shot.shot.bFrameError, 0);
    EXPECT_EQ(driver->now() - start, 33333333u);  // one frame at 30 frames per second
    EXPECT_EQ(SensorBoard::instance().framesSent(), 1u);

    // The buffer holds the scene as the chip sees it: 10 ms at gain 2.
    simboard::BayerFrame expected;
    SensorBoard::instance().scene().render(chip->frameFormat(), 10000, 2.0, 0, expected);
    EXPECT_EQ(shot.shot.aDispSize[0], 24u);  // RGGB12: 16 samples in 24 bytes a line
    std::vector<uint8_t> out = readObject(fd, buffer, 24 * 4);
    for (uint32_t y = 0; y < 4; ++y)
        for (uint32_t x = 0; x < 8; x += 2) {
            const uint8_t *p = out.data() + y * 24 + x / 2 * 3;
            EXPECT_EQ(p[0] | ((p[1] & 0xF) << 8), expected.samples[y * 8 + x]);
            EXPECT_EQ((p[1] >> 4) | (p[2] << 4), expected.samples[y * 8 + x + 1]);
        }
    ASSERT_EQ(release(fd, pipeline, static_cast<int>(shotId)), 0);

    // A brighter scene gives a brighter frame.
    SensorBoard::instance().scene().lightLevel = 1.0;
    ASSERT_GT(shotId = capture(&shot), 0);
    std::vector<uint8_t> brighter = readObject(fd, buffer, 64 * 4);
    EXPECT_GT(brighter[0] | ((brighter[1] & 0xF) << 8), out[0] | ((out[1] & 0xF) << 8));
    ASSERT_EQ(release(fd, pipeline, static_cast<int>(shotId)), 0);
}

TEST_F(SimStreaming, NoFrameUnlessChipPhyAndGasketAreAllOn)
{
    bringUp();
    CI_BUFFER_PARAM shot;
    chip->setReg(0x0100, 1);
    setPhy(true);
    EXPECT_EQ(capture(&shot), -EALREADY);  // gasket not reserved
    reserveGasket();
    setPhy(false);
    EXPECT_EQ(acquire(fd, pipeline, false, &shot), -EALREADY);  // PHY off
    setPhy(true);
    chip->setReg(0x0100, 0);
    EXPECT_EQ(acquire(fd, pipeline, false, &shot), -EALREADY);  // not streaming
    // A chip wired to the other PHY does not feed gasket 0.
    SensorBoard::instance().remove(chip);
    auto other = SensorBoard::instance().place(1, chipModel());
    other->setReg(0x0100, 1);
    EXPECT_EQ(acquire(fd, pipeline, false, &shot), -EALREADY);
    EXPECT_EQ(SensorBoard::instance().sourceOf(0), nullptr);
    EXPECT_EQ(SensorBoard::instance().framesSent(), 0u);
    // Streaming on: the queued shot completes.
    SensorBoard::instance().remove(other);
    chip = SensorBoard::instance().place(0, chipModel());
    chip->setReg(0x0100, 1);
    long shotId = acquire(fd, pipeline, true, &shot);
    ASSERT_GT(shotId, 0);
    EXPECT_EQ(release(fd, pipeline, static_cast<int>(shotId)), 0);
}

}  // namespace
}  // namespace sensor_board_test
