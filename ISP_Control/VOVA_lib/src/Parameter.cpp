#include "vova/Parameter.h"

#include <sstream>

namespace VOVA {

namespace {

// One formatted extraction of a T without skipping leading white space, into
// a value preset to 0. Complete only when the whole text was consumed.
template <typename T> T extract(const std::string &str, bool &isOk)
{
    T value = T();
    std::istringstream iss(str);
    iss >> std::noskipws >> value;
    isOk = !iss.fail() && iss.eof();
    return value;
}

template <typename T> std::string streamed(const T &value)
{
    std::ostringstream oss;
    oss << value;
    return oss.str();
}

template <typename T> const char *typeWord();
template <> const char *typeWord<int>() { return "int"; }
template <> const char *typeWord<short>() { return "int"; }
template <> const char *typeWord<unsigned int>() { return "unsigned"; }
template <> const char *typeWord<float>() { return "float"; }
template <> const char *typeWord<double>() { return "double"; }

template <typename T> std::string rangeInfo(const ParamDef<T> &def)
{
    return std::string(typeWord<T>()) + " range=[" + toString<T>(def.min) + "," + toString<T>(def.max) +
           "]";
}

template <typename T> std::string rangeInfo(const ParamDefArray<T> &def)
{
    return std::string(typeWord<T>()) + "[" + toString<unsigned int>(def.n) + "] range=[" +
           toString<T>(def.min) + "," + toString<T>(def.max) + "]";
}

}  // namespace

// --- text to value ---

template <> int parse<int>(const std::string &str, bool &isOk) { return extract<int>(str, isOk); }

template <> short parse<short>(const std::string &str, bool &isOk) { return extract<short>(str, isOk); }

// The stream extraction of an unsigned number accepts a minus sign and wraps
// the value ("-3" would become 4294967293 and then clamp to the key's
// maximum); a negative text is not an unsigned number, so it does not parse.
template <> unsigned int parse<unsigned int>(const std::string &str, bool &isOk)
{
    if (!str.empty() && str[0] == '-') {
        isOk = false;
        return 0;
    }
    return extract<unsigned int>(str, isOk);
}

template <> float parse<float>(const std::string &str, bool &isOk) { return extract<float>(str, isOk); }

template <> double parse<double>(const std::string &str, bool &isOk) { return extract<double>(str, isOk); }

template <> std::string parse<std::string>(const std::string &str, bool &isOk)
{
    return extract<std::string>(str, isOk);
}

template <> bool parse<bool>(const std::string &str, bool &isOk) { return parse<int>(str, isOk) != 0; }

template <> unsigned char parse<unsigned char>(const std::string &str, bool &isOk)
{
    return parse<int>(str, isOk) != 0 ? 1 : 0;
}

template <> char parse<char>(const std::string &str, bool &isOk)
{
    return static_cast<char>(static_cast<unsigned char>(parse<int>(str, isOk) & 0xFF));
}

// --- value to text ---

template <> std::string toString<bool>(const bool &value) { return value ? "1" : "0"; }

template <> std::string toString<unsigned char>(const unsigned char &value) { return value ? "1" : "0"; }

template <> std::string toString<char>(const char &value)
{
    return toString<int>(static_cast<int>(static_cast<unsigned char>(value)));
}

template <> std::string toString<int>(const int &value) { return streamed(value); }

template <> std::string toString<short>(const short &value) { return streamed(value); }

template <> std::string toString<unsigned int>(const unsigned int &value) { return streamed(value); }

template <> std::string toString<unsigned short>(const unsigned short &value) { return streamed(value); }

template <> std::string toString<float>(const float &value) { return streamed(static_cast<double>(value)); }

template <> std::string toString<double>(const double &value) { return streamed(value); }

template <> std::string toString<std::string>(const std::string &value) { return value; }

// --- info texts ---

std::string getParameterInfo(const ParamDef<int> &def) { return rangeInfo(def); }
std::string getParameterInfo(const ParamDef<short> &def) { return rangeInfo(def); }
std::string getParameterInfo(const ParamDef<unsigned int> &def) { return rangeInfo(def); }
std::string getParameterInfo(const ParamDef<float> &def) { return rangeInfo(def); }
std::string getParameterInfo(const ParamDef<double> &def) { return rangeInfo(def); }
std::string getParameterInfo(const ParamDefArray<short> &def) { return rangeInfo(def); }
std::string getParameterInfo(const ParamDefArray<int> &def) { return rangeInfo(def); }
std::string getParameterInfo(const ParamDefArray<unsigned int> &def) { return rangeInfo(def); }
std::string getParameterInfo(const ParamDefArray<float> &def) { return rangeInfo(def); }
std::string getParameterInfo(const ParamDefArray<double> &def) { return rangeInfo(def); }
std::string getParameterInfo(const ParamDefSingle<bool> &) { return "bool {0,1}"; }
std::string getParameterInfo(const ParamDefSingle<std::string> &) { return "string"; }

// --- Parameter ---

Parameter::Parameter(const std::string &t, const std::string &value) : tag(t), validParameter(!t.empty())
{
    if (validParameter)
        addValue(value);  // an empty value leaves the entry valid without values
}

Parameter::Parameter(const std::string &t, const std::vector<std::string> &vals)
    : tag(t), validParameter(!t.empty())
{
    if (validParameter)
        values = vals;
}

QOV_RESULT Parameter::addValue(const std::string &newValue)
{
    if (!validParameter)
        return QOV_ERROR_FAILURE;
    if (newValue.empty())
        return QOV_ERROR_INVALID_ARGUMENT;
    values.push_back(newValue);
    return QOV_SUCCESS;
}

Parameter &Parameter::setInfo(const std::string &newInfo)
{
    info = newInfo;
    return *this;
}

std::string Parameter::getString(unsigned int n) const
{
    if (!validParameter || n >= values.size())
        return std::string();
    return values[n];
}

std::string Parameter::getString(unsigned int n, const std::string &defVal) const
{
    if (!validParameter)
        return std::string();
    if (n >= values.size())
        return defVal;
    return values[n];
}

template <> bool Parameter::get<bool>(unsigned int n, bool &isOk) const
{
    isOk = false;
    return parse<bool>(getString(n), isOk);
}

template <> std::string Parameter::get<std::string>(unsigned int n, const std::string &tDef) const
{
    bool isOk = false;
    std::string value = parse<std::string>(getString(n), isOk);
    return isOk ? value : tDef;
}

bool operator==(const Parameter &a, const Parameter &b)
{
    return a.getTag() == b.getTag() && a.getValues() == b.getValues();
}

bool operator!=(const Parameter &a, const Parameter &b) { return !(a == b); }

}  // namespace VOVA

std::ostream &operator<<(std::ostream &os, const VOVA::Parameter &param)
{
    os << param.getTag() << " ";
    for (const std::string &value : param)
        os << value << " ";
    if (!param.getInfo().empty())
        os << " // " << param.getInfo();
    os << std::endl;
    return os;
}
