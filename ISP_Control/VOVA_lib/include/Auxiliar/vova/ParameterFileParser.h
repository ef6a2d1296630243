// Reads a setup file into a ParameterList and writes a list back, flat or in
// sections, one per registered group.
#ifndef VOVA_PARAMETERFILEPARSER_H
#define VOVA_PARAMETERFILEPARSER_H

#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "qov_types.h"
#include "vova/ParameterList.h"

namespace VOVA {

class ParameterFileParser {
public:
    /** The comment markers: "//" first, "#" only on lines without "//". */
    static constexpr const char *commentStr[2] = {"//", "#"};

    /** Reads a whole file, a leading UTF-8 byte-order mark skipped; an empty list with validFlag false when it
     * cannot be opened or read, or holds a line or a size beyond the bounds of vezaracommon/text_file.h. */
    static ParameterList parseFile(const std::string &filename);
    /** Reads lines into an existing list; a key given again replaces its values. */
    static QOV_RESULT parse(std::istream &fileStream, ParameterList &params);
    /** The tokens of a line, its comment (marker included) appended as the last token. */
    static std::vector<std::string> getTokens(const std::string &_line);
    static bool isComment(const std::string &token);
    /** An ASCII letter followed by ASCII letters, digits, "_" and "-". */
    static bool isValidTag(const std::string &token);

    /** Every entry with values, one line each, in tag order. */
    static QOV_RESULT save(const ParameterList &parameters, std::ostream &file);
    static QOV_RESULT save(const ParameterList &parameters, const std::string &filename);
    /** The entries group by group, then (optionally) those no group lists. */
    static QOV_RESULT saveGrouped(const ParameterList &parameters, std::ostream &file, bool bSaveUngroupped);
    static QOV_RESULT saveGrouped(const ParameterList &parameters, const std::string &filename,
                                  bool bSaveUngroupped);
};

}  // namespace VOVA

#endif  // VOVA_PARAMETERFILEPARSER_H
