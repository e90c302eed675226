// A cut-out served from the cache: QImageTask::run() on a 12 MP cut-out that is
// already cached, beside decoding the same PNG bytes alone in the same run. The
// cache hit adds the key (file metadata, a hash of 128 KB of the photo), the
// photo's header, reading the file and the signal, so it should stay within 1.2x
// of the bare decode. Wall-clock milliseconds per run.
//
// And the cache's cap: 200 photos' cut-outs stored into a folder capped at 50 of
// them; the largest the folder ever grew, as a share of the cap, must stay <= 1.

#include "qcutoutcache.h"
#include "qimagefiles.h"
#include "qimagetask.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <memory>

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// What the service sends for a 12 MP portrait: a textured subject, soft edges, the
// rest fully transparent, fast PNG compression.
const QByteArray& cutoutPng()
{
    static const QByteArray bytes = [] {
        cv::Mat colour(kHeight, kWidth, CV_8UC3);
        cv::randu(colour, cv::Scalar::all(0), cv::Scalar::all(255));
        cv::GaussianBlur(colour, colour, cv::Size(7, 7), 0);
        cv::Mat alpha(kHeight, kWidth, CV_8UC1, cv::Scalar(0));
        cv::ellipse(alpha, cv::Point(kWidth / 2, kHeight / 2), cv::Size(1300, 1400), 0, 0, 360,
                    cv::Scalar(255), cv::FILLED);
        cv::GaussianBlur(alpha, alpha, cv::Size(31, 31), 0);
        cv::Mat cutout;
        cv::cvtColor(colour, cutout, cv::COLOR_BGR2BGRA);
        cv::insertChannel(alpha, cutout, 3);
        cutout.setTo(cv::Scalar::all(0), alpha == 0);
        QByteArray png;
        QImageFiles::encode(cutout, ".png", {cv::IMWRITE_PNG_COMPRESSION, 1}, &png);
        return png;
    }();
    return bytes;
}

QString g_photo;

void BM_DecodeImageBytes(benchmark::State& state)
{
    const QByteArray& png = cutoutPng();
    for (auto _ : state) {
        const cv::Mat image = QImageFiles::decode(png);
        if (image.cols != kWidth)
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(image.data);
    }
    state.counters["MB"] = double(png.size()) / (1024 * 1024);
}
BENCHMARK(BM_DecodeImageBytes)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(12);

void BM_CacheHitRun(benchmark::State& state)
{
    for (auto _ : state) {
        QImageTask task(Person, g_photo);
        bool ok = false;
        QObject::connect(&task, &QImageTask::signal_success, [&ok] { ok = true; });
        task.run();
        if (!ok || task.sourceSize() != QSize(kWidth, kHeight))
            state.SkipWithError("not served from the cache");
    }
}
BENCHMARK(BM_CacheHitRun)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(12);

void BM_StoreWithEviction(benchmark::State& state)
{
    constexpr int kPhotos = 200;
    // A small cut-out each: the folder's bookkeeping is measured, not the disk.
    cv::Mat small(300, 400, CV_8UC4);
    cv::randu(small, cv::Scalar::all(0), cv::Scalar::all(255));
    QByteArray png;
    QImageFiles::encode(small, ".png", {cv::IMWRITE_PNG_COMPRESSION, 1}, &png);
    QTemporaryDir folder;
    const QCutoutCache cache(folder.path(), 50 * qint64(png.size()));
    qint64 largest = 0;
    int stored = 0;
    for (auto _ : state) {
        QString error;
        for (int i = 0; i < kPhotos; ++i) {
            if (!cache.store(cache.folder() + QStringLiteral("/%1-%2.png").arg(stored).arg(i), png, &error))
                state.SkipWithError(qPrintable(error));
            largest = qMax(largest, cache.usedBytes());
        }
        ++stored;
    }
    if (largest > cache.capBytes())
        state.SkipWithError("the folder outgrew its cap");
    state.counters["largest/cap"] = double(largest) / double(cache.capBytes());
    state.counters["photos"] = kPhotos;
}
BENCHMARK(BM_StoreWithEviction)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    // A private data folder, so the cache entry made here never mixes with the
    // user's own, and no service is configured: a cache miss fails loudly.
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
    QCoreApplication app(argc, argv);

    // The cache entry is named after the photo's size, time and content, and must
    // match its pixel size: the photo first, as large as the cut-out.
    g_photo = home.filePath("portrait.jpg");
    QByteArray jpeg;
    QFile photo(g_photo);
    if (!QImageFiles::encode(cv::Mat(kHeight, kWidth, CV_8UC3, cv::Scalar::all(128)), ".jpg", {}, &jpeg) ||
        !photo.open(QIODevice::WriteOnly) || photo.write(jpeg) != jpeg.size())
        return 1;
    photo.close();
    const QString entry = QImageTask::cacheFilePath(g_photo);
    QFile cached(entry);
    if (!QDir().mkpath(QFileInfo(entry).path()) || !cached.open(QIODevice::WriteOnly) ||
        cached.write(cutoutPng()) != cutoutPng().size())
        return 1;
    cached.close();

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
