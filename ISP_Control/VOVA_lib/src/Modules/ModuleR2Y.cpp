// RGB-to-YCbCr converter: Cr, Y, Cb rows, the chroma rows exchanged for an
// encoder format that stores Cb first.
#include "vova/ModuleR2Y.h"

#include "vova/ModuleOUT.h"
#include "vova/OutputOrder.h"

namespace VOVA {

const ParamDefSingle<std::string> ModuleR2Y::R2Y_MATRIX_STD("R2Y_MATRIX", "BT709");
const ParamDef<double> ModuleR2Y::R2Y_BRIGHTNESS("R2Y_BRIGHTNESS", -0.5, 0.5, 0.0);
const ParamDef<double> ModuleR2Y::R2Y_CONTRAST("R2Y_CONTRAST", 0.0, 2.0, 1.0);
const ParamDef<double> ModuleR2Y::R2Y_SATURATION("R2Y_SATURATION", 0.1, 10.0, 1.0);
const ParamDef<double> ModuleR2Y::R2Y_HUE("R2Y_HUE", -30.0, 30.0, 0.0);
const ParamDef<double> ModuleR2Y::R2Y_OFFSETU("R2Y_OFFSETU", -0.5, 0.5, 0.0);
const ParamDef<double> ModuleR2Y::R2Y_OFFSETV("R2Y_OFFSETV", -0.5, 0.5, 0.0);
const ParamDefArray<double> ModuleR2Y::R2Y_RANGEMULT("R2Y_RANGE_MUL", 0.0, 2.0, RANGE_MULT_DEFAULTS, 3);

const KeyTable<ModuleR2Y> &ModuleR2Y::keys()
{
    static const KeyTable<ModuleR2Y> table =
        keyTable<ModuleR2Y>({R2Y_MATRIX_STD, R2Y_BRIGHTNESS, R2Y_CONTRAST, R2Y_SATURATION, R2Y_HUE, R2Y_OFFSETU,
                             R2Y_OFFSETV, R2Y_RANGEMULT});
    return table;
}

ModuleR2Y::ModuleR2Y() : FamilyModule("VOVA_MOD_R2Y") { load(ParameterList()); }

QOV_RESULT ModuleR2Y::writeRecord(MC_PIPELINE &mc)
{
    const ModuleOUT *out = requireOutputModule(pipeline, getLoggingName());
    if (!out)
        return QOV_ERROR_FAILURE;
    mc.sR2Y.eType = RGB_TO_YCC;
    QOV_RESULT ret = configure(mc.sR2Y, false, isCbFirstEncoder(out->encoderType));
    if (ret != QOV_SUCCESS)
        return ret;
    warnCutCoefficients(mc.sR2Y, 2, 10, getLoggingName());
    return QOV_SUCCESS;
}

}  // namespace VOVA
