// The interface language, switched through the main menu while the program runs:
// each page follows at once, both ways, and English shows no Chinese.

#include "acceptance.h"
#include "cwinapp.h"
#include "qmainwidget.h"

#include <QApplication>
#include <QMenu>
#include <QRegularExpression>
#include <QTimer>

using namespace acceptance;

namespace {

// Opens the main menu with the mouse and clicks `code`'s entry in its Language
// submenu; false when the menu or the entry did not show.
bool chooseLanguage(QMainWidget* window, const QString& code)
{
    bool chosen = false;
    QTimer::singleShot(100, [&chosen, code] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        auto* languages = menu ? menu->findChild<QMenu*>("menuLanguage") : nullptr;
        if (languages) {
            QTest::mouseClick(menu, Qt::LeftButton, {},
                              menu->actionGeometry(languages->menuAction()).center());
            auto* entry = languages->findChild<QAction*>("actionLanguage_" + code);
            if (entry && waitFor([languages] { return languages->isVisible(); }, 3000)) {
                QTest::mouseClick(languages, Qt::LeftButton, {}, languages->actionGeometry(entry).center());
                chosen = true;
            }
        }
        if (QApplication::activePopupWidget())
            QApplication::activePopupWidget()->close();
    });
    return click(window, "BtnMenu") && chosen;
}

} // namespace

class TestAcceptLanguage : public QObject
{
    Q_OBJECT

    Service service;

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(service.start(&error), qPrintable(error));
    }

    // Per page: a widget, its text in English and in Chinese.
    void switchesBothWays_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("english");
        QTest::addColumn<QString>("chinese");
        QTest::newRow("home") << "home"
                              << "labelButtonName"
                              << "Remove Person Background"
                              << "人像抠图";
        QTest::newRow("workspace") << "workspace"
                                   << "btnSave"
                                   << "Save"
                                   << "保存";
        QTest::newRow("batch") << "batch"
                               << "btnSaveAll"
                               << "Save all"
                               << "全部保存";
    }
    void switchesBothWays()
    {
        QFETCH(QString, page);
        QFETCH(QString, name);
        QFETCH(QString, english);
        QFETCH(QString, chinese);
        const auto window = openWindow("en");
        if (page == "workspace")
            QVERIFY(openPhoto(window.get(), "EnterPerson", personPhoto("language.jpg")));
        if (page == "batch") {
            pressInDialog("pageAddImage");
            answerFileDialog(personPhoto("batch-language.jpg"));
            pressInDialog("btnCutout");
            QVERIFY(click(window.get(), "BatchPerson") && answersUsed());
            QVERIFY(waitFor([&] { return find(window.get(), name) != nullptr; }));
        }
        for (const QString& code : {"zh", "en"}) {
            QVERIFY(chooseLanguage(window.get(), code));
            const QString expected = code == "en" ? english : chinese;
            QVERIFY(waitFor([&] { return textOf(find(window.get(), name)) == expected; }, 3000));
        }
        static const QRegularExpression cjk(QStringLiteral("[\\x{3000}-\\x{9FFF}\\x{FF00}-\\x{FFEF}]"));
        QCOMPARE(visibleTexts(window.get()).filter(cjk), QStringList());
    }
};

ACCEPTANCE_MAIN(TestAcceptLanguage)
#include "tst_accept_language.moc"
