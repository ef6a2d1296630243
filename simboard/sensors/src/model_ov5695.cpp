// Simulated OV5695: I2C address 0x36, 2-byte register addresses, chip
// identity 0x5695 at 0x300B. Streams while 0x0100 bit 0 is set; exposure in
// 0x3500-0x3502 (lines with 4 fraction bits), gain in 0x3508-0x3509 (x16);
// a 45 MHz system clock, one line of HTS clocks. Flips in 0x3820: bit 4
// vertical, bit 3 horizontal. Writing 1 to 0x0103 resets the registers.
#include "simboard/sensor_models.h"

namespace simboard {

namespace {

constexpr double kSystemClockHz = 45e6;

// Microseconds of one line.
double lineTime(const SimChip &chip)
{
    return chip.reg16(0x380C) / kSystemClockHz * 1e6;
}

}  // namespace

ChipModel modelOV5695()
{
    ChipModel model;
    model.name = "OV5695";
    ChipTarget sensor;
    sensor.address = 0x36;
    sensor.addressBytes = 2;
    // power-on values: identity, and the full-size timing
    sensor.registers = {
        {0x300B, 0x56}, {0x300C, 0x95}, {0x3501, 0x7D}, {0x3509, 0x10},
        {0x3808, 0x0A}, {0x3809, 0x20}, {0x380A, 0x07}, {0x380B, 0x98},
        {0x380C, 0x02}, {0x380D, 0xE4}, {0x380E, 0x07}, {0x380F, 0xE8},
    };
    model.targets.push_back(sensor);
    model.format = ChipFrameFormat{2592, 1944, 10, MOSAIC_BGGR, 30.0};

    model.streaming = [](const SimChip &chip) { return (chip.reg(0x0100) & 1) != 0; };
    model.exposureUs = [](const SimChip &chip) {
        const uint32_t raw = chip.regBE(0x3500, 3) & 0xFFFFF;
        return raw / 16.0 * lineTime(chip);
    };
    model.gain = [](const SimChip &chip) {
        return (((chip.reg(0x3508) & 0x0F) << 8) | chip.reg(0x3509)) / 16.0;
    };
    model.frameFormat = [](const SimChip &chip) {
        ChipFrameFormat format;
        format.width = chip.reg16(0x3808);
        format.height = chip.reg16(0x380A);
        format.bitDepth = 10;
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
