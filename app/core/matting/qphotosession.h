#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QImageTask;
class QServiceLauncher;

// One photo at a time, from the user's choice to its cut-out: makes sure the
// matting service answers (starting the local one when needed), runs the photo's
// QImageTask and reports the outcome. A photo submitted while another is still in
// progress replaces it, and cancel() drops the one in progress: nothing more is
// reported for a replaced or cancelled photo, however late its result comes.
//
// Threads: GUI thread only; the work pool must be running. The service check and
// the task run on the pool and their answers arrive queued. The successful task
// stays registered in QTaskManager under the identifier signal_succeeded carries.
// A cancelled, replaced or still running photo at the session's end is withdrawn
// from the service too, so it stops spending time on it.
class QPhotoSession : public QObject
{
    Q_OBJECT

public:
    explicit QPhotoSession(QObject* parent = nullptr);
    ~QPhotoSession() override;

    // Starts on `filePath` as a photo of `type` (a MattingType). Emits
    // signal_started at once.
    void submit(int type, const QString& filePath);
    // Drops the photo in progress and forgets every registered task; emits
    // signal_cancelled.
    void cancel();

    // The type of the photo last submitted.
    int type() const { return m_type; }

signals:
    void signal_started(int type);
    // The service answers and the photo is being matted.
    void signal_matting();
    void signal_succeeded(const QString& taskId);
    // The service could not be reached or started, or the task failed; the text is
    // for the user.
    void signal_failed(const QString& message);
    void signal_cancelled();

private:
    void onServiceReady();
    void onServiceFailed(const QString& message);
    // Whether `run` is the current photo's; if so, it is over from now on.
    bool endsRun(quint64 run);
    void cancelTask();

    QServiceLauncher* m_launcher = nullptr;
    int m_type = 0;
    // The photo waiting for the service's answer.
    QString m_waitingPhoto;
    // Counts photos; a task's signals count only while it belongs to the latest
    // one, which ends at its first outcome.
    quint64 m_run = 0;
    // The photo's task while the service works on it.
    std::weak_ptr<QImageTask> m_task;
};
