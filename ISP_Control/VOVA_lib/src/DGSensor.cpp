// The data-generator sensor wrapper: opens the "IIF Datagen" entry of the
// sensor table on a driver connection of its own and points it at a file
// and a gasket.
#include "vova/DGSensor.h"

#include "ci/ci_datagen.h"
#include "vezaracommon/userlog.h"
#include "vova/ModuleDNS.h"
#include "vova/ModuleFLD.h"

#define LOG_TAG "VOVA_SENSOR"

namespace VOVA {

namespace {

// The deprecated key of another block when the list holds it, else the sensor's own key.
template <typename T, typename O>
T readFigure(const ParameterList &parameters, const ParamDef<T> &deprecated, const ParamDef<O> &own)
{
    if (parameters.exists(deprecated.name)) {
        LOG_WARNING("%s is deprecated use %s instead!\n", deprecated.name.c_str(), own.name.c_str());
        return parameters.getParameter(deprecated);
    }
    return static_cast<T>(parameters.getParameter(own));
}

}  // namespace

DGSensor::DGSensor(const std::string &filename, QOV_UINT8 gasketNumber, bool internal) : Sensor(), isInternal(internal)
{
    CI_CONNECTION *connection = ciConnection.getConnection();
    if (!connection) {
        LOG_ERROR("Failed to connect to CI\n");
        state = SENSOR_ERROR;
        return;
    }
    if (!isInternal) {
        LOG_ERROR("external DG not supported!\n");
        state = SENSOR_ERROR;
        return;
    }
    if (init(GetSensorId("IIF Datagen")) != QOV_SUCCESS) {
        LOG_ERROR("Failed to initialise sensor\n");
        return;
    }
    const char *failure = nullptr;
    if (IIFDG_ExtendedSetConnection(hSensorHandle, connection) != QOV_SUCCESS)
        failure = "Failed to setup IIFDG connection\n";
    else if (IIFDG_ExtendedSetSourceFile(hSensorHandle, filename.c_str()) != QOV_SUCCESS)
        failure = "Failed to setup IIFDG source file\n";
    else if (IIFDG_ExtendedSetGasket(hSensorHandle, gasketNumber) != QOV_SUCCESS)
        failure = "Failed to setup IIFDG gasket\n";
    else if (IIFDG_ExtendedSetIsVideo(hSensorHandle, QOV_TRUE) != QOV_SUCCESS)
        failure = "Failed to setup IIFDG isVideo\n";
    // The generator refuses frames with less blanking than the hardware's
    // minimum, which the sensor does not start from.
    else if (IIFDG_ExtendedSetBlanking(hSensorHandle, CI_DATAGEN_MIN_HBLANKING, CI_DATAGEN_MIN_VBLANKING) !=
             QOV_SUCCESS)
        failure = "Failed to setup IIFDG blanking\n";
    if (failure) {
        LOG_ERROR("%s", failure);
        state = SENSOR_ERROR;
    }
}

DGSensor::~DGSensor()
{
    if (state == SENSOR_ENABLED)
        disable();
    // The generator lives on this wrapper's connection: it goes first, while
    // the connection is still open.
    if (hSensorHandle) {
        Sensor_Destroy(hSensorHandle);
        hSensorHandle = nullptr;
    }
}

QOV_RESULT DGSensor::load(const ParameterList &parameters)
{
    programmedGain = readFigure(parameters, ModuleDNS::DNS_ISOGAIN, SENSOR_GAIN);
    const int wellDepth = readFigure(parameters, ModuleDNS::DNS_WELLDEPTH, SENSOR_WELLDEPTH);
    uiWellDepth = wellDepth < 0 ? 0u : static_cast<unsigned int>(wellDepth);
    flReadNoise = readFigure(parameters, ModuleDNS::DNS_READNOISE, SENSOR_READNOISE);
    flFrameRate = readFigure(parameters, ModuleFLD::FLD_FRAMERATE, SENSOR_FRAMERATE);
    return QOV_SUCCESS;
}

}  // namespace VOVA
