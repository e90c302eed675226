// Message boxes, control properties, folders, help pages and the main menu.

#include "cglobal.h"
#include "csetting.h"
#include "logger.h"
#include "qcommonmethod.h"
#include "qmsgbox.h"
#include "quserhelp.h"
#include "qvarnui.h"
#include "testutils.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

#include <atomic>
#include <functional>
#include <thread>

namespace {

// Stands in for the desktop's URL opener: records what the program asks
// QDesktopServices to open instead of launching a browser or file manager.
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    UrlRecorder()
    {
        for (const char* scheme : {"file", "http", "https"})
            QDesktopServices::setUrlHandler(scheme, this, "open");
    }
    ~UrlRecorder() override
    {
        for (const char* scheme : {"file", "http", "https"})
            QDesktopServices::unsetUrlHandler(scheme);
    }
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

using Shown = QList<QPair<int, QString>>; // kind, text

// Runs `action` on the next modal window as soon as it is shown.
void onNextModal(std::function<void(QWidget*)> action)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            action(modal);
        }
    });
    timer->start();
}

QAction* menuAction(QMenu* menu, const QString& name)
{
    return menu->findChild<QAction*>(name);
}

// Triggers one entry of the help menu of a fresh main window.
void triggerMenu(const QString& name)
{
    QWidget window;
    QUserHelp help(&window);
    menuAction(help.initMenu(), name)->trigger();
}

} // namespace

class TestPlatformUi : public QObject
{
    Q_OBJECT

private:
    Shown m_shown;
    int m_answer = 1;

    void recordBoxes(int answer)
    {
        m_shown.clear();
        m_answer = answer;
        QMsgBox::setTestHook([this](QMsgBox::Kind kind, const QString& text) {
            m_shown << qMakePair(int(kind), text);
            return m_answer;
        });
    }

private slots:
    void initTestCase()
    {
        // No desktop session in tests: folders open through QDesktopServices only.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    }
    void cleanup() { QMsgBox::setTestHook(nullptr); }

    void messageBox_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("press"); // button name or "Escape"
        QTest::addColumn<int>("expected");
        QTest::addColumn<QString>("okText");
        QTest::addColumn<bool>("cancelShown");

        QTest::newRow("warning closed") << int(QMsgBox::Warning) << "btnClose" << 0 << "OK" << false;
        QTest::newRow("error escape") << int(QMsgBox::Error) << "Escape" << 0 << "OK" << false;
        QTest::newRow("question yes") << int(QMsgBox::Question) << "btnOk" << 1 << "Yes" << true;
    }
    void messageBox()
    {
        QFETCH(int, kind);
        QFETCH(QString, press);
        QFETCH(int, expected);
        QFETCH(QString, okText);
        QFETCH(bool, cancelShown);

        const QString text = QStringLiteral("最多可以添加 %1 张图片").arg(30);
        QString seenText, seenOk;
        bool seenCancel = false;
        onNextModal([&](QWidget* box) {
            seenText = box->findChild<QLabel*>("labelText")->text();
            seenOk = box->findChild<QPushButton*>("btnOk")->text();
            seenCancel = box->findChild<QPushButton*>("btnCancel")->isVisible();
            if (press == QLatin1String("Escape"))
                QTest::keyClick(box, Qt::Key_Escape);
            else
                box->findChild<QPushButton*>(press)->click();
        });
        const int answer = kind == QMsgBox::Question ? QMsgBox::showQuestion(text)
                           : kind == QMsgBox::Error  ? QMsgBox::showError(text, 1)
                                                     : QMsgBox::showWarning(text, 1);
        QCOMPARE(answer, expected);
        QCOMPARE(seenText, text);
        QCOMPARE(seenOk, okText);
        QCOMPARE(seenCancel, cancelShown);
    }

    void boxFromWorkerThreadShowsOnGuiThread()
    {
        QThread* boxThread = nullptr;
        onNextModal([&](QWidget* box) {
            boxThread = box->thread();
            box->findChild<QPushButton*>("btnOk")->click();
        });
        std::atomic<int> result{-1};
        std::thread worker([&] { result = QMsgBox::showError(QStringLiteral("from a worker"), 1); });
        QTRY_COMPARE_WITH_TIMEOUT(result.load(), 1, 10000);
        worker.join();
        QCOMPARE(boxThread, qApp->thread());
    }

    // A label, like the program's frame buttons: "checked" is a dynamic property
    // there, not QAbstractButton's own, and the new value must restyle it.
    void ctrlPropertyRestyles()
    {
        QWidget window;
        window.setStyleSheet(R"(QLabel { color: black; } QLabel[checked="true"] { color: red; }
                                QLabel[status="hover"] { color: blue; })");
        auto* label = new QLabel("x", &window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const auto colour = [label] { return label->palette().color(QPalette::WindowText); };
        QVarnUI::setCtrlProperty(label, "checked", true);
        QCOMPARE(colour(), QColor(Qt::red));
        QVarnUI::setCtrlProperty(label, "checked", false);
        QVarnUI::setCtrlProperty(label, "status", "hover");
        QCOMPARE(colour(), QColor(Qt::blue));
        QVarnUI::setCtrlProperty(label, "status", "other");
        QCOMPARE(colour(), QColor(Qt::black));
        QVarnUI::setCtrlProperty(nullptr, "status", "hover"); // ignored, no crash
    }

    void openFolder_data()
    {
        QTest::addColumn<QString>("path"); // relative to a test folder
        QTest::addColumn<bool>("selectFile");
        QTest::addColumn<QString>("expected"); // folder opened, relative; "-" when nothing

        QTest::newRow("chinese folder")
            << QStringLiteral("照片 2024") << false << QStringLiteral("照片 2024");
        QTest::newRow("file, select without file manager") << "photos/a.png" << true << "photos";
        QTest::newRow("missing folders") << "photos/x/y/z" << false << "photos";
        QTest::newRow("empty") << "" << false << "-";
    }
    void openFolder()
    {
        QFETCH(QString, path);
        QFETCH(bool, selectFile);
        QFETCH(QString, expected);

        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("照片 2024")));
        QVERIFY(testutils::writeFile(dir.filePath("photos/a.png"), "png"));

        UrlRecorder recorder;
        const bool nothing = expected == QLatin1String("-");
        QCOMPARE(QVarnUI::openFolder(path.isEmpty() ? path : dir.filePath(path), selectFile), !nothing);
        QCOMPARE(recorder.urls,
                 nothing ? QList<QUrl>() : QList<QUrl>{QUrl::fromLocalFile(dir.filePath(expected))});
    }

    void helpPages_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("appId"); // empty: openUrl
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("section");

        QTest::newRow("tutorial, chinese") << "zh" << QString() << "tutorial"
                                           << "help.zh.html"
                                           << "tutorial";
        QTest::newRow("sibling app, english") << "en" << QString("tolvane_win") << "home"
                                              << "help.en.html"
                                              << "tolvane_win-home";
    }
    void helpPages()
    {
        QFETCH(QString, language);
        QFETCH(QString, appId);
        QFETCH(QString, action);
        QFETCH(QString, page);
        QFETCH(QString, section);

        CSetting::setValue("language", "type", language);
        const QString file = CGlobal::getAppDataPath() + "help/" + page;
        QVERIFY(testutils::writeFile(file, "an old page")); // replaced by the shipped one

        UrlRecorder recorder;
        QVERIFY(appId.isEmpty() ? QCommonMethod::openUrl(action, "test")
                                : QCommonMethod::openLink(appId, action, "test"));
        QCOMPARE(recorder.urls.size(), 1);
        QCOMPARE(recorder.urls.first().toLocalFile(), file);
        QCOMPARE(recorder.urls.first().fragment(), section);

        QFile shipped(":/platform/" + page), unpacked(file);
        QVERIFY(shipped.open(QIODevice::ReadOnly) && unpacked.open(QIODevice::ReadOnly));
        const QByteArray content = shipped.readAll();
        QCOMPARE(unpacked.readAll(), content);
        QVERIFY2(content.contains("id=\"" + section.toUtf8() + "\""), qPrintable(section));
    }

    void clearCache_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("removed");
        QTest::newRow("confirmed") << 1 << true;
        QTest::newRow("declined") << 0 << false;
    }
    void clearCache()
    {
        QFETCH(int, answer);
        QFETCH(bool, removed);

        const QString cache = CGlobal::getAppDataPath() + "cache/";
        const QStringList files = {"0123456789abcdef0123456789abcdef.png", QStringLiteral("图.png"),
                                   ".hidden"};
        for (const QString& name : files)
            QVERIFY(testutils::writeFile(cache + name, "cut-out"));
        const QString keptElsewhere = CGlobal::getAppDataPath() + "temp/thumb.png";
        QVERIFY(testutils::writeFile(keptElsewhere, "thumbnail"));

        recordBoxes(answer);
        triggerMenu("actionClearCache");

        QCOMPARE(m_shown.size(), 1);
        QCOMPARE(m_shown.first().first, int(QMsgBox::Question));
        for (const QString& name : files)
            QCOMPARE(QFile::exists(cache + name), !removed);
        QVERIFY(QFile::exists(keptElsewhere));
        QVERIFY(QFileInfo(cache).isDir());
    }

    void openFolders_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("storedOutput"); // setting "output"/"path"; "-" to leave unset
        QTest::addColumn<QString>("expected");

        const QString sandbox = testutils::sandboxPath();
        QTest::newRow("output folder from settings")
            << "actionOutputFolder" << sandbox + QStringLiteral("/输出") << sandbox + QStringLiteral("/输出");
        QTest::newRow("output folder blank setting") << "actionOutputFolder"
                                                     << "  " << CGlobal::getOutputPath();
        QTest::newRow("log folder") << "actionLogFolder"
                                    << "-" << kzl::logger::logFolder();
    }
    void openFolders()
    {
        QFETCH(QString, action);
        QFETCH(QString, storedOutput);
        QFETCH(QString, expected);

        QFile::remove(CSetting::filePath());
        if (storedOutput != QLatin1String("-"))
            CSetting::setValue("output", "path", storedOutput);
        QDir(expected).removeRecursively();

        UrlRecorder recorder;
        triggerMenu(action);
        QVERIFY(QFileInfo(expected).isDir()); // created so there is something to open
        QCOMPARE(recorder.urls, QList<QUrl>{QUrl::fromLocalFile(QDir::cleanPath(expected))});
    }

    void menuOwnership()
    {
        for (const bool windowFirst : {true, false}) {
            auto* window = new QWidget;
            auto* help = new QUserHelp(window);
            QPointer<QMenu> menu = help->initMenu();
            QCOMPARE(help->initMenu(), menu.data()); // built once
            // Either order: the menu goes exactly once (a double delete crashes here).
            QObject* first = windowFirst ? static_cast<QObject*>(window) : help;
            delete first;
            QVERIFY(!menu);
            delete (windowFirst ? static_cast<QObject*>(help) : window);
        }
    }
};

BRISEL_TEST_MAIN(TestPlatformUi)
#include "tst_platform_ui.moc"
