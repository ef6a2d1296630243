// HDR merge set-up: the sensor's HDR readout figures, black levels, the
// exposure ratio and its gain, luma coefficients, and the merge-weight and
// tone curves.
#ifndef VOVA_MODULEHDR_H
#define VOVA_MODULEHDR_H

#include <string>

#include "qov_types.h"
#include "vova/ModuleFamily.h"

namespace VOVA {

class ModuleHDR : public FamilyModule<ModuleHDR, STP_HDR> {
public:
    enum MergeMode : int {
        HDR_MERGE_NORMAL = 0,      ///< "NORMAL"
        HDR_MERGE_SHORT_ONLY = 1,  ///< "SHORT_ONLY"
        HDR_MERGE_LONG_ONLY = 2,   ///< "LONG_ONLY"
    };

    /** Ratio the merge uses while neither fExposureRatio nor the sensor depth defines one. */
    static constexpr double FALLBACK_EXPOSURE_RATIO = 1.0;

    static const ParamDefArray<int> HDR_BLACK_LEVEL;
    static const ParamDefSingle<std::string> HDR_MERGE_MODE;
    static const ParamDef<double> HDR_EXPOSURE_RATIO;
    static const ParamDefArray<double> HDR_LUM_COEFFS;
    static const ParamDef<double> HDR_TNM_SCALE;
    static const ParamDef<double> HDR_TNM_WHITE;

    QOV_UINT32 aBlackLevel[2];
    MergeMode eMergeMode;
    double fExposureRatio;  ///< long over short exposure; 0 when not defined
    double aLumCoeffs[3];   ///< red, green, blue
    double fTNMScale;
    double fTNMWhite;

    ModuleHDR();

    /** 4096 weights of the long exposure; fExposureRatio must be positive for a normal merge. */
    void calculateWeightCurve(double *pWeightCurve) const;
    /** 3328 points of the tone curve. */
    void calculateTNMCurve(double *pTNMCurve) const;
    /** The mode of an exact name; anything else is HDR_MERGE_NORMAL. */
    static MergeMode getMergeMode(const std::string &name);
    static std::string getMergeModeString(MergeMode mode);

    static const char *className() { return "ModuleHDR"; }
    static const char *groupHeader() { return "// High Dynamic Range parameters"; }
    static const KeyTable<ModuleHDR> &keys();
    QOV_RESULT writeRecord(MC_PIPELINE &mc);
    QOV_BOOL8 *recordFlag(MC_PIPELINE &mc) { return &mc.sHDR.updateNeeded; }

private:
    void weightCurve(double exposureRatio, double *pWeightCurve) const;
};

/**
 * The long exposure's weight at each of the n input values of a normal
 * merge: a smoothstep hat over the long exposure (above its black level
 * blackLevel1) against one over the short exposure scaled by the ratio.
 * The ratio must be positive.
 */
void hdrMergeWeightCurve(QOV_UINT32 blackLevel1, double exposureRatio, double *curve, unsigned n);

/**
 * The 3328-point tone curve y = x (S + x / W^2) / (1 + S x) over the
 * piecewise-logarithmic input axis, clamped to [0, 1]. A white point of 0
 * gives the curve's limit: 0 at input 0 and 1 everywhere else.
 */
void hdrToneCurve(double scale, double white, double *curve);

/** Input of tone-curve point i: 13 segments of 256, the step doubling after the second. */
double hdrToneCurveInput(unsigned i);

}  // namespace VOVA

#endif  // VOVA_MODULEHDR_H
