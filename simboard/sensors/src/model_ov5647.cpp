// Simulated OV5647: I2C address 0x36, 2-byte register addresses, chip
// identity 0x5647 at 0x300A. Streams while 0x0100 bit 0 is set; exposure in
// 0x3500-0x3502 (lines with 4 fraction bits), gain in 0x350A-0x350B (x16);
// one line lasts HTS clocks of the system clock its PLL registers give.
// Writing 1 to 0x0103 resets the registers.
#include "simboard/sensor_models.h"

namespace simboard {

namespace {

// Twice the pre-divider, by the low nibble of 0x3037.
const double kPreDividerX2[16] = {2, 2, 4, 6, 8, 3, 12, 5, 16, 2, 2, 2, 2, 2, 2, 2};
const double kClockDivider[4] = {1, 2, 4, 1};

double systemClock(const SimChip &chip)
{
    const unsigned sysIndex = chip.reg(0x3035) >> 4;
    const double sysDiv = sysIndex ? sysIndex : 16;
    const double rootDiv = (chip.reg(0x3037) & 0x10) ? 2 : 1;
    const unsigned bits = chip.reg(0x3034) & 0x0F;
    const double mipiDiv = bits == 8 ? 4 : (bits == 10 ? 5 : 2);
    const double clockDiv = kClockDivider[(chip.reg(0x3106) >> 2) & 3];
    return chip.refClockHz() * 2 / kPreDividerX2[chip.reg(0x3037) & 0x0F] * chip.reg(0x3036) * 2 /
           sysDiv / rootDiv / mipiDiv / clockDiv;
}

// Microseconds of one line.
double lineTime(const SimChip &chip)
{
    const double clock = systemClock(chip);
    return clock > 0 ? chip.reg16(0x380C) / clock * 1e6 : 0.0;
}

}  // namespace

ChipModel modelOV5647()
{
    ChipModel model;
    model.name = "OV5647";
    ChipTarget sensor;
    sensor.address = 0x36;
    sensor.addressBytes = 2;
    // power-on values: identity, and the 1080p timing
    sensor.registers = {
        {0x300A, 0x56}, {0x300B, 0x47}, {0x3018, 0x44}, {0x3034, 0x1A},
        {0x3035, 0x21}, {0x3036, 0x62}, {0x3037, 0x03}, {0x3106, 0xF5},
        {0x3501, 0x44}, {0x350B, 0x10},
        {0x3808, 0x07}, {0x3809, 0x80}, {0x380A, 0x04}, {0x380B, 0x38},
        {0x380C, 0x09}, {0x380D, 0x70}, {0x380E, 0x04}, {0x380F, 0x50},
    };
    model.targets.push_back(sensor);
    model.format = ChipFrameFormat{1920, 1080, 10, MOSAIC_BGGR, 30.0};

    model.streaming = [](const SimChip &chip) { return (chip.reg(0x0100) & 1) != 0; };
    model.exposureUs = [](const SimChip &chip) {
        const uint32_t raw = chip.regBE(0x3500, 3) & 0xFFFFF;
        return raw / 16.0 * lineTime(chip);
    };
    model.gain = [](const SimChip &chip) {
        return (((chip.reg(0x350A) & 0x03) << 8) | chip.reg(0x350B)) / 16.0;
    };
    model.frameFormat = [](const SimChip &chip) {
        ChipFrameFormat format;
        format.width = chip.reg16(0x3808);
        format.height = chip.reg16(0x380A);
        format.bitDepth = chip.reg(0x3034) & 0x0F;
        format.mosaic = MOSAIC_BGGR;
        const double frameTime = lineTime(chip) * chip.reg16(0x380E);
        format.frameRate = frameTime > 0 ? 1e6 / frameTime : 30.0;
        return format;
    };
    model.onWrite = [](SimChip &chip, unsigned target, uint16_t address, uint8_t value) {
        if (target == 0 && address == 0x0103 && (value & 1))
            chip.resetRegisters();
    };
    return model;
}

}  // namespace simboard
