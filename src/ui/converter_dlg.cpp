#include "ui/converter_dlg.h"

#include <algorithm>
#include <iterator>

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QKeySequence>
#include <QLineEdit>
#include <QLocale>
#include <QTimer>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <cstring>
#include <filesystem>
#include <new>
#include <optional>
#include <system_error>

#include "convert/options/input_list.h"
#include "convert/run/conversion_run.h"
#include "convert/detect/format_detection.h"
#include "convert/run/messages.h"
#include "convert/run/run_message.h"
#include "io/stop_request.h"
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

constexpr AccessibleName kNames[] = {
    {kIdInputFile, "Input file", "Input File:"},
    {kIdOutputFile, "Output file", "Output File:"},
    {kIdTableName, "Table name", "Table Name:"},
    {kIdFieldNames, "Field names", "Field Names:"},
    {kIdBrowseInput, "Browse for the input file", nullptr},
    {kIdBrowseOutput, "Browse for the output file", nullptr},
};

// The local files a drag carries, as the bytes of their names: the path's
// percent escapes stand for bytes, which need not be UTF-8.
std::vector<std::string> DroppedFiles(const QMimeData* data) {
    std::vector<std::string> files;
    if (!data || !data->hasUrls()) return files;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile())
            files.push_back(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString());
    }
    return files;
}

// A letter typed with Alt or Meta held is a command, never text. (With Ctrl
// held a box types nothing anyway; Ctrl+A, Ctrl+C and the like edit it.)
bool IsCommandLetter(const QKeyEvent& key) {
    const bool held = (key.modifiers() & (Qt::AltModifier | Qt::MetaModifier)) != 0;
    return held && !key.text().isEmpty() && key.text().at(0).isPrint();
}

// The filters as they always were, with delimited text of every usual name
// (compressed too) before "All Files".
constexpr FilePickerRequest kInputPicker{"*.csv",
                                         "CSV Files (*.csv)|*.csv|Tab Delimited Files (*.tab)|*.tab|"
                                         "Delimited Text Files (*.csv;*.tsv;*.txt;*.gz)|*.csv;*.tsv;*.txt;*.gz|"
                                         "All Files (*.*)|*.*||",
                                         true};
constexpr FilePickerRequest kOutputPicker{"*.sql", "SQL Files (*.sql)|*.sql|All Files (*.*)|*.*||"};

// The record holds bytes; the boxes show them as the locale's text.
QString FromBytes(const std::string& bytes) {
    return QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string ToBytes(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

// A count as the user's locale writes numbers: 12,345 or 12.345 or 12 345;
// the C locale groups no digits.
std::string LocaleNumber(std::uint64_t n) {
    const QLocale locale;
    if (locale.language() == QLocale::C) return std::to_string(n);
    return locale.toString(static_cast<qulonglong>(n)).toStdString();
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

}  // namespace

const CommandEntry<CConverterDlg> CConverterDlg::kCommands[] = {
    {kIdBrowseInput, &CConverterDlg::OnBrowseInput}, {kIdBrowseOutput, &CConverterDlg::OnBrowseOutput},
    {kIdConvert, &CConverterDlg::OnConvert},         {kIdHelp, &CConverterDlg::OnHelp},
    {kIdOptions, &CConverterDlg::OnOptions},         {kIdOk, &CConverterDlg::OnQuit},
    {kIdCancel, &CConverterDlg::OnCancel},           {kIdAboutCommand, &CConverterDlg::OnAbout},
};

CConverterDlg::CConverterDlg(UiServices services, QWidget* parent)
    : QDialog(parent, kFixedDialogFlags), services_(std::move(services)) {
    const QIcon icon = AppIcon();
    BuildDialog(*this, kConverterTemplate, icon);
    setWindowIcon(icon);
    for (const CommandEntry<CConverterDlg>& command : kCommands) {
        if (auto* button = findChild<QPushButton*>(QString::number(command.id))) {
            connect(button, &QPushButton::clicked, this, [this, id = command.id] { OnCommand(id); });
        }
    }
    // The window menu, from any control: Alt+Space, the Menu key, Shift+F10.
    for (const QKeySequence& keys :
         {QKeySequence(Qt::ALT | Qt::Key_Space), QKeySequence(Qt::Key_Menu), QKeySequence(Qt::SHIFT | Qt::Key_F10)}) {
        auto* shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this, [this] { ShowWindowMenu(mapToGlobal(QPoint(0, 0))); });
    }
    NameControls(*this, kNames);
    // Files dropped on a box name themselves there; anywhere else, the input.
    setAcceptDrops(true);
    for (const BoxBinding& box : kBoxes) {
        Box(box.id)->installEventFilter(this);
        // A long path shows its file name at least here.
        connect(Box(box.id), &QLineEdit::textChanged, Box(box.id), &QLineEdit::setToolTip);
    }

    // A file named at start is looked at once the window shows.
    offerTimer_ = new QTimer(this);
    offerTimer_->setSingleShot(true);
    connect(offerTimer_, &QTimer::timeout, this, &CConverterDlg::OfferReadingOptions);
    // A path typed into the Input box is looked at as the box is left.
    connect(Box(kIdInputFile), &QLineEdit::editingFinished, this, [this] {
        if (!Box(kIdInputFile)->isModified()) return;
        Box(kIdInputFile)->setModified(false);
        PullFields();
        if (!settings_.inputFile.empty()) offerTimer_->start(0);
    });

    PullFields();
    LoadSettings(settings_, *this, &options_);
    PushFields();
    Box(kIdInputFile)->setFocus();
}

CConverterDlg::~CConverterDlg() {
    // The Input box loses its focus as the window goes: nothing is looked
    // at then, by a window no longer whole.
    QObject::disconnect(Box(kIdInputFile), &QLineEdit::editingFinished, this, nullptr);
    const SettingsSave save = SaveSettingsFile(settings_, options_);
    if (save.foreign) {
        ShowMessage(std::string(kWriteFailedMessage.text) + "\n\n" + save.path +
                        " belongs to another program, so Rowsmith left it as it is: the settings were not saved.",
                    std::string(kWriteFailedMessage.caption));
    } else if (save.error != 0) {
        ShowMessage(std::string(kWriteFailedMessage.text) + "\n\nThe settings could not be saved in " + save.path +
                        ": " + std::strerror(save.error) + ".",
                    std::string(kWriteFailedMessage.caption));
    }
}

void CConverterDlg::OpenWithInput(const std::string& inputFile) {
    settings_.inputFile = inputFile;
    PushFields();
    offerTimer_->start(0);
}

namespace {

// The database the statements are for, as Options... names it, and what a
// header's names in double quotes mean to the ones that read them otherwise.
std::string TargetNote(const ConversionOptions& options) {
    static constexpr const char* kTitles[] = {"Standard SQL", "SQLite", "PostgreSQL", "MySQL and MariaDB"};
    static_assert(std::size(kTitles) == std::size(kAllDialects));
    const auto at = std::find(std::begin(kAllDialects), std::end(kAllDialects), options.dialect);
    std::string note = "The statements are written for " +
                       std::string(kTitles[static_cast<std::size_t>(at - std::begin(kAllDialects))]) +
                       " (Target database, in Options...).";
    if (options.header && options.dialect == Dialect::Standard) {
        note +=
            " The header's names will be written in double quotes (\"id\"), which MySQL and MariaDB take "
            "for text unless their sql_mode has ANSI_QUOTES: to load into them, answer \"Yes, for MySQL and "
            "MariaDB\", or choose them in Options...";
    }
    return note;
}

}  // namespace

void CConverterDlg::OfferReadingOptions() {
    const std::optional<Detection> detection = DetectOffTheWindowThread(settings_.inputFile);
    if (!detection) return;
    const std::vector<std::string> misfits = Misfits(*detection, options_);
    if (misfits.empty()) return;
    const ConversionOptions fitting = FittingOptions(*detection, options_);
    std::string text = InputNames(settings_.inputFile).front() + " does not look written as the options read it:\n";
    for (const std::string& misfit : misfits) text += "\n- " + misfit + ".";
    text += "\n\n" + TargetNote(fitting);
    text += "\n\nRead it with these options: " + ReadingOptionsWords(fitting) + "?";
    // Names in double quotes fail in MySQL and MariaDB: their dialect is a
    // choice of its own.
    QStringList choices{QStringLiteral("&Yes")};
    const bool quotedNames = fitting.header && fitting.dialect == Dialect::Standard;
    if (quotedNames) choices << QStringLiteral("Yes, for &MySQL and MariaDB");
    const int answer = services_.ask(this, FromBytes(text), QStringLiteral("Options"), choices);
    if (answer >= 0) options_ = fitting;
    if (answer == 1) options_.dialect = Dialect::MySql;
}

std::string CConverterDlg::ReadingNotes() const {
    std::string notes;
    const std::string used = ReadingOptionsWords(options_);
    if (!used.empty()) notes += "\n\nRead with: " + used + ".";
    const std::optional<Detection> detection = DetectOffTheWindowThread(settings_.inputFile);
    const std::vector<std::string> misfits = detection ? Misfits(*detection, options_) : std::vector<std::string>();
    if (misfits.empty()) return notes;
    notes += "\n\nThe input does not look written as it was read:";
    for (const std::string& misfit : misfits) notes += "\n- " + misfit + ".";
    notes += "\nOptions... can read it with: " + ReadingOptionsWords(FittingOptions(*detection, options_)) + ".";
    return notes;
}

void CConverterDlg::ShowMessage(const std::string& text, const std::string& caption) {
    // Asked to end (SIGTERM): nobody is there to dismiss a message.
    if (StopSignal() != 0) return;
    services_.showMessage(this, FromBytes(text), FromBytes(caption), QMessageBox::NoIcon);
}

bool CConverterDlg::eventFilter(QObject* watched, QEvent* event) {
    auto* box = qobject_cast<QLineEdit*>(watched);
    if (!box) return QDialog::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::KeyPress:
            // Alt+C and the like are commands; they must not type into a box.
            return IsCommandLetter(*static_cast<QKeyEvent*>(event));
        case QEvent::DragEnter:
        case QEvent::DragMove:
            if (!DroppedFiles(static_cast<QDropEvent*>(event)->mimeData()).empty()) {
                static_cast<QDropEvent*>(event)->acceptProposedAction();
                return true;
            }
            return false;
        case QEvent::Drop:
            if (const std::vector<std::string> files = DroppedFiles(static_cast<QDropEvent*>(event)->mimeData());
                !files.empty()) {
                DropFiles(box->objectName().toInt(), files);
                static_cast<QDropEvent*>(event)->acceptProposedAction();
                return true;
            }
            return false;
        default:
            return false;
    }
}

void CConverterDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedFiles(event->mimeData()).empty()) event->acceptProposedAction();
}

void CConverterDlg::dropEvent(QDropEvent* event) {
    if (const std::vector<std::string> files = DroppedFiles(event->mimeData()); !files.empty()) {
        DropFiles(kIdInputFile, files);
        event->acceptProposedAction();
    }
}

void CConverterDlg::DropFiles(int boxId, const std::vector<std::string>& paths) {
    PullFields();
    // The input box takes every file, to be read in turn into one table;
    // the others, the first.
    for (const BoxBinding& box : kBoxes) {
        if (box.id == boxId) settings_.*box.member = boxId == kIdInputFile ? InputListText(paths) : paths.front();
    }
    PushFields();
    if (boxId == kIdInputFile) OfferReadingOptions();
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
    for (const BoxBinding& box : kBoxes) {
        const QString text = Box(box.id)->text();
        // A box the user has not edited keeps the exact bytes it was given,
        // whatever their encoding; what the user typed is taken as the
        // locale gives it.
        const auto shown = shown_.find(box.id);
        if (shown == shown_.end() || shown->second != text) settings_.*box.member = ToBytes(text);
    }
}

void CConverterDlg::PushFields() {
    for (const BoxBinding& box : kBoxes) {
        const QString text = FromBytes(settings_.*box.member);
        // Leaves an unchanged box alone, so its caret and selection stay.
        if (Box(box.id)->text() != text) Box(box.id)->setText(text);
        shown_[box.id] = Box(box.id)->text();
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
    bool picked = false;
    {
        CurrentDirectoryKeeper keeper;
        const QStringList paths = services_.pickFile(this, request, FromBytes(InputNames(settings_.*target).front()));
        std::vector<std::string> names;
        for (const QString& path : paths) names.push_back(QFile::encodeName(path).toStdString());
        if (!names.empty()) {
            settings_.*target = InputListText(names);
            picked = target == &ConversionSettings::inputFile;
        }
    }
    PushFields();
    if (picked) OfferReadingOptions();
}

void CConverterDlg::OnConvert() {
    PullFields();
    RunMessage message{std::string(kNoMemoryMessage.text), std::string(kNoMemoryMessage.caption)};
    {
        // The progress dialog and the busy cursor go before the message shows.
        ConversionProgress progress(this, settings_.inputFile, progressDelay_);
        // The run goes on a thread of its own, so that the window keeps
        // drawing itself; it may name the output (db.csv) before its message does.
        ConversionSettings settings = settings_;
        std::optional<RunReport> report;
        WhileWorking(
            [&] {
                try {
                    report = ConvertFile(settings, &progress, options_);
                } catch (const std::bad_alloc&) {
                }
            },
            [&progress] { progress.Tick(); }, [&progress] { return progress.shown(); });
        settings_ = settings;
        if (report) {
            message = WindowMessage(*report, settings_.outputFile, LocaleNumber);
            if (report->status == RunStatus::Done) message.text += ReadingNotes();
        }
    }
    ShowMessage(message.text, message.caption);
    PushFields();
}

void CConverterDlg::OnHelp() {
    PullFields();
    const QUrl page = HelpPageUrl(0x20000 + kConverterTemplateId);
    const bool missing = page.isLocalFile() && !QFileInfo(page.toLocalFile()).isFile();
    if (missing || !services_.openUrl(page)) {
        QString text = services_.loadString(kStrHelpFailed);
        // A page that is there can still be opened by hand.
        if (!missing) {
            text += QStringLiteral("\n\nThe help page is ") +
                    (page.isLocalFile() ? page.toLocalFile() : page.toString()) + QLatin1Char('.');
        }
        services_.showMessage(this, text, ProgramName(), QMessageBox::Warning);
    }
    PushFields();
}

void CConverterDlg::OnOptions() {
    PullFields();
    if (const std::optional<ConversionOptions> chosen = services_.editOptions(this, options_, settings_))
        options_ = *chosen;
    PushFields();
}

void CConverterDlg::OnAbout() {
    services_.showAbout(this);
}

}  // namespace rowsmith
