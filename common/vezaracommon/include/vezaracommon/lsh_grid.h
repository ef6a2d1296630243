// Lens-shading grids: per Bayer channel a matrix of gains sampled on a
// regular grid of image points, with their binary file format, text and
// grey-image dumps and synthetic fills.
//
// Binary grid file (native little-endian):
//   "LSH\0", version (int32, 1), width, height, tile size (int32 each),
//   then channels 0 to 3, each width x height float32 values row by row.
#ifndef VEZARA_LSH_GRID_H
#define VEZARA_LSH_GRID_H

#include "qov_types.h"

typedef float LSH_FLOAT;

#define LSH_VERSION 1
#define LSH_NUM_CHANNELS 4

typedef struct
{
    QOV_UINT16 ui16TileSize;  // pixels between two grid points, a power of two
    QOV_UINT16 ui16Width;     // grid points across
    QOV_UINT16 ui16Height;    // grid points down
    // One matrix per channel of a 2x2 cell, row by row, owned by the grid and
    // released by LSH_Free. A grid whose first pointer is set is allocated.
    LSH_FLOAT *apMatrix[LSH_NUM_CHANNELS];
} LSH_GRID;

// Sets the sizes and allocates four zero-filled matrices.
QOV_RESULT LSH_AllocateMatrix(LSH_GRID *pLSH, QOV_UINT16 uiGridWidth, QOV_UINT16 ui16GridHeight,
                              QOV_UINT16 ui16TileSize);

// Allocates a grid that covers an image of the given size.
QOV_RESULT LSH_CreateMatrix(LSH_GRID *pLSH, QOV_UINT16 ui16Width, QOV_UINT16 ui16Height,
                            QOV_UINT16 ui16TileSize);

// Fills channel c by bilinear interpolation of the corners top-left,
// top-right, bottom-left, bottom-right (aCorners[0..3]).
QOV_RESULT LSH_FillLinear(LSH_GRID *pLSH, QOV_UINT8 c, const float *aCorners);

// Fills channel c with a bowl through the four corners (aCorners[0..3]) and
// the centre value aCorners[4].
QOV_RESULT LSH_FillBowl(LSH_GRID *pLSH, QOV_UINT8 c, const float *aCorners);

// Frees the four matrices and clears their pointers; the sizes stay.
void LSH_Free(LSH_GRID *pLSH);

QOV_RESULT LSH_Save_bin(const LSH_GRID *pLSH, const char *filename);

// Reads a binary grid into a grid without matrices. A grid that already
// holds matrices is refused (QOV_ERROR_ALREADY_EXISTS) and keeps them; on
// any other failure the grid holds no matrix.
QOV_RESULT LSH_Load_bin(LSH_GRID *pLSH, const char *filename);

QOV_RESULT LSH_Save_txt(const LSH_GRID *pLSH, const char *filename);

QOV_RESULT LSH_Save_pgm(const LSH_GRID *pLSH, const char *filename);

#endif
