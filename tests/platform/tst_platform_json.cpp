// The forgiving JSON reader: what the service's replies may throw at it.

#include "json.h"
#include "testutils.h"

#include <QGuiApplication>

class TestPlatformJson : public QObject
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
};

BRISEL_TEST_GUILESS_MAIN(TestPlatformJson)
#include "tst_platform_json.moc"
