#include "qwindowgrip.h"

#include <QtGlobal>

int QWindowGrip::edgeAt(const QRect& window, const QPoint& cursor, int border)
{
    if (!window.contains(cursor))
        return None;
    int edges = None;
    if (qAbs(cursor.x() - window.left()) < border)
        edges |= Left;
    else if (qAbs(cursor.x() - window.right()) < border)
        edges |= Right;
    if (qAbs(cursor.y() - window.top()) < border)
        edges |= Top;
    else if (qAbs(cursor.y() - window.bottom()) < border)
        edges |= Bottom;
    return edges;
}

Qt::CursorShape QWindowGrip::cursorFor(int edges)
{
    switch (edges) {
    case Left | Top:
    case Right | Bottom:
        return Qt::SizeFDiagCursor;
    case Right | Top:
    case Left | Bottom:
        return Qt::SizeBDiagCursor;
    case Left:
    case Right:
        return Qt::SizeHorCursor;
    case Top:
    case Bottom:
        return Qt::SizeVerCursor;
    default:
        return Qt::ArrowCursor;
    }
}

QRect QWindowGrip::resized(const QRect& start, int edges, const QPoint& travel, const QSize& minimum)
{
    QRect r = start;
    if (edges & Left)
        r.setLeft(qMin(start.left() + travel.x(), start.right() - minimum.width() + 1));
    if (edges & Right)
        r.setRight(qMax(start.right() + travel.x(), start.left() + minimum.width() - 1));
    if (edges & Top)
        r.setTop(qMin(start.top() + travel.y(), start.bottom() - minimum.height() + 1));
    if (edges & Bottom)
        r.setBottom(qMax(start.bottom() + travel.y(), start.top() + minimum.height() - 1));
    return r;
}
