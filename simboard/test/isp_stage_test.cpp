// Each stage of the simulated ISP, one at a time: a known 16 x 8 frame of
// 12-bit samples goes through the driver (data generator, pipeline, shot)
// with the stage's words set on a neutral pipeline, and the outputs are
// compared with values worked out by hand from the stage's arithmetic
// (isp_config.h).
#include <gtest/gtest.h>

#include <functional>

#include "isp_test_support.h"

namespace isp_stage_test {
namespace {

using namespace isptest;

constexpr uint32_t kW = 16, kH = 8;
using Load = std::array<uint32_t, simboard::kIspLoadStructureWords>;

// What one shot gave back.
struct Outputs {
    std::vector<uint8_t> hdr, encoder, display, stats, dpf, ens;
    uint32_t displayStride = 0;
    uint32_t encoderStride = 0;

    // Linear colour (10 bits) of pixel (x, y) of the HDR extraction, BGR_101010_32.
    uint32_t linear(uint32_t x, uint32_t y, int channel) const
    {
        const uint32_t word = word32(hdr, (y * kW + x) * 4);
        return (word >> (10 * channel)) & 0x3FF;  // red at bits 0-9
    }
    uint8_t luma(uint32_t x, uint32_t y) const { return encoder[y * encoderStride + x]; }
    // Channel (0 R, 1 G, 2 B) of display pixel (x, y), RGB_888_24: B, G, R in memory.
    uint8_t rgb(uint32_t x, uint32_t y, int channel) const { return display[y * displayStride + 3 * x + 2 - channel]; }
};

class IspStage : public IspTest {
protected:
    // Cell (cx, cy) samples: top-left, top-right, bottom-left, bottom-right.
    void fill(std::function<std::array<uint16_t, 4>(uint32_t cx, uint32_t cy)> cell)
    {
        samples.assign(kW * kH, 0);
        for (uint32_t cy = 0; cy < kH / 2; ++cy)
            for (uint32_t cx = 0; cx < kW / 2; ++cx) {
                const auto s = cell(cx, cy);
                for (int p = 0; p < 4; ++p)
                    samples[(2 * cy + p / 2) * kW + 2 * cx + p % 2] = s[p];
            }
    }
    void flat(uint16_t v)
    {
        fill([v](uint32_t, uint32_t) { return std::array<uint16_t, 4>{v, v, v, v}; });
    }
    // Grey by cell column: 256 (cx + 1), luma 64 (cx + 1) of 10 bits, 16 (cx + 1) of 8.
    void columnGreys()
    {
        fill([](uint32_t cx, uint32_t) {
            const uint16_t v = static_cast<uint16_t>(256 * (cx + 1));
            return std::array<uint16_t, 4>{v, v, v, v};
        });
    }

    // One shot of `samples` with the neutral pipeline's words changed by
    // `words` and its configuration by `configure`.
    Outputs shoot(std::function<void(Load &)> words, std::function<void(CI_PIPE_INFO &)> configure = nullptr,
                  std::function<void(int fd, int pipeline, CI_BUFFID &ids)> buffers = nullptr)
    {
        Outputs out;
        int fd = openDevice();
        PipeSetup setup;
        setup.width = kW;
        setup.height = kH;
        setup.encoder = YVU_420_PL12_8;
        setup.encoderWidth = encoderWidth;
        setup.encoderHeight = encoderHeight;
        setup.display = RGB_888_24;
        setup.displayWidth = displayWidth;
        setup.displayHeight = displayHeight;
        setup.hdrExtraction = BGR_101010_32;
        setup.hdrInsertion = insertion;
        setup.dpfWriteMapSize = 64;
        CI_PIPE_INFO info = makeInfo(setup);
        if (configure)
            configure(info);
        const long pipeline = request(fd, CI_PIPELINE_REGISTER, &info);
        EXPECT_GT(pipeline, 0);
        Load load = makeLoad(setup);
        if (words)
            words(load);
        EXPECT_EQ(update(fd, static_cast<int>(pipeline), info, load, CI_UPD_ALL | CI_UPD_DPF_INPUT), 0);
        CI_POOL_PARAM pool{};
        EXPECT_GT(addShot(fd, static_cast<int>(pipeline), &pool), 0);
        EXPECT_EQ(setLinestore(fd, 0, -1), 0);
        EXPECT_EQ(requestValue(fd, CI_CAPTURE_START, static_cast<int>(pipeline)), 0);
        CI_BUFFID ids{};
        ids.encId = static_cast<uint32_t>(createBuffer(fd, static_cast<int>(pipeline), CI_ALLOC_ENC));
        ids.dispId = static_cast<uint32_t>(createBuffer(fd, static_cast<int>(pipeline), CI_ALLOC_DISP));
        ids.idHDRExt = static_cast<uint32_t>(createBuffer(fd, static_cast<int>(pipeline), CI_ALLOC_HDREXT));
        if (buffers)
            buffers(fd, static_cast<int>(pipeline), ids);
        const int generator = startedGenerator(fd, CI_DGFMT_PARALLEL, 12, setup.imager, 4096, 1);
        EXPECT_EQ(trigger(fd, static_cast<int>(pipeline), ids), 0);
        EXPECT_EQ(sendSamples(fd, generator, samples, kW, kH), 0);
        CI_BUFFER_PARAM shot;
        EXPECT_GT(acquire(fd, static_cast<int>(pipeline), false, &shot), 0);
        EXPECT_EQ(shot.shot.bFrameError, 0);
        out.encoderStride = shot.shot.aEncYSize[0];
        out.displayStride = shot.shot.aDispSize[0];
        out.encoder = readObject(fd, ids.encId, out.encoderStride * encoderHeight * 2);
        out.display = readObject(fd, ids.dispId, out.displayStride * displayHeight);
        out.hdr = readObject(fd, ids.idHDRExt, kW * kH * 4);
        out.stats = readObject(fd, pool.aMemMapIds[CI_POOL_MAP_ID_STAT], simboard::kIspStatisticsSize);
        if (shot.shot.uiDPFSize)
            out.dpf = readObject(fd, pool.aMemMapIds[CI_POOL_MAP_ID_DPF], shot.shot.uiDPFSize);
        if (shot.shot.uiENSSize)
            out.ens = readObject(fd, pool.aMemMapIds[CI_POOL_MAP_ID_ENS], shot.shot.uiENSSize);
        closeDevice(fd);
        return out;
    }

    std::vector<uint16_t> samples;
    uint32_t encoderWidth = kW, encoderHeight = kH, displayWidth = kW, displayHeight = kH;
    pxlFormat insertion = PXL_NONE;
};

TEST_F(IspStage, RawCurveHalvesTheInput)
{
    // Points 2048 (k + 1) of 65535: knot k at input 256 (k + 1) gives 128 (k + 1).
    auto halve = [](Load &w) {
        for (int c = 0; c < 4; ++c)
            for (int k = 0; k < 16; k += 2)
                w[7 + 8 * c + k / 2] = (2048u * (k + 1)) | ((2048u * (k + 2)) << 16);
    };
    fill([](uint32_t cx, uint32_t) { return std::array<uint16_t, 4>{static_cast<uint16_t>(1000 + 1000 * (cx % 2)), 2048, 2048, 2048}; });
    for (uint32_t mode : {1u, 3u}) {  // linear, cubic: a straight curve either way
        Outputs o = shoot([&](Load &w) {
            halve(w);
            w[6] = mode;
        });
        EXPECT_EQ(o.linear(0, 0, 0), 500u / 4) << mode;   // red 1000 -> 500
        EXPECT_EQ(o.linear(2, 0, 0), 1000u / 4) << mode;  // red 2000 -> 1000
        EXPECT_EQ(o.linear(0, 0, 1), 1024u / 4) << mode;  // green 2048 -> 1024
    }
    Outputs off = shoot([&](Load &w) { halve(w); });  // word 6 clear: no curve
    EXPECT_EQ(off.linear(0, 0, 1), 2048u / 4);
}

TEST_F(IspStage, LensShadingMatrixScalesAcrossTheImage)
{
    // Three vertices 8 pixels apart (tile 2^3) on three rows, every channel
    // 1.0, 1.25, 1.5 (U3.10 1024, 1280, 1536): differences of 256 in 10 bits.
    // A cell takes the gain at its top-left pixel x: 1 + x / 32.
    flat(1024);
    auto matrix = [](int fd, int pipeline, CI_BUFFID &) {
        const long id = createBuffer(fd, pipeline, CI_ALLOC_LSHMAT, 4096);
        ASSERT_GT(id, 0);
        CI_LSH_GET_PARAM get{static_cast<uint32_t>(pipeline), static_cast<uint32_t>(id)};
        ASSERT_EQ(request(fd, CI_PIPELINE_GET_LSH, &get), 0);
        auto *p = static_cast<uint8_t *>(mapId(fd, static_cast<uint32_t>(id), 4096, PROT_WRITE));
        ASSERT_NE(p, nullptr);
        std::memset(p, 0, 4096);
        for (int line = 0; line < 12; ++line) {
            uint8_t *l = p + 64 * line;
            l[0] = 0x00, l[1] = 0x04;                 // 1024
            const uint32_t bits = 256u | (256u << 10);  // two 10-bit differences
            l[2] = static_cast<uint8_t>(bits), l[3] = static_cast<uint8_t>(bits >> 8), l[4] = static_cast<uint8_t>(bits >> 16);
        }
        PLATFORM_MemUnmap(p, 4096);
        CI_LSH_SET_PARAM set{};
        set.configId = static_cast<uint32_t>(pipeline);
        set.matrixId = static_cast<uint32_t>(id);
        set.config.ui8TileSizeLog2 = 3;
        set.config.ui8BitsPerDiff = 10;
        set.config.ui16Width = 3;
        set.config.ui16Height = 3;
        set.config.ui32Stride = 64;
        ASSERT_EQ(request(fd, CI_PIPELINE_SET_LSH, &set), 0);
        CI_LSH_CHANGE_PARAM change{static_cast<uint32_t>(pipeline), static_cast<uint32_t>(id)};
        ASSERT_EQ(request(fd, CI_PIPELINE_CHANGE_LSH, &change), 0);
    };
    Outputs o = shoot(nullptr, nullptr, matrix);
    const struct {
        uint32_t x, value;  // pixel, 10-bit linear value
    } cases[] = {{0, 1024 / 4}, {4, 1152 / 4}, {8, 1280 / 4}, {14, 1472 / 4}};
    for (const auto &c : cases)
        for (int ch = 0; ch < 3; ++ch)
            EXPECT_EQ(o.linear(c.x, 4, ch), c.value) << c.x << " channel " << ch;
    Outputs none = shoot(nullptr);
    EXPECT_EQ(none.linear(14, 4, 0), 1024u / 4);
}

TEST_F(IspStage, DenoiserPullsTowardsTheNeighboursByTheThreshold)
{
    // Flat 2048 with the red sample of cell (3, 2) at 2148. Every point of
    // the threshold curve 128 (4.0 in U8.5 of the 8-bit range): 64 in 12 bits.
    fill([](uint32_t cx, uint32_t cy) {
        return std::array<uint16_t, 4>{static_cast<uint16_t>(cx == 3 && cy == 2 ? 2148 : 2048), 2048, 2048, 2048};
    });
    Outputs o = shoot([](Load &w) {
        for (int k = 0; k < 21; k += 2)
            w[61 + k / 2] = 128u | (k + 1 < 21 ? 128u << 16 : 0);
    });
    // The noisy sample moves by the threshold: 2148 - 64 = 2084.
    EXPECT_EQ(o.linear(6, 4, 0), 2084u / 4);
    // Its neighbours move towards their mean (2148 + 3 x 2048 + 2) / 4 = 2073.
    EXPECT_EQ(o.linear(8, 4, 0), 2073u / 4);
    EXPECT_EQ(o.linear(6, 4, 1), 2048u / 4);  // green untouched
    Outputs off = shoot(nullptr);
    EXPECT_EQ(off.linear(6, 4, 0), 2148u / 4);
}

TEST_F(IspStage, DefectivePixelsAreCorrectedAndListed)
{
    // A stuck red sample at pixel (6, 4) on a flat 1024; a pixel of the
    // defect map at (9, 3) (blue of cell (4, 1)) at 1030, too close to its
    // neighbours to be detected.
    fill([](uint32_t cx, uint32_t cy) {
        return std::array<uint16_t, 4>{static_cast<uint16_t>(cx == 3 && cy == 2 ? 4095 : 1024), 1024, 1024,
                                       static_cast<uint16_t>(cx == 4 && cy == 1 ? 1030 : 1024)};
    });
    static uint16_t map[2] = {9, 3};
    Outputs o = shoot([](Load &w) { w[73] = 1; }, [](CI_PIPE_INFO &info) {
        info.dpfConfig.eDPFEnable = CI_DPF_DETECT_ENABLED | CI_DPF_WRITE_MAP_ENABLED | CI_DPF_READ_MAP_ENABLED;
        info.dpfConfig.sInput.apDefectInput = map;
        info.dpfConfig.sInput.ui32NDefect = 1;
    });
    EXPECT_EQ(o.linear(6, 4, 0), 1024u / 4);
    EXPECT_EQ(o.linear(8, 2, 2), 1024u / 4);
    // Counters: two corrected, two listed, none dropped.
    EXPECT_EQ(word32(o.stats, 5444), 2u);
    EXPECT_EQ(word32(o.stats, 5448), 2u);
    EXPECT_EQ(word32(o.stats, 5452), 0u);
    ASSERT_GE(o.dpf.size(), 16u);
    // Row 1 of cells first: the map's pixel (status clear, confidence 6 / 16).
    EXPECT_EQ(word32(o.dpf, 0), 9u | (3u << 16));
    EXPECT_EQ(word32(o.dpf, 4), 1024u);
    // The detected one: value 1024, confidence 3071 / 16 = 191, status set.
    EXPECT_EQ(word32(o.dpf, 8), 6u | (4u << 16));
    EXPECT_EQ(word32(o.dpf, 12), 1024u | (191u << 16) | (1u << 31));

    // Detection off and no map: nothing changes, the counters stay 0.
    Outputs off = shoot(nullptr);
    EXPECT_EQ(off.linear(6, 4, 0), 4095u / 4);
    EXPECT_EQ(off.linear(8, 2, 2), 1030u / 4);
    EXPECT_EQ(word32(off.stats, 5444), 0u);
}

TEST_F(IspStage, ChromaticAberrationShiftsRed)
{
    // Red rises by cell column: 256 (cx + 1). Red x coefficient c0 2047
    // (15.99 in S5.7): a shift of 15.99 t / 64 pixels, t = x (offset 0,
    // shift 0): cell 2 (x 4) reads x 4.999, still cell 2; cell 3 (x 6)
    // reads 7.5, cell 4; cell 5 (x 10) reads 12.5, cell 6.
    fill([](uint32_t cx, uint32_t) { return std::array<uint16_t, 4>{static_cast<uint16_t>(256 * (cx + 1)), 1000, 1000, 1000}; });
    Outputs o = shoot([](Load &w) { w[77] = 2047; });
    EXPECT_EQ(o.linear(0, 0, 0), 256u / 4);
    EXPECT_EQ(o.linear(4, 0, 0), 768u / 4);
    EXPECT_EQ(o.linear(6, 0, 0), 1280u / 4);
    EXPECT_EQ(o.linear(10, 0, 0), 1792u / 4);
    EXPECT_EQ(o.linear(14, 0, 0), 2048u / 4);  // beyond the image: the last cell
    EXPECT_EQ(o.linear(6, 0, 2), 1000u / 4);   // blue stays
    EXPECT_EQ(shoot(nullptr).linear(6, 0, 0), 1024u / 4);
}

TEST_F(IspStage, MainGamutMapperClips)
{
    // Clip at 0 and 0.5 of the range (512 in units of 1/1024): 2048.
    flat(4000);
    Outputs o = shoot([](Load &w) { w[96] = 512u << 16; });
    EXPECT_EQ(o.linear(0, 0, 0), 2048u / 4);
    EXPECT_EQ(shoot(nullptr).linear(0, 0, 0), 4000u / 4);
}

TEST_F(IspStage, ToneMapperGlobalCurveAndLumaRanges)
{
    // Grey 2048: luma 512 of 10 bits, 128 of 8.
    flat(2048);
    auto ranges = [](Load &w) {
        w[215] = 0;
        for (int i = 0; i < 63; ++i)  // identity curve: point i = (i + 1) / 64 in U1.11
            w[183 + i / 2] |= static_cast<uint32_t>(32 * (i + 1)) << (16 * (i % 2));
        w[224] = 16u | (4112u << 16);   // input offset 1.0, scale 256 / 255
        w[225] = 256u | (3520u << 16);  // output offset 16.0, scale 0.859375
    };
    // x = (128 - 1) x 4112 / 4096 / 256 = 0.49803; 0.49803 x 220 + 16 = 125.57.
    EXPECT_EQ(shoot(ranges).luma(0, 0), 125);
    // Every curve point 1.0: 220 + 16 = 236.
    EXPECT_EQ(shoot([&](Load &w) {
                  ranges(w);
                  for (int k = 183; k <= 214; ++k)
                      w[k] = 2048u | (k < 214 ? 2048u << 16 : 0);
              }).luma(0, 0),
              236);
    EXPECT_EQ(shoot(nullptr).luma(0, 0), 128);  // bypassed
    // Chroma is not touched: half range.
    Outputs o = shoot(ranges);
    EXPECT_EQ(o.encoder[o.encoderStride * kH], 128);
}

TEST_F(IspStage, SharpeningAddsTheDifferenceFromTheNeighbours)
{
    // Grey 2048 (luma 512) with cell (3, 2) at 3072 (luma 768).
    fill([](uint32_t cx, uint32_t cy) {
        const uint16_t v = cx == 3 && cy == 2 ? 3072 : 2048;
        return std::array<uint16_t, 4>{v, v, v, v};
    });
    // Strength 64 (1.0), threshold 0: the centre 768 + 256 clips at 1023;
    // its neighbour 512 - 64 = 448 (8 bits: 255 and 112).
    Outputs o = shoot([](Load &w) { w[231] = 64u << 8; });
    EXPECT_EQ(o.luma(6, 4), 255);
    EXPECT_EQ(o.luma(8, 4), 112);
    EXPECT_EQ(o.luma(0, 0), 128);
    // Threshold 8 (32 of 10 bits) cores the differences: 768 + 224 = 992, 512 - 32 = 480.
    o = shoot([](Load &w) { w[231] = 8u | (64u << 8); });
    EXPECT_EQ(o.luma(6, 4), 248);
    EXPECT_EQ(o.luma(8, 4), 120);
}

TEST_F(IspStage, EncoderScalerPitchOffsetAndBypass)
{
    columnGreys();
    encoderWidth = 8;
    encoderHeight = 4;
    // Pitch 2.0 (U6.15 65536): output x reads pixel 2x, cell x.
    Outputs o = shoot([](Load &w) { w[278] = w[238] = 65536; });
    for (uint32_t x = 0; x < 8; ++x)
        EXPECT_EQ(o.luma(x, 0), 16 * (x + 1)) << x;
    // Offset 4 pixels: output x reads pixel 4 + 2x, cell x + 2 (the last ones clamp at cell 7).
    o = shoot([](Load &w) {
        w[278] = w[238] = 65536;
        w[279] |= 4u << 16;
    });
    EXPECT_EQ(o.luma(0, 0), 48);
    EXPECT_EQ(o.luma(5, 0), 128);
    EXPECT_EQ(o.luma(7, 0), 128);
    // Bypassed: one to one, output x reads pixel x, cell x / 2.
    o = shoot([](Load &w) { w[279] |= 1u << 31; });
    EXPECT_EQ(o.luma(2, 0), 32);
    EXPECT_EQ(o.luma(7, 0), 64);
}

TEST_F(IspStage, DisplayScalerAndDisplayGamutClip)
{
    columnGreys();
    displayWidth = 8;
    displayHeight = 4;
    // Pitch 2.0: output x shows cell x; grey: R = G = B = luma.
    Outputs o = shoot([](Load &w) { w[303] = w[240] = 65536; });
    for (uint32_t x = 0; x < 8; ++x)
        for (int ch = 0; ch < 3; ++ch)
            EXPECT_EQ(o.rgb(x, 1, ch), 16 * (x + 1)) << x;
    // Display gamut clip at 0.25 of the range (256 of 10 bits): 64 of 8.
    o = shoot([](Load &w) {
        w[303] = w[240] = 65536;
        w[311] = 256u << 16;
    });
    EXPECT_EQ(o.rgb(7, 1, 0), 64);
    EXPECT_EQ(o.rgb(2, 1, 1), 48);
}

TEST_F(IspStage, EncoderStatisticsSumLumaDifferencesPerBand)
{
    // Columns of cells alternating 1024 and 3072: luma 64 and 192 (8 bits), a
    // difference of 128 at each of the 7 cell boundaries of a row.
    fill([](uint32_t cx, uint32_t) {
        const uint16_t v = cx % 2 ? 3072 : 1024;
        return std::array<uint16_t, 4>{v, v, v, v};
    });
    auto ens = [](uint8_t subExp) {
        return [subExp](CI_PIPE_INFO &info) {
            info.config.eOutputConfig |= CI_SAVE_ENS;
            info.ensConfig.ui8Log2NCouples = 0;  // bands of 8 lines: one band
            info.ensConfig.ui8SubExp = subExp;
        };
    };
    Outputs o = shoot(nullptr, ens(0));
    ASSERT_EQ(o.ens.size(), 8u);
    EXPECT_EQ(word32(o.ens, 0), 8u * 7 * 128);  // 8 lines of 7 differences
    EXPECT_EQ(word32(o.ens, 4), 8u * 7);
    o = shoot(nullptr, ens(1));  // every second cell: cells 2, 4, 6
    EXPECT_EQ(word32(o.ens, 0), 8u * 3 * 128);
    flat(2048);
    EXPECT_EQ(word32(shoot(nullptr, ens(0)).ens, 0), 0u);
}

TEST_F(IspStage, HdrInsertionReplacesTheColour)
{
    flat(1000);
    insertion = BGR_161616_64;
    // The insertion holds B 0x4000, G 0x8000, R 0xC000: 1024, 2048, 3072 of 12 bits.
    auto insert = [](int fd, int pipeline, CI_BUFFID &ids) {
        const long id = createBuffer(fd, pipeline, CI_ALLOC_HDRINS);
        ASSERT_GT(id, 0);
        auto *p = static_cast<uint8_t *>(mapId(fd, static_cast<uint32_t>(id), kW * kH * 8, PROT_WRITE));
        ASSERT_NE(p, nullptr);
        for (uint32_t i = 0; i < kW * kH; ++i) {
            const uint16_t v[4] = {0x4000, 0x8000, 0xC000, 0};
            std::memcpy(p + 8 * i, v, 8);
        }
        PLATFORM_MemUnmap(p, kW * kH * 8);
        ids.idHDRIns = static_cast<uint32_t>(id);
    };
    Outputs o = shoot(nullptr, nullptr, insert);
    EXPECT_EQ(o.linear(0, 0, 0), 3072u / 4);
    EXPECT_EQ(o.linear(5, 3, 1), 2048u / 4);
    EXPECT_EQ(o.linear(5, 3, 2), 1024u / 4);
    // Luma (306 x 768 + 601 x 512 + 117 x 256) >> 10 = 559 of 10 bits: 139 of 8.
    EXPECT_EQ(o.luma(3, 3), 139);
}

TEST_F(IspStage, FlatGreyGivesConstantLumaHalfRangeChromaAndEqualRgb)
{
    // Identity white balance and colour matrix, the default gamma curve,
    // the tone mapper's default ranges: a flat grey stays flat and neutral.
    flat(1500);
    Outputs o = shoot([](Load &w) {
        w[114] = 0;
        w[215] = 0;
        for (int i = 0; i < 63; ++i)
            w[183 + i / 2] |= static_cast<uint32_t>(32 * (i + 1)) << (16 * (i % 2));
        w[224] = 16u | (4112u << 16);
        w[225] = 256u | (3520u << 16);
    });
    const uint8_t y = o.luma(0, 0);
    for (uint32_t py = 0; py < kH; ++py)
        for (uint32_t px = 0; px < kW; ++px)
            ASSERT_EQ(o.luma(px, py), y) << px << "," << py;
    for (uint32_t line = 0; line < kH / 2; ++line)
        for (uint32_t k = 0; k < kW; ++k)
            ASSERT_EQ(o.encoder[o.encoderStride * (kH + line) + k], 128) << line << "," << k;
    for (uint32_t px = 0; px < kW; ++px) {
        EXPECT_EQ(o.rgb(px, 3, 0), o.rgb(px, 3, 1));
        EXPECT_EQ(o.rgb(px, 3, 2), o.rgb(px, 3, 1));
    }
}

}  // namespace
}  // namespace isp_stage_test
