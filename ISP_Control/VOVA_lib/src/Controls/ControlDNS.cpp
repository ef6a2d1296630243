// The denoiser control: the sensor's programmed gain into every denoiser module.
#include "vova/ControlDNS.h"

#include "vezaracommon/userlog.h"
#include "vova/ModuleDNS.h"
#include "vova/Sensor.h"

namespace VOVA {

ControlDNS::ControlDNS(double defaultGain, const std::string &logName) : FamilyControl(logName), fSensorGain(defaultGain)
{
}

const KeyTable<ControlDNS> &ControlDNS::keys()
{
    static const KeyTable<ControlDNS> table;
    return table;
}

QOV_RESULT ControlDNS::update(const Metadata &)
{
    const Sensor *sensor = getSensor();
    if (!sensor) {
        LOG_Error(__func__, __LINE__, getLoggingName(), "ControlDNS has no sensor!\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    fSensorGain = sensor->getGain();
    programCorrection();
    return QOV_SUCCESS;
}

QOV_RESULT ControlDNS::programCorrection()
{
    writeEachPipeline<ModuleDNS>([this](ModuleDNS &dns) { dns.fSensorGain = fSensorGain; });
    return QOV_SUCCESS;
}

}  // namespace VOVA
