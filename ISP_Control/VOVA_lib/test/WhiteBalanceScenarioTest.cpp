// The white-balance and lens-shading loops closing on the simulated camera:
// the Planckian control following the illuminant with the lens-shading
// control switching grids, and the PID control balancing a grey scene on
// hardware 2.5.
#include <cmath>

#include "control_test_support.h"
#include "simboard/isp_driver.h"
#include "vova/ControlAWB_PID.h"
#include "vova/ControlAWB_Planckian.h"
#include "vova/ControlLSH.h"
#include "vova/ModuleCCM.h"
#include "vova/ModuleLSH.h"
#include "vova/ModuleWBC.h"
#include "wb_test_support.h"

using namespace VOVA;

namespace {

class WhiteBalanceScenario : public vovatest::LoopCamera {
protected:
    // The camera on an RGGB sensor of the table (IMX327, 1920 x 1080).
    void makeRggbCamera(const ParameterList &setup)
    {
        chip = simboard::SensorBoard::instance().place(0, *simboard::chipModelByName("IMX327"));
        camera = std::make_unique<Camera>(0, Sensor::GetSensorId("IMX327"), 0, SENSOR_FLIP_NONE);
        ASSERT_EQ(Camera::CAM_CONNECTED, camera->state);
        ASSERT_EQ(QOV_SUCCESS, CameraFactory::populateCameraFromHWVersion(*camera, camera->getSensor()));
        ASSERT_EQ(QOV_SUCCESS, camera->loadParameters(setup));
        ASSERT_EQ(QOV_SUCCESS, camera->program());
        ASSERT_EQ(QOV_SUCCESS, camera->allocateBufferPool(2));
    }
};

TEST_F(WhiteBalanceScenario, PlanckianFollowsTheIlluminantAndLensShadingTheNearestGrid)
{
    vovatest::ScratchDir dir;
    ParameterList setup;
    vovatest::addCalibration(setup, vovatest::kPlanckianCalibration);
    vovatest::addSmallFrames(setup);
    vovatest::addShadingTable(setup, {{2800, vovatest::writeGrid(dir, "a.lsh", 1.25f)},
                                      {4000, vovatest::writeGrid(dir, "b.lsh", 1.5f)},
                                      {6500, vovatest::writeGrid(dir, "c.lsh", 1.75f)}});
    setup.addParameter(Parameter("WBT_USE_FLASH_FILTERING", "1"), true);
    scene().map = simboard::SceneMap::Grey;
    scene().colourTemperature = 6500;
    scene().lightLevel = 0.5;
    makeCamera(setup);

    auto *awb = new ControlAWB_Planckian("VOVA_CTRL_AWB");
    auto *lsh = new ControlLSH("VOVA_CTRL_LSH");
    ASSERT_EQ(QOV_SUCCESS, camera->registerControlModule(awb));
    ASSERT_EQ(QOV_SUCCESS, camera->registerControlModule(lsh));
    ASSERT_EQ(QOV_SUCCESS, camera->loadControlParameters(setup));
    ASSERT_EQ(3u, lsh->getLoadedGrids());
    lsh->registerCtrlAWB(awb);
    ASSERT_EQ(static_cast<QOV_INT32>(lsh->getMatrixId(2800)), lsh->configureDefaultMatrix());
    start();

    auto expectFollows = [&](double kelvin, unsigned grid) {
        SCOPED_TRACE(kelvin);
        EXPECT_NEAR(kelvin, awb->getMeasuredTemperature(), 150.0);
        const std::vector<double> gains = vovatest::neutralGains(kelvin);
        const ModuleWBC &wbc = module<ModuleWBC>();
        EXPECT_NEAR(gains[0], wbc.aWBGain[0], 0.03 * gains[0]);
        EXPECT_NEAR(gains[3], wbc.aWBGain[3], 0.03 * gains[3]);
        EXPECT_EQ(grid, lsh->getChosenTemperature());
        EXPECT_EQ(lsh->getMatrixId(grid), module<ModuleLSH>().getCurrentMatrixId());
    };
    for (int i = 0; i < 8; i++)
        ASSERT_EQ(QOV_SUCCESS, frame());
    expectFollows(6500, 6500);
    for (auto [kelvin, grid] : {std::pair{3000.0, 2800u}, std::pair{4500.0, 4000u}}) {
        const double before = awb->getMeasuredTemperature();
        scene().colourTemperature = kelvin;
        // the flash filter holds a jump of both ratios back for one shot
        ASSERT_EQ(QOV_SUCCESS, frame());
        EXPECT_EQ(before, awb->getMeasuredTemperature());
        ASSERT_EQ(QOV_SUCCESS, frame());
        expectFollows(kelvin, grid);
        for (int i = 0; i < 3; i++)
            ASSERT_EQ(QOV_SUCCESS, frame());
        expectFollows(kelvin, grid);
    }
    // the correction in force is what the hardware has with the next shot
    program();
    expectSent(module<ModuleWBC>(), ci().sWhiteBalance,
               [&](CI_MODULE_WBC *out, int *mask) { return MC_WBCConvert(&mc().sWBC, out, mask); });
    expectSent(module<ModuleCCM>(), ci().sColourCorrection,
               [&](CI_MODULE_CCM *out, int *mask) { return MC_CCMConvert(&mc().sCCM, out, mask); });
}

TEST_F(WhiteBalanceScenario, PidOnHardware2_5BalancesAGreyScene)
{
    driver->setProfile(simboard::IspProfile::version(2, 5));
    ParameterList setup;
    vovatest::addCalibration(setup, vovatest::kPlanckianCalibration);
    vovatest::addSmallFrames(setup);
    scene().map = simboard::SceneMap::Grey;
    scene().blackLevel = 16;  // 64 at the sensor's 12 bits
    scene().colourTemperature = 3000;
    scene().lightLevel = 1.0;
    makeRggbCamera(setup);
    ASSERT_EQ(5, camera->hwInfo.rev_ui8Minor);

    // the factory's white-balance loop for this version, alone: exposure
    // stays where it is, so the flat grey is measured at the same level
    ControlAWB_PID *awb = nullptr;
    for (ControlModule *loop : CameraFactory::controlModulesFromHWVersion(2, 5)) {
        if (!awb && (awb = dynamic_cast<ControlAWB_PID *>(loop)))
            continue;
        delete loop;
    }
    ASSERT_NE(nullptr, awb);
    ASSERT_EQ(QOV_SUCCESS, camera->registerControlModule(awb));
    ASSERT_EQ(QOV_SUCCESS, camera->loadControlParameters(setup));
    start();

    double r = 0, b = 0;
    auto balance = [&](const Shot &shot) {
        const MC_STATS_WBS_AC &ac = shot.metadata.whiteBalanceStats.averageColor[0];
        r = static_cast<double>(ac.channelAccumulated[0]) / ac.channelAccumulated[1];
        b = static_cast<double>(ac.channelAccumulated[2]) / ac.channelAccumulated[1];
    };
    int frames = 0;
    while (frames < 150 && !awb->hasConverged()) {
        ASSERT_EQ(QOV_SUCCESS, frame(balance));
        frames++;
    }
    RecordProperty("framesToConverge", frames);
    EXPECT_TRUE(awb->hasConverged());
    for (int i = 0; i < 5; i++) {
        ASSERT_EQ(QOV_SUCCESS, frame(balance));
        EXPECT_NEAR(1.0, r, 0.01);
        EXPECT_NEAR(1.0, b, 0.01);
        EXPECT_TRUE(awb->hasConverged());
    }
    EXPECT_NEAR(3000, awb->getMeasuredTemperature(), 150);
}

}  // namespace
