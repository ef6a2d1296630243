#include <unistd.h>

#include "platform/platform_sleep.h"

void PLATFORM_Usleep(uint64_t microseconds)
{
    // usleep takes at most a second on some systems: sleep the whole seconds first.
    while (microseconds >= 1000000) {
        sleep(1);
        microseconds -= 1000000;
    }
    if (microseconds)
        usleep(static_cast<useconds_t>(microseconds));
}
