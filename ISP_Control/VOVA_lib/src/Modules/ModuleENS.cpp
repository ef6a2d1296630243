// Encoder statistics: three keys; loading leaves both numbers powers of two,
// which the conversion of the record requires.
#include "vova/ModuleENS.h"

namespace VOVA {

const ParamDefSingle<bool> ModuleENS::ENS_ENABLE("ENS_ENABLE", false);
const ParamDef<int> ModuleENS::ENS_REGION_NUMLINES("ENS_REGION_NUMLINES", 8, 256, 16);
const ParamDef<int> ModuleENS::ENS_SUBS_FACTOR("ENS_SUBS_FACTOR", 1, 32, 1);

const KeyTable<ModuleENS> &ModuleENS::keys()
{
    typedef Keys<ModuleENS> K;
    static const KeyTable<ModuleENS> table = K::table(K::flag(ENS_ENABLE, &ModuleENS::bEnable),
                                                      K::number(ENS_REGION_NUMLINES, &ModuleENS::ui32NLines),
                                                      K::number(ENS_SUBS_FACTOR, &ModuleENS::ui32SubsamplingFactor));
    return table;
}

ModuleENS::ModuleENS() : FamilyModule("VOVA_MOD_ENS") { load(ParameterList()); }

namespace {

// The value itself when it is a power of two, else the next one up (the
// values come clamped to at most 256, so the result fits).
QOV_UINT32 nextPowerOfTwo(QOV_UINT32 v)
{
    QOV_UINT32 p = 1;
    while (p < v)
        p <<= 1;
    return p;
}

}  // namespace

QOV_RESULT ModuleENS::load(const ParameterList &parameters)
{
    QOV_RESULT ret = FamilyModule::load(parameters);
    if (ret != QOV_SUCCESS)
        return ret;
    struct {
        const ParamDef<int> &def;
        QOV_UINT32 &field;
    } rounded[] = {{ENS_REGION_NUMLINES, ui32NLines}, {ENS_SUBS_FACTOR, ui32SubsamplingFactor}};
    for (auto &r : rounded) {
        const QOV_UINT32 power = nextPowerOfTwo(r.field);
        if (power != r.field) {
            LOG_Warning("load", __LINE__, getLoggingName(),
                        "loaded value for %s (%d) is not a power of 2! Rounding to next power of 2: %d\n",
                        r.def.name.c_str(), static_cast<int>(r.field), static_cast<int>(power));
            r.field = power;
        }
    }
    return QOV_SUCCESS;
}

QOV_RESULT ModuleENS::writeRecord(MC_PIPELINE &mc)
{
    MC_ENS &ens = mc.sENS;
    ens.bEnable = bEnable ? QOV_TRUE : QOV_FALSE;
    ens.ui32NLines = ui32NLines;
    ens.ui32KernelSubsampling = ui32SubsamplingFactor;
    return QOV_SUCCESS;
}

}  // namespace VOVA
