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

#endif
