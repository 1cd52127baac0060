#include "ui/converter_dlg.h"

#include <QContextMenuEvent>
#include <QFile>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <filesystem>
#include <system_error>

#include "convert/conversion_run.h"
#include "convert/stop_request.h"
#include "rowsmith_version.h"
#include "settings/settings_file.h"
#include "ui/app_icon.h"
#include "ui/conversion_progress.h"
#include "ui/dialog_templates.h"
#include "ui/string_table.h"

namespace rowsmith {

namespace {

// The boxes and the members they show, in the order they are exchanged.
struct BoxBinding {
    int id;
    std::string ConversionSettings::*member;
};

constexpr BoxBinding kBoxes[] = {
    {kIdFieldNames, &ConversionSettings::fieldNames},
    {kIdInputFile, &ConversionSettings::inputFile},
    {kIdOutputFile, &ConversionSettings::outputFile},
    {kIdTableName, &ConversionSettings::tableName},
};

constexpr FilePickerRequest kInputPicker{
    "*.csv", "CSV Files (*.csv)|*.csv|Tab Delimited Files (*.tab)|*.tab|All Files (*.*)|*.*||"};
constexpr FilePickerRequest kOutputPicker{"*.sql", "SQL Files (*.sql)|*.sql|All Files (*.*)|*.*||"};

// The record holds bytes; the boxes show them as the locale's text.
QString FromBytes(const std::string& bytes) {
    return QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string ToBytes(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

// Puts the current directory back on leaving a scope: "db.ini" and
// "db.csv" are named relative to it, so a file picker must not move it.
class CurrentDirectoryKeeper {
public:
    CurrentDirectoryKeeper() : saved_(std::filesystem::current_path(ignored_)) {}
    ~CurrentDirectoryKeeper() {
        if (!saved_.empty()) std::filesystem::current_path(saved_, ignored_);
    }
    CurrentDirectoryKeeper(const CurrentDirectoryKeeper&) = delete;
    CurrentDirectoryKeeper& operator=(const CurrentDirectoryKeeper&) = delete;

private:
    std::error_code ignored_;
    std::filesystem::path saved_;
};

constexpr Qt::WindowFlags kDialogFlags = Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint;

}  // namespace

const CommandEntry<CConverterDlg> CConverterDlg::kCommands[] = {
    {kIdBrowseInput, &CConverterDlg::OnBrowseInput},
    {kIdBrowseOutput, &CConverterDlg::OnBrowseOutput},
    {kIdConvert, &CConverterDlg::OnConvert},
    {kIdHelp, &CConverterDlg::OnHelp},
    {kIdOk, &CConverterDlg::OnQuit},
    {kIdCancel, &CConverterDlg::OnCancel},
    {kIdAboutCommand, &CConverterDlg::OnAbout},
};

QUrl HelpPageUrl() {
    return QUrl(QStringLiteral("http://" ROWSMITH_WEB_HOST "/rowsmith/help.htm"));
}

CConverterDlg::CConverterDlg(UiServices services, QWidget* parent)
    : QDialog(parent, kDialogFlags), services_(std::move(services)) {
    const QIcon icon = AppIcon();
    BuildDialog(*this, kConverterTemplate, icon);
    setWindowIcon(icon);
    for (const CommandEntry<CConverterDlg>& command : kCommands) {
        if (auto* button = findChild<QPushButton*>(QString::number(command.id))) {
            connect(button, &QPushButton::clicked, this, [this, id = command.id] { OnCommand(id); });
        }
    }
    auto* menuKey = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), this);
    connect(menuKey, &QShortcut::activated, this, [this] { ShowWindowMenu(mapToGlobal(QPoint(0, 0))); });

    PullFields();
    LoadSettings(settings_, *this);
    PushFields();
    Box(kIdInputFile)->setFocus();
}

CConverterDlg::~CConverterDlg() {
    SaveSettings(settings_, *this);
}

void CConverterDlg::ShowMessage(const std::string& text, const std::string& caption) {
    // Asked to end (SIGTERM): nobody is there to dismiss a message.
    if (StopSignal() != 0) return;
    services_.showMessage(this, FromBytes(text), FromBytes(caption), QMessageBox::NoIcon);
}

bool CConverterDlg::OnCommand(int id) {
    return DispatchCommand(*this, kCommands, id);
}

void CConverterDlg::OnSysCommand(int id) {
    if ((id & ~0xF) == kIdAboutCommand) {
        OnCommand(kIdAboutCommand);
    } else if (id == kIdCancel) {
        OnCommand(kIdCancel);
    }
}

std::unique_ptr<QMenu> CConverterDlg::CreateWindowMenu() {
    auto menu = std::make_unique<QMenu>(this);
    auto add = [this, &menu](const QString& text, int id) {
        connect(menu->addAction(text), &QAction::triggered, this, [this, id] { OnSysCommand(id); });
    };
    add(tr("Close"), kIdCancel);
    const QString about = services_.loadString(kStrAboutMenuItem);
    if (!about.isEmpty()) {
        menu->addSeparator();
        add(about, kIdAboutCommand);
    }
    return menu;
}

void CConverterDlg::ShowWindowMenu(const QPoint& where) {
    CreateWindowMenu()->exec(where);
}

void CConverterDlg::contextMenuEvent(QContextMenuEvent* event) {
    ShowWindowMenu(event->globalPos());
}

QLineEdit* CConverterDlg::Box(int id) const {
    return findChild<QLineEdit*>(QString::number(id));
}

void CConverterDlg::PullFields() {
    for (const BoxBinding& box : kBoxes) settings_.*box.member = ToBytes(Box(box.id)->text());
}

void CConverterDlg::PushFields() {
    for (const BoxBinding& box : kBoxes) {
        const QString text = FromBytes(settings_.*box.member);
        // Leaves an unchanged box alone, so its caret and selection stay.
        if (Box(box.id)->text() != text) Box(box.id)->setText(text);
    }
}

void CConverterDlg::accept() {
    OnCommand(kIdOk);
}

void CConverterDlg::reject() {
    OnCommand(kIdCancel);
}

void CConverterDlg::OnQuit() {
    PullFields();
    QDialog::accept();
}

void CConverterDlg::OnCancel() {
    QDialog::reject();
}

void CConverterDlg::OnBrowseInput() {
    BrowseForFile(&ConversionSettings::inputFile, kInputPicker);
}

void CConverterDlg::OnBrowseOutput() {
    BrowseForFile(&ConversionSettings::outputFile, kOutputPicker);
}

void CConverterDlg::BrowseForFile(std::string ConversionSettings::*target, const FilePickerRequest& request) {
    PullFields();
    {
        CurrentDirectoryKeeper keeper;
        if (const std::optional<QString> path = services_.pickFile(this, request)) {
            settings_.*target = QFile::encodeName(*path).toStdString();
        }
    }
    PushFields();
}

void CConverterDlg::OnConvert() {
    PullFields();
    ConversionProgress progress(this, FromBytes(settings_.inputFile), progressDelay_);
    RunConversion(settings_, *this, &progress);
    PushFields();
}

void CConverterDlg::OnHelp() {
    PullFields();
    services_.openUrl(HelpPageUrl());
    PushFields();
}

void CConverterDlg::OnAbout() {
    services_.showAbout(this);
}

}  // namespace rowsmith
