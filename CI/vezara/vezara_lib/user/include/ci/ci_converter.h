// Frame converter: turns an image of 16-bit samples into the wire form the
// internal data generator sends (packed parallel samples or MIPI CSI-2
// packets, one line per frame stride), and fills HDR-insertion buffers.
//
// Messages carry tag "CI_CONVERTER".
#ifndef CI_CONVERTER_H
#define CI_CONVERTER_H

#include "ci/ci_api_structs.h"
#include "qov_types.h"

struct sSimImageIn;

// CSI-2 data types the converter writes.
enum DG_MIPI_ID : QOV_UINT8 {
    DG_MIPI_ID_FS = 0x00,    // frame start
    DG_MIPI_ID_FE = 0x01,    // frame end
    DG_MIPI_ID_LS = 0x02,    // line start
    DG_MIPI_ID_LE = 0x03,    // line end
    DG_MIPI_ID_RAW10 = 0x2B,
    DG_MIPI_ID_RAW12 = 0x2C,
    DG_MIPI_ID_RAW14 = 0x2D,
};

// MIPI payload packer: same input convention and null-output rule as a line converter.
typedef QOV_SIZE (*CI_CONV_MIPI_WRITE_FN)(const QOV_UINT16 *inPixels, QOV_UINT32 inStride,
                                          QOV_UINT32 NpixelsPerCh, QOV_UINT8 *outPixels);

// Private data of a MIPI converter, owned by the converter.
typedef struct CI_CONV_MIPI_PRIV {
    QOV_BOOL8 bLongFormat;  // lines framed by line-start and line-end packets
    QOV_UINT8 ui8VirtualChannel;
    QOV_UINT8 ui8DataId;
    CI_CONV_MIPI_WRITE_FN pfnMipiWrite;
    QOV_UINT16 ui16FrameNumber;
    QOV_INT32 i32LineNumber;  // the line being written, counted from 1
} CI_CONV_MIPI_PRIV;

// Chooses the writers for a wire format and bit depth: parallel 10 or 12
// bits, MIPI 10, 12 or 14 bits. A failed configuration leaves no line
// converter, so that conversions refuse the converter.
QOV_RESULT CI_ConverterConfigure(CI_CONVERTER *pConverter, CI_CONV_FMT eFormat, QOV_UINT8 ui8Bitdepth);
// Bytes of a converted frame: the line stride times the height; 0 when the
// converter is not configured. The stride holds a line and the frame-start
// packet that precedes line 0; a one-line MIPI frame's stride also holds the
// frame-end packet that follows its line.
QOV_UINT32 CI_ConverterFrameSize(const CI_CONVERTER *pConverter, QOV_UINT32 ui32Width, QOV_UINT32 ui32Height);
// Converts a Bayer image into a frame buffer and describes the frame.
QOV_RESULT CI_ConverterConvertFrame(CI_CONVERTER *pConverter, const sSimImageIn *pImage, CI_DG_FRAME *pFrame);
// The vector code the converter may use. Every kind writes the same bytes;
// tests run the portable code (the only code on processors without the
// vector units) beside the vector code this way.
typedef enum CI_CONV_CODE {
    CI_CONV_CODE_PORTABLE,  // no vector code
    CI_CONV_CODE_128,       // 128-bit carry-less multiplies only
    CI_CONV_CODE_256,       // AVX2 and 256-bit carry-less multiplies, no AVX-512
    CI_CONV_CODE_ALL,       // whatever the processor has (the default)
} CI_CONV_CODE;
void CI_ConverterLimitCode(CI_CONV_CODE eCode);
// Frees the MIPI private data and leaves the converter unconfigured.
QOV_RESULT CI_ConverterClear(CI_CONVERTER *pConverter);

// Fills an HDR-insertion buffer (BGR_161616_64, linear) from an RGB image of
// four 16-bit samples per pixel; with bRescale the samples are widened to 16
// bits by bit replication.
QOV_RESULT CI_Convert_HDRInsertion(const sSimImageIn *pImage, CI_BUFFER *pBuffer, QOV_BOOL8 bRescale);

// Line converters and packers. A line holds NpixelsPerCh pixels of two
// interleaved samples: pixel k is inPixels[k * inStride] and
// inPixels[k * inStride + 1]. Each returns the bytes written, or with a
// null outPixels the bytes it would write.
QOV_SIZE CI_Convert_Parallel10(void *privateData, const QOV_UINT16 *inPixels, QOV_UINT32 inStride,
                               QOV_UINT32 NpixelsPerCh, QOV_UINT8 *outPixels);
QOV_SIZE CI_Convert_Parallel12(void *privateData, const QOV_UINT16 *inPixels, QOV_UINT32 inStride,
                               QOV_UINT32 NpixelsPerCh, QOV_UINT8 *outPixels);
QOV_SIZE MIPI_Write_10(const QOV_UINT16 *inPixels, QOV_UINT32 inStride, QOV_UINT32 NpixelsPerCh,
                       QOV_UINT8 *outPixels);
QOV_SIZE MIPI_Write_12(const QOV_UINT16 *inPixels, QOV_UINT32 inStride, QOV_UINT32 NpixelsPerCh,
                       QOV_UINT8 *outPixels);
QOV_SIZE MIPI_Write_14(const QOV_UINT16 *inPixels, QOV_UINT32 inStride, QOV_UINT32 NpixelsPerCh,
                       QOV_UINT8 *outPixels);
// One MIPI line: [line start] long packet (header, payload, checksum) [line end].
QOV_SIZE CI_Convert_MIPI_Line(void *privateData, const QOV_UINT16 *inPixels, QOV_UINT32 inStride,
                              QOV_UINT32 NpixelsPerCh, QOV_UINT8 *outPixels);
// Frame-start and frame-end short packets (4 bytes).
QOV_SIZE CI_Convert_MIPI_Header(void *privateData, QOV_UINT8 *out);
QOV_SIZE CI_Convert_MIPI_Footer(void *privateData, QOV_UINT8 *out);

#endif
