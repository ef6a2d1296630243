#include "vezaracommon/dpf_map.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "test_support.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes words(const std::vector<QOV_UINT32> &values)
{
    Bytes bytes;
    for (QOV_UINT32 v : values)
        for (int i = 0; i < 4; i++)
            bytes.push_back(static_cast<unsigned char>(v >> (8 * i)));
    return bytes;
}

class DpfMapTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        descriptors = commontest::openDescriptors();
        char pattern[] = "/tmp/dpf_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }

    void TearDown() override
    {
        EXPECT_EQ(commontest::openDescriptors(), descriptors) << "files left open";
        free(map);
        unlink(file.c_str());
        rmdir(dir.c_str());
    }

    const char *write(const Bytes &bytes)
    {
        file = dir + "/map.dat";
        FILE *f = fopen(file.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        if (f && !bytes.empty())
            fwrite(bytes.data(), 1, bytes.size(), f);
        if (f)
            fclose(f);
        return file.c_str();
    }

    std::string dir;
    std::string file;
    QOV_UINT16 *map = nullptr;
    QOV_UINT32 count = 77;
    int descriptors = 0;
};

TEST_F(DpfMapTest, ReadsPairsAndLogs)
{
    const char *p = write(words({0x00640032u, 0x1fff0000u, 0x00001fffu}));
    testing::internal::CaptureStdout();
    ASSERT_EQ(DPF_Load_bin(&map, &count, p), QOV_SUCCESS);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              std::string("INFO [DPF_OUT]: DPF_Load_bin() INFO: Using DPF input map ") + p +
                  " with 3 elements\n");
    ASSERT_EQ(count, 3u);
    EXPECT_EQ(std::vector<QOV_UINT16>(map, map + 6),
              (std::vector<QOV_UINT16>{50, 100, 0, 8191, 8191, 0}));
}

TEST_F(DpfMapTest, TrailingPieceIsIgnored)
{
    const char *p = write(Bytes{0x32, 0x00, 0x64, 0x00, 0xff, 0xff});
    testing::internal::CaptureStdout();
    ASSERT_EQ(DPF_Load_bin(&map, &count, p), QOV_SUCCESS);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(map[0], 50);
    EXPECT_EQ(map[1], 100);
}

TEST_F(DpfMapTest, EmptyFileGivesAnEmptyMap)
{
    const char *p = write(Bytes{0xff, 0xff, 0xff});
    testing::internal::CaptureStdout();
    ASSERT_EQ(DPF_Load_bin(&map, &count, p), QOV_SUCCESS);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(count, 0u);
    EXPECT_NE(map, nullptr);  // owned and freed by the caller like any map
}

TEST_F(DpfMapTest, GrowsPastTheInitialCapacity)
{
    std::vector<QOV_UINT32> values;
    for (QOV_UINT32 i = 0; i < 4097; i++)
        values.push_back((i & 0x1fff) | ((8191 - i) << 16));
    const char *p = write(words(values));
    testing::internal::CaptureStdout();
    ASSERT_EQ(DPF_Load_bin(&map, &count, p), QOV_SUCCESS);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(count, 4097u);
    for (QOV_UINT32 i = 0; i < 4097; i++)
    {
        ASSERT_EQ(map[2 * i], i) << i;
        ASSERT_EQ(map[2 * i + 1], 8191 - i) << i;
    }
}

struct CorruptCase
{
    std::vector<QOV_UINT32> words;
    const char *message;
};

TEST_F(DpfMapTest, CorruptWordFailsWithItsPosition)
{
    std::vector<QOV_UINT32> late(1500, 0x00010001u);
    late.push_back(0x80000000u);
    const CorruptCase cases[] = {
        {{0x00000001u, 0x20000000u},
         "binary is corrupted at DPF correction 1 (offset=0x4): coord=0x20000000 (coord "
         "mask=0x1fff1fff)\n"},
        {{0x00002000u},
         "binary is corrupted at DPF correction 0 (offset=0x0): coord=0x00002000 (coord "
         "mask=0x1fff1fff)\n"},
        {late,  // after the array has grown once
         "binary is corrupted at DPF correction 1500 (offset=0x1770): coord=0x80000000 (coord "
         "mask=0x1fff1fff)\n"},
    };
    for (const CorruptCase &c : cases)
    {
        SCOPED_TRACE(c.message);
        const char *p = write(words(c.words));
        testing::internal::CaptureStderr();
        EXPECT_EQ(DPF_Load_bin(&map, &count, p), QOV_ERROR_TIMEOUT);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.rfind("ERROR [DPF_OUT]: DPF_Load_bin():", 0), 0u) << err;
        EXPECT_EQ(err.substr(err.size() - std::string(c.message).size()), c.message);
        EXPECT_EQ(map, nullptr);
        EXPECT_EQ(count, 77u);
    }
}

TEST_F(DpfMapTest, ArgumentAndFileErrors)
{
    const char *p = write(words({1}));
    EXPECT_EQ(DPF_Load_bin(nullptr, &count, p), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(DPF_Load_bin(&map, nullptr, p), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(DPF_Load_bin(&map, &count, nullptr), QOV_ERROR_INVALID_ARGUMENT);

    // A map already held: refused before the file is even opened.
    QOV_UINT16 held[2] = {1, 2};
    QOV_UINT16 *pHeld = held;
    std::string missing = dir + "/missing.dat";
    EXPECT_EQ(DPF_Load_bin(&pHeld, &count, missing.c_str()), QOV_ERROR_ALREADY_EXISTS);
    EXPECT_EQ(pHeld, held);

    testing::internal::CaptureStderr();
    EXPECT_EQ(DPF_Load_bin(&map, &count, missing.c_str()), QOV_ERROR_FAILURE);
    std::string err = testing::internal::GetCapturedStderr();
    const std::string message = "failed to open " + missing + "!\n";
    ASSERT_GE(err.size(), message.size());
    EXPECT_EQ(err.substr(err.size() - message.size()), message);
    EXPECT_EQ(map, nullptr);
    EXPECT_EQ(count, 77u);

    // A path that opens but cannot be read (a folder) is a failed read.
    testing::internal::CaptureStderr();
    EXPECT_EQ(DPF_Load_bin(&map, &count, dir.c_str()), QOV_ERROR_FAILURE);
    err = testing::internal::GetCapturedStderr();
    const std::string unread = "failed to read DPF map after 0 corrections\n";
    ASSERT_GE(err.size(), unread.size());
    EXPECT_EQ(err.substr(err.size() - unread.size()), unread);
    EXPECT_EQ(map, nullptr);
    EXPECT_EQ(count, 77u);
}

}  // namespace
