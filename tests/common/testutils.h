#pragma once
// Shared helpers for the QtTest suites: a private home folder per test process,
// fixture paths, image builders and a fuzzy image comparison.

#include "childprocess.h"

#include <QImage>
#include <QString>
#include <QTest>

#include <opencv2/core.hpp>

#include <vector>

namespace testutils {

// Points HOME and the XDG folders at a fresh temporary folder, so a test never
// touches the user's settings, cache, logs or single-instance lock. Called before
// the application object exists; returns the folder.
QString initSandbox();
QString sandboxPath();

// tests/data/<name>
QString dataPath(const QString& name);
// The folder holding the built programs (brisel, brisel-matting-service, ...).
QString binPath(const QString& name = QString());

// A w x h BGRA matrix filled with one colour.
cv::Mat solidBgra(int w, int h, const cv::Scalar& bgra);
// A w x h BGR matrix with a smooth gradient and some texture (never flat).
cv::Mat texturedBgr(int w, int h, int seed = 1);

// Largest per-channel difference between two images of the same size and type,
// or -1 when sizes or types differ.
int maxPixelDifference(const cv::Mat& a, const cv::Mat& b);

// Creates the folder too.
bool writeFile(const QString& path, const QByteArray& bytes);
// A file's bytes, empty when it cannot be read.
QByteArray readFile(const QString& path);

// Makes <dir>/<name>.pem and <dir>/<name>.key with the openssl program: signed by
// <dir>/<signer>.pem, or self-signed when `signer` is empty (a CA when `host` is
// empty too). A host certificate also names 127.0.0.1 when host is localhost or
// 127.0.0.1. False with openssl's complaint in *error.
bool makeCertificate(const QString& dir, const QString& name, const QString& signer = QString(),
                     const QString& host = QString(), QString* error = nullptr);

// Starts brisel-matting-service in `process` with the key engine on a free port,
// then `args` (later options win). Its address without a trailing slash once it
// listens, or empty with the reason in *error.
QString startService(ChildProcess& process, const QStringList& args, int timeoutMs, QString* error);

// A loopback TCP port nobody serves, for clients that must fail or wait. Refused:
// bound, not listening. Silent: connections queue and are never answered. Jammed:
// the accept queue is full, so connecting hangs like an unreachable host.
class LoopbackPort
{
public:
    enum Mode
    {
        Refused,
        Silent,
        Jammed
    };
    explicit LoopbackPort(Mode mode);
    ~LoopbackPort();
    QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }
    int port() const { return m_port; }
    // A connection waits to be taken.
    bool called() const;

private:
    int m_fd = -1;
    int m_port = 0;
    std::vector<int> m_fillers;
};

} // namespace testutils

// Like QTEST_MAIN, but sets up the sandbox before the application object (an App)
// exists.
#define BRISEL_TEST_MAIN_APP(App, TestObject)                                                                \
    int main(int argc, char** argv)                                                                          \
    {                                                                                                        \
        testutils::initSandbox();                                                                            \
        App app(argc, argv);                                                                                 \
        QCoreApplication::setAttribute(Qt::AA_Use96Dpi, true);                                               \
        TestObject tc;                                                                                       \
        QTEST_SET_MAIN_SOURCE_PATH                                                                           \
        return QTest::qExec(&tc, argc, argv);                                                                \
    }
#define BRISEL_TEST_MAIN(TestObject) BRISEL_TEST_MAIN_APP(QApplication, TestObject)
// For suites that need no widgets.
#define BRISEL_TEST_GUILESS_MAIN(TestObject) BRISEL_TEST_MAIN_APP(QGuiApplication, TestObject)
