// QImageTask and the pool against the real brisel-matting-service (key engine),
// over http and https, including the cache when the service is gone.

#include "csetting.h"
#include "hrequest.h"
#include "mattingfixtures.h"
#include "qimagehelp.h"
#include "qimagetask.h"
#include "qtaskmanager.h"
#include "qworkpool.h"
#include "testutils.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QtTest>

using namespace mattingtest;

namespace {

// The disc of makePhoto() is kept, the flat background around it removed.
void verifyCutout(const cv::Mat& cutout, const QSize& photoSize)
{
    QCOMPARE(cutout.type(), CV_8UC4);
    QCOMPARE(QSize(cutout.cols, cutout.rows), photoSize);
    QVERIFY2(cutout.at<cv::Vec4b>(cutout.rows / 2, cutout.cols / 2)[3] > 200, "the subject is transparent");
    QVERIFY2(cutout.at<cv::Vec4b>(2, 2)[3] < 30, "the background is kept");
    QVERIFY2(cutout.at<cv::Vec4b>(cutout.rows - 3, cutout.cols - 3)[3] < 30, "the background is kept");
}

} // namespace

class TestMattingService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(trustTestCa(&error), qPrintable(error));
        QImageTask::setPollInterval(50);
    }

    void fullRun_data()
    {
        QTest::addColumn<bool>("tls");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("photoName");
        QTest::addColumn<QSize>("size");
        QTest::newRow("person JPEG over http") << false << int(Person) << "person.jpg" << QSize(240, 180);
        QTest::newRow("goods PNG over http") << false << int(Goods) << "goods.png" << QSize(200, 200);
        QTest::newRow("card JPEG over https") << true << int(Card) << "card.jpg" << QSize(180, 240);
        QTest::newRow("goods PNG over https") << true << int(Goods) << "goods-tls.png" << QSize(320, 160);
    }
    void fullRun()
    {
        QFETCH(bool, tls);
        QFETCH(int, type);
        QFETCH(QString, photoName);
        QFETCH(QSize, size);
        RealService service;
        QString error;
        QVERIFY2(service.start(tls, &error), qPrintable(error));
        QVERIFY(service.url().startsWith(tls ? "https://" : "http://"));
        useService(service.url());
        const QString photo = makePhoto(photoName, size.width(), size.height());

        QImageTask task(type, photo);
        QCOMPARE(runTask(task), QString());
        QCOMPARE(task.sourceSize(), size);
        verifyCutout(task.cutout(), size);

        QFile cached(QImageTask::cacheFilePath(photo));
        QVERIFY(cached.open(QIODevice::ReadOnly));
        QCOMPARE(testutils::maxPixelDifference(QImageHelp::decodeImageBytes(cached.readAll()), task.cutout()),
                 0);
    }

    void afterTheServiceStopped_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("error");
        QTest::newRow("unchanged photo: from the cache") << "none" << QString();
        QTest::newRow("touched photo: uploaded again") << "touch"
                                                       << "File upload failed: 7";
        QTest::newRow("deleted photo") << "delete"
                                       << "The file is not exists!";
    }
    void afterTheServiceStopped()
    {
        QFETCH(QString, change);
        QFETCH(QString, error);
        const QString photo = makePhoto(QStringLiteral("stopped-%1.jpg").arg(change));
        cv::Mat first;
        {
            RealService service;
            QString startError;
            QVERIFY2(service.start(false, &startError), qPrintable(startError));
            useService(service.url());
            QImageTask task(Person, photo);
            QCOMPARE(runTask(task), QString());
            first = task.cutout();
        } // the service is stopped here; its port now refuses connections

        if (change == "touch") {
            QFile file(photo);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(QFileInfo(photo).lastModified().addSecs(5),
                                     QFileDevice::FileModificationTime));
        } else if (change == "delete") {
            QVERIFY(QFile::remove(photo));
        }
        QImageTask again(Person, photo);
        QCOMPARE(runTask(again), error);
        if (error.isEmpty())
            QCOMPARE(testutils::maxPixelDifference(again.cutout(), first), 0);
        else
            QVERIFY(again.cutout().empty());
    }

    void serviceRefusalReachesTheUser()
    {
        RealService service;
        QString error;
        QVERIFY2(service.start(false, &error), qPrintable(error));
        useService(service.url());
        const QString fake = testutils::sandboxPath() + "/photos/notes.jpg";
        QVERIFY(testutils::writeFile(fake, "shopping list: bread, milk"));
        QImageTask task(Person, fake);
        const QString message = runTask(task);
        // The service's own sentence, not a transport or parse failure of ours.
        QVERIFY2(message.size() > 10, qPrintable(message));
        QVERIFY2(!message.startsWith("File upload failed") && message != "The data parse for json failed!",
                 qPrintable(message));
        QVERIFY(!QFile::exists(QImageTask::cacheFilePath(fake)));
    }

    void manyTasksThroughThePool()
    {
        RealService service;
        QString error;
        QVERIFY2(service.start(true, &error), qPrintable(error));
        useService(service.url());
        QWorkPool::instance()->start(3);
        Recorder recorder;
        QStringList ids;
        const int types[] = {Person, Goods, Card, Person, Goods};
        for (int i = 0; i < 5; ++i) {
            auto task =
                std::make_shared<QImageTask>(types[i], makePhoto(QStringLiteral("pool-%1.jpg").arg(i)));
            connect(task.get(), &QImageTask::signal_success, &recorder, &Recorder::onSuccess);
            connect(task.get(), &QImageTask::signal_error, &recorder, &Recorder::onError);
            ids << task->id();
            QTaskManager::addTask(task);
        }
        QTRY_COMPARE_WITH_TIMEOUT(recorder.total(), 5, 60000);
        QCOMPARE(recorder.errors, QStringList());
        QVERIFY(recorder.allOnOwnThread);
        for (const QString& id : ids)
            verifyCutout(QTaskManager::getTask(id)->cutout(), QSize(160, 120));
        QWorkPool::instance()->stop();
        QTaskManager::clear();
    }
};

BRISEL_TEST_GUILESS_MAIN(TestMattingService)
#include "tst_mattingservice.moc"
