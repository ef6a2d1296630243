// Protocol of the ISP kernel driver: the request numbers and the parameter
// record each request carries.
//
// Records are native little-endian with natural alignment; gaps are spelled
// out as reserved bytes and are sent as zero. The static_asserts pin every
// size and offset the driver matches against.
#ifndef CI_IOCTRL_H
#define CI_IOCTRL_H

#include <cstddef>

#include "qov_types.h"
#include "ci/ci_api_structs.h"
#include "ci/ci_modules_structs.h"

/*-------------------------------------------------------------------------
 * Request numbers
 *-------------------------------------------------------------------------*/

enum CI_eIOCTL : QOV_INT32 {
    CI_INFO_GET = 0,
    CI_LINESTORE_GET = 1,
    CI_LINESTORE_SET = 2,
    CI_GMALUT_GET = 3,
    CI_GMALUT_SET = 4,
    CI_TIMEST_GET = 5,
    CI_SYSTIME_GET = 6,
    CI_DPFINT_GET = 7,
    CI_RTM_GET = 8,
    CI_PIPELINE_REGISTER = 9,
    CI_PIPELINE_DEREGISTER = 10,
    CI_CONFIG_ADDPOOL = 11,
    CI_CONFIG_DELPOOL = 12,
    CI_CONFIG_UPDATE = 13,
    CI_CREATE_BUFF = 14,
    CI_DEREGISTER_BUFF = 15,
    CI_PIPELINE_GET_LSH = 16,
    CI_PIPELINE_SET_LSH = 17,
    CI_PIPELINE_CHANGE_LSH = 18,
    CI_CAPTURE_START = 19,
    CI_CAPTURE_STOP = 20,
    CI_CAPTURE_TRIGGER = 21,
    CI_CAPTURE_ACQUIRE = 22,
    CI_CAPTURE_RELEASE = 23,
    CI_CAPTURE_ISSTARTED = 24,
    CI_CAPTURE_HASWAITING = 25,
    CI_CAPTURE_HASAVAILABLE = 26,
    CI_CAPTURE_HASPENDING = 27,
    CI_GASKET_ACQUIRE = 28,
    CI_GASKET_RELEASE = 29,
    CI_GASKET_GETINFO = 30,
    CI_IIFDG_REGISTER = 31,
    CI_IIFDG_START = 32,
    CI_IIFDG_ISSTARTED = 33,
    CI_IIFDG_STOP = 34,
    CI_IIFDG_ALLOCATE = 35,
    CI_IIFDG_ACQUIRE = 36,
    CI_IIFDG_RELEASE = 37,
    CI_IIFDG_WAITPROCESSED = 38,
    CI_IIFDG_FREE = 39,
    CI_DEBUG_REG = 40,
    CI_IOCTL_N = 41,
};

// Type byte of every request ('!').
inline constexpr QOV_UINT32 CI_IOCTL_TYPE = 0x21;

// Argument sizes: a pointer to a record, or an int passed by value.
inline constexpr QOV_UINT32 CI_IOCTL_ARG_POINTER = 8;
inline constexpr QOV_UINT32 CI_IOCTL_ARG_INT = 4;

// (direction << 30) | (argument size << 16) | (type << 8) | request, with
// the direction code 1, 2 or 3 of the request table.
constexpr QOV_UINT32 CI_IoctlNumber(QOV_UINT32 direction, QOV_UINT32 argSize, CI_eIOCTL request)
{
    return (direction << 30) | (argSize << 16) | (CI_IOCTL_TYPE << 8) | static_cast<QOV_UINT32>(request);
}

inline constexpr QOV_UINT32 CI_IOCTL_INFO_GET =
    CI_IoctlNumber(1, CI_IOCTL_ARG_POINTER, CI_INFO_GET);
inline constexpr QOV_UINT32 CI_IOCTL_LINESTORE_GET =
    CI_IoctlNumber(1, CI_IOCTL_ARG_POINTER, CI_LINESTORE_GET);
inline constexpr QOV_UINT32 CI_IOCTL_LINESTORE_SET =
    CI_IoctlNumber(2, CI_IOCTL_ARG_POINTER, CI_LINESTORE_SET);
inline constexpr QOV_UINT32 CI_IOCTL_GMALUT_GET =
    CI_IoctlNumber(1, CI_IOCTL_ARG_POINTER, CI_GMALUT_GET);
inline constexpr QOV_UINT32 CI_IOCTL_GMALUT_SET =
    CI_IoctlNumber(2, CI_IOCTL_ARG_POINTER, CI_GMALUT_SET);
inline constexpr QOV_UINT32 CI_IOCTL_TIMEST_GET =
    CI_IoctlNumber(1, CI_IOCTL_ARG_POINTER, CI_TIMEST_GET);
inline constexpr QOV_UINT32 CI_IOCTL_SYSTIME_GET =
    CI_IoctlNumber(1, CI_IOCTL_ARG_POINTER, CI_SYSTIME_GET);
inline constexpr QOV_UINT32 CI_IOCTL_DPFINT_GET =
    CI_IoctlNumber(1, CI_IOCTL_ARG_POINTER, CI_DPFINT_GET);
inline constexpr QOV_UINT32 CI_IOCTL_RTM_GET =
    CI_IoctlNumber(1, CI_IOCTL_ARG_POINTER, CI_RTM_GET);
inline constexpr QOV_UINT32 CI_IOCTL_PIPELINE_REGISTER =
    CI_IoctlNumber(2, CI_IOCTL_ARG_POINTER, CI_PIPELINE_REGISTER);
inline constexpr QOV_UINT32 CI_IOCTL_PIPELINE_DEREGISTER =
    CI_IoctlNumber(2, CI_IOCTL_ARG_INT, CI_PIPELINE_DEREGISTER);
inline constexpr QOV_UINT32 CI_IOCTL_CONFIG_ADDPOOL =
    CI_IoctlNumber(3, CI_IOCTL_ARG_POINTER, CI_CONFIG_ADDPOOL);
inline constexpr QOV_UINT32 CI_IOCTL_CONFIG_DELPOOL =
    CI_IoctlNumber(2, CI_IOCTL_ARG_INT, CI_CONFIG_DELPOOL);
inline constexpr QOV_UINT32 CI_IOCTL_CONFIG_UPDATE =
    CI_IoctlNumber(2, CI_IOCTL_ARG_POINTER, CI_CONFIG_UPDATE);
inline constexpr QOV_UINT32 CI_IOCTL_CREATE_BUFF =
    CI_IoctlNumber(3, CI_IOCTL_ARG_POINTER, CI_CREATE_BUFF);
inline constexpr QOV_UINT32 CI_IOCTL_DEREGISTER_BUFF =
    CI_IoctlNumber(2, CI_IOCTL_ARG_POINTER, CI_DEREGISTER_BUFF);
inline constexpr QOV_UINT32 CI_IOCTL_PIPELINE_GET_LSH =
    CI_IoctlNumber(2, CI_IOCTL_ARG_POINTER, CI_PIPELINE_GET_LSH);
inline constexpr QOV_UINT32 CI_IOCTL_PIPELINE_SET_LSH =
    CI_IoctlNumber(2, CI_IOCTL_ARG_POINTER, CI_PIPELINE_SET_LSH);
inline constexpr QOV_UINT32 CI_IOCTL_PIPELINE_CHANGE_LSH =
    CI_IoctlNumber(2, CI_IOCTL_ARG_POINTER, CI_PIPELINE_CHANGE_LSH);
inline constexpr QOV_UINT32 CI_IOCTL_CAPTURE_START =
    CI_IoctlNumber(2, CI_IOCTL_ARG_INT, CI_CAPTURE_START);
inline constexpr QOV_UINT32 CI_IOCTL_CAPTURE_STOP =
    CI_IoctlNumber(2, CI_IOCTL_ARG_INT, CI_CAPTURE_STOP);
inline constexpr QOV_UINT32 CI_IOCTL_CAPTURE_TRIGGER =
    CI_IoctlNumber(2, CI_IOCTL_ARG_POINTER, CI_CAPTURE_TRIGGER);
inline constexpr QOV_UINT32 CI_IOCTL_CAPTURE_ACQUIRE =
    CI_IoctlNumber(3, CI_IOCTL_ARG_POINTER, CI_CAPTURE_ACQUIRE);
inline constexpr QOV_UINT32 CI_IOCTL_CAPTURE_RELEASE =
    CI_IoctlNumber(2, CI_IOCTL_ARG_POINTER, CI_CAPTURE_RELEASE);
inline constexpr QOV_UINT32 CI_IOCTL_CAPTURE_ISSTARTED =
    CI_IoctlNumber(2, CI_IOCTL_ARG_INT, CI_CAPTURE_ISSTARTED);
inline constexpr QOV_UINT32 CI_IOCTL_CAPTURE_HASWAITING =
    CI_IoctlNumber(2, CI_IOCTL_ARG_INT, CI_CAPTURE_HASWAITING);
inline constexpr QOV_UINT32 CI_IOCTL_CAPTURE_HASAVAILABLE =
    CI_IoctlNumber(3, CI_IOCTL_ARG_POINTER, CI_CAPTURE_HASAVAILABLE);
inline constexpr QOV_UINT32 CI_IOCTL_CAPTURE_HASPENDING =
    CI_IoctlNumber(2, CI_IOCTL_ARG_INT, CI_CAPTURE_HASPENDING);
inline constexpr QOV_UINT32 CI_IOCTL_GASKET_ACQUIRE =
    CI_IoctlNumber(2, CI_IOCTL_ARG_POINTER, CI_GASKET_ACQUIRE);
inline constexpr QOV_UINT32 CI_IOCTL_GASKET_RELEASE =
    CI_IoctlNumber(2, CI_IOCTL_ARG_INT, CI_GASKET_RELEASE);
inline constexpr QOV_UINT32 CI_IOCTL_GASKET_GETINFO =
    CI_IoctlNumber(3, CI_IOCTL_ARG_POINTER, CI_GASKET_GETINFO);
inline constexpr QOV_UINT32 CI_IOCTL_IIFDG_REGISTER =
    CI_IoctlNumber(2, CI_IOCTL_ARG_INT, CI_IIFDG_REGISTER);
inline constexpr QOV_UINT32 CI_IOCTL_IIFDG_START =
    CI_IoctlNumber(2, CI_IOCTL_ARG_POINTER, CI_IIFDG_START);
inline constexpr QOV_UINT32 CI_IOCTL_IIFDG_ISSTARTED =
    CI_IoctlNumber(2, CI_IOCTL_ARG_INT, CI_IIFDG_ISSTARTED);
inline constexpr QOV_UINT32 CI_IOCTL_IIFDG_STOP =
    CI_IoctlNumber(2, CI_IOCTL_ARG_INT, CI_IIFDG_STOP);
inline constexpr QOV_UINT32 CI_IOCTL_IIFDG_ALLOCATE =
    CI_IoctlNumber(3, CI_IOCTL_ARG_POINTER, CI_IIFDG_ALLOCATE);
inline constexpr QOV_UINT32 CI_IOCTL_IIFDG_ACQUIRE =
    CI_IoctlNumber(3, CI_IOCTL_ARG_POINTER, CI_IIFDG_ACQUIRE);
inline constexpr QOV_UINT32 CI_IOCTL_IIFDG_RELEASE =
    CI_IoctlNumber(2, CI_IOCTL_ARG_POINTER, CI_IIFDG_RELEASE);
inline constexpr QOV_UINT32 CI_IOCTL_IIFDG_WAITPROCESSED =
    CI_IoctlNumber(2, CI_IOCTL_ARG_POINTER, CI_IIFDG_WAITPROCESSED);
inline constexpr QOV_UINT32 CI_IOCTL_IIFDG_FREE =
    CI_IoctlNumber(2, CI_IOCTL_ARG_POINTER, CI_IIFDG_FREE);
inline constexpr QOV_UINT32 CI_IOCTL_DEBUG_REG =
    CI_IoctlNumber(3, CI_IOCTL_ARG_POINTER, CI_DEBUG_REG);

// The numbers are fixed: the driver matches them exactly.
static_assert(CI_IOCTL_INFO_GET == 0x40082100u);
static_assert(CI_IOCTL_LINESTORE_GET == 0x40082101u);
static_assert(CI_IOCTL_LINESTORE_SET == 0x80082102u);
static_assert(CI_IOCTL_GMALUT_GET == 0x40082103u);
static_assert(CI_IOCTL_GMALUT_SET == 0x80082104u);
static_assert(CI_IOCTL_TIMEST_GET == 0x40082105u);
static_assert(CI_IOCTL_SYSTIME_GET == 0x40082106u);
static_assert(CI_IOCTL_DPFINT_GET == 0x40082107u);
static_assert(CI_IOCTL_RTM_GET == 0x40082108u);
static_assert(CI_IOCTL_PIPELINE_REGISTER == 0x80082109u);
static_assert(CI_IOCTL_PIPELINE_DEREGISTER == 0x8004210au);
static_assert(CI_IOCTL_CONFIG_ADDPOOL == 0xc008210bu);
static_assert(CI_IOCTL_CONFIG_DELPOOL == 0x8004210cu);
static_assert(CI_IOCTL_CONFIG_UPDATE == 0x8008210du);
static_assert(CI_IOCTL_CREATE_BUFF == 0xc008210eu);
static_assert(CI_IOCTL_DEREGISTER_BUFF == 0x8008210fu);
static_assert(CI_IOCTL_PIPELINE_GET_LSH == 0x80082110u);
static_assert(CI_IOCTL_PIPELINE_SET_LSH == 0x80082111u);
static_assert(CI_IOCTL_PIPELINE_CHANGE_LSH == 0x80082112u);
static_assert(CI_IOCTL_CAPTURE_START == 0x80042113u);
static_assert(CI_IOCTL_CAPTURE_STOP == 0x80042114u);
static_assert(CI_IOCTL_CAPTURE_TRIGGER == 0x80082115u);
static_assert(CI_IOCTL_CAPTURE_ACQUIRE == 0xc0082116u);
static_assert(CI_IOCTL_CAPTURE_RELEASE == 0x80082117u);
static_assert(CI_IOCTL_CAPTURE_ISSTARTED == 0x80042118u);
static_assert(CI_IOCTL_CAPTURE_HASWAITING == 0x80042119u);
static_assert(CI_IOCTL_CAPTURE_HASAVAILABLE == 0xc008211au);
static_assert(CI_IOCTL_CAPTURE_HASPENDING == 0x8004211bu);
static_assert(CI_IOCTL_GASKET_ACQUIRE == 0x8008211cu);
static_assert(CI_IOCTL_GASKET_RELEASE == 0x8004211du);
static_assert(CI_IOCTL_GASKET_GETINFO == 0xc008211eu);
static_assert(CI_IOCTL_IIFDG_REGISTER == 0x8004211fu);
static_assert(CI_IOCTL_IIFDG_START == 0x80082120u);
static_assert(CI_IOCTL_IIFDG_ISSTARTED == 0x80042121u);
static_assert(CI_IOCTL_IIFDG_STOP == 0x80042122u);
static_assert(CI_IOCTL_IIFDG_ALLOCATE == 0xc0082123u);
static_assert(CI_IOCTL_IIFDG_ACQUIRE == 0xc0082124u);
static_assert(CI_IOCTL_IIFDG_RELEASE == 0x80082125u);
static_assert(CI_IOCTL_IIFDG_WAITPROCESSED == 0x80082126u);
static_assert(CI_IOCTL_IIFDG_FREE == 0x80082127u);
static_assert(CI_IOCTL_DEBUG_REG == 0xc0082128u);

// Request number of each CI_eIOCTL value, indexed by that value.
inline constexpr QOV_UINT32 CI_IOCTL_NUMBERS[CI_IOCTL_N] = {
    CI_IOCTL_INFO_GET,
    CI_IOCTL_LINESTORE_GET,
    CI_IOCTL_LINESTORE_SET,
    CI_IOCTL_GMALUT_GET,
    CI_IOCTL_GMALUT_SET,
    CI_IOCTL_TIMEST_GET,
    CI_IOCTL_SYSTIME_GET,
    CI_IOCTL_DPFINT_GET,
    CI_IOCTL_RTM_GET,
    CI_IOCTL_PIPELINE_REGISTER,
    CI_IOCTL_PIPELINE_DEREGISTER,
    CI_IOCTL_CONFIG_ADDPOOL,
    CI_IOCTL_CONFIG_DELPOOL,
    CI_IOCTL_CONFIG_UPDATE,
    CI_IOCTL_CREATE_BUFF,
    CI_IOCTL_DEREGISTER_BUFF,
    CI_IOCTL_PIPELINE_GET_LSH,
    CI_IOCTL_PIPELINE_SET_LSH,
    CI_IOCTL_PIPELINE_CHANGE_LSH,
    CI_IOCTL_CAPTURE_START,
    CI_IOCTL_CAPTURE_STOP,
    CI_IOCTL_CAPTURE_TRIGGER,
    CI_IOCTL_CAPTURE_ACQUIRE,
    CI_IOCTL_CAPTURE_RELEASE,
    CI_IOCTL_CAPTURE_ISSTARTED,
    CI_IOCTL_CAPTURE_HASWAITING,
    CI_IOCTL_CAPTURE_HASAVAILABLE,
    CI_IOCTL_CAPTURE_HASPENDING,
    CI_IOCTL_GASKET_ACQUIRE,
    CI_IOCTL_GASKET_RELEASE,
    CI_IOCTL_GASKET_GETINFO,
    CI_IOCTL_IIFDG_REGISTER,
    CI_IOCTL_IIFDG_START,
    CI_IOCTL_IIFDG_ISSTARTED,
    CI_IOCTL_IIFDG_STOP,
    CI_IOCTL_IIFDG_ALLOCATE,
    CI_IOCTL_IIFDG_ACQUIRE,
    CI_IOCTL_IIFDG_RELEASE,
    CI_IOCTL_IIFDG_WAITPROCESSED,
    CI_IOCTL_IIFDG_FREE,
    CI_IOCTL_DEBUG_REG,
};

// Every entry sits at its own request value and carries the type byte.
constexpr bool CI_IoctlTableIsConsistent()
{
    for (QOV_UINT32 n = 0; n < CI_IOCTL_N; ++n) {
        if ((CI_IOCTL_NUMBERS[n] & 0xFFu) != n || ((CI_IOCTL_NUMBERS[n] >> 8) & 0xFFu) != CI_IOCTL_TYPE)
            return false;
    }
    return true;
}
static_assert(CI_IoctlTableIsConsistent());

// Request number of a CI_eIOCTL value (0 to CI_IOCTL_N - 1).
constexpr QOV_UINT32 CI_IOCTL_NUMBER(CI_eIOCTL request)
{
    return CI_IOCTL_NUMBERS[request];
}
static_assert(CI_IOCTL_NUMBER(CI_CAPTURE_ACQUIRE) == 0xc0082116u);

/*-------------------------------------------------------------------------
 * Parameter records
 *-------------------------------------------------------------------------*/

// Map ids of a shot, indexed in CI_POOL_PARAM.aMemMapIds; a map id of 0 means none.
enum CI_POOL_MAP_IDS : QOV_INT32 {
    CI_POOL_MAP_ID_STAT = 0,
    CI_POOL_MAP_ID_DPF = 1,
    CI_POOL_MAP_ID_ENS = 2,
    CI_POOL_MAP_ID_LOAD = 3,
    CI_POOL_MAP_ID_COUNT = 4,
};

// Buffer kind as the driver knows it (declared opaquely in ci_api_structs.h).
enum CI_ALLOC_BUFF : QOV_INT32 {
    CI_ALLOC_ENC = 0,
    CI_ALLOC_DISP = 1,
    CI_ALLOC_HDREXT = 2,
    CI_ALLOC_RAW2D = 3,
    CI_ALLOC_HDRINS = 4,
    CI_ALLOC_LSHMAT = 5,
};

static_assert(sizeof(CI_ALLOC_BUFF) == 4);

// The part of a pipeline configuration the driver keeps.
typedef struct CI_PIPE_INFO {
    CI_PIPELINE_CONFIG config;
    CI_MODULE_IIF iifConfig;
    CI_MODULE_ENS ensConfig;
    CI_MODULE_LSH lshConfig;
    QOV_UINT8 aReserved0[6];
    CI_MODULE_DPF dpfConfig; // sInput.apDefectInput points into the caller's memory
    CI_AWS_CURVE_COEFFS sAWSCurveCoeffs;
    CI_MODULE_HDR hdrConfig;
    QOV_UINT8 aReserved1[4];
} CI_PIPE_INFO;

static_assert(sizeof(CI_PIPE_INFO) == 15168);
static_assert(offsetof(CI_PIPE_INFO, config) == 0);
static_assert(offsetof(CI_PIPE_INFO, iifConfig) == 152);
static_assert(offsetof(CI_PIPE_INFO, ensConfig) == 176);
static_assert(offsetof(CI_PIPE_INFO, lshConfig) == 178);
static_assert(offsetof(CI_PIPE_INFO, dpfConfig) == 200);
static_assert(offsetof(CI_PIPE_INFO, sAWSCurveCoeffs) == 232);
static_assert(offsetof(CI_PIPE_INFO, hdrConfig) == 272);

// CI_CONFIG_UPDATE: configuration and load structure of a pipeline.
typedef struct CI_PIPE_PARAM {
    CI_PIPE_INFO info;
    void *loadstructure; // the pipeline's load structure in user memory
    QOV_INT32 identifier; // pipeline id
    QOV_INT32 eUpdateMask; // CI_MODULE_UPDATE bits; on failure the groups that failed
    QOV_BOOL8 bUpdateASAP;
    QOV_UINT8 aReserved0[7];
} CI_PIPE_PARAM;

static_assert(sizeof(CI_PIPE_PARAM) == 15192);
static_assert(offsetof(CI_PIPE_PARAM, info) == 0);
static_assert(offsetof(CI_PIPE_PARAM, loadstructure) == 15168);
static_assert(offsetof(CI_PIPE_PARAM, identifier) == 15176);
static_assert(offsetof(CI_PIPE_PARAM, eUpdateMask) == 15180);
static_assert(offsetof(CI_PIPE_PARAM, bUpdateASAP) == 15184);

// CI_CONFIG_ADDPOOL: one new shot.
typedef struct CI_POOL_PARAM {
    QOV_UINT32 configId;
    QOV_UINT32 aMemMapIds[CI_POOL_MAP_ID_COUNT];
    QOV_INT32 iShotId;
    CI_SHOT sample;
} CI_POOL_PARAM;

static_assert(sizeof(CI_POOL_PARAM) == 312);
static_assert(offsetof(CI_POOL_PARAM, configId) == 0);
static_assert(offsetof(CI_POOL_PARAM, aMemMapIds) == 4);
static_assert(offsetof(CI_POOL_PARAM, iShotId) == 20);
static_assert(offsetof(CI_POOL_PARAM, sample) == 24);

// CI_CREATE_BUFF and CI_DEREGISTER_BUFF.
typedef struct CI_ALLOC_PARAM {
    QOV_UINT32 configId;
    QOV_UINT32 fd; // 0: the driver allocates; otherwise a dma-buf descriptor to import
    CI_ALLOC_BUFF type;
    QOV_BOOL8 bTiled;
    QOV_UINT8 aReserved0[3];
    QOV_UINT32 uiMemMapId;
    QOV_UINT32 uiSize;
} CI_ALLOC_PARAM;

static_assert(sizeof(CI_ALLOC_PARAM) == 24);
static_assert(offsetof(CI_ALLOC_PARAM, configId) == 0);
static_assert(offsetof(CI_ALLOC_PARAM, fd) == 4);
static_assert(offsetof(CI_ALLOC_PARAM, type) == 8);
static_assert(offsetof(CI_ALLOC_PARAM, bTiled) == 12);
static_assert(offsetof(CI_ALLOC_PARAM, uiMemMapId) == 16);
static_assert(offsetof(CI_ALLOC_PARAM, uiSize) == 20);

// CI_PIPELINE_GET_LSH.
typedef struct CI_LSH_GET_PARAM {
    QOV_UINT32 configId;
    QOV_UINT32 matrixId;
} CI_LSH_GET_PARAM;

static_assert(sizeof(CI_LSH_GET_PARAM) == 8);
static_assert(offsetof(CI_LSH_GET_PARAM, configId) == 0);
static_assert(offsetof(CI_LSH_GET_PARAM, matrixId) == 4);

// CI_PIPELINE_CHANGE_LSH (matrix id 0: none).
typedef struct CI_LSH_CHANGE_PARAM {
    QOV_UINT32 configId;
    QOV_UINT32 matrixId;
} CI_LSH_CHANGE_PARAM;

static_assert(sizeof(CI_LSH_CHANGE_PARAM) == 8);
static_assert(offsetof(CI_LSH_CHANGE_PARAM, configId) == 0);
static_assert(offsetof(CI_LSH_CHANGE_PARAM, matrixId) == 4);

// CI_PIPELINE_SET_LSH: the matrix handed back with its description.
typedef struct CI_LSH_SET_PARAM {
    QOV_UINT32 configId;
    QOV_UINT32 matrixId;
    CI_MODULE_LSH_MAT config;
} CI_LSH_SET_PARAM;

static_assert(sizeof(CI_LSH_SET_PARAM) == 28);
static_assert(offsetof(CI_LSH_SET_PARAM, configId) == 0);
static_assert(offsetof(CI_LSH_SET_PARAM, matrixId) == 4);
static_assert(offsetof(CI_LSH_SET_PARAM, config) == 8);
static_assert(offsetof(CI_LSH_SET_PARAM, config.ui16SkipX) == 8);
static_assert(offsetof(CI_LSH_SET_PARAM, config.ui16SkipY) == 10);
static_assert(offsetof(CI_LSH_SET_PARAM, config.ui16OffsetX) == 12);
static_assert(offsetof(CI_LSH_SET_PARAM, config.ui16OffsetY) == 14);
static_assert(offsetof(CI_LSH_SET_PARAM, config.ui8TileSizeLog2) == 16);
static_assert(offsetof(CI_LSH_SET_PARAM, config.ui8BitsPerDiff) == 17);
static_assert(offsetof(CI_LSH_SET_PARAM, config.ui16Width) == 18);
static_assert(offsetof(CI_LSH_SET_PARAM, config.ui16Height) == 20);
static_assert(offsetof(CI_LSH_SET_PARAM, config.ui16LineSize) == 22);
static_assert(offsetof(CI_LSH_SET_PARAM, config.ui32Stride) == 24);

// CI_CAPTURE_ACQUIRE: a processed shot.
typedef struct CI_BUFFER_PARAM {
    QOV_INT32 captureId; // pipeline id
    QOV_BOOL8 bBlocking;
    QOV_UINT8 aReserved0[3];
    QOV_INT32 shotId; // written by the driver
    QOV_UINT8 aReserved1[4];
    CI_SHOT shot; // written by the driver
} CI_BUFFER_PARAM;

static_assert(sizeof(CI_BUFFER_PARAM) == 304);
static_assert(offsetof(CI_BUFFER_PARAM, captureId) == 0);
static_assert(offsetof(CI_BUFFER_PARAM, bBlocking) == 4);
static_assert(offsetof(CI_BUFFER_PARAM, shotId) == 8);
static_assert(offsetof(CI_BUFFER_PARAM, shot) == 16);

// CI_CAPTURE_TRIGGER and CI_CAPTURE_RELEASE.
typedef struct CI_BUFFER_TRIGG {
    QOV_INT32 captureId;
    QOV_BOOL8 bBlocking;
    QOV_UINT8 aReserved0[3];
    QOV_INT32 shotId;
    CI_BUFFID bufferIds;
} CI_BUFFER_TRIGG;

static_assert(sizeof(CI_BUFFER_TRIGG) == 80);
static_assert(offsetof(CI_BUFFER_TRIGG, captureId) == 0);
static_assert(offsetof(CI_BUFFER_TRIGG, bBlocking) == 4);
static_assert(offsetof(CI_BUFFER_TRIGG, shotId) == 8);
static_assert(offsetof(CI_BUFFER_TRIGG, bufferIds) == 12);

// CI_CAPTURE_HASAVAILABLE.
typedef struct CI_HAS_AVAIL {
    QOV_INT32 captureId;
    QOV_UINT32 uiShots;   // written by the driver
    QOV_UINT32 uiBuffers; // written by the driver
} CI_HAS_AVAIL;

static_assert(sizeof(CI_HAS_AVAIL) == 12);
static_assert(offsetof(CI_HAS_AVAIL, captureId) == 0);
static_assert(offsetof(CI_HAS_AVAIL, uiShots) == 4);
static_assert(offsetof(CI_HAS_AVAIL, uiBuffers) == 8);

// CI_GASKET_GETINFO.
typedef struct CI_GASKET_PARAM {
    QOV_UINT8 uiGasket;
    QOV_UINT8 aReserved0[3];
    CI_GASKET_INFO sGasketInfo; // written by the driver
} CI_GASKET_PARAM;

static_assert(sizeof(CI_GASKET_PARAM) == 20);
static_assert(offsetof(CI_GASKET_PARAM, uiGasket) == 0);
static_assert(offsetof(CI_GASKET_PARAM, sGasketInfo) == 4);

// CI_IIFDG_START.
typedef struct CI_DG_PARAM {
    QOV_INT32 datagenId;
    CI_DATAGEN sDG;
} CI_DG_PARAM;

static_assert(sizeof(CI_DG_PARAM) == 20);
static_assert(offsetof(CI_DG_PARAM, datagenId) == 0);
static_assert(offsetof(CI_DG_PARAM, sDG) == 4);

// CI_IIFDG_ALLOCATE, CI_IIFDG_ACQUIRE and CI_IIFDG_FREE.
typedef struct CI_DG_FRAMEINFO {
    QOV_INT32 datagenId;
    QOV_UINT32 uiSize;
    QOV_UINT32 mmapId;
    QOV_UINT32 uiFrameId; // 0 on acquisition: any available frame
} CI_DG_FRAMEINFO;

static_assert(sizeof(CI_DG_FRAMEINFO) == 16);
static_assert(offsetof(CI_DG_FRAMEINFO, datagenId) == 0);
static_assert(offsetof(CI_DG_FRAMEINFO, uiSize) == 4);
static_assert(offsetof(CI_DG_FRAMEINFO, mmapId) == 8);
static_assert(offsetof(CI_DG_FRAMEINFO, uiFrameId) == 12);

// CI_IIFDG_RELEASE: send a frame (bTrigger 1) or give it back unsent (0).
typedef struct CI_DG_FRAMETRIG {
    QOV_INT32 datagenId;
    QOV_UINT32 uiFrameId;
    QOV_UINT32 uiStride;
    QOV_UINT16 uiWidth;
    QOV_UINT16 uiHeight;
    QOV_UINT16 uiHorizontalBlanking;
    QOV_UINT16 uiVerticalBlanking;
    QOV_BOOL8 bTrigger;
    QOV_UINT8 aReserved0[3];
} CI_DG_FRAMETRIG;

static_assert(sizeof(CI_DG_FRAMETRIG) == 24);
static_assert(offsetof(CI_DG_FRAMETRIG, datagenId) == 0);
static_assert(offsetof(CI_DG_FRAMETRIG, uiFrameId) == 4);
static_assert(offsetof(CI_DG_FRAMETRIG, uiStride) == 8);
static_assert(offsetof(CI_DG_FRAMETRIG, uiWidth) == 12);
static_assert(offsetof(CI_DG_FRAMETRIG, uiHeight) == 14);
static_assert(offsetof(CI_DG_FRAMETRIG, uiHorizontalBlanking) == 16);
static_assert(offsetof(CI_DG_FRAMETRIG, uiVerticalBlanking) == 18);
static_assert(offsetof(CI_DG_FRAMETRIG, bTrigger) == 20);

// CI_IIFDG_WAITPROCESSED.
typedef struct CI_DG_FRAMEWAIT {
    QOV_INT32 datagenId;
    QOV_BOOL8 bBlocking;
    QOV_UINT8 aReserved0[3];
} CI_DG_FRAMEWAIT;

static_assert(sizeof(CI_DG_FRAMEWAIT) == 8);
static_assert(offsetof(CI_DG_FRAMEWAIT, datagenId) == 0);
static_assert(offsetof(CI_DG_FRAMEWAIT, bBlocking) == 4);

// CI_DEBUG_REG: one register read or written.
typedef struct CI_DEBUG_REG_PARAM {
    QOV_BOOL8 bRead;
    QOV_UINT8 eBank;
    QOV_UINT8 aReserved0[2];
    QOV_UINT32 ui32Offset;
    QOV_UINT32 ui32Value; // the value to write, or the value read
} CI_DEBUG_REG_PARAM;

static_assert(sizeof(CI_DEBUG_REG_PARAM) == 12);
static_assert(offsetof(CI_DEBUG_REG_PARAM, bRead) == 0);
static_assert(offsetof(CI_DEBUG_REG_PARAM, eBank) == 1);
static_assert(offsetof(CI_DEBUG_REG_PARAM, ui32Offset) == 4);
static_assert(offsetof(CI_DEBUG_REG_PARAM, ui32Value) == 8);

#endif
