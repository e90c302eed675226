// A whole batch as the user runs it: photos matted by the local service (key
// engine), a common background and crop size, then "Save all". Reports the peak
// resident memory of the program, the longest stall of the GUI event loop and the
// wall time beside the sum of the single-photo times.
//
// BRISEL_BATCH_PHOTOS sets the number of photos (default 30) and
// BRISEL_BATCH_SIDE the width of each (default 4000, i.e. 12 megapixels at 4:3).

#include "csetting.h"
#include "qbatchmattingwidget.h"
#include "qimagetask.h"
#include "qpreviewitem.h"
#include "qtaskmanager.h"
#include "qworkpool.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <memory>

namespace {

long peakResidentKb()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

int envInt(const char* name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 ? value : fallback;
}

// A subject (textured disc) on a flat background, as the key engine expects.
QStringList makePhotos(const QString& folder, int count, int width)
{
    QStringList paths;
    const int height = width * 3 / 4;
    for (int i = 0; i < count; ++i) {
        cv::Mat photo(height, width, CV_8UC3, cv::Scalar(235, 235, 235));
        cv::circle(photo, {width / 2, height / 2}, height / 3, cv::Scalar(40, 40 + i * 5 % 200, 200), cv::FILLED);
        const QString path = QString("%1/photo_%2.jpg").arg(folder).arg(i);
        cv::imwrite(path.toStdString(), photo, {cv::IMWRITE_JPEG_QUALITY, 90});
        paths << path;
    }
    return paths;
}

// The service program beside this benchmark, on a free port; empty url on failure.
QString startService(QProcess& process)
{
    process.start(QCoreApplication::applicationDirPath() + "/brisel-matting-service",
                  {"--engine", "key", "--listen", "127.0.0.1", "--port", "0", "--log-level", "warning"});
    QByteArray output;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 20000 && process.state() != QProcess::NotRunning) {
        process.waitForReadyRead(200);
        output += process.readAllStandardOutput();
        const int at = output.indexOf("listening on ");
        const int end = output.indexOf('\n', at);
        if (at >= 0 && end > at)
            return QString::fromUtf8(output.mid(at + 13, end - at - 13)).trimmed();
    }
    return {};
}

// Runs the event loop until `done`, recording the longest gap between two ticks
// of a 5 ms timer: how long the GUI thread was unable to react.
qint64 runUntil(const std::function<bool()>& done, qint64* longestGapMs)
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        *longestGapMs = std::max(*longestGapMs, now - last);
        last = now;
    });
    tick.start(5);
    while (!done() && clock.elapsed() < 30 * 60 * 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return clock.elapsed();
}

void BM_BatchFromAddToSaveAll(benchmark::State& state)
{
    QTemporaryDir work;
    const int count = envInt("BRISEL_BATCH_PHOTOS", 30);
    const QStringList photos = makePhotos(work.path(), count, envInt("BRISEL_BATCH_SIDE", 4000));
    QProcess service;
    const QString url = startService(service);
    if (url.isEmpty()) {
        state.SkipWithError("brisel-matting-service did not start");
        return;
    }
    CSetting::setValue("service", "url", url);
    CSetting::setValue("output", "path", work.path() + "/out");
    CSetting::setValue("output", "format", 0);
    QDir().mkpath(work.path() + "/out");

    // One photo alone first: the reference for the sum of single-photo times.
    qint64 singleMs = 0;
    {
        QElapsedTimer single;
        single.start();
        QImageTask task(1, photos.first());
        task.run();
        singleMs = single.elapsed();
        QFile::remove(QImageTask::cacheFilePath(photos.first()));
    }

    for (auto _ : state) {
        qint64 gapMs = 0;
        qint64 saveGapMs = 0;
        QBatchMattingWidget widget;
        widget.show();
        widget.startBatch(1, photos);
        const auto allReady = [&] {
            for (QPreviewItem* item : widget.items())
                if (!item->isReady() && !item->isFailed())
                    return false;
            return true;
        };
        qint64 wallMs = runUntil(allReady, &gapMs);
        emit widget.signal_change_color(QColor(255, 0, 0));
        emit widget.signal_apply_crop_size(16, true, QSize(0, 0));
        bool saved = false;
        QObject::connect(&widget, &QBatchMattingWidget::signal_save_all_finished, [&] { saved = true; });
        QTimer::singleShot(0, [] {
            if (QWidget* dialog = QApplication::activeModalWidget())
                dialog->findChild<QPushButton*>("btnApply")->click();
        });
        widget.onBtnSaveAll();
        wallMs += runUntil([&] { return saved; }, &saveGapMs);
        state.counters["photos"] = count;
        state.counters["wall_ms"] = double(wallMs);
        state.counters["single_sum_ms"] = double(singleMs * count);
        state.counters["gui_stall_matting_ms"] = double(gapMs);
        state.counters["gui_stall_saving_ms"] = double(saveGapMs);
        state.counters["peak_rss_mb"] = peakResidentKb() / 1024.0;
        QTaskManager::clear();
    }
    service.terminate();
    service.waitForFinished(5000);
}
BENCHMARK(BM_BatchFromAddToSaveAll)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Settings and the result cache go to a throw-away home, never the user's.
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8());
    qputenv("XDG_CACHE_HOME", (home.path() + "/.cache").toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + "/.local/share").toUtf8());
    QApplication app(argc, argv);
    QWorkPool::instance()->start(3);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    QWorkPool::instance()->stop();
    return 0;
}
