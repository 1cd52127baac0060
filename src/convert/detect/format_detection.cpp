#include "convert/detect/format_detection.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

#include "convert/detect/charset_guess.h"
#include "convert/detect/header_votes.h"
#include "convert/detect/table_bounds.h"
#include "convert/detect/text_marks.h"
#include "convert/read/csv_reader.h"
#include "convert/read/records.h"
#include "convert/read/row_rules.h"
#include "io/byte_source.h"
#include "io/file_system.h"
#include "io/gzip_source.h"
#include "io/input_source.h"
#include "io/open_file.h"
#include "io/unique_fd.h"
#include "io/status.h"
#include "io/text_mode.h"
#include "io/text_mode_reader.h"

namespace rowsmith {

namespace {

using Record = std::vector<std::string>;

// The delimiters looked for, the likelier first: of two that split the
// sample as evenly, the earlier wins.
constexpr std::array<char, 7> kDelimiters = {',', '\t', ';', '|', ':', '^', '~'};

bool IsAscii(std::string_view bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// UTF-16 written without a byte-order mark: most characters of a text in a
// Latin script have a zero byte, always on the same side.
std::string Utf16WithoutMark(std::string_view bytes) {
    const std::size_t pairs = std::min<std::size_t>(bytes.size() / 2, 4096);
    std::size_t zeroFirst = 0;
    std::size_t zeroSecond = 0;
    for (std::size_t i = 0; i < pairs; ++i) {
        zeroFirst += bytes[2 * i] == '\0' && bytes[2 * i + 1] != '\0' ? 1U : 0U;
        zeroSecond += bytes[2 * i] != '\0' && bytes[2 * i + 1] == '\0' ? 1U : 0U;
    }
    if (pairs < 2) return {};
    if (zeroSecond * 10 >= pairs * 8) return "UTF-16LE";
    if (zeroFirst * 10 >= pairs * 8) return "UTF-16BE";
    return {};
}

// The text decoded from encoding into UTF-8, as a run would read it; a
// character cut at the end of a sample is left out.
std::string Decoded(std::string_view bytes, const std::string& encoding) {
    MemorySource memory(bytes);
    InputSource input(memory);
    std::string text;
    if (input.Open(encoding) != 0) return text;
    char block[4096];
    std::size_t got = 0;
    while (input.Read(block, sizeof block, got) == 0 && got > 0) text.append(block, got);
    return text;
}

// What the sample says of the character set: the name said and the one
// --encoding needs (empty when none); text becomes the text to look at.
void DetectEncoding(const InputSample& sample, Detection& detection, std::string& text) {
    if (sample.utf8Mark) {
        detection.encoding = "utf-8 (byte-order mark)";
        return;
    }
    if (!sample.markEncoding.empty()) {
        detection.encoding = sample.markEncoding + " (byte-order mark; read as such without --encoding)";
        return;
    }
    if (const std::string utf16 = Utf16WithoutMark(sample.head); !utf16.empty()) {
        detection.encoding = utf16 + " (no byte-order mark)";
        detection.reading.encoding = utf16;
        text = Decoded(sample.head, utf16);
        return;
    }
    // A tail read from the middle of the file may begin inside a character.
    std::string_view tail = sample.tail;
    while (!tail.empty() && (static_cast<unsigned char>(tail.front()) & 0xC0) == 0x80) tail.remove_prefix(1);
    const ScanEvidence& rest = sample.rest;
    if (IsAscii(sample.head) && IsAscii(tail) && !rest.nonAscii) {
        detection.encoding = sample.head.empty() ? "none (no text)" : "ascii";
    } else if (IsUtf8(sample.head, !sample.whole) && IsUtf8(tail, false) && rest.utf8) {
        detection.encoding = "utf-8";
    } else {
        // Not UTF-8: the set whose reading of the text looks most like words.
        std::string evidence = sample.head;
        evidence.append("\n").append(tail).append("\n").append(rest.lines);
        const CharsetGuess guess = GuessCharset(evidence);
        detection.reading.encoding = guess.name;
        detection.encoding = guess.name + " (not UTF-8";
        detection.encoding += guess.certain ? std::string(")") : "; guessed, next " + guess.runnerUp + ")";
    }
}

std::string LineEnds(std::string_view text) {
    // CR LF, LF alone, CR alone.
    std::array<std::pair<std::size_t, const char*>, 3> ends = {{{0, "CR LF"}, {0, "LF"}, {0, "CR"}}};
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool pair = text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
        if (text[i] == '\r' || text[i] == '\n') ++ends[pair ? 0 : text[i] == '\n' ? 1 : 2].first;
        i += pair ? 1U : 0U;
    }
    std::string said;
    std::size_t kinds = 0;
    for (const auto& [count, name] : ends) {
        if (count == 0) continue;
        ++kinds;
        said.append(said.empty() ? "" : ", ").append(std::to_string(count)).append(" ").append(name);
    }
    if (kinds == 0) return "none";
    if (kinds == 1) return said.substr(said.find(' ') + 1);
    return "mixed: " + said;
}

// The records standard CSV reads from text; the last is left out when
// the text is cut from a longer input, as it may be cut too.
struct Reading {
    std::vector<Record> records;
    std::vector<std::vector<bool>> quoted;
    std::vector<std::uint64_t> lines;  // the line each record starts on
    std::size_t unclosedLine = 0;      // where a quoted field never closed opens
};

// The records of text under a rule set, every value read, as a run reads
// them (read/records.h).
template <typename Each>
int ForEachRecord(std::string_view text, const ConversionOptions& options, Each&& each) {
    MemorySource memory(text);
    Records records(memory, options, std::size_t{64} << 10, true);
    int status = 0;
    while ((status = records.Next()) == 0 && (status = records.ReadValues()) == 0) {
        each(records);
    }
    return status == kUnclosedQuote ? static_cast<int>(records.number()) : 0;
}

// The records of text as options read them (standard CSV or a text export).
Reading ReadWith(std::string_view text, const ConversionOptions& options, bool whole) {
    Reading reading;
    const int unclosed = ForEachRecord(text, options, [&reading](const Records& records) {
        reading.records.emplace_back(records.values().begin(), records.values().end());
        reading.quoted.push_back(records.quoted());
        reading.lines.push_back(records.number());
    });
    if (unclosed != 0 && whole) reading.unclosedLine = static_cast<std::size_t>(unclosed);
    if (!whole && !reading.records.empty()) {
        reading.records.pop_back();
        reading.quoted.pop_back();
        reading.lines.pop_back();
    }
    return reading;
}

Reading ReadStandard(std::string_view text, char delimiter, bool whole, char quote = '"', bool skipSpaces = false) {
    return ReadWith(
        text, ConversionOptions{.rfc4180 = true, .delimiter = delimiter, .quote = quote, .skipSpaces = skipSpaces},
        whole);
}

std::vector<Record> ReadLines(std::string_view text, char delimiter) {
    std::vector<Record> records;
    ForEachRecord(text, ConversionOptions{.delimiter = delimiter}, [&records](const Records& line) {
        records.emplace_back(line.values().begin(), line.values().end());
    });
    return records;
}

std::map<std::size_t, std::size_t> FieldCounts(const std::vector<Record>& records) {
    std::map<std::size_t, std::size_t> counts;
    for (const Record& record : records) ++counts[record.size()];
    return counts;
}

// The share of records that have the most common number of fields.
double CommonShare(const Reading& reading) {
    if (reading.records.empty()) return 0;
    return static_cast<double>(CommonCount(FieldCounts(reading.records)).second) /
           static_cast<double>(reading.records.size());
}

// Whether a backslash escapes the quote (\" inside values, as some
// programs write CSV): such pairs not at a value's end, and the records
// read with the escape split as evenly as without, none left open.
bool BackslashEscapes(std::string_view text, const ConversionOptions& options, bool whole, const Reading& plain) {
    std::size_t escaped = 0;
    for (std::size_t i = text.find('\\'); i != std::string_view::npos && i + 2 < text.size();
         i = text.find('\\', i + 1)) {
        escaped += text[i + 1] == options.quote && !AtFieldEdge(text, i + 2) ? 1U : 0U;
    }
    if (escaped == 0) return false;
    ConversionOptions withEscape = options;
    withEscape.escape = '\\';
    const Reading reading = ReadWith(text, withEscape, whole);
    return reading.unclosedLine == 0 && CommonShare(reading) >= CommonShare(plain);
}

// The delimiter that splits the most records into the same number of
// fields, more than one; the comma when none does. chosen: the records
// it gives.
char ChooseDelimiter(std::string_view text, bool whole, char quote, Reading& chosen) {
    char best = ',';
    double bestShare = 0;
    std::size_t bestFields = 0;
    const bool colonWithin = ColonWithinValues(text);
    for (const char delimiter : kDelimiters) {
        if (delimiter == ':' && colonWithin) continue;
        Reading reading = ReadStandard(text, delimiter, whole, quote);
        // The comma's records stand until another delimiter does better.
        if (delimiter == ',') chosen = reading;
        if (reading.records.empty()) continue;
        const auto [fields, records] = CommonCount(FieldCounts(reading.records));
        if (fields < 2) continue;
        const double share = static_cast<double>(records) / static_cast<double>(reading.records.size());
        if (share > bestShare || (share == bestShare && fields > bestFields)) {
            best = delimiter;
            bestShare = share;
            bestFields = fields;
            chosen = std::move(reading);
        }
    }
    return best;
}

// The first record the line rules read otherwise, 1-based; 0 for none.
std::size_t FirstDifference(const std::vector<Record>& lines, const Reading& standard, bool whole) {
    const std::size_t compared = std::min(lines.size(), standard.records.size());
    for (std::size_t i = 0; i < compared; ++i) {
        if (lines[i] != standard.records[i]) return i + 1;
    }
    if (lines.size() != standard.records.size() && (whole || lines.size() < standard.records.size()))
        return compared + 1;
    return standard.unclosedLine != 0 ? compared + 1 : 0;
}

void NoteEvidence(const Reading& reading, Detection& detection) {
    for (std::size_t r = 0; r < reading.records.size(); ++r) {
        for (std::size_t v = 0; v < reading.records[r].size(); ++v) {
            const std::string& value = reading.records[r][v];
            // A record of one empty value is a blank line, not an empty value.
            const bool counted = value.empty() && reading.records[r].size() > 1;
            detection.bareEmpties += counted && !reading.quoted[r][v] ? 1U : 0U;
            detection.quotedEmpties += counted && reading.quoted[r][v] ? 1U : 0U;
            if (!reading.quoted[r][v]) continue;
            detection.doubledQuotes += value.find('"') != std::string::npos ? 1U : 0U;
            detection.quotedBreaks += value.find_first_of("\r\n") != std::string::npos ? 1U : 0U;
            detection.quotedDelimiters += value.find(detection.delimiter) != std::string::npos ? 1U : 0U;
        }
    }
}

// Whether text is a database's text export, tab-separated: no field opens
// with a quote, and fields of \N alone or backslash escapes of a tab, a
// line break or a backslash show it.
bool LooksLikeTextExport(std::string_view text, Detection& d) {
    std::size_t tabs = 0;
    bool quoted = false;
    std::size_t fieldStart = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (i == fieldStart && c == '"') quoted = true;
        if (c == '\\' && i + 1 < text.size()) {
            const char next = text[i + 1];
            const bool alone = i == fieldStart && (i + 2 == text.size() || text[i + 2] == '\t' || text[i + 2] == '\n');
            if (next == 'N' && alone) ++d.nullMarks;
            if (next == '\t' || next == '\n' || next == '\\') ++d.escapes;
            ++i;
            continue;
        }
        if (c == '\t' || c == '\n') fieldStart = i + 1;
        tabs += c == '\t' ? 1U : 0U;
    }
    return !quoted && tabs > 0 && d.nullMarks + d.escapes > 0;
}

// The header records judge, its names (the first record's values where
// there is none), and the reading of it.
void NoteHeader(const std::vector<Record>& records, Detection& d) {
    d.headerLines = HeaderRecords(records);
    d.header = d.headerLines > 0;
    if (d.headerLines > 1) {
        d.names = JoinedHeader({records.begin(), records.begin() + static_cast<std::ptrdiff_t>(d.headerLines)});
    } else if (!records.empty()) {
        d.names = records.front();
    }
    d.reading.header = d.header;
    d.reading.headerLines = static_cast<std::uint32_t>(std::max<std::size_t>(d.headerLines, 1));
}

// A text export read as the export it is: the header and counts from its records.
void DetectTextExport(std::string_view text, bool whole, Detection& d) {
    d.textExport = true;
    d.delimiter = '\t';
    const Reading exported = ReadWith(text, ConversionOptions{.delimiter = '\t', .textExport = true}, whole);
    d.records = exported.records.size();
    d.fieldCounts = FieldCounts(exported.records);
    NoteHeader(exported.records, d);
    d.reading.textExport = true;
    d.reading.delimiter = '\t';
}

// The delimiter, the quote, spaces after delimiters and an escape; the
// records standard CSV reads with them.
Reading DetectQuoting(std::string_view text, bool whole, Detection& d) {
    Reading standard;
    const char quote = ChooseQuote(text);
    d.delimiter = ChooseDelimiter(text, whole, quote, standard);
    d.reading.quote = quote;
    d.reading.skipSpaces = SpacesAfterDelimiters(text, d.delimiter, quote);
    if (d.reading.skipSpaces) standard = ReadStandard(text, d.delimiter, whole, quote, true);
    const ConversionOptions quoting{
        .rfc4180 = true, .delimiter = d.delimiter, .quote = quote, .skipSpaces = d.reading.skipSpaces};
    if (BackslashEscapes(text, quoting, whole, standard)) {
        d.reading.escape = '\\';
        ConversionOptions escaping = quoting;
        escaping.escape = '\\';
        standard = ReadWith(text, escaping, whole);
    }
    return standard;
}

}  // namespace

// The number of fields most records have (the larger of two as common),
// and how many have it.
std::pair<std::size_t, std::size_t> CommonCount(const std::map<std::size_t, std::size_t>& counts) {
    std::pair<std::size_t, std::size_t> common{0, 0};
    for (const auto& [fields, records] : counts) {
        if (records >= common.second) common = {fields, records};
    }
    return common;
}

int ReadSample(int fd, InputSample& sample, std::string& reason, bool scanRest, unsigned threads) {
    sample = {};
    FileInfo info;
    std::uint64_t start = 0;
    const bool regular = Inspect(fd, info) == 0 && info.regular && PlaceOf(fd, start) == 0;
    const auto startsWith = [fd, start](std::string_view bytes) {
        std::string read(bytes.size(), '\0');
        std::size_t got = 0;
        return ReadAt(fd, read.data(), read.size(), start, got) == 0 && got == bytes.size() && read == bytes;
    };
    char magic[2] = {};
    std::size_t magicBytes = 0;
    const bool gzip =
        regular && ReadAt(fd, magic, 2, start, magicBytes) == 0 && magicBytes == 2 && StartsLikeGzip(magic, 2);
    sample.utf8Mark = regular && startsWith("\xEF\xBB\xBF");
    FdSource file(fd);
    InputSource input(file);
    if (const int error = input.Open("")) {
        reason = input.Describe(error);
        return error;
    }
    sample.markEncoding = input.encoding();
    sample.head.resize(InputSample::kHeadBytes + 1);
    std::size_t have = 0;
    while (have < sample.head.size()) {
        std::size_t got = 0;
        if (const int error = input.Read(sample.head.data() + have, sample.head.size() - have, got)) {
            reason = input.Describe(error);
            return error;
        }
        if (got == 0) break;
        have += got;
    }
    sample.whole = have <= InputSample::kHeadBytes;
    sample.head.resize(std::min(have, InputSample::kHeadBytes));
    // The rest of a plain file, whole up to a bound: its first quote and
    // its bytes past ASCII may lie anywhere.
    if (scanRest && regular && !gzip && !sample.whole && sample.markEncoding.empty() &&
        info.size <= ScanEvidence::kScanBound) {
        const std::uint64_t from = start + sample.head.size() + (sample.utf8Mark ? 3U : 0U);
        if (const int error = ScanRest(fd, from, info.size, sample.rest, threads)) {
            reason = StatusText(error);
            return error;
        }
    }
    // The end of a plain file too: a character set may show only there.
    if (regular && !gzip && !sample.whole && sample.markEncoding.empty()) {
        const std::uint64_t read = start + file.bytesFromFile();
        const std::uint64_t from =
            std::max(read, info.size > InputSample::kTailBytes ? info.size - InputSample::kTailBytes : 0);
        if (from < info.size) {
            sample.tail.resize(static_cast<std::size_t>(info.size - from));
            std::size_t tailGot = 0;
            if (ReadAt(fd, sample.tail.data(), sample.tail.size(), from, tailGot) != 0) tailGot = 0;
            sample.tail.resize(tailGot);
        }
    }
    return 0;
}

Detection DetectFormat(const InputSample& sample) {
    Detection d;
    std::string decoded;
    DetectEncoding(sample, d, decoded);
    std::string_view text = decoded.empty() ? std::string_view(sample.head) : std::string_view(decoded);
    d.whole = sample.whole;
    if (!sample.whole) {
        // Whole lines only: the cut one would read as another record.
        const std::size_t end = text.find_last_of("\r\n");
        text = text.substr(0, end == std::string_view::npos ? 0 : end + 1);
    }
    d.lineEnds = LineEnds(text);
    if (LooksLikeTextExport(text, d)) {
        DetectTextExport(text, sample.whole, d);
        return d;
    }
    Reading standard = DetectQuoting(text, sample.whole, d);
    const char quote = d.reading.quote;
    std::vector<Record> lines = ReadLines(text, d.delimiter);
    // A second table, or notes, below the first: what is read is the records above.
    const TableEnd end = FindTableEnd(standard.records, standard.lines, lines);
    d.tableEnd = end.last;
    d.nextTable = end.next;
    d.nextTableFields = end.nextFields;
    // The records again as standard CSV reads them with what was found,
    // from below the lines above them to the first table's end.
    const auto readAgain = [&] {
        const ConversionOptions records{.rfc4180 = true,
                                        .delimiter = d.delimiter,
                                        .skipLines = static_cast<std::uint32_t>(d.preambleLines),
                                        .quote = quote,
                                        .escape = d.reading.escape,
                                        .skipSpaces = d.reading.skipSpaces,
                                        .lastLine = static_cast<std::uint32_t>(d.tableEnd)};
        // Records that end at a last line are whole.
        return ReadWith(text, records, sample.whole || d.tableEnd != 0);
    };
    if (d.tableEnd != 0) {
        standard = readAgain();
        lines.resize(std::min(lines.size(), d.tableEnd));
    }
    d.preambleLines = PreambleLines(lines, CommonCount(FieldCounts(standard.records)).first);
    if (d.preambleLines > 0) {
        standard = readAgain();
        lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(d.preambleLines));
    }
    for (const Record& line : lines) d.blankLines += line.size() == 1 && line[0].empty() ? 1U : 0U;
    NoteEvidence(standard, d);
    d.unclosedLine = standard.unclosedLine;
    d.records = standard.records.size();
    d.fieldCounts = FieldCounts(standard.records);
    d.firstDifference = FirstDifference(lines, standard, sample.whole);
    d.nulBytes = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\0'));
    if (d.firstDifference != 0 && d.firstDifference <= std::min(lines.size(), standard.records.size())) {
        const Record& line = lines[d.firstDifference - 1];
        const Record& record = standard.records[d.firstDifference - 1];
        d.blankEnds = line.size() == record.size() && std::equal(line.begin(), line.end(), record.begin(),
                                                                 [](const std::string& a, const std::string& b) {
                                                                     return TrimSpace(a) == TrimSpace(b);
                                                                 });
    }
    NoteHeader(standard.records, d);
    // Names as they read in the character set the text is in.
    if (!d.reading.encoding.empty() && decoded.empty()) {
        for (std::string& name : d.names) name = Decoded(name, d.reading.encoding);
    }
    // Another quote, or spaces that are not data, only standard CSV reads;
    // so too a quote past the records sampled, which may open a field.
    d.restScanned = sample.rest.scanned;
    d.quoteBeyond = quote == '"' ? sample.rest.firstQuote : 0;
    d.reading.rfc4180 = d.firstDifference != 0 || quote != '"' || d.reading.skipSpaces || d.reading.escape != '\0' ||
                        d.quoteBeyond != 0;
    d.reading.delimiter = d.delimiter;
    d.reading.skipLines = static_cast<std::uint32_t>(d.preambleLines);
    d.reading.lastLine = static_cast<std::uint32_t>(d.tableEnd);
    // NULL written bare and '' written "", as database exports write them.
    if (d.bareEmpties > 0 && d.quotedEmpties > 0) d.reading.null = NullMode::UnquotedEmpty;
    return d;
}

std::optional<Detection> DetectFile(const std::string& path, unsigned threads) {
    UniqueFd file;
    FileInfo info;
    if (OpenForReading(path, file) != 0 || Inspect(file.get(), info) != 0 || !info.regular) return std::nullopt;
    InputSample sample;
    std::string reason;
    if (ReadSample(file.get(), sample, reason, true, threads) != 0) return std::nullopt;
    return DetectFormat(sample);
}

}  // namespace rowsmith
