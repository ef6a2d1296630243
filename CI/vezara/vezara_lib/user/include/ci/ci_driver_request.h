// Issuing driver requests and translating their failures into result codes.
#ifndef CI_DRIVER_REQUEST_H
#define CI_DRIVER_REQUEST_H

#include "ci/sys_userio.h"
#include "qov_types.h"

// The one translation of a driver answer into a result code: 0 is success,
// the errnos the driver uses map to their codes, anything else (positive
// answers included) is a general failure.
QOV_RESULT toQovResult(int driverResult);

// Issues one request with its record. The shot acquisition and the
// generator's wait are issued again for as long as they are interrupted
// (-EINTR); every other request answers on the first call.
int CI_DriverRequest(SYS_FILE *pFile, unsigned int command, void *pRecord);
// Request that passes an int by value.
int CI_DriverRequestValue(SYS_FILE *pFile, unsigned int command, int value);

#endif
