#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

// Works through a list of saves in order with at most `parallel` of them running at
// once, so that saves which each hold a full-size picture never hold more than that
// many together. Counts what was saved, lists what failed ("file name: reason") and
// what had nothing to save, and reports once at the end.
//
// Threads: lives on, and is used from, the thread that created it (the GUI thread).
// A save is started on that thread and may do its work anywhere, but it calls its
// `done` on that thread, at once or later. `done` is safe to call after the
// scheduler is gone; it then does nothing.
class QSaveScheduler : public QObject
{
    Q_OBJECT

public:
    using Done = std::function<void(bool ok, const QString& file, const QString& error)>;
    // Starts one save that ends by calling `done` once; false (and no `done`) when
    // there is nothing to save, which counts as skipped.
    using Save = std::function<bool(const Done& done)>;

    QSaveScheduler(QList<Save> saves, int parallel, QObject* parent = nullptr);

    // Starts the first saves; signal_finished may come before it returns.
    void start();
    // Starts no further save; those running finish, then signal_finished.
    void cancel() { m_cancelled = true; }
    bool isCancelled() const { return m_cancelled; }
    int total() const { return m_saves.size(); }

signals:
    // Saves handled so far (saved, failed or skipped) out of total().
    void signal_progress(int handled);
    void signal_finished(int saved, const QStringList& failures, int skipped);

private:
    void startMore();
    void onDone(bool ok, const QString& file, const QString& error);
    int handled() const { return m_saved + m_failures.size() + m_skipped; }

    QList<Save> m_saves;
    int m_parallel = 1;
    int m_next = 0;
    int m_running = 0;
    int m_saved = 0;
    int m_skipped = 0;
    QStringList m_failures;
    bool m_cancelled = false;
    bool m_finished = false;
};
