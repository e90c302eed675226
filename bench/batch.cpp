// A whole batch as the user runs it: photos (the last one a corrupt file) matted
// by the local service (key engine), a common background colour and then picture
// and an ID size, one tile corrected by brush, then "Save all". Reports the peak resident memory of the
// program, the longest stall of the GUI event loop in each phase, the wall time
// beside the sum of the single-photo times, and how many saved files decode.
//
// BRISEL_BATCH_PHOTOS sets the number of photos (default 30) and
// BRISEL_BATCH_SIDE the width of each (default 4000, i.e. 12 megapixels at 4:3).

#include "csetting.h"
#include "qbatchcutwidget.h"
#include "qbatchmattingwidget.h"
#include "qimagecutoutwidget.h"
#include "qimagetask.h"
#include "qmsgbox.h"
#include "qpreviewitem.h"
#include "qtaskmanager.h"
#include "qworkpool.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <memory>

#include <time.h>

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

// A subject (textured disc) on a flat background, as the key engine expects; the
// last of `count` files is a JPEG cut off after its first kilobytes.
QStringList makePhotos(const QString& folder, int count, int width)
{
    QStringList paths;
    const int height = width * 3 / 4;
    for (int i = 0; i + 1 < count; ++i) {
        cv::Mat photo(height, width, CV_8UC3, cv::Scalar(235, 235, 235));
        cv::circle(photo, {width / 2, height / 2}, height / 3, cv::Scalar(40, 40 + i * 5 % 200, 200),
                   cv::FILLED);
        const QString path = QString("%1/photo_%2.jpg").arg(folder).arg(i);
        cv::imwrite(path.toStdString(), photo, {cv::IMWRITE_JPEG_QUALITY, 90});
        paths << path;
    }
    QFile whole(paths.first());
    QFile corrupt(QString("%1/photo_corrupt.jpg").arg(folder));
    if (whole.open(QIODevice::ReadOnly) && corrupt.open(QIODevice::WriteOnly))
        corrupt.write(whole.read(4096));
    paths << corrupt.fileName();
    return paths;
}

// Saved results that decode as images.
int decodableFiles(const QString& folder)
{
    int count = 0;
    for (const QFileInfo& file : QDir(folder).entryInfoList({"*.png", "*.jpg"}, QDir::Files))
        count += cv::imread(file.filePath().toStdString(), cv::IMREAD_UNCHANGED).empty() ? 0 : 1;
    return count;
}

// One keep stroke across the middle of the brush view, as mouse events.
void brushStroke(QWidget* view)
{
    const int y = view->height() / 2;
    const auto send = [view](QEvent::Type type, int x, int y, Qt::MouseButton button,
                             Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPoint(x, y), view->mapToGlobal(QPoint(x, y)), button, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(view, &event);
    };
    send(QEvent::MouseButtonPress, view->width() / 3, y, Qt::LeftButton, Qt::LeftButton);
    for (int x = view->width() / 3; x <= 2 * view->width() / 3; x += 10)
        send(QEvent::MouseMove, x, y, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, 2 * view->width() / 3, y, Qt::LeftButton, Qt::NoButton);
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

// CPU time the calling thread has used, in milliseconds.
double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// The longest gaps between two ticks of a 5 ms timer: how long the GUI thread was
// unable to react (wall) and, of the gap in which it worked most, how much of it
// was its own work (CPU) rather than waiting for a core on a busy machine.
struct Stalls
{
    qint64 wallMs = 0;
    double busyMs = 0;
};

// Runs the event loop until `done`, recording the stalls.
qint64 runUntil(const std::function<bool()>& done, Stalls* stalls)
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    double lastCpu = threadCpuMs();
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        const double cpu = threadCpuMs();
        stalls->wallMs = std::max(stalls->wallMs, now - last);
        stalls->busyMs = std::max(stalls->busyMs, cpu - lastCpu);
        last = now;
        lastCpu = cpu;
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
    const QString backdrop = work.path() + "/backdrop.jpg";
    {
        const int width = envInt("BRISEL_BATCH_SIDE", 4000);
        cv::Mat picture(width * 3 / 4, width, CV_8UC3, cv::Scalar(180, 120, 60));
        cv::imwrite(backdrop.toStdString(), picture);
    }
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

    // The end-of-run note about the skipped corrupt photo would wait for a click.
    QStringList messages;
    QMsgBox::setTestHook([&messages](QMsgBox::Kind, const QString& text) {
        messages << text;
        return 1;
    });

    // One photo alone first: the reference for the sum of single-photo times.
    qint64 singleMs = 0;
    {
        QElapsedTimer single;
        single.start();
        QImageTask task(0, photos.first());
        task.run();
        singleMs = single.elapsed();
        QFile::remove(QImageTask::cacheFilePath(photos.first()));
    }

    for (auto _ : state) {
        Stalls matting;
        Stalls editing;
        Stalls saving;
        QBatchMattingWidget widget;
        widget.resize(1100, 700);
        widget.show();
        QElapsedTimer start;
        start.start();
        widget.startBatch(0, photos);
        const qint64 startMs = start.elapsed();
        const auto allSettled = [&] {
            for (QPreviewItem* item : widget.items())
                if (!item->isReady() && !item->isFailed())
                    return false;
            return true;
        };
        qint64 wallMs = startMs + runUntil(allSettled, &matting);
        qInfo("matting done after %lld ms", wallMs);
        int failed = 0;
        for (QPreviewItem* item : widget.items())
            failed += item->isFailed() ? 1 : 0;
        emit widget.signal_change_color(QColor(255, 0, 0));
        // Then a picture as large as the photos: the heavier common background.
        emit widget.signal_change_image(backdrop);
        widget.onMenuClicked(20, "295x413px >");

        // One tile corrected by brush: its full cut-out is read back for the editor.
        QPreviewItem* edited = widget.items().first();
        QBatchCutWidget* editor = widget.editor();
        bool strokeDone = false;
        QObject::connect(edited, &QPreviewItem::signal_edit_finished, [&] { strokeDone = true; });
        widget.onItemEditBegin(edited, edited->taskId());
        wallMs += runUntil(
            [&] { return editor->view() && editor->view()->isReady() && editor->view()->isVisible(); },
            &editing);
        qInfo("editor ready");
        brushStroke(editor->view());
        widget.onBtnComplete(); // "OK" hands the stroke to the tile
        wallMs += runUntil([&] { return strokeDone && !edited->isBusy(); }, &editing);
        qInfo("stroke merged");

        bool saved = false;
        QObject::connect(&widget, &QBatchMattingWidget::signal_save_all_finished, [&] { saved = true; });
        QTimer::singleShot(0, [] {
            if (QWidget* dialog = QApplication::activeModalWidget())
                dialog->findChild<QPushButton*>("btnApply")->click();
        });
        widget.onBtnSaveAll();
        wallMs += runUntil([&] { return saved; }, &saving);
        state.counters["photos"] = count;
        state.counters["failed_tiles"] = failed;
        state.counters["files_decoded"] = decodableFiles(work.path() + "/out");
        state.counters["wall_ms"] = double(wallMs);
        state.counters["single_sum_ms"] = double(singleMs * (count - 1));
        state.counters["gui_stall_start_ms"] = double(startMs);
        for (const auto& [name, stalls] :
             {std::pair<const char*, Stalls>{"matting", matting}, {"editing", editing}, {"saving", saving}}) {
            state.counters[std::string("gui_stall_") + name + "_ms"] = double(stalls.wallMs);
            state.counters[std::string("gui_busy_") + name + "_ms"] = stalls.busyMs;
        }
        state.counters["peak_rss_mb"] = peakResidentKb() / 1024.0;
        QTaskManager::clear();
    }
    QMsgBox::setTestHook(nullptr);
    for (const QString& text : messages)
        qInfo("message: %s", qPrintable(text));
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
