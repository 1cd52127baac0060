#include "ui/options_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTableWidget>

#include "convert/detect/format_detection.h"
#include "convert/detect/input_preview.h"
#include "convert/run/messages.h"
#include "convert/options/option_table.h"
#include "ui/app_icon.h"
#include "ui/conversion_progress.h"
#include "ui/dialog_builder.h"
#include "ui/dialog_templates.h"

namespace rowsmith {

namespace {

// The yes/no options and their check boxes.
struct Switch {
    int id;
    std::string_view name;  // in the option table
    bool ConversionOptions::*member;
};
constexpr Switch kSwitches[] = {
    {kIdHeader, "header", &ConversionOptions::header},
    {kIdRfc4180, "rfc4180", &ConversionOptions::rfc4180},
    {kIdTransaction, "transaction", &ConversionOptions::transaction},
    {kIdCreateTable, "create-table", &ConversionOptions::createTable},
    {kIdCopy, "copy", &ConversionOptions::copy},
    {kIdSkipSpaces, "skip-spaces", &ConversionOptions::skipSpaces},
    {kIdTextExport, "text-export", &ConversionOptions::textExport},
};

// The place of a dialect in the list, which shows them in kAllDialects' order.
int DialectIndex(Dialect dialect) {
    for (std::size_t i = 0; i < std::size(kAllDialects); ++i) {
        if (kAllDialects[i] == dialect) return static_cast<int>(i);
    }
    return 0;
}

constexpr AccessibleName kNames[] = {
    {kIdDelimiter, "Delimiter", "&Delimiter:"},
    {kIdOtherDelimiter, "Other delimiter", nullptr},
    {kIdEncoding, "Input character set", "Input &character set:"},
    {kIdSkipLines, "Lines to skip above the records", "Lines to &skip:"},
    {kIdQuote, "Quote character, or none", "&Quote:"},
    {kIdHeaderLines, "Lines the header takes", "Header li&nes:"},
    {kIdLastLine, "Last line read, empty for the end", "Read &up to line:"},
    {kIdEscape, "Escape character inside quotes, empty for none", "&Escape:"},
    {kIdDialect, "Target database", "&Target database:"},
    {kIdRowsPerInsert, "Rows per INSERT", "&Rows per INSERT:"},
    {kIdStatementBytes, "Longest statement in bytes", "&Longest statement:"},
    {kIdNullTokens, "NULL markers, separated by spaces", "NULL &markers:"},
    {kIdColumnTypes, "Column types, NAME=TYPE separated by semicolons", "Column t&ypes:"},
    {kIdColumns, "Columns to convert, by header name or number, NAME=NEW to rename", "C&olumns:"},
    {kIdOnConflict, "What a row does whose key the table holds already", "Key already &held:"},
    {kIdKey, "The fields of the key, separated by commas", "&Key:"},
    {kIdRejects, "File for the records that would not load, empty for none", "Set aside &in:"},
    {kIdMaxRejects, "Most records set aside before the run stops, empty for any number", "&at most:"},
    {kIdSplitRows, "Most rows of a part of the output, empty for no parts", "S&plit in parts of:"},
    {kIdJobs, "Threads the run converts on, empty for one for each core", "Threads (&jobs):"},
    {kIdSplitBytes, "Most bytes of a part of the output (K, M, G for KiB, MiB, GiB), empty for any", nullptr},
};

// The column types as the box shows them: NAME=TYPE; NAME=TYPE.
QString TypesText(const std::vector<std::string>& types) {
    QStringList list;
    for (const std::string& type : types) list << QString::fromStdString(type);
    return list.join(QStringLiteral("; "));
}

// The markers as the box shows them: one after another, a space between.
QString TokensText(const std::vector<std::string>& tokens) {
    QStringList list;
    for (const std::string& token : tokens) list << QString::fromStdString(token);
    return list.join(QLatin1Char(' '));
}

constexpr const char* kAsIs = "As is";

}  // namespace

template <typename Control>
Control* COptionsDlg::Find(int id) const {
    return findChild<Control*>(QString::number(id));
}

COptionsDlg::COptionsDlg(const ConversionOptions& options, UiServices& services, QWidget* owner,
                         const ConversionSettings& settings)
    : QDialog(owner, kFixedDialogFlags), services_(services), options_(options), settings_(settings) {
    const QSize size = BuildDialog(*this, kOptionsTemplate, AppIcon());
    // The frame and the title bar take some of the screen's room too.
    if (const QScreen* shown = screen(); shown != nullptr)
        FitOnScreen(*this, size, shown->availableGeometry().size() - QSize(16, 48));
    connect(Find<QPushButton>(kIdOk), &QPushButton::clicked, this, &COptionsDlg::accept);
    connect(Find<QPushButton>(kIdCancel), &QPushButton::clicked, this, &COptionsDlg::reject);
    auto* delimiter = Find<QComboBox>(kIdDelimiter);
    connect(delimiter, &QComboBox::currentIndexChanged, this,
            [this](int choice) { Find<QLineEdit>(kIdOtherDelimiter)->setEnabled(choice == kOtherDelimiter); });
    connect(Find<QCheckBox>(kIdEmptyAsNull), &QCheckBox::toggled, Find<QCheckBox>(kIdQuotedEmpty),
            &QCheckBox::setEnabled);
    connect(Find<QCheckBox>(kIdHeader), &QCheckBox::toggled, Find<QSpinBox>(kIdHeaderLines), &QSpinBox::setEnabled);
    connect(Find<QCheckBox>(kIdCreateTable), &QCheckBox::toggled, Find<QLineEdit>(kIdColumnTypes),
            &QLineEdit::setEnabled);
    connect(Find<QCheckBox>(kIdCreateTable), &QCheckBox::toggled, Find<QCheckBox>(kIdDecimalComma),
            &QCheckBox::setEnabled);
    // COPY is PostgreSQL's; a key matters only where a held one does something.
    // A box the dialect makes meaningless is unticked, never shown ticked and greyed.
    connect(Find<QComboBox>(kIdDialect), &QComboBox::currentIndexChanged, this, [this](int choice) {
        const bool postgresql = kAllDialects[static_cast<std::size_t>(choice)] == Dialect::Postgresql;
        auto* copy = Find<QCheckBox>(kIdCopy);
        copy->setEnabled(postgresql);
        if (!postgresql) copy->setChecked(false);
    });
    // A key is looked at by upserts, and made the key of a table to create.
    const auto keyUsed = [this] {
        Find<QLineEdit>(kIdKey)->setEnabled(Find<QComboBox>(kIdOnConflict)->currentIndex() != 0 ||
                                            Find<QCheckBox>(kIdCreateTable)->isChecked());
    };
    connect(Find<QComboBox>(kIdOnConflict), &QComboBox::currentIndexChanged, this, keyUsed);
    connect(Find<QCheckBox>(kIdCreateTable), &QCheckBox::toggled, this, keyUsed);
    // Quotes and escapes are standard CSV's; a text export is read otherwise.
    const auto rulesShown = [this](bool standard) {
        for (const int id : {kIdQuote, kIdEscape, kIdSkipSpaces}) Find<QWidget>(id)->setEnabled(standard);
        Find<QCheckBox>(kIdTextExport)->setEnabled(!standard);
        Find<QCheckBox>(standard ? kIdTextExport : kIdSkipSpaces)->setChecked(false);
    };
    connect(Find<QCheckBox>(kIdRfc4180), &QCheckBox::toggled, this, rulesShown);
    Find<QLineEdit>(kIdOtherDelimiter)->setMaxLength(3);
    Find<QLineEdit>(kIdEscape)->setMaxLength(1);
    Find<QLineEdit>(kIdEscape)->setPlaceholderText(QStringLiteral("none"));
    Find<QLineEdit>(kIdNullTokens)->setPlaceholderText(QStringLiteral("\\N NULL"));
    Find<QLineEdit>(kIdRejects)->setPlaceholderText(QStringLiteral("nowhere: rejects.csv, say"));
    Find<QLineEdit>(kIdMaxRejects)->setPlaceholderText(QStringLiteral("any"));
    Find<QLineEdit>(kIdJobs)->setPlaceholderText(QStringLiteral("all"));
    Find<QLineEdit>(kIdLastLine)->setPlaceholderText(QStringLiteral("the end"));
    Find<QLineEdit>(kIdColumnTypes)->setPlaceholderText(QStringLiteral("id=INTEGER; price=NUMERIC(10,2)"));
    Find<QLineEdit>(kIdColumns)
        ->setPlaceholderText(QStringLiteral("All, as they come; or: email, last name=surname, 1"));
    NameControls(*this, kNames);
    Find<QLabel>(kIdDetected)->setWordWrap(true);
    Find<QPushButton>(kIdDetect)->setEnabled(!settings_.inputFile.empty());
    connect(Find<QPushButton>(kIdDetect), &QPushButton::clicked, this, &COptionsDlg::Detect);
    Show(options);
    RedrawOnChanges();
    Redraw();
}

void COptionsDlg::RedrawOnChanges() {
    const auto redraw = [this] {
        if (!showing_) Redraw();
    };
    for (auto* box : findChildren<QCheckBox*>()) connect(box, &QCheckBox::toggled, this, redraw);
    for (auto* list : findChildren<QComboBox*>()) connect(list, &QComboBox::currentTextChanged, this, redraw);
    for (auto* edit : findChildren<QLineEdit*>()) connect(edit, &QLineEdit::textChanged, this, redraw);
    for (auto* spin : findChildren<QSpinBox*>()) connect(spin, &QSpinBox::valueChanged, this, redraw);
}

void COptionsDlg::Redraw() {
    auto* grid = Find<QTableWidget>(kIdPreviewRecords);
    auto* statements = Find<QPlainTextEdit>(kIdPreviewStatements);
    grid->clear();
    grid->setRowCount(0);
    grid->setColumnCount(0);
    if (settings_.inputFile.empty()) {
        statements->setPlainText(QStringLiteral("Name an input file in the main window to see it here."));
        return;
    }
    ConversionOptions options;
    QString why;
    if (!Read(options, why)) {
        statements->setPlainText(why);
        return;
    }
    const InputPreview preview = PreviewInput(settings_, options);
    std::size_t columns = preview.titles.size();
    for (const auto& record : preview.records) columns = std::max(columns, record.size());
    grid->setColumnCount(static_cast<int>(columns));
    grid->setRowCount(static_cast<int>(preview.records.size()));
    QStringList titles;
    for (std::size_t i = 0; i < columns; ++i) {
        titles << (i < preview.titles.size() ? QString::fromUtf8(preview.titles[i]) : QString::number(i + 1));
    }
    grid->setHorizontalHeaderLabels(titles);
    for (std::size_t row = 0; row < preview.records.size(); ++row) {
        for (std::size_t column = 0; column < preview.records[row].size(); ++column) {
            // A value written as NULL shows as NULL, greyed and in italics:
            // apart from an empty string, or from the text "NULL".
            const bool null = preview.nulls[row][column];
            auto* item =
                new QTableWidgetItem(null ? QStringLiteral("NULL") : QString::fromUtf8(preview.records[row][column]));
            if (null) {
                QFont font = item->font();
                font.setItalic(true);
                item->setFont(font);
                item->setForeground(grid->palette().color(QPalette::Disabled, QPalette::Text));
                item->setToolTip(QStringLiteral("Written as NULL"));
            }
            grid->setItem(static_cast<int>(row), static_cast<int>(column), item);
        }
    }
    grid->resizeColumnsToContents();
    QString text = QString::fromUtf8(preview.statements);
    if (!preview.problem.empty()) text.prepend(QString::fromUtf8(Sentence(preview.problem)) + QStringLiteral("\n\n"));
    statements->setPlainText(text);
}

void COptionsDlg::Detect() {
    auto* found = Find<QLabel>(kIdDetected);
    const std::optional<Detection> detection = DetectOffTheWindowThread(settings_.inputFile);
    if (!detection) {
        found->setText(QStringLiteral("The input file cannot be read."));
        return;
    }
    ConversionOptions shown;
    QString why;
    if (!Read(shown, why)) shown = options_;
    const std::string words = ReadingOptionsWords(detection->reading);
    std::string text = "Found: " + (words.empty() ? std::string("the default reading options fit") : words);
    if (detection->reading.encoding.empty()) text += "; text " + detection->encoding;
    const ConversionOptions detected = WithReadingOf(shown, *detection);
    // The database the names are quoted for is chosen right here, below.
    if (detected.header && detected.dialect == Dialect::Standard)
        text += ". Its names will be in double quotes: for MySQL and MariaDB, choose them as the target database";
    found->setText(QString::fromStdString(text + "."));
    showing_ = true;
    Show(detected);
    showing_ = false;
    Redraw();
}

void COptionsDlg::Show(const ConversionOptions& options) {
    for (const Switch& entry : kSwitches) Find<QCheckBox>(entry.id)->setChecked(options.*entry.member);
    const int choice = options.delimiter == ','    ? kComma
                       : options.delimiter == ';'  ? kSemicolon
                       : options.delimiter == '\t' ? kTab
                                                   : kOtherDelimiter;
    Find<QComboBox>(kIdDelimiter)->setCurrentIndex(choice);
    Find<QLineEdit>(kIdOtherDelimiter)
        ->setText(choice == kOtherDelimiter ? QString(QLatin1Char(options.delimiter)) : QString());
    Find<QLineEdit>(kIdOtherDelimiter)->setEnabled(choice == kOtherDelimiter);
    Find<QComboBox>(kIdEncoding)
        ->setCurrentText(options.encoding.empty() ? QString::fromUtf8(kAsIs)
                                                  : QString::fromStdString(options.encoding));
    Find<QSpinBox>(kIdSkipLines)->setValue(static_cast<int>(options.skipLines));
    Find<QSpinBox>(kIdHeaderLines)->setValue(static_cast<int>(options.headerLines));
    Find<QSpinBox>(kIdHeaderLines)->setEnabled(options.header);
    Find<QLineEdit>(kIdLastLine)->setText(options.lastLine == 0 ? QString() : QString::number(options.lastLine));
    Find<QLineEdit>(kIdJobs)->setText(options.jobs == 0 ? QString() : QString::number(options.jobs));
    Find<QComboBox>(kIdQuote)->setCurrentText(options.quote == '\0' ? QStringLiteral("none")
                                                                    : QString(QLatin1Char(options.quote)));
    Find<QLineEdit>(kIdEscape)->setText(options.escape == '\0' ? QString() : QString(QLatin1Char(options.escape)));
    for (const int id : {kIdQuote, kIdEscape, kIdSkipSpaces}) Find<QWidget>(id)->setEnabled(options.rfc4180);
    Find<QCheckBox>(kIdTextExport)->setEnabled(!options.rfc4180);
    Find<QComboBox>(kIdDialect)->setCurrentIndex(DialectIndex(options.dialect));
    Find<QSpinBox>(kIdRowsPerInsert)->setValue(static_cast<int>(options.rowsPerInsert));
    Find<QCheckBox>(kIdDropNul)->setChecked(options.nul == NulChoice::Strip);
    Find<QSpinBox>(kIdStatementBytes)->setValue(static_cast<int>(options.maxStatementBytes));
    Find<QCheckBox>(kIdEmptyAsNull)->setChecked(options.null != NullMode::None);
    Find<QCheckBox>(kIdQuotedEmpty)->setChecked(options.null == NullMode::UnquotedEmpty);
    Find<QCheckBox>(kIdQuotedEmpty)->setEnabled(options.null != NullMode::None);
    Find<QLineEdit>(kIdNullTokens)->setText(TokensText(options.nullTokens));
    Find<QLineEdit>(kIdColumnTypes)->setText(TypesText(options.columnTypes));
    Find<QLineEdit>(kIdColumnTypes)->setEnabled(options.createTable);
    Find<QCheckBox>(kIdDecimalComma)->setChecked(options.decimalComma);
    Find<QCheckBox>(kIdDecimalComma)->setEnabled(options.createTable);
    Find<QLineEdit>(kIdColumns)->setText(QString::fromStdString(options.columns));
    Find<QCheckBox>(kIdCopy)->setEnabled(options.dialect == Dialect::Postgresql);
    Find<QCheckBox>(kIdCopy)->setChecked(options.copy && options.dialect == Dialect::Postgresql);
    Find<QComboBox>(kIdOnConflict)->setCurrentIndex(static_cast<int>(options.onConflict));
    Find<QLineEdit>(kIdKey)->setText(QString::fromStdString(options.key));
    Find<QLineEdit>(kIdRejects)->setText(QString::fromStdString(options.rejects));
    Find<QLineEdit>(kIdMaxRejects)
        ->setText(options.maxRejects == kNoRejectLimit ? QString() : QString::number(options.maxRejects));
    Find<QLineEdit>(kIdKey)->setEnabled(options.onConflict != OnConflict::None || options.createTable);
    Find<QLineEdit>(kIdSplitRows)->setText(options.splitRows == 0 ? QString() : QString::number(options.splitRows));
    Find<QLineEdit>(kIdSplitBytes)->setText(options.splitBytes == 0 ? QString() : QString::number(options.splitBytes));
}

// Each option as the dialog's controls give it, to be set through the
// option table as the command line sets it: (the option's name, its text).
std::string COptionsDlg::DelimiterValue() const {
    switch (Find<QComboBox>(kIdDelimiter)->currentIndex()) {
        case kSemicolon:
            return ";";
        case kTab:
            return "tab";
        case kOtherDelimiter:
            return Find<QLineEdit>(kIdOtherDelimiter)->text().toLocal8Bit().toStdString();
        default:
            return ",";
    }
}

namespace {

// A list option from its box: what the box shows, split as the box shows
// it, unless it is unchanged; then the list as it was kept, so that items
// given on the command line with the separator in them stay whole.
void AddList(std::vector<std::pair<std::string_view, std::string>>& values, std::string_view name, const QString& shown,
             const QString& asKept, const std::vector<std::string>& kept, QChar separator) {
    if (shown == asKept) {
        for (const std::string& item : kept) values.emplace_back(name, item);
        return;
    }
    for (const QString& item : shown.split(separator, Qt::SkipEmptyParts)) {
        if (!item.trimmed().isEmpty()) values.emplace_back(name, item.trimmed().toStdString());
    }
}

}  // namespace

std::vector<std::pair<std::string_view, std::string>> COptionsDlg::Values() const {
    std::vector<std::pair<std::string_view, std::string>> values;
    const auto add = [&values](std::string_view name, std::string value) {
        values.emplace_back(name, std::move(value));
    };
    const auto text = [this](int id) { return Find<QLineEdit>(id)->text().trimmed().toStdString(); };
    const auto ticked = [this](int id) { return Find<QCheckBox>(id)->isChecked(); };
    for (const Switch& entry : kSwitches) add(entry.name, ticked(entry.id) ? "1" : "0");
    add("delimiter", DelimiterValue());
    add("skip-lines", std::to_string(Find<QSpinBox>(kIdSkipLines)->value()));
    // The header's lines only with a header.
    if (ticked(kIdHeader)) add("header-lines", std::to_string(Find<QSpinBox>(kIdHeaderLines)->value()));
    add("last-line", text(kIdLastLine));
    // The quoting of standard CSV only with it: unticked, the boxes keep
    // what they show without it being read.
    if (ticked(kIdRfc4180)) {
        add("quote", Find<QComboBox>(kIdQuote)->currentText().toLocal8Bit().toStdString());
        add("escape", Find<QLineEdit>(kIdEscape)->text().toLocal8Bit().toStdString());
    }
    const QString encoding = Find<QComboBox>(kIdEncoding)->currentText().trimmed();
    add("encoding", encoding == QLatin1String(kAsIs) ? std::string() : encoding.toStdString());
    add("dialect",
        std::string(DialectName(
            kAllDialects[static_cast<std::size_t>(std::max(0, Find<QComboBox>(kIdDialect)->currentIndex()))])));
    add("rows-per-insert", std::to_string(Find<QSpinBox>(kIdRowsPerInsert)->value()));
    add("nul", ticked(kIdDropNul) ? "strip" : "error");
    // 0 is the box's "not given": the default limit.
    if (const int bytes = Find<QSpinBox>(kIdStatementBytes)->value(); bytes != 0)
        add("max-statement-bytes", std::to_string(bytes));
    add("null", !ticked(kIdEmptyAsNull) ? "none" : ticked(kIdQuotedEmpty) ? "unquoted-empty" : "empty");
    AddList(values, "null-token", Find<QLineEdit>(kIdNullTokens)->text(), TokensText(options_.nullTokens),
            options_.nullTokens, QLatin1Char(' '));
    add("columns", text(kIdColumns));
    const int conflict = Find<QComboBox>(kIdOnConflict)->currentIndex();
    if (conflict > 0) add("on-conflict", conflict == 1 ? "ignore" : "update");
    // A key only where it is looked at: by upserts, or for a table to create.
    if (conflict > 0 || ticked(kIdCreateTable)) add("key", text(kIdKey));
    add("rejects", text(kIdRejects));
    add("split-rows", text(kIdSplitRows));
    add("split-bytes", text(kIdSplitBytes));
    add("jobs", text(kIdJobs));
    // A limit only for records set aside.
    if (!text(kIdRejects).empty()) add("max-rejects", text(kIdMaxRejects));
    // Types are kept only for a table to create; each as --type takes it.
    if (ticked(kIdCreateTable)) {
        add("decimal-comma", ticked(kIdDecimalComma) ? "1" : "0");
        AddList(values, "type", Find<QLineEdit>(kIdColumnTypes)->text(), TypesText(options_.columnTypes),
                options_.columnTypes, QLatin1Char(';'));
    }
    return values;
}

bool COptionsDlg::Read(ConversionOptions& options, QString& why) const {
    // Every option from its defaults, as the controls give it, through the
    // option table; what may not go together, as every front end is told.
    options = ConversionOptions{};
    for (const auto& [name, value] : Values()) {
        const OptionFact* fact = OptionNamed(name);
        if (fact == nullptr || !fact->set(options, value)) {
            why = QString::fromStdString(fact == nullptr ? "There is no option " + std::string(name) + "."
                                                         : Sentence(BadValueText(*fact, value)));
            return false;
        }
    }
    // COPY only where it can be read.
    options.copy = options.copy && options.dialect == Dialect::Postgresql;
    if (const std::string problem = OptionsProblem(options); !problem.empty()) {
        why = QString::fromStdString(Sentence(problem));
        return false;
    }
    return true;
}

void COptionsDlg::accept() {
    ConversionOptions options;
    QString why;
    if (!Read(options, why)) {
        services_.showMessage(this, why, windowTitle(), QMessageBox::NoIcon);
        return;
    }
    options_ = options;
    QDialog::accept();
}

}  // namespace rowsmith
