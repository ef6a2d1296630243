// Printouts of the state of the sensor's input port (gasket) and of the
// ISP's real-time monitor registers.
#ifndef VOVATEST_INFO_HELPER_H
#define VOVATEST_INFO_HELPER_H

#include <ostream>

namespace VOVA {
class Camera;
}

void PrintGasketInfo(VOVA::Camera &camera, std::ostream &os);
void PrintRTMInfo(VOVA::Camera &camera, std::ostream &os);

#endif
