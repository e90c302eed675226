// The main window driven as a user drives it, against the real matting service:
// pickers answered through their hooks, message boxes recorded.

#include "../matting/mattingfixtures.h"
#include "csetting.h"
#include "qbatchmattingdialog.h"
#include "qbatchmattingwidget.h"
#include "qenterbutton.h"
#include "qfilechooser.h"
#include "qmainwidget.h"
#include "qmsgbox.h"
#include "qtaskmanager.h"
#include "testutils.h"

#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

class TestMainWidget : public QObject
{
    Q_OBJECT

    mattingtest::RealService service;
    std::unique_ptr<QMainWidget> window;
    QList<QPair<int, QString>> boxes;
    QList<QUrl> opened; // what the window showed in the desktop

    QStackedWidget* pages(const char* name) const { return window->findChild<QStackedWidget*>(name); }
    // Clicks the person card with `photo` as the picker's answer.
    void pick(const QString& photo)
    {
        QFileChooser::setOpenHook([photo](const QString&, const QString&, const QString&) { return photo; });
        QTest::mouseClick(window->findChildren<QEnterButton*>().first(), Qt::LeftButton);
    }
    // Presses `button` of the next modal dialog once it is shown and enabled.
    static void answerModal(const char* button)
    {
        auto* poll = new QTimer;
        QObject::connect(poll, &QTimer::timeout, [poll, button] {
            QWidget* dialog = QApplication::activeModalWidget();
            auto* b = dialog ? dialog->findChild<QPushButton*>(button) : nullptr;
            if (!b || !b->isEnabled())
                return;
            poll->stop();
            poll->deleteLater();
            QTest::mouseClick(b, Qt::LeftButton);
        });
        poll->start(20);
    }

public slots:
    void open(const QUrl& url) { opened << url; }

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(service.start(false, &error), qPrintable(error));
        QMsgBox::setTestHook([this](QMsgBox::Kind kind, const QString& text) {
            boxes << qMakePair(int(kind), text);
            return 1;
        });
        QDesktopServices::setUrlHandler("file", this, "open");
    }

    void init()
    {
        CSetting::setValue("service", "url", service.url());
        boxes.clear();
        window = std::make_unique<QMainWidget>();
        window->show();
    }

    void cleanup()
    {
        window.reset();
        QTaskManager::clear();
    }

    void cleanupTestCase()
    {
        QFileChooser::setOpenHook(nullptr);
        QFileChooser::setOpenManyHook(nullptr);
        QMsgBox::setTestHook(nullptr);
        QDesktopServices::unsetUrlHandler("file");
    }

    void photoIsCutAndSaved()
    {
        const QString out = testutils::sandboxPath() + "/out";
        QVERIFY(QDir().mkpath(out));
        CSetting::setValue("output", "path", out);
        QSignalSpy homeSwitches(pages("stackedWidgetHome"), &QStackedWidget::currentChanged);
        pick(mattingtest::makePhoto("portrait.jpg", 300, 200));
        QTRY_COMPARE_WITH_TIMEOUT(pages("stackedWidget")->currentIndex(), int(QMainWidget::PageImage), 30000);
        QCOMPARE(homeSwitches.value(0).value(0).toInt(), int(QMainWidget::HomeProgress));
        window->findChild<QComboBox*>("comboOutputSize")->setCurrentIndex(3); // the photo's own size
        answerModal("btnApply");
        QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier);
        auto* openFolder = window->findChild<QPushButton*>("btnOpenFolder");
        QTRY_VERIFY_WITH_TIMEOUT(openFolder->isVisible() || !boxes.isEmpty(), 10000);
        QVERIFY(boxes.isEmpty());
        QTest::mouseClick(openFolder, Qt::LeftButton);
        QCOMPARE(opened.value(0), QUrl::fromLocalFile(out));
        const QStringList files = QDir(out).entryList({"portrait_*.png"}, QDir::Files);
        QCOMPARE(files.size(), 1);
        const QImage saved(out + "/" + files.first());
        QCOMPARE(saved.size(), QSize(300, 200));
        QCOMPARE(qAlpha(saved.pixel(2, 2)), 0); // the flat background is gone
        QVERIFY(qAlpha(saved.pixel(150, 100)) > 200);
    }

    // A stored output size outside the list (a hand-edited or older settings file)
    // falls back to the default instead of selecting nothing.
    void storedOutputSize_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("shown");
        QTest::newRow("last entry") << 3 << 3;
        QTest::newRow("one past the list") << 4 << 1;
        QTest::newRow("negative") << -1 << 1;
    }
    void storedOutputSize()
    {
        QFETCH(int, stored);
        QFETCH(int, shown);
        CSetting::setValue("output", "size", stored);
        QMainWidget fresh;
        QCOMPARE(fresh.findChild<QComboBox*>("comboOutputSize")->currentIndex(), shown);
    }

    // The service takes the upload and never answers; after the cancel its
    // connection drops, and that late failure must not reach the user.
    void cancelGoesHomeAndDropsTheLateResult()
    {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        CSetting::setValue("service", "url", QString("http://127.0.0.1:%1").arg(silent.serverPort()));
        pick(mattingtest::makePhoto("slow.jpg"));
        QTRY_VERIFY(silent.hasPendingConnections());
        QCOMPARE(pages("stackedWidgetHome")->currentIndex(), int(QMainWidget::HomeProgress));
        QTest::mouseClick(window->findChild<QPushButton*>("btnCancel"), Qt::LeftButton);
        QTRY_COMPARE(pages("stackedWidgetHome")->currentIndex(), int(QMainWidget::HomeEntry));
        silent.nextPendingConnection()->abort();
        QTest::qWait(500);
        QVERIFY(boxes.isEmpty());
        QCOMPARE(pages("stackedWidget")->currentIndex(), int(QMainWidget::PageHome));
    }

    void errorReachesTheUser()
    {
        pick(testutils::sandboxPath() + "/photos/gone.jpg");
        QTRY_COMPARE_WITH_TIMEOUT(boxes.size(), 1, 30000);
        QCOMPARE(boxes.first().first, int(QMsgBox::Error));
        QTRY_COMPARE(pages("stackedWidgetHome")->currentIndex(), int(QMainWidget::HomeEntry));
    }

    void batchCardOpensBatch()
    {
        const QStringList photos{mattingtest::makePhoto("b1.png"), mattingtest::makePhoto("b2.png")};
        QFileChooser::setOpenManyHook(
            [photos](const QString&, const QString&, const QString&) { return photos; });
        QTimer::singleShot(100, [] {
            qobject_cast<QBatchMattingDialog*>(QApplication::activeModalWidget())->onBtnAddImage();
            answerModal("btnCutout");
        });
        QTest::mouseClick(window->findChild<QWidget*>("BatchGoods"), Qt::LeftButton);
        auto* batch = window->findChild<QBatchMattingWidget*>();
        QTRY_VERIFY(batch && batch->isVisible());
        QCOMPARE(batch->items().size(), 2);
        QCOMPARE(batch->kind(), 1);
        QTest::mouseClick(batch->findChild<QPushButton*>("btnBackHome"), Qt::LeftButton);
        QTRY_VERIFY(!batch->isVisible());
    }
};

BRISEL_TEST_MAIN(TestMainWidget)
#include "tst_mainwidget.moc"
