#include "simboard/sleep.h"

namespace simboard {

namespace {

struct SleepState {
    bool instant = false;
    std::vector<uint64_t> log;
    uint64_t total = 0;
};

SleepState &state()
{
    static SleepState s;
    return s;
}

}  // namespace

void Sleeps::reset() { state() = SleepState{}; }

void Sleeps::setInstant(bool instant) { state().instant = instant; }

bool Sleeps::instant() { return state().instant; }

bool Sleeps::request(uint64_t microseconds)
{
    SleepState &s = state();
    s.log.push_back(microseconds);
    s.total += microseconds;
    return !s.instant;
}

const std::vector<uint64_t> &Sleeps::log() { return state().log; }

uint64_t Sleeps::total() { return state().total; }

void Sleeps::clear()
{
    state().log.clear();
    state().total = 0;
}

}  // namespace simboard
