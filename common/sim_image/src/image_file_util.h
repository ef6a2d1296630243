// Pieces shared by the readers and writers of the plain image-file formats:
// their common message texts, little-endian samples, the Bayer placement of a
// mosaic pixel and the closing of a written file.
#ifndef SIM_IMAGE_IMAGE_FILE_UTIL_H
#define SIM_IMAGE_IMAGE_FILE_UTIL_H

#include <cstdio>
#include <new>

#include "sim_image/image.h"

namespace imfile {

inline const char *const kErrOpening = "Error opening file";
inline const char *const kErrCreating = "Error creating file";
inline const char *const kErrHeaderNotLoaded = "File header not loaded";
inline const char *const kErrColorModel = "Invalid color model";
inline const char *const kErrUnsupportedModel = "Unsupported color model";
inline const char *const kErrBitDepth = "Unsupported bit depth";
inline const char *const kErrNoImageData = "No image data to save";
inline const char *const kErrReadingFrame = "Error reading frame data";
inline const char *const kErrWritingFrame = "Error writing frame data";
inline const char *const kErrNotSupported = "Not supported";
// Texts of cases the formats leave open.
inline const char *const kErrFrameIndex = "Invalid frame index";
inline const char *const kErrImageSize = "Invalid image size";
inline const char *const kErrNoMemory = "Out of memory";
inline const char *const kErrLoadFormatMissing = "Load format missing";
inline const char *const kErrSaveFormatMissing = "Save format missing";

// Images beyond this many pixels are refused on loading, so that the byte
// counts of a frame stay far inside 64 bits.
inline const QOV_INT64 kMaxPixels = QOV_INT64(1) << 40;

// File position of frame `index` of `size` bytes from `base`; false for a
// negative index or a position beyond 64 bits.
inline bool frameStart(QOV_INT64 base, QOV_INT32 index, QOV_INT64 size, QOV_INT64 *pStart)
{
    QOV_INT64 offset;
    return index >= 0 && !__builtin_mul_overflow(static_cast<QOV_INT64>(index), size, &offset) &&
           !__builtin_add_overflow(base, offset, pStart);
}

// Unsigned little-endian value of 1 to 4 bytes.
inline QOV_UINT32 readLE(const QOV_UINT8 *p, int bytes)
{
    QOV_UINT32 v = 0;
    for (int i = bytes - 1; i >= 0; i--)
        v = v << 8 | p[i];
    return v;
}

inline void writeLE(QOV_UINT8 *p, int bytes, QOV_UINT32 v)
{
    for (int i = 0; i < bytes; i++, v >>= 8)
        p[i] = static_cast<QOV_UINT8>(v);
}

// The sample of a Bayer image that the mosaic pixel at (row r, column c) is:
// channel ((r & 1) x 2 + (c & 1)) XOR the flip of the Bayer order, at the
// channel's row r / 2 and column c / 2.
inline PIXEL &mosaicSample(CImageBase &im, QOV_INT32 r, QOV_INT32 c)
{
    const int k = ((r & 1) * 2 + (c & 1)) ^ CImageBase::GetBayerFlip(im.subsMode);
    COLCHANNEL &ch = im.chnl[k];
    return ch.data[static_cast<size_t>(r / 2) * ch.chnlWidth + c / 2];
}

inline bool isBayerMode(subsamplingModeEnum mode)
{
    return mode == SUBS_RGGB || mode == SUBS_GRBG || mode == SUBS_GBRG || mode == SUBS_BGGR;
}

// Gives the image a header without data: size, model and subsampling, and for
// every channel of the model its subsampled size and a bit depth (N unsigned,
// -N signed). False for a model without channels.
inline bool describeImage(CImageBase &im, QOV_INT32 w, QOV_INT32 h, colorModelEnum model, subsamplingModeEnum subs,
                          const QOV_INT8 *depths)
{
    const COLORMODELINFO *info = CImageBase::GetColorModelInfo(model);
    if (!info)
        return false;
    im.width = w;
    im.height = h;
    im.colorModel = model;
    im.subsMode = subs;
    for (int k = 0; k < info->Nchannels; k++) {
        const QOV_INT64 xs = CImageBase::GetXSampling(subs, k), ys = CImageBase::GetYSampling(subs, k);
        im.chnl[k].chnlWidth = static_cast<QOV_INT32>((w + xs - 1) / xs);
        im.chnl[k].chnlHeight = static_cast<QOV_INT32>((h + ys - 1) / ys);
        im.chnl[k].bitDepth = static_cast<QOV_UINT8>(depths[k] < 0 ? -depths[k] : depths[k]);
        im.chnl[k].isSigned = depths[k] < 0;
    }
    return true;
}

// Total bytes of ceil(bitDepth / 8)-byte samples over the channels of the model.
inline QOV_INT64 frameBytes(const CImageBase &im, int bytesPerSample)
{
    QOV_INT64 total = 0;
    for (QOV_INT32 k = 0; k < im.GetNColChannels(); k++)
        total += static_cast<QOV_INT64>(im.chnl[k].chnlWidth) * im.chnl[k].chnlHeight * bytesPerSample;
    return total;
}

// Closes a file being written: buffered data that cannot be written show here,
// as the given failure text; null when all was written.
inline const char *closeWritten(FILE *f, const char *failure)
{
    return f && fclose(f) != 0 ? failure : nullptr;
}

// Length of an open file, -1 when it cannot be told.
inline QOV_INT64 fileLength(FILE *f)
{
    if (fseeko(f, 0, SEEK_END) != 0)
        return -1;
    return ftello(f);
}

// Positions the file at frame `index`, `stride` bytes apart from `base`, of
// which `needed` bytes must be in the file. A negative index, a position beyond
// 64 bits or a frame other than the first that starts past the end give
// `badIndex`; a frame the file cannot hold gives "Error reading frame data".
// Callers check before allocating planes, so that a large size in a small file
// costs nothing.
inline const char *seekFrame(FILE *f, QOV_INT64 base, QOV_INT32 index, QOV_INT64 stride, QOV_INT64 needed,
                             const char *badIndex)
{
    const QOV_INT64 length = fileLength(f);
    QOV_INT64 start = 0;
    if (!frameStart(base, index, stride, &start) || length < 0 || (index > 0 && start >= length) ||
        fseeko(f, start, SEEK_SET) != 0)
        return badIndex;
    return needed > length - start ? kErrReadingFrame : nullptr;
}

// First step of every save: there must be an image to write. Clears *pSC.
inline const char *checkSaveable(const CImageBase &im, void **pSC)
{
    if (!pSC)
        return kErrNoImageData;
    *pSC = nullptr;
    return im.IsHeaderLoaded() && im.IsDataLoaded() ? nullptr : kErrNoImageData;
}

// Creates the file of a save and its context, a record of the file `f` and the
// save format `pExtra`, which must be given.
template <typename Context>
const char *openSave(const char *filename, void *pFormat, void **pSC)
{
    if (!pFormat)
        return kErrSaveFormatMissing;
    Context *ctx = new (std::nothrow) Context();
    if (!ctx)
        return kErrNoMemory;
    ctx->f = filename ? fopen(filename, "wb") : nullptr;
    if (!ctx->f) {
        delete ctx;
        return kErrCreating;
    }
    ctx->pExtra = static_cast<decltype(ctx->pExtra)>(pFormat);
    *pSC = ctx;
    return nullptr;
}

// The context of a save in progress, null when it has no file or format.
template <typename Context>
Context *saveContext(void *pSC)
{
    Context *ctx = static_cast<Context *>(pSC);
    return ctx && ctx->f && ctx->pExtra ? ctx : nullptr;
}

// Last step of a save: closes the file and releases the context. A failure
// of the close (data that could not be flushed) gives `writeFailure`.
template <typename Context>
const char *endSave(void *pSC, const char *writeFailure)
{
    Context *ctx = static_cast<Context *>(pSC);
    if (!ctx)
        return nullptr;
    const char *err = closeWritten(ctx->f, writeFailure);
    delete ctx;
    return err;
}

}  // namespace imfile

#endif
