// Gamma: one switch copied into the record.
#include "vova/ModuleGMA.h"

namespace VOVA {

const ParamDefSingle<bool> ModuleGMA::GMA_BYPASS("GMA_BYPASS", false);

const KeyTable<ModuleGMA> &ModuleGMA::keys()
{
    typedef Keys<ModuleGMA> K;
    static const KeyTable<ModuleGMA> table = K::table(K::flag(GMA_BYPASS, &ModuleGMA::bBypass));
    return table;
}

ModuleGMA::ModuleGMA() : FamilyModule("VOVA_MOD_GMA") { load(ParameterList()); }

QOV_RESULT ModuleGMA::writeRecord(MC_PIPELINE &mc)
{
    mc.sGMA.bBypass = bBypass ? QOV_TRUE : QOV_FALSE;
    return QOV_SUCCESS;
}

}  // namespace VOVA
