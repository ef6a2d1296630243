// Builds the setup modules (and on request the control loops) a hardware
// version supports, and populates a new camera's pipeline with them.
#ifndef VOVA_CAMERAFACTORY_H
#define VOVA_CAMERAFACTORY_H

#include <list>

#include "qov_types.h"
#include "vova/Module.h"

namespace VOVA {

class Camera;
class Sensor;

class CameraFactory {
public:
    /** New modules in registration order; the caller owns them. Empty for major version 0. */
    static std::list<SetupModule *> setupModulesFromHWVersion(unsigned int major, unsigned int minor);
    /** New control loops; the caller owns them. Empty for major version 0. */
    static std::list<ControlModule *> controlModulesFromHWVersion(unsigned int major, unsigned int minor);
    /**
     * Registers the modules of the camera's hardware version in its
     * pipeline; with a sensor, sets the capture rectangle to the whole
     * sensor and sets every module up. The camera becomes CAM_REGISTERED.
     * A camera in error or capturing is refused.
     */
    static QOV_RESULT populateCameraFromHWVersion(Camera &camera, Sensor *sensor, int perf = 0);

    /** 2.6 or later: major above 2, or 2 with minor 6 or more. */
    static bool isVersion2_6OrLater(unsigned int major, unsigned int minor)
    {
        return major > 2 || (major == 2 && minor >= 6);
    }
};

}  // namespace VOVA

#endif  // VOVA_CAMERAFACTORY_H
