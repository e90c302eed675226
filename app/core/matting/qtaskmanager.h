#pragma once

#include "qimagetask.h"

#include <QMap>
#include <QObject>
#include <QString>

#include <memory>

// The registry of matting tasks by identifier. GUI thread only: the map is not
// locked. Jobs on the pool reach their task through the shared pointer they hold,
// never through the registry.
class QTaskManager : public QObject
{
    Q_OBJECT

public:
    // Registers the task under its identifier (replacing an earlier task with the
    // same identifier) and queues its run() on the work pool.
    static void addTask(const std::shared_ptr<QImageTask>& task);
    // The registered task, or an empty pointer.
    static std::shared_ptr<QImageTask> getTask(const QString& id);
    // Forgets every task; tasks still running finish and still emit their signal.
    static void clear();

private:
    static QMap<QString, std::shared_ptr<QImageTask>> tasks;
};
