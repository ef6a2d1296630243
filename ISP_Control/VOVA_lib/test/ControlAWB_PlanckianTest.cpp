// The Planckian white-balance control on a programmed camera, fed tile
// statistics: keys, the tile-statistics set-up, the estimate from the
// tiles, debug mode and hand-set balances, the state text, and the
// temporal smoothing and flash filter with their settings.
#include <cmath>
#include <sstream>

#include "control_test_support.h"
#include "module_test_support.h"
#include "vova/ControlAWB_Planckian.h"
#include "vova/ModuleAWS.h"
#include "vova/ModuleWBC.h"
#include "wb_test_support.h"

using namespace VOVA;
using vovatest::listOf;

namespace {

struct PlanckianProbe : public ControlAWB_Planckian {
    explicit PlanckianProbe(const std::string &name) : ControlAWB_Planckian(name) {}
    using ControlAWB_Planckian::f_B_Qeff;
    using ControlAWB_Planckian::f_R_Qeff;
    using ControlAWB_Planckian::fLog2_B_Qeff;
    using ControlAWB_Planckian::fLog2_R_Qeff;
    using ControlAWB_Planckian::fLog2LowTempRatioB;
    using ControlAWB_Planckian::fLog2LowTempRatioR;
    using ControlAWB_Planckian::fMaxRatioDistancePow2;
    using ControlAWB_Planckian::fRatioB;
    using ControlAWB_Planckian::fRatioR;
};

// Tile statistics of a grey scene under black-body light of `kelvin`:
// every tile n cells with the sensor's raw channel ratios.
MC_STATS_AWS greyTiles(double kelvin, unsigned n = 1000)
{
    const std::vector<double> gains = vovatest::neutralGains(kelvin);
    MC_STATS_AWS stats{};
    for (auto &row : stats.tileStats)
        for (MC_TILE_STATS_AWS &tile : row)
            tile = {n * (10.0 - std::log2(gains[0])), n * (10.0 - std::log2(gains[3])), n * 10.0, n};
    return stats;
}

Metadata shot(const MC_STATS_AWS &stats)
{
    Metadata m{};
    m.autoWhiteBalanceStats = stats;
    return m;
}

class PlanckianControl : public vovatest::LoopCamera {
protected:
    void SetUp() override
    {
        LoopCamera::SetUp();
        makeCamera();
        awb = new PlanckianProbe("VOVA_CTRL_AWB");
        ASSERT_EQ(QOV_SUCCESS, camera->registerControlModule(awb));
    }
    // Loaded with the calibration (and more keys) and its statistics configured.
    void ready(ParameterList list = ParameterList())
    {
        vovatest::addCalibration(list, vovatest::kPlanckianCalibration);
        ASSERT_EQ(QOV_SUCCESS, awb->load(list));
        ASSERT_EQ(QOV_SUCCESS, awb->configureStatistics());
    }
    double measure(double kelvin)
    {
        EXPECT_EQ(QOV_SUCCESS, awb->update(shot(greyTiles(kelvin))));
        return awb->getMeasuredTemperature();
    }

    PlanckianProbe *awb = nullptr;
};

TEST_F(PlanckianControl, KeysReadClampedAndSaved)
{
    bool smoothing = true;
    float base = 0;
    int stretch = 0;
    awb->getWBTSAlgorithm(smoothing, base, stretch);
    EXPECT_FALSE(smoothing);
    EXPECT_EQ(2.0f, base);
    EXPECT_EQ(300, stretch);
    EXPECT_TRUE(awb->ts_getFlashFiltering());  // until the keys are loaded

    ready(listOf({{"AWB_MAX_RATIO_DISTANCE", {"0.5"}},
                  {"WBT_TEMPORAL_STRETCH", {"100"}},
                  {"WBT_WEIGHT_BASE", {"20"}},
                  {"WBT_USE_SMOOTHING", {"1"}},
                  {"WB_TARGET_TEMPERATURE", {"5500"}},
                  {"WB_ESTIMATION_SCALE", {"3"}}}));
    EXPECT_EQ(0.25, awb->fMaxRatioDistancePow2);
    EXPECT_EQ(200, awb->getTemporalStretch());
    EXPECT_EQ(10.0f, awb->getWeightParam());
    EXPECT_TRUE(awb->ts_getSmoothing());
    EXPECT_FALSE(awb->ts_getFlashFiltering());
    EXPECT_TRUE(awb->flashFilteringDisabled());
    EXPECT_EQ(5500.0, awb->getTargetTemperature());
    EXPECT_EQ((std::vector<std::string>{"0.5"}), vovatest::savedValues(*awb, "AWB_MAX_RATIO_DISTANCE"));
    EXPECT_EQ((std::vector<std::string>{"<absent>"}), vovatest::savedValues(*awb, "WB_ESTIMATION_SCALE"));
    EXPECT_EQ((std::vector<std::string>{"1.001"}),
              vovatest::savedValues(*awb, "WBT_WEIGHT_BASE", ModuleBase::SAVE_MIN));
    EXPECT_EQ((std::vector<std::string>{"5000"}),
              vovatest::savedValues(*awb, "WBT_TEMPORAL_STRETCH", ModuleBase::SAVE_MAX));
    EXPECT_EQ((std::vector<std::string>{"0.2"}),
              vovatest::savedValues(*awb, "AWB_MAX_RATIO_DISTANCE", ModuleBase::SAVE_DEF));

    vovatest::LogCapture log;
    ASSERT_EQ(QOV_SUCCESS, awb->load(listOf({{"WB_CORRECTIONS", {"0"}}})));
    EXPECT_TRUE(log.contains("WARNING [VOVA_CTRL_AWB]: load() loaded temperature correction does not have 6500K "
                             "entry!\n"))
        << log.text();
}

TEST_F(PlanckianControl, StatisticsSetUpFromTheCalibrationAndTheSensor)
{
    ModuleAWS &aws = module<ModuleAWS>();
    aws.enabled = false;
    ready();
    const std::vector<double> at6500 = vovatest::neutralGains(6500), at2500 = vovatest::neutralGains(2500);
    EXPECT_TRUE(aws.enabled);
    EXPECT_TRUE(aws.isUpdateRequested());
    EXPECT_NEAR(at6500[0], awb->f_R_Qeff, 1e-5);
    EXPECT_NEAR(std::log2(at6500[3]), aws.fLog2_B_Qeff, 1e-5);
    EXPECT_EQ(awb->fLog2_R_Qeff, aws.fLog2_R_Qeff);
    EXPECT_EQ(0, aws.ui16GridStartRow);
    EXPECT_EQ(0, aws.ui16GridStartColumn);
    EXPECT_EQ(vovatest::kSensorWidth / 7, aws.ui16TileWidth);
    EXPECT_EQ(vovatest::kSensorHeight / 7, aws.ui16TileHeight);
    EXPECT_NEAR(std::log2(at6500[0] / at2500[0]) + aws.fBbDist, awb->fLog2LowTempRatioR, 1e-5);
    EXPECT_NEAR(std::log2(at6500[3] / at2500[3]) - aws.fBbDist, awb->fLog2LowTempRatioB, 1e-5);

    // with the module's own configuration its efficiencies and grid are kept
    aws.fLog2_R_Qeff = 1.0;
    aws.fLog2_B_Qeff = 0.5;
    aws.ui16TileWidth = 40;
    ASSERT_EQ(QOV_SUCCESS, awb->load(listOf({{"AWB_USE_AWS_CONFIG", {"1"}}})));
    ASSERT_EQ(QOV_SUCCESS, awb->configureStatistics());
    EXPECT_EQ(2.0, awb->f_R_Qeff);
    EXPECT_EQ(std::sqrt(2.0), awb->f_B_Qeff);
    EXPECT_EQ(40, aws.ui16TileWidth);
    ASSERT_EQ(QOV_SUCCESS, awb->load(listOf({{"WB_CORRECTIONS", {"0"}}, {"AWB_USE_AWS_CONFIG", {"1"}}})));
    vovatest::LogCapture log;
    ASSERT_EQ(QOV_SUCCESS, awb->configureStatistics());
    EXPECT_TRUE(log.contains("No temperature calibration points defined\n")) << log.text();
}

TEST_F(PlanckianControl, StatisticsFailures)
{
    ControlAWB_Planckian lone("VOVA_CTRL_AWB");
    Pipeline bare(camera->getConnection(), 1, camera->getSensor());
    vovatest::LogCapture log;
    EXPECT_EQ(QOV_ERROR_NOT_INITIALISED, lone.configureStatistics());
    ASSERT_EQ(QOV_SUCCESS, lone.addPipeline(&bare));
    ASSERT_EQ(QOV_SUCCESS, lone.setPipelineOwner(&bare));
    EXPECT_EQ(QOV_ERROR_WRONG_STATE, lone.configureStatistics());
    EXPECT_TRUE(log.contains(" ControlAWB_Planckian has no pipeline owner! Cannot configure statistics.\n"))
        << log.text();
}

// The locus is made of the segments between calibration points: with one
// point there is none, and the centroid is left as it is.
TEST_F(PlanckianControl, ACentroidWithoutACalibrationLineIsKept)
{
    for (const std::vector<double> &points : {std::vector<double>{}, std::vector<double>{6500}}) {
        ParameterList list;
        vovatest::addCalibration(list, points);
        {
            vovatest::LogCapture quiet;
            ASSERT_EQ(QOV_SUCCESS, awb->load(list));
        }
        double r = 1.25, b = 0.75;
        vovatest::LogCapture log;
        EXPECT_FALSE(awb->postprocessCentroid(r, b)) << points.size();
        EXPECT_EQ(1.25, r);
        EXPECT_EQ(0.75, b);
        EXPECT_TRUE(log.contains("No Planckian locus approximation loaded, please provide at least two different "
                                 "calibration points\n"))
            << log.text();
    }
}

TEST_F(PlanckianControl, TheTilesGiveTheSceneTemperatureAndItsGains)
{
    ready();
    for (double kelvin : {2800.0, 4200.0, 6500.0, 8000.0}) {
        SCOPED_TRACE(kelvin);
        // off the calibrated temperatures the locus is a chord
        EXPECT_NEAR(kelvin, measure(kelvin), 80.0);
        EXPECT_EQ(awb->getMeasuredTemperature(), awb->getCorrectionTemperature());
        const std::vector<double> expected = vovatest::neutralGains(kelvin);
        EXPECT_NEAR(expected[0], module<ModuleWBC>().aWBGain[0], 0.01 * expected[0]);
        EXPECT_NEAR(expected[3], module<ModuleWBC>().aWBGain[3], 0.01 * expected[3]);
        EXPECT_EQ(1.0, module<ModuleWBC>().aWBGain[1]);
        EXPECT_NEAR(1.0 / awb->fRatioR, awb->getRedBalance(), 1e-12);
    }
    // a few coloured tiles far from the grey ones do not move the estimate
    MC_STATS_AWS stats = greyTiles(4200);
    const MC_STATS_AWS blue = greyTiles(12000);
    for (int col = 0; col < 4; col++)
        stats.tileStats[6][col] = blue.tileStats[6][col];
    ASSERT_EQ(QOV_SUCCESS, awb->update(shot(stats)));
    EXPECT_NEAR(4200, awb->getMeasuredTemperature(), 30.0);
    // no tile counted: ratios 1, the 6500 K correction's own gains
    ASSERT_EQ(QOV_SUCCESS, awb->update(shot(MC_STATS_AWS{})));
    EXPECT_EQ(1.0, awb->fRatioR);
    EXPECT_EQ(1.0, awb->fRatioB);
    EXPECT_NEAR(6500, awb->getMeasuredTemperature(), 1.0);
}

// Two groups of tiles of about the same weight on either side of the
// centroid along the locus, one grey and one with a red cast: the grey one
// gives the temperature, whichever side it lies on.
TEST_F(PlanckianControl, OfTwoEvenGroupsTheOneNearerTheLocusIsTaken)
{
    ready(listOf({{"AWB_MAX_RATIO_DISTANCE", {"0.1"}}}));
    for (const auto &[onLocus, offLocus] : {std::pair{4000.0, 5000.0}, std::pair{5000.0, 4000.0}}) {
        MC_STATS_AWS stats = greyTiles(onLocus);
        const MC_STATS_AWS off = greyTiles(offLocus);
        for (int tile = 0; tile < 24; tile++) {
            MC_TILE_STATS_AWS &t = stats.tileStats[tile / 7][tile % 7];
            t = off.tileStats[tile / 7][tile % 7];
            t.fCollectedRed += 0.15 * t.numCFAs;  // a red cast: off the locus
        }
        ASSERT_EQ(QOV_SUCCESS, awb->update(shot(stats)));
        EXPECT_NEAR(onLocus, awb->getMeasuredTemperature(), 1.0);
    }
}

// The same choice on a locus whose red and blue ratios change unlike each
// other (red barely, blue four times over): the distance to the locus line
// is taken of each group's own red and blue ratios.
TEST_F(PlanckianControl, OfTwoEvenGroupsTheOneNearerALopsidedLocusIsTaken)
{
    // ratios (red, blue) of grey under 4000, 6500 and 8000 K: one straight line
    const double locus[3][3] = {{4000, 1.0, 0.5}, {6500, 0.9, 1.25}, {8000, 0.8, 2.0}};
    ParameterList list = listOf({{"AWB_MAX_RATIO_DISTANCE", {"0.1"}}, {"WB_CORRECTIONS", {"3"}}});
    for (int i = 0; i < 3; i++) {
        const std::string n = std::to_string(i);
        list.addParameter(Parameter("WB_TEMPERATURE_" + n, std::to_string(locus[i][0])), true);
        list.addParameter(Parameter("WB_CCM_" + n, {"1", "0", "0", "0", "1", "0", "0", "0", "1"}), true);
        list.addParameter(Parameter("WB_OFFSETS_" + n, {"0", "0", "0"}), true);
        list.addParameter(Parameter("WB_GAINS_" + n, {std::to_string(1.0 / locus[i][1]), "1", "1",
                                                       std::to_string(1.0 / locus[i][2])}),
                          true);
    }
    ASSERT_EQ(QOV_SUCCESS, awb->load(list));
    ASSERT_EQ(QOV_SUCCESS, awb->configureStatistics());
    const auto tile = [](double r, double b) {
        const unsigned n = 1000;
        return MC_TILE_STATS_AWS{n * (10.0 + std::log2(r)), n * (10.0 + std::log2(b)), n * 10.0, n};
    };
    MC_STATS_AWS grey{};
    for (auto &row : grey.tileStats)
        for (MC_TILE_STATS_AWS &t : row)
            t = tile(0.85, 1.625);  // on the locus, between 6500 and 8000 K
    ASSERT_EQ(QOV_SUCCESS, awb->update(shot(grey)));
    const double onLocus = awb->getMeasuredTemperature();
    ASSERT_GT(onLocus, 6500.0);

    MC_STATS_AWS stats = grey;
    for (int t = 0; t < 24; t++)  // near 4000 K, a little off the locus
        stats.tileStats[t / 7][t % 7] = tile(1.1, 0.6);
    ASSERT_EQ(QOV_SUCCESS, awb->update(shot(stats)));
    EXPECT_NEAR(onLocus, awb->getMeasuredTemperature(), 1.0);
}

// Of the two sub-centroids only one within 1.5 times the ratio distance of
// the centroid: that one is taken, however light its group.
TEST_F(PlanckianControl, TheOnlySubCentroidNearTheCentroidIsTakenWhateverItsWeight)
{
    ready();
    awb->processStatistics(greyTiles(6500));  // every tile alike: their ratios
    const double r = awb->fRatioR, b = awb->fRatioB;
    MC_STATS_AWS stats = greyTiles(2500);
    const MC_STATS_AWS near = greyTiles(6500);
    for (int col = 0; col < 7; col++)  // 7 tiles near, 42 far
        stats.tileStats[0][col] = near.tileStats[0][col];
    awb->processStatistics(stats);
    double cR = r, cB = b - 0.001;  // the near tiles on the upper side
    ASSERT_TRUE(awb->postprocessCentroid(cR, cB));
    EXPECT_NEAR(r, cR, 1e-6);
    EXPECT_NEAR(b, cB, 1e-6);
}

TEST_F(PlanckianControl, TilesBeyondTheLowTemperatureEndAreDropped)
{
    ready();
    MC_STATS_AWS stats = greyTiles(1200);
    const MC_STATS_AWS daylight = greyTiles(5500, 10);
    stats.tileStats[0][0] = daylight.tileStats[0][0];
    ASSERT_EQ(QOV_SUCCESS, awb->update(shot(stats)));
    // only the daylight tile is left
    EXPECT_NEAR(5500, awb->getMeasuredTemperature(), 30.0);
}

TEST_F(PlanckianControl, TargetDebugModeAndHandSetBalances)
{
    ready(listOf({{"WB_TARGET_TEMPERATURE", {"5000"}}}));
    measure(6000);
    EXPECT_NEAR(7500, awb->getCorrectionTemperature(), 80.0);

    ModuleWBC &wbc = module<ModuleWBC>();
    const double gains[4] = {wbc.aWBGain[0], wbc.aWBGain[1], wbc.aWBGain[2], wbc.aWBGain[3]};
    module<ModuleAWS>().debugMode = true;
    EXPECT_NEAR(3000, measure(3000), 30.0);  // measured, not programmed
    for (int c = 0; c < 4; c++)
        EXPECT_EQ(gains[c], wbc.aWBGain[c]) << c;
    module<ModuleAWS>().debugMode = false;

    awb->setCorrectionMode(ControlAWB::WB_NONE);
    awb->setRedBalance(1.5);
    awb->setBlueBalance(0.75);
    measure(3000);  // the tiles play no part
    EXPECT_NEAR(awb->f_R_Qeff * 1.5, wbc.aWBGain[0], 1e-12);
    EXPECT_NEAR(awb->f_B_Qeff * 0.75, wbc.aWBGain[3], 1e-12);
    EXPECT_EQ(1.5, awb->getRedBalance());
    EXPECT_NEAR(awb->getTemperatureCorrections().getCorrelatedTemperature(1 / 1.5, 1, 1 / 0.75),
                awb->getMeasuredTemperature(), 1e-9);
}

TEST_F(PlanckianControl, StateText)
{
    // two tiles, no calibration: red/green 0.5 and blue/green 2 with no efficiency
    MC_STATS_AWS stats{};
    stats.tileStats[0][0] = {9.0 * 100, 11.0 * 100, 10.0 * 100, 100};
    stats.tileStats[3][4] = {9.0 * 50, 11.0 * 50, 10.0 * 50, 50};
    vovatest::LogCapture log;
    ASSERT_EQ(QOV_SUCCESS, awb->update(shot(stats)));
    std::ostringstream temperature;
    temperature << TemperatureCorrection().getCorrelatedTemperature(0.5, 1.0, 2.0);
    std::ostringstream os;
    awb->printState(os);
    EXPECT_EQ("  VOVA_CTRL_AWB:\n"
              "    Config:\n"
              "      enabled = 1\n"
              "      Qer = 0\n"
              "      Qeb = 0\n"
              "      log2(LowTempRatioR) = 1\n"
              "      log2(LowTempRatioB) = 1\n"
              "      MaxDistance = 0.2\n"
              "      useCustomAwsConfig = 0\n"
              "    Temporal proc config:\n"
              "      weights base = 2\n"
              "      flash filter = 1\n"
              "      mode = 0\n"
              "      stretch [ms] = 300\n"
              "    Capture state:\n"
              "      ratioR = 0.5\n"
              "      ratioB = 2\n"
              "      estimated temperature = " +
                  temperature.str() +
                  "\n"
                  "    Final valid tiles:\n"
                  "      tile[0,0] R=0.5 B=2\n"
                  "      tile[3,4] R=0.5 B=2\n",
              os.str());
    EXPECT_TRUE(log.contains("No Planckian locus approximation loaded, please provide at least two different "
                             "calibration points\n"))
        << log.text();
}

TEST_F(PlanckianControl, SmoothingSettings)
{
    struct Case {
        float base, expected;
    } const bases[] = {{0.5f, 1.0001f}, {1.0f, 1.0001f}, {3.5f, 3.5f}, {12.0f, 10.0f}};
    for (const Case &c : bases) {
        awb->setWBTSAlgorithm(true, c.base, 150);
        EXPECT_EQ(c.expected, awb->getWeightParam()) << c.base;
        EXPECT_EQ(150, awb->getTemporalStretch());  // no range check
    }
    {
        vovatest::LogCapture log;
        awb->setWBTSAlgorithm(false, 2.0f, 300);
        EXPECT_EQ("INFO [VOVA_CTRL_AWB]: WBTS() mUseTemporalSmoothing = 0 mWeightsBase = 2.000000 "
                  "mTemporalStretch = 300[ms] \n",
                  log.text());
    }
    vovatest::LogCapture log;
    awb->setWeightParam(0.5f);
    EXPECT_EQ(ControlAWB_Planckian::getMinWeightBase(), awb->ts_getWeightBase());
    EXPECT_EQ(1.0010000467300415, awb->ts_getWeightBase());
    awb->setWeightParam(20.0f);
    EXPECT_EQ(10.0f, awb->ts_getWeightBase());
    awb->setWeightParam(4.0f);
    EXPECT_EQ(4.0f, awb->ts_getWeightBase());
    EXPECT_TRUE(log.contains("WARNING [VOVA_CTRL_AWB]: setWeightParam() WBTS: Weight generation parameter clipped to "
                             "min"))
        << log.text();
    EXPECT_TRUE(log.contains("WBTS: Weight generation parameter clipped to max")) << log.text();

    unsigned features = 7;
    awb->setWBTSFeatures(ControlAWB_Planckian::WBTS_FEATURES_NONE);
    awb->getWBTSFeatures(features);
    EXPECT_EQ(0u, features);
    awb->setWBTSFeatures(ControlAWB_Planckian::WBTS_FEATURES_FF);
    awb->getWBTSFeatures(features);
    EXPECT_EQ(1u, features);
    EXPECT_NEAR(30.0, awb->getFps(), 0.01);
}

TEST_F(PlanckianControl, FlashFilterHoldsAOneShotJump)
{
    ready(listOf({{"WBT_USE_FLASH_FILTERING", {"1"}}}));
    for (int k = 0; k < 6; k++)
        measure(4000);
    const double steady = awb->getMeasuredTemperature();
    EXPECT_EQ(steady, measure(2500));  // held back
    EXPECT_EQ(steady, measure(4000));  // the scene came back
    EXPECT_EQ(steady, measure(4000));
    // a lasting jump enters on its second shot
    EXPECT_EQ(steady, measure(2500));
    EXPECT_NEAR(2500, measure(2500), 30.0);

    // a flash is a sample far from the newest in both ratios; with no
    // history nothing is one
    EXPECT_TRUE(awb->potentialFlash({1000.0, 1000.0}));
    EXPECT_TRUE(awb->potentialFlash({0.001, 0.001}));
    awb->temporalAwbClear();
    EXPECT_FALSE(awb->potentialFlash({1000.0, 1000.0}));
}

TEST_F(PlanckianControl, ReadingTheSmoothingSettingsKeepsTheHistory)
{
    ready(listOf({{"WBT_USE_FLASH_FILTERING", {"1"}}}));
    for (int k = 0; k < 6; k++)
        measure(4000);
    const double steady = awb->getMeasuredTemperature();
    bool smoothing;
    float base;
    int stretch;
    awb->getWBTSAlgorithm(smoothing, base, stretch);
    // six samples of history still: the jump is held back
    EXPECT_EQ(steady, measure(2500));
    // setting them empties it, so the next jump enters at once
    awb->setWBTSAlgorithm(smoothing, base, stretch);
    measure(4000);
    EXPECT_NEAR(2500, measure(2500), 30.0);
}

TEST_F(PlanckianControl, EmptyingTheHistoryWhileAShotIsHeldBack)
{
    ready(listOf({{"WBT_USE_FLASH_FILTERING", {"1"}}}));
    for (int k = 0; k < 6; k++)
        measure(4000);
    measure(2500);  // held back
    awb->setWBTSAlgorithm(false, 2.0f, 300);
    EXPECT_NEAR(4000, measure(4000), 30.0);
    for (int k = 0; k < 6; k++)
        measure(4000);
    EXPECT_NEAR(4000, awb->getMeasuredTemperature(), 30.0);
    awb->temporalAwbClear();
    EXPECT_NEAR(3000, measure(3000), 30.0);
}

TEST_F(PlanckianControl, SmoothingAveragesTheWindowAndAShortWindowKeepsTheNewestSample)
{
    ready(listOf({{"WBT_USE_SMOOTHING", {"1"}}, {"WBT_TEMPORAL_STRETCH", {"200"}}}));
    for (int k = 0; k < 6; k++)
        measure(3000);
    // 200 ms at 30 frames per second: 6 samples, the newest weighing most
    const double first = measure(6000);
    EXPECT_GT(first, 3100);
    EXPECT_LT(first, 5900);
    double last = first;
    for (int k = 0; k < 5; k++) {
        const double next = measure(6000);
        EXPECT_GT(next, last);
        last = next;
    }
    EXPECT_NEAR(6000, last, 80.0);

    // under one frame: the window keeps the newest sample, not none
    awb->setTemporalStretch(10);
    EXPECT_NEAR(3500, measure(3500), 30.0);
    for (int c = 0; c < 4; c++)
        EXPECT_TRUE(std::isfinite(module<ModuleWBC>().aWBGain[c])) << c;
}

}  // namespace
