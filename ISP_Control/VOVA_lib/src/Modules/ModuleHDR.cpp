// HDR merge set-up. Each input value of the long exposure gets the weight of
// how well exposed it is against the matching short-exposure value; the tone
// curve compresses the merged range back into the output.
#include "vova/ModuleHDR.h"

#include <algorithm>
#include <cmath>

#include "mc/mc_structs.h"
#include "vova/Sensor.h"

namespace VOVA {

namespace {

// 0 at 0 and 1, 1 at 0.5, smooth in between; 0 outside [0, 1].
double hat(double v)
{
    const double m = std::min(v, 1.0 - v);
    if (m < 0.0)
        return 0.0;
    const double t = 2.0 * m;
    return t * t * (3.0 - 2.0 * t);
}

}  // namespace

void hdrMergeWeightCurve(QOV_UINT32 blackLevel1, double exposureRatio, double *curve, unsigned n)
{
    const double longRange = 4096.0 - blackLevel1;
    const double shortRange = 4096.0 * exposureRatio;
    for (unsigned i = 0; i < n; i++) {
        const double a = hat(i / longRange);
        const double b = hat(i / shortRange);
        curve[i] = a + b == 0.0 ? 1.0 : a / (a + b);
    }
}

double hdrToneCurveInput(unsigned i)
{
    const unsigned s = i / 256, j = i % 256;
    const double x = s == 0 ? j : std::ldexp(256.0 + j, static_cast<int>(s) - 1);
    return std::ldexp(x, -20);
}

void hdrToneCurve(double scale, double white, double *curve)
{
    for (unsigned i = 0; i < MC_HDR_TNM_POINTS; i++) {
        const double x = hdrToneCurveInput(i);
        // x = 0 is 0 for every white point; a white point of 0 makes every
        // other input infinite, which clamps to 1
        const double y = x == 0.0 ? 0.0 : x * (scale + x / (white * white)) / (1.0 + scale * x);
        curve[i] = std::clamp(y, 0.0, 1.0);
    }
}

}  // namespace VOVA

namespace VOVA {

namespace {

const int BLACK_DEFAULTS[2] = {0, 0};
const double LUM_DEFAULTS[3] = {0.2126, 0.7152, 0.0722};

// The exposure ratio of an HDR readout of a sensor depth: 2^(depth - 6) for
// 8 to 12 bits, 0 (not defined) otherwise.
double ratioForDepth(unsigned depth)
{
    return depth >= 8 && depth <= 12 ? std::ldexp(1.0, static_cast<int>(depth) - 6) : 0.0;
}

}  // namespace

const ParamDefArray<int> ModuleHDR::HDR_BLACK_LEVEL("HDR_BLACK_LEVEL", 0, 4095, BLACK_DEFAULTS, 2);
const ParamDefSingle<std::string> ModuleHDR::HDR_MERGE_MODE("HDR_MERGE_MODE", "NORMAL");
const ParamDef<double> ModuleHDR::HDR_EXPOSURE_RATIO("HDR_EXPOSURE_RATIO", 1, 256, 0);
const ParamDefArray<double> ModuleHDR::HDR_LUM_COEFFS("HDR_LUM_COEFFS", 0, 1, LUM_DEFAULTS, 3);
const ParamDef<double> ModuleHDR::HDR_TNM_SCALE("HDR_TNM_SCALE", 0, 100000000, 1);
const ParamDef<double> ModuleHDR::HDR_TNM_WHITE("HDR_TNM_WHITE", 0, 100000000, 1);

ModuleHDR::MergeMode ModuleHDR::getMergeMode(const std::string &name)
{
    if (name == "SHORT_ONLY")
        return HDR_MERGE_SHORT_ONLY;
    if (name == "LONG_ONLY")
        return HDR_MERGE_LONG_ONLY;
    return HDR_MERGE_NORMAL;
}

std::string ModuleHDR::getMergeModeString(MergeMode mode)
{
    if (mode == HDR_MERGE_SHORT_ONLY)
        return "SHORT_ONLY";
    if (mode == HDR_MERGE_LONG_ONLY)
        return "LONG_ONLY";
    return "NORMAL";
}

const KeyTable<ModuleHDR> &ModuleHDR::keys()
{
    typedef Keys<ModuleHDR> K;
    static const KeyTable<ModuleHDR> table = K::table(
        K::custom(
            HDR_MERGE_MODE.name,
            [](ModuleHDR &m, const ParameterList &list) {
                m.eMergeMode = getMergeMode(list.getParameter(HDR_MERGE_MODE));
                return QOV_SUCCESS;
            },
            [](const ModuleHDR &m, ParameterList &list, ModuleBase::SaveType t) {
                if (t == ModuleBase::SAVE_VAL) {
                    list.addParameter(HDR_MERGE_MODE, getMergeModeString(m.eMergeMode), true);
                } else if (t == ModuleBase::SAVE_DEF) {
                    Parameter p(HDR_MERGE_MODE.name, HDR_MERGE_MODE.def);
                    std::string info = "{";
                    for (MergeMode mode : {HDR_MERGE_NORMAL, HDR_MERGE_SHORT_ONLY, HDR_MERGE_LONG_ONLY})
                        info.append(mode == HDR_MERGE_NORMAL ? "" : ", ").append(getMergeModeString(mode));
                    p.setInfo(info + "}");
                    list.addParameter(p, true);
                }
            }),
        K::custom(
            HDR_EXPOSURE_RATIO.name,
            [](ModuleHDR &m, const ParameterList &list) {
                if (list.exists(HDR_EXPOSURE_RATIO.name)) {
                    m.fExposureRatio = list.getParameter(HDR_EXPOSURE_RATIO);
                    return QOV_SUCCESS;
                }
                // without the key the ratio follows the sensor's bit depth
                m.fExposureRatio = 0.0;
                const Sensor *sensor = m.getPipeline() ? m.getPipeline()->getSensor() : nullptr;
                if (!sensor)
                    return QOV_SUCCESS;
                m.fExposureRatio = ratioForDepth(sensor->uiBitDepth);
                if (m.fExposureRatio == 0.0)
                    LOG_Warning("load", __LINE__, m.getLoggingName(),
                                "Could not define exposure ratio for sensor bit-depth %d\n", sensor->uiBitDepth);
                return QOV_SUCCESS;
            },
            [](const ModuleHDR &m, ParameterList &list, ModuleBase::SaveType t) {
                if (t == ModuleBase::SAVE_VAL)
                    list.addParameter(HDR_EXPOSURE_RATIO, m.fExposureRatio, true);
                else
                    family::saveBound(HDR_EXPOSURE_RATIO, list, t);
            }),
        K::array(HDR_BLACK_LEVEL, &ModuleHDR::aBlackLevel), K::array(HDR_LUM_COEFFS, &ModuleHDR::aLumCoeffs),
        K::number(HDR_TNM_SCALE, &ModuleHDR::fTNMScale), K::number(HDR_TNM_WHITE, &ModuleHDR::fTNMWhite));
    return table;
}

ModuleHDR::ModuleHDR() : FamilyModule("VOVA_MOD_HDR") { load(ParameterList()); }

void ModuleHDR::calculateWeightCurve(double *pWeightCurve) const { weightCurve(fExposureRatio, pWeightCurve); }

void ModuleHDR::weightCurve(double exposureRatio, double *pWeightCurve) const
{
    if (eMergeMode == HDR_MERGE_SHORT_ONLY || eMergeMode == HDR_MERGE_LONG_ONLY) {
        std::fill(pWeightCurve, pWeightCurve + MC_HDR_WEIGHT_POINTS, eMergeMode == HDR_MERGE_LONG_ONLY ? 1.0 : 0.0);
        return;
    }
    hdrMergeWeightCurve(aBlackLevel[1], exposureRatio, pWeightCurve, MC_HDR_WEIGHT_POINTS);
}

void ModuleHDR::calculateTNMCurve(double *pTNMCurve) const { hdrToneCurve(fTNMScale, fTNMWhite, pTNMCurve); }

QOV_RESULT ModuleHDR::writeRecord(MC_PIPELINE &mc)
{
    const Global_Setup global = pipeline->getGlobalSetup();
    MC_HDR &r = mc.sHDR;
    r.eHDRMode = global.eSensorHDRMode;
    r.eBayerMode = global.eSensor_bayer_format;
    r.bLongExpFirst = global.bSensorLongExpFirst;
    r.aFrameSize[0] = static_cast<QOV_UINT16>(global.ui32Sensor_width);
    r.aFrameSize[1] = static_cast<QOV_UINT16>(global.ui32Sensor_height);
    r.ui32LineGap = global.ui32SensorLineGap;
    r.aBlackLevel[0] = static_cast<QOV_UINT16>(aBlackLevel[0]);
    r.aBlackLevel[1] = static_cast<QOV_UINT16>(aBlackLevel[1]);

    // An undefined ratio would make the gain infinite and the weights NaN.
    // A module loaded before it had a sensor takes the sensor depth's ratio;
    // without one the merge uses the stated fallback.
    double ratio = fExposureRatio;
    if (!(ratio >= HDR_EXPOSURE_RATIO.min))
        ratio = ratioForDepth(global.ui32Sensor_bitdepth);
    if (!(ratio >= HDR_EXPOSURE_RATIO.min)) {
        LOG_Warning("setup", __LINE__, getLoggingName(),
                    "exposure ratio %lf is not defined (no %s key and no 8 to 12-bit sensor): merging with the "
                    "ratio %lf\n",
                    fExposureRatio, HDR_EXPOSURE_RATIO.name.c_str(), FALLBACK_EXPOSURE_RATIO);
        ratio = FALLBACK_EXPOSURE_RATIO;
    }
    r.fExposureRatio = ratio;
    r.fGain = 256.0 / ratio;
    weightCurve(ratio, r.aWeightCurve);
    std::copy(aLumCoeffs, aLumCoeffs + 3, r.aLumCoeffs);
    calculateTNMCurve(r.aTNMCurve);
    return QOV_SUCCESS;
}

}  // namespace VOVA
