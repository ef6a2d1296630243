// White-balance tile statistics (hardware 2.6 and later): per tile of a 7 x 7
// grid the sums of the channels' logarithms and a count of the pixels taken,
// chosen by dark and clip thresholds, the quantum efficiencies, a black-body
// distance and up to five curve lines. With a sensor the tile size defaults
// to a seventh of the image.
#ifndef VOVA_MODULEAWS_H
#define VOVA_MODULEAWS_H

#include <list>

#include "vova/ModuleFamily.h"

namespace VOVA {

class ModuleAWS : public FamilyModule<ModuleAWS, STP_AWS> {
public:
    struct curveLine {
        double fBoundary;
        double fXcoeff;
        double fYcoeff;
        double fOffset;
    };
    typedef std::list<curveLine> linesSet;
    typedef linesSet::iterator lineIterator;

    /** The least tile size taken when the size follows the sensor. */
    static constexpr short AWS_TILE_WIDTH_MIN = 16;
    static constexpr short AWS_TILE_HEIGHT_MIN = 16;

    static const ParamDefSingle<bool> AWS_ENABLED;
    static const ParamDefSingle<bool> AWS_DEBUG_MODE;
    static const ParamDefArray<short> AWS_TILE_START_COORDS;
    static const ParamDefArray<short> AWS_TILE_SIZE;
    static const ParamDef<double> AWS_LOG2_R_QEFF;
    static const ParamDef<double> AWS_LOG2_B_QEFF;
    static const ParamDef<double> AWS_R_DARK_THRESH;
    static const ParamDef<double> AWS_G_DARK_THRESH;
    static const ParamDef<double> AWS_B_DARK_THRESH;
    static const ParamDef<double> AWS_R_CLIP_THRESH;
    static const ParamDef<double> AWS_G_CLIP_THRESH;
    static const ParamDef<double> AWS_B_CLIP_THRESH;
    static const ParamDef<double> AWS_BB_DIST;
    static const ParamDef<int> AWS_CURVES_NUM;
    static const ParamDefArray<double> AWS_CURVE_X_COEFFS;
    static const ParamDefArray<double> AWS_CURVE_Y_COEFFS;
    static const ParamDefArray<double> AWS_CURVE_OFFSETS;
    static const ParamDefArray<double> AWS_CURVE_BOUNDARIES;

    bool enabled;
    bool debugMode;  ///< the block's debug bitmap; the Planckian control reads it
    double fLog2_R_Qeff;
    double fLog2_B_Qeff;
    double fRedDarkThresh;
    double fBlueDarkThresh;
    double fGreenDarkThresh;
    double fRedClipThresh;
    double fBlueClipThresh;
    double fGreenClipThresh;
    double fBbDist;
    QOV_UINT16 ui16GridStartRow;
    QOV_UINT16 ui16GridStartColumn;
    QOV_UINT16 ui16TileWidth;
    QOV_UINT16 ui16TileHeight;
    linesSet fLines;  ///< at most five after a load

    ModuleAWS();

    bool getDebugMode() const { return debugMode; }
    void setDebugMode(bool mode) { debugMode = mode; }

    /** Appends the lines of the setup file; -1 (nothing read) when lines is not empty, else their number. */
    static int loadLinesParams(const ParameterList &parameters, linesSet &lines);

    static const char *className() { return "ModuleAWS"; }
    static const char *groupHeader() { return "// Auto White Balance Statistics parameters (AWS block)"; }
    static const KeyTable<ModuleAWS> &keys();
    /**
     * With lines, sorts them from the highest boundary to the lowest (in the
     * module's own list) and writes the first five, the remaining boundaries
     * -16; without lines the curve of the record stays as it was.
     */
    QOV_RESULT writeRecord(MC_PIPELINE &mc);
    QOV_BOOL8 *recordFlag(MC_PIPELINE &mc) { return &mc.sAWS.updateNeeded; }

    /** The pipeline's sensor, null without a pipeline or sensor. */
    const Sensor *sensor() const;
};

/** Orders curve lines by boundary only. */
bool operator<(const ModuleAWS::curveLine &a, const ModuleAWS::curveLine &b);

}  // namespace VOVA

#endif  // VOVA_MODULEAWS_H
