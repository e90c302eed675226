// One edit of a tile through the side panel and the edit page's keys, against the
// real service (key engine): the file the tile then saves holds the edit.

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

#include <QMap>
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
    void editReachesSavedFile_data()
    {
        QTest::addColumn<QStringList>("buttons"); // side panel buttons clicked in turn
        QTest::addColumn<double>("row");          // stroke or click height, as a part of the photo
        QTest::addColumn<int>("hardness");        // where the Hardness slider is put
        QTest::addColumn<int>("brushSize");       // the view's brush after "]" pressed 14 times
        QTest::addColumn<QStringList>("keys");    // pressed after the edit
        QTest::addColumn<QString>("expect");      // transparent pixels saved against before
        const QStringList none;
        QTest::newRow("remove across the subject") << QStringList{"btnRemove"} << 0.5 << 0 << 40 << none << "more";
        QTest::newRow("keep, softest") << QStringList{"btnKeep"} << 0.08 << 0 << 40 << none << "fewer";
        QTest::newRow("keep, hardest") << QStringList{"btnKeep"} << 0.08 << 50 << 40 << none << "fewer";
        QTest::newRow("magic keep on the backdrop")
            << QStringList{"btnTabMagic", "btnKeep"} << 0.08 << 0 << 12 << none << "under half";
        QTest::newRow("undone") << QStringList{"btnRemove"} << 0.5 << 0 << 40 << QStringList{"Ctrl+Z"} << "same";
        QTest::newRow("undone, redone")
            << QStringList{"btnRemove"} << 0.5 << 0 << 40 << QStringList{"Ctrl+Z", "Ctrl+Shift+Z"} << "more";
    }

    void editReachesSavedFile()
    {
        QFETCH(QStringList, buttons);
        QFETCH(double, row);
        QFETCH(int, hardness);
        QFETCH(int, brushSize);
        QFETCH(QStringList, keys);
        QFETCH(QString, expect);
        QBatchMattingWidget widget;
        widget.resize(1100, 700);
        widget.show();
        widget.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&widget));
        widget.startBatch(1, {mattingtest::makePhoto("strokes.png", 400, 300)});
        QVERIFY(batchtest::waitReady(widget.items()));
        QPreviewItem* tile = widget.items().first();
        const int before = transparentPixels(QTaskManager::getTask(tile->taskId())->loadCutout());

        QSignalSpy handedBack(tile, &QPreviewItem::signal_edit_finished);
        QTest::mouseClick(tile->findChild<QPushButton*>("btnEdit"), Qt::LeftButton);
        QTRY_COMPARE(widget.findChild<QStackedWidget*>("stackedWidget")->currentIndex(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(widget.editor()->view() && widget.editor()->view()->isReady(), kTimeoutMs);
        auto* panel = widget.findChild<QPageCutOut*>();
        for (const QString& button : buttons)
            QTest::mouseClick(panel->findChild<QPushButton*>(button), Qt::LeftButton);
        panel->findChild<QSlider*>("hSliderHardness")->setValue(hardness);
        QImageCutoutWidget* view = widget.editor()->view();
        for (int i = 0; i < 14; ++i)
            QTest::keyClick(view, Qt::Key_BracketRight);
        QCOMPARE(view->brushSize(), brushSize);
        const QRect photo = view->imageRect();
        const QPoint at(photo.center().x(), photo.top() + int(photo.height() * row));
        if (buttons.contains("btnTabMagic"))
            QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, at);
        else
            batchtest::stroke(view, at.y());
        // Whichever way the slider runs, the brush's rim follows the hardness it names.
        if (buttons == QStringList{"btnKeep"})
            QCOMPARE(rimPixels(view->displayMask()) > view->width() / 3,
                     panel->brushHardness() < QMaskStroke::kMaxHardness);
        for (const QString& key : keys)
            QTest::keySequence(view, QKeySequence(key));
        QTest::mouseClick(widget.findChild<QPushButton*>("btnComplete"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(handedBack.size(), 1, kTimeoutMs);
        QTRY_VERIFY(!tile->isBusy());

        const QString out = testutils::sandboxPath() + "/out";
        batchtest::saveInto(out);
        const cv::Mat saved = batchtest::download(tile, out);
        QCOMPARE(saved.channels(), 4);
        const int after = transparentPixels(saved);
        const QMap<QString, bool> holds{
            {"more", after > before}, {"fewer", after < before}, {"same", after == before}, {"under half", after < before / 2}};
        QVERIFY2(holds.value(expect),
                 qPrintable(QString("%1 -> %2").arg(before).arg(after)));
        QVERIFY(messages.isEmpty());
    }
};

BRISEL_TEST_MAIN(TestBatchEdit)
#include "tst_batchedit.moc"
