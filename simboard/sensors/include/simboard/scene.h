// The synthetic scene every simulated chip looks at, and the simulated
// board's configuration file that lets a user choose it without code.
//
// Raw value = black level + reflectance x illuminant response x light level
// x exposure x gain, clipped at the sensor's full scale and mosaiced in the
// sensor's Bayer order at its bit depth.
#ifndef SIMBOARD_SCENE_H
#define SIMBOARD_SCENE_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "simboard/board.h"
#include "simboard/isp_model.h"

namespace simboard {

// The frame a streaming chip sends.
struct ChipFrameFormat {
    uint32_t width = 640;
    uint32_t height = 480;
    uint8_t bitDepth = 10;
    MOSAICType mosaic = MOSAIC_RGGB;  // Bayer order of the frame as sent (flips included)
    double frameRate = 30.0;          // frames per second
};

// What the scene shows.
enum class SceneMap {
    Chart,    // 6 x 4 colour and grey patches
    Grey,     // a flat grey surface (reflectance 0.18), no texture
    Texture,  // blocks of random colours whose average is grey (grey world)
};

// A pixel stuck at the sensor's full scale (high) or at 0.
struct SceneDefect {
    uint32_t x = 0, y = 0;
    bool high = true;
};

// A change of the scene from a given frame on (frames the board sent,
// counted from 0); the values not given stay as they were.
struct SceneChange {
    unsigned frame = 0;
    std::optional<double> lightLevel;
    std::optional<double> colourTemperature;
    std::optional<int> inFocusPosition;
    std::optional<unsigned> lampHz;
};

struct Scene {
    SceneMap map = SceneMap::Chart;
    // Signal of a perfect white surface in the green channel at 10 ms and
    // unity gain, as a fraction of the sensor's full scale.
    double lightLevel = 0.5;
    // Colour temperature of the light in kelvin (black body).
    double colourTemperature = 5000.0;
    // Mains frequency of the lamp (50 or 60 Hz), 0 for steady light. The
    // light flickers at twice that frequency with `flickerDepth` of its
    // mean, so an exposure that is not a whole number of flicker periods
    // shows bands.
    unsigned lampHz = 0;
    double flickerDepth = 0.5;
    // Lens position (in the chip's focus units, 0 to 65535) that gives a sharp image.
    int inFocusPosition = 0;
    // Focus distance from the in-focus position at which the texture keeps half its contrast.
    double focusDepth = 50.0;
    // Black level (pedestal) in 10-bit units, scaled to the frame's bit depth.
    double blackLevel = 64.0;
    std::vector<SceneDefect> defects;
    std::vector<SceneChange> changes;

    // Relative response of the red, green and blue channels to a white
    // surface under this light (green 1).
    void channelResponse(double rgb[3]) const;
    // The scene at frame `frame`: every change due by then applied.
    Scene at(unsigned frame) const;
    // Fills `frame` with the scene as a chip with this format, exposure,
    // gain and lens position sees it; `startSeconds` is the time the frame
    // starts, which sets the phase of a flickering lamp.
    void render(const ChipFrameFormat &format, double exposureUs, double gain, std::optional<int> focus,
                BayerFrame &frame, double startSeconds = 0.0) const;
};

// The simulated board's settings read from its configuration file.
struct BoardSettings {
    Scene scene;
    unsigned sensorDelay = 0;  // further frames before exposure and gain reach the pixels, 0 to 2
    std::string displayPng;    // where the display writes its last frame, empty for nowhere
    struct Chip {
        unsigned bus;
        std::string model;
    };
    std::vector<Chip> chips;   // sensor chips present when the board starts
};

// The board's configuration file: named by VEZARA_SIMBOARD_CONFIG, or in its root.
std::string boardSettingsPath(const Board &board);

// Reads a configuration file of "KEY value..." lines ('#' starts a comment)
// into `settings`, over the values it already holds. Returns false when the
// file cannot be opened; a line that cannot be used is reported in
// `problems` (one message a line) and skipped.
bool readBoardSettings(const std::string &path, BoardSettings &settings, std::vector<std::string> &problems);

}  // namespace simboard

#endif
