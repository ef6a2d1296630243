// OV2718 driver (sensors "OV2718_0" and "OV2718_1") on the shared driver
// base: a 1080p chip with a linear and a staggered-HDR configuration. The
// register tables are chosen after bring-up from the chip's silicon revision
// (sub-identity register 0x300D).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sensors/sensor_common.h"
#include "sensors/sensor_drivers.h"
#include "vezaracommon/userlog.h"

#define LOG_TAG "OV2718_SENSOR"

// One register record: 2-byte address (big-endian), then the value.
#define REG(address, value) \
    (QOV_UINT8)((address) >> 8), (QOV_UINT8)((address) & 0xFF), (QOV_UINT8)(value)
#define REG16(address, value) REG(address, (value) >> 8), REG((address) + 1, (value) & 0xFF)
#define REG_PAUSE(ms) SENSOR_REG_PAUSE, (QOV_UINT8)(ms), SENSOR_REG_PAUSE
#define REG_END SENSOR_REG_END, 0x00, 0x00

namespace {

constexpr QOV_UINT8 kI2cAddress = 0x36;
constexpr QOV_UINT16 kChipIdRegister = 0x300A;
constexpr QOV_UINT16 kChipId = 0x2770;
constexpr QOV_UINT16 kSubIdRegister = 0x300D;
constexpr QOV_UINT8 kSubIdRev2A = 0xE1;
constexpr QOV_UINT8 kSubIdRev1B = 0xF0;
constexpr QOV_UINT8 kRecordSize = 3;

// Register addresses the driver reads or rewrites.
constexpr QOV_UINT16 kRegPllPreDiv = 0x3000;
constexpr QOV_UINT16 kRegPllMultiplier = 0x3001;
constexpr QOV_UINT16 kRegPllPostDiv = 0x3002;
constexpr QOV_UINT16 kRegSysMultiplier = 0x3005;
constexpr QOV_UINT16 kRegStream = 0x3012;
constexpr QOV_UINT16 kRegOtpHOffset = 0x30A9;
constexpr QOV_UINT16 kRegWidth = 0x30AC;
constexpr QOV_UINT16 kRegHeight = 0x30AE;
constexpr QOV_UINT16 kRegHts = 0x30B0;
constexpr QOV_UINT16 kRegVts = 0x30B2;
constexpr QOV_UINT16 kRegExposure = 0x30B6;
constexpr QOV_UINT16 kRegReadMode = 0x30C0;
constexpr QOV_UINT16 kRegGain = 0x315A;
constexpr QOV_UINT16 kRegReadout = 0x3190;
constexpr QOV_UINT16 kRegLaneEnable = 0x31FE;
constexpr QOV_UINT16 kRegIspSetting = 0x3252;

// Readout register bits.
constexpr QOV_UINT8 kReadoutLinear = 0x08;
constexpr QOV_UINT8 kReadoutHdrMask = 0x03;
constexpr QOV_UINT8 kReadoutMipi10 = 0x20;

// PLL: VCO of 2400 MHz and system clock of 1800 MHz from the reference clock.
constexpr double kPllVcoMHz = 2400.0;
constexpr double kSysVcoMHz = 1800.0;

const double pll_prediv_val[] = {1.0, 1.5, 2.0, 2.5, 3.0, 4.0, 6.0, 8.0};

const QOV_UINT8 ov2718_config_num_modes[] = {4, 2};
const QOV_UINT8 ov2718_config_hsfreqrange_rev2a[] = {10, 10};
const QOV_UINT8 ov2718_config_hsfreqrange_rev1b[] = {7, 7};

// Clocks (75 MHz sensor clock from a 24 MHz reference), 4 MIPI lanes, the
// readout, timing, initial exposure and gain, then streaming on.
#define OV2718_CONFIG(readout, hts, vts, exposureLines, gain, analog0, analog1) \
    REG(0x3013, 0x01),                  /* software reset */                   \
        REG_PAUSE(10),                                                        \
        REG(kRegPllPreDiv, 0x07),       /* PLL pre-divider: 8.0 */             \
        REG(kRegPllMultiplier, 0x64),   /* PLL multiplier (from the reference clock) */ \
        REG(kRegPllPostDiv, 0x03),      /* PLL post-divider: 4 */              \
        REG(0x3004, 0x03),                                                    \
        REG(kRegSysMultiplier, 0x49),   /* system PLL multiplier (from the reference clock) */ \
        REG(0x3006, 0x01), REG(0x3007, 0x07), REG(0x3008, 0x02), REG(0x3009, 0x03), \
        REG(0x3010, 0x00), REG(0x3016, 0x02), REG(0x3017, 0x00),                \
        REG(kRegLaneEnable, 0x0F),      /* MIPI lanes 0 to 3 */                \
        REG(0x31FF, 0x00),                                                    \
        REG(kRegReadout, readout),      /* readout mode */                     \
        REG(0x3191, 0x99), REG(0x3192, 0x00), REG(0x3193, 0x08),                \
        REG16(kRegHts, hts),            /* line length */                      \
        REG16(kRegVts, vts),            /* frame length */                     \
        REG16(kRegExposure, exposureLines), /* exposure in lines */            \
        REG(0x30B8, 0x00), REG(0x30B9, 0x02),                                 \
        REG(kRegGain, gain), REG(0x315B, 0x00), /* gain of the long exposure */ \
        REG(0x315C, gain), REG(0x315D, 0x00),   /* gain of the short exposure */ \
        REG(0x3200, 0x00), REG(0x3201, 0x08), REG(0x3202, 0x00), REG(0x3203, 0x08), \
        REG(0x3250, 0xF7), REG(0x3251, 0x00), REG(0x3253, 0x00),                \
        REG(0x3260, analog0), REG(0x3261, analog1), REG(0x3270, 0x00),          \
        REG(0x3300, 0x55), REG(0x3302, 0x00), REG(0x3303, 0x00), REG(0x3304, 0x28), \
        REG(0x3305, 0x6C), REG(0x3306, 0x10), REG(0x3307, 0xB2), REG(0x3308, 0x60), \
        REG(0x3318, 0x22), REG(0x3319, 0x33), REG(0x331A, 0x04), REG(0x331B, 0x03), \
        REG(0x3400, 0x04), REG(0x3401, 0xAF), REG(0x3402, 0x0D), REG(0x3403, 0x05), \
        REG(0x3500, 0x00), REG(0x3501, 0x0F), REG(0x3502, 0x00),                \
        REG(0x3600, 0x01), REG(0x3601, 0x48), REG(0x3602, 0x30), REG(0x3603, 0x11), \
        REG(kRegStream, 0x01),          /* streaming on */                     \
        REG_END

const QOV_UINT8 config_rev2a[] = {OV2718_CONFIG(kReadoutLinear, 2200, 1125, 0x0110, 0x02, 0x11, 0x32)};
const QOV_UINT8 config_rev2a_HDR[] = {OV2718_CONFIG(0x01, 3550, 1126, 0x0010, 0x01, 0x11, 0x32)};
const QOV_UINT8 config_rev1b[] = {OV2718_CONFIG(kReadoutLinear, 2200, 1125, 0x0110, 0x02, 0x21, 0x30)};
const QOV_UINT8 config_rev1b_HDR[] = {OV2718_CONFIG(0x01, 2200, 1136, 0x0010, 0x01, 0x21, 0x30)};

// Output window, size, read mode, OTP horizontal offset and ISP setting.
#define OV2718_MODE(xStart, yStart, width, height, otpOffset)                       \
    REG16(0x30A0, xStart), REG16(0x30A2, yStart), REG16(kRegWidth, width),          \
        REG16(kRegHeight, height), REG(kRegReadMode, 0x04), REG(kRegOtpHOffset, otpOffset), \
        REG(kRegIspSetting, 0x21), REG_END
// Full array with a test pattern: 0x80 in 0x3253 digital, 0x3129 analogue.
#define OV2718_TEST_DIGITAL REG16(kRegWidth, 1936), REG16(kRegHeight, 1096), REG(0x3253, 0x80), REG_END
#define OV2718_TEST_ANALOGUE \
    REG16(kRegWidth, 1936), REG16(kRegHeight, 1096), REG(0x3129, 0x80), REG(0x3253, 0x00), REG_END

const QOV_UINT8 mode1080p_rev2a[] = {OV2718_MODE(8, 8, 1920, 1080, 0x03)};
const QOV_UINT8 mode720p_rev2a[] = {OV2718_MODE(328, 188, 1280, 720, 0x03)};
const QOV_UINT8 modeTestDig_rev2a[] = {OV2718_TEST_DIGITAL};
const QOV_UINT8 modeTestAna_rev2a[] = {OV2718_TEST_ANALOGUE};
const QOV_UINT8 mode1080p_rev1b[] = {OV2718_MODE(8, 8, 1920, 1080, 0x01)};
const QOV_UINT8 mode720p_rev1b[] = {OV2718_MODE(328, 188, 1280, 720, 0x01)};
const QOV_UINT8 modeTestDig_rev1b[] = {OV2718_TEST_DIGITAL};
const QOV_UINT8 modeTestAna_rev1b[] = {OV2718_TEST_ANALOGUE};

// Writable: the record counts are cached on first use.
sensor_mode ov2718_configs_rev2a[] = {
    {SENSOR_FLIP_BOTH, config_rev2a, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, config_rev2a_HDR, 0, kRecordSize},
};
sensor_mode ov2718_configs_rev1b[] = {
    {SENSOR_FLIP_BOTH, config_rev1b, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, config_rev1b_HDR, 0, kRecordSize},
};
sensor_mode ov2718_modes_rev2a[] = {
    {SENSOR_FLIP_BOTH, mode1080p_rev2a, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, mode720p_rev2a, 0, kRecordSize},
    {SENSOR_FLIP_NONE, modeTestDig_rev2a, 0, kRecordSize},
    {SENSOR_FLIP_NONE, modeTestAna_rev2a, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, mode1080p_rev2a, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, mode720p_rev2a, 0, kRecordSize},
};
sensor_mode ov2718_modes_rev1b[] = {
    {SENSOR_FLIP_BOTH, mode1080p_rev1b, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, mode720p_rev1b, 0, kRecordSize},
    {SENSOR_FLIP_NONE, modeTestDig_rev1b, 0, kRecordSize},
    {SENSOR_FLIP_NONE, modeTestAna_rev1b, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, mode1080p_rev2a, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, mode720p_rev2a, 0, kRecordSize},
};

static_assert(sizeof(ov2718_configs_rev2a) == sizeof(ov2718_configs_rev1b));
static_assert(sizeof(ov2718_modes_rev2a) == sizeof(ov2718_modes_rev1b));
static_assert(sizeof(ov2718_configs_rev2a) / sizeof(sensor_mode) == sizeof(ov2718_config_num_modes));

// Stops streaming and waits 200 ms for the frame to end.
const QOV_UINT8 disableRegs[] = {REG(kRegStream, 0x00), REG_PAUSE(200)};

inline QOV_UINT16 recordAddress(const QOV_UINT8 *record)
{
    return static_cast<QOV_UINT16>((record[0] << 8) | record[1]);
}

}  // namespace

const char *OV2718_SENSOR_INFO_NAME(sensor_num num)
{
    switch (num) {
    case SENSOR_DURIDU_OV2718_0:
        return "OV2718_0";
    case SENSOR_DURIDU_OV2718_1:
        return "OV2718_1";
    default:
        return "OV2718";
    }
}

/*-------------------------------------------------------------------------
 * Hooks
 *-------------------------------------------------------------------------*/

static QOV_RESULT OV2718_GetConfInfo(CAM_STRUCT *psCam, QOV_UINT16 nMode, SENSOR_MODE *psMode)
{
    const unsigned config = nMode >> 4;
    unsigned nRegisters = 0;
    const QOV_UINT8 *regs =
        SensorModeGetRegisters(psCam->pConfigs, psCam->uiConfigsSize, config, &nRegisters);
    if (!regs || config >= sizeof(ov2718_config_num_modes))
        return QOV_ERROR_NOT_SUPPORTED;

    QOV_UINT8 laneMask = 0, readout = 0;
    QOV_UINT8 timing[4] = {};  // 0x30B0 to 0x30B3
    double preDiv = 0, postDiv = 0;
    for (unsigned i = 0; i < nRegisters; ++i) {
        const QOV_UINT8 *record = regs + i * kRecordSize;
        const QOV_UINT16 address = recordAddress(record);
        const QOV_UINT8 value = record[2];
        if (address == kRegLaneEnable)
            laneMask = value & 0x0F;
        else if (address == kRegReadout)
            readout = value;
        else if (address == kRegPllPreDiv)
            preDiv = value < 8 ? pll_prediv_val[value] : 0.0;
        else if (address == kRegPllPostDiv)
            postDiv = value + 1;
        else if (address >= kRegHts && address <= kRegVts + 1)
            timing[address - kRegHts] = value;
    }

    const double multiplier = kPllVcoMHz / (psCam->refClock / 1e6);
    if (preDiv != 0 && postDiv != 0 && multiplier != 0 && std::isfinite(multiplier)) {
        psCam->sclk = psCam->refClock / preDiv * multiplier / postDiv;
    } else {
        psCam->sclk = 120e6;
        LOG_WARNING("Did not find all PLL registers - assumes sclk of %ld MHz\n", 120l);
    }

    unsigned lanes = 0;
    for (unsigned bit = 0; bit < 4; ++bit)
        lanes += (laneMask >> bit) & 1;
    const unsigned hts = (timing[0] << 8) | timing[1];
    const unsigned vts = (timing[2] << 8) | timing[3];

    psCam->num_lanes = lanes;
    psCam->vts = vts;
    psMode->ui8SupportFlipping = SENSOR_FLIP_BOTH;
    psMode->ui8MipiLanes = static_cast<QOV_UINT8>(lanes);
    psMode->ui16HorizontalTotal = static_cast<QOV_UINT16>(hts);
    psMode->ui16VerticalTotal = static_cast<QOV_UINT16>(vts);
    psMode->flFrameRate = hts && vts ? psCam->sclk / (static_cast<double>(hts) * vts) : 0.0;
    psMode->flPixelRate = psCam->sclk;
    psMode->ui32ExposureMin = SensorToU32(hts / psCam->sclk * 1e6);
    psMode->ui32ExposureMax =
        vts >= 2 ? SensorToU32((vts - 2.0) * hts / psCam->sclk * 1e6) : 0;
    psMode->ui8BitDepth = (readout & kReadoutMipi10) ? 10 : 12;
    psMode->ui8MipiHsFreqRange = psCam->pHsFreqRange ? psCam->pHsFreqRange[config] : 0;

    if (readout & kReadoutLinear) {
        psMode->eHDRMode = HDR_NONE;
        return QOV_SUCCESS;
    }
    if ((readout & kReadoutHdrMask) == 1) {
        psMode->eHDRMode = HDR_STAGGERED;
        psMode->bLongExpFirst = QOV_TRUE;
        return QOV_SUCCESS;
    }
    return QOV_ERROR_NOT_SUPPORTED;
}

static QOV_RESULT OV2718_GetModeInfo(CAM_STRUCT *psCam, QOV_UINT16 nMode, SENSOR_MODE *psMode)
{
    const unsigned config = nMode >> 4;
    const unsigned mode = nMode & 0xF;
    if (mode >= SENSOR_MODES_PER_CONFIG)
        return QOV_ERROR_NOT_SUPPORTED;
    unsigned nRegisters = 0;
    const QOV_UINT8 *regs = SensorModeGetRegisters(
        psCam->pModes, psCam->uiModesSize, config * SENSOR_MODES_PER_CONFIG + mode, &nRegisters);
    if (!regs)
        return QOV_ERROR_NOT_SUPPORTED;

    QOV_UINT8 size[4] = {};  // 0x30AC to 0x30AF
    for (unsigned i = 0; i < nRegisters; ++i) {
        const QOV_UINT8 *record = regs + i * kRecordSize;
        const QOV_UINT16 address = recordAddress(record);
        if (address >= kRegWidth && address <= kRegHeight + 1)
            size[address - kRegWidth] = record[2];
    }
    psMode->ui16Width = static_cast<QOV_UINT16>(size[0] * 256 + size[1]);
    psMode->ui16Height = static_cast<QOV_UINT16>(size[2] * 256 + size[3]);
    return QOV_SUCCESS;
}

static QOV_RESULT OV2718_ApplyConfig(CAM_STRUCT *psCam)
{
    if (!psCam->currConfReg) {
        LOG_ERROR("current register config not available!\n");
        return QOV_ERROR_FAILURE;
    }
    const double refClockMHz = psCam->refClock / 1e6;
    if (refClockMHz < 20.0 || refClockMHz > 30.0) {
        LOG_ERROR("Reference clock frequency %f MHz not supported!\n", refClockMHz);
        return QOV_ERROR_NOT_SUPPORTED;
    }
    const QOV_UINT8 pllMultiplier =
        static_cast<QOV_UINT8>(static_cast<unsigned>(kPllVcoMHz / refClockMHz));
    const QOV_UINT8 sysMultiplier =
        static_cast<QOV_UINT8>(static_cast<unsigned>(kSysVcoMHz / refClockMHz - 2.0));

    QOV_RESULT ret = QOV_SUCCESS;
    bool exposureFound = false, gainFound = false;
    QOV_UINT8 exposureHigh = 0, exposureLow = 0, gain = 0;
    for (QOV_UINT32 i = 0; i < psCam->nConfRegisters; ++i) {
        QOV_UINT8 record[kRecordSize];
        memcpy(record, psCam->currConfReg + i * kRecordSize, kRecordSize);
        if (record[0] != SENSOR_REG_PAUSE) {
            switch (recordAddress(record)) {
            case kRegPllMultiplier:
                record[2] = pllMultiplier;
                break;
            case kRegSysMultiplier:
                record[2] = sysMultiplier;
                break;
            case kRegExposure:
                exposureHigh = record[2];
                exposureFound = true;
                break;
            case kRegExposure + 1:
                exposureLow = record[2];
                break;
            case kRegGain:
                gain = record[2];
                gainFound = true;
                break;
            default:
                break;
            }
        }
        const QOV_RESULT written = sensor_i2c_write8(psCam->i2c_dev, record, kRecordSize);
        if (written != QOV_SUCCESS && ret == QOV_SUCCESS)
            ret = written;  // the list goes on; the first failure is returned
    }

    psCam->ui32Exposure[0] = psCam->currMode.ui32ExposureMin * (exposureHigh * 256u + exposureLow);
    psCam->flGain[0] = gain;
    if (!gainFound)
        LOG_WARNING("Did not find gainIndex in registers for mode %d\n", psCam->ui16CurrentMode);
    if (!exposureFound)
        LOG_WARNING("Did not find exposureIndex in registers for mode %d\n", psCam->ui16CurrentMode);
    return ret;
}

static QOV_RESULT OV2718_ApplyMode(CAM_STRUCT *psCam)
{
    if (!psCam->currModeReg) {
        LOG_ERROR("current register modes not available!\n");
        return QOV_ERROR_FAILURE;
    }
    const bool horizontal = (psCam->ui8CurrentFlipping & SENSOR_FLIP_HORIZONTAL) != 0;
    const bool vertical = (psCam->ui8CurrentFlipping & SENSOR_FLIP_VERTICAL) != 0;
    QOV_RESULT ret = QOV_SUCCESS;
    bool readModeFound = false, otpFound = false, ispFound = false;
    for (QOV_UINT32 i = 0; i < psCam->nModeRegisters; ++i) {
        QOV_UINT8 record[kRecordSize];
        memcpy(record, psCam->currModeReg + i * kRecordSize, kRecordSize);
        if (record[0] != SENSOR_REG_PAUSE) {
            switch (recordAddress(record)) {
            case kRegReadMode:
                if (vertical)
                    record[2] |= 0x08;
                if (horizontal)
                    record[2] &= static_cast<QOV_UINT8>(~0x04);
                readModeFound = true;
                break;
            case kRegOtpHOffset:
                if (horizontal)
                    record[2] &= 0xFE;
                otpFound = true;
                break;
            case kRegIspSetting:
                if (horizontal)
                    record[2] |= 0xFE;
                ispFound = true;
                break;
            default:
                break;
            }
        }
        const QOV_RESULT written = sensor_i2c_write8(psCam->i2c_dev, record, kRecordSize);
        if (written != QOV_SUCCESS && ret == QOV_SUCCESS)
            ret = written;  // the list goes on; the first failure is returned
    }
    if (!readModeFound)
        LOG_WARNING("Did not find flipIndex0 in registers for mode %d\n", psCam->ui16CurrentMode);
    if (!otpFound)
        LOG_WARNING("Did not find otp hoffset index in registers for mode %d\n",
                    psCam->ui16CurrentMode);
    if (!ispFound)
        LOG_WARNING("Did not find isp setting index in registers for mode %d\n",
                    psCam->ui16CurrentMode);
    return ret;
}

// Exposure in lines over two registers, high byte first.
static QOV_RESULT OV2718_ComputeExposure(CAM_STRUCT *psCam, QOV_UINT8 ui8Context, QOV_UINT8 *values)
{
    const QOV_UINT32 lineTime = psCam->currMode.ui32ExposureMin;
    QOV_UINT32 lines = lineTime ? psCam->ui32Exposure[ui8Context] / lineTime : 0;
    if (lines > 0xFFFF)
        lines = 0xFFFF;  // the registers' largest count rather than a wrapped one
    values[0] = static_cast<QOV_UINT8>(lines >> 8);
    values[kRecordSize] = static_cast<QOV_UINT8>(lines);
    return QOV_SUCCESS;
}

// Gain with 8 fractional bits, the same for the long and the short exposure;
// saturated to the 16 bits of a register pair rather than wrapped.
static QOV_RESULT OV2718_ComputeGains(double flGain, QOV_UINT8 *values)
{
    QOV_UINT32 value = SensorToU32(flGain * 256.0);
    if (value > 0xFFFF)
        value = 0xFFFF;
    values[0] = static_cast<QOV_UINT8>(value >> 8);
    values[kRecordSize] = static_cast<QOV_UINT8>(value);
    values[2 * kRecordSize] = static_cast<QOV_UINT8>(value >> 8);
    values[3 * kRecordSize] = static_cast<QOV_UINT8>(value);
    return QOV_SUCCESS;
}

/*-------------------------------------------------------------------------
 * Slots of the chip
 *-------------------------------------------------------------------------*/

static QOV_RESULT OV2718_SetExposure(SENSOR_HANDLE hHandle, QOV_UINT32 ui32Exposure,
                                     QOV_UINT8 ui8Context)
{
    QOV_UINT8 regs[] = {REG(kRegExposure, 0x00), REG(kRegExposure + 1, 0x10)};
    return SensorFuncSetExposure(hHandle, ui32Exposure, ui8Context, regs, sizeof(regs), 2);
}

static QOV_RESULT OV2718_SetGain(SENSOR_HANDLE hHandle, double flGain, QOV_UINT8 ui8Context)
{
    QOV_UINT8 regs[] = {
        REG(kRegGain, 0x01),
        REG(kRegGain + 1, 0x00),
        REG(kRegGain + 2, 0x01),
        REG(kRegGain + 3, 0x00),
    };
    return SensorFuncSetGain(hHandle, flGain, ui8Context, regs, sizeof(regs), 2);
}

static QOV_RESULT OV2718_Disable(SENSOR_HANDLE hHandle)
{
    return SensorFuncDisable(hHandle, disableRegs, sizeof(disableRegs));
}

static QOV_RESULT OV2718_GetInfo(SENSOR_HANDLE hHandle, SENSOR_INFO *psInfo)
{
    CAM_STRUCT *psCam = SensorCam(hHandle);
    const SENSOR_INFO_LOG log = {__func__, LOG_TAG, nullptr, QOV_FALSE};
    const QOV_RESULT ret = SensorInfoFill(psCam, psInfo, MOSAIC_BGGR, OV2718_SENSOR_INFO_NAME(psCam->nSensor),
                                          static_cast<QOV_UINT8>(GetImagerNum(psCam->nSensor)), &log);
    if (ret == QOV_SUCCESS) {
        psInfo->ui16FocalLength = 30;
        psInfo->ui32WellDepth = 6040;
    }
    return ret;
}

/*-------------------------------------------------------------------------
 * Creation
 *-------------------------------------------------------------------------*/

// Revision 2A until the chip says otherwise.
static const SENSOR_CHIP kOV2718Chip = {
    .name = "OV2718",
    .i2cAddr = kI2cAddress,
    .addrSize = 2,
    .chipIdReg = kChipIdRegister,
    .chipId = kChipId,
    .minGain = 0.5,
    .maxGain = 16.0,
    .configs = ov2718_configs_rev2a,
    .configsSize = sizeof(ov2718_configs_rev2a),
    .modes = ov2718_modes_rev2a,
    .modesSize = sizeof(ov2718_modes_rev2a),
    .numModes = ov2718_config_num_modes,
    .numModesSize = sizeof(ov2718_config_num_modes),
    .hsFreqRange = ov2718_config_hsfreqrange_rev2a,
    .Disable = OV2718_Disable,
    .GetInfo = OV2718_GetInfo,
    .SetGain = OV2718_SetGain,
    .SetExposure = OV2718_SetExposure,
    .ApplyConfig = OV2718_ApplyConfig,
    .ApplyMode = OV2718_ApplyMode,
    .GetConfInfo = OV2718_GetConfInfo,
    .GetModeInfo = OV2718_GetModeInfo,
    .ComputeExposure = OV2718_ComputeExposure,
    .ComputeGains = OV2718_ComputeGains,
};

QOV_RESULT OV2718_Create(SENSOR_HANDLE *phHandle, sensor_num nSensor)
{
    if (!phHandle)
        return QOV_ERROR_INVALID_ARGUMENT;
    *phHandle = nullptr;
    CAM_STRUCT *psCam = SensorCamAlloc(&kOV2718Chip, nSensor, static_cast<QOV_UINT8>(GetImagerNum(nSensor)));
    if (!psCam)
        return QOV_ERROR_NO_MEMORY;
    if (SensorCamStart(psCam, phHandle) != QOV_SUCCESS)
        return QOV_ERROR_DEVICE_FAILED;
    *phHandle = nullptr;  // handed out once the revision is known

    QOV_UINT8 subId = 0;
    if (sensor_i2c_read8(psCam->i2c_dev, kSubIdRegister, &subId) != QOV_SUCCESS) {
        LOG_ERROR("Failed to read sensor subversion id\n");
        SensorFuncDestroy(&psCam->sFuncs);
        return QOV_ERROR_DEVICE_FAILED;
    }
    if (subId == kSubIdRev1B) {
        psCam->pConfigs = ov2718_configs_rev1b;
        psCam->uiConfigsSize = sizeof(ov2718_configs_rev1b);
        psCam->pModes = ov2718_modes_rev1b;
        psCam->uiModesSize = sizeof(ov2718_modes_rev1b);
        psCam->pHsFreqRange = ov2718_config_hsfreqrange_rev1b;
    } else if (subId != kSubIdRev2A) {
        LOG_WARNING("Unknown sensor revision (subID: 0x%x), assuming revision 2A\n", subId);
    }

    OV2718_GetModeInfo(psCam, 0, &psCam->currMode);
    *phHandle = &psCam->sFuncs;
    return QOV_SUCCESS;
}

QOV_RESULT OV2718_Create_0(SENSOR_HANDLE *phHandle)
{
    return OV2718_Create(phHandle, SENSOR_DURIDU_OV2718_0);
}

QOV_RESULT OV2718_Create_1(SENSOR_HANDLE *phHandle)
{
    return OV2718_Create(phHandle, SENSOR_DURIDU_OV2718_1);
}
