// Black-level correction: the sensor's black level per Bayer channel, which
// the hardware subtracts as a fixed offset, and the system black level at
// which black sits for the rest of the pipeline.
#ifndef VOVA_MODULEBLC_H
#define VOVA_MODULEBLC_H

#include "vova/ModuleFamily.h"

namespace VOVA {

class ModuleBLC : public FamilyModule<ModuleBLC, STP_BLC> {
public:
    static const ParamDefArray<int> BLC_SENSOR_BLACK;
    static const ParamDef<int> BLC_SYS_BLACK;

    QOV_INT32 aSensorBlack[4];   ///< per channel of the sensor's 2x2 cell, in sensor values
    QOV_UINT32 ui32SystemBlack;  ///< system black level

    ModuleBLC();

    static const char *className() { return "ModuleBLC"; }
    static const char *groupHeader() { return "// Black Level Correction parameters"; }
    static const KeyTable<ModuleBLC> &keys();
    /** Offsets = minus the sensor black, saturated to the signed 8-bit field. */
    QOV_RESULT writeRecord(MC_PIPELINE &mc);
    QOV_BOOL8 *recordFlag(MC_PIPELINE &mc) { return &mc.sBLC.updateNeeded; }
};

}  // namespace VOVA

#endif  // VOVA_MODULEBLC_H
