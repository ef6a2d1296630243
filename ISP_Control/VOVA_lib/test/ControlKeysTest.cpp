// The keys of every control loop: each key's default and both ends of its
// range as saved, a value beyond either end loaded as that end, and all
// keys of a loop loaded at once at distinct values that are not their
// defaults and saved back unchanged (a dropped, swapped or mis-read key
// shows at once).
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "module_test_support.h"
#include "vova/ControlAE.h"
#include "vova/ControlAF.h"
#include "vova/ControlAWB.h"
#include "vova/ControlAWB_PID.h"
#include "vova/ControlAWB_Planckian.h"
#include "vova/ControlLBC.h"
#include "vova/ControlLSH.h"
#include "vova/ControlTNM.h"

using namespace VOVA;

namespace controlkeys {

// One key: its default and range as saved, values below and above the
// range (empty: the key has no value beyond that end), and a value inside
// it that is not the default.
struct Key {
    const char *key, *def, *min, *max, *below, *above, *value;
};

struct Loop {
    const char *name;
    std::function<std::unique_ptr<ModuleBase>()> make;
    vovatest::Entries context;  // keys a loop needs before the key is read
    bool loadsAlone;            // loads without a pipeline owner
    std::vector<Key> keys;
};

template <class C> std::function<std::unique_ptr<ModuleBase>()> maker()
{
    return [] { return std::make_unique<C>("VOVA_CTRL"); };
}

// Loads without the warnings of the white-balance loops on a missing calibration.
QOV_RESULT quietLoad(ModuleBase &m, const vovatest::Entries &entries)
{
    vovatest::LogCapture quiet;
    return m.load(vovatest::listOf(entries));
}

std::unique_ptr<ModuleBase> quietMake(const Loop &loop)
{
    vovatest::LogCapture quiet;
    return loop.make();
}

std::string saved(const ModuleBase &m, const char *key, ModuleBase::SaveType t)
{
    return vovatest::savedValues(m, key, t).at(0);
}

const std::vector<Loop> &loops()
{
    static const std::vector<Loop> table = {
        {"ControlAE", maker<ControlAE>(), {}, true,
         {{"AE_FLICKER_REJECTION", "0", "0", "1", "", "", "1"},
          {"AE_FLICKER_AUTODETECT", "1", "0", "1", "", "", "0"},
          {"AE_FLICKER_FREQ", "50", "1", "200", "0.5", "250", "60"},
          {"AE_BLC_AUTO", "0", "0", "1", "", "", "1"},
          {"AE_BLC_LEVEL", "0", "0", "1", "-0.5", "1.5", "0.3"},
          {"AE_TARGET_BRIGHTNESS", "0", "-1", "1", "-2", "2", "-0.25"},
          {"AE_UPDATE_SPEED", "1", "0", "1", "-1", "2", "0.5"},
          {"AE_BRACKET_SIZE", "0.05", "0", "1", "-1", "2", "0.125"},
          {"AE_TARGET_GAIN", "256", "1", "1.79769e+308", "0.5", "", "3"},
          {"AE_MIN_GAIN", "1", "1", "1.79769e+308", "0.5", "", "2"},
          {"AE_MAX_GAIN", "256", "1", "1.79769e+308", "0.5", "", "6"},
          {"AE_MIN_EXPOSURE", "1", "1", "4294967295", "0", "", "100"},
          {"AE_MAX_EXPOSURE", "4294967295", "1", "4294967295", "0", "", "30000"}}},
        {"ControlAF", maker<ControlAF>(), {}, true, {{"AF_CENTER_WEIGTH", "1", "0", "1", "-1", "2", "0.25"}}},
        {"ControlAWB", maker<ControlAWB>(), {}, true,
         {{"WB_ESTIMATION_SCALE", "1", "0", "20", "-1", "25", "2"},
          {"WB_ESTIMATION_OFFSET", "0", "-6500", "6500", "-7000", "7000", "-300"},
          {"WB_TARGET_TEMPERATURE", "6500", "0", "100000", "-1", "200000", "5000"},
          {"WB_TARGET_PIXEL_RATIO", "0.075", "0", "1", "-1", "2", "0.2"}}},
        {"ControlAWB_PID", maker<ControlAWB_PID>(), {}, true, {{"WB_FRAME_DELAY", "0", "0", "200", "", "300", "7"}}},
        {"ControlAWB_Planckian", maker<ControlAWB_Planckian>(), {}, true,
         {{"AWB_MAX_RATIO_DISTANCE", "0.2", "0", "1", "-1", "2", "0.3"},
          {"AWB_USE_AWS_CONFIG", "0", "0", "1", "", "", "1"},
          {"WBT_USE_FLASH_FILTERING", "0", "0", "1", "", "", "1"},
          {"WBT_USE_SMOOTHING", "0", "0", "1", "", "", "1"},
          {"WBT_TEMPORAL_STRETCH", "300", "200", "5000", "100", "6000", "700"},
          {"WBT_WEIGHT_BASE", "2", "1.001", "10", "1", "20", "3"},
          {"WB_TARGET_TEMPERATURE", "6500", "0", "100000", "-1", "200000", "5000"}}},
        {"ControlLBC", maker<ControlLBC>(), {{"LBC_CONFIGURATIONS", {"1"}}}, true,
         {{"LBC_UPDATE_SPEED", "0.1", "0", "1", "-1", "2", "0.3"},
          {"LBC_LIGHT_LEVEL_0", "0", "0", "1e+08", "-1", "2e8", "500"},
          {"LBC_SHARPNESS_0", "0.4", "0", "1", "-1", "2", "0.7"},
          {"LBC_SATURATION_0", "1", "0.1", "10", "0.05", "50", "1.5"},
          {"LBC_BRIGHTNESS_0", "0", "-0.5", "0.5", "-1", "1", "-0.2"},
          {"LBC_CONTRAST_0", "1", "0", "2", "-1", "3", "1.25"}}},
        {"ControlTNM", maker<ControlTNM>(), {}, true,
         {{"TNMC_TEMPERING", "0.2", "0", "1", "-1", "2", "0.3"},
          {"TNMC_HIST_CLIP_MIN", "0.035", "0", "1", "-1", "2", "0.05"},
          {"TNMC_HIST_CLIP_MAX", "0.25", "0", "1", "-1", "2", "0.5"},
          {"TNMC_SMOOTHING", "0.4", "0", "1", "-1", "2", "0.6"},
          {"TNMC_UPDATE_SPEED", "0.5", "0", "1", "-1", "2", "0.75"},
          {"TNMC_LOCAL", "0", "0", "1", "", "", "1"},
          {"TNMC_LOCALSTRENGTH", "0", "0", "1", "-1", "2", "0.125"},
          {"TNMC_ADAPTIVE", "0", "0", "1", "", "", "1"}}},
        // the lens-shading loop reads its keys into its owner's module
        {"ControlLSH", maker<ControlLSH>(), {}, false,
         {{"LSH_CTRL_BITS_DIFF", "0", "0", "10", "", "", ""},
          {"LSH_CTRL_CORRECTIONS", "0", "0", "200", "", "", ""},
          {"LSH_CTRL_TEMPERATURE_0", "0", "0", "100000", "", "", ""},
          {"LSH_CTRL_SCALE_WB_0", "1", "0", "100", "", "", ""}}},
    };
    return table;
}

TEST(LoopKeys, EveryKeySavesItsDefaultAndBothEndsOfItsRange)
{
    for (const Loop &loop : loops()) {
        const std::unique_ptr<ModuleBase> control = quietMake(loop);
        for (const Key &k : loop.keys) {
            SCOPED_TRACE(std::string(loop.name) + " " + k.key);
            EXPECT_EQ(k.def, saved(*control, k.key, ModuleBase::SAVE_DEF));
            EXPECT_EQ(k.min, saved(*control, k.key, ModuleBase::SAVE_MIN));
            EXPECT_EQ(k.max, saved(*control, k.key, ModuleBase::SAVE_MAX));
        }
    }
}

TEST(LoopKeys, AValueBeyondEitherEndLoadsAsThatEnd)
{
    for (const Loop &loop : loops()) {
        if (!loop.loadsAlone)
            continue;
        const std::unique_ptr<ModuleBase> control = quietMake(loop);
        for (const Key &k : loop.keys) {
            const std::pair<const char *, const char *> ends[] = {{k.below, k.min}, {k.above, k.max}};
            for (const auto &[beyond, end] : ends) {
                if (!*beyond)
                    continue;
                SCOPED_TRACE(std::string(loop.name) + " " + k.key + " " + beyond);
                vovatest::Entries entries = loop.context;
                entries.push_back({k.key, {beyond}});
                ASSERT_EQ(QOV_SUCCESS, quietLoad(*control, entries));
                EXPECT_EQ(end, saved(*control, k.key, ModuleBase::SAVE_VAL));
            }
        }
    }
}

TEST(LoopKeys, AllKeysAtOnceAtDistinctValuesSaveBackAsLoaded)
{
    for (const Loop &loop : loops()) {
        if (!loop.loadsAlone)
            continue;
        SCOPED_TRACE(loop.name);
        const std::unique_ptr<ModuleBase> control = quietMake(loop);
        vovatest::Entries entries = loop.context;
        for (const Key &k : loop.keys)
            entries.push_back({k.key, {k.value}});
        ASSERT_EQ(QOV_SUCCESS, quietLoad(*control, entries));
        for (const Key &k : loop.keys)
            EXPECT_EQ(k.value, saved(*control, k.key, ModuleBase::SAVE_VAL)) << k.key;
        // and a load without them restores every default
        ASSERT_EQ(QOV_SUCCESS, quietLoad(*control, loop.context));
        for (const Key &k : loop.keys)
            EXPECT_EQ(k.def, saved(*control, k.key, ModuleBase::SAVE_VAL)) << k.key;
    }
}

}  // namespace controlkeys
