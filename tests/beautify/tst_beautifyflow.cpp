// Beautify from the page to the picture: the page's release starts the crop view's
// pool job, the canvas shows the result, the sliders come back, repeated runs
// start from the downloaded cut-out, and both levels at 0 restore it.

#include "qbeautify.h"
#include "qcropwidget.h"
#include "qimagecanvas.h"
#include "qimagecropwidget.h"
#include "qimagecutoutwidget.h"
#include "qimagehelp.h"
#include "qimagesettings.h"
#include "qimagetask.h"
#include "qpagebeautify.h"
#include "qtaskmanager.h"
#include "qworkpool.h"
#include "testutils.h"

#include <QApplication>
#include <QFile>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QSlider>

#include <opencv2/imgproc.hpp>

#include <memory>

namespace {

constexpr int kWaitMs = 20000;

// The astronaut as a cut-out the task finds in its cache: opaque inside an
// ellipse around the person, transparent elsewhere.
cv::Mat downloadedCutout()
{
    const cv::Mat photo = QImageHelp::readImageFile(testutils::dataPath("astronaut.png"));
    cv::Mat cutout;
    cv::cvtColor(photo, cutout, cv::COLOR_BGR2BGRA);
    cv::Mat alpha(photo.size(), CV_8UC1, cv::Scalar(0));
    cv::ellipse(alpha, cv::Point(230, 300), cv::Size(200, 260), 0, 0, 360, cv::Scalar(255), cv::FILLED);
    cv::insertChannel(alpha, cutout, 3);
    return cutout;
}

// The canvas's cut-out as BGRA, read back through what it paints.
cv::Mat shownCutout(QImageCanvas* canvas)
{
    const QImage shown = canvas->composedPixmap(true).toImage().convertToFormat(QImage::Format_ARGB32);
    return QImageHelp::imageToMat(shown).clone();
}

// Colour where the expected picture is opaque; -1 when sizes differ.
int worstOpaqueDifference(const cv::Mat& shown, const cv::Mat& expected)
{
    if (shown.size() != expected.size())
        return -1;
    int worst = 0;
    for (int y = 0; y < expected.rows; ++y) {
        for (int x = 0; x < expected.cols; ++x) {
            const cv::Vec4b e = expected.at<cv::Vec4b>(y, x);
            const cv::Vec4b s = shown.at<cv::Vec4b>(y, x);
            if (e[3] != 255 || s[3] != 255)
                continue;
            for (int c = 0; c < 3; ++c)
                worst = std::max(worst, std::abs(int(e[c]) - int(s[c])));
        }
    }
    return worst;
}

} // namespace

class TestBeautifyFlow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qRegisterMetaType<cv::Mat>("Mat");
        QWorkPool::instance()->start(3);
        m_downloaded = downloadedCutout();
        QVERIFY(!m_downloaded.empty());
    }

    void init()
    {
        QImageSettings::setToneLevel(0);
        QImageSettings::setSmoothLevel(0);
        const QString photo = testutils::sandboxPath() + "/photos/astronaut.png";
        QFile original(testutils::dataPath("astronaut.png"));
        QVERIFY(original.open(QIODevice::ReadOnly));
        QVERIFY(testutils::writeFile(photo, original.readAll()));
        QByteArray png;
        QVERIFY(QImageHelp::encodeImage(m_downloaded, ".png", {}, &png));
        QVERIFY(testutils::writeFile(QImageTask::cacheFilePath(photo), png));

        m_host = std::make_unique<QCropWidget>();
        m_host->resize(640, 520);
        m_host->show();
        m_page = std::make_unique<QPageBeautify>();
        m_page->show();
        // As the page manager wires them.
        connect(m_page.get(), &QPageBeautify::signal_image_beauty, m_host.get(), &QCropWidget::onImageBeauty);
        connect(m_host.get(), &QCropWidget::signal_beauty_finished, m_page.get(), &QPageBeautify::onBeautyFinished);

        auto task = std::make_shared<QImageTask>(Person, photo);
        QSignalSpy done(task.get(), &QImageTask::signal_success);
        QTaskManager::addTask(task);
        QTRY_COMPARE_WITH_TIMEOUT(done.size(), 1, kWaitMs);
        m_host->setTask(task->id());
        QTRY_VERIFY_WITH_TIMEOUT(m_host->cropView()->hasImage() && m_host->brushView()->isReady(), kWaitMs);
    }

    void cleanup()
    {
        m_page.reset();
        m_host.reset();
        QTaskManager::clear();
    }

    void runShowsResult_data()
    {
        QTest::addColumn<int>("tone");
        QTest::addColumn<int>("smooth");
        QTest::addColumn<int>("runs");
        QTest::newRow("tone 30 twice does not compound") << 30 << 0 << 2;
        QTest::newRow("smooth 30") << 0 << 30 << 1;
        QTest::newRow("both") << 12 << 20 << 1;
    }

    void runShowsResult()
    {
        QFETCH(int, tone);
        QFETCH(int, smooth);
        QFETCH(int, runs);
        for (int i = 0; i < runs; ++i) {
            if (tone)
                QVERIFY(runWith("hSliderStrenghtTone", tone));
            if (smooth)
                QVERIFY(runWith("hSliderSmooth", smooth));
        }
        const cv::Mat expected = QBeautify::beautifyCutout(m_downloaded, m_downloaded, tone, smooth);
        const cv::Mat shown = shownCutout(m_host->cropView()->canvas());
        QCOMPARE(worstOpaqueDifference(shown, expected), 0);
        QVERIFY(worstOpaqueDifference(shown, m_downloaded) > 0);
        // The alpha stays the cut-out's: outside the ellipse nothing appears.
        QCOMPARE(int(shown.at<cv::Vec4b>(5, 5)[3]), 0);
        QCOMPARE(int(shown.at<cv::Vec4b>(300, 230)[3]), 255);
    }

    void levelsBackToZeroRestoreDownload()
    {
        QVERIFY(runWith("hSliderStrenghtTone", 30));
        QVERIFY(runWith("hSliderSmooth", 10));
        QVERIFY(runWith("hSliderStrenghtTone", 0));
        QVERIFY(worstOpaqueDifference(shownCutout(m_host->cropView()->canvas()), m_downloaded) > 0);
        QVERIFY(runWith("hSliderSmooth", 0));
        QCOMPARE(worstOpaqueDifference(shownCutout(m_host->cropView()->canvas()), m_downloaded), 0);
    }

private:
    // Moves a slider to value with the keyboard and lets go of it with the mouse;
    // returns once the run has finished.
    bool runWith(const char* sliderName, int value)
    {
        auto* slider = m_page->findChild<QSlider*>(sliderName);
        slider->setFocus();
        QTest::keyClick(slider, Qt::Key_Home);
        for (int i = 0; i < value; ++i)
            QTest::keyClick(slider, Qt::Key_Right);
        QSignalSpy finished(m_host.get(), &QCropWidget::signal_beauty_finished);
        QSignalSpy began(m_host.get(), &QCropWidget::signal_beauty_begin);
        QMouseEvent up(QEvent::MouseButtonRelease, slider->rect().center(),
                       slider->mapToGlobal(slider->rect().center()), Qt::LeftButton, Qt::NoButton,
                       Qt::NoModifier);
        QApplication::sendEvent(slider, &up);
        // The job is queued, not run in the release: the page waits for it.
        if (began.size() != 1 || slider->isEnabled() || !finished.isEmpty())
            return false;
        return finished.wait(kWaitMs) && slider->isEnabled();
    }

    std::unique_ptr<QCropWidget> m_host;
    std::unique_ptr<QPageBeautify> m_page;
    cv::Mat m_downloaded;
};

BRISEL_TEST_MAIN(TestBeautifyFlow)
#include "tst_beautifyflow.moc"
