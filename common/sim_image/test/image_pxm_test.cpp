#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "image_test_util.h"
#include "jux_test_util.h"
#include "sim_image/image_pxm.h"
#include "sim_image/image_yuv.h"

using namespace testutil;

namespace {

using V = std::vector<PIXEL>;

class Pxm : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.file("in.pgm");
};

TEST_F(Pxm, TextMosaicSplitByItsCfaComment)
{
    CImagePxm im;
    ASSERT_EQ(im.LoadFileHeader(fixture("mosaic_bggr.pgm").c_str(), nullptr), nullptr);
    EXPECT_EQ(im.colorModel, CM_GRAY);  // the comment alone does not split the mosaic
    EXPECT_EQ(im.fileFormat, PPTYPE_PGMT);
    EXPECT_EQ(im.chnl[0].bitDepth, 10);
    EXPECT_FALSE(im.chnl[0].isSigned);
    ASSERT_EQ(im.LoadFileData(0), nullptr);
    EXPECT_EQ(samples(im, 0), V({0, 1, 2, 3, 1000, 1001, 1002, 1023}));
    EXPECT_STREQ(im.meta.GetMetaStr("CFA", nullptr), "BGGR");
    EXPECT_STREQ(im.meta.GetMetaStr("written", nullptr), "by hand");
    EXPECT_STREQ(im.LoadFileData(1), "Multiple images in this file type are not supported");

    PXMLOADFORMAT lf = {CM_UNDEF, SUBS_UNDEF, true, LOADBD_SIGNED};
    ASSERT_EQ(im.LoadFileHeader(fixture("mosaic_bggr.pgm").c_str(), &lf), nullptr);
    EXPECT_EQ(im.colorModel, CM_RGGB);
    EXPECT_EQ(im.subsMode, SUBS_BGGR);
    EXPECT_EQ(im.chnl[3].chnlWidth, 2);
    EXPECT_EQ(im.chnl[3].chnlHeight, 1);
    ASSERT_EQ(im.LoadFileData(0), nullptr);
    EXPECT_EQ(samples(im, 0), V({1001, 1023}));  // R
    EXPECT_EQ(samples(im, 1), V({1000, 1002}));  // G1
    EXPECT_EQ(samples(im, 2), V({1, 3}));        // G2
    EXPECT_EQ(samples(im, 3), V({0, 2}));        // B

    // Written back as one byte-coded mosaic and read again.
    PXMSAVEFORMAT sf;
    ASSERT_EQ(CImagePxm::GetSaveFormat(&sf, &im), nullptr);
    EXPECT_EQ(sf.fileFormat, PPTYPE_PGMB);
    EXPECT_TRUE(sf.useBayerCells);
    const std::string out = dir.file("out.pgm");
    ASSERT_EQ(im.SaveSingleFrameImage(out.c_str(), &sf), nullptr);
    Bytes expected = toBytes("P5\n4 2\n1023\n");
    for (int v : {0, 1, 2, 3, 1000, 1001, 1002, 1023}) {
        expected.push_back(static_cast<unsigned char>(v >> 8));
        expected.push_back(static_cast<unsigned char>(v));
    }
    EXPECT_EQ(readFile(out), expected);
    PXMLOADFORMAT bggr = {CM_RGGB, SUBS_BGGR, true, LOADBD_SIGNED};
    CImagePxm back;
    ASSERT_EQ(back.LoadFileHeader(out.c_str(), &bggr), nullptr);
    ASSERT_EQ(back.LoadFileData(0), nullptr);
    for (int k = 0; k < 4; k++)
        EXPECT_EQ(samples(back, k), samples(im, k)) << k;
}

TEST_F(Pxm, ByteCodedRgbRoundTrip)
{
    CImagePxm im;
    ASSERT_EQ(im.LoadFileHeader(fixture("rgb_3x2.ppm").c_str(), nullptr), nullptr);
    EXPECT_EQ(im.colorModel, CM_RGB);
    EXPECT_EQ(im.chnl[0].bitDepth, 8);
    ASSERT_EQ(im.LoadFileData(0), nullptr);
    EXPECT_EQ(samples(im, 0), V({10, 40, 70, 100, 130, 160}));
    EXPECT_EQ(samples(im, 1), V({20, 50, 80, 110, 140, 170}));
    EXPECT_EQ(samples(im, 2), V({30, 60, 90, 120, 150, 180}));
    EXPECT_STREQ(im.meta.GetMetaStr("three", nullptr), "by two");
    EXPECT_STREQ(im.meta.GetMetaStr("data", nullptr), "follows");

    PXMSAVEFORMAT sf;
    ASSERT_EQ(CImagePxm::GetSaveFormat(&sf, &im), nullptr);
    EXPECT_EQ(sf.fileFormat, PPTYPE_PPMB);
    const std::string out = dir.file("out.ppm");
    ASSERT_EQ(im.SaveSingleFrameImage(out.c_str(), &sf), nullptr);
    const Bytes in = readFile(fixture("rgb_3x2.ppm"));
    Bytes expected = toBytes("P6\n3 2\n255\n");
    expected.insert(expected.end(), in.end() - 18, in.end());
    EXPECT_EQ(readFile(out), expected);

    // Text: ten samples to a line, every row ending with a line feed.
    PXMSAVEFORMAT text = {PPTYPE_PPMT, false};
    ASSERT_EQ(im.SaveSingleFrameImage(out.c_str(), &text), nullptr);
    const std::string written(reinterpret_cast<const char *>(readFile(out).data()), readFile(out).size());
    EXPECT_EQ(written, "P3\n3 2\n255\n10 20 30 40 50 60 70 80 90\n100 110 120 130 140 150 160 170 180\n");
    CImagePxm back;
    ASSERT_EQ(back.LoadFileHeader(out.c_str(), nullptr), nullptr);
    ASSERT_EQ(back.LoadFileData(0), nullptr);
    for (int k = 0; k < 3; k++)
        EXPECT_EQ(samples(back, k), samples(im, k));
}

TEST_F(Pxm, TextRowOfTwelveSamples)
{
    const QOV_INT8 depth[1] = {8};
    CImagePxm im;
    ASSERT_TRUE(im.CreateNewImage(12, 1, CM_GRAY, SUBS_UNDEF, depth, nullptr));
    for (int i = 0; i < 12; i++)
        im.chnl[0].data[i] = i;
    PXMSAVEFORMAT text = {PPTYPE_PGMT, false};
    ASSERT_EQ(im.SaveSingleFrameImage(path.c_str(), &text), nullptr);
    const Bytes b = readFile(path);
    EXPECT_EQ(std::string(b.begin(), b.end()), "P2\n12 1\n255\n0 1 2 3 4 5 6 7 8 9\n10 11\n");
}

TEST_F(Pxm, CommentsOfOneFileDoNotDecideTheNext)
{
    PXMLOADFORMAT lf = {CM_UNDEF, SUBS_UNDEF, true, LOADBD_SIGNED};
    CImagePxm im;
    ASSERT_EQ(im.LoadFileHeader(fixture("mosaic_bggr.pgm").c_str(), &lf), nullptr);
    EXPECT_EQ(im.subsMode, SUBS_BGGR);
    writeFile(path, toBytes("P5\n4 2\n255\nABCDEFGH"));
    ASSERT_EQ(im.LoadFileHeader(path.c_str(), &lf), nullptr);
    EXPECT_EQ(im.colorModel, CM_GRAY);
    EXPECT_EQ(im.subsMode, SUBS_UNDEF);
    EXPECT_EQ(im.meta.GetNItems(), 0);
    ASSERT_EQ(im.LoadFileData(0), nullptr);
    EXPECT_EQ(samples(im, 0), V({'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'}));
}

// A forced colour model takes its Bayer order from the forced subsampling,
// else from the "CFA" comment; comments of one name gather line by line.
TEST_F(Pxm, ForcedModelsAndRepeatedComments)
{
    writeFile(path, toBytes("P5\n# CFA GRBG\r\n# NOTE a\n# NOTE b\n4 2\n255\nABCDEFGH"));
    const struct {
        PXMLOADFORMAT lf;
        colorModelEnum model;
        subsamplingModeEnum subs;
    } cases[] = {
        {{CM_RGGB, SUBS_UNDEF, true, LOADBD_SIGNED}, CM_RGGB, SUBS_GRBG},
        {{CM_RGGB, SUBS_BGGR, true, LOADBD_SIGNED}, CM_RGGB, SUBS_BGGR},
        {{CM_GRAY, SUBS_BGGR, true, LOADBD_SIGNED}, CM_RGGB, SUBS_BGGR},
        {{CM_GRAY, SUBS_UNDEF, true, LOADBD_SIGNED}, CM_GRAY, SUBS_UNDEF},
        {{CM_UNDEF, SUBS_UNDEF, true, LOADBD_SIGNED}, CM_RGGB, SUBS_GRBG},
    };
    for (const auto &c : cases) {
        CImagePxm im;
        ASSERT_EQ(im.LoadFileHeader(path.c_str(), const_cast<PXMLOADFORMAT *>(&c.lf)), nullptr);
        EXPECT_EQ(im.colorModel, c.model) << c.lf.forceColorModel << " " << c.lf.forceSubsampling;
        EXPECT_EQ(im.subsMode, c.subs) << c.lf.forceColorModel << " " << c.lf.forceSubsampling;
        EXPECT_STREQ(im.meta.GetMetaStr("CFA", nullptr), "GRBG");
        EXPECT_STREQ(im.meta.GetMetaStr("NOTE", nullptr), "a\nb");
    }
}

// Each Bayer order a "CFA" comment can name splits the mosaic in that order.
TEST_F(Pxm, EveryCfaOrderSplitsTheMosaic)
{
    const struct {
        const char *name;
        subsamplingModeEnum subs;
    } orders[] = {{"RGGB", SUBS_RGGB}, {"GRBG", SUBS_GRBG}, {"GBRG", SUBS_GBRG}, {"BGGR", SUBS_BGGR}};
    PXMLOADFORMAT lf = {CM_UNDEF, SUBS_UNDEF, true, LOADBD_SIGNED};
    for (const auto &o : orders) {
        writeFile(path, toBytes(std::string("P5\n# CFA ") + o.name + "\n4 2\n255\nABCDEFGH"));
        CImagePxm im;
        ASSERT_EQ(im.LoadFileHeader(path.c_str(), &lf), nullptr);
        EXPECT_EQ(im.colorModel, CM_RGGB) << o.name;
        EXPECT_EQ(im.subsMode, o.subs) << o.name;
    }
}

TEST_F(Pxm, SixteenBitSamplesAreUnsigned)
{
    for (pxmLoadBitDepthEnum bd : {LOADBD_SIGNED, LOADBD_DOWNSIZE}) {
        for (int maxval : {32768, 65535}) {
            Bytes b = toBytes("P5\n2 1\n" + std::to_string(maxval) + "\n");
            append(b, {0xFF, 0xFF, 0x80, 0x00});
            writeFile(path, b);
            PXMLOADFORMAT lf = {CM_UNDEF, SUBS_UNDEF, false, bd};
            CImagePxm im;
            ASSERT_EQ(im.LoadFileHeader(path.c_str(), &lf), nullptr);
            EXPECT_EQ(im.chnl[0].bitDepth, 16);
            EXPECT_FALSE(im.chnl[0].isSigned) << maxval;
            ASSERT_EQ(im.LoadFileData(0), nullptr);
            EXPECT_EQ(samples(im, 0), V({65535, 32768}));
            EXPECT_EQ(im.ClipChannelValuesToBD(0, true), 0u);
        }
    }
}

TEST_F(Pxm, FramesOfByteCodedFiles)
{
    // Two frames back to back; two blanks after the maxval make the second one a sample.
    writeFile(path, toBytes("P5\n2 1\n255\n\n\x07\x08\x09\x0A"));
    CImagePxm im;
    ASSERT_EQ(im.LoadFileHeader(path.c_str(), nullptr), nullptr);
    ASSERT_EQ(im.LoadFileData(0), nullptr);
    EXPECT_EQ(samples(im, 0), V({'\n', 7}));
    ASSERT_EQ(im.LoadFileData(1), nullptr);
    EXPECT_EQ(samples(im, 0), V({8, 9}));
    EXPECT_STREQ(im.LoadFileData(2), "Error reading frame data");  // one sample of two
    EXPECT_FALSE(im.IsDataLoaded());
    EXPECT_STREQ(im.LoadFileData(3), "Failed to fseek to required frame");
    EXPECT_STREQ(im.LoadFileData(-1), "Failed to fseek to required frame");

    // After the white space that ends the header, a "#" is a sample.
    writeFile(path, toBytes("P5\n2 1\n255\n#\x01"));
    ASSERT_EQ(im.LoadFileHeader(path.c_str(), nullptr), nullptr);
    ASSERT_EQ(im.LoadFileData(0), nullptr);
    EXPECT_EQ(samples(im, 0), V({'#', 1}));
    EXPECT_EQ(im.meta.GetNItems(), 0);
}

TEST_F(Pxm, MalformedFilesAreRefused)
{
    struct Case {
        const char *text;
        const char *headerErr;
        const char *dataErr;
    };
    const Case cases[] = {
        {"", "Invalid file header", nullptr},
        {"Q5\n1 1 255\n\x01", "Invalid file header", nullptr},
        {"P4\n1 1\n\x01", "Unrecognized PPM/PGM format", nullptr},
        {"P5\n4 ", "Incomplete file", nullptr},
        {"P5\n4 # two\n", "Incomplete file", nullptr},
        {"P5\n4 x 2 255\n", "Invalid file header (number expected)", nullptr},
        {"P5\n2 1 255x\x01\x02", "Invalid file format (space expected before data)", nullptr},
        {"P5\n2 1 255", "Invalid file format (space expected before data)", nullptr},
        {"P5\n2 1 65536\n\x01\x02", "Invalid maxval in header", nullptr},
        {"P5\n2 1 99999999999999999999\n", "Invalid maxval in header", nullptr},
        {"P5\n99999999999 1 255\n\x01", "Invalid image size", nullptr},
        {"P5\n0 1 255\n", "Invalid image size", nullptr},
        {"P6\n65535 65535 255\n\x01\x02\x03", nullptr, "Error reading frame data"},
        {"P5\n4 2 255\n\x01\x02\x03\x04\x05\x06\x07", nullptr, "Error reading frame data"},
        {"P5\n2 1 1023\n\x01\x02\x03", nullptr, "Error reading frame data"},
        {"P2\n3 1 255\n7 8", nullptr, "Error reading frame data"},
        {"P2\n2 1 255\n7 z", nullptr, "Error reading frame data"},
        {"P3\n1 1 255\n1 2 -3", nullptr, "Error reading frame data"},
    };
    for (const auto &c : cases) {
        writeFile(path, toBytes(c.text));
        CImagePxm im;
        EXPECT_STREQ(im.LoadFileHeader(path.c_str(), nullptr), c.headerErr) << c.text;
        if (c.headerErr) {
            EXPECT_FALSE(im.IsHeaderLoaded());
            EXPECT_EQ(im.meta.GetNItems(), 0);
            continue;
        }
        EXPECT_STREQ(im.LoadFileData(0), c.dataErr) << c.text;
    }
    CImagePxm im;
    EXPECT_STREQ(im.LoadFileHeader(dir.file("missing.pgm").c_str(), nullptr), "Error opening file");
    EXPECT_STREQ(im.LoadFileData(0), "File header not loaded");
    PXMLOADFORMAT rggb420 = {CM_RGGB, SUBS_420, false, LOADBD_SIGNED};
    writeFile(path, toBytes("P6\n2 2 255\n012345678901"));
    EXPECT_STREQ(im.LoadFileHeader(path.c_str(), &rggb420), "Subsampling not supported for this file type");
}

TEST_F(Pxm, WriteFailuresAreReported)
{
    const QOV_INT8 depth[1] = {8};
    CImagePxm im;
    PXMSAVEFORMAT sf = {PPTYPE_PGMB, false};
    EXPECT_STREQ(im.SaveSingleFrameImage(path.c_str(), &sf), "No image data to save");
    // Small enough to stay in the stream's buffer until the file is closed, and
    // large enough to fail while the data are written.
    for (int w : {4, 300000}) {
        ASSERT_TRUE(im.CreateNewImage(w, 1, CM_GRAY, SUBS_UNDEF, depth, nullptr));
        EXPECT_STREQ(im.SaveSingleFrameImage("/dev/full", &sf), "Error writing frame data") << w;
    }
    EXPECT_STREQ(im.SaveSingleFrameImage(dir.file("no/such/dir.pgm").c_str(), &sf), "Error creating file");
    EXPECT_STREQ(im.SaveSingleFrameImage(path.c_str(), nullptr), "Save format missing");
    PXMSAVEFORMAT bad = {PPTYPE_UNDEF, false};
    EXPECT_STREQ(im.SaveSingleFrameImage(path.c_str(), &bad), "File format not supported");
    // Channels deeper than 8 bits beside an 8-bit channel 0 are all written in two bytes.
    const QOV_INT8 depths[3] = {8, 10, 8};
    ASSERT_TRUE(im.CreateNewImage(1, 1, CM_RGB, SUBS_UNDEF, depths, nullptr));
    im.chnl[1].data[0] = 1000;
    PXMSAVEFORMAT ppm = {PPTYPE_PPMB, false};
    ASSERT_EQ(im.SaveSingleFrameImage(path.c_str(), &ppm), nullptr);
    Bytes expected = toBytes("P6\n1 1\n1023\n");
    append(expected, {0, 0, 0x03, 0xE8, 0, 0});
    EXPECT_EQ(readFile(path), expected);
    // An RGB image does not fit a grey-map header.
    EXPECT_STREQ(im.SaveSingleFrameImage(path.c_str(), &sf), "File format not supported");
}

// Only what the header can announce is written.
TEST_F(Pxm, RefusedLayouts)
{
    struct Case {
        colorModelEnum model;
        subsamplingModeEnum subs;
        int depth;
        PXMSAVEFORMAT fmt;
        const char *message;
    };
    const Case cases[] = {
        {CM_YUV, SUBS_422, 8, {PPTYPE_PPMB, false}, "Subsampling not supported for this file type"},
        {CM_YUV, SUBS_420, 8, {PPTYPE_PPMT, false}, "Subsampling not supported for this file type"},
        {CM_RGGB, SUBS_RGGB, 8, {PPTYPE_PPMB, true}, "File format not supported"},
        {CM_RGGB, SUBS_444, 8, {PPTYPE_PGMB, true}, "File format not supported"},
        {CM_RGBA, SUBS_UNDEF, 8, {PPTYPE_PPMB, false}, "File format not supported"},
        {CM_GRAY, SUBS_UNDEF, 17, {PPTYPE_PGMB, false}, "Unsupported bit depth"},
        {CM_GRAY, SUBS_UNDEF, 8, {static_cast<pxmTypeEnum>(5), false}, "File format not supported"},
    };
    for (const auto &c : cases) {
        const QOV_INT8 depths[4] = {static_cast<QOV_INT8>(c.depth), static_cast<QOV_INT8>(c.depth),
                                    static_cast<QOV_INT8>(c.depth), static_cast<QOV_INT8>(c.depth)};
        CImagePxm im;
        ASSERT_TRUE(im.CreateNewImage(4, 2, c.model, c.subs, depths, nullptr)) << c.message;
        PXMSAVEFORMAT fmt = c.fmt;
        EXPECT_STREQ(im.SaveSingleFrameImage(path.c_str(), &fmt), c.message) << c.model << " " << c.subs;
    }
    // A mosaic whose cells do not cover the image is not written as one.
    const QOV_INT8 depths[4] = {8, 8, 8, 8};
    CImagePxm mosaic;
    ASSERT_TRUE(mosaic.CreateNewImage(4, 2, CM_RGGB, SUBS_RGGB, depths, nullptr));
    mosaic.width = 6;
    PXMSAVEFORMAT cells = {PPTYPE_PGMB, true};
    EXPECT_STREQ(mosaic.SaveSingleFrameImage(path.c_str(), &cells), "Subsampling not supported for this file type");
}

// A shift asked for before the data are read applies to every sample, within
// the width of a sample; a header read afresh forgets it.
TEST_F(Pxm, SamplesShiftedOnLoad)
{
    struct Case {
        int shift;
        V first;
    };
    const Case cases[] = {{2, {0, 4 * 255}}, {-3, {0, 255 >> 3}}, {32, {0, 255}}, {-32, {0, 255}}};
    Bytes file = toBytes("P5\n2 1\n255\n");
    append(file, {0x00, 0xFF});
    writeFile(path, file);
    for (const auto &c : cases) {
        CImagePxm im;
        ASSERT_EQ(im.LoadFileHeader(path.c_str(), nullptr), nullptr);
        im.pixelOnLoadResize = static_cast<QOV_INT8>(c.shift);
        ASSERT_EQ(im.LoadFileData(0), nullptr) << c.shift;
        EXPECT_EQ(samples(im, 0), c.first) << c.shift;
        ASSERT_EQ(im.LoadFileHeader(path.c_str(), nullptr), nullptr);
        EXPECT_EQ(im.pixelOnLoadResize, 0) << c.shift;
    }
}

TEST(PxmSaveFormat, ByColourModel)
{
    const QOV_INT8 depths[4] = {8, 8, 8, 8};
    struct Case {
        colorModelEnum model;
        subsamplingModeEnum subs;
        const char *err;
        pxmTypeEnum type;
        bool cells;
    };
    const Case cases[] = {
        {CM_GRAY, SUBS_UNDEF, nullptr, PPTYPE_PGMB, false},  {CM_RGBW, SUBS_RGGB, nullptr, PPTYPE_PGMB, false},
        {CM_RGB, SUBS_UNDEF, nullptr, PPTYPE_PPMB, false},   {CM_RGGB, SUBS_GRBG, nullptr, PPTYPE_PGMB, true},
        {CM_YUV, SUBS_444, "Unsupported color model", PPTYPE_UNDEF, false},
        {CM_RGBA, SUBS_UNDEF, "Unsupported color model", PPTYPE_UNDEF, false},
    };
    for (const auto &c : cases) {
        CImageBase im;
        ASSERT_TRUE(im.CreateNewImage(2, 2, c.model, c.subs, depths, nullptr));
        PXMSAVEFORMAT f;
        memset(&f, 0x7F, sizeof(f));  // every field is set, also on refusal
        EXPECT_STREQ(CImagePxm::GetSaveFormat(&f, &im), c.err) << c.model;
        EXPECT_EQ(f.fileFormat, c.type) << c.model;
        EXPECT_EQ(f.useBayerCells, c.cells) << c.model;
    }
    // Neither file class writes the other's images.
    CImageYuv yuv;
    PXMSAVEFORMAT pf;
    memset(&pf, 0x7F, sizeof(pf));
    EXPECT_STREQ(CImagePxm::GetSaveFormat(&pf, &yuv), "Unsupported color model");
    EXPECT_EQ(pf.fileFormat, PPTYPE_UNDEF);
    EXPECT_FALSE(pf.useBayerCells);
    CImagePxm pxm;
    ASSERT_TRUE(pxm.CreateNewImage(2, 2, CM_YUV, SUBS_444, depths, nullptr));
    YUVSAVEFORMAT yf;
    EXPECT_STREQ(CImageYuv::GetSaveFormat(&yf, &pxm), "Unsupported color model");
}

}  // namespace
