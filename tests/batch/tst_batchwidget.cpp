#include "batchfixtures.h"
#include "csetting.h"
#include "fakeservice.h"
#include "mattingfixtures.h"
#include "qbatchmattingdialog.h"
#include "qbatchmattingwidget.h"
#include "qfilechooser.h"
#include "qmainwidget.h"
#include "qmsgbox.h"
#include "qpreviewitem.h"
#include "qsizebutton.h"
#include "qtaskmanager.h"
#include "qworkpool.h"
#include "testutils.h"

#include "qimagebutton.h"
#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTimer>

#include <opencv2/imgcodecs.hpp>

#include <memory>

using batchtest::answerModal;
using batchtest::kMattingTimeoutMs;
using batchtest::waitReady;

class TestBatchWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void sizeButtons_data();
    void sizeButtons();
    void customSize_data();
    void customSize();
    void outputSize_data();
    void outputSize();
    void outputFolder_data();
    void outputFolder();
    void tileSaveName_data();
    void tileSaveName();
    void failedTileRetries_data();
    void failedTileRetries();
    void backgroundReachesOnlyFinishedTiles_data();
    void backgroundReachesOnlyFinishedTiles();
    void saveAllReportsUnwritableTarget();
    void saveAllCancelled_data();
    void saveAllCancelled();
    void deletingLastTileReopensDialog_data();
    void deletingLastTileReopensDialog();
    void fromHomePage_data();
    void fromHomePage();

private:
    mattingtest::RealService service;
    QStringList warnings;
    std::unique_ptr<batchtest::UrlSink> urls;
    QString outDir;
};

void TestBatchWidget::initTestCase()
{
    QString error;
    QVERIFY2(service.start(false, &error), qPrintable(error));
    QWorkPool::instance()->start(3);
    QMsgBox::setTestHook([this](QMsgBox::Kind, const QString& text) {
        warnings << text;
        return 1;
    });
    urls = std::make_unique<batchtest::UrlSink>();
}

void TestBatchWidget::init()
{
    mattingtest::useService(service.url());
    warnings.clear();
    outDir = testutils::sandboxPath() + "/out/" + QTest::currentTestFunction() + "/" +
             (QTest::currentDataTag() ? QTest::currentDataTag() : "");
    QDir().mkpath(outDir);
    CSetting::setValue("output", "path", outDir);
    CSetting::setValue("output", "format", 0);
}

void TestBatchWidget::cleanup()
{
    QTaskManager::clear();
}

void TestBatchWidget::cleanupTestCase()
{
    QMsgBox::setTestHook(nullptr);
    urls.reset();
}

void TestBatchWidget::sizeButtons_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QStringList>("names");
    const QStringList common{"Original image", "Crop edges of image", "500*500",
                             "800*800",        "1000*1000",           "1500*1500"};
    QTest::newRow("person") << 0 << common + QStringList{"Certificate >", "Custom size"};
    QTest::newRow("product") << 1 << common + QStringList{"Custom size"};
}

void TestBatchWidget::sizeButtons()
{
    QFETCH(int, kind);
    QFETCH(QStringList, names);
    QBatchMattingWidget widget;
    widget.startBatch(kind, {});
    widget.startBatch(kind, {}); // a second batch keeps the buttons it built
    const QList<QSizeButton*> buttons = widget.sizeButtons();
    QStringList shown;
    for (QSizeButton* b : buttons)
        shown << b->name();
    QCOMPARE(shown, names);
    QVERIFY(buttons.first()->isChecked());
    QVERIFY(widget.items().isEmpty());
    // The custom size button reveals the fields and emits nothing yet.
    QSignalSpy crops(&widget, &QBatchMattingWidget::signal_apply_crop_size);
    QTest::mouseClick(buttons.last(), Qt::LeftButton);
    QVERIFY(widget.findChild<QFrame*>("frameCustomSize")->isVisibleTo(&widget));
    QVERIFY(buttons.last()->isChecked());
    QVERIFY(!buttons.first()->isChecked());
    QCOMPARE(crops.size(), 0);
    QTest::mouseClick(buttons.at(2), Qt::LeftButton);
    QCOMPARE(crops.size(), 1);
    QCOMPARE(crops.first().at(0).toInt(), 18);
}

void TestBatchWidget::customSize_data()
{
    QTest::addColumn<QString>("width");
    QTest::addColumn<QString>("height");
    QTest::addColumn<QSize>("applied"); // invalid: refused
    QTest::newRow("0 x 100") << "0"
                             << "100" << QSize();
    QTest::newRow("empty width") << ""
                                 << "100" << QSize();
    QTest::newRow("letters") << "abc"
                             << "10" << QSize();
    QTest::newRow("negative height") << "10"
                                     << "-5" << QSize();
    QTest::newRow("300 x 1") << "300"
                             << "1" << QSize(300, 1);
    QTest::newRow("600 x 800") << "600"
                               << "800" << QSize(600, 800);
}

void TestBatchWidget::customSize()
{
    QFETCH(QString, width);
    QFETCH(QString, height);
    QFETCH(QSize, applied);
    QBatchMattingWidget widget;
    QSignalSpy crops(&widget, &QBatchMattingWidget::signal_apply_crop_size);
    widget.findChild<QLineEdit*>("lineEditWidth")->setText(width);
    widget.findChild<QLineEdit*>("lineEditHeight")->setText(height);
    QTest::mouseClick(widget.findChild<QPushButton*>("btnApplySize"), Qt::LeftButton);
    if (applied.isValid()) {
        QCOMPARE(crops.size(), 1);
        QCOMPARE(crops.first().at(0).toInt(), 10);
        QCOMPARE(crops.first().at(2).toSize(), applied);
        QVERIFY(warnings.isEmpty());
    } else {
        QCOMPARE(crops.size(), 0);
        QCOMPARE(warnings, QStringList{"Please enter a valid value!"});
    }
}

void TestBatchWidget::outputSize_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("shown");
    QTest::newRow("nothing stored") << QVariant() << "2K";
    QTest::newRow("4K stored") << QVariant(2) << "4K";
    QTest::newRow("out of range") << QVariant(9) << "Original resolution";
}

void TestBatchWidget::outputSize()
{
    QFETCH(QVariant, stored);
    QFETCH(QString, shown);
    CSetting::setValue("output", "size", stored.isValid() ? stored : QVariant(QString()));
    if (!stored.isValid())
        CSetting::setValue("output", "size", QVariant());
    QBatchMattingWidget widget;
    auto* combo = widget.findChild<QComboBox*>("comboOutputSize");
    QCOMPARE(combo->currentText(), shown);
    combo->setCurrentIndex(0);
    QCOMPARE(CSetting::getInt("output", "size", -1), 0);
}

void TestBatchWidget::outputFolder_data()
{
    QTest::addColumn<QString>("answer"); // what the picker returns, "file" for a plain file
    QTest::addColumn<bool>("taken");
    QTest::newRow("folder") << "folder" << true;
    QTest::newRow("a file, not a folder") << "file" << false;
    QTest::newRow("cancelled") << "" << false;
}

void TestBatchWidget::outputFolder()
{
    QFETCH(QString, answer);
    QFETCH(bool, taken);
    QString picked;
    if (answer == "folder") {
        picked = testutils::sandboxPath() + "/chosen";
        QVERIFY(QDir().mkpath(picked));
    } else if (answer == "file") {
        picked = testutils::sandboxPath() + "/not-a-folder";
        QVERIFY(testutils::writeFile(picked, "x"));
    }
    QBatchMattingWidget widget;
    auto* edit = widget.findChild<QLineEdit*>("editOutputPath");
    QFileChooser::setFolderHook([picked](const QString&, const QString&) { return picked; });
    QTest::mouseClick(widget.findChild<QPushButton*>("btnSelectOutput"), Qt::LeftButton);
    QFileChooser::setFolderHook(nullptr);
    QCOMPARE(CSetting::getString("output", "path"), taken ? picked : outDir);
    QCOMPARE(edit->text(), taken ? picked : outDir);
    // Only a refused folder is explained.
    QCOMPARE(warnings.size(), answer == "file" ? 1 : 0);
}

void TestBatchWidget::tileSaveName_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("photoName");
    QTest::addColumn<QString>("pattern");
    QTest::newRow("png") << 0 << "shoe.png"
                         << "^shoe_\\d{10}\\.png$";
    QTest::newRow("jpg, two dots") << 1 << "cup.v2.jpg"
                                   << "^cup_\\d{10}\\.jpg$";
}

void TestBatchWidget::tileSaveName()
{
    QFETCH(int, format);
    QFETCH(QString, photoName);
    QFETCH(QString, pattern);
    const QString photo = mattingtest::makePhoto(photoName, 320, 240);
    QVERIFY(!photo.isEmpty());
    QBatchMattingWidget widget;
    widget.startBatch(1, {photo});
    QVERIFY(waitReady(widget.items()));
    // "Download" asks for the format (it opens on the stored one) and writes there.
    CSetting::setValue("output", "format", format);
    answerModal("btnApply");
    QTest::mouseClick(widget.items().first()->findChild<QPushButton*>("btnDownload"), Qt::LeftButton);
    // The click returns before anything is written: no event loop runs inside it.
    QVERIFY(QDir(outDir).entryList(QDir::Files).isEmpty());
    const QStringList results{"*.png", "*.jpg"}; // not the temporary file of the atomic write
    QTRY_COMPARE_WITH_TIMEOUT(QDir(outDir).entryList(results, QDir::Files).size(), 1, kMattingTimeoutMs);
    QVERIFY(warnings.isEmpty());
    const QStringList files = QDir(outDir).entryList(results, QDir::Files);
    QVERIFY2(QRegularExpression(pattern).match(files.first()).hasMatch(), qPrintable(files.first()));
    const cv::Mat written = cv::imread((outDir + "/" + files.first()).toStdString(), cv::IMREAD_UNCHANGED);
    QVERIFY(!written.empty());
    QCOMPARE(written.channels(), format == 0 ? 4 : 3);
}

void TestBatchWidget::failedTileRetries_data()
{
    QTest::addColumn<bool>("missingFile");
    QTest::addColumn<QString>("message"); // expected in the tooltip; empty: any
    QTest::newRow("service refuses") << false << "engine overheated";
    QTest::newRow("missing photo") << true << "";
}

void TestBatchWidget::failedTileRetries()
{
    QFETCH(bool, missingFile);
    QFETCH(QString, message);
    mattingtest::FakeService refusing;
    refusing.onCreate = [](const httplib::Request&, httplib::Response& res) {
        mattingtest::FakeService::replyJson(res, R"({"code":500,"message":"engine overheated"})");
    };
    const QString name = QString("retry_%1.png").arg(QTest::currentDataTag()).replace(' ', '_');
    QString photo = testutils::sandboxPath() + "/photos/" + name;
    if (missingFile)
        QFile::remove(photo);
    else
        photo = mattingtest::makePhoto(name, 200, 150);
    if (!missingFile)
        mattingtest::useService(refusing.url());

    QBatchMattingWidget widget;
    widget.startBatch(0, {photo});
    QPreviewItem* tile = widget.items().first();
    QTRY_VERIFY_WITH_TIMEOUT(tile->isFailed(), kMattingTimeoutMs);
    QVERIFY(!tile->isBusy());
    QVERIFY(!tile->isReady());
    QVERIFY(!tile->toolTip().isEmpty());
    if (!message.isEmpty())
        QVERIFY2(tile->toolTip().contains(message), qPrintable(tile->toolTip()));
    auto* retry = tile->findChild<QPushButton*>("btnRetry");
    QVERIFY(retry->isVisibleTo(tile));

    // The cause goes away; "Retry" mattes the photo again through the real service.
    mattingtest::useService(service.url());
    if (missingFile)
        QCOMPARE(mattingtest::makePhoto(name, 200, 150), photo);
    QTest::mouseClick(retry, Qt::LeftButton);
    QVERIFY(!tile->isFailed());
    QVERIFY(!retry->isVisibleTo(tile));
    QVERIFY(waitReady(widget.items()));
    QVERIFY(tile->toolTip().isEmpty());
}

void TestBatchWidget::backgroundReachesOnlyFinishedTiles_data()
{
    QTest::addColumn<QString>("picker");
    QTest::newRow("swatch") << "swatch";
    QTest::newRow("colour dialog") << "colour dialog";
    QTest::newRow("template picture") << "template";
}

// Whichever way the red background is chosen, finished tiles show it and a tile
// still processing does not.
void TestBatchWidget::backgroundReachesOnlyFinishedTiles()
{
    QFETCH(QString, picker);
    // A service that takes the job and never finishes keeps the second tile busy.
    mattingtest::FakeService stuck;
    stuck.onPoll = [](const httplib::Request&, httplib::Response& res) {
        mattingtest::FakeService::replyJson(res, mattingtest::FakeService::pollReply(0));
    };
    const QString done = mattingtest::makePhoto("colour_done.png", 200, 150);
    QBatchMattingWidget widget;
    widget.startBatch(1, {done});
    QVERIFY(waitReady(widget.items()));
    QPreviewItem* ready = widget.items().first();
    mattingtest::useService(stuck.url());
    auto* pending = new QPreviewItem(1, mattingtest::makePhoto("colour_pending.png", 200, 150), &widget);
    connect(&widget, &QBatchMattingWidget::signal_change_color, pending,
            &QPreviewItem::onChangeBackgroundColor);
    connect(&widget, &QBatchMattingWidget::signal_change_image, pending,
            &QPreviewItem::onChangeBackgroundImage);
    QTRY_VERIFY(stuck.polls > 0);

    const QList<QImageButton*> buttons = widget.findChildren<QImageButton*>();
    if (picker == "swatch") {
        QTest::mouseClick(buttons.at(1), Qt::LeftButton); // "#FF0000"
    } else if (picker == "colour dialog") {
        auto* poll = new QTimer(&widget);
        connect(poll, &QTimer::timeout, [poll] {
            if (auto* dialog = qobject_cast<QColorDialog*>(QApplication::activeModalWidget())) {
                poll->stop();
                dialog->setCurrentColor(QColor(255, 0, 0));
                dialog->accept();
            }
        });
        poll->start(10);
        QTest::mouseClick(buttons.at(4), Qt::LeftButton);
    } else {
        const QString red = testutils::sandboxPath() + "/red.png";
        QImage picture(200, 150, QImage::Format_RGB32);
        picture.fill(Qt::red);
        QVERIFY(picture.save(red));
        QFileChooser::setOpenHook([red](const QString&, const QString&, const QString&) { return red; });
        QTest::mouseClick(buttons.at(5), Qt::LeftButton);
        QFileChooser::setOpenHook(nullptr);
    }
    QTRY_COMPARE(ready->grab().toImage().pixelColor(2, 80), QColor(255, 0, 0));
    QTest::qWait(3 * QBatchMattingWidget::kDelayMs);
    QVERIFY(!pending->isReady());
    QVERIFY(pending->grab().toImage().pixelColor(2, 2) != QColor(255, 0, 0));
    delete pending;
}

void TestBatchWidget::saveAllReportsUnwritableTarget()
{
    QStringList photos;
    for (const char* name : {"alpha.png", "beta.png", "gamma.png"})
        photos << mattingtest::makePhoto(name, 240, 180);
    QBatchMattingWidget widget;
    widget.startBatch(1, photos);
    QVERIFY(waitReady(widget.items()));
    // A folder where beta's file would go: that one rename must fail, whatever
    // second the save happens in.
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (qint64 t = now; t < now + 60; ++t)
        QVERIFY(QDir().mkpath(QString("%1/beta_%2.png").arg(outDir).arg(t)));
    QSignalSpy finished(&widget, &QBatchMattingWidget::signal_save_all_finished);
    answerModal("btnApply");
    QTest::mouseClick(widget.findChild<QPushButton*>("btnSaveAll"), Qt::LeftButton);
    QVERIFY(finished.wait(kMattingTimeoutMs));
    QCOMPARE(finished.first().at(0).toInt(), 2);
    const QStringList failures = finished.first().at(1).toStringList();
    QCOMPARE(failures.size(), 1);
    QVERIFY2(failures.first().startsWith("beta_"), qPrintable(failures.first()));
    QCOMPARE(finished.first().at(2).toInt(), 0);
    QCOMPARE(warnings.size(), 1);
    QVERIFY(warnings.first().contains("beta_"));
    QVERIFY(!widget.isSaving());
}

void TestBatchWidget::saveAllCancelled_data()
{
    QTest::addColumn<bool>("byButton");
    QTest::newRow("Cancel button") << true;
    QTest::newRow("dialog cancelled") << false;
}

void TestBatchWidget::saveAllCancelled()
{
    QFETCH(bool, byButton);
    QStringList photos;
    for (int i = 0; i < 4; ++i)
        photos << mattingtest::makePhoto(QString("cancel_%1_%2.png").arg(i).arg(byButton), 240, 180);
    QBatchMattingWidget widget;
    widget.startBatch(1, photos);
    QVERIFY(waitReady(widget.items()));
    QSignalSpy finished(&widget, &QBatchMattingWidget::signal_save_all_finished);
    answerModal("btnApply");
    QTest::mouseClick(widget.findChild<QPushButton*>("btnSaveAll"), Qt::LeftButton);
    auto* progress = widget.findChild<QProgressDialog*>("saveProgress");
    QVERIFY(progress);
    QVERIFY(widget.isSaving());
    if (byButton)
        QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);
    else
        progress->cancel();
    QVERIFY(finished.wait(kMattingTimeoutMs));
    // The photos already being written finish; none after them starts.
    QVERIFY(finished.first().at(0).toInt() <= QBatchMattingWidget::kParallelSaves);
    QVERIFY(finished.first().at(1).toStringList().isEmpty());
    QVERIFY(warnings.isEmpty());
    QVERIFY(!widget.isSaving());
}

void TestBatchWidget::deletingLastTileReopensDialog_data()
{
    QTest::addColumn<bool>("uploadAgain");
    QTest::newRow("last tile deleted") << false;
    QTest::newRow("upload again") << true;
}

void TestBatchWidget::deletingLastTileReopensDialog()
{
    QFETCH(bool, uploadAgain);
    QBatchMattingWidget widget;
    widget.startBatch(
        0, {mattingtest::makePhoto("lonely.png", 120, 90), mattingtest::makePhoto("other.png", 120, 90)});
    QSignalSpy home(&widget, &QBatchMattingWidget::signal_back_to_home);
    QPointer<QPreviewItem> tile = widget.items().first();
    answerModal("btnCancel");
    if (uploadAgain) {
        QTest::mouseClick(widget.findChild<QPushButton*>("btnBatchUpload"), Qt::LeftButton);
        QCOMPARE(warnings, QStringList{"Are you sure to clear all?"});
    } else {
        QTest::mouseClick(widget.items().last()->findChild<QPushButton*>("btnDelete"), Qt::LeftButton);
        QCOMPARE(widget.items().size(), 1);
        QTest::qWait(3 * QBatchMattingWidget::kDelayMs);
        QCOMPARE(home.size(), 0); // one tile left: no dialog yet
        QTest::mouseClick(tile->findChild<QPushButton*>("btnDelete"), Qt::LeftButton);
    }
    QVERIFY(widget.items().isEmpty());
    QTRY_COMPARE(home.size(), 1);
    QTRY_VERIFY(tile.isNull());
}

void TestBatchWidget::fromHomePage_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("photos");
    QTest::addColumn<bool>("accept");
    QTest::newRow("ten products") << "BatchGoods" << 10 << true;
    QTest::newRow("two persons") << "BatchPerson" << 2 << true;
    QTest::newRow("dialog cancelled") << "BatchPerson" << 2 << false;
}

void TestBatchWidget::fromHomePage()
{
    QFETCH(QString, button);
    QFETCH(int, photos);
    QFETCH(bool, accept);
    QStringList picks;
    for (int i = 0; i < photos; ++i)
        picks << mattingtest::makePhoto(QString("home_%1_%2.jpg").arg(button).arg(i), 320, 240);
    QFileChooser::setOpenManyHook([picks](const QString&, const QString&, const QString&) { return picks; });
    QMainWidget window;
    window.show();
    // The add dialog: choose the photos, then "Cutout" or "No".
    auto* poll = new QTimer;
    connect(poll, &QTimer::timeout, [poll, accept] {
        auto* dialog = qobject_cast<QBatchMattingDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll->stop();
        poll->deleteLater();
        dialog->onBtnAddImage();
        QTimer::singleShot(3 * QBatchMattingDialog::kRefreshDelayMs, dialog, [dialog, accept] {
            QTest::mouseClick(dialog->findChild<QPushButton*>(accept ? "btnCutout" : "btnCancel"),
                              Qt::LeftButton);
        });
    });
    poll->start(10);
    QTest::mouseClick(window.findChild<QWidget*>(button), Qt::LeftButton);
    QFileChooser::setOpenManyHook(nullptr);
    auto* batch = window.findChild<QBatchMattingWidget*>();
    QVERIFY(batch);
    if (!accept) {
        QTest::qWait(3 * QBatchMattingWidget::kDelayMs);
        QVERIFY(!batch->isVisible());
        QVERIFY(batch->items().isEmpty());
        return;
    }
    QTRY_VERIFY(batch->isVisible());
    QCOMPARE(batch->items().size(), photos);
    QCOMPARE(batch->kind(), button == "BatchGoods" ? 1 : 0);
    QVERIFY(waitReady(batch->items()));
    QSignalSpy finished(batch, &QBatchMattingWidget::signal_save_all_finished);
    answerModal("btnApply");
    QTest::mouseClick(batch->findChild<QPushButton*>("btnSaveAll"), Qt::LeftButton);
    QVERIFY(finished.wait(kMattingTimeoutMs));
    QCOMPARE(finished.first().at(0).toInt(), photos);
    const QStringList files = QDir(outDir).entryList({"home_*.png"}, QDir::Files);
    QCOMPARE(files.size(), photos);
    for (const QString& f : files) {
        const cv::Mat image = cv::imread((outDir + "/" + f).toStdString(), cv::IMREAD_UNCHANGED);
        QVERIFY2(!image.empty(), qPrintable(f));
        QCOMPARE(image.channels(), 4);
        // The disc is kept, the flat corner is cut away.
        QCOMPARE(int(image.at<cv::Vec4b>(0, 0)[3]), 0);
        QVERIFY(image.at<cv::Vec4b>(image.rows / 2, image.cols / 2)[3] > 200);
    }
    QTest::mouseClick(batch->findChild<QPushButton*>("btnBackHome"), Qt::LeftButton);
    QTRY_VERIFY(!batch->isVisible());
}

BRISEL_TEST_MAIN(TestBatchWidget)
#include "tst_batchwidget.moc"
