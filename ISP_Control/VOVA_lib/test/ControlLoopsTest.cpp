// The tone-mapping, light-based and auto-focus arithmetic and state alone,
// and the keys and state printouts of the loops: worked figures, edge
// cases, and the scans that must always end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <vector>

#include "vova/ControlAE.h"
#include "vova/ControlAF.h"
#include "vova/ControlLBC.h"
#include "vova/ControlTNM.h"
#include "vova/ExposureMath.h"
#include "vova/ToneCurve.h"
#include "vova_test_support.h"

using namespace VOVA;

namespace {

/*-------------------------------------------------------------------------
 * Tone curve
 *-------------------------------------------------------------------------*/

void runCurve(std::vector<double> hist, double minHist, double maxHist, double tempering, double speed,
              double m[tone::CURVE_POINTS])
{
    tone::updateCurve(hist.data(), minHist, maxHist, 0.4, tempering, speed, m);
}

TEST(ToneCurve, AFlatHistogramKeepsTheIdentity)
{
    double m[tone::CURVE_POINTS];
    tone::identityCurve(m);
    std::vector<double> flat(64, 10.0);
    for (int i = 0; i < 5; i++)
        runCurve(flat, 0.035, 0.25, 0.2, 0.5, m);
    for (int i = 0; i < tone::CURVE_POINTS; i++)
        EXPECT_NEAR(i / 64.0, m[i], 1e-12) << i;
    EXPECT_EQ(0.0, m[0]);
    EXPECT_EQ(1.0, m[64]);
}

TEST(ToneCurve, SpeedClipsAndTemperingAsDesigned)
{
    std::vector<double> dark(64, 0.0);
    for (int i = 0; i < 8; i++)
        dark[i] = 1000.0;
    double m[tone::CURVE_POINTS];

    // speed 1 replaces the curve, 0 keeps it
    tone::identityCurve(m);
    runCurve(dark, 0.035, 0.25, 0.2, 1.0, m);
    const double replaced = m[8];
    EXPECT_GT(replaced, 8 / 64.0);
    runCurve(dark, 0.035, 0.25, 0.2, 1.0, m);
    EXPECT_DOUBLE_EQ(replaced, m[8]);
    tone::identityCurve(m);
    runCurve(dark, 0.035, 0.25, 0.2, 0.0, m);
    EXPECT_DOUBLE_EQ(8 / 64.0, m[8]);

    // a lower clip above the upper one flattens every bin: the identity
    tone::identityCurve(m);
    runCurve(dark, 0.5, 0.25, 0.2, 1.0, m);
    EXPECT_NEAR(8 / 64.0, m[8], 1e-12);

    // a strongly peaked histogram and full tempering give the exponent 0: the identity
    std::vector<double> peak(64, 0.0);
    peak[30] = 1.0;
    tone::identityCurve(m);
    runCurve(peak, 0.0, 1.0, 1.0, 1.0, m);
    EXPECT_NEAR(30 / 64.0, m[30], 1e-12);

    // an empty histogram resets the curve at once, whatever the speed
    runCurve(dark, 0.035, 0.25, 0.2, 1.0, m);
    std::vector<double> empty(64, 0.0);
    EXPECT_FALSE(tone::updateCurve(empty.data(), 0.035, 0.25, 0.4, 0.2, 0.0, m));
    EXPECT_EQ(8 / 64.0, m[8]);
}

// Bins 0 and 1 holding 4:1 normalise to 0.8 and 0.2, whose squares sum to
// 0.68; a tempering of 0.01 gives the exponent 1 - 100 x 0.01 x 0.68 = 0.32,
// so the curve's first step is 0.8^0.32 / (0.8^0.32 + 0.2^0.32) = 0.60912.
TEST(ToneCurve, TemperingRaisesTheBinsToOneMinusAHundredTimesTemperingTimesPeakedness)
{
    std::vector<double> hist(64 + 1, 0.0);  // one more: the curve works on the 64 bins only
    hist[0] = 4.0;
    hist[1] = 1.0;
    hist[64] = 7.0;
    double m[tone::CURVE_POINTS];
    tone::identityCurve(m);
    ASSERT_TRUE(tone::updateCurve(hist.data(), 0.0, 1.0, 0.0, 0.01, 1.0, m));
    EXPECT_NEAR(0.609120, m[1], 1e-6);
    EXPECT_DOUBLE_EQ(1.0, m[2]);
    EXPECT_EQ(7.0, hist[64]);
    // nor is what follows them read: with a clip below the peak the curve is that of the 64 bins alone
    std::vector<double> alone(hist.begin(), hist.begin() + 64), followed = hist;
    alone[0] = followed[0] = 4.0;
    alone[1] = followed[1] = 1.0;
    followed[64] = 7.0;
    double a[tone::CURVE_POINTS], f[tone::CURVE_POINTS];
    tone::identityCurve(a);
    tone::identityCurve(f);
    ASSERT_TRUE(tone::updateCurve(alone.data(), 0.0, 0.5, 0.0, 0.01, 1.0, a));
    ASSERT_TRUE(tone::updateCurve(followed.data(), 0.0, 0.5, 0.0, 0.01, 1.0, f));
    EXPECT_EQ(std::vector<double>(a, a + tone::CURVE_POINTS), std::vector<double>(f, f + tone::CURVE_POINTS));
}

TEST(ToneCurve, SmoothingKernelRepeatsTheEdgeBins)
{
    double h[64] = {}, out[64];
    h[0] = 1.0;
    tone::smoothHistogram(h, out);
    EXPECT_DOUBLE_EQ(0.65, out[0]);
    EXPECT_DOUBLE_EQ(0.35, out[1]);
    EXPECT_DOUBLE_EQ(0.15, out[2]);
    EXPECT_DOUBLE_EQ(0.05, out[3]);
    EXPECT_EQ(0.0, out[4]);

    Matrix wrong(1, 10);
    vovatest::LogCapture log;
    EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, ControlTNM::smoothHistogram(wrong));
    EXPECT_TRUE(log.contains("Expecting matrix with 1x64 elements")) << log.text();
    Matrix acc = ControlTNM::accumulateHistogram(wrong);
    EXPECT_EQ(0.0, acc.sum());
    EXPECT_EQ(65, acc.numCols());
}

// The loop's matrix helpers are the curve arithmetic on the matrix's row.
TEST(ToneCurve, TheLoopsMatrixHelpersWorkOnTheHistogramRow)
{
    double raw[tone::HIST_BINS];
    Metadata metadata{};
    for (int i = 0; i < tone::HIST_BINS; i++) {
        metadata.histogramStats.globalHistogram[i] = static_cast<QOV_UINT32>((i * 37) % 23 + (i == 40 ? 500 : 0));
        raw[i] = metadata.histogramStats.globalHistogram[i];
    }
    Matrix hist(1, tone::HIST_BINS);
    ASSERT_EQ(QOV_SUCCESS, ControlTNM::loadHistogram(metadata, hist));
    EXPECT_EQ(std::vector<double>(raw, raw + tone::HIST_BINS), hist[0]);

    double expected[tone::CURVE_POINTS];
    tone::accumulate(raw, expected);
    EXPECT_EQ(std::vector<double>(expected, expected + tone::CURVE_POINTS), ControlTNM::accumulateHistogram(hist)[0]);

    for (double amount : {0.0, 0.25, 1.0, 1.5}) {
        Matrix blended = hist;
        double want[tone::HIST_BINS];
        std::copy(raw, raw + tone::HIST_BINS, want);
        vovatest::LogCapture log;  // 1.5 is refused and taken as 0
        tone::blendSmoothed(want, amount > 1.0 ? 0.0 : amount);
        ASSERT_EQ(QOV_SUCCESS, ControlTNM::smoothHistogram(blended, amount));
        EXPECT_EQ(std::vector<double>(want, want + tone::HIST_BINS), blended[0]) << amount;
        EXPECT_EQ(amount > 1.0, log.contains("Smoothing amount must be between 0.0 and 1.0. Setting to 0.0.")) << amount;
        EXPECT_EQ(amount > 1.0, log.contains("ERROR")) << log.text();  // a sound call logs no error
    }
    Matrix smoothed = hist;
    double want[tone::HIST_BINS];
    tone::smoothHistogram(raw, want);
    {
        vovatest::LogCapture log;
        ASSERT_EQ(QOV_SUCCESS, ControlTNM::smoothHistogram(smoothed));
        EXPECT_FALSE(log.contains("ERROR")) << log.text();
    }
    EXPECT_EQ(std::vector<double>(want, want + tone::HIST_BINS), smoothed[0]);

    Matrix curve(1, tone::CURVE_POINTS);
    ASSERT_EQ(QOV_SUCCESS, ControlTNM::resetCurve(curve));
    double running[tone::CURVE_POINTS];
    tone::identityCurve(running);
    EXPECT_EQ(std::vector<double>(running, running + tone::CURVE_POINTS), curve[0]);
    for (double smoothing : {0.0, 0.5, 1.0, -0.5}) {
        Matrix input = hist;
        vovatest::LogCapture log;  // -0.5 is refused and taken as 0
        ASSERT_EQ(QOV_SUCCESS, ControlTNM::generateMappingCurve(input, 0.05, 0.3, smoothing, 0.1, 0.75, curve));
        double h[tone::HIST_BINS];
        std::copy(raw, raw + tone::HIST_BINS, h);
        tone::updateCurve(h, 0.05, 0.3, smoothing < 0.0 ? 0.0 : smoothing, 0.1, 0.75, running);
        EXPECT_EQ(std::vector<double>(running, running + tone::CURVE_POINTS), curve[0]) << smoothing;
        EXPECT_EQ(smoothing < 0.0, log.contains("Smoothing amount must be between 0.0 and 1.0. Setting to 0.0."))
            << smoothing;
        EXPECT_EQ(smoothing < 0.0, log.contains("ERROR")) << log.text();  // a sound call logs no error
    }
    ASSERT_EQ(QOV_SUCCESS, ControlTNM::resetHistogram(hist));
    EXPECT_EQ(std::vector<double>(tone::HIST_BINS, 1.0 / tone::HIST_BINS), hist[0]);

    // a matrix of another shape is refused and left as it was
    Matrix wrong(2, tone::HIST_BINS);
    for (double &v : wrong[0])
        v = 0.5;
    const Matrix before = wrong;
    EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, ControlTNM::resetHistogram(wrong));
    EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, ControlTNM::resetCurve(wrong));
    EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, ControlTNM::smoothHistogram(wrong));
    EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, ControlTNM::smoothHistogram(wrong, 0.5));
    EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, ControlTNM::generateMappingCurve(wrong, 0.05, 0.3, 0.5, 0.1, 0.75, curve));
    EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, ControlTNM::generateMappingCurve(hist, 0.05, 0.3, 0.5, 0.1, 0.75, wrong));
    EXPECT_EQ(before[0], wrong[0]);
    EXPECT_EQ(std::vector<double>(tone::CURVE_POINTS, 0.0), ControlTNM::accumulateHistogram(wrong)[0]);
}

TEST(ToneCurve, AdaptiveStrengthAndWrittenPoints)
{
    EXPECT_EQ(1.0, tone::adaptiveStrength(1.0, 5.0));
    EXPECT_EQ(1.0, tone::adaptiveStrength(8.0, 0.5));
    EXPECT_EQ(0.0, tone::adaptiveStrength(8.0, 8.0));
    EXPECT_DOUBLE_EQ(0.5, tone::adaptiveStrength(9.0, 5.0));

    double m[tone::CURVE_POINTS], out[tone::WRITTEN_POINTS];
    for (int i = 0; i < tone::CURVE_POINTS; i++)
        m[i] = std::sqrt(i / 64.0);
    tone::curvePoints(m, false, 0.0, out);
    EXPECT_EQ(m[1], out[0]);
    EXPECT_EQ(m[63], out[62]);
    tone::curvePoints(m, true, 0.0, out);
    EXPECT_EQ(1 / 64.0, out[0]);
    tone::curvePoints(m, true, 1.0, out);
    EXPECT_DOUBLE_EQ(m[32], out[31]);
}

TEST(ToneMappingControl, SettersRefuseValuesOutsideTheirKeysRange)
{
    ControlTNM tnm("VOVA_CTRL_TNM");
    vovatest::LogCapture log;
    EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, tnm.setHistMin(1.5));
    EXPECT_TRUE(log.contains("Programmed value (1.500000) must be between 0.000000 and 1.000000")) << log.text();
    EXPECT_NEAR(0.035, tnm.getHistMin(), 1e-7);
    EXPECT_EQ(QOV_SUCCESS, tnm.setUpdateSpeed(1.0));
    EXPECT_EQ(1.0, tnm.getUpdateSpeed());
    EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, tnm.setLocalStrength(-0.1));
}

TEST(ToneMappingControl, PrintsItsStateAndSavesItsKeys)
{
    ControlTNM tnm("VOVA_CTRL_TNM");
    std::ostringstream os;
    tnm.printState(os);
    EXPECT_EQ("  VOVA_CTRL_TNM:\n    config:\n      enabled = 1\n      adaptiveStrength = 1\n"
              "      histMin = 0.035\n      histMax = 0.25\n      smoothing = 0.4\n      tempering = 0.2\n"
              "      updateSpeed = 0.5\n      localTNM = 0\n      adaptiveTNM = 0\n      localStrength = 0\n",
              os.str());
    ParameterList list;
    list.addParameter(Parameter("TNMC_TEMPERING", "3"), true);
    list.addParameter(Parameter("TNMC_LOCAL", "1"), true);
    EXPECT_EQ(QOV_SUCCESS, tnm.load(list));
    EXPECT_EQ(1.0, tnm.getTempering());
    EXPECT_TRUE(tnm.getLocalTNM());
    ParameterList saved;
    EXPECT_EQ(QOV_SUCCESS, tnm.save(saved, ModuleBase::SAVE_VAL));
    EXPECT_EQ("1", saved.getParameter("TNMC_TEMPERING")->getString(0));
    EXPECT_EQ("0.035", saved.getParameter("TNMC_HIST_CLIP_MIN")->getString(0));
    EXPECT_EQ("1", saved.getParameter("TNMC_LOCAL")->getString(0));
    EXPECT_EQ(8u, saved.getGroup("ControlTNM").parameters.size());
    EXPECT_EQ("// Tone Mapper Control parameters", saved.getGroup("ControlTNM").header);
}

/*-------------------------------------------------------------------------
 * Light-based control
 *-------------------------------------------------------------------------*/

LightCorrection set(double level, double sharpness)
{
    LightCorrection c;
    c.lightLevel = level;
    c.sharpness = sharpness;
    return c;
}

TEST(LightBasedControl, SetsAreBlendedBetweenLevelsAndHeldOutside)
{
    const std::vector<LightCorrection> sets = {set(100, 0.2), set(300, 0.6)};
    struct Case {
        double level, sharpness;
    } const cases[] = {{150, 0.3}, {50, 0.2}, {1000, 0.6}, {300, 0.6}, {100, 0.2}};
    for (const Case &c : cases)
        EXPECT_NEAR(c.sharpness, light::correctionFor(sets, c.level).sharpness, 1e-12) << c.level;
    EXPECT_EQ(0.4, light::correctionFor({}, 5.0).sharpness);

    const LightCorrection other = set(7, 0.9);
    EXPECT_EQ(0.9, set(1, 0.1).blend(other, 1.0).sharpness);
    EXPECT_EQ(7.0, set(1, 0.1).blend(other, 1.0).lightLevel);
    vovatest::LogCapture log;
    const LightCorrection refused = set(1, 0.1).blend(other, 1.5);
    EXPECT_TRUE(log.contains("Blend ratio value must be between 0.0 and 1.0 (received 1.500000)")) << log.text();
    EXPECT_TRUE(log.contains("VOVA_LIGHTCORRECTION")) << log.text();
    EXPECT_EQ(0.4, refused.sharpness);
    EXPECT_EQ(0.0, refused.lightLevel);
}

TEST(LightBasedControl, MeasuredLevelAndBrightness)
{
    QOV_UINT32 hist[64] = {};
    hist[63] = 5000;
    EXPECT_EQ(1.0, light::histogramBrightness(hist));
    hist[0] = 10000;  // two counts in bin 0 to one in bin 63
    EXPECT_DOUBLE_EQ(1.0 / 3.0, light::histogramBrightness(hist));
    QOV_UINT32 mid[64] = {};
    mid[21] = 7;
    EXPECT_DOUBLE_EQ(1.0 / 3.0, light::histogramBrightness(mid));
    EXPECT_NEAR(0.04, light::measuredLevel(20000, 2.0, 1.0), 1e-15);
    // a darker image means more light needed: the level grows as the brightness falls
    EXPECT_NEAR(0.16, light::measuredLevel(20000, 2.0, 0.25), 1e-15);
    EXPECT_NEAR(0.0075, light::measuredLevel(5000, 3.0, 2.0), 1e-15);
    QOV_UINT32 none[64] = {};
    EXPECT_EQ(0.0, light::histogramBrightness(none));  // an empty histogram is no number to divide
    EXPECT_EQ(1.0, light::smoothedLevel(1.0, 50.0, 0.0));
    EXPECT_EQ(50.0, light::smoothedLevel(1.0, 50.0, 1.0));
    EXPECT_DOUBLE_EQ(8.0, light::smoothedLevel(2.0, 50.0, 0.125));  // 1.75 + 6.25
}

TEST(LightBasedControl, LoadsSortsAndSavesTheSets)
{
    ParameterList list;
    list.addParameter(Parameter("LBC_CONFIGURATIONS", "3"), true);
    const char *levels[] = {"3000", "100", "800"};
    for (int i = 0; i < 3; i++) {
        list.addParameter(Parameter("LBC_LIGHT_LEVEL_" + std::to_string(i), levels[i]), true);
        list.addParameter(Parameter("LBC_SHARPNESS_" + std::to_string(i), std::to_string(0.1 * (i + 1))), true);
    }
    list.addParameter(Parameter("LBC_SATURATION_1", "50"), true);  // clamped to 10
    ControlLBC lbc("VOVA_CTRL_LBC");
    ASSERT_EQ(QOV_SUCCESS, lbc.load(list));
    ASSERT_EQ(3, lbc.getConfigurationsNumber());
    EXPECT_EQ(100.0, lbc.getCorrection(0).lightLevel);
    EXPECT_EQ(10.0, lbc.getCorrection(0).saturation);
    EXPECT_EQ(800.0, lbc.getCorrection(1).lightLevel);
    EXPECT_EQ(3000.0, lbc.getCorrection(2).lightLevel);

    ParameterList saved;
    EXPECT_EQ(QOV_SUCCESS, lbc.save(saved, ModuleBase::SAVE_VAL));
    EXPECT_EQ("3", saved.getParameter("LBC_CONFIGURATIONS")->getString(0));
    EXPECT_EQ("100", saved.getParameter("LBC_LIGHT_LEVEL_0")->getString(0));
    EXPECT_EQ("0.2", saved.getParameter("LBC_SHARPNESS_0")->getString(0));
    EXPECT_EQ("3000", saved.getParameter("LBC_LIGHT_LEVEL_2")->getString(0));
    EXPECT_EQ(102u, saved.getGroup("ControlLBC").parameters.size());
    ParameterList bounds;
    EXPECT_EQ(QOV_SUCCESS, lbc.save(bounds, ModuleBase::SAVE_MAX));
    EXPECT_EQ("20", bounds.getParameter("LBC_CONFIGURATIONS")->getString(0));
    EXPECT_EQ("10", bounds.getParameter("LBC_SATURATION_0")->getString(0));
    EXPECT_FALSE(bounds.exists("LBC_SATURATION_1"));

    list.addParameter(Parameter("LBC_CONFIGURATIONS", "25"), true);
    ASSERT_EQ(QOV_SUCCESS, lbc.load(list));
    EXPECT_EQ(20, lbc.getConfigurationsNumber());
    ASSERT_EQ(QOV_SUCCESS, lbc.load(ParameterList()));
    EXPECT_EQ(0, lbc.getConfigurationsNumber());

    std::ostringstream os;
    lbc.printState(os);
    EXPECT_EQ("  VOVA_CTRL_LBC:\n    config:\n      enabled = 1\n      updateSpeed = 0.1\n    state:\n"
              "      meteredLightLevel = 0\n      lightLevel = 1\n",
              os.str());
}

/*-------------------------------------------------------------------------
 * Auto focus
 *-------------------------------------------------------------------------*/

TEST(FocusSteps, EveryStepMovesAtLeastOneUnit)
{
    EXPECT_EQ(110u, focus::further(100));
    EXPECT_EQ(6u, focus::further(5));
    EXPECT_EQ(1u, focus::further(0));
    EXPECT_EQ(90u, focus::closer(100));
    EXPECT_EQ(8u, focus::closer(9));
    EXPECT_EQ(0u, focus::closer(0));
    EXPECT_EQ(100u, focus::passStep(0, 0, 1000));
    EXPECT_EQ(1000u, focus::passStep(950, 0, 1000));
    EXPECT_EQ(4u, focus::passStep(3, 0, 9));  // a narrow pass steps by one unit, not 0
    unsigned init, end;
    focus::finePass(300, 0, 1000, 0, 1000, init, end);
    EXPECT_EQ(100u, init);
    EXPECT_EQ(500u, end);
    focus::finePass(100, 0, 1000, 0, 1000, init, end);  // range capped to best / 2
    EXPECT_EQ(50u, init);
    EXPECT_EQ(150u, end);
}

// The state machine without a sensor: the distance read back is fed in by
// the test, the way a sensor that follows (or does not) would report it.
class ScanningAF : public ControlAF {
public:
    ScanningAF(unsigned min, unsigned max) : ControlAF("VOVA_CTRL_AF")
    {
        minFocusDistance = min;
        maxFocusDistance = max;
        targetFocusDistance = min < max ? min : max;
        flagInitialized = true;
    }
    // Runs until the scan is over; returns the shots it took, at most `limit`.
    int scan(double (*sharpness)(unsigned), bool follows, std::vector<unsigned> *visited = nullptr, int limit = 200)
    {
        vovatest::LogCapture quiet;  // no sensor: each step says so
        unsigned last = targetFocusDistance;
        runAF(last, sharpness(last), AF_TRIGGER);
        int shots = 0;
        do {
            if (follows)
                last = targetFocusDistance;
            if (visited)
                visited->push_back(last);
            runAF(last, sharpness(last), AF_NONE);
            shots++;
        } while ((currentState == AF_SCANNING || nextState == AF_SCANNING) && shots < limit);
        return shots;
    }
    using ControlAF::currentState;
};

double peakAt300(unsigned d) { return 1.0 / (1.0 + std::fabs(static_cast<double>(d) - 300.0)); }

TEST(FocusScan, RoughThenFinePassEndOnTheSharpestDistance)
{
    ScanningAF af(0, 1000);
    std::vector<unsigned> visited;
    af.scan(peakAt300, true, &visited);
    EXPECT_EQ(300u, af.getBestFocusDistance());
    EXPECT_EQ(300u, af.getTargetFocusDistance());
    EXPECT_EQ(ControlAF::AF_FOCUSED, af.getState());
    // the rough pass visits every tenth of the range, the fine pass 100 to 500 in steps of 40
    std::vector<unsigned> rough, fine;
    for (unsigned d = 0; d <= 1000; d += 100)
        rough.push_back(d);
    for (unsigned d = 100; d <= 500; d += 40)
        fine.push_back(d);
    auto contains = [&visited](const std::vector<unsigned> &seq) {
        return std::search(visited.begin(), visited.end(), seq.begin(), seq.end()) != visited.end();
    };
    EXPECT_TRUE(contains(rough));
    EXPECT_TRUE(contains(fine));
}

double peakAt700(unsigned d) { return 1.0 / (1.0 + std::fabs(static_cast<double>(d) - 700.0)); }

// A finished scan hands back to the idle state on the next step, where the
// commands act again: a nudge, then a second scan to a new peak.
TEST(FocusScan, AfterFocusingTheCommandsActAgain)
{
    ScanningAF af(0, 1000);
    af.scan(peakAt300, true);
    ASSERT_EQ(ControlAF::AF_FOCUSED, af.getState());
    ASSERT_EQ(300u, af.getTargetFocusDistance());
    {
        vovatest::LogCapture quiet;  // no sensor: each step says so
        af.runAF(300, peakAt300(300), ControlAF::AF_FOCUS_FURTHER);
        EXPECT_EQ(ControlAF::AF_IDLE, af.getState());
        EXPECT_EQ(330u, af.getTargetFocusDistance());
        af.runAF(330, peakAt300(330), ControlAF::AF_FOCUS_CLOSER);
        EXPECT_EQ(300u, af.getTargetFocusDistance());
    }

    std::vector<unsigned> visited;
    af.scan(peakAt700, true, &visited);
    EXPECT_EQ(ControlAF::AF_FOCUSED, af.getState());
    EXPECT_EQ(700u, af.getBestFocusDistance());
    EXPECT_EQ(700u, af.getTargetFocusDistance());
    ASSERT_GE(visited.size(), 2u);
    EXPECT_EQ(0u, visited[1]);  // the second scan starts again from the near end
}

TEST(FocusScan, EveryScanEnds)
{
    struct Case {
        const char *name;
        unsigned min, max;
        bool follows;
    } const cases[] = {
        {"range of 0", 40, 40, true},
        {"range narrower than ten units", 0, 9, true},
        {"minimum above maximum", 1000, 0, true},
        {"a sensor that never reports the distance asked", 0, 1000, false},
        {"narrow range, sensor not following", 3, 7, false},
    };
    for (const Case &c : cases) {
        ScanningAF af(c.min, c.max);
        const int shots = af.scan(peakAt300, c.follows);
        EXPECT_LT(shots, 60) << c.name;
        EXPECT_EQ(ControlAF::AF_FOCUSED, af.getState()) << c.name;
        EXPECT_TRUE(af.hasConverged()) << c.name;
    }
}

TEST(FocusControl, PrintsItsStateAndKeepsItsKey)
{
    ControlAF af("VOVA_CTRL_AF");
    std::ostringstream os;
    af.printState(os);
    EXPECT_EQ("  VOVA_CTRL_AF:\n    config:\n    enabled = 1\n      targetFocusDistance = 0\n"
              "      centerWeigth = 1\n    state:\n      hasConverged = 1\n      bestSharpness = 0\n"
              "      bestFocusDistance = 0\n      currentState = AF_IDLE\n      nextState = AF_IDLE\n"
              "      scanState = AF_SCAN_STOP\n      lastCommand = AF_NONE\n      scanInit = 0\n      scanEnd = 0\n",
              os.str());
    EXPECT_STREQ("unknown", ControlAF::StateName(static_cast<ControlAF::State>(9)));
    EXPECT_STREQ("unknown", ControlAF::ScanStateName(static_cast<ControlAF::ScanState>(99)));
    EXPECT_STREQ("unknown", ControlAF::CommandName(static_cast<ControlAF::Command>(99)));
    const std::pair<ControlAF::State, const char *> states[] = {{ControlAF::AF_IDLE, "AF_IDLE"},
                                                               {ControlAF::AF_SCANNING, "AF_SCANNING"},
                                                               {ControlAF::AF_FOCUSED, "AF_FOCUSED"},
                                                               {ControlAF::AF_OUT, "AF_OUT"}};
    for (const auto &[state, name] : states)
        EXPECT_STREQ(name, ControlAF::StateName(state));
    const std::pair<ControlAF::ScanState, const char *> scans[] = {
        {ControlAF::AF_SCAN_STOP, "AF_SCAN_STOP"},       {ControlAF::AF_SCAN_INIT, "AF_SCAN_INIT"},
        {ControlAF::AF_SCAN_ROUGH, "AF_SCAN_ROUGH"},     {ControlAF::AF_SCAN_FINE, "AF_SCAN_FINE"},
        {ControlAF::AF_SCAN_REFINE, "AF_SCAN_REFINE"},   {ControlAF::AF_SCAN_POSITIONING, "AF_SCAN_POSITIONING"},
        {ControlAF::AF_SCAN_FINISHED, "AF_SCAN_FINISHED"}};
    for (const auto &[scan, name] : scans)
        EXPECT_STREQ(name, ControlAF::ScanStateName(scan));
    const std::pair<ControlAF::Command, const char *> commands[] = {
        {ControlAF::AF_TRIGGER, "AF_TRIGGER"},           {ControlAF::AF_STOP, "AF_STOP"},
        {ControlAF::AF_FOCUS_CLOSER, "AF_FOCUS_CLOSER"}, {ControlAF::AF_FOCUS_FURTHER, "AF_FOCUS_FURTHER"},
        {ControlAF::AF_NONE, "AF_NONE"}};
    for (const auto &[command, name] : commands)
        EXPECT_STREQ(name, ControlAF::CommandName(command));
    EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, af.programCorrection());
    ParameterList list;
    list.addParameter(Parameter("AF_CENTER_WEIGTH", "0.25"), true);
    af.load(list);
    EXPECT_EQ(0.25, af.getCenterWeight());
}

/*-------------------------------------------------------------------------
 * Auto exposure: keys and printout
 *-------------------------------------------------------------------------*/

TEST(ExposureControl, PrintsItsStateByteForByte)
{
    ControlAE ae("VOVA_CTRL_AE");
    std::ostringstream os;
    ae.printState(os);
    EXPECT_EQ("  VOVA_CTRL_AE:\n    config:\n    enabled = 1\n      flickerRejection = 0\n"
              "      autoFlickerRejection = 1\n      flickerFreqConfig = 50\n      blcAuto = 0\n"
              "      blcLevelConfig = 0\n      targetBrightness = 0\n      updateSpeed = 1\n"
              "      targetBracket = 0.05\n      fTargetAeGain = 256\n      fMinAeGain = 1\n      fMaxAeGain = 256\n"
              "      uiMinAeExposure = 1\n      uiMaxAeExposure = 4294967295\n      uiMaxSensorExposure = 4294967295\n"
              "      fSensorFrameDuration = 0\n      useFixedAeGain = 0\n      fFixedAeGain = 0\n"
              "      useFixedAeExposure = 0\n      uiFixedAeExposure = 0\n    state:\n      hasConverged = 1\n"
              "      currentBrightness = 0\n      fNewGain = 1\n      uiNewExposure = 0\n",
              os.str());
    EXPECT_EQ(0.0, ae.getApertureFactor());  // no sensor to measure
}

TEST(ExposureControl, KeysLoadClampedAndSaveTheLimitsInForce)
{
    ControlAE ae("VOVA_CTRL_AE");
    ParameterList list;
    list.addParameter(Parameter("AE_TARGET_BRIGHTNESS", "2"), true);
    list.addParameter(Parameter("AE_MAX_GAIN", "8"), true);
    list.addParameter(Parameter("AE_FLICKER_REJECTION", "true"), true);
    list.addParameter(Parameter("AE_MIN_EXPOSURE", "0"), true);
    ASSERT_EQ(QOV_SUCCESS, ae.load(list));
    EXPECT_EQ(1.0, ae.getTargetBrightness());
    EXPECT_FALSE(ae.getFlickerRejection());
    EXPECT_EQ(8.0, ae.getMaxAeGain());
    EXPECT_EQ(1u, ae.getMinAeExposure());
    ParameterList saved;
    ASSERT_EQ(QOV_SUCCESS, ae.save(saved, ModuleBase::SAVE_VAL));
    EXPECT_EQ("8", saved.getParameter("AE_MAX_GAIN")->getString(0));
    EXPECT_EQ("1", saved.getParameter("AE_TARGET_BRIGHTNESS")->getString(0));
    EXPECT_EQ(13u, saved.getGroup("ControlAE").parameters.size());
    ParameterList defaults;
    ASSERT_EQ(QOV_SUCCESS, ae.save(defaults, ModuleBase::SAVE_DEF));
    EXPECT_EQ("50", defaults.getParameter("AE_FLICKER_FREQ")->getString(0));

    vovatest::LogCapture log;
    ae.setUpdateSpeed(1.5);
    EXPECT_TRUE(log.contains("Update speed must be between 0.0 and 1.0 (received: 1.500000)")) << log.text();
    EXPECT_EQ(1.0, ae.getUpdateSpeed());
    for (const double speed : {0.0, 0.4, 1.0}) {  // both ends are valid
        ae.setUpdateSpeed(speed);
        EXPECT_EQ(speed, ae.getUpdateSpeed());
    }
    ae.setUpdateSpeed(-0.1);
    EXPECT_EQ(1.0, ae.getUpdateSpeed());
}

// The loop's metering helpers are the exposure measures.
TEST(ExposureControl, MeteringHelpersGiveTheExposureMeasures)
{
    const QOV_UINT32 counts[4] = {3, 0, 1, 4};
    double normalised[4];
    ControlAE::normalizeHistogram(counts, normalised, 4);
    EXPECT_EQ((std::vector<double>{0.375, 0.0, 0.125, 0.5}), std::vector<double>(normalised, normalised + 4));
    double average = 0, under = 0, over = 0;
    ControlAE::getHistogramStats(normalised, 4, average, under, over);
    const exposure::HistogramMeasures m = exposure::histogramMeasures(normalised, 4);
    EXPECT_EQ(m.avgValue, average);
    EXPECT_EQ(m.underExposure, under);
    EXPECT_EQ(m.overExposure, over);
    EXPECT_NE(under, over);
    double fg = 0, bg = 0, expectFg = 0, expectBg = 0;
    ControlAE::getBackLightMeasure(ControlAE::WEIGHT_7X7_B, fg, bg);
    exposure::backLightMeasure(ControlAE::WEIGHT_7X7_B, expectFg, expectBg);
    EXPECT_EQ(expectFg, fg);
    EXPECT_EQ(expectBg, bg);
    EXPECT_NE(fg, bg);
}

}  // namespace
