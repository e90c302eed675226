// The service as an office runs it: a real Redis, two API processes and two
// worker processes. A task made through one API is answered by the other, one
// computer cannot crowd out the rest, a worker killed mid-job costs a delay but
// never the job, and a Redis that lost everything makes its jobs fail with a
// message instead of vanishing.

#include "serviceprocess.h"
#include "testutils.h"

#include <QGuiApplication>
#include <QStandardPaths>
#include <QtTest>

#include <opencv2/imgcodecs.hpp>

#include <array>

namespace proto = mattingprotocol;

namespace {

std::string photo()
{
    return photofixtures::encode(photofixtures::discOnGreen(80, 60), ".png");
}

} // namespace

class TestServiceCluster : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable("redis-server").isEmpty())
            QSKIP("redis-server is not on PATH (Debian package redis-server, see tools/setup.sh)");
        m_redisPort = testutils::LoopbackPort(testutils::LoopbackPort::Refused).port();
        QVERIFY(startRedis());
        for (int i = 0; i < 2; ++i) {
            QVERIFY(start(m_api[i], "api"));
            QVERIFY(start(m_worker[i], "worker"));
        }
        m_a = std::make_unique<ServiceClient>(m_api[0]->url());
        m_b = std::make_unique<ServiceClient>(m_api[1]->url());
    }

    void acrossApis_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("poll and download on B") << false;
        QTest::newRow("cancel on B") << true;
    }
    void acrossApis()
    {
        QFETCH(bool, cancel);
        const QString mac = QTest::currentDataTag();
        const QString serial = m_a->upload(mac, "1", photo()).serial();
        QCOMPARE(m_b->cancel("someoneelse", serial).status, 404);
        if (cancel) {
            QCOMPARE(m_b->cancel(mac, serial).code(), 200);
            const ServiceReply poll = m_a->waitFinished(mac, serial);
            QCOMPARE(poll.jobStatus(), proto::kStatusFailed);
            QCOMPARE(poll.message(), QString(proto::kMessageCancelled));
            QCOMPARE(m_b->get(QString::fromStdString(proto::resultPath(serial.toStdString()))).status, 404);
            return;
        }
        const ServiceReply done = m_b->waitFinished(mac, serial);
        QCOMPARE(done.jobStatus(), proto::kStatusDone);
        QVERIFY2(done.convertPath().startsWith(m_api[1]->url()), qPrintable(done.convertPath()));
        const std::string png = m_b->get(done.convertPath()).body;
        QCOMPARE(cv::imdecode(std::vector<uchar>(png.begin(), png.end()), cv::IMREAD_UNCHANGED).channels(),
                 4);
    }

    // Two jobs in flight per mac, counted across both APIs.
    void perMacLimit()
    {
        const QString first = m_a->upload("busy", "0", photo()).serial();
        QCOMPARE(m_b->upload("busy", "0", photo()).code(), 200);
        const ServiceReply refused = m_b->upload("busy", "0", photo());
        QCOMPARE(refused.status, proto::kCodeTooMany);
        QCOMPARE(refused.message(), QString("This computer already has 2 photos being processed. Please wait "
                                            "for one of them to finish."));
        QVERIFY2(refused.retryAfter.toInt() >= 1, qPrintable(refused.retryAfter));
        QCOMPARE(m_a->upload("another", "0", photo()).code(), 200);
        QCOMPARE(m_a->waitFinished("busy", first).jobStatus(), proto::kStatusDone);
        QCOMPARE(m_a->upload("busy", "0", photo()).code(), 200);
    }

    // Finished once, by the other worker, within the visibility time-out.
    void workerKilledMidJob()
    {
        QVERIFY(quiet());
        const long long doneBefore = metric("brisel_jobs_done_total");
        const QString serial = m_a->upload("killed", "1", photo()).serial();
        QTRY_VERIFY(workersHolding(serial) != 0);
        const int holder = workersHolding(serial) == 1 ? 0 : 1;
        m_worker[holder]->process().kill();
        const ServiceReply done = m_b->waitFinished("killed", serial, 15000);
        QCOMPARE(done.jobStatus(), proto::kStatusDone);
        QCOMPARE(m_b->get(done.convertPath()).status, 200);
        QCOMPARE(metric("brisel_jobs_done_total"), doneBefore + 1);
        QTRY_COMPARE(workersHolding(serial), 3);
        QVERIFY(start(m_worker[holder], "worker"));
    }

    // Redis restarted without its data: the job in flight polls as failed, and
    // the cluster takes new work at once.
    void redisRestarted()
    {
        const QString lost = m_a->upload("restart", "1", photo()).serial();
        QVERIFY(m_redis->stop(5000));
        QVERIFY(startRedis());
        const ServiceReply poll = m_b->waitFinished("restart", lost);
        QCOMPARE(poll.jobStatus(), proto::kStatusFailed);
        QCOMPARE(poll.message(), QString(proto::kMessageStoreLost));
        const QString next = m_a->upload("restart", "1", photo()).serial();
        QCOMPARE(m_b->waitFinished("restart", next).jobStatus(), proto::kStatusDone);
    }

private:
    bool startRedis()
    {
        m_redis = std::make_unique<testutils::ChildProcess>();
        m_redis->start("redis-server", {"--port", QString::number(m_redisPort), "--bind", "127.0.0.1",
                                        "--save", "", "--appendonly", "no"});
        QByteArray out;
        while (!out.contains("Ready to accept connections") && m_redis->waitForReadyRead(5000))
            out += m_redis->readAllStandardOutput();
        return out.contains("Ready to accept connections");
    }
    bool start(std::unique_ptr<ServiceProcess>& service, const QString& role)
    {
        service = std::make_unique<ServiceProcess>();
        QString error;
        const bool ok =
            service->start({"--store", QString("redis://127.0.0.1:%1").arg(m_redisPort), "--role", role,
                            "--per-mac", "2", "--visibility", "1500ms", "--test-delay-ms", "1000"},
                           &error);
        if (!ok)
            qWarning() << error;
        return ok;
    }
    // Bit i set: worker i's log says it took the job.
    int workersHolding(const QString& serial)
    {
        int holders = 0;
        for (int i = 0; i < 2; ++i) {
            m_logs[i] += m_worker[i]->process().readAllStandardError();
            if (m_logs[i].contains(("job " + serial + " taken by").toUtf8()))
                holders |= 1 << i;
        }
        return holders;
    }
    long long metric(const QByteArray& name)
    {
        const std::string text = m_a->get("/metrics").body;
        const QByteArray all = QByteArray::fromStdString(text);
        const int at = all.indexOf("\n" + name + " ");
        return at < 0 ? -1 : all.mid(at + name.size() + 2).split('\n').value(0).toLongLong();
    }
    bool quiet()
    {
        return QTest::qWaitFor(
            [this] { return metric("brisel_queue_depth") == 0 && metric("brisel_jobs_in_flight") == 0; },
            20000);
    }

    int m_redisPort = 0;
    std::unique_ptr<testutils::ChildProcess> m_redis;
    std::array<std::unique_ptr<ServiceProcess>, 2> m_api, m_worker;
    std::array<QByteArray, 2> m_logs;
    std::unique_ptr<ServiceClient> m_a, m_b;
};

BRISEL_TEST_GUILESS_MAIN(TestServiceCluster)
#include "tst_servicecluster.moc"
