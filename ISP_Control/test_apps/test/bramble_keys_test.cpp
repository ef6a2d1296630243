// Bramble's run-time keys: the setting each key changes, and what that
// change does to the loops, the modules and the outputs on the next frames,
// read back from the parameters a save writes and from the printout.
#include <drm_fourcc.h>

#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <sstream>

#include "DemoConfiguration.h"
#include "bramble_test_support.h"
#include "vova/Camera.h"
#include "vova/Sensor.h"

namespace brambletest {
namespace {

// The simulated OV5695 in its 720 x 1600 mode, the quickest to capture.
std::vector<std::string> sensorArgs(const std::string &setup, std::vector<std::string> more = {})
{
    std::vector<std::string> args = {"-sensor", "OV5695_0", "-sensorMode", "2", "-setupFile", setup};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// Three calibrated corrections, each with its own matrix, offsets and gains,
// in temperature order; the data extraction at point 2.
const char *const kCorrections = "OUT_DISP RGB888_32\nOUT_ENC NV21\nOUT_DE BAYER10\nOUT_DE_POINT 2\n"
                                 "BLC_SENSOR_BLACK 64 64 64 64\nBLC_SYS_BLACK 64\nHIS_GLOBAL_ENABLE 1\n"
                                 "WB_CORRECTIONS 3\n"
                                 "WB_TEMPERATURE_0 3000\n"
                                 "WB_CCM_0 1.5 -0.25 -0.25 -0.125 1.25 -0.125 0 -0.5 1.5\n"
                                 "WB_OFFSETS_0 1 -2 3\n"
                                 "WB_GAINS_0 1.125 1 1 2.5\n"
                                 "WB_TEMPERATURE_1 5000\n"
                                 "WB_CCM_1 1.25 -0.125 -0.125 -0.25 1.5 -0.25 -0.125 -0.25 1.375\n"
                                 "WB_OFFSETS_1 0 0 0\n"
                                 "WB_GAINS_1 1.5 1 1 1.75\n"
                                 "WB_TEMPERATURE_2 7000\n"
                                 "WB_CCM_2 1.75 -0.5 -0.25 -0.25 1.625 -0.375 -0.125 -0.625 1.75\n"
                                 "WB_OFFSETS_2 -4 5 -6\n"
                                 "WB_GAINS_2 2 1.125 1.0625 1.25\n";

// Each setting of a saved setup file, by key: the rest of its line.
std::map<std::string, std::string> savedSettings(const std::filesystem::path &file)
{
    std::map<std::string, std::string> settings;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line.rfind("//", 0) == 0)
            continue;
        const size_t cut = line.find(' ');
        settings[line.substr(0, cut)] = cut == std::string::npos ? "" : line.substr(cut + 1);
    }
    return settings;
}

// One key script and what the save in it ("s", or the key itself) must find.
struct KeyEffect {
    const char *what;
    std::vector<std::string> options;  // beyond the sensor, its mode and the setup file
    std::string keys;                   // one key per frame; "x" is added
    std::map<std::string, std::string> saved;  // settings of VezaraSetupArgs_0.txt
    std::vector<std::string> printed = {};  // pieces of the printout
    size_t restarts = 0;                // captures restarted
    const char *setup = kCorrections;   // the setup file's text
};

class BrambleKeyRun : public BrambleRun {
protected:
    // A fresh board with the OV5695 placed, and no saved setup file.
    void freshBoard()
    {
        resetBoard();
        placeSensor();
        std::filesystem::remove(dir / "VezaraSetupArgs_0.txt");
    }
    void expectEffects(const std::vector<KeyEffect> &effects)
    {
        for (const KeyEffect &e : effects) {
            SCOPED_TRACE(std::string(e.what) + " (keys \"" + e.keys + "\")");
            freshBoard();
            std::ofstream(dir / "setup.txt") << e.setup;
            const RunResult r = run(sensorArgs((dir / "setup.txt").string(), e.options), e.keys + "x");
            ASSERT_EQ(0, r.status) << r.output;
            const auto settings = savedSettings(dir / "VezaraSetupArgs_0.txt");
            EXPECT_FALSE(settings.empty() && !e.saved.empty()) << "nothing saved\n" << r.output;
            for (const auto &[key, value] : e.saved) {
                const auto found = settings.find(key);
                EXPECT_TRUE(found != settings.end() && found->second == value)
                    << key << " saved as \"" << (found == settings.end() ? "(none)" : found->second)
                    << "\", expected \"" << value << "\"";
            }
            for (const std::string &piece : e.printed)
                EXPECT_TRUE(r.contains(piece)) << piece << "\n" << r.output;
            EXPECT_EQ(e.restarts, r.count("re-starting capture to enable alternative output"));
        }
    }
};

const char *const kIdentity = "1 0 0 0 1 0 0 0 1";

// The exposure target and the flicker mode reach the exposure control at once.
TEST_F(BrambleKeyRun, ExposureKeysReachTheExposureControlAtOnce)
{
    expectEffects({
        {"+ steps the target up by 0.05", {}, "+s", {{"AE_TARGET_BRIGHTNESS", "0.05"}}, {"/0.050000 (flicker OFF)"}},
        {"+ twice", {}, "++s", {{"AE_TARGET_BRIGHTNESS", "0.1"}}, {"/0.100000 (flicker OFF)"}},
        {"- steps it down by 0.05", {}, "-s", {{"AE_TARGET_BRIGHTNESS", "-0.05"}}, {"/-0.050000 (flicker OFF)"}},
        {"+ then - comes back", {}, "+-s", {{"AE_TARGET_BRIGHTNESS", "0"}}, {}},
        {"p: automatic rejection",
         {},
         "ps",
         {{"AE_FLICKER_REJECTION", "1"}, {"AE_FLICKER_AUTODETECT", "1"}},
         {"(flicker AUTO detected="}},
        {"p twice: 50 Hz",
         {},
         "pps",
         {{"AE_FLICKER_REJECTION", "1"}, {"AE_FLICKER_AUTODETECT", "0"}, {"AE_FLICKER_FREQ", "50"}},
         {"(flicker 50Hz)"}},
        {"p three times: 60 Hz",
         {},
         "ppps",
         {{"AE_FLICKER_REJECTION", "1"}, {"AE_FLICKER_AUTODETECT", "0"}, {"AE_FLICKER_FREQ", "60"}},
         {"(flicker 60Hz)"}},
        {"p four times: off again",
         {},
         "pppps",
         {{"AE_FLICKER_REJECTION", "0"}, {"AE_FLICKER_AUTODETECT", "0"}},
         {}},
    });
}

// The digit keys load a calibrated correction by hand while the white-balance
// control is off: its matrix, offsets and gains, "0" the identity.
TEST_F(BrambleKeyRun, DigitKeysLoadACorrectionWhileWhiteBalanceIsOff)
{
    const std::vector<std::string> smoothing = {"-useWBTS", "1", "-wbtsWeightsBase", "3", "-wbtsTemporalStretch",
                                                "1000"};
    expectEffects({
        {"1 loads the first correction",
         {},
         "w1s",
         {{"CCM_MATRIX", "1.5 -0.25 -0.25 -0.125 1.25 -0.125 0 -0.5 1.5"},
          {"CCM_OFFSETS", "1 -2 3"},
          {"LSH_WBGAIN", "1.125 1 1 2.5"}},
         {"AWB_Planckian 0: "}},
        {"3 loads the last of three",
         {},
         "w3s",
         {{"CCM_MATRIX", "1.75 -0.5 -0.25 -0.25 1.625 -0.375 -0.125 -0.625 1.75"},
          {"CCM_OFFSETS", "-4 5 -6"},
          {"LSH_WBGAIN", "2 1.125 1.0625 1.25"}}},
        {"4 is beyond the list and loads nothing",
         {},
         "w2.4s",
         {{"CCM_MATRIX", "1.25 -0.125 -0.125 -0.25 1.5 -0.25 -0.125 -0.25 1.375"},
          {"CCM_OFFSETS", "0 0 0"},
          {"LSH_WBGAIN", "1.5 1 1 1.75"}}},
        {"0 loads the identity and unit gains and stops the smoothing",
         smoothing,
         "w3.0s",
         {{"CCM_MATRIX", kIdentity},
          {"CCM_OFFSETS", "0 0 0"},
          {"LSH_WBGAIN", "1 1 1 1"},
          {"WBT_USE_SMOOTHING", "0"},
          {"WBT_WEIGHT_BASE", "2"},
          {"WBT_TEMPORAL_STRETCH", "300"}}},
        {"0 does nothing while white balance is on",
         smoothing,
         "0s",
         {{"WBT_USE_SMOOTHING", "1"}, {"WBT_WEIGHT_BASE", "3"}, {"WBT_TEMPORAL_STRETCH", "1000"}},
         {"AWB_Planckian 1: "}},
        {"q switches the smoothing on", {}, "qs", {{"WBT_USE_SMOOTHING", "1"}}},
        {"q twice switches it off", {}, "qqs", {{"WBT_USE_SMOOTHING", "0"}}},
    });
}

// Toggles reach their loop or module from the next frame on.
TEST_F(BrambleKeyRun, ToggleKeysSwitchTheirLoopOrModule)
{
    expectEffects({
        {"e: defect detection and map writing",
         {},
         "e.s",
         {{"DPF_DETECT_ENABLE", "1"}, {"DPF_WRITE_MAP_ENABLE", "1"}},
         {"DPF: detect 1\n", "    fixed="}},
        {"e twice: both off", {}, "ee.s", {{"DPF_DETECT_ENABLE", "0"}, {"DPF_WRITE_MAP_ENABLE", "0"}}},
        {"t: adaptive tone mapping", {}, "t.s", {{"TNMC_ADAPTIVE", "1"}, {"TNMC_LOCAL", "0"}},
         {"TNMC 0: adaptive 1 local 0\n"}},
        {"y: local tone mapping", {}, "y.s", {{"TNMC_ADAPTIVE", "0"}, {"TNMC_LOCAL", "1"}},
         {"TNMC 0: adaptive 0 local 1\n"}},
        {"u: the tone-mapping control", {}, "u.s", {}, {"TNMC 1: adaptive 0 local 0\n"}},
        {"i: the denoiser control", {}, "i.s", {}, {"DNSC 1\n"}},
        {"o: the light-based control", {}, "o.s", {}, {"LBC 1: "}},
        {"r: lens shading on restarts the capture without a matrix", {}, "r..s", {}, {"LSH: matrix 1 "}, 1},
        {"r twice: off again, without a second restart", {}, "r.r.s", {}, {"LSH: matrix 0 "}, 1},
    });
}

// Without an exposure control to set up the global histogram, the
// tone-mapping control may set it up, or else the light-based one: each
// alone turns it on, even while switched off.
TEST_F(BrambleKeyRun, WithoutExposureControlToneMappingOrLightControlSetsUpTheHistogram)
{
    const char *noHistogram = "OUT_DISP RGB888_32\n";
    expectEffects({
        {"tone mapping", {"-disableAE", "-disableLBC"}, "s", {{"HIS_GLOBAL_ENABLE", "1"}}, {"TNMC 0: "}, 0,
         noHistogram},
        {"light-based control", {"-disableAE", "-disableTNMC"}, "s", {{"HIS_GLOBAL_ENABLE", "1"}}, {"LBC 0: "}, 0,
         noHistogram},
        {"neither", {"-disableAE", "-disableTNMC", "-disableLBC"}, "s", {{"HIS_GLOBAL_ENABLE", "0"}}, {}, 0,
         noHistogram},
    });
}

// Save keys: the display is saved with the frame of the key; the other
// outputs are switched on, saved after the restart and switched off again.
TEST_F(BrambleKeyRun, SaveKeysSaveTheirOutputAfterARestart)
{
    expectEffects({
        {"s: the display, without a restart", {}, "s", {{"OUT_DISP", "RGB888_32"}}, {"save RGB key pressed...\n"}},
        {"d: the encoder",
         {},
         "d.",
         {{"OUT_ENC", "NV21"}},
         {"save YUV key pressed...\n", "saving YUV output to encoder0-720x1600-NV21-align1.yuv\n"},
         2},
        {"f: the data extraction at the point of the setup file, without the display",
         {},
         "f.",
         {{"OUT_DE", "BAYER10"}, {"OUT_DE_POINT", "2"}, {"OUT_DISP", "NONE"}},
         {"save DE key pressed...\n", "saving Bayer output to dataExtraction0.jux\n",
          "Re-enable display to BI_RGB32\n"},
         2},
        {"g: the RAW 2D extraction",
         {},
         "g.",
         {{"OUT_DE_RAW2D", "TIFF12"}},
         {"save RAW2D key pressed...\n", "saving RAW 2D Extraction output to raw2DExtraction0.jux\n"},
         2},
        {"h: the HDR extraction",
         {},
         "h.",
         {{"OUT_DE_HDF", "BGR101010_32"}},
         {"save HDR key pressed...\n", "saving HDR Extraction output to hdrExtraction0.jux\n"},
         2},
    });
    EXPECT_TRUE(exists("hdrExtraction0.jux"));
}

// The data extraction keeps the point the setup file names when it is one
// of the two it can take, and takes the first otherwise.
TEST_F(BrambleKeyRun, DataExtractionKeepsTheSetupFilesPoint)
{
    const struct {
        const char *point;  // "OUT_DE_POINT" of the setup file, null for none
        const char *saved;
        bool forced;
    } cases[] = {{"1", "1", false}, {"2", "2", false}, {"3", "1", true}, {nullptr, "1", false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.point ? c.point : "none");
        freshBoard();
        std::ofstream(dir / "setup.txt") << "OUT_DISP RGB888_32\nOUT_DE BAYER10\n"
                                         << (c.point ? std::string("OUT_DE_POINT ") + c.point + "\n" : "");
        const RunResult r = run(sensorArgs((dir / "setup.txt").string()), "f.x");
        ASSERT_EQ(0, r.status) << r.output;
        EXPECT_EQ(c.saved, savedSettings(dir / "VezaraSetupArgs_0.txt")["OUT_DE_POINT"]);
        EXPECT_EQ(c.forced, r.contains("default DE-Point forced to 0\n")) << r.output;
    }
}

// Lens shading switched off by "r" takes the matrix off the pipeline at once
// (here none was loaded: the pipeline is told to use none).
TEST_F(BrambleKeyRun, LensShadingKeyTakesTheMatrixOff)
{
    const struct {
        const char *keys;
        unsigned changes;  // requests to change the matrix in use
    } cases[] = {{"r...x", 0}, {"r.r..x", 1}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.keys);
        freshBoard();
        const RunResult r = run(sensorArgs(kSensorSetup), c.keys);
        ASSERT_EQ(0, r.status) << r.output;
        EXPECT_EQ(c.changes, simboard::IspDriver::installed()->requestCount(CI_PIPELINE_CHANGE_LSH));
    }
}

// Without an exposure control "+" and "-" move the sensor's exposure by 100 us.
TEST_F(BrambleRun, ExposureKeysMoveTheSensorWithoutAnExposureControl)
{
    placeSensor();
    const RunResult r = run(sensorArgs(kSensorSetup, {"-disableAE", "-sensorExposure", "10000"}), ".+.--.x");
    ASSERT_EQ(0, r.status) << r.output;
    std::vector<double> ms;
    const std::string tag = "Sensor: exposure ";
    for (size_t at = r.output.find(tag); at != std::string::npos; at = r.output.find(tag, at + 1))
        ms.push_back(std::stod(r.output.substr(at + tag.size())));
    ASSERT_EQ(7u, ms.size()) << r.output;
    // the line of a frame shows the keys of that frame; the sensor holds
    // whole lines, so a step is 100 us within a line time
    EXPECT_NEAR(10.0, ms[0], 0.05);
    EXPECT_NEAR(0.1, ms[1] - ms[0], 0.02);
    EXPECT_NEAR(ms[1], ms[2], 1e-9);
    EXPECT_NEAR(-0.1, ms[3] - ms[2], 0.02);
    EXPECT_NEAR(-0.1, ms[4] - ms[3], 0.02);
}

// A restart for a save begins with the exposure the exposure control had
// reached, not with the one of "-sensorExposure".
TEST_F(BrambleRun, RestartKeepsTheExposureTheControlReached)
{
    placeSensor();
    // no encoder in the setup file, so that the start-up keeps "-sensorExposure"
    std::ofstream(dir / "setup.txt") << "OUT_DISP RGB888_32\nBLC_SENSOR_BLACK 64 64 64 64\nBLC_SYS_BLACK 64\n"
                                        "HIS_GLOBAL_ENABLE 1\n";
    const RunResult r = run(sensorArgs((dir / "setup.txt").string(), {"-sensorExposure", "10000"}), "....d...x");
    ASSERT_EQ(0, r.status) << r.output;
    const size_t key = r.output.find("save YUV key pressed");
    const size_t kept = r.output.find("current exposure ", key);
    const size_t restart = r.output.find("re-starting capture to enable alternative output", key);
    ASSERT_NE(std::string::npos, kept) << r.output;
    ASSERT_NE(std::string::npos, restart);
    const double reached = std::stod(r.output.substr(kept + std::strlen("current exposure "))) / 1000.0;
    EXPECT_GT(std::abs(reached - 10.0), 1.0) << "the control moved the exposure before the key";
    const std::string tag = "Sensor: exposure ";
    const size_t after = r.output.find(tag, restart);
    ASSERT_NE(std::string::npos, after);
    // within a few lines: the control goes on from there
    EXPECT_NEAR(reached, std::stod(r.output.substr(after + tag.size())), 0.5) << r.output;
}

// "." moves the lens further, "," closer, each on the next frame; "m" starts a scan.
TEST_F(BrambleRun, FocusKeysMoveTheLensAndStartAScan)
{
    simboard::SensorBoard::instance().place(0, *simboard::chipModelByName("S5K3P9"));
    const std::string keys = "...,...m...x";
    const RunResult r = run({"-sensor", "S5K3P9", "-sensorMode", "6", "-setupFile", kSensorSetup}, keys);
    ASSERT_EQ(0, r.status) << r.output;
    // the distances asked of the lens on frames 1 to 7, after the keys of frames 0 to 6
    const size_t from = r.output.find("Frame 1 "), to = r.output.find("Frame 8 ");
    ASSERT_NE(std::string::npos, to) << r.output;
    const std::string steps = r.output.substr(from, to - from);
    std::vector<int> focus;
    const std::string tag = "SetFocus: new focus = ";
    for (size_t at = steps.find(tag); at != std::string::npos; at = steps.find(tag, at + 1))
        focus.push_back(std::stoi(steps.substr(at + tag.size())));
    ASSERT_EQ(7u, focus.size()) << steps;
    for (size_t n = 1; n < focus.size(); ++n) {
        if (keys[n] == '.')
            EXPECT_GT(focus[n], focus[n - 1]) << "frame " << n + 1;
        else
            EXPECT_LT(focus[n], focus[n - 1]) << "frame " << n + 1;
    }
    EXPECT_FALSE(steps.find("AF_SCANNING") != std::string::npos);
    EXPECT_TRUE(r.output.find("state AF_SCANNING", to) != std::string::npos) << r.output;
}

// Mean R, G and B of the frame the display shows last, an XRGB8888 frame
// (B, G, R, X in memory).
std::array<double, 3> shownMeans(const simboard::DisplayDevice &display)
{
    simboard::DisplayFrame frame;
    std::array<double, 3> sum{};
    if (!display.lastFrame(frame) || frame.format != DRM_FORMAT_XRGB8888 || frame.width == 0 || frame.height == 0)
        return sum;
    for (size_t y = 0; y < frame.height; ++y)
        for (size_t x = 0; x < frame.width; ++x)
            for (int c = 0; c < 3; ++c)
                sum[c] += frame.pixels[y * frame.pitch + 4 * x + 2 - c];
    for (double &s : sum)
        s /= static_cast<double>(frame.width) * frame.height;
    return sum;
}

// Two corrections for the white-balance test: at 3000 K unit gains and a
// matrix that exchanges red and blue, at 6500 K the identity.
const char *const kExchangingCorrection = "OUT_DISP RGB888_32\nBLC_SENSOR_BLACK 64 64 64 64\nBLC_SYS_BLACK 64\n"
                                          "HIS_GLOBAL_ENABLE 1\nWB_CORRECTIONS 2\n"
                                          "WB_TEMPERATURE_0 3000\nWB_CCM_0 0 0 1 0 1 0 1 0 0\n"
                                          "WB_OFFSETS_0 0 0 0\nWB_GAINS_0 1 1 1 1\n"
                                          "WB_TEMPERATURE_1 6500\nWB_CCM_1 1 0 0 0 1 0 0 0 1\n"
                                          "WB_OFFSETS_1 0 0 0\nWB_GAINS_1 1 1 1 1\n";

// What white balance does to a grey surface under 3000 K light, on the
// display: the loop and the corrections loaded by hand must reach the ISP.
// The sample setup's calibration holds the unit-matrix corrections of 2500 K
// to 7500 K; uncorrected, the warm light leaves blue well below green, and the
// 7500 K correction (number 9) makes red too strong as well.
TEST_F(BrambleKeyRun, WhiteBalanceReachesThePicture)
{
    enum Cast { Grey, Yellow, Red, Blue };
    const struct {
        const char *what;
        const char *setup;  // null: the sample setup
        const char *keys;
        Cast cast;
    } cases[] = {
        {"the loop balances grey from the start", nullptr, "....x", Grey},
        {"0 with the loop off loads the identity correction", nullptr, "w0...x", Yellow},
        {"the loop on again after 0 balances grey again", nullptr, "w0.w....x", Grey},
        {"9 with the loop off loads the 7500 K correction", nullptr, "w9...x", Red},
        {"2 after 9 loads the 3000 K correction", nullptr, "w9.2...x", Grey},
        {"1 loads a correction's matrix as well", kExchangingCorrection, "w1...x", Blue},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.what) + " (keys \"" + c.keys + "\")");
        freshBoard();
        simboard::Scene &scene = simboard::SensorBoard::instance().scene();
        scene.map = simboard::SceneMap::Grey;
        scene.colourTemperature = 3000;
        scene.lightLevel = 0.2;
        std::string setup = kSensorSetup;
        if (c.setup) {
            setup = (dir / "setup.txt").string();
            std::ofstream(setup) << c.setup;
        }
        const RunResult r = run(sensorArgs(setup), c.keys);
        ASSERT_EQ(0, r.status) << r.output;
        EXPECT_FALSE(r.contains("ERROR")) << r.output;
        const std::array<double, 3> rgb = shownMeans(*display);
        ASSERT_GT(rgb[1], 40.0) << "nothing shown";
        const double red = rgb[0] / rgb[1], blue = rgb[2] / rgb[1];
        const std::string means =
            "R " + std::to_string(rgb[0]) + " G " + std::to_string(rgb[1]) + " B " + std::to_string(rgb[2]);
        switch (c.cast) {
        case Grey:
            EXPECT_NEAR(1.0, red, 0.08) << means;
            EXPECT_NEAR(1.0, blue, 0.08) << means;
            break;
        case Yellow:
            EXPECT_NEAR(1.0, red, 0.15) << means;
            EXPECT_LT(blue, 0.75) << means;
            break;
        case Red:
            EXPECT_GT(red, 1.2) << means;
            EXPECT_LT(blue, 0.75) << means;
            break;
        case Blue:
            EXPECT_LT(red, 0.75) << means;
            EXPECT_NEAR(1.0, blue, 0.15) << means;
            break;
        }
    }
}

// The setting each key changes in the configuration, and no other.
TEST_F(BrambleRun, EachKeyChangesItsOwnSetting)
{
    placeSensor();
    auto snapshot = [](const DemoConfiguration &c) {
        return std::map<std::string, double>{
            {"targetBrightness", c.targetBrightness},
            {"flickerRejection", c.flickerRejection},
            {"autoFlickerRejection", c.autoFlickerRejection},
            {"flickerRejectionFreq", c.flickerRejectionFreq},
            {"currentAeFlicker", c.currentAeFlicker},
            {"enableAWB", c.enableAWB},
            {"targetAWB", c.targetAWB},
            {"WBTSEnabled", c.WBTSEnabled},
            {"adaptiveToneMapping", c.adaptiveToneMapping},
            {"localToneMapping", c.localToneMapping},
            {"autoToneMapping", c.autoToneMapping},
            {"autoDenoiserISO", c.autoDenoiserISO},
            {"autoLBC", c.autoLBC},
            {"bEnableDPF", c.bEnableDPF},
            {"bEnableLSH", c.bEnableLSH},
            {"bSaveDisplay", c.bSaveDisplay},
            {"bSaveEncoder", c.bSaveEncoder},
            {"bSaveDE", c.bSaveDE},
            {"bSaveHDR", c.bSaveHDR},
            {"bSaveRaw2D", c.bSaveRaw2D},
            {"bTestStopStart", c.bTestStopStart},
        };
    };
    struct Case {
        int key;
        bool awbOn;
        awbControlAlgorithm_t algorithm;
        std::map<std::string, double> changed;
        bool exits, saveAll;
    };
    std::vector<Case> cases = {
        {'w', true, WB_PLANCKIAN, {{"enableAWB", 0}}, false, false},
        {'w', false, WB_PLANCKIAN, {{"enableAWB", 1}}, false, false},
        {'q', true, WB_PLANCKIAN, {{"WBTSEnabled", 1}}, false, false},
        {'q', true, WB_COMBINED, {}, false, false},
        {'0', true, WB_PLANCKIAN, {}, false, false},
        {'0', false, WB_PLANCKIAN, {{"targetAWB", 0}}, false, false},
        {'0', false, WB_COMBINED, {{"targetAWB", 0}}, false, false},
        {'e', true, WB_PLANCKIAN, {{"bEnableDPF", 1}}, false, false},
        {'r', true, WB_PLANCKIAN, {{"bEnableLSH", 1}}, false, false},
        {'t', true, WB_PLANCKIAN, {{"adaptiveToneMapping", 1}}, false, false},
        {'y', true, WB_PLANCKIAN, {{"localToneMapping", 1}}, false, false},
        {'u', true, WB_PLANCKIAN, {{"autoToneMapping", 1}}, false, false},
        {'i', true, WB_PLANCKIAN, {{"autoDenoiserISO", 1}}, false, false},
        {'o', true, WB_PLANCKIAN, {{"autoLBC", 1}}, false, false},
        {'p', true, WB_PLANCKIAN,
         {{"flickerRejection", 1}, {"autoFlickerRejection", 1}, {"currentAeFlicker", AE_FLICKER_AUTO}}, false, false},
        {'a', true, WB_PLANCKIAN, {}, false, true},
        {'s', true, WB_PLANCKIAN, {{"bSaveDisplay", 1}}, false, false},
        {'d', true, WB_PLANCKIAN, {{"bSaveEncoder", 1}}, false, false},
        {'f', true, WB_PLANCKIAN, {{"bSaveDE", 1}}, false, false},
        {'g', true, WB_PLANCKIAN, {{"bSaveRaw2D", 1}}, false, false},
        {'h', true, WB_PLANCKIAN, {{"bSaveHDR", 1}}, false, false},
        {'@', true, WB_PLANCKIAN, {{"bTestStopStart", 1}}, false, false},
        {'x', true, WB_PLANCKIAN, {}, true, false},
        {',', true, WB_PLANCKIAN, {}, false, false},
        {'.', true, WB_PLANCKIAN, {}, false, false},
        {'m', true, WB_PLANCKIAN, {}, false, false},
        {'z', true, WB_PLANCKIAN, {}, false, false},
        {'W', true, WB_PLANCKIAN, {}, false, false},
        {0xFF, true, WB_PLANCKIAN, {}, false, false},
    };
    for (int digit = 1; digit <= 9; ++digit) {
        cases.push_back({'0' + digit, false, WB_PLANCKIAN, {{"targetAWB", digit}}, false, false});
        cases.push_back({'0' + digit, true, WB_PLANCKIAN, {}, false, false});
    }

    VOVA::Camera cam(0, VOVA::Sensor::GetSensorId("OV5695_0"), 2, 0);
    ASSERT_NE(VOVA::Camera::CAM_ERROR, cam.state);
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string("key ") + static_cast<char>(c.key) + (c.awbOn ? " with" : " without") +
                     " white balance, algorithm " + std::to_string(c.algorithm));
        DemoConfiguration config;
        config.enableAWB = c.awbOn;
        config.AWBAlgorithm = c.algorithm;
        config.targetAWB = -1;
        config.WBTSEnabled = c.key == '0';  // "0" stops the smoothing
        auto expected = snapshot(config);
        for (const auto &[field, value] : c.changed)
            expected[field] = value;
        if (c.key == '0' && !c.awbOn)
            expected["WBTSEnabled"] = 0;
        bool saveAll = true;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const bool active = config.handleKey(c.key, cam, saveAll);
        testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(expected, snapshot(config));
        EXPECT_EQ(!c.exits, active);
        EXPECT_EQ(c.saveAll, saveAll);
    }
}

}  // namespace
}  // namespace brambletest

namespace brambletest {
namespace {

// A restart gives the loops the setup file's values again: the exposure
// target "+" stepped up is back at the file's 0 once the encoder save ("d")
// restarted the capture.
TEST_F(BrambleRun, RestartGivesTheLoopsTheSetupFilesValuesAgain)
{
    placeSensor();
    const RunResult r = run(sensorArgs(kSensorSetup), "+d..x");
    ASSERT_EQ(0, r.status) << r.output;
    const size_t restart = r.output.find("re-starting capture to enable alternative output");
    ASSERT_NE(std::string::npos, restart) << r.output;
    RunResult before, after;
    before.output = r.output.substr(0, restart);
    after.output = r.output.substr(restart);
    EXPECT_EQ(2u, before.count("/0.050000 (flicker OFF)")) << r.output;
    EXPECT_EQ(0u, after.count("/0.050000 (flicker OFF)")) << r.output;
    EXPECT_EQ(3u, after.count("/0.000000 (flicker OFF)")) << r.output;
}

}  // namespace
}  // namespace brambletest
