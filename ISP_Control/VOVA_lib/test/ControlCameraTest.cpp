// The loops against the modules and sensor of a camera: the statistics each
// switches on at capture start, the updates that fail or wait, the flicker
// status, the fixed gain, and what reaches the modules.
#include <cmath>

#include "control_test_support.h"
#include "vova/ControlAE.h"
#include "vova/ControlAF.h"
#include "vova/ControlAWB_PID.h"
#include "vova/ControlAWB_Planckian.h"
#include "vova/ControlLBC.h"
#include "vova/ControlTNM.h"
#include "vova/ModuleAWS.h"
#include "vova/ModuleFLD.h"
#include "vova/ModuleFOS.h"
#include "vova/ModuleHIS.h"
#include "vova/ModuleR2Y.h"
#include "vova/ModuleSHA.h"
#include "vova/ModuleTNM.h"
#include "vova/ModuleWBS.h"

using namespace VOVA;

namespace {

class LoopsOnCamera : public vovatest::LoopCamera {};

// Metadata whose every region meters `bin` of 16.
Metadata meteringAt(int bin)
{
    Metadata m{};
    for (auto &row : m.histogramStats.regionHistograms)
        for (auto &region : row)
            region[bin] = 100;
    for (int i = 0; i < 64; i++)
        m.histogramStats.globalHistogram[i] = 10;
    return m;
}

TEST_F(LoopsOnCamera, ExposureSetsUpTheHistogramGridAndTheFlickerDetector)
{
    makeCamera();
    auto *ae = new ControlAE("VOVA_CTRL_AE");
    ASSERT_EQ(QOV_SUCCESS, camera->registerControlModule(ae));
    ModuleHIS &his = module<ModuleHIS>();
    his.bEnableGlobal = true;
    his.bEnableROI = false;
    start();
    // 1296 x 972: tiles of 185 x 138 from (0, 3)
    EXPECT_TRUE(his.bEnableGlobal);
    EXPECT_TRUE(his.bEnableROI);
    EXPECT_EQ(256u, his.ui32InputOffset);
    EXPECT_EQ(32767u, his.ui32InputScale);
    EXPECT_EQ(185u, his.aGridTileSize[0]);
    EXPECT_EQ(138u, his.aGridTileSize[1]);
    EXPECT_EQ(0u, his.aGridStartCoord[0]);
    EXPECT_EQ(3u, his.aGridStartCoord[1]);
    EXPECT_TRUE(module<ModuleFLD>().bEnable);
    EXPECT_NEAR(sensor().flFrameRate, module<ModuleFLD>().fFrameRate, 0.01);
    SENSOR_INFO info{};
    ASSERT_EQ(QOV_SUCCESS, Sensor_GetInfo(sensor().getHandle(), &info));
    EXPECT_EQ(info.sMode.ui16VerticalTotal, module<ModuleFLD>().iVTotal);
    ASSERT_EQ(QOV_SUCCESS, frame([](const Shot &shot) {
        EXPECT_TRUE(shot.metadata.histogramConfig.bRegionEnable);
        EXPECT_TRUE(shot.metadata.flickerConfig.bEnable);
    }));

    // the gain and exposure limits in force include the sensor's
    EXPECT_EQ(std::fmin(256.0, sensor().getMaxGain()), ae->getMaxAeGain());
    EXPECT_EQ(static_cast<microseconds_t>(sensor().getMaxExposure()), ae->getMaxAeExposure());
}

TEST_F(LoopsOnCamera, ExposureUpdatesAsItsStateSays)
{
    makeCamera();
    auto *ae = new ControlAE("VOVA_CTRL_AE");
    ASSERT_EQ(QOV_SUCCESS, camera->registerControlModule(ae));
    start();
    ASSERT_EQ(QOV_SUCCESS, frame());
    ASSERT_EQ(QOV_SUCCESS, sensor().setExposure(10000));
    ASSERT_EQ(QOV_SUCCESS, sensor().setGain(2.0));
    // exposure x gain over the minimum gain and the frame duration
    EXPECT_DOUBLE_EQ(sensor().getExposure() * sensor().getGain() * sensor().flFrameRate / 1e6,
                     ae->getApertureFactor());
    ASSERT_EQ(QOV_SUCCESS, sensor().setGain(1.0));

    // converged with no setting changed: the sensor is left alone
    const Metadata balanced = meteringAt(7);
    ae->update(balanced);  // settings changed since the start: this one runs
    ASSERT_EQ(QOV_SUCCESS, sensor().setExposure(10000));
    chip->clearWrites();
    EXPECT_EQ(QOV_SUCCESS, ae->update(balanced));
    EXPECT_TRUE(ae->hasConverged());
    EXPECT_TRUE(chip->writes().empty());
    // a new target alone does not mark the settings, but the loop is no longer converged
    ae->setTargetBrightness(0.5);
    EXPECT_EQ(QOV_SUCCESS, ae->update(balanced));
    EXPECT_FALSE(chip->writes().empty());
    EXPECT_GT(sensor().getExposure(), 10000u);

    // the flicker status: waiting keeps the frequency, undetermined drops it
    ae->enableFlickerRejection(true);
    struct Step {
        FLD_STATUS status;
        double frequency;
    } const steps[] = {{FLD_60HZ, 60}, {FLD_WAITING, 60}, {FLD_50HZ, 50}, {FLD_UNDETERMINED, 0}, {FLD_WAITING, 0}};
    for (const Step &s : steps) {
        Metadata m = balanced;
        m.flickerStats.flickerStatus = s.status;
        ae->update(m);
        EXPECT_EQ(s.frequency, ae->getFlickerRejectionFrequency()) << s.status;
    }

    // the fixed gain is programmed even outside the limits; underexposure is judged on the computed gain
    ae->setTargetBrightness(0.0);
    ae->setFixedAeGain(sensor().getMaxGain() * 10);
    ae->enableFixedAeGain(true);
    ae->update(meteringAt(0));
    EXPECT_EQ(sensor().getMaxGain(), ae->getFixedAeGain());  // the setter clamps to the sensor
    EXPECT_EQ(ae->getFixedAeGain(), ae->getNewGain());
}

TEST_F(LoopsOnCamera, ExposureWithoutConfiguredStatisticsConfiguresThemAndWaitsAShot)
{
    makeCamera();
    ControlAE ae("VOVA_CTRL_AE");
    {
        vovatest::LogCapture log;
        EXPECT_EQ(QOV_ERROR_NOT_INITIALISED, ae.configureStatistics());
        EXPECT_EQ(QOV_ERROR_NOT_INITIALISED, ae.update(meteringAt(0)));
        EXPECT_TRUE(log.contains("ControlAE has no pipeline owner! Cannot configure statistics.")) << log.text();
        EXPECT_TRUE(log.contains("ControlAE owner has no sensors!")) << log.text();
    }
    ASSERT_EQ(QOV_SUCCESS, ae.addPipeline(camera->getPipeline()));
    ASSERT_EQ(QOV_SUCCESS, ae.setPipelineOwner(camera->getPipeline()));
    vovatest::LogCapture log;
    EXPECT_EQ(QOV_SUCCESS, ae.update(meteringAt(0)));
    EXPECT_TRUE(log.contains("ControlAE Statistics were not configured! Trying to configure them now.")) << log.text();
    EXPECT_EQ(0u, ae.getNewExposure());  // nothing computed on that shot
    EXPECT_TRUE(module<ModuleHIS>().bEnableROI);
}

TEST_F(LoopsOnCamera, HistogramUsersSwitchOnOnlyTheGlobalHistogramAndOnlyWhenAllowed)
{
    makeCamera();
    ModuleHIS &his = module<ModuleHIS>();
    his.bEnableGlobal = false;
    his.bEnableROI = false;
    his.ui32InputOffset = 5;
    ControlTNM tnm("VOVA_CTRL_TNM");
    ControlLBC lbc("VOVA_CTRL_LBC");
    for (ControlModule *c : std::initializer_list<ControlModule *>{&tnm, &lbc}) {
        ASSERT_EQ(QOV_SUCCESS, c->addPipeline(camera->getPipeline()));
        ASSERT_EQ(QOV_SUCCESS, c->setPipelineOwner(camera->getPipeline()));
    }
    {
        vovatest::LogCapture log;
        EXPECT_EQ(QOV_SUCCESS, tnm.configureStatistics());
        EXPECT_EQ(QOV_SUCCESS, lbc.configureStatistics());
        EXPECT_TRUE(log.contains("Global Histograms in HIS are not enabled! The computed TNM curve will be flat."))
            << log.text();
        EXPECT_TRUE(log.contains("Global Histograms in HIS are not enabled! The LBC will not be able to compute the "
                                 "estimated brightness."))
            << log.text();
    }
    EXPECT_FALSE(his.bEnableGlobal);
    lbc.setAllowHISConfig(true);
    EXPECT_EQ(QOV_SUCCESS, lbc.configureStatistics());
    EXPECT_TRUE(his.bEnableGlobal);
    EXPECT_FALSE(his.bEnableROI);
    EXPECT_EQ(256u, his.ui32InputOffset);
    EXPECT_EQ(32767u, his.ui32InputScale);
}

// An all-zero global histogram (the statistics switched off) made 0/0 a
// level of NaN that stayed for ever: the shot is skipped and the level kept.
TEST_F(LoopsOnCamera, LightBasedControlSkipsAnEmptyHistogramAndKeepsItsLevel)
{
    makeCamera();
    auto *lbc = new ControlLBC("VOVA_CTRL_LBC");
    ASSERT_EQ(QOV_SUCCESS, camera->registerControlModule(lbc));
    lbc->setUpdateSpeed(1.0);
    start();
    ASSERT_EQ(QOV_SUCCESS, frame());
    const double level = lbc->getLightLevel();
    ASSERT_TRUE(std::isfinite(level));
    ModuleSHA &sha = module<ModuleSHA>();
    sha.fStrength = 0.77;
    vovatest::LogCapture log;
    EXPECT_EQ(QOV_SUCCESS, lbc->update(Metadata{}));
    EXPECT_TRUE(log.contains("Imgage average brightness is 0, cannot compute LBC!")) << log.text();
    EXPECT_EQ(level, lbc->getLightLevel());
    EXPECT_EQ(0.0, lbc->getMeteredLightLevel());
    EXPECT_EQ(0.77, sha.fStrength);

    // a measured shot: exposure 20 ms at gain 2 with every count in bin 63 measures 0.04
    ASSERT_EQ(QOV_SUCCESS, sensor().setExposure(20000));
    ASSERT_EQ(QOV_SUCCESS, sensor().setGain(2.0));
    Metadata bright{};
    bright.histogramStats.globalHistogram[63] = 1000;
    EXPECT_EQ(QOV_SUCCESS, lbc->update(bright));
    EXPECT_NEAR(sensor().getExposure() / 1e6 * sensor().getGain(), lbc->getMeteredLightLevel(), 1e-12);
    EXPECT_NEAR(0.04, lbc->getLightLevel(), 0.002);
    EXPECT_EQ(0.4, sha.fStrength);  // the default set without a table
    EXPECT_EQ(1.0, module<ModuleR2Y>().fSaturation);
}

// The level of a captured shot is exposure (s) x gain / brightness, smoothed
// from 1 by the update speed; the one set of the table reaches the
// sharpening and colour-plane modules, each value in its own field.
TEST_F(LoopsOnCamera, LightBasedControlMeasuresTheShotAndWritesEachSettingToItsField)
{
    makeCamera();
    auto *lbc = new ControlLBC("VOVA_CTRL_LBC");
    ASSERT_EQ(QOV_SUCCESS, camera->registerControlModule(lbc));
    lbc->setUpdateSpeed(0.25);
    LightCorrection set;
    set.sharpness = 0.3;
    set.saturation = 1.7;
    set.brightness = -0.2;
    set.contrast = 1.3;
    lbc->addConfiguration(set);
    lbc->setAllowHISConfig(true);
    start();
    ASSERT_EQ(QOV_SUCCESS, sensor().setExposure(8000));
    ASSERT_EQ(QOV_SUCCESS, sensor().setGain(3.0));
    ASSERT_EQ(QOV_SUCCESS, frame());  // the histogram switched on at the start measures from here
    const double before = lbc->getLightLevel();
    double brightness = 0.0;
    ASSERT_EQ(QOV_SUCCESS, frame([&](const Shot &shot) { brightness = ControlLBC::calculateBrightness(shot.metadata); }));
    ASSERT_GT(brightness, 0.0);
    ASSERT_LT(brightness, 1.0);
    const double measured = sensor().getExposure() / 1e6 * sensor().getGain() / brightness;
    EXPECT_NEAR(measured, lbc->getMeteredLightLevel(), 1e-12 * measured);
    EXPECT_NEAR(0.75 * before + 0.25 * measured, lbc->getLightLevel(), 1e-12 * measured);

    EXPECT_EQ(0.3, module<ModuleSHA>().fStrength);
    ModuleR2Y &r2y = module<ModuleR2Y>();
    EXPECT_EQ(1.7, r2y.fSaturation);
    EXPECT_EQ(-0.2, r2y.fBrightness);
    EXPECT_EQ(1.3, r2y.fContrast);

    // and reach the hardware with the next shot
    program();
    expectSent(r2y, ci().sRGBToYCC, [&](CI_MODULE_R2Y *out, int *mask) { return MC_R2YConvert(&mc().sR2Y, out, mask); });
    expectSent(module<ModuleSHA>(), ci().sSharpening, [&](CI_MODULE_SHA *out, int *mask) {
        return MC_SHAConvert(&mc().sSHA, out, mc().pHWInfo, mask);
    });
}

// Underexposed: the gain the target needs at the longest exposure lies above
// the maximum gain. Exposure capped at 5000 us and gain at 4; a dark
// metering asks for twice the product of the programmed exposure and gain.
TEST_F(LoopsOnCamera, ExposureIsUnderexposedOnlyWhenTheMaximumGainFallsShort)
{
    makeCamera();
    auto *ae = new ControlAE("VOVA_CTRL_AE");
    ASSERT_EQ(QOV_SUCCESS, camera->registerControlModule(ae));
    start();
    ASSERT_EQ(QOV_SUCCESS, frame());
    ASSERT_GE(sensor().getMaxGain(), 4.0);
    ae->setMaxAeExposure(5000);
    ae->setMaxAeGain(4.0);
    struct Case {
        double gain;
        bool underexposed;
    } const cases[] = {
        {4.0, true},   // needs about 8 at 5000 us
        {1.0, false},  // needs about 2
        {4.0, true},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(QOV_SUCCESS, sensor().setExposure(5000));
        ASSERT_EQ(QOV_SUCCESS, sensor().setGain(c.gain));
        const double product = sensor().getExposure() * sensor().getGain();
        ae->update(meteringAt(0));
        EXPECT_EQ(c.underexposed, ae->isUnderexposed()) << c.gain;
        EXPECT_EQ(5000u, ae->getNewExposure()) << c.gain;
        EXPECT_NEAR(std::fmin(2 * product / 5000, 4.0), ae->getNewGain(), 0.01) << c.gain;
    }
}

// The limits in force are the loop's own within the sensor's range; the
// setters clamp to that range, the backlight level to [0, 1].
TEST_F(LoopsOnCamera, ExposureLimitsLieWithinTheSensorsRange)
{
    makeCamera();
    auto *ae = new ControlAE("VOVA_CTRL_AE");
    ASSERT_EQ(QOV_SUCCESS, camera->registerControlModule(ae));
    start();
    const double minGain = sensor().getMinGain(), maxGain = sensor().getMaxGain();
    const auto minExposure = static_cast<microseconds_t>(sensor().getMinExposure());
    ASSERT_LT(minGain, 2.0);
    ASSERT_GT(maxGain, 3.0);
    ASSERT_LT(minExposure, 100u);
    EXPECT_EQ(std::fmax(1.0, minGain), ae->getMinAeGain());
    EXPECT_EQ(std::fmin(256.0, maxGain), ae->getTargetAeGain());
    EXPECT_EQ(minExposure > 1 ? minExposure : 1u, ae->getMinAeExposure());

    ae->setMinAeGain(2.0);
    ae->setTargetAeGain(3.0);
    ae->setMinAeExposure(100);
    ae->setMaxAeGain(maxGain * 2);
    EXPECT_EQ(2.0, ae->getMinAeGain());
    EXPECT_EQ(3.0, ae->getTargetAeGain());
    EXPECT_EQ(100u, ae->getMinAeExposure());
    EXPECT_EQ(maxGain, ae->getMaxAeGain());
    ParameterList saved;
    ASSERT_EQ(QOV_SUCCESS, ae->save(saved, ModuleBase::SAVE_VAL));
    EXPECT_EQ("2", saved.getParameter("AE_MIN_GAIN")->getString(0));
    EXPECT_EQ("3", saved.getParameter("AE_TARGET_GAIN")->getString(0));
    EXPECT_EQ("100", saved.getParameter("AE_MIN_EXPOSURE")->getString(0));

    struct Level {
        double set, held;
    } const levels[] = {{0.8, 0.8}, {1.5, 1.0}, {-0.2, 0.0}};
    for (const Level &l : levels) {
        ae->setBlcLevel(l.set);
        EXPECT_EQ(l.held, ae->getBlcLevel()) << l.set;
    }
}

// A fixed exposure (on the exposure step) takes the whole product as gain.
TEST_F(LoopsOnCamera, ExposureFixedTakesTheProductAsGain)
{
    makeCamera();
    auto *ae = new ControlAE("VOVA_CTRL_AE");
    ASSERT_EQ(QOV_SUCCESS, camera->registerControlModule(ae));
    start();
    ASSERT_EQ(QOV_SUCCESS, frame());
    ae->setFixedAeExposure(3000);
    ae->enableFixedAeExposure(true);
    ASSERT_EQ(QOV_SUCCESS, sensor().setExposure(3000));
    ASSERT_EQ(QOV_SUCCESS, sensor().setGain(2.0));
    const double product = sensor().getExposure() * sensor().getGain();
    ae->update(meteringAt(0));  // a dark metering doubles the product
    // the exposure steps down to a whole number of minimum exposures
    const microseconds_t step = ae->getMinAeExposure();
    const microseconds_t exposure = 3000 / step * step;
    EXPECT_EQ(exposure, ae->getNewExposure());
    EXPECT_NEAR(2 * product / exposure, ae->getNewGain(), 0.01);
}

// The sharpness of a shot: the grid weighted by the central table (the
// spread one as the centre weight falls), per pixel of a tile at 8 bits.
TEST_F(LoopsOnCamera, FocusSharpnessWeighsTheGridAndNormalisesByTheTileArea)
{
    Metadata centre{};
    centre.focusStats.gridSharpness[3][3] = 1000;
    centre.focusStats.gridSharpness[0][0] = 100000;  // a corner counts only in the spread table
    EXPECT_NEAR(276.3, ControlAF::sharpnessGridMetering(centre, 1.0), 1e-9);
    EXPECT_NEAR(28.3 + 1290.0, ControlAF::sharpnessGridMetering(centre, 0.0), 1e-9);
    EXPECT_NEAR(0.25 * 276.3 + 0.75 * 1318.3, ControlAF::sharpnessGridMetering(centre, 0.25), 1e-9);

    makeCamera();
    auto *af = new ControlAF("VOVA_CTRL_AF");
    ASSERT_EQ(QOV_SUCCESS, camera->registerControlModule(af));
    start();
    ASSERT_EQ(QOV_SUCCESS, frame());  // the first update initialises
    double metered = 0.0;
    ASSERT_EQ(QOV_SUCCESS, frame([&](const Shot &shot) { metered = ControlAF::sharpnessGridMetering(shot.metadata, 1.0); }));
    ASSERT_GT(metered, 0.0);
    // 1296 x 972: tiles of 185 x 138
    EXPECT_NEAR(metered / (185.0 * 138.0 * 255.0), af->getSharpness(), 1e-15);
}

TEST_F(LoopsOnCamera, ToneMappingWritesTheCurveAndTheLocalWeight)
{
    makeCamera();
    auto *tnm = new ControlTNM("VOVA_CTRL_TNM");
    ASSERT_EQ(QOV_SUCCESS, camera->registerControlModule(tnm));
    ASSERT_EQ(QOV_SUCCESS, tnm->setUpdateSpeed(1.0));
    ASSERT_EQ(QOV_SUCCESS, tnm->setLocalStrength(0.8));
    tnm->enableLocalTNM(true);
    start();
    ASSERT_EQ(QOV_SUCCESS, frame());
    ModuleTNM &module_ = module<ModuleTNM>();
    EXPECT_EQ(0.0, module_.fWeightLocal);  // local mode without the adaptive mode has no weight
    EXPECT_EQ(tnm->getMappingCurve()[0][1], module_.aCurve[0]);
    program();  // the curve reaches the hardware with the next shot
    expectSent(module_, ci().sToneMapping, [&](CI_MODULE_TNM *out, int *mask) {
        return MC_TNMConvert(&mc().sTNM, &mc().sIIF, mc().pHWInfo->config_ui8Parallelism, out, mask);
    });

    // adaptive mode at the sensor's highest gain: identity curve, full local weight
    tnm->enableAdaptiveTNM(true);
    ASSERT_EQ(QOV_SUCCESS, sensor().setGain(sensor().getMaxGain()));
    ASSERT_EQ(QOV_SUCCESS, tnm->update(meteringAt(3)));
    const double strength = tnm->getAdaptiveStrength();  // 0 at the gain read back, within its rounding
    EXPECT_NEAR(0.0, strength, 0.05);
    EXPECT_NEAR(10 / 64.0 + strength * (tnm->getMappingCurve()[0][10] - 10 / 64.0), module_.aCurve[9], 1e-12);
    EXPECT_NEAR((1.0 - strength) * 0.8, module_.fWeightLocal, 1e-6);

    // an empty histogram puts the curve back to the identity at once
    tnm->enableAdaptiveTNM(false);
    vovatest::LogCapture log;
    ASSERT_EQ(QOV_SUCCESS, tnm->update(Metadata{}));
    EXPECT_TRUE(log.contains("The global histograms are 0, the curve cannot be computed it is forced to identity!"))
        << log.text();
    EXPECT_EQ(10 / 64.0, module_.aCurve[9]);
}

TEST_F(LoopsOnCamera, FocusStatisticsCoverTheCentralThirdAndACentredGrid)
{
    makeCamera();
    auto *af = new ControlAF("VOVA_CTRL_AF");
    ASSERT_EQ(QOV_SUCCESS, camera->registerControlModule(af));
    af->setCommand(ControlAF::AF_TRIGGER);  // lost: the first update only initialises
    start();
    const ModuleFOS &fos = module<ModuleFOS>();
    EXPECT_TRUE(fos.bEnableROI);
    EXPECT_EQ(432u, fos.aRoiStartCoord[0]);
    EXPECT_EQ(324u, fos.aRoiStartCoord[1]);
    EXPECT_EQ(864u, fos.aRoiEndCoord[0]);
    EXPECT_EQ(648u, fos.aRoiEndCoord[1]);
    EXPECT_TRUE(fos.bEnableGrid);
    EXPECT_EQ(185u, fos.aGridTileSize[0]);
    EXPECT_EQ(138u, fos.aGridTileSize[1]);
    EXPECT_EQ(0u, fos.aGridStartCoord[0]);
    EXPECT_EQ(3u, fos.aGridStartCoord[1]);
    {
        vovatest::LogCapture log;
        ASSERT_EQ(QOV_SUCCESS, frame());
        EXPECT_TRUE(log.contains("ControlAF is not initialised. Initialising it now")) << log.text();
    }
    ASSERT_EQ(QOV_SUCCESS, frame());
    EXPECT_EQ(ControlAF::AF_IDLE, af->getState());
    EXPECT_TRUE(af->hasConverged());
}

TEST_F(LoopsOnCamera, ADisabledLoopConfiguresItsStatisticsButIsNotUpdated)
{
    makeCamera();
    auto *tnm = new ControlTNM("VOVA_CTRL_TNM");
    ASSERT_EQ(QOV_SUCCESS, camera->registerControlModule(tnm));
    tnm->enableControl(false);
    tnm->setAllowHISConfig(true);
    module<ModuleHIS>().bEnableGlobal = false;
    module<ModuleTNM>().aCurve[20] = 0.123;
    start();
    EXPECT_TRUE(module<ModuleHIS>().bEnableGlobal);
    ASSERT_EQ(QOV_SUCCESS, frame());
    ASSERT_EQ(QOV_SUCCESS, frame());
    EXPECT_EQ(0.123, module<ModuleTNM>().aCurve[20]);
    tnm->enableControl(true);
    ASSERT_EQ(QOV_SUCCESS, frame());
    EXPECT_NE(0.123, module<ModuleTNM>().aCurve[20]);
}

// Each loop checks for itself what it needs: an owner, the statistics
// module it configures in the owner, and the owner's sensor; without one
// it fails, saying which, and touches nothing.
TEST_F(LoopsOnCamera, EachLoopFailsWithoutItsOwnerItsStatisticsModuleOrItsSensor)
{
    struct Case {
        const char *name;
        std::function<std::unique_ptr<ControlModule>()> make;
        std::function<SetupModule *()> statistics;
        const char *noOwner, *noModule, *noSensor;  // messages; noSensor empty: configured without one
        QOV_RESULT updateAlone;                     // the update of a loop without an owner
        const char *updateMessage;
    };
    const Case cases[] = {
        {"AE", [] { return std::make_unique<ControlAE>("VOVA_CTRL_AE"); }, [] { return new ModuleHIS(); },
         "ControlAE has no pipeline owner! Cannot configure statistics.", "ControlAE cannot find HIS module",
         "ControlAE owner has no sensors!", QOV_ERROR_NOT_INITIALISED, "ControlAE owner has no sensors!"},
        {"AF", [] { return std::make_unique<ControlAF>("VOVA_CTRL_AF"); }, [] { return new ModuleFOS(); },
         "ControlAF has no pipeline owner! Cannot configure statistics.", "", "ControlAF has no sensor!",
         QOV_ERROR_NOT_INITIALISED, "ControlAF has no sensor!"},
        {"AWB", [] { return std::make_unique<ControlAWB_PID>("VOVA_CTRL_AWB"); }, [] { return new ModuleWBS(); },
         "ControlAWB has no pipeline owner! Cannot configure statistics.", "ControlAWB cannot find WBS module.",
         "ControlAWB has no sensor! Cannot configure the statistics regions.", QOV_SUCCESS, ""},
        {"Planckian", [] { return std::make_unique<ControlAWB_Planckian>("VOVA_CTRL_AWB"); },
         [] { return new ModuleAWS(); }, "ControlAWB_Planckian has no pipeline owner! Cannot configure statistics.",
         "ControlAWB_Planckian cannot find AWS module.",
         "ControlAWB_Planckian has no sensor! Cannot configure statistics.", QOV_SUCCESS, ""},
        {"LBC", [] { return std::make_unique<ControlLBC>("VOVA_CTRL_LBC"); }, [] { return new ModuleHIS(); },
         "ControlLBC has no pipeline owner! Cannot configure statistics.", "ControlLBC cannot find HIS module", "",
         QOV_ERROR_NOT_INITIALISED, "ControlLBC has no sensor!"},
        {"TNM",
         [] {
             auto tnm = std::make_unique<ControlTNM>("VOVA_CTRL_TNM");
             tnm->enableAdaptiveTNM(true);  // only the adaptive strength needs the sensor
             return tnm;
         },
         [] { return new ModuleHIS(); }, "ControlTNM has no pipeline owner! Cannot configure statistics.",
         "ControlTNM cannot find HIS", "", QOV_ERROR_NOT_INITIALISED, "ControlTNM has no sensor!"},
    };
    makeCamera();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Pipeline bare(camera->getConnection(), 1, camera->getSensor());
        Pipeline sightless(camera->getConnection(), 1, nullptr);
        std::unique_ptr<ControlModule> loop = c.make();
        {
            vovatest::LogCapture log;
            EXPECT_EQ(QOV_ERROR_NOT_INITIALISED, loop->configureStatistics());
            EXPECT_EQ(c.updateAlone, loop->update(Metadata{}));
            EXPECT_TRUE(log.contains(c.noOwner)) << log.text();
            EXPECT_TRUE(log.contains(c.updateMessage)) << log.text();
        }
        ASSERT_EQ(QOV_SUCCESS, loop->addPipeline(&bare));
        ASSERT_EQ(QOV_SUCCESS, loop->setPipelineOwner(&bare));
        {
            vovatest::LogCapture log;
            EXPECT_EQ(QOV_ERROR_WRONG_STATE, loop->configureStatistics());
            EXPECT_TRUE(log.contains(c.noModule)) << log.text();
        }
        std::unique_ptr<ControlModule> blind = c.make();
        SetupModule *statistics = c.statistics();
        ASSERT_EQ(QOV_SUCCESS, sightless.registerModule(statistics));
        statistics->clearFlags();
        {
            vovatest::LogCapture log;
            ASSERT_EQ(QOV_SUCCESS, blind->addPipeline(&sightless));
            blind->setPipelineOwner(&sightless);
            const QOV_RESULT configured = blind->configureStatistics();
            if (*c.noSensor) {
                EXPECT_EQ(QOV_ERROR_NOT_INITIALISED, configured);
                EXPECT_TRUE(log.contains(c.noSensor)) << log.text();
                EXPECT_FALSE(statistics->isUpdateRequested());
            } else {
                EXPECT_EQ(QOV_SUCCESS, configured);
            }
            if (c.updateAlone != QOV_SUCCESS) {
                EXPECT_EQ(c.updateAlone, blind->update(Metadata{}));
            }
        }
    }
}

}  // namespace
