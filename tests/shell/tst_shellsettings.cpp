#include "testutils.h"

#include "csetting.h"
#include "qappsettings.h"
#include "uexception.h"

#include <QFile>
#include <QGuiApplication>

class TestShellSettings : public QObject
{
    Q_OBJECT

private slots:
    // The report a user sends keeps the failed check, its place and a non-Latin message.
    void checkMacro()
    {
        const int iRet = 3;
        const int OK = 0;
        int thrownAt = 0;
        try {
            U_CHECK(iRet == 3, QStringLiteral("never"));
            thrownAt = __LINE__ + 1;
            U_CHECK(OK == iRet, QStringLiteral("文件无法读取"));
            QFAIL("a failed check must throw");
        } catch (const UException& e) {
            const QString description = QString::fromStdWString(e.description());
            QVERIFY2(
                description.contains(QStringLiteral("tst_shellsettings.cpp(%1)\r\nexpress: OK == iRet\r\n"
                                                    "message: 文件无法读取\r\n")
                                         .arg(thrownAt)),
                qPrintable(description));
            QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("文件无法读取"));
        }
    }

    // Whatever the store holds, the output format reads as one of the two choices.
    void outputFormat_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<bool>("jpg");

        QTest::newRow("absent") << QVariant() << false;
        QTest::newRow("older version's number") << QVariant(7) << true;
        QTest::newRow("garbage") << QVariant("jpeg please") << false;
    }
    void outputFormat()
    {
        QFETCH(QVariant, stored);
        QFETCH(bool, jpg);
        QFile::remove(CSetting::filePath());
        if (stored.isValid())
            QVERIFY(CSetting::setValue("output", "format", stored));
        QCOMPARE(QAppSettings::outputAsJpg(), jpg);
        QAppSettings::setOutputAsJpg(!jpg);
        QCOMPARE(QAppSettings::outputAsJpg(), !jpg);
    }
};

BRISEL_TEST_GUILESS_MAIN(TestShellSettings)
#include "tst_shellsettings.moc"
