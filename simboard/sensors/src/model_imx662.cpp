// Simulated IMX662: I2C address 0x1A, 2-byte register addresses, chip
// identity 0x9500 at 0x3060. Streams while the standby bit (0x3000 bit 0) is
// clear. A frame is VMAX lines (0x3028-0x302A) of HMAX (0x302C-0x302D)
// clocks of 74.25 MHz; the exposure runs from shutter line SHR0
// (0x3050-0x3052) to the frame end, and the gain (0x3070-0x3071) counts
// 0.3 dB steps. The readout keeps its RGGB order when flipped.
#include <cmath>

#include "simboard/sensor_models.h"

namespace simboard {

namespace {

constexpr double kClockMHz = 74.25;

// A 20-bit value kept low byte first in three registers.
unsigned value20(const SimChip &chip, uint16_t address)
{
    return chip.reg(address) | (chip.reg(address + 1) << 8) | ((chip.reg(address + 2) & 0x0F) << 16);
}

unsigned vmax(const SimChip &chip) { return value20(chip, 0x3028); }
unsigned hmax(const SimChip &chip) { return chip.reg(0x302C) | (chip.reg(0x302D) << 8); }

// Microseconds of one line.
double lineTime(const SimChip &chip) { return hmax(chip) / kClockMHz; }

}  // namespace

ChipModel modelIMX662()
{
    ChipModel model;
    model.name = "IMX662";
    ChipTarget sensor;
    sensor.address = 0x1A;
    sensor.addressBytes = 2;
    // power-on values: identity, standby, the 1080p 30 frames/s timing
    sensor.registers = {
        {0x3060, 0x95}, {0x3061, 0x00}, {0x3000, 0x01}, {0x3002, 0x01}, {0x3022, 0x01},
        {0x3028, 0xE2}, {0x3029, 0x04}, {0x302C, 0xBC}, {0x302D, 0x07}, {0x3040, 0x03},
        {0x3050, 0x04},
    };
    model.targets.push_back(sensor);
    model.format = ChipFrameFormat{1936, 1100, 12, MOSAIC_RGGB, 30.0};

    model.streaming = [](const SimChip &chip) { return (chip.reg(0x3000) & 0x01) == 0; };
    model.exposureUs = [](const SimChip &chip) {
        const int lines = static_cast<int>(vmax(chip)) - static_cast<int>(value20(chip, 0x3050));
        return lines > 0 ? lines * lineTime(chip) : 0.0;
    };
    model.gain = [](const SimChip &chip) {
        const unsigned steps = chip.reg(0x3070) | ((chip.reg(0x3071) & 0x07) << 8);
        return std::pow(10.0, steps * 0.3 / 20.0);
    };
    model.frameFormat = [](const SimChip &chip) {
        ChipFrameFormat format;
        format.width = 1936;
        format.height = 1100;
        format.bitDepth = chip.reg(0x3022) ? 12 : 10;
        format.mosaic = MOSAIC_RGGB;
        const double frameTime = vmax(chip) * lineTime(chip);
        format.frameRate = frameTime > 0 ? 1e6 / frameTime : 30.0;
        return format;
    };
    return model;
}

}  // namespace simboard
