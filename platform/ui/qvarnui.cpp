#include "qvarnui.h"

#include "logger.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QStyle>
#include <QUrl>
#include <QWidget>

#ifdef BRISEL_HAVE_DBUS
#include <QDBusConnection>
#include <QDBusMessage>
#endif

namespace {

// Nearest folder of `path` that exists: the path itself, or a parent.
QString existingFolder(const QString& path)
{
    QFileInfo info(QDir::cleanPath(QDir(QDir::currentPath()).absoluteFilePath(path)));
    while (!info.isDir()) {
        const QString parent = info.absolutePath();
        if (parent == info.absoluteFilePath())
            return QString();
        info.setFile(parent);
    }
    return info.absoluteFilePath();
}

// Asks the desktop's file manager to open the file's folder with the file selected.
// False when no file manager on the session bus answers the call.
bool showItemInFileManager(const QString& file)
{
#ifdef BRISEL_HAVE_DBUS
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(file).toString()} << QString();
    const QDBusMessage reply = bus.call(call, QDBus::Block, 5000);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return true;
    BRISEL_LOG(2, QStringLiteral("file manager did not show %1: %2").arg(file, reply.errorMessage()));
    return false;
#else
    Q_UNUSED(file);
    return false;
#endif
}

} // namespace

void QVarnUI::setCtrlProperty(QWidget* widget, const char* name, const QVariant& value)
{
    if (!widget || !name)
        return;
    widget->setProperty(name, value);
    QStyle* style = widget->style();
    style->unpolish(widget);
    style->polish(widget);
    widget->update();
}

bool QVarnUI::openFolder(const QString& path, bool selectFile)
{
    if (path.trimmed().isEmpty())
        return false;
    const QFileInfo info(path);
    if (selectFile && info.isFile() && showItemInFileManager(info.absoluteFilePath()))
        return true;
    const QString folder = existingFolder(selectFile && info.isFile() ? info.absolutePath() : path);
    if (folder.isEmpty())
        return false;
    const bool opened = QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    if (!opened)
        BRISEL_LOG(1, QStringLiteral("could not open folder %1").arg(folder));
    return opened;
}
