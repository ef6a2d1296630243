// The arithmetic of the tone-mapping loop on plain arrays: a 64-bin luma
// histogram is clipped, smoothed, tempered and accumulated into a tone
// curve of 65 points (inputs i/64), towards which the running curve moves.
#ifndef VOVA_TONECURVE_H
#define VOVA_TONECURVE_H

namespace VOVA {
namespace tone {

constexpr int HIST_BINS = 64;
constexpr int CURVE_POINTS = 65;
constexpr int WRITTEN_POINTS = 63;  ///< inner points handed to the tone mapper

/** The seven-tap kernel 0.05 0.1 0.2 0.3 0.2 0.1 0.05, edge bins repeated. */
void smoothHistogram(const double in[HIST_BINS], double out[HIST_BINS]);

/** h = h x (1 - amount) + smoothed(h) x amount. */
void blendSmoothed(double h[HIST_BINS], double amount);

/** a[0] = 0, a[k] = a[k-1] + h[k-1], and a[64] exactly 1. */
void accumulate(const double h[HIST_BINS], double a[CURVE_POINTS]);

/** The identity curve i/64. */
void identityCurve(double m[CURVE_POINTS]);

/**
 * Moves the running curve m towards the curve of histogram h (h is
 * reworked in place): peak-normalised, clipped to maxHist then minHist,
 * smoothed, tempered by its peakedness, accumulated; m = m (1 - speed) +
 * new x speed. A histogram summing to 0 resets m to the identity and
 * returns false.
 */
bool updateCurve(double h[HIST_BINS], double minHist, double maxHist, double smoothing, double tempering,
                 double updateSpeed, double m[CURVE_POINTS]);

/** 1 - (gain - 1) / (maxGain - 1), gain below 1 counting as 1; 1 when maxGain is 1. */
double adaptiveStrength(double maxGain, double gain);

/**
 * The 63 inner points of the running curve; with `adaptive` blended with
 * the identity by `strength` (1: the curve, 0: the identity).
 */
void curvePoints(const double m[CURVE_POINTS], bool adaptive, double strength, double out[WRITTEN_POINTS]);

}  // namespace tone
}  // namespace VOVA

#endif  // VOVA_TONECURVE_H
