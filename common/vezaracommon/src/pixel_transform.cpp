#include <cmath>
#include <cstdlib>
#include <cstring>

#include "vezaracommon/pixel_format.h"
#include "vezaracommon/userlog.h"

#define LOG_TAG "PIXEL_TRANSFORM"

QOV_RESULT BufferDeTile(QOV_UINT32 ui32TileWidth, QOV_UINT32 ui32TileHeight, QOV_UINT32 ui32TileStride,
                        const void *pInput, void *pOutput, QOV_UINT32 ui32OutputHStride,
                        QOV_UINT32 ui32OutputVStride)
{
    if (!pInput || !pOutput) {
        LOG_ERROR("pInput or pOutput is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (ui32TileWidth == 0 || ui32TileHeight == 0 || ui32TileStride == 0 || ui32OutputHStride == 0 ||
        ui32OutputVStride == 0) {
        LOG_ERROR("one of the size is 0 (ui32TileWidth=%d, ui32TileHeight=%d, ui32TileStride=%d, "
                  "ui32OutputHStride=%d, ui32OutputVStride=%d)\n",
                  ui32TileWidth, ui32TileHeight, ui32TileStride, ui32OutputHStride, ui32OutputVStride);
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (ui32OutputHStride < ui32TileStride || ui32TileStride < ui32TileWidth) {
        LOG_ERROR("ui32TileStride is bigger than ui32OutputHStride (%d>%d) or tile width than tile stride "
                  "(width %d)\n",
                  ui32TileStride, ui32OutputHStride, ui32TileWidth);
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (ui32OutputHStride % ui32TileWidth != 0) {
        LOG_ERROR("strides are not divisible by the tile sizes\n");
        return QOV_ERROR_NOT_SUPPORTED;
    }
    if (ui32TileStride % ui32TileWidth != 0 || ui32OutputHStride % ui32TileStride != 0) {
        LOG_ERROR("tile stride is not compatible with the output size or the tile width "
                  "(ui32TileStride%cui32TileWidth=%d, ui32OutputHStride%cui32TileStride=%d)\n",
                  '%', ui32TileStride % ui32TileWidth, '%', ui32OutputHStride % ui32TileStride);
        return QOV_ERROR_NOT_SUPPORTED;
    }

    // A wider output is walked as more lines of one tile stride each.
    const size_t tileWidth = ui32TileWidth;
    const size_t tileHeight = ui32TileHeight;
    const size_t hStride = ui32TileStride;
    const size_t vStride = static_cast<size_t>(ui32OutputVStride) * (ui32OutputHStride / ui32TileStride);
    const size_t tilesPerRow = hStride / tileWidth;
    const size_t tileBytes = tileWidth * tileHeight;
    const size_t tileRows = (vStride + tileHeight - 1) / tileHeight;

    const QOV_UINT8 *in = static_cast<const QOV_UINT8 *>(pInput);
    QOV_UINT8 *out = static_cast<QOV_UINT8 *>(pOutput);
    for (size_t row = 0; row < tileRows; row++) {
        const size_t firstLine = row * tileHeight;
        const size_t lines = (vStride - firstLine < tileHeight) ? vStride - firstLine : tileHeight;
        for (size_t t = 0; t < tilesPerRow; t++) {
            // Every tile takes a whole tile of input, also in a last partial row.
            const QOV_UINT8 *tile = in + (row * tilesPerRow + t) * tileBytes;
            for (size_t l = 0; l < lines; l++)
                memcpy(out + (firstLine + l) * hStride + t * tileWidth, tile + l * tileWidth, tileWidth);
        }
    }
    return QOV_SUCCESS;
}

QOV_UINT8 *BufferTransformYUVTo444(const QOV_UINT8 *bufferA, QOV_BOOL8 bUV, pxlFormat eTypeA,
                                   QOV_UINT32 inWidth, QOV_UINT32 inHeight, QOV_UINT32 outWidth,
                                   QOV_UINT32 outHeight)
{
    PIXELTYPE type;
    if (!bufferA || static_cast<size_t>(inWidth) * inHeight == 0 || outWidth > inWidth || outHeight > inHeight)
        return nullptr;
    if (PixelTransformYUV(&type, eTypeA) != QOV_SUCCESS || type.ui8BitDepth > 8)
        return nullptr;

    const size_t planeSize = static_cast<size_t>(outWidth) * outHeight;
    QOV_UINT8 *result = static_cast<QOV_UINT8 *>(calloc(planeSize * 3 + 1, 1));
    if (!result)
        return nullptr;
    QOV_UINT8 *outY = result;
    QOV_UINT8 *outU = result + planeSize;
    QOV_UINT8 *outV = result + 2 * planeSize;

    for (size_t y = 0; y < outHeight; y++)
        memcpy(outY + y * outWidth, bufferA + y * inWidth, outWidth);

    const size_t h = type.ui8HSubsampling;
    const size_t v = type.ui8VSubsampling;
    const QOV_UINT8 *chroma = bufferA + static_cast<size_t>(inWidth) * inHeight;
    for (size_t l = 0; l < outHeight / v; l++) {
        const QOV_UINT8 *line = chroma + l * inWidth;
        for (size_t p = 0; p < outWidth / h; p++) {
            const QOV_UINT8 first = line[2 * p];
            const QOV_UINT8 second = line[2 * p + 1];
            const QOV_UINT8 u = bUV ? first : second;
            const QOV_UINT8 vv = bUV ? second : first;
            for (size_t dy = 0; dy < v; dy++) {
                const size_t base = (l * v + dy) * outWidth + p * h;
                for (size_t dx = 0; dx < h; dx++) {
                    outU[base + dx] = u;
                    outV[base + dx] = vv;
                }
            }
        }
    }
    return result;
}

QOV_UINT8 *BufferTransformYUV444ToRGB(const QOV_UINT8 *bufferA, QOV_BOOL8 bUV, pxlFormat rgb,
                                      QOV_BOOL8 bBGR, QOV_UINT32 width, QOV_UINT32 height,
                                      const double *convMatrix, const double *convInputOff)
{
    PIXELTYPE type;
    if (!bufferA || !convMatrix || !convInputOff)
        return nullptr;
    if (PixelTransformRGB(&type, rgb) != QOV_SUCCESS)
        return nullptr;

    const size_t planeSize = static_cast<size_t>(width) * height;
    const size_t groups = (width + type.ui8PackedElements - 1) / type.ui8PackedElements;
    const size_t lineBytes = groups * type.ui8PackedStride;
    QOV_UINT8 *result = static_cast<QOV_UINT8 *>(calloc(lineBytes * height + 1, 1));
    if (!result)
        return nullptr;

    const QOV_UINT8 *planeY = bufferA;
    const QOV_UINT8 *planeU = bufferA + (bUV ? planeSize : 2 * planeSize);
    const QOV_UINT8 *planeV = bufferA + (bUV ? 2 * planeSize : planeSize);
    const int k[3] = {bBGR ? 2 : 0, 1, bBGR ? 0 : 2};
    for (size_t y = 0; y < height; y++) {
        for (size_t x = 0; x < width; x++) {
            const size_t i = y * width + x;
            const double yv = planeY[i] + convInputOff[0];
            const double uv = planeU[i] + convInputOff[1];
            const double vv = planeV[i] + convInputOff[2];
            QOV_UINT8 *group = result + y * lineBytes + (x / type.ui8PackedElements) * type.ui8PackedStride;
            for (int c = 0; c < 3; c++) {
                const double value = yv * convMatrix[3 * c] + uv * convMatrix[3 * c + 1] + vv * convMatrix[3 * c + 2];
                group[k[c]] = clip(value);
            }
        }
    }
    return result;
}

QOV_UINT8 clip(double v)
{
    if (v > 255.0)
        return 255;
    if (v < 0.0 || std::isnan(v))
        return 0;
    return static_cast<QOV_UINT8>(v);
}
