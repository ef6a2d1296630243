// One processed frame as the application and the control loops see it: the
// output images in the driver's buffers, the statistics of the frame with
// the configuration they were taken with, its timestamps, the raw blocks
// (statistics, defect map, encoder statistics) and the capture-interface
// shot it is released with. A shot points into driver buffers and owns no
// memory; it is valid from acquire to release.
#ifndef VOVA_SHOT_H
#define VOVA_SHOT_H

#include "ci/ci_api.h"
#include "mc/mc_structs.h"
#include "qov_types.h"
#include "vezaracommon/pixel_format.h"

namespace VOVA {

class ModuleOUT;
struct Global_Setup;

/** One output image of a shot. Sizes keep the driver's 32-bit values whole. */
struct Buffer {
    QOV_UINT32 width = 0;  ///< pixels
    QOV_UINT32 height = 0;
    QOV_UINT32 stride = 0;   ///< bytes per line of the (luma) plane
    QOV_UINT32 vstride = 0;  ///< lines of the (luma) plane
    QOV_UINT32 strideCbCr = 0;
    QOV_UINT32 vstrideCbCr = 0;
    QOV_UINT32 offset = 0;  ///< from data to the first (luma) byte
    QOV_UINT32 offsetCbCr = 0;
    ::pxlFormat pxlFormat = PXL_NONE;
    const QOV_UINT8 *data = nullptr;  ///< null when the output is absent
    QOV_UINT32 id = 0;
    bool isTiled = false;

    const QOV_UINT8 *firstData() const { return data + offset; }
    /** The chroma plane of a YUV output; null for any other format. */
    const QOV_UINT8 *firstDataCbCr() const;
};

/** One raw block of a shot. */
struct Statistics {
    const QOV_UINT8 *data = nullptr;
    QOV_UINT32 stride = 0;  ///< the size the driver reports for the block
    QOV_UINT32 size = 0;    ///< the bytes that hold data
    QOV_UINT32 elementSize = 0;
};

/** The statistics of a shot in floating point and the configuration each was taken with. */
struct Metadata {
    MC_STATS_EXS clippingStats;
    MC_EXS clippingConfig;
    MC_STATS_HIS histogramStats;
    MC_HIS histogramConfig;
    MC_STATS_FOS focusStats;
    MC_FOS focusConfig;
    MC_STATS_WBS whiteBalanceStats;
    MC_WBS whiteBalanceConfig;
    MC_STATS_AWS autoWhiteBalanceStats;
    MC_AWS autoWhiteBalanceConfig;
    MC_STATS_FLD flickerStats;
    MC_FLD flickerConfig;
    MC_STATS_TIMESTAMP timestamps;
    MC_STATS_DPF defectiveStats;
    MC_DPF defectiveConfig;    ///< left zero
    MC_ENS encodeStatsConfig;  ///< left zero
};

class Shot {
public:
    Buffer DISPLAY;
    Buffer YUV;
    Buffer BAYER;
    Buffer HDREXT;
    Buffer RAW2DEXT;
    bool bFrameError = false;
    int iMissedFrames = 0;
    Metadata metadata{};
    Statistics DPF;
    Statistics ENS;
    Statistics stats;
    CI_SHOT *pCIBuffer = nullptr;  ///< null when the shot holds nothing

    /** Empties the shot: buffers, metadata, raw blocks, flags and the capture-interface shot. */
    void clear();
    /** Fills the shot from a completed capture-interface shot. */
    void configure(CI_SHOT *pCI_Buffer, const ModuleOUT &globalConfig, const Global_Setup &globalSetup);
};

}  // namespace VOVA

#endif  // VOVA_SHOT_H
