// Refine and the edge controls as a user meets them: a Keep stroke across an
// object the matting dropped and Refine bring the object into the saved file, and
// Ctrl+Z takes exactly that back; feather, shift and the colour switch change the
// saved edge; the batch editor refines the same way.

#include "acceptance.h"
#include "mouseinput.h"
#include "qbatchmattingwidget.h"
#include "qimagecutoutwidget.h"
#include "qmainwidget.h"
#include "qpreviewitem.h"

#include <QDir>
#include <QPainter>
#include <QSlider>

using namespace acceptance;

namespace {

// A red disc on the flat backdrop with a blue square beside it, too small beside
// the disc for the key engine to keep.
const QRect kSquare(410, 140, 40, 40);

QString photoWithSmallObject(const QString& name)
{
    QImage image(kSmall, QImage::Format_RGB32);
    image.fill(kBackground);
    QPainter painter(&image);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(220, 40, 40));
    painter.drawEllipse(QPoint(200, 171), 110, 110);
    painter.fillRect(kSquare, QColor(40, 60, 220));
    painter.end();
    const QString folder = testutils::sandboxPath() + "/photos";
    return QDir().mkpath(folder) && image.save(folder + "/" + name) ? folder + "/" + name : QString();
}

// Share of the square's pixels that are opaque in a saved file.
double squareKept(const QImage& saved)
{
    int opaque = 0;
    for (int y = kSquare.top(); y <= kSquare.bottom(); ++y)
        for (int x = kSquare.left(); x <= kSquare.right(); ++x)
            opaque += qAlpha(saved.pixel(x, y)) > 200;
    return double(opaque) / (kSquare.width() * kSquare.height());
}

int countAlpha(const QImage& image, int low, int high)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += qAlpha(image.pixel(x, y)) >= low && qAlpha(image.pixel(x, y)) <= high;
    return n;
}

} // namespace

class TestAcceptRefine : public Scenarios
{
    Q_OBJECT

    QImage saved()
    {
        return choose(window.get(), "comboOutputSize", 3) ? decode(save(window.get(), out, false)) : QImage();
    }
    // A Keep stroke across the square, through its middle, and Refine; true once
    // the refine is recorded.
    bool keepAcrossSquareAndRefine(QImageCutoutWidget* view)
    {
        if (!(click(window.get(), "btnTabBrush") && click(window.get(), "btnKeep") &&
              waitFor([view] { return view->isReady(); })))
            return false;
        const QRect shown = view->imageRect();
        const auto onScreen = [&](int x, int y) {
            return shown.topLeft() +
                   QPoint(x * shown.width() / kSmall.width(), y * shown.height() / kSmall.height());
        };
        const QPoint below(0, view->brushSize() / 2); // strokes land half a brush below the pointer
        const int y = kSquare.center().y();
        mouseinput::drag(view, Qt::LeftButton,
                         {onScreen(kSquare.left() + 6, y) - below, onScreen(kSquare.center().x(), y) - below,
                          onScreen(kSquare.right() - 6, y) - below});
        const int states = view->history().count();
        return click(window.get(), "btnRefine") && waitFor([view, states] {
                   return !view->isRefining() && view->history().count() == states + 1;
               });
    }

private slots:
    void init() { window = openWindow(); }

    void refineBringsTheObjectAndUndoTakesItBack()
    {
        QVERIFY(openPhoto(window.get(), "EnterGoods", photoWithSmallObject("small.png")) &&
                chooseOutputFolder(window.get(), out));
        QVERIFY(squareKept(saved()) < 0.1); // what the matting dropped
        QVERIFY(click(window.get(), "BtnTabCutout"));
        auto* view = find<QImageCutoutWidget>(window.get(), "brushView");
        QVERIFY(view && keepAcrossSquareAndRefine(view));
        const QImage stroked = view->history().state(view->history().current() - 1);
        QVERIFY(click(window.get(), "BtnTabCutout"));
        const QImage file = saved();
        QVERIFY2(squareKept(file) > 0.9, qPrintable(QString::number(squareKept(file))));
        QVERIFY(cornersTransparent(file));

        QVERIFY(click(window.get(), "BtnTabCutout"));
        key(window.get(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(view->mask(), stroked);
        QVERIFY(click(window.get(), "BtnTabCutout"));
        QVERIFY(squareKept(saved()) < 0.7); // only the stroke's own band
    }

    // Shift out adds opaque pixels, feather adds soft ones, and with the colour
    // switch off the soft edge shows the photo's own colours.
    void edgeControlsChangeTheSavedEdge()
    {
        const QString photo = productPhoto("edge.png");
        QVERIFY(openPhoto(window.get(), "EnterGoods", photo) && chooseOutputFolder(window.get(), out));
        const QImage plain = saved();
        const auto edit = [this](const char* control) {
            if (!click(window.get(), "BtnTabCutout"))
                return false;
            if (auto* slider = find<QSlider>(window.get(), control))
                QTest::keyClick(slider, Qt::Key_End);
            else if (!click(window.get(), control))
                return false;
            return click(window.get(), "BtnTabCutout");
        };
        QVERIFY(edit("hSliderShift"));
        const QImage shifted = saved();
        QVERIFY(countAlpha(shifted, 128, 255) > countAlpha(plain, 128, 255) + 500);
        QVERIFY(edit("hSliderFeather"));
        const QImage feathered = saved();
        QVERIFY(countAlpha(feathered, 1, 254) > 2 * countAlpha(shifted, 1, 254));
        QVERIFY(edit("checkDecontaminate"));
        const QImage own = saved(), original = decode(photo);
        // Soft pixels above a middling alpha: the canvas keeps colours premultiplied,
        // which blurs those of fainter ones.
        int soft = 0, differ = 0;
        for (int y = 0; y < own.height(); ++y)
            for (int x = 0; x < own.width(); ++x) {
                const QRgb o = own.pixel(x, y), p = original.pixel(x, y);
                if (qAlpha(o) <= 100 || qAlpha(o) >= 235)
                    continue;
                ++soft;
                differ += qAbs(qRed(o) - qRed(p)) + qAbs(qGreen(o) - qGreen(p)) > 6;
            }
        QVERIFY(soft > 100);
        QVERIFY2(differ * 50 < soft, qPrintable(QString("%1 of %2").arg(differ).arg(soft)));
    }

    void batchEditorRefines()
    {
        pressInDialog("pageAddImage");
        answerFileDialog(photoWithSmallObject("batch.png"));
        pressInDialog("btnCutout");
        QVERIFY(click(window.get(), "BatchGoods") && answersUsed());
        auto* batch = window->findChild<QBatchMattingWidget*>();
        QVERIFY(
            batch &&
            waitFor([batch] { return !batch->items().isEmpty() && batch->items()[0]->isReady(); }, 60000));
        QVERIFY(chooseOutputFolder(window.get(), out));
        QPreviewItem* tile = batch->items()[0];
        QTest::mouseMove(tile, tile->rect().center());
        QVERIFY(click(tile, "btnEdit") &&
                waitFor([this] { return countShown(window.get(), "brushView") == 1; }));
        auto* view = find<QImageCutoutWidget>(window.get(), "brushView");
        QVERIFY(keepAcrossSquareAndRefine(view));
        QVERIFY(click(window.get(), "btnComplete") && waitFor([tile] { return !tile->isBusy(); }));
        const QStringList before = listFiles(out);
        pressInDialog("btnApply", {"btnFormatPNG"});
        QTest::mouseMove(tile, tile->rect().center());
        QVERIFY(click(tile, "btnDownload") && answersUsed());
        const QImage file = decode(waitNewFile(out, "*.png", before));
        QVERIFY2(squareKept(file) > 0.9, qPrintable(QString::number(squareKept(file))));
    }
};

ACCEPTANCE_MAIN(TestAcceptRefine)
#include "tst_accept_refine.moc"
