// Arithmetic on the light-based control's sets of image settings.
#include "vova/LightCorrection.h"

#include "vezaracommon/userlog.h"

namespace VOVA {

LightCorrection LightCorrection::operator+(const LightCorrection &o) const
{
    LightCorrection r;
    r.sharpness = sharpness + o.sharpness;
    r.saturation = saturation + o.saturation;
    r.brightness = brightness + o.brightness;
    r.contrast = contrast + o.contrast;
    r.lightLevel = lightLevel + o.lightLevel;
    return r;
}

LightCorrection LightCorrection::operator*(double v) const
{
    LightCorrection r;
    r.sharpness = sharpness * v;
    r.saturation = saturation * v;
    r.brightness = brightness * v;
    r.contrast = contrast * v;
    r.lightLevel = lightLevel * v;
    return r;
}

LightCorrection LightCorrection::blend(const LightCorrection &other, double blendRatio) const
{
    if (blendRatio < 0.0 || blendRatio > 1.0) {
        LOG_Error(__func__, __LINE__, "VOVA_LIGHTCORRECTION",
                  "Blend ratio value must be between 0.0 and 1.0 (received %f)\n", blendRatio);
        return LightCorrection();
    }
    return *this * (1.0 - blendRatio) + other * blendRatio;
}

}  // namespace VOVA
