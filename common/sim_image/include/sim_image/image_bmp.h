// Windows bitmap files: uncompressed 1-, 4-, 8- and 24-bit bitmaps and RLE8/RLE4
// palette bitmaps load into three 8-bit planes (R, G, B); grey, RGB and RGBA
// images save as uncompressed 24-bit bitmaps, each plane scaled to 8 bits.
#ifndef SIM_IMAGE_IMAGE_BMP_H
#define SIM_IMAGE_IMAGE_BMP_H

#include <cstdio>

#include "sim_image/image.h"

#pragma pack(push, 1)
typedef struct bmpFileHeadStr {
    QOV_UINT16 wType;  // 0x4D42, "BM"
    QOV_UINT32 dwSize;
    QOV_UINT16 wRes1;
    QOV_UINT16 wRes2;
    QOV_UINT32 dwOffBits;  // pixel data offset from the file start
} bmpFileHead;

typedef struct bmpInfoHeadStr {
    QOV_UINT32 dwSize;  // 40 or more
    QOV_INT32 dwWidth;
    QOV_INT32 dwHeight;  // rows stored bottom-up
    QOV_UINT16 wPlanes;
    QOV_UINT16 wBitCount;
    QOV_UINT32 dwCompression;
    QOV_UINT32 dwSizeImage;
    QOV_INT32 dwXPelsPerMeter;
    QOV_INT32 dwYPelsPerMeter;
    QOV_UINT32 dwClrUsed;
    QOV_UINT32 dwClrImportant;
} bmpInfoHead;
#pragma pack(pop)

enum bmpCompressionEnum {
    COMPR_NONE = 0,
    COMPR_RLE8 = 1,
    COMPR_RLE4 = 2,
};

// An output byte is sample x mul + off, truncated toward zero, clamped to 0..255.
typedef struct bmpSaveFormatStr {
    double mul[3];  // red, green, blue
    QOV_INT32 off[3];
} BMPSAVEFORMAT;

typedef struct bmpSaveContextStr {
    FILE *f;
    BMPSAVEFORMAT *pExtra;
} BMPSAVECONTEXT;

class CImageBmp : public CImageBase {
public:
    QOV_UINT8 *pPalette;  // R, G, B triplets, owned; kept until the header is unloaded
    bmpFileHead fhdr;
    bmpInfoHead ihdr;

    CImageBmp();
    ~CImageBmp() override;

    void UnloadHeader() override;
    // pExtra is not used.
    const char *LoadFileHeader(const char *filename, void *pExtra) override;
    // A BMP file holds one frame: the index is not used.
    const char *LoadFileData(QOV_INT32 frameIndex) override;
    // pExtra: the BMPSAVEFORMAT, required; it must outlive the save.
    const char *SaveFileStart(const char *filename, void *pExtra, void **pSC) override;
    const char *SaveFileHeader(void *pSC) override;
    const char *SaveFileData(void *pSC) override;
    // Reports a write that failed when the file was flushed.
    const char *SaveFileEnd(void *pSC) override;

    // The planes feeding red, green and blue; false for a model without them.
    static bool GetChannelMapToRGB(colorModelEnum model, QOV_UINT8 *pMap3);
    static const char *GetSaveFormat(BMPSAVEFORMAT *pFmt, CImageBase *pIm);

private:
    const char *loadPaletteImage(FILE *f);
    const char *loadRle(FILE *f);
};

#endif
