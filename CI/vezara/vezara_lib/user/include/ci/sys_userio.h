// Thin wrappers over the driver's device node: the only code that touches it.
#ifndef CI_SYS_USERIO_H
#define CI_SYS_USERIO_H

#include <sys/types.h>

#include <cstddef>

#include "qov_types.h"

typedef struct SYS_FILE {
    int file;  // the open descriptor
} SYS_FILE;

// Opens the device with `flags` (`extra` is ignored); null on failure.
SYS_FILE *SYS_IO_Open(const char *pszDevName, int flags, void *extra);
// 0 and the handle freed, or -1 with errno set. A close that failed with
// EBADF left nothing closed and keeps the handle; any other failure (EINTR,
// EIO...) still released the descriptor, so the handle is freed too.
QOV_RESULT SYS_IO_Close(SYS_FILE *pFile);
// The request's answer: 0 or more as returned, a failure as the negated errno.
int SYS_IO_Control(SYS_FILE *pFile, unsigned int command, long parameter);
// Maps `length` bytes of the driver object with map id `offset`; null on failure.
void *SYS_IO_MemMap2(SYS_FILE *pFile, size_t length, int prot, int flags, off_t offset);
int SYS_IO_MemUnmap(SYS_FILE *pFile, void *addr, size_t length);

#endif
