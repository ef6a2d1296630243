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

#endif
