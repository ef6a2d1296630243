// Bramble's display and saved files: the display mode chosen for the size of
// the display output, the display buffer of a 24-bit format, the size of
// imported buffers, and the names and numbers of saved files, of the save-all
// key included.
#include <drm_fourcc.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "LoopCamera.h"
#include "bramble_test_support.h"

namespace brambletest {
namespace {

class BrambleOutput : public BrambleRun {
protected:
    // A fresh board with the OV5695 placed, the hardware lacking `missing`.
    void freshBoard(QOV_UINT32 missing = 0)
    {
        resetBoard();
        placeSensor();
        simboard::IspProfile profile = simboard::IspProfile::standard();
        profile.info.eFunctionalities &= ~missing;
        simboard::IspDriver::installed()->setProfile(profile);
    }
    // A run of the OV5695 in its 720 x 1600 mode with a setup file of `setup`.
    RunResult runWith(const std::string &setup, const std::string &keys, std::vector<std::string> more = {})
    {
        std::ofstream(dir / "setup.txt") << setup;
        std::vector<std::string> args = {"-sensor", "OV5695_0", "-sensorMode", "2", "-setupFile",
                                         (dir / "setup.txt").string()};
        args.insert(args.end(), more.begin(), more.end());
        return run(args, keys);
    }
    void removeOutputs()
    {
        for (const auto &entry : std::filesystem::directory_iterator(dir))
            if (entry.path().filename() != "setup.txt")
                std::filesystem::remove_all(entry.path());
    }
};

TEST(BrambleDisplay, ModesByDisplaySize)
{
    const input_res_tarn_mode_map expected[7] = {
        {4096, 2160, 4176, "4096x2160"}, {2560, 1600, 2720, "2560x1600"}, {1920, 1200, 2052, "1920x1200"},
        {1920, 1080, 2200, "1920x1080"}, {1280, 768, 1440, "1280x768"},   {1280, 720, 1650, "1280x720"},
        {720, 1600, 992, "720x1600"},
    };
    for (int row = 0; row < 7; ++row) {
        SCOPED_TRACE(expected[row].modeName);
        EXPECT_EQ(expected[row].width, g_tarn_mode_map[row].width);
        EXPECT_EQ(expected[row].height, g_tarn_mode_map[row].height);
        EXPECT_EQ(expected[row].modeWidthTot, g_tarn_mode_map[row].modeWidthTot);
        EXPECT_STREQ(expected[row].modeName, g_tarn_mode_map[row].modeName);
    }
}

// A display output of a size the table does not list (720 x 800: its width
// is that of a row) is shown on the first mode, 4096x2160; the mode is named
// at set-up and on every frame. Each row of the output is copied to the left
// of its display row, and nothing else is written.
TEST_F(BrambleOutput, DisplaySizeOutsideTheTableTakesTheFirstMode)
{
    freshBoard();
    const RunResult r = runWith("OUT_DISP RGB888_32\nDSC_PITCH 1 2\n", "..x");
    ASSERT_EQ(0, r.status) << r.output;
    EXPECT_EQ(4u, r.count("Using mode 4096x2160 on connector 31\n")) << r.output;
    simboard::DisplayFrame frame;
    ASSERT_TRUE(display->lastFrame(frame));
    ASSERT_EQ(4096u, frame.width);
    ASSERT_EQ(2160u, frame.height);
    size_t lit = 0, outside = 0;
    std::vector<size_t> litInRow(800);
    for (size_t y = 0; y < frame.height; ++y)
        for (size_t x = 0; x < frame.pitch; ++x) {
            const bool image = y < 800 && x < 720 * 4;
            const bool on = frame.pixels[y * frame.pitch + x] != 0;
            (image ? lit : outside) += on;
            if (image)
                litInRow[y] += on;
        }
    EXPECT_GT(lit, 720u * 800);
    EXPECT_EQ(0u, outside);
    // every row of the output reaches the display, the first and the last too
    EXPECT_EQ(0, std::count(litInRow.begin(), litInRow.end(), size_t{0}));
}

// The mode must carry the row's name as well as its horizontal total.
TEST_F(BrambleOutput, ModeOfAnotherNameIsNotTaken)
{
    freshBoard();
    display->removeModes();
    display->addMode({"720x1600i", 720, 1600, 992, 1640});
    const RunResult r = runWith("OUT_DISP RGB888_32\n", "x");
    EXPECT_EQ(1, r.status);
    EXPECT_TRUE(r.contains("Failed to map DRM mode\n")) << r.output;
}

// A 24-bit display format gets a buffer of 3 bytes a pixel and its own code.
TEST_F(BrambleOutput, TwentyFourBitDisplayTakesThreeBytesAPixel)
{
    freshBoard();
    const RunResult r = runWith("OUT_DISP RGB888_24\n", "..x");
    ASSERT_EQ(0, r.status) << r.output;
    simboard::DisplayFrame frame;
    ASSERT_TRUE(display->lastFrame(frame));
    EXPECT_EQ(static_cast<uint32_t>(DRM_FORMAT_RGB888), frame.format);
    EXPECT_GE(frame.pitch, 3u * 720);
    EXPECT_LT(frame.pitch, 4u * 720);
    EXPECT_EQ(2176u, frame.pitch);  // this display pads rows to 64 bytes
}

// Imported buffers hold the output of the whole sensor frame, rounded up to
// whole pages: at 1280 x 720, NV21 takes 1280 x 720 + 1280 x 360 = 1382400
// bytes, 1384448 in pages of 4096; the 32-bit display 5120 x 720 = 3686400.
TEST_F(BrambleRun, ImportedBuffersAreSizedForTheSensorFrameInWholePages)
{
    simboard::SensorBoard::instance().place(0, *simboard::chipModelByName("S5K3P9"));
    auto driver = simboard::IspDriver::installed();
    driver->setRequestLimit(100000);
    const RunResult r =
        run({"-sensor", "S5K3P9", "-sensorMode", "6", "-setupFile", kSensorSetup, "-importBuffers"}, "d..x");
    ASSERT_EQ(0, r.status) << r.output;
    std::map<int, std::set<uint32_t>> sizes;  // by output
    for (const simboard::IspRequest &request : driver->requests()) {
        if (request.index != CI_CREATE_BUFF || request.result < 0 || request.record.size() != sizeof(CI_ALLOC_PARAM))
            continue;
        CI_ALLOC_PARAM param;
        std::memcpy(&param, request.record.data(), sizeof(param));
        if (param.fd != 0)
            sizes[param.type].insert(param.uiSize);
    }
    EXPECT_EQ(std::set<uint32_t>{1384448}, sizes[CI_ALLOC_ENC]) << r.output;
    EXPECT_EQ(std::set<uint32_t>{3686400}, sizes[CI_ALLOC_DISP]);
}

// A restart with imported buffers frees those of the capture it stops, their
// descriptors with them: two encoder saves (four restarts) never hold more
// than the display's buffer and one capture's, two of each output.
TEST_F(BrambleRun, RestartsFreeTheImportedBuffersOfTheStoppedCapture)
{
    placeSensor();
    const RunResult r = run({"-sensor", "OV5695_0", "-sensorMode", "2", "-setupFile", kSensorSetup, "-importBuffers"},
                            "d..d..x");
    ASSERT_EQ(0, r.status) << r.output;
    ASSERT_EQ(4u, r.count("re-starting capture to enable alternative output"));
    EXPECT_EQ(2u, r.count("saving YUV output to "));
    EXPECT_EQ(1u + 2 * 2, display->peakDumbBuffers());
    EXPECT_EQ(0u, display->liveDumbBuffers());
}

// With imported buffers the display output's own buffer goes on the plane,
// at its size and row pitch (here the display scaled to 720 x 800), whole
// and unscaled at the top left, with the frame in it; also after restarts (an encoder save), whose stopped captures'
// buffers and descriptors are gone and leave the shown one alone.
TEST_F(BrambleOutput, ImportedDisplayBufferIsShownAtItsSize)
{
    for (const char *keys : {"..x", "d..d..x"}) {
        SCOPED_TRACE(keys);
        freshBoard();
        const RunResult r = runWith("OUT_DISP RGB888_32\nDSC_PITCH 1 2\n", keys, {"-importBuffers"});
        ASSERT_EQ(0, r.status) << r.output;
        simboard::DisplayFrame frame;
        ASSERT_TRUE(display->lastFrame(frame));
        EXPECT_EQ(static_cast<uint32_t>(DRM_FORMAT_XRGB8888), frame.format);
        EXPECT_EQ(720u, frame.width);
        EXPECT_EQ(800u, frame.height);
        EXPECT_EQ(4u * 720, frame.pitch);
        size_t lit = 0;
        for (uint8_t byte : frame.pixels)
            lit += byte != 0;
        EXPECT_GT(lit, frame.pixels.size() / 2);
        // the whole buffer, unscaled, at the top left of the screen
        const simboard::PlaneGeometry &g = display->planeGeometry();
        EXPECT_EQ(0, g.crtcX);
        EXPECT_EQ(0, g.crtcY);
        EXPECT_EQ(720u, g.crtcWidth);
        EXPECT_EQ(800u, g.crtcHeight);
        EXPECT_EQ(0u, g.srcX);
        EXPECT_EQ(0u, g.srcY);
        EXPECT_EQ(720u << 16, g.srcWidth);
        EXPECT_EQ(800u << 16, g.srcHeight);
    }
}

// A run with imported buffers that fails in the middle of a capture still
// gives back their dumb buffers and descriptors (the fixture checks the
// descriptors once the run is over).
TEST_F(BrambleRun, FailedCaptureGivesBackTheImportedBuffers)
{
    placeSensor();
    simboard::IspDriver::installed()->planFault(CI_CAPTURE_ACQUIRE, -EIO);
    const RunResult r = run({"-sensor", "OV5695_0", "-sensorMode", "2", "-setupFile", kSensorSetup, "-importBuffers"},
                            "..x");
    EXPECT_EQ(1, r.status);
    EXPECT_TRUE(r.contains("Failed to retrieve processed shot from pipeline.\n")) << r.output;
    EXPECT_EQ(0u, display->liveDumbBuffers());
}

// Each save takes the next number for all its files.
TEST_F(BrambleOutput, EachSaveTakesTheNextNumber)
{
    freshBoard();
    const RunResult r = runWith("OUT_DISP RGB888_32\n", "s..s.x");
    ASSERT_EQ(0, r.status) << r.output;
    EXPECT_TRUE(r.contains("saving display output to display1.jux\n")) << r.output;
    EXPECT_TRUE(r.contains("saving parameters to VezaraSetupArgs_1.txt\n"));
    for (const char *file : {"display0.jux", "display1.jux", "VezaraSetupArgs_1.txt", "statistics1.dat",
                             "statistics1.txt"})
        EXPECT_TRUE(exists(file)) << file;
    EXPECT_FALSE(exists("display2.jux"));
}

// An output that cannot be written is warned about once per key, not
// retried on the next frames, and a save that wrote nothing takes no number.
TEST_F(BrambleOutput, FailedOutputIsNotRetriedAndTakesNoNumber)
{
    freshBoard();
    std::filesystem::create_directory(dir / "display0.jux");
    const RunResult r = runWith("OUT_DISP RGB888_32\n", "s..s.x");
    ASSERT_EQ(0, r.status) << r.output;
    EXPECT_EQ(2u, r.count("failed to saved to display0.jux\n")) << r.output;
    EXPECT_FALSE(r.contains("saving parameters"));
    EXPECT_FALSE(exists("statistics0.dat"));
    EXPECT_FALSE(exists("display1.jux"));
}

// The statistics saved with an output are warned about when they cannot be
// written, each under its own name, and not when they are.
TEST_F(BrambleOutput, StatisticsThatCannotBeWrittenAreWarnedAbout)
{
    const struct {
        const char *blocked;  // a folder in the place of this file; null for none
        const char *warning;
    } cases[] = {
        {nullptr, nullptr},
        {"statistics0.dat", "failed to open statistics statistics0.dat\n"},
        {"statistics0.txt", "failed to open txt statistics statistics0.txt\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.blocked ? c.blocked : "none");
        freshBoard();
        removeOutputs();
        if (c.blocked)
            std::filesystem::create_directory(dir / c.blocked);
        const RunResult r = runWith("OUT_DISP RGB888_32\n", "s.x");
        ASSERT_EQ(0, r.status) << r.output;
        EXPECT_TRUE(exists("display0.jux"));
        EXPECT_EQ(c.warning ? 1u : 0u, r.count("saveResults() failed to open ")) << r.output;
        if (c.warning) {
            EXPECT_EQ(1u, r.count(c.warning)) << r.output;
        }
    }
}

// The encoder's file is named with the encoder's own size (here scaled to
// half) and its format's alignment (8 for the 10-bit formats).
TEST_F(BrambleOutput, EncoderFileNamesItsSizeFormatAndAlignment)
{
    freshBoard();
    const RunResult r = runWith("OUT_DISP RGB888_32\nOUT_ENC NV12-10bit\nESC_PITCH 2 2\n", "d..x");
    ASSERT_EQ(0, r.status) << r.output;
    EXPECT_TRUE(r.contains("saving YUV output to encoder0-360x800-NV12-10bit-align8.yuv\n")) << r.output;
    EXPECT_TRUE(exists("encoder0-360x800-NV12-10bit-align8.yuv"));
}

// The save-all key saves every output the setup file names that the
// hardware has, each after the restart that switches it on; "g" after it
// uses the generated default format again.
TEST_F(BrambleOutput, SaveAllKeySavesWhatTheSetupFileNames)
{
    const struct {
        const char *what;
        std::string setup;
        QOV_UINT32 missing;
        const char *keys;
        std::vector<const char *> files;
        std::vector<const char *> absent;  // prefixes of files not written
    } cases[] = {
        {"display and HDR extraction",
         "OUT_DISP RGB888_32\nOUT_DE_HDF BGR101010_32\n",
         0,
         "a..g..x",
         {"display0.jux", "hdrExtraction0.jux", "raw2DExtraction1.jux"},
         {"encoder", "dataExtraction", "raw2DExtraction0", "display1"}},
        {"encoder and data extraction; the display once it is back",
         "OUT_DISP RGB888_32\nOUT_ENC NV21\nOUT_DE BAYER10\n",
         0,
         "a....x",
         {"encoder0-720x1600-NV21-align1.yuv", "dataExtraction0.jux", "display1.jux"},
         {"hdrExtraction", "raw2DExtraction", "display0"}},
        // a setup file cannot name an output the hardware lacks
        {"RAW 2D extraction on hardware without HDR extraction", "OUT_DISP RGB888_32\nOUT_DE_RAW2D TIFF10\n",
         CI_INFO_SUPPORTED_HDR_EXT, "a..x", {"display0.jux", "raw2DExtraction0.jux"}, {"hdrExtraction"}},
        {"HDR extraction on hardware without RAW 2D extraction", "OUT_DISP RGB888_32\nOUT_DE_HDF BGR101010_32\n",
         CI_INFO_SUPPORTED_RAW2D_EXT, "a..x", {"display0.jux", "hdrExtraction0.jux"}, {"raw2DExtraction"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        freshBoard(c.missing);
        removeOutputs();
        const RunResult r = runWith(c.setup, c.keys);
        ASSERT_EQ(0, r.status) << r.output;
        for (const char *file : c.files)
            EXPECT_TRUE(exists(file)) << file << "\n" << r.output;
        for (const char *prefix : c.absent)
            EXPECT_EQ(0u, filesStartingWith(prefix)) << prefix;
    }
}

// "g" and "h" each need their own output in the hardware; without it they
// warn and change nothing.
TEST_F(BrambleOutput, ExtractionKeysNeedTheirOwnHardware)
{
    const char *const noHdr = "cannot enable HDR extraction, HW does not support it!\n";
    const char *const noRaw2D = "cannot enable RAW 2D extraction, HW does not support it!\n";
    const struct {
        QOV_UINT32 missing;
        std::vector<const char *> saved;  // prefixes of the files written
        std::vector<const char *> warnings;
    } cases[] = {
        {CI_INFO_SUPPORTED_HDR_EXT, {"raw2DExtraction0"}, {noHdr}},
        {CI_INFO_SUPPORTED_RAW2D_EXT, {"hdrExtraction0"}, {noRaw2D}},
        {CI_INFO_SUPPORTED_HDR_EXT | CI_INFO_SUPPORTED_RAW2D_EXT, {}, {noHdr, noRaw2D}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.missing);
        freshBoard(c.missing);
        removeOutputs();
        const RunResult r = runWith("OUT_DISP RGB888_32\n", "gh...x");
        ASSERT_EQ(0, r.status) << r.output;
        EXPECT_EQ(c.saved.size(), filesStartingWith("raw2DExtraction") + filesStartingWith("hdrExtraction"));
        for (const char *prefix : c.saved)
            EXPECT_EQ(1u, filesStartingWith(prefix)) << r.output;
        for (const char *warning : c.warnings)
            EXPECT_EQ(1u, r.count(warning)) << r.output;
        // each output saved restarts the capture to switch it on and again to switch it off
        EXPECT_EQ(2 * c.saved.size(), r.count("re-starting capture to enable alternative output"));
    }
}

}  // namespace
}  // namespace brambletest
