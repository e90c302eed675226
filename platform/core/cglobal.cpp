#include "cglobal.h"

#include "logger.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QStandardPaths>

namespace {

QMutex g_titleMutex;
QString g_appTitle;

QString withSlash(const QString& path)
{
    const QString clean = QDir::fromNativeSeparators(path);
    return clean.endsWith('/') ? clean : clean + '/';
}

QString standardFolder(QStandardPaths::StandardLocation location)
{
    const QString path = QStandardPaths::writableLocation(location);
    return withSlash(path.isEmpty() ? QDir::homePath() : path);
}

} // namespace

void CGlobal::init()
{
    // Detailed logging on request, without a special build.
    if (qEnvironmentVariableIntValue("BRISEL_DEBUG") > 0)
        kzl::logger::m_bDebug = true;
    QDir().mkpath(getAppDataPath());
    BRISEL_LOG(1, QStringLiteral("start %1 build %2 in %3, data in %4")
                      .arg(QStringLiteral(BRISEL_VERSION))
                      .arg(getBuildDate())
                      .arg(getAppPath(), getDataPath()));
}

void CGlobal::release()
{
    BRISEL_LOG(1, QStringLiteral("exit"));
    kzl::logger::flush();
}

void CGlobal::setAppTitle(const QString& title)
{
    QMutexLocker lock(&g_titleMutex);
    g_appTitle = title;
}

QString CGlobal::appTitle()
{
    QMutexLocker lock(&g_titleMutex);
    return g_appTitle.isEmpty() ? QStringLiteral("Brisel") : g_appTitle;
}

QString CGlobal::getAppPath()
{
    // Before a QCoreApplication exists applicationDirPath() only warns and returns
    // an empty text; the working folder is the best guess then.
    const QString dir =
        QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
    return withSlash(dir);
}

QString CGlobal::getDataPath()
{
    const QString found = findDataPath(getAppPath());
    return found.isEmpty() ? getAppPath() : found;
}

QString CGlobal::findDataPath(const QString& appPath)
{
    for (const QString& candidate : {appPath, appPath + QStringLiteral("../share/brisel/")}) {
        if (QFileInfo(candidate + QStringLiteral("language")).isDir())
            return withSlash(QDir::cleanPath(candidate));
    }
    return QString();
}

QString CGlobal::getAppDataPath()
{
    // GenericDataLocation + our own name rather than AppDataLocation, which would
    // change with whatever application name the current program happens to set.
    const QString path = standardFolder(QStandardPaths::GenericDataLocation) + "brisel/";
    QDir().mkpath(path);
    return path;
}

QString CGlobal::getTlsPath()
{
    return getAppDataPath() + QStringLiteral("tls/");
}

QString CGlobal::getDesktopPath()
{
    return standardFolder(QStandardPaths::DesktopLocation);
}

QString CGlobal::getPicturesPath()
{
    return standardFolder(QStandardPaths::PicturesLocation);
}

QString CGlobal::getOutputPath()
{
    return getPicturesPath() + "Brisel/";
}

int CGlobal::getBuildDate()
{
    return BRISEL_BUILD_DATE;
}

bool CGlobal::isCloseWhenDeactivate()
{
    return false;
}
