#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace rowsmith {

// Hears each problem a check of the input finds (--check): the line it is
// on and what is wrong, in words. A run told of one goes on to the next
// record wherever the input allows.
class ProblemObserver {
public:
    virtual ~ProblemObserver() = default;
    virtual void Problem(std::uint64_t line, const std::string& reason) = 0;
};

// Under the line rules, a line whose last field opens a quote and never
// closes it.
inline constexpr std::string_view kOpenAtLineEnd =
    "a quoted field is still open at the end of the line, which loses its last byte (--rfc4180 reads quotes "
    "across lines)";

}  // namespace rowsmith
