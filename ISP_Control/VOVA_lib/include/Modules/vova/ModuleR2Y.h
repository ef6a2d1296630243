// RGB-to-YCbCr converter of the main pipeline, whose output feeds the
// encoder and the display branch. The light-based control writes its
// brightness, contrast and saturation.
#ifndef VOVA_MODULER2Y_H
#define VOVA_MODULER2Y_H

#include "vova/ModuleR2YBase.h"

namespace VOVA {

class ModuleR2Y : public FamilyModule<ModuleR2Y, STP_R2Y>, public ModuleR2YBase {
public:
    static const ParamDefSingle<std::string> R2Y_MATRIX_STD;
    static const ParamDef<double> R2Y_BRIGHTNESS;
    static const ParamDef<double> R2Y_CONTRAST;
    static const ParamDef<double> R2Y_SATURATION;
    static const ParamDef<double> R2Y_HUE;
    static const ParamDef<double> R2Y_OFFSETU;
    static const ParamDef<double> R2Y_OFFSETV;
    static const ParamDefArray<double> R2Y_RANGEMULT;

    ModuleR2Y();

    static const char *className() { return "ModuleR2Y"; }
    static const char *groupHeader() { return "// RGB to YUV parameters"; }
    static const KeyTable<ModuleR2Y> &keys();
    /** Chroma rows in the encoder's order; warns for coefficients past the S2.10 field. */
    QOV_RESULT writeRecord(MC_PIPELINE &mc);
    QOV_BOOL8 *recordFlag(MC_PIPELINE &mc) { return &mc.sR2Y.updateNeeded; }
};

}  // namespace VOVA

#endif  // VOVA_MODULER2Y_H
