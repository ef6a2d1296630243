// Bramble under bad input: values its options cannot mean, arguments no
// option uses, a pool the driver cannot hold, keys pushed past their range
// and setup files that name an output without a point to take it from. Each
// ends in a clear error and exit status 1, or the run goes on.
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <utmp.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>

#include "bramble_test_support.h"

namespace brambletest {
namespace {

std::vector<std::string> sensorArgs(std::vector<std::string> extra)
{
    std::vector<std::string> args = {"-sensor", "OV5695_0", "-sensorMode", "1", "-setupFile", kSensorSetup};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

TEST_F(BrambleRun, ValuesAnOptionCannotMeanAreRefusedByName)
{
    placeSensor();
    const struct {
        std::vector<std::string> extra;
        const char *refusal;
        const char *option;
    } cases[] = {
        // NaN passes both clips of the weight base and upsets the smoothing
        {{"-wbtsWeightsBase", "nan"}, "parameter '-wbtsWeightsBase' refuses 'nan': not a number",
         "while parsing parameter -wbtsWeightsBase"},
        {{"-sensorGain", "nan"}, "parameter '-sensorGain' refuses 'nan': not a number",
         "while parsing parameter -sensorGain"},
        // read as 4294967295: a sleep of 71 minutes per frame, a pool of 4294967295 buffers
        {{"-delay", "-1"}, "parameter '-delay' refuses '-1': a negative number where an unsigned one is needed",
         "while parsing parameter -delay"},
        {{"-nBuffers", "-1"}, "parameter '-nBuffers' refuses '-1': a negative number where an unsigned one is needed",
         "while parsing parameter -nBuffers"},
        // cut to 32 bits: 2 buffers; kept in an int: a negative count
        {{"-nBuffers", "4294967298"},
         "parameter '-nBuffers' refuses '4294967298': a number beyond the unsigned range 0 to 4294967295",
         "while parsing parameter -nBuffers"},
        {{"-nBuffers", "3000000000"}, "-nBuffers 3000000000 does not fit: the range is 0 to 2147483647", "usage()"},
        // an array of two whose first value cannot be read
        {{"-DG_blanking", "-1", "20"}, "parameter '-DG_blanking' refuses '-1'", "while parsing parameter -DG_blanking"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.refusal);
        const RunResult r = run(sensorArgs(c.extra), "x");
        EXPECT_EQ(1, r.status);
        EXPECT_TRUE(r.contains(c.refusal)) << r.output;
        EXPECT_TRUE(r.contains(c.option)) << r.output;
        EXPECT_FALSE(r.contains("Frame 0 "));
        EXPECT_FALSE(r.contains("Sleeping"));
        EXPECT_FALSE(r.contains("unknown parameter"));  // the refusal is the one report of the value
    }
}

// A setup file or an option file that never ends is refused by name before
// any camera exists, and so is one with a line beyond the bound.
TEST_F(BrambleRun, EndlessOrOverlongFilesAreRefusedByName)
{
    placeSensor();
    const std::string longLine = (dir / "long.txt").string();
    std::ofstream(longLine) << "# options\n-nBuffers " << std::string(70000, '3') << "\n";
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> messages;
    } cases[] = {
        {{"-sensor", "OV5695_0", "-setupFile", "/dev/zero"},
         {"file '/dev/zero': line 1 is longer than 65536 bytes\n", "parsing parameter file '/dev/zero' failed\n"}},
        {{"-sensor", "OV5695_0", "-setupFile", longLine},
         {"file '" + longLine + "': line 2 is longer than 65536 bytes\n",
          "parsing parameter file '" + longLine + "' failed\n"}},
        {{"-sensor", "OV5695_0", "-setupFile", kSensorSetup, "-source", "/dev/zero"},
         {"file '/dev/zero': line 1 is longer than 65536 bytes\nfailed to source file '/dev/zero'\n",
          "unable to parse command line\n"}},
        {{"-source", longLine, "-sensor", "OV5695_0", "-setupFile", kSensorSetup},
         {"file '" + longLine + "': line 2 is longer than 65536 bytes\n", "unable to parse command line\n"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const RunResult r = run(c.args, "x");
        EXPECT_EQ(1, r.status);
        for (const std::string &message : c.messages)
            EXPECT_TRUE(r.contains(message)) << message << "\n" << r.output;
        EXPECT_FALSE(r.contains("Failed when creating camera"));
        EXPECT_FALSE(r.contains("Frame 0 "));
    }
}

// Whether the child has ended, without collecting its status.
bool childEnded(pid_t child)
{
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == child;
}

// Reads what the child on the other side of a terminal writes until `wanted`
// shows (true), or until the child ends or the time is up (false). An empty
// `wanted` waits for the end.
bool readTerminalUntil(int master, pid_t child, const std::string &wanted, std::string &seen,
                       std::chrono::seconds limit = std::chrono::seconds(60))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (wanted.empty() || seen.find(wanted) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline || childEnded(child))
            return false;
        pollfd in{master, POLLIN, 0};
        if (poll(&in, 1, 100) == 1) {
            char chunk[4096];
            const ssize_t got = read(master, chunk, sizeof chunk);
            if (got > 0)
                seen.append(chunk, static_cast<size_t>(got));
        }
    }
    return true;
}

// The interrupt and quit keys on the terminal and SIGTERM in the middle of a
// run: the terminal gets its echo and line input back, and the program ends
// by that signal.
TEST_F(BrambleRun, EndingSignalGivesTheTerminalBack)
{
    placeSensor();
    const struct {
        int signal;
        int key;  // the terminal's key for the signal, or -1 to send it
    } cases[] = {{SIGINT, VINTR}, {SIGQUIT, VQUIT}, {SIGTERM, -1}};
    for (const auto &c : cases) {
        SCOPED_TRACE(strsignal(c.signal));
        int master = -1, slave = -1;
        ASSERT_EQ(0, openpty(&master, &slave, nullptr, nullptr, nullptr));
        termios before{};
        ASSERT_EQ(0, tcgetattr(slave, &before));
        ASSERT_EQ(ICANON | ECHO | ISIG, before.c_lflag & (ICANON | ECHO | ISIG));
        fflush(nullptr);
        const pid_t child = fork();
        ASSERT_NE(-1, child);
        if (child == 0) {
            // The terminal becomes the program's own, as in a shell.
            close(master);
            if (login_tty(slave) != 0)
                _exit(3);
            if (write(STDOUT_FILENO, "started\n", 8) != 8)
                _exit(3);
            const rlimit noCore{0, 0};  // the quit key dumps no core
            setrlimit(RLIMIT_CORE, &noCore);
            std::vector<std::string> words = {"bramble", "-sensor", "OV5695_0", "-sensorMode", "1", "-setupFile",
                                              kSensorSetup};
            std::vector<char *> argv;
            for (std::string &w : words)
                argv.push_back(w.data());
            argv.push_back(nullptr);
            bramble_main(static_cast<int>(words.size()), argv.data());
            _exit(4);  // the run ended on its own
        }
        std::string seen;
        if (!readTerminalUntil(master, child, "started", seen, std::chrono::seconds(10))) {
            // A user-mode emulator may not run a forked process at all.
            const bool hung = !childEnded(child);
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
            close(master);
            close(slave);
            if (hung)
                GTEST_SKIP() << "a forked process does not run here";
            FAIL() << "the terminal could not be made the program's own";
        }
        const bool looping = readTerminalUntil(master, child, "Frame 2 - ", seen);
        EXPECT_TRUE(looping) << seen;
        termios during{};
        EXPECT_EQ(0, tcgetattr(slave, &during));
        EXPECT_EQ(ISIG, during.c_lflag & (ICANON | ECHO | ISIG)) << "raw mode, signals on";
        if (looping && c.key >= 0) {
            const char key = static_cast<char>(during.c_cc[c.key]);
            EXPECT_EQ(1, write(master, &key, 1));
        } else if (looping) {
            kill(child, c.signal);
        }
        readTerminalUntil(master, child, "", seen);
        if (!childEnded(child)) {
            ADD_FAILURE() << "the program goes on after the signal";
            kill(child, SIGKILL);
        }
        int status = 0;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << std::hex << status;
        termios after{};
        EXPECT_EQ(0, tcgetattr(slave, &after));
        EXPECT_EQ(before.c_lflag, after.c_lflag);
        EXPECT_EQ(before.c_cc[VMIN], after.c_cc[VMIN]);
        EXPECT_EQ(before.c_cc[VTIME], after.c_cc[VTIME]);
        close(master);
        close(slave);
    }
}

TEST_F(BrambleRun, ArgumentsNoOptionUsesAreNamedAndTheRunGoesOn)
{
    placeSensor();
    RunResult r = run({"-sensor", "OV5695_0", "-sensormode", "1", "-setupFile", kSensorSetup}, ".x");
    EXPECT_EQ(0, r.status) << r.output;
    EXPECT_EQ(1u, r.count("'-sensormode' unknown parameter"));
    EXPECT_EQ(1u, r.count("'1' unknown parameter"));
    EXPECT_EQ(2u, r.count("unknown parameter"));
    EXPECT_EQ(1u, r.count("2 command-line argument(s) used by no option, ignored"));
    EXPECT_TRUE(r.contains("(mode 0 - mosaic")) << "the default mode is used";
    EXPECT_TRUE(r.contains("Exiting loop"));

    r = run(sensorArgs({"-delay", "5", "-sensorFlip", "0", "1"}), "x");
    EXPECT_EQ(0, r.status) << r.output;
    EXPECT_FALSE(r.contains("unknown parameter")) << r.output;
    EXPECT_FALSE(r.contains("used by no option"));
}

TEST_F(BrambleRun, APoolTheDriverCannotHoldEndsInAnErrorAndTheDisplayImage)
{
    placeSensor();
    display->setPngPath((dir / "display.png").string());
    const RunResult r = run(sensorArgs({"-nBuffers", "20000"}), "x");
    EXPECT_EQ(1, r.status);
    EXPECT_TRUE(r.contains("Failed to add buffer")) << r.output;
    EXPECT_TRUE(r.contains("Failed to start the capture!")) << r.output;
    // the frame shown at start-up is kept when the display closes
    EXPECT_GT(std::filesystem::file_size(dir / "display.png"), 0u);
    EXPECT_FALSE(r.contains("simboard: ")) << r.output;
}

TEST_F(BrambleRun, StopStartWithOneBufferGoesOn)
{
    placeSensor();
    const RunResult r = run(sensorArgs({"-nBuffers", "1"}), ".@..x");
    EXPECT_EQ(0, r.status) << r.output;
    EXPECT_EQ(1u, r.count("X*X*X Stop/start cycle after enqueue, shouldn't hang X*X*X"));
    EXPECT_TRUE(r.contains("Frame 4 - ")) << r.output;
    EXPECT_FALSE(r.contains("Failed to retrieve processed shot from pipeline."));
    EXPECT_TRUE(r.contains("Exiting loop"));
}

TEST_F(BrambleRun, SaveAllLeavesOutADataExtractionWithoutPoint)
{
    // A legal setup file: point 3 is no extraction, yet a Bayer format is named.
    std::ifstream in(kSensorSetup);
    std::stringstream text;
    text << in.rdbuf();
    std::string setup = text.str();
    const std::string point = "OUT_DE_POINT 1";
    ASSERT_NE(std::string::npos, setup.find(point));
    setup.replace(setup.find(point), point.size(), "OUT_DE_POINT 3");
    std::ofstream(dir / "setup.txt") << setup;

    placeSensor();
    const RunResult r =
        run({"-sensor", "OV5695_0", "-sensorMode", "1", "-setupFile", (dir / "setup.txt").string()}, ".a...x");
    EXPECT_EQ(0, r.status) << r.output;
    EXPECT_EQ(1u, r.count("gives data extraction RGGB10 no point to take it from: not saved"))
        << r.output;
    EXPECT_FALSE(r.contains("Data extraction enabled but"));
    EXPECT_TRUE(r.contains("re-starting capture to enable alternative output"));
    EXPECT_EQ(1u, filesStartingWith("encoder0-")) << r.output;
    EXPECT_TRUE(exists("VezaraSetupArgs_0.txt"));
    EXPECT_FALSE(exists("dataExtraction0.jux"));
    EXPECT_TRUE(r.contains("Exiting loop"));
}

TEST_F(BrambleRun, ExposureTargetKeysHoldTheTargetInItsRange)
{
    placeSensor();
    const struct {
        char key, back;
        const char *limit, *beyond, *stepBack;
    } cases[] = {
        {'-', '+', "/-1.000000 (flicker", "/-1.050000 (flicker", "/-0.950000 (flicker"},
        {'+', '-', "/1.000000 (flicker", "/1.050000 (flicker", "/0.950000 (flicker"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.limit);
        // 22 steps of 0.05 from the setup file's target 0 go past the bound
        std::string keys(22, c.key);
        keys += c.back;
        keys += 'x';
        const RunResult r = run(sensorArgs({}), keys);
        EXPECT_EQ(0, r.status) << r.output;
        EXPECT_EQ(3u, r.count(c.limit)) << r.output;  // the 20th, 21st and 22nd press
        EXPECT_FALSE(r.contains(c.beyond));
        EXPECT_EQ(3u, r.count(c.stepBack)) << "on the way, then one step back from the bound";
    }
}

}  // namespace
}  // namespace brambletest
