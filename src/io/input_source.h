#pragma once

#include <memory>
#include <string>

#include "io/byte_order_mark.h"
#include "io/byte_source.h"

namespace rowsmith {

class GzipSource;
class IconvSource;
class ReadAheadSource;

// The bytes of a run's input: decompressed when the file starts like gzip
// (whatever its name), decoded into UTF-8 when an encoding is given, and
// without a UTF-8 byte-order mark at the start.
class InputSource : public ByteSource {
public:
    explicit InputSource(ByteSource& file);
    ~InputSource() override;
    InputSource(const InputSource&) = delete;
    InputSource& operator=(const InputSource&) = delete;

    // Reads the first bytes to see what they are. Returns 0, the errno of a
    // failed read, or kUnknownEncoding when iconv does not know encoding.
    int Open(const std::string& encoding);

    int Read(char* buffer, std::size_t size, std::size_t& got) override;
    std::uint64_t bytesFromFile() const override { return file_.bytesFromFile(); }
    std::string Describe(int error) const override { return top_->Describe(error); }

private:
    // The file, with the bytes Open looked at given back first.
    class Peeked : public ByteSource {
    public:
        explicit Peeked(ByteSource& file) : file_(file) {}
        int Read(char* buffer, std::size_t size, std::size_t& got) override;
        std::uint64_t bytesFromFile() const override { return file_.bytesFromFile(); }
        char start[2] = {};
        std::size_t startSize = 0;

    private:
        ByteSource& file_;
        std::size_t given_ = 0;
    };

    ByteSource& file_;
    Peeked peeked_;
    std::unique_ptr<GzipSource> gzip_;
    std::unique_ptr<ReadAheadSource> ahead_;
    std::unique_ptr<IconvSource> iconv_;
    std::unique_ptr<Utf8MarkSkipper> markSkipper_;
    ByteSource* top_;
};

}  // namespace rowsmith
