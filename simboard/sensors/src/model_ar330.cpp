// Simulated AR0330 ("AR330"): I2C address 0x10, 2-byte register addresses
// and 16-bit registers, chip version 0x2604 at 0x3000. Streams while bit 2
// of 0x301A is set. Exposure in lines in 0x3012; gain = analogue gain of
// 0x3060 (x2 per step of bits 4-5, then 32 / (32 - bits 0-3)) x digital gain
// of 0x305E (7 fraction bits). One line lasts 0x300C clocks of the pixel
// clock its PLL gives; the window is 0x3002-0x3008 inclusive.
#include "simboard/sensor_models.h"

namespace simboard {

namespace {

double pixelClock(const SimChip &chip)
{
    const unsigned preDiv = chip.reg16(0x302E), sysDiv = chip.reg16(0x302C);
    const unsigned pixDiv = chip.reg16(0x302A);
    if (!preDiv || !sysDiv || !pixDiv)
        return 0.0;
    return chip.refClockHz() / preDiv * chip.reg16(0x3030) / sysDiv / pixDiv;
}

// Microseconds of one line.
double lineTime(const SimChip &chip)
{
    const double clock = pixelClock(chip);
    return clock > 0 ? chip.reg16(0x300C) / clock * 1e6 : 0.0;
}

double analogueGain(uint8_t code)
{
    return static_cast<double>(1u << ((code >> 4) & 3)) * 32.0 / (32.0 - (code & 0x0F));
}

// Inclusive window size, 0 when the end is before the start.
uint32_t windowSize(const SimChip &chip, uint16_t startRegister, uint16_t endRegister)
{
    const unsigned start = chip.reg16(startRegister), end = chip.reg16(endRegister);
    return end >= start ? end - start + 1 : 0;
}

}  // namespace

ChipModel modelAR330()
{
    ChipModel model;
    model.name = "AR330";
    ChipTarget sensor;
    sensor.address = 0x10;
    sensor.addressBytes = 2;
    // power-on values: version, standby, a 12.6 MHz pixel clock and a 1280 x 720 window
    sensor.registers = {
        {0x3000, 0x26}, {0x3001, 0x04}, {0x301A, 0x00}, {0x301B, 0x58},
        {0x302A, 0x00}, {0x302B, 0x05}, {0x302C, 0x00}, {0x302D, 0x04},
        {0x302E, 0x00}, {0x302F, 0x04}, {0x3030, 0x00}, {0x3031, 0x2A},
        {0x3002, 0x01}, {0x3003, 0x9C}, {0x3004, 0x02}, {0x3005, 0x00},
        {0x3006, 0x04}, {0x3007, 0x6B}, {0x3008, 0x06}, {0x3009, 0xFF},
        {0x300A, 0x02}, {0x300B, 0xDA}, {0x300C, 0x03}, {0x300D, 0xC4},
        {0x3012, 0x02}, {0x3013, 0x00}, {0x305E, 0x00}, {0x305F, 0x80},
        {0x31AC, 0x0A}, {0x31AD, 0x0A},
    };
    model.targets.push_back(sensor);
    model.format = ChipFrameFormat{1280, 720, 10, MOSAIC_GRBG, 17.9};

    model.streaming = [](const SimChip &chip) { return (chip.reg16(0x301A) & 0x0004) != 0; };
    model.exposureUs = [](const SimChip &chip) { return chip.reg16(0x3012) * lineTime(chip); };
    model.gain = [](const SimChip &chip) {
        return analogueGain(chip.reg(0x3061)) * chip.reg16(0x305E) / 128.0;
    };
    model.frameFormat = [](const SimChip &chip) {
        ChipFrameFormat format;
        format.width = windowSize(chip, 0x3004, 0x3008);
        format.height = windowSize(chip, 0x3002, 0x3006);
        const unsigned depth = chip.reg(0x31AD) & 0x1F;
        format.bitDepth = static_cast<uint8_t>(depth ? depth : 10);
        // the readout start follows the mirror and flip, so the order stays
        format.mosaic = MOSAIC_GRBG;
        const double frameTime = lineTime(chip) * chip.reg16(0x300A);
        format.frameRate = frameTime > 0 ? 1e6 / frameTime : 30.0;
        return format;
    };
    return model;
}

}  // namespace simboard
