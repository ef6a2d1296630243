// IMX219 image sensor on the shared driver base: 16-bit register addresses
// with 8-bit values at I2C address 0x10, one configuration without registers
// of its own and three modes whose timing is derived from the PLL and frame
// registers of the mode list and the board's reference clock. Exposure is a
// line count, gain an analogue-gain code.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sensors/sensor_common.h"
#include "sensors/sensor_drivers.h"
#include "vezaracommon/userlog.h"

#define LOG_TAG "IMX219_SENSOR"

#define IMX219_I2C_ADDR 0x10
#define IMX219_CHIP_ID_REG 0x0000
#define IMX219_CHIP_ID 0x0219

#define IMX219_MIN_GAIN 1.0
#define IMX219_MAX_GAIN 10.66

// Registers the driver reads from the mode lists or patches.
#define REG_LANE_MODE 0x0114
#define REG_FRAME_LENGTH_HI 0x0160
#define REG_FRAME_LENGTH_LO 0x0161
#define REG_LINE_LENGTH_HI 0x0162
#define REG_LINE_LENGTH_LO 0x0163
#define REG_X_OUTPUT_HI 0x016C
#define REG_X_OUTPUT_LO 0x016D
#define REG_Y_OUTPUT_HI 0x016E
#define REG_Y_OUTPUT_LO 0x016F
#define REG_ORIENTATION 0x0172
#define REG_DATA_FORMAT 0x018D
#define REG_VTPXCK_DIV 0x0301
#define REG_PREPLLCK_DIV 0x0304
#define REG_PLL_MPY_HI 0x0306
#define REG_PLL_MPY_LO 0x0307

#define IMX219_LANE_MODE_4 3
#define IMX219_REG_BYTES 3  // address high, address low, value

/*-------------------------------------------------------------------------
 * Register lists: a mode list puts the chip in standby, opens the access
 * sequence, sets lanes, frame and line length, crop, output size, binning,
 * data format, PLL and tuning, the orientation, waits 20 ms and starts
 * streaming.
 *-------------------------------------------------------------------------*/

// The configuration has no registers of its own: everything is in the modes.
static const QOV_UINT8 config_imx219[] = {
    0xFF, 0xFF, 0xFF,
};

static const QOV_UINT8 mode_3280x2464_21fps_2lanes[] = {
    0x01, 0x00, 0x00,  0x30, 0xEB, 0x05,  0x30, 0xEB, 0x0C,  0x30, 0x0A, 0xFF,
    0x30, 0x0B, 0xFF,  0x30, 0xEB, 0x05,  0x30, 0xEB, 0x09,  0x01, 0x14, 0x01,
    0x01, 0x28, 0x00,  0x01, 0x2A, 0x18,  0x01, 0x2B, 0x00,  0x01, 0x60, 0x09,
    0x01, 0x61, 0xC4,  0x01, 0x62, 0x0D,  0x01, 0x63, 0x78,  0x01, 0x64, 0x00,
    0x01, 0x65, 0x00,  0x01, 0x66, 0x0C,  0x01, 0x67, 0xCF,  0x01, 0x68, 0x00,
    0x01, 0x69, 0x00,  0x01, 0x6A, 0x09,  0x01, 0x6B, 0x9F,  0x01, 0x6C, 0x0C,
    0x01, 0x6D, 0xD0,  0x01, 0x6E, 0x09,  0x01, 0x6F, 0xA0,  0x01, 0x70, 0x01,
    0x01, 0x71, 0x01,  0x01, 0x74, 0x00,  0x01, 0x75, 0x00,  0x01, 0x8C, 0x0A,
    0x01, 0x8D, 0x0A,  0x03, 0x01, 0x05,  0x03, 0x03, 0x01,  0x03, 0x04, 0x03,
    0x03, 0x05, 0x03,  0x03, 0x06, 0x00,  0x03, 0x07, 0x39,  0x03, 0x09, 0x0A,
    0x03, 0x0B, 0x01,  0x03, 0x0C, 0x00,  0x03, 0x0D, 0x72,  0x45, 0x18, 0x00,
    0x45, 0x19, 0xDC,  0x47, 0x10, 0x04,  0x47, 0x14, 0x65,  0x47, 0x18, 0xAA,
    0x47, 0x1C, 0x1F,  0x47, 0x20, 0xAD,  0x47, 0x24, 0x1D,  0x01, 0x72, 0x00,
    0xFE, 0x14, 0x00,  0x01, 0x00, 0x01,
    0xFF, 0xFF, 0xFF,
};

static const QOV_UINT8 mode_3280x2464_30fps_4lanes[] = {
    0x01, 0x00, 0x00,  0x30, 0xEB, 0x05,  0x30, 0xEB, 0x0C,  0x30, 0x0A, 0xFF,
    0x30, 0x0B, 0xFF,  0x30, 0xEB, 0x05,  0x30, 0xEB, 0x09,  0x01, 0x64, 0x00,
    0x01, 0x65, 0x00,  0x01, 0x66, 0x0C,  0x01, 0x67, 0xCF,  0x01, 0x68, 0x00,
    0x01, 0x69, 0x00,  0x01, 0x6A, 0x09,  0x01, 0x6B, 0x9F,  0x01, 0x6C, 0x0C,
    0x01, 0x6D, 0xD0,  0x01, 0x6E, 0x09,  0x01, 0x6F, 0xA0,  0x01, 0x70, 0x01,
    0x01, 0x71, 0x01,  0x01, 0x74, 0x00,  0x01, 0x75, 0x00,  0x01, 0x8C, 0x0A,
    0x01, 0x8D, 0x0A,  0x03, 0x01, 0x05,  0x03, 0x03, 0x01,  0x03, 0x04, 0x03,
    0x03, 0x05, 0x03,  0x03, 0x06, 0x00,  0x03, 0x07, 0x53,  0x03, 0x09, 0x0A,
    0x03, 0x0B, 0x01,  0x03, 0x0C, 0x00,  0x03, 0x0D, 0xA6,  0x45, 0x18, 0x53,
    0x45, 0x19, 0xC3,  0x47, 0x10, 0x7D,  0x47, 0x14, 0x78,  0x47, 0x18, 0x8E,
    0x47, 0x1C, 0xB4,  0x47, 0x20, 0x4D,  0x47, 0x24, 0xB7,  0x01, 0x14, 0x03,
    0x01, 0x28, 0x00,  0x01, 0x2A, 0x18,  0x01, 0x2B, 0x00,  0x01, 0x60, 0x09,
    0x01, 0x61, 0xF0,  0x01, 0x62, 0x0D,  0x01, 0x63, 0x78,  0x01, 0x72, 0x00,
    0xFE, 0x14, 0x00,  0x01, 0x00, 0x01,
    0xFF, 0xFF, 0xFF,
};

static const QOV_UINT8 mode_1920x1080_30fps_2lanes[] = {
    0x01, 0x00, 0x00,  0x30, 0xEB, 0x05,  0x30, 0xEB, 0x0C,  0x30, 0x0A, 0xFF,
    0x30, 0x0B, 0xFF,  0x30, 0xEB, 0x05,  0x30, 0xEB, 0x09,  0x01, 0x8C, 0x0A,
    0x01, 0x8D, 0x0A,  0x03, 0x01, 0x05,  0x03, 0x03, 0x01,  0x03, 0x04, 0x03,
    0x03, 0x05, 0x03,  0x03, 0x06, 0x00,  0x03, 0x07, 0x39,  0x03, 0x09, 0x0A,
    0x03, 0x0B, 0x01,  0x03, 0x0C, 0x00,  0x03, 0x0D, 0x72,  0x45, 0x18, 0xA6,
    0x45, 0x19, 0xAB,  0x47, 0x10, 0xF6,  0x47, 0x14, 0x8C,  0x47, 0x18, 0x72,
    0x47, 0x1C, 0x49,  0x47, 0x20, 0xED,  0x47, 0x24, 0x51,  0x01, 0x14, 0x01,
    0x01, 0x28, 0x00,  0x01, 0x2A, 0x18,  0x01, 0x2B, 0x00,  0x01, 0x60, 0x06,
    0x01, 0x61, 0xE6,  0x01, 0x62, 0x0D,  0x01, 0x63, 0x78,  0x01, 0x64, 0x02,
    0x01, 0x65, 0xA8,  0x01, 0x66, 0x0A,  0x01, 0x67, 0x27,  0x01, 0x68, 0x02,
    0x01, 0x69, 0xB4,  0x01, 0x6A, 0x06,  0x01, 0x6B, 0xEB,  0x01, 0x6C, 0x07,
    0x01, 0x6D, 0x80,  0x01, 0x6E, 0x04,  0x01, 0x6F, 0x38,  0x01, 0x70, 0x01,
    0x01, 0x71, 0x01,  0x01, 0x74, 0x00,  0x01, 0x75, 0x00,  0x01, 0x72, 0x00,
    0xFE, 0x14, 0x00,  0x01, 0x00, 0x01,
    0xFF, 0xFF, 0xFF,
};


static sensor_mode imx219_configs[] = {
    {SENSOR_FLIP_BOTH, config_imx219, 0, IMX219_REG_BYTES},
};

static sensor_mode imx219_modes[] = {
    {SENSOR_FLIP_BOTH, mode_3280x2464_21fps_2lanes, 0, IMX219_REG_BYTES},
    {SENSOR_FLIP_BOTH, mode_3280x2464_30fps_4lanes, 0, IMX219_REG_BYTES},
    {SENSOR_FLIP_BOTH, mode_1920x1080_30fps_2lanes, 0, IMX219_REG_BYTES},
};

static const QOV_UINT8 imx219_config_num_modes[] = {3};

// PHY high-speed frequency range of each mode.
static const QOV_UINT8 imx219_config_hsfreqrange[] = {40, 26, 40};

// Standby.
static const QOV_UINT8 imx219_disable_regs[] = {
    0x01, 0x00, 0x00,
};

static inline CAM_STRUCT *Imx219Cam(SENSOR_HANDLE hHandle)
{
    return reinterpret_cast<CAM_STRUCT *>(hHandle);
}

static const char *IMX219_SENSOR_INFO_NAME(sensor_num nSensor)
{
    return nSensor == SENSOR_DURIDU_IMX219_1 ? "IMX219_1" : "IMX219_0";
}

/*-------------------------------------------------------------------------
 * Hooks
 *-------------------------------------------------------------------------*/

static QOV_RESULT IMX219_ApplyMode(CAM_STRUCT *psCam)
{
    if (!psCam->currModeReg) {
        LOG_ERROR("current register modes not available!\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    QOV_RESULT result = QOV_SUCCESS;
    for (QOV_UINT32 i = 0; i < psCam->nModeRegisters; i++) {
        QOV_UINT8 record[IMX219_REG_BYTES];
        memcpy(record, psCam->currModeReg + i * IMX219_REG_BYTES, IMX219_REG_BYTES);
        if (((record[0] << 8) | record[1]) == REG_ORIENTATION) {
            // bit 0 mirrors the lines, bit 1 flips the frame
            record[2] &= ~0x03u;
            if (psCam->ui8CurrentFlipping & SENSOR_FLIP_HORIZONTAL) {
                record[2] |= 0x01;
            }
            if (psCam->ui8CurrentFlipping & SENSOR_FLIP_VERTICAL) {
                record[2] |= 0x02;
            }
        }
        // a failed record does not stop the others; the first failure is returned
        QOV_RESULT ret = sensor_i2c_write8(psCam->i2c_dev, record, IMX219_REG_BYTES);
        if (ret != QOV_SUCCESS && result == QOV_SUCCESS) {
            result = ret;
        }
    }
    return result;
}

static QOV_RESULT IMX219_GetModeInfo(CAM_STRUCT *psCam, QOV_UINT16 nMode, SENSOR_MODE *psMode)
{
    const unsigned int entry = (nMode >> 4) * SENSOR_MODES_PER_CONFIG + (nMode & 0xF);
    unsigned int nRegisters = 0;
    const QOV_UINT8 *regs =
        SensorModeGetRegisters(psCam->pModes, psCam->uiModesSize, entry, &nRegisters);
    if (!regs) {
        return QOV_ERROR_NOT_SUPPORTED;
    }

    QOV_UINT8 laneMode = 0, flHi = 0, flLo = 0, llHi = 0, llLo = 0;
    QOV_UINT8 widthHi = 0, widthLo = 0, heightHi = 0, heightLo = 0, dataFormat = 0;
    QOV_UINT8 pixelDiv = 0, preDiv = 0, mpyHi = 0, mpyLo = 0;
    for (unsigned int i = 0; i < nRegisters; i++) {
        const QOV_UINT8 *record = regs + i * IMX219_REG_BYTES;
        const QOV_UINT8 value = record[2];
        switch ((record[0] << 8) | record[1]) {
        case REG_LANE_MODE: laneMode = value; break;
        case REG_FRAME_LENGTH_HI: flHi = value; break;
        case REG_FRAME_LENGTH_LO: flLo = value; break;
        case REG_LINE_LENGTH_HI: llHi = value; break;
        case REG_LINE_LENGTH_LO: llLo = value; break;
        case REG_X_OUTPUT_HI: widthHi = value; break;
        case REG_X_OUTPUT_LO: widthLo = value; break;
        case REG_Y_OUTPUT_HI: heightHi = value; break;
        case REG_Y_OUTPUT_LO: heightLo = value; break;
        case REG_DATA_FORMAT: dataFormat = value; break;
        case REG_VTPXCK_DIV: pixelDiv = value; break;
        case REG_PREPLLCK_DIV: preDiv = value; break;
        case REG_PLL_MPY_HI: mpyHi = value; break;
        case REG_PLL_MPY_LO: mpyLo = value; break;
        default: break;
        }
    }
    const QOV_UINT32 frameLength = (flHi << 8) | flLo;
    const QOV_UINT32 lineLength = (llHi << 8) | llLo;
    const QOV_UINT32 multiplier = ((mpyHi & 0x07) << 8) | mpyLo;
    pixelDiv &= 0x1F;
    if (preDiv == 0 || pixelDiv == 0 || multiplier == 0 || lineLength == 0 || frameLength == 0) {
        // a list without its clock or frame registers cannot be timed
        return QOV_ERROR_NOT_SUPPORTED;
    }

    const double pixelRate = 2.0 * psCam->refClock / preDiv * multiplier / pixelDiv;
    const double lineTime = lineLength / pixelRate * 1e6;  // microseconds

    psMode->flPixelRate = pixelRate;
    psMode->ui32ExposureMin = static_cast<QOV_UINT32>(std::floor(lineTime));
    psMode->ui32ExposureMax =
        frameLength > 4 ? static_cast<QOV_UINT32>(std::floor(lineTime * (frameLength - 4))) : 0;
    psMode->flFrameRate = 1e6 / (lineTime * frameLength);
    psMode->ui16HorizontalTotal = static_cast<QOV_UINT16>(lineLength);
    psMode->ui16VerticalTotal = static_cast<QOV_UINT16>(frameLength);
    psMode->ui16Width = static_cast<QOV_UINT16>(((widthHi & 0x0F) << 8) | widthLo);
    psMode->ui16Height = static_cast<QOV_UINT16>(((heightHi & 0x0F) << 8) | heightLo);
    psMode->ui8BitDepth = dataFormat & 0x0F;
    psMode->ui8MipiLanes = laneMode == IMX219_LANE_MODE_4 ? 4 : 2;
    psMode->ui8MipiHsFreqRange = imx219_config_hsfreqrange[entry];

    if (psCam->psSensorPhy) {
        psCam->psSensorPhy->psConfig = SensorPhyConfigPtr(psCam->nSensor);
    }
    return QOV_SUCCESS;
}

// Integration time in lines, high then low byte.
static QOV_RESULT IMX219_ComputeExposure(CAM_STRUCT *psCam, QOV_UINT8 ui8Context, QOV_UINT8 *values)
{
    const QOV_UINT32 lineTime = psCam->currMode.ui32ExposureMin;
    QOV_UINT32 lines = lineTime ? psCam->ui32Exposure[ui8Context] / lineTime : 0;
    if (lines > 0xFFFF) {
        lines = 0xFFFF;  // the register's largest count rather than a wrapped one
    }
    values[2] = static_cast<QOV_UINT8>(lines >> 8);
    values[IMX219_REG_BYTES + 2] = static_cast<QOV_UINT8>(lines & 0xFF);
    return QOV_SUCCESS;
}

// Analogue gain code: gain = 256 / (256 - code).
static QOV_RESULT IMX219_ComputeGains(double flGain, QOV_UINT8 *values)
{
    double code = 0.0;
    if (flGain > 0.0) {
        code = std::floor(256.5 - 256.0 / flGain);
    }
    // gains below unity (or not numbers) give code 0; the register holds 8 bits
    if (!(code > 0.0)) {
        code = 0.0;
    } else if (code > 255.0) {
        code = 255.0;
    }
    values[2] = static_cast<QOV_UINT8>(code);
    return QOV_SUCCESS;
}

/*-------------------------------------------------------------------------
 * Slots
 *-------------------------------------------------------------------------*/

static QOV_RESULT IMX219_GetInfo(SENSOR_HANDLE hHandle, SENSOR_INFO *psInfo)
{
    CAM_STRUCT *psCam = Imx219Cam(hHandle);
    const SENSOR_INFO_LOG log = {__func__, LOG_TAG, "Reading device ID (GetInfo) \n", QOV_FALSE};
    return SensorInfoFill(psCam, psInfo, SensorFlippedRGGB(psCam->ui8CurrentFlipping),
                          IMX219_SENSOR_INFO_NAME(psCam->nSensor),
                          static_cast<QOV_UINT8>(GetImagerNum(psCam->nSensor)), &log);
}

static QOV_RESULT IMX219_SetGain(SENSOR_HANDLE hHandle, double flGain, QOV_UINT8 ui8Context)
{
    QOV_UINT8 gainRegs[] = {
        0x01, 0x57, 0x00,  // analogue gain code
    };
    return SensorFuncSetGain(hHandle, flGain, ui8Context, gainRegs, sizeof(gainRegs), 0);
}

static QOV_RESULT IMX219_SetExposure(SENSOR_HANDLE hHandle, QOV_UINT32 ui32Current,
                                     QOV_UINT8 ui8Context)
{
    QOV_UINT8 exposureRegs[] = {
        0x01, 0x5A, 0x00,  // integration time, high byte
        0x01, 0x5B, 0x00,  // integration time, low byte
    };
    return SensorFuncSetExposure(hHandle, ui32Current, ui8Context, exposureRegs,
                                 sizeof(exposureRegs), 0);
}

static QOV_RESULT IMX219_Disable(SENSOR_HANDLE hHandle)
{
    return SensorFuncDisable(hHandle, imx219_disable_regs, sizeof(imx219_disable_regs));
}

/*-------------------------------------------------------------------------
 * Creation
 *-------------------------------------------------------------------------*/

static const SENSOR_CHIP imx219_chip = {
    .name = "IMX219",
    .i2cAddr = IMX219_I2C_ADDR,
    .addrSize = 2,
    .chipIdReg = IMX219_CHIP_ID_REG,
    .chipId = IMX219_CHIP_ID,
    .minGain = IMX219_MIN_GAIN,
    .maxGain = IMX219_MAX_GAIN,
    .configs = imx219_configs,
    .configsSize = sizeof(imx219_configs),
    .modes = imx219_modes,
    .modesSize = sizeof(imx219_modes),
    .numModes = imx219_config_num_modes,
    .numModesSize = sizeof(imx219_config_num_modes),
    .Disable = IMX219_Disable,
    .GetInfo = IMX219_GetInfo,
    .SetGain = IMX219_SetGain,
    .SetExposure = IMX219_SetExposure,
    .ApplyConfig = SensorNoConfig,
    .ApplyMode = IMX219_ApplyMode,
    .GetConfInfo = SensorNoConfInfo,
    .GetModeInfo = IMX219_GetModeInfo,
    .ComputeExposure = IMX219_ComputeExposure,
    .ComputeGains = IMX219_ComputeGains,
};

static QOV_RESULT IMX219_Create(SENSOR_HANDLE *phHandle, sensor_num nSensor)
{
    CAM_STRUCT *psCam = SensorCamAlloc(&imx219_chip, nSensor, static_cast<QOV_UINT8>(GetImagerNum(nSensor)));
    if (!psCam) {
        return QOV_ERROR_NO_MEMORY;
    }
    return SensorCamStart(psCam, phHandle);
}

QOV_RESULT IMX219_Create_0(SENSOR_HANDLE *phHandle)
{
    return IMX219_Create(phHandle, SENSOR_DURIDU_IMX219_0);
}

QOV_RESULT IMX219_Create_1(SENSOR_HANDLE *phHandle)
{
    return IMX219_Create(phHandle, SENSOR_DURIDU_IMX219_1);
}
