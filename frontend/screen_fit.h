// Windows open whole on the screen: a window larger than the screen's free
// area (the screen less its panels) is shrunk to it, and one that reaches
// past an edge is moved back inside.
#pragma once

#include <QRect>

class QApplication;
class QWidget;

// The frame rectangle `frame` moved, and shrunk if need be, into
// `available`.
QRect fit_rect(const QRect& frame, const QRect& available);

// Applies fit_rect to a top-level window on its screen.  The window's frame
// (title bar and borders) is counted once the window system has given it
// one, and estimated before.
void fit_on_screen(QWidget* window);

// Fits every top-level window of the program when it is first shown.
void install_screen_fit(QApplication& app);
