// HDR merge set-up: the sensor's HDR readout figures, black levels, the
// exposure ratio and its gain, luma coefficients, and the merge-weight and
// tone curves.
#ifndef VOVA_MODULEHDR_H
#define VOVA_MODULEHDR_H

#include "qov_types.h"

namespace VOVA {

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
