// Main gamut mapper of the RGB pipeline, after the colour correction: its
// setting copied into its record.
#ifndef VOVA_MODULEMGM_H
#define VOVA_MODULEMGM_H

#include "vova/ModuleGMBase.h"

namespace VOVA {

class ModuleMGM : public FamilyModule<ModuleMGM, STP_MGM>, public ModuleGMBase {
public:
    static const ParamDefArray<double> MGM_COEFF;
    static const ParamDefArray<double> MGM_SLOPE;
    static const ParamDef<double> MGM_SRC_NORM;
    static const ParamDef<double> MGM_CLIP_MIN;
    static const ParamDef<double> MGM_CLIP_MAX;

    ModuleMGM();

    static const char *className() { return "ModuleMGM"; }
    static const char *groupHeader() { return "// Main Gamut Mapper parameters"; }
    static const KeyTable<ModuleMGM> &keys();
    QOV_RESULT writeRecord(MC_PIPELINE &mc) { return configure(mc.sMGM); }
    QOV_BOOL8 *recordFlag(MC_PIPELINE &mc) { return &mc.sMGM.updateNeeded; }
};

}  // namespace VOVA

#endif  // VOVA_MODULEMGM_H
