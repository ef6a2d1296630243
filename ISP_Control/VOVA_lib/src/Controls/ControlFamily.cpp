// Helpers shared by the control loops.
#include "vova/ControlFamily.h"

#include "vezaracommon/userlog.h"
#include "vova/ModuleHIS.h"

namespace VOVA {

void enableGlobalHistogram(ModuleHIS &his)
{
    his.bEnableGlobal = true;
    his.ui32InputOffset = static_cast<QOV_UINT32>(ModuleHIS::HIS_INPUTOFF.def);
    his.ui32InputScale = static_cast<QOV_UINT32>(ModuleHIS::HIS_INPUTSCALE.def);
    his.requestUpdate();
}

QOV_RESULT requireGlobalHistogram(const ControlModule &loop, bool allowed, const GlobalHistogramTexts &texts)
{
    Pipeline *owner = loop.getPipelineOwner();
    if (!owner) {
        LOG_Error("configureStatistics", __LINE__, loop.getLoggingName(), "%s", texts.noOwner);
        return QOV_ERROR_NOT_INITIALISED;
    }
    ModuleHIS *his = static_cast<ModuleHIS *>(owner->getModule(STP_HIS));
    if (!his) {
        LOG_Error("configureStatistics", __LINE__, loop.getLoggingName(), "%s", texts.noModule);
        return QOV_ERROR_WRONG_STATE;
    }
    if (his->bEnableGlobal)
        return QOV_SUCCESS;
    if (allowed)
        enableGlobalHistogram(*his);
    else
        LOG_Warning("configureStatistics", __LINE__, texts.offTag, "%s", texts.offWarning);
    return QOV_SUCCESS;
}

}  // namespace VOVA
