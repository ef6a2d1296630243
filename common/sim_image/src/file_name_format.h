// What the names of headerless raw files say about their contents: a size such
// as "640x480" and a bit depth such as "10bit" or "10-bit", found anywhere in the
// name. The raw YUV and plain raw classes read their formats from it.
#ifndef SIM_IMAGE_FILE_NAME_FORMAT_H
#define SIM_IMAGE_FILE_NAME_FORMAT_H

#include <cstddef>
#include <string>

#include "qov_types.h"

struct FileNameFormat {
    std::string lower;     // the name in lower case, the size text blanked so its digits name nothing
    QOV_INT32 width = 0;   // the first size whose two numbers are 1 to 10000
    QOV_INT32 height = 0;
    bool sizeFound = false;
    int bitDepth = 0;      // the first bit depth of 1 to 15, 0 when none
    size_t earliest = 0;   // first candidate start of the format description (the name's length when none)
    size_t baseStart = 0;  // where the name without its directories starts
};

FileNameFormat scanFileNameFormat(const char *filename);

// A candidate start found later in the name.
inline void noteFormatStart(FileNameFormat *pScan, size_t pos)
{
    if (pos < pScan->earliest)
        pScan->earliest = pos;
}

#endif
