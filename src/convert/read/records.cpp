#include "convert/read/records.h"

#include <algorithm>

#include "io/iconv_source.h"

#include "io/status.h"
#include "io/text_mode.h"

namespace rowsmith {

namespace {

// "line 7 has 2 values, and --columns takes column 5"
std::string MissingColumnText(std::uint64_t line, std::size_t values, std::size_t column) {
    return "line " + std::to_string(line) + " has " + std::to_string(values) + (values == 1 ? " value" : " values") +
           ", and --columns takes column " + std::to_string(column + 1);
}

// The reasons ReadsValues gives but the columns chosen.
bool ReadsValuesOfAll(const ConversionOptions& options) {
    return (options.copy && options.delimiter == '\t') ||
           (options.onConflict != OnConflict::None && RowsPerStatement(options) > 1) || options.decimalComma;
}

// Records handed out whole are read as the scanner reads them: with the
// line rules, or standard CSV's with its double quote and nothing else.
bool ScannerReads(const ConversionOptions& options) {
    return !options.textExport && options.quote == '"' && options.escape == '\0' && !options.skipSpaces;
}

}  // namespace

bool ReadsValues(const ConversionOptions& options) {
    return !options.columns.empty() || ReadsValuesOfAll(options);
}

Records::Records(ByteSource& source, const ConversionOptions& options, std::size_t blockSize, bool everyValue)
    : source_(source),
      options_(options),
      rules_(options.textExport ? Rules::TextExport
             : options.rfc4180  ? Rules::Standard
                                : Rules::Lines),
      everyValue_(everyValue),
      asValues_(everyValue || ReadsValues(options) || !ScannerReads(options)),
      number_(options.skipLines) {
    ByteSource* from = &source;
    if (options.skipLines > 0) from = &skipped_.emplace(source, options.skipLines, rules_ == Rules::Standard);
    const std::uint64_t firstLine = std::uint64_t{options.skipLines} + 1;
    switch (rules_) {
        case Rules::Standard:
            csv_.emplace(*from, CsvRules{options.delimiter, options.quote, options.escape, options.skipSpaces},
                         blockSize, firstLine);
            break;
        case Rules::TextExport:
            export_.emplace(*from, options.delimiter, blockSize, firstLine);
            break;
        case Rules::Lines:
            lines_.emplace(*from, blockSize);
            break;
    }
}

void Records::Choose(const std::vector<ChosenColumn>& columns) {
    chosen_.emplace(columns);
    scannable_.clear();
    // Records whose chosen fields keep their order, one a statement, the
    // scanner can write itself, leaving the others out.
    if (rules_ == Rules::TextExport || everyValue_ || ReadsValuesOfAll(options_) || !ScannerReads(options_) ||
        RowsPerStatement(options_) > 1)
        return;
    for (const ChosenColumn& column : columns) {
        if (!scannable_.empty() && column.index <= scannable_.back()) {
            scannable_.clear();
            return;
        }
        scannable_.push_back(column.index);
    }
}

bool Records::CutsAtLineEnds() const {
    return rules_ == Rules::Lines || (rules_ == Rules::Standard && options_.escape == '\0');
}

std::string_view Records::Unread(bool& more, bool& skipLf) const {
    skipLf = false;
    if (rules_ == Rules::Standard) return csv_->Unread(more, skipLf);
    if (rules_ == Rules::Lines) return lines_->Unread(more);
    more = false;
    return {};
}

void Records::Restart(std::uint64_t firstLine) {
    if (csv_) csv_->Restart(firstLine);
    if (lines_) lines_->Restart();
    number_ = firstLine - 1;
    past_ = whole_ = valuesRead_ = false;
}

void Records::ReadAs(const Records& other) {
    chosen_ = other.chosen_;
    scannable_ = other.scannable_;
    asValues_ = other.asValues_;
}

void Records::ScanChosen() {
    if (!scannable_.empty()) asValues_ = false;
}

void Records::Check(ProblemObserver* problems, bool utf8) {
    problems_ = problems;
    utf8_ = utf8;
}

int Records::Next() {
    valuesRead_ = false;
    if (past_) return kEndOfInput;
    int status = 0;
    switch (rules_) {
        case Rules::Standard:
            record_ = {};
            status = asValues_ ? csv_->Next(values_, number_) : csv_->Next(values_, record_, number_);
            whole_ = record_.data() != nullptr;
            break;
        case Rules::TextExport:
            status = export_->Next(values_, number_);
            whole_ = false;
            break;
        case Rules::Lines:
            status = lines_->NextLine(line_);
            if (status == 0) ++number_;
            whole_ = !asValues_;
            break;
    }
    if (status == 0 && PastLastLine()) return kEndOfInput;
    // A line handed out whole, the scanner looks at for an open quote itself.
    if (status == 0 && problems_ != nullptr) Inspect(whole_);
    return status;
}

bool Records::PastLastLine() {
    past_ = options_.lastLine != 0 && number_ > options_.lastLine;
    return past_;
}

int Records::NextValues(std::vector<std::string>& values) {
    valuesRead_ = false;
    if (past_) return kEndOfInput;
    int status = 0;
    switch (rules_) {
        case Rules::Standard:
            status = csv_->Next(values_, number_);
            break;
        case Rules::TextExport:
            status = export_->Next(values_, number_);
            break;
        case Rules::Lines:
            status = lines_->NextLine(line_);
            if (status != 0) return status;
            ++number_;
            if (PastLastLine()) return kEndOfInput;
            if (problems_ != nullptr) Inspect(false);
            values = SplitRow(line_, options_.delimiter);
            return 0;
    }
    if (status == 0 && PastLastLine()) return kEndOfInput;
    if (status == 0) values.assign(values_.begin(), values_.end());
    return status;
}

int Records::NextHeader(std::vector<std::string>& names) {
    int status = NextValues(names);
    if (status != 0 || options_.headerLines <= 1) return status;
    std::vector<std::vector<std::string>> lines{names};
    for (std::uint32_t i = 1; i < options_.headerLines; ++i) {
        std::vector<std::string> more;
        status = NextValues(more);
        if (status == kEndOfInput) break;
        if (status != 0) return status;
        lines.push_back(std::move(more));
    }
    names = JoinedHeader(lines);
    return 0;
}

namespace {

// Adds the names of one line of a header to names; named: the columns a
// line above names itself, where a title carried from the left ends.
void JoinLine(const std::vector<std::string>& line, bool last, const std::vector<bool>& named,
              std::vector<std::string>& names) {
    std::string_view carried;  // a title spanning the columns to its right
    for (std::size_t column = 0; column < names.size(); ++column) {
        std::string_view name = column < line.size() ? TrimSpace(line[column]) : std::string_view();
        if (named[column]) carried = {};
        if (!last) {
            if (name.empty()) name = carried;
            carried = name;
        }
        if (!name.empty()) names[column].append(names[column].empty() ? "" : " ").append(name);
    }
}

}  // namespace

std::vector<std::string> JoinedHeader(const std::vector<std::vector<std::string>>& lines) {
    std::size_t columns = 0;
    for (const std::vector<std::string>& line : lines) columns = std::max(columns, line.size());
    std::vector<std::string> names(columns);
    std::vector<bool> named(columns, false);
    for (std::size_t at = 0; at < lines.size(); ++at) {
        JoinLine(lines[at], at + 1 == lines.size(), named, names);
        for (std::size_t column = 0; column < lines[at].size(); ++column)
            named[column] = named[column] || !TrimSpace(lines[at][column]).empty();
    }
    return names;
}

bool Records::SplitWhole() {
    values_.clear();
    quoted_.clear();
    const auto keep = [this](std::string_view value, bool quoted) {
        values_.push_back(value);
        quoted_.push_back(quoted);
        return values_.size() <= CsvReader::kMaxFields;
    };
    // A regular record's values each lie in it (no bytes follow a closing
    // quote), so their views outlive the call.
    if (rules_ == Rules::Standard) {
        CsvReader::ForEachRegularValue(record_, options_.delimiter, keep);
    } else {
        rowsmith::ForEachValue(line_, options_.delimiter, keep);
    }
    return values_.size() <= CsvReader::kMaxFields;
}

int Records::ReadValues() {
    if (valuesRead_) return valuesStatus_;
    valuesRead_ = true;
    valuesStatus_ = 0;
    // Lines and records handed out whole are split here; the others' values
    // were read with them.
    if ((rules_ == Rules::Lines || whole_) && !SplitWhole()) {
        valuesStatus_ = kTooManyFields;
    } else if (chosen_ && !chosen_->Take(values_, ReaderQuoted())) {
        valuesStatus_ = kMissingColumn;
    }
    return valuesStatus_;
}

const std::vector<bool>& Records::ReaderQuoted() const {
    switch (rules_) {
        case Rules::Standard:
            return whole_ ? quoted_ : csv_->quoted();
        case Rules::TextExport:
            return export_->quoted();
        case Rules::Lines:
            break;
    }
    return quoted_;
}

const std::vector<bool>& Records::quoted() const {
    if (chosen_) return chosen_->quoted();
    return ReaderQuoted();
}

void Records::KeepOriginals() {
    if (csv_) csv_->KeepRecordBytes();
    if (export_) export_->KeepRecordBytes();
}

std::string_view Records::original() const {
    switch (rules_) {
        case Rules::Standard:
            return whole_ ? record_ : csv_->recordBytes();
        case Rules::TextExport:
            return export_->recordBytes();
        case Rules::Lines:
            break;
    }
    // A line comes with its LF.
    return line_.substr(0, line_.size() - (line_.ends_with('\n') ? 1 : 0));
}

std::string_view Records::bytes() const {
    if (rules_ == Rules::Lines) return line_;
    // The values lie one after another, so their bytes are looked at at once.
    if (values_.empty()) return {};
    return {values_.front().data(),
            static_cast<std::size_t>(values_.back().data() + values_.back().size() - values_.front().data())};
}

std::uint64_t Records::bytesConsumed() const {
    return source_.bytesFromFile();
}

std::uint64_t Records::reads() const {
    switch (rules_) {
        case Rules::Standard:
            return csv_->reads();
        case Rules::TextExport:
            return export_->reads();
        case Rules::Lines:
            break;
    }
    return lines_->reads();
}

std::string Records::Describe(int error) const {
    if (error == kMissingColumn) return MissingColumnText(number_, values_.size(), chosen_->missing());
    if (rules_ == Rules::Standard) return csv_->Describe(error);
    if (rules_ == Rules::TextExport) return export_->Describe(error);
    if (error == kTooManyFields) {
        return "line " + std::to_string(number_) + " has more than " + std::to_string(CsvReader::kMaxFields) +
               " fields, the most Rowsmith reads";
    }
    if (error == kLineTooLong) {
        return "line " + std::to_string(number_ + 1) + " is longer than " +
               std::to_string(TextModeReader::kMaxLineSize >> 20) + " MiB, the longest Rowsmith reads";
    }
    return source_.Describe(error);
}

void Records::Inspect(bool scanned) {
    const std::string_view bytes = whole_ ? text() : this->bytes();
    if (utf8_ && !IsUtf8(bytes)) {
        problems_->Problem(number_,
                           "holds bytes that are not UTF-8 (--encoding names the character set the file is written "
                           "in)");
    }
    // A check decodes a byte the encoding does not have as U+FFFD.
    if (!options_.encoding.empty() && bytes.find(IconvSource::kSubstitute) != std::string_view::npos) {
        problems_->Problem(number_, "holds bytes that are not valid " + options_.encoding + " text");
    }
    if (rules_ != Rules::Lines || scanned) return;
    // Under the line rules a quoted field still open at the end of the line
    // loses its last byte.
    const std::string_view line = TrimLine(line_, options_.delimiter);
    bool closed = true;
    rowsmith::ForEachValue(line, options_.delimiter, [&closed, line](std::string_view value, bool quoted) {
        // Closed: by the line's last byte, a quote that is not the opening one.
        const char* end = line.data() + line.size();
        closed = !quoted || (line.back() == '"' && value.data() < end && value.data() + value.size() + 1 == end);
        return true;
    });
    if (!closed) {
        problems_->Problem(number_, std::string(kOpenAtLineEnd));
    }
}

}  // namespace rowsmith
