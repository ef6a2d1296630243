// Internal data generators and their frames, frames from a sensor model, the
// image-model seam and full-size frames.
#include "isp_test_support.h"

namespace isp_generator_test {
namespace {

using namespace isptest;
using simboard::BayerFrame;
using simboard::IspCorruption;
using simboard::IspFrameState;
using simboard::IspProfile;

class IspGenerator : public IspTest {
protected:
    int registerGenerator(int fd)
    {
        long id = requestValue(fd, CI_IIFDG_REGISTER, -1);
        EXPECT_GE(id, 0);
        return static_cast<int>(id);
    }

    long allocate(int fd, int generator, uint32_t size)
    {
        CI_DG_FRAMEINFO info{};
        info.datagenId = generator;
        info.uiSize = size;
        long result = request(fd, CI_IIFDG_ALLOCATE, &info);
        return result < 0 ? result : info.mmapId;
    }

    long start(int fd, int generator, uint32_t format, uint8_t depth, uint8_t gasket, MOSAICType mosaic)
    {
        CI_DG_PARAM param{};
        param.datagenId = generator;
        param.sDG.eFormat = static_cast<CI_CONV_FMT>(format);
        param.sDG.ui8FormatBitdepth = depth;
        param.sDG.ui8Gasket = gasket;
        param.sDG.eBayerMosaic = mosaic;
        return request(fd, CI_IIFDG_START, &param);
    }

    long acquireFrame(int fd, int generator, uint32_t frame = 0)
    {
        CI_DG_FRAMEINFO info{};
        info.datagenId = generator;
        info.uiFrameId = frame;
        long result = request(fd, CI_IIFDG_ACQUIRE, &info);
        return result < 0 ? result : info.uiFrameId;
    }

    long releaseFrame(int fd, int generator, uint32_t frame, const CI_DG_FRAMETRIG &geometry, bool send)
    {
        CI_DG_FRAMETRIG t = geometry;
        t.datagenId = generator;
        t.uiFrameId = frame;
        t.bTrigger = send;
        return request(fd, CI_IIFDG_RELEASE, &t);
    }

    long wait(int fd, int generator, bool blocking)
    {
        CI_DG_FRAMEWAIT w{};
        w.datagenId = generator;
        w.bBlocking = blocking;
        return request(fd, CI_IIFDG_WAITPROCESSED, &w);
    }
};

CI_DG_FRAMETRIG geometry(uint32_t stride, uint16_t width, uint16_t height, uint16_t hBlank = 100,
                         uint16_t vBlank = 14)
{
    CI_DG_FRAMETRIG t{};
    t.uiStride = stride;
    t.uiWidth = width;
    t.uiHeight = height;
    t.uiHorizontalBlanking = hBlank;
    t.uiVerticalBlanking = vBlank;
    return t;
}

TEST_F(IspGenerator, LifeCycleOfGeneratorsAndFrames)
{
    int fd = openDevice();
    int generator = registerGenerator(fd);
    EXPECT_EQ(generator, 0);
    EXPECT_EQ(requestValue(fd, CI_IIFDG_REGISTER, -1), -EADDRINUSE);  // one generator on this hardware
    EXPECT_EQ(allocate(fd, generator, 0), -EINVAL);
    const long a = allocate(fd, generator, 4096), b = allocate(fd, generator, 4096);
    ASSERT_GT(a, 0);
    ASSERT_GT(b, a);

    struct Case {
        const char *what;
        uint32_t format;
        uint8_t depth, gasket;
        MOSAICType mosaic;
    } bad[] = {
        {"format", 3, 10, 2, MOSAIC_RGGB},
        {"parallel 14 bits", CI_DGFMT_PARALLEL, 14, 2, MOSAIC_RGGB},
        {"MIPI 8 bits", CI_DGFMT_MIPI, 8, 2, MOSAIC_RGGB},
        {"gasket", CI_DGFMT_PARALLEL, 10, 4, MOSAIC_RGGB},
        {"mosaic", CI_DGFMT_PARALLEL, 10, 2, MOSAIC_NONE},
    };
    for (const Case &c : bad)
        EXPECT_EQ(start(fd, generator, c.format, c.depth, c.gasket, c.mosaic), -EINVAL) << c.what;
    EXPECT_EQ(requestValue(fd, CI_IIFDG_ISSTARTED, generator), 0);
    ASSERT_EQ(start(fd, generator, CI_DGFMT_PARALLEL, 10, 2, MOSAIC_GRBG), 0);
    EXPECT_EQ(start(fd, generator, CI_DGFMT_PARALLEL, 10, 2, MOSAIC_GRBG), -EALREADY);
    EXPECT_EQ(requestValue(fd, CI_IIFDG_ISSTARTED, generator), 1);
    EXPECT_EQ(allocate(fd, generator, 4096), -EADDRINUSE);  // frames are allocated while stopped

    // Acquisition: any free frame (the lowest id), or a given one.
    EXPECT_EQ(acquireFrame(fd, generator), a);
    EXPECT_EQ(acquireFrame(fd, generator, static_cast<uint32_t>(a)), -EALREADY);
    EXPECT_EQ(acquireFrame(fd, generator, 999), -EINVAL);
    EXPECT_EQ(acquireFrame(fd, generator), b);
    EXPECT_EQ(acquireFrame(fd, generator), -EALREADY);  // none left
    EXPECT_EQ(releaseFrame(fd, generator, static_cast<uint32_t>(b), CI_DG_FRAMETRIG{}, false), 0);
    EXPECT_EQ(releaseFrame(fd, generator, static_cast<uint32_t>(b), CI_DG_FRAMETRIG{}, false), -EINVAL);

    // Nothing sent yet: the wait never hangs.
    EXPECT_EQ(wait(fd, generator, false), -EALREADY);
    EXPECT_EQ(wait(fd, generator, true), -ETIME);

    // Gasket 2 is fed while the generator runs.
    CI_GASKET_PARAM info{};
    info.uiGasket = 2;
    ASSERT_EQ(request(fd, CI_GASKET_GETINFO, &info), 0);
    EXPECT_EQ(info.sGasketInfo.eType, CI_GASKET_PARALLEL);

    // Deregistering frees every frame, the one with the user included.
    EXPECT_EQ(driver->generator(generator)->frames.size(), 2u);
    ASSERT_EQ(requestValue(fd, CI_IIFDG_REGISTER, generator), 0);
    EXPECT_EQ(driver->liveObjects().generatorFrames, 0u);
    EXPECT_EQ(driver->liveObjects().memoryObjects, 0u);
    EXPECT_EQ(requestValue(fd, CI_IIFDG_REGISTER, generator), -EINVAL);
}

TEST_F(IspGenerator, ReleaseChecksTheFrameGeometry)
{
    int fd = openDevice();
    int generator = registerGenerator(fd);
    const long frame = allocate(fd, generator, 4096);
    ASSERT_GT(frame, 0);
    ASSERT_EQ(start(fd, generator, CI_DGFMT_PARALLEL, 12, 2, MOSAIC_RGGB), 0);
    struct Case {
        const char *what;
        CI_DG_FRAMETRIG t;
    } cases[] = {
        {"vertical blanking 13", geometry(64, 8, 4, 100, 13)},
        {"horizontal blanking 99", geometry(64, 8, 4, 99, 14)},
        {"stride not a multiple of 64", geometry(100, 8, 4)},
        {"stride below one line", geometry(64, 44, 4)},  // 22 pixels x 3 bytes = 66
        {"beyond the frame buffer", geometry(1024, 8, 5)},
        {"no width", geometry(64, 0, 4)},
        {"no height", geometry(64, 8, 0)},
        {"odd width", geometry(64, 7, 4)},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(acquireFrame(fd, generator), frame) << c.what;
        EXPECT_EQ(releaseFrame(fd, generator, static_cast<uint32_t>(frame), c.t, true), -EINVAL) << c.what;
        ASSERT_EQ(releaseFrame(fd, generator, static_cast<uint32_t>(frame), c.t, false), 0) << c.what;
    }
    ASSERT_EQ(acquireFrame(fd, generator), frame);
    ASSERT_EQ(requestValue(fd, CI_IIFDG_STOP, generator), 0);
    EXPECT_EQ(releaseFrame(fd, generator, static_cast<uint32_t>(frame), geometry(64, 8, 4), true), -ECANCELED);
    EXPECT_EQ(driver->generator(generator)->frames[0].second, IspFrameState::User);
    CI_DG_FRAMEINFO info{};
    info.datagenId = generator;
    info.uiFrameId = static_cast<uint32_t>(frame);
    EXPECT_EQ(request(fd, CI_IIFDG_FREE, &info), 0);
    EXPECT_EQ(request(fd, CI_IIFDG_FREE, &info), -EINVAL);
}

TEST_F(IspGenerator, AOneLineMipiFrameHoldsItsFrameEnd)
{
    int fd = openDevice();
    int generator = registerGenerator(fd);
    // RAW12, 36 samples: a 60-byte line, stride 64; the frame end needs 4 + 60 + 4 = 68 bytes.
    const long tight = allocate(fd, generator, 64), roomy = allocate(fd, generator, 128);
    ASSERT_EQ(start(fd, generator, CI_DGFMT_MIPI, 12, 0, MOSAIC_RGGB), 0);
    ASSERT_EQ(acquireFrame(fd, generator, static_cast<uint32_t>(tight)), tight);
    EXPECT_EQ(releaseFrame(fd, generator, static_cast<uint32_t>(tight), geometry(64, 36, 1), true), -EINVAL);
    ASSERT_EQ(acquireFrame(fd, generator, static_cast<uint32_t>(roomy)), roomy);
    EXPECT_EQ(releaseFrame(fd, generator, static_cast<uint32_t>(roomy), geometry(64, 36, 1), true), 0);
}

TEST_F(IspGenerator, WiderThanTheGasketIsRefused)
{
    IspProfile profile = IspProfile::standard();
    profile.info.gasket_aMaxWidth[2] = 16;
    driver->setProfile(profile);
    int fd = openDevice();
    int generator = registerGenerator(fd);
    const long frame = allocate(fd, generator, 4096);
    ASSERT_EQ(start(fd, generator, CI_DGFMT_PARALLEL, 12, 2, MOSAIC_RGGB), 0);
    ASSERT_EQ(acquireFrame(fd, generator), frame);
    EXPECT_EQ(releaseFrame(fd, generator, static_cast<uint32_t>(frame), geometry(64, 18, 2), true), -EINVAL);
    EXPECT_EQ(releaseFrame(fd, generator, static_cast<uint32_t>(frame), geometry(64, 16, 2), true), 0);
    EXPECT_EQ(wait(fd, generator, true), 0);
    EXPECT_EQ(wait(fd, generator, false), -EALREADY);
}

TEST_F(IspGenerator, OneStartedGeneratorPerGasket)
{
    IspProfile profile = IspProfile::standard();
    profile.info.config_ui8NIIFDataGenerator = 2;
    driver->setProfile(profile);
    int fd = openDevice();
    int first = registerGenerator(fd), second = registerGenerator(fd);
    EXPECT_EQ(second, 1);
    ASSERT_EQ(start(fd, first, CI_DGFMT_PARALLEL, 12, 2, MOSAIC_RGGB), 0);
    EXPECT_EQ(start(fd, second, CI_DGFMT_PARALLEL, 12, 2, MOSAIC_RGGB), -EADDRINUSE);
    EXPECT_EQ(start(fd, second, CI_DGFMT_PARALLEL, 12, 3, MOSAIC_RGGB), 0);
}

TEST_F(IspGenerator, CorruptedFrameIdOnAcquisition)
{
    int fd = openDevice();
    int generator = registerGenerator(fd);
    ASSERT_GT(allocate(fd, generator, 4096), 0);
    driver->corrupt(IspCorruption::GeneratorAcquireFrameId, 77);
    EXPECT_EQ(acquireFrame(fd, generator), 77);
}

struct EndToEnd {
    uint32_t format;
    unsigned depth;
    pxlFormat extraction;
    unsigned outputDepth;
};

class IspGeneratorEndToEnd : public IspTest, public ::testing::WithParamInterface<EndToEnd> {};

TEST_P(IspGeneratorEndToEnd, OutputsCarryTheDecodedSamples)
{
    const EndToEnd c = GetParam();
    int fd = openDevice();
    PipeSetup setup;
    setup.width = 12;
    setup.height = 4;
    setup.imager = 0;  // a MIPI gasket
    setup.display = c.extraction;
    setup.raw2D = BAYER_TIFF_12;
    int pipeline = startedPipeline(fd, setup, 1);
    long display = createBuffer(fd, pipeline, CI_ALLOC_DISP);
    long raw = createBuffer(fd, pipeline, CI_ALLOC_RAW2D);
    int generator = startedGenerator(fd, c.format, static_cast<uint8_t>(c.depth), 0, 4096, 1);
    CI_BUFFID ids{};
    ids.dispId = static_cast<uint32_t>(display);
    ids.idRaw2D = static_cast<uint32_t>(raw);
    ASSERT_EQ(trigger(fd, pipeline, ids), 0);
    const std::vector<uint16_t> samples = testSamples(12, 4, c.depth);
    ASSERT_EQ(sendSamples(fd, generator, samples, 12, 4, c.format, c.depth), 0);
    CI_BUFFER_PARAM shot;
    ASSERT_GT(acquire(fd, pipeline, false, &shot), 0);
    EXPECT_EQ(shot.shot.bFrameError, 0);
    EXPECT_EQ(driver->gasket(0).crcErrors, 0);

    // Fewer bits are widened by repeating their top bits, more are cut.
    auto scaled = [&](uint16_t v, unsigned depth) {
        return depth >= c.depth ? (v << (depth - c.depth)) | (v >> (2 * c.depth - depth)) : v >> (c.depth - depth);
    };
    // Data extraction, 10 bits: three samples a 32-bit word; 12 bits: two in three bytes from the low end.
    std::vector<uint8_t> d = readObject(fd, static_cast<uint32_t>(display), shot.shot.aDispSize[0] * 4);
    for (uint32_t y = 0; y < 4; ++y)
        for (uint32_t x = 0; x < 12; ++x) {
            const uint8_t *line = d.data() + y * shot.shot.aDispSize[0];
            uint32_t value;
            if (c.outputDepth == 10) {
                uint32_t word;
                std::memcpy(&word, line + x / 3 * 4, 4);
                value = (word >> (10 * (x % 3))) & 0x3FF;
            } else {
                const uint8_t *p = line + x / 2 * 3;
                value = x % 2 == 0 ? p[0] | ((p[1] & 0xF) << 8) : (p[1] >> 4) | (p[2] << 4);
            }
            EXPECT_EQ(value, scaled(samples[y * 12 + x], c.outputDepth)) << x << "," << y;
        }
    // RAW 2D, TIFF 12: two samples in three bytes from the high end; stride 18, not aligned.
    EXPECT_EQ(shot.shot.aRaw2DSize[0], 18u);
    std::vector<uint8_t> r = readObject(fd, static_cast<uint32_t>(raw), 18 * 4);
    for (uint32_t y = 0; y < 4; ++y)
        for (uint32_t x = 0; x < 12; x += 2) {
            const uint8_t *p = r.data() + y * 18 + x / 2 * 3;
            EXPECT_EQ((p[0] << 4) | (p[1] >> 4), scaled(samples[y * 12 + x], 12));
            EXPECT_EQ(((p[1] & 0xF) << 8) | p[2], scaled(samples[y * 12 + x + 1], 12));
        }
}

INSTANTIATE_TEST_SUITE_P(WireFormats, IspGeneratorEndToEnd,
                         ::testing::Values(EndToEnd{CI_DGFMT_PARALLEL, 10, BAYER_RGGB_10, 10},
                                           EndToEnd{CI_DGFMT_PARALLEL, 12, BAYER_RGGB_12, 12},
                                           EndToEnd{CI_DGFMT_MIPI, 10, BAYER_RGGB_10, 10},
                                           EndToEnd{CI_DGFMT_MIPI, 12, BAYER_RGGB_12, 12},
                                           EndToEnd{CI_DGFMT_MIPI, 14, BAYER_RGGB_12, 12},
                                           EndToEnd{CI_DGFMT_MIPI_LF, 10, BAYER_RGGB_12, 12},
                                           EndToEnd{CI_DGFMT_MIPI_LF, 14, BAYER_RGGB_10, 10}));

TEST_F(IspGenerator, ChecksumErrorsAreCountedOnTheGasket)
{
    int fd = openDevice();
    PipeSetup setup;
    setup.imager = 1;
    setup.display = BAYER_RGGB_10;
    int pipeline = startedPipeline(fd, setup, 1);
    long display = createBuffer(fd, pipeline, CI_ALLOC_DISP);
    int generator = startedGenerator(fd, CI_DGFMT_MIPI, 10, 1, 4096, 1);
    CI_BUFFID ids{};
    ids.dispId = static_cast<uint32_t>(display);
    ASSERT_EQ(trigger(fd, pipeline, ids), 0);
    std::vector<uint8_t> bytes;
    const uint32_t stride = buildFrame(CI_DGFMT_MIPI, 10, 8, 4, testSamples(8, 4, 10), bytes);
    bytes[2 * stride + 6] ^= 0x10;  // a payload byte of line 2
    ASSERT_EQ(sendFrame(fd, generator, bytes, stride, 8, 4), 0);
    CI_BUFFER_PARAM shot;
    ASSERT_GT(acquire(fd, pipeline, false, &shot), 0);
    EXPECT_EQ(shot.shot.bFrameError, 1);
    CI_GASKET_PARAM info{};
    info.uiGasket = 1;
    ASSERT_EQ(request(fd, CI_GASKET_GETINFO, &info), 0);
    EXPECT_EQ(info.sGasketInfo.eType, CI_GASKET_MIPI);
    EXPECT_EQ(info.sGasketInfo.ui32FrameCount, 1u);
    EXPECT_EQ(info.sGasketInfo.ui8MipiCrcError, 1);
    EXPECT_EQ(info.sGasketInfo.ui8MipiHdrError, 0);
    EXPECT_EQ(info.sGasketInfo.ui8MipiEccError, 0);
}

// A sensor model: frames of one grey level, 30 frames a second.
class FlatSensor : public simboard::GasketSource {
public:
    bool streaming() const override { return on; }
    uint64_t nextFrame(BayerFrame &frame) override
    {
        ++frames;
        frame.width = 8;
        frame.height = 4;
        frame.bitDepth = 10;
        frame.mosaic = MOSAIC_RGGB;
        frame.samples.assign(32, level);
        return 33'333'333;
    }
    bool on = true;
    uint16_t level = 400;
    unsigned frames = 0;
};

TEST_F(IspGenerator, FramesFromASensorOnAReservedGasket)
{
    auto sensor = std::make_shared<FlatSensor>();
    driver->attachSource(3, sensor);
    int fd = openDevice();
    PipeSetup setup;
    setup.imager = 3;
    setup.display = BAYER_RGGB_10;
    int pipeline = startedPipeline(fd, setup, 2);
    long display = createBuffer(fd, pipeline, CI_ALLOC_DISP);
    CI_BUFFID ids{};
    ids.dispId = static_cast<uint32_t>(display);

    // Not reserved: the sensor's frames do not reach the ISP, and nothing hangs.
    ASSERT_EQ(trigger(fd, pipeline, ids), 0);
    CI_BUFFER_PARAM shot;
    EXPECT_EQ(acquire(fd, pipeline, true, &shot), -ETIME);
    EXPECT_EQ(sensor->frames, 0u);

    CI_GASKET gasket{};
    gasket.uiGasket = 3;
    gasket.bParallel = 1;
    ASSERT_EQ(request(fd, CI_GASKET_ACQUIRE, &gasket), 0);
    const uint64_t before = driver->now();
    long id = acquire(fd, pipeline, true, &shot);  // the queued shot completes with the next frame
    ASSERT_GT(id, 0);
    EXPECT_EQ(sensor->frames, 1u);
    EXPECT_EQ(driver->now() - before, 33'333'333u);
    std::vector<uint8_t> d = readObject(fd, static_cast<uint32_t>(display), 4);
    uint32_t word;
    std::memcpy(&word, d.data(), 4);
    EXPECT_EQ(word & 0x3FF, 400u);

    // A frame while no shot is queued is missed.
    driver->tick();
    EXPECT_EQ(driver->pipeline(pipeline)->missedFrames, 1);
    ASSERT_EQ(release(fd, pipeline, static_cast<int>(id)), 0);
    ASSERT_EQ(trigger(fd, pipeline, ids), 0);  // completes at once: the sensor streams
    ASSERT_GT(acquire(fd, pipeline, false, &shot), 0);
    EXPECT_EQ(shot.shot.i32MissedFrames, 1);
    EXPECT_EQ(driver->gasket(3).frameCount, 3u);
}

// A model that leaves a mark in the statistics and on the frame.
class MarkingModel : public simboard::IspImageModel {
public:
    void process(simboard::ShotFrame &frame) override
    {
        ++calls;
        std::memset(frame.statistics, 0x11, 16);  // exposure statistics
        std::memset(frame.statistics + 5440, 0xFF, 4);  // the driver writes the status word itself
        width = frame.image->width;
        frame.frameError = true;
    }
    unsigned calls = 0;
    uint32_t width = 0;
};

TEST_F(IspGenerator, TheImageModelIsReplaceable)
{
    auto model = std::make_unique<MarkingModel>();
    MarkingModel *marking = model.get();
    driver->setImageModel(std::move(model));
    int fd = openDevice();
    PipeSetup setup;
    setup.display = BAYER_RGGB_10;
    int pipeline = startedPipeline(fd, setup, 1);
    int generator = startedGenerator(fd, CI_DGFMT_PARALLEL, 12, setup.imager, 4096, 1);
    ASSERT_EQ(trigger(fd, pipeline, CI_BUFFID{}), 0);
    ASSERT_EQ(sendSamples(fd, generator, testSamples(8, 4, 12), 8, 4), 0);
    CI_BUFFER_PARAM shot;
    ASSERT_GT(acquire(fd, pipeline, false, &shot), 0);
    EXPECT_EQ(marking->calls, 1u);
    EXPECT_EQ(marking->width, 8u);
    EXPECT_EQ(shot.shot.bFrameError, 1);
    std::vector<uint8_t> stats = readObject(fd, driver->pipeline(pipeline)->shots[0].mapIds[0], 6108);
    EXPECT_EQ(word32(stats, 0), 0x11111111u);
    EXPECT_EQ(word32(stats, 5440), 1u);
}

TEST_F(IspGenerator, FullHdFrameThroughEveryOutput)
{
    int fd = openDevice();
    PipeSetup setup;
    setup.width = 1920;
    setup.height = 1080;
    setup.display = BGR_888_32;
    setup.displayWidth = 1920;
    setup.displayHeight = 1080;
    setup.encoder = YUV_420_PL12_10;
    setup.encoderWidth = 1920;
    setup.encoderHeight = 1080;
    setup.raw2D = BAYER_TIFF_12;
    setup.hdrExtraction = BGR_101010_32;
    int pipeline = startedPipeline(fd, setup, 1);
    CI_BUFFID ids{};
    ids.dispId = static_cast<uint32_t>(createBuffer(fd, pipeline, CI_ALLOC_DISP));
    ids.encId = static_cast<uint32_t>(createBuffer(fd, pipeline, CI_ALLOC_ENC));
    ids.idRaw2D = static_cast<uint32_t>(createBuffer(fd, pipeline, CI_ALLOC_RAW2D));
    ids.idHDRExt = static_cast<uint32_t>(createBuffer(fd, pipeline, CI_ALLOC_HDREXT));
    std::vector<uint16_t> samples(1920 * 1080, 2048);  // mid grey, 12 bits
    std::vector<uint8_t> bytes;
    const uint32_t stride = buildFrame(CI_DGFMT_PARALLEL, 12, 1920, 1080, samples, bytes);
    int generator = startedGenerator(fd, CI_DGFMT_PARALLEL, 12, setup.imager, static_cast<uint32_t>(bytes.size()), 1);
    ASSERT_EQ(trigger(fd, pipeline, ids), 0);
    ASSERT_EQ(sendFrame(fd, generator, bytes, stride, 1920, 1080), 0);
    CI_BUFFER_PARAM shot;
    ASSERT_GT(acquire(fd, pipeline, false, &shot), 0);
    EXPECT_EQ(shot.shot.bFrameError, 0);
    std::vector<uint8_t> d = readObject(fd, ids.dispId, 16);
    EXPECT_EQ(d[0], 128);
    EXPECT_EQ(d[2], 128);
    // 10-bit NV12 luma: three samples a word; grey 512.
    std::vector<uint8_t> e = readObject(fd, ids.encId, 16);
    EXPECT_EQ(word32(e, 0) & 0x3FF, 512u);
}

}  // namespace
}  // namespace isp_generator_test
