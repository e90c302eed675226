#include "testutils.h"

#include "csetting.h"
#include "qappsettings.h"
#include "qimagesettings.h"
#include "uexception.h"

#include <QFile>
#include <QGuiApplication>

namespace {

enum Constructor
{
    NoMessage,
    WideMessage,
    QStringMessage
};

} // namespace

class TestShellSettings : public QObject
{
    Q_OBJECT

private slots:
    void description_data()
    {
        QTest::addColumn<int>("constructor");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("expected");

        const QString head =
            QStringLiteral("exception\r\nfile: src/qimagetask.cpp(42)\r\nexpress: OK == iRet\r\n");
        QTest::newRow("no message") << int(NoMessage) << QString() << head;
        QTest::newRow("chinese, wide") << int(WideMessage) << QStringLiteral("上传失败，请检查网络")
                                       << head + QStringLiteral("message: 上传失败，请检查网络\r\n");
        QTest::newRow("chinese, QString") << int(QStringMessage) << QStringLiteral("抠图失败")
                                          << head + QStringLiteral("message: 抠图失败\r\n");
    }
    void description()
    {
        QFETCH(int, constructor);
        QFETCH(QString, message);
        QFETCH(QString, expected);

        const char* file = "src/qimagetask.cpp";
        const UException e = constructor == NoMessage ? UException("OK == iRet", file, 42)
                             : constructor == WideMessage
                                 ? UException("OK == iRet", message.toStdWString(), file, 42)
                                 : UException("OK == iRet", message, file, 42);
        QCOMPARE(QString::fromStdWString(e.description()), expected);
        QCOMPARE(QString::fromStdWString(e.message()), message);

        // Thrown by value and caught by reference, it keeps everything.
        try {
            throw e;
        } catch (const std::exception& caught) {
            const auto* same = dynamic_cast<const UException*>(&caught);
            QVERIFY(same);
            QCOMPARE(same->description(), e.description());
        }
    }

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
            QVERIFY2(description.contains(QStringLiteral("tst_shellsettings.cpp(%1)\r\n").arg(thrownAt)),
                     qPrintable(description));
            QVERIFY(description.contains(QStringLiteral("express: OK == iRet\r\n")));
            QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("文件无法读取"));
        }
    }

    // The settings are a thin layer over the store, whose survival across runs is
    // tested with the store itself.
    void defaultsOnFirstStart()
    {
        QFile::remove(CSetting::filePath());
        QCOMPARE(QAppSettings::language(), QStringLiteral("zh"));
        QVERIFY(!QAppSettings::outputAsJpg());
        QCOMPARE(QImageSettings::tolerance(), 4);
    }

    void outputFormat_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<bool>("jpg");

        QTest::newRow("absent") << QVariant() << false;
        QTest::newRow("boolean true") << QVariant(true) << true;
        QTest::newRow("any other number") << QVariant(7) << true;
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

        // Writing back what was read keeps the choice.
        QAppSettings::setOutputAsJpg(!jpg);
        QCOMPARE(QAppSettings::outputAsJpg(), !jpg);
    }
};

BRISEL_TEST_GUILESS_MAIN(TestShellSettings)
#include "tst_shellsettings.moc"
