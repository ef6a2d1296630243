// Images of every file class written through the save formats of the others.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "image_test_util.h"
#include "jux_test_util.h"
#include "sim_image/image_bmp.h"
#include "sim_image/image_jux.h"
#include "sim_image/image_nraw.h"
#include "sim_image/image_plraw.h"
#include "sim_image/image_pxm.h"
#include "sim_image/image_yuv.h"

using namespace testutil;

namespace {

void expectSameSamples(const CImageBase &a, const CImageBase &b, const std::string &what)
{
    ASSERT_EQ(a.colorModel, b.colorModel) << what;
    EXPECT_EQ(a.subsMode, b.subsMode) << what;
    for (int k = 0; k < a.GetNColChannels(); k++)
        EXPECT_EQ(samples(a, k), samples(b, k)) << what << " channel " << k;
}

TEST(ImageFiles, EveryReaderWritesJux)
{
    TempDir dir;
    PXMLOADFORMAT mosaic = {CM_UNDEF, SUBS_UNDEF, true, LOADBD_SIGNED};
    PLRAWLOADFORMAT plain = {4, 2, 10, CM_RGGB, SUBS_GRBG};
    struct Case {
        std::unique_ptr<CImageBase> image;
        const char *file;
        void *loadFormat;
    };
    Case cases[] = {
        {std::make_unique<CImagePxm>(), "mosaic_bggr.pgm", &mosaic},
        {std::make_unique<CImagePxm>(), "rgb_3x2.ppm", nullptr},
        {std::make_unique<CImagePlRaw>(), "shot_4x2_10bit_grbg.raw", &plain},
        {std::make_unique<CImageNRaw>(), "bayer_4x2.nraw", nullptr},
        {std::make_unique<CImageAptinaRaw>(), "capture.raw", nullptr},
        {std::make_unique<CImageBmp>(), "palette_4x3_rle8.bmp", nullptr},
    };
    for (auto &c : cases) {
        CImageBase &im = *c.image;
        ASSERT_EQ(im.LoadFileHeader(fixture(c.file).c_str(), c.loadFormat), nullptr) << c.file;
        ASSERT_EQ(im.LoadFileData(0), nullptr) << c.file;
        JUXSAVEFORMAT fmt;
        CImageJux writer;
        ASSERT_EQ(CImageJux::GetSaveFormat(&fmt, &im), nullptr);
        EXPECT_EQ(fmt.pImData, &im);
        const std::string out = dir.file("out.jux");
        ASSERT_EQ(writer.SaveSingleFrameImage(out.c_str(), &fmt), nullptr) << c.file;
        CImageJux back;
        ASSERT_EQ(back.LoadFileHeader(out.c_str(), nullptr), nullptr) << c.file;
        ASSERT_EQ(back.LoadFileData(0), nullptr) << c.file;
        expectSameSamples(im, back, c.file);
    }
}

TEST(ImageFiles, RgbImagesBetweenPixelMapsBitmapsAndPlainRaw)
{
    TempDir dir;
    CImagePxm ppm;
    ASSERT_EQ(ppm.LoadFileHeader(fixture("rgb_3x2.ppm").c_str(), nullptr), nullptr);
    ASSERT_EQ(ppm.LoadFileData(0), nullptr);

    BMPSAVEFORMAT bf;
    ASSERT_EQ(CImageBmp::GetSaveFormat(&bf, &ppm), nullptr);
    CImageBmp bmpWriter;
    bmpWriter.SwapWith(&ppm);
    ASSERT_EQ(bmpWriter.SaveSingleFrameImage(dir.file("a.bmp").c_str(), &bf), nullptr);
    CImageBmp bmpBack;
    ASSERT_EQ(bmpBack.LoadFileHeader(dir.file("a.bmp").c_str(), nullptr), nullptr);
    ASSERT_EQ(bmpBack.LoadFileData(0), nullptr);
    expectSameSamples(bmpWriter, bmpBack, "bitmap");

    PLRAWSAVEFORMAT rf;
    ASSERT_EQ(CImagePlRaw::GetSaveFormat(&rf, &bmpBack), nullptr);
    CImagePlRaw rawWriter;
    rawWriter.SwapWith(&bmpBack);
    EXPECT_STREQ(rawWriter.GetFormatString(&rf), "3x2_8bit_rgb");
    const std::string raw = dir.file(std::string("b_") + rawWriter.GetFormatString(&rf) + ".raw");
    ASSERT_EQ(rawWriter.SaveSingleFrameImage(raw.c_str(), &rf), nullptr);
    PLRAWLOADFORMAT lf;
    ASSERT_EQ(CImagePlRaw::GetLoadFormat(&lf, raw.c_str(), nullptr), nullptr);
    CImagePlRaw rawBack;
    ASSERT_EQ(rawBack.LoadFileHeader(raw.c_str(), &lf), nullptr);
    ASSERT_EQ(rawBack.LoadFileData(0), nullptr);
    expectSameSamples(rawWriter, rawBack, "plain raw");

    // No YUV file of an RGB image, whichever class holds it.
    YUVSAVEFORMAT yf;
    EXPECT_STREQ(CImageYuv::GetSaveFormat(&yf, &rawBack), "Unsupported color model");
    PXMSAVEFORMAT pf;
    ASSERT_EQ(CImagePxm::GetSaveFormat(&pf, &rawBack), nullptr);
    EXPECT_EQ(pf.fileFormat, PPTYPE_PPMB);
}

#if defined(__GLIBC__)
// Reading a file and writing it again as JUX, then letting the image go,
// gives back everything it took: many rounds leave the heap as it was.
TEST(ImageFiles, ReadingAndWritingGiveBackTheirMemory)
{
    TempDir dir;
    PXMLOADFORMAT mosaic = {CM_UNDEF, SUBS_UNDEF, true, LOADBD_SIGNED};
    PLRAWLOADFORMAT plain = {4, 2, 10, CM_RGGB, SUBS_GRBG};
    struct Case {
        CImageBase *(*make)();
        const char *file;
        void *loadFormat;
    };
    const Case cases[] = {
        {[]() -> CImageBase * { return new CImagePxm; }, "mosaic_bggr.pgm", &mosaic},
        {[]() -> CImageBase * { return new CImagePxm; }, "rgb_3x2.ppm", nullptr},
        {[]() -> CImageBase * { return new CImagePlRaw; }, "shot_4x2_10bit_grbg.raw", &plain},
        {[]() -> CImageBase * { return new CImageNRaw; }, "bayer_4x2.nraw", nullptr},
        {[]() -> CImageBase * { return new CImageAptinaRaw; }, "capture.raw", nullptr},
        {[]() -> CImageBase * { return new CImageBmp; }, "palette_4x3_rle8.bmp", nullptr},
    };
    const std::string out = dir.file("round.jux");
    for (const auto &c : cases) {
        auto round = [&] {
            std::unique_ptr<CImageBase> im(c.make());
            ASSERT_EQ(im->LoadFileHeader(fixture(c.file).c_str(), c.loadFormat), nullptr) << c.file;
            ASSERT_EQ(im->LoadFileData(0), nullptr) << c.file;
            JUXSAVEFORMAT fmt;
            CImageJux::GetSaveFormat(&fmt, im.get());
            CImageJux writer;
            ASSERT_EQ(writer.SaveSingleFrameImage(out.c_str(), &fmt), nullptr) << c.file;
            CImageJux back;
            ASSERT_EQ(back.LoadFileHeader(out.c_str(), nullptr), nullptr) << c.file;
            ASSERT_EQ(back.LoadFileData(0), nullptr) << c.file;
        };
        round();  // the first round may leave buffers the allocator keeps for reuse
        const long before = static_cast<long>(mallinfo2().uordblks);
        const int rounds = 8;
        for (int i = 0; i < rounds; i++)
            round();
        // Every block kept back costs at least 16 bytes a round.
        EXPECT_LT(static_cast<long>(mallinfo2().uordblks) - before, 16 * rounds) << c.file;
    }
}
#endif

}  // namespace
