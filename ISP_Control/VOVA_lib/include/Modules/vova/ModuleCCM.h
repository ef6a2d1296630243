// Colour correction: the 3x3 matrix applied to the white-balanced RGB values
// and one offset per output channel. The white-balance controls and the
// demo write both fields and request an update.
#ifndef VOVA_MODULECCM_H
#define VOVA_MODULECCM_H

#include "vova/ModuleFamily.h"

namespace VOVA {

class ModuleCCM : public FamilyModule<ModuleCCM, STP_CCM> {
public:
    static const ParamDefArray<double> CCM_MATRIX;
    static const ParamDefArray<double> CCM_OFFSETS;

    double aMatrix[9];  ///< row by row: element 3 r + c is row r, column c
    double aOffset[3];  ///< added to the three outputs

    ModuleCCM();
    /** Copies the matrix and the offsets only: name, pipeline and flags stay. */
    ModuleCCM &operator=(const ModuleCCM &other);

    static const char *className() { return "ModuleCCM"; }
    static const char *groupHeader() { return "// Colour Correction Matrix parameters"; }
    static const KeyTable<ModuleCCM> &keys();
    QOV_RESULT writeRecord(MC_PIPELINE &mc);
    QOV_BOOL8 *recordFlag(MC_PIPELINE &mc) { return &mc.sCCM.updateNeeded; }
};

}  // namespace VOVA

#endif  // VOVA_MODULECCM_H
