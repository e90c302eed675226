// The machine code sent to the matting service.

#include "quser.h"
#include "testutils.h"

#include <QCryptographicHash>
#include <QGuiApplication>
#include <QTemporaryDir>

namespace {

QString md5(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

} // namespace

class TestPlatformUser : public QObject
{
    Q_OBJECT

private slots:
    void codeFromSources_data()
    {
        QTest::addColumn<QByteArray>("machineId");
        QTest::addColumn<QString>("expected");
        const QByteArray id = "4c4c4544003a4b1080365ac04f4b4c32";
        QTest::newRow("machine id, newline as written by the system") << id + "\n" << md5(id);
        QTest::newRow("empty machine id: first non-zero address")
            << QByteArray("\n") << md5("52:54:00:12:34:56");
    }
    void codeFromSources()
    {
        QFETCH(QByteArray, machineId);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        QVERIFY(testutils::writeFile(dir.filePath("machine-id"), machineId));
        QVERIFY(testutils::writeFile(dir.filePath("net/lo/address"), "00:00:00:00:00:00"));
        QVERIFY(testutils::writeFile(dir.filePath("net/eth0/address"), "52:54:00:12:34:56"));
        QCOMPARE(QUser::computeMacCode(dir.filePath("machine-id"), dir.filePath("net")), expected);
    }
};

BRISEL_TEST_GUILESS_MAIN(TestPlatformUser)
#include "tst_platform_user.moc"
