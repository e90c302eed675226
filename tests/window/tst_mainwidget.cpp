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
#include "qtabbutton.h"
#include "qtaskmanager.h"
#include "testutils.h"

#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QLayout>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTcpServer>
#include <QTcpSocket>
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
} // namespace

class TestMainWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void cancelledPickerChangesNothing();
    void photoReachesWorkspace_data();
    void photoReachesWorkspace();
    void uploadAgainKeepsType();
    void droppedPhotoStartsCardFlow();
    void matingErrorShowsBoxAndGoesHome_data();
    void matingErrorShowsBoxAndGoesHome();
    void cancelIgnoresLateResult();
    void backHomeClearsRegistry();
    void moreOpensTutorialOnly();
    void saveWritesCutoutAtOutputSize_data();
    void saveWritesCutoutAtOutputSize();
    void saveIntoUnwritableFolderSaysWhy();
    void outputSizeSurvivesRestart_data();
    void outputSizeSurvivesRestart();
    void cancelledFolderPickerChangesNothing();
    void maximiseRestoresMargins();
    void frameCastsShadow();
    void edgeCursors_data();
    void edgeCursors();
    void edgeDragResizes();
    void geometrySurvivesRestart();

private:
    void restart();
    template <typename T> T* child(const char* name) const
    {
        T* found = window->findChild<T*>(QLatin1String(name));
        if (!found)
            qWarning("no child %s", name);
        return found;
    }
    int outerPage() const { return child<QStackedWidget>("stackedWidget")->currentIndex(); }
    int homePage() const { return child<QStackedWidget>("stackedWidgetHome")->currentIndex(); }
    // The entry cards, left to right: person, product, ID photo.
    QEnterButton* card(const char* kind) const
    {
        const QList<QEnterButton*> cards = window->findChildren<QEnterButton*>();
        const int at = QStringList{"person", "goods", "card"}.indexOf(QLatin1String(kind));
        return cards.size() == 3 && at >= 0 ? cards.at(at) : nullptr;
    }
    // Clicks a card, answers the picker with `photo` and waits for the workspace.
    void runFlow(const char* kind, const QString& photo);
    // Saving asks for the format first: the dialog is answered with "OK" once shown.
    static void acceptFormatDialog();

    mattingtest::RealService service;
    std::unique_ptr<QMainWidget> window;
    QStringList picks;       // answers of the photo picker, first first
    QStringList pickerCalls; // the folders the photo picker opened in
    QList<QPair<int, QString>> boxes;
    UrlSink urls;
};

void TestMainWidget::initTestCase()
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

void TestMainWidget::init()
{
    CSetting::setValue("service", "url", service.url());
    picks.clear();
    pickerCalls.clear();
    boxes.clear();
    urls.opened.clear();
    restart();
}

void TestMainWidget::cleanup()
{
    window.reset();
    QTaskManager::clear();
}

void TestMainWidget::cleanupTestCase()
{
    QFileChooser::setOpenHook(nullptr);
    QFileChooser::setFolderHook(nullptr);
    QMsgBox::setTestHook(nullptr);
    QDesktopServices::unsetUrlHandler("file");
}

// A new window, as after a restart: the old one is gone (with its settings written
// and the work pool stopped) before the new one is built.
void TestMainWidget::restart()
{
    window.reset();
    window = std::make_unique<QMainWidget>();
    window->show();
}

void TestMainWidget::runFlow(const char* kind, const QString& photo)
{
    QVERIFY(!photo.isEmpty());
    picks << photo;
    QTest::mouseClick(card(kind), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(outerPage() == QMainWidget::PageImage || !boxes.isEmpty(), kFlowTimeoutMs);
    QVERIFY2(outerPage() == QMainWidget::PageImage,
             qPrintable(boxes.isEmpty() ? QString() : boxes.first().second));
}

void TestMainWidget::acceptFormatDialog()
{
    // Polls, because when the dialog opens depends on how the key or click that
    // saves is delivered; stops after one answer.
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

void TestMainWidget::cancelledPickerChangesNothing()
{
    const QString before = CSetting::getString("default", "path", "unset");
    QTest::mouseClick(card("person"), Qt::LeftButton);
    QCOMPARE(pickerCalls.size(), 1);
    QTest::qWait(3 * QMainWidget::SwitchDelayMs);
    QCOMPARE(outerPage(), int(QMainWidget::PageHome));
    QCOMPARE(homePage(), int(QMainWidget::HomeEntry));
    QVERIFY(!child<QLoadingCtrl>("loading")->isRunning());
    QCOMPARE(CSetting::getString("default", "path", "unset"), before);
    QVERIFY(boxes.isEmpty());
}

void TestMainWidget::photoReachesWorkspace_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("more");
    QTest::newRow("portrait") << "person" << int(Person) << true;
    QTest::newRow("product") << "goods" << int(Goods) << false;
    QTest::newRow("ID photo") << "card" << int(Card) << true;
}

void TestMainWidget::photoReachesWorkspace()
{
    QFETCH(QString, kind);
    QFETCH(int, type);
    QFETCH(bool, more);
    const QString photo = mattingtest::makePhoto(kind + ".jpg", 240, 180);
    QVERIFY(!photo.isEmpty());
    QSignalSpy homeSwitches(child<QStackedWidget>("stackedWidgetHome"), &QStackedWidget::currentChanged);

    RUN_FLOW(qPrintable(kind), photo);
    // The progress page showed on the way, and the spinner stopped at the end.
    QVERIFY(!homeSwitches.isEmpty());
    QCOMPARE(homeSwitches.first().first().toInt(), int(QMainWidget::HomeProgress));
    QVERIFY(!child<QLoadingCtrl>("loading")->isRunning());

    QCOMPARE(window->currentMattingType(), type);
    QTabButton* moreTab = window->tabs().at(4);
    QCOMPARE(moreTab->objectName(), QString("BtnTabMore"));
    QCOMPARE(moreTab->isVisible(), more);
    for (QTabButton* tab : window->tabs())
        QVERIFY(!tab->isChecked());

    auto* view = child<QCropWidget>("editView");
    QTRY_VERIFY(view->hasImage());
    const auto task = QTaskManager::getTask(view->taskId());
    QVERIFY(task);
    QCOMPARE(task->type(), type);
    QCOMPARE(task->filePath(), photo);
    QVERIFY(child<QWidget>("originView")->isVisible());
    QVERIFY(child<QWidget>("frameImageHeader")->isVisible());
    // The next picker opens where this photo came from.
    QCOMPARE(CSetting::getString("default", "path"), QFileInfo(photo).absolutePath());
    QVERIFY(boxes.isEmpty());
}

void TestMainWidget::uploadAgainKeepsType()
{
    RUN_FLOW("goods", mattingtest::makePhoto("shoe.png", 200, 200));
    const QString second = mattingtest::makePhoto("bag.jpg", 180, 240);
    picks << second;
    QTest::mouseClick(child<QPushButton>("btnUploadAgain"), Qt::LeftButton);
    QTRY_COMPARE(outerPage(), int(QMainWidget::PageHome));
    QCOMPARE(homePage(), int(QMainWidget::HomeProgress));
    QTRY_COMPARE_WITH_TIMEOUT(outerPage(), int(QMainWidget::PageImage), kFlowTimeoutMs);
    auto* view = child<QCropWidget>("editView");
    const auto task = QTaskManager::getTask(view->taskId());
    QVERIFY(task);
    QCOMPARE(task->filePath(), second);
    QCOMPARE(task->type(), int(Goods));
    QVERIFY(!window->tabs().at(4)->isVisible());
}

void TestMainWidget::droppedPhotoStartsCardFlow()
{
    const QString photo = mattingtest::makePhoto("dropped.png", 200, 160);
    QEnterButton* target = card("goods");
    const QPoint at = target->rect().center();
    auto dropOn = [&](const QString& path) {
        QMimeData files;
        files.setUrls({QUrl::fromLocalFile(path)});
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

    dropOn(photo);

    QTRY_COMPARE_WITH_TIMEOUT(outerPage(), int(QMainWidget::PageImage), kFlowTimeoutMs);
    QVERIFY(pickerCalls.isEmpty());
    QCOMPARE(window->currentMattingType(), int(Goods));
    QVERIFY(!window->tabs().at(4)->isVisible());
}

void TestMainWidget::matingErrorShowsBoxAndGoesHome_data()
{
    QTest::addColumn<QString>("photo");
    QTest::addColumn<QString>("message");
    const QString corrupt = testutils::sandboxPath() + "/photos/corrupt.png";
    QVERIFY(testutils::writeFile(corrupt, QByteArray("\x89PNG\r\n\x1a\nthis is not a picture", 28)));
    QTest::newRow("photo gone") << testutils::sandboxPath() + "/photos/gone.jpg"
                                << "The file is not exists!";
    // The service's own reply, passed on unchanged; its wording is the service's.
    QTest::newRow("not a picture") << corrupt << QString();
}

void TestMainWidget::matingErrorShowsBoxAndGoesHome()
{
    QFETCH(QString, photo);
    QFETCH(QString, message);
    picks << photo;
    QTest::mouseClick(card("person"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(boxes.size(), 1, kFlowTimeoutMs);
    QCOMPARE(boxes.first().first, int(QMsgBox::Error));
    if (message.isEmpty())
        QVERIFY2(boxes.first().second.size() > 10, qPrintable(boxes.first().second));
    else
        QCOMPARE(boxes.first().second, message);
    QTRY_COMPARE(homePage(), int(QMainWidget::HomeEntry));
    QCOMPARE(outerPage(), int(QMainWidget::PageHome));
    QVERIFY(!child<QLoadingCtrl>("loading")->isRunning());
}

void TestMainWidget::cancelIgnoresLateResult()
{
    // A service that takes the upload and never answers, until it is closed.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    QList<QTcpSocket*> held;
    connect(&silent, &QTcpServer::newConnection, [&] {
        while (silent.hasPendingConnections())
            held << silent.nextPendingConnection();
    });
    CSetting::setValue("service", "url", QString("http://127.0.0.1:%1").arg(silent.serverPort()));
    restart();

    picks << mattingtest::makePhoto("slow.jpg");
    QTest::mouseClick(card("person"), Qt::LeftButton);
    QTRY_COMPARE(homePage(), int(QMainWidget::HomeProgress));
    QTRY_VERIFY(!held.isEmpty());
    QTest::mouseClick(child<QPushButton>("btnCancel"), Qt::LeftButton);
    QTRY_COMPARE(homePage(), int(QMainWidget::HomeEntry));
    QVERIFY(!child<QLoadingCtrl>("loading")->isRunning());

    // Now the task fails; nobody must hear of it.
    for (QTcpSocket* socket : held)
        socket->abort();
    silent.close();
    QTest::qWait(1000);
    QVERIFY2(boxes.isEmpty(), qPrintable(boxes.isEmpty() ? QString() : boxes.first().second));
    QCOMPARE(outerPage(), int(QMainWidget::PageHome));
    QCOMPARE(homePage(), int(QMainWidget::HomeEntry));
    qDeleteAll(held);
}

void TestMainWidget::backHomeClearsRegistry()
{
    RUN_FLOW("person", mattingtest::makePhoto("back.jpg"));
    const QString id = child<QCropWidget>("editView")->taskId();
    QVERIFY(QTaskManager::getTask(id));
    QTest::mouseClick(child<QPushButton>("btnBackHome"), Qt::LeftButton);
    QVERIFY(!QTaskManager::getTask(id));
    QTRY_COMPARE(outerPage(), int(QMainWidget::PageHome));
    QCOMPARE(homePage(), int(QMainWidget::HomeEntry));
}

void TestMainWidget::moreOpensTutorialOnly()
{
    RUN_FLOW("person", mattingtest::makePhoto("more.jpg"));
    QTabButton* more = window->tabs().at(4);
    QTest::mouseClick(more, Qt::LeftButton);
    QTest::qWait(3 * QMainWidget::SwitchDelayMs);
    QCOMPARE(urls.opened.size(), 1);
    QCOMPARE(outerPage(), int(QMainWidget::PageImage));
    QVERIFY(child<QWidget>("originView")->isVisible());
    QVERIFY(!more->isChecked());
}

void TestMainWidget::saveWritesCutoutAtOutputSize_data()
{
    QTest::addColumn<int>("sizeIndex");
    QTest::addColumn<QSize>("expected");
    // A 300 x 200 photo.
    QTest::newRow("1080P by height") << 0 << QSize(1620, 1080);
    QTest::newRow("2K by width") << 1 << QSize(2000, 1333);
    QTest::newRow("original") << 3 << QSize(300, 200);
}

void TestMainWidget::saveWritesCutoutAtOutputSize()
{
    QFETCH(int, sizeIndex);
    QFETCH(QSize, expected);
    const QString out = testutils::sandboxPath() + QString("/out%1").arg(sizeIndex);
    QDir().mkpath(out);
    QFileChooser::setFolderHook([out](const QString&, const QString&) { return out; });
    RUN_FLOW("person", mattingtest::makePhoto("portrait.jpg", 300, 200));
    QTest::mouseClick(child<QPushButton>("btnSelectOutput"), Qt::LeftButton);
    QFileChooser::setFolderHook(nullptr);
    QCOMPARE(CSetting::getString("output", "path"), out);
    child<QComboBox>("comboOutputSize")->setCurrentIndex(sizeIndex);

    acceptFormatDialog();
    QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier);
    QTRY_COMPARE_WITH_TIMEOUT(urls.opened.size(), 1, 10000);
    const QStringList files = QDir(out).entryList({"portrait_*.png"}, QDir::Files);
    QCOMPARE(files.size(), 1);
    QVERIFY(QRegularExpression("^portrait_\\d{10}\\.png$").match(files.first()).hasMatch());
    QImage saved(out + "/" + files.first());
    QCOMPARE(saved.size(), expected);
    QVERIFY(saved.hasAlphaChannel());
    // The flat background is gone, the subject stays.
    QCOMPARE(qAlpha(saved.pixel(2, 2)), 0);
    QVERIFY(qAlpha(saved.pixel(expected.width() / 2, expected.height() / 2)) > 200);
    QVERIFY(child<QPushButton>("btnSave")->isEnabled());
    QVERIFY(boxes.isEmpty());

    // A second save in the same second never replaces the first file. The window
    // manager would hand the focus back after the dialog; offscreen the test does.
    QApplication::setActiveWindow(window.get());
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    acceptFormatDialog();
    QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier);
    QTRY_COMPARE_WITH_TIMEOUT(urls.opened.size(), 2, 10000);
    QCOMPARE(QDir(out).entryList({"portrait_*.png"}, QDir::Files).size(), 2);
}

void TestMainWidget::saveIntoUnwritableFolderSaysWhy()
{
    RUN_FLOW("goods", mattingtest::makePhoto("item.png", 120, 120));
    // A file where the output folder should be: it can be neither created nor used.
    const QString blocker = testutils::sandboxPath() + "/blocked";
    QVERIFY(testutils::writeFile(blocker, "x"));
    CSetting::setValue("output", "path", blocker + "/sub");
    acceptFormatDialog();
    QTest::mouseClick(child<QPushButton>("btnSave"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(boxes.size(), 1, 10000);
    QCOMPARE(boxes.first().first, int(QMsgBox::Error));
    QVERIFY2(boxes.first().second.contains(blocker + "/sub"), qPrintable(boxes.first().second));
    QVERIFY(child<QPushButton>("btnSave")->isEnabled());
    QCOMPARE(outerPage(), int(QMainWidget::PageImage));
}

void TestMainWidget::outputSizeSurvivesRestart_data()
{
    QTest::addColumn<int>("index");
    QTest::newRow("1080P") << 0;
    QTest::newRow("4K") << 2;
    QTest::newRow("original") << 3;
}

void TestMainWidget::outputSizeSurvivesRestart()
{
    QFETCH(int, index);
    child<QComboBox>("comboOutputSize")->setCurrentIndex(index);
    restart();
    QCOMPARE(child<QComboBox>("comboOutputSize")->currentIndex(), index);
    QCOMPARE(child<QComboBox>("comboOutputSize")->currentData().toInt(), index);
}

void TestMainWidget::cancelledFolderPickerChangesNothing()
{
    CSetting::setValue("output", "path", testutils::sandboxPath() + "/keep");
    restart();
    const QString shown = child<QLineEdit>("lineEditOutput")->text();
    QFileChooser::setFolderHook([](const QString&, const QString&) { return QString(); });
    QTest::mouseClick(child<QPushButton>("btnSelectOutput"), Qt::LeftButton);
    QFileChooser::setFolderHook(nullptr);
    QCOMPARE(child<QLineEdit>("lineEditOutput")->text(), shown);
    QCOMPARE(CSetting::getString("output", "path"), testutils::sandboxPath() + "/keep");
}

void TestMainWidget::maximiseRestoresMargins()
{
    QLayout* layout = window->layout();
    const QMargins normal(QMainWidget::FrameMargin, QMainWidget::FrameMargin, QMainWidget::FrameMargin,
                          QMainWidget::FrameMargin);
    QCOMPARE(layout->contentsMargins(), normal);
    QTest::mouseClick(child<QPushButton>("btnMax"), Qt::LeftButton);
    QTRY_VERIFY(window->isMaximized());
    QCOMPARE(layout->contentsMargins(), QMargins());
    QTest::mouseClick(child<QPushButton>("btnMax"), Qt::LeftButton);
    QTRY_VERIFY(!window->isMaximized());
    QCOMPARE(layout->contentsMargins(), normal);
}

void TestMainWidget::frameCastsShadow()
{
    const QImage image = window->grab().toImage();
    const int mid = image.height() / 2;
    // Outside the frame the shadow fades outwards; the frame itself is opaque.
    const int outer = qAlpha(image.pixel(0, mid));
    const int inner = qAlpha(image.pixel(QMainWidget::FrameMargin - 1, mid));
    QVERIFY2(outer > 0 && outer < inner && inner < 255, qPrintable(QString("%1 %2").arg(outer).arg(inner)));
    QCOMPARE(qAlpha(image.pixel(QMainWidget::FrameMargin + 1, mid)), 255);
    QCOMPARE(qAlpha(image.pixel(image.width() - 1, mid)), outer);
}

void TestMainWidget::edgeCursors_data()
{
    QTest::addColumn<QPoint>("fraction"); // x, y in per cent of the window's size
    QTest::addColumn<QPoint>("offset");   // then moved by these pixels
    QTest::addColumn<int>("shape");
    QTest::newRow("top-left") << QPoint(0, 0) << QPoint(1, 1) << int(Qt::SizeFDiagCursor);
    QTest::newRow("bottom-right") << QPoint(100, 100) << QPoint(-2, -1) << int(Qt::SizeFDiagCursor);
    QTest::newRow("top-right") << QPoint(100, 0) << QPoint(-1, 0) << int(Qt::SizeBDiagCursor);
    QTest::newRow("bottom-left") << QPoint(0, 100) << QPoint(0, -1) << int(Qt::SizeBDiagCursor);
    QTest::newRow("left") << QPoint(0, 50) << QPoint(2, 0) << int(Qt::SizeHorCursor);
    QTest::newRow("right") << QPoint(100, 50) << QPoint(-1, 0) << int(Qt::SizeHorCursor);
    QTest::newRow("top") << QPoint(50, 0) << QPoint(0, 0) << int(Qt::SizeVerCursor);
    QTest::newRow("bottom") << QPoint(50, 100) << QPoint(0, -2) << int(Qt::SizeVerCursor);
    QTest::newRow("inside") << QPoint(50, 50) << QPoint(0, 0) << int(Qt::ArrowCursor);
    QTest::newRow("just inside the edge") << QPoint(0, 50) << QPoint(3, 0) << int(Qt::ArrowCursor);
}

void TestMainWidget::edgeCursors()
{
    QFETCH(QPoint, fraction);
    QFETCH(QPoint, offset);
    QFETCH(int, shape);
    // Start from an edge, so that leaving it must put the arrow back.
    const QPoint edge(0, window->height() / 2);
    QMouseEvent first(QEvent::MouseMove, edge, window->mapToGlobal(edge), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
    QApplication::sendEvent(window.get(), &first);
    QCOMPARE(int(window->cursor().shape()), int(Qt::SizeHorCursor));

    const QPoint at(qMin(fraction.x() * window->width() / 100, window->width() - 1) + offset.x(),
                    qMin(fraction.y() * window->height() / 100, window->height() - 1) + offset.y());
    QMouseEvent move(QEvent::MouseMove, at, window->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(window.get(), &move);
    QCOMPARE(int(window->cursor().shape()), shape);
}

void TestMainWidget::edgeDragResizes()
{
    const QRect start = window->geometry();
    auto send = [this](QEvent::Type type, const QPoint& local, Qt::MouseButtons buttons) {
        QMouseEvent e(type, local, window->mapToGlobal(local), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &e);
    };
    // Grab the left edge and pull it 40 pixels outwards: the right edge stays.
    const QPoint grip(1, window->height() / 2);
    send(QEvent::MouseButtonPress, grip, Qt::LeftButton);
    send(QEvent::MouseMove, grip - QPoint(40, 0), Qt::LeftButton);
    send(QEvent::MouseButtonRelease, grip - QPoint(40, 0), Qt::NoButton);
    QCOMPARE(window->geometry(), start.adjusted(-40, 0, 0, 0));
    // Pushing it far inwards stops at the minimum width.
    const QPoint again(1, window->height() / 2);
    send(QEvent::MouseButtonPress, again, Qt::LeftButton);
    send(QEvent::MouseMove, again + QPoint(5000, 0), Qt::LeftButton);
    send(QEvent::MouseButtonRelease, again + QPoint(5000, 0), Qt::NoButton);
    QCOMPARE(window->width(), window->minimumWidth());
    QCOMPARE(window->geometry().right(), start.right());
}

void TestMainWidget::geometrySurvivesRestart()
{
    const QRect placed(37, 41, window->minimumWidth() + 50, window->minimumHeight() + 20);
    window->setGeometry(placed);
    restart();
    QCOMPARE(window->geometry(), placed);
}

BRISEL_TEST_MAIN(TestMainWidget)
#include "tst_mainwidget.moc"
