// Output file of the saving code: a plain byte file or a JUX image writer, every
// open, write and close serialised by the file's own mutex; and the converters
// from the hardware's Bayer packings to the 2x2 cells the JUX writer takes.
#ifndef SIM_IMAGE_SAVEFILE_H
#define SIM_IMAGE_SAVEFILE_H

#include <pthread.h>
#include <cstdio>

#include "qov_types.h"
#include "sim_image/sim_image.h"

typedef struct SaveFile {
    FILE *saveTo;                // open plain file, or null
    sSimImageOut *pSimImage;     // open JUX writer, or null
    QOV_UINT32 ui32TimeWritten;  // frames written since the file was opened
    pthread_mutex_t fileLock;
    QOV_BOOL8 bInitiliasedLock;  // true while the mutex exists
} SaveFile;

QOV_BOOL8 SaveFile_useSaveLocks(void);
QOV_RESULT SaveFile_init(SaveFile *pFile);
QOV_RESULT SaveFile_open(SaveFile *pFile, const char *filename);
QOV_RESULT SaveFile_openJUX(SaveFile *pFile, const char *filename, const SimImageInfo *info);
// For a JUX file the buffer is one frame.
QOV_RESULT SaveFile_write(SaveFile *pFile, const void *ptr, size_t size);
// lines rows of size bytes starting stride bytes apart; for a JUX file one frame.
QOV_RESULT SaveFile_writeFrame(SaveFile *pFile, const void *ptr, size_t stride, size_t size, QOV_UINT32 lines);
QOV_RESULT SaveFile_close(SaveFile *pFile);
QOV_RESULT SaveFile_destroy(SaveFile *pFile);

// Bayer converters: imageSize is width then height of the mosaic, the height
// even. The output (allocated here, freed by the caller with free()) holds, for
// each pair of lines, the 2x2 cells left to right as top-left, top-right,
// bottom-left, bottom-right samples: bytes at depth 8, 16-bit words otherwise.
QOV_RESULT convertToPlanarBayer8(const QOV_UINT16 imageSize[2], const void *pInput, QOV_SIZE stride, void **pOutput,
                                 QOV_SIZE *pOutsize);
QOV_RESULT convertToPlanarBayer10(const QOV_UINT16 imageSize[2], const void *pInput, QOV_SIZE stride, void **pOutput,
                                  QOV_SIZE *pOutsize);
QOV_RESULT convertToPlanarBayer12(const QOV_UINT16 imageSize[2], const void *pInput, QOV_SIZE stride, void **pOutput,
                                  QOV_SIZE *pOutsize);
QOV_RESULT convertToPlanarBayerTiff10(const QOV_UINT16 imageSize[2], const void *pInput, QOV_SIZE stride,
                                      void **pOutput, QOV_SIZE *pOutsize);
QOV_RESULT convertToPlanarBayerTiff12(const QOV_UINT16 imageSize[2], const void *pInput, QOV_SIZE stride,
                                      void **pOutput, QOV_SIZE *pOutsize);
QOV_RESULT convertToPlanarBayer(const QOV_UINT16 imageSize[2], const void *pInput, QOV_SIZE stride,
                                QOV_UINT8 uiBayerDepth, void **pOutput, QOV_SIZE *pOutsize);
QOV_RESULT convertToPlanarBayerTiff(const QOV_UINT16 imageSize[2], const void *pInput, QOV_SIZE stride,
                                    QOV_UINT8 uiBayerDepth, void **pOutput, QOV_SIZE *pOutsize);

#endif
