// Board configuration file: the I2C buses, GPIO lines and clock of the
// sensor positions of this board, read from "/etc/vezara/boardcfg/%s.cfg"
// named by the device-tree model. Messages are logged under "BOARD".
#ifndef SENSORS_SENSOR_BOARD_H
#define SENSORS_SENSOR_BOARD_H

#include "qov_types.h"

typedef struct gpio_config {
    QOV_UINT8 rst_chip_num;   // "gpiochip%d" of the reset line
    QOV_INT8 reset_num;       // reset line; negative means none
    QOV_UINT8 pwdn_chip_num;  // "gpiochip%d" of the power-down line
    QOV_INT8 pwdn_num;        // power-down line; negative means none
} gpio_config;

typedef struct board_params {
    float clk_freq;             // sensor reference clock in MHz
    QOV_UINT8 rst_need;         // pulse the reset line low before driving it high
    char i2c_dev_path[255];     // "/dev/i2c-%d"
    gpio_config gpio;
    QOV_UINT8 mux_need;         // drive the CSI multiplexer lines
    QOV_UINT8 pwdn_value;       // level the power-down line is driven to
} board_params;

// Fills `params` for board position `imager`: QOV_SUCCESS,
// QOV_ERROR_DEVICE_FAILED (model unreadable) or QOV_ERROR_INVALID_ARGUMENT
// (file or key problem). Fields read before a failure keep their values.
// Reads through the process-wide option parser and releases it afterwards.
QOV_RESULT GetBoardParameters(QOV_UINT8 imager, board_params *params);

#endif
