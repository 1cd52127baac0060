#include "ui/about_box.h"

#include <QPushButton>

#include "ui/app_icon.h"
#include "ui/dialog_templates.h"

namespace rowsmith {

CAboutBox::CAboutBox(QWidget* owner) : QDialog(owner, kFixedDialogFlags) {
    BuildDialog(*this, kAboutBoxTemplate, AppIcon());
    auto* ok = findChild<QPushButton*>(QString::number(kIdOk));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace rowsmith
