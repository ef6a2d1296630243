// IMX662 driver on the shared sensor driver base: 16-bit register addresses
// with 8-bit values at I2C address 0x1A. The mode figures are read out of the
// mode's own register list; exposure is a shutter line count counted back
// from the frame end, gain a count of 0.3 dB steps.
#define LOG_TAG "IMX662_SENSOR"

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
constexpr QOV_UINT16 kChipIdRegister = 0x3060;
constexpr QOV_UINT16 kChipId = 0x9500;

// Registers the mode description reads.
constexpr QOV_UINT16 kVmaxLow = 0x3028, kVmaxMid = 0x3029, kVmaxHigh = 0x302A;
constexpr QOV_UINT16 kHmaxLow = 0x302C, kHmaxHigh = 0x302D;
constexpr QOV_UINT16 kLaneMode = 0x3040;
constexpr QOV_UINT16 kBitDepth = 0x3022;
constexpr QOV_UINT16 kHdrMode = 0x301A;  // 0 linear, 8 staggered HDR
constexpr QOV_UINT8 kHdrStaggered = 8;
// Orientation: one register per direction.
constexpr QOV_UINT16 kHorizontalFlip = 0x3020;
constexpr QOV_UINT16 kVerticalFlip = 0x3021;

constexpr double kPixelRate = 74.25;  // Mpx/s

/*--------------------------------------------------------------------------
 * Register lists
 *-------------------------------------------------------------------------*/

const QOV_UINT8 config_4lanes[] = {LIST_END};

// Standby and master-mode start come first; streaming starts with the last record.
#define IMX662_HEAD REG(0x3000, 0x01), REG(0x3002, 0x00)
#define IMX662_TAIL WAIT_MS(20), REG(0x3000, 0x00), LIST_END

// Input clock 37.125 MHz and the data rate per lane.
#define IMX662_594MBPS REG(0x3014, 0x01), REG(0x3015, 0x07)
#define IMX662_720MBPS REG(0x3014, 0x01), REG(0x3015, 0x06)
#define IMX662_VMAX(v) REG(0x3028, (v) & 0xFF), REG(0x3029, ((v) >> 8) & 0xFF), REG(0x302A, (v) >> 16)
#define IMX662_HMAX(h) REG(0x302C, (h) & 0xFF), REG(0x302D, (h) >> 8)
#define IMX662_LINEAR REG(0x301A, 0x00), REG(0x301B, 0x00), REG(0x301C, 0x00), REG(0x301E, 0x01)
#define IMX662_HDR                                                                       \
    REG(0x301A, 0x08), REG(0x301B, 0x00), REG(0x301C, 0x00), REG(0x301E, 0x01),          \
        REG(0x3054, 0x05), REG(0x3055, 0x00), REG(0x3056, 0x00)
#define IMX662_12BIT REG(0x3022, 0x01), REG(0x3023, 0x01)
#define IMX662_10BIT REG(0x3022, 0x00), REG(0x3023, 0x00)
#define IMX662_ORIENTATION REG(0x3020, 0x00), REG(0x3021, 0x00)
#define IMX662_4LANES REG(0x3040, 0x03)
// Analogue settings of the readout.
#define IMX662_READOUT                                                                   \
    REG(0x3030, 0x00), REG(0x3031, 0x00), REG(0x3032, 0x00), REG(0x3069, 0x00),          \
        REG(0x30A5, 0x00), REG(0x30A6, 0x00), REG(0x30CE, 0x02), REG(0x30DC, 0x32),      \
        REG(0x30DD, 0x40)

const QOV_UINT8 mode_12bit_1920x1080_30fps_594Mbps[] = {
    IMX662_HEAD,   IMX662_594MBPS,    IMX662_LINEAR,  IMX662_VMAX(1250), IMX662_HMAX(1980),
    IMX662_12BIT,  IMX662_ORIENTATION, IMX662_READOUT, IMX662_4LANES,     IMX662_TAIL};
const QOV_UINT8 mode_12bit_1920x1080_60fps_594Mbps[] = {
    IMX662_HEAD,  IMX662_594MBPS,     IMX662_LINEAR,  IMX662_VMAX(1250), IMX662_HMAX(990),
    IMX662_12BIT, IMX662_ORIENTATION, IMX662_READOUT, IMX662_4LANES,     IMX662_TAIL};
const QOV_UINT8 mode_10bit_1920x1080_90fps_720Mbps[] = {
    IMX662_HEAD,  IMX662_720MBPS,     IMX662_LINEAR,  IMX662_VMAX(1250), IMX662_HMAX(660),
    IMX662_10BIT, IMX662_ORIENTATION, IMX662_READOUT, IMX662_4LANES,     IMX662_TAIL};
const QOV_UINT8 mode_12bit_1920x1080_30fps_HDR_594Mbps[] = {
    IMX662_HEAD,  IMX662_594MBPS,     IMX662_HDR,     IMX662_VMAX(2500), IMX662_HMAX(990),
    IMX662_10BIT, IMX662_ORIENTATION, IMX662_READOUT, IMX662_4LANES,     IMX662_TAIL};

// Chip tuning, written after every mode.
const QOV_UINT8 imx662_common[] = {
    REG(0x312D, 0x76), REG(0x3134, 0xE2), REG(0x3165, 0x1B), REG(0x316E, 0x7B),
    REG(0x3188, 0x3E), REG(0x31A1, 0x9B), REG(0x31A8, 0x42), REG(0x31D8, 0x76),
    REG(0x31E9, 0xF1), REG(0x322B, 0xF5), REG(0x3256, 0x9E), REG(0x3269, 0xFF),
    REG(0x326A, 0xA5), REG(0x326F, 0xC4), REG(0x32C4, 0xC3), REG(0x32EC, 0x43),
    REG(0x32FB, 0x68), REG(0x3315, 0x68), REG(0x3329, 0x0D), REG(0x3338, 0x7D),
    REG(0x3348, 0x87), REG(0x3362, 0x71), REG(0x33B5, 0x0C), REG(0x33CC, 0x50),
    REG(0x3420, 0x9A), REG(0x3447, 0x97), REG(0x3468, 0x74), REG(0x3486, 0x36),
    REG(0x348D, 0x5A), REG(0x34F9, 0x84), REG(0x34FB, 0x27), REG(0x3538, 0xC0),
    REG(0x3547, 0xBF), REG(0x3561, 0xD3), REG(0x3590, 0x55), REG(0x35AE, 0x25),
    REG(0x35B9, 0x82), REG(0x35D3, 0x23), REG(0x3606, 0x7B), REG(0x363D, 0xD0),
    REG(0x364F, 0xF4), REG(0x369D, 0x8A), REG(0x36E3, 0x6B), REG(0x36FC, 0xCA),
    REG(0x3727, 0xB0), REG(0x3784, 0x09), REG(0x37A8, 0x8C), REG(0x37B1, 0xE8),
    REG(0x3861, 0xCE), REG(0x38AA, 0x83), REG(0x38C6, 0x16), REG(0x38D9, 0x76),
    REG(0x394D, 0x15), REG(0x3972, 0x83), REG(0x39C2, 0xE5), REG(0x39C7, 0x32),
    REG(0x3A0F, 0x65), REG(0x3A2C, 0x74), REG(0x3A45, 0x49), REG(0x3A64, 0x52),
    REG(0x3A9C, 0xFD), REG(0x3AE7, 0x9D), REG(0x3AFD, 0x3E), REG(0x3B27, 0x3A),
    REG(0x3B2A, 0xBE), REG(0x3B3A, 0x32), REG(0x3B45, 0x1E), REG(0x3B5A, 0x55),
    REG(0x3BBD, 0xB7), REG(0x3BC8, 0x23), REG(0x3C13, 0xC5), REG(0x3C19, 0xF5),
    REG(0x3C2D, 0x97), REG(0x3C2E, 0xE2), REG(0x3C65, 0xDB), REG(0x3C93, 0xA1),
    REG(0x3CA0, 0x4C), REG(0x3CCE, 0xF2), REG(0x3D19, 0x2F), REG(0x3D79, 0x8F),
    REG(0x3D8B, 0x00), REG(0x3E05, 0xA9), REG(0x3E0B, 0xEC), REG(0x3E19, 0x76),
    REG(0x3E38, 0x91), REG(0x3E70, 0x32), REG(0x3E9E, 0xF0), REG(0x3EAC, 0xCD),
    REG(0x3EEE, 0x65), REG(0x3EF3, 0x94),
    LIST_END};
static_assert(sizeof(imx662_common) / kRecordSize - 1 == 90);

// Stop list: standby.
const QOV_UINT8 imx662_stop[] = {REG(0x3000, 0x01)};

sensor_mode imx662_configs[] = {
    {SENSOR_FLIP_BOTH, config_4lanes, 0, kRecordSize},
};

sensor_mode imx662_modes[] = {
    {SENSOR_FLIP_BOTH, mode_12bit_1920x1080_30fps_594Mbps, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, mode_12bit_1920x1080_60fps_594Mbps, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, mode_10bit_1920x1080_90fps_720Mbps, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, mode_12bit_1920x1080_30fps_HDR_594Mbps, 0, kRecordSize},
};
constexpr unsigned kModeCount = sizeof(imx662_modes) / sizeof(imx662_modes[0]);

const QOV_UINT8 imx662_num_modes[] = {kModeCount};

// PHY frequency range of each mode.
const QOV_UINT8 imx662_mode_hsfreqrange[kModeCount] = {7, 7, 57, 7};

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
    QOV_UINT8 laneMode = 0, bitDepth = 0, hdrMode = 0;
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
        case kHdrMode: hdrMode = rec[2]; break;
        default: break;
        }
    }
    if (hdrMode != 0 && hdrMode != kHdrStaggered)
        return QOV_ERROR_NOT_SUPPORTED;
    const bool hdr = hdrMode == kHdrStaggered;
    const QOV_UINT32 vmax = (static_cast<QOV_UINT32>(vmaxHigh & 0x0F) << 16) | (vmaxMid << 8) | vmaxLow;
    const QOV_UINT32 hmax = static_cast<QOV_UINT32>(hmaxHigh << 8) | hmaxLow;
    const double lineTime = hmax / kPixelRate;  // microseconds
    const QOV_UINT32 wholeLineTime = static_cast<QOV_UINT32>(lineTime);
    const QOV_UINT32 margin = hdr ? 8 : 4;

    psMode->ui8MipiLanes = laneMode == 3 ? 4 : 2;
    psMode->ui8MipiHsFreqRange = imx662_mode_hsfreqrange[index];
    psMode->flPixelRate = kPixelRate;
    psMode->ui8BitDepth = bitDepth ? 12 : 10;
    psMode->ui16Width = 1936;
    psMode->ui16Height = 1100;
    psMode->ui16HorizontalTotal = static_cast<QOV_UINT16>(hmax);
    psMode->ui16VerticalTotal = static_cast<QOV_UINT16>(vmax & 0xFFFF);
    psMode->ui32ExposureMin = wholeLineTime;
    psMode->ui32ExposureMax = vmax > margin ? wholeLineTime * (vmax - margin) : 0;
    psMode->flFrameRate = vmax && hmax ? 1e6 / (vmax * lineTime) : 0.0;
    psMode->ui8SupportFlipping = psCam->pModes[index].ui8Flipping;
    if (hdr) {
        psMode->eHDRMode = HDR_STAGGERED;
        psMode->bLongExpFirst = QOV_TRUE;
        psMode->ui32LineGap = 1;
    } else {
        psMode->eHDRMode = HDR_NONE;
        psMode->bLongExpFirst = QOV_FALSE;
        psMode->ui32LineGap = 0;
    }

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
        const QOV_UINT16 address = static_cast<QOV_UINT16>((rec[0] << 8) | rec[1]);
        if (address == kHorizontalFlip)
            rec[2] = (flips & SENSOR_FLIP_HORIZONTAL) ? 1 : 0;
        else if (address == kVerticalFlip)
            rec[2] = (flips & SENSOR_FLIP_VERTICAL) ? 1 : 0;
        SensorKeepFirstFailure(ret, sensor_i2c_write8(psCam->i2c_dev, rec, kRecordSize));
    }
    // the common list in one call, without its end record
    const unsigned commonBytes = sizeof(imx662_common) - kRecordSize;
    SensorKeepFirstFailure(ret, sensor_i2c_write8(psCam->i2c_dev, imx662_common, commonBytes));
    return ret;
}

// Shutter template: 0x3050 (bits 0-7), 0x3051 (bits 8-15), 0x3052 (bits 16-19).
QOV_RESULT ComputeExposure(CAM_STRUCT *psCam, QOV_UINT8 ui8Context, QOV_UINT8 *values)
{
    const long long exposure = psCam->ui32Exposure[ui8Context];
    const long long exposureMin = psCam->currMode.ui32ExposureMin;
    const long long exposureMax = psCam->currMode.ui32ExposureMax;
    const long long vt = psCam->currMode.ui16VerticalTotal;
    long long lines = 1;
    if (exposureMin && exposure >= exposureMin) {
        lines = exposure / exposureMin;
        if (lines > exposureMax / exposureMin)
            lines = exposureMax / exposureMin;
    }
    long long shutter = vt - lines;
    if (shutter < 0)  // no mode described yet
        shutter = 0;
    values[2] = static_cast<QOV_UINT8>(shutter & 0xFF);
    values[5] = static_cast<QOV_UINT8>((shutter >> 8) & 0xFF);
    values[8] = static_cast<QOV_UINT8>((shutter >> 16) & 0x0F);
    return QOV_SUCCESS;
}

// Gain template: 0x3070 (bits 0-7), 0x3071 (bits 8-10) of the 0.3 dB step count.
QOV_RESULT ComputeGains(double flGain, QOV_UINT8 *values)
{
    // Whole 0.3 dB steps, rounded down; a gain below unity is unity.
    double steps = flGain >= 1.0 ? std::floor(20 * std::log10(flGain) / 0.3) : 0.0;
    if (!(steps <= 0x7FF))
        steps = 0x7FF;
    const unsigned code = static_cast<unsigned>(steps);
    values[2] = static_cast<QOV_UINT8>(code & 0xFF);
    values[5] = static_cast<QOV_UINT8>((code >> 8) & 0x07);
    return QOV_SUCCESS;
}

}  // namespace

/*--------------------------------------------------------------------------
 * Chip slots
 *-------------------------------------------------------------------------*/

QOV_RESULT IMX662_GetInfo(SENSOR_HANDLE hHandle, SENSOR_INFO *psInfo)
{
    CAM_STRUCT *psCam = SensorCam(hHandle);
    const SENSOR_INFO_LOG log = {__func__, LOG_TAG, "Reading device ID (GetInfo)\n", QOV_TRUE};
    return SensorInfoFill(psCam, psInfo, MOSAIC_RGGB, psCam->sensorName, 0, &log);
}

QOV_RESULT IMX662_SetGain(SENSOR_HANDLE hHandle, double flGain, QOV_UINT8 ui8Context)
{
    QOV_UINT8 gainRegs[] = {REG(0x3070, 0x00), REG(0x3071, 0x00)};
    return SensorFuncSetGain(hHandle, flGain, ui8Context, gainRegs, sizeof(gainRegs), 0);
}

QOV_RESULT IMX662_SetExposure(SENSOR_HANDLE hHandle, QOV_UINT32 ui32Current, QOV_UINT8 ui8Context)
{
    QOV_UINT8 shutterRegs[] = {REG(0x3050, 0x00), REG(0x3051, 0x00), REG(0x3052, 0x00)};
    return SensorFuncSetExposure(hHandle, ui32Current, ui8Context, shutterRegs, sizeof(shutterRegs), 0);
}

QOV_RESULT IMX662_Disable(SENSOR_HANDLE hHandle)
{
    return SensorFuncDisable(hHandle, imx662_stop, sizeof(imx662_stop));
}

const SENSOR_CHIP kIMX662Chip = {
    .name = "IMX662",
    .i2cAddr = kI2cAddress,
    .addrSize = 2,
    .chipIdReg = kChipIdRegister,
    .chipId = kChipId,
    .minGain = 1.0,
    .maxGain = 15.85,
    .configs = imx662_configs,
    .configsSize = sizeof(imx662_configs),
    .modes = imx662_modes,
    .modesSize = sizeof(imx662_modes),
    .numModes = imx662_num_modes,
    .numModesSize = sizeof(imx662_num_modes),
    .Disable = IMX662_Disable,
    .GetInfo = IMX662_GetInfo,
    .SetGain = IMX662_SetGain,
    .SetExposure = IMX662_SetExposure,
    .ApplyConfig = SensorNoConfig,
    .ApplyMode = ApplyMode,
    .GetConfInfo = SensorNoConfInfo,
    .GetModeInfo = GetModeInfo,
    .ComputeExposure = ComputeExposure,
    .ComputeGains = ComputeGains,
};

QOV_RESULT IMX662_Create(SENSOR_HANDLE *phHandle)
{
    return SensorChipCreate(&kIMX662Chip, phHandle, SENSOR_DURIDU_IMX662, 0, __func__, LOG_TAG);
}
