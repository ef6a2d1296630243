// Raw look-up table: a mode by name and a family of four point keys, one
// per channel.
#include "vova/ModuleRLT.h"

#include <cstring>

namespace VOVA {

namespace {
const unsigned int kNoPoints[16] = {};

const ModuleRLT::Mode kModes[] = {ModuleRLT::RLT_DISABLED, ModuleRLT::RLT_LINEAR, ModuleRLT::RLT_CUBIC};

std::string modeList()
{
    std::string list = "{";
    for (size_t i = 0; i < sizeof(kModes) / sizeof(kModes[0]); i++)
        list += (i ? ", " : "") + ModuleRLT::getRLTModeString(kModes[i]);
    return list + "}";
}

// The point key of channel c, "RLT_POINTS_" and c.
std::unique_ptr<const KeyBinding<ModuleRLT>> channelPoints(unsigned c)
{
    static const ParamDefArray<unsigned int> defs[4] = {
        ModuleRLT::RLT_POINTS_S.indexed(0), ModuleRLT::RLT_POINTS_S.indexed(1), ModuleRLT::RLT_POINTS_S.indexed(2),
        ModuleRLT::RLT_POINTS_S.indexed(3)};
    const ParamDefArray<unsigned int> &def = defs[c];
    return Keys<ModuleRLT>::custom(
        def.name,
        [&def, c](ModuleRLT &m, const ParameterList &list) {
            for (unsigned j = 0; j < 16; j++)
                m.aLUTPoints[c][j] = static_cast<QOV_UINT16>(list.getParameter(def, j));
            return QOV_SUCCESS;
        },
        [&def, c](const ModuleRLT &m, ParameterList &list, ModuleBase::SaveType t) {
            if (t != ModuleBase::SAVE_VAL)
                return family::saveBound(def, list, t);
            std::vector<std::string> values;
            for (unsigned j = 0; j < 16; j++)
                values.push_back(toString<unsigned int>(m.aLUTPoints[c][j]));
            list.addParameter(def, values, true);
        });
}
}  // namespace

const ParamDefSingle<std::string> ModuleRLT::RLT_CORRECTION_MODE("RLT_CORRECTION_MODE", "DISABLED");
const ParamDefArray<unsigned int> ModuleRLT::RLT_POINTS_S("RLT_POINTS", 0, 65535, kNoPoints, 16);

const KeyTable<ModuleRLT> &ModuleRLT::keys()
{
    typedef Keys<ModuleRLT> K;
    static const KeyTable<ModuleRLT> table = K::table(
        channelPoints(0), channelPoints(1), channelPoints(2), channelPoints(3),
        K::custom(
            RLT_CORRECTION_MODE.name,
            [](ModuleRLT &m, const ParameterList &list) {
                m.eMode = getRLTMode(list.getParameter(RLT_CORRECTION_MODE));
                return QOV_SUCCESS;
            },
            [](const ModuleRLT &m, ParameterList &list, ModuleBase::SaveType t) {
                if (t == ModuleBase::SAVE_VAL) {
                    list.addParameter(RLT_CORRECTION_MODE, getRLTModeString(m.eMode), true);
                } else if (t == ModuleBase::SAVE_DEF) {
                    Parameter p(RLT_CORRECTION_MODE.name, RLT_CORRECTION_MODE.def);
                    p.setInfo(modeList());
                    list.addParameter(p, true);
                } else {
                    family::saveBound(RLT_CORRECTION_MODE, list, t);
                }
            }));
    return table;
}

ModuleRLT::ModuleRLT() : FamilyModule("VOVA_MOD_RLT") { load(ParameterList()); }

ModuleRLT::Mode ModuleRLT::getRLTMode(const std::string &stringFormat)
{
    if (stringFormat == "LINEAR")
        return RLT_LINEAR;
    if (stringFormat == "CUBIC")
        return RLT_CUBIC;
    return RLT_DISABLED;
}

std::string ModuleRLT::getRLTModeString(Mode mode)
{
    switch (mode) {
    case RLT_LINEAR:
        return "LINEAR";
    case RLT_CUBIC:
        return "CUBIC";
    default:
        return "DISABLED";
    }
}

QOV_RESULT ModuleRLT::writeRecord(MC_PIPELINE &mc)
{
    if (static_cast<int>(eMode) < 0 || static_cast<int>(eMode) > RLT_CUBIC) {
        LOG_Error("setup", __LINE__, getLoggingName(), "unknown RLT mode %d\n", static_cast<int>(eMode));
        return QOV_ERROR_FAILURE;
    }
    mc.sRLT.eMode = static_cast<CI_RLT_MODES>(eMode);
    std::memcpy(mc.sRLT.aPoints, aLUTPoints, sizeof(mc.sRLT.aPoints));
    return QOV_SUCCESS;
}

}  // namespace VOVA
