#include "app/converter_app.h"

#include <QFileInfo>
#include <QKeyEvent>
#include <QVariant>
#include <QWidget>

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <vector>

#include "convert/options/input_list.h"
#include "io/stop_request.h"
#include "rowsmith_version.h"
#include "ui/converter_dlg.h"
#include "ui/string_table.h"

namespace rowsmith {

namespace {

class DefaultSocketsLayer : public SocketsLayer {
public:
    bool Start(SocketsVersion requested, SocketsVersion& answered) override {
        answered = requested;
        return true;
    }
    void Release() override {}
};

}  // namespace

std::unique_ptr<SocketsLayer> MakeDefaultSocketsLayer() {
    return std::make_unique<DefaultSocketsLayer>();
}

const CommandEntry<CConverterApp> CConverterApp::kCommands[] = {
    {kIdHelpCommand, &CConverterApp::OnHelp},
};

CConverterApp::CConverterApp(int& argc, char** argv)
    : QApplication(argc, argv), services_(DefaultUiServices()), sockets_(MakeDefaultSocketsLayer()) {
    setApplicationName(QStringLiteral("Rowsmith"));
    setApplicationVersion(QStringLiteral(ROWSMITH_VERSION));
    installEventFilter(this);
}

CConverterApp::~CConverterApp() = default;

const char* const kStartupHelpText =
    "Usage: rowsmith [FILE]...\n"
    "Turn comma-separated text into SQL INSERT statements, in a window.\n"
    "\n"
    "FILE goes into the Input File box; the other values come from db.ini in the\n"
    "current folder, where they are kept when the window closes. Several FILEs go\n"
    "there as a list (\"a.csv\" \"b.csv\"), converted in turn into one table.\n"
    "\n"
    "      --help      show this help and exit\n"
    "      --version   show the version and exit\n"
    "\n"
    "rowsmith-convert(1) converts on the command line; man rowsmith tells more.\n";

StartupArguments ParseStartupArguments(int argc, char** argv) {
    StartupArguments arguments;
    std::vector<std::string> files;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (!optionsEnded && word == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && word == "--help") {
            arguments.action = StartupArguments::Action::Help;
            return arguments;
        } else if (!optionsEnded && word == "--version") {
            arguments.action = StartupArguments::Action::Version;
            return arguments;
        } else if (!optionsEnded && word.size() > 1 && word[0] == '-') {
            arguments.action = StartupArguments::Action::UsageError;
            arguments.error = "unknown option " + word;
            return arguments;
        } else {
            files.push_back(word);
        }
    }
    // Several files go into the box as a list, read in turn into one table.
    if (!files.empty()) arguments.inputFile = InputListText(files);
    return arguments;
}

int CConverterApp::InitInstance(const std::string& inputFile) {
    if (!StartSockets()) {
        services_.showMessage(nullptr, services_.loadString(kStrSocketsFailed), ProgramName(), QMessageBox::Warning);
        return 1;
    }
    CatchTermination();
    {
        // Lives for exactly the modal run; it saves the settings as it goes.
        CConverterDlg dialog(services_);
        if (!inputFile.empty()) dialog.OpenWithInput(inputFile);
        dialog.exec();
    }
    const int signal = StopSignal();
    return signal != 0 ? 128 + signal : 0;
}

namespace {

int terminationPipe[2] = {-1, -1};

void OnTermination(int signal) {
    RequestStop(signal);
    const char byte = 1;
    if (::write(terminationPipe[1], &byte, 1) < 0) {
        // The stop request alone still ends a conversion.
    }
}

}  // namespace

// SIGTERM ends a conversion after the statement being written and closes
// every window as Escape would, so the settings are saved on the way out.
// The handler only sets a flag and wakes the event loop through a pipe.
void CConverterApp::CatchTermination() {
    if (terminationPipe[0] < 0 && ::pipe2(terminationPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto* notifier = new QSocketNotifier(terminationPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [] {
        char bytes[16];
        while (::read(terminationPipe[0], bytes, sizeof bytes) > 0) {
        }
        QApplication::closeAllWindows();
    });
    // The notifier is the application's child, which deletes it; the
    // analyzer's shallow mode does not follow Qt's parents.
    // NOLINTNEXTLINE(clang-analyzer-cplusplus.NewDeleteLeaks)
    struct sigaction action {};
    action.sa_handler = OnTermination;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
}

bool CConverterApp::StartSockets() {
    SocketsVersion answered{};
    if (!sockets_->Start(kSocketsVersion, answered)) return false;
    if (answered != kSocketsVersion) {
        sockets_->Release();
        return false;
    }
    return true;
}

bool CConverterApp::OnCommand(int id) {
    return DispatchCommand(*this, kCommands, id);
}

QString CConverterApp::HelpFilePath() {
    return HelpPagePath();
}

bool CConverterApp::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1 &&
        watched->isWidgetType()) {
        helpWindow_ = static_cast<QWidget*>(watched)->window();
        return OnCommand(kIdHelpCommand);
    }
    return QApplication::eventFilter(watched, event);
}

// Asks the help engine for the page of the dialog F1 was pressed in.
void CConverterApp::OnHelp() {
    const QVariant templateId = helpWindow_ ? helpWindow_->property("templateId") : QVariant();
    if (!templateId.isValid()) return;
    const unsigned context = kHelpContextBase + templateId.toUInt();
    const QString page = HelpFilePath();
    if (!services_.launchHelp(page, context)) {
        // Where the page is, or should be, so that it can be opened by hand or put back.
        const QString where = QFileInfo(page).isFile() ? QStringLiteral("\n\nThe help page is ") + page
                                                       : QStringLiteral("\n\nThere is no help page at ") + page;
        services_.showMessage(helpWindow_, services_.loadString(kStrHelpFailed) + where + QLatin1Char('.'),
                              ProgramName(), QMessageBox::Warning);
    }
}

}  // namespace rowsmith
