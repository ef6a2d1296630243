// IMX335 driver on the shared sensor driver base: 16-bit register addresses
// with 8-bit values at I2C address 0x1A. The mode figures are read out of the
// mode's own register list; exposure is a shutter line count counted back
// from the frame end, gain a count of 0.3 dB steps.
#define LOG_TAG "IMX335_SENSOR"

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
constexpr QOV_UINT16 kChipIdRegister = 0x3A01;
constexpr QOV_UINT16 kChipId = 0x0301;

// Registers the mode description reads.
constexpr QOV_UINT16 kVmaxLow = 0x3030, kVmaxMid = 0x3031, kVmaxHigh = 0x3032;
constexpr QOV_UINT16 kHmaxLow = 0x3034, kHmaxHigh = 0x3035;
constexpr QOV_UINT16 kLaneMode = 0x3A01;
constexpr QOV_UINT16 kBitDepth = 0x319D;
constexpr QOV_UINT16 kWindow = 0x3018;
constexpr QOV_UINT16 kCropWidthLow = 0x302E, kCropWidthHigh = 0x302F;
constexpr QOV_UINT16 kCropHeightLow = 0x3076, kCropHeightHigh = 0x3077;
// Orientation: one register per direction.
constexpr QOV_UINT16 kHorizontalFlip = 0x304E;
constexpr QOV_UINT16 kVerticalFlip = 0x304F;

constexpr double kPixelRate = 37.125;  // Mpx/s
constexpr QOV_UINT16 kOscFreq = 438;

/*--------------------------------------------------------------------------
 * Register lists
 *-------------------------------------------------------------------------*/

const QOV_UINT8 config_4lanes[] = {LIST_END};

// Standby and master-mode start come first; streaming starts with the last record.
#define IMX335_HEAD REG(0x3000, 0x01), REG(0x3002, 0x00)
#define IMX335_TAIL WAIT_MS(20), REG(0x3000, 0x00), LIST_END

// Input clock 24, 27, 37.125 and 54 MHz (BCWAIT, CPWAIT, INCKSEL).
#define IMX335_INCK24                                                                    \
    REG(0x300C, 0x3B), REG(0x300D, 0x2A), REG(0x314C, 0x80), REG(0x314D, 0x00),          \
        REG(0x315A, 0x02), REG(0x3168, 0x68), REG(0x316A, 0x7E)
#define IMX335_INCK27                                                                    \
    REG(0x300C, 0x42), REG(0x300D, 0x2E), REG(0x314C, 0x80), REG(0x314D, 0x00),          \
        REG(0x315A, 0x02), REG(0x3168, 0x8F), REG(0x316A, 0x7E)
#define IMX335_INCK37                                                                    \
    REG(0x300C, 0x5B), REG(0x300D, 0x40), REG(0x314C, 0xC0), REG(0x314D, 0x00),          \
        REG(0x315A, 0x06), REG(0x3168, 0x68), REG(0x316A, 0x7F)
#define IMX335_INCK54                                                                    \
    REG(0x300C, 0x84), REG(0x300D, 0x5D), REG(0x314C, 0xB0), REG(0x314D, 0x00),          \
        REG(0x315A, 0x06), REG(0x3168, 0x8F), REG(0x316A, 0x7F)

// Data rate per lane: system mode and the MIPI D-PHY timings.
#define IMX335_1188MBPS                                                                  \
    REG(0x319E, 0x00), REG(0x3A18, 0x8F), REG(0x3A1A, 0x4F), REG(0x3A1C, 0x47),          \
        REG(0x3A1E, 0x37), REG(0x3A20, 0x4F), REG(0x3A22, 0x87), REG(0x3A24, 0x4F),      \
        REG(0x3A26, 0x7F), REG(0x3A28, 0x3F)
#define IMX335_594MBPS                                                                   \
    REG(0x319E, 0x02), REG(0x3A18, 0x67), REG(0x3A1A, 0x27), REG(0x3A1C, 0x27),          \
        REG(0x3A1E, 0xB7), REG(0x3A20, 0x28), REG(0x3A22, 0x2F), REG(0x3A24, 0x27),      \
        REG(0x3A26, 0x4F), REG(0x3A28, 0x1F)

#define IMX335_VMAX(v) REG(0x3030, (v) & 0xFF), REG(0x3031, ((v) >> 8) & 0xFF), REG(0x3032, (v) >> 16)
#define IMX335_HMAX(h) REG(0x3034, (h) & 0xFF), REG(0x3035, (h) >> 8)
// Readout window: all pixels, or a 2592 x 1940 crop (width and doubled height given).
#define IMX335_FULL REG(0x3018, 0x00)
#define IMX335_CROP_2592x1940                                                            \
    REG(0x3018, 0x04), REG(0x302C, 0x30), REG(0x302D, 0x00), REG(0x302E, 0x20),          \
        REG(0x302F, 0x0A), REG(0x3074, 0xB4), REG(0x3075, 0x00), REG(0x3076, 0x28),      \
        REG(0x3077, 0x0F)
#define IMX335_10BIT REG(0x3050, 0x00), REG(0x319D, 0x00), REG(0x341C, 0xFF), REG(0x341D, 0x01)
#define IMX335_12BIT REG(0x3050, 0x01), REG(0x319D, 0x01), REG(0x341C, 0x47), REG(0x341D, 0x00)
#define IMX335_4LANES REG(0x3A01, 0x03)
#define IMX335_2LANES REG(0x3A01, 0x01)
#define IMX335_ORIENTATION REG(0x304E, 0x00), REG(0x304F, 0x00)

const QOV_UINT8 mode_2592x1944_60fps[] = {
    IMX335_HEAD,      IMX335_INCK27, IMX335_1188MBPS,    IMX335_FULL,   IMX335_VMAX(4500),
    IMX335_HMAX(275), IMX335_10BIT,  IMX335_ORIENTATION, IMX335_4LANES, IMX335_TAIL};
const QOV_UINT8 mode_2592x1944_30fps[] = {
    IMX335_HEAD,      IMX335_INCK27, IMX335_594MBPS,     IMX335_FULL,   IMX335_VMAX(4500),
    IMX335_HMAX(550), IMX335_12BIT,  IMX335_ORIENTATION, IMX335_4LANES, IMX335_TAIL};
const QOV_UINT8 mode_2592x1940_crop_30fps[] = {
    IMX335_HEAD,      IMX335_INCK27, IMX335_594MBPS,     IMX335_CROP_2592x1940, IMX335_VMAX(4500),
    IMX335_HMAX(550), IMX335_12BIT,  IMX335_ORIENTATION, IMX335_4LANES,         IMX335_TAIL};
const QOV_UINT8 mode_2592x1944_60fps_37MHz[] = {
    IMX335_HEAD,      IMX335_INCK37, IMX335_1188MBPS,    IMX335_FULL,   IMX335_VMAX(4500),
    IMX335_HMAX(275), IMX335_10BIT,  IMX335_ORIENTATION, IMX335_4LANES, IMX335_TAIL};
const QOV_UINT8 mode_2592x1944_2lanes_44fps_54MHz[] = {
    IMX335_HEAD,      IMX335_INCK54, IMX335_1188MBPS,    IMX335_FULL,   IMX335_VMAX(4500),
    IMX335_HMAX(550), IMX335_10BIT,  IMX335_ORIENTATION, IMX335_2LANES, IMX335_TAIL};
const QOV_UINT8 mode_2592x1944_2lanes_30fps_54MHz[] = {
    IMX335_HEAD,      IMX335_INCK54, IMX335_1188MBPS,    IMX335_FULL,   IMX335_VMAX(4500),
    IMX335_HMAX(806), IMX335_10BIT,  IMX335_ORIENTATION, IMX335_2LANES, IMX335_TAIL};
const QOV_UINT8 mode_2592x1944_60fps_24MHz[] = {
    IMX335_HEAD,      IMX335_INCK24, IMX335_1188MBPS,    IMX335_FULL,   IMX335_VMAX(4500),
    IMX335_HMAX(275), IMX335_10BIT,  IMX335_ORIENTATION, IMX335_4LANES, IMX335_TAIL};
const QOV_UINT8 mode_2592x1944_30fps_24MHz[] = {
    IMX335_HEAD,      IMX335_INCK24, IMX335_594MBPS,     IMX335_FULL,   IMX335_VMAX(4500),
    IMX335_HMAX(550), IMX335_12BIT,  IMX335_ORIENTATION, IMX335_4LANES, IMX335_TAIL};

// Chip tuning, written after every mode.
const QOV_UINT8 imx335_common[] = {
    REG(0x312A, 0xA1), REG(0x3183, 0x41), REG(0x3184, 0x84), REG(0x31C9, 0x94),
    REG(0x31E5, 0x09), REG(0x3219, 0xCB), REG(0x324B, 0xD9), REG(0x3257, 0xE7),
    REG(0x3272, 0x90), REG(0x327F, 0x05), REG(0x32B5, 0xE2), REG(0x32E4, 0xAF),
    REG(0x330F, 0x35), REG(0x3334, 0xB4), REG(0x3350, 0x00), REG(0x33B6, 0xFC),
    REG(0x33BE, 0xE7), REG(0x344F, 0xFE), REG(0x3468, 0xC7), REG(0x346C, 0xDA),
    REG(0x3470, 0xEB), REG(0x34BD, 0x6B), REG(0x34E5, 0xCC), REG(0x34E8, 0xE6),
    REG(0x35BE, 0xD0), REG(0x35EC, 0x75), REG(0x35FF, 0xB8), REG(0x362E, 0xCB),
    REG(0x3639, 0x4A), REG(0x3653, 0xA8), REG(0x3660, 0xDE), REG(0x366C, 0x0D),
    REG(0x36AF, 0x00), REG(0x36B1, 0xF1), REG(0x36B3, 0x4D), REG(0x36BA, 0x57),
    REG(0x36C0, 0xEE), REG(0x36E6, 0xE0), REG(0x370E, 0xB9), REG(0x3772, 0xC2),
    REG(0x37B7, 0x7A), REG(0x37C0, 0xFC), REG(0x37C2, 0x8C), REG(0x3830, 0xD0),
    REG(0x384F, 0x46), REG(0x3862, 0xF4), REG(0x388C, 0x5A), REG(0x38C9, 0x5E),
    REG(0x38D3, 0x45), REG(0x396D, 0x8C), REG(0x3974, 0xEA), REG(0x397E, 0x53),
    REG(0x399F, 0x0A), REG(0x3A4E, 0xCE), REG(0x3A59, 0x73), REG(0x3A6F, 0x46),
    REG(0x3B4C, 0x92), REG(0x3B7D, 0xCE), REG(0x3B9F, 0xBF), REG(0x3BCE, 0xFB),
    REG(0x3BEA, 0x7D), REG(0x3BF2, 0x8C), REG(0x3C11, 0x4C), REG(0x3C6A, 0x9E),
    REG(0x3C96, 0xB4), REG(0x3CCD, 0x67),
    LIST_END};
static_assert(sizeof(imx335_common) / kRecordSize - 1 == 66);

// Readout settings that go with the vertical orientation, written before it.
const QOV_UINT8 imx335_vflip_on[] = {REG(0x3081, 0xFE), REG(0x3083, 0xFE), REG(0x30B6, 0xFA),
                                     REG(0x30B7, 0x01), REG(0x3116, 0x02)};
const QOV_UINT8 imx335_vflip_off[] = {REG(0x3081, 0x02), REG(0x3083, 0x02), REG(0x30B6, 0x00),
                                      REG(0x30B7, 0x00), REG(0x3116, 0x08)};

// Stop list: standby.
const QOV_UINT8 imx335_stop[] = {REG(0x3000, 0x01)};

sensor_mode imx335_configs[] = {
    {SENSOR_FLIP_BOTH, config_4lanes, 0, kRecordSize},
};

sensor_mode imx335_modes[] = {
    {SENSOR_FLIP_BOTH, mode_2592x1944_60fps, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, mode_2592x1944_30fps, 0, kRecordSize},
    {SENSOR_FLIP_NONE, mode_2592x1940_crop_30fps, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, mode_2592x1944_60fps_37MHz, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, mode_2592x1944_2lanes_44fps_54MHz, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, mode_2592x1944_2lanes_30fps_54MHz, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, mode_2592x1944_60fps_24MHz, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, mode_2592x1944_30fps_24MHz, 0, kRecordSize},
};
constexpr unsigned kModeCount = sizeof(imx335_modes) / sizeof(imx335_modes[0]);

const QOV_UINT8 imx335_num_modes[] = {kModeCount};

// PHY frequency range of each mode.
const QOV_UINT8 imx335_mode_hsfreqrange[kModeCount] = {59, 25, 7, 59, 59, 59, 59, 25};

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
    QOV_UINT8 widthLow = 0, widthHigh = 0, heightLow = 0, heightHigh = 0;
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
        case kCropWidthLow: widthLow = rec[2]; break;
        case kCropWidthHigh: widthHigh = rec[2]; break;
        case kCropHeightLow: heightLow = rec[2]; break;
        case kCropHeightHigh: heightHigh = rec[2]; break;
        default: break;
        }
    }
    const QOV_UINT32 vmax = (static_cast<QOV_UINT32>(vmaxHigh & 0x0F) << 16) | (vmaxMid << 8) | vmaxLow;
    const QOV_UINT32 hmax = static_cast<QOV_UINT32>(hmaxHigh << 8) | hmaxLow;
    if (vmax > 0xFFFF) {
        LOG_ERROR("VMAX exceeds 16-bit limit: %u", vmax);
        return QOV_ERROR_NOT_SUPPORTED;
    }
    switch (window) {
    case 0:
        psMode->ui16Width = 2592;
        psMode->ui16Height = 1944;
        break;
    case 1:
        psMode->ui16Width = 1296;
        psMode->ui16Height = 972;
        break;
    case 4:
        psMode->ui16Width = static_cast<QOV_UINT16>(((widthHigh & 0x0F) << 8) | widthLow);
        psMode->ui16Height = static_cast<QOV_UINT16>((((heightHigh & 0x1F) << 8) | heightLow) / 2);
        break;
    default:
        return QOV_ERROR_NOT_SUPPORTED;
    }
    const double lineTime = hmax / kPixelRate;  // microseconds

    psMode->ui8MipiLanes = laneMode == 3 ? 4 : 2;
    psMode->ui8MipiHsFreqRange = imx335_mode_hsfreqrange[index];
    psMode->ui8MipiOscFreq = kOscFreq;
    psMode->flPixelRate = kPixelRate;
    psMode->ui8BitDepth = bitDepth ? 12 : 10;
    psMode->ui16HorizontalTotal = static_cast<QOV_UINT16>(hmax);
    psMode->ui16VerticalTotal = static_cast<QOV_UINT16>(vmax);
    psMode->ui32ExposureMin = SensorToU32(std::floor(lineTime));
    psMode->ui32ExposureMax = SensorToU32((static_cast<double>(vmax) - 9.0) * lineTime);
    psMode->flFrameRate = vmax >= 2 && hmax ? 1e6 / ((vmax / 2) * lineTime) : 0.0;
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
    const bool horizontal = psCam->ui8CurrentFlipping & SENSOR_FLIP_HORIZONTAL;
    const bool vertical = psCam->ui8CurrentFlipping & SENSOR_FLIP_VERTICAL;
    for (QOV_UINT32 i = 0; i < psCam->nModeRegisters; ++i) {
        QOV_UINT8 rec[kRecordSize];
        std::memcpy(rec, psCam->currModeReg + i * kRecordSize, kRecordSize);
        const QOV_UINT16 address = static_cast<QOV_UINT16>((rec[0] << 8) | rec[1]);
        if (address == kHorizontalFlip) {
            rec[2] = horizontal ? 1 : 0;
        } else if (address == kVerticalFlip) {
            const QOV_UINT8 *block = vertical ? imx335_vflip_on : imx335_vflip_off;
            static_assert(sizeof(imx335_vflip_on) == sizeof(imx335_vflip_off));
            SensorKeepFirstFailure(ret, sensor_i2c_write8(psCam->i2c_dev, block, sizeof(imx335_vflip_on)));
            rec[2] = vertical ? 1 : 0;
        }
        SensorKeepFirstFailure(ret, sensor_i2c_write8(psCam->i2c_dev, rec, kRecordSize));
    }
    // the common list in one call, without its end record
    const unsigned commonBytes = sizeof(imx335_common) - kRecordSize;
    SensorKeepFirstFailure(ret, sensor_i2c_write8(psCam->i2c_dev, imx335_common, commonBytes));
    return ret;
}

// Shutter template: 0x3058 (bits 0-7), 0x3059 (bits 8-15), 0x305A (bits 16-19).
QOV_RESULT ComputeExposure(CAM_STRUCT *psCam, QOV_UINT8 ui8Context, QOV_UINT8 *values)
{
    const long long exposure = psCam->ui32Exposure[ui8Context];
    const long long exposureMin = psCam->currMode.ui32ExposureMin;
    const long long vt = psCam->currMode.ui16VerticalTotal;
    long long lines = 1;
    if (exposureMin && exposure >= exposureMin) {
        lines = exposure / exposureMin;
        if (lines > vt - 9)
            lines = vt - 9;
    }
    long long shutter = vt - lines;
    if (shutter < 0)  // no mode described yet
        shutter = 0;
    values[2] = static_cast<QOV_UINT8>(shutter & 0xFF);
    values[5] = static_cast<QOV_UINT8>((shutter >> 8) & 0xFF);
    values[8] = static_cast<QOV_UINT8>((shutter >> 16) & 0x0F);
    return QOV_SUCCESS;
}

// Gain template: 0x30E8 (bits 0-7), 0x30E9 (bits 8-10) of the 0.3 dB step count.
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

QOV_RESULT IMX335_GetInfo(SENSOR_HANDLE hHandle, SENSOR_INFO *psInfo)
{
    CAM_STRUCT *psCam = SensorCam(hHandle);
    const SENSOR_INFO_LOG log = {__func__, LOG_TAG, "Reading device ID (GetInfo)\n", QOV_TRUE};
    return SensorInfoFill(psCam, psInfo, MOSAIC_RGGB, psCam->sensorName, 0, &log);
}

QOV_RESULT IMX335_SetGain(SENSOR_HANDLE hHandle, double flGain, QOV_UINT8 ui8Context)
{
    QOV_UINT8 gainRegs[] = {REG(0x30E8, 0x00), REG(0x30E9, 0x00)};
    return SensorFuncSetGain(hHandle, flGain, ui8Context, gainRegs, sizeof(gainRegs), 0);
}

QOV_RESULT IMX335_SetExposure(SENSOR_HANDLE hHandle, QOV_UINT32 ui32Current, QOV_UINT8 ui8Context)
{
    QOV_UINT8 shutterRegs[] = {REG(0x3058, 0x00), REG(0x3059, 0x00), REG(0x305A, 0x00)};
    return SensorFuncSetExposure(hHandle, ui32Current, ui8Context, shutterRegs, sizeof(shutterRegs), 0);
}

QOV_RESULT IMX335_Disable(SENSOR_HANDLE hHandle)
{
    return SensorFuncDisable(hHandle, imx335_stop, sizeof(imx335_stop));
}

const SENSOR_CHIP kIMX335Chip = {
    .name = "IMX335",
    .i2cAddr = kI2cAddress,
    .addrSize = 2,
    .chipIdReg = kChipIdRegister,
    .chipId = kChipId,
    .minGain = 1.0,
    .maxGain = 3981.0,
    .configs = imx335_configs,
    .configsSize = sizeof(imx335_configs),
    .modes = imx335_modes,
    .modesSize = sizeof(imx335_modes),
    .numModes = imx335_num_modes,
    .numModesSize = sizeof(imx335_num_modes),
    .Disable = IMX335_Disable,
    .GetInfo = IMX335_GetInfo,
    .SetGain = IMX335_SetGain,
    .SetExposure = IMX335_SetExposure,
    .ApplyConfig = SensorNoConfig,
    .ApplyMode = ApplyMode,
    .GetConfInfo = SensorNoConfInfo,
    .GetModeInfo = GetModeInfo,
    .ComputeExposure = ComputeExposure,
    .ComputeGains = ComputeGains,
};

QOV_RESULT IMX335_Create(SENSOR_HANDLE *phHandle)
{
    return SensorChipCreate(&kIMX335Chip, phHandle, SENSOR_DURIDU_IMX335, 0, __func__, LOG_TAG);
}
