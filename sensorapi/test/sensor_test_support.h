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
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "simboard/board.h"
#include "simboard/gpio.h"
#include "simboard/isp_model.h"
#include "simboard/sensor_chip.h"
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

// Collects what is logged (errors and warnings on stderr, information on
// stdout) while it lives; lines are looked up by level, function and message
// among those of `component`.
class Log {
public:
    explicit Log(std::string component) : m_component(std::move(component)) { start(); }
    ~Log() { stop(); }
    Log(const Log &) = delete;
    Log &operator=(const Log &) = delete;
    // Everything logged so far; the capture goes on.
    const std::string &text()
    {
        stop();
        start();
        return m_text;
    }
    // A line "<LEVEL> [<component>]: <function>()..." ending with `wanted`.
    bool has(const std::string &level, const std::string &function, const std::string &wanted)
    {
        std::string message = wanted;
        if (!message.empty() && message.back() == '\n')
            message.pop_back();
        const std::string prefix = level + " [" + m_component + "]: " + function + "()";
        size_t from = 0;
        const std::string &log = text();
        while (from < log.size()) {
            size_t end = log.find('\n', from);
            if (end == std::string::npos)
                end = log.size();
            const std::string line = log.substr(from, end - from);
            if (line.compare(0, prefix.size(), prefix) == 0 && line.size() >= message.size() &&
                line.compare(line.size() - message.size(), message.size(), message) == 0)
                return true;
            from = end + 1;
        }
        return false;
    }
    bool error(const std::string &function, const std::string &message) { return has("ERROR", function, message); }

private:
    void start()
    {
        testing::internal::CaptureStderr();
        testing::internal::CaptureStdout();
        m_capturing = true;
    }
    void stop()
    {
        if (m_capturing)
            m_text += testing::internal::GetCapturedStderr() + testing::internal::GetCapturedStdout();
        m_capturing = false;
    }
    std::string m_component;
    bool m_capturing = false;
    std::string m_text;
};

// The last value written to a register of target 0, if any.
inline std::optional<int> lastWrite(const simboard::SimChip &chip, uint16_t address)
{
    const std::vector<uint8_t> values = chip.writesTo(address);
    if (values.empty())
        return std::nullopt;
    return values.back();
}

// No end record of a register list reaches the chip: the lists end with
// records of address 0xFF (8-bit addresses), 0xFE00, 0xFF00 or 0xFFFF.
inline void expectNoListEndWritten(const simboard::SimChip &chip)
{
    for (const simboard::SimChip::Write &w : chip.writes())
        EXPECT_TRUE(w.address != 0xFF && w.address != 0xFE00 && w.address != 0xFF00 && w.address != 0xFFFF)
            << "register 0x" << std::hex << w.address << " = 0x" << int(w.value);
}

// Keeps a copy of every image that reaches the ISP's pixel model.
class RecordingModel : public simboard::IspImageModel {
public:
    explicit RecordingModel(std::shared_ptr<std::vector<simboard::BayerFrame>> images) : m_images(std::move(images)) {}
    void process(simboard::ShotFrame &frame) override { m_images->push_back(*frame.image); }

private:
    std::shared_ptr<std::vector<simboard::BayerFrame>> m_images;
};

}  // namespace sensortest

#endif
