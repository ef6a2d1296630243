// Lens-shading matrix encoding: each grid row of each channel becomes one
// line holding its first vertex in U3.10 followed by the differences between
// neighbouring vertices packed in a chosen number of bits.
#include <cstdio>
#include <cstring>

#include "mc/mc_conversions.h"
#include "mc_fixedpoint_inl.h"
#include "vezaracommon/userlog.h"

#define LOG_TAG "MC_CONVERT"

namespace {

constexpr QOV_UINT8 kMinBitsPerDiff = 4;
constexpr QOV_UINT8 kMaxBitsPerDiff = 10;

inline QOV_INT32 vertexU310(LSH_FLOAT v) { return mc::U(static_cast<double>(v), 3, 10); }

// The magnitude that decides the two's-complement width of a difference.
inline QOV_INT32 diffMeasure(QOV_INT32 d) { return d >= 0 ? d : -d - 1; }

bool channelsPresent(const LSH_GRID *pLSH)
{
    for (int c = 0; c < LSH_NUM_CHANNELS; ++c) {
        if (!pLSH->apMatrix[c])
            return false;
    }
    return true;
}

bool isPowerOfTwo(QOV_UINT32 v) { return v != 0 && (v & (v - 1)) == 0; }

// The checks shared by the encoding and the repair.
QOV_RESULT checkGridAndBits(const LSH_GRID *pLSH, QOV_UINT8 ui8BitsPerDiff)
{
    if (!channelsPresent(pLSH)) {
        LOG_ERROR("The given LSH grid is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (ui8BitsPerDiff < kMinBitsPerDiff || ui8BitsPerDiff > kMaxBitsPerDiff) {
        LOG_ERROR("grid needs %d bits while HW can support %d to %d\n", ui8BitsPerDiff, kMinBitsPerDiff,
                  kMaxBitsPerDiff);
        return QOV_ERROR_NOT_SUPPORTED;
    }
    if (!isPowerOfTwo(pLSH->ui16TileSize)) {
        LOG_ERROR("LSH matrix tile size has to be a power of 2 (%u given)\n", pLSH->ui16TileSize);
        return QOV_ERROR_NOT_SUPPORTED;
    }
    return QOV_SUCCESS;
}

} // namespace

QOV_UINT8 MC_LSHComputeMinBitdiff(const LSH_GRID *pLSH, int *pMaxDiff)
{
    if (!pLSH) {
        LOG_ERROR("pLSH is NULL\n");
        return 0;
    }
    if (!channelsPresent(pLSH)) {
        LOG_ERROR("The given LSH grid is NULL\n");
        return 0;
    }
    const QOV_UINT32 w = pLSH->ui16Width;
    const QOV_UINT32 h = pLSH->ui16Height;
    QOV_INT32 largest = 0;
    for (int c = 0; c < LSH_NUM_CHANNELS; ++c) {
        const LSH_FLOAT *m = pLSH->apMatrix[c];
        for (QOV_UINT32 y = 0; y < h; ++y) {
            const LSH_FLOAT *row = m + static_cast<size_t>(y) * w;
            for (QOV_UINT32 x = 0; x < w; ++x) {
                if (row[x] < 0.0f) {
                    LOG_ERROR("The given LSH matrix has negative values!\n");
                    return 0;
                }
                if (x > 0) {
                    const QOV_INT32 m2 = diffMeasure(vertexU310(row[x]) - vertexU310(row[x - 1]));
                    if (m2 > largest)
                        largest = m2;
                }
            }
        }
    }
    if (pMaxDiff)
        *pMaxDiff = largest;

    // floor(log2 M) + 2 bits hold a measure M; at least 4.
    QOV_UINT8 bits = kMinBitsPerDiff;
    if (largest > 1) {
        QOV_UINT8 log2 = 0;
        for (QOV_INT32 v = largest; v > 1; v >>= 1)
            ++log2;
        if (log2 + 2 > bits)
            bits = static_cast<QOV_UINT8>(log2 + 2);
    }
    return bits;
}

QOV_UINT32 MC_LSHGetSizes(const LSH_GRID *pLSH, QOV_UINT8 ui8BitsPerDiff, QOV_UINT32 *pLineSize,
                          QOV_UINT32 *pStride)
{
    if (!pLSH) {
        LOG_ERROR("pLSH is NULL\n");
        return 0;
    }
    const QOV_UINT64 diffs = pLSH->ui16Width > 0 ? pLSH->ui16Width - 1u : 0u;
    const QOV_UINT64 line = ((ui8BitsPerDiff * diffs + 7) / 8 + 17) / 16 * 16;
    const QOV_UINT64 stride = (line + 63) / 64 * 64;
    const QOV_UINT64 size = static_cast<QOV_UINT64>(pLSH->ui16Height) * stride * 4;
    if (pLineSize)
        *pLineSize = static_cast<QOV_UINT32>(line);
    if (pStride)
        *pStride = static_cast<QOV_UINT32>(stride);
    return size > 0xFFFFFFFFull ? 0 : static_cast<QOV_UINT32>(size);
}

QOV_RESULT MC_LSHConvertGrid(const LSH_GRID *pLSH, QOV_UINT8 ui8BitsPerDiff, CI_LSHMAT *pMatrix)
{
    if (!pLSH || !pMatrix || !pMatrix->data) {
        LOG_ERROR("pLSH or pMatrix is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    QOV_RESULT ret = checkGridAndBits(pLSH, ui8BitsPerDiff);
    if (ret != QOV_SUCCESS)
        return ret;

    QOV_UINT32 lineSize = 0;
    QOV_UINT32 stride = 0;
    const QOV_UINT32 allocation = MC_LSHGetSizes(pLSH, ui8BitsPerDiff, &lineSize, &stride);
    if (allocation == 0) {
        LOG_ERROR("failed to compute matrix size\n");
        return QOV_ERROR_FAILURE;
    }
    if (pMatrix->ui32Size < allocation) {
        LOG_ERROR("given LSH matrix needs %u Bytes but given buffer only has %u\n", allocation, pMatrix->ui32Size);
        return QOV_ERROR_NOT_SUPPORTED;
    }
    if (lineSize % 16 != 0) {
        LOG_ERROR("line size should be a multiple of 16, computed %u\n", lineSize);
        return QOV_ERROR_NOT_SUPPORTED;
    }

    QOV_UINT8 *out = static_cast<QOV_UINT8 *>(pMatrix->data);
    memset(out, 0, pMatrix->ui32Size);

    const QOV_UINT32 w = pLSH->ui16Width;
    const QOV_UINT32 h = pLSH->ui16Height;
    const QOV_UINT32 bits = ui8BitsPerDiff;
    const QOV_UINT64 fieldMask = (QOV_UINT64{1} << bits) - 1;
    QOV_INT32 largest = 0;
    for (QOV_UINT32 c = 0; c < LSH_NUM_CHANNELS; ++c) {
        const LSH_FLOAT *m = pLSH->apMatrix[c];
        for (QOV_UINT32 y = 0; y < h; ++y) {
            const LSH_FLOAT *row = m + static_cast<size_t>(y) * w;
            QOV_UINT8 *line = out + static_cast<size_t>(stride) * (4 * y + c);
            if (w == 0)
                continue;
            QOV_INT32 prev = vertexU310(row[0]);
            line[0] = static_cast<QOV_UINT8>(prev & 0xFF);
            line[1] = static_cast<QOV_UINT8>((prev >> 8) & 0xFF);

            QOV_UINT8 *dst = line + 2;
            QOV_UINT64 acc = 0;
            QOV_UINT32 accBits = 0;
            for (QOV_UINT32 x = 1; x < w; ++x) {
                if (row[x] < 0.0f) {
                    LOG_ERROR("The given LSH matrix has negative values!\n");
                    return QOV_ERROR_NOT_SUPPORTED;
                }
                const QOV_INT32 curr = vertexU310(row[x]);
                const QOV_INT32 d = curr - prev;
                const QOV_INT32 measure = diffMeasure(d);
                if (measure > largest)
                    largest = measure;
                acc |= (static_cast<QOV_UINT64>(static_cast<QOV_INT64>(d)) & fieldMask) << accBits;
                accBits += bits;
                while (accBits >= 8) {
                    *dst++ = static_cast<QOV_UINT8>(acc & 0xFF);
                    acc >>= 8;
                    accBits -= 8;
                }
                prev = curr;
            }
            if (accBits > 0)
                *dst = static_cast<QOV_UINT8>(acc & 0xFF);
        }
    }

    // A b-bit two's-complement field holds measures up to 2^(b-1) - 1.
    if (largest > (1 << (bits - 1)) - 1) {
        LOG_ERROR("given bits per diff %u isn't enough to store the maximum difference found of %u\n", bits,
                  static_cast<QOV_UINT32>(largest));
        return QOV_ERROR_FAILURE;
    }

    QOV_UINT8 tileLog2 = 0;
    for (QOV_UINT32 t = pLSH->ui16TileSize; t > 1; t >>= 1)
        ++tileLog2;
    pMatrix->config.ui8TileSizeLog2 = tileLog2;
    pMatrix->config.ui8BitsPerDiff = ui8BitsPerDiff;
    pMatrix->config.ui16Width = pLSH->ui16Width;
    pMatrix->config.ui16Height = pLSH->ui16Height;
    pMatrix->config.ui16LineSize = static_cast<QOV_UINT16>(lineSize / 16 - 1);
    pMatrix->config.ui32Stride = stride;
    return QOV_SUCCESS;
}

QOV_RESULT MC_LSHPreCheckTest(LSH_GRID *pLSH, QOV_UINT8 ui8BitsPerDiff)
{
    if (!pLSH) {
        LOG_ERROR("pLSH or pMatrix is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    QOV_RESULT ret = checkGridAndBits(pLSH, ui8BitsPerDiff);
    if (ret != QOV_SUCCESS)
        return ret;

    const QOV_UINT32 w = pLSH->ui16Width;
    const QOV_UINT32 h = pLSH->ui16Height;
    for (int c = 0; c < LSH_NUM_CHANNELS; ++c) {
        for (QOV_UINT32 y = 0; y < h && w > 0; ++y) {
            LSH_FLOAT *row = pLSH->apMatrix[c] + static_cast<size_t>(y) * w;
            // The first vertex of a row must not be negative either.
            if (row[0] < 0.0f) {
                fputs("WARNING: fixing lsh negative value!\n", stderr);
                row[0] = 0.0f;
            }
            QOV_INT32 prev = vertexU310(row[0]);
            QOV_UINT32 x = 1;
            while (x < w) {
                if (row[x] < 0.0f) {
                    fputs("WARNING: fixing lsh negative value!\n", stderr);
                    row[x] = 0.0f;
                }
                const QOV_INT32 curr = vertexU310(row[x]);
                const QOV_INT32 d = curr - prev;
                if (d < -512 || d >= 256) {
                    const LSH_FLOAT held = row[x - 1];
                    const LSH_FLOAT old = row[x];
                    LSH_FLOAT fixed =
                        d < 0 ? static_cast<LSH_FLOAT>(held - 0.5) : static_cast<LSH_FLOAT>(held + 255.0 / 1024.0);
                    // Float rounding can leave the new difference one step
                    // outside the range, which would repair the same vertex
                    // forever: then take the exact U3.10 limit.
                    const QOV_INT32 fixedDiff = vertexU310(fixed) - prev;
                    if (fixedDiff < -512 || fixedDiff >= 256)
                        fixed = static_cast<LSH_FLOAT>((d < 0 ? prev - 512 : prev + 255) / 1024.0);
                    row[x] = fixed;
                    fprintf(stderr, "WARNING: fixing lsh diff c=%d x=%d,y=%d %f => %f (prev=%f)\n", c,
                            static_cast<int>(x), static_cast<int>(y), static_cast<double>(old),
                            static_cast<double>(row[x]), static_cast<double>(held));
                    continue; // examine the same vertex again
                }
                prev = curr;
                ++x;
            }
        }
    }
    return QOV_SUCCESS;
}
