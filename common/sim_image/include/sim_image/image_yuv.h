// Headerless YUV files: a plain sequence of equal frames described by the file
// name or an explicit load format.
#ifndef SIM_IMAGE_IMAGE_YUV_H
#define SIM_IMAGE_IMAGE_YUV_H

#include "sim_image/image.h"

class CImageJux;
class CImagePxm;

enum planeFormatsStr {
    PLANEFMT_PLANAR = 0,      // all Y samples, then all U, then all V
    PLANEFMT_INTER_YUV = 1,   // Y, U, V per pixel (4:4:4)
    PLANEFMT_INTER_YUYV = 2,  // 4:2:2, two pixels per group of four samples
    PLANEFMT_INTER_YVYU = 3,
    PLANEFMT_INTER_UYVY = 4,
    PLANEFMT_INTER_VYUY = 5,
};

typedef struct yuvLoadFormatStr {
    QOV_INT32 width;
    QOV_INT32 height;
    subsamplingModeEnum subsMode;
    QOV_INT8 bitDepth;
    planeFormatsStr planeFormat;
    bool msbAligned;  // samples wider than a byte sit in the high bits of their container
} YUVLOADFORMAT;

typedef struct yuvSaveFormatStr {
    planeFormatsStr planeFormat;
    bool msbAligned;
} YUVSAVEFORMAT;

typedef struct yuvFormatSpecStr {
    const char *format;  // the text looked for in file names
    subsamplingModeEnum subsMode;
    planeFormatsStr planeFmt;
    bool msbAligned;
    QOV_UINT8 defaultBd;
} YUVFORMATSPEC;

class CImageYuv : public CImageBase {
public:
    QOV_INT64 frameSize;  // bytes per frame
    QOV_INT32 Nframes;
    planeFormatsStr planeFormat;
    bool msbAligned;

    CImageYuv();
    ~CImageYuv() override;

    void UnloadHeader() override;
    QOV_INT32 GetProperty(imagePropertiesEnum property) const override;
    QOV_INT32 GetNFrames() const override;
    // pExtra: the YUVLOADFORMAT, required.
    const char *LoadFileHeader(const char *filename, void *pExtra) override;
    const char *LoadFileData(QOV_INT32 frameIndex) override;
    // pExtra: the YUVSAVEFORMAT, required.
    const char *SaveFileStart(const char *filename, void *pExtra, void **pSC) override;
    const char *SaveFileHeader(void *pSC) override;
    const char *SaveFileData(void *pSC) override;
    const char *SaveFileEnd(void *pSC) override;

    // Derives a load format from a file name such as "clip_1920x1080_10bit_422pm.yuv";
    // *pFormatPart points where the description starts in the name, or is null.
    static const char *GetLoadFormat(YUVLOADFORMAT *pFmt, const char *filename, const char **pFormatPart);
    // A file-name part such as "1920x1080_8bit_420p"; the text lives until the next call.
    const char *GetFormatString(const YUVSAVEFORMAT *pFmt);

    static const char *GetSaveFormat(YUVSAVEFORMAT *pFmt, CImageBase *pIm);
    static const char *GetSaveFormat(YUVSAVEFORMAT *pFmt, CImageJux *pIm);
    static const char *GetSaveFormat(YUVSAVEFORMAT *pFmt, CImageYuv *pIm);
    // A PGM/PPM image is never written as YUV: always "Unsupported color model".
    static const char *GetSaveFormat(YUVSAVEFORMAT *pFmt, CImagePxm *pIm);

    static const YUVFORMATSPEC yuvFormatSpecs[];
    static const int nYuvFormatSpecs;

private:
    char m_formatString[50];
    QOV_UINT8 *m_rowBuf;
    size_t m_rowBufSize;
    bool growRowBuffer(size_t size);
};

#endif
