// IMX327 driver on the shared sensor driver base: 16-bit register addresses
// with 8-bit values at I2C address 0x1A. The mode figures are read out of the
// mode's own register list; exposure is a shutter line count counted back
// from the frame end, gain a count of 0.3 dB steps.
#define LOG_TAG "IMX327_SENSOR"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sensors/sensor_common.h"
#include "sensors/sensor_drivers.h"
#include "vezaracommon/userlog.h"

namespace {

// One 3-byte record: address high, address low, value.
#define REG(addr, val) \
    static_cast<QOV_UINT8>((addr) >> 8), static_cast<QOV_UINT8>((addr) & 0xFF), \
        static_cast<QOV_UINT8>(val)
#define WAIT_MS(ms) SENSOR_REG_PAUSE, static_cast<QOV_UINT8>(ms), 0x00
#define LIST_END SENSOR_REG_END, SENSOR_REG_END, SENSOR_REG_END

constexpr unsigned kRecordSize = 3;
constexpr QOV_UINT8 kI2cAddress = 0x1A;
constexpr QOV_UINT16 kChipIdRegister = 0x301E;
constexpr QOV_UINT16 kChipId = 0xB201;

// Registers the mode description reads.
constexpr QOV_UINT16 kVmaxLow = 0x3018, kVmaxMid = 0x3019, kVmaxHigh = 0x301A;
constexpr QOV_UINT16 kHmaxLow = 0x301C, kHmaxHigh = 0x301D;
constexpr QOV_UINT16 kLaneMode = 0x3443;
constexpr QOV_UINT16 kBitDepth = 0x3005;
constexpr QOV_UINT16 kFrameRateSelect = 0x3009;  // bits 0-1: 2 is 30 frames/s, otherwise 60
// Window mode in bits 4-6; bit 1 horizontal flip, bit 0 vertical flip.
constexpr QOV_UINT16 kWindowFlip = 0x3007;

constexpr double kPixelRate = 74.25;  // Mpx/s
constexpr QOV_UINT8 kHsFreqRange = 22;

/*--------------------------------------------------------------------------
 * Register lists
 *-------------------------------------------------------------------------*/

const QOV_UINT8 config_4lanes[] = {LIST_END};

// Software reset, standby and master-mode start come first; streaming starts
// with the last record.
#define IMX327_HEAD REG(0x3003, 0x01), WAIT_MS(10), REG(0x3000, 0x01), REG(0x3002, 0x00)
#define IMX327_TAIL WAIT_MS(20), REG(0x3000, 0x00), LIST_END

const QOV_UINT8 mode_1920x1080_2lanes_30fps[] = {
    IMX327_HEAD,
    REG(0x3005, 0x01),  // 12-bit AD
    REG(0x3007, 0x00),  // 1080p window, no flip
    REG(0x3009, 0x02),  // 30 frames/s
    REG(0x300A, 0xF0),  // black level
    REG(0x3018, 0x65), REG(0x3019, 0x04), REG(0x301A, 0x00),  // VMAX 1125
    REG(0x301C, 0x30), REG(0x301D, 0x11),                     // HMAX 4400
    REG(0x3046, 0x01),  // 12-bit output
    REG(0x305C, 0x18), REG(0x305D, 0x03), REG(0x305E, 0x20), REG(0x305F, 0x01),  // INCK 37.125 MHz
    REG(0x315E, 0x1A), REG(0x3164, 0x1A), REG(0x3480, 0x49),
    REG(0x3405, 0x10), REG(0x3407, 0x01),  // 2 physical lanes
    REG(0x3414, 0x0A), REG(0x3418, 0x49), REG(0x3419, 0x04),
    REG(0x3441, 0x0C), REG(0x3442, 0x0C), REG(0x3443, 0x01),  // 2-lane CSI mode
    REG(0x3444, 0x20), REG(0x3445, 0x25),
    REG(0x3446, 0x77), REG(0x3447, 0x00), REG(0x3448, 0x67), REG(0x3449, 0x00),
    REG(0x344A, 0x47), REG(0x344B, 0x00), REG(0x344C, 0x37), REG(0x344D, 0x00),
    REG(0x344E, 0x3F), REG(0x344F, 0x00), REG(0x3450, 0xFF), REG(0x3451, 0x00),
    REG(0x3452, 0x3F), REG(0x3453, 0x00), REG(0x3454, 0x37), REG(0x3455, 0x00),
    IMX327_TAIL};

const QOV_UINT8 mode_1920x1080_4lanes_60fps[] = {
    IMX327_HEAD,
    REG(0x3005, 0x01),  // 12-bit AD
    REG(0x3007, 0x00),  // 1080p window, no flip
    REG(0x3009, 0x01),  // 60 frames/s
    REG(0x300A, 0xF0),  // black level
    REG(0x3018, 0x65), REG(0x3019, 0x04), REG(0x301A, 0x00),  // VMAX 1125
    REG(0x301C, 0x98), REG(0x301D, 0x08),                     // HMAX 2200
    REG(0x3046, 0x01),  // 12-bit output
    REG(0x305C, 0x18), REG(0x305D, 0x03), REG(0x305E, 0x20), REG(0x305F, 0x01),  // INCK 37.125 MHz
    REG(0x315E, 0x1A), REG(0x3164, 0x1A), REG(0x3480, 0x49),
    REG(0x3405, 0x10), REG(0x3407, 0x03),  // 4 physical lanes
    REG(0x3414, 0x0A), REG(0x3418, 0x49), REG(0x3419, 0x04),
    REG(0x3441, 0x0C), REG(0x3442, 0x0C), REG(0x3443, 0x03),  // 4-lane CSI mode
    REG(0x3444, 0x20), REG(0x3445, 0x25),
    REG(0x3446, 0x57), REG(0x3447, 0x00), REG(0x3448, 0x37), REG(0x3449, 0x00),
    REG(0x344A, 0x1F), REG(0x344B, 0x00), REG(0x344C, 0x1F), REG(0x344D, 0x00),
    REG(0x344E, 0x1F), REG(0x344F, 0x00), REG(0x3450, 0x77), REG(0x3451, 0x00),
    REG(0x3452, 0x1F), REG(0x3453, 0x00), REG(0x3454, 0x17), REG(0x3455, 0x00),
    IMX327_TAIL};

// Chip tuning, written after every mode.
const QOV_UINT8 imx327_common[] = {
    REG(0x3011, 0x0A), REG(0x309E, 0x4A), REG(0x309F, 0x4A), REG(0x3128, 0x04), REG(0x313B, 0x41),
    LIST_END};
static_assert(sizeof(imx327_common) / kRecordSize - 1 == 5);

// Stop list: standby.
const QOV_UINT8 imx327_stop[] = {REG(0x3000, 0x01)};

sensor_mode imx327_configs[] = {
    {SENSOR_FLIP_BOTH, config_4lanes, 0, kRecordSize},
};

sensor_mode imx327_modes[] = {
    {SENSOR_FLIP_BOTH, mode_1920x1080_2lanes_30fps, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, mode_1920x1080_4lanes_60fps, 0, kRecordSize},
};
constexpr unsigned kModeCount = sizeof(imx327_modes) / sizeof(imx327_modes[0]);

const QOV_UINT8 imx327_num_modes[] = {kModeCount};

/*--------------------------------------------------------------------------
 * Hooks
 *-------------------------------------------------------------------------*/




QOV_RESULT GetModeInfo(CAM_STRUCT *psCam, QOV_UINT16 nMode, SENSOR_MODE *psMode)
{
    const unsigned index = (nMode >> 4) * SENSOR_MODES_PER_CONFIG + (nMode & 0xF);
    unsigned int nRecords = 0;
    const QOV_UINT8 *list =
        SensorModeGetRegisters(psCam->pModes, psCam->uiModesSize, index, &nRecords);
    if (!list || index >= kModeCount)
        return QOV_ERROR_NOT_SUPPORTED;

    QOV_UINT8 vmaxLow = 0, vmaxMid = 0, vmaxHigh = 0, hmaxLow = 0, hmaxHigh = 0;
    QOV_UINT8 laneMode = 0, bitDepth = 0, windowFlip = 0, frameRateSelect = 0;
    for (unsigned i = 0; i < nRecords; ++i) {
        const QOV_UINT8 *rec = list + i * kRecordSize;
        if (rec[0] == SENSOR_REG_PAUSE)
            continue;
        const QOV_UINT16 address = static_cast<QOV_UINT16>((rec[0] << 8) | rec[1]);
        switch (address) {
        case kVmaxLow: vmaxLow = rec[2]; break;
        case kVmaxMid: vmaxMid = rec[2]; break;
        case kVmaxHigh: vmaxHigh = rec[2]; break;
        case kHmaxLow: hmaxLow = rec[2]; break;
        case kHmaxHigh: hmaxHigh = rec[2]; break;
        case kLaneMode: laneMode = rec[2]; break;
        case kBitDepth: bitDepth = rec[2]; break;
        case kWindowFlip: windowFlip = rec[2]; break;
        case kFrameRateSelect: frameRateSelect = rec[2]; break;
        default: break;
        }
    }
    const QOV_UINT32 vmax = (static_cast<QOV_UINT32>(vmaxHigh & 0x0F) << 16) | (vmaxMid << 8) | vmaxLow;
    const QOV_UINT32 hmax = static_cast<QOV_UINT32>(hmaxHigh << 8) | hmaxLow;
    if (vmax > 0xFFFF) {
        LOG_ERROR("VMAX exceeds 16-bit limit: %u", vmax);
        return QOV_ERROR_NOT_SUPPORTED;
    }
    switch ((windowFlip >> 4) & 0x07) {
    case 0:
        psMode->ui16Width = 1920;
        psMode->ui16Height = 1080;
        break;
    case 1:
        psMode->ui16Width = 1280;
        psMode->ui16Height = 720;
        break;
    default:
        return QOV_ERROR_NOT_SUPPORTED;
    }
    const double frameRate = (frameRateSelect & 0x03) == 2 ? 30.0 : 60.0;

    psMode->ui8MipiLanes = laneMode == 3 ? 4 : 2;
    psMode->ui8MipiHsFreqRange = kHsFreqRange;
    psMode->flPixelRate = kPixelRate;
    psMode->ui8BitDepth = bitDepth ? 12 : 10;
    psMode->ui16HorizontalTotal = static_cast<QOV_UINT16>(hmax);
    psMode->ui16VerticalTotal = static_cast<QOV_UINT16>(vmax);
    psMode->flFrameRate = frameRate;
    if (vmax) {
        const double lineTime = 1e6 / (frameRate * vmax);  // microseconds
        psMode->ui32ExposureMin = SensorToU32(std::floor(lineTime));
        psMode->ui32ExposureMax = SensorToU32((static_cast<double>(vmax) - 2.0) * lineTime);
    } else {
        // No frame length in the list: no usable line time.
        psMode->ui32ExposureMin = 0xFFFFFFFFu;
        psMode->ui32ExposureMax = 0xFFFFFFFFu;
    }
    psMode->ui8SupportFlipping = psCam->pModes[index].ui8Flipping;

    if (psCam->psSensorPhy)
        psCam->psSensorPhy->psConfig = SensorPhyConfigPtr(psCam->nSensor);
    return QOV_SUCCESS;
}

QOV_RESULT ApplyMode(CAM_STRUCT *psCam)
{
    if (!psCam->currModeReg) {
        LOG_ERROR("current register modes not available!\n");
        return QOV_SUCCESS;
    }
    QOV_RESULT ret = QOV_SUCCESS;
    const QOV_UINT8 flips = psCam->ui8CurrentFlipping;
    for (QOV_UINT32 i = 0; i < psCam->nModeRegisters; ++i) {
        QOV_UINT8 rec[kRecordSize];
        std::memcpy(rec, psCam->currModeReg + i * kRecordSize, kRecordSize);
        if (((rec[0] << 8) | rec[1]) == kWindowFlip) {
            rec[2] = static_cast<QOV_UINT8>(rec[2] & ~0x03);
            if (flips & SENSOR_FLIP_HORIZONTAL)
                rec[2] |= 0x02;
            if (flips & SENSOR_FLIP_VERTICAL)
                rec[2] |= 0x01;
        }
        SensorKeepFirstFailure(ret, sensor_i2c_write8(psCam->i2c_dev, rec, kRecordSize));
    }
    // the common list in one call, without its end record
    const unsigned commonBytes = sizeof(imx327_common) - kRecordSize;
    SensorKeepFirstFailure(ret, sensor_i2c_write8(psCam->i2c_dev, imx327_common, commonBytes));
    return ret;
}

// Shutter template: 0x3020 (bits 0-7), 0x3021 (bits 8-15), 0x3022 (bits 16-17).
QOV_RESULT ComputeExposure(CAM_STRUCT *psCam, QOV_UINT8 ui8Context, QOV_UINT8 *values)
{
    const long long exposure = psCam->ui32Exposure[ui8Context];
    const long long exposureMin = psCam->currMode.ui32ExposureMin;
    const long long vt = psCam->currMode.ui16VerticalTotal;
    long long lines = 1;
    if (exposureMin && exposure >= exposureMin) {
        lines = exposure / exposureMin;
        if (lines > vt - 2)
            lines = vt - 2;
    }
    long long shutter = (vt - 1) - lines;
    if (shutter < 0)  // no mode described yet
        shutter = 0;
    values[2] = static_cast<QOV_UINT8>(shutter & 0xFF);
    values[5] = static_cast<QOV_UINT8>((shutter >> 8) & 0xFF);
    values[8] = static_cast<QOV_UINT8>((shutter >> 16) & 0x03);
    return QOV_SUCCESS;
}

// Gain template: 0x3014, the 0.3 dB step count.
QOV_RESULT ComputeGains(double flGain, QOV_UINT8 *values)
{
    // Whole 0.3 dB steps, rounded down; a gain below unity is unity.
    double steps = flGain >= 1.0 ? std::floor(20 * std::log10(flGain) / 0.3) : 0.0;
    if (!(steps <= 0xFF))
        steps = 0xFF;
    values[2] = static_cast<QOV_UINT8>(steps);
    return QOV_SUCCESS;
}

}  // namespace

/*--------------------------------------------------------------------------
 * Chip slots
 *-------------------------------------------------------------------------*/

QOV_RESULT IMX327_GetInfo(SENSOR_HANDLE hHandle, SENSOR_INFO *psInfo)
{
    CAM_STRUCT *psCam = SensorCam(hHandle);
    const SENSOR_INFO_LOG log = {__func__, LOG_TAG, "Reading device ID (GetInfo)\n", QOV_TRUE};
    return SensorInfoFill(psCam, psInfo, MOSAIC_RGGB, psCam->sensorName, 0, &log);
}

QOV_RESULT IMX327_SetGain(SENSOR_HANDLE hHandle, double flGain, QOV_UINT8 ui8Context)
{
    QOV_UINT8 gainRegs[] = {REG(0x3014, 0x00)};
    return SensorFuncSetGain(hHandle, flGain, ui8Context, gainRegs, sizeof(gainRegs), 0);
}

QOV_RESULT IMX327_SetExposure(SENSOR_HANDLE hHandle, QOV_UINT32 ui32Current, QOV_UINT8 ui8Context)
{
    QOV_UINT8 shutterRegs[] = {REG(0x3020, 0x00), REG(0x3021, 0x00), REG(0x3022, 0x00)};
    return SensorFuncSetExposure(hHandle, ui32Current, ui8Context, shutterRegs, sizeof(shutterRegs), 0);
}

QOV_RESULT IMX327_Disable(SENSOR_HANDLE hHandle)
{
    return SensorFuncDisable(hHandle, imx327_stop, sizeof(imx327_stop));
}

const SENSOR_CHIP kIMX327Chip = {
    .name = "IMX327",
    .i2cAddr = kI2cAddress,
    .addrSize = 2,
    .chipIdReg = kChipIdRegister,
    .chipId = kChipId,
    .minGain = 1.0,
    .maxGain = 2818.0,
    .configs = imx327_configs,
    .configsSize = sizeof(imx327_configs),
    .modes = imx327_modes,
    .modesSize = sizeof(imx327_modes),
    .numModes = imx327_num_modes,
    .numModesSize = sizeof(imx327_num_modes),
    .Disable = IMX327_Disable,
    .GetInfo = IMX327_GetInfo,
    .SetGain = IMX327_SetGain,
    .SetExposure = IMX327_SetExposure,
    .ApplyConfig = SensorNoConfig,
    .ApplyMode = ApplyMode,
    .GetConfInfo = SensorNoConfInfo,
    .GetModeInfo = GetModeInfo,
    .ComputeExposure = ComputeExposure,
    .ComputeGains = ComputeGains,
};

QOV_RESULT IMX327_Create(SENSOR_HANDLE *phHandle)
{
    return SensorChipCreate(&kIMX327Chip, phHandle, SENSOR_DURIDU_IMX327, 0, __func__, LOG_TAG);
}
