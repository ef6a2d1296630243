// Plain raw reading and writing. A frame is read and written row by row; a
// Bayer mosaic pixel goes to or comes from the channel of its place in the 2x2
// cell. Written samples are mapped from a per-channel range to the full range
// of the file's bit depth.
#include "sim_image/image_plraw.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "file_name_format.h"
#include "image_file_util.h"
#include "sim_image/image_jux.h"

using namespace imfile;

namespace {

const char *const kErrNoFormat = "Unable to detect plain raw format from file name";
const char *const kErrPattern = "Unsupported pattern";

// The row of the format table describing the image, or -1.
int formatRow(const CImageBase &im)
{
    if (im.colorModel == CM_RGB && im.subsMode == SUBS_UNDEF)
        return 4;
    if (im.colorModel == CM_RGGB && isBayerMode(im.subsMode))
        return im.subsMode - SUBS_RGGB;
    return -1;
}

// RGB pixels need channels of the image's size, a mosaic channels of half its
// size (rounded up) in a Bayer order; anything else has no layout in the file.
const char *layoutError(const CImageBase &im)
{
    if (im.colorModel == CM_RGB) {
        for (int k = 0; k < 3; k++)
            if (im.chnl[k].chnlWidth != im.width || im.chnl[k].chnlHeight != im.height)
                return kErrPattern;
        return nullptr;
    }
    if (im.colorModel == CM_RGGB) {
        if (!isBayerMode(im.subsMode))
            return kErrPattern;
        for (int k = 0; k < 4; k++)
            if (im.chnl[k].chnlWidth != (QOV_INT64(im.width) + 1) / 2 ||
                im.chnl[k].chnlHeight != (QOV_INT64(im.height) + 1) / 2)
                return kErrPattern;
        return nullptr;
    }
    return kErrUnsupportedModel;
}

// Samples in one row of the file.
size_t rowSamples(const CImageBase &im)
{
    return static_cast<size_t>(im.width) * (im.colorModel == CM_RGB ? 3 : 1);
}

}  // namespace

const PLRAWFORMATSPEC CImagePlRaw::plrawFormatSpecs[] = {
    {"rggb", CM_RGGB, SUBS_RGGB, 8}, {"grbg", CM_RGGB, SUBS_GRBG, 8}, {"gbrg", CM_RGGB, SUBS_GBRG, 8},
    {"bggr", CM_RGGB, SUBS_BGGR, 8}, {"rgb", CM_RGB, SUBS_UNDEF, 8},
};
const int CImagePlRaw::nPlrawFormatSpecs = sizeof(plrawFormatSpecs) / sizeof(plrawFormatSpecs[0]);

CImagePlRaw::CImagePlRaw() : frameSize(0)
{
    m_formatString[0] = '\0';
}

CImagePlRaw::~CImagePlRaw()
{
    Unload();
}

void CImagePlRaw::UnloadHeader()
{
    frameSize = 0;
    CImageBase::UnloadHeader();
}

const char *CImagePlRaw::GetLoadFormat(PLRAWLOADFORMAT *pFmt, const char *filename, const char **pFormatPart)
{
    if (pFormatPart)
        *pFormatPart = nullptr;
    if (!pFmt || !filename)
        return kErrNoFormat;
    memset(pFmt, 0, sizeof(*pFmt));
    FileNameFormat scan = scanFileNameFormat(filename);
    if (!scan.sizeFound)
        return kErrNoFormat;
    pFmt->width = scan.width;
    pFmt->height = scan.height;

    const std::string &name = scan.lower;
    const size_t base = scan.baseStart;
    const size_t dot = name.rfind('.');
    const PLRAWFORMATSPEC *row = nullptr;
    if (dot != std::string::npos && dot >= base && name.compare(dot, std::string::npos, ".rgb") == 0) {
        row = &plrawFormatSpecs[4];
    } else {
        // A pattern counts after the name's first character with no letter on either side.
        for (int s = 0; s < nPlrawFormatSpecs && !row; s++) {
            const size_t len = strlen(plrawFormatSpecs[s].format);
            for (size_t at = name.find(plrawFormatSpecs[s].format, base + 1); at != std::string::npos;
                 at = name.find(plrawFormatSpecs[s].format, at + 1)) {
                const bool letterBefore = isalpha(static_cast<unsigned char>(name[at - 1]));
                const bool letterAfter =
                    at + len < name.size() && isalpha(static_cast<unsigned char>(name[at + len]));
                if (!letterBefore && !letterAfter) {
                    row = &plrawFormatSpecs[s];
                    noteFormatStart(&scan, at);
                    break;
                }
            }
        }
    }
    pFmt->colorModel = row ? row->colorModel : CM_RGB;
    pFmt->subsMode = row ? row->subsMode : SUBS_UNDEF;
    pFmt->bitDepth = static_cast<QOV_INT8>(scan.bitDepth ? scan.bitDepth : (row ? row->defaultBd : 8));
    if (pFormatPart)
        *pFormatPart = filename + scan.earliest;
    return nullptr;
}

const char *CImagePlRaw::LoadFileHeader(const char *filename, void *pLoadFormat)
{
    Unload();
    const PLRAWLOADFORMAT *fmt = static_cast<const PLRAWLOADFORMAT *>(pLoadFormat);
    if (!fmt)
        return kErrLoadFormatMissing;
    if (fmt->bitDepth < 1 || fmt->bitDepth > 30)
        return kErrBitDepth;
    if (fmt->width < 1 || fmt->height < 1 || static_cast<QOV_INT64>(fmt->width) * fmt->height > kMaxPixels)
        return kErrImageSize;
    const QOV_INT8 depths[4] = {fmt->bitDepth, fmt->bitDepth, fmt->bitDepth, fmt->bitDepth};
    if (!filename || !describeImage(*this, fmt->width, fmt->height, fmt->colorModel, fmt->subsMode, depths)) {
        UnloadHeader();
        return kErrColorModel;
    }
    const int bytes = (fmt->bitDepth + 7) / 8;
    if (layoutError(*this))
        frameSize = frameBytes(*this, bytes);
    else
        frameSize = static_cast<QOV_INT64>(rowSamples(*this)) * height * bytes;
    fileName = strdup(filename);
    if (!fileName) {
        UnloadHeader();
        return kErrNoMemory;
    }
    return nullptr;
}

const char *CImagePlRaw::LoadFileData(QOV_INT32 frameIndex)
{
    if (!IsHeaderLoaded())
        return kErrHeaderNotLoaded;
    if (GetNColChannels() < 1)
        return kErrColorModel;
    FILE *f = fileName ? fopen(fileName, "rb") : nullptr;
    if (!f)
        return kErrOpening;
    const char *err = layoutError(*this);
    if (!err)
        err = seekFrame(f, 0, frameIndex, frameSize, frameSize, kErrFrameIndex);
    for (QOV_INT32 k = 0; !err && k < GetNColChannels(); k++)
        if (!AllocChannelData(k))
            err = kErrNoMemory;

    const int bytes = (chnl[0].bitDepth + 7) / 8;
    const size_t samples = rowSamples(*this);
    std::vector<QOV_UINT8> buf(err ? 0 : samples * bytes);
    for (QOV_INT32 r = 0; !err && r < height; r++) {
        if (fread(buf.data(), 1, buf.size(), f) != buf.size()) {
            err = kErrReadingFrame;
            break;
        }
        for (size_t i = 0; i < samples; i++) {
            const PIXEL s = static_cast<PIXEL>(readLE(&buf[i * bytes], bytes));
            if (colorModel == CM_RGB)
                chnl[i % 3].data[static_cast<size_t>(r) * width + i / 3] = s;
            else
                mosaicSample(*this, r, static_cast<QOV_INT32>(i)) = s;
        }
    }
    fclose(f);
    if (err)
        UnloadData();
    return err;
}

const char *CImagePlRaw::SaveFileStart(const char *filename, void *pSaveFormat, void **pSC)
{
    if (const char *err = checkSaveable(*this, pSC))
        return err;
    if (colorModel != CM_RGB && colorModel != CM_RGGB)
        return kErrUnsupportedModel;
    const PLRAWSAVEFORMAT *fmt = static_cast<const PLRAWSAVEFORMAT *>(pSaveFormat);
    if (fmt && (fmt->bitDepth < 1 || fmt->bitDepth > 30))
        return kErrBitDepth;
    return openSave<PLRAWSAVECONTEXT>(filename, pSaveFormat, pSC);
}

const char *CImagePlRaw::SaveFileHeader(void *)
{
    return nullptr;
}

const char *CImagePlRaw::SaveFileData(void *pSC)
{
    PLRAWSAVECONTEXT *ctx = saveContext<PLRAWSAVECONTEXT>(pSC);
    if (!ctx)
        return kErrWritingFrame;
    if (!IsDataLoaded())
        return kErrColorModel;
    if (const char *err = layoutError(*this))
        return err;
    const PLRAWSAVEFORMAT *fmt = ctx->pExtra;
    if (fmt->bitDepth < 1 || fmt->bitDepth > 30)
        return kErrBitDepth;
    const double valMax = static_cast<double>((QOV_INT64(1) << fmt->bitDepth) - 1);
    double scale[4];
    for (int c = 0; c < 4; c++) {
        const double range = static_cast<double>(fmt->rangeMax[c]) - fmt->rangeMin[c];
        scale[c] = range != 0 ? valMax / range : 0;
    }
    const int bytes = (fmt->bitDepth + 7) / 8;
    const size_t samples = rowSamples(*this);
    std::vector<QOV_UINT8> buf(samples * bytes);
    for (QOV_INT32 r = 0; r < height; r++) {
        for (size_t i = 0; i < samples; i++) {
            int c;
            PIXEL s;
            if (colorModel == CM_RGB) {
                c = static_cast<int>(i % 3);
                s = chnl[c].data[static_cast<size_t>(r) * width + i / 3];
            } else {
                c = ((r & 1) * 2 + static_cast<int>(i & 1)) ^ GetBayerFlip(subsMode);
                s = mosaicSample(*this, r, static_cast<QOV_INT32>(i));
            }
            double v = (static_cast<double>(s) - fmt->rangeMin[c]) * scale[c];
            v = v < 0 ? 0 : (v > valMax ? valMax : v);
            writeLE(&buf[i * bytes], bytes, static_cast<QOV_UINT32>(v));
        }
        if (fwrite(buf.data(), 1, buf.size(), ctx->f) != buf.size())
            return kErrWritingFrame;
    }
    return nullptr;
}

const char *CImagePlRaw::SaveFileEnd(void *pSC)
{
    return endSave<PLRAWSAVECONTEXT>(pSC, kErrWritingFrame);
}

const char *CImagePlRaw::GetFormatString(const PLRAWSAVEFORMAT *pFmt)
{
    const int bitDepth = pFmt ? pFmt->bitDepth : chnl[0].bitDepth;
    const int row = formatRow(*this);
    if (row >= 0)
        snprintf(m_formatString, sizeof(m_formatString), "%dx%d_%dbit_%s", width, height, bitDepth,
                 plrawFormatSpecs[row].format);
    else
        snprintf(m_formatString, sizeof(m_formatString), "%dx%d_%dbit", width, height, bitDepth);
    return m_formatString;
}

const char *CImagePlRaw::GetSaveFormat(PLRAWSAVEFORMAT *pFmt, CImageBase *pIm)
{
    if (!pFmt)
        return kErrUnsupportedModel;
    memset(pFmt, 0, sizeof(*pFmt));
    if (!pIm || (pIm->colorModel != CM_RGB && pIm->colorModel != CM_RGGB))
        return kErrUnsupportedModel;
    for (QOV_INT32 c = 0; c < pIm->GetNColChannels(); c++) {
        const COLCHANNEL &ch = pIm->chnl[c];
        const int n = ch.bitDepth > 31 ? 31 : ch.bitDepth;
        if (n > pFmt->bitDepth)
            pFmt->bitDepth = static_cast<QOV_INT8>(n);
        if (n == 0)
            continue;
        pFmt->rangeMin[c] = ch.isSigned ? -static_cast<QOV_INT32>(QOV_INT64(1) << (n - 1)) : 0;
        pFmt->rangeMax[c] = static_cast<QOV_INT32>(ch.isSigned ? (QOV_INT64(1) << (n - 1)) - 1 : (QOV_INT64(1) << n) - 1);
    }
    return nullptr;
}

const char *CImagePlRaw::GetSaveFormat(PLRAWSAVEFORMAT *pFmt, CImageJux *pIm)
{
    if (const char *err = GetSaveFormat(pFmt, static_cast<CImageBase *>(pIm)))
        return err;
    if (!pIm->pCurrSeg)
        return nullptr;
    const CMetaData &md = pIm->pCurrSeg->meta;
    for (QOV_INT32 c = 0; c < pIm->GetNColChannels(); c++) {
        pFmt->rangeMin[c] = md.GetMetaInt("CHANNEL_DISPLAY_MIN", pFmt->rangeMin[c], c, true);
        pFmt->rangeMax[c] = md.GetMetaInt("CHANNEL_DISPLAY_MAX", pFmt->rangeMax[c], c, true);
    }
    return nullptr;
}
