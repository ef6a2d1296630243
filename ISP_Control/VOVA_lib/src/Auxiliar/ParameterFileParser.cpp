#include "vova/ParameterFileParser.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "vezaracommon/text_file.h"
#include "vezaracommon/userlog.h"

#define LOG_TAG "VOVA_FILEPARSER"

namespace VOVA {

namespace {

const char *const DELIMITERS = " \t\n\r";

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// The tag, one blank before each value, " // " and the info when set, then a
// line feed; the line is flushed so that a failed write shows at once.
void writeEntry(std::ostream &os, const Parameter &param)
{
    os << param.getTag();
    for (const std::string &value : param)
        os << " " << value;
    if (!param.getInfo().empty())
        os << " // " << param.getInfo();
    os << std::endl;
}

template <typename Writer>
QOV_RESULT saveToFile(const std::string &filename, Writer writer)
{
    std::ofstream file(filename.c_str(), std::ios::out | std::ios::trunc);
    if (!file.is_open())
        return QOV_ERROR_FAILURE;
    QOV_RESULT ret = writer(file);
    file.close();
    if (ret != QOV_SUCCESS || file.fail()) {
        LOG_ERROR("Failed to write file: %s\n", filename.c_str());
        return QOV_ERROR_FAILURE;
    }
    return QOV_SUCCESS;
}

}  // namespace

bool ParameterFileParser::isComment(const std::string &token)
{
    return token.compare(0, 2, commentStr[0]) == 0 || token.compare(0, 1, commentStr[1]) == 0;
}

bool ParameterFileParser::isValidTag(const std::string &token)
{
    if (token.empty() || !isAsciiLetter(token[0]))
        return false;
    for (char c : token) {
        if (!isAsciiLetter(c) && !isAsciiDigit(c) && c != '_' && c != '-')
            return false;
    }
    return true;
}

std::vector<std::string> ParameterFileParser::getTokens(const std::string &_line)
{
    std::vector<std::string> tokens;
    std::string comment;
    std::string line = _line;

    // "//" anywhere starts the comment; "#" only does on a line without "//".
    size_t pos = line.find(commentStr[0]);
    if (pos == std::string::npos)
        pos = line.find(commentStr[1]);
    if (pos != std::string::npos) {
        comment = line.substr(pos);
        line.erase(pos);
    }

    size_t start = line.find_first_not_of(DELIMITERS);
    while (start != std::string::npos) {
        size_t stop = line.find_first_of(DELIMITERS, start);
        tokens.push_back(line.substr(start, stop == std::string::npos ? std::string::npos : stop - start));
        start = stop == std::string::npos ? stop : line.find_first_not_of(DELIMITERS, stop);
    }

    if (!comment.empty())
        tokens.push_back(comment);
    return tokens;
}

QOV_RESULT ParameterFileParser::parse(std::istream &fileStream, ParameterList &params)
{
    std::string line;
    // Stops at the end of the stream and equally on a read error, keeping the
    // lines read so far.
    while (std::getline(fileStream, line)) {
        const std::vector<std::string> tokens = getTokens(line);
        if (tokens.size() < 2 || isComment(tokens[0]) || !isValidTag(tokens[0]))
            continue;

        size_t last = 1;
        while (last < tokens.size() && !isComment(tokens[last]))
            last++;
        if (last == 1)
            continue;  // a tag followed at once by a comment

        Parameter param(tokens[0], tokens[1]);
        for (size_t i = 2; i < last; i++)
            param.addValue(tokens[i]);
        params.addParameter(param, true);
    }
    return QOV_SUCCESS;
}

ParameterList ParameterFileParser::parseFile(const std::string &filename)
{
    ParameterList params;
    std::error_code ec;
    FILE *file = nullptr;
    // A directory opens for reading but cannot be read: refuse it like a missing file.
    if (!std::filesystem::is_directory(filename, ec))
        file = fopen(filename.c_str(), "r");
    if (!file) {
        LOG_ERROR("Failed to open file: %s\n", filename.c_str());
        params.validFlag = false;
        return params;
    }
    std::string text, problem;
    const QOV_RESULT ret = TEXTFILE_Read(file, filename.c_str(), text, problem);
    fclose(file);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("%s", problem.c_str());
        params.validFlag = false;
        return params;
    }
    std::istringstream lines(text);
    parse(lines, params);
    return params;
}

QOV_RESULT ParameterFileParser::save(const ParameterList &parameters, std::ostream &file)
{
    for (const auto &entry : parameters) {
        if (!file)
            break;
        const Parameter &param = entry.second;
        if (entry.first.empty() || param.size() == 0) {
            LOG_WARNING("Failed to save parameter '%s' which has %d values\n", entry.first.c_str(),
                        static_cast<int>(param.size()));
            continue;
        }
        writeEntry(file, param);
    }
    return file ? QOV_SUCCESS : QOV_ERROR_FAILURE;
}

QOV_RESULT ParameterFileParser::save(const ParameterList &parameters, const std::string &filename)
{
    return saveToFile(filename, [&parameters](std::ostream &os) { return save(parameters, os); });
}

QOV_RESULT ParameterFileParser::saveGrouped(const ParameterList &parameters, std::ostream &file,
                                            bool bSaveUngroupped)
{
    for (auto group = parameters.groupsBegin(); group != parameters.groupsEnd(); ++group) {
        file << group->second.header << "\n";
        for (const std::string &tag : group->second.parameters) {
            if (!file)
                break;
            const Parameter *param = parameters.getParameter(tag);
            if (param)
                writeEntry(file, *param);
        }
        file << "\n";
    }

    if (bSaveUngroupped) {
        file << "\n";
        bool headerWritten = false;
        for (const auto &entry : parameters) {
            if (!file)
                break;
            if (entry.first.empty() || entry.second.size() == 0 || parameters.isInGroup(entry.first))
                continue;
            if (!headerWritten) {
                file << "// Ungrouped parameters\n";
                headerWritten = true;
            }
            writeEntry(file, entry.second);
        }
    }
    file.flush();
    return file ? QOV_SUCCESS : QOV_ERROR_FAILURE;
}

QOV_RESULT ParameterFileParser::saveGrouped(const ParameterList &parameters, const std::string &filename,
                                            bool bSaveUngroupped)
{
    return saveToFile(filename, [&parameters, bSaveUngroupped](std::ostream &os) {
        return saveGrouped(parameters, os, bSaveUngroupped);
    });
}

}  // namespace VOVA
