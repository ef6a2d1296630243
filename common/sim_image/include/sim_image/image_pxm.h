// PGM and PPM files, text (P2, P3) and byte-coded (P5, P6). A PGM file may hold
// a Bayer mosaic, which a "CFA" comment or a load format splits into four
// channels on loading; the header's comment lines become metadata.
#ifndef SIM_IMAGE_IMAGE_PXM_H
#define SIM_IMAGE_IMAGE_PXM_H

#include <cstdio>

#include "sim_image/image.h"
#include "sim_image/metadata.h"

class CImageYuv;

enum pxmTypeEnum {
    PPTYPE_UNDEF = 0,
    PPTYPE_PPMB = 1,  // byte-coded PPM, "P6"
    PPTYPE_PPMT = 2,  // text PPM, "P3"
    PPTYPE_PGMB = 3,  // byte-coded PGM, "P5"
    PPTYPE_PGMT = 4,  // text PGM, "P2"
};

enum pxmLoadBitDepthEnum {
    LOADBD_SIGNED = 0,
    LOADBD_DOWNSIZE = 1,
};

typedef struct pxmLoadFormatStr {
    colorModelEnum forceColorModel;       // CM_UNDEF for none
    subsamplingModeEnum forceSubsampling;  // SUBS_UNDEF for none
    bool useBayerCells;                   // the file holds one mosaic sample per pixel
    pxmLoadBitDepthEnum loadBd;
} PXMLOADFORMAT;

typedef struct pxmSaveFormatStr {
    pxmTypeEnum fileFormat;
    bool useBayerCells;  // write a CM_RGGB image as one mosaic
} PXMSAVEFORMAT;

typedef struct pxmSaveContextStr {
    FILE *f;
    PXMSAVEFORMAT *pExtra;
    QOV_INT32 maxVal;  // largest sample value announced in the header
} PXMSAVECONTEXT;

class CImagePxm : public CImageBase {
public:
    QOV_INT32 foffsetData;  // file position of the first sample, -1 without header
    void *pExtra;           // the load format of the header load (this image's copy), or null
    QOV_INT8 pixelOnLoadResize;  // shift of every sample read: left when positive, right when negative
    pxmTypeEnum fileFormat;
    CMetaData meta;  // comments of the loaded header

    CImagePxm();
    ~CImagePxm() override;

    // Also empties the comments: they describe the header being unloaded.
    void UnloadHeader() override;
    // pExtra: a PXMLOADFORMAT or null; it is copied.
    const char *LoadFileHeader(const char *filename, void *pExtra) override;
    const char *LoadFileData(QOV_INT32 frameIndex) override;
    // pExtra: the PXMSAVEFORMAT, required; it must outlive the save.
    const char *SaveFileStart(const char *filename, void *pExtra, void **pSC) override;
    const char *SaveFileHeader(void *pSC) override;
    const char *SaveFileData(void *pSC) override;
    // Reports a write that failed when the file was flushed.
    const char *SaveFileEnd(void *pSC) override;

    // Reads the rest of a comment line (after its "#") and records it as metadata.
    void ParseComment(FILE *f, char **ppMetaItemBuf);

    static const char *GetSaveFormat(PXMSAVEFORMAT *pFmt, CImageBase *pIm);
    static const char *GetSaveFormat(PXMSAVEFORMAT *pFmt, CImageYuv *pIm);

private:
    PXMLOADFORMAT m_loadFormat;
    bool mosaicLayout() const;
    const char *saveLayoutError(const PXMSAVEFORMAT *fmt) const;
};

#endif
