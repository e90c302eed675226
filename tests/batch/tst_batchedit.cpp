#include "batchfixtures.h"
#include "csetting.h"
#include "mattingfixtures.h"
#include "qbatchcutwidget.h"
#include "qbatchmattingwidget.h"
#include "qbatchmenu.h"
#include "qimagecutoutwidget.h"
#include "qimagetask.h"
#include "qmattingbutton.h"
#include "qpagecutout.h"
#include "qpreviewitem.h"
#include "qsizebutton.h"
#include "qtaskmanager.h"
#include "qworkpool.h"
#include "testutils.h"

#include <QApplication>
#include <QDir>
#include <QEnterEvent>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStackedWidget>

#include <opencv2/imgcodecs.hpp>

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
    void idSizeMenuBesideCertificate_data();
    void idSizeMenuBesideCertificate();
    void sliderBounds_data();
    void sliderBounds();
    void editKeepsStrokesPerTile();
    void strokesReachTile_data();
    void strokesReachTile();

private:
    // The tile as "Download" writes it at original resolution and without crop or
    // background unless the batch chose them; empty on failure.
    cv::Mat download(QPreviewItem* tile, const QString& folder);

    mattingtest::RealService service;
    batchtest::UrlSink urls;
};

namespace {
int transparentPixels(const cv::Mat& bgra)
{
    std::vector<cv::Mat> channels;
    cv::split(bgra, channels);
    return bgra.channels() == 4 ? int(bgra.total()) - cv::countNonZero(channels[3]) : -1;
}
} // namespace

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

cv::Mat TestBatchEdit::download(QPreviewItem* tile, const QString& folder)
{
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    CSetting::setValue("output", "path", folder);
    CSetting::setValue("output", "format", 0);
    CSetting::setValue("output", "size", 3);
    batchtest::answerModal("btnApply");
    QTest::mouseClick(tile->findChild<QPushButton*>("btnDownload"), Qt::LeftButton);
    const auto files = [folder] { return QDir(folder).entryList({"*.png"}, QDir::Files); };
    if (!QTest::qWaitFor([&] { return files().size() == 1; }, kTimeoutMs))
        return cv::Mat();
    return cv::imread((folder + "/" + files().first()).toStdString(), cv::IMREAD_UNCHANGED);
}

void TestBatchEdit::idSizeMenuBesideCertificate_data()
{
    QTest::addColumn<int>("entry");
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("buttonText");
    QTest::addColumn<QSize>("written");
    QTest::newRow("first") << 0 << 19 << "259x377px >" << QSize(259, 377);
    QTest::newRow("second") << 1 << 20 << "295x413px >" << QSize(295, 413);
    QTest::newRow("last") << 4 << 23 << "413x579px >" << QSize(413, 579);
}

// Hovering "Certificate" opens the menu at its right edge, vertically centred on
// it; an entry names the button and crops every finished tile to its size.
void TestBatchEdit::idSizeMenuBesideCertificate()
{
    QFETCH(int, entry);
    QFETCH(int, id);
    QFETCH(QString, buttonText);
    QFETCH(QSize, written);
    QBatchMattingWidget widget;
    widget.resize(1100, 700);
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    widget.startBatch(0, {mattingtest::makePhoto(QString("id_%1.png").arg(entry), 600, 800)});
    QVERIFY(batchtest::waitReady(widget.items()));
    auto* menu = widget.findChild<QBatchMenu*>();
    QVERIFY(menu);
    QVERIFY(!menu->isVisible());
    QSizeButton* certificate = widget.sizeButtons().at(6);
    QCOMPARE(certificate->name(), QString("Certificate >"));

    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), certificate->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(certificate, &enter);
    QVERIFY(menu->isVisible());
    const QPoint at = certificate->mapTo(&widget, QPoint(0, 0));
    QCOMPARE(menu->pos(), QPoint(at.x() + certificate->width() - 4,
                                 at.y() + (certificate->height() - menu->height()) / 2));

    QSignalSpy crops(&widget, &QBatchMattingWidget::signal_apply_crop_size);
    QTest::mouseClick(menu->findChildren<QPushButton*>().at(entry), Qt::LeftButton);
    QVERIFY(!menu->isVisible());
    QCOMPARE(crops.size(), 1);
    QCOMPARE(crops.first().at(0).toInt(), id);
    QCOMPARE(certificate->name(), buttonText);
    QVERIFY(certificate->isChecked());
    QVERIFY(!widget.sizeButtons().first()->isChecked());
    const cv::Mat saved = download(widget.items().first(), testutils::sandboxPath() + "/id");
    QCOMPARE(QSize(saved.cols, saved.rows), written);
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
    widget.startBatch(
        1, {mattingtest::makePhoto("edit_a.png", 400, 300), mattingtest::makePhoto("edit_b.png", 400, 300)});
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

void TestBatchEdit::strokesReachTile_data()
{
    QTest::addColumn<bool>("keep");          // the mode chosen on the side panel
    QTest::addColumn<QList<double>>("rows"); // stroke heights, as parts of the view
    QTest::newRow("remove across the subject") << false << QList<double>{0.5};
    QTest::newRow("keep across the backdrop") << true << QList<double>{0.28};
    QTest::newRow("two quick removes") << false << QList<double>{0.5, 0.56};
}

// Strokes made with the side panel's brush mode reach the tile; strokes handed
// over one after another without waiting give one merge result each, and the
// tile ends with the later one, which holds both.
void TestBatchEdit::strokesReachTile()
{
    QFETCH(bool, keep);
    QFETCH(QList<double>, rows);
    QBatchMattingWidget widget;
    widget.resize(1100, 700);
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    widget.startBatch(
        1, {mattingtest::makePhoto(QString("strokes_%1.png").arg(QTest::currentDataTag()).replace(' ', '_'),
                                   400, 300)});
    QVERIFY(batchtest::waitReady(widget.items()));
    QPreviewItem* tile = widget.items().first();
    const cv::Mat plain = QTaskManager::getTask(tile->taskId())->loadCutout();
    auto* panel = widget.findChild<QPageCutOut*>();
    QVERIFY(panel);
    QList<cv::Mat> results;
    connect(widget.editor(), &QBatchCutWidget::signal_cut_finished, this,
            [&results](cv::Mat image) { results << image; });
    QSignalSpy handedBack(tile, &QPreviewItem::signal_edit_finished);
    auto* pages = widget.findChild<QStackedWidget*>("stackedWidget");
    for (double row : rows) {
        QTest::mouseClick(tile->findChild<QPushButton*>("btnEdit"), Qt::LeftButton);
        QTRY_COMPARE(pages->currentIndex(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(widget.editor()->view() && widget.editor()->view()->isReady(), kTimeoutMs);
        QTest::mouseClick(panel->findChild<QPushButton*>(keep ? "btnKeep" : "btnRemove"), Qt::LeftButton);
        QCOMPARE(widget.editor()->view()->isKeepMode(), keep);
        QWidget* view = widget.editor()->view();
        batchtest::stroke(view, int(view->height() * row));
        QTest::mouseClick(widget.findChild<QPushButton*>("btnComplete"), Qt::LeftButton);
    }
    QTRY_COMPARE_WITH_TIMEOUT(handedBack.size(), rows.size(), kTimeoutMs);
    QTRY_VERIFY(!tile->isBusy());
    QCOMPARE(results.size(), rows.size());

    const int before = transparentPixels(plain);
    QList<int> after;
    for (const cv::Mat& merged : results) {
        if (!merged.empty())
            after << transparentPixels(merged);
    }
    QVERIFY(!after.isEmpty());
    const int latest =
        keep ? *std::min_element(after.begin(), after.end()) : *std::max_element(after.begin(), after.end());
    if (keep)
        QVERIFY2(latest < before, qPrintable(QString("%1 >= %2").arg(latest).arg(before)));
    else
        QVERIFY2(latest > before, qPrintable(QString("%1 <= %2").arg(latest).arg(before)));
    const cv::Mat saved = download(tile, testutils::sandboxPath() + "/strokes");
    QCOMPARE(transparentPixels(saved), latest);
}

BRISEL_TEST_MAIN(TestBatchEdit)
#include "tst_batchedit.moc"
