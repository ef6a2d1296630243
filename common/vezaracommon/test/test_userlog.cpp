#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "vezaracommon/userlog.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

TEST(UserLog, LineFormatsAndStreams)
{
    CaptureStderr();
    CaptureStdout();
    LOG_Error("openDevice", 42, "CI_API", "failed %d\n", 7);
    LOG_Warning("openDevice", 42, "CI_API", "careful %s\n", "now");
    LOG_Debug("openDevice", 42, "CI_API", "dbg\n");
    LOG_Info("openDevice", 42, "CI_API", "info %u\n", 3u);
    std::string err = GetCapturedStderr();
    std::string out = GetCapturedStdout();
    EXPECT_EQ(err,
              "ERROR [CI_API]: openDevice():42 failed 7\n"
              "WARNING [CI_API]: openDevice() careful now\n"
              "DEBUG [CI_API]: openDevice():42 dbg\n");
    EXPECT_EQ(out, "INFO [CI_API]: openDevice() info 3\n");
}

TEST(UserLog, PerfPrintsWallClockSecondsAndMicroseconds)
{
    CaptureStdout();
    LOG_Perf("run", 9, "Bramble", "tick\n");
    std::string out = GetCapturedStdout();
    EXPECT_TRUE(std::regex_match(out, std::regex("PERF \\[Bramble\\]: run\\(\\) [0-9]+:[0-9]{6} tick\n")))
        << out;
}

// Every log function formats into 512 bytes: the message, not the line, is
// cut to 511 characters; a message of exactly 511 passes whole.
TEST(UserLog, LongMessageIsCutTo511Characters)
{
    using LogFn = void (*)(const char *, unsigned, const char *, const char *, ...);
    const struct {
        LogFn log;
        bool toStderr;
        const char *prefix;  // a regular expression
    } cases[] = {
        {LOG_Error, true, "ERROR \\[T\\]: f\\(\\):2 "},
        {LOG_Warning, true, "WARNING \\[T\\]: f\\(\\) "},
        {LOG_Debug, true, "DEBUG \\[T\\]: f\\(\\):2 "},
        {LOG_Info, false, "INFO \\[T\\]: f\\(\\) "},
        {LOG_Perf, false, "PERF \\[T\\]: f\\(\\) [0-9]+:[0-9]{6} "},
    };
    const std::string longMessage(600, 'x');
    const std::string exact(511, 'y');
    for (const auto &c : cases) {
        for (const std::string *message : {&longMessage, &exact}) {
            CaptureStderr();
            CaptureStdout();
            c.log("f", 2, "T", "%s", message->c_str());
            std::string err = GetCapturedStderr();
            std::string out = GetCapturedStdout();
            const std::string &line = c.toStderr ? err : out;
            EXPECT_TRUE((c.toStderr ? out : err).empty()) << c.prefix;
            std::string expected = std::string(c.prefix) + message->substr(0, 511);
            EXPECT_TRUE(std::regex_match(line, std::regex(expected))) << line;
        }
    }
}

TEST(UserLog, NoNewlineIsAdded)
{
    CaptureStdout();
    LOG_Info("f", 1, "T", "first ");
    LOG_Info("g", 2, "T", "second\n");
    EXPECT_EQ(GetCapturedStdout(), "INFO [T]: f() first INFO [T]: g() second\n");
}

#define LOG_TAG "SYS_USERIO"
TEST(UserLog, ShorthandsUseCallerFunctionLineAndTag)
{
    CaptureStderr();
    unsigned line = __LINE__ + 1;
    LOG_ERROR("x=%d\n", 1);
    EXPECT_EQ(GetCapturedStderr(),
              "ERROR [SYS_USERIO]: TestBody():" + std::to_string(line) + " x=1\n");
}
#undef LOG_TAG

}  // namespace
