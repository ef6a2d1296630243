// Small fixtures of the conversion tests: the hardware description of a
// 2.7 ISP and default floating-point and hardware pipelines.
#ifndef MC_TEST_SUPPORT_H
#define MC_TEST_SUPPORT_H

#include <memory>
#include <string>

#include "mc/mc_conversions.h"

namespace mctest {

inline bool contains(const std::string &text, const char *part) { return text.find(part) != std::string::npos; }

inline CI_HWINFO standardHw()
{
    CI_HWINFO hw{};
    hw.rev_ui8Major = 2;
    hw.rev_ui8Minor = 7;
    hw.config_ui8Parallelism = 2;
    hw.config_ui8BitDepth = 10;
    hw.config_ui8NContexts = 2;
    hw.config_ui8NImagers = 4;
    hw.config_ui32DPFInternalSize = 2048;
    hw.context_aBitDepth[0] = 10;
    hw.context_aBitDepth[1] = 10;
    hw.context_aMaxWidthSingle[0] = 4096;
    hw.context_aMaxWidthSingle[1] = 2048;
    hw.ui32MaxLineStore = 4096;
    hw.uiSizeOfPipeline = sizeof(CI_PIPELINE);
    hw.uiSizeOfLoadStruct = 1268;
    return hw;
}

// A floating-point pipeline initialised for an imager of w x h CFA cells.
inline std::unique_ptr<MC_PIPELINE> defaultPipeline(const CI_HWINFO &hw, QOV_UINT16 w, QOV_UINT16 h)
{
    auto p = std::make_unique<MC_PIPELINE>();
    MC_IIFInit(&p->sIIF);
    p->sIIF.ui16ImagerSize[0] = w;
    p->sIIF.ui16ImagerSize[1] = h;
    MC_PipelineInit(p.get(), &hw);
    return p;
}

// A hardware pipeline as a freshly created capture pipeline holds it.
inline std::unique_ptr<CI_PIPELINE> createdPipeline()
{
    auto p = std::make_unique<CI_PIPELINE>();
    p->config.ui8Context = 2;
    p->config.eDataExtraction = CI_INOUT_NONE;
    p->config.ui16SysBlackLevel = 64;
    p->sImagerInterface.ui8Imager = 4;
    p->sBlackCorrection.ui16PixelMax = 1023;
    p->sDenoiser.bCombineChannels = 1;
    p->sSharpening.bDenoiseBypass = 1;
    p->sEncoderScaler.bIsDisplay = 0;
    p->sEncoderScaler.bBypassScaler = 1;
    p->sDisplayScaler.bIsDisplay = 1;
    p->sDisplayScaler.bBypassScaler = 1;
    p->sRGBToYCC.eType = RGB_TO_YCC;
    p->sYCCToRGB.eType = YCC_TO_RGB;
    return p;
}

} // namespace mctest

#endif
