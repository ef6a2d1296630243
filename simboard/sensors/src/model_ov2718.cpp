// Simulated OV2718: I2C address 0x36, 2-byte register addresses, chip
// identity 0x2770 at 0x300A and silicon revision at 0x300D (0xE1: 2A, 0xF0:
// 1B). Streams while 0x3012 bit 0 is set. Exposure in lines in 0x30B6-0x30B7,
// gain with 8 fraction bits in 0x315A-0x315B; one line lasts HTS
// (0x30B0-0x30B1) clocks of the sensor clock its PLL gives. Output of 12
// bits, or 10 with bit 5 of 0x3190. Writing 1 to 0x3013 resets the registers.
#include "simboard/sensor_models.h"

namespace simboard {

namespace {

const double kPreDivider[8] = {1.0, 1.5, 2.0, 2.5, 3.0, 4.0, 6.0, 8.0};

double sensorClock(const SimChip &chip)
{
    return chip.refClockHz() / kPreDivider[chip.reg(0x3000) & 0x07] * chip.reg(0x3001) /
           ((chip.reg(0x3002) & 0x0F) + 1);
}

// Microseconds of one line.
double lineTime(const SimChip &chip)
{
    const double clock = sensorClock(chip);
    return clock > 0 ? chip.reg16(0x30B0) / clock * 1e6 : 0.0;
}

}  // namespace

ChipModel modelOV2718()
{
    ChipModel model;
    model.name = "OV2718";
    ChipTarget sensor;
    sensor.address = 0x36;
    sensor.addressBytes = 2;
    // power-on values: identity, revision 2A, a 75 MHz sensor clock and the 1080p frame
    sensor.registers = {
        {0x300A, 0x27}, {0x300B, 0x70}, {0x300D, 0xE1}, {0x3000, 0x07}, {0x3001, 0x64},
        {0x3002, 0x03}, {0x3190, 0x08}, {0x31FE, 0x0F},
        {0x30AC, 0x07}, {0x30AD, 0x80}, {0x30AE, 0x04}, {0x30AF, 0x38},
        {0x30B0, 0x08}, {0x30B1, 0x98}, {0x30B2, 0x04}, {0x30B3, 0x65},
        {0x30B6, 0x01}, {0x30B7, 0x10}, {0x315A, 0x01}, {0x315C, 0x01},
    };
    model.targets.push_back(sensor);
    model.format = ChipFrameFormat{1920, 1080, 12, MOSAIC_BGGR, 30.0};

    model.streaming = [](const SimChip &chip) { return (chip.reg(0x3012) & 1) != 0; };
    model.exposureUs = [](const SimChip &chip) { return chip.reg16(0x30B6) * lineTime(chip); };
    model.gain = [](const SimChip &chip) { return chip.reg16(0x315A) / 256.0; };
    model.frameFormat = [](const SimChip &chip) {
        ChipFrameFormat format;
        format.width = chip.reg16(0x30AC);
        format.height = chip.reg16(0x30AE);
        format.bitDepth = (chip.reg(0x3190) & 0x20) ? 10 : 12;
        // the readout start follows the mirror and flip, so the order stays
        format.mosaic = MOSAIC_BGGR;
        const double frameTime = lineTime(chip) * chip.reg16(0x30B2);
        format.frameRate = frameTime > 0 ? 1e6 / frameTime : 30.0;
        return format;
    };
    model.onWrite = [](SimChip &chip, unsigned target, uint16_t address, uint8_t value) {
        if (target == 0 && address == 0x3013 && (value & 1))
            chip.resetRegisters();
    };
    return model;
}

}  // namespace simboard
