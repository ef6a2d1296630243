// OV10823, OV5647 and OV5695 image sensors on the shared driver base. The
// three share one pattern: one configuration, a few modes whose size and
// timing are read from the mode list (0x3808 to 0x380F), an initial exposure
// read from the list's exposure registers, flip registers patched while the
// mode list is written, and exposure and gain of every context written to one
// register set. They differ in their clock derivation, line-time unit,
// exposure and gain encodings and flip bits.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sensors/sensor_common.h"
#include "sensors/sensor_drivers.h"
#include "vezaracommon/userlog.h"

#define OV10823_TAG "OV10823_SENSOR"
#define OV5647_TAG "OV5647_SENSOR"
#define OV5695_TAG "OV5695_SENSOR"

#define OV_LOG_ERROR(tag, ...) LOG_Error(__func__, __LINE__, tag, __VA_ARGS__)
#define OV_LOG_WARNING(tag, ...) LOG_Warning(__func__, __LINE__, tag, __VA_ARGS__)

#define OV_REG_BYTES 3  // address high, address low, value

// Registers of the mode lists that every chip of the family reads.
#define REG_EXPOSURE_HI 0x3500  // exposure lines, bits 19-16 (with 4 fraction bits)
#define REG_EXPOSURE_MID 0x3501
#define REG_EXPOSURE_LO 0x3502
#define REG_X_OUTPUT_HI 0x3808
#define REG_X_OUTPUT_LO 0x3809
#define REG_Y_OUTPUT_HI 0x380A
#define REG_Y_OUTPUT_LO 0x380B
#define REG_HTS_HI 0x380C
#define REG_HTS_LO 0x380D
#define REG_VTS_HI 0x380E
#define REG_VTS_LO 0x380F
#define REG_FORMAT1 0x3820  // vertical flip
#define REG_FORMAT2 0x3821  // horizontal mirror

// The stop list: standby, then 200 ms for the last frame to leave the chip.
static const QOV_UINT8 ov_disable_regs[] = {
    0x01, 0x00, 0x00,
    SENSOR_REG_PAUSE, 0xC8, SENSOR_REG_PAUSE,
};

/*-------------------------------------------------------------------------
 * OV10823 register lists
 *-------------------------------------------------------------------------*/

namespace ov10823 {

// Configuration: reset, standby, 10-bit output on 4 lanes, PLL (0x3082 and
// 0x308D recomputed from the reference clock), manual exposure and gain,
// then the analog and timing settings. A mode list sets the window, output
// size, totals, subsampling, vertical flip, initial exposure and gain, and
// starts streaming.

static const QOV_UINT8 config_4lanes[] = {
    0x01, 0x03, 0x01,  0xFE, 0x14, 0x00,  0x01, 0x00, 0x00,  0x30, 0x0F, 0x01,
    0x30, 0x12, 0x41,  0x30, 0x82, 0x6C,  0x30, 0x8B, 0x02,  0x30, 0x8D, 0xAE,
    0x30, 0x8E, 0x07,  0x30, 0x8F, 0x03,  0x35, 0x03, 0x07,  0x36, 0x00, 0xDD,
    0x36, 0x02, 0x4A,  0x36, 0x04, 0xD9,  0x36, 0x06, 0x0B,  0x36, 0x08, 0x3F,
    0x36, 0x0A, 0xAA,  0x36, 0x0C, 0x16,  0x36, 0x0E, 0x42,  0x36, 0x11, 0x2C,
    0x36, 0x13, 0x3B,  0x36, 0x15, 0x86,  0x36, 0x17, 0xC7,  0x36, 0x19, 0xB3,
    0x36, 0x1B, 0xD2,  0x36, 0x1D, 0xD8,  0x36, 0x20, 0xC2,  0x36, 0x22, 0xD4,
    0x36, 0x24, 0x20,  0x36, 0x26, 0xC9,  0x36, 0x28, 0xFC,  0x36, 0x2A, 0xEF,
    0x36, 0x2C, 0xAE,  0x36, 0x2E, 0x76,  0x36, 0x31, 0x3E,  0x36, 0x33, 0xED,
    0x36, 0x35, 0x9A,  0x36, 0x37, 0x61,  0x36, 0x39, 0x67,  0x36, 0x3B, 0x30,
    0x36, 0x3D, 0x0F,  0x37, 0x00, 0x45,  0x37, 0x02, 0x50,  0x37, 0x04, 0x3B,
    0x37, 0x06, 0x85,  0x37, 0x08, 0x9A,  0x37, 0x0A, 0x60,  0x37, 0x0C, 0x21,
    0x37, 0x0E, 0xBE,  0x37, 0x11, 0xE6,  0x37, 0x13, 0xEE,  0x37, 0x15, 0xAF,
    0x37, 0x17, 0x7B,  0x37, 0x19, 0xCA,  0x37, 0x1B, 0x59,  0x37, 0x1D, 0x59,
    0x37, 0x20, 0x02,  0x37, 0x22, 0xC8,  0x37, 0x24, 0xE9,  0x37, 0x26, 0xE5,
    0x37, 0x28, 0x51,  0x37, 0x2A, 0xD5,  0x37, 0x2C, 0x64,  0x37, 0x2E, 0xD9,
    0x37, 0x31, 0x1F,  0x37, 0x33, 0xA2,  0x37, 0x35, 0x70,  0x37, 0x37, 0xA5,
    0x37, 0x39, 0x97,  0x37, 0x3B, 0xAA,  0x37, 0x3D, 0xAC,  0x37, 0x40, 0x91,
    0x37, 0x42, 0xD4,  0x37, 0x44, 0xFC,  0x37, 0x46, 0x8C,  0x37, 0x48, 0x65,
    0x37, 0x4A, 0x1B,  0x37, 0x4C, 0xC6,  0x37, 0x4E, 0xF8,  0x37, 0x51, 0xDA,
    0x37, 0x53, 0xDA,  0x37, 0x55, 0xA5,  0x37, 0x57, 0xA4,  0x37, 0x59, 0xC3,
    0x37, 0x5B, 0x64,  0x37, 0x5D, 0xAE,  0x37, 0x60, 0x2E,  0x37, 0x62, 0xFB,
    0x37, 0x64, 0x6A,  0x37, 0x66, 0x3C,  0x37, 0x68, 0xF9,  0x37, 0x6A, 0x0D,
    0x37, 0x6C, 0x39,  0x37, 0x6E, 0x78,  0x37, 0x71, 0xCC,  0x37, 0x73, 0xA6,
    0x37, 0x75, 0xB5,  0x37, 0x77, 0xA9,  0x37, 0x79, 0x29,  0x37, 0x7B, 0xBB,
    0x37, 0x7D, 0x19,  0x40, 0x00, 0x41,  0x40, 0x02, 0x6E,  0x40, 0x04, 0x7A,
    0x40, 0x06, 0x6C,  0x40, 0x08, 0xA3,  0x40, 0x0A, 0xAE,  0x40, 0x0C, 0xF2,
    0x40, 0x0E, 0xC2,  0x40, 0x11, 0xB5,  0x40, 0x13, 0x4C,  0x40, 0x15, 0x81,
    0x40, 0x17, 0x38,  0x40, 0x19, 0x2A,  0x40, 0x1B, 0x5D,  0x40, 0x1D, 0x01,
    0x43, 0x00, 0xAD,  0x43, 0x02, 0x8C,  0x43, 0x04, 0xBB,  0x43, 0x06, 0xB1,
    0x43, 0x08, 0x41,  0x43, 0x0A, 0x0C,  0x43, 0x0C, 0xE9,  0x43, 0x0E, 0xE5,
    0x48, 0x01, 0x8E,  0x48, 0x03, 0x09,  0x48, 0x05, 0xAA,  0x48, 0x07, 0x6E,
    0x48, 0x09, 0xA9,  0x48, 0x0B, 0x62,  0x48, 0x0D, 0x60,  0x48, 0x10, 0xC7,
    0x48, 0x12, 0xD7,  0x48, 0x14, 0x7C,  0x48, 0x16, 0x25,  0x48, 0x18, 0x04,
    0x48, 0x1A, 0x0F,  0x48, 0x1C, 0x12,  0x48, 0x1E, 0xAB,  0x48, 0x21, 0x7B,
    0x48, 0x23, 0x34,  0x48, 0x25, 0xC0,  0x48, 0x27, 0xD4,  0x48, 0x29, 0x2F,
    0x48, 0x2B, 0x0E,  0x48, 0x2D, 0x4D,  0x48, 0x30, 0x10,  0x48, 0x32, 0x00,
    0x48, 0x34, 0x0D,  0x48, 0x36, 0xBB,  0x48, 0x38, 0x7A,  0x48, 0x3A, 0x95,
    0x48, 0x3C, 0xBE,  0x48, 0x3E, 0x10,  0x50, 0x01, 0xB2,  0x50, 0x03, 0x05,
    0x50, 0x05, 0x09,  0x50, 0x07, 0xE2,  0x50, 0x09, 0x78,  0x50, 0x0B, 0x48,
    0x50, 0x0D, 0x31,
    0xFF, 0xFF, 0xFF,
};

static const QOV_UINT8 mode_4336x2440_30fps[] = {
    0x38, 0x00, 0x00,  0x38, 0x01, 0x08,  0x38, 0x02, 0x00,  0x38, 0x03, 0x08,
    0x38, 0x04, 0x10,  0x38, 0x05, 0xF7,  0x38, 0x06, 0x09,  0x38, 0x07, 0x8F,
    0x38, 0x08, 0x10,  0x38, 0x09, 0xF0,  0x38, 0x0A, 0x09,  0x38, 0x0B, 0x88,
    0x38, 0x0C, 0x15,  0x38, 0x0D, 0x80,  0x38, 0x0E, 0x09,  0x38, 0x0F, 0xE0,
    0x38, 0x10, 0x00,  0x38, 0x11, 0x04,  0x38, 0x12, 0x00,  0x38, 0x13, 0x04,
    0x38, 0x14, 0x11,  0x38, 0x15, 0x11,  0x38, 0x20, 0x00,  0x35, 0x00, 0x00,
    0x35, 0x01, 0x9D,  0x35, 0x02, 0x00,  0x35, 0x0A, 0x00,  0x35, 0x0B, 0x10,
    0x37, 0x00, 0xC6,  0x37, 0x04, 0x7E,  0x37, 0x09, 0x81,  0x37, 0x0E, 0x6B,
    0x37, 0x12, 0x4B,  0x37, 0x17, 0xFB,  0x37, 0x1C, 0xE2,  0x37, 0x21, 0xFB,
    0x37, 0x25, 0x54,  0x37, 0x2A, 0xF6,  0x37, 0x2F, 0xBD,  0x37, 0x34, 0xDF,
    0x37, 0x38, 0x7C,  0x37, 0x3D, 0x1C,  0x37, 0x42, 0xE1,  0x37, 0x47, 0x87,
    0x37, 0x4B, 0x01,  0x37, 0x50, 0xBF,  0x37, 0x55, 0x31,  0x37, 0x5A, 0xDE,
    0x37, 0x5E, 0x56,  0x37, 0x63, 0x72,  0x37, 0x68, 0x0F,  0x37, 0x6D, 0x47,
    0x37, 0x71, 0x67,  0x37, 0x76, 0x66,  0x37, 0x7B, 0x87,  0x40, 0x00, 0x59,
    0x40, 0x04, 0xAA,  0x40, 0x09, 0x88,  0x40, 0x0E, 0x3C,  0x40, 0x12, 0x59,
    0x40, 0x17, 0xEA,  0x40, 0x1C, 0x56,  0x45, 0x01, 0x13,  0x45, 0x05, 0x7B,
    0x45, 0x0A, 0xD2,  0x45, 0x0F, 0x85,  0x45, 0x14, 0xA1,  0x45, 0x18, 0xD8,
    0x45, 0x1D, 0x3C,  0x48, 0x02, 0x54,  0x48, 0x07, 0x55,  0x48, 0x0B, 0x2F,
    0x48, 0x10, 0x37,  0x48, 0x15, 0xAE,  0x48, 0x1A, 0x65,  0x48, 0x1E, 0x5B,
    0x48, 0x23, 0xDA,  0x48, 0x28, 0x02,  0x48, 0x2D, 0x79,  0x48, 0x31, 0x98,
    0x48, 0x36, 0xCC,  0x48, 0x3B, 0xE3,  0x01, 0x00, 0x01,
    0xFF, 0xFF, 0xFF,
};

static const QOV_UINT8 mode_3840x2160_30fps[] = {
    0x38, 0x00, 0x01,  0x38, 0x01, 0x00,  0x38, 0x02, 0x00,  0x38, 0x03, 0x94,
    0x38, 0x04, 0x0F,  0x38, 0x05, 0xFF,  0x38, 0x06, 0x09,  0x38, 0x07, 0x03,
    0x38, 0x08, 0x0F,  0x38, 0x09, 0x00,  0x38, 0x0A, 0x08,  0x38, 0x0B, 0x70,
    0x38, 0x0C, 0x15,  0x38, 0x0D, 0x80,  0x38, 0x0E, 0x09,  0x38, 0x0F, 0xE0,
    0x38, 0x10, 0x00,  0x38, 0x11, 0x04,  0x38, 0x12, 0x00,  0x38, 0x13, 0x04,
    0x38, 0x14, 0x11,  0x38, 0x15, 0x11,  0x38, 0x20, 0x00,  0x35, 0x00, 0x00,
    0x35, 0x01, 0x9D,  0x35, 0x02, 0x00,  0x35, 0x0A, 0x00,  0x35, 0x0B, 0x10,
    0x37, 0x00, 0x8C,  0x37, 0x04, 0x21,  0x37, 0x09, 0xFF,  0x37, 0x0E, 0x72,
    0x37, 0x12, 0xED,  0x37, 0x17, 0xD7,  0x37, 0x1C, 0x18,  0x37, 0x21, 0xD9,
    0x37, 0x25, 0x4E,  0x37, 0x2A, 0x13,  0x37, 0x2F, 0x95,  0x37, 0x34, 0x13,
    0x37, 0x38, 0xDC,  0x37, 0x3D, 0x1B,  0x37, 0x42, 0x63,  0x37, 0x47, 0xFC,
    0x37, 0x4B, 0x93,  0x37, 0x50, 0x06,  0x37, 0x55, 0xF6,  0x37, 0x5A, 0xBF,
    0x37, 0x5E, 0x9C,  0x37, 0x63, 0xE5,  0x37, 0x68, 0x06,  0x37, 0x6D, 0xE0,
    0x37, 0x71, 0x6D,  0x37, 0x76, 0xB0,  0x37, 0x7B, 0x0A,  0x40, 0x00, 0x05,
    0x40, 0x04, 0x9F,  0x40, 0x09, 0xF2,  0x40, 0x0E, 0x75,  0x40, 0x12, 0x87,
    0x40, 0x17, 0x8E,  0x40, 0x1C, 0x34,  0x45, 0x01, 0xB3,  0x45, 0x05, 0xBC,
    0x45, 0x0A, 0xB3,  0x45, 0x0F, 0x2B,  0x45, 0x14, 0xE2,  0x45, 0x18, 0x02,
    0x45, 0x1D, 0xC0,  0x48, 0x02, 0xA1,  0x48, 0x07, 0x51,  0x48, 0x0B, 0x8C,
    0x48, 0x10, 0x80,  0x48, 0x15, 0x23,  0x48, 0x1A, 0xB9,  0x48, 0x1E, 0xEC,
    0x48, 0x23, 0x6D,  0x48, 0x28, 0x6F,  0x48, 0x2D, 0x3D,  0x48, 0x31, 0x64,
    0x48, 0x36, 0x0E,  0x48, 0x3B, 0x9C,  0x01, 0x00, 0x01,
    0xFF, 0xFF, 0xFF,
};

static const QOV_UINT8 mode_2168x1220_30fps[] = {
    0x38, 0x00, 0x00,  0x38, 0x01, 0x08,  0x38, 0x02, 0x00,  0x38, 0x03, 0x08,
    0x38, 0x04, 0x10,  0x38, 0x05, 0xF7,  0x38, 0x06, 0x09,  0x38, 0x07, 0x8F,
    0x38, 0x08, 0x08,  0x38, 0x09, 0x78,  0x38, 0x0A, 0x04,  0x38, 0x0B, 0xC4,
    0x38, 0x0C, 0x15,  0x38, 0x0D, 0x80,  0x38, 0x0E, 0x04,  0x38, 0x0F, 0xF0,
    0x38, 0x10, 0x00,  0x38, 0x11, 0x04,  0x38, 0x12, 0x00,  0x38, 0x13, 0x04,
    0x38, 0x14, 0x31,  0x38, 0x15, 0x31,  0x38, 0x20, 0x00,  0x35, 0x00, 0x00,
    0x35, 0x01, 0x4E,  0x35, 0x02, 0x00,  0x35, 0x0A, 0x00,  0x35, 0x0B, 0x10,
    0x37, 0x00, 0x53,  0x37, 0x04, 0xC3,  0x37, 0x09, 0x7D,  0x37, 0x0E, 0x78,
    0x37, 0x12, 0x8E,  0x37, 0x17, 0xB4,  0x37, 0x1C, 0x4D,  0x37, 0x21, 0xB7,
    0x37, 0x25, 0x48,  0x37, 0x2A, 0x2F,  0x37, 0x2F, 0x6D,  0x37, 0x34, 0x46,
    0x37, 0x38, 0x3D,  0x37, 0x3D, 0x19,  0x37, 0x42, 0xE5,  0x37, 0x47, 0x70,
    0x37, 0x4B, 0x24,  0x37, 0x50, 0x4C,  0x37, 0x55, 0xBB,  0x37, 0x5A, 0xA0,
    0x37, 0x5E, 0xE3,  0x37, 0x63, 0x58,  0x37, 0x68, 0xFC,  0x37, 0x6D, 0x78,
    0x37, 0x71, 0x74,  0x37, 0x76, 0xFA,  0x37, 0x7B, 0x8C,  0x40, 0x00, 0xB1,
    0x40, 0x04, 0x95,  0x40, 0x09, 0x5C,  0x40, 0x0E, 0xAF,  0x40, 0x12, 0xB5,
    0x40, 0x17, 0x32,  0x40, 0x1C, 0x12,  0x45, 0x01, 0x53,  0x45, 0x05, 0xFE,
    0x45, 0x0A, 0x93,  0x45, 0x0F, 0xD1,  0x45, 0x14, 0x23,  0x45, 0x18, 0x2C,
    0x45, 0x1D, 0x45,  0x48, 0x02, 0xED,  0x48, 0x07, 0x4C,  0x48, 0x0B, 0xE9,
    0x48, 0x10, 0xC9,  0x48, 0x15, 0x99,  0x48, 0x1A, 0x0D,  0x48, 0x1E, 0x7D,
    0x48, 0x23, 0xFF,  0x48, 0x28, 0xDC,  0x48, 0x2D, 0x01,  0x48, 0x31, 0x30,
    0x48, 0x36, 0x51,  0x48, 0x3B, 0x55,  0x01, 0x00, 0x01,
    0xFF, 0xFF, 0xFF,
};

static const QOV_UINT8 mode_1920x1080_30fps[] = {
    0x38, 0x00, 0x01,  0x38, 0x01, 0x00,  0x38, 0x02, 0x00,  0x38, 0x03, 0x94,
    0x38, 0x04, 0x0F,  0x38, 0x05, 0xFF,  0x38, 0x06, 0x09,  0x38, 0x07, 0x03,
    0x38, 0x08, 0x07,  0x38, 0x09, 0x80,  0x38, 0x0A, 0x04,  0x38, 0x0B, 0x38,
    0x38, 0x0C, 0x15,  0x38, 0x0D, 0x80,  0x38, 0x0E, 0x04,  0x38, 0x0F, 0xF0,
    0x38, 0x10, 0x00,  0x38, 0x11, 0x04,  0x38, 0x12, 0x00,  0x38, 0x13, 0x04,
    0x38, 0x14, 0x31,  0x38, 0x15, 0x31,  0x38, 0x20, 0x00,  0x35, 0x00, 0x00,
    0x35, 0x01, 0x4E,  0x35, 0x02, 0x00,  0x35, 0x0A, 0x00,  0x35, 0x0B, 0x10,
    0x37, 0x00, 0x19,  0x37, 0x04, 0x66,  0x37, 0x09, 0xFB,  0x37, 0x0E, 0x7F,
    0x37, 0x12, 0x2F,  0x37, 0x17, 0x90,  0x37, 0x1C, 0x82,  0x37, 0x21, 0x95,
    0x37, 0x25, 0x42,  0x37, 0x2A, 0x4B,  0x37, 0x2F, 0x45,  0x37, 0x34, 0x79,
    0x37, 0x38, 0x9D,  0x37, 0x3D, 0x17,  0x37, 0x42, 0x67,  0x37, 0x47, 0xE5,
    0x37, 0x4B, 0xB5,  0x37, 0x50, 0x93,  0x37, 0x55, 0x80,  0x37, 0x5A, 0x81,
    0x37, 0x5E, 0x29,  0x37, 0x63, 0xCA,  0x37, 0x68, 0xF3,  0x37, 0x6D, 0x10,
    0x37, 0x71, 0x7A,  0x37, 0x76, 0x43,  0x37, 0x7B, 0x0F,  0x40, 0x00, 0x5D,
    0x40, 0x04, 0x8A,  0x40, 0x09, 0xC7,  0x40, 0x0E, 0xE8,  0x40, 0x12, 0xE3,
    0x40, 0x17, 0xD6,  0x40, 0x1C, 0xF0,  0x45, 0x01, 0xF3,  0x45, 0x05, 0x3F,
    0x45, 0x0A, 0x73,  0x45, 0x0F, 0x76,  0x45, 0x14, 0x64,  0x45, 0x18, 0x56,
    0x45, 0x1D, 0xCA,  0x48, 0x02, 0x39,  0x48, 0x07, 0x48,  0x48, 0x0B, 0x46,
    0x48, 0x10, 0x13,  0x48, 0x15, 0x0E,  0x48, 0x1A, 0x61,  0x48, 0x1E, 0x0E,
    0x48, 0x23, 0x92,  0x48, 0x28, 0x4A,  0x48, 0x2D, 0xC5,  0x48, 0x31, 0xFC,
    0x48, 0x36, 0x94,  0x48, 0x3B, 0x0F,  0x01, 0x00, 0x01,
    0xFF, 0xFF, 0xFF,
};

// One configuration with four modes; every entry allows both flips.
static sensor_mode configs[] = {
    {SENSOR_FLIP_BOTH, config_4lanes, 0, OV_REG_BYTES},
};
static sensor_mode modes[] = {
    {SENSOR_FLIP_BOTH, mode_4336x2440_30fps, 0, OV_REG_BYTES},
    {SENSOR_FLIP_BOTH, mode_3840x2160_30fps, 0, OV_REG_BYTES},
    {SENSOR_FLIP_BOTH, mode_2168x1220_30fps, 0, OV_REG_BYTES},
    {SENSOR_FLIP_BOTH, mode_1920x1080_30fps, 0, OV_REG_BYTES},
};
static const QOV_UINT8 num_modes[] = {4};

}  // namespace ov10823

/*-------------------------------------------------------------------------
 * OV5647 register lists
 *-------------------------------------------------------------------------*/

namespace ov5647 {

// Configuration: reset, standby, 2 lanes, 10-bit output, PLL, manual
// exposure and gain, then the analog settings. A mode list sets output size
// and totals (the full-size one also offsets, subsampling and an initial
// exposure) and starts streaming. Neither list holds a flip register.

static const QOV_UINT8 config_2lanes[] = {
    0x01, 0x03, 0x01,  0xFE, 0x0A, 0x00,  0x01, 0x00, 0x00,  0x30, 0x18, 0x44,
    0x30, 0x34, 0x1A,  0x30, 0x35, 0x21,  0x30, 0x36, 0x62,  0x30, 0x37, 0x03,
    0x31, 0x06, 0xF5,  0x35, 0x03, 0x03,  0x36, 0x00, 0x5C,  0x36, 0x04, 0xA8,
    0x36, 0x08, 0x99,  0x36, 0x0C, 0xB2,  0x36, 0x10, 0x53,  0x36, 0x15, 0x97,
    0x36, 0x19, 0xEF,  0x36, 0x1D, 0x4A,  0x36, 0x21, 0x4C,  0x36, 0x25, 0xA3,
    0x36, 0x2A, 0x68,  0x36, 0x2E, 0xD0,  0x36, 0x32, 0xA1,  0x36, 0x36, 0x5A,
    0x36, 0x3A, 0x40,  0x36, 0x3F, 0x18,  0x37, 0x03, 0xC4,  0x37, 0x07, 0x2D,
    0x37, 0x0B, 0x2C,  0x37, 0x0F, 0xE0,  0x37, 0x14, 0x2F,  0x37, 0x18, 0xEE,
    0x37, 0x1C, 0x26,  0x37, 0x20, 0xAB,  0x37, 0x24, 0x0F,  0x37, 0x29, 0x0A,
    0x37, 0x2D, 0xF8,  0x37, 0x31, 0x60,  0x37, 0x35, 0xB0,  0x37, 0x39, 0x86,
    0x37, 0x3E, 0x8A,  0x40, 0x02, 0xA1,  0x40, 0x06, 0xA7,  0x40, 0x0A, 0xBA,
    0x40, 0x0E, 0xED,  0x48, 0x03, 0xEC,  0x48, 0x07, 0xC1,  0x48, 0x0B, 0xD0,
    0x48, 0x0F, 0x23,
    0xFF, 0xFF, 0xFF,
};

static const QOV_UINT8 mode_1920x1080[] = {
    0x38, 0x08, 0x07,  0x38, 0x09, 0x80,  0x38, 0x0A, 0x04,  0x38, 0x0B, 0x38,
    0x38, 0x0C, 0x09,  0x38, 0x0D, 0x70,  0x38, 0x0E, 0x04,  0x38, 0x0F, 0x50,
    0x01, 0x00, 0x01,
    0xFF, 0xFF, 0xFF,
};

static const QOV_UINT8 mode_2592x1944[] = {
    0x38, 0x08, 0x0A,  0x38, 0x09, 0x20,  0x38, 0x0A, 0x07,  0x38, 0x0B, 0x98,
    0x38, 0x0C, 0x0B,  0x38, 0x0D, 0x1C,  0x38, 0x0E, 0x07,  0x38, 0x0F, 0xB0,
    0x38, 0x10, 0x00,  0x38, 0x11, 0x10,  0x38, 0x12, 0x00,  0x38, 0x13, 0x06,
    0x38, 0x14, 0x11,  0x38, 0x15, 0x11,  0x35, 0x00, 0x00,  0x35, 0x01, 0x7A,
    0x35, 0x02, 0x00,  0x40, 0x04, 0x04,  0x01, 0x00, 0x01,
    0xFF, 0xFF, 0xFF,
};

static sensor_mode configs[] = {
    {SENSOR_FLIP_BOTH, config_2lanes, 0, OV_REG_BYTES},
};
static sensor_mode modes[] = {
    {SENSOR_FLIP_BOTH, mode_1920x1080, 0, OV_REG_BYTES},
    {SENSOR_FLIP_BOTH, mode_2592x1944, 0, OV_REG_BYTES},
};
static const QOV_UINT8 num_modes[] = {2};

}  // namespace ov5647

/*-------------------------------------------------------------------------
 * OV5695 register lists
 *-------------------------------------------------------------------------*/

namespace ov5695 {

// Configuration: reset, standby, manual exposure and gain, then the PLL,
// analog and timing settings. A mode list sets the window, output size,
// totals, subsampling, both flips (0x3820), initial exposure and gain, and
// starts streaming.

static const QOV_UINT8 config_2lanes[] = {
    0x01, 0x03, 0x01,  0xFE, 0x0A, 0x00,  0x01, 0x00, 0x00,  0x35, 0x03, 0x04,
    0x03, 0x00, 0x8A,  0x03, 0x02, 0x25,  0x03, 0x04, 0x2D,  0x03, 0x06, 0xE9,
    0x03, 0x08, 0x90,  0x03, 0x0B, 0xE8,  0x03, 0x0D, 0xEF,  0x03, 0x0F, 0xE4,
    0x03, 0x11, 0x2F,  0x03, 0x14, 0xF5,  0x03, 0x16, 0xE8,  0x03, 0x18, 0x69,
    0x03, 0x1A, 0xB6,  0x03, 0x1D, 0x06,  0x03, 0x1F, 0xA2,  0x36, 0x01, 0xF1,
    0x36, 0x03, 0x01,  0x36, 0x06, 0x66,  0x36, 0x08, 0x13,  0x36, 0x0A, 0x0B,
    0x36, 0x0C, 0x5E,  0x36, 0x0F, 0x73,  0x36, 0x11, 0x63,  0x36, 0x13, 0x3F,
    0x36, 0x15, 0x44,  0x36, 0x18, 0xD5,  0x36, 0x1A, 0x7C,  0x36, 0x1C, 0xA6,
    0x36, 0x1E, 0xB2,  0x36, 0x21, 0x7C,  0x36, 0x23, 0x53,  0x36, 0x25, 0x45,
    0x36, 0x27, 0x68,  0x36, 0x29, 0x5B,  0x36, 0x2C, 0xF8,  0x36, 0x2E, 0x2E,
    0x36, 0x30, 0xC9,  0x36, 0x32, 0xE6,  0x36, 0x35, 0x5E,  0x36, 0x37, 0x55,
    0x36, 0x39, 0x8B,  0x36, 0x3B, 0x4C,  0x36, 0x3E, 0xEB,  0x37, 0x00, 0x33,
    0x37, 0x02, 0x24,  0x37, 0x04, 0x74,  0x37, 0x07, 0xBF,  0x37, 0x09, 0x1C,
    0x37, 0x0B, 0xF4,  0x37, 0x0D, 0xBA,  0x37, 0x10, 0xC4,  0x37, 0x12, 0x61,
    0x37, 0x14, 0x33,  0x37, 0x16, 0x66,  0x37, 0x19, 0x7A,  0x37, 0x1B, 0x25,
    0x37, 0x1D, 0x99,  0x37, 0x1F, 0xF0,  0x37, 0x22, 0x7F,  0x37, 0x24, 0x00,
    0x37, 0x26, 0xCF,  0x37, 0x28, 0xF6,  0x37, 0x2B, 0xE1,  0x37, 0x2D, 0x55,
    0x37, 0x2F, 0x98,  0x37, 0x31, 0xF9,  0x37, 0x33, 0x24,  0x37, 0x36, 0x73,
    0x37, 0x38, 0xBF,  0x37, 0x3A, 0xDB,  0x37, 0x3C, 0x12,  0x37, 0x3F, 0x6E,
    0x37, 0x41, 0xBF,  0x37, 0x43, 0x19,  0x37, 0x45, 0x45,  0x37, 0x48, 0xBC,
    0x37, 0x4A, 0x35,  0x37, 0x4C, 0xC8,  0x37, 0x4E, 0x75,  0x37, 0x51, 0x8F,
    0x37, 0x53, 0x06,  0x37, 0x55, 0x51,  0x37, 0x57, 0x82,  0x37, 0x5A, 0xF4,
    0x37, 0x5C, 0x50,  0x37, 0x5E, 0xEC,  0x37, 0x60, 0x40,  0x37, 0x63, 0xB0,
    0x37, 0x65, 0x11,  0x37, 0x67, 0xDD,  0x37, 0x69, 0x06,  0x37, 0x6C, 0xD5,
    0x37, 0x6E, 0x99,  0x37, 0x70, 0x71,  0x37, 0x72, 0xF5,  0x37, 0x74, 0x28,
    0x37, 0x77, 0xB1,  0x37, 0x79, 0xB7,  0x37, 0x7B, 0x09,  0x37, 0x7D, 0x32,
    0x40, 0x00, 0x89,  0x40, 0x02, 0xFF,  0x40, 0x04, 0xE1,  0x40, 0x06, 0x28,
    0x40, 0x09, 0x62,  0x40, 0x0B, 0x14,  0x40, 0x0D, 0x4E,  0x40, 0x0F, 0x7C,
    0x40, 0x12, 0x00,  0x40, 0x14, 0x39,  0x40, 0x16, 0x9D,  0x40, 0x18, 0x3F,
    0x40, 0x1B, 0xCD,  0x40, 0x1D, 0xE4,  0x40, 0x1F, 0xA5,  0x43, 0x01, 0x3D,
    0x43, 0x04, 0xCD,  0x43, 0x06, 0x3C,  0x43, 0x08, 0x8F,  0x43, 0x0A, 0xD7,
    0x43, 0x0D, 0x46,  0x43, 0x0F, 0x54,  0x48, 0x01, 0x68,  0x48, 0x03, 0x9E,
    0x48, 0x06, 0x2B,  0x48, 0x08, 0x25,  0x48, 0x0A, 0x68,  0x48, 0x0C, 0xB4,
    0x48, 0x0E, 0x4C,  0x48, 0x11, 0x4D,  0x48, 0x13, 0x00,  0x48, 0x15, 0xE3,
    0x48, 0x17, 0x40,  0x48, 0x1A, 0x8A,  0x48, 0x1C, 0xA5,  0x48, 0x1E, 0x7A,
    0x48, 0x20, 0x0E,  0x48, 0x23, 0xF5,  0x48, 0x25, 0x5F,  0x48, 0x27, 0xEC,
    0x48, 0x29, 0x9E,  0x48, 0x2C, 0xFE,  0x48, 0x2E, 0x10,  0x48, 0x30, 0x26,
    0x48, 0x32, 0xE2,  0x48, 0x35, 0x2B,  0x48, 0x37, 0x85,  0x48, 0x39, 0xB3,
    0x48, 0x3B, 0xC3,  0x48, 0x3E, 0x90,  0x50, 0x00, 0x3E,  0x50, 0x02, 0x92,
    0x50, 0x04, 0xCE,  0x50, 0x07, 0x0D,  0x50, 0x09, 0xFD,  0x50, 0x0B, 0xD3,
    0x50, 0x0D, 0x9B,
    0xFF, 0xFF, 0xFF,
};

static const QOV_UINT8 mode_2592x1944_regs[] = {
    0x38, 0x00, 0x00,  0x38, 0x01, 0x00,  0x38, 0x02, 0x00,  0x38, 0x03, 0x04,
    0x38, 0x04, 0x0A,  0x38, 0x05, 0x3F,  0x38, 0x06, 0x07,  0x38, 0x07, 0xA3,
    0x38, 0x08, 0x0A,  0x38, 0x09, 0x20,  0x38, 0x0A, 0x07,  0x38, 0x0B, 0x98,
    0x38, 0x0C, 0x02,  0x38, 0x0D, 0xE4,  0x38, 0x0E, 0x07,  0x38, 0x0F, 0xE8,
    0x38, 0x10, 0x00,  0x38, 0x11, 0x06,  0x38, 0x12, 0x00,  0x38, 0x13, 0x06,
    0x38, 0x14, 0x11,  0x38, 0x15, 0x11,  0x38, 0x20, 0x80,  0x35, 0x00, 0x00,
    0x35, 0x01, 0x7D,  0x35, 0x02, 0x00,  0x35, 0x08, 0x00,  0x35, 0x09, 0x10,
    0x40, 0x00, 0x85,  0x01, 0x00, 0x01,
    0xFF, 0xFF, 0xFF,
};

static const QOV_UINT8 mode_1920x1080_regs[] = {
    0x38, 0x00, 0x01,  0x38, 0x01, 0x60,  0x38, 0x02, 0x01,  0x38, 0x03, 0xB4,
    0x38, 0x04, 0x08,  0x38, 0x05, 0xDF,  0x38, 0x06, 0x05,  0x38, 0x07, 0xEF,
    0x38, 0x08, 0x07,  0x38, 0x09, 0x80,  0x38, 0x0A, 0x04,  0x38, 0x0B, 0x38,
    0x38, 0x0C, 0x02,  0x38, 0x0D, 0xA0,  0x38, 0x0E, 0x08,  0x38, 0x0F, 0xB8,
    0x38, 0x10, 0x00,  0x38, 0x11, 0x06,  0x38, 0x12, 0x00,  0x38, 0x13, 0x06,
    0x38, 0x14, 0x11,  0x38, 0x15, 0x11,  0x38, 0x20, 0x80,  0x35, 0x00, 0x00,
    0x35, 0x01, 0x8A,  0x35, 0x02, 0x00,  0x35, 0x08, 0x00,  0x35, 0x09, 0x10,
    0x40, 0x00, 0x4B,  0x01, 0x00, 0x01,
    0xFF, 0xFF, 0xFF,
};

static const QOV_UINT8 mode_720x1600_regs[] = {
    0x38, 0x00, 0x03,  0x38, 0x01, 0xA8,  0x38, 0x02, 0x00,  0x38, 0x03, 0xB0,
    0x38, 0x04, 0x06,  0x38, 0x05, 0x77,  0x38, 0x06, 0x06,  0x38, 0x07, 0xEF,
    0x38, 0x08, 0x02,  0x38, 0x09, 0xD0,  0x38, 0x0A, 0x06,  0x38, 0x0B, 0x40,
    0x38, 0x0C, 0x02,  0x38, 0x0D, 0xE4,  0x38, 0x0E, 0x07,  0x38, 0x0F, 0xE8,
    0x38, 0x10, 0x00,  0x38, 0x11, 0x06,  0x38, 0x12, 0x00,  0x38, 0x13, 0x06,
    0x38, 0x14, 0x11,  0x38, 0x15, 0x11,  0x38, 0x20, 0x80,  0x35, 0x00, 0x00,
    0x35, 0x01, 0x7D,  0x35, 0x02, 0x00,  0x35, 0x08, 0x00,  0x35, 0x09, 0x10,
    0x40, 0x00, 0x12,  0x01, 0x00, 0x01,
    0xFF, 0xFF, 0xFF,
};

static const QOV_UINT8 mode_1296x972_regs[] = {
    0x38, 0x00, 0x00,  0x38, 0x01, 0x00,  0x38, 0x02, 0x00,  0x38, 0x03, 0x04,
    0x38, 0x04, 0x0A,  0x38, 0x05, 0x3F,  0x38, 0x06, 0x07,  0x38, 0x07, 0xA3,
    0x38, 0x08, 0x05,  0x38, 0x09, 0x10,  0x38, 0x0A, 0x03,  0x38, 0x0B, 0xCC,
    0x38, 0x0C, 0x02,  0x38, 0x0D, 0xA0,  0x38, 0x0E, 0x08,  0x38, 0x0F, 0xB8,
    0x38, 0x10, 0x00,  0x38, 0x11, 0x06,  0x38, 0x12, 0x00,  0x38, 0x13, 0x06,
    0x38, 0x14, 0x31,  0x38, 0x15, 0x31,  0x38, 0x20, 0x80,  0x35, 0x00, 0x00,
    0x35, 0x01, 0x8A,  0x35, 0x02, 0x00,  0x35, 0x08, 0x00,  0x35, 0x09, 0x10,
    0x40, 0x00, 0xD8,  0x01, 0x00, 0x01,
    0xFF, 0xFF, 0xFF,
};

static sensor_mode configs[] = {
    {SENSOR_FLIP_BOTH, config_2lanes, 0, OV_REG_BYTES},
};
static sensor_mode modes[] = {
    {SENSOR_FLIP_BOTH, mode_2592x1944_regs, 0, OV_REG_BYTES},
    {SENSOR_FLIP_BOTH, mode_1920x1080_regs, 0, OV_REG_BYTES},
    {SENSOR_FLIP_BOTH, mode_720x1600_regs, 0, OV_REG_BYTES},
    {SENSOR_FLIP_BOTH, mode_1296x972_regs, 0, OV_REG_BYTES},
};
static const QOV_UINT8 num_modes[] = {4};

}  // namespace ov5695

/*-------------------------------------------------------------------------
 * Shared by the family
 *-------------------------------------------------------------------------*/

namespace {

// Size, timing and initial exposure of a mode list (last occurrence counts).
struct OvModeTiming {
    QOV_UINT32 width = 0;
    QOV_UINT32 height = 0;
    QOV_UINT32 hts = 0;  // line length in clocks
    QOV_UINT32 vts = 0;  // frame length in lines
    // exposure registers 0x3500 to 0x3502 as the list sets them
    QOV_UINT8 exposure[3] = {0, 0, 0};
};

// What differs between the chips apart from their hooks.
struct OvChip {
    const char *name;     // sensorName
    const char *logTag;
    QOV_UINT8 i2cAddr;
    QOV_UINT16 chipIdReg;
    QOV_UINT16 chipId;
    double maxGain;
    const char *(*infoName)(sensor_num);
    sensor_mode *configs;
    QOV_UINT8 configsSize;
    sensor_mode *modes;
    QOV_UINT16 modesSize;
    const QOV_UINT8 *numModes;
    QOV_UINT8 numModesSize;
    // slots of the chip's own
    QOV_RESULT (*Disable)(SENSOR_HANDLE);
    QOV_RESULT (*GetInfo)(SENSOR_HANDLE, SENSOR_INFO *);
    QOV_RESULT (*SetExposure)(SENSOR_HANDLE, QOV_UINT32, QOV_UINT8);
    QOV_RESULT (*SetGain)(SENSOR_HANDLE, double, QOV_UINT8);
    // hooks
    QOV_RESULT (*ApplyConfig)(CAM_STRUCT *);
    QOV_RESULT (*ApplyMode)(CAM_STRUCT *);
    QOV_RESULT (*GetConfInfo)(CAM_STRUCT *, QOV_UINT16, SENSOR_MODE *);
    QOV_RESULT (*GetModeInfo)(CAM_STRUCT *, QOV_UINT16, SENSOR_MODE *);
    QOV_RESULT (*ComputeExposure)(CAM_STRUCT *, QOV_UINT8, QOV_UINT8 *);
    QOV_RESULT (*ComputeGains)(double, QOV_UINT8 *);
};

inline CAM_STRUCT *OvCam(SENSOR_HANDLE hHandle)
{
    return reinterpret_cast<CAM_STRUCT *>(hHandle);
}

inline QOV_UINT16 OvRecordAddress(const QOV_UINT8 *record)
{
    return static_cast<QOV_UINT16>((record[0] << 8) | record[1]);
}

// The configuration list of a mode number, null when none.
const QOV_UINT8 *OvConfigList(CAM_STRUCT *psCam, QOV_UINT16 nMode, unsigned int *pnRegisters)
{
    return SensorModeGetRegisters(psCam->pConfigs, psCam->uiConfigsSize, nMode >> 4, pnRegisters);
}

// Reads size, totals and exposure of a mode's list; false when the mode has no list.
bool OvScanMode(CAM_STRUCT *psCam, QOV_UINT16 nMode, OvModeTiming *psTiming)
{
    unsigned int nRegisters = 0;
    const QOV_UINT8 *regs = SensorModeGetRegisters(
        psCam->pModes, psCam->uiModesSize,
        (nMode >> 4) * SENSOR_MODES_PER_CONFIG + (nMode & 0xF), &nRegisters);
    if (!regs) {
        return false;
    }
    QOV_UINT8 v[8] = {0, 0, 0, 0, 0, 0, 0, 0};  // 0x3808 to 0x380F
    for (unsigned int i = 0; i < nRegisters; i++) {
        const QOV_UINT8 *record = regs + i * OV_REG_BYTES;
        const QOV_UINT16 address = OvRecordAddress(record);
        if (address >= REG_X_OUTPUT_HI && address <= REG_VTS_LO) {
            v[address - REG_X_OUTPUT_HI] = record[2];
        } else if (address >= REG_EXPOSURE_HI && address <= REG_EXPOSURE_LO) {
            psTiming->exposure[address - REG_EXPOSURE_HI] = record[2];
        }
    }
    psTiming->width = (v[0] << 8) | v[1];
    psTiming->height = (v[2] << 8) | v[3];
    psTiming->hts = (v[4] << 8) | v[5];
    psTiming->vts = (v[6] << 8) | v[7];
    return true;
}

// Exposure context 0 from the list's exposure registers (lines with 4
// fraction bits) and the line time in microseconds.
void OvInitialExposure(CAM_STRUCT *psCam, const OvModeTiming &sTiming, double lineTime)
{
    const QOV_UINT32 lines = ((sTiming.exposure[1] * 16u) + (sTiming.exposure[0] * 4096u)) |
                             (sTiming.exposure[2] >> 4);
    psCam->ui32Exposure[0] = static_cast<QOV_UINT32>(lineTime * lines);
}

// Writes a register list one record at a time, letting `patch` change the
// value of a record before it is sent. A failed record does not stop the
// others; the first failure is returned.
QOV_RESULT OvWriteList(CAM_STRUCT *psCam, const QOV_UINT8 *regs, QOV_UINT32 nRegisters,
                       void (*patch)(const CAM_STRUCT *, QOV_UINT16, QOV_UINT8 *))
{
    QOV_RESULT result = QOV_SUCCESS;
    for (QOV_UINT32 i = 0; i < nRegisters; i++) {
        QOV_UINT8 record[OV_REG_BYTES];
        memcpy(record, regs + i * OV_REG_BYTES, OV_REG_BYTES);
        if (patch && record[0] != SENSOR_REG_PAUSE) {
            patch(psCam, OvRecordAddress(record), &record[2]);
        }
        QOV_RESULT ret = sensor_i2c_write8(psCam->i2c_dev, record, OV_REG_BYTES);
        if (ret != QOV_SUCCESS && result == QOV_SUCCESS) {
            result = ret;
        }
    }
    return result;
}

// Exposure lines of a context: the microseconds over one exposure step,
// limited to what the exposure registers hold.
QOV_UINT32 OvExposureSteps(QOV_UINT32 ui32Exposure, QOV_UINT32 ui32Step, QOV_UINT32 ui32Max)
{
    const QOV_UINT32 steps = ui32Step ? ui32Exposure / ui32Step : 0;
    return steps > ui32Max ? ui32Max : steps;
}

// Gain x 16, truncated and limited to what the gain registers hold.
QOV_UINT32 OvGainCode(double flGain, QOV_UINT32 ui32Max)
{
    const double code = flGain * 16.0;
    if (!(code > 0.0)) {  // also catches a gain that is not a number
        return 0;
    }
    return code >= ui32Max ? ui32Max : static_cast<QOV_UINT32>(code);
}

QOV_RESULT OvGetInfo(const OvChip &sChip, const char *function, const char *readingMessage,
                     SENSOR_HANDLE hHandle, SENSOR_INFO *psInfo)
{
    CAM_STRUCT *psCam = OvCam(hHandle);
    if (!psCam->psSensorPhy) {
        LOG_Error(function, __LINE__, sChip.logTag, "sensor not initialised\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    psInfo->eBayerOriginal = MOSAIC_BGGR;
    psInfo->eBayerEnabled = MOSAIC_BGGR;
    snprintf(psInfo->pszSensorName, sizeof(psInfo->pszSensorName), "%s",
             sChip.infoName(psCam->nSensor));

    LOG_Warning(function, __LINE__, sChip.logTag, "%s", readingMessage);
    QOV_UINT16 chipId = 0;
    if (sensor_i2c_read16(psCam->i2c_dev, sChip.chipIdReg, &chipId) == QOV_SUCCESS) {
        snprintf(psInfo->pszSensorVersion, sizeof(psInfo->pszSensorVersion), "0x%x", chipId);
        LOG_Warning(function, __LINE__, sChip.logTag, "Read device ID %s\n",
                    psInfo->pszSensorVersion);
    } else {
        LOG_Warning(function, __LINE__, sChip.logTag, "Did not read device ID\n");
        snprintf(psInfo->pszSensorVersion, sizeof(psInfo->pszSensorVersion), "not-verified");
    }
    psInfo->ui16FocalLength = 30;
    psInfo->ui32WellDepth = 6040;
    psInfo->fNumber = 1.2;
    psInfo->flReadNoise = 5.0;
    psInfo->ui8Imager = static_cast<QOV_UINT8>(GetImagerNum(psCam->nSensor));
    psInfo->bBackFacing = QOV_TRUE;
    return QOV_SUCCESS;
}

QOV_RESULT OvCreate(const OvChip &sChip, SENSOR_HANDLE *phHandle, sensor_num nSensor,
                    QOV_UINT8 ui8BoardPosition)
{
    CAM_STRUCT *psCam = static_cast<CAM_STRUCT *>(calloc(1, sizeof(CAM_STRUCT)));
    if (!psCam) {
        return QOV_ERROR_NO_MEMORY;
    }

    psCam->sFuncs.GetMode = SensorFuncGetMode;
    psCam->sFuncs.GetState = SensorFuncGetState;
    psCam->sFuncs.SetMode = SensorFuncSetMode;
    psCam->sFuncs.Enable = SensorFuncEnable;
    psCam->sFuncs.Disable = sChip.Disable;
    psCam->sFuncs.Destroy = SensorFuncDestroy;
    psCam->sFuncs.GetInfo = sChip.GetInfo;
    psCam->sFuncs.GetGainRange = SensorFuncGetGainRange;
    psCam->sFuncs.GetCurrentGain = SensorFuncGetGain;
    psCam->sFuncs.SetGain = sChip.SetGain;
    psCam->sFuncs.GetExposureRange = SensorFuncGetExposureRange;
    psCam->sFuncs.GetExposure = SensorFuncGetExposure;
    psCam->sFuncs.SetExposure = sChip.SetExposure;

    psCam->pConfigs = sChip.configs;
    psCam->uiConfigsSize = sChip.configsSize;
    psCam->pModes = sChip.modes;
    psCam->uiModesSize = sChip.modesSize;
    psCam->pNumModes = sChip.numModes;
    psCam->uiNumModesSize = sChip.numModesSize;

    psCam->ApplyConfig = sChip.ApplyConfig;
    psCam->ApplyMode = sChip.ApplyMode;
    psCam->GetConfInfo = sChip.GetConfInfo;
    psCam->GetModeInfo = sChip.GetModeInfo;
    psCam->ComputeExposure = sChip.ComputeExposure;
    psCam->ComputeGains = sChip.ComputeGains;

    psCam->nSensor = nSensor;
    snprintf(psCam->sensorName, sizeof(psCam->sensorName), "%s", sChip.name);
    psCam->imager = static_cast<QOV_UINT8>(GetImagerNum(nSensor));
    psCam->sensorNumOnBoard = ui8BoardPosition;
    psCam->i2c_dev.fd = -1;
    psCam->i2c_dev.writeAddr = sChip.i2cAddr;
    psCam->i2c_dev.readAddr = sChip.i2cAddr;
    psCam->i2c_dev.addrSize = 2;
    psCam->sensorChipIdOffset = sChip.chipIdReg;
    psCam->sensorChipId = sChip.chipId;
    psCam->aec_min_gain = 1.0;
    psCam->aec_max_gain = sChip.maxGain;
    psCam->flGain[0] = 1.0;  // the other contexts start at 0.0, every exposure at 0

    *phHandle = &psCam->sFuncs;
    if (CamInitialize(psCam) != QOV_SUCCESS) {
        free(psCam);
        *phHandle = nullptr;
        return QOV_ERROR_DEVICE_FAILED;
    }
    return QOV_SUCCESS;
}

// Points the PHY at the sensor's row of the PHY table.
void OvPointPhy(CAM_STRUCT *psCam)
{
    if (psCam->psSensorPhy) {
        psCam->psSensorPhy->psConfig = SensorPhyConfigPtr(psCam->nSensor);
    }
}

}  // namespace

/*-------------------------------------------------------------------------
 * OV10823
 *-------------------------------------------------------------------------*/

static const char *OV10823_SENSOR_INFO_NAME(sensor_num nSensor)
{
    return nSensor == SENSOR_DURIDU_OV10823_1 ? "OV10823_1" : "OV10823_0";
}

// PLL dividers indexed by register value.
static const double pll_ctrl_b_val[] = {1.0, 1.5, 2.0, 2.5, 3.0, 4.0, 6.0, 8.0};
static const double pll_ctrl_c_val[] = {1.0, 1.5, 2.0, 2.5, 3.0, 3.5, 4.0, 5.0};

#define OV10823_REG_BIT_SELECT 0x300F
#define OV10823_REG_MIPI_CTRL 0x3012
#define OV10823_REG_PLL2_MULT 0x3082
#define OV10823_REG_PLL_B 0x308B
#define OV10823_REG_PLL_MULT 0x308D
#define OV10823_REG_PLL_C 0x308E
#define OV10823_REG_PLL_P 0x308F
// Products of the two PLLs in MHz; the multipliers are these over the reference clock.
#define OV10823_PLL2_PRODUCT 2592
#define OV10823_PLL_PRODUCT 4176
#define OV10823_MIN_REF_CLOCK_MHZ 20.0
#define OV10823_MAX_REF_CLOCK_MHZ 27.0
#define OV10823_FLIP_VALUE 4
#define OV10823_HS_FREQ_RANGE 25
#define OV10823_DEFAULT_SCLK_MHZ 120L

static QOV_RESULT OV10823_GetConfInfo(CAM_STRUCT *psCam, QOV_UINT16 nMode, SENSOR_MODE *psMode)
{
    unsigned int nRegisters = 0;
    const QOV_UINT8 *regs = OvConfigList(psCam, nMode, &nRegisters);
    if (!regs) {
        return QOV_ERROR_NOT_SUPPORTED;
    }
    QOV_UINT8 bitSelect = 0, mipiCtrl = 0;
    double B = 0.0, C = 0.0, P = 0.0;
    for (unsigned int i = 0; i < nRegisters; i++) {
        const QOV_UINT8 *record = regs + i * OV_REG_BYTES;
        const QOV_UINT8 value = record[2];
        switch (OvRecordAddress(record)) {
        case OV10823_REG_BIT_SELECT: bitSelect = value; break;
        case OV10823_REG_MIPI_CTRL: mipiCtrl = value; break;
        // a divider index outside its table counts as not found
        case OV10823_REG_PLL_B: B = value < 8 ? pll_ctrl_b_val[value] : 0.0; break;
        case OV10823_REG_PLL_C: C = value < 8 ? pll_ctrl_c_val[value] : 0.0; break;
        case OV10823_REG_PLL_P: P = value + 1.0; break;
        default: break;
        }
    }
    const double M = OV10823_PLL_PRODUCT / (psCam->refClock / 1e6);
    if (B != 0.0 && M != 0.0 && C != 0.0 && P != 0.0) {
        psCam->sclk = psCam->refClock / B * M / P / C;
    } else {
        psCam->sclk = OV10823_DEFAULT_SCLK_MHZ * 1e6;
        OV_LOG_WARNING(OV10823_TAG, "Did not find all PLL registers - assumes sclk of %ld MHz\n",
                       OV10823_DEFAULT_SCLK_MHZ);
    }
    psCam->num_lanes = mipiCtrl >> 4;
    psMode->ui8MipiLanes = static_cast<QOV_UINT8>(psCam->num_lanes);
    psMode->ui8BitDepth = static_cast<QOV_UINT8>(((bitSelect & 3) * 2) + 8);
    psMode->ui8MipiHsFreqRange = OV10823_HS_FREQ_RANGE;
    psMode->flPixelRate = psCam->num_lanes * psCam->sclk / 1e6;
    OvPointPhy(psCam);
    return QOV_SUCCESS;
}

static QOV_RESULT OV10823_GetModeInfo(CAM_STRUCT *psCam, QOV_UINT16 nMode, SENSOR_MODE *psMode)
{
    OvModeTiming sTiming;
    if (!OvScanMode(psCam, nMode, &sTiming)) {
        return QOV_ERROR_NOT_SUPPORTED;
    }
    if (psCam->num_lanes == 0) {
        return QOV_ERROR_NOT_SUPPORTED;  // no lane count: the line time is unknown
    }
    psCam->vts = sTiming.vts;
    // the line time counts clocks per lane
    const QOV_UINT32 clocksPerLane = sTiming.hts / psCam->num_lanes;
    const double lineTime = clocksPerLane / psCam->sclk * 1e6;
    OvInitialExposure(psCam, sTiming, lineTime);

    psMode->ui16Width = static_cast<QOV_UINT16>(sTiming.width);
    psMode->ui16Height = static_cast<QOV_UINT16>(sTiming.height);
    psMode->ui16HorizontalTotal = static_cast<QOV_UINT16>(sTiming.hts);
    psMode->ui16VerticalTotal = static_cast<QOV_UINT16>(sTiming.vts);
    psMode->ui8SupportFlipping = SENSOR_FLIP_BOTH;
    psMode->ui32ExposureMin = static_cast<QOV_UINT32>(std::floor(2.0 * lineTime));
    psMode->ui32ExposureMax = psMode->ui32ExposureMin * 0xFFFFF;
    psMode->flFrameRate = psCam->sclk / (static_cast<double>(clocksPerLane) * sTiming.vts);
    return QOV_SUCCESS;
}

static void OV10823_PatchConfig(const CAM_STRUCT *psCam, QOV_UINT16 address, QOV_UINT8 *value)
{
    const double refMHz = psCam->refClock / 1e6;
    if (address == OV10823_REG_PLL2_MULT) {
        *value = static_cast<QOV_UINT8>(static_cast<unsigned int>(OV10823_PLL2_PRODUCT / refMHz));
    } else if (address == OV10823_REG_PLL_MULT) {
        *value = static_cast<QOV_UINT8>(static_cast<unsigned int>(OV10823_PLL_PRODUCT / refMHz));
    }
}

static QOV_RESULT OV10823_ApplyConfig(CAM_STRUCT *psCam)
{
    if (!psCam->currConfReg) {
        OV_LOG_ERROR(OV10823_TAG, "current register config not available!\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    const double refMHz = psCam->refClock / 1e6;
    if (refMHz < OV10823_MIN_REF_CLOCK_MHZ || refMHz > OV10823_MAX_REF_CLOCK_MHZ) {
        OV_LOG_ERROR(OV10823_TAG, "Reference clock frequency %f MHz not supported!\n", refMHz);
        return QOV_ERROR_NOT_SUPPORTED;
    }
    return OvWriteList(psCam, psCam->currConfReg, psCam->nConfRegisters, OV10823_PatchConfig);
}

static void OV10823_PatchMode(const CAM_STRUCT *psCam, QOV_UINT16 address, QOV_UINT8 *value)
{
    if (address == REG_FORMAT1) {
        *value = (psCam->ui8CurrentFlipping & SENSOR_FLIP_VERTICAL) ? OV10823_FLIP_VALUE : 0;
    } else if (address == REG_FORMAT2) {
        *value = (psCam->ui8CurrentFlipping & SENSOR_FLIP_HORIZONTAL) ? OV10823_FLIP_VALUE : 0;
    }
}

static QOV_RESULT OV10823_ApplyMode(CAM_STRUCT *psCam)
{
    if (!psCam->currModeReg) {
        OV_LOG_ERROR(OV10823_TAG, "current register modes not available!\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    return OvWriteList(psCam, psCam->currModeReg, psCam->nModeRegisters, OV10823_PatchMode);
}

// Values from the 0x3500 record on: exposure (3 records), frame length (2 records).
static QOV_RESULT OV10823_ComputeExposure(CAM_STRUCT *psCam, QOV_UINT8 ui8Context,
                                          QOV_UINT8 *values)
{
    // exposure steps are half lines: the minimum is two line times
    QOV_UINT32 exposure = psCam->ui32Exposure[ui8Context];
    exposure = exposure > 0x7FFFFFFF ? 0xFFFFFFFF : exposure * 2;
    const QOV_UINT32 n = OvExposureSteps(exposure, psCam->currMode.ui32ExposureMin, 0xFFFF);
    // the frame grows when the exposure needs more lines than the mode has
    QOV_UINT32 frameLength = n > psCam->vts ? n + 4 : psCam->vts;
    if (frameLength > 0xFFFF) {
        frameLength = 0xFFFF;
    }
    values[2] = static_cast<QOV_UINT8>((n >> 12) & 0x0F);
    values[OV_REG_BYTES + 2] = static_cast<QOV_UINT8>((n >> 4) & 0xFF);
    values[2 * OV_REG_BYTES + 2] = static_cast<QOV_UINT8>((n & 0x0F) << 4);
    values[3 * OV_REG_BYTES + 2] = static_cast<QOV_UINT8>(frameLength >> 8);
    values[4 * OV_REG_BYTES + 2] = static_cast<QOV_UINT8>(frameLength & 0xFF);
    return QOV_SUCCESS;
}

// Values from the 0x350A record on.
static QOV_RESULT OV10823_ComputeGains(double flGain, QOV_UINT8 *values)
{
    const QOV_UINT32 a = OvGainCode(flGain, 0x7FF);
    values[2] = static_cast<QOV_UINT8>((a >> 8) & 0x07);
    values[OV_REG_BYTES + 2] = static_cast<QOV_UINT8>(a & 0xFF);
    return QOV_SUCCESS;
}

static QOV_RESULT OV10823_SetExposure(SENSOR_HANDLE hHandle, QOV_UINT32 ui32Current,
                                      QOV_UINT8 ui8Context)
{
    // one group: exposure and frame length take effect on the same frame
    QOV_UINT8 exposureRegs[] = {
        0x32, 0x08, 0x02,  // group 2 hold start
        0x35, 0x00, 0x00,  // exposure
        0x35, 0x01, 0x2E,
        0x35, 0x02, 0x80,
        0x38, 0x0E, 0x09,  // frame length
        0x38, 0x0F, 0xE0,
        0x32, 0x08, 0x12,  // group 2 hold end
        0x32, 0x0B, 0x00,
        0x32, 0x08, 0xE2,  // group 2 launch
    };
    return SensorFuncSetExposure(hHandle, ui32Current, ui8Context, exposureRegs,
                                 sizeof(exposureRegs), OV_REG_BYTES);
}

static QOV_RESULT OV10823_SetGain(SENSOR_HANDLE hHandle, double flGain, QOV_UINT8 ui8Context)
{
    QOV_UINT8 gainRegs[] = {
        0x32, 0x08, 0x01,  // group 1 hold start
        0x35, 0x0A, 0x00,  // gain
        0x35, 0x0B, 0x00,
        0x32, 0x08, 0x11,  // group 1 hold end
        0x32, 0x0B, 0x00,
        0x32, 0x08, 0xE1,  // group 1 launch
    };
    return SensorFuncSetGain(hHandle, flGain, ui8Context, gainRegs, sizeof(gainRegs), OV_REG_BYTES);
}

static QOV_RESULT OV10823_Disable(SENSOR_HANDLE hHandle)
{
    return SensorFuncDisable(hHandle, ov_disable_regs, sizeof(ov_disable_regs));
}

static QOV_RESULT OV10823_GetInfo(SENSOR_HANDLE hHandle, SENSOR_INFO *psInfo);

static const OvChip ov10823_chip = {
    "OV10823", OV10823_TAG, 0x10, 0x300A, 0xA820, 64.0, OV10823_SENSOR_INFO_NAME,
    ov10823::configs, sizeof(ov10823::configs), ov10823::modes, sizeof(ov10823::modes),
    ov10823::num_modes, sizeof(ov10823::num_modes),
    OV10823_Disable, OV10823_GetInfo, OV10823_SetExposure, OV10823_SetGain,
    OV10823_ApplyConfig, OV10823_ApplyMode, OV10823_GetConfInfo, OV10823_GetModeInfo,
    OV10823_ComputeExposure, OV10823_ComputeGains,
};

static QOV_RESULT OV10823_GetInfo(SENSOR_HANDLE hHandle, SENSOR_INFO *psInfo)
{
    return OvGetInfo(ov10823_chip, __func__, "Reading device ID (GetInfo) \n", hHandle, psInfo);
}

static QOV_RESULT OV10823_Create(SENSOR_HANDLE *phHandle, sensor_num nSensor)
{
    return OvCreate(ov10823_chip, phHandle, nSensor,
                    static_cast<QOV_UINT8>(GetImagerNum(nSensor)));
}

QOV_RESULT OV10823_Create_0(SENSOR_HANDLE *phHandle)
{
    return OV10823_Create(phHandle, SENSOR_DURIDU_OV10823_0);
}

QOV_RESULT OV10823_Create_1(SENSOR_HANDLE *phHandle)
{
    return OV10823_Create(phHandle, SENSOR_DURIDU_OV10823_1);
}

/*-------------------------------------------------------------------------
 * OV5647
 *-------------------------------------------------------------------------*/

static const char *OV5647_SENSOR_INFO_NAME(sensor_num nSensor)
{
    return nSensor == SENSOR_DURIDU_OV5647_1 ? "OV5647_1" : "OV5647_0";
}

#define OV5647_REG_MIPI_CTRL 0x3018
#define OV5647_REG_BIT_MODE 0x3034
#define OV5647_REG_PLL_CTRL1 0x3035
#define OV5647_REG_PLL_MULT 0x3036
#define OV5647_REG_PLL_CTRL3 0x3037
#define OV5647_REG_CLOCK_CTRL 0x3106
#define OV5647_FLIP_VALUE 6
#define OV5647_DEFAULT_SCLK_MHZ 84L
// Lines of exposure the range reports above one line.
#define OV5647_MAX_EXPOSURE_LINES 1968

// Twice the PLL pre-divider, by the low nibble of PLL control 3.
static const QOV_UINT8 ov5647_pre_div_x2[16] = {2, 2, 4, 6, 8, 3, 12, 5, 16, 2, 2, 2, 2, 2, 2, 2};
static const QOV_UINT8 ov5647_clock_div[4] = {1, 2, 4, 1};

static QOV_RESULT OV5647_GetConfInfo(CAM_STRUCT *psCam, QOV_UINT16 nMode, SENSOR_MODE *psMode)
{
    unsigned int nRegisters = 0;
    const QOV_UINT8 *regs = OvConfigList(psCam, nMode, &nRegisters);
    if (!regs) {
        return QOV_ERROR_NOT_SUPPORTED;
    }
    QOV_UINT8 mipiCtrl = 0, bitMode = 0, pllCtrl1 = 0, multiplier = 0, pllCtrl3 = 0, clockCtrl = 0;
    for (unsigned int i = 0; i < nRegisters; i++) {
        const QOV_UINT8 *record = regs + i * OV_REG_BYTES;
        const QOV_UINT8 value = record[2];
        switch (OvRecordAddress(record)) {
        case OV5647_REG_MIPI_CTRL: mipiCtrl = value; break;
        case OV5647_REG_BIT_MODE: bitMode = value; break;
        case OV5647_REG_PLL_CTRL1: pllCtrl1 = value; break;
        case OV5647_REG_PLL_MULT: multiplier = value; break;
        case OV5647_REG_PLL_CTRL3: pllCtrl3 = value; break;
        case OV5647_REG_CLOCK_CTRL: clockCtrl = value; break;
        default: break;
        }
    }
    if (bitMode && pllCtrl1 && multiplier && pllCtrl3 && clockCtrl) {
        const double preDivX2 = ov5647_pre_div_x2[pllCtrl3 & 0x0F];
        const unsigned int sysDivIndex = pllCtrl1 >> 4;
        const double sysDiv = sysDivIndex ? sysDivIndex : 16;
        const double rootDiv = (pllCtrl3 & 0x10) ? 2 : 1;
        const unsigned int bits = bitMode & 0x0F;
        const double mipiDiv = bits == 8 ? 4 : (bits == 10 ? 5 : 2);
        const double clockDiv = ov5647_clock_div[(clockCtrl >> 2) & 3];
        psCam->sclk = psCam->refClock * 2 / preDivX2 * multiplier * 2 / sysDiv / rootDiv /
                      mipiDiv / clockDiv;
    } else {
        psCam->sclk = OV5647_DEFAULT_SCLK_MHZ * 1e6;
        OV_LOG_WARNING(OV5647_TAG, "Did not find all PLL registers - assumes sclk of %ld MHz\n",
                       OV5647_DEFAULT_SCLK_MHZ);
    }
    psCam->num_lanes = mipiCtrl >> 5;
    psMode->ui8MipiLanes = static_cast<QOV_UINT8>(psCam->num_lanes);
    psMode->ui8BitDepth = bitMode & 0x0F;
    psMode->flPixelRate = psCam->num_lanes * psCam->sclk / 1e6;
    OvPointPhy(psCam);
    return QOV_SUCCESS;
}

static QOV_RESULT OV5647_GetModeInfo(CAM_STRUCT *psCam, QOV_UINT16 nMode, SENSOR_MODE *psMode)
{
    OvModeTiming sTiming;
    if (!OvScanMode(psCam, nMode, &sTiming)) {
        return QOV_ERROR_NOT_SUPPORTED;
    }
    psCam->vts = sTiming.vts;
    const double lineTime = sTiming.hts / psCam->sclk * 1e6;
    OvInitialExposure(psCam, sTiming, lineTime);

    psMode->ui16Width = static_cast<QOV_UINT16>(sTiming.width);
    psMode->ui16Height = static_cast<QOV_UINT16>(sTiming.height);
    psMode->ui16HorizontalTotal = static_cast<QOV_UINT16>(sTiming.hts);
    psMode->ui16VerticalTotal = static_cast<QOV_UINT16>(sTiming.vts);
    psMode->ui8SupportFlipping = SENSOR_FLIP_BOTH;
    psMode->ui32ExposureMin = static_cast<QOV_UINT32>(std::floor(lineTime));
    psMode->ui32ExposureMax = psMode->ui32ExposureMin * OV5647_MAX_EXPOSURE_LINES;
    psMode->flFrameRate = psCam->sclk / (static_cast<double>(sTiming.hts) * sTiming.vts);
    return QOV_SUCCESS;
}

static QOV_RESULT OV5647_ApplyConfig(CAM_STRUCT *psCam)
{
    if (!psCam->currConfReg) {
        OV_LOG_ERROR(OV5647_TAG, "current register config not available!\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    return OvWriteList(psCam, psCam->currConfReg, psCam->nConfRegisters, nullptr);
}

static void OV5647_PatchMode(const CAM_STRUCT *psCam, QOV_UINT16 address, QOV_UINT8 *value)
{
    if (address == REG_FORMAT1) {
        *value = (psCam->ui8CurrentFlipping & SENSOR_FLIP_VERTICAL) ? OV5647_FLIP_VALUE : 0;
    } else if (address == REG_FORMAT2) {
        *value = (psCam->ui8CurrentFlipping & SENSOR_FLIP_HORIZONTAL) ? OV5647_FLIP_VALUE : 0;
    }
}

static QOV_RESULT OV5647_ApplyMode(CAM_STRUCT *psCam)
{
    if (!psCam->currModeReg) {
        OV_LOG_ERROR(OV5647_TAG, "current register modes not available!\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    return OvWriteList(psCam, psCam->currModeReg, psCam->nModeRegisters, OV5647_PatchMode);
}

// Values from the 0x3500 record on.
static QOV_RESULT OV5647_ComputeExposure(CAM_STRUCT *psCam, QOV_UINT8 ui8Context, QOV_UINT8 *values)
{
    const QOV_UINT32 n = OvExposureSteps(psCam->ui32Exposure[ui8Context],
                                         psCam->currMode.ui32ExposureMin, 0xFFFF);
    values[2] = static_cast<QOV_UINT8>((n >> 12) & 0x0F);
    values[OV_REG_BYTES + 2] = static_cast<QOV_UINT8>((n >> 4) & 0xFF);
    values[2 * OV_REG_BYTES + 2] = static_cast<QOV_UINT8>((n & 0x0F) << 4);
    return QOV_SUCCESS;
}

// Values from the 0x350A record on.
static QOV_RESULT OV5647_ComputeGains(double flGain, QOV_UINT8 *values)
{
    const QOV_UINT32 a = OvGainCode(flGain, 0x3FF);
    values[2] = static_cast<QOV_UINT8>((a >> 8) & 0x03);
    values[OV_REG_BYTES + 2] = static_cast<QOV_UINT8>(a & 0xFF);
    return QOV_SUCCESS;
}

static QOV_RESULT OV5647_SetExposure(SENSOR_HANDLE hHandle, QOV_UINT32 ui32Current,
                                     QOV_UINT8 ui8Context)
{
    QOV_UINT8 exposureRegs[] = {
        0x35, 0x03, 0x03,  // manual exposure and gain
        0x35, 0x00, 0x00,  // exposure
        0x35, 0x01, 0x00,
        0x35, 0x02, 0x20,
    };
    return SensorFuncSetExposure(hHandle, ui32Current, ui8Context, exposureRegs,
                                 sizeof(exposureRegs), OV_REG_BYTES);
}

static QOV_RESULT OV5647_SetGain(SENSOR_HANDLE hHandle, double flGain, QOV_UINT8 ui8Context)
{
    QOV_UINT8 gainRegs[] = {
        0x35, 0x03, 0x03,  // manual exposure and gain
        0x35, 0x0A, 0x00,  // gain
        0x35, 0x0B, 0x00,
    };
    return SensorFuncSetGain(hHandle, flGain, ui8Context, gainRegs, sizeof(gainRegs), OV_REG_BYTES);
}

static QOV_RESULT OV5647_Disable(SENSOR_HANDLE hHandle)
{
    return SensorFuncDisable(hHandle, ov_disable_regs, sizeof(ov_disable_regs));
}

static QOV_RESULT OV5647_GetInfo(SENSOR_HANDLE hHandle, SENSOR_INFO *psInfo);

static const OvChip ov5647_chip = {
    "OV5647", OV5647_TAG, 0x36, 0x300A, 0x5647, 32.0, OV5647_SENSOR_INFO_NAME,
    ov5647::configs, sizeof(ov5647::configs), ov5647::modes, sizeof(ov5647::modes),
    ov5647::num_modes, sizeof(ov5647::num_modes),
    OV5647_Disable, OV5647_GetInfo, OV5647_SetExposure, OV5647_SetGain,
    OV5647_ApplyConfig, OV5647_ApplyMode, OV5647_GetConfInfo, OV5647_GetModeInfo,
    OV5647_ComputeExposure, OV5647_ComputeGains,
};

static QOV_RESULT OV5647_GetInfo(SENSOR_HANDLE hHandle, SENSOR_INFO *psInfo)
{
    return OvGetInfo(ov5647_chip, __func__, "Reading device ID (GetInfo)\n", hHandle, psInfo);
}

static QOV_RESULT OV5647_Create(SENSOR_HANDLE *phHandle, sensor_num nSensor)
{
    return OvCreate(ov5647_chip, phHandle, nSensor, static_cast<QOV_UINT8>(GetImagerNum(nSensor)));
}

QOV_RESULT OV5647_Create_0(SENSOR_HANDLE *phHandle)
{
    return OV5647_Create(phHandle, SENSOR_DURIDU_OV5647_0);
}

QOV_RESULT OV5647_Create_1(SENSOR_HANDLE *phHandle)
{
    return OV5647_Create(phHandle, SENSOR_DURIDU_OV5647_1);
}

/*-------------------------------------------------------------------------
 * OV5695
 *-------------------------------------------------------------------------*/

static const char *OV5695_SENSOR_INFO_NAME(sensor_num nSensor)
{
    switch (nSensor) {
    case SENSOR_DURIDU_OV5695_1: return "OV5695_1";
    case SENSOR_DURIDU_OV5695_2: return "OV5695_2";
    default: return "OV5695_0";
    }
}

// The configuration's clocking is fixed: nothing is read from it.
#define OV5695_SCLK_HZ 45e6
#define OV5695_LANES 2
#define OV5695_HS_FREQ_RANGE 0x19
#define OV5695_OSC_FREQ 438
#define OV5695_PIXEL_RATE 84.0
#define OV5695_BIT_DEPTH 10
#define OV5695_VFLIP_BIT 0x10
#define OV5695_VFLIP_KEEP 0xCF
#define OV5695_MIRROR_BIT 0x08
#define OV5695_MIRROR_KEEP 0xF7

static QOV_RESULT OV5695_GetConfInfo(CAM_STRUCT *psCam, QOV_UINT16 nMode, SENSOR_MODE *psMode)
{
    unsigned int nRegisters = 0;
    if (!OvConfigList(psCam, nMode, &nRegisters)) {
        return QOV_ERROR_NOT_SUPPORTED;
    }
    psCam->sclk = OV5695_SCLK_HZ;
    psCam->num_lanes = OV5695_LANES;
    psMode->ui8MipiLanes = OV5695_LANES;
    psMode->ui8MipiHsFreqRange = OV5695_HS_FREQ_RANGE;
    psMode->ui8MipiOscFreq = OV5695_OSC_FREQ;
    psMode->flPixelRate = OV5695_PIXEL_RATE;
    psMode->ui8BitDepth = OV5695_BIT_DEPTH;
    OvPointPhy(psCam);
    return QOV_SUCCESS;
}

static QOV_RESULT OV5695_GetModeInfo(CAM_STRUCT *psCam, QOV_UINT16 nMode, SENSOR_MODE *psMode)
{
    OvModeTiming sTiming;
    if (!OvScanMode(psCam, nMode, &sTiming)) {
        return QOV_ERROR_NOT_SUPPORTED;
    }
    psCam->vts = sTiming.vts;
    const double lineTime = sTiming.hts / psCam->sclk * 1e6;
    OvInitialExposure(psCam, sTiming, lineTime);

    // exposure goes in steps of 4 lines and stops 4 lines before the frame ends
    const QOV_UINT32 wholeLineTime = static_cast<QOV_UINT32>(std::floor(lineTime));
    psMode->ui16Width = static_cast<QOV_UINT16>(sTiming.width);
    psMode->ui16Height = static_cast<QOV_UINT16>(sTiming.height);
    psMode->ui16HorizontalTotal = static_cast<QOV_UINT16>(sTiming.hts);
    psMode->ui16VerticalTotal = static_cast<QOV_UINT16>(sTiming.vts);
    psMode->ui8SupportFlipping = SENSOR_FLIP_NONE;
    psMode->ui32ExposureMin = 4 * wholeLineTime;
    psMode->ui32ExposureMax = sTiming.vts > 4 ? (sTiming.vts - 4) * wholeLineTime : 0;
    psMode->flFrameRate = psCam->sclk / (static_cast<double>(sTiming.hts) * sTiming.vts);
    return QOV_SUCCESS;
}

static QOV_RESULT OV5695_ApplyConfig(CAM_STRUCT *psCam)
{
    if (!psCam->currConfReg) {
        OV_LOG_ERROR(OV5695_TAG, "current register config not available!\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    return OvWriteList(psCam, psCam->currConfReg, psCam->nConfRegisters, nullptr);
}

// Both flips live in 0x3820; its other bits stay as listed.
static void OV5695_PatchMode(const CAM_STRUCT *psCam, QOV_UINT16 address, QOV_UINT8 *value)
{
    if (address != REG_FORMAT1) {
        return;
    }
    if (psCam->ui8CurrentFlipping & SENSOR_FLIP_VERTICAL) {
        *value |= OV5695_VFLIP_BIT;
    } else {
        *value &= OV5695_VFLIP_KEEP;
    }
    if (psCam->ui8CurrentFlipping & SENSOR_FLIP_HORIZONTAL) {
        *value |= OV5695_MIRROR_BIT;
    } else {
        *value &= OV5695_MIRROR_KEEP;
    }
}

static QOV_RESULT OV5695_ApplyMode(CAM_STRUCT *psCam)
{
    if (!psCam->currModeReg) {
        OV_LOG_ERROR(OV5695_TAG, "current register modes not available!\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    return OvWriteList(psCam, psCam->currModeReg, psCam->nModeRegisters, OV5695_PatchMode);
}

// Values from the 0x3500 record on; n counts steps of 4 lines.
static QOV_RESULT OV5695_ComputeExposure(CAM_STRUCT *psCam, QOV_UINT8 ui8Context, QOV_UINT8 *values)
{
    const QOV_UINT32 n = OvExposureSteps(psCam->ui32Exposure[ui8Context],
                                         psCam->currMode.ui32ExposureMin, 0x3FFF);
    values[2] = static_cast<QOV_UINT8>((n >> 10) & 0x0F);
    values[OV_REG_BYTES + 2] = static_cast<QOV_UINT8>((n >> 2) & 0xFF);
    values[2 * OV_REG_BYTES + 2] = static_cast<QOV_UINT8>((n & 3) << 6);
    return QOV_SUCCESS;
}

// Values from the 0x3508 record on.
static QOV_RESULT OV5695_ComputeGains(double flGain, QOV_UINT8 *values)
{
    const QOV_UINT32 a = OvGainCode(flGain, 0xFFF);
    values[2] = static_cast<QOV_UINT8>((a >> 8) & 0x0F);
    values[OV_REG_BYTES + 2] = static_cast<QOV_UINT8>(a & 0xFF);
    return QOV_SUCCESS;
}

static QOV_RESULT OV5695_SetExposure(SENSOR_HANDLE hHandle, QOV_UINT32 ui32Current,
                                     QOV_UINT8 ui8Context)
{
    QOV_UINT8 exposureRegs[] = {
        0x35, 0x00, 0x00,  // exposure
        0x35, 0x01, 0x00,
        0x35, 0x02, 0x20,
    };
    return SensorFuncSetExposure(hHandle, ui32Current, ui8Context, exposureRegs,
                                 sizeof(exposureRegs), 0);
}

static QOV_RESULT OV5695_SetGain(SENSOR_HANDLE hHandle, double flGain, QOV_UINT8 ui8Context)
{
    QOV_UINT8 gainRegs[] = {
        0x35, 0x08, 0x00,  // gain
        0x35, 0x09, 0x00,
    };
    return SensorFuncSetGain(hHandle, flGain, ui8Context, gainRegs, sizeof(gainRegs), 0);
}

static QOV_RESULT OV5695_Disable(SENSOR_HANDLE hHandle)
{
    return SensorFuncDisable(hHandle, ov_disable_regs, sizeof(ov_disable_regs));
}

static QOV_RESULT OV5695_GetInfo(SENSOR_HANDLE hHandle, SENSOR_INFO *psInfo);

static const OvChip ov5695_chip = {
    "OV5695", OV5695_TAG, 0x36, 0x300B, 0x5695, 15.5, OV5695_SENSOR_INFO_NAME,
    ov5695::configs, sizeof(ov5695::configs), ov5695::modes, sizeof(ov5695::modes),
    ov5695::num_modes, sizeof(ov5695::num_modes),
    OV5695_Disable, OV5695_GetInfo, OV5695_SetExposure, OV5695_SetGain,
    OV5695_ApplyConfig, OV5695_ApplyMode, OV5695_GetConfInfo, OV5695_GetModeInfo,
    OV5695_ComputeExposure, OV5695_ComputeGains,
};

static QOV_RESULT OV5695_GetInfo(SENSOR_HANDLE hHandle, SENSOR_INFO *psInfo)
{
    return OvGetInfo(ov5695_chip, __func__, "Reading device ID (GetInfo)\n", hHandle, psInfo);
}

// Board positions 0, 1 and 2; positions 1 and 2 share PHY device 1 and input MIPI1.
static QOV_RESULT OV5695_Create(SENSOR_HANDLE *phHandle, sensor_num nSensor)
{
    return OvCreate(ov5695_chip, phHandle, nSensor,
                    static_cast<QOV_UINT8>(nSensor - SENSOR_DURIDU_OV5695_0));
}

QOV_RESULT OV5695_Create_0(SENSOR_HANDLE *phHandle)
{
    return OV5695_Create(phHandle, SENSOR_DURIDU_OV5695_0);
}

QOV_RESULT OV5695_Create_1(SENSOR_HANDLE *phHandle)
{
    return OV5695_Create(phHandle, SENSOR_DURIDU_OV5695_1);
}

QOV_RESULT OV5695_Create_2(SENSOR_HANDLE *phHandle)
{
    return OV5695_Create(phHandle, SENSOR_DURIDU_OV5695_2);
}
