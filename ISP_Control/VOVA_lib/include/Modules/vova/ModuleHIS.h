// Histogram statistics: a 64-bin histogram of the frame and 16-bin
// histograms of the tiles of a 7 x 7 grid. The exposure, tone-mapping and
// light-based controls also write the fields.
#ifndef VOVA_MODULEHIS_H
#define VOVA_MODULEHIS_H

#include "vova/ModuleFamily.h"

namespace VOVA {

class ModuleHIS : public FamilyModule<ModuleHIS, STP_HIS> {
public:
    static const ParamDefSingle<bool> HIS_GLOBAL;
    static const ParamDefSingle<bool> HIS_GRID;
    /** The controls take their offset and scale from these two defaults. */
    static const ParamDef<int> HIS_INPUTOFF;
    static const ParamDef<int> HIS_INPUTSCALE;
    static const ParamDefArray<int> HIS_GRIDSTART;
    static const ParamDefArray<int> HIS_GRIDSIZE;

    bool bEnableGlobal;            ///< the 64-bin histogram of the frame
    bool bEnableROI;               ///< the 16-bin histograms of the grid's tiles
    QOV_UINT32 ui32InputOffset;    ///< input offset of the block
    QOV_UINT32 ui32InputScale;     ///< input scale of the block
    QOV_UINT32 aGridStartCoord[2]; ///< top-left pixel of the grid, x then y
    QOV_UINT32 aGridTileSize[2];   ///< size of one tile in pixels, width then height

    ModuleHIS();

    static const char *className() { return "ModuleHIS"; }
    static const char *groupHeader() { return "// Histogram Statistics parameters"; }
    static const KeyTable<ModuleHIS> &keys();
    /** The grid values go as their low 16 bits. */
    QOV_RESULT writeRecord(MC_PIPELINE &mc);
    QOV_BOOL8 *recordFlag(MC_PIPELINE &mc) { return &mc.sHIS.updateNeeded; }
};

}  // namespace VOVA

#endif  // VOVA_MODULEHIS_H
