// The sensor wrapper of the ISP's internal data generator: instead of a
// chip it plays a JUX file as video through a gasket. Its figures (gain,
// well depth, read noise, frame rate) come from the setup file.
#ifndef VOVA_DGSENSOR_H
#define VOVA_DGSENSOR_H

#include <string>

#include "qov_types.h"
#include "vova/Connection.h"
#include "vova/Sensor.h"

namespace VOVA {

class DGSensor : public Sensor {
public:
    /** Ends in SENSOR_INITIALIZED, or SENSOR_ERROR when any step fails. */
    DGSensor(const std::string &filename, QOV_UINT8 gasketNumber, bool isInternal);
    /** Stops the generator and destroys it before its driver connection is dropped. */
    ~DGSensor() override;

    /** Reads the four figures, from the deprecated keys when present. */
    QOV_RESULT load(const ParameterList &parameters) override;

protected:
    bool isInternal;
    CI_Connection ciConnection;
};

}  // namespace VOVA

#endif  // VOVA_DGSENSOR_H
