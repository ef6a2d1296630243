// Bases of every setup module and control loop: a log name and the
// load/save/print protocol over a ParameterList (ModuleBase), the update
// request of a setup module (SetupModule), and the pipelines, owner, enable
// flag and update mode of a control loop (ControlModule). The class
// templates SetupModuleBase and ControlModuleBase fix each module's id.
#ifndef VOVA_MODULE_H
#define VOVA_MODULE_H

#include <list>
#include <ostream>
#include <string>

#include "qov_types.h"
#include "vova/ParameterList.h"
#include "vova/VOVADefs.h"

namespace VOVA {

class Pipeline;
class Sensor;
struct Metadata;

class ModuleBase {
public:
    /** What save writes for each key. */
    enum SaveType {
        SAVE_VAL = 0,  ///< the values in force
        SAVE_MIN = 1,  ///< the lower bound of each key
        SAVE_MAX = 2,  ///< the upper bound of each key
        SAVE_DEF = 3,  ///< the defaults with an info text naming type and range
    };

    explicit ModuleBase(const std::string &name) : logName(name) {}
    virtual ~ModuleBase() {}

    virtual QOV_RESULT load(const ParameterList &parameters) = 0;
    virtual QOV_RESULT save(ParameterList &parameters, SaveType t) const = 0;
    /** Saves the values in force. */
    virtual QOV_RESULT save(ParameterList &parameters) const { return save(parameters, SAVE_VAL); }
    /** Two blanks, the log name and ":" on one line. */
    virtual std::ostream &printState(std::ostream &os) const
    {
        os << "  " << logName << ":" << std::endl;
        return os;
    }

    const char *getLoggingName() const { return logName.c_str(); }

    /** "STP_IIF" to "STP_OUT"; "unkown-setupID" for any other value. */
    static const char *setupIDName(SetupID id);
    /** "CTRL_AWB" to "CTRL_AUX2"; "unkown-controlID" for any other value. */
    static const char *controlIDName(ControlID id);

protected:
    const std::string logName;
};

inline std::ostream &operator<<(std::ostream &os, const ModuleBase &module) { return module.printState(os); }

/**
 * Base of the setup modules. A module writes its record of the pipeline's
 * MC_PIPELINE in setup(); whoever changes its public fields calls
 * requestUpdate(), and the pipeline sets it up again before the next shot.
 */
class SetupModule : public ModuleBase {
public:
    explicit SetupModule(const std::string &name) : ModuleBase(name) {}

    virtual SetupID getModuleID() const = 0;
    /** Clears both the set-up flag and the update request. */
    virtual void clearFlags()
    {
        setupFlag = false;
        updateRequested = false;
    }
    virtual QOV_RESULT setup() = 0;

    /** Marks the module for set-up before the next shot is enqueued. */
    void requestUpdate() { updateRequested = true; }
    bool isSetup() const { return setupFlag; }
    bool isUpdateRequested() const { return updateRequested; }

    Pipeline *getPipeline() { return pipeline; }
    const Pipeline *getPipeline() const { return pipeline; }
    void setPipeline(Pipeline *p) { pipeline = p; }
    modulePriority getPriority() const { return priority; }
    void setPriority(modulePriority p) { priority = p; }

protected:
    Pipeline *pipeline = nullptr;  ///< the registering pipeline (not owned)
    modulePriority priority = NORMAL;
    moduleUpdate updateBasis = REQUEST;
    bool setupFlag = false;        ///< set by setup() once the record is written
    bool updateRequested = false;  ///< set by requestUpdate()
};

/** Fixes a setup module's id. */
template <SetupID ID> class SetupModuleBase : public SetupModule {
public:
    static constexpr SetupID id = ID;
    explicit SetupModuleBase(const std::string &name) : SetupModule(name) {}
    SetupID getModuleID() const override { return id; }
};

/**
 * Base of the control loops: the pipelines the loop writes to (not owned),
 * the owner among them (whose sensor the loop drives), the enable flag and
 * the update mode.
 */
class ControlModule : public ModuleBase {
public:
    typedef std::list<Pipeline *> PipelineList;

    explicit ControlModule(const std::string &name) : ModuleBase(name), pipelineOwner(pipelineList.end()) {}
    ControlModule(const ControlModule &) = delete;
    ControlModule &operator=(const ControlModule &) = delete;

    virtual QOV_RESULT programCorrection() = 0;
    /** Null clears the owner; a pipeline not in the list is refused. */
    virtual QOV_RESULT setPipelineOwner(Pipeline *pipeline);
    virtual Pipeline *getPipelineOwner() const;
    virtual void enableControl(bool enable) { enabled = enable; }
    virtual bool isEnabled() const { return enabled; }
    virtual QOV_RESULT update(const Metadata &metadata) = 0;
    virtual QOV_RESULT configureStatistics() = 0;
    virtual QOV_RESULT setUpdateType(CtrlUpdateMode mode)
    {
        updateMode = mode;
        return QOV_SUCCESS;
    }
    virtual CtrlUpdateMode getUpdateType() const { return updateMode; }
    virtual bool hasConverged() const = 0;
    /** Called once by the control registry after the owner is set. */
    virtual void init() {}
    virtual ControlID getModuleID() const = 0;

    std::ostream &printState(std::ostream &os) const override;

    PipelineList::iterator findPipeline(const Pipeline *pipeline);
    PipelineList::const_iterator findPipeline(const Pipeline *pipeline) const;
    bool hasPipeline(const Pipeline *pipeline) const;
    QOV_RESULT addPipeline(Pipeline *pipeline);
    QOV_RESULT removePipeline(Pipeline *pipeline);
    void clearPipelines();
    const PipelineList &getPipelines() const { return pipelineList; }
    /** The owner pipeline's sensor; null without an owner. */
    Sensor *getSensor() const;

protected:
    PipelineList pipelineList;
    PipelineList::iterator pipelineOwner;  ///< end() when there is no owner
    bool enabled = true;
    CtrlUpdateMode updateMode = UPDATE_SHOT;
};

/** Fixes a control loop's id. */
template <ControlID ID> class ControlModuleBase : public ControlModule {
public:
    static constexpr ControlID id = ID;
    explicit ControlModuleBase(const std::string &name) : ControlModule(name) {}
    ControlID getModuleID() const override { return id; }
};

}  // namespace VOVA

#endif  // VOVA_MODULE_H
