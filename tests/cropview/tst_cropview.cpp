// The workspace's editor host driven as a user drives it: mouse on the views, the
// zoom bar, history buttons and shortcuts, beautify runs from their page, saving
// into real folders, the format dialog and the file size page. Photos are matted
// from the task cache, so no service is needed.

#include "qappsettings.h"
#include "qbeautify.h"
#include "qcropwidget.h"
#include "qimagecanvas.h"
#include "qimagecropwidget.h"
#include "qimagecutoutwidget.h"
#include "qimageformatdialog.h"
#include "qimagehelp.h"
#include "qimagesettings.h"
#include "qimagetask.h"
#include "qmattingbutton.h"
#include "qmsgbox.h"
#include "qpageadvanced.h"
#include "qpagebeautify.h"
#include "qsavefilewriter.h"
#include "qtaskmanager.h"
#include "qworkpool.h"
#include "testutils.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSlider>
#include <QTimer>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <memory>

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

QByteArray encoded(const cv::Mat& m, const char* ext)
{
    std::vector<uchar> bytes;
    cv::imencode(ext, m, bytes);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), int(bytes.size()));
}

// A red disc on nothing: what the service sends for the photo below.
cv::Mat discCutout()
{
    cv::Mat cutout(kPhoto.height(), kPhoto.width(), CV_8UC4, cv::Scalar(0, 0, 0, 0));
    cv::circle(cutout, cv::Point(kPhoto.width() / 2, kPhoto.height() / 2), 70, cv::Scalar(40, 40, 220, 255),
               cv::FILLED);
    return cutout;
}

// A grey photo with a red disc, and in the task cache the disc cut out, so the
// task finishes without asking the service.
QString makeMattedPhoto(const QString& name)
{
    cv::Mat photo(kPhoto.height(), kPhoto.width(), CV_8UC3, cv::Scalar(200, 200, 200));
    cv::circle(photo, cv::Point(kPhoto.width() / 2, kPhoto.height() / 2), 70, cv::Scalar(40, 40, 220),
               cv::FILLED);
    const QString path = testutils::sandboxPath() + "/photos/" + name;
    if (!testutils::writeFile(path, encoded(photo, ".jpg"))
        || !testutils::writeFile(QImageTask::cacheFilePath(path), encoded(discCutout(), ".png")))
        return QString();
    return path;
}

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

void moveTo(QWidget* w, QPoint pos, Qt::MouseButton held)
{
    QMouseEvent move(QEvent::MouseMove, pos, w->mapToGlobal(pos), Qt::NoButton, held, Qt::NoModifier);
    QApplication::sendEvent(w, &move);
}

void drag(QWidget* w, Qt::MouseButton button, QPoint from, QPoint to)
{
    QTest::mousePress(w, button, Qt::NoModifier, from);
    moveTo(w, (from + to) / 2, button);
    moveTo(w, to, button);
    QTest::mouseRelease(w, button, Qt::NoModifier, to);
}

void wheel(QWidget* w, QPoint pos, int delta, Qt::Orientation direction = Qt::Vertical)
{
    const QPoint angle = direction == Qt::Vertical ? QPoint(0, delta) : QPoint(delta, 0);
    QWheelEvent event(QPointF(pos), QPointF(w->mapToGlobal(pos)), QPoint(), angle, Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &event);
}

// Answers the next modal dialog once it is shown: clicks the named buttons in turn.
void answerDialog(const QStringList& buttons)
{
    QTimer::singleShot(0, [buttons] {
        QWidget* dialog = QApplication::activeModalWidget();
        QVERIFY(dialog);
        for (const QString& name : buttons)
            QTest::mouseClick(dialog->findChild<QPushButton*>(name), Qt::LeftButton);
    });
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

    void historyButtonsFollowEdits_data()
    {
        QTest::addColumn<bool>("useKeys");
        QTest::addColumn<QKeySequence>("restoreKeys");
        QTest::newRow("buttons") << false << QKeySequence();
        QTest::newRow("Ctrl+Z, Ctrl+Shift+Z") << true << QKeySequence(Qt::CTRL + Qt::SHIFT + Qt::Key_Z);
        QTest::newRow("Ctrl+Z, Ctrl+Y") << true << QKeySequence(Qt::CTRL + Qt::Key_Y);
    }

    void historyButtonsFollowEdits()
    {
        QFETCH(bool, useKeys);
        QFETCH(QKeySequence, restoreKeys);
        LOAD();
        auto* undo = child<QMattingButton>("BtnUndo");
        auto* restore = child<QMattingButton>("BtnRestore");
        QVERIFY(undo->isHidden());
        host->setActiveView(QCropWidget::BrushView);
        QVERIFY(undo->isVisible() && restore->isVisible());
        QVERIFY(!undo->isEnabled() && !restore->isEnabled());

        strokeOverDisc();
        strokeOverDisc();
        QVERIFY(undo->isEnabled() && !restore->isEnabled());
        const auto step = [&](bool back) {
            if (!useKeys)
                QTest::mouseClick(back ? undo : restore, Qt::LeftButton);
            else if (back)
                QTest::keySequence(host.get(), QKeySequence(Qt::CTRL + Qt::Key_Z));
            else
                QTest::keySequence(host.get(), restoreKeys);
        };
        step(true);
        QCOMPARE(brush()->history().current(), 1);
        QVERIFY(undo->isEnabled() && restore->isEnabled());
        step(true);
        QCOMPARE(brush()->history().current(), 0);
        QVERIFY(!undo->isEnabled() && restore->isEnabled());
        QCOMPARE(undo->property("status").toString(), QStringLiteral("disabled"));
        step(false);
        step(false);
        QCOMPARE(brush()->history().current(), 2);
        QVERIFY(undo->isEnabled() && !restore->isEnabled());
        // The brush keys do nothing while the crop view shows.
        host->setActiveView(QCropWidget::CropView);
        QTest::keySequence(host.get(), QKeySequence(Qt::CTRL + Qt::Key_Z));
        QTest::keyClick(host.get(), Qt::Key_BracketRight);
        QCOMPARE(brush()->history().current(), 2);
        QCOMPARE(brush()->brushSize(), 12);
    }

    void bracketKeysChangeBrushSize_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<bool>("magic");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("expected");
        QTest::newRow("[ stops at 1") << 2 << false << int(Qt::Key_BracketLeft) << 1;
        QTest::newRow("] stops at 100") << 99 << false << int(Qt::Key_BracketRight) << 100;
        QTest::newRow("magic brush has no size") << 12 << true << int(Qt::Key_BracketRight) << 12;
    }

    void bracketKeysChangeBrushSize()
    {
        QFETCH(int, start);
        QFETCH(bool, magic);
        QFETCH(int, key);
        QFETCH(int, expected);
        LOAD();
        host->setActiveView(QCropWidget::BrushView);
        host->onChangeBrushSize(start);
        host->onChangeBrush(magic);
        QSignalSpy told(host.get(), &QCropWidget::signal_brush_size_changed);
        QTest::keyClick(host.get(), Qt::Key(key));
        QCOMPARE(brush()->brushSize(), expected);
        QCOMPARE(told.size(), expected != start ? 1 : 0);
        if (!told.isEmpty())
            QCOMPARE(told.first().first().toInt(), expected);
    }

    void zoomBar_data()
    {
        QTest::addColumn<float>("start");
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("percent");
        QTest::newRow("slider to 250") << 1.0f << "slider 250" << 250;
        QTest::newRow("minus button at the floor") << 0.4f << "btnZoomIn" << 40;
        QTest::newRow("wheel up from 2.0 jumps") << 2.0f << "wheel up" << 300;
        QTest::newRow("sideways scroll is no zoom") << 1.5f << "wheel sideways" << 150;
    }

    void zoomBar()
    {
        QFETCH(float, start);
        QFETCH(QString, action);
        QFETCH(int, percent);
        LOAD();
        child<QSlider>("hSliderImageFactor")->setValue(qRound(start * 100));
        const QSize wholeAtOne = crop()->size();
        if (action == "slider 250")
            child<QSlider>("hSliderImageFactor")->setValue(250);
        else if (action.startsWith("btn"))
            QTest::mouseClick(child<QPushButton>(qPrintable(action)), Qt::LeftButton);
        else if (action == "wheel sideways")
            wheel(crop(), crop()->rect().center(), -120, Qt::Horizontal);
        else
            wheel(crop(), crop()->rect().center(), action == "wheel up" ? 120 : -120);
        QCOMPARE(int(crop()->factor() * 100 + 0.5f), percent);
        QCOMPARE(labelText("labelImageFactor"), QStringLiteral("%1%").arg(percent));
        QCOMPARE(child<QSlider>("hSliderImageFactor")->value(), percent);
        // The picture is fitted into the view scaled by the factor.
        crop()->grab();
        const QSize bound = wholeAtOne * (percent / 100.0);
        const QSize shown = crop()->imageRect().size();
        QVERIFY2(qAbs(shown.width() - bound.width()) <= 1 || qAbs(shown.height() - bound.height()) <= 1,
                 qPrintable(QString("%1x%2").arg(shown.width()).arg(shown.height())));
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
            return QImageHelp::imageToMat(composed.convertToFormat(QImage::Format_ARGB32)).clone();
        };
        for (int i = 0; i < runs; ++i) {
            QVERIFY(beautifyWith(&page, "hSliderStrenghtTone", tone));
            QVERIFY(beautifyWith(&page, "hSliderSmooth", smooth));
        }
        const cv::Mat downloaded = discCutout();
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

    void savedIdPhotoPrintsAtItsSize_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("outputSize");
        QTest::addColumn<bool>("jpg");
        QTest::addColumn<QSize>("expected"); // height 0: whatever the crop gives
        QTest::addColumn<double>("widthMm"); // 0: no print size in the file
        QTest::newRow("one-inch png") << 20 << 3 << false << QSize(295, 413) << 25.0;
        QTest::newRow("two-inch jpg") << 23 << 3 << true << QSize(413, 579) << 35.0;
        QTest::newRow("one-inch at 2K") << 20 << 1 << true << QSize(2000, 0) << 25.0;
        QTest::newRow("e-commerce square") << 16 << 3 << false << QSize(1000, 1000) << 0.0;
    }

    void savedIdPhotoPrintsAtItsSize()
    {
        QFETCH(int, code);
        QFETCH(int, outputSize);
        QFETCH(bool, jpg);
        QFETCH(QSize, expected);
        QFETCH(double, widthMm);
        LOAD();
        QAppSettings::setOutputAsJpg(jpg);
        host->onApplyCorpSize(code, true, QSize());
        const QImage saved(saveInto(testutils::sandboxPath() + "/id", outputSize));
        QCOMPARE(saved.width(), expected.width());
        if (expected.height() > 0)
            QCOMPARE(saved.height(), expected.height());
        const int dotsPerMetre = saved.dotsPerMeterX();
        if (widthMm == 0) {
            QVERIFY(dotsPerMetre != int(QSaveFileWriter::kPrintDpi / 0.0254 + 0.5));
            return;
        }
        if (outputSize == 3)
            QCOMPARE(dotsPerMetre, 11811); // 300 dpi
        QCOMPARE(saved.dotsPerMeterY(), dotsPerMetre);
        const double printedMm = 1000.0 * saved.width() / dotsPerMetre;
        QVERIFY2(qAbs(printedMm - widthMm) < 0.5, qPrintable(QString::number(printedMm)));
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

    void formatDialogRemembers_data()
    {
        QTest::addColumn<bool>("stored");
        QTest::addColumn<QStringList>("clicks");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<bool>("expected");
        QTest::newRow("JPG and OK") << false << QStringList{"btnFormatJPG", "btnApply"} << true << true;
        QTest::newRow("JPG then close") << false << QStringList{"btnFormatJPG", "btnClose"} << false << false;
        QTest::newRow("OK keeps the last choice") << true << QStringList{"btnApply"} << true << true;
    }

    void formatDialogRemembers()
    {
        QFETCH(bool, stored);
        QFETCH(QStringList, clicks);
        QFETCH(bool, accepted);
        QFETCH(bool, expected);
        QAppSettings::setOutputAsJpg(stored);
        {
            QImageFormatDialog dialog(host.get());
            QCOMPARE(dialog.isJpg(), stored);
            answerDialog(clicks);
            QCOMPARE(dialog.exec() == QDialog::Accepted, accepted);
        }
        QCOMPARE(QAppSettings::outputAsJpg(), expected);
        // A new dialog (a later save) opens with the stored choice and explains it.
        QImageFormatDialog next(host.get());
        QCOMPARE(next.isJpg(), expected);
        QCOMPARE(next.findChild<QPushButton*>("btnFormatJPG")->property("checked").toBool(), expected);
        const QString explained = next.findChild<QLabel*>("labelFormatMsg")->text();
        QVERIFY2(explained.startsWith(expected ? "JPG" : "PNG"), qPrintable(explained));
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
        const QString photo = makeMattedPhoto(name);
        QVERIFY(!photo.isEmpty());
        auto task = std::make_shared<QImageTask>(Person, photo);
        QSignalSpy done(task.get(), &QImageTask::signal_success);
        QTaskManager::addTask(task);
        QTRY_COMPARE_WITH_TIMEOUT(done.size(), 1, kWaitMs);
        host->setTask(task->id());
        QTRY_VERIFY_WITH_TIMEOUT(crop()->hasImage() && brush()->isReady(), kWaitMs);
        crop()->grab(); // lays the picture out as a paint does
    }

    QImageCropWidget* crop() const { return host->cropView(); }
    QImageCutoutWidget* brush() const { return host->brushView(); }
    template <typename T> T* child(const char* name) const
    {
        return host->findChild<T*>(QLatin1String(name));
    }
    QString labelText(const char* name) const { return child<QLabel>(name)->text(); }
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
        QMouseEvent up(QEvent::MouseButtonRelease, slider->rect().center(),
                       slider->mapToGlobal(slider->rect().center()), Qt::LeftButton, Qt::NoButton,
                       Qt::NoModifier);
        QApplication::sendEvent(slider, &up);
        // The job is queued, not run in the release: the page waits for it.
        return !slider->isEnabled() && finished.isEmpty() && finished.wait(kWaitMs) && slider->isEnabled();
    }

    void strokeOverDisc()
    {
        const QRect shown = brush()->imageRect();
        drag(brush(), Qt::LeftButton, shown.center() - QPoint(20, 0), shown.center() + QPoint(20, 0));
    }

    std::unique_ptr<QCropWidget> host;
    QList<QPair<int, QString>> boxes;
};

BRISEL_TEST_MAIN(TestCropView)
#include "tst_cropview.moc"
