// The setting shared by the main and the display gamut mappers, and the key
// table both build from it with their own key names.
#ifndef VOVA_MODULEGMBASE_H
#define VOVA_MODULEGMBASE_H

#include "vova/ModuleFamily.h"

namespace VOVA {

class ModuleGMBase {
public:
    double aCoeff[6];  ///< mapping coefficients
    double aSlope[3];
    double fClipMin;   ///< lower clip level
    double fSrcNorm;   ///< source normalisation
    double fClipMax;   ///< upper clip level

    /** Copies the five fields into the record; updateNeeded is not touched. */
    QOV_RESULT configure(MC_GAMUTMAPPER &gamut) const;

    /** The definitions of one mapper's keys. */
    struct Definitions {
        const ParamDefArray<double> &coeff;
        const ParamDefArray<double> &slope;
        const ParamDef<double> &srcNorm;
        const ParamDef<double> &clipMin;
        const ParamDef<double> &clipMax;
    };

    /** The bindings of a mapper M, in read order: coefficients, clip min, source norm, clip max, slopes. */
    template <class M> static KeyTable<M> keyTable(const Definitions &defs)
    {
        typedef Keys<M> K;
        return K::table(K::array(defs.coeff, static_cast<double(M::*)[6]>(&ModuleGMBase::aCoeff)),
                        K::number(defs.clipMin, static_cast<double M::*>(&ModuleGMBase::fClipMin)),
                        K::number(defs.srcNorm, static_cast<double M::*>(&ModuleGMBase::fSrcNorm)),
                        K::number(defs.clipMax, static_cast<double M::*>(&ModuleGMBase::fClipMax)),
                        K::array(defs.slope, static_cast<double(M::*)[3]>(&ModuleGMBase::aSlope)));
    }

protected:
    static const double COEFF_DEFAULTS[6];
    static const double SLOPE_DEFAULTS[3];
};

}  // namespace VOVA

#endif  // VOVA_MODULEGMBASE_H
