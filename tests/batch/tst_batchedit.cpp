#include "batchfixtures.h"
#include "mattingfixtures.h"
#include "qbatchcutwidget.h"
#include "qbatchmattingwidget.h"
#include "qbatchmenu.h"
#include "qimagecutoutwidget.h"
#include "qmattingbutton.h"
#include "qpreviewitem.h"
#include "qsizebutton.h"
#include "qtaskmanager.h"
#include "qworkpool.h"
#include "testutils.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStackedWidget>

using batchtest::stroke;
constexpr int kTimeoutMs = batchtest::kMattingTimeoutMs;

class TestBatchEdit : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void menuEntries_data();
    void menuEntries();
    void idSizeFromMenu();
    void sliderBounds_data();
    void sliderBounds();
    void editKeepsStrokesPerTile();

private:
    mattingtest::RealService service;
};

void TestBatchEdit::initTestCase()
{
    QString error;
    QVERIFY2(service.start(false, &error), qPrintable(error));
    mattingtest::useService(service.url());
    QWorkPool::instance()->start(3);
}

void TestBatchEdit::cleanup()
{
    QTaskManager::clear();
}

void TestBatchEdit::menuEntries_data()
{
    QTest::addColumn<int>("entries");
    QTest::addColumn<int>("clicked");
    QTest::newRow("one") << 1 << 0;
    QTest::newRow("five, last") << 5 << 4;
    QTest::newRow("five, middle") << 5 << 2;
}

void TestBatchEdit::menuEntries()
{
    QFETCH(int, entries);
    QFETCH(int, clicked);
    QBatchMenu menu;
    const int before = menu.height();
    QList<int> runs;
    for (int i = 0; i < entries; ++i)
        menu.addItem(QString("entry %1").arg(i), [&runs, i] { runs << i; });
    QCOMPARE(menu.height(), before + entries * QBatchMenu::kEntryHeight);
    QCOMPARE(menu.width(), 208);
    menu.show();
    QTest::mouseClick(menu.findChildren<QPushButton*>().at(clicked), Qt::LeftButton);
    QCOMPARE(runs, QList<int>{clicked});
}

void TestBatchEdit::idSizeFromMenu()
{
    QBatchMattingWidget widget;
    widget.show();
    widget.startBatch(0, {});
    auto* menu = widget.findChild<QBatchMenu*>();
    QVERIFY(menu);
    QSignalSpy crops(&widget, &QBatchMattingWidget::signal_apply_crop_size);
    menu->show();
    QTest::mouseClick(menu->findChildren<QPushButton*>().at(1), Qt::LeftButton);
    QVERIFY(!menu->isVisible());
    QCOMPARE(crops.size(), 1);
    QCOMPARE(crops.first().at(0).toInt(), 20);
    QSizeButton* certificate = widget.sizeButtons().at(6);
    QCOMPARE(certificate->name(), QString("295x413px >"));
    QVERIFY(certificate->isChecked());
    QVERIFY(!widget.sizeButtons().first()->isChecked());
    // A product batch never gets the menu.
    QBatchMattingWidget products;
    products.startBatch(1, {});
    QVERIFY(!products.findChild<QBatchMenu*>());
}

void TestBatchEdit::sliderBounds_data()
{
    QTest::addColumn<int>("set");
    QTest::addColumn<int>("shown");
    QTest::newRow("below") << 10 << 40;
    QTest::newRow("above") << 500 << 300;
    QTest::newRow("inside") << 150 << 150;
}

void TestBatchEdit::sliderBounds()
{
    QFETCH(int, set);
    QFETCH(int, shown);
    QBatchCutWidget editor;
    auto* slider = editor.findChild<QSlider*>("hSliderImageFactor");
    slider->setValue(set);
    QCOMPARE(slider->value(), shown);
    QCOMPARE(editor.findChild<QLabel*>("labelImageFactor")->text(), QString("%1%").arg(shown));
}

void TestBatchEdit::editKeepsStrokesPerTile()
{
    QBatchMattingWidget widget;
    widget.resize(1100, 700);
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    widget.startBatch(1, {mattingtest::makePhoto("edit_a.png", 400, 300), mattingtest::makePhoto("edit_b.png", 400, 300)});
    QVERIFY(QTest::qWaitFor(
        [&] { return widget.items().at(0)->isReady() && widget.items().at(1)->isReady(); }, kTimeoutMs));
    auto* pages = widget.findChild<QStackedWidget*>("stackedWidget");
    QPreviewItem* a = widget.items().at(0);
    QPreviewItem* b = widget.items().at(1);
    auto edit = [&](QPreviewItem* tile) {
        QTest::mouseClick(tile->findChild<QPushButton*>("btnEdit"), Qt::LeftButton);
        QTRY_COMPARE(pages->currentIndex(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(widget.editor()->view() && widget.editor()->view()->isReady(), kTimeoutMs);
    };

    edit(a);
    QImageCutoutWidget* viewA = widget.editor()->view();
    stroke(viewA, viewA->height() / 2);
    stroke(viewA, viewA->height() / 2 + 20);
    QCOMPARE(viewA->history().count(), 3);
    QTRY_VERIFY(widget.editor()->findChild<QMattingButton*>("BtnUndo")->isEnabled());

    // "OK" hands the edit back; the tile shows its indicator until the merge is in.
    // Opening the next tile at once must not steal the first tile's result.
    QSignalSpy finished(a, &QPreviewItem::signal_edit_finished);
    QSignalSpy finishedB(b, &QPreviewItem::signal_edit_finished);
    QTest::mouseClick(widget.findChild<QPushButton*>("btnComplete"), Qt::LeftButton);
    QCOMPARE(pages->currentIndex(), 0);
    edit(b);
    QVERIFY(finished.size() == 1 || finished.wait(kTimeoutMs));
    QTRY_VERIFY(!a->isBusy());
    QCOMPARE(finishedB.size(), 0);
    QVERIFY(!b->isBusy());
    QVERIFY(widget.editor()->view() != viewA);
    QCOMPARE(widget.editor()->view()->history().count(), 1);
    QTRY_VERIFY(!widget.editor()->findChild<QMattingButton*>("BtnUndo")->isEnabled());
    QTest::mouseClick(widget.findChild<QPushButton*>("btnComplete"), Qt::LeftButton);

    edit(a);
    QCOMPARE(widget.editor()->view(), viewA);
    QCOMPARE(viewA->history().count(), 3);
    QTRY_VERIFY(widget.editor()->findChild<QMattingButton*>("BtnUndo")->isEnabled());
}

BRISEL_TEST_MAIN(TestBatchEdit)
#include "tst_batchedit.moc"
