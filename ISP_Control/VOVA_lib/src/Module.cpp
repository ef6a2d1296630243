// Identifier names and the pipeline bookkeeping of control loops.
#include "vova/Module.h"

#include "vova/Pipeline.h"

namespace VOVA {

const char *ModuleBase::setupIDName(SetupID id)
{
    static const char *const names[] = {
        "STP_IIF", "STP_EXS", "STP_BLC", "STP_RLT", "STP_LSH", "STP_WBC", "STP_FOS", "STP_DNS",
        "STP_DPF", "STP_ENS", "STP_LCA", "STP_CCM", "STP_MGM", "STP_GMA", "STP_WBS", "STP_AWS",
        "STP_HIS", "STP_R2Y", "STP_MIE", "STP_VIB", "STP_TNM", "STP_FLD", "STP_SHA", "STP_ESC",
        "STP_DSC", "STP_Y2R", "STP_DGM", "STP_HDR", "STP_OUT",
    };
    const int i = static_cast<int>(id);
    if (i < 0 || i >= static_cast<int>(sizeof(names) / sizeof(names[0])))
        return "unkown-setupID";
    return names[i];
}

const char *ModuleBase::controlIDName(ControlID id)
{
    static const char *const names[] = {
        "CTRL_AWB", "CTRL_AE", "CTRL_AF", "CTRL_TNM", "CTRL_DNS", "CTRL_LBC", "CTRL_LSH", "CTRL_AUX1", "CTRL_AUX2",
    };
    const int i = static_cast<int>(id);
    if (i < 0 || i >= static_cast<int>(sizeof(names) / sizeof(names[0])))
        return "unkown-controlID";
    return names[i];
}

ControlModule::PipelineList::iterator ControlModule::findPipeline(const Pipeline *pipeline)
{
    for (auto it = pipelineList.begin(); it != pipelineList.end(); ++it)
        if (*it == pipeline)
            return it;
    return pipelineList.end();
}

ControlModule::PipelineList::const_iterator ControlModule::findPipeline(const Pipeline *pipeline) const
{
    for (auto it = pipelineList.begin(); it != pipelineList.end(); ++it)
        if (*it == pipeline)
            return it;
    return pipelineList.end();
}

bool ControlModule::hasPipeline(const Pipeline *pipeline) const { return findPipeline(pipeline) != pipelineList.end(); }

QOV_RESULT ControlModule::addPipeline(Pipeline *pipeline)
{
    if (!pipeline)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (hasPipeline(pipeline))
        return QOV_ERROR_ALREADY_EXISTS;
    pipelineList.push_back(pipeline);
    return QOV_SUCCESS;
}

QOV_RESULT ControlModule::removePipeline(Pipeline *pipeline)
{
    auto it = findPipeline(pipeline);
    if (it == pipelineList.end())
        return QOV_ERROR_NOT_INITIALISED;
    if (it == pipelineOwner)
        return QOV_ERROR_NOT_SUPPORTED;
    pipelineList.erase(it);
    return QOV_SUCCESS;
}

void ControlModule::clearPipelines()
{
    pipelineList.clear();
    pipelineOwner = pipelineList.end();
}

QOV_RESULT ControlModule::setPipelineOwner(Pipeline *pipeline)
{
    if (!pipeline) {
        pipelineOwner = pipelineList.end();
        return QOV_SUCCESS;
    }
    auto it = findPipeline(pipeline);
    if (it == pipelineList.end())
        return QOV_ERROR_INVALID_ARGUMENT;
    pipelineOwner = it;
    return QOV_SUCCESS;
}

Pipeline *ControlModule::getPipelineOwner() const
{
    return pipelineOwner == pipelineList.end() ? nullptr : *pipelineOwner;
}

Sensor *ControlModule::getSensor() const
{
    Pipeline *owner = getPipelineOwner();
    return owner ? owner->getSensor() : nullptr;
}

std::ostream &ControlModule::printState(std::ostream &os) const
{
    ModuleBase::printState(os);
    os << "    config:" << std::endl;
    os << "      enabled = " << (enabled ? 1 : 0) << std::endl;
    return os;
}

}  // namespace VOVA
