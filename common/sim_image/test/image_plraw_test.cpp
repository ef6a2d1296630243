#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image_test_util.h"
#include "jux_test_util.h"
#include "sim_image/image_jux.h"
#include "sim_image/image_plraw.h"

using namespace testutil;

namespace {

using V = std::vector<PIXEL>;

TEST(PlRawName, FormatFromFileName)
{
    struct Case {
        const char *name;
        int width, height, bitDepth;
        colorModelEnum model;
        subsamplingModeEnum subs;
        int partAt;
    };
    const Case cases[] = {
        {"shot_1280x720_12bit_bggr.raw", 1280, 720, 12, CM_RGGB, SUBS_BGGR, 5},
        {"frame_64x64.rgb", 64, 64, 8, CM_RGB, SUBS_UNDEF, 6},
        {"FRAME_64X64.RGB", 64, 64, 8, CM_RGB, SUBS_UNDEF, 6},
        {"x_64x64_rgbw.raw", 64, 64, 8, CM_RGB, SUBS_UNDEF, 2},  // "rgb" followed by a letter
        {"rggb_64x64.raw", 64, 64, 8, CM_RGB, SUBS_UNDEF, 5},    // a pattern at the very start
        {"a_gbrg_8x4_10-bit.raw", 8, 4, 10, CM_RGGB, SUBS_GBRG, 2},
        {"gbrg/a_8x4.raw", 8, 4, 8, CM_RGB, SUBS_UNDEF, 7},       // only the file's own name counts
        {"a_8x4_16bit_bggr.raw", 8, 4, 8, CM_RGGB, SUBS_BGGR, 2}, // 16 bits is no bit depth: the default
        {"a_8x4_15bit_bggr.raw", 8, 4, 15, CM_RGGB, SUBS_BGGR, 2},
        {"a_8x4_bggr.rgb", 8, 4, 8, CM_RGB, SUBS_UNDEF, 2},      // the extension decides
        {"a_8x4_xbggr.raw", 8, 4, 8, CM_RGB, SUBS_UNDEF, 2},     // a letter before the pattern
        {"a_8x4_bggrx.raw", 8, 4, 8, CM_RGB, SUBS_UNDEF, 2},     // a letter after it
        {"a_8x4_x_grbg.raw", 8, 4, 8, CM_RGGB, SUBS_GRBG, 2},
    };
    for (const auto &c : cases) {
        PLRAWLOADFORMAT f;
        const char *part = nullptr;
        ASSERT_EQ(CImagePlRaw::GetLoadFormat(&f, c.name, &part), nullptr) << c.name;
        EXPECT_EQ(f.width, c.width) << c.name;
        EXPECT_EQ(f.height, c.height) << c.name;
        EXPECT_EQ(f.bitDepth, c.bitDepth) << c.name;
        EXPECT_EQ(f.colorModel, c.model) << c.name;
        EXPECT_EQ(f.subsMode, c.subs) << c.name;
        EXPECT_EQ(part, c.name + c.partAt) << c.name;
    }
    // A name without a size leaves a cleared record, not the last name's format.
    PLRAWLOADFORMAT f;
    ASSERT_EQ(CImagePlRaw::GetLoadFormat(&f, "a_8x4_12bit_bggr.raw", nullptr), nullptr);
    EXPECT_STREQ(CImagePlRaw::GetLoadFormat(&f, "shot_bggr.raw", nullptr),
                 "Unable to detect plain raw format from file name");
    EXPECT_EQ(f.width, 0);
    EXPECT_EQ(f.height, 0);
    EXPECT_EQ(f.bitDepth, 0);
    EXPECT_EQ(f.colorModel, static_cast<colorModelEnum>(0));
    EXPECT_EQ(f.subsMode, static_cast<subsamplingModeEnum>(0));
}

class PlRaw : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.file("in.raw");
};

TEST_F(PlRaw, MosaicFramesReadAndWrittenBack)
{
    const std::string name = fixture("shot_4x2_10bit_grbg.raw");
    PLRAWLOADFORMAT lf;
    ASSERT_EQ(CImagePlRaw::GetLoadFormat(&lf, name.c_str(), nullptr), nullptr);
    CImagePlRaw im;
    ASSERT_EQ(im.LoadFileHeader(name.c_str(), &lf), nullptr);
    EXPECT_EQ(im.colorModel, CM_RGGB);
    EXPECT_EQ(im.subsMode, SUBS_GRBG);
    EXPECT_EQ(im.frameSize, 16);
    // Rows 0 111 222 333 / 444 555 666 777 in GRBG order; frame 1 adds 100.
    for (int frame = 0; frame < 2; frame++) {
        ASSERT_EQ(im.LoadFileData(frame), nullptr);
        const int d = 100 * frame;
        EXPECT_EQ(samples(im, 0), V({111 + d, 333 + d}));
        EXPECT_EQ(samples(im, 1), V({0 + d, 222 + d}));
        EXPECT_EQ(samples(im, 2), V({555 + d, 777 + d}));
        EXPECT_EQ(samples(im, 3), V({444 + d, 666 + d}));
    }
    EXPECT_STREQ(im.LoadFileData(2), "Invalid frame index");
    EXPECT_STREQ(im.LoadFileData(-1), "Invalid frame index");
    EXPECT_STREQ(im.LoadFileData(1 << 30), "Invalid frame index");

    PLRAWSAVEFORMAT sf;
    ASSERT_EQ(CImagePlRaw::GetSaveFormat(&sf, &im), nullptr);
    EXPECT_EQ(sf.bitDepth, 10);
    EXPECT_EQ(sf.rangeMax[3], 1023);
    EXPECT_STREQ(im.GetFormatString(&sf), "4x2_10bit_grbg");
    ASSERT_EQ(im.LoadFileData(0), nullptr);
    ASSERT_EQ(im.SaveSingleFrameImage(path.c_str(), &sf), nullptr);
    const Bytes all = readFile(name);
    EXPECT_EQ(readFile(path), Bytes(all.begin(), all.begin() + 16));
}

TEST_F(PlRaw, SamplesMappedFromTheirRange)
{
    const QOV_INT8 depths[3] = {10, 10, 10};
    CImagePlRaw im;
    ASSERT_TRUE(im.CreateNewImage(2, 1, CM_RGB, SUBS_UNDEF, depths, nullptr));
    const PIXEL values[3][2] = {{1023, 512}, {100, 200}, {-5, 2000}};
    for (int k = 0; k < 3; k++)
        for (int x = 0; x < 2; x++)
            im.chnl[k].data[x] = values[k][x];
    // Red over its full range, green over an empty range, blue clamped.
    PLRAWSAVEFORMAT sf = {8, {0, 100, 0, 0}, {1023, 100, 1023, 0}};
    ASSERT_EQ(im.SaveSingleFrameImage(path.c_str(), &sf), nullptr);
    EXPECT_EQ(readFile(path), Bytes({255, 0, 0, 127, 0, 255}));
    EXPECT_STREQ(im.GetFormatString(&sf), "2x1_8bit_rgb");

    PLRAWLOADFORMAT lf = {2, 1, 8, CM_RGB, SUBS_UNDEF};
    CImagePlRaw back;
    ASSERT_EQ(back.LoadFileHeader(path.c_str(), &lf), nullptr);
    ASSERT_EQ(back.LoadFileData(0), nullptr);
    EXPECT_EQ(samples(back, 0), V({255, 127}));
    EXPECT_EQ(samples(back, 2), V({0, 255}));

    // Three-byte samples of a deep file.
    PLRAWSAVEFORMAT deep = {20, {0, 0, 0, 0}, {1023, 1023, 1023, 0}};
    ASSERT_EQ(im.SaveSingleFrameImage(path.c_str(), &deep), nullptr);
    EXPECT_EQ(readFile(path).size(), 18u);
    EXPECT_STREQ(im.SaveSingleFrameImage("/dev/full", &deep), "Error writing frame data");
}

// A mosaic sample is mapped with the range of its own channel: in GRBG the
// top-left pixel is channel 1. Channel k maps 10 k .. 10 k + 255 to 0..255.
TEST_F(PlRaw, MosaicSamplesUseTheRangeOfTheirChannel)
{
    const QOV_INT8 depths[4] = {10, 10, 10, 10};
    const PIXEL hundred[4] = {100, 100, 100, 100};
    CImagePlRaw im;
    ASSERT_TRUE(im.CreateNewImage(2, 2, CM_RGGB, SUBS_GRBG, depths, hundred));
    PLRAWSAVEFORMAT sf = {8, {0, 10, 20, 30}, {255, 265, 275, 285}};
    ASSERT_EQ(im.SaveSingleFrameImage(path.c_str(), &sf), nullptr);
    EXPECT_EQ(readFile(path), Bytes({90, 100, 70, 80}));
}

TEST_F(PlRaw, JuxDisplayRangeGivesTheSaveRange)
{
    const std::string jux = dir.file("in.jux");
    writeFile(jux, segment("WIDTH=2\nHEIGHT=1\nCOLOUR_FORMAT=RGB\nBITDEPTH=12\n"
                           "CHANNEL_DISPLAY_MIN=16 32\nCHANNEL_DISPLAY_MAX=4000\n",
                           Bytes(12, 0)));
    CImageJux im;
    ASSERT_EQ(im.LoadFileHeader(jux.c_str(), nullptr), nullptr);
    PLRAWSAVEFORMAT sf;
    ASSERT_EQ(CImagePlRaw::GetSaveFormat(&sf, &im), nullptr);
    EXPECT_EQ(sf.bitDepth, 12);
    EXPECT_EQ(sf.rangeMin[0], 16);
    EXPECT_EQ(sf.rangeMin[2], 32);  // the last value repeats
    EXPECT_EQ(sf.rangeMax[1], 4000);
    // Only the image's channels take a display range.
    PLRAWSAVEFORMAT base;
    ASSERT_EQ(CImagePlRaw::GetSaveFormat(&base, static_cast<CImageBase *>(&im)), nullptr);
    EXPECT_EQ(sf.rangeMin[3], base.rangeMin[3]);
    EXPECT_EQ(sf.rangeMax[3], base.rangeMax[3]);
    // The base class's overload keeps the full range.
    ASSERT_EQ(CImagePlRaw::GetSaveFormat(&sf, static_cast<CImageBase *>(&im)), nullptr);
    EXPECT_EQ(sf.rangeMin[0], 0);
    EXPECT_EQ(sf.rangeMax[1], 4095);
}

// The full range of a signed channel is centred on 0.
TEST_F(PlRaw, SaveRangeOfSignedChannels)
{
    const QOV_INT8 depths[3] = {-10, 8, -12};
    CImagePlRaw im;
    ASSERT_TRUE(im.CreateNewImage(1, 1, CM_RGB, SUBS_UNDEF, depths, nullptr));
    PLRAWSAVEFORMAT sf;
    ASSERT_EQ(CImagePlRaw::GetSaveFormat(&sf, &im), nullptr);
    EXPECT_EQ(sf.bitDepth, 12);
    EXPECT_EQ(sf.rangeMin[0], -512);
    EXPECT_EQ(sf.rangeMax[0], 511);
    EXPECT_EQ(sf.rangeMin[1], 0);
    EXPECT_EQ(sf.rangeMax[1], 255);
    EXPECT_EQ(sf.rangeMin[2], -2048);
    EXPECT_EQ(sf.rangeMax[2], 2047);
}

TEST_F(PlRaw, MalformedFormatsAndFilesAreRefused)
{
    writeFile(path, Bytes(15, 1));  // one byte short of a 4 x 2 frame at 2 bytes a sample
    struct Case {
        PLRAWLOADFORMAT format;
        const char *headerErr;
        const char *dataErr;
    };
    const Case cases[] = {
        {{4, 2, 0, CM_RGGB, SUBS_RGGB}, "Unsupported bit depth", nullptr},
        {{4, 2, 31, CM_RGGB, SUBS_RGGB}, "Unsupported bit depth", nullptr},
        {{0, 2, 8, CM_RGB, SUBS_UNDEF}, "Invalid image size", nullptr},
        {{4, 2, 8, CM_UNDEF, SUBS_UNDEF}, "Invalid color model", nullptr},
        {{4, 2, 10, CM_RGGB, SUBS_RGGB}, nullptr, "Error reading frame data"},
        {{10000, 10000, 30, CM_RGB, SUBS_UNDEF}, nullptr, "Error reading frame data"},
        {{2147483647, 2147483647, 30, CM_RGB, SUBS_UNDEF}, "Invalid image size", nullptr},
        {{4, 2, 8, CM_RGGB, SUBS_444}, nullptr, "Unsupported pattern"},
        {{4, 2, 8, CM_RGB, SUBS_420}, nullptr, "Unsupported pattern"},
        {{2, 2, 8, CM_YUV, SUBS_444}, nullptr, "Unsupported color model"},
    };
    for (const auto &c : cases) {
        PLRAWLOADFORMAT f = c.format;
        CImagePlRaw im;
        EXPECT_STREQ(im.LoadFileHeader(path.c_str(), &f), c.headerErr) << f.width << " " << int(f.bitDepth);
        if (!c.headerErr) {
            EXPECT_STREQ(im.LoadFileData(0), c.dataErr) << f.width;
            EXPECT_FALSE(im.IsDataLoaded());
        }
    }
    CImagePlRaw im;
    EXPECT_STREQ(im.LoadFileHeader(path.c_str(), nullptr), "Load format missing");
    EXPECT_STREQ(im.LoadFileData(0), "File header not loaded");
    PLRAWLOADFORMAT f = {2, 1, 8, CM_RGB, SUBS_UNDEF};
    ASSERT_EQ(im.LoadFileHeader(dir.file("missing.raw").c_str(), &f), nullptr);
    EXPECT_STREQ(im.LoadFileData(0), "Error opening file");

    PLRAWSAVEFORMAT sf = {8, {0}, {255}};
    EXPECT_STREQ(im.SaveSingleFrameImage(path.c_str(), &sf), "No image data to save");
    const QOV_INT8 depth[1] = {8};
    ASSERT_TRUE(im.CreateNewImage(2, 2, CM_GRAY, SUBS_UNDEF, depth, nullptr));
    EXPECT_STREQ(im.SaveSingleFrameImage(path.c_str(), &sf), "Unsupported color model");
    PLRAWSAVEFORMAT wide = {32, {0}, {255}};
    const QOV_INT8 depths[3] = {8, 8, 8};
    ASSERT_TRUE(im.CreateNewImage(2, 2, CM_RGB, SUBS_UNDEF, depths, nullptr));
    EXPECT_STREQ(im.SaveSingleFrameImage(path.c_str(), &wide), "Unsupported bit depth");
    PLRAWSAVEFORMAT none = {0, {0}, {255}};
    EXPECT_STREQ(im.SaveSingleFrameImage(path.c_str(), &none), "Unsupported bit depth");
    PLRAWSAVEFORMAT widest = {30, {0}, {255}};
    ASSERT_EQ(im.SaveSingleFrameImage(path.c_str(), &widest), nullptr);
    EXPECT_EQ(readFile(path).size(), 2u * 2 * 3 * 4);
    EXPECT_STREQ(CImagePlRaw::GetSaveFormat(nullptr, static_cast<CImageBase *>(&im)), "Unsupported color model");
    PLRAWSAVEFORMAT cleared;
    EXPECT_STREQ(CImagePlRaw::GetSaveFormat(&cleared, static_cast<CImageBase *>(nullptr)), "Unsupported color model");
    EXPECT_EQ(cleared.bitDepth, 0);
    // A layout without a name in the table is named by its size and depth alone.
    const QOV_INT8 four[4] = {8, 8, 8, 8};
    ASSERT_TRUE(im.CreateNewImage(2, 2, CM_RGGB, SUBS_444, four, nullptr));
    EXPECT_STREQ(im.GetFormatString(&widest), "2x2_30bit");
    EXPECT_STREQ(im.SaveSingleFrameImage(path.c_str(), nullptr), "Save format missing");

    // Every plane must have the size the layout gives it: one narrower plane,
    // whichever it is, has no layout in the file.
    for (const colorModelEnum model : {CM_RGB, CM_RGGB}) {
        const int planes = model == CM_RGB ? 3 : 4;
        for (int k = 0; k < planes; k++) {
            CImagePlRaw odd;
            ASSERT_TRUE(odd.CreateNewImage(4, 4, model, model == CM_RGB ? SUBS_UNDEF : SUBS_GBRG, four, nullptr));
            odd.chnl[k].chnlWidth--;
            EXPECT_STREQ(odd.SaveSingleFrameImage(path.c_str(), &sf), "Unsupported pattern") << model << " " << k;
        }
    }
}

}  // namespace
