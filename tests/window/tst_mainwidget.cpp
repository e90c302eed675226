// The main window driven as a user drives it: cards clicked, the photo and folder
// pickers answered through their hook, message boxes recorded, against the real
// matting service (flat-background engine) on a free port.

#include "../matting/mattingfixtures.h"
#include "csetting.h"
#include "qcropwidget.h"
#include "qenterbutton.h"
#include "qfilechooser.h"
#include "qloadingctrl.h"
#include "qmainwidget.h"
#include "qmsgbox.h"
#include "qpagecrop.h"
#include "qpagemanager.h"
#include "qsizebutton.h"
#include "qtabbutton.h"
#include "qtaskmanager.h"
#include "testutils.h"

#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTcpServer>
#include <QTimer>
#include <QUrl>

#include <memory>

// Runs a flow and ends the calling test when it failed.
#define RUN_FLOW(kind, photo)                                                                                \
    do {                                                                                                     \
        runFlow(kind, photo);                                                                                \
        if (QTest::currentTestFailed())                                                                      \
            return;                                                                                          \
    } while (false)

namespace {

constexpr int kFlowTimeoutMs = 30000;

// Receives what the window opens in the desktop (folders, help pages).
class UrlSink : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

// Saving asks for the format first: answers the dialog with "OK" once it shows.
// Polls, because when it opens depends on how the key or click that saves is
// delivered; stops after one answer.
void acceptFormatDialog()
{
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer] {
        QWidget* dialog = QApplication::activeModalWidget();
        auto* ok = dialog ? dialog->findChild<QPushButton*>("btnApply") : nullptr;
        if (!ok)
            return;
        timer->stop();
        timer->deleteLater();
        QTest::mouseClick(ok, Qt::LeftButton);
    });
    timer->start();
}

} // namespace

class TestMainWidget : public QObject
{
    Q_OBJECT

    mattingtest::RealService service;
    std::unique_ptr<QMainWidget> window;
    QStringList picks;       // answers of the photo picker, first first
    QStringList pickerCalls; // the folders the photo picker opened in
    QList<QPair<int, QString>> boxes;
    UrlSink urls;

    template <typename T> T* child(const char* name) const
    {
        return window->findChild<T*>(QLatin1String(name));
    }
    int outerPage() const { return child<QStackedWidget>("stackedWidget")->currentIndex(); }
    int homePage() const { return child<QStackedWidget>("stackedWidgetHome")->currentIndex(); }
    // The entry cards, left to right: person, product, ID photo.
    QEnterButton* card(const char* kind) const
    {
        const int at = QStringList{"person", "goods", "card"}.indexOf(QLatin1String(kind));
        return window->findChildren<QEnterButton*>().value(at);
    }

    // A new window, as after a restart: the old one is gone (with its settings
    // written and the work pool stopped) before the new one is built.
    void restart()
    {
        window.reset();
        window = std::make_unique<QMainWidget>();
        window->show();
    }

    // Clicks a card, answers the picker with `photo` and waits for the workspace.
    void runFlow(const char* kind, const QString& photo)
    {
        QVERIFY(!photo.isEmpty());
        picks << photo;
        QTest::mouseClick(card(kind), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(outerPage() == QMainWidget::PageImage || !boxes.isEmpty(), kFlowTimeoutMs);
        QVERIFY2(outerPage() == QMainWidget::PageImage, qPrintable(boxes.value(0).second));
    }

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(service.start(false, &error), qPrintable(error));
        QFileChooser::setOpenHook([this](const QString&, const QString& folder, const QString&) {
            pickerCalls << folder;
            return picks.isEmpty() ? QString() : picks.takeFirst();
        });
        QMsgBox::setTestHook([this](QMsgBox::Kind kind, const QString& text) {
            boxes << qMakePair(int(kind), text);
            return 1;
        });
        QDesktopServices::setUrlHandler("file", &urls, "open");
    }

    void init()
    {
        CSetting::setValue("service", "url", service.url());
        picks.clear();
        pickerCalls.clear();
        boxes.clear();
        urls.opened.clear();
        restart();
    }

    void cleanup()
    {
        window.reset();
        QTaskManager::clear();
    }

    void cleanupTestCase()
    {
        QFileChooser::setOpenHook(nullptr);
        QFileChooser::setFolderHook(nullptr);
        QMsgBox::setTestHook(nullptr);
        QDesktopServices::unsetUrlHandler("file");
    }

    void photoReachesWorkspace_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("more");
        QTest::newRow("portrait") << "person" << int(Person) << true;
        QTest::newRow("product") << "goods" << int(Goods) << false;
        QTest::newRow("ID photo") << "card" << int(Card) << true;
    }

    void photoReachesWorkspace()
    {
        QFETCH(QString, kind);
        QFETCH(int, type);
        QFETCH(bool, more);
        const QString photo = mattingtest::makePhoto(kind + ".jpg", 240, 180);
        QSignalSpy homeSwitches(child<QStackedWidget>("stackedWidgetHome"), &QStackedWidget::currentChanged);
        RUN_FLOW(qPrintable(kind), photo);
        // The progress page showed on the way, and the spinner stopped at the end.
        QCOMPARE(homeSwitches.value(0).value(0).toInt(), int(QMainWidget::HomeProgress));
        QVERIFY(!child<QLoadingCtrl>("loading")->isRunning());
        QCOMPARE(window->currentMattingType(), type);
        QCOMPARE(window->tabs().at(4)->isVisible(), more);
        auto* view = child<QCropWidget>("editView");
        QTRY_VERIFY(view->hasImage());
        const auto task = QTaskManager::getTask(view->taskId());
        QVERIFY(task);
        QCOMPARE(task->type(), type);
        QCOMPARE(task->filePath(), photo);
        // The next picker opens where this photo came from.
        QCOMPARE(CSetting::getString("default", "path"), QFileInfo(photo).absolutePath());
        QVERIFY(boxes.isEmpty());
        // Going home lets go of the task.
        QTest::mouseClick(child<QPushButton>("btnBackHome"), Qt::LeftButton);
        QVERIFY(!QTaskManager::getTask(view->taskId()));
        QTRY_COMPARE(homePage(), int(QMainWidget::HomeEntry));
    }

    void sidePanelFollowsTabsAndNewCutouts()
    {
        RUN_FLOW("person", mattingtest::makePhoto("tabs.png"));
        QPageManager* pages = window->pages();
        auto* originView = child<QWidget>("originView");
        auto* cropTab = child<QTabButton>("BtnTabCrop");
        // A tab opens its page in place of the photo; the same tab again closes it.
        QTest::mouseClick(child<QTabButton>("BtnTabChangeBg"), Qt::LeftButton);
        QTest::mouseClick(child<QTabButton>("BtnTabBeautify"), Qt::LeftButton);
        QCOMPARE(pages->currentPage(), int(QPageManager::Beautify));
        QVERIFY(!originView->isVisible() && !pages->page(QPageManager::ChangeBg)->isVisible());
        QTest::mouseClick(child<QTabButton>("BtnTabBeautify"), Qt::LeftButton);
        QCOMPARE(pages->currentPage(), int(QPageManager::kNoPage));
        QVERIFY(originView->isVisible());

        // A size only previews; committing it closes the page.
        QTest::mouseClick(cropTab, Qt::LeftButton);
        auto* crop = qobject_cast<QPageCrop*>(pages->page(QPageManager::Crop));
        for (QSizeButton* b : crop->findChildren<QSizeButton*>())
            if (b->name() == "1:1")
                QTest::mouseClick(b, Qt::LeftButton);
        QCOMPARE(pages->currentPage(), int(QPageManager::Crop));
        QTest::mouseClick(crop->findChild<QPushButton*>("btnApplyCrop"), Qt::LeftButton);
        QCOMPARE(pages->currentPage(), int(QPageManager::kNoPage));
        QVERIFY(originView->isVisible() && !cropTab->isChecked());
        QCOMPARE(crop->currentCode(), 2);

        // The next cut-out arrives while a page is open: the pages are reset (what a
        // reset restores is the page manager's test), and the photo shows.
        QTest::mouseClick(child<QTabButton>("BtnTabCutout"), Qt::LeftButton);
        picks << mattingtest::makePhoto("second.png");
        QTest::mouseClick(child<QPushButton>("btnUploadAgain"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(outerPage() == QMainWidget::PageImage && originView->isVisible(),
                                 kFlowTimeoutMs);
        QCOMPARE(pages->currentPage(), int(QPageManager::kNoPage));
        for (QTabButton* t : window->tabs())
            QVERIFY(!t->isChecked());
        QCOMPARE(crop->currentCode(), 1);
        QCOMPARE(window->currentMattingType(), int(Person));
    }

    void droppedFileStartsCardFlow()
    {
        QEnterButton* target = card("goods");
        auto dropOn = [&](const QString& path) {
            QMimeData files;
            files.setUrls({QUrl::fromLocalFile(path)});
            const QPoint at = target->rect().center();
            QDragEnterEvent enter(at, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(target, &enter);
            QDropEvent drop(at, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(target, &drop);
        };
        // A document is turned away with a word, and nothing starts.
        const QString notes = testutils::sandboxPath() + "/notes.txt";
        QVERIFY(testutils::writeFile(notes, "shopping list"));
        dropOn(notes);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.first().first, int(QMsgBox::Warning));
        QVERIFY(boxes.first().second.contains("notes.txt"));
        QTest::qWait(3 * QMainWidget::SwitchDelayMs);
        QCOMPARE(homePage(), int(QMainWidget::HomeEntry));
        boxes.clear();

        dropOn(mattingtest::makePhoto("dropped.png", 200, 160));
        QTRY_COMPARE_WITH_TIMEOUT(outerPage(), int(QMainWidget::PageImage), kFlowTimeoutMs);
        QVERIFY(pickerCalls.isEmpty());
        QCOMPARE(window->currentMattingType(), int(Goods));
    }

    // What reaches the box and when a late result is dropped is the session's test;
    // here the window's part: the box, the way home and the spinner.
    void mattingErrorShowsBoxAndGoesHome()
    {
        picks << testutils::sandboxPath() + "/photos/gone.jpg";
        QTest::mouseClick(card("person"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(boxes.size(), 1, kFlowTimeoutMs);
        QCOMPARE(boxes.first(), qMakePair(int(QMsgBox::Error), QString("The file is not exists!")));
        QTRY_COMPARE(homePage(), int(QMainWidget::HomeEntry));
        QCOMPARE(outerPage(), int(QMainWidget::PageHome));
        QVERIFY(!child<QLoadingCtrl>("loading")->isRunning());
    }

    void cancelGoesHome()
    {
        // A service that takes the upload and never answers.
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        CSetting::setValue("service", "url", QString("http://127.0.0.1:%1").arg(silent.serverPort()));
        restart();
        picks << mattingtest::makePhoto("slow.jpg");
        QTest::mouseClick(card("person"), Qt::LeftButton);
        QTRY_VERIFY(silent.hasPendingConnections());
        QCOMPARE(homePage(), int(QMainWidget::HomeProgress));
        QTest::mouseClick(child<QPushButton>("btnCancel"), Qt::LeftButton);
        QTRY_COMPARE(homePage(), int(QMainWidget::HomeEntry));
        QVERIFY(!child<QLoadingCtrl>("loading")->isRunning());
        QVERIFY(boxes.isEmpty());
    }

    // Sizes and a second save in the same second are the editor host's tests; here
    // the window's part: the folder picker (chosen, then cancelled), Ctrl+S and the
    // folder shown afterwards, or the reason it failed.
    void saveIntoFolder_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("writable");
        QTest::newRow("chosen folder") << testutils::sandboxPath() + "/out" << true;
        // A file where the folder should be: it can be neither created nor used.
        QTest::newRow("folder below a file") << testutils::sandboxPath() + "/blocked/sub" << false;
    }

    void saveIntoFolder()
    {
        QFETCH(QString, folder);
        QFETCH(bool, writable);
        QVERIFY(writable ? QDir().mkpath(folder) : testutils::writeFile(QFileInfo(folder).path(), "x"));
        RUN_FLOW("person", mattingtest::makePhoto("portrait.jpg", 300, 200));
        if (writable) {
            for (const QString& answer : {folder, QString()}) {
                QFileChooser::setFolderHook([answer](const QString&, const QString&) { return answer; });
                QTest::mouseClick(child<QPushButton>("btnSelectOutput"), Qt::LeftButton);
            }
            QFileChooser::setFolderHook(nullptr);
            QCOMPARE(CSetting::getString("output", "path"), folder);
        } else { // the picker offers no such folder: it was chosen before it went
            CSetting::setValue("output", "path", folder);
        }
        child<QComboBox>("comboOutputSize")->setCurrentIndex(3); // original size

        acceptFormatDialog();
        QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(urls.opened.size() + boxes.size(), 1, 10000);
        QVERIFY(child<QPushButton>("btnSave")->isEnabled());
        QCOMPARE(outerPage(), int(QMainWidget::PageImage));
        if (!writable) {
            QCOMPARE(boxes.first().first, int(QMsgBox::Error));
            QVERIFY2(boxes.first().second.contains(folder), qPrintable(boxes.first().second));
            return;
        }
        QCOMPARE(urls.opened.first(), QUrl::fromLocalFile(folder));
        const QStringList files = QDir(folder).entryList({"portrait_*.png"}, QDir::Files);
        QCOMPARE(files.size(), 1);
        QVERIFY(QRegularExpression("^portrait_\\d{10}\\.png$").match(files.first()).hasMatch());
        const QImage saved(folder + "/" + files.first());
        QCOMPARE(saved.size(), QSize(300, 200));
        // The flat background is gone, the subject stays.
        QCOMPARE(qAlpha(saved.pixel(2, 2)), 0);
        QVERIFY(qAlpha(saved.pixel(150, 100)) > 200);
    }

    void choicesSurviveRestart()
    {
        const QRect placed(37, 41, window->minimumWidth() + 50, window->minimumHeight() + 20);
        window->setGeometry(placed);
        child<QComboBox>("comboOutputSize")->setCurrentIndex(2);
        restart();
        QCOMPARE(window->geometry(), placed);
        QCOMPARE(child<QComboBox>("comboOutputSize")->currentIndex(), 2);
        QCOMPARE(child<QComboBox>("comboOutputSize")->currentData().toInt(), 2);
    }
};

BRISEL_TEST_MAIN(TestMainWidget)
#include "tst_mainwidget.moc"
