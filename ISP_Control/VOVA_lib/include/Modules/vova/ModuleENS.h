// Encoder statistics: an output for a video encoder, measured over regions
// of a number of lines with a sub-sampled kernel; both numbers are powers of
// two, and loading rounds them up to one.
#ifndef VOVA_MODULEENS_H
#define VOVA_MODULEENS_H

#include "vova/ModuleFamily.h"

namespace VOVA {

class ModuleENS : public FamilyModule<ModuleENS, STP_ENS> {
public:
    static const ParamDefSingle<bool> ENS_ENABLE;
    static const ParamDef<int> ENS_REGION_NUMLINES;
    static const ParamDef<int> ENS_SUBS_FACTOR;

    bool bEnable;                     ///< produce the encoder statistics
    QOV_UINT32 ui32NLines;            ///< lines per region, a power of two after loading
    QOV_UINT32 ui32SubsamplingFactor; ///< kernel sub-sampling, a power of two after loading

    ModuleENS();

    /** Reads the keys, then rounds each number up to a power of two with a warning. */
    QOV_RESULT load(const ParameterList &parameters) override;

    static const char *className() { return "ModuleENS"; }
    /** The same header as the defective-pixel module's. */
    static const char *groupHeader() { return "// Defective Pixels parameters"; }
    static const KeyTable<ModuleENS> &keys();
    QOV_RESULT writeRecord(MC_PIPELINE &mc);
    QOV_BOOL8 *recordFlag(MC_PIPELINE &mc) { return &mc.sENS.updateNeeded; }
};

}  // namespace VOVA

#endif  // VOVA_MODULEENS_H
