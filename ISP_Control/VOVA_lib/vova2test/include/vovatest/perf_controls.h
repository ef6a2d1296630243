// The convergence monitor: counts how many frames a control loop needs to
// converge after it left convergence.
#ifndef VOVATEST_PERF_CONTROLS_H
#define VOVATEST_PERF_CONTROLS_H

#include <list>

namespace VOVA {
class ControlModule;
}

class ConvergenceSpeed {
public:
    enum PERFState { PERF_IDLE = 0, PERF_COUNTING_FRAMES = 1, PERF_COMPLETED = 2 };

    explicit ConvergenceSpeed(const VOVA::ControlModule *module) : mModule(module) {}

    void reset()
    {
        mState = PERF_IDLE;
        mFrameCount = 0;
    }
    void proceed() { mState = PERF_COUNTING_FRAMES; }
    void finish() { mState = PERF_COMPLETED; }
    void count() { ++mFrameCount; }
    void logOk() const;
    void logRestart() const;
    void enable() { reset(); }
    void disable() { reset(); }
    void update(bool converged);
    void update();

    PERFState state() const { return mState; }
    int frameCount() const { return mFrameCount; }

private:
    PERFState mState = PERF_IDLE;
    const VOVA::ControlModule *mModule;
    int mFrameCount = 0;
};

class PerfControls {
public:
    PerfControls() = default;
    ~PerfControls();
    PerfControls(const PerfControls &) = delete;
    PerfControls &operator=(const PerfControls &) = delete;

    void registerControlForConvergenceMonitoring(const VOVA::ControlModule *module);
    void updateConv();

private:
    std::list<ConvergenceSpeed *> perfConv;
};

#endif
