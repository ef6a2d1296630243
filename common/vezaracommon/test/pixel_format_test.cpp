#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "vezaracommon/pixel_format.h"

namespace {

struct PackingCase {
    pxlFormat fmt;
    FORMAT_TYPES buffer;
    int h, v, depth, elements, stride;
    PACKEDSTART start;
};

void expectPacking(const PIXELTYPE &t, const PackingCase &c)
{
    EXPECT_EQ(t.eFmt, c.fmt);
    EXPECT_EQ(t.eBuffer, c.buffer);
    EXPECT_EQ(t.ui8HSubsampling, c.h);
    EXPECT_EQ(t.ui8VSubsampling, c.v);
    EXPECT_EQ(t.ui8BitDepth, c.depth);
    EXPECT_EQ(t.ui8PackedElements, c.elements);
    EXPECT_EQ(t.ui8PackedStride, c.stride);
    EXPECT_EQ(t.ePackedStart, c.start);
}

TEST(PixelTransform, FillsEveryFormatOfItsFamily)
{
    const PackingCase yuv[] = {
        {YVU_420_PL12_8, TYPE_YUV, 2, 2, 8, 1, 1, PACKED_LSB},   {YUV_420_PL12_8, TYPE_YUV, 2, 2, 8, 1, 1, PACKED_LSB},
        {YVU_422_PL12_8, TYPE_YUV, 2, 1, 8, 1, 1, PACKED_LSB},   {YUV_422_PL12_8, TYPE_YUV, 2, 1, 8, 1, 1, PACKED_LSB},
        {YVU_420_PL12_10, TYPE_YUV, 2, 2, 10, 6, 8, PACKED_LSB}, {YUV_420_PL12_10, TYPE_YUV, 2, 2, 10, 6, 8, PACKED_LSB},
        {YVU_422_PL12_10, TYPE_YUV, 2, 1, 10, 6, 8, PACKED_LSB}, {YUV_422_PL12_10, TYPE_YUV, 2, 1, 10, 6, 8, PACKED_LSB},
    };
    for (const auto &c : yuv) {
        PIXELTYPE t;
        ASSERT_EQ(PixelTransformYUV(&t, c.fmt), QOV_SUCCESS) << c.fmt;
        expectPacking(t, c);
        EXPECT_EQ(t.eMosaic, MOSAIC_NONE);
    }
    const PackingCase rgb[] = {
        {RGB_888_24, TYPE_RGB, 1, 1, 8, 1, 3, PACKED_LSB},     {BGR_888_24, TYPE_RGB, 1, 1, 8, 1, 3, PACKED_LSB},
        {RGB_888_32, TYPE_RGB, 1, 1, 8, 1, 4, PACKED_LSB},     {BGR_888_32, TYPE_RGB, 1, 1, 8, 1, 4, PACKED_LSB},
        {RGB_101010_32, TYPE_RGB, 1, 1, 10, 1, 4, PACKED_LSB}, {BGR_101010_32, TYPE_RGB, 1, 1, 10, 1, 4, PACKED_LSB},
        {BGR_161616_64, TYPE_RGB, 1, 1, 16, 1, 8, PACKED_LSB},
    };
    for (const auto &c : rgb) {
        PIXELTYPE t;
        ASSERT_EQ(PixelTransformRGB(&t, c.fmt), QOV_SUCCESS) << c.fmt;
        expectPacking(t, c);
        ASSERT_EQ(PixelTransformDisplay(&t, c.fmt), QOV_SUCCESS) << c.fmt;
        expectPacking(t, c);
    }
    const PackingCase bayer[] = {
        {BAYER_RGGB_8, TYPE_BAYER, 1, 1, 8, 4, 4, PACKED_LSB},    {BAYER_RGGB_10, TYPE_BAYER, 1, 1, 10, 3, 4, PACKED_LSB},
        {BAYER_RGGB_12, TYPE_BAYER, 1, 1, 12, 16, 24, PACKED_LSB}, {BAYER_TIFF_10, TYPE_BAYER, 1, 1, 10, 4, 5, PACKED_MSB},
        {BAYER_TIFF_12, TYPE_BAYER, 1, 1, 12, 2, 3, PACKED_MSB},
    };
    for (const auto &c : bayer) {
        PIXELTYPE t;
        ASSERT_EQ(PixelTransformBayer(&t, c.fmt, MOSAIC_GRBG), QOV_SUCCESS) << c.fmt;
        expectPacking(t, c);
        EXPECT_EQ(t.eMosaic, MOSAIC_GRBG);
    }
    const PackingCase ycc[] = {
        {PXL_ISP_444IL3YCrCb8, TYPE_YUV, 1, 1, 8, 1, 3, PACKED_LSB},
        {PXL_ISP_444IL3YCbCr8, TYPE_YUV, 1, 1, 8, 1, 3, PACKED_LSB},
        {PXL_ISP_444IL3YCrCb10, TYPE_YUV, 1, 1, 10, 1, 4, PACKED_LSB},
        {PXL_ISP_444IL3YCbCr10, TYPE_YUV, 1, 1, 10, 1, 4, PACKED_LSB},
    };
    for (const auto &c : ycc) {
        PIXELTYPE t;
        ASSERT_EQ(PixelTransformDisplay(&t, c.fmt), QOV_SUCCESS) << c.fmt;
        expectPacking(t, c);
    }
}

TEST(PixelTransform, RefusesOtherFamilies)
{
    PIXELTYPE t;
    EXPECT_EQ(PixelTransformYUV(&t, RGB_888_24), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(PixelTransformYUV(&t, PXL_NONE), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(t.eBuffer, TYPE_NONE);
    // Packed 4:4:4 has no chroma plane: it is a display format, not an encoder one.
    EXPECT_EQ(PixelTransformYUV(&t, PXL_ISP_444IL3YCrCb8), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(PixelTransformRGB(&t, YUV_420_PL12_8), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(PixelTransformRGB(&t, PXL_ISP_444IL3YCrCb8), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(PixelTransformBayer(&t, RGB_888_24, MOSAIC_RGGB), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_NE(PixelTransformDisplay(&t, PXL_NONE), QOV_SUCCESS);
    EXPECT_NE(PixelTransformDisplay(&t, BAYER_RGGB_8), QOV_SUCCESS);
    EXPECT_NE(PixelTransformDisplay(&t, static_cast<pxlFormat>(31)), QOV_SUCCESS);
    EXPECT_EQ(PixelTransformRGB(nullptr, RGB_888_24), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(PixelTransformYUV(nullptr, YUV_420_PL12_8), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(PixelTransformBayer(nullptr, BAYER_RGGB_8, MOSAIC_RGGB), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(PixelTransformDisplay(nullptr, RGB_888_24), QOV_ERROR_INVALID_ARGUMENT);
}

TEST(PixelFormat, PackedYcc)
{
    for (int f = 0; f <= 27; f++) {
        const bool ycc = f >= 21 && f <= 24;
        EXPECT_EQ(PixelFormatIsPackedYcc(static_cast<pxlFormat>(f)) != 0, ycc) << f;
    }
    EXPECT_EQ(PixelFormatYccBitDepth(PXL_ISP_444IL3YCrCb8), 8u);
    EXPECT_EQ(PixelFormatYccBitDepth(PXL_ISP_444IL3YCbCr8), 8u);
    EXPECT_EQ(PixelFormatYccBitDepth(PXL_ISP_444IL3YCrCb10), 10u);
    EXPECT_EQ(PixelFormatYccBitDepth(PXL_ISP_444IL3YCbCr10), 10u);
    EXPECT_EQ(PixelFormatYccBitDepth(RGB_101010_32), 0u);
}

TEST(PixelFormat, Names)
{
    const char *display[] = {"NONE",           "NV21",         "NV12",         "NV61",          "NV16",
                             "NV21-10bit",     "NV12-10bit",   "NV61-10bit",   "NV16-10bit",    "BI_RGB24",
                             "BI_RGB32",       "BI_RGB32-10bit", "BI_BGR24",   "BI_BGR32",      "BI_BGR32-10bit",
                             "BI_BGR64",       "RGGB8",        "RGGB10",       "RGGB12",        "TIFF10",
                             "TIFF12",         "444IL3YCrCb8", "444IL3YCbCr8", "444IL3YCrCb10", "444IL3YCbCr10"};
    for (int f = 0; f < 25; f++) {
        EXPECT_STREQ(FormatString(static_cast<pxlFormat>(f)), display[f]);
        if (f < 21) {
            EXPECT_STREQ(FormatStringForFilename(static_cast<pxlFormat>(f)), display[f]);
        }
        EXPECT_EQ(FormatIndex(display[f]), static_cast<pxlFormat>(f));
    }
    EXPECT_STREQ(FormatStringForFilename(PXL_ISP_444IL3YCrCb8), "YUV_444");
    EXPECT_STREQ(FormatStringForFilename(PXL_ISP_444IL3YCbCr8), "YVU_444");
    EXPECT_STREQ(FormatStringForFilename(PXL_ISP_444IL3YCrCb10), "YUV_444-10bit");
    EXPECT_STREQ(FormatStringForFilename(PXL_ISP_444IL3YCbCr10), "YVU_444-10bit");
    for (int f : {25, 26, 27, 31}) {
        EXPECT_STREQ(FormatString(static_cast<pxlFormat>(f)), "?fmt?");
        EXPECT_STREQ(FormatStringForFilename(static_cast<pxlFormat>(f)), "?fmt?");
    }
    EXPECT_EQ(FormatIndex("NV12"), YUV_420_PL12_8);
    EXPECT_EQ(FormatIndex("nv12"), PXL_NONE);
    EXPECT_EQ(FormatIndex("?fmt?"), PXL_NONE);
    EXPECT_EQ(FormatIndex(nullptr), PXL_NONE);

    EXPECT_STREQ(MosaicString(MOSAIC_NONE), "NONE");
    EXPECT_STREQ(MosaicString(MOSAIC_RGGB), "MOSAIC_RGGB");
    EXPECT_STREQ(MosaicString(MOSAIC_GRBG), "MOSAIC_GRBG");
    EXPECT_STREQ(MosaicString(MOSAIC_GBRG), "MOSAIC_GBRG");
    EXPECT_STREQ(MosaicString(MOSAIC_BGGR), "MOSAIC_BGGR");
    EXPECT_STREQ(MosaicString(static_cast<MOSAICType>(5)), "?mos?");
}

TEST(PixelFormat, MosaicFlipTable)
{
    struct Row {
        MOSAICType in, none, h, v, both;
    };
    const Row rows[] = {
        {MOSAIC_RGGB, MOSAIC_RGGB, MOSAIC_GRBG, MOSAIC_GBRG, MOSAIC_BGGR},
        {MOSAIC_GRBG, MOSAIC_GRBG, MOSAIC_RGGB, MOSAIC_BGGR, MOSAIC_GBRG},
        {MOSAIC_GBRG, MOSAIC_GBRG, MOSAIC_BGGR, MOSAIC_RGGB, MOSAIC_GRBG},
        {MOSAIC_BGGR, MOSAIC_BGGR, MOSAIC_GBRG, MOSAIC_GRBG, MOSAIC_RGGB},
    };
    for (const auto &r : rows) {
        EXPECT_EQ(MosaicFlip(r.in, 0, 0), r.none);
        EXPECT_EQ(MosaicFlip(r.in, 1, 0), r.h);
        EXPECT_EQ(MosaicFlip(r.in, 0, 1), r.v);
        EXPECT_EQ(MosaicFlip(r.in, 1, 1), r.both);
    }
    EXPECT_EQ(MosaicFlip(MOSAIC_NONE, 1, 1), MOSAIC_NONE);
    EXPECT_EQ(MosaicFlip(static_cast<MOSAICType>(7), 0, 0), MOSAIC_NONE);
}

TEST(PixelTransform, Clip)
{
    EXPECT_EQ(clip(255.9), 255);
    EXPECT_EQ(clip(256.0), 255);
    EXPECT_EQ(clip(-0.5), 0);
    EXPECT_EQ(clip(12.7), 12);
    EXPECT_EQ(clip(0.0), 0);
}

TEST(BufferDeTile, PartialLastRowOfTiles)
{
    // 256-byte x 16-line tiles, 512-byte stride, 20 lines: two rows of tiles, the
    // second row copies 4 lines of each tile but consumes whole tiles of input.
    const size_t tile = 256 * 16;
    std::vector<QOV_UINT8> in(4 * tile);
    for (size_t t = 0; t < 4; t++)
        for (size_t i = 0; i < tile; i++)
            in[t * tile + i] = static_cast<QOV_UINT8>(t * 16 + i / 256);  // tile number and line within it
    std::vector<QOV_UINT8> out(512 * 20, 0xEE);
    ASSERT_EQ(BufferDeTile(256, 16, 512, in.data(), out.data(), 512, 20), QOV_SUCCESS);
    EXPECT_EQ(out[0], 0);                 // tile 0 line 0
    EXPECT_EQ(out[256], 16);              // tile 1 line 0
    EXPECT_EQ(out[15 * 512 + 300], 31);   // tile 1 line 15
    EXPECT_EQ(out[16 * 512 + 10], 32);    // tile 2 line 0
    EXPECT_EQ(out[16 * 512 + 256], 48);   // tile 3 line 0: starts 4096 bytes after tile 2
    EXPECT_EQ(out[19 * 512 + 511], 51);   // tile 3 line 3
}

TEST(BufferDeTile, WideOutputIsWalkedAsMoreLines)
{
    // Tile stride 4 in an output of stride 8: each output line holds two lines of
    // tile-stride bytes.
    const QOV_UINT8 in[] = {1, 2, 3, 4, 5, 6, 7, 8};  // two tiles of 2x2
    QOV_UINT8 out[8] = {};
    ASSERT_EQ(BufferDeTile(2, 2, 4, in, out, 8, 1), QOV_SUCCESS);
    const QOV_UINT8 expected[] = {1, 2, 5, 6, 3, 4, 7, 8};
    EXPECT_EQ(memcmp(out, expected, 8), 0);
}

TEST(BufferDeTile, Refusals)
{
    QOV_UINT8 buf[64] = {};
    EXPECT_EQ(BufferDeTile(2, 2, 4, nullptr, buf, 8, 2), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(BufferDeTile(2, 2, 4, buf, nullptr, 8, 2), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(BufferDeTile(0, 2, 4, buf, buf, 8, 2), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(BufferDeTile(2, 2, 4, buf, buf, 8, 0), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(BufferDeTile(2, 2, 16, buf, buf, 8, 2), QOV_ERROR_INVALID_ARGUMENT);  // tile stride > output
    EXPECT_EQ(BufferDeTile(8, 2, 4, buf, buf, 8, 2), QOV_ERROR_INVALID_ARGUMENT);   // tile wider than stride
    EXPECT_EQ(BufferDeTile(3, 2, 6, buf, buf, 8, 2), QOV_ERROR_NOT_SUPPORTED);      // 8 % 3
    EXPECT_EQ(BufferDeTile(2, 2, 6, buf, buf, 8, 2), QOV_ERROR_NOT_SUPPORTED);      // 8 % 6
}

TEST(BufferDeTile, RefusalMessages)
{
    QOV_UINT8 buf[64] = {};
    struct Case {
        QOV_UINT32 tw, th, ts, hs, vs;
        const void *in;
        QOV_RESULT code;
        const char *message;
    };
    const Case cases[] = {
        {2, 2, 4, 8, 2, nullptr, QOV_ERROR_INVALID_ARGUMENT, "pInput or pOutput is NULL\n"},
        {2, 0, 4, 8, 2, buf, QOV_ERROR_INVALID_ARGUMENT,
         "one of the size is 0 (ui32TileWidth=2, ui32TileHeight=0, ui32TileStride=4, ui32OutputHStride=8, "
         "ui32OutputVStride=2)\n"},
        {2, 2, 16, 8, 2, buf, QOV_ERROR_INVALID_ARGUMENT,
         "ui32TileStride is bigger than ui32OutputHStride (16>8) or tile width than tile stride (width 2)\n"},
        {3, 2, 6, 8, 2, buf, QOV_ERROR_NOT_SUPPORTED, "strides are not divisible by the tile sizes\n"},
        {2, 2, 6, 8, 2, buf, QOV_ERROR_NOT_SUPPORTED,
         "tile stride is not compatible with the output size or the tile width (ui32TileStride%ui32TileWidth=0, "
         "ui32OutputHStride%ui32TileStride=2)\n"},
    };
    for (const auto &c : cases) {
        testing::internal::CaptureStderr();
        const QOV_RESULT ret = BufferDeTile(c.tw, c.th, c.ts, c.in, buf, c.hs, c.vs);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(ret, c.code) << c.message;
        const std::string head = "ERROR [PIXEL_TRANSFORM]: BufferDeTile():";
        EXPECT_EQ(err.compare(0, head.size(), head), 0) << err;
        const std::string tail = std::string(" ") + c.message;
        ASSERT_GE(err.size(), tail.size()) << err;
        EXPECT_EQ(err.substr(err.size() - tail.size()), tail);
    }
}

TEST(BufferTransform, Yuv420To444)
{
    // 4x2 NV12: luma 0..7, one chroma line of pairs (U,V) = (10,20), (30,40).
    const QOV_UINT8 in[] = {0, 1, 2, 3, 4, 5, 6, 7, 10, 20, 30, 40};
    QOV_UINT8 *out = BufferTransformYUVTo444(in, QOV_TRUE, YUV_420_PL12_8, 4, 2, 4, 2);
    ASSERT_NE(out, nullptr);
    const QOV_UINT8 expected[] = {0,  1,  2,  3,  4,  5,  6,  7,    // Y
                                  10, 10, 30, 30, 10, 10, 30, 30,   // U
                                  20, 20, 40, 40, 20, 20, 40, 40};  // V
    EXPECT_EQ(memcmp(out, expected, sizeof(expected)), 0);
    free(out);

    // bUV false reads the pairs as (V, U); a cropped output keeps the input stride.
    out = BufferTransformYUVTo444(in, QOV_FALSE, YVU_422_PL12_8, 4, 2, 2, 1);
    // 4:2:2 reads chroma line l for output line l; only line 0 here.
    ASSERT_NE(out, nullptr);
    const QOV_UINT8 expected2[] = {0, 1, 20, 20, 10, 10};
    EXPECT_EQ(memcmp(out, expected2, sizeof(expected2)), 0);
    free(out);
}

TEST(BufferTransform, Yuv420To444Refusals)
{
    const QOV_UINT8 in[16] = {};
    EXPECT_EQ(BufferTransformYUVTo444(in, QOV_TRUE, YUV_420_PL12_10, 4, 2, 4, 2), nullptr);  // 10 bits
    EXPECT_EQ(BufferTransformYUVTo444(in, QOV_TRUE, RGB_888_24, 4, 2, 4, 2), nullptr);
    EXPECT_EQ(BufferTransformYUVTo444(in, QOV_TRUE, YUV_420_PL12_8, 4, 2, 6, 2), nullptr);  // larger output
    EXPECT_EQ(BufferTransformYUVTo444(in, QOV_TRUE, YUV_420_PL12_8, 0, 2, 0, 2), nullptr);
    EXPECT_EQ(BufferTransformYUVTo444(nullptr, QOV_TRUE, YUV_420_PL12_8, 4, 2, 4, 2), nullptr);
}

TEST(BufferTransform, Yuv444ToRgb)
{
    // JFIF. Y, then the two chroma planes (U first unless bUV is false).
    const QOV_UINT8 planes[] = {100, 0, 128, 128, 128, 228};
    const struct {
        const char *name;
        std::vector<QOV_UINT8> in;
        QOV_BOOL8 bUV;
        pxlFormat format;
        QOV_BOOL8 bBGR;
        QOV_UINT32 width;
        std::vector<QOV_UINT8> expected;
    } cases[] = {
        // (100, 128, 128) is grey 100; (0, 128, 228): R = 1.402 * 100 = 140.2 -> 140, G = -71.414 -> 0, B = 0.
        {"grey and red", {planes, planes + 6}, QOV_TRUE, RGB_888_32, QOV_FALSE, 2, {100, 100, 100, 0, 140, 0, 0, 0}},
        // (100, 178, 128): G = 100 - 0.34414 * 50 = 82.8 -> 82, B = 100 + 1.772 * 50 = 188.6 -> 188.
        {"blue difference", {100, 178, 128}, QOV_TRUE, RGB_888_24, QOV_FALSE, 1, {100, 82, 188}},
        {"BGR order, V before U", {0, 228, 128}, QOV_FALSE, BGR_888_24, QOV_TRUE, 1, {0, 0, 140}},
    };
    for (const auto &c : cases) {
        QOV_UINT8 *out = BufferTransformYUV444ToRGB(c.in.data(), c.bUV, c.format, c.bBGR, c.width, 1, JFIF_coeff,
                                                    JFIF_Inputoff);
        ASSERT_NE(out, nullptr) << c.name;
        EXPECT_EQ(std::vector<QOV_UINT8>(out, out + c.expected.size()), c.expected) << c.name;
        free(out);
    }

    EXPECT_EQ(BufferTransformYUV444ToRGB(planes, QOV_TRUE, YUV_420_PL12_8, QOV_FALSE, 2, 1, JFIF_coeff,
                                         JFIF_Inputoff),
              nullptr);
    EXPECT_EQ(BufferTransformYUV444ToRGB(nullptr, QOV_TRUE, RGB_888_24, QOV_FALSE, 2, 1, JFIF_coeff, JFIF_Inputoff),
              nullptr);
    EXPECT_EQ(BufferTransformYUV444ToRGB(planes, QOV_TRUE, RGB_888_24, QOV_FALSE, 2, 1, nullptr, JFIF_Inputoff),
              nullptr);
    EXPECT_EQ(BufferTransformYUV444ToRGB(planes, QOV_TRUE, RGB_888_24, QOV_FALSE, 2, 1, JFIF_coeff, nullptr),
              nullptr);
}

TEST(BufferTransform, ColourConstants)
{
    struct Table {
        const char *name;
        const double *coeff;
        const double *off;
        double expectedCoeff[9];
        double expectedOff[3];
    };
    const Table tables[] = {
        {"BT601", BT601_coeff, BT601_Inputoff, {1.164, 0, 1.54, 1.164, -0.391, -0.813, 1.164, 2.018, 0},
         {-16, -128, -128}},
        {"BT709", BT709_coeff, BT709_Inputoff, {1, 0, 1.57492, 1, -0.1873243, -0.468159932, 1, 1.8556, 0},
         {-16, -128, -128}},
        {"JFIF", JFIF_coeff, JFIF_Inputoff, {1, 0, 1.402, 1, -0.34414, -0.71414, 1, 1.772, 0}, {0, -128, -128}},
    };
    for (const auto &t : tables) {
        for (int i = 0; i < 9; i++)
            EXPECT_DOUBLE_EQ(t.coeff[i], t.expectedCoeff[i]) << t.name << " coefficient " << i;
        for (int i = 0; i < 3; i++)
            EXPECT_DOUBLE_EQ(t.off[i], t.expectedOff[i]) << t.name << " offset " << i;
    }
}

}  // namespace
