// Flicker detection module: keys to fields to the record, the frame timing
// taken from the sensor, and its saved text.
#include "module_test_support.h"
#include "vova/ModuleFLD.h"

using namespace VOVA;
using vovatest::KeyRow;

namespace {

class ModuleFLDTest : public vovatest::ModuleTest {};

TEST_F(ModuleFLDTest, NeverLoadedModuleWritesTheDefaults)
{
    ModuleFLD &fld = add<ModuleFLD>();
    ASSERT_EQ(QOV_SUCCESS, fld.setup());
    const MC_FLD &r = mc().sFLD;
    EXPECT_EQ(QOV_FALSE, r.bEnable);
    EXPECT_EQ(30.0, r.fFrameRate);
    EXPECT_EQ(525, r.ui16VTot);
    EXPECT_EQ(300000u, r.ui32SceneChange);
    EXPECT_EQ(4, r.ui8MinPN);
    EXPECT_EQ(16, r.ui8PN);
    EXPECT_EQ(15000, r.ui16NFThreshold);
    EXPECT_EQ(50, r.ui16CoefDiff);
    EXPECT_EQ(10, r.ui8RShift);
    EXPECT_EQ(QOV_FALSE, r.bReset);
}

TEST_F(ModuleFLDTest, KeysReachTheRecord)
{
    sensor->nVTot = 1125;
    sensor->flFrameRate = 29.97;
    ModuleFLD &fld = add<ModuleFLD>();
    const std::vector<KeyRow<ModuleFLD>> rows = {
        // with a sensor the timing keys are not read
        {{{"FLD_VTOT", {"700"}}, {"FLD_FRAME_RATE", {"50"}}}, [](auto &m) { return m.iVTotal; }, 1125,
         [](auto &r) { return r.sFLD.ui16VTot; }, 1125},
        {{{"FLD_VTOT", {"700"}}, {"FLD_FRAME_RATE", {"50"}}}, [](auto &m) { return m.fFrameRate; }, 29.97,
         [](auto &r) { return r.sFLD.fFrameRate; }, 29.97},
        {{{"FLD_ENABLE", {"1"}}}, [](auto &m) { return m.bEnable; }, 1, [](auto &r) { return r.sFLD.bEnable; }, 1},
        {{{"FLD_SCENE_CHANGE_TH", {"2000000"}}}, [](auto &m) { return m.iScheneChangeTH; }, 1048575,
         [](auto &r) { return r.sFLD.ui32SceneChange; }, 1048575},
        {{{"FLD_MIN_PN", {"63"}}}, [](auto &m) { return m.iMinPN; }, 63, [](auto &r) { return r.sFLD.ui8MinPN; }, 63},
        {{{"FLD_PN", {"64"}}}, [](auto &m) { return m.iPN; }, 63, [](auto &r) { return r.sFLD.ui8PN; }, 63},
        {{{"FLD_NF_TH", {"-1"}}}, [](auto &m) { return m.iNF_TH; }, 0, [](auto &r) { return r.sFLD.ui16NFThreshold; }, 0},
        {{{"FLD_COEF_DIFF_TH", {"70"}}}, [](auto &m) { return m.iCoeffDiffTH; }, 70,
         [](auto &r) { return r.sFLD.ui16CoefDiff; }, 70},
        {{{"FLD_RSHIFT", {"12"}}}, [](auto &m) { return m.iRShift; }, 12, [](auto &r) { return r.sFLD.ui8RShift; }, 12},
        {{{"FLD_RESET", {"1"}}}, [](auto &m) { return m.bReset; }, 1, [](auto &r) { return r.sFLD.bReset; }, 1},
    };
    checkRows(fld, rows);
    // saved as they are, so the sensor's figures go under the timing keys
    EXPECT_EQ((std::vector<std::string>{"1125"}), vovatest::savedValues(fld, "FLD_VTOT"));
    EXPECT_EQ((std::vector<std::string>{"29.97"}), vovatest::savedValues(fld, "FLD_FRAME_RATE"));
}

TEST_F(ModuleFLDTest, WithoutASensorTheTimingKeysAreRead)
{
    ModuleFLD fld;
    ASSERT_EQ(QOV_SUCCESS, fld.load(vovatest::listOf({{"FLD_FRAME_RATE", {"0.5"}}, {"FLD_VTOT", {"700"}}})));
    EXPECT_EQ(1.0, fld.fFrameRate);
    EXPECT_EQ(700, fld.iVTotal);
}

TEST_F(ModuleFLDTest, SavedText)
{
    ModuleFLD fld;
    EXPECT_EQ("// Flicker Detection parameters\n"
              "FLD_COEF_DIFF_TH 50 // int range=[0,32767]\n"
              "FLD_ENABLE 0 // bool {0,1}\n"
              "FLD_FRAME_RATE 30 // double range=[1,255]\n"
              "FLD_MIN_PN 4 // int range=[0,63]\n"
              "FLD_NF_TH 15000 // int range=[0,32767]\n"
              "FLD_PN 16 // int range=[0,63]\n"
              "FLD_RESET 0 // bool {0,1}\n"
              "FLD_RSHIFT 10 // int range=[0,63]\n"
              "FLD_SCENE_CHANGE_TH 300000 // int range=[0,1048575]\n"
              "FLD_VTOT 525 // int range=[0,16383]\n\n",
              vovatest::savedText(fld, ModuleBase::SAVE_DEF));
    EXPECT_EQ(ModuleFLD::getGroup().parameters, ModuleFLD::GetGroup().parameters);
}

}  // namespace
