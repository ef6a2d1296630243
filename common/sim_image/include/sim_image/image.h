// In-memory image of the image-file library and base of every image-file class:
// up to four channel planes of signed 32-bit samples with a colour model and a
// subsampling mode. File operations report failure as a constant message text
// (null on success) that the caller must not release.
#ifndef SIM_IMAGE_IMAGE_H
#define SIM_IMAGE_IMAGE_H

#include "qov_types.h"

typedef QOV_INT32 PIXEL;

enum colorModelEnum {
    CM_UNDEF = 0,
    CM_GRAY = 1,
    CM_RGB = 2,
    CM_RGBA = 3,
    CM_RGGB = 4,
    CM_RGBW = 5,
    CM_YUV = 6,
    CM_YUVA = 7,
};

enum subsamplingModeEnum {
    SUBS_UNDEF = 0,
    SUBS_444 = 1,
    SUBS_422 = 2,
    SUBS_420 = 3,
    SUBS_RGGB = 4,  // the Bayer modes name the top-left 2x2 cell, row by row
    SUBS_GRBG = 5,
    SUBS_GBRG = 6,
    SUBS_BGGR = 7,
};

enum imagePropertiesEnum {
    PROPERTY_SUPPORT_VIDEO = 0,  // the file format can hold several frames
    PROPERTY_IS_VIDEO = 1,       // the loaded file holds more than one frame
};

typedef struct colorChannelDataStr {
    PIXEL *data;  // chnlWidth x chnlHeight samples row by row, owned; null when not loaded
    QOV_INT32 chnlWidth;
    QOV_INT32 chnlHeight;
    QOV_UINT8 bitDepth;  // sign bit included
    bool isSigned;
} COLCHANNEL;

typedef struct colorModelInfoStr {
    colorModelEnum model;
    QOV_UINT8 Nchannels;
    bool isBayer;
    bool isSubsSupport;
    const char *const *channelNames;
} COLORMODELINFO;

// Bit depths passed as one signed 8-bit value: N means N-bit unsigned, -N N-bit signed.
class CImageBase {
public:
    QOV_INT32 width;
    QOV_INT32 height;
    COLCHANNEL chnl[4];
    colorModelEnum colorModel;
    subsamplingModeEnum subsMode;
    char *fileName;  // copy of the name of the file loaded, owned

    CImageBase();
    virtual ~CImageBase();
    CImageBase(const CImageBase &) = delete;
    CImageBase &operator=(const CImageBase &) = delete;

    virtual bool IsHeaderLoaded() const;
    virtual bool IsDataLoaded() const;
    virtual void UnloadHeader();
    virtual void UnloadData();
    virtual QOV_INT32 GetProperty(imagePropertiesEnum property) const;
    virtual QOV_INT32 GetNFrames() const;
    virtual const char *LoadFileHeader(const char *filename, void *pExtra);
    virtual const char *LoadFileData(QOV_INT32 frameIndex);
    virtual const char *SaveFileStart(const char *filename, void *pExtra, void **pSC);
    virtual const char *SaveFileHeader(void *pSC);
    virtual const char *SaveFileData(void *pSC);
    virtual const char *SaveFileEnd(void *pSC);

    void Unload();
    const char *SaveSingleFrameImage(const char *filename, void *pExtra);

    static const COLORMODELINFO *GetColorModelInfo(colorModelEnum model);
    QOV_INT32 GetNColChannels() const;
    QOV_INT32 GetXSampling(QOV_INT32 channel) const;
    QOV_INT32 GetYSampling(QOV_INT32 channel) const;
    static QOV_INT32 GetXSampling(subsamplingModeEnum mode, QOV_INT32 channel);
    static QOV_INT32 GetYSampling(subsamplingModeEnum mode, QOV_INT32 channel);
    static QOV_UINT8 GetBayerFlip(subsamplingModeEnum mode);
    static QOV_UINT8 GetBayerFlip(subsamplingModeEnum src, subsamplingModeEnum dst);

    // Fails (false) for a model without a table row, a negative size, a missing
    // bit-depth list or a plane that cannot be allocated.
    bool CreateNewImage(QOV_INT32 newWidth, QOV_INT32 newHeight, colorModelEnum newColorModel,
                        subsamplingModeEnum subsampling, const QOV_INT8 *chnlBitDepths, const PIXEL *chnlDefVal);
    // 0 done (or possible), 1 not supported, 2 creating the new image failed.
    QOV_INT32 ConvertFrom(CImageBase *pSrc, colorModelEnum newColorModel, subsamplingModeEnum newSubsMode,
                          bool onlyCheckIfAvail);
    void SwapWith(CImageBase *pOther);

    static QOV_INT32 ChBitDepth(PIXEL pixel, QOV_INT8 oldBitDepth, QOV_INT8 newBitDepth);
    static void ChBitDepth(const PIXEL *pSrc, PIXEL *pDst, QOV_INT32 Npixels, QOV_INT8 oldBitDepth,
                           QOV_INT8 newBitDepth);
    // A negative channel means every channel of the model; one at or beyond the
    // model's channel count does nothing.
    void ChangeChannelBitDepth(QOV_INT32 channel, QOV_INT8 newBitDepth);
    void OffsetChannelValues(QOV_INT32 channel, PIXEL addValue);
    QOV_UINT32 ClipChannelValues(QOV_INT32 channel, PIXEL minVal, PIXEL maxVal, bool countClipOnly);
    QOV_UINT32 ClipChannelValuesToBD(QOV_INT32 channel, bool countClipOnly);

protected:
    // Channel planes are allocated here so that a size that cannot be held gives
    // null instead of an exception.
    static PIXEL *AllocPlane(QOV_INT64 samples);
    static void FreePlane(PIXEL *plane);
    bool AllocChannelData(QOV_INT32 channel);
};

#endif
