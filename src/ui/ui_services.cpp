#include "ui/ui_services.h"

#include <QDesktopServices>
#include <QFileDialog>

#include "ui/about_box.h"
#include "ui/string_table.h"

namespace rowsmith {

namespace {

void ShowMessageBox(QWidget* owner, const QString& text, const QString& caption, QMessageBox::Icon icon) {
    QMessageBox box(icon, caption, text, QMessageBox::Ok, owner);
    box.exec();
}

std::optional<QString> PickFile(QWidget* owner, const FilePickerRequest& request) {
    QFileDialog dialog(owner);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // A name that does not exist yet may be typed, for a new output file.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(NameFiltersFromList(request.filterList));
    dialog.setDefaultSuffix(SuffixFromDefaultExtension(request.defaultExtension));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

// The help file goes to whatever the desktop opens such files with; the
// context has no meaning to a plain viewer.
bool OpenHelpFile(const QString& helpFile, unsigned /*context*/) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(helpFile));
}

void RunAboutBox(QWidget* owner) {
    CAboutBox about(owner);
    about.exec();
}

}  // namespace

UiServices DefaultUiServices() {
    return UiServices{
        ShowMessageBox, PickFile,    [](const QUrl& url) { QDesktopServices::openUrl(url); },
        OpenHelpFile,   RunAboutBox, LoadString,
    };
}

}  // namespace rowsmith
