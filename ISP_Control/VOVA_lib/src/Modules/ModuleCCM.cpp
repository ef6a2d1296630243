// Colour correction: the nine matrix values become the first three columns
// of the record's rows, whose fourth column is unused and kept at 0.
#include "vova/ModuleCCM.h"

#include <algorithm>

namespace VOVA {

namespace {
const double IDENTITY[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
const double NO_OFFSETS[3] = {0, 0, 0};
}  // namespace

const ParamDefArray<double> ModuleCCM::CCM_MATRIX("CCM_MATRIX", -4.0, 3.998046875, IDENTITY, 9);
const ParamDefArray<double> ModuleCCM::CCM_OFFSETS("CCM_OFFSETS", -256.0, 255.875, NO_OFFSETS, 3);

const KeyTable<ModuleCCM> &ModuleCCM::keys()
{
    typedef Keys<ModuleCCM> K;
    static const KeyTable<ModuleCCM> table =
        K::table(K::array(CCM_MATRIX, &ModuleCCM::aMatrix), K::array(CCM_OFFSETS, &ModuleCCM::aOffset));
    return table;
}

ModuleCCM::ModuleCCM() : FamilyModule("VOVA_MOD_CCM") { load(ParameterList()); }

ModuleCCM &ModuleCCM::operator=(const ModuleCCM &other)
{
    std::copy(other.aMatrix, other.aMatrix + CCM_MATRIX.n, aMatrix);
    std::copy(other.aOffset, other.aOffset + CCM_OFFSETS.n, aOffset);
    return *this;
}

QOV_RESULT ModuleCCM::writeRecord(MC_PIPELINE &mc)
{
    for (int r = 0; r < 3; r++) {
        for (int c = 0; c < 3; c++)
            mc.sCCM.aCoeff[r][c] = aMatrix[3 * r + c];
        mc.sCCM.aCoeff[r][3] = 0.0;
        mc.sCCM.aOffset[r] = aOffset[r];
    }
    return QOV_SUCCESS;
}

}  // namespace VOVA
