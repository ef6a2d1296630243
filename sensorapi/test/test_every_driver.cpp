// Behaviour every chip driver has a copy of, checked over all of them at
// once: what Enable does before a mode is selected.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "sensor_test_support.h"
#include "sensorapi/sensorapi.h"
#include "simboard/board.h"
#include "simboard/isp_driver.h"
#include "simboard/sensor_chip.h"
#include "simboard/sensor_models.h"

namespace every_driver {
namespace {

using simboard::ChipModel;
using simboard::SensorBoard;

// One chip driver at its first sensor-table entry, where the simulated
// board wires it, what its Enable gives before any mode is selected, what
// reaches the chip when mode 0 starts, and the ranges of mode 0.
struct Driver {
    const char *name;
    QOV_UINT16 sensor;
    ChipModel (*model)();
    unsigned bus;
    int phy;
    unsigned gasket;
    QOV_RESULT enableWithoutMode;
    bool configList;      // its configuration list is chosen with the mode too
    long writesWithoutMode;  // register bytes Enable sends without a mode; -1: some
    // Mode 0 set and enabled: the register bytes written, the first and the last.
    size_t writesOfMode0;
    simboard::SimChip::Write first, last;
    // Mode 0 set: the ranges, and the gain and exposure it starts from.
    struct Ranges {
        double gainMin, gainMax;
        QOV_UINT8 gainContexts;
        QOV_UINT32 exposureMin, exposureMax;
        QOV_UINT8 exposureContexts;
        double gain;
        QOV_UINT32 exposure;
    } ranges;
};

constexpr long kSome = -1;

const Driver kDrivers[] = {
    // The AR330 writes its lists at SetMode and starts with Enable alone;
    // the OV4688 sends only its start list, the S5K3P9 its configuration.
    {"AR330", 1, simboard::modelAR330, 0, 0, 2, QOV_SUCCESS, false, 2,
     74, {0, 0x301A, 0x00}, {0, 0x301B, 0x5C},
     {1, 16, 1, 76u, 4980660u, 1, 1, 38912u}},
    {"OV4688", 2, simboard::modelOV4688, 0, 1, 1, QOV_ERROR_FAILURE, false, 2,
     257, {0, 0x0103, 0x01}, {0, 0x3208, 0xE0},
     {1, 16, 1, 98u, 102760350u, 1, 1, 29596u}},
    {"OV4689", 3, simboard::modelOV4689, 0, 0, 0, QOV_ERROR_FAILURE, true, 0,
     223, {0, 0x0103, 0x01}, {0, 0x4022, 0x04},
     {1, 16, 0, 21u, 22020075u, 0, 1, 6342u}},
    {"OV2718", 5, simboard::modelOV2718, 0, 0, 0, QOV_ERROR_FAILURE, true, 0,
     76, {0, 0x3013, 0x01}, {0, 0x3252, 0x21},
     {0.5, 16, 0, 29u, 32941u, 0, 0.5, 8758u}},
    {"OV10823", 7, simboard::modelOV10823, 0, 0, 0, QOV_ERROR_NOT_INITIALISED, true, 0,
     243, {0, 0x0103, 0x01}, {0, 0x0100, 0x01},
     {1, 64, 0, 26u, 27262950u, 0, 1, 7852u}},
    {"OV5647", 9, simboard::modelOV5647, 0, 0, 0, QOV_ERROR_NOT_INITIALISED, true, 0,
     57, {0, 0x0103, 0x01}, {0, 0x0100, 0x01},
     {1, 32, 0, 30u, 59040u, 0, 1, 9060u}},
    {"IMX415", 11, simboard::modelIMX415, 0, 0, 0, QOV_SUCCESS, false, 0,
     106, {0, 0x3000, 0x01}, {0, 0x3EE2, 0x49},
     {1, 3981, 0, 112u, 33274u, 0, 1, 33274u}},
    {"OV5695", 12, simboard::modelOV5695, 0, 0, 0, QOV_ERROR_NOT_INITIALISED, true, 0,
     190, {0, 0x0103, 0x01}, {0, 0x0100, 0x01},
     {1, 15.5, 0, 64u, 32320u, 0, 1, 19328u}},
    {"S5K3P9", 15, simboard::modelS5K3P9, 0, 0, 0, QOV_SUCCESS, false, kSome,
     3126, {0, 0x6028, 0x40}, {1, 0x0004, 0x44},
     {1, 16, 1, 63u, 33253u, 1, 0, 0u}},
    {"IMX219", 16, simboard::modelIMX219, 0, 0, 0, QOV_ERROR_NOT_INITIALISED, false, 0,
     53, {0, 0x0100, 0x00}, {0, 0x0100, 0x01},
     {1, 10.66, 0, 18u, 47183u, 0, 1, 5436u}},
    {"IMX335", 18, simboard::modelIMX335, 0, 0, 0, QOV_SUCCESS, false, 0,
     104, {0, 0x3000, 0x01}, {0, 0x3CCD, 0x67},
     {1, 3981, 0, 7u, 33266u, 0, 1, 2114u}},
    {"IMX327", 19, simboard::modelIMX327, 0, 0, 0, QOV_SUCCESS, false, 0,
     52, {0, 0x3003, 0x01}, {0, 0x313B, 0x41},
     {1, 2818, 0, 29u, 33274u, 0, 1, 8758u}},
    {"GC8034", 21, simboard::modelGC8034, 1, 1, 1, QOV_SUCCESS, true, 0,
     206, {0, 0x00F2, 0x00}, {0, 0x003F, 0xD0},
     {1, 16, 0, 53u, 33535u, 0, 1, 16006u}},
    {"GC5035", 22, simboard::modelGC5035, 0, 0, 0, QOV_SUCCESS, false, 0,
     164, {0, 0x00FC, 0x01}, {0, 0x003F, 0x91},
     {1, 16, 0, 33u, 16633u, 0, 1, 9966u}},
    {"IMX662", 23, simboard::modelIMX662, 0, 0, 0, QOV_SUCCESS, false, 0,
     118, {0, 0x3000, 0x01}, {0, 0x3EF3, 0x94},
     {1, 15.85, 0, 26u, 32396u, 0, 1, 7852u}},
};

class EveryDriver : public sensortest::SimBoardTest, public testing::WithParamInterface<Driver> {
protected:
    void TearDown() override
    {
        if (m_handle) {
            sensortest::captureOutput([&] { EXPECT_EQ(QOV_SUCCESS, Sensor_Destroy(m_handle)); });
            m_handle = nullptr;
        }
        sensortest::SimBoardTest::TearDown();
    }

    std::shared_ptr<simboard::SimChip> open()
    {
        const Driver &d = GetParam();
        auto chip = SensorBoard::instance().place(d.bus, d.model(), d.phy);
        sensortest::captureOutput([&] { EXPECT_EQ(QOV_SUCCESS, Sensor_Initialise(d.sensor, &m_handle)); });
        EXPECT_NE(nullptr, m_handle);
        return chip;
    }

    SENSOR_STATE state()
    {
        SENSOR_STATUS status{};
        EXPECT_EQ(QOV_SUCCESS, Sensor_GetState(m_handle, &status));
        return status.eState;
    }

    SENSOR_HANDLE m_handle = nullptr;
};

std::string driverName(const testing::TestParamInfo<Driver> &info) { return info.param.name; }

// Without a mode the lists are not there to write: each driver says so and
// gives its result; the PHY and gasket are on all the same, and Disable
// releases them.
TEST_P(EveryDriver, EnableBeforeAModeIsSet)
{
    const Driver &d = GetParam();
    auto chip = open();
    ASSERT_NE(nullptr, m_handle);
    chip->clearWrites();
    QOV_RESULT ret = QOV_SUCCESS;
    const sensortest::Output o = sensortest::captureOutput([&] { ret = Sensor_Enable(m_handle); });
    EXPECT_EQ(d.enableWithoutMode, ret);
    if (d.sensor != 1) {  // the AR330's lists go at SetMode
        EXPECT_THAT(o.err, testing::HasSubstr("current register modes not available!\n"));
    }
    EXPECT_EQ(d.configList, o.err.find("current register config not available!\n") != std::string::npos);
    EXPECT_EQ(ret != QOV_SUCCESS && d.sensor != 2,
              o.err.find(std::string("failed to write the configuration and mode of ") + d.name + "\n") !=
                  std::string::npos)
        << o.err;
    if (d.writesWithoutMode == kSome) {
        EXPECT_FALSE(chip->writes().empty());
    } else {
        EXPECT_EQ(static_cast<size_t>(d.writesWithoutMode), chip->writes().size());
    }
    EXPECT_EQ(d.sensor == 1, chip->streaming());
    EXPECT_EQ(SENSOR_STATE_RUNNING, state());
    // (the AR330 learns its input at SetMode)
    EXPECT_EQ(d.sensor != 1, simboard::IspDriver::installed()->gasket(d.gasket).reserved);

    sensortest::captureOutput([&] { EXPECT_EQ(QOV_SUCCESS, Sensor_Disable(m_handle)); });
    EXPECT_EQ(SENSOR_STATE_IDLE, state());
    EXPECT_FALSE(chip->streaming());
    EXPECT_FALSE(simboard::IspDriver::installed()->gasket(d.gasket).reserved);
}

// Every record of the configuration and mode lists reaches the chip, from the
// first to the last, once.
TEST_P(EveryDriver, Mode0ReachesTheChipWhole)
{
    const Driver &d = GetParam();
    auto chip = open();
    ASSERT_NE(nullptr, m_handle);
    chip->clearWrites();
    sensortest::captureOutput([&] {
        EXPECT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 0, SENSOR_FLIP_NONE));
        EXPECT_EQ(QOV_SUCCESS, Sensor_Enable(m_handle));
    });
    const std::vector<simboard::SimChip::Write> &w = chip->writes();
    ASSERT_FALSE(w.empty());
    EXPECT_EQ(d.writesOfMode0, w.size());
    auto same = [](const simboard::SimChip::Write &a, const simboard::SimChip::Write &b) {
        return a.target == b.target && a.address == b.address && a.value == b.value;
    };
    EXPECT_TRUE(same(d.first, w.front())) << std::hex << w.front().address << " = " << int(w.front().value);
    EXPECT_TRUE(same(d.last, w.back())) << std::hex << w.back().address << " = " << int(w.back().value);
    EXPECT_TRUE(chip->streaming());
    sensortest::expectNoListEndWritten(*chip);
}

TEST_P(EveryDriver, Mode0RangesAndStartingValues)
{
    const Driver::Ranges &r = GetParam().ranges;
    open();
    ASSERT_NE(nullptr, m_handle);
    sensortest::captureOutput([&] { ASSERT_EQ(QOV_SUCCESS, Sensor_SetMode(m_handle, 0, SENSOR_FLIP_NONE)); });
    double gainMin = -1, gainMax = -1, gain = -1;
    QOV_UINT32 exposureMin = 7, exposureMax = 7, exposure = 7;
    QOV_UINT8 gainContexts = 99, exposureContexts = 99;
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetGainRange(m_handle, &gainMin, &gainMax, &gainContexts));
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetExposureRange(m_handle, &exposureMin, &exposureMax, &exposureContexts));
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetCurrentGain(m_handle, &gain, 0));
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetExposure(m_handle, &exposure, 0));
    EXPECT_DOUBLE_EQ(r.gainMin, gainMin);
    EXPECT_DOUBLE_EQ(r.gainMax, gainMax);
    EXPECT_EQ(r.gainContexts, gainContexts);
    EXPECT_EQ(r.exposureMin, exposureMin);
    EXPECT_EQ(r.exposureMax, exposureMax);
    EXPECT_EQ(r.exposureContexts, exposureContexts);
    EXPECT_DOUBLE_EQ(r.gain, gain);
    EXPECT_EQ(r.exposure, exposure);
}

INSTANTIATE_TEST_SUITE_P(Drivers, EveryDriver, testing::ValuesIn(kDrivers), driverName);

}  // namespace
}  // namespace every_driver
