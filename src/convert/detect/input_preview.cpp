#include "convert/detect/input_preview.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>

#include "convert/run/conversion_run.h"
#include "convert/read/csv_reader.h"
#include "convert/read/row_rules.h"
#include "io/byte_source.h"
#include "io/file_system.h"
#include "io/gzip_source.h"
#include "io/iconv_source.h"
#include "io/input_source.h"
#include "io/open_file.h"
#include "io/status.h"
#include "io/text_mode_reader.h"
#include "io/unique_fd.h"

namespace rowsmith {

namespace {

// The file's first bytes, cut after its last whole line unless they are
// all of it (or compressed, where a cut means nothing).
int ReadHead(const std::string& path, std::string& head) {
    UniqueFd file;
    if (const int error = OpenForReading(path, file)) return error;
    head.resize(InputPreview::kSampleBytes + 1);
    std::size_t have = 0;
    while (have < head.size()) {
        const ssize_t got = ::read(file.get(), head.data() + have, head.size() - have);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return errno;
        if (got == 0) break;
        have += static_cast<std::size_t>(got);
    }
    head.resize(std::min(have, InputPreview::kSampleBytes));
    if (have > InputPreview::kSampleBytes && !StartsLikeGzip(head.data(), head.size())) {
        const std::size_t end = head.find_last_of("\r\n");
        head.resize(end == std::string::npos ? 0 : end + 1);
    }
    return 0;
}

// Reads up to wanted records (and the header first) as the options read them.
class RecordsOf {
public:
    RecordsOf(std::string_view bytes, const ConversionOptions& options) : memory_(bytes), input_(memory_) {
        error_ = input_.Open(options.encoding);
        if (error_ != 0) return;
        if (options.rfc4180) {
            csv_.emplace(input_, options.delimiter, std::size_t{64} << 10);
        } else {
            lines_.emplace(input_, std::size_t{64} << 10);
        }
        delimiter_ = options.delimiter;
    }
    // The next record's values; false at the end or on an error (error()).
    bool Next(std::vector<std::string>& values) {
        if (error_ != 0) return false;
        std::uint64_t line = 0;
        if (csv_) {
            std::vector<std::string_view> views;
            error_ = csv_->Next(views, line);
            values.assign(views.begin(), views.end());
        } else {
            std::string_view text;
            error_ = lines_->NextLine(text);
            if (error_ == 0) values = SplitRow(text, delimiter_);
        }
        return error_ == 0;
    }
    int error() const { return error_ == kEndOfInput ? 0 : error_; }
    std::string Describe() const {
        if (error_ == kUnknownEncoding) return "the character set is not known";
        return csv_ ? csv_->Describe(error_) : input_.Describe(error_);
    }

private:
    MemorySource memory_;
    InputSource input_;
    std::optional<CsvReader> csv_;
    std::optional<TextModeReader> lines_;
    char delimiter_ = ',';
    int error_ = 0;
};

// The first lines of the statements a run writes from bytes: as many rows
// as asked, and what the run says when it writes none.
std::string FirstStatements(std::string_view bytes, const ConversionSettings& settings,
                            const ConversionOptions& options, std::size_t rows) {
    UniqueFd output;
    OpenMemoryFile(output);
    if (output.get() < 0) return {};
    // BEGIN and COMMIT belong to the whole file, not to its first rows.
    ConversionOptions shown = options;
    shown.transaction = false;
    MemorySource input(bytes);
    MemorySource typing(bytes);
    RunContext run{input, settings.inputFile, output.get(), settings, shown};
    run.typingInput = options.createTable ? &typing : nullptr;
    const RunReport report = ConvertSource(run);
    std::string text;
    FileInfo info;
    std::size_t got = 0;
    if (Inspect(output.get(), info) == 0) text.resize(static_cast<std::size_t>(info.size));
    if (ReadAt(output.get(), text.data(), text.size(), 0, got) != 0 || got != text.size()) text.clear();
    std::erase(text, '\r');
    // A row a line, after the lines that come before the first row.
    std::size_t lines = 0;
    const std::size_t wanted = rows + (options.createTable ? 12 : 1);
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '\n' && ++lines == wanted) text.resize(at + 1);
    }
    if (report.status != RunStatus::Done && (report.status != RunStatus::ReadFailed || text.empty())) {
        text += report.text;
        if (!report.reason.empty() && report.text.find(report.reason) == std::string::npos)
            text.append(" ").append(report.reason);
    }
    return text;
}

}  // namespace

InputPreview PreviewInput(const ConversionSettings& settings, const ConversionOptions& options, std::size_t records) {
    InputPreview preview;
    std::string head;
    if (const int error = ReadHead(settings.inputFile, head)) {
        preview.problem = settings.inputFile + ": " + StatusText(error);
        return preview;
    }
    RecordsOf reading(head, options);
    std::vector<std::string> values;
    if (options.header && reading.Next(values)) preview.titles = values;
    while (preview.records.size() < records && reading.Next(values)) preview.records.push_back(values);
    // A sample cut inside a quoted field is no fault of the file.
    if (reading.error() != 0 && !(reading.error() == kUnclosedQuote && head.size() >= InputPreview::kSampleBytes / 2))
        preview.problem = reading.Describe();
    preview.statements = FirstStatements(head, settings, options, records);
    return preview;
}

}  // namespace rowsmith
