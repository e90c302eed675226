// The batch page shown after hand editing and a rebuilt batch (no work pool: nothing is matted).

#include "qbatchcutwidget.h"
#include "qbatchmattingwidget.h"
#include "qpreviewitem.h"
#include "testutils.h"

#include <QPushButton>

class TestBatchPages : public QObject
{
    Q_OBJECT

private slots:
    void pagesFollowActions_data()
    {
        QTest::addColumn<QStringList>("actions");
        QTest::addColumn<int>("page");
        QTest::newRow("edit, OK, batch built again") << QStringList{"edit", "ok", "rebuild"} << 0;
        QTest::newRow("edit, then batch built again") << QStringList{"edit", "rebuild"} << 1;
    }
    void pagesFollowActions()
    {
        QFETCH(QStringList, actions);
        QFETCH(int, page);
        const QStringList photos{testutils::sandboxPath() + "/a.jpg", testutils::sandboxPath() + "/b.jpg"};
        QBatchMattingWidget widget;
        widget.show();
        widget.startBatch(0, photos);
        for (const QString& action : actions) {
            if (action == "ok")
                QTest::mouseClick(widget.findChild<QPushButton*>("btnComplete"), Qt::LeftButton);
            else if (action == "rebuild")
                widget.startBatch(0, photos);
            else
                widget.onItemEditBegin(widget.items().at(1), widget.items().at(1)->taskId());
            QTest::qWait(3 * QBatchMattingWidget::kDelayMs);
        }
        QCOMPARE(widget.items().at(0)->isVisible(), page == 0);
        QCOMPARE(widget.editor()->isVisible(), page == 1);
    }
};

BRISEL_TEST_MAIN(TestBatchPages)
#include "tst_batchpages.moc"
