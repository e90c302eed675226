#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

// Makes sure the matting service answers before photos are sent to it. When the
// configured service is the local default and nothing answers there, it starts
// brisel-matting-service from the program's folder (with the TLS certificate, key
// and engine QServiceSetup names) and waits until /healthz answers.
//
// The local service is one per user and belongs to no client: it runs detached in
// its own session, outlives whoever started it and ends by itself after
// idleExitSeconds() without work, so no client ever stops it under the others.
// Clients starting at once serialise on a lock file; the first starts it, the
// others wait and find it answering. Its port, idle time and any extra options
// ("service"/"options", e.g. "--workers 2") come from the settings.
//
// Threads: a launcher lives on, and is used from, one thread. ensureRunning()
// blocks (for the command-line tool); ensureRunningAsync() never blocks the caller:
// the probing and starting run on the work pool, which must be started, and the
// answer arrives as one queued signal. The static functions may be called from any
// thread.
class QServiceLauncher : public QObject
{
    Q_OBJECT

public:
    static constexpr int kDefaultPort = 47650;
    static constexpr int kDefaultIdleExitSeconds = 300;

    // "https://127.0.0.1:<default port>".
    static QString defaultUrl();
    // The base URL from the settings ("service"/"url"), without a trailing slash;
    // the local default when unset.
    static QString serviceUrl();
    // The local service's port: "service"/"port" from the settings (kDefaultPort
    // unless set), or what a test set for its own process.
    static void setDefaultPort(int port);
    static int defaultPort();
    // Tests run their own service program (the one in the program's folder unless set).
    static void setServiceFolder(const QString& folder);

    // Whether GET <url>/healthz answers with success.
    static bool isAnswering(const QString& url);

    // Seconds without a job or connection after which a local service started from
    // here ends by itself ("service"/"idleExit"); 0 means it never does.
    static int idleExitSeconds();

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

    // Runs `attempt` (one exchange with the service at `url`: false with the reason
    // in *error when it failed). When the local service died under it, or another
    // client restarted it meanwhile, the service is started again and `attempt`
    // runs once more; if the service is gone after that, *error says so and names
    // its log. Blocks: call it on a pool worker.
    static bool runWithRestart(const QString& url, const std::function<bool(QString* error)>& attempt,
                               QString* error);

    // The process id recorded by the client that last started the local service,
    // 0 when none is recorded.
    static qint64 localServicePid();

    // Ends the local service when it runs the flat-background key engine, so that
    // the next photo starts one with the model QServiceSetup has just made. It
    // finishes its jobs and hands their results out first.
    static void retireKeyEngineService();

    // The service program beside the program, and the log the local service
    // appends to in the user's cache folder.
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
    // Starts the local service under the lock unless it answers by the time the
    // lock is ours; calls `starting` just before starting it.
    static bool startLocal(int timeoutMs, const std::function<void()>& starting, QString* error);
    // Polls /healthz until it answers (true), the deadline passes or gone() says
    // the process has ended (false, with the reason in *error).
    static bool waitUntilAnswering(const QString& url, int timeoutMs, const std::function<bool()>& gone,
                                   QString* error);
    void finishAsync(bool ok, const QString& error);

    QString m_url;
    std::shared_ptr<Probe> m_probe;
    QString m_error;
    int m_startTimeoutMs = 60000;
};
