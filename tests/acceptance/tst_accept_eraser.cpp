// The eraser as a user meets it: from the home page a date stamp is painted over
// with real drags, filled in, saved and undone, and a photo dropped on the button
// opens; from the editor a cut-out is retouched, comes back with its alpha and is
// undone there.

#include "acceptance.h"
#include "inpaintfixtures.h"
#include "mouseinput.h"
#include "qcropwidget.h"
#include "qeraserwidget.h"
#include "qimagecutoutwidget.h"
#include "qmainwidget.h"
#include "quserhelp.h"

#include <QDropEvent>
#include <QMimeData>
#include <QSlider>

#include <opencv2/imgcodecs.hpp>

using namespace acceptance;

// Mean colour difference of two pictures inside box.
double distance(const QImage& a, const QImage& b, const QRect& box)
{
    double sum = 0;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum +=
                std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * box.width() * box.height());
}

class TestAcceptEraser : public Scenarios
{
    Q_OBJECT

    QEraserWidget* eraser() const { return window->findChild<QEraserWidget*>(); }

    // Waits for the eraser, drags once along the middle of `box` (strokes land half
    // a brush below the pointer) and waits for the fill.
    QEraserWidget* paintOver(cv::Rect box)
    {
        if (!waitFor([this] { return eraser() && eraser()->view()->isReady() && !eraser()->isBusy(); }))
            return nullptr;
        QImageCutoutWidget* view = eraser()->view();
        QVector<QPoint> path;
        for (int x = box.x - 10; x <= box.br().x + 10; x += 10)
            path << (view->viewport().toWidget(QPointF(x, box.y + box.height / 2.0)) -
                     QPointF(0, view->brushSize() / 2))
                        .toPoint();
        mouseinput::drag(view, Qt::LeftButton, path);
        return waitFor([this] { return eraser()->document().isModified() && !eraser()->isBusy(); }) ? eraser()
                                                                                                    : nullptr;
    }

private slots:
    // Rows tagged "zh" run in Chinese.
    void init() { window = openWindow(QLatin1String(QTest::currentDataTag()) == "zh" ? "zh" : "en"); }

    void eraseSaveUndo_data() { inBothLanguages(); }
    void eraseSaveUndo()
    {
        const cv::Rect stamp(470, 140, 100, 30); // on the grey backdrop beside the face
        cv::Mat clean = cv::imread(testutils::dataPath("astronaut.png").toStdString());
        cv::resize(clean, clean, cv::Size(800, 600), 0, 0, cv::INTER_AREA);
        const inpaintfixtures::Marked m = inpaintfixtures::markText(clean, stamp);
        const QString photo = testutils::sandboxPath() + "/stamped.png";
        QVERIFY(cv::imwrite(photo.toStdString(), m.marked));
        answerFileDialog(photo);
        QVERIFY(click(window.get(), "RemoveMark") && answersUsed());
        QEraserWidget* tool = paintOver(stamp);
        QVERIFY(tool);

        const QStringList before = listFiles(QUserHelp::outputFolder(), "*.png");
        pressInDialog("btnApply", {"btnFormatPNG"});
        QVERIFY(click(tool, "btnEraserSave") && answersUsed());
        const QString path = waitNewFile(QUserHelp::outputFolder(), "*.png", before);
        QVERIFY(!path.isEmpty() && waitFor([tool] { return !tool->isBusy(); }));
        const cv::Mat saved = cv::imread(path.toStdString());
        const double error = inpaintfixtures::meanAbsError(saved, clean, m.mask);
        QVERIFY2(error < 0.6 * inpaintfixtures::meanAbsError(m.marked, clean, m.mask),
                 qPrintable(QString::number(error)));
        cv::Mat far(clean.size(), CV_8U, cv::Scalar(255)); // beyond the brush's reach nothing moved
        far(stamp - cv::Point(50, 50) + cv::Size(100, 100)).setTo(0);
        QCOMPARE(cv::norm(saved, m.marked, cv::NORM_INF, far), 0.0);

        key(tool, Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(waitFor([tool] { return !tool->document().isModified() && !tool->isBusy(); }));
        QCOMPARE(cv::norm(tool->document().result(), m.marked, cv::NORM_INF), 0.0);
    }

    void dropOnHomeButton()
    {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(personPhoto("dropped.png"))});
        QWidget* button = find(window.get(), "RemoveMark");
        QDragEnterEvent enter(button->rect().center(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QDropEvent drop(button->rect().center(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(button, &enter); // a drop goes where the entering drag was taken
        QApplication::sendEvent(button, &drop);
        QVERIFY(waitFor(
            [this] { return eraser() && eraser()->view()->isReady() && !eraser()->document().isEmpty(); }));
    }

    void eraseInEditor_data() { inBothLanguages(); }
    void eraseInEditor()
    {
        QVERIFY(openPhoto(window.get(), "EnterPerson", personPhoto("erase.png")) &&
                chooseOutputFolder(window.get(), out) && choose(window.get(), "comboOutputSize", 3));
        const QImage before = decode(save(window.get(), out, false));
        QVERIFY(click(window.get(), "btnEraseObject"));
        QEraserWidget* tool = paintOver(cv::Rect(234, 140, 80, 20)); // across the face
        QVERIFY(tool && click(tool, "btnEraserApply"));
        auto* host = window->findChild<QCropWidget*>("editView");
        QVERIFY(waitFor([&] { return !eraser() && !host->isBusy(); }));
        const QImage erased = decode(save(window.get(), out, false));
        QVERIFY(erased != before);
        QCOMPARE(erased.convertToFormat(QImage::Format_Alpha8),
                 before.convertToFormat(QImage::Format_Alpha8));
        // Smoothing afterwards starts from the downloaded cut-out: the erase stays.
        QVERIFY(click(window.get(), "BtnTabBeautify") && click(window.get(), "btnTabSmooth"));
        auto* slider = find<QSlider>(window.get(), "hSliderSmooth");
        const auto slide = [&](int x) {
            QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier, QPoint(x, slider->height() / 2));
            return waitFor([&] { return slider->isEnabled() && !host->isBusy(); });
        };
        QVERIFY(slide(slider->width() - 4) && slider->value() > 0);
        const QRect stroke(234, 140, 80, 20);
        const QImage smoothed = decode(save(window.get(), out, false));
        QVERIFY2(distance(smoothed, erased, stroke) < distance(before, erased, stroke) / 3,
                 qPrintable(QString("%1 %2")
                                .arg(distance(smoothed, erased, stroke))
                                .arg(distance(before, erased, stroke))));
        QVERIFY(slide(2) && slider->value() == 0);
        QCOMPARE(decode(save(window.get(), out, false)), erased);
        key(window.get(), Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(waitFor([&] { return !host->isBusy(); }));
        QCOMPARE(decode(save(window.get(), out, false)), before);
    }
};

ACCEPTANCE_MAIN(TestAcceptEraser)
#include "tst_accept_eraser.moc"
