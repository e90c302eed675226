// Batches against the real service (key engine): "Save all" at an ID size writes what
// it can and lists what it could not; a repaired photo is matted again; "Download"
// reads a dropped cut-out back from the cache, or tells and mattes again when the
// cache entry was damaged.

#include "acceptance.h"
#include "csetting.h"
#include "mattingfixtures.h"
#include "qbatchmattingwidget.h"
#include "qimagetask.h"
#include "qpreviewitem.h"
#include "qtaskmanager.h"
#include "qworkpool.h"
#include "testutils.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPushButton>
#include <QSignalSpy>

#include <algorithm>

constexpr int kTimeoutMs = 60000;

namespace {
bool waitReady(const QList<QPreviewItem*>& items)
{
    return QTest::qWaitFor(
        [&] { return std::all_of(items.begin(), items.end(), [](QPreviewItem* i) { return i->isReady(); }); },
        kTimeoutMs);
}

// Saving goes to a new empty folder as PNG at the photo's own resolution.
QString emptyOutput()
{
    const QString folder = testutils::sandboxPath() + "/out";
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    CSetting::setValue("output", "path", folder);
    CSetting::setValue("output", "format", 0);
    CSetting::setValue("output", "size", 3);
    return folder;
}
} // namespace

class TestBatchWidget : public QObject
{
    Q_OBJECT

    acceptance::Service service;

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(service.start(&error), qPrintable(error));
        QWorkPool::instance()->start(3);
        acceptance::shownFolders(); // from here on, saving opens no file browser
    }
    void cleanup()
    {
        QTaskManager::clear();
        acceptance::clearMessages();
    }

    void saveAllAtIdSize()
    {
        const QString broken = testutils::sandboxPath() + "/photos/broken.jpg";
        QVERIFY(testutils::writeFile(broken, "\xFF\xD8 not a picture"));
        QBatchMattingWidget widget;
        widget.startBatch(0, {mattingtest::makePhoto("alpha.png", 600, 800), broken,
                              // Its photo fits the file system, its result's longer name does not.
                              mattingtest::makePhoto("beta" + QString(246, 'x') + ".png", 600, 800)});
        QPreviewItem* failed = widget.items().at(1);
        QTRY_VERIFY_WITH_TIMEOUT(failed->isFailed(), kTimeoutMs);
        QVERIFY(waitReady({widget.items().first(), widget.items().last()}));

        const QString out = emptyOutput();
        widget.onMenuClicked(19, "259x377px >"); // the first ID photo size
        QSignalSpy finished(&widget, &QBatchMattingWidget::signal_save_all_finished);
        acceptance::pressInDialog("btnApply");
        QTest::mouseClick(widget.findChild<QPushButton*>("btnSaveAll"), Qt::LeftButton);
        QVERIFY(finished.wait(kTimeoutMs));
        QCOMPARE(finished.first().at(0).toInt(), 1);
        const QStringList failures = finished.first().at(1).toStringList();
        QCOMPARE(failures.size(), 1);
        QVERIFY2(failures.first().startsWith("betax"), qPrintable(failures.first()));
        QCOMPARE(finished.first().at(2).toInt(), 1); // the failed tile has nothing to save
        QTRY_COMPARE(acceptance::messages().size(), 1);
        QVERIFY2(acceptance::messages().first().contains("betax"),
                 qPrintable(acceptance::messages().first()));
        QVERIFY(!widget.isSaving());

        const QStringList files = acceptance::listFiles(out, "*.png").filter("alpha_");
        QCOMPARE(files.size(), 1);
        const QImage saved(out + "/" + files.first());
        QCOMPARE(saved.size(), QSize(259, 377));
        QCOMPARE(qRound(saved.dotsPerMeterX() * 0.0254), 300);
        // The backdrop is cut away, the disc kept.
        QCOMPARE(qAlpha(saved.pixel(0, 0)), 0);
        QVERIFY(qAlpha(saved.pixel(129, 188)) > 200);

        // The photo is repaired: "Retry" mattes it again.
        QCOMPARE(mattingtest::makePhoto("broken.jpg", 600, 800), broken);
        QTest::mouseClick(failed->findChild<QPushButton*>("btnRetry"), Qt::LeftButton);
        QVERIFY(!failed->isFailed());
        QVERIFY(waitReady(widget.items()));
        QVERIFY(failed->toolTip().isEmpty());
    }

    void releasedCutoutReadsBack()
    {
        // The second tile's cache entry is cut short after its cut-out was dropped.
        const QStringList photos{mattingtest::makePhoto("whole.png", 400, 300),
                                 mattingtest::makePhoto("cut.png", 400, 300)};
        const QString out = emptyOutput();
        QBatchMattingWidget widget;
        widget.startBatch(1, photos);
        QVERIFY(waitReady(widget.items()));
        QPreviewItem *whole = widget.items().first(), *cut = widget.items().last();
        const QStringList tasks{whole->taskId(), cut->taskId()};
        for (const QString& task : tasks)
            QTRY_VERIFY(QTaskManager::getTask(task)->isCutoutReleased());
        QFile entry(QImageTask::cacheFilePath(photos.last()));
        QVERIFY(entry.open(QIODevice::ReadWrite) && entry.resize(entry.size() / 2));
        entry.close();

        acceptance::pressInDialog("btnApply");
        QTest::mouseClick(whole->findChild<QPushButton*>("btnDownload"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(acceptance::listFiles(out, "*.png").size(), 1, kTimeoutMs);
        const QImage saved(out + "/" + acceptance::listFiles(out, "*.png").first());
        QCOMPARE(saved.size(), QSize(400, 300));
        QVERIFY(saved.hasAlphaChannel());
        QCOMPARE(whole->taskId(), tasks.first());
        QVERIFY(acceptance::messages().isEmpty());

        acceptance::pressInDialog("btnApply");
        QTest::mouseClick(cut->findChild<QPushButton*>("btnDownload"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!acceptance::messages().isEmpty(), kTimeoutMs);
        QCOMPARE(acceptance::listFiles(out, "*.png").size(), 1);
        QCOMPARE(acceptance::messages().size(), 1);
        QVERIFY2(acceptance::messages().first().contains("cut.png"),
                 qPrintable(acceptance::messages().first()));
        QVERIFY(cut->taskId() != tasks.last());
        QVERIFY(waitReady(widget.items()));
        QTRY_VERIFY_WITH_TIMEOUT(!cut->isBusy() && !cut->isFailed(), kTimeoutMs);
    }
};

BRISEL_TEST_MAIN(TestBatchWidget)
#include "tst_batchwidget.moc"
