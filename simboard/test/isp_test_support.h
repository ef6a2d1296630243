// Helpers for driving the simulated ISP driver with raw requests through the
// device seam, with records built here (independent of the library), and a
// wire-format encoder written from the frame-converter rules.
#ifndef SIMBOARD_TEST_ISP_TEST_SUPPORT_H
#define SIMBOARD_TEST_ISP_TEST_SUPPORT_H

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/device_io.h"
#include "simboard/board.h"
#include "simboard/isp_driver.h"
#include "simboard/isp_words.h"

namespace isptest {

using simboard::IspDriver;

// Kernel-style answer (value, or negated errno) of a request through the seam.
inline long rawRequest(int fd, unsigned long number, void *arg)
{
    int result = PLATFORM_Ioctl(fd, number, arg);
    return result < 0 ? -errno : result;
}
inline long request(int fd, CI_eIOCTL index, void *arg) { return rawRequest(fd, CI_IOCTL_NUMBER(index), arg); }
inline long requestValue(int fd, CI_eIOCTL index, int value)
{
    return rawRequest(fd, CI_IOCTL_NUMBER(index), reinterpret_cast<void *>(static_cast<intptr_t>(value)));
}

// A pixel type from the packing table of the formats.
inline PIXELTYPE pixelType(pxlFormat format)
{
    PIXELTYPE t{};
    t.eFmt = format;
    t.ui8HSubsampling = t.ui8VSubsampling = 1;
    auto set = [&t](FORMAT_TYPES buffer, uint8_t depth, uint8_t elements, uint8_t bytes, PACKEDSTART start) {
        t.eBuffer = buffer;
        t.ui8BitDepth = depth;
        t.ui8PackedElements = elements;
        t.ui8PackedStride = bytes;
        t.ePackedStart = start;
    };
    switch (format) {
    case YUV_420_PL12_8: case YVU_420_PL12_8:
        set(TYPE_YUV, 8, 1, 1, PACKED_LSB), t.ui8HSubsampling = 2, t.ui8VSubsampling = 2; break;
    case YUV_422_PL12_8:
        set(TYPE_YUV, 8, 1, 1, PACKED_LSB), t.ui8HSubsampling = 2; break;
    case YUV_420_PL12_10:
        set(TYPE_YUV, 10, 6, 8, PACKED_LSB), t.ui8HSubsampling = 2, t.ui8VSubsampling = 2; break;
    case PXL_ISP_444IL3YCbCr8: set(TYPE_YUV, 8, 1, 3, PACKED_LSB); break;
    case RGB_888_24: case BGR_888_24: set(TYPE_RGB, 8, 1, 3, PACKED_LSB); break;
    case RGB_888_32: case BGR_888_32: set(TYPE_RGB, 8, 1, 4, PACKED_LSB); break;
    case RGB_101010_32: case BGR_101010_32: set(TYPE_RGB, 10, 1, 4, PACKED_LSB); break;
    case BGR_161616_64: set(TYPE_RGB, 16, 1, 8, PACKED_LSB); break;
    case BAYER_RGGB_8: set(TYPE_BAYER, 8, 4, 4, PACKED_LSB), t.eMosaic = MOSAIC_RGGB; break;
    case BAYER_RGGB_10: set(TYPE_BAYER, 10, 3, 4, PACKED_LSB), t.eMosaic = MOSAIC_RGGB; break;
    case BAYER_RGGB_12: set(TYPE_BAYER, 12, 16, 24, PACKED_LSB), t.eMosaic = MOSAIC_RGGB; break;
    case BAYER_TIFF_10: set(TYPE_BAYER, 10, 4, 5, PACKED_MSB), t.eMosaic = MOSAIC_RGGB; break;
    case BAYER_TIFF_12: set(TYPE_BAYER, 12, 2, 3, PACKED_MSB), t.eMosaic = MOSAIC_RGGB; break;
    default: break;
    }
    return t;
}

// What a test pipeline captures and writes.
struct PipeSetup {
    uint32_t width = 8, height = 4;  // image size (capture rectangle), pixels
    uint16_t offsetX = 0, offsetY = 0;
    uint8_t context = 0;
    uint8_t imager = 2;
    MOSAICType mosaic = MOSAIC_RGGB;
    pxlFormat display = PXL_NONE;  // a Bayer format means data extraction
    uint32_t displayWidth = 0, displayHeight = 0;
    pxlFormat encoder = PXL_NONE;
    uint32_t encoderWidth = 0, encoderHeight = 0;
    pxlFormat raw2D = PXL_NONE;
    pxlFormat hdrExtraction = PXL_NONE;
    pxlFormat hdrInsertion = PXL_NONE;
    bool tiling = false;
    uint32_t dpfWriteMapSize = 0;
    uint8_t privateValue = 0;
};

inline CI_PIPE_INFO makeInfo(const PipeSetup &s)
{
    CI_PIPE_INFO info{};
    CI_PIPELINE_CONFIG &c = info.config;
    c.ui8Context = s.context;
    c.ui8PrivateValue = s.privateValue;
    c.eDataExtraction = CI_INOUT_NONE;
    if (s.display != PXL_NONE) {
        c.eDispType = pixelType(s.display);
        if (c.eDispType.eBuffer == TYPE_BAYER)
            c.eDataExtraction = CI_INOUT_BLACK_LEVEL;
    }
    if (s.encoder != PXL_NONE)
        c.eEncType = pixelType(s.encoder);
    if (s.raw2D != PXL_NONE)
        c.eRaw2DExtraction = pixelType(s.raw2D);
    if (s.hdrExtraction != PXL_NONE)
        c.eHDRExtType = pixelType(s.hdrExtraction);
    if (s.hdrInsertion != PXL_NONE)
        c.eHDRInsType = pixelType(s.hdrInsertion);
    c.ui16MaxEncOutWidth = static_cast<uint16_t>(s.encoderWidth);
    c.ui16MaxEncOutHeight = static_cast<uint16_t>(s.encoderHeight);
    c.ui16MaxDispOutWidth = static_cast<uint16_t>(c.eDispType.eBuffer == TYPE_BAYER ? s.width : s.displayWidth);
    c.ui16MaxDispOutHeight = static_cast<uint16_t>(c.eDispType.eBuffer == TYPE_BAYER ? s.height : s.displayHeight);
    c.bSupportTiling = s.tiling;
    c.ui32DPFWriteMapSize = s.dpfWriteMapSize;
    c.ui16SysBlackLevel = 64;
    info.iifConfig.ui8Imager = s.imager;
    info.iifConfig.eBayerFormat = s.mosaic;
    info.iifConfig.ui16ImagerOffset[0] = s.offsetX;
    info.iifConfig.ui16ImagerOffset[1] = s.offsetY;
    info.iifConfig.ui16ImagerSize[0] = static_cast<uint16_t>(s.width / 2 - 1);
    info.iifConfig.ui16ImagerSize[1] = static_cast<uint16_t>(s.height / 2 - 1);
    return info;
}

using simboard::pair12;
using simboard::setNeutralPipeline;

// A load structure whose scaler words give the encoder and display sizes,
// with a neutral colour pipeline.
inline std::array<uint32_t, simboard::kIspLoadStructureWords> makeLoad(const PipeSetup &s)
{
    std::array<uint32_t, simboard::kIspLoadStructureWords> load{};
    setNeutralPipeline(load, s.encoder, s.display);
    if (s.encoderWidth) {
        load[239] = s.encoderHeight - 1;
        load[279] = (s.encoderWidth / 2 - 1) << 1;
    }
    if (s.displayWidth) {
        load[241] = s.displayHeight - 1;
        load[304] = (s.displayWidth / 2 - 1) << 1;
    }
    return load;
}

inline long update(int fd, int id, const CI_PIPE_INFO &info, std::array<uint32_t, simboard::kIspLoadStructureWords> &load,
                   int mask, bool asap = false, int *failedMask = nullptr)
{
    auto param = std::make_unique<CI_PIPE_PARAM>();
    std::memset(param.get(), 0, sizeof(CI_PIPE_PARAM));
    param->info = info;
    param->loadstructure = load.data();
    param->identifier = id;
    param->eUpdateMask = mask;
    param->bUpdateASAP = asap;
    long result = request(fd, CI_CONFIG_UPDATE, param.get());
    if (failedMask)
        *failedMask = param->eUpdateMask;
    return result;
}

inline long addShot(int fd, int pipeline, CI_POOL_PARAM *out = nullptr)
{
    CI_POOL_PARAM param{};
    param.configId = static_cast<uint32_t>(pipeline);
    long result = request(fd, CI_CONFIG_ADDPOOL, &param);
    if (out)
        *out = param;
    return result < 0 ? result : param.iShotId;
}

// Creates a buffer; answers its map id (or the negated errno).
inline long createBuffer(int fd, int pipeline, CI_ALLOC_BUFF type, uint32_t size = 0, bool tiled = false,
                         uint32_t importFd = 0, uint32_t *allocated = nullptr)
{
    CI_ALLOC_PARAM param{};
    param.configId = static_cast<uint32_t>(pipeline);
    param.fd = importFd;
    param.type = type;
    param.bTiled = tiled;
    param.uiSize = size;
    long result = request(fd, CI_CREATE_BUFF, &param);
    if (allocated)
        *allocated = param.uiSize;
    return result < 0 ? result : param.uiMemMapId;
}

inline long setLinestore(int fd, int32_t start0, int32_t start1)
{
    CI_LINESTORE ls{};
    ls.aStart[0] = start0;
    ls.aStart[1] = start1;
    return request(fd, CI_LINESTORE_SET, &ls);
}

inline long trigger(int fd, int pipeline, const CI_BUFFID &ids, bool blocking = false)
{
    CI_BUFFER_TRIGG param{};
    param.captureId = pipeline;
    param.bBlocking = blocking;
    param.bufferIds = ids;
    return request(fd, CI_CAPTURE_TRIGGER, &param);
}

inline long acquire(int fd, int pipeline, bool blocking, CI_BUFFER_PARAM *out)
{
    std::memset(out, 0, sizeof(*out));
    out->captureId = pipeline;
    out->bBlocking = blocking;
    long result = request(fd, CI_CAPTURE_ACQUIRE, out);
    return result < 0 ? result : out->shotId;
}

inline long release(int fd, int pipeline, int shot)
{
    CI_BUFFER_TRIGG param{};
    param.captureId = pipeline;
    param.shotId = shot;
    return request(fd, CI_CAPTURE_RELEASE, &param);
}

inline CI_HAS_AVAIL available(int fd, int pipeline)
{
    CI_HAS_AVAIL param{};
    param.captureId = pipeline;
    request(fd, CI_CAPTURE_HASAVAILABLE, &param);
    return param;
}

// Maps `length` bytes of map id `id`; null when refused (errno set).
inline void *mapId(int fd, uint32_t id, size_t length, int prot)
{
    void *p = PLATFORM_MemMap(nullptr, length, prot, MAP_SHARED, fd, static_cast<off_t>(id) * getpagesize());
    return p == MAP_FAILED ? nullptr : p;
}

/*-------------------------------------------------------------------------
 * Wire formats, written from the frame-converter rules
 *-------------------------------------------------------------------------*/

// Packet-header ECC, parity rows of the CSI-2 table.
inline uint8_t ecc(uint8_t b0, uint8_t b1, uint8_t b2)
{
    static const int rows[6][14] = {
        {0, 1, 2, 4, 5, 7, 10, 11, 13, 16, 20, 21, 22, 23}, {0, 1, 3, 4, 6, 8, 10, 12, 14, 17, 20, 21, 22, 23},
        {0, 2, 3, 5, 6, 9, 11, 12, 15, 18, 20, 21, 22, -1}, {1, 2, 3, 7, 8, 9, 13, 14, 15, 19, 20, 21, 23, -1},
        {4, 5, 6, 7, 8, 9, 16, 17, 18, 19, 20, 22, 23, -1}, {10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 21, 22, 23, -1},
    };
    const uint32_t bits = b0 | (b1 << 8) | (b2 << 16);
    uint8_t result = 0;
    for (int i = 0; i < 6; ++i) {
        int parity = 0;
        for (int bit : rows[i])
            parity ^= bit >= 0 ? (bits >> bit) & 1 : 0;
        result |= static_cast<uint8_t>(parity << i);
    }
    return result;
}

inline uint16_t crc16(const uint8_t *data, size_t n)
{
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < n; ++i)
        for (int bit = 0; bit < 8; ++bit) {
            const bool x = ((crc ^ (data[i] >> bit)) & 1) != 0;
            crc = static_cast<uint16_t>((crc >> 1) ^ (x ? 0x8408 : 0));
        }
    return crc;
}

inline void shortPacket(std::vector<uint8_t> &out, uint8_t type, uint16_t data)
{
    const uint8_t b[3] = {type, static_cast<uint8_t>(data), static_cast<uint8_t>(data >> 8)};
    out.insert(out.end(), b, b + 3);
    out.push_back(ecc(b[0], b[1], b[2]));
}

// One line of samples (s0, s1, ...) in a wire format, as bytes.
inline std::vector<uint8_t> packLine(uint32_t format, unsigned depth, const uint16_t *s, uint32_t width, int lineNumber)
{
    std::vector<uint8_t> out;
    auto sample = [&](uint32_t i) -> uint32_t { return i < width ? s[i] : 0; };
    std::vector<uint8_t> payload;
    if (format == CI_DGFMT_PARALLEL && depth == 10) {
        for (uint32_t i = 0; i < width; i += 3) {
            const uint32_t w = sample(i) | (sample(i + 1) << 10) | (sample(i + 2) << 20);
            for (int k = 0; k < 4; ++k)
                out.push_back(static_cast<uint8_t>(w >> (8 * k)));
        }
        return out;
    }
    if (format == CI_DGFMT_PARALLEL) {
        for (uint32_t i = 0; i < width; i += 2) {
            out.push_back(static_cast<uint8_t>(sample(i)));
            out.push_back(static_cast<uint8_t>((sample(i) >> 8) | ((sample(i + 1) & 0xF) << 4)));
            out.push_back(static_cast<uint8_t>(sample(i + 1) >> 4));
        }
        return out;
    }
    uint8_t dataId = 0;
    if (depth == 10) {
        dataId = 0x2B;
        for (uint32_t i = 0; i < width; i += 4) {
            for (uint32_t k = 0; k < 4; ++k)
                payload.push_back(static_cast<uint8_t>(sample(i + k) >> 2));
            payload.push_back(static_cast<uint8_t>((sample(i) & 3) | ((sample(i + 1) & 3) << 2) |
                                                   ((sample(i + 2) & 3) << 4) | ((sample(i + 3) & 3) << 6)));
        }
    } else if (depth == 12) {
        dataId = 0x2C;
        for (uint32_t i = 0; i < width; i += 2) {
            payload.push_back(static_cast<uint8_t>(sample(i) >> 4));
            payload.push_back(static_cast<uint8_t>(sample(i + 1) >> 4));
            payload.push_back(static_cast<uint8_t>((sample(i) & 0xF) | ((sample(i + 1) & 0xF) << 4)));
        }
    } else {
        dataId = 0x2D;
        for (uint32_t i = 0; i < width; i += 4) {
            for (uint32_t k = 0; k < 4; ++k)
                payload.push_back(static_cast<uint8_t>(sample(i + k) >> 6));
            const uint32_t low = (sample(i) & 63) | ((sample(i + 1) & 63) << 6) | ((sample(i + 2) & 63) << 12) |
                                 ((sample(i + 3) & 63) << 18);
            for (int k = 0; k < 3; ++k)
                payload.push_back(static_cast<uint8_t>(low >> (8 * k)));
        }
    }
    const bool framed = format == CI_DGFMT_MIPI_LF;
    if (framed)
        shortPacket(out, 0x02, static_cast<uint16_t>(lineNumber));
    shortPacket(out, dataId, static_cast<uint16_t>(payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
    const uint16_t crc = crc16(payload.data(), payload.size());
    out.push_back(static_cast<uint8_t>(crc));
    out.push_back(static_cast<uint8_t>(crc >> 8));
    if (framed)
        shortPacket(out, 0x03, static_cast<uint16_t>(lineNumber));
    return out;
}

// A whole generator frame: frame start, line 0 after it, line i at i x
// stride, frame end after the last line. Answers the stride.
inline uint32_t buildFrame(uint32_t format, unsigned depth, uint32_t width, uint32_t height,
                           const std::vector<uint16_t> &samples, std::vector<uint8_t> &frame)
{
    const bool mipi = format != CI_DGFMT_PARALLEL;
    const size_t lineBytes = packLine(format, depth, samples.data(), width, 1).size();
    const uint32_t stride = static_cast<uint32_t>((lineBytes + (mipi ? 4 : 0) + 63) / 64 * 64);
    frame.assign(static_cast<size_t>(stride) * height, 0);
    std::vector<uint8_t> header;
    if (mipi)
        shortPacket(header, 0x00, 1);
    std::copy(header.begin(), header.end(), frame.begin());
    size_t last = 0;
    for (uint32_t y = 0; y < height; ++y) {
        std::vector<uint8_t> line = packLine(format, depth, samples.data() + y * width, width, static_cast<int>(y + 1));
        last = y == 0 ? header.size() : static_cast<size_t>(y) * stride;
        std::copy(line.begin(), line.end(), frame.begin() + static_cast<long>(last));
    }
    if (mipi) {
        std::vector<uint8_t> footer;
        shortPacket(footer, 0x01, 1);
        std::copy(footer.begin(), footer.end(), frame.begin() + static_cast<long>(last + lineBytes));
    }
    return stride;
}

// Distinct samples of `depth` bits.
inline std::vector<uint16_t> testSamples(uint32_t width, uint32_t height, unsigned depth)
{
    std::vector<uint16_t> samples(static_cast<size_t>(width) * height);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<uint16_t>((i * 2654435761u >> 7) & ((1u << depth) - 1));
    return samples;
}

/*-------------------------------------------------------------------------
 * Fixture
 *-------------------------------------------------------------------------*/

class IspTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        simboard::Board::instance().reset();
        driver = IspDriver::installed();
        ASSERT_TRUE(driver);
    }

    void TearDown() override
    {
        while (!fds.empty())
            closeDevice(fds.back());
        // The leak check: nothing the tests made survives its connections.
        EXPECT_EQ(driver->liveObjects().total(), 0u);
        simboard::Board::instance().reset();
    }

    int openDevice()
    {
        int fd = PLATFORM_Open(simboard::kIspDevicePath, O_RDWR);
        if (fd >= 0)
            fds.push_back(fd);
        return fd;
    }

    void closeDevice(int fd)
    {
        fds.erase(std::remove(fds.begin(), fds.end(), fd), fds.end());
        PLATFORM_Close(fd);
    }

    // Registers a pipeline and sends the whole configuration; answers its id.
    int registerPipeline(int fd, const PipeSetup &setup)
    {
        CI_PIPE_INFO info = makeInfo(setup);
        long id = request(fd, CI_PIPELINE_REGISTER, &info);
        EXPECT_GT(id, 0);
        auto load = makeLoad(setup);
        EXPECT_EQ(update(fd, static_cast<int>(id), info, load, CI_UPD_ALL), 0);
        return static_cast<int>(id);
    }

    // Registers, adds `shots` shots and starts a pipeline on context 0.
    int startedPipeline(int fd, const PipeSetup &setup, unsigned shots)
    {
        int id = registerPipeline(fd, setup);
        for (unsigned i = 0; i < shots; ++i)
            EXPECT_GT(addShot(fd, id), 0);
        EXPECT_EQ(setLinestore(fd, setup.context == 0 ? 0 : -1, setup.context == 1 ? 0 : -1), 0);
        EXPECT_EQ(requestValue(fd, CI_CAPTURE_START, id), 0);
        return id;
    }

    // A started data generator with `frames` frames of `size` bytes.
    int startedGenerator(int fd, uint32_t format, uint8_t depth, uint8_t gasket, uint32_t size, unsigned frames,
                         MOSAICType mosaic = MOSAIC_RGGB)
    {
        long id = requestValue(fd, CI_IIFDG_REGISTER, -1);
        EXPECT_GE(id, 0);
        for (unsigned i = 0; i < frames; ++i) {
            CI_DG_FRAMEINFO info{};
            info.datagenId = static_cast<int>(id);
            info.uiSize = size;
            EXPECT_EQ(request(fd, CI_IIFDG_ALLOCATE, &info), 0);
        }
        CI_DG_PARAM param{};
        param.datagenId = static_cast<int>(id);
        param.sDG.eFormat = static_cast<CI_CONV_FMT>(format);
        param.sDG.ui8FormatBitdepth = depth;
        param.sDG.ui8Gasket = gasket;
        param.sDG.eBayerMosaic = mosaic;
        EXPECT_EQ(request(fd, CI_IIFDG_START, &param), 0);
        return static_cast<int>(id);
    }

    // Fills a free generator frame with `bytes` and sends it.
    long sendFrame(int fd, int generator, const std::vector<uint8_t> &bytes, uint32_t stride, uint16_t width,
                   uint16_t height, uint16_t hBlank = 100, uint16_t vBlank = 14)
    {
        CI_DG_FRAMEINFO info{};
        info.datagenId = generator;
        long result = request(fd, CI_IIFDG_ACQUIRE, &info);
        if (result < 0)
            return result;
        void *p = mapId(fd, info.uiFrameId, bytes.size(), PROT_WRITE);
        EXPECT_NE(p, nullptr);
        if (p) {
            std::memcpy(p, bytes.data(), bytes.size());
            PLATFORM_MemUnmap(p, bytes.size());
        }
        CI_DG_FRAMETRIG t{};
        t.datagenId = generator;
        t.uiFrameId = info.uiFrameId;
        t.uiStride = stride;
        t.uiWidth = width;
        t.uiHeight = height;
        t.uiHorizontalBlanking = hBlank;
        t.uiVerticalBlanking = vBlank;
        t.bTrigger = 1;
        return request(fd, CI_IIFDG_RELEASE, &t);
    }

    // Sends one frame of `samples` in parallel 12 bits.
    long sendSamples(int fd, int generator, const std::vector<uint16_t> &samples, uint16_t width, uint16_t height,
                     uint32_t format = CI_DGFMT_PARALLEL, unsigned depth = 12)
    {
        std::vector<uint8_t> bytes;
        uint32_t stride = buildFrame(format, depth, width, height, samples, bytes);
        return sendFrame(fd, generator, bytes, stride, width, height);
    }

    std::shared_ptr<IspDriver> driver;
    std::vector<int> fds;
};

// Reads a whole mapped object into a vector and unmaps it.
inline std::vector<uint8_t> readObject(int fd, uint32_t id, size_t length)
{
    std::vector<uint8_t> bytes(length);
    void *p = mapId(fd, id, length, PROT_READ);
    EXPECT_NE(p, nullptr);
    if (p) {
        std::memcpy(bytes.data(), p, length);
        PLATFORM_MemUnmap(p, length);
    }
    return bytes;
}

inline uint32_t word32(const std::vector<uint8_t> &bytes, size_t offset)
{
    uint32_t value;
    std::memcpy(&value, bytes.data() + offset, 4);
    return value;
}

}  // namespace isptest

#endif
