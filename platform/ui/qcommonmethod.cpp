#include "qcommonmethod.h"

#include "cglobal.h"
#include "csetting.h"
#include "logger.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QUrl>

namespace {

// The page in the interface language, refreshed when the shipped copy changed
// (a newer program version) so an old unpacked page never lingers.
QString unpackHelpPage()
{
    const bool chinese = CSetting::getString(QStringLiteral("language"), QStringLiteral("type"),
                                             QStringLiteral("zh")) == QLatin1String("zh");
    const QString name = chinese ? QStringLiteral("help.zh.html") : QStringLiteral("help.en.html");
    QFile shipped(QStringLiteral(":/platform/") + name);
    if (!shipped.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray page = shipped.readAll();

    const QString folder = CGlobal::getAppDataPath() + "help/";
    const QString target = folder + name;
    QFile current(target);
    if (current.open(QIODevice::ReadOnly) && current.readAll() == page)
        return target;
    current.close();

    QDir().mkpath(folder);
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly) || out.write(page) != page.size() || !out.commit()) {
        BRISEL_LOG(1, QStringLiteral("could not unpack help page to %1").arg(target));
        return QString();
    }
    return target;
}

bool openSection(const QString& section, const QString& name)
{
    const QString url = QCommonMethod::helpPageUrl(section);
    if (url.isEmpty())
        return false;
    BRISEL_LOG(2, QStringLiteral("open help %1 (%2)").arg(section, name));
    return QDesktopServices::openUrl(QUrl(url));
}

} // namespace

bool QCommonMethod::openUrl(const QString& action, const QString& name)
{
    return openSection(action, name);
}

QString QCommonMethod::helpPageUrl(const QString& section)
{
    const QString page = unpackHelpPage();
    if (page.isEmpty())
        return QString();
    QUrl url = QUrl::fromLocalFile(page);
    url.setFragment(section);
    return url.toString();
}
