#include "qmaskeditor.h"

#include "guihandover.h"
#include "logger.h"
#include "qimageconvert.h"
#include "qimagefiles.h"
#include "qmaskops.h"
#include "qmaskrefine.h"
#include "qworkpool.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstring>

namespace {

cv::Mat overlayOf(const QImage& mask)
{
    return cv::Mat(mask.height(), mask.width(), CV_8UC4, const_cast<uchar*>(mask.constBits()),
                   size_t(mask.bytesPerLine()));
}

} // namespace

struct QMaskEditor::Refined
{
    QRect region;    // photo pixels
    cv::Mat overlay; // the mask's new pixels there; empty when nothing changed
};

namespace {

// Pool side of refine(): the mask's subject and the strokes at the photo's size go
// to QMaskRefine, and its answer comes back as mask pixels. Pixels that became
// subject are tagged kept, those that became background removed; the others keep
// their pixel, so the service's outline survives wherever the answer agrees.
void refineOverlay(cv::Mat photo, const QImage& mask, const cv::Mat& displayStrokes, QRect* region,
                   cv::Mat* changed)
{
    if (photo.channels() == 4)
        cv::cvtColor(photo, photo, cv::COLOR_BGRA2BGR);
    else if (photo.channels() == 1)
        cv::cvtColor(photo, photo, cv::COLOR_GRAY2BGR);
    const cv::Mat overlay = overlayOf(mask);
    cv::Mat subject, strokes;
    cv::extractChannel(overlay, subject, 3);
    cv::resize(displayStrokes, strokes, photo.size(), 0, 0, cv::INTER_NEAREST);
    const QMaskRefine::Result result = QMaskRefine::refine(photo, subject, strokes);
    if (result.region.empty())
        return;
    cv::Mat out = overlay(result.region).clone();
    bool any = false;
    for (int r = 0; r < out.rows; ++r) {
        auto* px = out.ptr<quint32>(r);
        const uchar* now = result.subject.ptr<uchar>(r);
        for (int c = 0; c < out.cols; ++c) {
            const bool was = (px[c] >> 24) != 0;
            if (was != (now[c] != 0)) {
                px[c] = now[c] ? QMaskStroke::kTagPixel : 0u;
                any = true;
            }
        }
    }
    *region = QRect(result.region.x, result.region.y, result.region.width, result.region.height);
    if (any)
        *changed = out;
}

} // namespace

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
    m_strokes = cv::Mat::zeros(m_displayMask.height(), m_displayMask.width(), CV_8UC1);
    m_strokeBox = QRect();
    ++m_editSerial;
    m_modified = false;
    // The first state is the full-size mask (not its display copy), so that undoing
    // all the way leaves the magic brush a mask of the photo's size.
    m_history.clear();
    m_history.push(m_mask);
    m_edges = {QEdgeControls::Options()};
    m_edgePreview = QImage();
    emit signal_ready();
}

void QMaskEditor::setDisplaySize(QSize size)
{
    if (!isReady() || size.isEmpty() || size == m_displaySource.size())
        return;
    m_displaySource = QMaskStroke::scaledPhoto(m_source, size);
    m_displayMask = QMaskStroke::scaledMask(m_mask, size);
    if (m_strokes.empty())
        m_strokes = cv::Mat::zeros(size.height(), size.width(), CV_8UC1);
    else
        cv::resize(m_strokes, m_strokes, cv::Size(size.width(), size.height()), 0, 0, cv::INTER_NEAREST);
    m_strokeBox = m_strokeBox.isEmpty() ? QRect() : QRect(0, 0, size.width(), size.height());
}

QRect QMaskEditor::strokeLine(QPointF from, QPointF to)
{
    const QRect dirty = QMaskStroke::paintLine(m_displayMask, from, to, m_brushSize, m_keepMode, m_hardness);
    return markStroke(dirty, [&](cv::Mat& labels, int label) {
        cv::line(labels, cv::Point(qRound(from.x()), qRound(from.y())),
                 cv::Point(qRound(to.x()), qRound(to.y())), label, m_brushSize);
    });
}

QRect QMaskEditor::strokeDot(QPointF centre)
{
    const QRect dirty = QMaskStroke::paintDisc(m_displayMask, centre, m_brushSize, m_keepMode, m_hardness);
    return markStroke(dirty, [&](cv::Mat& labels, int label) {
        cv::circle(labels, cv::Point(qRound(centre.x()), qRound(centre.y())), m_brushSize / 2, label,
                   cv::FILLED);
    });
}

QRect QMaskEditor::markStroke(const QRect& dirty, const std::function<void(cv::Mat&, int)>& draw)
{
    m_strokeRect |= dirty;
    if (!dirty.isEmpty() && !m_strokes.empty()) {
        draw(m_strokes, m_keepMode ? QMaskRefine::KeepStroke : QMaskRefine::RemoveStroke);
        m_strokeBox |= dirty;
    }
    return dirty;
}

void QMaskEditor::forgetStrokes()
{
    if (!m_strokes.empty())
        m_strokes.setTo(0);
    m_strokeBox = QRect();
}

void QMaskEditor::endStroke()
{
    if (m_strokeRect.isEmpty())
        return;
    const QRect written = QMaskStroke::applyDisplayMask(m_mask, m_startImage, m_displayMask, m_strokeRect);
    m_strokeRect = QRect();
    recordEdit(written);
    if (m_refineAgain || m_refineAfterStroke) {
        m_refineAgain = false;
        refine();
    }
}

bool QMaskEditor::refine()
{
    if (!isReady() || !hasPendingStrokes())
        return false;
    if (m_refining)
        return true; // the running one sees the mask changed and starts again
    m_refining = true;
    emit signal_refining(true);
    const QPointer<QMaskEditor> guard(this);
    const int serial = m_editSerial;
    const cv::Mat photo = m_source;
    const QImage mask = m_mask;
    const cv::Mat strokes = m_strokes.clone();
    QWorkPool::instance()->post([guard, serial, photo, mask, strokes] {
        auto refined = std::make_shared<Refined>();
        try {
            refineOverlay(photo, mask, strokes, &refined->region, &refined->overlay);
        } catch (const std::exception&) {
            refined->overlay.release(); // out of memory: the mask stays as it was
        }
        handOverToGui(guard, serial, refined, &QMaskEditor::takeRefined);
    });
    return true;
}

void QMaskEditor::takeRefined(int serial, const std::shared_ptr<Refined>& refined)
{
    m_refining = false;
    if (!m_strokeRect.isEmpty()) {
        // Writing now would wipe the display pixels of the stroke in progress.
        m_refineAgain = true;
    } else if (serial != m_editSerial) {
        if (hasPendingStrokes())
            refine();
    } else {
        forgetStrokes();
        const QRect region = refined->region;
        if (!refined->overlay.empty()) {
            for (int r = 0; r < region.height(); ++r)
                std::memcpy(m_mask.scanLine(region.top() + r) + region.left() * 4, refined->overlay.ptr(r),
                            size_t(region.width()) * 4);
            recordEdit(region);
            QMaskStroke::refreshDisplay(m_displayMask, m_mask, region);
        }
    }
    if (!m_refining)
        emit signal_refining(false);
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
    forgetStrokes();
    m_edgePreview = QImage();
    ++m_editSerial;
    m_history.applyCurrentTo(m_mask);
    m_modified = true;
    QMaskStroke::refreshDisplay(m_displayMask, m_mask, m_history.lastChange());
}

void QMaskEditor::recordState(const QRect& changed, const QEdgeControls::Options& edge)
{
    m_history.push(m_mask, changed);
    m_edges.resize(m_history.current());
    m_edges.append(edge);
    m_edgePreview = QImage();
    ++m_editSerial;
    m_modified = true;
    emit signal_history_changed();
}

void QMaskEditor::setEdge(const QEdgeControls::Options& edge)
{
    m_edgePreview = QImage();
    if (isReady() && edge != this->edge())
        recordState(QRect(0, 0, 1, 1), edge); // the mask is the same: nothing to compare
}

void QMaskEditor::previewEdge(const QEdgeControls::Options& edge)
{
    if (!isReady() || m_displayMask.isNull() || m_displaySource.size() != m_displayMask.size())
        return;
    const cv::Mat shown = overlayOf(m_displayMask);
    cv::Mat alpha;
    cv::extractChannel(shown, alpha, 3);
    // The overlay's alpha is its tint's; the subject is opaque where it is full.
    alpha.convertTo(alpha, CV_8U, 255.0 / qAlpha(QMaskStroke::kTagPixel));
    alpha = QEdgeControls::alpha(alpha, edge, double(m_displayMask.width()) / m_source.cols);
    // The photo premultiplied by the new alpha: the cut-out as it would be saved.
    m_edgePreview = QImage(m_displayMask.size(), QImage::Format_ARGB32_Premultiplied);
    for (int r = 0; r < alpha.rows; ++r) {
        const uchar* a = alpha.ptr<uchar>(r);
        const auto* photo = reinterpret_cast<const QRgb*>(m_displaySource.constScanLine(r));
        auto* out = reinterpret_cast<QRgb*>(m_edgePreview.scanLine(r));
        for (int c = 0; c < alpha.cols; ++c)
            out[c] = qPremultiply(qRgba(qRed(photo[c]), qGreen(photo[c]), qBlue(photo[c]), a[c]));
    }
}

cv::Mat QMaskEditor::takeEdit()
{
    if (!m_modified)
        return cv::Mat();
    m_modified = false;
    return QImageConvert::imageToMat(m_mask);
}
