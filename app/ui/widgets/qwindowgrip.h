#pragma once
// Geometry of resizing a frameless window by its edges: which edge or corner a
// cursor is on, which cursor shape shows it, and the window rectangle after the
// cursor has travelled while the button is held. Pure functions, so the window's
// event filter stays small and the rules can be checked without a screen.

#include <QPoint>
#include <QRect>
#include <QSize>
#include <Qt>

class QWindowGrip
{
public:
    enum Edge
    {
        None = 0,
        Left = 1,
        Top = 2,
        Right = 4,
        Bottom = 8,
    };

    // How close (in pixels) the cursor must come to an edge to grab it.
    static constexpr int Border = 3;

    // Edge flags for `cursor` against `window`, both in global coordinates.
    static int edgeAt(const QRect& window, const QPoint& cursor, int border = Border);
    static Qt::CursorShape cursorFor(int edges);
    // `start` resized by dragging `edges` for `travel`; the opposite edges stay put
    // and the result never gets smaller than `minimum`.
    static QRect resized(const QRect& start, int edges, const QPoint& travel, const QSize& minimum);
};
