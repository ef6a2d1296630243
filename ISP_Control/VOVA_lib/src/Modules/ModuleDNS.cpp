// Denoiser: three keys, four deprecated keys saved as notes, the sharpening
// module's denoise keys listed in this group, and the noise model that
// gives the pixel thresholds.
#include "vova/ModuleDNS.h"

#include <cmath>

#include "vova/Sensor.h"

namespace VOVA {

namespace {

// A key kept for old setup files: never read, saved as a comment line
// naming its replacement.
std::unique_ptr<const KeyBinding<ModuleDNS>> deprecated(const std::string &key, const std::string &replacement)
{
    return Keys<ModuleDNS>::custom(key, nullptr, [key, replacement](const ModuleDNS &, ParameterList &list,
                                                                     ModuleBase::SaveType t) {
        if (t >= ModuleBase::SAVE_VAL && t <= ModuleBase::SAVE_DEF)
            list.addParameter(Parameter("// " + key, "deprecated see " + replacement), true);
    });
}

// A key of the sharpening module shown in this group; the sharpening module reads and saves it.
std::unique_ptr<const KeyBinding<ModuleDNS>> listedOnly(const std::string &key)
{
    return Keys<ModuleDNS>::custom(key, nullptr, nullptr);
}

// Pixel values at which the thresholds are taken: steps of 2 to 16, of 8 to 64, of 32 to 256.
const double kThresholdPoints[21] = {0, 2, 4, 6, 8, 10, 12, 14, 16, 24, 32, 40, 48, 56, 64, 96, 128, 160, 192, 224, 256};

}  // namespace

const ParamDefSingle<bool> ModuleDNS::DNS_COMBINE("DNS_COMBINE_ENABLE", true);
const ParamDef<double> ModuleDNS::DNS_STRENGTH("DNS_STRENGTH", 0.0, 6.0, 0.0);
const ParamDef<double> ModuleDNS::DNS_GREYSCALE_THRESH("DNS_GREYSC_PIXTHRESH_MULT", 0.07, 14.5, 0.25);
const ParamDef<double> ModuleDNS::DNS_ISOGAIN("DNS_ISO_GAIN", 0.0, 128.0, 1.0);
const ParamDef<int> ModuleDNS::DNS_SENSORDEPTH("DNS_SENSOR_BITDEPTH", 8, 16, 10);
const ParamDef<int> ModuleDNS::DNS_WELLDEPTH("DNS_WELL_DEPTH", 0, 65535, 5000);
const ParamDef<double> ModuleDNS::DNS_READNOISE("DNS_READ_NOISE", 0.0, 100.0, 0.0);

const KeyTable<ModuleDNS> &ModuleDNS::keys()
{
    typedef Keys<ModuleDNS> K;
    static const KeyTable<ModuleDNS> table = K::table(
        K::flag(DNS_COMBINE, &ModuleDNS::bCombine), K::number(DNS_STRENGTH, &ModuleDNS::fStrength),
        K::number(DNS_GREYSCALE_THRESH, &ModuleDNS::fGreyscaleThreshold),
        deprecated(DNS_ISOGAIN.name, "SENSOR_GAIN"), deprecated(DNS_SENSORDEPTH.name, "SENSOR_BITDEPTH"),
        deprecated(DNS_WELLDEPTH.name, "SENSOR_WELL_DEPTH"), deprecated(DNS_READNOISE.name, "SENSOR_READ_NOISE"),
        listedOnly("SHA_DENOISE_BYPASS"), listedOnly("SHA_DN_TAU_MULTIPLIER"), listedOnly("SHA_DN_SIGMA_MULTIPLIER"));
    return table;
}

ModuleDNS::ModuleDNS() : FamilyModule("VOVA_MOD_DNS") { load(ParameterList()); }

QOV_RESULT ModuleDNS::load(const ParameterList &parameters)
{
    const Sensor *sensor = pipeline ? pipeline->getSensor() : nullptr;
    QOV_RESULT ret = FamilyModule::load(parameters);
    if (sensor) {
        fSensorGain = sensor->getGain();
        ui32SensorBitdepth = sensor->uiBitDepth;
        ui32SensorWellDepth = sensor->uiWellDepth;
        fSensorReadNoise = sensor->flReadNoise;
    } else {
        // Ten electrons, not the 5000 of the deprecated well-depth key.
        fSensorGain = 1.0;
        fSensorReadNoise = 1.0;
        ui32SensorBitdepth = 10;
        ui32SensorWellDepth = 10;
    }
    return ret;
}

QOV_RESULT ModuleDNS::writeRecord(MC_PIPELINE &mc)
{
    MC_DNS &dns = mc.sDNS;
    dns.bCombineChannels = bCombine ? QOV_TRUE : QOV_FALSE;
    dns.fGreyscalePixelThreshold = fGreyscaleThreshold;
    if (ui32SensorWellDepth == 0) {
        LOG_Warning("setup", __LINE__, getLoggingName(),
                    "sensor well depth is 0: the denoiser pixel thresholds are set to 0\n");
        for (double &threshold : dns.aPixThresLUT)
            threshold = 0.0;
    } else {
        const double g = fSensorGain * 256.0;
        const double wellDepth = static_cast<double>(ui32SensorWellDepth);
        const double slope = g / wellDepth;
        const double noise = g * fSensorReadNoise / wellDepth;
        const double offset = noise * noise;
        for (int i = 0; i < 21; i++)
            dns.aPixThresLUT[i] = fStrength * std::sqrt(std::fma(slope, kThresholdPoints[i], offset));
    }
    dns.ui8SensorBitdepth = static_cast<QOV_UINT8>(ui32SensorBitdepth);
    return QOV_SUCCESS;
}

}  // namespace VOVA
