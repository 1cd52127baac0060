#pragma once

// A database's text export, one record at a time: what PostgreSQL's COPY
// (and psql's \copy) writes in its text format, and MySQL's and MariaDB's
// SELECT ... INTO OUTFILE with their default field and line options.
// - a record is a line: it ends at LF (a CR is data, as MySQL writes one
//   as it is); an empty line is a record of one empty value; a line that
//   is \. alone ends the data;
// - the delimiter ends a field; nothing is quoted;
// - a backslash makes the byte after it data: \t \n \r \b \f \v \0 \Z
//   stand for tab, LF, CR, backspace, FF, VT, NUL and 0x1A, and any other
//   byte (the delimiter, a line break, a backslash) stands for itself;
// - a field that is \N alone is NULL.
// Only one record is held in memory, besides one block of input.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "io/byte_source.h"

namespace rowsmith {

class TextExportReader {
public:
    static constexpr std::size_t kBlockSize = std::size_t{1} << 20;
    // The NULL field, as a value: the only one whose quoted() is false.
    static constexpr std::string_view kNull = "\\N";

    TextExportReader(ByteSource& source, char delimiter, std::size_t blockSize = kBlockSize,
                     std::uint64_t firstLine = 1);

    // Sets values to the next record's values (views valid until the next
    // call; each followed by kLiteralPadding readable bytes) and line to the
    // line it starts on, and returns 0. Returns kEndOfInput at the end;
    // kLineTooLong or kTooManyFields as CsvReader does; or the code of a
    // failed read, on this and every later call.
    int Next(std::vector<std::string_view>& values, std::uint64_t& line);

    // For each value the last Next set: false for NULL (kNull), true for
    // every value that is text, which no NULL marker makes NULL.
    const std::vector<bool>& quoted() const { return quoted_; }

    std::uint64_t bytesConsumed() const { return source_.bytesFromFile(); }
    std::uint64_t reads() const { return reads_; }
    // From now on the bytes of each record are kept as they stand in the
    // input: recordBytes() gives those of the last one, without its LF.
    void KeepRecordBytes() { keepBytes_ = true; }
    std::string_view recordBytes() const;
    std::string Describe(int error) const;

private:
    // Reads the next block; false at the end of the input or on an error.
    bool Fill();
    // Reads the block from next_ into the record; true once it has ended.
    bool Scan();
    void EndField();
    // The byte an escaped byte stands for.
    static char Unescaped(char c);

    ByteSource& source_;
    const char delimiter_;
    const std::size_t capacity_;
    std::unique_ptr<char[]> buffer_;
    const char* next_ = nullptr;
    const char* end_ = nullptr;
    std::uint64_t reads_ = 0;
    bool inputEnded_ = false;
    bool dataEnded_ = false;  // a \. line was read
    int error_ = 0;

    std::uint64_t line_;        // the line being read
    std::uint64_t recordLine_;  // where the record being read began
    std::string record_;        // the values, one after another
    bool keepBytes_ = false;    // the record's own bytes are kept, in bytes_
    std::string bytes_;
    std::vector<std::size_t> ends_;
    std::vector<bool> quoted_;
    bool inRecord_ = false;       // a byte of the record has been read
    bool escaped_ = false;        // the byte before was a backslash that escapes
    std::size_t fieldBytes_ = 0;  // bytes of the field as written
    char mark_ = '\0';            // c when those are a backslash and c alone (\N, \.)
    char lastMark_ = '\0';        // that of the field ended last
};

}  // namespace rowsmith
