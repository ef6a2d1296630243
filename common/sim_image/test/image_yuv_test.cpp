#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include "jux_test_util.h"
#include "sim_image/image_jux.h"
#include "sim_image/image_yuv.h"

using namespace testutil;

namespace {

TEST(YuvName, FormatFromFileName)
{
    YUVLOADFORMAT f;
    const char *name = "clip_1920x1080_10bit_422pm.yuv";
    const char *part = nullptr;
    ASSERT_EQ(CImageYuv::GetLoadFormat(&f, name, &part), nullptr);
    EXPECT_EQ(f.width, 1920);
    EXPECT_EQ(f.height, 1080);
    EXPECT_EQ(f.bitDepth, 10);
    EXPECT_EQ(f.subsMode, SUBS_422);
    EXPECT_EQ(f.planeFormat, PLANEFMT_PLANAR);
    EXPECT_TRUE(f.msbAligned);
    EXPECT_EQ(part, name + 5);

    struct Case {
        const char *name;
        int bitDepth;
        subsamplingModeEnum subs;
        planeFormatsStr plane;
    };
    const Case cases[] = {
        {"a_64x48_444.yuv", 8, SUBS_444, PLANEFMT_INTER_YUV},
        {"a_64x48.yuv", 8, SUBS_420, PLANEFMT_PLANAR},
        {"A_64X48_12-BIT_YUYV.YUV", 12, SUBS_422, PLANEFMT_INTER_YUYV},
        {"dir_422/a_64x48.yuv", 8, SUBS_420, PLANEFMT_PLANAR},  // only the file's own name counts
        {"a_64x48_444pl.yuv", 10, SUBS_444, PLANEFMT_PLANAR},
        {"a_4440x444.yuv", 8, SUBS_420, PLANEFMT_PLANAR},  // the size's digits name no format
        // Bit depths of 1 to 15 only: 16 bits is passed over for the format's default.
        {"a_64x48_16bit_420.yuv", 8, SUBS_420, PLANEFMT_PLANAR},
        {"a_64x48_16bit_444pl.yuv", 10, SUBS_444, PLANEFMT_PLANAR},
        {"a_64x48_15bit_420.yuv", 15, SUBS_420, PLANEFMT_PLANAR},
        {"a_64x48_16bit_1bit.yuv", 1, SUBS_420, PLANEFMT_PLANAR},
    };
    for (const auto &c : cases) {
        ASSERT_EQ(CImageYuv::GetLoadFormat(&f, c.name, nullptr), nullptr) << c.name;
        EXPECT_EQ(f.bitDepth, c.bitDepth) << c.name;
        EXPECT_EQ(f.subsMode, c.subs) << c.name;
        EXPECT_EQ(f.planeFormat, c.plane) << c.name;
    }
    EXPECT_STREQ(CImageYuv::GetLoadFormat(&f, "a_20000x48_420.yuv", nullptr),
                 "Unable to detect YUV format from file name");
    // The failed name leaves a cleared record, not the last name's format.
    EXPECT_EQ(f.width, 0);
    EXPECT_EQ(f.height, 0);
    EXPECT_EQ(f.bitDepth, 0);
    EXPECT_EQ(f.subsMode, static_cast<subsamplingModeEnum>(0));
    EXPECT_EQ(f.planeFormat, static_cast<planeFormatsStr>(0));
    EXPECT_FALSE(f.msbAligned);
    EXPECT_STREQ(CImageYuv::GetLoadFormat(&f, "a_0x48.yuv", nullptr), "Unable to detect YUV format from file name");
    EXPECT_STREQ(CImageYuv::GetLoadFormat(&f, "a_48x10001.yuv", nullptr), "Unable to detect YUV format from file name");
    ASSERT_EQ(CImageYuv::GetLoadFormat(&f, "a_10000x10000.yuv", nullptr), nullptr);  // both at their largest
    EXPECT_EQ(f.width, 10000);
    EXPECT_EQ(f.height, 10000);
}

class Yuv : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.file("in.yuv");
};

TEST_F(Yuv, FrameCountFromFileLength)
{
    YUVLOADFORMAT f = {64, 48, SUBS_420, 8, PLANEFMT_PLANAR, false};
    for (size_t bytes : {4608u, 9215u}) {
        writeFile(path, Bytes(bytes, 0));
        CImageYuv im;
        ASSERT_EQ(im.LoadFileHeader(path.c_str(), &f), nullptr);
        EXPECT_EQ(im.GetNFrames(), 1);
        EXPECT_EQ(im.frameSize, 4608);
    }
    // Odd sizes: the chroma planes round up, 5 x 3 taking 3 x 2 chroma samples.
    {
        YUVLOADFORMAT oddSize = {5, 3, SUBS_420, 10, PLANEFMT_PLANAR, false};
        writeFile(path, Bytes(2 * 27, 0));
        CImageYuv im;
        ASSERT_EQ(im.LoadFileHeader(path.c_str(), &oddSize), nullptr);
        EXPECT_EQ(im.chnl[1].chnlWidth, 3);
        EXPECT_EQ(im.chnl[2].chnlHeight, 2);
        EXPECT_EQ(im.frameSize, 2 * (15 + 6 + 6));
        EXPECT_EQ(im.GetNFrames(), 1);
    }
    writeFile(path, Bytes(4607, 0));
    CImageYuv im;
    EXPECT_STREQ(im.LoadFileHeader(path.c_str(), &f), "File too short for a single frame");
    EXPECT_FALSE(im.IsHeaderLoaded());
    f.bitDepth = 16;
    EXPECT_STREQ(im.LoadFileHeader(path.c_str(), &f), "Unsupported bit depth");
    EXPECT_STREQ(im.LoadFileHeader(path.c_str(), nullptr), "Load format missing");
    YUVLOADFORMAT odd = {64, 48, SUBS_420, 8, PLANEFMT_INTER_YUYV, false};
    EXPECT_STREQ(im.LoadFileHeader(path.c_str(), &odd), "Unsupported YUV format");
}

TEST_F(Yuv, MsbAlignedSamples)
{
    // 1 x 1 4:4:4, 10 bits in the top of 16: 0xFFC0 reads as 1023.
    writeFile(path, {0xC0, 0xFF, 0x40, 0x00, 0x00, 0x80});
    YUVLOADFORMAT f = {1, 1, SUBS_444, 10, PLANEFMT_PLANAR, true};
    CImageYuv im;
    ASSERT_EQ(im.LoadFileHeader(path.c_str(), &f), nullptr);
    ASSERT_EQ(im.LoadFileData(0), nullptr);
    EXPECT_EQ(im.chnl[0].data[0], 1023);
    EXPECT_EQ(im.chnl[1].data[0], 1);
    EXPECT_EQ(im.chnl[2].data[0], 512);
    EXPECT_STREQ(im.LoadFileData(1), "Invalid frame index");
}

TEST_F(Yuv, InterleavedRoundTrip)
{
    // 4 x 1 YUYV: Y0 U0 Y1 V0 Y2 U1 Y3 V1.
    writeFile(path, {10, 100, 11, 200, 12, 101, 13, 201});
    YUVLOADFORMAT f = {4, 1, SUBS_422, 8, PLANEFMT_INTER_YUYV, false};
    CImageYuv im;
    ASSERT_EQ(im.LoadFileHeader(path.c_str(), &f), nullptr);
    ASSERT_EQ(im.LoadFileData(0), nullptr);
    EXPECT_EQ(im.chnl[0].data[3], 13);
    EXPECT_EQ(im.chnl[1].data[1], 101);
    EXPECT_EQ(im.chnl[2].data[0], 200);

    YUVSAVEFORMAT uyvy = {PLANEFMT_INTER_UYVY, false};
    const std::string out = dir.file("out.yuv");
    ASSERT_EQ(im.SaveSingleFrameImage(out.c_str(), &uyvy), nullptr);
    EXPECT_EQ(readFile(out), Bytes({100, 10, 200, 11, 101, 12, 201, 13}));
    EXPECT_STREQ(im.GetFormatString(&uyvy), "4x1_8bit_uyvy");
    YUVSAVEFORMAT planar = {PLANEFMT_PLANAR, false};
    EXPECT_STREQ(im.GetFormatString(&planar), "4x1_8bit_422p");

    // Unloaded, the image forgets the file's layout too.
    CImageYuv gone;
    YUVLOADFORMAT deep = {4, 1, SUBS_422, 10, PLANEFMT_INTER_YUYV, true};
    writeFile(dir.file("deep.yuv"), Bytes(16, 0));
    ASSERT_EQ(gone.LoadFileHeader(dir.file("deep.yuv").c_str(), &deep), nullptr);
    EXPECT_EQ(gone.planeFormat, PLANEFMT_INTER_YUYV);
    EXPECT_TRUE(gone.msbAligned);
    EXPECT_EQ(gone.Nframes, 1);
    gone.UnloadHeader();
    EXPECT_FALSE(gone.IsHeaderLoaded());
    EXPECT_EQ(gone.planeFormat, PLANEFMT_PLANAR);
    EXPECT_FALSE(gone.msbAligned);
    EXPECT_EQ(gone.frameSize, 0);
    EXPECT_EQ(gone.Nframes, 0);

    // Saved as JUX, one plane per channel.
    JUXSAVEFORMAT jf;
    CImageJux::GetSaveFormat(&jf, &im);
    EXPECT_EQ(jf.planeFormat[0], 1);
    CImageJux writer;
    const std::string jux = dir.file("yuv.jux");
    ASSERT_EQ(writer.SaveSingleFrameImage(jux.c_str(), &jf), nullptr);
    CImageJux back;
    ASSERT_EQ(back.LoadFileHeader(jux.c_str(), nullptr), nullptr);
    EXPECT_EQ(back.subsMode, SUBS_422);
    ASSERT_EQ(back.LoadFileData(0), nullptr);
    EXPECT_EQ(back.chnl[2].data[1], 201);
}

// Each interleaved layout puts the samples of a two-pixel row in its own
// order; it reads and writes back byte for byte and names itself.
TEST_F(Yuv, EveryInterleavedLayoutInItsOrder)
{
    struct Case {
        planeFormatsStr layout;
        subsamplingModeEnum subs;
        int bitDepth;
        Bytes file;
        std::vector<int> y, u, v;
        const char *name;
    };
    const Case cases[] = {
        {PLANEFMT_INTER_YUYV, SUBS_422, 8, {10, 100, 11, 200}, {10, 11}, {100}, {200}, "2x1_8bit_422i"},
        {PLANEFMT_INTER_YVYU, SUBS_422, 8, {10, 200, 11, 100}, {10, 11}, {100}, {200}, "2x1_8bit_yvyu"},
        {PLANEFMT_INTER_UYVY, SUBS_422, 8, {100, 10, 200, 11}, {10, 11}, {100}, {200}, "2x1_8bit_uyvy"},
        {PLANEFMT_INTER_VYUY, SUBS_422, 8, {200, 10, 100, 11}, {10, 11}, {100}, {200}, "2x1_8bit_vyuy"},
        {PLANEFMT_INTER_YUV, SUBS_444, 8, {10, 100, 200, 11, 101, 201}, {10, 11}, {100, 101}, {200, 201},
         "2x1_8bit_444i"},
        // Two bytes per sample, least significant first.
        {PLANEFMT_INTER_YUV,
         SUBS_444,
         10,
         {0x01, 0x02, 0x02, 0x00, 0xFF, 0x03, 0x03, 0x01, 0x00, 0x00, 0x04, 0x00},
         {0x201, 0x103},
         {2, 0},
         {0x3FF, 4},
         "2x1_10bit_444il"},
    };
    for (const auto &c : cases) {
        writeFile(path, c.file);
        YUVLOADFORMAT f = {2, 1, c.subs, static_cast<QOV_INT8>(c.bitDepth), c.layout, false};
        CImageYuv im;
        ASSERT_EQ(im.LoadFileHeader(path.c_str(), &f), nullptr) << c.name;
        EXPECT_EQ(im.frameSize, static_cast<QOV_INT64>(c.file.size())) << c.name;
        ASSERT_EQ(im.LoadFileData(0), nullptr) << c.name;
        const std::vector<int> *want[3] = {&c.y, &c.u, &c.v};
        for (int ch = 0; ch < 3; ch++) {
            ASSERT_EQ(im.chnl[ch].chnlWidth, static_cast<QOV_INT32>(want[ch]->size())) << c.name << " " << ch;
            for (size_t i = 0; i < want[ch]->size(); i++)
                EXPECT_EQ(im.chnl[ch].data[i], (*want[ch])[i]) << c.name << " " << ch << " " << i;
        }
        YUVSAVEFORMAT same;
        ASSERT_EQ(CImageYuv::GetSaveFormat(&same, &im), nullptr);
        EXPECT_EQ(same.planeFormat, c.layout) << c.name;
        const std::string out = dir.file("out.yuv");
        ASSERT_EQ(im.SaveSingleFrameImage(out.c_str(), &same), nullptr) << c.name;
        EXPECT_EQ(readFile(out), c.file) << c.name;
        EXPECT_STREQ(im.GetFormatString(nullptr), c.name);
    }
}

// A JUX image is written as YUV in the layout nearest to its planes.
TEST_F(Yuv, SaveFormatOfAJuxImage)
{
    struct Case {
        subsamplingModeEnum subs;
        const char *planes;
        planeFormatsStr layout;
    };
    const Case cases[] = {
        {SUBS_444, "3", PLANEFMT_INTER_YUV},   {SUBS_422, "3", PLANEFMT_INTER_YUYV},
        {SUBS_420, "3", PLANEFMT_PLANAR},      {SUBS_444, "1 1 1", PLANEFMT_PLANAR},
        {SUBS_422, "1 2", PLANEFMT_PLANAR},
    };
    const char *const names[] = {"", "444", "422", "420"};
    for (const auto &c : cases) {
        const std::string meta = std::string("WIDTH=2\nHEIGHT=2\nCOLOUR_FORMAT=YUV\nSUBSAMPLING=") + names[c.subs] +
                                 "\nPLANE_FORMAT=" + c.planes + "\nFRAME_SIZE=12\n";
        writeFile(dir.file("in.jux"), segment(meta, Bytes(12, 0)));
        CImageJux jux;
        ASSERT_EQ(jux.LoadFileHeader(dir.file("in.jux").c_str(), nullptr), nullptr) << meta;
        ASSERT_EQ(jux.subsMode, c.subs) << meta;
        YUVSAVEFORMAT fmt = {PLANEFMT_INTER_VYUY, true};
        ASSERT_EQ(CImageYuv::GetSaveFormat(&fmt, &jux), nullptr) << meta;
        EXPECT_EQ(fmt.planeFormat, c.layout) << meta;
        EXPECT_FALSE(fmt.msbAligned) << meta;
    }
    YUVSAVEFORMAT fmt;
    CImageJux grey;
    EXPECT_STREQ(CImageYuv::GetSaveFormat(&fmt, &grey), "Unsupported color model");
    EXPECT_STREQ(CImageYuv::GetSaveFormat(nullptr, &grey), "Unsupported color model");
    EXPECT_STREQ(CImageYuv::GetSaveFormat(&fmt, static_cast<CImageYuv *>(nullptr)), "Unsupported color model");
}

TEST_F(Yuv, FramesAndRefusedReads)
{
    YUVLOADFORMAT f = {2, 2, SUBS_420, 8, PLANEFMT_PLANAR, false};
    CImageYuv im;
    EXPECT_STREQ(im.LoadFileData(0), "File header not loaded");
    EXPECT_EQ(im.GetProperty(PROPERTY_SUPPORT_VIDEO), 1);
    writeFile(path, Bytes(6, 0));
    ASSERT_EQ(im.LoadFileHeader(path.c_str(), &f), nullptr);
    EXPECT_EQ(im.GetProperty(PROPERTY_IS_VIDEO), 0);
    writeFile(path, Bytes(12, 0));
    ASSERT_EQ(im.LoadFileHeader(path.c_str(), &f), nullptr);
    EXPECT_EQ(im.GetNFrames(), 2);
    EXPECT_EQ(im.GetProperty(PROPERTY_IS_VIDEO), 1);
    EXPECT_STREQ(im.LoadFileData(-1), "Invalid frame index");
    EXPECT_STREQ(im.LoadFileData(2), "Invalid frame index");
    // The file shrank under the reader: the frame is refused and no data kept.
    writeFile(path, Bytes(9, 0));
    EXPECT_STREQ(im.LoadFileData(1), "Error reading frame data");
    EXPECT_FALSE(im.IsDataLoaded());
    // An interleaved file likewise.
    YUVLOADFORMAT yuyv = {2, 1, SUBS_422, 8, PLANEFMT_INTER_YUYV, false};
    writeFile(path, Bytes(8, 0));
    ASSERT_EQ(im.LoadFileHeader(path.c_str(), &yuyv), nullptr);
    ASSERT_EQ(im.GetNFrames(), 2);
    writeFile(path, Bytes(6, 0));
    EXPECT_STREQ(im.LoadFileData(1), "Error reading frame data");
    EXPECT_FALSE(im.IsDataLoaded());
    unlink(path.c_str());
    EXPECT_STREQ(im.LoadFileData(0), "Error opening file");
    EXPECT_STREQ(im.LoadFileHeader(path.c_str(), &f), "Error opening file");
    EXPECT_FALSE(im.IsHeaderLoaded());
    YUVLOADFORMAT refused[] = {
        {0, 2, SUBS_420, 8, PLANEFMT_PLANAR, false},  {2, 0, SUBS_420, 8, PLANEFMT_PLANAR, false},
        {2, 2, SUBS_420, 0, PLANEFMT_PLANAR, false},  {2, 2, SUBS_422, 8, PLANEFMT_INTER_YUV, false},
        {2, 2, SUBS_RGGB, 8, PLANEFMT_PLANAR, false},
    };
    const char *const messages[] = {"Invalid image size", "Invalid image size", "Unsupported bit depth",
                                    "Unsupported YUV format", "Unsupported YUV format"};
    for (size_t i = 0; i < std::size(refused); i++)
        EXPECT_STREQ(im.LoadFileHeader(path.c_str(), &refused[i]), messages[i]) << i;
}

// Samples are saved in at most two bytes: deeper images are refused before a
// file is created, sixteen bits save whole.
TEST_F(Yuv, SaveRefusesDepthsBeyondSixteenBits)
{
    for (const int depth : {16, 17, 24}) {
        SCOPED_TRACE(depth);
        const QOV_INT8 depths[3] = {static_cast<QOV_INT8>(depth), static_cast<QOV_INT8>(depth),
                                    static_cast<QOV_INT8>(depth)};
        CImageYuv im;
        ASSERT_TRUE(im.CreateNewImage(2, 1, CM_YUV, SUBS_444, depths, nullptr));
        for (int ch = 0; ch < 3; ch++)
            for (int i = 0; i < 2; i++)
                im.chnl[ch].data[i] = 0xFFFF;
        const std::string out = dir.file("deep.yuv");
        unlink(out.c_str());
        YUVSAVEFORMAT fmt = {PLANEFMT_PLANAR, false};
        if (depth <= 16) {
            ASSERT_EQ(im.SaveSingleFrameImage(out.c_str(), &fmt), nullptr);
            EXPECT_EQ(readFile(out), Bytes(12, 0xFF));
        } else {
            EXPECT_STREQ(im.SaveSingleFrameImage(out.c_str(), &fmt), "Unsupported bit depth");
            EXPECT_NE(access(out.c_str(), F_OK), 0) << "a refused save created the file";
        }
    }
}

TEST_F(Yuv, OddWidthOfInterleaved422)
{
    writeFile(path, Bytes(63 * 2 * 2, 0));
    YUVLOADFORMAT f = {63, 1, SUBS_422, 8, PLANEFMT_INTER_YUYV, false};
    CImageYuv im;
    ASSERT_EQ(im.LoadFileHeader(path.c_str(), &f), nullptr);
    EXPECT_STREQ(im.LoadFileData(0), "Error: odd width not supported");

    const QOV_INT8 depths[3] = {8, 8, 8};
    ASSERT_TRUE(im.CreateNewImage(63, 1, CM_YUV, SUBS_422, depths, nullptr));
    YUVSAVEFORMAT yuyv = {PLANEFMT_INTER_YUYV, false};
    EXPECT_STREQ(im.SaveSingleFrameImage(dir.file("o.yuv").c_str(), &yuyv), "Error: odd width not supported");
    // A layout that does not suit the channels is refused, not over-read.
    ASSERT_TRUE(im.CreateNewImage(4, 2, CM_YUV, SUBS_420, depths, nullptr));
    YUVSAVEFORMAT il = {PLANEFMT_INTER_YUV, false};
    EXPECT_STREQ(im.SaveSingleFrameImage(dir.file("o.yuv").c_str(), &il), "Unsupported YUV format");
}

TEST_F(Yuv, PlanarSignedRoundTrip)
{
    const QOV_INT8 depths[3] = {10, -10, -10};
    CImageYuv im;
    ASSERT_TRUE(im.CreateNewImage(2, 2, CM_YUV, SUBS_420, depths, nullptr));
    for (int i = 0; i < 4; i++)
        im.chnl[0].data[i] = 1000 + i;
    im.chnl[1].data[0] = -512;
    im.chnl[2].data[0] = 511;
    YUVSAVEFORMAT fmt;
    ASSERT_EQ(CImageYuv::GetSaveFormat(&fmt, static_cast<CImageBase *>(&im)), nullptr);
    fmt.msbAligned = true;
    const std::string out = dir.file("p.yuv");
    ASSERT_EQ(im.SaveSingleFrameImage(out.c_str(), &fmt), nullptr);
    // Y 1000 << 6 = 0xFA00; U -512 + 512 = 0; V 511 + 512 = 1023 -> 0xFFC0.
    const Bytes b = readFile(out);
    ASSERT_EQ(b.size(), 12u);
    EXPECT_EQ(b[0], 0x00);
    EXPECT_EQ(b[1], 0xFA);
    EXPECT_EQ(b[8], 0x00);
    EXPECT_EQ(b[9], 0x00);
    EXPECT_EQ(b[10], 0xC0);
    EXPECT_EQ(b[11], 0xFF);
    // Every row of a plane in order: Y 1000..1003 << 6.
    EXPECT_EQ(b, Bytes({0x00, 0xFA, 0x40, 0xFA, 0x80, 0xFA, 0xC0, 0xFA, 0x00, 0x00, 0xC0, 0xFF}));

    CImageBase grey;
    ASSERT_TRUE(grey.CreateNewImage(2, 2, CM_GRAY, SUBS_UNDEF, depths, nullptr));
    EXPECT_STREQ(CImageYuv::GetSaveFormat(&fmt, &grey), "Unsupported color model");
    EXPECT_STREQ(grey.SaveSingleFrameImage(out.c_str(), &fmt), "Internal error");
    EXPECT_STREQ(im.SaveSingleFrameImage(out.c_str(), nullptr), "Save format missing");
}

}  // namespace
