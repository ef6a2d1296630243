// Defective-pixel map files: a sequence of 32-bit little-endian words, one
// per defective pixel, no header; x in bits 0-12, y in bits 16-28, every
// other bit zero. A trailing piece shorter than a word is ignored.
#ifndef VEZARA_DPF_MAP_H
#define VEZARA_DPF_MAP_H

#include "qov_types.h"

#define DPF_COORD_MASK 0x1fff1fffu
#define DPF_CORRUPT_MASK 0xe000e000u

// Reads a map into a newly allocated array of (x, y) pairs in file order,
// stored in *ppDefect (which must be null on entry; the caller frees it with
// free) with its count in *pNDefects. On failure neither is changed.
QOV_RESULT DPF_Load_bin(QOV_UINT16 **ppDefect, QOV_UINT32 *pNDefects, const char *pszFilename);

#endif
