// Software cost of one shot through the control core on the simulated
// board: set-up of the modules that requested an update, conversion and
// update, trigger, acquire with the statistics extraction and reverts, and
// release. The simulated ISP's pixel work is switched off (an image model
// that does nothing), so what remains is the core, the capture-interface
// library and the simulated driver's request handling. The same cycle
// through the capture-interface library alone shows the share of those two.
//
// Allocations on the per-shot path are counted by interposing malloc.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "ci/ci_api.h"
#include "mc/mc_conversions.h"
#include "simboard/board.h"
#include "simboard/isp_driver.h"
#include "simboard/sensor_chip.h"
#include "simboard/sensor_models.h"
#include "simboard/sleep.h"
#include "vova/Camera.h"
#include "vova/CameraFactory.h"
#include "vova/ModuleBLC.h"
#include "vova/ModuleIIF.h"
#include "vova/Pipeline.h"
#include "vova/Sensor.h"
#include "vova/Shot.h"

extern "C" void *__libc_malloc(size_t);
extern "C" void *__libc_calloc(size_t, size_t);
extern "C" void *__libc_realloc(void *, size_t);

namespace {
std::atomic<unsigned long> g_allocations{0};
}

extern "C" void *malloc(size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
extern "C" void *calloc(size_t n, size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(n, size);
}
extern "C" void *realloc(void *p, size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, size);
}

namespace {

// The ISP writes nothing: outputs and statistics keep what they hold.
class NoPixelWork : public simboard::IspImageModel {
public:
    void process(simboard::ShotFrame &) override {}
};

// Log lines of bring-up and tear-down kept out of the report.
class Quiet {
public:
    Quiet()
    {
        fflush(stdout);
        fflush(stderr);
        out_ = dup(STDOUT_FILENO);
        err_ = dup(STDERR_FILENO);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        close(null);
    }
    ~Quiet()
    {
        fflush(stdout);
        fflush(stderr);
        dup2(out_, STDOUT_FILENO);
        dup2(err_, STDERR_FILENO);
        close(out_);
        close(err_);
    }

private:
    int out_, err_;
};

// A capturing camera on the OV5695 chip (1296 x 972) with display and encoder outputs.
struct CapturingCamera {
    std::unique_ptr<VOVA::Camera> camera;
    VOVA::Pipeline *pipeline = nullptr;
    VOVA::SetupModule *blc = nullptr;
    VOVA::SetupModule *iif = nullptr;
    bool ok = false;

    CapturingCamera()
    {
        Quiet quiet;
        simboard::Board::instance().reset();
        simboard::Sleeps::setInstant(true);
        simboard::IspDriver::installed()->setImageModel(std::make_unique<NoPixelWork>());
        simboard::SensorBoard::instance().place(0, *simboard::chipModelByName("OV5695"));
        camera = std::make_unique<VOVA::Camera>(0, 12, 3, SENSOR_FLIP_NONE);
        VOVA::ParameterList list;
        list.addParameter(VOVA::Parameter("OUT_ENC", "NV21"), true);
        list.addParameter(VOVA::Parameter("OUT_DISP", "RGB888_32"), true);
        ok = VOVA::CameraFactory::populateCameraFromHWVersion(*camera, camera->getSensor()) == QOV_SUCCESS &&
             camera->loadParameters(list) == QOV_SUCCESS && camera->program() == QOV_SUCCESS &&
             camera->allocateBufferPool(2) == QOV_SUCCESS && camera->startCapture() == QOV_SUCCESS;
        pipeline = camera->getPipeline();
        blc = pipeline->getModule(VOVA::STP_BLC);
        iif = pipeline->getModule(VOVA::STP_IIF);
    }
    ~CapturingCamera()
    {
        Quiet quiet;
        if (camera && camera->state == VOVA::Camera::CAM_CAPTURING)
            camera->stopCapture();
        camera.reset();
        simboard::Board::instance().reset();
    }
};

// Runs `shot` once per iteration and reports the allocations it made.
template <class F> void measureShots(benchmark::State &state, F &&shot)
{
    unsigned long allocations = 0;
    for (auto _ : state) {
        const unsigned long before = g_allocations.load(std::memory_order_relaxed);
        if (!shot()) {
            state.SkipWithError("shot failed");
            break;
        }
        allocations += g_allocations.load(std::memory_order_relaxed) - before;
    }
    state.counters["allocs/shot"] =
        benchmark::Counter(static_cast<double>(allocations), benchmark::Counter::kAvgIterations);
}

// One shot through the core; the global modules ask for an update every frame,
// as a control loop writing them would.
void BM_CoreShot(benchmark::State &state)
{
    CapturingCamera cam;
    if (!cam.ok) {
        state.SkipWithError("camera bring-up failed");
        return;
    }
    VOVA::SetupModule *blc = cam.blc, *iif = cam.iif;
    VOVA::Shot shot;
    measureShots(state, [&] {
        blc->requestUpdate();
        iif->requestUpdate();
        return cam.camera->enqueueShot() == QOV_SUCCESS && cam.camera->acquireShot(shot) == QOV_SUCCESS &&
               cam.camera->releaseShot(shot) == QOV_SUCCESS;
    });
}
BENCHMARK(BM_CoreShot)->Unit(benchmark::kMicrosecond);

// The core's own work of a shot, without a driver request: set-up of the
// requested modules, conversion, and the description of an acquired shot
// (buffers, statistics extraction and reverts, timestamps, raw blocks).
void BM_CoreWithoutDriver(benchmark::State &state)
{
    CapturingCamera cam;
    if (!cam.ok) {
        state.SkipWithError("camera bring-up failed");
        return;
    }
    VOVA::Pipeline *pipeline = cam.pipeline;
    VOVA::SetupModule *blc = cam.blc, *iif = cam.iif;
    VOVA::Shot shot;
    if (cam.camera->enqueueShot() != QOV_SUCCESS || cam.camera->acquireShot(shot) != QOV_SUCCESS) {
        state.SkipWithError("shot failed");
        return;
    }
    CI_SHOT *ci = shot.pCIBuffer;
    measureShots(state, [&] {
        blc->requestUpdate();
        iif->requestUpdate();
        int mask = 0;
        const bool ok = pipeline->setupRequested() == QOV_SUCCESS &&
                        MC_PipelineConvert(pipeline->getMCPipeline(), pipeline->getCIPipeline(), &mask) == QOV_SUCCESS &&
                        pipeline->processShot(shot, ci) == QOV_SUCCESS;
        benchmark::DoNotOptimize(shot.metadata);
        return ok;
    });
    cam.camera->releaseShot(shot);
}
BENCHMARK(BM_CoreWithoutDriver)->Unit(benchmark::kMicrosecond);

// The same cycle through the capture-interface library alone (no set-up,
// conversion of nothing, no statistics extraction): the library's and the
// simulated driver's share.
void BM_LibraryShot(benchmark::State &state)
{
    CapturingCamera cam;
    if (!cam.ok) {
        state.SkipWithError("camera bring-up failed");
        return;
    }
    CI_PIPELINE *ci = cam.camera->getPipeline()->getCIPipeline();
    measureShots(state, [&] {
        CI_SHOT *shot = nullptr;
        return CI_PipelineUpdate(ci, 0, nullptr) == QOV_SUCCESS && CI_PipelineTriggerShoot(ci) == QOV_SUCCESS &&
               CI_PipelineAcquireShot(ci, &shot) == QOV_SUCCESS && CI_PipelineReleaseShot(ci, shot) == QOV_SUCCESS;
    });
}
BENCHMARK(BM_LibraryShot)->Unit(benchmark::kMicrosecond);

}  // namespace
