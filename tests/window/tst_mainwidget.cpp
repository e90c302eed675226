// The main window against a service that never answers, and its stored settings;
// the user flows themselves are in tests/acceptance.

#include "../matting/mattingfixtures.h"
#include "csetting.h"
#include "qenterbutton.h"
#include "qfilechooser.h"
#include "qmainwidget.h"
#include "qmsgbox.h"
#include "qtaskmanager.h"
#include "testutils.h"

#include <QComboBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

class TestMainWidget : public QObject
{
    Q_OBJECT

    std::unique_ptr<QMainWidget> window;
    QList<QPair<int, QString>> boxes;

    QStackedWidget* pages(const char* name) const { return window->findChild<QStackedWidget*>(name); }
    // Clicks the person card with `photo` as the picker's answer.
    void pick(const QString& photo)
    {
        QFileChooser::setOpenHook([photo](const QString&, const QString&, const QString&) { return photo; });
        QTest::mouseClick(window->findChild<QEnterButton*>("EnterPerson"), Qt::LeftButton);
    }

private slots:
    void initTestCase()
    {
        QMsgBox::setTestHook([this](QMsgBox::Kind kind, const QString& text) {
            boxes << qMakePair(int(kind), text);
            return 1;
        });
    }

    void init()
    {
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
        QMsgBox::setTestHook(nullptr);
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
        QTRY_VERIFY_WITH_TIMEOUT(silent.hasPendingConnections(), 20000); // the first request sets up HTTP
        QCOMPARE(pages("stackedWidgetHome")->currentIndex(), int(QMainWidget::HomeProgress));
        QTest::mouseClick(window->findChild<QPushButton*>("btnCancel"), Qt::LeftButton);
        QTRY_COMPARE(pages("stackedWidgetHome")->currentIndex(), int(QMainWidget::HomeEntry));
        silent.nextPendingConnection()->abort();
        QTest::qWait(500);
        QVERIFY(boxes.isEmpty());
        QCOMPARE(pages("stackedWidget")->currentIndex(), int(QMainWidget::PageHome));
    }
};

BRISEL_TEST_MAIN(TestMainWidget)
#include "tst_mainwidget.moc"
