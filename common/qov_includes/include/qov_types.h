// Base types and the closed list of result codes shared by every component.
#ifndef QOV_TYPES_H
#define QOV_TYPES_H

#include "c99/qov_c99.h"

typedef QOV_INT32 QOV_RESULT;

// The only values a QOV_RESULT ever carries.
#define QOV_SUCCESS 0
#define QOV_ERROR_TIMEOUT 1
#define QOV_ERROR_NO_MEMORY 2
#define QOV_ERROR_FAILURE 3
#define QOV_ERROR_DEVICE_FAILED 5
#define QOV_ERROR_INTERRUPTED 8
#define QOV_ERROR_INVALID_ARGUMENT 11
#define QOV_ERROR_WRONG_STATE 15
#define QOV_ERROR_NOT_AVAILABLE 16
#define QOV_ERROR_NOT_INITIALISED 17
#define QOV_ERROR_ALREADY_EXISTS 18
#define QOV_ERROR_OUT_OF_RANGE 19
#define QOV_ERROR_NO_DATA 20
#define QOV_ERROR_TOO_LARGE 21
#define QOV_ERROR_NOT_SUPPORTED 22
#define QOV_ERROR_I2C_FAILED 24
#define QOV_ERROR_ZERO_SIZE 25
#define QOV_ERROR_NOT_ALLOWED 26
#define QOV_ERROR_IN_USE 30

#endif
