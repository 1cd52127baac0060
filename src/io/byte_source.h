#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace rowsmith {

// Where in buffer to put bytes that lie at offset in their file, for a read
// or write: at the same place in a 64-byte line, where the kernel copies
// them several times faster than across lines. buffer needs
// kCopyAlignment bytes to spare for it.
inline constexpr std::size_t kCopyAlignment = 64;
inline std::size_t CopyOrigin(std::uint64_t offset, const char* buffer) {
    return static_cast<std::size_t>((offset - reinterpret_cast<std::uintptr_t>(buffer)) % kCopyAlignment);
}

// Where a reader's bytes come from: a file, or a filter over another source
// that decompresses or decodes.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads up to size bytes into buffer and sets got to their number, 0 at
    // the end of the input. Returns 0, or the errno of a failure.
    virtual int Read(char* buffer, std::size_t size, std::size_t& got) = 0;
    // Bytes taken from the file itself so far, before any filter: progress.
    virtual std::uint64_t bytesFromFile() const = 0;
    // The reason for an error this source returned, in words.
    virtual std::string Describe(int error) const;
};

// Another source's bytes, the first few of which can be looked at before
// they are read.
class PeekingSource : public ByteSource {
public:
    static constexpr std::size_t kMostPeeked = 4;

    explicit PeekingSource(ByteSource& inner) : inner_(inner) {}
    // Reads until size bytes (at most kMostPeeked) are at hand, or the input
    // ends, or more could not change what they tell (more(start) is false).
    // 0 or the code of a failed read.
    int Peek(std::size_t size, bool (*more)(std::string_view start));
    // What Peek read, still to be handed out by Read.
    std::string_view start() const { return {start_, startSize_}; }

    int Read(char* buffer, std::size_t size, std::size_t& got) override;
    std::uint64_t bytesFromFile() const override { return inner_.bytesFromFile(); }
    std::string Describe(int error) const override { return inner_.Describe(error); }

private:
    ByteSource& inner_;
    char start_[kMostPeeked] = {};
    std::size_t startSize_ = 0;
    std::size_t given_ = 0;
};

// A file descriptor's bytes as they are. A descriptor that may keep a read
// waiting (a pipe, a FIFO, a terminal) is waited on with poll first, so
// that a stop request ends the wait (kStopped).
// A regular file is held to what was read of it: after every read, the
// last bytes of the read before are read again where they lay, so that a
// file cut short (kInputShrank), or cut and written anew (kInputChanged),
// while it is read fails the read instead of passing for one that ended.
class FdSource : public ByteSource {
public:
    explicit FdSource(int fd);
    int Read(char* buffer, std::size_t size, std::size_t& got) override;
    std::uint64_t bytesFromFile() const override { return consumed_; }

    // Whether the bytes read so far still stand in a regular file as they
    // were read (its first and last ones are looked at): 0, kInputShrank or
    // kInputChanged; 0 for what is not a regular file.
    int Verify() const;

    // Keeps a checksum of the bytes read, for a second reading to be held to.
    void KeepChecksum() { keepChecksum_ = true; }
    std::uint32_t checksum() const { return checksum_; }
    // Reads exactly bytes bytes, which must give checksum: what a first
    // reading of the same file, from the same place, read. The input ends
    // after them; a file that ends before them shrank, and one whose bytes
    // give another checksum changed.
    void HoldTo(std::uint64_t bytes, std::uint32_t checksum);

    static constexpr std::size_t kWitnessBytes = 32;

private:
    // The bytes that stood last before the read just made, read again.
    int CheckWitness() const;
    void Note(const char* bytes, std::size_t size);

    int fd_;
    bool mayWait_;
    bool regular_ = false;
    std::int64_t start_ = 0;  // where a regular file's reading began
    std::uint64_t consumed_ = 0;
    char first_[kWitnessBytes] = {};
    std::size_t firstSize_ = 0;
    char last_[kWitnessBytes] = {};  // the bytes read last, ending at consumed_
    std::size_t lastSize_ = 0;
    bool keepChecksum_ = false;
    bool held_ = false;
    std::uint64_t limit_ = 0;
    std::uint32_t checksum_ = 0;
    std::uint32_t expected_ = 0;
};

// Bytes held in memory, handed out as a file's would be: a sample of an
// input read again under other rules.
class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
    int Read(char* buffer, std::size_t size, std::size_t& got) override {
        got = bytes_.copy(buffer, size, at_);
        at_ += got;
        return 0;
    }
    std::uint64_t bytesFromFile() const override { return at_; }

private:
    std::string_view bytes_;
    std::size_t at_ = 0;
};

}  // namespace rowsmith
