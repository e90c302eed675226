#include "qframelessframe.h"

#include "qcustomshadoweffect.h"
#include "qwindowgrip.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWidget>

QFramelessFrame::QFramelessFrame(QWidget* window, QWidget* titleBar, QWidget* frame)
    : QObject(window), window(window), titleBar(titleBar), frame(frame)
{
    // The application-wide filter also sees moves over child widgets, so the cursor
    // goes back to the arrow when it leaves an edge inwards.
    window->setMouseTracking(true);
    titleBar->setMouseTracking(true);
    titleBar->installEventFilter(this);
    window->installEventFilter(this);
    qApp->installEventFilter(this);
}

// As a graphics effect on the frame the shadow would re-render and re-blur the
// whole window on every repaint of any child (about 145 ms a frame at 1200 x 800,
// so the spinner and the card animations would stutter); here it is blurred once
// per window size and then only copied.
void QFramelessFrame::paintShadow(QPaintEvent* event)
{
    if (window->isMaximized())
        return;
    const QRect area = frame->geometry();
    if (shadow.size() != window->size() || shadowFrame != area) {
        shadowFrame = area;
        shadow = QImage(window->size(), QImage::Format_ARGB32_Premultiplied);
        shadow.fill(Qt::transparent);
        QPainter painter(&shadow);
        painter.fillRect(area, Qt::black);
        painter.end();
        QCustomShadowEffect::blurAlpha(shadow, ShadowBlur);
        painter.begin(&shadow);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(shadow.rect(), QColor(0, 0, 0, 80));
    }
    QPainter painter(window);
    painter.setClipRegion(event->region());
    painter.drawImage(0, 0, shadow);
}

bool QFramelessFrame::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseMove:
    case QEvent::MouseButtonDblClick:
        if (watched->isWidgetType() && static_cast<QWidget*>(watched)->window() == window &&
            handleMouse(watched, static_cast<QMouseEvent*>(event)))
            return true;
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

// The same event may arrive here more than once (through the application filter
// and again as it propagates to parents), so every step works from the state at the
// press and the absolute cursor position, and repeating it changes nothing.
bool QFramelessFrame::handleMouse(QObject* watched, QMouseEvent* mouse)
{
    const QPoint global = mouse->globalPos();
    const int edges =
        window->isMaximized() ? int(QWindowGrip::None) : QWindowGrip::edgeAt(window->geometry(), global);
    switch (mouse->type()) {
    case QEvent::MouseButtonPress:
        if (mouse->button() != Qt::LeftButton)
            return false;
        if (edges == QWindowGrip::None && watched != titleBar)
            return false;
        pressed = true;
        dragEdges = edges;
        dragStart = global;
        dragStartGeometry = window->geometry();
        return edges != QWindowGrip::None;
    case QEvent::MouseButtonRelease:
        pressed = false;
        dragEdges = QWindowGrip::None;
        return false;
    case QEvent::MouseButtonDblClick:
        if (watched == titleBar && mouse->button() == Qt::LeftButton) {
            emit signal_title_double_clicked();
            return true;
        }
        return false;
    default:
        break;
    }
    if (pressed && (mouse->buttons() & Qt::LeftButton)) {
        if (dragEdges != QWindowGrip::None)
            window->setGeometry(QWindowGrip::resized(dragStartGeometry, dragEdges, global - dragStart,
                                                     window->minimumSize()));
        else if (!window->isMaximized())
            window->move(dragStartGeometry.topLeft() + global - dragStart);
        return true;
    }
    if (edges != QWindowGrip::None)
        window->setCursor(QWindowGrip::cursorFor(edges));
    else if (window->testAttribute(Qt::WA_SetCursor))
        window->unsetCursor();
    return false;
}
