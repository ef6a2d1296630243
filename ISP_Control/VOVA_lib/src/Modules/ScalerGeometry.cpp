// Scaler geometry: the input extent of each direction by rectangle type,
// the output it gives at the pitch, and whether the input the scaler then
// reads stays inside the image.
#include "vova/ScalerGeometry.h"

#include <cmath>

namespace VOVA {

ScalerGeometry scalerGeometry(ScalerRectType type, const QOV_UINT32 rect[4], const double pitch[2],
                              QOV_UINT32 width, QOV_UINT32 height, bool evenHeight)
{
    ScalerGeometry g{};
    g.known = type == SCALER_RECT_CLIP || type == SCALER_RECT_CROP || type == SCALER_RECT_SIZE;
    if (!g.known)
        return g;

    const QOV_UINT64 image[2] = {width, height};
    for (int d = 0; d < 2; d++) {
        const QOV_UINT64 start = rect[d], end = rect[d + 2];
        double out = 0.0;
        switch (type) {
        case SCALER_RECT_CLIP:
            g.reversed[d] = end < start;
            if (!g.reversed[d])
                out = std::trunc(static_cast<double>(end - start) / pitch[d]);
            break;
        case SCALER_RECT_CROP:
            g.reversed[d] = start + end > image[d];
            if (!g.reversed[d])
                out = std::trunc(static_cast<double>(image[d] - (start + end)) / pitch[d]);
            break;
        default:
            out = static_cast<double>(end);
            break;
        }
        // the hardware field is 16 bits wide
        QOV_UINT32 size = out >= 65535.0 ? 65535u : (out > 0.0 ? static_cast<QOV_UINT32>(out) : 0u);
        if ((d == 0 || evenHeight) && size % 2)
            size--;
        g.size[d] = size;
        const double reach = static_cast<double>(start) + pitch[d] * size;
        g.outside[d] = !g.reversed[d] && reach > static_cast<double>(image[d]) * (1.0 + 1e-12);
    }
    return g;
}

}  // namespace VOVA
