#include "vezaracommon/lsh_grid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "test_support.h"

namespace {

using Bytes = std::vector<unsigned char>;

void appendInt(Bytes &bytes, QOV_UINT32 value)
{
    for (int i = 0; i < 4; i++)
        bytes.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

// A grid file built by hand: header, then float words given as bit patterns.
Bytes gridFile(const char magic[4], QOV_INT32 version, QOV_INT32 w, QOV_INT32 h, QOV_INT32 tile,
               const std::vector<QOV_UINT32> &floatBits)
{
    Bytes bytes(magic, magic + 4);
    appendInt(bytes, static_cast<QOV_UINT32>(version));
    appendInt(bytes, static_cast<QOV_UINT32>(w));
    appendInt(bytes, static_cast<QOV_UINT32>(h));
    appendInt(bytes, static_cast<QOV_UINT32>(tile));
    for (QOV_UINT32 bits : floatBits)
        appendInt(bytes, bits);
    return bytes;
}

QOV_UINT32 bitsOf(float value)
{
    QOV_UINT32 bits;
    memcpy(&bits, &value, sizeof(bits));
    return bits;
}

class LshGridTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        descriptors = commontest::openDescriptors();
        char pattern[] = "/tmp/lsh_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }

    void TearDown() override
    {
        EXPECT_EQ(commontest::openDescriptors(), descriptors) << "files left open";
        LSH_Free(&grid);
        for (const std::string &path : files)
            unlink(path.c_str());
        rmdir(dir.c_str());
    }

    std::string path(const std::string &name)
    {
        files.push_back(dir + "/" + name);
        return files.back();
    }

    std::string writeFile(const std::string &name, const Bytes &bytes)
    {
        std::string p = path(name);
        FILE *f = fopen(p.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        if (f && !bytes.empty())
            fwrite(bytes.data(), 1, bytes.size(), f);
        if (f)
            fclose(f);
        return p;
    }

    static Bytes readFile(const std::string &p)
    {
        Bytes bytes;
        FILE *f = fopen(p.c_str(), "rb");
        if (!f)
            return bytes;
        int c;
        while ((c = getc(f)) != EOF)
            bytes.push_back(static_cast<unsigned char>(c));
        fclose(f);
        return bytes;
    }

    std::string dir;
    std::vector<std::string> files;
    LSH_GRID grid = {};
    int descriptors = 0;
};

TEST_F(LshGridTest, BinaryRoundTripIsByteExact)
{
    ASSERT_EQ(LSH_AllocateMatrix(&grid, 3, 2, 16), QOV_SUCCESS);
    // Values whose bits must survive: signed zero, a denormal, an odd fraction.
    const float values[6] = {1.0f, -0.0f, 1e-40f, 0.1f, 3.5f, -2.25f};
    for (int c = 0; c < 4; c++)
        for (int i = 0; i < 6; i++)
            grid.apMatrix[c][i] = values[i] + static_cast<float>(c);

    std::string p = path("grid.lsh");
    ASSERT_EQ(LSH_Save_bin(&grid, p.c_str()), QOV_SUCCESS);

    std::vector<QOV_UINT32> floats;
    for (int c = 0; c < 4; c++)
        for (int i = 0; i < 6; i++)
            floats.push_back(bitsOf(values[i] + static_cast<float>(c)));
    EXPECT_EQ(readFile(p), gridFile("LSH", 1, 3, 2, 16, floats));
    // The first bytes written by hand: "LSH\0", 1, 3, 2, 16, then 1.0f.
    const Bytes head = {'L', 'S', 'H', 0, 1, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 16, 0, 0, 0,
                        0x00, 0x00, 0x80, 0x3F};
    EXPECT_TRUE(std::equal(head.begin(), head.end(), readFile(p).begin()));

    LSH_GRID loaded = {};
    ASSERT_EQ(LSH_Load_bin(&loaded, p.c_str()), QOV_SUCCESS);
    EXPECT_EQ(loaded.ui16Width, 3);
    EXPECT_EQ(loaded.ui16Height, 2);
    EXPECT_EQ(loaded.ui16TileSize, 16);
    for (int c = 0; c < 4; c++)
        EXPECT_EQ(memcmp(loaded.apMatrix[c], grid.apMatrix[c], 6 * sizeof(float)), 0);

    // Loading over held matrices is refused and keeps them.
    LSH_FLOAT *held = loaded.apMatrix[0];
    testing::internal::CaptureStderr();
    EXPECT_EQ(LSH_Load_bin(&loaded, p.c_str()), QOV_ERROR_ALREADY_EXISTS);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(loaded.apMatrix[0], held);
    LSH_Free(&loaded);
    LSH_Free(&loaded);  // harmless twice
    EXPECT_EQ(loaded.apMatrix[3], nullptr);
}

struct LoadFailure
{
    const char *name;
    Bytes content;
    QOV_RESULT ret;
    std::string message;  // logged text after the line prefix, empty for none
};

TEST_F(LshGridTest, LoadFailures)
{
    const float one = 1.0f;
    std::vector<QOV_UINT32> almostFull(4 * 4 - 1, bitsOf(one));
    const LoadFailure cases[] = {
        {"three bytes", Bytes{'L', 'S', 'H'}, QOV_ERROR_FAILURE, ""},
        {"empty", Bytes{}, QOV_ERROR_FAILURE, ""},
        {"wrong magic", gridFile("LSX", 1, 2, 2, 16, {}), QOV_ERROR_NOT_SUPPORTED,
         "Wrong LSH file format - LSH couldn't be read\n"},
        {"magic only", Bytes{'L', 'S', 'H', 0}, QOV_ERROR_FAILURE,
         "Failed to read LSH file format\n"},
        {"version 2", gridFile("LSH", 2, 2, 2, 16, {}), QOV_ERROR_NOT_SUPPORTED,
         "wrong LSH file format - version 2 found, version 1 supported\n"},
        {"two sizes", Bytes{'L', 'S', 'H', 0, 1, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0}, QOV_ERROR_FAILURE,
         "failed to read 3 int at the beginning of the file\n"},
        {"zero width", gridFile("LSH", 1, 0, 2, 16, {}), QOV_ERROR_FAILURE,
         "lsh grid size is 0 (w=0 h=2)!\n"},
        {"width too large", gridFile("LSH", 1, 65536, 1, 16, {}), QOV_ERROR_FAILURE,
         "lsh grid size out of range (w=65536 h=1 tile=16, at most 65535)!\n"},
        {"negative height", gridFile("LSH", 1, 2, -1, 16, {}), QOV_ERROR_FAILURE,
         "lsh grid size out of range (w=2 h=-1 tile=16, at most 65535)!\n"},
        {"last channel one float short", gridFile("LSH", 1, 2, 2, 16, almostFull),
         QOV_ERROR_FAILURE, "Failed to read channel 3 - read 3/16 Bytes\n"},
        {"absurd grid without data", gridFile("LSH", 1, 65535, 65535, 16, {bitsOf(one)}),
         QOV_ERROR_FAILURE, "Failed to read channel 0 - read 1/17179344900 Bytes\n"},
    };
    for (const LoadFailure &c : cases)
    {
        SCOPED_TRACE(c.name);
        std::string p = writeFile("bad.lsh", c.content);
        LSH_GRID loaded = {};
        testing::internal::CaptureStderr();
        EXPECT_EQ(LSH_Load_bin(&loaded, p.c_str()), c.ret);
        std::string err = testing::internal::GetCapturedStderr();
        if (c.message.empty())
        {
            EXPECT_EQ(err, "");
        }
        else
        {
            EXPECT_EQ(err.rfind("ERROR [LSH_OUT]: LSH_Load_bin():", 0), 0u) << err;
            ASSERT_GE(err.size(), c.message.size());
            EXPECT_EQ(err.substr(err.size() - c.message.size()), c.message);
        }
        for (LSH_FLOAT *matrix : loaded.apMatrix)
            EXPECT_EQ(matrix, nullptr);
    }

    // The fourth magic byte is not checked.
    std::vector<QOV_UINT32> full(4, bitsOf(one));
    std::string p = writeFile("fourth.lsh", gridFile("LSH\x07", 1, 1, 1, 8, full));
    EXPECT_EQ(LSH_Load_bin(&grid, p.c_str()), QOV_SUCCESS);
    EXPECT_EQ(grid.apMatrix[3][0], 1.0f);

    LSH_GRID other = {};
    std::string missing = dir + "/missing.lsh";
    testing::internal::CaptureStderr();
    EXPECT_EQ(LSH_Load_bin(&other, missing.c_str()), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Failed to open file " + missing + "\n"),
              std::string::npos);
    EXPECT_EQ(LSH_Load_bin(nullptr, missing.c_str()), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(LSH_Load_bin(&other, nullptr), QOV_ERROR_INVALID_ARGUMENT);
}

TEST_F(LshGridTest, NonFiniteGainsAreLoadedWithAWarning)
{
    // 2 x 2 points: a NaN in channel 1 at point (1, 0), an infinity in channel 3.
    std::vector<QOV_UINT32> floats(16, bitsOf(1.5f));
    floats[4 + 1] = 0x7FC00000u;
    floats[12 + 2] = bitsOf(-INFINITY);
    std::string p = writeFile("nan.lsh", gridFile("LSH", 1, 2, 2, 16, floats));
    testing::internal::CaptureStderr();
    ASSERT_EQ(LSH_Load_bin(&grid, p.c_str()), QOV_SUCCESS);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.rfind("WARNING [LSH_OUT]: LSH_Load_bin() ", 0), 0u) << err;
    const std::string message =
        p + " holds 2 gains that are not finite numbers, the first nan in channel 1 at grid point (1, 0)\n";
    ASSERT_GE(err.size(), message.size()) << err;
    EXPECT_EQ(err.substr(err.size() - message.size()), message);
    EXPECT_TRUE(std::isnan(grid.apMatrix[1][1]));  // taken as the file gives it
    EXPECT_EQ(grid.apMatrix[3][2], -INFINITY);
    LSH_Free(&grid);

    std::string good = writeFile("good.lsh", gridFile("LSH", 1, 2, 2, 16, std::vector<QOV_UINT32>(16, bitsOf(2.0f))));
    testing::internal::CaptureStderr();
    ASSERT_EQ(LSH_Load_bin(&grid, good.c_str()), QOV_SUCCESS);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(LshGridTest, SaveFailures)
{
    EXPECT_EQ(LSH_Save_bin(&grid, path("x.lsh").c_str()), QOV_ERROR_INVALID_ARGUMENT);  // no matrix
    ASSERT_EQ(LSH_AllocateMatrix(&grid, 2, 2, 8), QOV_SUCCESS);
    EXPECT_EQ(LSH_Save_bin(nullptr, "x"), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(LSH_Save_bin(&grid, nullptr), QOV_ERROR_INVALID_ARGUMENT);

    std::string unwritable = dir + "/no/such/dir.lsh";
    testing::internal::CaptureStderr();
    EXPECT_EQ(LSH_Save_bin(&grid, unwritable.c_str()), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Failed to open " + unwritable + "\n"),
              std::string::npos);

    // A full disk is reported, not taken for success.
    if (access("/dev/full", W_OK) == 0)
    {
        testing::internal::CaptureStderr();
        EXPECT_EQ(LSH_Save_bin(&grid, "/dev/full"), QOV_ERROR_FAILURE);
        EXPECT_NE(testing::internal::GetCapturedStderr().find("Failed to write /dev/full\n"),
                  std::string::npos);
    }
}

TEST_F(LshGridTest, AllocationAndCoverage)
{
    EXPECT_EQ(LSH_AllocateMatrix(&grid, 4, 4, 48), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(LSH_AllocateMatrix(&grid, 4, 4, 0), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(grid.apMatrix[0], nullptr);

    ASSERT_EQ(LSH_CreateMatrix(&grid, 1920, 1080, 64), QOV_SUCCESS);
    EXPECT_EQ(grid.ui16Width, 31);
    EXPECT_EQ(grid.ui16Height, 18);
    EXPECT_EQ(grid.ui16TileSize, 64);
    for (LSH_FLOAT *matrix : grid.apMatrix)
    {
        ASSERT_NE(matrix, nullptr);
        EXPECT_EQ(matrix[0], 0.0f);
        EXPECT_EQ(matrix[31 * 18 - 1], 0.0f);
    }
    EXPECT_EQ(LSH_CreateMatrix(&grid, 64, 64, 64), QOV_ERROR_ALREADY_EXISTS);
    EXPECT_EQ(LSH_AllocateMatrix(&grid, 2, 2, 64), QOV_ERROR_ALREADY_EXISTS);
    LSH_Free(&grid);
    EXPECT_EQ(grid.ui16Width, 31);  // sizes stay

    // A partial tile in either direction takes one more point.
    const struct
    {
        QOV_UINT16 width, height, tile, points[2];
    } cover[] = {
        {1000, 960, 64, {17, 16}},  // 1000 = 15 x 64 + 40
        {65, 64, 64, {3, 2}},
        {64, 63, 64, {2, 2}},
        {7, 8, 2, {5, 5}},
    };
    for (const auto &c : cover)
    {
        LSH_GRID covering{};
        ASSERT_EQ(LSH_CreateMatrix(&covering, c.width, c.height, c.tile), QOV_SUCCESS);
        EXPECT_EQ(covering.ui16Width, c.points[0]) << c.width << " x " << c.height;
        EXPECT_EQ(covering.ui16Height, c.points[1]) << c.width << " x " << c.height;
        LSH_Free(&covering);
    }

    EXPECT_EQ(LSH_CreateMatrix(&grid, 64, 64, 24), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(LSH_CreateMatrix(&grid, 0, 1, 1), QOV_SUCCESS);  // 1 x 2 points
    EXPECT_EQ(grid.ui16Width, 1);
    EXPECT_EQ(grid.ui16Height, 2);
    LSH_Free(&grid);
    testing::internal::CaptureStderr();
    EXPECT_EQ(LSH_CreateMatrix(&grid, 65535, 2, 1), QOV_ERROR_TOO_LARGE);
    testing::internal::GetCapturedStderr();
}

TEST_F(LshGridTest, LinearFill)
{
    const float corners[4] = {1.0f, 2.0f, 3.0f, 4.0f};
    testing::internal::CaptureStdout();
    ASSERT_EQ(LSH_AllocateMatrix(&grid, 2, 2, 16), QOV_SUCCESS);
    ASSERT_EQ(LSH_FillLinear(&grid, 1, corners), QOV_SUCCESS);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "INFO [LSH_OUT]: LSH_FillLinear() generate linear LSH 2x2 grid (tile size is 16 CFA) "
              "- corners 1.000000 2.000000 3.000000 4.000000\n");
    EXPECT_EQ(std::vector<float>(grid.apMatrix[1], grid.apMatrix[1] + 4),
              (std::vector<float>{1.0f, 2.0f, 3.0f, 4.0f}));
    EXPECT_EQ(grid.apMatrix[0][0], 0.0f);  // other channels untouched
    LSH_Free(&grid);

    testing::internal::CaptureStdout();
    ASSERT_EQ(LSH_AllocateMatrix(&grid, 3, 3, 16), QOV_SUCCESS);
    ASSERT_EQ(LSH_FillLinear(&grid, 0, corners), QOV_SUCCESS);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(std::vector<float>(grid.apMatrix[0], grid.apMatrix[0] + 9),
              (std::vector<float>{1.0f, 1.5f, 2.0f, 2.0f, 2.5f, 3.0f, 3.0f, 3.5f, 4.0f}));

    EXPECT_EQ(LSH_FillLinear(&grid, 4, corners), QOV_ERROR_FAILURE);
    LSH_Free(&grid);
    EXPECT_EQ(LSH_FillLinear(&grid, 0, corners), QOV_ERROR_FAILURE);  // no matrix
    ASSERT_EQ(LSH_AllocateMatrix(&grid, 1, 3, 16), QOV_SUCCESS);
    EXPECT_EQ(LSH_FillLinear(&grid, 0, corners), QOV_ERROR_FAILURE);  // width 1
}

TEST_F(LshGridTest, BowlFill)
{
    const float values[5] = {2.0f, 2.0f, 2.0f, 2.0f, 1.0f};
    testing::internal::CaptureStdout();
    ASSERT_EQ(LSH_AllocateMatrix(&grid, 3, 3, 32), QOV_SUCCESS);
    ASSERT_EQ(LSH_FillBowl(&grid, 2, values), QOV_SUCCESS);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "INFO [LSH_OUT]: LSH_FillBowl() generate bowl LSH 3x3 grid (tile size is 32 CFA) - "
              "corners 2.000000 2.000000 2.000000 2.000000 center 1.000000\n");
    // Corners 2, centre 1; the middle of an edge has one cosine at 1 and the
    // other at 0: 1 + 1 * (0 + 1) / 2.
    EXPECT_EQ(std::vector<float>(grid.apMatrix[2], grid.apMatrix[2] + 9),
              (std::vector<float>{2.0f, 1.5f, 2.0f, 1.5f, 1.0f, 1.5f, 2.0f, 1.5f, 2.0f}));
    EXPECT_EQ(LSH_FillBowl(&grid, 7, values), QOV_ERROR_FAILURE);
}

TEST_F(LshGridTest, TextAndGreyDumps)
{
    ASSERT_EQ(LSH_AllocateMatrix(&grid, 2, 1, 8), QOV_SUCCESS);
    grid.apMatrix[0][0] = 4.0f;
    grid.apMatrix[0][1] = 5.0f;
    for (int c = 1; c < 4; c++)
    {
        grid.apMatrix[c][0] = 4.5f;
        grid.apMatrix[c][1] = 4.25f;
    }

    std::string txt = path("grid.txt");
    ASSERT_EQ(LSH_Save_txt(&grid, txt.c_str()), QOV_SUCCESS);
    const std::string rest = "4.500000 4.250000 \n";
    const std::string expectedTxt = "LSH matrix 2x1, tile size 8, 4 channels\n"
                                    "channel 0\n4.000000 5.000000 \n"
                                    "channel 1\n" + rest + "channel 2\n" + rest + "channel 3\n" + rest;
    Bytes txtBytes = readFile(txt);
    EXPECT_EQ(std::string(txtBytes.begin(), txtBytes.end()), expectedTxt);

    // Range [3, 5] because the minimum starts at 3: 4 -> 127, 5 -> 255,
    // 4.5 -> 191.25 -> 191, 4.25 -> 159.375 -> 159.
    std::string pgm = path("grid.pgm");
    ASSERT_EQ(LSH_Save_pgm(&grid, pgm.c_str()), QOV_SUCCESS);
    Bytes pgmBytes = readFile(pgm);
    EXPECT_EQ(std::string(pgmBytes.begin(), pgmBytes.end()),
              "P2\n2 4 255\n127 255 \n191 159 \n191 159 \n191 159 \n");

    std::string bad = dir + "/no/dir.txt";
    testing::internal::CaptureStderr();
    EXPECT_EQ(LSH_Save_txt(&grid, bad.c_str()), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(LSH_Save_pgm(&grid, bad.c_str()), QOV_ERROR_INVALID_ARGUMENT);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Failed to open output file " + bad + "\n"), std::string::npos);
    EXPECT_NE(err.find("Failed to open " + bad + "\n"), std::string::npos);
    EXPECT_EQ(LSH_Save_txt(nullptr, "x"), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(LSH_Save_pgm(&grid, nullptr), QOV_ERROR_INVALID_ARGUMENT);
}

// The grey dump spans the values found, widened to take in [0, 3] partly;
// a grid of one value spans one unit from it.
TEST_F(LshGridTest, GreyDumpRange)
{
    struct Case
    {
        float first[2], others[2];
        const char *rows;
    };
    const Case cases[] = {
        // [1, 2]: 1.5 -> 127.5 -> 127, 1.25 -> 63.75 -> 63.
        {{1.0f, 2.0f}, {1.5f, 1.25f}, "0 255 \n127 63 \n127 63 \n127 63 \n"},
        // [0, 3]: 1.5 -> 127.
        {{1.5f, 1.5f}, {1.5f, 1.5f}, "0 0 \n0 0 \n0 0 \n0 0 \n"},
        {{-1.0f, 3.0f}, {1.0f, 0.0f}, "0 255 \n127 63 \n127 63 \n127 63 \n"},
    };
    for (const auto &c : cases)
    {
        LSH_GRID g = {};
        ASSERT_EQ(LSH_AllocateMatrix(&g, 2, 1, 8), QOV_SUCCESS);
        for (int ch = 0; ch < 4; ch++)
            for (int k = 0; k < 2; k++)
                g.apMatrix[ch][k] = ch == 0 ? c.first[k] : c.others[k];
        const std::string pgm = path("range.pgm");
        ASSERT_EQ(LSH_Save_pgm(&g, pgm.c_str()), QOV_SUCCESS);
        const Bytes bytes = readFile(pgm);
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), std::string("P2\n2 4 255\n") + c.rows) << c.rows;
        LSH_Free(&g);
    }
}

TEST_F(LshGridTest, RefusedArguments)
{
    const float corners[5] = {1.0f, 1.0f, 1.0f, 1.0f, 1.0f};
    testing::internal::CaptureStderr();
    EXPECT_EQ(LSH_AllocateMatrix(nullptr, 2, 2, 16), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(LSH_AllocateMatrix(&grid, 0, 2, 16), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(LSH_AllocateMatrix(&grid, 2, 0, 16), QOV_ERROR_INVALID_ARGUMENT);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("lsh grid size is 0 (w=0 h=2)!\n"), std::string::npos) << err;
    EXPECT_NE(err.find("lsh grid size is 0 (w=2 h=0)!\n"), std::string::npos) << err;
    EXPECT_EQ(grid.apMatrix[0], nullptr);
    EXPECT_EQ(LSH_CreateMatrix(nullptr, 64, 64, 16), QOV_ERROR_INVALID_ARGUMENT);
    ASSERT_EQ(LSH_AllocateMatrix(&grid, 2, 2, 16), QOV_SUCCESS);
    EXPECT_EQ(LSH_FillLinear(nullptr, 0, corners), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(LSH_FillLinear(&grid, 0, nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(LSH_FillBowl(nullptr, 0, corners), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(LSH_FillBowl(&grid, 0, nullptr), QOV_ERROR_INVALID_ARGUMENT);
    LSH_Free(nullptr);
    EXPECT_EQ(grid.apMatrix[0][0], 0.0f);
}

}  // namespace
