// GC5035 driver on the shared sensor driver base: 8-bit register addresses
// with 8-bit values at I2C address 0x37, in pages selected by register 0xFE.
// Exposure is an integration line count, with a digital-gain correction for
// odd counts; gain is an analogue level from a table plus a fine digital gain.
#define LOG_TAG "GC5035_SENSOR"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sensors/sensor_common.h"
#include "sensors/sensor_drivers.h"
#include "vezaracommon/userlog.h"

namespace {

// One 2-byte record: register, value.
#define REG(addr, val) static_cast<QOV_UINT8>(addr), static_cast<QOV_UINT8>(val)
#define LIST_END SENSOR_REG_END, SENSOR_REG_END

constexpr unsigned kRecordSize = 2;
constexpr QOV_UINT8 kI2cAddress = 0x37;
constexpr QOV_UINT16 kChipIdRegister = 0x00F0;
constexpr QOV_UINT16 kChipId = 0x5035;

constexpr QOV_UINT8 kPageSelect = 0xFE;
// Page 0: bit 1 vertical flip, bit 0 horizontal flip.
constexpr QOV_UINT8 kFlipRegister = 0x17;

// The one mode's fixed timing.
constexpr QOV_UINT16 kHts = 2920;
constexpr QOV_UINT16 kVts = 2000;
constexpr double kRowTime = 8.333333333333334;  // microseconds
constexpr QOV_UINT32 kExposureMin = 33;         // four row times
constexpr double kPixelRate = 175.2;            // Mpx/s
constexpr QOV_UINT8 kHsFreqRange = 25;

/*--------------------------------------------------------------------------
 * Register lists
 *-------------------------------------------------------------------------*/

const QOV_UINT8 config_2lanes[] = {LIST_END};

// System clocks, frame timing, analogue settings, output window and MIPI
// set-up; streaming starts with the last record.
const QOV_UINT8 mode_2592x1944[] = {
    REG(0xFC, 0x01), REG(0xF4, 0x40), REG(0xF5, 0xE9), REG(0xF6, 0x14), REG(0xF8, 0x49), REG(0xF9, 0x82),
    REG(0xFA, 0x00), REG(0xFC, 0x81), REG(0xFE, 0x00), REG(0x36, 0x01), REG(0xD3, 0x87), REG(0x36, 0x00),
    REG(0x33, 0x00), REG(0xFE, 0x03), REG(0x01, 0xE7), REG(0xF7, 0x01), REG(0xFC, 0x8F), REG(0xFC, 0x8F),
    REG(0xFC, 0x8E), REG(0xFE, 0x00), REG(0x05, 0x02), REG(0x06, 0xDA), REG(0x9D, 0x0C), REG(0x09, 0x00),
    REG(0x0A, 0x04), REG(0x0B, 0x00), REG(0x0C, 0x03), REG(0x0D, 0x07), REG(0x0E, 0xA8), REG(0x0F, 0x0A),
    REG(0x10, 0x30), REG(0x11, 0x02), REG(0x17, 0x80), REG(0x00, 0x26), REG(0x12, 0xFB), REG(0x14, 0x76),
    REG(0x16, 0x2F), REG(0x19, 0x98), REG(0x1D, 0xC0), REG(0x1E, 0xEF), REG(0x26, 0x1D), REG(0x27, 0x59),
    REG(0x2D, 0x5A), REG(0x2E, 0xFF), REG(0x2F, 0xF0), REG(0x30, 0xEC), REG(0x3E, 0xF3), REG(0x41, 0xDF),
    REG(0x43, 0xB1), REG(0x47, 0x43), REG(0x4C, 0xC3), REG(0x51, 0xA7), REG(0x57, 0x5B), REG(0x58, 0xF3),
    REG(0x5A, 0xE7), REG(0x5B, 0xF2), REG(0x64, 0xD0), REG(0x6B, 0x7E), REG(0x6E, 0x03), REG(0x70, 0x58),
    REG(0x73, 0xB6), REG(0x74, 0xB6), REG(0x76, 0x16), REG(0x7A, 0xF6), REG(0x7B, 0xB1), REG(0x83, 0x58),
    REG(0x84, 0x81), REG(0x8B, 0x64), REG(0x8E, 0x58), REG(0x8F, 0xCE), REG(0xA1, 0x7F), REG(0xA4, 0x8D),
    REG(0xA7, 0xB2), REG(0xAB, 0xBC), REG(0xAD, 0xF6), REG(0xAF, 0x45), REG(0xB0, 0x8A), REG(0xB5, 0xB6),
    REG(0xBD, 0xC7), REG(0xBE, 0x45), REG(0xC0, 0x30), REG(0xC1, 0xFE), REG(0xC8, 0xC5), REG(0xCA, 0x19),
    REG(0xDA, 0x07), REG(0xDC, 0xEF), REG(0xDD, 0xD6), REG(0xE3, 0x3A), REG(0xE4, 0x1B), REG(0xE5, 0x6A),
    REG(0xE6, 0x60), REG(0xE7, 0x07), REG(0xEE, 0xF5), REG(0xFE, 0x01), REG(0x8C, 0x10), REG(0x8D, 0x01),
    REG(0x90, 0x01), REG(0x92, 0x04), REG(0x94, 0x04), REG(0x95, 0x07), REG(0x96, 0x98), REG(0x97, 0x0A),
    REG(0x98, 0x20), REG(0x01, 0xFD), REG(0x0A, 0xC8), REG(0x1B, 0x7D), REG(0x23, 0xB3), REG(0x2B, 0x31),
    REG(0x2D, 0x61), REG(0x35, 0x51), REG(0x38, 0x57), REG(0x49, 0xB7), REG(0x53, 0xDF), REG(0x57, 0xC9),
    REG(0x5B, 0x5B), REG(0x62, 0x79), REG(0x65, 0xAB), REG(0xA9, 0x17), REG(0xAD, 0x9D), REG(0xC4, 0x9C),
    REG(0xD1, 0x8B), REG(0xD3, 0x16), REG(0xD6, 0x5F), REG(0xD8, 0x77), REG(0xDA, 0x37), REG(0xDB, 0x96),
    REG(0xDC, 0x65), REG(0xDE, 0x53), REG(0xE4, 0x06), REG(0xE9, 0x9A), REG(0xEC, 0x36), REG(0xFE, 0x02),
    REG(0x0A, 0x35), REG(0x12, 0x8E), REG(0x1A, 0xFA), REG(0x26, 0x47), REG(0x46, 0x3C), REG(0x47, 0xFB),
    REG(0x5D, 0xE8), REG(0x78, 0xD8), REG(0x80, 0x3F), REG(0x9A, 0xE9), REG(0xAA, 0x6B), REG(0xB1, 0x07),
    REG(0xB4, 0x8B), REG(0xC1, 0x22), REG(0xC9, 0x33), REG(0xEB, 0x73), REG(0xFE, 0x03), REG(0x02, 0x57),
    REG(0x03, 0xB7), REG(0x15, 0x14), REG(0x18, 0x0F), REG(0x21, 0x22), REG(0x22, 0x06), REG(0x23, 0x48),
    REG(0x24, 0x12), REG(0x25, 0x28), REG(0x26, 0x08), REG(0x29, 0x06), REG(0x2A, 0x58), REG(0x2B, 0x08),
    REG(0xFE, 0x00), REG(0x3F, 0x91),
    LIST_END};
static_assert(sizeof(mode_2592x1944) / kRecordSize - 1 == 164);

// Stop list: page 0, then CSI off.
const QOV_UINT8 gc5035_stop[] = {REG(0xFE, 0x00), REG(0x3F, 0x01)};

sensor_mode gc5035_configs[] = {
    {SENSOR_FLIP_BOTH, config_2lanes, 0, kRecordSize},
};

sensor_mode gc5035_modes[] = {
    {SENSOR_FLIP_BOTH, mode_2592x1944, 0, kRecordSize},
};
constexpr unsigned kModeCount = sizeof(gc5035_modes) / sizeof(gc5035_modes[0]);

const QOV_UINT8 gc5035_num_modes[] = {kModeCount};

// Analogue gain levels: thresholds in gain x 64 and their level codes.
struct GainLevel {
    QOV_UINT16 threshold;
    QOV_UINT8 code;
};
const GainLevel kGainLevels[] = {
    {64, 0},    {76, 1},    {90, 2},    {106, 3},   {126, 8},   {150, 9},
    {179, 10},  {211, 11},  {250, 12},  {301, 13},  {358, 14},  {427, 15},
    {499, 16},  {589, 17},  {704, 18},  {830, 19},  {998, 20},
};
constexpr unsigned kGainLevelCount = sizeof(kGainLevels) / sizeof(kGainLevels[0]);

// Digital-gain ratio (256 = unity) that makes up for the half line an odd
// integration count lacks; set by each exposure, used by the next gains.
QOV_UINT32 Dgain_ratio = 256;

/*--------------------------------------------------------------------------
 * Hooks
 *-------------------------------------------------------------------------*/



QOV_RESULT GetConfInfo(CAM_STRUCT *, QOV_UINT16, SENSOR_MODE *)
{
    LOG_INFO("Good\n");
    return QOV_SUCCESS;
}

QOV_RESULT GetModeInfo(CAM_STRUCT *psCam, QOV_UINT16 nMode, SENSOR_MODE *psMode)
{
    LOG_INFO("Begin %d\n", nMode);
    if (nMode >= kModeCount)
        return QOV_ERROR_NOT_SUPPORTED;
    unsigned int nRecords = 0;
    const QOV_UINT8 *list = SensorModeGetRegisters(psCam->pModes, psCam->uiModesSize, nMode, &nRecords);
    if (!list)
        return QOV_ERROR_NOT_SUPPORTED;
    LOG_INFO("Mode read\n");

    // Page 1: output window size.
    QOV_UINT8 r95 = 0, r96 = 0, r97 = 0, r98 = 0;
    QOV_UINT8 page = 0;
    for (unsigned i = 0; i < nRecords; ++i) {
        const QOV_UINT8 reg = list[i * kRecordSize];
        const QOV_UINT8 value = list[i * kRecordSize + 1];
        if (reg == kPageSelect) {
            page = value;
            continue;
        }
        if (page != 1)
            continue;
        switch (reg) {
        case 0x95: r95 = value & 0x0F; break;
        case 0x96: r96 = value; break;
        case 0x97: r97 = value & 0x0F; break;
        case 0x98: r98 = value; break;
        default: break;
        }
    }
    psMode->ui16Width = static_cast<QOV_UINT16>((r97 << 8) | r98);
    psMode->ui16Height = static_cast<QOV_UINT16>((r95 << 8) | r96);
    psMode->ui16HorizontalTotal = kHts;
    psMode->ui16VerticalTotal = kVts;
    psMode->ui8BitDepth = 10;
    psMode->ui8MipiLanes = 2;
    psCam->num_lanes = 2;
    psMode->ui8MipiHsFreqRange = kHsFreqRange;
    psMode->ui32ExposureMin = kExposureMin;
    psMode->flFrameRate = 30;
    psMode->flPixelRate = kPixelRate;
    psMode->ui32ExposureMax = static_cast<QOV_UINT32>((kVts - 4) * kRowTime);
    psMode->ui8SupportFlipping = psCam->pModes[nMode].ui8Flipping;
    LOG_INFO("hts=%u vts=%u\n", kHts, kVts);
    LOG_INFO("trow=%lf frame_t=%u\n", kRowTime, static_cast<unsigned>(kHts) * kVts);
    LOG_INFO("End %d\n", nMode);

    if (psCam->psSensorPhy)
        psCam->psSensorPhy->psConfig = SensorPhyConfigPtr(psCam->nSensor);
    return QOV_SUCCESS;
}

// Writes the mode list record by record, setting the flip bits of page-0 register 0x17.
QOV_RESULT ApplyMode(CAM_STRUCT *psCam)
{
    if (!psCam->currModeReg) {
        LOG_ERROR("current register modes not available!\n");
        return QOV_SUCCESS;
    }
    QOV_RESULT ret = QOV_SUCCESS;
    const QOV_UINT8 flips = psCam->ui8CurrentFlipping;
    QOV_UINT8 page = 0;
    for (QOV_UINT32 i = 0; i < psCam->nModeRegisters; ++i) {
        QOV_UINT8 rec[kRecordSize] = {psCam->currModeReg[i * kRecordSize],
                                      psCam->currModeReg[i * kRecordSize + 1]};
        if (rec[0] == kPageSelect) {
            page = rec[1];
        } else if (page == 0 && rec[0] == kFlipRegister) {
            rec[1] = static_cast<QOV_UINT8>(rec[1] & ~0x03);
            if (flips & SENSOR_FLIP_VERTICAL)
                rec[1] |= 0x02;
            if (flips & SENSOR_FLIP_HORIZONTAL)
                rec[1] |= 0x01;
        }
        SensorKeepFirstFailure(ret, sensor_i2c_write8(psCam->i2c_dev, rec, kRecordSize));
    }
    return ret;
}

// Exposure template: (0xFE, 0x00), (0x03, bits 8-13), (0x04, bits 0-7).
QOV_RESULT ComputeExposure(CAM_STRUCT *psCam, QOV_UINT8 ui8Context, QOV_UINT8 *values)
{
    const long long exposure = psCam->ui32Exposure[ui8Context];
    const long long exposureMin = psCam->currMode.ui32ExposureMin;  // four row times
    const long long vt = psCam->currMode.ui16VerticalTotal;
    long long lines = exposureMin ? exposure * 4 / exposureMin : 0;
    if (lines >= 4 && lines > vt - 4)
        lines = vt - 4;
    if (lines < 4) {
        values[3] = 0;
        values[5] = 4;
        Dgain_ratio = 256;
        return QOV_SUCCESS;
    }
    values[3] = static_cast<QOV_UINT8>((lines >> 8) & 0x3F);
    values[5] = static_cast<QOV_UINT8>(lines & 0xFF);
    // An odd count: the digital gain makes up for the half line missing.
    Dgain_ratio = static_cast<QOV_UINT32>(lines * 256 / (lines & ~1LL));
    return QOV_SUCCESS;
}

// Gain template: (0xFE, 0x00), (0xB6, level code), (0xB1, digital high), (0xB2, digital low).
QOV_RESULT ComputeGains(double flGain, QOV_UINT8 *values)
{
    // Gain x 64 within the analogue range of unity to 16.
    double scaled = std::floor(flGain * 64);
    if (!(scaled >= 64))
        scaled = 64;
    if (scaled > 1024)
        scaled = 1024;
    const QOV_UINT32 g64 = static_cast<QOV_UINT32>(scaled);

    unsigned level = kGainLevelCount - 1;
    while (level > 0 && kGainLevels[level].threshold > g64)
        --level;
    const QOV_UINT32 digital = g64 * Dgain_ratio / kGainLevels[level].threshold;
    values[3] = kGainLevels[level].code;
    values[5] = static_cast<QOV_UINT8>(digital >> 6);
    values[7] = static_cast<QOV_UINT8>((digital & 0x3F) << 2);
    return QOV_SUCCESS;
}

}  // namespace

/*--------------------------------------------------------------------------
 * Chip slots
 *-------------------------------------------------------------------------*/

QOV_RESULT GC5035_GetInfo(SENSOR_HANDLE hHandle, SENSOR_INFO *psInfo)
{
    CAM_STRUCT *psCam = SensorCam(hHandle);
    const SENSOR_INFO_LOG log = {__func__, LOG_TAG, "Reading device ID (GetInfo) \n", QOV_TRUE};
    return SensorInfoFill(psCam, psInfo, SensorFlippedRGGB(psCam->ui8CurrentFlipping), psCam->sensorName, 0, &log);
}

QOV_RESULT GC5035_SetGain(SENSOR_HANDLE hHandle, double flGain, QOV_UINT8 ui8Context)
{
    QOV_UINT8 gainRegs[] = {REG(0xFE, 0x00), REG(0xB6, 0x00), REG(0xB1, 0x01), REG(0xB2, 0x00)};
    return SensorFuncSetGain(hHandle, flGain, ui8Context, gainRegs, sizeof(gainRegs), 0);
}

QOV_RESULT GC5035_SetExposure(SENSOR_HANDLE hHandle, QOV_UINT32 ui32Current, QOV_UINT8 ui8Context)
{
    QOV_UINT8 exposureRegs[] = {REG(0xFE, 0x00), REG(0x03, 0x00), REG(0x04, 0x00)};
    return SensorFuncSetExposure(hHandle, ui32Current, ui8Context, exposureRegs, sizeof(exposureRegs), 0);
}

QOV_RESULT GC5035_Disable(SENSOR_HANDLE hHandle)
{
    return SensorFuncDisable(hHandle, gc5035_stop, sizeof(gc5035_stop));
}

const SENSOR_CHIP kGC5035Chip = {
    .name = "GC5035",
    .i2cAddr = kI2cAddress,
    .addrSize = 1,
    .chipIdReg = kChipIdRegister,
    .chipId = kChipId,
    .minGain = 1.0,
    .maxGain = 16.0,
    .configs = gc5035_configs,
    .configsSize = sizeof(gc5035_configs),
    .modes = gc5035_modes,
    .modesSize = sizeof(gc5035_modes),
    .numModes = gc5035_num_modes,
    .numModesSize = sizeof(gc5035_num_modes),
    .Disable = GC5035_Disable,
    .GetInfo = GC5035_GetInfo,
    .SetGain = GC5035_SetGain,
    .SetExposure = GC5035_SetExposure,
    .ApplyConfig = SensorNoConfig,
    .ApplyMode = ApplyMode,
    .GetConfInfo = GetConfInfo,
    .GetModeInfo = GetModeInfo,
    .ComputeExposure = ComputeExposure,
    .ComputeGains = ComputeGains,
};

QOV_RESULT GC5035_Create(SENSOR_HANDLE *phHandle)
{
    return SensorChipCreate(&kGC5035Chip, phHandle, SENSOR_DURIDU_GC5035, static_cast<QOV_UINT8>(GetImagerNum(SENSOR_DURIDU_GC5035)), __func__, LOG_TAG);
}
