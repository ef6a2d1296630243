// Sensor 0, "IIF Datagen": plays a JUX file (one frame or a video) into the
// ISP through its internal data generator, so that the pipeline can run
// without a sensor. One fixed mode derived from the file; frames are sent
// one by one with Insert and waited for with WaitProcessed.
//
// Frames are read by the simulation image stream, packed by the frame
// converter into the parallel wire format and handed to the generator on a
// driver connection the caller provides (IIFDG_ExtendedSetConnection).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <sys/types.h>

#include "ci/ci_api.h"
#include "ci/ci_converter.h"
#include "ci/ci_datagen.h"
#include "sensorapi/sensorapi.h"
#include "sensors/sensor_drivers.h"
#include "sim_image/sim_image.h"
#include "vezaracommon/userlog.h"

#define LOG_TAG "IntDG_SENSOR"

namespace {

// The generator has no clock of its own to report: the mode claims a fixed
// frame rate.
constexpr double kFrameRate = 11.0;
constexpr const char *kSensorName = "IIF Datagen";

}  // namespace

typedef struct _iifdgcam_struct {
    SENSOR_FUNCS sFuncs;         // first: the handle is the address of the state
    CI_CONNECTION *pConnection;  // the caller's, not owned
    CI_DATAGEN *pDatagen;        // from Enable to Disable
    CI_CONVERTER sConverter;
    QOV_UINT8 ui8Mode;               // always 0
    QOV_UINT32 ui32CurrentExposure;  // microseconds; 0: not chosen yet
    char *pszFilename;               // owned copy; null when none
    sSimImageIn sImage;              // the open JUX source
    QOV_UINT32 ui32FrameCount;       // the frame cap: video wraps there
    QOV_UINT32 ui32FrameNoToLoad;    // file frame of the next insertion
    QOV_UINT32 ui32BuffersCount;     // generator frames allocated by Enable
    QOV_BOOL8 bIsVideo;
    QOV_UINT8 ui8IIFDG;   // which internal data generator
    QOV_UINT8 ui8Gasket;  // the gasket the frames enter
    QOV_UINT16 ui16HBlanking;
    QOV_UINT16 ui16VBlanking;
    QOV_BOOL8 bPreload;
    // Staging buffer of one frame: the generator's frames are mapped
    // write-only, so a frame is converted here and copied over. Kept from
    // the first insertion to Disable, so that insertions do not allocate.
    void *pStaging;
    QOV_UINT32 ui32StagingSize;
} IIFDG_CAM;

static QOV_RESULT IIFDG_GetMode(SENSOR_HANDLE hHandle, QOV_UINT16 nIndex, SENSOR_MODE *psModes);

namespace {

IIFDG_CAM *camOf(SENSOR_HANDLE hHandle)
{
    return reinterpret_cast<IIFDG_CAM *>(hHandle);
}

// The state behind a handle given to an extension function: null for a
// null handle, or for a handle that does not belong to this driver (its
// state would be some other driver's).
IIFDG_CAM *extendedCam(SENSOR_HANDLE hHandle, const char *function, unsigned line, QOV_RESULT *pRet)
{
    if (!hHandle) {
        LOG_Error(function, line, LOG_TAG, "NULL handle given\n");
        *pRet = QOV_ERROR_NOT_INITIALISED;
        return nullptr;
    }
    if (hHandle->GetMode != IIFDG_GetMode) {
        LOG_Error(function, line, LOG_TAG, "handle given is not the one of sensor '%s'\n", kSensorName);
        *pRet = QOV_ERROR_INVALID_ARGUMENT;
        return nullptr;
    }
    *pRet = QOV_SUCCESS;
    return camOf(hHandle);
}

#define EXTENDED_CAM(handle, ret) extendedCam((handle), __func__, __LINE__, &(ret))

QOV_RESULT bayerOrder(sSimImageColourModel eModel, MOSAICType *peMosaic)
{
    switch (eModel) {
    case SimImage_RGGB:
        *peMosaic = MOSAIC_RGGB;
        return QOV_SUCCESS;
    case SimImage_GRBG:
        *peMosaic = MOSAIC_GRBG;
        return QOV_SUCCESS;
    case SimImage_GBRG:
        *peMosaic = MOSAIC_GBRG;
        return QOV_SUCCESS;
    case SimImage_BGGR:
        *peMosaic = MOSAIC_BGGR;
        return QOV_SUCCESS;
    default:
        return QOV_ERROR_NOT_SUPPORTED;
    }
}

// Refuses the loaded file when its frames are larger than the generator
// sends: wider than its gasket takes (the mode's 16-bit width without a
// connection to ask), or taller than its frames go. A file that does not fit
// would otherwise fail only at the first insertion, or with its width cut to
// 16 bits in the mode.
QOV_RESULT checkFrameSize(const IIFDG_CAM *psCam, const char *function, unsigned line)
{
    if (!psCam->pszFilename)
        return QOV_SUCCESS;
    QOV_UINT32 ui32MaxWidth = 0xFFFF;
    if (psCam->pConnection) {
        const CI_HWINFO &hw = psCam->pConnection->sHWInfo;
        if (psCam->ui8Gasket < hw.config_ui8NImagers && psCam->ui8Gasket < std::size(hw.gasket_aMaxWidth))
            ui32MaxWidth = hw.gasket_aMaxWidth[psCam->ui8Gasket];
    }
    const SimImageInfo &info = psCam->sImage.info;
    if (info.ui32Width <= ui32MaxWidth && info.ui32Height <= CI_DATAGEN_MAX_HEIGHT)
        return QOV_SUCCESS;
    LOG_Error(function, line, LOG_TAG,
              "frames of %ux%u in '%s' are larger than the data generator takes: at most %u pixels wide on "
              "gasket %u and %u lines high\n",
              (unsigned)info.ui32Width, (unsigned)info.ui32Height, psCam->pszFilename, (unsigned)ui32MaxWidth,
              (unsigned)psCam->ui8Gasket, (unsigned)CI_DATAGEN_MAX_HEIGHT);
    return QOV_ERROR_NOT_SUPPORTED;
}

#define CHECK_FRAME_SIZE(cam) checkFrameSize((cam), __func__, __LINE__)

void destroyDatagen(IIFDG_CAM *psCam)
{
    if (psCam->pDatagen)
        CI_DatagenDestroy(psCam->pDatagen);
    psCam->pDatagen = nullptr;
}

void freeStaging(IIFDG_CAM *psCam)
{
    free(psCam->pStaging);
    psCam->pStaging = nullptr;
    psCam->ui32StagingSize = 0;
}

}  // namespace

/*-------------------------------------------------------------------------
 * Sensor operations
 *-------------------------------------------------------------------------*/

static QOV_RESULT IIFDG_GetMode(SENSOR_HANDLE hHandle, QOV_UINT16 nIndex, SENSOR_MODE *psModes)
{
    IIFDG_CAM *psCam = camOf(hHandle);
    if (nIndex != 0) {
        LOG_ERROR("only supports mode 0\n");
        return QOV_ERROR_OUT_OF_RANGE;
    }
    if (!psCam->pszFilename) {
        LOG_ERROR("must specify the source JUX file before getMode\n");
        return QOV_ERROR_WRONG_STATE;
    }
    const SimImageInfo &info = psCam->sImage.info;
    psModes->ui8BitDepth = info.ui8BitDepth;
    psModes->ui16Width = (QOV_UINT16)info.ui32Width;
    psModes->ui16Height = (QOV_UINT16)info.ui32Height;
    psModes->ui16HorizontalTotal = (QOV_UINT16)(info.ui32Width + psCam->ui16HBlanking);
    psModes->ui16VerticalTotal = (QOV_UINT16)(info.ui32Height + psCam->ui16VBlanking);
    psModes->ui8SupportFlipping = SENSOR_FLIP_NONE;
    psModes->ui32ExposureMin = 0;
    psModes->ui32ExposureMax = 0;
    psModes->ui8MipiLanes = 0;
    psModes->flFrameRate = kFrameRate;
    // pixels per second
    psModes->flPixelRate = (double)psModes->ui16HorizontalTotal * psModes->ui16VerticalTotal * kFrameRate;
    return QOV_SUCCESS;
}

static QOV_RESULT IIFDG_GetState(SENSOR_HANDLE hHandle, SENSOR_STATUS *psStatus)
{
    IIFDG_CAM *psCam = camOf(hHandle);
    psStatus->ui16CurrentMode = psCam->ui8Mode;
    psStatus->ui8Flipping = SENSOR_FLIP_NONE;
    psStatus->eState = SENSOR_STATE_UNINITIALISED;
    if (psCam->pDatagen && psCam->pszFilename) {
        psStatus->eState = SENSOR_STATE_IDLE;
        if (CI_DatagenIsStarted(psCam->pDatagen))
            psStatus->eState = SENSOR_STATE_RUNNING;
    }
    return QOV_SUCCESS;
}

static QOV_RESULT IIFDG_SetMode(SENSOR_HANDLE hHandle, QOV_UINT16 nMode, QOV_UINT8 ui8Flipping)
{
    (void)hHandle;
    if (nMode != 0) {
        LOG_ERROR("supports only mode 0!\n");
        return QOV_ERROR_OUT_OF_RANGE;
    }
    if (ui8Flipping != SENSOR_FLIP_NONE) {
        LOG_ERROR("cannot enable flipping!\n");
        return QOV_ERROR_NOT_SUPPORTED;
    }
    return QOV_SUCCESS;
}

static QOV_RESULT IIFDG_Enable(SENSOR_HANDLE hHandle)
{
    IIFDG_CAM *psCam = camOf(hHandle);
    if (!psCam->pszFilename || !psCam->pConnection) {
        LOG_ERROR("selecting a connection and an input file is needed before "
                  "enabling the sensor!\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    // the connection may have come after the file
    QOV_RESULT ret = CHECK_FRAME_SIZE(psCam);
    if (ret != QOV_SUCCESS)
        return ret;
    psCam->ui32FrameNoToLoad = 0;
    destroyDatagen(psCam);

    ret = CI_DatagenCreate(&psCam->pDatagen, psCam->pConnection);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("failed to create datagen object! Can HW support it?\n");
        psCam->pDatagen = nullptr;
        return ret;
    }

    CI_DATAGEN *pDatagen = psCam->pDatagen;
    const SimImageInfo &info = psCam->sImage.info;
    pDatagen->ui8Gasket = psCam->ui8Gasket;
    pDatagen->ui8IIFDGIndex = psCam->ui8IIFDG;
    pDatagen->eFormat = CI_DGFMT_PARALLEL;
    pDatagen->bPreload = psCam->bPreload;
    // the parallel wire carries 10 or 12 bits
    if (info.ui8BitDepth <= 10) {
        pDatagen->ui8FormatBitdepth = 10;
    } else if (info.ui8BitDepth <= 12) {
        pDatagen->ui8FormatBitdepth = 12;
    } else {
        LOG_ERROR("input bit depth %d isn't supported (PARALLEL max is 12b)\n", (int)info.ui8BitDepth);
        destroyDatagen(psCam);
        return QOV_ERROR_NOT_SUPPORTED;
    }
    if (bayerOrder(info.eColourModel, &pDatagen->eBayerMosaic) != QOV_SUCCESS) {
        LOG_ERROR("un-expected input format!\n");
        destroyDatagen(psCam);
        return QOV_ERROR_NOT_SUPPORTED;
    }

    ret = CI_ConverterConfigure(&psCam->sConverter, CI_DGFMT_PARALLEL, pDatagen->ui8FormatBitdepth);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("failed to configure image converter from loaded image format!\n");
        destroyDatagen(psCam);
        return ret;
    }

    const QOV_UINT32 ui32FrameSize = CI_ConverterFrameSize(&psCam->sConverter, info.ui32Width, info.ui32Height);
    if (ui32FrameSize == 0) {
        LOG_ERROR("failed to get frame size from image's sizes\n");
        destroyDatagen(psCam);
        return QOV_ERROR_FAILURE;
    }

    for (QOV_UINT32 i = 0; i < psCam->ui32BuffersCount; i++) {
        ret = CI_DatagenAllocateFrame(pDatagen, ui32FrameSize, nullptr);
        if (ret != QOV_SUCCESS) {
            LOG_ERROR("failed to allocate frame %d/%d\n", (int)(i + 1), (int)psCam->ui32BuffersCount);
            destroyDatagen(psCam);
            return ret;
        }
    }

    ret = CI_DatagenStart(pDatagen);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("failed to start datagen!\n");
        destroyDatagen(psCam);
        return ret;
    }
    return QOV_SUCCESS;
}

static QOV_RESULT IIFDG_Disable(SENSOR_HANDLE hHandle)
{
    IIFDG_CAM *psCam = camOf(hHandle);
    SENSOR_STATUS sStatus{};
    QOV_RESULT ret = IIFDG_GetState(hHandle, &sStatus);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("failed to get sensor status!\n");
        return ret;
    }
    if (sStatus.eState != SENSOR_STATE_RUNNING) {
        LOG_ERROR("cannot disable before enabling the sensor!\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    if (CI_DatagenStop(psCam->pDatagen) != QOV_SUCCESS) {
        LOG_ERROR("failed to stop the data-generator!\n");
        return QOV_ERROR_FAILURE;
    }
    for (QOV_UINT32 i = 0; i < psCam->ui32BuffersCount; i++) {
        CI_DG_FRAME *pFrame = CI_DatagenGetAvailableFrame(psCam->pDatagen);
        if (!pFrame) {
            LOG_WARNING("failed to get frame %d/%d for destruction\n", (int)(i + 1), (int)psCam->ui32BuffersCount);
            continue;
        }
        if (CI_DatagenDestroyFrame(pFrame) != QOV_SUCCESS)
            LOG_WARNING("failed to destroy frame %d/%d\n", (int)(i + 1), (int)psCam->ui32BuffersCount);
    }
    destroyDatagen(psCam);
    freeStaging(psCam);
    return QOV_SUCCESS;
}

static QOV_RESULT IIFDG_Destroy(SENSOR_HANDLE hHandle)
{
    IIFDG_CAM *psCam = camOf(hHandle);
    SENSOR_STATUS sStatus{};
    QOV_RESULT ret = IIFDG_GetState(hHandle, &sStatus);
    if (ret != QOV_SUCCESS)
        return ret;
    if (sStatus.eState == SENSOR_STATE_RUNNING) {
        LOG_WARNING("destroying a running sensor! forces to stop\n");
        if (IIFDG_Disable(hHandle) != QOV_SUCCESS)
            LOG_ERROR("could not stop a sensor before destruction!\n");
    }
    // A generator the driver no longer reports as started (or that failed
    // to stop) must not outlive the sensor: it holds frames on the caller's
    // connection.
    destroyDatagen(psCam);
    freeStaging(psCam);
    free(psCam->pszFilename);
    SimImageIn_close(&psCam->sImage);
    CI_ConverterClear(&psCam->sConverter);
    free(psCam);
    return QOV_SUCCESS;
}

static QOV_RESULT IIFDG_GetInfo(SENSOR_HANDLE hHandle, SENSOR_INFO *psInfo)
{
    IIFDG_CAM *psCam = camOf(hHandle);
    snprintf(psInfo->pszSensorName, sizeof(psInfo->pszSensorName), "%s", kSensorName);
    psInfo->fNumber = 0.0;
    psInfo->ui16FocalLength = 0;
    psInfo->ui32WellDepth = 0;
    psInfo->flReadNoise = 0.0;
    psInfo->ui8Imager = psCam->ui8Gasket;
    psInfo->bBackFacing = QOV_TRUE;
    if (psCam->pConnection) {
        const CI_HWINFO &hw = psCam->pConnection->sHWInfo;
        snprintf(psInfo->pszSensorVersion, sizeof(psInfo->pszSensorVersion), "%d.%d.%d", (int)hw.rev_ui8Major,
                 (int)hw.rev_ui8Minor, (int)hw.rev_ui8Maint);
    } else {
        LOG_WARNING("need the connection to have been set to get version\n");
        snprintf(psInfo->pszSensorVersion, sizeof(psInfo->pszSensorVersion), "not-verified");
    }

    if (!psCam->pszFilename) {
        LOG_WARNING("need a filename to have been selected before getting all dg "
                    "sensor information!\n");
        psInfo->eBayerOriginal = MOSAIC_RGGB;
        psInfo->eBayerEnabled = MOSAIC_RGGB;
        return QOV_SUCCESS;
    }
    MOSAICType eMosaic = MOSAIC_NONE;
    if (bayerOrder(psCam->sImage.info.eColourModel, &eMosaic) != QOV_SUCCESS) {
        LOG_ERROR("un-expected image format!\n");
        return QOV_ERROR_NOT_SUPPORTED;
    }
    psInfo->eBayerOriginal = eMosaic;
    psInfo->eBayerEnabled = eMosaic;
    return QOV_SUCCESS;
}

static QOV_RESULT IIFDG_GetGainRange(SENSOR_HANDLE hHandle, double *pflMin, double *pflMax, QOV_UINT8 *puiContexts)
{
    (void)hHandle;
    *pflMin = 1.0;
    *pflMax = 1.0;
    *puiContexts = 0;
    return QOV_SUCCESS;
}

static QOV_RESULT IIFDG_GetCurrentGain(SENSOR_HANDLE hHandle, double *pflCurrent, QOV_UINT8 ui8Context)
{
    (void)hHandle;
    (void)ui8Context;
    *pflCurrent = 1.0;
    return QOV_SUCCESS;
}

static QOV_RESULT IIFDG_SetGain(SENSOR_HANDLE hHandle, double flGain, QOV_UINT8 ui8Context)
{
    (void)hHandle;
    (void)ui8Context;
    if (flGain != 1.0) {
        LOG_ERROR("cannot change gain\n");
        return QOV_ERROR_NOT_SUPPORTED;
    }
    return QOV_SUCCESS;
}

static QOV_RESULT IIFDG_GetExposureRange(SENSOR_HANDLE hHandle, QOV_UINT32 *pui32Min, QOV_UINT32 *pui32Max,
                                         QOV_UINT8 *pui8Contexts)
{
    SENSOR_MODE sMode{};
    QOV_RESULT ret = IIFDG_GetMode(hHandle, camOf(hHandle)->ui8Mode, &sMode);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("could not get sensor mode\n");
        return ret;
    }
    *pui32Max = (QOV_UINT32)(1000000.0 / sMode.flFrameRate);
    *pui32Min = *pui32Max / 1000;
    *pui8Contexts = 0;
    return QOV_SUCCESS;
}

static QOV_RESULT IIFDG_GetExposure(SENSOR_HANDLE hHandle, QOV_UINT32 *pui32Exposure, QOV_UINT8 ui8Context)
{
    IIFDG_CAM *psCam = camOf(hHandle);
    if (ui8Context != 0) {
        LOG_ERROR("supports only sensor context 0\n");
        return QOV_ERROR_NOT_SUPPORTED;
    }
    QOV_UINT32 ui32Min = 0, ui32Max = 0;
    QOV_UINT8 ui8Contexts = 0;
    QOV_RESULT ret = IIFDG_GetExposureRange(hHandle, &ui32Min, &ui32Max, &ui8Contexts);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("could not get exposure ranges\n");
        return ret;
    }
    if (psCam->ui32CurrentExposure == 0) {
        // the geometric mean of the range
        const QOV_UINT32 ui32Product = ui32Min * ui32Max;
        psCam->ui32CurrentExposure = (QOV_UINT32)std::floor(std::sqrt((double)ui32Product));
    }
    *pui32Exposure = psCam->ui32CurrentExposure;
    return QOV_SUCCESS;
}

static QOV_RESULT IIFDG_SetExposure(SENSOR_HANDLE hHandle, QOV_UINT32 ui32Current, QOV_UINT8 ui8Context)
{
    IIFDG_CAM *psCam = camOf(hHandle);
    (void)ui8Context;
    QOV_UINT32 ui32Min = 0, ui32Max = 0;
    QOV_UINT8 ui8Contexts = 0;
    QOV_RESULT ret = IIFDG_GetExposureRange(hHandle, &ui32Min, &ui32Max, &ui8Contexts);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("could not get exposure ranges\n");
        return ret;
    }
    if (ui32Current < ui32Min || ui32Current > ui32Max) {
        LOG_ERROR("given exposure %d is illegal (mode=%d min=%d max=%d)\n", (int)ui32Current, (int)psCam->ui8Mode,
                  (int)ui32Min, (int)ui32Max);
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    // The camera using this sensor emulates the exposure itself.
    psCam->ui32CurrentExposure = ui32Current;
    return QOV_SUCCESS;
}

static QOV_RESULT IIFDG_Insert(SENSOR_HANDLE hHandle)
{
    IIFDG_CAM *psCam = camOf(hHandle);
    SENSOR_STATUS sStatus{};
    QOV_RESULT ret = IIFDG_GetState(hHandle, &sStatus);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("failed to get sensor status!\n");
        return ret;
    }
    if (sStatus.eState != SENSOR_STATE_RUNNING) {
        LOG_ERROR("cannot insert before enabling the sensor!\n");
        return QOV_ERROR_NOT_INITIALISED;
    }

    CI_DG_FRAME *pFrame = CI_DatagenGetAvailableFrame(psCam->pDatagen);
    if (!pFrame) {
        LOG_ERROR("failed to acquire an available frame\n");
        return QOV_ERROR_NOT_AVAILABLE;
    }

    if (psCam->ui32StagingSize < pFrame->ui32AllocSize) {
        freeStaging(psCam);
        psCam->pStaging = calloc(1, pFrame->ui32AllocSize);
        if (!psCam->pStaging) {
            LOG_ERROR("failed to allocate temporary memory\n");
            CI_DatagenReleaseFrame(pFrame);
            return QOV_ERROR_NO_MEMORY;
        }
        psCam->ui32StagingSize = pFrame->ui32AllocSize;
    }
    CI_DG_FRAME sCopy = *pFrame;
    sCopy.data = psCam->pStaging;

    const QOV_UINT32 ui32FrameNo = psCam->ui32FrameNoToLoad;
    ret = SimImageIn_convertFrame(&psCam->sImage, (QOV_INT32)ui32FrameNo);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("failed to load frame %d from '%s'\n", (int)ui32FrameNo, psCam->pszFilename);
        CI_DatagenReleaseFrame(pFrame);
        return ret;
    }
    if (psCam->bIsVideo) {
        // Without a cap the whole file is played: wrap at its last frame
        // rather than run past it.
        const QOV_UINT32 ui32Wrap = psCam->ui32FrameCount ? psCam->ui32FrameCount : psCam->sImage.nFrames;
        psCam->ui32FrameNoToLoad = ui32Wrap ? (ui32FrameNo + 1) % ui32Wrap : ui32FrameNo + 1;
    }

    ret = CI_ConverterConvertFrame(&psCam->sConverter, &psCam->sImage, &sCopy);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("failed to convert frame!\n");
        CI_DatagenReleaseFrame(pFrame);
        return ret;
    }

    void *pMapped = pFrame->data;
    memcpy(pMapped, psCam->pStaging, pFrame->ui32AllocSize);
    *pFrame = sCopy;
    pFrame->data = pMapped;
    pFrame->ui32HorizontalBlanking = psCam->ui16HBlanking;
    pFrame->ui32VerticalBlanking = psCam->ui16VBlanking;

    ret = CI_DatagenInsertFrame(pFrame);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("failed to trigger frame!\n");
        CI_DatagenReleaseFrame(pFrame);
    }
    return ret;
}

static QOV_RESULT IIFDG_WaitProcessed(SENSOR_HANDLE hHandle)
{
    IIFDG_CAM *psCam = camOf(hHandle);
    SENSOR_STATUS sStatus{};
    QOV_RESULT ret = IIFDG_GetState(hHandle, &sStatus);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("failed to get sensor status!\n");
        return ret;
    }
    if (sStatus.eState != SENSOR_STATE_RUNNING) {
        LOG_ERROR("cannot wait for processed frame if not enabled!\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    return CI_DatagenWaitProcessedFrame(psCam->pDatagen, QOV_TRUE);
}

QOV_RESULT IIFDG_Create(SENSOR_HANDLE *phHandle)
{
    IIFDG_CAM *psCam = static_cast<IIFDG_CAM *>(calloc(1, sizeof(IIFDG_CAM)));
    if (!psCam) {
        LOG_ERROR("Failed to allocate internal structure (%zd bytes)\n", (ssize_t)sizeof(IIFDG_CAM));
        return QOV_ERROR_NO_MEMORY;
    }
    psCam->sFuncs.GetMode = IIFDG_GetMode;
    psCam->sFuncs.GetState = IIFDG_GetState;
    psCam->sFuncs.SetMode = IIFDG_SetMode;
    psCam->sFuncs.Enable = IIFDG_Enable;
    psCam->sFuncs.Disable = IIFDG_Disable;
    psCam->sFuncs.Destroy = IIFDG_Destroy;
    psCam->sFuncs.GetInfo = IIFDG_GetInfo;
    psCam->sFuncs.GetGainRange = IIFDG_GetGainRange;
    psCam->sFuncs.GetCurrentGain = IIFDG_GetCurrentGain;
    psCam->sFuncs.SetGain = IIFDG_SetGain;
    psCam->sFuncs.GetExposureRange = IIFDG_GetExposureRange;
    psCam->sFuncs.GetExposure = IIFDG_GetExposure;
    psCam->sFuncs.SetExposure = IIFDG_SetExposure;
    psCam->sFuncs.Insert = IIFDG_Insert;
    psCam->sFuncs.WaitProcessed = IIFDG_WaitProcessed;
    SimImageIn_init(&psCam->sImage);
    psCam->ui32BuffersCount = 1;
    *phHandle = &psCam->sFuncs;
    return QOV_SUCCESS;
}

/*-------------------------------------------------------------------------
 * Extension functions
 *-------------------------------------------------------------------------*/

namespace {

// Refuses a settings change while the generator runs; `what` names the
// setting in the message.
QOV_RESULT refuseWhileRunning(SENSOR_HANDLE hHandle, const char *function, unsigned line, const char *what)
{
    SENSOR_STATUS sStatus{};
    QOV_RESULT ret = IIFDG_GetState(hHandle, &sStatus);
    if (ret != QOV_SUCCESS) {
        LOG_Error(function, line, LOG_TAG, "failed to get status!\n");
        return ret;
    }
    if (sStatus.eState == SENSOR_STATE_RUNNING) {
        LOG_Error(function, line, LOG_TAG, "sensor is in wrong state %d to change %s\n", (int)sStatus.eState, what);
        return QOV_ERROR_NOT_ALLOWED;
    }
    return QOV_SUCCESS;
}

#define REFUSE_WHILE_RUNNING(handle, what) refuseWhileRunning((handle), __func__, __LINE__, (what))

}  // namespace

QOV_RESULT IIFDG_ExtendedSetConnection(SENSOR_HANDLE hHandle, CI_CONNECTION *pConnection)
{
    QOV_RESULT ret;
    IIFDG_CAM *psCam = EXTENDED_CAM(hHandle, ret);
    if (!psCam)
        return ret;
    if (!pConnection) {
        LOG_ERROR("NULL conn given\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (psCam->pConnection)
        return QOV_ERROR_ALREADY_EXISTS;
    psCam->pConnection = pConnection;
    return QOV_SUCCESS;
}

QOV_RESULT IIFDG_ExtendedSetSourceFile(SENSOR_HANDLE hHandle, const char *pszFilename)
{
    QOV_RESULT ret;
    IIFDG_CAM *psCam = EXTENDED_CAM(hHandle, ret);
    if (!psCam)
        return ret;
    ret = REFUSE_WHILE_RUNNING(hHandle, "parameter source file");
    if (ret != QOV_SUCCESS)
        return ret;
    if (!pszFilename) {
        LOG_ERROR("NULL filename given\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }

    free(psCam->pszFilename);
    psCam->pszFilename = strdup(pszFilename);
    SimImageIn_close(&psCam->sImage);
    if (!psCam->pszFilename || SimImageIn_loadJUX(&psCam->sImage, pszFilename) != QOV_SUCCESS) {
        LOG_ERROR("failed to load '%s'\n", pszFilename);
        free(psCam->pszFilename);
        psCam->pszFilename = nullptr;
        // a half-loaded source would still report the file's frame count
        SimImageIn_close(&psCam->sImage);
        ret = QOV_ERROR_INVALID_ARGUMENT;
    } else if ((ret = CHECK_FRAME_SIZE(psCam)) != QOV_SUCCESS) {
        free(psCam->pszFilename);
        psCam->pszFilename = nullptr;
        SimImageIn_close(&psCam->sImage);
    }
    psCam->ui32FrameCount = psCam->sImage.nFrames;
    LOG_INFO("change input file to '%s' containing %d frames\n", pszFilename, (int)psCam->sImage.nFrames);
    return ret;
}

QOV_RESULT IIFDG_ExtendedGetSourceFile(SENSOR_HANDLE hHandle, const char **ppszFilename)
{
    QOV_RESULT ret;
    IIFDG_CAM *psCam = EXTENDED_CAM(hHandle, ret);
    if (!psCam)
        return ret;
    if (!ppszFilename) {
        LOG_ERROR("NULL filename given\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    *ppszFilename = psCam->pszFilename;
    return QOV_SUCCESS;
}

QOV_RESULT IIFDG_ExtendedSetGasket(SENSOR_HANDLE hHandle, QOV_UINT8 ui8Gasket)
{
    QOV_RESULT ret;
    IIFDG_CAM *psCam = EXTENDED_CAM(hHandle, ret);
    if (!psCam)
        return ret;
    ret = REFUSE_WHILE_RUNNING(hHandle, "gasket");
    if (ret != QOV_SUCCESS)
        return ret;
    // the loaded frames must fit the new gasket; else the old one stays
    const QOV_UINT8 ui8Previous = psCam->ui8Gasket;
    psCam->ui8Gasket = ui8Gasket;
    ret = CHECK_FRAME_SIZE(psCam);
    if (ret != QOV_SUCCESS)
        psCam->ui8Gasket = ui8Previous;
    return ret;
}

QOV_RESULT IIFDG_ExtendedGetGasket(SENSOR_HANDLE hHandle, QOV_UINT8 *pGasket)
{
    QOV_RESULT ret;
    IIFDG_CAM *psCam = EXTENDED_CAM(hHandle, ret);
    if (!psCam)
        return ret;
    if (!pGasket) {
        LOG_ERROR("NULL pGasket given\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    *pGasket = psCam->ui8Gasket;
    return QOV_SUCCESS;
}

QOV_RESULT IIFDG_ExtendedSetDatagen(SENSOR_HANDLE hHandle, QOV_UINT8 ui8Context)
{
    QOV_RESULT ret;
    IIFDG_CAM *psCam = EXTENDED_CAM(hHandle, ret);
    if (!psCam)
        return ret;
    ret = REFUSE_WHILE_RUNNING(hHandle, "Datagen context");
    if (ret != QOV_SUCCESS)
        return ret;
    psCam->ui8IIFDG = ui8Context;
    return QOV_SUCCESS;
}

QOV_RESULT IIFDG_ExtendedGetDatagen(SENSOR_HANDLE hHandle, QOV_UINT8 *pContext)
{
    QOV_RESULT ret;
    IIFDG_CAM *psCam = EXTENDED_CAM(hHandle, ret);
    if (!psCam)
        return ret;
    if (!pContext) {
        LOG_ERROR("NULL pContext given\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    *pContext = psCam->ui8IIFDG;
    return QOV_SUCCESS;
}

QOV_RESULT IIFDG_ExtendedSetFrameCap(SENSOR_HANDLE hHandle, QOV_UINT32 ui32FrameCap)
{
    QOV_RESULT ret;
    IIFDG_CAM *psCam = EXTENDED_CAM(hHandle, ret);
    if (!psCam)
        return ret;
    if (ui32FrameCap > psCam->sImage.nFrames) {
        LOG_ERROR("currently loaded image is %d frames - proposed cap of %d is not "
                  "possible\n",
                  (int)psCam->sImage.nFrames, (int)ui32FrameCap);
        return QOV_ERROR_NOT_SUPPORTED;
    }
    psCam->ui32FrameCount = ui32FrameCap;
    return QOV_SUCCESS;
}

QOV_RESULT IIFDG_ExtendedGetFrameCap(SENSOR_HANDLE hHandle, QOV_UINT32 *pFrameCap)
{
    QOV_RESULT ret;
    IIFDG_CAM *psCam = EXTENDED_CAM(hHandle, ret);
    if (!psCam)
        return ret;
    if (!pFrameCap) {
        LOG_ERROR("NULL pFrameCap given\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    *pFrameCap = psCam->ui32FrameCount;
    return QOV_SUCCESS;
}

QOV_UINT32 IIFDG_ExtendedGetFrameNO(SENSOR_HANDLE hHandle)
{
    QOV_RESULT ret;
    IIFDG_CAM *psCam = EXTENDED_CAM(hHandle, ret);
    if (!psCam)
        return (QOV_UINT32)ret;
    return psCam->ui32FrameNoToLoad;
}

QOV_UINT32 IIFDG_ExtendedGetFrameCount(SENSOR_HANDLE hHandle)
{
    QOV_RESULT ret;
    IIFDG_CAM *psCam = EXTENDED_CAM(hHandle, ret);
    if (!psCam)
        return (QOV_UINT32)ret;
    return psCam->sImage.nFrames;
}

QOV_RESULT IIFDG_ExtendedSetIsVideo(SENSOR_HANDLE hHandle, QOV_BOOL8 bIsVideo)
{
    QOV_RESULT ret;
    IIFDG_CAM *psCam = EXTENDED_CAM(hHandle, ret);
    if (!psCam)
        return ret;
    psCam->bIsVideo = bIsVideo;
    return QOV_SUCCESS;
}

QOV_RESULT IIFDG_ExtendedGetIsVideo(SENSOR_HANDLE hHandle, QOV_BOOL8 *pIsVideo)
{
    QOV_RESULT ret;
    IIFDG_CAM *psCam = EXTENDED_CAM(hHandle, ret);
    if (!psCam)
        return ret;
    if (!pIsVideo) {
        LOG_ERROR("NULL pIsVideo given\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    *pIsVideo = psCam->bIsVideo;
    return QOV_SUCCESS;
}

QOV_RESULT IIFDG_ExtendedSetNbBuffers(SENSOR_HANDLE hHandle, QOV_UINT32 ui32NBuffers)
{
    QOV_RESULT ret;
    IIFDG_CAM *psCam = EXTENDED_CAM(hHandle, ret);
    if (!psCam)
        return ret;
    ret = REFUSE_WHILE_RUNNING(hHandle, "number of buffers");
    if (ret != QOV_SUCCESS)
        return ret;
    psCam->ui32BuffersCount = ui32NBuffers;
    return QOV_SUCCESS;
}

QOV_RESULT IIFDG_ExtendedGetNbBuffers(SENSOR_HANDLE hHandle, QOV_UINT32 *pNBuffers)
{
    QOV_RESULT ret;
    IIFDG_CAM *psCam = EXTENDED_CAM(hHandle, ret);
    if (!psCam)
        return ret;
    if (!pNBuffers) {
        LOG_ERROR("NULL pNBuffers given\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    *pNBuffers = psCam->ui32BuffersCount;
    return QOV_SUCCESS;
}

QOV_RESULT IIFDG_ExtendedSetBlanking(SENSOR_HANDLE hHandle, QOV_UINT32 ui32HBlanking, QOV_UINT32 ui32VBlanking)
{
    QOV_RESULT ret;
    IIFDG_CAM *psCam = EXTENDED_CAM(hHandle, ret);
    if (!psCam)
        return ret;
    psCam->ui16HBlanking = (QOV_UINT16)ui32HBlanking;
    psCam->ui16VBlanking = (QOV_UINT16)ui32VBlanking;
    return QOV_SUCCESS;
}

QOV_RESULT IIFDG_ExtendedGetBlanking(SENSOR_HANDLE hHandle, QOV_UINT32 *pHBlanking, QOV_UINT32 *pVBlanking)
{
    QOV_RESULT ret;
    IIFDG_CAM *psCam = EXTENDED_CAM(hHandle, ret);
    if (!psCam)
        return ret;
    if (!pHBlanking || !pVBlanking) {
        LOG_ERROR("NULL pHBlanking or pVBlanking given\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    *pHBlanking = psCam->ui16HBlanking;
    *pVBlanking = psCam->ui16VBlanking;
    return QOV_SUCCESS;
}

QOV_RESULT IIFDG_ExtendedSetPreload(SENSOR_HANDLE hHandle, QOV_BOOL8 bPreload)
{
    QOV_RESULT ret;
    IIFDG_CAM *psCam = EXTENDED_CAM(hHandle, ret);
    if (!psCam)
        return ret;
    ret = REFUSE_WHILE_RUNNING(hHandle, "the preload option");
    if (ret != QOV_SUCCESS)
        return ret;
    psCam->bPreload = bPreload;
    return QOV_SUCCESS;
}

QOV_RESULT IIFDG_ExtendedGetPreload(SENSOR_HANDLE hHandle, QOV_BOOL8 *pbPreload)
{
    QOV_RESULT ret;
    IIFDG_CAM *psCam = EXTENDED_CAM(hHandle, ret);
    if (!psCam)
        return ret;
    if (!pbPreload) {
        LOG_ERROR("pbPreload is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    *pbPreload = psCam->bPreload;
    return QOV_SUCCESS;
}
