// Image enhancer set-up. Each memory colour is an ellipse in the chroma
// plane over a luma window; the ellipse's spreads become integer factors
// that the hardware multiplies, found by a small exhaustive search.
#include "vova/ModuleMIE.h"

#include <algorithm>
#include <cmath>

namespace VOVA {

double mieQuantiseRotation(double x) { return std::ceil(127.5 * x - 0.5) / 128.0; }

void mieExtentParameters(double aspect, const double *extent, int &kb, int &kr, double *scale)
{
    double sigmaB[4], sigmaR[4];
    double smallest = 510.0;
    for (int s = 0; s < 4; s++) {
        sigmaB[s] = extent[s] * std::sqrt(std::pow(2.0, aspect));
        sigmaR[s] = extent[s] * std::sqrt(std::pow(2.0, -aspect));
        smallest = std::min({smallest, sigmaB[s], sigmaR[s]});
    }
    const double floorSigma = 1.0 / 255.0;
    if (smallest < floorSigma) {
        const double lift = floorSigma / smallest;
        for (int s = 0; s < 4; s++) {
            sigmaB[s] *= lift;
            sigmaR[s] *= lift;
        }
    }
    const double *sigma = aspect >= 0 ? sigmaB : sigmaR;
    const int K = static_cast<int>(std::trunc(std::pow(2.0, aspect >= 0 ? -aspect : aspect) * 256.0)) - 1;

    double best = 50000.0;
    int bestK = 0, bestJ[4] = {0, 0, 0, 0};
    for (int k = 0; k < K; k++) {
        int j[4];
        double total = 0.0;
        for (int s = 0; s < 4; s++) {
            const double t = 255.0 / sigma[s];
            double error = std::fabs(t);
            j[s] = 0;
            for (int c = 1; c <= 254; c++) {
                const double e = std::fabs(c * k - t);
                if (e < error) {
                    error = e;
                    j[s] = c;
                }
            }
            total += error;
        }
        if (k == 0 || total < best) {
            best = total;
            bestK = k;
            std::copy(j, j + 4, bestJ);
        }
    }
    for (int s = 0; s < 4; s++)
        scale[s] = bestJ[s];
    if (aspect >= 0) {
        kb = bestK;
        kr = static_cast<int>(std::floor(std::pow(2.0, aspect) * bestK));
    } else {
        kr = bestK;
        kb = static_cast<int>(std::floor(std::pow(2.0, -aspect) * bestK));
    }
}

void mieLumaWindow(double blackLevel, double yMin, double yMax, double &minY, double &scaleY)
{
    const double lo = 0.25 + 0.5 * (blackLevel + yMin);
    const double hi = 0.25 + 0.5 * yMax;
    minY = lo;
    scaleY = lo < hi ? (1.0 - lo) / (hi - lo) : 16.0;
}

}  // namespace VOVA
