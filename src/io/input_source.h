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
// (whatever its name), decoded into UTF-8 when an encoding is given or,
// without one, when the text starts with a UTF-16 or UTF-32 byte-order
// mark, and without a UTF-8 byte-order mark at the start.
class InputSource : public ByteSource {
public:
    explicit InputSource(ByteSource& file);
    ~InputSource() override;
    InputSource(const InputSource&) = delete;
    InputSource& operator=(const InputSource&) = delete;

    // Reads the first bytes to see what they are. Returns 0, the errno of a
    // failed read, or kUnknownEncoding when iconv does not know encoding.
    int Open(const std::string& encoding);
    // Bytes not valid in the encoding become U+FFFD (IconvSource); before Open.
    void SubstituteInvalid() { substitute_ = true; }
    // The character set the input is decoded from: the one given, the one
    // its byte-order mark says, or empty (bytes as they are).
    const std::string& encoding() const { return encoding_; }

    int Read(char* buffer, std::size_t size, std::size_t& got) override;
    std::uint64_t bytesFromFile() const override { return file_.bytesFromFile(); }
    std::string Describe(int error) const override { return top_->Describe(error); }

private:
    ByteSource& file_;
    PeekingSource peeked_;                    // the file, its first bytes looked at for gzip
    std::unique_ptr<PeekingSource> decoded_;  // its text, looked at for a byte-order mark
    std::unique_ptr<GzipSource> gzip_;
    std::unique_ptr<ReadAheadSource> ahead_;
    std::unique_ptr<IconvSource> iconv_;
    std::unique_ptr<Utf8MarkSkipper> markSkipper_;
    ByteSource* top_;
    std::string encoding_;
    bool substitute_ = false;
};

}  // namespace rowsmith
