// Load-structure words of a neutral pipeline, for tests and benchmarks that
// drive the simulated ISP without the library's conversions.
#ifndef SIMBOARD_ISP_WORDS_H
#define SIMBOARD_ISP_WORDS_H

#include <array>
#include <cstdint>
#include <utility>

#include "ci_kernel/ci_ioctrl.h"
#include "simboard/isp_driver.h"

namespace simboard {

inline uint32_t pair12(int32_t lo, int32_t hi)
{
    return (static_cast<uint32_t>(lo) & 0xFFF) | ((static_cast<uint32_t>(hi) & 0xFFF) << 16);
}

// Colour words of a neutral pipeline: unit white-balance gains without clip,
// identity colour matrix, gamma and tone mapper bypassed, full-range BT.601 RGB-to-YCC and
// its inverse, with the channel exchanges the library makes: Cr and Cb rows
// exchanged for a U-first encoder (and the display inputs with them), R and
// B rows for a BGR display.
inline void setNeutralPipeline(std::array<uint32_t, kIspLoadStructureWords> &load, pxlFormat encoder,
                               pxlFormat display)
{
    const bool uFirst = encoder == YUV_420_PL12_8 || encoder == YUV_422_PL12_8 || encoder == YUV_420_PL12_10 ||
                        encoder == YUV_422_PL12_10;
    load[49] = load[50] = 1024u | (1024u << 16);  // U6.10 gains 1.0
    load[51] = load[52] = 4096u | (4096u << 16);  // clips above the 12-bit range
    for (int i = 0; i < 3; ++i) {                 // S3.9 identity
        load[88 + 2 * i] = pair12(i == 0 ? 512 : 0, i == 1 ? 512 : 0);
        load[89 + 2 * i] = pair12(i == 2 ? 512 : 0, 0);
    }
    load[114] = 1;  // gamma bypass
    load[215] = 1;  // tone mapper bypass
    // S2.10 rows Cr, Y, Cb.
    int32_t r2y[3][3] = {{512, -429, -83}, {306, 601, 117}, {-173, -339, 512}};
    if (uFirst)
        for (int k = 0; k < 3; ++k)
            std::swap(r2y[0][k], r2y[2][k]);
    for (int i = 0; i < 3; ++i) {
        load[124 + 2 * i] = pair12(r2y[i][0], r2y[i][1]);
        load[125 + 2 * i] = pair12(r2y[i][2], 0);
    }
    // S3.9 rows R, G, B from Cr, Y, Cb; S9.2 offsets -512 on both chroma inputs.
    int32_t y2r[3][3] = {{718, 512, 0}, {-366, 512, -176}, {0, 512, 907}};
    if (display == BGR_888_24 || display == BGR_888_32 || display == BGR_101010_32)
        for (int k = 0; k < 3; ++k)
            std::swap(y2r[0][k], y2r[2][k]);
    if (uFirst)
        for (int k = 0; k < 3; ++k)
            std::swap(y2r[k][0], y2r[k][2]);
    const int32_t offset[3] = {-512, 0, -512};
    for (int i = 0; i < 3; ++i) {
        load[305 + 2 * i] = pair12(y2r[i][0], y2r[i][1]);
        load[306 + 2 * i] = (static_cast<uint32_t>(y2r[i][2]) & 0xFFF) | ((static_cast<uint32_t>(offset[i]) & 0x7FF) << 16);
    }
}

}  // namespace simboard

#endif
