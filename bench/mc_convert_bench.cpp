// Cost of the work done before every frame: converting the floating-point
// configuration and writing the load structure.
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

#include "mc/mc_conversions.h"

namespace {

CI_HWINFO benchHw()
{
    CI_HWINFO hw{};
    hw.rev_ui8Major = 2;
    hw.rev_ui8Minor = 7;
    hw.config_ui8Parallelism = 2;
    hw.config_ui8BitDepth = 10;
    hw.config_ui8NContexts = 2;
    hw.context_aBitDepth[0] = 10;
    hw.uiSizeOfLoadStruct = 1268;
    return hw;
}

// A default 1920 x 1080 pipeline with a 4:2:0 encoder output, converted once.
struct Fixture {
    Fixture()
    {
        MC_IIFInit(&mc->sIIF);
        mc->sIIF.ui16ImagerSize[0] = 960;
        mc->sIIF.ui16ImagerSize[1] = 540;
        MC_PipelineInit(mc.get(), &hw);
        mc->eEncOutput = YUV_420_PL12_8;
        ci->sDisplayScaler.bIsDisplay = 1;
        int mask = 0;
        MC_PipelineConvert(mc.get(), ci.get(), &mask);
    }

    void markAll()
    {
        MC_PIPELINE &p = *mc;
        p.sIIF.updateNeeded = p.sBLC.updateNeeded = p.sRLT.updateNeeded = p.sLSH.updateNeeded = QOV_TRUE;
        p.sWBC.updateNeeded = p.sDNS.updateNeeded = p.sDPF.updateNeeded = p.sLCA.updateNeeded = QOV_TRUE;
        p.sCCM.updateNeeded = p.sMGM.updateNeeded = p.sGMA.updateNeeded = p.sR2Y.updateNeeded = QOV_TRUE;
        p.sMIE.updateNeeded = p.sTNM.updateNeeded = p.sSHA.updateNeeded = p.sESC.updateNeeded = QOV_TRUE;
        p.sDSC.updateNeeded = p.sY2R.updateNeeded = p.sDGM.updateNeeded = p.sHDR.updateNeeded = QOV_TRUE;
        p.sEXS.updateNeeded = p.sFOS.updateNeeded = p.sWBS.updateNeeded = p.sAWS.updateNeeded = QOV_TRUE;
        p.sHIS.updateNeeded = p.sFLD.updateNeeded = p.sENS.updateNeeded = QOV_TRUE;
    }

    CI_HWINFO hw = benchHw();
    std::unique_ptr<MC_PIPELINE> mc = std::make_unique<MC_PIPELINE>();
    std::unique_ptr<CI_PIPELINE> ci = std::make_unique<CI_PIPELINE>();
};

void BM_ConvertEveryModule(benchmark::State &state)
{
    Fixture f;
    int mask = 0;
    for (auto _ : state) {
        f.markAll();
        benchmark::DoNotOptimize(MC_PipelineConvert(f.mc.get(), f.ci.get(), &mask));
    }
}
BENCHMARK(BM_ConvertEveryModule);

// The common per-frame case: the control loops changed white balance and
// colour matrix.
void BM_ConvertWhiteBalanceAndMatrix(benchmark::State &state)
{
    Fixture f;
    int mask = 0;
    for (auto _ : state) {
        f.mc->sWBC.updateNeeded = QOV_TRUE;
        f.mc->sCCM.updateNeeded = QOV_TRUE;
        f.mc->sCCM.aCoeff[0][0] += 1e-6;
        benchmark::DoNotOptimize(MC_PipelineConvert(f.mc.get(), f.ci.get(), &mask));
    }
}
BENCHMARK(BM_ConvertWhiteBalanceAndMatrix);

void BM_LoadStructure(benchmark::State &state)
{
    Fixture f;
    std::vector<char> loadstruct(INT_CI_SizeLS_HW2(), 0);
    const int mask = static_cast<int>(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(INT_CI_Load_HW2(f.ci.get(), &f.hw, loadstruct.data(), mask));
        benchmark::ClobberMemory();
    }
}
// Every group, and the per-frame groups 0 and 2 (white balance and matrix).
BENCHMARK(BM_LoadStructure)->Arg(CI_UPD_ALL)->Arg(CI_UPD_GRP_0 | CI_UPD_GRP_2);

} // namespace
