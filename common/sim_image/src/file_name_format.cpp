#include "file_name_format.h"

#include <cctype>
#include <cstring>

FileNameFormat scanFileNameFormat(const char *filename)
{
    FileNameFormat scan;
    scan.lower = filename;
    std::string &copy = scan.lower;
    const size_t len = copy.size();
    for (char &ch : copy)
        ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
    scan.earliest = len;

    auto number = [&](size_t &i) {
        long long v = 0;
        while (i < len && isdigit(static_cast<unsigned char>(copy[i]))) {
            if (v < 1000000000)
                v = v * 10 + (copy[i] - '0');
            i++;
        }
        return v;
    };

    size_t i = 0;
    while (i < len) {
        if (!isdigit(static_cast<unsigned char>(copy[i]))) {
            i++;
            continue;
        }
        const size_t start = i;
        const long long first = number(i);
        const size_t bitLen = copy.compare(i, 3, "bit") == 0 ? 3 : (copy.compare(i, 4, "-bit") == 0 ? 4 : 0);
        if (bitLen) {
            if (first >= 1 && first <= 15 && scan.bitDepth == 0) {
                scan.bitDepth = static_cast<int>(first);
                noteFormatStart(&scan, start);
            }
            i += bitLen;
            continue;
        }
        if (copy[i] == 'x' && i + 1 < len && isdigit(static_cast<unsigned char>(copy[i + 1]))) {
            size_t j = i + 1;
            const long long second = number(j);
            if (first >= 1 && first <= 10000 && second >= 1 && second <= 10000) {
                if (!scan.sizeFound) {
                    scan.sizeFound = true;
                    scan.width = static_cast<QOV_INT32>(first);
                    scan.height = static_cast<QOV_INT32>(second);
                    noteFormatStart(&scan, start);
                }
                copy.replace(start, j - start, j - start, ' ');
                i = j;
                continue;
            }
        }
    }
    for (size_t k = 0; k < len; k++)
        if (copy[k] == '/' || copy[k] == '\\')
            scan.baseStart = k + 1;
    return scan;
}
