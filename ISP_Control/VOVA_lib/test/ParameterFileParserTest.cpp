// Setup-file reading and writing: comment rules, malformed lines, repeated
// keys, exact text of both writers, round trips and failing files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "module_test_support.h"
#include "vova/ParameterFileParser.h"

using namespace VOVA;

namespace {

using Values = std::vector<std::string>;

ParameterList parseText(const std::string &text)
{
    std::istringstream in(text);
    ParameterList list;
    EXPECT_EQ(QOV_SUCCESS, ParameterFileParser::parse(in, list));
    return list;
}

// A stream buffer that accepts only a fixed number of characters, then fails
// like a full disk.
class LimitedBuffer : public std::streambuf {
public:
    explicit LimitedBuffer(size_t capacity) : left(capacity) {}
    std::string written;

protected:
    int_type overflow(int_type c) override
    {
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::not_eof(c);
        if (left == 0)
            return traits_type::eof();
        left--;
        written += traits_type::to_char_type(c);
        return c;
    }

private:
    size_t left;
};

class TempDir : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = std::filesystem::temp_directory_path() /
              ("vova_parser_" + std::to_string(getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string path(const std::string &name) const { return (dir / name).string(); }

    std::filesystem::path dir;
};

// The two sections of the example layout plus one key that no group lists.
ParameterList exampleList()
{
    ParameterList list;
    list.addParameter(Parameter("BLC_SENSOR_BLACK", Values{"1", "2", "3", "4"}), true);
    list.addParameter(Parameter("BLC_SYS_BLACK", "64").setInfo("int range=[0,4095]"), true);
    list.addParameter(Parameter("SENSOR_BITDEPTH"), true);  // no values, listed by a group
    list.addParameter(Parameter("SENSOR_GAIN", "1.5"), true);
    list.addParameter(Parameter("ZZZ_UNGROUPED", Values{"a", "b"}), true);
    list.addParameter(Parameter("NO_VALUES_UNGROUPED"), true);
    list.addGroup("Sensor",
                  vovatest::groupOf("// Sensor information", {"SENSOR_GAIN", "SENSOR_BITDEPTH", "SENSOR_ABSENT"}));
    list.addGroup("ModuleBLC",
                  vovatest::groupOf("// Black Level Correction parameters", {"BLC_SYS_BLACK", "BLC_SENSOR_BLACK"}));
    return list;
}

TEST(ParameterFileParser, TagsAndComments)
{
    for (const char *tag : {"A", "BLC_SYS_BLACK", "K-1_x", "lower9"})
        EXPECT_TRUE(ParameterFileParser::isValidTag(tag)) << tag;
    for (const char *tag : {"", "1KEY", "_KEY", "-KEY", "KEY.X", "KEY/X", "K\xC3\xA9"})
        EXPECT_FALSE(ParameterFileParser::isValidTag(tag)) << tag;

    EXPECT_TRUE(ParameterFileParser::isComment("//x"));
    EXPECT_TRUE(ParameterFileParser::isComment("#"));
    EXPECT_FALSE(ParameterFileParser::isComment("/x"));
    EXPECT_FALSE(ParameterFileParser::isComment("a#"));

    EXPECT_EQ((Values{"KEY", "1", "// c # d"}), ParameterFileParser::getTokens("\tKEY  1 // c # d"));
    EXPECT_EQ((Values{"KEY", "a#b", "#c", "// e"}), ParameterFileParser::getTokens("KEY a#b #c// e"));
    EXPECT_EQ((Values{"KEY", "a", "#b c"}), ParameterFileParser::getTokens("KEY a#b c"));
    EXPECT_EQ((Values{"K", "v"}), ParameterFileParser::getTokens(" K\tv\r"));
    EXPECT_TRUE(ParameterFileParser::getTokens(" \t\r").empty());
}

TEST(ParameterFileParser, TrickyLines)
{
    const std::string text =
        "// a comment line\n"
        "# a hash comment line\n"
        "KEY_A 1 2 3\n"
        "   \tKEY_INDENTED\t4   5\n"
        "TAG_ALONE\n"
        "TAG_COMMENT // comment 1\n"
        "TAG_HASH #1\n"
        "URL /a//b c\n"
        "HASHVAL a#b c\n"
        "MIXED a#b #c d // end\n"
        "HASHFIRST #x y // end\n"
        "1BAD 3\n"
        "BAD.TAG 3\n"
        "-dash 1\n"
        "REPEAT 1 2\n"
        "REPEAT 3\n"
        "CRLF 7 8\r\n"
        "\r\n"
        "K-dash_9 x\n"
        "LAST 9";
    ParameterList list = parseText(text);

    ParameterList expected;
    expected.addParameter(Parameter("KEY_A", Values{"1", "2", "3"}), true);
    expected.addParameter(Parameter("KEY_INDENTED", Values{"4", "5"}), true);
    expected.addParameter(Parameter("URL", "/a"), true);
    expected.addParameter(Parameter("HASHVAL", "a"), true);
    expected.addParameter(Parameter("MIXED", "a#b"), true);
    expected.addParameter(Parameter("REPEAT", "3"), true);
    expected.addParameter(Parameter("CRLF", Values{"7", "8"}), true);
    expected.addParameter(Parameter("K-dash_9", "x"), true);
    expected.addParameter(Parameter("LAST", "9"), true);
    EXPECT_EQ(expected, list) << list;
}

TEST(ParameterFileParser, ParseIntoExistingListKeepsOtherEntries)
{
    ParameterList list;
    list.addParameter(Parameter("KEPT", "1"), true);
    list.addParameter(Parameter("REPLACED", Values{"1", "2"}), true);
    std::istringstream in("REPLACED 3\n");
    ParameterFileParser::parse(in, list);
    EXPECT_EQ("1", list.getParameter("KEPT")->getString(0));
    EXPECT_EQ(Values{"3"}, list.getParameter("REPLACED")->getValues());
}

TEST(ParameterFileParser, GroupedWriterExactText)
{
    const ParameterList list = exampleList();
    std::ostringstream out;
    ASSERT_EQ(QOV_SUCCESS, ParameterFileParser::saveGrouped(list, out, true));
    EXPECT_EQ("// Black Level Correction parameters\n"
              "BLC_SENSOR_BLACK 1 2 3 4\n"
              "BLC_SYS_BLACK 64 // int range=[0,4095]\n"
              "\n"
              "// Sensor information\n"
              "SENSOR_BITDEPTH\n"
              "SENSOR_GAIN 1.5\n"
              "\n"
              "\n"
              "// Ungrouped parameters\n"
              "ZZZ_UNGROUPED a b\n",
              out.str());

    std::ostringstream groupedOnly;
    ParameterFileParser::saveGrouped(list, groupedOnly, false);
    EXPECT_EQ("// Black Level Correction parameters\n"
              "BLC_SENSOR_BLACK 1 2 3 4\n"
              "BLC_SYS_BLACK 64 // int range=[0,4095]\n"
              "\n"
              "// Sensor information\n"
              "SENSOR_BITDEPTH\n"
              "SENSOR_GAIN 1.5\n"
              "\n",
              groupedOnly.str());
}

TEST(ParameterFileParser, GroupedWriterEdgeLayouts)
{
    ParameterList allGrouped;
    allGrouped.addParameter(Parameter("KEY", "1"), true);
    allGrouped.addGroup("G", vovatest::groupOf("// G", {"KEY"}));
    std::ostringstream out;
    ParameterFileParser::saveGrouped(allGrouped, out, true);
    EXPECT_EQ("// G\nKEY 1\n\n\n", out.str());

    ParameterList noGroups;
    noGroups.addParameter(Parameter("KEY", "1"), true);
    std::ostringstream out2;
    ParameterFileParser::saveGrouped(noGroups, out2, true);
    EXPECT_EQ("\n// Ungrouped parameters\nKEY 1\n", out2.str());

    // a key listed by two groups is written in both sections
    allGrouped.addGroup("H", vovatest::groupOf("// H", {"KEY"}));
    std::ostringstream out3;
    ParameterFileParser::saveGrouped(allGrouped, out3, false);
    EXPECT_EQ("// G\nKEY 1\n\n// H\nKEY 1\n\n", out3.str());
}

TEST(ParameterFileParser, FlatWriterSkipsEntriesWithoutValues)
{
    ParameterList list = exampleList();
    list.addParameter(Parameter("", "x"), true);
    std::ostringstream out;
    testing::internal::CaptureStderr();
    ASSERT_EQ(QOV_SUCCESS, ParameterFileParser::save(list, out));
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ("BLC_SENSOR_BLACK 1 2 3 4\n"
              "BLC_SYS_BLACK 64 // int range=[0,4095]\n"
              "SENSOR_GAIN 1.5\n"
              "ZZZ_UNGROUPED a b\n",
              out.str());
    EXPECT_NE(std::string::npos,
              log.find("WARNING [VOVA_FILEPARSER]: save() Failed to save parameter 'NO_VALUES_UNGROUPED' which "
                       "has 0 values\n"));
    EXPECT_NE(std::string::npos, log.find("Failed to save parameter 'SENSOR_BITDEPTH' which has 0 values\n"));
    EXPECT_NE(std::string::npos, log.find("Failed to save parameter '' which has 0 values\n"));
}

TEST(ParameterFileParser, RoundTripThroughText)
{
    ParameterList list = exampleList();
    list.addParameter(Parameter("SPACE", "two words"), true);
    list.addParameter(Parameter("CUT", "/a//b"), true);
    std::ostringstream out;
    ParameterFileParser::saveGrouped(list, out, true);
    ParameterList back = parseText(out.str());

    // What a file cannot carry: entries without values, blanks and comment
    // markers inside values; info texts and groups are not compared.
    ParameterList expected = exampleList();
    expected.removeParameter("SENSOR_BITDEPTH");
    expected.removeParameter("NO_VALUES_UNGROUPED");
    expected.addParameter(Parameter("SPACE", Values{"two", "words"}), true);
    expected.addParameter(Parameter("CUT", "/a"), true);
    EXPECT_EQ(expected, back) << back;
    EXPECT_FALSE(back.hasGroup("ModuleBLC"));
}

TEST_F(TempDir, FileRoundTripAndFileForms)
{
    const std::string file = path("setup.txt");
    {
        std::ofstream f(file, std::ios::binary);
        f << "# camera setup\r\nKEY 1 2\r\nKEY2 x // note\r\nLAST 5";
    }
    ParameterList read = ParameterFileParser::parseFile(file);
    EXPECT_TRUE(read.validFlag);
    ASSERT_EQ(3u, read.size());
    EXPECT_EQ((Values{"1", "2"}), read.getParameter("KEY")->getValues());
    EXPECT_EQ(Values{"5"}, read.getParameter("LAST")->getValues());

    const std::string saved = path("saved.txt");
    ASSERT_EQ(QOV_SUCCESS, ParameterFileParser::save(read, saved));
    EXPECT_EQ(read, ParameterFileParser::parseFile(saved));

    {
        std::ofstream f(saved);
        f << "STALE CONTENT THAT IS LONGER THAN WHAT FOLLOWS\n";
    }
    ParameterList grouped = exampleList();
    ASSERT_EQ(QOV_SUCCESS, ParameterFileParser::saveGrouped(grouped, saved, true));
    std::ifstream in(saved);
    std::stringstream content;
    content << in.rdbuf();
    std::ostringstream direct;
    ParameterFileParser::saveGrouped(grouped, direct, true);
    EXPECT_EQ(direct.str(), content.str());  // the file was emptied first
}

// The grouped writer hands its text on before it returns: a file the caller
// keeps open already holds all of it, the blank line that closes the last
// group too.
TEST_F(TempDir, GroupedTextIsInAnOpenFileWhenTheWriterReturns)
{
    const ParameterList list = exampleList();
    for (bool ungrouped : {false, true}) {
        std::ostringstream expected;
        ASSERT_EQ(QOV_SUCCESS, ParameterFileParser::saveGrouped(list, expected, ungrouped));
        const std::string file = path(ungrouped ? "all.txt" : "grouped.txt");
        std::ofstream open(file);
        ASSERT_EQ(QOV_SUCCESS, ParameterFileParser::saveGrouped(list, open, ungrouped));
        std::ifstream in(file);
        std::stringstream content;
        content << in.rdbuf();
        EXPECT_EQ(expected.str(), content.str()) << ungrouped;
    }
}

TEST_F(TempDir, FilesThatCannotBeRead)
{
    const std::string missing = path("missing.txt");
    testing::internal::CaptureStderr();
    ParameterList list = ParameterFileParser::parseFile(missing);
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(list.validFlag);
    EXPECT_EQ(0u, list.size());
    EXPECT_EQ(0u, log.find("ERROR [VOVA_FILEPARSER]: parseFile():"));
    EXPECT_NE(std::string::npos, log.find(" Failed to open file: " + missing + "\n"));

    testing::internal::CaptureStderr();
    ParameterList fromDir = ParameterFileParser::parseFile(dir.string());
    log = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(fromDir.validFlag);
    EXPECT_EQ(0u, fromDir.size());
    EXPECT_NE(std::string::npos, log.find("Failed to open file: " + dir.string() + "\n"));
}

// A setup file is read within the bounds of configuration text files: an
// endless device or an over-long line gives an invalid, empty list with a
// message naming the file, not a list of what came before.
TEST_F(TempDir, FilesBeyondTheBoundsAreRefused)
{
    const std::string longLine = path("long.txt");
    std::ofstream(longLine) << "KEY 1\nOTHER " << std::string(65530, '9') << "\nLONG " << std::string(65532, '9')
                            << "\nLAST 2\n";
    const struct {
        std::string file;
        std::string problem;
    } cases[] = {
        {"/dev/zero", "file '/dev/zero': line 1 is longer than 65536 bytes\n"},
        {longLine, "file '" + longLine + "': line 3 is longer than 65536 bytes\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        testing::internal::CaptureStderr();
        const ParameterList list = ParameterFileParser::parseFile(c.file);
        const std::string log = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(list.validFlag);
        EXPECT_EQ(0u, list.size());
        EXPECT_EQ(0u, log.find("ERROR [VOVA_FILEPARSER]: parseFile():")) << log;
        EXPECT_NE(std::string::npos, log.find(c.problem)) << log;
    }
}

// A byte-order mark that an editor put first does not hide the first key.
TEST_F(TempDir, LeadingByteOrderMarkIsSkipped)
{
    const std::string file = path("marked.txt");
    std::ofstream(file, std::ios::binary) << "\xEF\xBB\xBF" << "FIRST 1\nSECOND 2 3\n";
    const ParameterList list = ParameterFileParser::parseFile(file);
    EXPECT_TRUE(list.validFlag);
    ASSERT_EQ(2u, list.size());
    ASSERT_NE(nullptr, list.getParameter("FIRST"));
    EXPECT_EQ(Values{"1"}, list.getParameter("FIRST")->getValues());
    EXPECT_EQ((Values{"2", "3"}), list.getParameter("SECOND")->getValues());
}

TEST_F(TempDir, FailedWritesAreReported)
{
    const ParameterList list = exampleList();
    // cannot be opened: no message
    testing::internal::CaptureStderr();
    EXPECT_EQ(QOV_ERROR_FAILURE, ParameterFileParser::save(list, path("no/such/dir/x.txt")));
    EXPECT_EQ(QOV_ERROR_FAILURE, ParameterFileParser::saveGrouped(list, dir.string(), true));
    EXPECT_EQ("", testing::internal::GetCapturedStderr());

    if (std::filesystem::exists("/dev/full")) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(QOV_ERROR_FAILURE, ParameterFileParser::save(list, "/dev/full"));
        EXPECT_EQ(QOV_ERROR_FAILURE, ParameterFileParser::saveGrouped(list, "/dev/full", true));
        const std::string log = testing::internal::GetCapturedStderr();
        EXPECT_NE(std::string::npos, log.find("Failed to write file: /dev/full\n"));
    }
}

TEST(ParameterFileParser, WritersStopOnAFailedStream)
{
    const ParameterList list = exampleList();
    LimitedBuffer buffer(45);
    std::ostream out(&buffer);
    EXPECT_EQ(QOV_ERROR_FAILURE, ParameterFileParser::saveGrouped(list, out, true));
    EXPECT_EQ(45u, buffer.written.size());

    LimitedBuffer flatBuffer(10);
    std::ostream flat(&flatBuffer);
    testing::internal::CaptureStderr();
    EXPECT_EQ(QOV_ERROR_FAILURE, ParameterFileParser::save(list, flat));
    testing::internal::GetCapturedStderr();
}

}  // namespace
