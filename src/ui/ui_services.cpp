#include "ui/ui_services.h"

#include <QAbstractItemView>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QPushButton>

#include "ui/about_box.h"
#include "ui/dialog_templates.h"
#include "ui/options_dlg.h"
#include "rowsmith_version.h"
#include "ui/string_table.h"

namespace rowsmith {

namespace {

void ShowMessageBox(QWidget* owner, const QString& text, const QString& caption, QMessageBox::Icon icon) {
    QMessageBox box(icon, caption, text, QMessageBox::Ok, owner);
    box.exec();
}

QStringList PickFile(QWidget* owner, const FilePickerRequest& request, const QString& current) {
    QFileDialog dialog(owner);
    // Where the file already named lies, that file chosen.
    if (!current.isEmpty()) {
        const QFileInfo named(current);
        if (named.absoluteDir().exists()) dialog.setDirectory(named.absoluteDir());
        if (named.isFile()) dialog.selectFile(named.fileName());
    }
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // A name that does not exist yet may be typed, for a new output file.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(NameFiltersFromList(request.filterList));
    dialog.setDefaultSuffix(SuffixFromDefaultExtension(request.defaultExtension));
    // Several files are picked with Ctrl or Shift held, while a new name
    // may still be typed: Qt's own dialog allows either only by its lists'
    // selection (a desktop's dialog picks one).
    if (request.several) {
        for (QAbstractItemView* view : dialog.findChildren<QAbstractItemView*>()) {
            if (view->objectName() == QLatin1String("listView") || view->objectName() == QLatin1String("treeView"))
                view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        }
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return request.several ? dialog.selectedFiles() : QStringList{dialog.selectedFiles().constFirst()};
}

// The help page, at the section of the context, goes to whatever the
// desktop opens web pages with.
// A help file at the section of a context.
QUrl HelpFileUrl(const QString& helpFile, unsigned context) {
    QUrl page = QUrl::fromLocalFile(helpFile);
    page.setFragment(HelpSection(context));
    return page;
}

bool OpenHelpFile(const QString& helpFile, unsigned context) {
    return QFileInfo(helpFile).isFile() && QDesktopServices::openUrl(HelpFileUrl(helpFile, context));
}

void RunAboutBox(QWidget* owner) {
    CAboutBox about(owner);
    about.exec();
}

int AskWithChoices(QWidget* owner, const QString& text, const QString& caption, const QStringList& choices) {
    const std::unique_ptr<QMessageBox> box = QuestionBox(owner, text, caption, choices);
    box->exec();
    const QAbstractButton* clicked = box->clickedButton();
    return clicked == nullptr ? -1 : static_cast<int>(choices.indexOf(clicked->text()));
}

std::optional<ConversionOptions> RunOptions(QWidget* owner, const ConversionOptions& options,
                                            const ConversionSettings& settings, UiServices& services) {
    COptionsDlg dialog(options, services, owner, settings);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.options();
}

}  // namespace

std::unique_ptr<QMessageBox> QuestionBox(QWidget* owner, const QString& text, const QString& caption,
                                         const QStringList& choices) {
    auto box = std::make_unique<QMessageBox>(QMessageBox::Question, caption, text, QMessageBox::NoButton, owner);
    QPushButton* first = nullptr;
    for (const QString& choice : choices) {
        QPushButton* button = box->addButton(choice, QMessageBox::YesRole);
        if (first == nullptr) first = button;
    }
    box->setEscapeButton(box->addButton(QMessageBox::No));
    if (first != nullptr) box->setDefaultButton(first);
    return box;
}

UiServices DefaultUiServices() {
    UiServices services;
    services.showMessage = ShowMessageBox;
    services.pickFile = PickFile;
    services.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    services.launchHelp = OpenHelpFile;
    services.showAbout = RunAboutBox;
    services.loadString = LoadString;
    // The Options dialog shows its own messages through the same services.
    services.ask = AskWithChoices;
    services.editOptions = [messages = services](QWidget* owner, const ConversionOptions& options,
                                                 const ConversionSettings& settings) mutable {
        return RunOptions(owner, options, settings, messages);
    };
    return services;
}

namespace {
QString helpPageOverride;
}  // namespace

void SetHelpPagePath(const QString& path) {
    helpPageOverride = path;
}

QString HelpPagePath() {
    if (!helpPageOverride.isEmpty()) return helpPageOverride;
    const QString programDir = QCoreApplication::applicationDirPath();
    const QString candidates[] = {
        programDir + QStringLiteral("/help.htm"),                    // a build tree
        programDir + QStringLiteral("/../share/rowsmith/help.htm"),  // an installation, wherever it is
        QStringLiteral(ROWSMITH_DATA_DIR "/help.htm"),               // where this build installs
    };
    for (const QString& candidate : candidates) {
        if (QFileInfo(candidate).isFile()) return QFileInfo(candidate).canonicalFilePath();
    }
    return candidates[2];
}

QUrl HelpPageUrl(unsigned context) {
    const QString host = QStringLiteral(ROWSMITH_HELP_HOST);
    if (!host.isEmpty()) return QUrl(QStringLiteral("http://") + host + QStringLiteral("/rowsmith/help.htm"));
    return HelpFileUrl(HelpPagePath(), context);
}

QString ProgramName() {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

QString HelpSection(unsigned context) {
    switch (context - 0x20000) {
        case kAboutBoxTemplateId:
            return QStringLiteral("about-box");
        case kOptionsTemplateId:
            return QStringLiteral("options");
        default:
            return QStringLiteral("main-window");
    }
}

}  // namespace rowsmith
