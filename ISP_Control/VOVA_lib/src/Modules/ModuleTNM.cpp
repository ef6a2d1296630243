// Tone mapper set-up. The luma ranges become scales and offsets around the
// hardware's mid-grey 128; the curve is adjusted on its way to the record so
// that the control's curve and the loaded one are treated alike.
#include "vova/ModuleTNM.h"

#include <algorithm>

namespace VOVA {

bool tnmLumaRanges(const double inY[2], const double outY[2], TNMLumaRanges &ranges)
{
    const double inWidth = inY[1] - inY[0] + 1.0;
    if (!(inWidth > 0.0))
        return false;
    ranges.inputLumaScale = 256.0 / inWidth;
    ranges.inputLumaOffset = inY[0] + 128.0;
    ranges.outputLumaScale = (outY[1] - outY[0] + 1.0) / 256.0;
    ranges.outputLumaOffset = outY[0];
    ranges.chromaIOScale = ranges.inputLumaScale * ranges.outputLumaScale;
    return true;
}

double tnmAdjustCurvePoint(double point, double contrast, double brightness)
{
    return std::clamp((point - 0.5) * contrast + 0.5 + brightness, 0.0, 1.0);
}

QOV_UINT16 tnmLocalColumns(QOV_UINT32 imageWidth)
{
    if (imageWidth >= TNM_FULL_COLUMNS_WIDTH)
        return TNM_MAX_COLUMNS;
    if (imageWidth < TNM_MIN_IMAGE_WIDTH)
        return 0;
    return static_cast<QOV_UINT16>(imageWidth / TNM_MIN_IMAGE_WIDTH);
}

}  // namespace VOVA
