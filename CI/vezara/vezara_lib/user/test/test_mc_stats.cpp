// Statistics extraction from a hand-built 6108-byte statistics block whose
// offsets are those of the hardware layout.
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "mc/mc_conversions.h"

namespace {

class McStatsExtract : public testing::Test
{
  protected:
    McStatsExtract() : block(6108, 0) {}

    void put32(size_t offset, QOV_UINT32 v) { memcpy(block.data() + offset, &v, 4); }
    void put16(size_t offset, QOV_UINT16 v) { memcpy(block.data() + offset, &v, 2); }

    std::vector<QOV_UINT8> block;
};

TEST_F(McStatsExtract, ExposureCountsAreWidenedUnsigned)
{
    put32(8, 77);         // global, channel 2
    put16(502, 0xFFFF);   // tile 6,6 channel 3: 64 + 64 x 6 + 8 x 6 + 2 x 3
    put16(144, 1234);     // tile 1,2 channel 0: 64 + 64 + 16
    put16(510, 0x5555);   // past the last tile of row 6 (56 of 64 bytes used)
    MC_STATS_EXS s{};
    ASSERT_EQ(MC_EXSExtract(block.data(), &s), QOV_SUCCESS);
    EXPECT_EQ(s.globalClipped[2], 77u);
    EXPECT_EQ(s.regionClipped[6][6][3], 65535u);
    EXPECT_EQ(s.regionClipped[1][2][0], 1234u);
    EXPECT_EQ(s.regionClipped[6][6][2], 0u);
}

TEST_F(McStatsExtract, FocusAndHistograms)
{
    put32(512, 99);
    put32(984, 5);   // focus tile 6,6: 576 + 384 + 24
    put32(600, 8);   // focus tile 0,6
    put32(1404, 42); // global bin 63
    put32(4540, 17); // tile 6,6 bin 15: 1408 + 64 x 48 + 60
    put32(1472, 3);  // tile 0,1 bin 0
    MC_STATS_FOS fos{};
    MC_STATS_HIS his{};
    ASSERT_EQ(MC_FOSExtract(block.data(), &fos), QOV_SUCCESS);
    ASSERT_EQ(MC_HISExtract(block.data(), &his), QOV_SUCCESS);
    EXPECT_EQ(fos.ROISharpness, 99u);
    EXPECT_EQ(fos.gridSharpness[6][6], 5u);
    EXPECT_EQ(fos.gridSharpness[0][6], 8u);
    EXPECT_EQ(his.globalHistogram[63], 42u);
    EXPECT_EQ(his.regionHistograms[6][6][15], 17u);
    EXPECT_EQ(his.regionHistograms[0][1][0], 3u);
}

TEST_F(McStatsExtract, WhiteBalanceRegions)
{
    for (QOV_UINT32 k = 0; k < 13; ++k)
        put32(1088 + 4 * k, k + 1); // region 1
    put32(1024 + 48, 500);          // region 0 luma count
    MC_STATS_WBS s{};
    ASSERT_EQ(MC_WBSExtract(block.data(), &s), QOV_SUCCESS);
    const MC_STATS_WBS_WP &wp = s.whitePatch[1];
    EXPECT_EQ(wp.channelAccumulated[0], 1u);
    EXPECT_EQ(wp.channelCount[0], 2u);
    EXPECT_EQ(wp.channelAccumulated[1], 3u);
    EXPECT_EQ(wp.channelCount[1], 4u);
    EXPECT_EQ(wp.channelAccumulated[2], 5u);
    EXPECT_EQ(wp.channelCount[2], 6u);
    EXPECT_EQ(s.averageColor[1].channelAccumulated[0], 7u);
    EXPECT_EQ(s.averageColor[1].channelAccumulated[2], 9u);
    EXPECT_EQ(s.highLuminance[1].channelAccumulated[0], 10u);
    EXPECT_EQ(s.highLuminance[1].channelAccumulated[2], 12u);
    EXPECT_EQ(s.highLuminance[1].lumaCount, 13u);
    EXPECT_EQ(s.highLuminance[0].lumaCount, 500u);
}

TEST_F(McStatsExtract, WhiteBalanceTiles)
{
    put32(5408, 64);          // tile 6,6 red: 4544 + 768 + 96
    put32(5412, 32);          // blue
    put32(5416, 0xFFFFFFFFu); // green
    put32(5420, 0xFFC00005u); // CFA count in bits 0-21
    put32(4544, 1);           // tile 0,0 red
    MC_STATS_AWS s{};
    ASSERT_EQ(MC_AWSExtract(block.data(), &s), QOV_SUCCESS);
    EXPECT_EQ(s.tileStats[6][6].fCollectedRed, 2.0);
    EXPECT_EQ(s.tileStats[6][6].fCollectedBlue, 1.0);
    EXPECT_EQ(s.tileStats[6][6].fCollectedGreen, 134217727.96875);
    EXPECT_EQ(s.tileStats[6][6].numCFAs, 5u);
    EXPECT_EQ(s.tileStats[0][0].fCollectedRed, 0.03125);
}

TEST_F(McStatsExtract, StatusWordsTimestampsAndDefects)
{
    put32(5456, 13); // undefined codes pass the 3-bit mask
    for (QOV_UINT32 k = 0; k < 5; ++k)
        put32(5476 + 4 * k, 1000 + k);
    put32(5444, 10);
    put32(5448, 3);
    put32(5452, 5);

    MC_STATS_FLD fld{};
    ASSERT_EQ(MC_FLDExtract(block.data(), &fld), QOV_SUCCESS);
    EXPECT_EQ(static_cast<int>(fld.flickerStatus), 5);

    MC_STATS_TIMESTAMP ts{};
    ts.ui32InterruptServiced = 9;
    ts.ui64InterruptSysTime = 9;
    ASSERT_EQ(MC_TimestampExtract(block.data(), &ts), QOV_SUCCESS);
    EXPECT_EQ(ts.ui32StartFrameIn, 1000u);
    EXPECT_EQ(ts.ui32EndFrameIn, 1001u);
    EXPECT_EQ(ts.ui32StartFrameOut, 1002u);
    EXPECT_EQ(ts.ui32EndFrameEncOut, 1003u);
    EXPECT_EQ(ts.ui32EndFrameDispOut, 1004u);
    EXPECT_EQ(ts.ui32InterruptServiced, 0u);
    EXPECT_EQ(ts.ui64InterruptSysTime, 0u);

    MC_STATS_DPF dpf{};
    ASSERT_EQ(MC_DPFExtract(block.data(), &dpf), QOV_SUCCESS);
    EXPECT_EQ(dpf.ui32FixedPixels, 10u);
    EXPECT_EQ(dpf.ui32MapModifications, 3u);
    EXPECT_EQ(dpf.ui32DroppedMapModifications, 5u);
    EXPECT_EQ(dpf.ui32NOutCorrection, 4294967294u); // wraps around 2^32
}

TEST_F(McStatsExtract, NullBlockIsRefused)
{
    MC_STATS_HIS his{};
    EXPECT_EQ(MC_HISExtract(nullptr, &his), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(MC_EXSExtract(block.data(), nullptr), QOV_ERROR_INVALID_ARGUMENT);
}

} // namespace
