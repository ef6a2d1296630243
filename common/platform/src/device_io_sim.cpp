// Device seam of the simulated board: paths and descriptors of simulated
// devices go to the board; everything else falls through to POSIX.
#include "platform/device_io.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>

#include "simboard/board.h"

namespace {

// Converts a kernel-style answer (negated errno) into the POSIX convention.
long posixResult(long answer)
{
    if (answer < 0) {
        errno = static_cast<int>(-answer);
        return -1;
    }
    return answer;
}

}  // namespace

int PLATFORM_Open(const char *path, int flags)
{
    if (!path) {
        errno = EFAULT;
        return -1;
    }
    simboard::Board &board = simboard::Board::instance();
    if (board.serves(path))
        return static_cast<int>(posixResult(board.open(path, flags)));
    return ::open(PLATFORM_BoardPath(path).c_str(), flags);
}

int PLATFORM_Close(int fd)
{
    simboard::Board &board = simboard::Board::instance();
    if (board.isSimulated(fd))
        return static_cast<int>(posixResult(board.close(fd)));
    return ::close(fd);
}

int PLATFORM_Ioctl(int fd, unsigned long request, void *arg)
{
    simboard::Board &board = simboard::Board::instance();
    if (board.isSimulated(fd))
        return static_cast<int>(posixResult(board.ioctl(fd, request, arg)));
    return ::ioctl(fd, request, arg);
}

ssize_t PLATFORM_Read(int fd, void *buffer, size_t length)
{
    simboard::Board &board = simboard::Board::instance();
    if (board.isSimulated(fd))
        return posixResult(board.read(fd, buffer, length));
    return ::read(fd, buffer, length);
}

ssize_t PLATFORM_Write(int fd, const void *buffer, size_t length)
{
    simboard::Board &board = simboard::Board::instance();
    if (board.isSimulated(fd))
        return posixResult(board.write(fd, buffer, length));
    return ::write(fd, buffer, length);
}

void *PLATFORM_MemMap(void *address, size_t length, int prot, int flags, int fd, off_t offset)
{
    simboard::Board &board = simboard::Board::instance();
    if (board.isSimulated(fd)) {
        int error = 0;
        void *mapped = board.mmap(address, length, prot, flags, fd, offset, &error);
        if (mapped == MAP_FAILED)
            errno = error;
        return mapped;
    }
    return ::mmap(address, length, prot, flags, fd, offset);
}

int PLATFORM_MemUnmap(void *address, size_t length)
{
    simboard::Board::instance().munmap(address, length);
    return ::munmap(address, length);
}
