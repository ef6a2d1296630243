// Software cost of one shot through the control core on the simulated
// board: set-up of the modules that requested an update, conversion and
// update, trigger, acquire with the statistics extraction and reverts, and
// release. The simulated ISP's pixel work is switched off (an image model
// that does nothing), so what remains is the core, the capture-interface
// library and the simulated driver's request handling. The same cycle
// through the capture-interface library alone shows the share of those two.
//
// The per-shot cost of all control loops together on one metadata record is
// measured on the same camera.
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
#include "ci/ci_gasket.h"
#include "mc/mc_conversions.h"
#include "simboard/board.h"
#include "simboard/isp_driver.h"
#include "simboard/sensor_chip.h"
#include "simboard/sensor_models.h"
#include "simboard/sleep.h"
#include "vova/Camera.h"
#include "vova/CameraFactory.h"
#include "vezaracommon/lsh_grid.h"
#include "vova/ControlAF.h"
#include "vova/ControlAWB.h"
#include "vova/ControlLBC.h"
#include "vova/ControlLSH.h"
#include "vova/ControlTNM.h"
#include "vova/Control.h"
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

// A stand-in sensor streaming one small still frame into a gasket: the
// board's own per-frame copy of the sensor image stays negligible.
class StillSource : public simboard::GasketSource {
public:
    explicit StillSource(simboard::BayerFrame frame) : m_frame(std::move(frame)) {}
    bool streaming() const override { return true; }
    uint64_t nextFrame(simboard::BayerFrame &frame) override
    {
        frame = m_frame;
        return 33'000'000;
    }

private:
    simboard::BayerFrame m_frame;
};

// The smallest frame the tone mapper's column check accepts.
constexpr unsigned kSmallWidth = 640;
constexpr unsigned kSmallHeight = 480;

// A capturing camera on a borrowed 640 x 480 sensor fed by a StillSource on gasket 0.
struct SmallFrameCamera {
    VOVA::Sensor sensor;
    std::unique_ptr<VOVA::Camera> camera;
    CI_GASKET gasket{};
    bool ok = false;

    SmallFrameCamera()
    {
        Quiet quiet;
        simboard::Board::instance().reset();
        auto driver = simboard::IspDriver::installed();
        driver->setImageModel(std::make_unique<NoPixelWork>());
        simboard::BayerFrame frame;
        frame.width = kSmallWidth;
        frame.height = kSmallHeight;
        frame.samples.assign(kSmallWidth * kSmallHeight, 200);
        driver->attachSource(0, std::make_shared<StillSource>(frame));
        sensor.uiWidth = kSmallWidth;
        sensor.uiHeight = kSmallHeight;
        sensor.eBayerFormat = MOSAIC_RGGB;
        camera = std::make_unique<VOVA::Camera>(0, &sensor);
        gasket.uiGasket = 0;
        gasket.uiWidth = kSmallWidth;
        gasket.uiHeight = kSmallHeight;
        VOVA::ParameterList list;
        list.addParameter(VOVA::Parameter("OUT_ENC", "NV21"), true);
        list.addParameter(VOVA::Parameter("OUT_DISP", "RGB888_32"), true);
        ok = CI_GasketAcquire(&gasket, camera->getConnection()) == QOV_SUCCESS &&
             VOVA::CameraFactory::populateCameraFromHWVersion(*camera, &sensor) == QOV_SUCCESS &&
             camera->loadParameters(list) == QOV_SUCCESS && camera->program() == QOV_SUCCESS &&
             camera->allocateBufferPool(2) == QOV_SUCCESS && camera->startCapture() == QOV_SUCCESS;
    }
    ~SmallFrameCamera()
    {
        Quiet quiet;
        if (camera && camera->state == VOVA::Camera::CAM_CAPTURING)
            camera->stopCapture();
        if (camera && camera->getConnection())
            CI_GasketRelease(&gasket, camera->getConnection());
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

// One shot through the core; the global modules ask for an update every
// frame, as a control loop writing them would.
template <class C> void coreShots(benchmark::State &state)
{
    C cam;
    if (!cam.ok) {
        state.SkipWithError("camera bring-up failed");
        return;
    }
    VOVA::Pipeline *pipeline = cam.camera->getPipeline();
    VOVA::SetupModule *blc = pipeline->getModule(VOVA::STP_BLC);
    VOVA::SetupModule *iif = pipeline->getModule(VOVA::STP_IIF);
    VOVA::Shot shot;
    measureShots(state, [&] {
        blc->requestUpdate();
        iif->requestUpdate();
        return cam.camera->enqueueShot() == QOV_SUCCESS && cam.camera->acquireShot(shot) == QOV_SUCCESS &&
               cam.camera->releaseShot(shot) == QOV_SUCCESS;
    });
}

// On the OV5695 chip: the board copies its 1296 x 972 image into the ISP every frame.
void BM_CoreShot(benchmark::State &state) { coreShots<CapturingCamera>(state); }
BENCHMARK(BM_CoreShot)->Unit(benchmark::kMicrosecond);

// With a small input frame: the board's copy of the sensor image no longer dominates.
void BM_CoreShotSmallFrame(benchmark::State &state) { coreShots<SmallFrameCamera>(state); }
BENCHMARK(BM_CoreShotSmallFrame)->Unit(benchmark::kMicrosecond);

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
    VOVA::Pipeline *pipeline = cam.camera->getPipeline();
    VOVA::SetupModule *blc = pipeline->getModule(VOVA::STP_BLC);
    VOVA::SetupModule *iif = pipeline->getModule(VOVA::STP_IIF);
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

// A colour calibration at 3000, 5000 and 6500 K: identity matrices and the
// gains of a sensor with weak red and blue.
VOVA::ParameterList whiteBalanceCalibration()
{
    const char *gains[3][4] = {{"1.1", "1", "1", "2.8"}, {"1.65", "1", "1", "1.6"}, {"1.9", "1", "1", "1.32"}};
    const char *kelvin[3] = {"3000", "5000", "6500"};
    VOVA::ParameterList list;
    list.addParameter(VOVA::Parameter("WB_CORRECTIONS", "3"), true);
    for (int i = 0; i < 3; i++) {
        const std::string n = std::to_string(i);
        list.addParameter(VOVA::Parameter("WB_TEMPERATURE_" + n, kelvin[i]), true);
        list.addParameter(VOVA::Parameter("WB_GAINS_" + n, std::vector<std::string>(gains[i], gains[i] + 4)), true);
    }
    return list;
}

// Every control loop of the factory on one metadata record, as the registry
// runs them after an acquire: exposure (never converging on this record, so
// it programs the sensor every time), focus (scanning again whenever idle),
// tone mapping with the gain-adaptive and local modes, denoiser, light-based
// control with a table of sets, the Planckian white balance with a
// calibration on a grey scene, and lens shading choosing among three grids.
void BM_AllLoopsOneShot(benchmark::State &state)
{
    CapturingCamera cam;
    if (!cam.ok) {
        state.SkipWithError("camera bring-up failed");
        return;
    }
    VOVA::Control loops;
    {
        Quiet quiet;
        for (VOVA::ControlModule *loop : VOVA::CameraFactory::controlModulesFromHWVersion(2, 7))
            loops.registerControlModule(loop, cam.camera->getPipeline());
        loops.loadAll(whiteBalanceCalibration());
        loops.configureStatistics();
        // the lens-shading loop follows the white balance over three grids
        auto *lsh = static_cast<VOVA::ControlLSH *>(loops.getControlModule(VOVA::CTRL_LSH));
        lsh->registerCtrlAWB(static_cast<VOVA::ControlAWB *>(loops.getControlModule(VOVA::CTRL_AWB)));
        for (unsigned kelvin : {2800u, 4000u, 6500u}) {
            LSH_GRID grid{};
            LSH_CreateMatrix(&grid, 648, 486, 64);
            const float flat[4] = {1.0f, 1.0f, 1.0f, 1.0f};
            for (QOV_UINT8 c = 0; c < LSH_NUM_CHANNELS; c++)
                LSH_FillLinear(&grid, c, flat);
            QOV_UINT32 id = 0;
            if (lsh->addMatrix(kelvin, grid, id, 1.0, 8) != QOV_SUCCESS)
                LSH_Free(&grid);
        }
    }
    auto *tnm = static_cast<VOVA::ControlTNM *>(loops.getControlModule(VOVA::CTRL_TNM));
    tnm->enableAdaptiveTNM(true);
    tnm->enableLocalTNM(true);
    auto *lbc = static_cast<VOVA::ControlLBC *>(loops.getControlModule(VOVA::CTRL_LBC));
    for (int i = 0; i < 4; i++) {
        VOVA::LightCorrection set;
        set.lightLevel = 0.01 * (i + 1);
        set.sharpness = 0.1 * (i + 1);
        lbc->addConfiguration(set);
    }
    auto *af = static_cast<VOVA::ControlAF *>(loops.getControlModule(VOVA::CTRL_AF));

    VOVA::Metadata metadata{};
    for (int bin = 0; bin < 64; bin++)
        metadata.histogramStats.globalHistogram[bin] = 1000u + 37u * static_cast<unsigned>(bin % 11);
    for (int r = 0; r < 7; r++)
        for (int c = 0; c < 7; c++) {
            for (int bin = 0; bin < 16; bin++)
                metadata.histogramStats.regionHistograms[r][c][bin] = bin < 6 ? 400u : 50u;
            metadata.focusStats.gridSharpness[r][c] = 1000u * static_cast<unsigned>(r + c + 1);
        }
    metadata.flickerStats.flickerStatus = FLD_50HZ;
    for (auto &row : metadata.autoWhiteBalanceStats.tileStats)
        for (MC_TILE_STATS_AWS &tile : row)
            tile = {1000 * 9.4, 1000 * 9.6, 1000 * 10.0, 1000};
    {
        Quiet quiet;
        loops.runControlModules(VOVA::UPDATE_SHOT, metadata);  // the focus loop initialises
    }
    measureShots(state, [&] {
        if (af->getState() == VOVA::ControlAF::AF_IDLE)
            af->setCommand(VOVA::ControlAF::AF_TRIGGER);
        return loops.runControlModules(VOVA::UPDATE_SHOT, metadata) == QOV_SUCCESS;
    });
}
BENCHMARK(BM_AllLoopsOneShot)->Unit(benchmark::kMicrosecond);

}  // namespace
