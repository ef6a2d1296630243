// Encoder statistics module: keys to fields to the record, the rounding to
// powers of two with its warning, and its saved text.
#include "module_test_support.h"
#include "vova/ModuleENS.h"

using namespace VOVA;
using vovatest::KeyRow;

namespace {

class ModuleENSTest : public vovatest::ModuleTest {};

TEST_F(ModuleENSTest, KeysReachTheRecord)
{
    ModuleENS &ens = add<ModuleENS>();
    const std::vector<KeyRow<ModuleENS>> rows = {
        // never loaded
        {{}, [](auto &m) { return m.bEnable; }, 0, [](auto &r) { return r.sENS.bEnable; }, 0},
        {{}, [](auto &m) { return m.ui32NLines; }, 16, [](auto &r) { return r.sENS.ui32NLines; }, 16},
        {{}, [](auto &m) { return m.ui32SubsamplingFactor; }, 1, [](auto &r) { return r.sENS.ui32KernelSubsampling; }, 1},
        {{{"ENS_ENABLE", {"1"}}}, [](auto &m) { return m.bEnable; }, 1, [](auto &r) { return r.sENS.bEnable; }, 1},
        {{{"ENS_REGION_NUMLINES", {"200"}}}, [](auto &m) { return m.ui32NLines; }, 256,
         [](auto &r) { return r.sENS.ui32NLines; }, 256},
        {{{"ENS_SUBS_FACTOR", {"17"}}}, [](auto &m) { return m.ui32SubsamplingFactor; }, 32,
         [](auto &r) { return r.sENS.ui32KernelSubsampling; }, 32},
    };
    checkRows(ens, rows);
}

TEST_F(ModuleENSTest, LoadedValuesAreRoundedUpToAPowerOfTwo)
{
    const struct {
        const char *key;
        const char *value;
        QOV_UINT32 loaded;
        bool warned;
    } cases[] = {
        {"ENS_REGION_NUMLINES", "20", 32, true},  {"ENS_REGION_NUMLINES", "64", 64, false},
        {"ENS_REGION_NUMLINES", "200", 256, true}, {"ENS_REGION_NUMLINES", "300", 256, false},
        {"ENS_SUBS_FACTOR", "3", 4, true},         {"ENS_SUBS_FACTOR", "0", 1, false},
        {"ENS_SUBS_FACTOR", "17", 32, true},
    };
    for (const auto &c : cases) {
        ModuleENS ens;
        vovatest::LogCapture log;
        ASSERT_EQ(QOV_SUCCESS, ens.load(vovatest::listOf({{c.key, {c.value}}})));
        const bool lines = std::string(c.key) == "ENS_REGION_NUMLINES";
        EXPECT_EQ(c.loaded, lines ? ens.ui32NLines : ens.ui32SubsamplingFactor) << c.key << " " << c.value;
        const std::string warning = std::string("WARNING [VOVA_MOD_ENS]: load() loaded value for ") + c.key + " (" +
                                    c.value + ") is not a power of 2! Rounding to next power of 2: " +
                                    std::to_string(c.loaded) + "\n";
        EXPECT_EQ(c.warned ? warning : "", log.text()) << c.key << " " << c.value;
        // the rounded value is the one saved
        EXPECT_EQ((std::vector<std::string>{std::to_string(c.loaded)}), vovatest::savedValues(ens, c.key));
    }
}

TEST_F(ModuleENSTest, SavedTextUnderTheDefectivePixelsHeader)
{
    ModuleENS ens;
    EXPECT_EQ("// Defective Pixels parameters\n"
              "ENS_ENABLE 0 // bool {0,1}\n"
              "ENS_REGION_NUMLINES 16 // int range=[8,256]\n"
              "ENS_SUBS_FACTOR 1 // int range=[1,32]\n\n",
              vovatest::savedText(ens, ModuleBase::SAVE_DEF));
}

}  // namespace
