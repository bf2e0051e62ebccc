#include "platform/ui/ScreenFit.h"

#include <QRect>
#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <algorithm>

namespace {
// What the window manager's frame adds around the window.
QSize FrameExtra(const QWidget* window) {
    QSize extra = window->frameGeometry().size() - window->geometry().size();
    // Before the window manager has framed the window its title bar is not known yet.
    if (extra.height() <= 0)
        extra = QSize(0, window->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window));
    return extra;
}
} // namespace

QSize AvailableClientSize(const QWidget* window) {
    const QScreen* display = window->screen();
    if (!display)
        return QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    return display->availableGeometry().size() - FrameExtra(window);
}

void FitWindowToScreen(QWidget* window) {
    const QScreen* display = window->screen();
    if (!display)
        return;
    const QRect area = display->availableGeometry();
    const QSize extra = FrameExtra(window);
    const QSize room = area.size() - extra;
    if (window->width() > room.width() || window->height() > room.height())
        window->resize(window->size().boundedTo(room));
    QRect frame(window->pos(), window->size() + extra);
    if (!area.contains(frame)) {
        frame.moveRight(std::min(frame.right(), area.right()));
        frame.moveBottom(std::min(frame.bottom(), area.bottom()));
        frame.moveLeft(std::max(frame.left(), area.left()));
        frame.moveTop(std::max(frame.top(), area.top()));
        window->move(frame.topLeft());
    }
}

void SetMinimumSizeOnScreen(QWidget* window, const QSize& wanted) {
    window->setMinimumSize(wanted.boundedTo(AvailableClientSize(window)).expandedTo(QSize(0, 0)));
}
