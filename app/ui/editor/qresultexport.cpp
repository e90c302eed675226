#include "qresultexport.h"

#include "guihandover.h"
#include "qimagecanvas.h"
#include "qimageconvert.h"
#include "qimagefiles.h"
#include "quserhelp.h"
#include "qworkpool.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>

#include <memory>

namespace {
constexpr qint64 kKeepSeconds = 24 * 3600;

QString writeFile(const QByteArray& png)
{
    const QString folder = QResultExport::folder();
    const QDateTime now = QDateTime::currentDateTime();
    for (const QFileInfo& old : QDir(folder).entryInfoList({QStringLiteral("*.png")}, QDir::Files))
        if (old.lastModified().secsTo(now) > kKeepSeconds)
            QFile::remove(old.filePath());
    // The receiver sees the name; a readable time keeps several apart.
    const QString path = folder + now.toString(QStringLiteral("'brisel_'yyyy-MM-dd_HH-mm-ss-zzz'.png'"));
    return QDir().mkpath(folder) && QImageFiles::writeAtomically(path, png) ? path : QString();
}
} // namespace

bool QResultExport::start(const QImageCanvas* canvas, QObject* guard, bool withFile, Done done)
{
    const cv::Mat rendered =
        canvas && canvas->isLoaded() ? canvas->exportImage(0, QImageCanvas::OutputOriginal) : cv::Mat();
    if (rendered.empty() || rendered.type() != CV_8UC4)
        return false;
    // Wraps the matrix, which the copy keeps alive until the job converts it.
    auto* keep = new cv::Mat(rendered);
    const QImage image(
        keep->data, keep->cols, keep->rows, int(keep->step), QImage::Format_ARGB32,
        [](void* mat) { delete static_cast<cv::Mat*>(mat); }, keep);
    start(image, guard, withFile, std::move(done));
    return true;
}

void QResultExport::start(const QImage& image, QObject* guard, bool withFile, Done done)
{
    QPointer<QObject> alive(guard);
    QWorkPool::instance()->post([image, alive, withFile, done = std::move(done)] {
        auto result = std::make_shared<Result>();
        result->image = image.convertToFormat(QImage::Format_ARGB32);
        QImageFiles::encode(QImageConvert::imageToMat(result->image), ".png", {}, &result->png);
        if (withFile && !result->png.isEmpty())
            result->file = writeFile(result->png);
        runOnGui(alive, [result, done] { done(*result); });
    });
}

QString QResultExport::folder()
{
    return QUserHelp::cacheFolder() + QStringLiteral("exports/");
}
