// Shared between the JUX reader and writer.
#ifndef SIM_IMAGE_JUX_PRIVATE_H
#define SIM_IMAGE_JUX_PRIVATE_H

#include "sim_image/image_jux.h"

namespace jux {

// Messages of the JUX class.
extern const char *const kErrOpening;
extern const char *const kErrInvalidFile;
extern const char *const kErrNoMemory;
extern const char *const kErrTruncated;
extern const char *const kErrNotValid;
extern const char *const kErrExtraData;
extern const char *const kErrSegmentHeader;
extern const char *const kErrVersion;
extern const char *const kErrTableTooSmall;
extern const char *const kErrTableTooLarge;
extern const char *const kErrReadingHeader;
extern const char *const kErrTableFormat;
extern const char *const kErrMissingMeta;
extern const char *const kErrMissingPixels;
extern const char *const kErrMetaOffset;
extern const char *const kErrPixelOffset;
extern const char *const kErrMetaTooLarge;
extern const char *const kErrLoadingMeta;
extern const char *const kErrFrameSize;
extern const char *const kErrFrameNumber;
extern const char *const kErrColourFormat;
extern const char *const kErrGroupPacking;
extern const char *const kErrPixelFormat;
extern const char *const kErrImageSize;
extern const char *const kErrBitDepth;
extern const char *const kErrHeaderNotLoaded;
extern const char *const kErrColorModel;
extern const char *const kErrPlaneFormat;
extern const char *const kErrDataOffset;
extern const char *const kErrPlaneSubsampling;
extern const char *const kErrReadingFile;
extern const char *const kErrPackingMode;
extern const char *const kErrNoImageData;
extern const char *const kErrCreatingFile;
extern const char *const kErrWritingFile;
extern const char *const kErrMetaNotSaved;
extern const char *const kErrPixelsNotSaved;
extern const char *const kErrMetaItem;

// Largest WIDTH and HEIGHT a file may announce.
const QOV_INT32 kMaxDimension = 65536;

inline int containerBytes(QOV_UINT8 bitDepth)
{
    return bitDepth <= 8 ? 1 : (bitDepth <= 16 ? 2 : 4);
}

}  // namespace jux

// The checked plane layout of a frame.
struct CImageJux::Layout {
    const CImageBase *image;
    QOV_INT32 nPlanes;
    QOV_INT32 base[4];
    QOV_INT32 count[4];
    packingModeEnum packing;
    QOV_INT32 group[4];  // at least 1
    const char *error;   // null when the planes cover the channels exactly
};

#endif
