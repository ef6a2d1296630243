// One setup entry (a key with its text values), the static definitions of
// setup keys, and the text conversions that typed reading and saving share.
#ifndef VOVA_PARAMETER_H
#define VOVA_PARAMETER_H

#include <ostream>
#include <string>
#include <vector>

#include "qov_types.h"

namespace VOVA {

/**
 * Text to value. One formatted stream extraction without skipping leading
 * white space; isOk is true exactly when the whole text was consumed without
 * a read error. Defined for int, short, unsigned int, float, double,
 * std::string, bool, unsigned char (QOV_BOOL8) and char.
 */
template <typename T> T parse(const std::string &str, bool &isOk);

template <> int parse<int>(const std::string &str, bool &isOk);
template <> short parse<short>(const std::string &str, bool &isOk);
template <> unsigned int parse<unsigned int>(const std::string &str, bool &isOk);
template <> float parse<float>(const std::string &str, bool &isOk);
template <> double parse<double>(const std::string &str, bool &isOk);
template <> std::string parse<std::string>(const std::string &str, bool &isOk);
template <> bool parse<bool>(const std::string &str, bool &isOk);
template <> unsigned char parse<unsigned char>(const std::string &str, bool &isOk);
template <> char parse<char>(const std::string &str, bool &isOk);

/**
 * Value to text in default stream formatting: 6 significant digits for
 * floating point, "1"/"0" for bool and QOV_BOOL8, char as 0..255.
 */
template <typename T> std::string toString(const T &value);

template <> std::string toString<bool>(const bool &value);
template <> std::string toString<unsigned char>(const unsigned char &value);
template <> std::string toString<char>(const char &value);
template <> std::string toString<int>(const int &value);
template <> std::string toString<short>(const short &value);
template <> std::string toString<unsigned int>(const unsigned int &value);
template <> std::string toString<unsigned short>(const unsigned short &value);
template <> std::string toString<float>(const float &value);
template <> std::string toString<double>(const double &value);
template <> std::string toString<std::string>(const std::string &value);

/** Base of the key definitions; D is the derived definition type. */
template <typename D> struct ParamAbstract {
    std::string name;

    explicit ParamAbstract(const std::string &n) : name(n) {}

    /** Copy of the definition named name + "_" + index (numbered keys). */
    D indexed(unsigned int index) const
    {
        D copy(static_cast<const D &>(*this));
        copy.name = name + "_" + std::to_string(index);
        return copy;
    }
};

/** A key holding one number with a range and a default. */
template <typename T> struct ParamDef : public ParamAbstract<ParamDef<T>> {
    T min;
    T max;
    T def;

    ParamDef(const std::string &n, const T &tMin, const T &tMax, const T &tDef)
        : ParamAbstract<ParamDef<T>>(n), min(tMin), max(tMax), def(tDef)
    {
    }
};

/** A key holding n numbers sharing one range, each with its own default. */
template <typename T> struct ParamDefArray : public ParamAbstract<ParamDefArray<T>> {
    T min;
    T max;
    T *def;  ///< own array of n defaults, null when n is 0
    QOV_UINT32 n;

    ParamDefArray(const std::string &name, const T &tMin, const T &tMax, const T *pDefaults,
                  unsigned int count)
        : ParamAbstract<ParamDefArray<T>>(name), min(tMin), max(tMax), def(nullptr), n(count)
    {
        copyDefaults(pDefaults);
    }

    ParamDefArray(const ParamDefArray &other)
        : ParamAbstract<ParamDefArray<T>>(other.name), min(other.min), max(other.max),
          def(nullptr), n(other.n)
    {
        copyDefaults(other.def);
    }

    ParamDefArray &operator=(const ParamDefArray &other)
    {
        if (this != &other) {
            delete[] def;
            def = nullptr;
            this->name = other.name;
            min = other.min;
            max = other.max;
            n = other.n;
            copyDefaults(other.def);
        }
        return *this;
    }

    ~ParamDefArray() { delete[] def; }

    /** Default of element i: element i modulo n of the defaults (0 without defaults). */
    T defaultOf(unsigned int i) const { return (def && n > 0) ? def[i % n] : T(); }

private:
    void copyDefaults(const T *pDefaults)
    {
        if (n == 0)
            return;
        def = new T[n]();
        if (pDefaults) {
            for (QOV_UINT32 i = 0; i < n; i++)
                def[i] = pDefaults[i];
        }
    }
};

/** A key without a range: booleans and strings. */
template <typename T> struct ParamDefSingle : public ParamAbstract<ParamDefSingle<T>> {
    T def;

    ParamDefSingle(const std::string &n, const T &tDef) : ParamAbstract<ParamDefSingle<T>>(n), def(tDef)
    {
    }
};

/** Info text naming a key's type and range, written after its defaults. */
std::string getParameterInfo(const ParamDef<int> &def);
std::string getParameterInfo(const ParamDef<short> &def);
std::string getParameterInfo(const ParamDef<unsigned int> &def);
std::string getParameterInfo(const ParamDef<float> &def);
std::string getParameterInfo(const ParamDef<double> &def);
std::string getParameterInfo(const ParamDefArray<short> &def);
std::string getParameterInfo(const ParamDefArray<int> &def);
std::string getParameterInfo(const ParamDefArray<unsigned int> &def);
std::string getParameterInfo(const ParamDefArray<float> &def);
std::string getParameterInfo(const ParamDefArray<double> &def);
std::string getParameterInfo(const ParamDefSingle<bool> &def);
std::string getParameterInfo(const ParamDefSingle<std::string> &def);

/** One setup entry: a key (tag) with its text values in file order. */
class Parameter {
public:
    typedef std::vector<std::string>::const_iterator const_iterator;

    /** One value; an empty value adds none. An empty tag makes the entry invalid. */
    explicit Parameter(const std::string &tag = std::string(), const std::string &value = std::string());
    /** Every value in order, empty ones included (none when the tag is empty). */
    Parameter(const std::string &tag, const std::vector<std::string> &values);

    /** QOV_ERROR_FAILURE on an invalid entry, QOV_ERROR_INVALID_ARGUMENT for an empty text. */
    QOV_RESULT addValue(const std::string &newValue);

    Parameter &setInfo(const std::string &newInfo);
    const std::string &getInfo() const { return info; }

    std::string getTag() const { return tag; }
    QOV_UINT32 size() const { return static_cast<QOV_UINT32>(values.size()); }
    const_iterator begin() const { return values.begin(); }
    const_iterator end() const { return values.end(); }
    const std::vector<std::string> &getValues() const { return values; }

    /** Value n; empty when the entry is invalid or has no value n. */
    std::string getString(unsigned int n) const;
    /** Value n, defVal when there is no value n; empty for an invalid entry. */
    std::string getString(unsigned int n, const std::string &defVal) const;

    /**
     * Numeric read of value n (int, short, unsigned int, float, double): the
     * default when the text is not one complete number of type T, otherwise
     * the number raised to tMin and then lowered to tMax. The default itself
     * is never clamped.
     */
    template <typename T> T get(unsigned int n, const T &tMin, const T &tMax, const T &tDef) const
    {
        bool isOk = false;
        T value = parse<T>(getString(n), isOk);
        if (!isOk)
            return tDef;
        if (value < tMin)
            value = tMin;
        if (value > tMax)
            value = tMax;
        return value;
    }

    /** Boolean read of value n (T = bool): true when the text begins with a non-zero integer. */
    template <typename T> T get(unsigned int n, bool &isOk) const;

    /** String read of value n (T = std::string): tDef when empty or holding white space. */
    template <typename T> T get(unsigned int n, const T &tDef) const;

private:
    std::string tag;
    std::vector<std::string> values;
    std::string info;
    bool validParameter;
};

template <> bool Parameter::get<bool>(unsigned int n, bool &isOk) const;
template <> std::string Parameter::get<std::string>(unsigned int n, const std::string &tDef) const;

/** Same tag and the same values in the same order (info and validity ignored). */
bool operator==(const Parameter &a, const Parameter &b);
bool operator!=(const Parameter &a, const Parameter &b);

}  // namespace VOVA

/** The tag and each value, each followed by a blank, then " // " and the info when set, and an end of line. */
std::ostream &operator<<(std::ostream &os, const VOVA::Parameter &param);

namespace VOVA {
// Lets code inside the namespace print entries although other stream
// operators of the namespace hide the global one.
using ::operator<<;
}  // namespace VOVA

#endif  // VOVA_PARAMETER_H
