#pragma once

#include <QMessageBox>
#include <QString>
#include <QUrl>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ui/ui_services.h"

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
    std::optional<QString> pickedFile;       // what the picker answers
    std::function<void()> whilePicking;      // what the user does meanwhile
    std::vector<QUrl> openedUrls;
    std::vector<std::pair<QString, unsigned>> helpRequests;
    bool helpViewerStarts = true;
    int aboutBoxesShown = 0;
    std::map<int, QString> stringOverrides;

    UiServices Make();
};

}  // namespace rowsmith::test
