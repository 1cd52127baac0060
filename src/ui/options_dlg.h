#pragma once

#include <QDialog>

#include "convert/conversion_options.h"
#include "ui/ui_services.h"

namespace rowsmith {

// The Options dialog: how the input is read and how the statements are
// written for the database that loads them. OK keeps what it shows (once
// the delimiter and the character set make sense), Cancel keeps nothing.
class COptionsDlg : public QDialog {
    Q_OBJECT
public:
    COptionsDlg(const ConversionOptions& options, UiServices& services, QWidget* owner);

    // The options as the dialog shows them; false, with why set, when the
    // other delimiter or the character set cannot be used.
    bool Read(ConversionOptions& options, QString& why) const;

    void accept() override;

    // What OK kept.
    const ConversionOptions& options() const { return options_; }

private:
    void Show(const ConversionOptions& options);
    // The NULL choice and markers, and the table to create with its column
    // types, into options; false with why when they cannot be used.
    bool ReadNulls(ConversionOptions& options, QString& why) const;
    bool ReadTable(ConversionOptions& options, QString& why) const;
    template <typename Control>
    Control* Find(int id) const;

    UiServices& services_;
    ConversionOptions options_;
};

}  // namespace rowsmith
