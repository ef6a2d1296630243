// Lateral chromatic aberration: eight array keys copied into the record.
#include "vova/ModuleLCA.h"

namespace VOVA {

namespace {
const double kNoCoefficients[3] = {0.0, 0.0, 0.0};
const int kZero[2] = {0, 0};
// The single-precision 15.9 widened to double; it saves as "15.9".
const double kPolyMax = static_cast<double>(15.9f);
}  // namespace

const ParamDefArray<double> ModuleLCA::LCA_REDPOLY_X("LCA_REDPOLY_X", -16.0, kPolyMax, kNoCoefficients, 3);
const ParamDefArray<double> ModuleLCA::LCA_REDPOLY_Y("LCA_REDPOLY_Y", -16.0, kPolyMax, kNoCoefficients, 3);
const ParamDefArray<double> ModuleLCA::LCA_BLUEPOLY_X("LCA_BLUEPOLY_X", -16.0, kPolyMax, kNoCoefficients, 3);
const ParamDefArray<double> ModuleLCA::LCA_BLUEPOLY_Y("LCA_BLUEPOLY_Y", -16.0, kPolyMax, kNoCoefficients, 3);
const ParamDefArray<int> ModuleLCA::LCA_REDCENTER("LCA_RED_CENTER", -4095, 4095, kZero, 2);
const ParamDefArray<int> ModuleLCA::LCA_BLUECENTER("LCA_BLUE_CENTER", -4095, 4095, kZero, 2);
const ParamDefArray<int> ModuleLCA::LCA_SHIFT("LCA_SHIFT", 0, 3, kZero, 2);
const ParamDefArray<int> ModuleLCA::LCA_DEC("LCA_DEC", 0, 15, kZero, 2);

const KeyTable<ModuleLCA> &ModuleLCA::keys()
{
    typedef Keys<ModuleLCA> K;
    static const KeyTable<ModuleLCA> table = K::table(
        K::array(LCA_REDPOLY_X, &ModuleLCA::aRedPoly_X), K::array(LCA_REDPOLY_Y, &ModuleLCA::aRedPoly_Y),
        K::array(LCA_BLUEPOLY_X, &ModuleLCA::aBluePoly_X), K::array(LCA_BLUEPOLY_Y, &ModuleLCA::aBluePoly_Y),
        K::array(LCA_REDCENTER, &ModuleLCA::aRedCenter), K::array(LCA_BLUECENTER, &ModuleLCA::aBlueCenter),
        K::array(LCA_SHIFT, &ModuleLCA::aShift), K::array(LCA_DEC, &ModuleLCA::aDecimation));
    return table;
}

ModuleLCA::ModuleLCA() : FamilyModule("VOVA_MOD_LCA") { load(ParameterList()); }

QOV_RESULT ModuleLCA::writeRecord(MC_PIPELINE &mc)
{
    MC_LCA &lca = mc.sLCA;
    for (int k = 0; k < 3; k++) {
        lca.aCoeffRed[k][0] = aRedPoly_X[k];
        lca.aCoeffRed[k][1] = aRedPoly_Y[k];
        lca.aCoeffBlue[k][0] = aBluePoly_X[k];
        lca.aCoeffBlue[k][1] = aBluePoly_Y[k];
    }
    for (int d = 0; d < 2; d++) {
        lca.aOffsetRed[d] = static_cast<QOV_UINT16>(aRedCenter[d]);
        lca.aOffsetBlue[d] = static_cast<QOV_UINT16>(aBlueCenter[d]);
        lca.aShift[d] = static_cast<QOV_UINT8>(aShift[d]);
        lca.aDec[d] = static_cast<QOV_UINT8>(aDecimation[d]);
    }
    return QOV_SUCCESS;
}

}  // namespace VOVA
