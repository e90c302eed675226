#include "qcropgeometry.h"
#include "qidframing.h"
#include "qimagecanvas.h"
#include "qprintsheet.h"
#include "qsavefilewriter.h"
#include "qworkpool.h"
#include "testutils.h"

#include <QSignalSpy>

#include <opencv2/imgproc.hpp>

namespace {

using Detection = QIdFraming::Detection;

// A portrait cut-out whose head is marked where a person's would be for the face
// box: red at the crown, green at the eyes, blue at the chin (rows clipped to the
// photo), over a grey body from the crown down.
cv::Mat markedCutout(QSize photo, const QRect& face)
{
    cv::Mat m(photo.height(), photo.width(), CV_8UC4, cv::Scalar::all(0));
    const double h = face.height();
    const int crown = int(face.y() - 0.45 * h), eyes = int(face.y() + 0.38 * h),
              chin = int(face.bottom() + 0.12 * h);
    m(cv::Rect(face.x(), std::max(0, crown), face.width(), photo.height() - std::max(0, crown)))
        .setTo(cv::Scalar(128, 128, 128, 255));
    const auto bar = [&](int row, const cv::Scalar& bgra) {
        if (row >= 0 && row < photo.height())
            cv::line(m, {face.x(), row}, {face.right(), row}, bgra, std::max(3, face.height() / 60));
    };
    bar(crown, {0, 0, 255, 255});
    bar(eyes, {0, 255, 0, 255});
    bar(chin, {255, 0, 0, 255});
    return m;
}

// The mean row of a marker colour in column x, as a share of the height; -1 when absent.
double markerRow(const cv::Mat& bgra, int x, int channel)
{
    double sum = 0;
    int n = 0;
    for (int y = 0; y < bgra.rows; ++y) {
        const cv::Vec4b p = bgra.at<cv::Vec4b>(y, x);
        if (p[channel] > 150 && p[(channel + 1) % 3] < 100 && p[(channel + 2) % 3] < 100)
            sum += y, ++n;
    }
    return n ? (sum / n + 0.5) / bgra.rows : -1;
}

} // namespace

class TestIdPhoto : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QWorkPool::instance()->start(2); }

    // Framed and saved through the canvas as the user's file is: the exact size, and
    // the head and eye line measured on the file's pixels inside the size's rules.
    void framing_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QSize>("photo");
        QTest::addColumn<QRect>("face");
        QTest::addColumn<bool>("met");
        const QRect centred(800, 700, 400, 400);
        for (int code : {19, 20, 21, 22, 23, 24, 26, 27, 28})
            QTest::addRow("%d, centred face", code) << code << QSize(2000, 2600) << centred << true;
        QTest::newRow("near the left border") << 20 << QSize(2000, 2600) << QRect(10, 700, 400, 400) << true;
        QTest::newRow("phone photo turned upright")
            << 24 << QSize(756, 1008) << QRect(280, 250, 190, 190) << true;
        QTest::newRow("landscape, low face") << 22 << QSize(1600, 900) << QRect(700, 400, 200, 200) << true;
        QTest::newRow("crown above the photo")
            << 20 << QSize(2000, 2600) << QRect(800, 60, 400, 400) << false;
    }

    void framing()
    {
        QFETCH(int, code);
        QFETCH(QSize, photo);
        QFETCH(QRect, face);
        QFETCH(bool, met);
        const QCropTable::IdRules& rules = *QCropTable::idRules(code);
        const QSize typed(413, 591), frame = QCropGeometry::fixedCropSize(code, typed); // typed: 35x50 mm
        const Detection found{{face}, -1, photo};
        const QIdFraming::Placement placement = QIdFraming::place(found, frame, rules);
        QImageCanvas canvas;
        QSignalSpy loaded(&canvas, &QImageCanvas::signal_update);
        canvas.loadCutout(markedCutout(photo, face), photo);
        QVERIFY(loaded.wait(10000));
        canvas.applyCropSize(code, true, typed);
        canvas.placeForeground(QIdFraming::foregroundRect(placement, photo, frame, canvas.cropRect()));
        canvas.setBackgroundColor(Qt::white);
        const cv::Mat saved = canvas.exportImage(0, QImageCanvas::Output1080p);
        QCOMPARE(QSize(saved.cols, saved.rows), frame);
        const auto checks = QIdFraming::checks(found, placement, frame, rules, saved, Qt::white);
        QString failed;
        for (const auto& c : checks)
            failed += c.ok ? QString() : c.text + ' ';
        QVERIFY2(failed.isEmpty() == met, qPrintable(failed));
        if (!met)
            return;
        const int x = saved.cols / 2;
        const double crown = markerRow(saved, x, 2), eyes = markerRow(saved, x, 1),
                     chin = markerRow(saved, x, 0);
        QVERIFY2(crown >= 0.02 && chin > crown && eyes > crown,
                 qPrintable(QString("%1 %2 %3").arg(crown).arg(eyes).arg(chin)));
        const double head = (chin - crown) * 100, eyeLine = (1 - eyes) * 100;
        QVERIFY2(head >= rules.headMin - 1 && head <= rules.headMax + 1, qPrintable(QString::number(head)));
        QVERIFY2(eyeLine >= rules.eyeMin - 1 && eyeLine <= rules.eyeMax + 1,
                 qPrintable(QString::number(eyeLine)));
    }

    // Rules that cannot be met are said first; the rest of the list still shows.
    void warnings_data()
    {
        QTest::addColumn<QVector<QRect>>("faces");
        QTest::addColumn<QString>("warning");
        QTest::newRow("no face") << QVector<QRect>{} << "No face found";
        QTest::newRow("two faces") << QVector<QRect>{{800, 700, 400, 400}, {100, 700, 300, 300}}
                                   << "2 faces found";
        QTest::newRow("small face") << QVector<QRect>{{900, 900, 60, 60}} << "too small";
        QTest::newRow("chin below the photo") << QVector<QRect>{{800, 2300, 400, 400}} << "cut off";
    }

    void warnings()
    {
        QFETCH(QVector<QRect>, faces);
        QFETCH(QString, warning);
        const Detection found{faces, -1, QSize(2000, 2600)};
        const auto& rules = *QCropTable::idRules(20);
        const auto checks = QIdFraming::checks(found, QIdFraming::place(found, {295, 413}, rules), {295, 413},
                                               rules, cv::Mat(), Qt::white);
        QVERIFY2(!checks.first().ok && checks.first().text.contains(warning),
                 qPrintable(checks.first().text));
    }

    // As many as fit in the better orientation, the gap kept between the copies and
    // around the edge.
    void sheet_data()
    {
        QTest::addColumn<int>("paper");
        QTest::addColumn<QSize>("photo");
        QTest::addColumn<int>("gap");
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("turned");
        QTest::newRow("1-inch on 6-inch") << 1 << QSize(295, 413) << 24 << 12 << true;
        QTest::newRow("1-inch, thinnest gap") << 1 << QSize(295, 413) << 2 << 16 << true;
        QTest::newRow("gap under the least") << 1 << QSize(295, 413) << 0 << 16 << true;
        QTest::newRow("2-inch on 6-inch, a tie") << 1 << QSize(413, 579) << 24 << 4 << false;
        QTest::newRow("2x2 in on 6-inch") << 1 << QSize(600, 600) << 24 << 2 << false;
        QTest::newRow("small 1-inch on 5-inch") << 2 << QSize(259, 377) << 10 << 10 << false;
        QTest::newRow("33x48 mm on A4") << 3 << QSize(390, 567) << 24 << 32 << false;
        QTest::newRow("larger than the sheet") << 1 << QSize(2000, 2000) << 24 << 0 << false;
    }

    void sheet()
    {
        QFETCH(int, paper);
        QFETCH(QSize, photo);
        QFETCH(int, gap);
        QFETCH(int, count);
        QFETCH(bool, turned);
        const QSize size = QPrintSheet::paperSize(paper);
        const QPrintSheet::Layout layout = QPrintSheet::layout(size, {photo}, gap);
        QCOMPARE(layout.cells.size(), count);
        QCOMPARE(layout.sheet, turned ? size.transposed() : size);
        const QRect inner = QRect(QPoint(), layout.sheet).adjusted(2, 2, -2, -2);
        for (int i = 0; i < layout.cells.size(); ++i) {
            QVERIFY(inner.contains(layout.cells[i]));
            for (int j = 0; j < i; ++j)
                QVERIFY(!layout.cells[i]
                             .adjusted(-1, -1, 1, 1)
                             .intersects(layout.cells[j].adjusted(-1, -1, 1, 1)));
        }
    }

    // Two people of two sizes share a sheet; the file shows each copy inside its
    // cut line on white paper.
    void mixedSheet()
    {
        const cv::Mat a(413, 295, CV_8UC3, cv::Scalar(219, 142, 67)),
            b(579, 413, CV_8UC3, cv::Scalar(0, 0, 255));
        const QPrintSheet::Layout two =
            QPrintSheet::layout(QPrintSheet::paperSize(1), {{295, 413}, {413, 579}}, 24, 2);
        QCOMPARE(two.photo, (QVector<int>{0, 0, 1, 1}));
        const QPrintSheet::Layout full =
            QPrintSheet::layout(QPrintSheet::paperSize(1), {{295, 413}, {413, 579}}, 24);
        QVERIFY(full.photo.contains(0) && full.photo.contains(1) && full.cells.size() > 4);
        const cv::Mat sheet = QPrintSheet::render(full, {a, b});
        QCOMPARE(QSize(sheet.cols, sheet.rows), full.sheet);
        for (int i = 0; i < full.cells.size(); ++i) {
            const QRect c = full.cells[i];
            QCOMPARE(sheet.at<cv::Vec3b>(c.center().y(), c.center().x()),
                     (full.photo[i] ? b : a).at<cv::Vec3b>(0, 0));
            QCOMPARE(sheet.at<cv::Vec3b>(c.y() - 1, c.center().x()), cv::Vec3b(160, 160, 160));
        }
        QCOMPARE(sheet.at<cv::Vec3b>(1, 1), cv::Vec3b(255, 255, 255));
        QVERIFY(QPrintSheet::render(full, {a}).empty());
    }

    // A typed size larger than the sheet is refused with a reason, and nothing is written.
    void photoLargerThanSheet()
    {
        QImageCanvas canvas;
        QSignalSpy loaded(&canvas, &QImageCanvas::signal_update);
        canvas.loadCutout(markedCutout({300, 400}, {100, 100, 100, 100}), {300, 400});
        QVERIFY(loaded.wait(10000));
        canvas.applyCropSize(QCropTable::kCustomIdSize, true, {1300, 1300});
        QImageCanvas::SaveJob job = canvas.prepareSave(0, QImageCanvas::Output2k, {});
        job.sheet = QPrintSheet::SixInch;
        QString error;
        const QString path = testutils::sandboxPath() + "/sheet.png";
        QVERIFY(!job.write(path, nullptr, &error) && error.contains("sheet") && !QFile::exists(path));
        job.sheet = QPrintSheet::A4;
        QVERIFY2(job.write(path, nullptr, &error), qPrintable(error));
        QCOMPARE(QImage(path).size(), QSize(3508, 2480)); // two either way: the paper as it comes
    }

    // A second size takes turns with the photo; one that cannot share the sheet (too
    // large, not rendered) is refused with a reason, and nothing is written.
    void sheetMate_data()
    {
        QTest::addColumn<QSize>("mate");
        QTest::addColumn<bool>("fits");
        QTest::newRow("2-inch beside 1-inch") << QSize(413, 579) << true;
        QTest::newRow("larger than the sheet") << QSize(2000, 2000) << false;
        QTest::newRow("not rendered") << QSize(0, 0) << false;
    }

    void sheetMate()
    {
        QFETCH(QSize, mate);
        QFETCH(bool, fits);
        QImageCanvas::SaveJob job;
        job.image = cv::Mat(413, 295, CV_8UC3, cv::Scalar(255, 0, 0));
        job.sheet = QPrintSheet::SixInch;
        job.sheetMate = [mate] {
            return cv::Mat(mate.height(), mate.width(), CV_8UC3, cv::Scalar(0, 0, 255));
        };
        const QString path = testutils::sandboxPath() + "/mate-" + QTest::currentDataTag() + ".png";
        QString error;
        QCOMPARE(job.write(path, nullptr, &error), fits);
        QVERIFY(fits ? QFile::exists(path) : error.contains("sheet") && !QFile::exists(path));
        const QImage sheet(path);
        int blue = 0, red = 0;
        for (int y = 0; y < sheet.height(); ++y)
            for (int x = 0; x < sheet.width(); ++x)
                blue += sheet.pixel(x, y) == qRgb(0, 0, 255), red += sheet.pixel(x, y) == qRgb(255, 0, 0);
        QVERIFY(!fits || (blue && blue % (295 * 413) == 0 && red && red % (413 * 579) == 0));
    }

    // The quality search lands inside the range, or says which side it missed.
    void kilobyteRange_data()
    {
        QTest::addColumn<int>("minimum");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("missed"); // -1 under, 1 over, 0 inside
        QTest::newRow("20-50") << 20 << 50 << 0;
        QTest::newRow("10-30") << 10 << 30 << 0;
        QTest::newRow("at least 30") << 30 << 0 << 0;
        QTest::newRow("beyond the best quality") << 2000 << 3000 << -1;
        QTest::newRow("at least, beyond the best") << 2000 << 0 << -1;
        QTest::newRow("below the lowest quality") << 0 << 1 << 1;
    }

    void kilobyteRange()
    {
        QFETCH(int, minimum);
        QFETCH(int, maximum);
        QFETCH(int, missed);
        const QSaveFileWriter::Options options{SaveFormat::Jpg, maximum, 300, {}, false, minimum};
        QSaveFileWriter::Result result;
        QVERIFY(QSaveFileWriter::encode(testutils::texturedBgr(413, 531), options, &result));
        const qint64 size = result.bytes.size();
        QCOMPARE(result.underLimit, missed < 0);
        QCOMPARE(result.overLimit, missed > 0);
        QCOMPARE(QSaveFileWriter::rangeMessage(options, result).isEmpty(), missed == 0);
        if (!missed)
            QVERIFY(size >= minimum * 1024 && (!maximum || size <= maximum * 1024));
    }
};

BRISEL_TEST_GUILESS_MAIN(TestIdPhoto)
#include "tst_idphoto.moc"
