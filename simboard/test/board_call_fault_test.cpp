// A fault planned on one call by its place in the trace: an errno for any
// call, a short or a corrupted answer for the calls that return data.
#include <fcntl.h>
#include <sys/mman.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>

#include "platform/device_io.h"
#include "simboard/board.h"
#include "simboard/isp_driver.h"

namespace {

using simboard::Board;
using simboard::CallFault;
using simboard::TraceEntry;

// A device that answers reads with 0, 1, 2, ... and a 4-byte record request with 0x11223344.
class Counter : public simboard::Device {
public:
    static constexpr unsigned long kGet = 0x80047701;
    int ioctl(int, unsigned long request, void *arg) override
    {
        if (request != kGet)
            return -ENOTTY;
        const uint32_t value = 0x11223344;
        std::memcpy(arg, &value, sizeof value);
        return 0;
    }
    ssize_t read(int, void *buffer, size_t length) override
    {
        for (size_t n = 0; n < length; ++n)
            static_cast<uint8_t *>(buffer)[n] = static_cast<uint8_t>(n);
        return static_cast<ssize_t>(length);
    }
    ssize_t write(int, const void *, size_t length) override
    {
        written += length;
        return static_cast<ssize_t>(length);
    }
    size_t answerSize(unsigned long request) const override { return request == kGet ? 4 : 0; }
    size_t written = 0;
};

class BoardCallFault : public testing::Test {
protected:
    void SetUp() override
    {
        Board::instance().reset();
        counter = std::make_shared<Counter>();
        Board::instance().registerDevice("/dev/counter", counter);
    }
    void TearDown() override { Board::instance().reset(); }
    std::shared_ptr<Counter> counter;
};

TEST_F(BoardCallFault, OnlyTheCallAtThatPlaceFails)
{
    Board &board = Board::instance();
    board.failCall(1, {CallFault::ERROR, -EIO});
    const int fd = PLATFORM_Open("/dev/counter", O_RDWR);  // call 0
    ASSERT_GE(fd, 0);
    uint8_t bytes[4];
    errno = 0;
    EXPECT_EQ(-1, PLATFORM_Read(fd, bytes, 4));  // call 1
    EXPECT_EQ(EIO, errno);
    EXPECT_EQ(4, PLATFORM_Read(fd, bytes, 4));   // call 2
    EXPECT_EQ(0, PLATFORM_Close(fd));
    const auto &trace = board.trace();
    ASSERT_EQ(4u, trace.size());
    EXPECT_FALSE(trace[0].injected);
    EXPECT_TRUE(trace[1].injected);
    EXPECT_EQ(-EIO, trace[1].result);
    EXPECT_FALSE(trace[2].injected);
}

TEST_F(BoardCallFault, PlacesCountPastTheCallsTheTraceHasDropped)
{
    Board &board = Board::instance();
    const size_t target = Board::kTraceLimit + 10;
    board.failCall(target, {CallFault::ERROR, -EIO});
    const int fd = PLATFORM_Open("/dev/counter", O_RDWR);  // call 0
    ASSERT_GE(fd, 0);
    uint8_t bytes[4];
    for (size_t call = 1; call < target; ++call)
        ASSERT_EQ(4, PLATFORM_Read(fd, bytes, 4)) << call;
    errno = 0;
    EXPECT_EQ(-1, PLATFORM_Read(fd, bytes, 4));
    EXPECT_EQ(EIO, errno);
    EXPECT_TRUE(board.trace().back().injected);
    EXPECT_LT(board.trace().size(), target);
    EXPECT_EQ(0, PLATFORM_Close(fd));
}

TEST_F(BoardCallFault, ErrorsOnOpenCloseAndMapping)
{
    Board &board = Board::instance();
    board.failCall(0, {CallFault::ERROR, -EBUSY});
    errno = 0;
    EXPECT_EQ(-1, PLATFORM_Open(simboard::kIspDevicePath, O_RDWR));
    EXPECT_EQ(EBUSY, errno);
    EXPECT_EQ(0u, simboard::IspDriver::installed()->liveObjects().connections);

    const int fd = PLATFORM_Open(simboard::kIspDevicePath, O_RDWR);  // call 1
    ASSERT_GE(fd, 0);
    board.failCall(2, {CallFault::ERROR, -ENOMEM});
    EXPECT_EQ(MAP_FAILED, PLATFORM_MemMap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0));
    EXPECT_EQ(ENOMEM, errno);
    EXPECT_EQ(0u, board.liveMappings());

    // a failing close still closes, as the kernel's does
    board.failCall(3, {CallFault::ERROR, -EINTR});
    EXPECT_EQ(-1, PLATFORM_Close(fd));
    EXPECT_EQ(EINTR, errno);
    EXPECT_EQ(0u, board.openDescriptors());
    EXPECT_EQ(0u, simboard::IspDriver::installed()->liveObjects().total());
}

TEST_F(BoardCallFault, ShortAndCorruptedAnswers)
{
    Board &board = Board::instance();
    const int fd = PLATFORM_Open("/dev/counter", O_RDWR);  // call 0
    ASSERT_GE(fd, 0);
    board.failCall(1, {CallFault::SHORT, 0});
    board.failCall(2, {CallFault::CORRUPT, 0});
    board.failCall(3, {CallFault::SHORT, 0});
    board.failCall(4, {CallFault::CORRUPT, 0});
    board.failCall(5, {CallFault::SHORT, 0});

    uint8_t bytes[4] = {9, 9, 9, 9};
    EXPECT_EQ(2, PLATFORM_Read(fd, bytes, 4));  // half the bytes read
    EXPECT_EQ(0, bytes[0]);
    EXPECT_EQ(1, bytes[1]);
    EXPECT_EQ(9, bytes[2]);
    EXPECT_EQ(4, PLATFORM_Read(fd, bytes, 4));
    EXPECT_EQ(0xFF, bytes[0]);
    EXPECT_EQ(0xFC, bytes[3]);

    // the short record keeps its second half as passed; the corrupted one is flipped
    uint32_t value = 0;
    EXPECT_EQ(0, PLATFORM_Ioctl(fd, Counter::kGet, &value));
    EXPECT_EQ(0x00003344u, value);
    EXPECT_EQ(0, PLATFORM_Ioctl(fd, Counter::kGet, &value));
    EXPECT_EQ(~0x11223344u, value);

    EXPECT_EQ(3, PLATFORM_Write(fd, bytes, 6));
    EXPECT_EQ(3u, counter->written);
    EXPECT_EQ(0, PLATFORM_Close(fd));

    const auto &trace = board.trace();
    ASSERT_EQ(7u, trace.size());
    for (size_t n = 1; n <= 5; ++n)
        EXPECT_TRUE(trace[n].injected) << n;
}

TEST_F(BoardCallFault, WhichFaultsApplyToACall)
{
    const Board &board = Board::instance();
    struct Case {
        TraceEntry entry;
        bool error, shortAnswer, corrupted;
    } cases[] = {
        {{TraceEntry::OPEN, "/dev/counter"}, true, false, false},
        {{TraceEntry::MMAP, "/dev/counter"}, true, false, false},
        {{TraceEntry::MUNMAP, "/dev/counter"}, false, false, false},
        {{TraceEntry::READ, "/dev/counter", 3, 0, 4, 0, 0, 4}, true, true, true},
        {{TraceEntry::READ, "/dev/counter", 3, 0, 4, 0, 0, -EIO}, true, false, false},
        {{TraceEntry::WRITE, "/dev/counter", 3, 0, 4, 0, 0, 4}, true, true, false},
        {{TraceEntry::IOCTL, "/dev/counter", 3, Counter::kGet}, true, true, true},
        {{TraceEntry::IOCTL, "/dev/counter", 3, 0x7702}, true, false, false},
        {{TraceEntry::IOCTL, simboard::kIspDevicePath, 3, CI_IOCTL_INFO_GET}, true, true, true},
        {{TraceEntry::IOCTL, simboard::kIspDevicePath, 3, CI_IOCTL_CAPTURE_START}, true, false, false},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(c.error, board.accepts(c.entry, CallFault::ERROR)) << c.entry.kind << " " << c.entry.request;
        EXPECT_EQ(c.shortAnswer, board.accepts(c.entry, CallFault::SHORT)) << c.entry.kind << " " << c.entry.request;
        EXPECT_EQ(c.corrupted, board.accepts(c.entry, CallFault::CORRUPT)) << c.entry.kind << " " << c.entry.request;
    }
}

}  // namespace
