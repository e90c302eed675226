// Helper process for the settings tests: reads or writes one setting through
// CSetting, so a test can check what a second run of the program sees.
//   settingsprobe get <group> <key> <default>     prints the value
//   settingsprobe getint <group> <key> <default>  prints the number
//   settingsprobe set <group> <key> <value>       exit code 0 when saved

#include "csetting.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 5)
        return 2;
    QTextStream out(stdout);
    out.setCodec("UTF-8");
    const QString& command = args[1];
    if (command == QLatin1String("get")) {
        out << CSetting::getString(args[2], args[3], args[4]);
        return 0;
    }
    if (command == QLatin1String("getint")) {
        out << CSetting::getInt(args[2], args[3], args[4].toInt());
        return 0;
    }
    if (command == QLatin1String("set"))
        return CSetting::setValue(args[2], args[3], args[4]) ? 0 : 1;
    return 2;
}
