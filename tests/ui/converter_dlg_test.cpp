#include <QApplication>
#include <algorithm>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QProgressDialog>
#include <QScreen>
#include <QTimer>
#include <QTest>
#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

#include "fake_ui_services.h"
#include "inputs.h"
#include "window_test.h"
#include "settings/settings_file.h"
#include "test_support.h"
#include "ui/converter_dlg.h"
#include "ui/dialog_builder.h"

namespace rowsmith {
namespace {

namespace fs = std::filesystem;
using test::FakeUiServices;
using test::ReadBytes;
using test::TempDirTest;
using test::WriteBytes;

constexpr const char* kSavedIni =
    "CREATOR=DB 1.0\r\nOUTPUT=old.sql\r\nINPUT=old.csv\r\nTABLE=old_table\r\nFIELDS=a, b\r\n\r\n";

using ConverterDlgTest = test::WindowTest;

TEST_F(ConverterDlgTest, LaysOutTheControlsInDialogUnits) {
    Open();
    struct Expected {
        int id;
        const char* text;
        int x, y, width, height;
    };
    // In tab order.
    const Expected focusable[] = {
        {1000, "", 54, 6, 166, 14},        {1002, "Browse", 220, 7, 39, 14},   {1001, "", 54, 21, 166, 14},
        {1003, "Browse", 220, 22, 39, 14}, {1007, "", 54, 36, 166, 14},        {1005, "", 54, 51, 166, 14},
        {1, "Quit", 262, 6, 50, 14},       {1004, "Convert", 262, 22, 50, 14}, {1010, "Options...", 262, 36, 50, 14},
        {1009, "Help", 262, 51, 50, 14},
    };
    const DialogUnits units(dialog->font());
    EXPECT_GE(units.baseX(), 4);
    auto pixels = [&units](const Expected& e) {
        return QRect(units.ToPixelsX(e.x), units.ToPixelsY(e.y), units.ToPixelsX(e.width), units.ToPixelsY(e.height));
    };
    EXPECT_EQ(dialog->size(), QSize(units.ToPixelsX(320), units.ToPixelsY(87)));
    EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize());

    QWidget* widget = Box(1000);
    ASSERT_NE(widget, nullptr);
    EXPECT_TRUE(widget->hasFocus());
    for (const Expected& e : focusable) {
        ASSERT_EQ(widget->objectName(), QString::number(e.id));
        EXPECT_EQ(widget->geometry(), pixels(e)) << e.id;
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            EXPECT_EQ(button->text(), e.text);
        }
        do widget = widget->nextInFocusChain();
        while (!(widget->focusPolicy() & Qt::TabFocus));
    }
    EXPECT_EQ(widget, Box(1000));
    EXPECT_TRUE(Button(1)->isDefault());
    EXPECT_FALSE(Button(1004)->isDefault());

    const Expected labels[] = {
        {-1, "Input File:", 10, 9, 32, 8},   {-1, "Output File:", 10, 24, 37, 8},
        {-1, "Field Names:", 10, 54, 42, 8}, {1045, "Rowsmith - v1.01 - ", 10, 78, 276, 8},
        {-1, "Table Name:", 10, 39, 42, 8},  {-1, "Comma separated list of field names in SQL table.", 54, 66, 156, 8},
    };
    const QList<QLabel*> shown = dialog->findChildren<QLabel*>();
    ASSERT_EQ(shown.size(), std::ssize(labels));
    for (qsizetype i = 0; i < std::ssize(labels); ++i) {
        EXPECT_TRUE(shown[i]->text().startsWith(QString::fromUtf8(labels[static_cast<std::size_t>(i)].text))) << i;
        EXPECT_EQ(shown[i]->objectName(), labels[static_cast<std::size_t>(i)].id < 0
                                              ? QString()
                                              : QString::number(labels[static_cast<std::size_t>(i)].id));
        // A label keeps its place and grows to its text rather than clip it.
        const QRect place = pixels(labels[static_cast<std::size_t>(i)]);
        EXPECT_EQ(shown[i]->pos(), place.topLeft()) << i;
        EXPECT_EQ(shown[i]->height(), place.height()) << i;
        EXPECT_GE(shown[i]->width(), place.width()) << i;
        EXPECT_LE(shown[i]->geometry().right(), dialog->width()) << i;
        EXPECT_LE(shown[i]->fontMetrics().horizontalAdvance(shown[i]->text()), shown[i]->width())
            << shown[i]->text().toStdString();
    }
    EXPECT_EQ(dialog->windowTitle().left(12), QStringLiteral("Rowsmith by "));
    EXPECT_FALSE(dialog->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    const QPoint screenCentre = dialog->screen()->availableGeometry().center();
    EXPECT_LE((dialog->frameGeometry().center() - screenCentre).manhattanLength(), 4);
}

TEST_F(ConverterDlgTest, OpensWithTheSavedValues) {
    WriteBytes("db.ini", kSavedIni);
    Open();
    EXPECT_EQ(Box(1000)->text(), "old.csv");
    EXPECT_EQ(Box(1001)->text(), "old.sql");
    EXPECT_EQ(Box(1007)->text(), "old_table");
    EXPECT_EQ(Box(1005)->text(), "a, b");
}

TEST_F(ConverterDlgTest, ShowsAndKeepsValuesLongerThanATypingLimit) {
    const std::string longPath = "/" + std::string(40000, 'p') + ".csv";
    WriteBytes("db.ini", "INPUT=" + longPath + "\n");
    Open();
    EXPECT_EQ(Box(1000)->text().size(), static_cast<qsizetype>(longPath.size()));
    EXPECT_EQ(Close().inputFile, longPath);
}

TEST_F(ConverterDlgTest, EnterInABoxQuitsAndSavesTheBoxes) {
    WriteBytes("db.ini", kSavedIni);
    Open();
    Box(1007)->clear();
    QTest::keyClicks(Box(1007), "people");
    QTest::keyClick(Box(1007), Qt::Key_Return);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(Close(), (ConversionSettings{"old.csv", "old.sql", "people", "a, b"}));
}

TEST_F(ConverterDlgTest, EscapeAndTheCloseBoxSaveTheValuesFromBeforeTheTyping) {
    for (const bool escape : {true, false}) {
        WriteBytes("db.ini", kSavedIni);
        Open();
        QTest::keyClicks(Box(1007), "_typed");
        if (escape) {
            QTest::keyClick(Box(1007), Qt::Key_Escape);
        } else {
            dialog->close();
        }
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_EQ(dialog->result(), QDialog::Rejected);
        EXPECT_EQ(Close().tableName, "old_table") << (escape ? "Escape" : "close box");
        EXPECT_TRUE(fake.messages.empty());
    }
}

TEST_F(ConverterDlgTest, EnterOnAFocusedButtonPressesIt) {
    WriteBytes("in.csv", "1,2\n");
    Open();
    QTest::keyClicks(Box(1000), "in.csv");
    QTest::keyClicks(Box(1007), "t");
    Button(1004)->setFocus();
    QTest::keyClick(Button(1004), Qt::Key_Return);
    EXPECT_TRUE(dialog->isVisible());
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(fake.messages[0].text, "Done\n\n1 statement with 1 row was appended to db.csv.");
}

TEST_F(ConverterDlgTest, BrowseKeepsTypedValuesAndTheCurrentDirectory) {
    fs::create_directory("elsewhere");
    const fs::path home = fs::current_path();
    Open();
    QTest::keyClicks(Box(1007), "typed_table");
    fake.whilePicking = [] { fs::current_path("elsewhere"); };
    fake.pickedFiles = {QStringLiteral("/data/caf\u00e9 2026.csv")};
    QTest::mouseClick(Button(1002), Qt::LeftButton);
    EXPECT_EQ(Box(1000)->text(), QStringLiteral("/data/caf\u00e9 2026.csv"));
    EXPECT_EQ(Box(1007)->text(), "typed_table");
    EXPECT_EQ(fs::current_path(), home);
    EXPECT_EQ(dialog->settings().inputFile, "/data/caf\xC3\xA9 2026.csv");

    // Cancelling changes nothing, and the output picker has its own filters.
    fake.pickedFiles.clear();
    QTest::mouseClick(Button(1003), Qt::LeftButton);
    EXPECT_EQ(Box(1001)->text(), "");
    EXPECT_EQ(fs::current_path(), home);
    EXPECT_EQ(fake.pickerFilters,
              (std::vector<std::string>{"CSV Files (*.csv)|*.csv|Tab Delimited Files (*.tab)|*.tab|"
                                        "Delimited Text Files (*.csv;*.tsv;*.txt;*.gz)|*.csv;*.tsv;*.txt;*.gz|"
                                        "All Files (*.*)|*.*||",
                                        "SQL Files (*.sql)|*.sql|All Files (*.*)|*.*||"}));
    // A picker opens where its box's file is; the box's tooltip shows it whole.
    QTest::mouseClick(Button(1002), Qt::LeftButton);
    EXPECT_EQ(fake.pickerStarts, (std::vector<QString>{"", "", QStringLiteral("/data/caf\u00e9 2026.csv")}));
    EXPECT_EQ(Box(1000)->toolTip(), QStringLiteral("/data/caf\u00e9 2026.csv"));

    // Several files picked are listed in the box, and Convert reads them in
    // turn; the picker opens where the first one is.
    WriteBytes("a.csv", "1\n");
    WriteBytes("b \"c\".csv", "2\n");
    fake.pickedFiles = {QStringLiteral("a.csv"), QStringLiteral("b \"c\".csv")};
    QTest::mouseClick(Button(1002), Qt::LeftButton);
    EXPECT_EQ(Box(1000)->text(), QStringLiteral("\"a.csv\" \"b \"\"c\"\".csv\""));
    QTest::mouseClick(Button(1002), Qt::LeftButton);
    EXPECT_EQ(fake.pickerStarts.back(), QStringLiteral("a.csv"));
    QTest::mouseClick(Button(1004), Qt::LeftButton);
    EXPECT_EQ(fake.messages.back().text, "Done\n\n2 statements with 2 rows were appended to db.csv.");
    EXPECT_EQ(ReadBytes("db.csv"),
              "INSERT INTO typed_table VALUES ( '1' );\r\nINSERT INTO typed_table VALUES ( '2' );\r\n");
}

TEST_F(ConverterDlgTest, ConvertWritesTheStatementsAndShowsTheDefaultOutput) {
    WriteBytes("people.csv", "1,O'Brien\r\n2,\"Smith, J\"\r\n");
    Open();
    QTest::keyClicks(Box(1000), "people.csv");
    QTest::keyClicks(Box(1007), "people");
    QTest::keyClicks(Box(1005), "id, name");
    QTest::mouseClick(Button(1004), Qt::LeftButton);

    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(fake.messages[0].text, "Done\n\n2 statements with 2 rows were appended to db.csv.");
    EXPECT_EQ(fake.messages[0].caption, "Done");
    EXPECT_EQ(fake.messages[0].icon, QMessageBox::NoIcon);
    EXPECT_EQ(fake.messages[0].owner, dialog.get());
    EXPECT_EQ(Box(1001)->text(), "db.csv");
    EXPECT_EQ(ReadBytes("db.csv"),
              "INSERT INTO people ( id, name ) VALUES ( '1','O''Brien' );\r\n"
              "INSERT INTO people ( id, name ) VALUES ( '2','Smith, J' );\r\n");
}

TEST_F(ConverterDlgTest, ConvertReportsAMissingInput) {
    Open();
    QTest::keyClicks(Box(1000), "nothing.csv");
    QTest::mouseClick(Button(1004), Qt::LeftButton);
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(fake.messages[0].text, "Cannot read \"nothing.csv\": No such file or directory");
    EXPECT_EQ(fake.messages[0].caption, "Error Reading File");
}

TEST_F(ConverterDlgTest, HelpOpensThePageAndLeavesUnchangedBoxesAlone) {
    WriteBytes("db.ini", kSavedIni);
    WriteBytes("help.htm", "<html></html>");
    SetHelpPagePath(QString::fromStdString((dir() / "help.htm").string()));
    Open();
    Box(1007)->setSelection(1, 3);
    QTest::mouseClick(Button(1009), Qt::LeftButton);
    ASSERT_EQ(fake.openedUrls.size(), 1u);
    EXPECT_EQ(fake.openedUrls[0], HelpPageUrl(0x20066));
    EXPECT_TRUE(fake.openedUrls[0].isLocalFile());
    EXPECT_EQ(fake.openedUrls[0].fragment(), "main-window");
    EXPECT_TRUE(fake.messages.empty());
    EXPECT_EQ(Box(1007)->selectedText(), "ld_");
}

TEST_F(ConverterDlgTest, WindowMenuHoldsCloseAndAbout) {
    Open();
    std::unique_ptr<QMenu> menu = dialog->CreateWindowMenu();
    const QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), 3);
    EXPECT_EQ(actions[0]->text(), "Close");
    EXPECT_TRUE(actions[1]->isSeparator());
    EXPECT_EQ(actions[2]->text(), "&About Rowsmith...");
    actions[2]->trigger();
    EXPECT_EQ(fake.aboutBoxesShown, 1);
    // Only the high bits of a window-menu command count.
    dialog->OnSysCommand(0x1F);
    EXPECT_EQ(fake.aboutBoxesShown, 2);
    dialog->OnSysCommand(0x20);
    EXPECT_EQ(fake.aboutBoxesShown, 2);
    EXPECT_TRUE(dialog->isVisible());
    actions[0]->trigger();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
}

TEST_F(ConverterDlgTest, WindowMenuLeavesOutAboutWhenItsStringIsEmpty) {
    fake.stringOverrides[101] = QString();
    Open();
    const std::unique_ptr<QMenu> menu = dialog->CreateWindowMenu();
    const QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), 1);
    EXPECT_EQ(actions[0]->text(), "Close");
}

TEST_F(ConverterDlgTest, FailedSaveIsShownAsTheWindowGoes) {
    fs::create_directory("db.ini");
    Open();
    dialog->close();
    Close();
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(fake.messages[0].text, QString::fromStdString("Save to File\n\nThe settings could not be saved in " +
                                                            (dir() / "db.ini").string() + ": Is a directory."));
    EXPECT_EQ(fake.messages[0].caption, "Error Writing File");
}

}  // namespace
}  // namespace rowsmith

namespace rowsmith {
namespace {

class ConversionProgressTest : public ConverterDlgTest {
protected:
    // An input of many blocks; what converting all of it gives.
    std::string WriteLargeInput(int lines) {
        test::Lines large = test::QuotedLines(lines);
        WriteBytes("big.csv", large.input);
        return std::move(large.statements);
    }
    static std::string Appended(std::size_t n) {
        return n == 1 ? "1 statement with 1 row was appended to out.sql."
                      : std::to_string(n) + " statements with " + std::to_string(n) + " rows were appended to out.sql.";
    }
    static std::string Mismatched(std::size_t n) {
        return n == 1 ? "1 line has a number of values other than the 1 field name: line 1. Its statement will fail to "
                        "load."
                      : std::to_string(n) +
                            " lines have a number of values other than the 1 field name; the first is "
                            "line 1. Their statements will fail to load.";
    }
    void StartConvert() {
        QTest::keyClicks(Box(1000), "big.csv");
        QTest::keyClicks(Box(1001), "out.sql");
        QTest::keyClicks(Box(1007), "T");
        QTest::keyClicks(Box(1005), "F");
        QTest::mouseClick(Button(1004), Qt::LeftButton);
    }
};

TEST_F(ConversionProgressTest, CancelStopsAfterWholeStatementsAndSaysSo) {
    constexpr int kLines = 400000;
    const std::string statements = WriteLargeInput(kLines);
    bool sawProgress = false;
    bool busyCursor = false;
    QTimer::singleShot(0, [&] {
        auto* progress = dialog->findChild<QProgressDialog*>("progress");
        sawProgress = progress && progress->isVisible() && progress->labelText() == "Converting big.csv";
        busyCursor = QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
        if (progress) QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);
    });
    bool progressGoneAtMessage = false;
    FakeUiServices::ShownMessage last{};
    UiServices services = fake.Make();
    services.showMessage = [&](QWidget* owner, const QString& text, const QString& caption, QMessageBox::Icon icon) {
        progressGoneAtMessage = owner->findChild<QProgressDialog*>() == nullptr && !QApplication::overrideCursor();
        last = {text, caption, icon, owner};
    };
    dialog = std::make_unique<CConverterDlg>(services);
    dialog->SetProgressDelay(std::chrono::milliseconds(0));
    dialog->show();
    StartConvert();

    EXPECT_TRUE(sawProgress);
    EXPECT_TRUE(busyCursor);
    EXPECT_TRUE(progressGoneAtMessage);
    EXPECT_EQ(last.caption, "Cancelled");
    // Whole statements from the start, and not all of them.
    const std::string output = ReadBytes("out.sql");
    ASSERT_GT(output.size(), 0u);
    EXPECT_EQ(statements.compare(0, output.size(), output), 0);
    EXPECT_EQ(output.substr(output.size() - 5), " );\r\n");
    const auto written = static_cast<std::size_t>(std::count(output.begin(), output.end(), '\n'));
    EXPECT_LT(written, static_cast<std::size_t>(kLines));
    // The message says what the output holds, and that the lines hold three
    // values for the one field name F.
    EXPECT_EQ(last.text,
              QString::fromStdString("Conversion cancelled.\n\n" + Appended(written) + "\n" + Mismatched(written)));
}

TEST_F(ConversionProgressTest, AShortConversionShowsNoProgress) {
    const std::string statements = WriteLargeInput(1000);
    bool progressShown = true;
    UiServices services = fake.Make();
    services.showMessage = [&](QWidget* owner, const QString& text, const QString&, QMessageBox::Icon) {
        progressShown = owner->findChild<QProgressDialog*>() != nullptr;
        fake.messages.push_back({text, {}, QMessageBox::NoIcon, owner});
    };
    dialog = std::make_unique<CConverterDlg>(services);
    dialog->show();
    // Counts are grouped as the user's locale groups digits.
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    StartConvert();
    QLocale::setDefault(saved);
    EXPECT_FALSE(progressShown);
    ASSERT_EQ(fake.messages.size(), 1u);
    std::string grouped = "Done\n\n" + Appended(1000) + "\n" + Mismatched(1000);
    for (std::size_t at; (at = grouped.find("1000")) != std::string::npos;) grouped.replace(at, 4, "1.000");
    EXPECT_EQ(fake.messages[0].text, QString::fromStdString(grouped));
    EXPECT_EQ(ReadBytes("out.sql"), statements);
}

}  // namespace
}  // namespace rowsmith
