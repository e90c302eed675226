// The single-photo editor as a user sees it: the file is what the view shows, a new
// photo starts clean, the brush controls do what they say, one zoom scale, phone
// photos upright everywhere.

#include "acceptance.h"
#include "qimagecanvas.h"
#include "qimagecropwidget.h"
#include "qimagecutoutwidget.h"
#include "qimagedraw.h"
#include "qmainwidget.h"

#include <QSlider>

using namespace acceptance;

namespace {

// Whether the subject's pixels lie mostly left of the middle.
bool leftOfCentre(const QImage& image, const std::function<bool(QRgb)>& isSubject)
{
    qint64 sum = 0, count = 0;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2)
            if (isSubject(image.pixel(x, y)))
                sum += x, ++count;
    return count > 0 && sum / count < image.width() / 2;
}

bool green(QRgb p)
{
    return qAlpha(p) == 255 && qAbs(qGreen(p) - qGreen(kBackground)) + qAbs(qRed(p) - qRed(kBackground)) < 40;
}

} // namespace

class TestAcceptEditor : public Scenarios
{
    Q_OBJECT

    QImageCropWidget* cropView() const { return window->findChild<QImageCropWidget*>("cropView"); }
    QImageCutoutWidget* brushView() const { return window->findChild<QImageCutoutWidget*>("brushView"); }

    // Opens `photo` from a card, or with "Upload again" once one is open, and waits
    // until both views show it.
    bool open(const QString& photo, const QString& card = "EnterPerson")
    {
        const QString before = cropView()->canvas()->taskId();
        if (before.isEmpty() &&
            !(openPhoto(window.get(), card, photo) && chooseOutputFolder(window.get(), out)))
            return false;
        if (!before.isEmpty())
            answerFileDialog(photo);
        return (before.isEmpty() || (click(window.get(), "btnUploadAgain") && answersUsed())) && waitFor([=] {
                   return cropView()->canvas()->taskId() != before && cropView()->hasImage() &&
                          brushView()->isReady();
               });
    }
    QImage saved()
    {
        return choose(window.get(), "comboOutputSize", 3) ? decode(save(window.get(), out, false)) : QImage();
    }

private slots:
    void init() { window = openWindow(); }

    // With an own picture behind the subject the file has the shape and corners the
    // view shows (the picture is green, see-through strips are not); the next photo
    // then starts without picture or crop.
    void pictureSavesAsShown_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QString>("crop"); // empty: none
        QTest::addColumn<QSize>("expected");
        QTest::newRow("wide picture, 1:1") << QSize(800, 300) << "1:1" << QSize(342, 342);
        QTest::newRow("tall picture, whole") << QSize(300, 800) << "" << QSize(548, 800);
        QTest::newRow("large picture, 16:9") << QSize(1600, 1200) << "16:9" << QSize(1600, 900);
    }
    void pictureSavesAsShown()
    {
        QFETCH(QSize, picture);
        QFETCH(QString, crop);
        QFETCH(QSize, expected);
        QVERIFY(open(personPhoto("person.jpg")));
        answerFileDialog(productPhoto(QString("behind%1.png").arg(picture.width()), picture));
        QVERIFY(click(window.get(), "BtnTabChangeBg") && click(window.get(), "btnCustom") &&
                click(window.get(), "btnAddTemplate") && answersUsed());
        QVERIFY(waitFor(
            [this] { return cropView()->canvas()->backgroundType() == QImageCanvas::BackgroundPicture; }));
        if (!crop.isEmpty()) {
            QVERIFY(click(window.get(), "BtnTabCrop"));
            QWidget* ratio = findText(window.get(), crop);
            QVERIFY(ratio);
            QTest::mouseClick(ratio, Qt::LeftButton, Qt::NoModifier, ratio->rect().center());
            QVERIFY(click(window.get(), "btnApplyCrop"));
        }
        const QImage image = saved();
        QCOMPARE(image.size(), expected);
        const QImage view = cropView()->grab().toImage();
        const QRect shown = cropView()->imageRect();
        const QSize e = expected - QSize(1, 1);
        for (const QPoint& c :
             {QPoint(2, 2), QPoint(e.width() - 2, e.height() - 2), QPoint(e.width() / 2, 2)}) {
            const QPoint onScreen(shown.x() + c.x() * shown.width() / expected.width(),
                                  shown.y() + c.y() * shown.height() / expected.height());
            QCOMPARE(green(view.pixel(onScreen)), green(image.pixel(c)));
        }
        QVERIFY(open(productPhoto("next.jpg", QSize(600, 400))));
        const QImage next = saved();
        QVERIFY(next.size() == QSize(600, 400) && cornersTransparent(next));
    }

    // Hardness at 0 % paints a wide soft rim, at 100 % a crisp edge.
    void hardnessSliderReachesTheBrush()
    {
        QVERIFY(open(productPhoto("brush.jpg", QSize(900, 900)), "EnterGoods"));
        QVERIFY(click(window.get(), "BtnTabCutout") && click(window.get(), "btnTabBrush"));
        QImageCutoutWidget* view = brushView();
        auto* size = find<QSlider>(window.get(), "hSliderBrushSize");
        while (size->value() < 40)
            QTest::keyClick(size, Qt::Key_Right);
        const QPoint at = view->imageRect().center() - QPoint(0, 20);
        const QString fault = hardnessFault(window.get(), view, at, QPoint(25, 0), 21, 79);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
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
        const auto shown = [&] { return tab.isEmpty() ? cropView()->imageRect() : brushView()->imageRect(); };
        const QString label = "labelImageFactor";
        // Fitted, the small photo is enlarged; the minus magnifier (btnZoomIn) zooms out.
        // At least one step: a fitted view can read "100%" rounded without being 1:1.
        for (int i = 0; i == 0 || (i < 20 && textOf(find(window.get(), label)) != "100%"); ++i)
            QVERIFY(click(window.get(), "btnZoomIn"));
        QTRY_COMPARE(shown().size(), kSmall);
        QVERIFY(click(window.get(), "btnZoomFit"));
        QTRY_VERIFY(shown().width() >= view->width() - 1 || shown().height() >= view->height() - 1);
        QVERIFY(view->rect().adjusted(-1, -1, 1, 1).contains(shown()));
    }

    // A phone photo turned by its EXIF tag shows upright and unmirrored in the
    // original view and the brush view, and is cut and saved upright.
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
        const QImage original = window->findChild<QImageDraw*>("imageDraw")->image();
        QCOMPARE(original.size(), upright.boundedTo(upright.scaled(2560, 2560, Qt::KeepAspectRatio)));
        const cv::Mat photo = brushView()->sourceImage();
        const QImage brush(photo.data, photo.cols, photo.rows, int(photo.step), QImage::Format_BGR888);
        QCOMPARE(brush.size(), upright);
        const auto subject = [](QRgb p) { return !green(p); };
        QVERIFY(leftOfCentre(original, subject) && leftOfCentre(brush, subject));
        const QImage image = saved();
        QCOMPARE(image.size(), upright);
        const auto alphaAt = [&image](double x, double y) {
            return qAlpha(image.pixel(int(image.width() * x), int(image.height() * y)));
        };
        QCOMPARE(alphaAt(0.35, 0.5), 255);
        QCOMPARE(alphaAt(0.9, 0.5), 0);
        QCOMPARE(alphaAt(0.35, 0.85), 0);
    }
};

ACCEPTANCE_MAIN(TestAcceptEditor)
#include "tst_accept_editor.moc"
