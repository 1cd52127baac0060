#pragma once

#include <QApplication>
#include <memory>
#include <string>

#include "app/sockets_layer.h"
#include "ui/command_table.h"
#include "ui/ui_services.h"

namespace rowsmith {

// What the program's command line asks for: rowsmith [FILE], or --help or
// --version. Qt's own options are gone from argv by the time it is read.
struct StartupArguments {
    enum class Action { Run, Help, Version, UsageError };
    Action action = Action::Run;
    std::string inputFile;  // FILE, as its bytes
    std::string error;      // with UsageError: what is wrong
};
StartupArguments ParseStartupArguments(int argc, char** argv);
extern const char* const kStartupHelpText;

// The application: checks the sockets layer, runs the main window modally
// and ends when it closes. F1 anywhere asks for help on the window that has
// the focus.
class CConverterApp : public QApplication {
    Q_OBJECT
public:
    static constexpr int kIdHelpCommand = 57670;
    static constexpr unsigned kHelpContextBase = 0x20000;
    static constexpr SocketsVersion kSocketsVersion{1, 1};

    CConverterApp(int& argc, char** argv);
    ~CConverterApp() override;

    // The start-up: the sockets check, then the main window until it closes,
    // with inputFile (when not empty) in its Input File box. Returns the
    // process's exit status: 0, 1 when the start-up failed, or 128 + the
    // signal that ended it.
    int InitInstance(const std::string& inputFile = {});

    // Runs the application command with this ID; false when there is none.
    bool OnCommand(int id);

    // The help file: the help page installed with the program, whose
    // sections F1 opens for each dialog.
    static QString HelpFilePath();

    UiServices& services() { return services_; }
    void SetSocketsLayer(std::unique_ptr<SocketsLayer> layer) { sockets_ = std::move(layer); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static const CommandEntry<CConverterApp> kCommands[];

    bool StartSockets();
    void CatchTermination();
    void OnHelp();

    UiServices services_;
    std::unique_ptr<SocketsLayer> sockets_;
    QWidget* helpWindow_ = nullptr;  // the window F1 was pressed in
};

}  // namespace rowsmith
