// Copies of a shot's statistics block (fixed hardware layout, little-endian)
// into the statistics records the control loops read.
#include <cstring>

#include "mc/mc_conversions.h"

namespace {

inline QOV_UINT32 word(const QOV_UINT8 *blob, QOV_UINT32 offset)
{
    QOV_UINT32 v;
    memcpy(&v, blob + offset, sizeof(v));
    return v;
}

inline QOV_UINT16 half(const QOV_UINT8 *blob, QOV_UINT32 offset)
{
    QOV_UINT16 v;
    memcpy(&v, blob + offset, sizeof(v));
    return v;
}

} // namespace

QOV_RESULT MC_EXSExtract(const void *blob, MC_STATS_EXS *pStats)
{
    if (!blob || !pStats)
        return QOV_ERROR_INVALID_ARGUMENT;
    const QOV_UINT8 *b = static_cast<const QOV_UINT8 *>(blob);
    for (QOV_UINT32 c = 0; c < 4; ++c)
        pStats->globalClipped[c] = word(b, CI_STATS_EXS_GLOBAL_OFFSET + 4 * c);
    for (QOV_UINT32 r = 0; r < CI_STATS_GRID; ++r) {
        for (QOV_UINT32 t = 0; t < CI_STATS_GRID; ++t) {
            const QOV_UINT32 tile =
                CI_STATS_EXS_REGION_OFFSET + r * CI_STATS_EXS_REGION_ROW_STRIDE + t * CI_STATS_EXS_REGION_TILE_STRIDE;
            for (QOV_UINT32 c = 0; c < 4; ++c)
                pStats->regionClipped[r][t][c] = half(b, tile + 2 * c);
        }
    }
    return QOV_SUCCESS;
}

QOV_RESULT MC_FOSExtract(const void *blob, MC_STATS_FOS *pStats)
{
    if (!blob || !pStats)
        return QOV_ERROR_INVALID_ARGUMENT;
    const QOV_UINT8 *b = static_cast<const QOV_UINT8 *>(blob);
    pStats->ROISharpness = word(b, CI_STATS_FOS_ROI_OFFSET);
    for (QOV_UINT32 r = 0; r < CI_STATS_GRID; ++r)
        memcpy(pStats->gridSharpness[r], b + CI_STATS_FOS_GRID_OFFSET + r * CI_STATS_FOS_GRID_ROW_STRIDE,
               sizeof(pStats->gridSharpness[r]));
    return QOV_SUCCESS;
}

QOV_RESULT MC_HISExtract(const void *blob, MC_STATS_HIS *pStats)
{
    if (!blob || !pStats)
        return QOV_ERROR_INVALID_ARGUMENT;
    const QOV_UINT8 *b = static_cast<const QOV_UINT8 *>(blob);
    static_assert(sizeof(MC_STATS_HIS::globalHistogram) == 4 * CI_STATS_HIS_GLOBAL_BINS);
    static_assert(sizeof(MC_STATS_HIS::regionHistograms) ==
                  CI_STATS_GRID * CI_STATS_GRID * CI_STATS_HIS_REGION_TILE_STRIDE);
    // Both areas are contiguous 32-bit bins in the same order as the record.
    memcpy(pStats->globalHistogram, b + CI_STATS_HIS_GLOBAL_OFFSET, sizeof(pStats->globalHistogram));
    memcpy(pStats->regionHistograms, b + CI_STATS_HIS_REGION_OFFSET, sizeof(pStats->regionHistograms));
    return QOV_SUCCESS;
}

QOV_RESULT MC_WBSExtract(const void *blob, MC_STATS_WBS *pStats)
{
    if (!blob || !pStats)
        return QOV_ERROR_INVALID_ARGUMENT;
    const QOV_UINT8 *b = static_cast<const QOV_UINT8 *>(blob);
    for (QOV_UINT32 n = 0; n < 2; ++n) {
        const QOV_UINT32 base = CI_STATS_WBS_OFFSET + n * CI_STATS_WBS_REGION_STRIDE;
        MC_STATS_WBS_WP &wp = pStats->whitePatch[n];
        wp.channelAccumulated[0] = word(b, base + CI_STATS_WBS_WP_RED_SUM);
        wp.channelCount[0] = word(b, base + CI_STATS_WBS_WP_RED_COUNT);
        wp.channelAccumulated[1] = word(b, base + CI_STATS_WBS_WP_GREEN_SUM);
        wp.channelCount[1] = word(b, base + CI_STATS_WBS_WP_GREEN_COUNT);
        wp.channelAccumulated[2] = word(b, base + CI_STATS_WBS_WP_BLUE_SUM);
        wp.channelCount[2] = word(b, base + CI_STATS_WBS_WP_BLUE_COUNT);
        MC_STATS_WBS_AC &ac = pStats->averageColor[n];
        ac.channelAccumulated[0] = word(b, base + CI_STATS_WBS_AC_RED_SUM);
        ac.channelAccumulated[1] = word(b, base + CI_STATS_WBS_AC_GREEN_SUM);
        ac.channelAccumulated[2] = word(b, base + CI_STATS_WBS_AC_BLUE_SUM);
        MC_STATS_WBS_HLW &hlw = pStats->highLuminance[n];
        hlw.channelAccumulated[0] = word(b, base + CI_STATS_WBS_HLW_RED_SUM);
        hlw.channelAccumulated[1] = word(b, base + CI_STATS_WBS_HLW_GREEN_SUM);
        hlw.channelAccumulated[2] = word(b, base + CI_STATS_WBS_HLW_BLUE_SUM);
        hlw.lumaCount = word(b, base + CI_STATS_WBS_HLW_LUMA_COUNT);
    }
    return QOV_SUCCESS;
}

QOV_RESULT MC_AWSExtract(const void *blob, MC_STATS_AWS *pStats)
{
    if (!blob || !pStats)
        return QOV_ERROR_INVALID_ARGUMENT;
    const QOV_UINT8 *b = static_cast<const QOV_UINT8 *>(blob);
    for (QOV_UINT32 r = 0; r < CI_STATS_GRID; ++r) {
        for (QOV_UINT32 t = 0; t < CI_STATS_GRID; ++t) {
            const QOV_UINT32 tile = CI_STATS_AWS_OFFSET + r * CI_STATS_AWS_ROW_STRIDE + t * CI_STATS_AWS_TILE_STRIDE;
            MC_TILE_STATS_AWS &s = pStats->tileStats[r][t];
            // Unsigned 27.5 fixed point; the full 32-bit word is the field.
            s.fCollectedRed = word(b, tile + CI_STATS_AWS_RED) / 32.0;
            s.fCollectedBlue = word(b, tile + CI_STATS_AWS_BLUE) / 32.0;
            s.fCollectedGreen = word(b, tile + CI_STATS_AWS_GREEN) / 32.0;
            s.numCFAs = word(b, tile + CI_STATS_AWS_NUM_CFAS) & CI_STATS_AWS_NUM_CFAS_MASK;
        }
    }
    return QOV_SUCCESS;
}

QOV_RESULT MC_FLDExtract(const void *blob, MC_STATS_FLD *pStats)
{
    if (!blob || !pStats)
        return QOV_ERROR_INVALID_ARGUMENT;
    const QOV_UINT8 *b = static_cast<const QOV_UINT8 *>(blob);
    pStats->flickerStatus = static_cast<FLD_STATUS>(word(b, CI_STATS_FLD_STATUS_OFFSET) & CI_STATS_FLD_STATUS_MASK);
    return QOV_SUCCESS;
}

QOV_RESULT MC_TimestampExtract(const void *blob, MC_STATS_TIMESTAMP *pStats)
{
    if (!blob || !pStats)
        return QOV_ERROR_INVALID_ARGUMENT;
    const QOV_UINT8 *b = static_cast<const QOV_UINT8 *>(blob);
    *pStats = MC_STATS_TIMESTAMP{};
    pStats->ui32StartFrameIn = word(b, CI_STATS_TS_START_FRAME_IN_OFFSET);
    pStats->ui32EndFrameIn = word(b, CI_STATS_TS_END_FRAME_IN_OFFSET);
    pStats->ui32StartFrameOut = word(b, CI_STATS_TS_START_FRAME_OUT_OFFSET);
    pStats->ui32EndFrameEncOut = word(b, CI_STATS_TS_END_FRAME_ENC_OUT_OFFSET);
    pStats->ui32EndFrameDispOut = word(b, CI_STATS_TS_END_FRAME_DISP_OUT_OFFSET);
    return QOV_SUCCESS;
}

QOV_RESULT MC_DPFExtract(const void *blob, MC_STATS_DPF *pStats)
{
    if (!blob || !pStats)
        return QOV_ERROR_INVALID_ARGUMENT;
    const QOV_UINT8 *b = static_cast<const QOV_UINT8 *>(blob);
    pStats->ui32FixedPixels = word(b, CI_STATS_DPF_FIXED_OFFSET);
    pStats->ui32MapModifications = word(b, CI_STATS_DPF_MAP_MODIFICATIONS_OFFSET);
    pStats->ui32DroppedMapModifications = word(b, CI_STATS_DPF_MAP_DROPPED_OFFSET);
    pStats->ui32NOutCorrection = pStats->ui32MapModifications - pStats->ui32DroppedMapModifications;
    return QOV_SUCCESS;
}
