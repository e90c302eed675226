// QImageTask's state and cache around the service exchange (which
// tst_mattingclient covers): unchanged photos are served from the cache, and a
// failure ends in one error signal with nothing half-done kept or cached.

#include "fakeservice.h"
#include "mattingfixtures.h"
#include "qimagetask.h"
#include "testutils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QtTest>

using namespace mattingtest;

namespace {

std::unique_ptr<FakeService> healthyService()
{
    auto fake = std::make_unique<FakeService>();
    useService(fake->url());
    return fake;
}

} // namespace

class TestImageTask : public QObject
{
    Q_OBJECT

private slots:
    void failureKeepsNothing()
    {
        const auto fake = healthyService();
        fake->resultBytes = "this is not a picture";
        const QString photo = makePhoto("failure.jpg");
        QImageTask task(Goods, photo);
        QCOMPARE(runTask(task),
                 QStringLiteral("The cut-out sent by the matting service is not a readable image."));
        QVERIFY(task.cutout().empty());
        QCOMPARE(task.sourceSize(), QSize(0, 0));
        QVERIFY(!QFile::exists(QImageTask::cacheFilePath(photo)));
    }

    void cacheServesUnchangedPhotos_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("creates");
        QTest::newRow("unchanged: no second upload") << "none" << 1;
        QTest::newRow("unchanged, service gone") << "service-gone" << 1;
        QTest::newRow("touched: uploaded again") << "touch" << 2;
        QTest::newRow("rewritten with the same size and time") << "same-stamp" << 1;
        QTest::newRow("cache entry damaged: matted again") << "damage-cache" << 2;
    }
    void cacheServesUnchangedPhotos()
    {
        QFETCH(QString, change);
        QFETCH(int, creates);
        auto fake = healthyService();
        const QByteArray result = fake->resultBytes;
        const QString photo = makePhoto(QStringLiteral("cache-%1.jpg").arg(change));
        QImageTask first(Person, photo);
        QCOMPARE(runTask(first), QString());
        const QString entry = QImageTask::cacheFilePath(photo);
        QCOMPARE(testutils::readFile(entry), result);

        QFile file(photo);
        const QDateTime stamp = QFileInfo(photo).lastModified();
        if (change == "touch") {
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(stamp.addSecs(-3600), QFileDevice::FileModificationTime));
        } else if (change == "same-stamp") {
            // The cache key is path, size and time, not content: this is a hit.
            QByteArray bytes = testutils::readFile(photo);
            bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 0x55);
            QVERIFY(testutils::writeFile(photo, bytes));
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(stamp, QFileDevice::FileModificationTime));
        } else if (change != "none" && change != "service-gone") {
            QVERIFY(testutils::writeFile(entry, result.left(result.size() / 2)));
        }
        file.close();
        const int before = fake->creates;
        if (change == "service-gone")
            fake.reset();

        QImageTask second(Person, photo);
        QCOMPARE(runTask(second), QString());
        QCOMPARE(fake ? fake->creates.load() : before, creates);
        QCOMPARE(second.sourceSize(), QSize(20, 10));
        QCOMPARE(testutils::maxPixelDifference(second.cutout(), first.cutout()), 0);
        QCOMPARE(testutils::readFile(QImageTask::cacheFilePath(photo)), result);
    }

    void unwritableCacheStillSucceeds()
    {
        const auto fake = healthyService();
        const QString photo = makePhoto("no-cache.jpg");
        const QString folder = QFileInfo(QImageTask::cacheFilePath(photo)).path();
        QDir(folder).removeRecursively();
        QVERIFY(testutils::writeFile(folder, "a file where the folder should be"));

        QImageTask task(Person, photo);
        const QString error = runTask(task);
        QVERIFY(QFile::remove(folder));
        QCOMPARE(error, QString());
        QCOMPARE(task.sourceSize(), QSize(20, 10));
    }
};

BRISEL_TEST_GUILESS_MAIN(TestImageTask)
#include "tst_imagetask.moc"
