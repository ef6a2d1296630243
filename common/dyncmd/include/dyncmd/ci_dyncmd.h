// Process-wide option parser.
//
// Tokens are gathered from the command line and from option files into one
// flat list; each option is then registered with its flag, value type,
// description and destination, and the registration itself finds the last
// occurrence of the flag and converts the values that follow it.
//
// Calling order: add the command line and/or files, register every option,
// optionally check for unregistered tokens and print the usage, then release.
// One registry per process, used from one thread (no locking).
// Complaints are written straight to standard error, the usage to standard
// output.
#ifndef DYNCMD_CI_DYNCMD_H
#define DYNCMD_CI_DYNCMD_H

#include "qov_types.h"

// Capacity of the token list and of the option registry. At most 254
// options can be registered.
#define DYNCMD_MAX_PARAMS 255

// Fixed underlying type: any int value may be passed, unknown ones are
// reported rather than undefined.
typedef enum : int
{
    DYNCMDTYPE_STRING = 0,   // a newly allocated copy stored as char* (the caller frees it)
    DYNCMDTYPE_BOOL8 = 1,    // one byte, 0 or 1
    DYNCMDTYPE_FLOAT = 2,    // 4-byte float
    DYNCMDTYPE_UINT = 3,     // 4-byte unsigned
    DYNCMDTYPE_INT = 4,      // 4-byte signed
    DYNCMDTYPE_COMMAND = 5,  // a flag without value
} DYNCMDLINE_TYPE;

typedef enum : int
{
    RET_FOUND = 0,
    RET_NOT_FOUND = 1,
    RET_INCORRECT = 2,   // value missing or not parsable
    RET_INCOMPLETE = 3,  // fewer values than asked, at least one
    RET_ERROR = 4,       // the registration itself is wrong
} DYNCMDLINE_RETURN_CODE;

// One registered option.
typedef struct
{
    QOV_CHAR *pszFlag;          // copy owned by the registry
    DYNCMDLINE_TYPE eParamType;
    const QOV_CHAR *pszDesc;    // the caller's text, not copied
    void *pvData;               // the caller's destination
    int nElem;                  // number of values (0 for a command)
    int nFound;                 // number of values read at registration
} DYNCMDLINE_STRUCT;

// Appends argv[1..argc-1] to the token list. With a non-empty pszSrc, an
// argument equal to pszSrc names an option file (next argument) whose tokens
// are inserted in its place; pszSrc is registered as a string option.
QOV_RESULT DYNCMD_AddCommandLine(int argc, char **argv, const char *pszSrc);

// Appends the tokens of a text file. A token beginning with pszComment
// ends its line. A leading UTF-8 byte-order mark is skipped; a file or a line
// beyond the bounds of vezaracommon/text_file.h is refused with a message
// naming the file.
QOV_RESULT DYNCMD_AddFile(const char *pszFileName, const char *pszComment);

DYNCMDLINE_RETURN_CODE DYNCMD_RegisterParameter(const char *pszPattern, DYNCMDLINE_TYPE eType,
                                                const char *pszDesc, void *pvData);

DYNCMDLINE_RETURN_CODE DYNCMD_RegisterArray(const char *pszPattern, DYNCMDLINE_TYPE eType,
                                            const char *pszDesc, void *pvData, int uiNElem);

// Counts the tokens that are neither a registered flag nor a value consumed
// by one, and prints each of them.
QOV_RESULT DYNCMD_HasUnregisteredElements(QOV_UINT32 *pui32Result);

void DYNCMD_PrintUsage();

// Frees the registry and the token list; strings already handed out stay
// with their owners.
void DYNCMD_ReleaseParameters();

// Converts one value text into pvData. A negative number for an unsigned
// value, an integer beyond the range of its type (an int's for a boolean) and
// a float that is not a number are refused (RET_INCORRECT, nothing stored);
// a registration reports such a value with the option's name.
DYNCMDLINE_RETURN_CODE DYNCMD_getObjectFromString(DYNCMDLINE_TYPE eType, const char *pszParam,
                                                  void *pvData);

// Converts one value text into element n of the array pvData.
DYNCMDLINE_RETURN_CODE DYNCMD_getArrayFromString(DYNCMDLINE_TYPE eType, const char *pszParam,
                                                 void *pvData, int n);

#endif
