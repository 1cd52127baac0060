#pragma once

#include <memory>

namespace rowsmith {

struct SocketsVersion {
    int major;
    int minor;
    bool operator==(const SocketsVersion&) const = default;
};

// The network layer the program checks at start-up. Nothing in the program
// opens a socket; the check stays so that a broken layer is reported the
// same way everywhere.
class SocketsLayer {
public:
    virtual ~SocketsLayer() = default;
    // Starts the layer asking for requested; false when it cannot start.
    // answered is the version the layer offers.
    virtual bool Start(SocketsVersion requested, SocketsVersion& answered) = 0;
    virtual void Release() = 0;
};

// This platform's sockets need no start-up: the layer always answers with
// the version asked for.
std::unique_ptr<SocketsLayer> MakeDefaultSocketsLayer();

}  // namespace rowsmith
