// What every image harness does with a file: load the header, a few frames
// (first, second, last and one past the last) and, for a small image, write
// the first frame again with the class's own save format.
#ifndef FUZZ_IMAGE_FUZZ_H
#define FUZZ_IMAGE_FUZZ_H

#include <set>
#include <string>

#include "fuzz_util.h"
#include "sim_image/image.h"

namespace fuzz {

// Images above this many pixels have their header read but no frame: the
// library allows planes of up to 2^28 samples, which a compressed BMP or a
// JUX file of a few bytes may ask for, and loading those would slow the
// fuzzer down to a few runs a second or exceed its memory limit.
const QOV_INT64 kMaxFuzzPixels = QOV_INT64(1) << 20;

inline bool loadFrames(CImageBase &image, const std::string &path, void *loadFormat)
{
    if (image.LoadFileHeader(path.c_str(), loadFormat))
        return false;
    if (static_cast<QOV_INT64>(image.width) * image.height > kMaxFuzzPixels)
        return false;
    const QOV_INT32 count = image.GetNFrames();
    bool any = false;
    for (QOV_INT32 f : std::set<QOV_INT32>{0, 1, count - 1, count})
        any |= image.LoadFileData(f) == nullptr;
    return any;
}

// Writes the image again when it is small, through `Image::GetSaveFormat`.
template <typename Image, typename SaveFormat>
void saveSmall(Image &image)
{
    if (static_cast<QOV_INT64>(image.width) * image.height > 4096 || image.LoadFileData(0))
        return;
    SaveFormat format{};
    if (!Image::GetSaveFormat(&format, &image)) {
        static const std::string copy = scratchFile("copy");
        image.SaveSingleFrameImage(copy.c_str(), &format);
    }
}

// A new image of class `Image` loaded from `path`, and written again when small.
template <typename Image, typename SaveFormat>
void loadAndSave(const std::string &path, void *loadFormat)
{
    Image image;
    if (loadFrames(image, path, loadFormat))
        saveSmall<Image, SaveFormat>(image);
}

}  // namespace fuzz

#endif
