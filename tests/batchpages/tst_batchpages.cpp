// The batch workspace without the service (no work pool: nothing is matted): the
// page shown after hand editing, the brush reaching every tile's view and the typed
// crop size.

#include "qbatchcutwidget.h"
#include "qbatchmattingwidget.h"
#include "qcroptable.h"
#include "qimagecutoutwidget.h"
#include "qmsgbox.h"
#include "qpagecutout.h"
#include "qpreviewitem.h"
#include "qsizebutton.h"
#include "testutils.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>

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

    void brushReachesEveryView_data()
    {
        QTest::addColumn<bool>("tileOpen"); // a tile's view exists when the brush is chosen
        QTest::newRow("chosen while editing") << true;
        QTest::newRow("chosen before editing") << false;
    }
    void brushReachesEveryView()
    {
        QFETCH(bool, tileOpen);
        QBatchMattingWidget widget;
        widget.show();
        widget.startBatch(0, {testutils::sandboxPath() + "/a.jpg", testutils::sandboxPath() + "/b.jpg"});
        const auto open = [&](int i) {
            widget.onItemEditBegin(widget.items().at(i), widget.items().at(i)->taskId());
        };
        if (tileOpen)
            open(0);
        auto* panel = widget.findChild<QPageCutOut*>();
        QTest::mouseClick(panel->findChild<QPushButton*>("btnKeep"), Qt::LeftButton);
        QTest::mouseClick(panel->findChild<QPushButton*>("btnTabMagic"), Qt::LeftButton);
        panel->findChild<QSlider*>("hSliderBrushSize")->setValue(30);
        for (int i : {1, 0}) {
            open(i);
            QImageCutoutWidget* view = widget.editor()->view();
            QVERIFY(view->isKeepMode() && view->isMagicMode());
            QCOMPARE(view->brushSize(), 30);
        }
    }

    void customSizeBounds_data()
    {
        QTest::addColumn<QString>("typed"); // width|height
        QTest::addColumn<bool>("applied");
        QTest::newRow("largest") << "10000| 10000 " << true;
        QTest::newRow("smallest") << "1|1" << true;
        QTest::newRow("too wide") << "10001|20" << false;
        QTest::newRow("no height") << "20|0" << false;
        QTest::newRow("not a number") << "2O|20" << false;
    }
    void customSizeBounds()
    {
        QFETCH(QString, typed);
        QFETCH(bool, applied);
        const QString width = typed.section('|', 0, 0), height = typed.section('|', 1);
        int warnings = 0;
        QMsgBox::setTestHook([&warnings](QMsgBox::Kind, const QString&) { return ++warnings; });
        QBatchMattingWidget widget;
        widget.show();
        widget.startBatch(1, {testutils::sandboxPath() + "/a.jpg"});
        QTest::mouseClick(
            widget.findChild<QSizeButton*>(QString("sizeButton_%1").arg(QCropTable::kCustomSize)),
            Qt::LeftButton);
        QTest::keyClicks(widget.findChild<QLineEdit*>("lineEditWidth"), width);
        QTest::keyClicks(widget.findChild<QLineEdit*>("lineEditHeight"), height);
        QSignalSpy apply(&widget, &QBatchMattingWidget::signal_apply_crop_size);
        QTest::mouseClick(widget.findChild<QPushButton*>("btnApplySize"), Qt::LeftButton);
        QMsgBox::setTestHook(nullptr);
        QCOMPARE(apply.size(), applied ? 1 : 0);
        QCOMPARE(warnings, applied ? 0 : 1);
        if (applied)
            QCOMPARE(apply.first().at(2).toSize(), QSize(width.toInt(), height.trimmed().toInt()));
    }
};

BRISEL_TEST_MAIN(TestBatchPages)
#include "tst_batchpages.moc"
