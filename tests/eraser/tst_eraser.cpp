// Filling erased areas: better than a blur, only under the mask, alpha kept, at the
// border and with nothing to do; the eraser's document fills on the pool and steps
// through its states.

#include "inpaintfixtures.h"
#include "qeraserdocument.h"
#include "qmaskstroke.h"
#include "qworkpool.h"
#include "testutils.h"

#include <QGuiApplication>
#include <QSignalSpy>
#include <QTest>

#include <opencv2/imgcodecs.hpp>

Q_DECLARE_METATYPE(QInpaint::Method)
Q_DECLARE_METATYPE(cv::Rect)
Q_DECLARE_METATYPE(cv::Mat)

using namespace inpaintfixtures;

namespace {

// The astronaut at 640 x 480; with four channels, under a random alpha.
cv::Mat photo(int channels)
{
    cv::Mat bgr = cv::imread(testutils::dataPath("astronaut.png").toStdString()), alpha(480, 640, CV_8U),
            bgra;
    cv::resize(bgr, bgr, alpha.size(), 0, 0, cv::INTER_AREA);
    cv::randu(alpha, 0, 256);
    cv::merge(std::vector<cv::Mat>{bgr, alpha}, bgra);
    return channels == 3 ? bgr : bgra;
}

} // namespace

class TestEraser : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QWorkPool::instance()->start(2); }
    void cleanupTestCase() { QWorkPool::instance()->stop(); }

    void fill_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<QInpaint::Method>("method");
        QTest::addColumn<cv::Rect>("box");
        const cv::Rect middle(250, 270, 140, 40), corner(540, 450, 140, 40);
        QTest::newRow("auto") << 3 << QInpaint::Method::Auto << middle;
        QTest::newRow("fsr") << 3 << QInpaint::Method::Fsr << middle;
        QTest::newRow("telea") << 3 << QInpaint::Method::Telea << middle;
        QTest::newRow("at the border") << 3 << QInpaint::Method::Auto << corner;
        QTest::newRow("alpha, telea") << 4 << QInpaint::Method::Telea << middle;
        QTest::newRow("alpha, fsr, border") << 4 << QInpaint::Method::Fsr << corner;
    }
    void fill()
    {
        QFETCH(int, channels);
        QFETCH(QInpaint::Method, method);
        QFETCH(cv::Rect, box);
        const Marked m = markText(photo(channels), box);
        cv::Mat image = m.marked.clone();
        QVERIFY(QInpaint::fill(image, m.mask, method) == QInpaint::bounds(m.mask));
        QCOMPARE(cv::norm(image, m.marked, cv::NORM_INF, m.mask == 0), 0.0);
        cv::Mat before, after; // alpha
        cv::extractChannel(m.marked, before, channels - 1), cv::extractChannel(image, after, channels - 1);
        QVERIFY(channels == 3 || cv::countNonZero(before != after) == 0);
        const double error = meanAbsError(image, m.clean, m.mask);
        const double blur = meanAbsError(blurFill(m.marked, m.mask), m.clean, m.mask);
        QVERIFY2(error < 0.8 * blur, qPrintable(QString("fill %1, blur %2").arg(error).arg(blur)));
    }

    void nothingToFill_data()
    {
        QTest::addColumn<cv::Mat>("image");
        QTest::addColumn<cv::Mat>("mask");
        const cv::Mat bgr = photo(3);
        QTest::newRow("empty mask") << bgr << cv::Mat(bgr.size(), CV_8U, cv::Scalar(0));
        QTest::newRow("mask of another size") << bgr << cv::Mat(10, 10, CV_8U, cv::Scalar(255));
        QTest::newRow("grey image") << cv::Mat(bgr.size(), CV_8U, cv::Scalar(9))
                                    << cv::Mat(bgr.size(), CV_8U, cv::Scalar(255));
    }
    void nothingToFill()
    {
        QFETCH(cv::Mat, image);
        QFETCH(cv::Mat, mask);
        cv::Mat filled = image.clone();
        QVERIFY(QInpaint::fill(filled, mask).empty());
        QCOMPARE(cv::norm(filled, image, cv::NORM_INF), 0.0);
    }

    // A fill is one state: undo gives back the marked photo and redo the fill;
    // strokes of another size, or while a fill runs, start nothing.
    void documentHistory()
    {
        const Marked m = markText(photo(3), cv::Rect(250, 270, 140, 40));
        QEraserDocument doc;
        doc.setImage(m.marked);
        QImage strokes(640, 480, QImage::Format_ARGB32);
        strokes.fill(0);
        cv::Mat(480, 640, CV_32S, strokes.bits()).setTo(int(QMaskStroke::kTagPixel), m.mask);
        QSignalSpy changed(&doc, &QEraserDocument::signal_changed);
        QVERIFY(!doc.fill(strokes.copy(0, 0, 10, 10)));
        QVERIFY(doc.fill(strokes) && !doc.fill(strokes) && !doc.canUndo());
        QVERIFY(changed.wait(20000));
        const cv::Mat filled = doc.result();
        QVERIFY(filled.type() == CV_8UC3 && doc.isModified());
        QVERIFY(meanAbsError(filled, m.clean, m.mask) < meanAbsError(m.marked, m.clean, m.mask) / 2);
        doc.undo();
        QCOMPARE(cv::norm(doc.result(), m.marked, cv::NORM_INF), 0.0);
        QVERIFY(!doc.isModified() && doc.canRedo());
        doc.redo();
        QCOMPARE(cv::norm(doc.result(), filled, cv::NORM_INF), 0.0);
    }
};

BRISEL_TEST_GUILESS_MAIN(TestEraser)
#include "tst_eraser.moc"
