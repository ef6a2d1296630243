// Helpers shared by the fuzz harnesses: the input as a file, since most
// readers take a file name.
#ifndef FUZZ_FUZZ_UTIL_H
#define FUZZ_FUZZ_UTIL_H

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

// A private folder of the process, made once and kept for the run: the
// files of one input overwrite those of the input before.
inline const std::string &scratchDir()
{
    static const std::string dir = [] {
        const char *base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(base) + "/vezara-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data()))
            abort();
        return pattern;
    }();
    return dir;
}

inline std::string scratchFile(const std::string &name)
{
    return scratchDir() + "/" + name;
}

// Writes `size` bytes to `path`, replacing it; aborts when it cannot, so that
// a full disk is not taken for a finding-free run.
inline void writeFile(const std::string &path, const uint8_t *data, size_t size)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f || (size && fwrite(data, 1, size, f) != size) || fclose(f) != 0)
        abort();
}

// Splits the input at its first NUL byte: the part before and the rest
// after it (empty when there is none).
struct Split {
    const uint8_t *head;
    size_t headSize;
    const uint8_t *tail;
    size_t tailSize;
};

inline Split splitAtNul(const uint8_t *data, size_t size)
{
    size_t i = 0;
    while (i < size && data[i] != 0)
        i++;
    if (i == size)
        return {data, size, data + size, 0};
    return {data, i, data + i + 1, size - i - 1};
}

}  // namespace fuzz

#endif
