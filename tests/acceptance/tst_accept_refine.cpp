// Refine and the edge controls as a user meets them: a Keep stroke across an
// object the matting dropped and Refine bring it into the saved file, Ctrl+Z takes
// exactly that back, in both editors; feather, shift and the colour switch change
// the saved edge; Keep shadow keeps a product's soft shadow in the saved file, in
// both editors.

#include "acceptance.h"
#include "mouseinput.h"
#include "qbatchmattingwidget.h"
#include "qimagecutoutwidget.h"
#include "qmainwidget.h"
#include "qpreviewitem.h"

#include <QCheckBox>
#include <QDir>
#include <QPainter>
#include <QSlider>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

using namespace acceptance;

namespace {

// A blue square (1600 px) beside a red disc on the backdrop, too small for the key
// engine to keep.
const QRect kSquare(410, 140, 40, 40);

QString photoWithSmallObject(const QString& name)
{
    QImage image(kSmall, QImage::Format_RGB32);
    image.fill(kBackground);
    QPainter painter(&image);
    painter.setBrush(QColor(220, 40, 40));
    painter.drawEllipse(QPoint(200, 171), 110, 110);
    painter.fillRect(kSquare, QColor(40, 60, 220));
    const QString folder = testutils::sandboxPath() + "/photos";
    return QDir().mkpath(folder) && image.save(folder + "/" + name) ? folder + "/" + name : QString();
}

// A dark disc on a light grey sheet, a blurred darker ellipse (its shadow) under
// it; kUnderDisc lies in the shadow, clear of the disc.
const QRect kUnderDisc(234, 240, 80, 8);

QString photoWithShadow(const QString& name)
{
    cv::Mat photo(kSmall.height(), kSmall.width(), CV_8UC3, cv::Scalar::all(215));
    cv::ellipse(photo, {274, 236}, {110, 22}, 0, 0, 360, cv::Scalar::all(175), cv::FILLED);
    cv::GaussianBlur(photo, photo, {0, 0}, 5);
    cv::circle(photo, {274, 150}, 80, cv::Scalar(60, 50, 40), cv::FILLED, cv::LINE_AA);
    const QString path = testutils::sandboxPath() + "/photos/" + name;
    return QDir().mkpath(testutils::sandboxPath() + "/photos") && cv::imwrite(path.toStdString(), photo)
               ? path
               : QString();
}

// Pixels of `area` with alpha in [low, high] and, if given, `also` true for them.
int countAlpha(const QImage& image, QRect area, int low, int high = 255,
               const std::function<bool(QRgb, QPoint)>& also = nullptr)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            n += qAlpha(p) >= low && qAlpha(p) <= high && (!also || also(p, QPoint(x, y)));
        }
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
    // A Keep stroke across the square and Refine; the view once the refine is
    // recorded, else null.
    QImageCutoutWidget* keepAcrossSquareAndRefine()
    {
        QImageCutoutWidget* view = nullptr;
        if (!waitFor([&] {
                return countShown(window.get(), "brushView") == 1 &&
                       (view = find<QImageCutoutWidget>(window.get(), "brushView"))->isReady();
            }) ||
            !click(window.get(), "btnKeep"))
            return nullptr;
        const QRect shown = view->imageRect();
        // Through the square's middle: strokes land half a brush below the pointer.
        const int y = kSquare.center().y() * shown.height() / kSmall.height() - view->brushSize() / 2;
        const auto at = [&](int x) {
            return shown.topLeft() + QPoint(x * shown.width() / kSmall.width(), y);
        };
        mouseinput::drag(view, Qt::LeftButton, {at(kSquare.left() + 6), at(kSquare.right() - 6)});
        const int states = view->history().count();
        return click(window.get(), "btnRefine") &&
                       waitFor([=] { return !view->isRefining() && view->history().count() == states + 1; })
                   ? view
                   : nullptr;
    }

    // Opens a batch of `photo` and its tile's editor; the tile, else null.
    QPreviewItem* editTile(const QString& photo)
    {
        pressInDialog("pageAddImage");
        answerFileDialog(photo);
        pressInDialog("btnCutout");
        auto* batch = click(window.get(), "BatchGoods") && answersUsed()
                          ? window->findChild<QBatchMattingWidget*>()
                          : nullptr;
        if (!batch ||
            !waitFor([batch] { return !batch->items().isEmpty() && batch->items()[0]->isReady(); }, 60000) ||
            !chooseOutputFolder(window.get(), out))
            return nullptr;
        QPreviewItem* tile = batch->items()[0];
        QTest::mouseMove(tile, QPoint(1, 1)); // the pointer may already rest on the middle
        QTest::mouseMove(tile, tile->rect().center());
        return click(tile, "btnEdit") ? tile : nullptr;
    }
    // Completes the edit and saves the tile as PNG; the file decoded.
    QImage savedTile(QPreviewItem* tile)
    {
        if (!click(window.get(), "btnComplete") || !waitFor([tile] { return !tile->isBusy(); }))
            return QImage();
        const QStringList before = listFiles(out);
        pressInDialog("btnApply", {"btnFormatPNG"});
        QTest::mouseMove(tile, tile->rect().center());
        return click(tile, "btnDownload") && answersUsed() ? decode(waitNewFile(out, "*.png", before))
                                                           : QImage();
    }

private slots:
    // Rows tagged "zh" run in Chinese.
    void init() { window = openWindow(QLatin1String(QTest::currentDataTag()) == "zh" ? "zh" : "en"); }

    void refineBringsTheObjectAndUndoTakesItBack()
    {
        QVERIFY(openPhoto(window.get(), "EnterGoods", photoWithSmallObject("small.png")) &&
                chooseOutputFolder(window.get(), out));
        QVERIFY(countAlpha(saved(), kSquare, 201) < 160); // what the matting dropped
        QVERIFY(click(window.get(), "BtnTabCutout"));
        QImageCutoutWidget* view = nullptr;
        QVERIFY((view = keepAcrossSquareAndRefine()));
        const QImage stroked = view->history().state(view->history().current() - 1);
        QVERIFY(click(window.get(), "BtnTabCutout"));
        const QImage file = saved();
        QVERIFY(countAlpha(file, kSquare, 201) > 1440 && cornersTransparent(file));
        QVERIFY(click(window.get(), "BtnTabCutout"));
        key(window.get(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(view->mask(), stroked);
    }

    // Shift out adds opaque pixels, feather soft ones, and with the colour switch
    // off the edge has the photo's own colours.
    void edgeControlsChangeTheSavedEdge()
    {
        const QString photo = productPhoto("edge.png");
        QVERIFY(openPhoto(window.get(), "EnterGoods", photo) && chooseOutputFolder(window.get(), out));
        const auto tuned = [this](const char* control) {
            if (!click(window.get(), "BtnTabCutout"))
                return QImage();
            if (auto* slider = find<QSlider>(window.get(), control))
                QTest::keyClick(slider, Qt::Key_End);
            else if (!click(window.get(), control))
                return QImage();
            return click(window.get(), "BtnTabCutout") ? saved() : QImage();
        };
        const QImage plain = saved(), shifted = tuned("hSliderShift"), feathered = tuned("hSliderFeather"),
                     before = tuned("checkDecontaminate");
        const auto opaque = [](const QImage& i) { return countAlpha(i, i.rect(), 128); };
        const auto partial = [](const QImage& i) { return countAlpha(i, i.rect(), 1, 254); };
        QVERIFY(opaque(shifted) > opaque(plain) + 300 && partial(feathered) > 2 * partial(shifted));
        // Soft pixels above a middling alpha: the canvas keeps colours premultiplied,
        // which blurs those of fainter ones.
        const QImage original = decode(photo);
        const int soft = countAlpha(before, before.rect(), 101, 234),
                  differ = countAlpha(before, before.rect(), 101, 234, [&](QRgb o, QPoint at) {
                      const QRgb p = original.pixel(at);
                      return qAbs(qRed(o) - qRed(p)) + qAbs(qGreen(o) - qGreen(p)) > 6;
                  });
        QVERIFY2(soft > 100 && differ * 50 < soft, qPrintable(QString("%1 of %2").arg(differ).arg(soft)));
    }

    // The switch mattes the photo again; the brush view takes the new cut-out.
    void keepShadowKeepsItInTheSavedFile()
    {
        QVERIFY(openPhoto(window.get(), "EnterGoods", photoWithShadow("shadow.png")) &&
                chooseOutputFolder(window.get(), out));
        const int area = kUnderDisc.width() * kUnderDisc.height();
        QVERIFY(countAlpha(saved(), kUnderDisc, 0, 9) == area);
        for (bool keep : {true, false}) {
            QVERIFY(click(window.get(), "BtnTabCutout"));
            auto* view = find<QImageCutoutWidget>(window.get(), "brushView");
            const uchar* shown = view ? view->sourceImage().data : nullptr;
            auto* box = find<QCheckBox>(window.get(), "checkKeepShadow");
            QVERIFY(shown && box);
            QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(8, box->height() / 2)); // its box
            QVERIFY(box->isChecked() == keep);
            QVERIFY(waitFor([&] { return view->isReady() && view->sourceImage().data != shown; }));
            QVERIFY(click(window.get(), "BtnTabCutout"));
            const QImage file = saved();
            const int shade = countAlpha(file, kUnderDisc, 10, 200,
                                         [](QRgb p, QPoint) { return qMax(qRed(p), qBlue(p)) < 40; });
            QVERIFY2(keep ? shade > area * 3 / 4 : countAlpha(file, kUnderDisc, 0, 9) == area,
                     qPrintable(QString::number(shade)));
        }
    }

    // With a stroke made, the switch asks first: No keeps the stroke and the choice.
    void keepShadowAsksBeforeDiscardingStrokes_data() { inBothLanguages(); }
    void keepShadowAsksBeforeDiscardingStrokes()
    {
        QVERIFY(openPhoto(window.get(), "EnterGoods", photoWithShadow("ask.png")) &&
                click(window.get(), "BtnTabCutout"));
        QImageCutoutWidget* view = nullptr;
        QVERIFY(waitFor(
            [&] { return (view = find<QImageCutoutWidget>(window.get(), "brushView")) && view->isReady(); }));
        const QPoint middle = view->imageRect().center();
        mouseinput::drag(view, Qt::LeftButton, {middle, middle + QPoint(40, 0)});
        QVERIFY(waitFor([&] { return view->canUndo(); }));
        const uchar* before = view->sourceImage().data;
        auto* box = find<QCheckBox>(window.get(), "checkKeepShadow");
        const auto toggle = [&](const QString& answer) {
            pressInDialog(answer);
            QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(8, box->height() / 2));
            return answersUsed();
        };
        QVERIFY(toggle("btnCancel") && !box->isChecked() && view->canUndo() &&
                view->sourceImage().data == before);
        QVERIFY(toggle("btnOk") && box->isChecked());
        QVERIFY(waitFor([&] { return view->isReady() && view->sourceImage().data != before; }));
    }

    void batchEditorRefines()
    {
        QPreviewItem* tile = editTile(photoWithSmallObject("batch.png"));
        QVERIFY(tile && keepAcrossSquareAndRefine());
        QVERIFY(countAlpha(savedTile(tile), kSquare, 201) > 1440);
    }

    void batchEditorKeepsShadow()
    {
        QPreviewItem* tile = editTile(photoWithShadow("batchshadow.png"));
        QImageCutoutWidget* view = nullptr;
        QVERIFY(tile && waitFor([&] {
                    return countShown(window.get(), "brushView") == 1 &&
                           (view = find<QImageCutoutWidget>(window.get(), "brushView"))->isReady();
                }));
        const uchar* shown = view->sourceImage().data;
        auto* box = find<QCheckBox>(window.get(), "checkKeepShadow");
        QVERIFY(box);
        QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(8, box->height() / 2));
        QVERIFY(waitFor([&] { return view->isReady() && view->sourceImage().data != shown; }, 60000));
        QVERIFY(countAlpha(savedTile(tile), kUnderDisc, 10, 200) >
                kUnderDisc.width() * kUnderDisc.height() * 3 / 4);
    }
};

ACCEPTANCE_MAIN(TestAcceptRefine)
#include "tst_accept_refine.moc"
