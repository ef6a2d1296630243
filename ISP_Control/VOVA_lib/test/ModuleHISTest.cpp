// Histogram statistics module: keys to fields to the record, and its saved text.
#include "module_test_support.h"
#include "vova/ModuleHIS.h"

using namespace VOVA;
using vovatest::KeyRow;

namespace {

class ModuleHISTest : public vovatest::ModuleTest {};

TEST_F(ModuleHISTest, KeysReachTheRecord)
{
    ModuleHIS &his = add<ModuleHIS>();
    const std::vector<KeyRow<ModuleHIS>> rows = {
        // never loaded: both off, and still the grid and the input offset and scale
        {{}, [](auto &m) { return m.bEnableGlobal; }, 0, [](auto &r) { return r.sHIS.bGlobalEnable; }, 0},
        {{}, [](auto &m) { return m.bEnableROI; }, 0, [](auto &r) { return r.sHIS.bRegionEnable; }, 0},
        {{}, [](auto &m) { return m.ui32InputOffset; }, 256, [](auto &r) { return r.sHIS.fInputOffset; }, 256.0},
        {{}, [](auto &m) { return m.ui32InputScale; }, 32767, [](auto &r) { return r.sHIS.fInputScale; }, 32767.0},
        {{}, [](auto &m) { return m.aGridTileSize[0]; }, 10, [](auto &r) { return r.sHIS.ui16Width; }, 10},
        {{}, [](auto &m) { return m.aGridTileSize[1]; }, 8, [](auto &r) { return r.sHIS.ui16Height; }, 8},
        {{}, [](auto &m) { return m.aGridStartCoord[0]; }, 0, [](auto &r) { return r.sHIS.ui16Left; }, 0},
        {{{"HIS_GLOBAL_ENABLE", {"1"}}}, [](auto &m) { return m.bEnableGlobal; }, 1,
         [](auto &r) { return r.sHIS.bGlobalEnable; }, 1},
        {{{"HIS_REGIONAL_ENABLE", {"2x"}}}, [](auto &m) { return m.bEnableROI; }, 1,
         [](auto &r) { return r.sHIS.bRegionEnable; }, 1},
        {{{"HIS_GRID_TILE_DIMENSIONS", {"4", "2"}}}, [](auto &m) { return m.aGridTileSize[0]; }, 8,
         [](auto &r) { return r.sHIS.ui16Width; }, 8},
        {{{"HIS_GRID_TILE_DIMENSIONS", {"4", "2"}}}, [](auto &m) { return m.aGridTileSize[1]; }, 8,
         [](auto &r) { return r.sHIS.ui16Height; }, 8},
        {{{"HIS_INPUT_OFFSET", {"2000"}}}, [](auto &m) { return m.ui32InputOffset; }, 1023,
         [](auto &r) { return r.sHIS.fInputOffset; }, 1023.0},
        {{{"HIS_INPUT_SCALE", {"1000"}}}, [](auto &m) { return m.ui32InputScale; }, 1000,
         [](auto &r) { return r.sHIS.fInputScale; }, 1000.0},
        {{{"HIS_GRID_START_COORDS", {"8192", "12"}}}, [](auto &m) { return m.aGridStartCoord[0]; }, 8191,
         [](auto &r) { return r.sHIS.ui16Left; }, 8191},
        {{{"HIS_GRID_START_COORDS", {"8192", "12"}}}, [](auto &m) { return m.aGridStartCoord[1]; }, 12,
         [](auto &r) { return r.sHIS.ui16Top; }, 12},
    };
    checkRows(his, rows);
}

TEST_F(ModuleHISTest, ATileSizeWrittenByAControlGoesAsItsLow16Bits)
{
    ModuleHIS &his = add<ModuleHIS>();
    his.aGridTileSize[0] = 65536 + 300;
    his.requestUpdate();
    ASSERT_EQ(QOV_SUCCESS, his.setup());
    EXPECT_EQ(300, mc().sHIS.ui16Width);
}

TEST_F(ModuleHISTest, SavedText)
{
    ModuleHIS his;
    EXPECT_EQ("// Histogram Statistics parameters\n"
              "HIS_GLOBAL_ENABLE 0 // bool {0,1}\n"
              "HIS_GRID_START_COORDS 0 0 // int[2] range=[0,8191]\n"
              "HIS_GRID_TILE_DIMENSIONS 10 8 // int[2] range=[8,4095]\n"
              "HIS_INPUT_OFFSET 256 // int range=[0,1023]\n"
              "HIS_INPUT_SCALE 32767 // int range=[0,65535]\n"
              "HIS_REGIONAL_ENABLE 0 // bool {0,1}\n\n",
              vovatest::savedText(his, ModuleBase::SAVE_DEF));
}

}  // namespace
