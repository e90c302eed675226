#include "testutils.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <opencv2/imgproc.hpp>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

namespace testutils {
namespace {
std::unique_ptr<QTemporaryDir> g_sandbox;
}

QString initSandbox()
{
    if (!g_sandbox) {
        g_sandbox = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/brisel-test-XXXXXX");
        const QString root = g_sandbox->path();
        const char* dirs[][2] = {{"HOME", ""},
                                 {"XDG_CONFIG_HOME", "/.config"},
                                 {"XDG_DATA_HOME", "/.local/share"},
                                 {"XDG_CACHE_HOME", "/.cache"},
                                 {"XDG_RUNTIME_DIR", "/run"}};
        for (const auto& d : dirs) {
            const QString path = root + d[1];
            QDir().mkpath(path);
            QFile::setPermissions(path,
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            qputenv(d[0], path.toUtf8());
        }
    }
    return g_sandbox->path();
}

QString sandboxPath()
{
    return initSandbox();
}

QString dataPath(const QString& name)
{
    return QStringLiteral(BRISEL_TEST_DATA_DIR) + "/" + name;
}

QString binPath(const QString& name)
{
    const QString dir = QStringLiteral(BRISEL_BIN_DIR);
    return name.isEmpty() ? dir + "/" : dir + "/" + name;
}

cv::Mat solidBgra(int w, int h, const cv::Scalar& bgra)
{
    return cv::Mat(h, w, CV_8UC4, bgra);
}

cv::Mat texturedBgr(int w, int h, int seed)
{
    cv::Mat m(h, w, CV_8UC3);
    for (int y = 0; y < h; ++y) {
        auto* row = m.ptr<uchar>(y);
        for (int x = 0; x < w; ++x) {
            row[3 * x + 0] = static_cast<uchar>((x * 255) / std::max(1, w - 1));
            row[3 * x + 1] = static_cast<uchar>((y * 255) / std::max(1, h - 1));
            row[3 * x + 2] = static_cast<uchar>(((x ^ y) * seed * 37) & 0xff);
        }
    }
    return m;
}

int maxPixelDifference(const cv::Mat& a, const cv::Mat& b)
{
    if (a.size() != b.size() || a.type() != b.type())
        return -1;
    if (a.empty())
        return 0;
    cv::Mat diff;
    cv::absdiff(a, b, diff);
    double maxVal = 0;
    cv::minMaxLoc(diff.reshape(1), nullptr, &maxVal);
    return static_cast<int>(maxVal);
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool makeCertificate(const QString& dir, const QString& name, const QString& signer, const QString& host,
                     QString* error)
{
    const auto openssl = [&](const QStringList& args) {
        ChildProcess p;
        p.setWorkingDirectory(dir);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral("openssl"), args);
        const bool ok =
            p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        if (!ok && error)
            *error = QStringLiteral("openssl %1: %2 %3")
                         .arg(args.join(' '), p.errorString(), QString::fromLocal8Bit(p.readAll()));
        return ok;
    };
    QDir().mkpath(dir);
    const QStringList key{"-newkey", "ec",      "-pkeyopt",   "ec_paramgen_curve:prime256v1",
                          "-nodes",  "-keyout", name + ".key"};
    const QString subject = "/CN=" + (host.isEmpty() ? name : host);
    QString san = "subjectAltName=DNS:" + host;
    if (host == QLatin1String("localhost") || host == QLatin1String("127.0.0.1"))
        san = QStringLiteral("subjectAltName=IP:127.0.0.1,DNS:localhost");
    if (signer.isEmpty()) {
        const QStringList extension = host.isEmpty() ? QStringList() : QStringList{"-addext", san};
        return openssl(QStringList{"req", "-x509", "-days", "2", "-out", name + ".pem", "-subj", subject} +
                       key + extension);
    }
    return writeFile(dir + "/" + name + ".ext", san.toUtf8() + "\n") &&
           openssl(QStringList{"req", "-out", name + ".csr", "-subj", subject} + key) &&
           openssl({"x509", "-req", "-in", name + ".csr", "-CA", signer + ".pem", "-CAkey", signer + ".key",
                    "-CAcreateserial", "-days", "2", "-out", name + ".pem", "-extfile", name + ".ext"});
}

QString startService(ChildProcess& process, const QStringList& args, int timeoutMs, QString* error)
{
    const QString program = binPath(QStringLiteral("brisel-matting-service"));
    if (!QFileInfo::exists(program)) {
        *error = program + " is not built";
        return QString();
    }
    process.start(program, QStringList{"--port", "0", "--engine", "key"} + args);
    QElapsedTimer timer;
    timer.start();
    QByteArray output;
    while (timer.elapsed() < timeoutMs && process.state() != QProcess::NotRunning) {
        process.waitForReadyRead(200);
        output += process.readAllStandardOutput();
        const int at = output.indexOf("listening on ");
        const int end = output.indexOf('\n', at);
        if (at >= 0 && end > at) {
            QString url = QString::fromUtf8(output.mid(at + 13, end - at - 13)).trimmed();
            while (url.endsWith('/'))
                url.chop(1);
            return url;
        }
    }
    *error = "the service did not say where it listens: " + QString::fromUtf8(output);
    return QString();
}

LoopbackPort::LoopbackPort(Mode mode) : m_fd(::socket(AF_INET, SOCK_STREAM, 0))
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), length);
    ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    if (mode == Refused || ::listen(m_fd, mode == Jammed ? 0 : 4) != 0)
        return;
    for (int i = 0; mode == Jammed && i < 3; ++i) {
        m_fillers.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
        ::connect(m_fillers.back(), reinterpret_cast<sockaddr*>(&address), length);
    }
}

LoopbackPort::~LoopbackPort()
{
    for (int fd : m_fillers)
        ::close(fd);
    ::close(m_fd);
}

bool LoopbackPort::called() const
{
    pollfd waiting{m_fd, POLLIN, 0};
    return ::poll(&waiting, 1, 0) == 1;
}

} // namespace testutils
