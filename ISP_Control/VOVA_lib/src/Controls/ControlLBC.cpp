// The light-based control: light level, set choice, and the sharpening and
// colour-plane settings it writes.
#include "vova/ControlLBC.h"

#include <algorithm>
#include <cmath>

#include "vezaracommon/userlog.h"
#include "vova/ModuleR2Y.h"
#include "vova/ModuleSHA.h"
#include "vova/Sensor.h"
#include "vova/Shot.h"

namespace VOVA {

namespace light {

double histogramBrightness(const QOV_UINT32 histogram[64])
{
    double weighted = 0.0, total = 0.0;
    for (int i = 0; i < 64; i++) {
        weighted = std::fma(static_cast<double>(histogram[i]), static_cast<double>(i), weighted);
        total += histogram[i];
    }
    return total == 0.0 ? 0.0 : weighted / total / 63.0;
}

double measuredLevel(double exposureUs, double gain, double brightness)
{
    return exposureUs / 1000000.0 * gain / brightness;
}

double smoothedLevel(double level, double measured, double updateSpeed)
{
    return std::fma(level, 1.0 - updateSpeed, measured * updateSpeed);
}

LightCorrection correctionFor(const std::vector<LightCorrection> &sorted, double level)
{
    if (sorted.empty())
        return LightCorrection();
    const LightCorrection *lower = &sorted.front();
    const LightCorrection *upper = &sorted.front();
    for (const LightCorrection &c : sorted) {
        if (c.lightLevel <= level)
            lower = &c;
        upper = &c;
        if (c.lightLevel >= level)
            break;
    }
    if (lower->lightLevel == upper->lightLevel)
        return *lower;
    return lower->blend(*upper, (level - lower->lightLevel) / (upper->lightLevel - lower->lightLevel));
}

}  // namespace light

const ParamDef<double> ControlLBC::LBC_UPDATE_SPEED("LBC_UPDATE_SPEED", 0.0, 1.0, 0.1);
const ParamDef<int> ControlLBC::LBC_CONFIGURATIONS("LBC_CONFIGURATIONS", 0, MAX_CONFIGURATIONS, 0);
const ParamDef<double> ControlLBC::LBC_LIGHT_LEVEL_S("LBC_LIGHT_LEVEL", 0.0, 100000000.0, 0.0);
const ParamDef<double> ControlLBC::LBC_SHARPNESS_S("LBC_SHARPNESS", 0.0, 1.0, 0.4);
const ParamDef<double> ControlLBC::LBC_SATURATION_S("LBC_SATURATION", 0.1, 10.0, 1.0);
const ParamDef<double> ControlLBC::LBC_BRIGHTNESS_S("LBC_BRIGHTNESS", -0.5, 0.5, 0.0);
const ParamDef<double> ControlLBC::LBC_CONTRAST_S("LBC_CONTRAST", 0.0, 2.0, 1.0);

namespace {

// The numbered families in read and save order, with the field each fills.
struct Family {
    const ParamDef<double> &def;
    double LightCorrection::*field;
};
const Family kFamilies[] = {
    {ControlLBC::LBC_LIGHT_LEVEL_S, &LightCorrection::lightLevel},
    {ControlLBC::LBC_SHARPNESS_S, &LightCorrection::sharpness},
    {ControlLBC::LBC_SATURATION_S, &LightCorrection::saturation},
    {ControlLBC::LBC_BRIGHTNESS_S, &LightCorrection::brightness},
    {ControlLBC::LBC_CONTRAST_S, &LightCorrection::contrast},
};

}  // namespace

// The count and the numbered families are one binding: the count decides
// how many sets are read, and the sets are saved in light-level order.
struct ControlLBCKeys {
    static QOV_RESULT load(ControlLBC &lbc, const ParameterList &list)
    {
        const int n = list.getParameter(ControlLBC::LBC_CONFIGURATIONS);
        lbc.configurations.clear();
        for (int i = 0; i < n; i++) {
            LightCorrection c;
            for (const Family &f : kFamilies)
                c.*f.field = list.getParameter(f.def.indexed(static_cast<unsigned>(i)));
            lbc.addConfiguration(c);
        }
        return QOV_SUCCESS;
    }
    static void save(const ControlLBC &lbc, ParameterList &list, ModuleBase::SaveType t)
    {
        if (t != ModuleBase::SAVE_VAL) {
            family::saveBound(ControlLBC::LBC_CONFIGURATIONS, list, t);
            return;
        }
        list.addParameter(ControlLBC::LBC_CONFIGURATIONS, static_cast<int>(lbc.configurations.size()), true);
    }
    static void saveSets(const ControlLBC &lbc, ParameterList &list, ModuleBase::SaveType t)
    {
        if (t != ModuleBase::SAVE_VAL) {
            for (const Family &f : kFamilies)
                family::saveBound(f.def.indexed(0), list, t);
            return;
        }
        for (size_t i = 0; i < lbc.configurations.size(); i++)
            for (const Family &f : kFamilies)
                list.addParameter(f.def.indexed(static_cast<unsigned>(i)), lbc.configurations[i].*f.field, true);
    }
};

const KeyTable<ControlLBC> &ControlLBC::keys()
{
    typedef Keys<ControlLBC> K;
    static const KeyTable<ControlLBC> table =
        K::table(K::number(LBC_UPDATE_SPEED, &ControlLBC::updateSpeed),
                 K::custom(LBC_CONFIGURATIONS.name, ControlLBCKeys::load, ControlLBCKeys::save),
                 K::custom(LBC_LIGHT_LEVEL_S.name, nullptr, ControlLBCKeys::saveSets));
    return table;
}

ParameterGroup ControlLBC::getGroup()
{
    ParameterGroup group;
    group.header = groupHeader();
    group.parameters.insert(LBC_CONFIGURATIONS.name);
    group.parameters.insert(LBC_UPDATE_SPEED.name);
    for (unsigned i = 0; i < MAX_CONFIGURATIONS; i++)
        for (const Family &f : kFamilies)
            group.parameters.insert(f.def.indexed(i).name);
    return group;
}

ControlLBC::ControlLBC(const std::string &logName) : FamilyControl(logName), updateSpeed(LBC_UPDATE_SPEED.def) {}

void ControlLBC::addConfiguration(const LightCorrection &correction)
{
    configurations.push_back(correction);
    std::stable_sort(configurations.begin(), configurations.end());
}

void ControlLBC::setUpdateSpeed(double value)
{
    if (value < 0.0 || value > 1.0) {
        LOG_Error(__func__, __LINE__, "VOVA_CTRL_LBC", "Update speed value must be between 0.0 and 1.0 (received %f)\n",
                  value);
        return;
    }
    updateSpeed = value;
}

double ControlLBC::calculateBrightness(const Metadata &metadata)
{
    return light::histogramBrightness(metadata.histogramStats.globalHistogram);
}

QOV_RESULT ControlLBC::configureStatistics()
{
    const GlobalHistogramTexts texts = {
        "ControlLBC has no pipeline owner! Cannot configure statistics.\n", "ControlLBC cannot find HIS module\n",
        "VOVA_CTRL_LBC",
        "Global Histograms in HIS are not enabled! The LBC will not be able to compute the estimated brightness.\n"};
    return requireGlobalHistogram(*this, configureHis, texts);
}

QOV_RESULT ControlLBC::update(const Metadata &metadata)
{
    meteredLightLevel = 0.0;
    const Sensor *sensor = getSensor();
    if (!sensor) {
        LOG_Error(__func__, __LINE__, getLoggingName(), "ControlLBC has no sensor!\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    // An empty histogram (statistics off) measures 0 too: the shot is
    // skipped rather than letting 0/0 into the smoothed level for good.
    const double brightness = calculateBrightness(metadata);
    if (brightness == 0.0) {
        LOG_Warning(__func__, __LINE__, "VOVA_CTRL_LBC", "Imgage average brightness is 0, cannot compute LBC!\n");
        return QOV_SUCCESS;
    }
    meteredLightLevel =
        light::measuredLevel(static_cast<double>(sensor->getExposure()), sensor->getGain(), brightness);
    lightLevel = light::smoothedLevel(lightLevel, meteredLightLevel, updateSpeed);
    currentConfiguration = getLumaConfiguration(lightLevel);
    programCorrection();
    return QOV_SUCCESS;
}

QOV_RESULT ControlLBC::programCorrection()
{
    for (Pipeline *pipeline : pipelineList) {
        ModuleSHA *sha = static_cast<ModuleSHA *>(pipeline->getModule(STP_SHA));
        ModuleR2Y *r2y = static_cast<ModuleR2Y *>(pipeline->getModule(STP_R2Y));
        if (!sha || !r2y)
            continue;
        sha->fStrength = currentConfiguration.sharpness;
        r2y->fBrightness = currentConfiguration.brightness;
        r2y->fContrast = currentConfiguration.contrast;
        r2y->fSaturation = currentConfiguration.saturation;
        sha->requestUpdate();
        r2y->requestUpdate();
    }
    return QOV_SUCCESS;
}

std::ostream &ControlLBC::printState(std::ostream &os) const
{
    ControlModule::printState(os);
    os << "      updateSpeed = " << updateSpeed << std::endl;
    os << "    state:" << std::endl;
    os << "      meteredLightLevel = " << meteredLightLevel << std::endl;
    os << "      lightLevel = " << lightLevel << std::endl;
    return os;
}

}  // namespace VOVA
