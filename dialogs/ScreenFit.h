// The rule that keeps a window inside the work area of a monitor (the monitor's area without
// task bars), and the look-ups of screens it rests on. Used by the message dialogs, the option
// dialog, the folder chooser and the main window.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

#include <vector>

class QMargins;
class QScreen;
class QWidget;

namespace MsgDialogs {

// The screens' rectangles in the order of QGuiApplication::screens(): their work areas, or
// their whole areas.
std::vector<QRect> ScreenRects(bool workAreas);
// The screen at that index of QGuiApplication::screens(); the primary one for any other index.
QScreen* ScreenAtIndex(int index);

// Moves the origin (x, y) of a window of size (width, height) into workArea:
// right margin 20, left 20, bottom 30, top 20, tested in that order.
QPoint FitToRect(QPoint origin, QSize size, const QRect& workArea);

// Index of the rectangle that contains p, else of the one nearest to p; -1 when empty.
int NearestRectIndex(const std::vector<QRect>& rects, QPoint p);
// Index of the rectangle that overlaps r most, else the one nearest to r's top-left.
int BestRectIndex(const std::vector<QRect>& rects, const QRect& r);
// The work area (available geometry) of the screen containing or nearest to p.
QRect WorkAreaAt(QPoint p);

// Moves a window lying on monitor `from` to monitor `to`, keeping its offset
// from the monitor's top-left and pulling it back inside `to`'s right and
// bottom edges.
QPoint MoveToMonitor(const QRect& window, const QRect& from, const QRect& to);

// Moves the origin (x, y) of a window of that size into the work area of the monitor that
// contains (x, y), or of the nearest one, by FitToRect. Nothing moves when there is no screen.
void FitToWorkArea(int& x, int& y, int width, int height);
// FitToWorkArea for a top-level form, its window frame included once it has one.
void FitFormToWorkArea(QWidget* form);

// The largest client area a window with this frame can have and still fit
// into workArea with the margins of FitToRect.
QSize LargestClientSize(const QRect& workArea, const QMargins& frame);

}  // namespace MsgDialogs
