#include <cstdio>

#include "simboard/board.h"
#include "simboard/display.h"
#include "simboard/gpio.h"
#include "simboard/isp_driver.h"
#include "simboard/scene.h"
#include "simboard/sensor_models.h"
#include "simboard/sensor_chip.h"
#include "simboard/sleep.h"

namespace simboard {

// The devices a process finds on the simulated board when it starts.
void installDefaultDevices(Board &board)
{
    board.registerDevice(kIspDevicePath, std::make_shared<IspDriver>());
    // I2C buses, sensor PHYs and the gasket sources of the sensors.
    SensorBoard::instance().install(board);
    GpioBank::instance().reset();
    Sleeps::reset();
    // The display, with the PNG file of its last frame from the board's configuration.
    auto display = std::make_shared<DisplayDevice>();
    BoardSettings settings;
    std::vector<std::string> problems;
    if (readBoardSettings(boardSettingsPath(board), settings, problems)) {
        display->setPngPath(settings.displayPng);
        for (const BoardSettings::Chip &chip : settings.chips) {
            if (auto model = chipModelByName(chip.model))
                SensorBoard::instance().place(chip.bus, *model);
            else
                std::fprintf(stderr, "simboard: no sensor chip model \"%s\"\n", chip.model.c_str());
        }
    }
    board.registerDevice(DisplayDevice::kPath, display);
}

}  // namespace simboard
