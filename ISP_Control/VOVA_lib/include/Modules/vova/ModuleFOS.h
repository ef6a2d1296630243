// Focus statistics: sharpness of one region of interest and of the tiles of
// a 7 x 7 grid. The auto-focus control and the output module also write the
// fields.
#ifndef VOVA_MODULEFOS_H
#define VOVA_MODULEFOS_H

#include "vova/ModuleFamily.h"

namespace VOVA {

class ModuleFOS : public FamilyModule<ModuleFOS, STP_FOS> {
public:
    static const ParamDefSingle<bool> FOS_ROI;
    static const ParamDefArray<int> FOS_ROISTART;
    static const ParamDefArray<int> FOS_ROIEND;
    static const ParamDefSingle<bool> FOS_GRID;
    static const ParamDefArray<int> FOS_GRIDSTART;
    static const ParamDefArray<int> FOS_GRIDSIZE;

    bool bEnableROI;               ///< measure the region of interest
    QOV_UINT32 aRoiStartCoord[2];  ///< first pixel of the region, x then y
    QOV_UINT32 aRoiEndCoord[2];    ///< last pixel of the region (included), x then y
    bool bEnableGrid;              ///< measure the grid's tiles
    QOV_UINT32 aGridStartCoord[2]; ///< top-left pixel of the grid, x then y
    QOV_UINT32 aGridTileSize[2];   ///< size of one tile in pixels, width then height

    ModuleFOS();

    static const char *className() { return "ModuleFOS"; }
    static const char *groupHeader() { return "// Focus Statistics parameters"; }
    static const KeyTable<ModuleFOS> &keys();
    /**
     * The record's "global" is the grid, its "region" the region of interest,
     * whose size is end - start + 1. Values go as their low 16 bits, unchecked.
     */
    QOV_RESULT writeRecord(MC_PIPELINE &mc);
    QOV_BOOL8 *recordFlag(MC_PIPELINE &mc) { return &mc.sFOS.updateNeeded; }
};

}  // namespace VOVA

#endif  // VOVA_MODULEFOS_H
