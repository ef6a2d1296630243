// Picture controls of a colour-plane converter (brightness, contrast,
// saturation, hue, range multipliers, chroma offsets, standard matrix) and
// the 3x3 matrix with offsets they give, shared by the RGB-to-YCbCr and the
// YCbCr-to-RGB modules.
#ifndef VOVA_MODULER2YBASE_H
#define VOVA_MODULER2YBASE_H

#include "mc/mc_structs.h"
#include "qov_types.h"
#include "vova/ModuleFamily.h"

namespace VOVA {

class ModuleR2YBase {
public:
    enum StdMatrix : int {
        BT601 = 0,
        BT709 = 1,
        JFIF = 2,  ///< named only: it has no coefficients
        STD_MIN = 0,
        STD_MAX = 2,
    };

    double fBrightness = 0.0;   ///< added to luma, full range 1.0
    double fContrast = 1.0;     ///< multiplier of all three channels
    double fSaturation = 1.0;   ///< multiplier of both chroma channels
    double fHue = 0.0;          ///< rotation of the chroma plane, degrees
    double aRangeMult[3] = {1.0, 1.0, 1.0};  ///< Y, Cb, Cr
    double fOffsetU = 0.0;      ///< first chroma offset, full range 1.0
    double fOffsetV = 0.0;      ///< second chroma offset, full range 1.0
    StdMatrix eMatrix = BT709;

    /**
     * Fills plane.aCoeff and plane.aOffset for the direction in plane.eType.
     * The YCbCr side is ordered Cr, Y, Cb before the swaps; bSwapInput
     * exchanges the two chroma inputs, bSwapOutput the two chroma outputs.
     * The plane is untouched on failure.
     */
    QOV_RESULT configure(MC_PLANECONV &plane, bool bSwapInput, bool bSwapOutput) const;

    static const char *stdMatrixName(StdMatrix matrix);
    /** BT601 or BT709 by exact name; anything else gives BT601. */
    static StdMatrix stdIndex(const char *name);

    /**
     * Warns, with the given tag and function "setup", for every coefficient
     * of the plane that a signed fixed-point field of intBits + fractBits
     * bits (the sign counted in intBits) cannot hold; returns how many.
     */
    static unsigned warnCutCoefficients(const MC_PLANECONV &plane, int intBits, int fractBits,
                                        const char *tag);

    /** The definitions of one converter's keys. */
    struct Definitions {
        const ParamDefSingle<std::string> &matrix;
        const ParamDef<double> &brightness;
        const ParamDef<double> &contrast;
        const ParamDef<double> &saturation;
        const ParamDef<double> &hue;
        const ParamDef<double> &offsetU;
        const ParamDef<double> &offsetV;
        const ParamDefArray<double> &rangeMult;
    };

    /**
     * The bindings of a converter M, in read order: the matrix by name (an
     * unknown name fails the load before the other keys are read), then the
     * picture controls and the range multipliers.
     */
    template <class M> static KeyTable<M> keyTable(const Definitions &defs)
    {
        typedef Keys<M> K;
        const ParamDefSingle<std::string> &matrix = defs.matrix;
        return K::table(
            K::custom(
                matrix.name,
                [&matrix](M &m, const ParameterList &list) {
                    return m.loadMatrix(list.getParameter(matrix), m.getLoggingName());
                },
                [&matrix](const M &m, ParameterList &list, ModuleBase::SaveType t) {
                    saveMatrix(matrix, m.eMatrix, list, t);
                }),
            K::number(defs.brightness, static_cast<double M::*>(&ModuleR2YBase::fBrightness)),
            K::number(defs.contrast, static_cast<double M::*>(&ModuleR2YBase::fContrast)),
            K::number(defs.saturation, static_cast<double M::*>(&ModuleR2YBase::fSaturation)),
            K::number(defs.hue, static_cast<double M::*>(&ModuleR2YBase::fHue)),
            K::number(defs.offsetU, static_cast<double M::*>(&ModuleR2YBase::fOffsetU)),
            K::number(defs.offsetV, static_cast<double M::*>(&ModuleR2YBase::fOffsetV)),
            K::array(defs.rangeMult, static_cast<double(M::*)[3]>(&ModuleR2YBase::aRangeMult)));
    }

protected:
    /** "BT601" or "BT709" into eMatrix; any other text fails and keeps it. */
    QOV_RESULT loadMatrix(const std::string &name, const char *tag);
    static void saveMatrix(const ParamDefSingle<std::string> &def, StdMatrix matrix, ParameterList &list,
                           ModuleBase::SaveType t);
    static const double RANGE_MULT_DEFAULTS[3];
};

}  // namespace VOVA

#endif  // VOVA_MODULER2YBASE_H
