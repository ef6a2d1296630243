// White-balance statistics module: keys to fields to the record, the
// region-count warning, and its saved text.
#include "module_test_support.h"
#include "vova/ModuleWBS.h"

using namespace VOVA;
using vovatest::KeyRow;

namespace {

class ModuleWBSTest : public vovatest::ModuleTest {};

TEST_F(ModuleWBSTest, KeysReachTheRecord)
{
    ModuleWBS &wbs = add<ModuleWBS>();
    const vovatest::Entries region0 = {{"WBS_ROI_START_COORDS", {"100", "50"}},
                                       {"WBS_ROI_END_COORDS", {"300", "150"}}};
    // the white-balance control's regions for a 1920 x 1080 sensor
    const vovatest::Entries whole = {{"WBS_ROI_ENABLE", {"2"}},
                                     {"WBS_ROI_START_COORDS", {"0", "0", "0", "0"}},
                                     {"WBS_ROI_END_COORDS", {"1919", "1079", "1919", "1079"}}};
    const std::vector<KeyRow<ModuleWBS>> rows = {
        // never loaded
        {{}, [](auto &m) { return m.ui32NROIEnabled; }, 0, [](auto &r) { return r.sWBS.ui8ActiveROI; }, 0},
        {{}, [](auto &m) { return m.aRedMaxTH[1]; }, 0.75, [](auto &r) { return r.sWBS.aRMax[1]; }, 1536},
        {{}, [](auto &m) { return m.aYHLWTH[0]; }, 0.75, [](auto &r) { return r.sWBS.aYMax[0]; }, 1536},
        {{}, [](auto &m) { return m.aROIEndCoord[1][1]; }, 0, [](auto &r) { return r.sWBS.aRoiHeight[1]; }, 0},
        {{}, [](auto &) { return 0; }, 0, [](auto &r) { return r.sWBS.fRGBOffset; }, 0.0},
        {{}, [](auto &) { return 0; }, 0, [](auto &r) { return r.sWBS.fYOffset; }, -127.0},
        // size = end - start, no + 1
        {region0, [](auto &m) { return m.aROIStartCoord[0][0]; }, 100, [](auto &r) { return r.sWBS.aRoiLeft[0]; }, 100},
        {region0, [](auto &m) { return m.aROIStartCoord[0][1]; }, 50, [](auto &r) { return r.sWBS.aRoiTop[0]; }, 50},
        {region0, [](auto &m) { return m.aROIEndCoord[0][0]; }, 300, [](auto &r) { return r.sWBS.aRoiWidth[0]; }, 200},
        {region0, [](auto &m) { return m.aROIEndCoord[0][1]; }, 150, [](auto &r) { return r.sWBS.aRoiHeight[0]; }, 100},
        // value k of a corner key is region k / 2, coordinate k % 2
        {whole, [](auto &m) { return m.aROIEndCoord[1][0]; }, 1919, [](auto &r) { return r.sWBS.aRoiWidth[1]; }, 1919},
        {whole, [](auto &m) { return m.aROIEndCoord[1][1]; }, 1079, [](auto &r) { return r.sWBS.aRoiHeight[1]; }, 1079},
        {whole, [](auto &m) { return m.ui32NROIEnabled; }, 2, [](auto &r) { return r.sWBS.ui8ActiveROI; }, 2},
        {{{"WBS_ROI_ENABLE", {"3"}}}, [](auto &m) { return m.ui32NROIEnabled; }, 2,
         [](auto &r) { return r.sWBS.ui8ActiveROI; }, 2},
        // thresholds in 11 fractional bits, truncated
        {{{"WBS_RMAX_TH", {"0.5"}}}, [](auto &m) { return m.aRedMaxTH[0]; }, 0.5, [](auto &r) { return r.sWBS.aRMax[0]; }, 1024},
        {{{"WBS_RMAX_TH", {"0.5"}}}, [](auto &m) { return m.aRedMaxTH[1]; }, 0.75, [](auto &r) { return r.sWBS.aRMax[1]; }, 1536},
        {{{"WBS_GMAX_TH", {"0.45", "1.5"}}}, [](auto &m) { return m.aGreenMaxTH[0]; }, 0.45,
         [](auto &r) { return r.sWBS.aGMax[0]; }, 921},
        {{{"WBS_GMAX_TH", {"0.45", "1.5"}}}, [](auto &m) { return m.aGreenMaxTH[1]; }, 1.0,
         [](auto &r) { return r.sWBS.aGMax[1]; }, 2048},
        {{{"WBS_BMAX_TH", {"0", "0.25"}}}, [](auto &m) { return m.aBlueMaxTH[1]; }, 0.25, [](auto &r) { return r.sWBS.aBMax[1]; }, 512},
        {{{"WBS_YHLW_TH", {"0.9"}}}, [](auto &m) { return m.aYHLWTH[0]; }, 0.9, [](auto &r) { return r.sWBS.aYMax[0]; }, 1843},
    };
    checkRows(wbs, rows);
}

TEST_F(ModuleWBSTest, MoreThanTwoRegionsWrittenByACallerGiveTwo)
{
    ModuleWBS &wbs = add<ModuleWBS>();
    const struct {
        QOV_UINT32 regions;
        bool warned;
    } cases[] = {{3, true}, {258, false}, {2, false}};
    for (const auto &c : cases) {
        wbs.ui32NROIEnabled = c.regions;
        vovatest::LogCapture log;
        ASSERT_EQ(QOV_SUCCESS, wbs.setup());
        EXPECT_EQ(2, mc().sWBS.ui8ActiveROI);
        EXPECT_EQ(c.warned, log.contains("WARNING [VOVA_MOD_WBS]: setup() Invalid number of regions activated " +
                                         std::to_string(c.regions) + ", Max number is 2\n"))
            << c.regions << ": " << log.text();
        EXPECT_EQ(c.regions, wbs.ui32NROIEnabled);
    }
}

TEST_F(ModuleWBSTest, SavedText)
{
    ModuleWBS wbs;
    EXPECT_EQ("// White Balance Statistics parameters\n"
              "WBS_BMAX_TH 0.75 0.75 // double[2] range=[0,1]\n"
              "WBS_GMAX_TH 0.75 0.75 // double[2] range=[0,1]\n"
              "WBS_RMAX_TH 0.75 0.75 // double[2] range=[0,1]\n"
              "WBS_ROI_ENABLE 0 // int range=[0,2]\n"
              "WBS_ROI_END_COORDS 0 0 0 0 // int[4] range=[0,32767]\n"
              "WBS_ROI_START_COORDS 0 0 0 0 // int[4] range=[0,32767]\n"
              "WBS_YHLW_TH 0.75 0.75 // double[2] range=[0,1]\n\n",
              vovatest::savedText(wbs, ModuleBase::SAVE_DEF));
    EXPECT_EQ("// White Balance Statistics parameters\n"
              "WBS_BMAX_TH 1 1\n"
              "WBS_GMAX_TH 1 1\n"
              "WBS_RMAX_TH 1 1\n"
              "WBS_ROI_ENABLE 2\n"
              "WBS_ROI_END_COORDS 32767 32767 32767 32767\n"
              "WBS_ROI_START_COORDS 32767 32767 32767 32767\n"
              "WBS_YHLW_TH 1 1\n\n",
              vovatest::savedText(wbs, ModuleBase::SAVE_MAX));
    wbs.load(vovatest::listOf({{"WBS_ROI_START_COORDS", {"1", "2", "3", "4"}}}));
    EXPECT_EQ((std::vector<std::string>{"1", "2", "3", "4"}), vovatest::savedValues(wbs, "WBS_ROI_START_COORDS"));
}

}  // namespace
