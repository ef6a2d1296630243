// Sharpening: noise interpolation, denoiser tables, gain weights and the
// scalar controls worked out by hand, and the module from key text to record.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "SetupModuleFixture.h"
#include "vova/ModuleSHA.h"

using namespace VOVA;

namespace module_sha {
using namespace vovatest;

namespace {

std::vector<int> pointsOf(const QOV_UINT16 *p) { return std::vector<int>(p, p + SHA_DN_POINTS); }

class ModuleSHATest : public SetupModuleFixture {};

TEST(ModuleSHAMaths, NoiseInterpolationIsLog2LinearBetweenBreakpoints)
{
    EXPECT_DOUBLE_EQ(1.0, shaNoiseIndex(100, 1));
    EXPECT_DOUBLE_EQ(5.0, shaNoiseIndex(2000, 4));

    struct Case {
        double n, sigma, tau;
    } cases[] = {
        {0.1, 0.525623, 13.998},   {0.5, 0.525623, 13.998},       {1.0, 0.563392, 14.0367},
        {128, 0.0159695, 48.5187}, {1000, 0.0159695, 48.5187},    {16, 0.0453782, 47.2445},
        // halfway in log2 between 32 and 64 is 32 sqrt 2, not 48
        {32 * std::sqrt(2.0), (0.0440522 + 0.0250851) / 2, (45.4722 + 48.1982) / 2},
    };
    for (const Case &c : cases) {
        SHANoise noise = shaInterpolateNoise(c.n);
        EXPECT_NEAR(c.sigma, noise.sigma, 1e-12) << c.n;
        EXPECT_NEAR(c.tau, noise.tau, 1e-12) << c.n;
    }
    const double x = std::log2(0.6 / 0.5) / std::log2(1.5);
    EXPECT_NEAR(0.4497, x, 1e-4);
    EXPECT_NEAR((1 - x) * 0.525623 + x * 0.525717, shaInterpolateNoise(0.6).sigma, 1e-12);
}

TEST(ModuleSHAMaths, DenoiserTablesSaturateInsteadOfWrapping)
{
    QOV_UINT16 simil[SHA_DN_POINTS], avoid[SHA_DN_POINTS];
    shaSimilarityPoints(0.525623, 1, simil);
    shaAvoidancePoints(13.998, 1, avoid);
    EXPECT_EQ((std::vector<int>{787, 666, 545, 424, 303, 182, 61}), pointsOf(simil));
    EXPECT_EQ((std::vector<int>{102, 86, 70, 55, 39, 23, 8}), pointsOf(avoid));

    // sigma multiplier 9.13: point 0 is 65566.4, which a 16-bit field wrapped to 30
    shaSimilarityPoints(0.525623, 9.13, simil);
    EXPECT_EQ(65535, simil[0]);
    EXPECT_EQ(55479, simil[1]);
    // a tau multiplier of 0 makes every point infinite
    shaAvoidancePoints(13.998, 0, avoid);
    EXPECT_EQ((std::vector<int>(7, 65535)), pointsOf(avoid));
    // a sigma multiplier of 0 leaves the rounding half
    shaSimilarityPoints(0.525623, 0, simil);
    EXPECT_EQ((std::vector<int>(7, 0)), pointsOf(simil));
}

TEST(ModuleSHAMaths, GainWeightsAndScalarControls)
{
    struct Case {
        double radius;
        std::vector<double> weights;
    } cases[] = {{2.5, {37, 22, 15}}, {0.5, {2, 1, 1}}, {10, {42, 21, 21}}, {12, {42, 21, 21}}};
    for (const Case &c : cases) {
        double w[3];
        shaGainWeights(c.radius, w);
        EXPECT_EQ(c.weights, std::vector<double>(w, w + 3)) << c.radius;
        EXPECT_EQ(w[0], w[1] + w[2]);
    }

    EXPECT_EQ(1, shaThreshold(0));
    EXPECT_EQ(17, shaThreshold(0.5));
    EXPECT_EQ(33, shaThreshold(1));
    EXPECT_EQ(256, shaThreshold(9));
    EXPECT_DOUBLE_EQ(57.12, shaStrength(0.4));
    EXPECT_DOUBLE_EQ(142.8, shaStrength(1));
    EXPECT_DOUBLE_EQ(255, shaStrength(2));
    EXPECT_DOUBLE_EQ(63.75, shaEdgeScale(0.25));
    EXPECT_DOUBLE_EQ(255, shaEdgeScale(1.5));
    EXPECT_EQ(0, shaEdgeOffset(0));
    EXPECT_EQ(-31, shaEdgeOffset(-0.49));
    EXPECT_EQ(64, shaEdgeOffset(1));
    EXPECT_EQ(64, shaEdgeOffset(2));
    EXPECT_EQ(-64, shaEdgeOffset(-2));
}

TEST_F(ModuleSHATest, KeysAndSensorToRecord)
{
    ASSERT_EQ(1.0, sensor->getGain());
    struct Case {
        const char *what;
        ParameterList list;
        unsigned wellDepth;  // noise index = well depth / 100 at gain 1
        std::vector<int> simil, avoid;
        std::vector<double> weights;
        int threshold;
        double strength, detail, edgeScale;
        int edgeOffset;
        bool denoise;
    } cases[] = {
        {"defaults, low noise index", listOf({}), 50, {787, 666, 545, 424, 303, 182, 61},
         {102, 86, 70, 55, 39, 23, 8}, {37, 22, 15}, 1, 57.12, 1, 63.75, 0, true},
        {"noise index 1", listOf({}), 100, {904, 765, 626, 487, 348, 209, 70}, {101, 86, 70, 55, 39, 23, 8},
         {37, 22, 15}, 1, 57.12, 1, 63.75, 0, true},
        {"controls",
         listOf({{"SHA_RADIUS", {"0.5"}},
               {"SHA_STRENGTH", {"1"}},
               {"SHA_THRESH", {"0.5"}},
               {"SHA_DETAIL", {"0.3"}},
               {"SHA_EDGE_SCALE", {"2"}},
               {"SHA_EDGE_OFFSET", {"-0.49"}},
               {"SHA_DENOISE_BYPASS", {"1"}}}),
         50, {787, 666, 545, 424, 303, 182, 61}, {102, 86, 70, 55, 39, 23, 8}, {2, 1, 1}, 17, 142.8, 0.3, 255, -31,
         false},
        // 9.13 once wrapped point 0 to 30 in its 16-bit field; a tau multiplier of 0 divided by zero
        {"large sigma, no tau", listOf({{"SHA_DN_SIGMA_MULTIPLIER", {"9.13"}}, {"SHA_DN_TAU_MULTIPLIER", {"0"}}}), 50,
         {65535, 55479, 45392, 35305, 25218, 15131, 5044}, std::vector<int>(7, 65535), {37, 22, 15}, 1, 57.12, 1,
         63.75, 0, true},
    };
    ModuleSHA *sha = add<ModuleSHA>();
    for (const Case &c : cases) {
        sensor->uiWellDepth = c.wellDepth;
        ASSERT_EQ(QOV_SUCCESS, sha->load(c.list)) << c.what;
        ASSERT_EQ(QOV_SUCCESS, sha->setup()) << c.what;
        const MC_SHA &r = mc().sSHA;
        EXPECT_EQ(c.simil, pointsOf(r.aDNSimil)) << c.what;
        EXPECT_EQ(c.avoid, pointsOf(r.aDNAvoid)) << c.what;
        EXPECT_EQ(c.weights, std::vector<double>(r.aGainWeigth, r.aGainWeigth + 3)) << c.what;
        EXPECT_EQ(c.threshold, r.ui16Threshold) << c.what;
        EXPECT_DOUBLE_EQ(c.strength, r.fStrength) << c.what;
        EXPECT_DOUBLE_EQ(c.detail, r.fDetail) << c.what;
        EXPECT_DOUBLE_EQ(c.edgeScale, r.fELWScale) << c.what;
        EXPECT_EQ(c.edgeOffset, r.i16ELWOffset) << c.what;
        EXPECT_EQ(c.denoise, r.bDenoise != QOV_FALSE) << c.what;
        EXPECT_TRUE(r.updateNeeded);
    }
}

TEST_F(ModuleSHATest, NeedsTheSensor)
{
    ModuleSHA *sha = add<ModuleSHA>();
    pipeline->setSensor(nullptr);
    mc().sSHA.aDNSimil[0] = 7;
    mc().sSHA.updateNeeded = QOV_FALSE;
    LogCapture log;
    EXPECT_EQ(QOV_ERROR_WRONG_STATE, sha->setup());
    EXPECT_TRUE(log.contains("ERROR [VOVA_MOD_SHA]: setup():"));
    EXPECT_TRUE(log.contains("Pipeline does not have a sensor to get information from!\n"));
    EXPECT_EQ(7, mc().sSHA.aDNSimil[0]);
    EXPECT_FALSE(mc().sSHA.updateNeeded);
    pipeline->setSensor(sensor.get());
}

TEST_F(ModuleSHATest, SavedTextsPutTheDenoiserKeysOutsideTheGroup)
{
    EXPECT_EQ("// Sharpening parameters\n"
              "SHA_DETAIL 1 // double range=[0,1]\n"
              "SHA_EDGE_OFFSET 0 // double range=[-1,1]\n"
              "SHA_EDGE_SCALE 0.25 // double range=[0,1]\n"
              "SHA_RADIUS 2.5 // double range=[0.5,10]\n"
              "SHA_STRENGTH 0.4 // double range=[0,1]\n"
              "SHA_THRESH 0 // double range=[0,1]\n"
              "\n\n"
              "// Ungrouped parameters\n"
              "SHA_DENOISE_BYPASS 0 // bool {0,1}\n"
              "SHA_DN_SIGMA_MULTIPLIER 1 // double range=[0,16]\n"
              "SHA_DN_TAU_MULTIPLIER 1 // double range=[0,16]\n",
              savedText(ModuleSHA(), ModuleBase::SAVE_DEF, true));
    ParameterList min, max;
    ModuleSHA().save(min, ModuleBase::SAVE_MIN);
    ModuleSHA().save(max, ModuleBase::SAVE_MAX);
    EXPECT_EQ(std::vector<std::string>{"0.5"}, valuesOf(min, "SHA_RADIUS"));
    EXPECT_EQ(std::vector<std::string>{"0"}, valuesOf(min, "SHA_DENOISE_BYPASS"));
    EXPECT_EQ(std::vector<std::string>{"1"}, valuesOf(max, "SHA_DENOISE_BYPASS"));
    EXPECT_EQ(std::vector<std::string>{"16"}, valuesOf(max, "SHA_DN_TAU_MULTIPLIER"));
}

}  // namespace
}  // namespace module_sha
