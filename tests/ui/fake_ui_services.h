#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <map>
#include <ostream>
#include <optional>
#include <string>
#include <vector>

#include "ui/ui_services.h"

// Lets test failures show a QString as text.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace rowsmith::test {

// Services that record what the windows ask of them and never block.
struct FakeUiServices {
    struct ShownMessage {
        QString text;
        QString caption;
        QMessageBox::Icon icon;
        QWidget* owner;
    };

    std::vector<ShownMessage> messages;
    std::vector<std::string> pickerFilters;  // filter list of each picker shown
    QStringList pickedFiles;                 // what the picker answers; none: Cancel
    std::function<void()> whilePicking;      // what the user does meanwhile
    std::vector<QString> pickerStarts;       // the file each picker was started at
    std::vector<QUrl> openedUrls;
    bool urlOpens = true;                            // what the desktop answers
    std::vector<ConversionOptions> optionsShown;     // options the Options dialog was opened with
    std::optional<ConversionOptions> optionsAnswer;  // what it answers: OK with these, or Cancel
    std::vector<std::pair<QString, unsigned>> helpRequests;
    bool helpViewerStarts = true;
    int aboutBoxesShown = 0;
    std::map<int, QString> stringOverrides;
    std::vector<QString> questions;    // each question asked
    std::vector<QStringList> choices;  // the ways of saying yes each offered
    int answer = -1;                   // what the user answers: a choice, or -1 for No

    UiServices Make();
};

}  // namespace rowsmith::test
