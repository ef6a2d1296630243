// Tone mapper set-up: luma ranges, histogram flattening, chroma scales,
// local weights and columns, and the global curve with its contrast and
// brightness adjustment.
#ifndef VOVA_MODULETNM_H
#define VOVA_MODULETNM_H

#include "qov_types.h"

namespace VOVA {

/** Input and output luma mapping of the tone mapper. */
struct TNMLumaRanges {
    double inputLumaScale;
    double inputLumaOffset;
    double outputLumaScale;
    double outputLumaOffset;
    double chromaIOScale;
};

/**
 * The luma mapping of the input range [inY[0], inY[1]] onto the output range
 * [outY[0], outY[1]], both inclusive in 1/256 steps. False, with ranges
 * untouched, when the input range holds no value (high below low).
 */
bool tnmLumaRanges(const double inY[2], const double outY[2], TNMLumaRanges &ranges);

/** A curve point after the contrast (pivot 0.5) and the brightness, in [0, 1]. */
double tnmAdjustCurvePoint(double point, double contrast, double brightness);

/** Narrowest image, in pixels, that the local tone mapping works on. */
inline constexpr QOV_UINT32 TNM_MIN_IMAGE_WIDTH = 40;
/** Image width from which the full number of local columns is used. */
inline constexpr QOV_UINT32 TNM_FULL_COLUMNS_WIDTH = 640;
inline constexpr QOV_UINT16 TNM_MAX_COLUMNS = 16;

/** Local columns for an image width in pixels; 0 when the image is too narrow. */
QOV_UINT16 tnmLocalColumns(QOV_UINT32 imageWidth);

}  // namespace VOVA

#endif  // VOVA_MODULETNM_H
