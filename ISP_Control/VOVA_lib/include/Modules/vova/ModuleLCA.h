// Lateral chromatic aberration: the red and blue planes are displaced
// relative to green by a polynomial of the distance from a centre, in x and
// in y. The module carries the calibration to the record unchanged.
#ifndef VOVA_MODULELCA_H
#define VOVA_MODULELCA_H

#include "vova/ModuleFamily.h"

namespace VOVA {

class ModuleLCA : public FamilyModule<ModuleLCA, STP_LCA> {
public:
    static const ParamDefArray<double> LCA_REDPOLY_X;
    static const ParamDefArray<double> LCA_REDPOLY_Y;
    static const ParamDefArray<double> LCA_BLUEPOLY_X;
    static const ParamDefArray<double> LCA_BLUEPOLY_Y;
    static const ParamDefArray<int> LCA_REDCENTER;
    static const ParamDefArray<int> LCA_BLUECENTER;
    static const ParamDefArray<int> LCA_SHIFT;
    static const ParamDefArray<int> LCA_DEC;

    double aRedPoly_X[3];  ///< red displacement along x, coefficient 0 first
    double aRedPoly_Y[3];
    double aBluePoly_X[3];
    double aBluePoly_Y[3];
    QOV_INT32 aRedCenter[2];  ///< centre of the red correction in pixels, x then y
    QOV_INT32 aBlueCenter[2];
    QOV_UINT32 aShift[2];       ///< shift of the polynomial result, 0 to 3
    QOV_UINT32 aDecimation[2];  ///< decimation of the correction grid, 0 to 15

    ModuleLCA();

    static const char *className() { return "ModuleLCA"; }
    static const char *groupHeader() { return "// Lateral Chromatic Aberration parameters"; }
    static const KeyTable<ModuleLCA> &keys();
    /** The record pairs x and y by coefficient; a negative centre goes as its two's complement. */
    QOV_RESULT writeRecord(MC_PIPELINE &mc);
    QOV_BOOL8 *recordFlag(MC_PIPELINE &mc) { return &mc.sLCA.updateNeeded; }
};

}  // namespace VOVA

#endif  // VOVA_MODULELCA_H
