// A person batch against the real service (key engine): tiles finish, a damaged
// photo fails with "Retry", and "Save all" at an ID size writes what it can, lists
// the tile it could not write and counts the one it skipped.

#include "batchfixtures.h"
#include "qbatchmattingwidget.h"
#include "qpreviewitem.h"
#include "testutils.h"

#include <QDir>
#include <QImage>
#include <QPushButton>
#include <QSignalSpy>

constexpr int kTimeoutMs = batchtest::kMattingTimeoutMs;

class TestBatchWidget : public batchtest::ServiceSuite
{
    Q_OBJECT

private slots:
    void saveAllAtIdSize()
    {
        const QString broken = testutils::sandboxPath() + "/photos/broken.jpg";
        QVERIFY(testutils::writeFile(broken, "\xFF\xD8 not a picture"));
        QBatchMattingWidget widget;
        widget.startBatch(0, {mattingtest::makePhoto("alpha.png", 600, 800), broken,
                              // Its photo fits the file system, its result's longer name does not.
                              mattingtest::makePhoto("beta" + QString(246, 'x') + ".png", 600, 800)});
        QPreviewItem* failed = widget.items().at(1);
        auto* retry = failed->findChild<QPushButton*>("btnRetry");
        QTRY_VERIFY_WITH_TIMEOUT(failed->isFailed(), kTimeoutMs);
        QVERIFY(retry->isVisibleTo(failed));
        QVERIFY(!failed->toolTip().isEmpty());
        QVERIFY(batchtest::waitReady({widget.items().first(), widget.items().last()}));

        const QString out = testutils::sandboxPath() + "/out";
        batchtest::saveInto(out);
        widget.onMenuClicked(19, "259x377px >"); // the first ID photo size
        QSignalSpy finished(&widget, &QBatchMattingWidget::signal_save_all_finished);
        batchtest::answerModal("btnApply");
        QTest::mouseClick(widget.findChild<QPushButton*>("btnSaveAll"), Qt::LeftButton);
        QVERIFY(finished.wait(kTimeoutMs));
        QCOMPARE(finished.first().at(0).toInt(), 1);
        const QStringList failures = finished.first().at(1).toStringList();
        QCOMPARE(failures.size(), 1);
        QVERIFY2(failures.first().startsWith("betax"), qPrintable(failures.first()));
        QCOMPARE(finished.first().at(2).toInt(), 1); // the failed tile has nothing to save
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages.first().contains("betax"), qPrintable(messages.first()));
        QVERIFY(!widget.isSaving());

        const QStringList files = batchtest::pngs(out).filter("alpha_");
        QCOMPARE(files.size(), 1);
        const QImage saved(out + "/" + files.first());
        QCOMPARE(saved.size(), QSize(259, 377));
        QCOMPARE(qRound(saved.dotsPerMeterX() * 0.0254), 300);
        // The backdrop is cut away, the disc kept.
        QCOMPARE(qAlpha(saved.pixel(0, 0)), 0);
        QVERIFY(qAlpha(saved.pixel(129, 188)) > 200);

        // The photo is repaired: "Retry" mattes it again.
        QCOMPARE(mattingtest::makePhoto("broken.jpg", 600, 800), broken);
        QTest::mouseClick(retry, Qt::LeftButton);
        QVERIFY(!failed->isFailed());
        QVERIFY(batchtest::waitReady(widget.items()));
        QVERIFY(failed->toolTip().isEmpty());
    }
};

BRISEL_TEST_MAIN(TestBatchWidget)
#include "tst_batchwidget.moc"
