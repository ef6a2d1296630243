// The synthetic scene: a chart of 6 x 4 patches, rendered as a Bayer mosaic.
#include <algorithm>
#include <cmath>

#include "simboard/sensor_chip.h"

namespace simboard {

namespace {

constexpr unsigned kColumns = 6;
constexpr unsigned kRows = 4;

// Linear reflectances (red, green, blue) of the patches, row by row: three
// rows of colours, then a grey ramp from white to black.
constexpr double kPatches[kColumns * kRows][3] = {
    {0.17, 0.08, 0.05}, {0.56, 0.30, 0.22}, {0.11, 0.19, 0.34}, {0.10, 0.15, 0.06},
    {0.23, 0.21, 0.44}, {0.12, 0.52, 0.40}, {0.75, 0.20, 0.03}, {0.06, 0.10, 0.39},
    {0.58, 0.08, 0.12}, {0.09, 0.04, 0.14}, {0.34, 0.50, 0.05}, {0.80, 0.36, 0.02},
    {0.02, 0.04, 0.29}, {0.07, 0.30, 0.07}, {0.45, 0.03, 0.04}, {0.86, 0.58, 0.01},
    {0.50, 0.08, 0.30}, {0.00, 0.24, 0.38}, {0.90, 0.90, 0.90}, {0.59, 0.59, 0.59},
    {0.36, 0.36, 0.36}, {0.19, 0.19, 0.19}, {0.09, 0.09, 0.09}, {0.03, 0.03, 0.03},
};

// Contrast of the checker texture when the lens is in focus.
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

void Scene::render(const ChipFrameFormat &format, double exposureUs, double gain,
                   std::optional<int> focus, BayerFrame &frame) const
{
    frame.width = format.width;
    frame.height = format.height;
    frame.bitDepth = format.bitDepth;
    frame.mosaic = format.mosaic;
    frame.samples.resize(static_cast<size_t>(format.width) * format.height);
    if (format.width == 0 || format.height == 0)
        return;

    const unsigned depth = std::clamp<unsigned>(format.bitDepth, 1, 16);
    const double maxValue = static_cast<double>((1u << depth) - 1);
    const double black = std::min(maxValue, std::max(0.0, blackLevel) * std::ldexp(1.0, int(depth) - 10));
    double response[3];
    channelResponse(response);
    const double exposure = std::max(0.0, lightLevel) * std::max(0.0, exposureUs) / 10000.0 *
                            std::max(0.0, gain);
    double contrast = kTextureContrast;
    if (focus) {
        const double distance = (*focus - inFocusPosition) / std::max(1e-9, focusDepth);
        contrast /= 1.0 + distance * distance;
    }

    // Sample values of every patch, channel position and texture phase.
    uint16_t values[kColumns * kRows][4][2];
    for (unsigned p = 0; p < kColumns * kRows; ++p) {
        for (unsigned cell = 0; cell < 4; ++cell) {
            const int channel = channelAt(format.mosaic, cell & 1, cell >> 1);
            for (unsigned phase = 0; phase < 2; ++phase) {
                const double texture = phase ? 1.0 - contrast : 1.0 + contrast;
                const double signal = kPatches[p][channel] * response[channel] * exposure * texture;
                const double value = std::min(maxValue, black + signal * (maxValue - black));
                values[p][cell][phase] = static_cast<uint16_t>(std::lround(value));
            }
        }
    }

    // The texture alternates every 2 x 2 cell, so each channel sees it.
    uint16_t *out = frame.samples.data();
    for (uint32_t y = 0; y < format.height; ++y) {
        const unsigned row = std::min(kRows - 1, static_cast<unsigned>(uint64_t(y) * kRows / format.height));
        for (unsigned column = 0; column < kColumns; ++column) {
            const auto &patch = values[row * kColumns + column];
            const uint32_t x0 = static_cast<uint32_t>(uint64_t(column) * format.width / kColumns);
            const uint32_t x1 = static_cast<uint32_t>(uint64_t(column + 1) * format.width / kColumns);
            for (uint32_t x = x0; x < x1; ++x) {
                const unsigned cell = (y & 1) * 2 + (x & 1);
                const unsigned phase = ((x >> 1) ^ (y >> 1)) & 1;
                *out++ = patch[cell][phase];
            }
        }
    }
}

}  // namespace simboard
