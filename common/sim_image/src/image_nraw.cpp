// NRAW and Aptina raw reading. Both read a whole frame (or line) with one read
// and unpack it into the channels; neither writes files.
#include "sim_image/image_nraw.h"

#include <strings.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image_file_util.h"

using namespace imfile;

namespace {

const char *const kErrLoadingHeader = "Error loading header";
const char *const kErrInvalidNraw = "Invalid NRAW file header";
const char *const kErrVersion = "Unsupported header version";
const char *const kErrNrawDepth = "Unsupported bit depth - above 31-bit signed";
const char *const kErrBayerType = "Unsupported bayer type";
const char *const kErrImageType = "Unsupported image type";
const char *const kErrInfoFile = "Error reading _info file";
const char *const kErrIncompleteHeader = "Incomplete header";
const char *const kErrFileNotLoaded = "File not loaded";

static_assert(sizeof(NRAWHEADER) == CImageNRaw::kHeaderSize);

const size_t kMaxAptinaName = 294;
const int kAptinaLineSize = 300;

QOV_UINT16 u16(const QOV_UINT8 *p)
{
    return static_cast<QOV_UINT16>(readLE(p, 2));
}

// Bytes of n pixels of the packed RGB 4:4:4 layout: two pixels in three bytes,
// an odd last pixel in two.
QOV_INT64 rgb444Bytes(QOV_INT64 n)
{
    return n / 2 * 3 + (n % 2) * 2;
}

// Bytes of one Aptina line of 10-bit samples.
QOV_INT64 aptinaLineBytes(QOV_INT32 width)
{
    return (static_cast<QOV_INT64>(width) * 10 + 7) / 8;
}

}  // namespace

CImageNRaw::CImageNRaw() : frameSize(0), fileOffsetFrame1(0), nrawImageType(IT_UNDEF), bytesPerSample(0)
{
}

CImageNRaw::~CImageNRaw()
{
    Unload();
    meta.Unload();
}

void CImageNRaw::UnloadHeader()
{
    CImageBase::UnloadHeader();
    meta.Unload();
    frameSize = 0;
    fileOffsetFrame1 = 0;
    nrawImageType = IT_UNDEF;
    bytesPerSample = 0;
}

bool CImageNRaw::DetectFormat(const char *filename)
{
    FILE *f = filename ? fopen(filename, "rb") : nullptr;
    if (!f)
        return false;
    char sig[4];
    const bool ok = fread(sig, 1, 4, f) == 4 && memcmp(sig, "NRAW", 4) == 0;
    fclose(f);
    return ok;
}

const char *CImageNRaw::LoadFileHeader(const char *filename, void *)
{
    Unload();
    FILE *f = filename ? fopen(filename, "rb") : nullptr;
    if (!f)
        return kErrOpening;
    QOV_UINT8 h[kHeaderSize];
    const bool complete = fread(h, 1, sizeof(h), f) == sizeof(h);
    fclose(f);
    if (!complete)
        return kErrLoadingHeader;

    NRAWHEADER hdr;
    memcpy(hdr.signature, h, 4);
    hdr.width = u16(h + 4);
    hdr.height = u16(h + 6);
    hdr.bitDepth = u16(h + 8);
    hdr.bytesPerSample = u16(h + 10);
    hdr.bayerType = u16(h + 12);
    hdr.headerVersion = u16(h + 14);
    hdr.sensorCfgNum = u16(h + 16);
    hdr.imageType = u16(h + 18);
    memcpy(hdr.reserved, h + 20, 12);
    hdr.chipID = readLE(h + 32, 4);
    memcpy(hdr.fwVersion, h + 36, 14);
    memcpy(hdr.make, h + 50, 30);
    memcpy(hdr.model, h + 80, 32);
    hdr.numComps = u16(h + 112);
    hdr.numFrames = u16(h + 114);
    for (int i = 0; i < 4; i++)
        hdr.opticalBlack[i] = u16(h + 116 + 2 * i);

    if (memcmp(hdr.signature, "NRAW", 4) != 0)
        return kErrInvalidNraw;
    if (hdr.headerVersion != 256 && hdr.headerVersion != 512)
        return kErrVersion;
    if (hdr.bitDepth >= 32 || hdr.bytesPerSample < 1 || hdr.bytesPerSample > 4)
        return kErrNrawDepth;

    if (hdr.width < 1 || hdr.height < 1)
        return kErrImageSize;

    colorModelEnum model;
    subsamplingModeEnum subs = SUBS_UNDEF;
    const QOV_INT8 d = static_cast<QOV_INT8>(hdr.bitDepth);
    QOV_INT8 depths[4] = {d, d, d, d};
    switch (hdr.imageType) {
    case IT_BAYER:
        model = CM_RGGB;
        switch (hdr.bayerType) {
        case BT_RGGB:
        case BT_UNDEF:
            subs = SUBS_RGGB;
            break;
        case BT_GRBG:
            subs = SUBS_GRBG;
            break;
        case BT_GBRG:
            subs = SUBS_GBRG;
            break;
        case BT_BGGR:
            subs = SUBS_BGGR;
            break;
        default:
            return kErrBayerType;
        }
        break;
    case IT_YUV422:
        model = CM_YUV;
        subs = SUBS_422;
        break;
    case IT_RGB565:
        model = CM_RGB;
        depths[0] = 5, depths[1] = 6, depths[2] = 5;
        break;
    case IT_RGB444:
        model = CM_RGB;
        depths[0] = depths[1] = depths[2] = 4;
        break;
    case IT_RGB888:
        model = CM_RGB;
        depths[0] = depths[1] = depths[2] = 8;
        break;
    default:
        return kErrImageType;
    }
    describeImage(*this, hdr.width, hdr.height, model, subs, depths);
    nrawImageType = static_cast<imageTypesEnum>(hdr.imageType);
    bytesPerSample = static_cast<QOV_UINT8>(hdr.bytesPerSample);
    fileOffsetFrame1 = kFirstFrameOffset;
    // The bytes a frame takes in its layout, so that every frame is found.
    const QOV_INT64 pixels = static_cast<QOV_INT64>(width) * height;
    switch (nrawImageType) {
    case IT_RGB565:
        frameSize = pixels * 2;
        break;
    case IT_RGB444:
        frameSize = rgb444Bytes(pixels);
        break;
    case IT_RGB888:
        frameSize = pixels * 3;
        break;
    default:
        frameSize = nrawImageType == IT_BAYER ? pixels * bytesPerSample : frameBytes(*this, bytesPerSample);
        break;
    }
    fileName = strdup(filename);
    if (!fileName) {
        UnloadHeader();
        return kErrNoMemory;
    }

    if (hdr.sensorCfgNum)
        meta.UpdateInt("SENSOR_CFG_NUM", hdr.sensorCfgNum, IFEX_REPLACE);
    if (hdr.chipID)
        meta.UpdateStrFmt("CHIP_ID", IFEX_REPLACE, "%u", hdr.chipID);
    const struct {
        const char *name;
        const char *text;
        size_t size;
    } texts[] = {{"FW_VERSION", hdr.fwVersion, sizeof(hdr.fwVersion)},
                 {"CAMERA_MAKE", hdr.make, sizeof(hdr.make)},
                 {"CAMERA_MODEL", hdr.model, sizeof(hdr.model)}};
    for (const auto &t : texts) {
        const size_t len = strnlen(t.text, t.size);
        if (len)
            meta.Add(t.name, -1, t.text, static_cast<QOV_INT32>(len), IFEX_REPLACE, " ");
    }
    if (hdr.numFrames)
        meta.UpdateInt("NUM_FRAMES", hdr.numFrames, IFEX_REPLACE);
    const QOV_UINT16 *ob = hdr.opticalBlack;
    if (ob[0] || ob[1] || ob[2] || ob[3])
        meta.UpdateStrFmt("OPTICAL_BLACK", IFEX_REPLACE, "%d %d %d %d", ob[0], ob[1], ob[2], ob[3]);
    return nullptr;
}

const char *CImageNRaw::LoadFileData(QOV_INT32 frameIndex)
{
    if (!IsHeaderLoaded())
        return kErrHeaderNotLoaded;
    const QOV_INT32 nch = GetNColChannels();
    if (nch < 1)
        return kErrColorModel;
    FILE *f = fileName ? fopen(fileName, "rb") : nullptr;
    if (!f)
        return kErrOpening;
    const char *err = seekFrame(f, fileOffsetFrame1, frameIndex, frameSize, frameSize, kErrFrameIndex);
    if (!err && nrawImageType == IT_BAYER && !isBayerMode(subsMode))
        err = kErrBayerType;
    for (QOV_INT32 k = 0; !err && k < nch; k++)
        if (!AllocChannelData(k))
            err = kErrNoMemory;
    std::vector<QOV_UINT8> buf;
    if (!err) {
        buf.resize(static_cast<size_t>(frameSize));
        if (fread(buf.data(), 1, buf.size(), f) != buf.size())
            err = kErrReadingFrame;
    }
    fclose(f);

    if (!err) {
        QOV_UINT32 mask[3];
        for (int k = 0; k < 3; k++)
            mask[k] = static_cast<QOV_UINT32>((QOV_UINT64(1) << chnl[k].bitDepth) - 1);
        const QOV_UINT8 *p = buf.data();
        const int bps = bytesPerSample;
        const size_t pixels = static_cast<size_t>(width) * height;
        switch (nrawImageType) {
        case IT_BAYER:
            for (QOV_INT32 r = 0; r < height; r++)
                for (QOV_INT32 c = 0; c < width; c++, p += bps)
                    mosaicSample(*this, r, c) = static_cast<PIXEL>(readLE(p, bps) & mask[0]);
            break;
        case IT_YUV422:
            for (QOV_INT32 k = 0; k < nch; k++) {
                const size_t n = static_cast<size_t>(chnl[k].chnlWidth) * chnl[k].chnlHeight;
                for (size_t i = 0; i < n; i++, p += bps)
                    chnl[k].data[i] = static_cast<PIXEL>(readLE(p, bps) & mask[k]);
            }
            break;
        case IT_RGB565:
            for (size_t i = 0; i < pixels; i++, p += 2) {
                const QOV_UINT32 v = readLE(p, 2);
                chnl[0].data[i] = static_cast<PIXEL>(v & 0x1F);
                chnl[1].data[i] = static_cast<PIXEL>(v >> 5 & 0x3F);
                chnl[2].data[i] = static_cast<PIXEL>(v >> 11 & 0x1F);
            }
            break;
        case IT_RGB444:
            // A pair of pixels gives six nibbles: R0 G0 B0 R1 G1 B1, low nibble first.
            for (size_t i = 0; i < pixels; i += 2, p += 3) {
                const int nibbles = i + 1 < pixels ? 6 : 3;
                for (int n = 0; n < nibbles; n++)
                    chnl[n % 3].data[i + n / 3] = (p[n / 2] >> (n % 2 * 4)) & 0xF;
            }
            break;
        case IT_RGB888:
            for (size_t i = 0; i < pixels; i++, p += 3)
                for (int k = 0; k < 3; k++)
                    chnl[k].data[i] = p[k];
            break;
        default:
            err = kErrImageType;
            break;
        }
    }
    if (err)
        UnloadData();
    return err;
}

const char *CImageNRaw::SaveFileStart(const char *, void *, void **pSC)
{
    if (pSC)
        *pSC = nullptr;
    return kErrNotSupported;
}

const char *CImageNRaw::SaveFileHeader(void *)
{
    return kErrNotSupported;
}

const char *CImageNRaw::SaveFileData(void *)
{
    return kErrNotSupported;
}

const char *CImageNRaw::SaveFileEnd(void *)
{
    return kErrNotSupported;
}

CImageAptinaRaw::CImageAptinaRaw() : Nframes(0), frameSize(0), pixelFormat(RPF_UNDEF)
{
}

CImageAptinaRaw::~CImageAptinaRaw()
{
    Unload();
}

void CImageAptinaRaw::UnloadHeader()
{
    CImageBase::UnloadHeader();
    Nframes = 0;
    frameSize = 0;
    pixelFormat = RPF_UNDEF;
}

QOV_INT32 CImageAptinaRaw::GetNFrames() const
{
    return Nframes;
}

QOV_INT32 CImageAptinaRaw::GetProperty(imagePropertiesEnum property) const
{
    switch (property) {
    case PROPERTY_SUPPORT_VIDEO:
        return 1;
    case PROPERTY_IS_VIDEO:
        return Nframes > 1 ? 1 : 0;
    }
    return 0;
}

namespace {

// The data file's name as used (the first 294 characters of the name given),
// or an empty text when it does not end in ".raw" (any case).
std::string aptinaRawName(const char *filename)
{
    if (!filename)
        return std::string();
    std::string name(filename, strnlen(filename, kMaxAptinaName));
    if (name.size() < 4 || strcasecmp(name.c_str() + name.size() - 4, ".raw") != 0)
        return std::string();
    return name;
}

// The companion info file of a data file's name: "_info.txt" for its ".raw".
std::string aptinaInfoName(const std::string &rawName)
{
    return rawName.substr(0, rawName.size() - 4) + "_info.txt";
}

}  // namespace

bool CImageAptinaRaw::DetectFormat(const char *filename)
{
    const std::string rawName = aptinaRawName(filename);
    return !rawName.empty() && access(aptinaInfoName(rawName).c_str(), F_OK) == 0;
}

const char *CImageAptinaRaw::LoadFileHeader(const char *filename, void *)
{
    // The data go too: planes of an earlier image must not be taken for this one.
    Unload();
    const std::string rawName = aptinaRawName(filename);
    if (rawName.empty())
        return kErrLoadingHeader;
    FILE *info = fopen(aptinaInfoName(rawName).c_str(), "r");
    if (!info)
        return kErrInfoFile;

    infoFileSectionsEnum section = IFS_INITIAL;
    QOV_INT64 w = 0, h = 0;
    char line[kAptinaLineSize];
    while (fgets(line, sizeof(line), info)) {
        line[strcspn(line, "\r\n")] = '\0';
        if (line[0] == '[') {
            section = strcasecmp(line, "[Raw Image Format]") == 0 ? IFS_RAWFORMAT : IFS_UNDEF;
            continue;
        }
        if (section != IFS_RAWFORMAT || strncasecmp(line, "IMAGE=", 6) != 0)
            continue;
        for (char *c = line; *c; c++)
            if (*c == ',')
                *c = ' ';
        // Width, height and the pixel format word; sizes beyond 32 bits stay large.
        char *p = line + 6;
        char *end;
        const long long w1 = strtoll(p, &end, 10);
        const bool gotW = end != p;
        p = end;
        const long long h1 = gotW ? strtoll(p, &end, 10) : 0;
        const bool gotH = gotW && end != p;
        p = gotH ? end : p;
        w = gotH ? w1 : 0;
        h = gotH ? h1 : 0;
        while (isspace(static_cast<unsigned char>(*p)))
            p++;
        const size_t wordLen = strcspn(p, " \t");
        if (gotH && wordLen == 8 && strncasecmp(p, "BAYER-10", 8) == 0) {
            pixelFormat = RPF_BAYER10;
            colorModel = CM_RGGB;
            subsMode = SUBS_GRBG;
        }
    }
    fclose(info);
    if (pixelFormat == RPF_UNDEF || w < 1 || h < 1 || colorModel == CM_UNDEF) {
        UnloadHeader();
        return kErrIncompleteHeader;
    }
    if (w > INT32_MAX || h > INT32_MAX) {
        UnloadHeader();
        return kErrImageSize;
    }
    const QOV_INT32 width32 = static_cast<QOV_INT32>(w), height32 = static_cast<QOV_INT32>(h);
    frameSize = height32 * aptinaLineBytes(width32);

    FILE *raw = fopen(rawName.c_str(), "rb");
    if (!raw) {
        UnloadHeader();
        return kErrOpening;
    }
    const QOV_INT64 length = fileLength(raw);
    fclose(raw);
    const QOV_INT64 frames = length > 0 ? length / frameSize : 0;
    Nframes = static_cast<QOV_INT32>(frames > INT32_MAX ? INT32_MAX : frames);
    const QOV_INT8 depths[4] = {10, 10, 10, 10};
    describeImage(*this, width32, height32, CM_RGGB, SUBS_GRBG, depths);
    fileName = strdup(rawName.c_str());
    if (!fileName) {
        UnloadHeader();
        return kErrNoMemory;
    }
    return nullptr;
}

const char *CImageAptinaRaw::LoadFileData(QOV_INT32 frameIndex)
{
    if (!IsHeaderLoaded())
        return kErrHeaderNotLoaded;
    if (GetNColChannels() < 1)
        return kErrColorModel;
    if (!fileName)
        return kErrFileNotLoaded;
    FILE *f = fopen(fileName, "rb");
    if (!f)
        return kErrOpening;
    const char *err = nullptr;
    if (frameIndex < 0 || frameIndex >= Nframes ||
        fseeko(f, static_cast<QOV_INT64>(frameIndex) * frameSize, SEEK_SET) != 0)
        err = kErrFrameIndex;
    if (!err && !isBayerMode(subsMode))
        err = kErrBayerType;
    for (QOV_INT32 k = 0; !err && k < 4; k++)
        if (!AllocChannelData(k))
            err = kErrNoMemory;
    std::vector<QOV_UINT8> line(err ? 0 : static_cast<size_t>(aptinaLineBytes(width)));
    CBitStreamRW bits;
    for (QOV_INT32 r = 0; !err && r < height; r++) {
        if (fread(line.data(), 1, line.size(), f) != line.size()) {
            err = kErrReadingFrame;
            break;
        }
        bits.SetPos(line.data());
        for (QOV_INT32 c = 0; c < width; c++)
            mosaicSample(*this, r, c) = static_cast<PIXEL>(bits.ReadBitsUns(10));
    }
    fclose(f);
    if (err)
        UnloadData();
    return err;
}

const char *CImageAptinaRaw::SaveFileStart(const char *, void *, void **pSC)
{
    if (pSC)
        *pSC = nullptr;
    return kErrNotSupported;
}

const char *CImageAptinaRaw::SaveFileHeader(void *)
{
    return kErrNotSupported;
}

const char *CImageAptinaRaw::SaveFileData(void *)
{
    return kErrNotSupported;
}

const char *CImageAptinaRaw::SaveFileEnd(void *)
{
    return kErrNotSupported;
}
