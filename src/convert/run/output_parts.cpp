#include "convert/run/output_parts.h"

#include <cstdio>
#include <new>
#include <utility>

#include "convert/options/option_table.h"
#include "io/open_file.h"
#include "io/replace_file.h"
#include "io/status.h"
#include "io/text_mode.h"

namespace rowsmith {

namespace {

// The output's name without its extension, and the extension with its dot
// ("" for none; a name's leading dot starts no extension).
std::pair<std::string, std::string> StemAndExtension(const std::string& output) {
    const std::size_t slash = output.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = output.rfind('.');
    if (dot == std::string::npos || dot <= nameStart) return {output, ""};
    return {output.substr(0, dot), output.substr(dot)};
}

// A name as a JSON string: as it is where it is UTF-8; where it is not,
// each byte above 0x7F as the Latin-1 character of that number.
std::string JsonString(const std::string& bytes) {
    const bool utf8 = IsUtf8(bytes);
    std::string text = "\"";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            text.append("\\").push_back(c);
        } else if (byte < 0x20 || (byte >= 0x80 && !utf8)) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            text += escaped;
        } else {
            text += c;
        }
    }
    return text + "\"";
}

// The part's name in the manifest: in the output's folder, without it.
std::string BaseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string OutputParts::PartName(const std::string& output, std::size_t number) {
    const auto [stem, extension] = StemAndExtension(output);
    if (number == 0) return stem + ".create" + extension;
    char digits[24];
    std::snprintf(digits, sizeof digits, ".%05zu", number);
    return stem + digits + extension;
}

std::string OutputParts::ManifestName(const std::string& output) {
    return StemAndExtension(output).first + ".manifest.json";
}

OutputParts::OutputParts(std::string output, std::vector<FileInfo> inputs)
    : output_(std::move(output)), manifest_(ManifestName(output_)), inputs_(std::move(inputs)) {}

OutputParts::~OutputParts() = default;

bool OutputParts::IsInput(const std::string& name) const {
    UniqueFd there;
    FileInfo info;
    if (OpenForReading(name, there) != 0 || Inspect(there.get(), info) != 0) return false;
    for (const FileInfo& input : inputs_) {
        if (SameFile(info, input)) return true;
    }
    return false;
}

int OutputParts::Remove(const std::string& name) {
    failed_ = name;
    if (IsInput(name)) return kPartIsInput;
    if (const int error = RemoveFile(name.c_str())) return error;
    failed_.clear();
    return 0;
}

int OutputParts::Start(bool tablePart) {
    if (const int error = Remove(manifest_)) return error;
    // A table part of an earlier run would be loaded first with this run's.
    if (!tablePart) {
        if (const int error = Remove(PartName(output_, 0))) return error;
    }
    return Open(tablePart ? 0 : 1);
}

int OutputParts::Open(std::size_t number) {
    number_ = number;
    facts_ = PartFacts{PartName(output_, number), number == 0};
    failed_ = facts_.file;
    ours_ = false;
    // Opened without cutting first: a part that is one of the inputs stays as it is.
    if (const int error = OpenForAppending(facts_.file, fd_)) return error;
    FileInfo info;
    if (const int error = Inspect(fd_.get(), info)) return error;
    for (const FileInfo& input : inputs_) {
        if (SameFile(info, input)) return kPartIsInput;
    }
    ours_ = true;
    if (const int error = CutFile(fd_.get(), 0)) return error;
    failed_.clear();
    current_.reset();
    return 0;
}

StatementOutput& OutputParts::Output(std::size_t blockSize) {
    blockSize_ = blockSize;
    if (!current_) {
        current_ = std::make_unique<StatementOutput>(fd_.get(), blockSize_);
        current_->HashInto(&hash_);
    }
    return *current_;
}

void OutputParts::AddRow(const std::string& input, std::uint64_t line) {
    if (facts_.rows++ == 0) facts_.span.firstInput = input, facts_.span.firstLine = line;
    facts_.span.lastInput = input;
    facts_.span.lastLine = line;
}

int OutputParts::Close() {
    failed_ = facts_.file;
    if (const int error = current_->Flush()) return error;
    facts_.bytes = current_->bytesWritten();
    current_.reset();
    facts_.sha256 = hash_.Hex();
    // On the disk before the manifest says it is whole.
    if (const int error = SyncToDisk(fd_.get())) return error;
    if (const int error = fd_.Close()) return error;
    failed_.clear();
    ours_ = false;
    done_.push_back(std::move(facts_));
    return 0;
}

int OutputParts::Next() {
    int error = Close();
    if (error == 0) error = Open(number_ + 1);
    if (error != 0) {
        // The run ends with the error; what it writes before it ends goes nowhere.
        current_.reset();
        fd_.Close();
        if (OpenNowhere(fd_) != 0) throw std::bad_alloc();
        current_ = std::make_unique<StatementOutput>(fd_.get(), blockSize_);
        return error;
    }
    Output(blockSize_);
    return 0;
}

int OutputParts::Finish(const std::vector<std::string>& inputNames, const ConversionOptions& options,
                        const std::string& table) {
    if (const int error = Close()) return error;
    // Parts an earlier run wrote past this run's last one.
    for (std::size_t number = number_ + 1;; ++number) {
        const std::string stale = PartName(output_, number);
        UniqueFd there;
        if (OpenForReading(stale, there) != 0) break;
        if (const int error = Remove(stale)) return error;
    }
    failed_ = manifest_;
    if (const int error = ReplaceFile(manifest_, ManifestText(done_, inputNames, options, table))) return error;
    failed_.clear();
    return 0;
}

void OutputParts::Abandon() {
    if (current_) current_->Flush();
    current_.reset();
    fd_.Close();
    if (ours_) RemoveFile(facts_.file.c_str());
}

std::string ManifestText(const std::vector<PartFacts>& parts, const std::vector<std::string>& inputNames,
                         const ConversionOptions& options, const std::string& table) {
    std::string text = "{\n  \"inputs\": [";
    for (std::size_t i = 0; i < inputNames.size(); ++i)
        text.append(i == 0 ? "" : ", ").append(JsonString(inputNames[i]));
    text.append("],\n  \"table\": ").append(JsonString(table)).append(",\n  \"options\": {");
    bool first = true;
    for (const OptionFact& fact : OptionFacts()) {
        const std::string value = fact.get(options);
        // The threads a run took change nothing in what it wrote.
        if (value.empty() || fact.name == "jobs") continue;
        text.append(first ? "" : ", ")
            .append(JsonString(std::string(fact.name)))
            .append(": ")
            .append(JsonString(value));
        first = false;
    }
    // Rows of one key may sit in two parts: loaded at once, which one's
    // values win is the server's race.
    const bool inOrder = options.onConflict != OnConflict::None;
    text.append("},\n  \"loadInOrder\": ").append(inOrder ? "true" : "false").append(",\n  \"parts\": [");
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const PartFacts& part = parts[i];
        text.append(i == 0 ? "\n" : ",\n").append("    {\"file\": ").append(JsonString(BaseName(part.file)));
        if (part.table) text.append(", \"createsTable\": true");
        text.append(", \"rows\": ").append(std::to_string(part.rows));
        if (part.rows != 0) {
            text.append(", \"first\": {\"input\": ").append(JsonString(part.span.firstInput));
            text.append(", \"line\": ").append(std::to_string(part.span.firstLine));
            text.append("}, \"last\": {\"input\": ").append(JsonString(part.span.lastInput));
            text.append(", \"line\": ").append(std::to_string(part.span.lastLine)).append("}");
        }
        text.append(", \"bytes\": ").append(std::to_string(part.bytes));
        text.append(", \"sha256\": \"").append(part.sha256).append("\"}");
    }
    return text + "\n  ]\n}\n";
}

}  // namespace rowsmith
