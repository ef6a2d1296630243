// The scene the simulated camera looks at, the board's configuration file,
// and what a streaming chip's frames carry into the ISP: the sensor delay,
// the lamp's flicker and injected frame losses.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <limits>
#include <optional>

#include "isp_test_support.h"
#include "simboard/scene.h"
#include "simboard/sensor_chip.h"

namespace scene_test {
namespace {

using namespace isptest;
using simboard::BayerFrame;
using simboard::BoardSettings;
using simboard::ChipFrameFormat;
using simboard::Scene;
using simboard::SceneMap;
using simboard::SensorBoard;

uint16_t at(const BayerFrame &f, uint32_t x, uint32_t y) { return f.samples[y * f.width + x]; }

// Mean of the samples of one Bayer site (x0, y0 parity) of rows [y0, y1).
double siteMean(const BayerFrame &f, uint32_t x0, uint32_t y0, uint32_t y1)
{
    double sum = 0;
    unsigned n = 0;
    for (uint32_t y = y0; y < y1; y += 2)
        for (uint32_t x = x0; x < f.width; x += 2, ++n)
            sum += at(f, x, y);
    return sum / n;
}

TEST(SceneMaps, FlatGreyIsFlatAndTheTextureIsGreyOnAverage)
{
    Scene scene;
    scene.map = SceneMap::Grey;
    scene.colourTemperature = 6500;
    BayerFrame f;
    const ChipFrameFormat format{64, 32, 12, MOSAIC_RGGB, 30.0};
    scene.render(format, 10000, 1.0, 0, f);
    double response[3];
    scene.channelResponse(response);
    // Black 256 (12 bits) + 0.18 x response x 0.5 x 3839 on every site of its channel.
    for (uint32_t y = 0; y < 32; ++y)
        for (uint32_t x = 0; x < 64; ++x) {
            const int channel = (x & 1) + (y & 1);  // RGGB: 0 red, 1 green, 2 blue
            ASSERT_EQ(at(f, x, y), std::lround(256 + 0.18 * response[channel] * 0.5 * 3839)) << x << "," << y;
        }

    // The grey-world texture: channels differ from block to block, but over
    // many blocks each averages the same reflectance.
    scene.map = SceneMap::Texture;
    const ChipFrameFormat large{1024, 1024, 12, MOSAIC_RGGB, 30.0};
    scene.render(large, 10000, 1.0, std::nullopt, f);
    EXPECT_NE(at(f, 0, 0), at(f, 16, 0));
    const double red = (siteMean(f, 0, 0, 1024) - 256) / response[0];
    const double green = (siteMean(f, 1, 0, 1024) - 256) / response[1];
    const double blue = (siteMean(f, 1, 1, 1024) - 256) / response[2];
    EXPECT_NEAR(red / green, 1.0, 0.05);
    EXPECT_NEAR(blue / green, 1.0, 0.05);
}

TEST(SceneMaps, LampFlickerShowsBandsUnlessTheExposureIsWholePeriods)
{
    Scene scene;
    scene.map = SceneMap::Grey;
    scene.lightLevel = 2.0;
    const ChipFrameFormat format{16, 240, 12, MOSAIC_RGGB, 30.0};
    auto rowSpread = [&](unsigned lampHz, double exposureUs) {
        scene.lampHz = lampHz;
        BayerFrame f;
        scene.render(format, exposureUs, 1.0, std::nullopt, f);
        EXPECT_EQ(f.lampHz, lampHz);
        uint16_t lo = UINT16_MAX, hi = 0;
        for (uint32_t y = 0; y < 240; y += 2)
            lo = std::min(lo, at(f, 1, y)), hi = std::max(hi, at(f, 1, y));
        return hi - lo;
    };
    EXPECT_EQ(rowSpread(0, 5000), 0);        // steady light
    EXPECT_GT(rowSpread(50, 5000), 300);     // half a flicker period of a 50 Hz lamp: bands
    EXPECT_LE(rowSpread(50, 10000), 1);      // one whole period (1 / 100 s): none
    EXPECT_LE(rowSpread(60, 25000), 1);      // three periods of a 60 Hz lamp
    EXPECT_GT(rowSpread(60, 4000), 300);
}

TEST(SceneMaps, DefectsAndChangesAtGivenFrames)
{
    Scene scene;
    scene.map = SceneMap::Grey;
    scene.defects = {{3, 2, true}, {4, 4, false}};
    BayerFrame f;
    scene.render(ChipFrameFormat{8, 8, 10, MOSAIC_RGGB, 30.0}, 10000, 1.0, std::nullopt, f);
    EXPECT_EQ(at(f, 3, 2), 1023);
    EXPECT_EQ(at(f, 4, 4), 0);
    EXPECT_EQ(at(f, 2, 2), at(f, 0, 0));

    scene.changes = {{10, 0.25, std::nullopt, std::nullopt, std::nullopt},
                     {5, std::nullopt, 3000.0, 120, 60u}};
    EXPECT_EQ(scene.at(4).lightLevel, 0.5);
    EXPECT_EQ(scene.at(4).lampHz, 0u);
    const Scene fifth = scene.at(5);
    EXPECT_EQ(fifth.colourTemperature, 3000.0);
    EXPECT_EQ(fifth.inFocusPosition, 120);
    EXPECT_EQ(fifth.lampHz, 60u);
    EXPECT_EQ(fifth.lightLevel, 0.5);
    EXPECT_EQ(scene.at(10).lightLevel, 0.25);
    EXPECT_EQ(scene.at(10).colourTemperature, 3000.0);
}

/*-------------------------------------------------------------------------
 * The configuration file
 *-------------------------------------------------------------------------*/

class ConfigFile : public ::testing::Test {
protected:
    void write(const std::string &text)
    {
        std::ofstream(path) << text;
    }
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
    std::string path = testing::TempDir() + "simboard_scene_test_" + std::to_string(getpid()) + ".cfg";
};

TEST_F(ConfigFile, EveryKeyAndItsErrors)
{
    write("# a scene for the capture program\n"
          "SCENE_MAP texture\n"
          "SCENE_LIGHT_LEVEL 0.8   # brighter\n"
          "SCENE_TEMPERATURE 3200\n"
          "SCENE_LAMP_HZ 50\n"
          "SCENE_IN_FOCUS 400\n"
          "SCENE_FOCUS_DEPTH 25\n"
          "SCENE_BLACK_LEVEL 60\n"
          "SCENE_DEFECT 10 20 low\n"
          "SCENE_CHANGE 30 LIGHT_LEVEL 0.2\n"
          "SENSOR_DELAY 2\n"
          "\n"
          "SCENE_MAP sunset\n"
          "SCENE_LAMP_HZ 55\n"
          "SENSOR_DELAY 3\n"
          "SCENE_DEFECT 10\n"
          "SCENE_CHANGE 3 COLOUR 2\n"
          "SCENE_WIND 4\n");
    BoardSettings settings;
    std::vector<std::string> problems;
    ASSERT_TRUE(simboard::readBoardSettings(path, settings, problems));
    const Scene &s = settings.scene;
    EXPECT_EQ(s.map, SceneMap::Texture);
    EXPECT_EQ(s.lightLevel, 0.8);
    EXPECT_EQ(s.colourTemperature, 3200.0);
    EXPECT_EQ(s.lampHz, 50u);
    EXPECT_EQ(s.inFocusPosition, 400);
    EXPECT_EQ(s.focusDepth, 25.0);
    EXPECT_EQ(s.blackLevel, 60.0);
    ASSERT_EQ(s.defects.size(), 1u);
    EXPECT_EQ(s.defects[0].x, 10u);
    EXPECT_FALSE(s.defects[0].high);
    ASSERT_EQ(s.changes.size(), 1u);
    EXPECT_EQ(s.changes[0].frame, 30u);
    EXPECT_EQ(s.changes[0].lightLevel, 0.2);
    EXPECT_EQ(settings.sensorDelay, 2u);
    const std::vector<std::string> expected = {
        path + ":13: SCENE_MAP must be chart, grey or texture, not \"sunset\"",
        path + ":14: unknown key or value out of range: \"SCENE_LAMP_HZ 55\"",
        path + ":15: unknown key or value out of range: \"SENSOR_DELAY 3\"",
        path + ":16: SCENE_DEFECT needs a column, a row and high or low",
        path + ":17: SCENE_CHANGE needs a frame, LIGHT_LEVEL, TEMPERATURE, IN_FOCUS or LAMP_HZ, and a value",
        path + ":18: unknown key or value out of range: \"SCENE_WIND 4\"",
    };
    EXPECT_EQ(problems, expected);
    EXPECT_FALSE(simboard::readBoardSettings(path + ".missing", settings, problems));
}

// A change takes the values the starting keys take, with their message; a
// number too large for its integer is refused rather than converted.
TEST_F(ConfigFile, ChangesAreCheckedAsTheStartingValues)
{
    write("SCENE_CHANGE 5 TEMPERATURE -5\n"
          "SCENE_TEMPERATURE -5\n"
          "SCENE_CHANGE 5 LIGHT_LEVEL -1\n"
          "SCENE_LIGHT_LEVEL -1\n"
          "SCENE_CHANGE 5 IN_FOCUS 1e300\n"
          "SCENE_IN_FOCUS 1e300\n"
          "SCENE_CHANGE 5 LAMP_HZ 55\n"
          "SCENE_CHANGE 1e20 LIGHT_LEVEL 0.3\n"
          "SCENE_DEFECT 1e20 5 high\n"
          "SCENE_DEFECT 5 4294967296 low\n"
          "SCENE_CHANGE 4294967295 IN_FOCUS 0\n"
          "SCENE_DEFECT 4294967295 0 high\n"
          "SCENE_IN_FOCUS 65535\n");
    BoardSettings settings;
    std::vector<std::string> problems;
    ASSERT_TRUE(simboard::readBoardSettings(path, settings, problems));
    const Scene &s = settings.scene;
    EXPECT_EQ(s.lightLevel, 0.5);
    EXPECT_EQ(s.colourTemperature, 5000.0);
    EXPECT_EQ(s.inFocusPosition, 65535);
    ASSERT_EQ(s.changes.size(), 1u);
    EXPECT_EQ(s.changes[0].frame, 4294967295u);
    EXPECT_EQ(s.changes[0].inFocusPosition, 0);
    EXPECT_FALSE(s.changes[0].lightLevel);
    ASSERT_EQ(s.defects.size(), 1u);
    EXPECT_EQ(s.defects[0].x, 4294967295u);
    auto outOfRange = [&](int line, const std::string &text) {
        return path + ":" + std::to_string(line) + ": unknown key or value out of range: \"" + text + "\"";
    };
    const std::string defect = ": SCENE_DEFECT needs a column, a row and high or low";
    const std::vector<std::string> expected = {
        outOfRange(1, "SCENE_CHANGE 5 TEMPERATURE -5"),
        outOfRange(2, "SCENE_TEMPERATURE -5"),
        outOfRange(3, "SCENE_CHANGE 5 LIGHT_LEVEL -1"),
        outOfRange(4, "SCENE_LIGHT_LEVEL -1"),
        outOfRange(5, "SCENE_CHANGE 5 IN_FOCUS 1e300"),
        outOfRange(6, "SCENE_IN_FOCUS 1e300"),
        outOfRange(7, "SCENE_CHANGE 5 LAMP_HZ 55"),
        path + ":8: SCENE_CHANGE needs a frame, LIGHT_LEVEL, TEMPERATURE, IN_FOCUS or LAMP_HZ, and a value",
        path + ":9" + defect,
        path + ":10" + defect,
    };
    EXPECT_EQ(problems, expected);
}

// The in-focus position is a lens position, a chip's 16-bit focus code: both
// ends are taken, as a starting value and as a change; a value past either
// end is refused with the out-of-range message and changes nothing.
TEST_F(ConfigFile, InFocusPositionsAreLensPositions)
{
    const struct {
        const char *value;
        std::optional<int> taken;
    } cases[] = {
        {"0", 0},         {"65535", 65535},     {"65535.4", 65535}, {"-0.4", 0},
        {"-1", {}},       {"65536", {}},        {"65535.6", {}},    {"-2147483648", {}},
        {"2147483647", {}}, {"1e20", {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.value);
        const std::string start = std::string("SCENE_IN_FOCUS ") + c.value;
        const std::string change = std::string("SCENE_CHANGE 3 IN_FOCUS ") + c.value;
        write(start + "\n" + change + "\n");
        BoardSettings settings;
        settings.scene.inFocusPosition = 77;
        std::vector<std::string> problems;
        ASSERT_TRUE(simboard::readBoardSettings(path, settings, problems));
        if (c.taken) {
            EXPECT_EQ(settings.scene.inFocusPosition, *c.taken);
            ASSERT_EQ(settings.scene.changes.size(), 1u);
            EXPECT_EQ(settings.scene.changes[0].inFocusPosition, c.taken);
            EXPECT_TRUE(problems.empty()) << problems.front();
        } else {
            EXPECT_EQ(settings.scene.inFocusPosition, 77);
            EXPECT_TRUE(settings.scene.changes.empty());
            const std::vector<std::string> expected = {
                path + ":1: unknown key or value out of range: \"" + start + "\"",
                path + ":2: unknown key or value out of range: \"" + change + "\"",
            };
            EXPECT_EQ(problems, expected);
        }
    }

    // A scene set by hand with positions at the ends of int renders the
    // texture out of focus, flat, without overflowing the distance.
    Scene scene;
    scene.map = SceneMap::Texture;
    scene.inFocusPosition = std::numeric_limits<int>::min();
    BayerFrame f;
    scene.render(ChipFrameFormat{64, 4, 10, MOSAIC_RGGB, 30.0}, 10000, 1.0, std::numeric_limits<int>::max(), f);
    EXPECT_EQ(at(f, 0, 0), at(f, 16, 0));
}

TEST_F(ConfigFile, AFolderIsNoConfiguration)
{
    const std::string folder = testing::TempDir();
    BoardSettings settings;
    std::vector<std::string> problems;
    EXPECT_FALSE(simboard::readBoardSettings(folder, settings, problems));
    ASSERT_EQ(setenv("VEZARA_SIMBOARD_CONFIG", folder.c_str(), 1), 0);
    testing::internal::CaptureStderr();
    simboard::Board::instance().reset();
    const std::string said = testing::internal::GetCapturedStderr();
    unsetenv("VEZARA_SIMBOARD_CONFIG");
    simboard::Board::instance().reset();
    EXPECT_NE(said.find("simboard: cannot read the board configuration \"" + folder + "\"\n"), std::string::npos)
        << said;
}

TEST_F(ConfigFile, TheBoardReadsTheFileTheEnvironmentNames)
{
    write("SCENE_MAP grey\nSCENE_TEMPERATURE 2800\nSENSOR_DELAY 1\n");
    ASSERT_EQ(setenv("VEZARA_SIMBOARD_CONFIG", path.c_str(), 1), 0);
    simboard::Board::instance().reset();
    EXPECT_EQ(SensorBoard::instance().scene().map, SceneMap::Grey);
    EXPECT_EQ(SensorBoard::instance().scene().colourTemperature, 2800.0);
    EXPECT_EQ(SensorBoard::instance().sensorDelay(), 1u);
    unsetenv("VEZARA_SIMBOARD_CONFIG");
    simboard::Board::instance().reset();
    EXPECT_EQ(SensorBoard::instance().scene().map, SceneMap::Chart);  // the shipped file changes nothing
    EXPECT_EQ(SensorBoard::instance().sensorDelay(), 0u);
}

/*-------------------------------------------------------------------------
 * Streaming: sensor delay, flicker detection, lost frames
 *-------------------------------------------------------------------------*/

// A chip at 0x36 streaming a 16 x 8 12-bit frame while 0x0100 is 1, its
// exposure 0x3500-0x3501 in 10-microsecond steps, gain 0x3508 / 16 and lens
// position 0x3510-0x3511.
simboard::ChipModel chipModel()
{
    simboard::ChipModel model;
    model.name = "SCENE";
    model.targets.push_back({0x36, 2, {}});
    model.streaming = [](const simboard::SimChip &c) { return c.reg(0x0100) == 1; };
    model.exposureUs = [](const simboard::SimChip &c) { return c.reg16(0x3500) * 10.0; };
    model.gain = [](const simboard::SimChip &c) { return c.reg(0x3508) / 16.0; };
    model.focus = [](const simboard::SimChip &c) { return static_cast<int>(c.reg16(0x3510)); };
    model.format = ChipFrameFormat{16, 8, 12, MOSAIC_RGGB, 30.0};
    return model;
}

class SceneStreaming : public IspTest {
protected:
    // A pipeline on gasket 0 extracting the Bayer frame with `shots` shots,
    // measuring the statistics `outputs` asks for, flicker detection
    // waiting `flickerWaiting` frames; the chip streaming into it.
    void bringUp(uint32_t outputs = 0, unsigned shots = 1, uint32_t flickerWaiting = 0,
                 std::function<void(std::array<uint32_t, simboard::kIspLoadStructureWords> &)> words = nullptr)
    {
        chip = SensorBoard::instance().place(0, chipModel());
        setExposure(1000);
        chip->setReg(0x3508, 16);
        chip->setReg(0x0100, 1);
        fd = openDevice();
        PipeSetup setup;
        setup.width = 16;
        setup.height = 8;
        setup.imager = 0;
        setup.display = BAYER_RGGB_12;
        info = makeInfo(setup);
        info.config.eOutputConfig = outputs;
        pipeline = static_cast<int>(request(fd, CI_PIPELINE_REGISTER, &info));
        ASSERT_GT(pipeline, 0);
        load = makeLoad(setup);
        load[229] = flickerWaiting << 12;
        if (words)
            words(load);
        ASSERT_EQ(update(fd, pipeline, info, load, CI_UPD_ALL), 0);
        for (unsigned i = 0; i < shots; ++i) {
            CI_POOL_PARAM pool{};
            ASSERT_GT(addShot(fd, pipeline, &pool), 0);
            statsIds.push_back(pool.aMemMapIds[CI_POOL_MAP_ID_STAT]);
        }
        ASSERT_EQ(setLinestore(fd, 0, -1), 0);
        ASSERT_EQ(requestValue(fd, CI_CAPTURE_START, pipeline), 0);
        for (unsigned i = 0; i < shots; ++i)
            buffers.push_back(static_cast<uint32_t>(createBuffer(fd, pipeline, CI_ALLOC_DISP)));
        phyFd = PLATFORM_Open("/dev/sensor_phy0", O_RDWR);
        ASSERT_GE(phyFd, 0);
        uint8_t record[32] = {};
        record[0] = 8;
        record[4] = 1;
        ASSERT_EQ(rawRequest(phyFd, 0x8020F000ul, record), 0);
        CI_GASKET gasket{};
        ASSERT_EQ(request(fd, CI_GASKET_ACQUIRE, &gasket), 0);
    }
    void TearDown() override
    {
        if (phyFd >= 0)
            PLATFORM_Close(phyFd);
        phyFd = -1;
        statsIds.clear();
        buffers.clear();
        IspTest::TearDown();
    }
    // A fresh board for the next case of a table.
    void restart()
    {
        TearDown();
        SetUp();
    }
    void setExposure(unsigned steps)
    {
        chip->setReg(0x3500, static_cast<uint8_t>(steps >> 8));
        chip->setReg(0x3501, static_cast<uint8_t>(steps));
    }
    // One shot: trigger, acquire, read the first green sample and the
    // statistics, release.
    struct Result {
        uint16_t green = 0;
        int missedFrames = 0;
        std::vector<uint8_t> stats;
    };
    Result shoot(unsigned slot = 0)
    {
        Result r;
        CI_BUFFID ids{};
        ids.dispId = buffers[slot];
        EXPECT_EQ(trigger(fd, pipeline, ids), 0);
        CI_BUFFER_PARAM shot;
        const long id = acquire(fd, pipeline, false, &shot);
        EXPECT_GT(id, 0);
        if (id <= 0)
            return r;
        const std::vector<uint8_t> out = readObject(fd, shot.shot.dispId, 8);
        r.green = static_cast<uint16_t>((out[1] >> 4) | (out[2] << 4));  // sample 1 of BAYER_RGGB_12
        r.missedFrames = shot.shot.i32MissedFrames;
        r.stats = readObject(fd, statsIds[static_cast<size_t>(id - 1) % statsIds.size()], simboard::kIspStatisticsSize);
        EXPECT_EQ(release(fd, pipeline, static_cast<int>(id)), 0);
        return r;
    }

    std::shared_ptr<simboard::SimChip> chip;
    int fd = -1, phyFd = -1, pipeline = 0;
    CI_PIPE_INFO info{};
    std::array<uint32_t, simboard::kIspLoadStructureWords> load{};
    std::vector<uint32_t> statsIds, buffers;
};

TEST_F(SceneStreaming, ExposureShowsInTheShotItWasProgrammedForPlusTheDelay)
{
    for (unsigned delay : {0u, 1u, 2u}) {
        SCOPED_TRACE("delay " + std::to_string(delay));
        SensorBoard::instance().setSensorDelay(delay);
        bringUp();
        const uint16_t before = shoot().green;
        shoot();
        shoot();
        setExposure(2000);  // programmed before trigger k
        std::vector<uint16_t> greens;
        for (int k = 0; k < 4; ++k)
            greens.push_back(shoot().green);
        for (unsigned k = 0; k < 4; ++k) {
            if (k < delay)
                EXPECT_EQ(greens[k], before) << "shot k+" << k;
            else
                EXPECT_GT(greens[k], before + 50) << "shot k+" << k;
        }
        restart();
    }
}

TEST_F(SceneStreaming, FlickerDetectionWaitsThenFindsTheLamp)
{
    const struct {
        unsigned lampHz;
        uint32_t status;
    } cases[] = {{50, 1}, {60, 2}, {0, 0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.lampHz);
        SensorBoard::instance().scene().lampHz = c.lampHz;
        bringUp(CI_SAVE_FLICKER, 1, 3);
        std::vector<uint32_t> status;
        for (int k = 0; k < 5; ++k)
            status.push_back(word32(shoot().stats, 5456));
        EXPECT_EQ(status, (std::vector<uint32_t>{4, 4, 4, c.status, c.status}));
        restart();
    }
}

TEST_F(SceneStreaming, LostFramesAndFrameErrorsAreReportedWithTheNextShot)
{
    bringUp();
    driver->dropFrames(2);
    Result r = shoot();
    EXPECT_EQ(r.missedFrames, 2);
    EXPECT_EQ(shoot().missedFrames, 0);
    driver->markFramesErroneous();
    CI_BUFFID ids{};
    ids.dispId = buffers[0];
    ASSERT_EQ(trigger(fd, pipeline, ids), 0);
    CI_BUFFER_PARAM shot;
    const long id = acquire(fd, pipeline, false, &shot);
    ASSERT_GT(id, 0);
    EXPECT_EQ(shot.shot.bFrameError, 1);
    EXPECT_EQ(release(fd, pipeline, static_cast<int>(id)), 0);
}

/*-------------------------------------------------------------------------
 * Statistics on designed scenes
 *-------------------------------------------------------------------------*/

using Load = std::array<uint32_t, simboard::kIspLoadStructureWords>;

// The whole 16 x 8 image as one white-balance tile, one white-balance
// region and one histogram tile, thresholds out of the way.
void wholeImageStatistics(Load &w)
{
    w[39] = 0;
    w[40] = 7u | (3u << 16);             // one tile of 8 x 4 cells
    w[43] = 65535u << 16;                // clips at the top
    w[44] = 65535u | (65535u << 16);
    w[115] = 0;
    w[117] = 15u | (7u << 16);           // region 0 over every pixel
    w[120] = w[122] = 4095u | (4095u << 12);
    w[130] = 32768u << 16;               // histogram offset 0, scale 1.0
    w[132] = 16u | (8u << 16);
    w[59] = 0;                           // focus region of interest: the image
    w[60] = 15u | (7u << 16);
}

TEST_F(SceneStreaming, TilesMeasureTheIlluminantBeforeTheGainsRegionsAfter)
{
    const uint32_t outputs = CI_SAVE_WHITEBALANCE | CI_SAVE_WHITEBALANCE_EXT | CI_SAVE_HIST_GLOBAL;
    for (double kelvin : {2800.0, 6500.0}) {
        SCOPED_TRACE(kelvin);
        Scene &scene = SensorBoard::instance().scene();
        scene.map = SceneMap::Grey;
        scene.blackLevel = 0;
        scene.lightLevel = 2.0;
        scene.colourTemperature = kelvin;
        double response[3];
        scene.channelResponse(response);
        // Gains that undo the illuminant: U6.10 of 1 / response.
        const uint32_t red = static_cast<uint32_t>(std::lround(1024 / response[0]));
        const uint32_t blue = static_cast<uint32_t>(std::lround(1024 / response[2]));
        bringUp(outputs, 1, 0, [&](Load &w) {
            wholeImageStatistics(w);
            w[49] = red | (1024u << 16);
            w[50] = 1024u | (blue << 16);
        });
        const std::vector<uint8_t> stats = shoot().stats;
        // Tile: 32 cells, log2 sums (5 fractional bits) of the raw channels,
        // whose ratios are the illuminant's.
        const double n = word32(stats, 4544 + 12);
        ASSERT_EQ(n, 32);
        const double logRed = word32(stats, 4544) / 32.0 / n, logBlue = word32(stats, 4548) / 32.0 / n;
        const double logGreen = word32(stats, 4552) / 32.0 / n;
        EXPECT_NEAR(logRed - logGreen, std::log2(response[0]), 0.02);
        EXPECT_NEAR(logBlue - logGreen, std::log2(response[2]), 0.02);
        // Regions after the gains: every pixel counted, the channels equal.
        const double acRed = word32(stats, 1024 + 24), acGreen = word32(stats, 1024 + 28);
        const double acBlue = word32(stats, 1024 + 32);
        EXPECT_GT(acGreen, 128 * 30.0);
        EXPECT_NEAR(acRed / acGreen, 1.0, 0.03);
        EXPECT_NEAR(acBlue / acGreen, 1.0, 0.03);
        // A flat field: its 128 pixels in one histogram bin.
        unsigned filled = 0;
        for (int bin = 0; bin < 64; ++bin) {
            const uint32_t count = word32(stats, 1152 + 4 * bin);
            EXPECT_TRUE(count == 0 || count == 128u) << bin;
            filled += count != 0;
        }
        EXPECT_EQ(filled, 1u);
        restart();
    }
}

TEST_F(SceneStreaming, FocusFigurePeaksAtTheInFocusPosition)
{
    Scene &scene = SensorBoard::instance().scene();
    scene.map = SceneMap::Texture;
    scene.inFocusPosition = 300;
    bringUp(CI_SAVE_FOS_ROI, 1, 0, wholeImageStatistics);
    std::vector<uint32_t> sharpness;
    for (unsigned position = 0; position <= 600; position += 100) {
        chip->setReg(0x3510, static_cast<uint8_t>(position >> 8));
        chip->setReg(0x3511, static_cast<uint8_t>(position));
        sharpness.push_back(word32(shoot().stats, 512));
    }
    // 0, 100, ..., 600: rising to 300, falling after, symmetric around it.
    for (size_t k = 0; k < 3; ++k) {
        EXPECT_LT(sharpness[k], sharpness[k + 1]) << k;
        EXPECT_GT(sharpness[k + 3], sharpness[k + 4]) << k;
    }
    EXPECT_EQ(sharpness[2], sharpness[4]);
}

}  // namespace
}  // namespace scene_test
