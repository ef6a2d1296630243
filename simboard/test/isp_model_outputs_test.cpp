// The whole image chain with every stage and statistic on, over a few scenes
// and layouts: every byte of the outputs, the statistics block, the defect
// list and the encoder statistics is pinned by a hash, so that reworking
// the model's loops for speed cannot change what it writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <iterator>
#include <vector>

#include "isp_test_support.h"
#include "simboard/isp_model.h"
#include "simboard/scene.h"

namespace isp_model_outputs_test {
namespace {

using namespace isptest;

uint64_t fnv1a(const std::vector<uint8_t> &bytes, uint64_t h = 14695981039346656037ull)
{
    for (uint8_t b : bytes)
        h = (h ^ b) * 1099511628211ull;
    return h;
}

struct Case {
    simboard::SceneMap map;
    MOSAICType mosaic;
    uint32_t width, height;
    pxlFormat display;
    uint64_t expected;
    bool flatDenoiser = false;  // one threshold for every level
};

// Every stage's words set to something that does work, at this image size.
std::array<uint32_t, simboard::kIspLoadStructureWords> everyStage(uint32_t w, uint32_t h, pxlFormat display)
{
    PipeSetup s;
    s.width = w, s.height = h;
    s.encoder = YVU_420_PL12_8, s.encoderWidth = w, s.encoderHeight = h;
    s.display = display, s.displayWidth = w, s.displayHeight = h;
    auto l = makeLoad(s);
    l[5] = 0xF0F0F0F0u;  // black offsets -16
    l[6] = 3;            // cubic raw curve
    for (int c = 0; c < 4; ++c)
        for (int k = 0; k < 16; k += 2)
            l[7 + 8 * c + k / 2] = (4000u * (k + 1)) | ((k + 2 < 16 ? 4100u * (k + 2) : 65535u) << 16);
    l[49] = 1400u | (1024u << 16), l[50] = 1024u | (1700u << 16);
    l[51] = 3900u << 4;  // red clip
    for (int k = 0; k < 11; ++k)
        l[61 + k] = (40u + 8 * k) | ((64u + 4 * k) << 16);
    l[73] = 1, l[74] = 4u | (16u << 16);
    l[77] = 40, l[78] = 40 | (0xFF0u << 16), l[79] = 200;
    l[83] = l[84] = (w / 2) | ((h / 2) << 16);
    l[96] = 0xFE00u | (1536u << 16);
    l[215] = 0;
    for (int i = 0; i < 63; ++i)
        l[183 + i / 2] |= static_cast<uint32_t>(32 * (i + 1)) << (16 * (i % 2));
    l[224] = 16u | (4112u << 16), l[225] = 256u | (3520u << 16);
    l[231] = 2u | (57u << 8);
    l[311] = 0xE00u | (1024u << 16);
    l[1] = (w / 7) | ((h / 7) << 16), l[2] = 3000;
    l[40] = (w / 14 - 1) | ((h / 14 - 1) << 16);
    l[42] = 8u << 8, l[43] = 200u << 24, l[44] = (200u << 8) | (200u << 24);
    l[57] = 3u | (5u << 16), l[58] = (w / 8) | ((h / 8) << 16);
    l[59] = (w / 3) | ((h / 3) << 16), l[60] = (2 * w / 3) | ((2 * h / 3) << 16);
    l[115] = 5u | (3u << 16), l[116] = (w / 2) | ((h / 2) << 16);
    l[117] = (w - 1) | ((h - 1) << 16), l[118] = (w - 3) | ((h - 9) << 16), l[119] = 1;
    l[120] = l[121] = l[122] = l[123] = 900u | (900u << 12);
    l[130] = 40u | (30000u << 16);
    l[131] = 7u | (3u << 16), l[132] = (w / 7 - 1) | ((h / 7 + 1) << 16);
    return l;
}

// One frame of a scene through the whole chain into buffers of its own.
struct Frame {
    simboard::BayerFrame image;
    CI_PIPE_INFO info{};
    CI_MODULE_GMA_LUT gamma{};
    std::array<uint32_t, simboard::kIspLoadStructureWords> load;
    std::vector<uint8_t> stats = std::vector<uint8_t>(6108), dpf = std::vector<uint8_t>(8 * 64), ens, encoder, display;
    simboard::ShotFrame shot;

    Frame(simboard::SceneMap map, MOSAICType mosaic, uint32_t width, uint32_t height, pxlFormat displayFormat)
        : load(everyStage(width, height, displayFormat))
    {
        simboard::Scene scene;
        scene.map = map;
        scene.defects = {{10, 12, true}, {41, 30, false}};
        scene.render(simboard::ChipFrameFormat{width, height, 10, mosaic, 30.0}, 10000, 1.0, 40, image);
        PipeSetup setup;
        setup.mosaic = mosaic;
        info = makeInfo(setup);
        info.config.eOutputConfig = CI_SAVE_ALL;
        info.dpfConfig.eDPFEnable = CI_DPF_DETECT_ENABLED | CI_DPF_WRITE_MAP_ENABLED;
        info.ensConfig.ui8SubExp = 1;
        for (int i = 0; i < 63; ++i)
            gamma.aRedPoints[i] = gamma.aGreenPoints[i] = gamma.aBluePoints[i] =
                static_cast<QOV_UINT16>(4095.0 * std::pow(i / 62.0, 1 / 2.2) + 0.5);
        gamma.aBluePoints[20] = 3000;
        ens.resize(8 * (height / 8 + 1));
        const PIXELTYPE encType = pixelType(YVU_420_PL12_8), dispType = pixelType(displayFormat);
        encoder.resize(width * height * 3 / 2);
        display.resize(simboard::packedLineBytes(dispType, width) * height);
        shot.image = &image;
        shot.info = &info;
        shot.loadStructure = load.data();
        shot.gamma = &gamma;
        shot.outputConfig = CI_SAVE_ALL;
        shot.statistics = stats.data(), shot.statisticsSize = stats.size();
        shot.dpfOutput = dpf.data(), shot.dpfSize = dpf.size();
        shot.ensOutput = ens.data(), shot.ensSize = ens.size();
        shot.flickerFrame = 10;
        shot.encoder.memory = encoder.data(), shot.encoder.size = encoder.size(), shot.encoder.type = encType;
        shot.encoder.width = width, shot.encoder.height = height;
        shot.encoder.stride = width, shot.encoder.strideC = width;
        shot.encoder.offsetC = width * height, shot.encoder.linesC = height / 2;
        shot.display.memory = display.data(), shot.display.size = display.size(), shot.display.type = dispType;
        shot.display.width = width, shot.display.height = height;
        shot.display.stride = simboard::packedLineBytes(dispType, width);
    }

    // Everything the frame wrote.
    uint64_t hash() const
    {
        uint64_t h = fnv1a(encoder);
        for (const auto *block : {&display, &stats, &dpf, &ens})
            h = fnv1a(*block, h);
        return h;
    }
};

class IspModelOutputs : public ::testing::TestWithParam<Case> {};

TEST_P(IspModelOutputs, EveryByteStaysAsPinned)
{
    const Case &c = GetParam();
    Frame frame(c.map, c.mosaic, c.width, c.height, c.display);
    if (c.flatDenoiser)
        for (int k = 0; k < 11; ++k)
            frame.load[61 + k] = 48u | (48u << 16);
    simboard::makePipelineImageModel()->process(frame.shot);
    EXPECT_EQ(frame.hash(), c.expected) << std::hex << "0x" << frame.hash();
}

// A model that has processed one frame renders the next by that frame's own
// configuration: each value its tables come from changed in turn.
TEST(IspModelReuse, EachFrameFollowsItsOwnConfiguration)
{
    const auto unchanged = [](Frame &) {};
    const std::function<void(Frame &)> changes[] = {
        unchanged,
        [](Frame &f) { f.load[5] = 0x08F00810u; },                  // black offsets
        [](Frame &f) { f.load[6] = 1; },                            // linear raw curve
        [](Frame &f) { f.load[9] = 30000u | (31000u << 16); },      // raw curve points
        [](Frame &f) {                                              // gamma curve
            for (int i = 0; i < 63; ++i)
                f.gamma.aGreenPoints[i] = static_cast<QOV_UINT16>(66 * i);
        },
        [](Frame &f) { f.load[114] = 1; },                          // gamma bypassed
        [](Frame &f) { f.load[190] = 900u | (1200u << 16); },       // tone curve
        [](Frame &f) { f.load[224] = 32u | (4000u << 16); },        // tone mapper input
        [](Frame &f) { f.load[215] = 1; },                          // tone mapper bypassed
        [](Frame &f) { f.load[64] = 200u | (10u << 16); },          // denoiser points
        [](Frame &f) { f.info.iifConfig.eBayerFormat = MOSAIC_BGGR; },  // mosaic: channels move
    };
    for (size_t k = 0; k < std::size(changes); ++k) {
        Frame first(simboard::SceneMap::Chart, MOSAIC_RGGB, 96, 64, RGB_888_24);
        Frame second(simboard::SceneMap::Chart, MOSAIC_RGGB, 96, 64, RGB_888_24);
        Frame fresh(simboard::SceneMap::Chart, MOSAIC_RGGB, 96, 64, RGB_888_24);
        for (Frame *f : {&first, &second, &fresh})
            f->load[114] = 0;  // gamma on
        changes[k](second);
        changes[k](fresh);
        auto model = simboard::makePipelineImageModel();
        model->process(first.shot);
        model->process(second.shot);
        simboard::makePipelineImageModel()->process(fresh.shot);
        EXPECT_EQ(second.hash(), fresh.hash()) << "change " << k;
        if (k > 0) {
            EXPECT_NE(second.hash(), first.hash()) << "change " << k;
        }
    }
}

// Two white-balance regions over the same columns are summed together in
// one pass: each region's sums are those it has alone.
TEST(IspModelWhiteBalanceRegions, SameColumnsSumAsEachAlone)
{
    constexpr size_t kRegions = 1024;  // 64 bytes a region
    struct Region {
        uint32_t left, top, right, bottom, limits;  // limits: each of R, G, B, Y
    };
    auto regions = [](Region a, Region b) {
        Frame f(simboard::SceneMap::Texture, MOSAIC_GRBG, 160, 96, RGB_888_24);
        f.load[119] = 1;
        for (int n = 0; n < 2; ++n) {
            const Region &r = n == 0 ? a : b;
            f.load[115 + n] = r.left | (r.top << 16), f.load[117 + n] = r.right | (r.bottom << 16);
            f.load[120 + n] = f.load[122 + n] = r.limits;
        }
        simboard::makePipelineImageModel()->process(f.shot);
        return std::vector<uint8_t>(f.stats.begin() + kRegions, f.stats.begin() + kRegions + 128);
    };
    const uint32_t low = 300u | (700u << 12), high = 1200u | (1500u << 12);
    // The same columns, rows in part shared.
    const auto together = regions({7, 3, 150, 50, low}, {7, 20, 150, 90, high});
    // Each of those regions beside one over other columns.
    const auto first = regions({7, 3, 150, 50, low}, {7, 20, 120, 90, high});
    const auto second = regions({7, 20, 150, 90, high}, {7, 3, 120, 50, low});
    EXPECT_TRUE(std::equal(together.begin(), together.begin() + 64, first.begin()));
    EXPECT_TRUE(std::equal(together.begin() + 64, together.end(), second.begin()));
    EXPECT_NE(std::vector<uint8_t>(together.begin(), together.begin() + 64),
              std::vector<uint8_t>(together.begin() + 64, together.end()));
}

INSTANTIATE_TEST_SUITE_P(
    ScenesAndLayouts, IspModelOutputs,
    ::testing::Values(Case{simboard::SceneMap::Chart, MOSAIC_RGGB, 320, 240, RGB_888_24, 0x63cf74115b32ef97ull},
                      Case{simboard::SceneMap::Texture, MOSAIC_GRBG, 322, 182, RGB_888_32, 0x49750d354961ca4dull},
                      Case{simboard::SceneMap::Texture, MOSAIC_BGGR, 256, 144, BGR_888_24, 0xc27e3171a559619eull},
                      Case{simboard::SceneMap::Chart, MOSAIC_GBRG, 200, 120, RGB_101010_32, 0xe269298a2be50ac9ull},
                      Case{simboard::SceneMap::Texture, MOSAIC_RGGB, 240, 136, RGB_888_24, 0x166bc0b53aed47aaull, true}));

}  // namespace
}  // namespace isp_model_outputs_test
