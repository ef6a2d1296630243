#include "vezaracommon/text_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <vector>

namespace {

const char UTF8_BOM[] = "\xEF\xBB\xBF";
const size_t UTF8_BOM_LEN = 3;
const size_t CHUNK_BYTES = 64 * 1024;

// Ends a failed read: no text, and the problem as one line.
QOV_RESULT refuse(std::string &text, std::string &problem, QOV_RESULT ret, const char *pszFormat, ...)
    __attribute__((format(printf, 4, 5)));

QOV_RESULT refuse(std::string &text, std::string &problem, QOV_RESULT ret, const char *pszFormat, ...)
{
    char line[1024];
    va_list args;
    va_start(args, pszFormat);
    vsnprintf(line, sizeof(line), pszFormat, args);
    va_end(args);
    text.clear();
    problem = line;
    return ret;
}

}  // namespace

QOV_RESULT TEXTFILE_Read(FILE *pFile, const char *pszName, std::string &text, std::string &problem)
{
    text.clear();
    problem.clear();
    if (!pFile || !pszName)
        return QOV_ERROR_INVALID_ARGUMENT;

    unsigned line = 1;
    size_t lineLength = 0;
    std::vector<char> chunk(CHUNK_BYTES);
    for (;;)
    {
        // One byte past the bound tells that the file is too large.
        const size_t wanted = std::min(CHUNK_BYTES, TEXTFILE_MAX_BYTES + 1 - text.size());
        const size_t got = fread(chunk.data(), 1, wanted, pFile);
        for (size_t i = 0; i < got; i++)
        {
            if (chunk[i] == '\n')
            {
                line++;
                lineLength = 0;
            }
            else if (++lineLength > TEXTFILE_MAX_LINE)
            {
                return refuse(text, problem, QOV_ERROR_NOT_SUPPORTED,
                              "file '%s': line %u is longer than %u bytes\n", pszName, line, TEXTFILE_MAX_LINE);
            }
        }
        text.append(chunk.data(), got);
        if (text.size() > TEXTFILE_MAX_BYTES)
            return refuse(text, problem, QOV_ERROR_NOT_SUPPORTED, "file '%s' is larger than %u bytes\n", pszName,
                          TEXTFILE_MAX_BYTES);
        if (got < wanted)
            break;
    }
    if (ferror(pFile))
        return refuse(text, problem, QOV_ERROR_FAILURE, "failed to read file '%s' - errno %d\n", pszName, errno);

    if (text.compare(0, UTF8_BOM_LEN, UTF8_BOM) == 0)
        text.erase(0, UTF8_BOM_LEN);
    return QOV_SUCCESS;
}
