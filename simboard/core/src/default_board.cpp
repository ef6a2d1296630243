#include "simboard/board.h"
#include "simboard/isp_driver.h"

namespace simboard {

// The devices a process finds on the simulated board when it starts.
void installDefaultDevices(Board &board)
{
    board.registerDevice(kIspDevicePath, std::make_shared<IspDriver>());
}

}  // namespace simboard
