#include "ci/ci_alloc_info.h"

#include <cstdint>

#include "vezaracommon/userlog.h"

#define LOG_TAG "DPF_OUT"

namespace {

constexpr QOV_UINT64 kMax32 = UINT32_MAX;

// Bytes of a line of `width` samples: a partial packing group takes a whole group.
QOV_UINT64 lineBytes(const PIXELTYPE &type, QOV_UINT64 width)
{
    return (width + type.ui8PackedElements - 1) / type.ui8PackedElements * type.ui8PackedStride;
}

QOV_UINT64 alignUp(QOV_UINT64 x, QOV_UINT64 alignment)
{
    return (x + alignment - 1) / alignment * alignment;
}

QOV_UINT64 powerOfTwoAtLeast(QOV_UINT64 x)
{
    QOV_UINT64 p = 1;
    while (p < x)
        p <<= 1;
    return p;
}

// Tiling stride of a line of `bytes`: the next power of two, at least the
// scheme's minimum.
QOV_UINT64 tilingStride(QOV_UINT64 bytes, const CI_TILINGINFO &tile)
{
    QOV_UINT64 s = powerOfTwoAtLeast(bytes);
    return s < tile.ui32MinTileStride ? tile.ui32MinTileStride : s;
}

// A type that was never filled in would divide by zero below.
bool typeUsable(const PIXELTYPE &type)
{
    return type.ui8PackedElements != 0 && type.ui8PackedStride != 0 && type.ui8HSubsampling != 0 &&
           type.ui8VSubsampling != 0;
}

QOV_RESULT checkArguments(const char *function, unsigned line, const PIXELTYPE *pType,
                          const CI_TILINGINFO *pTileInfo, const CI_SIZEINFO *pResult)
{
    if (!pType || !pResult) {
        LOG_Error(function, line, LOG_TAG, "pType or pResult is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (!typeUsable(*pType)) {
        LOG_Error(function, line, LOG_TAG, "pixel type of format %d has no packing description\n",
                  (int)pType->eFmt);
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (pTileInfo && pTileInfo->ui32TilingHeight == 0) {
        LOG_Error(function, line, LOG_TAG, "tiling scheme %u has a tile height of 0\n",
                  pTileInfo->ui32TilingStride);
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    return QOV_SUCCESS;
}

}  // namespace

QOV_UINT32 CI_ALLOC_GetMinTilingStride(void)
{
    return CI_ALLOC_MIN_TILING_STRIDE;
}

QOV_UINT32 CI_ALLOC_GetMaxTilingStride(void)
{
    return CI_ALLOC_MAX_TILING_STRIDE;
}

QOV_UINT32 CI_ALLOC_GetSysmemAlignment(void)
{
    return CI_ALLOC_SYSMEM_ALIGNMENT;
}

QOV_RESULT CI_ALLOC_GetTileInfo(QOV_UINT32 ui32TiledScheme, CI_TILINGINFO *pResult)
{
    if (!pResult)
        return QOV_ERROR_INVALID_ARGUMENT;
    switch (ui32TiledScheme) {
    case 256:
        *pResult = CI_TILINGINFO{256, 16, 512, 16384};
        return QOV_SUCCESS;
    case 512:
        *pResult = CI_TILINGINFO{512, 8, 1024, 32768};
        return QOV_SUCCESS;
    default:
        return QOV_ERROR_NOT_SUPPORTED;
    }
}

QOV_RESULT CI_ALLOC_YUVSizeInfo(const PIXELTYPE *pType, QOV_UINT32 ui32Width, QOV_UINT32 ui32Height,
                                const CI_TILINGINFO *pTileInfo, CI_SIZEINFO *pResult)
{
    QOV_RESULT ret = checkArguments(__func__, __LINE__, pType, pTileInfo, pResult);
    if (ret != QOV_SUCCESS)
        return ret;

    CI_SIZEINFO info{};
    info.eFmt = pType->eFmt;
    info.ui32Height = ui32Height;
    QOV_UINT64 stride = lineBytes(*pType, ui32Width);
    if (stride == 0) {
        *pResult = info;  // an empty image: every other field 0
        return QOV_SUCCESS;
    }
    stride = alignUp(stride, CI_ALLOC_SYSMEM_ALIGNMENT);

    const bool packed444 =
        pType->ui8PackedStride > 2 && pType->ui8HSubsampling == 1 && pType->ui8VSubsampling == 1;
    QOV_UINT64 cStride = 0;
    QOV_UINT64 cHeight = 0;
    if (!packed444) {
        // A chroma line holds two interleaved samples per chroma position; a
        // partial position of an odd width or height still takes a whole one.
        QOV_UINT64 positions = ((QOV_UINT64)ui32Width + pType->ui8HSubsampling - 1) / pType->ui8HSubsampling;
        cStride = alignUp(lineBytes(*pType, positions * 2), CI_ALLOC_SYSMEM_ALIGNMENT);
        cHeight = ((QOV_UINT64)ui32Height + pType->ui8VSubsampling - 1) / pType->ui8VSubsampling;
    }
    QOV_UINT64 height = ui32Height;

    if (pTileInfo) {
        QOV_UINT64 s = tilingStride(stride > cStride ? stride : cStride, *pTileInfo);
        if (s > pTileInfo->ui32MaxTileStride) {
            LOG_ERROR("Trying to use tiling stride of %d (encoder) - maximum supported %d\n",
                      (int)(s > kMax32 ? kMax32 : s), (int)pTileInfo->ui32MaxTileStride);
            return QOV_ERROR_NOT_SUPPORTED;
        }
        stride = s;
        height = alignUp(height, pTileInfo->ui32TilingHeight);
        if (!packed444) {
            cStride = s;
            cHeight = alignUp(cHeight, pTileInfo->ui32TilingHeight);
        }
        info.ui32TilingStride = pTileInfo->ui32TilingStride;
    }

    if (stride > kMax32 || height > kMax32 || cStride > kMax32) {
        LOG_ERROR("image of %ux%u is too large for a %s buffer\n", ui32Width, ui32Height,
                  FormatString(pType->eFmt));
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    info.ui32Stride = (QOV_UINT32)stride;
    info.ui32Height = (QOV_UINT32)height;
    info.ui32CStride = (QOV_UINT32)cStride;
    info.ui32CHeight = (QOV_UINT32)cHeight;
    *pResult = info;
    return QOV_SUCCESS;
}

QOV_RESULT CI_ALLOC_RGBSizeInfo(const PIXELTYPE *pType, QOV_UINT32 ui32Width, QOV_UINT32 ui32Height,
                                const CI_TILINGINFO *pTileInfo, CI_SIZEINFO *pResult)
{
    QOV_RESULT ret = checkArguments(__func__, __LINE__, pType, pTileInfo, pResult);
    if (ret != QOV_SUCCESS)
        return ret;
    if (pTileInfo && pType->eFmt == BGR_161616_64) {
        LOG_ERROR("Cannot insert tiled HDF buffer!\n");
        return QOV_ERROR_NOT_SUPPORTED;
    }

    CI_SIZEINFO info{};
    info.eFmt = pType->eFmt;
    info.ui32Height = ui32Height;
    QOV_UINT64 stride = lineBytes(*pType, ui32Width);
    if (stride == 0) {
        *pResult = info;
        return QOV_SUCCESS;
    }
    stride = alignUp(stride, CI_ALLOC_SYSMEM_ALIGNMENT);
    QOV_UINT64 height = ui32Height;

    if (pTileInfo) {
        QOV_UINT64 s = tilingStride(stride, *pTileInfo);
        if (s > pTileInfo->ui32MaxTileStride) {
            LOG_ERROR("Trying to use tiling stride of %d (display) - maximum supported %d\n",
                      (int)(s > kMax32 ? kMax32 : s), (int)pTileInfo->ui32MaxTileStride);
            return QOV_ERROR_NOT_SUPPORTED;
        }
        stride = s;
        height = alignUp(height, pTileInfo->ui32TilingHeight);
        info.ui32TilingStride = pTileInfo->ui32TilingStride;
    }

    if (stride > kMax32 || height > kMax32) {
        LOG_ERROR("image of %ux%u is too large for a %s buffer\n", ui32Width, ui32Height,
                  FormatString(pType->eFmt));
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    info.ui32Stride = (QOV_UINT32)stride;
    info.ui32Height = (QOV_UINT32)height;
    *pResult = info;
    return QOV_SUCCESS;
}

QOV_RESULT CI_ALLOC_Raw2DSizeInfo(const PIXELTYPE *pType, QOV_UINT32 ui32Width, QOV_UINT32 ui32Height,
                                  const CI_TILINGINFO *pTileInfo, CI_SIZEINFO *pResult)
{
    QOV_RESULT ret = checkArguments(__func__, __LINE__, pType, pTileInfo, pResult);
    if (ret != QOV_SUCCESS)
        return ret;
    if (pTileInfo) {
        LOG_ERROR("Cannot configure tiled RAW2D format in current HW\n");
        return QOV_ERROR_NOT_SUPPORTED;
    }
    QOV_UINT64 stride = lineBytes(*pType, ui32Width);
    if (stride > kMax32) {
        LOG_ERROR("image of %ux%u is too large for a %s buffer\n", ui32Width, ui32Height,
                  FormatString(pType->eFmt));
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    CI_SIZEINFO info{};
    info.eFmt = pType->eFmt;
    info.ui32Stride = (QOV_UINT32)stride;
    info.ui32Height = ui32Height;
    *pResult = info;
    return QOV_SUCCESS;
}
