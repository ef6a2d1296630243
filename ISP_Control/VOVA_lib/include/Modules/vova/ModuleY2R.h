// YCbCr-to-RGB converter of the display branch, or a YCbCr pass when the
// display output is a packed 4:4:4 YCbCr format.
#ifndef VOVA_MODULEY2R_H
#define VOVA_MODULEY2R_H

#include "vova/ModuleR2YBase.h"

namespace VOVA {

class ModuleY2R : public FamilyModule<ModuleY2R, STP_Y2R>, public ModuleR2YBase {
public:
    static const ParamDefSingle<std::string> Y2R_MATRIX_STD;
    static const ParamDef<double> Y2R_BRIGHTNESS;
    static const ParamDef<double> Y2R_CONTRAST;
    static const ParamDef<double> Y2R_SATURATION;
    static const ParamDef<double> Y2R_HUE;
    static const ParamDef<double> Y2R_OFFSETU;
    static const ParamDef<double> Y2R_OFFSETV;
    static const ParamDefArray<double> Y2R_RANGEMULT;

    ModuleY2R();

    static const char *className() { return "ModuleY2R"; }
    static const char *groupHeader() { return "// YUV to RGB parameters"; }
    static const KeyTable<ModuleY2R> &keys();
    /** Direction and swaps from the encoder and display formats; warns for coefficients past the S3.9 field. */
    QOV_RESULT writeRecord(MC_PIPELINE &mc);
    QOV_BOOL8 *recordFlag(MC_PIPELINE &mc) { return &mc.sY2R.updateNeeded; }
};

}  // namespace VOVA

#endif  // VOVA_MODULEY2R_H
