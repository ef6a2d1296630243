// Sleeps of the system on the simulated board (PLATFORM_Usleep): recorded,
// and either real or instantaneous. Tests choose instantaneous sleeps so
// that power sequences and register-list pauses cost no time.
#ifndef SIMBOARD_SLEEP_H
#define SIMBOARD_SLEEP_H

#include <cstdint>
#include <vector>

namespace simboard {

class Sleeps {
public:
    // Real sleeps, nothing recorded.
    static void reset();
    static void setInstant(bool instant);
    static bool instant();
    // Records a sleep; true when the caller is to sleep for real.
    static bool request(uint64_t microseconds);
    // Sleeps requested, in order, and their sum.
    static const std::vector<uint64_t> &log();
    static uint64_t total();
    static void clear();
};

}  // namespace simboard

#endif
