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

TEST(UserLog, LongMessageIsCutTo511Characters)
{
    std::string message(600, 'x');
    CaptureStderr();
    LOG_Warning("f", 1, "T", "%s", message.c_str());
    std::string err = GetCapturedStderr();
    EXPECT_EQ(err, "WARNING [T]: f() " + std::string(511, 'x'));

    std::string exact(511, 'y');
    CaptureStderr();
    LOG_Error("f", 2, "T", "%s", exact.c_str());
    EXPECT_EQ(GetCapturedStderr(), "ERROR [T]: f():2 " + exact);
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

}  // namespace
