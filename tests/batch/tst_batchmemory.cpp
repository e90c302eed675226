// A batch keeps only preview-size pictures: tasks drop their full-resolution
// cut-outs and read them back from the cache when a tile is edited or saved.
// Against the real service (key engine).

#include "csetting.h"
#include "mattingfixtures.h"
#include "qimagehelp.h"
#include "qimagetask.h"
#include "qtaskmanager.h"
#include "qworkpool.h"
#include "testutils.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>

namespace {
constexpr int kTimeoutMs = 60000;
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

private:
    mattingtest::RealService service;
};

void TestBatchMemory::initTestCase()
{
    QString error;
    QVERIFY2(service.start(false, &error), qPrintable(error));
    QWorkPool::instance()->start(3);
}

void TestBatchMemory::init()
{
    mattingtest::useService(service.url());
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
    const QString photo = mattingtest::makePhoto(QString("release_%1.png").arg(QTest::currentDataTag()).replace(' ', '_'),
                                                 240, 180);
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
        QVERIFY(QImageHelp::encodeImage(testutils::solidBgra(20, 10, {0, 0, 255, 255}), ".png", {}, &png));
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

BRISEL_TEST_MAIN(TestBatchMemory)
#include "tst_batchmemory.moc"
