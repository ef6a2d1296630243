// Timing hooks of the control library. Timing is switched off: every hook
// does nothing and LOG_Perf_Available() is false.
#ifndef VOVA_PERFTIME_H
#define VOVA_PERFTIME_H

namespace VOVA {

class ModuleBase;

bool LOG_Perf_Available();
void LOG_Perf_Register(const char *loggingName, bool verbose);
void LOG_Perf_Register(const ModuleBase *module, bool verbose);
void LOG_Perf_In(const char *loggingName, const char *file, const char *function, unsigned int line);
void LOG_Perf_Out(const char *loggingName, const char *file, const char *function, unsigned int line);
void LOG_Perf_Summary();

}  // namespace VOVA

#endif  // VOVA_PERFTIME_H
