// The shared shape of the control loops. A loop lists its setup keys once,
// as a table of the setup-module family's key bindings (vova/ModuleFamily.h)
// in the order it reads them; from that table FamilyControl generates
// load(), the four kinds of save() and the saved group, registered under the
// class name. The loop adds its statistics configuration, its per-shot
// update and its programming, and reaches modules through the two helpers
// below: the owner pipeline's module (statistics, read), and the same module
// of every pipeline of its list (corrections, written, then update
// requested; pipelines without the module are skipped).
//
// A loop derives from FamilyControl<ItsClass, ItsControlID> and gives:
//   static const char *className();            // "ControlAE"
//   static const char *groupHeader();          // "// Auto Exposure parameters"
//   static const KeyTable<ItsClass> &keys();   // bindings, in read order
// A loop whose saved group is not its key list (numbered families) defines
// its own static getGroup().
#ifndef VOVA_CONTROLFAMILY_H
#define VOVA_CONTROLFAMILY_H

#include <string>

#include "vova/Module.h"
#include "vova/ModuleFamily.h"
#include "vova/ParameterList.h"
#include "vova/Pipeline.h"

namespace VOVA {

class ModuleHIS;

template <class C, ControlID ID> class FamilyControl : public ControlModuleBase<ID> {
public:
    explicit FamilyControl(const std::string &name) : ControlModuleBase<ID>(name) {}

    /** Reads every key of the table in order; the first failing binding ends it. */
    QOV_RESULT load(const ParameterList &parameters) override
    {
        return family::loadTable(static_cast<C &>(*this), C::keys(), parameters);
    }

    /**
     * Registers the group (a second save into the same list keeps the first,
     * a group without keys is not registered) and writes the keys by kind.
     */
    QOV_RESULT save(ParameterList &parameters, ModuleBase::SaveType t) const override
    {
        static const ParameterGroup group = C::getGroup();
        parameters.addGroup(C::className(), group);
        family::saveTable(static_cast<const C &>(*this), C::keys(), parameters, t);
        return QOV_SUCCESS;
    }

    /** The header line and the key texts of the loop. */
    static ParameterGroup getGroup() { return family::groupOf(C::groupHeader(), C::keys()); }

protected:
    /** Module M of the owner pipeline; null without an owner or without the module. */
    template <class M> M *ownerModule() const
    {
        Pipeline *owner = this->getPipelineOwner();
        return owner ? static_cast<M *>(owner->getModule(M::id)) : nullptr;
    }

    /** Calls write(module) on module M of every pipeline of the list that has one, then requests its update. */
    template <class M, class F> void writeEachPipeline(F write) const
    {
        for (Pipeline *pipeline : this->pipelineList) {
            M *module = static_cast<M *>(pipeline->getModule(M::id));
            if (!module)
                continue;
            write(*module);
            module->requestUpdate();
        }
    }
};

/**
 * Switches on the global histogram of a histogram module with the input
 * offset and scale of its key defaults, and requests its update.
 */
void enableGlobalHistogram(ModuleHIS &his);

/** The messages of a loop that needs the global histogram of its owner. */
struct GlobalHistogramTexts {
    const char *noOwner;     ///< error: no owner pipeline
    const char *noModule;    ///< error: no histogram module in the owner
    const char *offTag;      ///< tag of the warning below
    const char *offWarning;  ///< warning: the histogram is off and the loop may not switch it on
};

/**
 * Capture-start set-up of a loop reading the global histogram: no owner
 * QOV_ERROR_NOT_INITIALISED, no histogram module QOV_ERROR_WRONG_STATE
 * (both logged with the loop's log name); a histogram already on is left
 * alone; otherwise it is switched on when `allowed`, else only the warning.
 */
QOV_RESULT requireGlobalHistogram(const ControlModule &loop, bool allowed, const GlobalHistogramTexts &texts);

}  // namespace VOVA

#endif  // VOVA_CONTROLFAMILY_H
