// Throughput of the data generator's frame converter (a 1920x1080 10-bit
// Bayer image into each wire format) and of buffer de-tiling, each beside a
// plain memcpy of the same bytes: the memory bandwidth this machine has.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "ci/ci_converter.h"
#include "sim_image/sim_image.h"
#include "vezaracommon/pixel_format.h"

namespace {

constexpr QOV_UINT32 kWidth = 1920;
constexpr QOV_UINT32 kHeight = 1080;

// The conversion logs a line at its start and end: keep them out of the report.
class QuietStdout {
public:
    QuietStdout()
    {
        fflush(stdout);
        saved_ = dup(STDOUT_FILENO);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        close(null);
    }
    ~QuietStdout()
    {
        fflush(stdout);
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
    }

private:
    int saved_;
};

struct BayerImage {
    sSimImageIn in{};
    std::vector<QOV_UINT16> samples;
    BayerImage()
    {
        samples.resize((size_t)kWidth * kHeight);
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = (QOV_UINT16)((i * 2654435761u >> 7) & 0x3FF);
        in.info.ui8BitDepth = 10;
        in.info.ui32Width = kWidth;
        in.info.ui32Height = kHeight;
        in.info.stride = (size_t)kWidth * 4;
        in.info.eColourModel = SimImage_RGGB;
        in.pBuffer = samples.data();
    }
};

QOV_UINT32 frameBytes(CI_CONV_FMT format)
{
    CI_CONVERTER conv{};
    CI_ConverterConfigure(&conv, format, 10);
    QOV_UINT32 size = CI_ConverterFrameSize(&conv, kWidth, kHeight);
    CI_ConverterClear(&conv);
    return size;
}

// Arguments: the wire format, and the code the converter may use (the
// portable code is what a processor without the vector kernels runs).
void BM_ConvertFrame(benchmark::State &state)
{
    const auto format = static_cast<CI_CONV_FMT>(state.range(0));
    struct CodeLimit {
        explicit CodeLimit(CI_CONV_CODE code) { CI_ConverterLimitCode(code); }
        ~CodeLimit() { CI_ConverterLimitCode(CI_CONV_CODE_ALL); }
    } limit(static_cast<CI_CONV_CODE>(state.range(1)));
    BayerImage image;
    CI_CONVERTER conv{};
    if (CI_ConverterConfigure(&conv, format, 10) != QOV_SUCCESS) {
        state.SkipWithError("configuration refused");
        return;
    }
    std::vector<QOV_UINT8> buffer(CI_ConverterFrameSize(&conv, kWidth, kHeight));
    CI_DG_FRAME frame{};
    frame.data = buffer.data();
    frame.ui32AllocSize = (QOV_UINT32)buffer.size();
    {
        QuietStdout quiet;
        for (auto _ : state) {
            if (CI_ConverterConvertFrame(&conv, &image.in, &frame) != QOV_SUCCESS) {
                state.SkipWithError("conversion failed");
                break;
            }
            benchmark::DoNotOptimize(buffer.data());
            benchmark::ClobberMemory();
        }
    }
    CI_ConverterClear(&conv);
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)buffer.size());
    state.counters["frames/s"] = benchmark::Counter((double)state.iterations(), benchmark::Counter::kIsRate);
}

void BM_MemcpyFrame(benchmark::State &state)
{
    const size_t bytes = frameBytes(static_cast<CI_CONV_FMT>(state.range(0)));
    std::vector<QOV_UINT8> src(bytes, 1), dst(bytes);
    for (auto _ : state) {
        memcpy(dst.data(), src.data(), bytes);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)bytes);
}

// A 1920-wide 8-bit plane of 1080 lines, tiled: stride 2048, lines rounded
// up to the tile height. Arguments: tile width, tile height.
void BM_DeTile(benchmark::State &state)
{
    const QOV_UINT32 tileWidth = (QOV_UINT32)state.range(0);
    const QOV_UINT32 tileHeight = (QOV_UINT32)state.range(1);
    const QOV_UINT32 stride = 2048;
    const QOV_UINT32 lines = (kHeight + tileHeight - 1) / tileHeight * tileHeight;
    const size_t bytes = (size_t)stride * lines;
    std::vector<QOV_UINT8> tiled(bytes, 7), linear(bytes);
    for (auto _ : state) {
        if (BufferDeTile(tileWidth, tileHeight, stride, tiled.data(), linear.data(), stride, lines) != QOV_SUCCESS) {
            state.SkipWithError("de-tiling refused");
            break;
        }
        benchmark::DoNotOptimize(linear.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)bytes);
}

void BM_MemcpyTiledPlane(benchmark::State &state)
{
    const QOV_UINT32 tileHeight = (QOV_UINT32)state.range(1);
    const size_t bytes = (size_t)2048 * ((kHeight + tileHeight - 1) / tileHeight * tileHeight);
    std::vector<QOV_UINT8> src(bytes, 7), dst(bytes);
    for (auto _ : state) {
        memcpy(dst.data(), src.data(), bytes);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)bytes);
}

}  // namespace

BENCHMARK(BM_ConvertFrame)
    ->ArgNames({"format", "code"})
    ->ArgsProduct({{CI_DGFMT_PARALLEL, CI_DGFMT_MIPI, CI_DGFMT_MIPI_LF},
                   {CI_CONV_CODE_ALL, CI_CONV_CODE_256, CI_CONV_CODE_PORTABLE}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyFrame)->ArgName("format")->Arg(CI_DGFMT_PARALLEL)->Arg(CI_DGFMT_MIPI)->Arg(CI_DGFMT_MIPI_LF)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeTile)->ArgNames({"tileW", "tileH"})->Args({256, 16})->Args({512, 8})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyTiledPlane)->ArgNames({"tileW", "tileH"})->Args({256, 16})->Args({512, 8})
    ->Unit(benchmark::kMillisecond);
