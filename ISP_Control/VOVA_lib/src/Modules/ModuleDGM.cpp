// Display gamut mapper. A packed YCbCr display gets a neutral setting in the
// record only: the module keeps the loaded setting, so that saving writes it
// and a later set-up for an RGB display uses it again.
#include "vova/ModuleDGM.h"

#include <algorithm>

#include "vova/ModuleOUT.h"
#include "vova/OutputOrder.h"

namespace VOVA {

const ParamDefArray<double> ModuleDGM::DGM_COEFF("DGM_COEFF", -2.0, 2.0, COEFF_DEFAULTS, 6);
const ParamDefArray<double> ModuleDGM::DGM_SLOPE("DGM_SLOPE", 0.0, 2.0, SLOPE_DEFAULTS, 3);
const ParamDef<double> ModuleDGM::DGM_SRC_NORM("DGM_SRC_NORM", 0.0, 2.0, 1.0);
const ParamDef<double> ModuleDGM::DGM_CLIP_MIN("DGM_CLIP_MIN", -1.0, 0.0, -0.5);
const ParamDef<double> ModuleDGM::DGM_CLIP_MAX("DGM_CLIP_MAX", 0.0, 2.0, 1.5);

const KeyTable<ModuleDGM> &ModuleDGM::keys()
{
    static const KeyTable<ModuleDGM> table =
        keyTable<ModuleDGM>({DGM_COEFF, DGM_SLOPE, DGM_SRC_NORM, DGM_CLIP_MIN, DGM_CLIP_MAX});
    return table;
}

ModuleDGM::ModuleDGM() : FamilyModule("VOVA_MOD_DGM") { load(ParameterList()); }

QOV_RESULT ModuleDGM::writeRecord(MC_PIPELINE &mc)
{
    const ModuleOUT *out = requireOutputModule(pipeline, getLoggingName());
    if (!out)
        return QOV_ERROR_FAILURE;

    MC_GAMUTMAPPER &dgm = mc.sDGM;
    configure(dgm);
    if (isBlueFirstDisplay(out->displayType)) {
        std::reverse_copy(aCoeff, aCoeff + 6, dgm.aCoeff);
    } else if (PixelFormatIsPackedYcc(out->displayType)) {
        ModuleGMBase neutral;
        neutral.fClipMin = -1.0;
        neutral.fClipMax = 2.0;
        neutral.fSrcNorm = 2.0;
        neutral.aSlope[0] = 1.0;
        neutral.aSlope[1] = 1.0;
        neutral.aSlope[2] = 0.0;
        std::fill(neutral.aCoeff, neutral.aCoeff + 6, 0.0);
        neutral.configure(dgm);
    }
    return QOV_SUCCESS;
}

}  // namespace VOVA
