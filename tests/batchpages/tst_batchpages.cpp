// Which page of the batch workspace shows as the user moves between the tiles and
// the hand editor: the tiles and the editor must each be on the page that is
// shown, and the second page of the tile area never appears. The work pool is not
// started, so the tiles' tasks stay queued and nothing is matted.

#include "qbatchcutwidget.h"
#include "qbatchmattingwidget.h"
#include "qpagecutout.h"
#include "qpreviewitem.h"
#include "qtaskmanager.h"
#include "testutils.h"

#include <QPushButton>
#include <QStackedWidget>

class TestBatchPages : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QTaskManager::clear(); }

    void pagesFollowActions_data()
    {
        QTest::addColumn<QStringList>("actions");
        QTest::addColumn<int>("page");
        QTest::newRow("preview") << QStringList{"preview"} << 1;
        QTest::newRow("preview, then OK") << QStringList{"preview", "ok"} << 0;
        QTest::newRow("edit a tile") << QStringList{"edit 0"} << 1;
        QTest::newRow("edit without a tile") << QStringList{"edit none"} << 0;
        QTest::newRow("edit, OK, edit another tile") << QStringList{"edit 0", "ok", "edit 1"} << 1;
        QTest::newRow("edit, OK, batch built again") << QStringList{"edit 1", "ok", "rebuild"} << 0;
        QTest::newRow("edit, then batch built again") << QStringList{"edit 1", "rebuild"} << 1;
    }

    void pagesFollowActions();
};

void TestBatchPages::pagesFollowActions()
{
    QFETCH(QStringList, actions);
    QFETCH(int, page);
    const QStringList photos{testutils::sandboxPath() + "/a.jpg", testutils::sandboxPath() + "/b.jpg"};
    QBatchMattingWidget widget;
    widget.resize(1100, 700);
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    widget.startBatch(0, photos);
    for (const QString& action : actions) {
        if (action == "preview") {
            widget.onBtnPreview();
        } else if (action == "ok") {
            QTest::mouseClick(widget.findChild<QPushButton*>("btnComplete"), Qt::LeftButton);
        } else if (action == "rebuild") {
            widget.startBatch(0, photos);
        } else if (action.startsWith("edit")) {
            QPreviewItem* tile =
                action.endsWith("none") ? nullptr : widget.items().at(action.section(' ', 1).toInt());
            auto* pages = widget.findChild<QStackedWidget*>("stackedWidget");
            const int before = pages->currentIndex();
            widget.onItemEditBegin(tile, tile ? tile->taskId() : QString());
            // The switch waits for the click that asked for it to finish.
            QCOMPARE(pages->currentIndex(), before);
            QTest::qWait(3 * QBatchMattingWidget::kDelayMs);
        }
    }
    QTest::qWait(3 * QBatchMattingWidget::kDelayMs); // tiles of a rebuilt batch are laid out

    auto* pages = widget.findChild<QStackedWidget*>("stackedWidget");
    QCOMPARE(pages->currentIndex(), page);
    auto* tileArea = widget.findChild<QStackedWidget*>("stackedWidgetBatch");
    QCOMPARE(tileArea->currentWidget()->objectName(), QString("pagePreview"));
    QVERIFY(!widget.findChild<QWidget*>("pageCarousel")->isVisible());

    QCOMPARE(widget.items().size(), photos.size());
    for (QPreviewItem* tile : widget.items()) {
        QCOMPARE(tile->isVisible(), page == 0);
        QVERIFY(tileArea->widget(tileArea->currentIndex())->isAncestorOf(tile));
    }
    QCOMPARE(widget.editor()->isVisible(), page == 1);
    QCOMPARE(widget.findChild<QPageCutOut*>()->isVisible(), page == 1);
}

BRISEL_TEST_MAIN(TestBatchPages)
#include "tst_batchpages.moc"
