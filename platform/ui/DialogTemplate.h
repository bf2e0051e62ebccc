#pragma once

#include <QRect>
#include <QString>
#include <vector>

class QFont;
class QWidget;

// A dialog or form template: its size and its controls, in dialog units, in creation (and tab)
// order. The controls are built by CreateTemplateControls.
struct DialogItem {
    enum Kind { DateTimePicker, ListView, Edit, Button, Static, StaticIcon };
    int id;
    Kind kind;
    QString text;
    QRect units; // x, y, width, height in dialog units
    unsigned style;
};

struct DialogTemplate {
    QString caption;
    QRect units;
    std::vector<DialogItem> items;
};

// Window style bits the templates use.
namespace Style {
constexpr unsigned WS_TABSTOP = 0x00010000;
constexpr unsigned ES_MULTILINE = 0x0004;
constexpr unsigned BS_DEFPUSHBUTTON = 0x0001;
constexpr unsigned LVS_SINGLESEL = 0x0004;
constexpr unsigned DTS_RIGHTALIGN = 0x0020;
} // namespace Style

// Dialog units to pixels for the given font, as the platform converts them: a horizontal unit
// is a quarter of the font's average character width, a vertical one an eighth of its height.
QRect DialogUnitsToPixels(const QRect& units, const QFont& font);

// Creates the template's controls as children of parent, in template order, each placed at its
// template position and named by its identifier.
void CreateTemplateControls(QWidget* parent, const DialogTemplate& dlgTemplate);

// Moves a control with repainting; a width or height below zero is applied as zero, so the
// control then shows no area.
void MoveWindow(QWidget* control, int x, int y, int width, int height);

// The control of the given identifier among parent's children, or null.
QWidget* GetDlgItem(const QWidget* parent, int id);
