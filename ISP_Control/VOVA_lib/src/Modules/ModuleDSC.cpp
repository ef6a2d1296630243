// Display scaler: the shared scaler keys and set-up, and an output of even
// width whose height may stay odd.
#include "vova/ModuleDSC.h"

namespace VOVA {

namespace {

const ModuleScalerBase::Messages MESSAGES = {
    "DSC",
    "Inavalid rectangle type: %s\n",
    "forcing the DSC width to the imager's size\n",
    "the width %d to compute the DSC horizontal pitch from is bigger than the imager's width (%d)!\n",
    "force rectangle type to be output sizes to compute the DSC pitch\n",
    "forcing the DSC height to the imager's size\n",
    "the height %d to compute the DSC vertical pitch from is bigger than the imager's height (%d)!\n",
};

}  // namespace

const ParamDefSingle<std::string> ModuleDSC::DSC_RECTTYPE("DSC_RECT_TYPE", "croprect");
const ParamDefSingle<bool> ModuleDSC::DSC_ADJUSTCUTOFF("DSC_ADJUST_CUTOFF_FREQ", false);
const ParamDefArray<double> ModuleDSC::DSC_PITCH("DSC_PITCH", 0.0, 16.0, PITCH_DEFAULTS, 2);
const ParamDefArray<int> ModuleDSC::DSC_RECT("DSC_RECT", 0, 8192, RECT_DEFAULTS, 4);

const KeyTable<ModuleDSC> &ModuleDSC::keys()
{
    static const KeyTable<ModuleDSC> table =
        keyTable<ModuleDSC>({DSC_RECTTYPE, DSC_ADJUSTCUTOFF, DSC_PITCH, DSC_RECT}, MESSAGES, nullptr);
    return table;
}

ModuleDSC::ModuleDSC() : FamilyModule("VOVA_MOD_DSC") { load(ParameterList()); }

QOV_RESULT ModuleDSC::writeRecord(MC_PIPELINE &mc)
{
    MC_DSC &r = mc.sDSC;
    QOV_RESULT ret = computeOutput(mc.sIIF, MESSAGES, getLoggingName(), false, r.aOutputSize, r.aOffset, r.aPitch);
    if (ret != QOV_SUCCESS)
        return ret;
    r.bBypassDSC = QOV_FALSE;
    r.bAdjustCutoff = bAdjustTaps ? QOV_TRUE : QOV_FALSE;
    return QOV_SUCCESS;
}

}  // namespace VOVA
