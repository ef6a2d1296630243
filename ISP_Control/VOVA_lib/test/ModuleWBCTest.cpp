// White-balance gain modules of both generations: keys to fields to the
// record, the lens-shading scale, the RGB mode names, and the saved groups.
#include "module_test_support.h"
#include "vova/ModuleLSH.h"
#include "vova/ModuleWBC.h"

using namespace VOVA;
using vovatest::KeyRow;

namespace {

const char *const kNoLshWarning =
    "WARNING [VOVA_MOD_WBC]: setup() pipeline does not have an LSH module to get scaleWB from\n";

class ModuleWBCTest : public vovatest::ModuleTest {};

TEST_F(ModuleWBCTest, KeysReachTheRecord)
{
    ModuleWBC &wbc = add<ModuleWBC>();
    const vovatest::Entries gains = {{"LSH_WBGAIN", {"9", "0.2", "1.5"}}};
    const std::vector<KeyRow<ModuleWBC>> rows = {
        {{}, [](auto &m) { return m.aWBGain[0]; }, 1.0, [](auto &r) { return r.sWBC.aGain[0]; }, 1.0},
        {{}, [](auto &m) { return m.aWBClip[3]; }, 1.0, [](auto &r) { return r.sWBC.aClip[3]; }, 256.0},
        {gains, [](auto &m) { return m.aWBGain[0]; }, 8.0, [](auto &r) { return r.sWBC.aGain[0]; }, 8.0},
        {gains, [](auto &m) { return m.aWBGain[1]; }, 0.5, [](auto &r) { return r.sWBC.aGain[1]; }, 0.5},
        {gains, [](auto &m) { return m.aWBGain[2]; }, 1.5, [](auto &r) { return r.sWBC.aGain[2]; }, 1.5},
        {gains, [](auto &m) { return m.aWBGain[3]; }, 1.0, [](auto &r) { return r.sWBC.aGain[3]; }, 1.0},
        {{{"LSH_WBCLIP", {"3", "0.75"}}}, [](auto &m) { return m.aWBClip[0]; }, 2.0,
         [](auto &r) { return r.sWBC.aClip[0]; }, 512.0},
        {{{"LSH_WBCLIP", {"3", "0.75"}}}, [](auto &m) { return m.aWBClip[1]; }, 0.75,
         [](auto &r) { return r.sWBC.aClip[1]; }, 192.0},
    };
    checkRows(wbc, rows);

    // without a lens-shading module: a scale of 1.0, and the warning on every set-up
    for (int i = 0; i < 2; i++) {
        vovatest::LogCapture log;
        ASSERT_EQ(QOV_SUCCESS, wbc.setup());
        EXPECT_EQ(kNoLshWarning, log.text());
    }
}

TEST_F(ModuleWBCTest, TheRGBStageOfHardware2_6)
{
    ModuleWBC2_6 &wbc = add<ModuleWBC2_6>();
    EXPECT_EQ(STP_WBC, wbc.getModuleID());
    EXPECT_STREQ("VOVA_MOD_WBC2_6", wbc.getLoggingName());
    const std::vector<KeyRow<ModuleWBC2_6>> rows = {
        {{}, [](auto &m) { return m.eRGBThresholdMode; }, WBC_SATURATION,
         [](auto &r) { return r.sWBC.eRGBThresholdMode; }, WBC_SATURATION},
        {{}, [](auto &m) { return m.afRGBGain[2]; }, 1.0, [](auto &r) { return r.sWBC.afRGBGain[2]; }, 1.0},
        {{}, [](auto &m) { return m.afRGBThreshold[0]; }, 1.0, [](auto &r) { return r.sWBC.afRGBThreshold[0]; }, 1.0},
        {{}, [](auto &m) { return m.aWBClip[0]; }, 1.0, [](auto &r) { return r.sWBC.aClip[0]; }, 256.0},
        {{{"WBC_RGB_MODE", {"threshold"}}}, [](auto &m) { return m.eRGBThresholdMode; }, WBC_THRESHOLD,
         [](auto &r) { return r.sWBC.eRGBThresholdMode; }, WBC_THRESHOLD},
        {{{"WBC_RGB_GAIN", {"20", "2"}}}, [](auto &m) { return m.afRGBGain[0]; }, 16.0,
         [](auto &r) { return r.sWBC.afRGBGain[0]; }, 16.0},
        {{{"WBC_RGB_GAIN", {"20", "2"}}}, [](auto &m) { return m.afRGBGain[1]; }, 2.0,
         [](auto &r) { return r.sWBC.afRGBGain[1]; }, 2.0},
        {{{"WBC_RGB_THRESHOLD", {"0.5", "-1"}}}, [](auto &m) { return m.afRGBThreshold[1]; }, 0.0,
         [](auto &r) { return r.sWBC.afRGBThreshold[1]; }, 0.0},
        // the base keys are read too, and unscaled into the same record
        {{{"LSH_WBGAIN", {"2"}}}, [](auto &m) { return m.aWBGain[0]; }, 2.0, [](auto &r) { return r.sWBC.aGain[0]; }, 2.0},
    };
    {
        vovatest::LogCapture log;  // no lens-shading module here
        checkRows(wbc, rows);
    }
    EXPECT_EQ("saturation", ModuleWBC2_6::getRGBModeString(WBC_SATURATION));
    EXPECT_EQ("unknown", ModuleWBC2_6::getRGBModeString(static_cast<WBC_MODES>(-1)));
}

TEST_F(ModuleWBCTest, AnUnknownModeNameFailsAndKeepsTheModeHeld)
{
    ModuleWBC2_6 &wbc = add<ModuleWBC2_6>();
    const struct {
        const char *before;
        WBC_MODES kept;
    } cases[] = {{nullptr, WBC_SATURATION}, {"threshold", WBC_THRESHOLD}};
    for (const auto &c : cases) {
        if (c.before) {
            ASSERT_EQ(QOV_SUCCESS, wbc.load(vovatest::listOf({{"WBC_RGB_MODE", {c.before}}})));
        }
        vovatest::LogCapture log;
        EXPECT_EQ(QOV_ERROR_FAILURE,
                  wbc.load(vovatest::listOf({{"WBC_RGB_MODE", {"Threshold"}}, {"WBC_RGB_GAIN", {"3", "3", "3"}}})));
        EXPECT_TRUE(log.contains("ERROR [VOVA_MOD_WBC2_6]: load():")) << log.text();
        EXPECT_TRUE(log.contains(" Invalid saturation mode value Threshold\n")) << log.text();
        EXPECT_EQ(c.kept, wbc.eRGBThresholdMode);
        EXPECT_EQ(3.0, wbc.afRGBGain[2]);  // read before the mode
        ASSERT_EQ(QOV_SUCCESS, wbc.setup());
        EXPECT_EQ(c.kept, mc().sWBC.eRGBThresholdMode);
    }
}

TEST_F(ModuleWBCTest, SavedGroups)
{
    ModuleWBC wbc;
    EXPECT_EQ("// White Balance Correction parameters\n"
              "LSH_WBCLIP 1 1 1 1 // double[4] range=[0.5,2]\n"
              "LSH_WBGAIN 1 1 1 1 // double[4] range=[0.5,8]\n\n",
              vovatest::savedText(wbc, ModuleBase::SAVE_DEF));

    ModuleWBC2_6 wbc26;
    EXPECT_EQ("// White Balance Correction parameters\n"
              "LSH_WBCLIP 1 1 1 1 // double[4] range=[0.5,2]\n"
              "LSH_WBGAIN 1 1 1 1 // double[4] range=[0.5,8]\n\n"
              "// White Balance Clipping parameters (HW 2.6)\n"
              "WBC_RGB_GAIN 1 1 1 // double[3] range=[0,16]\n"
              "WBC_RGB_MODE saturation // string\n"
              "WBC_RGB_THRESHOLD 1 1 1 // double[3] range=[0,1]\n\n",
              vovatest::savedText(wbc26, ModuleBase::SAVE_DEF));
    EXPECT_EQ("// White Balance Correction parameters\n"
              "LSH_WBCLIP 2 2 2 2\n"
              "LSH_WBGAIN 8 8 8 8\n\n"
              "// White Balance Clipping parameters (HW 2.6)\n"
              "WBC_RGB_GAIN 16 16 16\n"
              "WBC_RGB_MODE saturation // string\n"
              "WBC_RGB_THRESHOLD 1 1 1\n\n",
              vovatest::savedText(wbc26, ModuleBase::SAVE_MAX));
    wbc26.eRGBThresholdMode = WBC_THRESHOLD;
    wbc26.aWBGain[1] = 2.5;
    ParameterList list;
    ASSERT_EQ(QOV_SUCCESS, wbc26.save(list));
    EXPECT_EQ("threshold", list.getParameter("WBC_RGB_MODE")->getString(0));
    EXPECT_EQ("2.5", list.getParameter("LSH_WBGAIN")->getString(1));
    EXPECT_TRUE(list.getGroup("ModuleWBC").parameters.count("LSH_WBGAIN"));
    EXPECT_TRUE(list.getGroup("ModuleWBC2_6").parameters.count("WBC_RGB_MODE"));
}

class WhiteBalanceWithLensShading : public vovatest::CameraModuleTest {};

TEST_F(WhiteBalanceWithLensShading, TheGainsCarryTheScaleOfTheMatrixInUse)
{
    loadAndProgram({{"LSH_WBGAIN", {"2", "2", "2", "2"}}});
    ModuleWBC &wbc = module<ModuleWBC>(STP_WBC);
    EXPECT_NE(nullptr, dynamic_cast<ModuleWBC2_6 *>(&wbc));  // hardware 2.7
    ModuleLSH &lsh = module<ModuleLSH>(STP_LSH);
    LSH_GRID grid{};
    ASSERT_EQ(QOV_SUCCESS, LSH_AllocateMatrix(&grid, 12, 9, 64));
    for (auto *channel : grid.apMatrix)
        for (int i = 0; i < 12 * 9; i++)
            channel[i] = 1.0f;
    QOV_UINT32 id = 0;
    ASSERT_EQ(QOV_SUCCESS, lsh.addMatrix(grid, id, 1.2, 0));

    const MC_WBC &record = camera->getPipeline()->getMCPipeline()->sWBC;
    EXPECT_EQ(2.0, record.aGain[0]);
    ASSERT_EQ(QOV_SUCCESS, lsh.configureMatrix(id));
    EXPECT_TRUE(wbc.isUpdateRequested());
    ASSERT_EQ(QOV_SUCCESS, camera->getPipeline()->setupRequested());
    EXPECT_DOUBLE_EQ(2.4, record.aGain[0]);
    EXPECT_EQ(2.0, wbc.aWBGain[0]);  // the field itself is never scaled

    ASSERT_EQ(QOV_SUCCESS, lsh.configureMatrix(0));
    EXPECT_TRUE(wbc.isUpdateRequested());
    ASSERT_EQ(QOV_SUCCESS, camera->getPipeline()->setupRequested());
    EXPECT_EQ(2.0, record.aGain[0]);
}

}  // namespace
