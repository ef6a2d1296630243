// Tone mapper set-up. The luma ranges become scales and offsets around the
// hardware's mid-grey 128; the curve is adjusted on its way to the record so
// that the control's curve and the loaded one are treated alike.
#include "vova/ModuleTNM.h"

#include <algorithm>

namespace VOVA {

bool tnmLumaRanges(const double inY[2], const double outY[2], TNMLumaRanges &ranges)
{
    const double inWidth = inY[1] - inY[0] + 1.0;
    if (!(inWidth > 0.0))
        return false;
    ranges.inputLumaScale = 256.0 / inWidth;
    ranges.inputLumaOffset = inY[0] + 128.0;
    ranges.outputLumaScale = (outY[1] - outY[0] + 1.0) / 256.0;
    ranges.outputLumaOffset = outY[0];
    ranges.chromaIOScale = ranges.inputLumaScale * ranges.outputLumaScale;
    return true;
}

double tnmAdjustCurvePoint(double point, double contrast, double brightness)
{
    return std::clamp((point - 0.5) * contrast + 0.5 + brightness, 0.0, 1.0);
}

QOV_UINT16 tnmLocalColumns(QOV_UINT32 imageWidth)
{
    if (imageWidth >= TNM_FULL_COLUMNS_WIDTH)
        return TNM_MAX_COLUMNS;
    if (imageWidth < TNM_MIN_IMAGE_WIDTH)
        return 0;
    return static_cast<QOV_UINT16>(imageWidth / TNM_MIN_IMAGE_WIDTH);
}

}  // namespace VOVA

namespace VOVA {

namespace {
const double IN_Y_DEFAULTS[2] = {-64, 64};
const double OUT_Y_DEFAULTS[2] = {16, 235};
}  // namespace

std::vector<double> ModuleTNM::computeDefaultCurve()
{
    std::vector<double> curve(CURVE_POINTS);
    for (int i = 0; i < CURVE_POINTS; i++)
        curve[i] = (i + 1) / 64.0;
    return curve;
}

const ParamDefSingle<bool> ModuleTNM::TNM_BYPASS("TNM_BYPASS", false);
const ParamDefArray<double> ModuleTNM::TNM_IN_Y("TNM_IN_Y", -127, 127, IN_Y_DEFAULTS, 2);
const ParamDefArray<double> ModuleTNM::TNM_OUT_Y("TNM_OUT_Y", 0, 255, OUT_Y_DEFAULTS, 2);
const ParamDef<double> ModuleTNM::TNM_WEIGHT_LOCAL("TNM_WEIGHT_LOCAL", 0, 1, 0);
const ParamDef<double> ModuleTNM::TNM_WEIGHT_LINE("TNM_WEIGHT_LINE", 0, 1, 0);
const ParamDef<double> ModuleTNM::TNM_FLAT_FACTOR("TNM_FLAT_FACTOR", 0, 1, 0);
const ParamDef<double> ModuleTNM::TNM_FLAT_MIN("TNM_FLAT_MIN", 0, 1, 0);
const ParamDef<double> ModuleTNM::TNM_COLOUR_CONFIDENCE("TNM_COLOUR_CONFIDENCE", 0, 64, 1);
const ParamDef<double> ModuleTNM::TNM_COLOUR_SATURATION("TNM_COLOUR_SATURATION", 0, 16, 1);
const ParamDef<double> ModuleTNM::TNM_BRIGHTNESS("TNM_BRIGHTNESS", -1, 1, 0);
const ParamDef<double> ModuleTNM::TNM_CONTRAST("TNM_CONTRAST", 0, 16, 1);
const ParamDefArray<double> ModuleTNM::TNM_CURVE("TNM_CURVE", 0, 1, computeDefaultCurve().data(), CURVE_POINTS);

const KeyTable<ModuleTNM> &ModuleTNM::keys()
{
    typedef Keys<ModuleTNM> K;
    static const KeyTable<ModuleTNM> table = K::table(
        K::array(TNM_IN_Y, &ModuleTNM::aInY), K::array(TNM_OUT_Y, &ModuleTNM::aOutY),
        K::number(TNM_WEIGHT_LOCAL, &ModuleTNM::fWeightLocal), K::number(TNM_WEIGHT_LINE, &ModuleTNM::fWeightLine),
        K::number(TNM_FLAT_FACTOR, &ModuleTNM::fFlatFactor), K::number(TNM_FLAT_MIN, &ModuleTNM::fFlatMin),
        K::number(TNM_COLOUR_CONFIDENCE, &ModuleTNM::fColourConfidence),
        K::number(TNM_COLOUR_SATURATION, &ModuleTNM::fColourSaturation),
        K::number(TNM_BRIGHTNESS, &ModuleTNM::fBrightness), K::number(TNM_CONTRAST, &ModuleTNM::fContrast),
        K::array(TNM_CURVE, &ModuleTNM::aCurve), K::flag(TNM_BYPASS, &ModuleTNM::bBypass));
    return table;
}

ModuleTNM::ModuleTNM() : FamilyModule("VOVA_MOD_TNM") { load(ParameterList()); }

QOV_RESULT ModuleTNM::writeRecord(MC_PIPELINE &mc)
{
    const QOV_UINT16 *imager = mc.sIIF.ui16ImagerSize;
    if (imager[0] == 0 || imager[1] == 0) {
        LOG_Error("setup", __LINE__, getLoggingName(), "IIF should be setup beforehand!\n");
        return QOV_ERROR_WRONG_STATE;
    }
    TNMLumaRanges ranges{};
    if (!tnmLumaRanges(aInY, aOutY, ranges)) {
        LOG_Error("setup", __LINE__, getLoggingName(),
                  "The input luma range %lf to %lf holds no value: its high end must not be below its low end\n",
                  aInY[0], aInY[1]);
        return QOV_ERROR_INVALID_ARGUMENT;
    }

    MC_TNM &r = mc.sTNM;
    r.inputLumaScale = ranges.inputLumaScale;
    r.inputLumaOffset = ranges.inputLumaOffset;
    r.outputLumaScale = ranges.outputLumaScale;
    r.outputLumaOffset = ranges.outputLumaOffset;
    r.chromaIOScale = ranges.chromaIOScale;

    // a pass-through request governs this set-up only
    r.bSetTNMtoPassDataIntact = bBypass ? QOV_TRUE : QOV_FALSE;
    bBypass = false;
    if (r.bSetTNMtoPassDataIntact) {
        r.histFlattenMin = 0;
        r.histFlattenThreshold = 0;
        r.chromaSaturationScale = 0;
        r.chromaConfigurationScale = 0;
        r.localWeights = 0;
        r.updateWeights = 0;
    } else {
        r.bBypassTNM = QOV_FALSE;
        r.chromaConfigurationScale = fColourConfidence;
        r.chromaSaturationScale = fColourSaturation;
        r.updateWeights = fWeightLine;
        r.localWeights = fWeightLocal;
        r.histFlattenThreshold = fFlatFactor;
        r.histFlattenMin = fFlatMin;
    }
    for (int i = 0; i < CURVE_POINTS; i++)
        r.aCurve[i] = tnmAdjustCurvePoint(aCurve[i], fContrast, fBrightness);

    const QOV_UINT32 width = 2u * imager[0];
    const QOV_UINT16 columns = tnmLocalColumns(width);
    if (columns == 0) {
        LOG_Error("setup", __LINE__, getLoggingName(),
                  "The given input size %d for the imager is too small for the tone mapper to work (min=%d)! Disable "
                  "TNM or use a bigger image setup\n",
                  width, TNM_MIN_IMAGE_WIDTH);
        return QOV_ERROR_NOT_SUPPORTED;
    }
    // the control sets the module up every frame: say it once per column count
    if (columns < TNM_MAX_COLUMNS && columns != warnedColumns) {
        LOG_Warning("setup", __LINE__, getLoggingName(), "Invalid number of columns. Number of columns set to %d\n",
                    columns);
        warnedColumns = columns;
    }
    r.ui16LocalColumns = columns;
    r.ui16ColumnsIndex = 0;
    return QOV_SUCCESS;
}

}  // namespace VOVA
