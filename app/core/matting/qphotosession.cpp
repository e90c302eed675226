#include "qphotosession.h"

#include "qimagetask.h"
#include "qservicelauncher.h"
#include "qtaskmanager.h"

#include <memory>

QPhotoSession::QPhotoSession(QObject* parent) : QObject(parent), m_launcher(new QServiceLauncher(this))
{
    connect(m_launcher, &QServiceLauncher::signal_ready, this, &QPhotoSession::onServiceReady);
    connect(m_launcher, &QServiceLauncher::signal_failed, this, &QPhotoSession::onServiceFailed);
}

QPhotoSession::~QPhotoSession()
{
    cancelTask();
}

void QPhotoSession::submit(int type, const QString& filePath)
{
    cancelTask();
    ++m_run;
    m_type = type;
    m_waitingPhoto = filePath;
    emit signal_started(type);
    // The first photo may have to start the local service, which takes a while.
    m_launcher->ensureRunningAsync();
}

void QPhotoSession::cancel()
{
    cancelTask();
    ++m_run;
    m_waitingPhoto.clear();
    QTaskManager::clear();
    emit signal_cancelled();
}

void QPhotoSession::onServiceReady()
{
    if (m_waitingPhoto.isEmpty())
        return; // cancelled while the service was starting
    auto task = std::make_shared<QImageTask>(m_type, m_waitingPhoto);
    m_waitingPhoto.clear();
    const quint64 run = m_run;
    connect(task.get(), &QImageTask::signal_success, this, [this, run](const QString& taskId) {
        if (endsRun(run))
            emit signal_succeeded(taskId);
    });
    connect(task.get(), &QImageTask::signal_error, this, [this, run](const QString& message) {
        if (endsRun(run))
            emit signal_failed(message);
    });
    emit signal_matting();
    m_task = task;
    QTaskManager::addTask(task);
}

void QPhotoSession::cancelTask()
{
    if (const std::shared_ptr<QImageTask> task = m_task.lock())
        task->cancel();
    m_task.reset();
}

bool QPhotoSession::endsRun(quint64 run)
{
    if (run != m_run)
        return false; // a replaced or cancelled photo, or a second outcome
    ++m_run;
    return true;
}

void QPhotoSession::onServiceFailed(const QString& message)
{
    if (m_waitingPhoto.isEmpty())
        return;
    m_waitingPhoto.clear();
    ++m_run;
    emit signal_failed(message);
}
