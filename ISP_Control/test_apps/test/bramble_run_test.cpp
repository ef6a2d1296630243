// Scripted runs of Bramble on the simulated board: keys from a file, one per
// frame, ending with "x"; each run's printout and the files it leaves.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <iterator>

#include "bramble_test_support.h"
#include <drm_fourcc.h>

#include "LoopCamera.h"
#include "sim_image/sim_image.h"

namespace brambletest {
namespace {

const std::vector<std::string> kSensorArgs = {"-sensor", "OV5695_0", "-sensorMode", "1", "-setupFile", kSensorSetup};

TEST_F(BrambleRun, SensorRunSavesTheDisplayAndShowsEveryFrame)
{
    placeSensor();
    const RunResult r = run(kSensorArgs, "..s.....x");
    ASSERT_EQ(0, r.status) << r.output;
    EXPECT_TRUE(r.contains("Using sensor OV5695_0\n"));
    EXPECT_TRUE(r.contains("Frame 0 - sensor 1920x1080 @"));
    EXPECT_TRUE(r.contains("Frame 8 - sensor 1920x1080 @"));
    EXPECT_FALSE(r.contains("Frame 9 "));
    EXPECT_TRUE(r.contains("Using mode 1920x1080 on connector"));
    EXPECT_EQ(9u, r.count("TS: LLUp "));
    EXPECT_EQ(8u, r.count("Difference from last timestamps is "));
    EXPECT_EQ(9u, r.count("AE 1: Metered/target brightness "));
    EXPECT_TRUE(r.contains("save RGB key pressed...\n"));
    EXPECT_TRUE(r.contains("saving display output to display0.jux\n"));
    EXPECT_TRUE(r.contains("saving parameters to VezaraSetupArgs_0.txt\n"));
    EXPECT_TRUE(r.contains("exit key pressed\n"));
    EXPECT_TRUE(r.contains("Exiting loop\n"));
    for (const char *file : {"display0.jux", "VezaraSetupArgs_0.txt", "statistics0.dat", "statistics0.txt"})
        EXPECT_TRUE(exists(file)) << file;
    EXPECT_FALSE(exists("display1.jux"));
    EXPECT_FALSE(r.contains("re-starting capture"));  // saving the display alone never restarts
    // the formats the setup file leaves out get their defaults once, at start-up
    EXPECT_EQ(1u, r.count("default HDF forced to BI_BGR32-10bit\n"));

    // one dumb buffer and one framebuffer for the whole run, plane resources not piling up
    EXPECT_EQ(1u, display->scanouts());  // one framebuffer for the run, only its contents change
    EXPECT_EQ(1u, display->peakDumbBuffers());
    EXPECT_EQ(1u, display->peakFramebuffers());
    EXPECT_LE(display->peakPlaneResources(), 1u);
    EXPECT_EQ(0u, display->livePlaneResources());
    simboard::DisplayFrame frame;
    ASSERT_TRUE(display->lastFrame(frame));
    EXPECT_EQ(1920u, frame.width);
    EXPECT_EQ(1080u, frame.height);
    EXPECT_EQ(4u * 1920, frame.pitch);  // the dumb buffer has 32 bits a pixel
    size_t lit = 0;
    for (uint8_t byte : frame.pixels)
        lit += byte != 0;
    EXPECT_GT(lit, frame.pixels.size() / 4) << "the frames were copied to the display";
}

TEST_F(BrambleRun, RedPatchIsRedOnTheDisplayAndInTheSavedFile)
{
    // The chart's red patch (row 2, column 2 of its 6 x 4) around pixel
    // (800, 675) of the 1920 x 1080 frame: mean R, G, B over 40 x 40 pixels.
    placeSensor();
    const RunResult r = run(kSensorArgs, "..s..x");
    ASSERT_EQ(0, r.status) << r.output;
    auto expectRed = [](const char *where, auto colourAt) {
        double sum[3] = {0, 0, 0};
        for (unsigned y = 655; y < 695; ++y)
            for (unsigned x = 780; x < 820; ++x)
                for (int c = 0; c < 3; ++c)
                    sum[c] += colourAt(x, y, c);
        EXPECT_GT(sum[0], 2 * sum[1]) << where;
        EXPECT_GT(sum[0], 2 * sum[2]) << where;
    };
    simboard::DisplayFrame frame;
    ASSERT_TRUE(display->lastFrame(frame));
    ASSERT_EQ(static_cast<uint32_t>(DRM_FORMAT_XRGB8888), frame.format);  // B, G, R, X in memory
    expectRed("display", [&frame](unsigned x, unsigned y, int c) {
        return frame.pixels[size_t{y} * frame.pitch + 4 * x + 2 - c];
    });

    sSimImageIn image;
    ASSERT_EQ(QOV_SUCCESS, SimImageIn_init(&image));
    ASSERT_EQ(QOV_SUCCESS, SimImageIn_loadJUX(&image, (dir / "display0.jux").c_str()));
    ASSERT_EQ(QOV_SUCCESS, SimImageIn_convertFrame(&image, 0));
    ASSERT_EQ(1920u, image.info.ui32Width);
    expectRed("display0.jux", [&image](unsigned x, unsigned y, int c) {  // R, G, B, 0 per pixel
        return image.pBuffer[y * image.info.stride / 2 + 4 * x + c];
    });
    SimImageIn_close(&image);
}

// Mean change of R - G and B - G between horizontally and vertically
// neighbouring pixels of an XRGB8888 frame, 8-bit units: near 0 on a flat
// grey, large where detail at the sensor's Nyquist frequency comes out as
// colour checkering.
double meanChromaStep(const simboard::DisplayFrame &frame)
{
    auto chroma = [&frame](unsigned x, unsigned y, int c) {  // c 0: R - G, 1: B - G
        const uint8_t *p = &frame.pixels[size_t{y} * frame.pitch + 4 * x];
        return (c == 0 ? p[2] : p[0]) - p[1];
    };
    double sum = 0;
    size_t n = 0;
    for (unsigned y = 0; y < frame.height; ++y)
        for (unsigned x = 0; x < frame.width; ++x)
            for (int c = 0; c < 2; ++c) {
                if (x + 1 < frame.width)
                    sum += std::abs(chroma(x + 1, y, c) - chroma(x, y, c)), ++n;
                if (y + 1 < frame.height)
                    sum += std::abs(chroma(x, y + 1, c) - chroma(x, y, c)), ++n;
            }
    return n ? sum / static_cast<double>(n) : 0.0;
}

TEST_F(BrambleRun, DisplayedScenesShowNoColourCheckering)
{
    // The sample run's light on the chart and on the texture.
    for (simboard::SceneMap map : {simboard::SceneMap::Chart, simboard::SceneMap::Texture}) {
        simboard::Scene &scene = simboard::SensorBoard::instance().scene();
        scene.map = map;
        scene.lightLevel = 0.2;
        scene.colourTemperature = 3200;
        placeSensor();
        const RunResult r = run(kSensorArgs, "......x");
        ASSERT_EQ(0, r.status) << r.output;
        simboard::DisplayFrame frame;
        ASSERT_TRUE(display->lastFrame(frame));
        ASSERT_EQ(static_cast<uint32_t>(DRM_FORMAT_XRGB8888), frame.format);
        const double step = meanChromaStep(frame);
        EXPECT_LT(step, 2.0) << static_cast<int>(map);
        EXPECT_GT(step, 0.1) << static_cast<int>(map);  // the scene's colours and texture are there
        simboard::Board::instance().reset();
        display = simboard::DisplayDevice::installed();
    }
}

TEST_F(BrambleRun, StartupFailuresExitNonZeroWithTheError)
{
    placeSensor();
    const struct {
        std::vector<std::string> args;
        const char *error;
    } cases[] = {
        {{}, "No setup file provided"},
        {{"-sensor", "OV5695_0", "-setupFile", "missing.txt"}, "parsing parameter file 'missing.txt' failed"},
        {{"-sensor", "NOSUCHCHIP", "-setupFile", kSensorSetup}, "Failed when creating camera"},
        {{"-sensor", "IIF", "-setupFile", kDgSetup}, "trying to use internal data generator but not input JUX provided!"},
        {{"-sensor", "OV5695_0", "-setupFile", kSensorSetup, "-randomDelayLow", "500", "-randomDelayHigh", "500"},
         "-randomDelayHigh (500) must be above -randomDelayLow (500)"},
        {{"-sensor", "OV5695_0", "-setupFile", kSensorSetup, "-randomDelayLow", "500", "-randomDelayHigh", "100"},
         "-randomDelayHigh (100) must be above -randomDelayLow (500)"},
        {{"-sensor", "OV5695_0", "-setupFile", kSensorSetup, "-chooseAWB", "0"}, "Unsupported AWB algorithm 0 given"},
    };
    for (const auto &c : cases) {
        const RunResult r = run(c.args, "x");
        EXPECT_EQ(1, r.status) << c.error;
        EXPECT_TRUE(r.contains(c.error)) << r.output;
        EXPECT_FALSE(r.contains("Frame 0 ")) << c.error;
    }
}

TEST_F(BrambleRun, HelpPrintsTheUsageWithoutComplaints)
{
    const RunResult r = run({"-h", "-sensor", "OV5695_0", "-setupFile", kSensorSetup}, "x");
    EXPECT_EQ(1, r.status);
    EXPECT_TRUE(r.contains("Usage information"));
    EXPECT_TRUE(r.contains("Runtime key controls:"));
    EXPECT_TRUE(r.contains("x Exit\n"));
    EXPECT_TRUE(r.contains("1-9 load one of the CCM if available and AWB disabled\n"));
    EXPECT_FALSE(r.contains("No setup file provided"));
    // then a blank line and the sensor table with the modes of each sensor that has them
    EXPECT_TRUE(r.contains("\nx Exit\n\n\nAvailable sensors in sensor API:\n\t0: IIF Datagen")) << r.output;
    EXPECT_TRUE(r.contains("\t1: AR330 ("));
    EXPECT_TRUE(r.contains("\t\tmode 12:  1920x 1088 @5.63 10bit"));
}

TEST_F(BrambleRun, RandomDelaysSleepBetweenTheirBounds)
{
    placeSensor();
    const RunResult r = run({"-sensor", "OV5695_0", "-sensorMode", "1", "-setupFile", kSensorSetup, "-randomDelayLow",
                             "100", "-randomDelayHigh", "102", "-randomSeed", "7"},
                            "..x");
    ASSERT_EQ(0, r.status) << r.output;
    EXPECT_EQ(3u, r.count("Sleeping 10"));
    EXPECT_EQ(0u, r.count("Sleeping 102"));
}

TEST_F(BrambleRun, FlickerKeyCyclesTheModesIntoTheExposureControl)
{
    placeSensor();
    const RunResult r = run(kSensorArgs, "ppppx");
    ASSERT_EQ(0, r.status) << r.output;
    // the mode shown after each key: AUTO, 50Hz, 60Hz, OFF, then OFF with "x"
    const char *modes[] = {"(flicker AUTO detected=", "(flicker 50Hz)", "(flicker 60Hz)", "(flicker OFF)"};
    size_t at = 0;
    for (const char *mode : modes) {
        at = r.output.find(mode, at);
        ASSERT_NE(std::string::npos, at) << mode << "\n" << r.output;
    }
    EXPECT_EQ(2u, r.count("(flicker OFF)"));
}

TEST_F(BrambleRun, DataGeneratorRunSavesEveryOutputAndTheExtractionReadsBack)
{
    // 32 lines are too few for the white-balance tile statistics: no white-balance control
    const RunResult r = run({"-sensor", "IIF", "-setupFile", kDgSetup, "-DG_inputJUX", kJux, "-disableAWB"}, "a.x");
    ASSERT_EQ(0, r.status) << r.output;
    EXPECT_TRUE(r.contains("save ORIGINAL key pressed...\n"));
    EXPECT_TRUE(r.contains("re-starting capture to enable alternative output\n"));
    for (const char *file : {"dataExtraction0.jux", "hdrExtraction0.jux", "raw2DExtraction0.jux",
                             "VezaraSetupArgs_0.txt", "statistics0.dat", "statistics0.txt"})
        EXPECT_TRUE(exists(file)) << file << "\n" << r.output;
    EXPECT_EQ(1u, filesStartingWith("encoder0-"));
    // the data extraction takes the display's place, so the display is not saved
    EXPECT_FALSE(exists("display0.jux"));

    sSimImageIn image;
    ASSERT_EQ(QOV_SUCCESS, SimImageIn_init(&image));
    ASSERT_EQ(QOV_SUCCESS, SimImageIn_loadJUX(&image, (dir / "dataExtraction0.jux").c_str()));
    EXPECT_EQ(640u, image.info.ui32Width);
    EXPECT_EQ(32u, image.info.ui32Height);
    EXPECT_EQ(1u, image.nFrames);
    EXPECT_EQ(QOV_SUCCESS, SimImageIn_convertFrame(&image, 0));
    SimImageIn_close(&image);
}

// A data-generator file wider than the generator's gasket takes ends the run
// at start-up with its size and the limit, before any frame.
TEST_F(BrambleRun, DataGeneratorFileBeyondTheGasketEndsTheRunAtStartUp)
{
    const std::string path = (dir / "wide.jux").string();
    sSimImageOut out;
    ASSERT_EQ(QOV_SUCCESS, SimImageOut_init(&out));
    out.info.eColourModel = SimImage_RGGB;
    out.info.ui8BitDepth = 10;
    out.info.ui32Width = 8194;
    out.info.ui32Height = 2;
    ASSERT_EQ(QOV_SUCCESS, SimImageOut_create(&out));
    ASSERT_EQ(QOV_SUCCESS, SimImageOut_open(&out, path.c_str()));
    std::vector<QOV_UINT8> frame(8194 * 2 * 2, 0);
    ASSERT_EQ(QOV_SUCCESS, SimImageOut_addFrame(&out, frame.data(), frame.size()));
    ASSERT_EQ(QOV_SUCCESS, SimImageOut_write(&out));
    ASSERT_EQ(QOV_SUCCESS, SimImageOut_close(&out));

    const RunResult r = run({"-sensor", "IIF", "-setupFile", kDgSetup, "-DG_inputJUX", path}, "x");
    EXPECT_EQ(1, r.status);
    EXPECT_TRUE(r.contains("frames of 8194x2 in '" + path +
                           "' are larger than the data generator takes: at most 8192 pixels wide on gasket 0 and "
                           "16384 lines high\n"))
        << r.output;
    EXPECT_TRUE(r.contains("Failed when creating camera")) << r.output;
    EXPECT_FALSE(r.contains("Frame 0 "));
}

TEST_F(BrambleRun, WithoutADisplayOutputNoDisplayDeviceIsNeeded)
{
    placeSensor();
    simboard::Board::instance().unregisterDevice(simboard::DisplayDevice::kPath);
    RunResult r = run({"-sensor", "OV5695_0", "-sensorMode", "1", "-setupFile", kSensorSetup, "-disableAutoDisplay"},
                      "..x");
    EXPECT_EQ(0, r.status) << r.output;
    EXPECT_TRUE(r.contains("Disabling auto display!!! TARN will not work"));
    EXPECT_FALSE(r.contains("Using mode"));

    r = run(kSensorArgs, "..x");
    EXPECT_EQ(1, r.status);
    EXPECT_TRUE(r.contains("Failed to open '/dev/dri/card0'")) << r.output;
}

TEST_F(BrambleRun, DisplayFaultsAreClearErrorsAtSetUp)
{
    placeSensor();
    const struct {
        const char *name;
        void (*arrange)(simboard::DisplayDevice &);
        const char *error;
    } cases[] = {
        {"no connector", [](simboard::DisplayDevice &d) { d.setConnectorPresent(false); },
         "The display reports no connector or no CRTC"},
        {"no CRTC", [](simboard::DisplayDevice &d) { d.setCrtcPresent(false); },
         "The display reports no connector or no CRTC"},
        {"no mode", [](simboard::DisplayDevice &d) { d.removeModes(); }, "Failed to map DRM mode"},
        {"other htotal", [](simboard::DisplayDevice &d) {
             d.removeModes();
             d.addMode({"1920x1080", 1920, 1080, 2000, 1125});
         }, "Failed to map DRM mode"},
    };
    for (const auto &c : cases) {
        simboard::Board::instance().reset();
        simboard::Sleeps::setInstant(true);
        placeSensor();
        display = simboard::DisplayDevice::installed();
        c.arrange(*display);
        const RunResult r = run(kSensorArgs, "x");
        EXPECT_EQ(1, r.status) << c.name;
        EXPECT_TRUE(r.contains(c.error)) << c.name << "\n" << r.output;
        EXPECT_TRUE(r.contains("Failed to setup TARN DRM")) << c.name;
    }
}

TEST(BrambleDisplay, DrmCodesOfTheDisplayFormats)
{
    const struct {
        pxlFormat format;
        uint32_t code;
    } cases[] = {{RGB_888_24, DRM_FORMAT_RGB888},        {RGB_888_32, DRM_FORMAT_XRGB8888},
                 {RGB_101010_32, DRM_FORMAT_XRGB2101010}, {BGR_888_24, DRM_FORMAT_BGR888},
                 {BGR_888_32, DRM_FORMAT_XBGR8888},       {BGR_101010_32, DRM_FORMAT_XBGR2101010},
                 {BGR_161616_64, 0},                      {PXL_ISP_444IL3YCbCr8, 0}};
    for (const auto &c : cases)
        EXPECT_EQ(c.code, drmFormatOf(c.format)) << FormatString(c.format);
}

TEST_F(BrambleRun, SixteenBitDisplayIsAClearErrorBeforeAnyFramebuffer)
{
    placeSensor();
    std::ofstream(dir / "setup16.txt") << "OUT_DISP BGR161616_64\n";
    const RunResult r = run({"-sensor", "OV5695_0", "-sensorMode", "1", "-setupFile", (dir / "setup16.txt").string()},
                            "x");
    EXPECT_EQ(1, r.status);
    EXPECT_TRUE(r.contains("BI_BGR64")) << r.output;
    EXPECT_EQ(0u, display->peakFramebuffers());
}

TEST_F(BrambleRun, DisplayTallerThanTheModeIsCopiedAsFarAsItFits)
{
    placeSensor();
    // the 720x1600 mode of this display is only 800 lines high
    display->removeModes();
    display->addMode({"720x1600", 720, 800, 992, 840});
    const RunResult r = run({"-sensor", "OV5695_0", "-sensorMode", "2", "-setupFile", kSensorSetup}, "..x");
    ASSERT_EQ(0, r.status) << r.output;
    EXPECT_TRUE(r.contains("Using mode 720x1600 on connector"));
    simboard::DisplayFrame frame;
    ASSERT_TRUE(display->lastFrame(frame));
    EXPECT_EQ(800u, frame.height);
}

TEST_F(BrambleRun, ImportedBuffersGoOnThePlaneWithoutPilingUpFramebuffers)
{
    placeSensor();
    const RunResult r = run({"-sensor", "OV5695_0", "-sensorMode", "1", "-setupFile", kSensorSetup, "-importBuffers"},
                            "......x");
    ASSERT_EQ(0, r.status) << r.output;
    EXPECT_EQ(7u, r.count("Using display handle "));
    EXPECT_TRUE(r.contains("DMABUF handle=0x"));
    // the frame shown and the one replacing it, beside the mode's own
    EXPECT_LE(display->peakFramebuffers(), 3u);
    EXPECT_LE(display->peakPlaneResources(), 1u);
    EXPECT_EQ(0u, display->liveDumbBuffers());
}

TEST_F(BrambleRun, DataExtractionSaveSwitchesTheDisplayOffAndBackOnce)
{
    placeSensor();
    const RunResult r = run(kSensorArgs, "f.....x");
    ASSERT_EQ(0, r.status) << r.output;
    EXPECT_TRUE(exists("dataExtraction0.jux")) << r.output;
    EXPECT_EQ(2u, r.count("re-starting capture to enable alternative output"));
    EXPECT_EQ(1u, r.count("Re-enable display to BI_RGB32"));
}

// Each restart stops with the pool of shots deleted before the next start
// adds its own, so that a long run with saves keeps one pool in the driver.
TEST_F(BrambleRun, RestartsKeepOnePoolOfShotsInTheDriver)
{
    placeSensor();
    auto driver = simboard::IspDriver::installed();
    ASSERT_TRUE(driver);
    driver->setRequestLimit(100000);
    const RunResult r = run(kSensorArgs, "f..f..x");
    ASSERT_EQ(0, r.status) << r.output;
    ASSERT_EQ(4u, r.count("re-starting capture to enable alternative output"));
    size_t live = 0, peak = 0, added = 0;
    for (const simboard::IspRequest &request : driver->requests()) {
        if (request.index == CI_CONFIG_ADDPOOL && request.result >= 0) {
            ++added;
            peak = std::max(peak, ++live);
        } else if (request.index == CI_CONFIG_DELPOOL) {
            live = 0;
        }
    }
    EXPECT_EQ(10u, added);  // 2 buffers at the start and at each of the 4 restarts
    EXPECT_EQ(2u, peak);
}

TEST_F(BrambleRun, DefectMapIsSavedOnlyWithTheSaveThatAskedForIt)
{
    placeSensor();
    simboard::SensorBoard::instance().scene().defects.push_back({100, 80, true});
    simboard::SensorBoard::instance().scene().defects.push_back({300, 200, false});
    std::ofstream(dir / "dpf.txt") << "OUT_DISP RGB888_32\nOUT_DE BAYER10\nDPF_DETECT_ENABLE 1\n"
                                      "DPF_WRITE_MAP_ENABLE 1\nDPF_THRESHOLD 10\n";
    // the data extraction waits for a restart: the frames in between carry a
    // defect map but no armed output
    const RunResult r = run({"-sensor", "OV5695_0", "-sensorMode", "2", "-setupFile", (dir / "dpf.txt").string()},
                            "f....x");
    ASSERT_EQ(0, r.status) << r.output;
    // every frame carries the map: the stuck-high pixel always, the stuck-low
    // one (in a blue patch) once its neighbours stand out above the detection
    // threshold plus their spread, which depends on exposure and blue gain
    EXPECT_GE(r.count("    fixed="), 5u);
    EXPECT_EQ(0u, r.count(" written=0 ")) << r.output;
    EXPECT_EQ(2u, filesStartingWith("statistics")) << r.output;
    EXPECT_EQ(1u, filesStartingWith("VezaraSetupArgs_"));
    EXPECT_TRUE(exists("dataExtraction0.jux"));
    EXPECT_EQ(1u, filesStartingWith("defective_pixels"));
    EXPECT_EQ(1u, r.count("saving DPF output to defective_pixels0.dat\n"));
    // with the frame whose extraction was saved, after it
    EXPECT_LT(r.output.find("saving Bayer output to dataExtraction0.jux\n"),
              r.output.find("saving DPF output to defective_pixels0.dat\n"));
    EXPECT_FALSE(r.contains("failed to save to"));
    // the saved map lists the stuck-high pixel, found by detection
    std::ifstream file(dir / "defective_pixels0.dat", std::ios::binary);
    const std::vector<uint8_t> map{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    ASSERT_GE(map.size(), 8u);
    EXPECT_EQ(0u, map.size() % 8);
    bool listed = false;
    for (size_t at = 0; at + 8 <= map.size(); at += 8) {
        const uint32_t where = map[at] | map[at + 1] << 8 | map[at + 2] << 16 | static_cast<uint32_t>(map[at + 3]) << 24;
        listed = listed || (where == (100u | 80u << 16) && (map[at + 7] & 0x80) != 0);
    }
    EXPECT_TRUE(listed);
}

TEST_F(BrambleRun, FailedParameterSaveIsReported)
{
    placeSensor();
    std::filesystem::create_directory(dir / "VezaraSetupArgs_0.txt");
    const RunResult r = run(kSensorArgs, "s.x");
    ASSERT_EQ(0, r.status) << r.output;
    EXPECT_TRUE(r.contains("saving display output to display0.jux"));
    EXPECT_TRUE(r.contains("failed to save parameters to VezaraSetupArgs_0.txt")) << r.output;
    EXPECT_FALSE(r.contains("saving parameters to"));
}

}  // namespace
}  // namespace brambletest

namespace brambletest {
namespace {

TEST_F(BrambleRun, RunsFromEveryChipOfTheSensorTable)
{
    const char *names[] = {"AR330",    "OV4688",   "OV4689_0", "OV4689_1", "OV2718_0", "OV2718_1",
                           "OV10823_0", "OV10823_1", "OV5647_0", "OV5647_1", "IMX415",   "OV5695_0",
                           "OV5695_1", "OV5695_2", "S5K3P9",   "IMX219_0", "IMX219_1", "IMX335",
                           "IMX327",   "GC8034",   "GC5035",   "IMX662"};
    for (const std::string name : names) {
        SCOPED_TRACE(name);
        resetBoard();
        // "<chip>_<n>" sits at board position n, on I2C bus n; the GC8034 is
        // on bus 1, and the OV4688 on bus 0 is wired to PHY 1
        const size_t cut = name.find('_');
        unsigned bus = cut == std::string::npos ? 0 : static_cast<unsigned>(std::stoul(name.substr(cut + 1)));
        if (name == "GC8034")
            bus = 1;
        const auto model = simboard::chipModelByName(name.substr(0, cut));
        ASSERT_TRUE(model.has_value());
        simboard::SensorBoard::instance().place(bus, *model, name == "OV4688" ? 1 : -1);
        const RunResult r = run({"-sensor", name, "-setupFile", kSensorSetup}, ".x");
        EXPECT_EQ(0, r.status) << r.output;
        EXPECT_TRUE(r.contains("Frame 1 - sensor ")) << r.output;
        EXPECT_EQ(1u, display->scanouts()) << r.output;
    }
}

TEST_F(BrambleRun, SourceThatSendsNoFrameEndsTheRunWithAnError)
{
    // The ZYNQ generator opens without a chip; nothing on the simulated board
    // feeds its frames, so the first acquire times out.
    const RunResult r = run({"-sensor", "ZYNQ", "-setupFile", kSensorSetup, "-disableAWB"}, ".x");
    EXPECT_EQ(1, r.status);
    EXPECT_TRUE(r.contains("Frame 0 - sensor ")) << r.output;
    EXPECT_TRUE(r.contains("Failed to retrieve processed shot from pipeline.")) << r.output;
}

TEST_F(BrambleRun, StopStartKeyRestartsRightAfterAnEnqueue)
{
    placeSensor();
    const RunResult r = run(kSensorArgs, "@...x");
    ASSERT_EQ(0, r.status) << r.output;
    EXPECT_TRUE(r.contains("Testing stop-start issue\n"));
    EXPECT_EQ(1u, r.count("X*X*X Stop/start cycle after enqueue, shouldn't hang X*X*X \n"));
    EXPECT_TRUE(r.contains("Frame 4 - sensor "));
    // the gasket and monitor block printed in between, with the sensor stopped
    for (const char *line : {"\nGasket 0 is disabled\n", "\nRTM Core 0 0x", "\nRTM Context 0 status 0x",
                             "\nRTM Context 1 linked list emptiness 0x", "\nRTM Context 1 position 7 0x"})
        EXPECT_TRUE(r.contains(line)) << line;
}

TEST_F(BrambleRun, ToggleKeysReachTheLoopsAtTheNextFrame)
{
    placeSensor();
    const RunResult r = run({"-sensor", "OV5695_0", "-sensorMode", "2", "-setupFile", kSensorSetup}, "wuioe.x");
    ASSERT_EQ(0, r.status) << r.output;
    for (const char *line : {"AWB_Planckian 1: ", "AWB_Planckian 0: ", "TNMC 0: ", "TNMC 1: ", "DNSC 0\n", "DNSC 1\n",
                             "LBC 0: ", "LBC 1: ", "DPF: detect 0\n", "DPF: detect 1\n", "    fixed="})
        EXPECT_TRUE(r.contains(line)) << line;
    // each shows from the frame after its key on
    EXPECT_LT(r.output.find("Frame 1 - "), r.output.find("AWB_Planckian 0: "));
    EXPECT_LT(r.output.find("Frame 5 - "), r.output.find("DPF: detect 1\n"));
}

}  // namespace
}  // namespace brambletest

namespace brambletest {
namespace {

// The number after each `tag` of the printout, in frame order: the metered
// brightness of the exposure lines, the measured temperature of the
// white-balance lines.
std::vector<double> numbersAfter(const std::string &output, const std::string &tag)
{
    std::vector<double> values;
    for (size_t at = output.find(tag); at != std::string::npos; at = output.find(tag, at + 1))
        values.push_back(std::stod(output.substr(at + tag.size())));
    return values;
}

TEST_F(BrambleRun, AutoExposureAndWhiteBalanceConvergeOnTheScene)
{
    placeSensor();
    simboard::SensorBoard::instance().scene().lightLevel = 0.1;
    simboard::SensorBoard::instance().scene().colourTemperature = 3200;
    simboard::SensorBoard::instance().scene().map = simboard::SceneMap::Grey;
    std::string keys(24, '.');
    keys += 'x';
    const RunResult r = run({"-sensor", "OV5695_0", "-sensorMode", "2", "-setupFile", kSensorSetup}, keys);
    ASSERT_EQ(0, r.status) << r.output;
    const std::vector<double> metered = numbersAfter(r.output, "Metered/target brightness ");
    ASSERT_EQ(25u, metered.size());
    EXPECT_GT(std::abs(metered.front()), 0.1) << "the scene starts away from the target";
    EXPECT_LT(std::abs(metered.back()), 0.05) << r.output;
    EXPECT_LT(std::abs(metered.back()), std::abs(metered.front()));

    const std::vector<double> kelvin = numbersAfter(r.output, "measured temp ");
    ASSERT_EQ(25u, kelvin.size());
    EXPECT_EQ(25u, r.count("AWB_Planckian 1: measured temp "));
    EXPECT_NEAR(3200.0, kelvin.back(), 250.0) << r.output;
    // no loop's convergence is timed unless asked for
    EXPECT_FALSE(r.contains(" converged in ")) << r.output;
}

}  // namespace
}  // namespace brambletest

namespace brambletest {
namespace {

TEST_F(BrambleRun, ErroneousFrameIsNotSavedTheNextGoodOneIs)
{
    placeSensor();
    simboard::IspDriver::installed()->markFramesErroneous(1);
    const RunResult r = run({"-sensor", "OV5695_0", "-sensorMode", "2", "-setupFile", kSensorSetup}, "s..x");
    ASSERT_EQ(0, r.status) << r.output;
    EXPECT_EQ(1u, r.count("=== Frame is erroneous! ==="));
    EXPECT_TRUE(r.contains("frame is erroneous - skipping control module writing"));
    EXPECT_EQ(1u, r.count("saving display output to display0.jux"));
    // saved with the frame after the erroneous one
    EXPECT_LT(r.output.find("Frame 1 - sensor "), r.output.find("saving display output"));
    EXPECT_TRUE(exists("display0.jux"));
}

TEST_F(BrambleRun, MissedFramesAddUpToTheCountAtTheStop)
{
    placeSensor();
    simboard::IspDriver::installed()->corrupt(simboard::IspCorruption::AcquireMissedFrames, 3);
    const RunResult r = run({"-sensor", "OV5695_0", "-sensorMode", "2", "-setupFile", kSensorSetup}, "..x");
    ASSERT_EQ(0, r.status) << r.output;
    EXPECT_EQ(1u, r.count("=== Missed 3 frames before acquiring that one! ==="));
    EXPECT_TRUE(r.contains("total number of missed frames: 3\n")) << r.output;
}

}  // namespace
}  // namespace brambletest

namespace brambletest {
namespace {

const std::vector<std::string> kMode2Args = {"-sensor", "OV5695_0", "-sensorMode", "2", "-setupFile", kSensorSetup};

std::vector<std::string> mode2Plus(std::vector<std::string> more)
{
    more.insert(more.begin(), kMode2Args.begin(), kMode2Args.end());
    return more;
}

// "Sleeping" is printed, and the sleep made, before each enqueue only when a
// delay was asked for: the fixed one, else one drawn between the bounds.
TEST_F(BrambleRun, SleepsBeforeEachEnqueueOnlyWithADelay)
{
    const struct {
        std::vector<std::string> options;
        uint64_t sleep;  // microseconds before each of the three enqueues; 0 for none
    } cases[] = {
        {{}, 0},
        {{"-delay", "4321"}, 4321},
        {{"-randomDelayLow", "4000", "-randomDelayHigh", "4001"}, 4000},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.sleep);
        resetBoard();
        placeSensor();
        const RunResult r = run(mode2Plus(c.options), "..x");
        ASSERT_EQ(0, r.status) << r.output;
        const std::vector<uint64_t> &sleeps = simboard::Sleeps::log();
        if (c.sleep == 0) {
            EXPECT_EQ(0u, r.count("Sleeping")) << r.output;
            continue;
        }
        EXPECT_EQ(3u, r.count("Sleeping ")) << r.output;
        EXPECT_EQ(3u, r.count("\nSleeping " + std::to_string(c.sleep) + "\n")) << r.output;
        EXPECT_EQ(3, std::count(sleeps.begin(), sleeps.end(), c.sleep));
    }
}

// The stop/start key restarts the capture with the buffers enqueued again,
// with one buffer as with several, and the frames go on.
TEST_F(BrambleRun, StopStartKeyWithOneAndWithThreeBuffers)
{
    for (const char *buffers : {"1", "3"}) {
        SCOPED_TRACE(buffers);
        resetBoard();
        placeSensor();
        const RunResult r = run(mode2Plus({"-nBuffers", buffers}), "@..x");
        ASSERT_EQ(0, r.status) << r.output;
        EXPECT_EQ(1u, r.count("X*X*X Stop/start cycle after enqueue, shouldn't hang X*X*X \n"));
        EXPECT_FALSE(r.contains("pre-enqueuing")) << r.output;
        EXPECT_TRUE(r.contains("Frame 3 - sensor 720x1600 @30.04 (mode 2 - mosaic 4) - estimated FPS 0.00 (45 frames "
                               "avg. with " +
                               std::string(buffers) + " buffers)\n"))
            << r.output;
    }
}

// The window of 45 frames at 30 fps: its last frame (44) shows the first
// estimate, at least the window's frames over the run's time, and is followed
// by the state of the gasket the data generator feeds (MIPI, 4 lanes, a frame
// for each of the 44 shots taken and the one enqueued ahead) and of the
// real-time monitor.
TEST_F(BrambleRun, EstimateAndGasketBlockEndTheWindow)
{
    const auto start = std::chrono::steady_clock::now();
    const RunResult r = run({"-sensor", "IIF", "-setupFile", kDgSetup, "-DG_inputJUX", kJux, "-disableAWB",
                             "-DG_gasket", "1"},
                            std::string(44, '.') + "x");
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(0, r.status) << r.output;
    const std::string status = " - sensor 640x32 @30.00 (mode 0 - mosaic 1) - estimated FPS ";
    EXPECT_EQ(44u, r.count(status + "0.00 (45 frames avg. with 2 buffers)\n"));
    EXPECT_TRUE(r.contains("\nFrame 43" + status + "0.00 ")) << r.output;
    const std::string last = "\nFrame 44" + status;
    const size_t at = r.output.find(last);
    ASSERT_NE(std::string::npos, at) << r.output;
    EXPECT_GE(std::stod(r.output.substr(at + last.size())), 45 / seconds * 0.99) << seconds << " s";
    const size_t block = r.output.find("(45 frames avg. with 2 buffers)\n\nGasket 1 is enabled (MIPI) - frame count 45\n"
                                       "Gasket MIPI FIFO 0 - Enabled lanes 4\n"
                                       "Gasket MIPI CRC Error 0x0\n"
                                       "Gasket MIPI Header Error 0x0\n"
                                       "Gasket MIPI ECC Error 0x0\n"
                                       "Gasket MIPI ECC Correted 0x0\n"
                                       "Gasket MIPI SOT Error Count 0x0\n"
                                       "RTM Core 0 0x",
                                       at);
    EXPECT_LT(block, r.output.find("\nTS: ", at)) << r.output.substr(at, 2000);
    EXPECT_EQ(1u, r.count("\nGasket 1 "));
    EXPECT_EQ(8u, r.count("\nRTM Core "));
    EXPECT_EQ(10u, r.count("\nRTM Context 1 "));  // status, emptiness, 8 positions
    EXPECT_TRUE(r.contains("\nRTM Context 1 position 7 0x"));
}

// Imported buffers are shown on a plane: a display without one is refused at
// set-up; buffers copied to the display need none.
TEST_F(BrambleRun, ImportedBuffersNeedADisplayPlane)
{
    for (const bool import : {true, false}) {
        SCOPED_TRACE(import);
        resetBoard();
        placeSensor();
        display->setPlanePresent(false);
        const RunResult r = run(import ? mode2Plus({"-importBuffers"}) : kMode2Args, ".x");
        EXPECT_EQ(import ? 1 : 0, r.status) << r.output;
        EXPECT_EQ(import ? 1u : 0u, r.count("The display reports no plane to show imported buffers on\n")) << r.output;
        EXPECT_EQ(import ? 1u : 0u, r.count("Failed to setup TARN DRM\n"));
        EXPECT_EQ(import ? 0u : 1u, r.count("Frame 1 - sensor "));
    }
}

// The stop after the exit key drains the shots still in the ISP; one that
// cannot be acquired is named by its place among them (here the last of the
// two that three buffers leave pending), with the gasket and monitor block.
TEST_F(BrambleRun, FailedDrainNamesTheShot)
{
    placeSensor();
    // acquisitions: the frame of the exit key, then the two drained
    simboard::IspDriver::installed()->planFault(CI_CAPTURE_ACQUIRE, -EIO, 1, 2);
    const RunResult r = run(mode2Plus({"-nBuffers", "3"}), "x");
    EXPECT_EQ(1u, r.count("acquire shot 2/2 before stopping failed.\n")) << r.output;
    EXPECT_EQ(1u, r.count("\nGasket 0 is enabled (MIPI) - frame count ")) << r.output;
    EXPECT_FALSE(r.contains("total number of missed frames")) << "the stop went on";
}

// "e" switches defect detection and the map output on in the ISP: the frames
// after it find the stuck pixel and write it to the map.
TEST_F(BrambleRun, DefectKeyReachesTheIsp)
{
    placeSensor();
    simboard::SensorBoard::instance().scene().defects.push_back({100, 80, true});
    const RunResult r = run(kMode2Args, "e....x");
    ASSERT_EQ(0, r.status) << r.output;
    std::vector<unsigned long> written;
    const std::string tag = " written=";
    for (size_t at = r.output.find(tag); at != std::string::npos; at = r.output.find(tag, at + 1))
        written.push_back(std::stoul(r.output.substr(at + tag.size())));
    // one line a frame from the key's own on; that frame was taken without it
    ASSERT_EQ(6u, written.size()) << r.output;
    EXPECT_EQ(0u, written.front());
    EXPECT_GT(written.back(), 0u) << r.output;
}

}  // namespace
}  // namespace brambletest
