// Configuration text files read whole within their bounds: a line or a
// file beyond them, an endless device and an unreadable file are refused
// with a line naming the file; a leading byte-order mark is dropped.
#include "vezaracommon/text_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace text_file_test {

class TextFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/text_file_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        file = dir + "/setup.txt";
    }

    void TearDown() override
    {
        unlink(file.c_str());
        rmdir(dir.c_str());
    }

    // Writes content to the test's file and reads it back.
    QOV_RESULT readBack(const std::string &content)
    {
        FILE *f = fopen(file.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        if (!f)
            return QOV_ERROR_FAILURE;
        fwrite(content.data(), 1, content.size(), f);
        fclose(f);
        return read(file);
    }

    QOV_RESULT read(const std::string &path)
    {
        FILE *f = fopen(path.c_str(), "r");
        EXPECT_NE(f, nullptr) << path;
        if (!f)
            return QOV_ERROR_FAILURE;
        text = "stale";
        problem = "stale";
        const QOV_RESULT ret = TEXTFILE_Read(f, path.c_str(), text, problem);
        fclose(f);
        return ret;
    }

    std::string dir, file, text, problem;
};

TEST_F(TextFileTest, ContentWithinTheBoundsIsReadWhole)
{
    const std::string longest(TEXTFILE_MAX_LINE, 'v');
    const struct
    {
        std::string content, text;
    } cases[] = {
        {"", ""},
        {"KEY 1\r\nLAST 2", "KEY 1\r\nLAST 2"},
        {"\xEF\xBB\xBFKEY 1\n", "KEY 1\n"},         // the mark is dropped
        {"\xEF\xBB\xBF", ""},
        {"\xEF\xBB\xBF\xEF\xBB\xBFK 1", "\xEF\xBB\xBFK 1"},  // one mark only
        {"K \xEF\xBB\xBF 1", "K \xEF\xBB\xBF 1"},    // not at the start: kept
        {"\xEF\xBBK", "\xEF\xBBK"},                  // part of a mark: kept
        {std::string("A\0B\n", 4), std::string("A\0B\n", 4)},
        {"A 1\n" + longest + "\n" + longest, "A 1\n" + longest + "\n" + longest},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(testing::PrintToString(c.content.substr(0, 20)));
        EXPECT_EQ(readBack(c.content), QOV_SUCCESS);
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(problem, "");
    }
}

TEST_F(TextFileTest, ALineBeyondItsBoundIsRefusedWithItsNumber)
{
    const std::string tooLong(TEXTFILE_MAX_LINE + 1, 'v');
    const struct
    {
        std::string content;
        unsigned line;
    } cases[] = {
        {tooLong, 1},
        {"A 1\n\n" + tooLong + "\nB 2\n", 3},
        {"A 1\n" + tooLong, 2},  // the last line, without a line end
        {std::string(TEXTFILE_MAX_LINE, ' ') + "\r\n", 1},  // a carriage return counts
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(readBack(c.content), QOV_ERROR_NOT_SUPPORTED);
        EXPECT_EQ(text, "");
        EXPECT_EQ(problem, "file '" + file + "': line " + std::to_string(c.line) +
                               " is longer than 65536 bytes\n");
    }
}

TEST_F(TextFileTest, AFileBeyondItsBoundIsRefused)
{
    // Short lines up to the bound are read, one byte more is not.
    std::string content(TEXTFILE_MAX_BYTES, '\n');
    EXPECT_EQ(readBack(content), QOV_SUCCESS);
    EXPECT_EQ(text.size(), content.size());

    content += 'x';
    EXPECT_EQ(readBack(content), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(text, "");
    EXPECT_EQ(problem, "file '" + file + "' is larger than 4194304 bytes\n");
}

TEST_F(TextFileTest, EndlessAndUnreadableFilesAreRefused)
{
    EXPECT_EQ(read("/dev/zero"), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(text, "");
    EXPECT_EQ(problem, "file '/dev/zero': line 1 is longer than 65536 bytes\n");

    // A folder opens for reading but cannot be read.
    EXPECT_EQ(read(dir), QOV_ERROR_FAILURE);
    EXPECT_EQ(text, "");
    EXPECT_EQ(problem, "failed to read file '" + dir + "' - errno 21\n");

    EXPECT_EQ(TEXTFILE_Read(nullptr, "x", text, problem), QOV_ERROR_INVALID_ARGUMENT);
}

}  // namespace text_file_test
