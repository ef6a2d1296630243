// Hardware profiles of the simulated ISP.
#include <unistd.h>

#include "simboard/isp_driver.h"

namespace simboard {

IspProfile IspProfile::standard()
{
    IspProfile profile;
    CI_HWINFO &hw = profile.info;
    hw.ui8GroupId = 0;
    hw.ui8AllocationId = 0;
    hw.ui16ConfigId = 7;
    hw.rev_ui8Designer = 1;
    hw.rev_ui8Major = 2;
    hw.rev_ui8Minor = 7;
    hw.rev_ui8Maint = 0;
    hw.rev_uid = 4242;
    hw.config_ui8PixPerClock = 1;
    hw.config_ui8Parallelism = 1;
    hw.config_ui8BitDepth = 12;
    hw.config_ui8NContexts = 2;
    hw.config_ui8NImagers = 4;
    hw.config_ui8NIIFDataGenerator = 1;
    hw.config_ui16MemLatency = 0;
    hw.config_ui32DPFInternalSize = 8192;
    hw.config_ui8NRTMRegisters = 8;
    hw.scaler_ui8EncHLumaTaps = 16;
    hw.scaler_ui8EncVLumaTaps = 8;
    hw.scaler_ui8EncVChromaTaps = 4;
    hw.scaler_ui8DispHLumaTaps = 8;
    hw.scaler_ui8DispVLumaTaps = 4;
    const uint8_t portWidth[4] = {4, 4, 12, 12};
    const uint8_t type[4] = {CI_GASKET_MIPI, CI_GASKET_MIPI, CI_GASKET_PARALLEL, CI_GASKET_PARALLEL};
    const uint8_t depth[4] = {14, 14, 12, 12};
    for (int g = 0; g < 4; ++g) {
        hw.gasket_aImagerPortWidth[g] = portWidth[g];
        hw.gasket_aType[g] = type[g];
        hw.gasket_aMaxWidth[g] = 8192;
        hw.gasket_aBitDepth[g] = depth[g];
    }
    hw.context_aMaxWidthMult[0] = hw.context_aMaxWidthMult[1] = 4096;
    hw.context_aMaxHeight[0] = hw.context_aMaxHeight[1] = 8192;
    hw.context_aMaxWidthSingle[0] = 8192;
    hw.context_aMaxWidthSingle[1] = 4096;
    hw.context_aBitDepth[0] = hw.context_aBitDepth[1] = 12;
    hw.context_aPendingQueue[0] = hw.context_aPendingQueue[1] = 4;
    hw.ui32MaxLineStore = 8192;
    hw.ui32LSHRamSizeBits = 262144;
    hw.eFunctionalities = CI_INFO_SUPPORTED_TILING | CI_INFO_SUPPORTED_HDR_EXT | CI_INFO_SUPPORTED_HDR_INS |
                          CI_INFO_SUPPORTED_RAW2D_EXT | CI_INFO_SUPPORTED_IIF_DATAGEN;
    hw.uiSizeOfPipeline = sizeof(CI_PIPELINE);
    hw.uiSizeOfLoadStruct = kIspLoadStructureSize;
    hw.uiChangelist = 4242;
    hw.uiTiledScheme = 256;
    hw.mmu_ui8Enabled = 1;
    hw.mmu_ui8RevMajor = 1;
    hw.mmu_ui8RevMinor = 0;
    hw.mmu_ui8RevMaint = 0;
    hw.mmu_ui32PageSize = static_cast<uint32_t>(getpagesize());
    hw.ui32RefClockMhz = 400;
    return profile;
}

IspProfile IspProfile::version(uint8_t major, uint8_t minor)
{
    IspProfile profile = standard();
    profile.info.rev_ui8Major = major;
    profile.info.rev_ui8Minor = minor;
    return profile;
}

IspProfile IspProfile::noFunctionalities()
{
    IspProfile profile = standard();
    profile.info.eFunctionalities = CI_INFO_SUPPORTED_NONE;
    return profile;
}

IspProfile IspProfile::oneContext()
{
    IspProfile profile = standard();
    profile.info.config_ui8NContexts = 1;
    return profile;
}

IspProfile IspProfile::tilingScheme512()
{
    IspProfile profile = standard();
    profile.info.uiTiledScheme = 512;
    return profile;
}

IspProfile IspProfile::wrongPipelineSize()
{
    IspProfile profile = standard();
    profile.info.uiSizeOfPipeline = sizeof(CI_PIPELINE) + 4;
    return profile;
}

IspProfile IspProfile::wrongLoadStructureSize()
{
    IspProfile profile = standard();
    profile.info.uiSizeOfLoadStruct = kIspLoadStructureSize - 4;
    return profile;
}

IspProfile IspProfile::noDebug()
{
    IspProfile profile = standard();
    profile.debugSupport = false;
    return profile;
}

}  // namespace simboard
