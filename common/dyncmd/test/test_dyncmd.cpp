#include "dyncmd/ci_dyncmd.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

class DyncmdTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        DYNCMD_ReleaseParameters();
        char pattern[] = "/tmp/dyncmd_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }

    void TearDown() override
    {
        DYNCMD_ReleaseParameters();
        for (const std::string &path : files)
            unlink(path.c_str());
        rmdir(dir.c_str());
    }

    std::string writeFile(const std::string &name, const std::string &content)
    {
        std::string path = dir + "/" + name;
        FILE *f = fopen(path.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        if (f)
        {
            fwrite(content.data(), 1, content.size(), f);
            fclose(f);
        }
        files.push_back(path);
        return path;
    }

    // Adds a command line given as words (the program name is prepended).
    QOV_RESULT addCommandLine(std::vector<std::string> words, const char *pszSrc)
    {
        words.insert(words.begin(), "prog");
        std::vector<char *> argv;
        for (std::string &w : words)
            argv.push_back(w.data());
        argv.push_back(nullptr);
        return DYNCMD_AddCommandLine(static_cast<int>(words.size()), argv.data(), pszSrc);
    }

    // The token list as reported by the unregistered-token check, with a
    // probe option that is never given.
    std::vector<std::string> tokens()
    {
        int probe = 0;
        DYNCMD_RegisterParameter("-probe-never-given", DYNCMDTYPE_INT, "", &probe);
        QOV_UINT32 count = 0;
        testing::internal::CaptureStderr();
        EXPECT_EQ(DYNCMD_HasUnregisteredElements(&count), QOV_SUCCESS);
        std::string err = testing::internal::GetCapturedStderr();
        std::vector<std::string> result;
        size_t pos = 0;
        while ((pos = err.find("  '", pos)) != std::string::npos)
        {
            size_t end = err.find("' unknown parameter (", pos + 3);
            result.push_back(err.substr(pos + 3, end - pos - 3));
            pos = end;
        }
        EXPECT_EQ(result.size(), count);
        return result;
    }

    std::string dir;
    std::vector<std::string> files;
};

using Tokens = std::vector<std::string>;

TEST_F(DyncmdTest, OptionFileMixedWithCommandLine)
{
    std::string file = writeFile("opts.txt",
                                 "# camera options\n"
                                 "-width 640 # -height 999\n"
                                 "-height\t480\r\n"
                                 "-gain 1.5 2.5\n"
                                 "-enable 2\n"
                                 "-name from_file\n");
    ASSERT_EQ(addCommandLine({"-height", "111", "-width", "100", "-source", file, "-width", "800",
                              "-verbose", "-stray"},
                             "-source"),
              QOV_SUCCESS);

    int width = 0, height = 0;
    EXPECT_EQ(DYNCMD_RegisterParameter("-width", DYNCMDTYPE_INT, "image width", &width), RET_FOUND);
    EXPECT_EQ(width, 800);  // the command line after the file wins
    EXPECT_EQ(DYNCMD_RegisterParameter("-height", DYNCMDTYPE_INT, "image height", &height),
              RET_FOUND);
    EXPECT_EQ(height, 480);  // the file after the command line wins; the comment hides 999

    float gain[3] = {-1.f, -1.f, -1.f};
    EXPECT_EQ(DYNCMD_RegisterArray("-gain", DYNCMDTYPE_FLOAT, "gains", gain, 3), RET_INCOMPLETE);
    EXPECT_EQ(gain[0], 1.5f);
    EXPECT_EQ(gain[1], 2.5f);
    EXPECT_EQ(gain[2], -1.f);

    QOV_BOOL8 enable = 7;
    testing::internal::CaptureStderr();
    EXPECT_EQ(DYNCMD_RegisterParameter("-enable", DYNCMDTYPE_BOOL8, "enable", &enable),
              RET_INCORRECT);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "value 2 is not QOV_TRUE (1) nor QOV_FALSE (0)\n");
    EXPECT_EQ(enable, 2);

    char *name = nullptr;
    EXPECT_EQ(DYNCMD_RegisterParameter("-name", DYNCMDTYPE_STRING, "name", &name), RET_FOUND);
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name, "from_file");
    free(name);

    EXPECT_EQ(DYNCMD_RegisterParameter("-verbose", DYNCMDTYPE_COMMAND, "talk", nullptr), RET_FOUND);

    int other = 5;
    testing::internal::CaptureStderr();
    EXPECT_EQ(DYNCMD_RegisterParameter("-width", DYNCMDTYPE_INT, "again", &other), RET_ERROR);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "the parameter '-width' is already registered\n");
    EXPECT_EQ(other, 5);

    // Tokens: -height 111 -width 100 | -width 640 -height 480 -gain 1.5 2.5 -enable 2 -name
    // from_file | -width 800 -verbose -stray. The boolean 2 was not consumed.
    QOV_UINT32 unknown = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(DYNCMD_HasUnregisteredElements(&unknown), QOV_SUCCESS);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "  '2' unknown parameter (12)\n"
              "  '-stray' unknown parameter (18)\n");
    EXPECT_EQ(unknown, 2u);
}

TEST_F(DyncmdTest, UsageTextByteForByte)
{
    ASSERT_EQ(addCommandLine({}, "-source"), QOV_SUCCESS);
    int i = 0;
    unsigned u = 0;
    float f[3];
    QOV_BOOL8 b[2];
    char *s = nullptr;
    DYNCMD_RegisterParameter("-i", DYNCMDTYPE_INT, "an int", &i);
    DYNCMD_RegisterParameter("-u", DYNCMDTYPE_UINT, "an uint", &u);
    DYNCMD_RegisterArray("-f", DYNCMDTYPE_FLOAT, "floats", f, 3);
    DYNCMD_RegisterArray("-b", DYNCMDTYPE_BOOL8, "bools", b, 2);
    DYNCMD_RegisterParameter("-s", DYNCMDTYPE_STRING, "a string", &s);
    DYNCMD_RegisterParameter("-h", DYNCMDTYPE_COMMAND, "help", nullptr);
    DYNCMD_RegisterParameter("-x", static_cast<DYNCMDLINE_TYPE>(9), "odd", &i);

    testing::internal::CaptureStdout();
    DYNCMD_PrintUsage();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "usage()\n"
              "-source <string>\t: to load the configuration from a text file\n"
              "-i <int>\t: an int\n"
              "-u <uint>\t: an uint\n"
              "-f <float>x3\t: floats\n"
              "-b <bool=0/1>x2\t: bools\n"
              "-s <string>\t: a string\n"
              "-h \t: help\n"
              "-x <Unknown>\t: odd\n"
              "\n");
}

struct ConversionCase
{
    DYNCMDLINE_TYPE type;
    const char *text;
    DYNCMDLINE_RETURN_CODE ret;
    QOV_UINT32 bits;  // expected stored bytes, read as little-endian
};

TEST_F(DyncmdTest, ValueConversion)
{
    const ConversionCase cases[] = {
        {DYNCMDTYPE_INT, "42", RET_FOUND, 42},
        {DYNCMDTYPE_INT, "-7", RET_FOUND, 0xFFFFFFF9u},
        {DYNCMDTYPE_INT, "12abc", RET_FOUND, 12},  // stops at the first letter
        {DYNCMDTYPE_INT, "abc", RET_INCORRECT, 0xAAAAAAAAu},
        {DYNCMDTYPE_INT, "", RET_INCORRECT, 0xAAAAAAAAu},
        {DYNCMDTYPE_UINT, "4000000000", RET_FOUND, 4000000000u},
        {DYNCMDTYPE_FLOAT, "1.5", RET_FOUND, 0x3FC00000u},
        {DYNCMDTYPE_FLOAT, "-2", RET_FOUND, 0xC0000000u},
        {DYNCMDTYPE_FLOAT, "x1", RET_INCORRECT, 0xAAAAAAAAu},
        {DYNCMDTYPE_FLOAT, "nan", RET_INCORRECT, 0xAAAAAAAAu},  // would pass every range check
        {DYNCMDTYPE_FLOAT, "-NAN", RET_INCORRECT, 0xAAAAAAAAu},
        {DYNCMDTYPE_FLOAT, "inf", RET_FOUND, 0x7F800000u},
        {DYNCMDTYPE_UINT, "-1", RET_INCORRECT, 0xAAAAAAAAu},  // not 4294967295
        {DYNCMDTYPE_UINT, " -0", RET_INCORRECT, 0xAAAAAAAAu},
        {DYNCMDTYPE_UINT, "+7", RET_FOUND, 7},
        {DYNCMDTYPE_INT, "-1", RET_FOUND, 0xFFFFFFFFu},
        // each integer type to both ends of its range, and one beyond
        {DYNCMDTYPE_UINT, "4294967295", RET_FOUND, 0xFFFFFFFFu},
        {DYNCMDTYPE_UINT, "4294967296", RET_INCORRECT, 0xAAAAAAAAu},  // not 0
        {DYNCMDTYPE_UINT, "4294967298x", RET_INCORRECT, 0xAAAAAAAAu},
        {DYNCMDTYPE_UINT, "99999999999999999999", RET_INCORRECT, 0xAAAAAAAAu},
        {DYNCMDTYPE_INT, "2147483647", RET_FOUND, 0x7FFFFFFFu},
        {DYNCMDTYPE_INT, "2147483648", RET_INCORRECT, 0xAAAAAAAAu},
        {DYNCMDTYPE_INT, "-2147483648", RET_FOUND, 0x80000000u},
        {DYNCMDTYPE_INT, " -2147483649", RET_INCORRECT, 0xAAAAAAAAu},
        {DYNCMDTYPE_INT, "4294967297", RET_INCORRECT, 0xAAAAAAAAu},  // not 1
        {DYNCMDTYPE_BOOL8, "4294967297", RET_INCORRECT, 0xAAAAAAAAu},  // read as an int
        {DYNCMDTYPE_BOOL8, "1", RET_FOUND, 0xAAAAAA01u},
        {DYNCMDTYPE_BOOL8, "0", RET_FOUND, 0xAAAAAA00u},
        {DYNCMDTYPE_BOOL8, "256", RET_FOUND, 0xAAAAAA00u},   // low byte 0
        {DYNCMDTYPE_BOOL8, "2", RET_INCORRECT, 0xAAAAAA02u},  // stored, still refused
        {DYNCMDTYPE_BOOL8, "yes", RET_INCORRECT, 0xAAAAAAAAu},
        {static_cast<DYNCMDLINE_TYPE>(17), "1", RET_ERROR, 0xAAAAAAAAu},
    };
    for (const ConversionCase &c : cases)
    {
        SCOPED_TRACE(std::string("value '") + c.text + "' type " + std::to_string(c.type));
        unsigned char data[4];
        memset(data, 0xAA, sizeof(data));
        testing::internal::CaptureStderr();
        EXPECT_EQ(DYNCMD_getObjectFromString(c.type, c.text, data), c.ret);
        testing::internal::GetCapturedStderr();
        QOV_UINT32 bits = data[0] | data[1] << 8 | data[2] << 16 | static_cast<QOV_UINT32>(data[3]) << 24;
        EXPECT_EQ(bits, c.bits);
    }

    EXPECT_EQ(DYNCMD_getObjectFromString(DYNCMDTYPE_COMMAND, "x", nullptr), RET_FOUND);
    EXPECT_EQ(DYNCMD_getObjectFromString(DYNCMDTYPE_INT, "1", nullptr), RET_ERROR);

    // Array elements: booleans one byte apart, the others four.
    QOV_BOOL8 b[3] = {9, 9, 9};
    EXPECT_EQ(DYNCMD_getArrayFromString(DYNCMDTYPE_BOOL8, "1", b, 2), RET_FOUND);
    EXPECT_EQ(b[0], 9);
    EXPECT_EQ(b[2], 1);
    int v[3] = {9, 9, 9};
    EXPECT_EQ(DYNCMD_getArrayFromString(DYNCMDTYPE_INT, "5", v, 1), RET_FOUND);
    EXPECT_EQ(v[0], 9);
    EXPECT_EQ(v[1], 5);
    char *s = nullptr;
    EXPECT_EQ(DYNCMD_getArrayFromString(DYNCMDTYPE_STRING, "a", &s, 0), RET_INCORRECT);
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(DYNCMD_getArrayFromString(DYNCMDTYPE_COMMAND, "a", v, 0), RET_INCORRECT);
    // No text to read, no place to write, an unknown type: nothing written.
    EXPECT_EQ(DYNCMD_getObjectFromString(DYNCMDTYPE_INT, nullptr, v), RET_INCORRECT);
    EXPECT_EQ(DYNCMD_getArrayFromString(DYNCMDTYPE_INT, "7", nullptr, 0), RET_ERROR);
    EXPECT_EQ(DYNCMD_getArrayFromString(DYNCMDTYPE_INT, "7", v, -1), RET_ERROR);
    EXPECT_EQ(DYNCMD_getArrayFromString(static_cast<DYNCMDLINE_TYPE>(99), "7", v, 0), RET_ERROR);
    EXPECT_EQ(DYNCMD_getObjectFromString(static_cast<DYNCMDLINE_TYPE>(99), "7", v), RET_ERROR);
    EXPECT_EQ(v[0], 9);
    EXPECT_EQ(v[1], 5);
    EXPECT_EQ(v[2], 9);
}

TEST_F(DyncmdTest, RegistrationResults)
{
    ASSERT_EQ(addCommandLine({"-n", "5", "-a", "1", "2", "-n", "7", "-b", "256", "-last"}, ""),
              QOV_SUCCESS);

    int n = 0;
    EXPECT_EQ(DYNCMD_RegisterParameter("-n", DYNCMDTYPE_INT, "", &n), RET_FOUND);
    EXPECT_EQ(n, 7);

    int a[3] = {0, 0, 0};
    EXPECT_EQ(DYNCMD_RegisterArray("-a", DYNCMDTYPE_INT, "", a, 3), RET_INCOMPLETE);
    EXPECT_EQ(a[0], 1);
    EXPECT_EQ(a[1], 2);
    EXPECT_EQ(a[2], 0);  // "-n" does not convert

    QOV_BOOL8 b = 9;
    EXPECT_EQ(DYNCMD_RegisterParameter("-b", DYNCMDTYPE_BOOL8, "", &b), RET_FOUND);
    EXPECT_EQ(b, 0);

    int last = 3;
    EXPECT_EQ(DYNCMD_RegisterParameter("-last", DYNCMDTYPE_INT, "", &last), RET_INCORRECT);
    EXPECT_EQ(last, 3);

    int absent = 4;
    EXPECT_EQ(DYNCMD_RegisterParameter("-absent", DYNCMDTYPE_INT, "", &absent), RET_NOT_FOUND);
    EXPECT_EQ(absent, 4);

    QOV_UINT32 unknown = 99;
    testing::internal::CaptureStderr();
    EXPECT_EQ(DYNCMD_HasUnregisteredElements(&unknown), QOV_SUCCESS);
    // The first -n consumes 5, -a its two values, -b its value; -last consumed nothing.
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(unknown, 0u);
}

TEST_F(DyncmdTest, RefusedValuesNameTheirOption)
{
    ASSERT_EQ(addCommandLine({"-count", "-1", "-gain", "nan", "-pair", "3", "-4", "-level", "-2", "-many",
                              "4294967298", "-mode", "-2147483649"},
                             ""),
              QOV_SUCCESS);
    const struct
    {
        const char *flag;
        DYNCMDLINE_TYPE type;
        int n;
        DYNCMDLINE_RETURN_CODE ret;
        const char *message;  // standard error, empty for none
    } cases[] = {
        {"-count", DYNCMDTYPE_UINT, 1, RET_INCORRECT,
         "parameter '-count' refuses '-1': a negative number where an unsigned one is needed\n"},
        {"-gain", DYNCMDTYPE_FLOAT, 1, RET_INCORRECT, "parameter '-gain' refuses 'nan': not a number\n"},
        {"-pair", DYNCMDTYPE_UINT, 2, RET_INCOMPLETE,
         "parameter '-pair' refuses '-4': a negative number where an unsigned one is needed\n"},
        {"-level", DYNCMDTYPE_INT, 1, RET_FOUND, ""},
        {"-many", DYNCMDTYPE_UINT, 1, RET_INCORRECT,
         "parameter '-many' refuses '4294967298': a number beyond the unsigned range 0 to 4294967295\n"},
        {"-mode", DYNCMDTYPE_INT, 1, RET_INCORRECT,
         "parameter '-mode' refuses '-2147483649': a number beyond the int range -2147483648 to 2147483647\n"},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.flag);
        QOV_UINT32 values[2] = {5, 5};
        testing::internal::CaptureStderr();
        EXPECT_EQ(DYNCMD_RegisterArray(c.flag, c.type, "", values, c.n), c.ret);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
        if (c.ret == RET_INCORRECT)
        {
            EXPECT_EQ(values[0], 5u);  // the destination keeps its value
        }
    }
}

// An array reads values until one does not convert: none read is
// incorrect, some incomplete; the tokens not read stay unregistered.
TEST_F(DyncmdTest, ArrayValuesReadUpToTheFirstUnreadable)
{
    const struct
    {
        Tokens words;
        DYNCMDLINE_RETURN_CODE result;
        int a0, a1;
        QOV_UINT32 unknown;
    } cases[] = {
        {{"-a", "x", "2"}, RET_INCORRECT, 9, 9, 2},
        {{"-a"}, RET_INCORRECT, 9, 9, 0},
        {{"-a", "1", "x"}, RET_INCOMPLETE, 1, 9, 1},
        {{"-a", "1", "2", "3"}, RET_FOUND, 1, 2, 1},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(testing::PrintToString(c.words));
        DYNCMD_ReleaseParameters();
        ASSERT_EQ(addCommandLine(c.words, ""), QOV_SUCCESS);
        int a[2] = {9, 9};
        EXPECT_EQ(DYNCMD_RegisterArray("-a", DYNCMDTYPE_INT, "", a, 2), c.result);
        EXPECT_EQ(a[0], c.a0);
        EXPECT_EQ(a[1], c.a1);
        QOV_UINT32 unknown = 99;
        testing::internal::CaptureStderr();
        EXPECT_EQ(DYNCMD_HasUnregisteredElements(&unknown), QOV_SUCCESS);
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(unknown, c.unknown);
    }
}

TEST_F(DyncmdTest, RegistrationErrorsInOrder)
{
    char *s = nullptr;
    int i = 0;
    // Before anything is added.
    testing::internal::CaptureStderr();
    EXPECT_EQ(DYNCMD_RegisterArray("-s", DYNCMDTYPE_STRING, "", &s, 2), RET_ERROR);
    EXPECT_EQ(DYNCMD_RegisterArray("-c", DYNCMDTYPE_COMMAND, "", nullptr, 2), RET_ERROR);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    testing::internal::CaptureStderr();
    EXPECT_EQ(DYNCMD_RegisterParameter("-i", DYNCMDTYPE_INT, "", nullptr), RET_ERROR);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "You must give a data pointer when registering a data type\n");

    testing::internal::CaptureStderr();
    EXPECT_EQ(DYNCMD_RegisterParameter("-i", DYNCMDTYPE_INT, "", &i), RET_ERROR);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "You must add a command line or a file before registering a parameter\n");

    // Arguments without their array, or with a missing one, are refused.
    char arg0[] = "prog", arg1[] = "-i";
    char *gap[] = {arg0, arg1, nullptr, nullptr};
    EXPECT_EQ(DYNCMD_AddCommandLine(2, nullptr, nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(DYNCMD_AddCommandLine(3, gap, nullptr), QOV_ERROR_INVALID_ARGUMENT);
    DYNCMD_ReleaseParameters();

    QOV_UINT32 count = 0;
    EXPECT_EQ(DYNCMD_HasUnregisteredElements(nullptr), QOV_ERROR_INVALID_ARGUMENT);
    testing::internal::CaptureStderr();
    EXPECT_EQ(DYNCMD_HasUnregisteredElements(&count), QOV_ERROR_WRONG_STATE);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "no registered parameters or command line/ file not added\n");

    // Tokens added but nothing registered: the same refusal.
    ASSERT_EQ(addCommandLine({"-i", "3"}, nullptr), QOV_SUCCESS);
    testing::internal::CaptureStderr();
    EXPECT_EQ(DYNCMD_HasUnregisteredElements(&count), QOV_ERROR_WRONG_STATE);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "no registered parameters or command line/ file not added\n");
    DYNCMD_ReleaseParameters();

    // After a release the tokens must be added again.
    ASSERT_EQ(addCommandLine({"-i", "3"}, nullptr), QOV_SUCCESS);
    EXPECT_EQ(DYNCMD_RegisterParameter("-i", DYNCMDTYPE_INT, "", &i), RET_FOUND);
    DYNCMD_ReleaseParameters();
    testing::internal::CaptureStderr();
    EXPECT_EQ(DYNCMD_RegisterParameter("-i", DYNCMDTYPE_INT, "", &i), RET_ERROR);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "You must add a command line or a file before registering a parameter\n");
}

TEST_F(DyncmdTest, RegistryHoldsAtMost254Options)
{
    ASSERT_EQ(addCommandLine({}, ""), QOV_SUCCESS);
    int value = 0;
    for (int k = 0; k < 254; k++)
        ASSERT_EQ(DYNCMD_RegisterParameter(("-o" + std::to_string(k)).c_str(), DYNCMDTYPE_INT, "",
                                           &value),
                  RET_NOT_FOUND);
    testing::internal::CaptureStderr();
    EXPECT_EQ(DYNCMD_RegisterParameter("-one-more", DYNCMDTYPE_INT, "", &value), RET_ERROR);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Too many commandline params, try increasing the MAX_PARAMS (255) variable and "
              "recompile\n");
}

TEST_F(DyncmdTest, TokenLimits)
{
    const char *const tooMany = "MAX_PARAMS(255) is not big enought - recompile with larger one\n";
    std::vector<std::string> words;
    for (int k = 0; k < 254; k++)
        words.push_back(std::string("t") += std::to_string(k));
    EXPECT_EQ(addCommandLine(words, ""), QOV_SUCCESS);
    DYNCMD_ReleaseParameters();

    words.push_back("t254");
    testing::internal::CaptureStderr();
    EXPECT_EQ(addCommandLine(words, ""), QOV_ERROR_FAILURE);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), tooMany);
    DYNCMD_ReleaseParameters();

    words.push_back("t255");
    testing::internal::CaptureStderr();
    EXPECT_EQ(addCommandLine(words, ""), QOV_ERROR_FAILURE);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), tooMany);
    DYNCMD_ReleaseParameters();

    // A file alone may fill all 255 entries; one more token fails.
    std::string content;
    for (int k = 0; k < 255; k++) {
        content += "f";
        content += std::to_string(k);
        content += k % 10 == 9 ? "\n" : " ";
    }
    EXPECT_EQ(DYNCMD_AddFile(writeFile("full.txt", content).c_str(), "#"), QOV_SUCCESS);
    DYNCMD_ReleaseParameters();
    testing::internal::CaptureStderr();
    EXPECT_EQ(DYNCMD_AddFile(writeFile("over.txt", content + "extra\n").c_str(), "#"),
              QOV_ERROR_FAILURE);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), tooMany);
}

TEST_F(DyncmdTest, LongLinesAndCommentsStayWhole)
{
    // A token straddling column 253 and a comment of 1000 characters whose
    // tail holds option-like words.
    std::string longToken(40, 'k');
    std::string line1 = std::string(230, ' ') + "-a " + longToken + " -b 1\n";
    std::string comment = "#";
    while (comment.size() < 1000)
        comment += " -leak 9";
    std::string line2 = "-c 2 " + comment + "\n";
    std::string line3 = std::string(5000, 'z') + " -d 3 //x y\n";
    std::string line4 = "no#comment here\n#whole line\n\t  \r\n-e";  // no final line end
    std::string path = writeFile("long.txt", line1 + line2 + line3 + line4);

    ASSERT_EQ(DYNCMD_AddFile(path.c_str(), "#"), QOV_SUCCESS);
    EXPECT_EQ(tokens(), (Tokens{"-a", longToken, "-b", "1", "-c", "2", std::string(5000, 'z'),
                                "-d", "3", "//x", "y", "no#comment", "here", "-e"}));
    DYNCMD_ReleaseParameters();

    // A comment ends with its line: the next line's options count again.
    std::string lines = writeFile("lines.txt", "-a 1 # -b 2\n-c 3\n#\n-d 4");
    ASSERT_EQ(DYNCMD_AddFile(lines.c_str(), "#"), QOV_SUCCESS);
    EXPECT_EQ(tokens(), (Tokens{"-a", "1", "-c", "3", "-d", "4"}));
    DYNCMD_ReleaseParameters();

    // A comment text of several characters.
    std::string slashes = writeFile("slash.txt", "a/b //c d\ne // f\n/x #y\n");
    ASSERT_EQ(DYNCMD_AddFile(slashes.c_str(), "//"), QOV_SUCCESS);
    EXPECT_EQ(tokens(), (Tokens{"a/b", "e", "/x", "#y"}));
}

TEST_F(DyncmdTest, TokensKeepTheirOrderAcrossFilesAndArguments)
{
    std::string file = writeFile("part.txt", "b c\n");
    ASSERT_EQ(addCommandLine({"a", "-source", file, "d", "-source", file}, "-source"), QOV_SUCCESS);
    EXPECT_EQ(tokens(), (Tokens{"a", "b", "c", "d", "b", "c"}));
}

TEST_F(DyncmdTest, SourceFlagMatchesWholeArgumentOnly)
{
    std::string file = writeFile("s.txt", "-v 1\n");
    ASSERT_EQ(addCommandLine({"-sourceX", file}, "-source"), QOV_SUCCESS);
    EXPECT_EQ(tokens(), (Tokens{"-sourceX", file}));
}

// A second command line with the same source flag sources its files too,
// without registering the flag again.
TEST_F(DyncmdTest, SecondCommandLineKeepsTheSourceFlag)
{
    const std::string first = writeFile("first.txt", "-a 1\n");
    const std::string second = writeFile("second.txt", "-b 2\n");
    testing::internal::CaptureStderr();
    ASSERT_EQ(addCommandLine({"-source", first}, "-source"), QOV_SUCCESS);
    ASSERT_EQ(addCommandLine({"-source", second}, "-source"), QOV_SUCCESS);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    testing::internal::CaptureStdout();
    DYNCMD_PrintUsage();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "usage()\n-source <string>\t: to load the configuration from a text file\n\n");
    EXPECT_EQ(tokens(), (Tokens{"-a", "1", "-b", "2"}));
}

TEST_F(DyncmdTest, SourceFailures)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(addCommandLine({"-a", "-source"}, "-source"), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "parameter '-source' needs a file path as value\n");
    DYNCMD_ReleaseParameters();

    std::string missing = dir + "/missing.txt";
    testing::internal::CaptureStderr();
    EXPECT_EQ(addCommandLine({"-source", missing}, "-source"), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "failed to open file '" + missing + "' - errno 2\nfailed to source file '" + missing +
                  "'\n");
    DYNCMD_ReleaseParameters();

    testing::internal::CaptureStderr();
    EXPECT_EQ(DYNCMD_AddFile(missing.c_str(), "#"), QOV_ERROR_NOT_AVAILABLE);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "failed to open file '" + missing + "' - errno 2\n");
    EXPECT_EQ(DYNCMD_AddFile(nullptr, "#"), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(DYNCMD_AddFile(missing.c_str(), nullptr), QOV_ERROR_INVALID_ARGUMENT);

    // A failed open adds nothing: registration still needs input.
    int i = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(DYNCMD_RegisterParameter("-i", DYNCMDTYPE_INT, "", &i), RET_ERROR);
    testing::internal::GetCapturedStderr();
}

// Option files are read within the bounds of configuration text files, and
// a byte-order mark an editor put first does not hide the first option.
TEST_F(DyncmdTest, OptionFilesWithinBoundsAndWithAMark)
{
    const std::string marked = writeFile("marked.txt", "\xEF\xBB\xBF-a 1\n-b 2\n");
    ASSERT_EQ(addCommandLine({"-source", marked}, "-source"), QOV_SUCCESS);
    int a = 0;
    EXPECT_EQ(DYNCMD_RegisterParameter("-a", DYNCMDTYPE_INT, "", &a), RET_FOUND);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(tokens(), (Tokens{"-b", "2"}));
    DYNCMD_ReleaseParameters();

    // An endless device, then a line one byte beyond the bound after one
    // exactly at it; nothing of such a file is taken.
    const std::string longLine = writeFile(
        "long.txt", "-a 1\n" + std::string(65536, 'k') + "\n-b 2 " + std::string(65532, 'k') + "\n");
    const struct
    {
        std::string file;
        std::string problem;
    } cases[] = {
        {"/dev/zero", "file '/dev/zero': line 1 is longer than 65536 bytes\n"},
        {longLine, "file '" + longLine + "': line 3 is longer than 65536 bytes\n"},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.file);
        testing::internal::CaptureStderr();
        EXPECT_EQ(addCommandLine({"-x", "-source", c.file}, "-source"), QOV_ERROR_INVALID_ARGUMENT);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  c.problem + "failed to source file '" + c.file + "'\n");
        EXPECT_EQ(tokens(), (Tokens{"-x"}));
        DYNCMD_ReleaseParameters();

        testing::internal::CaptureStderr();
        EXPECT_EQ(DYNCMD_AddFile(c.file.c_str(), "#"), QOV_ERROR_NOT_SUPPORTED);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.problem);
        DYNCMD_ReleaseParameters();
    }
}

TEST_F(DyncmdTest, EmptyFileCountsAsAdded)
{
    ASSERT_EQ(DYNCMD_AddFile(writeFile("empty.txt", "").c_str(), "#"), QOV_SUCCESS);
    int i = 6;
    EXPECT_EQ(DYNCMD_RegisterParameter("-i", DYNCMDTYPE_INT, "", &i), RET_NOT_FOUND);
    EXPECT_EQ(i, 6);
}

}  // namespace
