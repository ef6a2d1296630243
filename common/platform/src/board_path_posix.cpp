#include "platform/device_io.h"

std::string PLATFORM_BoardPath(const char *path) { return path ? path : ""; }
