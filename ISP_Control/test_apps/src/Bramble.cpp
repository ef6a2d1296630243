// Bramble's skeleton: the start-up that builds the camera, registers the
// control loops and programs the pipeline, the capture loop of one frame per
// iteration until the exit key, the restart when the outputs change, and the
// terminal in raw mode around it all.
#include "Bramble.h"

#include <poll.h>
#include <signal.h>
#include <sys/time.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "DemoConfiguration.h"
#include "DemoControls.h"
#include "LoopCamera.h"
#include "platform/platform_sleep.h"
#include "vezaracommon/userlog.h"
#include "vova/Camera.h"
#include "vova/ModuleDPF.h"
#include "vova/ModuleOUT.h"
#include "vova/ParameterFileParser.h"
#include "vova/ParameterList.h"
#include "vova/PerfTime.h"
#include "vova/Pipeline.h"
#include "vova/Sensor.h"
#include "vova/Shot.h"
#include "vovatest/perf_controls.h"

#define LOG_TAG "Bramble"

#ifndef BRAMBLE_CHANGELIST
#define BRAMBLE_CHANGELIST "unknown"
#endif

bool enableRawMode(termios &saved)
{
    if (tcgetattr(STDIN_FILENO, &saved) != 0)
        return false;
    termios raw = saved;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    return true;
}

void disableRawMode(termios &saved) { tcsetattr(STDIN_FILENO, TCSANOW, &saved); }

int getch()
{
    static unsigned char key;
    // Only read what is there: a pipe or a file with nothing to read must
    // not hold the loop up any more than a terminal does.
    pollfd input{STDIN_FILENO, POLLIN, 0};
    if (poll(&input, 1, 0) != 1 || !(input.revents & (POLLIN | POLLHUP)))
        return 0xFF;
    if (read(STDIN_FILENO, &key, 1) == 1)
        return key;
    return 0xFF;
}

double currTime()
{
    timeval tv{};
    gettimeofday(&tv, nullptr);
    return tv.tv_sec + tv.tv_usec / 1e6;
}

namespace {

template <class M> M *moduleOf(VOVA::Camera &cam, VOVA::SetupID id)
{
    return dynamic_cast<M *>(cam.getPipeline()->getModule(id));
}

bool displayUsed(VOVA::Camera &cam)
{
    const auto *out = moduleOf<VOVA::ModuleOUT>(cam, VOVA::STP_OUT);
    return out && out->displayType != PXL_NONE;
}

// The sleep before an enqueue: the fixed delay, or a random one drawn
// between the bounds (which the options checked to leave a range).
void delayEnqueue(const DemoConfiguration &config)
{
    QOV_UINT64 sleep = 0;
    if (config.ulEnqueueDelay != 0)
        sleep = config.ulEnqueueDelay;
    else if (config.ulRandomDelayLow != 0 || config.ulRandomDelayHigh != 0)
        sleep = config.ulRandomDelayLow +
                static_cast<QOV_UINT64>(random()) % (config.ulRandomDelayHigh - config.ulRandomDelayLow);
    else
        return;
    printf("Sleeping %lu\n", static_cast<unsigned long>(sleep));
    PLATFORM_Usleep(static_cast<QOV_UINT32>(sleep));
}

// Start-up steps 3 to 22 and the loop; the configuration was parsed.
int capture(DemoConfiguration &config)
{
    const VOVA::ParameterList parameters = VOVA::ParameterFileParser::parseFile(config.pszVezaraSetupArgsFile);
    if (!parameters.validFlag) {
        LOG_ERROR("parsing parameter file '%s' failed\n", config.pszVezaraSetupArgsFile);
        return 1;
    }
    auto monitors = std::make_unique<PerfControls>();
    LoopCamera loop(config);
    if (!loop.camera || loop.camera->state == VOVA::Camera::CAM_ERROR) {
        LOG_ERROR("Failed when creating camera\n");
        return 1;
    }
    VOVA::Camera &cam = *loop.camera;
    if (cam.loadParameters(parameters) != QOV_SUCCESS) {
        LOG_ERROR("loading pipeline setup parameters from file: '%s' failed\n", config.pszVezaraSetupArgsFile);
        return 1;
    }
    const CI_CONNECTION *connection = cam.getConnection();
    if (!connection) {
        LOG_ERROR("failed to access camera's connection!\n");
        return 1;
    }
    const double clockMhz = connection->sHWInfo.ui32RefClockMhz;
    config.loadFormats(parameters, true);
    if (cam.program() != QOV_SUCCESS) {
        LOG_ERROR("Failed while programming pipeline.\n");
        return 1;
    }
    VOVA::Sensor *sensor = cam.getSensor();

    registerControls(config, cam, loop.hwMajor, loop.hwMinor, *monitors);
    if (cam.loadControlParameters(parameters) != QOV_SUCCESS) {
        LOG_ERROR("Failed to load control module parameters\n");
        return 1;
    }
    readBackControls(config, cam);
    if (auto *dpf = moduleOf<VOVA::ModuleDPF>(cam, VOVA::STP_DPF))
        config.bEnableDPF = dpf->bWrite || dpf->bDetect;

    double FPSstartTime = currTime();
    const double frameRate = sensor ? sensor->flFrameRate : 0.0;
    config.applyConfiguration(cam);
    config.bResetCapture = false;
    if (cam.setupModules() != QOV_SUCCESS) {
        LOG_ERROR("Failed to re-setup the pipeline!\n");
        return 1;
    }
    if (cam.program() != QOV_SUCCESS) {
        LOG_ERROR("Failed to re-program the pipeline!\n");
        return 1;
    }
    // The display device is needed only when there is a display output.
    const bool display = displayUsed(cam);
    if (display) {
        if (loop.openDisplay() != 0)
            return 1;
        if (loop.setupTarnDrm() != 0) {
            LOG_ERROR("Failed to setup TARN DRM\n");
            return 1;
        }
    }
    if (loop.startCapture() != 0) {
        LOG_ERROR("Failed to start the capture!\n");
        return 1;
    }
    const int N = static_cast<int>(std::floor(frameRate * 1.5));
    double estimatedFPS = 0.0;

    for (int n = 0;; ++n) {
        const bool window = N >= 1 && n % N == N - 1;
        if (window) {
            const double now = currTime();
            estimatedFPS = N / (now - FPSstartTime);
            FPSstartTime = now;
        }
        const time_t t = time(nullptr);
        tm local{};
        localtime_r(&t, &local);
        printf("[%d/%d %02d:%02d.%02d]\n", local.tm_mday, local.tm_mon, local.tm_hour, local.tm_min, local.tm_sec);
        printf("Frame %d - sensor %dx%d @%3.2f (mode %d - mosaic %d) - estimated FPS %3.2f (%d frames avg. with %d "
               "buffers)\n",
               n, sensor ? sensor->uiWidth : 0, sensor ? sensor->uiHeight : 0, frameRate, config.sensorMode,
               sensor ? static_cast<int>(sensor->eBayerFormat) : 0, estimatedFPS, N, config.nBuffers);
        if (window)
            loop.printInfo();

        if (config.bResetCapture) {
            LOG_INFO("re-starting capture to enable alternative output\n");
            loop.stopCapture();
            if (cam.setupModules() != QOV_SUCCESS) {
                LOG_ERROR("Failed to re-setup the pipeline!\n");
                return 1;
            }
            cam.loadControlParameters(parameters);
            if (cam.program() != QOV_SUCCESS) {
                LOG_ERROR("Failed to re-program the pipeline!\n");
                return 1;
            }
            if (loop.startCapture() != 0) {
                LOG_ERROR("Failed to restart the capture!\n");
                return 1;
            }
        }

        delayEnqueue(config);
        if (cam.enqueueShot() != QOV_SUCCESS) {
            LOG_ERROR("Failed to enqueue a shot.\n");
            return 1;
        }
        if (config.bTestStopStart) {
            LOG_INFO("Testing stop-start issue\n");
            cam.stopCapture();
            loop.printInfo();
            if (cam.startCapture() != QOV_SUCCESS) {
                LOG_ERROR("Failed to restart!\n");
                return 1;
            }
            // The stop dropped the shot enqueued above: with a single buffer
            // it is enqueued again, or the acquire below would wait for nothing.
            const int ahead = std::max(config.nBuffers - 1, 1);
            for (int i = 0; i < ahead; ++i) {
                if (cam.enqueueShot() != QOV_SUCCESS)
                    LOG_ERROR("pre-enqueuing shot %d/%d failed.\n", i + 1, ahead);
            }
            puts("X*X*X Stop/start cycle after enqueue, shouldn't hang X*X*X ");
            config.bTestStopStart = false;
        }

        VOVA::Shot shot;
        if (cam.acquireShot(shot, true) != QOV_SUCCESS) {
            LOG_ERROR("Failed to retrieve processed shot from pipeline.\n");
            loop.printInfo();
            return 1;
        }

        bool bSaveOriginals = false;
        const bool loopActive = config.handleKey(getch(), cam, bSaveOriginals);

        if ((config.bSaveDisplay || config.bSaveEncoder || config.bSaveDE || config.bSaveHDR || config.bSaveRaw2D) &&
            !shot.bFrameError)
            loop.saveResults(shot, config);
        if (bSaveOriginals) {
            config.loadFormats(parameters, false);
            config.bSaveDisplay = config.originalRGB != PXL_NONE;
            config.bSaveEncoder = config.originalYUV != PXL_NONE;
            config.bSaveDE = config.originalBayer != PXL_NONE;
            // A setup file may name a data-extraction format with no point to
            // take it from; the capture could not restart with it.
            if (config.bSaveDE && config.originalDEPoint != CI_INOUT_BLACK_LEVEL &&
                config.originalDEPoint != CI_INOUT_FILTER_LINESTORE) {
                LOG_WARNING("setup file '%s' gives data extraction %s no point to take it from: not saved\n",
                            config.pszVezaraSetupArgsFile, FormatString(config.originalBayer));
                config.bSaveDE = false;
            }
            if (cam.hwInfo.eFunctionalities & CI_INFO_SUPPORTED_HDR_EXT)
                config.bSaveHDR = config.originalHDR != PXL_NONE;
            if (cam.hwInfo.eFunctionalities & CI_INFO_SUPPORTED_RAW2D_EXT)
                config.bSaveRaw2D = config.originalTiff != PXL_NONE;
        }
        if (displayUsed(cam) && display && loop.sendToTarnDrm(shot.DISPLAY) != 0) {
            LOG_ERROR("Failed to send RBG output to DRM\n");
            return 1;
        }
        loop.printInfo(shot, config, clockMhz);
        monitors->updateConv();
        config.applyConfiguration(cam);
        if (bSaveOriginals)
            config.loadFormats(parameters, true);
        if (cam.releaseShot(shot) != QOV_SUCCESS) {
            LOG_ERROR("Failed to release shot.\n");
            return 1;
        }
        if (!loopActive) {
            LOG_INFO("Exiting loop\n");
            loop.stopCapture();
            VOVA::LOG_Perf_Summary();
            return 0;
        }
    }
}

}  // namespace

int run(int argc, char **argv)
{
    DemoConfiguration config;
    if (config.loadParameters(argc, argv) != 0)
        return 1;
    printf("Using sensor %s\n", config.pszSensor);
    printf("Using config file %s\n", config.pszVezaraSetupArgsFile);
    resetSaveCounter();
    resetTimestamps();
    return capture(config);
}

namespace {

// The terminal settings to restore when a signal ends the program in raw
// mode (the interrupt and quit keys and a termination request), and the
// dispositions the run replaced.
termios g_terminalAtStart{};
const int kEndingSignals[] = {SIGINT, SIGTERM, SIGQUIT};
struct sigaction g_previousActions[sizeof(kEndingSignals) / sizeof(kEndingSignals[0])];

// Restores the terminal, then lets the signal end the program as it would
// have without the handler: the disposition was reset to the default on
// entry, and the signal raised again is delivered once the handler returns.
// Async-signal-safe calls only.
void restoreTerminalAndEnd(int number)
{
    const int savedErrno = errno;
    tcsetattr(STDIN_FILENO, TCSANOW, &g_terminalAtStart);
    raise(number);
    errno = savedErrno;
}

// A signal the program was started with ignored stays ignored.
void restoreTerminalOnSignals(const termios &saved)
{
    g_terminalAtStart = saved;
    struct sigaction action {};
    action.sa_handler = restoreTerminalAndEnd;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    for (size_t i = 0; i < sizeof(kEndingSignals) / sizeof(kEndingSignals[0]); ++i) {
        sigaction(kEndingSignals[i], nullptr, &g_previousActions[i]);
        if (g_previousActions[i].sa_handler != SIG_IGN)
            sigaction(kEndingSignals[i], &action, nullptr);
    }
}

void restorePreviousSignalActions()
{
    for (size_t i = 0; i < sizeof(kEndingSignals) / sizeof(kEndingSignals[0]); ++i)
        sigaction(kEndingSignals[i], &g_previousActions[i], nullptr);
}

}  // namespace

int bramble_main(int argc, char **argv)
{
    // Signals stay enabled: one that ends the run must not leave the
    // terminal without echo and line input.
    termios saved{};
    const bool terminal = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        restoreTerminalOnSignals(saved);
        enableRawMode(saved);
    }
    LOG_INFO("CHANGELIST %s - DATE %s\n", BRAMBLE_CHANGELIST, __DATE__);
    const int result = run(argc, argv);
    if (terminal) {
        disableRawMode(saved);
        restorePreviousSignalActions();
    }
    // A run that failed says so in its exit status.
    return result == 0 ? 0 : 1;
}
