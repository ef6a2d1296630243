// The create functions of the sensor table, one per entry, each defined by
// its driver. A create function allocates the driver's state, brings the
// hardware up and stores the handle; on failure it stores a null handle.
#ifndef SENSORS_SENSOR_DRIVERS_H
#define SENSORS_SENSOR_DRIVERS_H

#include "qov_types.h"
#include "sensorapi/sensorapi.h"

QOV_RESULT IIFDG_Create(SENSOR_HANDLE *phHandle);       // 0 "IIF Datagen"
QOV_RESULT AR330_Create(SENSOR_HANDLE *phHandle);       // 1 "AR330"
QOV_RESULT OV4688_Create(SENSOR_HANDLE *phHandle);      // 2 "OV4688"
QOV_RESULT OV4689_Create_0(SENSOR_HANDLE *phHandle);    // 3 "OV4689_0"
QOV_RESULT OV4689_Create_1(SENSOR_HANDLE *phHandle);    // 4 "OV4689_1"
QOV_RESULT OV2718_Create_0(SENSOR_HANDLE *phHandle);    // 5 "OV2718_0"
QOV_RESULT OV2718_Create_1(SENSOR_HANDLE *phHandle);    // 6 "OV2718_1"
QOV_RESULT OV10823_Create_0(SENSOR_HANDLE *phHandle);   // 7 "OV10823_0"
QOV_RESULT OV10823_Create_1(SENSOR_HANDLE *phHandle);   // 8 "OV10823_1"
QOV_RESULT OV5647_Create_0(SENSOR_HANDLE *phHandle);    // 9 "OV5647_0"
QOV_RESULT OV5647_Create_1(SENSOR_HANDLE *phHandle);    // 10 "OV5647_1"
QOV_RESULT IMX415_Create(SENSOR_HANDLE *phHandle);      // 11 "IMX415"
QOV_RESULT OV5695_Create_0(SENSOR_HANDLE *phHandle);    // 12 "OV5695_0"
QOV_RESULT OV5695_Create_1(SENSOR_HANDLE *phHandle);    // 13 "OV5695_1"
QOV_RESULT OV5695_Create_2(SENSOR_HANDLE *phHandle);    // 14 "OV5695_2"
QOV_RESULT S5K3P9_Create(SENSOR_HANDLE *phHandle);      // 15 "S5K3P9"
QOV_RESULT IMX219_Create_0(SENSOR_HANDLE *phHandle);    // 16 "IMX219_0"
QOV_RESULT IMX219_Create_1(SENSOR_HANDLE *phHandle);    // 17 "IMX219_1"
QOV_RESULT IMX335_Create(SENSOR_HANDLE *phHandle);      // 18 "IMX335"
QOV_RESULT IMX327_Create(SENSOR_HANDLE *phHandle);      // 19 "IMX327"
QOV_RESULT ZYNQ_Create(SENSOR_HANDLE *phHandle);        // 20 "ZYNQ"
QOV_RESULT GC8034_Create(SENSOR_HANDLE *phHandle);      // 21 "GC8034"
QOV_RESULT GC5035_Create(SENSOR_HANDLE *phHandle);      // 22 "GC5035"
QOV_RESULT IMX662_Create(SENSOR_HANDLE *phHandle);      // 23 "IMX662"

// Loads the address/value pairs of the AR330's mode 255 from a text file.
QOV_RESULT AR330_LoadSpecialModeRegisters(SENSOR_HANDLE hHandle, const char *pszFilename);

#endif
