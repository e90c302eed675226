// The service's in-process bookkeeping: its command line, and how many jobs its
// queue takes at once.

#include "jobqueue.h"
#include "keyengine.h"
#include "photofixtures.h"
#include "serviceoptions.h"
#include "testutils.h"

#include <QGuiApplication>
#include <QtTest>

class TestServiceOptions : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("error"); // empty: accepted

        QTest::newRow("nothing") << QStringList{} << "";
        QTest::newRow("value missing") << QStringList{"--port"} << "option --port needs a value";
        QTest::newRow("number with junk")
            << QStringList{"--workers", "2x"} << "bad value for --workers: \"2x\"";
        QTest::newRow("port out of range")
            << QStringList{"--port", "70000"} << "bad value for --port: \"70000\"";
        QTest::newRow("unknown engine")
            << QStringList{"--engine", "magic"} << "bad value for --engine: \"magic\"";
        QTest::newRow("ttl unit") << QStringList{"--result-ttl", "5h"}
                                  << "bad value for --result-ttl: \"5h\"";
        QTest::newRow("unknown option") << QStringList{"--colour", "red"} << "unknown option --colour";
        QTest::newRow("key without cert")
            << QStringList{"--tls-key", "k.pem"} << "--tls-cert and --tls-key go together";
    }
    void parse()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, error);
        std::vector<std::string> storage{"brisel-matting-service"};
        for (const QString& a : args)
            storage.push_back(a.toStdString());
        std::vector<const char*> argv;
        for (const auto& s : storage)
            argv.push_back(s.c_str());
        ServiceOptions options;
        std::string why;
        QCOMPARE(ServiceOptions::parse(int(argv.size()), argv.data(), options, why), error.isEmpty());
        QCOMPARE(QString::fromStdString(why), error);
    }

    void queueTakesExactlyItsCapacity()
    {
        std::vector<std::unique_ptr<MattingPipeline>> pipelines;
        pipelines.push_back(std::make_unique<MattingPipeline>(std::make_unique<KeyEngine>()));
        // One slow worker: of three jobs, one runs and two wait.
        JobQueue queue(std::move(pipelines), 3, 60000, 2000);
        const std::string photo = photofixtures::encode(photofixtures::discOnGreen(40, 30), ".png");
        std::string serial, refused;
        for (int i = 0; i < 3; ++i)
            QVERIFY(queue.submit("m", false, photo, serial) == JobQueue::Submit::Accepted);
        QTRY_COMPARE(queue.stats().running, 1);
        QVERIFY(queue.submit("m", false, photo, refused) == JobQueue::Submit::Full);
        QVERIFY(queue.find(serial, "m").found);
        QVERIFY(!queue.find(serial, "another mac").found);
    }
};

BRISEL_TEST_GUILESS_MAIN(TestServiceOptions)
#include "tst_serviceoptions.moc"
