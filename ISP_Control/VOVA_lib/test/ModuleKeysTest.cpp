// The keys of every setup module together: every key loaded at once at a
// value of its own inside its range that is not its default and saved back
// as loaded (a key dropped, read into another field or mis-written shows),
// each bound loaded as the bound, and a save into a list that already holds
// the keys overwriting them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "SetupModuleFixture.h"
#include "module_test_support.h"
#include "vova/ModuleAWS.h"
#include "vova/ModuleBLC.h"
#include "vova/ModuleCCM.h"
#include "vova/ModuleDGM.h"
#include "vova/ModuleDNS.h"
#include "vova/ModuleDPF.h"
#include "vova/ModuleDSC.h"
#include "vova/ModuleENS.h"
#include "vova/ModuleESC.h"
#include "vova/ModuleEXS.h"
#include "vova/ModuleFLD.h"
#include "vova/ModuleFOS.h"
#include "vova/ModuleGMA.h"
#include "vova/ModuleHDR.h"
#include "vova/ModuleHIS.h"
#include "vova/ModuleIIF.h"
#include "vova/ModuleLCA.h"
#include "vova/ModuleLSH.h"
#include "vova/ModuleMGM.h"
#include "vova/ModuleMIE.h"
#include "vova/ModuleOUT.h"
#include "vova/ModuleR2Y.h"
#include "vova/ModuleRLT.h"
#include "vova/ModuleSHA.h"
#include "vova/ModuleTNM.h"
#include "vova/ModuleVIB.h"
#include "vova/ModuleWBC.h"
#include "vova/ModuleWBS.h"
#include "vova/ModuleY2R.h"

using namespace VOVA;

namespace modulekeys {

struct Made {
    const char *name;
    std::function<std::unique_ptr<ModuleBase>()> make;
    bool alone;  // loads its keys without a pipeline, each key by itself
    std::function<SetupModule *()> fresh;
    size_t size;
    std::function<ModuleBase *(void *)> placed;  // built in the memory given
};

template <class M> Made made(const char *name, bool alone = true)
{
    return {name, [] { return std::make_unique<M>(); }, alone, [] { return new M(); }, sizeof(M),
            [](void *at) -> ModuleBase * { return new (at) M(); }};
}

// A module built over memory that held other bytes, so that a field its
// constructor leaves unset shows.
struct OverDirtyMemory {
    explicit OverDirtyMemory(const Made &m) : memory(::operator new(m.size))
    {
        std::memset(memory, 0xA5, m.size);
        module = m.placed(memory);
    }
    ~OverDirtyMemory()
    {
        module->~ModuleBase();
        ::operator delete(memory);
    }
    void *memory;
    ModuleBase *module;
};

const std::vector<Made> &modules()
{
    static const std::vector<Made> all = {
        made<ModuleAWS>("AWS"), made<ModuleBLC>("BLC"), made<ModuleCCM>("CCM"), made<ModuleDGM>("DGM"),
        made<ModuleDNS>("DNS"), made<ModuleDPF>("DPF"), made<ModuleDSC>("DSC"), made<ModuleENS>("ENS"),
        made<ModuleESC>("ESC"), made<ModuleEXS>("EXS"), made<ModuleFLD>("FLD"), made<ModuleFOS>("FOS"),
        made<ModuleGMA>("GMA"), made<ModuleHDR>("HDR"), made<ModuleHIS>("HIS"), made<ModuleIIF>("IIF", false),
        made<ModuleLCA>("LCA"), made<ModuleLSH>("LSH"), made<ModuleMGM>("MGM"), made<ModuleMIE>("MIE", false),
        made<ModuleOUT>("OUT"), made<ModuleR2Y>("R2Y"), made<ModuleRLT>("RLT"), made<ModuleSHA>("SHA"),
        made<ModuleTNM>("TNM"), made<ModuleVIB>("VIB"), made<ModuleWBC>("WBC"), made<ModuleWBC2_6>("WBC2_6"),
        made<ModuleWBS>("WBS"),
        made<ModuleY2R>("Y2R"),
    };
    return all;
}

// The range of a key from its saved bounds, and whether it takes integers
// only, from its info text.
struct Range {
    double lo = 0, hi = 0;
    bool integral = false, flag = false, numeric = false;
};

bool number(const std::string &t, double &v)
{
    char *end = nullptr;
    v = std::strtod(t.c_str(), &end);
    return !t.empty() && *end == '\0';
}

Range rangeOf(const ParameterList &min, const ParameterList &max, const Parameter &def, size_t i)
{
    Range r;
    const std::string &info = def.getInfo();
    r.flag = info.rfind("bool", 0) == 0;
    r.integral = info.rfind("int", 0) == 0 || info.rfind("unsigned", 0) == 0 || info.rfind("short", 0) == 0;
    r.numeric = r.flag || r.integral || info.rfind("double", 0) == 0 || info.rfind("float", 0) == 0;
    const Parameter *lo = min.getParameter(def.getTag()), *hi = max.getParameter(def.getTag());
    if (!lo || !hi || i >= lo->getValues().size() || i >= hi->getValues().size())
        r.numeric = false;
    else
        r.numeric = r.numeric && number(lo->getValues()[i], r.lo) && number(hi->getValues()[i], r.hi);
    return r;
}

std::string text(double v, bool integral)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, integral ? "%.0f" : "%.4g", v);
    return buf;
}

// A value inside the range, other than the default, that differs from key
// to key and from element to element.
std::string valueFor(const Range &r, const std::string &def, unsigned seed)
{
    if (r.flag)
        return def == "0" ? "1" : "0";
    const double span = r.hi - r.lo;
    double v;
    if (r.integral)
        v = r.lo + 1 + seed % static_cast<unsigned>(std::fmax(1.0, std::fmin(span - 1, 97.0)));
    else if (span > 1000)
        v = r.lo + 1.5 + seed;
    else
        v = r.lo + span * (0.05 + 0.9 * ((seed * 37) % 101) / 101.0);
    std::string t = text(v, r.integral);
    if (t == def)
        t = text(v + (r.integral ? 1 : span / 211), r.integral);
    return t;
}

// The module's keys at the values above, with the keys they were made from.
ParameterList distinctValues(const ModuleBase &m)
{
    ParameterList def, min, max, list;
    m.save(def, ModuleBase::SAVE_DEF);
    m.save(min, ModuleBase::SAVE_MIN);
    m.save(max, ModuleBase::SAVE_MAX);
    unsigned seed = 3;
    for (const auto &entry : def) {
        std::vector<std::string> values;
        bool numeric = true;
        for (size_t i = 0; i < entry.second.getValues().size(); i++) {
            const Range r = rangeOf(min, max, entry.second, i);
            numeric = numeric && r.numeric;
            values.push_back(numeric ? valueFor(r, entry.second.getValues()[i], seed++) : "");
        }
        if (numeric && !values.empty())
            list.addParameter(Parameter(entry.first, values), true);
    }
    return list;
}

// Keys whose value a module derives from other keys or rounds: their own
// tests check them.
struct Exception {
    const char *module, *key;
};
const Exception kDependent[] = {
    {"AWS", "AWS_CURVES_NUM"},       {"AWS", "AWS_CURVE_X_COEFFS"}, {"AWS", "AWS_CURVE_Y_COEFFS"},
    {"AWS", "AWS_CURVE_OFFSETS"},    {"AWS", "AWS_CURVE_BOUNDARIES"}, {"ENS", "ENS_REGION_NUMLINES"},
    {"ENS", "ENS_SUBS_FACTOR"},      {"OUT", "OUT_DE_POINT"},
};

bool dependent(const char *module, const std::string &key)
{
    for (const Exception &e : kDependent)
        if (key == e.key && std::string(module) == e.module)
            return true;
    return false;
}

// Loads without the warnings of values a module adjusts.
QOV_RESULT quietLoad(ModuleBase &m, const ParameterList &list)
{
    vovatest::LogCapture quiet;
    return m.load(list);
}

TEST(ModuleKeys, EveryKeyAtADistinctValueSavesBackAsLoaded)
{
    for (const Made &m : modules()) {
        if (!m.alone)
            continue;
        SCOPED_TRACE(m.name);
        const std::unique_ptr<ModuleBase> module = m.make();
        const ParameterList loaded = distinctValues(*module);
        ASSERT_LT(0u, loaded.size());
        EXPECT_EQ(QOV_SUCCESS, quietLoad(*module, loaded));
        ParameterList saved;
        ASSERT_EQ(QOV_SUCCESS, module->save(saved, ModuleBase::SAVE_VAL));
        for (const auto &entry : loaded) {
            if (dependent(m.name, entry.first))
                continue;
            const Parameter *p = saved.getParameter(entry.first);
            ASSERT_NE(nullptr, p) << entry.first;
            EXPECT_EQ(entry.second.getValues(), p->getValues()) << entry.first;
        }
    }
}

TEST(ModuleKeys, ANewModuleHoldsEveryDefault)
{
    for (const Made &m : modules()) {
        SCOPED_TRACE(m.name);
        const OverDirtyMemory built(m);
        ModuleBase *module = built.module;
        ParameterList def, saved;
        vovatest::LogCapture quiet;  // the imager interface warns that it has no sensor to save
        ASSERT_EQ(QOV_SUCCESS, module->save(def, ModuleBase::SAVE_DEF));
        ASSERT_EQ(QOV_SUCCESS, module->save(saved, ModuleBase::SAVE_VAL));
        for (const auto &entry : def) {
            const Parameter *p = saved.getParameter(entry.first);
            if (!rangeOf(def, def, entry.second, 0).numeric || !p || dependent(m.name, entry.first))
                continue;
            if (entry.first == "MIE_VIB_SAT_CURVE")  // saved as the identity, loaded flat by design
                continue;
            EXPECT_EQ(entry.second.getValues(), p->getValues()) << entry.first;
        }
    }
}

TEST(ModuleKeys, EachBoundLoadsAsTheBound)
{
    for (const Made &m : modules()) {
        if (!m.alone)
            continue;
        for (ModuleBase::SaveType bound : {ModuleBase::SAVE_MIN, ModuleBase::SAVE_MAX}) {
            SCOPED_TRACE(std::string(m.name) + (bound == ModuleBase::SAVE_MIN ? " min" : " max"));
            const std::unique_ptr<ModuleBase> module = m.make();
            ParameterList bounds, def, saved;
            ASSERT_EQ(QOV_SUCCESS, module->save(bounds, bound));
            ASSERT_EQ(QOV_SUCCESS, module->save(def, ModuleBase::SAVE_DEF));
            EXPECT_EQ(QOV_SUCCESS, quietLoad(*module, bounds));
            ASSERT_EQ(QOV_SUCCESS, module->save(saved, ModuleBase::SAVE_VAL));
            for (const auto &entry : bounds) {
                const Parameter *d = def.getParameter(entry.first);
                if (!d || !rangeOf(bounds, bounds, *d, 0).numeric || dependent(m.name, entry.first))
                    continue;
                const Parameter *p = saved.getParameter(entry.first);
                ASSERT_NE(nullptr, p) << entry.first;
                EXPECT_EQ(entry.second.getValues(), p->getValues()) << entry.first;
            }
        }
    }
}

TEST(ModuleKeys, ASaveOverwritesTheKeysAListHolds)
{
    for (const Made &m : modules()) {
        SCOPED_TRACE(m.name);
        const std::unique_ptr<ModuleBase> module = m.make();
        if (m.alone) {
            EXPECT_EQ(QOV_SUCCESS, quietLoad(*module, distinctValues(*module)));
        }
        vovatest::LogCapture quiet;  // the imager interface warns that it has no sensor to save
        vovatest::expectSaveOverwrites(*module);
    }
}

// The records of the pipeline, for the messages.
struct Record {
    const char *name;
    size_t offset, size;
};
#define MODULE_RECORD(field) {#field, offsetof(MC_PIPELINE, field), sizeof(MC_PIPELINE::field)}
const Record kRecords[] = {
    {"output settings", offsetof(MC_PIPELINE, eEncOutput), offsetof(MC_PIPELINE, sIIF) - offsetof(MC_PIPELINE, eEncOutput)},
    MODULE_RECORD(sIIF), MODULE_RECORD(sBLC), MODULE_RECORD(sRLT), MODULE_RECORD(sLSH), MODULE_RECORD(sWBC),
    MODULE_RECORD(sDNS), MODULE_RECORD(sDPF), MODULE_RECORD(sLCA), MODULE_RECORD(sCCM), MODULE_RECORD(sMGM),
    MODULE_RECORD(sGMA), MODULE_RECORD(sR2Y), MODULE_RECORD(sMIE), MODULE_RECORD(sTNM), MODULE_RECORD(sSHA),
    MODULE_RECORD(sESC), MODULE_RECORD(sDSC), MODULE_RECORD(sY2R), MODULE_RECORD(sDGM), MODULE_RECORD(sHDR),
    MODULE_RECORD(sEXS), MODULE_RECORD(sFOS), MODULE_RECORD(sWBS), MODULE_RECORD(sAWS), MODULE_RECORD(sHIS),
    MODULE_RECORD(sFLD), MODULE_RECORD(sENS),
};
#undef MODULE_RECORD

std::string differingRecords(const MC_PIPELINE &a, const MC_PIPELINE &b)
{
    std::string names;
    const char *pa = reinterpret_cast<const char *>(&a), *pb = reinterpret_cast<const char *>(&b);
    for (const Record &r : kRecords)
        if (std::memcmp(pa + r.offset, pb + r.offset, r.size) != 0)
            names += std::string(r.name) + " ";
    return names;
}

class ModuleRecords : public vovatest::SetupModuleFixture {};

// A module loaded and set up at other values, then loaded again without
// keys and set up, writes the record a new module writes: every field is
// written again (none kept from the earlier set-up) and every key goes back
// to its default.
TEST_F(ModuleRecords, SetUpAgainAtItsDefaultsAModuleWritesWhatANewOneWrites)
{
    for (const Made &m : modules()) {
        SCOPED_TRACE(m.name);
        SetupModule *used = m.fresh();
        ASSERT_EQ(QOV_SUCCESS, pipeline->registerModule(used));
        ParameterList other = distinctValues(*used);
        for (const Exception &e : kDependent)  // the curves are kept by design
            if (std::string(e.module) == m.name)
                other.removeParameter(e.key);
        {
            vovatest::LogCapture quiet;  // some values do not go together
            used->load(other);
            used->setup();
            ASSERT_EQ(QOV_SUCCESS, used->load(ParameterList()));
            ASSERT_EQ(QOV_SUCCESS, used->setup());
        }
        const MC_PIPELINE again = mc();
        SetupModule *fresh = m.fresh();
        ASSERT_EQ(QOV_SUCCESS, pipeline->registerModule(fresh));
        {
            vovatest::LogCapture quiet;
            ASSERT_EQ(QOV_SUCCESS, fresh->load(ParameterList()));
            ASSERT_EQ(QOV_SUCCESS, fresh->setup());
        }
        EXPECT_EQ("", differingRecords(again, mc()));
    }
    out = nullptr;  // replaced
    iif = nullptr;
}

// Keys that change nothing alone: the frame timing comes from the sensor,
// the number of lines is rounded to the value of the default, a matrix must
// be loaded to enable, a data-extraction point needs a format, and the
// number of colours is that of the colours enabled.
const Exception kNoEffectAlone[] = {
    {"FLD", "FLD_FRAME_RATE"}, {"FLD", "FLD_VTOT"},    {"ENS", "ENS_REGION_NUMLINES"}, {"LSH", "LSH_MATRIX_ENABLE"},
    {"OUT", "OUT_DE_POINT"},   {"MIE", "MIE_MEMORY_COLOURS"},
};

// Keys a key needs to matter: the image enhancer reads the keys of enabled
// colours only, the tile statistics as many curve values as it has lines.
vovatest::Entries contextOf(const std::string &module, const std::string &key)
{
    if (module == "MIE" && key.rfind("MIE_ENABLED", 0) != 0)
        return {{"MIE_ENABLED_0", {"1"}}, {"MIE_ENABLED_1", {"1"}}, {"MIE_ENABLED_2", {"1"}}};
    if (module == "AWS" && key.rfind("AWS_CURVE_", 0) == 0)
        return {{"AWS_CURVES_NUM", {"5"}}};
    return {};
}

// Every key of a module reaches the hardware: set up at a value other than
// its default, it changes the module's record.
TEST_F(ModuleRecords, EachKeyAloneChangesTheRecord)
{
    for (const Made &m : modules()) {
        SetupModule *probe = m.fresh();
        ASSERT_EQ(QOV_SUCCESS, pipeline->registerModule(probe));
        const ParameterList values = distinctValues(*probe);
        for (const auto &entry : values) {
            bool exempt = false;
            for (const Exception &e : kNoEffectAlone)
                exempt = exempt || (entry.first == e.key && std::string(m.name) == e.module);
            if (exempt)
                continue;
            SCOPED_TRACE(std::string(m.name) + " " + entry.first);
            SetupModule *module = m.fresh();
            ASSERT_EQ(QOV_SUCCESS, pipeline->registerModule(module));
            QOV_RESULT loaded, set;
            const ParameterList context = vovatest::listOf(contextOf(m.name, entry.first));
            {
                vovatest::LogCapture quiet;
                ASSERT_EQ(QOV_SUCCESS, module->load(context));
                ASSERT_EQ(QOV_SUCCESS, module->setup());
            }
            const MC_PIPELINE defaults = mc();
            {
                vovatest::LogCapture quiet;
                ParameterList one = context;
                one.addParameter(entry.second, true);
                loaded = module->load(one);
                set = module->setup();
            }
            if (loaded == QOV_SUCCESS && set == QOV_SUCCESS) {
                EXPECT_NE("", differingRecords(defaults, mc()));
            }
        }
    }
    out = nullptr;  // replaced
    iif = nullptr;
}

}  // namespace modulekeys
