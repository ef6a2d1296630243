// Wire formats of the data generator: packet checks against known values and
// frames decoded back to the samples they were built from.
#include "isp_test_support.h"
#include "simboard/isp_wire.h"

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
    const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(simboard::mipiCrc16(digits, sizeof(digits)), 0x6F91);
    const uint8_t csiExample[] = {0xFF, 0x00, 0x00, 0x02, 0xB9, 0xDC, 0xF3, 0x72, 0xBB, 0xD4, 0xB8, 0x5A,
                                  0xC8, 0x75, 0xC2, 0x7C, 0x81, 0xF8, 0x05, 0xDF, 0xFF, 0x00, 0x00, 0x01};
    EXPECT_EQ(simboard::mipiCrc16(csiExample, sizeof(csiExample)), 0x00F0);
    EXPECT_EQ(crc16(digits, sizeof(digits)), 0x6F91);
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
}

}  // namespace
