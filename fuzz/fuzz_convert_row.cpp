// The conversion property (tests/conversion_property.h) under the line
// rules, on whatever the fuzzer finds: the first byte picks the dialect, the
// NULL choice and the delimiter, the next two the statement options and the
// size of the pieces, and the rest is the input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "conversion_property.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    if (!bytes.empty()) bytes[0] = static_cast<char>(bytes[0] & ~32);  // the line rules
    const std::string failure = rowsmith::test::CheckConversion(rowsmith::test::FuzzCase(bytes));
    if (!failure.empty()) {
        std::fprintf(stderr, "%s\n", failure.c_str());
        std::abort();
    }
    return 0;
}
