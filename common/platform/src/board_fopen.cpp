// Opening a fixed path of the board, wherever this build finds it.
#include "platform/device_io.h"

FILE *PLATFORM_BoardFopen(const char *path, const char *mode)
{
    if (!path)
        return nullptr;
    return fopen(PLATFORM_BoardPath(path).c_str(), mode);
}
