// White-balance tile statistics: eighteen keys; the tile size follows the
// sensor when there is one, and the curve keys hold one value per line.
#include "vova/ModuleAWS.h"

#include <algorithm>

#include "vova/Sensor.h"

namespace VOVA {

namespace {

const short defaultCoords[2] = {0, 0};
const short defaultSize[2] = {16, 16};

// The curve values are a signed S5.10 register field: the range is the
// register values -16384 and 16384, the defaults those below (x: 908, 990,
// 1022, 0, 0; y: 472, 261, 66, 0, 0; offsets: 40, 262, 652, 0, 0;
// boundaries: 256, 31904, 30816, 16384, 16384), as numbers. 16384 stands
// for +16.0.
const double kCurveMin = -16.0;
const double kCurveMax = 16.0;
const double awsCurveXCoeffsDef[5] = {0.88671875, 0.966796875, 0.998046875, 0.0, 0.0};
const double awsCurveYCoeffsDef[5] = {0.4609375, 0.2548828125, 0.064453125, 0.0, 0.0};
const double awsCurveOffsetsDef[5] = {0.0390625, 0.255859375, 0.63671875, 0.0, 0.0};
const double awsCurveBoundariesDef[5] = {0.25, -0.84375, -1.90625, 16.0, 16.0};

const unsigned kMaxLines = 5;

// The sensor-derived default of the tile size: a seventh of the image, at least 16.
void sensorTileSize(const Sensor &s, short (&size)[2])
{
    size[0] = static_cast<short>(std::max<unsigned>(s.uiWidth / 7, ModuleAWS::AWS_TILE_WIDTH_MIN));
    size[1] = static_cast<short>(std::max<unsigned>(s.uiHeight / 7, ModuleAWS::AWS_TILE_HEIGHT_MIN));
}

// One of the four curve keys, loaded with the line count: saved one value per line.
std::unique_ptr<const KeyBinding<ModuleAWS>> curveValues(const ParamDefArray<double> &def,
                                                         double ModuleAWS::curveLine::*value)
{
    return Keys<ModuleAWS>::custom(
        def.name, nullptr, [&def, value](const ModuleAWS &m, ParameterList &list, ModuleBase::SaveType t) {
            if (t != ModuleBase::SAVE_VAL)
                return family::saveBound(def, list, t);
            std::vector<std::string> values;
            for (const ModuleAWS::curveLine &line : m.fLines)
                values.push_back(toString(line.*value));
            list.addParameter(def, values, true);
        });
}

}  // namespace

bool operator<(const ModuleAWS::curveLine &a, const ModuleAWS::curveLine &b) { return a.fBoundary < b.fBoundary; }

const ParamDefSingle<bool> ModuleAWS::AWS_ENABLED("AWS_ENABLED", false);
const ParamDefSingle<bool> ModuleAWS::AWS_DEBUG_MODE("AWS_DEBUG_MODE", false);
const ParamDefArray<short> ModuleAWS::AWS_TILE_START_COORDS("AWS_TILE_START_COORDS", 0, 32767, defaultCoords, 2);
const ParamDefArray<short> ModuleAWS::AWS_TILE_SIZE("AWS_TILE_SIZE", 0, 32767, defaultSize, 2);
const ParamDef<double> ModuleAWS::AWS_LOG2_R_QEFF("AWS_LOG2_R_QEFF", 0.0, 256.0, 1.0);
const ParamDef<double> ModuleAWS::AWS_LOG2_B_QEFF("AWS_LOG2_B_QEFF", 0.0, 256.0, 1.0);
const ParamDef<double> ModuleAWS::AWS_R_DARK_THRESH("AWS_R_DARK_THRESH", 0.0, 256.0, 8.0);
const ParamDef<double> ModuleAWS::AWS_G_DARK_THRESH("AWS_G_DARK_THRESH", 0.0, 256.0, 8.0);
const ParamDef<double> ModuleAWS::AWS_B_DARK_THRESH("AWS_B_DARK_THRESH", 0.0, 256.0, 8.0);
const ParamDef<double> ModuleAWS::AWS_R_CLIP_THRESH("AWS_R_CLIP_THRESH", 0.0, 256.0, 128.0);
const ParamDef<double> ModuleAWS::AWS_G_CLIP_THRESH("AWS_G_CLIP_THRESH", 0.0, 256.0, 128.0);
const ParamDef<double> ModuleAWS::AWS_B_CLIP_THRESH("AWS_B_CLIP_THRESH", 0.0, 256.0, 128.0);
const ParamDef<double> ModuleAWS::AWS_BB_DIST("AWS_BB_DIST", 0.0, 128.0, 0.2);
const ParamDef<int> ModuleAWS::AWS_CURVES_NUM("AWS_CURVES_NUM", 0, static_cast<int>(kMaxLines), 0);
const ParamDefArray<double> ModuleAWS::AWS_CURVE_X_COEFFS("AWS_CURVE_X_COEFFS", kCurveMin, kCurveMax,
                                                          awsCurveXCoeffsDef, 5);
const ParamDefArray<double> ModuleAWS::AWS_CURVE_Y_COEFFS("AWS_CURVE_Y_COEFFS", kCurveMin, kCurveMax,
                                                          awsCurveYCoeffsDef, 5);
const ParamDefArray<double> ModuleAWS::AWS_CURVE_OFFSETS("AWS_CURVE_OFFSETS", kCurveMin, kCurveMax,
                                                         awsCurveOffsetsDef, 5);
const ParamDefArray<double> ModuleAWS::AWS_CURVE_BOUNDARIES("AWS_CURVE_BOUNDARIES", kCurveMin, kCurveMax,
                                                            awsCurveBoundariesDef, 5);

const KeyTable<ModuleAWS> &ModuleAWS::keys()
{
    typedef Keys<ModuleAWS> K;
    static const KeyTable<ModuleAWS> table = K::table(
        K::flag(AWS_ENABLED, &ModuleAWS::enabled), K::flag(AWS_DEBUG_MODE, &ModuleAWS::debugMode),
        K::number(AWS_LOG2_R_QEFF, &ModuleAWS::fLog2_R_Qeff), K::number(AWS_LOG2_B_QEFF, &ModuleAWS::fLog2_B_Qeff),
        K::number(AWS_R_DARK_THRESH, &ModuleAWS::fRedDarkThresh),
        K::number(AWS_B_DARK_THRESH, &ModuleAWS::fBlueDarkThresh),
        K::number(AWS_G_DARK_THRESH, &ModuleAWS::fGreenDarkThresh),
        K::number(AWS_R_CLIP_THRESH, &ModuleAWS::fRedClipThresh),
        K::number(AWS_B_CLIP_THRESH, &ModuleAWS::fBlueClipThresh),
        K::number(AWS_G_CLIP_THRESH, &ModuleAWS::fGreenClipThresh), K::number(AWS_BB_DIST, &ModuleAWS::fBbDist),
        // Value 0 is the column (x), value 1 the row (y).
        K::custom(
            AWS_TILE_START_COORDS.name,
            [](ModuleAWS &m, const ParameterList &list) {
                m.ui16GridStartColumn = static_cast<QOV_UINT16>(list.getParameter(AWS_TILE_START_COORDS, 0));
                m.ui16GridStartRow = static_cast<QOV_UINT16>(list.getParameter(AWS_TILE_START_COORDS, 1));
                return QOV_SUCCESS;
            },
            [](const ModuleAWS &m, ParameterList &list, ModuleBase::SaveType t) {
                if (t != ModuleBase::SAVE_VAL)
                    return family::saveBound(AWS_TILE_START_COORDS, list, t);
                list.addParameter(AWS_TILE_START_COORDS,
                                  {toString<int>(m.ui16GridStartColumn), toString<int>(m.ui16GridStartRow)}, true);
            }),
        // With a sensor the default is a seventh of the image and the least value 16.
        K::custom(
            AWS_TILE_SIZE.name,
            [](ModuleAWS &m, const ParameterList &list) {
                short def[2] = {AWS_TILE_SIZE.defaultOf(0), AWS_TILE_SIZE.defaultOf(1)};
                short least = AWS_TILE_SIZE.min;
                if (const Sensor *s = m.sensor()) {
                    sensorTileSize(*s, def);
                    least = AWS_TILE_WIDTH_MIN;
                }
                QOV_UINT16 *fields[2] = {&m.ui16TileWidth, &m.ui16TileHeight};
                for (int i = 0; i < 2; i++)
                    *fields[i] = static_cast<QOV_UINT16>(
                        list.getParameter<short>(AWS_TILE_SIZE.name, i, least, AWS_TILE_SIZE.max, def[i]));
                return QOV_SUCCESS;
            },
            [](const ModuleAWS &m, ParameterList &list, ModuleBase::SaveType t) {
                if (t == ModuleBase::SAVE_VAL) {
                    list.addParameter(AWS_TILE_SIZE, {toString<int>(m.ui16TileWidth), toString<int>(m.ui16TileHeight)},
                                      true);
                } else if (t == ModuleBase::SAVE_DEF && m.sensor()) {
                    short def[2];
                    sensorTileSize(*m.sensor(), def);
                    list.addParameterDef(ParamDefArray<short>(AWS_TILE_SIZE.name, AWS_TILE_SIZE.min, AWS_TILE_SIZE.max,
                                                              def, 2),
                                         true);
                } else {
                    family::saveBound(AWS_TILE_SIZE, list, t);
                }
            }),
        // The line count reads all the lines; the four curve keys only save theirs.
        K::custom(
            AWS_CURVES_NUM.name,
            [](ModuleAWS &m, const ParameterList &list) {
                m.fLines.clear();
                loadLinesParams(list, m.fLines);
                return QOV_SUCCESS;
            },
            [](const ModuleAWS &m, ParameterList &list, ModuleBase::SaveType t) {
                if (t != ModuleBase::SAVE_VAL)
                    return family::saveBound(AWS_CURVES_NUM, list, t);
                list.addParameter(AWS_CURVES_NUM, static_cast<int>(m.fLines.size()), true);
            }),
        curveValues(AWS_CURVE_X_COEFFS, &curveLine::fXcoeff), curveValues(AWS_CURVE_Y_COEFFS, &curveLine::fYcoeff),
        curveValues(AWS_CURVE_OFFSETS, &curveLine::fOffset),
        curveValues(AWS_CURVE_BOUNDARIES, &curveLine::fBoundary));
    return table;
}

ModuleAWS::ModuleAWS() : FamilyModule("VOVA_MOD_AWS") { load(ParameterList()); }

const Sensor *ModuleAWS::sensor() const { return pipeline ? pipeline->getSensor() : nullptr; }

int ModuleAWS::loadLinesParams(const ParameterList &parameters, linesSet &lines)
{
    if (!lines.empty())
        return -1;
    const int n = parameters.getParameter(AWS_CURVES_NUM);
    for (int i = 0; i < n; i++) {
        const unsigned k = static_cast<unsigned>(i);
        curveLine line;
        line.fBoundary = parameters.getParameter(AWS_CURVE_BOUNDARIES, k);
        line.fXcoeff = parameters.getParameter(AWS_CURVE_X_COEFFS, k);
        line.fYcoeff = parameters.getParameter(AWS_CURVE_Y_COEFFS, k);
        line.fOffset = parameters.getParameter(AWS_CURVE_OFFSETS, k);
        lines.push_back(line);
    }
    return n;
}

QOV_RESULT ModuleAWS::writeRecord(MC_PIPELINE &mc)
{
    MC_AWS &aws = mc.sAWS;
    aws.bEnable = enabled ? QOV_TRUE : QOV_FALSE;
    aws.bDebugBitmap = debugMode ? QOV_TRUE : QOV_FALSE;
    aws.fLog2_R_Qeff = fLog2_R_Qeff;
    aws.fLog2_B_Qeff = fLog2_B_Qeff;
    aws.fRedDarkThresh = fRedDarkThresh;
    aws.fBlueDarkThresh = fBlueDarkThresh;
    aws.fGreenDarkThresh = fGreenDarkThresh;
    aws.fRedClipThresh = fRedClipThresh;
    aws.fBlueClipThresh = fBlueClipThresh;
    aws.fGreenClipThresh = fGreenClipThresh;
    aws.fBbDist = fBbDist;
    aws.ui16GridStartRow = ui16GridStartRow;
    aws.ui16GridStartColumn = ui16GridStartColumn;
    aws.ui16GridTileWidth = ui16TileWidth;
    aws.ui16GridTileHeight = ui16TileHeight;
    if (!fLines.empty()) {
        for (double &boundary : aws.aCurveBoundary)
            boundary = kCurveMin;
        // Highest boundary first: a stable ascending sort, then reversed.
        fLines.sort();
        fLines.reverse();
        unsigned k = 0;
        for (const curveLine &line : fLines) {
            if (k == kMaxLines)
                break;
            aws.aCurveCoeffX[k] = line.fXcoeff;
            aws.aCurveCoeffY[k] = line.fYcoeff;
            aws.aCurveOffset[k] = line.fOffset;
            aws.aCurveBoundary[k] = line.fBoundary;
            k++;
        }
    }
    return QOV_SUCCESS;
}

}  // namespace VOVA
