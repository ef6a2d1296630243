// The simulated ISP's image model on a 1920x1080 10-bit frame of the chart
// scene: the whole chain (every stage on, every statistic, the encoder's
// 4:2:0 and the display's RGB outputs at full size), beside a plain memcpy
// of the frame. The capture program runs in real time on the simulated
// board when one frame takes well under a frame period.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "simboard/isp_model.h"
#include "simboard/isp_words.h"
#include "simboard/scene.h"

namespace {

constexpr uint32_t kWidth = 1920, kHeight = 1080;
using Load = std::array<uint32_t, simboard::kIspLoadStructureWords>;

PIXELTYPE type(FORMAT_TYPES buffer, pxlFormat format, uint8_t depth, uint8_t stride, uint8_t sub)
{
    PIXELTYPE t{};
    t.eFmt = format;
    t.eBuffer = buffer;
    t.ui8BitDepth = depth;
    t.ui8PackedElements = 1;
    t.ui8PackedStride = stride;
    t.ui8HSubsampling = t.ui8VSubsampling = sub;
    return t;
}

// Every stage's words set to something that does work.
Load everyStage()
{
    Load w{};
    simboard::setNeutralPipeline(w, YVU_420_PL12_8, RGB_888_24);
    w[5] = 0xF0F0F0F0u;                                       // black offsets -16
    w[6] = 3;                                                 // cubic raw curve, identity points
    for (int c = 0; c < 4; ++c)
        for (int k = 0; k < 16; k += 2)
            w[7 + 8 * c + k / 2] = (4096u * (k + 1)) | ((k + 2 < 16 ? 4096u * (k + 2) : 65535u) << 16);
    w[49] = 1400u | (1024u << 16), w[50] = 1024u | (1700u << 16);  // white balance
    for (int k = 0; k < 11; ++k)
        w[61 + k] = 64u | (64u << 16);                        // denoiser
    w[73] = 1, w[74] = 4u | (16u << 16);                      // defect detection
    w[77] = 40, w[78] = 40;                                   // chromatic aberration
    w[83] = w[84] = 960u | (540u << 16);
    w[96] = 0xFE00u | (1536u << 16);                          // main gamut clip
    w[114] = 0;                                               // gamma
    w[215] = 0;                                               // tone mapper
    for (int i = 0; i < 63; ++i)
        w[183 + i / 2] |= static_cast<uint32_t>(32 * (i + 1)) << (16 * (i % 2));
    w[224] = 16u | (4112u << 16), w[225] = 256u | (3520u << 16);
    w[231] = 2u | (57u << 8);                                 // sharpening
    w[239] = kHeight - 1, w[279] = (kWidth / 2 - 1) << 1;     // encoder size, pitch 1
    w[238] = w[278] = 32768;
    w[241] = kHeight - 1, w[304] = (kWidth / 2 - 1) << 1;     // display size, pitch 1
    w[240] = w[303] = 32768;
    w[311] = 0xE00u | (1024u << 16);                          // display gamut clip
    // Statistics over the image.
    w[1] = (kWidth / 7) | ((kHeight / 7) << 16), w[2] = 4000;
    w[40] = (kWidth / 14 - 1) | ((kHeight / 14 - 1) << 16);
    w[42] = 8u << 8, w[43] = 200u << 24, w[44] = (200u << 8) | (200u << 24);
    w[58] = (kWidth / 7) | ((kHeight / 7) << 16);
    w[59] = (kWidth / 3) | ((kHeight / 3) << 16), w[60] = (2 * kWidth / 3) | ((2 * kHeight / 3) << 16);
    w[117] = w[118] = (kWidth - 1) | ((kHeight - 1) << 16), w[119] = 1;
    w[120] = w[121] = w[122] = w[123] = 900u | (900u << 12);
    w[130] = 256u | (32767u << 16);
    w[132] = (kWidth / 7) | ((kHeight / 7) << 16);
    return w;
}

struct Frame {
    simboard::BayerFrame image;
    Load load = everyStage();
    CI_PIPE_INFO info{};
    CI_MODULE_GMA_LUT gamma{};
    std::vector<uint8_t> stats = std::vector<uint8_t>(6108);
    std::vector<uint8_t> encoder = std::vector<uint8_t>(kWidth * kHeight * 3 / 2);
    std::vector<uint8_t> display = std::vector<uint8_t>(kWidth * kHeight * 3);
    std::vector<uint8_t> dpf = std::vector<uint8_t>(kHeight * 256);
    std::vector<uint8_t> ens = std::vector<uint8_t>(8 * (kHeight / 8 + 1));
    simboard::ShotFrame shot;

    Frame()
    {
        simboard::Scene scene;
        scene.defects = {{100, 100, true}, {901, 500, false}};
        scene.render(simboard::ChipFrameFormat{kWidth, kHeight, 10, MOSAIC_RGGB, 30.0}, 10000, 1.0, 40, image);
        info.iifConfig.eBayerFormat = MOSAIC_RGGB;
        info.config.eOutputConfig = CI_SAVE_ALL;
        info.dpfConfig.eDPFEnable = CI_DPF_DETECT_ENABLED | CI_DPF_WRITE_MAP_ENABLED;
        for (int i = 0; i < 63; ++i)
            gamma.aRedPoints[i] = gamma.aGreenPoints[i] = gamma.aBluePoints[i] =
                static_cast<QOV_UINT16>(4095.0 * std::pow(i / 62.0, 1 / 2.2) + 0.5);
        shot.image = &image;
        shot.info = &info;
        shot.loadStructure = load.data();
        shot.gamma = &gamma;
        shot.outputConfig = CI_SAVE_ALL;
        shot.statistics = stats.data();
        shot.statisticsSize = stats.size();
        shot.dpfOutput = dpf.data();
        shot.dpfSize = dpf.size();
        shot.ensOutput = ens.data();
        shot.ensSize = ens.size();
        shot.flickerFrame = 10;
        shot.encoder.memory = encoder.data();
        shot.encoder.size = encoder.size();
        shot.encoder.type = type(TYPE_YUV, YVU_420_PL12_8, 8, 1, 2);
        shot.encoder.width = kWidth, shot.encoder.height = kHeight;
        shot.encoder.stride = kWidth, shot.encoder.strideC = kWidth;
        shot.encoder.offsetC = kWidth * kHeight, shot.encoder.linesC = kHeight / 2;
        shot.display.memory = display.data();
        shot.display.size = display.size();
        shot.display.type = type(TYPE_RGB, RGB_888_24, 8, 3, 1);
        shot.display.width = kWidth, shot.display.height = kHeight;
        shot.display.stride = kWidth * 3;
    }
};

void BM_IspWholeChain(benchmark::State &state)
{
    Frame frame;
    auto model = simboard::makePipelineImageModel();
    for (auto _ : state) {
        model->process(frame.shot);
        benchmark::DoNotOptimize(frame.display.data());
        benchmark::ClobberMemory();
    }
}

void BM_MemcpyBayerFrame(benchmark::State &state)
{
    std::vector<uint16_t> from(static_cast<size_t>(kWidth) * kHeight, 1), to(from.size());
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size() * 2);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
}

}  // namespace

BENCHMARK(BM_IspWholeChain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyBayerFrame)->Unit(benchmark::kMillisecond);
