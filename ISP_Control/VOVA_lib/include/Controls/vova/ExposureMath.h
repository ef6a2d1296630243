// The arithmetic of the auto-exposure loop, on plain numbers: the measures
// of a histogram, the backlight measure and level, the metered brightness,
// the next exposure x gain product and its split into an exposure time and
// a gain under the flicker, frame and gain limits.
//
// Exposure times are microseconds (microseconds_t, unsigned 32 bits); every
// conversion of a computed time truncates toward zero and saturates at 0
// and 4294967295.
#ifndef VOVA_EXPOSUREMATH_H
#define VOVA_EXPOSUREMATH_H

#include "qov_types.h"
#include "vova/GridWeights.h"

namespace VOVA {

typedef QOV_UINT32 microseconds_t;

namespace exposure {

/** Level, under- and over-exposure of a normalised histogram. */
struct HistogramMeasures {
    double avgValue = 0.0;        ///< mean level minus 0.5, [-0.5, 0.5]
    double underExposure = 0.0;   ///< sum of (1 - x)^3 h, [0, 1]
    double overExposure = 0.0;    ///< sum of x^3 h, [0, 1]
};

/** destination[i] = source[i] / total; all zeros when the total is 0; nothing when nBins <= 0. */
void normalizeHistogram(const QOV_UINT32 *source, double *destination, int nBins);

/** The measures of a histogram normalised to a sum of 1; bin i is level i / (nBins - 1). */
HistogramMeasures histogramMeasures(const double *histogram, int nBins);

/** The foreground mask of the backlight measure: the centre and the last rows (sum 20). */
extern const Grid7x7 BACKLIGHT_MASK;

/** Mask-weighted means of the grid inside and outside BACKLIGHT_MASK. */
void backLightMeasure(const Grid7x7 &grid, double &foregroundAvg, double &backgroundAvg);

/** The automatic backlight level one shot later: up 0.025 when |fg - bg| > 0.5, else down, within [0, 1]. */
double nextBacklightLevel(double level, double foregroundAvg, double backgroundAvg);

/**
 * The metered brightness from the blended region ratio, the largest region
 * over- and under-exposure, the backlight level and the foreground mean.
 */
double combineMetering(double blendedRatio, double maxOver, double maxUnder, double blcLevel, double foregroundAvg);

/** The next exposure x gain product: prev x (1 + speed x sign x |e|^1.25), e = target - metering capped at 1. */
double nextProduct(double metering, double target, double prev, double updateSpeed);

/** A computed time in microseconds: truncated, saturated at 0 and 4294967295, 0 for NaN. */
microseconds_t toMicroseconds(double us);

/** Clamps between two bounds, the lower of the two being the lower bound. */
template <class T> T clampBetween(T value, T a, T b)
{
    const T lo = a < b ? a : b;
    const T hi = a < b ? b : a;
    return value < lo ? lo : (value > hi ? hi : value);
}

/**
 * The flicker period in microseconds of a lamp on mains of `mainsHz`: the
 * light flickers at twice the mains frequency. 0 when mainsHz <= 0.
 */
double flickerPeriod(double mainsHz);

struct ExposureGain {
    microseconds_t exposure = 0;
    double gain = 1.0;
};

/** Whole flicker periods of the requested product, at most maxExposure; the rest as gain. */
ExposureGain flickerExposure(double period, double requested, microseconds_t maxExposure);

/** floor(target / gain + 0.5). */
microseconds_t exposureFixedGain(double target, double gain);

/** target / exposure. */
double gainFixedExposure(double target, double exposure);

/**
 * The exposure rounded down to a multiple of step (at least one step),
 * clamped to [min, max]; the gain grows by what the rounding took.
 */
ExposureGain adjustExposureStep(microseconds_t step, microseconds_t min, microseconds_t max, microseconds_t exposure,
                                double gain);

/** What the split of a product needs besides the product. */
struct SplitLimits {
    double frameDuration = 0.0;       ///< microseconds per frame
    double flickerPeriod = 0.0;       ///< microseconds, 0 without rejection
    microseconds_t maxAeExposure = 0; ///< the loop's own exposure cap
    microseconds_t maxExposure = 0;   ///< the exposure limit in force
    double targetGain = 1.0;          ///< gain above which a longer exposure is preferred
};

/**
 * Splits a product into exposure and gain without fixed values: whole
 * flicker periods when rejecting, at most one frame (a whole number of
 * periods), the gain up to the target gain, then a longer exposure up to
 * the cap, then more gain. A frame shorter than one flicker period keeps
 * the frame as the limit, and a cap shorter than one period keeps the cap.
 */
ExposureGain splitProduct(double product, const SplitLimits &limits);

}  // namespace exposure
}  // namespace VOVA

#endif  // VOVA_EXPOSUREMATH_H
