// Image enhancer set-up: black level and the three memory-colour slots
// (luma range and gains, chroma ellipse, output brightness, contrast,
// saturation and hue).
#ifndef VOVA_MODULEMIE_H
#define VOVA_MODULEMIE_H

namespace VOVA {

/** The rotation quantiser of the enhancer: ceil(127.5 x - 0.5) / 128. */
double mieQuantiseRotation(double x);

/**
 * Integer extent factors kb, kr of a colour and its four slice scales, by an
 * exhaustive search for k and j0..j3 with k js closest to 255 / sigma_s.
 */
void mieExtentParameters(double aspect, const double *extent, int &kb, int &kr, double *scale);

/** Luma window of a slot: its lowest normalised luma and the scale over its range. */
void mieLumaWindow(double blackLevel, double yMin, double yMax, double &minY, double &scaleY);

}  // namespace VOVA

#endif  // VOVA_MODULEMIE_H
