#include "sim_image/image_yuv.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "file_name_format.h"
#include "image_file_util.h"
#include "sim_image/image_jux.h"

using namespace imfile;

namespace {

const char *const kErrNoFormat = "Unable to detect YUV format from file name";
const char *const kErrTooShort = "File too short for a single frame";
const char *const kErrOddWidth = "Error: odd width not supported";
// A text of a case the format leaves open.
const char *const kErrYuvFormat = "Unsupported YUV format";

struct YuvSaveContext {
    FILE *f;
    YUVSAVEFORMAT *pExtra;
};

bool isInterleaved422(planeFormatsStr fmt)
{
    return fmt == PLANEFMT_INTER_YUYV || fmt == PLANEFMT_INTER_YVYU || fmt == PLANEFMT_INTER_UYVY ||
           fmt == PLANEFMT_INTER_VYUY;
}

// Channel (0 Y, 1 U, 2 V) at each position of a 4:2:2 group.
const int *groupOrder(planeFormatsStr fmt)
{
    static const int kYUYV[4] = {0, 1, 0, 2};
    static const int kYVYU[4] = {0, 2, 0, 1};
    static const int kUYVY[4] = {1, 0, 2, 0};
    static const int kVYUY[4] = {2, 0, 1, 0};
    switch (fmt) {
    case PLANEFMT_INTER_YUYV:
        return kYUYV;
    case PLANEFMT_INTER_YVYU:
        return kYVYU;
    case PLANEFMT_INTER_UYVY:
        return kUYVY;
    case PLANEFMT_INTER_VYUY:
        return kVYUY;
    default:
        return nullptr;
    }
}

// Interleaved 4:4:4 needs a 4:4:4 image, the 4:2:2 interleaved formats a 4:2:2 one.
bool formatSuits(planeFormatsStr fmt, subsamplingModeEnum subs)
{
    if (fmt == PLANEFMT_PLANAR)
        return subs == SUBS_444 || subs == SUBS_422 || subs == SUBS_420;
    if (fmt == PLANEFMT_INTER_YUV)
        return subs == SUBS_444;
    return isInterleaved422(fmt) && subs == SUBS_422;
}

int alignShift(int bitDepth, bool msbAligned)
{
    return msbAligned ? (8 - bitDepth % 8) % 8 : 0;
}

PIXEL readSample(const QOV_UINT8 *p, int bytes, int shift)
{
    const unsigned v = bytes == 1 ? p[0] : (static_cast<unsigned>(p[0]) | static_cast<unsigned>(p[1]) << 8);
    return static_cast<PIXEL>(v >> shift);
}

void writeSample(QOV_UINT8 *p, int bytes, QOV_UINT32 v)
{
    p[0] = static_cast<QOV_UINT8>(v);
    if (bytes == 2)
        p[1] = static_cast<QOV_UINT8>(v >> 8);
}

}  // namespace

const YUVFORMATSPEC CImageYuv::yuvFormatSpecs[] = {
    {"444pl", SUBS_444, PLANEFMT_PLANAR, false, 10},     {"444pu", SUBS_444, PLANEFMT_PLANAR, false, 10},
    {"444pm", SUBS_444, PLANEFMT_PLANAR, true, 10},      {"444p", SUBS_444, PLANEFMT_PLANAR, false, 8},
    {"444il", SUBS_444, PLANEFMT_INTER_YUV, false, 10},  {"444iu", SUBS_444, PLANEFMT_INTER_YUV, false, 10},
    {"444im", SUBS_444, PLANEFMT_INTER_YUV, true, 10},   {"444i", SUBS_444, PLANEFMT_INTER_YUV, false, 8},
    {"444", SUBS_444, PLANEFMT_INTER_YUV, false, 8},     {"420pl", SUBS_420, PLANEFMT_PLANAR, false, 10},
    {"420pu", SUBS_420, PLANEFMT_PLANAR, false, 10},     {"420pm", SUBS_420, PLANEFMT_PLANAR, true, 10},
    {"420p", SUBS_420, PLANEFMT_PLANAR, false, 8},       {"420", SUBS_420, PLANEFMT_PLANAR, false, 8},
    {"422pl", SUBS_422, PLANEFMT_PLANAR, false, 10},     {"422pu", SUBS_422, PLANEFMT_PLANAR, false, 10},
    {"422pm", SUBS_422, PLANEFMT_PLANAR, true, 10},      {"422p", SUBS_422, PLANEFMT_PLANAR, false, 8},
    {"422i", SUBS_422, PLANEFMT_INTER_YUYV, false, 8},   {"422", SUBS_422, PLANEFMT_PLANAR, false, 8},
    {"yuyv", SUBS_422, PLANEFMT_INTER_YUYV, false, 8},   {"yvyu", SUBS_422, PLANEFMT_INTER_YVYU, false, 8},
    {"uyvy", SUBS_422, PLANEFMT_INTER_UYVY, false, 8},   {"vyuy", SUBS_422, PLANEFMT_INTER_VYUY, false, 8},
};
const int CImageYuv::nYuvFormatSpecs = sizeof(yuvFormatSpecs) / sizeof(yuvFormatSpecs[0]);

CImageYuv::CImageYuv()
    : frameSize(0), Nframes(0), planeFormat(PLANEFMT_PLANAR), msbAligned(false), m_rowBuf(nullptr), m_rowBufSize(0)
{
    m_formatString[0] = '\0';
}

CImageYuv::~CImageYuv()
{
    Unload();
    free(m_rowBuf);
}

void CImageYuv::UnloadHeader()
{
    frameSize = 0;
    Nframes = 0;
    planeFormat = PLANEFMT_PLANAR;
    msbAligned = false;
    CImageBase::UnloadHeader();
}

QOV_INT32 CImageYuv::GetProperty(imagePropertiesEnum property) const
{
    switch (property) {
    case PROPERTY_SUPPORT_VIDEO:
        return 1;
    case PROPERTY_IS_VIDEO:
        return Nframes > 1 ? 1 : 0;
    }
    return 0;
}

QOV_INT32 CImageYuv::GetNFrames() const
{
    return Nframes;
}

bool CImageYuv::growRowBuffer(size_t size)
{
    if (size <= m_rowBufSize)
        return true;
    QOV_UINT8 *grown = static_cast<QOV_UINT8 *>(realloc(m_rowBuf, size));
    if (!grown)
        return false;
    m_rowBuf = grown;
    m_rowBufSize = size;
    return true;
}

const char *CImageYuv::GetLoadFormat(YUVLOADFORMAT *pFmt, const char *filename, const char **pFormatPart)
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

    const char *base = scan.lower.c_str() + scan.baseStart;
    const YUVFORMATSPEC *entry = nullptr;
    for (int s = 0; s < nYuvFormatSpecs && !entry; s++) {
        const char *found = strstr(base, yuvFormatSpecs[s].format);
        if (found) {
            entry = &yuvFormatSpecs[s];
            noteFormatStart(&scan, static_cast<size_t>(found - scan.lower.c_str()));
        }
    }
    if (entry) {
        pFmt->subsMode = entry->subsMode;
        pFmt->planeFormat = entry->planeFmt;
        pFmt->msbAligned = entry->msbAligned;
        pFmt->bitDepth = static_cast<QOV_INT8>(scan.bitDepth ? scan.bitDepth : entry->defaultBd);
    } else {
        pFmt->subsMode = SUBS_420;
        pFmt->planeFormat = PLANEFMT_PLANAR;
        pFmt->msbAligned = false;
        pFmt->bitDepth = static_cast<QOV_INT8>(scan.bitDepth ? scan.bitDepth : 8);
    }
    if (pFormatPart)
        *pFormatPart = filename + scan.earliest;
    return nullptr;
}

const char *CImageYuv::LoadFileHeader(const char *filename, void *pExtra)
{
    const YUVLOADFORMAT *fmt = static_cast<const YUVLOADFORMAT *>(pExtra);
    if (!fmt)
        return kErrLoadFormatMissing;
    if (fmt->bitDepth < 1 || fmt->bitDepth > 15)
        return kErrBitDepth;
    if (fmt->width < 1 || fmt->height < 1)
        return kErrImageSize;
    if (!formatSuits(fmt->planeFormat, fmt->subsMode))
        return kErrYuvFormat;

    Unload();
    colorModel = CM_YUV;
    width = fmt->width;
    height = fmt->height;
    subsMode = fmt->subsMode;
    planeFormat = fmt->planeFormat;
    msbAligned = fmt->msbAligned;
    const QOV_INT64 bytes = (fmt->bitDepth + 7) / 8;
    frameSize = 0;
    for (int c = 0; c < 3; c++) {
        chnl[c].bitDepth = static_cast<QOV_UINT8>(fmt->bitDepth);
        chnl[c].isSigned = false;
        chnl[c].chnlWidth = static_cast<QOV_INT32>((static_cast<QOV_INT64>(width) + GetXSampling(c) - 1) / GetXSampling(c));
        chnl[c].chnlHeight =
            static_cast<QOV_INT32>((static_cast<QOV_INT64>(height) + GetYSampling(c) - 1) / GetYSampling(c));
        frameSize += bytes * chnl[c].chnlWidth * chnl[c].chnlHeight;
    }

    FILE *f = filename ? fopen(filename, "rb") : nullptr;
    if (!f) {
        Unload();
        return kErrOpening;
    }
    QOV_INT64 length = -1;
    if (fseeko(f, 0, SEEK_END) == 0)
        length = ftello(f);
    fclose(f);
    const QOV_INT64 frames = length > 0 ? length / frameSize : 0;
    if (frames < 1) {
        Unload();
        return kErrTooShort;
    }
    Nframes = static_cast<QOV_INT32>(frames > INT32_MAX ? INT32_MAX : frames);
    fileName = strdup(filename);
    if (!fileName) {
        Unload();
        return kErrNoMemory;
    }
    return nullptr;
}

const char *CImageYuv::LoadFileData(QOV_INT32 frameIndex)
{
    if (!IsHeaderLoaded())
        return kErrHeaderNotLoaded;
    if (frameIndex < 0 || frameIndex >= Nframes)
        return kErrFrameIndex;
    if (colorModel != CM_YUV)
        return kErrColorModel;
    FILE *f = fileName ? fopen(fileName, "rb") : nullptr;
    if (!f)
        return kErrOpening;

    const char *err = nullptr;
    const int depth = chnl[0].bitDepth;
    const int bytes = (depth + 7) / 8;
    const int shift = alignShift(depth, msbAligned);
    if (isInterleaved422(planeFormat) && width % 2 != 0)
        err = kErrOddWidth;
    if (!err && !formatSuits(planeFormat, subsMode))
        err = kErrYuvFormat;
    if (!err && fseeko(f, static_cast<QOV_INT64>(frameIndex) * frameSize, SEEK_SET) != 0)
        err = kErrReadingFrame;
    for (int c = 0; !err && c < 3; c++)
        if (!AllocChannelData(c))
            err = kErrNoMemory;

    if (!err && planeFormat == PLANEFMT_PLANAR) {
        for (int c = 0; !err && c < 3; c++) {
            const size_t rowBytes = static_cast<size_t>(chnl[c].chnlWidth) * bytes;
            if (!growRowBuffer(rowBytes)) {
                err = kErrNoMemory;
                break;
            }
            for (QOV_INT32 r = 0; r < chnl[c].chnlHeight; r++) {
                if (fread(m_rowBuf, 1, rowBytes, f) != rowBytes) {
                    err = kErrReadingFrame;
                    break;
                }
                PIXEL *dst = chnl[c].data + static_cast<size_t>(r) * chnl[c].chnlWidth;
                for (QOV_INT32 x = 0; x < chnl[c].chnlWidth; x++)
                    dst[x] = readSample(m_rowBuf + static_cast<size_t>(x) * bytes, bytes, shift);
            }
        }
    } else if (!err) {
        const int *order = groupOrder(planeFormat);
        const size_t rowBytes = static_cast<size_t>(width) * (order ? 2 : 3) * bytes;
        if (!growRowBuffer(rowBytes))
            err = kErrNoMemory;
        for (QOV_INT32 r = 0; !err && r < height; r++) {
            if (fread(m_rowBuf, 1, rowBytes, f) != rowBytes) {
                err = kErrReadingFrame;
                break;
            }
            const QOV_UINT8 *src = m_rowBuf;
            if (order) {
                for (QOV_INT32 g = 0; g < width / 2; g++) {
                    int ySeen = 0;
                    for (int pos = 0; pos < 4; pos++) {
                        const int c = order[pos];
                        const QOV_INT32 x = c == 0 ? 2 * g + ySeen++ : g;
                        chnl[c].data[static_cast<size_t>(r) * chnl[c].chnlWidth + x] = readSample(src, bytes, shift);
                        src += bytes;
                    }
                }
            } else {
                for (QOV_INT32 x = 0; x < width; x++) {
                    for (int c = 0; c < 3; c++) {
                        chnl[c].data[static_cast<size_t>(r) * width + x] = readSample(src, bytes, shift);
                        src += bytes;
                    }
                }
            }
        }
    }
    fclose(f);
    if (err)
        UnloadData();
    return err;
}

const char *CImageYuv::SaveFileStart(const char *filename, void *pExtra, void **pSC)
{
    if (const char *err = checkSaveable(*this, pSC))
        return err;
    if (colorModel != CM_YUV)
        return kErrColorModel;
    if (chnl[0].bitDepth < 1 || chnl[0].bitDepth > 16)
        return kErrBitDepth;
    return openSave<YuvSaveContext>(filename, pExtra, pSC);
}

const char *CImageYuv::SaveFileHeader(void *)
{
    return nullptr;
}

const char *CImageYuv::SaveFileData(void *pSC)
{
    YuvSaveContext *ctx = saveContext<YuvSaveContext>(pSC);
    if (!ctx)
        return kErrWritingFrame;
    if (colorModel != CM_YUV || !IsDataLoaded())
        return kErrColorModel;
    const planeFormatsStr fmt = ctx->pExtra->planeFormat;
    if (isInterleaved422(fmt) && width % 2 != 0)
        return kErrOddWidth;
    // Interleaved layouts need channels of the sizes they describe.
    if (fmt == PLANEFMT_INTER_YUV) {
        for (int c = 1; c < 3; c++)
            if (chnl[c].chnlWidth != width || chnl[c].chnlHeight != height)
                return kErrYuvFormat;
    } else if (isInterleaved422(fmt)) {
        for (int c = 1; c < 3; c++)
            if (chnl[c].chnlWidth != width / 2 || chnl[c].chnlHeight != height)
                return kErrYuvFormat;
    } else if (fmt != PLANEFMT_PLANAR) {
        return kErrYuvFormat;
    }
    if (chnl[0].chnlWidth != width || chnl[0].chnlHeight != height)
        return kErrYuvFormat;

    const int depth = chnl[0].bitDepth;
    if (depth < 1 || depth > 16)
        return kErrBitDepth;
    const int bytes = (depth + 7) / 8;
    const int shift = alignShift(depth, ctx->pExtra->msbAligned);
    auto encode = [&](int c, PIXEL v) {
        QOV_UINT32 u = static_cast<QOV_UINT32>(v);
        if (chnl[c].isSigned)
            u += 1u << (depth - 1);
        return u << shift;
    };

    if (fmt == PLANEFMT_PLANAR) {
        for (int c = 0; c < 3; c++) {
            const size_t rowBytes = static_cast<size_t>(chnl[c].chnlWidth) * bytes;
            if (!growRowBuffer(rowBytes))
                return kErrNoMemory;
            for (QOV_INT32 r = 0; r < chnl[c].chnlHeight; r++) {
                const PIXEL *src = chnl[c].data + static_cast<size_t>(r) * chnl[c].chnlWidth;
                for (QOV_INT32 x = 0; x < chnl[c].chnlWidth; x++)
                    writeSample(m_rowBuf + static_cast<size_t>(x) * bytes, bytes, encode(c, src[x]));
                if (fwrite(m_rowBuf, 1, rowBytes, ctx->f) != rowBytes)
                    return kErrWritingFrame;
            }
        }
        return nullptr;
    }
    const int *order = groupOrder(fmt);
    const size_t rowBytes = static_cast<size_t>(width) * (order ? 2 : 3) * bytes;
    if (!growRowBuffer(rowBytes))
        return kErrNoMemory;
    for (QOV_INT32 r = 0; r < height; r++) {
        QOV_UINT8 *dst = m_rowBuf;
        if (order) {
            for (QOV_INT32 g = 0; g < width / 2; g++) {
                int ySeen = 0;
                for (int pos = 0; pos < 4; pos++) {
                    const int c = order[pos];
                    const QOV_INT32 x = c == 0 ? 2 * g + ySeen++ : g;
                    writeSample(dst, bytes, encode(c, chnl[c].data[static_cast<size_t>(r) * chnl[c].chnlWidth + x]));
                    dst += bytes;
                }
            }
        } else {
            for (QOV_INT32 x = 0; x < width; x++) {
                for (int c = 0; c < 3; c++) {
                    writeSample(dst, bytes, encode(c, chnl[c].data[static_cast<size_t>(r) * width + x]));
                    dst += bytes;
                }
            }
        }
        if (fwrite(m_rowBuf, 1, rowBytes, ctx->f) != rowBytes)
            return kErrWritingFrame;
    }
    return nullptr;
}

const char *CImageYuv::SaveFileEnd(void *pSC)
{
    return endSave<YuvSaveContext>(pSC, nullptr);
}

const char *CImageYuv::GetFormatString(const YUVSAVEFORMAT *pFmt)
{
    const planeFormatsStr fmt = pFmt ? pFmt->planeFormat : planeFormat;
    const bool msb = pFmt ? pFmt->msbAligned : msbAligned;
    const QOV_UINT8 defaultBd = chnl[0].bitDepth <= 8 ? 8 : 10;
    const YUVFORMATSPEC *entry = nullptr;
    for (int s = 0; s < nYuvFormatSpecs && !entry; s++) {
        const YUVFORMATSPEC &e = yuvFormatSpecs[s];
        if (e.subsMode == subsMode && e.planeFmt == fmt && e.msbAligned == msb && e.defaultBd == defaultBd)
            entry = &e;
    }
    if (entry)
        snprintf(m_formatString, sizeof(m_formatString), "%dx%d_%dbit_%s", width, height, chnl[0].bitDepth,
                 entry->format);
    else
        snprintf(m_formatString, sizeof(m_formatString), "%dx%d_%dbit", width, height, chnl[0].bitDepth);
    return m_formatString;
}

const char *CImageYuv::GetSaveFormat(YUVSAVEFORMAT *pFmt, CImageBase *pIm)
{
    if (!pFmt || !pIm || pIm->colorModel != CM_YUV)
        return kErrUnsupportedModel;
    pFmt->planeFormat = PLANEFMT_PLANAR;
    pFmt->msbAligned = false;
    return nullptr;
}

const char *CImageYuv::GetSaveFormat(YUVSAVEFORMAT *pFmt, CImageJux *pIm)
{
    if (!pFmt || !pIm || pIm->colorModel != CM_YUV)
        return kErrUnsupportedModel;
    const QOV_UINT32 planes = pIm->GetNFilePlanes(nullptr);
    if (planes == 1 && pIm->subsMode == SUBS_444)
        pFmt->planeFormat = PLANEFMT_INTER_YUV;
    else if (planes == 1 && pIm->subsMode == SUBS_422)
        pFmt->planeFormat = PLANEFMT_INTER_YUYV;
    else
        pFmt->planeFormat = PLANEFMT_PLANAR;
    pFmt->msbAligned = false;
    return nullptr;
}

const char *CImageYuv::GetSaveFormat(YUVSAVEFORMAT *pFmt, CImageYuv *pIm)
{
    if (!pFmt || !pIm)
        return kErrUnsupportedModel;
    pFmt->planeFormat = pIm->planeFormat;
    pFmt->msbAligned = pIm->msbAligned;
    return nullptr;
}

// The JUX save format of a raw YUV image: one plane of all channels for an
// interleaved 4:4:4 image, one plane per channel otherwise.
const char *CImageJux::GetSaveFormat(JUXSAVEFORMAT *pFmt, CImageYuv *pIm)
{
    if (!pFmt)
        return nullptr;
    GetSaveFormat(pFmt, static_cast<CImageBase *>(pIm));
    if (pIm && pIm->planeFormat != PLANEFMT_PLANAR && pIm->subsMode == SUBS_444) {
        pFmt->planeFormat[0] = static_cast<QOV_INT8>(pIm->GetNColChannels());
        pFmt->planeFormat[1] = pFmt->planeFormat[2] = pFmt->planeFormat[3] = 0;
    }
    return nullptr;
}
