// The forwarding operations of the sensor interface: argument checks, then
// the driver's slot.
#include "sensorapi/sensorapi.h"

#include <cstring>

#include "vezaracommon/userlog.h"

#define LOG_TAG "SENSOR"

// Null handle: logged by the calling interface function.
#define CHECK_HANDLE(hHandle)                  \
    do {                                       \
        if (!(hHandle)) {                      \
            LOG_ERROR("hHandle is NULL\n");    \
            return QOV_ERROR_INVALID_ARGUMENT; \
        }                                      \
    } while (0)

// Required slot: an empty one fails with its name.
#define CHECK_REQUIRED(hHandle, slot)                  \
    do {                                               \
        if (!(hHandle)->slot) {                        \
            LOG_ERROR(#slot " is not defined!\n");     \
            return QOV_ERROR_FAILURE;                  \
        }                                              \
    } while (0)

// Optional slot: an empty one is silently not supported.
#define CHECK_OPTIONAL(hHandle, slot)           \
    do {                                        \
        if (!(hHandle)->slot)                   \
            return QOV_ERROR_NOT_SUPPORTED;     \
    } while (0)

QOV_RESULT Sensor_GetMode(SENSOR_HANDLE hHandle, QOV_UINT16 nIndex, SENSOR_MODE *psModes)
{
    CHECK_HANDLE(hHandle);
    if (!psModes) {
        LOG_ERROR("psModes is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    memset(psModes, 0, sizeof(*psModes));
    CHECK_REQUIRED(hHandle, GetMode);
    return hHandle->GetMode(hHandle, nIndex, psModes);
}

QOV_RESULT Sensor_GetState(SENSOR_HANDLE hHandle, SENSOR_STATUS *psStatus)
{
    CHECK_HANDLE(hHandle);
    if (!psStatus) {
        LOG_ERROR("psStatus is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    CHECK_REQUIRED(hHandle, GetState);
    return hHandle->GetState(hHandle, psStatus);
}

QOV_RESULT Sensor_SetMode(SENSOR_HANDLE hHandle, QOV_UINT16 nMode, QOV_UINT8 ui8Flipping)
{
    CHECK_HANDLE(hHandle);
    CHECK_REQUIRED(hHandle, SetMode);
    return hHandle->SetMode(hHandle, nMode, ui8Flipping);
}

QOV_RESULT Sensor_Enable(SENSOR_HANDLE hHandle)
{
    CHECK_HANDLE(hHandle);
    CHECK_REQUIRED(hHandle, Enable);
    return hHandle->Enable(hHandle);
}

QOV_RESULT Sensor_Disable(SENSOR_HANDLE hHandle)
{
    CHECK_HANDLE(hHandle);
    CHECK_REQUIRED(hHandle, Disable);
    return hHandle->Disable(hHandle);
}

QOV_RESULT Sensor_Destroy(SENSOR_HANDLE hHandle)
{
    CHECK_HANDLE(hHandle);
    CHECK_REQUIRED(hHandle, Destroy);
    return hHandle->Destroy(hHandle);
}

QOV_RESULT Sensor_GetGainRange(SENSOR_HANDLE hHandle, double *pflMin, double *pflMax,
                               QOV_UINT8 *puiContexts)
{
    CHECK_HANDLE(hHandle);
    if (!pflMin || !pflMax || !puiContexts) {
        LOG_ERROR("pflMin, pflMax or puiContexts is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    CHECK_REQUIRED(hHandle, GetGainRange);
    return hHandle->GetGainRange(hHandle, pflMin, pflMax, puiContexts);
}

QOV_RESULT Sensor_GetCurrentGain(SENSOR_HANDLE hHandle, double *pflCurrent, QOV_UINT8 ui8Context)
{
    CHECK_HANDLE(hHandle);
    if (!pflCurrent) {
        LOG_ERROR("pflCurrent is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    CHECK_REQUIRED(hHandle, GetCurrentGain);
    return hHandle->GetCurrentGain(hHandle, pflCurrent, ui8Context);
}

QOV_RESULT Sensor_SetGain(SENSOR_HANDLE hHandle, double flGain, QOV_UINT8 ui8Context)
{
    CHECK_HANDLE(hHandle);
    CHECK_REQUIRED(hHandle, SetGain);
    return hHandle->SetGain(hHandle, flGain, ui8Context);
}

QOV_RESULT Sensor_GetExposureRange(SENSOR_HANDLE hHandle, QOV_UINT32 *pui32Min, QOV_UINT32 *pui32Max,
                                   QOV_UINT8 *pui8Contexts)
{
    CHECK_HANDLE(hHandle);
    if (!pui32Min || !pui32Max || !pui8Contexts) {
        LOG_ERROR("pui32Min, pui32Max or pui8Contexts is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    CHECK_REQUIRED(hHandle, GetExposureRange);
    return hHandle->GetExposureRange(hHandle, pui32Min, pui32Max, pui8Contexts);
}

QOV_RESULT Sensor_GetExposure(SENSOR_HANDLE hHandle, QOV_UINT32 *pui32Exposure, QOV_UINT8 ui8Context)
{
    CHECK_HANDLE(hHandle);
    if (!pui32Exposure) {
        LOG_ERROR("pui32Exposure is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    CHECK_REQUIRED(hHandle, GetExposure);
    return hHandle->GetExposure(hHandle, pui32Exposure, ui8Context);
}

QOV_RESULT Sensor_SetExposure(SENSOR_HANDLE hHandle, QOV_UINT32 ui32Exposure, QOV_UINT8 ui8Context)
{
    CHECK_HANDLE(hHandle);
    CHECK_REQUIRED(hHandle, SetExposure);
    return hHandle->SetExposure(hHandle, ui32Exposure, ui8Context);
}

QOV_RESULT Sensor_GetFocusRange(SENSOR_HANDLE hHandle, QOV_UINT16 *pui16Min, QOV_UINT16 *pui16Max)
{
    CHECK_HANDLE(hHandle);
    if (!pui16Min || !pui16Max) {
        LOG_ERROR("pui16Min or pui16Max is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    CHECK_OPTIONAL(hHandle, GetFocusRange);
    return hHandle->GetFocusRange(hHandle, pui16Min, pui16Max);
}

QOV_RESULT Sensor_GetCurrentFocus(SENSOR_HANDLE hHandle, QOV_UINT16 *pui16Current)
{
    CHECK_HANDLE(hHandle);
    if (!pui16Current) {
        LOG_ERROR("pui16Current is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    CHECK_OPTIONAL(hHandle, GetCurrentFocus);
    return hHandle->GetCurrentFocus(hHandle, pui16Current);
}

QOV_RESULT Sensor_SetFocus(SENSOR_HANDLE hHandle, QOV_UINT16 ui16Focus)
{
    CHECK_HANDLE(hHandle);
    CHECK_OPTIONAL(hHandle, SetFocus);
    return hHandle->SetFocus(hHandle, ui16Focus);
}

QOV_RESULT Sensor_ConfigureFlash(SENSOR_HANDLE hHandle, QOV_BOOL bAlwaysOn, QOV_INT16 i16FrameDelay,
                                 QOV_INT16 i16Frames, QOV_UINT16 ui16FlashPulseWidth)
{
    CHECK_HANDLE(hHandle);
    CHECK_OPTIONAL(hHandle, ConfigureFlash);
    return hHandle->ConfigureFlash(hHandle, bAlwaysOn, i16FrameDelay, i16Frames, ui16FlashPulseWidth);
}

QOV_RESULT Sensor_Insert(SENSOR_HANDLE hHandle)
{
    CHECK_HANDLE(hHandle);
    CHECK_OPTIONAL(hHandle, Insert);
    return hHandle->Insert(hHandle);
}

QOV_RESULT Sensor_WaitProcessed(SENSOR_HANDLE hHandle)
{
    CHECK_HANDLE(hHandle);
    CHECK_OPTIONAL(hHandle, WaitProcessed);
    return hHandle->WaitProcessed(hHandle);
}

QOV_RESULT Sensor_GetInfo(SENSOR_HANDLE hHandle, SENSOR_INFO *psInfo)
{
    CHECK_HANDLE(hHandle);
    if (!psInfo) {
        LOG_ERROR("psInfo is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    CHECK_REQUIRED(hHandle, GetInfo);

    QOV_RESULT ret = Sensor_GetState(hHandle, &psInfo->sStatus);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("failed to get sensor's state\n");
        return ret;
    }
    ret = hHandle->GetInfo(hHandle, psInfo);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("failed to get sensor's info\n");
        return ret;
    }
    ret = Sensor_GetMode(hHandle, psInfo->sStatus.ui16CurrentMode, &psInfo->sMode);
    if (ret != QOV_SUCCESS)
        LOG_ERROR("failed to get sensor's mode\n");
    return ret;
}
