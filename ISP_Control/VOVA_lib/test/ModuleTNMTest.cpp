// Tone mapper: luma ranges, curve adjustment and local columns worked out by
// hand, and the module from key text to record.
#include <gtest/gtest.h>

#include "SetupModuleFixture.h"
#include "vova/ModuleTNM.h"

using namespace VOVA;

namespace module_tnm {
using namespace vovatest;

namespace {
class ModuleTNMTest : public SetupModuleFixture {};

TEST(ModuleTNMMaths, LumaRangesOfTheDefaultsAndAnEmptyInputRange)
{
    const double inY[2] = {-64, 64}, outY[2] = {16, 235};
    TNMLumaRanges r{};
    ASSERT_TRUE(tnmLumaRanges(inY, outY, r));
    EXPECT_DOUBLE_EQ(256.0 / 129, r.inputLumaScale);
    EXPECT_DOUBLE_EQ(64, r.inputLumaOffset);
    EXPECT_DOUBLE_EQ(0.859375, r.outputLumaScale);
    EXPECT_DOUBLE_EQ(16, r.outputLumaOffset);
    EXPECT_DOUBLE_EQ(220.0 / 129, r.chromaIOScale);

    // a range of one value is allowed; "1 0" holds none and would divide by zero
    const double single[2] = {5, 5}, empty[2] = {1, 0}, reversed[2] = {10, -10};
    EXPECT_TRUE(tnmLumaRanges(single, outY, r));
    EXPECT_DOUBLE_EQ(256, r.inputLumaScale);
    TNMLumaRanges untouched{1, 2, 3, 4, 5};
    EXPECT_FALSE(tnmLumaRanges(empty, outY, untouched));
    EXPECT_FALSE(tnmLumaRanges(reversed, outY, untouched));
    EXPECT_EQ(1, untouched.inputLumaScale);
    EXPECT_EQ(5, untouched.chromaIOScale);
}

TEST(ModuleTNMMaths, CurveAdjustmentPivotsOnHalfAndClamps)
{
    struct Case {
        double point, contrast, brightness, expected;
    } cases[] = {
        {0.25, 2, 0, 0}, {0.5, 2, 0, 0.5}, {0.75, 2, 0, 1},      {0.3, 1, 0.1, 0.4},
        {0.95, 1, 0.1, 1}, {0.2, 0, 0, 0.5}, {0.015625, 1, 0, 0.015625}, {0.6, 1, -1, 0},
    };
    for (const Case &c : cases)
        EXPECT_DOUBLE_EQ(c.expected, tnmAdjustCurvePoint(c.point, c.contrast, c.brightness))
            << c.point << " " << c.contrast << " " << c.brightness;
}

TEST(ModuleTNMMaths, LocalColumnsByImageWidth)
{
    struct Case {
        QOV_UINT32 width;
        QOV_UINT16 columns;
    } cases[] = {{1920, 16}, {640, 16}, {638, 15}, {40, 1}, {79, 1}, {80, 2}, {38, 0}, {0, 0}};
    for (const Case &c : cases)
        EXPECT_EQ(c.columns, tnmLocalColumns(c.width)) << c.width;
}

TEST_F(ModuleTNMTest, DefaultsToRecord)
{
    ModuleTNM *tnm = add<ModuleTNM>();
    LogCapture log;
    ASSERT_EQ(QOV_SUCCESS, tnm->setup());
    const MC_TNM &r = mc().sTNM;
    EXPECT_DOUBLE_EQ(256.0 / 129, r.inputLumaScale);
    EXPECT_EQ(64.0, r.inputLumaOffset);
    EXPECT_EQ(0.859375, r.outputLumaScale);
    EXPECT_EQ(16.0, r.outputLumaOffset);
    EXPECT_DOUBLE_EQ(220.0 / 129, r.chromaIOScale);
    EXPECT_EQ(1.0, r.chromaConfigurationScale);
    EXPECT_EQ(1.0, r.chromaSaturationScale);
    EXPECT_EQ(0.0, r.localWeights + r.updateWeights + r.histFlattenMin + r.histFlattenThreshold);
    EXPECT_FALSE(r.bBypassTNM);
    EXPECT_FALSE(r.bSetTNMtoPassDataIntact);
    EXPECT_EQ(0.015625, r.aCurve[0]);
    EXPECT_EQ(0.5, r.aCurve[31]);
    EXPECT_EQ(0.984375, r.aCurve[62]);
    EXPECT_EQ(16, r.ui16LocalColumns);
    EXPECT_EQ(0, r.ui16ColumnsIndex);
    EXPECT_TRUE(r.updateNeeded);
    EXPECT_FALSE(log.contains("WARNING")) << log.text();
}

TEST_F(ModuleTNMTest, KeysToRecord)
{
    std::vector<std::string> ten;
    for (int i = 0; i < 10; i++)
        ten.push_back("0.25");
    struct Case {
        const char *what;
        ParameterList list;
        std::vector<std::pair<int, double>> points;  // record curve point, value
        double in[2], out[2];
    } cases[] = {
        {"ten points", listOf({{"TNM_CURVE", ten}}), {{0, 0.25}, {9, 0.25}, {10, 11 / 64.0}, {62, 63 / 64.0}},
         {256.0 / 129, 64}, {0.859375, 16}},
        // contrast 2 around 0.5: 0.25 to 0, 0.5 stays, 0.75 to 1
        {"contrast", listOf({{"TNM_CONTRAST", {"2"}}}), {{15, 0}, {31, 0.5}, {47, 1}, {39, 0.75}}, {256.0 / 129, 64},
         {0.859375, 16}},
        {"brightness", listOf({{"TNM_BRIGHTNESS", {"0.1"}}}), {{0, 0.115625}, {62, 1}}, {256.0 / 129, 64},
         {0.859375, 16}},
        // 200 clamps to 127
        {"ranges", listOf({{"TNM_IN_Y", {"-127", "200"}}, {"TNM_OUT_Y", {"0", "255"}}}), {{31, 0.5}}, {256.0 / 255, 1},
         {1, 0}},
    };
    ModuleTNM *tnm = add<ModuleTNM>();
    for (const Case &c : cases) {
        ASSERT_EQ(QOV_SUCCESS, tnm->load(c.list)) << c.what;
        ASSERT_EQ(QOV_SUCCESS, tnm->setup()) << c.what;
        for (const auto &p : c.points)
            EXPECT_DOUBLE_EQ(p.second, mc().sTNM.aCurve[p.first]) << c.what << " point " << p.first;
        EXPECT_DOUBLE_EQ(c.in[0], mc().sTNM.inputLumaScale) << c.what;
        EXPECT_DOUBLE_EQ(c.in[1], mc().sTNM.inputLumaOffset) << c.what;
        EXPECT_DOUBLE_EQ(c.out[0], mc().sTNM.outputLumaScale) << c.what;
        EXPECT_DOUBLE_EQ(c.out[1], mc().sTNM.outputLumaOffset) << c.what;
    }
    // a curve written by the control is adjusted like a loaded one and kept
    tnm->load(listOf({{"TNM_CONTRAST", {"2"}}}));
    tnm->aCurve[5] = 0.6;
    tnm->requestUpdate();
    ASSERT_EQ(QOV_SUCCESS, pipeline->setupRequested());
    EXPECT_DOUBLE_EQ(0.7, mc().sTNM.aCurve[5]);
    EXPECT_EQ(0.6, tnm->aCurve[5]);
}

TEST_F(ModuleTNMTest, LocalColumnsByImagerWidthWarnOnce)
{
    ModuleTNM *tnm = add<ModuleTNM>();
    struct Case {
        QOV_UINT16 cells;
        QOV_UINT16 columns;
        bool warns;
    } cases[] = {{320, 16, false}, {319, 15, true}, {319, 15, false}, {20, 1, true}, {20, 1, false}, {319, 15, true}};
    for (const Case &c : cases) {
        mc().sIIF.ui16ImagerSize[0] = c.cells;
        LogCapture log;
        ASSERT_EQ(QOV_SUCCESS, tnm->setup()) << c.cells;
        EXPECT_EQ(c.columns, mc().sTNM.ui16LocalColumns) << c.cells;
        EXPECT_EQ(c.warns ? 1u : 0u, occurrences(log.text(), "WARNING [VOVA_MOD_TNM]: setup() Invalid number of "
                                                               "columns. Number of columns set to " +
                                                                   std::to_string(c.columns) + "\n"))
            << c.cells << log.text();
    }

    // an image of 38 pixels is refused after the other values are written
    mc().sIIF.ui16ImagerSize[0] = 19;
    mc().sTNM = MC_TNM{};
    tnm->clearFlags();
    LogCapture log;
    EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, tnm->setup());
    EXPECT_TRUE(log.contains("The given input size 38 for the imager is too small for the tone mapper to work "
                             "(min=40)! Disable TNM or use a bigger image setup\n"));
    EXPECT_EQ(0.015625, mc().sTNM.aCurve[0]);
    EXPECT_FALSE(mc().sTNM.updateNeeded);
    EXPECT_FALSE(tnm->isSetup());
}

TEST_F(ModuleTNMTest, RefusalsWriteNothing)
{
    ModuleTNM *tnm = add<ModuleTNM>();
    struct Case {
        const char *what;
        ParameterList list;
        QOV_UINT16 cells[2];
        QOV_RESULT result;
        const char *message;
    } cases[] = {
        {"no imager width", listOf({}), {0, 540}, QOV_ERROR_WRONG_STATE, "IIF should be setup beforehand!\n"},
        {"no imager height", listOf({}), {960, 0}, QOV_ERROR_WRONG_STATE, "IIF should be setup beforehand!\n"},
        // "1 0" once divided 256 by zero
        {"empty input range", listOf({{"TNM_IN_Y", {"1", "0"}}}), {960, 540}, QOV_ERROR_INVALID_ARGUMENT,
         "The input luma range 1.000000 to 0.000000 holds no value: its high end must not be below its low end\n"},
        {"reversed input range", listOf({{"TNM_IN_Y", {"10", "-10"}}, {"TNM_BYPASS", {"1"}}}), {960, 540},
         QOV_ERROR_INVALID_ARGUMENT, "The input luma range 10.000000 to -10.000000 holds no value"},
    };
    for (const Case &c : cases) {
        tnm->load(c.list);
        mc().sIIF.ui16ImagerSize[0] = c.cells[0];
        mc().sIIF.ui16ImagerSize[1] = c.cells[1];
        mc().sTNM = MC_TNM{};
        LogCapture log;
        EXPECT_EQ(c.result, tnm->setup()) << c.what;
        EXPECT_TRUE(log.contains(std::string("ERROR [VOVA_MOD_TNM]: setup():"))) << c.what;
        EXPECT_TRUE(log.contains(c.message)) << c.what << log.text();
        EXPECT_EQ(0.0, mc().sTNM.inputLumaScale) << c.what;
        EXPECT_EQ(0.0, mc().sTNM.aCurve[0]) << c.what;
        EXPECT_FALSE(mc().sTNM.updateNeeded) << c.what;
    }
    // a refused set-up does not consume a pass-through request
    EXPECT_TRUE(tnm->bBypass);
}

TEST_F(ModuleTNMTest, PassThroughGovernsOneSetup)
{
    ModuleTNM *tnm = add<ModuleTNM>();
    const ParameterList values = listOf({{"TNM_WEIGHT_LOCAL", {"0.5"}},
                                         {"TNM_WEIGHT_LINE", {"0.75"}},
                                         {"TNM_FLAT_FACTOR", {"0.375"}},
                                         {"TNM_FLAT_MIN", {"0.25"}},
                                         {"TNM_COLOUR_CONFIDENCE", {"3"}},
                                         {"TNM_COLOUR_SATURATION", {"2"}}});
    const auto expectValues = [this](const char *when) {
        const MC_TNM &r = mc().sTNM;
        EXPECT_FALSE(r.bSetTNMtoPassDataIntact) << when;
        EXPECT_EQ(0.5, r.localWeights) << when;
        EXPECT_EQ(0.75, r.updateWeights) << when;
        EXPECT_EQ(0.375, r.histFlattenThreshold) << when;
        EXPECT_EQ(0.25, r.histFlattenMin) << when;
        EXPECT_EQ(3.0, r.chromaConfigurationScale) << when;
        EXPECT_EQ(2.0, r.chromaSaturationScale) << when;
    };
    ASSERT_EQ(QOV_SUCCESS, tnm->load(values));
    ASSERT_EQ(QOV_SUCCESS, tnm->setup());
    expectValues("before the pass-through");

    // the pass-through clears every field a previous set-up wrote
    ParameterList bypass = values;
    bypass.addParameter(Parameter("TNM_BYPASS", "1"), true);
    ASSERT_EQ(QOV_SUCCESS, tnm->load(bypass));
    ASSERT_EQ(QOV_SUCCESS, tnm->setup());
    const MC_TNM &r = mc().sTNM;
    EXPECT_TRUE(r.bSetTNMtoPassDataIntact);
    EXPECT_EQ(0.0, r.localWeights);
    EXPECT_EQ(0.0, r.updateWeights);
    EXPECT_EQ(0.0, r.histFlattenThreshold);
    EXPECT_EQ(0.0, r.histFlattenMin);
    EXPECT_EQ(0.0, r.chromaConfigurationScale);
    EXPECT_EQ(0.0, r.chromaSaturationScale);
    EXPECT_FALSE(tnm->bBypass);
    ParameterList saved;
    tnm->save(saved, ModuleBase::SAVE_VAL);
    EXPECT_EQ(std::vector<std::string>{"0"}, valuesOf(saved, "TNM_BYPASS"));

    ASSERT_EQ(QOV_SUCCESS, tnm->setup());
    expectValues("after the pass-through");
}

TEST_F(ModuleTNMTest, SavedTexts)
{
    std::string curve;
    for (double v : ModuleTNM::computeDefaultCurve())
        curve += toString(v) + " ";
    EXPECT_EQ("// Tone Mapper parameters\n"
              "TNM_BRIGHTNESS 0 // double range=[-1,1]\n"
              "TNM_BYPASS 0 // bool {0,1}\n"
              "TNM_COLOUR_CONFIDENCE 1 // double range=[0,64]\n"
              "TNM_COLOUR_SATURATION 1 // double range=[0,16]\n"
              "TNM_CONTRAST 1 // double range=[0,16]\n"
              "TNM_CURVE " +
                  curve +
                  "// double[63] range=[0,1]\n"
                  "TNM_FLAT_FACTOR 0 // double range=[0,1]\n"
                  "TNM_FLAT_MIN 0 // double range=[0,1]\n"
                  "TNM_IN_Y -64 64 // double[2] range=[-127,127]\n"
                  "TNM_OUT_Y 16 235 // double[2] range=[0,255]\n"
                  "TNM_WEIGHT_LINE 0 // double range=[0,1]\n"
                  "TNM_WEIGHT_LOCAL 0 // double range=[0,1]\n"
                  "\n\n",
              savedText(ModuleTNM(), ModuleBase::SAVE_DEF, true));
    EXPECT_EQ(0.015625, ModuleTNM::computeDefaultCurve()[0]);
    EXPECT_EQ(0.984375, ModuleTNM::computeDefaultCurve()[62]);
    ParameterList min, max;
    ModuleTNM().save(min, ModuleBase::SAVE_MIN);
    ModuleTNM().save(max, ModuleBase::SAVE_MAX);
    EXPECT_EQ((std::vector<std::string>{"-127", "-127"}), valuesOf(min, "TNM_IN_Y"));
    EXPECT_EQ(std::vector<std::string>(63, "1"), valuesOf(max, "TNM_CURVE"));
    EXPECT_EQ(std::vector<std::string>{"1"}, valuesOf(max, "TNM_BYPASS"));
    EXPECT_EQ(std::vector<std::string>{"64"}, valuesOf(max, "TNM_COLOUR_CONFIDENCE"));
}

}  // namespace
}  // namespace module_tnm
