// Sleeps of the system (sensor power sequences, register-list pauses, frame
// delays). On the simulated board the board decides whether the sleep takes
// real time, so that tests run without waiting.
#ifndef PLATFORM_PLATFORM_SLEEP_H
#define PLATFORM_PLATFORM_SLEEP_H

#include <cstdint>

void PLATFORM_Usleep(uint64_t microseconds);

#endif
