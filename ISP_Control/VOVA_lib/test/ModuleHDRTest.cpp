// HDR merge: weight and tone curves worked out by hand, the refused or
// replaced undefined values, and the module from key text to record.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "mc/mc_structs.h"
#include "vova/ModuleHDR.h"

using namespace VOVA;

TEST(ModuleHDRMaths, NormalMergeWeights)
{
    std::vector<double> w(MC_HDR_WEIGHT_POINTS);
    hdrMergeWeightCurve(0, 16, w.data(), MC_HDR_WEIGHT_POINTS);
    EXPECT_EQ(1.0, w[0]);  // both exposures weigh 0
    // a = 0.5 weighs 1; b = 1/32 gives t = 1/16 and 1/256 (3 - 1/8)
    const double b2048 = (1.0 / 256) * (3 - 0.125);
    EXPECT_NEAR(1 / (1 + b2048), w[2048], 1e-15);
    EXPECT_NEAR(0.989, w[2048], 5e-4);
    EXPECT_NEAR(0.0000166, w[4095], 1e-7);

    // the long exposure's black level narrows its range: at 4096 - 96 it weighs 0
    hdrMergeWeightCurve(96, 16, w.data(), MC_HDR_WEIGHT_POINTS);
    EXPECT_EQ(0.0, w[4000]);
    EXPECT_EQ(0.0, w[4095]);
    EXPECT_NEAR(1 / (1 + b2048), w[2000], 2e-3);
}

TEST(ModuleHDRMaths, ToneCurveAxisAndIdentity)
{
    EXPECT_EQ(255 * std::ldexp(1.0, -20), hdrToneCurveInput(255));
    EXPECT_EQ(256 * std::ldexp(1.0, -20), hdrToneCurveInput(256));
    EXPECT_EQ(512 * std::ldexp(1.0, -20), hdrToneCurveInput(512));
    EXPECT_EQ(0.998046875, hdrToneCurveInput(3327));

    std::vector<double> curve(MC_HDR_TNM_POINTS);
    hdrToneCurve(1, 1, curve.data());
    for (unsigned i = 0; i < MC_HDR_TNM_POINTS; i++)
        ASSERT_NEAR(hdrToneCurveInput(i), curve[i], 1e-15) << i;

    // scale 4, white 0.5: x = 0.25 (point 2816) gives 0.25 (4 + 1) / 2, and
    // x = 0.5 (point 3072) gives 0.5 (4 + 2) / 3 = 1; above it clamps to 1
    hdrToneCurve(4, 0.5, curve.data());
    EXPECT_EQ(0.25, hdrToneCurveInput(2816));
    EXPECT_NEAR(0.625, curve[2816], 1e-15);
    EXPECT_NEAR(1.0, curve[3072], 1e-15);
    EXPECT_EQ(1.0, curve[3327]);
}

TEST(ModuleHDRMaths, WhitePointZeroGivesTheLimitCurve)
{
    std::vector<double> curve(MC_HDR_TNM_POINTS, -1.0);
    hdrToneCurve(1, 0, curve.data());
    EXPECT_EQ(0.0, curve[0]);
    for (unsigned i = 1; i < MC_HDR_TNM_POINTS; i++)
        ASSERT_EQ(1.0, curve[i]) << i;
}
