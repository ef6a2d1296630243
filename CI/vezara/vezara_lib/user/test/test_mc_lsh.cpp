// Lens-shading matrix encoding: sizes, bits per difference, the encoded
// buffer byte for byte, and the repair pass.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "mc_test_support.h"

namespace {

using mctest::contains;

// A grid that owns its matrices for the length of a test.
struct Grid {
    Grid(QOV_UINT16 w, QOV_UINT16 h, QOV_UINT16 tile = 16)
    {
        EXPECT_EQ(LSH_AllocateMatrix(&grid, w, h, tile), QOV_SUCCESS);
    }
    ~Grid() { LSH_Free(&grid); }
    // Vertex in U3.10 units (exact in a float).
    void set(int c, int x, int y, int u310) { grid.apMatrix[c][y * grid.ui16Width + x] = u310 / 1024.0f; }
    float &at(int c, int x, int y) { return grid.apMatrix[c][y * grid.ui16Width + x]; }
    LSH_GRID grid{};
};

// Every row of every channel: first vertex `first + 16c + y`, then the
// given differences.
void fillRows(Grid &g, int first, const std::vector<int> &diffs)
{
    for (int c = 0; c < 4; ++c) {
        for (int y = 0; y < g.grid.ui16Height; ++y) {
            int v = first + 16 * c + y;
            g.set(c, 0, y, v);
            for (size_t x = 0; x < diffs.size(); ++x) {
                v += diffs[x];
                g.set(c, static_cast<int>(x) + 1, y, v);
            }
        }
    }
}

TEST(McLshSizes, LineStrideAndAllocation)
{
    Grid g(17, 13);
    QOV_UINT32 line = 0;
    QOV_UINT32 stride = 0;
    // (6 x 16 + 7) / 8 + 17 = 29, down to a multiple of 16; stride up to 64.
    EXPECT_EQ(MC_LSHGetSizes(&g.grid, 6, &line, &stride), 3328u);
    EXPECT_EQ(line, 16u);
    EXPECT_EQ(stride, 64u);
    // (10 x 63 + 7) / 8 + 17 = 96 -> 96, stride 128.
    Grid wide(64, 2);
    EXPECT_EQ(MC_LSHGetSizes(&wide.grid, 10, &line, &stride), 2u * 128u * 4u);
    EXPECT_EQ(line, 96u);
    EXPECT_EQ(stride, 128u);
    testing::internal::CaptureStderr();
    EXPECT_EQ(MC_LSHGetSizes(nullptr, 6, &line, &stride), 0u);
    EXPECT_TRUE(contains(testing::internal::GetCapturedStderr(), "pLSH is NULL\n"));
}

TEST(McLshMinBits, FromTheLargestDifference)
{
    const struct {
        std::vector<int> diffs;
        QOV_UINT8 bits;
        int measure;
    } cases[] = {
        {{0, 0, 0}, 4, 0},   // flat
        {{7, -8, 0}, 4, 7},  // +7 and -8 fit 4 bits
        {{8, 0, 0}, 5, 8},   // +8 needs 5
        {{-9, 0, 0}, 5, 8},  // -9 needs 5
        {{0, 200, 0}, 9, 200},
        {{-512, 0, 0}, 10, 511},
    };
    for (const auto &c : cases) {
        Grid g(4, 3);
        fillRows(g, 2048, c.diffs);
        int measure = -1;
        EXPECT_EQ(MC_LSHComputeMinBitdiff(&g.grid, &measure), c.bits) << c.diffs[0] << "," << c.diffs[1];
        EXPECT_EQ(measure, c.measure);
    }
}

TEST(McLshMinBits, RefusesMissingAndNegativeGrids)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(MC_LSHComputeMinBitdiff(nullptr, nullptr), 0);
    LSH_GRID empty{};
    EXPECT_EQ(MC_LSHComputeMinBitdiff(&empty, nullptr), 0);
    Grid g(3, 3);
    g.at(2, 1, 2) = -0.1f;
    EXPECT_EQ(MC_LSHComputeMinBitdiff(&g.grid, nullptr), 0);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(contains(err, "pLSH is NULL\n"));
    EXPECT_TRUE(contains(err, "The given LSH grid is NULL\n"));
    EXPECT_TRUE(contains(err, "The given LSH matrix has negative values!\n"));
}

class McLshEncode : public testing::Test
{
  protected:
    void useBuffer(QOV_UINT32 size)
    {
        buffer.assign(size, 0xAA);
        matrix.data = buffer.data();
        matrix.ui32Size = size;
    }
    std::vector<QOV_UINT8> buffer;
    CI_LSHMAT matrix{};
};

TEST_F(McLshEncode, FourBitDifferencesByteForByte)
{
    Grid g(5, 2);
    fillRows(g, 1024, {3, -2, 7, -8});
    useBuffer(512 + 64); // more than needed: the rest is cleared too
    ASSERT_EQ(MC_LSHConvertGrid(&g.grid, 4, &matrix), QOV_SUCCESS);

    // L = ((4 x 4 + 7) / 8 + 17) = 19 -> 16, S = 64; line 4y + c at 64 x (4y + c).
    for (int y = 0; y < 2; ++y) {
        for (int c = 0; c < 4; ++c) {
            const int first = 1024 + 16 * c + y;
            std::vector<QOV_UINT8> expected(64, 0);
            expected[0] = static_cast<QOV_UINT8>(first & 0xFF);
            expected[1] = static_cast<QOV_UINT8>(first >> 8);
            expected[2] = 0xE3; // +3 = 0x3, then -2 = 0xE in the high nibble
            expected[3] = 0x87; // +7 = 0x7, then -8 = 0x8
            const QOV_UINT8 *line = buffer.data() + 64 * (4 * y + c);
            EXPECT_EQ(std::vector<QOV_UINT8>(line, line + 64), expected) << "row " << y << " channel " << c;
        }
    }
    for (size_t i = 512; i < buffer.size(); ++i)
        ASSERT_EQ(buffer[i], 0) << i;

    EXPECT_EQ(matrix.config.ui8TileSizeLog2, 4);
    EXPECT_EQ(matrix.config.ui8BitsPerDiff, 4);
    EXPECT_EQ(matrix.config.ui16Width, 5);
    EXPECT_EQ(matrix.config.ui16Height, 2);
    EXPECT_EQ(matrix.config.ui16LineSize, 0);
    EXPECT_EQ(matrix.config.ui32Stride, 64u);
}

// The matrix record describes what was encoded: tile size as a power of
// two, bits, grid size, line size in 16-byte units minus one, line stride.
TEST_F(McLshEncode, RecordDescribesTheLayout)
{
    const struct {
        QOV_UINT16 width, height, tile;
        QOV_UINT8 bits;
        QOV_UINT8 tileLog2;
        QOV_UINT16 lineField;
        QOV_UINT32 stride;
    } cases[] = {
        {64, 3, 32, 10, 5, 5, 128},  // (10 x 63 + 7) / 8 + 17 = 96
        {40, 7, 8, 7, 3, 2, 64},     // 35 + 17 = 52 -> 48
        {200, 2, 64, 9, 6, 14, 256}, // 224 + 17 = 241 -> 240
        {1, 5, 2, 4, 1, 0, 64},      // the first vertex alone
    };
    for (const auto &c : cases) {
        Grid g(c.width, c.height, c.tile);
        fillRows(g, 512, std::vector<int>(c.width - 1u, 1));
        useBuffer(MC_LSHGetSizes(&g.grid, c.bits, nullptr, nullptr));
        ASSERT_EQ(MC_LSHConvertGrid(&g.grid, c.bits, &matrix), QOV_SUCCESS) << c.width;
        EXPECT_EQ(matrix.config.ui8TileSizeLog2, c.tileLog2) << c.width;
        EXPECT_EQ(matrix.config.ui8BitsPerDiff, c.bits) << c.width;
        EXPECT_EQ(matrix.config.ui16Width, c.width) << c.width;
        EXPECT_EQ(matrix.config.ui16Height, c.height) << c.width;
        EXPECT_EQ(matrix.config.ui16LineSize, c.lineField) << c.width;
        EXPECT_EQ(matrix.config.ui32Stride, c.stride) << c.width;
    }
}

TEST_F(McLshEncode, FieldsCrossByteBoundaries)
{
    Grid g(4, 1, 1);
    fillRows(g, 300, {15, -16, 1});
    useBuffer(4 * 64);
    ASSERT_EQ(MC_LSHConvertGrid(&g.grid, 5, &matrix), QOV_SUCCESS);
    // 15 | 16 << 5 | 1 << 10 = 0x060F over 15 bits.
    const QOV_UINT8 expected[6] = {0x2C, 0x01, 0x0F, 0x06, 0x00, 0x00};
    EXPECT_EQ(0, memcmp(buffer.data(), expected, sizeof(expected)));
    EXPECT_EQ(buffer[64], 300 + 16 - 256); // channel 1 starts at 316 = 0x13C
    EXPECT_EQ(buffer[65], 0x01);
    EXPECT_EQ(matrix.config.ui8TileSizeLog2, 0);
}

// Both ends of the field, packed from the least significant bit up; an even
// first difference shows any stray bit.
TEST_F(McLshEncode, FieldExtremesByteForByte)
{
    const struct {
        QOV_UINT8 bits;
        std::vector<int> diffs;
        std::vector<QOV_UINT8> packed;
    } cases[] = {
        // 0x200 | 0x0FF << 10 | 0x3FF << 20 over 30 bits
        {10, {-512, 255, -1}, {0x00, 0xFE, 0xF3, 0x3F, 0x00}},
        // 0x20 | 0x1F << 6 | 0x02 << 12 | 0 << 18 over 24 bits
        {6, {-32, 31, 2, 0}, {0xE0, 0x27, 0x00, 0x00}},
        {4, {2}, {0x02, 0x00}},
    };
    for (const auto &c : cases) {
        Grid g(static_cast<QOV_UINT16>(c.diffs.size() + 1), 1);
        fillRows(g, 1024, c.diffs);
        useBuffer(4 * 64);
        ASSERT_EQ(MC_LSHConvertGrid(&g.grid, c.bits, &matrix), QOV_SUCCESS) << int(c.bits);
        EXPECT_EQ(buffer[0], 0x00) << int(c.bits);
        EXPECT_EQ(buffer[1], 0x04) << int(c.bits);
        EXPECT_EQ(std::vector<QOV_UINT8>(buffer.begin() + 2, buffer.begin() + 2 + c.packed.size()), c.packed)
            << int(c.bits);
    }
}

// A b-bit two's-complement field holds -2^(b-1) .. 2^(b-1) - 1: a largest
// difference of +8 does not fit 4 bits (it would read back as -8).
TEST_F(McLshEncode, DifferenceMustFitTheField)
{
    useBuffer(4096);
    {
        Grid g(3, 2);
        fillRows(g, 1024, {7, -8});
        EXPECT_EQ(MC_LSHConvertGrid(&g.grid, 4, &matrix), QOV_SUCCESS);
    }
    {
        Grid g(3, 2);
        fillRows(g, 1024, {8, 0});
        testing::internal::CaptureStderr();
        EXPECT_EQ(MC_LSHConvertGrid(&g.grid, 4, &matrix), QOV_ERROR_FAILURE);
        EXPECT_TRUE(contains(testing::internal::GetCapturedStderr(),
                             "given bits per diff 4 isn't enough to store the maximum difference found of 8\n"));
        EXPECT_EQ(MC_LSHConvertGrid(&g.grid, MC_LSHComputeMinBitdiff(&g.grid, nullptr), &matrix), QOV_SUCCESS);
    }
    {
        Grid g(3, 2);
        fillRows(g, 1024, {-9, 0});
        testing::internal::CaptureStderr();
        EXPECT_EQ(MC_LSHConvertGrid(&g.grid, 4, &matrix), QOV_ERROR_FAILURE);
        testing::internal::GetCapturedStderr();
    }
}

TEST_F(McLshEncode, RefusedGridsAndBuffers)
{
    Grid g(17, 13);
    fillRows(g, 1024, std::vector<int>(16, 1));
    testing::internal::CaptureStderr();

    EXPECT_EQ(MC_LSHConvertGrid(&g.grid, 6, nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(MC_LSHConvertGrid(&g.grid, 6, &matrix), QOV_ERROR_INVALID_ARGUMENT); // no buffer mapped
    useBuffer(3327);
    EXPECT_EQ(MC_LSHConvertGrid(&g.grid, 6, &matrix), QOV_ERROR_NOT_SUPPORTED);
    useBuffer(3328);
    EXPECT_EQ(MC_LSHConvertGrid(&g.grid, 3, &matrix), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(MC_LSHConvertGrid(&g.grid, 11, &matrix), QOV_ERROR_NOT_SUPPORTED);
    g.grid.ui16TileSize = 24;
    EXPECT_EQ(MC_LSHConvertGrid(&g.grid, 6, &matrix), QOV_ERROR_NOT_SUPPORTED);
    g.grid.ui16TileSize = 16;
    g.at(1, 5, 3) = -0.5f;
    EXPECT_EQ(MC_LSHConvertGrid(&g.grid, 6, &matrix), QOV_ERROR_NOT_SUPPORTED);

    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(contains(err, "pLSH or pMatrix is NULL\n"));
    EXPECT_TRUE(contains(err, "given LSH matrix needs 3328 Bytes but given buffer only has 3327\n"));
    EXPECT_TRUE(contains(err, "grid needs 3 bits while HW can support 4 to 10\n"));
    EXPECT_TRUE(contains(err, "LSH matrix tile size has to be a power of 2 (24 given)\n"));
    EXPECT_TRUE(contains(err, "The given LSH matrix has negative values!\n"));
}

TEST(McLshRepair, NegativeVerticesAndLargeSteps)
{
    Grid g(3, 4);
    fillRows(g, 1024, {0, 0});
    g.at(0, 0, 3) = 0.1f;      // row 3: small gains around a negative one
    g.at(0, 1, 3) = -0.2f;
    g.at(0, 2, 3) = 0.1f;
    g.at(1, 1, 0) = 2.0f;      // +1024 from 1.0 (channel 1 row 0 starts at 1040/1024)
    g.at(2, 1, 1) = 0.0f;      // a drop of more than 512
    g.at(3, 0, 2) = -1.0f;     // a negative first vertex
    testing::internal::CaptureStderr();
    ASSERT_EQ(MC_LSHPreCheckTest(&g.grid, 6), QOV_SUCCESS);
    const std::string err = testing::internal::GetCapturedStderr();

    EXPECT_EQ(g.at(0, 1, 3), 0.0f);
    EXPECT_EQ(g.at(0, 1, 0), 1.0f); // row 0 untouched
    const float held = 1040 / 1024.0f;
    EXPECT_EQ(g.at(1, 1, 0), static_cast<float>(held + 255.0 / 1024.0));
    EXPECT_TRUE(contains(err, "WARNING: fixing lsh diff c=1 x=1,y=0 2.000000 => 1.264648 (prev=1.015625)\n"));
    EXPECT_EQ(g.at(2, 1, 1), static_cast<float>((1024 + 32 + 1) / 1024.0 - 0.5));
    EXPECT_EQ(g.at(3, 0, 2), 0.0f);
    EXPECT_TRUE(contains(err, "WARNING: fixing lsh negative value!\n"));

    // rows of a single vertex are repaired as well
    Grid column(1, 2);
    fillRows(column, 1024, {});
    column.at(3, 0, 1) = -0.25f;
    testing::internal::CaptureStderr();
    ASSERT_EQ(MC_LSHPreCheckTest(&column.grid, 6), QOV_SUCCESS);
    EXPECT_TRUE(contains(testing::internal::GetCapturedStderr(), "WARNING: fixing lsh negative value!\n"));
    EXPECT_EQ(column.at(3, 0, 1), 0.0f);
    EXPECT_EQ(column.at(3, 0, 0), (1024 + 48) / 1024.0f);

    // The repaired grid encodes: every vertex non-negative, steps within
    // [-512, 255], which 10 bits hold.
    int measure = 0;
    EXPECT_GE(MC_LSHComputeMinBitdiff(&g.grid, &measure), 4);
    EXPECT_LE(measure, 511);
}

// A step out of range is cut to the largest one from the held vertex as it
// is (+255/1024 up, -1/2 down), not from its U3.10 rounding.
TEST(McLshRepair, StepsAreCutFromTheHeldVertex)
{
    const struct {
        float held, next, repaired;
    } cases[] = {
        {1.0003f, 2.0f, static_cast<float>(1.0003f + 255.0 / 1024.0)},
        {1.0003f, 0.1f, static_cast<float>(1.0003f - 0.5)},
        {0.7498f, 7.5f, static_cast<float>(0.7498f + 255.0 / 1024.0)},
        {3.2502f, 0.0f, static_cast<float>(3.2502f - 0.5)},
    };
    for (const auto &c : cases) {
        Grid g(2, 1);
        for (int ch = 0; ch < 4; ++ch) {
            g.at(ch, 0, 0) = c.held;
            g.at(ch, 1, 0) = c.next;
        }
        testing::internal::CaptureStderr();
        ASSERT_EQ(MC_LSHPreCheckTest(&g.grid, 6), QOV_SUCCESS);
        testing::internal::GetCapturedStderr();
        for (int ch = 0; ch < 4; ++ch) {
            EXPECT_EQ(g.at(ch, 0, 0), c.held) << c.held << " then " << c.next;
            EXPECT_EQ(g.at(ch, 1, 0), c.repaired) << c.held << " then " << c.next << ", channel " << ch;
        }
    }
}

// A held value whose float sum lands half a step too far: the repair takes
// the exact limit instead of rewriting the same vertex forever.
TEST(McLshRepair, FloatRoundingDoesNotLoop)
{
    Grid g(2, 1);
    for (int c = 0; c < 4; ++c) {
        g.at(c, 0, 0) = 0.014160152524709702f; // 14.49999 in U3.10 units
        g.at(c, 1, 0) = 2.0f;
    }
    testing::internal::CaptureStderr();
    ASSERT_EQ(MC_LSHPreCheckTest(&g.grid, 6), QOV_SUCCESS);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(g.at(0, 1, 0), (14 + 255) / 1024.0f);
}

TEST(McLshRepair, ChecksLikeTheEncoding)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(MC_LSHPreCheckTest(nullptr, 6), QOV_ERROR_INVALID_ARGUMENT);
    Grid g(3, 3, 16);
    EXPECT_EQ(MC_LSHPreCheckTest(&g.grid, 12), QOV_ERROR_NOT_SUPPORTED);
    g.grid.ui16TileSize = 0;
    EXPECT_EQ(MC_LSHPreCheckTest(&g.grid, 6), QOV_ERROR_NOT_SUPPORTED);
    testing::internal::GetCapturedStderr();
}

} // namespace
