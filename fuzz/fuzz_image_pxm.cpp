// PGM and PPM files, text and binary; the last byte picks the load format,
// so that any sample file is a seed as it is.
#include "image_fuzz.h"
#include "sim_image/image_pxm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    static PXMLOADFORMAT formats[] = {{CM_UNDEF, SUBS_UNDEF, true, LOADBD_SIGNED},
                                      {CM_RGGB, SUBS_GBRG, false, LOADBD_SIGNED},
                                      {CM_GRAY, SUBS_BGGR, true, LOADBD_DOWNSIZE},
                                      {CM_YUV, SUBS_UNDEF, false, LOADBD_SIGNED}};
    const size_t pick = data[size - 1] % 5;
    static const std::string path = fuzz::scratchFile("image.pgm");
    fuzz::writeFile(path, data, size);
    fuzz::loadAndSave<CImagePxm, PXMSAVEFORMAT>(path, pick < 4 ? &formats[pick] : nullptr);
    return 0;
}
