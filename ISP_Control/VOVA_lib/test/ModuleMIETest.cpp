// Image enhancer: the extent search, the rotation quantiser and the luma
// window worked out by hand, and the module from key text to record.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "SetupModuleFixture.h"
#include "vova/ModuleMIE.h"

using namespace VOVA;

TEST(ModuleMIEMaths, ExtentSearch)
{
    struct Case {
        double aspect;
        double extent[4];
        int kb, kr;
        std::vector<double> scale;
    } cases[] = {
        {0, {0.5, 0.5, 0.5, 0.5}, 3, 3, {170, 170, 170, 170}},
        {1, {0.5, 1, 2, 4}, 3, 6, {120, 60, 30, 15}},
        {-2, {4, 4, 4, 4}, 4, 1, {32, 32, 32, 32}},
        // a positive aspect below 1 still scales red from blue
        {0.5, {0.5, 1, 2, 4}, 2, 2, {214, 107, 54, 27}},
        // an extent below the floor lifts all four by the same factor
        {0, {0.003, 0.001, 1, 1}, 254, 254, {85, 254, 0, 0}},
        // the least extents want the largest factors: the search stops where
        // the derived one would pass 255
        {0.5, {0.0039, 0.0039, 0.0039, 0.0039}, 179, 253, {254, 254, 254, 254}},
    };
    for (const Case &c : cases) {
        int kb = -1, kr = -1;
        double scale[4];
        mieExtentParameters(c.aspect, c.extent, kb, kr, scale);
        EXPECT_EQ(c.kb, kb) << c.aspect;
        EXPECT_EQ(c.kr, kr) << c.aspect;
        EXPECT_EQ(c.scale, std::vector<double>(scale, scale + 4)) << c.aspect;
    }
}

// From aspect 0 up the blue factor is the one searched and the red one
// follows from it; below 0 the other way round.
TEST(ModuleMIEMaths, TheFactorOfTheNarrowerAxisIsDerived)
{
    const double extent[4] = {0.5, 1, 2, 4};
    for (double aspect : {0.5, 1.5, -0.5, -1.5}) {
        int kb = -1, kr = -1;
        double scale[4];
        mieExtentParameters(aspect, extent, kb, kr, scale);
        if (aspect >= 0)
            EXPECT_EQ(static_cast<int>(std::floor(std::pow(2.0, aspect) * kb)), kr) << aspect;
        else
            EXPECT_EQ(static_cast<int>(std::floor(std::pow(2.0, -aspect) * kr)), kb) << aspect;
    }
}

// Both factors fit the hardware's 8-bit fields for every aspect, down to
// the least extent where the search would want them largest.
TEST(ModuleMIEMaths, BothFactorsStayBelow256)
{
    const double least[4] = {0.0039, 0.0039, 0.0039, 0.0039};
    for (double aspect : {-2.0, -1.0, -0.5, -0.1, 0.0, 0.1, 0.5, 0.9, 1.0, 2.0}) {
        int kb = -1, kr = -1;
        double scale[4];
        mieExtentParameters(aspect, least, kb, kr, scale);
        EXPECT_LE(0, kb) << aspect;
        EXPECT_LE(0, kr) << aspect;
        EXPECT_GE(255, kb) << aspect;
        EXPECT_GE(255, kr) << aspect;
        EXPECT_LE(240, std::max(kb, kr)) << aspect;  // the search reaches the top of the range
    }
}

// Below the least sigma all eight sigmas are lifted by one factor: extents
// that differ only by a common factor there give the same parameters.
TEST(ModuleMIEMaths, ExtentsBelowTheLeastSigmaAreLiftedTogether)
{
    for (double aspect : {0.0, 1.0, -2.0}) {
        int kb[2], kr[2];
        double scale[2][4];
        const double small[4] = {0.016, 0.008, 0.002, 0.004}, smaller[4] = {0.008, 0.004, 0.001, 0.002};
        mieExtentParameters(aspect, small, kb[0], kr[0], scale[0]);
        mieExtentParameters(aspect, smaller, kb[1], kr[1], scale[1]);
        EXPECT_EQ(kb[0], kb[1]) << aspect;
        EXPECT_EQ(kr[0], kr[1]) << aspect;
        for (int s = 0; s < 4; s++)
            EXPECT_EQ(scale[0][s], scale[1][s]) << aspect << " " << s;
    }
}

TEST(ModuleMIEMaths, RotationQuantiserAndLumaWindow)
{
    EXPECT_EQ(0.9921875, mieQuantiseRotation(std::cos(0.0)));
    EXPECT_EQ(0.0, mieQuantiseRotation(std::sin(0.0)));
    EXPECT_EQ(-0.9921875, mieQuantiseRotation(std::cos(3.14159)));
    EXPECT_EQ(0.0, mieQuantiseRotation(std::sin(3.14159)));

    double minY = 0, scaleY = 0;
    mieLumaWindow(0.0625, 0, 1, minY, scaleY);
    EXPECT_DOUBLE_EQ(0.28125, minY);
    EXPECT_DOUBLE_EQ(1.5333333333333334, scaleY);
    mieLumaWindow(0.0625, 0.5, 0.5, minY, scaleY);
    EXPECT_DOUBLE_EQ(0.53125, minY);
    EXPECT_EQ(16.0, scaleY);
}

// ---------------------------------------------------------------------------
// The module

namespace module_mie {
using namespace vovatest;

namespace {

class ModuleMIETest : public SetupModuleFixture {};

std::vector<double> slice(const double *values, int first, int n) { return std::vector<double>(values + first, values + first + n); }

TEST_F(ModuleMIETest, DefaultsToRecord)
{
    ModuleMIE *mie = add<ModuleMIE>();
    ASSERT_EQ(QOV_SUCCESS, mie->setup());
    const MC_MIE &r = mc().sMIE;
    EXPECT_EQ(80.0, r.fBlackLevel);
    EXPECT_FALSE(r.bMemoryColour);
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(0.5, r.aYOffset[i]);
        EXPECT_EQ(1.0, r.aYScale[i]);
        EXPECT_EQ(1.0, r.aCScale[i]);
        EXPECT_EQ((std::vector<double>{0.9921875, 0}), slice(r.aRot, 2 * i, 2));
        EXPECT_DOUBLE_EQ(0.28125, r.aGaussMinY[i]);
        EXPECT_DOUBLE_EQ(1.5333333333333334, r.aGaussScaleY[i]);
        EXPECT_EQ(0.5, r.aGaussCB[i]);
        EXPECT_EQ(0.5, r.aGaussCR[i]);
        EXPECT_EQ((std::vector<double>{0.9921875, 0}), slice(r.aGaussRot, 2 * i, 2));
        EXPECT_EQ(3.0, r.aGaussKB[i]);
        EXPECT_EQ(3.0, r.aGaussKR[i]);
        EXPECT_EQ(std::vector<double>(4, 170), slice(r.aGaussScale, 4 * i, 4));
        EXPECT_EQ(std::vector<double>(4, 0), slice(r.aGaussGain, 4 * i, 4));
    }
    EXPECT_TRUE(r.updateNeeded);
}

TEST_F(ModuleMIETest, ColoursFillTheSlotsInOrder)
{
    ModuleMIE *mie = add<ModuleMIE>();
    ParameterList list = listOf({{"MIE_MEMORY_COLOURS", {"5"}},
                               {"MIE_ENABLED_0", {"1"}},
                               {"MIE_ENABLED_1", {"0"}},
                               {"MIE_ENABLED_2", {"1"}},
                               {"MIE_ENABLED_3", {"1"}},
                               {"MIE_ENABLED_4", {"1"}},
                               {"MIE_YGAINS_0", {"0.5", "0.25", "1", "2"}},
                               {"MIE_CCENTER_1", {"0.3", "0.3"}},
                               {"MIE_CCENTER_2", {"0.1", "-0.2"}},
                               {"MIE_OUT_HUE_2", {"1"}},
                               {"MIE_YMIN_3", {"0.5"}},
                               {"MIE_YMAX_3", {"0.5"}},
                               {"MIE_OUT_CONTRAST_3", {"2"}},
                               {"MIE_OUT_SATURATION_3", {"1.5"}},
                               {"MIE_CEXTENT_3", {"0.5", "1", "2", "4"}},
                               {"MIE_CASPECT_3", {"1"}},
                               {"MIE_YGAINS_4", {"1", "1", "1", "1"}}});
    {
        LogCapture log;
        ASSERT_EQ(QOV_SUCCESS, mie->load(list));
        EXPECT_TRUE(log.contains("WARNING [VOVA_MOD_MIE]: load() Number of enabled memory colours in parameters is 4 "
                                 "while HW only supports 3 - the first 3 were enabled the other ignored.\n"))
            << log.text();
    }
    EXPECT_EQ((std::vector<bool>{true, true, true}), std::vector<bool>(mie->bEnabled, mie->bEnabled + 3));
    // slot 0 is colour 0, slot 1 colour 2 (colour 1 is off), slot 2 colour 3
    EXPECT_EQ((std::vector<double>{0.5, 0.25, 1, 1}), slice(mie->aYGain[0], 0, 4));
    EXPECT_EQ(0.1, mie->aCbCenter[1]);
    EXPECT_EQ(-0.2, mie->aCrCenter[1]);
    EXPECT_EQ(1.0, mie->aOutHue[1]);
    EXPECT_EQ(2.0, mie->aOutContrast[2]);

    ASSERT_EQ(QOV_SUCCESS, mie->setup());
    const MC_MIE &r = mc().sMIE;
    EXPECT_TRUE(r.bMemoryColour);
    EXPECT_EQ((std::vector<double>{0.5, 0.25, 1, 1}), slice(r.aGaussGain, 0, 4));
    EXPECT_DOUBLE_EQ(0.6, r.aGaussCB[1]);
    EXPECT_DOUBLE_EQ(0.3, r.aGaussCR[1]);
    // hue 1 with pi as 3.14159: the cosine is just above -1
    EXPECT_EQ((std::vector<double>{-0.9921875, 0}), slice(r.aRot, 2, 2));
    // luma window: lo 0.53125 is not below hi 0.5
    EXPECT_EQ(16.0, r.aGaussScaleY[2]);
    EXPECT_EQ(3.0, r.aCScale[2]);
    EXPECT_EQ(3.0, r.aGaussKB[2]);
    EXPECT_EQ(6.0, r.aGaussKR[2]);
    EXPECT_EQ((std::vector<double>{120, 60, 30, 15}), slice(r.aGaussScale, 8, 4));

    // saved as colours 0 to 2 of three
    ParameterList saved;
    mie->save(saved, ModuleBase::SAVE_VAL);
    EXPECT_EQ(std::vector<std::string>{"3"}, valuesOf(saved, "MIE_MEMORY_COLOURS"));
    EXPECT_EQ(std::vector<std::string>{"1"}, valuesOf(saved, "MIE_ENABLED_1"));
    EXPECT_EQ((std::vector<std::string>{"0.1", "-0.2"}), valuesOf(saved, "MIE_CCENTER_1"));
    EXPECT_EQ((std::vector<std::string>{"0.5", "1", "2", "4"}), valuesOf(saved, "MIE_CEXTENT_2"));
    EXPECT_TRUE(valuesOf(saved, "MIE_ENABLED_3").empty());
    ModuleMIE reloaded;
    reloaded.load(saved);
    EXPECT_EQ(2.0, reloaded.aOutContrast[2]);
    EXPECT_EQ(1.0, reloaded.aCAspect[2]);
}

TEST_F(ModuleMIETest, NoColoursReadAndDeprecatedKeysWarn)
{
    ModuleMIE mie;
    mie.load(listOf({{"MIE_ENABLED_0", {"1"}}, {"MIE_YMIN_0", {"0.5"}}}));
    EXPECT_TRUE(mie.bEnabled[0]);
    LogCapture log;
    mie.load(listOf({{"MIE_MEMORY_COLOURS", {"0"}},
                   {"MIE_ENABLED_0", {"1"}},
                   {"MIE_YMIN_0", {"0.5"}},
                   {"MIE_MC_HUE", {"0.5"}}}));
    EXPECT_EQ((std::vector<bool>{false, false, false}), std::vector<bool>(mie.bEnabled, mie.bEnabled + 3));
    EXPECT_EQ(0.0, mie.aYMin[0]);
    EXPECT_EQ(1u, occurrences(log.text(), "WARNING [VOVA_MOD_MIE]: checkDeprecated() MIE_MC_HUE is deprecated! "
                                          "Update your MIE settings.\n"))
        << log.text();
    EXPECT_EQ(1u, occurrences(log.text(), "deprecated"));
}

TEST_F(ModuleMIETest, CbFirstEncoderExchangesTheChroma)
{
    ModuleMIE *mie = add<ModuleMIE>();
    mie->load(listOf({{"MIE_ENABLED_0", {"1"}},
                    {"MIE_CCENTER_0", {"0.1", "-0.2"}},
                    {"MIE_OUT_HUE_0", {"0.5"}},
                    {"MIE_CROTATION_0", {"0.25"}},
                    {"MIE_CASPECT_0", {"1"}},
                    {"MIE_CEXTENT_0", {"0.5", "1", "2", "4"}}}));
    const double sinHalf = mieQuantiseRotation(std::sin(0.5 * 3.14159));
    const double sinQuarter = mieQuantiseRotation(std::sin(0.25 * 3.14159));
    struct Case {
        pxlFormat encoder;
        double cb, cr, kb, kr, hueSine, rotationSine;
    } cases[] = {
        {YVU_422_PL12_10, 0.6, 0.3, 3, 6, sinHalf, sinQuarter},
        {YUV_422_PL12_10, 0.3, 0.6, 6, 3, -sinHalf, -sinQuarter},
        {YUV_420_PL12_8, 0.3, 0.6, 6, 3, -sinHalf, -sinQuarter},
    };
    for (const Case &c : cases) {
        out->encoderType = c.encoder;
        ASSERT_EQ(QOV_SUCCESS, mie->setup());
        const MC_MIE &r = mc().sMIE;
        EXPECT_DOUBLE_EQ(c.cb, r.aGaussCB[0]) << c.encoder;
        EXPECT_DOUBLE_EQ(c.cr, r.aGaussCR[0]) << c.encoder;
        EXPECT_EQ(c.kb, r.aGaussKB[0]) << c.encoder;
        EXPECT_EQ(c.kr, r.aGaussKR[0]) << c.encoder;
        EXPECT_EQ(c.hueSine, r.aRot[1]) << c.encoder;
        EXPECT_EQ(c.rotationSine, r.aGaussRot[1]) << c.encoder;
        // the slice scales are not exchanged
        EXPECT_EQ((std::vector<double>{120, 60, 30, 15}), slice(r.aGaussScale, 0, 4));
    }
}

TEST_F(ModuleMIETest, NeedsTheOutputModule)
{
    dropModules();
    ModuleMIE *mie = add<ModuleMIE>();
    LogCapture log;
    EXPECT_EQ(QOV_ERROR_FAILURE, mie->setup());
    EXPECT_TRUE(log.contains("ERROR [VOVA_MOD_MIE]: setup():"));
    EXPECT_TRUE(log.contains("pipeline has no output module\n"));
}

TEST_F(ModuleMIETest, GroupAndSavedTexts)
{
    const ParameterGroup group = ModuleMIE::GetGroup();
    EXPECT_EQ("// Image Enhancer parameters", group.header);
    EXPECT_EQ(2u + 9 * 12, group.parameters.size());
    EXPECT_EQ(1u, group.parameters.count("MIE_OUT_HUE_8"));
    EXPECT_EQ(1u, group.parameters.count("MIE_ENABLED_0"));

    EXPECT_EQ("// Image Enhancer parameters\n"
              "MIE_BLACK_LEVEL 0.0625 // double range=[0,1]\n"
              "MIE_CASPECT_0 0 // double range=[-2,2]\n"
              "MIE_CASPECT_1 0 // double range=[-2,2]\n"
              "MIE_CASPECT_2 0 // double range=[-2,2]\n"
              "MIE_CCENTER_0 0 0 // double[2] range=[-0.5,0.5]\n"
              "MIE_CCENTER_1 0 0 // double[2] range=[-0.5,0.5]\n"
              "MIE_CCENTER_2 0 0 // double[2] range=[-0.5,0.5]\n"
              "MIE_CEXTENT_0 0.5 0.5 0.5 0.5 // double[4] range=[0.0039,4]\n"
              "MIE_CEXTENT_1 0.5 0.5 0.5 0.5 // double[4] range=[0.0039,4]\n"
              "MIE_CEXTENT_2 0.5 0.5 0.5 0.5 // double[4] range=[0.0039,4]\n"
              "MIE_CROTATION_0 0 // double range=[-1,1]\n"
              "MIE_CROTATION_1 0 // double range=[-1,1]\n"
              "MIE_CROTATION_2 0 // double range=[-1,1]\n"
              "MIE_ENABLED_0 0 // bool {0,1}\n"
              "MIE_ENABLED_1 0 // bool {0,1}\n"
              "MIE_ENABLED_2 0 // bool {0,1}\n"
              "MIE_MEMORY_COLOURS 3 // unsigned range=[0,9]\n"
              "MIE_OUT_BRIGHTNESS_0 0 // double range=[-1,1]\n"
              "MIE_OUT_BRIGHTNESS_1 0 // double range=[-1,1]\n"
              "MIE_OUT_BRIGHTNESS_2 0 // double range=[-1,1]\n"
              "MIE_OUT_CONTRAST_0 1 // double range=[0,4]\n"
              "MIE_OUT_CONTRAST_1 1 // double range=[0,4]\n"
              "MIE_OUT_CONTRAST_2 1 // double range=[0,4]\n"
              "MIE_OUT_HUE_0 0 // double range=[-1,1]\n"
              "MIE_OUT_HUE_1 0 // double range=[-1,1]\n"
              "MIE_OUT_HUE_2 0 // double range=[-1,1]\n"
              "MIE_OUT_SATURATION_0 1 // double range=[0,4]\n"
              "MIE_OUT_SATURATION_1 1 // double range=[0,4]\n"
              "MIE_OUT_SATURATION_2 1 // double range=[0,4]\n"
              "MIE_YGAINS_0 0 0 0 0 // double[4] range=[0,1]\n"
              "MIE_YGAINS_1 0 0 0 0 // double[4] range=[0,1]\n"
              "MIE_YGAINS_2 0 0 0 0 // double[4] range=[0,1]\n"
              "MIE_YMAX_0 1 // double range=[0,2]\n"
              "MIE_YMAX_1 1 // double range=[0,2]\n"
              "MIE_YMAX_2 1 // double range=[0,2]\n"
              "MIE_YMIN_0 0 // double range=[0,1]\n"
              "MIE_YMIN_1 0 // double range=[0,1]\n"
              "MIE_YMIN_2 0 // double range=[0,1]\n"
              "\n\n",
              savedText(ModuleMIE(), ModuleBase::SAVE_DEF, true));
    ParameterList min, max;
    ModuleMIE().save(min, ModuleBase::SAVE_MIN);
    ModuleMIE().save(max, ModuleBase::SAVE_MAX);
    EXPECT_EQ(std::vector<std::string>{"0"}, valuesOf(min, "MIE_MEMORY_COLOURS"));
    EXPECT_EQ(std::vector<std::string>{"9"}, valuesOf(max, "MIE_MEMORY_COLOURS"));
    EXPECT_EQ(std::vector<std::string>{"0"}, valuesOf(min, "MIE_ENABLED_2"));
    EXPECT_EQ(std::vector<std::string>{"1"}, valuesOf(max, "MIE_ENABLED_2"));
    EXPECT_EQ(std::vector<std::string>(4, "0.0039"), valuesOf(min, "MIE_CEXTENT_1"));
    EXPECT_EQ(std::vector<std::string>{"4"}, valuesOf(max, "MIE_OUT_CONTRAST_0"));
}

}  // namespace
}  // namespace module_mie
