// The white-balance control and its PID variant on a programmed camera:
// keys and groups of the three classes, the statistics regions and the
// tracked thresholds reaching the statistics module with the shot, the
// two-region averages, the correction temperature, the PID loading, frame
// skipping, modes and resets.
#include <cmath>
#include <set>
#include <sstream>

#include "control_test_support.h"
#include "module_test_support.h"
#include "vova/ControlAWB_PID.h"
#include "vova/ControlAWB_Planckian.h"
#include "vova/ModuleCCM.h"
#include "vova/ModuleWBC.h"
#include "vova/ModuleWBS.h"
#include "wb_test_support.h"

using namespace VOVA;
using vovatest::listOf;

namespace {

const std::vector<double> kCalibration = {3000, 4000, 5000, 6000, 6500, 7500, 9000};

// Access to the fields the Parts name, for the checks.
template <class C> struct Probe : public C {
    explicit Probe(const std::string &name) : C(name) {}
    using C::HLWThreshold;
    using C::doAwb;
    using C::imageTotalPixels;
    using C::inverseCCM;
    using C::WPThresholdB;
    using C::WPThresholdG;
    using C::WPThresholdR;
};

TEST(WhiteBalanceKeys, EachClassSavesItsGroupUnderItsNameWithTheCalibration)
{
    struct Case {
        const char *name;
        std::unique_ptr<ControlAWB> control;
        const char *header;
        std::set<std::string> keys;
    };
    Case cases[] = {
        {"ControlAWB", std::make_unique<ControlAWB>("AWB"), "// Auto White Balance parameters",
         {"WB_ESTIMATION_OFFSET", "WB_ESTIMATION_SCALE", "WB_TARGET_PIXEL_RATIO", "WB_TARGET_TEMPERATURE"}},
        {"ControlAWB_PID", std::make_unique<ControlAWB_PID>("PID"), "// Auto White Balance parameters",
         {"WB_FRAME_DELAY"}},
        {"ControlAWB_Planckian", std::make_unique<ControlAWB_Planckian>("PL"),
         "// Auto White Balance parameters (Planckian)",
         {"AWB_MAX_RATIO_DISTANCE", "AWB_USE_AWS_CONFIG", "WBT_TEMPORAL_STRETCH", "WBT_USE_FLASH_FILTERING",
          "WBT_USE_SMOOTHING", "WBT_WEIGHT_BASE", "WB_TARGET_TEMPERATURE"}},
    };
    for (Case &c : cases) {
        SCOPED_TRACE(c.name);
        ParameterList calibration;
        vovatest::addCalibration(calibration, {3000, 6500});
        ASSERT_EQ(QOV_SUCCESS, c.control->load(calibration));
        ParameterList saved;
        ASSERT_EQ(QOV_SUCCESS, c.control->save(saved, ModuleBase::SAVE_VAL));
        ASSERT_TRUE(saved.hasGroup(c.name));
        EXPECT_EQ(c.header, saved.getGroup(c.name).header);
        EXPECT_EQ(c.keys, saved.getGroup(c.name).parameters);
        for (const std::string &key : c.keys)
            EXPECT_TRUE(saved.exists(key)) << key;
        EXPECT_EQ("2", saved.getParameterString("WB_CORRECTIONS", 0, ""));
        EXPECT_EQ(CTRL_AWB, c.control->getModuleID());
        EXPECT_TRUE(saved.hasGroup("TemperatureCorrection"));
    }
}

TEST(WhiteBalanceKeys, ReadClampedAndSavedByKind)
{
    ControlAWB awb("VOVA_CTRL_AWB");
    EXPECT_EQ("0.075", vovatest::savedValues(awb, "WB_TARGET_PIXEL_RATIO", ModuleBase::SAVE_DEF).at(0));
    EXPECT_EQ("20", vovatest::savedValues(awb, "WB_ESTIMATION_SCALE", ModuleBase::SAVE_MAX).at(0));
    EXPECT_EQ("-6500", vovatest::savedValues(awb, "WB_ESTIMATION_OFFSET", ModuleBase::SAVE_MIN).at(0));
    ASSERT_EQ(QOV_SUCCESS, awb.load(listOf({{"WB_ESTIMATION_SCALE", {"25"}}, {"WB_TARGET_TEMPERATURE", {"5000"}}})));
    EXPECT_EQ("20", vovatest::savedValues(awb, "WB_ESTIMATION_SCALE").at(0));
    EXPECT_EQ(5000.0, awb.getTargetTemperature());
    ASSERT_EQ(QOV_SUCCESS, awb.load(ParameterList()));  // every key read again
    EXPECT_EQ(6500.0, awb.getTargetTemperature());
    EXPECT_TRUE(awb.hasConverged());

    ControlAWB_PID pid("VOVA_CTRL_AWB-PID");
    std::ostringstream os;
    pid.printState(os);
    EXPECT_EQ("  VOVA_CTRL_AWB-PID:\n    config:\n      enabled = 1\n", os.str());
    vovatest::LogCapture log;
    ASSERT_EQ(QOV_SUCCESS, pid.load(listOf({{"WB_FRAME_DELAY", {"300"}}})));
    EXPECT_EQ(200u, pid.getNumberToSkip());
    EXPECT_EQ(200u, pid.getNumberOfSkipped());
    EXPECT_TRUE(log.contains("WARNING [VOVA_CTRL_AWB]: load() loaded temperature correction does not have 6500K "
                             "entry!\n"))
        << log.text();
    EXPECT_TRUE(log.contains("WARNING [VOVA_CTRL_AWB]: load() number of frames to skipped is not expected to change "
                             "from default!\n"))
        << log.text();
}

TEST(WhiteBalanceKeys, CorrectionNames)
{
    const std::pair<int, const char *> names[] = {{0, "NONE"},          {1, "Average Colour"},
                                                  {2, "White Patch"},   {3, "High Luminance White"},
                                                  {4, "Combined"},      {7, "unknown"},
                                                  {-1, "unknown"}};
    for (auto [type, name] : names)
        EXPECT_STREQ(name, ControlAWB::CorrectionName(static_cast<ControlAWB::Correction_Types>(type)));
}

// The white-patch thresholds track the counts of region 0 towards the
// largest count of region 1, whichever channel holds it.
TEST(WhiteBalanceThresholds, TheWhitePatchTargetIsTheLargestSecondRegionCountOfAnyChannel)
{
    auto track = [](const QOV_UINT32 (&second)[3]) {
        Metadata m{};
        for (int c = 0; c < 3; c++) {
            m.whiteBalanceStats.whitePatch[0].channelCount[c] = 50 + 10 * c;
            m.whiteBalanceStats.whitePatch[1].channelCount[c] = second[c];
        }
        awb::Threshold r, g, b;
        double t[3] = {};
        for (int frame = 0; frame < 3; frame++)
            ControlAWB::estimateWPThresholds(m, 1000.0, 0.075, r, g, b, t[0], t[1], t[2]);
        return std::vector<double>(t, t + 3);
    };
    const std::vector<double> expected = track({300, 300, 300});
    EXPECT_NE(track({0, 0, 0}), expected);
    EXPECT_EQ(expected, track({300, 20, 10}));
    EXPECT_EQ(expected, track({20, 300, 10}));
    EXPECT_EQ(expected, track({10, 20, 300}));
}

class WhiteBalanceControl : public vovatest::LoopCamera {
protected:
    template <class C> Probe<C> *registered(const ParameterList &calibration)
    {
        auto *control = new Probe<C>("VOVA_CTRL_AWB");
        EXPECT_EQ(QOV_SUCCESS, camera->registerControlModule(control));
        EXPECT_EQ(QOV_SUCCESS, control->load(calibration));
        return control;
    }
    static ParameterList calibration()
    {
        ParameterList list;
        vovatest::addCalibration(list, kCalibration);
        return list;
    }
};

TEST_F(WhiteBalanceControl, RegionsOnceOverTheWholeImageThresholdsOnEveryCall)
{
    makeCamera();
    auto *awb = registered<ControlAWB_PID>(calibration());
    EXPECT_EQ(vovatest::kSensorWidth * vovatest::kSensorHeight, awb->imageTotalPixels);
    ModuleWBS &wbs = module<ModuleWBS>();
    ASSERT_EQ(QOV_SUCCESS, awb->configureStatistics());
    for (int region = 0; region < 2; region++) {
        EXPECT_EQ(0u, wbs.aROIStartCoord[region][0]);
        EXPECT_EQ(0u, wbs.aROIStartCoord[region][1]);
        EXPECT_EQ(vovatest::kSensorWidth - 1, wbs.aROIEndCoord[region][0]);
        EXPECT_EQ(vovatest::kSensorHeight - 1, wbs.aROIEndCoord[region][1]);
    }
    EXPECT_EQ(2u, wbs.ui32NROIEnabled);
    EXPECT_EQ(0.4, wbs.aRedMaxTH[0]);
    EXPECT_EQ(0.75, wbs.aYHLWTH[0]);
    EXPECT_EQ(0.44999998807907104, wbs.aBlueMaxTH[1]);
    EXPECT_EQ(0.8999999761581421, wbs.aYHLWTH[1]);
    EXPECT_TRUE(wbs.isUpdateRequested());

    wbs.aROIEndCoord[0][0] = 100;
    wbs.ui32NROIEnabled = 1;
    wbs.aRedMaxTH[1] = 0.1;
    ASSERT_EQ(QOV_SUCCESS, awb->configureStatistics());
    EXPECT_EQ(100u, wbs.aROIEndCoord[0][0]);
    EXPECT_EQ(1u, wbs.ui32NROIEnabled);
    EXPECT_EQ(0.44999998807907104, wbs.aRedMaxTH[1]);
}

TEST_F(WhiteBalanceControl, StatisticsFailures)
{
    ControlAWB_PID lone("VOVA_CTRL_AWB-PID");
    {
        vovatest::LogCapture log;
        EXPECT_EQ(QOV_ERROR_NOT_INITIALISED, lone.configureStatistics());
        EXPECT_TRUE(log.contains(" ControlAWB has no pipeline owner! Cannot configure statistics.\n")) << log.text();
    }
    makeCamera();
    Pipeline bare(camera->getConnection(), 1, nullptr);
    ASSERT_EQ(QOV_SUCCESS, lone.addPipeline(&bare));
    vovatest::LogCapture log;
    ASSERT_EQ(QOV_SUCCESS, lone.setPipelineOwner(&bare));
    EXPECT_EQ(QOV_ERROR_WRONG_STATE, lone.configureStatistics());
    EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, lone.setPipelineOwner(camera->getPipeline()));
    EXPECT_TRUE(log.contains("WARNING [VOVA_CTRL_AWB-PID]: setPipelineOwner() Pipeline set but imageTotalPixels cannot "
                             "be computed because pipeline does not have a sensor!\n"))
        << log.text();
    EXPECT_TRUE(log.contains(" ControlAWB cannot find WBS module.")) << log.text();
    EXPECT_TRUE(log.contains(" parent's setPipelineOwner failed")) << log.text();
}

// Statistics of a shot: average colour, and per region the white-patch and
// high-luminance counts and sums.
Metadata statistics(QOV_UINT32 acR, QOV_UINT32 acG, QOV_UINT32 acB)
{
    Metadata m{};
    m.whiteBalanceStats.averageColor[0].channelAccumulated[0] = acR;
    m.whiteBalanceStats.averageColor[0].channelAccumulated[1] = acG;
    m.whiteBalanceStats.averageColor[0].channelAccumulated[2] = acB;
    return m;
}

// Registered after the capture started, the loop has not configured its
// statistics: its first update does, once.
TEST_F(WhiteBalanceControl, PidConfiguresItsStatisticsOnItsFirstUpdate)
{
    makeCamera();
    auto *pid = registered<ControlAWB_PID>(calibration());
    ModuleWBS &wbs = module<ModuleWBS>();
    wbs.ui32NROIEnabled = 0;
    wbs.aROIEndCoord[1][0] = 7;
    wbs.clearFlags();
    const double N = pid->imageTotalPixels;
    {
        vovatest::LogCapture log;
        ASSERT_EQ(QOV_SUCCESS, pid->update(statistics(50 * N, 100 * N, 80 * N)));
        EXPECT_TRUE(log.contains("ControlAWB Statistics were not configured! Trying to configure them now."))
            << log.text();
    }
    EXPECT_EQ(2u, wbs.ui32NROIEnabled);
    EXPECT_EQ(vovatest::kSensorWidth - 1, wbs.aROIEndCoord[1][0]);
    EXPECT_TRUE(wbs.isUpdateRequested());
    vovatest::LogCapture log;
    ASSERT_EQ(QOV_SUCCESS, pid->update(statistics(50 * N, 100 * N, 80 * N)));
    EXPECT_FALSE(log.contains("were not configured")) << log.text();
}

TEST_F(WhiteBalanceControl, TrackedThresholdsReachTheStatisticsModuleWithTheShot)
{
    makeCamera();
    auto *awb = registered<ControlAWB_PID>(calibration());
    ASSERT_EQ(QOV_SUCCESS, awb->configureStatistics());
    ModuleWBS &wbs = module<ModuleWBS>();
    const double N = awb->imageTotalPixels;
    Metadata m = statistics(100 * N, 100 * N, 100 * N);
    // region 0 counts 2 % of the pixels in red, 5 % in green and 8 % in
    // blue, region 1 none: each channel's threshold tracks its own count,
    // down below the target, up above it
    for (int c = 0; c < 3; c++)
        m.whiteBalanceStats.whitePatch[0].channelCount[c] = static_cast<QOV_UINT32>((0.02 + 0.03 * c) * N);
    m.whiteBalanceStats.highLuminance[0].lumaCount = static_cast<QOV_UINT32>(0.02 * N);
    for (int shot = 0; shot < 3; shot++) {
        wbs.clearFlags();
        ASSERT_EQ(QOV_SUCCESS, awb->update(m));
        EXPECT_TRUE(wbs.isUpdateRequested());
        EXPECT_EQ(awb->WPThresholdR, wbs.aRedMaxTH[0]);
        EXPECT_EQ(awb->WPThresholdG, wbs.aGreenMaxTH[0]);
        EXPECT_EQ(awb->WPThresholdB, wbs.aBlueMaxTH[0]);
        EXPECT_EQ(awb->HLWThreshold, wbs.aYHLWTH[0]);
    }
    EXPECT_LT(wbs.aRedMaxTH[0], 0.5);
    EXPECT_GT(wbs.aRedMaxTH[0], 0.0);
    EXPECT_LT(wbs.aRedMaxTH[0], wbs.aGreenMaxTH[0]);
    EXPECT_LT(wbs.aGreenMaxTH[0], 0.5);
    EXPECT_GT(wbs.aBlueMaxTH[0], 0.5);
    EXPECT_LT(wbs.aYHLWTH[0], 0.5);
}

TEST_F(WhiteBalanceControl, TrackedThresholdsMeasureTheFollowingShots)
{
    ParameterList setup = calibration();
    scene().map = simboard::SceneMap::Texture;
    scene().colourTemperature = 5000;
    scene().lightLevel = 0.4;
    makeCamera(setup);
    auto *awb = registered<ControlAWB_PID>(setup);
    awb->setCorrectionMode(ControlAWB::WB_COMBINED);
    start();
    std::vector<double> red, luma;
    for (int shot = 0; shot < 12; shot++) {
        ASSERT_EQ(QOV_SUCCESS, frame([&](const Shot &s) {
            red.push_back(s.metadata.whiteBalanceConfig.aRMax[0]);
            luma.push_back(s.metadata.whiteBalanceConfig.aYMax[0]);
        }));
    }
    // the shots are measured with the thresholds tracked on the shots
    // before (capture start: 0.4 and 0.75), and these stay inside the range
    EXPECT_EQ(819, red.front());
    EXPECT_EQ(1536, luma.front());
    EXPECT_NE(red.front(), red.back());
    EXPECT_NE(luma.front(), luma.back());
    for (size_t k = 1; k < red.size(); k++) {
        EXPECT_GT(red[k], 0) << k;
        EXPECT_LT(red[k], 2048) << k;
        EXPECT_GT(luma[k], 0) << k;
        EXPECT_LT(luma[k], 2048) << k;
    }
}

TEST_F(WhiteBalanceControl, TwoRegionAveragesFallBackToTheAverageColourInsteadOfWrapping)
{
    const double N = 1000;
    struct Case {
        const char *name;
        void (*fill)(Metadata &);
        void (*get)(const Metadata &, double, double &, double &, double &);
        double red;
    } const cases[] = {
        {"high luminance between the regions",
         [](Metadata &m) {
             m.whiteBalanceStats.highLuminance[0] = {{5000, 6000, 7000}, 50};
             m.whiteBalanceStats.highLuminance[1] = {{1000, 1000, 1000}, 10};
         },
         ControlAWB::getHLWAverages, 100.0},
        {"high luminance, region 1 counting more",
         [](Metadata &m) {
             m.whiteBalanceStats.highLuminance[0] = {{5000, 6000, 7000}, 10};
             m.whiteBalanceStats.highLuminance[1] = {{1000, 1000, 1000}, 50};
         },
         ControlAWB::getHLWAverages, 2.0},
        {"high luminance, region 1 summing more",
         [](Metadata &m) {
             m.whiteBalanceStats.highLuminance[0] = {{500, 6000, 7000}, 50};
             m.whiteBalanceStats.highLuminance[1] = {{1000, 1000, 1000}, 10};
         },
         ControlAWB::getHLWAverages, 2.0},
        {"white patch between the regions",
         [](Metadata &m) {
             m.whiteBalanceStats.whitePatch[0] = {{9000, 9000, 9000}, {40, 40, 40}};
             m.whiteBalanceStats.whitePatch[1] = {{1000, 1000, 1000}, {20, 20, 20}};
         },
         ControlAWB::getWPAverages, 400.0},
        {"white patch, region 1 counting more",
         [](Metadata &m) {
             m.whiteBalanceStats.whitePatch[0] = {{9000, 9000, 9000}, {40, 40, 40}};
             m.whiteBalanceStats.whitePatch[1] = {{1000, 1000, 1000}, {60, 20, 20}};
         },
         ControlAWB::getWPAverages, 2.0},
        {"white patch, no pixel in region 0",
         [](Metadata &m) { m.whiteBalanceStats.whitePatch[0] = {{9000, 9000, 9000}, {40, 0, 40}}; },
         ControlAWB::getWPAverages, 2.0},
        {"white patch, no red pixel in region 0",
         [](Metadata &m) { m.whiteBalanceStats.whitePatch[0] = {{9000, 9000, 9000}, {0, 40, 40}}; },
         ControlAWB::getWPAverages, 2.0},
        {"white patch, no blue pixel in region 0",
         [](Metadata &m) { m.whiteBalanceStats.whitePatch[0] = {{9000, 9000, 9000}, {40, 40, 0}}; },
         ControlAWB::getWPAverages, 2.0},
        {"white patch, one pixel of each in region 0 only",
         [](Metadata &m) { m.whiteBalanceStats.whitePatch[0] = {{300, 200, 100}, {1, 1, 1}}; },
         ControlAWB::getWPAverages, 300.0},
        {"high luminance, one pixel in region 0 only",
         [](Metadata &m) { m.whiteBalanceStats.highLuminance[0] = {{700, 600, 500}, 1}; },
         ControlAWB::getHLWAverages, 700.0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Metadata m = statistics(2000, 3000, 4000);
        c.fill(m);
        double r = 0, g = 0, b = 0;
        c.get(m, N, r, g, b);
        EXPECT_DOUBLE_EQ(c.red, r);
        EXPECT_TRUE(std::isfinite(g) && std::isfinite(b));
        EXPECT_LT(r, 1000.0);
    }
}

TEST_F(WhiteBalanceControl, TheTargetShiftsTheCorrectionTemperature)
{
    makeCamera();
    auto *awb = registered<ControlAWB>(calibration());
    awb->setTargetTemperature(5000);
    awb->setCorrectionMode(ControlAWB::WB_NONE);
    // hand-set balances of a 6000 K scene relative to the 6500 K correction
    const std::vector<double> at6000 = awb->getTemperatureCorrections().getColorCorrection(6000).gains[0];
    const std::vector<double> at6500 = vovatest::neutralGains(6500);
    awb->setRedBalance(at6000[0] / at6500[0]);
    awb->setBlueBalance(at6000[3] / at6500[3]);
    ASSERT_EQ(QOV_SUCCESS, awb->update(statistics(0, 0, 0)));
    EXPECT_NEAR(6000, awb->getMeasuredTemperature(), 1.0);  // not smoothed
    EXPECT_NEAR(7500, awb->getCorrectionTemperature(), 1.0);
    const std::vector<double> expected = vovatest::neutralGains(7500);
    const ModuleWBC &wbc = module<ModuleWBC>();
    for (int c = 0; c < 4; c++)
        EXPECT_NEAR(expected[c], wbc.aWBGain[c], 1e-3) << c;
    EXPECT_EQ(1.0, module<ModuleCCM>().aMatrix[4]);
}

// An estimated temperature sets both balances: the gains of its correction
// relative to those of the 6500 K correction.
TEST_F(WhiteBalanceControl, AnEstimateSetsBothBalancesFromItsCorrection)
{
    makeCamera();
    auto *awb = registered<ControlAWB>(calibration());
    awb->setCorrectionMode(ControlAWB::WB_AC);
    const double N = awb->imageTotalPixels;
    for (int shot = 0; shot < 12; shot++)  // the estimate all instances share settles on this scene
        ASSERT_EQ(QOV_SUCCESS, awb->update(statistics(50 * N, 100 * N, 80 * N)));
    const double E = awb->getMeasuredTemperature();
    ASSERT_GT(std::fabs(E - 6500.0), 100.0);
    const std::vector<double> at = awb->getTemperatureCorrections().getColorCorrection(E).gains[0];
    const std::vector<double> at6500 = awb->getTemperatureCorrections().getColorCorrection(6500).gains[0];
    EXPECT_NEAR(at[0] / at6500[0], awb->getRedBalance(), 1e-9);
    EXPECT_NEAR(at[3] / at6500[3], awb->getBlueBalance(), 1e-9);
    EXPECT_NE(awb->getRedBalance(), awb->getBlueBalance());
}

// Each estimating mode moves the estimate half way from where it stood to
// its measurement at every shot, and settles on the scene's temperature
// (empty white-patch and highlight regions: all three measure the average
// colour, and so does their combination). The hand-set balances of a
// 6000 K scene place the shared estimate first; the correction is held so
// that every shot measures alike.
TEST_F(WhiteBalanceControl, EachEstimateMovesHalfWayToTheSceneAtEveryShot)
{
    makeCamera();
    auto *awb = registered<ControlAWB>(calibration());
    awb->doAwb = false;
    const double N = awb->imageTotalPixels;
    const std::vector<double> at6000 = awb->getTemperatureCorrections().getColorCorrection(6000).gains[0];
    const std::vector<double> at6500 = vovatest::neutralGains(6500);
    for (ControlAWB::Correction_Types mode :
         {ControlAWB::WB_AC, ControlAWB::WB_WP, ControlAWB::WB_HLW, ControlAWB::WB_COMBINED}) {
        SCOPED_TRACE(mode);
        awb->setCorrectionMode(ControlAWB::WB_NONE);
        awb->setRedBalance(at6000[0] / at6500[0]);
        awb->setBlueBalance(at6000[3] / at6500[3]);
        ASSERT_EQ(QOV_SUCCESS, awb->update(statistics(0, 0, 0)));
        ASSERT_NEAR(6000, awb->getMeasuredTemperature(), 1.0);
        const double start = awb->getMeasuredTemperature();

        awb->setCorrectionMode(mode);
        ASSERT_EQ(QOV_SUCCESS, awb->update(statistics(50 * N, 100 * N, 80 * N)));
        const double first = awb->getMeasuredTemperature();
        for (int shot = 0; shot < 40; shot++)
            ASSERT_EQ(QOV_SUCCESS, awb->update(statistics(50 * N, 100 * N, 80 * N)));
        const double scene = awb->getMeasuredTemperature();
        EXPECT_GT(std::fabs(scene - start), 100.0);
        EXPECT_GE(scene, kCalibration.front());
        EXPECT_LE(scene, kCalibration.back());
        EXPECT_NEAR(0.5 * start + 0.5 * scene, first, 1e-6);
    }
}

// Loading another calibration drops the correction kept for the last
// temperature: the same estimate then programs the new matrix.
TEST_F(WhiteBalanceControl, ANewCalibrationTakesEffectAtTheSameTemperature)
{
    makeCamera();
    auto *awb = registered<ControlAWB>(calibration());
    awb->setCorrectionMode(ControlAWB::WB_NONE);
    ASSERT_EQ(QOV_SUCCESS, awb->update(statistics(0, 0, 0)));
    EXPECT_EQ(0.0, module<ModuleCCM>().aMatrix[1]);

    ParameterList list = calibration();
    for (size_t i = 0; i < kCalibration.size(); i++)
        list.addParameter(Parameter("WB_CCM_" + std::to_string(i),
                                    {"1.5", "-0.25", "-0.25", "-0.5", "2", "-0.5", "0", "-1", "2"}),
                          true);
    ASSERT_EQ(QOV_SUCCESS, awb->load(list));
    ASSERT_EQ(QOV_SUCCESS, awb->update(statistics(0, 0, 0)));
    EXPECT_EQ(-0.25, module<ModuleCCM>().aMatrix[1]);
    EXPECT_EQ(-1.0, module<ModuleCCM>().aMatrix[7]);
}

TEST_F(WhiteBalanceControl, TheCorrectionReachesEveryPipelineWithBothModules)
{
    makeCamera();
    ParameterList list = calibration();
    for (size_t i = 0; i < kCalibration.size(); i++) {
        const std::string n = std::to_string(i);
        list.addParameter(Parameter("WB_CCM_" + n, {"1.5", "-0.25", "-0.25", "-0.5", "2", "-0.5", "0", "-1", "2"}), true);
        list.addParameter(Parameter("WB_OFFSETS_" + n, {"1", "2", "3"}), true);
    }
    auto *awb = registered<ControlAWB>(list);
    Pipeline second(camera->getConnection(), 1, camera->getSensor());
    auto *wbc = new ModuleWBC();
    auto *ccm = new ModuleCCM();
    ASSERT_EQ(QOV_SUCCESS, second.registerModule(wbc));
    ASSERT_EQ(QOV_SUCCESS, second.registerModule(ccm));
    Pipeline gainsOnly(camera->getConnection(), 1, camera->getSensor());
    auto *lone = new ModuleWBC();
    ASSERT_EQ(QOV_SUCCESS, gainsOnly.registerModule(lone));
    ASSERT_EQ(QOV_SUCCESS, awb->addPipeline(&second));
    ASSERT_EQ(QOV_SUCCESS, awb->addPipeline(&gainsOnly));

    awb->setCorrectionMode(ControlAWB::WB_NONE);
    ASSERT_EQ(QOV_SUCCESS, awb->update(statistics(0, 0, 0)));
    for (ModuleCCM *m : {&module<ModuleCCM>(), ccm}) {
        EXPECT_EQ(-0.5, m->aMatrix[3]);  // row 1, column 0
        EXPECT_EQ(-1.0, m->aMatrix[7]);
        EXPECT_EQ(3.0, m->aOffset[2]);
        EXPECT_TRUE(m->isUpdateRequested());
    }
    const std::vector<double> gains = vovatest::neutralGains(6500);
    EXPECT_NEAR(gains[3], wbc->aWBGain[3], 1e-5);
    EXPECT_EQ(1.0, lone->aWBGain[3]);  // no colour-matrix module: skipped
    EXPECT_FALSE(lone->isUpdateRequested());
}

TEST_F(WhiteBalanceControl, AChannelBelowTheInverseOffsetGivesNoNaN)
{
    makeCamera();
    ParameterList list = calibration();
    for (size_t i = 0; i < kCalibration.size(); i++)
        list.addParameter(Parameter("WB_OFFSETS_" + std::to_string(i), {"40", "0", "0"}), true);
    auto *awb = registered<ControlAWB>(list);
    const double N = awb->imageTotalPixels;
    ASSERT_EQ(QOV_SUCCESS, awb->update(statistics(100 * N, 100 * N, 100 * N)));
    EXPECT_EQ(-40.0, awb->inverseCCM.offsets[0][0]);
    // red averages 10, below the offset of 40 that the inverse takes off
    ASSERT_EQ(QOV_SUCCESS, awb->update(statistics(10 * N, 100 * N, 100 * N)));
    EXPECT_TRUE(std::isfinite(awb->getMeasuredTemperature()));
    for (int c = 0; c < 4; c++)
        EXPECT_TRUE(std::isfinite(module<ModuleWBC>().aWBGain[c])) << c;
}

TEST_F(WhiteBalanceControl, PidRangesComeFromTheSixFiveHundredGains)
{
    makeCamera();
    ParameterList list = calibration();
    const int at6500 = 4;
    list.addParameter(Parameter("WB_GAINS_" + std::to_string(at6500), {"2.0", "1", "1", "0.5"}), true);
    auto *pid = registered<ControlAWB_PID>(list);
    EXPECT_NEAR(0.2, pid->getRedState().flMinGain, 1e-7);
    EXPECT_EQ(2.0, pid->getRedState().flMaxGain);
    EXPECT_NEAR(0.2, pid->getBlueState().flMinGain, 1e-7);
    EXPECT_EQ(2.0, pid->getBlueState().flMaxGain);
    EXPECT_NEAR(0.2 / 0.1, pid->getRedState().flIntegral, 1e-6);
    EXPECT_EQ(0.1, pid->getRedState().Kp);
    EXPECT_EQ(0.01, pid->getRedState().Kd);
}

TEST_F(WhiteBalanceControl, PidProcessesOneFrameInDelayPlusOne)
{
    makeCamera();
    ParameterList list = calibration();
    list.addParameter(Parameter("WB_FRAME_DELAY", "2"), true);
    auto *pid = registered<ControlAWB_PID>(list);
    const double N = pid->imageTotalPixels;
    std::vector<int> processed;
    vovatest::LogCapture log;
    for (int shot = 1; shot <= 7; shot++) {
        module<ModuleWBC>().clearFlags();
        ASSERT_EQ(QOV_SUCCESS, pid->update(statistics(50 * N, 100 * N, 80 * N)));
        if (module<ModuleWBC>().isUpdateRequested())
            processed.push_back(shot);
    }
    EXPECT_EQ((std::vector<int>{1, 4, 7}), processed);
    EXPECT_TRUE(log.contains("INFO [VOVA_CTRL_AWB]: update() skipping frame - skipped 0/2")) << log.text();
    EXPECT_TRUE(log.contains("skipping frame - skipped 1/2")) << log.text();
}

TEST_F(WhiteBalanceControl, PidModesTargetAndResets)
{
    makeCamera();
    auto *pid = registered<ControlAWB_PID>(calibration());
    const double N = pid->imageTotalPixels;
    pid->setTargetTemperature(3000);
    EXPECT_EQ(6500.0, pid->getTargetTemperature());

    // a grey measurement: both controllers at their set point
    ASSERT_EQ(QOV_SUCCESS, pid->update(statistics(100 * N, 100 * N, 100 * N)));
    EXPECT_TRUE(pid->hasConverged());
    EXPECT_EQ(pid->getMeasuredTemperature(), pid->getCorrectionTemperature());
    // too little red: the red gain goes up
    const double red = module<ModuleWBC>().aWBGain[0];
    ASSERT_EQ(QOV_SUCCESS, pid->update(statistics(50 * N, 100 * N, 100 * N)));
    EXPECT_FALSE(pid->hasConverged());
    EXPECT_GT(module<ModuleWBC>().aWBGain[0], red);
    EXPECT_NEAR(vovatest::neutralGains(6500)[0] * pid->getRedBalance(), module<ModuleWBC>().aWBGain[0], 1e-5);

    // re-enabling resets the set points and flags, not the integrals
    const double integral = pid->getRedState().flIntegral;
    pid->enableControl(true);
    EXPECT_FALSE(pid->getRedState().bConverged);
    EXPECT_EQ(0.0, pid->getRedState().flLastError);
    EXPECT_EQ(integral, pid->getRedState().flIntegral);
    pid->setResetStates(false);
    ASSERT_EQ(QOV_SUCCESS, pid->update(statistics(100 * N, 100 * N, 100 * N)));
    pid->enableControl(true);
    EXPECT_TRUE(pid->getRedState().bConverged);

    // a black frame changes nothing; an unknown mode fails
    const double gain = module<ModuleWBC>().aWBGain[3];
    ASSERT_EQ(QOV_SUCCESS, pid->update(statistics(0, 0, 0)));
    EXPECT_EQ(gain, module<ModuleWBC>().aWBGain[3]);
    EXPECT_TRUE(std::isfinite(pid->getMeasuredTemperature()));
    pid->setCorrectionMode(static_cast<ControlAWB::Correction_Types>(5));
    EXPECT_EQ(QOV_ERROR_OUT_OF_RANGE, pid->update(statistics(100 * N, 100 * N, 100 * N)));
    start();
    vovatest::LogCapture log;
    EXPECT_EQ(QOV_ERROR_FAILURE, frame());
    EXPECT_TRUE(log.contains("Failed to update module with id 0")) << log.text();
}

TEST_F(WhiteBalanceControl, PidWithoutEstimationTakesTheHandSetBalances)
{
    makeCamera();
    auto *pid = registered<ControlAWB_PID>(calibration());
    pid->setCorrectionMode(ControlAWB::WB_NONE);
    pid->setRedBalance(1.25);
    pid->setBlueBalance(0.8);
    ASSERT_EQ(QOV_SUCCESS, pid->update(statistics(0, 0, 0)));
    const std::vector<double> at6500 = vovatest::neutralGains(6500);
    EXPECT_NEAR(at6500[0] * 1.25, module<ModuleWBC>().aWBGain[0], 1e-4);
    EXPECT_NEAR(at6500[3] * 0.8, module<ModuleWBC>().aWBGain[3], 1e-4);
    EXPECT_EQ(1.25, pid->getRedBalance());
}

// The combined mode balances each channel against green: with the white
// patch and highlight regions empty every estimator falls back to the
// average colour, so too little red raises only the red gain, too little
// blue only the blue one.
TEST_F(WhiteBalanceControl, PidCombinedModeBalancesEachChannelAgainstGreen)
{
    makeCamera();
    auto *pid = registered<ControlAWB_PID>(calibration());
    pid->setCorrectionMode(ControlAWB::WB_COMBINED);
    const double N = pid->imageTotalPixels;
    ASSERT_EQ(QOV_SUCCESS, pid->update(statistics(100 * N, 100 * N, 100 * N)));
    EXPECT_TRUE(pid->hasConverged());
    const ModuleWBC &wbc = module<ModuleWBC>();
    double red = wbc.aWBGain[0], blue = wbc.aWBGain[3];
    ASSERT_EQ(QOV_SUCCESS, pid->update(statistics(50 * N, 100 * N, 100 * N)));
    EXPECT_GT(wbc.aWBGain[0], red);
    EXPECT_DOUBLE_EQ(blue, wbc.aWBGain[3]);
    ASSERT_EQ(QOV_SUCCESS, pid->update(statistics(100 * N, 100 * N, 50 * N)));
    EXPECT_GT(wbc.aWBGain[3], blue);
}

TEST(WhiteBalanceFactory, ThePidLoopUpToMinor5OfMajor2TheirPlanckianAfter)
{
    struct Case {
        unsigned major, minor;
        const char *awb;
    } const cases[] = {{1, 0, "VOVA_CTRL_AWB-PID"}, {2, 5, "VOVA_CTRL_AWB-PID"}, {2, 6, "VOVA_CTRL_AWB"},
                       {3, 0, "VOVA_CTRL_AWB"},     {1, 7, "VOVA_CTRL_AWB"}};
    for (const Case &c : cases) {
        std::list<ControlModule *> loops = CameraFactory::controlModulesFromHWVersion(c.major, c.minor);
        std::string awb, lsh;
        for (ControlModule *loop : loops) {
            if (loop->getModuleID() == CTRL_AWB)
                awb = loop->getLoggingName();
            if (loop->getModuleID() == CTRL_LSH)
                lsh = loop->getLoggingName();
            delete loop;
        }
        EXPECT_EQ(c.awb, awb) << c.major << "." << c.minor;
        EXPECT_EQ("VOVA_CTRL_LSH", lsh);
    }
}

}  // namespace
