#include "conversion_property.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <regex>
#include <sstream>
#include <vector>

#include "convert/run/conversion_run.h"
#include "convert/read/csv_reader.h"
#include "convert/read/skipped_lines.h"
#include "convert/read/text_export_reader.h"
#include "convert/row_conversion.h"
#include "convert/read/row_scanner.h"
#include "convert/sql/sql_dialect.h"
#include "io/byte_order_mark.h"
#include "io/file_system.h"
#include "io/status.h"
#include "pieces_source.h"
#include "reference_rules.h"

namespace rowsmith::test {

namespace {

using reference::Row;

// Bytes every rule reacts to; a byte past the ASCII range stands for itself.
constexpr std::string_view kAlphabet(
    "ab,;\t|\"' \r\n\r\n\\\0\x1A\xEF\xBB\xBF"
    "01-9",
    23);

std::string Show(std::string_view bytes) {
    std::ostringstream out;
    out << '"';
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F && c != '\\' && c != '"') {
            out << c;
        } else {
            static const char* const kHex = "0123456789abcdef";
            out << "\\x" << kHex[b >> 4] << kHex[b & 15];
        }
    }
    out << '"';
    return out.str();
}

std::string Describe(const ConversionCase& c) {
    std::ostringstream out;
    const char* const nullModes[] = {"", ", empty as NULL", ", unquoted empty as NULL"};
    out << "dialect " << DialectName(c.options.dialect) << nullModes[static_cast<int>(c.options.null)]
        << (c.options.nullTokens.empty() ? "" : ", NULL tokens") << (c.options.createTable ? ", create table" : "")
        << (c.options.columns.empty() ? "" : ", columns " + c.options.columns) << (c.options.copy ? ", COPY" : "")
        << (c.options.nul == NulChoice::Strip ? ", NUL dropped" : "") << ", delimiter "
        << Show(std::string(1, c.options.delimiter))
        << (c.options.textExport ? ", text export"
            : c.options.rfc4180  ? ", standard CSV"
                                 : ", line rules")
        << (c.options.quote != '"' ? ", quote " + Show(std::string(1, c.options.quote)) : "")
        << (c.options.escape != '\0' ? ", escape " + Show(std::string(1, c.options.escape)) : "")
        << (c.options.skipSpaces ? ", spaces skipped" : "")
        << (c.options.skipLines > 0 ? ", " + std::to_string(c.options.skipLines) + " lines skipped" : "") << ", "
        << c.options.rowsPerInsert << " rows per INSERT" << (c.options.transaction ? ", in a transaction" : "")
        << ", pieces of " << c.piece << ", input " << Show(c.input);
    return out.str();
}

// The rows a database must hold after the run: the independent reading of
// the rules, values as NULL where asked. failed: the run must fail,
// at an open quoted field at the end, or at the first record holding a NUL
// byte the dialect cannot write; the rows before it stand.
// The places of the values a row holds: those --columns chooses ("2,1",
// which reads each line's values, or "1,3" and "2", which the scanner
// writes leaving the others out), or each of the record's.
std::vector<std::size_t> Places(const ConversionCase& c, std::size_t values) {
    if (c.options.columns == "2,1") return {1, 0};
    if (c.options.columns == "1,3") return {0, 2};
    if (c.options.columns == "2") return {1};
    std::vector<std::size_t> places(values);
    for (std::size_t i = 0; i < values; ++i) places[i] = i;
    return places;
}

// Whether a record of values values lacks a chosen column.
bool Missing(const ConversionCase& c, std::size_t values) {
    return !c.options.columns.empty() && values <= std::ranges::max(Places(c, 0));
}

// The records the reference reads from a case's input.
struct ReferenceReading {
    std::vector<std::vector<std::string>> records;
    std::vector<std::vector<bool>> quoted;
    std::vector<bool> hasNul;  // the record's bytes hold a NUL
    bool unclosed = false;     // a quoted field is open at the end
};

// The dialect of Python's csv module that reads as options do.
reference::CsvDialect DialectOf(const ConversionOptions& options) {
    return {options.delimiter, options.quote, options.escape, options.skipSpaces};
}

// The input as the reader sees it: past a UTF-8 byte-order mark, which the
// run takes away first, and the lines skipped. A mark there on is data.
std::string_view ReaderBytes(const ConversionCase& c) {
    std::string_view bytes = c.input;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    return reference::AfterLines(bytes, c.options.skipLines, c.options.rfc4180);
}

// The records of the reader's bytes under standard CSV's or a text
// export's rules. A leading LF keeps a byte-order mark as data, and gives
// no record in CSV.
reference::CsvReading RuleRecords(const ConversionCase& c, std::string_view bytes) {
    return c.options.textExport ? reference::TextExportRecords(bytes, c.options.delimiter)
                                : reference::CsvRecords("\n" + std::string(bytes), DialectOf(c.options));
}

ReferenceReading ReadReference(const ConversionCase& c) {
    ReferenceReading r;
    const std::string_view bytes = ReaderBytes(c);
    if (c.options.rfc4180 || c.options.textExport) {
        reference::CsvReading reading = RuleRecords(c, bytes);
        r.records = std::move(reading.records);
        r.quoted = std::move(reading.quoted);
        r.unclosed = reading.unclosed;
        for (const auto& record : r.records) {
            r.hasNul.push_back(std::any_of(record.begin(), record.end(), [](const std::string& value) {
                return value.find('\0') != std::string::npos;
            }));
        }
    } else {
        // A first line of its own keeps a byte-order mark as data.
        std::vector<std::string> lines = reference::TextLines("x\n" + std::string(bytes));
        lines.erase(lines.begin());
        for (const std::string& line : lines) {
            r.records.push_back(reference::Values(line, c.options.delimiter, &r.quoted.emplace_back()));
            r.hasNul.push_back(line.find('\0') != std::string::npos);
        }
    }
    return r;
}

std::vector<Row> ExpectedRows(const ConversionCase& c, bool& failed) {
    ReferenceReading reading = ReadReference(c);
    const auto& records = reading.records;
    const auto& quoted = reading.quoted;
    const auto& hasNul = reading.hasNul;
    failed = reading.unclosed;
    const bool dropsNul = c.options.dialect != Dialect::MySql;
    std::vector<Row> rows;
    for (std::size_t r = 0; r < records.size(); ++r) {
        // A record without a chosen column stops the run, as does a NUL byte
        // (in any of its values) the dialect cannot write.
        const bool missing = Missing(c, records[r].size());
        if (missing || (dropsNul && hasNul[r] && c.options.nul == NulChoice::Refuse)) {
            failed = true;
            break;
        }
        Row row;
        for (const std::size_t i : Places(c, records[r].size())) {
            std::string value = records[r][i];
            if (dropsNul) std::erase(value, '\0');
            const bool isNull = ExpectedNull(c.options, records[r][i], value, quoted[r][i]);
            row.push_back(isNull ? reference::Value() : reference::Value(value));
        }
        rows.push_back(std::move(row));
    }
    // A failed run with a transaction takes back all it wrote.
    if (failed && c.options.transaction) rows.clear();
    return rows;
}

// The run into a memory file; its report and output. With --create-table
// the input is read twice, and the fields are named.
RunReport Run(const ConversionCase& c, std::string& output, ProblemObserver* problems = nullptr,
              std::size_t pieceBytes = 0) {
    UniqueFd file;
    OpenMemoryFile(file);
    const int fd = file.get();
    PiecesSource source(c.input, [&c] { return c.piece; });
    PiecesSource again(c.input, [&c] { return c.piece; });
    std::string fields;
    for (std::size_t i = 0; i < (c.options.columns.empty() ? 3 : Places(c, 0).size()); ++i)
        fields += (i > 0 ? ", c" : "c") + std::to_string(i + 1);
    if (!c.fields.empty()) fields = c.fields;
    const ConversionSettings settings{"in", "out", "t", c.options.createTable || !c.fields.empty() ? fields : ""};
    RunContext run{source, "in", fd, settings, c.options, nullptr, c.input.size()};
    run.blockSize = 4096;  // small blocks: quicker to set up, and more of their ends met
    if (c.options.createTable) run.typingInput = &again;
    run.problems = problems;
    run.pieceBytes = pieceBytes;
    const RunReport report = ConvertSource(run);
    FileInfo info;
    std::size_t got = 0;
    if (Inspect(fd, info) == 0) output.assign(static_cast<std::size_t>(info.size), '\0');
    if (ReadAt(fd, output.data(), output.size(), 0, got) != 0 || got != output.size()) output.clear();
    return report;
}

// Whether the reference reads value as an integer databases write back as
// it stands: the pattern, no -0, within 64 bits; never with a NUL byte.
bool ExpectedInteger(const std::string& value) {
    static const std::regex kInteger("-?(0|[1-9][0-9]*)");
    if (value == "-0" || !std::regex_match(value, kInteger)) return false;
    errno = 0;
    std::strtoll(value.c_str(), nullptr, 10);
    return errno != ERANGE;
}

// Whether value is a day of the calendar written YYYY-MM-DD, from year 1 on.
bool ExpectedDate(const std::string& value) {
    static const std::regex kDate("([0-9]{4})-([0-9]{2})-([0-9]{2})");
    std::smatch parts;
    if (!std::regex_match(value, parts, kDate)) return false;
    const int year = std::stoi(parts[1]);
    const std::chrono::year_month_day day{std::chrono::year(year),
                                          std::chrono::month(static_cast<unsigned>(std::stoi(parts[2]))),
                                          std::chrono::day(static_cast<unsigned>(std::stoi(parts[3])))};
    return year >= 1 && day.ok();
}

bool ExpectedTimestamp(const std::string& value) {
    static const std::regex kTime(" ([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9]");
    return value.size() == 19 && ExpectedDate(value.substr(0, 10)) && std::regex_match(value.substr(10), kTime);
}

}  // namespace

std::string ExpectedType(const std::vector<std::string>& values, Dialect dialect) {
    const bool sqlite = dialect == Dialect::Sqlite;
    const bool full = dialect == Dialect::Postgresql || dialect == Dialect::MySql;
    if (values.empty()) return "TEXT";
    if (std::all_of(values.begin(), values.end(), ExpectedInteger)) return sqlite ? "INTEGER" : "BIGINT";
    // Decimals of one scale, never a negative zero.
    static const std::regex kDecimal("-?(0|[1-9][0-9]*)\\.([0-9]+)");
    std::size_t whole = 0;
    std::size_t scale = 0;
    bool decimals = full;
    for (const std::string& value : values) {
        std::smatch parts;
        decimals = decimals && std::regex_match(value, parts, kDecimal) &&
                   !(value[0] == '-' && value.find_first_not_of("-0.") == std::string::npos) &&
                   (scale == 0 || parts[2].length() == static_cast<std::ptrdiff_t>(scale));
        if (!decimals) break;
        scale = static_cast<std::size_t>(parts[2].length());
        whole = std::max(whole, parts[1] == "0" ? std::size_t{0} : static_cast<std::size_t>(parts[1].length()));
    }
    if (decimals && dialect == Dialect::MySql) decimals = whole + scale <= 65 && scale <= 30;
    if (decimals) {
        return std::string(dialect == Dialect::MySql ? "DECIMAL(" : "NUMERIC(") +
               std::to_string(std::max<std::size_t>(whole + scale, 1)) + "," + std::to_string(scale) + ")";
    }
    if (!sqlite && std::all_of(values.begin(), values.end(), ExpectedDate)) return "DATE";
    if (full && std::all_of(values.begin(), values.end(), ExpectedTimestamp))
        return dialect == Dialect::MySql ? "DATETIME" : "TIMESTAMP";
    return "TEXT";
}

namespace {

// With --create-table, the table's statement comes first (after BEGIN;
// but for MySQL), its types as the reference reading of every value gives
// them; a run whose input cannot be read writes nothing at all.
std::string CheckCreateTable(const ConversionCase& c) {
    const ReferenceReading reading = ReadReference(c);
    const auto& records = reading.records;
    const auto& quoted = reading.quoted;
    const bool failed = reading.unclosed;
    std::string output;
    const RunReport report = Run(c, output);
    if (failed) return output.empty() ? std::string() : "a run that cannot read its input wrote " + Show(output);
    // A NUL byte refused: the transaction's statements, the table's too, are taken back.
    if (report.status == RunStatus::ReadFailed && c.options.transaction && output.empty()) return {};
    std::string want = "CREATE TABLE IF NOT EXISTS t ( ";
    const std::vector<std::size_t> places = Places(c, 3);
    for (std::size_t at = 0; at < places.size(); ++at) {
        const std::size_t column = places[at];
        std::vector<std::string> values;
        for (std::size_t r = 0; r < records.size(); ++r) {
            // A record without a chosen column gives no type; the run stops there.
            if (column >= records[r].size() || Missing(c, records[r].size())) continue;
            std::string value = records[r][column];
            if (c.options.dialect != Dialect::MySql) std::erase(value, '\0');
            if (ExpectedNull(c.options, records[r][column], value, quoted[r][column])) continue;
            values.push_back(records[r][column]);
        }
        want += std::string(at > 0 ? ", " : "") + "c" + std::to_string(at + 1) + " " +
                ExpectedType(values, c.options.dialect);
    }
    want += " );\r\n";
    // The session's settings, then the transaction where the table goes inside it.
    std::string before = c.options.copy ? std::string(kCopySessionLine) : std::string();
    if (const std::string_view session = RulesOf(c.options.dialect).session; !session.empty())
        before.append(session).append("\r\n");
    if (c.options.transaction && c.options.dialect != Dialect::MySql) before += "BEGIN;\r\n";
    if (output.compare(0, before.size() + want.size(), before + want) != 0) {
        return "the table is written " + Show(output.substr(0, output.find(";\r\nINSERT"))) + " for " + Show(want);
    }
    return report.status == RunStatus::Done || report.status == RunStatus::ReadFailed ? std::string()
                                                                                      : "the run ended " + report.text;
}

// A check (--check) reads every record: it names the line of each record
// holding a NUL byte the run would refuse and of each without a chosen
// column, and goes on past them to the end.
std::string CheckProblems(const ConversionCase& c) {
    const ReferenceReading reading = ReadReference(c);
    const bool refuses = c.options.dialect != Dialect::MySql && c.options.nul == NulChoice::Refuse;
    std::vector<std::uint64_t> expected;
    for (std::size_t r = 0; r < reading.records.size(); ++r) {
        const bool missing = Missing(c, reading.records[r].size());
        if (missing || (refuses && reading.hasNul[r])) expected.push_back(c.options.skipLines + r + 1);
    }
    struct Heard : ProblemObserver {
        std::vector<std::uint64_t> lines;
        void Problem(std::uint64_t line, const std::string& reason) override {
            if (reason.find("NUL byte") != std::string::npos || reason.find("--columns takes") != std::string::npos)
                lines.push_back(line);
        }
    } heard;
    std::string output;
    const RunReport report = Run(c, output, &heard);
    // Under the line rules a record is a line; a record of standard CSV or
    // of a text export may take more than one.
    const bool lines = !c.options.rfc4180 && !c.options.textExport;
    if (lines ? heard.lines != expected : heard.lines.size() != expected.size())
        return "a check heard of " + std::to_string(heard.lines.size()) + " NUL or missing-column lines, not " +
               std::to_string(expected.size());
    const std::size_t missing =
        static_cast<std::size_t>(std::count_if(reading.records.begin(), reading.records.end(),
                                               [&c](const auto& record) { return Missing(c, record.size()); }));
    if (!reading.unclosed && report.counts.rows != reading.records.size() - missing)
        return "a check went through " + std::to_string(report.counts.rows) + " rows of " +
               std::to_string(reading.records.size() - missing);
    return {};
}

std::string CheckRun(const ConversionCase& c) {
    bool failed = false;
    const std::vector<Row> expected = ExpectedRows(c, failed);
    std::string output;
    const RunReport report = Run(c, output);
    const RunStatus status = failed ? RunStatus::ReadFailed : RunStatus::Done;
    if (report.status != status) return "the run ended " + report.text;
    const bool backslashes = c.options.dialect == Dialect::MySql;
    const std::optional<std::vector<Row>> rows = reference::ReadStatements(output, backslashes);
    if (!rows) return "statements a database cannot read: " + Show(output);
    if (*rows != expected) return "rows other than the rules give: " + Show(output);
    return {};
}

// Under the line rules, the scanner of every vector unit the processor has
// writes each line's statement byte for byte as the plain rules do; and
// so for the lines strung together, which cross the scanners' blocks. The
// bytes after a line are delimiters and quotes, which must not count.
std::string CheckScanner(const ConversionCase& c) {
    std::vector<std::string> lines = reference::TextLines(c.input);
    std::string joined;
    for (const std::string& line : lines)
        std::copy_if(line.begin(), line.end(), std::back_inserter(joined), [](char b) { return b != '\n'; });
    while (!joined.empty() && joined.size() < 3 * kWide) joined += joined;
    lines.push_back(joined);
    // And shifted so that each quote next to a delimiter or quote falls on
    // either side of a block's end.
    const auto special = [&c](char b) { return b == c.options.delimiter || b == '"'; };
    for (std::size_t i = joined.find('"'); i != std::string::npos && i + 1 < joined.size();
         i = joined.find('"', i + 1)) {
        if (i == 0 || !(special(joined[i - 1]) || special(joined[i + 1]))) continue;
        for (const std::size_t at : {kWide - 1, kWide}) {
            lines.push_back(std::string((at + kWide - i % kWide) % kWide, 'x') + joined);
        }
    }
    for (const ScanKind kind : {ScanKind::Scalar, ScanKind::Sse2, ScanKind::Avx2}) {
        if (!KindRuns(kind)) continue;
        const RowScanner scanner("t", "", c.options, "\n", kind);
        for (const std::string& line : lines) {
            std::string padded = line + std::string(RowScanner::kPadding, '"');
            for (std::size_t i = line.size(); i < padded.size(); i += 3) padded[i] = c.options.delimiter;
            std::string fast(scanner.MaxRowSize(line.size()), '\0');
            fast.resize(static_cast<std::size_t>(
                scanner.WriteRow(std::string_view(padded.data(), line.size()), fast.data()) - fast.data()));
            const std::string plain = ConvertRow(line, "t", "", c.options);
            if (fast != plain) {
                return std::string("the ") + KindName(kind) + " scanner writes " + Show(fast) + ", the plain rules " +
                       Show(plain);
            }
        }
    }
    return {};
}

// The statement of a record's values, written a value at a time; quoted:
// whether each field began with a quote.
std::string ValuesStatement(const std::vector<std::string>& values, const std::vector<bool>& quoted,
                            const ConversionOptions& options) {
    const DialectRules& rules = options.copy ? kCopyTextRules : RulesOf(options.dialect);
    std::string statement = "INSERT INTO t VALUES ( ";
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) statement += options.copy ? '\t' : ',';
        const bool nullWhenEmpty =
            options.null == NullMode::Empty || (options.null == NullMode::UnquotedEmpty && !quoted[i]);
        if ((nullWhenEmpty && WrittenEmpty(rules, values[i])) ||
            (!quoted[i] && std::ranges::find(options.nullTokens, values[i]) != options.nullTokens.end())) {
            statement += options.copy ? "\\N" : "NULL";
        } else {
            AppendLiteral(rules, values[i], statement);
        }
    }
    return statement + " );\n";
}

// The CSV reader, given the bytes in pieces, reads what Python does; where
// it hands a record out whole, the scanner of every vector unit writes its
// statement as the values read one by one give it.
std::string CheckCsvReading(std::string_view bytes, const ConversionCase& c, std::size_t piece, std::size_t block) {
    // The reader sees bytes after the run took a byte-order mark away: one
    // here (a rewritten text may begin with those bytes) is data, which the
    // reference reading skips only at the very start.
    const bool mark = bytes.substr(0, 3) == "\xEF\xBB\xBF";
    const reference::CsvReading expected =
        reference::CsvRecords(mark ? "\n" + std::string(bytes) : std::string(bytes), c.options.delimiter);
    std::vector<std::uint64_t> lines[2];  // where each record starts, read each way
    for (const bool whole : {false, true}) {
        PiecesSource source(bytes, [piece] { return piece; });
        CsvReader reader(source, c.options.delimiter, block);
        std::vector<std::vector<std::string>> records;
        std::vector<std::vector<bool>> quoted;  // of each record read as values
        std::vector<std::string> statements;    // for each record handed out whole, the scanners'; else empty
        std::vector<std::string_view> values;
        std::string_view record;
        std::uint64_t line = 0;
        int status;
        while ((status = whole ? reader.Next(values, record, line) : reader.Next(values, line)) == 0) {
            records.emplace_back(values.begin(), values.end());
            quoted.push_back(record.data() == nullptr ? reader.quoted() : std::vector<bool>());
            statements.emplace_back();
            lines[whole].push_back(line);
            if (record.data() == nullptr) continue;
            for (const ScanKind kind : {ScanKind::Scalar, ScanKind::Sse2, ScanKind::Avx2}) {
                if (!KindRuns(kind)) continue;
                const RowScanner scanner("t", "", c.options, "\n", kind);
                std::string statement(scanner.MaxRowSize(record.size()), '\0');
                char* end = scanner.WriteRow(record, statement.data());
                statement.resize(static_cast<std::size_t>(end - statement.data()));
                if (kind == ScanKind::Scalar) statements.back() = statement;
                if (statement != statements.back()) {
                    return std::string("the ") + KindName(kind) + " scanner writes " + Show(statement);
                }
            }
        }
        if (status != (expected.unclosed ? kUnclosedQuote : kEndOfInput))
            return "the reader ended with " + reader.Describe(status);
        if (records.size() != expected.records.size()) return "the reader reads other records";
        for (std::size_t i = 0; i < records.size(); ++i) {
            if (statements[i].empty()) {
                if (records[i] != expected.records[i]) return "the reader reads other records";
                if (quoted[i] != expected.quoted[i]) return "the reader finds other fields quoted";
                continue;
            }
            const std::string want = ValuesStatement(expected.records[i], expected.quoted[i], c.options);
            if (statements[i] != want) return "the scanner writes " + Show(statements[i]) + " for " + Show(want);
        }
    }
    if (lines[0] != lines[1]) return "records handed out whole are counted on other lines";
    return {};
}

// Under reading rules of their own, the reader given the bytes in pieces
// and small blocks reads what the reference reads, each record on the line
// it starts on as counted from the first.
std::string CheckRulesReader(const ConversionCase& c) {
    const std::string_view bytes = ReaderBytes(c);
    std::string_view read = c.input;  // what the run reads, past the mark; the lines to skip too
    if (read.substr(0, 3) == "\xEF\xBB\xBF") read.remove_prefix(3);
    const reference::CsvReading expected = RuleRecords(c, bytes);
    for (const std::size_t block : {std::size_t{16}, std::size_t{23}, std::size_t{4096}}) {
        // A byte at a time in the small blocks: every byte pair is split.
        const std::size_t piece = block == 16 ? 1 : c.piece;
        PiecesSource pieces(read, [piece] { return piece; });
        SkippedLines source(pieces, c.options.skipLines, c.options.rfc4180);
        std::optional<CsvReader> csv;
        std::optional<TextExportReader> text;
        if (c.options.textExport) {
            text.emplace(source, c.options.delimiter, block);
        } else {
            csv.emplace(source, CsvRules{c.options.delimiter, c.options.quote, c.options.escape, c.options.skipSpaces},
                        block);
        }
        std::vector<std::vector<std::string>> records;
        std::vector<std::vector<bool>> quoted;
        std::vector<std::string_view> values;
        std::uint64_t line = 0;
        std::uint64_t lastLine = 0;
        int status;
        while ((status = text ? text->Next(values, line) : csv->Next(values, line)) == 0) {
            records.emplace_back(values.begin(), values.end());
            quoted.push_back(text ? text->quoted() : csv->quoted());
            if (line <= lastLine)
                return "a record counted on line " + std::to_string(line) + " after one on " + std::to_string(lastLine);
            lastLine = line;
        }
        if (status != (expected.unclosed ? kUnclosedQuote : kEndOfInput))
            return "the reader ended with " + (text ? text->Describe(status) : csv->Describe(status));
        if (records != expected.records) return "the reader reads other records in blocks of " + std::to_string(block);
        if (quoted != expected.quoted) return "the reader finds other fields quoted";
    }
    return {};
}

// records written back as a program writes CSV: a value quoted where it
// must be (and now and then where it need not), its quotes doubled.
std::string WrittenAsCsv(const std::vector<std::vector<std::string>>& records, char delimiter) {
    std::string text;
    for (const std::vector<std::string>& record : records) {
        for (std::size_t i = 0; i < record.size(); ++i) {
            const std::string& value = record[i];
            if (i > 0) text += delimiter;
            const bool must = value.find_first_of(std::string{delimiter, '"', '\r', '\n'}) != std::string::npos ||
                              (record.size() == 1 && value.empty());
            if (!must && value.size() % 3 != 1) {
                text += value;
                continue;
            }
            text += '"';
            for (const char b : value) text.append(b == '"' ? 2 : 1, b);
            text += '"';
        }
        text += text.size() % 2 == 0 ? "\r\n" : "\n";
    }
    return text;
}

// The CSV reader, given the bytes in pieces, reads what Python does; and so
// for the records it reads written back regularly, which it hands out whole
// where they lie whole in a block.
std::string CheckCsvReader(const ConversionCase& c) {
    // The run skips a byte-order mark before the reader sees the bytes.
    std::string_view bytes = c.input;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    if (std::string failure = CheckCsvReading(bytes, c, c.piece, 16 + c.piece % 80); !failure.empty()) return failure;
    // Written back as they are, and as one long record that crosses blocks;
    // the input as one long line; and these long ones shifted so that their
    // first quotes and CRs fall on either side of a block's end.
    std::vector<std::vector<std::string>> records = reference::CsvRecords(bytes, c.options.delimiter).records;
    // The long record holds a quoted CR LF and a doubled quote whatever the input.
    std::vector<std::string> joined = {"\"\r\n\""};
    for (const auto& record : records) joined.insert(joined.end(), record.begin(), record.end());
    std::string inputLine;
    std::copy_if(bytes.begin(), bytes.end(), std::back_inserter(inputLine),
                 [](char b) { return b != '\r' && b != '\n'; });
    while (!inputLine.empty() && inputLine.size() < 3 * kWide) inputLine += inputLine;
    std::vector<std::string> texts = {WrittenAsCsv(records, c.options.delimiter),
                                      WrittenAsCsv({joined, {"next"}}, c.options.delimiter), inputLine + "\n"};
    // And the long record with bytes after its first closing quote, a quote
    // among them: not regular there, and only there.
    std::string irregular = texts[1];
    irregular.insert(irregular.find("\"\r\n\"\"\"") + 6, "x\"");
    const std::vector<std::string> longOnes = {texts[1], texts[2], irregular};
    for (const std::string& text : longOnes) {
        std::size_t shifts = 0;
        for (std::size_t i = text.find_first_of("\"\r"); i != std::string::npos && shifts < 12;
             i = text.find_first_of("\"\r", i + 1), ++shifts) {
            // A first value of x's moves the rest along.
            for (const std::size_t at : {kWide - 1, kWide}) {
                texts.push_back(std::string((at + 2 * kWide - 1 - i % kWide) % kWide, 'x') + c.options.delimiter +
                                text);
            }
        }
    }
    for (std::size_t i = 0; i < texts.size(); ++i) {
        // The long ones in a block of their own, so that they are read whole.
        const std::size_t piece = i == 0 ? 4 * c.piece : 4096;
        if (std::string failure = CheckCsvReading(texts[i], c, piece, piece + 256); !failure.empty()) {
            return failure + "\n  of " + Show(texts[i]);
        }
    }
    return {};
}

}  // namespace

bool ExpectedNull(const ConversionOptions& options, const std::string& asRead, const std::string& value, bool quoted) {
    const bool empty =
        value.empty() && (options.null == NullMode::Empty || (options.null == NullMode::UnquotedEmpty && !quoted));
    // A text export's \N is the one value read unquoted.
    if (options.textExport && !quoted && asRead == "\\N") return true;
    return empty || (!quoted && std::find(options.nullTokens.begin(), options.nullTokens.end(), asRead) !=
                                    options.nullTokens.end());
}

void ApplyRules(const ReadingRules& rules, ConversionOptions& options) {
    options.rfc4180 = rules.rfc4180;
    options.quote = rules.quote;
    options.escape = rules.escape;
    options.skipSpaces = rules.skipSpaces;
    options.textExport = rules.textExport;
    options.skipLines = rules.skipLines;
}

ConversionCase CaseFromBytes(const ConversionOptions& options, std::string_view bytes) {
    ConversionCase c;
    c.options = options;
    const auto take = [&bytes]() -> unsigned {
        if (bytes.empty()) return 0;
        const auto b = static_cast<unsigned char>(bytes.front());
        bytes.remove_prefix(1);
        return b;
    };
    const unsigned statements = take();
    c.options.rowsPerInsert = 1 + statements % 4;
    c.options.transaction = (statements & 4) != 0;
    c.options.nul = (statements & 8) != 0 ? NulChoice::Strip : NulChoice::Refuse;
    // Statements of many rows end early, now and then, for their size.
    c.options.maxStatementBytes = (statements & 16) != 0 ? kMinStatementBytes : 0;
    // Markers of NULL, one of them a byte the alphabet has; one begins
    // with a quote, as only a quoted field's bytes do.
    if ((statements & 32) != 0) c.options.nullTokens = {"a", "b\"", "x", "\"a\""};
    c.options.createTable = (statements & 64) != 0;
    if ((statements & 128) != 0) c.options.columns = "2,1";
    const unsigned reading = take();
    c.piece = 1 + reading % 64;
    // PostgreSQL's COPY blocks instead of INSERTs.
    c.options.copy = (reading & 64) != 0 && c.options.dialect == Dialect::Postgresql;
    // Column lists the scanner writes, where it writes the rows.
    if (!c.options.columns.empty() && (reading & 32) != 0) c.options.columns = (reading & 16) != 0 ? "2" : "1,3";
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        c.input += b < 0x80 ? kAlphabet[b % kAlphabet.size()] : byte;
    }
    // A UTF-16 or UTF-32 byte-order mark makes the run decode the text, which
    // the reference readings do not: the reading tests cover that.
    const ByteOrderMark mark = FindByteOrderMark(c.input).mark;
    if (mark != ByteOrderMark::None && mark != ByteOrderMark::Utf8) c.input.insert(0, "x");
    return c;
}

ConversionCase FuzzCase(std::string_view bytes) {
    ConversionOptions options;
    const unsigned choice = bytes.empty() ? 0 : static_cast<unsigned char>(bytes.front());
    if (!bytes.empty()) bytes.remove_prefix(1);
    options.dialect = kDialects[choice % std::size(kDialects)]->dialect;
    options.null = (choice & 4) == 0 ? NullMode::None : (choice & 64) != 0 ? NullMode::UnquotedEmpty : NullMode::Empty;
    options.delimiter = kPropertyDelimiters[(choice >> 3) % std::size(kPropertyDelimiters)];
    options.rfc4180 = (choice & 32) != 0;
    if ((choice & 128) != 0 && !bytes.empty()) {
        ApplyRules(kReadingRules[static_cast<unsigned char>(bytes.front()) % std::size(kReadingRules)], options);
        bytes.remove_prefix(1);
    }
    return CaseFromBytes(options, bytes);
}

// Records past --last-line are not read: under the line rules, a run of
// the lines up to it alone writes the same, the table it types too.
std::string CheckLastLine(const ConversionCase& c) {
    // A fifth of the cases: two runs more each, and the rounds are many.
    if (c.options.rfc4180 || c.options.textExport || c.input.size() % 5 != 0) return {};
    const auto lines = static_cast<std::uint32_t>(std::count(c.input.begin(), c.input.end(), '\n'));
    ConversionCase limited = c;
    limited.options.lastLine = std::max(c.options.skipLines + 1 + (c.options.header ? 1U : 0U), lines / 2);
    if (lines <= limited.options.lastLine) return {};
    ConversionCase cut = c;
    std::size_t end = 0;
    for (std::uint32_t line = 0; line < limited.options.lastLine; ++line) end = c.input.find('\n', end) + 1;
    cut.input.resize(end);
    std::string limitedOutput;
    std::string cutOutput;
    const RunReport report = Run(limited, limitedOutput);
    const RunReport whole = Run(cut, cutOutput);
    if (report.status != whole.status || limitedOutput != cutOutput) {
        return "a run to line " + std::to_string(limited.options.lastLine) + " writes " + Show(limitedOutput) +
               ", one of the lines up to it " + Show(cutOutput);
    }
    return {};
}

// The pieces end at the last line end in each where the quotes before are
// even: over the rounds, near every quote and line break.
std::string CheckJobs(const ConversionCase& c, std::size_t pieceBytes) {
    ConversionCase one = c;
    one.options.jobs = 1;
    ConversionCase two = c;
    two.options.jobs = 2;
    std::string oneOutput;
    std::string twoOutput;
    const RunReport alone = Run(one, oneOutput);
    if (pieceBytes == 0) pieceBytes = 1 + (c.input.size() * 7 + c.piece) % 97;
    const RunReport apart = Run(two, twoOutput, nullptr, pieceBytes);
    if (twoOutput != oneOutput) return "two threads write " + Show(twoOutput) + ", one " + Show(oneOutput);
    if (apart.status != alone.status || apart.text != alone.text || apart.reason != alone.reason ||
        apart.counts.rows != alone.counts.rows || apart.counts.statements != alone.counts.statements ||
        apart.counts.mismatchedRows != alone.counts.mismatchedRows ||
        apart.counts.firstMismatchLine != alone.counts.firstMismatchLine || apart.counts.nulls != alone.counts.nulls ||
        apart.counts.droppedNuls != alone.counts.droppedNuls ||
        apart.counts.oversizedRows != alone.counts.oversizedRows ||
        apart.counts.firstOversizedLine != alone.counts.firstOversizedLine)
        return "two threads say " + apart.text + " " + apart.reason + ", one " + alone.text + " " + alone.reason;
    return {};
}

std::string CheckConversion(const ConversionCase& c) {
    ConversionCase plain = c;
    plain.options.createTable = false;
    std::string failure = c.options.createTable ? CheckCreateTable(c) : std::string();
    if (failure.empty()) failure = CheckRun(plain);
    if (failure.empty()) failure = CheckProblems(plain);
    if (failure.empty()) failure = CheckLastLine(c);
        // Under the sanitizers, whose threads cost most, a third of the cases.
#if defined(ROWSMITH_SANITIZED)
    const bool twoThreads = c.input.size() % 3 == 0;
#else
    const bool twoThreads = true;
#endif
    if (failure.empty() && twoThreads) failure = CheckJobs(plain);
    ConversionCase scanned = c;
    scanned.options.columns.clear();
    // Tab-separated input goes to COPY by the values alone.
    if (c.options.delimiter == '\t') scanned.options.copy = false;
    const bool ownRules = c.options.textExport || c.options.quote != '"' || c.options.escape != '\0' ||
                          c.options.skipSpaces || c.options.skipLines > 0;
    if (failure.empty()) {
        failure = ownRules            ? CheckRulesReader(scanned)
                  : c.options.rfc4180 ? CheckCsvReader(scanned)
                                      : CheckScanner(scanned);
    }
    return failure.empty() ? failure : failure + "\n  with " + Describe(c);
}

}  // namespace rowsmith::test
