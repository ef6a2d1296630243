#include <gtest/gtest.h>
#include <unistd.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "jux_test_util.h"
#include "sim_image/image_jux.h"
#include "sim_image/savefile.h"

using namespace testutil;

namespace {

SimImageInfo rgb24Info(unsigned w, unsigned h)
{
    SimImageInfo info = {};
    info.ui8BitDepth = 8;
    info.ui32Width = w;
    info.ui32Height = h;
    info.stride = w * 3;
    info.eColourModel = SimImage_RGB24;
    info.isBGR = QOV_TRUE;
    return info;
}

class SaveFileTest : public ::testing::Test {
protected:
    TempDir dir;
    SaveFile file;
    void SetUp() override { ASSERT_EQ(SaveFile_init(&file), QOV_SUCCESS); }
    void TearDown() override { SaveFile_destroy(&file); }
};

TEST_F(SaveFileTest, PlainFile)
{
    EXPECT_EQ(SaveFile_useSaveLocks(), QOV_TRUE);
    const std::string path = dir.file("plain.bin");
    ASSERT_EQ(SaveFile_open(&file, path.c_str()), QOV_SUCCESS);
    EXPECT_EQ(SaveFile_open(&file, path.c_str()), QOV_ERROR_IN_USE);
    const QOV_UINT8 bytes[6] = {1, 2, 3, 4, 5, 6};
    ASSERT_EQ(SaveFile_write(&file, bytes, 2), QOV_SUCCESS);
    // Rows of 2 bytes, 3 bytes apart; size equal to the stride works too.
    ASSERT_EQ(SaveFile_writeFrame(&file, bytes, 3, 2, 2), QOV_SUCCESS);
    ASSERT_EQ(SaveFile_writeFrame(&file, bytes, 3, 3, 1), QOV_SUCCESS);
    EXPECT_EQ(SaveFile_writeFrame(&file, bytes, 3, 4, 1), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(SaveFile_writeFrame(&file, bytes, 0, 2, 1), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(SaveFile_write(&file, bytes, 0), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(file.ui32TimeWritten, 3u);
    ASSERT_EQ(SaveFile_close(&file), QOV_SUCCESS);
    EXPECT_EQ(SaveFile_close(&file), QOV_SUCCESS);
    EXPECT_EQ(readFile(path), Bytes({1, 2, 1, 2, 4, 5, 1, 2, 3}));
    EXPECT_EQ(SaveFile_write(&file, bytes, 2), QOV_ERROR_NOT_INITIALISED);
    EXPECT_EQ(SaveFile_open(&file, dir.file("no/dir/x").c_str()), QOV_ERROR_FAILURE);
    EXPECT_EQ(file.saveTo, nullptr);
}

// Bytes still buffered when the file is closed are lost if they cannot be
// written then: closing says so.
TEST_F(SaveFileTest, ClosingReportsBufferedBytesThatCannotBeWritten)
{
    if (access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "no /dev/full";
    ASSERT_EQ(SaveFile_open(&file, "/dev/full"), QOV_SUCCESS);
    const QOV_UINT8 bytes[4] = {1, 2, 3, 4};
    ASSERT_EQ(SaveFile_write(&file, bytes, sizeof(bytes)), QOV_SUCCESS);  // still buffered
    EXPECT_EQ(SaveFile_close(&file), QOV_ERROR_FAILURE);
    EXPECT_EQ(file.saveTo, nullptr);
    EXPECT_EQ(SaveFile_close(&file), QOV_SUCCESS);
}

TEST_F(SaveFileTest, StateErrors)
{
    SaveFile raw;
    memset(&raw, 0, sizeof(raw));
    const QOV_UINT8 b[1] = {0};
    // The "not open" test comes before the lock test.
    EXPECT_EQ(SaveFile_write(&raw, b, 1), QOV_ERROR_NOT_INITIALISED);
    EXPECT_EQ(SaveFile_writeFrame(&raw, b, 1, 1, 1), QOV_ERROR_NOT_INITIALISED);
    EXPECT_EQ(SaveFile_open(&raw, dir.file("x").c_str()), QOV_ERROR_FAILURE);
    EXPECT_EQ(SaveFile_close(&raw), QOV_ERROR_FAILURE);
    EXPECT_EQ(SaveFile_init(nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(SaveFile_open(nullptr, "x"), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(SaveFile_open(&file, nullptr), QOV_ERROR_INVALID_ARGUMENT);
    const SimImageInfo info = rgb24Info(1, 1);
    EXPECT_EQ(SaveFile_openJUX(&file, nullptr, &info), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(SaveFile_openJUX(&file, "x", nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(SaveFile_close(nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(SaveFile_destroy(nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(SaveFile_destroy(&raw), QOV_SUCCESS);
}

TEST_F(SaveFileTest, MessagesAndCodes)
{
    SaveFile raw;
    memset(&raw, 0, sizeof(raw));
    SaveFile openRaw;  // open but never initialised
    memset(&openRaw, 0, sizeof(openRaw));
    openRaw.saveTo = stdout;
    const QOV_UINT8 b[4] = {};
    const SimImageInfo info = rgb24Info(1, 1);
    const std::string absent = dir.file("no/dir/x");
    const std::string plain = dir.file("plain.bin");
    ASSERT_EQ(SaveFile_open(&file, plain.c_str()), QOV_SUCCESS);
    char pointers[64];
    snprintf(pointers, sizeof(pointers), "pFile(%p) or ptr(%p)", static_cast<void *>(&file), nullptr);

    struct Case {
        const char *what;
        std::function<QOV_RESULT()> call;
        QOV_RESULT code;
        std::string message;
    };
    const Case cases[] = {
        {"init null", [] { return SaveFile_init(nullptr); }, QOV_ERROR_INVALID_ARGUMENT, "pFile is NULL\n"},
        {"open null", [] { return SaveFile_open(nullptr, "x"); }, QOV_ERROR_INVALID_ARGUMENT,
         "pFile or filename is NULL\n"},
        {"open twice", [&] { return SaveFile_open(&file, plain.c_str()); }, QOV_ERROR_IN_USE,
         "pFile->saveTo or pFile->pSimImage is not NULL (file alread opened)\n"},
        {"open uninitialised", [&] { return SaveFile_open(&raw, plain.c_str()); }, QOV_ERROR_FAILURE,
         "file not initialised!\n"},
        {"openJUX null", [&] { return SaveFile_openJUX(&raw, "x", nullptr); }, QOV_ERROR_INVALID_ARGUMENT,
         "pFile or filename or info is NULL\n"},
        {"openJUX twice", [&] { return SaveFile_openJUX(&file, "x", &info); }, QOV_ERROR_IN_USE,
         "pFile->saveTo or pFile->pSimImage is not NULL (file alread opened)\n"},
        {"openJUX uninitialised", [&] { return SaveFile_openJUX(&raw, "x", &info); }, QOV_ERROR_FAILURE,
         "file not initialised!\n"},
        {"write null", [&] { return SaveFile_write(&file, nullptr, 1); }, QOV_ERROR_INVALID_ARGUMENT,
         "pFile or ptr is NULL (or size is 0)\n"},
        {"write not open", [&] { return SaveFile_write(&raw, b, 1); }, QOV_ERROR_NOT_INITIALISED,
         "pFile->saveTo and pFile->pSimImage is NULL\n"},
        {"write uninitialised", [&] { return SaveFile_write(&openRaw, b, 1); }, QOV_ERROR_FAILURE,
         "file not initialised!\n"},
        {"writeFrame zero lines", [&] { return SaveFile_writeFrame(&file, nullptr, 4, 4, 0); },
         QOV_ERROR_INVALID_ARGUMENT, std::string(pointers) + " or is NULL (or stride, size or lines is 0)\n"},
        {"writeFrame size > stride", [&] { return SaveFile_writeFrame(&file, b, 2, 3, 1); }, QOV_ERROR_NOT_SUPPORTED,
         "size > stride\n"},
        {"writeFrame not open", [&] { return SaveFile_writeFrame(&raw, b, 4, 4, 1); }, QOV_ERROR_NOT_INITIALISED,
         "pFile->saveTo and pFile->pSimImage are NULL\n"},
        {"writeFrame uninitialised", [&] { return SaveFile_writeFrame(&openRaw, b, 4, 4, 1); }, QOV_ERROR_FAILURE,
         "file not initialised!\n"},
        {"close null", [] { return SaveFile_close(nullptr); }, QOV_ERROR_INVALID_ARGUMENT, "pFile is NULL\n"},
        {"close uninitialised", [&] { return SaveFile_close(&raw); }, QOV_ERROR_FAILURE, "file not initialised!\n"},
        {"destroy null", [] { return SaveFile_destroy(nullptr); }, QOV_ERROR_INVALID_ARGUMENT, "pFile is NULL\n"},
    };
    for (const auto &c : cases) {
        QOV_RESULT ret = QOV_SUCCESS;
        const std::string out = stderrOf([&] { ret = c.call(); });
        EXPECT_EQ(ret, c.code) << c.what;
        EXPECT_TRUE(isLogLine(out, "ERROR", "Savefile", c.message)) << c.what;
    }
    ASSERT_EQ(SaveFile_close(&file), QOV_SUCCESS);

    QOV_RESULT ret = QOV_SUCCESS;
    std::string out = stderrOf([&] { ret = SaveFile_open(&file, absent.c_str()); });
    EXPECT_EQ(ret, QOV_ERROR_FAILURE);
    EXPECT_TRUE(isLogLine(out, "ERROR", "Savefile", "failed to open file '" + absent + "'\n"));

    // The writer's own failures, each with its code.
    SimImageInfo bad = info;
    bad.eColourModel = static_cast<sSimImageColourModel>(9);
    out = stderrOf([&] { ret = SaveFile_openJUX(&file, plain.c_str(), &bad); });
    EXPECT_EQ(ret, QOV_ERROR_NOT_SUPPORTED);
    EXPECT_NE(out.find("failed to create JUX file for saving (returned " + std::to_string(QOV_ERROR_NOT_SUPPORTED) +
                       ")\n"),
              std::string::npos)
        << out;
    ASSERT_EQ(SaveFile_close(&file), QOV_SUCCESS);
    out = stderrOf([&] { ret = SaveFile_openJUX(&file, absent.c_str(), &info); });
    EXPECT_EQ(ret, QOV_ERROR_FAILURE);
    EXPECT_NE(out.find("failed to open JUX file for saving (returned " + std::to_string(QOV_ERROR_FAILURE) + ")\n"),
              std::string::npos)
        << out;
    // The writer left by the failed open has no file: the write fails with its code.
    out = stderrOf([&] { ret = SaveFile_write(&file, b, 3); });
    EXPECT_EQ(ret, QOV_ERROR_NOT_INITIALISED);
    EXPECT_TRUE(isLogLine(out, "ERROR", "Savefile",
                          "failed to write a frame (returned " + std::to_string(QOV_ERROR_NOT_INITIALISED) + "\n"));
    ASSERT_EQ(SaveFile_close(&file), QOV_SUCCESS);

    ASSERT_EQ(SaveFile_openJUX(&file, plain.c_str(), &info), QOV_SUCCESS);
    out = stderrOf([&] { ret = SaveFile_write(&file, b, 4); });
    EXPECT_EQ(ret, QOV_ERROR_NOT_SUPPORTED);
    EXPECT_NE(out.find("failed to add a frame (returned " + std::to_string(QOV_ERROR_NOT_SUPPORTED) + ")\n"),
              std::string::npos)
        << out;
}

TEST_F(SaveFileTest, JuxFile)
{
    const std::string path = dir.file("out.jux");
    const SimImageInfo info = rgb24Info(2, 1);
    ASSERT_EQ(SaveFile_openJUX(&file, path.c_str(), &info), QOV_SUCCESS);
    EXPECT_EQ(SaveFile_openJUX(&file, path.c_str(), &info), QOV_ERROR_IN_USE);
    EXPECT_EQ(SaveFile_open(&file, path.c_str()), QOV_ERROR_IN_USE);
    const QOV_UINT8 frame1[6] = {1, 2, 3, 4, 5, 6};
    const QOV_UINT8 frame2[8] = {7, 8, 9, 0, 10, 11, 12, 0};  // rows of 3 bytes, 4 apart
    ASSERT_EQ(SaveFile_write(&file, frame1, 6), QOV_SUCCESS);
    ASSERT_EQ(SaveFile_writeFrame(&file, frame2, 4, 3, 2), QOV_SUCCESS);
    // A frame the writer refuses is not written.
    EXPECT_EQ(SaveFile_write(&file, frame1, 5), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(SaveFile_writeFrame(&file, frame2, 4, 2, 2), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(file.ui32TimeWritten, 2u);
    ASSERT_EQ(SaveFile_close(&file), QOV_SUCCESS);
    EXPECT_EQ(file.pSimImage, nullptr);

    CImageJux check;
    ASSERT_EQ(check.LoadFileHeader(path.c_str(), nullptr), nullptr);
    ASSERT_EQ(check.GetNFrames(), 2);
    ASSERT_EQ(check.LoadFileData(1), nullptr);
    EXPECT_EQ(check.chnl[0].data[0], 7);
    EXPECT_EQ(check.chnl[2].data[1], 12);
}

#if defined(__GLIBC__)
// Frames passed on to a JUX file, written or refused, leave nothing behind.
TEST_F(SaveFileTest, JuxFramesKeepNoMemory)
{
    const std::string path = dir.file("out.jux");
    const SimImageInfo info = rgb24Info(2, 1);
    ASSERT_EQ(SaveFile_openJUX(&file, path.c_str(), &info), QOV_SUCCESS);
    const QOV_UINT8 rows[8] = {7, 8, 9, 0, 10, 11, 12, 0};
    auto round = [&] {
        EXPECT_EQ(SaveFile_write(&file, rows, 6), QOV_SUCCESS);
        EXPECT_EQ(SaveFile_writeFrame(&file, rows, 4, 3, 2), QOV_SUCCESS);
        EXPECT_EQ(SaveFile_writeFrame(&file, rows, 4, 2, 2), QOV_ERROR_NOT_SUPPORTED);
    };
    testing::internal::CaptureStderr();
    round();  // buffers the writer keeps for the next frames
    const long before = static_cast<long>(mallinfo2().uordblks);
    const int rounds = 8;
    for (int i = 0; i < rounds; i++)
        round();
    const long grown = static_cast<long>(mallinfo2().uordblks) - before;
    testing::internal::GetCapturedStderr();
    // Every block kept back costs at least 16 bytes a round.
    EXPECT_LT(grown, 16 * rounds);
    EXPECT_EQ(file.ui32TimeWritten, 2u * (rounds + 1));
    ASSERT_EQ(SaveFile_close(&file), QOV_SUCCESS);

    // Opening and closing a JUX file, then destroying the record, gives back the writer.
    auto file = [&] {
        SaveFile another;
        ASSERT_EQ(SaveFile_init(&another), QOV_SUCCESS);
        ASSERT_EQ(SaveFile_openJUX(&another, path.c_str(), &info), QOV_SUCCESS);
        EXPECT_EQ(SaveFile_write(&another, rows, 6), QOV_SUCCESS);
        EXPECT_EQ(SaveFile_close(&another), QOV_SUCCESS);
        EXPECT_EQ(SaveFile_destroy(&another), QOV_SUCCESS);
    };
    file();
    const long opened = static_cast<long>(mallinfo2().uordblks);
    for (int i = 0; i < rounds; i++)
        file();
    // The file's own stream buffers may come and go; a writer kept back is far larger.
    EXPECT_LT(static_cast<long>(mallinfo2().uordblks) - opened, 64 * rounds);
}
#endif

TEST_F(SaveFileTest, FailedJuxOpenStaysOpenUntilClosed)
{
    // A writer that could not be created or opened stays in the record: the
    // file counts as open until it is closed.
    SimImageInfo bad = rgb24Info(2, 1);
    bad.eColourModel = static_cast<sSimImageColourModel>(9);
    EXPECT_EQ(SaveFile_openJUX(&file, dir.file("bad.jux").c_str(), &bad), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_NE(file.pSimImage, nullptr);
    EXPECT_EQ(SaveFile_open(&file, dir.file("fine.bin").c_str()), QOV_ERROR_IN_USE);
    const QOV_UINT8 px[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_NE(SaveFile_write(&file, px, 6), QOV_SUCCESS);
    EXPECT_EQ(file.ui32TimeWritten, 0u);
    ASSERT_EQ(SaveFile_close(&file), QOV_SUCCESS);
    EXPECT_EQ(file.pSimImage, nullptr);

    const SimImageInfo info = rgb24Info(2, 1);
    EXPECT_EQ(SaveFile_openJUX(&file, dir.file("no/dir/x.jux").c_str(), &info), QOV_ERROR_FAILURE);
    EXPECT_NE(file.pSimImage, nullptr);
    EXPECT_NE(SaveFile_write(&file, px, 6), QOV_SUCCESS);  // created, but no file to write to
    EXPECT_EQ(SaveFile_openJUX(&file, dir.file("x.jux").c_str(), &info), QOV_ERROR_IN_USE);
    ASSERT_EQ(SaveFile_close(&file), QOV_SUCCESS);
    EXPECT_EQ(file.pSimImage, nullptr);
    EXPECT_EQ(SaveFile_open(&file, dir.file("fine.bin").c_str()), QOV_SUCCESS);
}

TEST_F(SaveFileTest, DestroyReleasesAWriterLeftByAFailedOpen)
{
    const SimImageInfo info = rgb24Info(2, 1);
    EXPECT_EQ(SaveFile_openJUX(&file, dir.file("no/dir/x.jux").c_str(), &info), QOV_ERROR_FAILURE);
    ASSERT_EQ(SaveFile_destroy(&file), QOV_SUCCESS);  // no leak under the sanitizer
    EXPECT_EQ(file.pSimImage, nullptr);
    ASSERT_EQ(SaveFile_init(&file), QOV_SUCCESS);  // for TearDown
}

TEST_F(SaveFileTest, DestroyEndsAnOpenJuxFile)
{
    const std::string path = dir.file("d.jux");
    const SimImageInfo info = rgb24Info(1, 1);
    ASSERT_EQ(SaveFile_openJUX(&file, path.c_str(), &info), QOV_SUCCESS);
    const QOV_UINT8 px[3] = {1, 2, 3};
    ASSERT_EQ(SaveFile_write(&file, px, 3), QOV_SUCCESS);
    ASSERT_EQ(SaveFile_destroy(&file), QOV_SUCCESS);
    EXPECT_FALSE(file.bInitiliasedLock);
    CImageJux check;
    ASSERT_EQ(check.LoadFileHeader(path.c_str(), nullptr), nullptr);
    EXPECT_EQ(check.GetNFrames(), 1);
    ASSERT_EQ(SaveFile_init(&file), QOV_SUCCESS);  // for TearDown
}

TEST_F(SaveFileTest, PackedBayerFrameToJuxAndBack)
{
    // A 4 x 2 capture in 10-bit words: even line 1 2 3 4, odd line 5 6 7 8.
    const QOV_UINT32 words[4] = {1u | 2u << 10 | 3u << 20, 4u, 5u | 6u << 10 | 7u << 20, 8u};
    QOV_UINT8 capture[16];
    for (int w = 0; w < 4; w++)
        for (int k = 0; k < 4; k++)
            capture[4 * w + k] = static_cast<QOV_UINT8>(words[w] >> (8 * k));
    const QOV_UINT16 size[2] = {4, 2};
    void *cells = nullptr;
    QOV_SIZE cellBytes = 0;
    ASSERT_EQ(convertToPlanarBayer(size, capture, 8, 10, &cells, &cellBytes), QOV_SUCCESS);

    const std::string path = dir.file("bayer.jux");
    SimImageInfo info = {};
    info.ui8BitDepth = 10;
    info.ui32Width = 4;
    info.ui32Height = 2;
    info.stride = 4 * 8;
    info.eColourModel = SimImage_RGGB;
    ASSERT_EQ(SaveFile_openJUX(&file, path.c_str(), &info), QOV_SUCCESS);
    EXPECT_EQ(SaveFile_write(&file, cells, cellBytes), QOV_SUCCESS);
    free(cells);
    ASSERT_EQ(SaveFile_close(&file), QOV_SUCCESS);

    sSimImageIn in;
    SimImageIn_init(&in);
    ASSERT_EQ(SimImageIn_loadJUX(&in, path.c_str()), QOV_SUCCESS);
    ASSERT_EQ(SimImageIn_convertFrame(&in, 0), QOV_SUCCESS);
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(in.pBuffer[i], i + 1) << i;
    SimImageIn_close(&in);
}

TEST_F(SaveFileTest, ThreadsWriteWholeFrames)
{
    const std::string path = dir.file("threads.jux");
    const unsigned w = 64, h = 16;
    const SimImageInfo info = rgb24Info(w, h);
    ASSERT_EQ(SaveFile_openJUX(&file, path.c_str(), &info), QOV_SUCCESS);
    std::vector<std::thread> threads;
    for (int t = 1; t <= 4; t++) {
        threads.emplace_back([this, t, w, h] {
            std::vector<QOV_UINT8> frame(w * h * 3, static_cast<QOV_UINT8>(t));
            for (int i = 0; i < 10; i++) {
                if (i % 2)
                    SaveFile_write(&file, frame.data(), frame.size());
                else
                    SaveFile_writeFrame(&file, frame.data(), w * 3, w * 3, h);
            }
        });
    }
    for (auto &th : threads)
        th.join();
    EXPECT_EQ(file.ui32TimeWritten, 40u);
    ASSERT_EQ(SaveFile_close(&file), QOV_SUCCESS);
    CImageJux check;
    ASSERT_EQ(check.LoadFileHeader(path.c_str(), nullptr), nullptr);
    ASSERT_EQ(check.GetNFrames(), 40);
    for (int f = 0; f < 40; f++) {
        ASSERT_EQ(check.LoadFileData(f), nullptr);
        const PIXEL first = check.chnl[0].data[0];
        for (int c = 0; c < 3; c++)
            for (unsigned i = 0; i < w * h; i++)
                ASSERT_EQ(check.chnl[c].data[i], first) << "frame " << f;
    }
}

TEST_F(SaveFileTest, WriteFailureOnAFullDevice)
{
    if (access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "no /dev/full";
    ASSERT_EQ(SaveFile_open(&file, "/dev/full"), QOV_SUCCESS);
    std::vector<QOV_UINT8> big(1 << 16, 1);
    EXPECT_EQ(SaveFile_write(&file, big.data(), big.size()), QOV_ERROR_FAILURE);
    EXPECT_EQ(file.ui32TimeWritten, 0u);
    EXPECT_NE(file.saveTo, nullptr);  // still open
}

// ---------------------------------------------------------------------------
// Converters

struct Converted {
    QOV_RESULT ret;
    std::vector<QOV_UINT16> samples;  // bytes widened at depth 8
    size_t size;
};

Converted convert(QOV_RESULT (*fn)(const QOV_UINT16 *, const void *, QOV_SIZE, void **, QOV_SIZE *), unsigned w,
                  unsigned h, const Bytes &input, size_t stride, bool bytes = false)
{
    // An input of exactly height x stride bytes, so that any over-read shows.
    QOV_UINT8 *in = static_cast<QOV_UINT8 *>(malloc(input.size() ? input.size() : 1));
    if (!input.empty())
        memcpy(in, input.data(), input.size());
    const QOV_UINT16 size[2] = {static_cast<QOV_UINT16>(w), static_cast<QOV_UINT16>(h)};
    void *out = nullptr;
    QOV_SIZE outSize = 0;
    Converted c;
    c.ret = fn(size, in, stride, &out, &outSize);
    c.size = outSize;
    if (out) {
        const size_t n = bytes ? outSize : outSize / 2;
        for (size_t i = 0; i < n; i++)
            c.samples.push_back(bytes ? static_cast<const QOV_UINT8 *>(out)[i] : static_cast<const QOV_UINT16 *>(out)[i]);
        free(out);
    }
    free(in);
    return c;
}

TEST(BayerConverters, EightBit)
{
    const Converted c = convert(convertToPlanarBayer8, 4, 2, {1, 2, 3, 4, 5, 6, 7, 8}, 4, true);
    ASSERT_EQ(c.ret, QOV_SUCCESS);
    EXPECT_EQ(c.size, 8u);
    EXPECT_EQ(c.samples, std::vector<QOV_UINT16>({1, 2, 5, 6, 3, 4, 7, 8}));
}

Bytes word10(int a, int b, int c)
{
    const QOV_UINT32 w = static_cast<QOV_UINT32>(a) | static_cast<QOV_UINT32>(b) << 10 | static_cast<QOV_UINT32>(c) << 20;
    return {static_cast<unsigned char>(w), static_cast<unsigned char>(w >> 8), static_cast<unsigned char>(w >> 16),
            static_cast<unsigned char>(w >> 24)};
}

TEST(BayerConverters, TenBit)
{
    Bytes in = word10(1, 2, 3);
    append(in, word10(4, 5, 6));
    append(in, word10(11, 12, 13));
    append(in, word10(14, 15, 16));
    const Converted c = convert(convertToPlanarBayer10, 6, 2, in, 8);
    ASSERT_EQ(c.ret, QOV_SUCCESS);
    EXPECT_EQ(c.size, 24u);
    EXPECT_EQ(c.samples, std::vector<QOV_UINT16>({1, 2, 11, 12, 3, 4, 13, 14, 5, 6, 15, 16}));

    // One word a line: three samples, one cell; the rest of the row stays zero
    // and nothing past the stride is read.
    Bytes narrow = word10(1, 2, 3);
    append(narrow, word10(11, 12, 13));
    const Converted n = convert(convertToPlanarBayer10, 6, 2, narrow, 4);
    ASSERT_EQ(n.ret, QOV_SUCCESS);
    EXPECT_EQ(n.samples, std::vector<QOV_UINT16>({1, 2, 11, 12, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(BayerConverters, TwelveBit)
{
    // Samples 0x123, 0x456, 0x789, 0xABC as a stream of 12-bit fields, least
    // significant bit first: bytes 23 61 45 89 C7 AB; the odd line 0x001 ... 0x004.
    Bytes in = {0x23, 0x61, 0x45, 0x89, 0xC7, 0xAB, 0, 0};
    append(in, {0x01, 0x20, 0x00, 0x03, 0x40, 0x00, 0, 0});
    const Converted c = convert(convertToPlanarBayer12, 4, 2, in, 8);
    ASSERT_EQ(c.ret, QOV_SUCCESS);
    EXPECT_EQ(c.samples, std::vector<QOV_UINT16>({0x123, 0x456, 1, 2, 0x789, 0xABC, 3, 4}));

    // Eight samples do not fit in 8 bytes.
    const Converted s = convert(convertToPlanarBayer12, 8, 2, Bytes(16, 0), 8);
    EXPECT_EQ(s.ret, QOV_ERROR_FAILURE);
}

TEST(BayerConverters, Tiff)
{
    const Converted t12 = convert(convertToPlanarBayerTiff12, 2, 2, {0xAB, 0xCD, 0xEF, 0x12, 0x34, 0x56}, 3);
    ASSERT_EQ(t12.ret, QOV_SUCCESS);
    EXPECT_EQ(t12.samples, std::vector<QOV_UINT16>({0xABC, 0xDEF, 0x123, 0x456}));

    const Converted t10 = convert(convertToPlanarBayerTiff10, 4, 2,
                                  {0xFF, 0xC0, 0x0F, 0xFC, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01}, 5);
    ASSERT_EQ(t10.ret, QOV_SUCCESS);
    EXPECT_EQ(t10.samples, std::vector<QOV_UINT16>({0x3FF, 0x000, 0, 0, 0x3FF, 0x000, 0, 1}));

    // Every cell of every pair of lines in its place: sample v(y, x) of line y,
    // column x, packed most significant bit first, and each pair's row made of
    // cells (even x, even x + 1, odd x, odd x + 1).
    {
        const unsigned w = 4, h = 4;
        auto v = [](unsigned y, unsigned x) { return static_cast<QOV_UINT16>(0x100 * (y + 1) + 0x10 * x + y + x); };
        Bytes packed;
        for (unsigned y = 0; y < h; y++)
            for (unsigned x = 0; x < w; x += 2) {
                packed.push_back(static_cast<unsigned char>(v(y, x) >> 4));
                packed.push_back(static_cast<unsigned char>((v(y, x) & 0x0F) << 4 | v(y, x + 1) >> 8));
                packed.push_back(static_cast<unsigned char>(v(y, x + 1) & 0xFF));
            }
        const Converted all = convert(convertToPlanarBayerTiff12, w, h, packed, 3 * w / 2);
        ASSERT_EQ(all.ret, QOV_SUCCESS);
        std::vector<QOV_UINT16> cells;
        for (unsigned pair = 0; pair < h / 2; pair++)
            for (unsigned x = 0; x < w; x += 2)
                for (const unsigned y : {2 * pair, 2 * pair + 1})
                    for (const unsigned dx : {0u, 1u})
                        cells.push_back(v(y, x + dx));
        EXPECT_EQ(all.samples, cells);
    }

    // Width 4k + 2: the last group gives one cell.
    Bytes six(20, 0);
    six[5] = 0xFF;  // second group of the even line: first sample 0xFF * 4
    const Converted t6 = convert(convertToPlanarBayerTiff10, 6, 2, six, 10);
    ASSERT_EQ(t6.ret, QOV_SUCCESS);
    EXPECT_EQ(t6.size, 24u);
    EXPECT_EQ(t6.samples[8], 0x3FC);
}

TEST(BayerConverters, Messages)
{
    struct Case {
        QOV_RESULT (*fn)(const QOV_UINT16 *, const void *, QOV_SIZE, void **, QOV_SIZE *);
        unsigned w, h;
        size_t stride;
        QOV_RESULT code;
        const char *message;
    };
    const Case cases[] = {
        {convertToPlanarBayer8, 4, 2, 6, QOV_ERROR_NOT_SUPPORTED, "size is not a multiple of 32b\n"},
        {convertToPlanarBayer10, 4, 3, 8, QOV_ERROR_NOT_SUPPORTED, "function does not work with odd height\n"},
        {convertToPlanarBayerTiff12, 4, 3, 6, QOV_ERROR_NOT_SUPPORTED, "function does not work with odd height\n"},
        {convertToPlanarBayer12, 8, 2, 8, QOV_ERROR_FAILURE, "did not save the correct number of pixels 8 vs 16\n"},
    };
    for (const auto &c : cases) {
        Converted r;
        const std::string out = stderrOf([&] { r = convert(c.fn, c.w, c.h, Bytes(c.h * c.stride, 0), c.stride); });
        EXPECT_EQ(r.ret, c.code) << c.message;
        EXPECT_TRUE(isLogLine(out, "ERROR", "Savefile", c.message));
    }
    // The dispatchers refuse other depths without a message.
    const QOV_UINT16 size[2] = {4, 2};
    const QOV_UINT8 in[16] = {};
    void *out = nullptr;
    QOV_SIZE outSize = 0;
    EXPECT_EQ(stderrOf([&] { convertToPlanarBayer(size, in, 8, 11, &out, &outSize); }), "");
    EXPECT_EQ(stderrOf([&] { convertToPlanarBayerTiff(size, in, 8, 8, &out, &outSize); }), "");
    EXPECT_EQ(out, nullptr);
}

// Each depth a dispatcher knows goes to its own converter.
TEST(BayerConverters, DispatchersPickTheConverterOfTheDepth)
{
    using Fn = QOV_RESULT (*)(const QOV_UINT16 *, const void *, QOV_SIZE, void **, QOV_SIZE *);
    struct Case {
        bool tiff;
        QOV_UINT8 depth;
        Fn direct;
    };
    const Case cases[] = {
        {false, 8, convertToPlanarBayer8},      {false, 10, convertToPlanarBayer10},
        {false, 12, convertToPlanarBayer12},    {true, 10, convertToPlanarBayerTiff10},
        {true, 12, convertToPlanarBayerTiff12},
    };
    Bytes in(16);
    for (size_t i = 0; i < in.size(); i++)
        in[i] = static_cast<unsigned char>(17 * i + 3);
    const QOV_UINT16 size[2] = {4, 2};
    for (const auto &c : cases) {
        void *out = nullptr, *expected = nullptr;
        QOV_SIZE outSize = 0, expectedSize = 0;
        ASSERT_EQ(c.direct(size, in.data(), 8, &expected, &expectedSize), QOV_SUCCESS) << int(c.depth);
        const QOV_RESULT ret = c.tiff ? convertToPlanarBayerTiff(size, in.data(), 8, c.depth, &out, &outSize)
                                      : convertToPlanarBayer(size, in.data(), 8, c.depth, &out, &outSize);
        ASSERT_EQ(ret, QOV_SUCCESS) << int(c.depth);
        ASSERT_EQ(outSize, expectedSize) << int(c.depth);
        EXPECT_EQ(memcmp(out, expected, outSize), 0) << int(c.depth);
        free(out);
        free(expected);
    }
}

TEST(BayerConverters, RefusedShapes)
{
    using Fn = QOV_RESULT (*)(const QOV_UINT16 *, const void *, QOV_SIZE, void **, QOV_SIZE *);
    const Fn word[] = {convertToPlanarBayer8, convertToPlanarBayer10, convertToPlanarBayer12};
    const Fn tiff[] = {convertToPlanarBayerTiff10, convertToPlanarBayerTiff12};
    for (Fn fn : word) {
        EXPECT_EQ(convert(fn, 4, 3, Bytes(24, 0), 8).ret, QOV_ERROR_NOT_SUPPORTED);  // odd height
        EXPECT_EQ(convert(fn, 4, 2, Bytes(12, 0), 6).ret, QOV_ERROR_NOT_SUPPORTED);  // stride of 6
        EXPECT_EQ(convert(fn, 3, 2, Bytes(16, 0), 8).ret, QOV_ERROR_NOT_SUPPORTED);  // odd width
    }
    for (Fn fn : tiff) {
        EXPECT_EQ(convert(fn, 4, 3, Bytes(24, 0), 8).ret, QOV_ERROR_NOT_SUPPORTED);
        EXPECT_EQ(convert(fn, 2, 2, Bytes(12, 0), 6).ret, QOV_SUCCESS);              // any stride that holds a line
        EXPECT_EQ(convert(fn, 3, 2, Bytes(16, 0), 8).ret, QOV_ERROR_NOT_SUPPORTED);  // odd width
        EXPECT_EQ(convert(fn, 4, 2, Bytes(4, 0), 2).ret, QOV_ERROR_NOT_SUPPORTED);   // stride too short
    }
    const Converted none = convert(convertToPlanarBayerTiff12, 4, 0, {}, 6);
    EXPECT_EQ(none.ret, QOV_SUCCESS);

    const QOV_UINT16 size[2] = {4, 2};
    const QOV_UINT8 in[16] = {};
    void *out = nullptr;
    QOV_SIZE outSize = 0;
    EXPECT_EQ(convertToPlanarBayer(size, in, 8, 14, &out, &outSize), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(convertToPlanarBayerTiff(size, in, 8, 8, &out, &outSize), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(convertToPlanarBayer8(size, nullptr, 8, &out, &outSize), QOV_ERROR_INVALID_ARGUMENT);
    ASSERT_EQ(convertToPlanarBayer(size, in, 8, 8, &out, &outSize), QOV_SUCCESS);
    EXPECT_EQ(outSize, 8u);
    free(out);
    ASSERT_EQ(convertToPlanarBayerTiff(size, in, 8, 12, &out, &outSize), QOV_SUCCESS);
    EXPECT_EQ(outSize, 16u);
    free(out);
}

}  // namespace
