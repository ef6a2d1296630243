// Fixed paths of the board resolve under the simulated board's root folder.
#include "platform/device_io.h"

#include "simboard/board.h"

namespace {

bool isBoardPath(const std::string &path)
{
    static const char *const prefixes[] = {"/proc/device-tree/", "/etc/vezara/"};
    for (const char *prefix : prefixes)
        if (path.rfind(prefix, 0) == 0)
            return true;
    return false;
}

}  // namespace

std::string PLATFORM_BoardPath(const char *path)
{
    if (!path)
        return "";
    std::string p(path);
    if (!isBoardPath(p))
        return p;
    return simboard::Board::instance().root() + p;
}
