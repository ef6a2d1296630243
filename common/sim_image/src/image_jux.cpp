// JUX files: segments, layout rules and reading.
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <strings.h>

#include "jux_private.h"

namespace jux {

const char *const kErrOpening = "Error opening file";
const char *const kErrInvalidFile = "Invalid JUX file";
const char *const kErrNoMemory = "Out of memory";
const char *const kErrTruncated = "File appears truncated";
const char *const kErrNotValid = "File not valid";
const char *const kErrExtraData = "Can't read segment header in multi-segment file (extra data at end of file?)";
const char *const kErrSegmentHeader = "Invalid segment header";
const char *const kErrVersion = "Unsupported file version";
const char *const kErrTableTooSmall = "Unexpected header (table size too small)";
const char *const kErrTableTooLarge = "Unexpected header (table size too large)";
const char *const kErrReadingHeader = "Error reading header";
const char *const kErrTableFormat = "Error in header (table format)";
const char *const kErrMissingMeta = "Missing meta data section";
const char *const kErrMissingPixels = "Missing pixel data section";
const char *const kErrMetaOffset = "Invalid meta data offset and/or size";
const char *const kErrPixelOffset = "Invalid image data offset and/or size";
const char *const kErrMetaTooLarge = "Meta data size too large";
const char *const kErrLoadingMeta = "Error loading meta data";
const char *const kErrFrameSize = "Invalid frame size";
const char *const kErrFrameNumber = "Invalid frame number";
const char *const kErrColourFormat = "Invalid colour format";
const char *const kErrGroupPacking = "Invalid group packing value";
const char *const kErrPixelFormat = "Invalid pixel format";
const char *const kErrImageSize = "Invalid image size";
const char *const kErrBitDepth = "Invalid bit depth";
const char *const kErrHeaderNotLoaded = "File header not loaded";
const char *const kErrColorModel = "Invalid color model";
const char *const kErrPlaneFormat = "Invalid plane format";
const char *const kErrDataOffset = "Invalid image data offset";
const char *const kErrPlaneSubsampling = "Inconsistent subsampling within plane";
const char *const kErrReadingFile = "Error reading file";
const char *const kErrPackingMode = "Invalid packing mode";
const char *const kErrNoImageData = "No image data to save";
const char *const kErrCreatingFile = "Error creating file";
const char *const kErrWritingFile = "Error writing file";
const char *const kErrMetaNotSaved = "Meta data not saved";
const char *const kErrPixelsNotSaved = "Pixel data not saved";
const char *const kErrMetaItem = "Invalid meta data item";

}  // namespace jux

using namespace jux;

namespace {

const int kMaxTableEntries = 20;
const QOV_INT64 kMaxMetaSize = 268435456;  // 256 MiB

struct ModelName {
    const char *name;
    colorModelEnum model;
};
const ModelName kModelNames[] = {
    {"Grayscale", CM_GRAY}, {"RGB", CM_RGB}, {"RGBA", CM_RGBA}, {"RGGB", CM_RGGB},
    {"RGBW", CM_RGBW},      {"YUV", CM_YUV}, {"YUVA", CM_YUVA},
};

QOV_INT32 nChannelsOf(colorModelEnum model)
{
    const COLORMODELINFO *info = CImageBase::GetColorModelInfo(model);
    return info ? info->Nchannels : 0;
}

QOV_INT64 ceilDiv64(QOV_INT64 value, QOV_INT64 factor)
{
    return (value + factor - 1) / factor;
}

QOV_INT64 gcd64(QOV_INT64 a, QOV_INT64 b)
{
    while (b) {
        const QOV_INT64 t = a % b;
        a = b;
        b = t;
    }
    return a;
}

// Phase text (0, 0.5, 1 ...) as the integer part of twice the phase plus one
// half; kept to 4 bits by the caller.
QOV_INT32 phaseCode(double phase)
{
    if (!(phase > -1e6 && phase < 1e6))
        return 0;
    return static_cast<QOV_INT32>(phase * 2 + 0.5);
}

subsamplingModeEnum detectSubsampling(colorModelEnum model, const CMetaData *pMD)
{
    if (!pMD)
        return SUBS_UNDEF;
    if (!pMD->Find("SUBSAMPLING_HOR") && !pMD->Find("SUBSAMPLING_VER")) {
        const char *s = pMD->GetMetaStr("SUBSAMPLING", nullptr);
        if (!s)
            return SUBS_UNDEF;
        static const struct {
            const char *text;
            subsamplingModeEnum mode;
        } kOld[] = {{"RGGB", SUBS_RGGB}, {"GRBG", SUBS_GRBG}, {"GBRG", SUBS_GBRG}, {"BGGR", SUBS_BGGR},
                    {"444", SUBS_444},   {"422", SUBS_422},   {"420", SUBS_420}};
        for (const auto &o : kOld)
            if (strcmp(s, o.text) == 0)
                return o.mode;
        return SUBS_UNDEF;
    }

    QOV_UINT32 h = 0, v = 0, ph = 0, pv = 0;
    const QOV_INT32 n = nChannelsOf(model);
    for (QOV_INT32 c = 0; c < n; c++) {
        const int shift = 4 * c;
        h |= (static_cast<QOV_UINT32>(pMD->GetMetaInt("SUBSAMPLING_HOR", 1, c, true)) & 0xF) << shift;
        v |= (static_cast<QOV_UINT32>(pMD->GetMetaInt("SUBSAMPLING_VER", 1, c, true)) & 0xF) << shift;
        ph |= (static_cast<QOV_UINT32>(phaseCode(pMD->GetMetaDouble("PHASE_OFFSET_HOR", 0, c, true))) & 0xF) << shift;
        pv |= (static_cast<QOV_UINT32>(phaseCode(pMD->GetMetaDouble("PHASE_OFFSET_VER", 0, c, true))) & 0xF) << shift;
    }
    switch (model) {
    case CM_RGGB:
        if (h != 0x2222 || v != 0x2222)
            return SUBS_UNDEF;
        if (ph == 0x2020 && pv == 0x2200)
            return SUBS_RGGB;
        if (ph == 0x0202 && pv == 0x2200)
            return SUBS_GRBG;
        if (ph == 0x2020 && pv == 0x0022)
            return SUBS_GBRG;
        if (ph == 0x0202 && pv == 0x0022)
            return SUBS_BGGR;
        return SUBS_UNDEF;
    case CM_YUV:
    case CM_YUVA:
        if (h == 0x111 && v == 0x111)
            return (ph == 0 && pv == 0) ? SUBS_444 : SUBS_UNDEF;
        if (h == 0x221 && v == 0x111)
            return (pv == 0 && (ph == 0 || ph == 0x110)) ? SUBS_422 : SUBS_UNDEF;
        if (h == 0x221 && v == 0x221) {
            if ((ph == 0 && pv == 0) || (ph == 0 && pv == 0x110) || (ph == 0x110 && pv == 0x110))
                return SUBS_420;
        }
        return SUBS_UNDEF;
    default:
        return SUBS_UNDEF;
    }
}

// The integer part of a value as text; a negative value whose integer part is
// zero prints "0", not "-0".
void printIntegerPart(char *buf, size_t size, double value)
{
    snprintf(buf, size, "%.0f", std::trunc(value) + 0.0);
}

// Parses "grouppacked " followed by up to four group sizes.
const char *parseGroups(const char *text, QOV_INT32 (&groups)[4])
{
    const char *p = text;
    int read = 0;
    QOV_INT32 last = 0;
    for (int i = 0; i < 4; i++) {
        char *end = nullptr;
        const long long v = strtoll(p, &end, 10);
        if (end == p) {
            if (read == 0)
                return kErrGroupPacking;
            for (int k = i; k < 4; k++)
                groups[k] = last;
            return nullptr;
        }
        if (v == 0)
            return kErrGroupPacking;
        last = static_cast<QOV_INT32>(v > INT_MAX ? INT_MAX : (v < INT_MIN ? INT_MIN : v));
        groups[i] = last;
        read++;
        p = end;
    }
    return nullptr;
}

// One header table field: 13 characters that one integer takes up entirely
// (leading white space allowed).
bool parseTableField(const char *field, QOV_INT64 *pValue)
{
    int i = 0;
    while (i < 13 && isspace(static_cast<unsigned char>(field[i])))
        i++;
    bool negative = false;
    if (i < 13 && (field[i] == '+' || field[i] == '-')) {
        negative = field[i] == '-';
        i++;
    }
    if (i >= 13)
        return false;
    QOV_INT64 value = 0;
    for (; i < 13; i++) {
        if (!isdigit(static_cast<unsigned char>(field[i])))
            return false;
        value = value * 10 + (field[i] - '0');
    }
    *pValue = negative ? -value : value;
    return true;
}

// Splits a metadata section into items: empty lines skipped, the name ends at
// the first '=' of a line.
bool parseMetaSection(const char *text, size_t size, CMetaData *pMD)
{
    size_t pos = 0;
    while (pos < size) {
        const char *line = text + pos;
        const char *nl = static_cast<const char *>(memchr(line, '\n', size - pos));
        const size_t len = nl ? static_cast<size_t>(nl - line) : size - pos;
        pos += len + 1;
        if (len == 0)
            continue;
        if (memchr(line, '\0', len))
            return false;
        const char *eq = static_cast<const char *>(memchr(line, '=', len));
        if (!eq)
            return false;
        const QOV_INT32 nameLen = static_cast<QOV_INT32>(eq - line);
        if (!pMD->Add(line, nameLen, eq + 1, static_cast<QOV_INT32>(len) - nameLen - 1, IFEX_IGNORE, nullptr))
            return false;
    }
    return true;
}

// Little-endian container of 1, 2 or 4 bytes.
QOV_UINT32 readContainer(const QOV_UINT8 *p, int bytes)
{
    QOV_UINT32 v = p[0];
    if (bytes >= 2)
        v |= static_cast<QOV_UINT32>(p[1]) << 8;
    if (bytes == 4)
        v |= static_cast<QOV_UINT32>(p[2]) << 16 | static_cast<QOV_UINT32>(p[3]) << 24;
    return v;
}

PIXEL decodeUnpacked(QOV_UINT32 container, int bytes, QOV_UINT8 bitDepth, bool isSigned, bool leftAligned)
{
    const int cbits = bytes * 8;
    const int n = bitDepth > cbits ? cbits : bitDepth;
    if (n == 0)
        return 0;
    if (leftAligned) {
        const int shift = cbits - n;
        if (isSigned) {
            // Sign-extend the container, then shift arithmetically.
            const QOV_UINT32 sign = 1u << (cbits - 1);
            const QOV_INT64 v = static_cast<QOV_INT64>(container ^ sign) - static_cast<QOV_INT64>(sign);
            return static_cast<PIXEL>(v >> shift);
        }
        return static_cast<PIXEL>(container >> shift);
    }
    const QOV_UINT32 mask = n >= 32 ? 0xFFFFFFFFu : ((1u << n) - 1u);
    const QOV_UINT32 v = container & mask;
    if (isSigned && n < 32) {
        const QOV_UINT32 sign = 1u << (n - 1);
        return static_cast<PIXEL>((v ^ sign) - sign);
    }
    return static_cast<PIXEL>(v);
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction, segments and frames

CImageJux::CImageJux()
    : pixelFormat(PACKM_UNDEF), pSegInfo(nullptr), pCurrSeg(nullptr), m_lineBuf(nullptr), m_lineBufSize(0)
{
    for (auto &p : pixelFormatParam)
        p = 0;
}

CImageJux::~CImageJux()
{
    Unload();
    free(m_lineBuf);
}

void CImageJux::FreeSegment(JUXSEGMENTINFO *pSeg)
{
    if (!pSeg)
        return;
    free(pSeg->frameOffsets);
    delete pSeg;
}

void CImageJux::UnloadHeader()
{
    pixelFormat = PACKM_UNDEF;
    for (auto &p : pixelFormatParam)
        p = 0;
    JUXSEGMENTINFO *seg = pSegInfo;
    while (seg) {
        JUXSEGMENTINFO *next = seg->next;
        FreeSegment(seg);
        seg = next;
    }
    pSegInfo = nullptr;
    pCurrSeg = nullptr;
    CImageBase::UnloadHeader();
}

QOV_INT32 CImageJux::GetProperty(imagePropertiesEnum property) const
{
    switch (property) {
    case PROPERTY_SUPPORT_VIDEO:
        return 1;
    case PROPERTY_IS_VIDEO:
        return (pSegInfo && (pSegInfo->Nframes > 1 || pSegInfo->next)) ? 1 : 0;
    }
    return 0;
}

QOV_INT32 CImageJux::GetNFrames() const
{
    return GetNFrames(-1, nullptr);
}

QOV_INT32 CImageJux::GetNSegments() const
{
    QOV_INT32 n = 0;
    for (const JUXSEGMENTINFO *seg = pSegInfo; seg; seg = seg->next)
        n++;
    return n;
}

QOV_INT32 CImageJux::GetNFrames(QOV_INT32 segmentIndex, QOV_INT32 *pFirstFrame) const
{
    if (segmentIndex < 0) {
        QOV_INT64 total = 0;
        for (const JUXSEGMENTINFO *seg = pSegInfo; seg; seg = seg->next)
            total += seg->Nframes;
        if (pFirstFrame)
            *pFirstFrame = 0;
        return static_cast<QOV_INT32>(total > INT_MAX ? INT_MAX : total);
    }
    QOV_INT64 first = 0;
    QOV_INT32 i = 0;
    for (const JUXSEGMENTINFO *seg = pSegInfo; seg; seg = seg->next, i++) {
        if (i == segmentIndex) {
            if (pFirstFrame)
                *pFirstFrame = static_cast<QOV_INT32>(first > INT_MAX ? INT_MAX : first);
            return seg->Nframes;
        }
        first += seg->Nframes;
    }
    return 0;
}

QOV_INT32 CImageJux::GetSegmentIndex(QOV_INT32 frameIndex, QOV_INT32 *pFrameWithinSeg, JUXSEGMENTINFO **ppSeg) const
{
    if (frameIndex < 0)
        return -1;
    QOV_INT64 first = 0;
    QOV_INT32 i = 0;
    for (JUXSEGMENTINFO *seg = pSegInfo; seg; seg = seg->next, i++) {
        if (frameIndex < first + seg->Nframes) {
            if (pFrameWithinSeg)
                *pFrameWithinSeg = static_cast<QOV_INT32>(frameIndex - first);
            if (ppSeg)
                *ppSeg = seg;
            return i;
        }
        first += seg->Nframes;
    }
    return -1;
}

JUXSEGMENTINFO *CImageJux::GetSegment(QOV_INT32 index, bool isFrameIndex) const
{
    if (index < 0)
        return nullptr;
    if (isFrameIndex) {
        JUXSEGMENTINFO *seg = nullptr;
        return GetSegmentIndex(index, nullptr, &seg) >= 0 ? seg : nullptr;
    }
    JUXSEGMENTINFO *seg = pSegInfo;
    for (QOV_INT32 i = 0; seg && i < index; i++)
        seg = seg->next;
    return seg;
}

CMetaData *CImageJux::GetMetaForFrame(QOV_INT32 frameIndex) const
{
    JUXSEGMENTINFO *seg = GetSegment(frameIndex, true);
    return seg ? &seg->meta : nullptr;
}

QOV_INT64 CImageJux::GetFrameFilePos(QOV_INT32 frameIndex, QOV_INT64 *pFrameSize) const
{
    JUXSEGMENTINFO *seg = nullptr;
    QOV_INT32 k = 0;
    if (GetSegmentIndex(frameIndex, &k, &seg) < 0 || !seg->frameOffsets || seg->NframeOffsets < 1)
        return -1;
    const QOV_INT32 n = seg->NframeOffsets;
    QOV_INT64 pos, size;
    if (k < n) {
        pos = seg->frameOffsets[k];
        size = seg->frameOffsets[k + 1] - seg->frameOffsets[k];
    } else {
        size = seg->frameOffsets[n] - seg->frameOffsets[n - 1];
        pos = seg->frameOffsets[n] + static_cast<QOV_INT64>(k - n) * size;
    }
    if (pFrameSize)
        *pFrameSize = size;
    return seg->segmentOffset + pos;
}

JUXSEGMENTINFO *CImageJux::NewSegment()
{
    JUXSEGMENTINFO *seg = new (std::nothrow) JUXSEGMENTINFO();
    return seg;
}

void CImageJux::AddSegment(JUXSEGMENTINFO *pSeg)
{
    if (!pSeg)
        return;
    pSeg->next = nullptr;
    if (!pSegInfo) {
        pSegInfo = pSeg;
        return;
    }
    JUXSEGMENTINFO *last = pSegInfo;
    while (last->next)
        last = last->next;
    last->next = pSeg;
}

bool CImageJux::AddNewSegment(QOV_INT32 Nframes)
{
    JUXSEGMENTINFO *seg = NewSegment();
    if (!seg)
        return false;
    seg->Nframes = Nframes;
    AddSegment(seg);
    pCurrSeg = seg;
    return true;
}

// ---------------------------------------------------------------------------
// Metadata

const char *CImageJux::ApplyMetaForFrame(QOV_INT32 frameIndex, bool force)
{
    JUXSEGMENTINFO *seg = GetSegment(frameIndex, true);
    if (!seg)
        return kErrFrameNumber;
    if (force || seg != pCurrSeg)
        return ApplyMetaData(seg);
    return nullptr;
}

// Everything is read and checked before the image changes, so that a refused
// segment leaves the previous description intact; the segment becomes current
// only when it was applied.
const char *CImageJux::ApplyMetaData(JUXSEGMENTINFO *pSeg)
{
    pCurrSeg = nullptr;
    if (!pSeg)
        return kErrFrameNumber;
    const CMetaData &md = pSeg->meta;

    const QOV_INT32 newWidth = md.GetMetaInt("WIDTH", 0, 0, false);
    const QOV_INT32 newHeight = md.GetMetaInt("HEIGHT", 0, 0, false);

    colorModelEnum model = CM_RGB;
    if (const char *cf = md.GetMetaStr("COLOUR_FORMAT", nullptr)) {
        model = CM_UNDEF;
        for (const auto &m : kModelNames)
            if (strcasecmp(cf, m.name) == 0)
                model = m.model;
        if (strcmp(cf, "Bayer") == 0)
            model = CM_RGGB;
        if (model == CM_UNDEF)
            return kErrColourFormat;
    }

    subsamplingModeEnum subs = subsMode;
    if (md.Find("SUBSAMPLING_HOR") || md.Find("SUBSAMPLING_VER") || md.Find("SUBSAMPLING")) {
        subs = detectSubsampling(model, &md);
    } else if (model == CM_YUV || model == CM_YUVA) {
        subs = SUBS_444;
    } else if (model == CM_RGGB) {
        subs = SUBS_RGGB;
    } else if (model != CM_RGBW) {
        // Grey and RGB images are never subsampled, whatever an earlier segment was.
        subs = SUBS_UNDEF;
    }

    packingModeEnum packing = PACKM_UNPACKEDR;
    QOV_INT32 groups[4] = {0, 0, 0, 0};
    if (const char *pf = md.GetMetaStr("PIXEL_FORMAT", nullptr)) {
        if (strcasecmp(pf, "unpackedR") == 0) {
            packing = PACKM_UNPACKEDR;
        } else if (strcasecmp(pf, "unpackedL") == 0) {
            packing = PACKM_UNPACKEDL;
        } else if (strncasecmp(pf, "grouppacked ", 12) == 0) {
            packing = PACKM_GROUPPACK;
            if (const char *err = parseGroups(pf + 12, groups))
                return err;
        } else {
            return kErrPixelFormat;
        }
    }

    if (newWidth < 1 || newWidth > kMaxDimension || newHeight < 1 || newHeight > kMaxDimension)
        return kErrImageSize;
    const QOV_INT32 n = nChannelsOf(model);
    QOV_INT32 depths[4] = {0, 0, 0, 0};
    for (QOV_INT32 c = 0; c < n; c++) {
        depths[c] = md.GetMetaInt("BITDEPTH", 8, c, true);
        if (depths[c] < 1 || depths[c] > 32)
            return kErrBitDepth;
    }

    // Commit.
    const QOV_INT32 oldChannels = GetNColChannels();
    bool sizesChanged = oldChannels != n;
    width = newWidth;
    height = newHeight;
    colorModel = model;
    subsMode = subs;
    pixelFormat = packing;
    for (int k = 0; k < 4; k++)
        pixelFormatParam[k] = groups[k];
    for (QOV_INT32 c = 0; c < 4; c++) {
        COLCHANNEL &ch = chnl[c];
        QOV_INT32 cw = 0, chh = 0;
        if (c < n) {
            cw = static_cast<QOV_INT32>(ceilDiv64(width, CImageBase::GetXSampling(subs, c)));
            chh = static_cast<QOV_INT32>(ceilDiv64(height, CImageBase::GetYSampling(subs, c)));
            ch.bitDepth = static_cast<QOV_UINT8>(depths[c]);
            ch.isSigned = md.GetMetaInt("SIGNED", 0, c, true) != 0;
        } else {
            ch.bitDepth = 0;
            ch.isSigned = false;
        }
        if (cw != ch.chnlWidth || chh != ch.chnlHeight)
            sizesChanged = true;
        ch.chnlWidth = cw;
        ch.chnlHeight = chh;
    }
    if (oldChannels == 0 || sizesChanged)
        UnloadData();
    pCurrSeg = pSeg;
    return nullptr;
}

subsamplingModeEnum CImageJux::GetSubsampling(CMetaData *pMD) const
{
    return DetectJuxSubsampling(this, pMD ? pMD : (pCurrSeg ? &pCurrSeg->meta : nullptr));
}

subsamplingModeEnum CImageJux::DetectJuxSubsampling(const CImageBase *pImData, const CMetaData *pMD)
{
    return detectSubsampling(pImData ? pImData->colorModel : CM_UNDEF, pMD);
}

void CImageJux::UpgradeMetaData(CMetaData *pMD) const
{
    if (!pMD)
        return;
    // 1. Gain as ISO figures.
    if (pMD->Find("ISO_GAIN")) {
        const double gain = pMD->GetMetaDouble("ISO_GAIN", 0, 0, false);
        if (gain > 0) {
            pMD->UpdateInt("SENSOR_BASE_ISO", 100, IFEX_FAIL);
            const double iso = pMD->GetMetaDouble("SENSOR_BASE_ISO", 100, 0, false) * gain;
            const double clamped = iso > INT_MAX ? INT_MAX : (iso < INT_MIN ? INT_MIN : iso);
            pMD->UpdateInt("CAPTURE_ISO", static_cast<QOV_INT32>(clamped), IFEX_FAIL);
        }
    }
    // 2. Well depth from the sensor density.
    if (pMD->Find("SENSOR_DENSITY") && pMD->Find("SENSOR_PIXEL_SIZE")) {
        const double w = (pMD->GetMetaDouble("SENSOR_PIXEL_SIZE", 1, 0, false) -
                          pMD->GetMetaDouble("SENSOR_PIXEL_DEAD_SPACE", 0, 0, false)) *
                         pMD->GetMetaDouble("SENSOR_DENSITY", 0, 0, false);
        if (w > 1)
            pMD->UpdateDouble("SENSOR_WELL_DEPTH", w, IFEX_FAIL);
    }
    // 3. Display range from the gamma points.
    const QOV_INT32 n = GetNColChannels();
    if ((pMD->Find("GAMMA_BLACK_POINT") || pMD->Find("GAMMA_WHITE_POINT")) &&
        (!pMD->Find("CHANNEL_DISPLAY_MIN") || !pMD->Find("CHANNEL_DISPLAY_MAX")) && n > 0) {
        QOV_INT32 ref = (colorModel == CM_RGB || colorModel == CM_RGBA || colorModel == CM_RGGB ||
                         colorModel == CM_RGBW)
                            ? 1
                            : 0;
        if (ref >= n)
            ref = 0;
        const int refDepth = chnl[ref].bitDepth > 62 ? 62 : chnl[ref].bitDepth;
        double lo = 0, hi = 0;
        if (refDepth > 0) {
            lo = chnl[ref].isSigned ? -std::ldexp(1.0, refDepth - 1) : 0;
            hi = chnl[ref].isSigned ? std::ldexp(1.0, refDepth - 1) - 1 : std::ldexp(1.0, refDepth) - 1;
        }
        const double black = pMD->GetMetaDouble("GAMMA_BLACK_POINT", lo, 0, false);
        const double white = pMD->GetMetaDouble("GAMMA_WHITE_POINT", hi, 0, false);
        if (black != 0 || white != 0) {
            const bool addMin = !pMD->Find("CHANNEL_DISPLAY_MIN");
            const bool addMax = !pMD->Find("CHANNEL_DISPLAY_MAX");
            for (QOV_INT32 c = 0; c < n; c++) {
                const double scale = std::ldexp(1.0, static_cast<int>(chnl[c].bitDepth) - refDepth);
                char buf[64];
                if (addMin) {
                    printIntegerPart(buf, sizeof(buf), black * scale);
                    pMD->Add("CHANNEL_DISPLAY_MIN", -1, buf, -1, IFEX_APPEND, " ");
                }
                if (addMax) {
                    printIntegerPart(buf, sizeof(buf), white * scale);
                    pMD->Add("CHANNEL_DISPLAY_MAX", -1, buf, -1, IFEX_APPEND, " ");
                }
            }
        }
    }
    // 4. Older names of the phase keys.
    static const char *const kPhase[2][2] = {{"HOR_PHASE_OFFSET", "PHASE_OFFSET_HOR"},
                                             {"VER_PHASE_OFFSET", "PHASE_OFFSET_VER"}};
    for (const auto &p : kPhase) {
        if (pMD->Find(p[1])) {
            while (MDITEM *old = pMD->Find(p[0]))
                pMD->Del(old);
        } else {
            pMD->Rename(p[0], p[1]);
        }
    }
    // 5. Nominal range as full range.
    pMD->Rename("NOMINAL_RANGE", "CHANNEL_NOMINAL_RANGE");
    if (pMD->Find("CHANNEL_NOMINAL_RANGE")) {
        const QOV_INT32 k = pMD->GetMetaValCount("CHANNEL_NOMINAL_RANGE");
        char buf[64];
        if (!pMD->Find("CHANNEL_FULL_MIN") && k >= 2) {
            for (QOV_INT32 i = 0; i < k / 2 && i < n; i++) {
                const double v = std::ldexp(1.0, chnl[i].bitDepth) *
                                 pMD->GetMetaDouble("CHANNEL_NOMINAL_RANGE", 0, 2 * i, false);
                printIntegerPart(buf, sizeof(buf), v);
                pMD->Add("CHANNEL_FULL_MIN", -1, buf, -1, IFEX_APPEND, " ");
            }
        }
        if (!pMD->Find("CHANNEL_FULL_MAX") && k >= 1) {
            for (QOV_INT32 i = 0; i < (k + 1) / 2 && i < n; i++) {
                const double v = std::ldexp(1.0, chnl[i].bitDepth) *
                                 pMD->GetMetaDouble("CHANNEL_NOMINAL_RANGE", 0, 2 * i + 1, false);
                printIntegerPart(buf, sizeof(buf), v);
                pMD->Add("CHANNEL_FULL_MAX", -1, buf, -1, IFEX_APPEND, " ");
            }
        }
        while (MDITEM *item = pMD->Find("CHANNEL_NOMINAL_RANGE"))
            pMD->Del(item);
    }
}

// ---------------------------------------------------------------------------
// Layout

const CImageBase *CImageJux::imageOf(const JUXSAVEFORMAT *pFormat) const
{
    return (pFormat && pFormat->pImData) ? pFormat->pImData : this;
}

QOV_UINT32 CImageJux::GetNFilePlanes(const JUXSAVEFORMAT *pFormat) const
{
    const CImageBase *image = imageOf(pFormat);
    const QOV_INT32 c = image->GetNColChannels();
    if (pFormat) {
        if (c == 0)
            return 0;
        QOV_INT32 covered = 0;
        for (QOV_UINT32 p = 0; p < 3; p++) {
            covered += pFormat->planeFormat[p];
            if (covered >= c)
                return p + 1;
        }
        return 4;
    }
    if (pCurrSeg) {
        const QOV_INT32 n = pCurrSeg->meta.GetMetaValCount("PLANE_FORMAT");
        if (n > 0)
            return static_cast<QOV_UINT32>(n);
    }
    return static_cast<QOV_UINT32>(c);
}

QOV_INT32 CImageJux::GetNChannelsInPlane(QOV_INT32 plane, const JUXSAVEFORMAT *pFormat) const
{
    if (pFormat)
        return (plane >= 0 && plane < 4) ? pFormat->planeFormat[plane] : 0;
    if (!pCurrSeg)
        return 1;
    return pCurrSeg->meta.GetMetaInt("PLANE_FORMAT", 1, plane, true);
}

QOV_INT32 CImageJux::GetPlaneBaseChannel(QOV_INT32 plane, const JUXSAVEFORMAT *pFormat) const
{
    QOV_INT64 base = 0;
    for (QOV_INT32 p = 0; p < plane && base < INT_MAX; p++)
        base += GetNChannelsInPlane(p, pFormat);
    return static_cast<QOV_INT32>(base > INT_MAX ? INT_MAX : (base < INT_MIN ? INT_MIN : base));
}

bool CImageJux::layoutOf(const JUXSAVEFORMAT *pFormat, Layout *pLayout) const
{
    Layout &l = *pLayout;
    l.image = imageOf(pFormat);
    l.error = nullptr;
    l.packing = pFormat ? pFormat->pixelFormat : pixelFormat;
    const QOV_INT32 *params = pFormat ? pFormat->pixelFormatParam : pixelFormatParam;
    for (int k = 0; k < 4; k++) {
        l.group[k] = params[k] < 1 ? 1 : params[k];
        l.base[k] = 0;
        l.count[k] = 0;
    }
    const QOV_INT32 nChannels = l.image->GetNColChannels();
    const QOV_UINT32 planes = GetNFilePlanes(pFormat);
    l.nPlanes = 0;
    if (nChannels < 1) {
        l.error = kErrColorModel;
        return false;
    }
    if (planes < 1 || planes > static_cast<QOV_UINT32>(nChannels)) {
        l.error = kErrPlaneFormat;
        return false;
    }
    l.nPlanes = static_cast<QOV_INT32>(planes);
    QOV_INT32 base = 0;
    for (QOV_INT32 p = 0; p < l.nPlanes; p++) {
        const QOV_INT32 count = GetNChannelsInPlane(p, pFormat);
        if (count < 1 || count > nChannels - base) {
            l.error = kErrPlaneFormat;
            return false;
        }
        // Lines hold ceil(width / factor) pixels of equally sized channels.
        const COLCHANNEL &first = l.image->chnl[base];
        if (first.chnlWidth != ceilDiv64(l.image->width, l.image->GetXSampling(base)) ||
            first.chnlHeight != ceilDiv64(l.image->height, l.image->GetYSampling(base))) {
            l.error = kErrPlaneSubsampling;
            return false;
        }
        for (QOV_INT32 k = 1; k < count; k++) {
            const COLCHANNEL &other = l.image->chnl[base + k];
            if (l.image->GetXSampling(base + k) != l.image->GetXSampling(base) ||
                l.image->GetYSampling(base + k) != l.image->GetYSampling(base) ||
                other.chnlWidth != first.chnlWidth || other.chnlHeight != first.chnlHeight) {
                l.error = kErrPlaneSubsampling;
                return false;
            }
        }
        l.base[p] = base;
        l.count[p] = count;
        base += count;
    }
    // Every channel must come from the file, or some planes would stay unset.
    if (base != nChannels) {
        l.error = kErrPlaneFormat;
        return false;
    }
    return true;
}

QOV_INT64 CImageJux::lineSize64(QOV_INT32 plane, const JUXSAVEFORMAT *pFormat) const
{
    const CImageBase *image = imageOf(pFormat);
    const QOV_INT32 nChannels = image->GetNColChannels();
    if (nChannels == 0 || plane < 0 || plane >= 4)
        return 0;
    const QOV_INT32 c = GetNChannelsInPlane(plane, pFormat);
    const QOV_INT32 base = GetPlaneBaseChannel(plane, pFormat);
    if (c < 1 || base < 0 || base > nChannels - c)
        return 0;
    const QOV_INT32 xs = image->GetXSampling(base);
    for (QOV_INT32 k = 1; k < c; k++)
        if (image->GetXSampling(base + k) != xs)
            return 0;
    const QOV_INT64 w = ceilDiv64(image->width, xs);
    if (w <= 0)
        return 0;

    const packingModeEnum packing = pFormat ? pFormat->pixelFormat : pixelFormat;
    QOV_INT64 size = 0;
    if (packing == PACKM_UNPACKEDR || packing == PACKM_UNPACKEDL) {
        QOV_INT64 perPixel = 0;
        for (QOV_INT32 k = 0; k < c; k++)
            perPixel += containerBytes(image->chnl[base + k].bitDepth);
        size = w * perPixel;
    } else if (packing == PACKM_GROUPPACK) {
        const QOV_INT32 param = pFormat ? pFormat->pixelFormatParam[plane] : pixelFormatParam[plane];
        const QOV_INT64 g = param < 1 ? 1 : param;
        QOV_INT64 depthSum = 0;
        for (QOV_INT32 k = 0; k < c; k++)
            depthSum += image->chnl[base + k].bitDepth;
        // A group of g samples starting at channel phase ph; every group starts on
        // a byte. The phases repeat after c / gcd(g, c) groups.
        auto groupBytes = [&](QOV_INT64 ph) {
            QOV_INT64 bits = (g / c) * depthSum;
            for (QOV_INT64 i = 0; i < g % c; i++)
                bits += image->chnl[base + (ph + i) % c].bitDepth;
            return (bits + 7) / 8;
        };
        const QOV_INT64 samples = c * w;
        const QOV_INT64 groupsInLine = ceilDiv64(samples, g);
        const QOV_INT64 period = c / gcd64(g, c);
        QOV_INT64 patternBytes = 0;
        for (QOV_INT64 j = 0; j < period; j++)
            patternBytes += groupBytes((j * g) % c);
        size = (groupsInLine / period) * patternBytes;
        for (QOV_INT64 j = 0; j < groupsInLine % period; j++)
            size += groupBytes((j * g) % c);
    } else {
        return 0;
    }

    QOV_INT64 align = 1;
    if (pFormat)
        align = pFormat->lineAlign;
    else if (pCurrSeg)
        align = pCurrSeg->meta.GetMetaInt("LINE_ALIGN", 1, plane, true);
    if (align > 1)
        size = ceilDiv64(size, align) * align;
    return size;
}

QOV_INT32 CImageJux::GetLineSize(QOV_INT32 plane, const JUXSAVEFORMAT *pFormat) const
{
    const QOV_INT64 size = lineSize64(plane, pFormat);
    return size > INT_MAX ? -1 : static_cast<QOV_INT32>(size);
}

QOV_INT64 CImageJux::FrameSize64(const JUXSAVEFORMAT *pFormat) const
{
    const CImageBase *image = imageOf(pFormat);
    const QOV_INT32 nChannels = image->GetNColChannels();
    const QOV_UINT32 planes = GetNFilePlanes(pFormat);
    if (planes > 4)
        return -1;
    QOV_INT64 total = 0;
    for (QOV_UINT32 p = 0; p < planes; p++) {
        const QOV_INT32 base = GetPlaneBaseChannel(static_cast<QOV_INT32>(p), pFormat);
        if (base < 0 || base >= nChannels)
            continue;
        total += lineSize64(static_cast<QOV_INT32>(p), pFormat) * image->chnl[base].chnlHeight;
    }
    return total;
}

QOV_INT32 CImageJux::GetFrameSize(const JUXSAVEFORMAT *pFormat) const
{
    const QOV_INT64 size = FrameSize64(pFormat);
    return size > INT_MAX ? -1 : static_cast<QOV_INT32>(size);
}

bool CImageJux::growLineBuffer(size_t size)
{
    if (size <= m_lineBufSize)
        return true;
    QOV_UINT8 *grown = static_cast<QOV_UINT8 *>(realloc(m_lineBuf, size));
    if (!grown)
        return false;
    m_lineBuf = grown;
    m_lineBufSize = size;
    return true;
}

// ---------------------------------------------------------------------------
// Reading

const char *CImageJux::LoadJuxSegmentHeader(FILE *f, JUXSEGMENTINFO *pSeg, QOV_INT64 fsize)
{
    pSeg->segmentOffset = ftello(f);
    const QOV_INT64 off = pSeg->segmentOffset;
    char head[8];
    if (off < 0 || fsize - off < 8 || fread(head, 1, 8, f) != 8)
        return off == 0 ? kErrNotValid : kErrExtraData;
    if (memcmp(head, "JUX", 3) != 0 || head[4] != '\n' || !isdigit(static_cast<unsigned char>(head[5])) ||
        !isdigit(static_cast<unsigned char>(head[6])) || head[7] != ' ')
        return kErrSegmentHeader;
    if (head[3] != '1')
        return kErrVersion;
    const int entries = (head[5] - '0') * 10 + (head[6] - '0');
    if (entries <= 3)
        return kErrTableTooSmall;
    if (entries > kMaxTableEntries)
        return kErrTableTooLarge;

    QOV_INT64 table[kMaxTableEntries];
    for (int i = 0; i < entries; i++) {
        char field[14];
        if (fread(field, 1, 14, f) != 14)
            return kErrReadingHeader;
        if (!parseTableField(field, &table[i]))
            return kErrTableFormat;
    }

    const QOV_INT64 metaOffs = table[SOTE_METAOFFS], metaSize = table[SOTE_METASIZE];
    const QOV_INT64 pixOffs = table[SOTE_PIXELSOFFS], pixSize = table[SOTE_PIXELSSIZE];
    if (metaSize == 0)
        return kErrMissingMeta;
    if (pixSize == 0)
        return kErrMissingPixels;
    if (metaOffs < 0 || metaSize < 0 || metaOffs > fsize || metaSize > fsize || off + metaOffs + metaSize > fsize)
        return kErrMetaOffset;
    if (pixOffs < 0 || pixSize < 0 || pixOffs > fsize || pixSize > fsize || off + pixOffs + pixSize > fsize)
        return kErrPixelOffset;
    if (metaSize > kMaxMetaSize)
        return kErrMetaTooLarge;
    // Further sections: never negative (13 digits keep every sum far from overflow).
    for (int i = 4; i < entries; i++)
        if (table[i] < 0)
            return kErrTableFormat;

    // Metadata section.
    char *text = static_cast<char *>(malloc(static_cast<size_t>(metaSize) + 1));
    if (!text)
        return kErrNoMemory;
    if (fseeko(f, off + metaOffs, SEEK_SET) != 0 || fread(text, 1, static_cast<size_t>(metaSize), f) !=
                                                         static_cast<size_t>(metaSize)) {
        free(text);
        return kErrReadingHeader;
    }
    text[metaSize] = '\0';
    pSeg->meta.Unload();
    const bool parsed = parseMetaSection(text, static_cast<size_t>(metaSize), &pSeg->meta);
    free(text);
    if (!parsed)
        return kErrLoadingMeta;

    // Extent: the section with the largest offset (earlier entry on a tie); it
    // must cover the metadata and pixel sections.
    QOV_INT64 extent = 0, largest = -1;
    for (int i = 0; i + 1 < entries; i += 2) {
        if (table[i] > largest) {
            largest = table[i];
            extent = table[i] + table[i + 1];
        }
    }
    if (extent < metaOffs + metaSize || extent < pixOffs + pixSize)
        return kErrTableFormat;
    pSeg->segmentSize = extent;

    // Frame table.
    const QOV_INT32 listed = pSeg->meta.GetMetaValCount("FRAME_SIZE");
    QOV_INT32 nOffsets = listed;
    if (listed == 0) {
        CImageJux probe;
        if (const char *err = probe.ApplyMetaData(pSeg))
            return err;
        const QOV_INT64 frameSize = probe.FrameSize64(nullptr);
        probe.pCurrSeg = nullptr;
        if (frameSize < 1)
            return kErrFrameSize;
        pSeg->frameOffsets = static_cast<QOV_INT64 *>(malloc(2 * sizeof(QOV_INT64)));
        if (!pSeg->frameOffsets)
            return kErrNoMemory;
        pSeg->frameOffsets[0] = pixOffs;
        pSeg->frameOffsets[1] = pixOffs + frameSize;
        nOffsets = 1;
    } else {
        pSeg->frameOffsets = static_cast<QOV_INT64 *>(malloc((static_cast<size_t>(listed) + 1) * sizeof(QOV_INT64)));
        if (!pSeg->frameOffsets)
            return kErrNoMemory;
        // One pass over the list: sizes are positive, offsets saturate far beyond any file.
        const char *p = pSeg->meta.GetMetaStr("FRAME_SIZE", "");
        QOV_INT64 pos = pixOffs;
        pSeg->frameOffsets[0] = pos;
        for (QOV_INT32 i = 0; i < listed; i++) {
            while (*p && isspace(static_cast<unsigned char>(*p)))
                p++;
            const char *token = p;
            while (*p && !isspace(static_cast<unsigned char>(*p)))
                p++;
            char *end = nullptr;
            const long long size = strtoll(token, &end, 10);
            if (end == token || size < 1)
                return kErrFrameSize;
            const QOV_INT64 limit = QOV_INT64(1) << 62;
            pos = (size > limit - pos) ? limit : pos + size;
            pSeg->frameOffsets[i + 1] = pos;
        }
    }
    pSeg->NframeOffsets = nOffsets;

    // Frames: only those that end inside the pixel section count.
    const QOV_INT64 pixelEnd = pixOffs + pixSize;
    QOV_INT64 frames = 0;
    while (frames < nOffsets && pSeg->frameOffsets[frames + 1] <= pixelEnd)
        frames++;
    if (frames == nOffsets) {
        const QOV_INT64 lastSize = pSeg->frameOffsets[nOffsets] - pSeg->frameOffsets[nOffsets - 1];
        if (lastSize > 0)
            frames += (pixelEnd - pSeg->frameOffsets[nOffsets]) / lastSize;
    }
    pSeg->Nframes = static_cast<QOV_INT32>(frames > INT_MAX ? INT_MAX : frames);
    return nullptr;
}

const char *CImageJux::LoadFileHeader(const char *filename, void *)
{
    Unload();
    if (!filename)
        return kErrOpening;
    FILE *f = fopen(filename, "rb");
    if (!f)
        return kErrOpening;
    QOV_INT64 fsize = -1;
    if (fseeko(f, 0, SEEK_END) == 0)
        fsize = ftello(f);
    if (fsize <= 7 || fseeko(f, 0, SEEK_SET) != 0) {
        fclose(f);
        return kErrInvalidFile;
    }

    QOV_INT64 totalFrames = 0;
    for (;;) {
        JUXSEGMENTINFO *seg = NewSegment();
        if (!seg) {
            fclose(f);
            Unload();
            return kErrNoMemory;
        }
        const char *err = LoadJuxSegmentHeader(f, seg, fsize);
        if (err) {
            FreeSegment(seg);
            fclose(f);
            Unload();
            return err;
        }
        // Frame numbers are 32-bit over the whole file.
        if (totalFrames + seg->Nframes > INT_MAX)
            seg->Nframes = static_cast<QOV_INT32>(INT_MAX - totalFrames);
        totalFrames += seg->Nframes;
        AddSegment(seg);
        const QOV_INT64 end = seg->segmentOffset + seg->segmentSize;
        if (end > fsize) {
            fclose(f);
            Unload();
            return kErrTruncated;
        }
        if (end == fsize)
            break;
        if (fseeko(f, end, SEEK_SET) != 0) {
            fclose(f);
            Unload();
            return kErrReadingHeader;
        }
    }
    fclose(f);

    fileName = strdup(filename);
    if (!fileName) {
        Unload();
        return kErrNoMemory;
    }
    if (const char *err = ApplyMetaForFrame(0, true)) {
        Unload();
        return err;
    }
    return nullptr;
}

const char *CImageJux::LoadFileData(QOV_INT32 frameIndex)
{
    if (!IsHeaderLoaded())
        return kErrHeaderNotLoaded;
    if (!GetColorModelInfo(colorModel))
        return kErrColorModel;
    if (GetNFilePlanes(nullptr) < 1)
        return kErrPlaneFormat;
    JUXSEGMENTINFO *seg = GetSegment(frameIndex, true);
    if (!seg)
        return kErrFrameNumber;
    FILE *f = fileName ? fopen(fileName, "rb") : nullptr;
    if (!f)
        return kErrOpening;

    const char *err = nullptr;
    Layout layout;
    QOV_INT64 tableSize = 0;
    QOV_INT64 pos = -1;
    if (seg != pCurrSeg)
        err = ApplyMetaData(seg);
    if (!err && !layoutOf(nullptr, &layout))
        err = layout.error;
    if (!err) {
        // The frame the image describes must lie inside the frame the table gives.
        pos = GetFrameFilePos(frameIndex, &tableSize);
        const QOV_INT64 frameSize = FrameSize64(nullptr);
        if (pos < 0 || frameSize < 1 || frameSize > tableSize)
            err = kErrFrameSize;
    }
    if (!err && fseeko(f, pos, SEEK_SET) != 0)
        err = kErrDataOffset;
    if (!err && layout.packing != PACKM_UNPACKEDR && layout.packing != PACKM_UNPACKEDL &&
        layout.packing != PACKM_GROUPPACK)
        err = kErrPackingMode;

    for (QOV_INT32 p = 0; !err && p < layout.nPlanes; p++) {
        for (QOV_INT32 k = 0; k < layout.count[p]; k++)
            if (!AllocChannelData(layout.base[p] + k))
                err = kErrNoMemory;
        const QOV_INT64 lineSize = lineSize64(p, nullptr);
        if (!err && (lineSize < 1 || !growLineBuffer(static_cast<size_t>(lineSize))))
            err = lineSize < 1 ? kErrPlaneFormat : kErrNoMemory;
        if (err)
            break;

        COLCHANNEL *ch[4];
        for (QOV_INT32 k = 0; k < layout.count[p]; k++)
            ch[k] = &chnl[layout.base[p] + k];
        const QOV_INT32 c = layout.count[p];
        const QOV_INT32 w = ch[0]->chnlWidth;
        const QOV_INT32 rows = ch[0]->chnlHeight;
        const QOV_INT32 g = layout.group[p];
        for (QOV_INT32 r = 0; r < rows; r++) {
            if (fread(m_lineBuf, 1, static_cast<size_t>(lineSize), f) != static_cast<size_t>(lineSize)) {
                err = kErrReadingFile;
                break;
            }
            const QOV_INT64 rowStart = static_cast<QOV_INT64>(r) * w;
            if (layout.packing == PACKM_GROUPPACK) {
                CBitStreamRW bits;
                bits.SetPos(m_lineBuf);
                QOV_INT32 inGroup = 0;
                for (QOV_INT32 x = 0; x < w; x++) {
                    for (QOV_INT32 k = 0; k < c; k++) {
                        const QOV_INT8 n = static_cast<QOV_INT8>(ch[k]->bitDepth);
                        ch[k]->data[rowStart + x] = ch[k]->isSigned ? bits.ReadBitsSig(n)
                                                                    : static_cast<PIXEL>(bits.ReadBitsUns(n));
                        if (++inGroup == g) {
                            bits.AdvanceToByteBoundary();
                            inGroup = 0;
                        }
                    }
                }
            } else {
                const bool left = layout.packing == PACKM_UNPACKEDL;
                const QOV_UINT8 *src = m_lineBuf;
                for (QOV_INT32 x = 0; x < w; x++) {
                    for (QOV_INT32 k = 0; k < c; k++) {
                        const int bytes = containerBytes(ch[k]->bitDepth);
                        ch[k]->data[rowStart + x] =
                            decodeUnpacked(readContainer(src, bytes), bytes, ch[k]->bitDepth, ch[k]->isSigned, left);
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
