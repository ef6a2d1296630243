// Pixel formats of the ISP outputs and how each is stored.
#ifndef VEZARA_PIXEL_FORMAT_H
#define VEZARA_PIXEL_FORMAT_H

#include <cstddef>

#include "qov_types.h"

// Values are fixed: they travel to the driver inside PIXELTYPE.
typedef enum pxlFormat {
    PXL_NONE = 0,
    YVU_420_PL12_8 = 1,
    YUV_420_PL12_8 = 2,
    YVU_422_PL12_8 = 3,
    YUV_422_PL12_8 = 4,
    YVU_420_PL12_10 = 5,
    YUV_420_PL12_10 = 6,
    YVU_422_PL12_10 = 7,
    YUV_422_PL12_10 = 8,
    RGB_888_24 = 9,
    RGB_888_32 = 10,
    RGB_101010_32 = 11,
    BGR_888_24 = 12,
    BGR_888_32 = 13,
    BGR_101010_32 = 14,
    BGR_161616_64 = 15,
    BAYER_RGGB_8 = 16,
    BAYER_RGGB_10 = 17,
    BAYER_RGGB_12 = 18,
    BAYER_TIFF_10 = 19,
    BAYER_TIFF_12 = 20,
    PXL_ISP_444IL3YCrCb8 = 21,
    PXL_ISP_444IL3YCbCr8 = 22,
    PXL_ISP_444IL3YCrCb10 = 23,
    PXL_ISP_444IL3YCbCr10 = 24,
    PXL_N = 25,
    PXL_INVALID = 26,
} pxlFormat;

typedef enum FORMAT_TYPES {
    TYPE_NONE = 0,
    TYPE_RGB = 1,
    TYPE_YUV = 2,
    TYPE_BAYER = 3,
} FORMAT_TYPES;

typedef enum PACKEDSTART {
    PACKED_LSB = 0,
    PACKED_MSB = 1,
} PACKEDSTART;

typedef enum MOSAICType {
    MOSAIC_NONE = 0,
    MOSAIC_RGGB = 1,
    MOSAIC_GRBG = 2,
    MOSAIC_GBRG = 3,
    MOSAIC_BGGR = 4,
} MOSAICType;

typedef enum HDR_MODES {
    HDR_NONE = 0,
    HDR_STAGGERED = 1,
    HDR_ALTERNATE_ROW = 2,
    HDR_PIXEL_BASED = 3,
} HDR_MODES;

// Storage of one pixel format; part of the pipeline configuration the driver reads.
typedef struct PIXELTYPE {
    pxlFormat eFmt;
    FORMAT_TYPES eBuffer;
    MOSAICType eMosaic;
    QOV_UINT8 ui8HSubsampling;
    QOV_UINT8 ui8VSubsampling;
    QOV_UINT8 ui8BitDepth;
    QOV_UINT8 ui8PackedElements;
    QOV_UINT8 ui8PackedStride;
    PACKEDSTART ePackedStart;
} PIXELTYPE;

static_assert(sizeof(pxlFormat) == 4 && sizeof(FORMAT_TYPES) == 4 && sizeof(MOSAICType) == 4);
static_assert(sizeof(PIXELTYPE) == 24);
static_assert(offsetof(PIXELTYPE, eBuffer) == 4 && offsetof(PIXELTYPE, eMosaic) == 8);
static_assert(offsetof(PIXELTYPE, ui8HSubsampling) == 12 && offsetof(PIXELTYPE, ui8PackedElements) == 15);
static_assert(offsetof(PIXELTYPE, ui8PackedStride) == 16 && offsetof(PIXELTYPE, ePackedStart) == 20);

// The operations on pixel formats (names, transforms, layout conversions)
// follow below this line.

// Fill the storage description of a format of one family. PXL_NONE or a format of
// another family gives QOV_ERROR_INVALID_ARGUMENT (PixelTransformYUV then leaves
// eBuffer at TYPE_NONE).
QOV_RESULT PixelTransformYUV(PIXELTYPE *pType, pxlFormat yuv);
QOV_RESULT PixelTransformRGB(PIXELTYPE *pType, pxlFormat rgb);
QOV_RESULT PixelTransformBayer(PIXELTYPE *pType, pxlFormat bayer, MOSAICType mosaic);
// Display outputs: the packed 4:4:4 formats as YUV, anything else as RGB.
QOV_RESULT PixelTransformDisplay(PIXELTYPE *pType, pxlFormat fmt);

QOV_BOOL PixelFormatIsPackedYcc(pxlFormat fmt);
QOV_UINT32 PixelFormatYccBitDepth(pxlFormat fmt);

const char *FormatString(pxlFormat fmt);
const char *FormatStringForFilename(pxlFormat fmt);
// First format 0..24 whose display name is exactly the text, else PXL_NONE.
pxlFormat FormatIndex(const char *name);

const char *MosaicString(MOSAICType mosaic);
// Bayer order seen after mirroring the image horizontally and/or vertically.
MOSAICType MosaicFlip(MOSAICType input, QOV_BOOL8 bFlipH, QOV_BOOL8 bFlipV);

// Colour conversion constants for BufferTransformYUV444ToRGB: 3x3 matrices row by
// row (outputs R, G, B; inputs Y, Cb, Cr) and the offsets added to Y, Cb, Cr first.
extern const double BT601_coeff[9];
extern const double BT601_Inputoff[3];
extern const double BT709_coeff[9];
extern const double BT709_Inputoff[3];
extern const double JFIF_coeff[9];
extern const double JFIF_Inputoff[3];

// Copies a tiled buffer into a linear one.
QOV_RESULT BufferDeTile(QOV_UINT32 ui32TileWidth, QOV_UINT32 ui32TileHeight, QOV_UINT32 ui32TileStride,
                        const void *pInput, void *pOutput, QOV_UINT32 ui32OutputHStride,
                        QOV_UINT32 ui32OutputVStride);

// Semi-planar 8-bit YUV to three planes Y, U, V of outWidth x outHeight bytes.
// Returns a buffer the caller frees with free(), or null.
QOV_UINT8 *BufferTransformYUVTo444(const QOV_UINT8 *bufferA, QOV_BOOL8 bUV, pxlFormat eTypeA,
                                   QOV_UINT32 inWidth, QOV_UINT32 inHeight, QOV_UINT32 outWidth,
                                   QOV_UINT32 outHeight);

// Planar 4:4:4 to packed RGB of the given format. Returns a buffer the caller
// frees with free(), or null.
QOV_UINT8 *BufferTransformYUV444ToRGB(const QOV_UINT8 *bufferA, QOV_BOOL8 bUV, pxlFormat rgb,
                                      QOV_BOOL8 bBGR, QOV_UINT32 width, QOV_UINT32 height,
                                      const double *convMatrix, const double *convInputOff);

// 255 above 255, 0 below 0, otherwise truncated toward zero.
QOV_UINT8 clip(double v);

#endif
