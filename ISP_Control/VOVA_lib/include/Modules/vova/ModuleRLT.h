// Raw look-up table: one 16-point curve per Bayer channel applied to the raw
// sensor values, interpolated linearly or cubically, or no curve. Present
// from hardware major version 2; the data-generator camera writes a curve
// into it before every frame to emulate the exposure.
#ifndef VOVA_MODULERLT_H
#define VOVA_MODULERLT_H

#include <string>

#include "vova/ModuleFamily.h"

namespace VOVA {

class ModuleRLT : public FamilyModule<ModuleRLT, STP_RLT> {
public:
    enum Mode {
        RLT_DISABLED = 0,
        RLT_LINEAR = 1,
        RLT_CUBIC = 2,
    };

    static const ParamDefSingle<std::string> RLT_CORRECTION_MODE;
    /** The family "RLT_POINTS_0" to "RLT_POINTS_3", one key per channel. */
    static const ParamDefArray<unsigned int> RLT_POINTS_S;

    Mode eMode;
    QOV_UINT16 aLUTPoints[4][16];  ///< per channel of the sensor's 2x2 cell, the curve points in order

    ModuleRLT();

    /** "LINEAR" and "CUBIC" (exact case); every other text gives RLT_DISABLED. */
    static Mode getRLTMode(const std::string &stringFormat);
    /** "LINEAR", "CUBIC", "DISABLED" for any other value. */
    static std::string getRLTModeString(Mode mode);

    static const char *className() { return "ModuleRLT"; }
    static const char *groupHeader() { return "// Raw Look Up Table parameters"; }
    static const KeyTable<ModuleRLT> &keys();
    /** A mode above RLT_CUBIC written by a caller is refused before the record is touched. */
    QOV_RESULT writeRecord(MC_PIPELINE &mc);
    QOV_BOOL8 *recordFlag(MC_PIPELINE &mc) { return &mc.sRLT.updateNeeded; }
};

}  // namespace VOVA

#endif  // VOVA_MODULERLT_H
