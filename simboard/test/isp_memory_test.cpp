// Memory behind map ids: mapping rules and protections, imported buffers,
// buffer sizes chosen by the driver, output layouts and lens-shading matrices.
#include <sys/syscall.h>

#include "isp_test_support.h"

namespace isp_memory_test {
namespace {

using namespace isptest;

using IspMemory = IspTest;

uint32_t pageRounded(uint32_t size)
{
    const uint32_t page = static_cast<uint32_t>(getpagesize());
    return (size + page - 1) / page * page;
}

TEST_F(IspMemory, MappingRulesAndProtections)
{
    int fd = openDevice();
    PipeSetup setup;
    setup.display = BAYER_RGGB_8;
    int pipeline = registerPipeline(fd, setup);
    CI_POOL_PARAM pool{};
    ASSERT_GT(addShot(fd, pipeline, &pool), 0);
    const uint32_t stats = pool.aMemMapIds[CI_POOL_MAP_ID_STAT];
    EXPECT_EQ(stats, 1u);  // the first object of a connection: offset = one page

    void *p = mapId(fd, stats, 6108, PROT_READ);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(driver->liveObjects().userMappings, 1u);
    const auto trace = driver->mappingTrace();
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.back().offset, getpagesize());
    EXPECT_EQ(trace.back().prot, PROT_READ);
    EXPECT_EQ(trace.back().length, 6108u);

    // A write through the read-only statistics mapping faults, as on the board.
    EXPECT_DEATH(static_cast<volatile uint8_t *>(p)[0] = 1, "");
    PLATFORM_MemUnmap(p, 6108);
    EXPECT_EQ(driver->liveObjects().userMappings, 0u);

    struct Case {
        const char *what;
        off_t offset;
        size_t length;
        int prot;
        int flags;
        int error;
    } refused[] = {
        {"writable statistics", static_cast<off_t>(stats) * getpagesize(), 6108, PROT_READ | PROT_WRITE,
         MAP_SHARED, EACCES},
        {"beyond the object", static_cast<off_t>(stats) * getpagesize(), 6109, PROT_READ, MAP_SHARED, EINVAL},
        {"unknown id", 999L * getpagesize(), 4096, PROT_READ, MAP_SHARED, EINVAL},
        {"map id 0", 0, 4096, PROT_READ, MAP_SHARED, EINVAL},
        {"not at a page", static_cast<off_t>(stats) * getpagesize() + 8, 64, PROT_READ, MAP_SHARED, EINVAL},
        {"private mapping", static_cast<off_t>(stats) * getpagesize(), 64, PROT_READ, MAP_PRIVATE, EINVAL},
    };
    for (const Case &c : refused) {
        errno = 0;
        EXPECT_EQ(PLATFORM_MemMap(nullptr, c.length, c.prot, c.flags, fd, c.offset), MAP_FAILED) << c.what;
        EXPECT_EQ(errno, c.error) << c.what;
    }
}

TEST_F(IspMemory, HardwareWritesAreVisibleThroughAnExistingMapping)
{
    int fd = openDevice();
    PipeSetup setup;
    setup.display = BAYER_RGGB_8;
    setup.privateValue = 0x42;
    int pipeline = startedPipeline(fd, setup, 1);
    const auto shots = driver->pipeline(pipeline)->shots;
    const uint32_t stats = shots[0].mapIds[CI_POOL_MAP_ID_STAT];
    auto *mapped = static_cast<const volatile uint32_t *>(mapId(fd, stats, 6108, PROT_READ));
    ASSERT_NE(mapped, nullptr);
    EXPECT_EQ(mapped[5440 / 4], 0u);
    const long buffer = createBuffer(fd, pipeline, CI_ALLOC_DISP);
    int generator = startedGenerator(fd, CI_DGFMT_PARALLEL, 12, setup.imager, 4096, 1);
    CI_BUFFID ids{};
    ids.dispId = static_cast<uint32_t>(buffer);
    ASSERT_EQ(trigger(fd, pipeline, ids), 0);
    ASSERT_EQ(sendSamples(fd, generator, testSamples(8, 4, 12), 8, 4), 0);
    EXPECT_EQ(mapped[5440 / 4], 0x00420000u);
    PLATFORM_MemUnmap(const_cast<uint32_t *>(mapped), 6108);
}

TEST_F(IspMemory, WritableObjectsOfTheUser)
{
    int fd = openDevice();
    PipeSetup setup;
    setup.display = BAYER_RGGB_8;
    setup.hdrInsertion = BGR_161616_64;
    int pipeline = registerPipeline(fd, setup);
    uint32_t size = 0;
    long matrix = createBuffer(fd, pipeline, CI_ALLOC_LSHMAT, 1000, false, 0, &size);
    ASSERT_GT(matrix, 0);
    EXPECT_EQ(size, pageRounded(1000));
    long hdr = createBuffer(fd, pipeline, CI_ALLOC_HDRINS);
    ASSERT_GT(hdr, 0);
    for (long id : {matrix, hdr}) {
        void *p = mapId(fd, static_cast<uint32_t>(id), 512, PROT_WRITE);
        ASSERT_NE(p, nullptr);
        static_cast<uint8_t *>(p)[0] = 7;
        PLATFORM_MemUnmap(p, 512);
    }
    long display = createBuffer(fd, pipeline, CI_ALLOC_DISP);
    EXPECT_EQ(mapId(fd, static_cast<uint32_t>(display), 64, PROT_WRITE), nullptr);
    EXPECT_EQ(errno, EACCES);
}

TEST_F(IspMemory, DefaultBufferSizesFollowTheSizeRules)
{
    int fd = openDevice();
    PipeSetup setup;
    setup.width = 1920;
    setup.height = 1080;
    setup.encoder = YUV_420_PL12_8;
    setup.encoderWidth = 1920;
    setup.encoderHeight = 1080;
    setup.display = RGB_888_32;
    setup.displayWidth = 640;
    setup.displayHeight = 480;
    setup.raw2D = BAYER_TIFF_10;
    setup.hdrExtraction = BGR_101010_32;
    setup.tiling = true;
    int pipeline = registerPipeline(fd, setup);
    struct Case {
        CI_ALLOC_BUFF type;
        bool tiled;
        uint32_t size;  // by hand from the size rules
    } cases[] = {
        {CI_ALLOC_ENC, false, 1920 * 1080 + 1920 * 540},  // NV12: luma, then half as many chroma lines
        {CI_ALLOC_ENC, true, 2048 * 1088 + 2048 * 544},   // tiled 256x16: stride 2048, lines to 16
        {CI_ALLOC_DISP, false, 2560 * 480},               // 4 bytes a pixel
        {CI_ALLOC_RAW2D, false, 2400 * 1080},             // TIFF10: 5 bytes per 4 samples, not aligned
        {CI_ALLOC_HDREXT, false, 7680 * 1080},
    };
    for (const Case &c : cases) {
        uint32_t size = 0;
        long id = createBuffer(fd, pipeline, c.type, 0, c.tiled, 0, &size);
        ASSERT_GT(id, 0) << c.type;
        EXPECT_EQ(size, pageRounded(c.size)) << c.type << (c.tiled ? " tiled" : "");
    }
    // Requests the configuration or the hardware cannot take.
    EXPECT_EQ(createBuffer(fd, pipeline, CI_ALLOC_HDRINS), -EINVAL);        // no HDR insertion configured
    EXPECT_EQ(createBuffer(fd, pipeline, CI_ALLOC_RAW2D, 0, true), -EINVAL);  // RAW 2D is never tiled
    EXPECT_EQ(createBuffer(fd, pipeline, CI_ALLOC_LSHMAT, 0), -EINVAL);
    EXPECT_EQ(createBuffer(fd, pipeline, static_cast<CI_ALLOC_BUFF>(6)), -EINVAL);
    EXPECT_EQ(createBuffer(fd, pipeline + 1, CI_ALLOC_ENC), -EINVAL);
}

TEST_F(IspMemory, BuffersBeyondTheIspMemoryAreRefused)
{
    int fd = openDevice();
    PipeSetup setup;
    setup.display = RGB_888_32;
    const int pipeline = registerPipeline(fd, setup);
    const uint32_t half = 1u << 29;
    std::vector<long> ids;
    for (int n = 0; n < 2; ++n) {
        ids.push_back(createBuffer(fd, pipeline, CI_ALLOC_DISP, half));
        ASSERT_GT(ids.back(), 0) << n;
    }
    EXPECT_EQ(createBuffer(fd, pipeline, CI_ALLOC_DISP, 4096), -ENOMEM);
    EXPECT_EQ(createBuffer(fd, pipeline, CI_ALLOC_DISP, 4096, false, static_cast<uint32_t>(fd)), -ENOMEM);

    // memory given back can be taken again
    CI_ALLOC_PARAM dereg{};
    dereg.configId = static_cast<uint32_t>(pipeline);
    dereg.type = CI_ALLOC_DISP;
    dereg.uiMemMapId = static_cast<uint32_t>(ids.front());
    ASSERT_EQ(request(fd, CI_DEREGISTER_BUFF, &dereg), 0);
    EXPECT_GT(createBuffer(fd, pipeline, CI_ALLOC_DISP, half), 0);
    EXPECT_EQ(createBuffer(fd, pipeline, CI_ALLOC_DISP, 4096), -ENOMEM);
}

TEST_F(IspMemory, ImportedBuffers)
{
    int fd = openDevice();
    PipeSetup setup;
    setup.display = BAYER_RGGB_8;
    int pipeline = startedPipeline(fd, setup, 1);
    int memory = static_cast<int>(syscall(SYS_memfd_create, "import", 0));
    ASSERT_GE(memory, 0);
    ASSERT_EQ(ftruncate(memory, 8192), 0);

    EXPECT_EQ(createBuffer(fd, pipeline, CI_ALLOC_DISP, 16384, false, static_cast<uint32_t>(memory)), -EINVAL);
    EXPECT_EQ(createBuffer(fd, pipeline, CI_ALLOC_DISP, 4096, false, 9999), -EBADF);
    uint32_t size = 0;
    long id = createBuffer(fd, pipeline, CI_ALLOC_DISP, 0, false, static_cast<uint32_t>(memory), &size);
    ASSERT_GT(id, 0);
    EXPECT_EQ(size, 8192u);  // size 0: the whole descriptor
    ::close(memory);          // the driver holds its own reference

    int generator = startedGenerator(fd, CI_DGFMT_PARALLEL, 12, setup.imager, 4096, 1);
    CI_BUFFID ids{};
    ids.dispId = static_cast<uint32_t>(id);
    ASSERT_EQ(trigger(fd, pipeline, ids), 0);
    std::vector<uint16_t> samples(32, 0x800);  // 12 bits: 0x80 in 8 bits
    ASSERT_EQ(sendSamples(fd, generator, samples, 8, 4), 0);
    std::vector<uint8_t> out = readObject(fd, static_cast<uint32_t>(id), 64);
    EXPECT_EQ(out[0], 0x80);
    EXPECT_EQ(out[7], 0x80);
}

// The first byte of pixel (x, y) in a tiled buffer of 256x16 tiles.
size_t tiledOffset(size_t stride, size_t xByte, size_t y)
{
    return (y / 16) * stride * 16 + (xByte / 256) * 256 * 16 + (y % 16) * 256 + xByte % 256;
}

TEST_F(IspMemory, ColourOutputsInTheirFormatsAndLayouts)
{
    int fd = openDevice();
    PipeSetup setup;
    setup.width = 128;
    setup.height = 40;
    setup.display = BGR_888_32;
    setup.displayWidth = 64;  // half size
    setup.displayHeight = 20;
    setup.encoder = YUV_420_PL12_8;
    setup.encoderWidth = 128;
    setup.encoderHeight = 40;
    setup.tiling = true;
    int pipeline = startedPipeline(fd, setup, 1);
    long display = createBuffer(fd, pipeline, CI_ALLOC_DISP, 0, true);
    long encoder = createBuffer(fd, pipeline, CI_ALLOC_ENC);
    ASSERT_GT(display, 0);
    ASSERT_GT(encoder, 0);
    int generator = startedGenerator(fd, CI_DGFMT_PARALLEL, 10, setup.imager, 65536, 1);

    // Grey everywhere (512 of 1023: 128 in 8 bits) but one cell of pure red: cell (35, 8).
    std::vector<uint16_t> samples(128 * 40, 512);
    const uint32_t redX = 70, redY = 16;
    samples[redY * 128 + redX] = 1023;  // RGGB: red at the cell's top left
    samples[redY * 128 + redX + 1] = 0;
    samples[(redY + 1) * 128 + redX] = 0;
    samples[(redY + 1) * 128 + redX + 1] = 0;
    CI_BUFFID ids{};
    ids.dispId = static_cast<uint32_t>(display);
    ids.encId = static_cast<uint32_t>(encoder);
    ASSERT_EQ(trigger(fd, pipeline, ids), 0);
    ASSERT_EQ(sendSamples(fd, generator, samples, 128, 40, CI_DGFMT_PARALLEL, 10), 0);
    CI_BUFFER_PARAM shot;
    ASSERT_GT(acquire(fd, pipeline, false, &shot), 0);
    EXPECT_EQ(shot.shot.bFrameError, 0);

    // Display: 64x20 BGR32 (one pixel per cell), tiled: stride 512, the smallest tiled stride.
    EXPECT_EQ(shot.shot.aDispSize[0], 512u);
    EXPECT_EQ(shot.shot.aDispSize[1], 20u);
    EXPECT_EQ(shot.shot.bDispTiled, 1);
    std::vector<uint8_t> d = readObject(fd, static_cast<uint32_t>(display), 512 * 32);
    for (size_t at : {tiledOffset(512, 3 * 4, 2), tiledOffset(512, 0, 17)}) {  // second row of tiles too
        EXPECT_EQ(d[at + 0], 128) << at;
        EXPECT_EQ(d[at + 1], 128) << at;
        EXPECT_EQ(d[at + 2], 128) << at;
    }
    const size_t red = tiledOffset(512, 35 * 4, 8);
    EXPECT_EQ(red, 8u * 256 + 140);
    EXPECT_EQ(d[red + 0], 255);  // red first: BGR formats are R, G, B, X in memory
    EXPECT_EQ(d[red + 1], 0);    // green
    EXPECT_EQ(d[red + 2], 0);    // blue
    EXPECT_EQ(d[red + 3], 0);

    // Encoder: NV12 128x40, linear: the Y plane, then Cb Cr pairs for every second line.
    EXPECT_EQ(shot.shot.aEncYSize[0], 128u);
    EXPECT_EQ(shot.shot.aEncYSize[1], 40u);
    EXPECT_EQ(shot.shot.aEncCbCrSize[0], 128u);
    EXPECT_EQ(shot.shot.aEncCbCrSize[1], 20u);
    EXPECT_EQ(shot.shot.aEncOffset[0], 0u);
    EXPECT_EQ(shot.shot.aEncOffset[1], 128u * 40u);
    std::vector<uint8_t> e = readObject(fd, static_cast<uint32_t>(encoder), 128 * 60);
    const size_t chroma = 128 * 40;
    EXPECT_EQ(e[0], 128);           // grey: Y 128, Cb 128, Cr 128
    EXPECT_EQ(e[chroma], 128);
    EXPECT_EQ(e[chroma + 1], 128);
    // Red (1023, 0, 0) in 10 bits through the neutral pipeline's converter:
    // Y = 306 x 1023 / 1024 = 305 -> 76 in 8 bits; Cb = 512 - 173 x 1023 / 1024
    // (rounded down: -173) = 339 -> 84; Cr saturates at 1023 -> 255.
    EXPECT_EQ(e[redY * 128 + redX], 76);
    EXPECT_EQ(e[(redY + 1) * 128 + redX + 1], 76);
    EXPECT_EQ(e[chroma + (redY / 2) * 128 + redX], 84);
    EXPECT_EQ(e[chroma + (redY / 2) * 128 + redX + 1], 255);
}

TEST_F(IspMemory, BufferTooSmallForItsOutputIsRefused)
{
    int fd = openDevice();
    PipeSetup setup;
    setup.width = 128;
    setup.height = 40;
    setup.display = RGB_888_32;
    setup.displayWidth = 128;
    setup.displayHeight = 40;
    int pipeline = startedPipeline(fd, setup, 1);
    long small = createBuffer(fd, pipeline, CI_ALLOC_DISP, 4096);
    CI_BUFFID ids{};
    ids.dispId = static_cast<uint32_t>(small);
    EXPECT_EQ(trigger(fd, pipeline, ids), -EINVAL);  // 512 x 40 bytes do not fit in a page
    uint32_t size = 0;
    long big = createBuffer(fd, pipeline, CI_ALLOC_DISP, 512 * 40 + 100, false, 0, &size);
    ids.dispId = static_cast<uint32_t>(big);
    ids.dispStride = 520;
    ids.dispOffset = size - 520 * 40 + 4;  // the last line passes the end by 4 bytes
    EXPECT_EQ(trigger(fd, pipeline, ids), -EINVAL);
    ids.dispStride = 256;  // below one line of 128 pixels
    ids.dispOffset = 0;
    EXPECT_EQ(trigger(fd, pipeline, ids), -EINVAL);
    ids.dispStride = 0;
    EXPECT_EQ(trigger(fd, pipeline, ids), 0);
}

TEST_F(IspMemory, LensShadingMatrices)
{
    int fd = openDevice();
    PipeSetup setup;
    setup.display = BAYER_RGGB_8;
    int pipeline = registerPipeline(fd, setup);
    long a = createBuffer(fd, pipeline, CI_ALLOC_LSHMAT, 4096);
    long b = createBuffer(fd, pipeline, CI_ALLOC_LSHMAT, 4096);
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    CI_LSH_GET_PARAM get{static_cast<uint32_t>(pipeline), static_cast<uint32_t>(a)};
    CI_LSH_SET_PARAM set{};
    set.configId = static_cast<uint32_t>(pipeline);
    set.matrixId = static_cast<uint32_t>(a);
    set.config.ui8BitsPerDiff = 6;
    set.config.ui16Height = 16;
    set.config.ui32Stride = 64;
    CI_LSH_CHANGE_PARAM change{static_cast<uint32_t>(pipeline), static_cast<uint32_t>(a)};

    EXPECT_EQ(request(fd, CI_PIPELINE_SET_LSH, &set), -EINVAL);  // not with the user
    ASSERT_EQ(request(fd, CI_PIPELINE_GET_LSH, &get), 0);
    EXPECT_EQ(request(fd, CI_PIPELINE_GET_LSH, &get), -EALREADY);
    EXPECT_EQ(request(fd, CI_PIPELINE_CHANGE_LSH, &change), -EALREADY);  // the user holds it
    set.config.ui8BitsPerDiff = 3;
    EXPECT_EQ(request(fd, CI_PIPELINE_SET_LSH, &set), -EINVAL);
    set.config.ui8BitsPerDiff = 6;
    set.config.ui32Stride = 512;  // 16 lines of 512 bytes pass 4096
    EXPECT_EQ(request(fd, CI_PIPELINE_SET_LSH, &set), -EINVAL);
    set.config.ui32Stride = 64;
    ASSERT_EQ(request(fd, CI_PIPELINE_SET_LSH, &set), 0);
    ASSERT_EQ(request(fd, CI_PIPELINE_CHANGE_LSH, &change), 0);
    EXPECT_EQ(request(fd, CI_PIPELINE_CHANGE_LSH, &change), -EALREADY);  // already in use
    EXPECT_EQ(request(fd, CI_PIPELINE_GET_LSH, &get), -EALREADY);
    EXPECT_EQ(driver->pipeline(pipeline)->matrixInUse, static_cast<uint32_t>(a));

    change.matrixId = static_cast<uint32_t>(b);
    ASSERT_EQ(request(fd, CI_PIPELINE_CHANGE_LSH, &change), 0);  // a becomes idle
    EXPECT_EQ(request(fd, CI_PIPELINE_GET_LSH, &get), 0);

    // Removing the matrix in use switches lens shading off.
    CI_ALLOC_PARAM dereg{};
    dereg.configId = static_cast<uint32_t>(pipeline);
    dereg.type = CI_ALLOC_LSHMAT;
    dereg.uiMemMapId = static_cast<uint32_t>(b);
    ASSERT_EQ(request(fd, CI_DEREGISTER_BUFF, &dereg), 0);
    EXPECT_EQ(driver->pipeline(pipeline)->matrixInUse, 0u);
    change.matrixId = 0;
    EXPECT_EQ(request(fd, CI_PIPELINE_CHANGE_LSH, &change), 0);
}

}  // namespace
}  // namespace isp_memory_test
