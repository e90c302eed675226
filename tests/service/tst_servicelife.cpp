// The real brisel-matting-service over a job's and its own life: cancelling a job
// in each state, stopping by itself or on SIGTERM without losing a finished
// result, and the files a killed instance leaves behind.

#include "photofixtures.h"
#include "serviceprocess.h"
#include "testutils.h"

#include <QDir>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QtTest>

namespace proto = mattingprotocol;

namespace {

const QString kMac = "0123456789ab";

std::string photo()
{
    return photofixtures::encode(photofixtures::discOnGreen(80, 60), ".png");
}

// The scratch folders of running or dead instances under `root`, by process id
// (all of them for 0).
QStringList instanceFolders(const QString& root, qint64 pid = 0)
{
    const QString pattern = pid ? QString("instance-%1-*").arg(pid) : QString("instance-*");
    return QDir(root).entryList({pattern}, QDir::Dirs);
}

} // namespace

class TestServiceLife : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY(m_root.isValid());
        QVERIFY2(m_service.start({"--workers", "1", "--queue", "4", "--test-delay-ms", "1000", "--scratch",
                                  m_root.path()},
                                 &error),
                 qPrintable(error));
        m_client = std::make_unique<ServiceClient>(m_service.url());
    }

    void cancel_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<int>("code");
        QTest::newRow("queued") << "queued" << 200;
        QTest::newRow("running") << "running" << 200;
        QTest::newRow("done") << "done" << 200;
        QTest::newRow("unknown") << "unknown" << 404;
    }
    void cancel()
    {
        QFETCH(QString, state);
        QFETCH(int, code);
        QVERIFY(waitQueueEmpty());
        QString serial = QString(32, '0');
        if (state != "unknown") {
            if (state == "queued")
                QCOMPARE(m_client->upload(kMac, "0", photo()).code(), 200); // takes the worker
            serial = m_client->upload(kMac, "0", photo()).serial();
            if (state == "done")
                QCOMPARE(m_client->waitFinished(kMac, serial).jobStatus(), proto::kStatusDone);
            else
                QTRY_COMPARE(queueCount(state == "queued" ? "waiting" : "running"), 1);
        }
        const ServiceReply cancelled = m_client->cancel(kMac, serial);
        QCOMPARE(cancelled.status, code);
        QCOMPARE(cancelled.code(), code);
        QCOMPARE(m_client->cancel("someoneelse", serial).status, 404);
        if (code == 404) {
            QCOMPARE(cancelled.message(),
                     QString("The task was not found. It may have expired; please try again."));
            return;
        }
        const ServiceReply poll = m_client->get(
            QString::fromStdString(proto::pollTarget(kMac.toStdString(), serial.toStdString())));
        QCOMPARE(poll.jobStatus(), proto::kStatusFailed);
        QCOMPARE(poll.message(), QString(proto::kMessageCancelled));
        // Once the engine is done with it, nothing of the job is left: no upload,
        // no result on disk or for download.
        QVERIFY(waitQueueEmpty());
        QCOMPARE(m_client->get(QString::fromStdString(proto::resultPath(serial.toStdString()))).status, 404);
        const QString folder = m_root.path() + "/" + instanceFolders(m_root.path()).value(0);
        QCOMPARE(QDir(folder).entryList({serial + "*"}, QDir::Files), QStringList());
    }

    // Either way of stopping lets the running job finish and its result be fetched.
    void stops_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("idle exit") << QStringList{"--idle-exit", "2"};
        QTest::newRow("SIGTERM") << QStringList{};
    }
    void stops()
    {
        QFETCH(QStringList, args);
        ServiceProcess service;
        QString error;
        QVERIFY2(service.start(args + QStringList{"--test-delay-ms", "2500"}, &error), qPrintable(error));
        ServiceClient client(service.url());
        const QString serial = client.upload(kMac, "1", photo()).serial();
        if (args.isEmpty()) {
            QTRY_COMPARE(client.get("/healthz").data().value("queue").toObject().value("running").toInt(), 1);
            service.process().terminate();
        }
        // The job outlasts the idle time: a running job counts as work.
        const ServiceReply done = client.waitFinished(kMac, serial);
        QCOMPARE(done.jobStatus(), proto::kStatusDone);
        QCOMPARE(client.get(done.convertPath()).status, 200);
        QVERIFY(service.process().waitForFinished(8000));
        QCOMPARE(service.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(service.process().exitCode(), 0);
    }

    void killedInstanceIsSwept()
    {
        QTemporaryDir root;
        const QStringList scratch{"--scratch", root.path()};
        ServiceProcess live, killed, next;
        QString error;
        QVERIFY2(live.start(scratch, &error), qPrintable(error));
        QVERIFY2(killed.start(scratch + QStringList{"--test-delay-ms", "10000"}, &error), qPrintable(error));
        QCOMPARE(ServiceClient(killed.url()).upload(kMac, "0", photo()).code(), 200);
        const qint64 killedPid = killed.process().processId();
        killed.process().kill();
        QVERIFY(killed.process().waitForFinished(5000));
        QCOMPARE(instanceFolders(root.path()).size(), 2);
        QVERIFY2(next.start(scratch, &error), qPrintable(error));
        QCOMPARE(instanceFolders(root.path(), killedPid), QStringList());
        QCOMPARE(instanceFolders(root.path(), live.process().processId()).size(), 1);
        QCOMPARE(instanceFolders(root.path()).size(), 2);
    }

private:
    int queueCount(const char* key)
    {
        return m_client->get("/healthz").data().value("queue").toObject().value(key).toInt(-1);
    }
    bool waitQueueEmpty()
    {
        return QTest::qWaitFor([this] { return queueCount("waiting") + queueCount("running") == 0; }, 10000);
    }

    QTemporaryDir m_root;
    ServiceProcess m_service;
    std::unique_ptr<ServiceClient> m_client;
};

BRISEL_TEST_GUILESS_MAIN(TestServiceLife)
#include "tst_servicelife.moc"
