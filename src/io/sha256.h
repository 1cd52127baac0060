#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace rowsmith {

// The SHA-256 of bytes given in pieces, as lowercase hex.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Add(const char* data, std::size_t size);
    // The digest of everything added; the hash then starts again.
    std::string Hex();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace rowsmith
