// The interface language, switched through the main menu while the program runs:
// each page follows at once, both ways, and English shows no Chinese.

#include "acceptance.h"
#include "qmainwidget.h"

#include <QRegularExpression>

using namespace acceptance;

class TestAcceptLanguage : public Scenarios
{
    Q_OBJECT

private slots:
    // Per page (the row): a widget, its text in English and in Chinese.
    void switchesBothWays_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("home") << "labelButtonName" << QStringList{"Remove Person Background", "人像抠图"};
        QTest::newRow("workspace") << "btnSave" << QStringList{"Save", "保存"};
        QTest::newRow("batch") << "btnSaveAll" << QStringList{"Save all", "全部保存"};
    }
    void switchesBothWays()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, texts);
        const QString page = QTest::currentDataTag();
        window = openWindow("en");
        if (page == "workspace")
            QVERIFY(openPhoto(window.get(), "EnterPerson", personPhoto("language.jpg")));
        if (page == "batch") {
            pressInDialog("pageAddImage");
            answerFileDialog(personPhoto("batch-language.jpg"));
            pressInDialog("btnCutout");
            QVERIFY(click(window.get(), "BatchPerson") && answersUsed());
            QVERIFY(waitFor([&] { return find(window.get(), name) != nullptr; }));
        }
        for (const QString code : {"zh", "en"}) {
            QVERIFY(pickFromMenu(window.get(), {"menuLanguage", "actionLanguage_" + code}));
            const QString expected = texts.value(code == "en" ? 0 : 1);
            QVERIFY(waitFor([&] { return textOf(find(window.get(), name)) == expected; }, 3000));
        }
        static const QRegularExpression cjk(QStringLiteral("[\\x{3000}-\\x{9FFF}\\x{FF00}-\\x{FFEF}]"));
        QCOMPARE(visibleTexts(window.get()).filter(cjk), QStringList());
    }
};

ACCEPTANCE_MAIN(TestAcceptLanguage)
#include "tst_accept_language.moc"
