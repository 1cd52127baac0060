#pragma once

#include <QDialog>

namespace rowsmith {

// The About box: icon, product name and version, the maker's notice, OK.
class CAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit CAboutBox(QWidget* owner);
};

}  // namespace rowsmith
