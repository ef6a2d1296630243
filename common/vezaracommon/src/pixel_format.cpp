#include "vezaracommon/pixel_format.h"

#include <cstring>

namespace {

struct FormatNames {
    const char *display;
    const char *filename;
};

// Indexed by pxlFormat, PXL_NONE to PXL_ISP_444IL3YCbCr10.
const FormatNames kFormatNames[] = {
    {"NONE", "NONE"},
    {"NV21", "NV21"},
    {"NV12", "NV12"},
    {"NV61", "NV61"},
    {"NV16", "NV16"},
    {"NV21-10bit", "NV21-10bit"},
    {"NV12-10bit", "NV12-10bit"},
    {"NV61-10bit", "NV61-10bit"},
    {"NV16-10bit", "NV16-10bit"},
    {"BI_RGB24", "BI_RGB24"},
    {"BI_RGB32", "BI_RGB32"},
    {"BI_RGB32-10bit", "BI_RGB32-10bit"},
    {"BI_BGR24", "BI_BGR24"},
    {"BI_BGR32", "BI_BGR32"},
    {"BI_BGR32-10bit", "BI_BGR32-10bit"},
    {"BI_BGR64", "BI_BGR64"},
    {"RGGB8", "RGGB8"},
    {"RGGB10", "RGGB10"},
    {"RGGB12", "RGGB12"},
    {"TIFF10", "TIFF10"},
    {"TIFF12", "TIFF12"},
    {"444IL3YCrCb8", "YUV_444"},
    {"444IL3YCbCr8", "YVU_444"},
    {"444IL3YCrCb10", "YUV_444-10bit"},
    {"444IL3YCbCr10", "YVU_444-10bit"},
};
constexpr int kNamedFormats = sizeof(kFormatNames) / sizeof(kFormatNames[0]);
static_assert(kNamedFormats == PXL_ISP_444IL3YCbCr10 + 1);

const char *const kUnknownFormat = "?fmt?";

struct Packing {
    FORMAT_TYPES buffer;
    QOV_UINT8 hSub, vSub, depth, elements, stride;
    PACKEDSTART start;
};

void fill(PIXELTYPE *pType, pxlFormat fmt, const Packing &p, MOSAICType mosaic)
{
    pType->eFmt = fmt;
    pType->eBuffer = p.buffer;
    pType->eMosaic = mosaic;
    pType->ui8HSubsampling = p.hSub;
    pType->ui8VSubsampling = p.vSub;
    pType->ui8BitDepth = p.depth;
    pType->ui8PackedElements = p.elements;
    pType->ui8PackedStride = p.stride;
    pType->ePackedStart = p.start;
}

// A refused format leaves a record that says "no output".
void clear(PIXELTYPE *pType, pxlFormat fmt)
{
    memset(pType, 0, sizeof(*pType));
    pType->eFmt = fmt;
    pType->eBuffer = TYPE_NONE;
}

bool packedYcc(pxlFormat fmt, Packing *p)
{
    switch (fmt) {
    case PXL_ISP_444IL3YCrCb8:
    case PXL_ISP_444IL3YCbCr8:
        *p = {TYPE_YUV, 1, 1, 8, 1, 3, PACKED_LSB};
        return true;
    case PXL_ISP_444IL3YCrCb10:
    case PXL_ISP_444IL3YCbCr10:
        *p = {TYPE_YUV, 1, 1, 10, 1, 4, PACKED_LSB};
        return true;
    default:
        return false;
    }
}

}  // namespace

const double BT601_coeff[9] = {1.164, 0, 1.54, 1.164, -0.391, -0.813, 1.164, 2.018, 0};
const double BT601_Inputoff[3] = {-16, -128, -128};
const double BT709_coeff[9] = {1, 0, 1.57492, 1, -0.1873243, -0.468159932, 1, 1.8556, 0};
const double BT709_Inputoff[3] = {-16, -128, -128};
const double JFIF_coeff[9] = {1, 0, 1.402, 1, -0.34414, -0.71414, 1, 1.772, 0};
const double JFIF_Inputoff[3] = {0, -128, -128};

QOV_RESULT PixelTransformYUV(PIXELTYPE *pType, pxlFormat yuv)
{
    if (!pType)
        return QOV_ERROR_INVALID_ARGUMENT;
    Packing p;
    switch (yuv) {
    case YVU_420_PL12_8:
    case YUV_420_PL12_8:
        p = {TYPE_YUV, 2, 2, 8, 1, 1, PACKED_LSB};
        break;
    case YVU_422_PL12_8:
    case YUV_422_PL12_8:
        p = {TYPE_YUV, 2, 1, 8, 1, 1, PACKED_LSB};
        break;
    case YVU_420_PL12_10:
    case YUV_420_PL12_10:
        p = {TYPE_YUV, 2, 2, 10, 6, 8, PACKED_LSB};
        break;
    case YVU_422_PL12_10:
    case YUV_422_PL12_10:
        p = {TYPE_YUV, 2, 1, 10, 6, 8, PACKED_LSB};
        break;
    default:
        clear(pType, yuv);
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    fill(pType, yuv, p, MOSAIC_NONE);
    return QOV_SUCCESS;
}

QOV_RESULT PixelTransformRGB(PIXELTYPE *pType, pxlFormat rgb)
{
    if (!pType)
        return QOV_ERROR_INVALID_ARGUMENT;
    Packing p;
    switch (rgb) {
    case RGB_888_24:
    case BGR_888_24:
        p = {TYPE_RGB, 1, 1, 8, 1, 3, PACKED_LSB};
        break;
    case RGB_888_32:
    case BGR_888_32:
        p = {TYPE_RGB, 1, 1, 8, 1, 4, PACKED_LSB};
        break;
    case RGB_101010_32:
    case BGR_101010_32:
        p = {TYPE_RGB, 1, 1, 10, 1, 4, PACKED_LSB};
        break;
    case BGR_161616_64:
        p = {TYPE_RGB, 1, 1, 16, 1, 8, PACKED_LSB};
        break;
    default:
        clear(pType, rgb);
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    fill(pType, rgb, p, MOSAIC_NONE);
    return QOV_SUCCESS;
}

QOV_RESULT PixelTransformBayer(PIXELTYPE *pType, pxlFormat bayer, MOSAICType mosaic)
{
    if (!pType)
        return QOV_ERROR_INVALID_ARGUMENT;
    Packing p;
    switch (bayer) {
    case BAYER_RGGB_8:
        p = {TYPE_BAYER, 1, 1, 8, 4, 4, PACKED_LSB};
        break;
    case BAYER_RGGB_10:
        p = {TYPE_BAYER, 1, 1, 10, 3, 4, PACKED_LSB};
        break;
    case BAYER_RGGB_12:
        p = {TYPE_BAYER, 1, 1, 12, 16, 24, PACKED_LSB};
        break;
    case BAYER_TIFF_10:
        p = {TYPE_BAYER, 1, 1, 10, 4, 5, PACKED_MSB};
        break;
    case BAYER_TIFF_12:
        p = {TYPE_BAYER, 1, 1, 12, 2, 3, PACKED_MSB};
        break;
    default:
        clear(pType, bayer);
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    fill(pType, bayer, p, mosaic);
    return QOV_SUCCESS;
}

QOV_RESULT PixelTransformDisplay(PIXELTYPE *pType, pxlFormat fmt)
{
    if (!pType)
        return QOV_ERROR_INVALID_ARGUMENT;
    Packing p;
    if (packedYcc(fmt, &p)) {
        fill(pType, fmt, p, MOSAIC_NONE);
        return QOV_SUCCESS;
    }
    return PixelTransformRGB(pType, fmt);
}

QOV_BOOL PixelFormatIsPackedYcc(pxlFormat fmt)
{
    Packing p;
    return packedYcc(fmt, &p) ? QOV_TRUE : QOV_FALSE;
}

QOV_UINT32 PixelFormatYccBitDepth(pxlFormat fmt)
{
    Packing p;
    return packedYcc(fmt, &p) ? p.depth : 0;
}

const char *FormatString(pxlFormat fmt)
{
    const int i = static_cast<int>(fmt);
    return (i >= 0 && i < kNamedFormats) ? kFormatNames[i].display : kUnknownFormat;
}

const char *FormatStringForFilename(pxlFormat fmt)
{
    const int i = static_cast<int>(fmt);
    return (i >= 0 && i < kNamedFormats) ? kFormatNames[i].filename : kUnknownFormat;
}

pxlFormat FormatIndex(const char *name)
{
    if (!name)
        return PXL_NONE;
    for (int i = 0; i < kNamedFormats; i++) {
        if (strcmp(name, kFormatNames[i].display) == 0)
            return static_cast<pxlFormat>(i);
    }
    return PXL_NONE;
}

const char *MosaicString(MOSAICType mosaic)
{
    switch (mosaic) {
    case MOSAIC_NONE:
        return "NONE";
    case MOSAIC_RGGB:
        return "MOSAIC_RGGB";
    case MOSAIC_GRBG:
        return "MOSAIC_GRBG";
    case MOSAIC_GBRG:
        return "MOSAIC_GBRG";
    case MOSAIC_BGGR:
        return "MOSAIC_BGGR";
    }
    return "?mos?";
}

MOSAICType MosaicFlip(MOSAICType input, QOV_BOOL8 bFlipH, QOV_BOOL8 bFlipV)
{
    // Bit 0 of the index: the cell's columns are swapped (G first on the top
    // row), bit 1: its rows are swapped. Mirroring toggles the bit.
    static const MOSAICType kByFlip[4] = {MOSAIC_RGGB, MOSAIC_GRBG, MOSAIC_GBRG, MOSAIC_BGGR};
    int flip;
    switch (input) {
    case MOSAIC_RGGB:
        flip = 0;
        break;
    case MOSAIC_GRBG:
        flip = 1;
        break;
    case MOSAIC_GBRG:
        flip = 2;
        break;
    case MOSAIC_BGGR:
        flip = 3;
        break;
    default:
        return MOSAIC_NONE;
    }
    if (bFlipH)
        flip ^= 1;
    if (bFlipV)
        flip ^= 2;
    return kByFlip[flip];
}
