#include "sim_image/image.h"

#include <cstdlib>
#include <cstring>

namespace {

const char *const kInternalError = "Internal error";

// Largest plane the library allocates: 2^28 samples (a 16384 x 16384 channel).
const QOV_INT64 kMaxPlaneSamples = QOV_INT64(1) << 28;

const char *const kNamesGray[] = {"Y"};
const char *const kNamesRGB[] = {"R", "G", "B"};
const char *const kNamesRGBA[] = {"R", "G", "B", "A"};
const char *const kNamesRGGB[] = {"R", "G1", "G2", "B"};
const char *const kNamesRGBW[] = {"R", "G", "B", "W"};
const char *const kNamesYUV[] = {"Y", "U", "V"};
const char *const kNamesYUVA[] = {"Y", "U", "V", "A"};

const COLORMODELINFO kModels[] = {
    {CM_GRAY, 1, false, false, kNamesGray}, {CM_RGB, 3, false, false, kNamesRGB},
    {CM_RGBA, 4, false, false, kNamesRGBA}, {CM_RGGB, 4, true, true, kNamesRGGB},
    {CM_RGBW, 4, true, true, kNamesRGBW},   {CM_YUV, 3, false, true, kNamesYUV},
    {CM_YUVA, 4, false, true, kNamesYUVA},
};

int magnitudeBits(QOV_INT8 bitDepth)
{
    return bitDepth < 0 ? -bitDepth - 1 : bitDepth;
}

// Range of a channel of N bits: [-2^(N-1), 2^(N-1) - 1] signed, [0, 2^N - 1] unsigned.
void depthRange(QOV_UINT8 bitDepth, bool isSigned, QOV_INT64 *pMin, QOV_INT64 *pMax)
{
    const int n = bitDepth > 62 ? 62 : bitDepth;
    if (n == 0) {
        *pMin = 0;
        *pMax = 0;
    } else if (isSigned) {
        *pMin = -(QOV_INT64(1) << (n - 1));
        *pMax = (QOV_INT64(1) << (n - 1)) - 1;
    } else {
        *pMin = 0;
        *pMax = (QOV_INT64(1) << n) - 1;
    }
}

QOV_INT32 ceilDiv(QOV_INT32 value, QOV_INT32 factor)
{
    return static_cast<QOV_INT32>((static_cast<QOV_INT64>(value) + factor - 1) / factor);
}

}  // namespace

CImageBase::CImageBase() : width(0), height(0), colorModel(CM_UNDEF), subsMode(SUBS_UNDEF), fileName(nullptr)
{
    for (auto &c : chnl)
        c.data = nullptr;
    Unload();
}

CImageBase::~CImageBase()
{
    Unload();
}

bool CImageBase::IsHeaderLoaded() const
{
    return colorModel != CM_UNDEF;
}

bool CImageBase::IsDataLoaded() const
{
    const QOV_INT32 n = GetNColChannels();
    if (n < 1)
        return false;
    for (QOV_INT32 c = 0; c < n; c++)
        if (!chnl[c].data)
            return false;
    return true;
}

void CImageBase::UnloadHeader()
{
    free(fileName);
    fileName = nullptr;
    width = 0;
    height = 0;
    for (auto &c : chnl) {
        c.chnlWidth = 0;
        c.chnlHeight = 0;
        c.bitDepth = 0;
        c.isSigned = false;
    }
    colorModel = CM_UNDEF;
    subsMode = SUBS_UNDEF;
}

void CImageBase::UnloadData()
{
    for (auto &c : chnl) {
        FreePlane(c.data);
        c.data = nullptr;
    }
}

QOV_INT32 CImageBase::GetProperty(imagePropertiesEnum) const
{
    return 0;
}

QOV_INT32 CImageBase::GetNFrames() const
{
    return 1;
}

const char *CImageBase::LoadFileHeader(const char *, void *)
{
    return kInternalError;
}

const char *CImageBase::LoadFileData(QOV_INT32)
{
    return kInternalError;
}

const char *CImageBase::SaveFileStart(const char *, void *, void **pSC)
{
    if (pSC)
        *pSC = nullptr;
    return kInternalError;
}

const char *CImageBase::SaveFileHeader(void *)
{
    return kInternalError;
}

const char *CImageBase::SaveFileData(void *)
{
    return kInternalError;
}

const char *CImageBase::SaveFileEnd(void *)
{
    return kInternalError;
}

void CImageBase::Unload()
{
    UnloadHeader();
    UnloadData();
}

const char *CImageBase::SaveSingleFrameImage(const char *filename, void *pExtra)
{
    void *pSC = nullptr;
    const char *err = SaveFileStart(filename, pExtra, &pSC);
    if (err)
        return err;
    err = SaveFileHeader(pSC);
    if (!err)
        err = SaveFileData(pSC);
    if (err) {
        SaveFileEnd(pSC);
        return err;
    }
    return SaveFileEnd(pSC);
}

const COLORMODELINFO *CImageBase::GetColorModelInfo(colorModelEnum model)
{
    for (const auto &info : kModels)
        if (info.model == model)
            return &info;
    return nullptr;
}

QOV_INT32 CImageBase::GetNColChannels() const
{
    const COLORMODELINFO *info = GetColorModelInfo(colorModel);
    return info ? info->Nchannels : 0;
}

QOV_INT32 CImageBase::GetXSampling(QOV_INT32 channel) const
{
    return GetXSampling(subsMode, channel);
}

QOV_INT32 CImageBase::GetYSampling(QOV_INT32 channel) const
{
    return GetYSampling(subsMode, channel);
}

QOV_INT32 CImageBase::GetXSampling(subsamplingModeEnum mode, QOV_INT32 channel)
{
    switch (mode) {
    case SUBS_422:
    case SUBS_420:
        return channel == 0 ? 1 : 2;
    case SUBS_RGGB:
    case SUBS_GRBG:
    case SUBS_GBRG:
    case SUBS_BGGR:
        return 2;
    default:
        return 1;
    }
}

QOV_INT32 CImageBase::GetYSampling(subsamplingModeEnum mode, QOV_INT32 channel)
{
    switch (mode) {
    case SUBS_420:
        return channel == 0 ? 1 : 2;
    case SUBS_RGGB:
    case SUBS_GRBG:
    case SUBS_GBRG:
    case SUBS_BGGR:
        return 2;
    default:
        return 1;
    }
}

QOV_UINT8 CImageBase::GetBayerFlip(subsamplingModeEnum mode)
{
    switch (mode) {
    case SUBS_GRBG:
        return 1;
    case SUBS_GBRG:
        return 2;
    case SUBS_BGGR:
        return 3;
    default:
        return 0;
    }
}

QOV_UINT8 CImageBase::GetBayerFlip(subsamplingModeEnum src, subsamplingModeEnum dst)
{
    return static_cast<QOV_UINT8>(GetBayerFlip(src) ^ GetBayerFlip(dst));
}

PIXEL *CImageBase::AllocPlane(QOV_INT64 samples)
{
    if (samples < 0 || samples > kMaxPlaneSamples)
        return nullptr;
    // Never a null plane for an empty channel: a set pointer means "loaded".
    return static_cast<PIXEL *>(malloc(static_cast<size_t>(samples ? samples : 1) * sizeof(PIXEL)));
}

void CImageBase::FreePlane(PIXEL *plane)
{
    free(plane);
}

bool CImageBase::AllocChannelData(QOV_INT32 channel)
{
    COLCHANNEL &c = chnl[channel];
    if (c.data)
        return true;
    c.data = AllocPlane(static_cast<QOV_INT64>(c.chnlWidth) * c.chnlHeight);
    return c.data != nullptr;
}

bool CImageBase::CreateNewImage(QOV_INT32 newWidth, QOV_INT32 newHeight, colorModelEnum newColorModel,
                                subsamplingModeEnum subsampling, const QOV_INT8 *chnlBitDepths,
                                const PIXEL *chnlDefVal)
{
    Unload();
    const COLORMODELINFO *info = GetColorModelInfo(newColorModel);
    if (!info || !chnlBitDepths || newWidth < 0 || newHeight < 0)
        return false;
    width = newWidth;
    height = newHeight;
    colorModel = newColorModel;
    subsMode = subsampling;
    for (QOV_INT32 k = 0; k < info->Nchannels; k++) {
        COLCHANNEL &c = chnl[k];
        c.chnlWidth = ceilDiv(width, GetXSampling(k));
        c.chnlHeight = ceilDiv(height, GetYSampling(k));
        c.bitDepth = static_cast<QOV_UINT8>(chnlBitDepths[k] < 0 ? -chnlBitDepths[k] : chnlBitDepths[k]);
        c.isSigned = chnlBitDepths[k] < 0;
        if (!AllocChannelData(k)) {
            Unload();
            return false;
        }
        const PIXEL value = chnlDefVal ? chnlDefVal[k] : 0;
        const QOV_INT64 n = static_cast<QOV_INT64>(c.chnlWidth) * c.chnlHeight;
        for (QOV_INT64 i = 0; i < n; i++)
            c.data[i] = value;
    }
    return true;
}

QOV_INT32 CImageBase::ConvertFrom(CImageBase *pSrc, colorModelEnum newColorModel, subsamplingModeEnum newSubsMode,
                                  bool onlyCheckIfAvail)
{
    if (!pSrc || pSrc == this)
        return 1;
    const bool bayerMode = newSubsMode == SUBS_RGGB || newSubsMode == SUBS_GRBG || newSubsMode == SUBS_GBRG ||
                           newSubsMode == SUBS_BGGR;
    if (onlyCheckIfAvail)
        return (newColorModel == CM_RGGB && pSrc->colorModel == CM_GRAY) ? 0 : 1;
    Unload();
    if (newColorModel != CM_RGGB || pSrc->colorModel != CM_GRAY || !bayerMode || !pSrc->chnl[0].data)
        return 1;

    const COLCHANNEL &src = pSrc->chnl[0];
    const QOV_INT8 depth = static_cast<QOV_INT8>(src.isSigned ? -src.bitDepth : src.bitDepth);
    const QOV_INT8 depths[4] = {depth, depth, depth, depth};
    if (!CreateNewImage(pSrc->width, pSrc->height, CM_RGGB, newSubsMode, depths, nullptr))
        return 2;

    // Each channel fills in raster order with the samples of its cell position.
    const QOV_UINT8 flip = GetBayerFlip(newSubsMode);
    QOV_INT64 next[4] = {0, 0, 0, 0};
    for (QOV_INT32 r = 0; r < src.chnlHeight; r++) {
        for (QOV_INT32 c = 0; c < src.chnlWidth; c++) {
            const int k = (((r & 1) * 2) + (c & 1)) ^ flip;
            const QOV_INT64 capacity = static_cast<QOV_INT64>(chnl[k].chnlWidth) * chnl[k].chnlHeight;
            if (next[k] < capacity)
                chnl[k].data[next[k]++] = src.data[static_cast<QOV_INT64>(r) * src.chnlWidth + c];
        }
    }
    return 0;
}

void CImageBase::SwapWith(CImageBase *pOther)
{
    if (!pOther || pOther == this)
        return;
    QOV_INT32 w = width, h = height;
    width = pOther->width;
    height = pOther->height;
    pOther->width = w;
    pOther->height = h;
    for (int k = 0; k < 4; k++) {
        const COLCHANNEL c = chnl[k];
        chnl[k] = pOther->chnl[k];
        pOther->chnl[k] = c;
    }
    const colorModelEnum m = colorModel;
    colorModel = pOther->colorModel;
    pOther->colorModel = m;
    const subsamplingModeEnum s = subsMode;
    subsMode = pOther->subsMode;
    pOther->subsMode = s;
    char *f = fileName;
    fileName = pOther->fileName;
    pOther->fileName = f;
}

QOV_INT32 CImageBase::ChBitDepth(PIXEL pixel, QOV_INT8 oldBitDepth, QOV_INT8 newBitDepth)
{
    if (oldBitDepth == newBitDepth)
        return pixel;
    const int shift = magnitudeBits(newBitDepth) - magnitudeBits(oldBitDepth);
    if (shift >= 32)
        return 0;
    if (shift <= -32)
        return pixel < 0 ? -1 : 0;
    if (shift >= 0)
        return static_cast<QOV_INT32>(static_cast<QOV_UINT32>(pixel) << shift);
    return pixel >> -shift;
}

void CImageBase::ChBitDepth(const PIXEL *pSrc, PIXEL *pDst, QOV_INT32 Npixels, QOV_INT8 oldBitDepth,
                            QOV_INT8 newBitDepth)
{
    if (!pSrc || !pDst || oldBitDepth == newBitDepth)
        return;
    for (QOV_INT32 i = 0; i < Npixels; i++)
        pDst[i] = ChBitDepth(pSrc[i], oldBitDepth, newBitDepth);
}

void CImageBase::ChangeChannelBitDepth(QOV_INT32 channel, QOV_INT8 newBitDepth)
{
    if (newBitDepth < -32 || newBitDepth > 31)
        return;
    const QOV_INT32 n = GetNColChannels();
    if (n == 0 || channel >= n)
        return;
    const QOV_INT32 first = channel < 0 ? 0 : channel;
    const QOV_INT32 last = channel < 0 ? n - 1 : channel;
    for (QOV_INT32 k = first; k <= last; k++) {
        COLCHANNEL &c = chnl[k];
        const QOV_INT8 current = static_cast<QOV_INT8>(c.isSigned ? -c.bitDepth : c.bitDepth);
        if (current == newBitDepth)
            continue;
        if (c.data)
            ChBitDepth(c.data, c.data, c.chnlWidth * c.chnlHeight, current, newBitDepth);
        c.bitDepth = static_cast<QOV_UINT8>(newBitDepth < 0 ? -newBitDepth : newBitDepth);
        c.isSigned = newBitDepth <= 0;
    }
}

void CImageBase::OffsetChannelValues(QOV_INT32 channel, PIXEL addValue)
{
    const QOV_INT32 n = GetNColChannels();
    if (channel >= n)
        return;
    const QOV_INT32 first = channel < 0 ? 0 : channel;
    const QOV_INT32 last = channel < 0 ? n - 1 : channel;
    for (QOV_INT32 k = first; k <= last; k++) {
        COLCHANNEL &c = chnl[k];
        if (!c.data)
            continue;
        const QOV_INT64 count = static_cast<QOV_INT64>(c.chnlWidth) * c.chnlHeight;
        for (QOV_INT64 i = 0; i < count; i++)
            c.data[i] = static_cast<PIXEL>(static_cast<QOV_UINT32>(c.data[i]) + static_cast<QOV_UINT32>(addValue));
    }
}

QOV_UINT32 CImageBase::ClipChannelValues(QOV_INT32 channel, PIXEL minVal, PIXEL maxVal, bool countClipOnly)
{
    const QOV_INT32 n = GetNColChannels();
    if (channel >= n)
        return 0;
    const QOV_INT32 first = channel < 0 ? 0 : channel;
    const QOV_INT32 last = channel < 0 ? n - 1 : channel;
    QOV_UINT32 clipped = 0;
    for (QOV_INT32 k = first; k <= last; k++) {
        COLCHANNEL &c = chnl[k];
        QOV_INT64 lo = minVal, hi = maxVal;
        if (minVal == 0 && maxVal == 0)
            depthRange(c.bitDepth, c.isSigned, &lo, &hi);
        if (!c.data)
            continue;
        const QOV_INT64 count = static_cast<QOV_INT64>(c.chnlWidth) * c.chnlHeight;
        for (QOV_INT64 i = 0; i < count; i++) {
            const QOV_INT64 v = c.data[i];
            if (v < lo) {
                if (!countClipOnly)
                    c.data[i] = static_cast<PIXEL>(lo);
                clipped++;
            } else if (v > hi) {
                if (!countClipOnly)
                    c.data[i] = static_cast<PIXEL>(hi);
                clipped++;
            }
        }
    }
    return clipped;
}

QOV_UINT32 CImageBase::ClipChannelValuesToBD(QOV_INT32 channel, bool countClipOnly)
{
    const QOV_INT32 n = GetNColChannels();
    if (channel >= n)
        return 0;
    const QOV_INT32 first = channel < 0 ? 0 : channel;
    const QOV_INT32 last = channel < 0 ? n - 1 : channel;
    QOV_UINT32 clipped = 0;
    for (QOV_INT32 k = first; k <= last; k++) {
        QOV_INT64 lo, hi;
        depthRange(chnl[k].bitDepth, chnl[k].isSigned, &lo, &hi);
        // Ranges beyond 32 bits hold every sample.
        const PIXEL pmin = lo < INT32_MIN ? INT32_MIN : static_cast<PIXEL>(lo);
        const PIXEL pmax = hi > INT32_MAX ? INT32_MAX : static_cast<PIXEL>(hi);
        if (pmin == 0 && pmax == 0) {
            // An explicit [0, 0] range would read as "own range"; clip by hand.
            COLCHANNEL &c = chnl[k];
            if (!c.data)
                continue;
            const QOV_INT64 count = static_cast<QOV_INT64>(c.chnlWidth) * c.chnlHeight;
            for (QOV_INT64 i = 0; i < count; i++) {
                if (c.data[i] != 0) {
                    if (!countClipOnly)
                        c.data[i] = 0;
                    clipped++;
                }
            }
            continue;
        }
        clipped += ClipChannelValues(k, pmin, pmax, countClipOnly);
    }
    return clipped;
}
