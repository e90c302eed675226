#include "qsavescheduler.h"

#include <QFileInfo>
#include <QPointer>
#include <QTimer>

QSaveScheduler::QSaveScheduler(QList<Save> saves, int parallel, QObject* parent)
    : QObject(parent), m_saves(std::move(saves)), m_parallel(qMax(1, parallel))
{
}

void QSaveScheduler::start()
{
    startMore();
}

void QSaveScheduler::startMore()
{
    if (m_finished)
        return; // two saves ended together and the first call finished the run
    const QPointer<QSaveScheduler> guard(this);
    while (!m_cancelled && m_running < m_parallel && m_next < m_saves.size()) {
        ++m_running;
        const bool started =
            m_saves.at(m_next++)([guard](bool ok, const QString& file, const QString& error) {
                if (guard)
                    guard->onDone(ok, file, error);
            });
        if (!started) {
            --m_running;
            ++m_skipped;
        }
    }
    emit signal_progress(handled());
    if (m_running == 0 && (m_cancelled || m_next >= m_saves.size())) {
        m_finished = true;
        emit signal_finished(m_saved, m_failures, m_skipped);
    }
}

void QSaveScheduler::onDone(bool ok, const QString& file, const QString& error)
{
    --m_running;
    if (ok)
        ++m_saved;
    else
        m_failures << QString("%1: %2").arg(QFileInfo(file).fileName(), error);
    // A cancel asked for on seeing this counts before the next save starts.
    emit signal_progress(handled());
    // Later, so that a save ending at once does not re-enter the loop above.
    QTimer::singleShot(0, this, &QSaveScheduler::startMore);
}
