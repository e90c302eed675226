// The single-image editor host: edits and beautify runs reaching the canvas through
// its pool jobs, saving into real folders. Photos are matted from the task cache.

#include "imagefixtures.h"
#include "mouseinput.h"
#include "qappsettings.h"
#include "qbeautify.h"
#include "qcropwidget.h"
#include "qimagecanvas.h"
#include "qimagecropwidget.h"
#include "qimagecutoutwidget.h"
#include "qimagesettings.h"
#include "qmsgbox.h"
#include "qsavefilewriter.h"
#include "qworkpool.h"

#include <QDir>
#include <QFileInfo>

Q_DECLARE_METATYPE(cv::Mat)

constexpr int kWaitMs = 20000;
const QSize kPhoto(300, 200);

class TestCropView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qRegisterMetaType<cv::Mat>("Mat");
        QWorkPool::instance()->start(2);
        QMsgBox::setTestHook([this](QMsgBox::Kind, const QString& text) { return boxes << text, 1; });
    }

    void init()
    {
        boxes.clear();
        host = std::make_unique<QCropWidget>();
        host->resize(640, 520);
        host->show();
        QVERIFY(QTest::qWaitForWindowActive(host.get()));
        host->setTask(imagefixtures::cachedTask("portrait.jpg", kPhoto, kWaitMs)); // empty loads nothing
        QTRY_VERIFY_WITH_TIMEOUT(host->cropView()->hasImage() && host->brushView()->isReady(), kWaitMs);
        host->cropView()->grab(); // lays the picture out as a paint does
    }

    void cleanup()
    {
        host.reset();
        QTaskManager::clear();
    }

    // Brush edits left behind by "Upload again" never reach the next photo, not even
    // through a later beautify run.
    void nextPhotoDropsBrushEdits()
    {
        host->setActiveView(QCropWidget::BrushView);
        host->brushView()->setFactor(1.0f);
        const QPoint c = host->brushView()->imageRect().center();
        mouseinput::drag(host->brushView(), Qt::LeftButton, {c - QPoint(20, 0), c, c + QPoint(20, 0)});
        host->setTask(imagefixtures::cachedTask("next.jpg", kPhoto, kWaitMs));
        QTRY_VERIFY_WITH_TIMEOUT(host->cropView()->hasImage() && !host->isBusy(), kWaitMs);
        QSignalSpy finished(host.get(), &QCropWidget::signal_beauty_finished);
        host->onImageBeauty(); // the run that applies the brush's mask again
        QVERIFY(finished.wait(kWaitMs));
        QCOMPARE(qAlpha(shown().pixel(150, 106)), 255);
    }

    // Runs filter the downloaded cut-out, not the last result: they never compound.
    void beautifyStartsFromTheDownload()
    {
        const cv::Mat downloaded = imagefixtures::discCutout(kPhoto);
        const cv::Mat once = QBeautify::beautifyCutout(downloaded, downloaded, 30, 0);
        QImageSettings::setSmoothLevel(0);
        for (int tone : {30, 30, 0}) {
            QImageSettings::setToneLevel(tone);
            QSignalSpy finished(host.get(), &QCropWidget::signal_beauty_finished);
            host->onImageBeauty();
            QVERIFY(finished.wait(kWaitMs));
            const cv::Vec4b want = (tone ? once : downloaded).at<cv::Vec4b>(100, 150);
            QCOMPARE(QColor(shown().pixel(150, 100)), QColor(want[2], want[1], want[0]));
        }
    }

    void unreadableBackgroundSaysSo()
    {
        const QString broken = testutils::sandboxPath() + "/broken.png";
        QVERIFY(testutils::writeFile(broken, "not a picture"));
        host->onChangeBackgroundImage(broken);
        QVERIFY2(boxes.size() == 1 && boxes.first().contains(QDir::toNativeSeparators(broken)),
                 qPrintable(boxes.join('\n')));
    }

    // A save makes its folder; one whose folder cannot be made leaves nothing, says
    // where, and the next one works.
    void save_data()
    {
        QTest::addColumn<QString>("folder"); // in the row's folder, which holds "file"
        QTest::addColumn<int>("kilobytes");
        QTest::newRow("into a new folder") << "new/sub" << 0;
        QTest::newRow("over a 1 KB limit warns") << "new" << 1;
        QTest::newRow("folder under a file") << "file/sub" << 0;
    }

    void save()
    {
        QFETCH(QString, folder);
        QFETCH(int, kilobytes);
        QAppSettings::setOutputAsJpg(true);
        QSaveFileWriter::setMaxKilobytes(kilobytes);
        const QString root = testutils::sandboxPath() + "/" + QTest::currentDataTag();
        QVERIFY(testutils::writeFile(root + "/file", "x"));
        folder = root + "/" + folder;
        QString message;
        const QString file = saveInto(folder, &message);
        if (folder.endsWith("file/sub")) {
            QVERIFY2(message.contains(QDir::toNativeSeparators(folder)), qPrintable(message));
            QCOMPARE(QDir(root).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"file"});
            QVERIFY(!saveInto(root + "/afterwards").isEmpty());
            return;
        }
        QCOMPARE(QFileInfo(file).absolutePath(), folder);
        QCOMPARE(boxes.size(), kilobytes);
        QVERIFY(boxes.isEmpty() || boxes.first().contains(" 1 KB"));
    }

private:
    QImage shown() const { return host->cropView()->canvas()->composedPixmap(true).toImage(); }

    // Saves into folder; the written file, or empty with the failure in *message.
    QString saveInto(const QString& folder, QString* message = nullptr)
    {
        QSignalSpy saved(host.get(), &QCropWidget::signal_saved);
        QSignalSpy failed(host.get(), &QCropWidget::signal_save_failed);
        host->save(folder, QImageCanvas::Output2k);
        (void)QTest::qWaitFor([&] { return saved.size() + failed.size() > 0; }, kWaitMs);
        if (message)
            *message = failed.value(0).value(0).toString();
        return saved.isEmpty() ? QString() : saved.first().first().toString();
    }

    std::unique_ptr<QCropWidget> host;
    QStringList boxes;
};

BRISEL_TEST_MAIN(TestCropView)
#include "tst_cropview.moc"
