#include "vova/ParameterList.h"

namespace VOVA {

ParameterList::ParameterList() : validFlag(true) {}

QOV_RESULT ParameterList::addParameter(const Parameter &newParam, bool overwrite)
{
    const std::string tag = newParam.getTag();
    auto it = parameters.find(tag);
    if (it == parameters.end()) {
        parameters.emplace(tag, newParam);
        return QOV_SUCCESS;
    }
    if (!overwrite)
        return QOV_ERROR_ALREADY_EXISTS;
    it->second = newParam;
    return QOV_SUCCESS;
}

bool ParameterList::exists(const std::string &tag) const { return parameters.count(tag) != 0; }

Parameter *ParameterList::getParameter(const std::string &tag)
{
    auto it = parameters.find(tag);
    return it == parameters.end() ? nullptr : &it->second;
}

const Parameter *ParameterList::getParameter(const std::string &tag) const
{
    auto it = parameters.find(tag);
    return it == parameters.end() ? nullptr : &it->second;
}

std::string ParameterList::getParameterString(const std::string &tag, int n, const std::string &tDef) const
{
    const Parameter *p = getParameter(tag);
    if (!p)
        return tDef;
    return p->getString(static_cast<unsigned int>(n), tDef);
}

QOV_RESULT ParameterList::removeParameter(const std::string &tag)
{
    return parameters.erase(tag) != 0 ? QOV_SUCCESS : QOV_ERROR_FAILURE;
}

void ParameterList::clearList()
{
    parameters.clear();
    groups.clear();
}

QOV_RESULT ParameterList::addGroup(const std::string &name, const ParameterGroup &group)
{
    if (group.parameters.empty() || groups.count(name) != 0)
        return QOV_ERROR_ALREADY_EXISTS;
    groups.emplace(name, group);
    return QOV_SUCCESS;
}

bool ParameterList::hasGroup(const std::string &name) const { return groups.count(name) != 0; }

ParameterGroup ParameterList::getGroup(const std::string &name) const
{
    auto it = groups.find(name);
    return it == groups.end() ? ParameterGroup() : it->second;
}

QOV_RESULT ParameterList::removeGroup(const std::string &name)
{
    return groups.erase(name) != 0 ? QOV_SUCCESS : QOV_ERROR_INVALID_ARGUMENT;
}

bool ParameterList::isInGroup(const std::string &tag) const
{
    for (const auto &group : groups) {
        if (group.second.parameters.count(tag) != 0)
            return true;
    }
    return false;
}

ParameterList &ParameterList::operator+=(const ParameterList &list)
{
    if (&list == this)
        return *this;  // merging a list into itself changes nothing
    for (const auto &entry : list)
        addParameter(entry.second, true);
    return *this;
}

bool operator==(const ParameterList &a, const ParameterList &b)
{
    if (a.size() != b.size())
        return false;
    for (auto ia = a.begin(), ib = b.begin(); ia != a.end(); ++ia, ++ib) {
        if (ia->first != ib->first || ia->second != ib->second)
            return false;
    }
    return true;
}

bool operator!=(const ParameterList &a, const ParameterList &b) { return !(a == b); }

}  // namespace VOVA

std::ostream &operator<<(std::ostream &os, const VOVA::ParameterList &list)
{
    for (const auto &entry : list)
        os << entry.second;
    return os;
}
