#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image_test_util.h"
#include "jux_test_util.h"
#include "sim_image/image_bmp.h"

using namespace testutil;

namespace {

using V = std::vector<PIXEL>;

class Bmp : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.file("in.bmp");
};

TEST_F(Bmp, TwentyFourBitFixtureRoundTrip)
{
    CImageBmp im;
    ASSERT_EQ(im.LoadFileHeader(fixture("rgb_2x2.bmp").c_str(), nullptr), nullptr);
    EXPECT_EQ(im.colorModel, CM_RGB);
    EXPECT_EQ(im.chnl[2].bitDepth, 8);
    ASSERT_EQ(im.LoadFileData(0), nullptr);
    // The first file row (red, green) is the bottom image row.
    EXPECT_EQ(samples(im, 0), V({0, 255, 255, 0}));
    EXPECT_EQ(samples(im, 1), V({0, 255, 0, 255}));
    EXPECT_EQ(samples(im, 2), V({255, 255, 0, 0}));

    BMPSAVEFORMAT sf;
    ASSERT_EQ(CImageBmp::GetSaveFormat(&sf, &im), nullptr);
    EXPECT_DOUBLE_EQ(sf.mul[0], 1.0);
    EXPECT_EQ(sf.off[2], 0);
    ASSERT_EQ(im.SaveSingleFrameImage(path.c_str(), &sf), nullptr);
    const Bytes in = readFile(fixture("rgb_2x2.bmp")), out = readFile(path);
    Bytes header(54, 0);
    putLE(header, 0, 0x4D42, 2);
    putLE(header, 2, 70, 4);
    putLE(header, 10, 54, 4);
    putLE(header, 14, 40, 4);
    putLE(header, 18, 2, 4);
    putLE(header, 22, 2, 4);
    putLE(header, 26, 1, 2);
    putLE(header, 28, 24, 2);
    putLE(header, 34, 16, 4);
    putLE(header, 38, 4000, 4);
    putLE(header, 42, 4000, 4);
    ASSERT_EQ(out.size(), 70u);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 54), header);
    EXPECT_EQ(Bytes(out.begin() + 54, out.end()), Bytes(in.begin() + 54, in.end()));
}

TEST_F(Bmp, RleFixtureLoadsAgainAndAgain)
{
    CImageBmp im;
    ASSERT_EQ(im.LoadFileHeader(fixture("palette_4x3_rle8.bmp").c_str(), nullptr), nullptr);
    ASSERT_NE(im.pPalette, nullptr);
    // Palette: 0 black, 1 red, 2 blue. File rows 1 1 1 0 / 2 1 2 0 / 0 2 0 0, bottom-up.
    for (int load = 0; load < 2; load++) {
        ASSERT_EQ(im.LoadFileData(0), nullptr) << load;
        EXPECT_EQ(samples(im, 0), V({0, 0, 0, 0, 0, 255, 0, 0, 255, 255, 255, 0}));
        EXPECT_EQ(samples(im, 1), V(12, 0));
        EXPECT_EQ(samples(im, 2), V({0, 255, 0, 0, 255, 0, 255, 0, 0, 0, 0, 0}));
    }
    // Saving writes headers of its own and leaves those of the loaded file.
    BMPSAVEFORMAT sf;
    ASSERT_EQ(CImageBmp::GetSaveFormat(&sf, &im), nullptr);
    ASSERT_EQ(im.SaveSingleFrameImage(path.c_str(), &sf), nullptr);
    EXPECT_EQ(im.ihdr.wBitCount, 8);
    ASSERT_EQ(im.LoadFileData(0), nullptr);
    EXPECT_EQ(samples(im, 0), V({0, 0, 0, 0, 0, 255, 0, 0, 255, 255, 255, 0}));
}

// Every header field is read into its place: a file whose fields all hold
// distinct values of all their bytes, with an info header longer than 40 bytes.
TEST_F(Bmp, EveryHeaderFieldIsRead)
{
    Bytes file(58 + 8, 0);
    putLE(file, 0, 0x4D42, 2);
    putLE(file, 2, 0x01020304, 4);
    putLE(file, 6, 0x1234, 2);
    putLE(file, 8, 0x5678, 2);
    putLE(file, 10, 58, 4);
    putLE(file, 14, 44, 4);  // four bytes more than the 40 read
    putLE(file, 18, 2, 4);
    putLE(file, 22, 1, 4);
    putLE(file, 26, 1, 2);
    putLE(file, 28, 24, 2);
    putLE(file, 30, 0, 4);
    putLE(file, 34, 0, 4);  // image size: computed
    putLE(file, 38, 0x11223344, 4);
    putLE(file, 42, 0x55667788, 4);
    putLE(file, 46, 0x0A0B0C0D, 4);
    putLE(file, 50, 0x0E0F1011, 4);
    const unsigned char pixels[6] = {1, 2, 3, 4, 5, 6};  // blue, green, red twice
    for (int i = 0; i < 6; i++)
        file[58 + i] = pixels[i];
    writeFile(path, file);

    CImageBmp im;
    ASSERT_EQ(im.LoadFileHeader(path.c_str(), nullptr), nullptr);
    // The headers are packed: each field is read by value (+), not bound by reference.
    EXPECT_EQ(+im.fhdr.wType, 0x4D42);
    EXPECT_EQ(+im.fhdr.dwSize, 0x01020304u);
    EXPECT_EQ(+im.fhdr.wRes1, 0x1234);
    EXPECT_EQ(+im.fhdr.wRes2, 0x5678);
    EXPECT_EQ(+im.fhdr.dwOffBits, 58u);
    EXPECT_EQ(+im.ihdr.dwSize, 44u);
    EXPECT_EQ(+im.ihdr.dwWidth, 2);
    EXPECT_EQ(+im.ihdr.dwHeight, 1);
    EXPECT_EQ(+im.ihdr.wPlanes, 1);
    EXPECT_EQ(+im.ihdr.wBitCount, 24);
    EXPECT_EQ(+im.ihdr.dwCompression, 0u);
    EXPECT_EQ(+im.ihdr.dwSizeImage, 6u);
    EXPECT_EQ(+im.ihdr.dwXPelsPerMeter, 0x11223344);
    EXPECT_EQ(+im.ihdr.dwYPelsPerMeter, 0x55667788);
    EXPECT_EQ(+im.ihdr.dwClrUsed, 0x0A0B0C0Du);
    EXPECT_EQ(+im.ihdr.dwClrImportant, 0x0E0F1011u);
    EXPECT_EQ(im.width, 2);
    EXPECT_EQ(im.height, 1);
    ASSERT_EQ(im.LoadFileData(0), nullptr);
    EXPECT_EQ(samples(im, 0), V({3, 6}));
    EXPECT_EQ(samples(im, 1), V({2, 5}));
    EXPECT_EQ(samples(im, 2), V({1, 4}));
}

TEST_F(Bmp, PaletteImages)
{
    struct Case {
        const char *what;
        Bytes file;
        V red;
    };
    const Case cases[] = {
        {"1 bit", bmp(4, 1, 1, 0, {{0, 0, 0}, {255, 255, 255}}, {0xA0, 0, 0, 0}), {255, 0, 255, 0}},
        {"4 bits", bmp(3, 1, 4, 0, greys(16), {0x12, 0x30, 0, 0}), {10, 20, 30}},
        {"8 bits, two rows", bmp(1, 2, 8, 0, greys(3), {2, 0, 0, 0, 1, 0, 0, 0}), {10, 20}},
        // Absolute runs of 5 (3 bytes and a pad byte) and 3 (2 bytes), then a coded run of 2.
        {"rle4", bmp(5, 2, 4, 2, greys(16), {0, 5, 0x12, 0x34, 0x50, 0, 0, 0, 0, 3, 0x67, 0x80, 2, 0x9A, 0, 1}),
         {60, 70, 80, 90, 100, 10, 20, 30, 40, 50}},
        // A run longer than the line keeps to the line.
        {"long run", bmp(2, 2, 8, 1, greys(4), {255, 3, 0, 0, 2, 1, 0, 1}), {10, 10, 30, 30}},
        // A delta to the next line leaves entry 0 behind it.
        {"delta", bmp(3, 2, 8, 1, greys(4), {1, 3, 0, 2, 1, 1, 1, 2, 0, 1}), {0, 0, 20, 30, 0, 0}},
    };
    for (const auto &c : cases) {
        writeFile(path, c.file);
        CImageBmp im;
        ASSERT_EQ(im.LoadFileHeader(path.c_str(), nullptr), nullptr) << c.what;
        ASSERT_EQ(im.LoadFileData(0), nullptr) << c.what;
        EXPECT_EQ(samples(im, 0), c.red) << c.what;
    }
}

// A fuzzer's input: an 8-bit header of 1409286144 x 1073741824 pixels
// without an image size, whose computed size overflowed before the palette
// was read. The palette is not in the file: the header is refused.
TEST_F(Bmp, HugeSizesAreComputedWithoutOverflow)
{
    CImageBmp im;
    EXPECT_STREQ(im.LoadFileHeader(fixture("huge_size_8bit.bmp").c_str(), nullptr), "Error reading palette");
    EXPECT_FALSE(im.IsHeaderLoaded());
}

TEST_F(Bmp, MalformedFilesAreRefused)
{
    auto patched = [](Bytes b, size_t at, unsigned v, int bytes) {
        putLE(b, at, v, bytes);
        return b;
    };
    const Bytes rgb = bmp(2, 2, 24, 0, {}, Bytes(16, 7));
    const Bytes pal = bmp(4, 1, 8, 0, greys(2), {0, 1, 0, 1});
    const Bytes pal3 = bmp(3, 1, 8, 0, greys(2), {0, 1, 0, 0});
    auto rle = [](const Bytes &stream) { return bmp(4, 3, 8, 1, greys(3), stream); };
    struct Case {
        const char *what;
        Bytes file;
        const char *headerErr;
        const char *dataErr;
    };
    const Case cases[] = {
        {"short file header", Bytes(rgb.begin(), rgb.begin() + 10), "Error reading file header", nullptr},
        {"magic", patched(rgb, 0, 0x4D43, 2), "Invalid file header", nullptr},
        {"short info header", Bytes(rgb.begin(), rgb.begin() + 34), "Error reading info header", nullptr},
        {"info header of 12 bytes", patched(rgb, 14, 12, 4), "Error reading info header", nullptr},
        {"two planes", patched(rgb, 26, 2, 2), "Unsupported plane format", nullptr},
        {"16 bits", patched(rgb, 28, 16, 2), "Unsupported bit depth", nullptr},
        {"32 bits", patched(rgb, 28, 32, 2), "Unsupported bit depth", nullptr},
        {"top-down", patched(rgb, 22, 0xFFFFFFFEu, 4), "Invalid image size", nullptr},
        {"palette of 300", patched(pal, 46, 300, 4), "Invalid palette size", nullptr},
        {"short palette", Bytes(pal.begin(), pal.begin() + 58), "Error reading palette", nullptr},
        {"compression 3", patched(rgb, 30, 3, 4), nullptr, "Unsupported compression"},
        {"rle8 of 4 bits", patched(patched(pal, 30, 1, 4), 28, 4, 2), nullptr, "Unsupported compression"},
        {"24-bit data short", Bytes(rgb.begin(), rgb.end() - 3), nullptr, "Error reading image data (3)"},
        {"largest size", patched(patched(rgb, 18, 65535, 4), 22, 65535, 4), nullptr, "Error reading image data (3)"},
        {"8-bit data short", Bytes(pal.begin(), pal.end() - 1), nullptr, "Error reading image data (1)"},
        // only padding missing: the last row's, or part of the first row's
        {"24-bit last padding short", Bytes(rgb.begin(), rgb.end() - 1), nullptr, "Error reading image data (4)"},
        {"24-bit first padding short", Bytes(rgb.begin(), rgb.end() - 9), nullptr, "Error reading image data (4)"},
        {"8-bit last padding short", Bytes(pal3.begin(), pal3.end() - 1), nullptr, "Error reading image data (2)"},
        {"index beyond palette", bmp(4, 1, 8, 0, greys(2), {0, 2, 0, 0}), nullptr, "Palette index out of range"},
        {"rle without end", rle({2, 1, 0, 0}), nullptr, "Error reading image data (5)"},
        {"rle delta cut", rle({0, 2, 1}), nullptr, "Error reading image data (6)"},
        {"rle absolute cut", rle({0, 4, 1, 1}), nullptr, "Error reading image data (7)"},
        {"rle pad missing", rle({0, 3, 1, 1, 1}), nullptr, "Error reading image data (8)"},
        {"rle run below the image", rle({0, 0, 0, 0, 0, 0, 2, 1, 0, 1}), nullptr, "RLE data outside the image"},
        {"rle line end below the image", rle({0, 0, 0, 0, 0, 0, 0, 0, 0, 1}), nullptr, "RLE data outside the image"},
        {"rle delta past the end", rle({0, 2, 0, 3, 0, 2, 1, 0}), nullptr, "RLE data outside the image"},
        {"rle index beyond palette", rle({2, 3, 0, 1}), nullptr, "Palette index out of range"},
        {"rle absolute index", rle({0, 3, 1, 9, 1, 0, 0, 1}), nullptr, "Palette index out of range"},
    };
    for (const auto &c : cases) {
        writeFile(path, c.file);
        CImageBmp im;
        EXPECT_STREQ(im.LoadFileHeader(path.c_str(), nullptr), c.headerErr) << c.what;
        if (c.headerErr) {
            EXPECT_FALSE(im.IsHeaderLoaded()) << c.what;
            EXPECT_EQ(im.pPalette, nullptr) << c.what;
            continue;
        }
        EXPECT_STREQ(im.LoadFileData(0), c.dataErr) << c.what;
    }
    CImageBmp im;
    EXPECT_STREQ(im.LoadFileHeader(dir.file("missing.bmp").c_str(), nullptr), "Error opening file");
    EXPECT_STREQ(im.LoadFileData(0), "Header not loaded");
    writeFile(path, rgb);
    ASSERT_EQ(im.LoadFileHeader(path.c_str(), nullptr), nullptr);
    unlink(path.c_str());
    EXPECT_STREQ(im.LoadFileData(0), "Error opening file (2)");
}

TEST_F(Bmp, SavingScalesEachPlaneToEightBits)
{
    const QOV_INT8 signed10[1] = {-10};
    CImageBmp im;
    BMPSAVEFORMAT sf;
    EXPECT_STREQ(im.SaveSingleFrameImage(path.c_str(), &sf), "No image data to save");
    ASSERT_TRUE(im.CreateNewImage(2, 1, CM_GRAY, SUBS_UNDEF, signed10, nullptr));
    im.chnl[0].data[0] = -512;
    im.chnl[0].data[1] = 511;
    ASSERT_EQ(CImageBmp::GetSaveFormat(&sf, &im), nullptr);
    EXPECT_EQ(sf.off[1], 128);
    ASSERT_EQ(im.SaveSingleFrameImage(path.c_str(), &sf), nullptr);
    const Bytes out = readFile(path);
    EXPECT_EQ(Bytes(out.begin() + 54, out.end()), Bytes({1, 1, 1, 254, 254, 254, 0, 0}));
    EXPECT_STREQ(im.SaveSingleFrameImage("/dev/full", &sf), "Error writing image data");
    EXPECT_STREQ(im.SaveSingleFrameImage(path.c_str(), nullptr), "Save format missing");

    QOV_UINT8 map[3];
    EXPECT_TRUE(CImageBmp::GetChannelMapToRGB(CM_RGBA, map));
    EXPECT_EQ(map[2], 2);
    EXPECT_FALSE(CImageBmp::GetChannelMapToRGB(CM_YUV, map));
    const QOV_INT8 depths[3] = {8, 8, 8};
    ASSERT_TRUE(im.CreateNewImage(2, 2, CM_YUV, SUBS_420, depths, nullptr));
    EXPECT_STREQ(CImageBmp::GetSaveFormat(&sf, &im), "Unsupported color model");
    EXPECT_STREQ(im.SaveSingleFrameImage(path.c_str(), &sf), "Unsupported color model");
    // Planes smaller than the image are not read past their end.
    ASSERT_TRUE(im.CreateNewImage(2, 2, CM_RGB, SUBS_420, depths, nullptr));
    EXPECT_STREQ(im.SaveSingleFrameImage(path.c_str(), &sf), "Unsupported color model");

    // Each plane its own scale: unsigned, signed, and a plane without bits (black).
    const QOV_INT8 mixed[3] = {4, -8, 0};
    ASSERT_TRUE(im.CreateNewImage(1, 1, CM_RGB, SUBS_UNDEF, mixed, nullptr));
    im.chnl[0].data[0] = 15;
    im.chnl[1].data[0] = -128;
    im.chnl[2].data[0] = 7;
    ASSERT_EQ(CImageBmp::GetSaveFormat(&sf, &im), nullptr);
    EXPECT_DOUBLE_EQ(sf.mul[0], 17.0);
    EXPECT_EQ(sf.off[0], 0);
    EXPECT_DOUBLE_EQ(sf.mul[1], 127.0 / 128);
    EXPECT_EQ(sf.off[1], 128);
    EXPECT_DOUBLE_EQ(sf.mul[2], 0.0);
    EXPECT_EQ(sf.off[2], 0);
    ASSERT_EQ(im.SaveSingleFrameImage(path.c_str(), &sf), nullptr);
    const Bytes pixel = readFile(path);
    EXPECT_EQ(Bytes(pixel.begin() + 54, pixel.end()), Bytes({0, 1, 255, 0}));  // blue, green, red, padding
}

}  // namespace
