// Showing a saved file selected in the desktop's file manager, against a file
// manager stand-in on a private session bus.

#include "qvarnui.h"
#include "testutils.h"
#include "urlrecorder.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QMutex>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

// Answers ShowItems like a file manager; refuses items whose name contains
// "refuse" the way a broken one would.
class FakeFileManager : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QStringList shown()
    {
        QMutexLocker lock(&m_mutex);
        return m_shown;
    }

public slots:
    void ShowItems(const QStringList& uris, const QString& startupId)
    {
        Q_UNUSED(startupId);
        if (uris.join(' ').contains("refuse")) {
            sendErrorReply(QDBusError::Failed, "cannot show");
            return;
        }
        QMutexLocker lock(&m_mutex);
        m_shown += uris;
    }

private:
    QMutex m_mutex;
    QStringList m_shown;
};

class TestPlatformFileManager : public QObject
{
    Q_OBJECT

private:
    QProcess m_bus;
    QThread m_serviceThread;
    FakeFileManager* m_fake = nullptr;
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        m_bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (!m_bus.waitForStarted(10000))
            QSKIP("dbus-daemon is not installed");
        if (!m_bus.waitForReadyRead(10000))
            QSKIP("dbus-daemon could not start a session bus here");
        const QByteArray address = m_bus.readLine().trimmed();
        QVERIFY(!address.isEmpty());
        // Before anything opens the session bus.
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);

        // The stand-in answers on its own thread and connection, as a separate
        // program would, while the code under test blocks in its call.
        QDBusConnection service = QDBusConnection::connectToBus(QString::fromUtf8(address), "fake-file-manager");
        QVERIFY(service.isConnected());
        m_fake = new FakeFileManager;
        m_serviceThread.start();
        m_fake->moveToThread(&m_serviceThread);
        QVERIFY(service.registerObject("/org/freedesktop/FileManager1", m_fake, QDBusConnection::ExportAllSlots));
        QVERIFY(service.registerService("org.freedesktop.FileManager1"));

        QVERIFY(QDir(m_dir.path()).mkpath("saved"));
        for (const char* name : {"saved/result_1700000000.png", "saved/refuse.png", "saved/照片_1.jpg"})
            QVERIFY(testutils::writeFile(m_dir.filePath(name), "image"));
    }
    void cleanupTestCase()
    {
        QDBusConnection::disconnectFromBus("fake-file-manager");
        m_serviceThread.quit();
        m_serviceThread.wait();
        delete m_fake;
        m_bus.kill();
        m_bus.waitForFinished();
    }

    void showsFileOrOpensFolder_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("selectFile");
        QTest::addColumn<bool>("selectedInFileManager");

        QTest::newRow("saved file selected") << "saved/result_1700000000.png" << true << true;
        QTest::newRow("chinese file name") << QStringLiteral("saved/照片_1.jpg") << true << true;
        QTest::newRow("folder asked for") << "saved/result_1700000000.png" << false << false;
        QTest::newRow("folder path with select") << "saved" << true << false;
        QTest::newRow("file manager refuses") << "saved/refuse.png" << true << false;
        QTest::newRow("missing file") << "saved/gone.png" << true << false;
    }
    void showsFileOrOpensFolder()
    {
        QFETCH(QString, path);
        QFETCH(bool, selectFile);
        QFETCH(bool, selectedInFileManager);

        const QString full = m_dir.filePath(path);
        const int before = m_fake->shown().size();
        UrlRecorder recorder;
        QVERIFY(QVarnUI::openFolder(full, selectFile));

        const QStringList shown = m_fake->shown().mid(before);
        if (selectedInFileManager) {
            QCOMPARE(shown, QStringList{QUrl::fromLocalFile(full).toString()});
            QVERIFY(recorder.urls.isEmpty());
        } else {
            QVERIFY(shown.isEmpty());
            QCOMPARE(recorder.urls, QList<QUrl>{QUrl::fromLocalFile(m_dir.filePath("saved"))});
        }
    }
};

BRISEL_TEST_MAIN(TestPlatformFileManager)
#include "tst_platform_filemanager.moc"
