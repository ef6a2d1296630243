// The pipeline image model: outputs follow the load-structure words, the
// statistics are measured on the pixels. Expected values are worked out by
// hand from the register meanings.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "isp_test_support.h"
#include "simboard/isp_model.h"
#include "simboard/scene.h"

namespace isp_model_test {
namespace {

using namespace isptest;
using simboard::BayerFrame;
using simboard::ShotFrame;

constexpr uint32_t kW = 64, kH = 48;  // 32 x 24 cells
constexpr uint32_t kCells = (kW / 2) * (kH / 2);
constexpr uint32_t kPixels = kW * kH;

uint32_t word32(const std::vector<uint8_t> &b, size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
uint32_t word16(const std::vector<uint8_t> &b, size_t at) { return b[at] | (b[at + 1] << 8); }

class IspModel : public ::testing::Test {
protected:
    IspModel() : model(simboard::makePipelineImageModel()), stats(6108, 0)
    {
        image.width = kW;
        image.height = kH;
        image.bitDepth = 10;
        image.mosaic = MOSAIC_RGGB;
        image.samples.assign(kW * kH, 256);
        info.iifConfig.eBayerFormat = MOSAIC_RGGB;
        setNeutralPipeline(load, YVU_420_PL12_8, RGB_888_24);
    }

    // Each cell: top-left, top-right, bottom-left, bottom-right.
    void fillCells(uint16_t tl, uint16_t tr, uint16_t bl, uint16_t br)
    {
        for (uint32_t y = 0; y < kH; ++y)
            for (uint32_t x = 0; x < kW; ++x)
                image.samples[y * kW + x] = (y & 1) ? ((x & 1) ? br : bl) : ((x & 1) ? tr : tl);
    }

    simboard::OutputBinding bind(std::vector<uint8_t> &memory, pxlFormat format, uint32_t bytesPerPixel)
    {
        const PIXELTYPE type = pixelType(format);
        simboard::OutputBinding b;
        memory.assign(kW * kH * bytesPerPixel * 2, 0);
        b.memory = memory.data();
        b.size = memory.size();
        b.type = type;
        b.width = kW;
        b.height = kH;
        b.stride = simboard::packedLineBytes(type, kW);
        b.offsetC = b.stride * kH;
        b.strideC = b.stride;
        b.linesC = kH / 2;
        return b;
    }

    void run(uint32_t flags)
    {
        std::fill(stats.begin(), stats.end(), 0);
        frame.image = &image;
        frame.info = &info;
        frame.loadStructure = load.data();
        frame.gamma = &gamma;
        frame.outputConfig = flags;
        frame.statistics = stats.data();
        frame.statisticsSize = stats.size();
        model->process(frame);
    }

    std::unique_ptr<simboard::IspImageModel> model;
    BayerFrame image;
    CI_PIPE_INFO info{};
    std::array<uint32_t, simboard::kIspLoadStructureWords> load{};
    CI_MODULE_GMA_LUT gamma{};
    std::vector<uint8_t> stats;
    ShotFrame frame;
};

TEST_F(IspModel, FlatFieldClipCountsAndHistogramBins)
{
    // 256 of 10 bits is 1025 of 12 (the top bits repeated below). Pixel
    // maximum 1024: every sample clipped.
    load[0] = 0;                    // EXS grid at 0, 0
    load[1] = 8u | (8u << 16);      // 8x8-pixel tiles: 7 columns fit, 6 rows (48 lines)
    load[2] = 1024;
    load[130] = 0u | (32768u << 16);  // histogram offset 0, scale 1.0
    load[131] = 0;
    load[132] = 8u | (8u << 16);
    run(CI_SAVE_EXS_GLOBAL | CI_SAVE_EXS_REGION | CI_SAVE_HIST_GLOBAL | CI_SAVE_HIST_REGION);
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(word32(stats, 4 * c), kCells) << c;
    EXPECT_EQ(word16(stats, 64 + 64 * 0 + 8 * 0 + 2 * 3), 16u);  // 4x4 samples of each channel per tile
    EXPECT_EQ(word16(stats, 64 + 64 * 5 + 8 * 6 + 2 * 1), 16u);
    EXPECT_EQ(word16(stats, 64 + 64 * 6 + 8 * 0), 0u);           // row 6 lies below the image
    // The grey's luma 1025: 1025 >> 6 = bin 16 of 64 holds every pixel;
    // tiles: 1025 >> 8 = bin 4 of 16.
    EXPECT_EQ(word32(stats, 1152 + 4 * 16), kW * kH);
    EXPECT_EQ(word32(stats, 1152 + 4 * 15), 0u);
    EXPECT_EQ(word32(stats, 1408 + 64 * (7 * 2 + 3) + 4 * 4), 64u);
    EXPECT_EQ(word32(stats, 1408 + 64 * (7 * 6 + 3) + 4 * 4), 0u);

    // One above the samples: nothing clips. Offset 256 and scale 0.5: (1025 - 256) / 2 = 384, bin 6.
    load[2] = 1026;
    load[130] = 256u | (16384u << 16);
    run(CI_SAVE_EXS_GLOBAL | CI_SAVE_EXS_REGION | CI_SAVE_HIST_GLOBAL);
    EXPECT_EQ(word32(stats, 0), 0u);
    EXPECT_EQ(word16(stats, 64), 0u);
    EXPECT_EQ(word32(stats, 1152 + 4 * 6), kW * kH);
}

TEST_F(IspModel, BrighterInputMovesTheHistogram)
{
    load[130] = 0u | (32768u << 16);
    // Grey levels (10 bits) and red-only cells: the bins hold the luma of
    // every pixel, (77 R + 150 G + 29 B) / 256 of 12 bits; a saturated
    // 10-bit sample reaches 4095, the top bin.
    const struct {
        uint16_t red, green, blue;
        int bin;
    } cases[] = {{0, 0, 0, 0}, {256, 256, 256, 16}, {512, 512, 512, 32}, {1023, 1023, 1023, 63},
                 {1023, 0, 0, (77 * 4095 / 256) >> 6}};
    for (const auto &c : cases) {
        fillCells(c.red, c.green, c.green, c.blue);
        run(CI_SAVE_HIST_GLOBAL);
        EXPECT_EQ(word32(stats, 1152 + 4 * c.bin), kPixels) << c.red << " " << c.green;
    }
}

TEST_F(IspModel, WhiteBalanceGainsChangeColourAndSums)
{
    // Grey 1025 (12 bits); red gain 2.0, blue gain 0.5: R 2050, G 1025, B 512.
    load[49] = 2048u | (1024u << 16);
    load[50] = 1024u | (512u << 16);
    load[115] = 0;                                   // region 0: the whole image
    load[117] = (kW - 1) | ((kH - 1) << 16);
    load[119] = 0;                                   // one region
    load[120] = 1000u | (1000u << 12);               // R, G maxima: level 2000
    load[122] = 1000u | (600u << 12);                // B maximum 2000, luma threshold 1200
    std::vector<uint8_t> hdr, display;
    frame.hdrExtraction = bind(hdr, BGR_101010_32, 4);
    frame.display = bind(display, RGB_888_24, 3);
    run(CI_SAVE_WHITEBALANCE);

    // Linear HDR extraction in 10 bits, red first: R 512, G 256, B 128.
    EXPECT_EQ(word32(hdr, 0), 512u | (256u << 10) | (128u << 20));
    // Display through the converters, B, G, R in memory: about 32, 64, 128 in 8 bits.
    EXPECT_NEAR(display[0], 32, 1);
    EXPECT_NEAR(display[1], 64, 1);
    EXPECT_NEAR(display[2], 128, 1);

    // Average colour: every pixel, in 8-bit units (the 12-bit value / 16),
    // so that a loop divides the sums by the image's pixel count.
    EXPECT_EQ(word32(stats, 1024 + 24), kPixels * (2050 / 16));
    EXPECT_EQ(word32(stats, 1024 + 28), kPixels * (1025 / 16));
    EXPECT_EQ(word32(stats, 1024 + 32), kPixels * (512 / 16));
    // White patch: only red lies above 2000.
    EXPECT_EQ(word32(stats, 1024 + 0), kPixels * (2050 / 16));
    EXPECT_EQ(word32(stats, 1024 + 4), kPixels);
    EXPECT_EQ(word32(stats, 1024 + 12), 0u);
    EXPECT_EQ(word32(stats, 1024 + 20), 0u);
    // Luma (77 x 2050 + 150 x 1025 + 29 x 512) / 256 = 1275 lies above 1200.
    EXPECT_EQ(word32(stats, 1024 + 48), kPixels);
    EXPECT_EQ(word32(stats, 1024 + 40), kPixels * (1025 / 16));
    // The second region is not active.
    EXPECT_EQ(word32(stats, 1088 + 24), 0u);

    // Unit gains: the white-balance sums follow.
    load[49] = load[50] = 1024u | (1024u << 16);
    run(CI_SAVE_WHITEBALANCE);
    EXPECT_EQ(word32(stats, 1024 + 24), kPixels * (1025 / 16));
    EXPECT_EQ(word32(stats, 1024 + 32), kPixels * (1025 / 16));
    EXPECT_EQ(word32(stats, 1024 + 4), 0u);
}

// Cell position (0 top-left to 3 bottom-right) of the red sample.
int redPosition(MOSAICType mosaic)
{
    return mosaic == MOSAIC_GRBG ? 1 : mosaic == MOSAIC_GBRG ? 2 : mosaic == MOSAIC_BGGR ? 3 : 0;
}

constexpr MOSAICType kMosaics[] = {MOSAIC_RGGB, MOSAIC_GRBG, MOSAIC_GBRG, MOSAIC_BGGR};

TEST_F(IspModel, WarmLightWithMatchingGainsIsNeutralOnEveryMosaic)
{
    // A grey surface under 3000 K light: the raw red and blue fall below
    // green by the scene's channel response; gains of its inverse (R, G1,
    // G2, B) and the black level taken off give a neutral display.
    simboard::Scene scene;
    scene.map = simboard::SceneMap::Grey;
    scene.colourTemperature = 3000.0;
    scene.lightLevel = 2.0;
    double response[3];
    scene.channelResponse(response);
    ASSERT_LT(response[2], 0.5);  // warm: blue far below green
    const uint32_t red = static_cast<uint32_t>(std::lround(1024 / response[0]));
    const uint32_t blue = static_cast<uint32_t>(std::lround(1024 / response[2]));
    load[5] = 0xC0C0C0C0u;  // the scene's black level 64 off every channel
    load[49] = red | (1024u << 16);
    load[50] = 1024u | (blue << 16);
    for (MOSAICType mosaic : kMosaics) {
        SCOPED_TRACE(mosaic);
        scene.render(simboard::ChipFrameFormat{kW, kH, 10, mosaic, 30.0}, 10000, 1.0, std::nullopt, image);
        info.iifConfig.eBayerFormat = mosaic;
        std::vector<uint8_t> display;
        frame.display = bind(display, RGB_888_24, 3);
        run(0);
        const uint8_t *p = display.data() + frame.display.stride * (kH / 2) + 3 * (kW / 2);
        EXPECT_GT(p[1], 60);
        EXPECT_NEAR(p[0], p[1], 1);
        EXPECT_NEAR(p[2], p[1], 1);
    }
}

TEST_F(IspModel, ChannelValuesGoToTheChannelsPositionOnEveryMosaic)
{
    // Red samples 384, the others 256 (10 bits). The red channel's black
    // offset -128 brings red to 256 again (1025 of 12 bits); blue gain 0.5
    // gives 512; the clip 500 of G1 (the green of the red row) gives a
    // green mean of (500 + 1025) / 2. Only red (1537 of 12 bits) lies
    // above the exposure pixel maximum 1200, counted before the black level.
    load[2] = 1200;
    load[5] = 0x80u;
    load[50] = 1024u | (512u << 16);
    load[51] = 4096u | (500u << 16);
    load[115] = 0;
    load[117] = (kW - 1) | ((kH - 1) << 16);
    load[119] = 0;
    for (MOSAICType mosaic : kMosaics) {
        SCOPED_TRACE(mosaic);
        uint16_t cell[4] = {256, 256, 256, 256};
        cell[redPosition(mosaic)] = 384;
        fillCells(cell[0], cell[1], cell[2], cell[3]);
        info.iifConfig.eBayerFormat = mosaic;
        run(CI_SAVE_WHITEBALANCE | CI_SAVE_EXS_GLOBAL);
        EXPECT_EQ(word32(stats, 1024 + 24), kPixels * (1025 / 16));
        EXPECT_EQ(word32(stats, 1024 + 28), kPixels * ((500 + 1025) / 2 / 16));
        EXPECT_EQ(word32(stats, 1024 + 32), kPixels * (512 / 16));
        EXPECT_EQ(word32(stats, 0), kCells);
        for (int c = 1; c < 4; ++c)
            EXPECT_EQ(word32(stats, 4 * c), 0u) << c;
    }
}

TEST_F(IspModel, RedPatchIsRedInEveryRgbDisplayFormat)
{
    // The chart's red patch (row 2, column 2 of its 6 x 4) under 5000 K light
    // with the gains of that light, read as the display reads each format:
    // a little-endian pixel of `bits` a value, red and blue in the given
    // lanes (lane 0 the lowest bits), green between them.
    const struct {
        pxlFormat format;
        uint32_t bytes, bits;
        int redLane, blueLane;
    } cases[] = {
        {RGB_888_24, 3, 8, 2, 0},     {RGB_888_32, 4, 8, 2, 0},     {BGR_888_24, 3, 8, 0, 2},
        {BGR_888_32, 4, 8, 0, 2},     {RGB_101010_32, 4, 10, 2, 0}, {BGR_101010_32, 4, 10, 0, 2},
    };
    simboard::Scene scene;
    scene.map = simboard::SceneMap::Chart;
    double response[3];
    scene.channelResponse(response);
    scene.render(simboard::ChipFrameFormat{kW, kH, 10, MOSAIC_RGGB, 30.0}, 10000, 1.0, std::nullopt, image);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.format);
        setNeutralPipeline(load, YVU_420_PL12_8, c.format);
        load[5] = 0xC0C0C0C0u;
        load[49] = static_cast<uint32_t>(std::lround(1024 / response[0])) | (1024u << 16);
        load[50] = 1024u | (static_cast<uint32_t>(std::lround(1024 / response[2])) << 16);
        std::vector<uint8_t> display;
        frame.display = bind(display, c.format, c.bytes);
        run(0);
        const uint8_t *p = display.data() + frame.display.stride * 30 + c.bytes * 26;
        uint32_t word = 0;
        for (uint32_t k = 0; k < c.bytes; ++k)
            word |= static_cast<uint32_t>(p[k]) << (8 * k);
        const uint32_t mask = (1u << c.bits) - 1;
        const uint32_t red = (word >> (c.bits * c.redLane)) & mask, green = (word >> c.bits) & mask;
        const uint32_t blue = (word >> (c.bits * c.blueLane)) & mask;
        EXPECT_GT(red, 3 * green);
        EXPECT_GT(red, 3 * blue);
    }
}

TEST_F(IspModel, WhiteBalanceCountsOnlyValuesAboveTheThresholds)
{
    // Grey 1024 of a 12-bit input everywhere, unit gains. A threshold of 512
    // (11 fractional bits: a quarter of the range, level 1024) equals the
    // value and does not count it; 511 (level 1022) does.
    image.bitDepth = 12;
    std::fill(image.samples.begin(), image.samples.end(), 1024);
    load[49] = load[50] = 1024u | (1024u << 16);
    load[115] = 0;
    load[117] = (kW - 1) | ((kH - 1) << 16);
    load[119] = 0;
    load[120] = 512u | (511u << 12);  // R at the level, G just below
    load[122] = 512u | (512u << 12);  // B and luma at the level
    run(CI_SAVE_WHITEBALANCE);
    EXPECT_EQ(word32(stats, 1024 + 4), 0u);       // red count
    EXPECT_EQ(word32(stats, 1024 + 12), kPixels);  // green count
    EXPECT_EQ(word32(stats, 1024 + 8), kPixels * (1024 / 16));
    EXPECT_EQ(word32(stats, 1024 + 20), 0u);      // blue count
    EXPECT_EQ(word32(stats, 1024 + 48), 0u);      // luma (77 + 150 + 29) x 1024 / 256 = 1024
    load[122] = 512u | (511u << 12);
    run(CI_SAVE_WHITEBALANCE);
    EXPECT_EQ(word32(stats, 1024 + 48), kPixels);
}

TEST_F(IspModel, BlackLevelClipAndGamma)
{
    std::vector<uint8_t> hdr;
    frame.hdrExtraction = bind(hdr, BGR_101010_32, 4);
    // Fixed offsets -64 (input units): 256 - 64 = 192 of 10 bits, 768 of 12.
    // Red clip 500 (12-bit level).
    load[5] = 0xC0C0C0C0u;
    load[51] = 500u | (4096u << 16);
    run(0);
    EXPECT_EQ(word32(hdr, 0), 125u | (192u << 10) | (192u << 20));

    // Gamma on, every point 4000: the encoder's luma is 4000 / 4 = 1000 of 10 bits, 250 of 8.
    load[5] = 0;
    load[51] = 4096u | (4096u << 16);
    load[114] = 0;
    for (int i = 0; i < 63; ++i)
        gamma.aRedPoints[i] = gamma.aGreenPoints[i] = gamma.aBluePoints[i] = 4000;
    std::vector<uint8_t> encoder;
    frame.hdrExtraction = {};
    frame.encoder = bind(encoder, YVU_420_PL12_8, 2);
    run(0);
    EXPECT_EQ(encoder[0], 250);
    EXPECT_EQ(encoder[kW * kH], 128);  // grey chroma
    load[114] = 1;  // bypassed: 1025 / 4 = 256 -> 64
    run(0);
    EXPECT_EQ(encoder[0], 64);
}

TEST_F(IspModel, CheckerIsSharperThanFlatField)
{
    load[57] = 0;                             // focus grid at 0, 0
    load[58] = 16u | (16u << 16);             // 16x16-pixel tiles
    load[59] = 0;                             // region of interest: the whole image
    load[60] = (kW - 1) | ((kH - 1) << 16);
    run(CI_SAVE_FOS_ROI | CI_SAVE_FOS_GRID);
    EXPECT_EQ(word32(stats, 512), 0u);
    EXPECT_EQ(word32(stats, 576), 0u);

    // 8x8-pixel squares of 100 and 900 (10 bits): 400 and 3603 of 12, luma
    // 25 and 225 of 8 bits.
    for (uint32_t y = 0; y < kH; ++y)
        for (uint32_t x = 0; x < kW; ++x)
            image.samples[y * kW + x] = ((x / 8 + y / 8) & 1) ? 900 : 100;
    run(CI_SAVE_FOS_ROI | CI_SAVE_FOS_GRID);
    // Every 4th cell column and row after the first meets an edge of 200,
    // counted for each of the cell's 4 pixels: 7 column edges x 24 rows +
    // 5 row edges x 32 columns.
    EXPECT_EQ(word32(stats, 512), 4u * 200 * (7 * 24 + 5 * 32));
    // Tile (1, 1), cells 8 to 15 both ways: column edges at cells 8 and 12
    // and row edges at cells 8 and 12, each 8 cells long.
    EXPECT_EQ(word32(stats, 576 + 64 * 1 + 4 * 1), 4u * 200 * (2 * 8 + 2 * 8));
    EXPECT_GT(word32(stats, 576), 0u);
    EXPECT_EQ(word32(stats, 576 + 64 * 3), 0u);  // grid row 3 lies below the image
}

TEST_F(IspModel, WhiteBalanceTilesSumLog2OfTheChannels)
{
    load[39] = 0;                        // grid at cell 0, 0
    load[40] = 3u | (3u << 16);          // 4x4-cell tiles
    load[43] = 65280u << 16;             // red clip 255.0 (U8.8)
    load[44] = 65280u | (65280u << 16);  // green and blue clips
    run(CI_SAVE_WHITEBALANCE_EXT);
    // 1025 in every channel: log2 = 10.001, 320 in 27.5; 16 cells per
    // tile. The tiles are measured before the white-balance gains.
    load[49] = 4096u | (1024u << 16);
    EXPECT_EQ(word32(stats, 4544), 16u * 320);
    EXPECT_EQ(word32(stats, 4544 + 4), 16u * 320);
    EXPECT_EQ(word32(stats, 4544 + 8), 16u * 320);
    EXPECT_EQ(word32(stats, 4544 + 12), 16u);
    EXPECT_EQ(word32(stats, 4544 + 128 * 5 + 16 * 6 + 12), 16u);
    EXPECT_EQ(word32(stats, 4544 + 128 * 6 + 12), 0u);  // below the 24 cell rows

    // A dark threshold above the samples (1025 is 64.06 in 8-bit units) drops every cell.
    load[42] = 65u << 8;
    run(CI_SAVE_WHITEBALANCE_EXT);
    EXPECT_EQ(word32(stats, 4544 + 12), 0u);
    EXPECT_EQ(word32(stats, 4544), 0u);
}

TEST_F(IspModel, EveryStatisticStaysZeroWithItsFlagOff)
{
    // Every statistic configured to catch the frame.
    for (uint32_t y = 0; y < kH; ++y)
        for (uint32_t x = 0; x < kW; ++x)
            image.samples[y * kW + x] = static_cast<uint16_t>((x * 37 + y * 11) % 1024);
    load[1] = 8u | (8u << 16);
    load[2] = 0;
    load[40] = 3u | (3u << 16);
    load[44] = 65280u | (65280u << 16);
    load[43] = 65280u << 16;
    load[58] = 16u | (16u << 16);
    load[60] = (kW - 1) | ((kH - 1) << 16);
    load[117] = load[118] = (kW - 1) | ((kH - 1) << 16);
    load[119] = 1;
    load[130] = 32768u << 16;
    load[132] = 8u | (8u << 16);
    const uint32_t all = CI_SAVE_EXS_GLOBAL | CI_SAVE_EXS_REGION | CI_SAVE_FOS_ROI | CI_SAVE_FOS_GRID |
                         CI_SAVE_WHITEBALANCE | CI_SAVE_WHITEBALANCE_EXT | CI_SAVE_HIST_GLOBAL |
                         CI_SAVE_HIST_REGION | CI_SAVE_FLICKER;
    run(all);
    const struct {
        uint32_t flag;
        size_t at, bytes;
    } blocks[] = {{CI_SAVE_EXS_GLOBAL, 0, 16},     {CI_SAVE_EXS_REGION, 64, 448},    {CI_SAVE_FOS_ROI, 512, 4},
                  {CI_SAVE_FOS_GRID, 576, 448},    {CI_SAVE_WHITEBALANCE, 1024, 128}, {CI_SAVE_HIST_GLOBAL, 1152, 256},
                  {CI_SAVE_HIST_REGION, 1408, 3136}, {CI_SAVE_WHITEBALANCE_EXT, 4544, 896}, {CI_SAVE_FLICKER, 5456, 4}};
    auto anySet = [this](size_t at, size_t bytes) {
        return std::any_of(stats.begin() + at, stats.begin() + at + bytes, [](uint8_t v) { return v != 0; });
    };
    for (const auto &b : blocks)
        EXPECT_TRUE(anySet(b.at, b.bytes)) << b.flag;
    EXPECT_EQ(word32(stats, 5456), 4u);  // flicker detection waiting: its first frame

    for (const auto &b : blocks) {
        run(all & ~b.flag);
        EXPECT_FALSE(anySet(b.at, b.bytes)) << b.flag;
    }
    run(0);
    for (size_t i = 0; i < stats.size(); ++i)
        ASSERT_EQ(stats[i], 0) << i;
}

TEST_F(IspModel, DataExtractionKeepsTheRawSamples)
{
    for (uint32_t i = 0; i < kW * kH; ++i)
        image.samples[i] = static_cast<uint16_t>(i % 1024);
    std::vector<uint8_t> raw;
    frame.display = bind(raw, BAYER_RGGB_10, 2);
    frame.dataExtraction = true;
    load[49] = load[50] = 0;  // gains 0: the colour pipeline would be black
    run(0);
    // Three 10-bit samples a word.
    EXPECT_EQ(word32(raw, 0), 0u | (1u << 10) | (2u << 20));
    EXPECT_EQ(word32(raw, frame.display.stride), 64u | (65u << 10) | (66u << 20));
}

}  // namespace
}  // namespace isp_model_test
