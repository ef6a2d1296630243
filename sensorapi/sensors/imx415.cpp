// IMX415 driver on the shared sensor driver base: 16-bit register addresses
// with 8-bit values at I2C address 0x1A. The mode figures are read out of the
// mode's own register list; exposure is a shutter line count counted back
// from the frame end, gain a count of 0.3 dB steps.
#define LOG_TAG "IMX415_SENSOR"

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
constexpr QOV_UINT16 kChipIdRegister = 0x3064;
constexpr QOV_UINT16 kChipId = 0x4A00;

// Registers the mode description reads.
constexpr QOV_UINT16 kVmaxLow = 0x3024, kVmaxMid = 0x3025, kVmaxHigh = 0x3026;
constexpr QOV_UINT16 kHmaxLow = 0x3028, kHmaxHigh = 0x3029;
constexpr QOV_UINT16 kLaneMode = 0x4001;
constexpr QOV_UINT16 kBitDepth = 0x3032;
constexpr QOV_UINT16 kWindow = 0x301C;
// Orientation: bit 0 horizontal flip, bit 1 vertical flip.
constexpr QOV_UINT16 kFlipRegister = 0x3030;

constexpr double kPixelRate = 74.25;  // Mpx/s

/*--------------------------------------------------------------------------
 * Register lists
 *-------------------------------------------------------------------------*/

const QOV_UINT8 config_4lanes[] = {LIST_END};

// Standby and master-mode start come first; streaming starts with the last record.
#define IMX415_HEAD REG(0x3000, 0x01), REG(0x3002, 0x00)
#define IMX415_TAIL WAIT_MS(20), REG(0x3000, 0x00), LIST_END

// Input clock 27 MHz and 37.125 MHz (BCWAIT, CPWAIT, INCKSEL, TXCLKESC).
#define IMX415_INCK27                                                                    \
    REG(0x3008, 0x5D), REG(0x300A, 0x42), REG(0x3115, 0x00), REG(0x3118, 0xC6),          \
        REG(0x311A, 0xE7), REG(0x311E, 0x23), REG(0x4004, 0xC0), REG(0x4005, 0x06),      \
        REG(0x400C, 0x00), REG(0x4074, 0x01)
#define IMX415_INCK37                                                                    \
    REG(0x3008, 0x7F), REG(0x300A, 0x5B), REG(0x3115, 0x00), REG(0x3118, 0xC0),          \
        REG(0x311A, 0xE0), REG(0x311E, 0x24), REG(0x4004, 0x48), REG(0x4005, 0x09),      \
        REG(0x400C, 0x00), REG(0x4074, 0x00)

// Data rate per lane: system mode, INCKSEL2 and the MIPI D-PHY timings.
#define IMX415_891MBPS                                                                   \
    REG(0x3033, 0x05), REG(0x3116, 0x23), REG(0x4018, 0x67), REG(0x401A, 0x27),          \
        REG(0x401C, 0x27), REG(0x401E, 0xB7), REG(0x4020, 0x28), REG(0x4022, 0x2F),      \
        REG(0x4024, 0x27), REG(0x4026, 0x4F), REG(0x4028, 0x1F)
#define IMX415_1782MBPS                                                                  \
    REG(0x3033, 0x04), REG(0x3116, 0x24), REG(0x4018, 0xB7), REG(0x401A, 0x67),          \
        REG(0x401C, 0x6F), REG(0x401E, 0xDF), REG(0x4020, 0x6F), REG(0x4022, 0x6F),      \
        REG(0x4024, 0x67), REG(0x4026, 0xBF), REG(0x4028, 0x5F)
#define IMX415_2376MBPS                                                                  \
    REG(0x3033, 0x00), REG(0x3116, 0x28), REG(0x4018, 0xE7), REG(0x401A, 0x8F),          \
        REG(0x401C, 0x8F), REG(0x401E, 0x7F), REG(0x4020, 0x97), REG(0x4022, 0x0F),      \
        REG(0x4024, 0x8F), REG(0x4026, 0xF7), REG(0x4028, 0x7F)

// Frame timing: VMAX (20 bits) and HMAX.
#define IMX415_VMAX(v) REG(0x3024, (v) & 0xFF), REG(0x3025, ((v) >> 8) & 0xFF), REG(0x3026, (v) >> 16)
#define IMX415_HMAX(h) REG(0x3028, (h) & 0xFF), REG(0x3029, (h) >> 8)
// Readout window: all pixels, or the centred 3072-pixel crop.
#define IMX415_FULL REG(0x301C, 0x00)
#define IMX415_CROP                                                                      \
    REG(0x301C, 0x04), REG(0x3040, 0x0C), REG(0x3041, 0x03), REG(0x3042, 0x00),          \
        REG(0x3043, 0x0C), REG(0x3044, 0x00), REG(0x3045, 0x00), REG(0x3046, 0x20),      \
        REG(0x3047, 0x11)
// AD and output bit depth.
#define IMX415_12BIT REG(0x3031, 0x01), REG(0x3032, 0x01)
#define IMX415_10BIT REG(0x3031, 0x00), REG(0x3032, 0x00)
#define IMX415_4LANES REG(0x4001, 0x03)
#define IMX415_2LANES REG(0x4001, 0x01)
#define IMX415_ORIENTATION REG(0x3030, 0x00)

const QOV_UINT8 mode_12bit_4K_30fps_891Mbps_27MHz[] = {
    IMX415_HEAD,    IMX415_INCK27, IMX415_891MBPS,     IMX415_FULL,   IMX415_VMAX(2250),
    IMX415_HMAX(1100), IMX415_12BIT, IMX415_ORIENTATION, IMX415_4LANES, IMX415_TAIL};
const QOV_UINT8 mode_12bit_4K_50fps_1782Mbps_27MHz[] = {
    IMX415_HEAD,   IMX415_INCK27, IMX415_1782MBPS,    IMX415_FULL,   IMX415_VMAX(2250),
    IMX415_HMAX(650), IMX415_12BIT, IMX415_ORIENTATION, IMX415_4LANES, IMX415_TAIL};
const QOV_UINT8 mode_12bit_4K_60fps_1782Mbps_27MHz[] = {
    IMX415_HEAD,   IMX415_INCK27, IMX415_1782MBPS,    IMX415_FULL,   IMX415_VMAX(2250),
    IMX415_HMAX(550), IMX415_12BIT, IMX415_ORIENTATION, IMX415_4LANES, IMX415_TAIL};
const QOV_UINT8 mode_10bit_4K_90fps_2376Mbps_27MHz[] = {
    IMX415_HEAD,   IMX415_INCK27, IMX415_2376MBPS,    IMX415_FULL,   IMX415_VMAX(2250),
    IMX415_HMAX(366), IMX415_10BIT, IMX415_ORIENTATION, IMX415_4LANES, IMX415_TAIL};
const QOV_UINT8 mode_12bit_4K_30fps_891Mbps_37MHz[] = {
    IMX415_HEAD,    IMX415_INCK37, IMX415_891MBPS,     IMX415_FULL,   IMX415_VMAX(2250),
    IMX415_HMAX(1100), IMX415_12BIT, IMX415_ORIENTATION, IMX415_4LANES, IMX415_TAIL};
const QOV_UINT8 mode_12bit_4K_60fps_1782Mbps_37MHz[] = {
    IMX415_HEAD,   IMX415_INCK37, IMX415_1782MBPS,    IMX415_FULL,   IMX415_VMAX(2250),
    IMX415_HMAX(550), IMX415_12BIT, IMX415_ORIENTATION, IMX415_4LANES, IMX415_TAIL};
const QOV_UINT8 mode_12bit_4K_15fps_891Mbps_37MHz_2lanes[] = {
    IMX415_HEAD,    IMX415_INCK37, IMX415_891MBPS,     IMX415_FULL,   IMX415_VMAX(2250),
    IMX415_HMAX(2200), IMX415_12BIT, IMX415_ORIENTATION, IMX415_2LANES, IMX415_TAIL};
const QOV_UINT8 mode_12bit_4K_50fps_1782Mbps_37MHz[] = {
    IMX415_HEAD,   IMX415_INCK37, IMX415_1782MBPS,    IMX415_FULL,   IMX415_VMAX(2250),
    IMX415_HMAX(650), IMX415_12BIT, IMX415_ORIENTATION, IMX415_4LANES, IMX415_TAIL};
const QOV_UINT8 mode_12bit_crop_60fps_1782Mbps_37MHz[] = {
    IMX415_HEAD,   IMX415_INCK37, IMX415_1782MBPS,    IMX415_CROP,   IMX415_VMAX(2250),
    IMX415_HMAX(550), IMX415_12BIT, IMX415_ORIENTATION, IMX415_4LANES, IMX415_TAIL};
const QOV_UINT8 mode_12bit_crop_30fps_891Mbps_37MHz[] = {
    IMX415_HEAD,    IMX415_INCK37, IMX415_891MBPS,     IMX415_CROP,   IMX415_VMAX(2250),
    IMX415_HMAX(1100), IMX415_12BIT, IMX415_ORIENTATION, IMX415_4LANES, IMX415_TAIL};

// Chip tuning, written after every mode.
const QOV_UINT8 imx415_common[] = {
    REG(0x3208, 0x95), REG(0x3212, 0x56), REG(0x32D4, 0x21), REG(0x32E6, 0xC8),
    REG(0x32E8, 0x16), REG(0x32EC, 0xA1), REG(0x32FA, 0xE7), REG(0x3301, 0x98),
    REG(0x3303, 0x74), REG(0x3305, 0x16), REG(0x330C, 0x52), REG(0x33EE, 0x8D),
    REG(0x3404, 0x35), REG(0x3408, 0xE1), REG(0x3454, 0x92), REG(0x34AD, 0xBF),
    REG(0x34F2, 0xED), REG(0x351B, 0x6F), REG(0x352A, 0x8C), REG(0x3564, 0xCA),
    REG(0x3576, 0x2E), REG(0x3590, 0xA6), REG(0x35AD, 0x3D), REG(0x35F2, 0x8E),
    REG(0x3627, 0x54), REG(0x3644, 0x0B), REG(0x3666, 0xF5), REG(0x3689, 0x2F),
    REG(0x36E0, 0x56), REG(0x3727, 0x19), REG(0x372E, 0xD2), REG(0x372F, 0x38),
    REG(0x3757, 0x60), REG(0x3799, 0x35), REG(0x3813, 0xE4), REG(0x38A8, 0xEC),
    REG(0x38D9, 0x22), REG(0x3914, 0xCF), REG(0x3940, 0x1D), REG(0x3956, 0x5F),
    REG(0x3957, 0xAA), REG(0x3973, 0x6A), REG(0x3996, 0xB2), REG(0x39F7, 0x71),
    REG(0x3AAA, 0xC8), REG(0x3ADF, 0x11), REG(0x3AE8, 0xB8), REG(0x3AF5, 0x44),
    REG(0x3B46, 0x2D), REG(0x3B91, 0x6D), REG(0x3BE9, 0xFF), REG(0x3CA1, 0xE6),
    REG(0x3D08, 0x61), REG(0x3D66, 0x4A), REG(0x3D69, 0x19), REG(0x3D80, 0xEB),
    REG(0x3DB2, 0xDF), REG(0x3E0B, 0xB7), REG(0x3E25, 0x24), REG(0x3E2E, 0x33),
    REG(0x3E31, 0x92), REG(0x3E57, 0x25), REG(0x3E67, 0xAD), REG(0x3E76, 0x0B),
    REG(0x3E90, 0x67), REG(0x3E95, 0xB4), REG(0x3EC0, 0xF1), REG(0x3EC2, 0x0A),
    REG(0x3EC8, 0x76), REG(0x3ED5, 0x46), REG(0x3EDA, 0xE7), REG(0x3EE2, 0x49),
    LIST_END};
static_assert(sizeof(imx415_common) / kRecordSize - 1 == 72);

// Stop list: standby.
const QOV_UINT8 imx415_stop[] = {REG(0x3000, 0x01)};

sensor_mode imx415_configs[] = {
    {SENSOR_FLIP_BOTH, config_4lanes, 0, kRecordSize},
};

sensor_mode imx415_modes[] = {
    {SENSOR_FLIP_BOTH, mode_12bit_4K_30fps_891Mbps_27MHz, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, mode_12bit_4K_50fps_1782Mbps_27MHz, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, mode_12bit_4K_60fps_1782Mbps_27MHz, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, mode_10bit_4K_90fps_2376Mbps_27MHz, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, mode_12bit_4K_30fps_891Mbps_37MHz, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, mode_12bit_4K_60fps_1782Mbps_37MHz, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, mode_12bit_4K_15fps_891Mbps_37MHz_2lanes, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, mode_12bit_4K_50fps_1782Mbps_37MHz, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, mode_12bit_crop_60fps_1782Mbps_37MHz, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, mode_12bit_crop_30fps_891Mbps_37MHz, 0, kRecordSize},
};
constexpr unsigned kModeCount = sizeof(imx415_modes) / sizeof(imx415_modes[0]);

const QOV_UINT8 imx415_num_modes[] = {kModeCount};

// PHY frequency range and oscillator setting of each mode.
const QOV_UINT8 imx415_config_hsfreqrange[kModeCount] = {41, 62, 62, 71, 41, 62, 41, 62, 62, 41};
const QOV_UINT16 imx415_config_osc_freq[kModeCount] = {438, 306, 306, 420, 438,
                                                       306, 438, 306, 306, 438};

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
    QOV_UINT8 laneMode = 0, bitDepth = 0, window = 0;
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
        case kWindow: window = rec[2]; break;
        default: break;
        }
    }
    const QOV_UINT32 vmax = (static_cast<QOV_UINT32>(vmaxHigh & 0x0F) << 16) | (vmaxMid << 8) | vmaxLow;
    const QOV_UINT32 hmax = static_cast<QOV_UINT32>(hmaxHigh << 8) | hmaxLow;
    const double lineTime = hmax / kPixelRate;  // microseconds

    psMode->ui8MipiLanes = laneMode == 3 ? 4 : 2;
    psMode->ui8MipiHsFreqRange = imx415_config_hsfreqrange[index];
    psMode->ui8MipiOscFreq = imx415_config_osc_freq[index];
    psMode->flPixelRate = kPixelRate;
    psMode->ui8BitDepth = bitDepth ? 12 : 10;
    psMode->ui16Width = window == 4 ? 3072 : 3864;
    psMode->ui16Height = 2192;
    psMode->ui16HorizontalTotal = static_cast<QOV_UINT16>(hmax);
    psMode->ui16VerticalTotal = static_cast<QOV_UINT16>(vmax & 0xFFFF);
    // The exposure minimum is eight whole line times.
    psMode->ui32ExposureMin = 8 * SensorToU32(std::floor(lineTime));
    psMode->ui32ExposureMax = SensorToU32((static_cast<double>(vmax) - 4.0) * lineTime);
    psMode->flFrameRate = vmax && hmax ? 1e6 / (vmax * lineTime) : 0.0;
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
        if (((rec[0] << 8) | rec[1]) == kFlipRegister) {
            rec[2] = static_cast<QOV_UINT8>(rec[2] & ~0x03);
            if (flips & SENSOR_FLIP_HORIZONTAL)
                rec[2] |= 0x01;
            if (flips & SENSOR_FLIP_VERTICAL)
                rec[2] |= 0x02;
        }
        SensorKeepFirstFailure(ret, sensor_i2c_write8(psCam->i2c_dev, rec, kRecordSize));
    }
    // the common list in one call, without its end record
    const unsigned commonBytes = sizeof(imx415_common) - kRecordSize;
    SensorKeepFirstFailure(ret, sensor_i2c_write8(psCam->i2c_dev, imx415_common, commonBytes));
    return ret;
}

// Shutter template: 0x3050 (bits 0-7), 0x3051 (bits 8-15), 0x3052 (bits 16-19).
QOV_RESULT ComputeExposure(CAM_STRUCT *psCam, QOV_UINT8 ui8Context, QOV_UINT8 *values)
{
    const long long exposure = psCam->ui32Exposure[ui8Context];
    const long long exposureMin = psCam->currMode.ui32ExposureMin;
    const long long vt = psCam->currMode.ui16VerticalTotal;
    // The minimum is eight line times, so this is the exposure in whole lines.
    long long lines = exposureMin ? exposure * 8 / exposureMin : 0;
    if (lines > vt - 8)
        lines = vt - 8;
    if (lines < 4)
        lines = 4;
    long long shutter = vt - lines;
    if (shutter < 0)  // no mode described yet
        shutter = 0;
    values[2] = static_cast<QOV_UINT8>(shutter & 0xFF);
    values[5] = static_cast<QOV_UINT8>((shutter >> 8) & 0xFF);
    values[8] = static_cast<QOV_UINT8>((shutter >> 16) & 0x0F);
    return QOV_SUCCESS;
}

// Gain template: 0x3090 (bits 0-7), 0x3091 (bit 8) of the 0.3 dB step count.
QOV_RESULT ComputeGains(double flGain, QOV_UINT8 *values)
{
    // Whole 0.3 dB steps, rounded down; a gain below unity is unity.
    double steps = flGain >= 1.0 ? std::floor(std::log10(flGain) * 20 * 10 / 3) : 0.0;
    if (!(steps <= 0x1FF))
        steps = 0x1FF;
    const unsigned code = static_cast<unsigned>(steps);
    values[2] = static_cast<QOV_UINT8>(code & 0xFF);
    values[5] = static_cast<QOV_UINT8>((code >> 8) & 0x01);
    return QOV_SUCCESS;
}

}  // namespace

/*--------------------------------------------------------------------------
 * Chip slots
 *-------------------------------------------------------------------------*/

QOV_RESULT IMX415_GetInfo(SENSOR_HANDLE hHandle, SENSOR_INFO *psInfo)
{
    CAM_STRUCT *psCam = SensorCam(hHandle);
    const SENSOR_INFO_LOG log = {__func__, LOG_TAG, "Reading device ID (GetInfo) \n", QOV_TRUE};
    return SensorInfoFill(psCam, psInfo, MOSAIC_GBRG, psCam->sensorName, 0, &log);
}

QOV_RESULT IMX415_SetGain(SENSOR_HANDLE hHandle, double flGain, QOV_UINT8 ui8Context)
{
    QOV_UINT8 gainRegs[] = {REG(0x3090, 0x00), REG(0x3091, 0x00)};
    return SensorFuncSetGain(hHandle, flGain, ui8Context, gainRegs, sizeof(gainRegs), 0);
}

QOV_RESULT IMX415_SetExposure(SENSOR_HANDLE hHandle, QOV_UINT32 ui32Current, QOV_UINT8 ui8Context)
{
    QOV_UINT8 shutterRegs[] = {REG(0x3050, 0x00), REG(0x3051, 0x00), REG(0x3052, 0x00)};
    return SensorFuncSetExposure(hHandle, ui32Current, ui8Context, shutterRegs, sizeof(shutterRegs), 0);
}

QOV_RESULT IMX415_Disable(SENSOR_HANDLE hHandle)
{
    return SensorFuncDisable(hHandle, imx415_stop, sizeof(imx415_stop));
}

const SENSOR_CHIP kIMX415Chip = {
    .name = "IMX415",
    .i2cAddr = kI2cAddress,
    .addrSize = 2,
    .chipIdReg = kChipIdRegister,
    .chipId = kChipId,
    .minGain = 1.0,
    .maxGain = 3981.0,
    .configs = imx415_configs,
    .configsSize = sizeof(imx415_configs),
    .modes = imx415_modes,
    .modesSize = sizeof(imx415_modes),
    .numModes = imx415_num_modes,
    .numModesSize = sizeof(imx415_num_modes),
    .Disable = IMX415_Disable,
    .GetInfo = IMX415_GetInfo,
    .SetGain = IMX415_SetGain,
    .SetExposure = IMX415_SetExposure,
    .ApplyConfig = SensorNoConfig,
    .ApplyMode = ApplyMode,
    .GetConfInfo = SensorNoConfInfo,
    .GetModeInfo = GetModeInfo,
    .ComputeExposure = ComputeExposure,
    .ComputeGains = ComputeGains,
};

QOV_RESULT IMX415_Create(SENSOR_HANDLE *phHandle)
{
    return SensorChipCreate(&kIMX415Chip, phHandle, SENSOR_DURIDU_IMX415, 0, __func__, LOG_TAG);
}
