// Message boxes asked for from any thread.

#include "qmsgbox.h"
#include "testutils.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include <atomic>
#include <thread>

class TestPlatformUi : public QObject
{
    Q_OBJECT

private slots:
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
};

BRISEL_TEST_MAIN(TestPlatformUi)
#include "tst_platform_ui.moc"
