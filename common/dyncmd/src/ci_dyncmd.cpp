#include "dyncmd/ci_dyncmd.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "vezaracommon/text_file.h"

namespace {

// The process-wide registry.
struct Registry
{
    char *apszTokens[DYNCMD_MAX_PARAMS];
    int nTokens;
    DYNCMDLINE_STRUCT asParams[DYNCMD_MAX_PARAMS];
    int nParams;
    bool bInputAdded;
    // Destination of the source flag's registration: its value is never
    // kept, but the registered option must point at storage that lives on.
    char *pszSourceValue;
};

Registry g_registry = {};

const char *const SOURCE_DESCRIPTION = "to load the configuration from a text file";

void printTooManyTokens()
{
    fprintf(stderr, "MAX_PARAMS(%d) is not big enought - recompile with larger one\n",
            DYNCMD_MAX_PARAMS);
}

char *copyText(const char *pszText, size_t len)
{
    char *pszCopy = static_cast<char *>(malloc(len + 1));
    if (pszCopy)
    {
        memcpy(pszCopy, pszText, len);
        pszCopy[len] = '\0';
    }
    return pszCopy;
}

// Appends a copy of a token; the caller has checked the capacity.
QOV_RESULT appendToken(const char *pszToken, size_t len)
{
    char *pszCopy = copyText(pszToken, len);
    if (!pszCopy)
    {
        fprintf(stderr, "failed to allocate copy of the string!\n");
        return QOV_ERROR_NO_MEMORY;
    }
    g_registry.apszTokens[g_registry.nTokens++] = pszCopy;
    return QOV_SUCCESS;
}

bool isTokenFull()
{
    return g_registry.nTokens >= DYNCMD_MAX_PARAMS;
}

DYNCMDLINE_STRUCT *findParameter(const char *pszFlag)
{
    for (int i = 0; i < g_registry.nParams; i++)
    {
        if (strcmp(g_registry.asParams[i].pszFlag, pszFlag) == 0)
            return &g_registry.asParams[i];
    }
    return nullptr;
}

const char *typeName(DYNCMDLINE_TYPE eType)
{
    switch (eType)
    {
    case DYNCMDTYPE_STRING:
        return "<string>";
    case DYNCMDTYPE_BOOL8:
        return "<bool=0/1>";
    case DYNCMDTYPE_FLOAT:
        return "<float>";
    case DYNCMDTYPE_UINT:
        return "<uint>";
    case DYNCMDTYPE_INT:
        return "<int>";
    case DYNCMDTYPE_COMMAND:
        return "";
    }
    return "<Unknown>";
}

bool isSeparator(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0';
}

// Appends the tokens of a file's text, each kept whole whatever its length.
// A token beginning with the comment text makes the rest of its line ignored.
QOV_RESULT appendTokens(const std::string &text, const char *pszComment)
{
    const size_t commentLen = strlen(pszComment);
    size_t at = 0;
    while (at < text.size())
    {
        if (isSeparator(text[at]))
        {
            at++;
            continue;
        }
        size_t end = at;
        while (end < text.size() && !isSeparator(text[end]))
            end++;
        if (commentLen > 0 && text.compare(at, commentLen, pszComment) == 0)
        {
            at = text.find('\n', at);
            continue;
        }
        if (isTokenFull())
        {
            printTooManyTokens();
            return QOV_ERROR_FAILURE;
        }
        QOV_RESULT ret = appendToken(text.data() + at, end - at);
        if (ret != QOV_SUCCESS)
            return ret;
        at = end;
    }
    return QOV_SUCCESS;
}

// Whether the integer at the start of a text (after blanks, with its sign)
// lies outside [lowest, highest]; a text that begins with no integer is not.
bool integerOutside(const char *pszParam, long long lowest, long long highest)
{
    char *pszEnd = nullptr;
    errno = 0;
    const long long value = strtoll(pszParam, &pszEnd, 10);
    if (pszEnd == pszParam)
        return false;
    return errno == ERANGE || value < lowest || value > highest;
}

// Why a value the conversion would read is refused, or null: "%u" takes a
// negative number as a huge one, an integer beyond its 4 bytes would be
// stored cut to them, and a float that is not a number passes every range
// check made with it. A boolean is read as an int.
const char *refusal(DYNCMDLINE_TYPE eType, const char *pszParam)
{
    if (eType == DYNCMDTYPE_UINT)
    {
        const char *pszNumber = pszParam + strspn(pszParam, " \t\r\n\f\v");
        if (*pszNumber == '-')
            return "a negative number where an unsigned one is needed";
        if (integerOutside(pszParam, 0, UINT_MAX))
            return "a number beyond the unsigned range 0 to 4294967295";
    }
    if ((eType == DYNCMDTYPE_INT || eType == DYNCMDTYPE_BOOL8) && integerOutside(pszParam, INT_MIN, INT_MAX))
        return "a number beyond the int range -2147483648 to 2147483647";
    float value = 0.0f;
    if (eType == DYNCMDTYPE_FLOAT && sscanf(pszParam, "%f", &value) == 1 && std::isnan(value))
        return "not a number";
    return nullptr;
}

// Converts a value of a registered option into its destination (element n of
// an array, or the single value for n < 0); a refused value is reported with
// the option's name.
DYNCMDLINE_RETURN_CODE convertValue(const DYNCMDLINE_STRUCT *pParam, const char *pszValue, int n)
{
    const DYNCMDLINE_RETURN_CODE ret =
        n < 0 ? DYNCMD_getObjectFromString(pParam->eParamType, pszValue, pParam->pvData)
              : DYNCMD_getArrayFromString(pParam->eParamType, pszValue, pParam->pvData, n);
    const char *pszWhy = ret == RET_INCORRECT ? refusal(pParam->eParamType, pszValue) : nullptr;
    if (pszWhy)
        fprintf(stderr, "parameter '%s' refuses '%s': %s\n", pParam->pszFlag, pszValue, pszWhy);
    return ret;
}

}  // namespace

QOV_RESULT DYNCMD_AddCommandLine(int argc, char **argv, const char *pszSrc)
{
    if (argc > 1 && !argv)
        return QOV_ERROR_INVALID_ARGUMENT;

    g_registry.bInputAdded = true;
    const bool bSource = pszSrc && pszSrc[0] != '\0';

    if (bSource && !findParameter(pszSrc))
    {
        // Makes the source flag known to the usage and to the check for
        // unregistered tokens, once; its own value is never kept.
        DYNCMD_RegisterParameter(pszSrc, DYNCMDTYPE_STRING, SOURCE_DESCRIPTION, &g_registry.pszSourceValue);
        free(g_registry.pszSourceValue);
        g_registry.pszSourceValue = nullptr;
    }

    for (int i = 1; i < argc; i++)
    {
        if (!argv[i])
            return QOV_ERROR_INVALID_ARGUMENT;

        if (bSource && strcmp(argv[i], pszSrc) == 0)
        {
            if (i + 1 >= argc || !argv[i + 1])
            {
                fprintf(stderr, "parameter '%s' needs a file path as value\n", argv[i]);
                return QOV_ERROR_INVALID_ARGUMENT;
            }
            i++;
            if (DYNCMD_AddFile(argv[i], "#") != QOV_SUCCESS)
            {
                fprintf(stderr, "failed to source file '%s'\n", argv[i]);
                return QOV_ERROR_INVALID_ARGUMENT;
            }
            continue;
        }

        if (isTokenFull())
        {
            printTooManyTokens();
            return QOV_ERROR_FAILURE;
        }
        QOV_RESULT ret = appendToken(argv[i], strlen(argv[i]));
        if (ret != QOV_SUCCESS)
            return ret;
    }

    if (isTokenFull())
    {
        printTooManyTokens();
        return QOV_ERROR_FAILURE;
    }
    return QOV_SUCCESS;
}

QOV_RESULT DYNCMD_AddFile(const char *pszFileName, const char *pszComment)
{
    if (!pszFileName || !pszComment)
        return QOV_ERROR_INVALID_ARGUMENT;

    FILE *pFile = fopen(pszFileName, "r");
    if (!pFile)
    {
        fprintf(stderr, "failed to open file '%s' - errno %d\n", pszFileName, errno);
        return QOV_ERROR_NOT_AVAILABLE;
    }
    g_registry.bInputAdded = true;

    std::string text, problem;
    QOV_RESULT ret = TEXTFILE_Read(pFile, pszFileName, text, problem);
    fclose(pFile);
    if (ret != QOV_SUCCESS)
    {
        fputs(problem.c_str(), stderr);
        return ret;
    }
    return appendTokens(text, pszComment);
}

DYNCMDLINE_RETURN_CODE DYNCMD_RegisterParameter(const char *pszPattern, DYNCMDLINE_TYPE eType,
                                                const char *pszDesc, void *pvData)
{
    return DYNCMD_RegisterArray(pszPattern, eType, pszDesc, pvData, 1);
}

DYNCMDLINE_RETURN_CODE DYNCMD_RegisterArray(const char *pszPattern, DYNCMDLINE_TYPE eType,
                                            const char *pszDesc, void *pvData, int uiNElem)
{
    if (!pszPattern)
        return RET_ERROR;
    if ((eType == DYNCMDTYPE_STRING || eType == DYNCMDTYPE_COMMAND) && uiNElem > 1)
        return RET_ERROR;
    if (!pvData && eType != DYNCMDTYPE_COMMAND)
    {
        fprintf(stderr, "You must give a data pointer when registering a data type\n");
        return RET_ERROR;
    }
    if (!g_registry.bInputAdded)
    {
        fprintf(stderr, "You must add a command line or a file before registering a parameter\n");
        return RET_ERROR;
    }
    if (findParameter(pszPattern))
    {
        fprintf(stderr, "the parameter '%s' is already registered\n", pszPattern);
        return RET_ERROR;
    }
    if (g_registry.nParams >= DYNCMD_MAX_PARAMS - 1)
    {
        fprintf(stderr,
                "Too many commandline params, try increasing the MAX_PARAMS (%d) variable and "
                "recompile\n",
                DYNCMD_MAX_PARAMS);
        return RET_ERROR;
    }

    char *pszFlag = copyText(pszPattern, strlen(pszPattern));
    if (!pszFlag)
    {
        fprintf(stderr, "failed to allocate copy of the string!\n");
        return RET_ERROR;
    }
    DYNCMDLINE_STRUCT *pParam = &g_registry.asParams[g_registry.nParams++];
    pParam->pszFlag = pszFlag;
    pParam->eParamType = eType;
    pParam->pszDesc = pszDesc;
    pParam->pvData = pvData;
    pParam->nElem = eType == DYNCMDTYPE_COMMAND ? 0 : uiNElem;
    pParam->nFound = 0;

    // The last occurrence wins.
    int flagPos = -1;
    for (int i = g_registry.nTokens - 1; i >= 0; i--)
    {
        if (strcmp(g_registry.apszTokens[i], pszFlag) == 0)
        {
            flagPos = i;
            break;
        }
    }
    if (flagPos < 0)
        return RET_NOT_FOUND;
    if (eType == DYNCMDTYPE_COMMAND || pParam->nElem < 1)
        return RET_FOUND;

    const int nAvailable = g_registry.nTokens - flagPos - 1;
    if (pParam->nElem == 1)
    {
        if (nAvailable < 1)
            return RET_INCORRECT;
        DYNCMDLINE_RETURN_CODE ret = convertValue(pParam, g_registry.apszTokens[flagPos + 1], -1);
        if (ret != RET_INCORRECT)
            pParam->nFound = 1;
        return ret;
    }

    int nRead = 0;
    while (nRead < pParam->nElem && nRead < nAvailable)
    {
        if (convertValue(pParam, g_registry.apszTokens[flagPos + 1 + nRead], nRead) != RET_FOUND)
            break;
        nRead++;
    }
    pParam->nFound = nRead;
    if (nRead == pParam->nElem)
        return RET_FOUND;
    return nRead > 0 ? RET_INCOMPLETE : RET_INCORRECT;
}

QOV_RESULT DYNCMD_HasUnregisteredElements(QOV_UINT32 *pui32Result)
{
    if (!pui32Result)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (g_registry.nParams == 0 || !g_registry.bInputAdded)
    {
        fprintf(stderr, "no registered parameters or command line/ file not added\n");
        return QOV_ERROR_WRONG_STATE;
    }

    QOV_UINT32 nUnknown = 0;
    int i = 0;
    while (i < g_registry.nTokens)
    {
        const DYNCMDLINE_STRUCT *pParam = findParameter(g_registry.apszTokens[i]);
        if (pParam)
        {
            i += 1 + pParam->nFound;
            continue;
        }
        fprintf(stderr, "  '%s' unknown parameter (%d)\n", g_registry.apszTokens[i], i);
        nUnknown++;
        i++;
    }
    *pui32Result = nUnknown;
    return QOV_SUCCESS;
}

void DYNCMD_PrintUsage()
{
    printf("usage()\n");
    for (int i = 0; i < g_registry.nParams; i++)
    {
        const DYNCMDLINE_STRUCT *pParam = &g_registry.asParams[i];
        printf("%s %s", pParam->pszFlag, typeName(pParam->eParamType));
        if (pParam->nElem > 1)
            printf("x%d", pParam->nElem);
        printf("\t: %s\n", pParam->pszDesc ? pParam->pszDesc : "");
    }
    printf("\n");
}

void DYNCMD_ReleaseParameters()
{
    for (int i = 0; i < g_registry.nParams; i++)
        free(g_registry.asParams[i].pszFlag);
    for (int i = 0; i < g_registry.nTokens; i++)
        free(g_registry.apszTokens[i]);
    g_registry = Registry{};
}

DYNCMDLINE_RETURN_CODE DYNCMD_getObjectFromString(DYNCMDLINE_TYPE eType, const char *pszParam,
                                                  void *pvData)
{
    if (eType == DYNCMDTYPE_COMMAND)
        return RET_FOUND;
    if (!pvData)
        return RET_ERROR;
    if (!pszParam)
        return RET_INCORRECT;

    if (refusal(eType, pszParam))
        return RET_INCORRECT;

    switch (eType)
    {
    case DYNCMDTYPE_STRING:
    {
        char *pszCopy = copyText(pszParam, strlen(pszParam));
        if (!pszCopy)
        {
            // Nothing was stored: the option is not reported as found.
            fprintf(stderr, "failed to allocate copy of the string!\n");
            return RET_ERROR;
        }
        *static_cast<char **>(pvData) = pszCopy;
        return RET_FOUND;
    }
    case DYNCMDTYPE_BOOL8:
    {
        int value = 0;
        if (sscanf(pszParam, "%d", &value) != 1)
            return RET_INCORRECT;
        const QOV_UINT8 byte = static_cast<QOV_UINT8>(value & 0xFF);
        *static_cast<QOV_BOOL8 *>(pvData) = byte;
        if (byte != QOV_FALSE && byte != QOV_TRUE)
        {
            fprintf(stderr, "value %d is not QOV_TRUE (%d) nor QOV_FALSE (%d)\n", value, QOV_TRUE,
                    QOV_FALSE);
            return RET_INCORRECT;
        }
        return RET_FOUND;
    }
    case DYNCMDTYPE_FLOAT:
        return sscanf(pszParam, "%f", static_cast<float *>(pvData)) == 1 ? RET_FOUND
                                                                          : RET_INCORRECT;
    case DYNCMDTYPE_UINT:
        return sscanf(pszParam, "%u", static_cast<unsigned int *>(pvData)) == 1 ? RET_FOUND
                                                                                 : RET_INCORRECT;
    case DYNCMDTYPE_INT:
        return sscanf(pszParam, "%d", static_cast<int *>(pvData)) == 1 ? RET_FOUND
                                                                        : RET_INCORRECT;
    case DYNCMDTYPE_COMMAND:
        break;
    }
    return RET_ERROR;
}

DYNCMDLINE_RETURN_CODE DYNCMD_getArrayFromString(DYNCMDLINE_TYPE eType, const char *pszParam,
                                                 void *pvData, int n)
{
    if (!pvData || n < 0)
        return RET_ERROR;

    size_t elementSize = 0;
    switch (eType)
    {
    case DYNCMDTYPE_BOOL8:
        elementSize = sizeof(QOV_BOOL8);
        break;
    case DYNCMDTYPE_FLOAT:
    case DYNCMDTYPE_UINT:
    case DYNCMDTYPE_INT:
        elementSize = 4;
        break;
    case DYNCMDTYPE_STRING:
    case DYNCMDTYPE_COMMAND:
        return RET_INCORRECT;
    default:
        return RET_ERROR;
    }
    return DYNCMD_getObjectFromString(eType, pszParam,
                                      static_cast<char *>(pvData) + elementSize * n);
}
