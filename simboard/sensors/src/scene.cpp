// The synthetic scene, rendered as a Bayer mosaic, and the simulated
// board's configuration file.
#include "simboard/scene.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

namespace simboard {

namespace {

constexpr unsigned kColumns = 6;
constexpr unsigned kRows = 4;

// Linear reflectances (red, green, blue) of the chart's patches, row by row:
// three rows of colours, then a grey ramp from white to black.
constexpr double kPatches[kColumns * kRows][3] = {
    {0.17, 0.08, 0.05}, {0.56, 0.30, 0.22}, {0.11, 0.19, 0.34}, {0.10, 0.15, 0.06},
    {0.23, 0.21, 0.44}, {0.12, 0.52, 0.40}, {0.75, 0.20, 0.03}, {0.06, 0.10, 0.39},
    {0.58, 0.08, 0.12}, {0.09, 0.04, 0.14}, {0.34, 0.50, 0.05}, {0.80, 0.36, 0.02},
    {0.02, 0.04, 0.29}, {0.07, 0.30, 0.07}, {0.45, 0.03, 0.04}, {0.86, 0.58, 0.01},
    {0.50, 0.08, 0.30}, {0.00, 0.24, 0.38}, {0.90, 0.90, 0.90}, {0.59, 0.59, 0.59},
    {0.36, 0.36, 0.36}, {0.19, 0.19, 0.19}, {0.09, 0.09, 0.09}, {0.03, 0.03, 0.03},
};

constexpr double kFlatGrey = 0.18;
// Blocks of the grey-world texture, pixels: one period of the fine texture,
// and few enough colour edges that the picture is not a mosaic of them.
constexpr uint32_t kTextureBlock = 32;
// The fine texture over every map but the flat grey: the light is
// multiplied by 1 + contrast x wave(cell column) x wave(cell row), a cosine
// of this many 2x2 cells. Its finest detail spans several cells, which a lens
// passes and a one-colour-per-cell demosaic renders without false colour;
// each cell is uniform, so every channel sees the same texture.
constexpr unsigned kTexturePeriodCells = 16;
// Contrast of the texture when the lens is in focus.
constexpr double kTextureContrast = 0.25;

// Black-body spectral radiance at `wavelength` (metres), up to a constant.
double planck(double wavelength, double kelvin)
{
    constexpr double c2 = 1.4388e-2;  // second radiation constant, m.K
    return std::pow(wavelength, -5.0) / std::expm1(c2 / (wavelength * kelvin));
}

// Channel (0 red, 1 green, 2 blue) at column parity x and row parity y.
int channelAt(MOSAICType mosaic, unsigned x, unsigned y)
{
    static const int kOrders[4][4] = {
        {0, 1, 1, 2},  // RGGB
        {1, 0, 2, 1},  // GRBG
        {1, 2, 0, 1},  // GBRG
        {2, 1, 1, 0},  // BGGR
    };
    const int order = mosaic >= MOSAIC_RGGB && mosaic <= MOSAIC_BGGR ? mosaic - MOSAIC_RGGB : 0;
    return kOrders[order][(y & 1) * 2 + (x & 1)];
}

// Reflectance of the grey-world texture's block (bx, by) in channel c:
// uniform in [0.1, 0.7], so every channel averages 0.4 over many blocks.
double textureReflectance(uint32_t bx, uint32_t by, int c)
{
    uint32_t h = bx * 73856093u ^ by * 19349663u ^ static_cast<uint32_t>(c + 1) * 83492791u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return 0.1 + 0.6 * (h % 1024) / 1023.0;
}

// Mean light over the exposure ending at `t` (seconds) relative to the
// lamp's mean: 1 + depth cos(w t) averaged over [t - exposure, t].
double lampLight(const Scene &scene, double t, double exposure)
{
    if (scene.lampHz == 0)
        return 1.0;
    const double w = 2.0 * M_PI * 2.0 * scene.lampHz;
    if (exposure <= 0)
        return 1.0 + scene.flickerDepth * std::cos(w * t);
    return 1.0 + scene.flickerDepth * (std::sin(w * t) - std::sin(w * (t - exposure))) / (w * exposure);
}

// The values a change gives, over those of the scene.
void applyChange(const SceneChange &change, Scene &scene)
{
    scene.lightLevel = change.lightLevel.value_or(scene.lightLevel);
    scene.colourTemperature = change.colourTemperature.value_or(scene.colourTemperature);
    scene.inFocusPosition = change.inFocusPosition.value_or(scene.inFocusPosition);
    scene.lampHz = change.lampHz.value_or(scene.lampHz);
}

}  // namespace

void Scene::channelResponse(double rgb[3]) const
{
    // Narrow-band sensor channels at 610, 540 and 465 nm with a raw
    // sensitivity below green for red and blue, as on a real sensor.
    const double kelvin = std::clamp(colourTemperature, 1000.0, 20000.0);
    const double green = planck(540e-9, kelvin);
    rgb[0] = 0.6 * planck(610e-9, kelvin) / green;
    rgb[1] = 1.0;
    rgb[2] = 0.7 * planck(465e-9, kelvin) / green;
}

Scene Scene::at(unsigned frame) const
{
    Scene scene = *this;
    std::vector<SceneChange> due;
    for (const SceneChange &change : changes)
        if (change.frame <= frame)
            due.push_back(change);
    std::stable_sort(due.begin(), due.end(), [](const SceneChange &a, const SceneChange &b) { return a.frame < b.frame; });
    for (const SceneChange &change : due)
        applyChange(change, scene);
    return scene;
}

void Scene::render(const ChipFrameFormat &format, double exposureUs, double gain, std::optional<int> focus,
                   BayerFrame &frame, double startSeconds) const
{
    frame.width = format.width;
    frame.height = format.height;
    frame.bitDepth = format.bitDepth;
    frame.mosaic = format.mosaic;
    frame.lampHz = lampHz;
    frame.samples.resize(static_cast<size_t>(format.width) * format.height);
    if (format.width == 0 || format.height == 0)
        return;

    const unsigned depth = std::clamp<unsigned>(format.bitDepth, 1, 16);
    const double maxValue = static_cast<double>((1u << depth) - 1);
    const double black = std::min(maxValue, std::max(0.0, blackLevel) * std::ldexp(1.0, int(depth) - 10));
    double response[3];
    channelResponse(response);
    const double exposure = std::max(0.0, lightLevel) * std::max(0.0, exposureUs) / 10000.0 * std::max(0.0, gain);
    double contrast = map == SceneMap::Grey ? 0.0 : kTextureContrast;
    if (focus) {
        const double distance = (static_cast<double>(*focus) - inFocusPosition) / std::max(1e-9, focusDepth);
        contrast /= 1.0 + distance * distance;
    }
    const double rate = format.frameRate > 0 ? format.frameRate : 30.0;
    const double lineTime = 1.0 / (rate * format.height);

    // Regions of equal reflectance along a row: the chart's patch columns,
    // the texture's blocks, or one for the flat grey.
    const uint32_t regions = map == SceneMap::Chart     ? kColumns
                             : map == SceneMap::Texture ? (format.width + kTextureBlock - 1) / kTextureBlock
                                                        : 1;
    std::vector<uint32_t> regionOf(format.width);
    for (uint32_t x = 0; x < format.width; ++x)
        regionOf[x] = map == SceneMap::Chart     ? static_cast<uint32_t>(uint64_t(x) * kColumns / format.width)
                      : map == SceneMap::Texture ? x / kTextureBlock
                                                 : 0;
    auto reflectance = [&](uint32_t region, uint32_t y, int c) {
        switch (map) {
        case SceneMap::Grey: return kFlatGrey;
        case SceneMap::Texture: return textureReflectance(region, y / kTextureBlock, c);
        default: {
            const unsigned row = std::min(kRows - 1, static_cast<unsigned>(uint64_t(y) * kRows / format.height));
            return kPatches[row * kColumns + region][c];
        }
        }
    };

    double wave[kTexturePeriodCells];
    for (unsigned k = 0; k < kTexturePeriodCells; ++k)
        wave[k] = std::cos(2.0 * M_PI * k / kTexturePeriodCells);
    // Per row, the signal of every region and column parity; per pixel, that
    // signal under the texture of its cell.
    std::vector<double> signals(static_cast<size_t>(regions) * 2);
    uint16_t *out = frame.samples.data();
    for (uint32_t y = 0; y < format.height; ++y) {
        const double light = exposure * lampLight(*this, startSeconds + (y + 1) * lineTime, exposureUs * 1e-6);
        for (uint32_t region = 0; region < regions; ++region)
            for (unsigned parity = 0; parity < 2; ++parity) {
                const int channel = channelAt(format.mosaic, parity, y & 1);
                signals[region * 2 + parity] = reflectance(region, y, channel) * response[channel] * light;
            }
        const double rowContrast = contrast * wave[(y >> 1) % kTexturePeriodCells];
        for (uint32_t x = 0; x < format.width; ++x) {
            const double signal =
                signals[regionOf[x] * 2 + (x & 1)] * (1.0 + rowContrast * wave[(x >> 1) % kTexturePeriodCells]);
            *out++ = static_cast<uint16_t>(std::lround(std::min(maxValue, black + signal * (maxValue - black))));
        }
    }
    for (const SceneDefect &d : defects) {
        if (d.x < format.width && d.y < format.height)
            frame.samples[static_cast<size_t>(d.y) * format.width + d.x] = d.high ? static_cast<uint16_t>(maxValue) : 0;
    }
}

/*------------------------------------------------------- configuration */

namespace {

bool readNumber(std::istringstream &in, double &value) { return static_cast<bool>(in >> value); }

// Whether a number, cut to a whole one, fits an integer type.
template <class T> bool fits(double value)
{
    return value > static_cast<double>(std::numeric_limits<T>::min()) - 1.0 &&
           value < static_cast<double>(std::numeric_limits<T>::max()) + 1.0;
}

// Lens positions are the chips' focus codes, 16-bit unsigned values.
constexpr double kMaxFocusPosition = 65535;

// The settings a change can make, named as in "SCENE_CHANGE" and, after
// "SCENE_", as the keys of the scene at the start.
bool isSceneSetting(const std::string &name)
{
    return name == "LIGHT_LEVEL" || name == "TEMPERATURE" || name == "IN_FOCUS" || name == "LAMP_HZ";
}

// A setting's value into the change, when it is in range.
bool readSetting(const std::string &name, double value, SceneChange &change)
{
    if (name == "LIGHT_LEVEL" && value >= 0)
        change.lightLevel = value;
    else if (name == "TEMPERATURE" && value >= 1000 && value <= 20000)
        change.colourTemperature = value;
    else if (name == "IN_FOCUS" && std::round(value) >= 0 && std::round(value) <= kMaxFocusPosition)
        change.inFocusPosition = static_cast<int>(std::lround(value));
    else if (name == "LAMP_HZ" && (value == 0 || value == 50 || value == 60))
        change.lampHz = static_cast<unsigned>(value);
    else
        return false;
    return true;
}

}  // namespace

std::string boardSettingsPath(const Board &board)
{
    const char *named = std::getenv("VEZARA_SIMBOARD_CONFIG");
    return named && *named ? named : board.root() + "/etc/vezara/simboard.cfg";
}

bool readBoardSettings(const std::string &path, BoardSettings &settings, std::vector<std::string> &problems)
{
    // A folder opens as an empty file: it is no configuration.
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored))
        return false;
    std::ifstream file(path);
    if (!file)
        return false;
    Scene &scene = settings.scene;
    std::string text;
    for (unsigned number = 1; std::getline(file, text); ++number) {
        text = text.substr(0, text.find('#'));
        std::istringstream in(text);
        std::string key;
        if (!(in >> key))
            continue;
        auto problem = [&](const std::string &what) {
            problems.push_back(path + ":" + std::to_string(number) + ": " + what);
        };
        auto outOfRange = [&] { problem("unknown key or value out of range: \"" + text + "\""); };
        const std::string setting = key.rfind("SCENE_", 0) == 0 ? key.substr(6) : std::string();
        double value = 0;
        if (key == "SCENE_MAP") {
            std::string name;
            in >> name;
            if (name == "chart")
                scene.map = SceneMap::Chart;
            else if (name == "grey")
                scene.map = SceneMap::Grey;
            else if (name == "texture")
                scene.map = SceneMap::Texture;
            else
                problem("SCENE_MAP must be chart, grey or texture, not \"" + name + "\"");
        } else if (key == "SCENE_DEFECT") {
            double x = 0, y = 0;
            std::string level;
            if (readNumber(in, x) && readNumber(in, y) && (in >> level) && x >= 0 && y >= 0 && fits<uint32_t>(x) &&
                fits<uint32_t>(y) && (level == "high" || level == "low"))
                scene.defects.push_back(SceneDefect{static_cast<uint32_t>(x), static_cast<uint32_t>(y), level == "high"});
            else
                problem("SCENE_DEFECT needs a column, a row and high or low");
        } else if (key == "SCENE_CHANGE") {
            double frame = 0;
            std::string what;
            SceneChange change;
            if (!(readNumber(in, frame) && frame >= 0 && fits<unsigned>(frame) && (in >> what) &&
                  isSceneSetting(what) && readNumber(in, value))) {
                problem("SCENE_CHANGE needs a frame, LIGHT_LEVEL, TEMPERATURE, IN_FOCUS or LAMP_HZ, and a value");
            } else if (readSetting(what, value, change)) {
                change.frame = static_cast<unsigned>(frame);
                scene.changes.push_back(change);
            } else {
                outOfRange();
            }
        } else if (key == "SENSOR_CHIP") {
            double bus = 0;
            std::string model;
            if (readNumber(in, bus) && bus >= 0 && bus < 16 && (in >> model))
                settings.chips.push_back({static_cast<unsigned>(bus), model});
            else
                problem("SENSOR_CHIP needs a bus number and a chip model");
        } else if (key == "DISPLAY_PNG") {
            if (!(in >> settings.displayPng))
                problem("DISPLAY_PNG needs a file name");
        } else if (!readNumber(in, value)) {
            problem(key + " needs a number");
        } else if (isSceneSetting(setting)) {
            SceneChange start;
            if (readSetting(setting, value, start))
                applyChange(start, scene);
            else
                outOfRange();
        } else if (key == "SCENE_FOCUS_DEPTH" && value > 0) {
            scene.focusDepth = value;
        } else if (key == "SCENE_BLACK_LEVEL" && value >= 0) {
            scene.blackLevel = value;
        } else if (key == "SENSOR_DELAY" && (value == 0 || value == 1 || value == 2)) {
            settings.sensorDelay = static_cast<unsigned>(value);
        } else {
            outOfRange();
        }
    }
    return true;
}

}  // namespace simboard
