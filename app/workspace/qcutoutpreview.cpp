#include "qcutoutpreview.h"

#include "qimagehelp.h"
#include "qtaskmanager.h"
#include "qworkpool.h"
#include "uexception.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QPointer>

#include <opencv2/imgproc.hpp>

namespace {
// Longest side kept for showing; the screen never needs more and a 24-megapixel
// cut-out would otherwise be converted and scaled on every resize.
constexpr int kPreviewSide = 2048;
constexpr int kCheckerCell = 8;

cv::Mat resizedPremultiplied(const cv::Mat& bgra, const cv::Size& size)
{
    std::vector<cv::Mat> channels;
    cv::split(bgra, channels);
    const cv::Mat alpha = channels[3];
    for (int c = 0; c < 3; ++c)
        cv::multiply(channels[c], alpha, channels[c], 1.0 / 255.0);
    cv::Mat premultiplied;
    cv::merge(channels, premultiplied);
    const bool shrinking = size.width < bgra.cols;
    cv::Mat out;
    cv::resize(premultiplied, out, size, 0, 0, shrinking ? cv::INTER_AREA : cv::INTER_CUBIC);
    cv::split(out, channels);
    for (int c = 0; c < 3; ++c)
        cv::divide(channels[c], channels[3], channels[c], 255.0);
    cv::merge(channels, out);
    return out;
}
} // namespace

QCutoutPreview::QCutoutPreview(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("cutoutPreview"));
    setMinimumSize(200, 200);
}

void QCutoutPreview::setTask(const QString& taskId)
{
    currentTaskId = taskId;
    preview = QImage();
    const auto task = QTaskManager::getTask(taskId);
    if (task && !task->cutout().empty()) {
        cv::Mat cutout = task->cutout();
        const int side = std::max(cutout.cols, cutout.rows);
        if (side > kPreviewSide) {
            const double s = double(kPreviewSide) / side;
            cv::resize(cutout, cutout, cv::Size(), s, s, cv::INTER_AREA);
        }
        preview = QImageHelp::matToImage(cutout);
    }
    resizeEvent(nullptr);
    update();
}

QRect QCutoutPreview::pictureArea() const
{
    return rect().adjusted(1, 1, -1, -1 - BarHeight);
}

void QCutoutPreview::resizeEvent(QResizeEvent*)
{
    scaledPreview = preview.isNull()
                        ? QPixmap()
                        : QPixmap::fromImage(preview.scaled(pictureArea().size(), Qt::KeepAspectRatio,
                                                            Qt::SmoothTransformation));
}

void QCutoutPreview::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0xF5, 0xF5, 0xF5));
    const QRect area = pictureArea();
    painter.fillRect(area, Qt::white);
    painter.setPen(QColor(0xE1, 0xE1, 0xE1));
    painter.drawRect(area.adjusted(-1, -1, 0, 0));
    if (scaledPreview.isNull())
        return;
    QRect target(QPoint(), scaledPreview.size());
    target.moveCenter(area.center());
    // The checkerboard marks what is transparent in the saved file.
    painter.setClipRect(target);
    for (int y = target.top(); y <= target.bottom(); y += kCheckerCell)
        for (int x = target.left(); x <= target.right(); x += kCheckerCell) {
            const bool dark = ((x - target.left()) / kCheckerCell + (y - target.top()) / kCheckerCell) % 2;
            painter.fillRect(x, y, kCheckerCell, kCheckerCell, dark ? QColor(0xE6, 0xE6, 0xE6) : Qt::white);
        }
    painter.setClipping(false);
    painter.drawPixmap(target, scaledPreview);
}

QString QCutoutPreview::outputFilePath(const QString& folder, const QString& photoPath, qint64 stamp,
                                       const QString& ext)
{
    const QString base = QFileInfo(photoPath).baseName();
    QString path;
    do {
        path = QStringLiteral("%1/%2_%3.%4").arg(QDir::cleanPath(folder), base).arg(stamp++).arg(ext);
    } while (QFileInfo::exists(path));
    return path;
}

cv::Mat QCutoutPreview::scaledForOutput(const cv::Mat& bgra, int outputSize)
{
    if (bgra.empty() || outputSize < 0 || outputSize > 2)
        return bgra;
    const bool byHeight = outputSize == 0;
    const int target = outputSize == 0 ? 1080 : outputSize == 1 ? 2000 : 4000;
    const double s = double(target) / (byHeight ? bgra.rows : bgra.cols);
    const cv::Size size = byHeight ? cv::Size(std::max(1, int(bgra.cols * s)), target)
                                   : cv::Size(target, std::max(1, int(bgra.rows * s)));
    if (size == bgra.size())
        return bgra;
    return bgra.channels() == 4 ? resizedPremultiplied(bgra, size) : [&] {
        cv::Mat out;
        cv::resize(bgra, out, size, 0, 0, cv::INTER_AREA);
        return out;
    }();
}

QString QCutoutPreview::writeCutout(const cv::Mat& bgra, const QString& folder, const QString& photoPath,
                                    qint64 stamp, int outputSize)
{
    U_CHECK(!bgra.empty(), tr("There is no cut-out to save yet."));
    U_CHECK(QDir().mkpath(folder),
            tr("The output folder \"%1\" cannot be created. Choose another output folder.").arg(folder));
    QByteArray bytes;
    U_CHECK(QImageHelp::encodeImage(scaledForOutput(bgra, outputSize), ".png", {}, &bytes),
            tr("The picture could not be encoded as PNG."));
    const QString path = outputFilePath(folder, photoPath, stamp, QStringLiteral("png"));
    QString error;
    U_CHECK(QImageHelp::writeFileAtomically(path, bytes, &error),
            tr("The picture could not be saved to \"%1\": %2").arg(path, error));
    return path;
}

void QCutoutPreview::save(const QString& folder, int outputSize)
{
    const auto task = QTaskManager::getTask(currentTaskId);
    if (!task) {
        emit signal_save_failed(tr("There is no cut-out to save yet."));
        return;
    }
    const qint64 stamp = QDateTime::currentSecsSinceEpoch();
    QPointer<QCutoutPreview> self(this);
    QWorkPool::instance()->post([self, task, folder, outputSize, stamp] {
        QString path;
        QString error;
        try {
            path = writeCutout(task->cutout(), folder, task->filePath(), stamp, outputSize);
        } catch (const UException& e) {
            error = QString::fromStdWString(e.message());
        }
        // Back on the GUI thread, where the view may have gone meanwhile.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, path, error] {
                if (!self)
                    return;
                if (error.isEmpty())
                    emit self->signal_saved(path);
                else
                    emit self->signal_save_failed(error);
            },
            Qt::QueuedConnection);
    });
}
