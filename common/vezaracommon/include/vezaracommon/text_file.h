// Configuration text files (setup files, option files, the board
// configuration): read whole into memory within two bounds far above any
// real file, so that a device such as /dev/zero or a runaway file is refused
// with a message instead of being read without end. A leading UTF-8
// byte-order mark, which some editors add unseen, is dropped.
#ifndef VEZARA_TEXT_FILE_H
#define VEZARA_TEXT_FILE_H

#include <cstdio>
#include <string>

#include "qov_types.h"

// Largest file accepted, in bytes (the mark included).
#define TEXTFILE_MAX_BYTES (4u * 1024u * 1024u)
// Longest line accepted, in bytes, its line end not counted.
#define TEXTFILE_MAX_LINE (64u * 1024u)

// Reads the rest of the open file pFile into text. pszName names the file
// in the problem text. On a failure text is empty and problem holds one line
// (ending with a line feed) naming the file: QOV_ERROR_FAILURE for a read
// error, QOV_ERROR_NOT_SUPPORTED for a file or a line beyond its bound.
QOV_RESULT TEXTFILE_Read(FILE *pFile, const char *pszName, std::string &text, std::string &problem);

#endif
