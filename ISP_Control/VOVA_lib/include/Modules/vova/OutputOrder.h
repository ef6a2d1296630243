// What the colour modules read of the output formats: the output module of
// a pipeline, and the chroma order and channel order its formats ask for.
#ifndef VOVA_OUTPUTORDER_H
#define VOVA_OUTPUTORDER_H

#include "vezaracommon/pixel_format.h"

namespace VOVA {

class ModuleOUT;
class Pipeline;

/** The pipeline's output module; null, after "pipeline has no output module" (function "setup"), when none. */
const ModuleOUT *requireOutputModule(const Pipeline *pipeline, const char *tag);

/** A semi-planar encoder format that stores Cb before Cr (NV12, NV16 and their 10-bit forms). */
bool isCbFirstEncoder(pxlFormat format);
/** A display format that stores blue first (the 24 and 32-bit BGR formats). */
bool isBlueFirstDisplay(pxlFormat format);
/** A packed 4:4:4 display format that stores Cr before Cb. */
bool isCrFirstPackedYcc(pxlFormat format);

}  // namespace VOVA

#endif  // VOVA_OUTPUTORDER_H
