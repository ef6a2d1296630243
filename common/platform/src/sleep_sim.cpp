#include <unistd.h>

#include "platform/platform_sleep.h"
#include "simboard/sleep.h"

void PLATFORM_Usleep(uint64_t microseconds)
{
    if (!simboard::Sleeps::request(microseconds))
        return;
    while (microseconds >= 1000000) {
        sleep(1);
        microseconds -= 1000000;
    }
    if (microseconds)
        usleep(static_cast<useconds_t>(microseconds));
}
