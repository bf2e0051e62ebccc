#include "platform/ui/CommandBar.h"

#include <QAction>
#include <QMenu>
#include <QPixmap>
#include <QToolButton>

namespace {
const char* const kCommandProperty = "commandId";
// On the desktop a button is its image plus 7 pixels in each direction.
constexpr int kButtonPadding = 7;
} // namespace

CCommandBar::CCommandBar(QWidget* parent) : QToolBar(parent) {
    setMovable(false);
    setFloatable(false);
    setContextMenuPolicy(Qt::PreventContextMenu);
}

bool CCommandBar::InsertMenuBar(int buttonId, const QString& caption,
                                const MenuItemResource& menu) {
    m_menu = new QMenu(this);
    FillMenu(m_menu, menu);
    m_menuButton = new QToolButton(this);
    m_menuButton->setText(caption);
    m_menuButton->setProperty(kCommandProperty, buttonId);
    m_menuButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_menuButton->setPopupMode(QToolButton::InstantPopup);
    m_menuButton->setMenu(m_menu);
    m_menuButton->setObjectName(QStringLiteral("menuButton"));
    // Room for the drop-down mark, which the style draws in the button's corner.
    m_menuButton->setMinimumWidth(m_menuButton->sizeHint().width() + 12);
    addWidget(m_menuButton);
    return true;
}

void CCommandBar::FillMenu(QMenu* menu, const MenuItemResource& item) {
    connect(menu, &QMenu::aboutToShow, this, [this, menu] { UpdateMenu(menu); });
    for (const MenuItemResource& child : item.children) {
        if (!child.children.isEmpty()) {
            QMenu* sub = menu->addMenu(child.text);
            FillMenu(sub, child);
        } else {
            QAction* action = menu->addAction(child.text);
            action->setProperty(kCommandProperty, child.id);
            connect(action, &QAction::triggered, this, [this, id = child.id] { Run(id); });
        }
    }
}

void CCommandBar::UpdateMenu(QMenu* menu) {
    for (QAction* action : menu->actions()) {
        const QVariant id = action->property(kCommandProperty);
        if (id.isValid())
            action->setEnabled(m_router && m_router(id.toInt(), false));
    }
}

bool CCommandBar::LoadToolBar(const QVector<int>& commands, const QPixmap& strip,
                              const QSize& imageSize, const QPixmap& doubleStrip) {
    if (strip.isNull() || strip.width() < imageSize.width() * commands.size())
        return false;
    const bool sharp = doubleStrip.width() >= 2 * imageSize.width() * commands.size();
    for (int i = 0; i < commands.size(); ++i) {
        auto* button = new QToolButton(this);
        const int id = commands[i];
        QIcon icon(strip.copy(i * imageSize.width(), 0, imageSize.width(), imageSize.height()));
        if (sharp) {
            QPixmap twice = doubleStrip.copy(2 * i * imageSize.width(), 0, 2 * imageSize.width(),
                                             2 * imageSize.height());
            twice.setDevicePixelRatio(2.0);
            icon.addPixmap(twice);
        }
        button->setIcon(icon);
        button->setIconSize(imageSize);
        button->setFixedSize(imageSize + QSize(kButtonPadding, kButtonPadding));
        button->setAutoRaise(true);
        button->setProperty(kCommandProperty, id);
        button->setObjectName(QStringLiteral("button%1").arg(i + 1));
        connect(button, &QToolButton::clicked, this, [this, id] { Run(id); });
        NameButton(button, id);
        addWidget(button);
        m_buttons.append(button);
    }
    UpdateButtons();
    return true;
}

void CCommandBar::SetShortcutHint(int id, const QKeySequence& keys) {
    if (!m_menu)
        return;
    const auto actions = m_menu->findChildren<QAction*>();
    for (QAction* action : actions) {
        if (action->property(kCommandProperty).toInt() != id)
            continue;
        // A widget shortcut of an item inside a drop-down never matches a focused widget, so
        // Qt only draws the keys; the frame's table stays the one place that runs them.
        action->setShortcutContext(Qt::WidgetShortcut);
        action->setShortcut(keys);
        action->setShortcutVisibleInContextMenu(true);
    }
}

void CCommandBar::NameButton(QToolButton* button, int id) const {
    if (!m_menu)
        return;
    const auto actions = m_menu->findChildren<QAction*>();
    for (QAction* action : actions) {
        if (action->property(kCommandProperty).toInt() != id || action->menu())
            continue;
        QStringList path{action->text()};
        for (auto* menu = qobject_cast<QMenu*>(action->parent()); menu;
             menu = qobject_cast<QMenu*>(menu->parent())) {
            path.prepend(menu == m_menu ? m_menuButton->text() : menu->title());
        }
        button->setAccessibleName(action->text());
        button->setAccessibleDescription(path.join(QStringLiteral(" › ")));
        return;
    }
}

QToolButton* CCommandBar::GetButton(int index) const {
    return index >= 0 && index < m_buttons.size() ? m_buttons[index] : nullptr;
}

void CCommandBar::UpdateButtons() {
    for (QToolButton* button : m_buttons) {
        const bool enabled =
            m_router && m_router(button->property(kCommandProperty).toInt(), false);
        if (button->isEnabled() != enabled)
            button->setEnabled(enabled);
    }
}

void CCommandBar::Run(int id) {
    if (m_router && m_router(id, false))
        m_router(id, true);
}
