// Histogram statistics: six keys copied into the record.
#include "vova/ModuleHIS.h"

namespace VOVA {

namespace {
const int kGridStart[2] = {0, 0};
const int kTileSize[2] = {10, 8};
}  // namespace

const ParamDefSingle<bool> ModuleHIS::HIS_GLOBAL("HIS_GLOBAL_ENABLE", false);
const ParamDefSingle<bool> ModuleHIS::HIS_GRID("HIS_REGIONAL_ENABLE", false);
const ParamDef<int> ModuleHIS::HIS_INPUTOFF("HIS_INPUT_OFFSET", 0, 1023, 256);
const ParamDef<int> ModuleHIS::HIS_INPUTSCALE("HIS_INPUT_SCALE", 0, 65535, 32767);
const ParamDefArray<int> ModuleHIS::HIS_GRIDSTART("HIS_GRID_START_COORDS", 0, 8191, kGridStart, 2);
const ParamDefArray<int> ModuleHIS::HIS_GRIDSIZE("HIS_GRID_TILE_DIMENSIONS", 8, 4095, kTileSize, 2);

const KeyTable<ModuleHIS> &ModuleHIS::keys()
{
    typedef Keys<ModuleHIS> K;
    static const KeyTable<ModuleHIS> table = K::table(
        K::flag(HIS_GLOBAL, &ModuleHIS::bEnableGlobal), K::flag(HIS_GRID, &ModuleHIS::bEnableROI),
        K::number(HIS_INPUTOFF, &ModuleHIS::ui32InputOffset), K::number(HIS_INPUTSCALE, &ModuleHIS::ui32InputScale),
        K::array(HIS_GRIDSTART, &ModuleHIS::aGridStartCoord), K::array(HIS_GRIDSIZE, &ModuleHIS::aGridTileSize));
    return table;
}

ModuleHIS::ModuleHIS() : FamilyModule("VOVA_MOD_HIS") { load(ParameterList()); }

QOV_RESULT ModuleHIS::writeRecord(MC_PIPELINE &mc)
{
    MC_HIS &his = mc.sHIS;
    his.bGlobalEnable = bEnableGlobal ? QOV_TRUE : QOV_FALSE;
    his.bRegionEnable = bEnableROI ? QOV_TRUE : QOV_FALSE;
    his.fInputOffset = static_cast<double>(ui32InputOffset);
    his.fInputScale = static_cast<double>(ui32InputScale);
    his.ui16Left = static_cast<QOV_UINT16>(aGridStartCoord[0]);
    his.ui16Top = static_cast<QOV_UINT16>(aGridStartCoord[1]);
    his.ui16Width = static_cast<QOV_UINT16>(aGridTileSize[0]);
    his.ui16Height = static_cast<QOV_UINT16>(aGridTileSize[1]);
    return QOV_SUCCESS;
}

}  // namespace VOVA
