// Encoder (YUV) output scaler: a rectangle of the image scaled down by a
// horizontal and a vertical pitch, with the chroma siting of the output.
#ifndef VOVA_MODULEESC_H
#define VOVA_MODULEESC_H

#include "vova/ModuleScalerBase.h"

namespace VOVA {

class ModuleESC : public FamilyModule<ModuleESC, STP_ESC>, public ModuleScalerBase {
public:
    static const ParamDefSingle<std::string> ESC_RECTTYPE;
    static const ParamDefSingle<bool> ESC_ADJUSTCUTOFF;
    static const ParamDefArray<double> ESC_PITCH;
    static const ParamDefArray<int> ESC_RECT;
    static const ParamDefSingle<std::string> ESC_CHROMA_MODE;

    bool bChromaInterstitial = true;  ///< "inter": chroma between luma samples; "co-sited": on them

    ModuleESC();

    /** Fails, writing no key, for a rectangle type without a name. */
    QOV_RESULT save(ParameterList &parameters, ModuleBase::SaveType t) const override;

    static const char *className() { return "ModuleESC"; }
    static const char *groupHeader() { return "// Encoder pipeline Scaler parameters"; }
    static const KeyTable<ModuleESC> &keys();
    /** Needs the imager interface's record; output width and height even. */
    QOV_RESULT writeRecord(MC_PIPELINE &mc);
    QOV_BOOL8 *recordFlag(MC_PIPELINE &mc) { return &mc.sESC.updateNeeded; }

};

}  // namespace VOVA

#endif  // VOVA_MODULEESC_H
