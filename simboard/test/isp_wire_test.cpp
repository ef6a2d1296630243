// Wire formats of the data generator: packet checks against known values and
// frames decoded back to the samples they were built from.
#include "isp_test_support.h"
#include "simboard/isp_wire.h"

namespace isp_wire_test {
namespace {

using namespace isptest;
using simboard::WireErrors;
using simboard::WireFormat;

TEST(IspWire, HeaderEccMatchesKnownPackets)
{
    const uint8_t csiExample[3] = {0x37, 0xF0, 0x01};
    EXPECT_EQ(simboard::mipiHeaderEcc(csiExample), 0x3F);
    const uint8_t frameStart[3] = {0x00, 0x01, 0x00};  // virtual channel 0, frame 1
    EXPECT_EQ(simboard::mipiHeaderEcc(frameStart), 0x1A);
    const uint8_t frameEnd[3] = {0x01, 0x01, 0x00};
    EXPECT_EQ(simboard::mipiHeaderEcc(frameEnd), 0x1D);
    // The test's own encoder agrees.
    EXPECT_EQ(ecc(0x37, 0xF0, 0x01), 0x3F);
}

TEST(IspWire, ChecksumMatchesKnownPayloads)
{
    struct Case {
        const char *what;
        std::vector<uint8_t> payload;
        uint16_t crc;
    } cases[] = {
        {"nothing: the seed", {}, 0xFFFF},
        // 0xFFFF ^ 0xFF = 0xFF00: eight shifts with a low bit of 0, no polynomial.
        {"one byte 0xFF", {0xFF}, 0x00FF},
        {"check string", {'1', '2', '3', '4', '5', '6', '7', '8', '9'}, 0x6F91},
        {"CSI-2 example 1", {0xFF, 0x00, 0x00, 0x02, 0xB9, 0xDC, 0xF3, 0x72, 0xBB, 0xD4, 0xB8, 0x5A,
                             0xC8, 0x75, 0xC2, 0x7C, 0x81, 0xF8, 0x05, 0xDF, 0xFF, 0x00, 0x00, 0x01}, 0x00F0},
        {"CSI-2 example 2", {0xFF, 0x00, 0x00, 0x00, 0x1E, 0xF0, 0x1E, 0xC7, 0x4F, 0x82, 0x78, 0xC5,
                             0x82, 0xE0, 0x8C, 0x70, 0xD2, 0x3C, 0x78, 0xE9, 0xFF, 0x00, 0x00, 0x01}, 0xE569},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(simboard::mipiCrc16(c.payload.data(), c.payload.size()), c.crc) << c.what;
        EXPECT_EQ(crc16(c.payload.data(), c.payload.size()), c.crc) << c.what;  // the test's own encoder
    }
}

TEST(IspWire, ChecksumAgreesBitByBitOnAnyPayload)
{
    // Lengths around the byte-wise steps, and a full-HD RAW14 line.
    std::vector<uint8_t> payload(3360);
    uint32_t x = 12345;
    for (uint8_t &byte : payload)
        byte = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 16);
    for (size_t length : {size_t{1}, size_t{2}, size_t{3}, size_t{7}, size_t{64}, size_t{1001}, payload.size()})
        EXPECT_EQ(simboard::mipiCrc16(payload.data(), length), crc16(payload.data(), length)) << length;
}

TEST(IspWire, LineSizesFollowThePackings)
{
    // MIPI RAW10, width 8: payload 10, +6 short form, +14 with line packets.
    EXPECT_EQ(simboard::wireLineBytes(WireFormat::Mipi, 10, 8), 16u);
    EXPECT_EQ(simboard::wireLineBytes(WireFormat::MipiLineFramed, 10, 8), 24u);
    // Parallel 10, width 6: one 8-byte group; width 4 (2 pixels): 8 bytes; width 2: 4 bytes.
    EXPECT_EQ(simboard::wireLineBytes(WireFormat::Parallel, 10, 6), 8u);
    EXPECT_EQ(simboard::wireLineBytes(WireFormat::Parallel, 10, 4), 8u);
    EXPECT_EQ(simboard::wireLineBytes(WireFormat::Parallel, 10, 2), 4u);
    EXPECT_EQ(simboard::wireLineBytes(WireFormat::Parallel, 12, 6), 9u);
    EXPECT_EQ(simboard::wireLineBytes(WireFormat::Mipi, 14, 6), 14u + 6u);
    EXPECT_EQ(simboard::wireLineBytes(WireFormat::Mipi, 8, 8), 0u);
    EXPECT_EQ(simboard::wireLineBytes(WireFormat::Parallel, 14, 8), 0u);
}

struct WireCase {
    uint32_t format;
    unsigned depth;
};

class IspWireRoundTrip : public ::testing::TestWithParam<WireCase> {};

TEST_P(IspWireRoundTrip, DecodesTheSamplesBack)
{
    const WireCase c = GetParam();
    for (uint32_t width : {6u, 8u, 10u, 14u}) {
        const uint32_t height = 5;
        std::vector<uint16_t> samples = testSamples(width, height, c.depth);
        std::vector<uint8_t> frame;
        uint32_t stride = buildFrame(c.format, c.depth, width, height, samples, frame);
        std::vector<uint16_t> decoded(samples.size(), 0xFFFF);
        WireErrors errors;
        ASSERT_TRUE(simboard::decodeWireFrame(frame.data(), frame.size(), stride, width, height,
                                              static_cast<WireFormat>(c.format), c.depth, decoded.data(), errors));
        EXPECT_EQ(decoded, samples) << "width " << width;
        EXPECT_FALSE(errors.frameError());
        EXPECT_EQ(errors.eccCorrected, 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(AllFormats, IspWireRoundTrip,
                         ::testing::Values(WireCase{CI_DGFMT_PARALLEL, 10}, WireCase{CI_DGFMT_PARALLEL, 12},
                                           WireCase{CI_DGFMT_MIPI, 10}, WireCase{CI_DGFMT_MIPI, 12},
                                           WireCase{CI_DGFMT_MIPI, 14}, WireCase{CI_DGFMT_MIPI_LF, 10},
                                           WireCase{CI_DGFMT_MIPI_LF, 12}, WireCase{CI_DGFMT_MIPI_LF, 14}));

TEST(IspWire, ParallelTenBitWordsByHand)
{
    // Width 6: word 0 = s0 | s1 << 10 | s2 << 20, word 1 = s3 | s4 << 10 | s5 << 20.
    const uint32_t words[2] = {1u | (2u << 10) | (3u << 20), 1021u | (1022u << 10) | (1023u << 20)};
    std::vector<uint8_t> frame(64, 0);
    std::memcpy(frame.data(), words, sizeof(words));
    std::vector<uint16_t> decoded(6);
    WireErrors errors;
    ASSERT_TRUE(simboard::decodeWireFrame(frame.data(), frame.size(), 64, 6, 1, WireFormat::Parallel, 10,
                                          decoded.data(), errors));
    EXPECT_EQ(decoded, (std::vector<uint16_t>{1, 2, 3, 1021, 1022, 1023}));
}

TEST(IspWire, CountsPacketErrors)
{
    const uint32_t width = 8, height = 4;
    std::vector<uint16_t> samples = testSamples(width, height, 10);
    std::vector<uint8_t> good;
    const uint32_t stride = buildFrame(CI_DGFMT_MIPI, 10, width, height, samples, good);
    std::vector<uint16_t> decoded(samples.size());

    struct Case {
        const char *what;
        size_t offset;
        uint8_t flip;
        unsigned crc, ecc, corrected, header;
    } cases[] = {
        // Line 1's packet header is at stride; its payload starts 4 bytes later.
        {"payload byte", stride + 5, 0x01, 1, 0, 0, 0},
        {"one header bit", stride + 1, 0x04, 0, 0, 1, 0},
        {"two header bits", stride + 1, 0x05, 0, 1, 0, 0},
        {"one ECC bit", stride + 3, 0x08, 0, 0, 1, 0},
        {"one bit of the frame start", 2, 0x80, 0, 0, 1, 0},
        {"one bit of the frame end", (height - 1) * stride + simboard::wireLineBytes(WireFormat::Mipi, 10, width), 0x01,
         0, 0, 1, 0},
    };
    for (const Case &c : cases) {
        std::vector<uint8_t> frame = good;
        frame[c.offset] ^= c.flip;
        WireErrors errors;
        ASSERT_TRUE(simboard::decodeWireFrame(frame.data(), frame.size(), stride, width, height, WireFormat::Mipi,
                                              10, decoded.data(), errors));
        EXPECT_EQ(errors.crc, c.crc) << c.what;
        EXPECT_EQ(errors.ecc, c.ecc) << c.what;
        EXPECT_EQ(errors.eccCorrected, c.corrected) << c.what;
        EXPECT_EQ(errors.header, c.header) << c.what;
        if (c.corrected == 1) {  // a corrected header still delivers the line
            EXPECT_EQ(decoded, samples);
        }
    }

    // A well-formed header of the wrong data type (RAW12 in a RAW10 frame).
    std::vector<uint8_t> frame = good;
    frame[stride] = 0x2C;
    frame[stride + 3] = ecc(frame[stride], frame[stride + 1], frame[stride + 2]);
    WireErrors errors;
    ASSERT_TRUE(simboard::decodeWireFrame(frame.data(), frame.size(), stride, width, height, WireFormat::Mipi, 10,
                                          decoded.data(), errors));
    EXPECT_EQ(errors.header, 1u);
    EXPECT_TRUE(errors.frameError());
    for (uint32_t x = 0; x < width; ++x)  // the line is lost
        EXPECT_EQ(decoded[width + x], 0);
}

TEST(IspWire, RefusesAGeometryThatDoesNotFit)
{
    std::vector<uint8_t> frame(128, 0);
    std::vector<uint16_t> decoded(64 * 2);
    WireErrors errors;
    // Stride below one line, and stride x height beyond the buffer.
    EXPECT_FALSE(simboard::decodeWireFrame(frame.data(), frame.size(), 8, 64, 2, WireFormat::Parallel, 12,
                                           decoded.data(), errors));
    EXPECT_FALSE(simboard::decodeWireFrame(frame.data(), frame.size(), 128, 64, 2, WireFormat::Parallel, 12,
                                           decoded.data(), errors));

    // A one-line MIPI frame whose buffer holds the line but not the frame end.
    uint32_t width = 8;
    uint32_t stride = simboard::wireMinStride(WireFormat::Mipi, 10, width);
    std::vector<uint8_t> tight(stride, 0);
    EXPECT_FALSE(simboard::decodeWireFrame(tight.data(), tight.size(), stride, width, 1, WireFormat::Mipi, 10,
                                           decoded.data(), errors));

    // Odd widths (a line is pairs of samples), no width, and lines longer than a packet or a generator sends.
    EXPECT_FALSE(simboard::decodeWireFrame(frame.data(), frame.size(), 64, 7, 2, WireFormat::Parallel, 12,
                                           decoded.data(), errors));
    EXPECT_FALSE(simboard::decodeWireFrame(frame.data(), frame.size(), 64, 7, 1, WireFormat::Mipi, 12,
                                           decoded.data(), errors));
    EXPECT_FALSE(simboard::decodeWireFrame(frame.data(), frame.size(), 64, 0, 1, WireFormat::Mipi, 10,
                                           decoded.data(), errors));
    EXPECT_EQ(simboard::wireLineBytes(WireFormat::Parallel, 12, 65536), 0u);
    EXPECT_EQ(simboard::wireLineBytes(WireFormat::Mipi, 12, 43692), 0u);  // 65538 payload bytes
    EXPECT_EQ(simboard::wireLineBytes(WireFormat::Mipi, 12, 43690), 65535u + 6u);
}

TEST(IspWire, FrameBytesCountEveryLineAndTheFrameEnd)
{
    struct Case {
        WireFormat format;
        unsigned depth;
        uint32_t width, height, stride;
        uint64_t bytes;
    } cases[] = {
        {WireFormat::Parallel, 12, 8, 4, 64, 256},  // lines only
        {WireFormat::Mipi, 10, 8, 4, 64, 256},      // frame end at 3 x 64 + 16, inside the last stride
        {WireFormat::Mipi, 10, 8, 1, 64, 64},       // frame start, line, frame end: 4 + 16 + 4
        {WireFormat::Mipi, 12, 36, 1, 64, 68},      // 4 + 60 + 4: the frame end passes the stride
        {WireFormat::MipiLineFramed, 12, 36, 2, 128, 256},
        {WireFormat::Mipi, 12, 36, 2, 63, 0},       // the stride cannot hold the frame start and line 0
        {WireFormat::Parallel, 12, 7, 2, 64, 0},    // odd width
        {WireFormat::Parallel, 12, 8, 0, 64, 0},    // no line
        {WireFormat::Parallel, 14, 8, 2, 64, 0},    // no such format
    };
    for (const Case &c : cases)
        EXPECT_EQ(simboard::wireFrameBytes(c.format, c.depth, c.width, c.height, c.stride), c.bytes)
            << c.width << "x" << c.height << " stride " << c.stride;
}

TEST(IspWire, DecodingNoiseStaysInsideTheFrame)
{
    // Frames of random bytes in every format, in buffers exactly as large as
    // the frame: ASan sees any read past them.
    uint32_t x = 99;
    auto next = [&x]() { return (x = x * 1103515245u + 12345u) >> 16; };
    const WireFormat formats[] = {WireFormat::Parallel, WireFormat::Mipi, WireFormat::MipiLineFramed};
    for (int round = 0; round < 300; ++round) {
        const WireFormat format = formats[next() % 3];
        const unsigned depth = 10 + 2 * (next() % 3);
        const uint32_t width = 2 + 2 * (next() % 40), height = 1 + next() % 6;
        const uint32_t stride = simboard::wireMinStride(format, depth, width) + next() % 3;
        const uint64_t size = simboard::wireFrameBytes(format, depth, width, height, stride);
        if (size == 0)
            continue;
        std::vector<uint8_t> frame(size);
        for (uint8_t &byte : frame)
            byte = static_cast<uint8_t>(next());
        std::vector<uint16_t> decoded(static_cast<size_t>(width) * height);
        WireErrors errors;
        ASSERT_TRUE(simboard::decodeWireFrame(frame.data(), frame.size(), stride, width, height, format, depth,
                                              decoded.data(), errors));
        for (uint16_t sample : decoded)
            ASSERT_LT(sample, 1u << depth);
        if (format != WireFormat::Parallel) {
            EXPECT_TRUE(errors.frameError());  // noise is no packet
        }
    }
}

}  // namespace
}  // namespace isp_wire_test
