// What the program reads from outside: the service's replies through the forgiving
// JSON reader and the machine's files behind the code it sends the service. Message
// boxes asked for from any thread, and the menu saying so when the desktop cannot
// open what it asked for.

#include "json.h"
#include "qmsgbox.h"
#include "quser.h"
#include "quserhelp.h"
#include "testutils.h"

#include <QAction>
#include <QApplication>
#include <QCryptographicHash>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <thread>

class TestPlatformApp : public QObject
{
    Q_OBJECT

private slots:
    void parseResult_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<bool>("ok");

        QTest::newRow("object") << QByteArray(R"({"code":200})") << true;
        QTest::newRow("utf-8 bom and spaces") << QByteArray("\xEF\xBB\xBF {\"a\":1} ") << true;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("truncated") << QByteArray(R"({"code":200,"data":{)") << false;
        QTest::newRow("trailing garbage") << QByteArray(R"({"a":1}x)") << false;
    }
    void parseResult()
    {
        QFETCH(QByteArray, document);
        QFETCH(bool, ok);
        Json::Reader reader;
        Json::Value root(QJsonValue(42)); // stale content must not survive a failure
        QCOMPARE(reader.parse(document, root, true), ok);
        QCOMPARE(root.isNull(), !ok);
        QCOMPARE(reader.getFormattedErrorMessages().isEmpty(), ok);
    }

    void reading_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QString>("path"); // keys separated by '.', array indexes as numbers
        QTest::addColumn<int>("asInt");
        QTest::addColumn<QString>("asText");
        QTest::addColumn<bool>("isNull");

        const QByteArray reply =
            R"({"code":200,"message":"任务完成","data":{"status":1,"serial":"ab12","convert_path":"https://x/y.png",)"
            R"("ratio":2.9,"neg":-2.9,"big":1e12,"flag":true,"none":null,"list":[5,"six"],"num_text":"200"}})";
        QTest::newRow("chinese text") << reply << "message" << 0 << QStringLiteral("任务完成") << false;
        QTest::newRow("negative truncates toward zero") << reply << "data.neg" << -2 << "-2.9" << false;
        QTest::newRow("json null") << reply << "data.none" << 0 << "" << true;
        QTest::newRow("number as text is no number") << reply << "data.num_text" << 0 << "200" << false;
        QTest::newRow("array element") << reply << "data.list.0" << 5 << "5" << false;
        QTest::newRow("index out of range") << reply << "data.list.2" << 0 << "" << true;
        QTest::newRow("data is an array")
            << QByteArray(R"({"data":[{"status":3}]})") << "data.status" << 0 << "" << true;
    }
    void reading()
    {
        QFETCH(QByteArray, document);
        QFETCH(QString, path);
        QFETCH(int, asInt);
        QFETCH(QString, asText);
        QFETCH(bool, isNull);
        Json::Value root;
        QVERIFY(Json::Reader().parse(document, root, true));
        Json::Value value = root;
        for (const QString& part : path.split('.')) {
            bool isIndex = false;
            const int index = part.toInt(&isIndex);
            value = isIndex ? value[index] : value[part.toUtf8().constData()];
        }
        QCOMPARE(value.asInt(), asInt);
        QCOMPARE(value.asQString(), asText);
        QCOMPARE(value.isNull(), isNull);
    }

    void codeFromSources_data()
    {
        QTest::addColumn<QByteArray>("machineId");
        QTest::addColumn<QString>("expected");
        const QByteArray id = "4c4c4544003a4b1080365ac04f4b4c32";
        const auto md5 = [](const QByteArray& bytes) {
            return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
        };
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

    void boxFromWorkerThreadShowsOnGuiThread()
    {
        QThread* boxThread = nullptr;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                poll.stop();
                boxThread = box->thread();
                box->findChild<QPushButton*>("btnOk")->click();
            }
        });
        poll.start(10);
        std::atomic<int> result{-1};
        std::thread worker([&] { result = QMsgBox::showError(QStringLiteral("from a worker"), 1); });
        QTRY_COMPARE_WITH_TIMEOUT(result.load(), 1, 10000);
        worker.join();
        QCOMPARE(boxThread, qApp->thread());
    }

    // The offscreen platform opens nothing, as a machine without a desktop.
    void menuSaysWhatCouldNotOpen_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("said");
        QTest::newRow("output folder") << "actionOutputFolder"
                                       << "Pictures/Brisel";
        QTest::newRow("log folder") << "actionLogFolder"
                                    << "logs";
        QTest::newRow("shortcuts") << "actionShortcuts"
                                   << "help page";
    }
    void menuSaysWhatCouldNotOpen()
    {
        QFETCH(QString, action);
        QFETCH(QString, said);
        QStringList warnings;
        QMsgBox::setTestHook([&](QMsgBox::Kind, const QString& text) {
            warnings << text;
            return 1;
        });
        QWidget window;
        QUserHelp help(&window);
        help.initMenu()->findChild<QAction*>(action)->trigger();
        QMsgBox::setTestHook(nullptr);
        QCOMPARE(warnings.size(), 1);
        QVERIFY2(warnings.first().contains(said), qPrintable(warnings.first()));
    }
};

BRISEL_TEST_MAIN(TestPlatformApp)
#include "tst_platform_app.moc"
