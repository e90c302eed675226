#include "qfilechooser.h"

#include "cglobal.h"
#include "csetting.h"
#include "qimagefiles.h"
#include "qmsgbox.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace {
QFileChooser::OpenHook g_openHook;
QFileChooser::FolderHook g_folderHook;
QFileChooser::OpenManyHook g_openManyHook;
} // namespace

QString QFileChooser::usableFolder(const QString& folder)
{
    for (const QString& candidate : {folder, CGlobal::getDesktopPath(), CGlobal::getPicturesPath()})
        if (!candidate.isEmpty() && QFileInfo(candidate).isDir())
            return candidate;
    return QDir::homePath();
}

QString QFileChooser::openFile(QWidget* parent, const QString& title, const QString& folder,
                               const QString& filter)
{
    const QString start = usableFolder(folder);
    if (g_openHook)
        return g_openHook(title, start, filter);
    return QFileDialog::getOpenFileName(parent, title, start, filter);
}

QStringList QFileChooser::openFiles(QWidget* parent, const QString& title, const QString& folder,
                                    const QString& filter)
{
    const QString start = usableFolder(folder);
    if (g_openManyHook)
        return g_openManyHook(title, start, filter);
    return QFileDialog::getOpenFileNames(parent, title, start, filter);
}

QString QFileChooser::existingFolder(QWidget* parent, const QString& title, const QString& folder)
{
    const QString start = usableFolder(folder);
    if (g_folderHook)
        return g_folderHook(title, start);
    return QFileDialog::getExistingDirectory(parent, title, start, QFileDialog::ShowDirsOnly);
}

QString QFileChooser::outputFolder(QWidget* parent)
{
    const QString folder = existingFolder(parent, tr("Select folder"),
                                          CSetting::getString("output", "path", CGlobal::getOutputPath()));
    if (folder.isEmpty())
        return QString();
    const QFileInfo info(folder);
    if (!info.isDir() || !info.isWritable()) {
        QMsgBox::showWarning(tr("Brisel cannot write to \"%1\". Please choose another output folder.")
                                 .arg(QDir::toNativeSeparators(folder)),
                             1);
        return QString();
    }
    CSetting::setValue("output", "path", folder);
    return folder;
}

QString QFileChooser::imageFilter()
{
    QStringList patterns;
    for (const QString& suffix : QImageFiles::photoSuffixes())
        patterns << QStringLiteral("*.") + suffix;
    return tr("Images (%1)").arg(patterns.join(QLatin1Char(' ')));
}

bool QFileChooser::isImageFile(const QString& path)
{
    return QImageFiles::photoSuffixes().contains(QFileInfo(path).suffix().toLower());
}

void QFileChooser::setOpenHook(OpenHook hook)
{
    g_openHook = std::move(hook);
}

void QFileChooser::setFolderHook(FolderHook hook)
{
    g_folderHook = std::move(hook);
}

void QFileChooser::setOpenManyHook(OpenManyHook hook)
{
    g_openManyHook = std::move(hook);
}
