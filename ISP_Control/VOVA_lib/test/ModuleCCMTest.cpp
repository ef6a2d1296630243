// Colour correction module: key text to fields to record, the saved texts,
// the assignment, and an update requested by a writer of the fields.
#include <gtest/gtest.h>

#include "SetupModuleFixture.h"
#include "vova/ModuleCCM.h"

using namespace VOVA;

namespace module_ccm {
using namespace vovatest;

namespace {

class ModuleCCMTest : public SetupModuleFixture {};

std::vector<double> rowsOf(const MC_CCM &r)
{
    std::vector<double> v;
    for (const auto &row : r.aCoeff)
        v.insert(v.end(), row, row + 4);
    return v;
}

TEST_F(ModuleCCMTest, KeysToRecord)
{
    struct Case {
        const char *what;
        ParameterList list;
        std::vector<double> rows;  // 3 x 4
        std::vector<double> offsets;
    } cases[] = {
        {"defaults", listOf({}), {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0}, {0, 0, 0}},
        // the two 5s clamp to 4 - 1/512; the missing elements take the identity's
        {"clamped and short", listOf({{"CCM_MATRIX", {"5", "0", "0", "0", "5"}}}),
         {3.998046875, 0, 0, 0, 0, 3.998046875, 0, 0, 0, 0, 1, 0}, {0, 0, 0}},
        {"offsets", listOf({{"CCM_OFFSETS", {"300", "-300", "1.5"}}}), {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0},
         {255.875, -256, 1.5}},
        {"full", listOf({{"CCM_MATRIX", {"1.5", "-0.25", "-0.25", "-0.5", "2", "-0.5", "0", "x", "1.25"}}}),
         {1.5, -0.25, -0.25, 0, -0.5, 2, -0.5, 0, 0, 0, 1.25, 0}, {0, 0, 0}},
    };
    ModuleCCM *ccm = add<ModuleCCM>();
    for (const Case &c : cases) {
        ASSERT_EQ(QOV_SUCCESS, ccm->load(c.list)) << c.what;
        mc().sCCM = MC_CCM{};
        ASSERT_EQ(QOV_SUCCESS, ccm->setup()) << c.what;
        EXPECT_EQ(c.rows, rowsOf(mc().sCCM)) << c.what;
        EXPECT_EQ(c.offsets, std::vector<double>(mc().sCCM.aOffset, mc().sCCM.aOffset + 3)) << c.what;
        EXPECT_TRUE(mc().sCCM.updateNeeded);
        EXPECT_TRUE(ccm->isSetup());
    }
}

TEST_F(ModuleCCMTest, SavedTexts)
{
    ModuleCCM ccm;
    EXPECT_EQ("// Colour Correction Matrix parameters\n"
              "CCM_MATRIX 1 0 0 0 1 0 0 0 1 // double[9] range=[-4,3.99805]\n"
              "CCM_OFFSETS 0 0 0 // double[3] range=[-256,255.875]\n"
              "\n\n",
              savedText(ccm, ModuleBase::SAVE_DEF, true));
    ParameterList min, max, val;
    ccm.save(min, ModuleBase::SAVE_MIN);
    ccm.save(max, ModuleBase::SAVE_MAX);
    EXPECT_EQ(std::vector<std::string>(9, "-4"), valuesOf(min, "CCM_MATRIX"));
    EXPECT_EQ(std::vector<std::string>(3, "-256"), valuesOf(min, "CCM_OFFSETS"));
    EXPECT_EQ(std::vector<std::string>(9, "3.99805"), valuesOf(max, "CCM_MATRIX"));
    EXPECT_EQ(std::vector<std::string>(3, "255.875"), valuesOf(max, "CCM_OFFSETS"));
    ccm.load(listOf({{"CCM_OFFSETS", {"1.5", "-2", "0.1234567"}}}));
    ccm.save(val, ModuleBase::SAVE_VAL);
    EXPECT_EQ((std::vector<std::string>{"1.5", "-2", "0.123457"}), valuesOf(val, "CCM_OFFSETS"));
}

TEST_F(ModuleCCMTest, AssignmentCopiesTheCorrectionOnly)
{
    ModuleCCM *target = add<ModuleCCM>();
    ModuleCCM source;
    source.load(listOf({{"CCM_MATRIX", {"2", "0", "0", "0", "2", "0", "0", "0", "2"}}, {"CCM_OFFSETS", {"1", "2", "3"}}}));
    source.requestUpdate();
    target->setup();
    *target = source;
    EXPECT_EQ(2.0, target->aMatrix[8]);
    EXPECT_EQ(3.0, target->aOffset[2]);
    EXPECT_FALSE(target->isUpdateRequested());
    EXPECT_TRUE(target->isSetup());
    EXPECT_EQ(pipeline.get(), target->getPipeline());
    EXPECT_STREQ("VOVA_MOD_CCM", target->getLoggingName());
}

TEST_F(ModuleCCMTest, ARequestedUpdateReachesTheRecordBeforeTheNextShot)
{
    ModuleCCM *ccm = add<ModuleCCM>();
    ASSERT_EQ(QOV_SUCCESS, pipeline->setupAll());
    const double matrix[9] = {0.5, 0.25, 0.25, 0, 1, 0, 0.1, 0.2, 0.7};
    std::copy(matrix, matrix + 9, ccm->aMatrix);
    ccm->aOffset[1] = -8;
    ccm->requestUpdate();
    ASSERT_EQ(QOV_SUCCESS, pipeline->setupRequested());
    EXPECT_EQ((std::vector<double>{0.5, 0.25, 0.25, 0, 0, 1, 0, 0, 0.1, 0.2, 0.7, 0}), rowsOf(mc().sCCM));
    EXPECT_EQ(-8.0, mc().sCCM.aOffset[1]);
    EXPECT_FALSE(ccm->isUpdateRequested());
    EXPECT_FALSE(ccm->isSetup());
}

TEST_F(ModuleCCMTest, NoPipelineNoSetup)
{
    ModuleCCM ccm;
    LogCapture log;
    EXPECT_EQ(QOV_ERROR_WRONG_STATE, ccm.setup());
    EXPECT_TRUE(log.contains("ERROR [VOVA_MOD_CCM]: setup():"));
    EXPECT_TRUE(log.contains("pipeline not set!\n"));
    EXPECT_FALSE(ccm.isSetup());
}

}  // namespace
}  // namespace module_ccm
