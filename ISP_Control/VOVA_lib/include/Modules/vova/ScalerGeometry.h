// Geometry shared by the encoder and display scalers: how the rectangle
// keys are read, and the output size that a rectangle and a pitch give.
#ifndef VOVA_SCALERGEOMETRY_H
#define VOVA_SCALERGEOMETRY_H

#include "qov_types.h"
#include "vova/VOVADefs.h"

namespace VOVA {

inline constexpr double SCALER_MAX_PITCH = 16.0;

/** Output size of a rectangle over an image of width x height pixels. */
struct ScalerGeometry {
    bool known;            ///< false for a type other than the three
    bool reversed[2];      ///< a clip end before its start, or crop margins wider than the image
    bool outside[2];       ///< offset + pitch x output reaches past the image
    QOV_UINT32 size[2];    ///< output width and height, odd values lowered as asked
};

/**
 * The scaler output of rect (offset in values 0 and 1) at the pitches, its
 * sizes truncated from the quotients; an odd width is lowered by one, and an
 * odd height too when evenHeight. A reversed direction has size 0.
 */
ScalerGeometry scalerGeometry(ScalerRectType type, const QOV_UINT32 rect[4], const double pitch[2],
                              QOV_UINT32 width, QOV_UINT32 height, bool evenHeight);

}  // namespace VOVA

#endif  // VOVA_SCALERGEOMETRY_H
