// One edit of a tile through the side panel's brush, against the real service (key
// engine): the file the tile then saves holds the stroke, drawn with the hardness
// the panel names.

#include "batchfixtures.h"
#include "qbatchcutwidget.h"
#include "qbatchmattingwidget.h"
#include "qimagecutoutwidget.h"
#include "qimagetask.h"
#include "qmaskstroke.h"
#include "qpagecutout.h"
#include "qpreviewitem.h"
#include "qtaskmanager.h"
#include "testutils.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStackedWidget>

constexpr int kTimeoutMs = batchtest::kMattingTimeoutMs;

namespace {
int transparentPixels(const cv::Mat& bgra)
{
    cv::Mat alpha;
    cv::extractChannel(bgra, alpha, 3);
    return int(bgra.total()) - cv::countNonZero(alpha);
}

// Display-mask pixels at about half the Keep colour's strength: a soft brush's rim.
int rimPixels(const QImage& mask)
{
    const int half = QMaskStroke::keepColor().alpha() / 2;
    int count = 0;
    for (int y = 0; y < mask.height(); ++y)
        for (int x = 0; x < mask.width(); ++x)
            count += qAbs(qAlpha(mask.pixel(x, y)) - half) <= 15;
    return count;
}
} // namespace

class TestBatchEdit : public batchtest::ServiceSuite
{
    Q_OBJECT

private slots:
    void strokeReachesSavedFile_data()
    {
        QTest::addColumn<bool>("keep");    // the mode chosen on the side panel
        QTest::addColumn<double>("row");   // stroke height, as a part of the photo
        QTest::addColumn<int>("hardness"); // where the Hardness slider is put
        QTest::newRow("remove across the subject") << false << 0.5 << 0;
        QTest::newRow("keep across the backdrop, slider at 0") << true << 0.08 << 0;
        QTest::newRow("keep across the backdrop, slider at 50") << true << 0.08 << 50;
    }

    void strokeReachesSavedFile()
    {
        QFETCH(bool, keep);
        QFETCH(double, row);
        QFETCH(int, hardness);
        QBatchMattingWidget widget;
        widget.resize(1100, 700);
        widget.show();
        QVERIFY(QTest::qWaitForWindowExposed(&widget));
        widget.startBatch(1, {mattingtest::makePhoto("strokes.png", 400, 300)});
        QVERIFY(batchtest::waitReady(widget.items()));
        QPreviewItem* tile = widget.items().first();
        const int before = transparentPixels(QTaskManager::getTask(tile->taskId())->loadCutout());

        QSignalSpy handedBack(tile, &QPreviewItem::signal_edit_finished);
        QTest::mouseClick(tile->findChild<QPushButton*>("btnEdit"), Qt::LeftButton);
        QTRY_COMPARE(widget.findChild<QStackedWidget*>("stackedWidget")->currentIndex(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(widget.editor()->view() && widget.editor()->view()->isReady(), kTimeoutMs);
        auto* panel = widget.findChild<QPageCutOut*>();
        QTest::mouseClick(panel->findChild<QPushButton*>(keep ? "btnKeep" : "btnRemove"), Qt::LeftButton);
        panel->findChild<QSlider*>("hSliderHardness")->setValue(hardness);
        panel->findChild<QSlider*>("hSliderBrushSize")->setValue(40);
        QImageCutoutWidget* view = widget.editor()->view();
        const QRect photo = view->imageRect();
        batchtest::stroke(view, photo.top() + int(photo.height() * row));
        // Whichever way the slider runs, the brush's rim follows the hardness it names.
        if (keep)
            QCOMPARE(rimPixels(view->displayMask()) > view->width() / 3,
                     panel->brushHardness() < QMaskStroke::kMaxHardness);
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
