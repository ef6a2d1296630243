// White-balance gains: per-channel gains and clip levels (ModuleWBC, before
// hardware 2.6) and, from 2.6, an RGB clipping stage with its own gains,
// thresholds and mode (ModuleWBC2_6). Both register under STP_WBC. The gains
// programmed are the module's gains times the white-balance scale of the
// lens-shading matrix in use.
#ifndef VOVA_MODULEWBC_H
#define VOVA_MODULEWBC_H

#include <string>

#include "vova/ModuleFamily.h"

namespace VOVA {

class ModuleWBC : public FamilyModule<ModuleWBC, STP_WBC> {
public:
    static const ParamDefArray<double> WBC_GAIN;
    static const ParamDefArray<double> WBC_CLIP;

    double aWBGain[4];  ///< gain multiplier per channel of the capture-interface record
    double aWBClip[4];  ///< clip level per channel, programmed as 256 times the value

    ModuleWBC();

    static const char *className() { return "ModuleWBC"; }
    static const char *groupHeader() { return "// White Balance Correction parameters"; }
    static const KeyTable<ModuleWBC> &keys();
    /** Gains times the lens-shading module's current scale (1.0 without that module). */
    virtual QOV_RESULT writeRecord(MC_PIPELINE &mc);
    QOV_BOOL8 *recordFlag(MC_PIPELINE &mc) { return &mc.sWBC.updateNeeded; }

protected:
    /** The base state under another log name, without loading. */
    explicit ModuleWBC(const std::string &loggingName);
};

class ModuleWBC2_6 : public ModuleWBC {
public:
    static const ParamDefArray<double> WBC_RGB_GAIN;
    static const ParamDefArray<double> WBC_RGB_THRESHOLD;
    static const ParamDefSingle<std::string> WBC_RGB_MODE;

    double afRGBGain[3];          ///< gains of the RGB clipping stage
    double afRGBThreshold[3];     ///< thresholds of the RGB clipping stage
    WBC_MODES eRGBThresholdMode;  ///< saturate or threshold

    ModuleWBC2_6();

    /**
     * The base keys, then its own. A mode name that is neither "saturation"
     * nor "threshold" fails with QOV_ERROR_FAILURE and keeps the mode held
     * before (the default on the first load).
     */
    QOV_RESULT load(const ParameterList &parameters) override;
    using ModuleWBC::save;
    /** The base group and keys, then the "ModuleWBC2_6" group and keys. */
    QOV_RESULT save(ParameterList &parameters, ModuleBase::SaveType t) const override;
    /** The base record, then the RGB stage unscaled (set up by the base's setup()). */
    QOV_RESULT writeRecord(MC_PIPELINE &mc) override;

    /** "saturation", "threshold" (exact text); any other gives -1, no mode. */
    static WBC_MODES getRGBMode(const std::string &mode);
    /** "saturation", "threshold", "unknown" for any other value. */
    static std::string getRGBModeString(WBC_MODES mode);

    static const char *className() { return "ModuleWBC2_6"; }
    static const char *groupHeader() { return "// White Balance Clipping parameters (HW 2.6)"; }
    /** Its own group: the header and the three RGB keys. */
    static ParameterGroup getGroup();
    static const KeyTable<ModuleWBC2_6> &keys();
};

}  // namespace VOVA

#endif  // VOVA_MODULEWBC_H
