#include "simboard/board.h"
#include "simboard/gpio.h"
#include "simboard/isp_driver.h"
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
}

}  // namespace simboard
