// A cut-out served from the cache: QImageTask::run() on a 12 MP cut-out that is
// already cached, beside decoding the same PNG bytes alone in the same run. The
// cache hit adds the key (file metadata, MD5), reading the file and the signal, so
// it should stay within 1.2x of the bare decode. Wall-clock milliseconds per run.

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

} // namespace

int main(int argc, char** argv)
{
    // A private data folder, so the cache entry made here never mixes with the
    // user's own, and no service is configured: a cache miss fails loudly.
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
    QCoreApplication app(argc, argv);

    // The cache entry is named after the photo's size and time, so the photo first.
    g_photo = home.filePath("portrait.jpg");
    QFile photo(g_photo);
    if (!photo.open(QIODevice::WriteOnly) || photo.write("a photo") < 0)
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
