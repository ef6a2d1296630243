// The white-balance arithmetic alone, with the worked figures of the loops:
// threshold tracking, statistics averages, colour transforms, the PID step,
// the Planckian tile tests and the temporal smoothing and flash filter.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "vova/AWBArithmetic.h"

using namespace VOVA;

namespace awb_arithmetic {
using namespace VOVA::awb;

namespace {

TEST(AWBThreshold, ResetStartsScanningAtOneHalf)
{
    Threshold t;
    EXPECT_EQ(0.5, estimateThreshold(t, 0.9, 0.1));
    EXPECT_EQ(TS_SCANNING, t.currentState);
    EXPECT_EQ(0.0, t.accumulatedError);
    EXPECT_EQ(0.005, t.errorMargin);
    EXPECT_EQ(0.0, t.scanningFrames);
}

TEST(AWBThreshold, ScanningStepsByTheErrorAndItsSum)
{
    Threshold t;
    estimateThreshold(t, 0.0, 0.0);
    // e = 0.2, accumulated 0.2: 0.5 + 0.075 x 0.2 + 0.01 x 0.2
    EXPECT_DOUBLE_EQ(0.517, estimateThreshold(t, 0.3, 0.1));
    EXPECT_EQ(TS_SCANNING, t.currentState);
    EXPECT_EQ(1.0, t.scanningFrames);
}

TEST(AWBThreshold, ErrorZeroWithLightFindsTheThresholdAndFoundHoldsIt)
{
    Threshold t;
    estimateThreshold(t, 0.0, 0.0);
    EXPECT_EQ(0.5, estimateThreshold(t, 0.2, 0.2));
    EXPECT_EQ(TS_FOUND, t.currentState);
    // found: the threshold stays, the margin shrinks to its floor
    EXPECT_EQ(0.5, estimateThreshold(t, 0.201, 0.2));
    EXPECT_EQ(TS_FOUND, t.currentState);
    EXPECT_EQ(0.005, t.errorMargin);
    // a larger error or no light scans again
    estimateThreshold(t, 0.3, 0.2);
    EXPECT_EQ(TS_SCANNING, t.currentState);
}

TEST(AWBThreshold, NoLightNeverFinds)
{
    Threshold t;
    estimateThreshold(t, 0.0, 0.0);
    estimateThreshold(t, 0.00005, 0.00005);
    EXPECT_EQ(TS_SCANNING, t.currentState);
}

TEST(AWBThreshold, MarginWidensFromTheFiftyFirstScanningFrame)
{
    Threshold t;
    estimateThreshold(t, 0.0, 0.0);
    for (int i = 0; i < 50; i++)
        estimateThreshold(t, 0.5, 0.0);
    EXPECT_EQ(0.005, t.errorMargin);
    estimateThreshold(t, 0.5, 0.0);
    EXPECT_DOUBLE_EQ(0.0055, t.errorMargin);
    estimateThreshold(t, 0.5, 0.0);
    EXPECT_DOUBLE_EQ(0.00605, t.errorMargin);
}

TEST(AWBThreshold, NeverLeavesZeroToOne)
{
    Threshold t;
    estimateThreshold(t, 0.0, 0.0);
    t.nextThreshold = 0.0;
    t.accumulatedError = -2.0;
    // candidate 0 + 0.075 x (-1) + 0.01 x (-2) is below 0
    EXPECT_EQ(0.0, estimateThreshold(t, 0.0, 1.0));
    for (int i = 0; i < 40; i++)
        EXPECT_LE(estimateThreshold(t, 1.0, 0.0), 1.0);
    EXPECT_EQ(1.0, t.nextThreshold);
}

TEST(AWBAverages, DifferenceOfTheTwoRegionsWithoutWrapping)
{
    struct Case {
        QOV_UINT32 acc0, acc1, count0, count1;
        bool usable;
        double average;
    } cases[] = {
        {3000, 1000, 30, 10, true, 100.0},
        {4000000000u, 1000000000u, 20000000, 5000000, true, 200.0},
        {3000, 1000, 10, 10, false, 0},  // no pixel between the thresholds
        {3000, 1000, 10, 30, false, 0},  // region 0 counts fewer: used to wrap to ~2^32
        {1000, 3000, 30, 10, false, 0},  // inconsistent sums: used to wrap
        {0, 0, 0, 0, false, 0},
    };
    for (const Case &c : cases) {
        double average = -1.0;
        EXPECT_EQ(c.usable, differenceAverage(c.acc0, c.acc1, c.count0, c.count1, average)) << c.count0;
        if (c.usable)
            EXPECT_DOUBLE_EQ(c.average, average);
        else
            EXPECT_EQ(-1.0, average);
    }
}

ColorCorrection correction(const double (&m)[9], const double (&o)[3], const double (&g)[4])
{
    return ColorCorrection(m, o, g, 6500.0);
}

TEST(AWBColour, TransformIsTheRowVectorTimesTheMatrix)
{
    const ColorCorrection c = correction({1, 2, 3, 4, 5, 6, 7, 8, 9}, {0, 0, 0}, {1, 1, 1, 1});
    double r, g, b;
    colorTransform(1, 10, 100, c, r, g, b);
    EXPECT_EQ(1 + 40 + 700, r);
    EXPECT_EQ(2 + 50 + 800, g);
    EXPECT_EQ(3 + 60 + 900, b);
}

TEST(AWBColour, InverseAppliesOffsetsMatrixGainsThenThePower)
{
    const ColorCorrection c = correction({1, 0, 0, 0, 1, 0, 0, 0, 1}, {10, 0, -28}, {2, 1, 3, 0.5});
    double r, g, b;
    invertColorCorrection(118, 256, 1052, c, r, g, b);
    EXPECT_DOUBLE_EQ(512.0 * std::pow(256.0 / 512.0, 1.0 / 2.2), r);  // (118 + 10) x 2
    EXPECT_DOUBLE_EQ(512.0 * std::pow(512.0 / 512.0, 1.0 / 2.2), g);  // 256 x (1 + 3) / 2
    EXPECT_DOUBLE_EQ(512.0, b);                                        // (1052 - 28) x 0.5
}

TEST(AWBColour, ChannelBelowTheOffsetGivesZeroNotNaN)
{
    const ColorCorrection c = correction({1, 0, 0, 0, 1, 0, 0, 0, 1}, {-16, -16, -16}, {1, 1, 1, 1});
    double r, g, b;
    invertColorCorrection(4, 100, 100, c, r, g, b);
    EXPECT_EQ(0.0, r);
    EXPECT_TRUE(std::isfinite(g));
    EXPECT_GT(g, 0.0);
}

TEST(AWBColour, TemperatureCorrections)
{
    EXPECT_EQ(7000.0, correctTemperature(6000, 1000, 1.0));
    EXPECT_EQ(3500.0, correctTemperature(6000, 1000, 0.5));
    EXPECT_EQ(0.0, correctTemperature(6000, -6500, 1.0));
    EXPECT_EQ(4000.0, correctTemperature2(6000, 1000, 0.5));
    EXPECT_EQ(0.0, correctTemperature2(1000, -6500, 1.0));
}

TEST(AWBPid, OutputRangeFromTheSixFiveHundredGain)
{
    struct Case {
        double iqe, low, high;
    } cases[] = {
        {2.0, 0.2, 2.0},
        {0.5, 0.2, 2.0},
        {1.0, 0.1, 4.0},
        // the bounds cross far from unit gain: kept ordered
        {10.0, 0.4, 1.0},
        {0.1, 0.4, 1.0},
    };
    for (const Case &c : cases) {
        PIDState s;
        s.update(0.1, 0.01, 0.1, c.iqe);
        EXPECT_NEAR(c.low, s.flMinGain, 1e-7) << c.iqe;
        EXPECT_NEAR(c.high, s.flMaxGain, 1e-7) << c.iqe;
        EXPECT_DOUBLE_EQ(s.flMinGain / 0.1, s.flIntegral);
    }
}

TEST(AWBPid, CombinedEstimateWeighsTheThreeEstimators)
{
    // the estimators a decade apart: each weight shows in its own digits
    EXPECT_DOUBLE_EQ(3790.0, combinedEstimate(100, 1000, 10000));  // 40 + 250 + 3500
    EXPECT_DOUBLE_EQ(0.4, combinedEstimate(1, 0, 0));
    EXPECT_DOUBLE_EQ(0.25, combinedEstimate(0, 1, 0));
}

TEST(AWBPid, FreshControllerAtTheSetPointGivesTheMinimum)
{
    PIDState s;
    s.update(0.1, 0.01, 0.1, 1.0);
    EXPECT_NEAR(s.flMinGain, PIDGain(&s, 1.0), 1e-12);
    EXPECT_TRUE(s.bConverged);
}

TEST(AWBPid, ConvergedWithinOneHundredthFreezesTheIntegral)
{
    PIDState s;
    s.update(0.1, 0.01, 0.1, 1.0);
    PIDGain(&s, 0.5);
    EXPECT_FALSE(s.bConverged);
    const double integral = s.flIntegral;
    EXPECT_NEAR(1.5, integral, 1e-7);
    PIDGain(&s, 1.0099);
    EXPECT_TRUE(s.bConverged);
    EXPECT_EQ(integral, s.flIntegral);
}

TEST(AWBPid, RangeLimitsTheOutputAndMarksTheClip)
{
    PIDState s;
    s.update(0.1, 0.01, 0.1, 1.0);
    double out = 0;
    for (int i = 0; i < 200; i++)
        out = PIDGain(&s, 0.01);
    EXPECT_EQ(4.0, out);
    EXPECT_TRUE(s.bClipped);
}

TEST(AWBPid, InvertedRangeNoLongerSticksTheOutput)
{
    // 6500 K red gain 10: the old range [1.0, 0.4] gave 0.4 whatever the error.
    PIDState s;
    s.update(0.1, 0.01, 0.1, 10.0);
    double low = PIDGain(&s, 5.0);
    for (int i = 0; i < 50; i++)
        low = PIDGain(&s, 5.0);
    s.update(0.1, 0.01, 0.1, 10.0);
    double high = PIDGain(&s, 0.2);
    for (int i = 0; i < 50; i++)
        high = PIDGain(&s, 0.2);
    EXPECT_LT(low, high);
}

TEST(AWBPid, ZeroIntegralGainKeepsTheOutputFinite)
{
    PIDState s;
    s.update(0.1, 0.01, 0.0, 1.0);
    EXPECT_EQ(0.0, s.flIntegral);
    EXPECT_TRUE(std::isfinite(PIDGain(&s, 0.5)));
}

TEST(AWBPid, ResetKeepsTheIntegral)
{
    PIDState s;
    s.update(0.1, 0.01, 0.1, 1.0);
    PIDGain(&s, 0.5);
    s.flTargetRatio = 2.0;
    const double integral = s.flIntegral;
    s.reset();
    EXPECT_EQ(1.0, s.flTargetRatio);
    EXPECT_EQ(0.0, s.flLastError);
    EXPECT_FALSE(s.bConverged);
    EXPECT_EQ(integral, s.flIntegral);
}

TEST(AWBPlanckian, TileRatioAndLowTemperatureBound)
{
    // 10 cells, red 1 stop above green in total, quantum efficiency 2^0.5
    EXPECT_DOUBLE_EQ(1.5, tileLog2Ratio(20.0, 10.0, 10.0, 0.5));
    // exactly at the bound stays in; beyond it on both axes is dropped
    EXPECT_FALSE(beyondLowTemperature(1.0, -1.0, 1.0, -1.5));
    EXPECT_FALSE(beyondLowTemperature(1.0, -1.0, 1.5, -1.0));
    EXPECT_TRUE(beyondLowTemperature(1.0, -1.0, 1.5, -1.5));
    EXPECT_FALSE(beyondLowTemperature(1.0, -1.0, 0.5, -1.5));
}

TEST(AWBPlanckian, SubCentroidChoice)
{
    const double D = 2.25 * 0.04;
    struct Case {
        const char *name;
        double dU, dL, wU, wL, lineU, lineL;
        bool upper;
    } cases[] = {
        {"only upper in range, light", 0.01, 0.5, 1, 100, 1, 0, true},
        {"only lower in range, light", 0.5, 0.01, 100, 1, 0, 1, false},
        {"both in, lower light", 0.01, 0.01, 100, 69, 1, 0, true},
        {"both in, upper light", 0.01, 0.01, 69, 100, 0, 1, false},
        {"both in, close weights: line decides", 0.01, 0.01, 100, 71, 0.2, 0.1, false},
        {"both in, close weights: upper nearer the line", 0.01, 0.01, 100, 71, 0.1, 0.2, true},
        {"tie goes to the lower", 0.01, 0.01, 100, 100, 0.1, 0.1, false},
        {"neither in, weights decide", 0.5, 0.5, 100, 10, 1, 0, true},
        {"exactly at the radius counts as out", D, 0.01, 100, 100, 0, 1, false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.upper, chooseUpperSubCentroid(c.dU, c.dL, D, c.wU, c.wL, c.lineU, c.lineL)) << c.name;
}

TEST(AWBSmoothing, WeightsOfBaseTwoOverThreeSamples)
{
    std::deque<float> w;
    generateWeights(w, 2.0f, 3);
    ASSERT_EQ(3u, w.size());
    EXPECT_NEAR(57.1429, w[0], 1e-4);  // the newest sample
    EXPECT_NEAR(28.5714, w[1], 1e-4);
    EXPECT_NEAR(14.2857, w[2], 1e-4);
    EXPECT_EQ(1.0f, weightSpread(1.0f, 3, 2));
    EXPECT_EQ(1.0f, weightSpread(0.5f, 3, 2));
}

TEST(AWBSmoothing, WindowFromStretchAndFrameRate)
{
    EXPECT_EQ(9, smoothingWindow(300, 30.0));
    EXPECT_EQ(7, smoothingWindow(300, 25.4));
    EXPECT_EQ(150, smoothingWindow(5000, 30.0));
    // under 5 frames per second 300 ms holds no frame: the newest sample stays
    EXPECT_EQ(1, smoothingWindow(300, 3.0));
    EXPECT_EQ(1, smoothingWindow(200, 0.0));
}

TEST(AWBSmoothing, WeightedMeanOfTheWindowNewestHeaviest)
{
    std::deque<rbNode_tag> nodes;
    for (int i = 0; i < 12; i++)
        nodes.push_front({1.0 + i, 2.0});
    std::deque<float> w;
    const rbNode_tag out = movingAverageWeighted(nodes, w, 2.0f, 9);
    EXPECT_EQ(9u, nodes.size());
    EXPECT_EQ(4.0, nodes.back().rg);  // the three oldest dropped
    double expected = 0;
    for (int i = 0; i < 9; i++)
        expected += (12.0 - i) * static_cast<float>(weightSpread(2.0f, 9, 8 - i) / 100.0f);
    EXPECT_DOUBLE_EQ(expected, out.rg);
    EXPECT_NEAR(2.0, out.bg, 1e-6);
    EXPECT_GT(out.rg, 11.0);
}

TEST(AWBSmoothing, OneSampleWindowGivesTheNewestSampleNotZero)
{
    std::deque<rbNode_tag> nodes{{0.8, 1.2}, {0.5, 0.5}};
    std::deque<float> w;
    const rbNode_tag out = movingAverageWeighted(nodes, w, 2.0f, smoothingWindow(300, 2.0));
    EXPECT_DOUBLE_EQ(0.8, out.rg);
    EXPECT_DOUBLE_EQ(1.2, out.bg);
}

TEST(AWBSmoothing, FlashTestNeedsBothRatiosOutsideFivePercent)
{
    const rbNode_tag f{1.0, 2.0};
    EXPECT_TRUE(potentialFlash({1.06, 2.2}, f));
    EXPECT_TRUE(potentialFlash({0.9, 1.8}, f));
    EXPECT_FALSE(potentialFlash({1.06, 2.0}, f));
    EXPECT_FALSE(potentialFlash({1.0, 2.2}, f));
    // a value on the bound counts as inside
    EXPECT_FALSE(potentialFlash({static_cast<float>(1.05), 2.2}, f));
}

class FlashFilter : public testing::Test {
protected:
    void history(int n)
    {
        for (int i = 0; i < n; i++)
            flashFiltering(nodes, cache, {1.0, 1.0}, true);
    }
    std::deque<rbNode_tag> nodes, cache;
};

TEST_F(FlashFilter, SingleShotJumpIsReplacedByARepeat)
{
    history(6);
    flashFiltering(nodes, cache, {2.0, 2.0}, true);
    EXPECT_EQ(6u, nodes.size());
    EXPECT_EQ(1u, cache.size());
    flashFiltering(nodes, cache, {1.01, 1.0}, true);
    EXPECT_EQ(8u, nodes.size());
    EXPECT_TRUE(cache.empty());
    EXPECT_EQ(1.01, nodes[0].rg);
    EXPECT_EQ(1.0, nodes[1].rg);  // the repeat of the last accepted sample
}

TEST_F(FlashFilter, LastingJumpEntersWithBothSamples)
{
    history(6);
    flashFiltering(nodes, cache, {2.0, 2.0}, true);
    flashFiltering(nodes, cache, {2.1, 2.1}, true);
    EXPECT_EQ(8u, nodes.size());
    EXPECT_TRUE(cache.empty());
    EXPECT_EQ(2.1, nodes[0].rg);
    EXPECT_EQ(2.0, nodes[1].rg);
}

TEST_F(FlashFilter, OneRatioShortHistoryOrFilterOffAcceptAtOnce)
{
    history(6);
    flashFiltering(nodes, cache, {2.0, 1.0}, true);
    EXPECT_EQ(7u, nodes.size());
    nodes.resize(5);
    flashFiltering(nodes, cache, {5.0, 5.0}, true);
    EXPECT_EQ(6u, nodes.size());
    EXPECT_EQ(5.0, nodes.front().rg);
    flashFiltering(nodes, cache, {1.0, 1.0}, false);
    EXPECT_EQ(7u, nodes.size());
    EXPECT_TRUE(cache.empty());
}

TEST_F(FlashFilter, EmptiedHistoryWithAHeldSampleDropsIt)
{
    history(6);
    flashFiltering(nodes, cache, {2.0, 2.0}, true);
    ASSERT_EQ(1u, cache.size());
    nodes.clear();  // the smoothing settings changed during the capture
    flashFiltering(nodes, cache, {1.0, 1.0}, true);
    ASSERT_EQ(1u, nodes.size());
    EXPECT_EQ(1.0, nodes.front().rg);
    EXPECT_TRUE(cache.empty());
}

}  // namespace
}  // namespace awb_arithmetic
