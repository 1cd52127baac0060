#include "ui/dialog_builder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFont>
#include <QFontMetrics>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QFontDatabase>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>
#include <QSpinBox>
#include <QTableWidget>
#include <algorithm>
#include <limits>

namespace rowsmith {

namespace {

constexpr int kIconPixels = 32;

QWidget* CreateControl(QDialog& dialog, const ControlSpec& item, const QIcon& icon) {
    switch (item.kind) {
        case ControlKind::Edit: {
            auto* edit = new QLineEdit(&dialog);
            // Long values from the settings file are shown whole.
            edit->setMaxLength(std::numeric_limits<int>::max());
            return edit;
        }
        case ControlKind::PushButton:
        case ControlKind::DefaultPushButton: {
            auto* button = new QPushButton(QString::fromUtf8(item.text), &dialog);
            button->setAutoDefault(true);
            button->setDefault(item.kind == ControlKind::DefaultPushButton);
            return button;
        }
        case ControlKind::Label: {
            auto* label = new QLabel(QString::fromUtf8(item.text), &dialog);
            label->setTextFormat(Qt::PlainText);
            return label;
        }
        case ControlKind::Icon: {
            auto* label = new QLabel(&dialog);
            label->setPixmap(icon.pixmap(kIconPixels, kIconPixels));
            return label;
        }
        case ControlKind::CheckBox:
            return new QCheckBox(QString::fromUtf8(item.text), &dialog);
        case ControlKind::ComboBox:
        case ControlKind::EditableComboBox: {
            auto* combo = new QComboBox(&dialog);
            combo->addItems(QString::fromUtf8(item.text).split(QLatin1Char('|')));
            combo->setEditable(item.kind == ControlKind::EditableComboBox);
            return combo;
        }
        case ControlKind::SpinBox: {
            auto* spin = new QSpinBox(&dialog);
            const QStringList range = QString::fromUtf8(item.text).split(QLatin1Char('|'));
            spin->setRange(range.value(0).toInt(), range.value(1).toInt());
            return spin;
        }
        case ControlKind::Grid: {
            auto* grid = new QTableWidget(&dialog);
            grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
            grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 4);
            return grid;
        }
        case ControlKind::TextView: {
            auto* view = new QPlainTextEdit(&dialog);
            view->setReadOnly(true);
            view->setLineWrapMode(QPlainTextEdit::NoWrap);
            view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
            return view;
        }
    }
    return nullptr;
}

}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX_ = (letters / 26 + 1) / 2;
    baseY_ = metrics.height();
}

QFont DialogFont() {
    QFont font(QStringLiteral("MS Sans Serif"), 8);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

void NameControls(QDialog& dialog, std::span<const AccessibleName> names) {
    for (const AccessibleName& named : names) {
        QWidget* control = dialog.findChild<QWidget*>(QString::number(named.id));
        control->setAccessibleName(QString::fromUtf8(named.name));
        if (!named.label) continue;
        for (QLabel* label : dialog.findChildren<QLabel*>()) {
            if (label->text() == QString::fromUtf8(named.label)) label->setBuddy(control);
        }
    }
}

QSize BuildDialog(QDialog& dialog, const DialogTemplate& tmpl, const QIcon& icon) {
    dialog.setFont(DialogFont());
    dialog.setWindowTitle(QString::fromUtf8(tmpl.caption));
    dialog.setProperty("templateId", tmpl.id);
    const DialogUnits units(dialog.font());
    for (const ControlSpec& item : tmpl.controls) {
        QWidget* control = CreateControl(dialog, item, icon);
        if (item.id != kNoId) control->setObjectName(QString::number(item.id));
        int width = item.kind == ControlKind::Icon ? kIconPixels : units.ToPixelsX(item.width);
        // The layout was drawn for a narrower font than most substitutes: a
        // label grows to its text rather than clip it.
        // Like labels, check boxes and lists grow to what they say.
        if (item.kind == ControlKind::CheckBox || item.kind == ControlKind::ComboBox) {
            width = std::max(width, control->sizeHint().width());
        }
        if (item.kind == ControlKind::Label) {
            width = std::max(width, control->fontMetrics().horizontalAdvance(control->property("text").toString()) + 1);
        }
        const int height = item.kind == ControlKind::Icon ? kIconPixels : units.ToPixelsY(item.height);
        control->setGeometry(units.ToPixelsX(item.x), units.ToPixelsY(item.y), width, height);
    }
    const QSize size(units.ToPixelsX(tmpl.width), units.ToPixelsY(tmpl.height));
    dialog.setFixedSize(size);
    return size;
}

bool FitOnScreen(QDialog& dialog, QSize size, QSize available) {
    if (size.width() <= available.width() && size.height() <= available.height()) return false;
    auto* content = new QWidget;
    content->setFixedSize(size);
    for (QWidget* child : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) child->setParent(content);
    auto* scroll = new QScrollArea(&dialog);
    scroll->setObjectName(QStringLiteral("scroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(content);
    auto* layout = new QVBoxLayout(&dialog);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll);
    // Up to the full size and its scroll bars; down to what the screen has.
    const int bar = scroll->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    dialog.setMinimumSize(std::min(size.width(), 200), std::min(size.height(), 150));
    dialog.setMaximumSize(size + QSize(bar, bar));
    dialog.resize(size.boundedTo(available));
    return true;
}

}  // namespace rowsmith
