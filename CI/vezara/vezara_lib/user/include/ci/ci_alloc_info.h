// Buffer-size rules: line strides and line counts of the ISP's output
// buffers for a pixel type and an image size, linear or tiled.
#ifndef CI_ALLOC_INFO_H
#define CI_ALLOC_INFO_H

#include "qov_types.h"
#include "vezaracommon/pixel_format.h"

// Layout of one buffer: the main (luma or only) plane, then the chroma plane.
// The buffer needs ui32Stride * ui32Height + ui32CStride * ui32CHeight bytes.
typedef struct CI_SIZEINFO {
    pxlFormat eFmt;
    QOV_UINT32 ui32Stride;       // bytes per line of the main plane
    QOV_UINT32 ui32Height;       // lines of the main plane
    QOV_UINT32 ui32TilingStride; // tiling scheme of the layout, 0 when linear
    QOV_UINT32 ui32CStride;      // bytes per chroma line, 0 without chroma plane
    QOV_UINT32 ui32CHeight;      // chroma lines, 0 without chroma plane
} CI_SIZEINFO;

// One tiling scheme of the hardware.
typedef struct CI_TILINGINFO {
    QOV_UINT32 ui32TilingStride; // tile width in bytes (the scheme's number)
    QOV_UINT32 ui32TilingHeight; // tile height in lines
    QOV_UINT32 ui32MinTileStride;
    QOV_UINT32 ui32MaxTileStride;
} CI_TILINGINFO;

#define CI_ALLOC_SYSMEM_ALIGNMENT 64u
#define CI_ALLOC_MIN_TILING_STRIDE 512u
#define CI_ALLOC_MAX_TILING_STRIDE 0x4000u

QOV_UINT32 CI_ALLOC_GetMinTilingStride(void);
QOV_UINT32 CI_ALLOC_GetMaxTilingStride(void);
QOV_UINT32 CI_ALLOC_GetSysmemAlignment(void);

// Record of tiling scheme 256 or 512; any other scheme is QOV_ERROR_NOT_SUPPORTED.
QOV_RESULT CI_ALLOC_GetTileInfo(QOV_UINT32 ui32TiledScheme, CI_TILINGINFO *pResult);

// Encoder (semi-planar or packed 4:4:4 YUV) buffers; a null pTileInfo means linear.
QOV_RESULT CI_ALLOC_YUVSizeInfo(const PIXELTYPE *pType, QOV_UINT32 ui32Width, QOV_UINT32 ui32Height,
                                const CI_TILINGINFO *pTileInfo, CI_SIZEINFO *pResult);
// Display, HDR-extraction and HDR-insertion buffers.
QOV_RESULT CI_ALLOC_RGBSizeInfo(const PIXELTYPE *pType, QOV_UINT32 ui32Width, QOV_UINT32 ui32Height,
                                const CI_TILINGINFO *pTileInfo, CI_SIZEINFO *pResult);
// RAW 2D (TIFF Bayer) extraction buffers: linear only, lines not aligned.
QOV_RESULT CI_ALLOC_Raw2DSizeInfo(const PIXELTYPE *pType, QOV_UINT32 ui32Width, QOV_UINT32 ui32Height,
                                  const CI_TILINGINFO *pTileInfo, CI_SIZEINFO *pResult);

#endif
