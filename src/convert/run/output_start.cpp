#include "convert/run/output_start.h"

#include <string>

#include "convert/sql/script_end.h"
#include "io/file_system.h"
#include "io/status.h"
#include "io/text_mode.h"

namespace rowsmith {

std::optional<RunReport> ReadyOutput(int tailFd, int outputFd, const ConversionOptions& options, OutputStart& start) {
    if (tailFd < 0) return std::nullopt;
    ScriptEnd end;
    if (ReadScriptEnd(tailFd, options.dialect, end) != 0) return std::nullopt;
    start.insideTransaction = end.insideTransaction;
    if (!end.CutShort()) return std::nullopt;
    RunReport refused = MakeReport(RunStatus::UnsafeOutput, kUnsafeOutputMessage);
    const std::string shown(TrimTrailingSpace(end.tail.substr(0, end.tail.find_first_of("\r\n"))));
    if (!RowsmithsCutStatement(end.tail)) {
        refused.reason = "it ends with text that is not a whole statement (\"" + shown +
                         "\"), which Rowsmith did not write: nothing was appended to it";
        return refused;
    }
    if (const int error = CutFile(outputFd, end.wholeEnd)) {
        refused.error = error;
        refused.reason = "it ends with part of a statement cut short (\"" + shown + "\"), which cannot be taken out (" +
                         StatusText(refused.error) + "): nothing was appended to it";
        return refused;
    }
    start.cutBytes = end.size - end.wholeEnd;
    return std::nullopt;
}

}  // namespace rowsmith
