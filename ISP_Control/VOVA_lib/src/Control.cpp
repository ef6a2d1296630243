// The control registry: loops by id, collective operations in id order.
#include "vova/Control.h"

#include "vezaracommon/userlog.h"
#include "vova/Shot.h"

#define LOG_TAG "VOVA_CTRL"

namespace VOVA {

Control::~Control() { clearModules(); }

void Control::clearModules()
{
    for (auto &entry : controlRegistry)
        delete entry.second;
    controlRegistry.clear();
}

QOV_RESULT Control::registerControlModule(ControlModule *module, Pipeline *pipeline)
{
    if (!module) {
        LOG_ERROR("NULL module provided");
        return QOV_ERROR_FAILURE;
    }
    const ControlID id = module->getModuleID();
    auto it = controlRegistry.find(id);
    if (it != controlRegistry.end()) {
        if (it->second == module)
            return QOV_SUCCESS;  // already held: nothing to replace
        LOG_WARNING("Module with id = %d was previously registered\n", id);
        delete it->second;
    }
    module->addPipeline(pipeline);
    module->setPipelineOwner(pipeline);
    module->init();
    controlRegistry[id] = module;
    return QOV_SUCCESS;
}

ControlModule *Control::getControlModule(ControlID id) const
{
    auto it = controlRegistry.find(id);
    return it == controlRegistry.end() ? nullptr : it->second;
}

QOV_RESULT Control::runControlModule(ControlID id, const Metadata &metadata)
{
    ControlModule *module = getControlModule(id);
    if (!module) {
        LOG_ERROR("Module with id %d not found.\n", id);
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    return module->update(metadata);
}

QOV_RESULT Control::runControlModules(const Metadata &metadata)
{
    bool failed = false;
    for (auto &entry : controlRegistry) {
        if (!entry.second->isEnabled())
            continue;
        if (entry.second->update(metadata) != QOV_SUCCESS) {
            LOG_ERROR("Error while updating module with id %d\n", entry.first);
            failed = true;
        }
    }
    return failed ? QOV_ERROR_FAILURE : QOV_SUCCESS;
}

QOV_RESULT Control::runControlModules(CtrlUpdateMode mode, const Metadata &metadata)
{
    bool failed = false;
    for (auto &entry : controlRegistry) {
        if (!entry.second->isEnabled() || entry.second->getUpdateType() != mode)
            continue;
        if (entry.second->update(metadata) != QOV_SUCCESS) {
            LOG_ERROR("Failed to update module with id %d\n", entry.first);
            failed = true;
        }
    }
    return failed ? QOV_ERROR_FAILURE : QOV_SUCCESS;
}

QOV_RESULT Control::loadAll(const ParameterList &parameters)
{
    bool failed = false;
    for (auto &entry : controlRegistry) {
        if (entry.second->load(parameters) != QOV_SUCCESS) {
            LOG_ERROR("Failed to load module with id %d\n", entry.first);
            failed = true;
        }
    }
    return failed ? QOV_ERROR_FAILURE : QOV_SUCCESS;
}

QOV_RESULT Control::loadControlModule(ControlID id, const ParameterList &parameters)
{
    ControlModule *module = getControlModule(id);
    if (!module) {
        LOG_ERROR("Module with id %d not found.\n", id);
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    return module->load(parameters);
}

QOV_RESULT Control::saveAll(ParameterList &parameters, ModuleBase::SaveType t) const
{
    bool failed = false;
    for (const auto &entry : controlRegistry) {
        if (entry.second->save(parameters, t) != QOV_SUCCESS) {
            LOG_ERROR("Failed to save module with id %d\n", entry.first);
            failed = true;
        }
    }
    return failed ? QOV_ERROR_FAILURE : QOV_SUCCESS;
}

QOV_RESULT Control::saveControlModule(ControlID id, ParameterList &parameters, ModuleBase::SaveType t) const
{
    ControlModule *module = getControlModule(id);
    if (!module) {
        LOG_ERROR("Module with id %d not found.\n", id);
        return QOV_ERROR_FAILURE;
    }
    return module->save(parameters, t);
}

QOV_RESULT Control::configureStatistics()
{
    bool failed = false;
    for (auto &entry : controlRegistry) {
        if (entry.second->configureStatistics() != QOV_SUCCESS) {
            LOG_ERROR("Failed to configure the statistics for module withid %d\n", entry.first);
            failed = true;
        }
    }
    return failed ? QOV_ERROR_FAILURE : QOV_SUCCESS;
}

QOV_RESULT Control::addPipelineToAll(Pipeline *pipeline)
{
    int failures = 0;
    for (auto &entry : controlRegistry)
        if (entry.second->addPipeline(pipeline) != QOV_SUCCESS)
            failures++;
    if (failures) {
        LOG_ERROR("Failed to add pipeline to %d modules\n", failures);
        return QOV_ERROR_FAILURE;
    }
    return QOV_SUCCESS;
}

QOV_RESULT Control::setPipelineOwnerToAll(Pipeline *pipeline)
{
    int failures = 0;
    for (auto &entry : controlRegistry)
        if (entry.second->setPipelineOwner(pipeline) != QOV_SUCCESS)
            failures++;
    if (failures) {
        LOG_ERROR("Failed to set pipeline owner to %d modules\n", failures);
        return QOV_ERROR_FAILURE;
    }
    return QOV_SUCCESS;
}

std::ostream &Control::printAllState(std::ostream &os) const
{
    os << "Controls:" << std::endl;
    for (const auto &entry : controlRegistry) {
        entry.second->printState(os);
        os << std::endl;
    }
    return os;
}

}  // namespace VOVA
