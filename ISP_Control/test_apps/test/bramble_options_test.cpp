// Bramble's options as a user meets them: each option's effect on the run
// (the control loops built, what the sensor and the data generator are
// given, the sleeps, the buffers), the start-up's choice of white balance by
// hardware version, and the per-frame printouts they show up in.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <regex>

#include "bramble_test_support.h"
#include "DemoConfiguration.h"
#include "vova/ControlAWB.h"
#include "vova/ParameterFileParser.h"
#include "vova/ParameterList.h"

namespace brambletest {
namespace {

const std::vector<std::string> kMode2 = {"-sensor", "OV5695_0", "-sensorMode", "2", "-setupFile", kSensorSetup};

std::vector<std::string> mode2With(std::vector<std::string> more)
{
    more.insert(more.begin(), kMode2.begin(), kMode2.end());
    return more;
}

bool matches(const std::string &output, const std::string &pattern)
{
    return std::regex_search(output, std::regex(pattern));
}

// The value of `key` in a setup file the run saved.
std::string savedValue(const std::filesystem::path &file, const std::string &key)
{
    const VOVA::ParameterList list = VOVA::ParameterFileParser::parseFile(file.string());
    const VOVA::Parameter *p = list.getParameter(key);
    return p && p->size() > 0 ? p->getString(0) : "<absent>";
}

TEST(BrambleOptions, ChooseAwbTakesEachAlgorithmOneToFive)
{
    const struct {
        const char *value;
        int result;
        awbControlAlgorithm_t algorithm;
    } cases[] = {
        {"1", 0, WB_AC},       {"2", 0, WB_WP},       {"3", 0, WB_HLW},      {"4", 0, WB_COMBINED},
        {"5", 0, WB_PLANCKIAN}, {"0", 1, WB_PLANCKIAN}, {"6", 1, WB_PLANCKIAN},
    };
    for (const auto &c : cases) {
        DemoConfiguration config;
        const Parsed p = parse(config, {"-setupFile", "s.txt", "-sensor", "OV5695_0", "-chooseAWB", c.value});
        const std::string log = p.log();
        EXPECT_EQ(c.result, p.result) << c.value;
        EXPECT_EQ(c.algorithm, config.AWBAlgorithm) << c.value;
        EXPECT_EQ(c.result == 1, log.find("Unsupported AWB algorithm " + std::string(c.value) + " given\n") !=
                                     std::string::npos)
            << c.value;
    }
}

// Each integer option takes its whole range, up to the end of its own type
// or of the narrower field the value is kept in, and refuses the first value
// beyond, naming the option, with the field left as it was.
// (The fixture's board has instant sleeps: the usage printed after each
// refusal lists the sensors' modes.)
TEST_F(BrambleRun, IntegerOptionsTakeTheirRangeAndRefuseBeyond)
{
    using Field = long long (*)(const DemoConfiguration &);
    const Field buffers = [](const DemoConfiguration &c) -> long long { return c.nBuffers; };
    const Field mode = [](const DemoConfiguration &c) -> long long { return c.sensorMode; };
    const Field exposure = [](const DemoConfiguration &c) -> long long { return c.uiSensorInitExposure; };
    const Field delay = [](const DemoConfiguration &c) -> long long { return c.ulEnqueueDelay; };
    const Field gasket = [](const DemoConfiguration &c) -> long long { return c.gasket; };
    const Field hBlanking = [](const DemoConfiguration &c) -> long long { return c.aBlanking[0]; };
    const Field vBlanking = [](const DemoConfiguration &c) -> long long { return c.aBlanking[1]; };
    const Field stretch = [](const DemoConfiguration &c) -> long long { return c.WBTSTemporalStretch; };
    const Field awb = [](const DemoConfiguration &c) -> long long { return c.AWBAlgorithm; };
    const Field wbts = [](const DemoConfiguration &c) -> long long { return c.WBTSEnabled; };
    const std::string beyondUnsigned = "': a number beyond the unsigned range 0 to 4294967295\n";
    const std::string beyondInt = "': a number beyond the int range -2147483648 to 2147483647\n";
    const struct {
        std::vector<std::string> option;
        Field field;
        long long value;    // the field after parsing
        const char *error;  // empty when the option is taken
    } cases[] = {
        {{"-nBuffers", "2147483647"}, buffers, 2147483647, ""},
        {{"-nBuffers", "2147483648"}, buffers, 2, "-nBuffers 2147483648 does not fit: the range is 0 to 2147483647\n"},
        {{"-nBuffers", "3000000000"}, buffers, 2, "-nBuffers 3000000000 does not fit: the range is 0 to 2147483647\n"},
        {{"-nBuffers", "4294967298"}, buffers, 2, "parameter '-nBuffers' refuses '4294967298"},
        {{"-sensorMode", "65535"}, mode, 65535, ""},
        {{"-sensorMode", "65536"}, mode, 0, "-sensorMode 65536 does not fit: the range is 0 to 65535\n"},
        {{"-sensorMode", "-1"}, mode, 0, "-sensorMode -1 does not fit: the range is 0 to 65535\n"},
        {{"-sensorMode", "4294967297"}, mode, 0, "parameter '-sensorMode' refuses '4294967297"},
        {{"-sensorExposure", "4294967295"}, exposure, 4294967295, ""},
        {{"-sensorExposure", "4294967296"}, exposure, 0, "parameter '-sensorExposure' refuses '4294967296"},
        {{"-delay", "4294967295"}, delay, 4294967295, ""},
        {{"-delay", "4294967296"}, delay, 0, "parameter '-delay' refuses '4294967296"},
        {{"-DG_gasket", "255"}, gasket, 255, ""},
        {{"-DG_gasket", "256"}, gasket, 0, "-DG_gasket 256 does not fit: the range is 0 to 255\n"},
        {{"-DG_blanking", "65535", "65535"}, vBlanking, 65535, ""},
        {{"-DG_blanking", "65536", "20"}, hBlanking, 100, "-DG_blanking 65536 does not fit: the range is 0 to 65535\n"},
        {{"-DG_blanking", "70000", "100000"}, vBlanking, 14, "-DG_blanking 70000 does not fit"},
        {{"-DG_blanking", "20", "65536"}, hBlanking, 100, "-DG_blanking 65536 does not fit: the range is 0 to 65535\n"},
        {{"-wbtsTemporalStretch", "2147483647"}, stretch, 5000, ""},
        {{"-wbtsTemporalStretch", "2147483648"}, stretch, 200, "parameter '-wbtsTemporalStretch' refuses '2147483648"},
        {{"-wbtsTemporalStretch", "-2147483649"}, stretch, 200, "parameter '-wbtsTemporalStretch' refuses '-2147483649"},
        {{"-chooseAWB", "4294967297"}, awb, WB_PLANCKIAN, "parameter '-chooseAWB' refuses '4294967297"},
        {{"-useWBTS", "4294967297"}, wbts, 0, "parameter '-useWBTS' refuses '4294967297"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.option));
        std::vector<std::string> args = {"-setupFile", "s.txt", "-sensor", "OV5695_0"};
        args.insert(args.end(), c.option.begin(), c.option.end());
        DemoConfiguration config;
        const Parsed p = parse(config, args);
        const std::string log = p.log();
        EXPECT_EQ(c.field(config), c.value);
        if (*c.error == '\0') {
            EXPECT_EQ(0, p.result) << log;
            EXPECT_EQ(std::string::npos, log.find("does not fit")) << log;
            EXPECT_EQ(std::string::npos, log.find("refuses")) << log;
            continue;
        }
        EXPECT_EQ(1, p.result);
        EXPECT_NE(std::string::npos, log.find(c.error)) << log;
        if (std::strncmp(c.error, "parameter", 9) == 0) {
            const std::string option = c.option[0];
            const bool isInt = option == "-sensorMode" || option == "-wbtsTemporalStretch" || option == "-useWBTS";
            EXPECT_NE(std::string::npos, log.find(c.error + (isInt ? beyondInt : beyondUnsigned))) << log;
            EXPECT_NE(std::string::npos, log.find("while parsing parameter " + option + "\n")) << log;
        }
    }
}

// The Planckian control from hardware 2.6 on, whatever the major version
// above 2; before it the combined estimator with a notice.
TEST(BrambleOptions, WhiteBalanceControlByHardwareVersion)
{
    const struct {
        QOV_UINT8 major, minor;
        const char *name;
        awbControlAlgorithm_t algorithm;
    } cases[] = {{1, 7, "VOVA_CTRL_AWB-PID", WB_COMBINED}, {2, 5, "VOVA_CTRL_AWB-PID", WB_COMBINED},
                 {2, 6, "VOVA_CTRL_AWB", WB_PLANCKIAN},    {3, 0, "VOVA_CTRL_AWB", WB_PLANCKIAN},
                 {3, 5, "VOVA_CTRL_AWB", WB_PLANCKIAN}};
    for (const auto &c : cases) {
        DemoConfiguration config;
        testing::internal::CaptureStdout();
        std::unique_ptr<VOVA::ControlAWB> awb(config.instantiateControlAwb(c.major, c.minor));
        const std::string out = testing::internal::GetCapturedStdout();
        ASSERT_TRUE(awb);
        EXPECT_EQ(std::string(c.name), awb->getLoggingName()) << int(c.major) << "." << int(c.minor);
        EXPECT_EQ(c.algorithm, config.AWBAlgorithm);
        EXPECT_EQ(c.algorithm == WB_COMBINED, out.find("NOTICE: HW version earlier than 2.6") != std::string::npos);
    }
    DemoConfiguration config;
    config.AWBAlgorithm = WB_HLW;
    std::unique_ptr<VOVA::ControlAWB> awb(config.instantiateControlAwb(2, 5));
    EXPECT_EQ("VOVA_CTRL_AWB-PID", std::string(awb->getLoggingName()));
    EXPECT_EQ(WB_HLW, config.AWBAlgorithm);
}

// The smoothing figures are held within the Planckian control's range, with
// a warning naming the bound; the bounds themselves pass unchanged.
TEST(BrambleOptions, SmoothingFiguresClipToTheirBounds)
{
    const struct {
        const char *option, *value;
        double kept;
        const char *warning;
    } cases[] = {
        {"-wbtsTemporalStretch", "199", 200, "-wbtsTemporalStretch below minimum. Clipping\n"},
        {"-wbtsTemporalStretch", "200", 200, nullptr},
        {"-wbtsTemporalStretch", "5000", 5000, nullptr},
        {"-wbtsTemporalStretch", "5001", 5000, "-wbtsTemporalStretch above max. Clipping\n"},
        {"-wbtsWeightsBase", "1.001", 1.001, nullptr},
        {"-wbtsWeightsBase", "10", 10, nullptr},
        {"-wbtsWeightsBase", "12", 10, "-wbtsWeightsBase parameter > 10.000000. Clipping\n"},
    };
    for (const auto &c : cases) {
        DemoConfiguration config;
        const Parsed p = parse(config, {"-setupFile", "s.txt", "-sensor", "OV5695_0", c.option, c.value});
        EXPECT_EQ(0, p.result);
        const std::string log = p.log();
        const bool stretch = std::string(c.option) == "-wbtsTemporalStretch";
        EXPECT_FLOAT_EQ(static_cast<float>(c.kept), stretch ? static_cast<float>(config.WBTSTemporalStretch)
                                                            : config.WBTSWeightsBase)
            << c.option << " " << c.value;
        EXPECT_EQ(c.warning != nullptr, log.find("Clipping") != std::string::npos) << c.option << " " << c.value;
        if (c.warning) {
            EXPECT_NE(std::string::npos, log.find(c.warning)) << log;
        }
    }
}

// The white-balance line names the control the option chose and, for the
// estimators, its correction mode.
TEST_F(BrambleRun, ChooseAwbRunsTheChosenWhiteBalance)
{
    const struct {
        const char *value;
        const char *line;
    } cases[] = {
        {"1", "AWB_PID 1: converged=[01] mode Average Colour target temp 6500K - measured temp [0-9]+K - "
              "correction temp [0-9]+K\n"},
        {"2", "AWB_PID 1: converged=[01] mode White Patch target temp "},
        {"3", "AWB_PID 1: converged=[01] mode High Luminance White target temp "},
        {"4", "AWB_PID 1: converged=[01] mode Combined target temp "},
        {"5", "AWB_Planckian 1: measured temp [0-9]+K\n"},
    };
    for (const auto &c : cases) {
        resetBoard();
        placeSensor();
        const RunResult r = run(mode2With({"-chooseAWB", c.value}), ".x");
        ASSERT_EQ(0, r.status) << r.output;
        EXPECT_TRUE(matches(r.output, c.line)) << c.value << "\n" << r.output;
        EXPECT_EQ(2u, r.count("AWB_")) << c.value;
        EXPECT_FALSE(r.contains("NOTICE: HW version")) << c.value;
    }
}

// Hardware before 2.6 has no Planckian white balance: the default falls back
// to the combined estimator, with a notice.
TEST_F(BrambleRun, PlanckianWhiteBalanceFromHardwareTwoSixOn)
{
    const struct {
        uint8_t major, minor;
        bool planckian;
    } cases[] = {{2, 5, false}, {2, 6, true}, {2, 7, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.major) + "." + std::to_string(c.minor));
        resetBoard();
        placeSensor();
        simboard::IspDriver::installed()->setProfile(simboard::IspProfile::version(c.major, c.minor));
        const RunResult r = run(kMode2, "x");
        ASSERT_EQ(0, r.status) << r.output;
        EXPECT_EQ(c.planckian ? 0u : 1u,
                  r.count("NOTICE: HW version earlier than 2.6: Overriding AWB Planckian with AWB PID/COMBINED\n"));
        EXPECT_EQ(c.planckian, r.contains("AWB_Planckian 1: measured temp ")) << r.output;
        EXPECT_EQ(!c.planckian, r.contains("AWB_PID 1: converged=0 mode Combined target temp ")) << r.output;
    }
}

// Without an exposure control nothing moves the sensor: the first frame
// shows the initial exposure and any gain above 1.
TEST_F(BrambleRun, InitialGainAboveOneAndExposureReachTheSensor)
{
    const struct {
        const char *gain;
        const char *shown;
    } cases[] = {{"0.5", "gain 1.00\n"}, {"1.25", "gain 1.25\n"}, {"2", "gain 2.00\n"}, {"8", "gain 8.00\n"}};
    for (const auto &c : cases) {
        resetBoard();
        placeSensor();
        const RunResult r = run(mode2With({"-disableAE", "-sensorGain", c.gain, "-sensorExposure", "10000"}), "x");
        ASSERT_EQ(0, r.status) << r.output;
        EXPECT_TRUE(r.contains(std::string("Sensor: exposure 10.0000ms - ") + c.shown)) << c.gain << "\n" << r.output;
        EXPECT_FALSE(r.contains("AE 1:"));
    }
}

// The estimate window is 1.5 times the sensor's frame rate, rounded down:
// the status line shows it from the first frame.
TEST_F(BrambleRun, FrameRateWindowIsOneAndAHalfTimesTheFrameRate)
{
    const struct {
        const char *chip;
        const char *sensor;
        const char *mode;
        const char *status;
    } cases[] = {
        {"OV5695", "OV5695_0", "2", "720x1600 @30.04 (mode 2 - mosaic 4) - estimated FPS 0.00 (45 frames avg. with 2 buffers)\n"},
        {"AR330", "AR330", "13", "1280x720 @51.87 (mode 13 - mosaic 2) - estimated FPS 0.00 (77 frames avg. with 2 buffers)\n"},
        {"AR330", "AR330", "12", "1920x1088 @5.63 (mode 12 - mosaic 2) - estimated FPS 0.00 (8 frames avg. with 2 buffers)\n"},
    };
    for (const auto &c : cases) {
        resetBoard();
        simboard::SensorBoard::instance().place(0, *simboard::chipModelByName(c.chip));
        const RunResult r = run({"-sensor", c.sensor, "-sensorMode", c.mode, "-setupFile", kSensorSetup}, "x");
        ASSERT_EQ(0, r.status) << r.output;
        EXPECT_TRUE(r.contains(std::string("Frame 0 - sensor ") + c.status)) << r.output;
    }
}

// With a window of 8 frames, the first estimate and the gasket and monitor
// block come with frame 7 (and then 15, ...), not before.
TEST_F(BrambleRun, FirstEstimateAndGasketBlockAtTheEndOfTheWindow)
{
    simboard::SensorBoard::instance().place(0, *simboard::chipModelByName("AR330"));
    const RunResult r =
        run({"-sensor", "AR330", "-sensorMode", "12", "-setupFile", kSensorSetup, "-nBuffers", "3"}, "........x");
    ASSERT_EQ(0, r.status) << r.output;
    for (int n = 0; n < 7; ++n)
        EXPECT_TRUE(r.contains("Frame " + std::to_string(n) + " - sensor 1920x1088 @5.63 (mode 12 - mosaic 2) - "
                               "estimated FPS 0.00 (8 frames avg. with 3 buffers)\n"))
            << n;
    EXPECT_FALSE(r.contains("Frame 7 - sensor 1920x1088 @5.63 (mode 12 - mosaic 2) - estimated FPS 0.00 "));
    EXPECT_TRUE(matches(r.output, "Frame 7 - sensor [^\n]* - estimated FPS [0-9.]+ \\(8 frames avg. with 3 buffers"));
    // the parallel gasket of the AR330 (imager 2): one line, once
    EXPECT_EQ(1u, r.count("\nGasket 2 is enabled (Parallel) - frame count "));
    EXPECT_EQ(0u, r.count("Gasket MIPI"));
    const size_t gasket = r.output.find("\nGasket 2 ");
    EXPECT_LT(r.output.find("Frame 7 - "), gasket);
    EXPECT_LT(gasket, r.output.find("Frame 8 - "));
    EXPECT_EQ(8u, r.count("\nRTM Core "));
}

// The per-frame block: every line in order, the loops' state as the
// configuration leaves it, and the tick difference from the previous frame.
TEST_F(BrambleRun, PerFrameBlockListsEveryLoopInOrder)
{
    placeSensor();
    const RunResult r = run(kMode2, ".x");
    ASSERT_EQ(0, r.status) << r.output;
    const char *lines[] = {
        "Frame 1 - sensor 720x1600 @30.04 (mode 2 - mosaic 4) - ",
        "\nTS: LLUp ",
        "\nDifference from last timestamps is ",
        "\nSensor: exposure ",
        "\nAE 1: Metered/target brightness ",
        "(flicker OFF) underexposed=0\n",
        "\nAF 1: state AF_IDLE current distance 0mm\n",
        "\nAWB_Planckian 1: measured temp ",
        "\nTNMC 0: adaptive 0 local 0\n",
        "\nDNSC 0\n",
        "\nLBC 0: correction 0 measured ",
        "\nDPF: detect 0\n",
        "\nLSH: matrix 0 from matrixId '0' temp 0K\n",
    };
    size_t at = 0;
    for (const char *line : lines) {
        at = r.output.find(line, at);
        ASSERT_NE(std::string::npos, at) << line << "\n" << r.output;
    }
    EXPECT_EQ(2u, r.count("AF 1: state AF_IDLE current distance 0mm\n"));
    EXPECT_TRUE(matches(r.output, "AE 1: Metered/target brightness -?[0-9]+\\.[0-9]{6}/0\\.000000 \\(flicker OFF\\)"));
    EXPECT_TRUE(r.contains("Using config file " + kSensorSetup + "\n"));
    // the first frame has no previous timestamp
    EXPECT_EQ(1u, r.count("Difference from last timestamps is "));

    // the difference is between the two frames' StartIn stamps, at the ISP's clock
    std::smatch m;
    const std::regex stamps("StartIn ([0-9]+) - EndIn ([0-9]+) - StartOut ([0-9]+) - EndEncOut ([0-9]+) - EndDispOut "
                            "([0-9]+) - Interrupt ([0-9]+)\n");
    std::vector<unsigned long> starts;
    for (auto it = std::sregex_iterator(r.output.begin(), r.output.end(), stamps); it != std::sregex_iterator(); ++it) {
        const std::smatch &s = *it;
        starts.push_back(std::stoul(s[1]));
        // a frame is read in, then written out, then its interrupt served
        EXPECT_LT(std::stoul(s[1]), std::stoul(s[3]));
        EXPECT_LT(std::stoul(s[3]), std::stoul(s[2]));
        EXPECT_LT(std::stoul(s[2]), std::stoul(s[4]));
        EXPECT_LT(std::stoul(s[5]), std::stoul(s[6]));
    }
    ASSERT_EQ(2u, starts.size());
    const unsigned long ticks = starts[1] - starts[0];
    char expected[160];
    std::snprintf(expected, sizeof expected, "Difference from last timestamps is %lu tick (FPS ~%.2f with 400.00Mhz clock)\n",
                  ticks, 400e6 / ticks);
    EXPECT_TRUE(r.contains(expected)) << expected << "\n" << r.output;
}

// The keys' toggles show in the loop lines, each value in its own place.
TEST_F(BrambleRun, LoopLinesShowEachToggleInItsPlace)
{
    placeSensor();
    const RunResult r = run(mode2With({"-chooseAWB", "4"}), "ut.wx");
    ASSERT_EQ(0, r.status) << r.output;
    EXPECT_TRUE(r.contains("TNMC 1: adaptive 0 local 0\n")) << r.output;
    EXPECT_TRUE(r.contains("TNMC 1: adaptive 1 local 0\n"));
    EXPECT_TRUE(r.contains("AWB_PID 0: converged=0 mode Combined target temp 6500K"));
}

// Each "-disable..." option leaves its loop out, and its line with it.
TEST_F(BrambleRun, DisableOptionsLeaveTheirLoopOut)
{
    const char *lines[] = {"\nAE 1: ", "\nAF 1: ", "\nAWB_Planckian 1: ", "\nTNMC 0: ", "\nDNSC 0\n", "\nLBC 0: ",
                           "\nLSH: matrix "};
    const struct {
        const char *option;
        std::vector<const char *> gone;
    } cases[] = {
        {"-disableAE", {lines[0]}},           {"-disableAF", {lines[1]}},
        {"-disableAWB", {lines[2], lines[6]}}, {"-disableTNMC", {lines[3]}},
        {"-disableDNS", {lines[4]}},          {"-disableLBC", {lines[5]}},
    };
    for (const auto &c : cases) {
        resetBoard();
        placeSensor();
        const RunResult r = run(mode2With({c.option}), "x");
        ASSERT_EQ(0, r.status) << c.option << "\n" << r.output;
        for (const char *line : lines) {
            const bool gone = std::find(c.gone.begin(), c.gone.end(), line) != c.gone.end();
            EXPECT_NE(gone, r.contains(line)) << c.option << " " << line;
        }
        EXPECT_EQ(std::string(c.option) == "-disableAWB",
                  r.contains("ignores creation of Control LSH as AWB is not present\n"))
            << c.option;
    }
}

// The smoothing options win over the setup file; without them the setup
// file's values stay. Both show in the parameters a save writes.
TEST_F(BrambleRun, SmoothingOptionsOverrideTheSetupFile)
{
    std::ofstream(dir / "wbts.txt") << std::ifstream(kSensorSetup).rdbuf()
                                    << "\nWBT_USE_SMOOTHING 1\nWBT_TEMPORAL_STRETCH 700\nWBT_WEIGHT_BASE 4\n"
                                       "WBT_USE_FLASH_FILTERING 1\n";
    const std::string setup = (dir / "wbts.txt").string();
    const struct {
        std::vector<std::string> options;
        const char *smoothing, *stretch, *base, *flash;
    } cases[] = {
        {{}, "1", "700", "4", "1"},
        {{"-useWBTS", "0", "-wbtsTemporalStretch", "1000", "-wbtsWeightsBase", "3.5", "-featuresWBTS", "2"},
         "0", "1000", "3.5", "0"},
        {{"-wbtsTemporalStretch", "250"}, "1", "250", "4", "1"},
        {{"-featuresWBTS", "1", "-wbtsWeightsBase", "9"}, "1", "700", "9", "1"},
    };
    for (const auto &c : cases) {
        resetBoard();
        placeSensor();
        std::filesystem::remove(dir / "VezaraSetupArgs_0.txt");
        std::vector<std::string> args = {"-sensor", "OV5695_0", "-sensorMode", "2", "-setupFile", setup};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const RunResult r = run(args, "sx");
        ASSERT_EQ(0, r.status) << r.output;
        const std::filesystem::path saved = dir / "VezaraSetupArgs_0.txt";
        ASSERT_TRUE(exists("VezaraSetupArgs_0.txt")) << r.output;
        const std::string what = c.options.empty() ? "no option" : c.options[0];
        EXPECT_EQ(c.smoothing, savedValue(saved, "WBT_USE_SMOOTHING")) << what;
        EXPECT_EQ(c.stretch, savedValue(saved, "WBT_TEMPORAL_STRETCH")) << what;
        EXPECT_EQ(std::stod(c.base), std::stod(savedValue(saved, "WBT_WEIGHT_BASE"))) << what;
        EXPECT_EQ(c.flash, savedValue(saved, "WBT_USE_FLASH_FILTERING")) << what;
    }
}

// The encoder statistics go with an output that was written: the frames
// that wait for the encoder to come on save nothing.
TEST_F(BrambleRun, EncoderStatisticsSavedOnlyWithAWrittenOutput)
{
    placeSensor();
    std::ofstream(dir / "ens.txt") << std::ifstream(kSensorSetup).rdbuf() << "\nENS_ENABLE 1\n";
    const RunResult r = run({"-sensor", "OV5695_0", "-sensorMode", "2", "-setupFile", (dir / "ens.txt").string()},
                            "d...x");
    ASSERT_EQ(0, r.status) << r.output;
    EXPECT_EQ(1u, r.count("saving YUV output to encoder0-")) << r.output;
    EXPECT_EQ(1u, r.count("saving ENS output to encoder_stats0.dat\n")) << r.output;
    EXPECT_LT(r.output.find("saving YUV output"), r.output.find("saving ENS output"));
    EXPECT_TRUE(exists("encoder_stats0.dat"));
    EXPECT_EQ(1u, filesStartingWith("encoder_stats"));
    EXPECT_EQ(2u, filesStartingWith("statistics"));
}

// The data generator plays its file into the chosen gasket with the chosen
// blanking: a frame lasts (640 + 200) x (32 + 20) ticks.
TEST_F(BrambleRun, DataGeneratorTakesItsGasketAndBlanking)
{
    const RunResult r =
        run({"-sensor", "IIF Datagen", "-setupFile", kDgSetup, "-DG_inputJUX", kJux, "-disableAWB", "-DG_gasket", "1",
             "-DG_blanking", "200", "20"},
            ".@.x");
    ASSERT_EQ(0, r.status) << r.output;
    EXPECT_TRUE(r.contains("Using sensor IIF Datagen\n"));
    EXPECT_TRUE(r.contains("Frame 0 - sensor 640x32 @30.00 (mode 0 - mosaic 1) - "));
    EXPECT_TRUE(r.contains("Difference from last timestamps is 43680 tick (FPS ~9157.51 with 400.00Mhz clock)\n"))
        << r.output;
    EXPECT_TRUE(r.contains("\nGasket 1 is disabled\n"));
}

// "-sensorFlip" reaches the chip's read-mode register (flips in its top
// two bits); one value flips horizontally only.
TEST_F(BrambleRun, SensorFlipReachesTheChip)
{
    const struct {
        std::vector<std::string> flip;
        unsigned bits;
    } cases[] = {{{}, 0}, {{"1", "0"}, 1}, {{"0", "1"}, 2}, {{"1", "1"}, 3}, {{"1"}, 1}};
    for (const auto &c : cases) {
        resetBoard();
        auto chip = simboard::SensorBoard::instance().place(0, *simboard::chipModelByName("AR330"));
        std::vector<std::string> args = {"-sensor", "AR330", "-sensorMode", "12", "-setupFile", kSensorSetup};
        if (!c.flip.empty()) {
            args.push_back("-sensorFlip");
            args.insert(args.end(), c.flip.begin(), c.flip.end());
        }
        const RunResult r = run(args, "x");
        ASSERT_EQ(0, r.status) << r.output;
        const std::vector<uint8_t> readMode = chip->writesTo(0x3040);
        ASSERT_FALSE(readMode.empty());
        EXPECT_EQ(c.bits, static_cast<unsigned>(readMode.back() >> 6)) << c.flip.size();
    }
}

// "-nBuffers" sets the pool of each capture; "-delay" sleeps before every
// enqueue and wins over the random bounds.
TEST_F(BrambleRun, BuffersAndFixedDelay)
{
    placeSensor();
    const RunResult r =
        run(mode2With({"-nBuffers", "3", "-delay", "1000", "-randomDelayLow", "10", "-randomDelayHigh", "20"}), "..x");
    ASSERT_EQ(0, r.status) << r.output;
    EXPECT_EQ(3u, r.count("Sleeping "));
    EXPECT_EQ(3u, r.count("Sleeping 1000\n"));
    EXPECT_EQ(3u, r.count(" frames avg. with 3 buffers)\n"));
    EXPECT_EQ(3u, simboard::IspDriver::installed()->requestCount(CI_CONFIG_ADDPOOL));
}

// The random sleeps follow the seed given: low + random() % (high - low).
TEST_F(BrambleRun, RandomSeedGivesItsSequenceOfSleeps)
{
    placeSensor();
    const RunResult r =
        run(mode2With({"-randomDelayLow", "100", "-randomDelayHigh", "1100", "-randomSeed", "12345"}), "..x");
    ASSERT_EQ(0, r.status) << r.output;
    srandom(12345);
    std::string expected;
    for (int n = 0; n < 3; ++n)
        expected += "Sleeping " + std::to_string(100 + random() % 1000) + "\n";
    std::string sleeps;
    for (size_t at = r.output.find("Sleeping "); at != std::string::npos; at = r.output.find("Sleeping ", at + 1))
        sleeps += r.output.substr(at, r.output.find('\n', at) + 1 - at);
    EXPECT_EQ(expected, sleeps);
}

// "-updateASAP" makes the camera's pipeline updates take effect at once.
TEST_F(BrambleRun, UpdateAsapReachesThePipelineUpdates)
{
    for (bool asap : {false, true}) {
        resetBoard();
        placeSensor();
        const RunResult r = run(asap ? mode2With({"-updateASAP"}) : kMode2, ".x");
        ASSERT_EQ(0, r.status) << r.output;
        EXPECT_EQ(asap ? 1u : 0u, r.count("Enabling update ASAP\n"));
        size_t updates = 0, immediate = 0;
        for (const simboard::IspRequest &request : simboard::IspDriver::installed()->requests()) {
            if (request.index != CI_CONFIG_UPDATE || request.record.size() != sizeof(CI_PIPE_PARAM))
                continue;
            ++updates;
            immediate += request.record[offsetof(CI_PIPE_PARAM, bUpdateASAP)] != 0;
        }
        EXPECT_GT(updates, 1u);
        if (asap)
            EXPECT_GT(immediate, 0u);
        else
            EXPECT_EQ(0u, immediate);
    }
}


// Each frame starts with the local time: day, month from 0, hours, minutes
// and seconds.
TEST_F(BrambleRun, TimeLineShowsTheLocalTime)
{
    placeSensor();
    const time_t before = time(nullptr);
    const RunResult r = run(kMode2, "x");
    const time_t after = time(nullptr);
    ASSERT_EQ(0, r.status) << r.output;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(r.output, m, std::regex("\n\\[([0-9]+)/([0-9]+) ([0-9]{2}):([0-9]{2})\\.([0-9]{2})\\]\nFrame 0 ")))
        << r.output;
    tm shown{};
    shown.tm_mday = std::stoi(m[1]);
    shown.tm_mon = std::stoi(m[2]);
    shown.tm_hour = std::stoi(m[3]);
    shown.tm_min = std::stoi(m[4]);
    shown.tm_sec = std::stoi(m[5]);
    bool within = false;
    for (time_t t = before; t <= after; ++t) {
        tm local{};
        localtime_r(&t, &local);
        within = within || (local.tm_mday == shown.tm_mday && local.tm_mon == shown.tm_mon &&
                            local.tm_hour == shown.tm_hour && local.tm_min == shown.tm_min &&
                            local.tm_sec == shown.tm_sec);
    }
    EXPECT_TRUE(within) << m[0];
}


// Each failing step of the start-up and of the loop ends the run with its
// own message.
TEST_F(BrambleRun, FailingStepsEndTheRunWithTheirMessage)
{
    const struct {
        CI_eIOCTL request;
        unsigned skip;
        const char *keys;
        std::vector<const char *> messages;
    } cases[] = {
        {CI_PIPELINE_REGISTER, 0, "x", {"Failed while programming pipeline.\n"}},
        {CI_CONFIG_ADDPOOL, 0, "x", {"allocating buffers failed.\n", "Failed to start the capture!\n"}},
        {CI_CAPTURE_START, 0, "x", {"starting capture failed.\n", "Failed to start the capture!\n"}},
        {CI_CAPTURE_TRIGGER, 0, "x", {"pre-enqueuing shot 1/1 failed.\n", "Failed to start the capture!\n"}},
        {CI_CAPTURE_TRIGGER, 1, "x", {"Failed to enqueue a shot.\n"}},
        {CI_CAPTURE_RELEASE, 0, "x", {"Failed to release shot.\n"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.messages[0]);
        resetBoard();
        placeSensor();
        simboard::IspDriver::installed()->planFault(c.request, -EIO, 1, c.skip);
        const RunResult r = run(kMode2, c.keys);
        EXPECT_EQ(1, r.status) << r.output;
        for (const char *message : c.messages)
            EXPECT_TRUE(r.contains(message)) << message << "\n" << r.output;
    }
}

// The data generator needs hardware that has one.
TEST_F(BrambleRun, DataGeneratorOnHardwareWithoutOne)
{
    simboard::IspDriver::installed()->setProfile(simboard::IspProfile::noFunctionalities());
    const RunResult r = run({"-sensor", "IIF", "-setupFile", kDgSetup, "-DG_inputJUX", kJux, "-disableAWB"}, "x");
    EXPECT_EQ(1, r.status);
    EXPECT_TRUE(r.contains("trying to use internal data generator but it is not supported by HW!\n")) << r.output;
    EXPECT_TRUE(r.contains("Failed when creating camera\n"));
}


// With defect detection on, the DPF line carries the module's threshold and
// weight.
TEST_F(BrambleRun, DefectLineShowsThresholdAndWeight)
{
    placeSensor();
    std::ofstream(dir / "dpf.txt") << "OUT_DISP RGB888_32\nDPF_DETECT_ENABLE 1\nDPF_THRESHOLD 12\nDPF_WEIGHT 3.5\n";
    const RunResult r = run({"-sensor", "OV5695_0", "-sensorMode", "2", "-setupFile", (dir / "dpf.txt").string(),
                             "-disableAWB"},
                            "x");
    ASSERT_EQ(0, r.status) << r.output;
    EXPECT_TRUE(matches(r.output, "\nDPF: detect 1\n    fixed=[0-9]+ written=[0-9]+ \\(threshold=12 weight=3\\.500000\\)\n"))
        << r.output;
}

// The data generator gets a frame of its own for each buffer.
TEST_F(BrambleRun, DataGeneratorAllocatesAFramePerBuffer)
{
    for (const char *buffers : {"1", "3"}) {
        resetBoard();
        const RunResult r = run({"-sensor", "IIF", "-setupFile", kDgSetup, "-DG_inputJUX", kJux, "-disableAWB",
                                 "-nBuffers", buffers},
                                "..x");
        ASSERT_EQ(0, r.status) << r.output;
        EXPECT_EQ(static_cast<unsigned>(std::stoi(buffers)),
                  simboard::IspDriver::installed()->requestCount(CI_IIFDG_ALLOCATE))
            << buffers;
        EXPECT_EQ(static_cast<unsigned>(std::stoi(buffers)), simboard::IspDriver::installed()->requestCount(CI_CONFIG_ADDPOOL));
    }
}


// What the setup file gives the loops is read back at start-up and shown:
// the exposure target (which "+" then steps from), the flicker mode, local
// tone mapping, and defect detection when the file asks for detection or
// for the map.
TEST_F(BrambleRun, SetupFileSettingsShowFromTheFirstFrame)
{
    const struct {
        const char *keys;
        const char *line;
        const char *typed = "x";
    } cases[] = {
        {"AE_TARGET_BRIGHTNESS 0.2\n", "/0.200000 (flicker OFF) underexposed="},
        {"AE_TARGET_BRIGHTNESS 0.2\n", "/0.250000 (flicker OFF) underexposed=", "+x"},
        {"AE_FLICKER_REJECTION 1\nAE_FLICKER_AUTODETECT 0\nAE_FLICKER_FREQ 60\n", "/0.000000 (flicker 60Hz) underexposed="},
        {"AE_FLICKER_REJECTION 1\nAE_FLICKER_AUTODETECT 0\nAE_FLICKER_FREQ 50\n", "(flicker 50Hz) underexposed="},
        {"AE_FLICKER_REJECTION 1\nAE_FLICKER_AUTODETECT 0\nAE_FLICKER_FREQ 55\n", "(flicker OFF) underexposed="},
        {"AE_FLICKER_REJECTION 1\n", "(flicker AUTO detected="},
        {"TNMC_LOCAL 1\n", "\nTNMC 0: adaptive 0 local 1\n"},
        {"DPF_DETECT_ENABLE 1\n", "\nDPF: detect 1\n    fixed="},
        {"DPF_WRITE_MAP_ENABLE 1\n", "\nDPF: detect 1\n    fixed="},
    };
    for (const auto &c : cases) {
        resetBoard();
        placeSensor();
        std::ofstream(dir / "keys_setup.txt") << std::ifstream(kSensorSetup).rdbuf() << "\n" << c.keys;
        const RunResult r =
            run({"-sensor", "OV5695_0", "-sensorMode", "2", "-setupFile", (dir / "keys_setup.txt").string()}, c.typed);
        ASSERT_EQ(0, r.status) << r.output;
        EXPECT_TRUE(r.contains(c.line)) << c.keys << "\n" << r.output;
    }
}


// "-h": every option with its help text, in registration order, then the
// key help.
TEST(BrambleOptions, UsageListsEveryOptionAndKey)
{
    DemoConfiguration config;
    const Parsed p = parse(config, {"-h"});
    EXPECT_EQ(1, p.result);
    const std::string &out = p.out;
    const std::string &errors = p.errors;
    // help asked for: the missing required options are not reported
    EXPECT_EQ(std::string::npos, errors.find("No setup file provided"));
    EXPECT_EQ(std::string::npos, errors.find("no sensor provided"));

    const struct {
        const char *option, *help;
    } options[] = {
        {"-h", "Usage information"},
        {"-setupFile", "VezaraSetupArgs file to use to configure the Pipeline"},
        {"-sensor", "Sensor to use for the run. If 'IIF Datagen' is used then the sensor will be considered a "
                    "data-generator."},
        {"-sensorMode", "Sensor mode to use"},
        {"-sensorExposure", "[optional] initial exposure to use in us"},
        {"-sensorGain", "[optional] initial gain to use"},
        {"-sensorFlip", "[optional] Set 1 to flip the sensor Horizontally and Vertically. If only 1 option is given "
                        "it is assumed to be the horizontal one\n"},
        {"-chooseAWB", "Enable usage of White Balance Control algorithm and loading of the multi-ccm parameters - "
                       "values are mapped VOVA::Correction_Types (1=AC, 2=WP, 3=HLW, 4=COMBINED)"},
        {"-useWBTS", "Enable usage of White Balance Temporal Smoothing algorithm - (1=enabled, 0=disabled)"},
        {"-wbtsTemporalStretch",
         "[optional] time to settle awb after change (milliseconds) 200 < param <= 5000, default 300"},
        {"-wbtsWeightsBase", "[optional] parameter used for wbts algorithm 1<= param <=10, default 2"},
        {"-featuresWBTS", "Enable usage of White Balance Temporal Smoothing algorithm - values are mapped "
                          "VOVA::Smoothing_Features (0=None, 1=FlashFiltering)"},
        {"-disableAE", "Disable construction of the Auto Exposure control object"},
        {"-disableAWB", "Disable construction of the Auto White Balance control object"},
        {"-disableAF", "Disable construction of the Auto Focus control object"},
        {"-disableTNMC", "Disable construction of the Tone Mapper control object"},
        {"-disableDNS", "Disable construction of the Denoiser control object"},
        {"-disableLBC", "Disable construction of the Light Base Control object"},
        {"-disableAutoDisplay", "Disable the always enabling of display output (unless taking DE)"},
        {"-updateASAP", "Enable the update ASAP in the VOVA::Camera"},
        {"-nBuffers", "Number of buffers to run with"},
        {"-delay", "Enqueue Delay (overrides Random Delay)"},
        {"-randomDelayLow", "Random Delay Low bound"},
        {"-randomDelayHigh", "Random Delay High bound"},
        {"-randomSeed", "Random seed - if not provided uses time(NULL)"},
        {"-DG_inputJUX", "JUX file to use as an input of the data-generator n(only if specified sensor is a data "
                         "generator)"},
        {"-DG_gasket", "Gasket to use for data-generator (only if specified sensor is a data generator)"},
        {"-DG_blanking", "Horizontal and vertical blanking in pixels (only if specified sensor is data generator)"},
        {"-importBuffers", "Allocate and import image buffers from user space instead of internal allocation in "
                           "kernel space"},
    };
    size_t at = 0;
    for (const auto &o : options) {
        std::string line = "\n";
        line += o.option;
        line += ' ';
        at = out.find(line, at);
        ASSERT_NE(std::string::npos, at) << o.option << "\n" << out;
        const size_t help = out.find("\t: ", at);
        ASSERT_NE(std::string::npos, help);
        EXPECT_EQ(0, out.compare(help + 3, std::strlen(o.help) + 1, std::string(o.help) + "\n")) << o.option;
    }
    EXPECT_EQ(std::string::npos, out.find("-measureAAA"));

    const char *keyHelp = "\n\nRuntime key controls:\n"
                          "\t=== Control Modules toggle ===\n"
                          "w enable AWB\n"
                          "q enable WBTS\n"
                          "e defective pixels\n"
                          "r use LSH matrix if available\n"
                          "t adaptive TNM (needs auto TNM)\n"
                          "y local TNM (needs auto TNM)\n"
                          "u auto TNM\n"
                          "i enable DNS update from sensor\n"
                          "o enable LBC\n"
                          "\t=== Auto Exposure ===\n"
                          "+/- Target brightness up/down (or exposure if AE disabled)\n"
                          "p Flicker detection toggle\n"
                          "\t=== Auto Focus ===\n"
                          ",/. Focus closer/further\n"
                          "m auto focus trigger\n"
                          "\t=== Multi Colour Correction Matrix ===\n"
                          "0 force identity CCM if AWB disabled\n"
                          "1-9 load one of the CCM if available and AWB disabled\n"
                          "\t=== Other controls ===\n"
                          "a Save all outputs as specified in setup file\n"
                          "s Save Display output\n"
                          "d Save Encoder output\n"
                          "f Save DE output\n"
                          "g Save RAW2D output (may not work on all HW versions)\n"
                          "h Save HDR output (may not work on all HW versions)\n"
                          "\t=== Test issues ===\n"
                          "@ Insert stopCapture/StartCapture/Enqueue glitch to test HW restart procedure\n"
                          "x Exit\n"
                          "\n\n";
    const size_t keys = out.find(keyHelp);
    EXPECT_NE(std::string::npos, keys) << out;
    EXPECT_LT(at, keys);
    // then the sensor table with its modes
    EXPECT_LT(keys, out.find("OV5695_0"));
}

// The missed frames are counted per capture: a restart starts again from 0.
TEST_F(BrambleRun, MissedFramesCountedPerCapture)
{
    placeSensor();
    simboard::IspDriver::installed()->corrupt(simboard::IspCorruption::AcquireMissedFrames, 3);
    const RunResult r = run(kMode2, "d...x");
    ASSERT_EQ(0, r.status) << r.output;
    EXPECT_EQ(2u, r.count("re-starting capture to enable alternative output\n"));
    EXPECT_EQ(1u, r.count("total number of missed frames: 3\n")) << r.output;
    EXPECT_EQ(2u, r.count("total number of missed frames: 0\n"));
}


// A setup file that switches the lens-shading matrix on starts the run with
// the lens-shading control on and one of its grids chosen.
TEST_F(BrambleRun, LensShadingFromTheSetupFileShowsItsGrid)
{
    placeSensor();
    const std::string grid = kData + "/vova/lsh_bowl.lsh";
    std::ofstream(dir / "lsh.txt") << std::ifstream(kSensorSetup).rdbuf() << "\nLSH_CTRL_CORRECTIONS 2\n"
                                   << "LSH_CTRL_TEMPERATURE_0 3000\nLSH_CTRL_FILE_0 " << grid << "\n"
                                   << "LSH_CTRL_TEMPERATURE_1 6500\nLSH_CTRL_FILE_1 " << grid << "\n"
                                   << "LSH_MATRIX_ENABLE 1\n";
    // the grid covers the 1296 x 972 mode
    const RunResult r =
        run({"-sensor", "OV5695_0", "-sensorMode", "3", "-setupFile", (dir / "lsh.txt").string()}, ".x");
    ASSERT_EQ(0, r.status) << r.output;
    EXPECT_EQ(2u, r.count("number of LSH matrices: 2\n"));
    // the grids are registered in the file's order: matrix 1 is the 3000 K one, 2 the 6500 K one
    std::smatch m;
    ASSERT_TRUE(std::regex_search(r.output, m, std::regex("\nLSH: matrix 1 from matrixId '([0-9]+)' temp ([0-9]+)K\n")))
        << r.output;
    EXPECT_EQ(m[1] == "1" ? "3000" : "6500", m[2].str());
    EXPECT_TRUE(m[1] == "1" || m[1] == "2") << m[1];
    EXPECT_EQ(2u, r.count("\nLSH: matrix 1 from matrixId '"));
}

}  // namespace
}  // namespace brambletest
