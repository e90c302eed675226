#include "qimagecutoutwidget.h"

#include "keeptranslated.h"
#include "qappsettings.h"
#include "qimagefiles.h"
#include "qimagesettings.h"
#include "qimagetask.h"
#include "qloadingctrl.h"

#include <QMouseEvent>
#include <QPainter>

QImageCutoutWidget::QImageCutoutWidget(QWidget* parent) : QWidget(parent)
{
    connect(&m_editor, &QMaskEditor::signal_ready, this, &QImageCutoutWidget::onEditorReady);
    connect(&m_editor, &QMaskEditor::signal_history_changed, this,
            &QImageCutoutWidget::signal_history_changed);
    connect(&m_editor, &QMaskEditor::signal_refining, this, &QImageCutoutWidget::showRefining);
    m_refining = new QLoadingCtrl(this);
    m_refining->setObjectName(QStringLiteral("refining"));
    m_refining->setFixedSize(kSpinnerSide, kSpinnerSide);
    m_refining->setColor(QColor(52, 122, 235));
    keepTranslated(m_refining, [this] { m_refining->setText(tr("Refining...")); });
    m_refining->hide();
}

void QImageCutoutWidget::setEdge(const QEdgeControls::Options& edge, bool final)
{
    if (final)
        m_editor.setEdge(edge);
    else
        m_editor.previewEdge(edge);
    update();
}

void QImageCutoutWidget::showRefining(bool running)
{
    m_refining->move((width() - kSpinnerSide) / 2, (height() - kSpinnerSide) / 2);
    m_refining->setVisible(running);
    if (running) {
        m_refining->raise();
        m_refining->start();
    } else {
        m_refining->stop();
        update();
    }
}

bool QImageCutoutWidget::setTask(const std::shared_ptr<QImageTask>& task)
{
    if (!task)
        return true;
    const QString path = task->filePath();
    const cv::Mat cutout = task->cutout();
    load([path, cutout] { return QMaskEditor::Input{QImageFiles::read(path), cutout}; });
    return true;
}

void QImageCutoutWidget::setImages(const cv::Mat& photo, const cv::Mat& cutout)
{
    load([photo, cutout] { return QMaskEditor::Input{photo, cutout}; });
}

void QImageCutoutWidget::load(std::function<QMaskEditor::Input()> read)
{
    QViewport viewport = m_viewport;
    viewport.setWidgetSize(size());
    m_editor.load(std::move(read), [viewport](QSize image) mutable {
        viewport.setImageSize(image);
        return viewport.shownSize();
    });
}

void QImageCutoutWidget::onEditorReady()
{
    installEventFilter(this);
    setMouseTracking(true);
    setBrushCursor();
    const cv::Mat source = m_editor.source();
    m_viewport.setImageSize(QSize(source.cols, source.rows));
    showAtFactor();
    emit signal_ready();
}

void QImageCutoutWidget::showAtFactor()
{
    m_viewport.setWidgetSize(size());
    m_editor.setDisplaySize(m_viewport.shownSize());
    update();
    if (m_viewport.isFitted()) // the fitted factor follows the sizes
        emit signal_factor_changed(factor());
}

void QImageCutoutWidget::fitToView()
{
    m_viewport.fit();
    showAtFactor();
}

float QImageCutoutWidget::zoomIn()
{
    m_viewport.zoomIn();
    showAtFactor();
    return factor();
}

float QImageCutoutWidget::zoomOut()
{
    m_viewport.zoomOut();
    showAtFactor();
    return factor();
}

void QImageCutoutWidget::setFactor(float factor)
{
    if (m_viewport.setFactor(factor))
        showAtFactor();
}

void QImageCutoutWidget::setMagicMode(bool magic)
{
    if (magic == m_magicMode)
        return;
    m_magicMode = magic;
    if (magic)
        setCursor(Qt::CrossCursor);
    else
        setBrushCursor();
    update();
}

void QImageCutoutWidget::undo()
{
    m_editor.undo();
    emit signal_edge_shown(m_editor.edge());
    update();
}

void QImageCutoutWidget::redo()
{
    m_editor.redo();
    emit signal_edge_shown(m_editor.edge());
    update();
}

QPointF QImageCutoutWidget::toDisplay(const QPoint& widgetPos) const
{
    return QPointF(widgetPos - imageRect().topLeft());
}

void QImageCutoutWidget::setBrushCursor()
{
    if (m_magicMode)
        return;
    const int size = brushSize();
    if (m_cursorPixmap.width() != size) {
        m_cursorPixmap = QPixmap(size, size);
        m_cursorPixmap.fill(Qt::transparent);
    }
    setCursor(QCursor(m_cursorPixmap, size / 2, size / 2));
}

// The preview circle hangs half a brush below the pointer, where strokes land.
QRect QImageCutoutWidget::brushPreviewRect(const QPoint& widgetPos) const
{
    const int size = brushSize();
    return QRect(widgetPos.x() - size / 2, widgetPos.y(), size, size).adjusted(-2, -2, 2, 2);
}

void QImageCutoutWidget::updateDisplayRect(const QRect& displayRect)
{
    update(displayRect.translated(imageRect().topLeft()).adjusted(-1, -1, 1, 1));
}

void QImageCutoutWidget::paintEvent(QPaintEvent*)
{
    if (!isReady())
        return;
    QPainter painter(this);
    const QPoint offset = imageRect().topLeft();
    // While an edge slider moves, the cut-out itself over what lies behind the view.
    if (!m_editor.edgePreview().isNull()) {
        painter.drawImage(offset, m_editor.edgePreview());
    } else {
        painter.drawImage(offset, m_editor.displaySource());
        painter.drawImage(offset, m_editor.displayMask());
    }
    if (!m_magicMode && !m_panning && rect().contains(m_pointer)) {
        painter.setRenderHint(QPainter::Antialiasing, true);
        const QColor preview(0, 0, 255, 160);
        painter.setPen(preview);
        painter.setBrush(preview);
        const int size = brushSize();
        painter.drawEllipse(QRect(m_pointer.x() - size / 2, m_pointer.y(), size, size));
    }
}

void QImageCutoutWidget::resizeEvent(QResizeEvent*)
{
    showAtFactor();
}

// The host gets the full-size mask, which already holds every edit at the photo's
// resolution, rather than the display copy blown up again.
void QImageCutoutWidget::hideEvent(QHideEvent*)
{
    const cv::Mat edit = m_editor.takeEdit();
    if (!edit.empty())
        emit signal_image_cutout(edit);
}

void QImageCutoutWidget::wheelEvent(QWheelEvent* event)
{
    if (event->angleDelta().y() == 0)
        return; // a sideways scroll (a touchpad's) is no zoom
    if (event->angleDelta().y() >= 1)
        zoomIn();
    else
        zoomOut();
    emit signal_factor_changed(factor());
}

bool QImageCutoutWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != this || !isReady())
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        pressed(static_cast<QMouseEvent*>(event));
        return true;
    case QEvent::MouseMove:
        moved(static_cast<QMouseEvent*>(event));
        return true;
    case QEvent::MouseButtonRelease:
        released(static_cast<QMouseEvent*>(event));
        return true;
    case QEvent::Leave:
        // A stroke that leaves the view ends there; it is kept, not dropped.
        if (m_drawing)
            finishStroke(m_lastPos);
        update(brushPreviewRect(m_pointer));
        m_pointer = QPoint(-1, -1);
        return false;
    default:
        return QWidget::eventFilter(watched, event);
    }
}

// The right button pans in both modes and never edits; the magic brush acts on
// the left button's release.
void QImageCutoutWidget::pressed(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && !m_magicMode) {
        m_drawing = true;
        m_lastPos = event->pos();
    } else if (event->button() == Qt::RightButton && imageRect().contains(event->pos())) {
        m_panning = true;
        m_lastPos = event->pos();
        setCursor(Qt::OpenHandCursor);
        update();
    }
}

void QImageCutoutWidget::moved(QMouseEvent* event)
{
    const QPoint pos = event->pos();
    update(brushPreviewRect(m_pointer));
    m_pointer = pos;
    update(brushPreviewRect(pos));
    if (m_panning) {
        m_viewport.panBy(pos - m_lastPos);
        m_lastPos = pos;
        update();
        return;
    }
    if (m_magicMode)
        return;
    if (!imageRect().contains(pos)) {
        setCursor(Qt::ArrowCursor);
        return;
    }
    if (m_drawing) {
        const QPointF below(0, brushSize() / 2);
        updateDisplayRect(m_editor.strokeLine(toDisplay(m_lastPos) + below, toDisplay(pos) + below));
        m_lastPos = pos;
    }
    setBrushCursor();
}

void QImageCutoutWidget::released(QMouseEvent* event)
{
    const bool left = event->button() == Qt::LeftButton;
    if (left && m_magicMode && !m_panning && imageRect().contains(event->pos()))
        m_editor.magicFill(m_viewport.toImage(event->pos()), QImageSettings::tolerance());
    if (left && m_drawing)
        finishStroke(event->pos());
    if (event->button() == Qt::RightButton && m_panning) {
        m_panning = false;
        if (m_magicMode)
            setCursor(Qt::CrossCursor);
    }
    setBrushCursor();
    update();
}

void QImageCutoutWidget::finishStroke(const QPoint& pos)
{
    m_drawing = false;
    if (pos == m_lastPos) // a click without movement: one disc
        updateDisplayRect(m_editor.strokeDot(toDisplay(pos) + QPointF(0, brushSize() / 2)));
    m_editor.setRefineAfterStroke(QAppSettings::refineAfterStroke());
    m_editor.endStroke();
}
