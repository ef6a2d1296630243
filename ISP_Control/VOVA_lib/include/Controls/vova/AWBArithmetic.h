// The arithmetic of the white-balance loops, apart from metadata and
// modules: the adaptive statistics thresholds, the channel averages of the
// white-balance statistics, the inverse colour correction, the PID step, the
// Planckian tile ratios and sub-centroid choice, and the temporal smoothing
// and flash filter of the measured ratios. Numbers in, numbers out.
#ifndef VOVA_AWBARITHMETIC_H
#define VOVA_AWBARITHMETIC_H

#include <deque>

#include "qov_types.h"
#include "vova/ColorCorrection.h"

namespace VOVA {

/** One sample of the Planckian smoothing: red/green and blue/green ratios. */
struct rbNode_tag {
    double rg;
    double bg;
};

namespace awb {

/*------------------------------------------------ adaptive thresholds */

enum TS_State { TS_RESET = 0, TS_SCANNING = 1, TS_FOUND = 2 };

/** One adaptive threshold: scans until the metered pixel ratio meets its target. */
struct Threshold {
    TS_State currentState = TS_RESET;
    double accumulatedError = 0.0;
    double nextThreshold = 0.0;  ///< the threshold, 0 to 1
    double errorMargin = 0.0;
    double scanningFrames = 0.0;  ///< frames scanned since the last reset
};

/** One tracker step towards a metered ratio of target; returns the new threshold (0 to 1). */
double estimateThreshold(Threshold &t, double meteredRatio, double targetRatio);

/*------------------------------------------------ statistics averages */

/**
 * Mean channel value of the pixels counted in region 0 but not in region 1:
 * (acc0 - acc1) / (count0 - count1). False when no pixel lies between the
 * two regions' thresholds or the sums are inconsistent (count0 <= count1 or
 * acc0 < acc1); the differences are taken in 64 bits, never wrapped.
 */
bool differenceAverage(QOV_UINT32 acc0, QOV_UINT32 acc1, QOV_UINT32 count0, QOV_UINT32 count1, double &average);

/*------------------------------------------------ colour transforms */

/** The row vector (R, G, B) times the correction's matrix. */
void colorTransform(double R, double G, double B, const ColorCorrection &C, double &oR, double &oG, double &oB);

/**
 * Back through the inverse correction I: offsets, matrix, gains, then the
 * 1/2.2 power on a 0..512 scale. A channel that the offsets make negative
 * counts as 0 (no light), which the power keeps finite.
 */
void invertColorCorrection(double R, double G, double B, const ColorCorrection &I, double &iR, double &iG,
                           double &iB);

/** max((T + offset) x scale, 0). */
double correctTemperature(double temperature, double offset, double scale);
/** max(T x scale + offset, 0). */
double correctTemperature2(double temperature, double offset, double scale);

/*------------------------------------------------ PID */

/** One PID controller of a white-balance ratio. */
struct PIDState {
    double flMinGain = 0.0;  ///< output range
    double flMaxGain = 0.0;
    double flTargetRatio = 1.0;  ///< the set point
    double flIntegral = 0.0;
    double flLastError = 0.0;
    double Kp = 0.0;
    double Kd = 0.0;
    double Ki = 0.0;
    bool bClipped = false;    ///< the last output was clamped
    bool bConverged = false;  ///< the last error was within tolerance

    /** Set point 1, last error 0, flags cleared; the integral stays. */
    void reset();
    /**
     * Gains and the output range around a gain flIQE of the 6500 K
     * correction; the range is kept ordered (its bounds cross for flIQE below
     * 0.158 or above 6.32). The integral starts at flMinGain / Ki (0 with a
     * "Ki==0!" warning when Ki is 0).
     */
    void update(double Kp, double Kd, double Ki, double flIQE);

    static double HWMaxGain() { return 4.0; }
    static double HWMinGain() { return static_cast<float>(0.1); }
};

/** One controller step towards the set point; the output stays within the range. */
double PIDGain(PIDState *s, double flCurrentRatio);

/** The combined estimate: 0.4 white patch + 0.25 average colour + 0.35 highlight white. */
double combinedEstimate(double whitePatch, double averageColour, double highlightWhite);

/*------------------------------------------------ Planckian estimate */

/** log2 ratio of a tile: (collected + n x log2QE - collectedGreen) / n. */
double tileLog2Ratio(double collected, double collectedGreen, double n, double log2QE);

/** A tile beyond the low-temperature end: redder (lowR < lr) and less blue (lowB > lb) than the bound. */
bool beyondLowTemperature(double lowLog2RatioR, double lowLog2RatioB, double lr, double lb);

/**
 * Which sub-centroid refines the centroid: true for the upper one. dU, dL:
 * squared distances of the sub-centroids from the centroid; D: the squared
 * acceptance radius; wU, wL: their weights; lineU, lineL: their squared
 * distances from the locus segment closest to the centroid.
 */
bool chooseUpperSubCentroid(double dU, double dL, double D, double wU, double wL, double lineU, double lineL);

/*------------------------------------------------ temporal smoothing */

/** Both ratios of s outside [0.95, 1.05] x those of the newest accepted sample f. */
bool potentialFlash(const rbNode_tag &s, const rbNode_tag &f);

/**
 * Weight in percent of sample i of n with a ratio base between neighbours:
 * 100 b^i (1 - b) / (1 - b^n) in single precision; 1 when base <= 1.
 */
float weightSpread(float base, int nOfElem, int index);

/** weightSpread(size, i) for i from 0 to size - 1, each put at the front. */
void generateWeights(std::deque<float> &weights, float base, int size);

/**
 * Samples in the smoothing window: stretch (ms) x the rounded frame rate /
 * 1000, at least 1 so that the newest sample is always averaged.
 */
int smoothingWindow(int stretchMs, double fps);

/**
 * The flash filter: a jump of both ratios after more than 5 samples is held
 * back one shot; it enters the history when it lasts, and is replaced by a
 * repeat of the last accepted sample when the scene comes back. Held samples
 * with no accepted sample left to repeat (the history was emptied) are
 * dropped.
 */
void flashFiltering(std::deque<rbNode_tag> &nodes, std::deque<rbNode_tag> &cache, const rbNode_tag &sample,
                    bool enabled);

/**
 * The weighted moving average over at most `window` newest samples, the
 * oldest dropped first; weights regenerated when the sample count changes.
 * (1, 1) for an empty history.
 */
rbNode_tag movingAverageWeighted(std::deque<rbNode_tag> &nodes, std::deque<float> &weights, float base, int window);

}  // namespace awb
}  // namespace VOVA

#endif  // VOVA_AWBARITHMETIC_H
