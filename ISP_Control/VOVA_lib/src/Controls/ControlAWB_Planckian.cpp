// The Planckian white-balance control: tile statistics set-up, the tile
// ratios and their centroid refined against the calibration's locus, the
// flash filter and temporal smoothing of the result, and the correction.
#include "vova/ControlAWB_Planckian.h"

#include <algorithm>
#include <cmath>

#include "vezaracommon/userlog.h"
#include "vova/ModuleAWS.h"
#include "vova/Sensor.h"
#include "vova/Shot.h"

namespace VOVA {

const ParamDefSingle<bool> ControlAWB_Planckian::AWB_USE_AWS_CONFIG("AWB_USE_AWS_CONFIG", false);
const ParamDef<double> ControlAWB_Planckian::AWB_MAX_RATIO_DISTANCE("AWB_MAX_RATIO_DISTANCE", 0.0, 1.0, 0.2);
const ParamDefSingle<bool> ControlAWB_Planckian::WBT_USE_FLASH_FILTERING("WBT_USE_FLASH_FILTERING", false);
const ParamDefSingle<bool> ControlAWB_Planckian::WBT_USE_SMOOTHING("WBT_USE_SMOOTHING", false);
const ParamDef<int> ControlAWB_Planckian::WBTS_TEMPORAL_STRETCH("WBT_TEMPORAL_STRETCH", TEMPORAL_STRETCH_MIN,
                                                                TEMPORAL_STRETCH_MAX, DEFAULT_TEMPORAL_STRETCH);
const ParamDef<float> ControlAWB_Planckian::WBTS_WEIGHT_BASE("WBT_WEIGHT_BASE", 1.001f, 10.0f, 2.0f);

const KeyTable<ControlAWB_Planckian> &ControlAWB_Planckian::keys()
{
    typedef ControlAWB_Planckian P;
    typedef Keys<P> K;
    static const KeyTable<P> table = K::table(
        K::number<double, double>(AWB_TARGET_TEMPERATURE, &P::targetTemperature),
        K::flag(AWB_USE_AWS_CONFIG, &P::useCustomAwsConfig),
        K::custom(
            AWB_MAX_RATIO_DISTANCE.name,
            [](P &c, const ParameterList &parameters) {
                c.fMaxRatioDistance = parameters.getParameter(AWB_MAX_RATIO_DISTANCE);
                c.fMaxRatioDistancePow2 = c.fMaxRatioDistance * c.fMaxRatioDistance;
                return QOV_SUCCESS;
            },
            [](const P &c, ParameterList &parameters, ModuleBase::SaveType t) {
                if (t == ModuleBase::SAVE_VAL)
                    parameters.addParameter(AWB_MAX_RATIO_DISTANCE, c.fMaxRatioDistance, true);
                else
                    family::saveBound(AWB_MAX_RATIO_DISTANCE, parameters, t);
            }),
        K::flag(WBT_USE_FLASH_FILTERING, &P::mFlashFilteringEnabled), K::flag(WBT_USE_SMOOTHING, &P::mUseTemporalSmoothing),
        K::number(WBTS_TEMPORAL_STRETCH, &P::mTemporalStretch), K::number(WBTS_WEIGHT_BASE, &P::mWeightsBase));
    return table;
}

void ControlAWB_Planckian::AwbTile::computeRatios()
{
    const double n = numCFAs;
    if (!ratioRValid) {
        ratioR = std::exp2(awb::tileLog2Ratio(fCollectedRed, fCollectedGreen, n, log2_QEr));
        ratioRValid = true;
    }
    if (!ratioBValid) {
        ratioB = std::exp2(awb::tileLog2Ratio(fCollectedBlue, fCollectedGreen, n, log2_QEb));
        ratioBValid = true;
    }
}

bool ControlAWB_Planckian::AwbTile::applyBounds(double lowLog2RatioR, double lowLog2RatioB)
{
    double lr = 0.0, lb = 0.0;
    if (numCFAs > 0) {
        lr = awb::tileLog2Ratio(fCollectedRed, fCollectedGreen, numCFAs, log2_QEr);
        lb = awb::tileLog2Ratio(fCollectedBlue, fCollectedGreen, numCFAs, log2_QEb);
    }
    if (!awb::beyondLowTemperature(lowLog2RatioR, lowLog2RatioB, lr, lb))
        return false;
    numCFAs = 0;
    return true;
}

ControlAWB_Planckian::ControlAWB_Planckian(const std::string &logName)
    : ControlAWB(logName),
      fRatioR(1.0),
      fRatioB(1.0),
      fLog2_R_Qeff(0.0),
      fLog2_B_Qeff(0.0),
      f_R_Qeff(1.0),
      f_B_Qeff(1.0),
      fLog2LowTempRatioR(1.0),
      fLog2LowTempRatioB(1.0),
      fMaxRatioDistance(AWB_MAX_RATIO_DISTANCE.def),
      fMaxRatioDistancePow2(AWB_MAX_RATIO_DISTANCE.def * AWB_MAX_RATIO_DISTANCE.def),
      useCustomAwsConfig(AWB_USE_AWS_CONFIG.def),
      mFlashFilteringEnabled(true),
      mUseTemporalSmoothing(false),
      mTemporalStretch(DEFAULT_TEMPORAL_STRETCH),
      mWeightsBase(DEFAULT_WEIGHT_BASE)
{
}

ControlAWB_Planckian::~ControlAWB_Planckian() {}

QOV_RESULT ControlAWB_Planckian::load(const ParameterList &parameters)
{
    loadCalibration(parameters, true);
    family::loadTable(*this, keys(), parameters);
    return QOV_SUCCESS;
}

QOV_RESULT ControlAWB_Planckian::save(ParameterList &parameters, ModuleBase::SaveType t) const
{
    return saveWithCalibration(*this, parameters, t);
}

QOV_RESULT ControlAWB_Planckian::configureStatistics()
{
    if (!getPipelineOwner()) {
        LOG_Error("configureStatistics", __LINE__, getLoggingName(),
                  "ControlAWB_Planckian has no pipeline owner! Cannot configure statistics.\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    ModuleAWS *aws = ownerModule<ModuleAWS>();
    configured = false;
    if (!aws) {
        LOG_Error("configureStatistics", __LINE__, getLoggingName(), "ControlAWB_Planckian cannot find AWS module.\n");
        return QOV_ERROR_WRONG_STATE;
    }
    if (!statisticsRegionProgrammed) {
        const Sensor *sensor = getSensor();
        if (!sensor) {
            LOG_Error("configureStatistics", __LINE__, getLoggingName(),
                      "ControlAWB_Planckian has no sensor! Cannot configure statistics.\n");
            return QOV_ERROR_NOT_INITIALISED;
        }
        if (!useCustomAwsConfig) {
            if (Uncorrected.initialized) {
                f_R_Qeff = Uncorrected.gains[0][0];
                f_B_Qeff = Uncorrected.gains[0][3];
            }
            fLog2_R_Qeff = std::log2(f_R_Qeff);
            fLog2_B_Qeff = std::log2(f_B_Qeff);
            aws->fLog2_R_Qeff = fLog2_R_Qeff;
            aws->fLog2_B_Qeff = fLog2_B_Qeff;
            aws->ui16GridStartRow = 0;
            aws->ui16GridStartColumn = 0;
            aws->ui16TileWidth = static_cast<QOV_UINT16>(sensor->uiWidth / STATS_TILES_HORIZ);
            aws->ui16TileHeight = static_cast<QOV_UINT16>(sensor->uiHeight / STATS_TILES_VERT);
        } else {
            fLog2_R_Qeff = aws->fLog2_R_Qeff;
            fLog2_B_Qeff = aws->fLog2_B_Qeff;
            f_R_Qeff = std::exp2(fLog2_R_Qeff);
            f_B_Qeff = std::exp2(fLog2_B_Qeff);
        }
        if (colorTempCorrection.size() == 0) {
            LOG_Info("configureStatistics", __LINE__, getLoggingName(), "No temperature calibration points defined\n");
        } else {
            // Sorted by temperature: the first is the lowest (the first met of equals).
            const ColorCorrection &lowest = colorTempCorrection.temperatureCorrections.front();
            fLog2LowTempRatioR = fLog2_R_Qeff - std::log2(lowest.gains[0][0]) + aws->fBbDist;
            fLog2LowTempRatioB = fLog2_B_Qeff - std::log2(lowest.gains[0][3]) - aws->fBbDist;
        }
        aws->enabled = true;
    }
    aws->requestUpdate();
    configured = true;
    return QOV_SUCCESS;
}

void ControlAWB_Planckian::processStatistics(const MC_STATS_AWS &stats)
{
    double sumR = 0.0, sumB = 0.0, sumN = 0.0;
    for (int row = 0; row < STATS_TILES_VERT; row++) {
        for (int col = 0; col < STATS_TILES_HORIZ; col++) {
            AwbTile &tile = awbTiles[row][col];
            const MC_TILE_STATS_AWS &s = stats.tileStats[row][col];
            tile.fCollectedRed = s.fCollectedRed;
            tile.fCollectedBlue = s.fCollectedBlue;
            tile.fCollectedGreen = s.fCollectedGreen;
            tile.numCFAs = s.numCFAs;
            tile.ratioRValid = false;
            tile.ratioBValid = false;
            tile.log2_QEr = fLog2_R_Qeff;
            tile.log2_QEb = fLog2_B_Qeff;
            if (tile.numCFAs == 0 || tile.applyBounds(fLog2LowTempRatioR, fLog2LowTempRatioB))
                continue;
            tile.computeRatios();
            const double n = tile.numCFAs;
            sumR += n * tile.ratioR;
            sumB += n * tile.ratioB;
            sumN += n;
        }
    }

    double cR = 1.0, cB = 1.0;
    if (sumN > 0.0) {
        cR = sumR / sumN;
        cB = sumB / sumN;
        postprocessCentroid(cR, cB);
    }

    double sumRed = 0.0, sumBlue = 0.0, sumGreen = 0.0, N = 0.0;
    for (const auto &row : awbTiles) {
        for (const AwbTile &tile : row) {
            if (tile.numCFAs == 0)
                continue;
            const double dR = tile.ratioR - cR, dB = tile.ratioB - cB;
            if (dR * dR + dB * dB >= fMaxRatioDistancePow2)
                continue;
            sumRed += tile.fCollectedRed;
            sumBlue += tile.fCollectedBlue;
            sumGreen += tile.fCollectedGreen;
            N += tile.numCFAs;
        }
    }
    if (N == 0.0) {
        fRatioR = cR;
        fRatioB = cB;
        return;
    }
    fRatioR = std::exp2(awb::tileLog2Ratio(sumRed, sumGreen, N, fLog2_R_Qeff));
    fRatioB = std::exp2(awb::tileLog2Ratio(sumBlue, sumGreen, N, fLog2_B_Qeff));
}

bool ControlAWB_Planckian::postprocessCentroid(double &ratioR, double &ratioB)
{
    const LineSegments &locus = colorTempCorrection.lines;
    if (locus.empty()) {
        LOG_Error("postprocessCentroid", __LINE__, getLoggingName(),
                  "No Planckian locus approximation loaded, please provide at least two different calibration "
                  "points\n");
        return false;
    }
    double pR = 0.0, pB = 0.0;
    locus.getRbProj(ratioR, ratioB, pR, pB);

    // Tiles on either side of the centroid along the locus.
    struct Group {
        double sumR = 0.0, sumB = 0.0, weight = 0.0, count = 0.0;
        double r = 0.0, b = 0.0;
    } upper, lower;
    for (auto &row : awbTiles) {
        for (AwbTile &tile : row) {
            if (tile.numCFAs == 0)
                continue;
            tile.computeRatios();
            double tR = 0.0, tB = 0.0;
            locus.getRbProj(tile.ratioR, tile.ratioB, tR, tB);
            Group &g = pB <= tB ? upper : lower;
            const double n = tile.numCFAs;
            g.sumR += n * tile.ratioR;
            g.sumB += n * tile.ratioB;
            g.weight += n;
            g.count += n;
        }
    }
    for (Group *g : {&upper, &lower}) {
        if (g->count > 0.0) {
            g->r = g->sumR / g->count;
            g->b = g->sumB / g->count;
        }
    }

    const double D = 2.25 * fMaxRatioDistancePow2;
    const double dU = LineSegment::getLengthPow2(ratioR, ratioB, upper.r, upper.b);
    const double dL = LineSegment::getLengthPow2(ratioR, ratioB, lower.r, lower.b);
    const LineSegments::const_iterator closest = locus.getClosestLine(ratioR, ratioB);
    const double lineU = closest->getDistancePow2(upper.r, upper.b);
    const double lineL = closest->getDistancePow2(lower.r, lower.b);
    const Group &chosen = awb::chooseUpperSubCentroid(dU, dL, D, upper.weight, lower.weight, lineU, lineL) ? upper : lower;
    ratioR = chosen.r;
    ratioB = chosen.b;
    return true;
}

QOV_RESULT ControlAWB_Planckian::update(const Metadata &metadata)
{
    processStatistics(metadata.autoWhiteBalanceStats);
    if (fRatioR == 0.0)
        fRatioR = 1.0;
    if (fRatioB == 0.0)
        fRatioB = 1.0;

    double r, b;
    if (correctionMode != WB_NONE) {
        flashFiltering(fRatioR, fRatioB);
        temporalAWBsmoothing(r, b);
        const double limit = getTemporalStretch() * getFps();
        while (!rbNodes.empty() && static_cast<double>(rbNodes.size()) > limit)
            rbNodes.pop_back();
    } else {
        r = 1.0 / redBalance;
        b = 1.0 / blueBalance;
    }

    measuredTemperature = colorTempCorrection.getCorrelatedTemperature(r, 1.0, b);
    correctionTemperature = 6500.0 - (targetTemperature - measuredTemperature);

    const ModuleAWS *aws = ownerModule<ModuleAWS>();
    if (doAwb && !(aws && aws->debugMode)) {
        currentCCM = correctionAt(correctionTemperature);
        currentCCM.gains[0][0] = f_R_Qeff / r;
        currentCCM.gains[0][1] = 1.0;
        currentCCM.gains[0][2] = 1.0;
        currentCCM.gains[0][3] = f_B_Qeff / b;
        if (correctionMode != WB_NONE) {
            redBalance = 1.0 / r;
            blueBalance = 1.0 / b;
        }
        programCorrection();
    }
    return QOV_SUCCESS;
}

double ControlAWB_Planckian::getFps()
{
    // The frame rate of the mode the sensor wrapper read when the mode was
    // set: asking the driver on every shot costs a register read over I2C.
    const Sensor *sensor = getSensor();
    return sensor ? sensor->flFrameRate : 0.0;
}

void ControlAWB_Planckian::logSmoothingSettings() const
{
    LOG_Info("WBTS", __LINE__, getLoggingName(), "mUseTemporalSmoothing = %d mWeightsBase = %f mTemporalStretch = %d[ms] \n",
             mUseTemporalSmoothing ? 1 : 0, mWeightsBase, mTemporalStretch);
}

void ControlAWB_Planckian::setWBTSAlgorithm(bool smoothingEnabled, float base, int temporalStretch)
{
    rbNodes.clear();
    mUseTemporalSmoothing = smoothingEnabled;
    mTemporalStretch = temporalStretch;
    if (base <= 1.0f)
        mWeightsBase = 1.0001f;
    else if (base > 10.0f)
        mWeightsBase = 10.0f;
    else
        mWeightsBase = base;
    logSmoothingSettings();
}

void ControlAWB_Planckian::getWBTSAlgorithm(bool &smoothingEnabled, float &base, int &temporalStretch)
{
    smoothingEnabled = mUseTemporalSmoothing;
    base = mWeightsBase;
    temporalStretch = mTemporalStretch;
    logSmoothingSettings();
}

void ControlAWB_Planckian::setWBTSFeatures(unsigned int features)
{
    mFlashFilteringEnabled = (features & WBTS_FEATURES_FF) != 0;
}

void ControlAWB_Planckian::getWBTSFeatures(unsigned int &features) const
{
    features = mFlashFilteringEnabled ? WBTS_FEATURES_FF : WBTS_FEATURES_NONE;
}

void ControlAWB_Planckian::setWeightParam(float base)
{
    if (base < getMinWeightBase()) {
        LOG_Warning("setWeightParam", __LINE__, "VOVA_CTRL_AWB", "WBTS: Weight generation parameter clipped to min");
        mWeightsBase = getMinWeightBase();
    } else if (base > getMaxWeightBase()) {
        LOG_Warning("setWeightParam", __LINE__, "VOVA_CTRL_AWB", "WBTS: Weight generation parameter clipped to max");
        mWeightsBase = getMaxWeightBase();
    } else {
        mWeightsBase = base;
    }
}

void ControlAWB_Planckian::temporalAwbClear()
{
    rbNodesCache.clear();
    rbNodes.clear();
}

bool ControlAWB_Planckian::potentialFlash(rbNode_tag sample)
{
    return !rbNodes.empty() && awb::potentialFlash(sample, rbNodes.front());
}

void ControlAWB_Planckian::flashFiltering(double in_RG, double in_BG)
{
    awb::flashFiltering(rbNodes, rbNodesCache, rbNode_tag{in_RG, in_BG}, mFlashFilteringEnabled);
}

void ControlAWB_Planckian::temporalAWBsmoothing(double &out_RG, double &out_BG)
{
    if (mUseTemporalSmoothing)
        movingAverageWeighted(out_RG, out_BG);
    else
        smoothingNone(out_RG, out_BG);
}

void ControlAWB_Planckian::movingAverageWeighted(double &out_RG, double &out_BG)
{
    const rbNode_tag out = awb::movingAverageWeighted(rbNodes, rbWeights, mWeightsBase,
                                                      awb::smoothingWindow(getTemporalStretch(), getFps()));
    out_RG = out.rg;
    out_BG = out.bg;
}

void ControlAWB_Planckian::smoothingNone(double &out_RG, double &out_BG)
{
    const rbNode_tag newest = rbNodes.empty() ? rbNode_tag{1.0, 1.0} : rbNodes.front();
    out_RG = newest.rg;
    out_BG = newest.bg;
    const long limit = static_cast<long>(getTemporalStretch()) * static_cast<int>(getFps() + 0.5);
    while (static_cast<long>(rbNodes.size()) > std::max(limit, 1L))
        rbNodes.pop_back();
}

std::ostream &ControlAWB_Planckian::printState(std::ostream &os) const
{
    os << "  " << logName << ":" << std::endl;
    os << "    Config:" << std::endl;
    os << "      enabled = " << (enabled ? 1 : 0) << std::endl;
    os << "      Qer = " << fLog2_R_Qeff << std::endl;
    os << "      Qeb = " << fLog2_B_Qeff << std::endl;
    os << "      log2(LowTempRatioR) = " << fLog2LowTempRatioR << std::endl;
    os << "      log2(LowTempRatioB) = " << fLog2LowTempRatioB << std::endl;
    os << "      MaxDistance = " << fMaxRatioDistance << std::endl;
    os << "      useCustomAwsConfig = " << (useCustomAwsConfig ? 1 : 0) << std::endl;
    os << "    Temporal proc config:" << std::endl;
    os << "      weights base = " << mWeightsBase << std::endl;
    os << "      flash filter = " << (mFlashFilteringEnabled ? 1 : 0) << std::endl;
    os << "      mode = " << (mUseTemporalSmoothing ? 1 : 0) << std::endl;
    os << "      stretch [ms] = " << mTemporalStretch << std::endl;
    os << "    Capture state:" << std::endl;
    os << "      ratioR = " << fRatioR << std::endl;
    os << "      ratioB = " << fRatioB << std::endl;
    os << "      estimated temperature = " << colorTempCorrection.getCorrelatedTemperature(fRatioR, 1.0, fRatioB)
       << std::endl;
    os << "    Final valid tiles:" << std::endl;
    for (int row = 0; row < STATS_TILES_VERT; row++)
        for (int col = 0; col < STATS_TILES_HORIZ; col++) {
            const AwbTile &tile = awbTiles[row][col];
            if (tile.numCFAs > 0)
                os << "      tile[" << row << "," << col << "] R=" << tile.ratioR << " B=" << tile.ratioB << std::endl;
        }
    return os;
}

}  // namespace VOVA
