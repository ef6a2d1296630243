// HDR merge set-up. Each input value of the long exposure gets the weight of
// how well exposed it is against the matching short-exposure value; the tone
// curve compresses the merged range back into the output.
#include "vova/ModuleHDR.h"

#include <algorithm>
#include <cmath>

#include "mc/mc_structs.h"

namespace VOVA {

namespace {

// 0 at 0 and 1, 1 at 0.5, smooth in between; 0 outside [0, 1].
double hat(double v)
{
    const double m = std::min(v, 1.0 - v);
    if (m < 0.0)
        return 0.0;
    const double t = 2.0 * m;
    return t * t * (3.0 - 2.0 * t);
}

}  // namespace

void hdrMergeWeightCurve(QOV_UINT32 blackLevel1, double exposureRatio, double *curve, unsigned n)
{
    const double longRange = 4096.0 - blackLevel1;
    const double shortRange = 4096.0 * exposureRatio;
    for (unsigned i = 0; i < n; i++) {
        const double a = hat(i / longRange);
        const double b = hat(i / shortRange);
        curve[i] = a + b == 0.0 ? 1.0 : a / (a + b);
    }
}

double hdrToneCurveInput(unsigned i)
{
    const unsigned s = i / 256, j = i % 256;
    const double x = s == 0 ? j : std::ldexp(256.0 + j, static_cast<int>(s) - 1);
    return std::ldexp(x, -20);
}

void hdrToneCurve(double scale, double white, double *curve)
{
    for (unsigned i = 0; i < MC_HDR_TNM_POINTS; i++) {
        const double x = hdrToneCurveInput(i);
        // x = 0 is 0 for every white point; a white point of 0 makes every
        // other input infinite, which clamps to 1
        const double y = x == 0.0 ? 0.0 : x * (scale + x / (white * white)) / (1.0 + scale * x);
        curve[i] = std::clamp(y, 0.0, 1.0);
    }
}

}  // namespace VOVA
