#pragma once

// The part of iconv(3) the program uses, on Windows, which has no iconv:
// decoding into UTF-8 or UTF-32LE, byte for byte as glibc's iconv decodes
// (io/charset_tables.h; platform_windows.cpp passes the calls on).

#include <cstddef>

using iconv_t = void*;

iconv_t iconv_open(const char* to, const char* from);
std::size_t iconv(iconv_t descriptor, char** in, std::size_t* inLeft, char** out, std::size_t* outLeft);
int iconv_close(iconv_t descriptor);
