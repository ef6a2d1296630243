// PGM/PPM reading and writing. Samples are read into and written from the
// channels pixel by pixel (one sample per channel in channel order), or, for a
// Bayer image kept as a mosaic, one sample per pixel from the channel of the
// pixel's place in the 2x2 cell.
#include "sim_image/image_pxm.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image_file_util.h"
#include "sim_image/image_yuv.h"

using namespace imfile;

namespace {

const char *const kErrInvalidHeader = "Invalid file header";
const char *const kErrFormat = "Unrecognized PPM/PGM format";
const char *const kErrIncomplete = "Incomplete file";
const char *const kErrNumberExpected = "Invalid file header (number expected)";
const char *const kErrSpaceExpected = "Invalid file format (space expected before data)";
const char *const kErrMaxVal = "Invalid maxval in header";
const char *const kErrSubsampling = "Subsampling not supported for this file type";
const char *const kErrMultipleImages = "Multiple images in this file type are not supported";
const char *const kErrSeek = "Failed to fseek to required frame";
const char *const kErrFileFormat = "File format not supported";
const char *const kErrWritingHeader = "Error writing file header";

const size_t kCommentBufSize = 1000;
const QOV_INT64 kNumberCap = QOV_INT64(1) << 40;

bool isBlank(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool isText(pxmTypeEnum t)
{
    return t == PPTYPE_PGMT || t == PPTYPE_PPMT;
}

// Digits from the current position on; the first non-digit is left unread.
// Values beyond the cap stay at the cap, so that no size overflows.
QOV_INT64 readDigits(FILE *f, bool *pAny)
{
    QOV_INT64 v = 0;
    *pAny = false;
    int c;
    while ((c = getc(f)) != EOF && c >= '0' && c <= '9') {
        *pAny = true;
        if (v < kNumberCap)
            v = v * 10 + (c - '0');
    }
    if (c != EOF)
        ungetc(c, f);
    return v;
}

int maxDepth(const CImageBase &im)
{
    int b = 0;
    for (QOV_INT32 k = 0; k < im.GetNColChannels(); k++)
        if (im.chnl[k].bitDepth > b)
            b = im.chnl[k].bitDepth;
    return b;
}

}  // namespace

CImagePxm::CImagePxm()
    : foffsetData(-1), pExtra(nullptr), pixelOnLoadResize(0), fileFormat(PPTYPE_UNDEF),
      m_loadFormat{CM_UNDEF, SUBS_UNDEF, false, LOADBD_SIGNED}
{
}

CImagePxm::~CImagePxm()
{
    Unload();
    meta.Unload();
}

void CImagePxm::UnloadHeader()
{
    foffsetData = -1;
    pixelOnLoadResize = 0;
    fileFormat = PPTYPE_UNDEF;
    pExtra = nullptr;
    meta.Unload();
    CImageBase::UnloadHeader();
}

void CImagePxm::ParseComment(FILE *f, char **ppMetaItemBuf)
{
    if (!*ppMetaItemBuf)
        *ppMetaItemBuf = static_cast<char *>(malloc(kCommentBufSize));
    char *buf = *ppMetaItemBuf;
    size_t n = 0;
    int c;
    while ((c = getc(f)) != EOF && c != '\n')
        if (buf && n < kCommentBufSize - 1)
            buf[n++] = static_cast<char>(c);
    if (!buf)
        return;
    buf[n] = '\0';
    const char *name = buf;
    while (*name == ' ' || *name == '\t')
        name++;
    const char *nameEnd = name;
    while (*nameEnd && *nameEnd != ' ' && *nameEnd != '\t' && *nameEnd != '\r')
        nameEnd++;
    const char *value = nameEnd;
    while (*value == ' ' || *value == '\t')
        value++;
    size_t valueLen = strlen(value);
    if (valueLen && value[valueLen - 1] == '\r')
        valueLen--;
    if (nameEnd > name && valueLen)
        meta.Add(name, static_cast<QOV_INT32>(nameEnd - name), value, static_cast<QOV_INT32>(valueLen), IFEX_APPEND,
                 "\n");
}

const char *CImagePxm::LoadFileHeader(const char *filename, void *pLoadFormat)
{
    Unload();
    FILE *f = filename ? fopen(filename, "rb") : nullptr;
    if (!f)
        return kErrOpening;
    char *commentBuf = nullptr;
    const PXMLOADFORMAT *lf = static_cast<const PXMLOADFORMAT *>(pLoadFormat);

    auto fail = [&](const char *err) {
        fclose(f);
        free(commentBuf);
        UnloadHeader();
        return err;
    };

    if (getc(f) != 'P')
        return fail(kErrInvalidHeader);
    colorModelEnum model;
    switch (getc(f)) {
    case '2':
        fileFormat = PPTYPE_PGMT, model = CM_GRAY;
        break;
    case '3':
        fileFormat = PPTYPE_PPMT, model = CM_RGB;
        break;
    case '5':
        fileFormat = PPTYPE_PGMB, model = CM_GRAY;
        break;
    case '6':
        fileFormat = PPTYPE_PPMB, model = CM_RGB;
        break;
    default:
        return fail(kErrFormat);
    }

    QOV_INT64 numbers[3];
    for (QOV_INT64 &number : numbers) {
        for (;;) {
            const int c = getc(f);
            if (c == EOF)
                return fail(kErrIncomplete);
            if (c == '#') {
                ParseComment(f, &commentBuf);
            } else if (c >= '0' && c <= '9') {
                ungetc(c, f);
                break;
            } else if (!isBlank(c)) {
                return fail(kErrNumberExpected);
            }
        }
        bool any;
        number = readDigits(f, &any);
    }
    // One white-space character ends the header. A comment may follow the last
    // number directly; the line feed ending it is then that character. Nothing
    // after it is taken for a comment: a first sample may well be a "#".
    int c = getc(f);
    if (c == '#') {
        ParseComment(f, &commentBuf);
        c = '\n';
    }
    if (c == EOF || !isBlank(c))
        return fail(kErrSpaceExpected);
    const long pos = ftell(f);
    if (pos < 0 || pos > INT32_MAX)
        return fail(kErrIncomplete);
    foffsetData = static_cast<QOV_INT32>(pos);

    const QOV_INT64 w = numbers[0], h = numbers[1], maxval = numbers[2];
    if (maxval > 65535)
        return fail(kErrMaxVal);
    if (w < 1 || h < 1 || w > INT32_MAX || h > INT32_MAX || w * h > kMaxPixels)
        return fail(kErrImageSize);
    int bits = 1;
    while (maxval >= (QOV_INT64(1) << bits))
        bits++;

    // The Bayer order a "CFA" comment names, or SUBS_UNDEF.
    static const char kOrders[] = "RGGB\0GRBG\0GBRG\0BGGR\0";
    const QOV_INT32 order = meta.GetMetaEnum("CFA", -1, kOrders);
    const subsamplingModeEnum cfa = order < 0 ? SUBS_UNDEF : static_cast<subsamplingModeEnum>(SUBS_RGGB + order);
    subsamplingModeEnum subs = SUBS_UNDEF;
    if (lf) {
        const subsamplingModeEnum forced = lf->forceSubsampling;
        switch (lf->forceColorModel) {
        case CM_RGGB:
            model = CM_RGGB;
            subs = forced ? forced : (cfa ? cfa : SUBS_RGGB);
            break;
        case CM_UNDEF:
            if (model == CM_GRAY && (forced || cfa)) {
                model = CM_RGGB;
                subs = forced ? forced : cfa;
            }
            break;
        case CM_GRAY:
            model = forced ? CM_RGGB : CM_GRAY;
            subs = forced;
            break;
        default:
            model = lf->forceColorModel;
            break;
        }
        m_loadFormat = *lf;
        pExtra = &m_loadFormat;
    }

    // Samples run from 0 to maxval: the channels are unsigned at every depth.
    const QOV_INT8 depth = static_cast<QOV_INT8>(bits > 15 ? 16 : bits);
    const QOV_INT8 depths[4] = {depth, depth, depth, depth};
    if (!describeImage(*this, static_cast<QOV_INT32>(w), static_cast<QOV_INT32>(h), model, subs, depths))
        return fail(kErrColorModel);
    for (QOV_INT32 k = 1; k < GetNColChannels(); k++)
        if (GetXSampling(k) != GetXSampling(0) || GetYSampling(k) != GetYSampling(0))
            return fail(kErrSubsampling);
    fileName = strdup(filename);
    if (!fileName)
        return fail(kErrNoMemory);
    fclose(f);
    free(commentBuf);
    return nullptr;
}

bool CImagePxm::mosaicLayout() const
{
    return pExtra && m_loadFormat.useBayerCells && colorModel == CM_RGGB && isBayerMode(subsMode);
}

const char *CImagePxm::LoadFileData(QOV_INT32 frameIndex)
{
    if (!IsHeaderLoaded() || foffsetData < 0)
        return kErrHeaderNotLoaded;
    if (frameIndex != 0 && isText(fileFormat))
        return kErrMultipleImages;
    const QOV_INT32 nch = GetNColChannels();
    if (nch < 1)
        return kErrColorModel;
    FILE *f = fopen(fileName, "rb");
    if (!f)
        return kErrOpening;

    const bool mosaic = mosaicLayout();
    const QOV_INT32 rows = mosaic ? height : chnl[0].chnlHeight;
    const QOV_INT32 cols = mosaic ? width : chnl[0].chnlWidth;
    const size_t rowSamples = static_cast<size_t>(cols) * (mosaic ? 1 : nch);
    const int bytes = chnl[0].bitDepth > 8 ? 2 : 1;
    const QOV_INT64 samples = static_cast<QOV_INT64>(rows) * static_cast<QOV_INT64>(rowSamples);
    // A byte-coded frame needs all its bytes, a text one a digit and a separator per sample.
    const QOV_INT64 needed = isText(fileFormat) ? 2 * samples - 1 : samples * bytes;
    const char *err = seekFrame(f, foffsetData, frameIndex, samples * bytes, needed, kErrSeek);
    for (QOV_INT32 k = 0; !err && k < nch; k++)
        if (!AllocChannelData(k))
            err = kErrNoMemory;

    std::vector<QOV_UINT8> rowBuf;
    std::vector<PIXEL> row;
    if (!err) {
        rowBuf.resize(isText(fileFormat) ? 0 : rowSamples * bytes);
        row.resize(rowSamples);
    }
    for (QOV_INT32 r = 0; !err && r < rows; r++) {
        if (isText(fileFormat)) {
            for (PIXEL &s : row) {
                int c;
                while ((c = getc(f)) != EOF && isBlank(c)) {
                }
                if (c != EOF)
                    ungetc(c, f);
                bool any;
                const QOV_INT64 v = readDigits(f, &any);
                if (!any) {  // the end of the file or no number where a sample belongs
                    err = kErrReadingFrame;
                    break;
                }
                s = static_cast<PIXEL>(v > INT32_MAX ? INT32_MAX : v);
            }
        } else {
            if (fread(rowBuf.data(), 1, rowBuf.size(), f) != rowBuf.size()) {
                err = kErrReadingFrame;
                break;
            }
            for (size_t i = 0; i < rowSamples; i++)
                row[i] = bytes == 2 ? (rowBuf[2 * i] << 8 | rowBuf[2 * i + 1]) : rowBuf[i];
        }
        if (err)
            break;
        if (pixelOnLoadResize && pixelOnLoadResize > -32 && pixelOnLoadResize < 32)
            for (PIXEL &s : row)
                s = pixelOnLoadResize > 0 ? s << pixelOnLoadResize : s >> -pixelOnLoadResize;
        if (mosaic) {
            for (QOV_INT32 x = 0; x < cols; x++)
                mosaicSample(*this, r, x) = row[x];
        } else {
            for (QOV_INT32 x = 0; x < cols; x++)
                for (QOV_INT32 k = 0; k < nch; k++)
                    chnl[k].data[static_cast<size_t>(r) * cols + x] = row[static_cast<size_t>(x) * nch + k];
        }
    }
    fclose(f);
    // No half-read frame is left behind.
    if (err)
        UnloadData();
    return err;
}

const char *CImagePxm::SaveFileStart(const char *filename, void *pSaveFormat, void **pSC)
{
    if (const char *err = checkSaveable(*this, pSC))
        return err;
    return openSave<PXMSAVECONTEXT>(filename, pSaveFormat, pSC);
}

// The samples the file's header announces must be exactly those written: a
// mosaic of width x height, or one sample per channel at every place of channels
// that all have the size of channel 0.
const char *CImagePxm::saveLayoutError(const PXMSAVEFORMAT *fmt) const
{
    const QOV_INT32 nch = GetNColChannels();
    if (nch < 1)
        return kErrColorModel;
    if (fmt->fileFormat < PPTYPE_PPMB || fmt->fileFormat > PPTYPE_PGMT)
        return kErrFileFormat;
    const bool pgm = fmt->fileFormat == PPTYPE_PGMB || fmt->fileFormat == PPTYPE_PGMT;
    if (fmt->useBayerCells && colorModel == CM_RGGB && isBayerMode(subsMode)) {
        for (QOV_INT32 k = 0; k < nch; k++)
            if (chnl[k].chnlWidth != (QOV_INT64(width) + 1) / 2 || chnl[k].chnlHeight != (QOV_INT64(height) + 1) / 2)
                return kErrSubsampling;
        return pgm ? nullptr : kErrFileFormat;
    }
    for (QOV_INT32 k = 1; k < nch; k++)
        if (chnl[k].chnlWidth != chnl[0].chnlWidth || chnl[k].chnlHeight != chnl[0].chnlHeight)
            return kErrSubsampling;
    const QOV_INT64 written = static_cast<QOV_INT64>(chnl[0].chnlWidth) * chnl[0].chnlHeight * nch;
    const QOV_INT64 announced = static_cast<QOV_INT64>(width) * height * (pgm ? 1 : 3);
    return written == announced ? nullptr : kErrFileFormat;
}

const char *CImagePxm::SaveFileHeader(void *pSC)
{
    PXMSAVECONTEXT *ctx = saveContext<PXMSAVECONTEXT>(pSC);
    if (!ctx)
        return kErrWritingHeader;
    if (const char *err = saveLayoutError(ctx->pExtra))
        return err;
    const int bits = maxDepth(*this);
    if (bits > 16)
        return kErrBitDepth;
    ctx->maxVal = static_cast<QOV_INT32>((1 << bits) - 1);
    static const char kMagic[] = {'?', '6', '3', '5', '2'};
    if (fprintf(ctx->f, "P%c\n%d %d\n%d\n", kMagic[ctx->pExtra->fileFormat], width, height, ctx->maxVal) < 0)
        return kErrWritingHeader;
    return nullptr;
}

const char *CImagePxm::SaveFileData(void *pSC)
{
    PXMSAVECONTEXT *ctx = saveContext<PXMSAVECONTEXT>(pSC);
    if (!ctx)
        return kErrWritingFrame;
    if (!IsDataLoaded())
        return kErrColorModel;
    if (const char *err = saveLayoutError(ctx->pExtra))
        return err;
    const PXMSAVEFORMAT *fmt = ctx->pExtra;
    const QOV_INT32 nch = GetNColChannels();
    const bool mosaic = fmt->useBayerCells && colorModel == CM_RGGB && isBayerMode(subsMode);
    const bool text = isText(fmt->fileFormat);
    // The sample size follows the maxval of the header, which readers go by.
    const int bytes = (1 << maxDepth(*this)) - 1 > 255 ? 2 : 1;
    const QOV_INT32 rows = mosaic ? height : chnl[0].chnlHeight;
    const QOV_INT32 cols = mosaic ? width : chnl[0].chnlWidth;
    const size_t rowSamples = static_cast<size_t>(cols) * (mosaic ? 1 : nch);

    std::string line;
    for (QOV_INT32 r = 0; r < rows; r++) {
        line.clear();
        for (size_t i = 0; i < rowSamples; i++) {
            PIXEL s;
            if (mosaic) {
                s = mosaicSample(*this, r, static_cast<QOV_INT32>(i));
            } else {
                const size_t x = i / nch;
                s = chnl[i % nch].data[static_cast<size_t>(r) * cols + x];
            }
            if (text) {
                char num[16];
                snprintf(num, sizeof(num), "%d", s < 0 ? s & 0xFFFF : s);
                line += num;
                line += (i + 1) % 10 == 0 || i + 1 == rowSamples ? '\n' : ' ';
            } else if (bytes == 2) {
                line += static_cast<char>(s >> 8 & 0xFF);
                line += static_cast<char>(s & 0xFF);
            } else {
                line += static_cast<char>(s & 0xFF);
            }
        }
        if (fwrite(line.data(), 1, line.size(), ctx->f) != line.size())
            return kErrWritingFrame;
    }
    return nullptr;
}

const char *CImagePxm::SaveFileEnd(void *pSC)
{
    return endSave<PXMSAVECONTEXT>(pSC, kErrWritingFrame);
}

const char *CImagePxm::GetSaveFormat(PXMSAVEFORMAT *pFmt, CImageBase *pIm)
{
    if (!pFmt)
        return kErrUnsupportedModel;
    pFmt->fileFormat = PPTYPE_UNDEF;
    pFmt->useBayerCells = false;
    switch (pIm ? pIm->colorModel : CM_UNDEF) {
    case CM_GRAY:
    case CM_RGBW:
        pFmt->fileFormat = PPTYPE_PGMB;
        return nullptr;
    case CM_RGB:
        pFmt->fileFormat = PPTYPE_PPMB;
        return nullptr;
    case CM_RGGB:
        pFmt->fileFormat = PPTYPE_PGMB;
        pFmt->useBayerCells = true;
        return nullptr;
    default:
        return kErrUnsupportedModel;
    }
}

const char *CImagePxm::GetSaveFormat(PXMSAVEFORMAT *pFmt, CImageYuv *)
{
    if (pFmt) {
        pFmt->fileFormat = PPTYPE_UNDEF;
        pFmt->useBayerCells = false;
    }
    return kErrUnsupportedModel;
}

// Defined with the PGM/PPM class, so that raw YUV files need nothing of it.
const char *CImageYuv::GetSaveFormat(YUVSAVEFORMAT *, CImagePxm *)
{
    return kErrUnsupportedModel;
}
