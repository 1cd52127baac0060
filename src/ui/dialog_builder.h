#pragma once

#include <QSize>
#include <Qt>
#include <span>

class QDialog;
class QFont;
class QIcon;

namespace rowsmith {

// CheckBox: text is its label. ComboBox, EditableComboBox: text lists the
// choices, separated by "|". SpinBox: text is "minimum|maximum". Grid: a
// table of text nobody edits. TextView: lines of text nobody edits, in a
// fixed-width font.
enum class ControlKind {
    Edit,
    PushButton,
    DefaultPushButton,
    Label,
    Icon,
    CheckBox,
    ComboBox,
    EditableComboBox,
    SpinBox,
    Grid,
    TextView
};

// One control of a dialog layout. Positions are in dialog units: a quarter
// of the dialog font's average character width across, an eighth of its
// height down, so a layout scales with the font it is shown in.
struct ControlSpec {
    int id;  // kNoId for labels nobody refers to
    ControlKind kind;
    const char* text;
    int x, y, width, height;
};

inline constexpr int kNoId = -1;

// Every dialog's frame: a caption with a close box and a window menu, and a
// fixed size (no minimize or maximize box). The hints are the whole of
// them (CustomizeWindowHint): nothing the platform would add by default.
inline constexpr Qt::WindowFlags kFixedDialogFlags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                                     Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                                                     Qt::MSWindowsFixedSizeDialogHint;

struct DialogTemplate {
    int id;
    const char* caption;
    int width, height;                      // dialog units
    std::span<const ControlSpec> controls;  // in creation, and so tab, order
};

// Dialog units of a font, in pixels.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    int ToPixelsX(int units) const { return (units * baseX_ + 2) / 4; }
    int ToPixelsY(int units) const { return (units * baseY_ + 4) / 8; }
    int baseX() const { return baseX_; }
    int baseY() const { return baseY_; }

private:
    int baseX_;
    int baseY_;
};

// The font every dialog asks for; the platform substitutes its closest sans font.
QFont DialogFont();

// What screen readers call a control, and the label whose text names it on
// screen (nullptr: the control names itself); the label becomes its buddy.
struct AccessibleName {
    int id;
    const char* name;
    const char* label;
};
void NameControls(QDialog& dialog, std::span<const AccessibleName> names);

// Creates the controls of tmpl in dialog, in order, each named by its ID,
// and gives the dialog its caption and fixed size. icon is shown by Icon
// controls. Returns the dialog's size in pixels.
QSize BuildDialog(QDialog& dialog, const DialogTemplate& tmpl, const QIcon& icon);

// Where a dialog of size (as BuildDialog made it) is larger than available
// (the screen's room, its frame left out), its controls go into a scroll
// area and the dialog may be resized, up to its full size: every control
// can still be reached. Returns whether it did so.
bool FitOnScreen(QDialog& dialog, QSize size, QSize available);

}  // namespace rowsmith
