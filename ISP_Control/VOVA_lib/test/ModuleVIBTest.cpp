// Vibrancy module: curves and gains worked out by hand, key text to record,
// and the saved texts whose defaults are the identity curve.
#include <gtest/gtest.h>

#include <cmath>

#include "SetupModuleFixture.h"
#include "vova/ModuleVIB.h"

using namespace VOVA;

namespace module_vib {
using namespace vovatest;

namespace {

class ModuleVIBTest : public SetupModuleFixture {};

std::vector<std::string> curveTexts(const std::vector<double> &curve)
{
    std::vector<std::string> t;
    for (double v : curve)
        t.push_back(toString(v));
    return t;
}

std::vector<double> identity()
{
    std::vector<double> c(32);
    for (int i = 0; i < 32; i++)
        c[i] = i / 31.0;
    return c;
}

TEST(ModuleVIBMaths, CurvesAndGains)
{
    double gains[32];
    std::vector<double> flat(32, 1.0);
    ModuleVIB::gainsFromSaturationCurve(flat.data(), gains);
    EXPECT_EQ(1.0, gains[0]);
    EXPECT_DOUBLE_EQ(31.0, gains[1]);
    EXPECT_DOUBLE_EQ(15.5, gains[2]);
    EXPECT_DOUBLE_EQ(31.0 / 3, gains[3]);
    EXPECT_DOUBLE_EQ(1.0, gains[31]);
    ModuleVIB::gainsFromSaturationCurve(identity().data(), gains);
    for (double g : gains)
        EXPECT_DOUBLE_EQ(1.0, g);

    double curve[32] = {};
    ModuleVIB::toIndentity(curve, 32);
    EXPECT_EQ(identity(), std::vector<double>(curve, curve + 32));
    double one[2] = {-1, -1};
    ModuleVIB::toIndentity(one, 1);
    EXPECT_EQ(0.0, one[0]);
    EXPECT_EQ(-1.0, one[1]);

    // the points in either order give the same curve: slope 1.5 to (0.2, 0.3)
    double a[32], b[32];
    ModuleVIB::saturationCurve(0.6, 0.8, 0.2, 0.3, a);
    ModuleVIB::saturationCurve(0.2, 0.3, 0.6, 0.8, b);
    EXPECT_EQ(std::vector<double>(a, a + 32), std::vector<double>(b, b + 32));
    EXPECT_EQ(0.0, a[0]);
    EXPECT_NEAR(0.0484, a[1], 1e-4);
    EXPECT_NEAR(0.0968, a[2], 1e-4);
    EXPECT_DOUBLE_EQ(1.0, a[31]);
    ModuleVIB::saturationCurve(0.0, 0.0, 0.5, 0.5, a);
    EXPECT_EQ(0.0, a[0]);
    EXPECT_DOUBLE_EQ(1.0 / 31, a[1]);

    double mult[32];
    ModuleVIB::setupDoublePoints(0.2, 0.3, 0.6, 0.8, mult);
    EXPECT_DOUBLE_EQ(1.5, mult[0]);
    EXPECT_DOUBLE_EQ(1.0, mult[31]);
    // the curve averaged over five samples, from the third to the third last,
    // over the sample's position: on a straight run the average is the
    // sample itself (slopes 1.5, then 1.25 from (0.2, 0.3), 0.5 from (0.6, 0.8))
    EXPECT_DOUBLE_EQ(1.5, mult[1]);
    EXPECT_DOUBLE_EQ(1.5, mult[2]);
    EXPECT_NEAR((1.5 * (4 + 5 + 6) / 31 + 2 * 0.3 + 1.25 * (7 + 8 - 2 * 6.2) / 31) / 5 * 31 / 6, mult[6], 1e-12);
    EXPECT_DOUBLE_EQ(1.25 + 0.05 * 31 / 12, mult[12]);
    EXPECT_DOUBLE_EQ(0.5 + 0.5 * 31 / 29, mult[29]);
    EXPECT_DOUBLE_EQ(0.5 + 0.5 * 31 / 30, mult[30]);
    // the second point before the first is taken at the first
    ModuleVIB::setupDoublePoints(0.5, 0.25, 0.2, 0.9, mult);
    EXPECT_DOUBLE_EQ(0.5, mult[0]);
    EXPECT_DOUBLE_EQ(0.5, mult[3]);
    EXPECT_DOUBLE_EQ(0.2 + 0.8 * 31 / 29, mult[29]);
    // no first segment: the first gain is 1
    ModuleVIB::setupDoublePoints(0.0, 0.0, 0.5, 0.5, mult);
    EXPECT_EQ(1.0, mult[0]);
    EXPECT_DOUBLE_EQ(1.0, mult[10]);
}

TEST_F(ModuleVIBTest, KeysToRecord)
{
    std::vector<double> flatGains(32);
    flatGains[0] = 1;
    for (int i = 1; i < 32; i++)
        flatGains[i] = 31.0 / i;
    std::vector<std::string> half = curveTexts(std::vector<double>(16, 0.5));
    half[3] = "1.5";
    std::vector<double> halfGains = flatGains;
    for (int i = 1; i < 16; i++)
        halfGains[i] = 0.5 * 31.0 / i;
    halfGains[3] = 31.0 / 3;  // 1.5 loads as 1

    struct Case {
        const char *what;
        ParameterList list;
        bool on;
        std::vector<double> gains;
    } cases[] = {
        {"defaults", listOf({}), false, flatGains},
        {"identity", listOf({{"MIE_VIB_ON", {"1"}}, {"MIE_VIB_SAT_CURVE", curveTexts(identity())}}), true,
         std::vector<double>(32, 1.0)},
        {"sixteen values", listOf({{"MIE_VIB_SAT_CURVE", half}}), false, halfGains},
    };
    ModuleVIB *vib = add<ModuleVIB>();
    for (const Case &c : cases) {
        ASSERT_EQ(QOV_SUCCESS, vib->load(c.list)) << c.what;
        ASSERT_EQ(QOV_SUCCESS, vib->setup()) << c.what;
        EXPECT_EQ(c.on, mc().sMIE.bVibrancy != QOV_FALSE) << c.what;
        for (int i = 0; i < 32; i++)
            EXPECT_NEAR(c.gains[i], mc().sMIE.aVibrancySatMul[i], 1e-5) << c.what << " " << i;  // 6-digit texts
        EXPECT_TRUE(mc().sMIE.updateNeeded);
    }
}

TEST_F(ModuleVIBTest, SavedDefaultsAreTheIdentityWhichLoadsAsUnitGains)
{
    ModuleVIB vib;
    EXPECT_EQ("// Vibrancy parameters\n"
              "MIE_VIB_ON 0 // bool {0,1}\n"
              "MIE_VIB_SAT_CURVE 0 0.0322581 0.0645161 0.0967742 0.129032 0.16129 0.193548 0.225806 0.258065 "
              "0.290323 0.322581 0.354839 0.387097 0.419355 0.451613 0.483871 0.516129 0.548387 0.580645 0.612903 "
              "0.645161 0.677419 0.709677 0.741935 0.774194 0.806452 0.83871 0.870968 0.903226 0.935484 0.967742 1 "
              "// double[32] range=[0,1]\n"
              "\n\n",
              savedText(vib, ModuleBase::SAVE_DEF, true));
    ParameterList defaults, min, max, val;
    vib.save(defaults, ModuleBase::SAVE_DEF);
    vib.save(min, ModuleBase::SAVE_MIN);
    vib.save(max, ModuleBase::SAVE_MAX);
    vib.save(val, ModuleBase::SAVE_VAL);
    EXPECT_EQ(std::vector<std::string>(32, "0"), valuesOf(min, "MIE_VIB_SAT_CURVE"));
    EXPECT_EQ(std::vector<std::string>(32, "1"), valuesOf(max, "MIE_VIB_SAT_CURVE"));
    EXPECT_EQ(std::vector<std::string>{"1"}, valuesOf(max, "MIE_VIB_ON"));
    EXPECT_EQ(std::vector<std::string>(32, "1"), valuesOf(val, "MIE_VIB_SAT_CURVE"));

    ModuleVIB *loaded = add<ModuleVIB>();
    loaded->load(defaults);
    ASSERT_EQ(QOV_SUCCESS, loaded->setup());
    for (int i = 0; i < 32; i++)
        EXPECT_NEAR(1.0, mc().sMIE.aVibrancySatMul[i], 1e-5) << i;
}

}  // namespace
}  // namespace module_vib
