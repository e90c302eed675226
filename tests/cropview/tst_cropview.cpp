// The workspace's editor host driven as a user drives it: brush strokes reaching
// the canvas, its shortcuts, beautify runs from their page, saving into real
// folders and the file size page. Photos are matted from the task cache, so no
// service is needed.

#include "imagefixtures.h"
#include "mouseinput.h"
#include "qappsettings.h"
#include "qbeautify.h"
#include "qcropwidget.h"
#include "qimagecanvas.h"
#include "qimageconvert.h"
#include "qimagecropwidget.h"
#include "qimagecutoutwidget.h"
#include "qimagesettings.h"
#include "qmsgbox.h"
#include "qpageadvanced.h"
#include "qpagebeautify.h"
#include "qsavefilewriter.h"
#include "qworkpool.h"

#include <QDir>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSlider>

Q_DECLARE_METATYPE(cv::Mat)

// Loads the photo and ends the calling test when that failed.
#define LOAD()                                                                                               \
    do {                                                                                                     \
        load();                                                                                              \
        if (QTest::currentTestFailed())                                                                      \
            return;                                                                                          \
    } while (false)

namespace {

constexpr int kWaitMs = 20000;
const QSize kPhoto(300, 200);

// Largest colour difference where both pictures are opaque; -1 when sizes differ.
int worstOpaqueDifference(const cv::Mat& shown, const cv::Mat& expected)
{
    if (shown.size() != expected.size())
        return -1;
    int worst = 0;
    for (int y = 0; y < expected.rows; ++y) {
        for (int x = 0; x < expected.cols; ++x) {
            const cv::Vec4b e = expected.at<cv::Vec4b>(y, x), s = shown.at<cv::Vec4b>(y, x);
            for (int c = 0; c < 3 && e[3] == 255 && s[3] == 255; ++c)
                worst = std::max(worst, std::abs(int(e[c]) - int(s[c])));
        }
    }
    return worst;
}

} // namespace

class TestCropView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qRegisterMetaType<cv::Mat>("Mat");
        QWorkPool::instance()->start(2);
        QMsgBox::setTestHook([this](QMsgBox::Kind kind, const QString& text) {
            boxes << qMakePair(int(kind), text);
            return 1;
        });
    }

    void init()
    {
        boxes.clear();
        QAppSettings::setOutputAsJpg(false);
        QSaveFileWriter::setMaxKilobytes(0);
        host = std::make_unique<QCropWidget>();
        host->resize(640, 520);
        host->show();
        QVERIFY(QTest::qWaitForWindowActive(host.get()));
    }

    void cleanup()
    {
        host.reset();
        QTaskManager::clear();
    }

    // Two strokes and one undo, then a key: the history keys step the brush view's
    // history and the bracket keys its size, while the brush view shows only.
    void shortcuts_data()
    {
        QTest::addColumn<QKeySequence>("keys");
        QTest::addColumn<bool>("onBrush");
        QTest::addColumn<bool>("magic");
        QTest::addColumn<int>("startSize");
        QTest::addColumn<int>("history");
        QTest::addColumn<int>("size");
        const QKeySequence undo(Qt::CTRL + Qt::Key_Z), smaller(Qt::Key_BracketLeft),
            larger(Qt::Key_BracketRight);
        QTest::newRow("Ctrl+Z") << undo << true << false << 12 << 0 << 12;
        QTest::newRow("Ctrl+Shift+Z")
            << QKeySequence(Qt::CTRL + Qt::SHIFT + Qt::Key_Z) << true << false << 12 << 2 << 12;
        QTest::newRow("Ctrl+Y") << QKeySequence(Qt::CTRL + Qt::Key_Y) << true << false << 12 << 2 << 12;
        QTest::newRow("[ stops at 1") << smaller << true << false << 2 << 1 << 1;
        QTest::newRow("] stops at 100") << larger << true << false << 99 << 1 << 100;
        QTest::newRow("magic brush has no size") << larger << true << true << 12 << 1 << 12;
        QTest::newRow("crop view: no undo") << undo << false << false << 12 << 1 << 12;
        QTest::newRow("crop view: no size") << larger << false << false << 12 << 1 << 12;
    }

    void shortcuts()
    {
        QFETCH(QKeySequence, keys);
        QFETCH(bool, onBrush);
        QFETCH(bool, magic);
        QFETCH(int, startSize);
        QFETCH(int, history);
        QFETCH(int, size);
        LOAD();
        host->setActiveView(QCropWidget::BrushView);
        strokeOverDisc();
        strokeOverDisc();
        brush()->undo();
        QCOMPARE(brush()->history().current(), 1);
        host->onChangeBrushSize(startSize);
        host->onChangeBrush(magic);
        if (!onBrush)
            host->setActiveView(QCropWidget::CropView);
        QSignalSpy told(host.get(), &QCropWidget::signal_brush_size_changed);
        QTest::keySequence(host.get(), keys);
        QCOMPARE(brush()->history().current(), history);
        QCOMPARE(brush()->brushSize(), size);
        QCOMPARE(told.size(), size != startSize ? 1 : 0);
        if (!told.isEmpty())
            QCOMPARE(told.first().first().toInt(), size);
    }

    void brushEditReachesCanvas()
    {
        LOAD();
        host->setActiveView(QCropWidget::BrushView);
        strokeOverDisc();
        QSignalSpy finished(host.get(), &QCropWidget::signal_beauty_finished);
        host->setActiveView(QCropWidget::CropView);
        QVERIFY(crop()->isLoading());
        QVERIFY(finished.wait(kWaitMs));
        QVERIFY(!crop()->isLoading());
        // The Remove stroke went through the middle of the disc.
        const QImage composed = crop()->canvas()->composedPixmap(true).toImage();
        QCOMPARE(qAlpha(composed.pixel(kPhoto.width() / 2, kPhoto.height() / 2 + 6)), 0);
        QCOMPARE(qAlpha(composed.pixel(kPhoto.width() / 2, kPhoto.height() / 2 - 50)), 255);
    }

    void beautifyRunsShowTheirResult_data()
    {
        QTest::addColumn<int>("tone");
        QTest::addColumn<int>("smooth");
        QTest::addColumn<int>("runs");
        QTest::newRow("tone 30 twice does not compound") << 30 << 0 << 2;
        QTest::newRow("both") << 12 << 20 << 1;
    }

    // The beautify page wired to the host as the page manager wires it: a run
    // filters the downloaded cut-out, never the last result, keeps its alpha, and
    // both levels back at 0 restore the download.
    void beautifyRunsShowTheirResult()
    {
        QFETCH(int, tone);
        QFETCH(int, smooth);
        QFETCH(int, runs);
        QImageSettings::setToneLevel(0);
        QImageSettings::setSmoothLevel(0);
        LOAD();
        QPageBeautify page;
        connect(&page, &QPageBeautify::signal_image_beauty, host.get(), &QCropWidget::onImageBeauty);
        connect(host.get(), &QCropWidget::signal_beauty_finished, &page, &QPageBeautify::onBeautyFinished);
        page.show();
        const auto shown = [&] {
            const QImage composed = crop()->canvas()->composedPixmap(true).toImage();
            return QImageConvert::imageToMat(composed.convertToFormat(QImage::Format_ARGB32)).clone();
        };
        for (int i = 0; i < runs; ++i) {
            QVERIFY(beautifyWith(&page, "hSliderStrenghtTone", tone));
            QVERIFY(beautifyWith(&page, "hSliderSmooth", smooth));
        }
        const cv::Mat downloaded = imagefixtures::discCutout(kPhoto);
        QCOMPARE(
            worstOpaqueDifference(shown(), QBeautify::beautifyCutout(downloaded, downloaded, tone, smooth)),
            0);
        QVERIFY(worstOpaqueDifference(shown(), downloaded) > 0);
        QCOMPARE(int(shown().at<cv::Vec4b>(5, 5)[3]), 0);
        QVERIFY(beautifyWith(&page, "hSliderStrenghtTone", 0));
        QVERIFY(beautifyWith(&page, "hSliderSmooth", 0));
        QCOMPARE(worstOpaqueDifference(shown(), downloaded), 0);
    }

    void unreadableBackgroundSaysSo()
    {
        LOAD();
        const QString broken = testutils::sandboxPath() + "/broken.png";
        QVERIFY(testutils::writeFile(broken, "not a picture"));
        host->onChangeBackgroundImage(broken);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.first().first, int(QMsgBox::Warning));
        QVERIFY2(boxes.first().second.contains(QDir::toNativeSeparators(broken)),
                 qPrintable(boxes.first().second));
    }

    void saveWritesEachOutputSize_data()
    {
        QTest::addColumn<int>("outputSize");
        QTest::addColumn<bool>("jpg");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("1080P png") << 0 << false << QSize(1620, 1080);
        QTest::newRow("2K png") << 1 << false << QSize(2000, 1333);
        QTest::newRow("4K jpg") << 2 << true << QSize(4000, 2667);
        QTest::newRow("original jpg") << 3 << true << kPhoto;
    }

    void saveWritesEachOutputSize()
    {
        QFETCH(int, outputSize);
        QFETCH(bool, jpg);
        QFETCH(QSize, expected);
        LOAD();
        QAppSettings::setOutputAsJpg(jpg);
        const QString folder = testutils::sandboxPath() + QString("/out%1/new").arg(QTest::currentDataTag());
        const QString file = saveInto(folder, outputSize);
        const QString ext = jpg ? "jpg" : "png";
        QVERIFY2(QRegularExpression(
                     QString("^%1/portrait_\\d{10}\\.%2$").arg(QRegularExpression::escape(folder), ext))
                     .match(file)
                     .hasMatch(),
                 qPrintable(file));
        const QImage saved(file);
        QCOMPARE(saved.size(), expected);
        QCOMPARE(saved.hasAlphaChannel(), !jpg);
        // Transparent around the subject in PNG, white in JPG; the subject itself is kept.
        if (jpg)
            QVERIFY(qGray(saved.pixel(2, 2)) >= 250);
        else
            QCOMPARE(saved.pixel(2, 2), 0u);
        QVERIFY(qRed(saved.pixel(expected.width() / 2, expected.height() / 2)) > 180);
        QVERIFY(boxes.isEmpty());

        // A second save in the same second gets a name of its own.
        const QString second = saveInto(folder, outputSize);
        QVERIFY(!second.isEmpty() && second != file);
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 2);
    }

    // The single photo is written through the canvas's save job (whose density
    // rules tst_imagecanvas covers): a committed one-inch size prints 25 mm wide.
    void savedIdPhotoPrintsAtItsSize()
    {
        LOAD();
        QAppSettings::setOutputAsJpg(true);
        host->onApplyCorpSize(20, true, QSize());
        const QImage saved(saveInto(testutils::sandboxPath() + "/id", 1));
        QCOMPARE(saved.width(), 2000);
        QCOMPARE(saved.dotsPerMeterY(), saved.dotsPerMeterX());
        const double printedMm = 1000.0 * saved.width() / saved.dotsPerMeterX();
        QVERIFY2(qAbs(printedMm - 25.0) < 0.5, qPrintable(QString::number(printedMm)));
    }

    void saveIntoUnwritableFolderSaysWhy()
    {
        LOAD();
        const QString blocker = testutils::sandboxPath() + "/blocked/file";
        QVERIFY(testutils::writeFile(blocker, "x"));
        QSignalSpy failed(host.get(), &QCropWidget::signal_save_failed);
        host->save(blocker + "/sub", 1);
        QVERIFY(failed.wait(kWaitMs));
        QVERIFY2(failed.first().first().toString().contains(QDir::toNativeSeparators(blocker + "/sub")),
                 qPrintable(failed.first().first().toString()));
        QCOMPARE(
            QDir(testutils::sandboxPath() + "/blocked").entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
            QStringList{"file"}); // nothing half-written
        // The host takes the next save again.
        QVERIFY(!saveInto(testutils::sandboxPath() + "/afterwards", 1).isEmpty());
    }

    void tooSmallLimitIsReported()
    {
        LOAD();
        QAppSettings::setOutputAsJpg(true);
        QSaveFileWriter::setMaxKilobytes(1);
        const QString file = saveInto(testutils::sandboxPath() + "/tiny", 2);
        QVERIFY(QFileInfo(file).size() > 1024);
        QCOMPARE(QImage(file).size(), QSize(4000, 2667));
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.first().first, int(QMsgBox::Warning));
        QVERIFY2(boxes.first().second.contains(" 1 KB"), qPrintable(boxes.first().second));
        QVERIFY2(boxes.first().second.contains(QString("%1 KB").arg((QFileInfo(file).size() + 1023) / 1024)),
                 qPrintable(boxes.first().second));
    }

    void fileSizePageKeepsLimit()
    {
        auto page = std::make_unique<QPageAdvanced>();
        auto* edit = page->findChild<QLineEdit*>("lineEdit");
        QVERIFY(edit->text().isEmpty());
        QTest::keyClicks(edit, "5x0");
        QCOMPARE(edit->text(), QStringLiteral("50"));
        QCOMPARE(QSaveFileWriter::maxKilobytes(), 50);
        page = std::make_unique<QPageAdvanced>();
        edit = page->findChild<QLineEdit*>("lineEdit");
        QCOMPARE(edit->text(), QStringLiteral("50"));
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QCOMPARE(QSaveFileWriter::maxKilobytes(), 0);
        QSaveFileWriter::setMaxKilobytes(-5); // a damaged setting counts as none
        QCOMPARE(QSaveFileWriter::maxKilobytes(), 0);
    }

private:
    // Loads `name` into a fresh host and waits until both views show it.
    void load(const QString& name = QStringLiteral("portrait.jpg"))
    {
        const QString id = imagefixtures::cachedTask(name, kPhoto, kWaitMs);
        QVERIFY(!id.isEmpty());
        host->setTask(id);
        QTRY_VERIFY_WITH_TIMEOUT(crop()->hasImage() && brush()->isReady(), kWaitMs);
        crop()->grab(); // lays the picture out as a paint does
    }

    QImageCropWidget* crop() const { return host->cropView(); }
    QImageCutoutWidget* brush() const { return host->brushView(); }
    // Saves into folder and returns the written file (empty on failure).
    QString saveInto(const QString& folder, int outputSize)
    {
        QSignalSpy saved(host.get(), &QCropWidget::signal_saved);
        QSignalSpy failed(host.get(), &QCropWidget::signal_save_failed);
        host->save(folder, outputSize);
        if (!QTest::qWaitFor([&] { return saved.size() + failed.size() > 0; }, kWaitMs) || saved.isEmpty())
            return QString();
        return saved.first().first().toString();
    }

    // Moves a page slider to `value` with the keyboard and lets go of it with the
    // mouse; true once the run it asked for has finished (or when none was needed).
    bool beautifyWith(QPageBeautify* page, const char* sliderName, int value)
    {
        auto* slider = page->findChild<QSlider*>(sliderName);
        if (slider->value() == value)
            return true;
        slider->setFocus();
        QTest::keyClick(slider, Qt::Key_Home);
        for (int i = 0; i < value; ++i)
            QTest::keyClick(slider, Qt::Key_Right);
        QSignalSpy finished(host.get(), &QCropWidget::signal_beauty_finished);
        mouseinput::send(slider, QEvent::MouseButtonRelease, slider->rect().center(), Qt::LeftButton,
                         Qt::NoButton);
        // The job is queued, not run in the release: the page waits for it.
        return !slider->isEnabled() && finished.isEmpty() && finished.wait(kWaitMs) && slider->isEnabled();
    }

    void strokeOverDisc()
    {
        const QRect shown = brush()->imageRect();
        mouseinput::drag(brush(), Qt::LeftButton,
                         {shown.center() - QPoint(20, 0), shown.center(), shown.center() + QPoint(20, 0)});
    }

    std::unique_ptr<QCropWidget> host;
    QList<QPair<int, QString>> boxes;
};

BRISEL_TEST_MAIN(TestCropView)
#include "tst_cropview.moc"
