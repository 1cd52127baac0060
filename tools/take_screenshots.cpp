// Saves pictures of the main window (with values filled in), the About box
// and the Options dialog, for the README: take_screenshots OUTPUT_DIR.
// Run it in a scratch directory: the main window reads and writes db.ini there.
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QTimer>
#include <cstdio>

#include "app/converter_app.h"
#include "settings/settings_file.h"
#include "ui/about_box.h"
#include "ui/converter_dlg.h"
#include "ui/dialog_templates.h"
#include "ui/options_dlg.h"

int main(int argc, char** argv) {
    rowsmith::CConverterApp app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: take_screenshots OUTPUT_DIR\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QFile ini(QStringLiteral("db.ini"));
    if (!ini.open(QIODevice::WriteOnly)) return 1;
    ini.write(
        "CREATOR=DB 1.0\r\nOUTPUT=/home/ada/exports/customers.sql\r\n"
        "INPUT=/home/ada/exports/customers.csv\r\nTABLE=customers\r\n"
        "FIELDS=id, name, city, joined\r\n\r\n");
    ini.close();

    bool saved = true;
    auto save = [&saved](QWidget& window, const QString& path) {
        window.show();
        window.raise();
        window.activateWindow();
        for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
        saved = window.grab().save(path) && saved;
    };
    rowsmith::CConverterDlg dialog;
    save(dialog, QDir(out).filePath(QStringLiteral("main-window.png")));
    rowsmith::CAboutBox about(&dialog);
    save(about, QDir(out).filePath(QStringLiteral("about-box.png")));
    about.hide();
    // A spreadsheet's export: semicolons, quotes, a header, Windows-1252.
    QFile csv(QStringLiteral("export.csv"));
    if (!csv.open(QIODevice::WriteOnly)) return 1;
    csv.write(
        "Artikel;Preis;Menge;Notiz\r\n\"K\xE4se \"\"alt\"\"\";3,50;2;\r\n\"Br\xF6tchen; hell\";0,45;10;frisch\r\n"
        "\"Tee\r\ngr\xFCn\";2,10;1;\"2 Sorten\"\r\nMilch;0,99;4;\r\nSaft;1,99;6;Apfel\r\n");
    csv.close();
    rowsmith::UiServices services = rowsmith::DefaultUiServices();
    // A new input file whose look the options do not read: the question,
    // saved as shot and answered No.
    const auto questionSavedAs = [&](const QString& shot) {
        services.ask = [&save, &out, shot](QWidget* owner, const QString& text, const QString& caption,
                                           const QStringList& choices) {
            save(*rowsmith::QuestionBox(owner, text, caption, choices), QDir(out).filePath(shot));
            return -1;
        };
    };
    questionSavedAs(QStringLiteral("new-input-question.png"));
    // "Done" after a run the options did not fit: what the file looks like.
    services.showMessage = [&](QWidget* owner, const QString& text, const QString& caption, QMessageBox::Icon icon) {
        QMessageBox box(icon, caption, text, QMessageBox::Ok, owner);
        save(box, QDir(out).filePath(QStringLiteral("done-message.png")));
    };
    rowsmith::CConverterDlg asked(services);
    asked.show();
    asked.OpenWithInput("export.csv");
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
    asked.findChild<QLineEdit*>(QString::number(rowsmith::kIdOutputFile))->setText(QStringLiteral("articles.sql"));
    asked.findChild<QLineEdit*>(QString::number(rowsmith::kIdTableName))->setText(QStringLiteral("articles"));
    asked.findChild<QLineEdit*>(QString::number(rowsmith::kIdFieldNames))->setText(QStringLiteral("a, b, c, d"));
    asked.OnCommand(rowsmith::kIdConvert);
    asked.hide();
    // A spreadsheet's report: a title over the columns it spans, a second table below.
    QFile sheet(QStringLiteral("sheet.csv"));
    if (!sheet.open(QIODevice::WriteOnly)) return 1;
    sheet.write(
        "Region,Sales,,Cost,\r\n,2023,2024,2023,2024\r\nNorth,10,12,3,4\r\nSouth,11,13,5,6\r\n\r\n"
        "Totals,\r\nall,46\r\n");
    sheet.close();
    questionSavedAs(QStringLiteral("new-input-sheet.png"));
    rowsmith::CConverterDlg sheetAsked(services);
    sheetAsked.show();
    sheetAsked.OpenWithInput("sheet.csv");
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
    sheetAsked.hide();
    // The Options dialog after Detect, with its preview: the table typed,
    // decimal commas and all, and what kept each other column text.
    const rowsmith::ConversionOptions options{.dialect = rowsmith::Dialect::Postgresql,
                                              .rowsPerInsert = 500,
                                              .transaction = true,
                                              .createTable = true,
                                              .rejects = "rejects.csv",
                                              .decimalComma = true};
    rowsmith::COptionsDlg optionsDialog(options, services, &dialog, {"export.csv", "", "articles", ""});
    optionsDialog.Detect();
    save(optionsDialog, QDir(out).filePath(QStringLiteral("options-dialog.png")));
    optionsDialog.hide();
    dialog.hide();
    return saved ? 0 : 1;
}
