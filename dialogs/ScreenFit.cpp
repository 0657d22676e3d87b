#include "ScreenFit.h"

#include <QGuiApplication>
#include <QMargins>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cstdint>

namespace MsgDialogs {

std::vector<QRect> ScreenRects(bool workAreas)
{
    std::vector<QRect> rects;
    for (QScreen* s : QGuiApplication::screens())
        rects.push_back(workAreas ? s->availableGeometry() : s->geometry());
    return rects;
}

QScreen* ScreenAtIndex(int index)
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (index < 0 || index >= screens.size())
        return QGuiApplication::primaryScreen();
    return screens.at(index);
}

QPoint FitToRect(QPoint origin, QSize size, const QRect& workArea)
{
    const int left = workArea.x();
    const int top = workArea.y();
    const int right = workArea.x() + workArea.width();  // exclusive
    const int bottom = workArea.y() + workArea.height();
    int x = origin.x();
    int y = origin.y();
    if (x + size.width() > right)
        x = right - size.width() - 20;
    if (x < left)
        x = left + 20;
    if (y + size.height() > bottom)
        y = bottom - size.height() - 30;
    if (y < top)
        y = top + 20;
    return QPoint(x, y);
}

namespace {
// Squared distance from p to the nearest point of r (r's right and bottom exclusive).
std::int64_t DistanceSquared(const QRect& r, QPoint p)
{
    const std::int64_t right = static_cast<std::int64_t>(r.x()) + r.width() - 1;
    const std::int64_t bottom = static_cast<std::int64_t>(r.y()) + r.height() - 1;
    std::int64_t dx = 0;
    std::int64_t dy = 0;
    if (p.x() < r.x())
        dx = r.x() - p.x();
    else if (p.x() > right)
        dx = p.x() - right;
    if (p.y() < r.y())
        dy = r.y() - p.y();
    else if (p.y() > bottom)
        dy = p.y() - bottom;
    return dx * dx + dy * dy;
}
}  // namespace

int NearestRectIndex(const std::vector<QRect>& rects, QPoint p)
{
    int best = -1;
    std::int64_t bestDistance = 0;
    for (std::size_t i = 0; i < rects.size(); ++i) {
        const std::int64_t d = DistanceSquared(rects[i], p);
        if (best < 0 || d < bestDistance) {
            best = static_cast<int>(i);
            bestDistance = d;
        }
    }
    return best;
}

int BestRectIndex(const std::vector<QRect>& rects, const QRect& r)
{
    int best = -1;
    std::int64_t bestArea = 0;
    for (std::size_t i = 0; i < rects.size(); ++i) {
        const QRect overlap = rects[i].intersected(r);
        const std::int64_t area = static_cast<std::int64_t>(overlap.width()) * overlap.height();
        if (area > bestArea) {
            best = static_cast<int>(i);
            bestArea = area;
        }
    }
    return best >= 0 ? best : NearestRectIndex(rects, r.topLeft());
}

QRect WorkAreaAt(QPoint p)
{
    const std::vector<QRect> monitors = ScreenRects(false);
    const int index = NearestRectIndex(monitors, p);
    QScreen* screen = ScreenAtIndex(index);
    return screen != nullptr ? screen->availableGeometry() : QRect();
}

QPoint MoveToMonitor(const QRect& window, const QRect& from, const QRect& to)
{
    QPoint pos = to.topLeft() + (window.topLeft() - from.topLeft());
    const int right = to.x() + to.width();
    const int bottom = to.y() + to.height();
    if (pos.x() + window.width() > right)
        pos.setX(right - window.width());
    if (pos.y() + window.height() > bottom)
        pos.setY(bottom - window.height());
    return pos;
}

void FitToWorkArea(int& x, int& y, int width, int height)
{
    const QRect area = WorkAreaAt(QPoint(x, y));
    if (area.isNull())
        return;  // no screen at all: nothing to fit into
    const QPoint fitted = FitToRect(QPoint(x, y), QSize(width, height), area);
    x = fitted.x();
    y = fitted.y();
}

void FitFormToWorkArea(QWidget* form)
{
    if (form == nullptr)
        return;
    // Width and height include the window frame once the window manager has
    // given it one, as the origin (the frame's top-left) does.
    const QRect frame = form->frameGeometry();
    int x = frame.x();
    int y = frame.y();
    FitToWorkArea(x, y, frame.width(), frame.height());
    form->move(x, y);
}

QSize LargestClientSize(const QRect& workArea, const QMargins& frame)
{
    // FitToRect keeps 20 pixels left and right, 20 above and 30 below.
    return QSize(std::max(0, workArea.width() - 40 - frame.left() - frame.right()),
                 std::max(0, workArea.height() - 50 - frame.top() - frame.bottom()));
}

}  // namespace MsgDialogs
