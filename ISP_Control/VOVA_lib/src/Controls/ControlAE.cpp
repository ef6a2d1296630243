// The auto-exposure loop: metering, the statistics it needs, and the
// exposure and gain it programs into the owner's sensor.
#include "vova/ControlAE.h"

#include <cfloat>
#include <cmath>

#include "sensorapi/sensorapi.h"
#include "vezaracommon/userlog.h"
#include "vova/ModuleFLD.h"
#include "vova/ModuleHIS.h"
#include "vova/Sensor.h"
#include "vova/Shot.h"

namespace VOVA {

const ParamDefSingle<bool> ControlAE::AE_FLICKER("AE_FLICKER_REJECTION", false);
const ParamDefSingle<bool> ControlAE::AE_FLICKER_AUTODETECT("AE_FLICKER_AUTODETECT", true);
const ParamDef<double> ControlAE::AE_FLICKER_FREQ("AE_FLICKER_FREQ", 1.0, 200.0, 50.0);
const ParamDefSingle<bool> ControlAE::AE_BLC_AUTO("AE_BLC_AUTO", false);
const ParamDef<double> ControlAE::AE_BLC_LEVEL("AE_BLC_LEVEL", 0.0, 1.0, 0.0);
const ParamDef<double> ControlAE::AE_TARGET_BRIGHTNESS("AE_TARGET_BRIGHTNESS", -1.0, 1.0, 0.0);
const ParamDef<double> ControlAE::AE_UPDATE_SPEED("AE_UPDATE_SPEED", 0.0, 1.0, 1.0);
const ParamDef<double> ControlAE::AE_BRACKET_SIZE("AE_BRACKET_SIZE", 0.0, 1.0, 0.05);
const ParamDef<double> ControlAE::AE_TARGET_GAIN("AE_TARGET_GAIN", 1.0, DBL_MAX, 256.0);
const ParamDef<double> ControlAE::AE_MIN_GAIN("AE_MIN_GAIN", 1.0, DBL_MAX, 1.0);
const ParamDef<double> ControlAE::AE_MAX_GAIN("AE_MAX_GAIN", 1.0, DBL_MAX, 256.0);
const ParamDef<unsigned int> ControlAE::AE_MIN_EXPOSURE("AE_MIN_EXPOSURE", 1, 4294967295u, 1);
const ParamDef<unsigned int> ControlAE::AE_MAX_EXPOSURE("AE_MAX_EXPOSURE", 1, 4294967295u, 4294967295u);

const Grid7x7 &ControlAE::WEIGHT_7X7_A = GRID_WEIGHT_BROAD;
const Grid7x7 &ControlAE::WEIGHT_7X7_B = GRID_WEIGHT_NARROW;
const Grid7x7 &ControlAE::BACKLIGHT_7X7 = exposure::BACKLIGHT_MASK;
const Grid7x7 ControlAE::WEIGHT_7X7 = {
    {0.0026, 0.0062, 0.0105, 0.0125, 0.0105, 0.0062, 0.0026},
    {0.0062, 0.0148, 0.025, 0.0297, 0.026, 0.0148, 0.0062},
    {0.0105, 0.025, 0.0421, 0.05, 0.0421, 0.025, 0.0105},
    {0.0125, 0.0297, 0.05, 0.0595, 0.05, 0.0297, 0.0125},
    {0.0105, 0.025, 0.0421, 0.05, 0.0421, 0.025, 0.0105},
    {0.0062, 0.0148, 0.025, 0.0297, 0.026, 0.0148, 0.0062},
    {0.0026, 0.0062, 0.0105, 0.0125, 0.0105, 0.0062, 0.0026},
};

namespace {

// A key saved as a value the loop computes (a limit in force).
template <class T>
std::unique_ptr<const KeyBinding<ControlAE>> savedAs(const ParamDef<T> &def, T ControlAE::*field,
                                                     T (ControlAE::*inForce)() const)
{
    return Keys<ControlAE>::custom(
        def.name,
        [&def, field](ControlAE &ae, const ParameterList &list) {
            ae.*field = list.getParameter(def);
            return QOV_SUCCESS;
        },
        [&def, inForce](const ControlAE &ae, ParameterList &list, ModuleBase::SaveType t) {
            if (t == ModuleBase::SAVE_VAL)
                list.addParameter(def, (ae.*inForce)(), true);
            else
                family::saveBound(def, list, t);
        });
}

}  // namespace

// The limit fields are reached through the key table only.
struct ControlAEKeys {
    static KeyTable<ControlAE> table()
    {
        typedef Keys<ControlAE> K;
        typedef ControlAE C;
        return K::table(K::flag(C::AE_FLICKER, &C::flickerRejection),
                        K::flag(C::AE_FLICKER_AUTODETECT, &C::autoFlickerRejection),
                        K::number(C::AE_FLICKER_FREQ, &C::flickerFreqConfig), K::flag(C::AE_BLC_AUTO, &C::blcAuto),
                        K::number(C::AE_BLC_LEVEL, &C::blcLevelConfig),
                        K::number(C::AE_TARGET_BRIGHTNESS, &C::targetBrightness),
                        K::number(C::AE_UPDATE_SPEED, &C::updateSpeed),
                        K::number(C::AE_BRACKET_SIZE, &C::targetBracket),
                        savedAs(C::AE_TARGET_GAIN, &C::fTargetAeGain, &C::getTargetAeGain),
                        savedAs(C::AE_MIN_GAIN, &C::fMinAeGain, &C::getMinAeGain),
                        savedAs(C::AE_MAX_GAIN, &C::fMaxAeGain, &C::getMaxAeGain),
                        savedAs(C::AE_MIN_EXPOSURE, &C::uiMinAeExposure, &C::getMinAeExposure),
                        savedAs(C::AE_MAX_EXPOSURE, &C::uiMaxAeExposure, &C::getMaxAeExposure));
    }
};

const KeyTable<ControlAE> &ControlAE::keys()
{
    static const KeyTable<ControlAE> table = ControlAEKeys::table();
    return table;
}

ControlAE::ControlAE(const std::string &logName)
    : FamilyControl(logName), targetBrightness(AE_TARGET_BRIGHTNESS.def), updateSpeed(AE_UPDATE_SPEED.def),
      flickerRejection(AE_FLICKER.def), autoFlickerRejection(AE_FLICKER_AUTODETECT.def),
      flickerFreqConfig(AE_FLICKER_FREQ.def), blcAuto(AE_BLC_AUTO.def), blcLevelConfig(AE_BLC_LEVEL.def),
      targetBracket(AE_BRACKET_SIZE.def), fMinAeGain(AE_MIN_GAIN.def), fMaxAeGain(AE_MAX_GAIN.def),
      fMaxSensorGain(DBL_MAX), fTargetAeGain(AE_TARGET_GAIN.def), uiMinAeExposure(AE_MIN_EXPOSURE.def),
      uiMaxAeExposure(AE_MAX_EXPOSURE.def)
{
}

/*-------------------------------------------------------------------------
 * Metering
 *-------------------------------------------------------------------------*/

void ControlAE::normalizeHistogram(const QOV_UINT32 *sourceH, double *destinationH, int nBins)
{
    exposure::normalizeHistogram(sourceH, destinationH, nBins);
}

void ControlAE::getHistogramStats(const double *nHistogram, int nBins, double &avgValue, double &underExposureF,
                                  double &overExposureF)
{
    const exposure::HistogramMeasures m = exposure::histogramMeasures(nHistogram, nBins);
    avgValue = m.avgValue;
    underExposureF = m.underExposure;
    overExposureF = m.overExposure;
}

double ControlAE::getWeightedStats(const Grid7x7 &gridStats) { return weightedGridSum(gridStats, WEIGHT_7X7); }

double ControlAE::getWeightedStatsBlended(const Grid7x7 &gridStats, double combinationWeight)
{
    return blendedGridSum(gridStats, WEIGHT_7X7_A, WEIGHT_7X7_B, combinationWeight);
}

void ControlAE::getBackLightMeasure(const Grid7x7 &gridStats, double &foregroundAvg, double &backgroundAvg)
{
    exposure::backLightMeasure(gridStats, foregroundAvg, backgroundAvg);
}

double ControlAE::getAverageBrightness(const MC_STATS_HIS &histogram)
{
    double normalised[64];
    exposure::normalizeHistogram(histogram.globalHistogram, normalised, 64);
    return exposure::histogramMeasures(normalised, 64).avgValue;
}

double ControlAE::getBrightnessMetering(const MC_STATS_HIS &histogram, const MC_STATS_EXS &)
{
    double maxOver = 0.0, maxUnder = 0.0;
    for (int r = 0; r < 7; r++)
        for (int c = 0; c < 7; c++) {
            double normalised[16];
            exposure::normalizeHistogram(histogram.regionHistograms[r][c], normalised, 16);
            const exposure::HistogramMeasures m = exposure::histogramMeasures(normalised, 16);
            regionBrightness[r][c] = m.avgValue;
            regionUnderExp[r][c] = m.underExposure;
            regionOverExp[r][c] = m.overExposure;
            regionRatio[r][c] = m.overExposure * m.overExposure - m.underExposure * m.underExposure;
            maxOver = std::fmax(maxOver, m.overExposure);
            maxUnder = std::fmax(maxUnder, m.underExposure);
        }
    double foreground, background;
    exposure::backLightMeasure(regionRatio, foreground, background);
    blcLevel = blcAuto ? exposure::nextBacklightLevel(blcLevel, foreground, background) : blcLevelConfig;
    return exposure::combineMetering(getWeightedStatsBlended(regionRatio, 0.65), maxOver, maxUnder, blcLevel,
                                     foreground);
}

/*-------------------------------------------------------------------------
 * Statistics, update and programming
 *-------------------------------------------------------------------------*/

QOV_RESULT ControlAE::configureStatistics()
{
    if (!getPipelineOwner()) {
        LOG_Error(__func__, __LINE__, getLoggingName(), "ControlAE has no pipeline owner! Cannot configure statistics.\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    ModuleHIS *his = ownerModule<ModuleHIS>();
    ModuleFLD *fld = ownerModule<ModuleFLD>();
    configured = false;
    if (!his) {
        LOG_Error(__func__, __LINE__, getLoggingName(), "ControlAE cannot find HIS module\n");
        return QOV_ERROR_WRONG_STATE;
    }
    Sensor *sensor = getSensor();
    if (!sensor) {
        LOG_Error(__func__, __LINE__, getLoggingName(), "ControlAE owner has no sensors!\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    if (!his->bEnableGlobal || !his->bEnableROI) {
        his->bEnableGlobal = true;
        his->bEnableROI = true;
        his->ui32InputOffset = static_cast<QOV_UINT32>(ModuleHIS::HIS_INPUTOFF.def);
        his->ui32InputScale = static_cast<QOV_UINT32>(ModuleHIS::HIS_INPUTSCALE.def);
        const QOV_UINT32 tileW = static_cast<QOV_UINT32>(sensor->uiWidth / 7.0);
        const QOV_UINT32 tileH = static_cast<QOV_UINT32>(sensor->uiHeight / 7.0);
        his->aGridStartCoord[0] = (sensor->uiWidth - 7 * tileW) / 2;
        his->aGridStartCoord[1] = (sensor->uiHeight - 7 * tileH) / 2;
        his->aGridTileSize[0] = tileW < 10 ? 10 : tileW;
        his->aGridTileSize[1] = tileH < 8 ? 8 : tileH;
        his->requestUpdate();
    }
    fSensorFrameDuration = 1000000.0 / sensor->flFrameRate;
    fMinSensorGain = sensor->getMinGain();
    fMaxSensorGain = sensor->getMaxGain();
    uiMinSensorExposure = static_cast<microseconds_t>(sensor->getMinExposure());
    uiMaxSensorExposure = static_cast<microseconds_t>(sensor->getMaxExposure());
    if (fld) {
        autoFlickerDetectionSupported = true;
        SENSOR_INFO info{};
        Sensor_GetInfo(sensor->getHandle(), &info);
        fld->bEnable = true;
        fld->iVTotal = info.sMode.ui16VerticalTotal;
        fld->fFrameRate = info.sMode.flFrameRate;
        fld->setup();
        fld->requestUpdate();
    } else {
        LOG_Info(__func__, __LINE__, "VOVA_CTRL_AE", "FLD module not configured. Flicker detection not supported!\n");
    }
    configured = true;
    settingsUpdated = true;
    return QOV_SUCCESS;
}

QOV_RESULT ControlAE::update(const Metadata &metadata)
{
    currentBrightness = getBrightnessMetering(metadata.histogramStats, metadata.clippingStats);
    averageBrightness = getAverageBrightness(metadata.histogramStats);
    const Sensor *sensor = getSensor();
    if (!sensor) {
        LOG_Error(__func__, __LINE__, getLoggingName(), "ControlAE owner has no sensors!\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    if (!configured) {
        LOG_Warning(__func__, __LINE__, getLoggingName(),
                    "ControlAE Statistics were not configured! Trying to configure them now.\n");
        configureStatistics();
        return QOV_SUCCESS;
    }
    if (autoFlickerDetectionSupported && autoFlickerRejection) {
        switch (metadata.flickerStats.flickerStatus) {
        case FLD_50HZ:
            flickerFreq = 50.0;
            break;
        case FLD_60HZ:
            flickerFreq = 60.0;
            break;
        case FLD_NO_FLICKER:
        case FLD_UNDETERMINED:
            flickerFreq = 0.0;
            break;
        default:
            break;  // still waiting: keep what was detected
        }
    } else {
        flickerFreq = flickerFreqConfig;
    }
    if (!settingsUpdated && hasConverged())
        return QOV_SUCCESS;
    const double previous = static_cast<double>(sensor->getExposure()) * sensor->getGain();
    getAutoExposure(previous, getMinAeExposure(), getMaxAeExposure(), getMinAeGain(), getMaxAeGain());
    if (doAE)
        programCorrection();
    settingsUpdated = false;
    return QOV_SUCCESS;
}

double ControlAE::autoExposureCtrl(double metering, double target, double prev) const
{
    return exposure::nextProduct(metering, target, prev, updateSpeed);
}

void ControlAE::getAutoExposure(double prevProduct, microseconds_t minE, microseconds_t maxE, double minG, double maxG)
{
    const double target = autoExposureCtrl(currentBrightness, targetBrightness, prevProduct);
    exposure::ExposureGain split;
    double period = 0.0;
    if (useFixedAeExposure) {
        split.exposure = uiFixedAeExposure;
        split.gain = exposure::gainFixedExposure(target, uiFixedAeExposure);
    } else if (useFixedAeGain) {
        split.gain = fFixedAeGain;
        split.exposure = exposure::exposureFixedGain(target, fFixedAeGain);
    } else {
        exposure::SplitLimits limits;
        limits.frameDuration = fSensorFrameDuration;
        period = flickerRejection ? exposure::flickerPeriod(flickerFreq) : 0.0;
        limits.flickerPeriod = period;
        limits.maxAeExposure = uiMaxAeExposure;
        limits.maxExposure = maxE;
        limits.targetGain = getTargetAeGain();
        split = exposure::splitProduct(target, limits);
    }
    // Whole flicker periods are kept as they are: rounding them to the
    // exposure step would bring the bands back.
    const exposure::ExposureGain stepped =
        period > 0.0 && split.exposure >= period
            ? split
            : exposure::adjustExposureStep(minE, minE, maxE, split.exposure, split.gain);
    underexposed = stepped.gain > maxG;
    uiNewExposure = exposure::clampBetween(stepped.exposure, minE, maxE);
    fNewGain = useFixedAeGain ? fFixedAeGain : exposure::clampBetween(stepped.gain, minG, maxG);
}

QOV_RESULT ControlAE::programCorrection()
{
    Sensor *sensor = getSensor();
    if (!sensor) {
        LOG_Error(__func__, __LINE__, getLoggingName(), "ControlAE owner has no sensors!\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    sensor->setExposure(uiNewExposure);
    sensor->setGain(fNewGain);
    return QOV_SUCCESS;
}

bool ControlAE::hasConverged() const { return std::fabs(targetBrightness - currentBrightness) < targetBracket; }

/*-------------------------------------------------------------------------
 * Accessors
 *-------------------------------------------------------------------------*/

void ControlAE::setUpdateSpeed(double value)
{
    if (value < 0.0 || value > 1.0) {
        LOG_Error(__func__, __LINE__, getLoggingName(), "Update speed must be between 0.0 and 1.0 (received: %f)\n",
                  value);
        return;
    }
    updateSpeed = value;
}

double ControlAE::getTargetAeGain() const { return std::fmin(fTargetAeGain, fMaxSensorGain); }
double ControlAE::getMinAeGain() const { return std::fmax(fMinAeGain, fMinSensorGain); }
double ControlAE::getMaxAeGain() const { return std::fmin(fMaxAeGain, fMaxSensorGain); }
microseconds_t ControlAE::getMinAeExposure() const
{
    return uiMinAeExposure > uiMinSensorExposure ? uiMinAeExposure : uiMinSensorExposure;
}
microseconds_t ControlAE::getMaxAeExposure() const
{
    return uiMaxAeExposure < uiMaxSensorExposure ? uiMaxAeExposure : uiMaxSensorExposure;
}

namespace {
double sensorGain(const Sensor *sensor, double value)
{
    return sensor ? exposure::clampBetween(value, sensor->getMinGain(), sensor->getMaxGain()) : value;
}
microseconds_t sensorExposure(const Sensor *sensor, microseconds_t value)
{
    return sensor ? exposure::clampBetween(value, static_cast<microseconds_t>(sensor->getMinExposure()),
                                           static_cast<microseconds_t>(sensor->getMaxExposure()))
                  : value;
}
}  // namespace

void ControlAE::setTargetAeGain(double value) { change(fTargetAeGain, sensorGain(getSensor(), value)); }
void ControlAE::setMinAeGain(double value) { change(fMinAeGain, sensorGain(getSensor(), value)); }
void ControlAE::setMaxAeGain(double value) { change(fMaxAeGain, sensorGain(getSensor(), value)); }
void ControlAE::setFixedAeGain(double value) { change(fFixedAeGain, sensorGain(getSensor(), value)); }
void ControlAE::setMinAeExposure(microseconds_t value) { change(uiMinAeExposure, sensorExposure(getSensor(), value)); }
void ControlAE::setMaxAeExposure(microseconds_t value) { change(uiMaxAeExposure, sensorExposure(getSensor(), value)); }
void ControlAE::setFixedAeExposure(microseconds_t value)
{
    change(uiFixedAeExposure, sensorExposure(getSensor(), value));
}

void ControlAE::enableFlickerRejection(bool enable, double freq)
{
    if (flickerRejection != enable)
        settingsUpdated = true;
    flickerRejection = enable;
    if (freq > 0.0) {
        if (autoFlickerRejection || flickerFreqConfig != freq)
            settingsUpdated = true;
        autoFlickerRejection = false;
        flickerFreqConfig = freq;
    } else {
        if (!autoFlickerRejection)
            settingsUpdated = true;
        autoFlickerRejection = true;
    }
}

void ControlAE::setBlcLevel(double value) { change(blcLevelConfig, exposure::clampBetween(value, 0.0, 1.0)); }

double ControlAE::getApertureFactor() const
{
    const Sensor *sensor = getSensor();
    if (!sensor)
        return 0.0;
    return static_cast<double>(sensor->getExposure()) * sensor->getGain() / (fMinAeGain * fSensorFrameDuration);
}

std::ostream &ControlAE::printState(std::ostream &os) const
{
    ModuleBase::printState(os);
    os << "    config:" << std::endl;
    os << "    enabled = " << (enabled ? 1 : 0) << std::endl;
    os << "      flickerRejection = " << flickerRejection << std::endl;
    os << "      autoFlickerRejection = " << autoFlickerRejection << std::endl;
    os << "      flickerFreqConfig = " << flickerFreqConfig << std::endl;
    os << "      blcAuto = " << blcAuto << std::endl;
    os << "      blcLevelConfig = " << blcLevelConfig << std::endl;
    os << "      targetBrightness = " << targetBrightness << std::endl;
    os << "      updateSpeed = " << updateSpeed << std::endl;
    os << "      targetBracket = " << targetBracket << std::endl;
    os << "      fTargetAeGain = " << fTargetAeGain << std::endl;
    os << "      fMinAeGain = " << fMinAeGain << std::endl;
    os << "      fMaxAeGain = " << fMaxAeGain << std::endl;
    os << "      uiMinAeExposure = " << uiMinAeExposure << std::endl;
    os << "      uiMaxAeExposure = " << uiMaxAeExposure << std::endl;
    os << "      uiMaxSensorExposure = " << uiMaxSensorExposure << std::endl;
    os << "      fSensorFrameDuration = " << fSensorFrameDuration << std::endl;
    os << "      useFixedAeGain = " << useFixedAeGain << std::endl;
    os << "      fFixedAeGain = " << fFixedAeGain << std::endl;
    os << "      useFixedAeExposure = " << useFixedAeExposure << std::endl;
    os << "      uiFixedAeExposure = " << uiFixedAeExposure << std::endl;
    os << "    state:" << std::endl;
    os << "      hasConverged = " << hasConverged() << std::endl;
    os << "      currentBrightness = " << currentBrightness << std::endl;
    os << "      fNewGain = " << fNewGain << std::endl;
    os << "      uiNewExposure = " << uiNewExposure << std::endl;
    return os;
}

}  // namespace VOVA
