// Simulated OV10823: I2C address 0x10, 2-byte register addresses, chip
// identity 0xA820 at 0x300A. Streams while 0x0100 bit 0 is set; exposure in
// 0x3500-0x3502 (lines with 4 fraction bits), gain in 0x350A-0x350B (x16);
// one line lasts (HTS / lanes) clocks of the PLL's system clock. Writing 1 to
// 0x0103 resets the registers.
#include "simboard/sensor_models.h"

namespace simboard {

namespace {

const double kPllDividerB[8] = {1.0, 1.5, 2.0, 2.5, 3.0, 4.0, 6.0, 8.0};
const double kPllDividerC[8] = {1.0, 1.5, 2.0, 2.5, 3.0, 3.5, 4.0, 5.0};

unsigned lanes(const SimChip &chip)
{
    const unsigned n = chip.reg(0x3012) >> 4;
    return n ? n : 1;
}

double systemClock(const SimChip &chip)
{
    const double b = kPllDividerB[chip.reg(0x308B) & 7];
    const double c = kPllDividerC[chip.reg(0x308E) & 7];
    const double p = chip.reg(0x308F) + 1.0;
    return chip.refClockHz() * chip.reg(0x308D) / (b * p * c);
}

// Microseconds of one line.
double lineTime(const SimChip &chip)
{
    const double clock = systemClock(chip);
    const unsigned clocksPerLane = chip.reg16(0x380C) / lanes(chip);
    return clock > 0 ? clocksPerLane / clock * 1e6 : 0.0;
}

}  // namespace

ChipModel modelOV10823()
{
    ChipModel model;
    model.name = "OV10823";
    ChipTarget sensor;
    sensor.address = 0x10;
    sensor.addressBytes = 2;
    // power-on values: identity, and the full-size 30 frames/s timing
    sensor.registers = {
        {0x300A, 0xA8}, {0x300B, 0x20}, {0x300F, 0x01}, {0x3012, 0x41},
        {0x308B, 0x02}, {0x308D, 0xAE}, {0x308E, 0x07}, {0x308F, 0x03},
        {0x3501, 0x9D}, {0x350B, 0x10},
        {0x3808, 0x10}, {0x3809, 0xF0}, {0x380A, 0x09}, {0x380B, 0x88},
        {0x380C, 0x15}, {0x380D, 0x80}, {0x380E, 0x09}, {0x380F, 0xE0},
    };
    model.targets.push_back(sensor);
    model.format = ChipFrameFormat{4336, 2440, 10, MOSAIC_BGGR, 30.0};

    model.streaming = [](const SimChip &chip) { return (chip.reg(0x0100) & 1) != 0; };
    model.exposureUs = [](const SimChip &chip) {
        const uint32_t raw = chip.regBE(0x3500, 3) & 0xFFFFF;
        return raw / 16.0 * lineTime(chip);
    };
    model.gain = [](const SimChip &chip) {
        return (((chip.reg(0x350A) & 0x07) << 8) | chip.reg(0x350B)) / 16.0;
    };
    model.frameFormat = [](const SimChip &chip) {
        ChipFrameFormat format;
        format.width = chip.reg16(0x3808);
        format.height = chip.reg16(0x380A);
        format.bitDepth = static_cast<uint8_t>((chip.reg(0x300F) & 3) * 2 + 8);
        format.mosaic = MOSAIC_BGGR;  // the chip moves its window to keep the order when flipping
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
