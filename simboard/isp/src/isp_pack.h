// Line packing shared by the image models of the simulated ISP.
#ifndef SIMBOARD_ISP_PACK_H
#define SIMBOARD_ISP_PACK_H

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "simboard/isp_model.h"

namespace simboard::pack {

// `value` of `from` bits as `to` bits: the top bits repeated below when
// widening (a 10-bit 1023 becomes 4095 at 12 bits), cut when narrowing.
inline uint32_t expandBits(uint32_t value, unsigned from, unsigned to)
{
    if (from >= to)
        return value >> (from - to);
    uint32_t out = 0;
    int shift = static_cast<int>(to) - static_cast<int>(from);
    for (; shift > -static_cast<int>(from); shift -= static_cast<int>(from))
        out |= shift >= 0 ? value << shift : value >> -shift;
    return out & ((1u << to) - 1);
}

// Three 10-bit samples per little-endian 32-bit word, at bits 0, 10 and 20.
inline void pack10In32(const uint16_t *samples, uint32_t count, uint8_t *out)
{
    for (uint32_t i = 0; i < count; i += 3, out += 4) {
        uint32_t word = samples[i];
        if (i + 1 < count)
            word |= static_cast<uint32_t>(samples[i + 1]) << 10;
        if (i + 2 < count)
            word |= static_cast<uint32_t>(samples[i + 2]) << 20;
        out[0] = static_cast<uint8_t>(word);
        out[1] = static_cast<uint8_t>(word >> 8);
        out[2] = static_cast<uint8_t>(word >> 16);
        out[3] = static_cast<uint8_t>(word >> 24);
    }
}

// Samples of a Bayer line in one of the five Bayer formats.
inline void packBayer(pxlFormat format, const uint16_t *samples, uint32_t count, uint8_t *out)
{
    switch (format) {
    case BAYER_RGGB_8:
        for (uint32_t i = 0; i < count; ++i)
            out[i] = static_cast<uint8_t>(samples[i]);
        break;
    case BAYER_RGGB_10:
        pack10In32(samples, count, out);
        break;
    case BAYER_RGGB_12:  // least significant bits first, two samples in three bytes
        for (uint32_t i = 0; i < count; i += 2, out += 3) {
            uint16_t a = samples[i];
            uint16_t b = i + 1 < count ? samples[i + 1] : 0;
            out[0] = static_cast<uint8_t>(a);
            out[1] = static_cast<uint8_t>((a >> 8) | (b << 4));
            out[2] = static_cast<uint8_t>(b >> 4);
        }
        break;
    case BAYER_TIFF_10:  // most significant bits first, four samples in five bytes
        for (uint32_t i = 0; i < count; i += 4, out += 5) {
            uint16_t s[4] = {0, 0, 0, 0};
            for (uint32_t k = 0; k < 4 && i + k < count; ++k)
                s[k] = samples[i + k];
            out[0] = static_cast<uint8_t>(s[0] >> 2);
            out[1] = static_cast<uint8_t>((s[0] << 6) | (s[1] >> 4));
            out[2] = static_cast<uint8_t>((s[1] << 4) | (s[2] >> 6));
            out[3] = static_cast<uint8_t>((s[2] << 2) | (s[3] >> 8));
            out[4] = static_cast<uint8_t>(s[3]);
        }
        break;
    case BAYER_TIFF_12:  // most significant bits first, two samples in three bytes
        for (uint32_t i = 0; i < count; i += 2, out += 3) {
            uint16_t a = samples[i];
            uint16_t b = i + 1 < count ? samples[i + 1] : 0;
            out[0] = static_cast<uint8_t>(a >> 4);
            out[1] = static_cast<uint8_t>((a << 4) | (b >> 8));
            out[2] = static_cast<uint8_t>(b);
        }
        break;
    default:
        break;
    }
}

// Copies one packed line to line `y` of a plane, linear or tiled.
inline void placeLine(const OutputBinding &out, uint32_t planeOffset, uint32_t stride, uint32_t y,
               const uint8_t *line, uint32_t bytes)
{
    if (!out.tiled) {
        std::memcpy(out.memory + planeOffset + static_cast<size_t>(y) * stride, line, bytes);
        return;
    }
    const uint32_t tw = out.tileWidth, th = out.tileHeight;
    size_t base = planeOffset + static_cast<size_t>(y / th) * stride * th + (y % th) * tw;
    for (uint32_t x = 0; x < bytes; x += tw)
        std::memcpy(out.memory + base + static_cast<size_t>(x / tw) * tw * th, line + x,
                    std::min(tw, bytes - x));
}

// A zeroed scratch line of `bytes` bytes, grown as needed.
inline uint8_t *lineBuffer(std::vector<uint8_t> &buffer, size_t bytes)
{
    if (buffer.size() < bytes)
        buffer.resize(bytes);
    std::memset(buffer.data(), 0, bytes);
    return buffer.data();
}

// Writes the input samples, widened to the output's depth, as packed Bayer
// lines; columns and rows past the image stay zero.
inline void writeBayer(const OutputBinding &out, const BayerFrame &image, std::vector<uint16_t> &samples,
                       std::vector<uint8_t> &lineScratch)
{
    const uint32_t width = std::min(out.width, image.width);
    const uint32_t bytes = packedLineBytes(out.type, out.width);
    if (samples.size() < out.width)
        samples.resize(out.width);
    for (uint32_t y = 0; y < out.height && y < image.height; ++y) {
        const uint16_t *row = image.samples.data() + static_cast<size_t>(y) * image.width;
        std::fill(samples.begin(), samples.begin() + out.width, 0);
        for (uint32_t x = 0; x < width; ++x)
            samples[x] = static_cast<uint16_t>(expandBits(row[x], image.bitDepth, out.type.ui8BitDepth));
        uint8_t *line = lineBuffer(lineScratch, bytes);
        packBayer(out.type.eFmt, samples.data(), out.width, line);
        placeLine(out, out.offset, out.stride, y, line, bytes);
    }
}

// Which cell sample (0 top-left, 1 top-right, 2 bottom-left, 3 bottom-right)
// holds red and blue for a mosaic; the other two are green.
inline void mosaicLayout(MOSAICType mosaic, int *red, int *blue)
{
    switch (mosaic) {
    case MOSAIC_GRBG: *red = 1; *blue = 2; break;
    case MOSAIC_GBRG: *red = 2; *blue = 1; break;
    case MOSAIC_BGGR: *red = 3; *blue = 0; break;
    default: *red = 0; *blue = 3; break;
    }
}

// Whether a pixel of an RGB format holds blue first in memory (in its low
// bits): the RGB formats are named from the top of a little-endian word
// (RGB_888_32 is B, G, R, X in memory, the display's XR24), the BGR ones
// hold red first, except BGR_161616_64, which is B, G, R, 0.
inline bool blueFirst(pxlFormat format)
{
    return format == RGB_888_24 || format == RGB_888_32 || format == RGB_101010_32 || format == BGR_161616_64;
}

inline void store32(uint8_t *p, uint32_t word)
{
    p[0] = static_cast<uint8_t>(word);
    p[1] = static_cast<uint8_t>(word >> 8);
    p[2] = static_cast<uint8_t>(word >> 16);
    p[3] = static_cast<uint8_t>(word >> 24);
}

}  // namespace simboard::pack

#endif
