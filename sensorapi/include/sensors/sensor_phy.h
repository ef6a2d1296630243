// Sensor PHY control: for every image sensor of the table, the PHY device
// and ISP input (gasket) it uses and the link it speaks; switches the PHY and
// the gasket on and off together. Messages are logged under "SensorPHY".
#ifndef SENSORS_SENSOR_PHY_H
#define SENSORS_SENSOR_PHY_H

#include <cstddef>

#include "ci/ci_api_structs.h"
#include "qov_types.h"

// Link types of sensor_phy_params.type.
#define SENSOR_IF_HISPI 1
#define SENSOR_IF_LVDS 2
#define SENSOR_IF_GPIO 4
#define SENSOR_IF_MIPI 8

// Requests of the PHY driver, each carrying a sensor_phy_params: write
// requests 0, 3 and 4 of type 0xF0 with a 32-byte argument.
#define SENSOR_PHY_IOCTL_CTRL 0x8020F000ul   // applies the record (switch on or off)
#define SENSOR_PHY_IOCTL_RESET 0x8020F003ul  // applies it after setting reset_gpio
#define SENSOR_PHY_IOCTL_MUX 0x8020F004ul    // applies it after setting enable_mux

// Device nodes of the PHY driver: "/dev/%s%d" with this name and the device number.
#define SENSOR_PHY_DEVICE_NAME "sensor_phy"

// The record handed to the PHY driver (little-endian, 32 bytes).
typedef struct sensor_phy_params {
    QOV_UINT32 type;  // SENSOR_IF_*
    QOV_UINT8 enable;
    QOV_UINT8 clk_en;
    QOV_UINT8 pixel_res;
    QOV_UINT8 mipi_lanes;
    QOV_UINT8 mipi_hsfreqrange;
    QOV_UINT8 reserved0;
    QOV_UINT16 mipi_osc_freq;
    QOV_UINT8 num_phys;
    QOV_UINT8 alt_mode;
    QOV_UINT8 filler_en;
    QOV_UINT8 lsb_first;
    QOV_UINT32 frame_width;
    QOV_UINT32 frame_height;
    QOV_UINT32 clk_freq;
    QOV_UINT8 reset_gpio;
    QOV_UINT8 enable_mux;
    QOV_UINT8 reserved1[2];
} sensor_phy_params;

static_assert(sizeof(sensor_phy_params) == 32);
static_assert(offsetof(sensor_phy_params, enable) == 4);
static_assert(offsetof(sensor_phy_params, mipi_lanes) == 7);
static_assert(offsetof(sensor_phy_params, mipi_hsfreqrange) == 8);
static_assert(offsetof(sensor_phy_params, mipi_osc_freq) == 10);
static_assert(offsetof(sensor_phy_params, num_phys) == 12);
static_assert(offsetof(sensor_phy_params, lsb_first) == 15);
static_assert(offsetof(sensor_phy_params, frame_width) == 16);
static_assert(offsetof(sensor_phy_params, clk_freq) == 24);
static_assert(offsetof(sensor_phy_params, reset_gpio) == 28);
static_assert(offsetof(sensor_phy_params, enable_mux) == 29);

// Key of a chip sensor in the PHY table: its sensor-table number minus one.
typedef enum sensor_num {
    SENSOR_DURIDU_AR0330 = 0,
    SENSOR_DURIDU_OV4688 = 1,
    SENSOR_DURIDU_OV4689_0 = 2,
    SENSOR_DURIDU_OV4689_1 = 3,
    SENSOR_DURIDU_OV2718_0 = 4,
    SENSOR_DURIDU_OV2718_1 = 5,
    SENSOR_DURIDU_OV10823_0 = 6,
    SENSOR_DURIDU_OV10823_1 = 7,
    SENSOR_DURIDU_OV5647_0 = 8,
    SENSOR_DURIDU_OV5647_1 = 9,
    SENSOR_DURIDU_IMX415 = 10,
    SENSOR_DURIDU_OV5695_0 = 11,
    SENSOR_DURIDU_OV5695_1 = 12,
    SENSOR_DURIDU_OV5695_2 = 13,
    SENSOR_DURIDU_S5K3P9 = 14,
    SENSOR_DURIDU_IMX219_0 = 15,
    SENSOR_DURIDU_IMX219_1 = 16,
    SENSOR_DURIDU_IMX335 = 17,
    SENSOR_DURIDU_IMX327 = 18,
    SENSOR_DURIDU_ZYNQ = 19,
    SENSOR_DURIDU_GC8034 = 20,
    SENSOR_DURIDU_GC5035 = 21,
    SENSOR_DURIDU_IMX662 = 22,
    SENSOR_DURIDU_TOTAL_NUM = 23,
} sensor_num;

// ISP inputs.
typedef enum imager_num {
    IMAGER_DURIDU_MIPI0 = 0,
    IMAGER_DURIDU_MIPI1 = 1,
    IMAGER_DURIDU_PARA0 = 2,
    IMAGER_DURIDU_PARA1 = 3,
    IMAGER_DURIDU_TOTAL_NUM = 4,
} imager_num;

// One row of the PHY table.
typedef struct sensor_duridu_if_config {
    sensor_num sensor;
    QOV_UINT8 sensor_dev;  // PHY device number
    imager_num imager;     // ISP input
    sensor_phy_params params;
} sensor_duridu_if_config;

// The PHY table, one row per sensor_num in order. Writable: enabling a
// sensor keeps its lanes, frequency range, oscillator setting and enable
// flag in its row.
extern sensor_duridu_if_config duridu_sensor_configs[SENSOR_DURIDU_TOTAL_NUM];

// An open PHY.
typedef struct _sensor_phy_ {
    sensor_duridu_if_config *psConfig;  // the sensor's row, set by the caller after creation
    int iFileDescriptor;                // the open PHY device
    CI_CONNECTION *psConnection;        // driver connection owned by the PHY
    CI_GASKET *psGasket;                // gasket request, owned
} SENSOR_PHY;

// The row whose sensor is `num` (first match); null when none.
sensor_duridu_if_config *SensorPhyConfigPtr(sensor_num num);
// The row's ISP input; IMAGER_DURIDU_TOTAL_NUM when none.
imager_num GetImagerNum(sensor_num num);
// The row's PHY device number; 255 when none.
QOV_UINT8 GetDevNum(sensor_num num);

// Opens the PHY of a sensor with a driver connection and a gasket request of
// its own; null on failure.
SENSOR_PHY *SensorPhyInit(sensor_num num);
// Acquires (or releases) the gasket, then switches the PHY on (or off) with
// the lanes and frequency range. The last argument is not used. Returns the
// gasket's result, or the raw ioctl result (0 or -1) of the PHY request.
QOV_RESULT SensorPhyCtrl(SENSOR_PHY *psSensorPhy, QOV_BOOL bEnable, QOV_UINT8 uiMipiLanes,
                         QOV_UINT8 ui8MipiHsFreqRange, QOV_UINT8 ui8SensorNum);
// Closes everything and frees the record.
void SensorPhyDeinit(SENSOR_PHY *psSensorPhy);
// Set reset_gpio (or enable_mux) of the row and send it; the raw ioctl result.
int SensorPhySetGpioReset(SENSOR_PHY *psSensorPhy, QOV_BOOL bEnable);
int SensorPhySetMux(SENSOR_PHY *psSensorPhy, QOV_BOOL bEnable);

// Write the fixed device paths "/dev/i2c-0" and "/dev/spidev1.3" into `path`
// (at least 15 bytes; the length is not consulted).
QOV_RESULT find_i2c_dev(char *path, unsigned int len);
QOV_RESULT find_spi_dev(char *path, unsigned int len);

#endif
