// Bramble's pieces on their own: reading keys, the exposure step without an
// exposure control, the flicker modes, the output formats of a setup file
// and the checks of the command line.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "Bramble.h"
#include "bramble_test_support.h"
#include "DemoConfiguration.h"
#include "DemoControls.h"
#include "vovatest/perf_controls.h"
#include "vova/ControlDNS.h"
#include "vova/ParameterFileParser.h"
#include "vova/ParameterList.h"

namespace {

using brambletest::parse;
using brambletest::Parsed;

// Standard input replaced by `fd` for the life of the object.
class StdinFrom {
public:
    explicit StdinFrom(int fd) : saved(dup(STDIN_FILENO)) { dup2(fd, STDIN_FILENO); }
    ~StdinFrom()
    {
        dup2(saved, STDIN_FILENO);
        close(saved);
    }

private:
    int saved;
};

TEST(BrambleKeys, ReadingAKeyNeverWaitsOnAnEmptyPipe)
{
    int fds[2];
    ASSERT_EQ(0, pipe(fds));
    {
        StdinFrom in(fds[0]);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(0xFF, getch());  // nothing written yet, writer still open
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
        ASSERT_EQ(2, write(fds[1], "sx", 2));
        EXPECT_EQ('s', getch());
        EXPECT_EQ('x', getch());
        EXPECT_EQ(0xFF, getch());
        close(fds[1]);
        EXPECT_EQ(0xFF, getch());  // end of input
    }
    close(fds[0]);
}

// A pseudo-terminal: the terminal side as a user's standard input, the other
// side to type on.
class PseudoTerminal {
public:
    PseudoTerminal()
    {
        typing = posix_openpt(O_RDWR | O_NOCTTY);
        if (typing >= 0 && grantpt(typing) == 0 && unlockpt(typing) == 0)
            terminal = open(ptsname(typing), O_RDWR | O_NOCTTY);
    }
    ~PseudoTerminal()
    {
        if (terminal >= 0)
            close(terminal);
        if (typing >= 0)
            close(typing);
    }
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;
    termios attributes() const
    {
        termios t{};
        tcgetattr(terminal, &t);
        return t;
    }

    int typing = -1, terminal = -1;
};

// On a terminal the keys come without line buffering and echo and are read
// without waiting; nothing else changes (signals stay on), and the
// attributes saved give the terminal back as it was.
TEST(BrambleKeys, RawModeOnATerminalAndBack)
{
    PseudoTerminal pty;
    ASSERT_GE(pty.terminal, 0);
    const termios before = pty.attributes();
    ASSERT_NE(0u, before.c_lflag & ICANON);
    ASSERT_NE(0u, before.c_lflag & ECHO);
    ASSERT_NE(0u, before.c_lflag & ISIG);
    StdinFrom in(pty.terminal);
    termios saved{};
    ASSERT_TRUE(enableRawMode(saved));
    EXPECT_EQ(before.c_lflag, saved.c_lflag);
    const termios raw = pty.attributes();
    EXPECT_EQ(before.c_lflag & ~static_cast<tcflag_t>(ICANON | ECHO), raw.c_lflag);
    EXPECT_EQ(before.c_iflag, raw.c_iflag);
    EXPECT_EQ(before.c_oflag, raw.c_oflag);
    EXPECT_EQ(0, raw.c_cc[VMIN]);
    EXPECT_EQ(0, raw.c_cc[VTIME]);

    // a key is there as soon as it is typed, without an end of line
    ASSERT_EQ(1, write(pty.typing, "k", 1));
    int key = 0xFF;
    for (int tries = 0; tries < 1000 && key == 0xFF; ++tries) {
        key = getch();
        if (key == 0xFF)
            usleep(1000);
    }
    EXPECT_EQ('k', key);
    EXPECT_EQ(0xFF, getch());

    disableRawMode(saved);
    const termios after = pty.attributes();
    EXPECT_EQ(before.c_lflag, after.c_lflag);
    EXPECT_EQ(before.c_cc[VMIN], after.c_cc[VMIN]);
    EXPECT_EQ(before.c_cc[VTIME], after.c_cc[VTIME]);
}

// Standard input that is not a terminal is left alone.
TEST(BrambleKeys, RawModeNeedsATerminal)
{
    int fds[2];
    ASSERT_EQ(0, pipe(fds));
    {
        StdinFrom in(fds[0]);
        termios saved{};
        EXPECT_FALSE(enableRawMode(saved));
    }
    close(fds[0]);
    close(fds[1]);
}

void markerHandler(int) {}

// The disposition of each signal the program may touch: the ending ones and
// those a stray write could reach.
std::vector<struct sigaction> dispositions()
{
    std::vector<struct sigaction> all(NSIG);
    for (int s = 1; s < NSIG; ++s)
        sigaction(s, nullptr, &all[s]);
    return all;
}

// The program gives the terminal back as it found it, here after a run that
// ends at once ("-h"), and every signal's disposition with it: the ending
// signals it caught get their caller's handlers again (an ignored one stays
// ignored), and no other signal is touched.
TEST(BrambleKeys, ProgramGivesTheTerminalBack)
{
    PseudoTerminal pty;
    ASSERT_GE(pty.terminal, 0);
    const termios before = pty.attributes();
    struct sigaction marker {}, ignore {};
    marker.sa_handler = markerHandler;
    sigemptyset(&marker.sa_mask);
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    std::vector<struct sigaction> callers(NSIG);
    // the ending signals with a handler (interrupt, quit) or ignored
    // (termination), and signals a test can spare set too, so that a
    // disposition written by mistake shows
    const int marked[] = {SIGINT, SIGQUIT, SIGHUP, SIGUSR1, SIGUSR2, SIGALRM, SIGWINCH, SIGURG, SIGTTIN, SIGTTOU};
    const int ignored[] = {SIGTERM, SIGPIPE, SIGVTALRM, SIGPROF, SIGTSTP, SIGCONT, SIGXCPU, SIGXFSZ};
    for (int s : marked)
        sigaction(s, &marker, &callers[s]);
    for (int s : ignored)
        sigaction(s, &ignore, &callers[s]);
    const std::vector<struct sigaction> set = dispositions();
    std::vector<std::string> words = {"bramble", "-h"};
    std::vector<char *> argv;
    for (std::string &w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    int status = -1;
    {
        StdinFrom in(pty.terminal);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        status = bramble_main(static_cast<int>(words.size()), argv.data());
        testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
    }
    EXPECT_EQ(1, status);
    const termios after = pty.attributes();
    EXPECT_EQ(before.c_lflag, after.c_lflag);
    EXPECT_EQ(before.c_cc[VMIN], after.c_cc[VMIN]);
    const std::vector<struct sigaction> back = dispositions();
    for (int s = 1; s < NSIG; ++s) {
        EXPECT_EQ(reinterpret_cast<void *>(set[s].sa_handler), reinterpret_cast<void *>(back[s].sa_handler))
            << strsignal(s);
        EXPECT_EQ(set[s].sa_flags, back[s].sa_flags) << strsignal(s);
    }
    for (int s : marked)
        sigaction(s, &callers[s], nullptr);
    for (int s : ignored)
        sigaction(s, &callers[s], nullptr);
}

// Wall-clock seconds with their fraction.
TEST(BrambleKeys, CurrentTimeIsWallClockSeconds)
{
    const double system = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    EXPECT_NEAR(system, currTime(), 0.5);
    const double start = currTime();
    usleep(20000);
    const double elapsed = currTime() - start;
    EXPECT_GE(elapsed, 0.019);
    EXPECT_LT(elapsed, 5.0);
}

TEST(BrambleKeys, ExposureStepsStopAtTheSensorRange)
{
    const struct {
        unsigned long current, minimum, maximum;
        bool up;
        unsigned long expected;
    } cases[] = {
        {1000, 10, 30000, false, 900}, {150, 60, 30000, false, 60}, {50, 60, 30000, false, 60},
        {60, 0, 30000, false, 0},      {0, 0, 30000, false, 0},     {1000, 10, 30000, true, 1100},
        {29950, 10, 30000, true, 30000},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.expected, steppedExposure(c.current, c.minimum, c.maximum, c.up))
            << c.current << (c.up ? " up" : " down");
}

TEST(BrambleConfiguration, FlickerKeyCyclesFromOffAndNamesEachMode)
{
    DemoConfiguration config;
    EXPECT_EQ("OFF", config.getFlickerModeStr());
    const char *names[] = {"AUTO", "50Hz", "60Hz", "OFF", "AUTO"};
    for (const char *name : names) {
        config.nextAeFlickerMode();
        EXPECT_EQ(name, config.getFlickerModeStr());
        EXPECT_EQ(config.currentAeFlicker, config.getFlickerModeFromState());
    }
    config.flickerRejection = true;
    config.autoFlickerRejection = false;
    config.flickerRejectionFreq = 55.0;
    EXPECT_EQ(AE_FLICKER_OFF, config.getFlickerModeFromState());
    config.currentAeFlicker = AE_FLICKER_MAX;
    EXPECT_EQ("FAILURE", config.getFlickerModeStr());
}

TEST(BrambleConfiguration, FormatsOfTheSetupFileWithTheirDefaults)
{
    DemoConfiguration config;
    VOVA::ParameterList empty;
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    config.loadFormats(empty, true);
    const std::string log = testing::internal::GetCapturedStderr() + testing::internal::GetCapturedStdout();
    EXPECT_EQ(YVU_420_PL12_8, config.originalYUV);
    EXPECT_EQ(RGB_888_32, config.originalRGB);
    EXPECT_EQ(BAYER_RGGB_12, config.originalBayer);
    EXPECT_EQ(CI_INOUT_BLACK_LEVEL, config.originalDEPoint);
    EXPECT_EQ(BGR_101010_32, config.originalHDR);
    EXPECT_EQ(BAYER_TIFF_12, config.originalTiff);
    for (const char *message : {"default YUV forced to NV21", "default RGB forced to BI_RGB32",
                                "default DE forced to RGGB12", "default HDF forced to BI_BGR32-10bit",
                                "default Raw2D forced to TIFF12"})
        EXPECT_NE(std::string::npos, log.find(message)) << message << "\n" << log;

    std::istringstream text("OUT_ENC NV12\nOUT_DE_POINT 2\nOUT_DE_HDF NONE\n");
    VOVA::ParameterList list;
    VOVA::ParameterFileParser::parse(text, list);
    config.loadFormats(list, false);
    EXPECT_EQ(YUV_420_PL12_8, config.originalYUV);
    EXPECT_EQ(PXL_NONE, config.originalRGB);
    EXPECT_EQ(CI_INOUT_FILTER_LINESTORE, config.originalDEPoint);
    EXPECT_EQ(PXL_NONE, config.originalHDR);
}

TEST(BrambleOptions, ValuesAreClippedCheckedOrCompleted)
{
    const std::vector<std::string> required = {"-setupFile", "s.txt", "-sensor", "OV5695_0"};
    auto with = [&](std::vector<std::string> more) {
        more.insert(more.begin(), required.begin(), required.end());
        return more;
    };
    {
        DemoConfiguration c;
        const Parsed p = parse(c, with({"-wbtsTemporalStretch", "100", "-wbtsWeightsBase", "1.0"}));
        EXPECT_EQ(0, p.result) << p.log();
        EXPECT_EQ(200, c.WBTSTemporalStretch);
        EXPECT_TRUE(c.WBTSTemporalStretchOverride);
        EXPECT_FLOAT_EQ(1.001f, c.WBTSWeightsBase);
        EXPECT_NE(std::string::npos, p.log().find("-wbtsTemporalStretch below minimum. Clipping"));
        EXPECT_NE(std::string::npos, p.log().find("-wbtsWeightsBase parameter < 1.001000. Clipping"));
    }
    {
        DemoConfiguration c;
        const Parsed p = parse(c, with({"-wbtsTemporalStretch", "6000", "-DG_blanking", "40", "-sensorFlip", "1",
                                        "-chooseAWB", "5", "-featuresWBTS", "3"}));
        EXPECT_EQ(0, p.result) << p.log();
        EXPECT_EQ(5000, c.WBTSTemporalStretch);
        EXPECT_EQ(40u, c.aBlanking[0]);
        EXPECT_EQ(14u, c.aBlanking[1]);
        EXPECT_NE(std::string::npos, p.log().find("-DG_blanking incomplete, second value for blanking is assumed to be 14"));
        EXPECT_TRUE(c.sensorFlip[0]);
        EXPECT_FALSE(c.sensorFlip[1]);
        EXPECT_NE(std::string::npos, p.log().find("Warning: incomplete -sensorFlip, flipping is H=1 V=0"));
        EXPECT_EQ(WB_PLANCKIAN, c.AWBAlgorithm);
        EXPECT_EQ(1u, c.WBTSFeatures);
    }
    {
        DemoConfiguration c;
        const Parsed p = parse(c, {});
        EXPECT_EQ(1, p.result);
        EXPECT_NE(std::string::npos, p.log().find("No setup file provided"));
        EXPECT_NE(std::string::npos, p.log().find("no sensor provided"));
    }
    {
        DemoConfiguration c;
        const Parsed p = parse(c, with({"-delay", "1000", "-randomDelayLow", "10", "-randomDelayHigh", "20"}));
        EXPECT_EQ(0, p.result) << p.log();
        EXPECT_EQ(1000u, c.ulEnqueueDelay);
        EXPECT_EQ(10u, c.ulRandomDelayLow);
        EXPECT_EQ(20u, c.ulRandomDelayHigh);
    }
    {
        DemoConfiguration c;
        const Parsed p = parse(c, with({"-measureAAA"}));
        EXPECT_EQ(0, p.result) << p.log();
        EXPECT_FALSE(c.measureAE);
    }
}

TEST(BrambleMonitor, CountsTheFramesALoopNeedsToConverge)
{
    VOVA::ControlDNS loop(1.0, "VOVA_CTRL_DNS");
    ConvergenceSpeed speed(&loop);
    speed.update(true);  // converged at once: nothing to count
    EXPECT_EQ(ConvergenceSpeed::PERF_IDLE, speed.state());
    speed.update(false);  // leaves convergence: this frame is not counted
    EXPECT_EQ(ConvergenceSpeed::PERF_COUNTING_FRAMES, speed.state());
    for (int i = 0; i < 11; ++i)
        speed.update(false);
    speed.update(true);
    EXPECT_EQ(ConvergenceSpeed::PERF_COMPLETED, speed.state());
    EXPECT_EQ(12, speed.frameCount());
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    speed.update(true);
    std::string log = testing::internal::GetCapturedStderr() + testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos, log.find("VOVA_CTRL_DNS converged in 12 frames\n")) << log;
    EXPECT_EQ(ConvergenceSpeed::PERF_IDLE, speed.state());

    speed.update(false);
    speed.update(true);
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    speed.update(false);  // converged, then left again at once
    log = testing::internal::GetCapturedStderr() + testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos, log.find("VOVA_CTRL_DNS converged in 1 frames, immediate restart")) << log;
    EXPECT_EQ(ConvergenceSpeed::PERF_COUNTING_FRAMES, speed.state());
    EXPECT_EQ(0, speed.frameCount());
}

}  // namespace
