// The light-based control: a light level measured from the global
// histogram and the sensor's exposure and gain (larger in darker scenes),
// smoothed from shot to shot, picks a set of image settings (sharpening,
// saturation, brightness, contrast) from a table of up to 20 sets tied to
// light levels, blending linearly between two sets. The sets go to the
// sharpening module and the colour-plane converter of every pipeline.
#ifndef VOVA_CONTROLLBC_H
#define VOVA_CONTROLLBC_H

#include <string>
#include <vector>

#include "qov_types.h"
#include "vova/ControlFamily.h"
#include "vova/LightCorrection.h"

namespace VOVA {

namespace light {

/** Mean bin of a 64-bin histogram over 63, in [0, 1]; 0 for an empty histogram. */
double histogramBrightness(const QOV_UINT32 histogram[64]);

/** Exposure time in seconds x gain per unit of brightness. */
double measuredLevel(double exposureUs, double gain, double brightness);

/** level x (1 - speed) + measured x speed. */
double smoothedLevel(double level, double measured, double updateSpeed);

/** The set for a light level from sets sorted by level: the nearest set outside, a blend between two. */
LightCorrection correctionFor(const std::vector<LightCorrection> &sorted, double lightLevel);

}  // namespace light

class ControlLBC : public FamilyControl<ControlLBC, CTRL_LBC> {
public:
    static constexpr int MAX_CONFIGURATIONS = 20;

    static const ParamDef<double> LBC_UPDATE_SPEED;
    static const ParamDef<int> LBC_CONFIGURATIONS;
    static const ParamDef<double> LBC_LIGHT_LEVEL_S;
    static const ParamDef<double> LBC_SHARPNESS_S;
    static const ParamDef<double> LBC_SATURATION_S;
    static const ParamDef<double> LBC_BRIGHTNESS_S;
    static const ParamDef<double> LBC_CONTRAST_S;

    explicit ControlLBC(const std::string &logName);

    static const char *className() { return "ControlLBC"; }
    static const char *groupHeader() { return "// Light Based Controls parameters"; }
    static const KeyTable<ControlLBC> &keys();
    /** The header, the two counts and the five numbered keys of every index 0 to 19. */
    static ParameterGroup getGroup();

    std::ostream &printState(std::ostream &os) const override;
    QOV_RESULT programCorrection() override;
    QOV_RESULT update(const Metadata &metadata) override;
    QOV_RESULT configureStatistics() override;
    bool hasConverged() const override { return true; }

    void clearConfigurations() { configurations.clear(); }
    /** Appends and keeps the sets sorted by light level. */
    void addConfiguration(const LightCorrection &correction);
    void setUpdateSpeed(double value);
    double getUpdateSpeed() const { return updateSpeed; }
    void setAllowHISConfig(bool allow) { configureHis = allow; }
    bool getAllowHISConfig() const { return configureHis; }
    LightCorrection getLumaConfiguration(double level) const { return light::correctionFor(configurations, level); }
    double getLightLevel() const { return lightLevel; }
    double getMeteredLightLevel() const { return meteredLightLevel; }
    LightCorrection getCurrentCorrection() const { return currentConfiguration; }
    int getConfigurationsNumber() const { return static_cast<int>(configurations.size()); }
    LightCorrection getCorrection(int index) const { return configurations.at(static_cast<size_t>(index)); }

    static double calculateBrightness(const Metadata &metadata);

protected:
    friend struct ControlLBCKeys;

    std::vector<LightCorrection> configurations;
    LightCorrection currentConfiguration;
    double updateSpeed;
    double meteredLightLevel = 0.0;
    double lightLevel = 1.0;
    bool configureHis = false;
};

}  // namespace VOVA

#endif  // VOVA_CONTROLLBC_H
