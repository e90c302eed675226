#include "readtextfile.h"

#include <QFile>

QString readTextFile(const QString& path)
{
    // QFile warns about an empty name; an empty path is just another missing file.
    if (path.isEmpty())
        return QString();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}
