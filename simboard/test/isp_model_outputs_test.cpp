// The whole image chain with every stage and statistic on, over a few scenes
// and layouts: every byte of the outputs, the statistics block, the defect
// list and the encoder statistics is pinned by a hash, so that reworking
// the model's loops for speed cannot change what it writes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "isp_test_support.h"
#include "simboard/isp_model.h"
#include "simboard/scene.h"

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

class IspModelOutputs : public ::testing::TestWithParam<Case> {};

TEST_P(IspModelOutputs, EveryByteStaysAsPinned)
{
    const Case &c = GetParam();
    simboard::Scene scene;
    scene.map = c.map;
    scene.defects = {{10, 12, true}, {41, 30, false}};
    simboard::BayerFrame image;
    scene.render(simboard::ChipFrameFormat{c.width, c.height, 10, c.mosaic, 30.0}, 10000, 1.0, 40, image);
    PipeSetup setup;
    setup.mosaic = c.mosaic;
    CI_PIPE_INFO info = makeInfo(setup);
    info.config.eOutputConfig = CI_SAVE_ALL;
    info.dpfConfig.eDPFEnable = CI_DPF_DETECT_ENABLED | CI_DPF_WRITE_MAP_ENABLED;
    info.ensConfig.ui8SubExp = 1;
    CI_MODULE_GMA_LUT gamma{};
    for (int i = 0; i < 63; ++i)
        gamma.aRedPoints[i] = gamma.aGreenPoints[i] = gamma.aBluePoints[i] =
            static_cast<QOV_UINT16>(4095.0 * std::pow(i / 62.0, 1 / 2.2) + 0.5);
    gamma.aBluePoints[20] = 3000;
    auto load = everyStage(c.width, c.height, c.display);
    if (c.flatDenoiser)
        for (int k = 0; k < 11; ++k)
            load[61 + k] = 48u | (48u << 16);

    std::vector<uint8_t> stats(6108), dpf(8 * 64), ens(8 * (c.height / 8 + 1));
    const PIXELTYPE encType = pixelType(YVU_420_PL12_8), dispType = pixelType(c.display);
    std::vector<uint8_t> encoder(c.width * c.height * 3 / 2), display(simboard::packedLineBytes(dispType, c.width) * c.height);
    simboard::ShotFrame shot;
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
    shot.encoder.width = c.width, shot.encoder.height = c.height;
    shot.encoder.stride = c.width, shot.encoder.strideC = c.width;
    shot.encoder.offsetC = c.width * c.height, shot.encoder.linesC = c.height / 2;
    shot.display.memory = display.data(), shot.display.size = display.size(), shot.display.type = dispType;
    shot.display.width = c.width, shot.display.height = c.height;
    shot.display.stride = simboard::packedLineBytes(dispType, c.width);
    simboard::makePipelineImageModel()->process(shot);

    uint64_t h = fnv1a(encoder);
    for (const auto *block : {&display, &stats, &dpf, &ens})
        h = fnv1a(*block, h);
    EXPECT_EQ(h, c.expected) << std::hex << "0x" << h;
}

INSTANTIATE_TEST_SUITE_P(
    ScenesAndLayouts, IspModelOutputs,
    ::testing::Values(Case{simboard::SceneMap::Chart, MOSAIC_RGGB, 320, 240, RGB_888_24, 0xf37a25f4c295b1abull},
                      Case{simboard::SceneMap::Texture, MOSAIC_GRBG, 322, 182, RGB_888_32, 0x0c10a2c0d4c2a94aull},
                      Case{simboard::SceneMap::Texture, MOSAIC_BGGR, 256, 144, BGR_888_24, 0x67c943959dbbe274ull},
                      Case{simboard::SceneMap::Chart, MOSAIC_GBRG, 200, 120, RGB_101010_32, 0x1dad9fc9de61d3d5ull},
                      Case{simboard::SceneMap::Texture, MOSAIC_RGGB, 240, 136, RGB_888_24, 0x8b0603ae318ff7f2ull, true}));

}  // namespace
