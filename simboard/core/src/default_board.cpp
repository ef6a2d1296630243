#include "simboard/board.h"

namespace simboard {

// The devices a process finds on the simulated board when it starts.
void installDefaultDevices(Board &)
{
}

}  // namespace simboard
