// Random mutations of small valid JUX files: every one must be read or refused
// with a message, never read or written out of bounds (run under AddressSanitizer).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "jux_test_util.h"
#include "sim_image/image_jux.h"
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

}  // namespace
