// A setup file in memory: entries by tag, plus named groups that only serve
// to write the file in sections; typed reading and writing of keys.
#ifndef VOVA_PARAMETERLIST_H
#define VOVA_PARAMETERLIST_H

#include <map>
#include <ostream>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "qov_types.h"
#include "vova/Parameter.h"

namespace VOVA {

/** The keys of one class, written as one section after its header line. */
struct ParameterGroup {
    std::string header;               ///< the whole comment line, marker included
    std::set<std::string> parameters; ///< the keys of the group
};

class ParameterList {
public:
    typedef std::map<std::string, Parameter>::const_iterator const_iterator;
    typedef std::map<std::string, Parameter>::iterator iterator;
    typedef std::map<std::string, ParameterGroup>::const_iterator const_group_iterator;

    ParameterList();

    iterator begin() { return parameters.begin(); }
    iterator end() { return parameters.end(); }
    const_iterator begin() const { return parameters.begin(); }
    const_iterator end() const { return parameters.end(); }
    size_t size() const { return parameters.size(); }

    /** Files a copy under its tag; an existing tag is replaced only with overwrite. */
    QOV_RESULT addParameter(const Parameter &newParam, bool overwrite);
    bool exists(const std::string &tag) const;
    Parameter *getParameter(const std::string &tag);
    const Parameter *getParameter(const std::string &tag) const;
    std::string getParameterString(const std::string &tag, int n, const std::string &tDef) const;
    QOV_RESULT removeParameter(const std::string &tag);
    /** Empties the list: entries and groups (validFlag is kept). */
    void clearList();
    const_iterator find(const std::string &tag) const { return parameters.find(tag); }

    QOV_RESULT addGroup(const std::string &name, const ParameterGroup &group);
    bool hasGroup(const std::string &name) const;
    ParameterGroup getGroup(const std::string &name) const;
    const_group_iterator groupsBegin() const { return groups.begin(); }
    const_group_iterator groupsEnd() const { return groups.end(); }
    QOV_RESULT removeGroup(const std::string &name);
    bool isInGroup(const std::string &tag) const;

    /** Adds every entry of list with overwrite; groups are not merged. */
    ParameterList &operator+=(const ParameterList &list);

    // --- typed reading ---

    /** Numeric read of value n of a key; the default when the key is absent. */
    template <typename T>
    T getParameter(const std::string &str, int n, T tMin, T tMax, T tDef) const
    {
        const Parameter *p = getParameter(str);
        if (!p)
            return tDef;
        return p->get<T>(static_cast<unsigned int>(n), tMin, tMax, tDef);
    }

    /** Boolean or string read of value n of a key; the default when the key is absent. */
    template <typename T> T getParameter(const std::string &str, int n, T tDef) const
    {
        static_assert(std::is_same_v<T, bool> || std::is_same_v<T, std::string>,
                      "only bool and std::string keys have no range");
        const Parameter *p = getParameter(str);
        if (!p)
            return tDef;
        if constexpr (std::is_same_v<T, bool>) {
            bool isOk;  // not looked at: a present key reads false unless it begins with a non-zero integer
            return p->get<bool>(static_cast<unsigned int>(n), isOk);
        } else {
            return p->get<std::string>(static_cast<unsigned int>(n), tDef);
        }
    }

    template <typename T> T getParameter(const ParamDef<T> &def) const
    {
        return getParameter<T>(def.name, 0, def.min, def.max, def.def);
    }

    template <typename T> T getParameter(const ParamDefSingle<T> &def) const
    {
        return getParameter<T>(def.name, 0, def.def);
    }

    /** Element n of an array key, defaulting to element n modulo the definition's count. */
    template <typename T> T getParameter(const ParamDefArray<T> &def, unsigned int n) const
    {
        return getParameter<T>(def.name, static_cast<int>(n), def.min, def.max, def.defaultOf(n));
    }

    // --- typed writing ---

    template <typename T>
    QOV_RESULT addParameter(const ParamDef<T> &def, const std::type_identity_t<T> &value, bool overwrite)
    {
        return addParameter(Parameter(def.name, toString<T>(value)), overwrite);
    }

    template <typename T>
    QOV_RESULT addParameter(const ParamDefSingle<T> &def, const std::type_identity_t<T> &value,
                            bool overwrite)
    {
        return addParameter(Parameter(def.name, toString<T>(value)), overwrite);
    }

    template <typename T>
    QOV_RESULT addParameter(const ParamDefArray<T> &def, const std::vector<std::string> &values,
                            bool overwrite)
    {
        return addParameter(Parameter(def.name, values), overwrite);
    }

    template <typename T> QOV_RESULT addParameterMin(const ParamDef<T> &def, bool overwrite)
    {
        return addParameter(Parameter(def.name, toString<T>(def.min)), overwrite);
    }

    template <typename T> QOV_RESULT addParameterMax(const ParamDef<T> &def, bool overwrite)
    {
        return addParameter(Parameter(def.name, toString<T>(def.max)), overwrite);
    }

    template <typename T> QOV_RESULT addParameterDef(const ParamDef<T> &def, bool overwrite)
    {
        Parameter p(def.name, toString<T>(def.def));
        p.setInfo(getParameterInfo(def));
        return addParameter(p, overwrite);
    }

    template <typename T> QOV_RESULT addParameterMin(const ParamDefArray<T> &def, bool overwrite)
    {
        return addParameter(Parameter(def.name, std::vector<std::string>(def.n, toString<T>(def.min))),
                            overwrite);
    }

    template <typename T> QOV_RESULT addParameterMax(const ParamDefArray<T> &def, bool overwrite)
    {
        return addParameter(Parameter(def.name, std::vector<std::string>(def.n, toString<T>(def.max))),
                            overwrite);
    }

    /** The n defaults with the info text; QOV_ERROR_FAILURE for a definition without defaults. */
    template <typename T> QOV_RESULT addParameterDef(const ParamDefArray<T> &def, bool overwrite)
    {
        if (!def.def || def.n == 0)
            return QOV_ERROR_FAILURE;
        std::vector<std::string> values;
        values.reserve(def.n);
        for (QOV_UINT32 i = 0; i < def.n; i++)
            values.push_back(toString<T>(def.def[i]));
        Parameter p(def.name, values);
        p.setInfo(getParameterInfo(def));
        return addParameter(p, overwrite);
    }

    /** Booleans write "0"; strings write their default with the info text "string". */
    template <typename T> QOV_RESULT addParameterMin(const ParamDefSingle<T> &def, bool overwrite)
    {
        if constexpr (std::is_same_v<T, bool>)
            return addParameter(Parameter(def.name, "0"), overwrite);
        else
            return addParameterDef(def, overwrite);
    }

    /** Booleans write "1"; strings write their default with the info text "string". */
    template <typename T> QOV_RESULT addParameterMax(const ParamDefSingle<T> &def, bool overwrite)
    {
        if constexpr (std::is_same_v<T, bool>)
            return addParameter(Parameter(def.name, "1"), overwrite);
        else
            return addParameterDef(def, overwrite);
    }

    template <typename T> QOV_RESULT addParameterDef(const ParamDefSingle<T> &def, bool overwrite)
    {
        Parameter p(def.name, toString<T>(def.def));
        p.setInfo(getParameterInfo(def));
        return addParameter(p, overwrite);
    }

    /** true when constructed; false after a setup file could not be opened. */
    bool validFlag;

private:
    std::map<std::string, Parameter> parameters;
    std::map<std::string, ParameterGroup> groups;
};

/** Same number of entries, pairwise equal by tag and values (groups, info and validFlag ignored). */
bool operator==(const ParameterList &a, const ParameterList &b);
bool operator!=(const ParameterList &a, const ParameterList &b);

}  // namespace VOVA

/** Every entry in tag order, in the entry's stream form; groups are not printed. */
std::ostream &operator<<(std::ostream &os, const VOVA::ParameterList &list);

namespace VOVA {
// Lets code inside the namespace print entries and lists although other
// stream operators of the namespace hide the global ones.
using ::operator<<;
}  // namespace VOVA

#endif  // VOVA_PARAMETERLIST_H
