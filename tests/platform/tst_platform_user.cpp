// The machine code sent to the matting service.

#include "csetting.h"
#include "quser.h"
#include "testutils.h"

#include <QCryptographicHash>
#include <QDir>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

using Interfaces = QList<QPair<QString, QByteArray>>; // name, content of its "address" file

QString md5(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

bool isCode(const QString& code)
{
    static const QRegularExpression pattern(QStringLiteral("^[0-9a-f]{32}$"));
    return pattern.match(code).hasMatch();
}

} // namespace

class TestPlatformUser : public QObject
{
    Q_OBJECT

private slots:
    void codeFromSources_data()
    {
        QTest::addColumn<QByteArray>("machineId"); // null: no file
        QTest::addColumn<Interfaces>("interfaces");
        QTest::addColumn<QString>("expected"); // empty: a random id from the settings

        const QByteArray id = "4c4c4544003a4b1080365ac04f4b4c32";
        const Interfaces eth = {{"lo", "00:00:00:00:00:00"}, {"eth0", "52:54:00:12:34:56"}};
        QTest::newRow("machine id, newline as written by the system") << id + "\n" << eth << md5(id);
        QTest::newRow("empty machine id") << QByteArray("\n") << eth << md5("52:54:00:12:34:56");
        QTest::newRow("first by name, not by listing")
            << QByteArray() << Interfaces{{"wlan0", "aa:bb:cc:dd:ee:ff"}, {"enp3s0", "52:54:00:00:00:01"}}
            << md5("52:54:00:00:00:01");
        QTest::newRow("upper case address")
            << QByteArray() << Interfaces{{"eth0", "52:54:00:AB:CD:EF\n"}} << md5("52:54:00:ab:cd:ef");
        QTest::newRow("zero address skipped")
            << QByteArray() << Interfaces{{"dummy0", "00:00:00:00:00:00"}, {"eth1", "02:00:00:00:00:07"}}
            << md5("02:00:00:00:00:07");
        QTest::newRow("garbage address skipped")
            << QByteArray() << Interfaces{{"a", "not-a-mac"}, {"b", "02:00:00:00:00:09"}}
            << md5("02:00:00:00:00:09");
        QTest::newRow("nothing at all") << QByteArray() << Interfaces() << QString();
    }
    void codeFromSources()
    {
        QFETCH(QByteArray, machineId);
        QFETCH(Interfaces, interfaces);
        QFETCH(QString, expected);

        QTemporaryDir dir;
        const QString idFile = dir.filePath("machine-id");
        if (!machineId.isNull())
            QVERIFY(testutils::writeFile(idFile, machineId));
        const QString net = dir.filePath("net");
        QDir().mkpath(net);
        for (const auto& iface : interfaces)
            QVERIFY(testutils::writeFile(net + "/" + iface.first + "/address", iface.second));
        CSetting::setValue("user", "machine", QString());

        const QString code = QUser::computeMacCode(idFile, net);
        QVERIFY2(isCode(code), qPrintable(code));
        if (!expected.isEmpty()) {
            QCOMPARE(code, expected);
            QVERIFY(CSetting::getString("user", "machine").isEmpty());
            return;
        }
        // A random id, kept: the next run gets the same code, and it is not the id itself.
        const QString stored = CSetting::getString("user", "machine");
        QVERIFY(!stored.isEmpty());
        QCOMPARE(code, md5(stored.toUtf8()));
        QCOMPARE(QUser::computeMacCode(idFile, net), code);
        QVERIFY(code != stored);
        // Without a kept id, another machine would get another code.
        CSetting::setValue("user", "machine", QString());
        QVERIFY(QUser::computeMacCode(idFile, net) != code);
    }
};

BRISEL_TEST_GUILESS_MAIN(TestPlatformUser)
#include "tst_platform_user.moc"
