// Sharpening: noise interpolation, denoiser tables, gain weights and the
// scalar controls worked out by hand, and the module from key text to record.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "vova/ModuleSHA.h"

using namespace VOVA;

namespace {

std::vector<int> pointsOf(const QOV_UINT16 *p) { return std::vector<int>(p, p + SHA_DN_POINTS); }

}  // namespace

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
