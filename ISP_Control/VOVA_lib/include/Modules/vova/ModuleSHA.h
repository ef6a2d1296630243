// Sharpening set-up: strength, threshold, detail and edge controls, the
// kernel's gain weights from the radius, and the edge-aware denoiser's two
// comparison tables from the sensor's noise.
#ifndef VOVA_MODULESHA_H
#define VOVA_MODULESHA_H

#include "qov_types.h"
#include "vova/ModuleFamily.h"

namespace VOVA {

class ModuleSHA : public FamilyModule<ModuleSHA, STP_SHA> {
public:
    static const ParamDef<double> SHA_RADIUS;
    static const ParamDef<double> SHA_STRENGTH;
    static const ParamDef<double> SHA_THRESH;
    static const ParamDef<double> SHA_DETAIL;
    static const ParamDef<double> SHA_EDGE_SCALE;
    static const ParamDef<double> SHA_EDGE_OFFSET;
    static const ParamDefSingle<bool> SHA_DENOISE_BYPASS;
    static const ParamDef<double> SHADN_TAU;
    static const ParamDef<double> SHADN_SIGMA;

    double fRadius;
    double fStrength;      ///< written by the light-based control
    double fThreshold;
    double fDetail;
    double fEdgeScale;
    double fEdgeOffset;
    bool bBypassDenoise;
    double fDenoiseTau;    ///< multiplier of the interpolated tau
    double fDenoiseSigma;  ///< multiplier of the interpolated sigma

    ModuleSHA();

    /** The six sharpening keys: the denoiser's group lists the other three. */
    static ParameterGroup getGroup();
    static const char *className() { return "ModuleSHA"; }
    static const char *groupHeader() { return "// Sharpening parameters"; }
    static const KeyTable<ModuleSHA> &keys();
    /** Needs the pipeline's sensor for the denoiser tables. */
    QOV_RESULT writeRecord(MC_PIPELINE &mc);
    QOV_BOOL8 *recordFlag(MC_PIPELINE &mc) { return &mc.sSHA.updateNeeded; }
};

/** Interpolated noise figures of the denoiser. */
struct SHANoise {
    double sigma;
    double tau;
};

inline constexpr unsigned SHA_NOISE_POINTS = 15;
inline constexpr unsigned SHA_DN_POINTS = 7;

/** Noise index of a sensor: well depth over (gain x 100). */
double shaNoiseIndex(double wellDepth, double gain);
/** Sigma and tau of a noise index, log2-linear between the calibration points. */
SHANoise shaInterpolateNoise(double noiseIndex);
/** Similarity points 2 (sigma x multiplier)^2 (6.5 - j) 219, saturated to 16 bits. */
void shaSimilarityPoints(double sigma, double multiplier, QOV_UINT16 points[SHA_DN_POINTS]);
/** Avoidance points 219 / (tau x multiplier) (6.5 - j), saturated to 16 bits. */
void shaAvoidancePoints(double tau, double multiplier, QOV_UINT16 points[SHA_DN_POINTS]);
/** The three gain weights G0 = G1 + G2 of the kernel of a radius. */
void shaGainWeights(double radius, double weights[3]);
QOV_UINT16 shaThreshold(double threshold);
double shaStrength(double strength);
double shaEdgeScale(double edgeScale);
QOV_INT16 shaEdgeOffset(double edgeOffset);

}  // namespace VOVA

#endif  // VOVA_MODULESHA_H
