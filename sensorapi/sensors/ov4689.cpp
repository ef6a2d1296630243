// OV4689 driver (sensors "OV4689_0" and "OV4689_1") on the shared driver
// base: three lane configurations with ten modes, the sensor clock computed
// from the PLL registers of each configuration, PLL multipliers recomputed
// from the board's reference clock, flip registers, and exposure and gain for
// five contexts, each update held in a register group (0x3208) so that the
// chip applies it at a frame boundary.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sensors/sensor_common.h"
#include "sensors/sensor_drivers.h"
#include "vezaracommon/userlog.h"

#define LOG_TAG "OV4689_SENSOR"

// One register record: 2-byte address (big-endian), then the value.
#define REG(address, value) \
    (QOV_UINT8)((address) >> 8), (QOV_UINT8)((address) & 0xFF), (QOV_UINT8)(value)
#define REG16(address, value) REG(address, (value) >> 8), REG((address) + 1, (value) & 0xFF)
#define REG_PAUSE(ms) SENSOR_REG_PAUSE, (QOV_UINT8)(ms), SENSOR_REG_PAUSE
#define REG_END SENSOR_REG_END, 0x00, 0x00

namespace {

constexpr QOV_UINT8 kI2cAddress = 0x36;
constexpr QOV_UINT16 kChipIdRegister = 0x300A;
constexpr QOV_UINT16 kChipId = 0x4688;
constexpr QOV_UINT8 kRecordSize = 3;
constexpr QOV_UINT32 kInitialExposure = 26878;  // microseconds
constexpr unsigned kFocusMin = 50;
constexpr unsigned kFocusMax = 600;

// Register addresses the driver reads or rewrites.
constexpr QOV_UINT16 kRegPll1Multiplier = 0x0302;
constexpr QOV_UINT16 kRegPll2PreDivB = 0x030B;
constexpr QOV_UINT16 kRegPll2Multiplier = 0x030D;
constexpr QOV_UINT16 kRegPll2DivC = 0x030E;
constexpr QOV_UINT16 kRegPll2DivS = 0x030F;
constexpr QOV_UINT16 kRegPll2PreDivP = 0x0311;
constexpr QOV_UINT16 kRegMipiControl = 0x3018;
constexpr QOV_UINT16 kRegBitSelect = 0x3031;
constexpr QOV_UINT16 kRegExposure = 0x3500;
constexpr QOV_UINT16 kRegGain = 0x3507;
constexpr QOV_UINT16 kRegWidth = 0x3808;
constexpr QOV_UINT16 kRegHeight = 0x380A;
constexpr QOV_UINT16 kRegHts = 0x380C;
constexpr QOV_UINT16 kRegVts = 0x380E;
constexpr QOV_UINT16 kRegFlipVertical = 0x3820;
constexpr QOV_UINT16 kRegFlipHorizontal = 0x3821;

const double pll_ctrl_b_val[] = {1.0, 1.5, 2.0, 2.5, 3.0, 4.0, 6.0, 8.0};
const double pll_ctrl_c_val[] = {1.0, 1.5, 2.0, 2.5, 3.0, 3.5, 4.0, 5.0};

// Per configuration: PLL VCO frequencies in MHz and PHY frequency range.
const double ov4689_config_pll1_vco_freq[] = {660, 960, 960};
const double ov4689_config_pll2_vco_freq[] = {730, 730, 1120};
const QOV_UINT8 ov4689_config_hsfreqrange[] = {2, 10, 2};
const QOV_UINT8 ov4689_config_num_modes[] = {4, 4, 2};

// Low registers of the exposure and gain triples of contexts 0 to 4 (0x35xx).
const QOV_UINT8 exposure_addr[SENSOR_MAX_CONTEXTS] = {0x00, 0x0A, 0x10, 0x16, 0x1C};
const QOV_UINT8 gain_addr[SENSOR_MAX_CONTEXTS] = {0x07, 0x0D, 0x13, 0x19, 0x1F};

// Register values of the long gain, indexed by floor((gain - 1) x 16): four
// ranges (x1, x2, x4, x8) with a finer step in each.
struct GainTable {
    QOV_UINT16 values[240];
    constexpr GainTable() : values()
    {
        for (int i = 0; i < 240; ++i) {
            if (i < 16)
                values[i] = static_cast<QOV_UINT16>(128 + 8 * i);
            else if (i < 48)
                values[i] = static_cast<QOV_UINT16>(376 + 4 * (i - 16));
            else if (i < 112)
                values[i] = static_cast<QOV_UINT16>(884 + 2 * (i - 48));
            else
                values[i] = static_cast<QOV_UINT16>(1912 + (i - 112));
        }
    }
};
constexpr GainTable aec_long_gain_val;

// Settings shared by the configurations: clocks and analogue settings, the
// initial exposure and gain; the streaming start comes last.
#define OV4689_CONFIG(pll1Mult, pll2Mult, pll2DivC, pll2DivS, mipiControl, bitSelect, mipiPeriod) \
    REG(0x0103, 0x01),                 /* software reset */                              \
        REG_PAUSE(10),                                                                    \
        REG(0x0300, 0x00),             /* PLL1 pre-divider */                              \
        REG(kRegPll1Multiplier, pll1Mult), /* PLL1 multiplier (from the reference clock) */ \
        REG(0x0303, 0x00), REG(0x0304, 0x03), REG(0x0305, 0x01), REG(0x0306, 0x01),       \
        REG(kRegPll2PreDivB, 0x00),    /* PLL2 pre-divider B: 1.0 */                       \
        REG(0x030C, 0x00),             /* PLL2 multiplier, high byte */                     \
        REG(kRegPll2Multiplier, pll2Mult), /* PLL2 multiplier (from the reference clock) */ \
        REG(kRegPll2DivC, pll2DivC),   /* PLL2 divider C */                                \
        REG(kRegPll2DivS, pll2DivS),   /* PLL2 divider S */                                \
        REG(kRegPll2PreDivP, 0x00),    /* PLL2 pre-divider P: 1 */                         \
        REG(0x0312, 0x01), REG(0x031E, 0x00), REG(0x3000, 0x20), REG(0x3002, 0x00),       \
        REG(kRegMipiControl, mipiControl), /* MIPI lanes */                                \
        REG(0x3019, 0x0C), REG(0x3020, 0x93), REG(0x3021, 0x03), REG(0x3022, 0x01),       \
        REG(kRegBitSelect, bitSelect), /* output bit depth */                              \
        REG(0x303F, 0x0C), REG(0x3305, 0xF1), REG(0x3307, 0x04), REG(0x3309, 0x29),       \
        REG(kRegExposure, 0x00),       /* long exposure: 302 lines, as the driver assumes */ \
        REG(0x3501, 0x12), REG(0x3502, 0xE0), REG(0x3503, 0x04),                          \
        REG(kRegGain, 0x00),           /* long gain: x1 */                                  \
        REG(0x3508, 0x00), REG(0x3509, 0x80),                                             \
        REG(0x3600, 0x00), REG(0x3601, 0x00), REG(0x3602, 0x00), REG(0x3603, 0x40),       \
        REG(0x3604, 0x02), REG(0x3605, 0x00), REG(0x3606, 0x00), REG(0x3607, 0x00),       \
        REG(0x3609, 0x12), REG(0x360A, 0x40), REG(0x360C, 0x08), REG(0x360F, 0xE5),       \
        REG(0x3608, 0x8F), REG(0x3611, 0x00), REG(0x3613, 0xF7), REG(0x3616, 0x58),       \
        REG(0x3619, 0x99), REG(0x361B, 0x60), REG(0x361C, 0x7A), REG(0x361E, 0x79),       \
        REG(0x361F, 0x02), REG(0x3632, 0x00), REG(0x3633, 0x10), REG(0x3634, 0x10),       \
        REG(0x3635, 0x10), REG(0x3636, 0x15), REG(0x3646, 0x86), REG(0x364A, 0x0B),       \
        REG(0x3700, 0x17), REG(0x3701, 0x22), REG(0x3703, 0x10), REG(0x370A, 0x37),       \
        REG(0x3705, 0x00), REG(0x3706, 0x63), REG(0x3709, 0x3C), REG(0x370B, 0x01),       \
        REG(0x370C, 0x30), REG(0x3710, 0x24), REG(0x3711, 0x0C), REG(0x3716, 0x00),       \
        REG(0x3720, 0x28), REG(0x3729, 0x7B), REG(0x372A, 0x84), REG(0x372B, 0xBD),       \
        REG(0x372C, 0xBC), REG(0x372E, 0x52), REG(0x373C, 0x0E), REG(0x373E, 0x33),       \
        REG(0x3743, 0x10), REG(0x3744, 0x88), REG(0x3745, 0xC0), REG(0x374A, 0x43),       \
        REG(0x374C, 0x00), REG(0x374E, 0x23), REG(0x3751, 0x7B), REG(0x3752, 0x84),       \
        REG(0x3753, 0xBD), REG(0x3754, 0xBC), REG(0x3756, 0x52), REG(0x375C, 0x00),       \
        REG(0x3760, 0x00), REG(0x3761, 0x00), REG(0x3762, 0x00), REG(0x3763, 0x00),       \
        REG(0x3764, 0x00), REG(0x3767, 0x04), REG(0x3768, 0x04), REG(0x3769, 0x08),       \
        REG(0x376A, 0x08), REG(0x376B, 0x20), REG(0x376C, 0x00), REG(0x376D, 0x00),       \
        REG(0x376E, 0x00), REG(0x3773, 0x00), REG(0x3774, 0x51), REG(0x3776, 0xBD),       \
        REG(0x3777, 0xBD), REG(0x3781, 0x18), REG(0x3783, 0x25), REG(0x3798, 0x1B),       \
        REG(0x3D85, 0x36), REG(0x3D8C, 0x73), REG(0x3D8D, 0xDE), REG(0x3F03, 0x00),       \
        REG(0x4000, 0xF1), REG(0x4001, 0x40), REG(0x4002, 0x04), REG(0x4003, 0x14),       \
        REG(0x400E, 0x00), REG(0x4011, 0x00), REG(0x401A, 0x00), REG(0x401B, 0x00),       \
        REG(0x401C, 0x00), REG(0x401D, 0x00), REG(0x401F, 0x00), REG(0x4020, 0x00),       \
        REG(0x4021, 0x10), REG(0x4028, 0x00), REG(0x4029, 0x02), REG(0x402A, 0x06),       \
        REG(0x402B, 0x04), REG(0x402C, 0x02), REG(0x402D, 0x02), REG(0x402E, 0x0E),       \
        REG(0x402F, 0x04), REG(0x4302, 0xFF), REG(0x4303, 0xFF), REG(0x4304, 0x00),       \
        REG(0x4305, 0x00), REG(0x4306, 0x00), REG(0x4308, 0x02), REG(0x4500, 0x6C),       \
        REG(0x4501, 0xC4), REG(0x4502, 0x40), REG(0x4503, 0x01), REG(0x4800, 0x04),       \
        REG(0x4813, 0x08), REG(0x481F, 0x40), REG(0x4829, 0x78),                          \
        REG(0x4837, mipiPeriod),       /* MIPI clock period */                             \
        REG(0x4B00, 0x2A), REG(0x4B0D, 0x00), REG(0x4D00, 0x04), REG(0x4D01, 0x42),       \
        REG(0x4D02, 0xD1), REG(0x4D03, 0x93), REG(0x4D04, 0xF5), REG(0x4D05, 0xC1),       \
        REG(0x5000, 0xF3), REG(0x5001, 0x11), REG(0x5004, 0x00), REG(0x500A, 0x00),       \
        REG(0x500B, 0x00), REG(0x5032, 0x00), REG(0x5040, 0x00), REG(0x5050, 0x0C),       \
        REG(0x5500, 0x00), REG(0x5501, 0x10), REG(0x5502, 0x01), REG(0x5503, 0x0F),       \
        REG(0x8000, 0x00), REG(0x8001, 0x00), REG(0x8002, 0x00), REG(0x8003, 0x00),       \
        REG(0x8004, 0x00), REG(0x8005, 0x00), REG(0x8006, 0x00), REG(0x8007, 0x00),       \
        REG(0x8008, 0x00), REG(0x3638, 0x00),                                             \
        REG(0x0100, 0x01),             /* streaming on */                                  \
        REG(0x4805, 0x00),                                                                \
        REG_END

// Configuration 0: 2 lanes, 10 bits; PLL2 730 MHz / 6.
const QOV_UINT8 config2lanes[] = {OV4689_CONFIG(27, 30, 0x04, 0x01, 0x32, 0x0A, 0x10)};
// Configuration 1: 4 lanes, 10 bits; PLL2 730 MHz / 6.
const QOV_UINT8 config4lanes[] = {OV4689_CONFIG(40, 30, 0x04, 0x01, 0x72, 0x0A, 0x0B)};
// Configuration 2: 1 lane, 8 bits; PLL2 1120 MHz / 9.
const QOV_UINT8 config1lanes[] = {OV4689_CONFIG(40, 46, 0x04, 0x02, 0x12, 0x08, 0x0B)};

// Window, output size, line and frame length, skipping, flips and black-level lines.
#define OV4689_MODE(xStart, yStart, xEnd, yEnd, width, height, hts, vts, xInc, yInc)  \
    REG16(0x3800, xStart), REG16(0x3802, yStart), REG16(0x3804, xEnd),                \
        REG16(0x3806, yEnd),                                                          \
        REG16(kRegWidth, width), REG16(kRegHeight, height),                           \
        REG16(kRegHts, hts), REG16(kRegVts, vts),                                     \
        REG16(0x3810, 0x0008), REG16(0x3812, 0x0004),                                 \
        REG(0x3814, xInc), REG(0x3815, 0x11),                                         \
        REG(0x3819, 0x01), REG(kRegFlipVertical, 0x00), REG(kRegFlipHorizontal, 0x06), \
        REG(0x3829, 0x00), REG(0x382A, yInc), REG(0x382B, 0x01), REG(0x382D, 0x7F),   \
        REG(0x3830, 0x04), REG(0x3836, 0x01), REG(0x3837, 0x00), REG(0x3841, 0x02),   \
        REG(0x3846, 0x08), REG(0x3847, 0x07), REG(0x4001, 0x40), REG(0x4022, 0x04),   \
        REG_END

const QOV_UINT8 modeFull_2[] = {
    OV4689_MODE(0x0008, 0x0008, 0x0A97, 0x05FF, 2688, 1520, 2576, 1554, 0x11, 0x01)};
const QOV_UINT8 mode2016x1520_2[] = {
    OV4689_MODE(0x0158, 0x0008, 0x0947, 0x05FF, 2016, 1520, 2576, 1554, 0x11, 0x01)};
const QOV_UINT8 mode1080p_2[] = {
    OV4689_MODE(0x0188, 0x00E0, 0x0917, 0x0527, 1920, 1080, 2608, 1116, 0x11, 0x01)};
const QOV_UINT8 mode720p_2[] = {
    OV4689_MODE(0x0048, 0x0040, 0x0A57, 0x05A3, 1344, 760, 2632, 797, 0x31, 0x03)};
const QOV_UINT8 modeFull_4[] = {
    OV4689_MODE(0x0008, 0x0008, 0x0A97, 0x05FF, 2688, 1520, 1116, 1605, 0x11, 0x01)};
const QOV_UINT8 mode2016x1520_4Test[] = {
    OV4689_MODE(0x0158, 0x0008, 0x0947, 0x05FF, 2016, 1520, 860, 1554, 0x11, 0x01)};
const QOV_UINT8 mode1080p_4[] = {
    OV4689_MODE(0x0188, 0x00E0, 0x0917, 0x0527, 1920, 1080, 816, 1116, 0x11, 0x01)};
const QOV_UINT8 mode720p_4[] = {
    OV4689_MODE(0x0048, 0x0040, 0x0A57, 0x05A3, 1344, 760, 840, 797, 0x31, 0x03)};
const QOV_UINT8 mode1080p_1[] = {
    OV4689_MODE(0x0188, 0x00E0, 0x0917, 0x0527, 1920, 1080, 4300, 1116, 0x11, 0x01)};
const QOV_UINT8 mode720p_1[] = {
    OV4689_MODE(0x0048, 0x0040, 0x0A57, 0x05A3, 1280, 720, 5312, 756, 0x31, 0x03)};

// Writable: the record counts are cached on first use.
sensor_mode ov4689_configs[] = {
    {SENSOR_FLIP_BOTH, config2lanes, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, config4lanes, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, config1lanes, 0, kRecordSize},
};

sensor_mode ov4689_modes[] = {
    {SENSOR_FLIP_BOTH, modeFull_2, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, mode2016x1520_2, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, mode1080p_2, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, mode720p_2, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, modeFull_4, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, mode2016x1520_4Test, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, mode1080p_4, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, mode720p_4, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, mode1080p_1, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, mode720p_1, 0, kRecordSize},
};

static_assert(sizeof(ov4689_configs) / sizeof(ov4689_configs[0]) ==
              sizeof(ov4689_config_num_modes));

// Stops streaming, waits 200 ms for the frame to end, then parks the MIPI output.
const QOV_UINT8 disableRegs[] = {
    REG(0x0100, 0x00), REG_PAUSE(200), REG(0x301A, 0xF9), REG(0x4805, 0x03),
};

inline QOV_UINT16 recordAddress(const QOV_UINT8 *record)
{
    return static_cast<QOV_UINT16>((record[0] << 8) | record[1]);
}

}  // namespace

const char *OV4689_SENSOR_INFO_NAME(sensor_num num)
{
    switch (num) {
    case SENSOR_DURIDU_OV4689_0:
        return "OV4689_0";
    case SENSOR_DURIDU_OV4689_1:
        return "OV4689_1";
    default:
        return "OV4689";
    }
}

/*-------------------------------------------------------------------------
 * Hooks
 *-------------------------------------------------------------------------*/

static QOV_RESULT OV4689_GetConfInfo(CAM_STRUCT *psCam, QOV_UINT16 nMode, SENSOR_MODE *psMode)
{
    const unsigned config = nMode >> 4;
    unsigned nRegisters = 0;
    const QOV_UINT8 *regs =
        SensorModeGetRegisters(psCam->pConfigs, psCam->uiConfigsSize, config, &nRegisters);
    if (!regs || config >= sizeof(ov4689_config_hsfreqrange))
        return QOV_ERROR_NOT_SUPPORTED;

    QOV_UINT8 bitSelect = 0, mipiControl = 0;
    double p = 0, b = 0, s = 0, c = 0;
    for (unsigned i = 0; i < nRegisters; ++i) {
        const QOV_UINT8 *record = regs + i * kRecordSize;
        const QOV_UINT8 value = record[2];
        switch (recordAddress(record)) {
        case kRegBitSelect:
            bitSelect = value;
            break;
        case kRegMipiControl:
            mipiControl = value;
            break;
        case kRegPll2PreDivP:
            p = value + 1;
            break;
        case kRegPll2PreDivB:
            b = value < 8 ? pll_ctrl_b_val[value] : 0.0;
            break;
        case kRegPll2DivS:
            s = value + 1;
            break;
        case kRegPll2DivC:
            c = value < 8 ? pll_ctrl_c_val[value] : 0.0;
            break;
        default:
            break;
        }
    }

    const double m = ov4689_config_pll2_vco_freq[config] / (psCam->refClock / 1e6);
    if (p != 0 && m != 0 && b != 0 && s != 0 && c != 0 && std::isfinite(m)) {
        psCam->sclk = psCam->refClock / p / b * m / s / c;
    } else {
        psCam->sclk = 120e6;
        LOG_WARNING("Did not find all PLL registers - assumes sclk of %.2lf MHz\n", 120.0);
    }

    const unsigned lanes = ((mipiControl >> 5) & 3) + 1;
    psCam->num_lanes = lanes;
    psMode->ui8MipiLanes = static_cast<QOV_UINT8>(lanes);
    psMode->ui8BitDepth = bitSelect & 0x1F;
    psMode->ui8MipiHsFreqRange = ov4689_config_hsfreqrange[config];
    psMode->flPixelRate = lanes * psCam->sclk / 1e6;
    if (psCam->psSensorPhy)
        psCam->psSensorPhy->psConfig = SensorPhyConfigPtr(psCam->nSensor);
    return QOV_SUCCESS;
}

static QOV_RESULT OV4689_GetModeInfo(CAM_STRUCT *psCam, QOV_UINT16 nMode, SENSOR_MODE *psMode)
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

    // Each size and total is a high byte then a low byte.
    QOV_UINT8 values[8] = {};  // 0x3808 to 0x380F
    for (unsigned i = 0; i < nRegisters; ++i) {
        const QOV_UINT8 *record = regs + i * kRecordSize;
        const QOV_UINT16 address = recordAddress(record);
        if (address >= kRegWidth && address <= kRegVts + 1)
            values[address - kRegWidth] = record[2];
    }
    const unsigned width = (values[0] << 8) | values[1];
    const unsigned height = (values[2] << 8) | values[3];
    const unsigned hts = (values[4] << 8) | values[5];
    const unsigned vts = (values[6] << 8) | values[7];

    psMode->ui16Width = static_cast<QOV_UINT16>(width);
    psMode->ui16Height = static_cast<QOV_UINT16>(height);
    psMode->ui16HorizontalTotal = static_cast<QOV_UINT16>(hts);
    psMode->ui16VerticalTotal = static_cast<QOV_UINT16>(vts);
    psMode->ui8SupportFlipping = SENSOR_FLIP_BOTH;
    psMode->flFrameRate = hts && vts ? psCam->sclk / (static_cast<double>(hts) * vts) : 0.0;
    psMode->ui32ExposureMin = static_cast<QOV_UINT32>(std::floor(hts / psCam->sclk * 1e6));
    psMode->ui32ExposureMax = psMode->ui32ExposureMin * 0xFFFFF;
    psCam->vts = vts;
    return QOV_SUCCESS;
}

static QOV_RESULT OV4689_ApplyConfig(CAM_STRUCT *psCam)
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
    const unsigned config = psCam->currConfig;
    if (config >= sizeof(ov4689_config_num_modes))
        return QOV_ERROR_NOT_SUPPORTED;
    const QOV_UINT8 pll1 =
        static_cast<QOV_UINT8>(static_cast<unsigned>(ov4689_config_pll1_vco_freq[config] / refClockMHz));
    const QOV_UINT8 pll2 =
        static_cast<QOV_UINT8>(static_cast<unsigned>(ov4689_config_pll2_vco_freq[config] / refClockMHz));

    QOV_RESULT ret = QOV_SUCCESS;
    bool gainFound = false, exposureFound = false;
    for (QOV_UINT32 i = 0; i < psCam->nConfRegisters; ++i) {
        QOV_UINT8 record[kRecordSize];
        memcpy(record, psCam->currConfReg + i * kRecordSize, kRecordSize);
        const QOV_UINT16 address = recordAddress(record);
        if (record[0] != SENSOR_REG_PAUSE) {
            if (address == kRegPll1Multiplier)
                record[2] = pll1;
            else if (address == kRegPll2Multiplier)
                record[2] = pll2;
            else if (address == kRegGain)
                gainFound = true;
            else if (address == kRegExposure)
                exposureFound = true;
        }
        const QOV_RESULT written = sensor_i2c_write8(psCam->i2c_dev, record, kRecordSize);
        if (written != QOV_SUCCESS && ret == QOV_SUCCESS)
            ret = written;  // the list goes on; the first failure is returned
    }
    if (!gainFound)
        LOG_WARNING("Did not find gainIndex in registers for mode %d\n", psCam->ui16CurrentMode);
    if (!exposureFound)
        LOG_WARNING("Did not find exposureIndex in registers for mode %d\n", psCam->ui16CurrentMode);
    return ret;
}

static QOV_RESULT OV4689_ApplyMode(CAM_STRUCT *psCam)
{
    if (!psCam->currModeReg) {
        LOG_ERROR("current register modes not available!\n");
        return QOV_ERROR_FAILURE;
    }
    QOV_RESULT ret = QOV_SUCCESS;
    bool flip0Found = false, flip1Found = false;
    for (QOV_UINT32 i = 0; i < psCam->nModeRegisters; ++i) {
        QOV_UINT8 record[kRecordSize];
        memcpy(record, psCam->currModeReg + i * kRecordSize, kRecordSize);
        if (record[0] != SENSOR_REG_PAUSE) {
            const QOV_UINT16 address = recordAddress(record);
            if (address == kRegFlipVertical) {
                record[2] = (psCam->ui8CurrentFlipping & SENSOR_FLIP_VERTICAL) ? 6 : 0;
                flip0Found = true;
            } else if (address == kRegFlipHorizontal) {
                record[2] = (psCam->ui8CurrentFlipping & SENSOR_FLIP_HORIZONTAL) ? 0 : 6;
                flip1Found = true;
            }
        }
        const QOV_RESULT written = sensor_i2c_write8(psCam->i2c_dev, record, kRecordSize);
        if (written != QOV_SUCCESS && ret == QOV_SUCCESS)
            ret = written;  // the list goes on; the first failure is returned
    }

    QOV_UINT64 exposure = 302ull * psCam->currMode.ui32ExposureMin;
    if (exposure > psCam->currMode.ui32ExposureMax)
        exposure = psCam->currMode.ui32ExposureMax;
    psCam->ui32Exposure[0] = static_cast<QOV_UINT32>(exposure);

    if (!flip0Found)
        LOG_WARNING("Did not find flipIndex0 in registers for mode %d\n", psCam->ui16CurrentMode);
    if (!flip1Found)
        LOG_WARNING("Did not find flipIndex1 in registers for mode %d\n", psCam->ui16CurrentMode);
    sensor_usleep(100000);
    return ret;
}

// Exposure in lines as a 20-bit value with 4 fractional bits, over three registers.
static QOV_RESULT OV4689_ComputeExposure(CAM_STRUCT *psCam, QOV_UINT8 ui8Context, QOV_UINT8 *values)
{
    const QOV_UINT32 lineTime = psCam->currMode.ui32ExposureMin;
    QOV_UINT32 lines = lineTime ? psCam->ui32Exposure[ui8Context] / lineTime : 0;
    if (lines > 0xFFFF)
        lines = 0xFFFF;  // the registers' largest count rather than a wrapped one
    values[0] = (lines >> 12) & 0x0F;
    values[kRecordSize] = (lines >> 4) & 0xFF;
    values[2 * kRecordSize] = static_cast<QOV_UINT8>((lines & 0x0F) << 4);
    return QOV_SUCCESS;
}

static QOV_RESULT OV4689_ComputeGains(double flGain, QOV_UINT8 *values)
{
    QOV_UINT16 value = 0x0080;
    if (flGain > 1.0) {  // also keeps NaN at unity
        const double index = std::floor((flGain - 1.0) * 16.0);
        value = aec_long_gain_val.values[index < 239.0 ? static_cast<int>(index) : 239];
    }
    values[0] = 0;
    values[kRecordSize] = static_cast<QOV_UINT8>(value >> 8);
    values[2 * kRecordSize] = static_cast<QOV_UINT8>(value & 0xFF);
    return QOV_SUCCESS;
}

/*-------------------------------------------------------------------------
 * Slots of the chip
 *-------------------------------------------------------------------------*/

static QOV_RESULT OV4689_SetExposure(SENSOR_HANDLE hHandle, QOV_UINT32 ui32Exposure,
                                     QOV_UINT8 ui8Context)
{
    CAM_STRUCT *psCam = SensorCam(hHandle);
    if (ui8Context >= SENSOR_MAX_CONTEXTS)
        return QOV_ERROR_NOT_SUPPORTED;
    if (ui8Context > psCam->hdrFrameNum)
        psCam->hdrFrameNum = ui8Context;

    const QOV_UINT16 exposureRegister = 0x3500 | exposure_addr[ui8Context];
    QOV_UINT8 regs[] = {
        REG(0x3208, 0x02),  // hold group 2
        REG(exposureRegister, 0x00),
        REG(exposureRegister + 1, 0x2E),
        REG(exposureRegister + 2, 0x80),
        REG(0x3846, 0x08),  // exposure contexts in use
        REG(0x3208, 0x12),  // end of group 2
        REG(0x320B, 0x00),
        REG(0x3208, 0xE2),  // launch group 2
    };
    if (psCam->hdrFrameNum)
        regs[4 * kRecordSize + 2] = (psCam->hdrFrameNum & 7) | 8;
    return SensorFuncSetExposure(hHandle, ui32Exposure, ui8Context, regs, sizeof(regs),
                                 kRecordSize + 2);
}

static QOV_RESULT OV4689_SetGain(SENSOR_HANDLE hHandle, double flGain, QOV_UINT8 ui8Context)
{
    if (ui8Context >= SENSOR_MAX_CONTEXTS)
        return QOV_ERROR_NOT_SUPPORTED;
    const QOV_UINT16 gainRegister = 0x3500 | gain_addr[ui8Context];
    QOV_UINT8 regs[] = {
        REG(0x3208, 0x01),  // hold group 1
        REG(gainRegister, 0x00),
        REG(gainRegister + 1, 0x00),
        REG(gainRegister + 2, 0x00),
        REG(0x3208, 0x11),  // end of group 1
        REG(0x320B, 0x00),
        REG(0x3208, 0xE1),  // launch group 1
    };
    return SensorFuncSetGain(hHandle, flGain, ui8Context, regs, sizeof(regs), kRecordSize + 2);
}

static QOV_RESULT OV4689_Disable(SENSOR_HANDLE hHandle)
{
    return SensorFuncDisable(hHandle, disableRegs, sizeof(disableRegs));
}

static QOV_RESULT OV4689_GetFocusRange(SENSOR_HANDLE, QOV_UINT16 *pui16Min, QOV_UINT16 *pui16Max)
{
    *pui16Min = kFocusMin;
    *pui16Max = kFocusMax;
    return QOV_SUCCESS;
}

static QOV_RESULT OV4689_GetCurrentFocus(SENSOR_HANDLE hHandle, QOV_UINT16 *pui16Current)
{
    CAM_STRUCT *psCam = SensorCam(hHandle);
    if (!psCam->psSensorPhy) {
        LOG_ERROR("sensor not initialised\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    *pui16Current = psCam->ui16CurrentFocus;
    return QOV_SUCCESS;
}

// The chip has no lens actuator: the focus is only reported.
static QOV_RESULT OV4689_SetFocus(SENSOR_HANDLE, QOV_UINT16) { return QOV_SUCCESS; }

static QOV_RESULT OV4689_GetInfo(SENSOR_HANDLE hHandle, SENSOR_INFO *psInfo)
{
    CAM_STRUCT *psCam = SensorCam(hHandle);
    const SENSOR_INFO_LOG log = {__func__, LOG_TAG, nullptr, QOV_FALSE};
    const QOV_RESULT ret = SensorInfoFill(psCam, psInfo, MOSAIC_BGGR, OV4689_SENSOR_INFO_NAME(psCam->nSensor),
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

static const SENSOR_CHIP kOV4689Chip = {
    .name = "OV4689",
    .i2cAddr = kI2cAddress,
    .addrSize = 2,
    .chipIdReg = kChipIdRegister,
    .chipId = kChipId,
    .minGain = 1.0,
    .maxGain = 16.0,
    .configs = ov4689_configs,
    .configsSize = sizeof(ov4689_configs),
    .modes = ov4689_modes,
    .modesSize = sizeof(ov4689_modes),
    .numModes = ov4689_config_num_modes,
    .numModesSize = sizeof(ov4689_config_num_modes),
    .hsFreqRange = ov4689_config_hsfreqrange,
    .focusDacMin = kFocusMin,
    .Disable = OV4689_Disable,
    .GetInfo = OV4689_GetInfo,
    .SetGain = OV4689_SetGain,
    .SetExposure = OV4689_SetExposure,
    .GetFocusRange = OV4689_GetFocusRange,
    .GetCurrentFocus = OV4689_GetCurrentFocus,
    .SetFocus = OV4689_SetFocus,
    .ApplyConfig = OV4689_ApplyConfig,
    .ApplyMode = OV4689_ApplyMode,
    .GetConfInfo = OV4689_GetConfInfo,
    .GetModeInfo = OV4689_GetModeInfo,
    .ComputeExposure = OV4689_ComputeExposure,
    .ComputeGains = OV4689_ComputeGains,
};

QOV_RESULT OV4689_Create(SENSOR_HANDLE *phHandle, sensor_num nSensor)
{
    if (!phHandle)
        return QOV_ERROR_INVALID_ARGUMENT;
    *phHandle = nullptr;
    CAM_STRUCT *psCam = SensorCamAlloc(&kOV4689Chip, nSensor, static_cast<QOV_UINT8>(GetImagerNum(nSensor)));
    if (!psCam)
        return QOV_ERROR_NO_MEMORY;
    // Every context starts at unity gain and the initial exposure.
    for (int c = 0; c < SENSOR_MAX_CONTEXTS; ++c) {
        psCam->flGain[c] = 1.0;
        psCam->ui32Exposure[c] = kInitialExposure;
    }
    return SensorCamStart(psCam, phHandle);
}

QOV_RESULT OV4689_Create_0(SENSOR_HANDLE *phHandle)
{
    return OV4689_Create(phHandle, SENSOR_DURIDU_OV4689_0);
}

QOV_RESULT OV4689_Create_1(SENSOR_HANDLE *phHandle)
{
    return OV4689_Create(phHandle, SENSOR_DURIDU_OV4689_1);
}
