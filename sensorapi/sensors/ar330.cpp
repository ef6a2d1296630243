// AR330 driver (sensor "AR330"): an AR0330 with 16-bit registers and
// 16-bit values, on a HiSPi link into the first parallel ISP input. It has
// code of its own: a fixed I2C device and 24 MHz reference clock, no board
// file and no GPIO lines, mode registers written at SetMode, an analogue
// gain table completed by the digital gain, and a "special" mode 255 whose
// registers are loaded from a text file.
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

#define LOG_TAG "AR330_SENSOR"

namespace {

constexpr QOV_UINT8 kI2cAddress = 0x10;
constexpr double kRefClockMHz = 24.0;
constexpr QOV_UINT16 kSpecialMode = 255;
constexpr QOV_UINT16 kListEnd = 0xFFFF;
constexpr unsigned kSpecialInitialValues = 80;

// Registers.
constexpr QOV_UINT16 kRegYStart = 0x3002;
constexpr QOV_UINT16 kRegXStart = 0x3004;
constexpr QOV_UINT16 kRegYEnd = 0x3006;
constexpr QOV_UINT16 kRegXEnd = 0x3008;
constexpr QOV_UINT16 kRegFrameLength = 0x300A;
constexpr QOV_UINT16 kRegLineLength = 0x300C;
constexpr QOV_UINT16 kRegCoarseIntegration = 0x3012;
constexpr QOV_UINT16 kRegResetControl = 0x301A;
constexpr QOV_UINT16 kRegPixClockDiv = 0x302A;
constexpr QOV_UINT16 kRegSysClockDiv = 0x302C;
constexpr QOV_UINT16 kRegPllPreDiv = 0x302E;
constexpr QOV_UINT16 kRegPllMultiplier = 0x3030;
constexpr QOV_UINT16 kRegReadMode = 0x3040;
constexpr QOV_UINT16 kRegDigitalGain = 0x305E;
constexpr QOV_UINT16 kRegAnalogueGain = 0x3060;
constexpr QOV_UINT16 kRegTestDataRed = 0x3072;
constexpr QOV_UINT16 kRegReserved30F0 = 0x30F0;
constexpr QOV_UINT16 kRegDataFormat = 0x31AC;

constexpr QOV_UINT16 kStreamOn = 0x005C;
constexpr QOV_UINT16 kStreamOff = 0x0058;

// HiSPi link into the first parallel input: no MIPI lanes.
constexpr QOV_UINT8 kPhyFrequencyRange = 10;

// Analogue gain steps and their register codes; the digital gain makes up the rest.
typedef struct {
    double flGain;
    QOV_UINT8 ui8GainRegVal;
} ARGAINTABLE;

const ARGAINTABLE asARGainValues[] = {
    {1.0, 0x00},  {1.03, 0x01}, {1.07, 0x02}, {1.1, 0x03},  {1.14, 0x04}, {1.19, 0x05},
    {1.23, 0x06}, {1.28, 0x07}, {1.33, 0x08}, {1.39, 0x09}, {1.45, 0x0A}, {1.52, 0x0B},
    {1.6, 0x0C},  {1.68, 0x0D}, {1.78, 0x0E}, {1.88, 0x0F}, {2.0, 0x10},  {2.13, 0x12},
    {2.29, 0x14}, {2.46, 0x16}, {2.67, 0x18}, {2.91, 0x1A}, {3.2, 0x1C},  {3.56, 0x1E},
    {4.0, 0x20},  {4.57, 0x24}, {5.33, 0x28}, {6.4, 0x2C},
};
constexpr int kGainRows = sizeof(asARGainValues) / sizeof(asARGainValues[0]);
static_assert(kGainRows == 28);

// A mode: standby, HiSPi output of 10 bits, PLL (24 MHz / pre-divider x
// multiplier / system divider / pixel divider), window, read mode (written
// three times), skipping, timing and analogue settings.
#define AR330_MODE(...) AR330_MODE_REGS(__VA_ARGS__)
#define AR330_MODE_REGS(multiplier, xStart, xEnd, yStart, yEnd, lineLength, frameLength, coarse)   \
    kRegResetControl, kStreamOff, 0x3064, 0x1802, 0x31AE, 0x0201, kRegDataFormat, 0x0A0A,     \
        kRegPixClockDiv, 0x0005, kRegSysClockDiv, 0x0004, kRegPllPreDiv, 0x0004,              \
        kRegPllMultiplier, multiplier, 0x3036, 0x000A, 0x3038, 0x0001, 0x31B0, 0x0028,         \
        0x31B2, 0x000E, 0x31B4, 0x2743, 0x31B6, 0x114E, 0x31B8, 0x2049, 0x31BA, 0x0186,        \
        0x31BC, 0x8005, kRegXStart, xStart, kRegXEnd, xEnd, kRegYStart, yStart, kRegYEnd, yEnd, \
        kRegReadMode, 0x0000, kRegReadMode, 0x0000, kRegReadMode, 0x0000, 0x30A2, 0x0001,     \
        0x30A6, 0x0001, kRegLineLength, lineLength, kRegFrameLength, frameLength,              \
        kRegCoarseIntegration, coarse, 0x3014, 0x0000, 0x3ED2, 0x0146, 0x3ED4, 0x8F6C,         \
        0x3ED6, 0x66CC, 0x3ED8, 0x8C42, 0x3EDA, 0x88BC, 0x3EDC, 0xAACC

// Windows: 1280 x 720, 1920 x 1080, 1920 x 1088 and the full 2304 x 1296.
#define WINDOW_720P 0x0200, 0x06FF, 0x019C, 0x046B
#define WINDOW_1080P 0x00C6, 0x0845, 0x00E4, 0x051B
#define WINDOW_1088P 0x00C6, 0x0845, 0x00E0, 0x051F
#define WINDOW_FULL 0x0006, 0x0905, 0x0078, 0x0587

const QOV_UINT16 ui16ModeRegs_0[] = {AR330_MODE(0x2A, WINDOW_720P, 964, 730, 0x0200), kListEnd, 0};
const QOV_UINT16 ui16ModeRegs_1[] = {AR330_MODE(0x30, WINDOW_720P, 1014, 864, 0x0200), kListEnd, 0};
const QOV_UINT16 ui16ModeRegs_2[] = {AR330_MODE(0x56, WINDOW_720P, 1014, 864, 0x0200), kListEnd, 0};
const QOV_UINT16 ui16ModeRegs_3[] = {AR330_MODE(0x60, WINDOW_1080P, 1104, 1248, 0x0400), kListEnd, 0};
const QOV_UINT16 ui16ModeRegs_4[] = {AR330_MODE(0x94, WINDOW_FULL, 1248, 1308, 0x0400), kListEnd, 0};
const QOV_UINT16 ui16ModeRegs_5[] = {AR330_MODE(0x60, WINDOW_FULL, 1248, 1308, 0x0400), kListEnd, 0};
const QOV_UINT16 ui16ModeRegs_6[] = {AR330_MODE(0x88, WINDOW_FULL, 1248, 1308, 0x0400), kListEnd, 0};
const QOV_UINT16 ui16ModeRegs_7[] = {AR330_MODE(0x6C, WINDOW_FULL, 1248, 1308, 0x0400), kListEnd, 0};
const QOV_UINT16 ui16ModeRegs_t1[] = {AR330_MODE(0x2B, WINDOW_720P, 1014, 864, 0x0200), kListEnd, 0};
const QOV_UINT16 ui16ModeRegs_t2[] = {AR330_MODE(0x30, WINDOW_720P, 1014, 864, 0x0200), kListEnd, 0};
const QOV_UINT16 ui16ModeRegs_t3[] = {AR330_MODE(0x32, WINDOW_720P, 1014, 864, 0x0200), kListEnd, 0};
const QOV_UINT16 ui16ModeRegs_t4[] = {AR330_MODE(0x2C, WINDOW_720P, 1014, 864, 0x0200), kListEnd, 0};
// Long lines for a slow readout, with extra analogue settings.
const QOV_UINT16 ui16ModeRegs_t5[] = {AR330_MODE(0x30, WINDOW_1088P, 2112, 1212, 0x0400),
                                      0x3EE0, 0x15F0, 0x3EE2, 0x88FC, 0x3EE4, 0x0000, 0x3EE6, 0x4303,
                                      kListEnd, 0};
const QOV_UINT16 ui16ModeRegs_hispi_0[] = {AR330_MODE(0x90, WINDOW_720P, 964, 864, 0x0200), kListEnd,
                                           0};
const QOV_UINT16 ui16ModeRegs_hispi_1[] = {AR330_MODE(0x2A, WINDOW_720P, 964, 730, 0x0200), kListEnd,
                                           0};

// 36 pairs per list (40 for the slow mode), then the end pair.
static_assert(sizeof(ui16ModeRegs_0) == (2 * 36 + 2) * sizeof(QOV_UINT16));
static_assert(sizeof(ui16ModeRegs_t5) == (2 * 40 + 2) * sizeof(QOV_UINT16));

typedef struct {
    QOV_UINT8 ui8Flipping;  // flips the mode allows
    const QOV_UINT16 *modeRegisters;
    QOV_UINT32 nRegisters;  // pairs; 0: count on first use
} ar330_mode;

// Writable: the pair counts are cached on first use.
ar330_mode ar330_modes[] = {
    {SENSOR_FLIP_BOTH, ui16ModeRegs_0, 0},       {SENSOR_FLIP_BOTH, ui16ModeRegs_1, 0},
    {SENSOR_FLIP_BOTH, ui16ModeRegs_2, 0},       {SENSOR_FLIP_BOTH, ui16ModeRegs_3, 0},
    {SENSOR_FLIP_BOTH, ui16ModeRegs_4, 0},       {SENSOR_FLIP_BOTH, ui16ModeRegs_5, 0},
    {SENSOR_FLIP_BOTH, ui16ModeRegs_6, 0},       {SENSOR_FLIP_BOTH, ui16ModeRegs_7, 0},
    {SENSOR_FLIP_BOTH, ui16ModeRegs_t1, 0},      {SENSOR_FLIP_BOTH, ui16ModeRegs_t2, 0},
    {SENSOR_FLIP_BOTH, ui16ModeRegs_t3, 0},      {SENSOR_FLIP_BOTH, ui16ModeRegs_t4, 0},
    {SENSOR_FLIP_BOTH, ui16ModeRegs_t5, 0},      {SENSOR_FLIP_BOTH, ui16ModeRegs_hispi_0, 0},
    {SENSOR_FLIP_BOTH, ui16ModeRegs_hispi_1, 0},
};
constexpr QOV_UINT16 kModes = sizeof(ar330_modes) / sizeof(ar330_modes[0]);
static_assert(kModes == 15);

}  // namespace

typedef struct _ar330cam_struct {
    SENSOR_FUNCS sFuncs;  // first: the handle is the address of the state
    double refClock;      // MHz
    QOV_UINT16 ui16CurrentMode;
    QOV_UINT8 ui8CurrentFlipping;
    QOV_BOOL bEnabled;
    QOV_UINT8 imager;  // ISP input, from the PHY table
    SENSOR_MODE currMode;
    QOV_UINT32 ui32Exposure;  // microseconds
    double flGain;
    int i2c;  // open i2c-dev file
    SENSOR_PHY *psSensorPhy;
    QOV_UINT32 nSpecialRegisters;   // address/value pairs of mode 255
    QOV_UINT16 *specialRegisters;  // owned
} AR330CAM_STRUCT;

static inline AR330CAM_STRUCT *camOf(SENSOR_HANDLE hHandle)
{
    return reinterpret_cast<AR330CAM_STRUCT *>(hHandle);
}

/*-------------------------------------------------------------------------
 * Register access
 *-------------------------------------------------------------------------*/

// Selects the chip and writes one 16-bit register in one 4-byte transfer.
// A failed selection or a transfer the chip did not take is reported.
static QOV_RESULT ar330_i2c_write16(int i2c, QOV_UINT16 offset, QOV_UINT16 data)
{
    if (PLATFORM_Ioctl(i2c, SENSOR_I2C_SLAVE, reinterpret_cast<void *>(static_cast<uintptr_t>(kI2cAddress))) < 0) {
        LOG_ERROR("Failed to write I2C slave write address!\n");
        return QOV_ERROR_I2C_FAILED;
    }
    const QOV_UINT8 buffer[4] = {static_cast<QOV_UINT8>(offset >> 8), static_cast<QOV_UINT8>(offset),
                                 static_cast<QOV_UINT8>(data >> 8), static_cast<QOV_UINT8>(data)};
    const ssize_t written = PLATFORM_Write(i2c, buffer, sizeof(buffer));
    if (written != static_cast<ssize_t>(sizeof(buffer))) {
        LOG_ERROR("Failed to write I2C data! write_len = %d, register = 0x%x\n", static_cast<int>(written),
                  offset);
        return QOV_ERROR_I2C_FAILED;
    }
    return QOV_SUCCESS;
}

// Reads one 16-bit register: the register address, then two bytes, high first.
static QOV_RESULT ar330_i2c_read16(int i2c, QOV_UINT16 offset, QOV_UINT16 *data)
{
    return sensor_i2c_fd_read16(i2c, kI2cAddress, offset, data, __func__, LOG_TAG,
                                "Failed to write I2C slave read address!\n");
}

/*-------------------------------------------------------------------------
 * Modes
 *-------------------------------------------------------------------------*/

// The register pairs of a mode (table modes 0 to 14, or the special mode).
static const QOV_UINT16 *AR330_GetModeRegisters(AR330CAM_STRUCT *psCam, QOV_UINT16 nMode,
                                                QOV_UINT32 *pnRegisters)
{
    if (nMode == kSpecialMode) {
        *pnRegisters = psCam->nSpecialRegisters;
        return psCam->specialRegisters;
    }
    if (nMode >= kModes)
        return nullptr;
    ar330_mode &mode = ar330_modes[nMode];
    if (mode.nRegisters == 0) {
        QOV_UINT32 n = 0;
        while (mode.modeRegisters[2 * n] != kListEnd)
            ++n;
        mode.nRegisters = n;
    }
    *pnRegisters = mode.nRegisters;
    return mode.modeRegisters;
}

// Describes a mode from its registers; the default exposure is the list's
// coarse integration time.
static QOV_RESULT AR330_GetModeInfo(AR330CAM_STRUCT *psCam, QOV_UINT16 nMode, SENSOR_MODE *psMode,
                             QOV_UINT32 *pui32DefaultExposure)
{
    QOV_UINT32 nRegisters = 0;
    const QOV_UINT16 *regs = AR330_GetModeRegisters(psCam, nMode, &nRegisters);
    if (!regs || nRegisters == 0 || regs[0] == kListEnd)
        return QOV_ERROR_INVALID_ARGUMENT;

    QOV_UINT16 xStart = 0, xEnd = 0, yStart = 0, yEnd = 0, frameLength = 0, lineLength = 0;
    QOV_UINT16 coarse = 0, pixDiv = 0, sysDiv = 0, preDiv = 0, multiplier = 0, dataFormat = 0;
    for (QOV_UINT32 i = 0; i < nRegisters; ++i) {
        const QOV_UINT16 value = regs[2 * i + 1];
        switch (regs[2 * i]) {
        case kRegYStart: yStart = value; break;
        case kRegXStart: xStart = value; break;
        case kRegYEnd: yEnd = value; break;
        case kRegXEnd: xEnd = value; break;
        case kRegFrameLength: frameLength = value; break;
        case kRegLineLength: lineLength = value; break;
        case kRegCoarseIntegration: coarse = value; break;
        case kRegPixClockDiv: pixDiv = value; break;
        case kRegSysClockDiv: sysDiv = value; break;
        case kRegPllPreDiv: preDiv = value; break;
        case kRegPllMultiplier: multiplier = value; break;
        case kRegDataFormat: dataFormat = value; break;
        default: break;
        }
    }
    // A list without a complete clock setting (a special mode from a file)
    // cannot be described.
    if (!preDiv || !sysDiv || !pixDiv || !multiplier)
        return QOV_ERROR_INVALID_ARGUMENT;

    const double pixelRate = psCam->refClock / preDiv * multiplier / sysDiv / pixDiv;
    psMode->ui16Width = static_cast<QOV_UINT16>(xEnd - xStart + 1);
    psMode->ui16Height = static_cast<QOV_UINT16>(yEnd - yStart + 1);
    psMode->ui16HorizontalTotal = static_cast<QOV_UINT16>(2 * lineLength);
    psMode->ui16VerticalTotal = frameLength;
    psMode->flPixelRate = pixelRate;
    psMode->ui8BitDepth = static_cast<QOV_UINT8>(dataFormat >> 8);
    psMode->ui8SupportFlipping = nMode == kSpecialMode ? 0 : ar330_modes[nMode].ui8Flipping;
    psMode->ui8MipiLanes = 0;

    const QOV_UINT32 lineTime = SensorToU32(lineLength / pixelRate);
    psMode->ui32ExposureMin = lineTime;
    psMode->ui32ExposureMax = lineTime * 0xFFFF;
    const QOV_UINT32 frameTime = SensorToU32(lineLength / pixelRate * frameLength);
    psMode->flFrameRate = frameTime ? 1e6 / frameTime : 0.0;

    if (pui32DefaultExposure)
        *pui32DefaultExposure = coarse * lineTime;
    return QOV_SUCCESS;
}

static QOV_RESULT AR330_GetMode(SENSOR_HANDLE hHandle, QOV_UINT16 nIndex, SENSOR_MODE *psModes)
{
    AR330CAM_STRUCT *psCam = camOf(hHandle);
    if (!psCam->psSensorPhy) {
        LOG_ERROR("sensor not initialised\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    if (AR330_GetModeInfo(psCam, nIndex, psModes, nullptr) != QOV_SUCCESS)
        return QOV_ERROR_NOT_SUPPORTED;
    return QOV_SUCCESS;
}

// Writes the registers of a mode, the flips going into the read mode register.
static QOV_RESULT AR330_ApplyMode(AR330CAM_STRUCT *psCam, QOV_UINT16 nMode, QOV_UINT8 ui8Flipping)
{
    QOV_UINT32 nRegisters = 0;
    const QOV_UINT16 *regs = AR330_GetModeRegisters(psCam, nMode, &nRegisters);
    if (!regs) {
        LOG_ERROR("failed to get registers for mode %u\n", nMode);
        return QOV_ERROR_FAILURE;
    }
    bool readModeFound = false;
    for (QOV_UINT32 i = 0; i < nRegisters; ++i) {
        const QOV_UINT16 address = regs[2 * i];
        QOV_UINT16 value = regs[2 * i + 1];
        if (address == kRegReadMode) {
            value = static_cast<QOV_UINT16>((value & 0x3FFF) | (ui8Flipping << 14));
            readModeFound = true;
        }
        if (ar330_i2c_write16(psCam->i2c, address, value) != QOV_SUCCESS) {
            if (!readModeFound)
                LOG_WARNING("Did not find register 0x%x in mode %d to apply flipping %d %d!\n",
                            kRegReadMode, nMode, ui8Flipping & SENSOR_FLIP_HORIZONTAL,
                            (ui8Flipping & SENSOR_FLIP_VERTICAL) >> 1);
            LOG_ERROR("failed to setup register %d/%d\n", 2 * (i + 1), 2 * nRegisters);
            return QOV_ERROR_I2C_FAILED;
        }
    }
    if (!readModeFound)
        LOG_WARNING("Did not find register 0x%x in mode %d to apply flipping %d %d!\n", kRegReadMode,
                    nMode, ui8Flipping & SENSOR_FLIP_HORIZONTAL,
                    (ui8Flipping & SENSOR_FLIP_VERTICAL) >> 1);
    return QOV_SUCCESS;
}

static QOV_RESULT AR330_SetMode(SENSOR_HANDLE hHandle, QOV_UINT16 nMode, QOV_UINT8 ui8Flipping)
{
    AR330CAM_STRUCT *psCam = camOf(hHandle);
    if (!psCam->psSensorPhy) {
        LOG_ERROR("sensor not initialised\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    // The mode becomes the current one only once its registers are written,
    // so that a refused mode leaves the description of the current one.
    SENSOR_MODE mode;
    memset(&mode, 0, sizeof(mode));
    QOV_UINT32 defaultExposure = 0;
    if (AR330_GetModeInfo(psCam, nMode, &mode, &defaultExposure) != QOV_SUCCESS) {
        LOG_WARNING("failed to get information about mode %u\n", nMode);
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    psCam->psSensorPhy->psConfig = SensorPhyConfigPtr(SENSOR_DURIDU_AR0330);
    const QOV_UINT8 allowed = mode.ui8SupportFlipping;
    if (ui8Flipping & ~allowed) {
        LOG_ERROR("sensor mode does not support selected flipping 0x%x (supports 0x%x)\n",
                  ui8Flipping, allowed);
        return QOV_ERROR_NOT_SUPPORTED;
    }
    QOV_RESULT ret = AR330_ApplyMode(psCam, nMode, ui8Flipping);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("failed to configure mode %d\n", nMode);
        return ret;
    }
    sensor_usleep(1000);
    psCam->currMode = mode;

    // The parallel input receives the frame.
    CI_GASKET *psGasket = psCam->psSensorPhy->psGasket;
    psGasket->uiWidth = mode.ui16Width;
    psGasket->uiHeight = static_cast<QOV_UINT16>(mode.ui16Height - 1);
    psGasket->bVSync = QOV_TRUE;
    psGasket->bHSync = QOV_TRUE;
    psGasket->ui8ParallelBitdepth = mode.ui8BitDepth;
    psGasket->bParallel = QOV_TRUE;
    psGasket->uiGasket = psCam->imager;
    if (psCam->psSensorPhy->psConfig) {
        sensor_phy_params &params = psCam->psSensorPhy->psConfig->params;
        params.pixel_res = mode.ui8BitDepth;
        params.frame_width = mode.ui16Width;
        params.frame_height = mode.ui16Height;
    }

    psCam->ui32Exposure = defaultExposure;
    psCam->flGain = 1.0;
    psCam->ui8CurrentFlipping = ui8Flipping;
    psCam->ui16CurrentMode = nMode;
    return QOV_SUCCESS;
}

/*-------------------------------------------------------------------------
 * Streaming
 *-------------------------------------------------------------------------*/

static QOV_RESULT AR330_Enable(SENSOR_HANDLE hHandle)
{
    AR330CAM_STRUCT *psCam = camOf(hHandle);
    if (!psCam->psSensorPhy) {
        LOG_ERROR("sensor not initialised\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    if (SensorAlreadyEnabled(psCam->bEnabled, "AR330", __func__, LOG_TAG))
        return QOV_ERROR_WRONG_STATE;
    LOG_INFO("Enabling AR330 Camera!\n");
    psCam->bEnabled = QOV_TRUE;
    psCam->psSensorPhy->psConfig = SensorPhyConfigPtr(SENSOR_DURIDU_AR0330);
    // Nothing streams when the PHY refuses: the sensor stays idle.
    QOV_RESULT ret = SensorPhySwitchOn(psCam->psSensorPhy, psCam->currMode.ui8MipiLanes, kPhyFrequencyRange,
                                       "AR330", __func__, LOG_TAG);
    if (ret != QOV_SUCCESS) {
        psCam->bEnabled = QOV_FALSE;
        return ret;
    }

    if (ar330_i2c_write16(psCam->i2c, kRegResetControl, kStreamOn) != QOV_SUCCESS) {
        LOG_ERROR("failed to enable sensor\n");
        return QOV_ERROR_I2C_FAILED;
    }
    QOV_UINT16 reserved = 0, testDataRed = 0;
    ret = ar330_i2c_read16(psCam->i2c, kRegReserved30F0, &reserved);
    if (ret == QOV_SUCCESS)
        ret = ar330_i2c_read16(psCam->i2c, kRegTestDataRed, &testDataRed);
    if (ret != QOV_SUCCESS)
        return ret;
    LOG_INFO("0x30F0 = 0x%04x - TEST_DATA_RED = 0x%04x\n", reserved, testDataRed);
    return QOV_SUCCESS;
}

static QOV_RESULT AR330_DisableSensor(SENSOR_HANDLE hHandle)
{
    AR330CAM_STRUCT *psCam = camOf(hHandle);
    if (!psCam->psSensorPhy) {
        LOG_ERROR("sensor not initialised\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    LOG_INFO("Disabling AR330 camera\n");
    psCam->bEnabled = QOV_FALSE;
    QOV_RESULT ret = QOV_SUCCESS;
    if (ar330_i2c_write16(psCam->i2c, kRegResetControl, kStreamOff) != QOV_SUCCESS) {
        LOG_ERROR("failed to disable sensor!\n");
        ret = QOV_ERROR_I2C_FAILED;
    }
    SensorPhySwitchOff(psCam->psSensorPhy, SENSOR_DURIDU_AR0330, psCam->currMode.flFrameRate);
    return ret;
}

static QOV_RESULT AR330_DestroySensor(SENSOR_HANDLE hHandle)
{
    AR330CAM_STRUCT *psCam = camOf(hHandle);
    if (!psCam->psSensorPhy) {
        LOG_ERROR("sensor not initialised\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    LOG_INFO("Destroying AR330 camera\n");
    free(psCam->specialRegisters);
    psCam->specialRegisters = nullptr;
    psCam->nSpecialRegisters = 0;
    if (psCam->bEnabled)
        AR330_DisableSensor(hHandle);
    SensorPhyDeinit(psCam->psSensorPhy);
    psCam->psSensorPhy = nullptr;
    PLATFORM_Close(psCam->i2c);
    free(psCam);
    return QOV_SUCCESS;
}

/*-------------------------------------------------------------------------
 * Queries, exposure and gain
 *-------------------------------------------------------------------------*/

static QOV_RESULT AR330_GetState(SENSOR_HANDLE hHandle, SENSOR_STATUS *psStatus)
{
    AR330CAM_STRUCT *psCam = camOf(hHandle);
    if (!psCam->psSensorPhy)
        LOG_WARNING("sensor not initialised\n");
    SensorStatusFill(psStatus, psCam->psSensorPhy != nullptr, psCam->ui16CurrentMode,
                     psCam->ui8CurrentFlipping, psCam->bEnabled);
    return QOV_SUCCESS;
}

static QOV_RESULT AR330_GetInfo(SENSOR_HANDLE hHandle, SENSOR_INFO *psInfo)
{
    AR330CAM_STRUCT *psCam = camOf(hHandle);
    if (!psCam->psSensorPhy) {
        LOG_ERROR("sensor not initialised\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    psInfo->eBayerOriginal = MOSAIC_GRBG;
    psInfo->eBayerEnabled = MOSAIC_GRBG;
    snprintf(psInfo->pszSensorName, sizeof(psInfo->pszSensorName), "AR330");
    LOG_WARNING("failed to read revision from AR330 sensor\n");
    snprintf(psInfo->pszSensorVersion, sizeof(psInfo->pszSensorVersion), "not-verified");
    // The input the frames arrive on, where the pipeline must take them.
    psInfo->ui8Imager = psCam->imager;
    psInfo->ui16FocalLength = 30;
    psInfo->ui32WellDepth = 7500;
    psInfo->fNumber = 1.2;
    psInfo->flReadNoise = 5.0;
    psInfo->bBackFacing = QOV_TRUE;
    return QOV_SUCCESS;
}

static QOV_RESULT AR330_GetGainRange(SENSOR_HANDLE, double *pflMin, double *pflMax,
                                     QOV_UINT8 *puiContexts)
{
    *pflMin = 1.0;
    *pflMax = 16.0;
    *puiContexts = 1;
    return QOV_SUCCESS;
}

static QOV_RESULT AR330_GetGain(SENSOR_HANDLE hHandle, double *pflCurrent, QOV_UINT8)
{
    AR330CAM_STRUCT *psCam = camOf(hHandle);
    if (!psCam->psSensorPhy) {
        LOG_ERROR("sensor not initialised\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    *pflCurrent = psCam->flGain;
    return QOV_SUCCESS;
}

// The analogue step at or below the gain; the digital gain (7 fractional
// bits) makes up the rest.
static QOV_RESULT AR330_SetGain(SENSOR_HANDLE hHandle, double flGain, QOV_UINT8)
{
    AR330CAM_STRUCT *psCam = camOf(hHandle);
    if (!psCam->psSensorPhy) {
        LOG_ERROR("sensor not initialised\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    psCam->flGain = flGain;
    int row = kGainRows - 1;
    for (int n = 0; n < kGainRows; ++n) {
        if (asARGainValues[n].flGain > flGain) {
            row = n > 0 ? n - 1 : 0;
            break;
        }
    }
    // Saturated to the 16-bit register rather than wrapped.
    const QOV_UINT32 scaled = SensorToU32(flGain / asARGainValues[row].flGain * 128.0);
    const QOV_UINT16 digital = static_cast<QOV_UINT16>(scaled > 0xFFFF ? 0xFFFF : scaled);
    if (ar330_i2c_write16(psCam->i2c, kRegDigitalGain, digital) != QOV_SUCCESS) {
        LOG_ERROR("failed to set global gain register\n");
        return QOV_ERROR_I2C_FAILED;
    }
    const QOV_UINT8 code = asARGainValues[row].ui8GainRegVal;
    if (ar330_i2c_write16(psCam->i2c, kRegAnalogueGain, static_cast<QOV_UINT16>((code << 8) | code)) !=
        QOV_SUCCESS) {
        LOG_ERROR("failed to set analogue gain register\n");
        return QOV_ERROR_I2C_FAILED;
    }
    return QOV_SUCCESS;
}

static QOV_RESULT AR330_GetExposureRange(SENSOR_HANDLE hHandle, QOV_UINT32 *pui32Min,
                                         QOV_UINT32 *pui32Max, QOV_UINT8 *pui8Contexts)
{
    AR330CAM_STRUCT *psCam = camOf(hHandle);
    if (!psCam->psSensorPhy) {
        LOG_ERROR("sensor not initialised\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    *pui32Min = psCam->currMode.ui32ExposureMin;
    *pui32Max = psCam->currMode.ui32ExposureMax;
    *pui8Contexts = 1;
    return QOV_SUCCESS;
}

static QOV_RESULT AR330_GetExposure(SENSOR_HANDLE hHandle, QOV_UINT32 *pui32Exposure, QOV_UINT8)
{
    AR330CAM_STRUCT *psCam = camOf(hHandle);
    if (!psCam->psSensorPhy) {
        LOG_ERROR("sensor not initialised\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    *pui32Exposure = psCam->ui32Exposure;
    return QOV_SUCCESS;
}

// The exposure in whole lines of the current mode.
static QOV_RESULT AR330_SetExposure(SENSOR_HANDLE hHandle, QOV_UINT32 ui32Exposure, QOV_UINT8)
{
    AR330CAM_STRUCT *psCam = camOf(hHandle);
    if (!psCam->psSensorPhy) {
        LOG_ERROR("sensor not initialised\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    psCam->ui32Exposure = ui32Exposure;
    const QOV_UINT32 lineTime = psCam->currMode.ui32ExposureMin;
    QOV_UINT32 lines = lineTime ? ui32Exposure / lineTime : 0;
    if (lines > 0xFFFF)
        lines = 0xFFFF;  // the register's largest count rather than a wrapped one
    if (ar330_i2c_write16(psCam->i2c, kRegCoarseIntegration, static_cast<QOV_UINT16>(lines)) !=
        QOV_SUCCESS) {
        LOG_ERROR("failed to set exposure\n");
        return QOV_ERROR_I2C_FAILED;
    }
    return QOV_SUCCESS;
}

/*-------------------------------------------------------------------------
 * Special mode and creation
 *-------------------------------------------------------------------------*/

QOV_RESULT AR330_LoadSpecialModeRegisters(SENSOR_HANDLE hHandle, const char *pszFilename)
{
    AR330CAM_STRUCT *psCam = camOf(hHandle);
    if (!psCam || !psCam->psSensorPhy) {
        LOG_ERROR("sensor not initialised\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    FILE *file = pszFilename ? fopen(pszFilename, "r") : nullptr;
    if (!file) {
        LOG_ERROR("Failed to open '%s'\n", pszFilename ? pszFilename : "");
        return QOV_ERROR_INVALID_ARGUMENT;
    }

    QOV_UINT32 capacity = kSpecialInitialValues;  // values, two per pair
    QOV_UINT16 *values = static_cast<QOV_UINT16 *>(malloc(capacity * sizeof(QOV_UINT16)));
    if (!values) {
        fclose(file);
        return QOV_ERROR_NO_MEMORY;
    }
    QOV_UINT32 nPairs = 0;
    unsigned int address = 0, value = 0;
    while (fscanf(file, "%x %x", &address, &value) == 2) {
        if (2 * nPairs + 2 > capacity) {
            QOV_UINT16 *larger = static_cast<QOV_UINT16 *>(malloc(2 * capacity * sizeof(QOV_UINT16)));
            if (!larger) {
                free(values);
                fclose(file);
                return QOV_ERROR_NO_MEMORY;
            }
            memcpy(larger, values, capacity * sizeof(QOV_UINT16));
            free(values);
            values = larger;
            capacity *= 2;
        }
        values[2 * nPairs] = static_cast<QOV_UINT16>(address);
        values[2 * nPairs + 1] = static_cast<QOV_UINT16>(value);
        ++nPairs;
    }
    fclose(file);
    LOG_INFO("%d registers were loaded from '%s'\n", nPairs, pszFilename);
    if (nPairs < 2) {
        LOG_ERROR("Did not read enough information!\n");
        free(values);
        return QOV_ERROR_FAILURE;
    }
    free(psCam->specialRegisters);
    psCam->specialRegisters = values;
    psCam->nSpecialRegisters = nPairs;
    return QOV_SUCCESS;
}

QOV_RESULT AR330_Create(SENSOR_HANDLE *phHandle)
{
    if (!phHandle)
        return QOV_ERROR_INVALID_ARGUMENT;
    *phHandle = nullptr;
    AR330CAM_STRUCT *psCam = static_cast<AR330CAM_STRUCT *>(calloc(1, sizeof(AR330CAM_STRUCT)));
    if (!psCam)
        return QOV_ERROR_NO_MEMORY;

    SENSOR_FUNCS &funcs = psCam->sFuncs;
    funcs.GetMode = AR330_GetMode;
    funcs.GetState = AR330_GetState;
    funcs.SetMode = AR330_SetMode;
    funcs.Enable = AR330_Enable;
    funcs.Disable = AR330_DisableSensor;
    funcs.Destroy = AR330_DestroySensor;
    funcs.GetInfo = AR330_GetInfo;
    funcs.GetGainRange = AR330_GetGainRange;
    funcs.GetCurrentGain = AR330_GetGain;
    funcs.SetGain = AR330_SetGain;
    funcs.GetExposureRange = AR330_GetExposureRange;
    funcs.GetExposure = AR330_GetExposure;
    funcs.SetExposure = AR330_SetExposure;

    psCam->refClock = kRefClockMHz;
    psCam->imager = static_cast<QOV_UINT8>(GetImagerNum(SENSOR_DURIDU_AR0330));
    psCam->flGain = 1.0;

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
    if (AR330_GetModeInfo(psCam, 0, &psCam->currMode, &psCam->ui32Exposure) != QOV_SUCCESS) {
        LOG_ERROR("Failed to get initial mode information!\n");
        PLATFORM_Close(psCam->i2c);
        free(psCam);
        return QOV_ERROR_FAILURE;
    }
    psCam->psSensorPhy = SensorPhyInit(SENSOR_DURIDU_AR0330);
    if (!psCam->psSensorPhy) {
        LOG_ERROR("Failed to create sensor phy!\n");
        PLATFORM_Close(psCam->i2c);
        free(psCam);
        return QOV_ERROR_DEVICE_FAILED;
    }
    *phHandle = &psCam->sFuncs;
    return QOV_SUCCESS;
}
