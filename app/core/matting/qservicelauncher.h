#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

class QProcess;

// Makes sure the matting service answers before photos are sent to it. When the
// configured service is the local default and nothing answers there, it starts
// brisel-matting-service from the program's folder (with the TLS certificate and
// key that sit beside it), waits until /healthz answers, and stops the service
// again when the launcher is destroyed, if it was the one that started it.
//
// Threads: a launcher lives on, and is used from, one thread. ensureRunning()
// blocks (for the command-line tool); ensureRunningAsync() never blocks the caller
// for more than starting a process: the probing runs on the work pool, which must
// be started, and the answer arrives as one queued signal.
class QServiceLauncher : public QObject
{
    Q_OBJECT

public:
    static constexpr int kDefaultPort = 47650;

    // "https://127.0.0.1:<default port>".
    static QString defaultUrl();
    // The base URL from the settings ("service"/"url"), without a trailing slash;
    // the local default when unset.
    static QString serviceUrl();
    // Tests run their own local service on a free port, from a folder of their own
    // (the program's folder unless set).
    static void setDefaultPort(int port);
    static int defaultPort();
    static void setServiceFolder(const QString& folder);

    // Whether GET <url>/healthz answers with success.
    static bool isAnswering(const QString& url);

    explicit QServiceLauncher(QObject* parent = nullptr);
    ~QServiceLauncher() override;

    // How long a freshly started service may take to answer; 60 s unless changed.
    void setStartTimeout(int ms) { m_startTimeoutMs = ms; }

    // True when the service answers, starting it first when needed; otherwise
    // false with errorString() set.
    bool ensureRunning();
    // The same without blocking: emits signal_ready() or signal_failed(message).
    void ensureRunningAsync();

    QString errorString() const { return m_error; }
    // Whether this launcher started the service that is running now.
    bool ownsService() const;
    // Stops the service if this launcher started it; waits for its running jobs.
    void stop();

    // The service program beside the program, and the log it writes in the data
    // folder.
    static QString serviceProgramPath();
    static QString serviceLogPath();

signals:
    // The service did not answer and is being started (this may take seconds).
    void signal_starting();
    void signal_ready();
    void signal_failed(const QString& message);

private:
    struct Probe;

    bool needsLocalService() const;
    bool startProcess();
    // Polls /healthz until it answers (true), the deadline passes or gone() says
    // the process has ended (false, with the reason in *error).
    static bool waitUntilAnswering(const QString& url, int timeoutMs, const std::function<bool()>& gone,
                                   QString* error);
    void finishAsync(bool ok, const QString& error);

    QString m_url;
    QProcess* m_process = nullptr;
    std::shared_ptr<Probe> m_probe;
    QString m_error;
    int m_startTimeoutMs = 60000;
};
