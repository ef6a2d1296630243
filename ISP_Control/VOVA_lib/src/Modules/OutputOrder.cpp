// The output formats as the colour modules read them: chroma and channel
// order decide the swaps of the converters, the enhancer and the display
// gamut mapper.
#include "vova/OutputOrder.h"

#include "vezaracommon/userlog.h"
#include "vova/ModuleOUT.h"
#include "vova/Pipeline.h"

namespace VOVA {

const ModuleOUT *requireOutputModule(const Pipeline *pipeline, const char *tag)
{
    const ModuleOUT *out = pipeline ? pipeline->getOutputModule() : nullptr;
    if (!out)
        LOG_Error("setup", __LINE__, tag, "pipeline has no output module\n");
    return out;
}

bool isCbFirstEncoder(pxlFormat format)
{
    return format == YUV_420_PL12_8 || format == YUV_422_PL12_8 || format == YUV_420_PL12_10 ||
           format == YUV_422_PL12_10;
}

bool isBlueFirstDisplay(pxlFormat format)
{
    return format == BGR_888_24 || format == BGR_888_32 || format == BGR_101010_32;
}

bool isCrFirstPackedYcc(pxlFormat format)
{
    return format == PXL_ISP_444IL3YCrCb8 || format == PXL_ISP_444IL3YCrCb10;
}

}  // namespace VOVA
