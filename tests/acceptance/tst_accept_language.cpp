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

QStringList chineseTexts(const QWidget* root)
{
    static const QRegularExpression chinese(QStringLiteral("[\\x{3000}-\\x{9FFF}\\x{FF00}-\\x{FFEF}]"));
    return visibleTexts(root).filter(chinese);
}

} // namespace

class TestAcceptLanguage : public QObject
{
    Q_OBJECT

    Service service;
    std::unique_ptr<QMainWidget> window;

    QString shown(const QString& name) { return textOf(find(window.get(), name)); }

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(service.start(&error), qPrintable(error));
    }
    void init() { window = openWindow("en"); }
    void cleanup() { window.reset(); }

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
        if (page == "workspace") {
            QVERIFY(openPhoto(window.get(), "EnterPerson", personPhoto("language.jpg")));
        } else if (page == "batch") {
            pressInDialog("pageAddImage");
            answerFileDialog(personPhoto("batch-language.jpg"));
            pressInDialog("btnCutout");
            QVERIFY(click(window.get(), "BatchPerson"));
            QVERIFY(answersUsed());
            QVERIFY(waitFor([this] { return find(window.get(), "btnSaveAll") != nullptr; }));
        }
        QCOMPARE(shown(name), english);
        QVERIFY(chooseLanguage(window.get(), "zh"));
        QVERIFY(waitFor([&] { return shown(name) == chinese; }, 3000));
        QVERIFY(chooseLanguage(window.get(), "en"));
        QVERIFY(waitFor([&] { return shown(name) == english; }, 3000));
        QCOMPARE(chineseTexts(window.get()), QStringList());
    }
};

ACCEPTANCE_MAIN(TestAcceptLanguage)
#include "tst_accept_language.moc"
