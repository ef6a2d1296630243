// Main gamut mapper: five keys.
#include "vova/ModuleMGM.h"

namespace VOVA {

const ParamDefArray<double> ModuleMGM::MGM_COEFF("MGM_COEFF", -2.0, 2.0, COEFF_DEFAULTS, 6);
const ParamDefArray<double> ModuleMGM::MGM_SLOPE("MGM_SLOPE", 0.0, 2.0, SLOPE_DEFAULTS, 3);
const ParamDef<double> ModuleMGM::MGM_SRC_NORM("MGM_SRC_NORM", 0.0, 2.0, 1.0);
const ParamDef<double> ModuleMGM::MGM_CLIP_MIN("MGM_CLIP_MIN", -1.0, 0.0, -0.5);
const ParamDef<double> ModuleMGM::MGM_CLIP_MAX("MGM_CLIP_MAX", 0.0, 2.0, 1.5);

const KeyTable<ModuleMGM> &ModuleMGM::keys()
{
    static const KeyTable<ModuleMGM> table =
        keyTable<ModuleMGM>({MGM_COEFF, MGM_SLOPE, MGM_SRC_NORM, MGM_CLIP_MIN, MGM_CLIP_MAX});
    return table;
}

ModuleMGM::ModuleMGM() : FamilyModule("VOVA_MOD_MGM") { load(ParameterList()); }

}  // namespace VOVA
