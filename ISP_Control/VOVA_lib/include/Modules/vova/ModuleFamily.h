// The shared shape of the setup modules: a module is mostly data.
//
// Each module lists its setup keys once, as a table of key bindings in the
// order it reads them. From that one table the family generates:
//   - load(): every key read by the core's reading rules (absent or
//     unparsable text gives the default, numbers are clamped to the range,
//     array element i defaults to default i modulo n);
//   - save() in its four kinds: SAVE_VAL the fields, SAVE_MIN and SAVE_MAX
//     the bounds ("0"/"1" for booleans, the default for strings), SAVE_DEF
//     the defaults with their info text; any other kind registers the group
//     only;
//   - the saved group: the module's header line and the key texts,
//     registered under the class name;
//   - setup(): the common prologue (timing hook, no pipeline -> "pipeline
//     not set!", no MC_PIPELINE -> "pMCPipeline not set!", both
//     QOV_ERROR_WRONG_STATE) and epilogue (setupFlag and the record's
//     updateNeeded set, timing hook) around the module's own writeRecord().
//
// A new module derives from FamilyModule<ItsClass, ItsSetupID> and gives:
//   static const char *className();          // "ModuleBLC"
//   static const char *groupHeader();        // "// Black Level Correction parameters"
//   static const KeyTable<ItsClass> &keys(); // the bindings, in read order
//   QOV_RESULT writeRecord(MC_PIPELINE &mc); // fields -> its record
//   QOV_BOOL8 *recordFlag(MC_PIPELINE &mc);  // its record's updateNeeded (null: none)
// and its constructor calls load(ParameterList()) to start from the defaults.
//
// Bindings:
//   number(def, &M::field [, delta])  one number; the field holds value + delta
//   array(def, &M::field [, delta])   a ParamDefArray into a fixed-size array
//   flag(def, &M::field)              a boolean
//   text(def, &M::field)              a string
//   custom(name, load, save)          anything irregular (a name table, a
//                                     default that depends on the sensor...)
// Field types may differ from the key type (an int key into a QOV_UINT32 or
// an enumeration): values are converted with static_cast both ways.
#ifndef VOVA_MODULEFAMILY_H
#define VOVA_MODULEFAMILY_H

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "mc/mc_structs.h"
#include "qov_types.h"
#include "vezaracommon/userlog.h"
#include "vova/Module.h"
#include "vova/Parameter.h"
#include "vova/ParameterList.h"
#include "vova/PerfTime.h"
#include "vova/Pipeline.h"

namespace VOVA {

/** One setup key of module class M: how it is read into and written from M. */
template <class M> class KeyBinding {
public:
    explicit KeyBinding(const std::string &keyName) : m_name(keyName) {}
    virtual ~KeyBinding() = default;
    const std::string &name() const { return m_name; }
    virtual QOV_RESULT load(M &module, const ParameterList &parameters) const = 0;
    virtual void save(const M &module, ParameterList &parameters, ModuleBase::SaveType t) const = 0;

private:
    std::string m_name;
};

template <class M> using KeyTable = std::vector<std::unique_ptr<const KeyBinding<M>>>;

namespace family {

/** Writes the bound of a definition for SAVE_MIN, SAVE_MAX or SAVE_DEF. */
template <class Def> void saveBound(const Def &def, ParameterList &parameters, ModuleBase::SaveType t)
{
    if (t == ModuleBase::SAVE_MIN)
        parameters.addParameterMin(def, true);
    else if (t == ModuleBase::SAVE_MAX)
        parameters.addParameterMax(def, true);
    else if (t == ModuleBase::SAVE_DEF)
        parameters.addParameterDef(def, true);
}

template <class M, class T, class F> class NumberKey : public KeyBinding<M> {
public:
    NumberKey(const ParamDef<T> &def, F M::*field, T delta)
        : KeyBinding<M>(def.name), m_def(def), m_field(field), m_delta(delta)
    {
    }
    QOV_RESULT load(M &module, const ParameterList &parameters) const override
    {
        module.*m_field = static_cast<F>(parameters.getParameter(m_def) + m_delta);
        return QOV_SUCCESS;
    }
    void save(const M &module, ParameterList &parameters, ModuleBase::SaveType t) const override
    {
        if (t == ModuleBase::SAVE_VAL)
            parameters.addParameter(m_def, static_cast<T>(static_cast<T>(module.*m_field) - m_delta), true);
        else
            saveBound(m_def, parameters, t);
    }

private:
    const ParamDef<T> &m_def;
    F M::*m_field;
    T m_delta;
};

template <class M, class T, class F, size_t N> class ArrayKey : public KeyBinding<M> {
public:
    ArrayKey(const ParamDefArray<T> &def, F (M::*field)[N], T delta)
        : KeyBinding<M>(def.name), m_def(def), m_field(field), m_delta(delta)
    {
    }
    QOV_RESULT load(M &module, const ParameterList &parameters) const override
    {
        for (size_t i = 0; i < N; i++)
            (module.*m_field)[i] = static_cast<F>(parameters.getParameter(m_def, static_cast<unsigned>(i)) + m_delta);
        return QOV_SUCCESS;
    }
    void save(const M &module, ParameterList &parameters, ModuleBase::SaveType t) const override
    {
        if (t != ModuleBase::SAVE_VAL) {
            saveBound(m_def, parameters, t);
            return;
        }
        std::vector<std::string> values;
        values.reserve(N);
        for (size_t i = 0; i < N; i++)
            values.push_back(toString<T>(static_cast<T>(static_cast<T>((module.*m_field)[i]) - m_delta)));
        parameters.addParameter(m_def, values, true);
    }

private:
    const ParamDefArray<T> &m_def;
    F (M::*m_field)[N];
    T m_delta;
};

template <class M, class T> class SingleKey : public KeyBinding<M> {
public:
    SingleKey(const ParamDefSingle<T> &def, T M::*field) : KeyBinding<M>(def.name), m_def(def), m_field(field) {}
    QOV_RESULT load(M &module, const ParameterList &parameters) const override
    {
        module.*m_field = parameters.getParameter(m_def);
        return QOV_SUCCESS;
    }
    void save(const M &module, ParameterList &parameters, ModuleBase::SaveType t) const override
    {
        if (t == ModuleBase::SAVE_VAL)
            parameters.addParameter(m_def, module.*m_field, true);
        else
            saveBound(m_def, parameters, t);
    }

private:
    const ParamDefSingle<T> &m_def;
    T M::*m_field;
};

template <class M> class CustomKey : public KeyBinding<M> {
public:
    typedef std::function<QOV_RESULT(M &, const ParameterList &)> Loader;
    typedef std::function<void(const M &, ParameterList &, ModuleBase::SaveType)> Saver;
    CustomKey(const std::string &keyName, Loader loader, Saver saver)
        : KeyBinding<M>(keyName), m_load(std::move(loader)), m_save(std::move(saver))
    {
    }
    QOV_RESULT load(M &module, const ParameterList &parameters) const override
    {
        return m_load ? m_load(module, parameters) : QOV_SUCCESS;
    }
    void save(const M &module, ParameterList &parameters, ModuleBase::SaveType t) const override
    {
        if (m_save)
            m_save(module, parameters, t);
    }

private:
    Loader m_load;
    Saver m_save;
};

}  // namespace family

namespace family {

/** Reads every key of a table in order; the first failing binding ends it. */
template <class M> QOV_RESULT loadTable(M &module, const KeyTable<M> &table, const ParameterList &parameters)
{
    for (const auto &key : table) {
        QOV_RESULT ret = key->load(module, parameters);
        if (ret != QOV_SUCCESS)
            return ret;
    }
    return QOV_SUCCESS;
}

/** Writes every key of a table in the kind t; other kinds than SAVE_VAL to SAVE_DEF write nothing. */
template <class M>
void saveTable(const M &module, const KeyTable<M> &table, ParameterList &parameters, ModuleBase::SaveType t)
{
    if (t < ModuleBase::SAVE_VAL || t > ModuleBase::SAVE_DEF)
        return;
    for (const auto &key : table)
        key->save(module, parameters, t);
}

/** The header line and the key texts of a table. */
template <class M> ParameterGroup groupOf(const char *header, const KeyTable<M> &table)
{
    ParameterGroup group;
    group.header = header;
    for (const auto &key : table)
        group.parameters.insert(key->name());
    return group;
}

}  // namespace family

/** Helpers that build a module's key table; see the top of this header. */
template <class M> struct Keys {
    template <class T, class F>
    static std::unique_ptr<const KeyBinding<M>> number(const ParamDef<T> &def, F M::*field, T delta = T())
    {
        return std::make_unique<family::NumberKey<M, T, F>>(def, field, delta);
    }
    template <class T, class F, size_t N>
    static std::unique_ptr<const KeyBinding<M>> array(const ParamDefArray<T> &def, F (M::*field)[N], T delta = T())
    {
        return std::make_unique<family::ArrayKey<M, T, F, N>>(def, field, delta);
    }
    static std::unique_ptr<const KeyBinding<M>> flag(const ParamDefSingle<bool> &def, bool M::*field)
    {
        return std::make_unique<family::SingleKey<M, bool>>(def, field);
    }
    static std::unique_ptr<const KeyBinding<M>> text(const ParamDefSingle<std::string> &def, std::string M::*field)
    {
        return std::make_unique<family::SingleKey<M, std::string>>(def, field);
    }
    static std::unique_ptr<const KeyBinding<M>> custom(const std::string &name,
                                                       typename family::CustomKey<M>::Loader loader,
                                                       typename family::CustomKey<M>::Saver saver)
    {
        return std::make_unique<family::CustomKey<M>>(name, std::move(loader), std::move(saver));
    }
    /** A table from bindings, in read order. */
    template <class... B> static KeyTable<M> table(B &&...bindings)
    {
        KeyTable<M> t;
        (t.push_back(std::forward<B>(bindings)), ...);
        return t;
    }
};

/**
 * Base of every setup module of the family. M is the concrete class, ID its
 * SetupID. load(), save(), getGroup() and setup() are generated from M's key
 * table and writeRecord().
 */
template <class M, SetupID ID> class FamilyModule : public SetupModuleBase<ID> {
public:
    explicit FamilyModule(const std::string &name) : SetupModuleBase<ID>(name) {}

    /** Reads every key of the table in order; the first failing binding ends it. */
    QOV_RESULT load(const ParameterList &parameters) override { return loadKeys(parameters); }

    using ModuleBase::save;  // save(parameters): the values in force

    QOV_RESULT save(ParameterList &parameters, ModuleBase::SaveType t) const override
    {
        static const ParameterGroup group = M::getGroup();
        parameters.addGroup(M::className(), group);
        family::saveTable(static_cast<const M &>(*this), M::keys(), parameters, t);
        return QOV_SUCCESS;
    }

    /** The header line and the key texts of the module. */
    static ParameterGroup getGroup()
    {
        return family::groupOf(M::groupHeader(), M::keys());
    }

    QOV_RESULT setup() override
    {
        LOG_Perf_In(this->getLoggingName(), __FILE__, "setup", __LINE__);
        if (!this->pipeline) {
            LOG_Error("setup", __LINE__, this->getLoggingName(), "pipeline not set!\n");
            return QOV_ERROR_WRONG_STATE;
        }
        MC_PIPELINE *mc = this->pipeline->getMCPipeline();
        if (!mc) {
            LOG_Error("setup", __LINE__, this->getLoggingName(), "pMCPipeline not set!\n");
            return QOV_ERROR_WRONG_STATE;
        }
        QOV_RESULT ret = static_cast<M &>(*this).writeRecord(*mc);
        if (ret != QOV_SUCCESS)
            return ret;
        this->setupFlag = true;
        if (QOV_BOOL8 *flag = static_cast<M &>(*this).recordFlag(*mc))
            *flag = QOV_TRUE;
        LOG_Perf_Out(this->getLoggingName(), __FILE__, "setup", __LINE__);
        return QOV_SUCCESS;
    }

protected:
    QOV_RESULT loadKeys(const ParameterList &parameters)
    {
        return family::loadTable(static_cast<M &>(*this), M::keys(), parameters);
    }
};

}  // namespace VOVA

#endif  // VOVA_MODULEFAMILY_H
