// The eraser as a user meets it: from the home page a photo is picked, a date stamp
// painted over with real drags is filled in, saved and undone; from the editor a
// cut-out is retouched, comes back with its alpha and is undone there.

#include "acceptance.h"
#include "inpaintfixtures.h"
#include "mouseinput.h"
#include "qcropwidget.h"
#include "qeraserwidget.h"
#include "qimagecutoutwidget.h"
#include "qmainwidget.h"
#include "quserhelp.h"

#include <QDir>

#include <opencv2/imgcodecs.hpp>

using namespace acceptance;
using namespace inpaintfixtures;

namespace {

// A date stamp on the grey backdrop beside the face.
const cv::Rect kMark(470, 140, 100, 30);

} // namespace

class TestAcceptEraser : public Scenarios
{
    Q_OBJECT

    QEraserWidget* eraser() const { return window->findChild<QEraserWidget*>(); }

    // Paints over the mark with one drag along its middle; the stroke lands half a
    // brush below the pointer.
    void paintOver(QImageCutoutWidget* view, cv::Rect box)
    {
        const QPointF middle(box.x, box.y + box.height / 2.0);
        const QPoint lift(0, view->brushSize() / 2);
        QVector<QPoint> path;
        for (int x = box.x - 10; x <= box.x + box.width + 10; x += 10)
            path << view->viewport().toWidget(QPointF(x, middle.y())).toPoint() - lift;
        mouseinput::drag(view, Qt::LeftButton, path);
    }

private slots:
    void init() { window = openWindow(); }

    void eraseSaveUndo()
    {
        cv::Mat clean = cv::imread(testutils::dataPath("astronaut.png").toStdString());
        cv::resize(clean, clean, cv::Size(800, 600), 0, 0, cv::INTER_AREA);
        const Marked m = markText(clean, kMark);
        const QString photo = testutils::sandboxPath() + "/photos/stamped.png";
        QVERIFY(QDir().mkpath(testutils::sandboxPath() + "/photos") &&
                cv::imwrite(photo.toStdString(), m.marked));

        answerFileDialog(photo);
        QVERIFY(click(window.get(), "RemoveMark") && answersUsed());
        QVERIFY(waitFor([this] { return eraser() && eraser()->view()->isReady() && !eraser()->isBusy(); }));
        QEraserWidget* tool = eraser();
        const int brush = tool->view()->brushSize();
        key(tool, Qt::Key_BracketRight);
        key(tool, Qt::Key_BracketRight);
        QCOMPARE(tool->view()->brushSize(), brush + 2 * QEraserWidget::kBrushStep);
        QVERIFY(tool->view()->brushSize() * tool->view()->viewport().imagePerWidgetPixel() >
                kMark.height + 10);
        paintOver(tool->view(), kMark);
        QVERIFY(waitFor([tool] { return tool->document().isModified() && !tool->isBusy(); }));

        const QString folder = QUserHelp::outputFolder();
        const QStringList before = listFiles(folder, "*.png");
        pressInDialog("btnApply", {"btnFormatPNG"});
        QVERIFY(click(tool, "btnEraserSave") && answersUsed());
        const QString path = waitNewFile(folder, "*.png", before);
        QVERIFY(!path.isEmpty() && waitFor([tool] { return !tool->isBusy(); }));
        cv::Mat saved = cv::imread(path.toStdString());
        QCOMPARE(saved.size(), m.marked.size());
        const double error = meanAbsError(saved, clean, m.mask);
        QVERIFY2(error < 0.6 * meanAbsError(m.marked, clean, m.mask), qPrintable(QString::number(error)));
        // Beyond the brush's reach nothing moved.
        cv::Mat far(clean.size(), CV_8U, cv::Scalar(255));
        far(kMark - cv::Point(50, 50) + cv::Size(100, 100)).setTo(0);
        QCOMPARE(cv::norm(saved, m.marked, cv::NORM_INF, far), 0.0);

        key(tool, Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(waitFor([tool] { return !tool->document().isModified() && !tool->isBusy(); }));
        QCOMPARE(cv::norm(tool->document().result(), m.marked, cv::NORM_INF), 0.0);
    }

    void eraseInEditor()
    {
        QVERIFY(openPhoto(window.get(), "EnterPerson", personPhoto("erase.png")) &&
                chooseOutputFolder(window.get(), out) && choose(window.get(), "comboOutputSize", 3));
        const QImage before = decode(save(window.get(), out, false));
        QVERIFY(click(window.get(), "btnEraseObject"));
        QVERIFY(waitFor([this] { return eraser() && eraser()->view()->isReady() && !eraser()->isBusy(); }));
        QEraserWidget* tool = eraser();
        paintOver(tool->view(), cv::Rect(234, 140, 80, 20)); // across the face
        QVERIFY(waitFor([tool] { return tool->document().isModified() && !tool->isBusy(); }));
        QVERIFY(click(tool, "btnEraserApply"));
        auto* host = window->findChild<QCropWidget*>("editView");
        QVERIFY(waitFor([&] { return !eraser() && !host->isBusy(); }));
        const QImage erased = decode(save(window.get(), out, false));
        QVERIFY(erased != before);
        QCOMPARE(erased.convertToFormat(QImage::Format_Alpha8),
                 before.convertToFormat(QImage::Format_Alpha8));
        key(window.get(), Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(waitFor([&] { return !host->isBusy(); }));
        QCOMPARE(decode(save(window.get(), out, false)), before);
    }
};

ACCEPTANCE_MAIN(TestAcceptEraser)
#include "tst_accept_eraser.moc"
