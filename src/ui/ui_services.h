#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

#include "convert/options/conversion_options.h"
#include "convert/options/conversion_settings.h"
#include "ui/file_filters.h"

class QWidget;

namespace rowsmith {

// The modal and outside-world services the windows use. Each has a real
// implementation; tests replace them so that nothing blocks or leaves the
// machine.
struct UiServices {
    // A modal message box with one OK button, owned by owner (may be null).
    std::function<void(QWidget* owner, const QString& text, const QString& caption, QMessageBox::Icon icon)>
        showMessage;
    // The Open-file dialog, in the folder of current (the file the box
    // names, may be empty); the chosen files' full paths (one unless the
    // request allows several), or none on cancel.
    std::function<QStringList(QWidget* owner, const FilePickerRequest& request, const QString& current)> pickFile;
    // Opens a page in the user's browser; false when that could not start.
    std::function<bool(const QUrl& url)> openUrl;
    // Shows help context of helpFile; false when the file is missing or no
    // viewer could be started.
    std::function<bool(const QString& helpFile, unsigned context)> launchHelp;
    // Runs the About box modally over owner.
    std::function<void(QWidget* owner)> showAbout;
    // Runs the Options dialog modally over owner, its preview made of the
    // input and names settings holds: the options OK kept, or nothing after Cancel.
    std::function<std::optional<ConversionOptions>(QWidget* owner, const ConversionOptions& options,
                                                   const ConversionSettings& settings)>
        editOptions;
    // A question with a button for each of choices (each a way of saying
    // yes, the first the default) and No: the index of the choice, or -1
    // for No.
    std::function<int(QWidget* owner, const QString& text, const QString& caption, const QStringList& choices)> ask;
    // The string table.
    std::function<QString(int id)> loadString;
};

// The box ask shows: the question, a button for each choice, then No.
std::unique_ptr<QMessageBox> QuestionBox(QWidget* owner, const QString& text, const QString& caption,
                                         const QStringList& choices);

// The services a real desktop session uses.
UiServices DefaultUiServices();

// The help page installed with the program (the first place that holds
// one, or where the installation puts it), and its section for a help
// context (0x20000 plus a dialog's template number).
QString HelpPagePath();
QString HelpSection(unsigned context);
// The address of the help page at the section of a context: the installed
// page, unless the build names an online one.
QUrl HelpPageUrl(unsigned context);
// The program file's name without its extension: the caption of the
// program's own messages.
QString ProgramName();

// Names the help page instead (tests); an empty path looks for it again.
void SetHelpPagePath(const QString& path);

}  // namespace rowsmith
