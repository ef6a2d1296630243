// Simulated OV4689: I2C address 0x36, 2-byte register addresses, chip
// identity 0x4688 at 0x300A. Streams while 0x0100 bit 0 is set. Exposure
// in 0x3500-0x3502 (lines with 4 fraction bits), gain in 0x3508-0x3509 (a
// range code in the high bits, x1, x2, x4 or x8, and a step within it); one
// line lasts HTS clocks of the sensor clock its second PLL gives. Writing 1
// to 0x0103 resets the registers.
#include "simboard/sensor_models.h"

namespace simboard {

namespace {

const double kPreDividerB[8] = {1.0, 1.5, 2.0, 2.5, 3.0, 4.0, 6.0, 8.0};
const double kDividerC[8] = {1.0, 1.5, 2.0, 2.5, 3.0, 3.5, 4.0, 5.0};

double sensorClock(const SimChip &chip)
{
    const double p = (chip.reg(0x0311) & 0x07) + 1;
    const double b = kPreDividerB[chip.reg(0x030B) & 0x07];
    const double multiplier = ((chip.reg(0x030C) & 0x03) << 8) | chip.reg(0x030D);
    const double s = (chip.reg(0x030F) & 0x0F) + 1;
    const double c = kDividerC[chip.reg(0x030E) & 0x07];
    return chip.refClockHz() / p / b * multiplier / s / c;
}

// Microseconds of one line.
double lineTime(const SimChip &chip)
{
    const double clock = sensorClock(chip);
    return clock > 0 ? chip.reg16(0x380C) / clock * 1e6 : 0.0;
}

// The long gain: x1 from 0x080 by 1/128, x2 from 0x178 by 1/64, x4 from
// 0x374 by 1/32, x8 from 0x778 by 1/16.
double longGain(const SimChip &chip)
{
    const unsigned value = ((chip.reg(0x3508) & 0x07) << 8) | chip.reg(0x3509);
    if (value < 0x100)
        return value / 128.0;
    if (value < 0x300)
        return (value - 248.0) / 64.0;
    if (value < 0x700)
        return (value - 756.0) / 32.0;
    return (value - 1784.0) / 16.0;
}

}  // namespace

ChipModel modelOV4689()
{
    ChipModel model;
    model.name = "OV4689";
    ChipTarget sensor;
    sensor.address = 0x36;
    sensor.addressBytes = 2;
    // power-on values: identity, a 120 MHz sensor clock and the full 2688 x 1520 frame
    sensor.registers = {
        {0x300A, 0x46}, {0x300B, 0x88}, {0x030B, 0x00}, {0x030C, 0x00}, {0x030D, 0x1E},
        {0x030E, 0x04}, {0x030F, 0x01}, {0x0311, 0x00}, {0x3018, 0x72}, {0x3031, 0x0A},
        {0x3501, 0x2E}, {0x3502, 0x80}, {0x3509, 0x80},
        {0x3808, 0x0A}, {0x3809, 0x80}, {0x380A, 0x05}, {0x380B, 0xF0},
        {0x380C, 0x0A}, {0x380D, 0x10}, {0x380E, 0x06}, {0x380F, 0x12},
    };
    model.targets.push_back(sensor);
    model.format = ChipFrameFormat{2688, 1520, 10, MOSAIC_BGGR, 30.0};

    model.streaming = [](const SimChip &chip) { return (chip.reg(0x0100) & 1) != 0; };
    model.exposureUs = [](const SimChip &chip) {
        const uint32_t raw = chip.regBE(0x3500, 3) & 0xFFFFF;
        return raw / 16.0 * lineTime(chip);
    };
    model.gain = longGain;
    model.frameFormat = [](const SimChip &chip) {
        ChipFrameFormat format;
        format.width = chip.reg16(0x3808);
        format.height = chip.reg16(0x380A);
        const unsigned depth = chip.reg(0x3031) & 0x1F;
        format.bitDepth = static_cast<uint8_t>(depth ? depth : 10);
        // the readout start follows the mirror and flip, so the order stays
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
