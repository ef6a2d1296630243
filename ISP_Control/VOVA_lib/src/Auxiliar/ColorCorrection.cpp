#include "vova/ColorCorrection.h"

namespace VOVA {

namespace {

void printRow(std::ostream &os, const char *label, const std::vector<double> &row)
{
    os << label;
    for (size_t i = 0; i < row.size(); i++)
        os << (i > 0 ? "\t" : "") << row[i];
    os << std::endl;
}

}  // namespace

ColorCorrection::ColorCorrection()
    : coefficients(3, 3), offsets(1, 3), gains(1, 4), temperature(6500.0), initialized(false)
{
    coefficients.identity();
    gains.ones();
}

ColorCorrection::ColorCorrection(const double *pCoeffs, const double *pOffsets, const double *pGains,
                                 double temp)
    : ColorCorrection()
{
    // A missing array keeps the default of that part.
    if (pCoeffs)
        coefficients = Matrix(3, 3, pCoeffs);
    if (pOffsets)
        offsets = Matrix(1, 3, pOffsets);
    if (pGains)
        gains = Matrix(1, 4, pGains);
    temperature = temp;
    initialized = true;
}

ColorCorrection ColorCorrection::operator+(ColorCorrection otherCorrection) const
{
    ColorCorrection result;
    result.coefficients = coefficients + otherCorrection.coefficients;
    result.offsets = offsets + otherCorrection.offsets;
    result.gains = gains + otherCorrection.gains;
    result.temperature = temperature + otherCorrection.temperature;
    result.initialized = true;
    return result;
}

ColorCorrection ColorCorrection::operator*(double value) const
{
    ColorCorrection result;
    result.coefficients = coefficients * value;
    result.offsets = offsets * value;
    result.gains = gains * value;
    result.temperature = temperature * value;
    result.initialized = true;
    return result;
}

ColorCorrection ColorCorrection::blend(const ColorCorrection &otherCorrection, double blending) const
{
    ColorCorrection result;
    result.coefficients = coefficients * (1.0 - blending) + otherCorrection.coefficients * blending;
    result.offsets = offsets * (1.0 - blending) + otherCorrection.offsets * blending;
    result.gains = gains * (1.0 - blending) + otherCorrection.gains * blending;
    result.temperature = (1.0 - blending) * temperature + blending * otherCorrection.temperature;
    result.initialized = true;
    return result;
}

void ColorCorrection::inv()
{
    coefficients = coefficients.inv();
    offsets = offsets * -1.0;
    for (double &g : gains[0])
        g = 1.0 / g;
}

std::ostream &operator<<(std::ostream &oStream, const ColorCorrection &correction)
{
    oStream << "Temp:   \t" << correction.temperature << std::endl;
    printRow(oStream, "Coeffs: \t", correction.coefficients[0]);
    printRow(oStream, "        \t", correction.coefficients[1]);
    printRow(oStream, "        \t", correction.coefficients[2]);
    printRow(oStream, "Offsets:\t", correction.offsets[0]);
    printRow(oStream, "Gains:  \t", correction.gains[0]);
    return oStream;
}

}  // namespace VOVA
