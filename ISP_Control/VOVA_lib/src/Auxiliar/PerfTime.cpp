// The timing hooks, switched off: nothing is registered or measured.
#include "vova/PerfTime.h"

#include <string>

namespace VOVA {

namespace {

// No name is ever registered for timing.
[[maybe_unused]] int nameRegistered(const std::string &, bool *) { return 0; }

}  // namespace

bool LOG_Perf_Available() { return false; }
void LOG_Perf_Register(const char *, bool) {}
void LOG_Perf_Register(const ModuleBase *, bool) {}
void LOG_Perf_In(const char *, const char *, const char *, unsigned int) {}
void LOG_Perf_Out(const char *, const char *, const char *, unsigned int) {}
void LOG_Perf_Summary() {}

}  // namespace VOVA
