#include "sim_image/sim_image.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "sim_image/image_jux.h"
#include "vezaracommon/userlog.h"

#define LOG_TAG "SimImage"

namespace {

bool isBayerModel(sSimImageColourModel m)
{
    return m >= SimImage_RGGB && m <= SimImage_BGGR;
}

// Positions TL, TR, BL, BR of the 2x2 cell as plane numbers (R, G1, G2, B).
bool cellPlanes(subsamplingModeEnum mode, int (&planes)[4])
{
    static const int kRGGB[4] = {0, 1, 2, 3};
    static const int kGRBG[4] = {1, 0, 3, 2};
    static const int kGBRG[4] = {2, 3, 0, 1};
    static const int kBGGR[4] = {3, 2, 1, 0};
    const int *t;
    switch (mode) {
    case SUBS_RGGB:
        t = kRGGB;
        break;
    case SUBS_GRBG:
        t = kGRBG;
        break;
    case SUBS_GBRG:
        t = kGBRG;
        break;
    case SUBS_BGGR:
        t = kBGGR;
        break;
    default:
        return false;
    }
    memcpy(planes, t, sizeof(planes));
    return true;
}

// Compares every segment after the first with the first one.
QOV_RESULT checkMutiSegments(const CImageJux &image)
{
    const CMetaData *reference = image.GetMetaForFrame(0);
    if (!reference) {
        LOG_ERROR("could not load meta data for frame %d segment %d\n", 0, 0);
        return QOV_ERROR_FAILURE;
    }
    const QOV_INT32 total = image.GetNFrames();
    const QOV_INT32 segments = image.GetNSegments();
    QOV_INT64 counted = image.GetNFrames(0, nullptr);
    for (QOV_INT32 i = 1; counted < total && i < segments; i++) {
        QOV_INT32 first = 0;
        const QOV_INT32 frames = image.GetNFrames(i, &first);
        const CMetaData *meta = image.GetMetaForFrame(first);
        if (!meta) {
            LOG_ERROR("could not load meta data for frame %d segment %d\n", first, i);
            return QOV_ERROR_FAILURE;
        }
        if (*reference != *meta)
            return QOV_ERROR_NOT_SUPPORTED;
        counted += frames;
    }
    return QOV_SUCCESS;
}

}  // namespace

bool operator!=(const CMetaData &reference, const CMetaData &other)
{
    if (reference.GetMetaInt("WIDTH", 0, 0, false) != other.GetMetaInt("WIDTH", 0, 0, false) ||
        reference.GetMetaInt("HEIGHT", 0, 0, false) != other.GetMetaInt("HEIGHT", 0, 0, false))
        return true;
    const char *refFormat = reference.GetMetaStr("COLOUR_FORMAT", "");
    if (strcmp(refFormat, other.GetMetaStr("COLOUR_FORMAT", "")) != 0)
        return true;
    QOV_INT32 planes;
    if (strncmp(refFormat, "RGGB", 4) == 0)
        planes = 4;
    else if (strncmp(refFormat, "RGB", 3) == 0)
        planes = 3;
    else
        return true;
    static const char *const kKeys[] = {"SUBSAMPLING_HOR", "SUBSAMPLING_VER", "PHASE_OFFSET_HOR", "PHASE_OFFSET_VER"};
    for (QOV_INT32 i = 0; i < planes; i++) {
        for (const char *key : kKeys)
            if (reference.GetMetaDouble(key, 1, i, false) != other.GetMetaDouble(key, 1, i, false))
                return true;
        if (reference.GetMetaInt("BITDEPTH", 8, i, false) != other.GetMetaInt("BITDEPTH", 8, i, false))
            return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// Reader

QOV_RESULT SimImageIn_init(sSimImageIn *pImage)
{
    if (!pImage)
        return QOV_ERROR_INVALID_ARGUMENT;
    memset(pImage, 0, sizeof(*pImage));
    return QOV_SUCCESS;
}

QOV_RESULT SimImageIn_loadJUX(sSimImageIn *pImage, const char *pszFilename)
{
    if (!pImage || !pszFilename)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (pImage->pBuffer || pImage->loadFromJUX) {
        LOG_ERROR("object already has open image - close before opening again\n");
        return QOV_ERROR_ALREADY_EXISTS;
    }
    CImageJux *loader = new (std::nothrow) CImageJux();
    if (!loader)
        return QOV_ERROR_NO_MEMORY;

    QOV_RESULT ret = QOV_SUCCESS;
    const char *err = loader->LoadFileHeader(pszFilename, nullptr);
    if (err) {
        LOG_ERROR("failed to load JUX header from '%s': %s\n", pszFilename, err);
        delete loader;
        return QOV_ERROR_FAILURE;
    }

    pImage->nFrames = static_cast<QOV_UINT32>(loader->GetNFrames());
    if (loader->GetNSegments() > 1 && checkMutiSegments(*loader) != QOV_SUCCESS) {
        LOG_WARNING("incompatible multi-segment image: load only from 1st segment\n");
        pImage->nFrames = static_cast<QOV_UINT32>(loader->GetNFrames(0, nullptr));
    }

    err = loader->LoadFileData(0);
    if (err) {
        LOG_ERROR("failed to load JUX data from '%s'-frame %d: %s\n", pszFilename, 0, err);
        delete loader;
        return QOV_ERROR_FAILURE;
    }
    if (!loader->GetMetaForFrame(0)) {
        LOG_ERROR("could not load meta data for frame %d in file '%s'\n", 0, pszFilename);
        delete loader;
        return QOV_ERROR_FAILURE;
    }
    if (loader->colorModel != CM_RGB && loader->colorModel != CM_RGGB) {
        fprintf(stderr, "can only load Bayer JUX, RGB or RGBA files\n");
        delete loader;
        return QOV_ERROR_NOT_SUPPORTED;
    }

    // The buffer follows the planes as loaded, whatever keys described them.
    const QOV_INT32 nPlanes = loader->GetNColChannels();
    const QOV_UINT32 wq = static_cast<QOV_UINT32>(loader->chnl[0].chnlWidth);
    const QOV_UINT32 hq = static_cast<QOV_UINT32>(loader->chnl[0].chnlHeight);
    pImage->info.ui8BitDepth = loader->chnl[0].bitDepth;
    for (QOV_INT32 p = 1; p < nPlanes; p++) {
        if (loader->chnl[p].bitDepth != loader->chnl[0].bitDepth) {
            LOG_ERROR("can only load JUX files with same bit depth for all channels\n");
            delete loader;
            return QOV_ERROR_NOT_SUPPORTED;
        }
    }
    // The buffer holds 16-bit samples: deeper ones would lose their high bits.
    if (pImage->info.ui8BitDepth > 16) {
        LOG_ERROR("can only load JUX files of at most 16 bits per sample (%u given)\n",
                  static_cast<unsigned>(pImage->info.ui8BitDepth));
        pImage->info.ui8BitDepth = 0;
        delete loader;
        return QOV_ERROR_NOT_SUPPORTED;
    }

    pImage->info.stride = static_cast<QOV_SIZE>(wq) * 8;
    pImage->pBuffer = static_cast<QOV_UINT16 *>(malloc(static_cast<size_t>(hq) * pImage->info.stride));
    if (!pImage->pBuffer) {
        LOG_ERROR("failed to allocate internal buffer\n");
        delete loader;
        return QOV_ERROR_NO_MEMORY;
    }

    if (loader->colorModel == CM_RGGB) {
        switch (loader->subsMode) {
        case SUBS_RGGB:
            pImage->info.eColourModel = SimImage_RGGB;
            break;
        case SUBS_GRBG:
            pImage->info.eColourModel = SimImage_GRBG;
            break;
        case SUBS_GBRG:
            pImage->info.eColourModel = SimImage_GBRG;
            break;
        case SUBS_BGGR:
            pImage->info.eColourModel = SimImage_BGGR;
            break;
        default:
            LOG_ERROR("Mode not supported!\n");
            ret = QOV_ERROR_NOT_SUPPORTED;
            break;
        }
        if (ret != QOV_SUCCESS) {
            delete loader;
            return ret;
        }
        pImage->info.ui32Width = 2 * wq;
        pImage->info.ui32Height = 2 * hq;
        pImage->info.isBGR = QOV_FALSE;
    } else {
        pImage->info.ui32Width = wq;
        pImage->info.ui32Height = hq;
        pImage->info.eColourModel = SimImage_RGB64;
        pImage->info.isBGR = QOV_TRUE;
    }
    pImage->loadFromJUX = loader;
    return QOV_SUCCESS;
}

QOV_RESULT SimImageIn_convertFrame(sSimImageIn *pImage, QOV_INT32 i32frameIndex)
{
    if (!pImage || i32frameIndex < 0)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (!pImage->loadFromJUX || !pImage->pBuffer) {
        LOG_ERROR("file should be open before converting frame\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    if (static_cast<QOV_UINT32>(i32frameIndex) >= pImage->nFrames) {
        LOG_ERROR("file only has %u frame(s), cannot convert frame %d\n", pImage->nFrames, i32frameIndex);
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    CImageJux &image = *pImage->loadFromJUX;
    if (const char *err = image.LoadFileData(i32frameIndex)) {
        LOG_ERROR("failed to load JUX data from frame %d: %s\n", i32frameIndex, err);
        return QOV_ERROR_FAILURE;
    }

    const bool bayer = image.colorModel == CM_RGGB;
    int cell[4];
    if (!(bayer && cellPlanes(image.subsMode, cell)) && image.colorModel != CM_RGB)
        return QOV_ERROR_NOT_SUPPORTED;

    // Every plane of this frame must have the size the buffer was made for.
    const size_t wq = pImage->info.stride / 8;
    const size_t hq = bayer ? pImage->info.ui32Height / 2 : pImage->info.ui32Height;
    const QOV_INT32 nPlanes = bayer ? 4 : 3;
    for (QOV_INT32 p = 0; p < nPlanes; p++) {
        if (static_cast<size_t>(image.chnl[p].chnlWidth) != wq || static_cast<size_t>(image.chnl[p].chnlHeight) != hq ||
            !image.chnl[p].data) {
            LOG_ERROR("frame %d does not have the size of frame 0\n", i32frameIndex);
            return QOV_ERROR_FAILURE;
        }
    }

    QOV_UINT16 *out = pImage->pBuffer;
    size_t written = 0;
    size_t expected;
    if (bayer) {
        // Plane row r gives mosaic rows 2r (TL, TR) and 2r + 1 (BL, BR).
        const PIXEL *tl = image.chnl[cell[0]].data, *tr = image.chnl[cell[1]].data;
        const PIXEL *bl = image.chnl[cell[2]].data, *br = image.chnl[cell[3]].data;
        for (size_t r = 0; r < hq; r++) {
            QOV_UINT16 *even = out + r * 4 * wq;
            QOV_UINT16 *odd = even + 2 * wq;
            for (size_t j = 0; j < wq; j++) {
                const size_t i = r * wq + j;
                even[2 * j] = static_cast<QOV_UINT16>(tl[i]);
                even[2 * j + 1] = static_cast<QOV_UINT16>(tr[i]);
                odd[2 * j] = static_cast<QOV_UINT16>(bl[i]);
                odd[2 * j + 1] = static_cast<QOV_UINT16>(br[i]);
            }
            written += 8 * wq;
        }
        expected = pImage->info.ui32Height * pImage->info.stride / 2;
    } else {
        const PIXEL *r = image.chnl[0].data, *g = image.chnl[1].data, *b = image.chnl[2].data;
        const size_t n = wq * hq;
        for (size_t i = 0; i < n; i++) {
            out[4 * i] = static_cast<QOV_UINT16>(r[i]);
            out[4 * i + 1] = static_cast<QOV_UINT16>(g[i]);
            out[4 * i + 2] = static_cast<QOV_UINT16>(b[i]);
            out[4 * i + 3] = 0;
        }
        written = n * 8;
        expected = pImage->info.ui32Height * pImage->info.stride;
    }
    if (written != expected) {
        LOG_ERROR("last offset = %zu in %zuB allocated\n", written, expected);
        return QOV_ERROR_FAILURE;
    }
    return QOV_SUCCESS;
}

QOV_RESULT SimImageIn_close(sSimImageIn *pImage)
{
    if (!pImage)
        return QOV_ERROR_INVALID_ARGUMENT;
    delete pImage->loadFromJUX;
    free(pImage->pBuffer);
    return SimImageIn_init(pImage);
}

QOV_RESULT SimImageIn_checkMultiSegment(const char *pszFilename, unsigned *pNSegments, unsigned *pNTotalFrames)
{
    if (!pszFilename)
        return QOV_ERROR_INVALID_ARGUMENT;
    CImageJux image;
    if (const char *err = image.LoadFileHeader(pszFilename, nullptr)) {
        LOG_ERROR("failed to load JUX header from '%s': %s\n", pszFilename, err);
        return QOV_ERROR_FAILURE;
    }
    const QOV_RESULT ret = checkMutiSegments(image);
    if (ret != QOV_SUCCESS)
        LOG_WARNING("incompatible multi-segment image: load only from 1st segment\n");
    if (pNSegments)
        *pNSegments = static_cast<unsigned>(image.GetNSegments());
    if (pNTotalFrames)
        *pNTotalFrames = static_cast<unsigned>(image.GetNFrames());
    return ret;
}

// ---------------------------------------------------------------------------
// Writer

QOV_RESULT SimImageOut_init(sSimImageOut *pImage)
{
    if (!pImage)
        return QOV_ERROR_INVALID_ARGUMENT;
    memset(pImage, 0, sizeof(*pImage));
    return QOV_SUCCESS;
}

QOV_RESULT SimImageOut_create(sSimImageOut *pImage)
{
    if (!pImage)
        return QOV_ERROR_INVALID_ARGUMENT;
    const SimImageInfo &info = pImage->info;
    colorModelEnum model;
    subsamplingModeEnum subs;
    QOV_INT8 planes;
    switch (info.eColourModel) {
    case SimImage_RGB24:
    case SimImage_RGB32:
    case SimImage_RGB64:
        planes = 3;
        model = CM_RGB;
        subs = SUBS_UNDEF;
        break;
    case SimImage_RGGB:
        planes = 4;
        model = CM_RGGB;
        subs = SUBS_RGGB;
        break;
    case SimImage_GRBG:
        planes = 4;
        model = CM_RGGB;
        subs = SUBS_GRBG;
        break;
    case SimImage_GBRG:
        planes = 4;
        model = CM_RGGB;
        subs = SUBS_GBRG;
        break;
    case SimImage_BGGR:
        planes = 4;
        model = CM_RGGB;
        subs = SUBS_BGGR;
        break;
    default:
        LOG_ERROR("unsupported format\n");
        return QOV_ERROR_NOT_SUPPORTED;
    }
    // Element layouts exist for 1 to 16 bits, 8 at most in 3-byte RGB and more
    // than 8 in 64-bit RGB.
    const QOV_UINT8 depth = info.ui8BitDepth;
    if (depth < 1 || depth > 16 || (info.eColourModel == SimImage_RGB24 && depth > 8) ||
        (info.eColourModel == SimImage_RGB64 && depth <= 8)) {
        LOG_ERROR("unsupported format\n");
        return QOV_ERROR_NOT_SUPPORTED;
    }
    if (info.ui32Width < 1 || info.ui32Height < 1 || info.ui32Width > INT_MAX || info.ui32Height > INT_MAX) {
        LOG_ERROR("invalid image size %ux%u\n", info.ui32Width, info.ui32Height);
        return QOV_ERROR_INVALID_ARGUMENT;
    }

    CImageJux *image = new (std::nothrow) CImageJux();
    juxSaveFormatStr *format = new (std::nothrow) juxSaveFormatStr();
    const QOV_INT8 depths[4] = {static_cast<QOV_INT8>(depth), static_cast<QOV_INT8>(depth),
                                static_cast<QOV_INT8>(depth), static_cast<QOV_INT8>(depth)};
    if (!image || !format ||
        !image->CreateNewImage(static_cast<QOV_INT32>(info.ui32Width), static_cast<QOV_INT32>(info.ui32Height), model,
                               subs, depths, nullptr)) {
        delete image;
        delete format;
        return QOV_ERROR_FAILURE;
    }
    format->pixelFormat = PACKM_UNPACKEDR;
    for (int k = 0; k < 4; k++) {
        format->pixelFormatParam[k] = 0;
        format->planeFormat[k] = k < planes ? 1 : 0;
    }
    format->lineAlign = 1;
    format->pMD = nullptr;
    format->pImData = nullptr;

    pImage->nPlanes = planes;
    pImage->saveToJUX = image;
    pImage->saveFormat = format;
    pImage->saveContext = nullptr;
    return QOV_SUCCESS;
}

QOV_RESULT SimImageOut_open(sSimImageOut *pImage, const char *pszFilename)
{
    if (!pImage)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (!pImage->saveToJUX || !pImage->saveFormat) {
        LOG_ERROR("file should have been created beforehand\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (pImage->saveContext) {
        LOG_ERROR("file already open\n");
        return QOV_ERROR_IN_USE;
    }
    CImageJux &image = *pImage->saveToJUX;
    void *ctx = nullptr;
    const char *err = image.SaveFileStart(pszFilename, pImage->saveFormat, &ctx);
    if (err) {
        LOG_ERROR("CImageJux::SaveFilestart %s\n", err);
        return QOV_ERROR_FAILURE;
    }
    err = image.StartSegment(ctx, true, true);
    if (err) {
        LOG_ERROR("CImageJux::StartSegment %s\n", err);
    } else {
        err = image.SaveFileHeader(ctx);
        if (err)
            LOG_ERROR("CImageJux::SaveFileHeader %s\n", err);
    }
    if (err) {
        if (const char *endErr = image.SaveFileEnd(ctx))
            LOG_ERROR("CImageJux::SaveFileEnd %s\n", endErr);
        return QOV_ERROR_FAILURE;
    }
    pImage->saveContext = ctx;
    return QOV_SUCCESS;
}

namespace {

QOV_UINT16 read16(const QOV_UINT8 *p)
{
    return static_cast<QOV_UINT16>(p[0] | (p[1] << 8));
}

QOV_UINT32 read32(const QOV_UINT8 *p)
{
    return static_cast<QOV_UINT32>(p[0]) | static_cast<QOV_UINT32>(p[1]) << 8 | static_cast<QOV_UINT32>(p[2]) << 16 |
           static_cast<QOV_UINT32>(p[3]) << 24;
}

void swapPlanes(CImageJux &image, int a, int b)
{
    PIXEL *t = image.chnl[a].data;
    image.chnl[a].data = image.chnl[b].data;
    image.chnl[b].data = t;
}

}  // namespace

QOV_RESULT SimImageOut_addFrame(sSimImageOut *pImage, const void *pData, QOV_SIZE size)
{
    if (!pImage || !pData)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (!pImage->saveToJUX) {
        LOG_ERROR("Image not initialised\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    CImageJux &image = *pImage->saveToJUX;
    const SimImageInfo &info = pImage->info;
    const size_t bytesPerSample = (info.ui8BitDepth + 7) / 8;
    const QOV_INT32 n = image.GetNColChannels();
    const sSimImageColourModel model = info.eColourModel;
    size_t count;

    if (model > SimImage_BGGR || model < SimImage_RGB24) {
        LOG_ERROR("unsupported format\n");
        return QOV_ERROR_NOT_SUPPORTED;
    }
    if (isBayerModel(model)) {
        if (n != 4) {
            LOG_ERROR("unexpected number of channels\n");
            return QOV_ERROR_FAILURE;
        }
        const size_t cellSize = info.ui8BitDepth == 8 ? 4 : 8;
        if (size % cellSize != 0)
            return QOV_ERROR_NOT_SUPPORTED;
        count = size / cellSize;
    } else {
        if (n != 3) {
            LOG_ERROR("unexpected number of channels\n");
            return QOV_ERROR_FAILURE;
        }
        if (model == SimImage_RGB24) {
            if (size % 3 != 0) {
                LOG_ERROR("unexpected size\n");
                return QOV_ERROR_NOT_SUPPORTED;
            }
            count = size / 3;
        } else {
            const size_t threeQuarters = 3 * size / 4;
            if (threeQuarters % (3 * bytesPerSample) != 0) {
                LOG_ERROR("unexpected size\n");
                return QOV_ERROR_NOT_SUPPORTED;
            }
            if (info.ui8BitDepth > 8) {
                // A whole image is copied: the buffer must hold it.
                count = static_cast<size_t>(info.ui32Width) * info.ui32Height;
                const size_t element = model == SimImage_RGB64 ? 8 : 4;
                if (size / element < count) {
                    LOG_ERROR("unexpected size\n");
                    return QOV_ERROR_NOT_SUPPORTED;
                }
            } else {
                count = threeQuarters / 3;
            }
        }
    }
    for (QOV_INT32 p = 0; p < n; p++) {
        const QOV_INT64 capacity = static_cast<QOV_INT64>(image.chnl[p].chnlWidth) * image.chnl[p].chnlHeight;
        if (static_cast<QOV_INT64>(count) > capacity) {
            LOG_ERROR("trying to copy more (%zd) than the channel %d can cope with (%d)\n", count, p,
                      static_cast<QOV_INT32>(capacity));
            return QOV_ERROR_FAILURE;
        }
    }

    const QOV_UINT8 *src = static_cast<const QOV_UINT8 *>(pData);
    PIXEL *plane[4] = {image.chnl[0].data, image.chnl[1].data, image.chnl[2].data, n > 3 ? image.chnl[3].data : nullptr};
    if (isBayerModel(model)) {
        if (info.ui8BitDepth == 8) {
            for (size_t i = 0; i < count; i++)
                for (int k = 0; k < 4; k++)
                    plane[k][i] = src[4 * i + k];
        } else {
            for (size_t i = 0; i < count; i++)
                for (int k = 0; k < 4; k++)
                    plane[k][i] = read16(src + 8 * i + 2 * k);
        }
        switch (model) {
        case SimImage_GRBG:
            swapPlanes(image, 0, 1);
            swapPlanes(image, 2, 3);
            break;
        case SimImage_GBRG:
            swapPlanes(image, 0, 2);
            swapPlanes(image, 1, 3);
            break;
        case SimImage_BGGR:
            swapPlanes(image, 0, 3);
            swapPlanes(image, 1, 2);
            break;
        default:
            break;
        }
    } else {
        if (model == SimImage_RGB24) {
            for (size_t i = 0; i < count; i++)
                for (int k = 0; k < 3; k++)
                    plane[k][i] = src[3 * i + k];
        } else if (model == SimImage_RGB32 && info.ui8BitDepth <= 8) {
            for (size_t i = 0; i < count; i++)
                for (int k = 0; k < 3; k++)
                    plane[k][i] = src[4 * i + k];
        } else if (model == SimImage_RGB32) {
            for (size_t i = 0; i < count; i++) {
                const QOV_UINT32 word = read32(src + 4 * i);
                for (int k = 0; k < 3; k++)
                    plane[k][i] = static_cast<PIXEL>((word >> (10 * k)) & 0x3FF);
            }
        } else {
            for (size_t i = 0; i < count; i++)
                for (int k = 0; k < 3; k++)
                    plane[k][i] = read16(src + 8 * i + 2 * k);
        }
        if (!info.isBGR)
            swapPlanes(image, 0, 2);
    }
    return QOV_SUCCESS;
}

QOV_RESULT SimImageOut_write(sSimImageOut *pImage)
{
    if (!pImage || !pImage->saveToJUX || !pImage->saveContext)
        return QOV_ERROR_NOT_INITIALISED;
    if (const char *err = pImage->saveToJUX->SaveFileData(pImage->saveContext)) {
        LOG_ERROR("CImageJux::SaveFileData %s\n", err);
        return QOV_ERROR_FAILURE;
    }
    return QOV_SUCCESS;
}

QOV_RESULT SimImageOut_close(sSimImageOut *pImage)
{
    if (!pImage || !pImage->saveToJUX || !pImage->saveFormat || !pImage->saveContext)
        return QOV_ERROR_NOT_INITIALISED;
    const char *err = pImage->saveToJUX->SaveFileEnd(pImage->saveContext);
    // The writer has closed the file and released its context either way.
    pImage->saveContext = nullptr;
    if (err) {
        LOG_ERROR("CImageJux::SaveFileEnd %s\n", err);
        return QOV_ERROR_FAILURE;
    }
    delete pImage->saveToJUX;
    delete pImage->saveFormat;
    pImage->saveToJUX = nullptr;
    pImage->saveFormat = nullptr;
    return QOV_SUCCESS;
}

QOV_RESULT SimImageOut_clean(sSimImageOut *pImage)
{
    if (!pImage)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (pImage->saveToJUX && pImage->saveContext && pImage->saveFormat) {
        LOG_ERROR("a sSimImageOut was not closed! closing...\n");
        SimImageOut_close(pImage);
    }
    delete pImage->saveToJUX;
    delete pImage->saveFormat;
    return SimImageOut_init(pImage);
}
