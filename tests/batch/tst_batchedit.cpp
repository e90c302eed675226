// One edit of a tile through the side panel's brush mode, against the real service
// (key engine): the file the tile then saves holds the stroke.

#include "batchfixtures.h"
#include "mattingfixtures.h"
#include "qbatchcutwidget.h"
#include "qbatchmattingwidget.h"
#include "qimagecutoutwidget.h"
#include "qimagetask.h"
#include "qmsgbox.h"
#include "qpagecutout.h"
#include "qpreviewitem.h"
#include "qtaskmanager.h"
#include "testutils.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>

constexpr int kTimeoutMs = batchtest::kMattingTimeoutMs;

namespace {
int transparentPixels(const cv::Mat& bgra)
{
    cv::Mat alpha;
    cv::extractChannel(bgra, alpha, 3);
    return int(bgra.total()) - cv::countNonZero(alpha);
}
} // namespace

class TestBatchEdit : public QObject
{
    Q_OBJECT

    mattingtest::RealService service;
    batchtest::UrlSink urls;
    QStringList messages;

private slots:
    void initTestCase()
    {
        const QString error = batchtest::setUp(service, &messages);
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }

    void cleanup() { QTaskManager::clear(); }
    void cleanupTestCase() { QMsgBox::setTestHook(nullptr); }

    void strokeReachesSavedFile_data()
    {
        QTest::addColumn<bool>("keep");  // the mode chosen on the side panel
        QTest::addColumn<double>("row"); // stroke height, as a part of the view
        QTest::newRow("remove across the subject") << false << 0.5;
        QTest::newRow("keep across the backdrop") << true << 0.28;
    }

    void strokeReachesSavedFile()
    {
        QFETCH(bool, keep);
        QFETCH(double, row);
        QBatchMattingWidget widget;
        widget.resize(1100, 700);
        widget.show();
        QVERIFY(QTest::qWaitForWindowExposed(&widget));
        widget.startBatch(1, {mattingtest::makePhoto(QString("strokes_%1.png").arg(keep), 400, 300)});
        QVERIFY(batchtest::waitReady(widget.items()));
        QPreviewItem* tile = widget.items().first();
        const int before = transparentPixels(QTaskManager::getTask(tile->taskId())->loadCutout());

        QSignalSpy handedBack(tile, &QPreviewItem::signal_edit_finished);
        QTest::mouseClick(tile->findChild<QPushButton*>("btnEdit"), Qt::LeftButton);
        QTRY_COMPARE(widget.findChild<QStackedWidget*>("stackedWidget")->currentIndex(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(widget.editor()->view() && widget.editor()->view()->isReady(), kTimeoutMs);
        auto* panel = widget.findChild<QPageCutOut*>();
        QTest::mouseClick(panel->findChild<QPushButton*>(keep ? "btnKeep" : "btnRemove"), Qt::LeftButton);
        QWidget* view = widget.editor()->view();
        batchtest::stroke(view, int(view->height() * row));
        QTest::mouseClick(widget.findChild<QPushButton*>("btnComplete"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(handedBack.size(), 1, kTimeoutMs);
        QTRY_VERIFY(!tile->isBusy());

        const QString out = testutils::sandboxPath() + "/out";
        batchtest::saveInto(out);
        const cv::Mat saved = batchtest::download(tile, out);
        QCOMPARE(saved.channels(), 4);
        const int after = transparentPixels(saved);
        QVERIFY2(keep ? after < before : after > before,
                 qPrintable(QString("%1 -> %2").arg(before).arg(after)));
        QVERIFY(messages.isEmpty());
    }
};

BRISEL_TEST_MAIN(TestBatchEdit)
#include "tst_batchedit.moc"
