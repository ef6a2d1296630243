// Random mutations of small valid JUX, PGM/PPM, plain raw, NRAW, Aptina raw and
// BMP files: every one must be read or refused with a message, never read or
// written out of bounds (run under AddressSanitizer).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "image_test_util.h"
#include "jux_test_util.h"
#include "sim_image/image_bmp.h"
#include "sim_image/image_jux.h"
#include "sim_image/image_nraw.h"
#include "sim_image/image_plraw.h"
#include "sim_image/image_pxm.h"
#include "sim_image/sim_image.h"

using namespace testutil;

namespace {

const int kIterations = 2000;
const unsigned kSeed = 20240611;

Bytes pattern(size_t n, int step)
{
    Bytes b(n);
    for (size_t i = 0; i < n; i++)
        b[i] = static_cast<unsigned char>(i * step + 7);
    return b;
}

struct Segment {
    std::string meta;
    Bytes pixels;
};

// Hand-built files, segment by segment.
std::vector<std::vector<Segment>> builtSeeds()
{
    return {
        {{"WIDTH=3\nHEIGHT=2\nCOLOUR_FORMAT=RGB\nBITDEPTH=8\n", pattern(18, 3)}},
        {{"WIDTH=4\nHEIGHT=4\nCOLOUR_FORMAT=RGGB\nSUBSAMPLING_HOR=2 2 2 2\nSUBSAMPLING_VER=2 2 2 2\n"
          "PHASE_OFFSET_HOR=0 1 0 1\nPHASE_OFFSET_VER=0 0 1 1\nBITDEPTH=10\nSIGNED=0\n"
          "PLANE_FORMAT=1 1 1 1\nPIXEL_FORMAT=grouppacked 3\nFRAME_SIZE=32\n",
          pattern(64, 5)}},
        {{"WIDTH=2\nHEIGHT=1\nCOLOUR_FORMAT=RGB\n", pattern(12, 1)},
         {"WIDTH=1\nHEIGHT=2\nCOLOUR_FORMAT=Grayscale\nBITDEPTH=16\nPIXEL_FORMAT=unpackedL\n", pattern(8, 9)}},
        {{"WIDTH=3\nHEIGHT=3\nCOLOUR_FORMAT=YUV\nSUBSAMPLING_HOR=1 2 2\nSUBSAMPLING_VER=1 2 2\n"
          "BITDEPTH=12 9\nSIGNED=0 1\nPLANE_FORMAT=1 2\nPIXEL_FORMAT=grouppacked 2 3\nLINE_ALIGN=4 8\n",
          pattern(40, 11)}},
    };
}

Bytes assemble(const std::vector<Segment> &segments)
{
    Bytes out;
    for (const auto &s : segments)
        append(out, segment(s.meta, s.pixels));
    return out;
}

// A file this system writes: a Bayer stream of two frames.
Bytes writtenSeed(const TempDir &dir)
{
    const std::string path = dir.file("seed.jux");
    sSimImageOut out;
    SimImageOut_init(&out);
    out.info.eColourModel = SimImage_GBRG;
    out.info.ui8BitDepth = 12;
    out.info.ui32Width = 4;
    out.info.ui32Height = 2;
    if (SimImageOut_create(&out) == QOV_SUCCESS && SimImageOut_open(&out, path.c_str()) == QOV_SUCCESS) {
        const Bytes cells = pattern(16, 13);
        for (int f = 0; f < 2; f++) {
            SimImageOut_addFrame(&out, cells.data(), cells.size());
            SimImageOut_write(&out);
        }
        SimImageOut_close(&out);
    }
    SimImageOut_clean(&out);
    return readFile(path);
}

const char *const kNumbers[] = {"0",          "-1",         "1",         "2",          "33",          "65536",
                                "65537",      "2147483647", "2147483648", "-2147483649", "99999999999999",
                                "4294967296", "100",        " ",         "x",          "1 1 1 1 1 1"};

void mutate(Bytes &b, std::mt19937 &rng)
{
    auto pick = [&](size_t n) { return n ? static_cast<size_t>(rng() % n) : 0; };
    switch (rng() % 8) {
    case 0:  // flip a bit
        if (!b.empty())
            b[pick(b.size())] ^= static_cast<unsigned char>(1u << (rng() % 8));
        break;
    case 1:  // any byte
        if (!b.empty())
            b[pick(b.size())] = static_cast<unsigned char>(rng());
        break;
    case 2: {  // a byte that means something in the text
        static const char kChars[] = "0123456789=\n -+ x";
        if (!b.empty())
            b[pick(b.size())] = static_cast<unsigned char>(kChars[pick(sizeof(kChars) - 1)]);
        break;
    }
    case 3:  // truncate
        b.resize(pick(b.size() + 1));
        break;
    case 4: {  // insert a few bytes
        const size_t at = pick(b.size() + 1);
        const size_t n = 1 + pick(8);
        Bytes ins(n);
        for (auto &c : ins)
            c = static_cast<unsigned char>(rng());
        b.insert(b.begin() + static_cast<long>(at), ins.begin(), ins.end());
        break;
    }
    case 5: {  // replace a run of digits by a troublesome number
        if (b.empty())
            break;
        size_t at = pick(b.size());
        while (at < b.size() && !(b[at] >= '0' && b[at] <= '9'))
            at++;
        size_t end = at;
        while (end < b.size() && b[end] >= '0' && b[end] <= '9')
            end++;
        const std::string n = kNumbers[pick(sizeof(kNumbers) / sizeof(kNumbers[0]))];
        b.erase(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(end));
        b.insert(b.begin() + static_cast<long>(at), n.begin(), n.end());
        break;
    }
    case 6: {  // append a copy of a piece
        const size_t at = pick(b.size());
        const size_t n = pick(b.size() - at + 1);
        Bytes piece(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at + n));
        append(b, piece);
        break;
    }
    default: {  // delete a range
        const size_t at = pick(b.size());
        const size_t n = pick(std::min<size_t>(16, b.size() - at) + 1);
        b.erase(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at + n));
        break;
    }
    }
}

// Silences the diagnostics of refused files for the length of the run.
class QuietStderr {
public:
    QuietStderr()
    {
        fflush(stderr);
        saved_ = dup(2);
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, 2);
            close(null);
        }
    }
    ~QuietStderr()
    {
        fflush(stderr);
        if (saved_ >= 0) {
            dup2(saved_, 2);
            close(saved_);
        }
    }

private:
    int saved_;
};

TEST(JuxFuzz, MutatedFilesAreReadOrRefused)
{
    TempDir dir;
    const std::vector<std::vector<Segment>> built = builtSeeds();
    std::vector<Bytes> base;
    for (const auto &segments : built)
        base.push_back(assemble(segments));
    base.push_back(writtenSeed(dir));
    ASSERT_GT(base.back().size(), 64u);
    const std::string path = dir.file("fuzz.jux");
    std::mt19937 rng(kSeed);
    int headers = 0, frames = 0, refused = 0, streams = 0;

    QuietStderr quiet;
    for (int i = 0; i < kIterations; i++) {
        Bytes b;
        const int n = 1 + static_cast<int>(rng() % 2);
        if (i % 2) {
            // Anywhere in the file: headers, offsets, sizes.
            b = base[static_cast<size_t>(i / 2) % base.size()];
            for (int k = 0; k < n; k++)
                mutate(b, rng);
        } else {
            // In the metadata and pixel sections only, with a header that fits them.
            std::vector<Segment> segments = built[static_cast<size_t>(i / 2) % built.size()];
            Segment &s = segments[rng() % segments.size()];
            Bytes meta(s.meta.begin(), s.meta.end());
            for (int k = 0; k < n; k++)
                mutate(meta, rng);
            s.meta.assign(meta.begin(), meta.end());
            if (rng() % 4 == 0)
                s.pixels.resize(rng() % (2 * s.pixels.size() + 2), 0x5A);
            b = assemble(segments);
        }
        writeFile(path, b);

        CImageJux image;
        const char *err = image.LoadFileHeader(path.c_str(), nullptr);
        if (err) {
            refused++;
            EXPECT_FALSE(image.IsHeaderLoaded());
        } else {
            headers++;
            const QOV_INT32 count = image.GetNFrames();
            for (QOV_INT32 f : {0, 1, count - 1, count}) {
                if (!image.LoadFileData(f))
                    frames++;
                image.GetLineSize(0);
                image.GetFrameSize();
            }
            // Written again, a loaded frame reads back the same.
            if (!image.LoadFileData(0)) {
                const std::string copy = dir.file("copy.jux");
                if (!image.SaveSingleFrameImage(copy.c_str(), nullptr)) {
                    CImageJux back;
                    ASSERT_EQ(back.LoadFileHeader(copy.c_str(), nullptr), nullptr) << "iteration " << i;
                    const char *e3 = back.LoadFileData(0);
                    if (e3) { writeFile("/tmp/fuzzfail_in.jux", b); writeFile("/tmp/fuzzfail_out.jux", readFile(copy)); }
                    ASSERT_EQ(e3, nullptr) << "iteration " << i << " " << e3;
                    for (QOV_INT32 c = 0; c < image.GetNColChannels(); c++) {
                        const QOV_INT64 samples = static_cast<QOV_INT64>(image.chnl[c].chnlWidth) * image.chnl[c].chnlHeight;
                        for (QOV_INT64 s = 0; s < samples; s++)
                            ASSERT_EQ(back.chnl[c].data[s], image.chnl[c].data[s]) << "iteration " << i;
                    }
                }
            }
        }

        sSimImageIn in;
        SimImageIn_init(&in);
        if (SimImageIn_loadJUX(&in, path.c_str()) == QOV_SUCCESS) {
            streams++;
            for (QOV_INT32 f : {0, 1, static_cast<QOV_INT32>(in.nFrames) - 1})
                if (f >= 0)
                    SimImageIn_convertFrame(&in, f);
        }
        SimImageIn_close(&in);
        unsigned segs = 0, total = 0;
        SimImageIn_checkMultiSegment(path.c_str(), &segs, &total);
    }
    // The mutations reach both sides.
    printf("[ fuzz     ] %d headers loaded, %d frames read, %d refused, %d streams opened\n", headers, frames,
           refused, streams);
    EXPECT_GT(headers, kIterations / 10);
    EXPECT_GT(frames, kIterations / 10);
    EXPECT_GT(refused, kIterations / 10);
    EXPECT_GT(streams, kIterations / 20);
}

// Frames worth trying: first, second, last and one past the last, each once.
std::set<QOV_INT32> framesToTry(QOV_INT32 count)
{
    return {0, 1, count - 1, count};
}

// Loads the header and a few frames; answers the frames read, -1 when the
// header was refused.
int loadFrames(CImageBase &im, const std::string &path, void *loadFormat)
{
    if (im.LoadFileHeader(path.c_str(), loadFormat)) {
        EXPECT_FALSE(im.IsHeaderLoaded());
        return -1;
    }
    int read = 0;
    for (QOV_INT32 f : framesToTry(im.GetNFrames()))
        if (!im.LoadFileData(f))
            read++;
    return read;
}

// As loadFrames; a small image loaded is then written again by its class.
template <typename Image, typename SaveFormat>
int loadAndSave(Image &im, const std::string &path, void *loadFormat, const std::string &copy)
{
    const int read = loadFrames(im, path, loadFormat);
    if (read > 0 && static_cast<QOV_INT64>(im.width) * im.height <= 4096 && !im.LoadFileData(0)) {
        SaveFormat fmt;
        if (!Image::GetSaveFormat(&fmt, &im))
            im.SaveSingleFrameImage(copy.c_str(), &fmt);
    }
    return read;
}

Bytes fixtureBytes(const char *name)
{
    return readFile(fixture(name));
}

TEST(ImageFileFuzz, MutatedFilesAreReadOrRefused)
{
    TempDir dir;
    std::mt19937 rng(kSeed + 1);
    const std::string copy = dir.file("copy");

    Bytes nrawTypes = fixtureBytes("bayer_4x2.nraw");
    std::vector<Bytes> pxmSeeds = {fixtureBytes("mosaic_bggr.pgm"), fixtureBytes("rgb_3x2.ppm"),
                                   toBytes("P5\n4 2\n65535\n0123456789abcdef"),
                                   toBytes("P3\n2 2\n# c\n255\n1 2 3 4 5 6 7 8 9 10 11 12\n")};
    std::vector<Bytes> nrawSeeds = {nrawTypes};
    for (int type = 1; type <= 4; type++) {
        NrawFields f;
        f.imageType = type, f.width = 3, f.height = 2, f.bytesPerSample = 2;
        nrawSeeds.push_back(nraw(f, pattern(24, 7)));
    }
    std::vector<Bytes> bmpSeeds = {fixtureBytes("rgb_2x2.bmp"), fixtureBytes("palette_4x3_rle8.bmp"),
                                   bmp(5, 2, 4, 2, greys(16), {0, 5, 0x12, 0x34, 0x50, 0, 0, 0, 0, 3, 0x67, 0x80, 0, 1}),
                                   bmp(9, 2, 1, 0, greys(2), pattern(8, 3)), bmp(3, 3, 4, 0, greys(9), pattern(12, 5))};
    const Bytes aptinaInfo = fixtureBytes("capture_info.txt"), aptinaRaw = fixtureBytes("capture.raw");
    PXMLOADFORMAT pxmFormats[] = {{CM_UNDEF, SUBS_UNDEF, true, LOADBD_SIGNED},
                                  {CM_RGGB, SUBS_GBRG, false, LOADBD_SIGNED},
                                  {CM_GRAY, SUBS_BGGR, true, LOADBD_DOWNSIZE},
                                  {CM_YUV, SUBS_UNDEF, false, LOADBD_SIGNED}};

    int headers = 0, frames = 0, refused = 0;
    int loadedBy[5] = {}, refusedBy[5] = {};
    int reader = 0;
    auto count = [&](int read) {
        if (read < 0) {
            refused++;
            refusedBy[reader]++;
        } else {
            headers++;
            frames += read;
            loadedBy[reader] += read > 0;
        }
    };
    QuietStderr quiet;
    for (int i = 0; i < kIterations; i++) {
        const int mutations = 1 + static_cast<int>(rng() % 3);
        reader = i % 5;
        switch (reader) {
        case 0: {
            Bytes b = pxmSeeds[rng() % pxmSeeds.size()];
            for (int k = 0; k < mutations; k++)
                mutate(b, rng);
            const std::string path = dir.file("fuzz.pgm");
            writeFile(path, b);
            CImagePxm im;
            const size_t pick = rng() % 5;
            count(loadAndSave<CImagePxm, PXMSAVEFORMAT>(im, path, pick < 4 ? &pxmFormats[pick] : nullptr, copy));
            break;
        }
        case 1: {
            Bytes b = nrawSeeds[rng() % nrawSeeds.size()];
            for (int k = 0; k < mutations; k++) {
                // Mostly in the header, where the sizes and types are.
                if (rng() % 2 && b.size() > 124) {
                    Bytes head(b.begin(), b.begin() + 124);
                    mutate(head, rng);
                    head.resize(124, 0);
                    std::copy(head.begin(), head.end(), b.begin());
                } else {
                    mutate(b, rng);
                }
            }
            const std::string path = dir.file("fuzz.nraw");
            writeFile(path, b);
            CImageNRaw im;
            count(loadFrames(im, path, nullptr));
            break;
        }
        case 2: {
            Bytes b = bmpSeeds[rng() % bmpSeeds.size()];
            for (int k = 0; k < mutations; k++)
                mutate(b, rng);
            const std::string path = dir.file("fuzz.bmp");
            writeFile(path, b);
            CImageBmp im;
            count(loadAndSave<CImageBmp, BMPSAVEFORMAT>(im, path, nullptr, copy));
            break;
        }
        case 3: {
            Bytes info = aptinaInfo, raw = aptinaRaw;
            for (int k = 0; k < mutations; k++)
                mutate(rng() % 3 ? info : raw, rng);
            writeFile(dir.file("fuzz_info.txt"), info);
            writeFile(dir.file("fuzz.raw"), raw);
            CImageAptinaRaw im;
            count(loadFrames(im, dir.file("fuzz.raw"), nullptr));
            break;
        }
        default: {
            // Plain raw files carry no header: the load format and the name are what can be wrong.
            static const char kName[] = "dir_2x2/shot_1280x720_12bit_bggr.rgb";
            Bytes name(kName, kName + sizeof(kName) - 1);
            for (int k = 0; k < mutations; k++)
                mutate(name, rng);
            name.push_back(0);
            for (auto &c : name)
                if (c == 0 && &c != &name.back())
                    c = '_';
            PLRAWLOADFORMAT lf;
            CImagePlRaw::GetLoadFormat(&lf, reinterpret_cast<const char *>(name.data()), nullptr);
            const int sizes[] = {1, 2, 2, 3, 4, 4, 5, 7, 65535, 2147483647};
            lf.width = sizes[rng() % 10];
            lf.height = sizes[rng() % 10];
            lf.bitDepth = static_cast<QOV_INT8>(static_cast<int>(rng() % 36) - 2);
            if (rng() % 4 == 0) {
                lf.colorModel = static_cast<colorModelEnum>(rng() % 8);
                lf.subsMode = static_cast<subsamplingModeEnum>(rng() % 8);
            }
            const std::string path = dir.file("fuzz.raw");
            writeFile(path, pattern(rng() % 200, 3));
            CImagePlRaw im;
            count(loadAndSave<CImagePlRaw, PLRAWSAVEFORMAT>(im, path, &lf, copy));
            break;
        }
        }
    }
    printf("[ fuzz     ] %d headers loaded, %d frames read, %d refused\n", headers, frames, refused);
    // Every reader both reads and refuses some of its files.
    for (int r = 0; r < 5; r++) {
        EXPECT_GT(loadedBy[r], kIterations / 100) << "reader " << r;
        EXPECT_GT(refusedBy[r], kIterations / 100) << "reader " << r;
    }
    EXPECT_GT(headers, kIterations / 5);
    EXPECT_GT(frames, kIterations / 5);
    EXPECT_GT(refused, kIterations / 5);
}

}  // namespace
