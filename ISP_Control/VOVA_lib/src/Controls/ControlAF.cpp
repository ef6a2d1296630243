// The auto-focus control: sharpness metering, the focus statistics it
// needs, and the scan state machine driving the sensor's focus.
#include "vova/ControlAF.h"

#include "vezaracommon/userlog.h"
#include "vova/ExposureMath.h"
#include "vova/ModuleFOS.h"
#include "vova/Sensor.h"
#include "vova/Shot.h"

namespace VOVA {

namespace focus {

unsigned passStep(unsigned last, unsigned scanInit, unsigned scanEnd)
{
    // A pass narrower than ten units still moves one unit a step, so that
    // it reaches its end.
    unsigned step = (scanEnd - scanInit) / 10;
    if (step == 0)
        step = 1;
    const unsigned long long next = static_cast<unsigned long long>(last) + step;
    return static_cast<unsigned>(exposure::clampBetween<unsigned long long>(next, scanInit, scanEnd));
}

void finePass(unsigned best, unsigned scanInit, unsigned scanEnd, unsigned lo, unsigned hi, unsigned &fineInit,
              unsigned &fineEnd)
{
    unsigned range = (scanEnd - scanInit) / 5;
    if (best < range)
        range = best / 2;
    fineInit = exposure::clampBetween(best - range, lo, hi);
    fineEnd = exposure::clampBetween(best + range, lo, hi);
}

unsigned closer(unsigned distance) { return static_cast<unsigned>(distance / 1.1); }

unsigned further(unsigned distance)
{
    // Below 10 a tenth is less than one unit: move one unit at least.
    const unsigned farther = static_cast<unsigned>(distance * 1.1);
    return farther > distance ? farther : distance + 1;
}

}  // namespace focus

const ParamDef<double> ControlAF::AF_CENTER_WEIGTH("AF_CENTER_WEIGTH", 0.0, 1.0, 1.0);
const Grid7x7 &ControlAF::WEIGHT_7X7_CENTRAL = GRID_WEIGHT_NARROW;
const Grid7x7 &ControlAF::WEIGHT_7X7_SPREAD = GRID_WEIGHT_BROAD;

const KeyTable<ControlAF> &ControlAF::keys()
{
    typedef Keys<ControlAF> K;
    static const KeyTable<ControlAF> table = K::table(K::number(AF_CENTER_WEIGTH, &ControlAF::centerWeigth));
    return table;
}

ControlAF::ControlAF(const std::string &logName) : FamilyControl(logName), centerWeigth(AF_CENTER_WEIGTH.def) {}

const char *ControlAF::StateName(State state)
{
    switch (state) {
    case AF_IDLE:
        return "AF_IDLE";
    case AF_SCANNING:
        return "AF_SCANNING";
    case AF_FOCUSED:
        return "AF_FOCUSED";
    case AF_OUT:
        return "AF_OUT";
    }
    return "unknown";
}

const char *ControlAF::ScanStateName(ScanState state)
{
    switch (state) {
    case AF_SCAN_STOP:
        return "AF_SCAN_STOP";
    case AF_SCAN_INIT:
        return "AF_SCAN_INIT";
    case AF_SCAN_ROUGH:
        return "AF_SCAN_ROUGH";
    case AF_SCAN_FINE:
        return "AF_SCAN_FINE";
    case AF_SCAN_REFINE:
        return "AF_SCAN_REFINE";
    case AF_SCAN_POSITIONING:
        return "AF_SCAN_POSITIONING";
    case AF_SCAN_FINISHED:
        return "AF_SCAN_FINISHED";
    }
    return "unknown";
}

const char *ControlAF::CommandName(Command command)
{
    switch (command) {
    case AF_TRIGGER:
        return "AF_TRIGGER";
    case AF_STOP:
        return "AF_STOP";
    case AF_FOCUS_CLOSER:
        return "AF_FOCUS_CLOSER";
    case AF_FOCUS_FURTHER:
        return "AF_FOCUS_FURTHER";
    case AF_NONE:
        return "AF_NONE";
    }
    return "unknown";
}

QOV_RESULT ControlAF::configureStatistics()
{
    if (!getPipelineOwner()) {
        LOG_Error(__func__, __LINE__, getLoggingName(), "ControlAF has no pipeline owner! Cannot configure statistics.\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    ModuleFOS *fos = ownerModule<ModuleFOS>();
    if (!fos)
        return QOV_ERROR_WRONG_STATE;
    const Sensor *sensor = getSensor();
    if (!sensor) {
        LOG_Error(__func__, __LINE__, getLoggingName(), "ControlAF has no sensor!\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    const unsigned w = sensor->uiWidth, h = sensor->uiHeight;
    fos->bEnableROI = true;
    fos->aRoiStartCoord[0] = w / 3;
    fos->aRoiStartCoord[1] = h / 3;
    fos->aRoiEndCoord[0] = 2 * w / 3;
    fos->aRoiEndCoord[1] = 2 * h / 3;
    fos->bEnableGrid = true;
    const int tw = static_cast<int>(w / 7.0), th = static_cast<int>(h / 7.0);
    fos->aGridTileSize[0] = static_cast<QOV_UINT32>(tw);
    fos->aGridTileSize[1] = static_cast<QOV_UINT32>(th);
    fos->aGridStartCoord[0] = static_cast<QOV_UINT32>((static_cast<int>(w) - tw * 7) / 2);
    fos->aGridStartCoord[1] = static_cast<QOV_UINT32>((static_cast<int>(h) - th * 7) / 2);
    fos->requestUpdate();
    normalizeFactor = 1.0 / (tw * th * 255);
    return QOV_SUCCESS;
}

double ControlAF::sharpnessGridMetering(const Metadata &shotMetadata, double centreWeight)
{
    Grid7x7 grid;
    for (int r = 0; r < 7; r++)
        for (int c = 0; c < 7; c++)
            grid[r][c] = shotMetadata.focusStats.gridSharpness[r][c];
    return blendedGridSum(grid, WEIGHT_7X7_CENTRAL, WEIGHT_7X7_SPREAD, centreWeight);
}

QOV_RESULT ControlAF::update(const Metadata &metadata)
{
    Sensor *sensor = getSensor();
    if (!sensor) {
        LOG_Error(__func__, __LINE__, getLoggingName(), "ControlAF has no sensor!\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    if (!flagInitialized) {
        LOG_Warning(__func__, __LINE__, getLoggingName(), "ControlAF is not initialised. Initialising it now\n");
        configureStatistics();
        bestSharpness = 0.0;
        bestFocusDistance = 0;
        minFocusDistance = sensor->getMinFocus();
        maxFocusDistance = sensor->getMaxFocus();
        lastSharpness = 0.0;
        currentState = nextState = AF_IDLE;
        scanState = AF_SCAN_STOP;
        lastCommand = AF_NONE;
        targetFocusDistance = minFocusDistance;
        scanInit = scanEnd = 0;
        flagInitialized = true;
        return QOV_SUCCESS;
    }
    lastSharpness = normalizeFactor * sharpnessGridMetering(metadata, centerWeigth);
    runAF(sensor->getFocusDistance(), lastSharpness, lastCommand);
    lastCommand = AF_NONE;
    return QOV_SUCCESS;
}

void ControlAF::noteSharpness(unsigned last, double sharpness)
{
    if (sharpness > bestSharpness) {
        bestSharpness = sharpness;
        bestFocusDistance = last;
    }
}

void ControlAF::runAF(unsigned last, double sharpness, Command command)
{
    const unsigned lo = minFocusDistance < maxFocusDistance ? minFocusDistance : maxFocusDistance;
    const unsigned hi = minFocusDistance < maxFocusDistance ? maxFocusDistance : minFocusDistance;
    unsigned d = targetFocusDistance;
    currentState = nextState;
    switch (currentState) {
    case AF_IDLE:
        if (command == AF_TRIGGER) {
            nextState = AF_SCANNING;
            scanState = AF_SCAN_STOP;
        } else if (command == AF_FOCUS_CLOSER) {
            d = focus::closer(d);
        } else if (command == AF_FOCUS_FURTHER) {
            d = focus::further(d);
        }
        break;
    case AF_FOCUSED:
        nextState = AF_IDLE;
        break;
    case AF_SCANNING: {
        // A pass steps on from the distance read back, or from the distance
        // asked when the sensor reports less, and ends on the shot that
        // reads its end back or after it asked for its end: it ends even
        // when the sensor does not follow the distances asked.
        const bool passEnded = last == scanEnd || targetFocusDistance == scanEnd;
        const unsigned from = last > targetFocusDistance ? last : targetFocusDistance;
        switch (scanState) {
        case AF_SCAN_STOP:
            bestSharpness = 0.0;
            scanInit = lo;
            scanEnd = hi;
            bestFocusDistance = lo;
            d = lo;
            scanState = AF_SCAN_INIT;
            break;
        case AF_SCAN_INIT:
            scanState = AF_SCAN_ROUGH;
            break;
        case AF_SCAN_ROUGH:
            noteSharpness(last, sharpness);
            d = focus::passStep(from, scanInit, scanEnd);
            targetFocusDistance = d;
            if (passEnded) {
                focus::finePass(bestFocusDistance, scanInit, scanEnd, lo, hi, scanInit, scanEnd);
                bestFocusDistance = scanInit;
                bestSharpness = 0.0;
                scanState = AF_SCAN_FINE;
                d = scanInit;
            }
            break;
        case AF_SCAN_FINE:
            noteSharpness(last, sharpness);
            if (passEnded) {
                scanState = AF_SCAN_POSITIONING;
                d = bestFocusDistance;
            } else {
                d = focus::passStep(from, scanInit, scanEnd);
            }
            break;
        case AF_SCAN_POSITIONING:
            nextState = AF_FOCUSED;
            scanState = AF_SCAN_STOP;
            break;
        case AF_SCAN_REFINE:
        case AF_SCAN_FINISHED:
            scanState = AF_SCAN_STOP;
            break;
        }
        break;
    }
    default:
        break;
    }
    targetFocusDistance = exposure::clampBetween(d, lo, hi);
    Sensor *sensor = getSensor();
    if (!sensor) {
        LOG_Error(__func__, __LINE__, getLoggingName(), "ControlAF has no sensor! Did not update focus distance\n");
        return;
    }
    if (targetFocusDistance != sensor->getFocusDistance())
        sensor->setFocusDistance(targetFocusDistance);
}

std::ostream &ControlAF::printState(std::ostream &os) const
{
    ModuleBase::printState(os);
    os << "    config:" << std::endl;
    os << "    enabled = " << (enabled ? 1 : 0) << std::endl;
    os << "      targetFocusDistance = " << targetFocusDistance << std::endl;
    os << "      centerWeigth = " << centerWeigth << std::endl;
    os << "    state:" << std::endl;
    os << "      hasConverged = " << (hasConverged() ? 1 : 0) << std::endl;
    os << "      bestSharpness = " << bestSharpness << std::endl;
    os << "      bestFocusDistance = " << bestFocusDistance << std::endl;
    os << "      currentState = " << StateName(currentState) << std::endl;
    os << "      nextState = " << StateName(nextState) << std::endl;
    os << "      scanState = " << ScanStateName(scanState) << std::endl;
    os << "      lastCommand = " << CommandName(lastCommand) << std::endl;
    os << "      scanInit = " << scanInit << std::endl;
    os << "      scanEnd = " << scanEnd << std::endl;
    return os;
}

}  // namespace VOVA
