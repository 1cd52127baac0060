#include "ui/app_icon.h"

namespace rowsmith {

QIcon AppIcon() {
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/rowsmith-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/icons/rowsmith-32.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/icons/rowsmith-48.png"), QSize(48, 48));
    return icon;
}

}  // namespace rowsmith
