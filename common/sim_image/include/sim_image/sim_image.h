// Whole frames between JUX files and plain sample buffers: sSimImageIn reads a
// JUX file frame by frame as 16-bit samples (the data generator's input),
// sSimImageOut appends frames given in a simple memory layout to a JUX file.
#ifndef SIM_IMAGE_SIM_IMAGE_H
#define SIM_IMAGE_SIM_IMAGE_H

#include "qov_types.h"

class CImageJux;
class CMetaData;
struct juxSaveFormatStr;

typedef enum sSimImageColourModel : int {
    SimImage_RGB24 = 0,  // three 8-bit samples per pixel
    SimImage_RGB32 = 1,  // four 8-bit samples, or one 10:10:10:2 word per pixel
    SimImage_RGB64 = 2,  // four 16-bit samples per pixel
    SimImage_RGGB = 3,   // Bayer, top-left cell R G / G B
    SimImage_GRBG = 4,
    SimImage_GBRG = 5,
    SimImage_BGGR = 6,
} sSimImageColourModel;

typedef struct SimImageInfo {
    QOV_UINT8 ui8BitDepth;
    QOV_UINT32 ui32Width;   // pixels; for Bayer the whole mosaic
    QOV_UINT32 ui32Height;
    QOV_SIZE stride;        // bytes per row of the reader's sample buffer
    sSimImageColourModel eColourModel;
    QOV_BOOL8 isBGR;        // RGB: the first sample of a pixel in memory is red
} SimImageInfo;

typedef struct sSimImageIn {
    SimImageInfo info;
    QOV_UINT32 nFrames;  // frames that can be converted
    CImageJux *loadFromJUX;
    QOV_UINT16 *pBuffer;
} sSimImageIn;

typedef struct sSimImageOut {
    SimImageInfo info;  // filled by the caller before SimImageOut_create
    QOV_INT8 nPlanes;
    CImageJux *saveToJUX;
    struct juxSaveFormatStr *saveFormat;
    void *saveContext;
} sSimImageOut;

QOV_RESULT SimImageIn_init(sSimImageIn *pImage);
QOV_RESULT SimImageIn_loadJUX(sSimImageIn *pImage, const char *pszFilename);
QOV_RESULT SimImageIn_convertFrame(sSimImageIn *pImage, QOV_INT32 i32frameIndex);
QOV_RESULT SimImageIn_close(sSimImageIn *pImage);
QOV_RESULT SimImageIn_checkMultiSegment(const char *pszFilename, unsigned *pNSegments, unsigned *pNTotalFrames);

QOV_RESULT SimImageOut_init(sSimImageOut *pImage);
QOV_RESULT SimImageOut_create(sSimImageOut *pImage);
QOV_RESULT SimImageOut_open(sSimImageOut *pImage, const char *pszFilename);
QOV_RESULT SimImageOut_addFrame(sSimImageOut *pImage, const void *pData, QOV_SIZE size);
QOV_RESULT SimImageOut_write(sSimImageOut *pImage);
QOV_RESULT SimImageOut_close(sSimImageOut *pImage);
QOV_RESULT SimImageOut_clean(sSimImageOut *pImage);

// Whether two segment descriptions differ in what a frame source depends on:
// size, colour format, per-plane subsampling, phases and bit depth.
bool operator!=(const CMetaData &reference, const CMetaData &other);

#endif
