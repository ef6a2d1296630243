// Decoding of the data generator's wire formats (parallel and MIPI CSI-2).
#include "simboard/isp_wire.h"

#include <algorithm>
#include <cstring>

namespace simboard {

namespace {

// Data bits (of the 24-bit header) that feed each of the six ECC bits.
constexpr uint32_t kEccRows[6] = {
    0xF12CB7,  // P0: D0 D1 D2 D4 D5 D7 D10 D11 D13 D16 D20 D21 D22 D23
    0xF2555B,  // P1: D0 D1 D3 D4 D6 D8 D10 D12 D14 D17 D20 D21 D22 D23
    0x749A6D,  // P2: D0 D2 D3 D5 D6 D9 D11 D12 D15 D18 D20 D21 D22
    0xB8E38E,  // P3: D1 D2 D3 D7 D8 D9 D13 D14 D15 D19 D20 D21 D23
    0xDF03F0,  // P4: D4 D5 D6 D7 D8 D9 D16 D17 D18 D19 D20 D22 D23
    0xEFFC00,  // P5: D10 .. D19 D21 D22 D23
};

// The checksum register after shifting one byte through it, for each value
// of the register's low byte: one lookup per payload byte.
struct CrcTable {
    uint16_t next[256]{};
    constexpr CrcTable()
    {
        for (unsigned byte = 0; byte < 256; ++byte) {
            unsigned crc = byte;
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc & 1) ? (crc >> 1) ^ 0x8408 : crc >> 1;
            next[byte] = static_cast<uint16_t>(crc);
        }
    }
};
constexpr CrcTable kCrcTable;

uint8_t eccOf(uint32_t bits)
{
    uint8_t ecc = 0;
    for (int i = 0; i < 6; ++i)
        ecc |= static_cast<uint8_t>(__builtin_parity(bits & kEccRows[i]) << i);
    return ecc;
}

uint32_t headerBits(const uint8_t *p) { return p[0] | (p[1] << 8) | (p[2] << 16); }

enum class HeaderCheck { Good, Corrected, Bad };

// Checks a packet header's ECC, correcting a single-bit error in place.
HeaderCheck checkHeader(uint8_t header[4])
{
    uint32_t bits = headerBits(header);
    uint8_t syndrome = static_cast<uint8_t>((eccOf(bits) ^ header[3]) & 0x3F);
    if (syndrome == 0)
        return HeaderCheck::Good;
    if ((syndrome & (syndrome - 1)) == 0)  // one ECC bit flipped
        return HeaderCheck::Corrected;
    for (int bit = 0; bit < 24; ++bit) {
        if (eccOf(1u << bit) == syndrome) {
            bits ^= 1u << bit;
            header[0] = static_cast<uint8_t>(bits);
            header[1] = static_cast<uint8_t>(bits >> 8);
            header[2] = static_cast<uint8_t>(bits >> 16);
            return HeaderCheck::Corrected;
        }
    }
    return HeaderCheck::Bad;
}

uint8_t dataIdFor(unsigned depth)
{
    switch (depth) {
    case 10: return kMipiRaw10;
    case 12: return kMipiRaw12;
    case 14: return kMipiRaw14;
    default: return 0;
    }
}

// Payload bytes of one MIPI line of `pixels` sample pairs.
uint32_t mipiPayload(unsigned depth, uint32_t pixels)
{
    switch (depth) {
    case 10: return (pixels + 1) / 2 * 5;
    case 12: return pixels * 3;
    case 14: return (pixels + 1) / 2 * 7;
    default: return 0;
    }
}

uint32_t parallelLine(unsigned depth, uint32_t pixels)
{
    if (depth == 12)
        return pixels * 3;
    if (depth == 10) {
        uint32_t bytes = pixels / 3 * 8;
        uint32_t rest = pixels % 3;
        return bytes + (rest == 2 ? 8 : rest == 1 ? 4 : 0);
    }
    return 0;
}

void unpackParallel10(const uint8_t *in, uint32_t width, uint16_t *out)
{
    for (uint32_t s = 0; s < width; s += 3, in += 4) {
        uint32_t word = in[0] | (in[1] << 8) | (in[2] << 16) | (static_cast<uint32_t>(in[3]) << 24);
        for (uint32_t k = 0; k < 3 && s + k < width; ++k)
            out[s + k] = static_cast<uint16_t>((word >> (10 * k)) & 0x3FF);
    }
}

void unpack12(const uint8_t *in, uint32_t width, uint16_t *out, bool mipi)
{
    for (uint32_t s = 0; s < width; s += 2, in += 3) {
        uint16_t a, b;
        if (mipi) {
            a = static_cast<uint16_t>((in[0] << 4) | (in[2] & 0x0F));
            b = static_cast<uint16_t>((in[1] << 4) | (in[2] >> 4));
        } else {
            a = static_cast<uint16_t>(in[0] | ((in[1] & 0x0F) << 8));
            b = static_cast<uint16_t>((in[1] >> 4) | (in[2] << 4));
        }
        out[s] = a;
        if (s + 1 < width)
            out[s + 1] = b;
    }
}

void unpackRaw10(const uint8_t *in, uint32_t width, uint16_t *out)
{
    for (uint32_t s = 0; s < width; s += 4, in += 5) {
        for (uint32_t k = 0; k < 4 && s + k < width; ++k)
            out[s + k] = static_cast<uint16_t>((in[k] << 2) | ((in[4] >> (2 * k)) & 3));
    }
}

void unpackRaw14(const uint8_t *in, uint32_t width, uint16_t *out)
{
    for (uint32_t s = 0; s < width; s += 4, in += 7) {
        uint32_t low = in[4] | (in[5] << 8) | (in[6] << 16);
        for (uint32_t k = 0; k < 4 && s + k < width; ++k)
            out[s + k] = static_cast<uint16_t>((in[k] << 6) | ((low >> (6 * k)) & 63));
    }
}

// Reads a short packet of type `type` at `p`; counts what is wrong with it.
void checkShortPacket(const uint8_t *p, uint8_t type, WireErrors &errors)
{
    uint8_t header[4];
    std::memcpy(header, p, 4);
    switch (checkHeader(header)) {
    case HeaderCheck::Bad: ++errors.ecc; return;
    case HeaderCheck::Corrected: ++errors.eccCorrected; break;
    case HeaderCheck::Good: break;
    }
    if (header[0] != type)  // virtual channel 0 and the expected type
        ++errors.header;
}

// Decodes one MIPI line starting at `p`; a line whose packet is unusable is left as it is.
void decodeMipiLine(const uint8_t *p, bool lineFramed, unsigned depth, uint32_t width,
                    uint16_t *out, WireErrors &errors)
{
    uint32_t payload = mipiPayload(depth, width / 2);
    if (lineFramed) {
        checkShortPacket(p, kMipiLineStart, errors);
        p += 4;
    }
    uint8_t header[4];
    std::memcpy(header, p, 4);
    HeaderCheck check = checkHeader(header);
    if (check == HeaderCheck::Bad) {
        ++errors.ecc;
        return;
    }
    if (check == HeaderCheck::Corrected)
        ++errors.eccCorrected;
    uint32_t count = header[1] | (header[2] << 8);
    if (header[0] != dataIdFor(depth) || count != payload) {
        ++errors.header;
        return;
    }
    const uint8_t *data = p + 4;
    uint16_t crc = static_cast<uint16_t>(data[payload] | (data[payload + 1] << 8));
    if (mipiCrc16(data, payload) != crc)
        ++errors.crc;
    switch (depth) {
    case 10: unpackRaw10(data, width, out); break;
    case 12: unpack12(data, width, out, true); break;
    default: unpackRaw14(data, width, out); break;
    }
    if (lineFramed)
        checkShortPacket(data + payload + 2, kMipiLineEnd, errors);
}

}  // namespace

bool wireFormatSupported(uint32_t format, unsigned depth)
{
    if (format == static_cast<uint32_t>(WireFormat::Parallel))
        return depth == 10 || depth == 12;
    if (format == static_cast<uint32_t>(WireFormat::Mipi) ||
        format == static_cast<uint32_t>(WireFormat::MipiLineFramed))
        return depth == 10 || depth == 12 || depth == 14;
    return false;
}

uint32_t wireLineBytes(WireFormat format, unsigned depth, uint32_t width)
{
    // A generator sends lines of at most 65535 samples (a 16-bit width).
    if (!wireFormatSupported(static_cast<uint32_t>(format), depth) || width > 0xFFFF)
        return 0;
    uint32_t pixels = width / 2;
    if (format == WireFormat::Parallel)
        return parallelLine(depth, pixels);
    const uint32_t payload = mipiPayload(depth, pixels);
    if (payload > 0xFFFF)  // beyond the 16-bit length of a long packet
        return 0;
    return payload + (format == WireFormat::MipiLineFramed ? 14 : 6);
}

uint32_t wireMinStride(WireFormat format, unsigned depth, uint32_t width)
{
    uint32_t line = wireLineBytes(format, depth, width);
    if (line == 0 || format == WireFormat::Parallel)
        return line;
    return line + 4;
}

uint64_t wireFrameBytes(WireFormat format, unsigned depth, uint32_t width, uint32_t height, uint32_t stride)
{
    const uint32_t line = wireLineBytes(format, depth, width);
    if (line == 0 || width == 0 || width % 2 != 0 || height == 0 || stride < wireMinStride(format, depth, width))
        return 0;
    if (format == WireFormat::Parallel)
        return static_cast<uint64_t>(stride) * height;
    // The frame end follows the last line, which for a one-line frame sits
    // after the frame start.
    const uint64_t lastLine = height == 1 ? 4 : static_cast<uint64_t>(height - 1) * stride;
    return std::max<uint64_t>(static_cast<uint64_t>(stride) * height, lastLine + line + 4);
}

uint8_t mipiHeaderEcc(const uint8_t header[3]) { return eccOf(headerBits(header)); }

uint16_t mipiCrc16(const uint8_t *data, size_t length)
{
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < length; ++i)
        crc = static_cast<uint16_t>((crc >> 8) ^ kCrcTable.next[(crc ^ data[i]) & 0xFF]);
    return crc;
}

bool decodeWireFrame(const uint8_t *data, size_t size, uint32_t stride, uint32_t width,
                     uint32_t height, WireFormat format, unsigned depth, uint16_t *samples,
                     WireErrors &errors)
{
    const uint64_t frameBytes = wireFrameBytes(format, depth, width, height, stride);
    if (frameBytes == 0 || frameBytes > size)
        return false;
    if (format == WireFormat::Parallel) {
        for (uint32_t y = 0; y < height; ++y) {
            const uint8_t *line = data + static_cast<size_t>(y) * stride;
            if (depth == 10)
                unpackParallel10(line, width, samples + static_cast<size_t>(y) * width);
            else
                unpack12(line, width, samples + static_cast<size_t>(y) * width, false);
        }
        return true;
    }
    bool lineFramed = format == WireFormat::MipiLineFramed;
    uint32_t lineBytes = wireLineBytes(format, depth, width);
    checkShortPacket(data, kMipiFrameStart, errors);
    size_t lastLine = 0;
    for (uint32_t y = 0; y < height; ++y) {
        lastLine = y == 0 ? 4 : static_cast<size_t>(y) * stride;
        std::memset(samples + static_cast<size_t>(y) * width, 0, sizeof(uint16_t) * width);
        decodeMipiLine(data + lastLine, lineFramed, depth, width,
                       samples + static_cast<size_t>(y) * width, errors);
    }
    checkShortPacket(data + lastLine + lineBytes, kMipiFrameEnd, errors);
    return true;
}

}  // namespace simboard
