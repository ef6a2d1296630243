// Multi-temperature colour calibration: colour corrections sorted by
// temperature, blended for any temperature in between, and the calibration
// segments that turn a measured R, G, B into a correlated colour temperature.
#ifndef VOVA_TEMPERATURECORRECTION_H
#define VOVA_TEMPERATURECORRECTION_H

#include <vector>

#include "qov_types.h"
#include "vova/ColorCorrection.h"
#include "vova/LineSegments.h"
#include "vova/Module.h"
#include "vova/Parameter.h"
#include "vova/ParameterList.h"

namespace VOVA {

class TemperatureCorrection {
public:
    TemperatureCorrection();

    int size() const { return static_cast<int>(temperatureCorrections.size()); }
    /** Removes every correction; the segments stay. */
    void clearCorrections();
    /** Appends a copy and keeps the list in ascending temperature. */
    void addCorrection(const ColorCorrection &newCorrection);
    /** Correction i in ascending order; the default correction when i is out of range. */
    ColorCorrection getCorrection(unsigned int i) const;
    /** Index of the first correction of exactly that temperature, -1 when none. */
    int getCorrectionIndex(double temperature) const;
    /** Blend of the two corrections that bracket the temperature; the ends clamp. */
    ColorCorrection getColorCorrection(double temperature) const;

    /** Calibrated method with segments, McCamy's otherwise. */
    double getCorrelatedTemperature(double r, double g, double b) const;
    double getCorrelatedTemperature_Calibrated(double r, double g, double b) const;
    double getCorrelatedTemperature_McCamy(double r, double g, double b, bool gammaCorrection) const;
    double getCorrelatedTemperature_sRGB(double r, double g, double b) const;

    /** Replaces the corrections and segments from the "WB_" keys. */
    QOV_RESULT loadParameters(const ParameterList &parameters);
    QOV_RESULT saveParameters(ParameterList &parameters, ModuleBase::SaveType t) const;
    static ParameterGroup getGroup();

    static const ParamDef<int> WB_CORRECTIONS;
    static const ParamDef<double> WB_TEMPERATURE_S;  ///< numbered
    static const ParamDefArray<double> WB_CCM_S;      ///< numbered, 9 coefficients row by row
    static const ParamDefArray<double> WB_OFFSETS_S;  ///< numbered, 3 offsets
    static const ParamDefArray<double> WB_GAINS_S;    ///< numbered, 4 gains

    /** Correlated colour temperatures by [R/G index][B/G index], index k for ratio 0.5 + 0.1 k. */
    static const double correlatedTemperature[16][16];

    std::vector<ColorCorrection> temperatureCorrections;
    LineSegments lines;

private:
    void buildSegments();
};

}  // namespace VOVA

#endif  // VOVA_TEMPERATURECORRECTION_H
