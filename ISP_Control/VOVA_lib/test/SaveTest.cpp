// Saving shot outputs: file names, the raw statistics writers, the buffer
// writers' row lengths, untiling, and failures that must not pass for
// success. Shots are made by hand around a camera's pipeline on the board.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "sim_image/sim_image.h"
#include "vova/Camera.h"
#include "vova/CameraFactory.h"
#include "vova/Pipeline.h"
#include "vova/Save.h"
#include "vova/Sensor.h"
#include "vova/Shot.h"
#include "save_test_support.h"
#include "vova_test_support.h"

using namespace VOVA;
using vovatest::readFile;

namespace {

// A linear plane of `stride` bytes per line laid out in tiles of 4096 bytes,
// `tileW` bytes by `tileH` lines, row after row of tiles.
std::vector<QOV_UINT8> tiledPlane(const std::vector<QOV_UINT8> &linear, QOV_UINT32 stride, QOV_UINT32 tileW,
                             QOV_UINT32 tileH)
{
    std::vector<QOV_UINT8> out(linear.size());
    const QOV_UINT32 lines = static_cast<QOV_UINT32>(linear.size() / stride);
    for (QOV_UINT32 y = 0; y < lines; y++)
        for (QOV_UINT32 x = 0; x < stride; x++) {
            const size_t tile = (y / tileH) * (stride / tileW) + x / tileW;
            out[tile * 4096 + (y % tileH) * tileW + x % tileW] = linear[y * stride + x];
        }
    return out;
}

class SaveTest : public vovatest::BoardTest {
protected:
    void SetUp() override
    {
        vovatest::BoardTest::SetUp();
        placeChip();
        folder = std::filesystem::path(testing::TempDir()) / ("vova_save_" + std::to_string(getpid()));
        std::filesystem::create_directories(folder);
    }
    void TearDown() override
    {
        camera.reset();
        std::filesystem::remove_all(folder);
        vovatest::BoardTest::TearDown();
    }
    // A programmed camera on `context` with the given output formats.
    void makeCamera(unsigned context, const char *encoder, const char *display, const char *hdrInsertion = "NONE")
    {
        camera = std::make_unique<Camera>(context, vovatest::kSensorId, vovatest::kSensorMode, SENSOR_FLIP_NONE);
        ASSERT_EQ(QOV_SUCCESS, CameraFactory::populateCameraFromHWVersion(*camera, camera->getSensor()));
        ParameterList list;
        list.addParameter(Parameter("OUT_ENC", encoder), true);
        list.addParameter(Parameter("OUT_DISP", display), true);
        list.addParameter(Parameter("OUT_DI_HDF", hdrInsertion), true);
        ASSERT_EQ(QOV_SUCCESS, camera->loadParameters(list));
    }
    const Pipeline &pipeline() { return *camera->getPipeline(); }
    std::string path(const std::string &name) { return (folder / name).string(); }

    std::filesystem::path folder;
    std::unique_ptr<Camera> camera;
};

TEST_F(SaveTest, OutputFileNamesCarryTheContextNumberAsANumber)
{
    struct Case {
        unsigned context;
        const char *encoder;
        const char *display;
        const char *encoderName;
        const char *displayName;
    } const cases[] = {
        {0, "NV21", "RGB888_32", "encoder0_640x480_NV21_align1.yuv", "display0.jux"},
        {1, "420PL12YUV10", "444IL3YCrCb8", "encoder1_640x480_NV21-10bit_align8.yuv",
         "display1_320x240_YUV_444_align3.yuv"},
        {1, "NONE", "NONE", "", ""},
    };
    for (const Case &c : cases) {
        makeCamera(c.context, c.encoder, c.display);
        MC_PIPELINE *mc = camera->getPipeline()->getMCPipeline();
        mc->sESC.aOutputSize[0] = 640;
        mc->sESC.aOutputSize[1] = 480;
        mc->sDSC.aOutputSize[0] = 320;
        mc->sDSC.aOutputSize[1] = 240;
        vovatest::LogCapture log;
        EXPECT_EQ(c.encoderName, Save::getEncoderFilename(pipeline())) << c.encoder;
        EXPECT_EQ(c.displayName, Save::getDisplayFilename(pipeline())) << c.display;
        EXPECT_EQ(c.encoderName[0] == 0, log.contains("Invalid encoder format!"));
        EXPECT_EQ(c.displayName[0] == 0, log.contains("Invalid display format!"));
        camera.reset();
    }
}

TEST_F(SaveTest, RawStatisticsAreFramedByTheSizeOfWhatTheBlockHolds)
{
    makeCamera(0, "NV21", "RGB888_32");
    for (QOV_UINT32 size : {6108u, 100u}) {
        std::vector<QOV_UINT8> block(size);
        for (QOV_UINT32 i = 0; i < size; i++)
            block[i] = static_cast<QOV_UINT8>(i * 7);
        Shot shot;
        shot.stats.data = block.data();
        shot.stats.size = size;
        shot.stats.stride = 6108;
        shot.stats.elementSize = 4;
        const std::string file = path("stats.bin");
        ASSERT_EQ(QOV_SUCCESS, Save::SingleStats(pipeline(), shot, file));
        const std::string expected = "#stats-" + std::to_string(size) + "B#" +
                                     std::string(block.begin(), block.end()) + "#stats-done#";
        EXPECT_EQ(expected, readFile(file));
        if (size == 6108) {
            EXPECT_EQ(13u + 6108u + 12u, readFile(file).size());
        }
    }
}

TEST_F(SaveTest, DefectAndEncoderOutputsAreWrittenUnchangedOrLeftEmpty)
{
    makeCamera(0, "NV21", "RGB888_32");
    const QOV_UINT32 words[4] = {(7u << 16) | 5u, 0x80AB0123u, (2u << 16) | 9u, 0x00050042u};
    struct Case {
        QOV_UINT32 size;
        QOV_UINT32 elementSize;
        bool written;
    } const cases[] = {{16, 8, true}, {0, 8, false}, {4, 8, false}, {16, 0, true}};
    for (const Case &c : cases) {
        Shot shot;
        shot.DPF = {reinterpret_cast<const QOV_UINT8 *>(words), c.size, c.size, c.elementSize};
        shot.ENS = shot.DPF;
        vovatest::LogCapture log;
        ASSERT_EQ(QOV_SUCCESS, Save::SingleDPF(pipeline(), shot, path("dpf.bin")));
        ASSERT_EQ(QOV_SUCCESS, Save::SingleENS(pipeline(), shot, path("ens.bin")));
        const std::string expected = c.written ? std::string(reinterpret_cast<const char *>(words), c.size) : "";
        EXPECT_EQ(expected, readFile(path("dpf.bin"))) << c.size;
        EXPECT_EQ(expected, readFile(path("ens.bin"))) << c.size;
        EXPECT_EQ(!c.written, log.contains("no pixel corrected! '" + path("dpf.bin") +
                                           "' will be empty for that frame!"));
        EXPECT_EQ(!c.written, log.contains("no ENS stats generated!"));
    }
}

TEST_F(SaveTest, OpeningTwiceKeepsTheFirstFileAndWritersNeedAnOpenBytesFile)
{
    makeCamera(0, "NV21", "RGB888_32");
    Shot shot;
    Save save;
    // never opened: the writers refuse the type, not a stale one
    EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, save.saveStats(shot));
    EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, save.close());

    ASSERT_EQ(QOV_SUCCESS, save.open(Save::Bytes, pipeline(), path("first.bin")));
    EXPECT_EQ(QOV_ERROR_ALREADY_EXISTS, save.open(Save::YUV, pipeline(), path("second.bin")));
    EXPECT_EQ(path("first.bin"), save.getFilename());
    EXPECT_EQ(QOV_SUCCESS, save.saveStats(shot));
    EXPECT_EQ(QOV_SUCCESS, save.close());
    EXPECT_EQ("#stats-0B##stats-done#", readFile(path("first.bin")));
    EXPECT_FALSE(std::filesystem::exists(path("second.bin")));

    {
        vovatest::LogCapture log;
        EXPECT_EQ(QOV_ERROR_NOT_INITIALISED, save.saveDPF(shot));
        EXPECT_EQ(QOV_ERROR_NOT_INITIALISED, save.saveENS(shot));
        EXPECT_EQ(QOV_ERROR_NOT_INITIALISED, save.save(shot));
        EXPECT_TRUE(log.contains("File is not open, cannot save DPF"));
        EXPECT_TRUE(log.contains("File is not open, cannot save ENS"));
        EXPECT_TRUE(log.contains("File is not open, cannot save\n"));
    }
    ASSERT_EQ(QOV_SUCCESS, save.open(Save::YUV, pipeline(), path("yuv.bin")));
    EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, save.saveDPF(shot));
    EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, save.saveENS(shot));
    EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, save.saveStats(shot));
    EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, save.saveTxtStats(shot));
    EXPECT_EQ(QOV_SUCCESS, save.close());
    EXPECT_EQ("", readFile(path("yuv.bin")));

    vovatest::LogCapture log;
    EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, Save::Single(pipeline(), shot, Save::Bytes, path("bytes.bin")));
    EXPECT_TRUE(log.contains("VOVA::Save::Bytes is not supported - use a specific function"));
    EXPECT_FALSE(std::filesystem::exists(path("bytes.bin")));
}

TEST_F(SaveTest, YuvRowsAreCutToTheirMeaningfulBytes)
{
    makeCamera(0, "NV21", "RGB888_32");
    struct Case {
        pxlFormat format;
        QOV_UINT32 width, height;
        size_t lumaRow, chromaRow, chromaLines;
    } const cases[] = {
        {YVU_420_PL12_8, 10, 4, 10, 10, 2},
        {YVU_422_PL12_8, 10, 4, 10, 10, 4},
        {YVU_420_PL12_10, 10, 4, 16, 16, 2},  // ceil(10 / 6) x 8
        {YUV_422_PL12_10, 13, 2, 24, 24, 2},  // ceil(13 / 6) x 8
    };
    for (const Case &c : cases) {
        std::vector<QOV_UINT8> memory(32 * 8);
        for (size_t i = 0; i < memory.size(); i++)
            memory[i] = static_cast<QOV_UINT8>(i);
        Shot shot;
        shot.YUV.width = c.width;
        shot.YUV.height = c.height;
        shot.YUV.stride = shot.YUV.strideCbCr = 32;
        shot.YUV.vstride = shot.YUV.vstrideCbCr = 4;
        shot.YUV.offsetCbCr = 128;
        shot.YUV.pxlFormat = c.format;
        shot.YUV.data = memory.data();
        {
            vovatest::LogCapture log;  // a save that works says nothing
            ASSERT_EQ(QOV_SUCCESS, Save::Single(pipeline(), shot, Save::YUV, path("enc.yuv")));
            EXPECT_EQ(log.text(), "") << FormatString(c.format);
        }
        std::string expected;
        for (size_t l = 0; l < c.height; l++)
            expected.append(reinterpret_cast<const char *>(memory.data()) + l * 32, c.lumaRow);
        for (size_t l = 0; l < c.chromaLines; l++)
            expected.append(reinterpret_cast<const char *>(memory.data()) + 128 + l * 32, c.chromaRow);
        EXPECT_EQ(expected, readFile(path("enc.yuv"))) << FormatString(c.format);
    }
}

// A packed Ycc display goes to a plain file: every line cut to its pixels
// (3 bytes each, 4 at 10 bits) out of lines longer than that, from the
// buffer's first byte.
TEST_F(SaveTest, PackedYccDisplayRowsAreCutToTheirPixels)
{
    struct Case {
        const char *name;
        pxlFormat format;
        size_t row;
        QOV_UINT32 offset;
    } const cases[] = {{"444IL3YCrCb8", PXL_ISP_444IL3YCrCb8, 15, 0},
                       {"444IL3YCbCr10", PXL_ISP_444IL3YCbCr10, 20, 24}};
    for (const Case &c : cases) {
        makeCamera(0, "NV21", c.name);
        std::vector<QOV_UINT8> memory(24 * 4);
        for (size_t i = 0; i < memory.size(); i++)
            memory[i] = static_cast<QOV_UINT8>(i * 7 + 1);
        Shot shot;
        shot.DISPLAY = {5, 3, 24, 3, 0, 0, c.offset, 0, c.format, memory.data(), 0, false};
        ASSERT_EQ(QOV_SUCCESS, Save::Single(pipeline(), shot, Save::Display, path("disp.yuv"))) << c.name;
        std::string expected;
        for (size_t l = 0; l < 3; l++)
            expected.append(reinterpret_cast<const char *>(memory.data()) + c.offset + l * 24, c.row);
        EXPECT_EQ(expected, readFile(path("disp.yuv"))) << c.name;
        camera.reset();
    }
}

// Every RGB display format is written at the display size with its own
// depth, a frame of the display's rows.
TEST_F(SaveTest, RgbDisplayFilesTakeTheirFormatsFrames)
{
    struct Case {
        const char *name;
        pxlFormat format;
        QOV_UINT8 depth;
    } const cases[] = {{"RGB888_24", RGB_888_24, 8},         {"BGR888_24", BGR_888_24, 8},
                       {"RGB888_32", RGB_888_32, 8},         {"BGR888_32", BGR_888_32, 8},
                       {"RGB101010_32", RGB_101010_32, 10}, {"BGR101010_32", BGR_101010_32, 10}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        makeCamera(0, "NV21", c.name);
        // the display scaler's output: a small frame
        camera->getPipeline()->getMCPipeline()->sDSC.aOutputSize[0] = 32;
        camera->getPipeline()->getMCPipeline()->sDSC.aOutputSize[1] = 4;
        std::vector<QOV_UINT8> memory(160 * 4);
        for (size_t i = 0; i < memory.size(); i++)
            memory[i] = static_cast<QOV_UINT8>(i * 5 + 3);
        Shot shot;
        shot.DISPLAY = {32, 4, 160, 4, 0, 0, 0, 0, c.format, memory.data(), 0, false};
        ASSERT_EQ(QOV_SUCCESS, Save::Single(pipeline(), shot, Save::Display, path("rgb.jux")));
        sSimImageIn in;
        SimImageIn_init(&in);
        ASSERT_EQ(QOV_SUCCESS, SimImageIn_loadJUX(&in, path("rgb.jux").c_str()));
        EXPECT_EQ(c.depth, in.info.ui8BitDepth);
        EXPECT_EQ(32u, in.info.ui32Width);
        EXPECT_EQ(4u, in.info.ui32Height);
        EXPECT_EQ(1u, in.nFrames);
        SimImageIn_close(&in);
        camera.reset();
    }
}

TEST_F(SaveTest, BuffersThatAreAbsentTooSmallOrNotTiledAreRefusedWithoutReadingThem)
{
    makeCamera(0, "NV21", "RGB888_32");
    Shot shot;  // no output at all
    shot.YUV.pxlFormat = YVU_420_PL12_8;
    shot.YUV.width = 64;
    shot.YUV.height = 4;
    shot.DISPLAY.pxlFormat = RGB_888_32;
    shot.DISPLAY.width = 64;
    shot.DISPLAY.height = 4;
    {
        vovatest::LogCapture log;
        EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, Save::Single(pipeline(), shot, Save::YUV, path("a.yuv")));
        EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, Save::Single(pipeline(), shot, Save::Display, path("a.jux")));
        EXPECT_TRUE(log.contains("the shot holds no data for this output"));
    }
    // a display buffer whose lines are shorter than its width needs
    std::vector<QOV_UINT8> memory(64 * 4);
    shot.DISPLAY.data = memory.data();
    shot.DISPLAY.stride = 64;
    shot.DISPLAY.vstride = 4;
    {
        vovatest::LogCapture log;
        EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, Save::Single(pipeline(), shot, Save::Display, path("b.jux")));
        EXPECT_TRUE(log.contains("the RGB plane holds 4 lines of 64 bytes, 4 lines of 256 bytes needed"));
    }
    Buffer result;
    {
        vovatest::LogCapture log;
        EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, Save::untileRGB(shot.DISPLAY, 256, 16, result));
        EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, Save::untileYUV(shot.YUV, 256, 16, result));
        EXPECT_TRUE(log.contains("RGB buffer is not tiled! Cannot untile it!"));
        EXPECT_TRUE(log.contains("YUV buffer is not tiled! Cannot untile it!"));
    }
    Save save;
    ASSERT_EQ(QOV_SUCCESS, save.open(Save::Bytes, pipeline(), path("c.bin")));
    vovatest::LogCapture log;
    EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, save.untile(shot, result));
    EXPECT_TRUE(log.contains("Cannot untile the associated save format"));
}

// Each writer refuses, before writing anything, a buffer it cannot write:
// tiled, of another kind of format, without data or with lines too short.
TEST_F(SaveTest, WritersRefuseBuffersTheyCannotWriteAndWriteNothing)
{
    makeCamera(0, "NV21", "RGB888_32");
    std::vector<QOV_UINT8> memory(256 * 32, 0x33);
    const Buffer bayer = {64, 32, 256, 32, 0, 0, 0, 0, BAYER_RGGB_10, memory.data(), 0, false};
    const Buffer tiff = {64, 32, 256, 32, 0, 0, 0, 0, BAYER_TIFF_12, memory.data(), 0, false};
    const Buffer rgb = {16, 8, 64, 8, 0, 0, 0, 0, RGB_888_32, memory.data(), 0, false};
    const Buffer ycc = {16, 8, 48, 8, 0, 0, 0, 0, PXL_ISP_444IL3YCrCb8, memory.data(), 0, false};
    const Buffer yuv = {16, 8, 16, 8, 16, 4, 0, 128, YVU_420_PL12_8, memory.data(), 0, false};
    const auto with = [](Buffer b, auto change) {
        change(b);
        return b;
    };
    const auto tiled = [](Buffer &b) { b.isTiled = true; };
    const auto noData = [](Buffer &b) { b.data = nullptr; };
    typedef QOV_RESULT (Save::*Writer)(const Buffer &);
    const Writer saveBayer = &Save::saveBayer, saveTiff = &Save::saveTiff, saveYUV = &Save::saveYUV,
                 savePacked = &Save::saveYUV_Packed;
    const Writer saveRGB = static_cast<Writer>(&Save::saveRGB);
    struct Case {
        const char *name;
        Writer writer;
        Buffer buffer;
        QOV_RESULT result;
        const char *message;
    } const cases[] = {
        {"tiled Bayer", saveBayer, with(bayer, tiled), QOV_ERROR_NOT_SUPPORTED, "cannot save tiled bayer buffer"},
        {"tiled TIFF", saveTiff, with(tiff, tiled), QOV_ERROR_NOT_SUPPORTED, "cannot save tiled TIFF buffer"},
        {"RGB as Bayer", saveBayer, rgb, QOV_ERROR_NOT_SUPPORTED, " is not Bayer\n"},
        {"RGB as TIFF", saveTiff, rgb, QOV_ERROR_NOT_SUPPORTED, " is not Bayer TIFF\n"},
        {"Bayer without data", saveBayer, with(bayer, noData), QOV_ERROR_INVALID_ARGUMENT,
         "the shot holds no data for this output"},
        {"Bayer plane too short", saveBayer, with(bayer, [](Buffer &b) { b.vstride = 31; }), QOV_ERROR_FAILURE,
         "failed to convert Bayer frame"},
        {"TIFF too wide", saveTiff, with(tiff, [](Buffer &b) { b.width = 0x10000; }), QOV_ERROR_FAILURE,
         "failed to convert raw2D Tiff Bayer frame"},
        {"TIFF too high", saveTiff, with(tiff, [](Buffer &b) { b.height = 0x10000; }), QOV_ERROR_FAILURE,
         "failed to convert raw2D Tiff Bayer frame"},
        {"tiled RGB", saveRGB, with(rgb, tiled), QOV_ERROR_NOT_SUPPORTED,
         "cannot save tiled RGB buffer - untile it first!"},
        {"YUV as RGB", saveRGB, yuv, QOV_ERROR_NOT_SUPPORTED, " is not RGB\n"},
        {"RGB lines too short", saveRGB, with(rgb, [](Buffer &b) { b.stride = 63; }), QOV_ERROR_INVALID_ARGUMENT,
         "the RGB plane holds 8 lines of 63 bytes, 8 lines of 64 bytes needed"},
        {"packed Ycc lines too short", savePacked, with(ycc, [](Buffer &b) { b.stride = 47; }),
         QOV_ERROR_INVALID_ARGUMENT, "the YUV plane holds 8 lines of 47 bytes, 8 lines of 48 bytes needed"},
        {"packed Ycc plane too short", savePacked, with(ycc, [](Buffer &b) { b.vstride = 7; }),
         QOV_ERROR_INVALID_ARGUMENT, "the YUV plane holds 7 lines of 48 bytes, 8 lines of 48 bytes needed"},
        {"tiled YUV", saveYUV, with(yuv, tiled), QOV_ERROR_NOT_SUPPORTED, "cannot saved tiled YUV buffer"},
        {"RGB as YUV", saveYUV, rgb, QOV_ERROR_NOT_SUPPORTED, " is not YUV\n"},
        {"chroma plane too short", saveYUV, with(yuv, [](Buffer &b) { b.vstrideCbCr = 3; }),
         QOV_ERROR_INVALID_ARGUMENT, "the chroma plane holds 3 lines of 16 bytes, 4 lines of 16 bytes needed"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Save save;
        ASSERT_EQ(QOV_SUCCESS, save.open(Save::Bytes, pipeline(), path("refused.bin")));
        vovatest::LogCapture log;
        EXPECT_EQ(c.result, (save.*c.writer)(c.buffer));
        EXPECT_TRUE(log.contains(c.message)) << log.text();
        ASSERT_EQ(QOV_SUCCESS, save.close());
        EXPECT_EQ("", readFile(path("refused.bin")));
    }
    // a display writer sends packed Ycc and RGB each to its own writer
    Save save;
    ASSERT_EQ(QOV_SUCCESS, save.open(Save::Bytes, pipeline(), path("display.bin")));
    EXPECT_EQ(QOV_SUCCESS, save.saveDisplay(ycc));
    EXPECT_EQ(QOV_SUCCESS, save.saveDisplay(rgb));
    Shot shot;
    shot.DISPLAY = rgb;
    EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, save.save(shot));  // a bytes file takes no image
    ASSERT_EQ(QOV_SUCCESS, save.close());
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(memory.data()), 16 * 8 * 3 + 16 * 8 * 4),
              readFile(path("display.bin")));
}

// Untiling refuses a buffer of another kind, one without data, and planes
// narrower than a tile, and leaves the result alone; a save that cannot
// untile its buffer fails with it.
TEST_F(SaveTest, UntilingRefusesWhatItCannotUntile)
{
    std::vector<QOV_UINT8> memory(1024 * 32, 0x44);
    const Buffer rgb = {64, 16, 256, 16, 0, 0, 0, 0, RGB_888_32, memory.data(), 0, true};
    const Buffer yuv = {256, 16, 256, 16, 256, 8, 0, 4096, YVU_420_PL12_8, memory.data(), 0, true};
    typedef QOV_RESULT (*Untile)(const Buffer &, unsigned, unsigned, Buffer &);
    const auto with = [](Buffer b, auto change) {
        change(b);
        return b;
    };
    const auto noData = [](Buffer &b) { b.data = nullptr; };
    struct Case {
        const char *name;
        Untile untile;
        Buffer buffer;
        QOV_RESULT result;
        const char *message;
    } const cases[] = {
        {"YUV as RGB", &Save::untileRGB, yuv, QOV_ERROR_NOT_SUPPORTED, " is not RGB\n"},
        {"RGB without data", &Save::untileRGB, with(rgb, noData), QOV_ERROR_INVALID_ARGUMENT,
         "the shot holds no data for this output"},
        {"RGB narrower than a tile", &Save::untileRGB, with(rgb, [](Buffer &b) { b.stride = 128; }),
         QOV_ERROR_FAILURE, "failed to detile RGB buffer"},
        {"RGB as YUV", &Save::untileYUV, rgb, QOV_ERROR_NOT_SUPPORTED, " is not YUV\n"},
        {"YUV without data", &Save::untileYUV, with(yuv, noData), QOV_ERROR_INVALID_ARGUMENT,
         "the shot holds no data for this output"},
        {"luma narrower than a tile", &Save::untileYUV, with(yuv, [](Buffer &b) { b.stride = 128; }),
         QOV_ERROR_FAILURE, "failed to convert the Y tiled buffer!"},
        {"chroma narrower than a tile", &Save::untileYUV, with(yuv, [](Buffer &b) { b.strideCbCr = 128; }),
         QOV_ERROR_FAILURE, "failed to convert the CbCr tiled buffer!"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Buffer result;
        vovatest::LogCapture log;
        EXPECT_EQ(c.result, c.untile(c.buffer, 256, 16, result));
        EXPECT_TRUE(log.contains(c.message)) << log.text();
        EXPECT_EQ(nullptr, result.data);
    }
    makeCamera(0, "NV21", "RGB888_32");
    Shot shot;
    shot.DISPLAY = with(rgb, [](Buffer &b) { b.stride = 128; });
    vovatest::LogCapture log;
    EXPECT_EQ(QOV_ERROR_FAILURE, Save::Single(pipeline(), shot, Save::Display, path("narrow.jux")));
    EXPECT_TRUE(log.contains("failed to detile RGB buffer")) << log.text();
}

TEST_F(SaveTest, ATiledDisplayIsUntiledWithTheHardwareTileSize)
{
    struct Case {
        bool scheme512;
        QOV_UINT32 tileW, tileH;
        const char *message;
    } const cases[] = {{false, 256, 16, "untiling RGB buffer 256x16 - str=1024"},
                       {true, 512, 8, "untiling RGB buffer 512x8 - str=1024"}};
    for (const Case &c : cases) {
        if (c.scheme512)
            driver->setProfile(simboard::IspProfile::tilingScheme512());
        makeCamera(0, "NV21", "RGB888_32");
        // 2 x 2 tiles: a 256-pixel wide RGB888_32 image of two tile rows
        const QOV_UINT32 stride = 2 * 512, lines = 2 * c.tileH;
        std::vector<QOV_UINT8> linear(stride * lines), tiled(stride * lines);
        for (size_t i = 0; i < linear.size(); i++)
            linear[i] = static_cast<QOV_UINT8>(i * 13 + i / 512);
        for (QOV_UINT32 y = 0; y < lines; y++)
            for (QOV_UINT32 x = 0; x < stride; x++) {
                const size_t tile = (y / c.tileH) * (stride / c.tileW) + x / c.tileW;
                tiled[tile * 4096 + (y % c.tileH) * c.tileW + x % c.tileW] = linear[y * stride + x];
            }
        Shot shot;
        shot.DISPLAY = {256, lines, stride, lines, 0, 0, 0, 0, RGB_888_32, tiled.data(), 3, true};
        Save save;
        ASSERT_EQ(QOV_SUCCESS, save.open(Save::Display, pipeline(), path("tiled.jux")));
        Buffer untiled;
        vovatest::LogCapture log;
        ASSERT_EQ(QOV_SUCCESS, save.untile(shot, untiled));
        EXPECT_TRUE(log.contains(c.message)) << c.message;
        EXPECT_FALSE(untiled.isTiled);
        EXPECT_EQ(0u, untiled.id);
        EXPECT_EQ(0, memcmp(linear.data(), untiled.data, linear.size())) << c.message;
        free(const_cast<QOV_UINT8 *>(untiled.data));
        EXPECT_EQ(QOV_SUCCESS, save.save(shot));  // untiled again on the way
        EXPECT_EQ(QOV_SUCCESS, save.close());
        camera.reset();
    }
}

// A tiled encoder output is saved as its planes untiled, each row cut to its
// meaningful bytes, with the tile size of the hardware's scheme.
TEST_F(SaveTest, ATiledYuvOutputIsSavedUntiled)
{
    for (const bool scheme512 : {false, true}) {
        SCOPED_TRACE(scheme512 ? "scheme 512" : "scheme 256");
        const QOV_UINT32 tileW = scheme512 ? 512 : 256, tileH = 4096 / tileW;
        if (scheme512)
            driver->setProfile(simboard::IspProfile::tilingScheme512());
        makeCamera(0, "NV21", "RGB888_32");
        // NV21 200 pixels wide in lines of 1024 bytes: 2 x 2 luma tiles, 2 x 1 chroma tiles
        const QOV_UINT32 stride = 1024, width = 200, height = 2 * tileH;
        std::vector<QOV_UINT8> luma(stride * height), chroma(stride * height / 2);
        for (size_t i = 0; i < luma.size(); i++)
            luma[i] = static_cast<QOV_UINT8>(i * 7 + i / 1024);
        for (size_t i = 0; i < chroma.size(); i++)
            chroma[i] = static_cast<QOV_UINT8>(i * 11 + i / 1024 + 3);
        std::vector<QOV_UINT8> memory = tiledPlane(luma, stride, tileW, tileH);
        const std::vector<QOV_UINT8> tiledChroma = tiledPlane(chroma, stride, tileW, tileH);
        memory.insert(memory.end(), tiledChroma.begin(), tiledChroma.end());
        Shot shot;
        shot.YUV = {width,  height, stride, height, stride, height / 2, 0, static_cast<QOV_UINT32>(luma.size()),
                    YVU_420_PL12_8, memory.data(), 5, true};

        Save save;
        ASSERT_EQ(QOV_SUCCESS, save.open(Save::YUV, pipeline(), path("tiled.yuv")));
        Buffer untiled;
        {
            vovatest::LogCapture log;
            ASSERT_EQ(QOV_SUCCESS, save.untile(shot, untiled));
            EXPECT_TRUE(log.contains("untiling YUV buffer " + std::to_string(tileW) + "x" + std::to_string(tileH) +
                                     " - str=1024"))
                << log.text();
        }
        EXPECT_FALSE(untiled.isTiled);
        EXPECT_EQ(0u, untiled.id);
        EXPECT_EQ(luma.size(), untiled.offsetCbCr);
        EXPECT_EQ(0, memcmp(luma.data(), untiled.data, luma.size()));
        EXPECT_EQ(0, memcmp(chroma.data(), untiled.data + luma.size(), chroma.size()));
        free(const_cast<QOV_UINT8 *>(untiled.data));
        ASSERT_EQ(QOV_SUCCESS, save.save(shot));
        ASSERT_EQ(QOV_SUCCESS, save.close());

        std::string expected;
        for (QOV_UINT32 l = 0; l < height; l++)
            expected.append(reinterpret_cast<const char *>(luma.data()) + l * stride, width);
        for (QOV_UINT32 l = 0; l < height / 2; l++)
            expected.append(reinterpret_cast<const char *>(chroma.data()) + l * stride, width);
        EXPECT_EQ(expected, readFile(path("tiled.yuv")));
        camera.reset();
    }
}

// A data-extraction or RAW 2D file is described with the sensor's Bayer order,
// the format's depth and the image size; a sensor without an order has none.
TEST_F(SaveTest, BayerFilesCarryTheSensorsOrderTheDepthAndTheImageSize)
{
    Sensor sensor;
    sensor.uiWidth = 64;
    sensor.uiHeight = 32;
    camera = std::make_unique<Camera>(0, &sensor);
    ASSERT_EQ(QOV_SUCCESS, CameraFactory::populateCameraFromHWVersion(*camera, &sensor));
    ParameterList list;
    list.addParameter(Parameter("OUT_DE", "BAYER10"), true);
    list.addParameter(Parameter("OUT_DE_POINT", "1"), true);
    list.addParameter(Parameter("OUT_DE_RAW2D", "TIFF12"), true);
    ASSERT_EQ(QOV_SUCCESS, camera->loadParameters(list));
    struct Case {
        MOSAICType mosaic;
        sSimImageColourModel model;
    } const cases[] = {{MOSAIC_RGGB, SimImage_RGGB},
                       {MOSAIC_GRBG, SimImage_GRBG},
                       {MOSAIC_GBRG, SimImage_GBRG},
                       {MOSAIC_BGGR, SimImage_BGGR}};
    for (const Case &c : cases) {
        sensor.eBayerFormat = c.mosaic;
        for (const auto &[type, depth] : {std::pair{Save::Bayer, 10}, std::pair{Save::Bayer_TIFF, 12}}) {
            SCOPED_TRACE(std::to_string(c.mosaic) + (type == Save::Bayer ? " data extraction" : " RAW 2D"));
            std::vector<QOV_UINT8> memory(256 * 32, 0x11);
            Shot shot;
            shot.BAYER = {64, 32, 256, 32, 0, 0, 0, 0, BAYER_RGGB_10, memory.data(), 0, false};
            shot.RAW2DEXT = {64, 32, 256, 32, 0, 0, 0, 0, BAYER_TIFF_12, memory.data(), 0, false};
            Save save;
            ASSERT_EQ(QOV_SUCCESS, save.open(type, pipeline(), path("bayer.jux")));
            ASSERT_EQ(QOV_SUCCESS, save.save(shot));
            ASSERT_EQ(QOV_SUCCESS, save.close());
            sSimImageIn in;
            SimImageIn_init(&in);
            ASSERT_EQ(QOV_SUCCESS, SimImageIn_loadJUX(&in, path("bayer.jux").c_str()));
            EXPECT_EQ(c.model, in.info.eColourModel);
            EXPECT_EQ(depth, in.info.ui8BitDepth);
            EXPECT_EQ(1u, in.nFrames);
            EXPECT_EQ(64u, in.info.ui32Width);
            EXPECT_EQ(32u, in.info.ui32Height);
            SimImageIn_close(&in);
        }
    }
    sensor.eBayerFormat = MOSAIC_NONE;
    Save save;
    vovatest::LogCapture log;
    EXPECT_EQ(QOV_ERROR_FAILURE, save.open(Save::Bayer, pipeline(), path("none.jux")));
    EXPECT_FALSE(save.isOpened());
    EXPECT_TRUE(log.contains("unsupported bayer format in sensor")) << log.text();
}

// An HDR insertion buffer is written at the image size of the pipeline, and
// only when it holds that many bytes.
TEST_F(SaveTest, AnHdrInsertionBufferIsWrittenAtTheImageSize)
{
    makeCamera(0, "NV21", "RGB888_32", "BGR161616_64");
    const Global_Setup setup = pipeline().getGlobalSetup();
    const size_t row = setup.ui32ImageWidth * 8;
    std::vector<QOV_UINT8> memory(row * setup.ui32ImageHeight + 64, 0x5A);
    CI_BUFFER buffer{7, memory.data(), static_cast<QOV_UINT32>(memory.size())};
    ASSERT_EQ(QOV_SUCCESS, Save::SingleHDF(pipeline(), buffer, path("hdr.jux")));
    sSimImageIn in;
    SimImageIn_init(&in);
    ASSERT_EQ(QOV_SUCCESS, SimImageIn_loadJUX(&in, path("hdr.jux").c_str()));
    EXPECT_EQ(1u, in.nFrames);
    EXPECT_EQ(setup.ui32ImageWidth, in.info.ui32Width);
    EXPECT_EQ(setup.ui32ImageHeight, in.info.ui32Height);
    EXPECT_EQ(16, in.info.ui8BitDepth);
    SimImageIn_close(&in);

    buffer.ui32Size = static_cast<QOV_UINT32>(row * setup.ui32ImageHeight - 1);
    vovatest::LogCapture log;
    EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, Save::SingleHDF(pipeline(), buffer, path("short.jux")));
    EXPECT_TRUE(log.contains("failed to save HDR insertion to '" + path("short.jux") + "'"));
}

// Writes that do not reach the file are failures, not successes.
TEST_F(SaveTest, WritesThatDoNotReachTheFileAreReported)
{
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    makeCamera(0, "NV21", "RGB888_32");
    std::vector<QOV_UINT8> block(6108, 1), luma(8192 * 2, 2);
    Shot shot;
    shot.stats = {block.data(), 6108, 6108, 4};
    shot.DPF = {block.data(), 16, 16, 8};
    shot.ENS = shot.DPF;
    shot.YUV = {8192, 2, 8192, 2, 8192, 1, 0, 8192, YVU_420_PL12_8, luma.data(), 0, false};
    vovatest::LogCapture log;
    EXPECT_NE(QOV_SUCCESS, Save::SingleStats(pipeline(), shot, "/dev/full"));
    EXPECT_NE(QOV_SUCCESS, Save::SingleDPF(pipeline(), shot, "/dev/full"));
    EXPECT_NE(QOV_SUCCESS, Save::SingleENS(pipeline(), shot, "/dev/full"));
    EXPECT_NE(QOV_SUCCESS, Save::SingleTxtStats(*camera, shot, "/dev/full"));
    // a luma row that cannot be written gives the file's failure, not a time-out
    EXPECT_EQ(QOV_ERROR_FAILURE, Save::Single(pipeline(), shot, Save::YUV, "/dev/full"));
    EXPECT_TRUE(log.contains("failed to save statistics output to '/dev/full'"));
    EXPECT_TRUE(log.contains("failed to save DPF output to '/dev/full'"));
    EXPECT_TRUE(log.contains("failed to save ENS output to '/dev/full'"));
    EXPECT_TRUE(log.contains("failed to save text statistics output to '/dev/full'"));
    EXPECT_TRUE(log.contains("failed to write YUV's luma frame!"));
}

TEST_F(SaveTest, OpeningFailuresLeaveTheObjectClosed)
{
    makeCamera(0, "NV21", "NONE");
    struct Case {
        Save::SaveType type;
        QOV_RESULT result;
        const char *message;
    } const cases[] = {
        {Save::Display, QOV_ERROR_NOT_SUPPORTED, "registered context does not have a correct RGB or YUV444 format: NONE"},
        {Save::Bayer, QOV_ERROR_NOT_SUPPORTED, "registered context does not have a correct bayer format: NONE"},
        {Save::RGB_EXT, QOV_ERROR_NOT_SUPPORTED, "registered context does not have a correct RGB or YUV444 format"},
        {static_cast<Save::SaveType>(7), QOV_ERROR_NOT_INITIALISED, ""},  // outside the kinds
    };
    for (const Case &c : cases) {
        Save save;
        vovatest::LogCapture log;
        EXPECT_EQ(c.result, save.open(c.type, pipeline(), path("x")));
        EXPECT_FALSE(save.isOpened());
        EXPECT_TRUE(log.contains(c.message)) << c.message;
    }
    Save save;
    EXPECT_EQ(QOV_ERROR_FAILURE, save.open(Save::Bytes, pipeline(), path("no/such/folder/x")));
    EXPECT_FALSE(save.isOpened());
}

}  // namespace
