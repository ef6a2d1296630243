// The tone-mapping loop: histogram in, tone mapper curve and local weight out.
#include "vova/ControlTNM.h"

#include "vezaracommon/userlog.h"
#include "vova/ModuleTNM.h"
#include "vova/Sensor.h"
#include "vova/Shot.h"
#include "vova/ToneCurve.h"

namespace VOVA {

const ParamDef<float> ControlTNM::TNMC_TEMPERING("TNMC_TEMPERING", 0.0f, 1.0f, 0.2f);
const ParamDef<float> ControlTNM::TNMC_HISTMIN("TNMC_HIST_CLIP_MIN", 0.0f, 1.0f, 0.035f);
const ParamDef<float> ControlTNM::TNMC_HISTMAX("TNMC_HIST_CLIP_MAX", 0.0f, 1.0f, 0.25f);
const ParamDef<float> ControlTNM::TNMC_SMOOTHING("TNMC_SMOOTHING", 0.0f, 1.0f, 0.4f);
const ParamDef<float> ControlTNM::TNMC_UPDATESPEED("TNMC_UPDATE_SPEED", 0.0f, 1.0f, 0.5f);
const ParamDefSingle<bool> ControlTNM::TNMC_LOCAL("TNMC_LOCAL", false);
const ParamDef<float> ControlTNM::TNMC_LOCAL_STRENGTH("TNMC_LOCALSTRENGTH", 0.0f, 1.0f, 0.0f);
const ParamDefSingle<bool> ControlTNM::TNMC_ADAPTIVE("TNMC_ADAPTIVE", false);

namespace {
const char *const kTag = "VOVA_CTRL_TNM";

bool shapeIs(const Matrix &m, int cols)
{
    if (m.numRows() == 1 && m.numCols() == cols)
        return true;
    LOG_Error(__func__, __LINE__, kTag, "Expecting matrix with 1x%d elements\n", cols);
    return false;
}
}  // namespace

const KeyTable<ControlTNM> &ControlTNM::keys()
{
    typedef Keys<ControlTNM> K;
    static const KeyTable<ControlTNM> table = K::table(
        K::number(TNMC_TEMPERING, &ControlTNM::tempering), K::number(TNMC_HISTMIN, &ControlTNM::histMin),
        K::number(TNMC_HISTMAX, &ControlTNM::histMax), K::number(TNMC_SMOOTHING, &ControlTNM::smoothing),
        K::number(TNMC_UPDATESPEED, &ControlTNM::updateSpeed), K::flag(TNMC_LOCAL, &ControlTNM::localTNM),
        K::number(TNMC_LOCAL_STRENGTH, &ControlTNM::localStrength), K::flag(TNMC_ADAPTIVE, &ControlTNM::adaptiveTNM));
    return table;
}

ControlTNM::ControlTNM(const std::string &logName)
    : FamilyControl(logName), histMin(TNMC_HISTMIN.def), histMax(TNMC_HISTMAX.def), smoothing(TNMC_SMOOTHING.def),
      tempering(TNMC_TEMPERING.def), updateSpeed(TNMC_UPDATESPEED.def), histogram(1, tone::HIST_BINS),
      mappingCurve(1, tone::CURVE_POINTS), localTNM(TNMC_LOCAL.def), adaptiveTNM(TNMC_ADAPTIVE.def),
      localStrength(TNMC_LOCAL_STRENGTH.def)
{
    resetHistogram(histogram);
    resetCurve(mappingCurve);
}

QOV_RESULT ControlTNM::setChecked(double &field, double value, const ParamDef<float> &def)
{
    if (value < def.min || value > def.max) {
        LOG_Error(__func__, __LINE__, getLoggingName(), "Programmed value (%f) must be between %f and %f\n", value,
                  static_cast<double>(def.min), static_cast<double>(def.max));
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    field = value;
    return QOV_SUCCESS;
}

QOV_RESULT ControlTNM::update(const Metadata &metadata)
{
    adaptiveStrength = 1.0;
    if (adaptiveTNM) {
        const Sensor *sensor = getSensor();
        if (!sensor) {
            LOG_Error(__func__, __LINE__, getLoggingName(), "ControlTNM has no sensor!\n");
            return QOV_ERROR_NOT_INITIALISED;
        }
        adaptiveStrength = tone::adaptiveStrength(sensor->getMaxGain(), sensor->getGain());
    }
    loadHistogram(metadata, histogram);
    if (!tone::updateCurve(histogram[0].data(), histMin, histMax, smoothing, tempering, updateSpeed,
                           mappingCurve[0].data()))
        LOG_Warning(__func__, __LINE__, kTag,
                    "The global histograms are 0, the curve cannot be computed it is forced to identity!\n");
    programCorrection();
    return QOV_SUCCESS;
}

QOV_RESULT ControlTNM::programCorrection()
{
    writeEachPipeline<ModuleTNM>([this](ModuleTNM &tnm) {
        tone::curvePoints(mappingCurve[0].data(), adaptiveTNM, adaptiveStrength, tnm.aCurve);
        tnm.fWeightLocal = localTNM ? (1.0 - adaptiveStrength) * localStrength : 0.0;
    });
    return QOV_SUCCESS;
}

QOV_RESULT ControlTNM::configureStatistics()
{
    const GlobalHistogramTexts texts = {
        "ControlTNM has no pipeline owner! Cannot configure statistics.\n", "ControlTNM cannot find HIS\n",
        getLoggingName(), "Global Histograms in HIS are not enabled! The computed TNM curve will be flat.\n"};
    return requireGlobalHistogram(*this, configureHis, texts);
}

QOV_RESULT ControlTNM::resetHistogram(Matrix &hist)
{
    if (!shapeIs(hist, tone::HIST_BINS))
        return QOV_ERROR_INVALID_ARGUMENT;
    for (double &v : hist[0])
        v = 1.0 / tone::HIST_BINS;
    return QOV_SUCCESS;
}

QOV_RESULT ControlTNM::resetCurve(Matrix &curve)
{
    if (!shapeIs(curve, tone::CURVE_POINTS))
        return QOV_ERROR_INVALID_ARGUMENT;
    tone::identityCurve(curve[0].data());
    return QOV_SUCCESS;
}

QOV_RESULT ControlTNM::loadHistogram(const Metadata &metadata, Matrix &hist)
{
    std::vector<double> &row = hist[0];
    for (int i = 0; i < tone::HIST_BINS; i++)
        row[i] = static_cast<double>(metadata.histogramStats.globalHistogram[i]);
    return QOV_SUCCESS;
}

Matrix ControlTNM::accumulateHistogram(const Matrix &hist)
{
    Matrix curve(1, tone::CURVE_POINTS);
    if (shapeIs(hist, tone::HIST_BINS))
        tone::accumulate(hist[0].data(), curve[0].data());
    return curve;
}

QOV_RESULT ControlTNM::smoothHistogram(Matrix &hist)
{
    if (!shapeIs(hist, tone::HIST_BINS))
        return QOV_ERROR_INVALID_ARGUMENT;
    const std::vector<double> copy = hist[0];
    tone::smoothHistogram(copy.data(), hist[0].data());
    return QOV_SUCCESS;
}

QOV_RESULT ControlTNM::smoothHistogram(Matrix &hist, double amount)
{
    if (!shapeIs(hist, tone::HIST_BINS))
        return QOV_ERROR_INVALID_ARGUMENT;
    if (amount < 0.0 || amount > 1.0) {
        LOG_Error(__func__, __LINE__, kTag, "Smoothing amount must be between 0.0 and 1.0. Setting to 0.0.\n");
        amount = 0.0;
    }
    tone::blendSmoothed(hist[0].data(), amount);
    return QOV_SUCCESS;
}

QOV_RESULT ControlTNM::generateMappingCurve(Matrix &hist, double minHist, double maxHist, double smoothing,
                                            double tempering, double updateSpeed, Matrix &mappingCurve)
{
    if (!shapeIs(hist, tone::HIST_BINS) || !shapeIs(mappingCurve, tone::CURVE_POINTS))
        return QOV_ERROR_INVALID_ARGUMENT;
    if (smoothing < 0.0 || smoothing > 1.0) {
        LOG_Error(__func__, __LINE__, kTag, "Smoothing amount must be between 0.0 and 1.0. Setting to 0.0.\n");
        smoothing = 0.0;
    }
    if (!tone::updateCurve(hist[0].data(), minHist, maxHist, smoothing, tempering, updateSpeed,
                           mappingCurve[0].data()))
        LOG_Warning(__func__, __LINE__, kTag,
                    "The global histograms are 0, the curve cannot be computed it is forced to identity!\n");
    return QOV_SUCCESS;
}

std::ostream &ControlTNM::printState(std::ostream &os) const
{
    ControlModule::printState(os);
    os << "      adaptiveStrength = " << adaptiveStrength << std::endl;
    os << "      histMin = " << histMin << std::endl;
    os << "      histMax = " << histMax << std::endl;
    os << "      smoothing = " << smoothing << std::endl;
    os << "      tempering = " << tempering << std::endl;
    os << "      updateSpeed = " << updateSpeed << std::endl;
    os << "      localTNM = " << localTNM << std::endl;
    os << "      adaptiveTNM = " << adaptiveTNM << std::endl;
    os << "      localStrength = " << localStrength << std::endl;
    return os;
}

}  // namespace VOVA
