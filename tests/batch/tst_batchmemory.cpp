// A batch keeps only preview-size pictures: tasks drop their full-resolution
// cut-outs and read them back from the cache when a tile is edited or saved.
// Against the real service (key engine).

#include "batchfixtures.h"
#include "csetting.h"
#include "mattingfixtures.h"
#include "qbatchcutwidget.h"
#include "qbatchmattingwidget.h"
#include "qimagecutoutwidget.h"
#include "qimagefiles.h"
#include "qimagetask.h"
#include "qmsgbox.h"
#include "qpreviewitem.h"
#include "qtaskmanager.h"
#include "qworkpool.h"
#include "testutils.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QStackedWidget>

#include <opencv2/imgcodecs.hpp>

#include <atomic>

namespace {
constexpr int kTimeoutMs = batchtest::kMattingTimeoutMs;
} // namespace

class TestBatchMemory : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void releasedCutoutReadsBack_data();
    void releasedCutoutReadsBack();
    void releaseMeetsReaders();
    void previewReplacesCutout_data();
    void previewReplacesCutout();
    void backgroundPictureAtPreviewScale_data();
    void backgroundPictureAtPreviewScale();
    void releasedTileEditsAndSaves_data();
    void releasedTileEditsAndSaves();

private:
    mattingtest::RealService service;
    batchtest::UrlSink urls;
    QStringList messages;
};

void TestBatchMemory::initTestCase()
{
    QString error;
    QVERIFY2(service.start(false, &error), qPrintable(error));
    QWorkPool::instance()->start(3);
    QMsgBox::setTestHook([this](QMsgBox::Kind, const QString& text) {
        messages << text;
        return 1;
    });
}

void TestBatchMemory::init()
{
    mattingtest::useService(service.url());
    messages.clear();
}

void TestBatchMemory::cleanup()
{
    QTaskManager::clear();
}

void TestBatchMemory::releasedCutoutReadsBack_data()
{
    QTest::addColumn<QString>("cache"); // what happens to the entry after the run
    QTest::addColumn<bool>("released");
    QTest::addColumn<bool>("readable");
    QTest::newRow("kept") << "release not asked" << false << true;
    QTest::newRow("released") << "intact" << true << true;
    QTest::newRow("entry deleted") << "deleted" << true << false;
    QTest::newRow("entry cut short") << "truncated" << true << false;
    QTest::newRow("entry of another size") << "resized" << true << false;
    QTest::newRow("cache not writable") << "unwritable" << false << true;
}

void TestBatchMemory::releasedCutoutReadsBack()
{
    QFETCH(QString, cache);
    QFETCH(bool, released);
    QFETCH(bool, readable);
    const QString photo = mattingtest::makePhoto(
        QString("release_%1.png").arg(QTest::currentDataTag()).replace(' ', '_'), 240, 180);
    const QString entry = QImageTask::cacheFilePath(photo);
    const QString folder = QFileInfo(entry).path();
    if (cache == "unwritable") {
        QDir(folder).removeRecursively();
        QVERIFY(testutils::writeFile(folder, "a file where the folder should be"));
    }
    QImageTask task(1, photo);
    const QString runError = mattingtest::runTask(task);
    if (cache == "unwritable")
        QVERIFY(QFile::remove(folder));
    QCOMPARE(runError, QString());
    const cv::Mat original = task.cutout().clone();
    QCOMPARE(original.size(), cv::Size(240, 180));

    if (cache != "release not asked")
        QCOMPARE(task.releaseCutout(), released);
    QCOMPARE(task.isCutoutReleased(), released);
    QCOMPARE(task.cutout().empty(), released);
    QCOMPARE(task.sourceSize(), QSize(240, 180)); // the tile still lays out without it

    if (cache == "deleted") {
        QVERIFY(QFile::remove(entry));
    } else if (cache == "truncated") {
        QFile file(entry);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.resize(file.size() / 2));
    } else if (cache == "resized") {
        QByteArray png;
        QVERIFY(QImageFiles::encode(testutils::solidBgra(20, 10, {0, 0, 255, 255}), ".png", {}, &png));
        QVERIFY(testutils::writeFile(entry, png));
    }

    QString error;
    const cv::Mat again = task.loadCutout(&error);
    if (readable) {
        QCOMPARE(error, QString());
        QCOMPARE(testutils::maxPixelDifference(again, original), 0);
        // A decode is handed out, not kept: the task stays light.
        QCOMPARE(task.cutout().empty(), released);
    } else {
        QVERIFY(again.empty());
        QVERIFY2(error.contains(QFileInfo(photo).fileName()), qPrintable(error));
    }
}

// Pool jobs read the cut-out while the GUI thread releases it: every reader gets
// the whole picture, either the kept one or its decode.
void TestBatchMemory::releaseMeetsReaders()
{
    QImageTask task(1, mattingtest::makePhoto("release_readers.png", 200, 150));
    QCOMPARE(mattingtest::runTask(task), QString());
    const cv::Mat original = task.cutout().clone();
    constexpr int kReaders = 12;
    std::atomic<int> whole{0};
    std::atomic<int> done{0};
    for (int i = 0; i < kReaders; ++i) {
        QWorkPool::instance()->post([&] {
            const cv::Mat seen = task.loadCutout();
            if (testutils::maxPixelDifference(seen, original) == 0)
                ++whole;
            ++done;
        });
        if (i == kReaders / 2)
            QVERIFY(task.releaseCutout());
    }
    QTRY_COMPARE_WITH_TIMEOUT(done.load(), kReaders, kTimeoutMs);
    QCOMPARE(whole.load(), kReaders);
    QVERIFY(task.cutout().empty());
}

void TestBatchMemory::previewReplacesCutout_data()
{
    QTest::addColumn<int>("side");
    QTest::addColumn<bool>("cacheWritable");
    QTest::addColumn<QSize>("previewSize");
    QTest::newRow("shrunk") << 100 << true << QSize(100, 75);
    QTest::newRow("already small") << 1000 << true << QSize(240, 180);
    QTest::newRow("cache not writable: full kept") << 100 << false << QSize(100, 75);
}

// A task asked for a preview drops its full cut-out before it reports success, so
// thirty queued tasks never hold thirty full cut-outs.
void TestBatchMemory::previewReplacesCutout()
{
    QFETCH(int, side);
    QFETCH(bool, cacheWritable);
    QFETCH(QSize, previewSize);
    const QString photo = mattingtest::makePhoto(
        QString("preview_%1.png").arg(QTest::currentDataTag()).replace(QRegExp("[ :,]+"), "_"), 240, 180);
    const QString folder = QFileInfo(QImageTask::cacheFilePath(photo)).path();
    if (!cacheWritable) {
        QDir(folder).removeRecursively();
        QVERIFY(testutils::writeFile(folder, "a file where the folder should be"));
    }
    QImageTask task(1, photo);
    task.setPreviewSide(side);
    cv::Mat atSuccess;
    connect(
        &task, &QImageTask::signal_success, this, [&] { atSuccess = task.cutout(); }, Qt::DirectConnection);
    const QString error = mattingtest::runTask(task);
    if (!cacheWritable)
        QVERIFY(QFile::remove(folder));
    QCOMPARE(error, QString());
    const cv::Mat preview = task.preview();
    QCOMPARE(QSize(preview.cols, preview.rows), previewSize);
    QCOMPARE(preview.type(), CV_8UC4);
    QCOMPARE(atSuccess.empty(), cacheWritable);
    QCOMPARE(task.isCutoutReleased(), cacheWritable);
    QCOMPARE(task.loadCutout().size(), cv::Size(240, 180));
}

void TestBatchMemory::backgroundPictureAtPreviewScale_data()
{
    QTest::addColumn<QSize>("photo");
    QTest::newRow("shrunk for the preview") << QSize(1600, 1200);
    QTest::newRow("small enough already") << QSize(400, 300);
}

// A background picture as large as the photo: the tile shows the subject as large
// against it as the saved file does, and the file gets the picture at full size.
void TestBatchMemory::backgroundPictureAtPreviewScale()
{
    QFETCH(QSize, photo);
    const QString tag = QString::number(photo.width());
    const QString picture = testutils::sandboxPath() + "/blue_" + tag + ".png";
    QImage blue(photo, QImage::Format_RGB32);
    blue.fill(Qt::blue);
    QVERIFY(blue.save(picture));
    QBatchMattingWidget widget;
    widget.startBatch(1, {mattingtest::makePhoto("backdrop_" + tag + ".png", photo.width(), photo.height())});
    QVERIFY(batchtest::waitReady(widget.items()));
    QPreviewItem* tile = widget.items().first();
    emit widget.signal_change_image(picture);
    // 4:3 fills the tile's width; the disc's radius is a third of the height (40 px).
    QTRY_COMPARE(tile->grab().toImage().pixelColor(5, 80), QColor(0, 0, 255));
    const QColor inDisc = tile->grab().toImage().pixelColor(80 + 30, 80);
    QVERIFY2(inDisc.red() > 150 && inDisc.blue() < 100, qPrintable(inDisc.name()));

    const QString outDir = testutils::sandboxPath() + "/out/backdrop_" + tag;
    QVERIFY(QDir().mkpath(outDir));
    CSetting::setValue("output", "path", outDir);
    CSetting::setValue("output", "format", 0);
    CSetting::setValue("output", "size", 3);
    batchtest::answerModal("btnApply");
    QTest::mouseClick(tile->findChild<QPushButton*>("btnDownload"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(QDir(outDir).entryList({"*.png"}, QDir::Files).size(), 1, kTimeoutMs);
    const cv::Mat saved =
        cv::imread((outDir + "/" + QDir(outDir).entryList({"*.png"}, QDir::Files).first()).toStdString());
    QCOMPARE(QSize(saved.cols, saved.rows), photo);
    QCOMPARE(saved.at<cv::Vec3b>(2, 2), cv::Vec3b(255, 0, 0));
}

void TestBatchMemory::releasedTileEditsAndSaves_data()
{
    QTest::addColumn<bool>("edit"); // else "Download"
    QTest::addColumn<bool>("cacheDeleted");
    QTest::newRow("edit") << true << false;
    QTest::newRow("download") << false << false;
    QTest::newRow("edit, cache entry deleted") << true << true;
    QTest::newRow("download, cache entry deleted") << false << true;
}

// A tile keeps only its preview; "Edit" and "Download" read the full cut-out back.
// When the cache entry has gone meanwhile, the user is told and the photo is
// matted again instead of the tile breaking.
void TestBatchMemory::releasedTileEditsAndSaves()
{
    QFETCH(bool, edit);
    QFETCH(bool, cacheDeleted);
    const QString name = QString("tile_%1.png").arg(QTest::currentDataTag()).replace(QRegExp("[ ,]+"), "_");
    const QString photo = mattingtest::makePhoto(name, 400, 300);
    const QString outDir = testutils::sandboxPath() + "/out/" + QFileInfo(name).baseName();
    QVERIFY(QDir().mkpath(outDir));
    CSetting::setValue("output", "path", outDir);
    CSetting::setValue("output", "format", 0);
    QBatchMattingWidget widget;
    widget.resize(1100, 700);
    widget.show();
    widget.startBatch(1, {photo});
    QPreviewItem* tile = widget.items().first();
    QVERIFY(batchtest::waitReady(widget.items()));
    const QString firstTask = tile->taskId();
    QTRY_VERIFY(QTaskManager::getTask(firstTask)->isCutoutReleased());
    if (cacheDeleted)
        QVERIFY(QFile::remove(QImageTask::cacheFilePath(photo)));

    auto* pages = widget.findChild<QStackedWidget*>("stackedWidget");
    const QStringList results{"*.png"};
    if (edit) {
        QTest::mouseClick(tile->findChild<QPushButton*>("btnEdit"), Qt::LeftButton);
    } else {
        batchtest::answerModal("btnApply");
        QTest::mouseClick(tile->findChild<QPushButton*>("btnDownload"), Qt::LeftButton);
    }
    if (!cacheDeleted) {
        if (edit)
            QTRY_VERIFY_WITH_TIMEOUT(widget.editor()->view() && widget.editor()->view()->isReady(),
                                     kTimeoutMs);
        else
            QTRY_COMPARE_WITH_TIMEOUT(QDir(outDir).entryList(results, QDir::Files).size(), 1, kTimeoutMs);
        QCOMPARE(messages, QStringList());
        QCOMPARE(tile->taskId(), firstTask);
        if (!edit) {
            const QString file = outDir + "/" + QDir(outDir).entryList(results, QDir::Files).first();
            QCOMPARE(cv::imread(file.toStdString(), cv::IMREAD_UNCHANGED).channels(), 4);
        }
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(messages.size(), 1, kTimeoutMs);
    QVERIFY2(messages.first().contains(name), qPrintable(messages.first()));
    QTest::qWait(3 * QBatchMattingWidget::kDelayMs); // past the deferred page switch
    QCOMPARE(pages->currentIndex(), 0);
    QVERIFY(!widget.editor()->view());
    QVERIFY(tile->taskId() != firstTask);
    QVERIFY(batchtest::waitReady(widget.items()));
    QTRY_VERIFY_WITH_TIMEOUT(!tile->isBusy(), kTimeoutMs);
    QVERIFY(!tile->isFailed());
    QVERIFY(QFile::exists(QImageTask::cacheFilePath(photo)));
    QVERIFY(QDir(outDir).entryList(results, QDir::Files).isEmpty());
}

BRISEL_TEST_MAIN(TestBatchMemory)
#include "tst_batchmemory.moc"
