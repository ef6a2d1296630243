// BMP reading and writing. Rows are stored bottom-up; palette images look every
// index up in the palette read with the header, which stays until the header is
// unloaded. RLE streams are decoded top-down and turned over at their end.
#include "sim_image/image_bmp.h"

#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <vector>

#include "image_file_util.h"

using namespace imfile;

namespace {

const char *const kErrOpening2 = "Error opening file (2)";
const char *const kErrFileHeader = "Error reading file header";
const char *const kErrInvalidHeader = "Invalid file header";
const char *const kErrInfoHeader = "Error reading info header";
const char *const kErrPlanes = "Unsupported plane format";
const char *const kErrPalette = "Error reading palette";
const char *const kErrNoHeader = "Header not loaded";
const char *const kErrPaletteNotLoaded = "Palette not loaded";
const char *const kErrCompression = "Unsupported compression";
const char *const kErrData1 = "Error reading image data (1)";
const char *const kErrData2 = "Error reading image data (2)";
const char *const kErrData3 = "Error reading image data (3)";
const char *const kErrData4 = "Error reading image data (4)";
const char *const kErrData5 = "Error reading image data (5)";
const char *const kErrData6 = "Error reading image data (6)";
const char *const kErrData7 = "Error reading image data (7)";
const char *const kErrData8 = "Error reading image data (8)";
const char *const kErrWriteHeader1 = "Error writing header (1)";
const char *const kErrWriteHeader2 = "Error writing header (2)";
const char *const kErrWriteData = "Error writing image data";
// Texts of malformed files the format leaves open.
const char *const kErrPaletteSize = "Invalid palette size";
const char *const kErrPaletteIndex = "Palette index out of range";
const char *const kErrRleOutside = "RLE data outside the image";

const int kFileHeadSize = 14;
const int kInfoHeadSize = 40;
static_assert(sizeof(bmpFileHead) == kFileHeadSize && sizeof(bmpInfoHead) == kInfoHeadSize);

bool readBytes(FILE *f, QOV_UINT8 *buf, size_t n)
{
    return fread(buf, 1, n, f) == n;
}

bool skipBytes(FILE *f, size_t n)
{
    QOV_UINT8 pad[4];
    return n <= sizeof(pad) && readBytes(f, pad, n);
}

size_t rowPadding(QOV_INT64 rowBytes)
{
    return static_cast<size_t>((4 - rowBytes % 4) % 4);
}

}  // namespace

CImageBmp::CImageBmp() : pPalette(nullptr)
{
    memset(&fhdr, 0, sizeof(fhdr));
    memset(&ihdr, 0, sizeof(ihdr));
}

CImageBmp::~CImageBmp()
{
    Unload();
}

void CImageBmp::UnloadHeader()
{
    memset(&fhdr, 0, sizeof(fhdr));
    memset(&ihdr, 0, sizeof(ihdr));
    free(pPalette);
    pPalette = nullptr;
    CImageBase::UnloadHeader();
}

const char *CImageBmp::LoadFileHeader(const char *filename, void *)
{
    Unload();
    FILE *f = filename ? fopen(filename, "rb") : nullptr;
    if (!f)
        return kErrOpening;
    auto fail = [&](const char *err) {
        fclose(f);
        UnloadHeader();
        return err;
    };

    QOV_UINT8 b[kInfoHeadSize];
    if (!readBytes(f, b, kFileHeadSize))
        return fail(kErrFileHeader);
    fhdr.wType = static_cast<QOV_UINT16>(readLE(b, 2));
    fhdr.dwSize = readLE(b + 2, 4);
    fhdr.wRes1 = static_cast<QOV_UINT16>(readLE(b + 6, 2));
    fhdr.wRes2 = static_cast<QOV_UINT16>(readLE(b + 8, 2));
    fhdr.dwOffBits = readLE(b + 10, 4);
    if (fhdr.wType != 0x4D42)
        return fail(kErrInvalidHeader);

    if (!readBytes(f, b, kInfoHeadSize))
        return fail(kErrInfoHeader);
    ihdr.dwSize = readLE(b, 4);
    ihdr.dwWidth = static_cast<QOV_INT32>(readLE(b + 4, 4));
    ihdr.dwHeight = static_cast<QOV_INT32>(readLE(b + 8, 4));
    ihdr.wPlanes = static_cast<QOV_UINT16>(readLE(b + 12, 2));
    ihdr.wBitCount = static_cast<QOV_UINT16>(readLE(b + 14, 2));
    ihdr.dwCompression = readLE(b + 16, 4);
    ihdr.dwSizeImage = readLE(b + 20, 4);
    ihdr.dwXPelsPerMeter = static_cast<QOV_INT32>(readLE(b + 24, 4));
    ihdr.dwYPelsPerMeter = static_cast<QOV_INT32>(readLE(b + 28, 4));
    ihdr.dwClrUsed = readLE(b + 32, 4);
    ihdr.dwClrImportant = readLE(b + 36, 4);

    if (ihdr.wPlanes != 1)
        return fail(kErrPlanes);
    const int bits = ihdr.wBitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24)
        return fail(kErrBitDepth);
    if (ihdr.dwSize < kInfoHeadSize || fseeko(f, static_cast<QOV_INT64>(ihdr.dwSize) - kInfoHeadSize, SEEK_CUR) != 0)
        return fail(kErrInfoHeader);
    // Top-down bitmaps (negative height) are not read.
    if (ihdr.dwWidth < 1 || ihdr.dwHeight < 1)
        return fail(kErrImageSize);
    if (ihdr.dwSizeImage == 0)
        // Unsigned: width x height x 24 of two 31-bit sizes does not fit a signed 64-bit value.
        ihdr.dwSizeImage =
            static_cast<QOV_UINT32>(static_cast<QOV_UINT64>(ihdr.dwWidth) * static_cast<QOV_UINT64>(ihdr.dwHeight) *
                                    static_cast<QOV_UINT64>(bits) / 8);

    if (bits <= 8) {
        const QOV_UINT32 entries = 1u << bits;
        if (ihdr.dwClrUsed == 0)
            ihdr.dwClrUsed = entries;
        if (ihdr.dwClrUsed > entries)
            return fail(kErrPaletteSize);
        pPalette = static_cast<QOV_UINT8 *>(malloc(3 * ihdr.dwClrUsed));
        if (!pPalette)
            return fail(kErrNoMemory);
        for (QOV_UINT32 i = 0; i < ihdr.dwClrUsed; i++) {
            QOV_UINT8 bgrx[4];
            if (!readBytes(f, bgrx, 4))
                return fail(kErrPalette);
            pPalette[3 * i] = bgrx[2];
            pPalette[3 * i + 1] = bgrx[1];
            pPalette[3 * i + 2] = bgrx[0];
        }
    }

    const QOV_INT8 depths[3] = {8, 8, 8};
    describeImage(*this, ihdr.dwWidth, ihdr.dwHeight, CM_RGB, SUBS_UNDEF, depths);
    fileName = strdup(filename);
    if (!fileName)
        return fail(kErrNoMemory);
    fclose(f);
    return nullptr;
}

const char *CImageBmp::LoadFileData(QOV_INT32)
{
    if (!IsHeaderLoaded() || !fileName)
        return kErrNoHeader;
    if (ihdr.wBitCount <= 8 && !pPalette)
        return kErrPaletteNotLoaded;
    FILE *f = fopen(fileName, "rb");
    if (!f)
        return kErrOpening2;
    const char *err = nullptr;
    // Uncompressed rows are all in the file before the planes are allocated;
    // a short file gives the error of the read that would fail, that of a
    // row's pixels or of its padding.
    if (ihdr.dwCompression == COMPR_NONE) {
        const QOV_INT64 rowBytes = (static_cast<QOV_INT64>(width) * ihdr.wBitCount + 7) / 8;
        const QOV_INT64 stride = rowBytes + static_cast<QOV_INT64>(rowPadding(rowBytes));
        const QOV_INT64 length = fileLength(f);
        const QOV_INT64 rowsPart = length - fhdr.dwOffBits;
        if (length < 0 || rowsPart < stride * height) {
            const bool inPadding = length >= 0 && rowsPart >= 0 && rowsPart % stride >= rowBytes;
            if (ihdr.wBitCount == 24)
                err = inPadding ? kErrData4 : kErrData3;
            else
                err = inPadding ? kErrData2 : kErrData1;
        }
    }
    for (int k = 0; !err && k < 3; k++)
        if (!AllocChannelData(k))
            err = kErrNoMemory;
    if (!err && fseeko(f, fhdr.dwOffBits, SEEK_SET) != 0)
        err = kErrData1;
    if (!err) {
        switch (ihdr.dwCompression) {
        case COMPR_NONE:
            // Rows a failed load does not reach are black rather than undefined.
            for (int k = 0; k < 3; k++)
                std::fill(chnl[k].data, chnl[k].data + static_cast<size_t>(width) * height, 0);
            err = loadPaletteImage(f);
            break;
        case COMPR_RLE8:
        case COMPR_RLE4:
            err = ihdr.wBitCount == (ihdr.dwCompression == COMPR_RLE8 ? 8 : 4) ? loadRle(f) : kErrCompression;
            break;
        default:
            err = kErrCompression;
            break;
        }
    }
    fclose(f);
    return err;
}

// Uncompressed rows, bottom-up, each padded to a multiple of 4 bytes.
const char *CImageBmp::loadPaletteImage(FILE *f)
{
    const int bits = ihdr.wBitCount;
    const QOV_INT64 rowBytes = (static_cast<QOV_INT64>(width) * bits + 7) / 8;
    std::vector<QOV_UINT8> row(static_cast<size_t>(rowBytes));
    for (QOV_INT32 i = 0; i < height; i++) {
        const size_t at = static_cast<size_t>(height - 1 - i) * width;
        if (!readBytes(f, row.data(), row.size()))
            return bits == 24 ? kErrData3 : kErrData1;
        if (bits == 24) {
            for (QOV_INT32 x = 0; x < width; x++)
                for (int k = 0; k < 3; k++)
                    chnl[k].data[at + x] = row[3 * static_cast<size_t>(x) + 2 - k];
        } else {
            const int perByte = 8 / bits;
            const unsigned mask = (1u << bits) - 1;
            for (QOV_INT32 x = 0; x < width; x++) {
                const int shift = 8 - bits * (x % perByte + 1);
                const QOV_UINT32 index = row[x / perByte] >> shift & mask;
                if (index >= ihdr.dwClrUsed)
                    return kErrPaletteIndex;
                for (int k = 0; k < 3; k++)
                    chnl[k].data[at + x] = pPalette[3 * index + k];
            }
        }
        if (!skipBytes(f, rowPadding(rowBytes)))
            return bits == 24 ? kErrData4 : kErrData2;
    }
    return nullptr;
}

// RLE8/RLE4: pairs of (count, value); count 0 starts an escape: end of line,
// end of bitmap, a delta or an absolute run. Decoding is top-down; nothing is
// written outside the image and every index is checked against the palette.
const char *CImageBmp::loadRle(FILE *f)
{
    const bool rle4 = ihdr.dwCompression == COMPR_RLE4;
    const size_t w = static_cast<size_t>(width), h = static_cast<size_t>(height);
    size_t x = 0, y = 0;
    auto set = [&](size_t px, size_t py, QOV_UINT32 index) {
        for (int k = 0; k < 3; k++)
            chnl[k].data[py * w + px] = pPalette[3 * index + k];
    };
    // Every sample starts as palette entry 0, the colour of skipped pixels.
    for (int k = 0; k < 3; k++)
        std::fill(chnl[k].data, chnl[k].data + w * h, pPalette[k]);
    // Pixels past the end of the line are dropped.
    auto put = [&](QOV_UINT32 index) -> const char * {
        if (index >= ihdr.dwClrUsed)
            return kErrPaletteIndex;
        if (x < w)
            set(x++, y, index);
        return nullptr;
    };

    for (;;) {
        QOV_UINT8 pair[2];
        if (!readBytes(f, pair, 2))
            return kErrData5;
        const unsigned count = pair[0], value = pair[1];
        if (count > 0) {
            if (y >= h)
                return kErrRleOutside;
            for (unsigned i = 0; i < count; i++)
                if (const char *err = put(rle4 ? (i % 2 ? value & 0xF : value >> 4) : value))
                    return err;
        } else if (value == 0) {  // end of line
            if (y >= h)
                return kErrRleOutside;
            x = 0;
            y++;
        } else if (value == 1) {  // end of bitmap: the first row decoded is the bottom one
            for (int k = 0; k < 3; k++)
                for (size_t r = 0; r < h / 2; r++)
                    std::swap_ranges(chnl[k].data + r * w, chnl[k].data + (r + 1) * w, chnl[k].data + (h - 1 - r) * w);
            return nullptr;
        } else if (value == 2) {  // delta: the skipped pixels keep entry 0
            QOV_UINT8 d[2];
            if (!readBytes(f, d, 2))
                return kErrData6;
            const size_t to = y * w + x + static_cast<size_t>(d[1]) * w + d[0];
            if (to > w * h)
                return kErrRleOutside;
            y = to / w;
            x = to % w;
        } else {  // absolute run of value pixels, padded to a whole number of pairs
            const size_t bytes = rle4 ? (value + 1) / 2 : value;
            QOV_UINT8 run[256];
            if (!readBytes(f, run, bytes))
                return kErrData7;
            if (y >= h)
                return kErrRleOutside;
            for (unsigned i = 0; i < value; i++)
                if (const char *err = put(rle4 ? (i % 2 ? run[i / 2] & 0xF : run[i / 2] >> 4) : run[i]))
                    return err;
            if (bytes % 2 && !skipBytes(f, 1))
                return kErrData8;
        }
    }
}

bool CImageBmp::GetChannelMapToRGB(colorModelEnum model, QOV_UINT8 *pMap3)
{
    QOV_UINT8 map[3];
    switch (model) {
    case CM_GRAY:
        map[0] = map[1] = map[2] = 0;
        break;
    case CM_RGB:
    case CM_RGBA:
        map[0] = 0, map[1] = 1, map[2] = 2;
        break;
    default:
        return false;
    }
    if (pMap3)
        memcpy(pMap3, map, sizeof(map));
    return true;
}

const char *CImageBmp::SaveFileStart(const char *filename, void *pSaveFormat, void **pSC)
{
    if (const char *err = checkSaveable(*this, pSC))
        return err;
    return openSave<BMPSAVECONTEXT>(filename, pSaveFormat, pSC);
}

// The headers of the file being written are built apart from the ones loaded,
// which still describe the file this image was read from.
const char *CImageBmp::SaveFileHeader(void *pSC)
{
    BMPSAVECONTEXT *ctx = saveContext<BMPSAVECONTEXT>(pSC);
    if (!ctx)
        return kErrWriteHeader1;
    const QOV_INT64 rowSize = (3 * static_cast<QOV_INT64>(width) + 3) / 4 * 4;
    const QOV_INT64 imageSize = rowSize * height;
    if (width < 1 || height < 1 || imageSize + kFileHeadSize + kInfoHeadSize > UINT32_MAX)
        return kErrImageSize;
    QOV_UINT8 fh[kFileHeadSize] = {}, ih[kInfoHeadSize] = {};
    writeLE(fh, 2, 0x4D42);
    writeLE(fh + 2, 4, static_cast<QOV_UINT32>(imageSize + kFileHeadSize + kInfoHeadSize));
    writeLE(fh + 10, 4, kFileHeadSize + kInfoHeadSize);
    writeLE(ih, 4, kInfoHeadSize);
    writeLE(ih + 4, 4, static_cast<QOV_UINT32>(width));
    writeLE(ih + 8, 4, static_cast<QOV_UINT32>(height));
    writeLE(ih + 12, 2, 1);
    writeLE(ih + 14, 2, 24);
    writeLE(ih + 20, 4, static_cast<QOV_UINT32>(imageSize));
    writeLE(ih + 24, 4, 4000);
    writeLE(ih + 28, 4, 4000);
    if (fwrite(fh, 1, sizeof(fh), ctx->f) != sizeof(fh))
        return kErrWriteHeader1;
    if (fwrite(ih, 1, sizeof(ih), ctx->f) != sizeof(ih))
        return kErrWriteHeader2;
    return nullptr;
}

const char *CImageBmp::SaveFileData(void *pSC)
{
    BMPSAVECONTEXT *ctx = saveContext<BMPSAVECONTEXT>(pSC);
    if (!ctx)
        return kErrWriteData;
    QOV_UINT8 map[3];
    if (!GetChannelMapToRGB(colorModel, map) || !IsDataLoaded())
        return kErrUnsupportedModel;
    for (int k = 0; k < 3; k++)
        if (chnl[map[k]].chnlWidth != width || chnl[map[k]].chnlHeight != height)
            return kErrUnsupportedModel;
    const BMPSAVEFORMAT *fmt = ctx->pExtra;
    const size_t rowSize = (3 * static_cast<size_t>(width) + 3) / 4 * 4;
    std::vector<QOV_UINT8> row(rowSize, 0);
    for (QOV_INT32 y = 0; y < height; y++) {
        const size_t at = static_cast<size_t>(height - 1 - y) * width;
        for (QOV_INT32 x = 0; x < width; x++) {
            for (int k = 0; k < 3; k++) {  // red, green, blue, stored blue first
                double v = chnl[map[k]].data[at + x] * fmt->mul[k] + fmt->off[k];
                v = v < 0 ? 0 : (v > 255 ? 255 : v);
                row[3 * static_cast<size_t>(x) + 2 - k] = static_cast<QOV_UINT8>(v);
            }
        }
        if (fwrite(row.data(), 1, row.size(), ctx->f) != row.size())
            return kErrWriteData;
    }
    return nullptr;
}

const char *CImageBmp::SaveFileEnd(void *pSC)
{
    return endSave<BMPSAVECONTEXT>(pSC, kErrWriteData);
}

const char *CImageBmp::GetSaveFormat(BMPSAVEFORMAT *pFmt, CImageBase *pIm)
{
    QOV_UINT8 map[3];
    if (!pFmt || !pIm || !GetChannelMapToRGB(pIm->colorModel, map))
        return kErrUnsupportedModel;
    for (int k = 0; k < 3; k++) {
        const COLCHANNEL &ch = pIm->chnl[map[k]];
        const int b = ch.bitDepth > 31 ? 31 : ch.bitDepth;
        if (b == 0) {
            pFmt->mul[k] = 0;
            pFmt->off[k] = 0;
        } else if (ch.isSigned) {
            pFmt->mul[k] = 127.0 / static_cast<double>(QOV_INT64(1) << (b - 1));
            pFmt->off[k] = 128;
        } else {
            pFmt->mul[k] = 255.0 / static_cast<double>((QOV_INT64(1) << b) - 1);
            pFmt->off[k] = 0;
        }
    }
    return nullptr;
}
