#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ci/ci_converter.h"
#include "sim_image/sim_image.h"
#include "simboard/isp_wire.h"
#include "test_ci_support.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;
using Bytes = std::vector<uint8_t>;

Bytes pack(QOV_SIZE (*fn)(const QOV_UINT16 *, QOV_UINT32, QOV_UINT32, QOV_UINT8 *), const std::vector<QOV_UINT16> &in,
           QOV_UINT32 pixels, QOV_UINT32 inStride = 2)
{
    Bytes out(fn(in.data(), inStride, pixels, nullptr), 0xEE);
    EXPECT_EQ(fn(in.data(), inStride, pixels, out.data()), out.size());
    return out;
}

QOV_SIZE parallel10(const QOV_UINT16 *in, QOV_UINT32 s, QOV_UINT32 n, QOV_UINT8 *out)
{
    return CI_Convert_Parallel10(nullptr, in, s, n, out);
}
QOV_SIZE parallel12(const QOV_UINT16 *in, QOV_UINT32 s, QOV_UINT32 n, QOV_UINT8 *out)
{
    return CI_Convert_Parallel12(nullptr, in, s, n, out);
}

TEST(ConverterPackers, GoldenGroups)
{
    struct {
        const char *name;
        QOV_SIZE (*fn)(const QOV_UINT16 *, QOV_UINT32, QOV_UINT32, QOV_UINT8 *);
        std::vector<QOV_UINT16> samples;
        QOV_UINT32 pixels;
        Bytes expected;
    } cases[] = {
        // word 0 = 1 | 2 << 10 | 3 << 20, word 1 = 4 | 5 << 10 | 6 << 20
        {"parallel 10, full group", parallel10, {1, 2, 3, 4, 5, 6}, 3, {0x01, 0x08, 0x30, 0x00, 0x04, 0x14, 0x60, 0x00}},
        {"parallel 10, two pixels", parallel10, {0x3FF, 0x001, 0x200, 0x155}, 2,
         {0xFF, 0x07, 0x00, 0x20, 0x55, 0x01, 0x00, 0x00}},
        {"parallel 10, one pixel", parallel10, {5, 7}, 1, {0x05, 0x1C, 0x00, 0x00}},
        {"parallel 10 keeps 10 bits", parallel10, {0xFC01, 0xFFFF}, 1, {0x01, 0xFC, 0x0F, 0x00}},
        {"parallel 12", parallel12, {0xABC, 0x123}, 1, {0xBC, 0x3A, 0x12}},
        {"RAW10", MIPI_Write_10, {0x3FF, 0x000, 0x2AA, 0x155}, 2, {0xFF, 0x00, 0xAA, 0x55, 0x63}},
        {"RAW10, one pixel", MIPI_Write_10, {0x3FF, 0x001}, 1, {0xFF, 0x00, 0x00, 0x00, 0x07}},
        {"RAW12", MIPI_Write_12, {0xABC, 0x123}, 1, {0xAB, 0x12, 0x3C}},
        {"RAW14", MIPI_Write_14, {0x3FFF, 0x0001, 0x2041, 0x1FC3}, 2, {0xFF, 0x00, 0x81, 0x7F, 0x7F, 0x10, 0x0C}},
        {"RAW14, one pixel", MIPI_Write_14, {0x3FFF, 0x0001}, 1, {0xFF, 0x00, 0x00, 0x00, 0x7F, 0x00, 0x00}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(pack(c.fn, c.samples, c.pixels), c.expected) << c.name;
}

TEST(ConverterPackers, SizesWithoutOutput)
{
    const QOV_SIZE parallel10Sizes[] = {0, 4, 8, 8, 12, 16, 16, 20};
    for (QOV_UINT32 n = 0; n < 8; ++n)
        EXPECT_EQ(CI_Convert_Parallel10(nullptr, nullptr, 2, n, nullptr), parallel10Sizes[n]) << n;
    EXPECT_EQ(CI_Convert_Parallel12(nullptr, nullptr, 2, 5, nullptr), 15u);
    EXPECT_EQ(MIPI_Write_10(nullptr, 2, 4, nullptr), 10u);
    EXPECT_EQ(MIPI_Write_10(nullptr, 2, 5, nullptr), 15u);
    EXPECT_EQ(MIPI_Write_12(nullptr, 2, 5, nullptr), 15u);
    EXPECT_EQ(MIPI_Write_14(nullptr, 2, 3, nullptr), 14u);
}

TEST(ConverterPackers, PixelsAreInStrideApart)
{
    // pixel k is samples k * 4 and k * 4 + 1; the others are skipped
    std::vector<QOV_UINT16> in = {0xABC, 0x123, 0xFFF, 0xFFF, 0x456, 0x789, 0xFFF, 0xFFF};
    EXPECT_EQ(pack(MIPI_Write_12, in, 2, 4), (Bytes{0xAB, 0x12, 0x3C, 0x45, 0x78, 0x96}));
}

// A MIPI converter's private data for direct packet tests.
CI_CONV_MIPI_PRIV mipiPriv(bool longFormat, QOV_UINT8 dataId, CI_CONV_MIPI_WRITE_FN writer)
{
    CI_CONV_MIPI_PRIV p{};
    p.bLongFormat = longFormat;
    p.ui8DataId = dataId;
    p.pfnMipiWrite = writer;
    p.ui16FrameNumber = 1;
    p.i32LineNumber = 1;
    return p;
}

TEST(ConverterPackets, FrameStartAndEnd)
{
    CI_CONV_MIPI_PRIV p = mipiPriv(false, DG_MIPI_ID_RAW10, MIPI_Write_10);
    Bytes out(4);
    EXPECT_EQ(CI_Convert_MIPI_Header(&p, nullptr), 4u);
    EXPECT_EQ(CI_Convert_MIPI_Header(&p, out.data()), 4u);
    EXPECT_EQ(out, (Bytes{0x00, 0x01, 0x00, 0x1A}));  // ECC of data bit 8
    EXPECT_EQ(CI_Convert_MIPI_Footer(&p, out.data()), 4u);
    EXPECT_EQ(out, (Bytes{0x01, 0x01, 0x00, 0x1D}));  // data bits 0 and 8
}

TEST(ConverterPackets, HeaderEccAgreesWithTheReceiver)
{
    // every single data bit, and a few mixed headers, through the line-start packet
    for (int bit = 0; bit < 16; ++bit) {
        CI_CONV_MIPI_PRIV p = mipiPriv(true, DG_MIPI_ID_RAW12, MIPI_Write_12);
        p.i32LineNumber = 1 << bit;
        Bytes out(CI_Convert_MIPI_Line(&p, nullptr, 2, 0, nullptr));
        std::vector<QOV_UINT16> none(2);
        CI_Convert_MIPI_Line(&p, none.data(), 2, 0, out.data());
        EXPECT_EQ(out[3], simboard::mipiHeaderEcc(out.data())) << bit;
    }
}

TEST(ConverterPackets, LineWithAndWithoutLinePackets)
{
    // 4 pixels per channel of RAW10: payload 10
    std::vector<QOV_UINT16> line = {0x3FF, 0x000, 0x2AA, 0x155, 4, 8, 12, 16};
    CI_CONV_MIPI_PRIV shortForm = mipiPriv(false, DG_MIPI_ID_RAW10, MIPI_Write_10);
    ASSERT_EQ(CI_Convert_MIPI_Line(&shortForm, nullptr, 2, 4, nullptr), 16u);
    Bytes out(16);
    ASSERT_EQ(CI_Convert_MIPI_Line(&shortForm, line.data(), 2, 4, out.data()), 16u);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 4), (Bytes{0x2B, 0x0A, 0x00, 0x2E}));
    EXPECT_EQ(Bytes(out.begin() + 4, out.begin() + 14),
              (Bytes{0xFF, 0x00, 0xAA, 0x55, 0x63, 0x01, 0x02, 0x03, 0x04, 0x00}));
    uint16_t crc = simboard::mipiCrc16(out.data() + 4, 10);
    EXPECT_EQ(out[14], crc & 0xFF);
    EXPECT_EQ(out[15], crc >> 8);

    CI_CONV_MIPI_PRIV longForm = mipiPriv(true, DG_MIPI_ID_RAW10, MIPI_Write_10);
    ASSERT_EQ(CI_Convert_MIPI_Line(&longForm, nullptr, 2, 4, nullptr), 24u);
    Bytes framed(24);
    ASSERT_EQ(CI_Convert_MIPI_Line(&longForm, line.data(), 2, 4, framed.data()), 24u);
    EXPECT_EQ(Bytes(framed.begin(), framed.begin() + 4), (Bytes{0x02, 0x01, 0x00, 0x11}));
    EXPECT_EQ(Bytes(framed.begin() + 4, framed.begin() + 20), out);
    EXPECT_EQ(Bytes(framed.begin() + 20, framed.end()), (Bytes{0x03, 0x01, 0x00, 0x16}));

    EXPECT_EQ(CI_Convert_MIPI_Line(nullptr, line.data(), 2, 4, nullptr), 0u);
}

TEST(ConverterPackets, PayloadChecksumKnownVectors)
{
    // 24-byte payloads with their published checksums, built through RAW12:
    // bytes x, y, z come from samples x << 4 | (z & 15) and y << 4 | z >> 4.
    const struct {
        Bytes payload;
        uint16_t crc;
    } vectors[] = {
        {{0xFF, 0x00, 0x00, 0x02, 0xB9, 0xDC, 0xF3, 0x72, 0xBB, 0xD4, 0xB8, 0x5A,
          0xC8, 0x75, 0xC2, 0x7C, 0x81, 0xF8, 0x05, 0xDF, 0xFF, 0x00, 0x00, 0x01},
         0x00F0},
        {{0xFF, 0x00, 0x00, 0x00, 0x1E, 0xF0, 0x1E, 0xC7, 0x4F, 0x82, 0x78, 0xC5,
          0x82, 0xE0, 0x8C, 0x70, 0xD2, 0x3C, 0x78, 0xE9, 0xFF, 0x00, 0x00, 0x01},
         0xE569},
    };
    for (const auto &v : vectors) {
        std::vector<QOV_UINT16> samples;
        for (size_t i = 0; i < v.payload.size(); i += 3) {
            samples.push_back((QOV_UINT16)(v.payload[i] << 4 | (v.payload[i + 2] & 15)));
            samples.push_back((QOV_UINT16)(v.payload[i + 1] << 4 | v.payload[i + 2] >> 4));
        }
        CI_CONV_MIPI_PRIV p = mipiPriv(false, DG_MIPI_ID_RAW12, MIPI_Write_12);
        Bytes out(4 + 24 + 2);
        ASSERT_EQ(CI_Convert_MIPI_Line(&p, samples.data(), 2, 8, out.data()), out.size());
        EXPECT_EQ(Bytes(out.begin() + 4, out.begin() + 28), v.payload);
        EXPECT_EQ(out[28] | out[29] << 8, v.crc);
    }
}

// Limits the converter to one kind of code for a test's duration.
struct CodeLimit {
    explicit CodeLimit(CI_CONV_CODE code) { CI_ConverterLimitCode(code); }
    ~CodeLimit() { CI_ConverterLimitCode(CI_CONV_CODE_ALL); }
};

constexpr CI_CONV_CODE kCodes[] = {CI_CONV_CODE_PORTABLE, CI_CONV_CODE_128, CI_CONV_CODE_256, CI_CONV_CODE_ALL};

TEST(ConverterPackets, LongPayloadsKeepTheirChecksums)
{
    // Payloads of every depth from a few bytes to several 256-byte steps,
    // with every remainder of 16 bytes and remainders of 0, 1 and 2 bytes
    // of a step (RAW12: 86, 171 and 256 pairs; RAW10: 308, 410 and 512),
    // against the receiver's bit-by-bit checksum. RAW10 payloads of 128
    // bytes or more are packed and checksummed in one pass where the
    // processor allows.
    const struct {
        const char *name;
        QOV_UINT8 dataId;
        CI_CONV_MIPI_WRITE_FN writer;
    } depths[] = {{"RAW10", DG_MIPI_ID_RAW10, MIPI_Write_10},
                  {"RAW12", DG_MIPI_ID_RAW12, MIPI_Write_12},
                  {"RAW14", DG_MIPI_ID_RAW14, MIPI_Write_14}};
    std::vector<QOV_UINT32> pairCounts = {85, 86, 171, 256, 308, 341, 410, 512, 960, 961, 1000};
    for (QOV_UINT32 pairs = 1; pairs <= 300; pairs += pairs < 40 ? 1 : 7)
        pairCounts.push_back(pairs);
    for (CI_CONV_CODE code : kCodes) {
        CodeLimit limit(code);
        for (const auto &depth : depths) {
            for (QOV_UINT32 pairs : pairCounts) {
                std::vector<QOV_UINT16> samples(2 * pairs);
                for (size_t i = 0; i < samples.size(); ++i)
                    samples[i] = (QOV_UINT16)(i * 2654435761u >> 9);
                CI_CONV_MIPI_PRIV p = mipiPriv(false, depth.dataId, depth.writer);
                Bytes out(CI_Convert_MIPI_Line(&p, nullptr, 2, pairs, nullptr));
                ASSERT_EQ(CI_Convert_MIPI_Line(&p, samples.data(), 2, pairs, out.data()), out.size());
                const size_t payload = out.size() - 6;
                const uint16_t crc = simboard::mipiCrc16(out.data() + 4, payload);
                EXPECT_EQ(out[4 + payload] | out[5 + payload] << 8, crc)
                    << depth.name << ", code " << code << ", " << payload << " bytes";
            }
        }
    }
}

TEST(ConverterPackets, LinesAtEveryStrideWriteThePortableBytes)
{
    // whole packets, long enough for every packing path, read at both strides
    std::vector<QOV_UINT16> samples(2 * 1000);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = (QOV_UINT16)(i * 2654435761u >> 9);
    const struct {
        const char *name;
        QOV_UINT8 dataId;
        CI_CONV_MIPI_WRITE_FN writer;
    } depths[] = {{"RAW10", DG_MIPI_ID_RAW10, MIPI_Write_10},
                  {"RAW12", DG_MIPI_ID_RAW12, MIPI_Write_12},
                  {"RAW14", DG_MIPI_ID_RAW14, MIPI_Write_14}};
    for (const auto &depth : depths) {
        for (QOV_UINT32 stride : {1u, 2u}) {
            for (QOV_UINT32 pairs : {308u, 512u, 961u}) {
                CI_CONV_MIPI_PRIV p = mipiPriv(false, depth.dataId, depth.writer);
                Bytes portable(CI_Convert_MIPI_Line(&p, nullptr, stride, pairs, nullptr));
                {
                    CodeLimit limit(CI_CONV_CODE_PORTABLE);
                    ASSERT_EQ(CI_Convert_MIPI_Line(&p, samples.data(), stride, pairs, portable.data()),
                              portable.size());
                }
                for (CI_CONV_CODE code : kCodes) {
                    CodeLimit limit(code);
                    Bytes out(portable.size());
                    ASSERT_EQ(CI_Convert_MIPI_Line(&p, samples.data(), stride, pairs, out.data()), out.size());
                    EXPECT_EQ(out, portable) << depth.name << ", stride " << stride << ", " << pairs
                                             << " pairs, code " << code;
                }
            }
        }
    }
}

TEST(ConverterPackers, VectorCodeWritesThePortableBytes)
{
    // samples with bits above the depth, which every packer drops alike
    std::vector<QOV_UINT16> samples(2 * 700);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = (QOV_UINT16)(i * 2654435761u >> 7);
    const struct {
        const char *name;
        QOV_SIZE (*fn)(const QOV_UINT16 *, QOV_UINT32, QOV_UINT32, QOV_UINT8 *);
    } packers[] = {{"parallel 10", parallel10},  {"parallel 12", parallel12}, {"RAW10", MIPI_Write_10},
                   {"RAW12", MIPI_Write_12},     {"RAW14", MIPI_Write_14}};
    std::vector<QOV_UINT32> pixelCounts = {660, 699, 700};
    for (QOV_UINT32 n = 0; n <= 70; ++n)
        pixelCounts.push_back(n);
    for (const auto &packer : packers) {
        for (QOV_UINT32 pixels : pixelCounts) {
            Bytes portable;
            {
                CodeLimit limit(CI_CONV_CODE_PORTABLE);
                portable = pack(packer.fn, samples, pixels);
            }
            for (CI_CONV_CODE code : kCodes) {
                CodeLimit limit(code);
                EXPECT_EQ(pack(packer.fn, samples, pixels), portable) << packer.name << ", " << pixels
                                                                      << " pixels, code " << code;
            }
        }
    }
}

/*-------------------------------------------------------------------------
 * Converter and frames
 *-------------------------------------------------------------------------*/

using citest::Image;

struct Converter {
    CI_CONVERTER conv{};
    ~Converter() { CI_ConverterClear(&conv); }
};

// A frame record over a buffer of the test's own.
struct Frame {
    Bytes buffer;
    CI_DG_FRAME frame{};
    explicit Frame(size_t size) : buffer(size, 0xEE)
    {
        frame.data = buffer.data();
        frame.ui32AllocSize = (QOV_UINT32)size;
    }
};

TEST(Converter, ConfigurationTable)
{
    const struct {
        CI_CONV_FMT format;
        QOV_UINT8 depth;
        QOV_RESULT result;
        const char *message;
    } cases[] = {
        {CI_DGFMT_PARALLEL, 10, QOV_SUCCESS, ""},
        {CI_DGFMT_PARALLEL, 12, QOV_SUCCESS, ""},
        {CI_DGFMT_PARALLEL, 14, QOV_ERROR_NOT_SUPPORTED, "Unsupported bitpdeth 14 for parallel format\n"},
        {CI_DGFMT_MIPI, 10, QOV_SUCCESS, ""},
        {CI_DGFMT_MIPI, 12, QOV_SUCCESS, ""},
        {CI_DGFMT_MIPI_LF, 14, QOV_SUCCESS, ""},
        {CI_DGFMT_MIPI, 8, QOV_ERROR_NOT_SUPPORTED, "Unsupported bitpdeth 8 for MIPI format\n"},
        {CI_DGFMT_N, 10, QOV_ERROR_NOT_SUPPORTED, "Unsupported format 3\n"},
    };
    Converter c;  // reconfigured again and again: nothing may leak
    for (const auto &k : cases) {
        CaptureStderr();
        EXPECT_EQ(CI_ConverterConfigure(&c.conv, k.format, k.depth), k.result);
        std::string err = GetCapturedStderr();
        EXPECT_NE(err.find(k.message), std::string::npos) << err;
        EXPECT_EQ(c.conv.eFormat, k.format);
        EXPECT_EQ(c.conv.ui8FormatBitdepth, k.depth);
        EXPECT_EQ(c.conv.pfnLineConverter != nullptr, k.result == QOV_SUCCESS);
        const bool mipi = k.result == QOV_SUCCESS && k.format != CI_DGFMT_PARALLEL;
        EXPECT_EQ(c.conv.privateData != nullptr, mipi);
        EXPECT_EQ(c.conv.pfnHeaderWriter != nullptr, mipi);
        if (mipi) {
            auto *p = static_cast<CI_CONV_MIPI_PRIV *>(c.conv.privateData);
            EXPECT_EQ(p->bLongFormat, k.format == CI_DGFMT_MIPI_LF);
            EXPECT_EQ(p->ui8DataId, k.depth == 10 ? 0x2B : k.depth == 12 ? 0x2C : 0x2D);
            EXPECT_EQ(p->ui16FrameNumber, 1);
        }
    }
    CaptureStderr();
    EXPECT_EQ(CI_ConverterConfigure(nullptr, CI_DGFMT_MIPI, 10), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(CI_ConverterClear(nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_NE(GetCapturedStderr().find("pConverter is NULL\n"), std::string::npos);
}

TEST(Converter, FrameSizes)
{
    const struct {
        CI_CONV_FMT format;
        QOV_UINT8 depth;
        QOV_UINT32 width, height, size;
    } cases[] = {
        {CI_DGFMT_PARALLEL, 10, 6, 1, 64},       // one group of 8 bytes
        {CI_DGFMT_PARALLEL, 10, 6, 10, 640},
        {CI_DGFMT_MIPI, 10, 8, 1, 64},           // 16 + 4 + 4
        {CI_DGFMT_MIPI_LF, 10, 8, 3, 192},       // 24 + 4
        {CI_DGFMT_PARALLEL, 12, 1920, 1080, 2880 * 1080},
        {CI_DGFMT_MIPI, 10, 1920, 1080, 2432 * 1080},  // 2400 + 6 + 4 -> 2432
        // RAW12, 36 wide: line 60; with a frame start it fills 64 bytes, and a
        // lone line also needs room for the frame end
        {CI_DGFMT_MIPI, 12, 36, 2, 128},
        {CI_DGFMT_MIPI, 12, 36, 1, 128},
        {CI_DGFMT_MIPI, 10, 8, 0, 0},
    };
    for (const auto &k : cases) {
        Converter c;
        ASSERT_EQ(CI_ConverterConfigure(&c.conv, k.format, k.depth), QOV_SUCCESS);
        EXPECT_EQ(CI_ConverterFrameSize(&c.conv, k.width, k.height), k.size)
            << k.format << " " << (int)k.depth << " " << k.width << "x" << k.height;
    }

    CI_CONVERTER unconfigured{};
    CaptureStderr();
    EXPECT_EQ(CI_ConverterFrameSize(nullptr, 8, 8), 0u);
    EXPECT_EQ(CI_ConverterFrameSize(&unconfigured, 8, 8), 0u);
    std::string err = GetCapturedStderr();
    EXPECT_NE(err.find("pConverter is NULL\n"), std::string::npos);
    EXPECT_NE(err.find("pConverted was not configured properly or pFrame has no attached data\n"), std::string::npos);
}

TEST(Converter, ParallelFrameLayout)
{
    Converter c;
    ASSERT_EQ(CI_ConverterConfigure(&c.conv, CI_DGFMT_PARALLEL, 10), QOV_SUCCESS);
    Image img(6, 2, 10, SimImage_GBRG);
    img.samples = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    Frame f(200);
    ASSERT_EQ(CI_ConverterConvertFrame(&c.conv, &img.in, &f.frame), QOV_SUCCESS);
    EXPECT_EQ(f.frame.eFormat, CI_DGFMT_PARALLEL);
    EXPECT_EQ(f.frame.ui8FormatBitdepth, 10);
    EXPECT_EQ(f.frame.eBayerMosaic, MOSAIC_GBRG);
    EXPECT_EQ(f.frame.ui32Stride, 64u);
    EXPECT_EQ(f.frame.ui32Width, 6u);
    EXPECT_EQ(f.frame.ui32Height, 2u);
    EXPECT_EQ(f.frame.ui32PacketWidth, 8u);

    Bytes expected(200, 0);  // the whole buffer is cleared first
    const Bytes line0 = {0x01, 0x08, 0x30, 0x00, 0x04, 0x14, 0x60, 0x00};
    // 7 | 8 << 10 | 9 << 20 and 10 | 11 << 10 | 12 << 20
    const Bytes line1 = {0x07, 0x20, 0x90, 0x00, 0x0A, 0x2C, 0xC0, 0x00};
    std::copy(line0.begin(), line0.end(), expected.begin());
    std::copy(line1.begin(), line1.end(), expected.begin() + 64);
    EXPECT_EQ(f.buffer, expected);
}

TEST(Converter, MipiFrameLayout)
{
    Converter c;
    ASSERT_EQ(CI_ConverterConfigure(&c.conv, CI_DGFMT_MIPI, 10), QOV_SUCCESS);
    Image img(8, 3, 10, SimImage_BGGR);
    Frame f(192);
    ASSERT_EQ(CI_ConverterConvertFrame(&c.conv, &img.in, &f.frame), QOV_SUCCESS);
    EXPECT_EQ(f.frame.ui32Stride, 64u);
    EXPECT_EQ(f.frame.ui32PacketWidth, 16u);
    EXPECT_EQ(f.frame.eBayerMosaic, MOSAIC_BGGR);

    const uint8_t *b = f.buffer.data();
    EXPECT_EQ(Bytes(b, b + 4), (Bytes{0x00, 0x01, 0x00, 0x1A}));         // frame start
    EXPECT_EQ(Bytes(b + 4, b + 8), (Bytes{0x2B, 0x0A, 0x00, 0x2E}));     // line 0
    EXPECT_EQ(Bytes(b + 64, b + 68), (Bytes{0x2B, 0x0A, 0x00, 0x2E}));   // line 1
    EXPECT_EQ(Bytes(b + 128, b + 132), (Bytes{0x2B, 0x0A, 0x00, 0x2E})); // line 2
    EXPECT_EQ(Bytes(b + 144, b + 148), (Bytes{0x01, 0x01, 0x00, 0x1D})); // frame end after line 2
    for (size_t i : {20u, 63u, 80u, 127u, 148u, 191u})
        EXPECT_EQ(b[i], 0) << i;
}

TEST(Converter, OneLineMipiFrameKeepsItsLine)
{
    for (QOV_UINT32 width : {8u, 36u}) {
        Converter c;
        ASSERT_EQ(CI_ConverterConfigure(&c.conv, CI_DGFMT_MIPI, 12), QOV_SUCCESS);
        Image img(width, 1, 12);
        const QOV_UINT32 size = CI_ConverterFrameSize(&c.conv, width, 1);
        Frame f(size);
        ASSERT_EQ(CI_ConverterConvertFrame(&c.conv, &img.in, &f.frame), QOV_SUCCESS) << width;
        EXPECT_EQ(f.frame.ui32Stride, size);
        const size_t line = 4 + 3 * width / 2 + 2;
        const uint8_t *b = f.buffer.data();
        EXPECT_EQ(Bytes(b + 4 + line, b + 8 + line), (Bytes{0x01, 0x01, 0x00, 0x1D})) << width;
        // the checksum before it is intact
        uint16_t crc = simboard::mipiCrc16(b + 8, 3 * width / 2);
        EXPECT_EQ(b[2 + line] | b[3 + line] << 8, crc) << width;
    }
}

// Every wire format and depth, through the simulated receiver: the samples
// come back unchanged and without receiver errors.
// Every wire format with every bit depth it takes.
const struct {
    CI_CONV_FMT format;
    QOV_UINT8 depth;
} kWireFormats[] = {
    {CI_DGFMT_PARALLEL, 10}, {CI_DGFMT_PARALLEL, 12}, {CI_DGFMT_MIPI, 10}, {CI_DGFMT_MIPI, 12},
    {CI_DGFMT_MIPI, 14},     {CI_DGFMT_MIPI_LF, 10},  {CI_DGFMT_MIPI_LF, 12}, {CI_DGFMT_MIPI_LF, 14},
};

TEST(Converter, FramesDecodeBackToTheImage)
{
    const struct {
        QOV_UINT32 width, height;
    } sizes[] = {{2, 1}, {10, 3}, {14, 2}, {102, 76}, {36, 1}, {1922, 5}};
    for (const auto &fmt : kWireFormats) {
        for (const auto &sz : sizes) {
            Converter c;
            ASSERT_EQ(CI_ConverterConfigure(&c.conv, fmt.format, fmt.depth), QOV_SUCCESS);
            Image img(sz.width, sz.height, fmt.depth);
            Frame f(CI_ConverterFrameSize(&c.conv, sz.width, sz.height));
            ASSERT_EQ(CI_ConverterConvertFrame(&c.conv, &img.in, &f.frame), QOV_SUCCESS);
            std::vector<uint16_t> decoded(img.samples.size());
            simboard::WireErrors errors;
            ASSERT_TRUE(simboard::decodeWireFrame(f.buffer.data(), f.buffer.size(), f.frame.ui32Stride, sz.width,
                                                  sz.height, static_cast<simboard::WireFormat>(fmt.format), fmt.depth,
                                                  decoded.data(), errors));
            const std::string what = std::to_string(fmt.format) + "/" + std::to_string(fmt.depth) + " " +
                                     std::to_string(sz.width) + "x" + std::to_string(sz.height);
            EXPECT_FALSE(errors.frameError()) << what;
            EXPECT_EQ(errors.eccCorrected, 0u) << what;
            EXPECT_EQ(std::vector<uint16_t>(img.samples.begin(), img.samples.end()), decoded) << what;
        }
    }
}

TEST(Converter, VectorCodeWritesThePortableFrames)
{
    // Widths of one pixel pair, odd widths (the last sample is dropped),
    // widths that end part-way into a packing group or a vector unit, and
    // lines whose MIPI payloads end 0, 1 or 2 bytes into a 256-byte
    // checksum step (RAW10: 1024, 821, 617; RAW12: 512, 343, 173); frames
    // of one line and of several.
    const QOV_UINT32 widths[] = {2, 3, 5, 30, 33, 173, 206, 343, 344, 512, 617, 821, 1024, 1922, 1923, 4097};
    for (const auto &fmt : kWireFormats) {
        for (QOV_UINT32 width : widths) {
            for (QOV_UINT32 height : {1u, 3u}) {
                Converter c;
                ASSERT_EQ(CI_ConverterConfigure(&c.conv, fmt.format, fmt.depth), QOV_SUCCESS);
                Image img(width, height, fmt.depth);
                for (size_t i = 0; i < img.samples.size(); ++i)  // with bits above the depth too
                    img.samples[i] = (QOV_UINT16)(i * 2654435761u >> 7);
                Bytes frames[3];
                for (int k = 0; k < 3; ++k) {
                    CodeLimit limit(kCodes[k]);
                    Frame f(CI_ConverterFrameSize(&c.conv, width, height));
                    ASSERT_EQ(CI_ConverterConvertFrame(&c.conv, &img.in, &f.frame), QOV_SUCCESS);
                    frames[k] = f.buffer;
                }
                const std::string what = std::to_string(fmt.format) + "/" + std::to_string(fmt.depth) + " " +
                                         std::to_string(width) + "x" + std::to_string(height);
                EXPECT_EQ(frames[1], frames[0]) << what;
                EXPECT_EQ(frames[2], frames[0]) << what;
            }
        }
    }
}

TEST(Converter, ConversionRefusals)
{
    Converter mipi;
    ASSERT_EQ(CI_ConverterConfigure(&mipi.conv, CI_DGFMT_MIPI, 10), QOV_SUCCESS);
    Image img(8, 3, 10);
    Frame f(192);

    CaptureStderr();
    EXPECT_EQ(CI_ConverterConvertFrame(nullptr, &img.in, &f.frame), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(CI_ConverterConvertFrame(&mipi.conv, nullptr, &f.frame), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(CI_ConverterConvertFrame(&mipi.conv, &img.in, nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_NE(GetCapturedStderr().find("pConverter or pImage or pFrame is NULL\n"), std::string::npos);

    // a failed configuration leaves nothing to convert with
    Converter bad;
    CaptureStderr();
    EXPECT_EQ(CI_ConverterConfigure(&bad.conv, CI_DGFMT_MIPI, 8), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(CI_ConverterConvertFrame(&bad.conv, &img.in, &f.frame), QOV_ERROR_NOT_INITIALISED);
    CI_DG_FRAME noData{};
    noData.ui32AllocSize = 192;
    EXPECT_EQ(CI_ConverterConvertFrame(&mipi.conv, &img.in, &noData), QOV_ERROR_NOT_INITIALISED);
    EXPECT_NE(GetCapturedStderr().find("pConverted was not configured properly or pFrame has not attached data\n"),
              std::string::npos);

    Image rgb(8, 3, 10, SimImage_RGB64);
    CaptureStderr();
    EXPECT_EQ(CI_ConverterConvertFrame(&mipi.conv, &rgb.in, &f.frame), QOV_ERROR_FAILURE);
    EXPECT_NE(GetCapturedStderr().find("input image needs to be BAYER!\n"), std::string::npos);

    Frame small(191);
    CaptureStderr();
    EXPECT_EQ(CI_ConverterConvertFrame(&mipi.conv, &img.in, &small.frame), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_NE(GetCapturedStderr().find(
                  "given pFrame is too small (191 Bytes) to store converted data (64x3 = 192 Bytes)\n"),
              std::string::npos);
    EXPECT_EQ(small.buffer, Bytes(191, 0xEE));  // untouched

    Image empty(8, 0, 10);
    Image noSamples(8, 3, 10);
    noSamples.in.pBuffer = nullptr;
    CaptureStderr();
    EXPECT_EQ(CI_ConverterConvertFrame(&mipi.conv, &empty.in, &f.frame), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(CI_ConverterConvertFrame(&mipi.conv, &noSamples.in, &f.frame), QOV_ERROR_INVALID_ARGUMENT);
    GetCapturedStderr();
}

// A cleared converter is unconfigured: it sizes and converts nothing, and
// can be configured again.
// Frames beyond what the formats can carry are refused before a byte is
// written: a frame larger than 32 bits can count, a MIPI line longer than its
// packet's 16-bit length.
TEST(Converter, FramesBeyondTheFormatsAreRefused)
{
    Converter mipi;
    ASSERT_EQ(CI_ConverterConfigure(&mipi.conv, CI_DGFMT_MIPI, 10), QOV_SUCCESS);
    CaptureStderr();
    EXPECT_EQ(CI_ConverterFrameSize(&mipi.conv, 70000, 70000), 0u);
    EXPECT_NE(GetCapturedStderr().find("a frame of 70000x70000 is too large to be converted\n"), std::string::npos);

    Image huge(8, 1, 10);
    huge.in.info.ui32Width = 70000; // never read: the size is refused first
    huge.in.info.ui32Height = 70000;
    Frame f(64);
    CaptureStderr();
    EXPECT_EQ(CI_ConverterConvertFrame(&mipi.conv, &huge.in, &f.frame), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_NE(GetCapturedStderr().find("a frame of 70000x70000 is too large to be converted\n"), std::string::npos);
    EXPECT_EQ(f.buffer, Bytes(64, 0xEE));

    Image wide(60000, 1, 10); // 75000 bytes of RAW10 in one line
    const QOV_UINT32 size = CI_ConverterFrameSize(&mipi.conv, 60000, 1);
    ASSERT_GT(size, 75000u);
    Frame big(size);
    CaptureStderr();
    EXPECT_EQ(CI_ConverterConvertFrame(&mipi.conv, &wide.in, &big.frame), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_NE(GetCapturedStderr().find("a line of 60000 pixels does not fit in one MIPI packet\n"), std::string::npos);
    EXPECT_EQ(big.buffer[0], 0xEE);

    // The parallel format has no packets: the same line converts.
    Converter parallel;
    ASSERT_EQ(CI_ConverterConfigure(&parallel.conv, CI_DGFMT_PARALLEL, 10), QOV_SUCCESS);
    Frame line(CI_ConverterFrameSize(&parallel.conv, 60000, 1));
    EXPECT_EQ(CI_ConverterConvertFrame(&parallel.conv, &wide.in, &line.frame), QOV_SUCCESS);
}

TEST(Converter, ClearedConverterRefusesConversions)
{
    Image img(8, 3, 10);
    for (CI_CONV_FMT format : {CI_DGFMT_MIPI, CI_DGFMT_MIPI_LF, CI_DGFMT_PARALLEL}) {
        Converter c;
        ASSERT_EQ(CI_ConverterConfigure(&c.conv, format, 10), QOV_SUCCESS);
        ASSERT_EQ(CI_ConverterClear(&c.conv), QOV_SUCCESS);
        EXPECT_EQ(c.conv.privateData, nullptr);
        Frame f(192);
        CaptureStderr();
        EXPECT_EQ(CI_ConverterFrameSize(&c.conv, 8, 3), 0u) << format;
        EXPECT_EQ(CI_ConverterConvertFrame(&c.conv, &img.in, &f.frame), QOV_ERROR_NOT_INITIALISED) << format;
        EXPECT_NE(GetCapturedStderr().find("pConverted was not configured properly or pFrame has not attached data\n"),
                  std::string::npos);
        EXPECT_EQ(f.buffer, Bytes(192, 0xEE)) << format;  // nothing written

        ASSERT_EQ(CI_ConverterConfigure(&c.conv, CI_DGFMT_MIPI, 10), QOV_SUCCESS);
        EXPECT_EQ(CI_ConverterFrameSize(&c.conv, 8, 3), 192u);
        EXPECT_EQ(CI_ConverterConvertFrame(&c.conv, &img.in, &f.frame), QOV_SUCCESS) << format;
    }
}

/*-------------------------------------------------------------------------
 * HDR insertion
 *-------------------------------------------------------------------------*/

// An RGB image as the JUX reader leaves it: four samples per pixel.
struct RgbImage {
    sSimImageIn in{};
    std::vector<QOV_UINT16> samples;
    RgbImage(QOV_UINT32 width, QOV_UINT32 height, QOV_UINT8 depth, bool redFirst)
    {
        samples.assign((size_t)width * height * 4, 0);
        in.info.ui8BitDepth = depth;
        in.info.ui32Width = width;
        in.info.ui32Height = height;
        in.info.stride = (size_t)width * 8;
        in.info.eColourModel = SimImage_RGB64;
        in.info.isBGR = redFirst ? QOV_TRUE : QOV_FALSE;
        in.pBuffer = samples.data();
    }
    void set(QOV_UINT32 x, QOV_UINT32 y, QOV_UINT16 s0, QOV_UINT16 s1, QOV_UINT16 s2)
    {
        QOV_UINT16 *p = &samples[((size_t)y * in.info.ui32Width + x) * 4];
        p[0] = s0;
        p[1] = s1;
        p[2] = s2;
    }
};

struct HdrBuffer {
    std::vector<QOV_UINT16> words;
    CI_BUFFER buffer{};
    explicit HdrBuffer(size_t bytes) : words(bytes / 2, 0xEEEE)
    {
        buffer.data = words.data();
        buffer.ui32Size = (QOV_UINT32)bytes;
    }
    std::vector<QOV_UINT16> pixel(QOV_UINT32 x, QOV_UINT32 y, QOV_UINT32 stride) const
    {
        size_t at = (y * stride) / 2 + x * 4;
        return {words[at], words[at + 1], words[at + 2], words[at + 3]};
    }
};

TEST(HdrInsertion, ChannelOrderAndStride)
{
    // 5 pixels of 8 bytes: lines of 40 bytes, 64 apart in the buffer
    RgbImage redFirst(5, 2, 16, true);
    redFirst.set(4, 1, 0x1111, 0x2222, 0x3333);  // R, G, B
    HdrBuffer out(128);
    ASSERT_EQ(CI_Convert_HDRInsertion(&redFirst.in, &out.buffer, QOV_FALSE), QOV_SUCCESS);
    EXPECT_EQ(out.pixel(4, 1, 64), (std::vector<QOV_UINT16>{0x3333, 0x2222, 0x1111, 0}));
    EXPECT_EQ(out.pixel(0, 0, 64), (std::vector<QOV_UINT16>{0, 0, 0, 0}));
    EXPECT_EQ(out.words[20], 0xEEEE);  // the padding of line 0 is left alone

    RgbImage blueFirst(5, 2, 16, false);
    blueFirst.set(4, 1, 0x1111, 0x2222, 0x3333);  // B, G, R
    ASSERT_EQ(CI_Convert_HDRInsertion(&blueFirst.in, &out.buffer, QOV_FALSE), QOV_SUCCESS);
    EXPECT_EQ(out.pixel(4, 1, 64), (std::vector<QOV_UINT16>{0x1111, 0x2222, 0x3333, 0}));
}

TEST(HdrInsertion, RescaleReplicatesBits)
{
    const struct {
        QOV_UINT8 depth;
        QOV_UINT16 in, out;
    } cases[] = {
        {8, 0xAB, 0xABAB}, {10, 0x3FF, 0xFFFF}, {10, 0x200, 0x8020}, {12, 0xABC, 0xABCA},
        {16, 0x1234, 0x1234}, {4, 0xA, 0xAAAA}, {1, 1, 0xFFFF}, {3, 0x5, 0xB6DB}, {8, 0, 0},
        // a sample wider than its depth: v << (16 - d) | v >> (2d - 16), kept to 16 bits
        {12, 0x1ABC, 0xABDA}, {8, 0x1AA, 0xABAA},
    };
    for (const auto &c : cases) {
        RgbImage img(1, 1, c.depth, true);
        img.set(0, 0, c.in, c.in, c.in);
        HdrBuffer out(64);
        ASSERT_EQ(CI_Convert_HDRInsertion(&img.in, &out.buffer, QOV_TRUE), QOV_SUCCESS) << (int)c.depth;
        EXPECT_EQ(out.pixel(0, 0, 64), (std::vector<QOV_UINT16>{c.out, c.out, c.out, 0})) << (int)c.depth;
    }
}

TEST(HdrInsertion, Refusals)
{
    RgbImage img(5, 2, 10, true);
    HdrBuffer out(128);
    const struct {
        const sSimImageIn *image;
        CI_BUFFER *buffer;
        QOV_RESULT result;
        const char *message;
    } nulls[] = {
        {nullptr, &out.buffer, QOV_ERROR_INVALID_ARGUMENT, "pImage or pBuffer is NULL\n"},
        {&img.in, nullptr, QOV_ERROR_INVALID_ARGUMENT, "pImage or pBuffer is NULL\n"},
    };
    for (const auto &c : nulls) {
        CaptureStderr();
        EXPECT_EQ(CI_Convert_HDRInsertion(c.image, c.buffer, QOV_FALSE), c.result);
        EXPECT_NE(GetCapturedStderr().find(c.message), std::string::npos);
    }

    Image bayer(4, 4, 10);
    CaptureStderr();
    EXPECT_EQ(CI_Convert_HDRInsertion(&bayer.in, &out.buffer, QOV_FALSE), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_NE(GetCapturedStderr().find("given pImage needs to be RGB\n"), std::string::npos);

    HdrBuffer small(100);
    CaptureStderr();
    EXPECT_EQ(CI_Convert_HDRInsertion(&img.in, &small.buffer, QOV_FALSE), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_NE(GetCapturedStderr().find("a buffer of 100 Bytes is too small - 128 needed\n"), std::string::npos);

    RgbImage deep(5, 2, 17, true);
    CaptureStderr();
    EXPECT_EQ(CI_Convert_HDRInsertion(&deep.in, &out.buffer, QOV_FALSE), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_NE(GetCapturedStderr().find("unexpected large bitdepth of 17 in input image!\n"), std::string::npos);

    RgbImage noDepth(5, 2, 0, true);
    CaptureStderr();
    EXPECT_EQ(CI_Convert_HDRInsertion(&noDepth.in, &out.buffer, QOV_TRUE), QOV_ERROR_NOT_SUPPORTED);
    GetCapturedStderr();

    RgbImage narrow(5, 2, 10, true);
    narrow.in.info.stride = 5 * 8 - 2; // lines shorter than their pixels
    CaptureStderr();
    EXPECT_EQ(CI_Convert_HDRInsertion(&narrow.in, &out.buffer, QOV_FALSE), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_NE(GetCapturedStderr().find("input image lines of 38 Bytes cannot hold 5 pixels\n"), std::string::npos);
    EXPECT_EQ(out.words[0], 0xEEEE);  // nothing written by a refusal
}

}  // namespace
