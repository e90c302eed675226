// The batch workspace without the service (no work pool: nothing is matted): the
// page shown after hand editing, the brush reaching every tile's view, tiles filling
// the width, the output folder and the typed crop size.

#include "csetting.h"
#include "qbatchcutwidget.h"
#include "qbatchmattingwidget.h"
#include "qcroptable.h"
#include "qfilechooser.h"
#include "qimagecutoutwidget.h"
#include "qmsgbox.h"
#include "qpagecutout.h"
#include "qpreviewitem.h"
#include "qsizebutton.h"
#include "testutils.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
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

    // Every width: as many tiles in a row as fit, and the output size box whole.
    void tilesFillTheWidth_data()
    {
        QTest::addColumn<int>("width");
        for (int width : {700, 1100, 1900})
            QTest::newRow(qPrintable(QString::number(width))) << width;
    }
    void tilesFillTheWidth()
    {
        QFETCH(int, width);
        QBatchMattingWidget widget;
        QStringList photos;
        for (int i = 0; i < 12; ++i)
            photos << testutils::sandboxPath() + QString("/%1.jpg").arg(i);
        widget.startBatch(0, photos);
        widget.resize(width, 700);
        widget.show();
        QVERIFY(QTest::qWaitForWindowExposed(&widget));
        QWidget* viewport = widget.findChild<QScrollArea*>("scrollArea")->viewport();
        const QList<QPreviewItem*>& items = widget.items();
        const int perRow = int(std::count_if(items.begin(), items.end(),
                                             [&](QPreviewItem* i) { return i->y() == items.first()->y(); }));
        const int free =
            viewport->width() - items.at(perRow - 1)->mapTo(viewport, QPoint(QPreviewItem::kSide, 0)).x();
        QVERIFY2(free >= 0 && free < QPreviewItem::kSide + 30,
                 qPrintable(QString("%1 in a row, %2 px free").arg(perRow).arg(free)));
        auto* sizes = widget.findChild<QComboBox*>("comboOutputSize");
        QVERIFY(sizes->width() >= sizes->minimumSizeHint().width());
    }

    // Only the picker changes the folder: it is stored, shown and announced.
    void outputFolderOnlyFromPicker()
    {
        const QString folder = testutils::sandboxPath() + "/picked";
        QVERIFY(QDir().mkpath(folder));
        QFileChooser::setFolderHook([folder](const QString&, const QString&) { return folder; });
        QBatchMattingWidget widget;
        widget.show();
        auto* field = widget.findChild<QLineEdit*>("editOutputPath");
        const QString shown = field->text();
        QTest::keyClicks(field, "/elsewhere");
        QCOMPARE(field->text(), shown);
        QSignalSpy changed(&widget, &QBatchMattingWidget::signal_output_folder_changed);
        QTest::mouseClick(widget.findChild<QPushButton*>("btnSelectOutput"), Qt::LeftButton);
        QFileChooser::setFolderHook(nullptr);
        QCOMPARE(changed.value(0).value(0).toString(), folder);
        QCOMPARE(CSetting::getString("output", "path"), folder);
        QCOMPARE(field->text(), QDir::toNativeSeparators(folder));
    }

    void customSizeBounds_data()
    {
        QTest::addColumn<QString>("width");
        QTest::addColumn<QString>("height");
        QTest::addColumn<bool>("applied");
        QTest::newRow("largest") << "10000"
                                 << " 10000 " << true;
        QTest::newRow("smallest") << "1"
                                  << "1" << true;
        QTest::newRow("too wide") << "10001"
                                  << "20" << false;
        QTest::newRow("no height") << "20"
                                   << "0" << false;
        QTest::newRow("not a number") << "2O"
                                      << "20" << false;
    }
    void customSizeBounds()
    {
        QFETCH(QString, width);
        QFETCH(QString, height);
        QFETCH(bool, applied);
        int warnings = 0;
        QMsgBox::setTestHook([&warnings](QMsgBox::Kind, const QString&) { return ++warnings; });
        QBatchMattingWidget widget;
        widget.show();
        widget.startBatch(1, {testutils::sandboxPath() + "/a.jpg"});
        QSizeButton* custom = nullptr;
        for (QSizeButton* button : widget.sizeButtons())
            if (button->property("sizeId").toInt() == QCropTable::kCustomSize)
                custom = button;
        QTest::mouseClick(custom, Qt::LeftButton);
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
