// The convergence monitor: a small state machine per observed loop, updated
// once per frame.
#include "vovatest/perf_controls.h"

#include "vezaracommon/userlog.h"
#include "vova/Module.h"

#define LOG_TAG "PERF_controls"

void ConvergenceSpeed::logOk() const
{
    LOG_PERF("%s converged in %d frames\n", mModule->getLoggingName(), mFrameCount);
}

void ConvergenceSpeed::logRestart() const
{
    LOG_PERF("%s converged in %d frames, immediate restart\n", mModule->getLoggingName(), mFrameCount);
}

void ConvergenceSpeed::update(bool converged)
{
    switch (mState) {
    case PERF_IDLE:
        if (!converged)
            proceed();
        break;
    case PERF_COUNTING_FRAMES:
        count();
        if (converged)
            finish();
        break;
    case PERF_COMPLETED:
        if (converged) {
            logOk();
            reset();
        } else {
            logRestart();
            reset();
            proceed();
        }
        break;
    default:
        LOG_PERF("PERF: default");
    }
}

void ConvergenceSpeed::update() { update(mModule->hasConverged()); }

PerfControls::~PerfControls()
{
    for (ConvergenceSpeed *c : perfConv)
        delete c;
}

void PerfControls::registerControlForConvergenceMonitoring(const VOVA::ControlModule *module)
{
    perfConv.push_back(new ConvergenceSpeed(module));
}

void PerfControls::updateConv()
{
    for (ConvergenceSpeed *c : perfConv)
        c->update();
}
