// HRequest against real HTTP(S) servers started inside the test.

#include "hrequest.h"
#include "qhttpclient.h"
#include "testutils.h"

#include <QElapsedTimer>
#include <QGuiApplication>
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
        addRoutes();
        m_port = m_server->bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server->listen_after_bind(); });
        // A server that failed to bind never runs; give up rather than spin.
        for (int i = 0; i < 1000 && m_port > 0 && !m_server->is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ~TestServer()
    {
        m_release = true;
        m_server->stop();
        m_thread.join();
    }
    QString url(const QString& path, const QString& host = QStringLiteral("127.0.0.1")) const
    {
        const bool tls = dynamic_cast<httplib::SSLServer*>(m_server.get());
        return QStringLiteral("%1://%2:%3%4").arg(tls ? "https" : "http", host).arg(m_port).arg(path);
    }

private:
    // Handlers that hold a connection wait on this instead of sleeping for a fixed
    // time, so the server shuts down promptly.
    void holdUntilReleased() const
    {
        for (int i = 0; i < 500 && !m_release; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    void addRoutes()
    {
        using Req = httplib::Request;
        using Res = httplib::Response;
        httplib::Server& s = *m_server;
        s.Get("/echo", [](const Req& req, Res& res) {
            const auto query = req.target.find('?');
            res.set_content(query == std::string::npos ? std::string() : req.target.substr(query + 1),
                            "text/plain");
        });
        s.Post("/echo", [](const Req& req, Res& res) { res.set_content(req.body, "text/plain"); });
        s.Get("/param",
              [](const Req& req, Res& res) { res.set_content(req.get_param_value("value"), "text/plain"); });
        s.Get(R"(/files/(.*))", [](const Req& req, Res& res) { res.set_content(req.path, "text/plain"); });
        s.Get(R"(/status/(\d+))", [](const Req& req, Res& res) {
            res.status = std::stoi(req.matches[1]);
            res.set_content("status page", "text/plain");
        });
        s.Get("/sized", [](const Req& req, Res& res) {
            res.set_content(std::string(size_t(std::stoul(req.get_param_value("n"))), 'x'),
                            "application/octet-stream");
        });
        // No Content-Length: the size shows only while the body streams in.
        s.Get("/chunked", [](const Req& req, Res& res) {
            const size_t total = std::stoul(req.get_param_value("n"));
            res.set_chunked_content_provider(
                "application/octet-stream", [total](size_t offset, httplib::DataSink& sink) {
                    if (offset >= total) {
                        sink.done();
                        return true;
                    }
                    const std::string block(std::min<size_t>(512, total - offset), 'y');
                    return sink.write(block.data(), block.size());
                });
        });
        s.Get("/silent", [this](const Req&, Res& res) {
            holdUntilReleased();
            res.set_content("late", "text/plain");
        });
        // Sends a little, then nothing more.
        s.Get("/stall-midway", [this](const Req&, Res& res) {
            res.set_chunked_content_provider("text/plain", [this](size_t offset, httplib::DataSink& sink) {
                if (offset == 0)
                    return sink.write("begin", 5);
                holdUntilReleased();
                sink.done();
                return true;
            });
        });
        s.Get("/to-file", [](const Req&, Res& res) { res.set_redirect("file:///etc/hostname"); });
        s.Get("/to-echo", [](const Req&, Res& res) { res.set_redirect("/echo?moved=1"); });
    }

    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = 0;
    std::atomic<bool> m_release{false};
};

// A loopback port nobody serves: bound but not listening, connections are refused;
// listening with a full accept queue, the kernel drops them and connecting hangs
// like an unreachable host. Nobody else can take the port meanwhile.
class DeadPort
{
public:
    explicit DeadPort(bool jammed)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), length);
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        if (jammed && ::listen(m_fd, 0) == 0) {
            for (int i = 0; i < 3; ++i) {
                m_fillers.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
                ::connect(m_fillers.back(), reinterpret_cast<sockaddr*>(&address), length);
            }
        }
    }
    ~DeadPort()
    {
        for (int fd : m_fillers)
            ::close(fd);
        ::close(m_fd);
    }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1/").arg(m_port); }

private:
    int m_fd = -1;
    int m_port = 0;
    std::vector<int> m_fillers;
};

} // namespace

class TestPlatformHRequest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestServer> m_server;
    QTemporaryDir m_certs;
    bool m_haveCerts = false;

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

private slots:
    void initTestCase()
    {
        QVERIFY(QHttpClient::Instance()->start(3));
        m_server = std::make_unique<TestServer>(std::make_unique<httplib::Server>());
        const QString dir = m_certs.path();
        m_haveCerts = testutils::makeCertificate(dir, "trusted-ca") &&
                      testutils::makeCertificate(dir, "other-ca") &&
                      testutils::makeCertificate(dir, "good", "trusted-ca", "localhost") &&
                      testutils::makeCertificate(dir, "wrong-host", "trusted-ca", "wrong.example");
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
        QTest::newRow("ampersand and equals") << get << "/echo" << Params{{"x", "a&b=c"}} << "x=a%26b%3Dc";
        QTest::newRow("plus and percent") << get << "/echo" << Params{{"p", "1+1%"}} << "p=1%2B1%25";
        QTest::newRow("joins an existing query") << get << "/echo?z=0" << Params{{"a", "1"}} << "z=0&a=1";
        QTest::newRow("address ends in ?") << get << "/echo?" << Params{{"a", "1"}} << "a=1";
        QTest::newRow("redirect followed") << get << "/to-echo" << Params{} << "moved=1";
        QTest::newRow("server decodes reserved characters")
            << get << "/param" << Params{{"value", "a&b=c?d#e/f"}} << "a&b=c?d#e/f";
        QTest::newRow("post form body")
            << int(HRequest::Post) << "/echo" << Params{{"b", "x y"}, {"a", QStringLiteral("中")}}
            << "b=x%20y&a=%E4%B8%AD";
        QTest::newRow("address with a space")
            << get << "/files/my photo.png" << Params{} << "/files/my photo.png";
        QTest::newRow("encoded percent stays") << get << "/files/100%25.png" << Params{} << "/files/100%.png";
    }
    void sentAsServerExpects()
    {
        QFETCH(int, type);
        QFETCH(QString, path);
        QFETCH(Params, params);
        QFETCH(QString, received);
        QByteArray body;
        QCOMPARE(fetch(m_server->url(path), &body, params, type), 0);
        QCOMPARE(QString::fromUtf8(body), received);
    }

    // Every failure leaves the result empty and has a readable message.
    void failures_data()
    {
        QTest::addColumn<QString>("url"); // "dead": a port nobody serves
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("messagePart");

        const QString schemes = "http and https";
        QTest::newRow("404") << m_server->url("/status/404") << HRequest::HttpErrorBase + 404 << "404";
        QTest::newRow("400 is already a failure")
            << m_server->url("/status/400") << HRequest::HttpErrorBase + 400 << "400";
        QTest::newRow("399 is no failure") << m_server->url("/status/399") << 0 << "";
        QTest::newRow("file") << "file:///etc/hostname" << int(CURLE_UNSUPPORTED_PROTOCOL) << schemes;
        QTest::newRow("no scheme") << "/etc/hostname" << int(CURLE_UNSUPPORTED_PROTOCOL) << schemes;
        QTest::newRow("empty") << "" << int(CURLE_UNSUPPORTED_PROTOCOL) << schemes;
        QTest::newRow("redirect to a file")
            << m_server->url("/to-file") << int(CURLE_UNSUPPORTED_PROTOCOL) << schemes;
        QTest::newRow("connection refused") << "dead" << int(CURLE_COULDNT_CONNECT) << "connect";
    }
    void failures()
    {
        QFETCH(QString, url);
        QFETCH(int, code);
        QFETCH(QString, messagePart);
        DeadPort dead(false);
        QByteArray body;
        QCOMPARE(fetch(url == QLatin1String("dead") ? dead.url() : url, &body), code);
        if (code != 0) {
            // An error page's body stays readable; other failures have none.
            QCOMPARE(body, code > HRequest::HttpErrorBase ? QByteArray("status page") : QByteArray());
            QVERIFY2(HRequest::getCurlErrMsg(code).contains(messagePart),
                     qPrintable(HRequest::getCurlErrMsg(code)));
        }
    }

    void bodyCap_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("accepted");

        QTest::newRow("exactly the cap") << "/sized" << 1000 << true;
        QTest::newRow("one byte over, announced") << "/sized" << 1001 << false;
        QTest::newRow("under the cap, streamed") << "/chunked" << 999 << true;
        QTest::newRow("over the cap, streamed") << "/chunked" << 5000 << false;
    }
    void bodyCap()
    {
        QFETCH(QString, path);
        QFETCH(int, size);
        QFETCH(bool, accepted);
        HRequest::setBodyLimit(1000);
        QByteArray body;
        const int code = fetch(m_server->url(path), &body, {{"n", QString::number(size)}});
        QCOMPARE(code, accepted ? 0 : int(CURLE_FILESIZE_EXCEEDED));
        QCOMPARE(body.size(), accepted ? size : 0);
        if (!accepted)
            QVERIFY(HRequest::getCurlErrMsg(code).contains("1000"));
    }

    void timeouts_data()
    {
        QTest::addColumn<QString>("path"); // "jammed": connecting never completes
        QTest::addColumn<int>("connectMs");
        QTest::addColumn<int>("stallMs");
        QTest::newRow("no answer at all") << "/silent" << 2000 << 600;
        QTest::newRow("stops after a few bytes") << "/stall-midway" << 2000 << 600;
        QTest::newRow("connection never accepted") << "jammed" << 700 << 60000;
    }
    void timeouts()
    {
        QFETCH(QString, path);
        QFETCH(int, connectMs);
        QFETCH(int, stallMs);
        HRequest::setTimeouts(connectMs, stallMs);
        DeadPort jammed(true);
        QElapsedTimer timer;
        timer.start();
        QByteArray body;
        QCOMPARE(fetch(path == QLatin1String("jammed") ? jammed.url() : m_server->url(path), &body),
                 int(CURLE_OPERATION_TIMEDOUT));
        // The server holds the connection for 10 s; giving up well before proves the
        // limit, not the server, ended the request.
        QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(body.isEmpty());
    }

    void concurrentRequests()
    {
        std::atomic<int> mismatches{0};
        std::vector<std::thread> workers;
        for (int t = 0; t < 6; ++t) {
            workers.emplace_back([&, t] {
                for (int i = 0; i < 15; ++i) {
                    const QString id = QStringLiteral("%1-%2").arg(t).arg(i);
                    QByteArray body;
                    if (fetch(m_server->url("/echo"), &body, {{"id", id}}) != 0 ||
                        body != "id=" + id.toUtf8())
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

        QTest::newRow("signed by the bundle's CA") << "good"
                                                   << "trusted-ca"
                                                   << "localhost" << true;
        QTest::newRow("CA not in the bundle") << "good"
                                              << "other-ca"
                                              << "localhost" << false;
        QTest::newRow("certificate for another host") << "wrong-host"
                                                      << "trusted-ca"
                                                      << "localhost" << false;
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
        TestServer tls(
            std::make_unique<httplib::SSLServer>((dir + serverCert + ".pem").toUtf8().constData(),
                                                 (dir + serverCert + ".key").toUtf8().constData()));
        HRequest::setCaBundlePath(dir + caBundle + ".pem");
        QByteArray body;
        const int code = fetch(tls.url("/echo", host), &body, {{"secure", "1"}});
        QCOMPARE(code, trusted ? 0 : int(CURLE_PEER_FAILED_VERIFICATION));
        QCOMPARE(body, trusted ? QByteArray("secure=1") : QByteArray());
        if (!trusted)
            QVERIFY(HRequest::getCurlErrMsg(code).contains("certificate"));
    }

    void worksAfterClientClosed()
    {
        // Tools and late jobs may request after close(): the client starts again.
        QHttpClient::Instance()->close();
        QVERIFY(!QHttpClient::Instance()->isStarted());
        QByteArray body;
        QCOMPARE(fetch(m_server->url("/echo"), &body, {{"again", "1"}}), 0);
        QCOMPARE(body, QByteArray("again=1"));
        QVERIFY(QHttpClient::Instance()->isStarted());
    }
};

BRISEL_TEST_GUILESS_MAIN(TestPlatformHRequest)
#include "tst_platform_hrequest.moc"
