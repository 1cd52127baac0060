#pragma once

#include <QDialog>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "convert/options/conversion_options.h"
#include "convert/options/conversion_settings.h"
#include "convert/run/message_owner.h"
#include "ui/command_table.h"
#include "ui/ui_services.h"

class QLineEdit;
class QMenu;
class QTimer;

namespace rowsmith {

// The main window: four boxes (input file, output file, table name, field
// names) and the buttons that browse, convert, set the options, open the
// help page and quit.
// It owns the record the conversion and the settings file work on, loads it
// from "db.ini" when it opens and saves it back when it is destroyed.
class CConverterDlg : public QDialog, public MessageOwner {
    Q_OBJECT
public:
    explicit CConverterDlg(UiServices services = DefaultUiServices(), QWidget* parent = nullptr);
    ~CConverterDlg() override;

    // Shows a message box owned by this window and waits for OK.
    void ShowMessage(const std::string& text, const std::string& caption) override;

    // Runs the command bound to a control ID, as its button or key does.
    // False when no command has that ID.
    bool OnCommand(int id);
    // A window-menu command: one whose ID, low four bits cleared, is 16 opens
    // the About box; Close closes as Escape does.
    void OnSysCommand(int id);
    // The window menu as it now stands: Close, then the About item unless
    // its string is empty.
    std::unique_ptr<QMenu> CreateWindowMenu();

    // Boxes into the record, and the record into the boxes.
    void PullFields();
    void PushFields();

    const ConversionSettings& settings() const { return settings_; }
    const ConversionOptions& options() const { return options_; }

    // Shows inputFile in the Input File box: a file named when the program
    // was started.
    void OpenWithInput(const std::string& inputFile);

    // How long a conversion runs before its progress dialog shows.
    void SetProgressDelay(std::chrono::milliseconds delay) { progressDelay_ = delay; }

    void accept() override;
    void reject() override;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    static const CommandEntry<CConverterDlg> kCommands[];

    void OnBrowseInput();
    void OnBrowseOutput();
    void OnConvert();
    void OnHelp();
    void OnOptions();
    void DropFiles(int boxId, const std::vector<std::string>& paths);
    void OnQuit();
    void OnCancel();
    void OnAbout();
    void BrowseForFile(std::string ConversionSettings::*target, const FilePickerRequest& request);
    // A new input file: when the reading options do not fit how it looks
    // written, the user is asked whether to change them.
    void OfferReadingOptions();
    // After "Done": the reading options used, and what the input looks
    // written with that they do not read.
    std::string ReadingNotes() const;
    void ShowWindowMenu(const QPoint& where);
    QLineEdit* Box(int id) const;

    UiServices services_;
    ConversionSettings settings_;
    ConversionOptions options_;
    std::map<int, QString> shown_;  // what each box showed when last filled
    std::chrono::milliseconds progressDelay_{500};
    QTimer* offerTimer_ = nullptr;
};

}  // namespace rowsmith
