// Helper process for the settings tests: prints one setting as a second run of the
// program reads it.   settingsprobe <group> <key> <default>

#include "csetting.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4)
        return 2;
    QTextStream out(stdout);
    out.setCodec("UTF-8");
    out << CSetting::getString(args[1], args[2], args[3]);
    return 0;
}
