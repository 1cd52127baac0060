#include "convert/read/text_export_reader.h"

#include "convert/read/csv_reader.h"
#include "convert/sql/sql_dialect.h"
#include "io/status.h"
#include "io/text_mode_reader.h"

namespace rowsmith {

TextExportReader::TextExportReader(ByteSource& source, char delimiter, std::size_t blockSize, std::uint64_t firstLine)
    : source_(source),
      delimiter_(delimiter),
      capacity_(blockSize < 16 ? 16 : blockSize),
      buffer_(new char[capacity_]),
      line_(firstLine),
      recordLine_(firstLine) {}

bool TextExportReader::Fill() {
    if (inputEnded_ || error_ != 0) return false;
    std::size_t got = 0;
    error_ = source_.Read(buffer_.get(), capacity_, got);
    if (error_ != 0 || got == 0) {
        inputEnded_ = true;
        return false;
    }
    ++reads_;
    next_ = buffer_.get();
    end_ = next_ + got;
    return true;
}

char TextExportReader::Unescaped(char c) {
    switch (c) {
        case 't':
            return '\t';
        case 'n':
            return '\n';
        case 'r':
            return '\r';
        case 'b':
            return '\b';
        case 'f':
            return '\f';
        case 'v':
            return '\v';
        case '0':
            return '\0';
        case 'Z':
            return '\x1A';
        default:
            return c;
    }
}

void TextExportReader::EndField() {
    // \N alone is NULL: the value is the marker, and not text.
    const bool null = mark_ == 'N';
    if (null) record_.replace(record_.size() - 1, 1, kNull);
    ends_.push_back(record_.size());
    quoted_.push_back(!null);
    lastMark_ = mark_;
    fieldBytes_ = 0;
    mark_ = '\0';
}

bool TextExportReader::Scan() {
    const char* p = next_;
    while (p < end_) {
        const char c = *p++;
        inRecord_ = true;
        ++fieldBytes_;
        if (escaped_) {
            escaped_ = false;
            mark_ = fieldBytes_ == 2 ? c : '\0';
            if (c == '\n') ++line_;  // a line break made data
            record_ += Unescaped(c);
            continue;
        }
        if (c == '\\') {
            escaped_ = true;
            mark_ = '\0';
        } else if (c == delimiter_) {
            EndField();
        } else if (c == '\n') {
            EndField();
            ++line_;
            next_ = p;
            return true;
        } else {
            mark_ = '\0';
            // The bytes up to the next one that means something, at once.
            const char* run = p;
            while (run < end_ && *run != '\\' && *run != delimiter_ && *run != '\n') ++run;
            record_ += c;
            record_.append(p, run);
            fieldBytes_ += static_cast<std::size_t>(run - p);
            p = run;
        }
        if (ends_.size() > CsvReader::kMaxFields) break;
    }
    next_ = p;
    return false;
}

int TextExportReader::Next(std::vector<std::string_view>& values, std::uint64_t& line) {
    values.clear();
    if (error_ != 0) return error_;
    if (dataEnded_) return kEndOfInput;
    record_.clear();
    bytes_.clear();
    ends_.clear();
    quoted_.clear();
    inRecord_ = false;
    recordLine_ = line_;
    line = recordLine_;
    bool ended = false;
    while (!ended) {
        if (next_ == end_ && !Fill()) break;
        const char* from = next_;
        ended = Scan();
        if (keepBytes_) bytes_.append(from, static_cast<std::size_t>(next_ - from));
        if (ends_.size() > CsvReader::kMaxFields) return error_ = kTooManyFields;
        if (record_.size() + ends_.size() > TextModeReader::kMaxLineSize) return error_ = kLineTooLong;
    }
    if (error_ != 0) return error_;
    if (!ended) {
        if (!inRecord_) return kEndOfInput;
        if (escaped_) {  // a backslash with nothing after it is data
            escaped_ = false;
            record_ += '\\';
        }
        EndField();
    }
    // A line of \. alone ends the data, as COPY's text format says.
    if (ends_.size() == 1 && lastMark_ == '.') {
        dataEnded_ = true;
        return kEndOfInput;
    }
    record_.append(kLiteralPadding, '\0');
    std::size_t start = 0;
    for (const std::size_t end : ends_) {
        values.emplace_back(record_.data() + start, end - start);
        start = end;
    }
    return 0;
}

std::string_view TextExportReader::recordBytes() const {
    std::string_view bytes = bytes_;
    if (!bytes.empty() && bytes.back() == '\n') bytes.remove_suffix(1);
    return bytes;
}

std::string TextExportReader::Describe(int error) const {
    if (error == kLineTooLong) {
        return "the record that starts on line " + std::to_string(recordLine_) + " is longer than " +
               std::to_string(TextModeReader::kMaxLineSize >> 20) + " MiB, the longest Rowsmith reads";
    }
    if (error == kTooManyFields) {
        return "the record that starts on line " + std::to_string(recordLine_) + " has more than " +
               std::to_string(CsvReader::kMaxFields) + " fields, the most Rowsmith reads";
    }
    return source_.Describe(error);
}

}  // namespace rowsmith
