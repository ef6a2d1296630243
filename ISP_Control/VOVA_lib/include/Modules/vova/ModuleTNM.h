// Tone mapper set-up: luma ranges, histogram flattening, chroma scales,
// local weights and columns, and the global curve with its contrast and
// brightness adjustment.
#ifndef VOVA_MODULETNM_H
#define VOVA_MODULETNM_H

#include <vector>

#include "qov_types.h"
#include "vova/ModuleFamily.h"

namespace VOVA {

class ModuleTNM : public FamilyModule<ModuleTNM, STP_TNM> {
public:
    static constexpr int CURVE_POINTS = 63;

    static const ParamDefSingle<bool> TNM_BYPASS;
    static const ParamDefArray<double> TNM_IN_Y;
    static const ParamDefArray<double> TNM_OUT_Y;
    static const ParamDef<double> TNM_WEIGHT_LOCAL;
    static const ParamDef<double> TNM_WEIGHT_LINE;
    static const ParamDef<double> TNM_FLAT_FACTOR;
    static const ParamDef<double> TNM_FLAT_MIN;
    static const ParamDef<double> TNM_COLOUR_CONFIDENCE;
    static const ParamDef<double> TNM_COLOUR_SATURATION;
    static const ParamDef<double> TNM_BRIGHTNESS;
    static const ParamDef<double> TNM_CONTRAST;
    static const ParamDefArray<double> TNM_CURVE;

    double aInY[2];              ///< input luma range, low and high
    double aOutY[2];             ///< output luma range, low and high
    double fWeightLocal;         ///< weight of the local tone mapping
    double fWeightLine;          ///< update weight of the global curve
    double fFlatFactor;          ///< histogram flattening threshold
    double fFlatMin;             ///< histogram flattening minimum
    double fColourConfidence;
    double fColourSaturation;
    double fBrightness;          ///< added to every curve point
    double fContrast;            ///< slope of the curve around 0.5
    double aCurve[CURVE_POINTS]; ///< the global curve, written by the tone-mapping control
    bool bBypass;                ///< pass the data intact for the next set-up only

    ModuleTNM();

    /** The identity curve (i + 1) / 64 of the 63 inner points. */
    static std::vector<double> computeDefaultCurve();

    static const char *className() { return "ModuleTNM"; }
    static const char *groupHeader() { return "// Tone Mapper parameters"; }
    static const KeyTable<ModuleTNM> &keys();
    /** Needs the imager interface's record; consumes a pass-through request. */
    QOV_RESULT writeRecord(MC_PIPELINE &mc);
    QOV_BOOL8 *recordFlag(MC_PIPELINE &mc) { return &mc.sTNM.updateNeeded; }

private:
    QOV_UINT16 warnedColumns = 0;  ///< the reduced column count last warned about
};

/** Input and output luma mapping of the tone mapper. */
struct TNMLumaRanges {
    double inputLumaScale;
    double inputLumaOffset;
    double outputLumaScale;
    double outputLumaOffset;
    double chromaIOScale;
};

/**
 * The luma mapping of the input range [inY[0], inY[1]] onto the output range
 * [outY[0], outY[1]], both inclusive in 1/256 steps. False, with ranges
 * untouched, when the input range holds no value (high below low).
 */
bool tnmLumaRanges(const double inY[2], const double outY[2], TNMLumaRanges &ranges);

/** A curve point after the contrast (pivot 0.5) and the brightness, in [0, 1]. */
double tnmAdjustCurvePoint(double point, double contrast, double brightness);

/** Narrowest image, in pixels, that the local tone mapping works on. */
inline constexpr QOV_UINT32 TNM_MIN_IMAGE_WIDTH = 40;
/** Image width from which the full number of local columns is used. */
inline constexpr QOV_UINT32 TNM_FULL_COLUMNS_WIDTH = 640;
inline constexpr QOV_UINT16 TNM_MAX_COLUMNS = 16;

/** Local columns for an image width in pixels; 0 when the image is too narrow. */
QOV_UINT16 tnmLocalColumns(QOV_UINT32 imageWidth);

}  // namespace VOVA

#endif  // VOVA_MODULETNM_H
