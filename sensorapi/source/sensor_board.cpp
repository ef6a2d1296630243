// Board configuration file, read through the option parser.
#include <cstdio>
#include <cstring>

#include "dyncmd/ci_dyncmd.h"
#include "platform/device_io.h"
#include "sensors/sensor_board.h"
#include "vezaracommon/userlog.h"

#define LOG_TAG "BOARD"

// Every line is logged under the interface function's name.
#define BOARD_ERROR(...) LOG_Error("GetBoardParameters", __LINE__, LOG_TAG, __VA_ARGS__)
#define BOARD_INFO(...) LOG_Info("GetBoardParameters", __LINE__, LOG_TAG, __VA_ARGS__)

namespace {

constexpr const char *kModelPath = "/proc/device-tree/model";
constexpr const char *kBoardFileFormat = "/etc/vezara/boardcfg/%s.cfg";
constexpr size_t kLineSize = 100;
// Sensor reference clocks lie within a few MHz to a few tens of MHz; the
// drivers' timing arithmetic (line times, PLL multipliers in whole numbers)
// is sound only over such a range, not for a vanishing or infinite clock.
constexpr float kMinClockMHz = 1.0f;
constexpr float kMaxClockMHz = 100.0f;

bool registerKey(const char *key, DYNCMDLINE_TYPE type, const char *description, void *value)
{
    return DYNCMD_RegisterParameter(key, type, description, value) == RET_FOUND;
}

// Reads the keys in order; false at the first one missing or refused.
bool readKeys(QOV_UINT8 imager, board_params *params)
{
    unsigned int uValue = 0;
    int iValue = 0;
    float fValue = 0.0f;
    char key[64];

    if (!registerKey("-Board_reset_need", DYNCMDTYPE_UINT, "Reset need", &uValue)) {
        BOARD_ERROR("Board_reset_need parameter not defined!\n");
        return false;
    }
    params->rst_need = static_cast<QOV_UINT8>(uValue);
    BOARD_INFO("Reset need: %d\n", params->rst_need);

    if (!registerKey("-Board_mux_need", DYNCMDTYPE_UINT, "CSI multiplexer need", &uValue)) {
        BOARD_ERROR("Board_mux_need parameter not defined!\n");
        return false;
    }
    params->mux_need = static_cast<QOV_UINT8>(uValue);
    BOARD_INFO("CSI multiplexer need: %d\n", params->mux_need);

    if (!registerKey("-Board_pwdn_value", DYNCMDTYPE_UINT, "Board pwdn value", &uValue)) {
        BOARD_ERROR("Board_pwdn_value parameter not defined!\n");
        return false;
    }
    params->pwdn_value = static_cast<QOV_UINT8>(uValue);
    BOARD_INFO("Board pwdn value: %d\n", params->pwdn_value);

    if (!registerKey("-Board_max_sensors", DYNCMDTYPE_UINT, "max sensors", &uValue)) {
        BOARD_ERROR("Board_max_sensors parameter not defined!\n");
        return false;
    }
    const QOV_UINT8 maxSensors = static_cast<QOV_UINT8>(uValue);
    BOARD_INFO("Max sensors number: %d\n", maxSensors);

    if (!registerKey("-Board_clock_frequency", DYNCMDTYPE_FLOAT, "Board clock frequency", &fValue)) {
        BOARD_ERROR("Clock frequency not defined!\n");
        return false;
    }
    params->clk_freq = fValue;
    BOARD_INFO("Clock frequency: %f\n", params->clk_freq);
    if (!(params->clk_freq > 0.0f)) {
        BOARD_ERROR("Incorrect clock frequency %f, must be positive\n", params->clk_freq);
        return false;
    }
    if (params->clk_freq < kMinClockMHz || params->clk_freq > kMaxClockMHz) {
        BOARD_ERROR("Incorrect clock frequency %f, must be between %.0f and %.0f MHz\n", params->clk_freq,
                    kMinClockMHz, kMaxClockMHz);
        return false;
    }

    if (imager >= maxSensors) {
        BOARD_ERROR("Imager number %u not supported for this board!\n", imager);
        return false;
    }

    snprintf(key, sizeof(key), "-Sensor%d_i2c", imager);
    if (!registerKey(key, DYNCMDTYPE_UINT, "Sensor i2c port number", &uValue)) {
        BOARD_ERROR("I2C port not defined!\n");
        return false;
    }
    snprintf(params->i2c_dev_path, sizeof(params->i2c_dev_path), "/dev/i2c-%d",
             static_cast<QOV_UINT8>(uValue));
    BOARD_INFO("Sensor %d i2c dev: %s\n", imager, params->i2c_dev_path);

    snprintf(key, sizeof(key), "-Sensor%d_gpiochip_reset", imager);
    if (!registerKey(key, DYNCMDTYPE_UINT, "Sensor reset gpiochip number", &uValue)) {
        BOARD_ERROR("Reset gpiochip number not defined!\n");
        return false;
    }
    params->gpio.rst_chip_num = static_cast<QOV_UINT8>(uValue);
    BOARD_INFO("Sensor %d reset gpiochip: %d\n", imager, params->gpio.rst_chip_num);

    snprintf(key, sizeof(key), "-Sensor%d_gpio_reset", imager);
    if (!registerKey(key, DYNCMDTYPE_INT, "Sensor reset gpio number", &iValue)) {
        BOARD_ERROR("Reset gpio number not defined!\n");
        return false;
    }
    params->gpio.reset_num = static_cast<QOV_INT8>(iValue);
    BOARD_INFO("Sensor %d reset gpio: %d\n", imager, params->gpio.reset_num);

    snprintf(key, sizeof(key), "-Sensor%d_gpiochip_pwdn", imager);
    if (!registerKey(key, DYNCMDTYPE_UINT, "Sensor powerdown gpiochip number", &uValue)) {
        BOARD_ERROR("Powerdown gpiochip number not defined!\n");
        return false;
    }
    params->gpio.pwdn_chip_num = static_cast<QOV_UINT8>(uValue);
    BOARD_INFO("Sensor %d powerdown gpiochip: %d\n", imager, params->gpio.pwdn_chip_num);

    snprintf(key, sizeof(key), "-Sensor%d_gpio_pwdn", imager);
    if (!registerKey(key, DYNCMDTYPE_INT, "Sensor powerdown gpio number", &iValue)) {
        BOARD_ERROR("Powerdown gpio number not defined!\n");
        return false;
    }
    params->gpio.pwdn_num = static_cast<QOV_INT8>(iValue);
    BOARD_INFO("Sensor %d powerdown gpio: %d\n", imager, params->gpio.pwdn_num);
    return true;
}

}  // namespace

QOV_RESULT GetBoardParameters(QOV_UINT8 imager, board_params *params)
{
    if (!params)
        return QOV_ERROR_INVALID_ARGUMENT;

    FILE *pModel = PLATFORM_BoardFopen(kModelPath, "r");
    if (!pModel) {
        BOARD_ERROR("Failed to read device tree!\n");
        return QOV_ERROR_DEVICE_FAILED;
    }
    char model[kLineSize];
    const bool bRead = fgets(model, sizeof(model), pModel) != nullptr;
    fclose(pModel);
    if (!bRead) {
        BOARD_ERROR("Device tree read error!\n");
        return QOV_ERROR_DEVICE_FAILED;
    }
    // The device tree ends the model with a NUL; a text file may end it with
    // a line break, which is not part of the board's name.
    model[strcspn(model, "\r\n")] = '\0';
    BOARD_INFO("This board is %s\n", model);

    // A long model name cuts the path at the buffer's end, as on the board.
    char path[kLineSize];
    if (snprintf(path, sizeof(path), kBoardFileFormat, model) >= static_cast<int>(sizeof(path)))
        BOARD_INFO("Board file name cut to %zu characters\n", sizeof(path) - 1);
    if (DYNCMD_AddFile(PLATFORM_BoardPath(path).c_str(), "#") != QOV_SUCCESS) {
        BOARD_ERROR("Failed to open board params file!\n");
        BOARD_ERROR("Board '%s' not supported!\n", model);
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    BOARD_INFO("Board file found: %s\n", path);

    const bool bComplete = readKeys(imager, params);
    DYNCMD_ReleaseParameters();
    return bComplete ? QOV_SUCCESS : QOV_ERROR_INVALID_ARGUMENT;
}
