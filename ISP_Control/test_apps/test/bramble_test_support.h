// Runs Bramble in-process on the simulated board as a user would: standard
// input from a key script (one byte per frame), in a folder of its own, with
// everything it prints captured.
#ifndef BRAMBLE_TEST_SUPPORT_H
#define BRAMBLE_TEST_SUPPORT_H

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "Bramble.h"
#include "DemoConfiguration.h"
#include "simboard/board.h"
#include "simboard/display.h"
#include "simboard/isp_driver.h"
#include "simboard/sensor_chip.h"
#include "simboard/sensor_models.h"
#include "simboard/sleep.h"

namespace brambletest {

inline const std::string kData = VEZARA_TESTDATA;
inline const std::string kSensorSetup = kData + "/bramble/sensor_setup.txt";
inline const std::string kDgSetup = kData + "/bramble/dg_setup.txt";
inline const std::string kJux = kData + "/vova/dg_3frames_640x32_10bit_rggb.jux";

// The command line `args` (after the program name) parsed into `config`,
// with what the parsing printed.
struct Parsed {
    int result = -1;
    std::string out, errors;
    std::string log() const { return errors + out; }
};

inline Parsed parse(DemoConfiguration &config, std::vector<std::string> args)
{
    args.insert(args.begin(), "bramble");
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    Parsed p;
    p.result = config.loadParameters(static_cast<int>(argv.size()), argv.data());
    p.errors = testing::internal::GetCapturedStderr();
    p.out = testing::internal::GetCapturedStdout();
    return p;
}

struct RunResult {
    int status = -1;
    std::string output;  // standard output and standard error
    size_t count(const std::string &piece) const
    {
        size_t n = 0;
        for (size_t at = output.find(piece); at != std::string::npos; at = output.find(piece, at + 1))
            ++n;
        return n;
    }
    bool contains(const std::string &piece) const { return output.find(piece) != std::string::npos; }
};

class BrambleRun : public testing::Test {
protected:
    // A fresh board with instant sleeps and its display, as each test starts.
    void resetBoard()
    {
        simboard::Board::instance().reset();
        simboard::Sleeps::setInstant(true);
        display = simboard::DisplayDevice::installed();
    }

    void SetUp() override
    {
        resetBoard();
        // One folder per test and process: test programs of other build trees
        // may run the same test at the same time.
        dir = std::filesystem::path(testing::TempDir()) /
              ("bramble_" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()) + "_" +
               std::to_string(getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        previous = std::filesystem::current_path();
        std::filesystem::current_path(dir);
    }
    void TearDown() override
    {
        std::filesystem::current_path(previous);
        // a failed test leaves its files for a look
        if (!HasFailure())
            std::filesystem::remove_all(dir);
        if (auto driver = simboard::IspDriver::installed()) {
            EXPECT_EQ(0u, driver->liveObjects().total());
        }
        EXPECT_EQ(0u, simboard::Board::instance().openDescriptors());
        simboard::Board::instance().reset();
    }
    // The chip of the sample run: OV5695 on bus 0 (sensor "OV5695_0").
    void placeSensor() { simboard::SensorBoard::instance().place(0, *simboard::chipModelByName("OV5695")); }

    // Runs the program with `args` and the key script `keys` on standard input.
    RunResult run(const std::vector<std::string> &args, const std::string &keys)
    {
        {
            std::ofstream script(dir / "keys.txt", std::ios::binary);
            script << keys;
        }
        std::vector<std::string> words{"bramble"};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char *> argv;
        for (std::string &w : words)
            argv.push_back(w.data());
        argv.push_back(nullptr);

        const int savedIn = dup(STDIN_FILENO);
        const int script = open((dir / "keys.txt").c_str(), O_RDONLY);
        dup2(script, STDIN_FILENO);
        close(script);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        RunResult result;
        result.status = bramble_main(static_cast<int>(argv.size() - 1), argv.data());
        fflush(stdout);
        result.output = testing::internal::GetCapturedStdout();
        result.output += testing::internal::GetCapturedStderr();
        dup2(savedIn, STDIN_FILENO);
        close(savedIn);
        return result;
    }
    bool exists(const std::string &file) const { return std::filesystem::exists(dir / file); }
    size_t filesStartingWith(const std::string &prefix) const
    {
        size_t n = 0;
        for (const auto &entry : std::filesystem::directory_iterator(dir))
            n += entry.path().filename().string().rfind(prefix, 0) == 0;
        return n;
    }

    std::shared_ptr<simboard::DisplayDevice> display;
    std::filesystem::path dir, previous;
};

}  // namespace brambletest

#endif
