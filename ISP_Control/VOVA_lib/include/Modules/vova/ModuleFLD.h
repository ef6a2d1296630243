// Flicker detection: watches the frames for 50 Hz or 60 Hz flicker, which
// needs the sensor's frame timing (frame rate and lines per frame). With a
// sensor the timing comes from it, and the two timing keys are not read.
#ifndef VOVA_MODULEFLD_H
#define VOVA_MODULEFLD_H

#include "vova/ModuleFamily.h"

namespace VOVA {

class ModuleFLD : public FamilyModule<ModuleFLD, STP_FLD> {
public:
    static const ParamDefSingle<bool> FLD_ENABLE;
    static const ParamDef<double> FLD_FRAMERATE;
    static const ParamDef<int> FLD_VTOT;
    static const ParamDef<int> FLD_SCENECHANGE;
    static const ParamDef<int> FLD_MINPN;
    static const ParamDef<int> FLD_PN;
    static const ParamDef<int> FLD_NFTH;
    static const ParamDef<int> FLD_COEFDIFF;
    static const ParamDef<int> FLD_RSHIFT;
    static const ParamDefSingle<bool> FLD_RESET;

    bool bEnable;              ///< run the detection
    double fFrameRate;         ///< sensor frames per second
    QOV_INT32 iVTotal;         ///< sensor lines per frame, blanking included
    QOV_INT32 iScheneChangeTH; ///< scene-change threshold
    QOV_INT32 iMinPN;          ///< minimum PN count
    QOV_INT32 iPN;             ///< PN count
    QOV_INT32 iNF_TH;          ///< NF threshold
    QOV_INT32 iCoeffDiffTH;    ///< coefficient-difference threshold
    QOV_INT32 iRShift;         ///< right shift of the detector
    bool bReset;               ///< reset the detector

    ModuleFLD();

    static const char *className() { return "ModuleFLD"; }
    static const char *groupHeader() { return "// Flicker Detection parameters"; }
    static ParameterGroup GetGroup() { return getGroup(); }
    static const KeyTable<ModuleFLD> &keys();
    /** The values go as the low bits of their record fields, unchecked. */
    QOV_RESULT writeRecord(MC_PIPELINE &mc);
    QOV_BOOL8 *recordFlag(MC_PIPELINE &mc) { return &mc.sFLD.updateNeeded; }

    /** The pipeline's sensor, null without a pipeline or sensor. */
    const Sensor *sensor() const;
};

}  // namespace VOVA

#endif  // VOVA_MODULEFLD_H
