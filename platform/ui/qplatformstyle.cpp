#include "qplatformstyle.h"

#include "logger.h"

#include <QFile>

QString QPlatformStyle::load(const QString& name)
{
    QFile file(QStringLiteral(":/platform/") + name);
    if (!file.open(QIODevice::ReadOnly)) {
        BRISEL_LOG(2, QStringLiteral("style sheet %1 missing").arg(name));
        return QString();
    }
    return QString::fromUtf8(file.readAll());
}
