// Simulated IMX327: I2C address 0x1A, 2-byte register addresses, chip
// identity 0xB201 at 0x301E. Streams while the standby bit (0x3000 bit 0) is
// clear; writing 1 to 0x3003 resets every register. The frame rate is 30
// frames/s when 0x3009 bits 0-1 hold 2, else 60, over VMAX lines
// (0x3018-0x301A); the exposure runs from shutter line SHS1 (0x3020-0x3022)
// to the line before the frame end, and the gain (0x3014) counts 0.3 dB
// steps. 0x3007 bits 4-6 choose the window (1080p or 720p). The readout
// keeps its RGGB order when flipped.
#include <cmath>

#include "simboard/sensor_models.h"

namespace simboard {

namespace {

unsigned vmax(const SimChip &chip)
{
    return chip.reg(0x3018) | (chip.reg(0x3019) << 8) | ((chip.reg(0x301A) & 0x0F) << 16);
}

double frameRate(const SimChip &chip) { return (chip.reg(0x3009) & 0x03) == 2 ? 30.0 : 60.0; }

}  // namespace

ChipModel modelIMX327()
{
    ChipModel model;
    model.name = "IMX327";
    ChipTarget sensor;
    sensor.address = 0x1A;
    sensor.addressBytes = 2;
    // power-on values: identity, standby, the 1080p 30 frames/s timing
    sensor.registers = {
        {0x301E, 0xB2}, {0x301F, 0x01}, {0x3000, 0x01}, {0x3002, 0x01}, {0x3005, 0x01},
        {0x3009, 0x02}, {0x3018, 0x65}, {0x3019, 0x04}, {0x301C, 0x30}, {0x301D, 0x11},
        {0x3020, 0x02}, {0x3443, 0x01},
    };
    model.targets.push_back(sensor);
    model.format = ChipFrameFormat{1920, 1080, 12, MOSAIC_RGGB, 30.0};

    model.onWrite = [](SimChip &chip, unsigned target, uint16_t address, uint8_t value) {
        if (target == 0 && address == 0x3003 && (value & 0x01))
            chip.resetRegisters();  // software reset; the bit clears itself
    };
    model.streaming = [](const SimChip &chip) { return (chip.reg(0x3000) & 0x01) == 0; };
    model.exposureUs = [](const SimChip &chip) {
        const unsigned frameLines = vmax(chip);
        if (frameLines == 0)
            return 0.0;
        const unsigned shutter = chip.reg(0x3020) | (chip.reg(0x3021) << 8) | ((chip.reg(0x3022) & 0x03) << 16);
        const int lines = static_cast<int>(frameLines) - 1 - static_cast<int>(shutter);
        return lines > 0 ? lines * 1e6 / (frameRate(chip) * frameLines) : 0.0;
    };
    model.gain = [](const SimChip &chip) { return std::pow(10.0, chip.reg(0x3014) * 0.3 / 20.0); };
    model.frameFormat = [](const SimChip &chip) {
        ChipFrameFormat format;
        const bool hd = ((chip.reg(0x3007) >> 4) & 0x07) == 1;
        format.width = hd ? 1280 : 1920;
        format.height = hd ? 720 : 1080;
        format.bitDepth = chip.reg(0x3005) ? 12 : 10;
        format.mosaic = MOSAIC_RGGB;
        format.frameRate = frameRate(chip);
        return format;
    };
    return model;
}

}  // namespace simboard
