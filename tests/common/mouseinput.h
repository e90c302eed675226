#pragma once
// Mouse input as the window system delivers it. QTest's mouseMove only moves the
// cursor on the offscreen platform; views that paint or pan need the move events
// themselves, with the buttons held.

#include <QApplication>
#include <QMouseEvent>
#include <QVector>
#include <QWheelEvent>
#include <QWidget>
#include <QtTest>

namespace mouseinput {

inline void send(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons held)
{
    QMouseEvent event(type, pos, w->mapToGlobal(pos), button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

inline void moveTo(QWidget* w, QPoint pos, Qt::MouseButtons held)
{
    send(w, QEvent::MouseMove, pos, Qt::NoButton, held);
}

// Press at the first point, moves through the others, release at the last.
inline void drag(QWidget* w, Qt::MouseButton button, const QVector<QPoint>& path)
{
    QTest::mousePress(w, button, Qt::NoModifier, path.first());
    for (int i = 1; i < path.size(); ++i)
        moveTo(w, path[i], button);
    QTest::mouseRelease(w, button, Qt::NoModifier, path.last());
}

// One wheel notch is 120 along the angle's axis.
inline void wheel(QWidget* w, QPoint pos, QPoint angle)
{
    QWheelEvent event(QPointF(pos), QPointF(w->mapToGlobal(pos)), QPoint(), angle, Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &event);
}

} // namespace mouseinput
