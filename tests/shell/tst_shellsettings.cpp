#include "testutils.h"

#include "cglobal.h"
#include "csetting.h"
#include "qappsettings.h"
#include "uexception.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>

namespace {

QMap<QString, QString> readSettingsInFreshProcess(int defaultSize)
{
    QProcess probe;
    probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    probe.start(testutils::binPath(QStringLiteral("shellprobe")),
                {QStringLiteral("settings-read"), QString::number(defaultSize)});
    QMap<QString, QString> values;
    if (!probe.waitForFinished(30000) || probe.exitCode() != 0)
        return values;
    for (const QString& line : QString::fromUtf8(probe.readAllStandardOutput()).split('\n')) {
        const int equals = line.indexOf('=');
        if (equals > 0)
            values.insert(line.left(equals), line.mid(equals + 1));
    }
    return values;
}

bool writeSettingsInFreshProcess(const QStringList& arguments)
{
    QProcess probe;
    probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    probe.start(testutils::binPath(QStringLiteral("shellprobe")), QStringList{"settings-write"} + arguments);
    return probe.waitForFinished(30000) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0;
}

enum Constructor { NoMessage, WideMessage, QStringMessage };

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

        const QString head = QStringLiteral("exception\r\nfile: src/qimagetask.cpp(42)\r\nexpress: OK == iRet\r\n");
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
        const UException e = constructor == NoMessage     ? UException("OK == iRet", file, 42)
                             : constructor == WideMessage ? UException("OK == iRet", message.toStdWString(), file, 42)
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
            QCOMPARE(QString::fromStdWString(e.expression()), QStringLiteral("OK == iRet"));
            QCOMPARE(e.line(), thrownAt);
            QVERIFY(QString::fromStdWString(e.file()).endsWith(QStringLiteral("tst_shellsettings.cpp")));
            QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("文件无法读取"));
        }
    }

    void firstStartDefaults()
    {
        QFile::remove(CSetting::filePath());
        const auto values = readSettingsInFreshProcess(1);
        QCOMPARE(values.value("language"), QStringLiteral("zh"));
        QCOMPARE(values.value("photo"), CGlobal::getDesktopPath());
        QCOMPARE(values.value("template"), CGlobal::getDesktopPath());
        QCOMPARE(values.value("output"), CGlobal::getOutputPath());
        QCOMPARE(values.value("size"), QStringLiteral("1"));
        QCOMPARE(values.value("jpg"), QStringLiteral("0"));
        QCOMPARE(values.value("tolerance"), QStringLiteral("4"));
        QCOMPARE(readSettingsInFreshProcess(0).value("size"), QStringLiteral("0"));
    }

    void persistAcrossRestart()
    {
        QFile::remove(CSetting::filePath());
        const QString root = testutils::sandboxPath();
        const QString photos = root + QStringLiteral("/照片 2026");
        const QString templates = root + QStringLiteral("/backgrounds, mixed");
        const QString output = root + QStringLiteral("/out/结果");
        QVERIFY(QDir().mkpath(photos));
        QVERIFY(QDir().mkpath(templates));

        QVERIFY(writeSettingsInFreshProcess({photos, templates, output, "3", "1"}));
        const auto values = readSettingsInFreshProcess(1);
        QCOMPARE(values.value("photo"), photos);
        QCOMPARE(values.value("template"), templates);
        QCOMPARE(values.value("output"), output); // kept though not created yet
        QCOMPARE(values.value("size"), QStringLiteral("3"));
        QCOMPARE(values.value("jpg"), QStringLiteral("1"));
        // Editing parameters are not persisted: the slider was never moved there.
        QCOMPARE(values.value("tolerance"), QStringLiteral("4"));
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

    void vanishedFolderGivesDefault()
    {
        const QString gone = testutils::sandboxPath() + QStringLiteral("/was here");
        QVERIFY(QDir().mkpath(gone));
        QAppSettings::setPhotoFolder(gone);
        QAppSettings::setTemplateFolder(gone);
        QCOMPARE(QAppSettings::photoFolder(), gone);
        QVERIFY(QDir(gone).removeRecursively());
        QCOMPARE(QAppSettings::photoFolder(), CGlobal::getDesktopPath());
        QCOMPARE(QAppSettings::templateFolder(), CGlobal::getDesktopPath());
    }
};

BRISEL_TEST_GUILESS_MAIN(TestShellSettings)
#include "tst_shellsettings.moc"
