// The device seam: every access to a device node or to a fixed path of the
// board goes through these functions. They behave like their POSIX
// counterparts (-1 and errno on failure, MAP_FAILED for a failed mapping).
#ifndef PLATFORM_DEVICE_IO_H
#define PLATFORM_DEVICE_IO_H

#include <sys/types.h>

#include <cstddef>
#include <cstdio>
#include <string>

int PLATFORM_Open(const char *path, int flags);
int PLATFORM_Close(int fd);
int PLATFORM_Ioctl(int fd, unsigned long request, void *arg);
ssize_t PLATFORM_Read(int fd, void *buffer, size_t length);
ssize_t PLATFORM_Write(int fd, const void *buffer, size_t length);
void *PLATFORM_MemMap(void *address, size_t length, int prot, int flags, int fd, off_t offset);
int PLATFORM_MemUnmap(void *address, size_t length);

// Where a fixed path of the board ("/proc/device-tree/model",
// "/etc/vezara/boardcfg/...") is found on this build.
std::string PLATFORM_BoardPath(const char *path);
// fopen of a fixed path of the board.
FILE *PLATFORM_BoardFopen(const char *path, const char *mode);

#endif
