// QImageTask's cache around the service exchange: unchanged photos are served
// from the cache, and nothing half-done is ever kept or cached.

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

class TestImageTask : public QObject
{
    Q_OBJECT

private slots:
    void cache_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("creates"); // uploads in all, 0 when the task must fail
        QTest::newRow("unchanged, service gone: served from the cache") << "service-gone" << 1;
        QTest::newRow("touched: uploaded again") << "touch" << 2;
        QTest::newRow("cache entry damaged: matted again") << "damage-cache" << 2;
        QTest::newRow("cache folder unwritable: still succeeds") << "no-folder" << 1;
        QTest::newRow("result unreadable: nothing kept") << "bad-result" << 0;
    }
    void cache()
    {
        QFETCH(QString, change);
        QFETCH(int, creates);
        auto fake = std::make_unique<FakeService>();
        useService(fake->url());
        const QByteArray result = fake->resultBytes;
        const QString photo = makePhoto(QStringLiteral("cache-%1.jpg").arg(change));
        const QString entry = QImageTask::cacheFilePath(photo);
        const QString folder = QFileInfo(entry).path();
        if (change == "no-folder") {
            QDir(folder).removeRecursively();
            QVERIFY(testutils::writeFile(folder, "a file where the folder should be"));
        } else if (change == "bad-result") {
            fake->resultBytes = "this is not a picture";
        }
        QImageTask first(Person, photo);
        const QString error = runTask(first);
        if (change == "no-folder")
            QVERIFY(QFile::remove(folder));
        if (creates == 0) {
            QCOMPARE(error,
                     QStringLiteral("The cut-out sent by the matting service is not a readable image."));
            QVERIFY(first.cutout().empty());
            QVERIFY(!QFile::exists(entry));
            return;
        }
        QCOMPARE(error, QString());
        QCOMPARE(first.sourceSize(), QSize(20, 10));
        if (change == "no-folder")
            return;
        QCOMPARE(testutils::readFile(entry), result);

        if (change == "touch") {
            QFile file(photo);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(QFileInfo(photo).lastModified().addSecs(-3600),
                                     QFileDevice::FileModificationTime));
        } else if (change == "damage-cache") {
            QVERIFY(testutils::writeFile(entry, result.left(result.size() / 2)));
        } else {
            fake->onCreate = [](const httplib::Request&, httplib::Response& res) { res.status = 500; };
        }
        QImageTask second(Person, photo);
        QCOMPARE(runTask(second), QString());
        QCOMPARE(fake->creates.load(), creates);
        QCOMPARE(testutils::maxPixelDifference(second.cutout(), first.cutout()), 0);
        QCOMPARE(testutils::readFile(entry), result);
    }
};

BRISEL_TEST_GUILESS_MAIN(TestImageTask)
#include "tst_imagetask.moc"
