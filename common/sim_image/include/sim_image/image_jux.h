// JUX image files: segments of a 64-byte text header, a metadata section of
// "NAME=VALUE" lines and a pixel section holding one or more frames.
#ifndef SIM_IMAGE_IMAGE_JUX_H
#define SIM_IMAGE_IMAGE_JUX_H

#include <cstdio>

#include "sim_image/image.h"
#include "sim_image/metadata.h"

class CImageYuv;

// How samples are stored in a line.
enum packingModeEnum {
    PACKM_UNDEF = 0,
    PACKM_UNPACKEDR = 1,  // one container per sample, value right-aligned
    PACKM_UNPACKEDL = 2,  // one container per sample, value left-aligned
    PACKM_GROUPPACK = 3,  // bit fields packed in groups
};

// Entries of a segment header's table, byte counts relative to the segment start.
enum soTableEntriesEnum {
    SOTE_METAOFFS = 0,
    SOTE_METASIZE = 1,
    SOTE_PIXELSOFFS = 2,
    SOTE_PIXELSSIZE = 3,
};

typedef struct juxSegmentInfoStr {
    QOV_INT64 segmentOffset;  // file position of the segment's first byte
    QOV_INT64 segmentSize;    // extent of the segment in bytes
    // NframeOffsets + 1 positions relative to the segment start: entry 0 is the
    // start of the first frame, entry i + 1 = entry i + size of frame i. Owned.
    QOV_INT64 *frameOffsets;
    QOV_INT32 NframeOffsets;  // number of frame sizes listed
    QOV_INT32 Nframes;        // frames in the segment
    CMetaData meta;
    struct juxSegmentInfoStr *next;
} JUXSEGMENTINFO;

// An explicit layout for writing, accepted by the layout operations in place of
// the current segment's metadata.
typedef struct juxSaveFormatStr {
    packingModeEnum pixelFormat;
    QOV_INT32 pixelFormatParam[4];  // group size per plane
    QOV_INT8 planeFormat[4];        // channels in each file plane
    QOV_INT32 lineAlign;            // line alignment in bytes (1 or less: none)
    CMetaData *pMD;                 // metadata to start from, or null
    CImageBase *pImData;            // image whose samples are written, or null for the JUX image itself
} JUXSAVEFORMAT;

// Save context returned by SaveFileStart, released by SaveFileEnd.
typedef struct juxSaveContextStr {
    FILE *f;
    QOV_INT64 soTableSave[4];  // -1: entry not known yet
    JUXSEGMENTINFO seg;        // the segment being written
    JUXSAVEFORMAT *pExtra;
    bool segmentStarted;
} JUXSAVECONTEXT;

class CImageJux : public CImageBase {
public:
    packingModeEnum pixelFormat;
    QOV_INT32 pixelFormatParam[4];
    JUXSEGMENTINFO *pSegInfo;  // owned list of segments
    JUXSEGMENTINFO *pCurrSeg;  // segment whose metadata was last applied

    CImageJux();
    ~CImageJux() override;

    void UnloadHeader() override;
    QOV_INT32 GetProperty(imagePropertiesEnum property) const override;
    QOV_INT32 GetNFrames() const override;
    const char *LoadFileHeader(const char *filename, void *pExtra) override;
    const char *LoadFileData(QOV_INT32 frameIndex) override;
    const char *SaveFileStart(const char *filename, void *pExtra, void **pSC) override;
    const char *SaveFileHeader(void *pSC) override;
    const char *SaveFileData(void *pSC) override;
    const char *SaveFileEnd(void *pSC) override;

    // Segments and frames.
    QOV_INT32 GetNSegments() const;
    QOV_INT32 GetNFrames(QOV_INT32 segmentIndex, QOV_INT32 *pFirstFrame) const;
    JUXSEGMENTINFO *GetSegment(QOV_INT32 index, bool isFrameIndex) const;
    QOV_INT32 GetSegmentIndex(QOV_INT32 frameIndex, QOV_INT32 *pFrameWithinSeg, JUXSEGMENTINFO **ppSeg) const;
    CMetaData *GetMetaForFrame(QOV_INT32 frameIndex) const;
    QOV_INT64 GetFrameFilePos(QOV_INT32 frameIndex, QOV_INT64 *pFrameSize) const;
    const char *ApplyMetaForFrame(QOV_INT32 frameIndex, bool force);
    const char *ApplyMetaData(JUXSEGMENTINFO *pSeg);
    static JUXSEGMENTINFO *NewSegment();
    void AddSegment(JUXSEGMENTINFO *pSeg);
    bool AddNewSegment(QOV_INT32 Nframes);
    void UpgradeMetaData(CMetaData *pMD) const;

    // Layout, from a save format or (null) the current segment's metadata.
    QOV_UINT32 GetNFilePlanes(const JUXSAVEFORMAT *pFormat = nullptr) const;
    QOV_INT32 GetNChannelsInPlane(QOV_INT32 plane, const JUXSAVEFORMAT *pFormat = nullptr) const;
    QOV_INT32 GetPlaneBaseChannel(QOV_INT32 plane, const JUXSAVEFORMAT *pFormat = nullptr) const;
    subsamplingModeEnum GetSubsampling(CMetaData *pMD = nullptr) const;
    static subsamplingModeEnum DetectJuxSubsampling(const CImageBase *pImData, const CMetaData *pMD);
    // Bytes per line of a plane and per frame; -1 when the size does not fit in 32 bits.
    QOV_INT32 GetLineSize(QOV_INT32 plane, const JUXSAVEFORMAT *pFormat = nullptr) const;
    QOV_INT32 GetFrameSize(const JUXSAVEFORMAT *pFormat = nullptr) const;

    // Writing.
    const char *StartSegment(void *pSC, bool inherit, bool force);
    const char *SaveJuxSegmentStart(JUXSAVECONTEXT *pCtx);
    const char *SaveJuxSegmentEnd(JUXSAVECONTEXT *pCtx);
    const char *SaveJuxMetaData(JUXSAVECONTEXT *pCtx);
    const char *SaveJuxFrameData(JUXSAVECONTEXT *pCtx);
    void RebuildBaseMetaData(const JUXSAVEFORMAT *pFormat, CMetaData *pMD);
    bool CheckValidMetaPlaneFormat(const JUXSAVEFORMAT *pFormat) const;
    static const char *GetSaveFormat(JUXSAVEFORMAT *pFmt, CImageBase *pIm);
    static const char *GetSaveFormat(JUXSAVEFORMAT *pFmt, CImageJux *pIm);
    // Defined with the raw YUV class, so that JUX files need nothing of it.
    static const char *GetSaveFormat(JUXSAVEFORMAT *pFmt, CImageYuv *pIm);

    using CImageBase::ConvertFrom;
    using CImageBase::SwapWith;
    QOV_INT32 ConvertFrom(CImageJux *pSrc, colorModelEnum newColorModel, subsamplingModeEnum newSubsMode,
                          bool onlyCheckIfAvail);
    void SwapWith(CImageJux *pOther);

private:
    // Frame size as a 64-bit count (-1 for an unusable layout).
    QOV_INT64 FrameSize64(const JUXSAVEFORMAT *pFormat) const;
    QOV_UINT8 *m_lineBuf;  // reused across lines, planes and frames; only grows
    size_t m_lineBufSize;

    struct Layout;
    bool layoutOf(const JUXSAVEFORMAT *pFormat, Layout *pLayout) const;
    const CImageBase *imageOf(const JUXSAVEFORMAT *pFormat) const;
    QOV_INT64 lineSize64(QOV_INT32 plane, const JUXSAVEFORMAT *pFormat) const;
    bool growLineBuffer(size_t size);
    static const char *LoadJuxSegmentHeader(FILE *f, JUXSEGMENTINFO *pSeg, QOV_INT64 fsize);
    static void FreeSegment(JUXSEGMENTINFO *pSeg);
};

#endif
