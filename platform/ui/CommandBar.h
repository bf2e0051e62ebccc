#pragma once

#include <QToolBar>
#include <QVector>
#include <functional>

class QKeySequence;
class QMenu;
class QToolButton;

// One entry of a menu resource: a command, or a sub-menu when it has children.
struct MenuItemResource {
    QString text;
    int id = 0;
    QVector<MenuItemResource> children;
};

// The menu bar at the bottom of the frame: a drop-down button that opens the whole command
// menu, then image buttons. Every item carries a command; whether it is enabled is asked of
// the command routing when a menu opens, and for the buttons when they are loaded and whenever
// their owner says that a command's availability changed.
class CCommandBar : public QToolBar {
    Q_OBJECT
public:
    // Tells whether a command has a handler, and runs it.
    using Router = std::function<bool(int id, bool execute)>;

    explicit CCommandBar(QWidget* parent = nullptr);

    void SetRouter(Router router) { m_router = std::move(router); }
    // The drop-down button with its caption, opening the given menu tree.
    bool InsertMenuBar(int buttonId, const QString& caption, const MenuItemResource& menu);
    // Appends buttons cut from a strip of images imageSize wide each, one per command; a strip
    // twice as large, when given, keeps them sharp at 200%.
    bool LoadToolBar(const QVector<int>& commands, const QPixmap& strip, const QSize& imageSize,
                     const QPixmap& doubleStrip = QPixmap());

    QToolButton* GetMenuButton() const { return m_menuButton; }
    QMenu* GetMenu() const { return m_menu; }
    QToolButton* GetButton(int index) const;
    int GetButtonCount() const { return int(m_buttons.size()); }

    // Shows keys beside a command's menu item. Display only: the frame's accelerator table runs
    // the command, so the key is not registered a second time.
    void SetShortcutHint(int id, const QKeySequence& keys);

    // Enables each button by whether its command has a handler.
    void UpdateButtons();

private:
    void FillMenu(QMenu* menu, const MenuItemResource& item);
    // A screen reader announces an image button by its menu item and where that item is.
    void NameButton(QToolButton* button, int id) const;
    void UpdateMenu(QMenu* menu);
    void Run(int id);

    Router m_router;
    QToolButton* m_menuButton = nullptr;
    QMenu* m_menu = nullptr;
    QVector<QToolButton*> m_buttons;
};
