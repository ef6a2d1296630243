// Defective-pixel module: keys to fields to the record, the input map read
// once from a file and lent to the record only when it holds pairs, and its
// saved text.
#include "mc/mc_conversions.h"
#include "module_test_support.h"
#include "vova/ModuleDPF.h"
#include "vova/ModuleIIF.h"

using namespace VOVA;
using vovatest::KeyRow;

namespace {

const std::string kCorruptMap = std::string(VEZARA_TESTDATA) + "/vova/dpf_corrupt.bin";
const char *const kNoMapWarning =
    "WARNING [VOVA_MOD_DPF]: load() failed to load the DPF read map - no map will be loaded\n";

class ModuleDPFTest : public vovatest::ModuleTest {};

TEST_F(ModuleDPFTest, KeysReachTheRecord)
{
    ModuleDPF &dpf = add<ModuleDPF>();
    const std::vector<KeyRow<ModuleDPF>> rows = {
        {{}, [](auto &m) { return m.bDetect; }, 0, [](auto &r) { return r.sDPF.eDPFEnable; }, 0},
        {{}, [](auto &m) { return m.fWeight; }, 16.0, [](auto &r) { return r.sDPF.fWeight; }, 16.0},
        {{}, [](auto &m) { return m.ui32Threshold; }, 0, [](auto &r) { return r.sDPF.ui8Threshold; }, 0},
        {{{"DPF_DETECT_ENABLE", {"1"}}}, [](auto &m) { return m.bDetect; }, 1, [](auto &r) { return r.sDPF.eDPFEnable; }, 1},
        // writing a map always turns detection on
        {{{"DPF_WRITE_MAP_ENABLE", {"1"}}, {"DPF_DETECT_ENABLE", {"0"}}}, [](auto &m) { return m.bWrite; }, 1,
         [](auto &r) { return r.sDPF.eDPFEnable; }, 3},
        {{{"DPF_READ_MAP_ENABLE", {"1"}}}, [](auto &m) { return m.bRead; }, 1, [](auto &r) { return r.sDPF.eDPFEnable; }, 4},
        {{{"DPF_READ_MAP_ENABLE", {"1"}}, {"DPF_WRITE_MAP_ENABLE", {"1"}}, {"DPF_DETECT_ENABLE", {"1"}}},
         [](auto &m) { return m.bDetect; }, 1, [](auto &r) { return r.sDPF.eDPFEnable; }, 7},
        {{{"DPF_WEIGHT", {"300"}}}, [](auto &m) { return m.fWeight; }, 255.0, [](auto &r) { return r.sDPF.fWeight; }, 255.0},
        {{{"DPF_THRESHOLD", {"64"}}}, [](auto &m) { return m.ui32Threshold; }, 63,
         [](auto &r) { return r.sDPF.ui8Threshold; }, 63},
        {{{"DPF_WEIGHT", {"-1"}}}, [](auto &m) { return m.fWeight; }, 0.0, [](auto &r) { return r.sDPF.fWeight; }, 0.0},
        {{{"DPF_THRESHOLD", {"-1"}}}, [](auto &m) { return m.ui32Threshold; }, 0,
         [](auto &r) { return r.sDPF.ui8Threshold; }, 0},
    };
    checkRows(dpf, rows);
}

TEST_F(ModuleDPFTest, ANewModuleHoldsNoMapAndEveryKeyAtOnceReachesTheRecord)
{
    ModuleDPF &dpf = add<ModuleDPF>();
    EXPECT_EQ(nullptr, dpf.pDefectMap);
    EXPECT_EQ(0u, dpf.ui32NbDefects);
    EXPECT_EQ("", dpf.readMapFilename);
    EXPECT_FALSE(dpf.hasInputMap());

    ASSERT_EQ(QOV_SUCCESS, dpf.load(vovatest::listOf({{"DPF_DETECT_ENABLE", {"1"}},
                                                      {"DPF_READ_MAP_ENABLE", {"1"}},
                                                      {"DPF_THRESHOLD", {"17"}},
                                                      {"DPF_WEIGHT", {"33.5"}},
                                                      {"DPF_READ_MAP_FILE", {vovatest::kTwoDefects}}})));
    ASSERT_EQ(QOV_SUCCESS, dpf.setup());
    EXPECT_EQ(CI_DPF_DETECT_ENABLED | CI_DPF_READ_MAP_ENABLED, mc().sDPF.eDPFEnable);
    EXPECT_EQ(17, mc().sDPF.ui8Threshold);
    EXPECT_EQ(33.5, mc().sDPF.fWeight);
    EXPECT_EQ(2u, mc().sDPF.ui32NDefect);
    EXPECT_TRUE(mc().sDPF.updateNeeded);
    EXPECT_EQ((std::vector<std::string>{"17"}), vovatest::savedValues(dpf, "DPF_THRESHOLD"));
    EXPECT_EQ((std::vector<std::string>{"33.5"}), vovatest::savedValues(dpf, "DPF_WEIGHT"));
    EXPECT_EQ((std::vector<std::string>{"1"}), vovatest::savedValues(dpf, "DPF_READ_MAP_ENABLE"));
    EXPECT_EQ((std::vector<std::string>{"0"}), vovatest::savedValues(dpf, "DPF_WRITE_MAP_ENABLE"));
}

TEST_F(ModuleDPFTest, SkipAndOffsetComeFromTheImagerRecord)
{
    ModuleIIF &iif = add<ModuleIIF>();
    ModuleDPF &dpf = add<ModuleDPF>();
    // unequal decimation: each axis takes its own
    ASSERT_EQ(QOV_SUCCESS, iif.load(vovatest::listOf({{"IIF_DECIMATION", {"2", "4"}}, {"IIF_CAP_RECT_TL", {"4", "6"}}})));
    ASSERT_EQ(QOV_SUCCESS, iif.setup());
    ASSERT_EQ(QOV_SUCCESS, dpf.setup());
    EXPECT_EQ(1, mc().sDPF.aSkip[0]);
    EXPECT_EQ(3, mc().sDPF.aSkip[1]);
    EXPECT_NE(mc().sIIF.ui16ImagerOffset[0], mc().sIIF.ui16ImagerOffset[1]);
    EXPECT_EQ(mc().sIIF.ui16ImagerOffset[0], mc().sDPF.aOffset[0]);
    EXPECT_EQ(mc().sIIF.ui16ImagerOffset[1], mc().sDPF.aOffset[1]);
}

TEST_F(ModuleDPFTest, TheMapIsReadOnceAndLent)
{
    ModuleDPF &dpf = add<ModuleDPF>();
    ASSERT_EQ(QOV_SUCCESS, dpf.load(vovatest::listOf({{"DPF_READ_MAP_FILE", {vovatest::kTwoDefects}}})));
    ASSERT_TRUE(dpf.hasInputMap());
    ASSERT_EQ(2u, dpf.ui32NbDefects);
    EXPECT_EQ(10, dpf.pDefectMap[0]);
    EXPECT_EQ(20, dpf.pDefectMap[1]);
    EXPECT_EQ(40, dpf.pDefectMap[2]);
    EXPECT_EQ(31, dpf.pDefectMap[3]);
    ASSERT_EQ(QOV_SUCCESS, dpf.setup());
    EXPECT_EQ(dpf.pDefectMap, mc().sDPF.apDefectInput);
    EXPECT_EQ(2u, mc().sDPF.ui32NDefect);
    EXPECT_EQ(0, mc().sDPF.eDPFEnable);  // read whether or not the hardware uses it

    // a later load keeps the map and its file name
    QOV_UINT16 *const held = dpf.pDefectMap;
    ASSERT_EQ(QOV_SUCCESS, dpf.load(vovatest::listOf({{"DPF_READ_MAP_FILE", {kCorruptMap}}})));
    EXPECT_EQ(held, dpf.pDefectMap);
    EXPECT_EQ(vovatest::kTwoDefects, dpf.readMapFilename);
    EXPECT_EQ((std::vector<std::string>{vovatest::kTwoDefects}), vovatest::savedValues(dpf, "DPF_READ_MAP_FILE"));

    // replacing the module leaves the record without the freed map
    ASSERT_EQ(QOV_SUCCESS, pipeline->registerModule(new ModuleDPF()));
    EXPECT_EQ(nullptr, mc().sDPF.apDefectInput);
    EXPECT_EQ(0u, mc().sDPF.ui32NDefect);
}

TEST_F(ModuleDPFTest, AMapThatCannotBeUsedGivesNoMap)
{
    const struct {
        std::string file;
        bool warned;
    } cases[] = {{kCorruptMap, true}, {"/nonexistent/map.bin", true}, {vovatest::kEmptyMap, false}};
    for (const auto &c : cases) {
        ModuleDPF &dpf = add<ModuleDPF>();
        vovatest::LogCapture log;
        ASSERT_EQ(QOV_SUCCESS,
                  dpf.load(vovatest::listOf({{"DPF_READ_MAP_FILE", {c.file}}, {"DPF_READ_MAP_ENABLE", {"1"}}})));
        EXPECT_EQ(c.warned, log.contains(kNoMapWarning)) << c.file << ": " << log.text();
        EXPECT_FALSE(dpf.hasInputMap()) << c.file;
        EXPECT_EQ(0u, dpf.ui32NbDefects) << c.file;
        ASSERT_EQ(QOV_SUCCESS, dpf.setup());
        EXPECT_EQ(4, mc().sDPF.eDPFEnable) << c.file;
        // an empty map is not lent: the conversion would refuse a map of 0 pairs
        EXPECT_EQ(nullptr, mc().sDPF.apDefectInput) << c.file;
        EXPECT_EQ(0u, mc().sDPF.ui32NDefect) << c.file;
        int mask = 0;
        EXPECT_EQ(QOV_SUCCESS, MC_DPFConvert(&mc().sDPF, &mc().sIIF, &pipeline->getCIPipeline()->sDefectivePixels, &mask))
            << c.file;
    }
}

TEST_F(ModuleDPFTest, SavedText)
{
    ModuleDPF dpf;
    EXPECT_EQ("// Defective Pixels parameters\n"
              "DPF_DETECT_ENABLE 0 // bool {0,1}\n"
              "DPF_READ_MAP_ENABLE 0 // bool {0,1}\n"
              "DPF_READ_MAP_FILE <HW DPF read file> // string\n"
              "DPF_THRESHOLD 0 // int range=[0,63]\n"
              "DPF_WEIGHT 16 // double range=[0,255]\n"
              "DPF_WRITE_MAP_ENABLE 0 // bool {0,1}\n\n",
              vovatest::savedText(dpf, ModuleBase::SAVE_DEF));
    EXPECT_EQ("// Defective Pixels parameters\n"
              "DPF_DETECT_ENABLE 1\n"
              "DPF_READ_MAP_ENABLE 1\n"
              "DPF_READ_MAP_FILE <HW DPF read file>\n"
              "DPF_THRESHOLD 63\n"
              "DPF_WEIGHT 255\n"
              "DPF_WRITE_MAP_ENABLE 1\n\n",
              vovatest::savedText(dpf, ModuleBase::SAVE_MAX));
    EXPECT_EQ((std::vector<std::string>{"<HW DPF read file>"}),
              vovatest::savedValues(dpf, "DPF_READ_MAP_FILE", ModuleBase::SAVE_MIN));
}

}  // namespace
