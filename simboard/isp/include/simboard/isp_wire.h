// The wire formats in which the ISP's internal data generator sends a frame
// from memory into a gasket, as a sensor would: packed parallel samples or
// MIPI CSI-2 packets. The simulated gasket decodes them back into samples and
// counts the errors a receiver would see.
#ifndef SIMBOARD_ISP_WIRE_H
#define SIMBOARD_ISP_WIRE_H

#include <cstddef>
#include <cstdint>

namespace simboard {

// Values of the generator's format field.
enum class WireFormat : uint32_t {
    Parallel = 0,
    Mipi = 1,
    MipiLineFramed = 2,  // MIPI with line-start and line-end packets
};

// True for parallel 10 and 12 bits and MIPI 10, 12 and 14 bits.
bool wireFormatSupported(uint32_t format, unsigned depth);

// Bytes of one line of `width` samples, packet framing included (the short
// frame-start or frame-end packet that shares a line is not counted). 0 for
// an unsupported format, a width above 65535 or a MIPI payload that its
// packet's 16-bit length cannot hold.
uint32_t wireLineBytes(WireFormat format, unsigned depth, uint32_t width);

// Smallest line stride that holds one line: the line plus, for MIPI, the
// 4-byte frame-start packet that precedes line 0.
uint32_t wireMinStride(WireFormat format, unsigned depth, uint32_t width);

// Bytes a frame of `height` lines `stride` bytes apart occupies from the
// start of its buffer: every line, and for MIPI the frame-end packet after
// the last one. 0 when the format, an odd width or a stride below one line
// cannot make a frame.
uint64_t wireFrameBytes(WireFormat format, unsigned depth, uint32_t width, uint32_t height, uint32_t stride);

// CSI-2 data types.
enum : uint8_t {
    kMipiFrameStart = 0x00,
    kMipiFrameEnd = 0x01,
    kMipiLineStart = 0x02,
    kMipiLineEnd = 0x03,
    kMipiRaw10 = 0x2B,
    kMipiRaw12 = 0x2C,
    kMipiRaw14 = 0x2D,
};

// Packet-header ECC of the 24 bits of bytes 0-2 (bits 6 and 7 are 0).
uint8_t mipiHeaderEcc(const uint8_t header[3]);
// Long-packet checksum: CRC-16, reflected polynomial 0x8408, seed 0xFFFF.
uint16_t mipiCrc16(const uint8_t *data, size_t length);

// Errors a receiver found in one frame.
struct WireErrors {
    unsigned header = 0;        // packet with a wrong type, channel or length
    unsigned ecc = 0;           // header ECC error that could not be corrected
    unsigned eccCorrected = 0;  // single-bit header error, corrected
    unsigned crc = 0;           // long packet whose checksum does not match
    bool frameError() const { return header != 0 || ecc != 0 || crc != 0; }
};

// Decodes a frame of `height` lines of `width` samples, `stride` bytes apart
// in `data` (`size` bytes), into `samples` (width x height, row by row), each
// masked to `depth` bits. A line whose packet cannot be read leaves zeros.
// False when the geometry does not fit the buffer or makes no frame (see
// wireFrameBytes; nothing decoded).
bool decodeWireFrame(const uint8_t *data, size_t size, uint32_t stride, uint32_t width,
                     uint32_t height, WireFormat format, unsigned depth, uint16_t *samples,
                     WireErrors &errors);

}  // namespace simboard

#endif
