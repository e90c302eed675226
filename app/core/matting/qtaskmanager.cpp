#include "qtaskmanager.h"

#include "qworkpool.h"

QMap<QString, std::shared_ptr<QImageTask>> QTaskManager::tasks;

void QTaskManager::addTask(const std::shared_ptr<QImageTask>& task)
{
    tasks.insert(task->id(), task);
    QWorkPool::instance()->post([task] { task->run(); });
}

std::shared_ptr<QImageTask> QTaskManager::getTask(const QString& id)
{
    return tasks.value(id);
}

void QTaskManager::clear()
{
    tasks.clear();
}
