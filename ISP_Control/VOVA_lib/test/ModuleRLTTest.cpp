// Raw look-up table module: keys to fields to the record, the mode names,
// a mode written out of range, and its saved text.
#include "module_test_support.h"
#include "vova/ModuleRLT.h"

using namespace VOVA;
using vovatest::KeyRow;

namespace {

class ModuleRLTTest : public vovatest::ModuleTest {};

TEST_F(ModuleRLTTest, KeysReachTheRecord)
{
    ModuleRLT &rlt = add<ModuleRLT>();
    const std::vector<std::string> eight = {"1", "2", "3", "4", "5", "6", "7", "8"};
    const std::vector<KeyRow<ModuleRLT>> rows = {
        {{}, [](auto &m) { return m.eMode; }, ModuleRLT::RLT_DISABLED, [](auto &r) { return r.sRLT.eMode; }, CI_RLT_DISABLED},
        {{{"RLT_CORRECTION_MODE", {"LINEAR"}}}, [](auto &m) { return m.eMode; }, ModuleRLT::RLT_LINEAR,
         [](auto &r) { return r.sRLT.eMode; }, CI_RLT_LINEAR},
        {{{"RLT_CORRECTION_MODE", {"CUBIC"}}}, [](auto &m) { return m.eMode; }, ModuleRLT::RLT_CUBIC,
         [](auto &r) { return r.sRLT.eMode; }, CI_RLT_CUBIC},
        // names are exact: anything else is no curve, silently
        {{{"RLT_CORRECTION_MODE", {"cubic"}}}, [](auto &m) { return m.eMode; }, ModuleRLT::RLT_DISABLED,
         [](auto &r) { return r.sRLT.eMode; }, CI_RLT_DISABLED},
        // eight values fill points 0 to 7; the others take the default 0
        {{{"RLT_POINTS_2", eight}}, [](auto &m) { return m.aLUTPoints[2][7]; }, 8, [](auto &r) { return r.sRLT.aPoints[2][7]; }, 8},
        {{{"RLT_POINTS_2", eight}}, [](auto &m) { return m.aLUTPoints[2][8]; }, 0, [](auto &r) { return r.sRLT.aPoints[2][8]; }, 0},
        {{{"RLT_POINTS_2", eight}}, [](auto &m) { return m.aLUTPoints[1][0]; }, 0, [](auto &r) { return r.sRLT.aPoints[1][0]; }, 0},
        {{{"RLT_POINTS_3", {"70000", "12.5", "9"}}}, [](auto &m) { return m.aLUTPoints[3][0]; }, 65535,
         [](auto &r) { return r.sRLT.aPoints[3][0]; }, 65535},
        {{{"RLT_POINTS_3", {"70000", "12.5", "9"}}}, [](auto &m) { return m.aLUTPoints[3][1]; }, 0,
         [](auto &r) { return r.sRLT.aPoints[3][1]; }, 0},
        {{{"RLT_POINTS_3", {"70000", "12.5", "9"}}}, [](auto &m) { return m.aLUTPoints[3][2]; }, 9,
         [](auto &r) { return r.sRLT.aPoints[3][2]; }, 9},
        // a list without any RLT key resets everything
        {{}, [](auto &m) { return m.aLUTPoints[3][0]; }, 0, [](auto &r) { return r.sRLT.aPoints[3][0]; }, 0},
    };
    checkRows(rlt, rows);
}

TEST_F(ModuleRLTTest, AModeOutOfRangeIsRefusedAndTheRecordKept)
{
    ModuleRLT &rlt = add<ModuleRLT>();
    rlt.eMode = ModuleRLT::RLT_LINEAR;
    ASSERT_EQ(QOV_SUCCESS, rlt.setup());
    rlt.clearFlags();
    rlt.eMode = static_cast<ModuleRLT::Mode>(3);
    rlt.aLUTPoints[0][0] = 77;
    vovatest::LogCapture log;
    EXPECT_EQ(QOV_ERROR_FAILURE, rlt.setup());
    EXPECT_TRUE(log.contains("ERROR [VOVA_MOD_RLT]: setup():")) << log.text();
    EXPECT_TRUE(log.contains(" unknown RLT mode 3\n")) << log.text();
    EXPECT_FALSE(rlt.isSetup());
    EXPECT_EQ(CI_RLT_LINEAR, mc().sRLT.eMode);
    EXPECT_EQ(0, mc().sRLT.aPoints[0][0]);
}

TEST_F(ModuleRLTTest, ModeNamesBothWays)
{
    EXPECT_EQ(ModuleRLT::RLT_DISABLED, ModuleRLT::getRLTMode("DISABLED"));
    EXPECT_EQ(ModuleRLT::RLT_DISABLED, ModuleRLT::getRLTMode(""));
    EXPECT_EQ("LINEAR", ModuleRLT::getRLTModeString(ModuleRLT::RLT_LINEAR));
    EXPECT_EQ("DISABLED", ModuleRLT::getRLTModeString(static_cast<ModuleRLT::Mode>(7)));
}

TEST_F(ModuleRLTTest, SavedText)
{
    ModuleRLT rlt;
    const std::string zeros = " 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0";
    const std::string info = " // unsigned[16] range=[0,65535]\n";
    EXPECT_EQ("// Raw Look Up Table parameters\n"
              "RLT_CORRECTION_MODE DISABLED // {DISABLED, LINEAR, CUBIC}\n"
              "RLT_POINTS_0" + zeros + info + "RLT_POINTS_1" + zeros + info + "RLT_POINTS_2" + zeros + info +
                  "RLT_POINTS_3" + zeros + info + "\n",
              vovatest::savedText(rlt, ModuleBase::SAVE_DEF));
    EXPECT_EQ((std::vector<std::string>{"DISABLED"}), vovatest::savedValues(rlt, "RLT_CORRECTION_MODE", ModuleBase::SAVE_MIN));
    EXPECT_EQ(std::vector<std::string>(16, "65535"), vovatest::savedValues(rlt, "RLT_POINTS_1", ModuleBase::SAVE_MAX));

    // the data-generator camera's curve: cubic, every channel ending in 65535
    rlt.eMode = ModuleRLT::RLT_CUBIC;
    for (auto &channel : rlt.aLUTPoints) {
        for (int j = 0; j < 15; j++)
            channel[j] = static_cast<QOV_UINT16>(1000 * j);
        channel[15] = 65535;
    }
    EXPECT_EQ((std::vector<std::string>{"CUBIC"}), vovatest::savedValues(rlt, "RLT_CORRECTION_MODE"));
    const std::vector<std::string> curve = vovatest::savedValues(rlt, "RLT_POINTS_3");
    ASSERT_EQ(16u, curve.size());
    EXPECT_EQ("14000", curve[14]);
    EXPECT_EQ("65535", curve[15]);
}

}  // namespace
