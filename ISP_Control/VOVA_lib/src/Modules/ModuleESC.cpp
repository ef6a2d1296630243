// Encoder scaler: the shared scaler keys and set-up, the chroma siting key,
// and an output of even width and height.
#include "vova/ModuleESC.h"

namespace VOVA {

namespace {

const ModuleScalerBase::Messages MESSAGES = {
    "ESC",
    "Invalid rectangle type: %s\n",
    "forcing ESC output width to the imager's size\n",
    "the width %d to compute the ESC horizontal pitch from is bigger than the imager's width (%d)!\n",
    "force rectangle type to be output sizes to compute the ESC pitch\n",
    "forcing ESC output height to the imager's size\n",
    "ERROR - the height %d to compute the ESC vertical pitch from is bigger than the imager's height (%d)!\n",
};

const char *const INTER = "inter";
const char *const CO_SITED = "co-sited";

}  // namespace

const ParamDefSingle<std::string> ModuleESC::ESC_RECTTYPE("ESC_RECT_TYPE", "croprect");
const ParamDefSingle<bool> ModuleESC::ESC_ADJUSTCUTOFF("ESC_ADJUST_CUTOFF_FREQ", false);
const ParamDefArray<double> ModuleESC::ESC_PITCH("ESC_PITCH", 0.0, 16.0, PITCH_DEFAULTS, 2);
const ParamDefArray<int> ModuleESC::ESC_RECT("ESC_RECT", 0, 8192, RECT_DEFAULTS, 4);
const ParamDefSingle<std::string> ModuleESC::ESC_CHROMA_MODE("ESC_CHROMA_MODE", INTER);

const KeyTable<ModuleESC> &ModuleESC::keys()
{
    static const KeyTable<ModuleESC> table = keyTable<ModuleESC>(
        {ESC_RECTTYPE, ESC_ADJUSTCUTOFF, ESC_PITCH, ESC_RECT}, MESSAGES,
        Keys<ModuleESC>::custom(
            ESC_CHROMA_MODE.name,
            [](ModuleESC &m, const ParameterList &list) {
                const std::string mode = list.getParameter(ESC_CHROMA_MODE);
                if (mode != INTER && mode != CO_SITED) {
                    LOG_Error("load", __LINE__, m.getLoggingName(), "Invalid chroma mode: %s\n", mode.c_str());
                    return QOV_ERROR_FAILURE;
                }
                m.bChromaInterstitial = mode == INTER;
                return QOV_SUCCESS;
            },
            [](const ModuleESC &m, ParameterList &list, ModuleBase::SaveType t) {
                if (t == ModuleBase::SAVE_VAL) {
                    list.addParameter(ESC_CHROMA_MODE, std::string(m.bChromaInterstitial ? INTER : CO_SITED), true);
                } else if (t == ModuleBase::SAVE_DEF) {
                    Parameter p(ESC_CHROMA_MODE.name, ESC_CHROMA_MODE.def);
                    p.setInfo(std::string("{") + INTER + ", " + CO_SITED + "}");
                    list.addParameter(p, true);
                } else {
                    family::saveBound(ESC_CHROMA_MODE, list, t);
                }
            }));
    return table;
}

ModuleESC::ModuleESC() : FamilyModule("VOVA_MOD_ESC") { load(ParameterList()); }

QOV_RESULT ModuleESC::save(ParameterList &parameters, ModuleBase::SaveType t) const
{
    if (t == ModuleBase::SAVE_VAL && !rectTypeName(eRectType)) {
        parameters.addGroup(className(), getGroup());
        LOG_Error("save", __LINE__, getLoggingName(), "Invalid rectangle type: %d\n", eRectType);
        return QOV_ERROR_WRONG_STATE;
    }
    return FamilyModule::save(parameters, t);
}

QOV_RESULT ModuleESC::writeRecord(MC_PIPELINE &mc)
{
    MC_ESC &r = mc.sESC;
    QOV_RESULT ret = computeOutput(mc.sIIF, MESSAGES, getLoggingName(), true, r.aOutputSize, r.aOffset, r.aPitch);
    if (ret != QOV_SUCCESS)
        return ret;
    r.bBypassESC = QOV_FALSE;
    r.bAdjustCutoff = bAdjustTaps ? QOV_TRUE : QOV_FALSE;
    r.bChromaInter = bChromaInterstitial ? QOV_TRUE : QOV_FALSE;
    return QOV_SUCCESS;
}

}  // namespace VOVA
