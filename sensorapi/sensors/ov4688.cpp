// OV4688 driver (sensor "OV4688"): one 1280 x 720 mode of the OV4689 chip
// family on a single MIPI lane into the second MIPI input, with code of its
// own: a fixed I2C device and 24 MHz reference clock, no board file and no
// GPIO lines, the mode list written at Enable.
//
// Its register lists mark their end with 0xFE and a pause with 0xFF (the
// shared base uses them the other way round), so they are written here.
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>

#include "platform/device_io.h"
#include "sensors/sensor_common.h"
#include "sensors/sensor_drivers.h"
#include "vezaracommon/userlog.h"

#define LOG_TAG "OV4688_SENSOR"

// Markers of this driver's register lists.
#define OV4688_REG_END 0xFE
#define OV4688_REG_PAUSE 0xFF

// One register record: 2-byte address (big-endian), then the value.
#define REG(address, value) \
    (QOV_UINT8)((address) >> 8), (QOV_UINT8)((address) & 0xFF), (QOV_UINT8)(value)
#define REG16(address, value) REG(address, (value) >> 8), REG((address) + 1, (value) & 0xFF)
#define REG_PAUSE(ms) OV4688_REG_PAUSE, (QOV_UINT8)(ms), OV4688_REG_PAUSE
#define REG_END OV4688_REG_END, 0x00, 0x00

namespace {

constexpr QOV_UINT8 kI2cAddress = 0x36;
constexpr QOV_UINT16 kChipIdRegister = 0x300A;
constexpr QOV_UINT16 kChipId = 0x4688;
constexpr unsigned kRecordSize = 3;
constexpr double kRefClockMHz = 24.0;
constexpr QOV_UINT32 kInitialExposure = 26878;  // microseconds
constexpr QOV_UINT8 kPhyFrequencyRange = 2;
constexpr QOV_UINT16 kFocusMin = 50;
constexpr QOV_UINT16 kFocusMax = 600;

// Registers the driver reads or rewrites.
constexpr QOV_UINT16 kRegPllPreDivB = 0x030B;
constexpr QOV_UINT16 kRegPllMultiplierHigh = 0x030C;
constexpr QOV_UINT16 kRegPllMultiplierLow = 0x030D;
constexpr QOV_UINT16 kRegPllDivC = 0x030E;
constexpr QOV_UINT16 kRegPllDivS = 0x030F;
constexpr QOV_UINT16 kRegPllPreDivP = 0x0311;
constexpr QOV_UINT16 kRegMipiControl = 0x3018;
constexpr QOV_UINT16 kRegBitSelect = 0x3031;
constexpr QOV_UINT16 kRegExposure = 0x3500;
constexpr QOV_UINT16 kRegGain = 0x3507;
constexpr QOV_UINT16 kRegWidth = 0x3808;
constexpr QOV_UINT16 kRegVts = 0x380E;
constexpr QOV_UINT16 kRegFlipVertical = 0x3820;
constexpr QOV_UINT16 kRegFlipHorizontal = 0x3821;

const double pll_ctrl_b_val[] = {1.0, 1.5, 2.0, 2.5, 3.0, 4.0, 6.0, 8.0};
const double pll_ctrl_c_val[] = {1.0, 1.5, 2.0, 2.5, 3.0, 3.5, 4.0, 5.0};

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

// 1280 x 720 on one lane, 10 bits; sensor clock 24 MHz x 27 / 4 / 3 = 54 MHz,
// line 5312, frame 756 lines.
const QOV_UINT8 mode720p[] = {
    REG(0x0103, 0x01),  // software reset
    REG_PAUSE(15),
    REG(0x3638, 0x00),
    // PLL
    REG(0x0300, 0x00), REG(0x0302, 0x2A), REG(0x0303, 0x00), REG(0x0304, 0x03),
    REG(kRegPllPreDivB, 0x00),         // B: 1.0
    REG(kRegPllMultiplierHigh, 0x00),  // multiplier 27
    REG(kRegPllMultiplierLow, 0x1B),
    REG(kRegPllDivC, 0x04),  // C: 3.0
    REG(kRegPllDivS, 0x03),  // S: 4
    REG(kRegPllPreDivP, 0x00),  // P: 1
    REG(0x0312, 0x01), REG(0x031E, 0x00), REG(0x3000, 0x20), REG(0x3002, 0x00),
    REG(kRegMipiControl, 0x12),  // one lane
    REG(0x3019, 0x0E), REG(0x3020, 0x93), REG(0x3021, 0x03), REG(0x3022, 0x01),
    REG(kRegBitSelect, 0x0A),  // 10 bits
    REG(0x303F, 0x0C), REG(0x3305, 0xF1), REG(0x3307, 0x04), REG(0x3309, 0x29),
    // Exposure (302 lines, as the driver assumes) and unity gain
    REG(kRegExposure, 0x00), REG(0x3501, 0x12), REG(0x3502, 0xE0), REG(0x3503, 0x04),
    REG(0x3504, 0x00), REG(0x3505, 0x00), REG(0x3506, 0x00),
    REG(kRegGain, 0x00), REG(0x3508, 0x00), REG(0x3509, 0x80),
    REG(0x350A, 0x00), REG(0x350B, 0x00), REG(0x350C, 0x00), REG(0x350D, 0x00),
    REG(0x350E, 0x00), REG(0x350F, 0x80), REG(0x3510, 0x00), REG(0x3511, 0x00),
    REG(0x3512, 0x00), REG(0x3513, 0x00), REG(0x3514, 0x00), REG(0x3515, 0x80),
    REG(0x3516, 0x00), REG(0x3517, 0x00), REG(0x3518, 0x00), REG(0x3519, 0x00),
    REG(0x351A, 0x00), REG(0x351B, 0x80), REG(0x351C, 0x00), REG(0x351D, 0x00),
    REG(0x351E, 0x00), REG(0x351F, 0x00), REG(0x3520, 0x00), REG(0x3521, 0x80),
    REG(0x3522, 0x08), REG(0x3524, 0x08), REG(0x3526, 0x08), REG(0x3528, 0x08),
    REG(0x352A, 0x08),
    // Analogue settings
    REG(0x3602, 0x00), REG(0x3603, 0x40), REG(0x3604, 0x02), REG(0x3605, 0x00),
    REG(0x3606, 0x00), REG(0x3607, 0x00), REG(0x3609, 0x12), REG(0x360A, 0x40),
    REG(0x360C, 0x08), REG(0x360F, 0xE5), REG(0x3608, 0x8F), REG(0x3611, 0x00),
    REG(0x3613, 0xF7), REG(0x3616, 0x58), REG(0x3619, 0x99), REG(0x361B, 0x60),
    REG(0x361C, 0x7A), REG(0x361E, 0x79), REG(0x361F, 0x02), REG(0x3632, 0x05),
    REG(0x3633, 0x10), REG(0x3634, 0x10), REG(0x3635, 0x10), REG(0x3636, 0x15),
    REG(0x3646, 0x86), REG(0x364A, 0x0B), REG(0x3700, 0x17), REG(0x3701, 0x22),
    REG(0x3703, 0x10), REG(0x370A, 0x37), REG(0x3705, 0x00), REG(0x3706, 0x63),
    REG(0x3709, 0x3C), REG(0x370B, 0x01), REG(0x370C, 0x30), REG(0x3710, 0x24),
    REG(0x3711, 0x0C), REG(0x3716, 0x00), REG(0x3720, 0x28), REG(0x3729, 0x7B),
    REG(0x372A, 0x84), REG(0x372B, 0xBD), REG(0x372C, 0xBC), REG(0x372E, 0x52),
    REG(0x373C, 0x0E), REG(0x373E, 0x33), REG(0x3743, 0x10), REG(0x3744, 0x88),
    REG(0x3745, 0xC0), REG(0x374A, 0x43), REG(0x374C, 0x00), REG(0x374E, 0x23),
    REG(0x3751, 0x7B), REG(0x3752, 0x84), REG(0x3753, 0xBD), REG(0x3754, 0xBC),
    REG(0x3756, 0x52), REG(0x375C, 0x00), REG(0x3760, 0x00), REG(0x3761, 0x00),
    REG(0x3762, 0x00), REG(0x3763, 0x00), REG(0x3764, 0x00), REG(0x3767, 0x04),
    REG(0x3768, 0x04), REG(0x3769, 0x08), REG(0x376A, 0x08), REG(0x376B, 0x40),
    REG(0x376C, 0x00), REG(0x376D, 0x00), REG(0x376E, 0x00), REG(0x3773, 0x00),
    REG(0x3774, 0x51), REG(0x3776, 0xBD), REG(0x3777, 0xBD), REG(0x3781, 0x18),
    REG(0x3783, 0x25), REG(0x3798, 0x1B),
    // Window, output size and timing
    REG16(0x3800, 0x0048), REG16(0x3802, 0x0040), REG16(0x3804, 0x0A57), REG16(0x3806, 0x05A3),
    REG16(kRegWidth, 1280), REG16(0x380A, 720), REG16(0x380C, 5312), REG16(kRegVts, 756),
    REG16(0x3810, 0x0008), REG16(0x3812, 0x0004),
    REG(0x3814, 0x31), REG(0x3815, 0x11), REG(0x3819, 0x01),
    REG(kRegFlipVertical, 0x00), REG(kRegFlipHorizontal, 0x06),
    REG(0x3829, 0x00), REG(0x382A, 0x03), REG(0x382B, 0x01), REG(0x382D, 0x7F),
    REG(0x3830, 0x04), REG(0x3836, 0x01), REG(0x3837, 0x00), REG(0x3841, 0x02),
    REG(0x3846, 0x08), REG(0x3847, 0x07), REG(0x3D85, 0x36), REG(0x3D8C, 0x71),
    REG(0x3D8D, 0xCB), REG(0x3F0A, 0x00),
    // Black level
    REG(0x4000, 0xF1), REG(0x4001, 0x40), REG(0x4002, 0x04), REG(0x4003, 0x14),
    REG(0x400E, 0x00), REG(0x4011, 0x00), REG(0x401A, 0x00), REG(0x401B, 0x00),
    REG(0x401C, 0x00), REG(0x401D, 0x00), REG(0x401F, 0x00), REG(0x4020, 0x00),
    REG(0x4021, 0x10), REG(0x4022, 0x03), REG(0x4023, 0x93), REG(0x4024, 0x04),
    REG(0x4025, 0xC0), REG(0x4026, 0x04), REG(0x4027, 0xD0), REG(0x4028, 0x00),
    REG(0x4029, 0x02), REG(0x402A, 0x06), REG(0x402B, 0x04), REG(0x402C, 0x02),
    REG(0x402D, 0x02), REG(0x402E, 0x0E), REG(0x402F, 0x04),
    // Output interface
    REG(0x4302, 0xFF), REG(0x4303, 0xFF), REG(0x4304, 0x00), REG(0x4305, 0x00),
    REG(0x4306, 0x00), REG(0x4308, 0x02), REG(0x4500, 0x6C), REG(0x4501, 0xC4),
    REG(0x4502, 0x40), REG(0x4503, 0x01), REG(0x4601, 0x04), REG(0x4800, 0x04),
    REG(0x4813, 0x08), REG(0x481F, 0x40), REG(0x4829, 0x78), REG(0x4837, 0x1C),
    REG(0x4B00, 0x2A), REG(0x4B0D, 0x00), REG(0x4D00, 0x04), REG(0x4D01, 0x42),
    REG(0x4D02, 0xD1), REG(0x4D03, 0x93), REG(0x4D04, 0xF5), REG(0x4D05, 0xC1),
    // Image processing
    REG(0x5000, 0xF3), REG(0x5001, 0x11), REG(0x5004, 0x00), REG(0x500A, 0x00),
    REG(0x500B, 0x00), REG(0x5032, 0x00), REG(0x5040, 0x00), REG(0x5050, 0x0C),
    REG(0x5500, 0x00), REG(0x5501, 0x10), REG(0x5502, 0x01), REG(0x5503, 0x0F),
    REG(0x8000, 0x00), REG(0x8001, 0x00), REG(0x8002, 0x00), REG(0x8003, 0x00),
    REG(0x8004, 0x00), REG(0x8005, 0x00), REG(0x8006, 0x00), REG(0x8007, 0x00),
    REG(0x8008, 0x00),
    REG(0x0100, 0x01),  // streaming on
    REG_END,
};

typedef struct {
    QOV_UINT8 ui8Flipping;
    const QOV_UINT8 *modeRegisters;
    QOV_UINT32 nRegisters;  // 0: count on first use
} ov4688_mode;

// Writable: the record count is cached on first use.
ov4688_mode ov4688_modes[] = {{SENSOR_FLIP_BOTH, mode720p, 0}};

// Stops streaming, waits 200 ms for the frame to end, then parks the MIPI output.
const QOV_UINT8 disableRegs[] = {
    REG(0x0100, 0x00), REG_PAUSE(200), REG(0x301A, 0xF9), REG(0x4805, 0x03),
};

// Launches the register group the mode list prepared.
const QOV_UINT8 enableRegs[] = {REG(0x320B, 0x00), REG(0x3208, 0xE0)};

inline QOV_UINT16 recordAddress(const QOV_UINT8 *record)
{
    return static_cast<QOV_UINT16>((record[0] << 8) | record[1]);
}

}  // namespace

typedef struct _OV4688cam_struct {
    SENSOR_FUNCS sFuncs;  // first: the handle is the address of the state
    double refClock;      // MHz
    QOV_UINT16 ui16CurrentMode;
    QOV_UINT8 ui8CurrentFlipping;
    QOV_BOOL8 bEnabled;
    SENSOR_MODE currMode;
    const QOV_UINT8 *currModeReg;
    QOV_UINT32 nRegisters;
    QOV_UINT32 ui32Exposure;  // microseconds
    double flGain;
    QOV_UINT16 ui16CurrentFocus;
    QOV_UINT8 imager;  // ISP input, from the PHY table
    int i2c;           // open i2c-dev file
    SENSOR_PHY *psSensorPhy;
} OV4688CAM_STRUCT;

static inline OV4688CAM_STRUCT *camOf(SENSOR_HANDLE hHandle)
{
    return reinterpret_cast<OV4688CAM_STRUCT *>(hHandle);
}

static bool selectChip(int i2c)
{
    return PLATFORM_Ioctl(i2c, SENSOR_I2C_SLAVE,
                          reinterpret_cast<void *>(static_cast<uintptr_t>(kI2cAddress))) >= 0;
}

/*-------------------------------------------------------------------------
 * Register access
 *-------------------------------------------------------------------------*/

// Writes `len` bytes of register records after one chip selection; a
// record starting with the pause marker sleeps (second byte) milliseconds.
static QOV_RESULT ov4688_i2c_write8(int i2c, const QOV_UINT8 *data, unsigned int len)
{
    if (len % kRecordSize != 0) {
        LOG_ERROR("Wrong len of data array, len = %d", len);
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (!selectChip(i2c)) {
        LOG_ERROR("Failed to write I2C slave address!\n");
        return QOV_ERROR_I2C_FAILED;
    }
    for (unsigned int index = 0; index < len; index += kRecordSize) {
        const QOV_UINT8 *record = data + index;
        if (record[0] == OV4688_REG_PAUSE) {
            sensor_usleep(record[1] * 1000u);
            continue;
        }
        const ssize_t written = PLATFORM_Write(i2c, record, kRecordSize);
        if (written != static_cast<ssize_t>(kRecordSize)) {
            LOG_ERROR("Failed to write I2C data! write_len = %d, index = %d\n", static_cast<int>(written),
                      index);
            return QOV_ERROR_I2C_FAILED;
        }
    }
    return QOV_SUCCESS;
}

// Reads the chip identity (0x300A, two bytes, high first).
static QOV_RESULT ov4688_i2c_read16(int i2c, QOV_UINT16 *data)
{
    return sensor_i2c_fd_read16(i2c, kI2cAddress, kChipIdRegister, data, __func__, LOG_TAG,
                                "Failed to write I2C read address!\n");
}

/*-------------------------------------------------------------------------
 * The mode
 *-------------------------------------------------------------------------*/

static const QOV_UINT8 *OV4688_GetModeRegisters(QOV_UINT32 *pnRegisters)
{
    ov4688_mode &mode = ov4688_modes[0];
    if (mode.nRegisters == 0) {
        QOV_UINT32 n = 0;
        while (mode.modeRegisters[n * kRecordSize] != OV4688_REG_END)
            ++n;
        mode.nRegisters = n;
    }
    *pnRegisters = mode.nRegisters;
    return mode.modeRegisters;
}

// Describes the mode from its register list.
static QOV_RESULT OV4688_GetModeInfo(OV4688CAM_STRUCT *psCam, QOV_UINT16 nIndex, SENSOR_MODE *psMode)
{
    if (nIndex != 0)
        return QOV_ERROR_NOT_SUPPORTED;
    QOV_UINT32 nRegisters = 0;
    const QOV_UINT8 *regs = OV4688_GetModeRegisters(&nRegisters);

    QOV_UINT8 bitSelect = 0, mipiControl = 0, multiplierHigh = 0, multiplierLow = 0;
    QOV_UINT8 size[8] = {};  // 0x3808 to 0x380F
    double p = 0, b = 0, s = 0, c = 0;
    for (QOV_UINT32 i = 0; i < nRegisters; ++i) {
        const QOV_UINT8 *record = regs + i * kRecordSize;
        if (record[0] == OV4688_REG_PAUSE)
            continue;
        const QOV_UINT16 address = recordAddress(record);
        const QOV_UINT8 value = record[2];
        if (address >= kRegWidth && address <= kRegVts + 1) {
            size[address - kRegWidth] = value;
            continue;
        }
        switch (address) {
        case kRegBitSelect: bitSelect = value; break;
        case kRegMipiControl: mipiControl = value; break;
        case kRegPllPreDivB: b = value < 8 ? pll_ctrl_b_val[value] : 0.0; break;
        case kRegPllMultiplierHigh: multiplierHigh = value; break;
        case kRegPllMultiplierLow: multiplierLow = value; break;
        case kRegPllDivC: c = value < 8 ? pll_ctrl_c_val[value] : 0.0; break;
        case kRegPllDivS: s = value + 1; break;
        case kRegPllPreDivP: p = value + 1; break;
        default: break;
        }
    }

    double sclk;
    const unsigned multiplier = multiplierHigh * 256u + multiplierLow;
    if (p == 0 || b == 0 || s == 0 || c == 0 || multiplier == 0) {
        sclk = 120e6;
        LOG_WARNING("Did not find all PLL registers - assumes sclk of %ld MHz\n", 120l);
    } else {
        sclk = psCam->refClock * 1e6 / p / b * multiplier / s / c;
    }

    const unsigned width = (size[0] << 8) | size[1];
    const unsigned height = (size[2] << 8) | size[3];
    const unsigned hts = (size[4] << 8) | size[5];
    const unsigned vts = (size[6] << 8) | size[7];
    psMode->ui8SupportFlipping = SENSOR_FLIP_BOTH;
    psMode->ui8MipiLanes = static_cast<QOV_UINT8>(((mipiControl >> 5) & 3) + 1);
    psMode->ui8MipiHsFreqRange = kPhyFrequencyRange;
    psMode->ui16Width = static_cast<QOV_UINT16>(width);
    psMode->ui16Height = static_cast<QOV_UINT16>(height);
    psMode->ui16HorizontalTotal = static_cast<QOV_UINT16>(hts);
    psMode->ui16VerticalTotal = static_cast<QOV_UINT16>(vts);
    psMode->flFrameRate = hts && vts ? sclk / (static_cast<double>(hts) * vts) : 0.0;
    psMode->flPixelRate = sclk;
    psMode->ui32ExposureMin = SensorToU32(hts / sclk * 1e6);
    psMode->ui32ExposureMax = psMode->ui32ExposureMin * 0xFFFFF;
    psMode->ui8BitDepth = bitSelect & 0x1F;
    if (psCam->psSensorPhy)
        psCam->psSensorPhy->psConfig = SensorPhyConfigPtr(SENSOR_DURIDU_OV4688);
    return QOV_SUCCESS;
}

// 302 lines, within the mode's range.
static void OV4688_DefaultExposure(OV4688CAM_STRUCT *psCam)
{
    QOV_UINT32 exposure = 302u * psCam->currMode.ui32ExposureMin;
    if (exposure < psCam->currMode.ui32ExposureMin)  // the product wrapped
        exposure = psCam->currMode.ui32ExposureMin;
    if (exposure > psCam->currMode.ui32ExposureMax)
        exposure = psCam->currMode.ui32ExposureMax;
    psCam->ui32Exposure = exposure;
}

static QOV_RESULT OV4688_GetMode(SENSOR_HANDLE hHandle, QOV_UINT16 nIndex, SENSOR_MODE *psModes)
{
    return OV4688_GetModeInfo(camOf(hHandle), nIndex, psModes);
}

static QOV_RESULT OV4688_SetMode(SENSOR_HANDLE hHandle, QOV_UINT16 nMode, QOV_UINT8 ui8Flipping)
{
    OV4688CAM_STRUCT *psCam = camOf(hHandle);
    if (!psCam->psSensorPhy) {
        LOG_ERROR("sensor not initialised\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    if (nMode != 0)
        return QOV_ERROR_INVALID_ARGUMENT;
    const QOV_UINT8 allowed = ov4688_modes[0].ui8Flipping;
    if (ui8Flipping & ~allowed) {
        LOG_ERROR("sensor mode does not support selected flipping 0x%x (supports 0x%x)\n",
                  ui8Flipping, allowed);
        return QOV_ERROR_NOT_SUPPORTED;
    }
    psCam->currModeReg = OV4688_GetModeRegisters(&psCam->nRegisters);
    if (OV4688_GetModeInfo(psCam, nMode, &psCam->currMode) != QOV_SUCCESS) {
        LOG_ERROR("failed to get mode %d initial information!\n", nMode);
        return QOV_ERROR_FAILURE;
    }
    psCam->ui16CurrentFocus = kFocusMin;
    psCam->ui16CurrentMode = nMode;
    psCam->ui8CurrentFlipping = ui8Flipping;
    OV4688_DefaultExposure(psCam);
    return QOV_SUCCESS;
}

/*-------------------------------------------------------------------------
 * Streaming
 *-------------------------------------------------------------------------*/

static QOV_RESULT OV4688_Enable(SENSOR_HANDLE hHandle)
{
    OV4688CAM_STRUCT *psCam = camOf(hHandle);
    if (!psCam->psSensorPhy) {
        LOG_ERROR("sensor not initialised\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    if (SensorAlreadyEnabled(psCam->bEnabled, "OV4688", __func__, LOG_TAG))
        return QOV_ERROR_WRONG_STATE;
    LOG_INFO("Enabling OV4688 Camera!\n");
    psCam->bEnabled = QOV_TRUE;
    psCam->psSensorPhy->psGasket->bParallel = QOV_FALSE;
    psCam->psSensorPhy->psGasket->uiGasket = psCam->imager;
    psCam->psSensorPhy->psConfig = SensorPhyConfigPtr(SENSOR_DURIDU_OV4688);
    // Without its gasket and PHY the frames reach nothing: the sensor stays idle.
    const QOV_RESULT phyRet = SensorPhySwitchOn(psCam->psSensorPhy, psCam->currMode.ui8MipiLanes,
                                                kPhyFrequencyRange, "OV4688", __func__, LOG_TAG);
    if (phyRet != QOV_SUCCESS) {
        psCam->bEnabled = QOV_FALSE;
        return phyRet;
    }

    // A record that does not reach the chip is reported and the list goes
    // on; the first failure is returned once the start list is sent.
    QOV_RESULT ret = QOV_SUCCESS;
    bool flip0Found = false, flip1Found = false, gainFound = false, exposureFound = false;
    if (!psCam->currModeReg) {
        LOG_ERROR("current register modes not available!\n");
        ret = QOV_ERROR_FAILURE;
    } else {
        for (QOV_UINT32 i = 0; i < psCam->nRegisters; ++i) {
            QOV_UINT8 record[kRecordSize];
            memcpy(record, psCam->currModeReg + i * kRecordSize, kRecordSize);
            if (record[0] == OV4688_REG_PAUSE) {
                sensor_usleep(record[1] * 1000u);
                continue;
            }
            switch (recordAddress(record)) {
            case kRegFlipVertical:
                record[2] = (psCam->ui8CurrentFlipping & SENSOR_FLIP_VERTICAL) ? 6 : 0;
                flip0Found = true;
                break;
            case kRegFlipHorizontal:
                record[2] = (psCam->ui8CurrentFlipping & SENSOR_FLIP_HORIZONTAL) ? 6 : 0;
                flip1Found = true;
                break;
            case kRegGain:
                gainFound = true;
                break;
            case kRegExposure:
                exposureFound = true;
                break;
            default:
                break;
            }
            if (!selectChip(psCam->i2c)) {
                LOG_ERROR("Failed to write I2C slave address!\n");
                if (ret == QOV_SUCCESS)
                    ret = QOV_ERROR_I2C_FAILED;
                continue;
            }
            const ssize_t written = PLATFORM_Write(psCam->i2c, record, kRecordSize);
            if (written != static_cast<ssize_t>(kRecordSize)) {
                LOG_ERROR("Failed to write I2C data! write_len = %d, index = %d\n",
                          static_cast<int>(written), static_cast<int>(i * kRecordSize));
                if (ret == QOV_SUCCESS)
                    ret = QOV_ERROR_I2C_FAILED;
            }
        }
    }

    OV4688_DefaultExposure(psCam);
    if (!flip0Found)
        LOG_WARNING("Did not find flipIndex0 in registers for mode %d\n", psCam->ui16CurrentMode);
    if (!flip1Found)
        LOG_WARNING("Did not find flipIndex1 in registers for mode %d\n", psCam->ui16CurrentMode);
    if (!gainFound)
        LOG_WARNING("Did not find gainIndex in registers for mode %d\n", psCam->ui16CurrentMode);
    if (!exposureFound)
        LOG_WARNING("Did not find exposureIndex in registers for mode %d\n", psCam->ui16CurrentMode);

    const QOV_RESULT startRet = ov4688_i2c_write8(psCam->i2c, enableRegs, sizeof(enableRegs));
    if (ret == QOV_SUCCESS)
        ret = startRet;
    // A failure leaves the sensor streaming (PHY and gasket on), for
    // Disable or Destroy to stop.
    return ret;
}

static QOV_RESULT OV4688_Disable(SENSOR_HANDLE hHandle)
{
    OV4688CAM_STRUCT *psCam = camOf(hHandle);
    if (!psCam->psSensorPhy) {
        LOG_ERROR("sensor not initialised\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    if (!psCam->bEnabled)
        return QOV_SUCCESS;
    LOG_INFO("Disabling OV4688 camera\n");
    psCam->bEnabled = QOV_FALSE;
    ov4688_i2c_write8(psCam->i2c, disableRegs, sizeof(disableRegs));
    SensorPhySwitchOff(psCam->psSensorPhy, SENSOR_DURIDU_OV4688, psCam->currMode.flFrameRate);
    return QOV_SUCCESS;
}

static QOV_RESULT OV4688_Destroy(SENSOR_HANDLE hHandle)
{
    OV4688CAM_STRUCT *psCam = camOf(hHandle);
    if (!psCam->psSensorPhy) {
        LOG_ERROR("sensor not initialised\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    if (psCam->bEnabled)
        OV4688_Disable(hHandle);
    SensorPhyDeinit(psCam->psSensorPhy);
    psCam->psSensorPhy = nullptr;
    PLATFORM_Close(psCam->i2c);
    free(psCam);
    return QOV_SUCCESS;
}

/*-------------------------------------------------------------------------
 * Queries, exposure, gain and focus
 *-------------------------------------------------------------------------*/

static QOV_RESULT OV4688_GetState(SENSOR_HANDLE hHandle, SENSOR_STATUS *psStatus)
{
    OV4688CAM_STRUCT *psCam = camOf(hHandle);
    if (!psCam->psSensorPhy)
        LOG_WARNING("sensor not initialised\n");
    SensorStatusFill(psStatus, psCam->psSensorPhy != nullptr, psCam->ui16CurrentMode,
                     psCam->ui8CurrentFlipping, psCam->bEnabled);
    return QOV_SUCCESS;
}

static QOV_RESULT OV4688_GetInfo(SENSOR_HANDLE hHandle, SENSOR_INFO *psInfo)
{
    OV4688CAM_STRUCT *psCam = camOf(hHandle);
    if (!psCam->psSensorPhy) {
        LOG_ERROR("sensor not initialised\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    psInfo->eBayerOriginal = MOSAIC_BGGR;
    psInfo->eBayerEnabled = MOSAIC_BGGR;
    snprintf(psInfo->pszSensorName, sizeof(psInfo->pszSensorName), "OV4688");
    LOG_WARNING("Reading device ID (GetInfo) \n");
    QOV_UINT16 chipVersion = 0;
    if (ov4688_i2c_read16(psCam->i2c, &chipVersion) != QOV_SUCCESS) {
        LOG_WARNING("Did not read device ID\n");
        snprintf(psInfo->pszSensorVersion, sizeof(psInfo->pszSensorVersion), "not-verified");
    } else {
        snprintf(psInfo->pszSensorVersion, sizeof(psInfo->pszSensorVersion), "0x%x", chipVersion);
        LOG_WARNING("Read device ID %s\n", psInfo->pszSensorVersion);
    }
    psInfo->ui8Imager = psCam->imager;
    psInfo->ui16FocalLength = 30;
    psInfo->fNumber = 1.2;
    psInfo->ui32WellDepth = 6040;
    psInfo->flReadNoise = 5.0;
    psInfo->bBackFacing = QOV_TRUE;
    return QOV_SUCCESS;
}

static QOV_RESULT OV4688_GetGainRange(SENSOR_HANDLE, double *pflMin, double *pflMax,
                                      QOV_UINT8 *puiContexts)
{
    *pflMin = 1.0;
    *pflMax = 16.0;
    *puiContexts = 1;
    return QOV_SUCCESS;
}

static QOV_RESULT OV4688_GetGain(SENSOR_HANDLE hHandle, double *pflCurrent, QOV_UINT8)
{
    OV4688CAM_STRUCT *psCam = camOf(hHandle);
    if (!psCam->psSensorPhy) {
        LOG_ERROR("sensor not initialised\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    *pflCurrent = psCam->flGain;
    return QOV_SUCCESS;
}

// Gain of the long exposure, held in register group 1.
static QOV_RESULT OV4688_SetGain(SENSOR_HANDLE hHandle, double flGain, QOV_UINT8)
{
    OV4688CAM_STRUCT *psCam = camOf(hHandle);
    if (!psCam->psSensorPhy) {
        LOG_ERROR("sensor not initialised\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    psCam->flGain = flGain;
    QOV_UINT16 value = 0x0080;
    if (flGain > 1.0) {  // also keeps NaN at unity
        const double index = std::floor((flGain - 1.0) * 16.0);
        value = aec_long_gain_val.values[index < 239.0 ? static_cast<int>(index) : 239];
    }
    const QOV_UINT8 regs[] = {
        REG(0x3208, 0x01),  // hold group 1
        REG(kRegGain, 0x00),
        REG(0x3508, value >> 8),
        REG(0x3509, value & 0xFF),
        REG(0x3208, 0x11),  // end of group 1
        REG(0x320B, 0x00),
        REG(0x3208, 0xE1),  // launch group 1
    };
    // The gain stays stored as asked; a failed transfer is reported.
    return ov4688_i2c_write8(psCam->i2c, regs, sizeof(regs));
}

static QOV_RESULT OV4688_GetExposureRange(SENSOR_HANDLE hHandle, QOV_UINT32 *pui32Min,
                                          QOV_UINT32 *pui32Max, QOV_UINT8 *pui8Contexts)
{
    OV4688CAM_STRUCT *psCam = camOf(hHandle);
    if (!psCam->psSensorPhy) {
        LOG_ERROR("sensor not initialised\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    *pui32Min = psCam->currMode.ui32ExposureMin;
    *pui32Max = psCam->currMode.ui32ExposureMax;
    *pui8Contexts = 1;
    return QOV_SUCCESS;
}

static QOV_RESULT OV4688_GetExposure(SENSOR_HANDLE hHandle, QOV_UINT32 *pui32Exposure, QOV_UINT8)
{
    OV4688CAM_STRUCT *psCam = camOf(hHandle);
    if (!psCam->psSensorPhy) {
        LOG_ERROR("sensor not initialised\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    *pui32Exposure = psCam->ui32Exposure;
    return QOV_SUCCESS;
}

// Exposure in lines as a 20-bit value with 4 fractional bits, held in register group 2.
static QOV_RESULT OV4688_SetExposure(SENSOR_HANDLE hHandle, QOV_UINT32 ui32Exposure, QOV_UINT8)
{
    OV4688CAM_STRUCT *psCam = camOf(hHandle);
    if (!psCam->psSensorPhy) {
        LOG_ERROR("sensor not initialised\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    psCam->ui32Exposure = ui32Exposure;
    const QOV_UINT32 lineTime = psCam->currMode.ui32ExposureMin;
    QOV_UINT32 lines = lineTime ? ui32Exposure / lineTime : 0;
    if (lines > 0xFFFF)
        lines = 0xFFFF;  // the registers' largest count rather than a wrapped one
    const QOV_UINT8 regs[] = {
        REG(0x3208, 0x02),  // hold group 2
        REG(kRegExposure, (lines >> 12) & 0x0F),
        REG(0x3501, (lines >> 4) & 0xFF),
        REG(0x3502, (lines & 0x0F) << 4),
        REG(0x3208, 0x12),  // end of group 2
        REG(0x320B, 0x00),
        REG(0x3208, 0xE2),  // launch group 2
    };
    // The exposure stays stored as asked; a failed transfer is reported.
    return ov4688_i2c_write8(psCam->i2c, regs, sizeof(regs));
}

static QOV_RESULT OV4688_GetFocusRange(SENSOR_HANDLE, QOV_UINT16 *pui16Min, QOV_UINT16 *pui16Max)
{
    *pui16Min = kFocusMin;
    *pui16Max = kFocusMax;
    return QOV_SUCCESS;
}

static QOV_RESULT OV4688_GetCurrentFocus(SENSOR_HANDLE hHandle, QOV_UINT16 *pui16Current)
{
    OV4688CAM_STRUCT *psCam = camOf(hHandle);
    if (!psCam->psSensorPhy) {
        LOG_ERROR("sensor not initialised\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    *pui16Current = psCam->ui16CurrentFocus;
    return QOV_SUCCESS;
}

// The chip has no lens actuator: the focus is only reported.
static QOV_RESULT OV4688_SetFocus(SENSOR_HANDLE, QOV_UINT16) { return QOV_SUCCESS; }

/*-------------------------------------------------------------------------
 * Creation
 *-------------------------------------------------------------------------*/

QOV_RESULT OV4688_Create(SENSOR_HANDLE *phHandle)
{
    if (!phHandle)
        return QOV_ERROR_INVALID_ARGUMENT;
    *phHandle = nullptr;
    OV4688CAM_STRUCT *psCam = static_cast<OV4688CAM_STRUCT *>(calloc(1, sizeof(OV4688CAM_STRUCT)));
    if (!psCam)
        return QOV_ERROR_NO_MEMORY;

    SENSOR_FUNCS &funcs = psCam->sFuncs;
    funcs.GetMode = OV4688_GetMode;
    funcs.GetState = OV4688_GetState;
    funcs.SetMode = OV4688_SetMode;
    funcs.Enable = OV4688_Enable;
    funcs.Disable = OV4688_Disable;
    funcs.Destroy = OV4688_Destroy;
    funcs.GetInfo = OV4688_GetInfo;
    funcs.GetGainRange = OV4688_GetGainRange;
    funcs.GetCurrentGain = OV4688_GetGain;
    funcs.SetGain = OV4688_SetGain;
    funcs.GetExposureRange = OV4688_GetExposureRange;
    funcs.GetExposure = OV4688_GetExposure;
    funcs.SetExposure = OV4688_SetExposure;
    funcs.GetFocusRange = OV4688_GetFocusRange;
    funcs.GetCurrentFocus = OV4688_GetCurrentFocus;
    funcs.SetFocus = OV4688_SetFocus;

    psCam->ui32Exposure = kInitialExposure;
    psCam->refClock = kRefClockMHz;
    psCam->flGain = 1.0;
    psCam->imager = static_cast<QOV_UINT8>(GetImagerNum(SENSOR_DURIDU_OV4688));

    char path[32];
    if (find_i2c_dev(path, sizeof(path)) != QOV_SUCCESS) {
        LOG_ERROR("Failed to find I2C device!\n");
        free(psCam);
        return QOV_ERROR_DEVICE_FAILED;
    }
    psCam->i2c = PLATFORM_Open(path, O_RDWR);
    if (psCam->i2c < 0) {
        LOG_ERROR("Failed to open I2C device: \"%s\", err = %d\n", path, errno);
        free(psCam);
        return QOV_ERROR_DEVICE_FAILED;
    }

    LOG_WARNING("Reading device ID (OV4688_Create)\n");
    QOV_UINT16 chipVersion = 0;
    const QOV_RESULT ret = ov4688_i2c_read16(psCam->i2c, &chipVersion);
    if (ret != QOV_SUCCESS || chipVersion != kChipId) {
        LOG_ERROR("Failed to ensure that the i2c device has a compatible OV4688 sensor! ret=%d "
                  "chip_version=0x%x (expect chip 0x%x)\n",
                  ret, chipVersion, kChipId);
        PLATFORM_Close(psCam->i2c);
        free(psCam);
        return QOV_ERROR_DEVICE_FAILED;
    }
    LOG_WARNING("Found OV4688 sensor! chip_version=0x%x\n", chipVersion);

    psCam->psSensorPhy = SensorPhyInit(SENSOR_DURIDU_OV4688);
    if (!psCam->psSensorPhy) {
        LOG_ERROR("Failed to create sensor phy!\n");
        PLATFORM_Close(psCam->i2c);
        free(psCam);
        return QOV_ERROR_DEVICE_FAILED;
    }
    OV4688_GetModeInfo(psCam, 0, &psCam->currMode);
    *phHandle = &psCam->sFuncs;
    return QOV_SUCCESS;
}
