// Filling a shot from a completed capture-interface shot: output buffers,
// statistics extracted and their configuration reverted, timestamps and the
// raw blocks.
#include "vova/Shot.h"

#include "mc/mc_conversions.h"
#include "vezaracommon/userlog.h"
#include "vova/ModuleOUT.h"
#include "vova/Pipeline.h"

#define LOG_TAG "VOVA_SHOT"

namespace VOVA {

namespace {

// Bytes of one entry of the defect-map output.
const QOV_UINT64 kDPFEntrySize = 8;

void fillImage(Buffer &b, const QOV_UINT32 size[2], void *data, QOV_UINT32 id, bool tiled, QOV_UINT32 width,
               QOV_UINT32 height, pxlFormat format)
{
    b.stride = size[0];
    b.vstride = size[1];
    b.data = static_cast<const QOV_UINT8 *>(data);
    b.id = id;
    b.isTiled = tiled;
    b.width = width;
    b.height = height;
    b.pxlFormat = format;
}

}  // namespace

const QOV_UINT8 *Buffer::firstDataCbCr() const
{
    PIXELTYPE type{};
    if (PixelTransformYUV(&type, pxlFormat) != QOV_SUCCESS)
        return nullptr;
    return data + offsetCbCr;
}

void Shot::clear()
{
    DISPLAY = Buffer();
    YUV = Buffer();
    BAYER = Buffer();
    HDREXT = Buffer();
    RAW2DEXT = Buffer();
    bFrameError = false;
    iMissedFrames = 0;
    metadata = Metadata{};
    DPF = Statistics();
    ENS = Statistics();
    stats = Statistics();
    pCIBuffer = nullptr;
}

void Shot::configure(CI_SHOT *ci, const ModuleOUT &out, const Global_Setup &setup)
{
    pCIBuffer = ci;
    PIXELTYPE type{};
    if (PixelTransformDisplay(&type, out.displayType) == QOV_SUCCESS)
        fillImage(DISPLAY, ci->aDispSize, ci->pDisplayOutput, ci->dispId, ci->bDispTiled == 1, setup.ui32DispWidth,
                  setup.ui32DispHeight, out.displayType);
    else if (PixelTransformBayer(&type, out.dataExtractionType, MOSAIC_RGGB) == QOV_SUCCESS)
        fillImage(BAYER, ci->aDispSize, ci->pDisplayOutput, ci->dispId, ci->bDispTiled == 1, setup.ui32ImageWidth,
                  setup.ui32ImageHeight, out.dataExtractionType);

    if (out.encoderType != PXL_NONE) {
        fillImage(YUV, ci->aEncYSize, ci->pEncoderOutput, ci->encId, ci->bEncTiled == 1, setup.ui32EncWidth,
                  setup.ui32EncHeight, out.encoderType);
        YUV.strideCbCr = ci->aEncCbCrSize[0];
        YUV.vstrideCbCr = ci->aEncCbCrSize[1];
        YUV.offset = ci->aEncOffset[0];
        YUV.offsetCbCr = ci->aEncOffset[1];
    }
    if (out.hdrExtractionType != PXL_NONE)
        fillImage(HDREXT, ci->aHDRExtSize, ci->pHDRExtOutput, ci->HDRExtId, ci->bHDRExtTiled == 1,
                  setup.ui32ImageWidth, setup.ui32ImageHeight, out.hdrExtractionType);
    if (out.raw2DExtractionType != PXL_NONE)
        fillImage(RAW2DEXT, ci->aRaw2DSize, ci->pRaw2DExtOutput, ci->raw2DExtId, false, setup.ui32ImageWidth,
                  setup.ui32ImageHeight, out.raw2DExtractionType);

    iMissedFrames = ci->i32MissedFrames;
    bFrameError = ci->bFrameError == 1;

    CI_PIPELINE_STATS config{};
    CI_PipelineExtractConfig(ci, &config);
    // A block shorter than the hardware layout (the driver reported less) is
    // not read: the extracted statistics stay zero.
    const void *blob = ci->statsSize >= CI_STATS_BLOCK_SIZE ? ci->pStatistics : nullptr;
    if (ci->pStatistics && !blob)
        LOG_WARNING("statistics block of %u bytes is shorter than the %u bytes of the hardware layout: statistics "
                    "not extracted\n",
                    ci->statsSize, CI_STATS_BLOCK_SIZE);
    const QOV_UINT32 flags = ci->eOutputConfig;
    MC_HISExtract(blob, &metadata.histogramStats);
    MC_HISRevert(&config.sHistStats, flags, &metadata.histogramConfig);
    MC_EXSExtract(blob, &metadata.clippingStats);
    MC_EXSRevert(&config.sExposureStats, flags, &metadata.clippingConfig);
    MC_FOSExtract(blob, &metadata.focusStats);
    MC_FOSRevert(&config.sFocusStats, flags, &metadata.focusConfig);
    MC_WBSExtract(blob, &metadata.whiteBalanceStats);
    MC_WBSRevert(&config.sWhiteBalanceStats, flags, &metadata.whiteBalanceConfig);
    MC_AWSExtract(blob, &metadata.autoWhiteBalanceStats);
    MC_AWSRevert(&config.sAutoWhiteBalanceStats, flags, &metadata.autoWhiteBalanceConfig);
    MC_FLDExtract(blob, &metadata.flickerStats);
    MC_FLDRevert(&config.sFlickerStats, flags, &metadata.flickerConfig);

    MC_TimestampExtract(blob, &metadata.timestamps);
    metadata.timestamps.ui32LinkedListUpdated = ci->ui32LinkedListTS;
    metadata.timestamps.ui32InterruptServiced = ci->ui32InterruptTS;
    metadata.timestamps.ui64LinkedListSysTime = ci->ui64LinkedListSysTime;
    metadata.timestamps.ui64InterruptSysTime = ci->ui64InterruptSysTime;
    MC_DPFExtract(blob, &metadata.defectiveStats);

    stats.data = static_cast<const QOV_UINT8 *>(blob);
    stats.stride = ci->statsSize;
    stats.size = ci->statsSize;
    stats.elementSize = 4;

    if (ci->uiDPFSize != 0) {
        const QOV_UINT64 expected = metadata.defectiveStats.ui32NOutCorrection * kDPFEntrySize;
        if (ci->uiDPFSize < expected) {
            LOG_WARNING("nb of correct pixels given by HW does not fit in buffer! DPF buffer not loaded\n");
        } else {
            DPF.data = static_cast<const QOV_UINT8 *>(ci->pDefectPixelMap);
            DPF.stride = ci->uiDPFSize;
            DPF.size = static_cast<QOV_UINT32>(expected);
            DPF.elementSize = 8;
        }
    }
    if (ci->uiENSSize != 0) {
        ENS.data = static_cast<const QOV_UINT8 *>(ci->pENSOutput);
        ENS.stride = ci->uiENSSize;
        ENS.size = ci->uiENSSize;
        ENS.elementSize = 8;
    }
}

}  // namespace VOVA
