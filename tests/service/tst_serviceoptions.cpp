// Command-line parsing and the URLs derived from it.

#include "jobqueue.h"
#include "serviceoptions.h"
#include "testutils.h"

#include <QGuiApplication>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

class TestServiceOptions : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("error");

        QTest::newRow("nothing") << QStringList{} << true << "";
        QTest::newRow("all") << QStringList{"--listen",         "0.0.0.0", "--port",          "0",
                                            "--engine",         "key",     "--workers",       "3",
                                            "--queue",          "5",       "--result-ttl",    "90s",
                                            "--log-level",      "debug",   "--max-upload-mb", "7",
                                            "--max-megapixels", "9",       "--cv-threads",    "1"}
                             << true << "";
        QTest::newRow("inline values") << QStringList{"--port=123", "--engine=isnet"} << true << "";
        QTest::newRow("help") << QStringList{"--help"} << false << "";
        QTest::newRow("value missing") << QStringList{"--port"} << false << "option --port needs a value";
        QTest::newRow("not a number")
            << QStringList{"--queue", "many"} << false << "bad value for --queue: \"many\"";
        QTest::newRow("number with junk")
            << QStringList{"--workers", "2x"} << false << "bad value for --workers: \"2x\"";
        QTest::newRow("zero workers")
            << QStringList{"--workers", "0"} << false << "bad value for --workers: \"0\"";
        QTest::newRow("ttl unit") << QStringList{"--result-ttl", "5h"} << false
                                  << "bad value for --result-ttl: \"5h\"";
        QTest::newRow("unknown engine")
            << QStringList{"--engine", "magic"} << false << "bad value for --engine: \"magic\"";
        QTest::newRow("port out of range")
            << QStringList{"--port", "70000"} << false << "bad value for --port: \"70000\"";
        QTest::newRow("unknown option")
            << QStringList{"--colour", "red"} << false << "unknown option --colour";
        QTest::newRow("key without cert")
            << QStringList{"--tls-key", "k.pem"} << false << "--tls-cert and --tls-key go together";
        QTest::newRow("empty listen")
            << QStringList{"--listen", ""} << false << "bad value for --listen: \"\"";
    }
    void parse()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, ok);
        QFETCH(QString, error);
        std::vector<std::string> storage{"brisel-matting-service"};
        for (const QString& a : args)
            storage.push_back(a.toStdString());
        std::vector<const char*> argv;
        for (const auto& s : storage)
            argv.push_back(s.c_str());
        ServiceOptions options;
        std::string why = "untouched";
        QCOMPARE(ServiceOptions::parse(int(argv.size()), argv.data(), options, why), ok);
        if (!ok)
            QCOMPARE(QString::fromStdString(why), error);
        else
            QVERIFY(!options.modelPath.empty());
        if (args.contains("--workers") && ok) {
            QCOMPARE(options.workers, 3);
            QCOMPARE(options.queue, 5);
            QCOMPARE(options.resultTtlMs, 90000LL);
            QCOMPARE(options.logLevel, 3);
            QCOMPARE(options.maxUploadBytes(), size_t(7) * 1024 * 1024);
        }
    }

    void duration_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qlonglong>("ms");
        QTest::newRow("plain seconds") << "600" << 600000LL;
        QTest::newRow("seconds") << "2s" << 2000LL;
        QTest::newRow("milliseconds") << "250ms" << 250LL;
        QTest::newRow("minutes") << "10m" << 600000LL;
        QTest::newRow("empty") << "" << -1LL;
        QTest::newRow("negative") << "-5" << -1LL;
        QTest::newRow("fraction") << "1.5s" << -1LL;
        QTest::newRow("too long") << "9999999999999" << -1LL;
    }
    void duration()
    {
        QFETCH(QString, text);
        QFETCH(qlonglong, ms);
        QCOMPARE(ServiceOptions::parseDurationMs(text.toStdString()), ms);
    }

    void baseUrl_data()
    {
        QTest::addColumn<QString>("listen");
        QTest::addColumn<bool>("tls");
        QTest::addColumn<QString>("publicUrl");
        QTest::addColumn<QString>("expected");
        QTest::newRow("loopback") << "127.0.0.1" << false << ""
                                  << "http://127.0.0.1:8080";
        QTest::newRow("any address") << "0.0.0.0" << false << ""
                                     << "http://127.0.0.1:8080";
        QTest::newRow("ipv6 any") << "::" << true << ""
                                  << "https://[::1]:8080";
        QTest::newRow("public") << "0.0.0.0" << true << "https://matting.example.org/base/"
                                << "https://matting.example.org/base";
    }
    void baseUrl()
    {
        QFETCH(QString, listen);
        QFETCH(bool, tls);
        QFETCH(QString, publicUrl);
        QFETCH(QString, expected);
        ServiceOptions o;
        o.listen = listen.toStdString();
        o.publicUrl = publicUrl.toStdString();
        if (tls) {
            o.tlsCert = "c.pem";
            o.tlsKey = "k.pem";
        }
        QCOMPARE(QString::fromStdString(o.baseUrl(8080)), expected);
    }

    void serialsAreRandomHex()
    {
        QSet<QString> seen;
        const QRegularExpression hex("^[0-9a-f]{32}$");
        int counts[16] = {};
        for (int i = 0; i < 2000; ++i) {
            const QString s = QString::fromStdString(JobQueue::newSerial());
            QVERIFY2(hex.match(s).hasMatch(), qPrintable(s));
            seen.insert(s);
            for (const QChar c : s)
                ++counts[QString("0123456789abcdef").indexOf(c)];
        }
        QCOMPARE(seen.size(), 2000);
        // 64000 digits: each of the 16 should appear about 4000 times; a generator
        // using only part of each word would leave some far off.
        for (int d = 0; d < 16; ++d)
            QVERIFY2(counts[d] > 3600 && counts[d] < 4400,
                     qPrintable(QString("%1: %2").arg(d).arg(counts[d])));
    }
};

BRISEL_TEST_GUILESS_MAIN(TestServiceOptions)
#include "tst_serviceoptions.moc"
