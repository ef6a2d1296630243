// The tone-mapping loop's histogram-to-curve arithmetic on plain arrays.
#include "vova/ToneCurve.h"

#include <cmath>

namespace VOVA {
namespace tone {

namespace {
const double kKernel[7] = {0.05, 0.1, 0.2, 0.3, 0.2, 0.1, 0.05};

double sum(const double *v, int n)
{
    double s = 0.0;
    for (int i = 0; i < n; i++)
        s += v[i];
    return s;
}

void scale(double *v, int n, double factor)
{
    for (int i = 0; i < n; i++)
        v[i] *= factor;
}
}  // namespace

void smoothHistogram(const double in[HIST_BINS], double out[HIST_BINS])
{
    for (int i = 0; i < HIST_BINS; i++) {
        double v = 0.0;
        for (int k = -3; k <= 3; k++) {
            int j = i + k;
            j = j < 0 ? 0 : (j > HIST_BINS - 1 ? HIST_BINS - 1 : j);
            v += kKernel[k + 3] * in[j];
        }
        out[i] = v;
    }
}

void blendSmoothed(double h[HIST_BINS], double amount)
{
    double smoothed[HIST_BINS];
    smoothHistogram(h, smoothed);
    for (int i = 0; i < HIST_BINS; i++)
        h[i] = h[i] * (1.0 - amount) + smoothed[i] * amount;
}

void accumulate(const double h[HIST_BINS], double a[CURVE_POINTS])
{
    a[0] = 0.0;
    for (int k = 1; k < CURVE_POINTS; k++)
        a[k] = a[k - 1] + h[k - 1];
    a[CURVE_POINTS - 1] = 1.0;
}

void identityCurve(double m[CURVE_POINTS])
{
    for (int i = 0; i < CURVE_POINTS; i++)
        m[i] = i / 64.0;
}

bool updateCurve(double h[HIST_BINS], double minHist, double maxHist, double smoothing, double tempering,
                 double updateSpeed, double m[CURVE_POINTS])
{
    if (sum(h, HIST_BINS) == 0.0) {
        identityCurve(m);
        return false;
    }
    double peak = h[0];
    for (int i = 1; i < HIST_BINS; i++)
        peak = std::fmax(peak, h[i]);
    scale(h, HIST_BINS, 1.0 / peak);
    for (int i = 0; i < HIST_BINS; i++) {
        if (h[i] > maxHist)
            h[i] = maxHist;
        if (h[i] < minHist)
            h[i] = minHist;
    }
    blendSmoothed(h, smoothing);
    scale(h, HIST_BINS, 1.0 / sum(h, HIST_BINS));

    double peakedness = 0.0;
    for (int i = 0; i < HIST_BINS; i++)
        peakedness += h[i] * h[i];
    const double t = 100.0 * tempering * peakedness;
    const double exponent = t <= 1.0 ? 1.0 - t : 0.0;
    for (int i = 0; i < HIST_BINS; i++)
        h[i] = std::pow(h[i], exponent);
    scale(h, HIST_BINS, 1.0 / sum(h, HIST_BINS));

    double fresh[CURVE_POINTS];
    accumulate(h, fresh);
    for (int i = 0; i < CURVE_POINTS; i++)
        m[i] = m[i] * (1.0 - updateSpeed) + fresh[i] * updateSpeed;
    return true;
}

double adaptiveStrength(double maxGain, double gain)
{
    if (maxGain == 1.0)
        return 1.0;
    const double excess = gain < 1.0 ? 0.0 : gain - 1.0;
    return 1.0 - excess / (maxGain - 1.0);
}

void curvePoints(const double m[CURVE_POINTS], bool adaptive, double strength, double out[WRITTEN_POINTS])
{
    for (int i = 0; i < WRITTEN_POINTS; i++) {
        const double identity = (i + 1) / 64.0;
        out[i] = adaptive ? identity + strength * (m[i + 1] - identity) : m[i + 1];
    }
}

}  // namespace tone
}  // namespace VOVA
