// The shared sensor driver base: register access over i2c-dev, bring-up,
// mode handling and the generic slots of the chip drivers.
#include "sensors/sensor_common.h"

#include <fcntl.h>
#include <gpiod.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ci/ci_gasket.h"
#include "platform/device_io.h"
#include "platform/platform_sleep.h"
#include "vezaracommon/userlog.h"

#define LOG_TAG "SENSOR_I2C"

// GPIO chip and lines of the CSI multiplexer.
#define CSI_MUX_GPIO_CHIP "gpiochip6"
#define CSI_MUX_SEL_LINE 2
#define CSI_MUX_NOE_LINE 3
#define GPIO_CONSUMER "Sensor"

namespace {

CAM_STRUCT *camOf(SENSOR_HANDLE hHandle) { return reinterpret_cast<CAM_STRUCT *>(hHandle); }

// Selects the chip of the following transfers.
bool selectChip(int fd, QOV_UINT8 address)
{
    return PLATFORM_Ioctl(fd, SENSOR_I2C_SLAVE,
                          reinterpret_cast<void *>(static_cast<uintptr_t>(address))) >= 0;
}

// Reads `count` bytes from register `offset` on.
QOV_RESULT readRegisters(const char *function, const sensor_i2c_dev &i2c, QOV_UINT16 offset,
                         QOV_UINT8 *data, size_t count)
{
    if (!selectChip(i2c.fd, i2c.readAddr)) {
        LOG_Error(function, __LINE__, LOG_TAG, "Failed to write I2C read address!\n");
        return QOV_ERROR_I2C_FAILED;
    }
    QOV_UINT8 address[2];
    size_t addressBytes;
    if (i2c.addrSize > 1) {
        address[0] = static_cast<QOV_UINT8>(offset >> 8);
        address[1] = static_cast<QOV_UINT8>(offset & 0xFF);
        addressBytes = 2;
    } else {
        address[0] = static_cast<QOV_UINT8>(offset & 0xFF);
        addressBytes = 1;
    }
    const ssize_t written = PLATFORM_Write(i2c.fd, address, addressBytes);
    const bool addressTaken = written == static_cast<ssize_t>(addressBytes);
    if (!addressTaken)
        LOG_Warning(function, __LINE__, LOG_TAG, "Wrote %dB instead of %luB before reading\n",
                    static_cast<int>(written), static_cast<unsigned long>(addressBytes));
    // A chip that did not take the register address would answer another register: no read then.
    if (!addressTaken || PLATFORM_Read(i2c.fd, data, count) != static_cast<ssize_t>(count)) {
        LOG_Error(function, __LINE__, LOG_TAG, "Failed to read I2C at 0x%x\n", offset);
        return QOV_ERROR_FAILURE;
    }
    return QOV_SUCCESS;
}

// Closes the GPIO chips, the PHY and the I2C file a failed bring-up opened.
void releaseBringUp(CAM_STRUCT *psCam)
{
    if (psCam->csimx_chip)
        gpiod_chip_close(psCam->csimx_chip);
    if (psCam->rst_gpio_chip)
        gpiod_chip_close(psCam->rst_gpio_chip);
    if (psCam->pwdn_gpio_chip)
        gpiod_chip_close(psCam->pwdn_gpio_chip);
    psCam->csimx_chip = nullptr;
    psCam->rst_gpio_chip = nullptr;
    psCam->pwdn_gpio_chip = nullptr;
    if (psCam->psSensorPhy)
        SensorPhyDeinit(psCam->psSensorPhy);
    psCam->psSensorPhy = nullptr;
    if (psCam->i2c_dev.fd >= 0)
        PLATFORM_Close(psCam->i2c_dev.fd);
    psCam->i2c_dev.fd = -1;
}

// Opens "gpiochip%d".
gpiod_chip *openGpioChip(unsigned number, char (&name)[32])
{
    snprintf(name, sizeof(name), "gpiochip%u", number);
    return gpiod_chip_open_by_name(name);
}

// Drives the CSI multiplexer to the sensor's board position and enables its output.
bool RezozMxGpioSet(CAM_STRUCT *psCam)
{
    psCam->csimx_chip = gpiod_chip_open_by_name(CSI_MUX_GPIO_CHIP);
    if (!psCam->csimx_chip) {
        LOG_ERROR("GPIO controller for csi multiplexer not found!\n");
        return false;
    }
    gpiod_line *sel = gpiod_chip_get_line(psCam->csimx_chip, CSI_MUX_SEL_LINE);
    if (!sel) {
        LOG_ERROR("Failed get csi multiplexer SEL GPIO\n");
        return false;
    }
    gpiod_line *noe = gpiod_chip_get_line(psCam->csimx_chip, CSI_MUX_NOE_LINE);
    if (!noe) {
        LOG_ERROR("Failed get csi multiplexer nOE GPIO\n");
        return false;
    }
    if (gpiod_line_request_output(sel, GPIO_CONSUMER, 1) < 0) {
        LOG_ERROR("Failed to request csi multiplexer SEL GPIO\n");
        return false;
    }
    // Position 1 selects input 0 and position 2 input 1; position 0 gives -1.
    const int selValue = static_cast<int>(static_cast<QOV_UINT32>(psCam->sensorNumOnBoard) - 1u);
    LOG_INFO("Set csi multiplexer SEL to %d\n", selValue);
    if (gpiod_line_set_value(sel, selValue) < 0) {
        LOG_ERROR("Failed to set csi multiplexer SEL\n");
        return false;
    }
    if (gpiod_line_request_output(noe, GPIO_CONSUMER, 1) < 0) {
        LOG_ERROR("Failed to request csi multiplexer nOE GPIO\n");
        return false;
    }
    LOG_INFO("Set csi multiplexer nOE to 0");
    if (gpiod_line_set_value(noe, 0) < 0) {
        LOG_ERROR("Failed to set csi multiplexer nOE\n");
        return false;
    }
    return true;
}

// Steps 4 to 10 of the bring-up; false on the first failure (logged).
bool bringUpDevices(CAM_STRUCT *psCam, const board_params &board)
{
    char name[32];
    psCam->pwdn_gpio_chip = openGpioChip(board.gpio.pwdn_chip_num, name);
    if (!psCam->pwdn_gpio_chip) {
        LOG_Error("CamInitialize", __LINE__, LOG_TAG, "PWDN GPIO controller not found!\n");
        return false;
    }
    LOG_Info("CamInitialize", __LINE__, LOG_TAG, "PWDN GPIO controller %s found!\n", name);

    psCam->rst_gpio_chip = openGpioChip(board.gpio.rst_chip_num, name);
    if (!psCam->rst_gpio_chip) {
        LOG_Error("CamInitialize", __LINE__, LOG_TAG, "Reset GPIO controller not found!\n");
        return false;
    }
    LOG_Info("CamInitialize", __LINE__, LOG_TAG, "Reset GPIO controller %s found!\n", name);

    if (board.gpio.pwdn_num >= 0) {
        LOG_Info("CamInitialize", __LINE__, LOG_TAG, "Get GPIO PWDN %d:\n", board.gpio.pwdn_num);
        gpiod_line *pwdn = gpiod_chip_get_line(psCam->pwdn_gpio_chip, board.gpio.pwdn_num);
        if (!pwdn) {
            LOG_Error("CamInitialize", __LINE__, LOG_TAG, "Failed to get PWDN GPIO\n");
            return false;
        }
        if (gpiod_line_request_output(pwdn, GPIO_CONSUMER, board.pwdn_value) < 0) {
            LOG_Error("CamInitialize", __LINE__, LOG_TAG, "Failed to request PWDN GPIO\n");
            return false;
        }
    }

    if (board.gpio.reset_num >= 0) {
        LOG_Info("CamInitialize", __LINE__, LOG_TAG, "Get GPIO RST %d:\n", board.gpio.reset_num);
        gpiod_line *reset = gpiod_chip_get_line(psCam->rst_gpio_chip, board.gpio.reset_num);
        if (!reset) {
            LOG_Error("CamInitialize", __LINE__, LOG_TAG, "Failed get Reset GPIO\n");
            return false;
        }
        if (gpiod_line_request_output(reset, GPIO_CONSUMER, 1) < 0) {
            LOG_Error("CamInitialize", __LINE__, LOG_TAG, "Failed to request Reset GPIO\n");
            return false;
        }
        if (board.rst_need) {
            LOG_Info("CamInitialize", __LINE__, LOG_TAG, "Set reset GPIO to LOW\n");
            if (gpiod_line_set_value(reset, 0) < 0) {
                LOG_Error("CamInitialize", __LINE__, LOG_TAG, "Failed to set Reset GPIO to LOW\n");
                return false;
            }
            sensor_usleep(1000);
        }
        LOG_Info("CamInitialize", __LINE__, LOG_TAG, "Set reset GPIO to HIGH\n");
        if (gpiod_line_set_value(reset, 1) < 0) {
            LOG_Error("CamInitialize", __LINE__, LOG_TAG, "Failed to set Reset GPIO to HIGH\n");
            return false;
        }
        sensor_usleep(100000);
    }

    if (board.mux_need && !RezozMxGpioSet(psCam))
        return false;

    psCam->i2c_dev.fd = PLATFORM_Open(board.i2c_dev_path, O_RDWR);
    if (psCam->i2c_dev.fd < 0) {
        LOG_Error("CamInitialize", __LINE__, LOG_TAG, "Failed to open I2C device: \"%s\", err = %d\n",
                  board.i2c_dev_path, errno);
        return false;
    }

    QOV_UINT16 chipVersion = 0;
    const QOV_RESULT ret = sensor_i2c_read16(psCam->i2c_dev, psCam->sensorChipIdOffset, &chipVersion);
    if (ret != QOV_SUCCESS || chipVersion != psCam->sensorChipId) {
        LOG_Error("CamInitialize", __LINE__, LOG_TAG,
                  "Failed to ensure that the i2c device has a compatible sensor! ret=%d "
                  "chip_version=0x%x (expect chip 0x%x)\n",
                  ret, chipVersion, psCam->sensorChipId);
        return false;
    }
    return true;
}

// Whether the state's hardware is up; logs the refusal otherwise.
bool initialised(const CAM_STRUCT *psCam, const char *function, unsigned line,
                 const char *message = "sensor not initialised\n")
{
    if (psCam && psCam->psSensorPhy)
        return true;
    LOG_Error(function, line, LOG_TAG, "%s", message);
    return false;
}

}  // namespace

/*-------------------------------------------------------------------------
 * Register access
 *-------------------------------------------------------------------------*/

void sensor_usleep(QOV_UINT32 microseconds) { PLATFORM_Usleep(microseconds); }

QOV_RESULT sensor_i2c_write8(sensor_i2c_dev i2c, const QOV_UINT8 *data, unsigned int len)
{
    const unsigned int recordSize = i2c.addrSize + 1u;
    if (len % recordSize != 0 || (!data && len)) {
        LOG_ERROR("Wrong len of data array, len = %d\n", len);
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (!selectChip(i2c.fd, i2c.writeAddr)) {
        LOG_ERROR("Failed to write I2C slave address!\n");
        return QOV_ERROR_I2C_FAILED;
    }
    for (unsigned int index = 0; index < len; index += recordSize) {
        const QOV_UINT8 *record = data + index;
        if (i2c.addrSize > 1 && record[0] == SENSOR_REG_PAUSE) {
            sensor_usleep(record[1] * 1000u);
            continue;
        }
        const ssize_t written = PLATFORM_Write(i2c.fd, record, recordSize);
        if (written != static_cast<ssize_t>(recordSize)) {
            LOG_ERROR("Failed to write I2C data! write_len = %d, index = %d\n", static_cast<int>(written),
                      index);
            return QOV_ERROR_I2C_FAILED;
        }
    }
    return QOV_SUCCESS;
}

QOV_RESULT sensor_i2c_read8(sensor_i2c_dev i2c, QOV_UINT16 offset, QOV_UINT8 *data)
{
    if (!data)
        return QOV_ERROR_INVALID_ARGUMENT;
    return readRegisters(__func__, i2c, offset, data, 1);
}

QOV_RESULT sensor_i2c_read16(sensor_i2c_dev i2c, QOV_UINT16 offset, QOV_UINT16 *data)
{
    if (!data)
        return QOV_ERROR_INVALID_ARGUMENT;
    QOV_UINT8 bytes[2];
    const QOV_RESULT ret = readRegisters(__func__, i2c, offset, bytes, 2);
    if (ret == QOV_SUCCESS)
        *data = static_cast<QOV_UINT16>(bytes[0] * 256 + bytes[1]);
    return ret;
}

QOV_RESULT sensor_i2c_fd_read16(int fd, QOV_UINT8 addr, QOV_UINT16 offset, QOV_UINT16 *data,
                                const char *function, const char *tag, const char *selectError)
{
    if (PLATFORM_Ioctl(fd, SENSOR_I2C_SLAVE, reinterpret_cast<void *>(static_cast<uintptr_t>(addr))) < 0) {
        LOG_Error(function, __LINE__, tag, "%s", selectError);
        return QOV_ERROR_I2C_FAILED;
    }
    const QOV_UINT8 address[2] = {static_cast<QOV_UINT8>(offset >> 8), static_cast<QOV_UINT8>(offset)};
    const ssize_t written = PLATFORM_Write(fd, address, sizeof(address));
    const bool addressTaken = written == static_cast<ssize_t>(sizeof(address));
    if (!addressTaken)
        LOG_Warning(function, __LINE__, tag, "Wrote %dB instead of %luB before reading\n",
                    static_cast<int>(written), static_cast<unsigned long>(sizeof(address)));
    // A chip that did not take the register address would answer another register: no read then.
    QOV_UINT8 buffer[2] = {};
    if (!addressTaken || PLATFORM_Read(fd, buffer, sizeof(buffer)) != static_cast<ssize_t>(sizeof(buffer))) {
        LOG_Error(function, __LINE__, tag, "Failed to read I2C at 0x%x\n", offset);
        return QOV_ERROR_FAILURE;
    }
    *data = static_cast<QOV_UINT16>((buffer[0] << 8) | buffer[1]);
    return QOV_SUCCESS;
}

const QOV_UINT8 *SensorModeGetRegisters(sensor_mode *table, const int tableBytes, unsigned int index,
                                        unsigned int *pnRegisters)
{
    if (!table || tableBytes <= 0 || index >= static_cast<unsigned int>(tableBytes) / sizeof(sensor_mode))
        return nullptr;
    sensor_mode &entry = table[index];
    const unsigned int recordSize = table[0].sizeRegisters;
    if (entry.nRegisters == 0 && entry.modeRegisters && recordSize > 0 &&
        entry.modeRegisters[0] != SENSOR_REG_END) {
        QOV_UINT32 count = 0;
        while (entry.modeRegisters[count * recordSize] != SENSOR_REG_END)
            ++count;
        entry.nRegisters = count;
    }
    if (pnRegisters)
        *pnRegisters = entry.nRegisters;
    return entry.modeRegisters;
}

/*-------------------------------------------------------------------------
 * Bring-up and modes
 *-------------------------------------------------------------------------*/

QOV_RESULT CamInitialize(CAM_STRUCT *psCam)
{
    if (!psCam)
        return QOV_ERROR_INVALID_ARGUMENT;
    psCam->i2c_dev.fd = -1;

    board_params board;
    memset(&board, 0, sizeof(board));
    if (GetBoardParameters(psCam->sensorNumOnBoard, &board) != QOV_SUCCESS)
        return QOV_ERROR_DEVICE_FAILED;
    psCam->refClock = board.clk_freq * 1e6;

    psCam->psSensorPhy = SensorPhyInit(psCam->nSensor);
    if (!psCam->psSensorPhy) {
        LOG_ERROR("Failed to create sensor phy!\n");
        return QOV_ERROR_DEVICE_FAILED;
    }
    psCam->psSensorPhy->psConfig = SensorPhyConfigPtr(psCam->nSensor);

    if (!bringUpDevices(psCam, board)) {
        releaseBringUp(psCam);
        return QOV_ERROR_DEVICE_FAILED;
    }
    return QOV_SUCCESS;
}

QOV_RESULT CamCheckMode(CAM_STRUCT *psCam, QOV_UINT16 nMode)
{
    if (!psCam)
        return QOV_ERROR_INVALID_ARGUMENT;
    const unsigned int config = nMode >> 4;
    const unsigned int mode = nMode & 0xF;
    const unsigned int nConfigs = psCam->uiConfigsSize / sizeof(sensor_mode);
    if (config < nConfigs && config < psCam->uiNumModesSize && psCam->pNumModes &&
        mode < psCam->pNumModes[config])
        return QOV_SUCCESS;
    LOG_ERROR("Mode %d not supported\n", nMode);
    return QOV_ERROR_NOT_SUPPORTED;
}

QOV_RESULT CamSetConfig(CAM_STRUCT *psCam, QOV_UINT16 nMode)
{
    if (!initialised(psCam, __func__, __LINE__))
        return QOV_ERROR_NOT_INITIALISED;
    psCam->currConfig = nMode >> 4;
    unsigned int nRegisters = 0;
    const QOV_UINT8 *list =
        SensorModeGetRegisters(psCam->pConfigs, psCam->uiConfigsSize, psCam->currConfig, &nRegisters);
    if (!list)
        return QOV_ERROR_INVALID_ARGUMENT;
    psCam->currConfReg = list;
    psCam->nConfRegisters = nRegisters;
    return QOV_SUCCESS;
}

/*-------------------------------------------------------------------------
 * Generic slots
 *-------------------------------------------------------------------------*/

QOV_RESULT SensorFuncGetMode(SENSOR_HANDLE hHandle, QOV_UINT16 nIndex, SENSOR_MODE *psModes)
{
    CAM_STRUCT *psCam = camOf(hHandle);
    if (!psCam || !psModes)
        return QOV_ERROR_INVALID_ARGUMENT;
    QOV_RESULT ret = CamCheckMode(psCam, nIndex);
    if (ret != QOV_SUCCESS)
        return ret;
    if (!psCam->GetConfInfo || !psCam->GetModeInfo)
        return QOV_ERROR_NOT_SUPPORTED;
    ret = psCam->GetConfInfo(psCam, nIndex, psModes);
    if (ret != QOV_SUCCESS)
        return ret;
    return psCam->GetModeInfo(psCam, nIndex, psModes);
}

QOV_RESULT SensorFuncGetState(SENSOR_HANDLE hHandle, SENSOR_STATUS *psStatus)
{
    CAM_STRUCT *psCam = camOf(hHandle);
    if (!psStatus)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (!psCam || !psCam->psSensorPhy) {
        LOG_WARNING("sensor not initialised\n");
        SensorStatusFill(psStatus, false, 0, SENSOR_FLIP_NONE, false);
        return QOV_SUCCESS;
    }
    SensorStatusFill(psStatus, true, psCam->ui16CurrentMode, psCam->ui8CurrentFlipping, psCam->bEnabled);
    return QOV_SUCCESS;
}

void SensorStatusFill(SENSOR_STATUS *psStatus, bool bInitialised, QOV_UINT16 ui16Mode,
                      QOV_UINT8 ui8Flipping, bool bEnabled)
{
    if (!bInitialised) {
        psStatus->ui16CurrentMode = 0;
        psStatus->ui8Flipping = SENSOR_FLIP_NONE;
        psStatus->eState = SENSOR_STATE_UNINITIALISED;
        return;
    }
    psStatus->ui16CurrentMode = ui16Mode;
    psStatus->ui8Flipping = ui8Flipping;
    psStatus->eState = bEnabled ? SENSOR_STATE_RUNNING : SENSOR_STATE_IDLE;
}

QOV_RESULT SensorFuncSetMode(SENSOR_HANDLE hHandle, QOV_UINT16 nMode, QOV_UINT8 ui8Flipping)
{
    CAM_STRUCT *psCam = camOf(hHandle);
    if (!initialised(psCam, __func__, __LINE__))
        return QOV_ERROR_NOT_INITIALISED;
    QOV_RESULT ret = CamCheckMode(psCam, nMode);
    if (ret != QOV_SUCCESS)
        return ret;
    if (!psCam->GetConfInfo || !psCam->GetModeInfo)
        return QOV_ERROR_NOT_SUPPORTED;

    // A refused mode leaves the current one in force: what the steps below
    // change is restored on failure.
    const SENSOR_MODE savedMode = psCam->currMode;
    const unsigned int savedConfig = psCam->currConfig;
    const QOV_UINT8 *savedConfReg = psCam->currConfReg;
    const QOV_UINT32 savedConfCount = psCam->nConfRegisters;
    const QOV_UINT8 *savedModeReg = psCam->currModeReg;
    const QOV_UINT32 savedModeCount = psCam->nModeRegisters;
    auto restore = [&](QOV_RESULT result) {
        psCam->currMode = savedMode;
        psCam->currConfig = savedConfig;
        psCam->currConfReg = savedConfReg;
        psCam->nConfRegisters = savedConfCount;
        psCam->currModeReg = savedModeReg;
        psCam->nModeRegisters = savedModeCount;
        return result;
    };

    ret = psCam->GetConfInfo(psCam, nMode, &psCam->currMode);
    if (ret != QOV_SUCCESS)
        return restore(ret);
    ret = CamSetConfig(psCam, nMode);
    if (ret != QOV_SUCCESS)
        return restore(ret);

    const unsigned int entry = (nMode >> 4) * SENSOR_MODES_PER_CONFIG + (nMode & 0xF);
    unsigned int nRegisters = 0;
    const QOV_UINT8 *modeList = SensorModeGetRegisters(psCam->pModes, psCam->uiModesSize, entry, &nRegisters);
    if (!modeList)
        return restore(QOV_ERROR_INVALID_ARGUMENT);
    const QOV_UINT8 allowed = psCam->pModes[entry].ui8Flipping;
    if (ui8Flipping & ~allowed) {
        LOG_ERROR("sensor mode does not support selected flipping 0x%x (supports 0x%x)\n", ui8Flipping,
                  allowed);
        return restore(QOV_ERROR_NOT_SUPPORTED);
    }

    psCam->currModeReg = modeList;
    psCam->nModeRegisters = nRegisters;
    if (psCam->GetModeInfo(psCam, nMode, &psCam->currMode) != QOV_SUCCESS) {
        LOG_ERROR("failed to get mode %d initial information!\n", nMode);
        return restore(QOV_ERROR_FAILURE);
    }

    psCam->ui8CurrentFlipping = ui8Flipping & allowed;
    psCam->ui16CurrentMode = nMode;
    psCam->ui16CurrentFocus = static_cast<QOV_UINT16>(psCam->focus_dac_min);
    QOV_UINT32 exposure = 302u * psCam->currMode.ui32ExposureMin;
    if (exposure < psCam->currMode.ui32ExposureMin)  // the product wrapped
        exposure = psCam->currMode.ui32ExposureMin;
    if (exposure > psCam->currMode.ui32ExposureMax)
        exposure = psCam->currMode.ui32ExposureMax;
    psCam->ui32Exposure[0] = exposure;
    return QOV_SUCCESS;
}

QOV_RESULT SensorFuncEnable(SENSOR_HANDLE hHandle)
{
    CAM_STRUCT *psCam = camOf(hHandle);
    if (!initialised(psCam, __func__, __LINE__))
        return QOV_ERROR_NOT_INITIALISED;
    if (SensorAlreadyEnabled(psCam->bEnabled, psCam->sensorName, __func__, LOG_TAG))
        return QOV_ERROR_WRONG_STATE;
    LOG_INFO("Enabling %s Camera!\n", psCam->sensorName);
    psCam->bEnabled = QOV_TRUE;

    SENSOR_PHY *psPhy = psCam->psSensorPhy;
    psPhy->psGasket->bParallel = QOV_FALSE;
    psPhy->psGasket->uiGasket = psCam->imager;
    psPhy->psConfig = SensorPhyConfigPtr(psCam->nSensor);
    if (psPhy->psConfig)
        psPhy->psConfig->params.mipi_osc_freq = psCam->currMode.ui8MipiOscFreq;

    // Without its gasket and PHY the sensor's frames reach nothing: a
    // failed switch is reported rather than taken for streaming.
    const QOV_RESULT phyRet = SensorPhySwitchOn(psPhy, psCam->currMode.ui8MipiLanes,
                                                psCam->currMode.ui8MipiHsFreqRange, psCam->sensorName,
                                                __func__, LOG_TAG);
    if (phyRet != QOV_SUCCESS) {
        psCam->bEnabled = QOV_FALSE;
        return phyRet;
    }

    // Configuration then mode, both written whatever the first gives; the
    // first failure is reported. The sensor stays streaming (PHY and gasket
    // on, the chip perhaps started), so that Disable or Destroy sends the
    // stop list and releases them.
    QOV_RESULT ret = QOV_SUCCESS;
    if (psCam->ApplyConfig)
        ret = psCam->ApplyConfig(psCam);
    if (psCam->ApplyMode) {
        const QOV_RESULT modeRet = psCam->ApplyMode(psCam);
        if (ret == QOV_SUCCESS)
            ret = modeRet;
    }
    if (ret != QOV_SUCCESS)
        LOG_ERROR("failed to write the configuration and mode of %s\n", psCam->sensorName);
    return ret;
}

QOV_RESULT SensorFuncDestroy(SENSOR_HANDLE hHandle)
{
    CAM_STRUCT *psCam = camOf(hHandle);
    if (!initialised(psCam, __func__, __LINE__))
        return QOV_ERROR_NOT_INITIALISED;
    if (psCam->bEnabled && psCam->sFuncs.Disable)
        psCam->sFuncs.Disable(hHandle);
    if (psCam->csimx_chip)
        gpiod_chip_close(psCam->csimx_chip);
    if (psCam->rst_gpio_chip)
        gpiod_chip_close(psCam->rst_gpio_chip);
    if (psCam->pwdn_gpio_chip)
        gpiod_chip_close(psCam->pwdn_gpio_chip);
    SensorPhyDeinit(psCam->psSensorPhy);
    if (psCam->i2c_dev.fd >= 0)
        PLATFORM_Close(psCam->i2c_dev.fd);
    free(psCam);
    return QOV_SUCCESS;
}

QOV_RESULT SensorFuncGetGainRange(SENSOR_HANDLE hHandle, double *pflMin, double *pflMax,
                                  QOV_UINT8 *puiContexts)
{
    CAM_STRUCT *psCam = camOf(hHandle);
    if (!psCam || !pflMin || !pflMax || !puiContexts)
        return QOV_ERROR_INVALID_ARGUMENT;
    *pflMin = psCam->aec_min_gain;
    *pflMax = psCam->aec_max_gain;
    *puiContexts = 0;
    return QOV_SUCCESS;
}

QOV_RESULT SensorFuncGetGain(SENSOR_HANDLE hHandle, double *pflCurrent, QOV_UINT8 ui8Context)
{
    CAM_STRUCT *psCam = camOf(hHandle);
    if (!initialised(psCam, __func__, __LINE__))
        return QOV_ERROR_NOT_INITIALISED;
    if (ui8Context >= SENSOR_MAX_CONTEXTS)
        return QOV_ERROR_NOT_SUPPORTED;
    if (!pflCurrent)
        return QOV_ERROR_INVALID_ARGUMENT;
    *pflCurrent = psCam->flGain[ui8Context];
    return QOV_SUCCESS;
}

QOV_RESULT SensorFuncGetExposureRange(SENSOR_HANDLE hHandle, QOV_UINT32 *pui32Min,
                                      QOV_UINT32 *pui32Max, QOV_UINT8 *pui8Contexts)
{
    CAM_STRUCT *psCam = camOf(hHandle);
    if (!initialised(psCam, __func__, __LINE__))
        return QOV_ERROR_NOT_INITIALISED;
    if (!pui32Min || !pui32Max || !pui8Contexts)
        return QOV_ERROR_INVALID_ARGUMENT;
    *pui32Min = psCam->currMode.ui32ExposureMin;
    *pui32Max = psCam->currMode.ui32ExposureMax;
    *pui8Contexts = 0;
    return QOV_SUCCESS;
}

QOV_RESULT SensorFuncGetExposure(SENSOR_HANDLE hHandle, QOV_UINT32 *pui32Exposure,
                                 QOV_UINT8 ui8Context)
{
    CAM_STRUCT *psCam = camOf(hHandle);
    if (!initialised(psCam, __func__, __LINE__))
        return QOV_ERROR_NOT_INITIALISED;
    if (ui8Context >= SENSOR_MAX_CONTEXTS)
        return QOV_ERROR_NOT_SUPPORTED;
    if (!pui32Exposure)
        return QOV_ERROR_INVALID_ARGUMENT;
    *pui32Exposure = psCam->ui32Exposure[ui8Context];
    return QOV_SUCCESS;
}

/*-------------------------------------------------------------------------
 * Bodies of chip slots
 *-------------------------------------------------------------------------*/

QOV_RESULT SensorFuncDisable(SENSOR_HANDLE hHandle, const QOV_UINT8 *disableRegs, const QOV_UINT16 length)
{
    CAM_STRUCT *psCam = camOf(hHandle);
    if (!psCam || !psCam->bEnabled)
        return QOV_SUCCESS;
    if (!initialised(psCam, __func__, __LINE__))
        return QOV_ERROR_NOT_INITIALISED;
    LOG_INFO("Disabling %s camera\n", psCam->sensorName);
    psCam->bEnabled = QOV_FALSE;
    sensor_i2c_write8(psCam->i2c_dev, disableRegs, length);

    CI_GASKET_INFO info;
    memset(&info, 0, sizeof(info));
    if (CI_GasketGetInfo(&info, psCam->imager, psCam->psSensorPhy->psConnection) != QOV_SUCCESS) {
        LOG_ERROR("failed to get information about gasket %u\n", psCam->imager);
    } else {
        LOG_INFO("%s (MIPI) - frame count %u\n", (info.eType & 1) ? "enabled" : "disabled",
                 info.ui32FrameCount);
        LOG_INFO("Gasket MIPI FIFO %u - Enabled lanes %u\n", info.ui8MipiFifoFull, info.ui8MipiEnabledLanes);
        LOG_INFO("Gasket CRC Error 0x%x\n       HDR Error 0x%x\n       ECC Error 0x%x\n       ECC "
                 "Correted 0x%x\n       SOT Error Count 0x%x\n",
                 info.ui8MipiCrcError, info.ui8MipiHdrError, info.ui8MipiEccError, info.ui8MipiEccCorrected,
                 info.ui16MipiSotErrorCnt);
    }

    SensorPhySwitchOff(psCam->psSensorPhy, psCam->nSensor, psCam->currMode.flFrameRate);
    return QOV_SUCCESS;
}

bool SensorAlreadyEnabled(bool bEnabled, const char *pszName, const char *function, const char *tag)
{
    if (bEnabled)
        LOG_Error(function, __LINE__, tag, "%s is already enabled\n", pszName);
    return bEnabled;
}

QOV_RESULT SensorPhySwitchOn(SENSOR_PHY *psPhy, QOV_UINT8 ui8Lanes, QOV_UINT8 ui8HsFreqRange,
                             const char *pszName, const char *function, const char *tag)
{
    const QOV_RESULT ret = SensorPhyCtrl(psPhy, QOV_TRUE, ui8Lanes, ui8HsFreqRange, 0);
    if (ret == QOV_SUCCESS)
        return QOV_SUCCESS;
    LOG_Error(function, __LINE__, tag, "failed to switch on the sensor phy of %s\n", pszName);
    if (ret < 0)  // the gasket was acquired but the PHY refused: give the gasket back
        SensorPhyCtrl(psPhy, QOV_FALSE, 0, 0, 0);
    return ret < 0 ? QOV_ERROR_DEVICE_FAILED : ret;
}

void SensorPhySwitchOff(SENSOR_PHY *psPhy, sensor_num nSensor, double flFrameRate)
{
    if (flFrameRate > 0)
        sensor_usleep(SensorToU32(1e6 / flFrameRate));
    psPhy->psConfig = SensorPhyConfigPtr(nSensor);
    SensorPhyCtrl(psPhy, QOV_FALSE, 0, 0, 0);
}

QOV_RESULT SensorFuncSetExposure(SENSOR_HANDLE hHandle, QOV_UINT32 ui32Current, QOV_UINT8 ui8Context,
                                 QOV_UINT8 *exposureRegs, const QOV_UINT16 length, const QOV_UINT8 firstExpReg)
{
    CAM_STRUCT *psCam = camOf(hHandle);
    if (!initialised(psCam, __func__, __LINE__))
        return QOV_ERROR_NOT_INITIALISED;
    if (ui8Context >= SENSOR_MAX_CONTEXTS)
        return QOV_ERROR_NOT_SUPPORTED;
    if (!exposureRegs || firstExpReg >= length) {
        LOG_ERROR("exposure register template is NULL or shorter than %u bytes\n", firstExpReg + 1u);
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    psCam->ui32Exposure[ui8Context] = ui32Current;
    if (psCam->ComputeExposure)
        psCam->ComputeExposure(psCam, ui8Context, exposureRegs + firstExpReg);
    // The value stays stored as asked; a failed transfer is reported.
    return sensor_i2c_write8(psCam->i2c_dev, exposureRegs, length);
}

QOV_RESULT SensorFuncSetGain(SENSOR_HANDLE hHandle, double flGain, QOV_UINT8 ui8Context, QOV_UINT8 *gainRegs,
                             const QOV_UINT16 length, const QOV_UINT8 firstGainReg)
{
    CAM_STRUCT *psCam = camOf(hHandle);
    if (!initialised(psCam, __func__, __LINE__, "sensor is not initialised\n"))
        return QOV_ERROR_NOT_INITIALISED;
    if (ui8Context >= SENSOR_MAX_CONTEXTS)
        return QOV_ERROR_NOT_SUPPORTED;
    if (!gainRegs || firstGainReg >= length) {
        LOG_ERROR("gain register template is NULL or shorter than %u bytes\n", firstGainReg + 1u);
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    psCam->flGain[ui8Context] = flGain;
    if (psCam->ComputeGains)
        psCam->ComputeGains(flGain, gainRegs + firstGainReg);
    // The value stays stored as asked; a failed transfer is reported.
    return sensor_i2c_write8(psCam->i2c_dev, gainRegs, length);
}

/*-------------------------------------------------------------------------
 * Chip drivers on the base
 *-------------------------------------------------------------------------*/

CAM_STRUCT *SensorCamAlloc(const SENSOR_CHIP *psChip, sensor_num nSensor, QOV_UINT8 ui8BoardPosition)
{
    CAM_STRUCT *psCam = static_cast<CAM_STRUCT *>(calloc(1, sizeof(CAM_STRUCT)));
    if (!psCam)
        return nullptr;

    SENSOR_FUNCS &f = psCam->sFuncs;
    f.GetMode = SensorFuncGetMode;
    f.GetState = SensorFuncGetState;
    f.SetMode = SensorFuncSetMode;
    f.Enable = SensorFuncEnable;
    f.Disable = psChip->Disable;
    f.Destroy = SensorFuncDestroy;
    f.GetInfo = psChip->GetInfo;
    f.GetGainRange = SensorFuncGetGainRange;
    f.GetCurrentGain = SensorFuncGetGain;
    f.SetGain = psChip->SetGain;
    f.GetExposureRange = SensorFuncGetExposureRange;
    f.GetExposure = SensorFuncGetExposure;
    f.SetExposure = psChip->SetExposure;
    f.GetFocusRange = psChip->GetFocusRange;
    f.GetCurrentFocus = psChip->GetCurrentFocus;
    f.SetFocus = psChip->SetFocus;

    psCam->pConfigs = psChip->configs;
    psCam->uiConfigsSize = psChip->configsSize;
    psCam->pModes = psChip->modes;
    psCam->uiModesSize = psChip->modesSize;
    psCam->pNumModes = psChip->numModes;
    psCam->uiNumModesSize = psChip->numModesSize;
    psCam->pHsFreqRange = psChip->hsFreqRange;
    psCam->focus_dac_min = psChip->focusDacMin;
    psCam->ui16CurrentFocus = psChip->initialFocus;

    psCam->ApplyConfig = psChip->ApplyConfig;
    psCam->ApplyMode = psChip->ApplyMode;
    psCam->GetConfInfo = psChip->GetConfInfo;
    psCam->GetModeInfo = psChip->GetModeInfo;
    psCam->ComputeExposure = psChip->ComputeExposure;
    psCam->ComputeGains = psChip->ComputeGains;

    psCam->nSensor = nSensor;
    snprintf(psCam->sensorName, sizeof(psCam->sensorName), "%s", psChip->name);
    psCam->imager = static_cast<QOV_UINT8>(GetImagerNum(nSensor));
    psCam->sensorNumOnBoard = ui8BoardPosition;
    psCam->i2c_dev.fd = -1;
    psCam->i2c_dev.writeAddr = psChip->i2cAddr;
    psCam->i2c_dev.readAddr = psChip->i2cAddr;
    psCam->i2c_dev.addrSize = psChip->addrSize;
    psCam->sensorChipIdOffset = psChip->chipIdReg;
    psCam->sensorChipId = psChip->chipId;
    psCam->aec_min_gain = psChip->minGain;
    psCam->aec_max_gain = psChip->maxGain;
    psCam->flGain[0] = psChip->minGain;  // the other contexts start at 0.0, every exposure at 0
    return psCam;
}

QOV_RESULT SensorCamStart(CAM_STRUCT *psCam, SENSOR_HANDLE *phHandle)
{
    if (CamInitialize(psCam) != QOV_SUCCESS) {
        free(psCam);
        *phHandle = nullptr;
        return QOV_ERROR_DEVICE_FAILED;
    }
    *phHandle = &psCam->sFuncs;
    return QOV_SUCCESS;
}

QOV_RESULT SensorChipCreate(const SENSOR_CHIP *psChip, SENSOR_HANDLE *phHandle, sensor_num nSensor,
                            QOV_UINT8 ui8BoardPosition, const char *function, const char *tag)
{
    if (!phHandle) {
        LOG_Error(function, __LINE__, tag, "phHandle is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    CAM_STRUCT *psCam = SensorCamAlloc(psChip, nSensor, ui8BoardPosition);
    if (!psCam) {
        LOG_Error(function, __LINE__, tag, "failed to allocate the sensor state\n");
        return QOV_ERROR_NO_MEMORY;
    }
    return SensorCamStart(psCam, phHandle);
}

QOV_RESULT SensorInfoFill(CAM_STRUCT *psCam, SENSOR_INFO *psInfo, MOSAICType eBayer,
                          const char *pszName, QOV_UINT8 ui8Imager, const SENSOR_INFO_LOG *psLog)
{
    if (!psCam->psSensorPhy) {
        LOG_Error(psLog->function, __LINE__, psLog->tag, "sensor not initialised\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    psInfo->eBayerOriginal = eBayer;
    psInfo->eBayerEnabled = eBayer;
    snprintf(psInfo->pszSensorName, sizeof(psInfo->pszSensorName), "%s", pszName);

    if (psLog->reading)
        LOG_Warning(psLog->function, __LINE__, psLog->tag, "%s", psLog->reading);
    QOV_UINT16 chipId = 0;
    if (sensor_i2c_read16(psCam->i2c_dev, psCam->sensorChipIdOffset, &chipId) == QOV_SUCCESS) {
        snprintf(psInfo->pszSensorVersion, sizeof(psInfo->pszSensorVersion), "0x%x", chipId);
        if (psLog->reading && psLog->readAsInfo)
            LOG_Info(psLog->function, __LINE__, psLog->tag, "Read device ID %s\n", psInfo->pszSensorVersion);
        else if (psLog->reading)
            LOG_Warning(psLog->function, __LINE__, psLog->tag, "Read device ID %s\n",
                        psInfo->pszSensorVersion);
    } else {
        if (psLog->reading)
            LOG_Warning(psLog->function, __LINE__, psLog->tag, "Did not read device ID\n");
        snprintf(psInfo->pszSensorVersion, sizeof(psInfo->pszSensorVersion), "not-verified");
    }
    psInfo->ui8Imager = ui8Imager;
    psInfo->fNumber = 1.2;
    psInfo->flReadNoise = 5.0;
    psInfo->bBackFacing = QOV_TRUE;
    return QOV_SUCCESS;
}

MOSAICType SensorFlippedRGGB(QOV_UINT8 ui8Flipping)
{
    static const MOSAICType kMosaic[4] = {MOSAIC_RGGB, MOSAIC_GRBG, MOSAIC_GBRG, MOSAIC_BGGR};
    return kMosaic[ui8Flipping & SENSOR_FLIP_BOTH];
}

QOV_RESULT SensorNoConfig(CAM_STRUCT *) { return QOV_SUCCESS; }

QOV_RESULT SensorNoConfInfo(CAM_STRUCT *, QOV_UINT16, SENSOR_MODE *) { return QOV_SUCCESS; }
