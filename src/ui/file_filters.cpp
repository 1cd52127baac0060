#include "ui/file_filters.h"

#include <QRegularExpression>

namespace rowsmith {

QStringList NameFiltersFromList(std::string_view filterList) {
    const QStringList parts =
        QString::fromUtf8(filterList.data(), static_cast<qsizetype>(filterList.size())).split(QLatin1Char('|'));
    static const QRegularExpression trailingPatterns(QStringLiteral("\\s*\\([^()]*\\)\\s*$"));
    QStringList filters;
    // Pairs of display text and patterns; the list ends at an empty text.
    for (qsizetype i = 0; i + 1 < parts.size() && !parts[i].isEmpty(); i += 2) {
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& pattern : patterns) {
            pattern = pattern.trimmed();
            if (pattern == QLatin1String("*.*")) pattern = QStringLiteral("*");
        }
        QString text = parts[i];
        text.remove(trailingPatterns);
        filters << text + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return filters;
}

QString SuffixFromDefaultExtension(std::string_view defaultExtension) {
    QString suffix = QString::fromUtf8(defaultExtension.data(), static_cast<qsizetype>(defaultExtension.size()));
    if (suffix.startsWith(QLatin1Char('*'))) suffix.remove(0, 1);
    if (suffix.startsWith(QLatin1Char('.'))) suffix.remove(0, 1);
    return suffix.contains(QLatin1Char('*')) ? QString() : suffix;
}

}  // namespace rowsmith
