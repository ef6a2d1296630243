#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "image_test_util.h"
#include "jux_test_util.h"
#include "sim_image/image_nraw.h"

using namespace testutil;

namespace {

using V = std::vector<PIXEL>;

class NRaw : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.file("in.nraw");
};

TEST_F(NRaw, BayerFixtureWithItsHeaderFields)
{
    const std::string name = fixture("bayer_4x2.nraw");
    EXPECT_TRUE(CImageNRaw::DetectFormat(name.c_str()));
    EXPECT_FALSE(CImageNRaw::DetectFormat(fixture("rgb_3x2.ppm").c_str()));
    CImageNRaw im;
    ASSERT_EQ(im.LoadFileHeader(name.c_str(), nullptr), nullptr);
    EXPECT_EQ(im.colorModel, CM_RGGB);
    EXPECT_EQ(im.subsMode, SUBS_GRBG);
    for (int k = 0; k < 4; k++) {
        EXPECT_EQ(im.chnl[k].bitDepth, 12) << k;
        EXPECT_FALSE(im.chnl[k].isSigned) << k;
        EXPECT_EQ(im.chnl[k].chnlWidth, 2) << k;
        EXPECT_EQ(im.chnl[k].chnlHeight, 1) << k;
    }
    EXPECT_EQ(im.frameSize, 16);
    EXPECT_EQ(im.fileOffsetFrame1, 1024);
    ASSERT_EQ(im.LoadFileData(0), nullptr);
    EXPECT_EQ(samples(im, 0), V({1, 3}));
    EXPECT_EQ(samples(im, 1), V({4095, 2}));
    EXPECT_EQ(samples(im, 2), V({5, 7}));
    EXPECT_EQ(samples(im, 3), V({4, 6}));  // 0xF004 masked to 12 bits
    {
        // Unloaded, the reader forgets the file's description.
        CImageNRaw gone;
        ASSERT_EQ(gone.LoadFileHeader(name.c_str(), nullptr), nullptr);
        gone.UnloadHeader();
        EXPECT_FALSE(gone.IsHeaderLoaded());
        EXPECT_EQ(gone.frameSize, 0);
        EXPECT_EQ(gone.fileOffsetFrame1, 0);
        EXPECT_EQ(gone.nrawImageType, CImageNRaw::IT_UNDEF);
        EXPECT_EQ(gone.bytesPerSample, 0);
        EXPECT_EQ(gone.meta.GetNItems(), 0);
    }
    EXPECT_STREQ(im.LoadFileData(1), "Invalid frame index");
    EXPECT_STREQ(im.LoadFileData(-1), "Invalid frame index");

    const struct {
        const char *name, *value;
    } meta[] = {{"SENSOR_CFG_NUM", "7"}, {"CHIP_ID", "4660"},      {"FW_VERSION", "1.0"},
                {"CAMERA_MAKE", "Vezara"}, {"CAMERA_MODEL", "Bench"}, {"NUM_FRAMES", "1"},
                {"OPTICAL_BLACK", "64 65 66 67"}};
    EXPECT_EQ(im.meta.GetNItems(), 7);
    for (const auto &m : meta)
        EXPECT_STREQ(im.meta.GetMetaStr(m.name, nullptr), m.value) << m.name;

    void *sc = &im;
    EXPECT_STREQ(im.SaveFileStart(path.c_str(), nullptr, &sc), "Not supported");
    EXPECT_EQ(sc, nullptr);
    EXPECT_STREQ(im.SaveFileHeader(nullptr), "Not supported");
    EXPECT_STREQ(im.SaveFileData(nullptr), "Not supported");
    EXPECT_STREQ(im.SaveFileEnd(nullptr), "Not supported");
}

TEST_F(NRaw, ImageTypes)
{
    struct Case {
        int imageType, width, height, bytesPerSample;
        Bytes frame;
        colorModelEnum model;
        subsamplingModeEnum subs;
        std::vector<V> channels;
    };
    const Case cases[] = {
        {1, 4, 1, 1, {1, 2, 3, 4, 5, 6, 7, 8}, CM_YUV, SUBS_422, {{1, 2, 3, 4}, {5, 6}, {7, 8}}},
        {2, 1, 1, 1, {0x3F, 0x80}, CM_RGB, SUBS_UNDEF, {{31}, {1}, {16}}},
        {2, 2, 1, 1, {0x3F, 0x80, 0xE0, 0x07}, CM_RGB, SUBS_UNDEF, {{31, 0}, {1, 63}, {16, 0}}},
        {3, 3, 1, 1, {0x21, 0x43, 0x65, 0x87, 0x09}, CM_RGB, SUBS_UNDEF, {{1, 4, 7}, {2, 5, 8}, {3, 6, 9}}},
        {4, 2, 1, 1, {1, 2, 3, 4, 5, 6}, CM_RGB, SUBS_UNDEF, {{1, 4}, {2, 5}, {3, 6}}},
    };
    for (const auto &c : cases) {
        NrawFields f;
        f.imageType = c.imageType, f.width = c.width, f.height = c.height, f.bytesPerSample = c.bytesPerSample;
        writeFile(path, nraw(f, c.frame));
        CImageNRaw im;
        ASSERT_EQ(im.LoadFileHeader(path.c_str(), nullptr), nullptr) << c.imageType;
        EXPECT_EQ(im.colorModel, c.model);
        EXPECT_EQ(im.subsMode, c.subs);
        EXPECT_EQ(im.frameSize, static_cast<QOV_INT64>(c.frame.size())) << c.imageType;
        ASSERT_EQ(im.LoadFileData(0), nullptr) << c.imageType;
        for (size_t k = 0; k < c.channels.size(); k++)
            EXPECT_EQ(samples(im, static_cast<int>(k)), c.channels[k]) << c.imageType << " channel " << k;
    }
}

// Every Bayer type names its own order; an undefined one reads as RGGB.
TEST_F(NRaw, BayerTypesGiveTheirOrder)
{
    const struct {
        int bayerType;
        subsamplingModeEnum subs;
    } cases[] = {{0, SUBS_RGGB}, {1, SUBS_GRBG}, {2, SUBS_GBRG}, {3, SUBS_BGGR}, {65535, SUBS_RGGB}};
    for (const auto &c : cases) {
        NrawFields f;
        f.bayerType = c.bayerType;
        writeFile(path, nraw(f, Bytes(8, 0)));
        CImageNRaw im;
        ASSERT_EQ(im.LoadFileHeader(path.c_str(), nullptr), nullptr) << c.bayerType;
        EXPECT_EQ(im.colorModel, CM_RGGB) << c.bayerType;
        EXPECT_EQ(im.subsMode, c.subs) << c.bayerType;
    }
}

TEST_F(NRaw, SecondHeaderGetsPlanesOfItsOwnSize)
{
    NrawFields small, large;
    large.width = 64, large.height = 32;
    const std::string second = dir.file("large.nraw");
    writeFile(path, nraw(small, Bytes(8, 9)));
    writeFile(second, nraw(large, Bytes(64 * 32, 3)));
    CImageNRaw im;
    for (const std::string &name : {path, second, path}) {
        ASSERT_EQ(im.LoadFileHeader(name.c_str(), nullptr), nullptr);
        EXPECT_FALSE(im.IsDataLoaded());
        ASSERT_EQ(im.LoadFileData(0), nullptr);
        EXPECT_EQ(samples(im, 3).size(), static_cast<size_t>(im.width / 2 * im.height / 2));
    }
}

TEST_F(NRaw, MalformedFilesAreRefused)
{
    struct Case {
        const char *what;
        Bytes file;
        const char *headerErr;
        const char *dataErr;
    };
    NrawFields ok;
    auto with = [&](auto change) {
        NrawFields f = ok;
        change(f);
        return f;
    };
    Bytes badSig = nraw(ok, Bytes(8, 0));
    badSig[3] = 'X';
    const Bytes full = nraw(ok, {});
    const Bytes truncated(full.begin(), full.begin() + 100);
    const Case cases[] = {
        {"truncated header", truncated, "Error loading header", nullptr},
        {"signature", badSig, "Invalid NRAW file header", nullptr},
        {"version 768", nraw(with([](NrawFields &f) { f.version = 768; }), Bytes(8, 0)),
         "Unsupported header version", nullptr},
        {"0 bytes a sample", nraw(with([](NrawFields &f) { f.bytesPerSample = 0; }), Bytes(8, 0)),
         "Unsupported bit depth - above 31-bit signed", nullptr},
        {"5 bytes a sample", nraw(with([](NrawFields &f) { f.bytesPerSample = 5; }), Bytes(8, 0)),
         "Unsupported bit depth - above 31-bit signed", nullptr},
        {"32 bits", nraw(with([](NrawFields &f) { f.bitDepth = 32; }), Bytes(8, 0)),
         "Unsupported bit depth - above 31-bit signed", nullptr},
        {"bayer type 4", nraw(with([](NrawFields &f) { f.bayerType = 4; }), Bytes(8, 0)), "Unsupported bayer type",
         nullptr},
        {"image type 5", nraw(with([](NrawFields &f) { f.imageType = 5; }), Bytes(8, 0)), "Unsupported image type",
         nullptr},
        {"no width", nraw(with([](NrawFields &f) { f.width = 0; }), Bytes(8, 0)), "Invalid image size", nullptr},
        {"data short", nraw(ok, Bytes(7, 0)), nullptr, "Error reading frame data"},
        {"largest size", nraw(with([](NrawFields &f) { f.width = f.height = 65535, f.bytesPerSample = 4; }), Bytes(8, 0)),
         nullptr, "Error reading frame data"},
        {"undefined bayer type", nraw(with([](NrawFields &f) { f.bayerType = 65535; }), Bytes(8, 0)), nullptr, nullptr},
        {"version 512", nraw(with([](NrawFields &f) { f.version = 512; }), Bytes(8, 0)), nullptr, nullptr},
    };
    for (const auto &c : cases) {
        writeFile(path, c.file);
        CImageNRaw im;
        EXPECT_STREQ(im.LoadFileHeader(path.c_str(), nullptr), c.headerErr) << c.what;
        if (c.headerErr) {
            EXPECT_FALSE(im.IsHeaderLoaded()) << c.what;
            continue;
        }
        EXPECT_STREQ(im.LoadFileData(0), c.dataErr) << c.what;
        EXPECT_EQ(im.IsDataLoaded(), c.dataErr == nullptr) << c.what;
    }
    CImageNRaw im;
    EXPECT_STREQ(im.LoadFileHeader(dir.file("missing").c_str(), nullptr), "Error opening file");
    EXPECT_STREQ(im.LoadFileData(0), "File header not loaded");
    // The file gone after its header was read.
    writeFile(path, nraw(ok, Bytes(8, 0)));
    ASSERT_EQ(im.LoadFileHeader(path.c_str(), nullptr), nullptr);
    unlink(path.c_str());
    EXPECT_STREQ(im.LoadFileData(0), "Error opening file");
    EXPECT_FALSE(im.IsDataLoaded());

    // The header's texts are taken when set, each on its own.
    writeFile(path, nraw(with([](NrawFields &f) { f.make = std::string(30, 'M'); }), Bytes(8, 0)));
    ASSERT_EQ(im.LoadFileHeader(path.c_str(), nullptr), nullptr);
    EXPECT_EQ(im.meta.GetNItems(), 1);
    EXPECT_EQ(std::string(im.meta.GetMetaStr("CAMERA_MAKE", "")), std::string(30, 'M'));
    EXPECT_EQ(im.meta.Find("FW_VERSION"), nullptr);
    // A firmware text filling its 14 bytes, with the make right after it.
    writeFile(path, nraw(with([](NrawFields &f) {
                             f.fw = std::string(14, 'F');
                             f.make = "Mk";
                         }),
                         Bytes(8, 0)));
    ASSERT_EQ(im.LoadFileHeader(path.c_str(), nullptr), nullptr);
    EXPECT_EQ(std::string(im.meta.GetMetaStr("FW_VERSION", "")), std::string(14, 'F'));
    EXPECT_STREQ(im.meta.GetMetaStr("CAMERA_MAKE", ""), "Mk");
}

class AptinaRaw : public ::testing::Test {
protected:
    TempDir dir;
    std::string raw = dir.file("cap.raw");
    std::string info = dir.file("cap_info.txt");
};

TEST_F(AptinaRaw, FixtureFramesUnpacked)
{
    const std::string name = fixture("capture.raw");
    EXPECT_TRUE(CImageAptinaRaw::DetectFormat(name.c_str()));
    EXPECT_FALSE(CImageAptinaRaw::DetectFormat(fixture("shot_4x2_10bit_grbg.raw").c_str()));
    EXPECT_FALSE(CImageAptinaRaw::DetectFormat(fixture("capture_info.txt").c_str()));
    CImageAptinaRaw im;
    ASSERT_EQ(im.LoadFileHeader(name.c_str(), nullptr), nullptr);
    EXPECT_EQ(im.colorModel, CM_RGGB);
    EXPECT_EQ(im.subsMode, SUBS_GRBG);
    for (int k = 0; k < 4; k++) {
        EXPECT_EQ(im.chnl[k].bitDepth, 10) << k;
        EXPECT_FALSE(im.chnl[k].isSigned) << k;
        EXPECT_EQ(im.chnl[k].chnlWidth, 2) << k;
        EXPECT_EQ(im.chnl[k].chnlHeight, 1) << k;
    }
    EXPECT_EQ(im.frameSize, 10);
    EXPECT_EQ(im.GetNFrames(), 2);
    EXPECT_EQ(im.GetProperty(PROPERTY_SUPPORT_VIDEO), 1);
    EXPECT_EQ(im.GetProperty(PROPERTY_IS_VIDEO), 1);
    EXPECT_STREQ(im.fileName, name.c_str());
    ASSERT_EQ(im.LoadFileData(0), nullptr);
    EXPECT_EQ(samples(im, 0), V({1, 3}));
    EXPECT_EQ(samples(im, 1), V({0, 2}));
    EXPECT_EQ(samples(im, 2), V({5, 7}));
    EXPECT_EQ(samples(im, 3), V({4, 6}));
    ASSERT_EQ(im.LoadFileData(1), nullptr);
    EXPECT_EQ(samples(im, 0), V({0, 7}));
    EXPECT_EQ(samples(im, 1), V({1023, 513}));
    EXPECT_STREQ(im.LoadFileData(2), "Invalid frame index");
    EXPECT_STREQ(im.LoadFileData(-1), "Invalid frame index");
    {
        CImageAptinaRaw gone;
        ASSERT_EQ(gone.LoadFileHeader(name.c_str(), nullptr), nullptr);
        gone.UnloadHeader();
        EXPECT_FALSE(gone.IsHeaderLoaded());
        EXPECT_EQ(gone.frameSize, 0);
        EXPECT_EQ(gone.GetNFrames(), 0);
        EXPECT_EQ(gone.pixelFormat, CImageAptinaRaw::RPF_UNDEF);
    }
    void *sc = &im;
    EXPECT_STREQ(im.SaveFileStart(raw.c_str(), nullptr, &sc), "Not supported");
    EXPECT_EQ(sc, nullptr);
    EXPECT_STREQ(im.SaveFileData(nullptr), "Not supported");
}

// Six 10-bit samples take 7.5 bytes: a line is 8 bytes and the next line
// starts on a byte of its own.
TEST_F(AptinaRaw, LinesRoundedUpToWholeBytes)
{
    const std::vector<std::vector<unsigned>> lines = {{1, 2, 3, 4, 5, 1023}, {512, 7, 8, 9, 10, 11}};
    Bytes frame;
    for (const auto &line : lines) {
        Bytes packed(8, 0);
        for (size_t c = 0; c < line.size(); ++c)
            for (unsigned bit = 0; bit < 10; ++bit)
                if (line[c] >> bit & 1u)
                    packed[(10 * c + bit) / 8] |= static_cast<unsigned char>(1u << ((10 * c + bit) % 8));
        packed[7] |= 0xF0; // the unused high half of the last byte
        append(frame, packed);
    }
    Bytes file = frame;
    append(file, frame);
    append(file, Bytes(15, 0)); // short of a third frame
    writeFile(info, toBytes("[Raw Image Format]\nIMAGE=6,2,BAYER-10\n"));
    writeFile(raw, file);

    CImageAptinaRaw im;
    ASSERT_EQ(im.LoadFileHeader(raw.c_str(), nullptr), nullptr);
    EXPECT_EQ(im.frameSize, 16);
    EXPECT_EQ(im.GetNFrames(), 2);
    ASSERT_EQ(im.LoadFileData(1), nullptr);
    EXPECT_EQ(samples(im, 1), V({1, 3, 5}));
    EXPECT_EQ(samples(im, 0), V({2, 4, 1023}));
    EXPECT_EQ(samples(im, 3), V({512, 8, 10}));
    EXPECT_EQ(samples(im, 2), V({7, 9, 11}));
    EXPECT_EQ(im.GetProperty(PROPERTY_IS_VIDEO), 1);

    writeFile(raw, frame); // a single frame is no video
    ASSERT_EQ(im.LoadFileHeader(raw.c_str(), nullptr), nullptr);
    EXPECT_EQ(im.GetNFrames(), 1);
    EXPECT_EQ(im.GetProperty(PROPERTY_IS_VIDEO), 0);
}

TEST_F(AptinaRaw, InfoFilesAndShortFiles)
{
    struct Case {
        const char *info;
        size_t rawBytes;
        const char *headerErr;
        int frames;
        const char *dataErr;
    };
    const Case cases[] = {
        {"[Raw Image Format]\nIMAGE=640,480,BAYER-10\n", 480 * 800 * 5 / 2, nullptr, 2, nullptr},
        {"[Raw Image Format]\nIMAGE=640,480,BAYER-12\n", 100, "Incomplete header", 0, nullptr},
        {"[Raw Image Format]\nIMAGE=640,480,BAYER-100\n", 100, "Incomplete header", 0, nullptr},
        {"IMAGE=4,2,BAYER-10\n", 100, "Incomplete header", 0, nullptr},
        {"[Raw Image Format]\nIMAGE=4,BAYER-10\n", 100, "Incomplete header", 0, nullptr},
        {"[Raw Image Format]\nIMAGE=-4,2,BAYER-10\n", 100, "Incomplete header", 0, nullptr},
        {"[Raw Image Format]\nIMAGE=0,2,BAYER-10\n", 100, "Incomplete header", 0, nullptr},
        {"[Raw Image Format]\nIMAGE=4,0,BAYER-10\n", 100, "Incomplete header", 0, nullptr},
        {"[Raw Image Format]\nIMAGE=1,1,BAYER-10\n", 2, nullptr, 1, nullptr},  // the smallest capture
        {"[RAW IMAGE FORMAT]\r\nImage=4, 2, Bayer-10\r\n", 9, nullptr, 0, "Invalid frame index"},
        {"[Raw Image Format]\nIMAGE=2000000000,2000000000,BAYER-10\n", 10, nullptr, 0, "Invalid frame index"},
        {"[Raw Image Format]\nIMAGE=99999999999,2,BAYER-10\n", 10, "Invalid image size", 0, nullptr},
        // both ends of the size: the largest 32-bit width or height is taken, one more is not
        {"[Raw Image Format]\nIMAGE=2147483647,2,BAYER-10\n", 10, nullptr, 0, "Invalid frame index"},
        {"[Raw Image Format]\nIMAGE=2147483648,2,BAYER-10\n", 10, "Invalid image size", 0, nullptr},
        {"[Raw Image Format]\nIMAGE=4,2147483647,BAYER-10\n", 10, nullptr, 0, "Invalid frame index"},
        {"[Raw Image Format]\nIMAGE=4,2147483648,BAYER-10\n", 10, "Invalid image size", 0, nullptr},
    };
    for (const auto &c : cases) {
        writeFile(info, toBytes(c.info));
        writeFile(raw, Bytes(c.rawBytes, 0x55));
        CImageAptinaRaw im;
        EXPECT_STREQ(im.LoadFileHeader(raw.c_str(), nullptr), c.headerErr) << c.info;
        EXPECT_EQ(im.GetNFrames(), c.frames) << c.info;
        if (!c.headerErr) {
            EXPECT_STREQ(im.LoadFileData(0), c.dataErr) << c.info;
        }
    }
    CImageAptinaRaw im;
    EXPECT_STREQ(im.LoadFileHeader(info.c_str(), nullptr), "Error loading header");
    EXPECT_STREQ(im.LoadFileHeader(dir.file("other.RAW").c_str(), nullptr), "Error reading _info file");
    EXPECT_STREQ(im.LoadFileData(0), "File header not loaded");
    writeFile(info, toBytes("[Raw Image Format]\nIMAGE=4,2,BAYER-10\n"));
    // The capture shrank, then went, after its header was read.
    writeFile(raw, Bytes(10, 0x55));
    ASSERT_EQ(im.LoadFileHeader(raw.c_str(), nullptr), nullptr);
    writeFile(raw, Bytes(9, 0x55));
    EXPECT_STREQ(im.LoadFileData(0), "Error reading frame data");
    EXPECT_FALSE(im.IsDataLoaded());
    unlink(raw.c_str());
    EXPECT_STREQ(im.LoadFileData(0), "Error opening file");
    EXPECT_STREQ(im.LoadFileHeader(raw.c_str(), nullptr), "Error opening file");
    EXPECT_FALSE(im.IsHeaderLoaded());
}

// A capture named in upper case is read from that file, not from a
// lower-case namesake.
TEST_F(AptinaRaw, UpperCaseNameReadsThatFile)
{
    const std::string upper = dir.file("up.RAW");
    writeFile(dir.file("up_info.txt"), toBytes("[Raw Image Format]\nIMAGE=4,2,BAYER-10\n"));
    writeFile(upper, Bytes(10, 0xFF));
    writeFile(dir.file("up.raw"), Bytes(30, 0));
    CImageAptinaRaw im;
    ASSERT_EQ(im.LoadFileHeader(upper.c_str(), nullptr), nullptr);
    EXPECT_EQ(im.GetNFrames(), 1);
    EXPECT_STREQ(im.fileName, upper.c_str());
    ASSERT_EQ(im.LoadFileData(0), nullptr);
    EXPECT_EQ(samples(im, 0), V({1023, 1023}));
    EXPECT_EQ(samples(im, 3), V({1023, 1023}));
}

}  // namespace
