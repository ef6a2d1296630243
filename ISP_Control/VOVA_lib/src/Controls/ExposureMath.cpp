// The arithmetic of the auto-exposure loop on plain numbers.
#include "vova/ExposureMath.h"

#include <cmath>

namespace VOVA {
namespace exposure {

const Grid7x7 BACKLIGHT_MASK = {
    {0, 0, 0, 0, 0, 0, 0},
    {0, 0, 0, 0.5, 0, 0, 0},
    {0, 0, 0.5, 1, 0.5, 0, 0},
    {0, 0.25, 1, 1, 1, 0.25, 0},
    {0, 0.5, 1, 1, 1, 0.5, 0},
    {0, 0.75, 1, 1, 1, 0.75, 0},
    {0.25, 1, 1, 1, 1, 1, 0.25},
};

void normalizeHistogram(const QOV_UINT32 *source, double *destination, int nBins)
{
    if (nBins <= 0)
        return;
    double total = 0.0;
    for (int i = 0; i < nBins; i++)
        total += source[i];
    for (int i = 0; i < nBins; i++)
        destination[i] = total == 0.0 ? 0.0 : source[i] / total;
}

HistogramMeasures histogramMeasures(const double *histogram, int nBins)
{
    HistogramMeasures m;
    for (int i = 0; i < nBins; i++) {
        const double h = histogram[i];
        const double x = nBins > 1 ? i * (63.0 / (nBins - 1)) / 63.0 : 0.0;
        m.avgValue += h * x;
        m.overExposure += std::pow(x, 3.0) * h;
        m.underExposure += std::pow(1.0 - x, 3.0) * h;
    }
    m.avgValue -= 0.5;
    return m;
}

void backLightMeasure(const Grid7x7 &grid, double &foregroundAvg, double &backgroundAvg)
{
    double maskSum = 0.0, foreground = 0.0, background = 0.0;
    for (int r = 0; r < 7; r++)
        for (int c = 0; c < 7; c++) {
            const double m = BACKLIGHT_MASK[r][c];
            maskSum += m;
            foreground += m * grid[r][c];
            background += (1.0 - m) * grid[r][c];
        }
    foregroundAvg = foreground / maskSum;
    backgroundAvg = background / (49.0 - maskSum);
}

double nextBacklightLevel(double level, double foregroundAvg, double backgroundAvg)
{
    const double d = std::fabs(foregroundAvg - backgroundAvg);
    level += d > 0.5 ? 0.025 : -0.025;
    return level < 0.0 ? 0.0 : (level > 1.0 ? 1.0 : level);
}

double combineMetering(double blendedRatio, double maxOver, double maxUnder, double blcLevel, double foregroundAvg)
{
    const double base = 0.8 * blendedRatio + 0.2 * (maxOver - maxUnder);
    return base + 0.75 * blcLevel * (foregroundAvg - base);
}

double nextProduct(double metering, double target, double prev, double updateSpeed)
{
    const double e = target - metering;
    if (e == 0.0)
        return prev;
    double sign, magnitude;
    if (e < -1.0) {
        sign = -1.0;
        magnitude = 1.0;
    } else if (e >= 1.0) {
        sign = 1.0;
        magnitude = 1.0;
    } else {
        sign = e / std::fabs(e);
        magnitude = std::fabs(e);
    }
    return prev * (1.0 + updateSpeed * sign * std::pow(magnitude, 1.25));
}

microseconds_t toMicroseconds(double us)
{
    if (!(us > 0.0))
        return 0;
    if (us >= 4294967295.0)
        return 4294967295u;
    return static_cast<microseconds_t>(us);
}

double flickerPeriod(double mainsHz) { return mainsHz > 0.0 ? 1000000.0 / (2.0 * mainsHz) : 0.0; }

ExposureGain flickerExposure(double period, double requested, microseconds_t maxExposure)
{
    const double n = std::trunc(requested / period);
    const double e = std::fmin(n * period, static_cast<double>(maxExposure));
    ExposureGain r;
    r.exposure = toMicroseconds(e);
    r.gain = requested / e;
    return r;
}

microseconds_t exposureFixedGain(double target, double gain) { return toMicroseconds(std::floor(target / gain + 0.5)); }

double gainFixedExposure(double target, double exposure) { return target / exposure; }

ExposureGain adjustExposureStep(microseconds_t step, microseconds_t min, microseconds_t max, microseconds_t exposure,
                                double gain)
{
    microseconds_t e = step == 0 ? 0 : (exposure / step) * step;
    if (e < step)
        e = step;
    e = clampBetween(e, min, max);
    ExposureGain r;
    r.exposure = e;
    r.gain = e == 0 ? gain : gain * exposure / e;
    return r;
}

ExposureGain splitProduct(double product, const SplitLimits &limits)
{
    const double p = limits.flickerPeriod;
    const bool rejecting = p > 0.0;
    microseconds_t frameLimit = toMicroseconds(limits.frameDuration);
    microseconds_t cap = limits.maxAeExposure;
    if (rejecting) {
        // A frame (or cap) shorter than one period holds no whole period:
        // keep the frame (or cap) itself rather than a limit of 0.
        const microseconds_t wholeFrame = toMicroseconds(std::floor(limits.frameDuration / p) * p);
        const microseconds_t wholeCap = toMicroseconds(std::floor(limits.maxAeExposure / p) * p);
        if (wholeFrame > 0)
            frameLimit = wholeFrame;
        if (wholeCap > 0)
            cap = wholeCap;
    }
    // Whole periods of the exposure limit too, so that a limit that is no
    // multiple of the period does not bring the bands back.
    microseconds_t maxExposure = limits.maxExposure;
    if (rejecting) {
        const microseconds_t wholeMax = toMicroseconds(std::floor(limits.maxExposure / p) * p);
        if (wholeMax > 0)
            maxExposure = wholeMax;
    }
    if (frameLimit == 0)
        frameLimit = 1;
    if (cap == 0)
        cap = 1;

    ExposureGain r;
    if (rejecting && product >= p) {
        r = flickerExposure(p, product, maxExposure);
    } else {
        r.exposure = toMicroseconds(std::floor(product + 0.5));
        r.gain = 1.0;
    }
    if (r.exposure > frameLimit) {
        r.exposure = frameLimit;
        r.gain = product / frameLimit;
        if (r.gain > limits.targetGain) {
            if (rejecting) {
                const double x = product / limits.targetGain;
                const double y = x + p;
                const double ratio = y / toMicroseconds(x);
                const ExposureGain longer = flickerExposure(p, y, maxExposure);
                r.exposure = longer.exposure;
                r.gain = limits.targetGain / ratio * longer.gain;
            } else {
                r.gain = limits.targetGain;
                r.exposure = exposureFixedGain(product, limits.targetGain);
            }
            if (r.exposure > cap) {
                r.exposure = cap;
                r.gain = product / cap;
            }
        }
    }
    return r;
}

}  // namespace exposure
}  // namespace VOVA
