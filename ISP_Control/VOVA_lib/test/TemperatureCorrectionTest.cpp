// Calibration segments and the multi-temperature colour calibration: loading
// from setup keys, blending, the three temperature methods and saving.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "vova/ParameterFileParser.h"
#include "vova/TemperatureCorrection.h"

using namespace VOVA;

namespace {

using Values = std::vector<std::string>;

void put(ParameterList &list, const std::string &tag, const Values &values)
{
    list.addParameter(Parameter(tag, values), true);
}

// Two corrections: 3000 K and 6000 K, given in reverse order in the file.
ParameterList twoCorrections()
{
    ParameterList list;
    put(list, "WB_CORRECTIONS", {"2"});
    put(list, "WB_TEMPERATURE_1", {"3000"});
    put(list, "WB_CCM_1", {"1.5", "-0.3", "-0.2", "-0.2", "1.4", "-0.2", "0", "-0.6", "1.6"});
    put(list, "WB_OFFSETS_1", {"3", "0", "-3"});
    put(list, "WB_GAINS_1", {"1.2", "1", "1", "2.4"});
    put(list, "WB_TEMPERATURE_0", {"6000"});
    put(list, "WB_CCM_0", {"1.2", "0", "-0.2", "-0.1", "1.3", "-0.2", "0.3", "-0.3", "1.0"});
    put(list, "WB_OFFSETS_0", {"0", "3", "6"});
    put(list, "WB_GAINS_0", {"1.8", "1", "1", "1.5"});
    return list;
}

TemperatureCorrection loaded(const ParameterList &list)
{
    TemperatureCorrection tc;
    testing::internal::CaptureStdout();
    EXPECT_EQ(QOV_SUCCESS, tc.loadParameters(list));
    testing::internal::GetCapturedStdout();
    return tc;
}

void expectRows(const std::vector<std::vector<double>> &expected, const Matrix &m)
{
    ASSERT_EQ(static_cast<int>(expected.size()), m.numRows());
    for (int i = 0; i < m.numRows(); i++) {
        ASSERT_EQ(expected[i].size(), m[i].size());
        for (size_t j = 0; j < expected[i].size(); j++)
            EXPECT_NEAR(expected[i][j], m[i][j], 1e-12) << "element (" << i << ", " << j << ")";
    }
}

}  // namespace

TEST(LineSegment, TemperatureAlongAndBeyondTheEnds)
{
    LineSegment s(0, 0, 1, 0, 3000, 5000);
    EXPECT_DOUBLE_EQ(4000, s.getTemperature(0.5, 7));
    EXPECT_DOUBLE_EQ(5000, s.getTemperature(1.5, 0));
    EXPECT_DOUBLE_EQ(3000, s.getTemperature(-0.5, 0));
    EXPECT_DOUBLE_EQ(3000, s.getTemperature(0, 0));
    s.highBound = false;
    EXPECT_DOUBLE_EQ(6000, s.getTemperature(1.5, 0));
    s.lowBound = false;
    EXPECT_DOUBLE_EQ(2000, s.getTemperature(-0.5, 0));

    // reversed direction and a slanted segment
    LineSegment r(2, 2, 0, 0, 6000, 2000);
    double xp, yp;
    r.getRbProj(2, 0, xp, yp);
    EXPECT_DOUBLE_EQ(1, xp);
    EXPECT_DOUBLE_EQ(1, yp);
    EXPECT_DOUBLE_EQ(2, r.getDistancePow2(2, 0));
    EXPECT_DOUBLE_EQ(4000, r.getTemperature(2, 0));
    r.getRbProj(5, 3, xp, yp);  // stopped at the first end
    EXPECT_DOUBLE_EQ(2, xp);
    EXPECT_DOUBLE_EQ(2, yp);

    // a vertical segment (same x at both ends) still projects and interpolates
    LineSegment v(0, 0, 0, 2, 3000, 5000);
    EXPECT_DOUBLE_EQ(4000, v.getTemperature(3, 1));
    EXPECT_DOUBLE_EQ(9, v.getDistancePow2(3, 1));

    LineSegment point(1, 1, 1, 1, 3000, 3000);
    EXPECT_DOUBLE_EQ(25, point.getDistancePow2(4, 5));
    EXPECT_DOUBLE_EQ(3000, point.getTemperature(4, 5));

    EXPECT_DOUBLE_EQ(25, LineSegment::getLengthPow2(0, 0, 3, 4));
    EXPECT_DOUBLE_EQ(5, LineSegment::getLength(0, 0, 3, 4));
}

TEST(LineSegments, ClosestSegment)
{
    LineSegments none;
    double xp = -1, yp = -1;
    EXPECT_DOUBLE_EQ(6500, none.getTemperature(0, 0));
    EXPECT_FALSE(none.getRbProj(0, 0, xp, yp));
    EXPECT_EQ(-1, xp);
    EXPECT_EQ(none.end(), none.getClosestLine(0, 0));

    LineSegments lines;
    lines.push_back(LineSegment(0, 1, 1, 1, 3000, 4000));
    lines.push_back(LineSegment(0, -1, 1, -1, 5000, 6000));
    EXPECT_EQ(lines.begin(), lines.getClosestLine(0.5, 0));  // equally close: the first wins
    EXPECT_DOUBLE_EQ(3500, lines.getTemperature(0.5, 0));
    EXPECT_DOUBLE_EQ(5500, lines.getTemperature(0.5, -0.9));
    ASSERT_TRUE(lines.getRbProj(0.25, -3, xp, yp));
    EXPECT_DOUBLE_EQ(0.25, xp);
    EXPECT_DOUBLE_EQ(-1, yp);

    // a point without a finite distance finds no segment
    EXPECT_DOUBLE_EQ(6500, lines.getTemperature(NAN, 0));
    EXPECT_FALSE(lines.getRbProj(NAN, 0, xp, yp));
}

TEST(TemperatureCorrection, LoadCountsAndSorting)
{
    TemperatureCorrection tc = loaded(twoCorrections());
    ASSERT_EQ(2, tc.size());
    EXPECT_DOUBLE_EQ(3000, tc.getCorrection(0).temperature);
    EXPECT_DOUBLE_EQ(6000, tc.getCorrection(1).temperature);
    EXPECT_TRUE(tc.getCorrection(0).initialized);
    EXPECT_FALSE(tc.getCorrection(2).initialized);
    EXPECT_DOUBLE_EQ(6500, tc.getCorrection(2).temperature);
    EXPECT_EQ(1, tc.getCorrectionIndex(6000));
    EXPECT_EQ(-1, tc.getCorrectionIndex(6000.5));
    EXPECT_EQ(1u, tc.lines.size());

    // reloading gives the same corrections and segments
    testing::internal::CaptureStdout();
    tc.loadParameters(twoCorrections());
    const std::string info = testing::internal::GetCapturedStdout();
    EXPECT_EQ(2, tc.size());
    EXPECT_EQ(1u, tc.lines.size());
    EXPECT_NE(std::string::npos, info.find("INFO [VOVA_TEMPCTRL]: loadParameters() loaded correction for "
                                           "temperature 6000.00\n"));

    ParameterList many;
    put(many, "WB_CORRECTIONS", {"25"});
    TemperatureCorrection clamped = loaded(many);
    EXPECT_EQ(20, clamped.size());
    EXPECT_EQ(19u, clamped.lines.size());
    // keys all absent: temperature 0, identity, zero offsets, unit gains
    ColorCorrection first = clamped.getCorrection(0);
    EXPECT_DOUBLE_EQ(0, first.temperature);
    expectRows({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, first.coefficients);
    expectRows({{0, 0, 0}}, first.offsets);
    expectRows({{1, 1, 1, 1}}, first.gains);

    ParameterList junk;
    put(junk, "WB_CORRECTIONS", {"abc"});
    TemperatureCorrection none = loaded(junk);
    EXPECT_EQ(0, none.size());
    EXPECT_TRUE(none.lines.empty());
}

TEST(TemperatureCorrection, LoadValuesAreClampedAndMissingOnesDefault)
{
    ParameterList list;
    put(list, "WB_CORRECTIONS", {"1"});
    put(list, "WB_TEMPERATURE_0", {"250000"});
    put(list, "WB_CCM_0", {"9", "-9", "x"});
    put(list, "WB_GAINS_0", {"0.1", "2"});
    TemperatureCorrection tc = loaded(list);
    ColorCorrection c = tc.getCorrection(0);
    EXPECT_DOUBLE_EQ(100000, c.temperature);
    expectRows({{3.998046875, -4, 0}, {0, 1, 0}, {0, 0, 1}}, c.coefficients);
    expectRows({{0.5, 2, 1, 1}}, c.gains);
    EXPECT_TRUE(tc.lines.empty());
}

TEST(TemperatureCorrection, MissingCountKeepsCorrections)
{
    TemperatureCorrection tc = loaded(twoCorrections());
    ParameterList list = twoCorrections();
    list.removeParameter("WB_CORRECTIONS");
    testing::internal::CaptureStderr();
    EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, tc.loadParameters(list));
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, log.find("WARNING [VOVA_TEMPCTRL]: loadParameters() Unable to load temperature "
                                          "corrections from parameters. 'WB_CORRECTIONS' not defined\n"));
    EXPECT_EQ(2, tc.size());
    EXPECT_EQ(1u, tc.lines.size());
}

TEST(TemperatureCorrection, BlendsTheBracketingCorrections)
{
    const TemperatureCorrection tc = loaded(twoCorrections());

    ColorCorrection c = tc.getColorCorrection(4000);  // weight 1/3 towards 6000 K
    EXPECT_NEAR(4000, c.temperature, 1e-9);
    EXPECT_TRUE(c.initialized);
    expectRows({{1.4, -0.2, -0.2}, {-0.2 + 0.1 / 3, 1.4 - 0.1 / 3, -0.2}, {0.1, -0.5, 1.4}}, c.coefficients);
    expectRows({{2, 1, 0}}, c.offsets);
    expectRows({{1.4, 1, 1, 2.1}}, c.gains);

    // the ends clamp, an exact temperature gives that correction
    expectRows({{1.5, -0.3, -0.2}, {-0.2, 1.4, -0.2}, {0, -0.6, 1.6}}, tc.getColorCorrection(2000).coefficients);
    EXPECT_DOUBLE_EQ(3000, tc.getColorCorrection(2000).temperature);
    EXPECT_DOUBLE_EQ(6000, tc.getColorCorrection(9000).temperature);
    expectRows({{0, 3, 6}}, tc.getColorCorrection(6000).offsets);

    TemperatureCorrection single;
    single.addCorrection(tc.getCorrection(0));
    testing::internal::CaptureStderr();
    ColorCorrection fallback = single.getColorCorrection(4000);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(fallback.initialized);
    EXPECT_DOUBLE_EQ(6500, fallback.temperature);
    EXPECT_NE(std::string::npos, log.find("Less than 2 calibration points loaded - can't approximate temperature!\n"));
}

TEST(TemperatureCorrection, CalibratedTemperatureFromGains)
{
    // Segment from the 3000 K point (log2(1.8/1.2), log2(1.5/2.4)) to the
    // 6000 K point (0, 0); both ends open.
    const TemperatureCorrection tc = loaded(twoCorrections());
    const double x1 = std::log2(1.5);
    const double y1 = std::log2(0.625);
    auto at = [&tc](double x, double y) {
        return tc.getCorrelatedTemperature(std::pow(2.0, x), 1.0, std::pow(2.0, y));
    };
    EXPECT_NEAR(3000, at(x1, y1), 1e-6);
    EXPECT_NEAR(6000, at(0, 0), 1e-6);
    EXPECT_NEAR(4500, at(0.5 * x1, 0.5 * y1), 1e-6);
    EXPECT_NEAR(1500, at(1.5 * x1, 1.5 * y1), 1e-6);   // beyond the cold end
    EXPECT_NEAR(7500, at(-0.5 * x1, -0.5 * y1), 1e-6); // beyond the hot end
    // a step across the segment does not change the temperature
    EXPECT_NEAR(4500, at(0.5 * x1 - 0.1 * y1, 0.5 * y1 + 0.1 * x1), 1e-6);

    // scale does not matter; a zero or non-finite green counts as 1
    EXPECT_NEAR(3000, tc.getCorrelatedTemperature(150, 100, 62.5), 1e-6);
    EXPECT_NEAR(3000, tc.getCorrelatedTemperature_Calibrated(1.5, 0, 0.625), 1e-6);
    EXPECT_NEAR(6000, tc.getCorrelatedTemperature(1, INFINITY, 1), 1e-6);
    // a non-finite red or blue counts as 1
    EXPECT_NEAR(at(0, y1), tc.getCorrelatedTemperature(INFINITY, 1, 0.625), 1e-6);
    EXPECT_NEAR(at(x1, 0), tc.getCorrelatedTemperature(1.5, 1, NAN), 1e-6);
    EXPECT_NEAR(6500, TemperatureCorrection().getCorrelatedTemperature_Calibrated(1, 1, 1), 0);
}

TEST(TemperatureCorrection, McCamy)
{
    const TemperatureCorrection tc;
    EXPECT_NEAR(6503.833156, tc.getCorrelatedTemperature_McCamy(1, 1, 1, true), 1e-5);
    EXPECT_NEAR(6503.833156, tc.getCorrelatedTemperature_McCamy(0.3, 0.3, 0.3, false), 1e-5);
    EXPECT_NEAR(4621.428722, tc.getCorrelatedTemperature_McCamy(1.0, 0.8, 0.5, false), 1e-5);
    EXPECT_NEAR(3505.954634, tc.getCorrelatedTemperature_McCamy(200, 160, 100, true), 1e-5);
    EXPECT_DOUBLE_EQ(6500, tc.getCorrelatedTemperature_McCamy(0, 0, 0, true));  // black: no chromaticity
    // the gamma is taken off each channel below the largest, on the linear
    // toe at or under 0.04045 (blue, then green)
    EXPECT_NEAR(7922.246097, tc.getCorrelatedTemperature_McCamy(0.5, 1, 0.8, true), 1e-5);
    EXPECT_NEAR(7647.287958, tc.getCorrelatedTemperature_McCamy(0.5, 1, 0.8, false), 1e-5);
    EXPECT_NEAR(4833.807281, tc.getCorrelatedTemperature_McCamy(1, 0.6, 0.9, true), 1e-5);
    EXPECT_NEAR(4251.122333, tc.getCorrelatedTemperature_McCamy(0.9, 1, 0.03, true), 1e-5);
    EXPECT_NEAR(1634.471073, tc.getCorrelatedTemperature_McCamy(0.7, 0.02, 1, true), 1e-5);

    // without segments the dispatcher falls back to McCamy with gamma, g = 0 read as 1
    testing::internal::CaptureStdout();
    const double t = tc.getCorrelatedTemperature(0.8, 0, 0.5);
    const std::string info = testing::internal::GetCapturedStdout();
    EXPECT_NEAR(tc.getCorrelatedTemperature_McCamy(0.8, 1, 0.5, true), t, 1e-9);
    EXPECT_NE(std::string::npos,
              info.find("No calibration points loaded, using fallback temperature correlation method!\n"));
}

TEST(TemperatureCorrection, SRGBTable)
{
    const TemperatureCorrection tc;
    EXPECT_NEAR(6512.32, tc.getCorrelatedTemperature_sRGB(1, 1, 1), 1e-6);
    EXPECT_NEAR(6512.32, tc.getCorrelatedTemperature_sRGB(3, 3, 3), 1e-6);
    EXPECT_NEAR(6512.32, tc.getCorrelatedTemperature_sRGB(1, 0, 1), 1e-6);  // g = 0 read as 1
    EXPECT_NEAR(5749.60, tc.getCorrelatedTemperature_sRGB(1, 1, 0.8), 1e-6);
    EXPECT_NEAR(0.5 * (6512.32 + 6968.40), tc.getCorrelatedTemperature_sRGB(1, 1, 1.05), 1e-6);
    EXPECT_NEAR(4497.71, tc.getCorrelatedTemperature_sRGB(1.5, 1, 0.8), 1e-6);
    EXPECT_NEAR(3281.05, tc.getCorrelatedTemperature_sRGB(3, 1, 0.1), 1e-6);   // ratios clamped
    EXPECT_NEAR(12500, tc.getCorrelatedTemperature_sRGB(0.1, 1, 2.5), 1e-6);
    EXPECT_NEAR(7118.30, tc.getCorrelatedTemperature_sRGB(INFINITY, 0.5, 1), 1e-6);  // r read as 1
    EXPECT_NEAR(7118.30, tc.getCorrelatedTemperature_sRGB(-1, -0.5, -1), 1e-6);  // ratios 2 and 2
    EXPECT_NEAR(6512.32, tc.getCorrelatedTemperature_sRGB(INFINITY, 1, 1), 1e-6);  // r read as 1
    EXPECT_NEAR(6512.32, tc.getCorrelatedTemperature_sRGB(1, 1, -INFINITY), 1e-6);  // b read as 1

    // inside a cell: the four neighbouring entries, weighted by both fractions
    auto entry = [&](int red, int blue) { return tc.getCorrelatedTemperature_sRGB(0.5 + 0.1 * red, 1, 0.5 + 0.1 * blue); };
    ASSERT_GT(std::fabs(entry(7, 3) - entry(6, 3)), 10.0);
    ASSERT_GT(std::fabs(entry(6, 4) - entry(6, 3)), 10.0);
    const double expected =
        0.75 * (0.25 * entry(6, 3) + 0.75 * entry(6, 4)) + 0.25 * (0.25 * entry(7, 3) + 0.75 * entry(7, 4));
    EXPECT_NEAR(expected, tc.getCorrelatedTemperature_sRGB(0.5 + 0.625, 1, 0.5 + 0.375), 1e-6);
}

TEST(TemperatureCorrection, SaveForms)
{
    const TemperatureCorrection tc = loaded(twoCorrections());

    ParameterList values;
    testing::internal::CaptureStderr();
    EXPECT_EQ(QOV_SUCCESS, tc.saveParameters(values, ModuleBase::SAVE_VAL));
    EXPECT_EQ("", testing::internal::GetCapturedStderr());  // every row read is one the correction has
    EXPECT_EQ(Values{"2"}, values.getParameter("WB_CORRECTIONS")->getValues());
    EXPECT_EQ(Values{"3000"}, values.getParameter("WB_TEMPERATURE_0")->getValues());
    EXPECT_EQ((Values{"1.5", "-0.3", "-0.2", "-0.2", "1.4", "-0.2", "0", "-0.6", "1.6"}),
              values.getParameter("WB_CCM_0")->getValues());
    EXPECT_EQ((Values{"0", "3", "6"}), values.getParameter("WB_OFFSETS_1")->getValues());
    EXPECT_EQ((Values{"1.8", "1", "1", "1.5"}), values.getParameter("WB_GAINS_1")->getValues());
    EXPECT_EQ("", values.getParameter("WB_GAINS_1")->getInfo());
    ParameterGroup group = values.getGroup("TemperatureCorrection");
    EXPECT_EQ("// Temperature Correction parameters (Multi-CCM for AWB)", group.header);
    EXPECT_EQ(81u, group.parameters.size());
    EXPECT_EQ(1u, group.parameters.count("WB_GAINS_19"));
    EXPECT_EQ(0u, group.parameters.count("WB_GAINS_20"));

    // values in force survive the file text
    std::ostringstream out;
    ParameterFileParser::saveGrouped(values, out, true);
    std::istringstream in(out.str());
    ParameterList back;
    ParameterFileParser::parse(in, back);
    TemperatureCorrection reread = loaded(back);
    ASSERT_EQ(2, reread.size());
    expectRows({{1.2, 0, -0.2}, {-0.1, 1.3, -0.2}, {0.3, -0.3, 1.0}}, reread.getCorrection(1).coefficients);

    ParameterList defs;
    tc.saveParameters(defs, ModuleBase::SAVE_DEF);
    EXPECT_EQ(5u, defs.size());
    EXPECT_EQ("int range=[0,20]", defs.getParameter("WB_CORRECTIONS")->getInfo());
    EXPECT_EQ("double range=[0,100000]", defs.getParameter("WB_TEMPERATURE_0")->getInfo());
    EXPECT_EQ("double[9] range=[-4,3.99805]", defs.getParameter("WB_CCM_0")->getInfo());
    EXPECT_EQ((Values{"1", "0", "0", "0", "1", "0", "0", "0", "1"}), defs.getParameter("WB_CCM_0")->getValues());
    EXPECT_EQ("double[4] range=[0.5,8]", defs.getParameter("WB_GAINS_0")->getInfo());

    ParameterList mins;
    tc.saveParameters(mins, ModuleBase::SAVE_MIN);
    EXPECT_EQ(Values{"0"}, mins.getParameter("WB_CORRECTIONS")->getValues());
    EXPECT_EQ((Values{"0.5", "0.5", "0.5", "0.5"}), mins.getParameter("WB_GAINS_0")->getValues());
    EXPECT_FALSE(mins.exists("WB_GAINS_1"));

    ParameterList maxs;
    tc.saveParameters(maxs, ModuleBase::SAVE_MAX);
    EXPECT_EQ(Values{"20"}, maxs.getParameter("WB_CORRECTIONS")->getValues());
    EXPECT_EQ(Values{"100000"}, maxs.getParameter("WB_TEMPERATURE_0")->getValues());
    EXPECT_EQ((Values{"255.875", "255.875", "255.875"}), maxs.getParameter("WB_OFFSETS_0")->getValues());
}

// Every kind of saving writes all five keys of index 0, each value in its
// place, over whatever an earlier save left in the same list.
TEST(TemperatureCorrection, EachSaveKindOverwritesAnEarlierSave)
{
    const TemperatureCorrection tc = loaded(twoCorrections());
    struct Case {
        ModuleBase::SaveType kind, before;
        Values count, temperature, ccm, offsets, gains;
    } const cases[] = {
        {ModuleBase::SAVE_MIN, ModuleBase::SAVE_VAL, {"0"}, {"0"}, Values(9, "-4"), Values(3, "-256"),
         Values(4, "0.5")},
        {ModuleBase::SAVE_MAX, ModuleBase::SAVE_VAL, {"20"}, {"100000"}, Values(9, "3.99805"), Values(3, "255.875"),
         Values(4, "8")},
        {ModuleBase::SAVE_DEF, ModuleBase::SAVE_VAL, {"0"}, {"0"}, {"1", "0", "0", "0", "1", "0", "0", "0", "1"},
         {"0", "0", "0"}, {"1", "1", "1", "1"}},
        {ModuleBase::SAVE_VAL, ModuleBase::SAVE_MAX, {"2"}, {"3000"},
         {"1.5", "-0.3", "-0.2", "-0.2", "1.4", "-0.2", "0", "-0.6", "1.6"}, {"3", "0", "-3"},
         {"1.2", "1", "1", "2.4"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.kind);
        ParameterList list;
        ASSERT_EQ(QOV_SUCCESS, tc.saveParameters(list, c.before));
        ASSERT_EQ(QOV_SUCCESS, tc.saveParameters(list, c.kind));
        EXPECT_EQ(c.count, list.getParameter("WB_CORRECTIONS")->getValues());
        EXPECT_EQ(c.temperature, list.getParameter("WB_TEMPERATURE_0")->getValues());
        EXPECT_EQ(c.ccm, list.getParameter("WB_CCM_0")->getValues());
        EXPECT_EQ(c.offsets, list.getParameter("WB_OFFSETS_0")->getValues());
        EXPECT_EQ(c.gains, list.getParameter("WB_GAINS_0")->getValues());
    }
}
