// Helpers shared by the control loops.
#include "vova/ControlFamily.h"

#include "vova/ModuleHIS.h"

namespace VOVA {

void enableGlobalHistogram(ModuleHIS &his)
{
    his.bEnableGlobal = true;
    his.ui32InputOffset = static_cast<QOV_UINT32>(ModuleHIS::HIS_INPUTOFF.def);
    his.ui32InputScale = static_cast<QOV_UINT32>(ModuleHIS::HIS_INPUTSCALE.def);
    his.requestUpdate();
}

}  // namespace VOVA
