// White-balance statistics: colour sums and counts in up to two rectangular
// regions (white patch under per-channel maxima, average colour, and
// high-luminance white above a luma threshold). The white-balance controls
// also write the fields.
#ifndef VOVA_MODULEWBS_H
#define VOVA_MODULEWBS_H

#include "vova/ModuleFamily.h"

namespace VOVA {

class ModuleWBS : public FamilyModule<ModuleWBS, STP_WBS> {
public:
    static const ParamDef<int> WBS_ROI;
    static const ParamDefArray<double> WBS_R_MAX;
    static const ParamDefArray<double> WBS_G_MAX;
    static const ParamDefArray<double> WBS_B_MAX;
    static const ParamDefArray<double> WBS_Y_HLW;
    /** Four values: region 0 x, region 0 y, region 1 x, region 1 y. */
    static const ParamDefArray<int> WBS_ROISTART;
    static const ParamDefArray<int> WBS_ROIEND;

    QOV_UINT32 ui32NROIEnabled;      ///< regions in use, 0 to 2
    double aRedMaxTH[2];             ///< per region, white-patch maximum of red, 0 to 1
    double aGreenMaxTH[2];           ///< per region, white-patch maximum of green
    double aBlueMaxTH[2];            ///< per region, white-patch maximum of blue
    double aYHLWTH[2];               ///< per region, luma threshold of the high-luminance measure
    QOV_UINT32 aROIStartCoord[2][2]; ///< per region, start corner x then y
    QOV_UINT32 aROIEndCoord[2][2];   ///< per region, end corner x then y

    ModuleWBS();

    static const char *className() { return "ModuleWBS"; }
    static const char *groupHeader() { return "// White Balance Statistics parameters"; }
    static const KeyTable<ModuleWBS> &keys();
    /**
     * Both regions are written whatever their number: size = end - start,
     * thresholds in 11 fractional bits. More than two regions asked for
     * gives a warning and two.
     */
    QOV_RESULT writeRecord(MC_PIPELINE &mc);
    QOV_BOOL8 *recordFlag(MC_PIPELINE &mc) { return &mc.sWBS.updateNeeded; }
};

}  // namespace VOVA

#endif  // VOVA_MODULEWBS_H
