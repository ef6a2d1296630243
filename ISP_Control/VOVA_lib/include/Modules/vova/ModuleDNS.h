// Bayer-domain denoiser: channel combining, a greyscale threshold
// multiplier, and 21 pixel thresholds from a strength and the sensor's noise
// model (gain, read noise, well depth). The sensor's figures are taken at
// loading; the denoiser control then writes the gain on every shot.
#ifndef VOVA_MODULEDNS_H
#define VOVA_MODULEDNS_H

#include "vova/ModuleFamily.h"

namespace VOVA {

class ModuleDNS : public FamilyModule<ModuleDNS, STP_DNS> {
public:
    static const ParamDefSingle<bool> DNS_COMBINE;
    static const ParamDef<double> DNS_STRENGTH;
    static const ParamDef<double> DNS_GREYSCALE_THRESH;
    /** Deprecated keys, never read: the sensor's keys replace them. */
    static const ParamDef<double> DNS_ISOGAIN;
    static const ParamDef<int> DNS_SENSORDEPTH;
    static const ParamDef<int> DNS_WELLDEPTH;
    static const ParamDef<double> DNS_READNOISE;

    bool bCombine;                  ///< combine the colour channels
    double fStrength;               ///< multiplier of every pixel threshold
    double fGreyscaleThreshold;     ///< greyscale threshold multiplier, passed on
    double fSensorGain;             ///< gain of the noise model
    QOV_UINT32 ui32SensorBitdepth;  ///< sensor bit depth
    QOV_UINT32 ui32SensorWellDepth; ///< sensor well depth, electrons
    double fSensorReadNoise;        ///< sensor read noise, electrons

    ModuleDNS();

    /** The three keys, then the noise model from the sensor (fixed figures without one). */
    QOV_RESULT load(const ParameterList &parameters) override;

    static const char *className() { return "ModuleDNS"; }
    static const char *groupHeader() { return "// Denoiser parameters"; }
    static ParameterGroup GetGroup() { return getGroup(); }
    static const KeyTable<ModuleDNS> &keys();
    /** A well depth of 0 gives a warning and thresholds of 0 instead of infinities. */
    QOV_RESULT writeRecord(MC_PIPELINE &mc);
    QOV_BOOL8 *recordFlag(MC_PIPELINE &mc) { return &mc.sDNS.updateNeeded; }
};

}  // namespace VOVA

#endif  // VOVA_MODULEDNS_H
