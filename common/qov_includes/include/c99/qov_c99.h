// Exact-width base types of the system.
#ifndef QOV_C99_H
#define QOV_C99_H

#include <cstddef>
#include <cstdint>

typedef int8_t QOV_INT8;
typedef int16_t QOV_INT16;
typedef int32_t QOV_INT32;
typedef int64_t QOV_INT64;
typedef uint8_t QOV_UINT8;
typedef uint16_t QOV_UINT16;
typedef uint32_t QOV_UINT32;
typedef uint64_t QOV_UINT64;

typedef int QOV_INT;
typedef unsigned int QOV_UINT;
typedef size_t QOV_SIZE;
typedef ptrdiff_t QOV_PTRDIFF;
typedef float QOV_FLOAT;
typedef double QOV_DOUBLE;
typedef char QOV_CHAR;
typedef void *QOV_HANDLE;

typedef int QOV_BOOL;
typedef QOV_UINT8 QOV_BOOL8;
#define QOV_TRUE 1
#define QOV_FALSE 0

static_assert(sizeof(QOV_BOOL8) == 1, "QOV_BOOL8 is one byte on the wire");
static_assert(sizeof(QOV_FLOAT) == 4 && sizeof(QOV_DOUBLE) == 8, "IEEE float sizes");

#endif
