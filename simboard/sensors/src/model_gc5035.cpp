// Simulated GC5035. The sensor answers at I2C address 0x37 with 1-byte
// register addresses in four pages chosen by register 0xFE (registers 0xF0
// and up are outside the pages); chip identity 0x5035 at 0xF0. On page 0:
// streaming while 0x3F bit 7 is set, integration lines at 0x03-0x04 (rows of
// 8.33 us), analogue gain level code 0xB6 and digital gain 0xB1 (high 8 bits)
// and 0xB2 bits 2-7 (low 6 bits), 256 unity; flips in 0x17 (bit 0
// horizontal, bit 1 vertical; they move the Bayer order). Page 1 0x95-0x98
// hold the window size. The chip runs 2 lanes of 10 bits at 30 frames/s.
#include <memory>

#include "simboard/sensor_models.h"

namespace simboard {

namespace {

constexpr unsigned kPages = 4;
constexpr double kRowTimeUs = 25.0 / 3.0;

// Analogue gain level codes and their gains x 64.
struct Level {
    uint8_t code;
    unsigned gain64;
};
const Level kLevels[] = {
    {0, 64},    {1, 76},    {2, 90},    {3, 106},   {8, 126},   {9, 150},
    {10, 179},  {11, 211},  {12, 250},  {13, 301},  {14, 358},  {15, 427},
    {16, 499},  {17, 589},  {18, 704},  {19, 830},  {20, 998},
};

// The paged registers, as written through the page register.
struct PagedState {
    uint8_t page = 0;
    uint8_t regs[kPages][256] = {};
};

}  // namespace

ChipModel modelGC5035()
{
    auto state = std::make_shared<PagedState>();
    // power-on values: 1000 lines, unity gain, the full-size window
    state->regs[0][0x03] = 0x03;
    state->regs[0][0x04] = 0xE8;
    state->regs[0][0xB1] = 0x04;
    state->regs[1][0x95] = 0x07;
    state->regs[1][0x96] = 0x98;
    state->regs[1][0x97] = 0x0A;
    state->regs[1][0x98] = 0x20;

    ChipModel model;
    model.name = "GC5035";
    ChipTarget sensor;
    sensor.address = 0x37;
    sensor.addressBytes = 1;
    sensor.registers = {{0xF0, 0x50}, {0xF1, 0x35}};
    model.targets.push_back(sensor);
    model.format = ChipFrameFormat{2592, 1944, 10, MOSAIC_RGGB, 30.0};

    model.onWrite = [state](SimChip &, unsigned, uint16_t address, uint8_t value) {
        if (address == 0xFE)
            state->page = value % kPages;
        else if (address < 0xF0)
            state->regs[state->page][address] = value;
    };
    model.streaming = [state](const SimChip &) { return (state->regs[0][0x3F] & 0x80) != 0; };
    model.exposureUs = [state](const SimChip &) {
        const unsigned lines = ((state->regs[0][0x03] & 0x3F) << 8) | state->regs[0][0x04];
        return lines * kRowTimeUs;
    };
    model.gain = [state](const SimChip &) {
        const uint8_t *p0 = state->regs[0];
        double analogue = 1.0;
        for (const Level &level : kLevels) {
            if (level.code == p0[0xB6])
                analogue = level.gain64 / 64.0;
        }
        const double digital = ((p0[0xB1] << 6) | (p0[0xB2] >> 2)) / 256.0;
        return analogue * digital;
    };
    model.frameFormat = [state](const SimChip &) {
        static const MOSAICType kOrder[4] = {MOSAIC_RGGB, MOSAIC_GRBG, MOSAIC_GBRG, MOSAIC_BGGR};
        const uint8_t *p1 = state->regs[1];
        ChipFrameFormat format;
        format.width = ((p1[0x97] & 0x0F) << 8) | p1[0x98];
        format.height = ((p1[0x95] & 0x0F) << 8) | p1[0x96];
        format.bitDepth = 10;
        format.mosaic = kOrder[state->regs[0][0x17] & 0x03];
        format.frameRate = 30.0;
        return format;
    };
    return model;
}

}  // namespace simboard
