// Device seam of the real board: the POSIX calls.
#include "platform/device_io.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

int PLATFORM_Open(const char *path, int flags) { return ::open(path, flags); }
int PLATFORM_Close(int fd) { return ::close(fd); }
int PLATFORM_Ioctl(int fd, unsigned long request, void *arg) { return ::ioctl(fd, request, arg); }
ssize_t PLATFORM_Read(int fd, void *buffer, size_t length) { return ::read(fd, buffer, length); }
ssize_t PLATFORM_Write(int fd, const void *buffer, size_t length)
{
    return ::write(fd, buffer, length);
}
void *PLATFORM_MemMap(void *address, size_t length, int prot, int flags, int fd, off_t offset)
{
    return ::mmap(address, length, prot, flags, fd, offset);
}
int PLATFORM_MemUnmap(void *address, size_t length) { return ::munmap(address, length); }
