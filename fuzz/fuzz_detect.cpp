// Detection on any bytes: it says every line it promises, the options line
// it ends with reads back through the command line as the options it
// proposes, and a run with those options is told of nothing more.
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "convert/detect/format_detection.h"
#include "reference_rules.h"

namespace {

[[noreturn]] void Fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
    std::abort();
}

// The reading options --sniff proposes, as the command line reads them.
rowsmith::ConversionOptions Reread(const std::string& optionsLine) {
    std::vector<std::string> words = rowsmith::reference::ShellWords(optionsLine);
    words.insert(words.begin(), {"rowsmith-convert", "--sniff"});
    words.emplace_back("in.csv");
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const rowsmith::CommandLine line = rowsmith::ParseCommandLine(static_cast<int>(words.size()), argv.data());
    if (line.action != rowsmith::CommandLine::Action::Sniff) Fail("the options line does not parse", line.error);
    return line.options;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte: whether the sample is the whole input.
    rowsmith::InputSample sample;
    sample.whole = (data[0] & 1) != 0;
    sample.head.assign(reinterpret_cast<const char*>(data) + 1, size - 1);
    const rowsmith::Detection detection = rowsmith::DetectFormat(sample);
    const std::string report = rowsmith::DetectionReport(detection);
    for (const char* key :
         {"encoding: ", "delimiter: ", "quoting: ", "header: ", "line ends: ", "records sampled: ", "field counts: "}) {
        if (report.find(std::string("\n") + key) == std::string::npos && report.rfind(key, 0) != 0)
            Fail("a line is missing", key);
    }
    const std::size_t last = report.rfind("\noptions:");
    if (last == std::string::npos || report.back() != '\n') Fail("no options line at the end", report);
    std::string line = report.substr(last + 9, report.size() - last - 10);
    if (!line.empty() && line.front() == ' ') line.erase(0, 1);
    const rowsmith::ConversionOptions reread = Reread(line);
    if (reread != rowsmith::WithReadingOf({}, detection)) Fail("the options line reads otherwise", line);
    if (!rowsmith::Misfits(detection, reread).empty()) Fail("the proposed options still misfit", line);
    return 0;
}
