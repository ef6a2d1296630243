// Vibrancy: gains from a saturation curve. The key's default curve of 1.0
// (not the identity) is what an absent key loads; saving the defaults writes
// the identity curve instead.
#include "vova/ModuleVIB.h"

#include <algorithm>

namespace VOVA {

namespace {

const double FLAT_CURVE[ModuleVIB::CURVE_POINTS] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                                                    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};

// The three segments through (0,0), (in1,out1), (in2,out2) and (1,1), with
// in1 <= in2, sampled at i/31.
void threeSegments(double in1, double out1, double in2, double out2, double *curve)
{
    const double a = in1 > 0 ? out1 / in1 : 0.0;
    const double b = in1 < in2 ? (out2 - out1) / (in2 - in1) : 0.0;
    const double c = in2 < 1 ? (1.0 - out2) / (1.0 - in2) : 0.0;
    for (int i = 0; i < ModuleVIB::CURVE_POINTS; i++) {
        const double x = i / 31.0;
        if (x <= in1)
            curve[i] = a * x;
        else if (x <= in2)
            curve[i] = out1 + b * (x - in1);
        else
            curve[i] = out2 + c * (x - in2);
    }
}

}  // namespace

const ParamDefSingle<bool> ModuleVIB::VIB_ON("MIE_VIB_ON", false);
const ParamDefArray<double> ModuleVIB::VIB_SATURATION_CURVE("MIE_VIB_SAT_CURVE", 0.0, 1.0, FLAT_CURVE,
                                                            CURVE_POINTS);

const KeyTable<ModuleVIB> &ModuleVIB::keys()
{
    typedef Keys<ModuleVIB> K;
    // an ordinary array key, but for the defaults that SAVE_DEF writes
    static const family::ArrayKey<ModuleVIB, double, double, CURVE_POINTS> curveKey(
        VIB_SATURATION_CURVE, &ModuleVIB::aSaturationCurve, 0.0);
    static const KeyTable<ModuleVIB> table = K::table(
        K::flag(VIB_ON, &ModuleVIB::bVibrancyOn),
        K::custom(
            VIB_SATURATION_CURVE.name, [](ModuleVIB &m, const ParameterList &list) { return curveKey.load(m, list); },
            [](const ModuleVIB &m, ParameterList &list, ModuleBase::SaveType t) {
                if (t != ModuleBase::SAVE_DEF) {
                    curveKey.save(m, list, t);
                    return;
                }
                static const ParamDefArray<double> identity = [] {
                    double curve[CURVE_POINTS];
                    toIndentity(curve, CURVE_POINTS);
                    return ParamDefArray<double>(VIB_SATURATION_CURVE.name, VIB_SATURATION_CURVE.min,
                                                 VIB_SATURATION_CURVE.max, curve, CURVE_POINTS);
                }();
                list.addParameterDef(identity, true);
            }));
    return table;
}

ModuleVIB::ModuleVIB() : FamilyModule("VOVA_MOD_VIB") { load(ParameterList()); }

void ModuleVIB::gainsFromSaturationCurve(const double *satCurve, double *satGains)
{
    satGains[0] = 1.0;
    for (int i = 1; i < CURVE_POINTS; i++)
        satGains[i] = satCurve[i] / (i / 31.0);
}

void ModuleVIB::toIndentity(double *curve, int s)
{
    if (s < 1)
        return;
    curve[0] = 0.0;
    for (int i = 1; i < s; i++)
        curve[i] = static_cast<double>(i) / (s - 1);
}

void ModuleVIB::saturationCurve(double in1, double out1, double in2, double out2, double *satCurve)
{
    if (in1 > in2) {
        std::swap(in1, in2);
        std::swap(out1, out2);
    }
    threeSegments(in1, out1, in2, out2, satCurve);
}

void ModuleVIB::setupDoublePoints(double in1, double out1, double in2, double out2, double *satMult)
{
    if (in1 > in2)
        in2 = in1;
    double a[CURVE_POINTS], b[CURVE_POINTS];
    threeSegments(in1, out1, in2, out2, a);
    std::copy(a, a + CURVE_POINTS, b);
    for (int k = 2; k <= CURVE_POINTS - 3; k++)
        b[k] = (a[k - 2] + a[k - 1] + a[k] + a[k + 1] + a[k + 2]) / 5.0;
    satMult[0] = in1 > 0 ? out1 / in1 : 1.0;
    for (int i = 1; i < CURVE_POINTS - 1; i++)
        satMult[i] = b[i] / (i / 31.0);
    satMult[CURVE_POINTS - 1] = b[CURVE_POINTS - 1];
}

QOV_RESULT ModuleVIB::writeRecord(MC_PIPELINE &mc)
{
    mc.sMIE.bVibrancy = bVibrancyOn ? QOV_TRUE : QOV_FALSE;
    gainsFromSaturationCurve(aSaturationCurve, mc.sMIE.aVibrancySatMul);
    return QOV_SUCCESS;
}

}  // namespace VOVA
