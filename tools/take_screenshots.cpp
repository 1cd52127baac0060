// Saves pictures of the main window (with values filled in), the About box
// and the Options dialog, for the README: take_screenshots OUTPUT_DIR.
// Run it in a scratch directory: the main window reads and writes db.ini there.
#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QTimer>
#include <cstdio>

#include "app/converter_app.h"
#include "settings/settings_file.h"
#include "ui/about_box.h"
#include "ui/converter_dlg.h"
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
    rowsmith::UiServices services = rowsmith::DefaultUiServices();
    const rowsmith::ConversionOptions options{.rowsPerInsert = 500,
                                              .transaction = true,
                                              .header = true,
                                              .rfc4180 = true,
                                              .delimiter = ';',
                                              .encoding = "windows-1252"};
    rowsmith::COptionsDlg optionsDialog(options, services, &dialog);
    save(optionsDialog, QDir(out).filePath(QStringLiteral("options-dialog.png")));
    optionsDialog.hide();
    dialog.hide();
    return saved ? 0 : 1;
}
