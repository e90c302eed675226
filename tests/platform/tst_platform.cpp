// The platform layer against what it meets outside: HTTP(S) servers started inside
// the test, damaged settings and a log written by many threads.

#include "cglobal.h"
#include "csetting.h"
#include "hrequest.h"
#include "logcapture.h"
#include "logger.h"
#include "mattingfixtures.h"
#include "qhttpclient.h"
#include "testutils.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <curl/curl.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

// Calls body(t, i) for i from 0 to rounds - 1 on each of `threads` threads at once.
void onThreads(int threads, int rounds, const std::function<void(int, int)>& body)
{
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&body, rounds, t] {
            for (int i = 0; i < rounds; ++i)
                body(t, i);
        });
    }
    for (auto& w : workers)
        w.join();
}

// What a second run of the program reads.
QString readInOtherProcess(const QString& group, const QString& key)
{
    testutils::ChildProcess probe;
    probe.start(testutils::binPath("settingsprobe"), {group, key, "<absent>"});
    probe.waitForFinished(30000);
    return QString::fromUtf8(probe.readAllStandardOutput());
}

using Params = QList<QPair<QString, QString>>;

// Stalled handlers wait on this, so the server shuts down promptly.
std::atomic<bool> g_release{false};

// The routes the cases ask for, on a loopback server of its own thread.
std::unique_ptr<mattingtest::FakeService> testServer(const QString& cert = QString(),
                                                     const QString& key = QString())
{
    using Req = httplib::Request;
    using Res = httplib::Response;
    auto fake = std::make_unique<mattingtest::FakeService>(cert, key);
    httplib::Server& s = fake->server();
    s.Get("/echo", [](const Req& req, Res& res) {
        const auto query = req.target.find('?');
        res.set_content(query == std::string::npos ? std::string() : req.target.substr(query + 1),
                        "text/plain");
    });
    s.Post("/echo", [](const Req& req, Res& res) { res.set_content(req.body, "text/plain"); });
    s.Get(R"(/files/(.*))", [](const Req& req, Res& res) { res.set_content(req.path, "text/plain"); });
    s.Get(R"(/status/(\d+))", [](const Req& req, Res& res) {
        res.status = std::stoi(req.matches[1]);
        res.set_content("status page", "text/plain");
    });
    s.Get("/sized", [](const Req& req, Res& res) {
        res.set_content(std::string(size_t(std::stoul(req.get_param_value("n"))), 'x'),
                        "application/octet-stream");
    });
    // No Content-Length: `n` bytes in blocks, then the end or, with `stall`, silence.
    s.Get("/stream", [](const Req& req, Res& res) {
        const size_t n = std::stoul(req.get_param_value("n"));
        const bool stall = req.has_param("stall");
        res.set_chunked_content_provider("text/plain", [n, stall](size_t offset, httplib::DataSink& sink) {
            if (offset < n)
                return sink.write(std::string(500, 'y').data(), 500);
            for (int i = 0; stall && i < 500 && !g_release; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            sink.done();
            return true;
        });
    });
    s.Get("/to-file", [](const Req&, Res& res) { res.set_redirect("file:///etc/hostname"); });
    s.Get("/busy", [](const Req& req, Res& res) {
        if (req.has_param("after"))
            res.set_header("Retry-After", req.get_param_value("after"));
        res.status = 503;
    });
    return fake;
}

int fetch(const QString& url, QByteArray* body, const Params& params = {}, int type = HRequest::Get)
{
    HRequest request;
    request.setUrl(url);
    request.setHttpType(type);
    for (const auto& p : params)
        request.appendParam(p.first, p.second);
    *body = "stale";
    return request.exec(*body);
}

} // namespace

class TestPlatform : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<mattingtest::FakeService> m_server;
    QTemporaryDir m_certs;
    bool m_haveCerts = false;

private slots:
    void initTestCase()
    {
        QVERIFY(QHttpClient::Instance()->start(3));
        m_server = testServer();
        const QString dir = m_certs.path();
        m_haveCerts = testutils::makeCertificate(dir, "trusted-ca") &&
                      testutils::makeCertificate(dir, "other-ca") &&
                      testutils::makeCertificate(dir, "good", "trusted-ca", "localhost") &&
                      testutils::makeCertificate(dir, "wrong-host", "trusted-ca", "wrong.example");
    }
    void cleanupTestCase()
    {
        g_release = true;
        m_server.reset();
        QHttpClient::Instance()->close();
    }
    void cleanup()
    {
        HRequest::setBodyLimit(qint64(256) * 1024 * 1024);
        HRequest::setCaBundlePath(QString());
    }

    // What the server receives: parameters encoded in call order, in the query or
    // as a form body, and addresses with unencoded characters.
    void sentAsServerExpects_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("path");
        QTest::addColumn<Params>("params");
        QTest::addColumn<QString>("received");
        const int get = HRequest::Get;
        QTest::newRow("call order, not sorted")
            << get << "/echo" << Params{{"serial", "s2"}, {"mac", "m1"}} << "serial=s2&mac=m1";
        QTest::newRow("plus and percent") << get << "/echo" << Params{{"p", "1+1%"}} << "p=1%2B1%25";
        QTest::newRow("joins an existing query") << get << "/echo?z=0" << Params{{"a", "1"}} << "z=0&a=1";
        QTest::newRow("post form body")
            << int(HRequest::Post) << "/echo" << Params{{"b", "x y"}, {"a", QStringLiteral("中")}}
            << "b=x%20y&a=%E4%B8%AD";
        QTest::newRow("address with a space")
            << get << "/files/my photo.png" << Params{} << "/files/my photo.png";
    }
    void sentAsServerExpects()
    {
        QFETCH(int, type);
        QFETCH(QString, path);
        QFETCH(Params, params);
        QFETCH(QString, received);
        HRequest::setTimeouts(10000, 60000);
        QByteArray body;
        QCOMPARE(fetch(m_server->url() + path, &body, params, type), 0);
        QCOMPARE(QString::fromUtf8(body), received);
    }

    // Every failure ends within the limits, leaves the result empty (an error page's
    // body stays readable) and has a readable message.
    void failures_data()
    {
        QTest::addColumn<QString>("target"); // a path, "dead", "jammed" or "tls:<certificate>:<ca>"
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("messagePart");
        const int timedOut = CURLE_OPERATION_TIMEDOUT, tooLarge = CURLE_FILESIZE_EXCEEDED;
        const int untrusted = CURLE_PEER_FAILED_VERIFICATION;
        QTest::newRow("400 is already a failure") << "/status/400" << HRequest::HttpErrorBase + 400 << "400";
        QTest::newRow("399 is no failure") << "/status/399" << 0 << "";
        QTest::newRow("redirect to a file")
            << "/to-file" << int(CURLE_UNSUPPORTED_PROTOCOL) << "http and https";
        QTest::newRow("connection refused") << "dead" << int(CURLE_COULDNT_CONNECT) << "connect";
        QTest::newRow("connection never accepted") << "jammed" << timedOut << "";
        QTest::newRow("stops after a few bytes") << "/stream?n=1&stall=1" << timedOut << "";
        QTest::newRow("exactly the cap") << "/sized?n=1000" << 0 << "";
        QTest::newRow("one byte over, announced") << "/sized?n=1001" << tooLarge << "1000";
        QTest::newRow("over the cap, streamed") << "/stream?n=5000" << tooLarge << "1000";
        QTest::newRow("trusted certificate") << "tls:good:trusted-ca" << 0 << "";
        QTest::newRow("CA not in the bundle") << "tls:good:other-ca" << untrusted << "certificate";
        QTest::newRow("certificate for another host")
            << "tls:wrong-host:trusted-ca" << untrusted << "certificate";
    }
    void failures()
    {
        QFETCH(QString, target);
        QFETCH(int, code);
        QFETCH(QString, messagePart);
        HRequest::setTimeouts(700, 600);
        HRequest::setBodyLimit(1000);
        testutils::LoopbackPort dead(testutils::LoopbackPort::Refused),
            jammed(testutils::LoopbackPort::Jammed);
        std::unique_ptr<mattingtest::FakeService> tls;
        QString url = target == "dead"     ? dead.url() + "/"
                      : target == "jammed" ? jammed.url() + "/"
                                           : m_server->url() + target;
        if (target.startsWith("tls:")) {
            QVERIFY2(m_haveCerts, "could not make the test certificates with openssl");
            const QStringList parts = target.split(':');
            const QString dir = m_certs.path() + "/";
            tls = testServer(dir + parts[1] + ".pem", dir + parts[1] + ".key");
            HRequest::setCaBundlePath(dir + parts[2] + ".pem");
            url = tls->url().replace("127.0.0.1", "localhost") + "/echo?secure=1";
        }
        QElapsedTimer timer;
        timer.start();
        QByteArray body;
        QCOMPARE(fetch(url, &body), code);
        // Servers hold a connection for 10 s: giving up well before proves the limit ended it.
        QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
        if (code == 0) {
            QVERIFY(!body.isEmpty() && body != "stale");
            return;
        }
        QCOMPARE(body, code > HRequest::HttpErrorBase ? QByteArray("status page") : QByteArray());
        QVERIFY2(HRequest::getCurlErrMsg(code).contains(messagePart),
                 qPrintable(HRequest::getCurlErrMsg(code)));
    }

    // How long a busy server asks to wait, in either of the forms HTTP allows.
    void retryAfter_data()
    {
        QTest::addColumn<QString>("after"); // empty: no header
        QTest::addColumn<int>("least");
        QTest::addColumn<int>("most");
        const QString inTenSeconds =
            QDateTime::currentDateTimeUtc().addSecs(10).toString(Qt::RFC2822Date).replace("+0000", "GMT");
        QTest::newRow("seconds") << "3" << 3 << 3;
        QTest::newRow("no header") << "" << -1 << -1;
        QTest::newRow("a date ten seconds ahead") << inTenSeconds << 8 << 10;
        QTest::newRow("a date gone by") << "Wed, 21 Oct 2015 07:28:00 GMT" << 0 << 0;
        QTest::newRow("nonsense") << "soon" << -1 << -1;
    }
    void retryAfter()
    {
        QFETCH(QString, after);
        QFETCH(int, least);
        QFETCH(int, most);
        HRequest request;
        request.setUrl(m_server->url() + "/busy");
        if (!after.isEmpty())
            request.appendParam("after", after);
        QByteArray body;
        QCOMPARE(request.exec(body), HRequest::HttpErrorBase + 503);
        QVERIFY2(request.retryAfter() >= least && request.retryAfter() <= most,
                 qPrintable(QString::number(request.retryAfter())));
    }

    void concurrentRequests()
    {
        HRequest::setTimeouts(10000, 60000);
        std::atomic<int> mismatches{0};
        onThreads(6, 15, [&](int t, int i) {
            const QString id = QStringLiteral("%1-%2").arg(t).arg(i);
            QByteArray body;
            if (fetch(m_server->url() + "/echo", &body, {{"id", id}}) != 0 || body != "id=" + id.toUtf8())
                ++mismatches;
        });
        QCOMPARE(mismatches.load(), 0);
    }

    // Run-time data beside the executable (a build folder) or in ../share/brisel (installed).
    void dataPath_data()
    {
        QTest::addColumn<QString>("app");
        QTest::addColumn<QStringList>("languageFolders");
        QTest::addColumn<QString>("expected"); // all relative to a temporary root; "" = none
        QTest::newRow("build") << "build/bin/" << QStringList{"build/bin/language"} << "build/bin/";
        QTest::newRow("installed") << "usr/bin/" << QStringList{"usr/share/brisel/language"}
                                   << "usr/share/brisel/";
        QTest::newRow("build wins") << "usr/bin/"
                                    << QStringList{"usr/bin/language", "usr/share/brisel/language"}
                                    << "usr/bin/";
        QTest::newRow("missing") << "usr/bin/" << QStringList{"usr/share/other/language"} << "";
    }
    void dataPath()
    {
        QFETCH(QString, app);
        QFETCH(QStringList, languageFolders);
        QFETCH(QString, expected);
        QTemporaryDir root;
        const QString base = root.path() + "/";
        for (const QString& folder : languageFolders + QStringList{app})
            QVERIFY(QDir().mkpath(base + folder));
        QCOMPARE(CGlobal::findDataPath(base + app), expected.isEmpty() ? QString() : base + expected);
    }

    void damagedStore_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("bad section after good one") << QByteArray("[language]\ntype=en\n[oops\n");
        QTest::newRow("binary") << QByteArray("\x01\x02\x00\xff[language]\ntype=en", 20);
    }
    void damagedStore()
    {
        QFETCH(QByteArray, content);
        // Qt notices a replaced file by size and time stamp: each case gets its own stamp.
        static QDateTime stamp = QDateTime::currentDateTime().addDays(-1);
        stamp = stamp.addSecs(1);
        const QString path = CSetting::filePath();
        QVERIFY(testutils::writeFile(path, content));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite) &&
                file.setFileTime(stamp, QFileDevice::FileModificationTime));
        LogCapture log;

        QCOMPARE(CSetting::getString("language", "type", "zh"), QStringLiteral("zh"));
        QVERIFY2(log.text().contains("corrupt"), qPrintable(log.text()));
        QCOMPARE(testutils::readFile(path + ".bad"), content); // kept aside for the user
        // The store works again at once, also for the next run.
        QVERIFY(CSetting::setValue("language", "type", "en"));
        QCOMPARE(CSetting::getString("language", "type", "zh"), QStringLiteral("en"));
        QCOMPARE(readInOtherProcess("language", "type"), QStringLiteral("en"));
    }

    void concurrentWritersLoseNothing()
    {
        constexpr int threads = 4;
        constexpr int rounds = 25;
        onThreads(threads, rounds,
                  [](int t, int i) { CSetting::setValue("threads", QStringLiteral("t%1").arg(t), i); });
        for (int t = 0; t < threads; ++t)
            QCOMPARE(readInOtherProcess("threads", QStringLiteral("t%1").arg(t)),
                     QString::number(rounds - 1));
    }

    void rotation_data()
    {
        QTest::addColumn<int>("threads");
        QTest::addColumn<qint64>("cap");
        QTest::addColumn<int>("keep");
        QTest::newRow("keep none") << 1 << qint64(2000) << 0;
        QTest::newRow("keep three") << 1 << qint64(2000) << 3;
        QTest::newRow("many threads, rotating while writing") << 8 << qint64(8000) << 10;
    }
    void rotation()
    {
        QFETCH(int, threads);
        QFETCH(qint64, cap);
        QFETCH(int, keep);
        kzl::logger::flush();
        QDir(kzl::logger::logFolder()).removeRecursively();
        kzl::logger::setFileLimits(cap, keep);
        std::atomic<int> hooked{0};
        kzl::logger::setCallback([&hooked](const std::shared_ptr<kzl::LogRecord>&) { ++hooked; });
        constexpr int perThread = 200;
        onThreads(threads, perThread, [](int t, int i) {
            BRISEL_LOG(1, QStringLiteral("t%1 n%2 %3").arg(t).arg(i).arg(QString(40, QChar('z'))));
        });
        kzl::logger::flush();
        kzl::logger::setCallback(nullptr);
        QCOMPARE(hooked.load(), threads * perThread);

        // Oldest file first, each within the cap and, when rotated away, filled to near it.
        QStringList lines;
        for (int i = keep + 1; i >= 0; --i) {
            const QString path = kzl::logger::logFilePath() + (i ? "." + QString::number(i) : QString());
            QCOMPARE(QFile::exists(path), i <= keep);
            const qint64 size = QFile(path).size();
            QVERIFY2(size <= cap && (i == 0 || i > keep || size > cap - 200), qPrintable(path));
            lines += QString::fromUtf8(testutils::readFile(path)).split('\n', Qt::SkipEmptyParts);
        }
        // No torn or interleaved line; each thread's newest lines in an unbroken run.
        static const QRegularExpression line(
            QStringLiteral("^\\S+ \\S+ L-?\\d+ T[0-9a-f]+ \\S+:\\d+ t(\\d) n(\\d+) z{40}$"));
        std::vector<int> last(size_t(threads), -1);
        for (const QString& text : lines) {
            const QRegularExpressionMatch match = line.match(text);
            QVERIFY2(match.hasMatch(), qPrintable(text));
            int& previous = last[size_t(match.captured(1).toInt())];
            const int n = match.captured(2).toInt();
            QVERIFY2(previous < 0 || n == previous + 1, qPrintable(text));
            previous = n;
        }
        QVERIFY(!lines.isEmpty());
        for (int n : last) // a thread that finished early may have rotated away entirely
            QVERIFY2(n < 0 || n == perThread - 1, qPrintable(QString::number(n)));
    }
};

BRISEL_TEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
