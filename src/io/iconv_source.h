#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "io/byte_source.h"

namespace rowsmith {

// Decodes text in a character set iconv knows into UTF-8. A byte sequence
// that is not valid in that set is kInvalidText, described with its line.
// A set of one byte a character (Latin-1, Windows-125x, ISO-8859-x, ...) is
// decoded through a table built from iconv when the source opens, several
// times faster than iconv; iconv decodes the rest.
class IconvSource : public ByteSource {
public:
    static constexpr std::size_t kBlockSize = std::size_t{1} << 18;

    // Opens the decoder; 0, or kUnknownEncoding when iconv does not know it.
    static int Open(ByteSource& encoded, const std::string& encoding, std::unique_ptr<IconvSource>& source);
    ~IconvSource() override;
    IconvSource(const IconvSource&) = delete;
    IconvSource& operator=(const IconvSource&) = delete;

    int Read(char* buffer, std::size_t size, std::size_t& got) override;
    std::uint64_t bytesFromFile() const override { return encoded_.bytesFromFile(); }
    std::string Describe(int error) const override;

    // Whether the set is decoded through a table of its bytes.
    bool decodesByTable() const { return table_ != nullptr; }
    // A byte not valid in the set becomes U+FFFD instead of an error, for a
    // check that goes on past it and says where each was.
    void SubstituteInvalid() { substitute_ = true; }
    static constexpr std::string_view kSubstitute = "\xEF\xBF\xBD";

private:
    IconvSource(ByteSource& encoded, std::string encoding, void* descriptor);
    // Reads more input after what is left undecoded; 0 or a failure's code.
    int Refill();
    // Decodes what there is into buffer; 0 or a failure's code.
    int Decode(char* buffer, std::size_t size, std::size_t& got);
    int DecodeByTable(char* buffer, std::size_t size, std::size_t& got);
    // At the end: what iconv still holds; 0 or a failure's code.
    int Flush(char* buffer, std::size_t size, std::size_t& got);

    struct Table;  // what each byte of a set of one byte a character becomes

    ByteSource& encoded_;
    std::string encoding_;
    void* descriptor_;              // iconv_t
    std::unique_ptr<Table> table_;  // null: the set is not one of one byte a character
    std::unique_ptr<char[]> input_;
    std::size_t start_ = 0;  // bytes of input_ not yet decoded: [start_, end_)
    std::size_t end_ = 0;
    bool inputEnded_ = false;
    bool flushed_ = false;
    std::uint64_t fromSource_ = 0;  // bytes read from the source
    std::uint64_t lines_ = 1;       // the line being decoded
    char pending_[8] = {};          // decoded for a caller with less room than a character
    std::size_t pendingSize_ = 0;
    std::size_t pendingGiven_ = 0;
    bool substitute_ = false;
};

// True when iconv can decode encoding into UTF-8.
bool EncodingKnown(const std::string& encoding);
// What is said of a character set iconv does not know.
std::string UnknownEncodingText(const std::string& encoding);

}  // namespace rowsmith
