// Exposure statistics: counts of clipped pixels over the whole frame and in
// the tiles of a 7 x 7 grid, against a pixel maximum.
#ifndef VOVA_MODULEEXS_H
#define VOVA_MODULEEXS_H

#include "vova/ModuleFamily.h"

namespace VOVA {

class ModuleEXS : public FamilyModule<ModuleEXS, STP_EXS> {
public:
    static const ParamDefSingle<bool> EXS_GLOBAL;
    static const ParamDefSingle<bool> EXS_REGIONAL;
    static const ParamDefArray<int> EXS_GRIDSTART;
    static const ParamDefArray<int> EXS_GRIDTILE;
    static const ParamDef<int> EXS_PIXELMAX;

    bool bEnableGlobal;          ///< clipping counts of the whole frame
    bool bEnableRegion;          ///< clipping counts of the grid's tiles
    QOV_UINT32 aGridStart[2];    ///< top-left pixel of the grid, x then y
    QOV_UINT32 aGridTileSize[2]; ///< size of one tile in pixels, width then height
    QOV_INT i32PixelMax;         ///< clipping level

    ModuleEXS();

    static const char *className() { return "ModuleEXS"; }
    static const char *groupHeader() { return "// Exposure Statistics parameters"; }
    static const KeyTable<ModuleEXS> &keys();
    /** The grid values go as their low 16 bits. */
    QOV_RESULT writeRecord(MC_PIPELINE &mc);
    QOV_BOOL8 *recordFlag(MC_PIPELINE &mc) { return &mc.sEXS.updateNeeded; }
};

}  // namespace VOVA

#endif  // VOVA_MODULEEXS_H
