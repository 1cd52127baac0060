#pragma once

// The part of iconv(3) the program uses, on Windows, which has no iconv:
// decoding the character sets charset_windows.cpp knows into UTF-8 or
// UTF-32LE, byte for byte as glibc's iconv decodes them (its tables are
// read off glibc's iconv when the program is built). Errors as iconv's:
// EILSEQ at a sequence the set does not have, EINVAL at one cut off by the
// input's end, E2BIG when the output is full.

#include <cstddef>

using iconv_t = void*;

iconv_t iconv_open(const char* to, const char* from);
std::size_t iconv(iconv_t descriptor, char** in, std::size_t* inLeft, char** out, std::size_t* outLeft);
int iconv_close(iconv_t descriptor);
