// GC8034 driver on the shared sensor driver base: 8-bit register addresses
// with 8-bit values at I2C address 0x37, in pages selected by register 0xFE.
// Exposure is an integration line count, with a digital-gain correction for
// odd counts; gain is an analogue level from a table plus a fine digital
// gain. A voice-coil lens actuator at I2C address 0x0C gives focus control.
#define LOG_TAG "GC8034_SENSOR"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/device_io.h"
#include "sensors/sensor_common.h"
#include "sensors/sensor_drivers.h"
#include "vezaracommon/userlog.h"

namespace {

// One 2-byte record: register, value.
#define REG(addr, val) static_cast<QOV_UINT8>(addr), static_cast<QOV_UINT8>(val)
#define LIST_END SENSOR_REG_END, SENSOR_REG_END

constexpr unsigned kRecordSize = 2;
constexpr QOV_UINT8 kI2cAddress = 0x37;
constexpr QOV_UINT8 kActuatorAddress = 0x0C;
constexpr QOV_UINT16 kChipIdRegister = 0x00F0;
constexpr QOV_UINT16 kChipId = 0x8044;

constexpr QOV_UINT8 kPageSelect = 0xFE;
// Page 0: bit 1 vertical flip, bit 0 horizontal flip.
constexpr QOV_UINT8 kFlipRegister = 0x17;
// Page 0: CSI mode; bit 6 set means 4 lanes.
constexpr QOV_UINT8 kCsiMode = 0x3F;
// Page 3: output format; 0x2B is 10-bit raw.
constexpr QOV_UINT8 kOutputFormat = 0x11;
constexpr QOV_UINT8 kRaw10 = 0x2B;

constexpr double kPixelRate = 80.0;  // Mpx/s
constexpr QOV_UINT8 kHsFreqRange = 24;

/*--------------------------------------------------------------------------
 * Register lists
 *-------------------------------------------------------------------------*/

// System clocks, frame timing, analogue settings, ISP and MIPI set-up.
const QOV_UINT8 config_4lanes[] = {
    REG(0xF2, 0x00), REG(0xF4, 0x90), REG(0xF5, 0x3D), REG(0xF6, 0x44), REG(0xF8, 0x63), REG(0xFA, 0x42),
    REG(0xF9, 0x00), REG(0xF7, 0x95), REG(0xFC, 0x00), REG(0xFC, 0x00), REG(0xFC, 0xEA), REG(0xFE, 0x03),
    REG(0x03, 0x9A), REG(0xFC, 0xEE), REG(0xFE, 0x00), REG(0x05, 0x02), REG(0x06, 0x1A), REG(0x07, 0x00),
    REG(0x08, 0x10), REG(0x09, 0x00), REG(0x0A, 0x00), REG(0x0B, 0x00), REG(0x0C, 0x00), REG(0x0D, 0x09),
    REG(0x0E, 0xA0), REG(0x0F, 0x0C), REG(0x10, 0xD8), REG(0x17, 0xC0), REG(0x14, 0xEC), REG(0x16, 0x43),
    REG(0x25, 0xC3), REG(0x28, 0x4B), REG(0x29, 0x17), REG(0x2D, 0x09), REG(0x36, 0x42), REG(0x3B, 0xC7),
    REG(0x42, 0xC6), REG(0x43, 0x75), REG(0x45, 0xE6), REG(0x47, 0x91), REG(0x4A, 0xB5), REG(0x4C, 0x78),
    REG(0x4E, 0xD8), REG(0x50, 0xBB), REG(0x51, 0x96), REG(0x58, 0x6B), REG(0x5A, 0x07), REG(0x5C, 0x11),
    REG(0x5E, 0x3B), REG(0x5F, 0x0C), REG(0x62, 0x3B), REG(0x69, 0xE8), REG(0x6A, 0xD6), REG(0x6D, 0x86),
    REG(0x6E, 0x92), REG(0x72, 0x5B), REG(0x75, 0x79), REG(0x76, 0x6D), REG(0x79, 0xA8), REG(0x7A, 0x29),
    REG(0x7E, 0xAE), REG(0x7F, 0xA9), REG(0x80, 0x73), REG(0x83, 0x05), REG(0x84, 0x5B), REG(0x85, 0x09),
    REG(0x86, 0x1E), REG(0x88, 0x08), REG(0x89, 0xE5), REG(0x8C, 0x3D), REG(0x99, 0xB7), REG(0xA4, 0x00),
    REG(0xA5, 0x83), REG(0xAA, 0x46), REG(0xAC, 0xD1), REG(0xAD, 0x61), REG(0xB0, 0xF2), REG(0xB5, 0x28),
    REG(0xBA, 0xD4), REG(0xBD, 0x4F), REG(0xBE, 0xDE), REG(0xC0, 0xD7), REG(0xC3, 0x17), REG(0xC8, 0xB9),
    REG(0xCD, 0xD3), REG(0xD1, 0x34), REG(0xD5, 0x79), REG(0xD6, 0xE3), REG(0xDA, 0x42), REG(0xDD, 0xCA),
    REG(0xE0, 0xA6), REG(0xE2, 0xC5), REG(0xE4, 0x24), REG(0xE6, 0x2C), REG(0xE8, 0xEE), REG(0xEC, 0x96),
    REG(0xEE, 0x24), REG(0xEF, 0x41), REG(0xFE, 0x01), REG(0x00, 0x84), REG(0x01, 0xB2), REG(0x09, 0x62),
    REG(0x1D, 0x9B), REG(0x25, 0x2A), REG(0x2E, 0x44), REG(0x39, 0x18), REG(0x52, 0xD2), REG(0x54, 0x16),
    REG(0x59, 0x5E), REG(0x72, 0x79), REG(0x76, 0x58), REG(0x7D, 0x33), REG(0x81, 0x24), REG(0x87, 0xA9),
    REG(0x90, 0x43), REG(0x94, 0xA4), REG(0x95, 0x6D), REG(0x9F, 0x37), REG(0xAE, 0x4A), REG(0xB0, 0xA7),
    REG(0xB3, 0xE2), REG(0xB5, 0xC2), REG(0xB9, 0x37), REG(0xBC, 0x8D), REG(0xCA, 0x40), REG(0xE1, 0xE8),
    REG(0xE4, 0x3D), REG(0xED, 0xF2), REG(0xEE, 0xDE), REG(0xFE, 0x02), REG(0x0A, 0x4A), REG(0x19, 0x7A),
    REG(0x2B, 0x67), REG(0x3B, 0x1A), REG(0x3C, 0xF8), REG(0x4A, 0xC1), REG(0x4B, 0x8C), REG(0x53, 0xFC),
    REG(0x54, 0x6E), REG(0x62, 0x5D), REG(0x64, 0xA0), REG(0x6D, 0xC8), REG(0x87, 0x11), REG(0x8A, 0x4C),
    REG(0x8E, 0x39), REG(0x98, 0x9E), REG(0x9A, 0xA1), REG(0x9B, 0xFC), REG(0xA0, 0x79), REG(0xA8, 0x17),
    REG(0xC4, 0xE7), REG(0xCA, 0xE7), REG(0xD1, 0x7F), REG(0xD8, 0x89), REG(0xDD, 0x38), REG(0xFE, 0x03),
    REG(0x11, 0x2B), REG(0x09, 0xAE), REG(0x0A, 0xC5), REG(0x0F, 0x3A), REG(0x10, 0xDF), REG(0x26, 0x2B),
    REG(0x32, 0x5D), REG(0x3A, 0xA3), REG(0x42, 0xE9), REG(0x45, 0x8E), REG(0x46, 0xCE), REG(0x48, 0xA1),
    REG(0x50, 0x5A), REG(0x73, 0x99), REG(0x7C, 0xDF), REG(0x7D, 0x08), REG(0x89, 0x9A), REG(0x8A, 0xFF),
    REG(0x9F, 0x92), REG(0xB5, 0x99), REG(0xC0, 0xA3), REG(0xD1, 0x11), REG(0xD5, 0x12), REG(0xD8, 0x64),
    REG(0xDF, 0x8D), REG(0xFE, 0x00),
    LIST_END};
static_assert(sizeof(config_4lanes) / kRecordSize - 1 == 182);

const QOV_UINT8 config_2lanes[] = {
    REG(0xF2, 0x00), REG(0xF4, 0x90), REG(0xF5, 0x3D), REG(0xF6, 0x44), REG(0xF8, 0x38), REG(0xFA, 0x42),
    REG(0xF9, 0x00), REG(0xF7, 0x95), REG(0xFC, 0x00), REG(0xFC, 0x00), REG(0xFC, 0xEA), REG(0xFE, 0x03),
    REG(0x03, 0x9A), REG(0xFC, 0xEE), REG(0xFE, 0x00), REG(0x05, 0x02), REG(0x06, 0x1A), REG(0x07, 0x00),
    REG(0x08, 0x10), REG(0x09, 0x00), REG(0x0A, 0x00), REG(0x0B, 0x00), REG(0x0C, 0x00), REG(0x0D, 0x09),
    REG(0x0E, 0xA0), REG(0x0F, 0x0C), REG(0x10, 0xD8), REG(0x17, 0xC0), REG(0x14, 0xEC), REG(0x16, 0x43),
    REG(0x25, 0xC3), REG(0x28, 0x4B), REG(0x29, 0x17), REG(0x2D, 0x09), REG(0x36, 0x42), REG(0x3B, 0xC7),
    REG(0x42, 0xC6), REG(0x43, 0x75), REG(0x45, 0xE6), REG(0x47, 0x91), REG(0x4A, 0xB5), REG(0x4C, 0x78),
    REG(0x4E, 0xD8), REG(0x50, 0xBB), REG(0x51, 0x96), REG(0x58, 0x6B), REG(0x5A, 0x07), REG(0x5C, 0x11),
    REG(0x5E, 0x3B), REG(0x5F, 0x0C), REG(0x62, 0x3B), REG(0x69, 0xE8), REG(0x6A, 0xD6), REG(0x6D, 0x86),
    REG(0x6E, 0x92), REG(0x72, 0x5B), REG(0x75, 0x79), REG(0x76, 0x6D), REG(0x79, 0xA8), REG(0x7A, 0x29),
    REG(0x7E, 0xAE), REG(0x7F, 0xA9), REG(0x80, 0x73), REG(0x83, 0x05), REG(0x84, 0x5B), REG(0x85, 0x09),
    REG(0x86, 0x1E), REG(0x88, 0x08), REG(0x89, 0xE5), REG(0x8C, 0x3D), REG(0x99, 0xB7), REG(0xA4, 0x00),
    REG(0xA5, 0x83), REG(0xAA, 0x46), REG(0xAC, 0xD1), REG(0xAD, 0x61), REG(0xB0, 0xF2), REG(0xB5, 0x28),
    REG(0xBA, 0xD4), REG(0xBD, 0x4F), REG(0xBE, 0xDE), REG(0xC0, 0xD7), REG(0xC3, 0x17), REG(0xC8, 0xB9),
    REG(0xCD, 0xD3), REG(0xD1, 0x34), REG(0xD5, 0x79), REG(0xD6, 0xE3), REG(0xDA, 0x42), REG(0xDD, 0xCA),
    REG(0xE0, 0xA6), REG(0xE2, 0xC5), REG(0xE4, 0x24), REG(0xE6, 0x2C), REG(0xE8, 0xEE), REG(0xEC, 0x96),
    REG(0xEE, 0x24), REG(0xEF, 0x41), REG(0xFE, 0x01), REG(0x00, 0x84), REG(0x01, 0xB2), REG(0x09, 0x62),
    REG(0x1D, 0x9B), REG(0x25, 0x2A), REG(0x2E, 0x44), REG(0x39, 0x18), REG(0x52, 0xD2), REG(0x54, 0x16),
    REG(0x59, 0x5E), REG(0x72, 0x79), REG(0x76, 0x58), REG(0x7D, 0x33), REG(0x81, 0x24), REG(0x87, 0xA9),
    REG(0x90, 0x43), REG(0x94, 0xA4), REG(0x95, 0x6D), REG(0x9F, 0x37), REG(0xAE, 0x4A), REG(0xB0, 0xA7),
    REG(0xB3, 0xE2), REG(0xB5, 0xC2), REG(0xB9, 0x37), REG(0xBC, 0x8D), REG(0xCA, 0x40), REG(0xE1, 0xE8),
    REG(0xE4, 0x3D), REG(0xED, 0xF2), REG(0xEE, 0xDE), REG(0xFE, 0x02), REG(0x0A, 0x4A), REG(0x19, 0x7A),
    REG(0x2B, 0x67), REG(0x3B, 0x1A), REG(0x3C, 0xF8), REG(0x4A, 0xC1), REG(0x4B, 0x8C), REG(0x53, 0xFC),
    REG(0x54, 0x6E), REG(0x62, 0x5D), REG(0x64, 0xA0), REG(0x6D, 0xC8), REG(0x87, 0x11), REG(0x8A, 0x4C),
    REG(0x8E, 0x39), REG(0x98, 0x9E), REG(0x9A, 0xA1), REG(0x9B, 0xFC), REG(0xA0, 0x79), REG(0xA8, 0x17),
    REG(0xC4, 0xE7), REG(0xCA, 0xE7), REG(0xD1, 0x7F), REG(0xD8, 0x89), REG(0xDD, 0x38), REG(0xFE, 0x03),
    REG(0x11, 0x2B), REG(0x01, 0x03), REG(0x09, 0xAE), REG(0x0A, 0xC5), REG(0x0F, 0x3A), REG(0x10, 0xDF),
    REG(0x26, 0x2B), REG(0x32, 0x5D), REG(0x3A, 0xA3), REG(0x42, 0xE9), REG(0x45, 0x8E), REG(0x46, 0xCE),
    REG(0x48, 0xA1), REG(0x50, 0x5A), REG(0x73, 0x99), REG(0x7C, 0xDF), REG(0x7D, 0x08), REG(0x89, 0x9A),
    REG(0x8A, 0xFF), REG(0x9F, 0x92), REG(0xB5, 0x99), REG(0xC0, 0xA3), REG(0xD1, 0x11), REG(0xD5, 0x12),
    REG(0xD8, 0x64), REG(0xDF, 0x8D), REG(0xFE, 0x00),
    LIST_END};
static_assert(sizeof(config_2lanes) / kRecordSize - 1 == 183);

// Output window and MIPI line size; streaming starts with the last record.
const QOV_UINT8 mode_3264x2448[] = {
    REG(0xFE, 0x00), REG(0x90, 0x01), REG(0x91, 0x00), REG(0x92, 0x08), REG(0x93, 0x00),
    REG(0x94, 0x08), REG(0x95, 0x09), REG(0x96, 0x90), REG(0x97, 0x0C), REG(0x98, 0xC0),
    REG(0xFE, 0x03), REG(0x12, 0xF8), REG(0x13, 0x0F), REG(0x21, 0x10), REG(0x22, 0x05),
    REG(0x23, 0x30), REG(0x24, 0x10), REG(0x25, 0x14), REG(0x26, 0x08), REG(0x29, 0x05),
    REG(0x2A, 0x0A), REG(0x2B, 0x08), REG(0xFE, 0x00), REG(0x3F, 0xD0), LIST_END};

const QOV_UINT8 mode_1632x1224[] = {
    REG(0xFE, 0x00), REG(0x90, 0x01), REG(0x91, 0x00), REG(0x92, 0x04), REG(0x93, 0x00),
    REG(0x94, 0x04), REG(0x95, 0x04), REG(0x96, 0xC8), REG(0x97, 0x06), REG(0x98, 0x60),
    REG(0xFE, 0x03), REG(0x12, 0xFC), REG(0x13, 0x07), REG(0x21, 0x08), REG(0x22, 0x03),
    REG(0x23, 0x18), REG(0x24, 0x08), REG(0x25, 0x0A), REG(0x26, 0x04), REG(0x29, 0x03),
    REG(0x2A, 0x05), REG(0x2B, 0x04), REG(0xFE, 0x00), REG(0x3F, 0x90), LIST_END};

// Stop list: page 0, then CSI off.
const QOV_UINT8 gc8034_stop[] = {REG(0xFE, 0x00), REG(0x3F, 0x00)};

sensor_mode gc8034_configs[] = {
    {SENSOR_FLIP_BOTH, config_4lanes, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, config_2lanes, 0, kRecordSize},
};
constexpr unsigned kConfigCount = sizeof(gc8034_configs) / sizeof(gc8034_configs[0]);

// Four slots per configuration: mode 0 is slot 0, mode 16 slot 4.
sensor_mode gc8034_modes[] = {
    {SENSOR_FLIP_BOTH, mode_3264x2448, 0, kRecordSize},
    {0, nullptr, 0, kRecordSize},
    {0, nullptr, 0, kRecordSize},
    {0, nullptr, 0, kRecordSize},
    {SENSOR_FLIP_BOTH, mode_1632x1224, 0, kRecordSize},
};
constexpr unsigned kModeSlots = sizeof(gc8034_modes) / sizeof(gc8034_modes[0]);

const QOV_UINT8 gc8034_num_modes[] = {1, 1};

// Analogue gain levels: thresholds in gain x 64, and the values of the 14
// trailing records of the gain template for each level.
constexpr unsigned kGainLevels = 8;
constexpr QOV_UINT16 kGainThreshold[kGainLevels] = {64, 88, 125, 173, 243, 345, 490, 684};
constexpr unsigned kGainRowRecords = 14;
const QOV_UINT8 kGainRows[kGainLevels][kGainRowRecords] = {
    {0x00, 0x55, 0x83, 0x01, 0x06, 0x18, 0x20, 0x16, 0x17, 0x50, 0x6C, 0x9B, 0xD8, 0x00},
    {0x00, 0x55, 0x83, 0x01, 0x06, 0x18, 0x20, 0x16, 0x17, 0x50, 0x6C, 0x9B, 0xD8, 0x00},
    {0x00, 0x4E, 0x84, 0x01, 0x0C, 0x2E, 0x2D, 0x15, 0x19, 0x47, 0x70, 0x9F, 0xD8, 0x00},
    {0x00, 0x51, 0x80, 0x01, 0x07, 0x28, 0x32, 0x22, 0x20, 0x49, 0x70, 0x91, 0xD9, 0x00},
    {0x00, 0x4D, 0x83, 0x01, 0x0F, 0x3B, 0x3B, 0x1C, 0x1F, 0x47, 0x6F, 0x9B, 0xD3, 0x00},
    {0x00, 0x50, 0x83, 0x01, 0x08, 0x35, 0x46, 0x1E, 0x22, 0x4C, 0x70, 0x9A, 0xD2, 0x00},
    {0x00, 0x52, 0x80, 0x01, 0x0C, 0x35, 0x3A, 0x2B, 0x2D, 0x4C, 0x67, 0x8D, 0xC0, 0x00},
    {0x00, 0x52, 0x80, 0x01, 0x0C, 0x35, 0x3A, 0x2B, 0x2D, 0x4C, 0x67, 0x8D, 0xC0, 0x00},
};

// Lens actuator: focus distances and their actuator codes.
constexpr QOV_UINT8 kFocusEntries = 6;
const QOV_UINT16 gc8034_focus_dac_dist[kFocusEntries] = {20, 30, 100, 250, 570, 3000};
const QOV_UINT16 gc8034_focus_dac_val[kFocusEntries] = {1020, 670, 320, 220, 70, 0};
constexpr QOV_UINT16 kFocusMin = 20;
constexpr QOV_UINT16 kFocusMax = 3000;

// Digital-gain ratio (256 = unity) that makes up for the half line an odd
// integration count lacks; set by each exposure, used by the next gains.
QOV_UINT32 Dgain_ratio = 256;

/*--------------------------------------------------------------------------
 * Hooks
 *-------------------------------------------------------------------------*/




// Writes a list record by record, setting the flip bits of page-0 register
// 0x17; the list goes on past a failed record and the first failure is returned.
QOV_RESULT writeWithFlips(CAM_STRUCT *psCam, const QOV_UINT8 *list, QOV_UINT32 nRecords)
{
    QOV_RESULT ret = QOV_SUCCESS;
    const QOV_UINT8 flips = psCam->ui8CurrentFlipping;
    QOV_UINT8 page = 0;
    for (QOV_UINT32 i = 0; i < nRecords; ++i) {
        QOV_UINT8 rec[kRecordSize] = {list[i * kRecordSize], list[i * kRecordSize + 1]};
        if (rec[0] == kPageSelect) {
            page = rec[1];
        } else if (page == 0 && rec[0] == kFlipRegister) {
            rec[1] = static_cast<QOV_UINT8>(rec[1] & ~0x03);
            if (flips & SENSOR_FLIP_VERTICAL)
                rec[1] |= 0x02;
            if (flips & SENSOR_FLIP_HORIZONTAL)
                rec[1] |= 0x01;
        }
        SensorKeepFirstFailure(ret, sensor_i2c_write8(psCam->i2c_dev, rec, kRecordSize));
    }
    return ret;
}

QOV_RESULT ApplyConfig(CAM_STRUCT *psCam)
{
    if (!psCam->currConfReg) {
        LOG_ERROR("current register config not available!\n");
        return QOV_SUCCESS;
    }
    return writeWithFlips(psCam, psCam->currConfReg, psCam->nConfRegisters);
}

QOV_RESULT ApplyMode(CAM_STRUCT *psCam)
{
    if (!psCam->currModeReg) {
        LOG_ERROR("current register modes not available!\n");
        return QOV_SUCCESS;
    }
    QOV_RESULT ret = QOV_SUCCESS;
    for (QOV_UINT32 i = 0; i < psCam->nModeRegisters; ++i) {
        const QOV_UINT8 *record = psCam->currModeReg + i * kRecordSize;
        SensorKeepFirstFailure(ret, sensor_i2c_write8(psCam->i2c_dev, record, kRecordSize));
    }
    return ret;
}

QOV_RESULT GetConfInfo(CAM_STRUCT *psCam, QOV_UINT16 nMode, SENSOR_MODE *psMode)
{
    const unsigned config = nMode >> 4;
    if (config >= kConfigCount)
        return QOV_ERROR_NOT_SUPPORTED;
    unsigned int nRecords = 0;
    const QOV_UINT8 *list =
        SensorModeGetRegisters(psCam->pConfigs, psCam->uiConfigsSize, config, &nRecords);
    if (!list)
        return QOV_ERROR_NOT_SUPPORTED;

    // Page 0: window timing; page 3: output format.
    QOV_UINT8 r05 = 0, r06 = 0, r07 = 0, r08 = 0, r0D = 0, r0E = 0, r0F = 0, r10 = 0, format = 0;
    QOV_UINT8 page = 0;
    for (unsigned i = 0; i < nRecords; ++i) {
        const QOV_UINT8 reg = list[i * kRecordSize];
        const QOV_UINT8 value = list[i * kRecordSize + 1];
        if (reg == kPageSelect) {
            page = value;
            continue;
        }
        if (page == 0) {
            switch (reg) {
            case 0x05: r05 = value & 0x0F; break;
            case 0x06: r06 = value; break;
            case 0x07: r07 = value & 0x1F; break;
            case 0x08: r08 = value; break;
            case 0x0D: r0D = value & 0x0F; break;
            case 0x0E: r0E = value; break;
            case 0x0F: r0F = value & 0x0F; break;
            case 0x10: r10 = static_cast<QOV_UINT8>(value & ~0x08); break;
            default: break;
            }
        } else if (page == 3 && reg == kOutputFormat) {
            format = value;
        }
    }
    const unsigned hts = ((r05 << 8) | r06) + 454 + ((r0F << 8) | r10);
    const unsigned vts = ((r07 << 8) | r08) + 36 + ((r0D << 8) | r0E);
    const double trow = hts / 320.0;  // microseconds

    psMode->ui8BitDepth = format == kRaw10 ? 10 : 8;
    psMode->ui16HorizontalTotal = static_cast<QOV_UINT16>(hts);
    psMode->ui16VerticalTotal = static_cast<QOV_UINT16>(vts);
    psMode->ui8MipiHsFreqRange = kHsFreqRange;
    psMode->flPixelRate = kPixelRate;
    psMode->ui32ExposureMin = SensorToU32(4 * trow);
    psMode->ui32ExposureMax = SensorToU32((static_cast<double>(vts) - 4.0) * trow);
    LOG_INFO("hts=%u vts=%u\n", hts, vts);
    LOG_INFO("trow=%lf\n", trow);
    return QOV_SUCCESS;
}

QOV_RESULT GetModeInfo(CAM_STRUCT *psCam, QOV_UINT16 nMode, SENSOR_MODE *psMode)
{
    const unsigned slot = (nMode & 0xF) + SENSOR_MODES_PER_CONFIG * (nMode >> 4);
    if (slot >= kModeSlots || !psCam->pModes[slot].modeRegisters)
        return QOV_ERROR_NOT_SUPPORTED;
    unsigned int nRecords = 0;
    const QOV_UINT8 *list = SensorModeGetRegisters(psCam->pModes, psCam->uiModesSize, slot, &nRecords);
    if (!list)
        return QOV_ERROR_NOT_SUPPORTED;

    QOV_UINT8 csiMode = 0, r95 = 0, r96 = 0, r97 = 0, r98 = 0;
    QOV_UINT8 page = 0;
    for (unsigned i = 0; i < nRecords; ++i) {
        const QOV_UINT8 reg = list[i * kRecordSize];
        const QOV_UINT8 value = list[i * kRecordSize + 1];
        if (reg == kPageSelect) {
            page = value;
            continue;
        }
        if (page != 0)
            continue;
        switch (reg) {
        case kCsiMode: csiMode = value; break;
        case 0x95: r95 = value & 0x0F; break;
        case 0x96: r96 = value; break;
        case 0x97: r97 = value & 0x0F; break;
        case 0x98: r98 = value; break;
        default: break;
        }
    }
    const unsigned lanes = (csiMode & 0x40) ? 4 : 2;
    psCam->num_lanes = lanes;
    psMode->ui8MipiLanes = static_cast<QOV_UINT8>(lanes);
    psMode->ui16Width = static_cast<QOV_UINT16>((r97 << 8) | r98);
    psMode->ui16Height = static_cast<QOV_UINT16>((r95 << 8) | r96);
    // The totals were just set by the configuration description.
    const double frameSize = static_cast<double>(psMode->ui16HorizontalTotal) * psMode->ui16VerticalTotal;
    psMode->flFrameRate = frameSize > 0 ? lanes * psMode->flPixelRate * 1e6 / frameSize : 0.0;
    psMode->ui8SupportFlipping = psCam->pModes[slot].ui8Flipping;

    if (psCam->psSensorPhy)
        psCam->psSensorPhy->psConfig = SensorPhyConfigPtr(psCam->nSensor);
    return QOV_SUCCESS;
}

// Exposure template: (0xFE, 0x00), (0x03, bits 8-14), (0x04, bits 0-7).
QOV_RESULT ComputeExposure(CAM_STRUCT *psCam, QOV_UINT8 ui8Context, QOV_UINT8 *values)
{
    const long long exposure = psCam->ui32Exposure[ui8Context];
    const long long exposureMin = psCam->currMode.ui32ExposureMin;  // four row times
    const long long vt = psCam->currMode.ui16VerticalTotal;
    long long lines = exposureMin ? exposure * 4 / exposureMin : 0;
    if (lines >= 4 && lines > vt - 4)
        lines = vt - 4;
    if (lines < 4) {
        values[3] = 0;
        values[5] = 4;
        Dgain_ratio = 256;
        return QOV_SUCCESS;
    }
    values[3] = static_cast<QOV_UINT8>((lines >> 8) & 0x7F);
    values[5] = static_cast<QOV_UINT8>(lines & 0xFF);
    // An odd count: the digital gain makes up for the half line missing.
    Dgain_ratio = static_cast<QOV_UINT32>(lines * 256 / (lines & ~1LL));
    return QOV_SUCCESS;
}

// Gain template: (0xFE, 0x00), (0xB6, level), (0xB1, digital high),
// (0xB2, digital low), then the 14 records of the level's row.
QOV_RESULT ComputeGains(double flGain, QOV_UINT8 *values)
{
    // Gain x 64; the gain range starts at unity, a lower gain is taken as unity.
    double scaled = std::floor(flGain * 64);
    if (!(scaled >= kGainThreshold[0]))
        scaled = kGainThreshold[0];
    if (scaled > 0xFFFF)
        scaled = 0xFFFF;
    const QOV_UINT32 g64 = static_cast<QOV_UINT32>(scaled);

    unsigned level = kGainLevels - 1;
    while (level > 0 && kGainThreshold[level] > g64)
        --level;
    const QOV_UINT32 digital = (g64 * 256 / kGainThreshold[level]) * Dgain_ratio;
    values[3] = static_cast<QOV_UINT8>(level);
    values[5] = static_cast<QOV_UINT8>((digital >> 16) & 0xFF);
    values[7] = static_cast<QOV_UINT8>((digital >> 8) & 0xFF);
    for (unsigned i = 0; i < kGainRowRecords; ++i)
        values[9 + i * kRecordSize] = kGainRows[level][i];
    return QOV_SUCCESS;
}

}  // namespace

/*--------------------------------------------------------------------------
 * Chip slots
 *-------------------------------------------------------------------------*/

QOV_UINT16 GC8034_CalculateFocus(const QOV_UINT16 *pui16DACDist, const QOV_UINT16 *pui16DACValues,
                                 QOV_UINT8 ui8Entries, QOV_UINT16 ui16Requested)
{
    if (ui8Entries == 0)
        return 0;
    if (ui16Requested <= pui16DACDist[0])
        return pui16DACValues[0];
    if (ui16Requested >= pui16DACDist[ui8Entries - 1])
        return pui16DACValues[ui8Entries - 1];
    unsigned j = 0;
    while (j + 2 < ui8Entries && ui16Requested >= pui16DACDist[j + 1])
        ++j;
    // Linear in 1/distance between the two neighbouring entries.
    const double d0 = pui16DACDist[j], d1 = pui16DACDist[j + 1];
    const double c0 = pui16DACValues[j], c1 = pui16DACValues[j + 1];
    const double code = c0 + (c1 - c0) * d1 * (ui16Requested - d0) / ui16Requested / (d1 - d0);
    return static_cast<QOV_UINT16>(code);
}

QOV_RESULT GC8034_GetFocusRange(SENSOR_HANDLE, QOV_UINT16 *pui16Min, QOV_UINT16 *pui16Max)
{
    *pui16Min = kFocusMin;
    *pui16Max = kFocusMax;
    return QOV_SUCCESS;
}

QOV_RESULT GC8034_GetCurrentFocus(SENSOR_HANDLE hHandle, QOV_UINT16 *pui16Current)
{
    CAM_STRUCT *psCam = SensorCam(hHandle);
    if (!psCam->psSensorPhy) {
        LOG_ERROR("sensor not initialised\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    *pui16Current = psCam->ui16CurrentFocus;
    return QOV_SUCCESS;
}

QOV_RESULT GC8034_SetFocus(SENSOR_HANDLE hHandle, QOV_UINT16 ui16Focus)
{
    CAM_STRUCT *psCam = SensorCam(hHandle);
    if (!psCam->psSensorPhy) {
        LOG_ERROR("sensor not initialised\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    psCam->ui16CurrentFocus = ui16Focus;
    const QOV_UINT16 code =
        GC8034_CalculateFocus(gc8034_focus_dac_dist, gc8034_focus_dac_val, kFocusEntries, ui16Focus);
    // The actuator takes its 10-bit code in bits 4 to 13 of one 16-bit word.
    const QOV_UINT8 data[2] = {static_cast<QOV_UINT8>((code >> 4) & 0x3F),
                               static_cast<QOV_UINT8>((code << 4) & 0xFF)};
    LOG_INFO("SetFocus: new focus = %d, value = %d\n", ui16Focus, code);

    if (PLATFORM_Ioctl(psCam->i2c_dev.fd, SENSOR_I2C_SLAVE,
                       reinterpret_cast<void *>(static_cast<uintptr_t>(kActuatorAddress))) < 0) {
        LOG_ERROR("Failed to write I2C slave address!\n");
        return QOV_ERROR_I2C_FAILED;
    }
    if (PLATFORM_Write(psCam->i2c_dev.fd, data, sizeof(data)) != static_cast<ssize_t>(sizeof(data))) {
        LOG_ERROR("Failed to write I2C data!\n");
        return QOV_ERROR_I2C_FAILED;
    }
    return QOV_SUCCESS;
}

QOV_RESULT GC8034_GetInfo(SENSOR_HANDLE hHandle, SENSOR_INFO *psInfo)
{
    CAM_STRUCT *psCam = SensorCam(hHandle);
    const SENSOR_INFO_LOG log = {__func__, LOG_TAG, "Reading device ID (GetInfo) \n", QOV_TRUE};
    return SensorInfoFill(psCam, psInfo, SensorFlippedRGGB(psCam->ui8CurrentFlipping), psCam->sensorName, static_cast<QOV_UINT8>(GetImagerNum(psCam->nSensor)), &log);
}

QOV_RESULT GC8034_SetGain(SENSOR_HANDLE hHandle, double flGain, QOV_UINT8 ui8Context)
{
    // Level 0 at unity until the gain computation fills the values in.
    QOV_UINT8 gainRegs[] = {REG(0xFE, 0x00), REG(0xB6, 0x00), REG(0xB1, 0x01), REG(0xB2, 0x00),
                            REG(0xFE, 0x00), REG(0x20, 0x55), REG(0x33, 0x83), REG(0xFE, 0x01),
                            REG(0xDF, 0x06), REG(0xE7, 0x18), REG(0xE8, 0x20), REG(0xE9, 0x16),
                            REG(0xEA, 0x17), REG(0xEB, 0x50), REG(0xEC, 0x6C), REG(0xED, 0x9B),
                            REG(0xEE, 0xD8), REG(0xFE, 0x00)};
    static_assert(sizeof(gainRegs) == 36);
    return SensorFuncSetGain(hHandle, flGain, ui8Context, gainRegs, sizeof(gainRegs), 0);
}

QOV_RESULT GC8034_SetExposure(SENSOR_HANDLE hHandle, QOV_UINT32 ui32Current, QOV_UINT8 ui8Context)
{
    QOV_UINT8 exposureRegs[] = {REG(0xFE, 0x00), REG(0x03, 0x00), REG(0x04, 0x00)};
    return SensorFuncSetExposure(hHandle, ui32Current, ui8Context, exposureRegs, sizeof(exposureRegs), 0);
}

QOV_RESULT GC8034_Disable(SENSOR_HANDLE hHandle)
{
    return SensorFuncDisable(hHandle, gc8034_stop, sizeof(gc8034_stop));
}

const SENSOR_CHIP kGC8034Chip = {
    .name = "GC8034",
    .i2cAddr = kI2cAddress,
    .addrSize = 1,
    .chipIdReg = kChipIdRegister,
    .chipId = kChipId,
    .minGain = 1.0,
    .maxGain = 16.0,
    .configs = gc8034_configs,
    .configsSize = sizeof(gc8034_configs),
    .modes = gc8034_modes,
    .modesSize = sizeof(gc8034_modes),
    .numModes = gc8034_num_modes,
    .numModesSize = sizeof(gc8034_num_modes),
    // The actuator rests at code 0, which is the far end of the focus range;
    // every mode selection restores this distance.
    .focusDacMin = kFocusMax,
    .initialFocus = kFocusMax,
    .Disable = GC8034_Disable,
    .GetInfo = GC8034_GetInfo,
    .SetGain = GC8034_SetGain,
    .SetExposure = GC8034_SetExposure,
    .GetFocusRange = GC8034_GetFocusRange,
    .GetCurrentFocus = GC8034_GetCurrentFocus,
    .SetFocus = GC8034_SetFocus,
    .ApplyConfig = ApplyConfig,
    .ApplyMode = ApplyMode,
    .GetConfInfo = GetConfInfo,
    .GetModeInfo = GetModeInfo,
    .ComputeExposure = ComputeExposure,
    .ComputeGains = ComputeGains,
};

QOV_RESULT GC8034_Create(SENSOR_HANDLE *phHandle)
{
    return SensorChipCreate(&kGC8034Chip, phHandle, SENSOR_DURIDU_GC8034, 1, __func__, LOG_TAG);
}
