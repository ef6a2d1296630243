#include <gtest/gtest.h>

#include <string>

#include "ci/ci_alloc_info.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

// Pixel types written out by hand from the packing table.
PIXELTYPE type(pxlFormat fmt, FORMAT_TYPES buffer, QOV_UINT8 h, QOV_UINT8 v, QOV_UINT8 depth,
               QOV_UINT8 elements, QOV_UINT8 bytes, PACKEDSTART start = PACKED_LSB)
{
    PIXELTYPE t{};
    t.eFmt = fmt;
    t.eBuffer = buffer;
    t.ui8HSubsampling = h;
    t.ui8VSubsampling = v;
    t.ui8BitDepth = depth;
    t.ui8PackedElements = elements;
    t.ui8PackedStride = bytes;
    t.ePackedStart = start;
    return t;
}

const PIXELTYPE kNV12 = type(YUV_420_PL12_8, TYPE_YUV, 2, 2, 8, 1, 1);
const PIXELTYPE kNV16 = type(YUV_422_PL12_8, TYPE_YUV, 2, 1, 8, 1, 1);
const PIXELTYPE kNV12_10 = type(YUV_420_PL12_10, TYPE_YUV, 2, 2, 10, 6, 8);
const PIXELTYPE kYUV444_8 = type(PXL_ISP_444IL3YCrCb8, TYPE_YUV, 1, 1, 8, 1, 3);
const PIXELTYPE kYUV444_10 = type(PXL_ISP_444IL3YCbCr10, TYPE_YUV, 1, 1, 10, 1, 4);
const PIXELTYPE kBGR32 = type(BGR_888_32, TYPE_RGB, 1, 1, 8, 1, 4);
const PIXELTYPE kRGB24 = type(RGB_888_24, TYPE_RGB, 1, 1, 8, 1, 3);
const PIXELTYPE kBGR64 = type(BGR_161616_64, TYPE_RGB, 1, 1, 16, 1, 8);
const PIXELTYPE kTIFF10 = type(BAYER_TIFF_10, TYPE_BAYER, 1, 1, 10, 4, 5, PACKED_MSB);
const PIXELTYPE kTIFF12 = type(BAYER_TIFF_12, TYPE_BAYER, 1, 1, 12, 2, 3, PACKED_MSB);

CI_TILINGINFO tiles(QOV_UINT32 scheme)
{
    CI_TILINGINFO t{};
    EXPECT_EQ(CI_ALLOC_GetTileInfo(scheme, &t), QOV_SUCCESS);
    return t;
}

// A result record filled with a pattern, so that an unwritten field shows.
CI_SIZEINFO poisoned()
{
    CI_SIZEINFO r;
    r.eFmt = PXL_INVALID;
    r.ui32Stride = r.ui32Height = r.ui32TilingStride = r.ui32CStride = r.ui32CHeight = 0xDEADBEEF;
    return r;
}

TEST(BufferSizes, Constants)
{
    EXPECT_EQ(CI_ALLOC_GetMinTilingStride(), 512u);
    EXPECT_EQ(CI_ALLOC_GetMaxTilingStride(), 16384u);
    EXPECT_EQ(CI_ALLOC_GetSysmemAlignment(), 64u);
}

TEST(BufferSizes, TilingSchemes)
{
    CI_TILINGINFO t = tiles(256);
    EXPECT_EQ(t.ui32TilingStride, 256u);
    EXPECT_EQ(t.ui32TilingHeight, 16u);
    EXPECT_EQ(t.ui32MinTileStride, 512u);
    EXPECT_EQ(t.ui32MaxTileStride, 16384u);
    t = tiles(512);
    EXPECT_EQ(t.ui32TilingStride, 512u);
    EXPECT_EQ(t.ui32TilingHeight, 8u);
    EXPECT_EQ(t.ui32MinTileStride, 1024u);
    EXPECT_EQ(t.ui32MaxTileStride, 32768u);

    CaptureStderr();
    for (QOV_UINT32 other : {0u, 128u, 1024u, 257u})
        EXPECT_EQ(CI_ALLOC_GetTileInfo(other, &t), QOV_ERROR_NOT_SUPPORTED) << other;
    EXPECT_EQ(GetCapturedStderr(), "");
}

struct LayoutCase {
    const char *name;
    const PIXELTYPE *type;
    QOV_UINT32 width, height;
    QOV_UINT32 scheme;  // 0: linear
    QOV_UINT32 stride, lines, tiling, cStride, cLines;
};

TEST(BufferSizes, EncoderLayouts)
{
    const LayoutCase cases[] = {
        {"NV12 1080p", &kNV12, 1920, 1080, 0, 1920, 1080, 0, 1920, 540},
        {"NV12 odd height keeps the last chroma line", &kNV12, 1920, 1081, 0, 1920, 1081, 0, 1920, 541},
        {"NV12 odd width", &kNV12, 101, 75, 0, 128, 75, 0, 128, 38},
        {"NV16 keeps every chroma line", &kNV16, 1920, 1081, 0, 1920, 1081, 0, 1920, 1081},
        // ceil(1920 / 6) x 8 = 2560 for both planes
        {"NV12 10 bit", &kNV12_10, 1920, 1080, 0, 2560, 1080, 0, 2560, 540},
        // ceil(100 / 6) x 8 = 136 -> 192
        {"NV12 10 bit narrow", &kNV12_10, 100, 10, 0, 192, 10, 0, 192, 5},
        {"packed 4:4:4 has no chroma plane", &kYUV444_8, 1920, 1080, 0, 5760, 1080, 0, 0, 0},
        {"packed 4:4:4 10 bit", &kYUV444_10, 33, 7, 0, 192, 7, 0, 0, 0},
        // tiled: power of two of the larger plane, lines to the tile height
        {"NV12 tiled 256", &kNV12, 1920, 1080, 256, 2048, 1088, 256, 2048, 544},
        {"NV12 tiled 512", &kNV12, 1920, 1081, 512, 2048, 1088, 512, 2048, 544},
        {"NV12 tiled raised to the minimum", &kNV12, 100, 20, 512, 1024, 24, 512, 1024, 16},
        {"packed 4:4:4 tiled", &kYUV444_8, 1920, 1080, 256, 8192, 1088, 256, 0, 0},
        {"NV12 tiled 32768 with scheme 512", &kNV12, 20000, 8, 512, 32768, 8, 512, 32768, 8},
    };
    for (const LayoutCase &c : cases) {
        CI_TILINGINFO t{};
        if (c.scheme)
            t = tiles(c.scheme);
        CI_SIZEINFO r = poisoned();
        ASSERT_EQ(CI_ALLOC_YUVSizeInfo(c.type, c.width, c.height, c.scheme ? &t : nullptr, &r), QOV_SUCCESS)
            << c.name;
        EXPECT_EQ(r.eFmt, c.type->eFmt) << c.name;
        EXPECT_EQ(r.ui32Stride, c.stride) << c.name;
        EXPECT_EQ(r.ui32Height, c.lines) << c.name;
        EXPECT_EQ(r.ui32TilingStride, c.tiling) << c.name;
        EXPECT_EQ(r.ui32CStride, c.cStride) << c.name;
        EXPECT_EQ(r.ui32CHeight, c.cLines) << c.name;
    }
}

TEST(BufferSizes, DisplayLayouts)
{
    const LayoutCase cases[] = {
        // 1000 x 4 = 4000 -> 4032 linear, 4096 tiled
        {"BGR32 linear", &kBGR32, 1000, 1001, 0, 4032, 1001, 0, 0, 0},
        {"BGR32 tiled 256", &kBGR32, 1000, 1001, 256, 4096, 1008, 256, 0, 0},
        {"RGB24 odd width", &kRGB24, 21, 3, 0, 64, 3, 0, 0, 0},
        {"RGB24 tiled raised to the minimum", &kRGB24, 21, 3, 512, 1024, 8, 512, 0, 0},
        {"BGR64 linear", &kBGR64, 1920, 1080, 0, 15360, 1080, 0, 0, 0},
        {"BGR32 tiled 32768 with scheme 512", &kBGR32, 5000, 9, 512, 32768, 16, 512, 0, 0},
    };
    for (const LayoutCase &c : cases) {
        CI_TILINGINFO t{};
        if (c.scheme)
            t = tiles(c.scheme);
        CI_SIZEINFO r = poisoned();
        ASSERT_EQ(CI_ALLOC_RGBSizeInfo(c.type, c.width, c.height, c.scheme ? &t : nullptr, &r), QOV_SUCCESS)
            << c.name;
        EXPECT_EQ(r.eFmt, c.type->eFmt) << c.name;
        EXPECT_EQ(r.ui32Stride, c.stride) << c.name;
        EXPECT_EQ(r.ui32Height, c.lines) << c.name;
        EXPECT_EQ(r.ui32TilingStride, c.tiling) << c.name;
        EXPECT_EQ(r.ui32CStride, 0u) << c.name;
        EXPECT_EQ(r.ui32CHeight, 0u) << c.name;
    }
}

TEST(BufferSizes, Raw2DLinesAreNotAligned)
{
    CI_SIZEINFO r = poisoned();
    // ceil(1002 / 4) x 5 = 1255
    ASSERT_EQ(CI_ALLOC_Raw2DSizeInfo(&kTIFF10, 1002, 7, nullptr, &r), QOV_SUCCESS);
    EXPECT_EQ(r.eFmt, BAYER_TIFF_10);
    EXPECT_EQ(r.ui32Stride, 1255u);
    EXPECT_EQ(r.ui32Height, 7u);
    EXPECT_EQ(r.ui32TilingStride, 0u);
    EXPECT_EQ(r.ui32CStride, 0u);
    EXPECT_EQ(r.ui32CHeight, 0u);
    // ceil(7 / 2) x 3 = 12
    ASSERT_EQ(CI_ALLOC_Raw2DSizeInfo(&kTIFF12, 7, 3, nullptr, &r), QOV_SUCCESS);
    EXPECT_EQ(r.ui32Stride, 12u);
}

TEST(BufferSizes, ZeroWidthIsAnEmptyLayout)
{
    CI_TILINGINFO t = tiles(256);
    for (const CI_TILINGINFO *tiling : {(const CI_TILINGINFO *)nullptr, (const CI_TILINGINFO *)&t}) {
        CI_SIZEINFO r = poisoned();
        ASSERT_EQ(CI_ALLOC_YUVSizeInfo(&kNV12, 0, 1080, tiling, &r), QOV_SUCCESS);
        EXPECT_EQ(r.eFmt, YUV_420_PL12_8);
        EXPECT_EQ(r.ui32Stride, 0u);
        EXPECT_EQ(r.ui32Height, 1080u);
        EXPECT_EQ(r.ui32TilingStride, 0u);
        EXPECT_EQ(r.ui32CStride, 0u);
        EXPECT_EQ(r.ui32CHeight, 0u);

        r = poisoned();
        ASSERT_EQ(CI_ALLOC_RGBSizeInfo(&kBGR32, 0, 5, tiling, &r), QOV_SUCCESS);
        EXPECT_EQ(r.ui32Stride, 0u);
        EXPECT_EQ(r.ui32Height, 5u);
        EXPECT_EQ(r.ui32TilingStride, 0u);
        EXPECT_EQ(r.ui32CStride, 0u);
        EXPECT_EQ(r.ui32CHeight, 0u);
    }
}

TEST(BufferSizes, RefusalsAndTheirMessages)
{
    CI_TILINGINFO t256 = tiles(256);
    CI_SIZEINFO r{};
    struct {
        QOV_RESULT (*fn)(const PIXELTYPE *, QOV_UINT32, QOV_UINT32, const CI_TILINGINFO *, CI_SIZEINFO *);
        const PIXELTYPE *type;
        QOV_UINT32 width;
        const char *message;
    } cases[] = {
        {CI_ALLOC_YUVSizeInfo, &kNV12, 20000,
         "Trying to use tiling stride of 32768 (encoder) - maximum supported 16384\n"},
        {CI_ALLOC_RGBSizeInfo, &kBGR32, 5000,
         "Trying to use tiling stride of 32768 (display) - maximum supported 16384\n"},
        {CI_ALLOC_RGBSizeInfo, &kBGR64, 16, "Cannot insert tiled HDF buffer!\n"},
        {CI_ALLOC_Raw2DSizeInfo, &kTIFF10, 16, "Cannot configure tiled RAW2D format in current HW\n"},
    };
    for (const auto &c : cases) {
        CaptureStderr();
        EXPECT_EQ(c.fn(c.type, c.width, 8, &t256, &r), QOV_ERROR_NOT_SUPPORTED) << c.message;
        std::string err = GetCapturedStderr();
        EXPECT_NE(err.find("[DPF_OUT]"), std::string::npos) << err;
        EXPECT_NE(err.find(c.message), std::string::npos) << err;
    }
}

TEST(BufferSizes, MalformedInputIsRefused)
{
    CI_SIZEINFO r{};
    PIXELTYPE blank{};
    CI_TILINGINFO flat{256, 0, 512, 16384};
    CaptureStderr();
    EXPECT_EQ(CI_ALLOC_YUVSizeInfo(nullptr, 16, 16, nullptr, &r), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(CI_ALLOC_RGBSizeInfo(&kBGR32, 16, 16, nullptr, nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(CI_ALLOC_YUVSizeInfo(&blank, 16, 16, nullptr, &r), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(CI_ALLOC_Raw2DSizeInfo(&blank, 16, 16, nullptr, &r), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(CI_ALLOC_RGBSizeInfo(&kBGR32, 16, 16, &flat, &r), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(CI_ALLOC_GetTileInfo(256, nullptr), QOV_ERROR_INVALID_ARGUMENT);
    // a line or a tiled height beyond 32 bits
    EXPECT_EQ(CI_ALLOC_RGBSizeInfo(&kBGR64, 0xFFFFFFFFu, 1, nullptr, &r), QOV_ERROR_INVALID_ARGUMENT);
    CI_TILINGINFO t = tiles(256);
    EXPECT_EQ(CI_ALLOC_YUVSizeInfo(&kNV12, 64, 0xFFFFFFFFu, &t, &r), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(CI_ALLOC_Raw2DSizeInfo(&kBGR64, 0xFFFFFFFFu, 1, nullptr, &r), QOV_ERROR_INVALID_ARGUMENT);
    GetCapturedStderr();
}

}  // namespace
