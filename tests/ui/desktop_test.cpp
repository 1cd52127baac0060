// The window on a real Linux desktop: options, drops, help that opens,
// messages that say what happened, and nothing of the user's lost.
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QScrollArea>
#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

#include "app/converter_app.h"
#include "fake_ui_services.h"
#include "window_test.h"
#include "settings/settings_file.h"
#include "test_support.h"
#include "ui/converter_dlg.h"
#include "ui/dialog_templates.h"
#include "ui/options_dlg.h"
#include "ui/dialog_builder.h"

namespace rowsmith {
namespace {

namespace fs = std::filesystem;
using test::FakeUiServices;
using test::ReadBytes;
using test::TempDirTest;
using test::WriteBytes;

using DesktopTest = test::WindowTest;

constexpr const char* kPlainIni = "CREATOR=DB 1.0\r\nOUTPUT=out.sql\r\nINPUT=in.csv\r\nTABLE=t\r\nFIELDS=a, b\r\n\r\n";

TEST_F(DesktopTest, OptionsRoundTripThroughDbIniAndDefaultsKeepItsBytes) {
    // Default options: the file is exactly the plain one.
    WriteBytes("db.ini", kPlainIni);
    Open();
    dialog.reset();
    EXPECT_EQ(ReadBytes("db.ini"), kPlainIni);

    // OK keeps what the dialog answers; it is saved and comes back.
    const ConversionOptions chosen{.dialect = Dialect::MySql,
                                   .null = NullMode::UnquotedEmpty,
                                   .rowsPerInsert = 500,
                                   .transaction = true,
                                   .header = true,
                                   .rfc4180 = true,
                                   .delimiter = '\t',
                                   .encoding = "windows-1252",
                                   .nullTokens = {"\\N", "not given"},
                                   .createTable = true,
                                   .columnTypes = {"id=INT", "v=DOUBLE PRECISION"},
                                   .columns = "v, id=key",
                                   .onConflict = OnConflict::Update,
                                   .key = "key",
                                   .skipLines = 2,
                                   .quote = '\'',
                                   .escape = '\\',
                                   .skipSpaces = true,
                                   .splitRows = 100000,
                                   .splitBytes = std::uint64_t{64} << 20,
                                   .headerLines = 2,
                                   .lastLine = 40};
    Open();
    fake.optionsAnswer = chosen;
    QTest::mouseClick(Button(1010), Qt::LeftButton);
    EXPECT_EQ(dialog->options(), chosen);
    dialog.reset();
    EXPECT_EQ(
        ReadBytes("db.ini"),
        "CREATOR=DB 1.0\r\nOUTPUT=out.sql\r\nINPUT=in.csv\r\nTABLE=t\r\nFIELDS=a, b\r\nHEADER=1\r\nRFC4180=1\r\n"
        "DELIMITER=tab\r\nENCODING=windows-1252\r\nDIALECT=mysql\r\nROWSPERINSERT=500\r\n"
        "TRANSACTION=1\r\nNULL=unquoted-empty\r\nNULLTOKEN=\\N\r\nNULLTOKEN=not given\r\nCREATETABLE=1\r\n"
        "TYPE=id=INT\r\nTYPE=v=DOUBLE PRECISION\r\nCOLUMNS=v, id=key\r\nONCONFLICT=update\r\nKEY=key\r\n"
        "SKIPLINES=2\r\nHEADERLINES=2\r\nLASTLINE=40\r\nQUOTE='\r\nESCAPE=\\\r\nSKIPSPACES=1\r\nSPLITROWS=100000\r\n"
        "SPLITBYTES=67108864\r\n\r\n");
    Open();
    EXPECT_EQ(dialog->options(), chosen);

    // Cancel keeps what there was; the dialog was shown what there was.
    fake.optionsAnswer.reset();
    QTest::mouseClick(Button(1010), Qt::LeftButton);
    EXPECT_EQ(dialog->options(), chosen);
    ASSERT_EQ(fake.optionsShown.size(), 2u);
    EXPECT_EQ(fake.optionsShown[1], chosen);
}

TEST_F(DesktopTest, ConvertUsesTheOptionsAndTheHeaderNamesTheFields) {
    WriteBytes("in.csv", "id,\"last name\"\r\n1,\"O'Brien, J\"\r\n");
    Open();
    fake.optionsAnswer = ConversionOptions{.header = true, .rfc4180 = true};
    QTest::mouseClick(Button(1010), Qt::LeftButton);
    QTest::keyClicks(Box(1000), "in.csv");
    QTest::keyClicks(Box(1001), "out.sql");
    QTest::keyClicks(Box(1007), "people");
    QTest::mouseClick(Button(1004), Qt::LeftButton);
    EXPECT_EQ(ReadBytes("out.sql"), "INSERT INTO people ( \"id\", \"last name\" ) VALUES ( '1','O''Brien, J' );\r\n");
    ASSERT_EQ(fake.messages.size(), 1u);
    // "Done" names the reading options that are not the defaults.
    EXPECT_EQ(fake.messages[0].text,
              "Done\n\n1 statement with 1 row was appended to out.sql.\n\n"
              "Read with: standard CSV quoting, first line holds the field names.");
}

// Options that cannot go together (a db.ini of COPY for SQLite): the
// dialog shows no box ticked that cannot be unticked, and Convert says why
// it refuses without making the output.
TEST_F(DesktopTest, AnOptionTheDialectMakesMeaninglessIsNeitherShownNorUsed) {
    WriteBytes("in.csv", "1,a\n");
    WriteBytes("db.ini",
               "CREATOR=DB 1.0\r\nOUTPUT=out.sql\r\nINPUT=in.csv\r\nTABLE=t\r\nFIELDS=a, b\r\n"
               "DIALECT=sqlite\r\nCOPY=1\r\n\r\n");
    Open();
    ASSERT_TRUE(dialog->options().copy);
    QTest::mouseClick(Button(1004), Qt::LeftButton);
    EXPECT_FALSE(fs::exists("out.sql"));
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_TRUE(fake.messages[0].text.startsWith("These options do not go together: --copy writes PostgreSQL's COPY"))
        << fake.messages[0].text.toStdString();

    UiServices services = fake.Make();
    COptionsDlg options(dialog->options(), services, nullptr);
    auto* copy = options.findChild<QCheckBox*>("1027");
    auto* dialect = options.findChild<QComboBox*>("1016");
    EXPECT_FALSE(copy->isChecked());
    EXPECT_FALSE(copy->isEnabled());
    dialect->setCurrentIndex(2);  // PostgreSQL
    EXPECT_TRUE(copy->isEnabled());
    copy->setChecked(true);
    dialect->setCurrentIndex(3);  // MySQL and MariaDB
    EXPECT_FALSE(copy->isChecked());
    EXPECT_FALSE(copy->isEnabled());
}

// The reading rules' controls: quotes and escapes only for standard CSV,
// a text export only without it; a box made meaningless is unticked.
// On a screen with less room than the Options dialog needs (1366x768 at
// 150 %, 1600x1000 at 200 %), it scrolls and can be resized, and its
// buttons can be reached; where there is room it stays as it is.
TEST_F(DesktopTest, TheOptionsDialogScrollsWhereTheScreenIsSmaller) {
    for (const int share : {100, 66, 40}) {
        QDialog options;
        const QSize size = BuildDialog(options, kOptionsTemplate, QIcon());
        const QSize room = size * share / 100;
        EXPECT_EQ(FitOnScreen(options, size, room), share < 100) << share;
        auto* scroll = options.findChild<QScrollArea*>("scroll");
        ASSERT_EQ(scroll != nullptr, share < 100) << share;
        options.show();
        auto* cancel = options.findChild<QPushButton*>("2");
        ASSERT_NE(cancel, nullptr);
        if (scroll == nullptr) {
            EXPECT_EQ(options.size(), size);
            continue;
        }
        EXPECT_LE(options.width(), room.width());
        EXPECT_LE(options.height(), room.height());
        EXPECT_GT(options.maximumWidth(), size.width());
        scroll->ensureWidgetVisible(cancel);
        const QPoint corner = cancel->mapTo(scroll->viewport(), QPoint(cancel->width(), cancel->height()));
        EXPECT_TRUE(scroll->viewport()->rect().contains(corner - QPoint(1, 1))) << share;
    }
}

TEST_F(DesktopTest, TheOptionsDialogReadsTheReadingRules) {
    UiServices services = fake.Make();
    const ConversionOptions start{.rfc4180 = true, .skipLines = 3, .quote = '\'', .escape = '\\', .skipSpaces = true};
    COptionsDlg options(start, services, nullptr);
    auto control = [&options](int id) { return options.findChild<QWidget*>(QString::number(id)); };
    EXPECT_EQ(static_cast<QSpinBox*>(control(1034))->value(), 3);
    EXPECT_EQ(static_cast<QComboBox*>(control(1035))->currentText(), "'");
    EXPECT_EQ(static_cast<QLineEdit*>(control(1036))->text(), "\\");
    EXPECT_TRUE(static_cast<QCheckBox*>(control(1037))->isChecked());
    EXPECT_FALSE(control(1038)->isEnabled());
    EXPECT_FALSE(control(1044)->isEnabled());  // the header's lines: only with a header
    QTest::mouseClick(options.findChild<QPushButton*>("1"), Qt::LeftButton);
    EXPECT_EQ(options.options(), start);

    COptionsDlg again(start, services, nullptr);
    auto other = [&again](int id) { return again.findChild<QWidget*>(QString::number(id)); };
    static_cast<QComboBox*>(other(1035))->setCurrentText("none");
    static_cast<QLineEdit*>(other(1036))->setText("");
    static_cast<QCheckBox*>(other(1012))->setChecked(false);
    for (const int id : {1035, 1036, 1037}) EXPECT_FALSE(other(id)->isEnabled()) << id;
    EXPECT_FALSE(static_cast<QCheckBox*>(other(1037))->isChecked());
    ASSERT_TRUE(other(1038)->isEnabled());
    static_cast<QCheckBox*>(other(1038))->setChecked(true);
    static_cast<QComboBox*>(other(1013))->setCurrentIndex(kTab);
    QTest::mouseClick(again.findChild<QPushButton*>("1"), Qt::LeftButton);
    EXPECT_EQ(again.result(), QDialog::Accepted);
    EXPECT_EQ(again.options(), (ConversionOptions{.delimiter = '\t', .skipLines = 3, .textExport = true}));
}

TEST_F(DesktopTest, TheOptionsDialogShowsAndReadsEveryOption) {
    UiServices services = fake.Make();
    const ConversionOptions start{
        .rowsPerInsert = 7, .delimiter = '|', .encoding = "latin1", .nullTokens = {"one marker", "\\N"}};
    COptionsDlg options(start, services, nullptr);
    auto control = [&options](int id) { return options.findChild<QWidget*>(QString::number(id)); };
    EXPECT_EQ(static_cast<QComboBox*>(control(1013))->currentIndex(), kOtherDelimiter);
    EXPECT_EQ(static_cast<QLineEdit*>(control(1014))->text(), "|");
    EXPECT_EQ(static_cast<QComboBox*>(control(1015))->currentText(), "latin1");
    EXPECT_EQ(static_cast<QSpinBox*>(control(1018))->value(), 7);
    EXPECT_FALSE(control(1022)->isEnabled());  // quoted empty values: only with empty values as NULL
    EXPECT_EQ(static_cast<QLineEdit*>(control(1023))->text(), "one marker \\N");
    EXPECT_EQ(options.property("templateId").toInt(), kOptionsTemplateId);

    static_cast<QCheckBox*>(control(1011))->setChecked(true);
    ASSERT_TRUE(control(1044)->isEnabled());
    static_cast<QSpinBox*>(control(1044))->setValue(2);
    static_cast<QLineEdit*>(control(1045))->setText(" 12 ");
    static_cast<QComboBox*>(control(1013))->setCurrentIndex(kSemicolon);
    static_cast<QComboBox*>(control(1015))->setCurrentText("As is");
    static_cast<QComboBox*>(control(1016))->setCurrentIndex(3);  // MySQL and MariaDB
    static_cast<QCheckBox*>(control(1019))->setChecked(true);
    static_cast<QCheckBox*>(control(1017))->setChecked(true);
    EXPECT_TRUE(control(1022)->isEnabled());
    static_cast<QCheckBox*>(control(1022))->setChecked(true);
    EXPECT_FALSE(control(1025)->isEnabled());  // column types: only for a table to create
    static_cast<QCheckBox*>(control(1024))->setChecked(true);
    static_cast<QLineEdit*>(control(1025))->setText("id=INTEGER; note=NUMERIC(10,2);");
    static_cast<QLineEdit*>(control(1026))->setText(" note, 2=id ");
    EXPECT_FALSE(control(1027)->isEnabled());  // COPY: PostgreSQL's alone
    EXPECT_TRUE(control(1029)->isEnabled());   // the key: for a table to create, or where a held one does something
    static_cast<QComboBox*>(control(1028))->setCurrentIndex(2);
    static_cast<QLineEdit*>(control(1029))->setText("id");
    static_cast<QLineEdit*>(control(1042))->setText("5000");
    static_cast<QLineEdit*>(control(1043))->setText(" 1M ");
    static_cast<QLineEdit*>(control(1046))->setText("3");
    QTest::mouseClick(options.findChild<QPushButton*>("1"), Qt::LeftButton);
    EXPECT_EQ(options.result(), QDialog::Accepted);
    ConversionOptions expected = start;
    expected.header = true;
    expected.delimiter = ';';
    expected.encoding = "";
    expected.dialect = Dialect::MySql;
    expected.transaction = true;
    expected.null = NullMode::UnquotedEmpty;  // the markers unchanged, their space and all
    expected.createTable = true;
    expected.columnTypes = {"id=INTEGER", "note=NUMERIC(10,2)"};
    expected.columns = "note, 2=id";
    expected.onConflict = OnConflict::Update;
    expected.key = "id";
    expected.splitRows = 5000;
    expected.splitBytes = std::uint64_t{1} << 20;
    expected.headerLines = 2;
    expected.lastLine = 12;
    expected.jobs = 3;
    EXPECT_EQ(options.options(), expected);
    EXPECT_TRUE(fake.messages.empty());

    // What cannot be used is said, and the dialog stays open.
    struct Bad {
        int delimiterChoice;
        const char* other;
        const char* encoding;
        const char* why;
        const char* markers = "";
        const char* types = "";
        const char* columns = "";
    };
    const Bad bad[] = {
        {kOtherDelimiter, "\"", "As is", "--delimiter takes one byte, tab or space"},
        {kOtherDelimiter, "ab", "As is", "--delimiter takes one byte, tab or space"},
        // db.ini could not keep these: a line loses them at its end, or at 0x1A.
        {kOtherDelimiter, "\v", "As is", "--delimiter takes one byte, tab or space"},
        {kOtherDelimiter, "\x1A", "As is", "--delimiter takes one byte, tab or space"},
        {kComma, "", "no-such-set", "The character set \"no-such-set\" is not known."},
        {kComma, "", "As is", "--null-token takes text without CR, LF or 0x1A", "NA \x1A"},
        {kComma, "", "As is", "--type takes NAME=TYPE, both not empty", "", "id"},
        // Without a header only numbers choose columns.
        {kComma, "", "As is", "--columns names \"note\", and only a header", "", "", "2, note"},
    };
    for (const Bad& b : bad) {
        COptionsDlg again(start, services, nullptr);
        again.show();
        static_cast<QComboBox*>(again.findChild<QWidget*>("1013"))->setCurrentIndex(b.delimiterChoice);
        static_cast<QLineEdit*>(again.findChild<QWidget*>("1014"))->setText(b.other);
        static_cast<QComboBox*>(again.findChild<QWidget*>("1015"))->setCurrentText(b.encoding);
        if (*b.markers != '\0') static_cast<QLineEdit*>(again.findChild<QWidget*>("1023"))->setText(b.markers);
        if (*b.types != '\0') {
            static_cast<QCheckBox*>(again.findChild<QWidget*>("1024"))->setChecked(true);
            static_cast<QLineEdit*>(again.findChild<QWidget*>("1025"))->setText(b.types);
        }
        static_cast<QLineEdit*>(again.findChild<QWidget*>("1026"))->setText(b.columns);
        fake.messages.clear();
        QTest::mouseClick(again.findChild<QPushButton*>("1"), Qt::LeftButton);
        EXPECT_TRUE(again.isVisible()) << b.why;
        ASSERT_EQ(fake.messages.size(), 1u);
        EXPECT_TRUE(fake.messages[0].text.startsWith(b.why)) << fake.messages[0].text.toStdString();
        QTest::mouseClick(again.findChild<QPushButton*>("2"), Qt::LeftButton);
        EXPECT_EQ(again.result(), QDialog::Rejected);
        EXPECT_EQ(again.options(), start);
    }
}

// Sends a drag of a file list onto target and drops it.
void DropFiles(QWidget* target, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    EXPECT_TRUE(drop.isAccepted());
}

TEST_F(DesktopTest, DroppedFilesNameThemselvesInTheBoxOrTheInput) {
    WriteBytes("db.ini", kPlainIni);
    Open();
    DropFiles(Box(1001), {QUrl::fromLocalFile("/data/new output.sql")});
    EXPECT_EQ(Box(1001)->text(), "/data/new output.sql");  // the text replaced, not added to
    DropFiles(Button(1009), {QUrl("https://example.invalid/x.csv"), QUrl::fromLocalFile("/data/caf\u00e9.csv")});
    EXPECT_EQ(Box(1000)->text(), QStringLiteral("/data/caf\u00e9.csv"));
    // A name that is not UTF-8 keeps its bytes.
    DropFiles(Box(1000), {QUrl(QStringLiteral("file:///data/caf%E9.csv"))});
    EXPECT_EQ(dialog->settings().inputFile, "/data/caf\xE9.csv");
    // Several files: the input box lists them all, another box takes the first.
    DropFiles(Box(1001), {QUrl::fromLocalFile("/data/a.sql"), QUrl::fromLocalFile("/data/b.sql")});
    EXPECT_EQ(Box(1001)->text(), "/data/a.sql");
    DropFiles(dialog.get(), {QUrl::fromLocalFile("/data/1.csv"), QUrl::fromLocalFile("/data/2 \"b\".csv")});
    EXPECT_EQ(Box(1000)->text(), "\"/data/1.csv\" \"/data/2 \"\"b\"\".csv\"");
    DropFiles(Box(1001), {QUrl::fromLocalFile("/data/new output.sql")});
    DropFiles(dialog.get(), {QUrl::fromLocalFile("/data/third.csv")});
    EXPECT_EQ(Box(1000)->text(), "/data/third.csv");
    dialog->OnCommand(1);
    dialog.reset();
    ConversionSettings saved;
    LoadSettings(saved);
    EXPECT_EQ(saved, (ConversionSettings{"/data/third.csv", "/data/new output.sql", "t", "a, b"}));
}

TEST_F(DesktopTest, AnotherProgramsDbIniIsLeftByteForByte) {
    const std::string foreign[] = {
        "[database]\r\npassword=secret\r\n",
        "INPUT=in.csv\nCOLOR=blue\n",
        "just some notes\n",
    };
    for (const std::string& bytes : foreign) {
        WriteBytes("db.ini", bytes);
        fake.messages.clear();
        Open();
        QTest::keyClick(Box(1000), Qt::Key_Escape);
        dialog.reset();
        EXPECT_EQ(ReadBytes("db.ini"), bytes);
        ASSERT_EQ(fake.messages.size(), 1u);
        EXPECT_EQ(fake.messages[0].text.toStdString(),
                  "Save to File\n\n" + (dir() / "db.ini").string() +
                      " belongs to another program, so Rowsmith left it as it is: the settings were not saved.");
    }
    // Rowsmith's own, the last empty line too, is replaced as ever.
    WriteBytes("db.ini", kPlainIni);
    Open();
    dialog.reset();
    EXPECT_EQ(ReadBytes("db.ini"), kPlainIni);
}

TEST_F(DesktopTest, UneditedBoxesKeepTheirBytesWhateverTheirEncoding) {
    // A Latin-1 name of a file that exists; the locale is UTF-8.
    WriteBytes("caf\xE9.csv", "1,x\n");
    WriteBytes("db.ini", "INPUT=caf\xE9.csv\r\nOUTPUT=out.sql\r\nTABLE=t\r\nFIELDS=a, b\r\n");
    Open();
    QTest::mouseClick(Button(1004), Qt::LeftButton);
    EXPECT_EQ(ReadBytes("out.sql"), "INSERT INTO t ( a, b ) VALUES ( '1','x' );\r\n");
    EXPECT_EQ(dialog->settings().inputFile, "caf\xE9.csv");
    QTest::keyClick(Box(1007), Qt::Key_Return);  // Quit
    dialog.reset();
    EXPECT_NE(ReadBytes("db.ini").find("INPUT=caf\xE9.csv\r\n"), std::string::npos);

    // What the user types is taken as the locale gives it.
    Open();
    Box(1007)->clear();
    QKeyEvent typed(QEvent::KeyPress, 0, Qt::NoModifier, QStringLiteral("t\u00e9"));
    QApplication::sendEvent(Box(1007), &typed);
    ASSERT_EQ(Box(1007)->text(), QStringLiteral("t\u00e9"));
    QTest::keyClick(Box(1007), Qt::Key_Return);
    EXPECT_EQ(dialog->settings().tableName, "t\xC3\xA9");
    EXPECT_EQ(dialog->settings().inputFile, "caf\xE9.csv");
}

TEST_F(DesktopTest, LettersWithAltCtrlOrMetaNeverTypeIntoABox) {
    Open();
    QTest::keyClicks(Box(1005), "id");
    for (const Qt::KeyboardModifier held : {Qt::AltModifier, Qt::MetaModifier, Qt::ControlModifier}) {
        for (const char letter : {'c', 'o', 'b'}) QTest::keyClick(Box(1005), letter, held);
    }
    EXPECT_EQ(Box(1005)->text(), "id");
    QTest::keyClicks(Box(1005), ", name");
    EXPECT_EQ(Box(1005)->text(), "id, name");
}

TEST_F(DesktopTest, ScreenReadersHearWhatEachControlIs) {
    Open();
    const std::pair<int, const char*> names[] = {
        {1000, "Input file"},
        {1001, "Output file"},
        {1007, "Table name"},
        {1005, "Field names"},
        {1002, "Browse for the input file"},
        {1003, "Browse for the output file"},
    };
    for (const auto& [id, name] : names) {
        EXPECT_EQ(dialog->findChild<QWidget*>(QString::number(id))->accessibleName(), name) << id;
    }
    int buddies = 0;
    for (const QLabel* label : dialog->findChildren<QLabel*>()) buddies += label->buddy() != nullptr;
    EXPECT_EQ(buddies, 4);
    UiServices services = fake.Make();
    COptionsDlg options({}, services, nullptr);
    for (const int id : {1013, 1014, 1015, 1016, 1018}) {
        EXPECT_FALSE(options.findChild<QWidget*>(QString::number(id))->accessibleName().isEmpty()) << id;
    }
}

TEST_F(DesktopTest, HelpOpensTheInstalledPageOrSaysItCannot) {
    Open();
    // No page where it should be: said, truly.
    SetHelpPagePath(QString::fromStdString((dir() / "missing.htm").string()));
    QTest::mouseClick(Button(1009), Qt::LeftButton);
    EXPECT_TRUE(fake.openedUrls.empty());
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(fake.messages[0].text, "Failed to launch help.");
    EXPECT_EQ(fake.messages[0].icon, QMessageBox::Warning);

    // A page, but nothing on the desktop to open it.
    WriteBytes("help.htm", "<html></html>");
    SetHelpPagePath(QString::fromStdString((dir() / "help.htm").string()));
    fake.urlOpens = false;
    QTest::mouseClick(Button(1009), Qt::LeftButton);
    ASSERT_EQ(fake.openedUrls.size(), 1u);
    EXPECT_EQ(fake.openedUrls[0].toLocalFile().toStdString(), (dir() / "help.htm").string());
    ASSERT_EQ(fake.messages.size(), 2u);
    // Said with the page's path, for opening it by hand.
    EXPECT_EQ(fake.messages[1].text.toStdString(),
              "Failed to launch help.\n\nThe help page is " + (dir() / "help.htm").string() + ".");

    // F1 opens the page at each dialog's own section, through the real opener.
    for (const auto& [context, section] :
         {std::pair<unsigned, const char*>{0x20066, "main-window"}, {0x20064, "about-box"}, {0x20068, "options"}}) {
        EXPECT_EQ(HelpSection(context), section);
    }
    EXPECT_FALSE(DefaultUiServices().launchHelp((dir() / "missing.htm").c_str(), 0x20066));
}

TEST_F(DesktopTest, TheInstalledHelpPageHasEverySectionAndTellsHowToReachAbout) {
    const std::string page = ReadBytes(ROWSMITH_HELP_PAGE);
    for (const char* section : {"id=\"main-window\"", "id=\"about-box\"", "id=\"options\""}) {
        EXPECT_NE(page.find(section), std::string::npos) << section;
    }
    for (const char* way : {"right-click", "Menu key", "Shift+F10"})
        EXPECT_NE(page.find(way), std::string::npos) << way;
}

TEST(StartupArguments, TakeAFileOrAnswerHelpAndVersion) {
    struct Case {
        std::vector<std::string> args;
        StartupArguments::Action action;
        std::string inputFile;
    };
    const Case cases[] = {
        {{}, StartupArguments::Action::Run, ""},
        {{"people.csv"}, StartupArguments::Action::Run, "people.csv"},
        {{"--", "-odd.csv"}, StartupArguments::Action::Run, "-odd.csv"},
        {{"caf\xE9.csv"}, StartupArguments::Action::Run, "caf\xE9.csv"},
        {{"--help"}, StartupArguments::Action::Help, ""},
        {{"a.csv", "--version"}, StartupArguments::Action::Version, ""},
        {{"--colour"}, StartupArguments::Action::UsageError, ""},
        {{"a.csv", "--", "-b.csv"}, StartupArguments::Action::Run, "\"a.csv\" \"-b.csv\""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> words = c.args;
        words.insert(words.begin(), "rowsmith");
        std::vector<char*> argv;
        for (std::string& word : words) argv.push_back(word.data());
        const StartupArguments parsed = ParseStartupArguments(static_cast<int>(argv.size()), argv.data());
        EXPECT_EQ(parsed.action, c.action) << words.size();
        if (c.action == StartupArguments::Action::Run) {
            EXPECT_EQ(parsed.inputFile, c.inputFile);
        }
    }
}

// An export the options do not read as written: a new input by Browse, drop
// or start is looked at, and the options change only when the user says Yes.
TEST_F(DesktopTest, ANewInputTheOptionsMisreadIsOfferedItsOptions) {
    WriteBytes("db.ini", kPlainIni);
    WriteBytes("export.csv", "id;note\r\n1;\"says \"\"hi\"\"\"\r\n2;plain\r\n");
    WriteBytes("plain.csv", "1,2\n3,4\n");
    const ConversionOptions fitting{.header = true, .rfc4180 = true, .delimiter = ';'};
    Open();
    DropFiles(Box(1000), {QUrl::fromLocalFile(QString::fromStdString((dir() / "plain.csv").string()))});
    EXPECT_TRUE(fake.questions.empty());
    DropFiles(Box(1000), {QUrl::fromLocalFile(QString::fromStdString((dir() / "export.csv").string()))});
    ASSERT_EQ(fake.questions.size(), 1u);
    EXPECT_TRUE(fake.questions[0].endsWith(
        "Read it with these options: standard CSV quoting, delimiter ';', first line holds the field names?"))
        << fake.questions[0].toStdString();
    // The database the statements are for, and what the header's quoted names mean to MySQL.
    EXPECT_TRUE(
        fake.questions[0].contains("The statements are written for Standard SQL (Target database, in "
                                   "Options...). The header's names will be written in double quotes"))
        << fake.questions[0].toStdString();
    EXPECT_EQ(dialog->options(), ConversionOptions{});  // No: nothing changes
    // The header's names are quoted for the standard: MySQL's dialect is a choice of its own.
    EXPECT_EQ(fake.choices[0], (QStringList{"&Yes", "Yes, for &MySQL and MariaDB"}));
    fake.answer = 1;
    DropFiles(Box(1000), {QUrl::fromLocalFile(QString::fromStdString((dir() / "export.csv").string()))});
    ConversionOptions forMySql = fitting;
    forMySql.dialect = Dialect::MySql;
    EXPECT_EQ(dialog->options(), forMySql);
    dialog.reset();
    WriteBytes("db.ini", kPlainIni);
    Open();
    fake.questions.resize(1);
    fake.answer = 0;
    fake.pickedFiles = {QStringLiteral("export.csv")};
    QTest::mouseClick(Button(1002), Qt::LeftButton);
    EXPECT_EQ(fake.questions.size(), 2u);
    EXPECT_EQ(dialog->options(), fitting);
    // Once they fit, nothing is asked; a file named at start is asked about
    // once the window shows.
    dialog->OpenWithInput("export.csv");
    QApplication::processEvents();
    EXPECT_EQ(fake.questions.size(), 2u);
    dialog = std::make_unique<CConverterDlg>(fake.Make());
    dialog->OpenWithInput("export.csv");
    QApplication::processEvents();
    EXPECT_EQ(fake.questions.size(), 3u);
    // A path typed into the Input box, once the box is left; not one set by
    // the program. The options are export.csv's now: plain.csv misfits them.
    dialog = std::make_unique<CConverterDlg>(fake.Make());
    Box(1000)->clear();
    QTest::keyClicks(Box(1000), "plain.csv");
    QApplication::processEvents();
    EXPECT_EQ(fake.questions.size(), 3u);  // not while typing
    QFocusEvent left(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(Box(1000), &left);
    QApplication::processEvents();
    EXPECT_EQ(fake.questions.size(), 4u);
}

// The Options dialog's preview: the records as read, under the header's
// names, and the statements, redrawn as the options change; Detect fills
// the reading options.
TEST_F(DesktopTest, TheOptionsDialogPreviewsTheInputAndDetectsHowItIsWritten) {
    WriteBytes("export.csv", "id;note\r\n1;\"two\r\nlines\"\r\n2;plain\r\n");
    UiServices services = fake.Make();
    COptionsDlg options({}, services, nullptr, {"export.csv", "", "t", "a"});
    auto* grid = options.findChild<QTableWidget*>(QString::number(kIdPreviewRecords));
    auto* statements = options.findChild<QPlainTextEdit*>(QString::number(kIdPreviewStatements));
    // The defaults: a record a line, one value each.
    EXPECT_EQ(grid->rowCount(), 4);
    EXPECT_EQ(grid->columnCount(), 1);
    EXPECT_TRUE(statements->toPlainText().startsWith("INSERT INTO t ( a ) VALUES ( 'id;note' );\n"));
    options.Detect();
    EXPECT_EQ(options.findChild<QLabel*>(QString::number(kIdDetected))->text(),
              "Found: standard CSV quoting, delimiter ';', first line holds the field names; text ascii. Its names "
              "will be in double quotes: for MySQL and MariaDB, choose them as the target database.");
    ConversionOptions read;
    QString why;
    ASSERT_TRUE(options.Read(read, why));
    EXPECT_EQ(read, (ConversionOptions{.header = true, .rfc4180 = true, .delimiter = ';'}));
    ASSERT_EQ(grid->rowCount(), 2);
    ASSERT_EQ(grid->columnCount(), 2);
    EXPECT_EQ(grid->horizontalHeaderItem(1)->text(), "note");
    EXPECT_EQ(grid->item(0, 1)->text(), "two\r\nlines");
    EXPECT_EQ(statements->toPlainText(),
              "INSERT INTO t ( a ) VALUES ( '1','two\nlines' );\nINSERT INTO t ( a ) VALUES ( '2','plain' );\n");
    // A change of option redraws it at once.
    options.findChild<QCheckBox*>(QString::number(kIdHeader))->setChecked(false);
    EXPECT_EQ(grid->rowCount(), 3);
    EXPECT_EQ(grid->horizontalHeaderItem(1)->text(), "2");
}

TEST_F(DesktopTest, AFileNamedAtStartIsTheInput) {
    WriteBytes("db.ini", kPlainIni);
    dialog = std::make_unique<CConverterDlg>(fake.Make());
    dialog->OpenWithInput("/data/from the file manager.csv");
    EXPECT_EQ(Box(1000)->text(), "/data/from the file manager.csv");
    EXPECT_EQ(Box(1007)->text(), "t");
}

}  // namespace
}  // namespace rowsmith
