// Display output scaler: a rectangle of the image scaled down by a
// horizontal and a vertical pitch.
#ifndef VOVA_MODULEDSC_H
#define VOVA_MODULEDSC_H

#include "vova/ModuleScalerBase.h"

namespace VOVA {

class ModuleDSC : public FamilyModule<ModuleDSC, STP_DSC>, public ModuleScalerBase {
public:
    static const ParamDefSingle<std::string> DSC_RECTTYPE;
    static const ParamDefSingle<bool> DSC_ADJUSTCUTOFF;
    static const ParamDefArray<double> DSC_PITCH;
    static const ParamDefArray<int> DSC_RECT;

    ModuleDSC();

    static const char *className() { return "ModuleDSC"; }
    static const char *groupHeader() { return "// Display pipeline Scaler parameters"; }
    static const KeyTable<ModuleDSC> &keys();
    /** Needs the imager interface's record; output width even, height as computed. */
    QOV_RESULT writeRecord(MC_PIPELINE &mc);
    QOV_BOOL8 *recordFlag(MC_PIPELINE &mc) { return &mc.sDSC.updateNeeded; }
};

}  // namespace VOVA

#endif  // VOVA_MODULEDSC_H
