// Focus statistics module: keys to fields to the record, and its saved text.
#include "module_test_support.h"
#include "vova/ModuleFOS.h"

using namespace VOVA;
using vovatest::KeyRow;

namespace {

class ModuleFOSTest : public vovatest::ModuleTest {};

TEST_F(ModuleFOSTest, KeysReachTheRecord)
{
    ModuleFOS &fos = add<ModuleFOS>();
    const vovatest::Entries roi = {{"FOS_ROI_START_COORDS", {"640", "360"}}, {"FOS_ROI_END_COORDS", {"1279", "719"}}};
    const std::vector<KeyRow<ModuleFOS>> rows = {
        // never loaded: a region of 1 x 1 at 0, 0 and tiles of 0 x 0
        {{}, [](auto &m) { return m.aRoiEndCoord[0]; }, 0, [](auto &r) { return r.sFOS.ui16ROIWidth; }, 1},
        {{}, [](auto &m) { return m.aRoiEndCoord[1]; }, 0, [](auto &r) { return r.sFOS.ui16ROIHeight; }, 1},
        {{}, [](auto &m) { return m.aGridTileSize[0]; }, 0, [](auto &r) { return r.sFOS.ui16Width; }, 0},
        {{}, [](auto &m) { return m.bEnableGrid; }, 0, [](auto &r) { return r.sFOS.bGlobalEnable; }, 0},
        // the record's "global" is the grid, its "region" the region of interest
        {{{"FOS_GRID_ENABLE", {"1"}}}, [](auto &m) { return m.bEnableGrid; }, 1,
         [](auto &r) { return r.sFOS.bGlobalEnable; }, 1},
        {{{"FOS_GRID_ENABLE", {"1"}}}, [](auto &m) { return m.bEnableROI; }, 0,
         [](auto &r) { return r.sFOS.bRegionEnable; }, 0},
        {{{"FOS_ROI_ENABLE", {"1"}}}, [](auto &m) { return m.bEnableROI; }, 1,
         [](auto &r) { return r.sFOS.bRegionEnable; }, 1},
        {roi, [](auto &m) { return m.aRoiStartCoord[0]; }, 640, [](auto &r) { return r.sFOS.ui16ROILeft; }, 640},
        {roi, [](auto &m) { return m.aRoiStartCoord[1]; }, 360, [](auto &r) { return r.sFOS.ui16ROITop; }, 360},
        {roi, [](auto &m) { return m.aRoiEndCoord[0]; }, 1279, [](auto &r) { return r.sFOS.ui16ROIWidth; }, 640},
        {roi, [](auto &m) { return m.aRoiEndCoord[1]; }, 719, [](auto &r) { return r.sFOS.ui16ROIHeight; }, 360},
        // an end one before its start gives 0; further before, the size wraps
        {{{"FOS_ROI_START_COORDS", {"5", "2"}}, {"FOS_ROI_END_COORDS", {"4", "0"}}},
         [](auto &m) { return m.aRoiEndCoord[0]; }, 4, [](auto &r) { return r.sFOS.ui16ROIWidth; }, 0},
        {{{"FOS_ROI_START_COORDS", {"5", "2"}}, {"FOS_ROI_END_COORDS", {"4", "0"}}},
         [](auto &m) { return m.aRoiEndCoord[1]; }, 0, [](auto &r) { return r.sFOS.ui16ROIHeight; }, 65535},
        {{{"FOS_GRID_START_COORDS", {"100", "40000"}}}, [](auto &m) { return m.aGridStartCoord[1]; }, 32767,
         [](auto &r) { return r.sFOS.ui16Top; }, 32767},
        {{{"FOS_GRID_START_COORDS", {"100", "40000"}}}, [](auto &m) { return m.aGridStartCoord[0]; }, 100,
         [](auto &r) { return r.sFOS.ui16Left; }, 100},
        {{{"FOS_GRID_TILE_SIZE", {"64", "48"}}}, [](auto &m) { return m.aGridTileSize[0]; }, 64,
         [](auto &r) { return r.sFOS.ui16Width; }, 64},
        {{{"FOS_GRID_TILE_SIZE", {"64", "48"}}}, [](auto &m) { return m.aGridTileSize[1]; }, 48,
         [](auto &r) { return r.sFOS.ui16Height; }, 48},
    };
    checkRows(fos, rows);
}

TEST_F(ModuleFOSTest, SavedText)
{
    ModuleFOS fos;
    EXPECT_EQ("// Focus Statistics parameters\n"
              "FOS_GRID_ENABLE 0 // bool {0,1}\n"
              "FOS_GRID_START_COORDS 0 0 // int[2] range=[0,32767]\n"
              "FOS_GRID_TILE_SIZE 0 0 // int[2] range=[0,32767]\n"
              "FOS_ROI_ENABLE 0 // bool {0,1}\n"
              "FOS_ROI_END_COORDS 0 0 // int[2] range=[0,32767]\n"
              "FOS_ROI_START_COORDS 0 0 // int[2] range=[0,32767]\n\n",
              vovatest::savedText(fos, ModuleBase::SAVE_DEF));
    fos.aRoiEndCoord[0] = 1279;
    fos.bEnableROI = true;
    EXPECT_EQ((std::vector<std::string>{"1279", "0"}), vovatest::savedValues(fos, "FOS_ROI_END_COORDS"));
    EXPECT_EQ((std::vector<std::string>{"1"}), vovatest::savedValues(fos, "FOS_ROI_ENABLE"));
}

}  // namespace
