// Appending to a record that a long run must not grow without end: the
// board's trace and a chip's write log keep their newest entries.
#ifndef SIMBOARD_BOUNDED_LOG_H
#define SIMBOARD_BOUNDED_LOG_H

#include <cstddef>
#include <utility>
#include <vector>

namespace simboard {

// Appends `entry`; when `log` holds `limit` entries, the older half goes
// first, so that a log keeps between limit/2 and limit of its newest entries
// at a constant cost per entry.
template <class T> void appendBounded(std::vector<T> &log, T entry, size_t limit)
{
    if (log.size() >= limit)
        log.erase(log.begin(), log.begin() + static_cast<std::ptrdiff_t>(log.size() - limit / 2));
    log.push_back(std::move(entry));
}

}  // namespace simboard

#endif
