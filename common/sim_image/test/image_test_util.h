// Test helpers for the image-file readers: the hand-built files of testdata/
// and a check of a channel's samples.
#ifndef SIM_IMAGE_TEST_IMAGE_TEST_UTIL_H
#define SIM_IMAGE_TEST_IMAGE_TEST_UTIL_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim_image/image.h"

namespace testutil {

inline std::string fixture(const std::string &name)
{
    return std::string(VEZARA_TESTDATA) + "/sim_image/" + name;
}

// Every sample of the channel, row by row.
inline std::vector<PIXEL> samples(const CImageBase &im, int channel)
{
    const COLCHANNEL &c = im.chnl[channel];
    if (!c.data)
        return {};
    return std::vector<PIXEL>(c.data, c.data + static_cast<size_t>(c.chnlWidth) * c.chnlHeight);
}

}  // namespace testutil

#endif
