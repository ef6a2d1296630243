// Main and display gamut mappers: key text to fields to record, the display
// mapper's coefficients for a blue-first display and its neutral setting for
// a packed YCbCr display, and the saved texts.
#include <gtest/gtest.h>

#include "SetupModuleFixture.h"
#include "vova/ModuleDGM.h"
#include "vova/ModuleMGM.h"

using namespace VOVA;

namespace module_gamut_mapper {
using namespace vovatest;

namespace {

class ModuleGamutMapperTest : public SetupModuleFixture {};

struct Gamut {
    double clipMin, clipMax, srcNorm;
    std::vector<double> slopes, coeffs;
};

void expectGamut(const Gamut &g, const MC_GAMUTMAPPER &r, const std::string &what)
{
    EXPECT_EQ(g.clipMin, r.fClipMin) << what;
    EXPECT_EQ(g.clipMax, r.fClipMax) << what;
    EXPECT_EQ(g.srcNorm, r.fSrcNorm) << what;
    EXPECT_EQ(g.slopes, std::vector<double>(r.aSlope, r.aSlope + 3)) << what;
    EXPECT_EQ(g.coeffs, std::vector<double>(r.aCoeff, r.aCoeff + 6)) << what;
}

const std::vector<double> ASCENDING = {0.1, 0.2, 0.3, 0.4, 0.5, 0.6};

TEST_F(ModuleGamutMapperTest, MainMapperKeysToRecord)
{
    struct Case {
        const char *what;
        ParameterList list;
        Gamut record;
    } cases[] = {
        {"defaults", listOf({}), {-0.5, 1.5, 1.0, {1, 1, 1}, {0, 0, 0, 0, 0, 0}}},
        {"clamped", listOf({{"MGM_CLIP_MIN", {"0.3"}}, {"MGM_SLOPE", {"-1"}}, {"MGM_COEFF", {"3", "-3"}}}),
         {0, 1.5, 1.0, {0, 1, 1}, {2, -2, 0, 0, 0, 0}}},
        {"all keys",
         listOf({{"MGM_CLIP_MIN", {"-0.25"}},
               {"MGM_CLIP_MAX", {"1.75"}},
               {"MGM_SRC_NORM", {"0.5"}},
               {"MGM_SLOPE", {"0.5", "1.5", "2"}},
               {"MGM_COEFF", {"0.1", "0.2", "0.3", "0.4", "0.5", "0.6"}}}),
         {-0.25, 1.75, 0.5, {0.5, 1.5, 2}, ASCENDING}},
    };
    ModuleMGM *mgm = add<ModuleMGM>();
    for (const Case &c : cases) {
        ASSERT_EQ(QOV_SUCCESS, mgm->load(c.list)) << c.what;
        ASSERT_EQ(QOV_SUCCESS, mgm->setup()) << c.what;
        expectGamut(c.record, mc().sMGM, c.what);
        EXPECT_TRUE(mc().sMGM.updateNeeded);
    }
}

TEST_F(ModuleGamutMapperTest, DisplayMapperFollowsTheDisplayFormat)
{
    const Gamut loaded = {-0.25, 1.75, 0.5, {0.5, 1.5, 2}, ASCENDING};
    const Gamut reversed = {-0.25, 1.75, 0.5, {0.5, 1.5, 2}, {0.6, 0.5, 0.4, 0.3, 0.2, 0.1}};
    const Gamut neutral = {-1, 2, 2, {1, 1, 0}, {0, 0, 0, 0, 0, 0}};
    struct Case {
        pxlFormat display;
        const Gamut &record;
    } cases[] = {
        {PXL_NONE, loaded},       {RGB_888_24, loaded},          {RGB_888_32, loaded},
        {BGR_888_24, reversed},   {BGR_888_32, reversed},        {BGR_101010_32, reversed},
        {BGR_161616_64, loaded},  {PXL_ISP_444IL3YCrCb8, neutral}, {PXL_ISP_444IL3YCbCr8, neutral},
        {PXL_ISP_444IL3YCrCb10, neutral}, {PXL_ISP_444IL3YCbCr10, neutral},
        // back to RGB after a packed YCbCr display: the loaded setting again
        {RGB_888_32, loaded},
    };
    ModuleDGM *dgm = add<ModuleDGM>();
    ASSERT_EQ(QOV_SUCCESS, dgm->load(listOf({{"DGM_CLIP_MIN", {"-0.25"}},
                                            {"DGM_CLIP_MAX", {"1.75"}},
                                            {"DGM_SRC_NORM", {"0.5"}},
                                            {"DGM_SLOPE", {"0.5", "1.5", "2"}},
                                            {"DGM_COEFF", {"0.1", "0.2", "0.3", "0.4", "0.5", "0.6"}}})));
    for (const Case &c : cases) {
        out->displayType = c.display;
        ASSERT_EQ(QOV_SUCCESS, dgm->setup()) << c.display;
        expectGamut(c.record, mc().sDGM, std::to_string(c.display));
        // the module keeps what was loaded, whatever the record holds
        ParameterList saved;
        dgm->save(saved, ModuleBase::SAVE_VAL);
        EXPECT_EQ((std::vector<std::string>{"0.1", "0.2", "0.3", "0.4", "0.5", "0.6"}), valuesOf(saved, "DGM_COEFF"));
        EXPECT_EQ(std::vector<std::string>{"-0.25"}, valuesOf(saved, "DGM_CLIP_MIN"));
        EXPECT_EQ(std::vector<std::string>{"1.75"}, valuesOf(saved, "DGM_CLIP_MAX"));
        EXPECT_EQ(std::vector<std::string>{"0.5"}, valuesOf(saved, "DGM_SRC_NORM"));
        EXPECT_EQ((std::vector<std::string>{"0.5", "1.5", "2"}), valuesOf(saved, "DGM_SLOPE"));
    }
}

TEST_F(ModuleGamutMapperTest, DisplayMapperNeedsTheOutputModule)
{
    dropModules();
    ModuleDGM *dgm = add<ModuleDGM>();
    mc().sDGM.fClipMin = 0.125;
    mc().sDGM.updateNeeded = QOV_FALSE;
    LogCapture log;
    EXPECT_EQ(QOV_ERROR_FAILURE, dgm->setup());
    EXPECT_TRUE(log.contains("ERROR [VOVA_MOD_DGM]: setup():"));
    EXPECT_TRUE(log.contains("pipeline has no output module\n"));
    EXPECT_EQ(0.125, mc().sDGM.fClipMin);
    EXPECT_FALSE(mc().sDGM.updateNeeded);
    EXPECT_FALSE(dgm->isSetup());
}

TEST_F(ModuleGamutMapperTest, SavedTexts)
{
    EXPECT_EQ("// Main Gamut Mapper parameters\n"
              "MGM_CLIP_MAX 1.5 // double range=[0,2]\n"
              "MGM_CLIP_MIN -0.5 // double range=[-1,0]\n"
              "MGM_COEFF 0 0 0 0 0 0 // double[6] range=[-2,2]\n"
              "MGM_SLOPE 1 1 1 // double[3] range=[0,2]\n"
              "MGM_SRC_NORM 1 // double range=[0,2]\n"
              "\n\n",
              savedText(ModuleMGM(), ModuleBase::SAVE_DEF, true));
    EXPECT_EQ("// Display Gamut Mapper parameters\n"
              "DGM_CLIP_MAX 1.5 // double range=[0,2]\n"
              "DGM_CLIP_MIN -0.5 // double range=[-1,0]\n"
              "DGM_COEFF 0 0 0 0 0 0 // double[6] range=[-2,2]\n"
              "DGM_SLOPE 1 1 1 // double[3] range=[0,2]\n"
              "DGM_SRC_NORM 1 // double range=[0,2]\n"
              "\n\n",
              savedText(ModuleDGM(), ModuleBase::SAVE_DEF, true));
    ParameterList min, max;
    ModuleMGM mgm;
    mgm.save(min, ModuleBase::SAVE_MIN);
    mgm.save(max, ModuleBase::SAVE_MAX);
    EXPECT_EQ(std::vector<std::string>(6, "-2"), valuesOf(min, "MGM_COEFF"));
    EXPECT_EQ(std::vector<std::string>(3, "0"), valuesOf(min, "MGM_SLOPE"));
    EXPECT_EQ(std::vector<std::string>{"-1"}, valuesOf(min, "MGM_CLIP_MIN"));
    EXPECT_EQ(std::vector<std::string>{"0"}, valuesOf(max, "MGM_CLIP_MIN"));
    EXPECT_EQ(std::vector<std::string>(6, "2"), valuesOf(max, "MGM_COEFF"));
    EXPECT_EQ(std::vector<std::string>{"2"}, valuesOf(max, "MGM_SRC_NORM"));
}

}  // namespace
}  // namespace module_gamut_mapper
