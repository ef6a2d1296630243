#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <regex>
#include <string>

#include "ci/ci_driver_request.h"
#include "ci/sys_userio.h"
#include "ci_kernel/ci_ioctrl.h"
#include "simboard/board.h"

namespace {

TEST(ToQovResult, TranslatesEveryDriverAnswer)
{
    const struct {
        int driver;
        QOV_RESULT code;
    } cases[] = {
        {0, QOV_SUCCESS},
        {-62, QOV_ERROR_TIMEOUT},          // ETIME
        {-12, QOV_ERROR_NO_MEMORY},        // ENOMEM
        {-4, QOV_ERROR_INTERRUPTED},       // EINTR
        {-22, QOV_ERROR_INVALID_ARGUMENT}, // EINVAL
        {-125, QOV_ERROR_WRONG_STATE},     // ECANCELED
        {-114, QOV_ERROR_NOT_AVAILABLE},   // EALREADY
        {-17, QOV_ERROR_ALREADY_EXISTS},   // EEXIST
        {-7, QOV_ERROR_TOO_LARGE},         // E2BIG
        {-95, QOV_ERROR_NOT_SUPPORTED},    // EOPNOTSUPP
        {-98, QOV_ERROR_IN_USE},           // EADDRINUSE
        {-25, QOV_ERROR_FAILURE},          // ENOTTY
        {-1, QOV_ERROR_FAILURE},
        {-5, QOV_ERROR_FAILURE},
        {1, QOV_ERROR_FAILURE},            // positive answers where 0 was expected
        {62, QOV_ERROR_FAILURE},
        {INT_MAX, QOV_ERROR_FAILURE},
        {INT_MIN, QOV_ERROR_FAILURE},
    };
    for (const auto &c : cases)
        EXPECT_EQ(toQovResult(c.driver), c.code) << "driver answer " << c.driver;
}

// A device standing in for the driver: answers 0 and counts its calls.
class CountingDevice : public simboard::Device {
public:
    int calls = 0;
    int openFlags = -1;
    bool refuseMap = false;
    off_t lastOffset = -1;
    int open(int, int flags) override { return openFlags = flags, 0; }
    int ioctl(int, unsigned long, void *) override { return ++calls, 0; }
    void *mmap(int, void *, size_t length, int prot, int, off_t offset, int *error) override
    {
        lastOffset = offset;
        if (refuseMap) {
            *error = EINVAL;
            return MAP_FAILED;
        }
        return ::mmap(nullptr, length, prot, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    }
};

class DriverRequest : public ::testing::Test {
protected:
    void SetUp() override
    {
        board().reset();
        device = std::make_shared<CountingDevice>();
        board().registerDevice("/dev/vadivodov-test", device);
        file = SYS_IO_Open("/dev/vadivodov-test", O_RDWR, nullptr);
        ASSERT_NE(file, nullptr);
    }
    void TearDown() override
    {
        EXPECT_EQ(SYS_IO_Close(file), 0);
        board().reset();
    }
    static simboard::Board &board() { return simboard::Board::instance(); }
    std::shared_ptr<CountingDevice> device;
    SYS_FILE *file = nullptr;
};

TEST_F(DriverRequest, AcquisitionAndGeneratorWaitAreReissuedWhileInterrupted)
{
    for (unsigned command : {CI_IOCTL_CAPTURE_ACQUIRE, CI_IOCTL_IIFDG_WAITPROCESSED}) {
        device->calls = 0;
        board().injectFault("/dev/vadivodov-test", command, -EINTR, 3);
        char record[304] = {};
        EXPECT_EQ(CI_DriverRequest(file, command, record), 0);
        EXPECT_EQ(device->calls, 1);  // three interrupted calls, then the handler
    }
}

TEST_F(DriverRequest, OtherRequestsReportTheFirstInterruption)
{
    for (unsigned command : CI_IOCTL_NUMBERS) {
        if (command == CI_IOCTL_CAPTURE_ACQUIRE || command == CI_IOCTL_IIFDG_WAITPROCESSED)
            continue;
        board().injectFault("/dev/vadivodov-test", command, -EINTR, 1);
        char record[sizeof(CI_PIPE_PARAM)] = {};
        int answer = CI_DriverRequest(file, command, record);
        EXPECT_EQ(answer, -EINTR) << std::hex << command;
        EXPECT_EQ(toQovResult(answer), QOV_ERROR_INTERRUPTED);
        // The next call reaches the driver: the interruption was not retried.
        EXPECT_EQ(CI_DriverRequest(file, command, record), 0);
    }
    EXPECT_EQ(device->calls, CI_IOCTL_N - 2);
    board().injectFault("/dev/vadivodov-test", CI_IOCTL_CAPTURE_START, -EINTR, 1);
    EXPECT_EQ(CI_DriverRequestValue(file, CI_IOCTL_CAPTURE_START, 1), -EINTR);
}

TEST_F(DriverRequest, NonNegativeAnswersPassThrough)
{
    board().injectFault("/dev/vadivodov-test", CI_IOCTL_PIPELINE_REGISTER, 7, 1);
    EXPECT_EQ(CI_DriverRequest(file, CI_IOCTL_PIPELINE_REGISTER, nullptr), 7);
    EXPECT_EQ(SYS_IO_Control(file, CI_IOCTL_CAPTURE_HASPENDING, 1), 0);
}

TEST_F(DriverRequest, OpenPassesItsFlagsToTheDevice)
{
    EXPECT_EQ(device->openFlags, O_RDWR);
}

TEST_F(DriverRequest, MapIdIsScaledByThePageSize)
{
    void *mapped = SYS_IO_MemMap2(file, 64, PROT_READ, MAP_SHARED, 3);
    ASSERT_NE(mapped, nullptr);
    EXPECT_EQ(device->lastOffset, 3 * getpagesize());
    EXPECT_EQ(SYS_IO_MemUnmap(file, mapped, 64), 0);
}

TEST_F(DriverRequest, FailedMappingGivesNull)
{
    device->refuseMap = true;
    EXPECT_EQ(SYS_IO_MemMap2(file, 64, PROT_READ, MAP_SHARED, 1), nullptr);
}

// A failed close keeps the handle: the caller may still use or close it.
// ASan reports the access below if the handle had been freed.
TEST_F(DriverRequest, FailedCloseKeepsTheHandle)
{
    int descriptor = file->file;
    file->file = -1;  // close(-1) fails with EBADF
    EXPECT_EQ(SYS_IO_Close(file), -1);
    file->file = descriptor;
    EXPECT_EQ(SYS_IO_Control(file, CI_IOCTL_INFO_GET, 0), 0);
    // TearDown closes it for good.
}

TEST(SysIo, OpenFailureLogsTheDeviceAndReturnsNull)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(SYS_IO_Open("/dev/vadivodov-missing", O_RDWR, nullptr), nullptr);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(std::regex_match(
        err, std::regex("ERROR \\[SYS_USERIO\\]: SYS_IO_Open\\(\\):[0-9]+ "
                        "Failed to open '/dev/vadivodov-missing'!\n")))
        << err;
}

// The same rule on a plain file: map id 3 is the bytes at 3 pages.
TEST(SysIo, PlainFileMapsAtMapIdTimesPageSize)
{
    char name[] = "/tmp/vezara-map-XXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    const long page = getpagesize();
    ASSERT_EQ(ftruncate(fd, 4 * page), 0);
    for (int p = 0; p < 4; p++) {
        const char c = static_cast<char>('a' + p);
        ASSERT_EQ(pwrite(fd, &c, 1, p * page), 1);
    }
    close(fd);
    SYS_FILE *plain = SYS_IO_Open(name, O_RDONLY, nullptr);
    ASSERT_NE(plain, nullptr);
    const char *mapped = static_cast<const char *>(SYS_IO_MemMap2(plain, page, PROT_READ, MAP_SHARED, 3));
    ASSERT_NE(mapped, nullptr);
    EXPECT_EQ(mapped[0], 'd');
    EXPECT_EQ(SYS_IO_MemUnmap(plain, const_cast<char *>(mapped), page), 0);
    EXPECT_EQ(SYS_IO_Close(plain), 0);
    unlink(name);
}

}  // namespace
