#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "jux_test_util.h"
#include "sim_image/image_jux.h"

using namespace testutil;

namespace {

const char *const kRgb2x1 = "WIDTH=2\nHEIGHT=1\nCOLOUR_FORMAT=RGB\n";
// Planes R, G, B of two 8-bit pixels.
const Bytes kRgb2x1Pixels = {10, 11, 20, 21, 30, 31};

class JuxRead : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.file("in.jux");

    const char *load(const Bytes &bytes, CImageJux *image)
    {
        writeFile(path, bytes);
        return image->LoadFileHeader(path.c_str(), nullptr);
    }
};

TEST_F(JuxRead, HandBuiltRgbFile)
{
    CImageJux image;
    ASSERT_EQ(load(segment(kRgb2x1, kRgb2x1Pixels), &image), nullptr);
    EXPECT_EQ(image.GetNSegments(), 1);
    EXPECT_EQ(image.GetNFrames(), 1);
    EXPECT_EQ(image.GetProperty(PROPERTY_SUPPORT_VIDEO), 1);
    EXPECT_EQ(image.GetProperty(PROPERTY_IS_VIDEO), 0);
    EXPECT_EQ(image.colorModel, CM_RGB);
    EXPECT_EQ(image.pixelFormat, PACKM_UNPACKEDR);
    EXPECT_EQ(image.chnl[0].bitDepth, 8);
    EXPECT_EQ(image.GetFrameSize(), 6);
    ASSERT_EQ(image.LoadFileData(0), nullptr);
    EXPECT_EQ(image.chnl[0].data[0], 10);
    EXPECT_EQ(image.chnl[0].data[1], 11);
    EXPECT_EQ(image.chnl[1].data[1], 21);
    EXPECT_EQ(image.chnl[2].data[0], 30);
    EXPECT_EQ(image.LoadFileData(1), std::string("Invalid frame number"));
    EXPECT_EQ(image.GetMetaForFrame(1), nullptr);
    EXPECT_EQ(image.GetFrameFilePos(1, nullptr), -1);
    QOV_INT64 size = 0;
    EXPECT_EQ(image.GetFrameFilePos(0, &size), 64 + 35);
    EXPECT_EQ(size, 6);
}

struct BadFile {
    const char *what;
    Bytes bytes;
    const char *message;
};

Bytes withHeader(const std::string &head, const std::string &meta, const Bytes &pixels)
{
    Bytes out = toBytes(head);
    append(out, toBytes(meta));
    append(out, pixels);
    return out;
}

TEST_F(JuxRead, MalformedHeadersGiveTheirMessages)
{
    const std::string meta = kRgb2x1;  // 35 bytes
    const long long m = static_cast<long long>(meta.size());
    std::string badVersion = header(64, m, 64 + m, 6);
    badVersion[3] = '2';
    std::string smallTable = header(64, m, 64 + m, 6);
    smallTable[6] = '3';
    std::string letterInField = header(64, m, 64 + m, 6);
    letterInField.replace(8, 13, "0000000000x64");
    std::string trailingBlank = header(64, m, 64 + m, 6);
    trailingBlank.replace(8, 13, "64           ");
    std::string notJux = header(64, m, 64 + m, 6);
    notJux[1] = 'A';
    std::string bigTable = "JUX1\n21";
    for (int i = 0; i < 21; i++)
        bigTable += " 0000000000064";
    bigTable += "\n";
    std::string leadingBlanks = header(64, m, 64 + m, 6);
    leadingBlanks.replace(8, 13, "           64");

    const BadFile cases[] = {
        {"tiny", toBytes("JUX1\n04"), "Invalid JUX file"},
        {"version", withHeader(badVersion, meta, kRgb2x1Pixels), "Unsupported file version"},
        {"table 03", withHeader(smallTable, meta, kRgb2x1Pixels), "Unexpected header (table size too small)"},
        {"table 21", withHeader(bigTable, meta, kRgb2x1Pixels), "Unexpected header (table size too large)"},
        {"letter", withHeader(letterInField, meta, kRgb2x1Pixels), "Error in header (table format)"},
        {"trailing blank", withHeader(trailingBlank, meta, kRgb2x1Pixels), "Error in header (table format)"},
        {"magic", withHeader(notJux, meta, kRgb2x1Pixels), "Invalid segment header"},
        {"short header", toBytes("JUX1\n04 0000000000064 00000"), "Error reading header"},
        {"no meta", withHeader(header(64, 0, 64, 6), "", kRgb2x1Pixels), "Missing meta data section"},
        {"no pixels", withHeader(header(64, m, 64 + m, 0), meta, {}), "Missing pixel data section"},
        {"meta past end", withHeader(header(64, 9000, 64 + m, 6), meta, kRgb2x1Pixels),
         "Invalid meta data offset and/or size"},
        {"negative meta", withHeader(header(-64, m, 64 + m, 6), meta, kRgb2x1Pixels),
         "Invalid meta data offset and/or size"},
        {"pixels cut", withHeader(header(64, m, 64 + m, 6), meta, {1, 2, 3}), "Invalid image data offset and/or size"},
        {"negative pixels", withHeader(header(64, m, 64 + m, -6), meta, kRgb2x1Pixels),
         "Invalid image data offset and/or size"},
        {"line without =", segment("WIDTH=2\nHEIGHT\n", kRgb2x1Pixels), "Error loading meta data"},
        {"nul in meta", segment(std::string("WIDTH=2\0\n", 9), kRgb2x1Pixels), "Error loading meta data"},
    };
    for (const auto &c : cases) {
        CImageJux image;
        const char *err = load(c.bytes, &image);
        ASSERT_NE(err, nullptr) << c.what;
        EXPECT_STREQ(err, c.message) << c.what;
        EXPECT_FALSE(image.IsHeaderLoaded()) << c.what;
        EXPECT_EQ(image.GetNSegments(), 0) << c.what;
    }
    CImageJux image;
    EXPECT_EQ(load(withHeader(leadingBlanks, meta, kRgb2x1Pixels), &image), nullptr);
    EXPECT_STREQ(image.LoadFileHeader(dir.file("absent.jux").c_str(), nullptr), "Error opening file");
}

// An image that held a file forgets all of it, its packing included, when
// its header is unloaded and when a later file is refused.
TEST_F(JuxRead, UnloadingForgetsTheWholeHeader)
{
    const Bytes files[] = {
        segment(kRgb2x1, kRgb2x1Pixels),
        segment("WIDTH=4\nHEIGHT=1\nCOLOUR_FORMAT=Grayscale\nBITDEPTH=10\nPIXEL_FORMAT=grouppacked 3\n",
                {0x01, 0x08, 0x30, 0x00, 0xFF, 0x03, 0x00, 0x00})};
    for (const Bytes &file : files) {
        for (const bool refusedLoad : {false, true}) {
            SCOPED_TRACE(refusedLoad ? "refused load" : "unloaded header");
            CImageJux image;
            ASSERT_EQ(load(file, &image), nullptr);
            ASSERT_EQ(image.LoadFileData(0), nullptr);
            if (refusedLoad)
                EXPECT_STREQ(load(toBytes("JUX1\n04"), &image), "Invalid JUX file");
            else
                image.UnloadHeader();
            EXPECT_FALSE(image.IsHeaderLoaded());
            EXPECT_EQ(image.fileName, nullptr);
            EXPECT_EQ(image.width, 0);
            EXPECT_EQ(image.height, 0);
            EXPECT_EQ(image.colorModel, CM_UNDEF);
            EXPECT_EQ(image.subsMode, SUBS_UNDEF);
            for (int k = 0; k < 3; k++) {
                EXPECT_EQ(image.chnl[k].chnlWidth, 0) << k;
                EXPECT_EQ(image.chnl[k].chnlHeight, 0) << k;
                EXPECT_EQ(image.chnl[k].bitDepth, 0) << k;
            }
            EXPECT_EQ(image.pixelFormat, PACKM_UNDEF);
            for (const QOV_INT32 param : image.pixelFormatParam)
                EXPECT_EQ(param, 0);
            EXPECT_EQ(image.GetNSegments(), 0);
            EXPECT_EQ(image.pCurrSeg, nullptr);
        }
    }
}

TEST_F(JuxRead, MalformedMetadataGivesItsMessage)
{
    struct Case {
        std::string meta;
        const char *message;
    };
    const Case cases[] = {
        {"WIDTH=2\nHEIGHT=1\nCOLOUR_FORMAT=bayer\n", "Invalid colour format"},
        {"WIDTH=2\nHEIGHT=1\nCOLOUR_FORMAT=CMYK\n", "Invalid colour format"},
        {"WIDTH=2\nHEIGHT=1\nPIXEL_FORMAT=grouppacked 0\n", "Invalid group packing value"},
        {"WIDTH=2\nHEIGHT=1\nPIXEL_FORMAT=grouppacked 3 0\n", "Invalid group packing value"},
        {"WIDTH=2\nHEIGHT=1\nPIXEL_FORMAT=grouppacked \n", "Invalid group packing value"},
        {"WIDTH=2\nHEIGHT=1\nPIXEL_FORMAT=grouppacked\n", "Invalid pixel format"},
        {"WIDTH=2\nHEIGHT=1\nPIXEL_FORMAT=packed\n", "Invalid pixel format"},
        {"HEIGHT=1\n", "Invalid image size"},
        {"WIDTH=2\n", "Invalid image size"},
        {"WIDTH=0\nHEIGHT=1\n", "Invalid image size"},
        {"WIDTH=2\nHEIGHT=0\n", "Invalid image size"},
        {"WIDTH=2\nHEIGHT=-1\n", "Invalid image size"},
        {"WIDTH=65537\nHEIGHT=1\n", "Invalid image size"},
        {"WIDTH=-4\nHEIGHT=1\n", "Invalid image size"},
        {"WIDTH=2\nHEIGHT=65537\n", "Invalid image size"},
        {"WIDTH=99999999999\nHEIGHT=1\n", "Invalid image size"},
        {"WIDTH=2\nHEIGHT=1\nBITDEPTH=0\n", "Invalid bit depth"},
        {"WIDTH=2\nHEIGHT=1\nBITDEPTH=8 33\n", "Invalid bit depth"},
        {"WIDTH=2\nHEIGHT=1\nBITDEPTH=-8\n", "Invalid bit depth"},
        {"WIDTH=2\nHEIGHT=1\nFRAME_SIZE=6 0\n", "Invalid frame size"},
        {"WIDTH=2\nHEIGHT=1\nFRAME_SIZE=six\n", "Invalid frame size"},
        // Without a frame table the frame is as large as the image needs; one
        // plane mixing subsampled and full channels has no size.
        {"WIDTH=2\nHEIGHT=2\nCOLOUR_FORMAT=YUV\nSUBSAMPLING=420\nPLANE_FORMAT=3\n", "Invalid frame size"},
        // A pixel section smaller than the one frame it should hold.
        {"WIDTH=3\nHEIGHT=1\n", "Invalid frame number"},
        {"WIDTH=2\nHEIGHT=1\nFRAME_SIZE=7\n", "Invalid frame number"},
    };
    for (const auto &c : cases) {
        CImageJux image;
        const char *err = load(segment(c.meta, kRgb2x1Pixels), &image);
        ASSERT_NE(err, nullptr) << c.meta;
        EXPECT_STREQ(err, c.message) << c.meta;
        EXPECT_FALSE(image.IsHeaderLoaded()) << c.meta;
    }
}

TEST_F(JuxRead, FrameDataChecks)
{
    struct Case {
        std::string meta;
        const char *message;
    };
    const Case cases[] = {
        // The frame table says 2 bytes, the image needs 6.
        {"WIDTH=2\nHEIGHT=1\nFRAME_SIZE=2\n", "Invalid frame size"},
        // Planes that leave channels without samples.
        {"WIDTH=2\nHEIGHT=1\nPLANE_FORMAT=1\nFRAME_SIZE=6\n", "Invalid plane format"},
        {"WIDTH=2\nHEIGHT=1\nPLANE_FORMAT=4\nFRAME_SIZE=6\n", "Invalid plane format"},
        {"WIDTH=2\nHEIGHT=1\nPLANE_FORMAT=1 0 2\nFRAME_SIZE=6\n", "Invalid plane format"},
        {"WIDTH=2\nHEIGHT=1\nPLANE_FORMAT=1 1 1 1 1\nFRAME_SIZE=6\n", "Invalid plane format"},
        {"WIDTH=2\nHEIGHT=2\nCOLOUR_FORMAT=YUV\nSUBSAMPLING=420\nPLANE_FORMAT=2 1\nFRAME_SIZE=6\n",
         "Inconsistent subsampling within plane"},
    };
    for (const auto &c : cases) {
        CImageJux image;
        ASSERT_EQ(load(segment(c.meta, kRgb2x1Pixels), &image), nullptr) << c.meta;
        const char *err = image.LoadFileData(0);
        ASSERT_NE(err, nullptr) << c.meta;
        EXPECT_STREQ(err, c.message) << c.meta;
        EXPECT_FALSE(image.IsDataLoaded()) << c.meta;
        EXPECT_TRUE(image.IsHeaderLoaded()) << c.meta;
    }
}

TEST_F(JuxRead, FramesCountedInsideThePixelSection)
{
    // 15 bytes of 6-byte frames: 2 frames; the rest is ignored.
    CImageJux image;
    Bytes pixels(15, 7);
    ASSERT_EQ(load(segment(kRgb2x1, pixels), &image), nullptr);
    EXPECT_EQ(image.GetNFrames(), 2);
    EXPECT_EQ(image.GetProperty(PROPERTY_IS_VIDEO), 1);

    // Listed sizes 100 and 200 in 700 bytes: the last size repeats.
    const std::string meta = "WIDTH=2\nHEIGHT=1\nFRAME_SIZE=100 200\n";
    CImageJux listed;
    ASSERT_EQ(load(segment(meta, Bytes(700, 1)), &listed), nullptr);
    ASSERT_EQ(listed.GetNFrames(), 4);
    const long long pixelStart = 64 + static_cast<long long>(meta.size());
    const long long expected[4] = {0, 100, 300, 500};
    for (int f = 0; f < 4; f++) {
        QOV_INT64 size = 0;
        EXPECT_EQ(listed.GetFrameFilePos(f, &size), pixelStart + expected[f]) << f;
        EXPECT_EQ(size, f == 0 ? 100 : 200) << f;
    }
    ASSERT_EQ(listed.LoadFileData(3), nullptr);

    // A listed frame that runs past its segment is not a frame.
    CImageJux cut;
    ASSERT_EQ(load(segment(meta, Bytes(250, 1)), &cut), nullptr);
    EXPECT_EQ(cut.GetNFrames(), 1);
    EXPECT_EQ(cut.LoadFileData(1), std::string("Invalid frame number"));
}

TEST_F(JuxRead, MetadataKeys)
{
    struct Case {
        std::string meta;
        colorModelEnum model;
        subsamplingModeEnum subs;
    };
    const Case cases[] = {
        {"WIDTH=2\nHEIGHT=2\nCOLOUR_FORMAT=Bayer\n", CM_RGGB, SUBS_RGGB},
        {"WIDTH=2\nHEIGHT=2\ncolour_format=yuv\n", CM_YUV, SUBS_444},
        {"WIDTH=2\nHEIGHT=2\nCOLOUR_FORMAT=Grayscale\n", CM_GRAY, SUBS_UNDEF},
        {"WIDTH=2\nHEIGHT=2\nCOLOUR_FORMAT=RGGB\nSUBSAMPLING=BGGR\n", CM_RGGB, SUBS_BGGR},
        {"WIDTH=2\nHEIGHT=2\nCOLOUR_FORMAT=RGGB\nSUBSAMPLING_HOR=2 2 2 2\nSUBSAMPLING_VER=2\n"
         "PHASE_OFFSET_HOR=1 0 1 0\nPHASE_OFFSET_VER=0 0 1 1\n",
         CM_RGGB, SUBS_GRBG},
        {"WIDTH=2\nHEIGHT=2\nCOLOUR_FORMAT=RGGB\nSUBSAMPLING_HOR=2\nSUBSAMPLING_VER=2\n"
         "PHASE_OFFSET_HOR=0.5 0\n",
         CM_RGGB, SUBS_UNDEF},
        {"WIDTH=2\nHEIGHT=2\nCOLOUR_FORMAT=YUV\nSUBSAMPLING_HOR=1 2 2\n", CM_YUV, SUBS_422},
        {"WIDTH=2\nHEIGHT=2\nCOLOUR_FORMAT=YUV\nSUBSAMPLING_HOR=1 2\nSUBSAMPLING_VER=1 2 2\n", CM_YUV, SUBS_420},
        {"WIDTH=2\nHEIGHT=2\nCOLOUR_FORMAT=YUV\nSUBSAMPLING_HOR=1 2 2\nPHASE_OFFSET_VER=0 0.5 0.5\n", CM_YUV,
         SUBS_UNDEF},
        {"WIDTH=2\nHEIGHT=2\nSUBSAMPLING_HOR=2 2 2\n", CM_RGB, SUBS_UNDEF},
        // A phase of -0.5 codes as the integer part of -1 + 0.5, which is 0.
        {"WIDTH=2\nHEIGHT=2\nCOLOUR_FORMAT=RGGB\nSUBSAMPLING_HOR=2\nSUBSAMPLING_VER=2\n"
         "PHASE_OFFSET_HOR=-0.5 1 0 1\nPHASE_OFFSET_VER=0 0 1 1\n",
         CM_RGGB, SUBS_RGGB},
        {"WIDTH=2\nHEIGHT=2\nCOLOUR_FORMAT=YUV\nSUBSAMPLING_HOR=1 2 2\nPHASE_OFFSET_VER=0 -0.5\n", CM_YUV,
         SUBS_422},
        {"WIDTH=2\nHEIGHT=2\nCOLOUR_FORMAT=YUV\nSUBSAMPLING_HOR=1 2 2\nPHASE_OFFSET_VER=0 -0.8\n", CM_YUV,
         SUBS_UNDEF},
    };
    for (const auto &c : cases) {
        CImageJux image;
        ASSERT_EQ(load(segment(c.meta, Bytes(16, 0)), &image), nullptr) << c.meta;
        EXPECT_EQ(image.colorModel, c.model) << c.meta;
        EXPECT_EQ(image.subsMode, c.subs) << c.meta;
    }
}

TEST_F(JuxRead, LineSizes)
{
    // 10-bit grey plane of 100 pixels in groups of 3: 34 groups of 4 bytes.
    const std::string base = "WIDTH=100\nHEIGHT=1\nCOLOUR_FORMAT=Grayscale\nBITDEPTH=10\n";
    struct Case {
        std::string extra;
        int lineSize;
    };
    const Case cases[] = {
        {"PIXEL_FORMAT=grouppacked 3\n", 136},
        {"PIXEL_FORMAT=grouppacked 3\nLINE_ALIGN=64\n", 192},
        {"", 200},
        {"PIXEL_FORMAT=unpackedL\nLINE_ALIGN=1\n", 200},
        {"PIXEL_FORMAT=GROUPPACKED 100\n", 125},  // one group for the whole line
        {"PIXEL_FORMAT=grouppacked 150\n", 188},  // room for a whole last group: 1500 bits
        {"PIXEL_FORMAT=grouppacked -4\n", 200},       // below 1: every sample on its own bytes
    };
    for (const auto &c : cases) {
        CImageJux image;
        ASSERT_EQ(load(segment(base + c.extra, Bytes(200, 0)), &image), nullptr) << c.extra;
        EXPECT_EQ(image.GetLineSize(0), c.lineSize) << c.extra;
        EXPECT_EQ(image.GetFrameSize(), c.lineSize) << c.extra;
    }
    // Two channels of 12 and 4 bits in one plane, groups of 3 samples: a pattern
    // of 6 samples is two groups, 12+4+12 -> 4 bytes and 4+12+4 -> 3 bytes.
    CImageJux mixed;
    const std::string meta = "WIDTH=5\nHEIGHT=1\nCOLOUR_FORMAT=RGB\nBITDEPTH=12 4 8\nPLANE_FORMAT=2 1\n"
                             "PIXEL_FORMAT=grouppacked 3 1\n";
    ASSERT_EQ(load(segment(meta, Bytes(64, 0)), &mixed), nullptr);
    // 10 samples: patterns 0-5 (7 bytes), then 6-8 (4 bytes), then 9 in a group of 3 (3 bytes).
    EXPECT_EQ(mixed.GetLineSize(0), 14);
    EXPECT_EQ(mixed.GetLineSize(1), 5);
}

TEST_F(JuxRead, GroupPackedSamples)
{
    // Four 10-bit samples in groups of 3: 1, 2, 3 in the first 4 bytes, 1023 in the next 4.
    const std::string meta = "WIDTH=4\nHEIGHT=1\nCOLOUR_FORMAT=Grayscale\nBITDEPTH=10\nPIXEL_FORMAT=grouppacked 3\n";
    CImageJux image;
    ASSERT_EQ(load(segment(meta, {0x01, 0x08, 0x30, 0x00, 0xFF, 0x03, 0x00, 0x00}), &image), nullptr);
    ASSERT_EQ(image.GetLineSize(0), 8);
    ASSERT_EQ(image.LoadFileData(0), nullptr);
    EXPECT_EQ(image.chnl[0].data[0], 1);
    EXPECT_EQ(image.chnl[0].data[1], 2);
    EXPECT_EQ(image.chnl[0].data[2], 3);
    EXPECT_EQ(image.chnl[0].data[3], 1023);

    CImageJux sig;
    ASSERT_EQ(load(segment(meta + "SIGNED=1\n", {0x01, 0x08, 0x30, 0x00, 0xFF, 0x03, 0x00, 0x00}), &sig), nullptr);
    ASSERT_EQ(sig.LoadFileData(0), nullptr);
    EXPECT_EQ(sig.chnl[0].data[3], -1);
}

TEST_F(JuxRead, LeftAlignedAndSignedContainers)
{
    const Bytes pixels = {0x00, 0xFF, 0xFF, 0xFF};
    const std::string meta = "WIDTH=1\nHEIGHT=1\nCOLOUR_FORMAT=Grayscale\nBITDEPTH=24\nPIXEL_FORMAT=unpackedL\n";
    CImageJux uns;
    ASSERT_EQ(load(segment(meta, pixels), &uns), nullptr);
    ASSERT_EQ(uns.LoadFileData(0), nullptr);
    EXPECT_EQ(uns.chnl[0].data[0], 16777215);
    CImageJux sig;
    ASSERT_EQ(load(segment(meta + "SIGNED=1\n", pixels), &sig), nullptr);
    ASSERT_EQ(sig.LoadFileData(0), nullptr);
    EXPECT_EQ(sig.chnl[0].data[0], -1);

    // Right-aligned 10-bit: bits above the depth are not part of the sample.
    const std::string right = "WIDTH=2\nHEIGHT=1\nCOLOUR_FORMAT=Grayscale\nBITDEPTH=10\nSIGNED=1\n";
    CImageJux r;
    ASSERT_EQ(load(segment(right, {0xFF, 0xFF, 0xFF, 0x01}), &r), nullptr);
    ASSERT_EQ(r.LoadFileData(0), nullptr);
    EXPECT_EQ(r.chnl[0].data[0], -1);
    EXPECT_EQ(r.chnl[0].data[1], 511);  // 0x1FF: the sign bit (bit 9) is clear
}

TEST_F(JuxRead, MultiSegmentFiles)
{
    Bytes file = segment(kRgb2x1, kRgb2x1Pixels);
    const std::string second = "WIDTH=1\nHEIGHT=2\nCOLOUR_FORMAT=Grayscale\nBITDEPTH=16\n";
    append(file, segment(second, {0x34, 0x12, 0xFF, 0xFF, 0x00, 0x01, 0x02, 0x03}));
    CImageJux image;
    ASSERT_EQ(load(file, &image), nullptr);
    EXPECT_EQ(image.GetNSegments(), 2);
    EXPECT_EQ(image.GetNFrames(), 3);
    QOV_INT32 first = -1;
    EXPECT_EQ(image.GetNFrames(1, &first), 2);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(image.GetNFrames(5, &first), 0);
    QOV_INT32 within = -1;
    EXPECT_EQ(image.GetSegmentIndex(2, &within, nullptr), 1);
    EXPECT_EQ(within, 1);
    EXPECT_EQ(image.GetProperty(PROPERTY_IS_VIDEO), 1);

    ASSERT_EQ(image.LoadFileData(1), nullptr);
    EXPECT_EQ(image.colorModel, CM_GRAY);
    EXPECT_EQ(image.width, 1);
    EXPECT_EQ(image.chnl[0].data[0], 0x1234);
    EXPECT_EQ(image.chnl[0].data[1], 0xFFFF);
    ASSERT_EQ(image.LoadFileData(2), nullptr);
    EXPECT_EQ(image.chnl[0].data[1], 0x0302);
    ASSERT_EQ(image.LoadFileData(0), nullptr);
    EXPECT_EQ(image.colorModel, CM_RGB);
    EXPECT_EQ(image.chnl[2].data[1], 31);
}

// The largest image side is accepted in either direction.
TEST_F(JuxRead, LargestImageSides)
{
    for (const std::string &meta : {std::string("WIDTH=65536\nHEIGHT=1\nCOLOUR_FORMAT=Grayscale\n"),
                                    std::string("WIDTH=1\nHEIGHT=65536\nCOLOUR_FORMAT=Grayscale\n")}) {
        CImageJux image;
        ASSERT_EQ(load(segment(meta, Bytes(65536, 3)), &image), nullptr) << meta;
        EXPECT_EQ(image.width * image.height, 65536) << meta;
        EXPECT_EQ(image.GetFrameSize(), 65536) << meta;
    }
}

// Semi-planar 4:2:0: a luma plane, then one plane of interleaved chroma pairs.
TEST_F(JuxRead, SemiPlanarChroma)
{
    const std::string meta = "WIDTH=4\nHEIGHT=2\nCOLOUR_FORMAT=YUV\nSUBSAMPLING=420\nPLANE_FORMAT=1 2\n";
    CImageJux image;
    ASSERT_EQ(load(segment(meta, {1, 2, 3, 4, 5, 6, 7, 8, 50, 60, 51, 61}), &image), nullptr);
    EXPECT_EQ(image.GetLineSize(0), 4);
    EXPECT_EQ(image.GetLineSize(1), 4);
    EXPECT_EQ(image.GetFrameSize(), 12);
    ASSERT_EQ(image.LoadFileData(0), nullptr);
    EXPECT_EQ(image.chnl[0].data[7], 8);
    EXPECT_EQ(image.chnl[1].chnlWidth, 2);
    EXPECT_EQ(image.chnl[1].chnlHeight, 1);
    EXPECT_EQ(image.chnl[1].data[0], 50);
    EXPECT_EQ(image.chnl[1].data[1], 51);
    EXPECT_EQ(image.chnl[2].data[0], 60);
    EXPECT_EQ(image.chnl[2].data[1], 61);
}

// Grey and RGB segments are never subsampled, even after a subsampled one.
TEST_F(JuxRead, LaterSegmentsDropTheSubsampling)
{
    struct Case {
        std::string meta;
        colorModelEnum model;
        int channels;
    };
    const Case cases[] = {
        {"WIDTH=4\nHEIGHT=2\nCOLOUR_FORMAT=RGB\n", CM_RGB, 3},
        {"WIDTH=4\nHEIGHT=2\nCOLOUR_FORMAT=Grayscale\n", CM_GRAY, 1},
    };
    for (const auto &c : cases) {
        Bytes file = segment("WIDTH=4\nHEIGHT=2\nCOLOUR_FORMAT=YUV\nSUBSAMPLING=420\n", Bytes(12, 1));
        Bytes pixels;
        for (int i = 0; i < 8 * c.channels; i++)
            pixels.push_back(static_cast<unsigned char>(100 + i));
        append(file, segment(c.meta, pixels));
        CImageJux image;
        ASSERT_EQ(load(file, &image), nullptr) << c.meta;
        ASSERT_EQ(image.LoadFileData(0), nullptr) << c.meta;
        EXPECT_EQ(image.subsMode, SUBS_420) << c.meta;
        ASSERT_EQ(image.LoadFileData(1), nullptr) << c.meta;
        EXPECT_EQ(image.colorModel, c.model) << c.meta;
        EXPECT_EQ(image.subsMode, SUBS_UNDEF) << c.meta;
        for (int k = 0; k < c.channels; k++) {
            EXPECT_EQ(image.chnl[k].chnlWidth, 4) << c.meta << k;
            EXPECT_EQ(image.chnl[k].chnlHeight, 2) << c.meta << k;
            EXPECT_EQ(image.chnl[k].data[7], 100 + 8 * k + 7) << c.meta << k;
        }
    }
}

TEST_F(JuxRead, BytesAfterTheLastSegment)
{
    Bytes seven = segment(kRgb2x1, kRgb2x1Pixels);
    append(seven, Bytes(7, 'J'));
    CImageJux image;
    EXPECT_STREQ(load(seven, &image),
                 "Can't read segment header in multi-segment file (extra data at end of file?)");
    Bytes eight = segment(kRgb2x1, kRgb2x1Pixels);
    append(eight, Bytes(8, 'J'));
    EXPECT_STREQ(load(eight, &image), "Invalid segment header");

    // An extra section announced past the end of the file.
    const std::string meta = kRgb2x1;
    const long long m = static_cast<long long>(meta.size());
    char head[160];
    snprintf(head, sizeof(head), "JUX1\n06 %013lld %013lld %013lld %013lld %013lld %013lld\n", 92LL, m, 92 + m, 6LL,
             92 + m + 6, 100LL);
    EXPECT_STREQ(load(withHeader(head, meta, kRgb2x1Pixels), &image), "File appears truncated");
    snprintf(head, sizeof(head), "JUX1\n06 %013lld %013lld %013lld %013lld %013lld %013lld\n", 92LL, m, 92 + m, 6LL,
             92 + m + 6, 0LL);
    EXPECT_EQ(load(withHeader(head, meta, kRgb2x1Pixels), &image), nullptr);
    // A section table whose extent would stop inside the pixels.
    snprintf(head, sizeof(head), "JUX1\n06 %013lld %013lld %013lld %013lld %013lld %013lld\n", 92LL, m, 92 + m, 6LL,
             92 + m + 1, 0LL);
    EXPECT_STREQ(load(withHeader(head, meta, kRgb2x1Pixels), &image), "Error in header (table format)");
}

TEST_F(JuxRead, ARefusedSegmentIsRefusedEveryTime)
{
    // The second segment announces its frame size, so its bad bit depth shows
    // only when one of its frames is read.
    Bytes file = segment(kRgb2x1, kRgb2x1Pixels);
    append(file, segment("WIDTH=2\nHEIGHT=1\nBITDEPTH=40\nFRAME_SIZE=6\n", kRgb2x1Pixels));
    CImageJux image;
    ASSERT_EQ(load(file, &image), nullptr);
    ASSERT_EQ(image.GetNFrames(), 2);
    EXPECT_STREQ(image.LoadFileData(1), "Invalid bit depth");
    EXPECT_EQ(image.pCurrSeg, nullptr);
    EXPECT_STREQ(image.LoadFileData(1), "Invalid bit depth");
    EXPECT_STREQ(image.ApplyMetaForFrame(1, false), "Invalid bit depth");
    ASSERT_EQ(image.LoadFileData(0), nullptr);
    EXPECT_EQ(image.chnl[0].data[0], 10);
}

TEST_F(JuxRead, MetaDataTooLarge)
{
    // A sparse file larger than the limit, so that the size is inside the file.
    const long long big = 268435457;
    Bytes file = toBytes(header(64, big, 64 + big, 6));
    writeFile(path, file);
    ASSERT_EQ(truncate(path.c_str(), 64 + big + 6), 0);
    CImageJux image;
    EXPECT_STREQ(image.LoadFileHeader(path.c_str(), nullptr), "Meta data size too large");
}

TEST(JuxSubsampling, Detection)
{
    CImageBase rggb, yuv, yuva;
    const QOV_INT8 depths[4] = {8, 8, 8, 8};
    ASSERT_TRUE(rggb.CreateNewImage(4, 4, CM_RGGB, SUBS_RGGB, depths, nullptr));
    ASSERT_TRUE(yuv.CreateNewImage(4, 4, CM_YUV, SUBS_444, depths, nullptr));
    ASSERT_TRUE(yuva.CreateNewImage(4, 4, CM_YUVA, SUBS_444, depths, nullptr));
    CMetaData md;
    EXPECT_EQ(CImageJux::DetectJuxSubsampling(&rggb, nullptr), SUBS_UNDEF);
    md.UpdateStr("SUBSAMPLING_HOR", "2 2 2 2");
    md.UpdateStr("SUBSAMPLING_VER", "2 2 2 2");
    md.UpdateStr("PHASE_OFFSET_HOR", "1 0 1 0");
    md.UpdateStr("PHASE_OFFSET_VER", "1 1 0 0");
    EXPECT_EQ(CImageJux::DetectJuxSubsampling(&rggb, &md), SUBS_BGGR);
    md.UpdateStr("PHASE_OFFSET_HOR", "0 1 0 1");
    EXPECT_EQ(CImageJux::DetectJuxSubsampling(&rggb, &md), SUBS_GBRG);
    CMetaData y;
    y.UpdateStr("SUBSAMPLING_HOR", "1 2 2");
    y.UpdateStr("SUBSAMPLING_VER", "1 2 2");
    y.UpdateStr("PHASE_OFFSET_HOR", "0 0.5 0.5");
    y.UpdateStr("PHASE_OFFSET_VER", "0 0.5 0.5");
    EXPECT_EQ(CImageJux::DetectJuxSubsampling(&yuv, &y), SUBS_420);
    // The alpha channel of YUVA takes part: a factor of 2 repeats into it.
    EXPECT_EQ(CImageJux::DetectJuxSubsampling(&yuva, &y), SUBS_UNDEF);
    CMetaData old;
    old.UpdateStr("SUBSAMPLING", "422");
    EXPECT_EQ(CImageJux::DetectJuxSubsampling(&yuv, &old), SUBS_422);
    old.UpdateStr("SUBSAMPLING", "rggb");
    EXPECT_EQ(CImageJux::DetectJuxSubsampling(&rggb, &old), SUBS_UNDEF);
}

TEST(JuxMeta, UpgradeOlderKeys)
{
    CImageJux image;
    const QOV_INT8 depths[4] = {10, 10, 12, 10};
    ASSERT_TRUE(image.CreateNewImage(2, 2, CM_RGGB, SUBS_RGGB, depths, nullptr));
    CMetaData md;
    md.UpdateStr("ISO_GAIN", "2.5");
    md.UpdateStr("SENSOR_DENSITY", "1000");
    md.UpdateStr("SENSOR_PIXEL_SIZE", "2");
    md.UpdateStr("SENSOR_PIXEL_DEAD_SPACE", "0.5");
    md.UpdateStr("GAMMA_BLACK_POINT", "64");
    md.UpdateStr("HOR_PHASE_OFFSET", "0 1 0 1");
    md.UpdateStr("NOMINAL_RANGE", "0 1");
    image.UpgradeMetaData(&md);
    EXPECT_STREQ(md.GetMetaStr("SENSOR_BASE_ISO", ""), "100");
    EXPECT_STREQ(md.GetMetaStr("CAPTURE_ISO", ""), "250");
    EXPECT_STREQ(md.GetMetaStr("SENSOR_WELL_DEPTH", ""), "1500");
    // Reference channel 1 (10 bits): black 64, white 1023; channel 2 has 12 bits.
    EXPECT_STREQ(md.GetMetaStr("CHANNEL_DISPLAY_MIN", ""), "64 64 256 64");
    EXPECT_STREQ(md.GetMetaStr("CHANNEL_DISPLAY_MAX", ""), "1023 1023 4092 1023");
    EXPECT_STREQ(md.GetMetaStr("PHASE_OFFSET_HOR", ""), "0 1 0 1");
    EXPECT_EQ(md.Find("HOR_PHASE_OFFSET"), nullptr);
    EXPECT_STREQ(md.GetMetaStr("CHANNEL_FULL_MIN", ""), "0");
    EXPECT_STREQ(md.GetMetaStr("CHANNEL_FULL_MAX", ""), "1024");
    EXPECT_EQ(md.Find("CHANNEL_NOMINAL_RANGE"), nullptr);
    EXPECT_EQ(md.Find("NOMINAL_RANGE"), nullptr);
}

// The older nominal range gives each channel its full range at its own
// depth, as long as values are listed; a value not listed counts as 0.
TEST(JuxMeta, NominalRangeBecomesFullRange)
{
    struct Case {
        const char *extra;
        const char *nominal;
        const char *fullMin;  // nullptr: none made
        const char *fullMax;
    };
    const Case cases[] = {
        {nullptr, "0.5 1 0.25 0.5", "512 256", "1024 512"},
        {nullptr, "0 1 0.25", "0", "1024 0"},
        {nullptr, "0.5", nullptr, "0"},
        {nullptr, "0 1 0 1 0 1 0 1 0 1", "0 0 0 0", "1024 1024 4096 1024"},
        {"CHANNEL_FULL_MIN", "0.5 1", "5", "1024"},
        {"CHANNEL_FULL_MAX", "0.5 1", "512", "5"},
    };
    CImageJux image;
    const QOV_INT8 depths[4] = {10, 10, 12, 10};
    ASSERT_TRUE(image.CreateNewImage(2, 2, CM_RGGB, SUBS_RGGB, depths, nullptr));
    for (const auto &c : cases) {
        CMetaData md;
        if (c.extra)
            md.UpdateStr(c.extra, "5");
        md.UpdateStr("CHANNEL_NOMINAL_RANGE", c.nominal);
        image.UpgradeMetaData(&md);
        EXPECT_STREQ(md.GetMetaStr("CHANNEL_FULL_MIN", nullptr), c.fullMin) << c.nominal;
        EXPECT_STREQ(md.GetMetaStr("CHANNEL_FULL_MAX", nullptr), c.fullMax) << c.nominal;
        EXPECT_EQ(md.Find("CHANNEL_NOMINAL_RANGE"), nullptr) << c.nominal;
    }
}

TEST(JuxMeta, UpgradedDisplayRangeKeepsIntegerParts)
{
    // Reference channel 0 of a YUV image (10 bits); channels 1 and 2 have 8 bits.
    // Black -1 becomes -0.25 there: integer part 0. White 1023 becomes 255.75: 255.
    CImageJux image;
    const QOV_INT8 depths[3] = {10, 8, 8};
    ASSERT_TRUE(image.CreateNewImage(2, 2, CM_YUV, SUBS_444, depths, nullptr));
    CMetaData md;
    md.UpdateStr("GAMMA_BLACK_POINT", "-1");
    image.UpgradeMetaData(&md);
    EXPECT_STREQ(md.GetMetaStr("CHANNEL_DISPLAY_MIN", ""), "-1 0 0");
    EXPECT_STREQ(md.GetMetaStr("CHANNEL_DISPLAY_MAX", ""), "1023 255 255");
}

// A display range is made from the gamma points unless both are zero; a zero
// black point with a white point still gives one.
TEST(JuxMeta, DisplayRangeFromEitherGammaPoint)
{
    struct Case {
        const char *black, *white;  // nullptr: key absent
        const char *min, *max;      // nullptr: none made
    };
    const Case cases[] = {
        {nullptr, "512", "0 0 0", "512 128 128"},
        {"0", "512", "0 0 0", "512 128 128"},
        {"8", nullptr, "8 2 2", "1023 255 255"},
        {"0", "0", nullptr, nullptr},
    };
    CImageJux image;
    const QOV_INT8 depths[3] = {10, 8, 8};
    ASSERT_TRUE(image.CreateNewImage(2, 2, CM_YUV, SUBS_444, depths, nullptr));
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.black ? c.black : "-") + " / " + (c.white ? c.white : "-"));
        CMetaData md;
        if (c.black)
            md.UpdateStr("GAMMA_BLACK_POINT", c.black);
        if (c.white)
            md.UpdateStr("GAMMA_WHITE_POINT", c.white);
        image.UpgradeMetaData(&md);
        EXPECT_STREQ(md.GetMetaStr("CHANNEL_DISPLAY_MIN", nullptr), c.min);
        EXPECT_STREQ(md.GetMetaStr("CHANNEL_DISPLAY_MAX", nullptr), c.max);
    }
}

}  // namespace
