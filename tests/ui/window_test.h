#pragma once

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <memory>

#include "fake_ui_services.h"
#include "settings/settings_file.h"
#include "test_support.h"
#include "ui/converter_dlg.h"

namespace rowsmith::test {

// A main window over recording services, in a temporary folder of its own.
class WindowTest : public TempDirTest {
protected:
    // The window goes first, while its folder is still the current one:
    // destroying it saves db.ini there.
    void TearDown() override {
        dialog.reset();
        SetHelpPagePath({});
        TempDirTest::TearDown();
    }
    void Open() {
        dialog = std::make_unique<CConverterDlg>(fake.Make());
        dialog->show();
        QApplication::processEvents();
    }
    QLineEdit* Box(int id) { return dialog->findChild<QLineEdit*>(QString::number(id)); }
    QPushButton* Button(int id) { return dialog->findChild<QPushButton*>(QString::number(id)); }
    // Destroys the window, which saves the settings, and reads them back.
    ConversionSettings Close() {
        dialog.reset();
        ConversionSettings saved;
        LoadSettings(saved);
        return saved;
    }

    FakeUiServices fake;
    std::unique_ptr<CConverterDlg> dialog;
};

}  // namespace rowsmith::test
