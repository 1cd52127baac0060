#pragma once

#include <QMessageBox>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

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
    // The Open-file dialog; the chosen file's full path, or nothing on cancel.
    std::function<std::optional<QString>(QWidget* owner, const FilePickerRequest& request)> pickFile;
    // Opens a web page in the user's browser.
    std::function<void(const QUrl& url)> openUrl;
    // Shows help context of helpFile; false when no viewer could be started.
    std::function<bool(const QString& helpFile, unsigned context)> launchHelp;
    // Runs the About box modally over owner.
    std::function<void(QWidget* owner)> showAbout;
    // The string table.
    std::function<QString(int id)> loadString;
};

// The services a real desktop session uses.
UiServices DefaultUiServices();

}  // namespace rowsmith
