#pragma once

#include <QSize>

class QWidget;

// The largest size a window can take with its frame inside its screen's available area (the
// screen less the desktop's panels).
QSize AvailableClientSize(const QWidget* window);

// Shrinks the window to AvailableClientSize where it is larger, and moves it onto that area,
// so that no edge, and no bar along it, is out of reach.
void FitWindowToScreen(QWidget* window);

// The window's minimum size: the wanted one, but never more than its screen has room for, so
// that a window at its minimum still fits the screen.
void SetMinimumSizeOnScreen(QWidget* window, const QSize& wanted);
