#include "platform/device_io.h"

std::string PLATFORM_BoardPath(const char *path) { return path ? path : ""; }

FILE *PLATFORM_BoardFopen(const char *path, const char *mode)
{
    return path ? fopen(path, mode) : nullptr;
}
