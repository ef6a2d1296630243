// The control loops of one camera, keyed and run in ControlID order. The
// registry owns the loops; collective operations try every loop and report
// QOV_ERROR_FAILURE when any failed.
#ifndef VOVA_CONTROL_H
#define VOVA_CONTROL_H

#include <map>
#include <ostream>

#include "qov_types.h"
#include "vova/Module.h"
#include "vova/ParameterList.h"

namespace VOVA {

class Pipeline;
struct Metadata;

class Control {
public:
    typedef std::map<ControlID, ControlModule *> ControlRegistry;

    Control() = default;
    virtual ~Control();
    Control(const Control &) = delete;
    Control &operator=(const Control &) = delete;

    /**
     * Takes ownership, adds the pipeline to the loop, makes it the owner and
     * calls init(). Another loop under the same id is deleted; the same
     * object registered again stays in place.
     */
    QOV_RESULT registerControlModule(ControlModule *module, Pipeline *pipeline);
    ControlModule *getControlModule(ControlID id) const;

    QOV_RESULT runControlModule(ControlID id, const Metadata &metadata);
    QOV_RESULT runControlModules(const Metadata &metadata);
    QOV_RESULT runControlModules(CtrlUpdateMode mode, const Metadata &metadata);
    QOV_RESULT loadAll(const ParameterList &parameters);
    QOV_RESULT loadControlModule(ControlID id, const ParameterList &parameters);
    QOV_RESULT saveAll(ParameterList &parameters, ModuleBase::SaveType t) const;
    QOV_RESULT saveControlModule(ControlID id, ParameterList &parameters, ModuleBase::SaveType t) const;
    QOV_RESULT configureStatistics();
    QOV_RESULT addPipelineToAll(Pipeline *pipeline);
    QOV_RESULT setPipelineOwnerToAll(Pipeline *pipeline);
    std::ostream &printAllState(std::ostream &os) const;
    void clearModules();

private:
    ControlRegistry controlRegistry;
};

}  // namespace VOVA

#endif  // VOVA_CONTROL_H
