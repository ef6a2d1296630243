// The chip drivers against simulated chips wired as the board file says:
// the reset pulse of the bring-up restores the chip's power-on registers,
// and a board clock other than 24 MHz gives the chip the timing the driver
// computed from it.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "sensor_test_support.h"
#include "sensorapi/sensorapi.h"
#include "simboard/sensor_chip.h"
#include "simboard/sensor_models.h"

namespace {

using simboard::ChipModel;
using simboard::SensorBoard;

const std::string kModel = "Fidelity board";

class BoardFidelity : public sensortest::SimBoardTest {
protected:
    void SetUp() override
    {
        SimBoardTest::SetUp();
        root = std::make_unique<sensortest::BoardRoot>();
        root->setModel(kModel);
    }
    void TearDown() override
    {
        if (handle) {
            EXPECT_EQ(Sensor_Destroy(handle), QOV_SUCCESS);
        }
        SimBoardTest::TearDown();
        root.reset();
    }
    std::unique_ptr<sensortest::BoardRoot> root;
    SENSOR_HANDLE handle = nullptr;
};

constexpr QOV_UINT16 kIMX219 = 16;  // IMX219_0: board position 0, bus 0

TEST_F(BoardFidelity, BringUpResetPulseRestoresPowerOnRegisters)
{
    struct Case {
        const char *extraKeys;
        uint8_t lineLength;  // register 0x0162 after the bring-up
    } const cases[] = {
        {"", 0x0D},                          // reset line 10 pulsed: the power-on value
        {"-Board_reset_need 0\n", 0x11},     // no pulse asked for: the line only rises
        {"-Sensor0_gpio_reset -1\n", 0x11},  // no reset line
    };
    for (const Case &c : cases) {
        root->setBoardFile(kModel, sensortest::boardFile() + c.extraKeys);
        auto chip = SensorBoard::instance().place(0, simboard::modelIMX219());
        chip->setReg(0x0162, 0x11);  // written before the bring-up
        ASSERT_EQ(Sensor_Initialise(kIMX219, &handle), QOV_SUCCESS) << c.extraKeys;
        EXPECT_EQ(chip->reg(0x0162), c.lineLength) << c.extraKeys;
        EXPECT_EQ(Sensor_Destroy(handle), QOV_SUCCESS);
        handle = nullptr;
        SensorBoard::instance().remove(chip);
        simboard::GpioBank::instance().reset();
    }
}

TEST_F(BoardFidelity, PoweredDownChipFailsTheBringUp)
{
    // The board keeps the power-down line at 0; the chip runs only at 1.
    root->setBoardFile(kModel, sensortest::boardFile() + "-Board_pwdn_value 0\n");
    ChipModel model = simboard::modelIMX219();
    model.runLevel = 1;
    auto chip = SensorBoard::instance().place(0, model);
    const auto output =
        sensortest::captureOutput([&] { EXPECT_EQ(Sensor_Initialise(kIMX219, &handle), QOV_ERROR_DEVICE_FAILED); });
    EXPECT_EQ(handle, nullptr);
    EXPECT_TRUE(chip->poweredDown());
    EXPECT_NE(output.err.find("Failed to ensure that the i2c device has a compatible sensor!"), std::string::npos);
}

// A 27 MHz board: the chip decodes the frame rate and the exposure the driver computed.
struct ClockCase {
    const char *name;
    QOV_UINT16 sensor;  // position 0 entry of the sensor table
    ChipModel (*model)();
    // Relative frame-rate difference allowed. Drivers that recompute a PLL
    // multiplier from the board clock take the exact quotient for the sensor
    // clock while the chip holds the truncated byte: 2400 / 27 = 88.9 against
    // 88 for the OV2718 (1 %), 4176 / 27 = 154.7 against 154 for the OV10823.
    double rateTolerance;
};

class BoardClock : public BoardFidelity, public testing::WithParamInterface<ClockCase> {};

TEST_P(BoardClock, ChipTimingFollowsTheBoardClock)
{
    const ClockCase &c = GetParam();
    root->setBoardFile(kModel, sensortest::boardFile("-Board_reset_need 1\n-Board_mux_need 0\n-Board_pwdn_value 1\n"
                                                     "-Board_max_sensors 3\n-Board_clock_frequency 27\n"));
    auto chip = SensorBoard::instance().place(0, c.model());
    EXPECT_EQ(chip->refClockHz(), 27e6);
    ASSERT_EQ(Sensor_Initialise(c.sensor, &handle), QOV_SUCCESS);
    ASSERT_EQ(Sensor_SetMode(handle, 0, SENSOR_FLIP_NONE), QOV_SUCCESS);
    SENSOR_MODE mode{};
    ASSERT_EQ(Sensor_GetMode(handle, 0, &mode), QOV_SUCCESS);
    ASSERT_EQ(Sensor_Enable(handle), QOV_SUCCESS);
    ASSERT_GT(mode.ui32ExposureMin, 0u);
    const QOV_UINT32 exposure = 400 * mode.ui32ExposureMin;
    ASSERT_EQ(Sensor_SetExposure(handle, exposure, 0), QOV_SUCCESS);

    EXPECT_NEAR(chip->frameFormat().frameRate, mode.flFrameRate, c.rateTolerance * mode.flFrameRate);
    // The driver counts lines of whole microseconds: the exposure is within one line of it.
    const double lineTime = 1e6 / (mode.flFrameRate * mode.ui16VerticalTotal);
    EXPECT_NEAR(chip->exposureUs(), exposure, exposure / static_cast<double>(mode.ui32ExposureMin) + lineTime)
        << "line time " << lineTime;
}

INSTANTIATE_TEST_SUITE_P(Chips, BoardClock,
                         testing::Values(ClockCase{"OV4689", 3, simboard::modelOV4689, 0.002},
                                         ClockCase{"OV2718", 5, simboard::modelOV2718, 0.011},
                                         ClockCase{"OV10823", 7, simboard::modelOV10823, 0.005},
                                         ClockCase{"OV5647", 9, simboard::modelOV5647, 1e-9},
                                         ClockCase{"IMX219", 16, simboard::modelIMX219, 1e-9}),
                         [](const testing::TestParamInfo<ClockCase> &info) { return info.param.name; });

}  // namespace
