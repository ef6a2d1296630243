#include "vova/TemperatureCorrection.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "vezaracommon/userlog.h"

#define LOG_TAG "VOVA_TEMPCTRL"

namespace VOVA {

namespace {

const int MAX_CORRECTIONS = 20;

const double DEFAULT_CCM[9] = {1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0};
const double DEFAULT_OFFSETS[3] = {0.0, 0.0, 0.0};
const double DEFAULT_GAINS[4] = {1.0, 1.0, 1.0, 1.0};

const double LOG10_2 = 0.3010299956639812;

// Measurements that cannot be divided by: a zero or non-finite green, and
// non-finite red or blue, count as 1.
void guardRGB(double &r, double &g, double &b)
{
    if (g == 0.0 || !std::isfinite(g))
        g = 1.0;
    if (!std::isfinite(r))
        r = 1.0;
    if (!std::isfinite(b))
        b = 1.0;
}

double clampRatio(double v)
{
    if (!(v >= 0.5))
        return 0.5;
    if (!(v <= 2.0))
        return 2.0;
    return v;
}

std::vector<std::string> texts(const std::vector<double> &values)
{
    std::vector<std::string> result;
    result.reserve(values.size());
    for (double v : values)
        result.push_back(toString<double>(v));
    return result;
}

}  // namespace

const ParamDef<int> TemperatureCorrection::WB_CORRECTIONS("WB_CORRECTIONS", 0, MAX_CORRECTIONS, 0);
const ParamDef<double> TemperatureCorrection::WB_TEMPERATURE_S("WB_TEMPERATURE", 0.0, 100000.0, 0.0);
const ParamDefArray<double> TemperatureCorrection::WB_CCM_S("WB_CCM", -4.0, 3.998046875, DEFAULT_CCM, 9);
const ParamDefArray<double> TemperatureCorrection::WB_OFFSETS_S("WB_OFFSETS", -256.0, 255.875, DEFAULT_OFFSETS,
                                                                3);
const ParamDefArray<double> TemperatureCorrection::WB_GAINS_S("WB_GAINS", 0.5, 8.0, DEFAULT_GAINS, 4);

// Falls with the red ratio, rises with the blue ratio, capped at 12500 K.
const double TemperatureCorrection::correlatedTemperature[16][16] = {
    {6278.38, 6683.97, 7140.27, 7655.92, 8241.38, 8909.32, 9675.58, 10559.4, 11585.5, 12500, 12500, 12500, 12500, 12500, 12500, 12500},
    {5952.84, 6322.36, 6737.16, 7204.67, 7733.9, 8335.84, 9023.96, 9814.92, 10729.6, 11794.1, 12500, 12500, 12500, 12500, 12500, 12500},
    {5652.85, 5990.03, 6367.62, 6792.1, 7271.31, 7814.73, 8433.96, 9143.28, 9960.41, 10907.6, 12012.8, 12500, 12500, 12500, 12500, 12500},
    {5376.14, 5684.19, 6028.35, 6414.32, 6848.9, 7340.32, 7898.58, 8535.95, 9267.57, 10112.3, 11093.9, 12242.4, 12500, 12500, 12500, 12500},
    {5120.6, 5402.35, 5716.44, 6067.86, 6462.54, 6907.64, 7411.81, 7985.61, 8642.02, 9397.12, 10271, 11289, 12483.6, 12500, 12500, 12500},
    {4884.23, 5142.31, 5429.3, 5749.6, 6108.61, 6512.32, 6968.4, 7485.92, 8076, 8752.44, 9532.26, 10437, 11493.7, 12500, 12500, 12500},
    {4665.66, 4902.11, 5164.62, 5457.03, 5783.9, 6150.66, 6563.85, 7031.35, 7562.79, 8169.95, 8867.41, 9673.35, 10610.7, 11708.5, 12500, 12500},
    {4463.03, 4679.97, 4920.35, 5187.55, 5485.58, 5819.19, 6194.08, 6617.09, 7096.54, 7642.57, 8267.65, 8987.26, 9820.77, 10792.7, 11934.2, 12500},
    {4275.1, 4474.31, 4694.64, 4939.08, 5211.13, 5514.98, 5855.59, 6238.92, 6672.18, 7164.11, 7725.42, 8369.33, 9112.28, 9974.93, 10983.5, 12171.6},
    {4100.63, 4283.73, 4485.88, 4709.71, 4958.33, 5235.39, 5545.26, 5893.13, 6285.26, 6729.2, 7234.19, 7811.52, 8475.23, 9242.8, 10136.3, 11183.8},
    {3938.44, 4106.93, 4292.56, 4497.71, 4725.17, 4978.11, 5260.37, 5576.47, 5931.89, 6333.2, 6788.27, 7306.91, 7901.06, 8585.6, 9379.16, 10305.2},
    {3787.72, 3942.78, 4113.39, 4301.62, 4509.89, 4741.05, 4998.45, 5286.07, 5608.66, 5971.92, 6382.73, 6849.48, 7382.42, 7994.23, 8700.72, 9521.75},
    {3647.38, 3790.23, 3947.15, 4119.99, 4310.89, 4522.36, 4757.35, 5019.36, 5312.54, 5641.85, 6013.27, 6434.03, 6912.95, 7460.88, 8091.26, 8820.89},
    {3516.64, 3648.34, 3792.79, 3951.62, 4126.76, 4320.4, 4535.16, 4774.11, 5040.89, 5339.82, 5676.11, 6056.02, 6487.15, 6978.81, 7542.47, 8192.38},
    {3394.76, 3516.26, 3649.32, 3795.4, 3956.2, 4133.68, 4330.15, 4548.3, 4791.34, 5063.04, 5367.95, 5711.49, 6100.23, 6542.2, 7047.19, 7627.35},
    {3281.05, 3393.22, 3515.87, 3650.35, 3798.07, 3960.88, 4140.85, 4340.15, 4561.8, 4809.16, 5085.86, 5396.95, 5748.15, 6145.99, 6599.27, 7118.3},
};

TemperatureCorrection::TemperatureCorrection() {}

void TemperatureCorrection::clearCorrections() { temperatureCorrections.clear(); }

void TemperatureCorrection::addCorrection(const ColorCorrection &newCorrection)
{
    temperatureCorrections.push_back(newCorrection);
    std::stable_sort(temperatureCorrections.begin(), temperatureCorrections.end());
}

ColorCorrection TemperatureCorrection::getCorrection(unsigned int i) const
{
    if (i >= temperatureCorrections.size())
        return ColorCorrection();
    return temperatureCorrections[i];
}

int TemperatureCorrection::getCorrectionIndex(double temperature) const
{
    for (size_t i = 0; i < temperatureCorrections.size(); i++) {
        if (temperatureCorrections[i].temperature == temperature)
            return static_cast<int>(i);
    }
    return -1;
}

ColorCorrection TemperatureCorrection::getColorCorrection(double temperature) const
{
    if (temperatureCorrections.size() < 2) {
        LOG_WARNING("Less than 2 calibration points loaded - can't approximate temperature!\n");
        return ColorCorrection();
    }

    // Lower: the last correction at or below the temperature (the first when
    // all are above); upper: the first at or above it (the last when all are below).
    size_t lower = 0;
    size_t upper = temperatureCorrections.size() - 1;
    for (size_t i = 0; i < temperatureCorrections.size(); i++) {
        if (temperatureCorrections[i].temperature <= temperature)
            lower = i;
    }
    for (size_t i = temperatureCorrections.size(); i-- > 0;) {
        if (temperatureCorrections[i].temperature >= temperature)
            upper = i;
    }

    const ColorCorrection &low = temperatureCorrections[lower];
    const ColorCorrection &high = temperatureCorrections[upper];
    if (low.temperature == high.temperature)
        return low;
    return low.blend(high, (temperature - low.temperature) / (high.temperature - low.temperature));
}

double TemperatureCorrection::getCorrelatedTemperature(double r, double g, double b) const
{
    guardRGB(r, g, b);
    if (!lines.empty())
        return getCorrelatedTemperature_Calibrated(r, g, b);
    LOG_INFO("No calibration points loaded, using fallback temperature correlation method!\n");
    return getCorrelatedTemperature_McCamy(r, g, b, true);
}

double TemperatureCorrection::getCorrelatedTemperature_Calibrated(double r, double g, double b) const
{
    guardRGB(r, g, b);
    if (lines.empty())
        return 6500.0;
    return lines.getTemperature(std::log10(r / g) / LOG10_2, std::log10(b / g) / LOG10_2);
}

double TemperatureCorrection::getCorrelatedTemperature_McCamy(double r, double g, double b,
                                                               bool gammaCorrection) const
{
    const double largest = std::max(r, std::max(g, b));
    r /= largest;
    g /= largest;
    b /= largest;

    if (gammaCorrection) {
        auto linearise = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        r = linearise(r);
        g = linearise(g);
        b = linearise(b);
    }

    const double X = 100.0 * (0.4124 * r + 0.3576 * g + 0.1805 * b);
    const double Y = 100.0 * (0.2126 * r + 0.7152 * g + 0.0722 * b);
    const double Z = 100.0 * (0.0193 * r + 0.1192 * g + 0.9505 * b);
    const double x = X / (X + Y + Z);
    const double y = Y / (X + Y + Z);
    const double n = (x - 0.332) / (y - 0.1858);
    const double cct = -449.0 * n * n * n + 3525.0 * n * n - 6823.0 * n + 5520.0;
    // A black measurement (all 0) has no chromaticity: report the neutral 6500 K.
    return std::isfinite(cct) ? cct : 6500.0;
}

double TemperatureCorrection::getCorrelatedTemperature_sRGB(double r, double g, double b) const
{
    guardRGB(r, g, b);
    const double R = clampRatio(r / g);
    const double B = clampRatio(b / g);
    const double cR = (R - 0.5) / 1.5 * 15.0;
    const double cB = (B - 0.5) / 1.5 * 15.0;
    const int r0 = static_cast<int>(std::floor(cR));
    const int r1 = static_cast<int>(std::ceil(cR));
    const int b0 = static_cast<int>(std::floor(cB));
    const int b1 = static_cast<int>(std::ceil(cB));
    const double fR = cR - r0;
    const double fB = cB - b0;

    const double u = (1.0 - fB) * correlatedTemperature[r0][b0] + fB * correlatedTemperature[r0][b1];
    const double v = (1.0 - fB) * correlatedTemperature[r1][b0] + fB * correlatedTemperature[r1][b1];
    return (1.0 - fR) * u + fR * v;
}

QOV_RESULT TemperatureCorrection::loadParameters(const ParameterList &parameters)
{
    if (!parameters.exists(WB_CORRECTIONS.name)) {
        LOG_WARNING("Unable to load temperature corrections from parameters. '%s' not defined\n",
                    WB_CORRECTIONS.name.c_str());
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    const int count = parameters.getParameter(WB_CORRECTIONS);

    temperatureCorrections.clear();
    lines.clear();

    for (int i = 0; i < count; i++) {
        ColorCorrection correction;
        correction.temperature = parameters.getParameter(WB_TEMPERATURE_S.indexed(i));

        const ParamDefArray<double> ccm = WB_CCM_S.indexed(i);
        for (unsigned int k = 0; k < 9; k++)
            correction.coefficients[k / 3][k % 3] = parameters.getParameter(ccm, k);
        const ParamDefArray<double> offsets = WB_OFFSETS_S.indexed(i);
        for (unsigned int k = 0; k < 3; k++)
            correction.offsets[0][k] = parameters.getParameter(offsets, k);
        const ParamDefArray<double> gains = WB_GAINS_S.indexed(i);
        for (unsigned int k = 0; k < 4; k++)
            correction.gains[0][k] = parameters.getParameter(gains, k);

        correction.initialized = true;
        LOG_INFO("loaded correction for temperature %.2lf\n", correction.temperature);
        addCorrection(correction);
    }

    if (temperatureCorrections.size() >= 2)
        buildSegments();
    return QOV_SUCCESS;
}

void TemperatureCorrection::buildSegments()
{
    // Gains relative to the 6500 K correction, in the log2 ratio plane where
    // the calibrated method places a measurement.
    const ColorCorrection reference = getColorCorrection(6500.0);
    double QEr = 1.0;
    double QEb = 1.0;
    if (reference.initialized) {
        QEr = reference.gains[0][0];
        QEb = reference.gains[0][3];
    }

    for (size_t k = 0; k + 1 < temperatureCorrections.size(); k++) {
        const ColorCorrection &a = temperatureCorrections[k];
        const ColorCorrection &b = temperatureCorrections[k + 1];
        lines.push_back(LineSegment(std::log2(QEr / a.gains[0][0]), std::log2(QEb / a.gains[0][3]),
                                    std::log2(QEr / b.gains[0][0]), std::log2(QEb / b.gains[0][3]),
                                    a.temperature, b.temperature));
    }
    if (!lines.empty()) {
        // Open outer ends: measurements beyond the calibration extrapolate.
        lines.front().lowBound = false;
        lines.back().highBound = false;
    }
}

QOV_RESULT TemperatureCorrection::saveParameters(ParameterList &parameters, ModuleBase::SaveType t) const
{
    static ParameterGroup group;
    if (group.parameters.empty())
        group = getGroup();
    parameters.addGroup("TemperatureCorrection", group);

    switch (t) {
    case ModuleBase::SAVE_VAL:
        parameters.addParameter(WB_CORRECTIONS, size(), true);
        for (size_t i = 0; i < temperatureCorrections.size(); i++) {
            const ColorCorrection &c = temperatureCorrections[i];
            const unsigned int index = static_cast<unsigned int>(i);
            std::vector<double> ccm;
            for (int row = 0; row < 3; row++)
                ccm.insert(ccm.end(), c.coefficients[row].begin(), c.coefficients[row].end());
            parameters.addParameter(WB_TEMPERATURE_S.indexed(index), c.temperature, true);
            parameters.addParameter(WB_CCM_S.indexed(index), texts(ccm), true);
            parameters.addParameter(WB_OFFSETS_S.indexed(index), texts(c.offsets[0]), true);
            parameters.addParameter(WB_GAINS_S.indexed(index), texts(c.gains[0]), true);
        }
        break;
    case ModuleBase::SAVE_MIN:
        parameters.addParameterMin(WB_CORRECTIONS, true);
        parameters.addParameterMin(WB_TEMPERATURE_S.indexed(0), true);
        parameters.addParameterMin(WB_CCM_S.indexed(0), true);
        parameters.addParameterMin(WB_OFFSETS_S.indexed(0), true);
        parameters.addParameterMin(WB_GAINS_S.indexed(0), true);
        break;
    case ModuleBase::SAVE_MAX:
        parameters.addParameterMax(WB_CORRECTIONS, true);
        parameters.addParameterMax(WB_TEMPERATURE_S.indexed(0), true);
        parameters.addParameterMax(WB_CCM_S.indexed(0), true);
        parameters.addParameterMax(WB_OFFSETS_S.indexed(0), true);
        parameters.addParameterMax(WB_GAINS_S.indexed(0), true);
        break;
    case ModuleBase::SAVE_DEF:
        parameters.addParameterDef(WB_CORRECTIONS, true);
        parameters.addParameterDef(WB_TEMPERATURE_S.indexed(0), true);
        parameters.addParameterDef(WB_CCM_S.indexed(0), true);
        parameters.addParameterDef(WB_OFFSETS_S.indexed(0), true);
        parameters.addParameterDef(WB_GAINS_S.indexed(0), true);
        break;
    }
    return QOV_SUCCESS;
}

ParameterGroup TemperatureCorrection::getGroup()
{
    ParameterGroup group;
    group.header = "// Temperature Correction parameters (Multi-CCM for AWB)";
    group.parameters.insert(WB_CORRECTIONS.name);
    for (int i = 0; i < WB_CORRECTIONS.max; i++) {
        group.parameters.insert(WB_TEMPERATURE_S.indexed(i).name);
        group.parameters.insert(WB_CCM_S.indexed(i).name);
        group.parameters.insert(WB_OFFSETS_S.indexed(i).name);
        group.parameters.insert(WB_GAINS_S.indexed(i).name);
    }
    return group;
}

}  // namespace VOVA
