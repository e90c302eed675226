#pragma once
// Pictures for the editor suites: encoded bytes, a cut-out with a known subject,
// and a photo whose cut-out already sits in the task cache, so its task finishes
// without a service. Header-only; the cache helper needs brisel_core.

#include "qimagetask.h"
#include "qtaskmanager.h"
#include "testutils.h"

#include <QByteArray>
#include <QObject>
#include <QSize>
#include <QTest>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <memory>
#include <vector>

namespace imagefixtures {

inline QByteArray encoded(const cv::Mat& mat, const char* ext, const std::vector<int>& params = {})
{
    std::vector<uchar> buffer;
    cv::imencode(ext, mat, buffer, params);
    return QByteArray(reinterpret_cast<const char*>(buffer.data()), int(buffer.size()));
}

// The subject of the pictures below: a red disc (BGR 40, 40, 220) in the middle,
// its radius 0.35 of the shorter side.
inline void paintDisc(cv::Mat& m, const cv::Scalar& colour)
{
    cv::circle(m, cv::Point(m.cols / 2, m.rows / 2), qRound(0.35 * qMin(m.cols, m.rows)), colour, cv::FILLED);
}

// The disc on nothing: what the service sends for the photo below.
inline cv::Mat discCutout(QSize size)
{
    cv::Mat cutout(size.height(), size.width(), CV_8UC4, cv::Scalar(0, 0, 0, 0));
    paintDisc(cutout, cv::Scalar(40, 40, 220, 255));
    return cutout;
}

// Writes the disc on grey, `size` large, as <sandbox>/photos/<name>, puts
// discCutout() into the task cache for it and runs its Person task through the
// registry. The task's identifier, or an empty string when any step failed.
inline QString cachedTask(const QString& name, QSize size, int waitMs = 20000)
{
    const QString photo = testutils::sandboxPath() + "/photos/" + name;
    cv::Mat picture(size.height(), size.width(), CV_8UC3, cv::Scalar::all(200));
    paintDisc(picture, cv::Scalar(40, 40, 220));
    if (!testutils::writeFile(photo, encoded(picture, ".jpg")) ||
        !testutils::writeFile(QImageTask::cacheFilePath(photo), encoded(discCutout(size), ".png")))
        return QString();
    auto task = std::make_shared<QImageTask>(Person, photo);
    // The task signals from a pool thread. A QSignalSpy would append there while
    // this thread reads it (and once crashed doing so): queue it here instead.
    QObject receiver;
    bool done = false;
    QObject::connect(
        task.get(), &QImageTask::signal_success, &receiver, [&done] { done = true; }, Qt::QueuedConnection);
    QTaskManager::addTask(task);
    if (!QTest::qWaitFor([&done] { return done; }, waitMs))
        return QString();
    return task->id();
}

} // namespace imagefixtures
