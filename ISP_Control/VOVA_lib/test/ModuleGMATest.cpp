// Gamma module: the bypass switch from key text to record, and its texts.
#include <gtest/gtest.h>

#include "SetupModuleFixture.h"
#include "vova/ModuleGMA.h"

using namespace VOVA;

namespace module_gma {
using namespace vovatest;

namespace {
class ModuleGMATest : public SetupModuleFixture {};

TEST_F(ModuleGMATest, KeysToRecord)
{
    struct Case {
        ParameterList list;
        bool bypass;
    } cases[] = {
        {listOf({}), false},
        {listOf({{"GMA_BYPASS", {"1"}}}), true},
        {listOf({{"GMA_BYPASS", {"7"}}}), true},
        {listOf({{"GMA_BYPASS", {"true"}}}), false},
        {listOf({{"GMA_BYPASS", {"yes"}}}), false},
        {listOf({{"GMA_BYPASS", {"0"}}}), false},
    };
    ModuleGMA *gma = add<ModuleGMA>();
    for (const Case &c : cases) {
        ASSERT_EQ(QOV_SUCCESS, gma->load(c.list));
        EXPECT_EQ(c.bypass, gma->bBypass);
        mc().sGMA.bBypass = c.bypass ? QOV_FALSE : QOV_TRUE;
        ASSERT_EQ(QOV_SUCCESS, gma->setup());
        EXPECT_EQ(c.bypass, mc().sGMA.bBypass != QOV_FALSE);
        EXPECT_TRUE(mc().sGMA.updateNeeded);
    }
}

TEST_F(ModuleGMATest, SavedTexts)
{
    ModuleGMA gma;
    EXPECT_EQ("// Gamma Look Up Table parameters\n"
              "GMA_BYPASS 0 // bool {0,1}\n"
              "\n\n",
              savedText(gma, ModuleBase::SAVE_DEF, true));
    gma.load(listOf({{"GMA_BYPASS", {"7"}}}));
    ParameterList val, min, max;
    gma.save(val, ModuleBase::SAVE_VAL);
    gma.save(min, ModuleBase::SAVE_MIN);
    gma.save(max, ModuleBase::SAVE_MAX);
    EXPECT_EQ(std::vector<std::string>{"1"}, valuesOf(val, "GMA_BYPASS"));
    EXPECT_EQ(std::vector<std::string>{"0"}, valuesOf(min, "GMA_BYPASS"));
    EXPECT_EQ(std::vector<std::string>{"1"}, valuesOf(max, "GMA_BYPASS"));
}

}  // namespace
}  // namespace module_gma
