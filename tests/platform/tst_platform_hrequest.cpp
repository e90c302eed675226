// HRequest against a real HTTP(S) server started inside the test.

#include "hrequest.h"
#include "qhttpclient.h"
#include "testutils.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <curl/curl.h>
#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace {

using Params = QList<QPair<QString, QString>>;

// A server on an ephemeral port of 127.0.0.1, running on its own thread until the
// object is destroyed.
class TestServer
{
public:
    explicit TestServer(std::unique_ptr<httplib::Server> server) : m_server(std::move(server))
    {
        m_port = m_server->bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server->listen_after_bind(); });
        while (!m_server->is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ~TestServer()
    {
        m_release = true;
        m_server->stop();
        m_thread.join();
    }
    httplib::Server& server() { return *m_server; }
    QString url(const QString& path, const QString& scheme = QStringLiteral("http")) const
    {
        return QStringLiteral("%1://127.0.0.1:%2%3").arg(scheme).arg(m_port).arg(path);
    }
    QString hostUrl(const QString& host, const QString& path) const
    {
        return QStringLiteral("https://%1:%2%3").arg(host).arg(m_port).arg(path);
    }
    // Handlers that hold a connection wait on this instead of sleeping for a fixed
    // time, so the server shuts down promptly.
    void holdUntilReleased(int maxMs) const
    {
        QElapsedTimer timer;
        timer.start();
        while (!m_release && timer.elapsed() < maxMs)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }

private:
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = 0;
    std::atomic<bool> m_release{false};
};

void addRoutes(TestServer& ts)
{
    httplib::Server& s = ts.server();
    s.Get("/echo", [](const httplib::Request& req, httplib::Response& res) {
        const auto query = req.target.find('?');
        res.set_content(query == std::string::npos ? std::string() : req.target.substr(query + 1), "text/plain");
    });
    s.Post("/echo", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(req.body, "text/plain");
    });
    s.Get("/param", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(req.get_param_value("value"), "text/plain");
    });
    s.Get(R"(/status/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
        res.status = std::stoi(req.matches[1]);
        res.set_content("status page", "text/plain");
    });
    s.Get("/sized", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(std::string(size_t(std::stoul(req.get_param_value("n"))), 'x'), "application/octet-stream");
    });
    // No Content-Length: the size shows only while the body streams in.
    s.Get("/chunked", [](const httplib::Request& req, httplib::Response& res) {
        const size_t total = std::stoul(req.get_param_value("n"));
        res.set_chunked_content_provider("application/octet-stream", [total](size_t offset, httplib::DataSink& sink) {
            if (offset >= total) {
                sink.done();
                return true;
            }
            const std::string block(std::min<size_t>(512, total - offset), 'y');
            return sink.write(block.data(), block.size());
        });
    });
    s.Get("/silent", [&ts](const httplib::Request&, httplib::Response& res) {
        ts.holdUntilReleased(10000);
        res.set_content("late", "text/plain");
    });
    // Sends a little, then nothing more.
    s.Get("/stall-midway", [&ts](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("text/plain", [&ts](size_t offset, httplib::DataSink& sink) {
            if (offset == 0)
                return sink.write("begin", 5);
            ts.holdUntilReleased(10000);
            sink.done();
            return true;
        });
    });
    s.Get(R"(/files/(.*))", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(req.path, "text/plain");
    });
    s.Get("/to-file", [](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("file:///etc/hostname");
    });
    s.Get("/to-echo", [](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("/echo?moved=1");
    });
}

std::unique_ptr<TestServer> startPlainServer()
{
    auto ts = std::make_unique<TestServer>(std::make_unique<httplib::Server>());
    addRoutes(*ts);
    return ts;
}

bool runOpenSsl(const QString& dir, const QStringList& args)
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("openssl"), args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        qWarning().noquote() << "openssl" << args.join(' ') << "\n" << p.readAll();
        return false;
    }
    return true;
}

bool makeCa(const QString& dir, const QString& name)
{
    return runOpenSsl(dir, {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                            "-keyout", name + ".key", "-out", name + ".pem", "-subj", "/CN=" + name});
}

// A server certificate for `host` (also valid for 127.0.0.1 when host is localhost)
// signed by the CA `ca`.
bool makeServerCert(const QString& dir, const QString& name, const QString& ca, const QString& host)
{
    QString san = "subjectAltName=DNS:" + host;
    if (host == QLatin1String("localhost"))
        san += ",IP:127.0.0.1";
    return testutils::writeFile(dir + "/" + name + ".ext", san.toUtf8() + "\n") &&
           runOpenSsl(dir, {"req", "-newkey", "rsa:2048", "-nodes", "-keyout", name + ".key", "-out",
                            name + ".csr", "-subj", "/CN=" + host}) &&
           runOpenSsl(dir, {"x509", "-req", "-in", name + ".csr", "-CA", ca + ".pem", "-CAkey", ca + ".key",
                            "-CAcreateserial", "-days", "2", "-out", name + ".pem", "-extfile", name + ".ext"});
}

} // namespace

class TestPlatformHRequest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestServer> m_server;
    QTemporaryDir m_certs;
    bool m_haveCerts = false;

private slots:
    void initTestCase()
    {
        QVERIFY(QHttpClient::Instance()->start(3));
        m_server = startPlainServer();
        m_haveCerts = makeCa(m_certs.path(), "trusted-ca") && makeCa(m_certs.path(), "other-ca") &&
                      makeServerCert(m_certs.path(), "good", "trusted-ca", "localhost") &&
                      makeServerCert(m_certs.path(), "wrong-host", "trusted-ca", "wrong.example");
    }
    void cleanupTestCase()
    {
        m_server.reset();
        QHttpClient::Instance()->close();
    }
    void init()
    {
        HRequest::setTimeouts(10000, 60000);
        HRequest::setBodyLimit(qint64(256) * 1024 * 1024);
        HRequest::setCaBundlePath(QString());
    }

    void paramsAreEncodedInCallOrder_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<Params>("params");
        QTest::addColumn<QString>("expectedQuery");

        QTest::newRow("call order kept") << "/echo" << Params{{"mac", "m1"}, {"serial", "s2"}} << "mac=m1&serial=s2";
        QTest::newRow("not sorted") << "/echo" << Params{{"serial", "s2"}, {"mac", "m1"}} << "serial=s2&mac=m1";
        QTest::newRow("space") << "/echo" << Params{{"q", "hello world"}} << "q=hello%20world";
        QTest::newRow("ampersand and equals") << "/echo" << Params{{"x", "a&b=c"}} << "x=a%26b%3Dc";
        QTest::newRow("chinese") << "/echo" << Params{{"name", QStringLiteral("中文")}} << "name=%E4%B8%AD%E6%96%87";
        QTest::newRow("key encoded too") << "/echo" << Params{{"k&y", "v"}} << "k%26y=v";
        QTest::newRow("plus and percent") << "/echo" << Params{{"p", "1+1%"}} << "p=1%2B1%25";
        QTest::newRow("empty value") << "/echo" << Params{{"empty", ""}, {"b", "2"}} << "empty=&b=2";
        QTest::newRow("joins an existing query") << "/echo?z=0" << Params{{"a", "1"}} << "z=0&a=1";
        QTest::newRow("address ends in ?") << "/echo?" << Params{{"a", "1"}} << "a=1";
        QTest::newRow("address ends in &") << "/echo?z=0&" << Params{{"a", "1"}} << "z=0&a=1";
        QTest::newRow("repeated key") << "/echo" << Params{{"a", "1"}, {"a", "2"}} << "a=1&a=2";
    }
    void paramsAreEncodedInCallOrder()
    {
        QFETCH(QString, path);
        QFETCH(Params, params);
        QFETCH(QString, expectedQuery);

        HRequest request;
        request.setUrl(m_server->url(path));
        request.setHttpType(HRequest::Get);
        request.setResultType(HRequest::Body);
        for (const auto& p : params)
            request.appendParam(p.first, p.second);
        QByteArray body;
        QCOMPARE(request.exec(body), 0);
        QCOMPARE(QString::fromUtf8(body), expectedQuery);
        QCOMPARE(request.httpStatus(), 200);
    }

    void serverDecodesValueBack_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("reserved characters") << "a&b=c?d#e/f";
        QTest::newRow("chinese with space") << QStringLiteral("证件 照");
        QTest::newRow("plus sign") << "1+1";
    }
    void serverDecodesValueBack()
    {
        QFETCH(QString, value);
        HRequest request;
        request.setUrl(m_server->url("/param"));
        request.appendParam("value", value);
        QByteArray body;
        QCOMPARE(request.exec(body), 0);
        QCOMPARE(QString::fromUtf8(body), value);
    }

    void unencodedAddress_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected"); // the path as the server decodes it

        QTest::newRow("space") << "/files/my photo.png" << "/files/my photo.png";
        QTest::newRow("chinese") << QStringLiteral("/files/证件照.png") << QStringLiteral("/files/证件照.png");
        QTest::newRow("already encoded") << "/files/a%20b.png" << "/files/a b.png";
        QTest::newRow("encoded percent stays") << "/files/100%25.png" << "/files/100%.png";
    }
    void unencodedAddress()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        HRequest request;
        request.setUrl(m_server->url(path));
        QByteArray body;
        QCOMPARE(request.exec(body), 0);
        QCOMPARE(QString::fromUtf8(body), expected);
    }

    void postSendsFormBody()
    {
        HRequest request;
        request.setUrl(m_server->url("/echo"));
        request.setHttpType(HRequest::Post);
        request.appendParam("b", "x y");
        request.appendParam("a", QStringLiteral("中"));
        QByteArray body;
        QCOMPARE(request.exec(body), 0);
        QCOMPARE(body, QByteArray("b=x%20y&a=%E4%B8%AD"));
    }

    void headersResultHasNoBody()
    {
        HRequest request;
        request.setUrl(m_server->url("/sized"));
        request.appendParam("n", "4000");
        request.setResultType(HRequest::Headers);
        QByteArray headers;
        QCOMPARE(request.exec(headers), 0);
        QVERIFY(headers.startsWith("HTTP/1.1 200"));
        QVERIFY(headers.toLower().contains("content-length: 4000"));
        QVERIFY(!headers.contains("xxxx"));
    }

    void httpStatus_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("expectedCode");
        QTest::addColumn<QString>("messagePart");

        QTest::newRow("404") << "/status/404" << HRequest::HttpErrorBase + 404 << "404";
        QTest::newRow("400 is already a failure") << "/status/400" << HRequest::HttpErrorBase + 400 << "400";
        QTest::newRow("503") << "/status/503" << HRequest::HttpErrorBase + 503 << "503";
        QTest::newRow("399 is no failure") << "/status/399" << 0 << "";
        QTest::newRow("redirect followed") << "/to-echo" << 0 << "";
    }
    void httpStatus()
    {
        QFETCH(QString, path);
        QFETCH(int, expectedCode);
        QFETCH(QString, messagePart);

        HRequest request;
        request.setUrl(m_server->url(path));
        QByteArray body("stale");
        const int code = request.exec(body);
        QCOMPARE(code, expectedCode);
        if (expectedCode != 0) {
            QVERIFY(body.isEmpty());
            const QString message = HRequest::getCurlErrMsg(code);
            QVERIFY2(message.contains(messagePart), qPrintable(message));
        }
    }

    void bodyCap_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("accepted");

        QTest::newRow("exactly the cap") << "/sized" << 1000 << true;
        QTest::newRow("one byte over, announced") << "/sized" << 1001 << false;
        QTest::newRow("far over, announced") << "/sized" << 200000 << false;
        QTest::newRow("under the cap, streamed") << "/chunked" << 999 << true;
        QTest::newRow("over the cap, streamed") << "/chunked" << 5000 << false;
    }
    void bodyCap()
    {
        QFETCH(QString, path);
        QFETCH(int, size);
        QFETCH(bool, accepted);

        HRequest::setBodyLimit(1000);
        HRequest request;
        request.setUrl(m_server->url(path));
        request.appendParam("n", QString::number(size));
        QByteArray body;
        const int code = request.exec(body);
        if (accepted) {
            QCOMPARE(code, 0);
            QCOMPARE(body.size(), size);
        } else {
            QCOMPARE(code, int(CURLE_FILESIZE_EXCEEDED));
            QVERIFY(body.isEmpty());
            QVERIFY(HRequest::getCurlErrMsg(code).contains("1000"));
        }
    }

    void onlyHttpSchemes_data()
    {
        QTest::addColumn<QString>("url");
        QTest::newRow("file") << "file:///etc/hostname";
        QTest::newRow("file upper case") << "FILE:///etc/hostname";
        QTest::newRow("ftp") << "ftp://127.0.0.1/readme";
        QTest::newRow("no scheme") << "/etc/hostname";
        QTest::newRow("empty") << "";
        QTest::newRow("scp") << "scp://127.0.0.1/x";
    }
    void onlyHttpSchemes()
    {
        QFETCH(QString, url);
        HRequest request;
        request.setUrl(url);
        QByteArray body;
        const int code = request.exec(body);
        QCOMPARE(code, int(CURLE_UNSUPPORTED_PROTOCOL));
        QVERIFY(body.isEmpty());
        QVERIFY(HRequest::getCurlErrMsg(code).contains("http and https"));
    }

    void redirectToFileRefused()
    {
        HRequest request;
        request.setUrl(m_server->url("/to-file"));
        QByteArray body;
        QVERIFY(request.exec(body) != 0);
        QVERIFY(body.isEmpty());
    }

    void stall_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("no answer at all") << "/silent";
        QTest::newRow("stops after a few bytes") << "/stall-midway";
    }
    void stall()
    {
        QFETCH(QString, path);
        HRequest::setTimeouts(2000, 600);
        HRequest request;
        request.setUrl(m_server->url(path));
        QByteArray body;
        QElapsedTimer timer;
        timer.start();
        const int code = request.exec(body);
        QCOMPARE(code, int(CURLE_OPERATION_TIMEDOUT));
        // The server holds the connection for 10 s; giving up well before proves the
        // stall limit, not the server, ended the request.
        QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(body.isEmpty());
    }

    void refusedConnection()
    {
        // A bound socket that never listens: connections to it are refused, and
        // nobody else can take the port meanwhile.
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        QVERIFY(fd >= 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&address), length), 0);
        QCOMPARE(::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
        const int port = ntohs(address.sin_port);
        HRequest request;
        request.setUrl(QStringLiteral("http://127.0.0.1:%1/").arg(port));
        QByteArray body;
        const int code = request.exec(body);
        ::close(fd);
        QCOMPARE(code, int(CURLE_COULDNT_CONNECT));
        QVERIFY(HRequest::getCurlErrMsg(CURLE_COULDNT_CONNECT).contains("connect"));
    }

    void connectTimeout()
    {
        // A listening socket whose accept queue is full: the kernel drops further
        // connection attempts, so connecting hangs like an unreachable host.
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&address), length), 0);
        QCOMPARE(::listen(fd, 0), 0);
        QCOMPARE(::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
        std::vector<int> fillers;
        for (int i = 0; i < 3; ++i) {
            const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(filler, reinterpret_cast<sockaddr*>(&address), length);
            fillers.push_back(filler);
        }

        HRequest::setTimeouts(700, 60000);
        HRequest request;
        request.setUrl(QStringLiteral("http://127.0.0.1:%1/").arg(ntohs(address.sin_port)));
        QByteArray body;
        QElapsedTimer timer;
        timer.start();
        const int code = request.exec(body);
        const qint64 elapsed = timer.elapsed();
        for (int filler : fillers)
            ::close(filler);
        ::close(fd);
        QCOMPARE(code, int(CURLE_OPERATION_TIMEDOUT));
        QVERIFY2(elapsed < 5000, qPrintable(QString::number(elapsed)));
    }

    void concurrentRequests()
    {
        constexpr int threads = 6;
        constexpr int perThread = 15;
        std::atomic<int> mismatches{0};
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back([&, t] {
                for (int i = 0; i < perThread; ++i) {
                    HRequest request;
                    request.setUrl(m_server->url("/echo"));
                    const QString id = QStringLiteral("%1-%2").arg(t).arg(i);
                    request.appendParam("id", id);
                    QByteArray body;
                    if (request.exec(body) != 0 || body != "id=" + id.toUtf8())
                        ++mismatches;
                }
            });
        }
        for (auto& w : workers)
            w.join();
        QCOMPARE(mismatches.load(), 0);
    }

    void certificates_data()
    {
        QTest::addColumn<QString>("serverCert");
        QTest::addColumn<QString>("caBundle");
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("trusted");

        QTest::newRow("signed by the bundle's CA") << "good" << "trusted-ca" << "localhost" << true;
        QTest::newRow("by IP address in the certificate") << "good" << "trusted-ca" << "127.0.0.1" << true;
        QTest::newRow("CA not in the bundle") << "good" << "other-ca" << "localhost" << false;
        QTest::newRow("certificate for another host") << "wrong-host" << "trusted-ca" << "localhost" << false;
        QTest::newRow("no bundle file: system store") << "good" << "missing" << "localhost" << false;
    }
    void certificates()
    {
        QFETCH(QString, serverCert);
        QFETCH(QString, caBundle);
        QFETCH(QString, host);
        QFETCH(bool, trusted);
        if (!m_haveCerts)
            QFAIL("could not make the test certificates with openssl");

        const QString dir = m_certs.path() + "/";
        TestServer tls(std::make_unique<httplib::SSLServer>((dir + serverCert + ".pem").toUtf8().constData(),
                                                            (dir + serverCert + ".key").toUtf8().constData()));
        addRoutes(tls);
        HRequest::setCaBundlePath(dir + caBundle + ".pem");

        HRequest request;
        request.setUrl(tls.hostUrl(host, "/echo"));
        request.appendParam("secure", "1");
        QByteArray body;
        const int code = request.exec(body);
        if (trusted) {
            QCOMPARE(code, 0);
            QCOMPARE(body, QByteArray("secure=1"));
        } else {
            QCOMPARE(code, int(CURLE_PEER_FAILED_VERIFICATION));
            QVERIFY(body.isEmpty());
            QVERIFY(HRequest::getCurlErrMsg(code).contains("certificate"));
        }
    }

    void worksAfterClientClosed()
    {
        // Tools and late jobs may request after close(): the client starts again.
        QHttpClient::Instance()->close();
        QVERIFY(!QHttpClient::Instance()->isStarted());
        HRequest request;
        request.setUrl(m_server->url("/echo"));
        request.appendParam("again", "1");
        QByteArray body;
        QCOMPARE(request.exec(body), 0);
        QCOMPARE(body, QByteArray("again=1"));
        QVERIFY(QHttpClient::Instance()->isStarted());
    }

    void unknownCodeStillReadable()
    {
        const QString message = HRequest::getCurlErrMsg(CURLE_BAD_CONTENT_ENCODING);
        QVERIFY(message.contains(QString::number(int(CURLE_BAD_CONTENT_ENCODING))));
        QVERIFY(message.size() > 10);
    }
};

BRISEL_TEST_GUILESS_MAIN(TestPlatformHRequest)
#include "tst_platform_hrequest.moc"
