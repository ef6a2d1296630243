// The auto-exposure arithmetic alone: histogram measures, metering on
// designed histograms, the backlight level, the product step and its split
// into exposure and gain with the worked figures of the loop's design.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "vova/ControlAE.h"
#include "vova/ExposureMath.h"

using namespace VOVA;

namespace exposure_math {
using namespace VOVA::exposure;

namespace {

// Every region histogram with its counts spread as `bins` says.
MC_STATS_HIS regions(std::initializer_list<std::pair<int, QOV_UINT32>> bins)
{
    MC_STATS_HIS his{};
    for (auto &row : his.regionHistograms)
        for (auto &region : row)
            for (auto [bin, count] : bins)
                region[bin] = count;
    return his;
}

TEST(ExposureMetering, DesignedHistogramsMeterAsWorkedOut)
{
    struct Case {
        const char *name;
        MC_STATS_HIS his;
        double metered;
    } const cases[] = {
        {"all in the top bin", regions({{15, 100}}), 0.8 * 0.9999 + 0.2 * 1.0},
        {"all in the bottom bin", regions({{0, 100}}), -(0.8 * 0.9999 + 0.2 * 1.0)},
        {"split between bins 7 and 8", regions({{7, 50}, {8, 50}}), 0.0},
        {"no counts", regions({}), 0.0},
    };
    for (const Case &c : cases) {
        ControlAE ae("VOVA_CTRL_AE");
        EXPECT_NEAR(c.metered, ae.getBrightnessMetering(c.his, MC_STATS_EXS{}), 1e-12) << c.name;
        // the clipping statistics have no influence
        MC_STATS_EXS clipping{};
        std::memset(&clipping, 0x5A, sizeof clipping);
        EXPECT_NEAR(c.metered, ae.getBrightnessMetering(c.his, clipping), 1e-12) << c.name;
    }
    EXPECT_EQ(-0.5, ControlAE::getAverageBrightness(MC_STATS_HIS{}));
    // the 64 bins of the global histogram span 0 to 1, centred on 0
    for (const auto &[bin, average] : {std::pair{63, 0.5}, std::pair{21, 21.0 / 63.0 - 0.5}, std::pair{0, -0.5}}) {
        MC_STATS_HIS global{};
        global.globalHistogram[bin] = 1000;
        EXPECT_DOUBLE_EQ(average, ControlAE::getAverageBrightness(global)) << bin;
    }
}

TEST(ExposureMetering, HistogramMeasuresOfOneBinAndOfNothing)
{
    double top[16] = {}, none[16] = {};
    top[15] = 1.0;
    HistogramMeasures m = histogramMeasures(top, 16);
    EXPECT_DOUBLE_EQ(0.5, m.avgValue);
    EXPECT_DOUBLE_EQ(1.0, m.overExposure);
    EXPECT_DOUBLE_EQ(0.0, m.underExposure);
    m = histogramMeasures(none, 16);
    EXPECT_EQ(-0.5, m.avgValue);
    EXPECT_EQ(0.0, m.overExposure);
    EXPECT_EQ(0.0, m.underExposure);

    const QOV_UINT32 counts[4] = {1, 0, 3, 0};
    double normalised[4] = {9, 9, 9, 9};
    normalizeHistogram(counts, normalised, 4);
    EXPECT_EQ(0.25, normalised[0]);
    EXPECT_EQ(0.75, normalised[2]);
    normalizeHistogram(counts, normalised, 0);  // nothing happens
    EXPECT_EQ(0.25, normalised[0]);
}

TEST(ExposureMetering, AutomaticBacklightLevelStepsOncePerShot)
{
    double level = 0.0;
    int shots = 0;
    while (level < 1.0 && shots < 100) {
        level = nextBacklightLevel(level, 1.0, 0.25);
        shots++;
    }
    EXPECT_EQ(40, shots);
    EXPECT_EQ(1.0, nextBacklightLevel(level, 1.0, 0.0));
    // a difference of exactly 0.5 lowers it, and 0 holds
    EXPECT_NEAR(0.975, nextBacklightLevel(1.0, 0.75, 0.25), 1e-12);
    EXPECT_EQ(0.0, nextBacklightLevel(0.0, 0.75, 0.25));

    // the level in force moves the metering towards the foreground mean
    EXPECT_DOUBLE_EQ(0.2, combineMetering(0.0, 1.0, 0.0, 0.0, 1.0));
    EXPECT_DOUBLE_EQ(0.2 + 0.75 * 0.8, combineMetering(0.0, 1.0, 0.0, 1.0, 1.0));

    // with the mask itself as the grid the foreground mean is 1 and the background's is 0
    double fg, bg;
    backLightMeasure(BACKLIGHT_MASK, fg, bg);
    double expectFg = 0, sumM = 0, expectBg = 0;
    for (auto &row : BACKLIGHT_MASK)
        for (double m : row) {
            sumM += m;
            expectFg += m * m;
            expectBg += (1 - m) * m;
        }
    EXPECT_DOUBLE_EQ(20.0, sumM);
    EXPECT_DOUBLE_EQ(expectFg / 20.0, fg);
    EXPECT_DOUBLE_EQ(expectBg / 29.0, bg);
}

TEST(ExposureMetering, WeightTablesSumAsDesigned)
{
    Grid7x7 ones;
    for (auto &row : ones)
        for (double &v : row)
            v = 1.0;
    EXPECT_NEAR(0.9999, weightedGridSum(ones, GRID_WEIGHT_BROAD), 1e-12);
    EXPECT_NEAR(0.9999, weightedGridSum(ones, GRID_WEIGHT_NARROW), 1e-12);
    EXPECT_NEAR(1.0019, ControlAE::getWeightedStats(ones), 1e-12);
    EXPECT_NEAR(0.9999, ControlAE::getWeightedStatsBlended(ones, 0.65), 1e-12);
}

TEST(ExposureProduct, OneShotMovesTheProductByTheErrorToThePower125)
{
    EXPECT_DOUBLE_EQ(1000.0 * (1.0 + std::pow(0.5, 1.25)), nextProduct(-0.5, 0.0, 1000.0, 1.0));
    EXPECT_DOUBLE_EQ(2000.0, nextProduct(-0.5, 0.5, 1000.0, 1.0));
    EXPECT_DOUBLE_EQ(0.0, nextProduct(1.0, 0.0, 1000.0, 1.0));
    EXPECT_DOUBLE_EQ(0.0, nextProduct(1.0, -0.5, 1000.0, 1.0));  // error beyond -1 counts as -1
    EXPECT_DOUBLE_EQ(1000.0, nextProduct(0.3, 0.3, 1000.0, 1.0));
    EXPECT_DOUBLE_EQ(1500.0, nextProduct(-0.5, 0.5, 1000.0, 0.5));
}

TEST(ExposureSplit, FlickerPeriodIsHalfTheMainsPeriod)
{
    EXPECT_DOUBLE_EQ(10000.0, flickerPeriod(50.0));
    EXPECT_NEAR(8333.33, flickerPeriod(60.0), 0.01);
    EXPECT_EQ(0.0, flickerPeriod(0.0));
}

TEST(ExposureSplit, WorkedSplitsWithAndWithoutFlickerRejection)
{
    SplitLimits flicker;
    flicker.frameDuration = 1000000.0 / 30.0;
    flicker.flickerPeriod = 10000.0;
    flicker.maxAeExposure = 4294967295u;
    flicker.maxExposure = 1000000;
    flicker.targetGain = 256.0;
    SplitLimits steady = flicker;
    steady.flickerPeriod = 0.0;
    steady.maxAeExposure = 100000;
    steady.targetGain = 4.0;
    SplitLimits flickerLowTarget = flicker;
    flickerLowTarget.targetGain = 2.0;
    SplitLimits flickerCapped = flickerLowTarget;
    flickerCapped.maxAeExposure = 45000;  // whole periods: 40000

    struct Case {
        const char *name;
        const SplitLimits &limits;
        double product;
        microseconds_t exposure;
        double gain;
    } const cases[] = {
        {"below one period: as exposure", flicker, 7000.0, 7000, 1.0},
        {"between periods: whole periods and gain", flicker, 25000.0, 20000, 1.25},
        {"beyond the frame: the frame's whole periods", flicker, 50000.0, 30000, 50000.0 / 30000.0},
        {"within the frame", steady, 20000.4, 20000, 1.0},
        {"beyond the frame: frame and gain", steady, 100000.0, 33333, 100000.0 / 33333.0},
        {"gain past the target: longer exposure", steady, 200000.0, 50000, 4.0},
        {"past the cap: the gain rises again", steady, 800000.0, 100000, 8.0},
        // 100000 / 2 = 50000 at the target gain; the next whole period above it
        {"gain past the target under flicker: the next period up", flickerLowTarget, 100000.0, 60000,
         100000.0 / 60000.0},
        {"and past the cap's whole periods", flickerCapped, 100000.0, 40000, 2.5},
    };
    for (const Case &c : cases) {
        const ExposureGain r = splitProduct(c.product, c.limits);
        EXPECT_EQ(c.exposure, r.exposure) << c.name;
        EXPECT_NEAR(c.gain, r.gain, 1e-9) << c.name;
    }
}

TEST(ExposureSplit, RejectionKeepsWholePeriodsAndTheProduct)
{
    SplitLimits limits;
    limits.frameDuration = 1000000.0 / 30.0;
    limits.flickerPeriod = 10000.0;
    limits.maxAeExposure = 4294967295u;
    limits.maxExposure = 200000;
    limits.targetGain = 8.0;
    limits.maxExposure = 195432;  // no whole number of periods: its whole periods are used
    for (double product = 10000.0; product < 200000.0 * 8.0; product *= 1.37) {
        const ExposureGain r = splitProduct(product, limits);
        EXPECT_EQ(0u, r.exposure % 10000) << product;
        EXPECT_GE(r.exposure, 10000u) << product;
        EXPECT_TRUE(std::isfinite(r.gain)) << product;
        EXPECT_NEAR(product, r.exposure * r.gain, 1e-4 * product) << product;  // the product kept, to a microsecond
    }
}

// A frame shorter than one flicker period has no whole period to offer:
// the frame itself limits the exposure instead of a limit of 0 (which
// divided by zero into an infinite gain).
TEST(ExposureSplit, AFrameShorterThanTheFlickerPeriodKeepsTheFrameAsLimit)
{
    SplitLimits limits;
    limits.frameDuration = 1000000.0 / 120.0;  // 8333 us
    limits.flickerPeriod = 10000.0;
    limits.maxAeExposure = 5000;  // a cap shorter than a period too
    limits.maxExposure = 8000;
    limits.targetGain = 4.0;
    for (double product : {3000.0, 9000.0, 12000.0, 40000.0, 400000.0}) {
        const ExposureGain r = splitProduct(product, limits);
        EXPECT_GT(r.exposure, 0u) << product;
        EXPECT_LE(r.exposure, 8333u) << product;
        EXPECT_TRUE(std::isfinite(r.gain)) << product;
    }
    const ExposureGain r = splitProduct(9000.0, limits);
    EXPECT_EQ(8333u, r.exposure);
    EXPECT_NEAR(9000.0 / 8333.0, r.gain, 1e-9);
}

TEST(ExposureSplit, ExposureStepRoundsDownAndMovesTheRestToTheGain)
{
    struct Case {
        microseconds_t step, min, max, exposure;
        double gain;
        microseconds_t expectExposure;
        double expectGain;
    } const cases[] = {
        {100, 100, 30000, 1234, 1.0, 1200, 1234.0 / 1200.0},
        {100, 100, 30000, 40, 2.0, 100, 2.0 * 40 / 100},
        {100, 100, 1150, 1234, 1.0, 1150, 1234.0 / 1150.0},
        {1, 1, 30000, 0, 1.0, 1, 0.0},
        {0, 0, 30000, 0, 3.0, 0, 3.0},
    };
    for (const Case &c : cases) {
        const ExposureGain r = adjustExposureStep(c.step, c.min, c.max, c.exposure, c.gain);
        EXPECT_EQ(c.expectExposure, r.exposure) << c.exposure;
        EXPECT_DOUBLE_EQ(c.expectGain, r.gain) << c.exposure;
    }
    EXPECT_EQ(3u, exposureFixedGain(5.0, 2.0));  // 2.5 rounds half up
    EXPECT_EQ(4294967295u, toMicroseconds(1e12));
    EXPECT_EQ(0u, toMicroseconds(-5.0));
    EXPECT_EQ(0u, toMicroseconds(NAN));
}

}  // namespace
}  // namespace exposure_math
