#include "qimagecropwidget.h"

#include "keeptranslated.h"
#include "qimagecanvas.h"
#include "qloadingctrl.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <cmath>

namespace {

constexpr int kCheckerCell = 8;

// Two cells by two: even rows start white at the left, odd rows light grey.
QPixmap checkerTile()
{
    QPixmap tile(2 * kCheckerCell, 2 * kCheckerCell);
    tile.fill(QColor(255, 255, 255));
    QPainter painter(&tile);
    painter.fillRect(kCheckerCell, 0, kCheckerCell, kCheckerCell, QColor(220, 220, 220));
    painter.fillRect(0, kCheckerCell, kCheckerCell, kCheckerCell, QColor(220, 220, 220));
    return tile;
}

Qt::CursorShape cursorForHit(int hit)
{
    switch (hit) {
    case 0:
    case 7:
        return Qt::SizeFDiagCursor;
    case 2:
    case 5:
        return Qt::SizeBDiagCursor;
    case 1:
    case 6:
        return Qt::SizeVerCursor;
    case 3:
    case 4:
        return Qt::SizeHorCursor;
    case QImageCropWidget::kHitInside:
        return Qt::SizeAllCursor;
    default:
        return Qt::ArrowCursor;
    }
}

} // namespace

QImageCropWidget::QImageCropWidget(QWidget* parent) : QWidget(parent), m_canvas(new QImageCanvas(this))
{
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
    m_checker = checkerTile();
    installEventFilter(this);
    connect(m_canvas, &QImageCanvas::signal_update, this, &QImageCropWidget::onUpdateCanvas);
    // Another program taking the focus ends the editing of the subject frame.
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state != Qt::ApplicationActive)
            setShowSubjectFrame(false);
    });

    m_loading = new QLoadingCtrl(this);
    m_loading->setObjectName(QStringLiteral("loading"));
    m_loading->setFixedSize(kLoadingSide, kLoadingSide);
    keepTranslated(m_loading, [this] { m_loading->setText(tr("Loading...")); });
    m_loading->setColor(QColor(52, 122, 235));
    m_loading->hide();
}

void QImageCropWidget::setTask(const QString& taskId)
{
    m_displayPixmap = QPixmap();
    m_shownPixmap = QPixmap();
    m_displayKey = 0;
    m_viewport.resetPan();
    m_hitCode = kHitNothing;
    m_dragging = m_panning = false;
    m_canvas->setTask(taskId);
    update();
}

bool QImageCropWidget::hasImage() const
{
    return m_canvas->isLoaded() && m_canvas->canvasSize().width() > 0;
}

void QImageCropWidget::setLoading(bool loading)
{
    if (loading) {
        m_loading->raise();
        m_loading->show();
        m_loading->start();
    } else {
        m_loading->stop();
        m_loading->hide();
    }
}

bool QImageCropWidget::isLoading() const
{
    return m_loading->isVisible();
}

float QImageCropWidget::zoomIn()
{
    update();
    return m_viewport.zoomIn();
}

float QImageCropWidget::zoomOut()
{
    update();
    return m_viewport.zoomOut();
}

void QImageCropWidget::setFactor(float factor)
{
    if (m_viewport.setFactor(factor))
        update();
}

void QImageCropWidget::fitToView()
{
    m_viewport.fit();
    update();
    emit signal_factor_changed(factor());
}

void QImageCropWidget::reportFittedFactor()
{
    if (m_viewport.isFitted())
        emit signal_factor_changed(factor());
}

void QImageCropWidget::setShowSubjectFrame(bool show)
{
    if (!hasImage() || m_canvas->isSubjectFrameShown() == show)
        return;
    m_canvas->setShowSubjectFrame(show);
    update();
}

void QImageCropWidget::onUpdateCanvas()
{
    m_displayKey = 0;
    m_viewport.setImageSize(m_canvas->canvasSize());
    reportFittedFactor();
    update();
}

void QImageCropWidget::refreshDisplay()
{
    const QPixmap composed = m_canvas->composedPixmap(false);
    if (composed.isNull()) {
        m_displayPixmap = m_shownPixmap = QPixmap();
        return;
    }
    if (composed.size() != m_viewport.imageSize()) { // a picture behind can grow the surface
        m_viewport.setImageSize(composed.size());
        reportFittedFactor();
    }
    const QSize shown = m_viewport.shownSize();
    if (composed.cacheKey() != m_displayKey || shown != m_displayFor) {
        m_displayKey = composed.cacheKey();
        m_displayFor = shown;
        m_displayPixmap = composed.scaled(m_displayFor, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        m_shownPixmap = m_displayPixmap;
        // What is saved, at the scale the whole picture has on screen.
        const QRect result = m_canvas->resultRect();
        if (result != composed.rect() && !result.isEmpty() && !m_displayPixmap.isNull()) {
            const int w = int(qint64(m_displayPixmap.width()) * result.width() / composed.width());
            m_shownPixmap = composed.copy(result).scaledToWidth(std::max(1, w), Qt::SmoothTransformation);
        }
    }
}

void QImageCropWidget::paintEvent(QPaintEvent*)
{
    if (!hasImage())
        return;
    refreshDisplay();
    if (m_shownPixmap.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect shown = imageRect();
    QBrush checker(m_checker);
    checker.setTransform(QTransform::fromTranslate(shown.x(), shown.y()));
    painter.fillRect(shown, checker);
    painter.drawPixmap(shown.topLeft(), m_shownPixmap);
}

void QImageCropWidget::resizeEvent(QResizeEvent*)
{
    m_viewport.setWidgetSize(size());
    reportFittedFactor();
    m_loading->move((width() - kLoadingSide) / 2, (height() - kLoadingSide) / 2);
}

QPoint QImageCropWidget::mapToCanvas(const QPoint& widgetPos) const
{
    const QPointF p = m_viewport.toImage(widgetPos);
    return QPoint(int(p.x()), int(p.y()));
}

void QImageCropWidget::wheelEvent(QWheelEvent* event)
{
    if (!hasImage() || event->angleDelta().y() == 0)
        return; // a sideways scroll is no zoom
    refreshDisplay();
    m_viewport.zoomAbout(event->position(), event->angleDelta().y() >= 1);
    update();
    emit signal_factor_changed(factor());
}

void QImageCropWidget::hover(const QPoint& pos)
{
    const QPoint p = mapToCanvas(pos);
    m_hitCode = kHitNothing;
    const QMap<int, QRect> handles = m_canvas->handles();
    for (auto it = handles.cbegin(); it != handles.cend(); ++it) {
        // A handle is 16 canvas pixels; keep it grabbable when the picture is shown small.
        const int grow =
            std::max(0, int(QImageCanvas::kHandleSize * m_viewport.imagePerWidgetPixel()) - it->width()) / 2;
        if (it->adjusted(-grow, -grow, grow, grow).contains(p)) {
            m_hitCode = it.key();
            break;
        }
    }
    if (m_hitCode == kHitNothing && m_canvas->subjectRect().contains(p))
        m_hitCode = kHitInside;
    setCursor(cursorForHit(m_hitCode));
}

void QImageCropWidget::drag(const QPoint& pos)
{
    // The movement in canvas pixels, so the frame follows the pointer at any zoom.
    const QPointF moved = QPointF(pos - m_lastPos) * m_viewport.imagePerWidgetPixel();
    const int dx = int(std::lround(moved.x()));
    const int dy = int(std::lround(moved.y()));
    if (dx == 0 && dy == 0)
        return;
    int dragX = std::abs(dx);
    int dragY = std::abs(dy);
    QRect r = m_canvas->subjectRect();
    switch (m_hitCode) {
    case 0:
        r.setLeft(r.left() + dx);
        r.setTop(r.top() + dy);
        break;
    case 1:
        r.setTop(r.top() + dy);
        dragX = 0;
        break;
    case 2:
        r.setRight(r.right() + dx);
        r.setTop(r.top() + dy);
        break;
    case 3:
        r.setLeft(r.left() + dx);
        dragY = 0;
        break;
    case 4:
        r.setRight(r.right() + dx);
        dragY = 0;
        break;
    case 5:
        r.setLeft(r.left() + dx);
        r.setBottom(r.bottom() + dy);
        break;
    case 6:
        r.setBottom(r.bottom() + dy);
        dragX = 0;
        break;
    case 7:
        r.setRight(r.right() + dx);
        r.setBottom(r.bottom() + dy);
        break;
    case kHitInside:
        r.translate(dx, dy);
        break;
    default:
        return;
    }
    m_canvas->setForegroundGeometry(dragX, dragY, r);
    m_lastPos = pos;
    update();
    emit signal_subject_moved();
}

bool QImageCropWidget::mousePressed(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        setShowSubjectFrame(true);
        refreshDisplay();
        hover(event->pos());
        if (m_hitCode != kHitNothing) {
            m_dragging = true;
            m_lastPos = event->pos();
        }
        return true;
    }
    if (event->button() == Qt::RightButton && imageRect().contains(event->pos())) {
        m_panning = true;
        m_panStart = event->pos();
        setCursor(Qt::OpenHandCursor);
        return true;
    }
    return false;
}

bool QImageCropWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != this || !hasImage())
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        return mousePressed(static_cast<QMouseEvent*>(event));
    case QEvent::MouseMove: {
        const QPoint pos = static_cast<QMouseEvent*>(event)->pos();
        if (m_panning) {
            m_viewport.panBy(pos - m_panStart);
            m_panStart = pos;
            update();
        } else if (!m_canvas->isSubjectFrameShown()) {
            setCursor(Qt::ArrowCursor);
        } else if (m_dragging) {
            drag(pos);
        } else {
            hover(pos);
        }
        return true;
    }
    case QEvent::MouseButtonRelease:
        m_dragging = m_panning = false;
        setCursor(Qt::ArrowCursor);
        update();
        return true;
    case QEvent::Leave:
        m_dragging = false;
        break;
    case QEvent::FocusOut:
        setShowSubjectFrame(false);
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}
