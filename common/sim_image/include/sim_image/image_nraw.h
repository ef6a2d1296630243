// Two read-only raw formats of camera captures: NRAW files (a 124-byte header
// describing the sensor, the frames from byte 1024 on) and Aptina raw captures
// (packed 10-bit Bayer frames described by a companion "_info.txt" file).
#ifndef SIM_IMAGE_IMAGE_NRAW_H
#define SIM_IMAGE_IMAGE_NRAW_H

#include "sim_image/image.h"
#include "sim_image/metadata.h"

// The NRAW header, little-endian in the file.
typedef struct nrawHeaderStr {
    char signature[4];  // "NRAW"
    QOV_UINT16 width;
    QOV_UINT16 height;
    QOV_UINT16 bitDepth;
    QOV_UINT16 bytesPerSample;  // 1 to 4
    QOV_UINT16 bayerType;
    QOV_UINT16 headerVersion;  // 256 or 512
    QOV_UINT16 sensorCfgNum;
    QOV_UINT16 imageType;
    QOV_UINT8 reserved[12];
    QOV_UINT32 chipID;
    char fwVersion[14];  // zero-padded texts
    char make[30];
    char model[32];
    QOV_UINT16 numComps;
    QOV_UINT16 numFrames;
    QOV_UINT16 opticalBlack[4];
} NRAWHEADER;

class CImageNRaw : public CImageBase {
public:
    enum imageTypesEnum {
        IT_BAYER = 0,
        IT_YUV422 = 1,
        IT_RGB565 = 2,
        IT_RGB444 = 3,
        IT_RGB888 = 4,
        IT_UNDEF = 65535,
    };
    enum bayerTypesEnum {
        BT_RGGB = 0,
        BT_GRBG = 1,
        BT_GBRG = 2,
        BT_BGGR = 3,
        BT_UNDEF = 65535,
    };
    static const int kHeaderSize = 124;
    static const int kFirstFrameOffset = 1024;

    CMetaData meta;              // header fields
    QOV_INT64 frameSize;         // bytes per frame
    QOV_INT32 fileOffsetFrame1;  // 1024 after a header load
    imageTypesEnum nrawImageType;
    QOV_UINT8 bytesPerSample;

    CImageNRaw();
    ~CImageNRaw() override;

    void UnloadHeader() override;
    static bool DetectFormat(const char *filename);
    // Unloads everything first, so that no plane of an earlier image is reused.
    const char *LoadFileHeader(const char *filename, void *pExtra) override;
    const char *LoadFileData(QOV_INT32 frameIndex) override;
    const char *SaveFileStart(const char *filename, void *pExtra, void **pSC) override;
    const char *SaveFileHeader(void *pSC) override;
    const char *SaveFileData(void *pSC) override;
    const char *SaveFileEnd(void *pSC) override;
};

class CImageAptinaRaw : public CImageBase {
public:
    enum rawPixelFormats {
        RPF_UNDEF = 0,
        RPF_BAYER10 = 1,
    };
    enum infoFileSectionsEnum {
        IFS_UNDEF = 0,
        IFS_INITIAL = 1,
        IFS_RAWFORMAT = 2,
    };

    QOV_INT32 Nframes;
    QOV_INT64 frameSize;  // bytes per frame
    rawPixelFormats pixelFormat;

    CImageAptinaRaw();
    ~CImageAptinaRaw() override;

    void UnloadHeader() override;
    QOV_INT32 GetNFrames() const override;
    QOV_INT32 GetProperty(imagePropertiesEnum property) const override;
    static bool DetectFormat(const char *filename);
    const char *LoadFileHeader(const char *filename, void *pExtra) override;
    // Frames counted from 0 to GetNFrames() - 1; others are refused.
    const char *LoadFileData(QOV_INT32 frameIndex) override;
    const char *SaveFileStart(const char *filename, void *pExtra, void **pSC) override;
    const char *SaveFileHeader(void *pSC) override;
    const char *SaveFileData(void *pSC) override;
    const char *SaveFileEnd(void *pSC) override;
};

#endif
