#include "convert/detect/input_preview.h"

#include <algorithm>

#include "convert/run/conversion_run.h"
#include "convert/detect/format_detection.h"
#include "convert/options/input_list.h"
#include "convert/read/records.h"
#include "convert/read/row_rules.h"
#include "convert/sql/null_choice.h"
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

// The first lines of the statements a run writes from bytes: as many rows
// as asked, and what the run says when it writes none.
std::string FirstStatements(std::string_view bytes, const std::string& name, const ConversionSettings& settings,
                            const ConversionOptions& options, std::size_t rows) {
    UniqueFd output;
    OpenMemoryFile(output);
    if (output.get() < 0) return {};
    // BEGIN and COMMIT belong to the whole file, not to its first rows.
    ConversionOptions shown = options;
    shown.transaction = false;
    MemorySource input(bytes);
    MemorySource typing(bytes);
    RunContext run{input, name, output.get(), settings, shown};
    run.typingInput = options.createTable ? &typing : nullptr;
    // As many rows as records are shown, whatever comes before them.
    run.rowLimit = rows;
    const RunReport report = ConvertSource(run);
    std::string text;
    FileInfo info;
    std::size_t got = 0;
    if (Inspect(output.get(), info) == 0) text.resize(static_cast<std::size_t>(info.size));
    if (ReadAt(output.get(), text.data(), text.size(), 0, got) != 0 || got != text.size()) text.clear();
    std::erase(text, '\r');
    // Under the statements, what kept each text column so.
    for (const std::string& note : report.typeNotes) text += "\n" + note;
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
    // The file's start as detection reads it: decompressed, the text a
    // byte-order mark names decoded, cut after its last whole line unless
    // it is all of it.
    // Of several inputs, the first: the others must read as it does.
    const std::string name = InputNames(settings.inputFile).front();
    UniqueFd file;
    InputSample sample;
    std::string reason;
    if (const int error = OpenForReading(name, file)) {
        preview.problem = name + ": " + StatusText(error);
        return preview;
    }
    // Its start alone: the preview is drawn again at each change of an option.
    if (ReadSample(file.get(), sample, reason, false) != 0) {
        preview.problem = name + ": " + reason;
        return preview;
    }
    std::string head = sample.head.substr(0, InputPreview::kSampleBytes);
    if (!sample.whole || sample.head.size() > InputPreview::kSampleBytes) {
        const std::size_t end = head.find_last_of("\r\n");
        head.resize(end == std::string::npos ? 0 : end + 1);
    }
    // Text a mark named is decoded already.
    ConversionOptions reading = options;
    if (!sample.markEncoding.empty()) reading.encoding.clear();
    MemorySource memory(head);
    InputSource input(memory);
    int status = input.Open(reading.encoding);
    if (status == kUnknownEncoding) {
        preview.problem = UnknownEncodingText(reading.encoding);
        return preview;
    }
    Records read(input, reading, std::size_t{64} << 10, true);
    const NullChoice choice(options);
    std::vector<std::string> values;
    if (status == 0 && options.header && (status = read.NextHeader(values)) == 0) preview.titles = values;
    while (status == 0 && preview.records.size() < records && (status = read.Next()) == 0 &&
           (status = read.ReadValues()) == 0) {
        preview.records.emplace_back(read.values().begin(), read.values().end());
        std::vector<bool>& nulls = preview.nulls.emplace_back();
        for (std::size_t i = 0; i < read.values().size(); ++i) {
            const bool quoted = i < read.quoted().size() && read.quoted()[i];
            nulls.push_back(choice.Null(read.values()[i], quoted));
        }
    }
    // A sample cut inside a quoted field is no fault of the file.
    const bool cut = status == kUnclosedQuote && head.size() >= InputPreview::kSampleBytes / 2;
    if (status != 0 && status != kEndOfInput && !cut) preview.problem = read.Describe(status);
    preview.statements = FirstStatements(head, name, settings, reading, records);
    return preview;
}

}  // namespace rowsmith
