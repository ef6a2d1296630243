// Gamut mapper setting: a plain copy into the record.
#include "vova/ModuleGMBase.h"

#include <algorithm>

namespace VOVA {

const double ModuleGMBase::COEFF_DEFAULTS[6] = {0, 0, 0, 0, 0, 0};
const double ModuleGMBase::SLOPE_DEFAULTS[3] = {1, 1, 1};

QOV_RESULT ModuleGMBase::configure(MC_GAMUTMAPPER &gamut) const
{
    gamut.fClipMin = fClipMin;
    gamut.fClipMax = fClipMax;
    gamut.fSrcNorm = fSrcNorm;
    std::copy(aSlope, aSlope + 3, gamut.aSlope);
    std::copy(aCoeff, aCoeff + 6, gamut.aCoeff);
    return QOV_SUCCESS;
}

}  // namespace VOVA
