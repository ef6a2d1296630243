// Saving the image outputs of a shot, its defect-map and encoder-statistics
// outputs and its raw statistics block, and the output file names.
#include "vova/Save.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "ci/ci_alloc_info.h"
#include "vezaracommon/userlog.h"
#include "vova/ModuleOUT.h"
#include "vova/Pipeline.h"
#include "vova/Sensor.h"

#define LOG_TAG "VOVA_Save"

namespace VOVA {

namespace {

const char kStatsFooter[] = "#stats-done#";

QOV_RESULT colourModelOf(MOSAICType mosaic, sSimImageColourModel &model)
{
    switch (mosaic) {
    case MOSAIC_RGGB:
        model = SimImage_RGGB;
        return QOV_SUCCESS;
    case MOSAIC_GRBG:
        model = SimImage_GRBG;
        return QOV_SUCCESS;
    case MOSAIC_GBRG:
        model = SimImage_GBRG;
        return QOV_SUCCESS;
    case MOSAIC_BGGR:
        model = SimImage_BGGR;
        return QOV_SUCCESS;
    default:
        return QOV_ERROR_FAILURE;
    }
}

// Bit depth and colour model of an RGB file; false for a format outside the table.
bool rgbDescription(pxlFormat fmt, QOV_UINT8 &depth, sSimImageColourModel &model)
{
    switch (fmt) {
    case RGB_888_24:
    case BGR_888_24:
        depth = 8;
        model = SimImage_RGB24;
        return true;
    case RGB_888_32:
    case BGR_888_32:
        depth = 8;
        model = SimImage_RGB32;
        return true;
    case RGB_101010_32:
    case BGR_101010_32:
        depth = 10;
        model = SimImage_RGB32;
        return true;
    case BGR_161616_64:
        depth = 16;
        model = SimImage_RGB64;
        return true;
    default:
        return false;
    }
}

bool isBGR(pxlFormat fmt)
{
    return fmt == BGR_888_24 || fmt == BGR_888_32 || fmt == BGR_101010_32 || fmt == BGR_161616_64;
}

// A buffer of the shot that is absent (the output is off) cannot be written.
bool hasData(const Buffer &buffer)
{
    if (buffer.data)
        return true;
    LOG_ERROR("the shot holds no data for this output\n");
    return false;
}

// Rows of `rowBytes` bytes, `lines` of them `stride` apart, must lie in the
// buffer's plane of `vstride` lines.
bool fitsPlane(QOV_UINT64 rowBytes, QOV_UINT32 lines, QOV_UINT32 stride, QOV_UINT32 vstride, const char *plane)
{
    if (rowBytes <= stride && lines <= vstride)
        return true;
    LOG_ERROR("the %s plane holds %u lines of %u bytes, %u lines of %llu bytes needed\n", plane, vstride, stride,
              lines, static_cast<unsigned long long>(rowBytes));
    return false;
}

}  // namespace

Save::~Save()
{
    if (file)
        close();
}

QOV_RESULT Save::release()
{
    if (!file)
        return QOV_SUCCESS;
    QOV_RESULT ret = SaveFile_close(file);
    SaveFile_destroy(file);
    free(file);
    file = nullptr;
    return ret;
}

QOV_RESULT Save::open(SaveType t, const Pipeline &context, const std::string &name)
{
    if (file)
        return QOV_ERROR_ALREADY_EXISTS;
    type = t;
    filename = name;
    file = static_cast<SaveFile *>(calloc(1, sizeof(SaveFile)));
    if (!file) {
        LOG_ERROR("failed to allocate SaveFile object\n");
        return QOV_ERROR_NO_MEMORY;
    }
    SaveFile_init(file);

    const Sensor *sensor = context.getSensor();
    if (!sensor) {
        LOG_ERROR("registered context does not have sensor!\n");
        release();
        return QOV_ERROR_FAILURE;
    }
    const ModuleOUT *out = context.getOutputModule();
    if (!out && type != YUV && type != Bytes) {
        LOG_ERROR("registered context does not have an output module!\n");
        release();
        return QOV_ERROR_FAILURE;
    }
    tileScheme = context.getConnection() ? context.getConnection()->sHWInfo.uiTiledScheme : 0;
    const Global_Setup setup = context.getGlobalSetup();

    QOV_RESULT ret;
    switch (type) {
    case Bayer:
        ret = openBayer(out->dataExtractionType, sensor->eBayerFormat, setup.ui32ImageWidth, setup.ui32ImageHeight);
        break;
    case Bayer_TIFF:
        ret = openTiff(out->raw2DExtractionType, sensor->eBayerFormat, setup.ui32ImageWidth, setup.ui32ImageHeight);
        break;
    case Display:
        ret = openDisplayFile(out->displayType, setup.ui32DispWidth, setup.ui32DispHeight);
        break;
    case RGB_EXT:
        ret = openDisplayFile(out->hdrExtractionType, setup.ui32ImageWidth, setup.ui32ImageHeight);
        break;
    case RGB_INS:
        ret = openDisplayFile(out->hdrInsertionType, setup.ui32ImageWidth, setup.ui32ImageHeight);
        break;
    case YUV:
    case Bytes:
        ret = openBytes();
        break;
    default:
        ret = QOV_ERROR_NOT_INITIALISED;
        break;
    }
    if (ret != QOV_SUCCESS)
        release();
    return ret;
}

QOV_RESULT Save::close()
{
    if (!file)
        return QOV_ERROR_NOT_SUPPORTED;
    QOV_RESULT ret = release();
    if (ret != QOV_SUCCESS)
        LOG_ERROR("failed to finish writing '%s'\n", filename.c_str());
    return ret;
}

QOV_RESULT Save::openBayerFile(pxlFormat fmt, MOSAICType mosaic, unsigned w, unsigned h, QOV_SIZE lineStride)
{
    PIXELTYPE pixel{};
    if (PixelTransformBayer(&pixel, fmt, mosaic) != QOV_SUCCESS) {
        LOG_ERROR("registered context does not have a correct bayer format: %s\n", FormatString(fmt));
        return QOV_ERROR_NOT_SUPPORTED;
    }
    if (!file) {
        LOG_ERROR("file should have been allocated!\n");
        return QOV_ERROR_WRONG_STATE;
    }
    SimImageInfo info{};
    info.ui8BitDepth = pixel.ui8BitDepth;
    info.ui32Width = w;
    info.ui32Height = h;
    info.stride = lineStride;
    info.isBGR = QOV_FALSE;
    if (colourModelOf(mosaic, info.eColourModel) != QOV_SUCCESS) {
        LOG_ERROR("unsupported bayer format in sensor\n");
        return QOV_ERROR_FAILURE;
    }
    QOV_RESULT ret = SaveFile_openJUX(file, filename.c_str(), &info);
    if (ret != QOV_SUCCESS)
        LOG_ERROR("failed to open '%s' as DE output\n", filename.c_str());
    return ret;
}

QOV_RESULT Save::openBayer(pxlFormat fmt, MOSAICType mosaic, unsigned w, unsigned h)
{
    return openBayerFile(fmt, mosaic, w, h, static_cast<QOV_SIZE>(w) * 8);
}

QOV_RESULT Save::openTiff(pxlFormat fmt, MOSAICType mosaic, unsigned w, unsigned h)
{
    return openBayerFile(fmt, mosaic, w, h, static_cast<QOV_SIZE>(w) * 2);
}

QOV_RESULT Save::openDisplayFile(pxlFormat pxlFmt, unsigned w, unsigned h)
{
    PIXELTYPE pixel{};
    if (PixelTransformDisplay(&pixel, pxlFmt) != QOV_SUCCESS) {
        LOG_ERROR("registered context does not have a correct RGB or YUV444 format: %s\n", FormatString(pxlFmt));
        return QOV_ERROR_NOT_SUPPORTED;
    }
    if (!file) {
        LOG_ERROR("file should have been allocated!\n");
        return QOV_ERROR_WRONG_STATE;
    }
    QOV_RESULT ret;
    if (PixelFormatIsPackedYcc(pxlFmt)) {
        ret = SaveFile_open(file, filename.c_str());
    } else {
        SimImageInfo info{};
        if (!rgbDescription(pxlFmt, info.ui8BitDepth, info.eColourModel)) {
            LOG_ERROR("unsupported format not RGB nor Ycc444 \n");
            return QOV_ERROR_FAILURE;
        }
        info.ui32Width = w;
        info.ui32Height = h;
        info.stride = static_cast<QOV_SIZE>(w) * pixel.ui8PackedStride;
        info.isBGR = isBGR(pxlFmt) ? QOV_TRUE : QOV_FALSE;
        ret = SaveFile_openJUX(file, filename.c_str(), &info);
    }
    if (ret != QOV_SUCCESS)
        LOG_ERROR("failed to open '%s' as display output\n", filename.c_str());
    return ret;
}

QOV_RESULT Save::openBytes()
{
    if (!file) {
        LOG_ERROR("file should have been allocated!\n");
        return QOV_ERROR_WRONG_STATE;
    }
    QOV_RESULT ret = SaveFile_open(file, filename.c_str());
    if (ret != QOV_SUCCESS)
        LOG_ERROR("failed to open '%s' as generic output!\n", filename.c_str());
    return ret;
}

/*-------------------------------------------------------------------------
 * Images
 *-------------------------------------------------------------------------*/

void Save::tileSize(unsigned &tileW, unsigned &tileH) const
{
    tileW = tileScheme;
    tileH = tileScheme ? 4096 / tileScheme : 0;
}

QOV_RESULT Save::save(const Shot &shot)
{
    if (!file) {
        LOG_ERROR("File is not open, cannot save\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    const Buffer *source = nullptr;
    switch (type) {
    case Bayer:
        return saveBayer(shot.BAYER);
    case Bayer_TIFF:
        return saveTiff(shot.RAW2DEXT);
    case Display:
        source = &shot.DISPLAY;
        break;
    case RGB_EXT:
        source = &shot.HDREXT;
        break;
    case YUV:
        source = &shot.YUV;
        break;
    default:
        return QOV_ERROR_NOT_SUPPORTED;
    }
    Buffer untiled;
    const Buffer *toWrite = source;
    if (source->isTiled) {
        QOV_RESULT ret = untile(shot, untiled);
        if (ret != QOV_SUCCESS)
            return ret;
        toWrite = &untiled;
    }
    QOV_RESULT ret;
    if (type == Display)
        ret = saveDisplay(*toWrite);
    else if (type == RGB_EXT)
        ret = saveRGB(*toWrite);
    else
        ret = saveYUV(*toWrite);
    if (toWrite == &untiled)
        free(const_cast<QOV_UINT8 *>(untiled.data));
    return ret;
}

QOV_RESULT Save::untile(const Shot &shot, Buffer &result) const
{
    unsigned tileW, tileH;
    tileSize(tileW, tileH);
    switch (type) {
    case Display:
        return untileRGB(shot.DISPLAY, tileW, tileH, result);
    case RGB_EXT:
        return untileRGB(shot.HDREXT, tileW, tileH, result);
    case YUV:
        return untileYUV(shot.YUV, tileW, tileH, result);
    case Bayer:
    case Bayer_TIFF:
    case Bytes:
        LOG_ERROR("Cannot untile the associated save format\n");
        return QOV_ERROR_NOT_SUPPORTED;
    default:
        return QOV_ERROR_NOT_SUPPORTED;
    }
}

QOV_RESULT Save::untileRGB(const Buffer &rgbBuffer, unsigned tileW, unsigned tileH, Buffer &result)
{
    if (!rgbBuffer.isTiled) {
        LOG_ERROR("RGB buffer is not tiled! Cannot untile it!\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    PIXELTYPE pixel{};
    if (PixelTransformDisplay(&pixel, rgbBuffer.pxlFormat) != QOV_SUCCESS) {
        LOG_ERROR("the given format '%s' is not RGB\n", FormatString(rgbBuffer.pxlFormat));
        return QOV_ERROR_NOT_SUPPORTED;
    }
    if (!hasData(rgbBuffer))
        return QOV_ERROR_INVALID_ARGUMENT;
    LOG_INFO("untiling RGB buffer %dx%d - str=%d\n", tileW, tileH, rgbBuffer.stride);
    const size_t bytes = static_cast<size_t>(rgbBuffer.stride) * rgbBuffer.vstride;
    QOV_UINT8 *out = static_cast<QOV_UINT8 *>(calloc(bytes ? bytes : 1, 1));
    if (!out) {
        LOG_ERROR("failed to allocate untiled memory\n");
        return QOV_ERROR_NO_MEMORY;
    }
    if (BufferDeTile(tileW, tileH, rgbBuffer.stride, rgbBuffer.firstData(), out, rgbBuffer.stride,
                     rgbBuffer.vstride) != QOV_SUCCESS) {
        LOG_ERROR("failed to detile RGB buffer\n");
        free(out);
        return QOV_ERROR_FAILURE;
    }
    result = rgbBuffer;
    result.data = out;
    result.offset = 0;
    result.id = 0;
    result.isTiled = false;
    return QOV_SUCCESS;
}

QOV_RESULT Save::untileYUV(const Buffer &yuvBuffer, unsigned tileW, unsigned tileH, Buffer &result)
{
    if (!yuvBuffer.isTiled) {
        LOG_ERROR("YUV buffer is not tiled! Cannot untile it!\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    PIXELTYPE pixel{};
    if (PixelTransformYUV(&pixel, yuvBuffer.pxlFormat) != QOV_SUCCESS) {
        LOG_ERROR("the given format '%s' is not YUV\n", FormatString(yuvBuffer.pxlFormat));
        return QOV_ERROR_NOT_SUPPORTED;
    }
    if (!hasData(yuvBuffer))
        return QOV_ERROR_INVALID_ARGUMENT;
    LOG_INFO("untiling YUV buffer %dx%d - str=%d\n", tileW, tileH, yuvBuffer.stride);
    const size_t lumaBytes = static_cast<size_t>(yuvBuffer.stride) * yuvBuffer.vstride;
    const size_t bytes = static_cast<size_t>(yuvBuffer.stride) * (yuvBuffer.vstride + yuvBuffer.vstrideCbCr);
    QOV_UINT8 *out = static_cast<QOV_UINT8 *>(calloc(bytes ? bytes : 1, 1));
    if (!out) {
        LOG_ERROR("failed to allocate untiled memory\n");
        return QOV_ERROR_NO_MEMORY;
    }
    if (BufferDeTile(tileW, tileH, yuvBuffer.stride, yuvBuffer.firstData(), out, yuvBuffer.stride,
                     yuvBuffer.vstride) != QOV_SUCCESS) {
        LOG_ERROR("failed to convert the Y tiled buffer!\n");
        free(out);
        return QOV_ERROR_FAILURE;
    }
    if (BufferDeTile(tileW, tileH, yuvBuffer.strideCbCr, yuvBuffer.firstDataCbCr(), out + lumaBytes,
                     yuvBuffer.strideCbCr, yuvBuffer.vstrideCbCr) != QOV_SUCCESS) {
        LOG_ERROR("failed to convert the CbCr tiled buffer!\n");
        free(out);
        return QOV_ERROR_FAILURE;
    }
    result = yuvBuffer;
    result.data = out;
    result.offset = 0;
    result.offsetCbCr = static_cast<QOV_UINT32>(lumaBytes);
    result.id = 0;
    result.isTiled = false;
    return QOV_SUCCESS;
}

QOV_RESULT Save::saveBayerFrame(const Buffer &buffer, bool tiff)
{
    if (buffer.isTiled) {
        LOG_ERROR(tiff ? "cannot save tiled TIFF buffer\n" : "cannot save tiled bayer buffer\n");
        return QOV_ERROR_NOT_SUPPORTED;
    }
    PIXELTYPE pixel{};
    if (PixelTransformBayer(&pixel, buffer.pxlFormat, MOSAIC_RGGB) != QOV_SUCCESS) {
        LOG_ERROR(tiff ? "the given format '%s' is not Bayer TIFF\n" : "the given format '%s' is not Bayer\n",
                  FormatString(buffer.pxlFormat));
        return QOV_ERROR_NOT_SUPPORTED;
    }
    if (!hasData(buffer))
        return QOV_ERROR_INVALID_ARGUMENT;
    if (!file) {
        LOG_ERROR("File is not open, cannot save\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    if (buffer.width > 0xFFFF || buffer.height > 0xFFFF || !fitsPlane(0, buffer.height, buffer.stride,
                                                                      buffer.vstride, "Bayer")) {
        LOG_ERROR(tiff ? "failed to convert raw2D Tiff Bayer frame\n" : "failed to convert Bayer frame\n");
        return QOV_ERROR_FAILURE;
    }
    const QOV_UINT16 size[2] = {static_cast<QOV_UINT16>(buffer.width), static_cast<QOV_UINT16>(buffer.height)};
    void *converted = nullptr;
    QOV_SIZE convertedSize = 0;
    QOV_RESULT ret = tiff ? convertToPlanarBayerTiff(size, buffer.firstData(), buffer.stride, pixel.ui8BitDepth,
                                                     &converted, &convertedSize)
                          : convertToPlanarBayer(size, buffer.firstData(), buffer.stride, pixel.ui8BitDepth,
                                                 &converted, &convertedSize);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR(tiff ? "failed to convert raw2D Tiff Bayer frame\n" : "failed to convert Bayer frame\n");
        free(converted);
        return QOV_ERROR_FAILURE;
    }
    ret = SaveFile_write(file, converted, convertedSize);
    if (ret != QOV_SUCCESS)
        LOG_ERROR(tiff ? "failed to write a raw 2D frame!\n" : "failed to write a data-extraction frame!\n");
    free(converted);
    return ret;
}

QOV_RESULT Save::saveBayer(const Buffer &bayerBuffer) { return saveBayerFrame(bayerBuffer, false); }

QOV_RESULT Save::saveTiff(const Buffer &raw2dBuffer) { return saveBayerFrame(raw2dBuffer, true); }

QOV_RESULT Save::saveRGB(const Buffer &rgbBuffer)
{
    if (rgbBuffer.isTiled) {
        LOG_ERROR("cannot save tiled RGB buffer - untile it first!\n");
        return QOV_ERROR_NOT_SUPPORTED;
    }
    PIXELTYPE pixel{};
    if (PixelTransformRGB(&pixel, rgbBuffer.pxlFormat) != QOV_SUCCESS) {
        LOG_ERROR("the given format '%s' is not RGB\n", FormatString(rgbBuffer.pxlFormat));
        return QOV_ERROR_NOT_SUPPORTED;
    }
    const QOV_UINT64 row = static_cast<QOV_UINT64>(rgbBuffer.width) * pixel.ui8PackedStride;
    if (!hasData(rgbBuffer) || !fitsPlane(row, rgbBuffer.height, rgbBuffer.stride, rgbBuffer.vstride, "RGB"))
        return QOV_ERROR_INVALID_ARGUMENT;
    QOV_RESULT ret = SaveFile_writeFrame(file, rgbBuffer.firstData(), rgbBuffer.stride, row, rgbBuffer.height);
    if (ret != QOV_SUCCESS)
        LOG_ERROR("failed to write a RGB frame!\n");
    return ret;
}

QOV_RESULT Save::saveRGB(const CI_BUFFER &hdfBuffer)
{
    PIXELTYPE pixel{};
    if (PixelTransformRGB(&pixel, BGR_161616_64) != QOV_SUCCESS) {
        LOG_ERROR("the given format '%s' is not RGB\n", FormatString(BGR_161616_64));
        return QOV_ERROR_NOT_SUPPORTED;
    }
    // The size is the open JUX file's; a plain file carries none.
    if (!file || !file->pSimImage) {
        LOG_ERROR("an HDR insertion buffer is saved only into a JUX file\n");
        return QOV_ERROR_NOT_SUPPORTED;
    }
    const QOV_UINT32 width = file->pSimImage->info.ui32Width;
    const QOV_UINT32 height = file->pSimImage->info.ui32Height;
    CI_SIZEINFO size{};
    if (CI_ALLOC_RGBSizeInfo(&pixel, width, height, nullptr, &size) != QOV_SUCCESS) {
        LOG_ERROR("Failed to get allocation information from '%s'\n", FormatString(BGR_161616_64));
        return QOV_ERROR_NOT_SUPPORTED;
    }
    const QOV_UINT64 row = static_cast<QOV_UINT64>(width) * pixel.ui8PackedStride;
    if (!hdfBuffer.data || static_cast<QOV_UINT64>(size.ui32Stride) * height > hdfBuffer.ui32Size) {
        LOG_ERROR("the HDR insertion buffer holds %u bytes, %llu needed\n", hdfBuffer.ui32Size,
                  static_cast<unsigned long long>(size.ui32Stride) * height);
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    QOV_RESULT ret = SaveFile_writeFrame(file, hdfBuffer.data, size.ui32Stride, row, height);
    if (ret != QOV_SUCCESS)
        LOG_ERROR("failed to write a RGB frame!\n");
    return ret;
}

QOV_RESULT Save::saveYUV_Packed(const Buffer &yuvBuffer)
{
    PIXELTYPE pixel{};
    QOV_RESULT ret = PixelTransformDisplay(&pixel, yuvBuffer.pxlFormat);
    if (ret != QOV_SUCCESS)
        return ret;
    const QOV_UINT64 row = static_cast<QOV_UINT64>(yuvBuffer.width) * pixel.ui8PackedStride;
    if (!hasData(yuvBuffer) || !fitsPlane(row, yuvBuffer.height, yuvBuffer.stride, yuvBuffer.vstride, "YUV"))
        return QOV_ERROR_INVALID_ARGUMENT;
    ret = SaveFile_writeFrame(file, yuvBuffer.firstData(), yuvBuffer.stride, row, yuvBuffer.height);
    if (ret != QOV_SUCCESS)
        LOG_ERROR("failed to write YUV's luma frame!\n");
    return ret;
}

QOV_RESULT Save::saveDisplay(const Buffer &displayBuffer)
{
    QOV_RESULT ret =
        PixelFormatIsPackedYcc(displayBuffer.pxlFormat) ? saveYUV_Packed(displayBuffer) : saveRGB(displayBuffer);
    if (ret != QOV_SUCCESS)
        LOG_ERROR("failed to write a Display frame!\n");
    return ret;
}

QOV_RESULT Save::saveYUV(const Buffer &yuvBuffer)
{
    if (yuvBuffer.isTiled) {
        LOG_ERROR("cannot saved tiled YUV buffer - untile it first!\n");
        return QOV_ERROR_NOT_SUPPORTED;
    }
    PIXELTYPE pixel{};
    if (PixelTransformYUV(&pixel, yuvBuffer.pxlFormat) != QOV_SUCCESS) {
        LOG_ERROR("the given format '%s' is not YUV\n", FormatString(yuvBuffer.pxlFormat));
        return QOV_ERROR_NOT_SUPPORTED;
    }
    QOV_UINT64 row = yuvBuffer.width;
    if (pixel.ui8BitDepth > 8)
        row = (static_cast<QOV_UINT64>(yuvBuffer.width) + pixel.ui8PackedElements - 1) / pixel.ui8PackedElements *
              pixel.ui8PackedStride;
    const QOV_UINT64 chromaRow = row * 2 / pixel.ui8HSubsampling;
    const QOV_UINT32 chromaLines = yuvBuffer.height / pixel.ui8VSubsampling;
    if (!hasData(yuvBuffer) || !fitsPlane(row, yuvBuffer.height, yuvBuffer.stride, yuvBuffer.vstride, "luma") ||
        !fitsPlane(chromaRow, chromaLines, yuvBuffer.strideCbCr, yuvBuffer.vstrideCbCr, "chroma"))
        return QOV_ERROR_INVALID_ARGUMENT;
    QOV_RESULT ret = SaveFile_writeFrame(file, yuvBuffer.firstData(), yuvBuffer.stride, row, yuvBuffer.height);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("failed to write YUV's luma frame!\n");
        return ret;
    }
    ret = SaveFile_writeFrame(file, yuvBuffer.firstDataCbCr(), yuvBuffer.strideCbCr, chromaRow, chromaLines);
    if (ret != QOV_SUCCESS)
        LOG_ERROR("failed to write YUV's chroma frame!\n");
    return ret;
}

/*-------------------------------------------------------------------------
 * Raw statistics
 *-------------------------------------------------------------------------*/

QOV_RESULT Save::checkBytes(const char *function, unsigned line, const char *notOpen) const
{
    if (type != Bytes)
        return QOV_ERROR_NOT_SUPPORTED;
    if (!file) {
        LOG_Error(function, line, LOG_TAG, "%s", notOpen);
        return QOV_ERROR_NOT_INITIALISED;
    }
    return QOV_SUCCESS;
}

QOV_RESULT Save::saveDPF(const Shot &shot)
{
    QOV_RESULT ret = checkBytes(__func__, __LINE__, "File is not open, cannot save DPF\n");
    if (ret != QOV_SUCCESS)
        return ret;
    const MC_STATS_DPF &dpf = shot.metadata.defectiveStats;
    LOG_INFO("DPF corrected %d and has %d (%d dropped) in the output map '%s'\n", dpf.ui32FixedPixels,
             dpf.ui32NOutCorrection, dpf.ui32DroppedMapModifications, filename.c_str());
    if (!shot.DPF.data || shot.DPF.size == 0 || shot.DPF.size < shot.DPF.elementSize) {
        LOG_WARNING("no pixel corrected! '%s' will be empty for that frame!\n", filename.c_str());
        return QOV_SUCCESS;
    }
    ret = SaveFile_write(file, shot.DPF.data, shot.DPF.size);
    if (ret != QOV_SUCCESS)
        LOG_ERROR("failed to save DPF to '%s'!\n", filename.c_str());
    return ret;
}

QOV_RESULT Save::saveENS(const Shot &shot)
{
    QOV_RESULT ret = checkBytes(__func__, __LINE__, "File is not open, cannot save ENS\n");
    if (ret != QOV_SUCCESS)
        return ret;
    const QOV_UINT32 pairs = shot.ENS.elementSize ? shot.ENS.size / shot.ENS.elementSize : 0;
    LOG_INFO("ENS %d pairs saved to output map '%s'\n", pairs, filename.c_str());
    if (!shot.ENS.data || shot.ENS.size == 0 || shot.ENS.size < shot.ENS.elementSize) {
        LOG_WARNING("no ENS stats generated! '%s' will be empty for that frame!\n", filename.c_str());
        return QOV_SUCCESS;
    }
    ret = SaveFile_write(file, shot.ENS.data, shot.ENS.size);
    if (ret != QOV_SUCCESS)
        LOG_ERROR("failed to save ENS to '%s'!\n", filename.c_str());
    return ret;
}

QOV_RESULT Save::saveStats(const Shot &shot)
{
    QOV_RESULT ret = checkBytes(__func__, __LINE__, "File is not open, cannot save stats\n");
    if (ret != QOV_SUCCESS)
        return ret;
    // The header names the bytes that follow: what the block holds.
    const QOV_UINT32 size = shot.stats.data ? shot.stats.size : 0;
    char header[64];
    const int length = snprintf(header, sizeof(header), "#stats-%dB#", static_cast<int>(size));
    ret = SaveFile_write(file, header, static_cast<size_t>(length));
    if (ret != QOV_SUCCESS)
        LOG_WARNING("failed to write the stats 'header'\n");
    if (size != 0) {
        QOV_RESULT r = SaveFile_write(file, shot.stats.data, size);
        if (r != QOV_SUCCESS) {
            LOG_WARNING("failed to write the stats\n");
            if (ret == QOV_SUCCESS)
                ret = r;
        }
    }
    QOV_RESULT r = SaveFile_write(file, kStatsFooter, sizeof(kStatsFooter) - 1);
    if (r != QOV_SUCCESS) {
        LOG_WARNING("failed to write the stats 'footer'\n");
        if (ret == QOV_SUCCESS)
            ret = r;
    }
    return ret;
}

/*-------------------------------------------------------------------------
 * One-call saving
 *-------------------------------------------------------------------------*/

namespace {

// Closes the object after the write step: a failed close (the data never
// reached the file) is the result when the write itself succeeded.
QOV_RESULT finish(Save &save, QOV_RESULT written, const char *function, unsigned line, const char *failure)
{
    QOV_RESULT closed = save.close();
    QOV_RESULT ret = written != QOV_SUCCESS ? written : closed;
    if (ret != QOV_SUCCESS)
        LOG_Error(function, line, LOG_TAG, failure, save.getFilename().c_str());
    return ret;
}

// One object for one call: open, write, close.
template <typename Write>
QOV_RESULT single(Save::SaveType type, const Pipeline &context, const std::string &filename, Write write,
                  const char *function, unsigned line, const char *failure)
{
    Save save;
    QOV_RESULT ret = save.open(type, context, filename);
    if (ret != QOV_SUCCESS)
        return ret;
    return finish(save, write(save), function, line, failure);
}

}  // namespace

QOV_RESULT Save::Single(const Pipeline &context, const Shot &shot, SaveType type, const std::string &filename)
{
    if (type == Bytes) {
        LOG_ERROR("VOVA::Save::Bytes is not supported - use a specific function\n");
        return QOV_ERROR_NOT_SUPPORTED;
    }
    return single(type, context, filename, [&](Save &s) { return s.save(shot); }, __func__, __LINE__,
                  "failed to save output to '%s'\n");
}

QOV_RESULT Save::SingleDPF(const Pipeline &context, const Shot &shot, const std::string &filename)
{
    return single(Bytes, context, filename, [&](Save &s) { return s.saveDPF(shot); }, __func__, __LINE__,
                  "failed to save DPF output to '%s'\n");
}

QOV_RESULT Save::SingleENS(const Pipeline &context, const Shot &shot, const std::string &filename)
{
    return single(Bytes, context, filename, [&](Save &s) { return s.saveENS(shot); }, __func__, __LINE__,
                  "failed to save ENS output to '%s'\n");
}

QOV_RESULT Save::SingleStats(const Pipeline &context, const Shot &shot, const std::string &filename)
{
    return single(Bytes, context, filename, [&](Save &s) { return s.saveStats(shot); }, __func__, __LINE__,
                  "failed to save statistics output to '%s'\n");
}

QOV_RESULT Save::SingleHDF(const Pipeline &context, const CI_BUFFER &hdrBuffer, const std::string &filename)
{
    return single(RGB_INS, context, filename, [&](Save &s) { return s.saveRGB(hdrBuffer); }, __func__, __LINE__,
                  "failed to save HDR insertion to '%s'\n");
}

/*-------------------------------------------------------------------------
 * File names
 *-------------------------------------------------------------------------*/

std::string Save::getEncoderFilename(const Pipeline &context)
{
    const ModuleOUT *out = context.getOutputModule();
    PIXELTYPE pixel{};
    if (!out || !context.getMCPipeline() || PixelTransformYUV(&pixel, out->encoderType) != QOV_SUCCESS) {
        LOG_ERROR("Invalid encoder format!");
        return std::string();
    }
    const QOV_UINT16 *size = context.getMCPipeline()->sESC.aOutputSize;
    std::ostringstream name;
    // The context number is an 8-bit value: printed as a number, not a character.
    name << "encoder" << static_cast<int>(context.getContextNumber()) << "_" << size[0] << "x" << size[1] << "_"
         << FormatStringForFilename(out->encoderType) << "_align" << static_cast<unsigned>(pixel.ui8PackedStride)
         << ".yuv";
    return name.str();
}

std::string Save::getDisplayFilename(const Pipeline &context)
{
    const ModuleOUT *out = context.getOutputModule();
    PIXELTYPE pixel{};
    if (!out || !context.getMCPipeline() || PixelTransformDisplay(&pixel, out->displayType) != QOV_SUCCESS) {
        LOG_ERROR("Invalid display format!");
        return std::string();
    }
    std::ostringstream name;
    name << "display" << static_cast<int>(context.getContextNumber());
    if (PixelFormatIsPackedYcc(out->displayType)) {
        const QOV_UINT16 *size = context.getMCPipeline()->sDSC.aOutputSize;
        name << "_" << size[0] << "x" << size[1] << "_" << FormatStringForFilename(out->displayType) << "_align"
             << static_cast<unsigned>(pixel.ui8PackedStride) << ".yuv";
    } else {
        name << ".jux";
    }
    return name.str();
}

}  // namespace VOVA
