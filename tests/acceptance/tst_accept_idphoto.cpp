// ID photos as a new user makes them: the ID card opening the ID tab, a portrait
// framed for an ID size and saved at its exact size and density, a file-size range,
// a print sheet (of one size, of two sizes, and of a batch), and a photo without a
// face refused.

#include "acceptance.h"
#include "mouseinput.h"
#include "qbatchmattingwidget.h"
#include "qbeautify.h"
#include "qcroptable.h"
#include "qfacedetector.h"
#include "qidframing.h"
#include "qmainwidget.h"
#include "qpreviewitem.h"
#include "qprintsheet.h"
#include "qsizebutton.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>

using namespace acceptance;

namespace {

// A portrait as a studio takes it: the astronaut's head and shoulders (tests/data),
// twice the size, in front of the flat backdrop the key engine removes.
QString portrait(const QString& name)
{
    const cv::Mat astronaut = cv::imread(testutils::dataPath("astronaut.png").toStdString());
    cv::Mat mask(astronaut.size(), CV_8U, cv::Scalar(0)), scaled, scaledMask;
    cv::ellipse(mask, {226, 100}, {78, 92}, 0, 0, 360, cv::Scalar(255), cv::FILLED);
    mask(cv::Rect(25, 175, 340, 337)).setTo(255);
    cv::resize(astronaut, scaled, {}, 2, 2, cv::INTER_CUBIC);
    cv::resize(mask, scaledMask, {}, 2, 2, cv::INTER_NEAREST);
    cv::Mat photo(1200, 900, CV_8UC3, cv::Scalar(qBlue(kBackground), qGreen(kBackground), qRed(kBackground)));
    const cv::Rect part(2, 0, 900, 1024);
    scaled(part).copyTo(photo(cv::Rect(0, 150, 900, 1024)), scaledMask(part));
    const QString path = testutils::sandboxPath() + "/photos/" + name;
    return QDir().mkpath(QFileInfo(path).path()) && cv::imwrite(path.toStdString(), photo) ? path : QString();
}

// The faces in a saved file, found again with the program's own cascades.
QIdFraming::Detection redetect(const QImage& image)
{
    const auto load = [](const char* name) {
        return QFaceDetector::loadCascade((QBeautify::cascadeFolder() + name).toStdString());
    };
    cv::CascadeClassifier faces = load("h_face.xml"), eyes = load("h_eye.xml");
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    cv::Mat bgr;
    cv::cvtColor(
        cv::Mat(rgb.height(), rgb.width(), CV_8UC3, const_cast<uchar*>(rgb.bits()), rgb.bytesPerLine()), bgr,
        cv::COLOR_RGB2BGR);
    return QIdFraming::detect(bgr, faces, eyes);
}

// The grey cut frames of `size` (a photo's size plus two) on a print sheet.
QVector<QRect> cutFrames(const QImage& sheet, QSize size)
{
    const QImage rgb = sheet.convertToFormat(QImage::Format_RGB888);
    cv::Mat lines(rgb.height(), rgb.width(), CV_8U);
    for (int y = 0; y < rgb.height(); ++y)
        for (int x = 0; x < rgb.width(); ++x)
            lines.at<uchar>(y, x) = rgb.pixel(x, y) == qRgb(160, 160, 160) ? 255 : 0;
    cv::Mat labels, stats, centroids;
    const int n = cv::connectedComponentsWithStats(lines, labels, stats, centroids);
    QVector<QRect> frames;
    for (int i = 1; i < n; ++i) {
        const QRect box(stats.at<int>(i, cv::CC_STAT_LEFT), stats.at<int>(i, cv::CC_STAT_TOP),
                        stats.at<int>(i, cv::CC_STAT_WIDTH), stats.at<int>(i, cv::CC_STAT_HEIGHT));
        if (box.size() == size)
            frames << box;
    }
    return frames;
}

} // namespace

class TestAcceptIdPhoto : public Scenarios
{
    Q_OBJECT

    // Opens photo from the ID card, which shows the crop page's ID tab, picks the
    // size `code` there and returns the checks it lists.
    QString frame(const QString& photo, int code, const QString& language = QStringLiteral("en"))
    {
        window = openWindow(language);
        if (!openPhoto(window.get(), "EnterCard", photo) || !chooseOutputFolder(window.get(), out) ||
            !click(window.get(), QStringLiteral("btnSize%1").arg(code)))
            return QString();
        auto* checks = window->findChild<QLabel*>("labelIdChecks");
        waitFor([checks] { return !checks->text().isEmpty(); });
        return checks->text();
    }

private slots:
    void portraitToIdSize_data()
    {
        QTest::addColumn<int>("code");
        QTest::newRow("1-inch") << 20;
        QTest::newRow("2x2 in") << 24;
        QTest::newRow("35x45 mm") << 22;
    }

    void portraitToIdSize()
    {
        QFETCH(int, code);
        const QString checks = frame(portrait("portrait.png"), code);
        QVERIFY2(checks.contains("\u2713 Head height") && !checks.contains("\u26A0"), qPrintable(checks));
        QVERIFY(click(window.get(), "btnIdBlue") && click(window.get(), "btnApplyCrop"));
        QCOMPARE(find<QComboBox>(window.get(), "comboOutputSize")->currentText(), QString("Exact size"));
        const QImage saved = decode(save(window.get(), out, true));
        const QCropTable::Row& row = *QCropTable::row(code);
        QCOMPARE(saved.size(), QSize(row.width, row.height));
        QCOMPARE(qRound(saved.dotsPerMeterX() * 0.0254), 300);
        const QIdFraming::Detection found = redetect(saved);
        QCOMPARE(found.faces.size(), 1);
        const QIdFraming::Head head = QIdFraming::head(found.faces.first(), found.eyeY);
        const QCropTable::IdRules& rules = *QCropTable::idRules(code);
        const double share = 100 * head.height() / saved.height(),
                     centre = 100 * head.centreX / saved.width();
        // A second detection on a photo a tenth the size wanders by a few percent.
        QVERIFY2(share > rules.headMin - 6 && share < rules.headMax + 6, qPrintable(QString::number(share)));
        QVERIFY2(qAbs(centre - 50) < 6, qPrintable(QString::number(centre)));
        for (const QPoint corner : {QPoint(2, 2), QPoint(saved.width() - 3, 2)})
            QVERIFY(qAbs(qBlue(saved.pixel(corner)) - 0xDB) + qAbs(qRed(saved.pixel(corner)) - 0x43) < 8);
    }

    // A typed range the encoder can meet and one it cannot: then the message names
    // the nearest size, which is the file's.
    void fileSizeRange()
    {
        QVERIFY(!frame(portrait("portrait.jpg"), 20).isEmpty());
        QVERIFY(click(window.get(), "btnApplyCrop") && click(window.get(), "BtnTabFileSize") &&
                click(window.get(), "btnRange10_30"));
        const QString inRange = save(window.get(), out, true);
        QVERIFY(QFileInfo(inRange).size() >= 10 * 1024 && QFileInfo(inRange).size() <= 30 * 1024);
        QVERIFY(messages().isEmpty());
        const std::pair<const char*, const char*> typed[] = {{"lineEditMin", "400"}, {"lineEdit", "500"}};
        for (const auto& [box, kilobytes] : typed) {
            QVERIFY(click(window.get(), box));
            key(window.get(), Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(QApplication::focusWidget(), kilobytes);
        }
        const QString nearest = save(window.get(), out, true);
        QVERIFY(!nearest.isEmpty());
        const qint64 kilobytes = (QFileInfo(nearest).size() + 1023) / 1024;
        QVERIFY(waitFor([] { return !messages().isEmpty(); }));
        QVERIFY2(messages().first().contains(QStringLiteral(" %1 KB").arg(kilobytes)),
                 qPrintable(messages().first()));
        clearMessages();
    }

    // Copies of a blue 1-inch photo on a 6-inch sheet: counted by their cut lines.
    void printSheet()
    {
        QVERIFY(!frame(portrait("sheet.png"), 20).isEmpty());
        QVERIFY(click(window.get(), "btnIdBlue") && choose(window.get(), "comboIdSheet", 1) &&
                choose(window.get(), "comboIdSheetMate", 0) && click(window.get(), "btnApplyCrop"));
        const QImage sheet = decode(save(window.get(), out, false));
        QCOMPARE(sheet.size(), QSize(1200, 1800));
        QCOMPARE(qRound(sheet.dotsPerMeterX() * 0.0254), 300);
        QCOMPARE(cutFrames(sheet, {297, 415}).size(), 12);
    }

    // 1-inch and 2-inch copies of one person share a 6-inch sheet, the person in both.
    void printSheetWithSecondSize_data() { inBothLanguages(); }
    void printSheetWithSecondSize()
    {
        QFETCH(QString, language);
        QVERIFY(!frame(portrait("mix.png"), 20, language).isEmpty());
        auto* mate = find<QComboBox>(window.get(), "comboIdSheetMate");
        QVERIFY(mate && choose(window.get(), "comboIdSheet", QPrintSheet::SixInch) &&
                choose(window.get(), "comboIdSheetMate", mate->findData(23)) &&
                click(window.get(), "btnApplyCrop"));
        const QImage sheet = decode(save(window.get(), out, false));
        QCOMPARE(QSize(qMax(sheet.width(), sheet.height()), qMin(sheet.width(), sheet.height())),
                 QSize(1800, 1200));
        QCOMPARE(qRound(sheet.dotsPerMeterX() * 0.0254), 300);
        const QVector<QRect> large = cutFrames(sheet, {415, 581});
        QVERIFY(!cutFrames(sheet, {297, 415}).isEmpty() && !large.isEmpty());
        QCOMPARE(redetect(sheet.copy(large.first().adjusted(1, 1, -1, -1))).faces.size(), 1);
    }

    // Three people of a batch with a 1-inch size go on one 6-inch sheet from Save all.
    void batchPrintSheet()
    {
        window = openWindow();
        pressInDialog("pageAddImage");
        answerFileDialog({portrait("a.png"), portrait("b.png"), portrait("c.png")});
        pressInDialog("btnCutout");
        QVERIFY(click(window.get(), "BatchPerson") && answersUsed());
        auto* batch = window->findChild<QBatchMattingWidget*>();
        const auto ready = [batch] {
            const QList<QPreviewItem*>& tiles = batch->items();
            return tiles.size() == 3 &&
                   std::all_of(tiles.begin(), tiles.end(), [](auto* t) { return t->isReady(); });
        };
        QVERIFY(batch && waitFor(ready, 60000));
        QVERIFY(chooseOutputFolder(window.get(), out) && countShown(batch, "comboSheet") == 0);
        QTest::mouseMove(find(batch, QStringLiteral("sizeButton_%1").arg(QCropTable::kCertificateMenu)));
        QWidget* entry = nullptr;
        QVERIFY(waitFor([&] { return (entry = findText(batch, QCropTable::label(*QCropTable::row(20)))); }));
        QTest::mouseClick(entry, Qt::LeftButton);
        QVERIFY(choose(batch, "comboSheet", QPrintSheet::SixInch));
        const QStringList before = listFiles(out);
        pressInDialog("btnApply", {"btnFormatPNG"});
        QVERIFY(click(batch, "btnSaveAll") && answersUsed());
        const QString file = waitNewFile(out, "*.png", before);
        QCOMPARE(QFileInfo(file).fileName(), QString("a_sheet-1.png"));
        const QImage sheet = decode(file);
        QCOMPARE(QSize(qMax(sheet.width(), sheet.height()), qMin(sheet.width(), sheet.height())),
                 QSize(1800, 1200));
        QCOMPARE(qRound(sheet.dotsPerMeterX() * 0.0254), 300);
        QCOMPARE(cutFrames(sheet, {297, 415}).size(), 3);
        QVERIFY(waitFor([batch] { return countShown(batch, "saveNotice") == 1; }));
        QCOMPARE(listFiles(out, "*_sheet-*").size(), 1);
    }

    // The ID card frames the size applied last; a hand drag of the subject then
    // moves the eye line in the checks.
    void idCardFramesLastSize()
    {
        QVERIFY(!frame(portrait("first.png"), 24).isEmpty());
        QVERIFY(click(window.get(), "btnApplyCrop") && click(window.get(), "btnBackHome"));
        QVERIFY(waitFor([this] { return countShown(window.get(), "EnterCard") == 1; }));
        QVERIFY(openPhoto(window.get(), "EnterCard", portrait("again.png")));
        auto* checks = window->findChild<QLabel*>("labelIdChecks");
        QVERIFY(waitFor([checks] { return checks->isVisible() && checks->text().contains("Eye line"); }));
        QVERIFY(find(window.get(), "btnTabCertificate")->property("checked").toBool());
        QVERIFY(find<QSizeButton>(window.get(), "btnSize24")->isChecked());
        const QString before = checks->text();
        QWidget* view = find(window.get(), "cropView");
        const QPoint middle = view->rect().center();
        mouseinput::drag(view, Qt::LeftButton, {middle, middle + QPoint(0, 20), middle + QPoint(0, 40)});
        QVERIFY2(waitFor([&] { return checks->text() != before; }), qPrintable(before));
    }

    void refusesPhotoWithoutFace()
    {
        const QString checks = frame(productPhoto("disc.png"), 20);
        QVERIFY2(checks.startsWith("\u26A0 No face found"), qPrintable(checks));
        QVERIFY(click(window.get(), "btnApplyCrop"));
        QVERIFY(waitFor([] { return messages().join(' ').contains("No face was found"); }));
        clearMessages();
        QVERIFY(find<QComboBox>(window.get(), "comboOutputSize")->isEnabled());
    }
};

ACCEPTANCE_MAIN(TestAcceptIdPhoto)
#include "tst_accept_idphoto.moc"
