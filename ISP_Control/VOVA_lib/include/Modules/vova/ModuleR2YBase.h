// Picture controls of a colour-plane converter (brightness, contrast,
// saturation, hue, range multipliers, chroma offsets, standard matrix) and
// the 3x3 matrix with offsets they give, shared by the RGB-to-YCbCr and the
// YCbCr-to-RGB modules.
#ifndef VOVA_MODULER2YBASE_H
#define VOVA_MODULER2YBASE_H

#include "mc/mc_structs.h"
#include "qov_types.h"

namespace VOVA {

class ModuleR2YBase {
public:
    enum StdMatrix {
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
};

}  // namespace VOVA

#endif  // VOVA_MODULER2YBASE_H
