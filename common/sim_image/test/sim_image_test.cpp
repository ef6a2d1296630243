#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "jux_test_util.h"
#include "sim_image/image_jux.h"
#include "sim_image/sim_image.h"

using namespace testutil;

namespace {

// 16-bit little-endian samples.
Bytes words(std::initializer_list<int> values)
{
    Bytes out;
    for (int v : values) {
        out.push_back(static_cast<unsigned char>(v & 0xFF));
        out.push_back(static_cast<unsigned char>(v >> 8));
    }
    return out;
}

class SimImage : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.file("sim.jux");
    sSimImageIn in;
    void SetUp() override { ASSERT_EQ(SimImageIn_init(&in), QOV_SUCCESS); }
    void TearDown() override { SimImageIn_close(&in); }
};

TEST_F(SimImage, BayerFileWithoutSubsamplingKeys)
{
    // A 4 x 2 mosaic: four planes of 2 x 1 samples, R, G1, G2, B.
    const std::string meta = "WIDTH=4\nHEIGHT=2\nCOLOUR_FORMAT=RGGB\nBITDEPTH=10\n";
    writeFile(path, segment(meta, words({1, 2, 11, 12, 21, 22, 31, 32})));
    ASSERT_EQ(SimImageIn_loadJUX(&in, path.c_str()), QOV_SUCCESS);
    EXPECT_EQ(in.info.eColourModel, SimImage_RGGB);
    EXPECT_EQ(in.info.ui32Width, 4u);
    EXPECT_EQ(in.info.ui32Height, 2u);
    EXPECT_EQ(in.info.stride, 16u);
    EXPECT_EQ(in.info.ui8BitDepth, 10);
    EXPECT_FALSE(in.info.isBGR);
    EXPECT_EQ(in.nFrames, 1u);
    ASSERT_EQ(SimImageIn_convertFrame(&in, 0), QOV_SUCCESS);
    const QOV_UINT16 expected[8] = {1, 11, 2, 12, 21, 31, 22, 32};  // R G1 R G1 / G2 B G2 B
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(in.pBuffer[i], expected[i]) << i;

    // The older key names the order.
    sSimImageIn grbg;
    SimImageIn_init(&grbg);
    writeFile(path, segment(meta + "SUBSAMPLING=GRBG\n", words({1, 2, 11, 12, 21, 22, 31, 32})));
    ASSERT_EQ(SimImageIn_loadJUX(&grbg, path.c_str()), QOV_SUCCESS);
    EXPECT_EQ(grbg.info.eColourModel, SimImage_GRBG);
    ASSERT_EQ(SimImageIn_convertFrame(&grbg, 0), QOV_SUCCESS);
    const QOV_UINT16 cells[8] = {11, 1, 12, 2, 31, 21, 32, 22};  // G1 R / B G2
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(grbg.pBuffer[i], cells[i]) << i;
    SimImageIn_close(&grbg);
}

TEST_F(SimImage, OddBayerSize)
{
    const std::string meta = "WIDTH=101\nHEIGHT=75\nCOLOUR_FORMAT=RGGB\nSUBSAMPLING_HOR=2\nSUBSAMPLING_VER=2\n"
                             "PHASE_OFFSET_HOR=0 1 0 1\nPHASE_OFFSET_VER=0 0 1 1\n";
    writeFile(path, segment(meta, Bytes(4 * 51 * 38, 9)));
    ASSERT_EQ(SimImageIn_loadJUX(&in, path.c_str()), QOV_SUCCESS);
    EXPECT_EQ(in.loadFromJUX->chnl[3].chnlWidth, 51);
    EXPECT_EQ(in.loadFromJUX->chnl[3].chnlHeight, 38);
    EXPECT_EQ(in.info.ui32Width, 102u);
    EXPECT_EQ(in.info.ui32Height, 76u);
    EXPECT_EQ(in.info.stride, 408u);
    ASSERT_EQ(SimImageIn_convertFrame(&in, 0), QOV_SUCCESS);
    EXPECT_EQ(in.pBuffer[15504 / 2 - 1], 9);  // the last sample of the 15504-byte buffer
}

TEST_F(SimImage, FramesAndRefusals)
{
    const std::string meta = "WIDTH=2\nHEIGHT=1\nCOLOUR_FORMAT=RGB\nBITDEPTH=12\n";
    writeFile(path, segment(meta, words({1, 2, 3, 4, 5, 6, 100, 200, 300, 400, 500, 4095})));
    ASSERT_EQ(SimImageIn_loadJUX(&in, path.c_str()), QOV_SUCCESS);
    EXPECT_EQ(in.nFrames, 2u);
    EXPECT_EQ(in.info.eColourModel, SimImage_RGB64);
    EXPECT_TRUE(in.info.isBGR);
    EXPECT_EQ(in.info.stride, 16u);
    ASSERT_EQ(SimImageIn_convertFrame(&in, 1), QOV_SUCCESS);
    const QOV_UINT16 expected[8] = {100, 300, 500, 0, 200, 400, 4095, 0};
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(in.pBuffer[i], expected[i]) << i;
    EXPECT_EQ(SimImageIn_convertFrame(&in, 2), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(SimImageIn_convertFrame(&in, -1), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(SimImageIn_convertFrame(nullptr, 0), QOV_ERROR_INVALID_ARGUMENT);

    // A second load keeps the first file usable.
    EXPECT_EQ(SimImageIn_loadJUX(&in, path.c_str()), QOV_ERROR_ALREADY_EXISTS);
    EXPECT_EQ(SimImageIn_convertFrame(&in, 0), QOV_SUCCESS);
    EXPECT_EQ(in.pBuffer[0], 1);

    sSimImageIn closed;
    SimImageIn_init(&closed);
    EXPECT_EQ(SimImageIn_convertFrame(&closed, 0), QOV_ERROR_NOT_INITIALISED);
    EXPECT_EQ(SimImageIn_loadJUX(&closed, dir.file("absent.jux").c_str()), QOV_ERROR_FAILURE);
    EXPECT_EQ(closed.loadFromJUX, nullptr);

    writeFile(path, segment("WIDTH=1\nHEIGHT=1\nCOLOUR_FORMAT=RGBA\n", Bytes(4, 0)));
    EXPECT_EQ(SimImageIn_loadJUX(&closed, path.c_str()), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(closed.loadFromJUX, nullptr);
    writeFile(path, segment("WIDTH=1\nHEIGHT=1\nBITDEPTH=8 10 8\n", Bytes(5, 0)));
    EXPECT_EQ(SimImageIn_loadJUX(&closed, path.c_str()), QOV_ERROR_NOT_SUPPORTED);
    writeFile(path, segment("WIDTH=2\nHEIGHT=2\nCOLOUR_FORMAT=RGGB\nSUBSAMPLING=444\n", Bytes(16, 0)));
    EXPECT_EQ(SimImageIn_loadJUX(&closed, path.c_str()), QOV_ERROR_NOT_SUPPORTED);
    SimImageIn_close(&closed);
}

// Loading leaves the reader's image holding frame 0, plane by plane, with the
// sizes and depth the record describes, whichever frames follow it.
TEST_F(SimImage, LoadHoldsFrameZero)
{
    struct Case {
        std::string meta;
        int planes, planeWidth, planeHeight, depth;
        std::vector<int> frames;  // two frames, planes in file order
    };
    const Case cases[] = {
        {"WIDTH=2\nHEIGHT=1\nCOLOUR_FORMAT=RGB\nBITDEPTH=12\n", 3, 2, 1, 12,
         {1, 2, 3, 4, 5, 6, 100, 200, 300, 400, 500, 4095}},
        {"WIDTH=4\nHEIGHT=2\nCOLOUR_FORMAT=RGGB\nBITDEPTH=10\n", 4, 2, 1, 10,
         {1, 2, 11, 12, 21, 22, 31, 32, 1001, 1002, 1011, 1012, 1021, 1022, 1023, 1000}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.meta);
        Bytes pixels;
        for (int v : c.frames)
            append(pixels, words({v}));
        writeFile(path, segment(c.meta, pixels));
        sSimImageIn img;
        SimImageIn_init(&img);
        ASSERT_EQ(SimImageIn_loadJUX(&img, path.c_str()), QOV_SUCCESS);
        EXPECT_EQ(img.nFrames, 2u);
        EXPECT_EQ(img.info.ui8BitDepth, c.depth);
        ASSERT_NE(img.loadFromJUX, nullptr);
        const CImageJux &jux = *img.loadFromJUX;
        ASSERT_TRUE(jux.IsDataLoaded());
        ASSERT_EQ(jux.GetNColChannels(), c.planes);
        const int n = c.planeWidth * c.planeHeight;
        for (int p = 0; p < c.planes; p++) {
            EXPECT_EQ(jux.chnl[p].chnlWidth, c.planeWidth) << p;
            EXPECT_EQ(jux.chnl[p].chnlHeight, c.planeHeight) << p;
            EXPECT_EQ(jux.chnl[p].bitDepth, c.depth) << p;
            for (int i = 0; i < n; i++)
                EXPECT_EQ(jux.chnl[p].data[i], c.frames[static_cast<size_t>(p * n + i)]) << p << "," << i;
        }
        SimImageIn_close(&img);
    }
}

// The reader's buffer holds 16-bit samples: deeper files are refused rather
// than cut, and 16 bits load whole.
TEST_F(SimImage, DepthsBeyondSixteenBitsAreRefused)
{
    for (int depth : {17, 24, 32}) {
        const std::string meta =
            "WIDTH=2\nHEIGHT=2\nCOLOUR_FORMAT=RGGB\nBITDEPTH=" + std::to_string(depth) + "\n";
        writeFile(path, segment(meta, Bytes(16, 0xFF)));
        sSimImageIn deep;
        SimImageIn_init(&deep);
        const std::string err = stderrOf([&] { EXPECT_EQ(SimImageIn_loadJUX(&deep, path.c_str()), QOV_ERROR_NOT_SUPPORTED); });
        EXPECT_NE(err.find("can only load JUX files of at most 16 bits per sample (" + std::to_string(depth) +
                           " given)"),
                  std::string::npos)
            << err;
        EXPECT_EQ(deep.loadFromJUX, nullptr);
        EXPECT_EQ(deep.pBuffer, nullptr);
        SimImageIn_close(&deep);
    }

    writeFile(path, segment("WIDTH=2\nHEIGHT=2\nCOLOUR_FORMAT=RGGB\nBITDEPTH=16\n",
                            words({0xFFFF, 0x8001, 0x1234, 0x0002})));
    ASSERT_EQ(SimImageIn_loadJUX(&in, path.c_str()), QOV_SUCCESS);
    EXPECT_EQ(in.info.ui8BitDepth, 16);
    ASSERT_EQ(SimImageIn_convertFrame(&in, 0), QOV_SUCCESS);
    EXPECT_EQ(in.pBuffer[0], 0xFFFF);
    EXPECT_EQ(in.pBuffer[3], 0x0002);
}

TEST_F(SimImage, MultiSegmentFiles)
{
    const std::string a = "WIDTH=2\nHEIGHT=1\nCOLOUR_FORMAT=RGB\n";
    Bytes same = segment(a, Bytes(12, 1));
    append(same, segment(a + "NOTE=x\n", Bytes(6, 2)));
    writeFile(path, same);
    unsigned segs = 0, frames = 0;
    EXPECT_EQ(SimImageIn_checkMultiSegment(path.c_str(), &segs, &frames), QOV_SUCCESS);
    EXPECT_EQ(segs, 2u);
    EXPECT_EQ(frames, 3u);
    ASSERT_EQ(SimImageIn_loadJUX(&in, path.c_str()), QOV_SUCCESS);
    EXPECT_EQ(in.nFrames, 3u);
    ASSERT_EQ(SimImageIn_convertFrame(&in, 2), QOV_SUCCESS);
    EXPECT_EQ(in.pBuffer[0], 2);
    SimImageIn_close(&in);

    for (const std::string &other : {std::string("WIDTH=1\nHEIGHT=1\nCOLOUR_FORMAT=RGB\n"),
                                     std::string("WIDTH=2\nHEIGHT=1\nCOLOUR_FORMAT=RGB\nBITDEPTH=8 9 8\n")}) {
        Bytes mixed = segment(a, Bytes(12, 1));
        append(mixed, segment(other, Bytes(12, 2)));
        writeFile(path, mixed);
        EXPECT_EQ(SimImageIn_checkMultiSegment(path.c_str(), &segs, &frames), QOV_ERROR_NOT_SUPPORTED);
        EXPECT_EQ(frames, other[6] == '1' ? 6u : 3u);
        ASSERT_EQ(SimImageIn_loadJUX(&in, path.c_str()), QOV_SUCCESS);
        EXPECT_EQ(in.nFrames, 2u);
        SimImageIn_close(&in);
    }
    EXPECT_EQ(SimImageIn_checkMultiSegment(nullptr, &segs, &frames), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(SimImageIn_checkMultiSegment(dir.file("absent").c_str(), &segs, &frames), QOV_ERROR_FAILURE);
}

// Two segment descriptions differ when any key the reader depends on differs,
// for any of the planes; other keys do not count.
TEST(SimImageMeta, SegmentsCompareByTheKeysThatShapeTheirPlanes)
{
    const std::string base = "WIDTH=4\nHEIGHT=2\nCOLOUR_FORMAT=RGGB\nSUBSAMPLING_HOR=2\nSUBSAMPLING_VER=2\n"
                             "PHASE_OFFSET_HOR=0 1 0 1\nPHASE_OFFSET_VER=0 0 1 1\nBITDEPTH=10\n";
    struct Case {
        std::string a, b;
        bool differ;
    };
    const Case cases[] = {
        {base, base, false},
        {base, base + "NOTE=other\n", false},
        {base, "HEIGHT=2\nWIDTH=4\nCOLOUR_FORMAT=RGGB\nBITDEPTH=10\nSUBSAMPLING_HOR=2\nSUBSAMPLING_VER=2\n"
               "PHASE_OFFSET_HOR=0 1 0 1\nPHASE_OFFSET_VER=0 0 1 1\n",
         false},
        {base, "WIDTH=6\n" + base, true},
        {base, "HEIGHT=4\n" + base, true},
        {base, "COLOUR_FORMAT=RGB\n" + base, true},
        {base, "PHASE_OFFSET_HOR=1 0 1 0\n" + base, true},
        {base, "PHASE_OFFSET_VER=0 0 1 0\n" + base, true},  // the fourth plane
        {base, "SUBSAMPLING_HOR=1\n" + base, true},
        {base, "SUBSAMPLING_VER=1\n" + base, true},
        {base, "BITDEPTH=12\n" + base, true},
        {"WIDTH=2\nHEIGHT=1\nCOLOUR_FORMAT=RGB\n", "WIDTH=2\nHEIGHT=1\nCOLOUR_FORMAT=RGB\nBITDEPTH=8 8 8\n", false},
        {"WIDTH=2\nHEIGHT=1\nCOLOUR_FORMAT=RGB\n", "WIDTH=2\nHEIGHT=1\nCOLOUR_FORMAT=RGB\nBITDEPTH=8 8 9\n", true},
        // Only Bayer and RGB descriptions can be alike.
        {"WIDTH=2\nHEIGHT=1\nCOLOUR_FORMAT=YUV\n", "WIDTH=2\nHEIGHT=1\nCOLOUR_FORMAT=YUV\n", true},
        {"WIDTH=2\nHEIGHT=1\n", "WIDTH=2\nHEIGHT=1\n", true},
    };
    for (const auto &c : cases) {
        // The first item of a name counts, as in a file.
        CMetaData a, b;
        for (const auto &[text, md] : {std::pair<const std::string &, CMetaData &>{c.a, a}, {c.b, b}})
            for (const char *p = text.c_str(); p && *p;)
                p = md.AddFromString(p, IFEX_IGNORE, nullptr);
        EXPECT_EQ(a != b, c.differ) << c.a << "--\n" << c.b;
        EXPECT_EQ(b != a, c.differ) << c.b << "--\n" << c.a;
    }
}

TEST_F(SimImage, LaterSegmentOfAnotherPlaneSize)
{
    // The keys compared between segments match, yet the older subsampling key
    // makes the second segment's planes full size, not a mosaic: its frame is refused.
    const std::string a = "WIDTH=4\nHEIGHT=2\nCOLOUR_FORMAT=RGGB\n";
    Bytes file = segment(a, Bytes(8, 1));
    append(file, segment(a + "SUBSAMPLING=444\n", Bytes(32, 2)));
    writeFile(path, file);
    ASSERT_EQ(SimImageIn_loadJUX(&in, path.c_str()), QOV_SUCCESS);
    ASSERT_EQ(in.nFrames, 2u);
    EXPECT_EQ(SimImageIn_convertFrame(&in, 1), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(SimImageIn_convertFrame(&in, 0), QOV_SUCCESS);
}

TEST_F(SimImage, ReaderMessages)
{
    const std::string absent = dir.file("absent.jux");
    QOV_RESULT ret = QOV_SUCCESS;
    std::string out = stderrOf([&] { ret = SimImageIn_loadJUX(&in, absent.c_str()); });
    EXPECT_EQ(ret, QOV_ERROR_FAILURE);
    EXPECT_TRUE(
        isLogLine(out, "ERROR", "SimImage", "failed to load JUX header from '" + absent + "': Error opening file\n"));

    out = stderrOf([&] { ret = SimImageIn_convertFrame(&in, 0); });
    EXPECT_EQ(ret, QOV_ERROR_NOT_INITIALISED);
    EXPECT_TRUE(isLogLine(out, "ERROR", "SimImage", "file should be open before converting frame\n"));

    // The colour-model refusal goes straight to standard error.
    writeFile(path, segment("WIDTH=1\nHEIGHT=1\nCOLOUR_FORMAT=RGBA\n", Bytes(4, 0)));
    out = stderrOf([&] { ret = SimImageIn_loadJUX(&in, path.c_str()); });
    EXPECT_EQ(ret, QOV_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(out, "can only load Bayer JUX, RGB or RGBA files\n");

    writeFile(path, segment("WIDTH=1\nHEIGHT=1\nBITDEPTH=8 10 8\n", Bytes(5, 0)));
    out = stderrOf([&] { ret = SimImageIn_loadJUX(&in, path.c_str()); });
    EXPECT_EQ(ret, QOV_ERROR_NOT_SUPPORTED);
    EXPECT_TRUE(isLogLine(out, "ERROR", "SimImage", "can only load JUX files with same bit depth for all channels\n"));
    SimImageIn_close(&in);

    writeFile(path, segment("WIDTH=2\nHEIGHT=2\nCOLOUR_FORMAT=RGGB\nSUBSAMPLING=444\n", Bytes(16, 0)));
    out = stderrOf([&] { ret = SimImageIn_loadJUX(&in, path.c_str()); });
    EXPECT_EQ(ret, QOV_ERROR_NOT_SUPPORTED);
    EXPECT_TRUE(isLogLine(out, "ERROR", "SimImage", "Mode not supported!\n"));
    SimImageIn_close(&in);

    writeFile(path, segment("WIDTH=2\nHEIGHT=1\nCOLOUR_FORMAT=RGB\n", Bytes(6, 0)));
    ASSERT_EQ(SimImageIn_loadJUX(&in, path.c_str()), QOV_SUCCESS);
    out = stderrOf([&] { ret = SimImageIn_loadJUX(&in, path.c_str()); });
    EXPECT_EQ(ret, QOV_ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(isLogLine(out, "ERROR", "SimImage", "object already has open image - close before opening again\n"));
    out = stderrOf([&] { ret = SimImageIn_convertFrame(&in, 1); });
    EXPECT_EQ(ret, QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_TRUE(isLogLine(out, "ERROR", "SimImage", "file only has 1 frame(s), cannot convert frame 1\n"));

    Bytes mixed = segment("WIDTH=2\nHEIGHT=1\nCOLOUR_FORMAT=RGB\n", Bytes(6, 0));
    append(mixed, segment("WIDTH=1\nHEIGHT=1\nCOLOUR_FORMAT=RGB\n", Bytes(3, 0)));
    writeFile(path, mixed);
    out = stderrOf([&] { ret = SimImageIn_checkMultiSegment(path.c_str(), nullptr, nullptr); });
    EXPECT_EQ(ret, QOV_ERROR_NOT_SUPPORTED);
    EXPECT_TRUE(
        isLogLine(out, "WARNING", "SimImage", "incompatible multi-segment image: load only from 1st segment\n"));
}

// init zeroes every field of a used record, close releases and zeroes a
// loaded one; a null record is refused by each.
TEST_F(SimImage, InitAndCloseZeroTheRecord)
{
    EXPECT_EQ(SimImageIn_init(nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(SimImageIn_close(nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(SimImageIn_loadJUX(nullptr, path.c_str()), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(SimImageIn_loadJUX(&in, nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(SimImageOut_init(nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(SimImageOut_clean(nullptr), QOV_ERROR_INVALID_ARGUMENT);

    const auto isZero = [](const auto &record) {
        const unsigned char *b = reinterpret_cast<const unsigned char *>(&record);
        for (size_t i = 0; i < sizeof(record); i++)
            if (b[i] != 0)
                return false;
        return true;
    };
    sSimImageIn used;
    memset(&used, 0x5A, sizeof(used));
    EXPECT_EQ(SimImageIn_init(&used), QOV_SUCCESS);
    EXPECT_TRUE(isZero(used));
    sSimImageOut usedOut;
    memset(&usedOut, 0xA5, sizeof(usedOut));
    EXPECT_EQ(SimImageOut_init(&usedOut), QOV_SUCCESS);
    EXPECT_TRUE(isZero(usedOut));

    writeFile(path, segment("WIDTH=2\nHEIGHT=1\nCOLOUR_FORMAT=RGB\n", Bytes(6, 1)));
    ASSERT_EQ(SimImageIn_loadJUX(&in, path.c_str()), QOV_SUCCESS);
    EXPECT_EQ(SimImageIn_close(&in), QOV_SUCCESS);
    EXPECT_TRUE(isZero(in));
    // Closed, the record loads again.
    ASSERT_EQ(SimImageIn_loadJUX(&in, path.c_str()), QOV_SUCCESS);
    EXPECT_EQ(in.nFrames, 1u);
}

class SimOut : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.file("out.jux");
    sSimImageOut out;
    void SetUp() override { ASSERT_EQ(SimImageOut_init(&out), QOV_SUCCESS); }
    void TearDown() override { SimImageOut_clean(&out); }
    void create(sSimImageColourModel model, int depth, unsigned w, unsigned h, bool bgr = false)
    {
        out.info.eColourModel = model;
        out.info.ui8BitDepth = static_cast<QOV_UINT8>(depth);
        out.info.ui32Width = w;
        out.info.ui32Height = h;
        out.info.isBGR = bgr ? QOV_TRUE : QOV_FALSE;
        ASSERT_EQ(SimImageOut_create(&out), QOV_SUCCESS);
    }
};

TEST_F(SimOut, BayerFileByteForByte)
{
    create(SimImage_GRBG, 10, 4, 2);
    ASSERT_EQ(SimImageOut_open(&out, path.c_str()), QOV_SUCCESS);
    // Two cells TL, TR, BL, BR: G1 R B G2.
    const Bytes cells = words({10, 20, 30, 40, 11, 21, 31, 41});
    ASSERT_EQ(SimImageOut_addFrame(&out, cells.data(), cells.size()), QOV_SUCCESS);
    EXPECT_EQ(out.saveToJUX->chnl[0].data[0], 20);  // R
    EXPECT_EQ(out.saveToJUX->chnl[1].data[0], 10);  // G1
    EXPECT_EQ(out.saveToJUX->chnl[2].data[0], 40);  // G2
    EXPECT_EQ(out.saveToJUX->chnl[3].data[0], 30);  // B
    ASSERT_EQ(SimImageOut_write(&out), QOV_SUCCESS);
    ASSERT_EQ(SimImageOut_close(&out), QOV_SUCCESS);

    std::string expected = "JUX1\n04 0000000000064 0000000000228 0000000000292 0000000000016\n"
                           "WIDTH=4\nHEIGHT=2\nCOLOUR_FORMAT=RGGB\nSUBSAMPLING_HOR=2 2 2 2\nSUBSAMPLING_VER=2 2 2 2\n"
                           "PHASE_OFFSET_HOR=1 0 1 0\nPHASE_OFFSET_VER=0 0 1 1\nBITDEPTH=10 10 10 10\n"
                           "SIGNED=0 0 0 0\nPLANE_FORMAT=1 1 1 1\nPIXEL_FORMAT=unpackedR\nFRAME_SIZE=16\n";
    const Bytes planes = words({20, 21, 10, 11, 40, 41, 30, 31});  // R, G1, G2, B
    expected.append(planes.begin(), planes.end());
    const Bytes file = readFile(path);
    EXPECT_EQ(std::string(file.begin(), file.end()), expected);

    // Read back, the cells come out as they went in.
    sSimImageIn in;
    SimImageIn_init(&in);
    ASSERT_EQ(SimImageIn_loadJUX(&in, path.c_str()), QOV_SUCCESS);
    EXPECT_EQ(in.info.eColourModel, SimImage_GRBG);
    ASSERT_EQ(SimImageIn_convertFrame(&in, 0), QOV_SUCCESS);
    const QOV_UINT16 mosaic[8] = {10, 20, 11, 21, 30, 40, 31, 41};
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(in.pBuffer[i], mosaic[i]) << i;
    SimImageIn_close(&in);
}

TEST_F(SimOut, RgbLayouts)
{
    create(SimImage_RGB24, 8, 1, 1, false);
    const QOV_UINT8 bgr[3] = {1, 2, 3};
    ASSERT_EQ(SimImageOut_addFrame(&out, bgr, 3), QOV_SUCCESS);
    EXPECT_EQ(out.saveToJUX->chnl[0].data[0], 3);
    EXPECT_EQ(out.saveToJUX->chnl[1].data[0], 2);
    EXPECT_EQ(out.saveToJUX->chnl[2].data[0], 1);
    EXPECT_EQ(SimImageOut_addFrame(&out, bgr, 2), QOV_ERROR_NOT_SUPPORTED);
    SimImageOut_clean(&out);

    create(SimImage_RGB32, 10, 2, 1, true);
    // 10:10:10:2 words: R in bits 0-9, G 10-19, B 20-29.
    const QOV_UINT32 w0 = 1023u | 512u << 10 | 1u << 20 | 3u << 30;
    const QOV_UINT8 px[8] = {static_cast<QOV_UINT8>(w0), static_cast<QOV_UINT8>(w0 >> 8),
                             static_cast<QOV_UINT8>(w0 >> 16), static_cast<QOV_UINT8>(w0 >> 24), 0, 0, 0, 0};
    ASSERT_EQ(SimImageOut_addFrame(&out, px, 8), QOV_SUCCESS);
    EXPECT_EQ(out.saveToJUX->chnl[0].data[0], 1023);
    EXPECT_EQ(out.saveToJUX->chnl[1].data[0], 512);
    EXPECT_EQ(out.saveToJUX->chnl[2].data[0], 1);
    // A whole image is read at this depth: a shorter buffer is refused, not over-read.
    const Bytes two(8, 0);
    SimImageOut_clean(&out);
    create(SimImage_RGB32, 10, 4, 1, true);
    EXPECT_EQ(SimImageOut_addFrame(&out, two.data(), two.size()), QOV_ERROR_NOT_SUPPORTED);
    SimImageOut_clean(&out);

    create(SimImage_RGB64, 16, 1, 1, true);
    const Bytes rgb64 = words({1000, 2000, 65535, 7});
    ASSERT_EQ(SimImageOut_addFrame(&out, rgb64.data(), rgb64.size()), QOV_SUCCESS);
    EXPECT_EQ(out.saveToJUX->chnl[2].data[0], 65535);
}

// Every Bayer order, written as cells and read back: the planes hold R, G1,
// G2 and B whatever the order, the file names the order, and the reader
// lays the cells out as they came in.
TEST_F(SimOut, EveryBayerOrderRoundTrips)
{
    struct Case {
        sSimImageColourModel model;
        subsamplingModeEnum subs;
        int plane[4];  // plane of the cell's TL, TR, BL, BR sample
    };
    const Case cases[] = {
        {SimImage_RGGB, SUBS_RGGB, {0, 1, 2, 3}},
        {SimImage_GRBG, SUBS_GRBG, {1, 0, 3, 2}},
        {SimImage_GBRG, SUBS_GBRG, {2, 3, 0, 1}},
        {SimImage_BGGR, SUBS_BGGR, {3, 2, 1, 0}},
    };
    for (const Case &c : cases) {
        for (int depth : {8, 12}) {
            SCOPED_TRACE(std::to_string(c.model) + " at " + std::to_string(depth) + " bits");
            SimImageOut_clean(&out);
            create(c.model, depth, 4, 2);
            ASSERT_EQ(SimImageOut_open(&out, path.c_str()), QOV_SUCCESS);
            // Two cells: TL, TR, BL, BR = 10 + k, then 20 + k.
            Bytes cells;
            for (int cell = 1; cell <= 2; cell++)
                for (int k = 0; k < 4; k++) {
                    cells.push_back(static_cast<unsigned char>(10 * cell + k));
                    if (depth > 8)
                        cells.push_back(static_cast<unsigned char>(k));  // high byte
                }
            ASSERT_EQ(SimImageOut_addFrame(&out, cells.data(), cells.size()), QOV_SUCCESS);
            for (int k = 0; k < 4; k++)
                for (int cell = 1; cell <= 2; cell++)
                    EXPECT_EQ(out.saveToJUX->chnl[c.plane[k]].data[cell - 1],
                              10 * cell + k + (depth > 8 ? 256 * k : 0))
                        << "position " << k << " cell " << cell;
            ASSERT_EQ(SimImageOut_write(&out), QOV_SUCCESS);
            ASSERT_EQ(SimImageOut_close(&out), QOV_SUCCESS);

            CImageJux check;
            ASSERT_EQ(check.LoadFileHeader(path.c_str(), nullptr), nullptr);
            EXPECT_EQ(check.subsMode, c.subs);
            sSimImageIn in;
            SimImageIn_init(&in);
            ASSERT_EQ(SimImageIn_loadJUX(&in, path.c_str()), QOV_SUCCESS);
            EXPECT_EQ(in.info.eColourModel, c.model);
            EXPECT_EQ(in.info.ui8BitDepth, depth);
            ASSERT_EQ(SimImageIn_convertFrame(&in, 0), QOV_SUCCESS);
            // Mosaic rows: TL TR TL TR / BL BR BL BR.
            const int order[8] = {0, 1, 0, 1, 2, 3, 2, 3};
            for (int i = 0; i < 8; i++) {
                const int k = order[i], cell = (i % 4) / 2 + 1;
                EXPECT_EQ(in.pBuffer[i], 10 * cell + k + (depth > 8 ? 256 * k : 0)) << i;
            }
            SimImageIn_close(&in);
        }
    }
}

// Every RGB layout in both channel orders: the samples of a pixel go to
// R, G, B, in memory order when the first is red, reversed otherwise.
TEST_F(SimOut, EveryRgbLayoutInBothOrders)
{
    struct Case {
        sSimImageColourModel model;
        int depth;
        Bytes pixels;  // two pixels, samples 1 2 3 and 4 5 6 (or larger)
        int first[3], second[3];
    };
    const QOV_UINT32 w0 = 1u | 2u << 10 | 1023u << 20 | 3u << 30, w1 = 4u | 5u << 10 | 6u << 20;
    auto word = [](QOV_UINT32 w) {
        return Bytes{static_cast<unsigned char>(w), static_cast<unsigned char>(w >> 8),
                     static_cast<unsigned char>(w >> 16), static_cast<unsigned char>(w >> 24)};
    };
    Bytes rgb32x10 = word(w0);
    append(rgb32x10, word(w1));
    const Case cases[] = {
        {SimImage_RGB24, 8, {1, 2, 3, 4, 5, 6}, {1, 2, 3}, {4, 5, 6}},
        {SimImage_RGB32, 8, {1, 2, 3, 99, 4, 5, 6, 99}, {1, 2, 3}, {4, 5, 6}},
        {SimImage_RGB32, 10, rgb32x10, {1, 2, 1023}, {4, 5, 6}},
        {SimImage_RGB64, 12, words({1, 2, 4095, 9, 4, 5, 6, 9}), {1, 2, 4095}, {4, 5, 6}},
    };
    for (const Case &c : cases) {
        for (bool bgr : {true, false}) {
            SCOPED_TRACE(std::to_string(c.model) + " " + std::to_string(c.depth) + (bgr ? " in order" : " reversed"));
            SimImageOut_clean(&out);
            create(c.model, c.depth, 2, 1, bgr);
            ASSERT_EQ(SimImageOut_addFrame(&out, c.pixels.data(), c.pixels.size()), QOV_SUCCESS);
            for (int k = 0; k < 3; k++) {
                const int plane = bgr ? k : 2 - k;
                EXPECT_EQ(out.saveToJUX->chnl[plane].data[0], c.first[k]) << k;
                EXPECT_EQ(out.saveToJUX->chnl[plane].data[1], c.second[k]) << k;
            }
        }
    }
}

// The image and its save format, as create makes them: planes of the
// given depth (Bayer planes half the mosaic), unpacked, one channel a plane.
TEST_F(SimOut, CreateDescribesTheImageAndItsSaveFormat)
{
    struct Case {
        sSimImageColourModel model;
        int depth;
        colorModelEnum colour;
        subsamplingModeEnum subs;
        int planes;
        int planeWidth, planeHeight;
    };
    const Case cases[] = {
        {SimImage_RGB64, 13, CM_RGB, SUBS_UNDEF, 3, 6, 4},
        {SimImage_GBRG, 11, CM_RGGB, SUBS_GBRG, 4, 3, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.model);
        SimImageOut_clean(&out);
        create(c.model, c.depth, 6, 4, true);
        EXPECT_EQ(out.nPlanes, c.planes);
        EXPECT_EQ(out.saveContext, nullptr);
        const CImageJux &im = *out.saveToJUX;
        EXPECT_EQ(im.width, 6);
        EXPECT_EQ(im.height, 4);
        EXPECT_EQ(im.colorModel, c.colour);
        EXPECT_EQ(im.subsMode, c.subs);
        for (int k = 0; k < c.planes; k++) {
            EXPECT_EQ(im.chnl[k].bitDepth, c.depth) << k;
            EXPECT_FALSE(im.chnl[k].isSigned) << k;
            EXPECT_EQ(im.chnl[k].chnlWidth, c.planeWidth) << k;
            EXPECT_EQ(im.chnl[k].chnlHeight, c.planeHeight) << k;
        }
        const JUXSAVEFORMAT &f = *out.saveFormat;
        EXPECT_EQ(f.pixelFormat, PACKM_UNPACKEDR);
        for (int k = 0; k < 4; k++) {
            EXPECT_EQ(f.pixelFormatParam[k], 0) << k;
            EXPECT_EQ(f.planeFormat[k], k < c.planes ? 1 : 0) << k;
        }
        EXPECT_EQ(f.lineAlign, 1);
        EXPECT_EQ(f.pMD, nullptr);
        EXPECT_EQ(f.pImData, nullptr);
    }
}

TEST_F(SimOut, RefusedFramesLeaveThePlanes)
{
    create(SimImage_RGGB, 8, 2, 2);
    const QOV_UINT8 cell[4] = {1, 2, 3, 4};
    ASSERT_EQ(SimImageOut_addFrame(&out, cell, 4), QOV_SUCCESS);
    const QOV_UINT8 six[6] = {9, 9, 9, 9, 9, 9};
    EXPECT_EQ(SimImageOut_addFrame(&out, six, 6), QOV_ERROR_NOT_SUPPORTED);
    const QOV_UINT8 two[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    EXPECT_EQ(SimImageOut_addFrame(&out, two, 8), QOV_ERROR_FAILURE);  // more cells than the planes hold
    EXPECT_EQ(out.saveToJUX->chnl[0].data[0], 1);
    EXPECT_EQ(out.saveToJUX->chnl[3].data[0], 4);
    EXPECT_EQ(SimImageOut_addFrame(&out, nullptr, 4), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(SimImageOut_write(&out), QOV_ERROR_NOT_INITIALISED);  // not open
    EXPECT_EQ(SimImageOut_close(&out), QOV_ERROR_NOT_INITIALISED);
}

TEST_F(SimOut, CreateRefusesWhatNoLayoutDescribes)
{
    struct Case {
        sSimImageColourModel model;
        int depth;
        unsigned w, h;
    };
    const Case cases[] = {
        {static_cast<sSimImageColourModel>(7), 8, 2, 2}, {SimImage_RGB24, 10, 2, 2}, {SimImage_RGB64, 8, 2, 2},
        {SimImage_RGGB, 0, 2, 2},  {SimImage_RGGB, 17, 2, 2}, {SimImage_RGGB, 8, 0, 2},
    };
    for (const auto &c : cases) {
        sSimImageOut o;
        SimImageOut_init(&o);
        o.info.eColourModel = c.model;
        o.info.ui8BitDepth = static_cast<QOV_UINT8>(c.depth);
        o.info.ui32Width = c.w;
        o.info.ui32Height = c.h;
        EXPECT_NE(SimImageOut_create(&o), QOV_SUCCESS) << c.model << " " << c.depth;
        EXPECT_EQ(o.saveToJUX, nullptr);
        SimImageOut_clean(&o);
    }
    sSimImageOut o;
    SimImageOut_init(&o);
    EXPECT_EQ(SimImageOut_open(&o, path.c_str()), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(SimImageOut_open(nullptr, path.c_str()), QOV_ERROR_INVALID_ARGUMENT);
}

TEST_F(SimOut, WriterMessages)
{
    QOV_RESULT ret = QOV_SUCCESS;
    const QOV_UINT8 px[8] = {};
    std::string log = stderrOf([&] { ret = SimImageOut_addFrame(&out, px, 3); });
    EXPECT_EQ(ret, QOV_ERROR_NOT_INITIALISED);
    EXPECT_TRUE(isLogLine(log, "ERROR", "SimImage", "Image not initialised\n"));
    log = stderrOf([&] { ret = SimImageOut_open(&out, path.c_str()); });
    EXPECT_EQ(ret, QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_TRUE(isLogLine(log, "ERROR", "SimImage", "file should have been created beforehand\n"));
    out.info.eColourModel = static_cast<sSimImageColourModel>(7);
    log = stderrOf([&] { ret = SimImageOut_create(&out); });
    EXPECT_EQ(ret, QOV_ERROR_NOT_SUPPORTED);
    EXPECT_TRUE(isLogLine(log, "ERROR", "SimImage", "unsupported format\n"));

    out.info.eColourModel = SimImage_RGB32;
    out.info.ui8BitDepth = 8;
    out.info.ui32Width = 1;
    out.info.ui32Height = 1;
    ASSERT_EQ(SimImageOut_create(&out), QOV_SUCCESS);
    log = stderrOf([&] { ret = SimImageOut_addFrame(&out, px, 6); });  // 3 x 6 / 4 = 4: not whole samples of 3
    EXPECT_EQ(ret, QOV_ERROR_NOT_SUPPORTED);
    EXPECT_TRUE(isLogLine(log, "ERROR", "SimImage", "unexpected size\n"));
    log = stderrOf([&] { ret = SimImageOut_addFrame(&out, px, 8); });  // two pixels into one
    EXPECT_EQ(ret, QOV_ERROR_FAILURE);
    EXPECT_TRUE(isLogLine(log, "ERROR", "SimImage", "trying to copy more (2) than the channel 0 can cope with (1)\n"));
    // A record changed after the image was made no longer fits its channels.
    struct Changed {
        sSimImageColourModel model;
        QOV_RESULT code;
        const char *message;
    };
    const Changed changes[] = {{SimImage_RGGB, QOV_ERROR_FAILURE, "unexpected number of channels\n"},
                               {static_cast<sSimImageColourModel>(7), QOV_ERROR_NOT_SUPPORTED, "unsupported format\n"},
                               {static_cast<sSimImageColourModel>(-1), QOV_ERROR_NOT_SUPPORTED, "unsupported format\n"}};
    for (const auto &c : changes) {
        out.info.eColourModel = c.model;
        log = stderrOf([&] { ret = SimImageOut_addFrame(&out, px, 4); });
        EXPECT_EQ(ret, c.code) << c.message;
        EXPECT_TRUE(isLogLine(log, "ERROR", "SimImage", c.message));
    }
    out.info.eColourModel = SimImage_RGB32;

    const std::string absent = dir.file("no/dir/x.jux");
    log = stderrOf([&] { ret = SimImageOut_open(&out, absent.c_str()); });
    EXPECT_EQ(ret, QOV_ERROR_FAILURE);
    EXPECT_TRUE(isLogLine(log, "ERROR", "SimImage", "CImageJux::SaveFilestart Error creating file\n"));
    EXPECT_EQ(out.saveContext, nullptr);

    ASSERT_EQ(SimImageOut_open(&out, path.c_str()), QOV_SUCCESS);
    log = stderrOf([&] { ret = SimImageOut_close(&out); });  // no frame written
    EXPECT_EQ(ret, QOV_ERROR_FAILURE);
    EXPECT_TRUE(isLogLine(log, "ERROR", "SimImage", "CImageJux::SaveFileEnd Pixel data not saved\n"));

    SimImageOut_clean(&out);
    out.info.eColourModel = SimImage_RGGB;
    out.info.ui8BitDepth = 8;
    out.info.ui32Width = 2;
    out.info.ui32Height = 2;
    ASSERT_EQ(SimImageOut_create(&out), QOV_SUCCESS);
    ASSERT_EQ(SimImageOut_open(&out, path.c_str()), QOV_SUCCESS);
    out.info.eColourModel = SimImage_RGB24;
    log = stderrOf([&] { ret = SimImageOut_addFrame(&out, px, 3); });
    EXPECT_EQ(ret, QOV_ERROR_FAILURE);
    EXPECT_TRUE(isLogLine(log, "ERROR", "SimImage", "unexpected number of channels\n"));
    out.info.eColourModel = SimImage_RGGB;
    ASSERT_EQ(SimImageOut_addFrame(&out, px, 4), QOV_SUCCESS);
    ASSERT_EQ(SimImageOut_write(&out), QOV_SUCCESS);
    log = stderrOf([&] { ret = SimImageOut_clean(&out); });
    EXPECT_EQ(ret, QOV_SUCCESS);
    EXPECT_TRUE(isLogLine(log, "ERROR", "SimImage", "a sSimImageOut was not closed! closing...\n"));
}

TEST_F(SimOut, CleanEndsAnOpenFile)
{
    create(SimImage_BGGR, 12, 2, 2);
    ASSERT_EQ(SimImageOut_open(&out, path.c_str()), QOV_SUCCESS);
    EXPECT_EQ(SimImageOut_open(&out, path.c_str()), QOV_ERROR_IN_USE);
    const Bytes cell = words({4095, 1, 2, 3});
    ASSERT_EQ(SimImageOut_addFrame(&out, cell.data(), cell.size()), QOV_SUCCESS);
    ASSERT_EQ(SimImageOut_write(&out), QOV_SUCCESS);
    ASSERT_EQ(SimImageOut_write(&out), QOV_SUCCESS);
    ASSERT_EQ(SimImageOut_clean(&out), QOV_SUCCESS);
    EXPECT_EQ(out.saveToJUX, nullptr);
    CImageJux check;
    ASSERT_EQ(check.LoadFileHeader(path.c_str(), nullptr), nullptr);
    EXPECT_EQ(check.GetNFrames(), 2);
    EXPECT_EQ(check.subsMode, SUBS_BGGR);
    ASSERT_EQ(check.LoadFileData(1), nullptr);
    EXPECT_EQ(check.chnl[3].data[0], 4095);  // B is the top-left sample of a BGGR cell

    // A file closed before any frame is left incomplete; the writer is released.
    create(SimImage_RGGB, 8, 2, 2);
    ASSERT_EQ(SimImageOut_open(&out, path.c_str()), QOV_SUCCESS);
    EXPECT_EQ(SimImageOut_close(&out), QOV_ERROR_FAILURE);
    EXPECT_EQ(out.saveContext, nullptr);
    EXPECT_EQ(SimImageOut_clean(&out), QOV_SUCCESS);
}

}  // namespace
