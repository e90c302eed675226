#include "qhandover.h"
#include "qsingleinstance.h"

QString QHandOver::socketName(const QString& instance)
{
    // A full path: a name of its own would land in the shared /tmp, where another
    // user's copy could take it.
    return QSingleInstance::runtimeFolder() + '/' + instance + ".socket";
}
