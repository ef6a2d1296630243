// Sensor PHY control: the PHY table, opening a PHY, switching gasket and PHY.
#include <cerrno>
#include <cstring>

#include "sensor_test_support.h"
#include "sensors/sensor_phy.h"
#include "simboard/isp_driver.h"
#include "simboard/sensor_chip.h"
#include "simboard/sensor_phy.h"

using sensortest::captureOutput;
using simboard::PhySwitch;
using simboard::SensorPhyDevice;
using testing::HasSubstr;

namespace {

class SensorPhy : public sensortest::SimBoardTest {
protected:
    void TearDown() override
    {
        for (SENSOR_PHY *phy : phys)
            SensorPhyDeinit(phy);
        SimBoardTest::TearDown();
    }

    // Opens the PHY of `num`, pointed at its row, for gasket `gasket`.
    SENSOR_PHY *open(sensor_num num, QOV_UINT8 gasket)
    {
        SENSOR_PHY *phy = nullptr;
        captureOutput([&] { phy = SensorPhyInit(num); });
        EXPECT_NE(phy, nullptr);
        if (phy) {
            phy->psConfig = SensorPhyConfigPtr(num);
            phy->psGasket->uiGasket = gasket;
            phys.push_back(phy);
        }
        return phy;
    }

    const std::vector<PhySwitch> &switches(unsigned device)
    {
        return simboard::SensorBoard::instance().phy(device)->switches();
    }

    std::vector<SENSOR_PHY *> phys;
};

TEST(SensorPhyTable, RowsOfTheTable)
{
    // Every row: PHY device, ISP input, link type, PHY count. (The lanes
    // are not checked: switching a sensor writes its row.)
    struct Case {
        sensor_num sensor;
        QOV_UINT8 dev;
        imager_num imager;
        QOV_UINT32 type;
        QOV_UINT8 numPhys;
    };
    const Case cases[] = {
        {SENSOR_DURIDU_AR0330, 0, IMAGER_DURIDU_PARA0, SENSOR_IF_HISPI, 1},
        {SENSOR_DURIDU_OV4688, 1, IMAGER_DURIDU_MIPI1, SENSOR_IF_MIPI, 0},
        {SENSOR_DURIDU_OV4689_0, 0, IMAGER_DURIDU_MIPI0, SENSOR_IF_MIPI, 0},
        {SENSOR_DURIDU_OV4689_1, 1, IMAGER_DURIDU_MIPI1, SENSOR_IF_MIPI, 0},
        {SENSOR_DURIDU_OV2718_0, 0, IMAGER_DURIDU_MIPI0, SENSOR_IF_MIPI, 0},
        {SENSOR_DURIDU_OV2718_1, 1, IMAGER_DURIDU_MIPI1, SENSOR_IF_MIPI, 0},
        {SENSOR_DURIDU_OV10823_0, 0, IMAGER_DURIDU_MIPI0, SENSOR_IF_MIPI, 0},
        {SENSOR_DURIDU_OV10823_1, 1, IMAGER_DURIDU_MIPI1, SENSOR_IF_MIPI, 0},
        {SENSOR_DURIDU_OV5647_0, 0, IMAGER_DURIDU_MIPI0, SENSOR_IF_MIPI, 0},
        {SENSOR_DURIDU_OV5647_1, 1, IMAGER_DURIDU_MIPI1, SENSOR_IF_MIPI, 0},
        {SENSOR_DURIDU_IMX415, 0, IMAGER_DURIDU_MIPI0, SENSOR_IF_MIPI, 0},
        {SENSOR_DURIDU_OV5695_0, 0, IMAGER_DURIDU_MIPI0, SENSOR_IF_MIPI, 0},
        {SENSOR_DURIDU_OV5695_1, 1, IMAGER_DURIDU_MIPI1, SENSOR_IF_MIPI, 0},
        {SENSOR_DURIDU_OV5695_2, 1, IMAGER_DURIDU_MIPI1, SENSOR_IF_MIPI, 0},
        {SENSOR_DURIDU_S5K3P9, 0, IMAGER_DURIDU_MIPI0, SENSOR_IF_MIPI, 0},
        {SENSOR_DURIDU_IMX219_0, 0, IMAGER_DURIDU_MIPI0, SENSOR_IF_MIPI, 0},
        {SENSOR_DURIDU_IMX219_1, 1, IMAGER_DURIDU_MIPI1, SENSOR_IF_MIPI, 0},
        {SENSOR_DURIDU_IMX335, 0, IMAGER_DURIDU_MIPI0, SENSOR_IF_MIPI, 0},
        {SENSOR_DURIDU_IMX327, 0, IMAGER_DURIDU_MIPI0, SENSOR_IF_MIPI, 0},
        {SENSOR_DURIDU_ZYNQ, 0, IMAGER_DURIDU_MIPI0, SENSOR_IF_MIPI, 0},
        {SENSOR_DURIDU_GC8034, 1, IMAGER_DURIDU_MIPI1, SENSOR_IF_MIPI, 0},
        {SENSOR_DURIDU_GC5035, 0, IMAGER_DURIDU_MIPI0, SENSOR_IF_MIPI, 0},
        {SENSOR_DURIDU_IMX662, 0, IMAGER_DURIDU_MIPI0, SENSOR_IF_MIPI, 0},
    };
    static_assert(sizeof(cases) / sizeof(cases[0]) == SENSOR_DURIDU_TOTAL_NUM);
    for (const Case &c : cases) {
        const sensor_duridu_if_config *row = SensorPhyConfigPtr(c.sensor);
        ASSERT_NE(row, nullptr) << c.sensor;
        EXPECT_EQ(row->sensor, c.sensor);
        EXPECT_EQ(GetDevNum(c.sensor), c.dev) << c.sensor;
        EXPECT_EQ(GetImagerNum(c.sensor), c.imager) << c.sensor;
        EXPECT_EQ(row->params.type, c.type) << c.sensor;
        EXPECT_EQ(row->params.num_phys, c.numPhys) << c.sensor;
    }
    for (int n = 0; n < SENSOR_DURIDU_TOTAL_NUM; ++n)
        EXPECT_EQ(SensorPhyConfigPtr(static_cast<sensor_num>(n)), &duridu_sensor_configs[n]);
    EXPECT_EQ(SensorPhyConfigPtr(SENSOR_DURIDU_TOTAL_NUM), nullptr);
    EXPECT_EQ(GetImagerNum(SENSOR_DURIDU_TOTAL_NUM), IMAGER_DURIDU_TOTAL_NUM);
    EXPECT_EQ(GetDevNum(SENSOR_DURIDU_TOTAL_NUM), 255);
}

TEST(SensorPhyTable, FixedDevicePaths)
{
    char path[15];
    EXPECT_EQ(find_i2c_dev(path, sizeof(path)), QOV_SUCCESS);
    EXPECT_STREQ(path, "/dev/i2c-0");
    EXPECT_EQ(find_spi_dev(path, sizeof(path)), QOV_SUCCESS);
    EXPECT_STREQ(path, "/dev/spidev1.3");
    // A buffer too small for the path is refused and left alone.
    char small[8] = "keep";
    EXPECT_EQ(find_spi_dev(small, sizeof(small)), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_STREQ(small, "keep");
    EXPECT_EQ(find_i2c_dev(nullptr, 15), QOV_ERROR_INVALID_ARGUMENT);
}

TEST_F(SensorPhy, SwitchingOnAndOffMovesGasketAndPhyTogether)
{
    SENSOR_PHY *phy = open(SENSOR_DURIDU_OV4689_1, 1);
    ASSERT_NE(phy, nullptr);
    auto isp = simboard::IspDriver::installed();
    phy->psConfig->params.mipi_osc_freq = 438;

    sensortest::Output log;
    log = captureOutput([&] { EXPECT_EQ(SensorPhyCtrl(phy, QOV_TRUE, 2, 0x1A, 9), 0); });
    EXPECT_THAT(log.out, HasSubstr("[SensorPHY]: SensorPhyCtrl() Acquired gasket 1, enabling PHY ...\n"));
    EXPECT_THAT(log.out, HasSubstr("Mipi Lanes: 2, MipiHsFreqRange: 1a\n"));
    EXPECT_TRUE(isp->gasket(1).reserved);
    ASSERT_EQ(switches(1).size(), 1u);
    const PhySwitch &on = switches(1)[0];
    EXPECT_EQ(on.request, 0x8020F000ul);
    EXPECT_EQ(on.record.type, 8u);
    EXPECT_EQ(on.record.enable, 1);
    EXPECT_EQ(on.record.mipiLanes, 2);
    EXPECT_EQ(on.record.mipiHsFreqRange, 0x1A);
    EXPECT_EQ(on.record.mipiOscFreq, 438);
    EXPECT_EQ(on.record.numPhys, 0);
    EXPECT_TRUE(switches(0).empty());
    // The row keeps what was sent.
    EXPECT_EQ(SensorPhyConfigPtr(SENSOR_DURIDU_OV4689_1)->params.enable, 1);

    log = captureOutput([&] { EXPECT_EQ(SensorPhyCtrl(phy, QOV_FALSE, 0, 0, 0), 0); });
    EXPECT_THAT(log.out, HasSubstr("Released gasket 1, disabling PHY ...\n"));
    EXPECT_FALSE(isp->gasket(1).reserved);
    ASSERT_EQ(switches(1).size(), 2u);
    EXPECT_EQ(switches(1)[1].record.enable, 0);
    EXPECT_EQ(switches(1)[1].record.mipiLanes, 0);
    EXPECT_EQ(switches(1)[1].record.mipiHsFreqRange, 0);
}

TEST_F(SensorPhy, SecondSensorOnABusyGasketSendsNoPhyRequest)
{
    SENSOR_PHY *first = open(SENSOR_DURIDU_OV4689_0, 0);
    SENSOR_PHY *second = open(SENSOR_DURIDU_IMX219_0, 0);
    ASSERT_TRUE(first && second);
    captureOutput([&] { ASSERT_EQ(SensorPhyCtrl(first, QOV_TRUE, 4, 2, 0), 0); });
    QOV_RESULT ret = QOV_SUCCESS;
    const sensortest::Output log = captureOutput([&] { ret = SensorPhyCtrl(second, QOV_TRUE, 4, 2, 0); });
    EXPECT_NE(ret, QOV_SUCCESS);
    EXPECT_THAT(log.err, HasSubstr("failed to acquire the gasket 0!\n"));
    EXPECT_EQ(switches(0).size(), 1u);
    // Releasing a gasket it does not hold fails the same way.
    ret = QOV_SUCCESS;
    const sensortest::Output off = captureOutput([&] { ret = SensorPhyCtrl(second, QOV_FALSE, 0, 0, 0); });
    EXPECT_NE(ret, QOV_SUCCESS);
    EXPECT_THAT(off.err, HasSubstr("failed to release the gasket 0!\n"));
    EXPECT_EQ(switches(0).size(), 1u);
}

TEST_F(SensorPhy, RefusedPhyRequestAnswersMinusOne)
{
    SENSOR_PHY *phy = open(SENSOR_DURIDU_OV4689_0, 0);
    ASSERT_NE(phy, nullptr);
    simboard::Board::instance().injectFault(SensorPhyDevice::path(0), SENSOR_PHY_IOCTL_CTRL, -EIO);
    captureOutput([&] { EXPECT_EQ(SensorPhyCtrl(phy, QOV_TRUE, 4, 2, 0), -1); });
    EXPECT_TRUE(simboard::IspDriver::installed()->gasket(0).reserved);
}

TEST_F(SensorPhy, ResetAndMultiplexerFields)
{
    SENSOR_PHY *phy = open(SENSOR_DURIDU_OV5695_2, 1);
    ASSERT_NE(phy, nullptr);
    EXPECT_EQ(SensorPhySetGpioReset(phy, QOV_TRUE), 0);
    EXPECT_EQ(SensorPhySetMux(phy, QOV_TRUE), 0);
    EXPECT_EQ(SensorPhySetGpioReset(phy, QOV_FALSE), 0);
    ASSERT_EQ(switches(1).size(), 3u);
    EXPECT_EQ(switches(1)[0].request, 0x8020F003ul);
    EXPECT_EQ(switches(1)[0].record.resetGpio, 1);
    EXPECT_EQ(switches(1)[1].request, 0x8020F004ul);
    EXPECT_EQ(switches(1)[1].record.enableMux, 1);
    EXPECT_EQ(switches(1)[1].record.resetGpio, 1);
    EXPECT_EQ(switches(1)[2].record.resetGpio, 0);
    SensorPhySetMux(phy, QOV_FALSE);
}

TEST_F(SensorPhy, MissingKeyOpensNothing)
{
    SENSOR_PHY *phy = reinterpret_cast<SENSOR_PHY *>(1);
    const sensortest::Output log = captureOutput([&] { phy = SensorPhyInit(SENSOR_DURIDU_TOTAL_NUM); });
    EXPECT_EQ(phy, nullptr);
    EXPECT_THAT(log.out, HasSubstr("Device: /dev/sensor_phy255\n"));
    EXPECT_THAT(log.err, HasSubstr("Failed to open connection to sensor dev 255\n"));
    EXPECT_EQ(simboard::IspDriver::installed()->liveObjects().connections, 0u);
}

TEST_F(SensorPhy, RefusedDriverConnection)
{
    simboard::IspDriver::installed()->refuseOpen();
    SENSOR_PHY *phy = reinterpret_cast<SENSOR_PHY *>(1);
    const sensortest::Output log = captureOutput([&] { phy = SensorPhyInit(SENSOR_DURIDU_OV4689_0); });
    EXPECT_EQ(phy, nullptr);
    EXPECT_THAT(log.err, HasSubstr("Failed to open connection to Vezara Driver\n"));
}

TEST_F(SensorPhy, SwitchNeedsAGasketRequestAndARow)
{
    EXPECT_EQ(SensorPhyCtrl(nullptr, QOV_TRUE, 4, 2, 0), QOV_ERROR_INVALID_ARGUMENT);
    SENSOR_PHY *phy = open(SENSOR_DURIDU_OV4689_0, 0);
    ASSERT_NE(phy, nullptr);
    phy->psConfig = nullptr;
    EXPECT_EQ(SensorPhyCtrl(phy, QOV_TRUE, 4, 2, 0), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_FALSE(simboard::IspDriver::installed()->gasket(0).reserved);
    EXPECT_TRUE(switches(0).empty());
}

}  // namespace
