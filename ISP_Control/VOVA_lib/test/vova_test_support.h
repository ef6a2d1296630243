// Shared fixture of the control-core tests: a fresh simulated board per
// test with instant sleeps, a simulated sensor chip to open, capture of the
// core's log lines, and the check that a test leaves no driver object, no
// descriptor and no driver connection behind.
#ifndef VOVA_TEST_SUPPORT_H
#define VOVA_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "simboard/board.h"
#include "simboard/gpio.h"
#include "simboard/isp_driver.h"
#include "simboard/sensor_chip.h"
#include "simboard/sensor_models.h"
#include "simboard/sleep.h"

namespace vovatest {

// The chip the camera tests open: OV5695 at board position 0 (sensor-table
// entry "OV5695_0"), mode 3 of 1296 x 972, BGGR.
inline constexpr int kSensorId = 12;
inline constexpr int kSensorMode = 3;
inline constexpr unsigned kSensorWidth = 1296;
inline constexpr unsigned kSensorHeight = 972;

// Everything the core and the libraries below it print while it lives.
class LogCapture {
public:
    LogCapture()
    {
        testing::internal::CaptureStderr();
        testing::internal::CaptureStdout();
    }
    ~LogCapture() { text(); }
    const std::string &text()
    {
        if (!m_done) {
            m_text = testing::internal::GetCapturedStderr();
            m_text += testing::internal::GetCapturedStdout();
            m_done = true;
        }
        return m_text;
    }
    bool contains(const std::string &piece) { return text().find(piece) != std::string::npos; }

private:
    bool m_done = false;
    std::string m_text;
};

class BoardTest : public testing::Test {
protected:
    void SetUp() override
    {
        simboard::Board::instance().reset();
        simboard::Sleeps::setInstant(true);
        driver = simboard::IspDriver::installed();
        ASSERT_TRUE(driver);
    }
    void TearDown() override
    {
        EXPECT_EQ(0u, driver->liveObjects().total());
        EXPECT_EQ(0u, simboard::Board::instance().openDescriptors());
        EXPECT_EQ(0, simboard::GpioBank::instance().openChips());
        simboard::Board::instance().reset();
    }
    // Places the camera tests' chip on its bus.
    std::shared_ptr<simboard::SimChip> placeChip()
    {
        return simboard::SensorBoard::instance().place(0, *simboard::chipModelByName("OV5695"));
    }

    std::shared_ptr<simboard::IspDriver> driver;
};

}  // namespace vovatest

#endif
