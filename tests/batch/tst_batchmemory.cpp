// A tile keeps only its preview: its task drops the full cut-out and "Download"
// reads it back from the cache. When the cache entry is damaged meanwhile, the user
// is told and the photo is matted again instead of the tile breaking.

#include "batchfixtures.h"
#include "qbatchmattingwidget.h"
#include "qimagetask.h"
#include "qpreviewitem.h"
#include "qtaskmanager.h"
#include "testutils.h"

#include <QFile>
#include <QPushButton>

constexpr int kTimeoutMs = batchtest::kMattingTimeoutMs;

class TestBatchMemory : public batchtest::ServiceSuite
{
    Q_OBJECT

private slots:
    void releasedCutoutReadsBack_data()
    {
        QTest::addColumn<bool>("damaged");
        QTest::newRow("cache entry intact") << false;
        QTest::newRow("cache entry cut short") << true;
    }

    void releasedCutoutReadsBack()
    {
        QFETCH(bool, damaged);
        const QString photo = mattingtest::makePhoto(QString("tile_%1.png").arg(damaged), 400, 300);
        const QString out = testutils::sandboxPath() + "/out";
        batchtest::saveInto(out);
        messages.clear();
        QBatchMattingWidget widget;
        widget.startBatch(1, {photo});
        QPreviewItem* tile = widget.items().first();
        QVERIFY(batchtest::waitReady(widget.items()));
        const QString firstTask = tile->taskId();
        QTRY_VERIFY(QTaskManager::getTask(firstTask)->isCutoutReleased());
        if (!damaged) {
            const cv::Mat saved = batchtest::download(tile, out);
            QCOMPARE(saved.size(), cv::Size(400, 300));
            QCOMPARE(saved.channels(), 4);
            QCOMPARE(tile->taskId(), firstTask);
            QVERIFY(messages.isEmpty());
            return;
        }
        QFile entry(QImageTask::cacheFilePath(photo));
        QVERIFY(entry.open(QIODevice::ReadWrite) && entry.resize(entry.size() / 2));
        entry.close();
        batchtest::answerModal("btnApply");
        QTest::mouseClick(tile->findChild<QPushButton*>("btnDownload"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!messages.isEmpty(), kTimeoutMs);
        QVERIFY(batchtest::pngs(out).isEmpty());
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages.first().contains("tile_1.png"), qPrintable(messages.first()));
        QVERIFY(tile->taskId() != firstTask);
        QVERIFY(batchtest::waitReady(widget.items()));
        QTRY_VERIFY_WITH_TIMEOUT(!tile->isBusy() && !tile->isFailed(), kTimeoutMs);
    }
};

BRISEL_TEST_MAIN(TestBatchMemory)
#include "tst_batchmemory.moc"
