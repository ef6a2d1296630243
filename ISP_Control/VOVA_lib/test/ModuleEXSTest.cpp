// Exposure statistics module: keys to fields to the record, and its saved text.
#include "module_test_support.h"
#include "vova/ModuleEXS.h"

using namespace VOVA;
using vovatest::KeyRow;

namespace {

class ModuleEXSTest : public vovatest::ModuleTest {};

TEST_F(ModuleEXSTest, KeysReachTheRecord)
{
    ModuleEXS &exs = add<ModuleEXS>();
    const std::vector<KeyRow<ModuleEXS>> rows = {
        // never loaded: the defaults
        {{}, [](auto &m) { return m.i32PixelMax; }, 4095, [](auto &r) { return r.sEXS.fPixelMax; }, 4095.0},
        {{}, [](auto &m) { return m.aGridTileSize[0]; }, 9, [](auto &r) { return r.sEXS.ui16Width; }, 9},
        {{}, [](auto &m) { return m.aGridTileSize[1]; }, 9, [](auto &r) { return r.sEXS.ui16Height; }, 9},
        {{}, [](auto &m) { return m.bEnableGlobal; }, 0, [](auto &r) { return r.sEXS.bGlobalEnable; }, 0},
        {{{"EXS_GLOBAL_ENABLE", {"1"}}}, [](auto &m) { return m.bEnableGlobal; }, 1,
         [](auto &r) { return r.sEXS.bGlobalEnable; }, 1},
        {{{"EXS_GLOBAL_ENABLE", {"true"}}}, [](auto &m) { return m.bEnableGlobal; }, 0,
         [](auto &r) { return r.sEXS.bGlobalEnable; }, 0},
        {{{"EXS_REGIONAL_ENABLE", {"1"}}}, [](auto &m) { return m.bEnableRegion; }, 1,
         [](auto &r) { return r.sEXS.bRegionEnable; }, 1},
        // the grid may start at 8192
        {{{"EXS_GRID_START_COORDS", {"8192", "8193"}}}, [](auto &m) { return m.aGridStart[0]; }, 8192,
         [](auto &r) { return r.sEXS.ui16Left; }, 8192},
        {{{"EXS_GRID_START_COORDS", {"8192", "8193"}}}, [](auto &m) { return m.aGridStart[1]; }, 8192,
         [](auto &r) { return r.sEXS.ui16Top; }, 8192},
        {{{"EXS_GRID_TILE_DIMENSIONS", {"7", "20"}}}, [](auto &m) { return m.aGridTileSize[0]; }, 8,
         [](auto &r) { return r.sEXS.ui16Width; }, 8},
        {{{"EXS_GRID_TILE_DIMENSIONS", {"7", "20"}}}, [](auto &m) { return m.aGridTileSize[1]; }, 20,
         [](auto &r) { return r.sEXS.ui16Height; }, 20},
        {{{"EXS_PIXEL_MAX", {"5000"}}}, [](auto &m) { return m.i32PixelMax; }, 4095,
         [](auto &r) { return r.sEXS.fPixelMax; }, 4095.0},
        {{{"EXS_PIXEL_MAX", {"1000"}}}, [](auto &m) { return m.i32PixelMax; }, 1000,
         [](auto &r) { return r.sEXS.fPixelMax; }, 1000.0},
        {{{"EXS_PIXEL_MAX", {" 1000"}}}, [](auto &m) { return m.i32PixelMax; }, 4095,
         [](auto &r) { return r.sEXS.fPixelMax; }, 4095.0},
    };
    checkRows(exs, rows);
    EXPECT_TRUE(exs.isSetup());
    EXPECT_TRUE(mc().sEXS.updateNeeded);
}

TEST_F(ModuleEXSTest, GridValuesWrittenByACallerGoAsTheirLow16Bits)
{
    ModuleEXS &exs = add<ModuleEXS>();
    exs.aGridStart[0] = 0x10005;
    exs.aGridTileSize[1] = 0x20010;
    ASSERT_EQ(QOV_SUCCESS, exs.setup());
    EXPECT_EQ(5, mc().sEXS.ui16Left);
    EXPECT_EQ(16, mc().sEXS.ui16Height);
}

TEST_F(ModuleEXSTest, SavedText)
{
    ModuleEXS exs;
    EXPECT_EQ("// Exposure Statistics parameters\n"
              "EXS_GLOBAL_ENABLE 0 // bool {0,1}\n"
              "EXS_GRID_START_COORDS 0 0 // int[2] range=[0,8192]\n"
              "EXS_GRID_TILE_DIMENSIONS 9 9 // int[2] range=[8,8191]\n"
              "EXS_PIXEL_MAX 4095 // int range=[0,4095]\n"
              "EXS_REGIONAL_ENABLE 0 // bool {0,1}\n\n",
              vovatest::savedText(exs, ModuleBase::SAVE_DEF));
    EXPECT_EQ("// Exposure Statistics parameters\n"
              "EXS_GLOBAL_ENABLE 0\n"
              "EXS_GRID_START_COORDS 0 0\n"
              "EXS_GRID_TILE_DIMENSIONS 8 8\n"
              "EXS_PIXEL_MAX 0\n"
              "EXS_REGIONAL_ENABLE 0\n\n",
              vovatest::savedText(exs, ModuleBase::SAVE_MIN));
    EXPECT_EQ("// Exposure Statistics parameters\n"
              "EXS_GLOBAL_ENABLE 1\n"
              "EXS_GRID_START_COORDS 8192 8192\n"
              "EXS_GRID_TILE_DIMENSIONS 8191 8191\n"
              "EXS_PIXEL_MAX 4095\n"
              "EXS_REGIONAL_ENABLE 1\n\n",
              vovatest::savedText(exs, ModuleBase::SAVE_MAX));
    exs.load(vovatest::listOf({{"EXS_GLOBAL_ENABLE", {"1"}}, {"EXS_GRID_START_COORDS", {"10", "20"}}}));
    EXPECT_EQ((std::vector<std::string>{"10", "20"}), vovatest::savedValues(exs, "EXS_GRID_START_COORDS"));
    EXPECT_EQ((std::vector<std::string>{"1"}), vovatest::savedValues(exs, "EXS_GLOBAL_ENABLE"));
}

}  // namespace
