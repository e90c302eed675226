#include "qcutoutbatch.h"

#include "guihandover.h"
#include "qimagetask.h"
#include "qsavefilewriter.h"
#include "qtaskmanager.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace {

bool isFolderTarget(const QString& target, int photoCount)
{
    return photoCount > 1 || QFileInfo(target).isDir() || target.endsWith(QLatin1Char('/')) ||
           target.endsWith(QLatin1Char('\\'));
}

// One spelling per file, so that "a/../b.png" and "b.png" are seen as the same.
QString identity(const QString& path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

// `wanted`, or wanted with "-2", "-3", ... before its suffix, whichever is free.
QString freeName(const QString& wanted, const QSet<QString>& taken)
{
    const QFileInfo info(wanted);
    QString name = wanted;
    for (int n = 2; taken.contains(identity(name)); ++n)
        name = info.path() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral("-%1.").arg(n) +
               info.suffix();
    return name;
}

} // namespace

bool QCutoutBatch::plan(const QStringList& photos, const QString& target, QList<Item>* items, QString* error)
{
    items->clear();
    if (photos.isEmpty()) {
        *error = tr("No photo was given.");
        return false;
    }
    QSet<QString> taken;
    for (const QString& photo : photos)
        taken.insert(identity(photo));

    const bool toFolder = !target.isEmpty() && isFolderTarget(target, photos.size());
    if (!target.isEmpty() && !toFolder && taken.contains(identity(target))) {
        *error = tr("The cut-out would overwrite the photo %1; choose another output file.")
                     .arg(QDir::toNativeSeparators(target));
        return false;
    }
    for (const QString& photo : photos) {
        const QFileInfo info(photo);
        QString wanted;
        if (target.isEmpty())
            wanted = info.path() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral("-cutout.png");
        else if (toFolder)
            wanted = QDir(target).filePath(info.completeBaseName() + QStringLiteral(".png"));
        else
            wanted = target;
        const QString output = freeName(wanted, taken);
        taken.insert(identity(output));
        items->append({photo, output});
    }
    return true;
}

QString QCutoutBatch::foreignOutput(const QList<Item>& items)
{
    for (const Item& item : items) {
        const QFileInfo output(item.output);
        if (output.exists() &&
            output.fileName() != QFileInfo(item.photo).completeBaseName() + QStringLiteral("-cutout.png"))
            return item.output;
    }
    return QString();
}

QCutoutBatch::QCutoutBatch(int type, const QList<Item>& items, QObject* parent)
    : QObject(parent), m_type(type), m_items(items)
{
}

void QCutoutBatch::start()
{
    if (m_items.isEmpty()) {
        emit signal_finished(0);
        return;
    }
    const QPointer<QCutoutBatch> guard(this);
    for (int index = 0; index < m_items.size(); ++index) {
        auto task = std::make_shared<QImageTask>(m_type, m_items[index].photo);
        task->setFast(m_fast);
        const QString output = m_items[index].output;
        // The task's own signals are handled on the worker that emits them, so the
        // encoding and writing run there too; only the outcome crosses to the
        // main thread. A weak pointer: the job holds the task, not the reverse.
        const std::weak_ptr<QImageTask> weak = task;
        connect(
            task.get(), &QImageTask::signal_success, task.get(),
            [guard, weak, output, index] {
                const QString error = writeCutout(weak.lock(), output);
                runOnGui(guard, [guard, index, error] { guard->onItemDone(index, error); });
            },
            Qt::DirectConnection);
        connect(
            task.get(), &QImageTask::signal_error, task.get(),
            [guard, index](const QString& message) {
                runOnGui(guard, [guard, index, message] { guard->onItemDone(index, message); });
            },
            Qt::DirectConnection);
        QTaskManager::addTask(task);
    }
}

QString QCutoutBatch::writeCutout(const std::shared_ptr<QImageTask>& task, const QString& output)
{
    if (!task)
        return tr("The cut-out could not be encoded as PNG.");
    QSaveFileWriter::Options options;
    options.photoPath = task->filePath();
    QString error;
    return QSaveFileWriter::write(output, task->cutout(), options, nullptr, &error) ? QString() : error;
}

void QCutoutBatch::onItemDone(int index, const QString& error)
{
    ++m_done;
    if (!error.isEmpty())
        ++m_failures;
    const Item& item = m_items.at(index);
    emit signal_progress(m_done, m_items.size(), item.photo, item.output, error);
    if (m_done == m_items.size())
        emit signal_finished(m_failures);
}
