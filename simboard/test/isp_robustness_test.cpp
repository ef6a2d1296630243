// Records of any content: the driver answers an errno and never crashes,
// reads or writes out of bounds, or allocates without bound.
#include <random>

#include "isp_test_support.h"

namespace isp_robustness_test {
namespace {

using namespace isptest;

using IspRobustness = IspTest;

// Writes a raw 32-bit value into an enum field, as a record from anywhere may hold it.
template <class E>
void setRaw(E &field, int32_t value)
{
    static_assert(sizeof(E) == 4);
    std::memcpy(&field, &value, 4);
}

TEST_F(IspRobustness, OutputTypesMustDescribeTheirFormat)
{
    int fd = openDevice();
    struct Case {
        const char *what;
        void (*spoil)(CI_PIPE_INFO &info);
    } cases[] = {
        {"Bayer packing of one byte per 255 samples",
         [](CI_PIPE_INFO &i) { i.config.eDispType.ui8PackedElements = 255, i.config.eDispType.ui8PackedStride = 1; }},
        {"RGB of one byte a pixel", [](CI_PIPE_INFO &i) { i.config.eDispType.ui8PackedStride = 1; }},
        {"no packing at all", [](CI_PIPE_INFO &i) { i.config.eDispType.ui8PackedElements = 0; }},
        {"bit depth 0", [](CI_PIPE_INFO &i) { i.config.eEncType.ui8BitDepth = 0; }},
        {"bit depth 200", [](CI_PIPE_INFO &i) { i.config.eRaw2DExtraction.ui8BitDepth = 200; }},
        {"chroma subsampling 0", [](CI_PIPE_INFO &i) { i.config.eEncType.ui8HSubsampling = 0; }},
        {"format unknown", [](CI_PIPE_INFO &i) { setRaw(i.config.eHDRExtType.eFmt, 1000); }},
        {"format PXL_N", [](CI_PIPE_INFO &i) { setRaw(i.config.eHDRExtType.eFmt, PXL_N); }},
        {"buffer kind out of range", [](CI_PIPE_INFO &i) { setRaw(i.config.eDispType.eBuffer, 77); }},
        {"buffer kind of another family", [](CI_PIPE_INFO &i) { i.config.eRaw2DExtraction.eBuffer = TYPE_RGB; }},
        {"no format but a buffer kind", [](CI_PIPE_INFO &i) { setRaw(i.config.eHDRInsType.eFmt, PXL_NONE); }},
        {"Bayer order out of range", [](CI_PIPE_INFO &i) { setRaw(i.iifConfig.eBayerFormat, 100); }},
        {"negative Bayer order", [](CI_PIPE_INFO &i) { setRaw(i.iifConfig.eBayerFormat, -1); }},
    };
    PipeSetup setup;
    setup.display = RGB_888_32;
    setup.displayWidth = 8;
    setup.displayHeight = 4;
    setup.encoder = YUV_420_PL12_8;
    setup.encoderWidth = 8;
    setup.encoderHeight = 4;
    setup.raw2D = BAYER_TIFF_12;
    setup.hdrExtraction = BGR_101010_32;
    setup.hdrInsertion = BGR_161616_64;
    const CI_PIPE_INFO good = makeInfo(setup);
    CI_PIPE_INFO info = good;
    const long pipeline = request(fd, CI_PIPELINE_REGISTER, &info);
    ASSERT_GT(pipeline, 0);
    auto load = makeLoad(setup);
    ASSERT_EQ(update(fd, static_cast<int>(pipeline), info, load, CI_UPD_ALL), 0);

    PipeSetup bayer = setup;  // the same with a data extraction
    bayer.display = BAYER_RGGB_12;
    const CI_PIPE_INFO goodBayer = makeInfo(bayer);
    for (const Case &c : cases) {
        for (const CI_PIPE_INFO *base : {&good, &goodBayer}) {
            info = *base;
            c.spoil(info);
            EXPECT_EQ(request(fd, CI_PIPELINE_REGISTER, &info), -EINVAL) << c.what;
            if (base == &good) {
                EXPECT_EQ(update(fd, static_cast<int>(pipeline), info, load, CI_UPD_ALL), -EINVAL) << c.what;
            }
        }
    }
    EXPECT_EQ(driver->pipelineIds().size(), 1u);
    EXPECT_EQ(std::memcmp(&driver->pipeline(static_cast<int>(pipeline))->info.config, &good.config,
                          sizeof(good.config)),
              0);
}

TEST_F(IspRobustness, GeneratorSetupWithARawBayerOrder)
{
    int fd = openDevice();
    const long generator = requestValue(fd, CI_IIFDG_REGISTER, -1);
    ASSERT_GE(generator, 0);
    CI_DG_PARAM param{};
    param.datagenId = static_cast<int>(generator);
    param.sDG.eFormat = CI_DGFMT_MIPI;
    param.sDG.ui8FormatBitdepth = 10;
    param.sDG.ui8Gasket = 0;
    for (int32_t mosaic : {100, -3, 5, 0}) {
        setRaw(param.sDG.eBayerMosaic, mosaic);
        EXPECT_EQ(request(fd, CI_IIFDG_START, &param), -EINVAL) << mosaic;
    }
    setRaw(param.sDG.eFormat, 7);
    param.sDG.eBayerMosaic = MOSAIC_BGGR;
    EXPECT_EQ(request(fd, CI_IIFDG_START, &param), -EINVAL);
    EXPECT_EQ(requestValue(fd, CI_IIFDG_ISSTARTED, static_cast<int>(generator)), 0);
}

TEST_F(IspRobustness, DefectListsAreBoundedByTheCapture)
{
    int fd = openDevice();
    PipeSetup setup;
    setup.display = BAYER_RGGB_8;  // 8 x 4 pixels
    const int pipeline = registerPipeline(fd, setup);
    CI_PIPE_INFO info = makeInfo(setup);
    auto load = makeLoad(setup);
    std::vector<uint16_t> defects(64, 1);  // 32 pairs: more than the 8 x 4 pixels
    info.dpfConfig.sInput.apDefectInput = defects.data();
    for (uint32_t count : {33u, 0x80000000u, 0xFFFFFFFFu}) {
        info.dpfConfig.sInput.ui32NDefect = count;
        EXPECT_EQ(update(fd, pipeline, info, load, CI_UPD_DPF_INPUT), -E2BIG) << count;
    }
    info.dpfConfig.sInput.ui32NDefect = 32;
    EXPECT_EQ(update(fd, pipeline, info, load, CI_UPD_DPF_INPUT), 0);
    EXPECT_EQ(driver->pipeline(pipeline)->defects.size(), 64u);

    // A capture rectangle beyond the context's limits does not widen the bound.
    setup.width = 16384;
    setup.height = 16384;
    info = makeInfo(setup);
    info.dpfConfig.sInput.apDefectInput = defects.data();
    info.dpfConfig.sInput.ui32NDefect = 8192u * 8192u + 1;
    EXPECT_EQ(update(fd, pipeline, info, load, CI_UPD_DPF_INPUT), -E2BIG);
}

TEST_F(IspRobustness, HugeSizesAreRefusedWithoutAllocating)
{
    int fd = openDevice();
    PipeSetup setup;
    setup.display = BAYER_RGGB_8;
    setup.dpfWriteMapSize = 0xFFFFFFFFu;
    const int pipeline = registerPipeline(fd, setup);
    EXPECT_EQ(addShot(fd, pipeline), -E2BIG);  // its defect-map output
    for (uint32_t size : {0xFFFFFFFFu, 0x80000000u, (1u << 30) + 1}) {
        EXPECT_EQ(createBuffer(fd, pipeline, CI_ALLOC_DISP, size), -E2BIG) << size;
        EXPECT_EQ(createBuffer(fd, pipeline, CI_ALLOC_LSHMAT, size), -E2BIG) << size;
    }
    const long generator = requestValue(fd, CI_IIFDG_REGISTER, -1);
    CI_DG_FRAMEINFO frame{};
    frame.datagenId = static_cast<int>(generator);
    frame.uiSize = 0xFFFFFFFFu;
    EXPECT_EQ(request(fd, CI_IIFDG_ALLOCATE, &frame), -E2BIG);
    const auto live = driver->liveObjects();
    EXPECT_EQ(live.shots + live.buffers + live.matrices + live.generatorFrames + live.memoryObjects, 0u);
}

// A sensor model sending frames that do not describe themselves.
class StrangeSensor : public simboard::GasketSource {
public:
    bool streaming() const override { return true; }
    uint64_t nextFrame(simboard::BayerFrame &frame) override
    {
        frame.width = 8;
        frame.height = 4;
        frame.bitDepth = depth;
        frame.samples.assign(32, 0x3FF);
        return 1000;
    }
    uint8_t depth = 0;
};

TEST_F(IspRobustness, SensorFramesOfImpossibleDepthAreErroneous)
{
    auto sensor = std::make_shared<StrangeSensor>();
    driver->attachSource(3, sensor);
    int fd = openDevice();
    PipeSetup setup;
    setup.imager = 3;
    setup.display = RGB_888_32;
    setup.displayWidth = 8;
    setup.displayHeight = 4;
    const int pipeline = startedPipeline(fd, setup, 1);
    const long display = createBuffer(fd, pipeline, CI_ALLOC_DISP);
    CI_GASKET gasket{};
    gasket.uiGasket = 3;
    gasket.bParallel = 1;
    ASSERT_EQ(request(fd, CI_GASKET_ACQUIRE, &gasket), 0);
    CI_BUFFID ids{};
    ids.dispId = static_cast<uint32_t>(display);
    for (uint8_t depth : {0, 17, 255, 10}) {
        sensor->depth = depth;
        ASSERT_EQ(trigger(fd, pipeline, ids), 0) << int(depth);
        CI_BUFFER_PARAM shot;
        const long id = acquire(fd, pipeline, false, &shot);
        ASSERT_GT(id, 0) << int(depth);
        EXPECT_EQ(shot.shot.bFrameError, depth == 10 ? 0 : 1) << int(depth);
        ASSERT_EQ(release(fd, pipeline, static_cast<int>(id)), 0);
    }
}

// Records for every request, built valid and then spoiled a few bytes at a
// time (so that they reach past the first checks): whatever they hold, the
// answer is a value or an errno, frames keep flowing, and closing the
// connection frees everything. Pointers inside records point to memory of
// the right size or are null.
class IspRandomRecords : public IspTest, public ::testing::WithParamInterface<unsigned> {
protected:
    void SetUp() override
    {
        IspTest::SetUp();
        random.seed(GetParam());
        fd = openDevice();
        setup.display = RGB_888_32;
        setup.displayWidth = 8;
        setup.displayHeight = 4;
        setup.encoder = YUV_420_PL12_8;
        setup.encoderWidth = 8;
        setup.encoderHeight = 4;
        setup.raw2D = BAYER_TIFF_12;
        setup.hdrExtraction = BGR_101010_32;
        setup.hdrInsertion = BGR_161616_64;
        setup.tiling = true;
        load = makeLoad(setup);
        generator = startedGenerator(fd, CI_DGFMT_PARALLEL, 12, setup.imager, 4096, 3);
        refreshFrames();
        bringUpPipeline();
    }

    void refreshFrames()
    {
        const auto view = driver->generator(generator);
        frames.clear();
        for (const auto &frame : view->frames)
            frames.push_back(frame.first);
    }

    void bringUpPipeline()
    {
        pipeline = startedPipeline(fd, setup, 3);
        buffers.clear();
        for (CI_ALLOC_BUFF type :
             {CI_ALLOC_ENC, CI_ALLOC_DISP, CI_ALLOC_RAW2D, CI_ALLOC_HDREXT, CI_ALLOC_HDRINS, CI_ALLOC_LSHMAT})
            buffers.push_back(static_cast<uint32_t>(createBuffer(fd, pipeline, type, type == CI_ALLOC_LSHMAT ? 4096 : 0)));
    }

    // Sends an 8 x 4 parallel 12-bit frame in a free generator frame that
    // can hold it; the records may have left frames of any size.
    void sendAnyFrame()
    {
        std::vector<uint8_t> bytes;
        const uint32_t stride = buildFrame(CI_DGFMT_PARALLEL, 12, 8, 4, testSamples(8, 4, 12), bytes);
        CI_DG_FRAMEINFO info{};
        info.datagenId = generator;
        if (request(fd, CI_IIFDG_ACQUIRE, &info) != 0)
            return;
        CI_DG_FRAMETRIG t{};
        t.datagenId = generator;
        t.uiFrameId = info.uiFrameId;
        if (void *p = mapId(fd, info.uiFrameId, bytes.size(), PROT_WRITE)) {
            std::memcpy(p, bytes.data(), bytes.size());
            PLATFORM_MemUnmap(p, bytes.size());
            t.uiStride = stride;
            t.uiWidth = 8;
            t.uiHeight = 4;
            t.uiHorizontalBlanking = 100;
            t.uiVerticalBlanking = 14;
            t.bTrigger = 1;
        }
        request(fd, CI_IIFDG_RELEASE, &t);
    }

    uint32_t any(const std::vector<uint32_t> &ids) { return ids[random() % ids.size()]; }

    // A record the driver would take, for request `index`.
    void build(CI_eIOCTL index, std::vector<uint8_t> &record)
    {
        std::fill(record.begin(), record.end(), 0);
        uint8_t *r = record.data();
        auto put = [r](size_t offset, auto value) { std::memcpy(r + offset, &value, sizeof(value)); };
        const uint32_t id = static_cast<uint32_t>(pipeline);
        switch (index) {
        case CI_LINESTORE_SET:
            put(0, int32_t{0}), put(4, int32_t{-1});
            break;
        case CI_PIPELINE_REGISTER:
            put(0, makeInfo(setup));
            break;
        case CI_CONFIG_UPDATE: {
            CI_PIPE_PARAM &param = *reinterpret_cast<CI_PIPE_PARAM *>(r);
            param.info = makeInfo(setup);
            param.identifier = pipeline;
            param.eUpdateMask = static_cast<int>(random() % 2048);
            param.bUpdateASAP = random() % 2;
            break;
        }
        case CI_CONFIG_ADDPOOL:
        case CI_CAPTURE_ACQUIRE:
        case CI_CAPTURE_HASAVAILABLE:
            put(0, id);
            put(4, static_cast<uint8_t>(random() % 2));
            break;
        case CI_CREATE_BUFF:
        case CI_DEREGISTER_BUFF: {
            CI_ALLOC_PARAM &param = *reinterpret_cast<CI_ALLOC_PARAM *>(r);
            param.configId = id;
            param.type = static_cast<CI_ALLOC_BUFF>(random() % 6);
            param.bTiled = random() % 4 == 0;
            param.uiSize = random() % 2 ? 0 : static_cast<uint32_t>(random() % 70000);
            param.uiMemMapId = any(buffers);
            break;
        }
        case CI_PIPELINE_GET_LSH:
        case CI_PIPELINE_CHANGE_LSH:
            put(0, id), put(4, random() % 4 ? buffers.back() : 0u);
            break;
        case CI_PIPELINE_SET_LSH: {
            CI_LSH_SET_PARAM &param = *reinterpret_cast<CI_LSH_SET_PARAM *>(r);
            param.configId = id;
            param.matrixId = buffers.back();
            param.config.ui8BitsPerDiff = 6;
            param.config.ui16Height = 16;
            param.config.ui32Stride = 64;
            break;
        }
        case CI_CAPTURE_TRIGGER:
        case CI_CAPTURE_RELEASE: {
            CI_BUFFER_TRIGG &param = *reinterpret_cast<CI_BUFFER_TRIGG *>(r);
            param.captureId = pipeline;
            param.bBlocking = random() % 2;
            if (index == CI_CAPTURE_RELEASE) {
                param.shotId = static_cast<int>(random() % 40);
            } else if (random() % 2) {
                param.bufferIds.encId = buffers[0];
                param.bufferIds.dispId = buffers[1];
                param.bufferIds.idRaw2D = buffers[2];
                param.bufferIds.idHDRExt = buffers[3];
                param.bufferIds.idHDRIns = buffers[4];
            }
            break;
        }
        case CI_GASKET_ACQUIRE:
        case CI_GASKET_GETINFO:
            r[0] = static_cast<uint8_t>(random() % 4);
            break;
        case CI_IIFDG_START: {
            CI_DG_PARAM &param = *reinterpret_cast<CI_DG_PARAM *>(r);
            param.datagenId = generator;
            param.sDG.eFormat = random() % 4 ? CI_DGFMT_PARALLEL : CI_DGFMT_MIPI;
            param.sDG.ui8FormatBitdepth = 12;
            param.sDG.ui8Gasket = setup.imager;
            param.sDG.eBayerMosaic = MOSAIC_RGGB;
            break;
        }
        case CI_IIFDG_ALLOCATE:
        case CI_IIFDG_ACQUIRE:
        case CI_IIFDG_FREE: {
            CI_DG_FRAMEINFO &param = *reinterpret_cast<CI_DG_FRAMEINFO *>(r);
            param.datagenId = generator;
            param.uiSize = 4096;
            param.uiFrameId = random() % 2 ? 0 : any(frames);
            break;
        }
        case CI_IIFDG_RELEASE: {
            std::vector<uint8_t> bytes;
            const uint32_t stride = buildFrame(CI_DGFMT_PARALLEL, 12, 8, 4, testSamples(8, 4, 12), bytes);
            CI_DG_FRAMEINFO free{};  // a frame with the user, when one is free
            free.datagenId = generator;
            const bool got = request(fd, CI_IIFDG_ACQUIRE, &free) == 0;
            CI_DG_FRAMETRIG &param = *reinterpret_cast<CI_DG_FRAMETRIG *>(r);
            param.datagenId = generator;
            param.uiFrameId = got ? free.uiFrameId : any(frames);
            param.uiStride = stride;
            param.uiWidth = 8;
            param.uiHeight = 4;
            param.uiHorizontalBlanking = 100;
            param.uiVerticalBlanking = 14;
            param.bTrigger = random() % 4 != 0;
            break;
        }
        case CI_IIFDG_WAITPROCESSED:
            put(0, generator), put(4, static_cast<uint8_t>(random() % 2));
            break;
        case CI_DEBUG_REG:
            r[0] = random() % 2, r[1] = static_cast<uint8_t>(random() % 4);
            put(4, static_cast<uint32_t>(random() % 64 * 4));
            break;
        default:
            break;
        }
    }

    // A few bytes changed at random: single bytes, or a whole word at its extreme.
    void spoil(std::vector<uint8_t> &record, size_t size)
    {
        for (unsigned n = random() % 4; n > 0; --n) {
            const size_t at = random() % size;
            if (random() % 4 == 0 && at + 4 <= size) {
                const uint32_t extremes[] = {0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu, 0x10000u, 0};
                const uint32_t value = extremes[random() % 5];
                std::memcpy(record.data() + (at & ~size_t{3}), &value, 4);
            } else {
                record[at] = static_cast<uint8_t>(random());
            }
        }
    }

    std::mt19937 random;
    int fd = -1;
    int pipeline = 0;
    int generator = -1;
    PipeSetup setup;
    std::array<uint32_t, simboard::kIspLoadStructureWords> load{};
    std::vector<uint32_t> buffers, frames;
};

// Record sizes of the requests that carry a record.
size_t recordSize(CI_eIOCTL index)
{
    switch (index) {
    case CI_INFO_GET: return sizeof(CI_CONNECTION);
    case CI_LINESTORE_GET: case CI_LINESTORE_SET: return sizeof(CI_LINESTORE);
    case CI_GMALUT_GET: case CI_GMALUT_SET: return sizeof(CI_MODULE_GMA_LUT);
    case CI_TIMEST_GET: case CI_DPFINT_GET: return 4;
    case CI_SYSTIME_GET: return 8;
    case CI_RTM_GET: return sizeof(CI_RTM_INFO);
    case CI_PIPELINE_REGISTER: return sizeof(CI_PIPE_INFO);
    case CI_CONFIG_ADDPOOL: return sizeof(CI_POOL_PARAM);
    case CI_CONFIG_UPDATE: return sizeof(CI_PIPE_PARAM);
    case CI_CREATE_BUFF: case CI_DEREGISTER_BUFF: return sizeof(CI_ALLOC_PARAM);
    case CI_PIPELINE_GET_LSH: case CI_PIPELINE_CHANGE_LSH: return 8;
    case CI_PIPELINE_SET_LSH: return sizeof(CI_LSH_SET_PARAM);
    case CI_CAPTURE_TRIGGER: case CI_CAPTURE_RELEASE: return sizeof(CI_BUFFER_TRIGG);
    case CI_CAPTURE_ACQUIRE: return sizeof(CI_BUFFER_PARAM);
    case CI_CAPTURE_HASAVAILABLE: return sizeof(CI_HAS_AVAIL);
    case CI_GASKET_ACQUIRE: return sizeof(CI_GASKET);
    case CI_GASKET_GETINFO: return sizeof(CI_GASKET_PARAM);
    case CI_IIFDG_START: return sizeof(CI_DG_PARAM);
    case CI_IIFDG_ALLOCATE: case CI_IIFDG_ACQUIRE: case CI_IIFDG_FREE: return sizeof(CI_DG_FRAMEINFO);
    case CI_IIFDG_RELEASE: return sizeof(CI_DG_FRAMETRIG);
    case CI_IIFDG_WAITPROCESSED: return sizeof(CI_DG_FRAMEWAIT);
    case CI_DEBUG_REG: return sizeof(CI_DEBUG_REG_PARAM);
    default: return 0;  // an int passed by value
    }
}

TEST_P(IspRandomRecords, NeverCrashTheDriver)
{
    std::vector<uint16_t> defects(64, 3);
    std::vector<uint8_t> record(sizeof(CI_PIPE_PARAM));
    unsigned accepted = 0, shots = 0;
    for (unsigned round = 0; round < 4000; ++round) {
        if (!driver->pipeline(pipeline))  // deregistered by a request: a new one
            bringUpPipeline();
        if (round % 8 == 0) {  // a frame through whatever state the records left
            requestValue(fd, CI_CAPTURE_START, pipeline);
            if (driver->generator(generator)->frames.size() < 2) {  // freed by the records
                requestValue(fd, CI_IIFDG_STOP, generator);
                for (int k = 0; k < 2; ++k) {
                    CI_DG_FRAMEINFO more{};
                    more.datagenId = generator;
                    more.uiSize = 4096;
                    request(fd, CI_IIFDG_ALLOCATE, &more);
                }
            }
            refreshFrames();
            for (uint32_t frame : frames) {  // frames left with the user go back
                CI_DG_FRAMETRIG back{};
                back.datagenId = generator;
                back.uiFrameId = frame;
                request(fd, CI_IIFDG_RELEASE, &back);
            }
            CI_DG_PARAM start{};
            start.datagenId = generator;
            start.sDG.ui8FormatBitdepth = 12;
            start.sDG.ui8Gasket = setup.imager;
            start.sDG.eBayerMosaic = MOSAIC_RGGB;
            request(fd, CI_IIFDG_START, &start);
            CI_BUFFID ids{};
            ids.dispId = buffers[1];
            trigger(fd, pipeline, ids);
            sendAnyFrame();
            CI_BUFFER_PARAM shot;
            const long id = acquire(fd, pipeline, true, &shot);
            shots += id > 0 ? 1 : 0;
            if (id > 0)
                release(fd, pipeline, static_cast<int>(id));
        }
        const auto index = static_cast<CI_eIOCTL>(random() % CI_IOCTL_N);
        const size_t size = recordSize(index);
        long result;
        if (size == 0) {
            const int ids[] = {pipeline, generator, static_cast<int>(random() % 5) - 1, static_cast<int>(random())};
            int value = ids[random() % 4];
            if (index == CI_IIFDG_REGISTER && value >= 0)
                value = -1;  // keep the generator; deregistration is covered elsewhere
            result = requestValue(fd, index, value);
        } else {
            build(index, record);
            spoil(record, size);
            if (index == CI_CONFIG_UPDATE) {
                CI_PIPE_PARAM &param = *reinterpret_cast<CI_PIPE_PARAM *>(record.data());
                param.loadstructure = random() % 8 ? load.data() : nullptr;
                CI_MODULE_DPF_INPUT &input = param.info.dpfConfig.sInput;
                input.apDefectInput = random() % 4 ? defects.data() : nullptr;
                input.ui32NDefect %= 33;
            } else if (index == CI_PIPELINE_REGISTER) {
                reinterpret_cast<CI_PIPE_INFO *>(record.data())->dpfConfig.sInput.apDefectInput = nullptr;
            } else if (index == CI_CREATE_BUFF) {
                reinterpret_cast<CI_ALLOC_PARAM *>(record.data())->fd = 0;  // never a stranger's descriptor
            }
            result = request(fd, index, record.data());
        }
        EXPECT_NE(result, -ENOTTY) << "request " << index;
        accepted += result >= 0 ? 1 : 0;
        shots += index == CI_CAPTURE_ACQUIRE && result >= 0 ? 1 : 0;
    }
    // The records reached the driver's work, not only its checks.
    EXPECT_GT(accepted, 1500u);
    EXPECT_GT(shots, 100u);
    CI_RTM_INFO rtm{};
    ASSERT_EQ(request(fd, CI_RTM_GET, &rtm), 0);
    EXPECT_GT(rtm.aRTMEntries[0], 200u);  // frames received
    closeDevice(fd);
    EXPECT_EQ(driver->liveObjects().total(), driver->liveObjects().userMappings);
}

// Seeds whose sequences once reached unchecked enum fields, and one more.
INSTANTIATE_TEST_SUITE_P(Seeds, IspRandomRecords, ::testing::Values(3u, 5u, 20240607u));

}  // namespace
}  // namespace isp_robustness_test
