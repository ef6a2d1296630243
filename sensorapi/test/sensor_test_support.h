// Helpers of the sensor tests: a clean simulated board per test, a board
// root of the test's own (device-tree model and board file), and the
// capture of log output.
#ifndef SENSORAPI_TEST_SENSOR_TEST_SUPPORT_H
#define SENSORAPI_TEST_SENSOR_TEST_SUPPORT_H

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "simboard/board.h"
#include "simboard/gpio.h"
#include "simboard/sleep.h"

namespace sensortest {

// A board root folder of the test's own, removed at the end of the test.
class BoardRoot {
public:
    BoardRoot()
    {
        char pattern[] = "/tmp/vezara-board-XXXXXX";
        const char *dir = mkdtemp(pattern);
        EXPECT_NE(dir, nullptr);
        m_root = dir ? dir : "";
        std::filesystem::create_directories(m_root + "/proc/device-tree");
        std::filesystem::create_directories(m_root + "/etc/vezara/boardcfg");
        apply();
    }
    ~BoardRoot()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }
    BoardRoot(const BoardRoot &) = delete;
    BoardRoot &operator=(const BoardRoot &) = delete;

    // The device-tree model, written as the kernel does: the name and a NUL.
    void setModel(const std::string &model, bool nulTerminated = true)
    {
        std::ofstream out(m_root + "/proc/device-tree/model", std::ios::binary);
        out << model;
        if (nulTerminated)
            out << '\0';
    }
    // A file under the root, at `path` (absolute on the board).
    void writeFile(const std::string &path, const std::string &text)
    {
        std::filesystem::create_directories(std::filesystem::path(m_root + path).parent_path());
        std::ofstream out(m_root + path, std::ios::binary);
        out << text;
    }
    // The board file of model `model`.
    void setBoardFile(const std::string &model, const std::string &text)
    {
        writeFile("/etc/vezara/boardcfg/" + model + ".cfg", text);
    }
    const std::string &path() const { return m_root; }
    // Makes this folder the board's root (again, after a board reset).
    void apply() const { simboard::Board::instance().setRoot(m_root); }

private:
    std::string m_root;
};

// A board file with every key; position keys for positions 0 to 2.
inline std::string boardFile(const std::string &boardKeys = "-Board_reset_need 1\n-Board_mux_need 0\n"
                                                             "-Board_pwdn_value 1\n-Board_max_sensors 3\n"
                                                             "-Board_clock_frequency 24\n")
{
    return boardKeys +
           "-Sensor0_i2c 0\n-Sensor0_gpiochip_reset 0\n-Sensor0_gpio_reset 10\n"
           "-Sensor0_gpiochip_pwdn 0\n-Sensor0_gpio_pwdn 11\n"
           "-Sensor1_i2c 1\n-Sensor1_gpiochip_reset 0\n-Sensor1_gpio_reset 12\n"
           "-Sensor1_gpiochip_pwdn 0\n-Sensor1_gpio_pwdn 13\n"
           "-Sensor2_i2c 2\n-Sensor2_gpiochip_reset 1\n-Sensor2_gpio_reset 0\n"
           "-Sensor2_gpiochip_pwdn 1\n-Sensor2_gpio_pwdn 1\n";
}

// Resets the simulated board around each test, with instantaneous sleeps,
// and checks that the test left no device or GPIO chip open.
class SimBoardTest : public testing::Test {
protected:
    void SetUp() override
    {
        simboard::Board::instance().reset();
        simboard::Sleeps::setInstant(true);
    }
    void TearDown() override
    {
        EXPECT_EQ(simboard::Board::instance().openDescriptors(), 0u);
        EXPECT_EQ(simboard::GpioBank::instance().openChips(), 0);
        simboard::Board::instance().reset();
    }
};

// Standard output and error of a block of code.
struct Output {
    std::string out;
    std::string err;
};

template <typename F>
Output captureOutput(F &&f)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    f();
    Output o;
    o.out = testing::internal::GetCapturedStdout();
    o.err = testing::internal::GetCapturedStderr();
    return o;
}

}  // namespace sensortest

#endif
