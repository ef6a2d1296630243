// Test helpers for the image-file readers: the hand-built files of testdata/
// and a check of a channel's samples.
#ifndef SIM_IMAGE_TEST_IMAGE_TEST_UTIL_H
#define SIM_IMAGE_TEST_IMAGE_TEST_UTIL_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jux_test_util.h"
#include "sim_image/image.h"

namespace testutil {

inline std::string fixture(const std::string &name)
{
    return VEZARA_TESTDATA "/sim_image/" + name;
}

// Every sample of the channel, row by row.
inline std::vector<PIXEL> samples(const CImageBase &im, int channel)
{
    const COLCHANNEL &c = im.chnl[channel];
    if (!c.data)
        return {};
    return std::vector<PIXEL>(c.data, c.data + static_cast<size_t>(c.chnlWidth) * c.chnlHeight);
}

inline void putLE(Bytes &b, size_t at, unsigned v, int bytes)
{
    for (int i = 0; i < bytes; i++)
        b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

struct NrawFields {
    int width = 4, height = 2, bitDepth = 8, bytesPerSample = 1, bayerType = 0, version = 256, imageType = 0;
    std::string fw, make;
};

// An NRAW file: the 124-byte header padded to the first frame at 1024, then the frames.
inline Bytes nraw(const NrawFields &f, const Bytes &frames)
{
    Bytes b(1024, 0);
    b[0] = 'N', b[1] = 'R', b[2] = 'A', b[3] = 'W';
    const int fields[] = {f.width, f.height, f.bitDepth, f.bytesPerSample, f.bayerType, f.version, 0, f.imageType};
    for (int i = 0; i < 8; i++)
        putLE(b, 4 + 2 * i, static_cast<unsigned>(fields[i]), 2);
    std::copy(f.fw.begin(), f.fw.end(), b.begin() + 36);
    std::copy(f.make.begin(), f.make.end(), b.begin() + 50);
    append(b, frames);
    return b;
}

struct Rgb {
    int r, g, b;
};

// A bitmap: file and info headers, the palette (blue, green, red, 0 each), the data.
inline Bytes bmp(int w, int h, int bits, int compression, const std::vector<Rgb> &palette, const Bytes &data)
{
    Bytes b(54, 0);
    const unsigned off = 54 + 4 * static_cast<unsigned>(palette.size());
    putLE(b, 0, 0x4D42, 2);
    putLE(b, 2, off + static_cast<unsigned>(data.size()), 4);
    putLE(b, 10, off, 4);
    putLE(b, 14, 40, 4);
    putLE(b, 18, static_cast<unsigned>(w), 4);
    putLE(b, 22, static_cast<unsigned>(h), 4);
    putLE(b, 26, 1, 2);
    putLE(b, 28, static_cast<unsigned>(bits), 2);
    putLE(b, 30, static_cast<unsigned>(compression), 4);
    putLE(b, 46, static_cast<unsigned>(palette.size()), 4);
    for (const Rgb &c : palette)
        append(b, {static_cast<unsigned char>(c.b), static_cast<unsigned char>(c.g), static_cast<unsigned char>(c.r), 0});
    append(b, data);
    return b;
}

inline std::vector<Rgb> greys(int n)
{
    std::vector<Rgb> p;
    for (int i = 0; i < n; i++)
        p.push_back({10 * i, 10 * i, 10 * i});
    return p;
}

}  // namespace testutil

#endif
