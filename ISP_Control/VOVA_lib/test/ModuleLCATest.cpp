// Lateral chromatic aberration module: keys to fields to the record, and its saved text.
#include "module_test_support.h"
#include "vova/ModuleLCA.h"

using namespace VOVA;
using vovatest::KeyRow;

namespace {

class ModuleLCATest : public vovatest::ModuleTest {};

TEST_F(ModuleLCATest, KeysReachTheRecord)
{
    ModuleLCA &lca = add<ModuleLCA>();
    const vovatest::Entries red = {{"LCA_REDPOLY_X", {"1", "2", "3"}}, {"LCA_REDPOLY_Y", {"4", "5", "6"}}};
    const std::vector<KeyRow<ModuleLCA>> rows = {
        {{}, [](auto &m) { return m.aBluePoly_Y[2]; }, 0, [](auto &r) { return r.sLCA.aCoeffBlue[2][1]; }, 0},
        {{}, [](auto &m) { return m.aBlueCenter[1]; }, 0, [](auto &r) { return r.sLCA.aOffsetBlue[1]; }, 0},
        // the record pairs x and y by coefficient
        {red, [](auto &m) { return m.aRedPoly_X[0]; }, 1, [](auto &r) { return r.sLCA.aCoeffRed[0][0]; }, 1},
        {red, [](auto &m) { return m.aRedPoly_Y[0]; }, 4, [](auto &r) { return r.sLCA.aCoeffRed[0][1]; }, 4},
        {red, [](auto &m) { return m.aRedPoly_X[1]; }, 2, [](auto &r) { return r.sLCA.aCoeffRed[1][0]; }, 2},
        {red, [](auto &m) { return m.aRedPoly_Y[2]; }, 6, [](auto &r) { return r.sLCA.aCoeffRed[2][1]; }, 6},
        {{{"LCA_BLUEPOLY_X", {"16", "-17"}}}, [](auto &m) { return m.aBluePoly_X[0]; }, 15.899999618530273,
         [](auto &r) { return r.sLCA.aCoeffBlue[0][0]; }, 15.899999618530273},
        {{{"LCA_BLUEPOLY_X", {"16", "-17"}}}, [](auto &m) { return m.aBluePoly_X[1]; }, -16,
         [](auto &r) { return r.sLCA.aCoeffBlue[1][0]; }, -16},
        // a negative centre as its two's complement
        {{{"LCA_RED_CENTER", {"-100", "50"}}}, [](auto &m) { return m.aRedCenter[0]; }, -100,
         [](auto &r) { return r.sLCA.aOffsetRed[0]; }, 65436},
        {{{"LCA_RED_CENTER", {"-100", "50"}}}, [](auto &m) { return m.aRedCenter[1]; }, 50,
         [](auto &r) { return r.sLCA.aOffsetRed[1]; }, 50},
        {{{"LCA_BLUE_CENTER", {"5000", "-5000"}}}, [](auto &m) { return m.aBlueCenter[1]; }, -4095,
         [](auto &r) { return r.sLCA.aOffsetBlue[1]; }, 65536 - 4095},
        {{{"LCA_SHIFT", {"5", "1"}}}, [](auto &m) { return m.aShift[0]; }, 3, [](auto &r) { return r.sLCA.aShift[0]; }, 3},
        {{{"LCA_SHIFT", {"5", "1"}}}, [](auto &m) { return m.aShift[1]; }, 1, [](auto &r) { return r.sLCA.aShift[1]; }, 1},
        {{{"LCA_DEC", {"-1", "15"}}}, [](auto &m) { return m.aDecimation[0]; }, 0, [](auto &r) { return r.sLCA.aDec[0]; }, 0},
        {{{"LCA_DEC", {"-1", "15"}}}, [](auto &m) { return m.aDecimation[1]; }, 15, [](auto &r) { return r.sLCA.aDec[1]; }, 15},
    };
    checkRows(lca, rows);
}

TEST_F(ModuleLCATest, ANegativeCentreSavesAndLoadsBack)
{
    ModuleLCA lca;
    ASSERT_EQ(QOV_SUCCESS, lca.load(vovatest::listOf({{"LCA_RED_CENTER", {"-100", "50"}}})));
    const std::vector<std::string> saved = vovatest::savedValues(lca, "LCA_RED_CENTER");
    EXPECT_EQ((std::vector<std::string>{"-100", "50"}), saved);
    ModuleLCA again;
    ASSERT_EQ(QOV_SUCCESS, again.load(vovatest::listOf({{"LCA_RED_CENTER", saved}})));
    EXPECT_EQ(-100, again.aRedCenter[0]);
}

TEST_F(ModuleLCATest, SavedText)
{
    ModuleLCA lca;
    const std::string poly = " 0 0 0 // double[3] range=[-16,15.9]\n";
    EXPECT_EQ("// Lateral Chromatic Aberration parameters\n"
              "LCA_BLUEPOLY_X" + poly + "LCA_BLUEPOLY_Y" + poly +
                  "LCA_BLUE_CENTER 0 0 // int[2] range=[-4095,4095]\n"
                  "LCA_DEC 0 0 // int[2] range=[0,15]\n"
                  "LCA_REDPOLY_X" + poly + "LCA_REDPOLY_Y" + poly +
                  "LCA_RED_CENTER 0 0 // int[2] range=[-4095,4095]\n"
                  "LCA_SHIFT 0 0 // int[2] range=[0,3]\n\n",
              vovatest::savedText(lca, ModuleBase::SAVE_DEF));
    EXPECT_EQ((std::vector<std::string>{"15.9", "15.9", "15.9"}),
              vovatest::savedValues(lca, "LCA_REDPOLY_X", ModuleBase::SAVE_MAX));
    EXPECT_EQ((std::vector<std::string>{"-4095", "-4095"}),
              vovatest::savedValues(lca, "LCA_BLUE_CENTER", ModuleBase::SAVE_MIN));
}

}  // namespace
