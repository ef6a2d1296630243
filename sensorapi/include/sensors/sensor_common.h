// The shared sensor driver base: the state of a chip driver (CAM_STRUCT),
// register access over i2c-dev, hardware bring-up (board file, sensor PHY,
// power-down and reset lines, CSI multiplexer, chip-identity check), mode
// numbering and the generic implementations of most SENSOR_FUNCS slots.
// Messages are logged under "SENSOR_I2C".
//
// Register lists are constant byte arrays of fixed-size records: the
// register address big-endian (1 or 2 bytes), then one value byte. A record
// whose first byte is SENSOR_REG_END ends a list; for 2-byte addresses a
// record whose first byte is SENSOR_REG_PAUSE pauses (second byte)
// milliseconds.
//
// Mode numbers are configuration x 16 + mode within the configuration; the
// mode table holds 4 entries per configuration (entry configuration x 4 + m).
#ifndef SENSORS_SENSOR_COMMON_H
#define SENSORS_SENSOR_COMMON_H

#include "qov_types.h"
#include "sensorapi/sensorapi.h"
#include "sensors/sensor_board.h"
#include "sensors/sensor_phy.h"

struct gpiod_chip;

#define SENSOR_REG_END 0xFF
#define SENSOR_REG_PAUSE 0xFE

// Exposure and gain contexts 0 to 4.
#define SENSOR_MAX_CONTEXTS 5

// Modes per configuration in a mode table.
#define SENSOR_MODES_PER_CONFIG 4

// i2c-dev request that selects the chip of the following transfers.
#define SENSOR_I2C_SLAVE 0x0703

// One entry of a configuration table or a mode table.
typedef struct sensor_mode {
    QOV_UINT8 ui8Flipping;            // flip bits the entry allows
    const QOV_UINT8 *modeRegisters;   // its register list
    QOV_UINT32 nRegisters;            // record count; 0: not counted yet
    QOV_UINT8 sizeRegisters;          // bytes per record: 2 or 3
} sensor_mode;

// The chip's i2c-dev file and bus addresses, passed by value.
typedef struct sensor_i2c_dev {
    int fd;
    QOV_UINT8 writeAddr;  // 7-bit
    QOV_UINT8 readAddr;   // 7-bit
    QOV_UINT8 addrSize;   // register address bytes: 1 or 2
} sensor_i2c_dev;

typedef struct _cam_struct CAM_STRUCT;

// The state of one open chip sensor on the shared base.
struct _cam_struct {
    SENSOR_FUNCS sFuncs;  // first: the state's address is the SENSOR_HANDLE
    double refClock;      // reference clock in Hz
    QOV_UINT16 ui16CurrentMode;
    QOV_UINT8 ui8CurrentFlipping;
    QOV_BOOL8 bEnabled;  // streaming
    unsigned int currConfig;
    SENSOR_MODE currMode;
    const QOV_UINT8 *currModeReg;
    const QOV_UINT8 *currConfReg;
    QOV_UINT32 nConfRegisters;
    QOV_UINT32 nModeRegisters;
    sensor_mode *pConfigs;
    const QOV_UINT8 *pHsFreqRange;  // per-configuration PHY frequency range (optional)
    sensor_mode *pModes;
    const QOV_UINT8 *pNumModes;  // modes per configuration
    QOV_UINT8 uiConfigsSize;     // bytes of the configuration table
    QOV_UINT16 uiModesSize;      // bytes of the mode table
    QOV_UINT8 uiNumModesSize;    // entries of the modes-per-configuration table
    double sclk;                 // internal pixel clock in Hz, from GetConfInfo
    unsigned int num_lanes;
    unsigned int vts;
    QOV_UINT32 ui32Exposure[SENSOR_MAX_CONTEXTS];  // microseconds
    QOV_UINT8 hdrFrameNum;  // highest exposure context used so far
    double aec_min_gain;
    double aec_max_gain;
    double flGain[SENSOR_MAX_CONTEXTS];
    unsigned int focus_dac_min;  // focus restored by every SetMode
    QOV_UINT16 ui16CurrentFocus;
    sensor_num nSensor;  // key in the sensor PHY table
    char sensorName[64];
    QOV_UINT8 imager;  // ISP input the sensor feeds
    QOV_UINT16 sensorChipIdOffset;
    QOV_UINT16 sensorChipId;
    QOV_UINT8 sensorNumOnBoard;  // board position
    struct gpiod_chip *rst_gpio_chip;
    struct gpiod_chip *pwdn_gpio_chip;
    struct gpiod_chip *csimx_chip;
    sensor_i2c_dev i2c_dev;
    SENSOR_PHY *psSensorPhy;  // present exactly when the bring-up succeeded

    // Chip hooks.
    // Writes the current configuration's register list.
    QOV_RESULT (*ApplyConfig)(CAM_STRUCT *psCam);
    // Writes the current mode's register list with the flip registers.
    QOV_RESULT (*ApplyMode)(CAM_STRUCT *psCam);
    // Configuration-level fields of a mode and sclk; non-zero if the configuration does not exist.
    QOV_RESULT (*GetConfInfo)(CAM_STRUCT *psCam, QOV_UINT16 nMode, SENSOR_MODE *psMode);
    // Mode-level fields of a mode; non-zero if the mode does not exist.
    QOV_RESULT (*GetModeInfo)(CAM_STRUCT *psCam, QOV_UINT16 nMode, SENSOR_MODE *psMode);
    // Register values of the context's exposure, written at `values`.
    QOV_RESULT (*ComputeExposure)(CAM_STRUCT *psCam, QOV_UINT8 ui8Context, QOV_UINT8 *values);
    // Register values of a gain, written at `values`.
    QOV_RESULT (*ComputeGains)(double flGain, QOV_UINT8 *values);
};

/*-------------------------------------------------------------------------
 * Register access
 *-------------------------------------------------------------------------*/

// Writes `len` bytes of register records, one write per record, pausing at
// pause records (2-byte addresses).
QOV_RESULT sensor_i2c_write8(sensor_i2c_dev i2c, const QOV_UINT8 *data, unsigned int len);
// Reads one register byte.
QOV_RESULT sensor_i2c_read8(sensor_i2c_dev i2c, QOV_UINT16 offset, QOV_UINT8 *data);
// Reads two bytes from a register on, big-endian.
QOV_RESULT sensor_i2c_read16(sensor_i2c_dev i2c, QOV_UINT16 offset, QOV_UINT16 *data);
// The register list of table entry `index` and its record count (counted on
// first use and cached in the entry); null when the index is outside the table.
const QOV_UINT8 *SensorModeGetRegisters(sensor_mode *table, const int tableBytes, unsigned int index,
                                        unsigned int *pnRegisters);

// The sleep of power sequences and register-list pauses.
void sensor_usleep(QOV_UINT32 microseconds);

/*-------------------------------------------------------------------------
 * Bring-up and modes
 *-------------------------------------------------------------------------*/

// Brings the hardware up for a state whose chip fields are filled:
// QOV_SUCCESS or QOV_ERROR_DEVICE_FAILED (nothing left open).
QOV_RESULT CamInitialize(CAM_STRUCT *psCam);
QOV_RESULT CamCheckMode(CAM_STRUCT *psCam, QOV_UINT16 nMode);
// Selects the configuration register list of a mode number.
QOV_RESULT CamSetConfig(CAM_STRUCT *psCam, QOV_UINT16 nMode);

/*-------------------------------------------------------------------------
 * Generic slots
 *-------------------------------------------------------------------------*/

QOV_RESULT SensorFuncGetMode(SENSOR_HANDLE hHandle, QOV_UINT16 nIndex, SENSOR_MODE *psModes);
QOV_RESULT SensorFuncGetState(SENSOR_HANDLE hHandle, SENSOR_STATUS *psStatus);
QOV_RESULT SensorFuncSetMode(SENSOR_HANDLE hHandle, QOV_UINT16 nMode, QOV_UINT8 ui8Flipping);
// Switches PHY and gasket on, then writes configuration and mode. A failed
// switch leaves the sensor idle (gasket released); a failed configuration or
// mode write is returned with the sensor streaming, for Disable to stop.
QOV_RESULT SensorFuncEnable(SENSOR_HANDLE hHandle);
QOV_RESULT SensorFuncDestroy(SENSOR_HANDLE hHandle);
QOV_RESULT SensorFuncGetGainRange(SENSOR_HANDLE hHandle, double *pflMin, double *pflMax,
                                  QOV_UINT8 *puiContexts);
QOV_RESULT SensorFuncGetGain(SENSOR_HANDLE hHandle, double *pflCurrent, QOV_UINT8 ui8Context);
QOV_RESULT SensorFuncGetExposureRange(SENSOR_HANDLE hHandle, QOV_UINT32 *pui32Min,
                                      QOV_UINT32 *pui32Max, QOV_UINT8 *pui8Contexts);
QOV_RESULT SensorFuncGetExposure(SENSOR_HANDLE hHandle, QOV_UINT32 *pui32Exposure,
                                 QOV_UINT8 ui8Context);

/*-------------------------------------------------------------------------
 * Bodies of chip slots
 *-------------------------------------------------------------------------*/

// The body of a chip's Disable: stop list, gasket report, one frame time,
// PHY and gasket off.
QOV_RESULT SensorFuncDisable(SENSOR_HANDLE hHandle, const QOV_UINT8 *disableRegs,
                             const QOV_UINT16 length);
// The body of a chip's SetExposure: stores the exposure, lets ComputeExposure
// fill the template from byte `firstExpReg` on and writes `length` bytes of it;
// returns the write's result (QOV_ERROR_I2C_FAILED when the bus failed).
QOV_RESULT SensorFuncSetExposure(SENSOR_HANDLE hHandle, QOV_UINT32 ui32Current, QOV_UINT8 ui8Context,
                                 QOV_UINT8 *exposureRegs, const QOV_UINT16 length,
                                 const QOV_UINT8 firstExpReg);
// The body of a chip's SetGain, likewise with ComputeGains.
QOV_RESULT SensorFuncSetGain(SENSOR_HANDLE hHandle, double flGain, QOV_UINT8 ui8Context,
                             QOV_UINT8 *gainRegs, const QOV_UINT16 length,
                             const QOV_UINT8 firstGainReg);

/*-------------------------------------------------------------------------
 * Chip drivers on the base
 *-------------------------------------------------------------------------*/

// What tells one chip driver on the shared base from another when it is
// created: its fixed fields, tables, own slots and hooks.
typedef struct sensor_chip {
    const char *name;  // sensorName
    QOV_UINT8 i2cAddr;
    QOV_UINT8 addrSize;  // register address bytes: 1 or 2
    QOV_UINT16 chipIdReg;
    QOV_UINT16 chipId;
    double minGain;  // also the gain of context 0 until set
    double maxGain;
    sensor_mode *configs;
    QOV_UINT8 configsSize;
    sensor_mode *modes;
    QOV_UINT16 modesSize;
    const QOV_UINT8 *numModes;
    QOV_UINT8 numModesSize;
    const QOV_UINT8 *hsFreqRange = nullptr;  // optional
    unsigned int focusDacMin = 0;  // focus restored by every SetMode
    QOV_UINT16 initialFocus = 0;
    // Slots of the chip's own; the focus slots are optional.
    QOV_RESULT (*Disable)(SENSOR_HANDLE);
    QOV_RESULT (*GetInfo)(SENSOR_HANDLE, SENSOR_INFO *);
    QOV_RESULT (*SetGain)(SENSOR_HANDLE, double, QOV_UINT8);
    QOV_RESULT (*SetExposure)(SENSOR_HANDLE, QOV_UINT32, QOV_UINT8);
    QOV_RESULT (*GetFocusRange)(SENSOR_HANDLE, QOV_UINT16 *, QOV_UINT16 *) = nullptr;
    QOV_RESULT (*GetCurrentFocus)(SENSOR_HANDLE, QOV_UINT16 *) = nullptr;
    QOV_RESULT (*SetFocus)(SENSOR_HANDLE, QOV_UINT16) = nullptr;
    // Hooks.
    QOV_RESULT (*ApplyConfig)(CAM_STRUCT *);
    QOV_RESULT (*ApplyMode)(CAM_STRUCT *);
    QOV_RESULT (*GetConfInfo)(CAM_STRUCT *, QOV_UINT16, SENSOR_MODE *);
    QOV_RESULT (*GetModeInfo)(CAM_STRUCT *, QOV_UINT16, SENSOR_MODE *);
    QOV_RESULT (*ComputeExposure)(CAM_STRUCT *, QOV_UINT8, QOV_UINT8 *);
    QOV_RESULT (*ComputeGains)(double, QOV_UINT8 *);
} SENSOR_CHIP;

// A zeroed state with the generic slots, the chip's slots, hooks and fields
// filled in for sensor `nSensor` at board position `ui8BoardPosition`; null
// when out of memory. Logs nothing.
CAM_STRUCT *SensorCamAlloc(const SENSOR_CHIP *psChip, sensor_num nSensor,
                           QOV_UINT8 ui8BoardPosition);
// Brings an allocated state up: QOV_SUCCESS with *phHandle the sensor, or
// QOV_ERROR_DEVICE_FAILED with the state freed and *phHandle null.
QOV_RESULT SensorCamStart(CAM_STRUCT *psCam, SENSOR_HANDLE *phHandle);
// A whole chip Create: refuses a null phHandle ("phHandle is NULL"), reports a
// failed allocation ("failed to allocate the sensor state"), then allocates
// and starts. Messages are logged under the caller's function and tag.
QOV_RESULT SensorChipCreate(const SENSOR_CHIP *psChip, SENSOR_HANDLE *phHandle, sensor_num nSensor,
                            QOV_UINT8 ui8BoardPosition, const char *function, const char *tag);

// How a chip's GetInfo logs, under the caller's function and tag.
typedef struct sensor_info_log {
    const char *function;
    const char *tag;
    const char *reading;   // warning before the chip-id read; null: the read is not logged
    QOV_BOOL8 readAsInfo;  // "Read device ID" at info level, else at warning level
} SENSOR_INFO_LOG;

// The shared part of a chip's GetInfo: QOV_ERROR_NOT_INITIALISED ("sensor not
// initialised") when the bring-up failed; otherwise sets the Bayer order
// (original and enabled), the name, the imager, the version (the chip id read
// at sensorChipIdOffset as "0x%x", "not-verified" when the read fails),
// f-number 1.2, read noise 5 and back-facing.
QOV_RESULT SensorInfoFill(CAM_STRUCT *psCam, SENSOR_INFO *psInfo, MOSAICType eBayer,
                          const char *pszName, QOV_UINT8 ui8Imager, const SENSOR_INFO_LOG *psLog);

// The Bayer order of a chip whose flips move it from RGGB (horizontal: GRBG,
// vertical: GBRG, both: BGGR).
MOSAICType SensorFlippedRGGB(QOV_UINT8 ui8Flipping);

// Hooks of chips whose configuration writes nothing and describes nothing.
QOV_RESULT SensorNoConfig(CAM_STRUCT *psCam);
QOV_RESULT SensorNoConfInfo(CAM_STRUCT *psCam, QOV_UINT16 nMode, SENSOR_MODE *psMode);

// Keeps the first failure of a run of register writes that goes on past failures.
inline void SensorKeepFirstFailure(QOV_RESULT &ret, QOV_RESULT written)
{
    if (ret == QOV_SUCCESS)
        ret = written;
}

// Reads a 16-bit register (big-endian) of chip `addr` over an open i2c-dev
// file: chip selection, register address, two bytes. Logs under the caller's
// function and tag; `selectError` is the message of a failed selection
// (QOV_ERROR_I2C_FAILED); a short read gives QOV_ERROR_FAILURE.
QOV_RESULT sensor_i2c_fd_read16(int fd, QOV_UINT8 addr, QOV_UINT16 offset, QOV_UINT16 *data,
                                const char *function, const char *tag, const char *selectError);

// Fills a status: uninitialised (mode 0, no flip) when `bInitialised` is
// false, else the mode, the flips and running or idle.
void SensorStatusFill(SENSOR_STATUS *psStatus, bool bInitialised, QOV_UINT16 ui16Mode,
                      QOV_UINT8 ui8Flipping, bool bEnabled);

// True when the sensor already streams, with "<name> is already enabled"
// logged under the caller's function and tag: a second Enable must neither
// restart the chip nor take the PHY and gasket it holds for idle.
bool SensorAlreadyEnabled(bool bEnabled, const char *pszName, const char *function, const char *tag);
// Switches PHY and gasket on. A refusal is logged ("failed to switch on the
// sensor phy of <name>") under the caller's function and tag, the gasket is
// given back when the PHY (answering -1) refused, and QOV_ERROR_DEVICE_FAILED
// (or the other failure) is returned.
QOV_RESULT SensorPhySwitchOn(SENSOR_PHY *psPhy, QOV_UINT8 ui8Lanes, QOV_UINT8 ui8HsFreqRange,
                             const char *pszName, const char *function, const char *tag);
// Waits one frame time at `flFrameRate` (none when not positive), so that the
// frame in flight ends, then switches PHY and gasket of sensor `nSensor` off.
void SensorPhySwitchOff(SENSOR_PHY *psPhy, sensor_num nSensor, double flFrameRate);

// A figure computed in floating point as an unsigned 32-bit value (0 below, saturated above).
inline QOV_UINT32 SensorToU32(double value)
{
    if (!(value > 0.0))
        return 0;
    if (value >= 4294967295.0)
        return 0xFFFFFFFFu;
    return static_cast<QOV_UINT32>(value);
}

// The state of a handle on the shared base.
inline CAM_STRUCT *SensorCam(SENSOR_HANDLE hHandle) { return reinterpret_cast<CAM_STRUCT *>(hHandle); }

#endif
