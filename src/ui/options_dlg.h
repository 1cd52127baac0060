#pragma once

#include <QDialog>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "convert/options/conversion_options.h"
#include "convert/options/conversion_settings.h"
#include "ui/ui_services.h"

namespace rowsmith {

// The Options dialog: how the input is read and how the statements are
// written for the database that loads them. OK keeps what it shows (once
// the delimiter and the character set make sense), Cancel keeps nothing.
// Beside the options, a preview of the input settings names: its first
// records as they are read and the first statements as they are written,
// redrawn as the options change; Detect sets the reading options to what
// the input looks written with.
class COptionsDlg : public QDialog {
    Q_OBJECT
public:
    COptionsDlg(const ConversionOptions& options, UiServices& services, QWidget* owner,
                const ConversionSettings& settings = {});

    // The options as the dialog shows them; false, with why set, when the
    // other delimiter or the character set cannot be used.
    bool Read(ConversionOptions& options, QString& why) const;

    void accept() override;

    // What OK kept.
    const ConversionOptions& options() const { return options_; }

    // The preview of the options the dialog shows; Detect's work.
    void Redraw();
    void Detect();

private:
    void Show(const ConversionOptions& options);
    // Every control's change redraws the preview.
    void RedrawOnChanges();
    // Each option as the controls give it: its name in the option table,
    // and its text as the command line would give it.
    std::vector<std::pair<std::string_view, std::string>> Values() const;
    std::string DelimiterValue() const;
    template <typename Control>
    Control* Find(int id) const;

    UiServices& services_;
    ConversionOptions options_;
    ConversionSettings settings_;
    bool showing_ = false;  // controls are being set: no redraw for each
};

}  // namespace rowsmith
