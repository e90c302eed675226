#include "qimagecutoutwidget.h"

#include "guihandover.h"
#include "logger.h"
#include "qimageconvert.h"
#include "qimagefiles.h"
#include "qimagesettings.h"
#include "qimagetask.h"
#include "qmaskops.h"
#include "qworkpool.h"

#include <QMouseEvent>
#include <QPainter>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {

// A QImage over a matrix's pixels that keeps the matrix alive: no copy of 96 MB
// when a fill or the start mask becomes an image.
QImage imageOwning(const cv::Mat& bgra)
{
    auto* keep = new cv::Mat(bgra);
    return QImage(
        keep->data, keep->cols, keep->rows, int(keep->step), QImage::Format_ARGB32,
        [](void* mat) { delete static_cast<cv::Mat*>(mat); }, keep);
}

QSize fittedSize(QSize image, QSize widget)
{
    if (image.isEmpty() || widget.isEmpty())
        return QSize();
    return image.scaled(std::min(image.width(), widget.width()), std::min(image.height(), widget.height()),
                        Qt::KeepAspectRatio);
}

} // namespace

struct QImageCutoutWidget::Prepared
{
    cv::Mat source;
    cv::Mat startMask;
    QImage displaySource;
    QImage displayMask;
    QSize fittedTo; // the widget size the display images were made for
};

QImageCutoutWidget::QImageCutoutWidget(QWidget* parent) : QWidget(parent) {}

bool QImageCutoutWidget::setTask(const std::shared_ptr<QImageTask>& task)
{
    if (!task)
        return true;
    const QString path = task->filePath();
    const cv::Mat cutout = task->cutout();
    prepare([path, cutout](Prepared& p) {
        p.source = QImageFiles::read(path);
        if (!p.source.empty() && cutout.type() == CV_8UC4) {
            cv::Mat sized = cutout;
            if (cutout.size() != p.source.size())
                cv::resize(cutout, sized, p.source.size(), 0, 0, cv::INTER_LINEAR);
            p.startMask = QMaskOps::makeRedOverlay(sized);
        }
    });
    return true;
}

void QImageCutoutWidget::setImages(const cv::Mat& photo, const cv::Mat& cutout)
{
    prepare([photo, cutout](Prepared& p) {
        p.source = photo;
        cv::Mat sized = cutout;
        if (cutout.size() != photo.size())
            cv::resize(cutout, sized, photo.size(), 0, 0, cv::INTER_LINEAR);
        p.startMask = QMaskOps::makeRedOverlay(sized);
    });
}

void QImageCutoutWidget::prepare(const std::function<void(Prepared&)>& load)
{
    const int serial = ++m_prepareSerial;
    const QPointer<QImageCutoutWidget> guard(this);
    const QSize widgetSize = size();
    QWorkPool::instance()->post([guard, serial, load, widgetSize]() {
        auto prepared = std::make_shared<Prepared>();
        try {
            load(*prepared);
            const QSize shown = fittedSize(QSize(prepared->source.cols, prepared->source.rows), widgetSize);
            if (!prepared->startMask.empty() && shown.isValid()) {
                prepared->displaySource = QMaskStroke::scaledPhoto(prepared->source, shown);
                prepared->displayMask = QMaskStroke::scaledMask(imageOwning(prepared->startMask), shown);
                prepared->fittedTo = widgetSize;
            }
        } catch (const std::exception&) {
            prepared->startMask.release(); // unreadable input: the view stays empty
        }
        handOverToGui(guard, serial, prepared, &QImageCutoutWidget::takePrepared);
    });
}

void QImageCutoutWidget::takePrepared(int serial, const std::shared_ptr<Prepared>& prepared)
{
    if (serial != m_prepareSerial)
        return;
    if (prepared->source.empty() || prepared->startMask.empty()) {
        // The canvas of the same task reports unreadable photos to the user; the
        // brush view just stays empty.
        BRISEL_LOG(1, QStringLiteral("brush view: photo or cut-out could not be prepared"));
        return;
    }
    m_sourceMat = prepared->source;
    m_startMask = prepared->startMask;
    m_startImage = imageOwning(m_startMask);
    m_mask = m_startImage;
    m_imageWidth = m_sourceMat.cols;
    m_imageHeight = m_sourceMat.rows;
    m_modified = false;
    installEventFilter(this);
    setMouseTracking(true);
    setBrushCursor();
    if (prepared->fittedTo == size() && !prepared->displaySource.isNull()) {
        m_displaySource = prepared->displaySource;
        m_displayMask = prepared->displayMask;
        m_fitScale = float(m_displaySource.width()) / float(m_imageWidth);
    } else {
        fit();
    }
    // The first state is the full-size mask (not its display copy), so that undoing
    // all the way leaves the magic brush a mask of the photo's size.
    m_history.clear();
    m_history.push(m_mask);
    update();
    emit signal_ready();
}

void QImageCutoutWidget::fit()
{
    const QSize shown = fittedSize(QSize(m_imageWidth, m_imageHeight), size());
    if (!isReady() || shown.isEmpty())
        return;
    showAtSize(shown);
    m_fitScale = float(m_displaySource.width()) / float(m_imageWidth);
}

void QImageCutoutWidget::showAtSize(QSize shown)
{
    m_displaySource = QMaskStroke::scaledPhoto(m_sourceMat, shown);
    m_displayMask = QMaskStroke::scaledMask(m_mask, shown);
    update();
}

float QImageCutoutWidget::zoomIn()
{
    double next = double(m_factor) + 0.1;
    if (next > 2.0) // one step from about 2.0 straight to the largest factor
        next = kMaxFactor;
    setFactor(float(next));
    return m_factor;
}

float QImageCutoutWidget::zoomOut()
{
    setFactor(float(std::max(double(m_factor) - 0.1, double(kMinFactor))));
    return m_factor;
}

void QImageCutoutWidget::setFactor(float factor)
{
    if (std::fabs(factor - m_factor) < 0.000001f)
        return;
    m_factor = factor;
    if (!isReady())
        return;
    const int w = int(m_imageWidth * m_factor * m_fitScale);
    const int h = int(m_imageHeight * m_factor * m_fitScale);
    const QSize shown =
        QSize(m_imageWidth, m_imageHeight).scaled(std::max(1, w), std::max(1, h), Qt::KeepAspectRatio);
    showAtSize(shown);
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
    if (!canUndo())
        return;
    m_history.undoImage();
    showHistoryState();
}

void QImageCutoutWidget::redo()
{
    if (!canRedo())
        return;
    m_history.redoImage();
    showHistoryState();
}

void QImageCutoutWidget::showHistoryState()
{
    m_history.applyCurrentTo(m_mask);
    m_modified = true;
    QMaskStroke::refreshDisplay(m_displayMask, m_mask, m_history.lastChange());
    update();
}

QPoint QImageCutoutWidget::imageOffset() const
{
    return QPoint((width() - m_displaySource.width()) / 2, (height() - m_displaySource.height()) / 2);
}

QRect QImageCutoutWidget::imageRect() const
{
    return QRect(imageOffset() + m_panOffset, m_displaySource.size());
}

QPointF QImageCutoutWidget::toDisplay(const QPoint& widgetPos) const
{
    return QPointF(widgetPos - m_panOffset - imageOffset());
}

bool QImageCutoutWidget::onImage(const QPoint& widgetPos) const
{
    return QRect(imageOffset(), m_displaySource.size()).contains(widgetPos - m_panOffset);
}

void QImageCutoutWidget::setBrushCursor()
{
    if (m_magicMode)
        return;
    if (m_cursorPixmap.width() != m_brushSize) {
        m_cursorPixmap = QPixmap(m_brushSize, m_brushSize);
        m_cursorPixmap.fill(Qt::transparent);
    }
    setCursor(QCursor(m_cursorPixmap, m_brushSize / 2, m_brushSize / 2));
}

// The preview circle hangs half a brush below the pointer, where strokes land.
QRect QImageCutoutWidget::brushPreviewRect(const QPoint& widgetPos) const
{
    return QRect(widgetPos.x() - m_brushSize / 2, widgetPos.y(), m_brushSize, m_brushSize)
        .adjusted(-2, -2, 2, 2);
}

void QImageCutoutWidget::updateDisplayRect(const QRect& displayRect)
{
    update(displayRect.translated(imageOffset() + m_panOffset).adjusted(-1, -1, 1, 1));
}

void QImageCutoutWidget::paintEvent(QPaintEvent*)
{
    if (!isReady())
        return;
    QPainter painter(this);
    painter.translate(m_panOffset);
    const QPoint offset = imageOffset();
    painter.drawImage(offset, m_displaySource);
    painter.drawImage(offset, m_displayMask);
    if (!m_magicMode && !m_panning && rect().contains(m_pointer)) {
        painter.setRenderHint(QPainter::Antialiasing, true);
        const QColor preview(0, 0, 255, 160);
        painter.setPen(preview);
        painter.setBrush(preview);
        const QPoint p = m_pointer - m_panOffset;
        painter.drawEllipse(QRect(p.x() - m_brushSize / 2, p.y(), m_brushSize, m_brushSize));
    }
}

void QImageCutoutWidget::resizeEvent(QResizeEvent*)
{
    fit();
}

// The host gets the full-size mask, which already holds every edit at the photo's
// resolution, rather than the display copy blown up again.
void QImageCutoutWidget::hideEvent(QHideEvent*)
{
    if (!m_modified)
        return;
    m_modified = false;
    emit signal_image_cutout(QImageConvert::imageToMat(m_mask));
}

void QImageCutoutWidget::wheelEvent(QWheelEvent* event)
{
    if (event->angleDelta().y() == 0)
        return; // a sideways scroll (a touchpad's) is no zoom
    if (event->angleDelta().y() >= 1)
        zoomIn();
    else
        zoomOut();
    emit signal_factor_changed(m_factor);
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

void QImageCutoutWidget::pressed(QMouseEvent* event)
{
    if (m_magicMode)
        return; // the magic brush acts on release
    if (event->button() == Qt::LeftButton) {
        m_drawing = true;
        m_lastPos = event->pos();
        m_strokeRect = QRect();
    } else if (event->button() == Qt::RightButton && onImage(event->pos())) {
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
    if (m_magicMode)
        return;
    if (m_panning) {
        m_panOffset += pos - m_lastPos;
        m_lastPos = pos;
        update();
        return;
    }
    if (!onImage(pos)) {
        setCursor(Qt::ArrowCursor);
        return;
    }
    if (m_drawing) {
        const QPointF below(0, m_brushSize / 2);
        const QRect dirty =
            QMaskStroke::paintLine(m_displayMask, toDisplay(m_lastPos) + below, toDisplay(pos) + below,
                                   m_brushSize, m_keepMode, m_hardness);
        m_strokeRect |= dirty;
        updateDisplayRect(dirty);
        m_lastPos = pos;
    }
    setBrushCursor();
}

void QImageCutoutWidget::released(QMouseEvent* event)
{
    if (m_magicMode) {
        if (onImage(event->pos()))
            magicFill(event->pos());
        return;
    }
    if (event->button() == Qt::LeftButton && m_drawing)
        finishStroke(event->pos());
    m_panning = false;
    setBrushCursor();
    update();
}

void QImageCutoutWidget::finishStroke(const QPoint& pos)
{
    m_drawing = false;
    if (pos == m_lastPos) { // a click without movement: one disc
        const QPointF centre = toDisplay(pos) + QPointF(0, m_brushSize / 2);
        const QRect dirty =
            QMaskStroke::paintDisc(m_displayMask, centre, m_brushSize, m_keepMode, m_hardness);
        m_strokeRect |= dirty;
        updateDisplayRect(dirty);
    }
    if (m_strokeRect.isEmpty())
        return;
    const QRect written = QMaskStroke::applyDisplayMask(m_mask, m_startImage, m_displayMask, m_strokeRect);
    m_strokeRect = QRect();
    recordEdit(written);
}

void QImageCutoutWidget::magicFill(const QPoint& pos)
{
    const double scale = double(m_imageWidth) / m_displaySource.width();
    const QPointF p = toDisplay(pos) * scale;
    const QPoint seed(std::clamp(int(p.x()), 0, m_imageWidth - 1),
                      std::clamp(int(p.y()), 0, m_imageHeight - 1));
    const cv::Mat filled = QMaskOps::floodFillMask(m_sourceMat, QImageConvert::imageToMat(m_mask), seed,
                                                   QImageSettings::tolerance(), !m_keepMode);
    m_mask = imageOwning(filled);
    recordEdit();
    QMaskStroke::refreshDisplay(m_displayMask, m_mask, m_history.lastChange());
    update();
}

void QImageCutoutWidget::recordEdit(const QRect& changed)
{
    m_history.push(m_mask, changed);
    m_modified = true;
    emit signal_history_changed();
}
