// The single-image editor host: edits and beautify runs reaching the canvas through
// its pool jobs, saving into real folders. Photos are matted from the task cache.
// The result file writer: the JPG size limit met at the highest quality that fits,
// the density left alone in what is no picture, and names that never replace a file.

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

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

Q_DECLARE_METATYPE(cv::Mat)

namespace {
// 12 megapixels with fine grain, so it compresses like a camera picture.
const cv::Mat& twelveMegapixelPhoto()
{
    static const cv::Mat photo = [] {
        cv::Mat large;
        cv::resize(cv::imread(testutils::dataPath("astronaut.png").toStdString()), large,
                   cv::Size(4000, 3000), 0, 0, cv::INTER_CUBIC);
        cv::Mat grain(large.size(), CV_8UC3);
        cv::randu(grain, cv::Scalar::all(0), cv::Scalar::all(12));
        return cv::Mat(large + grain);
    }();
    return photo;
}

int jpegSize(int quality)
{
    std::vector<uchar> bytes;
    cv::imencode(".jpg", twelveMegapixelPhoto(), bytes, {cv::IMWRITE_JPEG_QUALITY, quality});
    return int(bytes.size());
}
} // namespace

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

    void cleanup()
    {
        host.reset();
        QTaskManager::clear();
    }

    // Brush edits left behind by "Upload again" never reach the next photo, not even
    // through a later beautify run.
    void nextPhotoDropsBrushEdits()
    {
        QVERIFY(showHost());
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
        QVERIFY(showHost());
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
        QVERIFY(showHost());
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
        QVERIFY(showHost());
        QFETCH(QString, folder);
        QFETCH(int, kilobytes);
        QAppSettings::setOutputFormat(SaveFormat::Jpg);
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

    void limitMetAtHighestQuality_data()
    {
        QTest::addColumn<int>("expected"); // quality; the limit is its size rounded up to kilobytes
        QTest::addColumn<bool>("overLimit");
        QTest::newRow("high") << 94 << false;
        QTest::newRow("everything fits") << 100 << false;
        QTest::newRow("below the lowest quality") << int(QSaveFileWriter::kMinQuality) << true;
    }

    void limitMetAtHighestQuality()
    {
        QFETCH(int, expected);
        QFETCH(bool, overLimit);
        const QSaveFileWriter::Options options{
            SaveFormat::Jpg, overLimit ? 1 : (jpegSize(expected) + 1023) / 1024, 0, {}, false};
        QSaveFileWriter::Result result;
        QVERIFY(QSaveFileWriter::encode(twelveMegapixelPhoto(), options, &result));
        QCOMPARE(result.overLimit, overLimit);
        QCOMPARE(result.quality, expected);
        QVERIFY(result.encoderRuns <= QSaveFileWriter::kMaxEncoderRuns);
        QCOMPARE(result.bytes.size(), jpegSize(expected)); // over the limit: the smallest one
    }

    void densityLeavesOtherBytesAlone()
    {
        std::vector<uchar> png;
        cv::imencode(".png", testutils::texturedBgr(8, 8), png);
        const QByteArray whole(reinterpret_cast<const char*>(png.data()), int(png.size()));
        for (const QByteArray& bytes :
             {QByteArray("plain text, not a picture"), whole.left(whole.size() - 5)})
            QCOMPARE(QSaveFileWriter::withDensity(bytes, 300), bytes);
        QCOMPARE(QSaveFileWriter::withDensity(whole, 70000), whole); // out of the header's range
    }

    void outputName_data()
    {
        QTest::addColumn<QString>("photo");
        QTest::addColumn<QString>("existing"); // already in the folder
        QTest::addColumn<QStringList>("expected");
        const QString t = "_2026-12-06_21-35-12";
        QTest::newRow("no extension") << "scan"
                                      << "" << QStringList{"scan" + t + ".png"};
        QTest::newRow("percent sign") << "100%2.png"
                                      << "100%2" + t + ".png" << QStringList{"100%2" + t + " (2).png"};
        // The second call comes before the first file is written (two photos of one
        // name in a batch): existence alone would hand out the same name twice.
        QTest::newRow("name taken, then reserved")
            << "a.png"
            << "a" + t + ".png" << QStringList{"a" + t + " (2).png", "a" + t + " (3).png"};
    }

    void outputName()
    {
        QFETCH(QString, photo);
        QFETCH(QString, existing);
        QFETCH(QStringList, expected);
        const QString folder = testutils::sandboxPath() + "/names/" + QTest::currentDataTag();
        QVERIFY(QDir().mkpath(folder));
        if (!existing.isEmpty())
            QVERIFY(testutils::writeFile(folder + "/" + existing, "old"));
        const QDateTime when(QDate(2026, 12, 6), QTime(21, 35, 12));
        for (const QString& name : expected)
            QCOMPARE(QSaveFileWriter::outputPath(folder + "/", "/photos/" + photo, "png", when),
                     folder + "/" + name);
        // A later second starts afresh.
        QCOMPARE(QSaveFileWriter::outputPath(folder, photo, "png", when.addSecs(1)),
                 folder + "/" + QFileInfo(photo).completeBaseName() + "_2026-12-06_21-35-13.png");
    }

private:
    // The host on the cached portrait, both views ready and laid out.
    bool showHost()
    {
        boxes.clear();
        host = std::make_unique<QCropWidget>();
        host->resize(640, 520);
        host->show();
        if (!QTest::qWaitForWindowActive(host.get()))
            return false;
        host->setTask(imagefixtures::cachedTask("portrait.jpg", kPhoto, kWaitMs)); // empty loads nothing
        const auto ready = [this] { return host->cropView()->hasImage() && host->brushView()->isReady(); };
        if (!QTest::qWaitFor(ready, kWaitMs))
            return false;
        host->cropView()->grab(); // lays the picture out as a paint does
        return true;
    }

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
