// Sharpening set-up: strength, threshold, detail and edge controls, the
// kernel's gain weights from the radius, and the edge-aware denoiser's two
// comparison tables from the sensor's noise.
#ifndef VOVA_MODULESHA_H
#define VOVA_MODULESHA_H

#include "qov_types.h"

namespace VOVA {

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
