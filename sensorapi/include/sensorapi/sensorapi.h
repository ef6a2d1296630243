// The sensor interface: the one doorway to an image sensor or a frame source.
//
// A caller opens a sensor by its number in the sensor table, receives a
// SENSOR_HANDLE and drives it only through the Sensor_ functions, which check
// their arguments and forward to the driver's table of operations. Messages
// are logged under the tag "SENSOR".
#ifndef SENSORAPI_SENSORAPI_H
#define SENSORAPI_SENSORAPI_H

#include <cstdio>

#include "qov_types.h"
#include "vezaracommon/pixel_format.h"

struct CI_CONNECTION;

// Flip bits.
enum _Sensor_Flipping_ {
    SENSOR_FLIP_NONE = 0,
    SENSOR_FLIP_HORIZONTAL = 1,
    SENSOR_FLIP_VERTICAL = 2,
    SENSOR_FLIP_BOTH = 3,
};

typedef enum _Sensor_State_ {
    SENSOR_STATE_UNINITIALISED = 0,
    SENSOR_STATE_IDLE = 1,     // open, not streaming
    SENSOR_STATE_RUNNING = 2,  // streaming
} SENSOR_STATE;

// One sensor mode.
typedef struct _Sensor_Mode_ {
    QOV_UINT8 ui8BitDepth;
    QOV_UINT16 ui16Width;   // active pixels per line
    QOV_UINT16 ui16Height;  // active lines
    double flFrameRate;     // frames per second
    double flPixelRate;     // unit stated by each driver (Mpx/s for most chips)
    QOV_UINT16 ui16HorizontalTotal;
    QOV_UINT16 ui16VerticalTotal;
    QOV_UINT8 ui8SupportFlipping;  // flip bits the mode allows
    QOV_UINT32 ui32ExposureMin;    // microseconds
    QOV_UINT32 ui32ExposureMax;    // microseconds
    QOV_UINT8 ui8MipiLanes;        // 0 for a parallel source
    QOV_UINT8 ui8MipiHsFreqRange;  // PHY high-speed frequency-range code
    QOV_UINT16 ui8MipiOscFreq;     // PHY oscillator-frequency setting (16 bits)
    HDR_MODES eHDRMode;
    QOV_BOOL8 bLongExpFirst;
    QOV_UINT32 ui32LineGap;
} SENSOR_MODE;

typedef struct _Sensor_Status_ {
    QOV_UINT16 ui16CurrentMode;
    QOV_UINT8 ui8Flipping;  // flips in force
    SENSOR_STATE eState;
} SENSOR_STATUS;

typedef struct _Sensor_Info_ {
    MOSAICType eBayerOriginal;
    MOSAICType eBayerEnabled;
    char pszSensorName[64];
    char pszSensorVersion[64];
    double fNumber;
    QOV_UINT16 ui16FocalLength;
    QOV_UINT32 ui32WellDepth;  // electrons
    double flReadNoise;
    QOV_UINT8 ui8Imager;  // ISP input port (gasket) the sensor feeds
    QOV_BOOL bBackFacing;
    SENSOR_STATUS sStatus;
    SENSOR_MODE sMode;  // the current mode
} SENSOR_INFO;

typedef struct _Sensor_Functions_ SENSOR_FUNCS;
// The address of a driver's SENSOR_FUNCS, which is the first member of its state.
typedef SENSOR_FUNCS *SENSOR_HANDLE;

// The operations of a driver, in this order. Slots 1 to 13 are required,
// slots 14 to 19 optional.
struct _Sensor_Functions_ {
    QOV_RESULT (*GetMode)(SENSOR_HANDLE hHandle, QOV_UINT16 nIndex, SENSOR_MODE *psModes);
    QOV_RESULT (*GetState)(SENSOR_HANDLE hHandle, SENSOR_STATUS *psStatus);
    QOV_RESULT (*SetMode)(SENSOR_HANDLE hHandle, QOV_UINT16 nMode, QOV_UINT8 ui8Flipping);
    QOV_RESULT (*Enable)(SENSOR_HANDLE hHandle);
    QOV_RESULT (*Disable)(SENSOR_HANDLE hHandle);
    QOV_RESULT (*Destroy)(SENSOR_HANDLE hHandle);
    QOV_RESULT (*GetInfo)(SENSOR_HANDLE hHandle, SENSOR_INFO *psInfo);
    QOV_RESULT (*GetGainRange)(SENSOR_HANDLE hHandle, double *pflMin, double *pflMax,
                               QOV_UINT8 *puiContexts);
    QOV_RESULT (*GetCurrentGain)(SENSOR_HANDLE hHandle, double *pflCurrent, QOV_UINT8 ui8Context);
    QOV_RESULT (*SetGain)(SENSOR_HANDLE hHandle, double flGain, QOV_UINT8 ui8Context);
    QOV_RESULT (*GetExposureRange)(SENSOR_HANDLE hHandle, QOV_UINT32 *pui32Min, QOV_UINT32 *pui32Max,
                                   QOV_UINT8 *pui8Contexts);
    QOV_RESULT (*GetExposure)(SENSOR_HANDLE hHandle, QOV_UINT32 *pui32Exposure, QOV_UINT8 ui8Context);
    QOV_RESULT (*SetExposure)(SENSOR_HANDLE hHandle, QOV_UINT32 ui32Exposure, QOV_UINT8 ui8Context);
    QOV_RESULT (*GetFocusRange)(SENSOR_HANDLE hHandle, QOV_UINT16 *pui16Min, QOV_UINT16 *pui16Max);
    QOV_RESULT (*GetCurrentFocus)(SENSOR_HANDLE hHandle, QOV_UINT16 *pui16Current);
    QOV_RESULT (*SetFocus)(SENSOR_HANDLE hHandle, QOV_UINT16 ui16Focus);
    QOV_RESULT (*ConfigureFlash)(SENSOR_HANDLE hHandle, QOV_BOOL bAlwaysOn, QOV_INT16 i16FrameDelay,
                                 QOV_INT16 i16Frames, QOV_UINT16 ui16FlashPulseWidth);
    QOV_RESULT (*Insert)(SENSOR_HANDLE hHandle);
    QOV_RESULT (*WaitProcessed)(SENSOR_HANDLE hHandle);
};

// A driver's create function: allocates its state, brings the hardware up
// and stores the handle.
typedef QOV_RESULT (*SENSOR_CREATE_FUNC)(SENSOR_HANDLE *phHandle);

/*-------------------------------------------------------------------------
 * The sensor table
 *-------------------------------------------------------------------------*/

// The 24 sensor names followed by a null entry; a name's index is its number.
const char *const *Sensor_ListAll();
// 24.
QOV_UINT32 Sensor_NumberSensors();
// Opens sensor nSensor of the table with its create function.
QOV_RESULT Sensor_Initialise(QOV_UINT16 nSensor, SENSOR_HANDLE *phHandle);

/*-------------------------------------------------------------------------
 * Forwarding operations
 *-------------------------------------------------------------------------*/

QOV_RESULT Sensor_GetMode(SENSOR_HANDLE hHandle, QOV_UINT16 nIndex, SENSOR_MODE *psModes);
QOV_RESULT Sensor_GetState(SENSOR_HANDLE hHandle, SENSOR_STATUS *psStatus);
QOV_RESULT Sensor_SetMode(SENSOR_HANDLE hHandle, QOV_UINT16 nMode, QOV_UINT8 ui8Flipping);
QOV_RESULT Sensor_Enable(SENSOR_HANDLE hHandle);
QOV_RESULT Sensor_Disable(SENSOR_HANDLE hHandle);
QOV_RESULT Sensor_Destroy(SENSOR_HANDLE hHandle);
QOV_RESULT Sensor_GetGainRange(SENSOR_HANDLE hHandle, double *pflMin, double *pflMax,
                               QOV_UINT8 *puiContexts);
QOV_RESULT Sensor_GetCurrentGain(SENSOR_HANDLE hHandle, double *pflCurrent, QOV_UINT8 ui8Context);
QOV_RESULT Sensor_SetGain(SENSOR_HANDLE hHandle, double flGain, QOV_UINT8 ui8Context);
QOV_RESULT Sensor_GetExposureRange(SENSOR_HANDLE hHandle, QOV_UINT32 *pui32Min, QOV_UINT32 *pui32Max,
                                   QOV_UINT8 *pui8Contexts);
QOV_RESULT Sensor_GetExposure(SENSOR_HANDLE hHandle, QOV_UINT32 *pui32Exposure, QOV_UINT8 ui8Context);
QOV_RESULT Sensor_SetExposure(SENSOR_HANDLE hHandle, QOV_UINT32 ui32Exposure, QOV_UINT8 ui8Context);
QOV_RESULT Sensor_GetFocusRange(SENSOR_HANDLE hHandle, QOV_UINT16 *pui16Min, QOV_UINT16 *pui16Max);
QOV_RESULT Sensor_GetCurrentFocus(SENSOR_HANDLE hHandle, QOV_UINT16 *pui16Current);
QOV_RESULT Sensor_SetFocus(SENSOR_HANDLE hHandle, QOV_UINT16 ui16Focus);
QOV_RESULT Sensor_ConfigureFlash(SENSOR_HANDLE hHandle, QOV_BOOL bAlwaysOn, QOV_INT16 i16FrameDelay,
                                 QOV_INT16 i16Frames, QOV_UINT16 ui16FlashPulseWidth);
QOV_RESULT Sensor_Insert(SENSOR_HANDLE hHandle);
QOV_RESULT Sensor_WaitProcessed(SENSOR_HANDLE hHandle);

/*-------------------------------------------------------------------------
 * Composite operations
 *-------------------------------------------------------------------------*/

// State, the driver's own description, then the current mode.
QOV_RESULT Sensor_GetInfo(SENSOR_HANDLE hHandle, SENSOR_INFO *psInfo);
// Prints every sensor of the table with its modes (opens and destroys each).
void Sensor_PrintAllModes(FILE *f);

/*-------------------------------------------------------------------------
 * Internal data-generator extensions (handle of sensor 0 only)
 *-------------------------------------------------------------------------*/

QOV_RESULT IIFDG_ExtendedSetConnection(SENSOR_HANDLE hHandle, CI_CONNECTION *pConnection);
QOV_RESULT IIFDG_ExtendedSetSourceFile(SENSOR_HANDLE hHandle, const char *pszFilename);
QOV_RESULT IIFDG_ExtendedGetSourceFile(SENSOR_HANDLE hHandle, const char **ppszFilename);
QOV_RESULT IIFDG_ExtendedSetGasket(SENSOR_HANDLE hHandle, QOV_UINT8 ui8Gasket);
QOV_RESULT IIFDG_ExtendedGetGasket(SENSOR_HANDLE hHandle, QOV_UINT8 *pGasket);
QOV_RESULT IIFDG_ExtendedSetDatagen(SENSOR_HANDLE hHandle, QOV_UINT8 ui8Context);
QOV_RESULT IIFDG_ExtendedGetDatagen(SENSOR_HANDLE hHandle, QOV_UINT8 *pContext);
QOV_RESULT IIFDG_ExtendedSetFrameCap(SENSOR_HANDLE hHandle, QOV_UINT32 ui32FrameCap);
QOV_RESULT IIFDG_ExtendedGetFrameCap(SENSOR_HANDLE hHandle, QOV_UINT32 *pFrameCap);
QOV_UINT32 IIFDG_ExtendedGetFrameNO(SENSOR_HANDLE hHandle);
QOV_UINT32 IIFDG_ExtendedGetFrameCount(SENSOR_HANDLE hHandle);
QOV_RESULT IIFDG_ExtendedSetIsVideo(SENSOR_HANDLE hHandle, QOV_BOOL8 bIsVideo);
QOV_RESULT IIFDG_ExtendedGetIsVideo(SENSOR_HANDLE hHandle, QOV_BOOL8 *pIsVideo);
QOV_RESULT IIFDG_ExtendedSetNbBuffers(SENSOR_HANDLE hHandle, QOV_UINT32 ui32NBuffers);
QOV_RESULT IIFDG_ExtendedGetNbBuffers(SENSOR_HANDLE hHandle, QOV_UINT32 *pNBuffers);
QOV_RESULT IIFDG_ExtendedSetBlanking(SENSOR_HANDLE hHandle, QOV_UINT32 ui32HBlanking,
                                     QOV_UINT32 ui32VBlanking);
QOV_RESULT IIFDG_ExtendedGetBlanking(SENSOR_HANDLE hHandle, QOV_UINT32 *pHBlanking,
                                     QOV_UINT32 *pVBlanking);
QOV_RESULT IIFDG_ExtendedSetPreload(SENSOR_HANDLE hHandle, QOV_BOOL8 bPreload);
QOV_RESULT IIFDG_ExtendedGetPreload(SENSOR_HANDLE hHandle, QOV_BOOL8 *pbPreload);

#endif
