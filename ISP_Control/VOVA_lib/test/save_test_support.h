// Shared by the tests of the saving code: a written file read back whole.
#ifndef VOVA_SAVE_TEST_SUPPORT_H
#define VOVA_SAVE_TEST_SUPPORT_H

#include <fstream>
#include <iterator>
#include <string>

namespace vovatest {

inline std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace vovatest

#endif
