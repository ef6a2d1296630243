// White-balance statistics: the corner keys hold both regions in one list
// of four values; the thresholds become fixed-point maxima.
#include "vova/ModuleWBS.h"

#include <cmath>
#include <limits>

namespace VOVA {

namespace {
const double kMaxTH[2] = {0.75, 0.75};
const double kYHLWTH[2] = {0.75, 0.75};
const int kCorners[4] = {0, 0, 0, 0};

typedef QOV_UINT32 Corners[2][2];

// Value k of the key is element [k / 2][k % 2]: region by region, x then y.
std::unique_ptr<const KeyBinding<ModuleWBS>> corners(const ParamDefArray<int> &def, Corners ModuleWBS::*field)
{
    return Keys<ModuleWBS>::custom(
        def.name,
        [&def, field](ModuleWBS &m, const ParameterList &list) {
            for (unsigned k = 0; k < 4; k++)
                (m.*field)[k / 2][k % 2] = static_cast<QOV_UINT32>(list.getParameter(def, k));
            return QOV_SUCCESS;
        },
        [&def, field](const ModuleWBS &m, ParameterList &list, ModuleBase::SaveType t) {
            if (t != ModuleBase::SAVE_VAL)
                return family::saveBound(def, list, t);
            std::vector<std::string> values;
            for (unsigned k = 0; k < 4; k++)
                values.push_back(toString(static_cast<int>((m.*field)[k / 2][k % 2])));
            list.addParameter(def, values, true);
        });
}

// A threshold in 11 fractional bits, truncated towards zero, in the 16-bit field.
QOV_UINT16 fixedMax(double threshold)
{
    const double v = threshold * 2048.0;
    if (std::isnan(v))
        return 0;
    if (v <= std::numeric_limits<QOV_INT32>::min() || v >= std::numeric_limits<QOV_INT32>::max())
        return static_cast<QOV_UINT16>(v < 0 ? std::numeric_limits<QOV_INT32>::min()
                                              : std::numeric_limits<QOV_INT32>::max());
    return static_cast<QOV_UINT16>(static_cast<QOV_INT32>(v));
}
}  // namespace

const ParamDef<int> ModuleWBS::WBS_ROI("WBS_ROI_ENABLE", 0, 2, 0);
const ParamDefArray<double> ModuleWBS::WBS_R_MAX("WBS_RMAX_TH", 0.0, 1.0, kMaxTH, 2);
const ParamDefArray<double> ModuleWBS::WBS_G_MAX("WBS_GMAX_TH", 0.0, 1.0, kMaxTH, 2);
const ParamDefArray<double> ModuleWBS::WBS_B_MAX("WBS_BMAX_TH", 0.0, 1.0, kMaxTH, 2);
const ParamDefArray<double> ModuleWBS::WBS_Y_HLW("WBS_YHLW_TH", 0.0, 1.0, kYHLWTH, 2);
const ParamDefArray<int> ModuleWBS::WBS_ROISTART("WBS_ROI_START_COORDS", 0, 32767, kCorners, 4);
const ParamDefArray<int> ModuleWBS::WBS_ROIEND("WBS_ROI_END_COORDS", 0, 32767, kCorners, 4);

const KeyTable<ModuleWBS> &ModuleWBS::keys()
{
    typedef Keys<ModuleWBS> K;
    static const KeyTable<ModuleWBS> table = K::table(
        K::number(WBS_ROI, &ModuleWBS::ui32NROIEnabled), K::array(WBS_R_MAX, &ModuleWBS::aRedMaxTH),
        K::array(WBS_G_MAX, &ModuleWBS::aGreenMaxTH), K::array(WBS_B_MAX, &ModuleWBS::aBlueMaxTH),
        K::array(WBS_Y_HLW, &ModuleWBS::aYHLWTH), corners(WBS_ROISTART, &ModuleWBS::aROIStartCoord),
        corners(WBS_ROIEND, &ModuleWBS::aROIEndCoord));
    return table;
}

ModuleWBS::ModuleWBS() : FamilyModule("VOVA_MOD_WBS") { load(ParameterList()); }

QOV_RESULT ModuleWBS::writeRecord(MC_PIPELINE &mc)
{
    MC_WBS &wbs = mc.sWBS;
    for (int i = 0; i < 2; i++) {
        wbs.aRoiLeft[i] = static_cast<QOV_UINT16>(aROIStartCoord[i][0]);
        wbs.aRoiTop[i] = static_cast<QOV_UINT16>(aROIStartCoord[i][1]);
        // No + 1 here, unlike the focus region.
        wbs.aRoiWidth[i] = static_cast<QOV_UINT16>(aROIEndCoord[i][0] - aROIStartCoord[i][0]);
        wbs.aRoiHeight[i] = static_cast<QOV_UINT16>(aROIEndCoord[i][1] - aROIStartCoord[i][1]);
        wbs.aRMax[i] = fixedMax(aRedMaxTH[i]);
        wbs.aGMax[i] = fixedMax(aGreenMaxTH[i]);
        wbs.aBMax[i] = fixedMax(aBlueMaxTH[i]);
        wbs.aYMax[i] = fixedMax(aYHLWTH[i]);
    }
    wbs.fRGBOffset = 0.0;
    wbs.fYOffset = -127.0;
    wbs.ui8ActiveROI = static_cast<QOV_UINT8>(ui32NROIEnabled);
    if (wbs.ui8ActiveROI > 2) {
        LOG_Warning("setup", __LINE__, getLoggingName(), "Invalid number of regions activated %d, Max number is %d\n",
                    static_cast<int>(ui32NROIEnabled), 2);
        wbs.ui8ActiveROI = 2;
    }
    return QOV_SUCCESS;
}

}  // namespace VOVA
