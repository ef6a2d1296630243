// Bramble under bad input: values its options cannot mean, arguments no
// option uses, a pool the driver cannot hold, keys pushed past their range
// and setup files that name an output without a point to take it from. Each
// ends in a clear error and exit status 1, or the run goes on.
#include <fstream>
#include <sstream>

#include "bramble_test_support.h"

namespace brambletest {
namespace {

std::vector<std::string> sensorArgs(std::vector<std::string> extra)
{
    std::vector<std::string> args = {"-sensor", "OV5695_0", "-sensorMode", "1", "-setupFile", kSensorSetup};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

TEST_F(BrambleRun, ValuesAnOptionCannotMeanAreRefusedByName)
{
    placeSensor();
    const struct {
        std::vector<std::string> extra;
        const char *refusal;
        const char *option;
    } cases[] = {
        // NaN passes both clips of the weight base and upsets the smoothing
        {{"-wbtsWeightsBase", "nan"}, "parameter '-wbtsWeightsBase' refuses 'nan': not a number",
         "while parsing parameter -wbtsWeightsBase"},
        {{"-sensorGain", "nan"}, "parameter '-sensorGain' refuses 'nan': not a number",
         "while parsing parameter -sensorGain"},
        // read as 4294967295: a sleep of 71 minutes per frame, a pool of 4294967295 buffers
        {{"-delay", "-1"}, "parameter '-delay' refuses '-1': a negative number where an unsigned one is needed",
         "while parsing parameter -delay"},
        {{"-nBuffers", "-1"}, "parameter '-nBuffers' refuses '-1': a negative number where an unsigned one is needed",
         "while parsing parameter -nBuffers"},
        // cut to 32 bits: 2 buffers; kept in an int: a negative count
        {{"-nBuffers", "4294967298"},
         "parameter '-nBuffers' refuses '4294967298': a number beyond the unsigned range 0 to 4294967295",
         "while parsing parameter -nBuffers"},
        {{"-nBuffers", "3000000000"}, "-nBuffers 3000000000 does not fit: the range is 0 to 2147483647", "usage()"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.refusal);
        const RunResult r = run(sensorArgs(c.extra), "x");
        EXPECT_EQ(1, r.status);
        EXPECT_TRUE(r.contains(c.refusal)) << r.output;
        EXPECT_TRUE(r.contains(c.option)) << r.output;
        EXPECT_FALSE(r.contains("Frame 0 "));
        EXPECT_FALSE(r.contains("Sleeping"));
        EXPECT_FALSE(r.contains("unknown parameter"));  // the refusal is the one report of the value
    }
}

// A setup file or an option file that never ends is refused by name before
// any camera exists, and so is one with a line beyond the bound.
TEST_F(BrambleRun, EndlessOrOverlongFilesAreRefusedByName)
{
    placeSensor();
    const std::string longLine = (dir / "long.txt").string();
    std::ofstream(longLine) << "# options\n-nBuffers " << std::string(70000, '3') << "\n";
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> messages;
    } cases[] = {
        {{"-sensor", "OV5695_0", "-setupFile", "/dev/zero"},
         {"file '/dev/zero': line 1 is longer than 65536 bytes\n", "parsing parameter file '/dev/zero' failed\n"}},
        {{"-sensor", "OV5695_0", "-setupFile", longLine},
         {"file '" + longLine + "': line 2 is longer than 65536 bytes\n",
          "parsing parameter file '" + longLine + "' failed\n"}},
        {{"-sensor", "OV5695_0", "-setupFile", kSensorSetup, "-source", "/dev/zero"},
         {"file '/dev/zero': line 1 is longer than 65536 bytes\nfailed to source file '/dev/zero'\n",
          "unable to parse command line\n"}},
        {{"-source", longLine, "-sensor", "OV5695_0", "-setupFile", kSensorSetup},
         {"file '" + longLine + "': line 2 is longer than 65536 bytes\n", "unable to parse command line\n"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const RunResult r = run(c.args, "x");
        EXPECT_EQ(1, r.status);
        for (const std::string &message : c.messages)
            EXPECT_TRUE(r.contains(message)) << message << "\n" << r.output;
        EXPECT_FALSE(r.contains("Failed when creating camera"));
        EXPECT_FALSE(r.contains("Frame 0 "));
    }
}

TEST_F(BrambleRun, ArgumentsNoOptionUsesAreNamedAndTheRunGoesOn)
{
    placeSensor();
    RunResult r = run({"-sensor", "OV5695_0", "-sensormode", "1", "-setupFile", kSensorSetup}, ".x");
    EXPECT_EQ(0, r.status) << r.output;
    EXPECT_EQ(1u, r.count("'-sensormode' unknown parameter"));
    EXPECT_EQ(1u, r.count("'1' unknown parameter"));
    EXPECT_EQ(2u, r.count("unknown parameter"));
    EXPECT_EQ(1u, r.count("2 command-line argument(s) used by no option, ignored"));
    EXPECT_TRUE(r.contains("(mode 0 - mosaic")) << "the default mode is used";
    EXPECT_TRUE(r.contains("Exiting loop"));

    r = run(sensorArgs({"-delay", "5", "-sensorFlip", "0", "1"}), "x");
    EXPECT_EQ(0, r.status) << r.output;
    EXPECT_FALSE(r.contains("unknown parameter")) << r.output;
    EXPECT_FALSE(r.contains("used by no option"));
}

TEST_F(BrambleRun, APoolTheDriverCannotHoldEndsInAnErrorAndTheDisplayImage)
{
    placeSensor();
    display->setPngPath((dir / "display.png").string());
    const RunResult r = run(sensorArgs({"-nBuffers", "20000"}), "x");
    EXPECT_EQ(1, r.status);
    EXPECT_TRUE(r.contains("Failed to add buffer")) << r.output;
    EXPECT_TRUE(r.contains("Failed to start the capture!")) << r.output;
    // the frame shown at start-up is kept when the display closes
    EXPECT_GT(std::filesystem::file_size(dir / "display.png"), 0u);
    EXPECT_FALSE(r.contains("simboard: ")) << r.output;
}

TEST_F(BrambleRun, StopStartWithOneBufferGoesOn)
{
    placeSensor();
    const RunResult r = run(sensorArgs({"-nBuffers", "1"}), ".@..x");
    EXPECT_EQ(0, r.status) << r.output;
    EXPECT_EQ(1u, r.count("X*X*X Stop/start cycle after enqueue, shouldn't hang X*X*X"));
    EXPECT_TRUE(r.contains("Frame 4 - ")) << r.output;
    EXPECT_FALSE(r.contains("Failed to retrieve processed shot from pipeline."));
    EXPECT_TRUE(r.contains("Exiting loop"));
}

TEST_F(BrambleRun, SaveAllLeavesOutADataExtractionWithoutPoint)
{
    // A legal setup file: point 3 is no extraction, yet a Bayer format is named.
    std::ifstream in(kSensorSetup);
    std::stringstream text;
    text << in.rdbuf();
    std::string setup = text.str();
    const std::string point = "OUT_DE_POINT 1";
    ASSERT_NE(std::string::npos, setup.find(point));
    setup.replace(setup.find(point), point.size(), "OUT_DE_POINT 3");
    std::ofstream(dir / "setup.txt") << setup;

    placeSensor();
    const RunResult r =
        run({"-sensor", "OV5695_0", "-sensorMode", "1", "-setupFile", (dir / "setup.txt").string()}, ".a...x");
    EXPECT_EQ(0, r.status) << r.output;
    EXPECT_EQ(1u, r.count("gives data extraction RGGB10 no point to take it from: not saved"))
        << r.output;
    EXPECT_FALSE(r.contains("Data extraction enabled but"));
    EXPECT_TRUE(r.contains("re-starting capture to enable alternative output"));
    EXPECT_EQ(1u, filesStartingWith("encoder0-")) << r.output;
    EXPECT_TRUE(exists("VezaraSetupArgs_0.txt"));
    EXPECT_FALSE(exists("dataExtraction0.jux"));
    EXPECT_TRUE(r.contains("Exiting loop"));
}

TEST_F(BrambleRun, ExposureTargetKeysHoldTheTargetInItsRange)
{
    placeSensor();
    const struct {
        char key, back;
        const char *limit, *beyond, *stepBack;
    } cases[] = {
        {'-', '+', "/-1.000000 (flicker", "/-1.050000 (flicker", "/-0.950000 (flicker"},
        {'+', '-', "/1.000000 (flicker", "/1.050000 (flicker", "/0.950000 (flicker"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.limit);
        // 22 steps of 0.05 from the setup file's target 0 go past the bound
        std::string keys(22, c.key);
        keys += c.back;
        keys += 'x';
        const RunResult r = run(sensorArgs({}), keys);
        EXPECT_EQ(0, r.status) << r.output;
        EXPECT_EQ(3u, r.count(c.limit)) << r.output;  // the 20th, 21st and 22nd press
        EXPECT_FALSE(r.contains(c.beyond));
        EXPECT_EQ(3u, r.count(c.stepBack)) << "on the way, then one step back from the bound";
    }
}

}  // namespace
}  // namespace brambletest
