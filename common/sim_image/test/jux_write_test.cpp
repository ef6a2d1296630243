#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "jux_test_util.h"
#include "sim_image/image_jux.h"

using namespace testutil;

namespace {

// Writes frames of one segment: start, segment, metadata, frames, end.
std::string writeJux(const std::string &path, CImageJux &writer, JUXSAVEFORMAT *fmt, int frames)
{
    void *ctx = nullptr;
    if (const char *err = writer.SaveFileStart(path.c_str(), fmt, &ctx))
        return err;
    const char *err = writer.StartSegment(ctx, true, true);
    if (!err)
        err = writer.SaveFileHeader(ctx);
    for (int f = 0; !err && f < frames; f++)
        err = writer.SaveFileData(ctx);
    const char *endErr = writer.SaveFileEnd(ctx);
    if (err)
        return err;
    return endErr ? endErr : "";
}

std::string fileText(const Bytes &b)
{
    return std::string(b.begin(), b.end());
}

void fillRgb4x2(CImageBase &im)
{
    const QOV_INT8 depths[3] = {8, 8, 8};
    ASSERT_TRUE(im.CreateNewImage(4, 2, CM_RGB, SUBS_UNDEF, depths, nullptr));
    for (int c = 0; c < 3; c++)
        for (int i = 0; i < 8; i++)
            im.chnl[c].data[i] = 10 * c + i + 1;
}

class JuxWrite : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.file("out.jux");
};

TEST_F(JuxWrite, RgbFileByteForByte)
{
    CImageBase rgb;
    fillRgb4x2(rgb);
    CImageJux writer;
    JUXSAVEFORMAT fmt;
    EXPECT_EQ(CImageJux::GetSaveFormat(&fmt, &rgb), nullptr);
    ASSERT_EQ(writeJux(path, writer, &fmt, 1), "");

    std::string expected = "JUX1\n04 0000000000064 0000000000119 0000000000183 0000000000024\n"
                           "WIDTH=4\nHEIGHT=2\nCOLOUR_FORMAT=RGB\nBITDEPTH=8 8 8\nSIGNED=0 0 0\n"
                           "PLANE_FORMAT=1 1 1\nPIXEL_FORMAT=unpackedR\nFRAME_SIZE=24\n";
    for (int c = 0; c < 3; c++)
        for (int i = 0; i < 8; i++)
            expected += static_cast<char>(10 * c + i + 1);
    EXPECT_EQ(fileText(readFile(path)), expected);
}

TEST_F(JuxWrite, ThreeFramesInOneSegment)
{
    CImageBase rgb;
    fillRgb4x2(rgb);
    CImageJux writer;
    JUXSAVEFORMAT fmt;
    CImageJux::GetSaveFormat(&fmt, &rgb);
    ASSERT_EQ(writeJux(path, writer, &fmt, 3), "");
    const std::string text = fileText(readFile(path));
    EXPECT_EQ(text.substr(0, 64), "JUX1\n04 0000000000064 0000000000119 0000000000183 0000000000072\n");
    EXPECT_EQ(text.size(), 64u + 119u + 72u);

    CImageJux in;
    ASSERT_EQ(in.LoadFileHeader(path.c_str(), nullptr), nullptr);
    EXPECT_EQ(in.GetNFrames(), 3);
    ASSERT_EQ(in.LoadFileData(2), nullptr);
    EXPECT_EQ(in.chnl[2].data[7], 28);
}

TEST_F(JuxWrite, GroupPackedRoundTrip)
{
    const QOV_INT8 depths[3] = {10, -10, 7};
    CImageBase src;
    ASSERT_TRUE(src.CreateNewImage(5, 3, CM_RGB, SUBS_UNDEF, depths, nullptr));
    for (int i = 0; i < 15; i++) {
        src.chnl[0].data[i] = (i * 97) % 1024;
        src.chnl[1].data[i] = (i * 71) % 1024 - 512;
        src.chnl[2].data[i] = (i * 13) % 128;
    }
    for (int big : {5, 105}) {
        JUXSAVEFORMAT fmt;
        CImageJux::GetSaveFormat(&fmt, &src);
        fmt.pixelFormat = PACKM_GROUPPACK;
        fmt.pixelFormatParam[0] = 3;
        fmt.pixelFormatParam[1] = big;
        fmt.planeFormat[0] = 1;
        fmt.planeFormat[1] = 2;
        fmt.planeFormat[2] = fmt.planeFormat[3] = 0;
        CImageJux writer;
        ASSERT_EQ(writeJux(path, writer, &fmt, 1), "");

        CImageJux in;
        ASSERT_EQ(in.LoadFileHeader(path.c_str(), nullptr), nullptr);
        const CMetaData &md = in.pCurrSeg->meta;
        EXPECT_STREQ(md.GetMetaStr("PIXEL_FORMAT", ""), big == 5 ? "grouppacked 3 5" : "grouppacked 3 105");
        EXPECT_STREQ(md.GetMetaStr("PLANE_FORMAT", ""), "1 2");
        EXPECT_STREQ(md.GetMetaStr("BITDEPTH", ""), "10 10 7");
        EXPECT_STREQ(md.GetMetaStr("SIGNED", ""), "0 1 0");
        // Plane 0: 5 samples of 10 bits in groups of 3, each group 4 bytes.
        EXPECT_EQ(in.GetLineSize(0), 8);
        ASSERT_EQ(in.LoadFileData(0), nullptr);
        for (int c = 0; c < 3; c++)
            for (int i = 0; i < 15; i++)
                ASSERT_EQ(in.chnl[c].data[i], src.chnl[c].data[i]) << "group " << big << " channel " << c << " " << i;

        // Written again without a format, the file comes out the same.
        const std::string copy = dir.file("copy.jux");
        ASSERT_EQ(in.SaveSingleFrameImage(copy.c_str(), nullptr), nullptr);
        EXPECT_EQ(readFile(copy), readFile(path));
    }
}

TEST_F(JuxWrite, SamplesBeyondTheirDepth)
{
    const QOV_INT8 depth[1] = {10};
    CImageBase grey;
    ASSERT_TRUE(grey.CreateNewImage(1, 1, CM_GRAY, SUBS_UNDEF, depth, nullptr));
    grey.chnl[0].data[0] = 1500;
    JUXSAVEFORMAT fmt;
    CImageJux::GetSaveFormat(&fmt, &grey);
    CImageJux unpacked;
    ASSERT_EQ(writeJux(path, unpacked, &fmt, 1), "");
    Bytes b = readFile(path);
    ASSERT_GE(b.size(), 2u);
    EXPECT_EQ(b[b.size() - 2], 0xFF);  // 1023, little-endian
    EXPECT_EQ(b[b.size() - 1], 0x03);

    fmt.pixelFormat = PACKM_GROUPPACK;
    fmt.pixelFormatParam[0] = 1;
    CImageJux packed;
    ASSERT_EQ(writeJux(path, packed, &fmt, 1), "");
    b = readFile(path);
    EXPECT_EQ(b[b.size() - 2], 0xDC);  // 1500 & 0x3FF = 476 = 0x1DC
    EXPECT_EQ(b[b.size() - 1], 0x01);

    fmt.pixelFormat = PACKM_UNPACKEDL;
    grey.chnl[0].data[0] = 5;
    CImageJux left;
    ASSERT_EQ(writeJux(path, left, &fmt, 1), "");
    b = readFile(path);
    EXPECT_EQ(b[b.size() - 2], 0x40);  // 5 << 6
    EXPECT_EQ(b[b.size() - 1], 0x01);
}

// 32-bit unsigned samples from 2^31 up (held negative in the pixel) survive a
// load and a save in both unpacked packings; a 32-bit signed channel keeps its sign.
TEST_F(JuxWrite, ThirtyTwoBitSamplesRoundTrip)
{
    const QOV_UINT32 samples[4] = {0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu, 1};
    for (const QOV_INT8 depth : {QOV_INT8(32), QOV_INT8(-32)}) {
        for (const int packing : {PACKM_UNPACKEDR, PACKM_UNPACKEDL}) {
            SCOPED_TRACE(std::to_string(depth) + (packing == PACKM_UNPACKEDR ? " unpackedR" : " unpackedL"));
            Bytes pixels;
            for (QOV_UINT32 v : samples)
                for (int k = 0; k < 4; k++)
                    pixels.push_back(static_cast<unsigned char>(v >> (8 * k)));
            std::string meta = "WIDTH=4\nHEIGHT=1\nCOLOUR_FORMAT=Grayscale\nBITDEPTH=32\nSIGNED=";
            meta += depth < 0 ? "1" : "0";
            meta += "\nPIXEL_FORMAT=";
            meta += packing == PACKM_UNPACKEDR ? "unpackedR\n" : "unpackedL\n";
            writeFile(path, segment(meta, pixels));

            CImageJux in;
            ASSERT_EQ(in.LoadFileHeader(path.c_str(), nullptr), nullptr);
            ASSERT_EQ(in.LoadFileData(0), nullptr);
            for (int i = 0; i < 4; i++)
                EXPECT_EQ(static_cast<QOV_UINT32>(in.chnl[0].data[i]), samples[i]) << i;

            const std::string copy = dir.file("copy.jux");
            ASSERT_EQ(in.SaveSingleFrameImage(copy.c_str(), nullptr), nullptr);
            const Bytes written = readFile(copy);
            ASSERT_GE(written.size(), pixels.size());
            EXPECT_EQ(Bytes(written.end() - static_cast<long>(pixels.size()), written.end()), pixels);
        }
    }
}

TEST_F(JuxWrite, LineAlignment)
{
    const QOV_INT8 depth[1] = {8};
    CImageBase grey;
    ASSERT_TRUE(grey.CreateNewImage(5, 3, CM_GRAY, SUBS_UNDEF, depth, nullptr));
    for (int i = 0; i < 15; i++)
        grey.chnl[0].data[i] = i;
    JUXSAVEFORMAT fmt;
    CImageJux::GetSaveFormat(&fmt, &grey);
    fmt.lineAlign = 16;
    CImageJux writer;
    ASSERT_EQ(writeJux(path, writer, &fmt, 1), "");
    CImageJux in;
    ASSERT_EQ(in.LoadFileHeader(path.c_str(), nullptr), nullptr);
    EXPECT_STREQ(in.pCurrSeg->meta.GetMetaStr("LINE_ALIGN", ""), "16");
    EXPECT_STREQ(in.pCurrSeg->meta.GetMetaStr("FRAME_SIZE", ""), "48");
    ASSERT_EQ(in.LoadFileData(0), nullptr);
    EXPECT_EQ(in.chnl[0].data[14], 14);
    EXPECT_EQ(in.chnl[0].data[5], 5);
}

TEST_F(JuxWrite, EndingTooEarly)
{
    CImageBase rgb;
    fillRgb4x2(rgb);
    JUXSAVEFORMAT fmt;
    CImageJux::GetSaveFormat(&fmt, &rgb);
    CImageJux writer;
    void *ctx = nullptr;
    // Ended at once, before any segment: nothing of the file is known.
    ASSERT_EQ(writer.SaveFileStart(path.c_str(), &fmt, &ctx), nullptr);
    EXPECT_STREQ(writer.SaveFileEnd(ctx), "Meta data not saved");

    ASSERT_EQ(writer.SaveFileStart(path.c_str(), &fmt, &ctx), nullptr);
    ASSERT_EQ(writer.StartSegment(ctx, true, true), nullptr);
    EXPECT_STREQ(writer.SaveFileData(ctx), "Meta data not saved");
    EXPECT_STREQ(writer.SaveFileEnd(ctx), "Meta data not saved");

    ASSERT_EQ(writer.SaveFileStart(path.c_str(), &fmt, &ctx), nullptr);
    ASSERT_EQ(writer.StartSegment(ctx, true, true), nullptr);
    ASSERT_EQ(writer.SaveFileHeader(ctx), nullptr);
    EXPECT_STREQ(writer.SaveFileEnd(ctx), "Pixel data not saved");
    // The incomplete file keeps its zero header, which readers refuse.
    CImageJux in;
    EXPECT_STREQ(in.LoadFileHeader(path.c_str(), nullptr), "Invalid segment header");

    CImageBase empty;
    JUXSAVEFORMAT none;
    CImageJux::GetSaveFormat(&none, &empty);
    EXPECT_STREQ(writer.SaveFileStart(path.c_str(), &none, &ctx), "No image data to save");
    EXPECT_EQ(ctx, nullptr);
    EXPECT_STREQ(writer.SaveFileStart(dir.file("no/such/dir.jux").c_str(), &fmt, &ctx), "Error creating file");
}

TEST_F(JuxWrite, MetadataCarriedAlong)
{
    CImageBase rgb;
    fillRgb4x2(rgb);
    CMetaData md;
    md.UpdateStr("NOTE", "a=b");
    md.UpdateStr("iso_gain", "2");
    md.UpdateStr("Subsampling", "RGGB");
    md.UpdateStr("gamma_white_point", "3");
    md.UpdateStr("WIDTH", "999");  // replaced by the image's
    JUXSAVEFORMAT fmt;
    CImageJux::GetSaveFormat(&fmt, &rgb);
    fmt.pMD = &md;
    CImageJux writer;
    ASSERT_EQ(writeJux(path, writer, &fmt, 1), "");
    const std::string text = fileText(readFile(path));
    EXPECT_NE(text.find("\nNOTE=a=b\nWIDTH=4\nHEIGHT=2\n"), std::string::npos);
    EXPECT_EQ(text.find("iso_gain"), std::string::npos);
    EXPECT_EQ(text.find("Subsampling"), std::string::npos);
    EXPECT_EQ(text.find("gamma"), std::string::npos);
    CImageJux in;
    ASSERT_EQ(in.LoadFileHeader(path.c_str(), nullptr), nullptr);
    EXPECT_STREQ(in.pCurrSeg->meta.GetMetaStr("NOTE", ""), "a=b");

    // Items a line of text cannot carry are refused.
    for (int k = 0; k < 2; k++) {
        CMetaData bad;
        if (k == 0)
            bad.Add("A=B", -1, "1", -1, IFEX_IGNORE, nullptr);
        else
            bad.UpdateStr("A", "two\nlines");
        fmt.pMD = &bad;
        CImageJux w;
        EXPECT_EQ(writeJux(path, w, &fmt, 1), "Invalid meta data item");
    }
}

TEST_F(JuxWrite, MultiSegmentFile)
{
    CImageBase src;
    fillRgb4x2(src);
    JUXSAVEFORMAT fmt;
    CImageJux::GetSaveFormat(&fmt, &src);
    CImageJux writer;
    void *ctx = nullptr;
    ASSERT_EQ(writer.SaveFileStart(path.c_str(), &fmt, &ctx), nullptr);
    ASSERT_EQ(writer.StartSegment(ctx, true, true), nullptr);
    ASSERT_EQ(writer.SaveFileHeader(ctx), nullptr);
    ASSERT_EQ(writer.SaveFileData(ctx), nullptr);
    ASSERT_EQ(writer.SaveFileData(ctx), nullptr);
    // The second segment describes another image.
    const QOV_INT8 depth[1] = {12};
    ASSERT_TRUE(src.CreateNewImage(3, 2, CM_GRAY, SUBS_UNDEF, depth, nullptr));
    for (int i = 0; i < 6; i++)
        src.chnl[0].data[i] = 4000 + i;
    ASSERT_EQ(writer.StartSegment(ctx, true, true), nullptr);
    ASSERT_EQ(writer.SaveFileHeader(ctx), nullptr);
    ASSERT_EQ(writer.SaveFileData(ctx), nullptr);
    // A third segment follows the second one's pixels as closely.
    src.chnl[0].data[0] = 7;
    ASSERT_EQ(writer.StartSegment(ctx, true, true), nullptr);
    ASSERT_EQ(writer.SaveFileHeader(ctx), nullptr);
    ASSERT_EQ(writer.SaveFileData(ctx), nullptr);
    ASSERT_EQ(writer.SaveFileEnd(ctx), nullptr);

    CImageJux in;
    ASSERT_EQ(in.LoadFileHeader(path.c_str(), nullptr), nullptr);
    EXPECT_EQ(in.GetNSegments(), 3);
    EXPECT_EQ(in.GetNFrames(0, nullptr), 2);
    EXPECT_EQ(in.GetNFrames(1, nullptr), 1);
    EXPECT_EQ(in.GetNFrames(2, nullptr), 1);
    ASSERT_EQ(in.LoadFileData(3), nullptr);
    EXPECT_EQ(in.chnl[0].data[0], 7);
    QOV_INT64 lastSize = 0;
    EXPECT_EQ(in.GetFrameFilePos(3, &lastSize) + lastSize, static_cast<QOV_INT64>(readFile(path).size()));
    ASSERT_EQ(in.LoadFileData(2), nullptr);
    EXPECT_EQ(in.colorModel, CM_GRAY);
    EXPECT_EQ(in.width, 3);
    EXPECT_EQ(in.chnl[0].data[5], 4005);
    ASSERT_EQ(in.LoadFileData(1), nullptr);
    EXPECT_EQ(in.colorModel, CM_RGB);
    EXPECT_EQ(in.chnl[1].data[0], 11);
    // The second segment starts right after the first one's pixels.
    const Bytes b = readFile(path);
    const std::string second(b.begin() + 64 + 119 + 48, b.begin() + 64 + 119 + 48 + 5);
    EXPECT_EQ(second, "JUX1\n");
}

TEST_F(JuxWrite, SingleFrameImageStartsItsSegment)
{
    CImageBase rgb;
    fillRgb4x2(rgb);
    CImageJux jux;
    ASSERT_EQ(jux.ConvertFrom(&rgb, CM_RGGB, SUBS_RGGB, false), 1);  // only grey mosaics convert
    const QOV_INT8 depth[1] = {8};
    CImageJux grey;
    ASSERT_TRUE(grey.CreateNewImage(4, 2, CM_GRAY, SUBS_UNDEF, depth, nullptr));
    for (int i = 0; i < 8; i++)
        grey.chnl[0].data[i] = i;
    grey.pixelFormat = PACKM_UNPACKEDR;
    CImageJux bayer;
    ASSERT_EQ(bayer.ConvertFrom(&grey, CM_RGGB, SUBS_GRBG, false), 0);
    ASSERT_EQ(bayer.SaveSingleFrameImage(path.c_str(), nullptr), nullptr);
    CImageJux in;
    ASSERT_EQ(in.LoadFileHeader(path.c_str(), nullptr), nullptr);
    EXPECT_EQ(in.subsMode, SUBS_GRBG);
    ASSERT_EQ(in.LoadFileData(0), nullptr);
    // GRBG: (0,0) is G1, (0,1) is R, (1,0) is B, (1,1) is G2.
    EXPECT_EQ(in.chnl[1].data[0], 0);
    EXPECT_EQ(in.chnl[0].data[0], 1);
    EXPECT_EQ(in.chnl[3].data[0], 4);
    EXPECT_EQ(in.chnl[2].data[0], 5);
    EXPECT_EQ(in.chnl[0].data[1], 3);
}

// The save format of a JUX image takes every field from the image and its
// current segment; that of any other image is the plain default, whatever
// the record held before.
TEST_F(JuxWrite, SaveFormatsTakeEveryField)
{
    const QOV_INT8 depths[3] = {10, -10, 7};
    CImageBase src;
    ASSERT_TRUE(src.CreateNewImage(5, 3, CM_RGB, SUBS_UNDEF, depths, nullptr));
    for (int c = 0; c < 3; c++)
        for (int i = 0; i < 15; i++)
            src.chnl[c].data[i] = (c + 1) * i;
    JUXSAVEFORMAT fmt;
    memset(&fmt, 0x7F, sizeof(fmt));
    ASSERT_EQ(CImageJux::GetSaveFormat(&fmt, &src), nullptr);
    EXPECT_EQ(fmt.pixelFormat, PACKM_UNPACKEDR);
    for (int k = 0; k < 4; k++) {
        EXPECT_EQ(fmt.pixelFormatParam[k], 0) << k;
        EXPECT_EQ(fmt.planeFormat[k], 1) << k;
    }
    EXPECT_EQ(fmt.lineAlign, 1);
    EXPECT_EQ(fmt.pMD, nullptr);
    EXPECT_EQ(fmt.pImData, &src);

    fmt.pixelFormat = PACKM_GROUPPACK;
    fmt.pixelFormatParam[0] = 3;
    fmt.pixelFormatParam[1] = 5;
    fmt.planeFormat[0] = 1;
    fmt.planeFormat[1] = 2;
    fmt.planeFormat[2] = fmt.planeFormat[3] = 0;
    fmt.lineAlign = 16;
    CImageJux writer;
    ASSERT_EQ(writeJux(path, writer, &fmt, 1), "");

    CImageJux in;
    ASSERT_EQ(in.LoadFileHeader(path.c_str(), nullptr), nullptr);
    ASSERT_EQ(in.LoadFileData(0), nullptr);
    JUXSAVEFORMAT again;
    memset(&again, 0x7F, sizeof(again));
    ASSERT_EQ(CImageJux::GetSaveFormat(&again, &in), nullptr);
    EXPECT_EQ(again.pixelFormat, PACKM_GROUPPACK);
    EXPECT_EQ(again.pixelFormatParam[0], 3);
    EXPECT_EQ(again.pixelFormatParam[1], 5);
    const int planes[4] = {1, 2, 0, 0};
    for (int k = 0; k < 4; k++)
        EXPECT_EQ(again.planeFormat[k], planes[k]) << k;
    EXPECT_EQ(again.lineAlign, 16);
    EXPECT_EQ(again.pMD, &in.pCurrSeg->meta);
    EXPECT_EQ(again.pImData, &in);
    // Written with it, the image gives the same file.
    const std::string copy = dir.file("copy.jux");
    CImageJux second;
    ASSERT_EQ(writeJux(copy, second, &again, 1), "");
    EXPECT_EQ(fileText(readFile(copy)), fileText(readFile(path)));
}

// Every colour model is named in the file and comes back with its
// subsampling and every sample.
TEST_F(JuxWrite, EveryColourModelRoundTrips)
{
    struct Case {
        colorModelEnum model;
        subsamplingModeEnum subs;
        const char *name;
    };
    const Case cases[] = {
        {CM_GRAY, SUBS_UNDEF, "Grayscale"}, {CM_RGB, SUBS_UNDEF, "RGB"}, {CM_RGBA, SUBS_UNDEF, "RGBA"},
        {CM_RGGB, SUBS_BGGR, "RGGB"},       {CM_RGBW, SUBS_UNDEF, "RGBW"}, {CM_YUV, SUBS_422, "YUV"},
        {CM_YUV, SUBS_420, "YUV"},          {CM_YUV, SUBS_444, "YUV"},     {CM_YUVA, SUBS_444, "YUVA"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QOV_INT8 depths[4] = {9, 9, 9, 9};
        CImageBase src;
        ASSERT_TRUE(src.CreateNewImage(4, 2, c.model, c.subs, depths, nullptr));
        const int n = src.GetNColChannels();
        for (int k = 0; k < n; k++)
            for (int i = 0; i < src.chnl[k].chnlWidth * src.chnl[k].chnlHeight; i++)
                src.chnl[k].data[i] = 100 * k + i + 1;
        JUXSAVEFORMAT fmt;
        CImageJux::GetSaveFormat(&fmt, &src);
        CImageJux writer;
        ASSERT_EQ(writeJux(path, writer, &fmt, 1), "");
        EXPECT_NE(fileText(readFile(path)).find(std::string("\nCOLOUR_FORMAT=") + c.name + "\n"), std::string::npos);
        CImageJux in;
        ASSERT_EQ(in.LoadFileHeader(path.c_str(), nullptr), nullptr);
        ASSERT_EQ(in.LoadFileData(0), nullptr);
        EXPECT_EQ(in.colorModel, c.model);
        EXPECT_EQ(in.subsMode, c.subs);
        ASSERT_EQ(in.GetNColChannels(), n);
        for (int k = 0; k < n; k++) {
            ASSERT_EQ(in.chnl[k].chnlWidth, src.chnl[k].chnlWidth) << k;
            ASSERT_EQ(in.chnl[k].chnlHeight, src.chnl[k].chnlHeight) << k;
            for (int i = 0; i < src.chnl[k].chnlWidth * src.chnl[k].chnlHeight; i++)
                EXPECT_EQ(in.chnl[k].data[i], src.chnl[k].data[i]) << k << " " << i;
        }
    }
}

// Swapping two images trades their pixels, packing and segments.
TEST_F(JuxWrite, SwapTradesEverything)
{
    const std::string a = dir.file("a.jux"), b = dir.file("b.jux");
    writeFile(a, segment("WIDTH=4\nHEIGHT=1\nCOLOUR_FORMAT=Grayscale\nBITDEPTH=10\nPIXEL_FORMAT=grouppacked 3\n",
                         {1, 0, 0, 0, 2, 0, 0, 0}));
    Bytes two = segment("WIDTH=1\nHEIGHT=1\nCOLOUR_FORMAT=RGB\n", {7, 8, 9});
    append(two, segment("WIDTH=1\nHEIGHT=1\nCOLOUR_FORMAT=RGB\nNOTE=x\n", {4, 5, 6}));
    writeFile(b, two);
    CImageJux first, second;
    ASSERT_EQ(first.LoadFileHeader(a.c_str(), nullptr), nullptr);
    ASSERT_EQ(first.LoadFileData(0), nullptr);
    ASSERT_EQ(second.LoadFileHeader(b.c_str(), nullptr), nullptr);
    ASSERT_EQ(second.LoadFileData(1), nullptr);
    JUXSEGMENTINFO *segA = first.pSegInfo, *curB = second.pCurrSeg;
    first.SwapWith(&second);
    EXPECT_EQ(first.colorModel, CM_RGB);
    EXPECT_EQ(first.chnl[2].data[0], 6);
    EXPECT_EQ(first.pixelFormat, PACKM_UNPACKEDR);
    EXPECT_EQ(first.pixelFormatParam[0], 0);
    EXPECT_EQ(first.GetNSegments(), 2);
    EXPECT_EQ(first.pCurrSeg, curB);
    EXPECT_EQ(second.width, 4);
    EXPECT_EQ(second.chnl[0].data[0], 1);
    EXPECT_EQ(second.pixelFormat, PACKM_GROUPPACK);
    EXPECT_EQ(second.pixelFormatParam[0], 3);
    EXPECT_EQ(second.pSegInfo, segA);
    EXPECT_EQ(second.pCurrSeg, segA);
    // Each reads on from its new file.
    ASSERT_EQ(first.LoadFileData(0), nullptr);
    EXPECT_EQ(first.chnl[0].data[0], 7);
    first.SwapWith(&first);
    first.SwapWith(static_cast<CImageJux *>(nullptr));
    EXPECT_EQ(first.chnl[0].data[0], 7);
}

// The metadata items as "name=value" lines, in list order.
std::string metaText(const CMetaData &md)
{
    std::string text;
    for (const MDITEM *item = md.list; item; item = item->next)
        text += std::string(item->name) + "=" + item->sVal + "\n";
    return text;
}

// An image without segments gets its first one, made current, when a save starts.
TEST_F(JuxWrite, SaveStartMakesTheFirstSegmentCurrent)
{
    CImageJux jux;
    fillRgb4x2(jux);
    ASSERT_EQ(jux.pSegInfo, nullptr);
    JUXSAVEFORMAT fmt;
    CImageJux::GetSaveFormat(&fmt, static_cast<CImageBase *>(&jux));
    // An image of any kind is saved unpacked, one channel per plane, unaligned.
    EXPECT_EQ(fmt.pixelFormat, PACKM_UNPACKEDR);
    for (int k = 0; k < 4; k++) {
        EXPECT_EQ(fmt.pixelFormatParam[k], 0) << k;
        EXPECT_EQ(fmt.planeFormat[k], 1) << k;
    }
    EXPECT_EQ(fmt.lineAlign, 1);
    void *ctx = nullptr;
    ASSERT_EQ(jux.SaveFileStart(path.c_str(), &fmt, &ctx), nullptr);
    ASSERT_NE(jux.pSegInfo, nullptr);
    EXPECT_EQ(jux.pCurrSeg, jux.pSegInfo);
    EXPECT_EQ(jux.GetNSegments(), 1);
    ASSERT_EQ(jux.StartSegment(ctx, true, true), nullptr);
    ASSERT_EQ(jux.SaveFileHeader(ctx), nullptr);
    ASSERT_EQ(jux.SaveFileData(ctx), nullptr);
    ASSERT_EQ(jux.SaveFileEnd(ctx), nullptr);
    // A second save keeps that segment.
    ASSERT_EQ(jux.SaveFileStart(path.c_str(), &fmt, &ctx), nullptr);
    EXPECT_EQ(jux.GetNSegments(), 1);
    EXPECT_EQ(jux.pCurrSeg, jux.pSegInfo);
    ASSERT_EQ(jux.StartSegment(ctx, true, true), nullptr);
    ASSERT_EQ(jux.SaveFileHeader(ctx), nullptr);
    ASSERT_EQ(jux.SaveFileData(ctx), nullptr);
    ASSERT_EQ(jux.SaveFileEnd(ctx), nullptr);
    const std::string text = fileText(readFile(path));
    EXPECT_EQ(text.substr(0, 64), "JUX1\n04 0000000000064 0000000000119 0000000000183 0000000000024\n");

    // Its save format now comes from that segment.
    jux.pCurrSeg->meta.UpdateInt("LINE_ALIGN", 8, IFEX_REPLACE);
    CImageJux::GetSaveFormat(&fmt, &jux);
    EXPECT_EQ(fmt.pMD, &jux.pCurrSeg->meta);
    EXPECT_EQ(fmt.lineAlign, 8);
}

// A conversion describes the result afresh: the source's other keys stay,
// a plane layout that does not fit the result becomes one "1" per channel,
// one that fits is kept, and the line alignment goes.
TEST_F(JuxWrite, ConversionRebuildsTheDescription)
{
    struct Case {
        const char *sourcePlanes;  // nullptr: no source segment
        const char *planes;
    };
    const Case cases[] = {{nullptr, "1 1 1 1"}, {"1", "1 1 1 1"}, {"2 2", "2 2"}, {"4", "4"}, {"1 2", "1 1 1 1"},
                          {"3 1", "3 1"}, {"0 4", "1 1 1 1"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.sourcePlanes ? c.sourcePlanes : "no segment");
        const QOV_INT8 depth[1] = {-12};
        CImageJux grey;
        ASSERT_TRUE(grey.CreateNewImage(4, 2, CM_GRAY, SUBS_UNDEF, depth, nullptr));
        grey.pixelFormat = PACKM_UNPACKEDL;
        if (c.sourcePlanes) {
            ASSERT_TRUE(grey.AddNewSegment(1));
            grey.pCurrSeg = grey.pSegInfo;
            grey.pCurrSeg->meta.UpdateStr("NOTE", "kept", IFEX_REPLACE);
            grey.pCurrSeg->meta.UpdateStr("PLANE_FORMAT", c.sourcePlanes, IFEX_REPLACE);
            grey.pCurrSeg->meta.UpdateStr("LINE_ALIGN", "1", IFEX_REPLACE);
        }
        CImageJux bayer;
        ASSERT_EQ(bayer.ConvertFrom(&grey, CM_RGGB, SUBS_GBRG, false), 0);
        ASSERT_NE(bayer.pCurrSeg, nullptr);
        EXPECT_EQ(bayer.pixelFormat, PACKM_UNPACKEDL);
        std::string expected = c.sourcePlanes ? "NOTE=kept\nPLANE_FORMAT=" + std::string(c.planes) + "\n" : "";
        expected += "WIDTH=4\nHEIGHT=2\nCOLOUR_FORMAT=RGGB\nSUBSAMPLING_HOR=2 2 2 2\nSUBSAMPLING_VER=2 2 2 2\n"
                    "PHASE_OFFSET_HOR=0 1 0 1\nPHASE_OFFSET_VER=1 1 0 0\nBITDEPTH=12 12 12 12\nSIGNED=1 1 1 1\n";
        if (!c.sourcePlanes)
            expected += "PLANE_FORMAT=1 1 1 1\n";
        expected += "PIXEL_FORMAT=unpackedL\nFRAME_SIZE=16\n";
        EXPECT_EQ(metaText(bayer.pCurrSeg->meta), expected);
    }
}

}  // namespace
