// One calibrated colour correction: colour matrix, output offsets and
// white-balance gains that belong together at one colour temperature.
#ifndef VOVA_COLORCORRECTION_H
#define VOVA_COLORCORRECTION_H

#include <ostream>

#include "vova/Matrix.h"

namespace VOVA {

class ColorCorrection {
public:
    /** Identity matrix, zero offsets, unit gains, 6500 K, not initialised. */
    ColorCorrection();
    /** 9 coefficients row by row, 3 offsets, 4 gains (R, G1, G2, B); initialised. */
    ColorCorrection(const double *pCoeffs, const double *pOffsets, const double *pGains, double temperature);

    /** Element-wise sums; the temperatures add up too. */
    ColorCorrection operator+(ColorCorrection otherCorrection) const;
    /** Every matrix and the temperature scaled. */
    ColorCorrection operator*(double value) const;
    /** this x (1 - blending) + other x blending; no range limit, so weights outside 0..1 extrapolate. */
    ColorCorrection blend(const ColorCorrection &otherCorrection, double blending) const;
    /** In place: matrix to its cofactors over the determinant, offsets negated, gains inverted. */
    void inv();

    /** Compare the temperatures only. */
    bool operator<(const ColorCorrection &other) const { return temperature < other.temperature; }
    bool operator>(const ColorCorrection &other) const { return temperature > other.temperature; }

    Matrix coefficients;  ///< 3 x 3
    Matrix offsets;       ///< 1 x 3
    Matrix gains;         ///< 1 x 4: R, G1, G2, B
    double temperature;   ///< kelvin
    bool initialized;
};

/** Six lines: temperature, the three matrix rows, offsets and gains, tab-separated. */
std::ostream &operator<<(std::ostream &oStream, const ColorCorrection &correction);

}  // namespace VOVA

#endif  // VOVA_COLORCORRECTION_H
