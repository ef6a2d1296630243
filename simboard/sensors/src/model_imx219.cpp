// Simulated IMX219: I2C address 0x10, 2-byte register addresses, chip
// identity 0x0219 at 0x0000. Streams while 0x0100 bit 0 is set; integration
// time in lines at 0x015A-0x015B, analogue gain code at 0x0157 (gain =
// 256 / (256 - code)); the pixel clock comes from the PLL registers, a line
// lasts the line length (0x0162) in pixel clocks. 0x0172 bit 0 mirrors and
// bit 1 flips the readout, which changes the Bayer order.
#include "simboard/sensor_models.h"

namespace simboard {

namespace {

double pixelClock(const SimChip &chip)
{
    const unsigned preDiv = chip.reg(0x0304);
    const unsigned pixelDiv = chip.reg(0x0301) & 0x1F;
    const unsigned multiplier = ((chip.reg(0x0306) & 0x07) << 8) | chip.reg(0x0307);
    if (preDiv == 0 || pixelDiv == 0)
        return 0.0;
    return 2.0 * chip.refClockHz() / preDiv * multiplier / pixelDiv;
}

// Microseconds of one line.
double lineTime(const SimChip &chip)
{
    const double clock = pixelClock(chip);
    return clock > 0 ? chip.reg16(0x0162) / clock * 1e6 : 0.0;
}

}  // namespace

ChipModel modelIMX219()
{
    ChipModel model;
    model.name = "IMX219";
    ChipTarget sensor;
    sensor.address = 0x10;
    sensor.addressBytes = 2;
    // power-on values: identity, and the full-size 2-lane timing
    sensor.registers = {
        {0x0000, 0x02}, {0x0001, 0x19}, {0x015A, 0x03}, {0x015B, 0xE8},
        {0x0160, 0x09}, {0x0161, 0xC4}, {0x0162, 0x0D}, {0x0163, 0x78},
        {0x016C, 0x0C}, {0x016D, 0xD0}, {0x016E, 0x09}, {0x016F, 0xA0},
        {0x018C, 0x0A}, {0x018D, 0x0A}, {0x0301, 0x05}, {0x0304, 0x03},
        {0x0306, 0x00}, {0x0307, 0x39},
    };
    model.targets.push_back(sensor);
    model.format = ChipFrameFormat{3280, 2464, 10, MOSAIC_RGGB, 21.0};

    model.streaming = [](const SimChip &chip) { return (chip.reg(0x0100) & 1) != 0; };
    model.exposureUs = [](const SimChip &chip) { return chip.reg16(0x015A) * lineTime(chip); };
    model.gain = [](const SimChip &chip) { return 256.0 / (256 - chip.reg(0x0157)); };
    model.frameFormat = [](const SimChip &chip) {
        static const MOSAICType kOrder[4] = {MOSAIC_RGGB, MOSAIC_GRBG, MOSAIC_GBRG, MOSAIC_BGGR};
        ChipFrameFormat format;
        format.width = ((chip.reg(0x016C) & 0x0F) << 8) | chip.reg(0x016D);
        format.height = ((chip.reg(0x016E) & 0x0F) << 8) | chip.reg(0x016F);
        format.bitDepth = chip.reg(0x018D) & 0x0F;
        format.mosaic = kOrder[chip.reg(0x0172) & 3];
        const double frameTime = lineTime(chip) * chip.reg16(0x0160);
        format.frameRate = frameTime > 0 ? 1e6 / frameTime : 30.0;
        return format;
    };
    return model;
}

}  // namespace simboard
