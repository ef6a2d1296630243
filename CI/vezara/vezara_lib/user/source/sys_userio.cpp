#include "ci/sys_userio.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/device_io.h"
#include "vezaracommon/userlog.h"

#define LOG_TAG "SYS_USERIO"

SYS_FILE *SYS_IO_Open(const char *pszDevName, int flags, void *)
{
    SYS_FILE *pFile = static_cast<SYS_FILE *>(calloc(1, sizeof(SYS_FILE)));
    if (!pFile) {
        LOG_ERROR("Failed to allocate memory!\n");
        return nullptr;
    }
    pFile->file = PLATFORM_Open(pszDevName, flags);
    if (pFile->file < 0) {
        LOG_ERROR("Failed to open '%s'!\n", pszDevName ? pszDevName : "(null)");
        free(pFile);
        return nullptr;
    }
    return pFile;
}

QOV_RESULT SYS_IO_Close(SYS_FILE *pFile)
{
    if (!pFile)
        return -1;
    int ret = PLATFORM_Close(pFile->file);
    const int error = errno;
    if (ret == 0 || error != EBADF)
        free(pFile);
    errno = error;
    return ret;
}

int SYS_IO_Control(SYS_FILE *pFile, unsigned int command, long parameter)
{
    if (!pFile)
        return -EBADF;
    int ret = PLATFORM_Ioctl(pFile->file, command, reinterpret_cast<void *>(parameter));
    return ret < 0 ? -errno : ret;
}

void *SYS_IO_MemMap2(SYS_FILE *pFile, size_t length, int prot, int flags, off_t offset)
{
    if (!pFile)
        return nullptr;
    void *mapped = PLATFORM_MemMap(nullptr, length, prot, flags, pFile->file,
                                   offset * static_cast<off_t>(getpagesize()));
    return mapped == MAP_FAILED ? nullptr : mapped;
}

int SYS_IO_MemUnmap(SYS_FILE *, void *addr, size_t length)
{
    return PLATFORM_MemUnmap(addr, length);
}
