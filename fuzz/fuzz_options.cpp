// Option files and command lines: the tokens of either (first byte even: an
// option file; odd: a command line of newline-separated arguments, where an
// argument "@" names an option file holding what follows the first NUL),
// then options of every type registered against them, as a program does.
#include <cstdlib>
#include <string>
#include <vector>

#include "dyncmd/ci_dyncmd.h"
#include "fuzz_util.h"

namespace {

std::vector<std::string> lines(const uint8_t *data, size_t size)
{
    std::vector<std::string> out;
    std::string cur;
    for (size_t i = 0; i < size; i++) {
        if (data[i] == '\n') {
            out.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(static_cast<char>(data[i]));
        }
    }
    out.push_back(cur);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const bool commandLine = data[0] & 1;
    const fuzz::Split parts = fuzz::splitAtNul(data + 1, size - 1);
    const std::string optionFile = fuzz::scratchFile("options.txt");

    if (commandLine) {
        fuzz::writeFile(optionFile, parts.tail, parts.tailSize);
        std::vector<std::string> args = lines(parts.head, parts.headSize);
        std::vector<char *> argv = {const_cast<char *>("fuzz")};
        for (std::string &a : args) {
            if (a == "@")
                a = optionFile;
            argv.push_back(a.data());
        }
        DYNCMD_AddCommandLine(static_cast<int>(argv.size()), argv.data(), "-source");
    } else {
        fuzz::writeFile(optionFile, data + 1, size - 1);
        DYNCMD_AddFile(optionFile.c_str(), "#");
    }

    char *name = nullptr;
    QOV_UINT8 flag = 0;
    float gain = 0;
    QOV_UINT32 count = 0;
    QOV_INT32 offset = 0;
    char *names[3] = {};
    QOV_UINT8 flags[2] = {};
    float gains[4] = {};
    QOV_UINT32 counts[3] = {};
    QOV_INT32 offsets[2] = {};
    DYNCMD_RegisterParameter("-name", DYNCMDTYPE_STRING, "a text", &name);
    DYNCMD_RegisterParameter("-flag", DYNCMDTYPE_BOOL8, "a switch", &flag);
    DYNCMD_RegisterParameter("-gain", DYNCMDTYPE_FLOAT, "a real", &gain);
    DYNCMD_RegisterParameter("-count", DYNCMDTYPE_UINT, "a count", &count);
    DYNCMD_RegisterParameter("-offset", DYNCMDTYPE_INT, "a signed number", &offset);
    DYNCMD_RegisterParameter("-help", DYNCMDTYPE_COMMAND, "a command", nullptr);
    DYNCMD_RegisterArray("-names", DYNCMDTYPE_STRING, "texts", names, 3);
    DYNCMD_RegisterArray("-flags", DYNCMDTYPE_BOOL8, "switches", flags, 2);
    DYNCMD_RegisterArray("-gains", DYNCMDTYPE_FLOAT, "reals", gains, 4);
    DYNCMD_RegisterArray("-counts", DYNCMDTYPE_UINT, "counts", counts, 3);
    DYNCMD_RegisterArray("-offsets", DYNCMDTYPE_INT, "signed numbers", offsets, 2);
    QOV_UINT32 unregistered = 0;
    DYNCMD_HasUnregisteredElements(&unregistered);
    DYNCMD_ReleaseParameters();
    free(name);
    for (char *n : names)
        free(n);
    return 0;
}
