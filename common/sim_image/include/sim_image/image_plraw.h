// Plain raw files: headerless frames of RGB pixels or of a Bayer mosaic, each
// sample in the fewest whole bytes, little-endian. Size, bit depth and layout
// come from the file name or an explicit load format.
#ifndef SIM_IMAGE_IMAGE_PLRAW_H
#define SIM_IMAGE_IMAGE_PLRAW_H

#include <cstdio>

#include "sim_image/image.h"

class CImageJux;

typedef struct plrawLoadFormatStr {
    QOV_INT32 width;
    QOV_INT32 height;
    QOV_INT8 bitDepth;
    colorModelEnum colorModel;
    subsamplingModeEnum subsMode;
} PLRAWLOADFORMAT;

typedef struct plrawSaveFormatStr {
    QOV_INT8 bitDepth;       // bits per sample in the file
    QOV_INT32 rangeMin[4];  // per channel, the sample value written as 0
    QOV_INT32 rangeMax[4];  // per channel, the sample value written as 2^bitDepth - 1
} PLRAWSAVEFORMAT;

typedef struct plrawSaveContextStr {
    FILE *f;
    PLRAWSAVEFORMAT *pExtra;
} PLRAWSAVECONTEXT;

typedef struct plrawFormatSpecStr {
    const char *format;  // the text looked for in file names
    colorModelEnum colorModel;
    subsamplingModeEnum subsMode;
    QOV_UINT8 defaultBd;
} PLRAWFORMATSPEC;

class CImagePlRaw : public CImageBase {
public:
    QOV_INT64 frameSize;  // bytes per frame

    CImagePlRaw();
    ~CImagePlRaw() override;

    void UnloadHeader() override;
    // pExtra: the PLRAWLOADFORMAT, required.
    const char *LoadFileHeader(const char *filename, void *pExtra) override;
    // Frames that do not lie wholly in the file are refused.
    const char *LoadFileData(QOV_INT32 frameIndex) override;
    // pExtra: the PLRAWSAVEFORMAT, required; it must outlive the save.
    const char *SaveFileStart(const char *filename, void *pExtra, void **pSC) override;
    const char *SaveFileHeader(void *pSC) override;
    const char *SaveFileData(void *pSC) override;
    // Reports a write that failed when the file was flushed.
    const char *SaveFileEnd(void *pSC) override;

    // Derives a load format from a name such as "shot_1280x720_12bit_bggr.raw";
    // *pFormatPart points where the description starts in the name, or is null.
    static const char *GetLoadFormat(PLRAWLOADFORMAT *pFmt, const char *filename, const char **pFormatPart);
    // A file-name part such as "640x480_10bit_grbg"; the text lives until the next call.
    const char *GetFormatString(const PLRAWSAVEFORMAT *pFmt);

    static const char *GetSaveFormat(PLRAWSAVEFORMAT *pFmt, CImageBase *pIm);
    // The ranges come from the display range of the current segment.
    static const char *GetSaveFormat(PLRAWSAVEFORMAT *pFmt, CImageJux *pIm);

    static const PLRAWFORMATSPEC plrawFormatSpecs[];
    static const int nPlrawFormatSpecs;

private:
    char m_formatString[50];
};

#endif
