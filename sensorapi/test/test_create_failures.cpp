// Creation failures at every chip entry of the sensor table: the PHY that
// cannot be made and the I2C bus that cannot be opened. Several drivers
// have their own copy of these steps; each must fail cleanly (device
// failure, null handle, its message, nothing left open or requested).
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "sensor_test_support.h"
#include "sensorapi/sensorapi.h"
#include "simboard/board.h"
#include "simboard/gpio.h"
#include "simboard/isp_driver.h"
#include "simboard/sensor_chip.h"
#include "simboard/sensor_models.h"
#include "simboard/sensor_phy.h"

namespace create_failures {
namespace {

using sensortest::captureOutput;
using simboard::Board;
using simboard::GpioBank;
using simboard::SensorBoard;

// One chip entry and where the simulated board wires it.
struct Entry {
    QOV_UINT16 sensor;
    const char *name;
    simboard::ChipModel (*model)();
    unsigned bus;
    unsigned phy;
};

const Entry kEntries[] = {
    {1, "AR330", simboard::modelAR330, 0, 0},         {2, "OV4688", simboard::modelOV4688, 0, 1},
    {3, "OV4689_0", simboard::modelOV4689, 0, 0},     {4, "OV4689_1", simboard::modelOV4689, 1, 1},
    {5, "OV2718_0", simboard::modelOV2718, 0, 0},     {6, "OV2718_1", simboard::modelOV2718, 1, 1},
    {7, "OV10823_0", simboard::modelOV10823, 0, 0},   {8, "OV10823_1", simboard::modelOV10823, 1, 1},
    {9, "OV5647_0", simboard::modelOV5647, 0, 0},     {10, "OV5647_1", simboard::modelOV5647, 1, 1},
    {11, "IMX415", simboard::modelIMX415, 0, 0},      {12, "OV5695_0", simboard::modelOV5695, 0, 0},
    {13, "OV5695_1", simboard::modelOV5695, 1, 1},    {14, "OV5695_2", simboard::modelOV5695, 2, 1},
    {15, "S5K3P9", simboard::modelS5K3P9, 0, 0},      {16, "IMX219_0", simboard::modelIMX219, 0, 0},
    {17, "IMX219_1", simboard::modelIMX219, 1, 1},    {18, "IMX335", simboard::modelIMX335, 0, 0},
    {19, "IMX327", simboard::modelIMX327, 0, 0},      {21, "GC8034", simboard::modelGC8034, 1, 1},
    {22, "GC5035", simboard::modelGC5035, 0, 0},      {23, "IMX662", simboard::modelIMX662, 0, 0},
};

std::string entryName(const testing::TestParamInfo<Entry> &info) { return info.param.name; }

class CreateFailures : public sensortest::SimBoardTest, public testing::WithParamInterface<Entry> {
protected:
    // Places the chip, makes `device` refuse to open and creates the driver.
    void createWith(const std::string &device, const std::string &message)
    {
        const Entry &e = GetParam();
        SetUp();  // a fresh board for each step
        SensorBoard::instance().place(e.bus, e.model(), static_cast<int>(e.phy));
        Board::instance().injectFault(device, Board::OPEN_REQUEST, -ENOENT);
        SENSOR_HANDLE handle = reinterpret_cast<SENSOR_HANDLE>(&handle);
        const sensortest::Output log =
            captureOutput([&] { EXPECT_EQ(QOV_ERROR_DEVICE_FAILED, Sensor_Initialise(e.sensor, &handle)); });
        EXPECT_EQ(nullptr, handle);
        EXPECT_NE(std::string::npos, log.err.find(message)) << log.err;
        EXPECT_EQ(0u, Board::instance().openDescriptors());
        EXPECT_EQ(0u, simboard::IspDriver::installed()->liveObjects().connections);
        EXPECT_EQ(0, GpioBank::instance().openChips());
        for (const char *chip : {"gpiochip0", "gpiochip1"})
            for (unsigned line : {0u, 1u, 10u, 11u, 12u, 13u})
                EXPECT_FALSE(GpioBank::instance().requested(chip, line)) << chip << " " << line;
        EXPECT_FALSE(SensorBoard::instance().phy(e.phy)->enabled());
    }
};

TEST_P(CreateFailures, PhyThatCannotBeMade)
{
    createWith("/dev/sensor_phy" + std::to_string(GetParam().phy), "Failed to create sensor phy!\n");
}

TEST_P(CreateFailures, BusThatCannotBeOpened)
{
    // The AR330 and OV4688 use the fixed first bus.
    const unsigned bus = GetParam().sensor <= 2 ? 0 : GetParam().bus;
    const std::string device = "/dev/i2c-" + std::to_string(bus);
    createWith(device, "Failed to open I2C device: \"" + device + "\", err = 2\n");
}

INSTANTIATE_TEST_SUITE_P(Table, CreateFailures, testing::ValuesIn(kEntries), entryName);

}  // namespace
}  // namespace create_failures
