// Simulated S5K3P9 with its lens actuator. The sensor answers at I2C address
// 0x2D with 2-byte register addresses and 16-bit registers kept high byte
// first; chip identity 0x3109 at 0x0000. It streams while 0x0100 bit 0 is
// set; the frame counter at 0x0005 reads 0xFF while the stream is off, and a
// software reset (0x6010 bit 0) stops the stream. Integration time in lines
// at 0x0202, analogue gain at 0x0204 (32 unity), a line lasts the line
// length (0x0342) in clocks of 560 MHz, the frame the frame length (0x0340)
// in lines; output size at 0x034C and 0x034E. 0x0101 bit 0 mirrors and bit 1
// flips the readout, which moves the Bayer order. The actuator at 0x0C has
// 1-byte registers, its 10-bit code in 0x03 (bits 8-9) and 0x04.
#include "simboard/sensor_models.h"

namespace simboard {

namespace {

constexpr double kClockMHz = 560.0;

// Microseconds of one line.
double lineTime(const SimChip &chip) { return chip.reg16(0x0342) / kClockMHz; }

}  // namespace

ChipModel modelS5K3P9()
{
    ChipModel model;
    model.name = "S5K3P9";
    ChipTarget sensor;
    sensor.address = 0x2D;
    sensor.addressBytes = 2;
    // power-on values: identity, stream off, the full-size 30 frames/s timing
    sensor.registers = {
        {0x0000, 0x31}, {0x0001, 0x09}, {0x0005, 0xFF}, {0x0114, 0x03}, {0x0202, 0x03},
        {0x0203, 0xE8}, {0x0205, 0x20}, {0x0340, 0x0E}, {0x0341, 0x54}, {0x0342, 0x13},
        {0x0343, 0xE0}, {0x034C, 0x12}, {0x034D, 0x20}, {0x034E, 0x0D}, {0x034F, 0xA0},
    };
    model.targets.push_back(sensor);
    ChipTarget actuator;
    actuator.address = 0x0C;
    actuator.addressBytes = 1;
    model.targets.push_back(actuator);
    model.format = ChipFrameFormat{4640, 3488, 10, MOSAIC_GRBG, 30.0};

    model.onWrite = [](SimChip &chip, unsigned target, uint16_t address, uint8_t value) {
        if (target != 0)
            return;
        if (address == 0x6010 && (value & 0x01)) {
            chip.setReg(0x0100, 0x00);
            chip.setReg(0x0005, 0xFF);
        } else if (address == 0x0100) {
            // the frame counter starts with the stream and reads 0xFF without it
            chip.setReg(0x0005, (value & 0x01) ? 0x00 : 0xFF);
        }
    };
    model.streaming = [](const SimChip &chip) { return (chip.reg(0x0100) & 0x01) != 0; };
    model.exposureUs = [](const SimChip &chip) { return chip.reg16(0x0202) * lineTime(chip); };
    model.gain = [](const SimChip &chip) { return chip.reg16(0x0204) / 32.0; };
    model.focus = [](const SimChip &chip) {
        return static_cast<int>(((chip.reg(0x03, 1) & 0x03) << 8) | chip.reg(0x04, 1));
    };
    model.frameFormat = [](const SimChip &chip) {
        static const MOSAICType kOrder[4] = {MOSAIC_GRBG, MOSAIC_RGGB, MOSAIC_BGGR, MOSAIC_GBRG};
        ChipFrameFormat format;
        format.width = chip.reg16(0x034C);
        format.height = chip.reg16(0x034E);
        format.bitDepth = 10;
        format.mosaic = kOrder[chip.reg(0x0101) & 0x03];
        const double frameTime = chip.reg16(0x0340) * lineTime(chip);
        format.frameRate = frameTime > 0 ? 1e6 / frameTime : 30.0;
        return format;
    };
    return model;
}

}  // namespace simboard
