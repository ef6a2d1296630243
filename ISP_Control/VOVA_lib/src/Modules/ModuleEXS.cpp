// Exposure statistics: five keys copied into the record.
#include "vova/ModuleEXS.h"

namespace VOVA {

namespace {
const int kGridStart[2] = {0, 0};
const int kTileSize[2] = {9, 9};
}  // namespace

const ParamDefSingle<bool> ModuleEXS::EXS_GLOBAL("EXS_GLOBAL_ENABLE", false);
const ParamDefSingle<bool> ModuleEXS::EXS_REGIONAL("EXS_REGIONAL_ENABLE", false);
// The grid may start at 8192, one more than a tile may measure.
const ParamDefArray<int> ModuleEXS::EXS_GRIDSTART("EXS_GRID_START_COORDS", 0, 8192, kGridStart, 2);
const ParamDefArray<int> ModuleEXS::EXS_GRIDTILE("EXS_GRID_TILE_DIMENSIONS", 8, 8191, kTileSize, 2);
const ParamDef<int> ModuleEXS::EXS_PIXELMAX("EXS_PIXEL_MAX", 0, 4095, 4095);

const KeyTable<ModuleEXS> &ModuleEXS::keys()
{
    typedef Keys<ModuleEXS> K;
    static const KeyTable<ModuleEXS> table = K::table(
        K::flag(EXS_GLOBAL, &ModuleEXS::bEnableGlobal), K::flag(EXS_REGIONAL, &ModuleEXS::bEnableRegion),
        K::array(EXS_GRIDSTART, &ModuleEXS::aGridStart), K::array(EXS_GRIDTILE, &ModuleEXS::aGridTileSize),
        K::number(EXS_PIXELMAX, &ModuleEXS::i32PixelMax));
    return table;
}

ModuleEXS::ModuleEXS() : FamilyModule("VOVA_MOD_EXS") { load(ParameterList()); }

QOV_RESULT ModuleEXS::writeRecord(MC_PIPELINE &mc)
{
    MC_EXS &exs = mc.sEXS;
    exs.bGlobalEnable = bEnableGlobal ? QOV_TRUE : QOV_FALSE;
    exs.bRegionEnable = bEnableRegion ? QOV_TRUE : QOV_FALSE;
    exs.ui16Left = static_cast<QOV_UINT16>(aGridStart[0]);
    exs.ui16Top = static_cast<QOV_UINT16>(aGridStart[1]);
    exs.ui16Width = static_cast<QOV_UINT16>(aGridTileSize[0]);
    exs.ui16Height = static_cast<QOV_UINT16>(aGridTileSize[1]);
    exs.fPixelMax = static_cast<double>(i32PixelMax);
    return QOV_SUCCESS;
}

}  // namespace VOVA
