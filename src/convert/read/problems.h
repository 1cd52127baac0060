#pragma once

#include <cstdint>
#include <string>

namespace rowsmith {

// Hears each problem a check of the input finds (--check): the line it is
// on and what is wrong, in words. A run told of one goes on to the next
// record wherever the input allows.
class ProblemObserver {
public:
    virtual ~ProblemObserver() = default;
    virtual void Problem(std::uint64_t line, const std::string& reason) = 0;
};

}  // namespace rowsmith
