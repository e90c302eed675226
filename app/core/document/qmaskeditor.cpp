#include "qmaskeditor.h"

#include "guihandover.h"
#include "logger.h"
#include "qimageconvert.h"
#include "qimagefiles.h"
#include "qmaskops.h"
#include "qworkpool.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

struct QMaskEditor::Prepared
{
    cv::Mat source;
    cv::Mat startMask;
    QImage displaySource;
    QImage displayMask;
};

QMaskEditor::QMaskEditor(QObject* parent) : QObject(parent) {}

void QMaskEditor::load(std::function<Input()> read, std::function<QSize(QSize)> displaySizeFor)
{
    const int serial = ++m_serial;
    const QPointer<QMaskEditor> guard(this);
    QWorkPool::instance()->post([guard, serial, read, displaySizeFor]() {
        auto prepared = std::make_shared<Prepared>();
        try {
            const Input input = read();
            prepared->source = input.photo;
            if (!input.photo.empty() && input.cutout.type() == CV_8UC4) {
                cv::Mat sized = input.cutout;
                if (sized.size() != input.photo.size())
                    cv::resize(input.cutout, sized, input.photo.size(), 0, 0, cv::INTER_LINEAR);
                prepared->startMask = QMaskOps::makeRedOverlay(sized);
            }
            const QSize shown = displaySizeFor(QSize(input.photo.cols, input.photo.rows));
            if (!prepared->startMask.empty() && !shown.isEmpty()) {
                prepared->displaySource = QMaskStroke::scaledPhoto(prepared->source, shown);
                prepared->displayMask =
                    QMaskStroke::scaledMask(QImageConvert::matToImage(prepared->startMask), shown);
            }
        } catch (const std::exception&) {
            prepared->startMask.release(); // unreadable input: nothing to edit
        }
        handOverToGui(guard, serial, prepared, &QMaskEditor::takePrepared);
    });
}

void QMaskEditor::takePrepared(int serial, const std::shared_ptr<Prepared>& prepared)
{
    if (serial != m_serial)
        return;
    if (prepared->source.empty() || prepared->startMask.empty()) {
        // The canvas of the same task reports unreadable photos to the user; the
        // brush view just stays empty.
        BRISEL_LOG(1, QStringLiteral("mask editor: photo or cut-out could not be prepared"));
        return;
    }
    m_source = prepared->source;
    m_startMask = prepared->startMask;
    m_startImage = QImageConvert::matToImage(m_startMask);
    m_mask = m_startImage;
    m_displaySource = prepared->displaySource;
    m_displayMask = prepared->displayMask;
    m_strokeRect = QRect();
    m_modified = false;
    // The first state is the full-size mask (not its display copy), so that undoing
    // all the way leaves the magic brush a mask of the photo's size.
    m_history.clear();
    m_history.push(m_mask);
    emit signal_ready();
}

void QMaskEditor::setDisplaySize(QSize size)
{
    if (!isReady() || size.isEmpty() || size == m_displaySource.size())
        return;
    m_displaySource = QMaskStroke::scaledPhoto(m_source, size);
    m_displayMask = QMaskStroke::scaledMask(m_mask, size);
}

QRect QMaskEditor::strokeLine(QPointF from, QPointF to)
{
    const QRect dirty = QMaskStroke::paintLine(m_displayMask, from, to, m_brushSize, m_keepMode, m_hardness);
    m_strokeRect |= dirty;
    return dirty;
}

QRect QMaskEditor::strokeDot(QPointF centre)
{
    const QRect dirty = QMaskStroke::paintDisc(m_displayMask, centre, m_brushSize, m_keepMode, m_hardness);
    m_strokeRect |= dirty;
    return dirty;
}

void QMaskEditor::endStroke()
{
    if (m_strokeRect.isEmpty())
        return;
    const QRect written = QMaskStroke::applyDisplayMask(m_mask, m_startImage, m_displayMask, m_strokeRect);
    m_strokeRect = QRect();
    recordEdit(written);
}

void QMaskEditor::magicFill(QPointF imagePos, int tolerance)
{
    if (!isReady())
        return;
    const QPoint seed(std::clamp(int(imagePos.x()), 0, m_source.cols - 1),
                      std::clamp(int(imagePos.y()), 0, m_source.rows - 1));
    const cv::Mat filled =
        QMaskOps::floodFillMask(m_source, QImageConvert::imageToMat(m_mask), seed, tolerance, !m_keepMode);
    m_mask = QImageConvert::matToImage(filled);
    recordEdit();
    QMaskStroke::refreshDisplay(m_displayMask, m_mask, m_history.lastChange());
}

void QMaskEditor::undo()
{
    if (!canUndo())
        return;
    m_history.undoImage();
    showHistoryState();
}

void QMaskEditor::redo()
{
    if (!canRedo())
        return;
    m_history.redoImage();
    showHistoryState();
}

void QMaskEditor::showHistoryState()
{
    m_history.applyCurrentTo(m_mask);
    m_modified = true;
    QMaskStroke::refreshDisplay(m_displayMask, m_mask, m_history.lastChange());
}

void QMaskEditor::recordEdit(const QRect& changed)
{
    m_history.push(m_mask, changed);
    m_modified = true;
    emit signal_history_changed();
}

cv::Mat QMaskEditor::takeEdit()
{
    if (!m_modified)
        return cv::Mat();
    m_modified = false;
    return QImageConvert::imageToMat(m_mask);
}
