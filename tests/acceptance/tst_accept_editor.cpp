// The single-photo editor as a user sees it: what the views show is what is saved,
// a new photo starts clean, the brush controls do what they say, one zoom scale,
// rotated phone photos upright everywhere.

#include "acceptance.h"
#include "cwinapp.h"
#include "mouseinput.h"
#include "qimagecanvas.h"
#include "qimagecropwidget.h"
#include "qimagecutoutwidget.h"
#include "qimagedraw.h"
#include "qmainwidget.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QSlider>

#include <opencv2/imgcodecs.hpp>

using namespace acceptance;

namespace {

// Whether the subject's pixels lie mostly left of the middle.
bool subjectLeftOfCentre(const QImage& image, const std::function<bool(QRgb)>& isSubject)
{
    qint64 sum = 0, count = 0;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2)
            if (isSubject(image.pixel(x, y)))
                sum += x, ++count;
    return count > 0 && sum / count < image.width() / 2;
}

bool isPhotoSubject(QRgb p)
{
    return qAbs(qGreen(p) - qGreen(kBackground)) + qAbs(qRed(p) - qRed(kBackground)) > 80;
}

} // namespace

class TestAcceptEditor : public QObject
{
    Q_OBJECT

    Service service;
    std::unique_ptr<QMainWidget> window;
    const QString out = testutils::sandboxPath() + "/out";

    QImageCropWidget* cropView() const { return window->findChild<QImageCropWidget*>("cropView"); }
    QImageCutoutWidget* brushView() const { return window->findChild<QImageCutoutWidget*>("brushView"); }
    QImageCanvas* canvas() const { return cropView()->canvas(); }

    // Opens `photo` from a card, or with "Upload again" once a photo is open, and
    // waits until the editor shows its cut-out.
    bool open(const QString& photo, const QString& card = "EnterPerson")
    {
        const QString before = canvas()->taskId();
        if (before.isEmpty()) {
            if (!openPhoto(window.get(), card, photo) || !chooseOutputFolder(window.get(), out))
                return false;
        } else {
            answerFileDialog(photo);
            if (!click(window.get(), "btnUploadAgain") || !answersUsed())
                return false;
        }
        return waitFor([this, before] {
            return canvas()->taskId() != before && cropView()->hasImage() && brushView()->isReady();
        });
    }
    // Puts a picture of `size` in the custom background tab, as a user adds one.
    bool pictureBehind(QSize size)
    {
        const QString path = QString("%1/photos/behind-%2x%3.png")
                                 .arg(testutils::sandboxPath())
                                 .arg(size.width())
                                 .arg(size.height());
        std::vector<uchar> bytes;
        cv::imencode(".png", cv::Mat(size.height(), size.width(), CV_8UC3, cv::Scalar(255, 0, 0)), bytes);
        if (!testutils::writeFile(path,
                                  QByteArray(reinterpret_cast<const char*>(bytes.data()), int(bytes.size()))))
            return false;
        answerFileDialog(path);
        return click(window.get(), "BtnTabChangeBg") && click(window.get(), "btnCustom") &&
               click(window.get(), "btnAddTemplate") && answersUsed() &&
               waitFor([this] { return canvas()->backgroundType() == QImageCanvas::BackgroundPicture; });
    }
    bool cropTo(const QString& ratio)
    {
        QWidget* size = click(window.get(), "BtnTabCrop") ? findText(window.get(), ratio) : nullptr;
        if (!size)
            return false;
        QTest::mouseClick(size, Qt::LeftButton, Qt::NoModifier, size->rect().center());
        return click(window.get(), "btnApplyCrop");
    }
    QImage saved(int outputSize = 3)
    {
        return choose(window.get(), "comboOutputSize", outputSize) ? decode(save(window.get(), out, false))
                                                                   : QImage();
    }
    // Zooms with the bar's buttons until it reads `percent`; false when it never does.
    bool zoomTo(const QString& percent)
    {
        auto* label = find<QLabel>(window.get(), "labelImageFactor");
        for (int i = 0; i < 40 && label && label->text() != percent; ++i) {
            const int now = label->text().chopped(1).toInt();
            // The minus magnifier (btnZoomIn) zooms out.
            if (!click(window.get(), now > percent.chopped(1).toInt() ? "btnZoomIn" : "btnZoomOut"))
                return false;
        }
        return label && label->text() == percent;
    }

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(service.start(&error), qPrintable(error));
        QVERIFY(QDir().mkpath(out));
    }
    void init() { window = openWindow(); }
    void cleanup()
    {
        window.reset();
        QVERIFY2(messages().isEmpty() || QTest::currentTestFailed(), qPrintable(messages().join('\n')));
    }

    // With a picture behind the subject the file has the size and corners the view
    // shows; the next photo then starts without picture or crop.
    void pictureBackgroundSavesAsShown_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QString>("crop"); // empty: none
        QTest::addColumn<QSize>("expected");
        QTest::newRow("wide picture, 1:1") << QSize(800, 300) << "1:1" << QSize(342, 342);
        QTest::newRow("tall picture, whole") << QSize(300, 800) << "" << QSize(548, 800);
        QTest::newRow("large picture, 16:9") << QSize(1600, 1200) << "16:9" << QSize(1600, 900);
    }
    void pictureBackgroundSavesAsShown()
    {
        QFETCH(QSize, picture);
        QFETCH(QString, crop);
        QFETCH(QSize, expected);
        QVERIFY(open(personPhoto("person.jpg")));
        QVERIFY(pictureBehind(picture));
        QVERIFY(crop.isEmpty() || cropTo(crop));
        const QImage image = saved();
        QCOMPARE(image.size(), expected);
        const QRect shown = cropView()->imageRect();
        QVERIFY(qAbs(double(shown.width()) / shown.height() - double(expected.width()) / expected.height()) <
                0.02);
        const QImage view = cropView()->grab().toImage();
        const QPoint corners[] = {
            {2, 2}, {expected.width() - 3, expected.height() - 3}, {expected.width() / 2, 2}};
        for (const QPoint& c : corners) {
            const QPoint onScreen = shown.topLeft() + QPoint(c.x() * shown.width() / expected.width(),
                                                             c.y() * shown.height() / expected.height());
            const bool blueSaved = qAlpha(image.pixel(c)) == 255 && qBlue(image.pixel(c)) > 200;
            const bool blueShown = qBlue(view.pixel(onScreen)) > 200 && qRed(view.pixel(onScreen)) < 60;
            QCOMPARE(blueSaved, blueShown);
        }
        QVERIFY(open(productPhoto("next.jpg", QSize(600, 400)), "EnterGoods"));
        const QImage next = saved();
        QCOMPARE(next.size(), QSize(600, 400));
        QVERIFY(cornersTransparent(next));
    }

    // A named size is a limit: a small photo keeps its pixels, a big one shrinks.
    void outputSizeNeverEnlarges_data()
    {
        QTest::addColumn<QSize>("photo");
        QTest::addColumn<int>("outputSize");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("small at 2K") << kSmall << 1 << kSmall;
        QTest::newRow("small at 4K") << kSmall << 2 << kSmall;
        QTest::newRow("big at 2K") << kBig << 1 << QSize(2000, 1500);
    }
    void outputSizeNeverEnlarges()
    {
        QFETCH(QSize, photo);
        QFETCH(int, outputSize);
        QVERIFY(open(productPhoto("size.jpg", photo), "EnterGoods"));
        QVERIFY(find<QComboBox>(window.get(), "comboOutputSize")->itemText(outputSize).contains("Up to"));
        QTEST(saved(outputSize).size(), "expected");
    }

    // On the brush page the right button pans with either brush and never edits;
    // Hardness at 0 % paints a soft rim, at 100 % a crisp edge.
    void brushControls()
    {
        QVERIFY(open(productPhoto("brush.jpg", QSize(900, 900)), "EnterGoods"));
        QVERIFY(click(window.get(), "BtnTabCutout") && click(window.get(), "btnTabMagic"));
        QVERIFY(click(window.get(), "btnZoomIn") &&
                click(window.get(), "btnZoomIn")); // smaller than the view
        QImageCutoutWidget* view = brushView();
        const QPoint from = view->imageRect().center(), before = view->imageRect().topLeft();
        mouseinput::drag(view, Qt::RightButton, {from, from + QPoint(15, 10), from + QPoint(30, 20)});
        QCOMPARE(view->imageRect().topLeft() - before, QPoint(30, 20));
        QVERIFY(!find(window.get(), "BtnUndo")->isEnabled());

        QVERIFY(click(window.get(), "btnTabBrush"));
        auto* size = find<QSlider>(window.get(), "hSliderBrushSize");
        size->setFocus();
        while (size->value() < 40)
            QTest::keyClick(size, Qt::Key_Right);
        auto* hardness = find<QSlider>(window.get(), "hSliderHardness");
        QMap<QString, int> rim;
        for (const int key : {Qt::Key_End, Qt::Key_Home}) {
            QTest::mouseClick(hardness, Qt::LeftButton, Qt::NoModifier, hardness->rect().center());
            QTest::keyClick(hardness, Qt::Key(key));
            const QString label = textOf(find(window.get(), "labelHardness"));
            const auto halfGone = [view] {
                const QImage mask = view->displayMask();
                int n = 0;
                for (int y = 0; y < mask.height(); ++y)
                    for (int x = 0; x < mask.width(); ++x)
                        n += qAlpha(mask.pixel(x, y)) > 20 && qAlpha(mask.pixel(x, y)) < 80;
                return n;
            };
            const int was = halfGone();
            QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier,
                              view->imageRect().center() + QPoint(key == Qt::Key_End ? -30 : 30, -20));
            rim[label] = halfGone() - was;
        }
        QCOMPARE(rim.keys(), (QList<QString>{"0%", "100%"}));
        QVERIFY2(rim["100%"] * 2 < rim["0%"], qPrintable(QString("%1 %2").arg(rim["100%"]).arg(rim["0%"])));
    }

    // 100 % is one photo pixel per screen pixel in both views; Fit shows it whole.
    void hundredPercentIsOneToOne_data()
    {
        QTest::addColumn<QString>("tab"); // empty: the cut-out view
        QTest::newRow("cut-out view") << "";
        QTest::newRow("brush view") << "BtnTabCutout";
    }
    void hundredPercentIsOneToOne()
    {
        QFETCH(QString, tab);
        QVERIFY(open(productPhoto("zoom.jpg"), "EnterGoods"));
        QVERIFY(tab.isEmpty() || click(window.get(), tab));
        QWidget* view = tab.isEmpty() ? static_cast<QWidget*>(cropView()) : brushView();
        const auto shown = [&] {
            return tab.isEmpty() ? cropView()->imageRect().size() : brushView()->imageRect().size();
        };
        QVERIFY(zoomTo("100%"));
        QTRY_COMPARE(shown(), kSmall);
        QVERIFY(click(window.get(), "btnZoomFit"));
        QTest::qWait(50); // the crop view lays out in its paint
        const QSize gap = view->size() - shown();
        QVERIFY2(qMin(gap.width(), gap.height()) <= 1 && qMin(gap.width(), gap.height()) >= 0,
                 qPrintable(QString("%1x%2").arg(gap.width()).arg(gap.height())));
        QVERIFY(textOf(find(window.get(), "labelImageFactor")) != "100%");
    }

    // A phone photo turned by its EXIF tag shows upright, unmirrored, in the
    // original view and the brush view, and saves so.
    void rotatedPhotoUpright_data()
    {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QSize>("upright");
        for (int o = 1; o <= 8; ++o)
            QTest::newRow(qPrintable(QString("orientation %1").arg(o))) << o << QSize(360, 480);
        // Larger than the original view keeps, so it decodes reduced.
        QTest::newRow("big, orientation 5") << 5 << QSize(2700, 3600);
    }
    void rotatedPhotoUpright()
    {
        QFETCH(int, orientation);
        QFETCH(QSize, upright);
        QVERIFY(open(orientedPhoto(QString("phone%1.jpg").arg(orientation), upright, orientation)));
        auto* original = window->findChild<QImageDraw*>("imageDraw");
        QVERIFY(original && !original->image().isNull());
        QCOMPARE(original->image().size(),
                 upright.scaled(QSize(2560, 2560), Qt::KeepAspectRatio).boundedTo(upright));
        QVERIFY(subjectLeftOfCentre(original->image(), isPhotoSubject));
        const cv::Mat photo = brushView()->sourceImage();
        const QImage brush(photo.data, photo.cols, photo.rows, int(photo.step), QImage::Format_BGR888);
        QCOMPARE(brush.size(), upright);
        QVERIFY(subjectLeftOfCentre(brush, isPhotoSubject));
        const QImage image = saved();
        QCOMPARE(image.size(), upright);
        QVERIFY(subjectLeftOfCentre(image, [](QRgb p) { return qAlpha(p) > 128; }));
    }
};

ACCEPTANCE_MAIN(TestAcceptEditor)
#include "tst_accept_editor.moc"
