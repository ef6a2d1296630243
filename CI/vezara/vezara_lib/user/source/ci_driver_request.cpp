#include "ci/ci_driver_request.h"

#include <cerrno>

#include "ci_kernel/ci_ioctrl.h"

QOV_RESULT toQovResult(int driverResult)
{
    switch (driverResult) {
    case 0:
        return QOV_SUCCESS;
    case -ETIME:
        return QOV_ERROR_TIMEOUT;
    case -ENOMEM:
        return QOV_ERROR_NO_MEMORY;
    case -EINTR:
        return QOV_ERROR_INTERRUPTED;
    case -EINVAL:
        return QOV_ERROR_INVALID_ARGUMENT;
    case -ECANCELED:
        return QOV_ERROR_WRONG_STATE;
    case -EALREADY:
        return QOV_ERROR_NOT_AVAILABLE;
    case -EEXIST:
        return QOV_ERROR_ALREADY_EXISTS;
    case -E2BIG:
        return QOV_ERROR_TOO_LARGE;
    case -EOPNOTSUPP:
        return QOV_ERROR_NOT_SUPPORTED;
    case -EADDRINUSE:
        return QOV_ERROR_IN_USE;
    default:
        return QOV_ERROR_FAILURE;
    }
}

namespace {

bool reissuedOnInterrupt(unsigned int command)
{
    return command == CI_IOCTL_CAPTURE_ACQUIRE ||
           command == CI_IOCTL_IIFDG_WAITPROCESSED;
}

}  // namespace

int CI_DriverRequest(SYS_FILE *pFile, unsigned int command, void *pRecord)
{
    int ret;
    do {
        ret = SYS_IO_Control(pFile, command, reinterpret_cast<long>(pRecord));
    } while (ret == -EINTR && reissuedOnInterrupt(command));
    return ret;
}

int CI_DriverRequestValue(SYS_FILE *pFile, unsigned int command, int value)
{
    return SYS_IO_Control(pFile, command, value);
}
