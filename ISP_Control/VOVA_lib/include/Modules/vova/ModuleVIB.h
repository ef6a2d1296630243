// Vibrancy of the main image enhancer: a saturation-dependent saturation
// gain, given as a 32-point curve from input to output saturation and sent
// as 32 gains. It writes only the vibrancy fields of the enhancer's record.
#ifndef VOVA_MODULEVIB_H
#define VOVA_MODULEVIB_H

#include "vova/ModuleFamily.h"

namespace VOVA {

class ModuleVIB : public FamilyModule<ModuleVIB, STP_VIB> {
public:
    static constexpr int CURVE_POINTS = 32;

    static const ParamDefSingle<bool> VIB_ON;
    static const ParamDefArray<double> VIB_SATURATION_CURVE;

    bool bVibrancyOn;
    double aSaturationCurve[CURVE_POINTS];  ///< output saturation at input i/31

    ModuleVIB();

    /** Gain i = curve[i] / (i/31); gain 0 is 1. */
    static void gainsFromSaturationCurve(const double *satCurve, double *satGains);
    /** curve[i] = i / (s - 1): an identity curve of s points. */
    static void toIndentity(double *curve, int s);
    /** Gains from a smoothed curve through (0,0), two points and (1,1). */
    static void setupDoublePoints(double in1, double out1, double in2, double out2, double *satMult);
    /** A curve through (0,0), two points and (1,1), sampled at i/31. */
    static void saturationCurve(double in1, double out1, double in2, double out2, double *satCurve);

    static const char *className() { return "ModuleVIB"; }
    static const char *groupHeader() { return "// Vibrancy parameters"; }
    static const KeyTable<ModuleVIB> &keys();
    QOV_RESULT writeRecord(MC_PIPELINE &mc);
    QOV_BOOL8 *recordFlag(MC_PIPELINE &mc) { return &mc.sMIE.updateNeeded; }
};

}  // namespace VOVA

#endif  // VOVA_MODULEVIB_H
