#include "io/byte_source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <unistd.h>
#include <zlib.h>

#include "io/file_system.h"
#include "io/status.h"
#include "io/stop_request.h"
#include "io/write_all.h"

namespace rowsmith {

namespace {

std::uint32_t Checksum(std::uint32_t crc, const char* bytes, std::size_t size) {
    return static_cast<std::uint32_t>(
        ::crc32_z(crc, reinterpret_cast<const Bytef*>(bytes), static_cast<z_size_t>(size)));
}

}  // namespace

std::string ByteSource::Describe(int error) const {
    return StatusText(error);
}

int PeekingSource::Peek(std::size_t size, bool (*more)(std::string_view start)) {
    size = std::min(size, kMostPeeked);
    while (startSize_ < size && more(start())) {
        std::size_t n = 0;
        if (const int error = inner_.Read(start_ + startSize_, size - startSize_, n)) return error;
        if (n == 0) break;
        startSize_ += n;
    }
    return 0;
}

int PeekingSource::Read(char* buffer, std::size_t size, std::size_t& got) {
    if (given_ < startSize_) {
        got = std::min(size, startSize_ - given_);
        std::memcpy(buffer, start_ + given_, got);
        given_ += got;
        return 0;
    }
    return inner_.Read(buffer, size, got);
}

FdSource::FdSource(int fd) : fd_(fd) {
    FileInfo info;
    const bool known = Inspect(fd, info) == 0;
    // Only a pipe, a terminal or a socket may have nothing to read yet.
    mayWait_ = !known || !info.regular;
    std::uint64_t at = 0;
    if (known && info.regular && PlaceOf(fd, at) == 0) {
        regular_ = true;
        start_ = static_cast<std::int64_t>(at);
    }
}

void FdSource::HoldTo(std::uint64_t bytes, std::uint32_t checksum) {
    held_ = true;
    limit_ = bytes;
    expected_ = checksum;
    // The few bytes read already (to see whether the file is gzip, say)
    // count too: their checksum from the file again.
    checksum_ = 0;
    std::string before(static_cast<std::size_t>(consumed_), '\0');
    std::size_t got = 0;
    if (regular_ && ReadAt(fd_, before.data(), before.size(), static_cast<std::uint64_t>(start_), got) == 0 &&
        got == before.size()) {
        checksum_ = Checksum(0, before.data(), before.size());
    }
}

int FdSource::CheckWitness() const {
    if (!regular_ || lastSize_ == 0) return 0;
    char again[kWitnessBytes];
    const auto at = static_cast<std::uint64_t>(start_) + consumed_ - lastSize_;
    std::size_t n = 0;
    if (const int error = ReadAt(fd_, again, lastSize_, at, n)) return error;
    if (n < lastSize_) return kInputShrank;
    return std::memcmp(again, last_, lastSize_) == 0 ? 0 : kInputChanged;
}

int FdSource::Verify() const {
    if (const int error = CheckWitness()) return error;
    if (!regular_ || firstSize_ == 0) return 0;
    char again[kWitnessBytes];
    std::size_t n = 0;
    if (const int error = ReadAt(fd_, again, firstSize_, static_cast<std::uint64_t>(start_), n)) return error;
    if (n < firstSize_) return kInputShrank;
    return std::memcmp(again, first_, firstSize_) == 0 ? 0 : kInputChanged;
}

void FdSource::Note(const char* bytes, std::size_t size) {
    if (keepChecksum_ || held_) checksum_ = Checksum(checksum_, bytes, size);
    if (firstSize_ < kWitnessBytes) {
        const std::size_t n = std::min(size, kWitnessBytes - firstSize_);
        std::memcpy(first_ + firstSize_, bytes, n);
        firstSize_ += n;
    }
    // The last bytes read: those of this read, after those before it.
    if (size >= kWitnessBytes) {
        std::memcpy(last_, bytes + size - kWitnessBytes, kWitnessBytes);
        lastSize_ = kWitnessBytes;
    } else {
        const std::size_t keep = std::min(lastSize_, kWitnessBytes - size);
        std::memmove(last_, last_ + lastSize_ - keep, keep);
        std::memcpy(last_ + keep, bytes, size);
        lastSize_ = keep + size;
    }
    consumed_ += size;
}

int FdSource::Read(char* buffer, std::size_t size, std::size_t& got) {
    got = 0;
    if (held_) {
        size = static_cast<std::size_t>(std::min<std::uint64_t>(size, limit_ - consumed_));
        if (size == 0) return checksum_ == expected_ ? 0 : kInputChanged;
    }
    for (;;) {
        if (mayWait_) {
            if (const int error = WaitFor(fd_, Waiting::ToRead)) return error;
        }
        const ssize_t n = ::read(fd_, buffer, OneCall(size));
        if (n >= 0) {
            // What was read before is still there: the file was not cut
            // short, or cut and written again, meanwhile.
            if (const int error = CheckWitness()) return error;
            if (n == 0 && held_) return kInputShrank;  // before the bytes the first reading had
            got = static_cast<std::size_t>(n);
            Note(buffer, got);
            return 0;
        }
        // Nothing after all (non-blocking), or a signal: wait again, unless
        // the signal asked to stop.
        if (errno == EINTR && StopSignal() != 0) return kStopped;
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return errno;
        mayWait_ = true;
    }
}

}  // namespace rowsmith
