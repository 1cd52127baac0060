#pragma once

// Character sets decoded exactly as glibc's iconv decodes them, from tables
// read off it when the program is built (tools/charset_tables.cpp): the
// Windows build's iconv (io/windows/iconv.h), which Windows lacks. The
// calls are iconv's: a decoder into "UTF-8" or "UTF-32LE" (null, with
// errno EINVAL, for a set it does not know); decoding sets errno EILSEQ at
// a sequence the set does not have, EINVAL at one the input's end cuts off,
// E2BIG when the output is full, and returns (size_t)-1 then.

#include <cstddef>
#include <string>
#include <vector>

namespace rowsmith {

void* OpenTableDecoder(const char* to, const char* from);
// Null in: back to the first state.
std::size_t TableDecode(void* decoder, char** in, std::size_t* inLeft, char** out, std::size_t* outLeft);
void CloseTableDecoder(void* decoder);
// Every name a decoder is opened with: each set's own, then its others.
std::vector<std::string> TableCharsetNames();

}  // namespace rowsmith
