// Sensor PHY control: the PHY table and the switching of PHY and gasket.
#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ci/ci_api.h"
#include "ci/ci_gasket.h"
#include "platform/device_io.h"
#include "sensors/sensor_phy.h"
#include "vezaracommon/userlog.h"

#define LOG_TAG "SensorPHY"

namespace {

// A row with only the fields the program fills: link type, lanes and PHY count.
constexpr sensor_duridu_if_config row(sensor_num sensor, QOV_UINT8 dev, imager_num imager,
                                      QOV_UINT32 type, QOV_UINT8 lanes, QOV_UINT8 numPhys)
{
    sensor_duridu_if_config config{};
    config.sensor = sensor;
    config.sensor_dev = dev;
    config.imager = imager;
    config.params.type = type;
    config.params.mipi_lanes = lanes;
    config.params.num_phys = numPhys;
    return config;
}

}  // namespace

sensor_duridu_if_config duridu_sensor_configs[SENSOR_DURIDU_TOTAL_NUM] = {
    row(SENSOR_DURIDU_AR0330, 0, IMAGER_DURIDU_PARA0, SENSOR_IF_HISPI, 0, 1),
    row(SENSOR_DURIDU_OV4688, 1, IMAGER_DURIDU_MIPI1, SENSOR_IF_MIPI, 4, 0),
    row(SENSOR_DURIDU_OV4689_0, 0, IMAGER_DURIDU_MIPI0, SENSOR_IF_MIPI, 4, 0),
    row(SENSOR_DURIDU_OV4689_1, 1, IMAGER_DURIDU_MIPI1, SENSOR_IF_MIPI, 4, 0),
    row(SENSOR_DURIDU_OV2718_0, 0, IMAGER_DURIDU_MIPI0, SENSOR_IF_MIPI, 4, 0),
    row(SENSOR_DURIDU_OV2718_1, 1, IMAGER_DURIDU_MIPI1, SENSOR_IF_MIPI, 4, 0),
    row(SENSOR_DURIDU_OV10823_0, 0, IMAGER_DURIDU_MIPI0, SENSOR_IF_MIPI, 4, 0),
    row(SENSOR_DURIDU_OV10823_1, 1, IMAGER_DURIDU_MIPI1, SENSOR_IF_MIPI, 4, 0),
    row(SENSOR_DURIDU_OV5647_0, 0, IMAGER_DURIDU_MIPI0, SENSOR_IF_MIPI, 2, 0),
    row(SENSOR_DURIDU_OV5647_1, 1, IMAGER_DURIDU_MIPI1, SENSOR_IF_MIPI, 2, 0),
    row(SENSOR_DURIDU_IMX415, 0, IMAGER_DURIDU_MIPI0, SENSOR_IF_MIPI, 4, 0),
    row(SENSOR_DURIDU_OV5695_0, 0, IMAGER_DURIDU_MIPI0, SENSOR_IF_MIPI, 2, 0),
    row(SENSOR_DURIDU_OV5695_1, 1, IMAGER_DURIDU_MIPI1, SENSOR_IF_MIPI, 2, 0),
    row(SENSOR_DURIDU_OV5695_2, 1, IMAGER_DURIDU_MIPI1, SENSOR_IF_MIPI, 2, 0),
    row(SENSOR_DURIDU_S5K3P9, 0, IMAGER_DURIDU_MIPI0, SENSOR_IF_MIPI, 4, 0),
    row(SENSOR_DURIDU_IMX219_0, 0, IMAGER_DURIDU_MIPI0, SENSOR_IF_MIPI, 4, 0),
    row(SENSOR_DURIDU_IMX219_1, 1, IMAGER_DURIDU_MIPI1, SENSOR_IF_MIPI, 4, 0),
    row(SENSOR_DURIDU_IMX335, 0, IMAGER_DURIDU_MIPI0, SENSOR_IF_MIPI, 4, 0),
    row(SENSOR_DURIDU_IMX327, 0, IMAGER_DURIDU_MIPI0, SENSOR_IF_MIPI, 4, 0),
    row(SENSOR_DURIDU_ZYNQ, 0, IMAGER_DURIDU_MIPI0, SENSOR_IF_MIPI, 2, 0),
    row(SENSOR_DURIDU_GC8034, 1, IMAGER_DURIDU_MIPI1, SENSOR_IF_MIPI, 4, 0),
    row(SENSOR_DURIDU_GC5035, 0, IMAGER_DURIDU_MIPI0, SENSOR_IF_MIPI, 2, 0),
    row(SENSOR_DURIDU_IMX662, 0, IMAGER_DURIDU_MIPI0, SENSOR_IF_MIPI, 4, 0),
};

sensor_duridu_if_config *SensorPhyConfigPtr(sensor_num num)
{
    for (sensor_duridu_if_config &config : duridu_sensor_configs) {
        if (config.sensor == num)
            return &config;
    }
    return nullptr;
}

imager_num GetImagerNum(sensor_num num)
{
    const sensor_duridu_if_config *config = SensorPhyConfigPtr(num);
    return config ? config->imager : IMAGER_DURIDU_TOTAL_NUM;
}

QOV_UINT8 GetDevNum(sensor_num num)
{
    const sensor_duridu_if_config *config = SensorPhyConfigPtr(num);
    return config ? config->sensor_dev : 255;
}

SENSOR_PHY *SensorPhyInit(sensor_num num)
{
    SENSOR_PHY *psPhy = static_cast<SENSOR_PHY *>(calloc(1, sizeof(SENSOR_PHY)));
    if (!psPhy) {
        LOG_ERROR("Failed to allocate internal structure\n");
        return nullptr;
    }
    psPhy->iFileDescriptor = -1;
    if (CI_DriverInit(&psPhy->psConnection) != QOV_SUCCESS) {
        LOG_ERROR("Failed to open connection to Vezara Driver\n");
        free(psPhy);
        return nullptr;
    }

    psPhy->psGasket = static_cast<CI_GASKET *>(calloc(1, sizeof(CI_GASKET)));
    if (!psPhy->psGasket) {
        LOG_ERROR("Failed to allocate gasket struct\n");
    } else {
        CI_GasketInit(psPhy->psGasket);
        const QOV_UINT8 dev = GetDevNum(num);
        char name[20];
        snprintf(name, sizeof(name), "/dev/%s%d", SENSOR_PHY_DEVICE_NAME, dev);
        LOG_INFO("Device: %s\n", name);
        psPhy->iFileDescriptor = PLATFORM_Open(name, O_RDWR);
        if (psPhy->iFileDescriptor >= 0) {
            psPhy->psGasket->bParallel = QOV_FALSE;
            return psPhy;
        }
        LOG_ERROR("Failed to open connection to sensor dev %d\n", dev);
    }
    free(psPhy->psGasket);
    CI_DriverFinalise(psPhy->psConnection);
    free(psPhy);
    return nullptr;
}

QOV_RESULT SensorPhyCtrl(SENSOR_PHY *psSensorPhy, QOV_BOOL bEnable, QOV_UINT8 uiMipiLanes,
                         QOV_UINT8 ui8MipiHsFreqRange, QOV_UINT8 /*ui8SensorNum*/)
{
    // Without its row the PHY record cannot be sent: nothing is touched.
    if (!psSensorPhy || !psSensorPhy->psGasket || !psSensorPhy->psConfig)
        return QOV_ERROR_INVALID_ARGUMENT;
    CI_GASKET *psGasket = psSensorPhy->psGasket;
    const QOV_RESULT ret = bEnable ? CI_GasketAcquire(psGasket, psSensorPhy->psConnection)
                                   : CI_GasketRelease(psGasket, psSensorPhy->psConnection);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("failed to %s the gasket %d!\n", bEnable ? "acquire" : "release", psGasket->uiGasket);
        return ret;
    }
    LOG_INFO("%s gasket %d, %s PHY ...\n", bEnable ? "Acquired" : "Released", psGasket->uiGasket,
             bEnable ? "enabling" : "disabling");

    sensor_phy_params &params = psSensorPhy->psConfig->params;
    params.enable = bEnable ? 1 : 0;
    params.mipi_lanes = uiMipiLanes;
    params.mipi_hsfreqrange = ui8MipiHsFreqRange;
    LOG_INFO("Mipi Lanes: %d, MipiHsFreqRange: %x\n", uiMipiLanes, ui8MipiHsFreqRange);
    return PLATFORM_Ioctl(psSensorPhy->iFileDescriptor, SENSOR_PHY_IOCTL_CTRL, &params);
}

void SensorPhyDeinit(SENSOR_PHY *psSensorPhy)
{
    if (!psSensorPhy)
        return;
    free(psSensorPhy->psGasket);
    CI_DriverFinalise(psSensorPhy->psConnection);
    if (psSensorPhy->iFileDescriptor >= 0)
        PLATFORM_Close(psSensorPhy->iFileDescriptor);
    free(psSensorPhy);
}

namespace {

// Sets one field of the row and sends the record with `request`.
int sendField(SENSOR_PHY *psSensorPhy, QOV_UINT8 sensor_phy_params::*field, QOV_BOOL bEnable,
              unsigned long request)
{
    if (!psSensorPhy || !psSensorPhy->psConfig) {
        errno = EINVAL;
        return -1;
    }
    sensor_phy_params &params = psSensorPhy->psConfig->params;
    params.*field = bEnable ? 1 : 0;
    return PLATFORM_Ioctl(psSensorPhy->iFileDescriptor, request, &params);
}

}  // namespace

int SensorPhySetGpioReset(SENSOR_PHY *psSensorPhy, QOV_BOOL bEnable)
{
    return sendField(psSensorPhy, &sensor_phy_params::reset_gpio, bEnable, SENSOR_PHY_IOCTL_RESET);
}

int SensorPhySetMux(SENSOR_PHY *psSensorPhy, QOV_BOOL bEnable)
{
    return sendField(psSensorPhy, &sensor_phy_params::enable_mux, bEnable, SENSOR_PHY_IOCTL_MUX);
}

namespace {

// Copies a fixed device path into the caller's buffer of `len` bytes.
QOV_RESULT copyPath(char *path, unsigned int len, const char *device)
{
    const size_t needed = strlen(device) + 1;
    if (!path || len < needed)
        return QOV_ERROR_INVALID_ARGUMENT;
    memcpy(path, device, needed);
    return QOV_SUCCESS;
}

}  // namespace

QOV_RESULT find_i2c_dev(char *path, unsigned int len) { return copyPath(path, len, "/dev/i2c-0"); }

QOV_RESULT find_spi_dev(char *path, unsigned int len) { return copyPath(path, len, "/dev/spidev1.3"); }
