#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QImageTask;

// The work of the command-line tool: where each photo's cut-out goes, and running
// all photos through the same tasks, pool and cache as the program. One photo
// failing does not stop the others.
//
// Threads: created and started on the main thread, whose event loop must run; the
// cut-outs are encoded and written on the pool's workers; progress arrives queued
// on the main thread.
class QCutoutBatch : public QObject
{
    Q_OBJECT

public:
    struct Item
    {
        QString photo;
        QString output;
    };

    // Output names: without `target`, "<name>-cutout.png" beside each photo; with a
    // folder (an existing one, one ending in a separator, or any target when there
    // are several photos), "<folder>/<name>.png"; otherwise the one photo's file. A
    // name that is already taken in this run or is one of the photos gets "-2",
    // "-3", ... appended; a single file target that is the photo itself is refused.
    // False with a readable reason when no plan is possible.
    static bool plan(const QStringList& photos, const QString& target, QList<Item>* items, QString* error);
    // The first output that already exists and is not the tool's own earlier
    // cut-out of the same photo (a "<name>-cutout.png" for photo <name>), which
    // is only replaced when the user says so; empty when there is none.
    static QString foreignOutput(const QList<Item>& items);

    QCutoutBatch(int type, const QList<Item>& items, QObject* parent = nullptr);

    // Asks the service for its fast engine (int8: quicker, coarser edges); before start().
    void setFast(bool fast) { m_fast = fast; }
    // Queues every photo on the work pool (which must be started).
    void start();
    int failures() const { return m_failures; }

signals:
    // One per photo, in the order they finish: error is empty on success.
    void signal_progress(int done, int total, const QString& photo, const QString& output,
                         const QString& error);
    void signal_finished(int failures);

private:
    // Worker thread: the finished task's cut-out into its output PNG, with the photo's
    // metadata (location and serial numbers left out).
    static QString writeCutout(const std::shared_ptr<QImageTask>& task, const QString& output);
    void onItemDone(int index, const QString& error);

    int m_type = 0;
    bool m_fast = false;
    QList<Item> m_items;
    int m_done = 0;
    int m_failures = 0;
};
