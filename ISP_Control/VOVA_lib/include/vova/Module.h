// Base of every class that owns setup keys: a log name and the load/save/print
// protocol over a ParameterList.
#ifndef VOVA_MODULE_H
#define VOVA_MODULE_H

#include <ostream>
#include <string>

#include "qov_types.h"
#include "vova/ParameterList.h"

namespace VOVA {

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

protected:
    const std::string logName;
};

inline std::ostream &operator<<(std::ostream &os, const ModuleBase &module) { return module.printState(os); }

}  // namespace VOVA

#endif  // VOVA_MODULE_H
