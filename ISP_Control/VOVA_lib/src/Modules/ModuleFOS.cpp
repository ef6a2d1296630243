// Focus statistics: six keys; the region of interest is kept by its corners
// and written by its size.
#include "vova/ModuleFOS.h"

namespace VOVA {

namespace {
const int kZero[2] = {0, 0};
}

const ParamDefSingle<bool> ModuleFOS::FOS_ROI("FOS_ROI_ENABLE", false);
const ParamDefArray<int> ModuleFOS::FOS_ROISTART("FOS_ROI_START_COORDS", 0, 32767, kZero, 2);
const ParamDefArray<int> ModuleFOS::FOS_ROIEND("FOS_ROI_END_COORDS", 0, 32767, kZero, 2);
const ParamDefSingle<bool> ModuleFOS::FOS_GRID("FOS_GRID_ENABLE", false);
const ParamDefArray<int> ModuleFOS::FOS_GRIDSTART("FOS_GRID_START_COORDS", 0, 32767, kZero, 2);
const ParamDefArray<int> ModuleFOS::FOS_GRIDSIZE("FOS_GRID_TILE_SIZE", 0, 32767, kZero, 2);

const KeyTable<ModuleFOS> &ModuleFOS::keys()
{
    typedef Keys<ModuleFOS> K;
    static const KeyTable<ModuleFOS> table = K::table(
        K::flag(FOS_ROI, &ModuleFOS::bEnableROI), K::array(FOS_ROISTART, &ModuleFOS::aRoiStartCoord),
        K::array(FOS_ROIEND, &ModuleFOS::aRoiEndCoord), K::flag(FOS_GRID, &ModuleFOS::bEnableGrid),
        K::array(FOS_GRIDSTART, &ModuleFOS::aGridStartCoord), K::array(FOS_GRIDSIZE, &ModuleFOS::aGridTileSize));
    return table;
}

ModuleFOS::ModuleFOS() : FamilyModule("VOVA_MOD_FOS") { load(ParameterList()); }

QOV_RESULT ModuleFOS::writeRecord(MC_PIPELINE &mc)
{
    MC_FOS &fos = mc.sFOS;
    fos.bGlobalEnable = bEnableGrid ? QOV_TRUE : QOV_FALSE;
    fos.bRegionEnable = bEnableROI ? QOV_TRUE : QOV_FALSE;
    fos.ui16Left = static_cast<QOV_UINT16>(aGridStartCoord[0]);
    fos.ui16Top = static_cast<QOV_UINT16>(aGridStartCoord[1]);
    fos.ui16Width = static_cast<QOV_UINT16>(aGridTileSize[0]);
    fos.ui16Height = static_cast<QOV_UINT16>(aGridTileSize[1]);
    fos.ui16ROILeft = static_cast<QOV_UINT16>(aRoiStartCoord[0]);
    fos.ui16ROITop = static_cast<QOV_UINT16>(aRoiStartCoord[1]);
    // An end before its start wraps, as the hardware's 16-bit fields do.
    fos.ui16ROIWidth = static_cast<QOV_UINT16>(aRoiEndCoord[0] - aRoiStartCoord[0] + 1);
    fos.ui16ROIHeight = static_cast<QOV_UINT16>(aRoiEndCoord[1] - aRoiStartCoord[1] + 1);
    return QOV_SUCCESS;
}

}  // namespace VOVA
