// Sensor 20, "ZYNQ": an external data generator sending frames over MIPI
// CSI-2 into the first MIPI input. It has no control interface: the driver
// knows two fixed modes, switches the sensor PHY and gasket, and drives the
// power-down and reset lines of board position 0 (both high while it
// streams). Exposure, gain and flipping cannot be changed.
#include <gpiod.h>

#include <cstdio>
#include <cstdlib>

#include "sensorapi/sensorapi.h"
#include "sensors/sensor_board.h"
#include "sensors/sensor_common.h"
#include "sensors/sensor_drivers.h"
#include "sensors/sensor_phy.h"
#include "vezaracommon/userlog.h"

#define LOG_TAG "ZYNQ_SENSOR"

namespace {

constexpr const char *kConsumer = "Sensor";

SENSOR_MODE zynqMode(QOV_UINT16 width, QOV_UINT16 height)
{
    SENSOR_MODE mode{};
    mode.ui8BitDepth = 8;
    mode.ui16Width = width;
    mode.ui16Height = height;
    mode.flFrameRate = 30.0;
    mode.flPixelRate = 200.0;
    mode.ui16HorizontalTotal = width;
    mode.ui16VerticalTotal = height;
    mode.ui32ExposureMin = 1;
    mode.ui32ExposureMax = 1;
    mode.ui8MipiLanes = 2;
    mode.ui8MipiHsFreqRange = 0x09;
    mode.ui8MipiOscFreq = 438;
    return mode;
}

const SENSOR_MODE ZYNQ_modes[] = {zynqMode(64, 64), zynqMode(640, 480)};
constexpr QOV_UINT16 kModeCount = sizeof(ZYNQ_modes) / sizeof(ZYNQ_modes[0]);

}  // namespace

typedef struct _ZYNQ_struct {
    SENSOR_FUNCS sFuncs;  // first: the handle is the address of the state
    QOV_UINT16 ui16CurrentMode;
    QOV_UINT8 ui8CurrentFlipping;  // always 0
    QOV_BOOL bEnabled;
    SENSOR_MODE currMode;
    QOV_UINT32 ui32Exposure;  // always 1
    double flGain;            // always 1.0
    QOV_UINT8 imager;
    QOV_UINT8 sensorNumOnBoard;  // always 0
    struct gpiod_chip *rst_gpio_chip;
    struct gpiod_chip *pwdn_gpio_chip;
    struct gpiod_line *pwdn_line;
    struct gpiod_line *reset_line;
    SENSOR_PHY *psSensorPhy;
} ZYNQ_CAM;

namespace {

ZYNQ_CAM *camOf(SENSOR_HANDLE hHandle)
{
    return reinterpret_cast<ZYNQ_CAM *>(hHandle);
}

// Every operation but the gain range and the state needs the bring-up done.
#define CHECK_INITIALISED(psCam)                   \
    do {                                           \
        if (!(psCam)->psSensorPhy) {               \
            LOG_ERROR("sensor not initialised\n"); \
            return QOV_ERROR_NOT_INITIALISED;      \
        }                                          \
    } while (0)

// Closes what the bring-up opened.
void releaseHardware(ZYNQ_CAM *psCam)
{
    if (psCam->rst_gpio_chip)
        gpiod_chip_close(psCam->rst_gpio_chip);
    if (psCam->pwdn_gpio_chip)
        gpiod_chip_close(psCam->pwdn_gpio_chip);
    psCam->rst_gpio_chip = nullptr;
    psCam->pwdn_gpio_chip = nullptr;
    psCam->pwdn_line = nullptr;
    psCam->reset_line = nullptr;
    if (psCam->psSensorPhy)
        SensorPhyDeinit(psCam->psSensorPhy);
    psCam->psSensorPhy = nullptr;
}

// Opens "gpiochip<number>"; null when missing.
struct gpiod_chip *openChip(unsigned number, char *name, size_t nameSize)
{
    snprintf(name, nameSize, "gpiochip%u", number);
    return gpiod_chip_open_by_name(name);
}

}  // namespace

static QOV_RESULT ZYNQ_GetMode(SENSOR_HANDLE hHandle, QOV_UINT16 nIndex, SENSOR_MODE *psModes)
{
    (void)hHandle;
    if (nIndex >= kModeCount)
        return QOV_ERROR_NOT_SUPPORTED;
    *psModes = ZYNQ_modes[nIndex];
    return QOV_SUCCESS;
}

static QOV_RESULT ZYNQ_GetState(SENSOR_HANDLE hHandle, SENSOR_STATUS *psStatus)
{
    ZYNQ_CAM *psCam = camOf(hHandle);
    psStatus->ui8Flipping = SENSOR_FLIP_NONE;
    if (psCam->psSensorPhy && psCam->psSensorPhy->psConnection) {
        psStatus->ui16CurrentMode = psCam->ui16CurrentMode;
        psStatus->eState = psCam->bEnabled ? SENSOR_STATE_RUNNING : SENSOR_STATE_IDLE;
    } else {
        psStatus->ui16CurrentMode = 0;
        psStatus->eState = SENSOR_STATE_UNINITIALISED;
    }
    return QOV_SUCCESS;
}

static QOV_RESULT ZYNQ_SetMode(SENSOR_HANDLE hHandle, QOV_UINT16 nMode, QOV_UINT8 ui8Flipping)
{
    ZYNQ_CAM *psCam = camOf(hHandle);
    CHECK_INITIALISED(psCam);
    if (ui8Flipping != SENSOR_FLIP_NONE) {
        LOG_ERROR("sensor does not support flipping\n");
        return QOV_ERROR_NOT_SUPPORTED;
    }
    if (nMode >= kModeCount) {
        LOG_ERROR("invalid mode %d\n", (int)nMode);
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    psCam->currMode = ZYNQ_modes[nMode];
    psCam->ui16CurrentMode = nMode;
    return QOV_SUCCESS;
}

static QOV_RESULT ZYNQ_Enable(SENSOR_HANDLE hHandle)
{
    ZYNQ_CAM *psCam = camOf(hHandle);
    CHECK_INITIALISED(psCam);
    if (SensorAlreadyEnabled(psCam->bEnabled, "ZYNQ", __func__, LOG_TAG))
        return QOV_ERROR_WRONG_STATE;
    LOG_INFO("Enabling zynq data generator!\n");
    psCam->bEnabled = QOV_TRUE;

    SENSOR_PHY *psPhy = psCam->psSensorPhy;
    psPhy->psGasket->bParallel = QOV_FALSE;
    psPhy->psGasket->uiGasket = psCam->imager;
    psPhy->psConfig->params.mipi_osc_freq = psCam->currMode.ui8MipiOscFreq;
    LOG_INFO("MipiOscFreq = %d\n", (int)psCam->currMode.ui8MipiOscFreq);
    // Without its gasket and PHY the source's frames reach nothing: a failed
    // switch is reported, the lines stay low and the sensor stays idle.
    const QOV_RESULT phyRet =
        SensorPhyCtrl(psPhy, QOV_TRUE, psCam->currMode.ui8MipiLanes, psCam->currMode.ui8MipiHsFreqRange, 0);
    if (phyRet != QOV_SUCCESS) {
        LOG_ERROR("failed to switch on the sensor phy\n");
        if (phyRet < 0)  // the gasket was acquired but the PHY refused: give the gasket back
            SensorPhyCtrl(psPhy, QOV_FALSE, 0, 0, 0);
        psCam->bEnabled = QOV_FALSE;
        return phyRet < 0 ? QOV_ERROR_DEVICE_FAILED : phyRet;
    }

    if (gpiod_line_set_value(psCam->pwdn_line, 1) < 0) {
        LOG_ERROR("Failed to set PWDN GPIO to HIGH\n");
        return QOV_ERROR_DEVICE_FAILED;
    }
    LOG_INFO("Set PWDN GPIO to 1\n");
    if (gpiod_line_set_value(psCam->reset_line, 1) < 0) {
        LOG_ERROR("Failed to set RESET GPIO to HIGH\n");
        return QOV_ERROR_DEVICE_FAILED;
    }
    LOG_INFO("Set RESET GPIO to 1\n");
    return QOV_SUCCESS;
}

static QOV_RESULT ZYNQ_Disable(SENSOR_HANDLE hHandle)
{
    ZYNQ_CAM *psCam = camOf(hHandle);
    CHECK_INITIALISED(psCam);
    LOG_INFO("Disabling zynq data generator\n");
    psCam->bEnabled = QOV_FALSE;
    SensorPhyCtrl(psCam->psSensorPhy, QOV_FALSE, 0, 0, 0);

    if (gpiod_line_set_value(psCam->pwdn_line, 0) < 0) {
        LOG_ERROR("Failed to set PWDN GPIO to LOW\n");
        return QOV_ERROR_DEVICE_FAILED;
    }
    if (gpiod_line_set_value(psCam->reset_line, 0) < 0) {
        LOG_ERROR("Failed to set RESET GPIO to LOW\n");
        return QOV_ERROR_DEVICE_FAILED;
    }
    return QOV_SUCCESS;
}

static QOV_RESULT ZYNQ_Destroy(SENSOR_HANDLE hHandle)
{
    ZYNQ_CAM *psCam = camOf(hHandle);
    CHECK_INITIALISED(psCam);
    // A streaming source is stopped first, so that the PHY is not left on
    // and the gasket is given back.
    if (psCam->bEnabled)
        ZYNQ_Disable(hHandle);

    if (gpiod_line_set_value(psCam->pwdn_line, 0) < 0)
        LOG_ERROR("Failed to set PWDN GPIO to LOW\n");
    else
        LOG_INFO("PWDN GPIO set to 0\n");
    if (gpiod_line_set_value(psCam->reset_line, 0) < 0)
        LOG_ERROR("Failed to set RESET GPIO to LOW\n");
    else
        LOG_INFO("RESET GPIO set to 0\n");

    gpiod_chip_close(psCam->rst_gpio_chip);
    gpiod_chip_close(psCam->pwdn_gpio_chip);
    psCam->rst_gpio_chip = nullptr;
    psCam->pwdn_gpio_chip = nullptr;
    LOG_INFO("Destroying zynq data generator\n");
    SensorPhyDeinit(psCam->psSensorPhy);
    free(psCam);
    return QOV_SUCCESS;
}

static QOV_RESULT ZYNQ_GetInfo(SENSOR_HANDLE hHandle, SENSOR_INFO *psInfo)
{
    ZYNQ_CAM *psCam = camOf(hHandle);
    CHECK_INITIALISED(psCam);
    psInfo->eBayerOriginal = MOSAIC_RGGB;
    psInfo->eBayerEnabled = MOSAIC_RGGB;
    snprintf(psInfo->pszSensorName, sizeof(psInfo->pszSensorName), "ZYNQ");
    snprintf(psInfo->pszSensorVersion, sizeof(psInfo->pszSensorVersion), "not-verified");
    psInfo->fNumber = 0.0;
    psInfo->ui16FocalLength = 0;
    psInfo->ui32WellDepth = 0;
    psInfo->flReadNoise = 0.0;
    psInfo->ui8Imager = psCam->imager;
    psInfo->bBackFacing = QOV_TRUE;
    return QOV_SUCCESS;
}

static QOV_RESULT ZYNQ_GetCurrentGainRange(SENSOR_HANDLE hHandle, double *pflMin, double *pflMax,
                                           QOV_UINT8 *puiContexts)
{
    (void)hHandle;
    *pflMin = 1.0;
    *pflMax = 1.0;
    *puiContexts = 1;
    return QOV_SUCCESS;
}

static QOV_RESULT ZYNQ_GetCurrentGain(SENSOR_HANDLE hHandle, double *pflCurrent, QOV_UINT8 ui8Context)
{
    ZYNQ_CAM *psCam = camOf(hHandle);
    (void)ui8Context;
    CHECK_INITIALISED(psCam);
    *pflCurrent = psCam->flGain;
    return QOV_SUCCESS;
}

static QOV_RESULT ZYNQ_SetGain(SENSOR_HANDLE hHandle, double flGain, QOV_UINT8 ui8Context)
{
    ZYNQ_CAM *psCam = camOf(hHandle);
    (void)flGain;
    (void)ui8Context;
    CHECK_INITIALISED(psCam);
    return QOV_SUCCESS;
}

static QOV_RESULT ZYNQ_GetExposureRange(SENSOR_HANDLE hHandle, QOV_UINT32 *pui32Min, QOV_UINT32 *pui32Max,
                                        QOV_UINT8 *pui8Contexts)
{
    ZYNQ_CAM *psCam = camOf(hHandle);
    CHECK_INITIALISED(psCam);
    *pui32Min = psCam->currMode.ui32ExposureMin;
    *pui32Max = psCam->currMode.ui32ExposureMax;
    *pui8Contexts = 1;
    return QOV_SUCCESS;
}

static QOV_RESULT ZYNQ_GetExposure(SENSOR_HANDLE hHandle, QOV_UINT32 *pui32Exposure, QOV_UINT8 ui8Context)
{
    ZYNQ_CAM *psCam = camOf(hHandle);
    (void)ui8Context;
    CHECK_INITIALISED(psCam);
    *pui32Exposure = psCam->ui32Exposure;
    return QOV_SUCCESS;
}

static QOV_RESULT ZYNQ_SetExposure(SENSOR_HANDLE hHandle, QOV_UINT32 ui32Exposure, QOV_UINT8 ui8Context)
{
    ZYNQ_CAM *psCam = camOf(hHandle);
    (void)ui32Exposure;
    (void)ui8Context;
    CHECK_INITIALISED(psCam);
    return QOV_SUCCESS;
}

QOV_RESULT ZYNQ_Create(SENSOR_HANDLE *phHandle)
{
    ZYNQ_CAM *psCam = static_cast<ZYNQ_CAM *>(calloc(1, sizeof(ZYNQ_CAM)));
    if (!psCam)
        return QOV_ERROR_NO_MEMORY;
    psCam->sFuncs.GetMode = ZYNQ_GetMode;
    psCam->sFuncs.GetState = ZYNQ_GetState;
    psCam->sFuncs.SetMode = ZYNQ_SetMode;
    psCam->sFuncs.Enable = ZYNQ_Enable;
    psCam->sFuncs.Disable = ZYNQ_Disable;
    psCam->sFuncs.Destroy = ZYNQ_Destroy;
    psCam->sFuncs.GetInfo = ZYNQ_GetInfo;
    psCam->sFuncs.GetGainRange = ZYNQ_GetCurrentGainRange;
    psCam->sFuncs.GetCurrentGain = ZYNQ_GetCurrentGain;
    psCam->sFuncs.SetGain = ZYNQ_SetGain;
    psCam->sFuncs.GetExposureRange = ZYNQ_GetExposureRange;
    psCam->sFuncs.GetExposure = ZYNQ_GetExposure;
    psCam->sFuncs.SetExposure = ZYNQ_SetExposure;
    *phHandle = &psCam->sFuncs;

    psCam->ui16CurrentMode = 0;
    psCam->bEnabled = QOV_FALSE;
    psCam->ui8CurrentFlipping = SENSOR_FLIP_NONE;
    psCam->imager = (QOV_UINT8)GetImagerNum(SENSOR_DURIDU_ZYNQ);
    LOG_INFO("Gasket %d init\n", (int)psCam->imager);
    psCam->ui32Exposure = 1;
    psCam->flGain = 1.0;
    psCam->currMode = ZYNQ_modes[0];
    psCam->sensorNumOnBoard = 0;

    // Bring-up: PHY, board file, GPIO chips, both lines driven low. Any
    // failure closes what was opened.
    bool bUp = false;
    do {
        psCam->psSensorPhy = SensorPhyInit(SENSOR_DURIDU_ZYNQ);
        if (!psCam->psSensorPhy) {
            LOG_ERROR("Failed to create sensor phy!\n");
            break;
        }
        psCam->psSensorPhy->psConfig = SensorPhyConfigPtr(SENSOR_DURIDU_ZYNQ);

        board_params sBoard{};
        if (GetBoardParameters(psCam->sensorNumOnBoard, &sBoard) != QOV_SUCCESS)
            break;

        char name[32];
        psCam->pwdn_gpio_chip = openChip(sBoard.gpio.pwdn_chip_num, name, sizeof(name));
        if (!psCam->pwdn_gpio_chip) {
            LOG_ERROR("PWDN GPIO controller not found!\n");
            break;
        }
        LOG_INFO("PWDN GPIO controller %s found!\n", name);
        psCam->rst_gpio_chip = openChip(sBoard.gpio.rst_chip_num, name, sizeof(name));
        if (!psCam->rst_gpio_chip) {
            LOG_ERROR("Reset GPIO controller not found!\n");
            break;
        }
        LOG_INFO("Reset GPIO controller %s found!\n", name);

        // Unlike the chip sensors, both lines are required.
        if (sBoard.gpio.pwdn_num < 0) {
            LOG_ERROR("PWDN GPIO is not defined\n");
            break;
        }
        LOG_INFO("Get GPIO PWDN %d:\n", (int)sBoard.gpio.pwdn_num);
        psCam->pwdn_line = gpiod_chip_get_line(psCam->pwdn_gpio_chip, (unsigned)sBoard.gpio.pwdn_num);
        if (!psCam->pwdn_line) {
            LOG_ERROR("Failed to get PWDN GPIO\n");
            break;
        }
        if (gpiod_line_request_output(psCam->pwdn_line, kConsumer, 0) < 0) {
            LOG_ERROR("Failed to request PWDN GPIO\n");
            break;
        }
        if (gpiod_line_set_value(psCam->pwdn_line, 0) < 0) {
            LOG_ERROR("Failed to set PWDN GPIO to LOW\n");
            break;
        }

        if (sBoard.gpio.reset_num < 0) {
            LOG_ERROR("RESET GPIO is not defined\n");
            break;
        }
        LOG_INFO("Get GPIO RESET %d:\n", (int)sBoard.gpio.reset_num);
        psCam->reset_line = gpiod_chip_get_line(psCam->rst_gpio_chip, (unsigned)sBoard.gpio.reset_num);
        if (!psCam->reset_line) {
            LOG_ERROR("Failed to get RESET GPIO\n");
            break;
        }
        if (gpiod_line_request_output(psCam->reset_line, kConsumer, 0) < 0) {
            LOG_ERROR("Failed to request RESET GPIO\n");
            break;
        }
        if (gpiod_line_set_value(psCam->reset_line, 0) < 0) {
            LOG_ERROR("Failed to set RESET GPIO to LOW\n");
            break;
        }
        bUp = true;
    } while (false);

    if (!bUp) {
        releaseHardware(psCam);
        free(psCam);
        *phHandle = nullptr;
        return QOV_ERROR_DEVICE_FAILED;
    }
    return QOV_SUCCESS;
}
