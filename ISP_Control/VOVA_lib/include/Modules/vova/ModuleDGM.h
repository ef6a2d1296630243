// Display gamut mapper at the end of the display branch: its setting, with
// the coefficients reversed for a blue-first display and a fixed neutral
// setting for a packed YCbCr display.
#ifndef VOVA_MODULEDGM_H
#define VOVA_MODULEDGM_H

#include "vova/ModuleGMBase.h"

namespace VOVA {

class ModuleDGM : public FamilyModule<ModuleDGM, STP_DGM>, public ModuleGMBase {
public:
    static const ParamDefArray<double> DGM_COEFF;
    static const ParamDefArray<double> DGM_SLOPE;
    static const ParamDef<double> DGM_SRC_NORM;
    static const ParamDef<double> DGM_CLIP_MIN;
    static const ParamDef<double> DGM_CLIP_MAX;

    ModuleDGM();

    static const char *className() { return "ModuleDGM"; }
    static const char *groupHeader() { return "// Display Gamut Mapper parameters"; }
    static const KeyTable<ModuleDGM> &keys();
    /** Needs the output module for the display format. */
    QOV_RESULT writeRecord(MC_PIPELINE &mc);
    QOV_BOOL8 *recordFlag(MC_PIPELINE &mc) { return &mc.sDGM.updateNeeded; }
};

}  // namespace VOVA

#endif  // VOVA_MODULEDGM_H
