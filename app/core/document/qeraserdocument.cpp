#include "qeraserdocument.h"

#include "guihandover.h"
#include "qimageconvert.h"
#include "qmaskstroke.h"
#include "qworkpool.h"

#include <opencv2/imgproc.hpp>

struct QEraserDocument::Filled
{
    cv::Mat image;
    cv::Rect changed;
};

QEraserDocument::QEraserDocument(QObject* parent) : QObject(parent) {}

void QEraserDocument::setImage(const cv::Mat& image)
{
    ++m_serial;
    setBusy(false);
    m_history.clear();
    m_image = QImage();
    m_alpha = image.type() == CV_8UC4;
    if (image.empty() || (image.type() != CV_8UC3 && !m_alpha))
        return;
    cv::Mat bgra;
    if (m_alpha)
        bgra = image.clone();
    else
        cv::cvtColor(image, bgra, cv::COLOR_BGR2BGRA);
    m_image = QImageConvert::matToImage(bgra);
    m_history.push(m_image);
    emit signal_changed(m_image.rect());
}

cv::Mat QEraserDocument::view() const
{
    return isEmpty() ? cv::Mat() : QImageConvert::imageToMat(m_image);
}

cv::Mat QEraserDocument::result() const
{
    if (isEmpty())
        return cv::Mat();
    cv::Mat out;
    if (m_alpha)
        out = view().clone();
    else
        cv::cvtColor(view(), out, cv::COLOR_BGRA2BGR);
    return out;
}

cv::Mat QEraserDocument::strokeMask(const QImage& strokes)
{
    const QImage argb = strokes.convertToFormat(QImage::Format_ARGB32);
    cv::Mat mask(argb.height(), argb.width(), CV_8UC1);
    for (int y = 0; y < argb.height(); ++y) {
        const auto* in = reinterpret_cast<const quint32*>(argb.constScanLine(y));
        uchar* out = mask.ptr<uchar>(y);
        for (int x = 0; x < argb.width(); ++x)
            out[x] = in[x] == QMaskStroke::kTagPixel ? 255 : 0;
    }
    return mask;
}

bool QEraserDocument::fill(const QImage& strokes, QInpaint::Method method)
{
    if (m_busy || isEmpty() || strokes.size() != m_image.size())
        return false;
    setBusy(true);
    const int serial = m_serial;
    const QPointer<QEraserDocument> guard(this);
    QWorkPool::instance()->post([guard, serial, strokes, state = m_image, method] {
        auto filled = std::make_shared<Filled>();
        filled->image = QImageConvert::imageToMat(state).clone();
        filled->changed = QInpaint::fill(filled->image, strokeMask(strokes), method);
        handOverToGui(guard, serial, filled, &QEraserDocument::takeFilled);
    });
    return true;
}

void QEraserDocument::takeFilled(int serial, const std::shared_ptr<Filled>& filled)
{
    if (serial != m_serial)
        return;
    setBusy(false);
    if (filled->changed.empty()) {
        emit signal_changed(QRect());
        return;
    }
    const QRect changed(filled->changed.x, filled->changed.y, filled->changed.width, filled->changed.height);
    m_image = QImageConvert::matToImage(filled->image);
    m_history.push(m_image, changed);
    emit signal_changed(changed);
}

void QEraserDocument::undo()
{
    if (!canUndo())
        return;
    m_image = m_history.undoImage();
    emit signal_changed(m_history.lastChange());
}

void QEraserDocument::redo()
{
    if (!canRedo())
        return;
    m_image = m_history.redoImage();
    emit signal_changed(m_history.lastChange());
}

void QEraserDocument::setBusy(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    emit signal_busy(busy);
}
