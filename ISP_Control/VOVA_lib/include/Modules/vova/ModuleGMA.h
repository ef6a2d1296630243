// Gamma: the look-up block of the RGB pipeline on or bypassed. The curve is
// the driver's own table and is not configured here.
#ifndef VOVA_MODULEGMA_H
#define VOVA_MODULEGMA_H

#include "vova/ModuleFamily.h"

namespace VOVA {

class ModuleGMA : public FamilyModule<ModuleGMA, STP_GMA> {
public:
    static const ParamDefSingle<bool> GMA_BYPASS;

    bool bBypass;  ///< true to bypass the gamma look-up

    ModuleGMA();

    static const char *className() { return "ModuleGMA"; }
    static const char *groupHeader() { return "// Gamma Look Up Table parameters"; }
    static const KeyTable<ModuleGMA> &keys();
    QOV_RESULT writeRecord(MC_PIPELINE &mc);
    QOV_BOOL8 *recordFlag(MC_PIPELINE &mc) { return &mc.sGMA.updateNeeded; }
};

}  // namespace VOVA

#endif  // VOVA_MODULEGMA_H
