#include "qcustomui.h"

#include <QMutex>

namespace {
QMutex g_mutex;
QString g_aboutImage = QStringLiteral(":/platform/bg.about.png");
} // namespace

void QCustomUI::setAboutImage(const QString& path)
{
    QMutexLocker lock(&g_mutex);
    g_aboutImage = path;
}

QString QCustomUI::aboutImage()
{
    QMutexLocker lock(&g_mutex);
    return g_aboutImage;
}
