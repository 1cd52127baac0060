#include <cstdio>

#include "app/converter_app.h"
#include "rowsmith_version.h"

namespace {

// Writes text to a stream; false when it could not be written.
bool Print(std::FILE* stream, const char* text) {
    return std::fputs(text, stream) >= 0 && std::fflush(stream) == 0;
}

}  // namespace

// Answers --help and --version; -1 for anything else.
int Answer(const rowsmith::StartupArguments& arguments) {
    switch (arguments.action) {
        case rowsmith::StartupArguments::Action::Help:
            return Print(stdout, rowsmith::kStartupHelpText) ? 0 : 1;
        case rowsmith::StartupArguments::Action::Version:
            return Print(stdout, "rowsmith (Rowsmith) " ROWSMITH_VERSION "\n") ? 0 : 1;
        default:
            return -1;
    }
}

int main(int argc, char** argv) {
    // --help and --version answer before any window, even without a display.
    if (const int status = Answer(rowsmith::ParseStartupArguments(argc, argv)); status >= 0) return status;
    rowsmith::CConverterApp app(argc, argv);
    // Qt has taken its own options (such as -platform) out of argv by now.
    const rowsmith::StartupArguments arguments = rowsmith::ParseStartupArguments(argc, argv);
    if (const int status = Answer(arguments); status >= 0) return status;
    if (arguments.action == rowsmith::StartupArguments::Action::UsageError) {
        std::fprintf(stderr, "rowsmith: %s\nUsage: rowsmith [FILE]\n", arguments.error.c_str());
        return 2;
    }
    return app.InitInstance(arguments.inputFile);
}
