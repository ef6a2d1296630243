// Simulated IMX335: I2C address 0x1A, 2-byte register addresses, chip
// identity 0x0301 at 0x3A01. Streams while the standby bit (0x3000 bit 0) is
// clear. A frame is VMAX lines (0x3030-0x3032) of HMAX (0x3034-0x3035)
// clocks of 37.125 MHz, read out in VMAX / 2 line times; the exposure runs
// from shutter line SHR0 (0x3058-0x305A) to the frame end, and the gain
// (0x30E8-0x30E9) counts 0.3 dB steps. The window mode (0x3018) gives the
// size: all pixels, binned, or the crop of 0x302E-0x302F (width) and
// 0x3076-0x3077 (twice the height). The readout keeps its RGGB order.
#include <cmath>

#include "simboard/sensor_models.h"

namespace simboard {

namespace {

constexpr double kClockMHz = 37.125;

// A 20-bit value kept low byte first in three registers.
unsigned value20(const SimChip &chip, uint16_t address)
{
    return chip.reg(address) | (chip.reg(address + 1) << 8) | ((chip.reg(address + 2) & 0x0F) << 16);
}

unsigned vmax(const SimChip &chip) { return value20(chip, 0x3030); }
unsigned hmax(const SimChip &chip) { return chip.reg(0x3034) | (chip.reg(0x3035) << 8); }

// Microseconds of one line.
double lineTime(const SimChip &chip) { return hmax(chip) / kClockMHz; }

}  // namespace

ChipModel modelIMX335()
{
    ChipModel model;
    model.name = "IMX335";
    ChipTarget sensor;
    sensor.address = 0x1A;
    sensor.addressBytes = 2;
    // power-on values: identity (which is also the 4-lane mode), standby,
    // the full-size 30 frames/s timing
    sensor.registers = {
        {0x3A01, 0x03}, {0x3A02, 0x01}, {0x3000, 0x01}, {0x3002, 0x01},
        {0x3030, 0x94}, {0x3031, 0x11}, {0x3034, 0x26}, {0x3035, 0x02},
        {0x3058, 0x09}, {0x319D, 0x01},
    };
    model.targets.push_back(sensor);
    model.format = ChipFrameFormat{2592, 1944, 12, MOSAIC_RGGB, 30.0};

    model.streaming = [](const SimChip &chip) { return (chip.reg(0x3000) & 0x01) == 0; };
    model.exposureUs = [](const SimChip &chip) {
        const int lines = static_cast<int>(vmax(chip)) - static_cast<int>(value20(chip, 0x3058));
        return lines > 0 ? lines * lineTime(chip) : 0.0;
    };
    model.gain = [](const SimChip &chip) {
        const unsigned steps = chip.reg(0x30E8) | ((chip.reg(0x30E9) & 0x07) << 8);
        return std::pow(10.0, steps * 0.3 / 20.0);
    };
    model.frameFormat = [](const SimChip &chip) {
        ChipFrameFormat format;
        switch (chip.reg(0x3018)) {
        case 1:
            format.width = 1296;
            format.height = 972;
            break;
        case 4:
            format.width = ((chip.reg(0x302F) & 0x0F) << 8) | chip.reg(0x302E);
            format.height = (((chip.reg(0x3077) & 0x1F) << 8) | chip.reg(0x3076)) / 2;
            break;
        default:
            format.width = 2592;
            format.height = 1944;
            break;
        }
        format.bitDepth = chip.reg(0x319D) ? 12 : 10;
        format.mosaic = MOSAIC_RGGB;
        const double frameTime = (vmax(chip) / 2) * lineTime(chip);
        format.frameRate = frameTime > 0 ? 1e6 / frameTime : 30.0;
        return format;
    };
    return model;
}

}  // namespace simboard
