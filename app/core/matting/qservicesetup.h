#pragma once

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

// The local service's per-user pieces: its TLS certificate and key, and the photo
// model. A build folder carries the certificates beside the program (the build
// copies what tools/setup.sh made); an installed program keeps them in the user's
// data folder and makes them on its first start with the set-up scripts installed
// in its data folder (tools/make-certs.sh, tools/fetch-model.sh). Until the model is
// there the service runs its flat-background key engine.
//
// Threads: the static functions may be called from any thread. An instance lives on
// the GUI thread; prepare() returns at once, the scripts run as child processes and
// report through the signals.
class QServiceSetup : public QObject
{
    Q_OBJECT

public:
    struct TlsFiles
    {
        QString cert;
        QString key;
    };
    // The pair the local service starts with: the build's in `programFolder`
    // (service-cert.pem, service-key.pem) when there, else the user's.
    static TlsFiles tlsFiles(const QString& programFolder);
    // The converted model: in $BRISEL_MODEL_DIR when set, else the first of the
    // user's data folder and the set-up's cache folder that holds it; where
    // prepare() puts it when neither does.
    static QString modelPath();
    // The service's engine options: the model once it is there, the key engine until then.
    static QStringList engineArguments();
    // An installed program that lacks the certificates or the model.
    static bool needsPreparation();
    // Tests run stand-in scripts from their own folder (default: the data folder's tools/).
    static void setToolsFolder(const QString& folder);

    explicit QServiceSetup(QObject* parent = nullptr);
    ~QServiceSetup() override;

    // Makes whatever is missing: the certificates first (quick, needed for any
    // photo), then the model (a download of about 136 MB and a conversion).
    void prepare();

signals:
    // What runs now; percent is -1 when unknown.
    void signal_progress(const QString& text, int percent);
    // Everything is in place (ok), or why not, worded for the user.
    void signal_finished(bool ok, const QString& message);

private:
    enum class Step
    {
        Certificates,
        Model
    };

    void runStep(Step step);
    void onOutput();
    void onFinished(int exitCode, QProcess::ExitStatus status);
    QString failureText(int exitCode) const;

    QProcess m_process;
    Step m_step = Step::Certificates;
    bool m_downloading = false; // percentages on stderr are curl's only then
    QString m_lastError;        // the script's last line that was no progress
};
