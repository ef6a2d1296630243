// White-balance gains of both hardware generations. The 2.6 module loads,
// saves and writes the base part first and then its RGB stage.
#include "vova/ModuleWBC.h"

#include "vova/ModuleLSH.h"

namespace VOVA {

namespace {
const double kOnes[4] = {1.0, 1.0, 1.0, 1.0};
const WBC_MODES kNoMode = static_cast<WBC_MODES>(-1);
}  // namespace

const ParamDefArray<double> ModuleWBC::WBC_GAIN("LSH_WBGAIN", 0.5, 8.0, kOnes, 4);
const ParamDefArray<double> ModuleWBC::WBC_CLIP("LSH_WBCLIP", 0.5, 2.0, kOnes, 4);

const KeyTable<ModuleWBC> &ModuleWBC::keys()
{
    typedef Keys<ModuleWBC> K;
    static const KeyTable<ModuleWBC> table =
        K::table(K::array(WBC_GAIN, &ModuleWBC::aWBGain), K::array(WBC_CLIP, &ModuleWBC::aWBClip));
    return table;
}

ModuleWBC::ModuleWBC() : FamilyModule("VOVA_MOD_WBC") { load(ParameterList()); }

ModuleWBC::ModuleWBC(const std::string &loggingName) : FamilyModule(loggingName) {}

QOV_RESULT ModuleWBC::writeRecord(MC_PIPELINE &mc)
{
    double scale = 1.0;
    if (const ModuleLSH *lsh = dynamic_cast<const ModuleLSH *>(pipeline->getModule(STP_LSH)))
        scale = lsh->getCurrentScaleWB();
    else
        LOG_Warning("setup", __LINE__, getLoggingName(), "pipeline does not have an LSH module to get scaleWB from\n");
    for (int i = 0; i < 4; i++) {
        mc.sWBC.aGain[i] = aWBGain[i] * scale;
        mc.sWBC.aClip[i] = aWBClip[i] * 256.0;
    }
    return QOV_SUCCESS;
}

const ParamDefArray<double> ModuleWBC2_6::WBC_RGB_GAIN("WBC_RGB_GAIN", 0.0, 16.0, kOnes, 3);
const ParamDefArray<double> ModuleWBC2_6::WBC_RGB_THRESHOLD("WBC_RGB_THRESHOLD", 0.0, 1.0, kOnes, 3);
const ParamDefSingle<std::string> ModuleWBC2_6::WBC_RGB_MODE("WBC_RGB_MODE", "saturation");

const KeyTable<ModuleWBC2_6> &ModuleWBC2_6::keys()
{
    typedef Keys<ModuleWBC2_6> K;
    static const KeyTable<ModuleWBC2_6> table = K::table(
        K::array(WBC_RGB_GAIN, &ModuleWBC2_6::afRGBGain), K::array(WBC_RGB_THRESHOLD, &ModuleWBC2_6::afRGBThreshold),
        K::custom(
            WBC_RGB_MODE.name,
            [](ModuleWBC2_6 &m, const ParameterList &list) {
                const std::string name = list.getParameter(WBC_RGB_MODE);
                const WBC_MODES mode = getRGBMode(name);
                if (mode == kNoMode) {
                    LOG_Error("load", __LINE__, m.getLoggingName(), "Invalid saturation mode value %s\n",
                              name.c_str());
                    return QOV_ERROR_FAILURE;
                }
                m.eRGBThresholdMode = mode;
                return QOV_SUCCESS;
            },
            [](const ModuleWBC2_6 &m, ParameterList &list, ModuleBase::SaveType t) {
                if (t == ModuleBase::SAVE_VAL)
                    list.addParameter(WBC_RGB_MODE, getRGBModeString(m.eRGBThresholdMode), true);
                else
                    family::saveBound(WBC_RGB_MODE, list, t);
            }));
    return table;
}

ParameterGroup ModuleWBC2_6::getGroup() { return family::groupOf(groupHeader(), keys()); }

ModuleWBC2_6::ModuleWBC2_6() : ModuleWBC("VOVA_MOD_WBC2_6"), eRGBThresholdMode(WBC_SATURATION)
{
    load(ParameterList());
}

WBC_MODES ModuleWBC2_6::getRGBMode(const std::string &mode)
{
    if (mode == "saturation")
        return WBC_SATURATION;
    if (mode == "threshold")
        return WBC_THRESHOLD;
    return kNoMode;
}

std::string ModuleWBC2_6::getRGBModeString(WBC_MODES mode)
{
    switch (mode) {
    case WBC_SATURATION:
        return "saturation";
    case WBC_THRESHOLD:
        return "threshold";
    default:
        return "unknown";
    }
}

QOV_RESULT ModuleWBC2_6::load(const ParameterList &parameters)
{
    QOV_RESULT ret = ModuleWBC::load(parameters);
    if (ret != QOV_SUCCESS) {
        LOG_Error("load", __LINE__, getLoggingName(), "loading ModuleWBC parameters - returned %d\n", ret);
        return ret;
    }
    return family::loadTable(*this, keys(), parameters);
}

QOV_RESULT ModuleWBC2_6::save(ParameterList &parameters, ModuleBase::SaveType t) const
{
    QOV_RESULT ret = ModuleWBC::save(parameters, t);
    if (ret != QOV_SUCCESS) {
        LOG_Error("save", __LINE__, getLoggingName(), "failed to save ModuleWBC parameters - returned %d\n", ret);
        return ret;
    }
    static const ParameterGroup group = getGroup();
    parameters.addGroup(className(), group);
    family::saveTable(*this, keys(), parameters, t);
    return ret;
}

QOV_RESULT ModuleWBC2_6::writeRecord(MC_PIPELINE &mc)
{
    QOV_RESULT ret = ModuleWBC::writeRecord(mc);
    if (ret != QOV_SUCCESS)
        return ret;
    for (int i = 0; i < 3; i++) {
        mc.sWBC.afRGBGain[i] = afRGBGain[i];
        mc.sWBC.afRGBThreshold[i] = afRGBThreshold[i];
    }
    mc.sWBC.eRGBThresholdMode = eRGBThresholdMode;
    return QOV_SUCCESS;
}

}  // namespace VOVA
