#include "qimagecanvas.h"

#include "guihandover.h"
#include "qcropgeometry.h"
#include "qcroptable.h"
#include "qimageconvert.h"
#include "qimagefiles.h"
#include "qimagetask.h"
#include "qmaskops.h"
#include "qtaskmanager.h"
#include "qworkpool.h"

#include <QPainter>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {

// Smallest subject side a drag may leave, so the frame and its handles stay usable.
constexpr int kMinSubjectSide = 8;

// A BGRA matrix as the premultiplied image the painter draws fastest.
QImage toPremultiplied(const cv::Mat& bgra)
{
    if (bgra.empty() || bgra.type() != CV_8UC4)
        return QImage();
    const QImage view(bgra.data, bgra.cols, bgra.rows, int(bgra.step), QImage::Format_ARGB32);
    return view.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace

QImageCanvas::QImageCanvas(QObject* parent) : QObject(parent) {}

struct QImageCanvas::Loaded
{
    QImage cutout;
    QRect subject;
    QSize sourceSize;
};

void QImageCanvas::setTask(const std::shared_ptr<QImageTask>& task)
{
    if (!task)
        return;
    m_taskId = task->id();
    loadCutout(task->cutout(), task->sourceSize());
}

void QImageCanvas::setTask(const QString& taskId)
{
    setTask(QTaskManager::getTask(taskId));
}

void QImageCanvas::loadCutout(const cv::Mat& cutout, QSize sourceSize)
{
    // Another photo starts from a clean document: a background, crop or frame of
    // the previous one would shape the new result (a picture would even set its size).
    m_backgroundType = BackgroundNone;
    m_backgroundColor = QColor();
    m_plate = QImage();
    m_cropMode = QCropTable::kWholePicture;
    m_customCropSize = QSize(0, 0);
    m_cropApplied = m_showCropFrame = m_showSubjectFrame = false;
    const int serial = ++m_loadSerial;
    const QPointer<QImageCanvas> guard(this);
    // The job owns a reference to the matrix and touches nothing of the canvas; the
    // result is handed over on the GUI thread, and dropped if the canvas is gone or
    // a newer load has started meanwhile.
    QWorkPool::instance()->post([guard, serial, cutout, sourceSize]() {
        auto loaded = std::make_shared<Loaded>();
        try {
            loaded->cutout = toPremultiplied(cutout);
            loaded->subject = QMaskOps::contentRect(cutout);
        } catch (const std::exception&) {
            loaded->cutout = QImage(); // an unreadable matrix loads as nothing
        }
        loaded->sourceSize = sourceSize.isEmpty() ? loaded->cutout.size() : sourceSize;
        handOverToGui(guard, serial, loaded, &QImageCanvas::finishLoad);
    });
}

void QImageCanvas::finishLoad(int serial, const std::shared_ptr<Loaded>& loaded)
{
    if (serial != m_loadSerial)
        return;
    m_cutout = loaded->cutout;
    m_loadedSubjectRect = loaded->subject;
    m_sourceSize = loaded->sourceSize;
    if (m_backgroundType != BackgroundPicture) {
        m_plate = QImage();
        m_plateSize = m_sourceSize;
    }
    layout();
    m_customCropSize = canvasSize();
    m_dirty = true;
    emit signal_update();
}

QRect QImageCanvas::subjectBox() const
{
    // An image without any subject pixel lays out as if it were all subject.
    return m_loadedSubjectRect.width() > 0 && m_loadedSubjectRect.height() > 0 ? m_loadedSubjectRect
                                                                               : m_cutout.rect();
}

void QImageCanvas::layout()
{
    m_canvasWidth = std::max(m_cutout.width(), m_plateSize.width());
    m_canvasHeight = std::max(m_cutout.height(), m_plateSize.height());
    m_backgroundRect = QCropGeometry::centred(canvasSize(), m_plateSize.width(), m_plateSize.height());
    m_foregroundRect = QCropGeometry::centred(canvasSize(), m_cutout.width(), m_cutout.height());
    m_subjectRect = subjectBox().translated(m_foregroundRect.topLeft());
    rebuildHandles();
    m_cropRect = QCropGeometry::rectForCropMode(m_cropMode, canvasSize(), m_customCropSize, m_subjectRect);
    m_dirty = true;
}

void QImageCanvas::rebuildHandles()
{
    const QRect& r = m_subjectRect;
    const QPoint points[] = {{r.left(), r.top()},
                             {(r.left() + r.right()) / 2, r.top()},
                             {r.right(), r.top()},
                             {r.left(), (r.top() + r.bottom()) / 2},
                             {r.right(), (r.top() + r.bottom()) / 2},
                             {r.left(), r.bottom()},
                             {(r.left() + r.right()) / 2, r.bottom()},
                             {r.right(), r.bottom()}};
    m_handles.clear();
    for (int code = 0; code < 8; ++code)
        m_handles.insert(code, QRect(points[code] - QPoint(kHandleSize / 2, kHandleSize / 2),
                                     QSize(kHandleSize, kHandleSize)));
}

void QImageCanvas::applyCropSize(int code, bool commit, QSize customSize)
{
    if (code != m_cropMode || customSize != m_customCropSize) {
        m_cropMode = code;
        m_customCropSize = customSize;
        if (code == QCropTable::kWholePicture) {
            layout();
        } else {
            QRect box = subjectBox();
            QSize full = m_cutout.size();
            m_cropRect = code == QCropTable::kSubjectEdges
                             ? QCropGeometry::centred(canvasSize(), box.width(), box.height())
                             : QCropGeometry::rectForCropMode(code, canvasSize(), customSize, m_subjectRect);
            // A code without a frame (11) leaves the subject where it is.
            if (!m_cropRect.isEmpty() && !box.isEmpty()) {
                const float s = std::min(float(m_cropRect.width()) / float(box.width()),
                                         float(m_cropRect.height()) / float(box.height()));
                if (s < 1.0f) {
                    // The box of the shrunken cut-out is the shrunken box (to a pixel);
                    // computing it that way spares resampling the whole cut-out.
                    full = QSize(int(full.width() * s), int(full.height() * s));
                    box = QRect(int(box.x() * s), int(box.y() * s), int(box.width() * s),
                                int(box.height() * s));
                }
                const int x0 = m_cropRect.x() + (m_cropRect.width() - box.width()) / 2;
                const int y0 = m_cropRect.y() + (m_cropRect.height() - box.height()) / 2;
                m_subjectRect = QRect(x0, y0, box.width(), box.height());
                m_foregroundRect = QRect(QPoint(x0 - box.x(), y0 - box.y()), full);
                rebuildHandles();
            }
        }
    }
    if (commit) {
        m_cropApplied = true;
        m_showCropFrame = false;
    }
    m_dirty = true;
}

// `rect` is the subject's frame as the user dragged it. The subject keeps its
// proportions: it follows the frame's height when the drag was mostly vertical and
// its width otherwise, and stays at least kMinSubjectSide and at most the surface.
// An edge that the drag did not move stays where it was.
void QImageCanvas::setForegroundGeometry(int dragX, int dragY, QRect rect)
{
    const QRect box = subjectBox();
    if (box.isEmpty() || m_canvasWidth <= 0 || m_canvasHeight <= 0)
        return;
    const double wanted =
        dragX <= dragY ? double(rect.height()) / box.height() : double(rect.width()) / box.width();
    const double largest =
        std::min(double(m_canvasWidth) / box.width(), double(m_canvasHeight) / box.height());
    const double smallest =
        std::max(double(kMinSubjectSide) / box.width(), double(kMinSubjectSide) / box.height());
    const double f = std::min(std::max(wanted, smallest), largest);
    const int w = std::max(1, int(std::lround(box.width() * f)));
    const int h = std::max(1, int(std::lround(box.height() * f)));

    const bool keepRight = rect.left() != m_subjectRect.left() && rect.right() == m_subjectRect.right();
    const bool keepBottom = rect.top() != m_subjectRect.top() && rect.bottom() == m_subjectRect.bottom();
    int x = keepRight ? rect.right() + 1 - w : rect.left();
    int y = keepBottom ? rect.bottom() + 1 - h : rect.top();
    x = std::clamp(x, 0, m_canvasWidth - w);
    y = std::clamp(y, 0, m_canvasHeight - h);

    m_subjectRect = QRect(x, y, w, h);
    m_foregroundRect = QRect(x - int(std::lround(box.x() * f)), y - int(std::lround(box.y() * f)),
                             int(std::lround(m_cutout.width() * f)), int(std::lround(m_cutout.height() * f)));
    rebuildHandles();
    m_dirty = true;
}

void QImageCanvas::placeForeground(const QRect& foreground)
{
    const QRect box = subjectBox();
    if (foreground.isEmpty() || m_cutout.isNull())
        return;
    const double fx = double(foreground.width()) / m_cutout.width();
    const double fy = double(foreground.height()) / m_cutout.height();
    m_foregroundRect = foreground;
    m_subjectRect = QRect(foreground.x() + int(std::lround(box.x() * fx)),
                          foreground.y() + int(std::lround(box.y() * fy)), int(std::lround(box.width() * fx)),
                          int(std::lround(box.height() * fy)));
    rebuildHandles();
    m_dirty = true;
}

void QImageCanvas::setBackgroundColor(const QColor& color)
{
    const bool wasPicture = m_backgroundType == BackgroundPicture;
    m_backgroundColor = color;
    m_backgroundType = BackgroundColor;
    if (wasPicture) {
        m_plate = QImage();
        m_plateSize = m_sourceSize;
        layout();
    }
    m_dirty = true;
}

bool QImageCanvas::setBackgroundImage(const QString& path)
{
    m_backgroundType = BackgroundPicture;
    m_plate = QImageFiles::readImage(path).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    m_plateSize = m_plate.size();
    layout();
    return !m_plate.isNull();
}

void QImageCanvas::setCutout(const cv::Mat& cutout)
{
    m_cutout = toPremultiplied(cutout);
    m_loadedSubjectRect = QMaskOps::contentRect(cutout);
    m_dirty = true;
}

void QImageCanvas::setShowCropFrame(bool show)
{
    m_showCropFrame = show;
    m_dirty = true;
}

void QImageCanvas::setShowSubjectFrame(bool show)
{
    if (m_showSubjectFrame != show) {
        m_showSubjectFrame = show;
        m_dirty = true;
    }
}

void QImageCanvas::clearCropApplied()
{
    if (m_cropApplied) {
        m_cropApplied = false;
        m_dirty = true;
    }
}

void QImageCanvas::paintSurface(QPainter& painter, bool withFrames) const
{
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.setPen(Qt::NoPen);
    if (m_backgroundType == BackgroundColor)
        painter.fillRect(m_backgroundRect, m_backgroundColor);
    else if (m_backgroundType == BackgroundPicture && !m_plate.isNull())
        painter.drawImage(m_backgroundRect, m_plate);
    if (!m_cutout.isNull())
        painter.drawImage(m_foregroundRect, m_cutout);
    if (!withFrames)
        return;
    if (m_showSubjectFrame) {
        painter.setPen(QColor(0, 0, 0, 255));
        painter.setBrush(Qt::transparent);
        painter.drawRect(m_subjectRect);
        painter.setBrush(QColor(255, 255, 255, 255));
        for (const QRect& handle : m_handles)
            painter.drawRect(handle);
    }
    if (m_showCropFrame)
        paintCropOverlay(painter);
}

void QImageCanvas::paintCropOverlay(QPainter& painter) const
{
    const int L = m_cropRect.left(), T = m_cropRect.top(), W = m_cropRect.width(), H = m_cropRect.height(),
              R = m_cropRect.right(), B = m_cropRect.bottom();
    const int PW = m_canvasWidth, PH = m_canvasHeight;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(32, 32, 32, 120));
    const QRect shade[] = {
        {0, 0, L, T},      {L, 0, W, T},          {R + 1, 0, PW - R, T}, {0, T, L, H},
        {R, T, PW - R, H}, {0, B + 1, L, PH - B}, {L, B, W, PH - B},     {R + 1, B + 1, PW - R, PH - B}};
    for (const QRect& r : shade)
        painter.drawRect(r);
    painter.setPen(Qt::white);
    painter.setBrush(Qt::transparent);
    painter.drawRect(m_cropRect);
    painter.setBrush(Qt::white);
    const QRect marks[] = {{L - 2, T - 2, 20, 4},  {L - 2, T - 2, 4, 20}, {R - 18, T - 2, 20, 4},
                           {R - 2, T - 2, 4, 20},  {L - 2, B - 2, 20, 4}, {L - 2, B - 18, 4, 20},
                           {R - 18, B - 2, 20, 4}, {R - 2, B - 18, 4, 20}};
    for (const QRect& r : marks)
        painter.drawRect(r);
    painter.setPen(QPen(Qt::white, 1.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    const int w3 = W / 3, h3 = H / 3;
    for (int i = 1; i <= 2; ++i) {
        painter.drawLine(L + w3 * i, T, L + w3 * i, B);
        painter.drawLine(L, T + h3 * i, R, T + h3 * i);
    }
}

QPixmap QImageCanvas::composedPixmap(bool force)
{
    if (!m_dirty && !force)
        return m_composed;
    if (m_canvasWidth <= 0 || m_canvasHeight <= 0) {
        m_composed = QPixmap();
    } else {
        // Repainting into the same pixels (unless a view still holds them) spares
        // allocating and faulting in 96 MB on every change of a 24-megapixel photo.
        if (m_composed.size() != canvasSize())
            m_composed = QPixmap(canvasSize());
        m_composed.fill(Qt::transparent);
        QPainter painter(&m_composed);
        paintSurface(painter, true);
    }
    m_dirty = false;
    return m_composed;
}

QRect QImageCanvas::resultRect() const
{
    const QRect surface(QPoint(0, 0), canvasSize());
    return m_cropApplied && m_cropRect.isValid() ? m_cropRect & surface : surface;
}

// The same surface the view shows, cut to the same rectangle, so the file is
// what the user saw; only the frames stay out, and a JPG gets white where the
// view shows see-through.
QImage QImageCanvas::renderResult(bool jpg) const
{
    const QRect area = resultRect();
    if (area.isEmpty())
        return QImage();
    QImage result(area.size(), QImage::Format_ARGB32_Premultiplied);
    result.fill(jpg ? Qt::white : Qt::transparent);
    QPainter painter(&result);
    painter.translate(-area.topLeft());
    paintSurface(painter, false);
    return result;
}

cv::Mat QImageCanvas::exportImage(quint8 format, quint8 outputSize, QString* error) const
{
    const bool jpg = format == 1;
    // Painted premultiplied (the fast way) and turned straight in place: a second
    // 96 MB buffer would cost more in page faults than the conversion itself.
    QImage rendered = renderResult(jpg);
    rendered.convertTo(QImage::Format_ARGB32);
    if (!isLoaded() || rendered.isNull() || rendered.size().isEmpty()) {
        if (error)
            *error = tr("There is no picture to save yet.");
        return cv::Mat();
    }
    cv::Mat image = QImageConvert::imageToMat(rendered);
    QSize target = QCropGeometry::scaledOutputSize(rendered.size(), outputSize);
    int interpolation = target.width() < rendered.width() ? cv::INTER_AREA : cv::INTER_CUBIC;
    const QSize fixed = QCropGeometry::fixedCropSize(m_cropMode, m_customCropSize);
    // An ID photo is accepted only at its exact size, whatever the output size says.
    if ((outputSize == OutputOriginal || QCropTable::isIdPhoto(m_cropMode)) && m_cropApplied &&
        fixed.isValid()) {
        target = fixed;
        interpolation = cv::INTER_LINEAR;
    }
    try {
        if (target != rendered.size()) {
            cv::Mat resized;
            cv::resize(image, resized, cv::Size(target.width(), target.height()), 0, 0, interpolation);
            image = resized;
        }
        if (jpg) {
            cv::Mat opaque;
            cv::cvtColor(image, opaque, cv::COLOR_BGRA2BGR);
            image = opaque;
        }
    } catch (const cv::Exception&) {
        image.release(); // out of memory for the resized copy
    }
    if (image.empty() && error)
        *error = tr("The picture could not be encoded as %1.").arg(jpg ? "JPG" : "PNG");
    return image;
}

QImageCanvas::SaveJob QImageCanvas::prepareSave(quint8 format, quint8 outputSize,
                                                QSaveFileWriter::Kilobytes kilobytes, QString* error) const
{
    SaveJob job;
    job.image = exportImage(format, outputSize, error);
    job.options.format = format == 1 ? SaveFormat::Jpg : format == 2 ? SaveFormat::Webp : SaveFormat::Png;
    job.options.minKilobytes = kilobytes.min;
    job.options.maxKilobytes = kilobytes.max;
    if (isIdPhotoApplied() && !job.image.empty()) {
        // Saved at its exact size, so it prints at its millimetre size.
        job.options.dpi = QCropTable::kIdPhotoDpi;
        const QCropTable::IdRules* rules = QCropTable::idRules(m_cropMode);
        if (rules && rules->maxKilobytes > 0) {
            job.options.minKilobytes = rules->minKilobytes;
            job.options.maxKilobytes = rules->maxKilobytes;
        }
    }
    return job;
}

bool QImageCanvas::isIdPhotoApplied() const
{
    return m_cropApplied && QCropTable::isIdPhoto(m_cropMode) &&
           QCropGeometry::fixedCropSize(m_cropMode, m_customCropSize).isValid();
}

bool QImageCanvas::SaveJob::write(const QString& path, QSaveFileWriter::Result* result, QString* error) const
{
    if (image.empty())
        return false;
    if (sheet == QPrintSheet::NoSheet)
        return QSaveFileWriter::write(path, image, options, result, error);
    std::vector<cv::Mat> photos{image};
    if (sheetMate)
        photos.push_back(sheetMate());
    QVector<QSize> sizes;
    for (const cv::Mat& photo : photos)
        sizes << QSize(photo.cols, photo.rows);
    const QPrintSheet::Layout layout = QPrintSheet::layout(QPrintSheet::paperSize(sheet), sizes, sheetGap);
    for (int i = 0; i < sizes.size(); ++i) {
        if (!layout.photo.contains(i)) {
            if (error)
                *error = i == 0 ? tr("The photo is larger than the sheet chosen for printing.")
                                : tr("The second size does not fit on the sheet beside the photo.");
            return false;
        }
    }
    return QSaveFileWriter::write(path, QPrintSheet::render(layout, photos), options, result, error);
}

bool QImageCanvas::save(const QString& path, quint8 format, quint8 outputSize,
                        QSaveFileWriter::Kilobytes kilobytes, QString* error,
                        QSaveFileWriter::Result* result) const
{
    return prepareSave(format, outputSize, kilobytes, error).write(path, result, error);
}
