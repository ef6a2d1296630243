// YCbCr-to-RGB converter: its input swap undoes the encoder's chroma order,
// its output swap gives a blue-first display, or the chroma order of a
// packed YCbCr display.
#include "vova/ModuleY2R.h"

#include "vova/ModuleOUT.h"
#include "vova/OutputOrder.h"

namespace VOVA {

const ParamDefSingle<std::string> ModuleY2R::Y2R_MATRIX_STD("Y2R_MATRIX", "BT709");
const ParamDef<double> ModuleY2R::Y2R_BRIGHTNESS("Y2R_BRIGHTNESS", -0.5, 0.5, 0.0);
const ParamDef<double> ModuleY2R::Y2R_CONTRAST("Y2R_CONTRAST", 0.1, 10.0, 1.0);
const ParamDef<double> ModuleY2R::Y2R_SATURATION("Y2R_SATURATION", 0.1, 10.0, 1.0);
const ParamDef<double> ModuleY2R::Y2R_HUE("Y2R_HUE", -30.0, 30.0, 0.0);
const ParamDef<double> ModuleY2R::Y2R_OFFSETU("Y2R_OFFSETU", -0.5, 0.5, -0.5);
const ParamDef<double> ModuleY2R::Y2R_OFFSETV("Y2R_OFFSETV", -0.5, 0.5, -0.5);
const ParamDefArray<double> ModuleY2R::Y2R_RANGEMULT("Y2R_RANGE_MUL", 0.0, 2.0, RANGE_MULT_DEFAULTS, 3);

const KeyTable<ModuleY2R> &ModuleY2R::keys()
{
    static const KeyTable<ModuleY2R> table =
        keyTable<ModuleY2R>({Y2R_MATRIX_STD, Y2R_BRIGHTNESS, Y2R_CONTRAST, Y2R_SATURATION, Y2R_HUE, Y2R_OFFSETU,
                             Y2R_OFFSETV, Y2R_RANGEMULT});
    return table;
}

ModuleY2R::ModuleY2R() : FamilyModule("VOVA_MOD_Y2R") { load(ParameterList()); }

QOV_RESULT ModuleY2R::writeRecord(MC_PIPELINE &mc)
{
    const ModuleOUT *out = requireOutputModule(pipeline, getLoggingName());
    if (!out)
        return QOV_ERROR_FAILURE;
    const bool swapIn = isCbFirstEncoder(out->encoderType);
    bool swapOut;
    if (PixelFormatIsPackedYcc(out->displayType)) {
        mc.sY2R.eType = YCC_TO_YCC;
        swapOut = swapIn != isCrFirstPackedYcc(out->displayType);
    } else {
        mc.sY2R.eType = YCC_TO_RGB;
        swapOut = isBlueFirstDisplay(out->displayType);
    }
    QOV_RESULT ret = configure(mc.sY2R, swapIn, swapOut);
    if (ret != QOV_SUCCESS)
        return ret;
    warnCutCoefficients(mc.sY2R, 3, 9, getLoggingName());
    return QOV_SUCCESS;
}

}  // namespace VOVA
