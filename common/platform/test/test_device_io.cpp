#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "platform/device_io.h"
#include "simboard/board.h"

namespace {

// A device that remembers what reached it.
class EchoDevice : public simboard::Device {
public:
    int opens = 0, closes = 0;
    unsigned long lastRequest = 0;
    int open(int, int) override { return ++opens, 0; }
    void close(int) override { ++closes; }
    int ioctl(int, unsigned long request, void *arg) override
    {
        lastRequest = request;
        if (arg)
            *static_cast<int *>(arg) = 99;
        return 7;
    }
    ssize_t read(int, void *buffer, size_t length) override
    {
        memset(buffer, 'r', length);
        return static_cast<ssize_t>(length);
    }
};

class DeviceIo : public ::testing::Test {
protected:
    void SetUp() override
    {
        simboard::Board::instance().reset();
        device = std::make_shared<EchoDevice>();
        simboard::Board::instance().registerDevice("/dev/echo0", device);
    }
    void TearDown() override { simboard::Board::instance().reset(); }
    std::shared_ptr<EchoDevice> device;
};

TEST_F(DeviceIo, SimulatedDeviceGetsUniqueRealDescriptors)
{
    int a = PLATFORM_Open("/dev/echo0", O_RDWR);
    int b = PLATFORM_Open("/dev/echo0", O_RDWR);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    EXPECT_NE(a, b);
    int plain = ::open("/dev/null", O_RDONLY);  // the kernel never hands out a/b again
    EXPECT_NE(plain, a);
    EXPECT_NE(plain, b);
    ::close(plain);
    EXPECT_EQ(device->opens, 2);

    int value = 0;
    EXPECT_EQ(PLATFORM_Ioctl(a, 0x1234, &value), 7);
    EXPECT_EQ(value, 99);
    EXPECT_EQ(device->lastRequest, 0x1234u);
    char buf[4];
    EXPECT_EQ(PLATFORM_Read(a, buf, sizeof(buf)), 4);
    EXPECT_EQ(buf[3], 'r');
    EXPECT_EQ(PLATFORM_Write(a, buf, sizeof(buf)), -1);  // the default handler refuses
    EXPECT_EQ(errno, EINVAL);

    EXPECT_EQ(PLATFORM_Close(a), 0);
    EXPECT_EQ(PLATFORM_Close(b), 0);
    EXPECT_EQ(device->closes, 2);
    EXPECT_EQ(simboard::Board::instance().openDescriptors(), 0u);
}

TEST_F(DeviceIo, FaultPlanAnswersGivenCallsThenHandlerResumes)
{
    auto &board = simboard::Board::instance();
    board.injectFault("/dev/echo0", 0x10, -EINTR, 3);
    board.injectFault("/dev/echo0", 0x20, 5, 2, 1);  // calls 1 and 2 answer 5
    int fd = PLATFORM_Open("/dev/echo0", O_RDWR);
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(PLATFORM_Ioctl(fd, 0x10, nullptr), -1);
        EXPECT_EQ(errno, EINTR);
    }
    EXPECT_EQ(PLATFORM_Ioctl(fd, 0x10, nullptr), 7);
    EXPECT_EQ(PLATFORM_Ioctl(fd, 0x20, nullptr), 7);
    EXPECT_EQ(PLATFORM_Ioctl(fd, 0x20, nullptr), 5);
    EXPECT_EQ(PLATFORM_Ioctl(fd, 0x20, nullptr), 5);
    EXPECT_EQ(PLATFORM_Ioctl(fd, 0x20, nullptr), 7);

    // Two plans on one request both count every call.
    board.injectFault("/dev/echo0", 0x40, -EIO, 1, 0);     // call 0
    board.injectFault("/dev/echo0", 0x40, -EAGAIN, 1, 2);  // call 2
    EXPECT_EQ(PLATFORM_Ioctl(fd, 0x40, nullptr), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(PLATFORM_Ioctl(fd, 0x40, nullptr), 7);
    EXPECT_EQ(PLATFORM_Ioctl(fd, 0x40, nullptr), -1);
    EXPECT_EQ(errno, EAGAIN);
    EXPECT_EQ(PLATFORM_Ioctl(fd, 0x40, nullptr), 7);

    board.injectFault("/dev/echo0", 0x30, -EIO, 0);  // always
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(PLATFORM_Ioctl(fd, 0x30, nullptr), -1);

    board.injectFault("/dev/echo0", simboard::Board::OPEN_REQUEST, -EBUSY, 1);
    EXPECT_EQ(PLATFORM_Open("/dev/echo0", O_RDWR), -1);
    EXPECT_EQ(errno, EBUSY);
    PLATFORM_Close(fd);

    size_t ioctls = 0;
    for (const auto &entry : board.trace())
        ioctls += entry.kind == simboard::TraceEntry::IOCTL;
    EXPECT_EQ(ioctls, 17u);
}

TEST_F(DeviceIo, ClosingTheBoardReleasesWhatTestsLeftOpen)
{
    PLATFORM_Open("/dev/echo0", O_RDWR);
    auto keep = device;
    simboard::Board::instance().reset();
    EXPECT_EQ(keep->closes, 1);
    EXPECT_EQ(simboard::Board::instance().openDescriptors(), 0u);
    EXPECT_FALSE(simboard::Board::instance().serves("/dev/echo0"));
}

// A refused mapping is MAP_FAILED with errno set, as mmap answers, even
// when the device's handler names no errno.
TEST_F(DeviceIo, RefusedSimulatedMappingSetsErrno)
{
    struct SilentRefusal : simboard::Device {
        void *mmap(int, void *, size_t, int, int, off_t, int *) override { return MAP_FAILED; }
    };
    auto &board = simboard::Board::instance();
    board.registerDevice("/dev/refuse0", std::make_shared<SilentRefusal>());
    for (const char *path : {"/dev/refuse0", "/dev/echo0"}) {  // echo0: the default handler
        int fd = PLATFORM_Open(path, O_RDWR);
        ASSERT_GE(fd, 0);
        errno = 0;
        EXPECT_EQ(PLATFORM_MemMap(nullptr, 64, PROT_READ, MAP_SHARED, fd, 0), MAP_FAILED) << path;
        EXPECT_EQ(errno, ENODEV) << path;
        EXPECT_EQ(board.trace().back().result, -ENODEV);
        PLATFORM_Close(fd);
    }
}

std::string tempFile(const std::string &content)
{
    char name[] = "/tmp/vezara-io-XXXXXX";
    int fd = mkstemp(name);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::write(fd, content.data(), content.size()), (ssize_t)content.size());
    ::close(fd);
    return name;
}

TEST_F(DeviceIo, PathsTheBoardDoesNotServeReachTheFileSystem)
{
    std::string path = tempFile("plain file");
    int fd = PLATFORM_Open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    char buf[16] = {};
    EXPECT_EQ(PLATFORM_Read(fd, buf, sizeof(buf)), 10);
    EXPECT_STREQ(buf, "plain file");
    EXPECT_EQ(PLATFORM_Ioctl(fd, 0x1234, nullptr), -1);  // a real ioctl on a file
    EXPECT_EQ(PLATFORM_Close(fd), 0);
    EXPECT_EQ(PLATFORM_Open("/nonexistent/vezara", O_RDONLY), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(device->opens, 0);
    unlink(path.c_str());
}

// Every refusal answers -1 and says why in errno.
TEST_F(DeviceIo, RefusalsAnswerMinusOneWithTheirErrno)
{
    char buf[4] = {};
    struct Case {
        const char *call;
        long (*run)(char *);
        int error;
    };
    const Case cases[] = {
        {"open without a path", [](char *) -> long { return PLATFORM_Open(nullptr, O_RDONLY); }, EFAULT},
        {"open of a missing file", [](char *) -> long { return PLATFORM_Open("/nonexistent/vezara", O_RDONLY); },
         ENOENT},
        {"close", [](char *) -> long { return PLATFORM_Close(-1); }, EBADF},
        // a request every kernel and emulator knows, so that the descriptor is what is refused
        {"ioctl", [](char *b) -> long { return PLATFORM_Ioctl(-1, FIONREAD, b); }, EBADF},
        {"read", [](char *b) -> long { return PLATFORM_Read(-1, b, 4); }, EBADF},
        {"write", [](char *b) -> long { return PLATFORM_Write(-1, b, 4); }, EBADF},
    };
    for (const auto &c : cases) {
        errno = 0;
        EXPECT_EQ(c.run(buf), -1) << c.call;
        EXPECT_EQ(errno, c.error) << c.call;
    }
    EXPECT_EQ(device->opens, 0);
}

TEST_F(DeviceIo, MappingOfAPlainFileUsesTheByteOffset)
{
    long page = getpagesize();
    std::string content(4 * page, '\0');
    for (int p = 0; p < 4; p++)
        content[p * page] = static_cast<char>('A' + p);
    std::string path = tempFile(content);
    int fd = PLATFORM_Open(path.c_str(), O_RDONLY);
    void *mapped = PLATFORM_MemMap(nullptr, page, PROT_READ, MAP_SHARED, fd, 3 * page);
    ASSERT_NE(mapped, MAP_FAILED);
    EXPECT_EQ(*static_cast<char *>(mapped), 'D');
    EXPECT_EQ(PLATFORM_MemUnmap(mapped, page), 0);
    PLATFORM_Close(fd);
    unlink(path.c_str());
}

TEST_F(DeviceIo, FixedBoardPathsResolveUnderTheBoardRoot)
{
    auto &board = simboard::Board::instance();
    EXPECT_EQ(PLATFORM_BoardPath("/proc/device-tree/model"), board.root() + "/proc/device-tree/model");
    EXPECT_EQ(PLATFORM_BoardPath("/etc/vezara/boardcfg/x.cfg"),
              board.root() + "/etc/vezara/boardcfg/x.cfg");
    EXPECT_EQ(PLATFORM_BoardPath("/tmp/file"), "/tmp/file");
    // Only whole prefixes name board paths; no path resolves to nothing.
    EXPECT_EQ(PLATFORM_BoardPath("/etc/vezarax/a"), "/etc/vezarax/a");
    EXPECT_EQ(PLATFORM_BoardPath("/proc/device-tree"), "/proc/device-tree");
    EXPECT_EQ(PLATFORM_BoardPath("x/etc/vezara/a"), "x/etc/vezara/a");
    EXPECT_EQ(PLATFORM_BoardPath(nullptr), "");
    FILE *model = PLATFORM_BoardFopen("/proc/device-tree/model", "rb");
    ASSERT_NE(model, nullptr);  // the simulated board ships its model file
    fclose(model);
    EXPECT_EQ(PLATFORM_BoardFopen(nullptr, "rb"), nullptr);
}

}  // namespace
