// One set of image settings of the light-based control, tied to the light
// level it belongs to; sets are blended field by field between two levels.
#ifndef VOVA_LIGHTCORRECTION_H
#define VOVA_LIGHTCORRECTION_H

namespace VOVA {

class LightCorrection {
public:
    double sharpness = 0.4;   ///< sharpening strength
    double saturation = 1.0;  ///< colour-plane converter saturation
    double brightness = 0.0;  ///< colour-plane converter brightness
    double contrast = 1.0;    ///< colour-plane converter contrast
    double lightLevel = 0.0;  ///< the light level this set belongs to

    LightCorrection operator+(const LightCorrection &other) const;
    LightCorrection operator*(double value) const;
    /** this x (1 - ratio) + other x ratio for a ratio in [0, 1]; otherwise an error and the default set. */
    LightCorrection blend(const LightCorrection &other, double blendRatio) const;
    bool operator<(const LightCorrection &other) const { return lightLevel < other.lightLevel; }
    bool operator>(const LightCorrection &other) const { return lightLevel > other.lightLevel; }
};

}  // namespace VOVA

#endif  // VOVA_LIGHTCORRECTION_H
