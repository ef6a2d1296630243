// Simulated GC8034 with its lens actuator. The sensor answers at I2C address
// 0x37 with 1-byte register addresses in four pages chosen by register 0xFE
// (registers 0xF0 and up are outside the pages); chip identity 0x8044 at
// 0xF0. On page 0: streaming while 0x3F bit 7 is set (bit 6: 4 lanes),
// integration lines at 0x03-0x04, analogue gain level 0xB6 and digital gain
// 0xB1-0xB2 (256 unity), flips in 0x17 (bit 0 horizontal, bit 1 vertical;
// they move the Bayer order), window size at 0x95-0x98 and the timing
// registers that make the row length (HTS) and frame length (VTS). Page 3
// 0x11 is the output format (0x2B: 10 bits). A row lasts HTS / 320 us.
// The actuator at 0x0C takes its 10-bit code in bits 4-13 of a 2-byte write.
#include <memory>

#include "simboard/sensor_models.h"

namespace simboard {

namespace {

constexpr unsigned kPages = 4;
constexpr double kPixelRateMHz = 80.0;
const unsigned kGainThreshold[8] = {64, 88, 125, 173, 243, 345, 490, 684};

// The paged registers, as written through the page register.
struct PagedState {
    uint8_t page = 0;
    uint8_t regs[kPages][256] = {};
    unsigned actuatorCode = 0;
};

unsigned hts(const PagedState &s)
{
    const uint8_t *p0 = s.regs[0];
    return (((p0[0x05] & 0x0F) << 8) | p0[0x06]) + 454 + (((p0[0x0F] & 0x0F) << 8) | (p0[0x10] & ~0x08));
}

unsigned vts(const PagedState &s)
{
    const uint8_t *p0 = s.regs[0];
    return (((p0[0x07] & 0x1F) << 8) | p0[0x08]) + 36 + (((p0[0x0D] & 0x0F) << 8) | p0[0x0E]);
}

}  // namespace

ChipModel modelGC8034()
{
    auto state = std::make_shared<PagedState>();
    // power-on values of page 0: the full-size 4-lane timing, stream off
    const std::pair<uint8_t, uint8_t> page0[] = {
        {0x03, 0x04}, {0x04, 0xE2}, {0x05, 0x02}, {0x06, 0x1A}, {0x07, 0x00}, {0x08, 0x10},
        {0x0D, 0x09}, {0x0E, 0xA0}, {0x0F, 0x0C}, {0x10, 0xD0}, {0x95, 0x09}, {0x96, 0x90},
        {0x97, 0x0C}, {0x98, 0xC0}, {0xB1, 0x01}, {0xB2, 0x00},
    };
    for (const auto &[address, value] : page0)
        state->regs[0][address] = value;
    state->regs[3][0x11] = 0x2B;

    ChipModel model;
    model.name = "GC8034";
    ChipTarget sensor;
    sensor.address = 0x37;
    sensor.addressBytes = 1;
    sensor.registers = {{0xF0, 0x80}, {0xF1, 0x44}};
    model.targets.push_back(sensor);
    ChipTarget actuator;
    actuator.address = 0x0C;
    actuator.addressBytes = 1;
    model.targets.push_back(actuator);
    model.format = ChipFrameFormat{3264, 2448, 10, MOSAIC_RGGB, 29.77};

    model.onWrite = [state](SimChip &, unsigned target, uint16_t address, uint8_t value) {
        if (target == 1) {
            // the first byte travels as the register address
            state->actuatorCode = ((address & 0x3F) << 4) | (value >> 4);
        } else if (address == 0xFE) {
            state->page = value % kPages;
        } else if (address < 0xF0) {
            state->regs[state->page][address] = value;
        }
    };
    model.streaming = [state](const SimChip &) { return (state->regs[0][0x3F] & 0x80) != 0; };
    model.exposureUs = [state](const SimChip &) {
        const unsigned lines = ((state->regs[0][0x03] & 0x7F) << 8) | state->regs[0][0x04];
        return lines * hts(*state) / 320.0;
    };
    model.gain = [state](const SimChip &) {
        const uint8_t *p0 = state->regs[0];
        const double analogue = kGainThreshold[p0[0xB6] & 0x07] / 64.0;
        const double digital = ((p0[0xB1] << 8) | p0[0xB2]) / 256.0;
        return analogue * digital;
    };
    model.focus = [state](const SimChip &) { return static_cast<int>(state->actuatorCode); };
    model.frameFormat = [state](const SimChip &) {
        static const MOSAICType kOrder[4] = {MOSAIC_RGGB, MOSAIC_GRBG, MOSAIC_GBRG, MOSAIC_BGGR};
        const uint8_t *p0 = state->regs[0];
        ChipFrameFormat format;
        format.width = ((p0[0x97] & 0x0F) << 8) | p0[0x98];
        format.height = ((p0[0x95] & 0x0F) << 8) | p0[0x96];
        format.bitDepth = state->regs[3][0x11] == 0x2B ? 10 : 8;
        format.mosaic = kOrder[p0[0x17] & 0x03];
        const unsigned lanes = (p0[0x3F] & 0x40) ? 4 : 2;
        format.frameRate = lanes * kPixelRateMHz * 1e6 / (static_cast<double>(hts(*state)) * vts(*state));
        return format;
    };
    return model;
}

}  // namespace simboard
