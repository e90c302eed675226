// The main window's stored settings, hand-edited ones too; the frameless window's grip
// (the edge under the cursor, a drag's geometry, never below the minimum size); what a
// start opens, also under a dialog; the result copied or dragged. Flows: tests/acceptance.

#include "cglobal.h"
#include "csetting.h"
#include "qclipboardactions.h"
#include "qdragouthandle.h"
#include "qmainwidget.h"
#include "qmsgbox.h"
#include "qopenwith.h"
#include "qwindowgrip.h"
#include "qworkpool.h"
#include "testutils.h"

#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QTimer>

class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    // A stored output size outside the list (a hand-edited or older settings file)
    // falls back to the default instead of selecting nothing; an empty stored output
    // folder would put results beside the program.
    void storedOutput_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("last size") << "size" << QVariant(3) << "3";
        QTest::newRow("size one past the list") << "size" << QVariant(4) << "1";
        QTest::newRow("negative size") << "size" << QVariant(-1) << "1";
        QTest::newRow("chosen folder") << "path" << QVariant("/srv/photos") << "/srv/photos";
        QTest::newRow("empty folder") << "path" << QVariant("") << CGlobal::getOutputPath();
        QTest::newRow("blank folder") << "path" << QVariant("  ") << CGlobal::getOutputPath();
    }

    void storedOutput()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, stored);
        QFETCH(QString, shown);
        CSetting::setValue("output", key, stored);
        QMainWidget fresh;
        if (key == "size")
            QCOMPARE(QString::number(fresh.findChild<QComboBox*>("comboOutputSize")->currentIndex()), shown);
        else
            QCOMPARE(fresh.findChild<QLineEdit*>("lineEditOutput")->text(), QDir::toNativeSeparators(shown));
    }

    void resizedByGrip_data()
    {
        QTest::addColumn<QPoint>("cursor");
        QTest::addColumn<QPoint>("travel");
        QTest::addColumn<QRect>("expected");
        // Window (100, 100) 400 x 300: right 499, bottom 399; minimum 200 x 150.
        QTest::newRow("right edge") << QPoint(499, 250) << QPoint(50, 7) << QRect(100, 100, 450, 300);
        QTest::newRow("left edge moves x") << QPoint(101, 250) << QPoint(-30, 0) << QRect(70, 100, 430, 300);
        QTest::newRow("left stops at minimum")
            << QPoint(101, 250) << QPoint(300, 0) << QRect(300, 100, 200, 300);
        QTest::newRow("top stops at minimum")
            << QPoint(300, 100) << QPoint(0, 290) << QRect(100, 250, 400, 150);
        QTest::newRow("bottom-right corner")
            << QPoint(498, 398) << QPoint(10, 5) << QRect(100, 100, 410, 305);
        QTest::newRow("just inside") << QPoint(103, 250) << QPoint(25, 40) << QRect(100, 100, 400, 300);
        QTest::newRow("outside below") << QPoint(300, 400) << QPoint(25, 40) << QRect(100, 100, 400, 300);
    }

    void resizedByGrip()
    {
        QFETCH(QPoint, cursor);
        QFETCH(QPoint, travel);
        const QRect start(100, 100, 400, 300);
        const int edges = QWindowGrip::edgeAt(start, cursor);
        QCOMPARE(QWindowGrip::cursorFor(edges) == Qt::ArrowCursor, edges == QWindowGrip::None);
        QTEST(QWindowGrip::resized(start, edges, travel, QSize(200, 150)), "expected");
    }

    // What a start opens: the readable files, at most a batch's 30, the rest named.
    void openPlan_data()
    {
        QTest::addColumn<int>("photos"); // readable files first
        QTest::addColumn<QStringList>("others");
        QTest::addColumn<int>("opened");
        QTest::addColumn<QString>("note"); // a part of the message; none when empty
        QTest::newRow("one photo") << 1 << QStringList() << 1 << "";
        QTest::newRow("missing file and folder named")
            << 2 << QStringList{"/no/such.jpg", "/tmp"} << 2 << "opened:\n/no/such.jpg\n/tmp";
        QTest::newRow("31 photos") << 31 << QStringList() << 30 << "first 30 of 31";
    }
    void openPlan()
    {
        QFETCH(int, photos);
        QFETCH(QString, note);
        QFETCH(QStringList, others);
        QOpenRequest request;
        for (int i = 0; i < photos; ++i) {
            request.paths << testutils::sandboxPath() + QStringLiteral("/p%1.jpg").arg(i);
            QVERIFY(testutils::writeFile(request.paths.last(), "x"));
        }
        request.paths += others;
        const QOpenWith::Plan plan = QOpenWith::plan(request);
        QTEST(plan.photos.size(), "opened");
        QCOMPARE(plan.photos, request.paths.mid(0, plan.photos.size()));
        QVERIFY2(note.isEmpty() ? plan.note.isEmpty() : plan.note.contains(note), qPrintable(plan.note));
    }

    // A request that comes while a dialog is open waits for it and is not lost.
    void requestWaitsForDialog()
    {
        QStringList shown;
        QMsgBox::setTestHook(
            [&shown](QMsgBox::Kind, const QString& text) { return int((shown << text).size()); });
        QMainWidget window;
        auto* opener = new QOpenWith(&window);
        QDialog dialog(&window);
        QTimer::singleShot(0, &dialog, [&] {
            opener->open(QOpenRequest{0, {"/no/such.jpg"}});
            QTest::qWait(2 * QOpenWith::kRetryMs);
            QVERIFY(shown.isEmpty());
            dialog.accept();
        });
        dialog.exec();
        QTRY_COMPARE(shown.size(), 1);
        QMsgBox::setTestHook(nullptr);
    }

    // The result leaves as PNG bytes and a picture (copied) or a PNG file (dragged)
    // and comes back with its transparency, half-transparent pixels too.
    void resultHandedOut_data()
    {
        QTest::addColumn<bool>("dragged");
        QTest::newRow("copied") << false;
        QTest::newRow("dragged") << true;
    }
    void resultHandedOut()
    {
        QFETCH(bool, dragged);
        if (!QWorkPool::instance()->isRunning())
            QWorkPool::instance()->start(1);
        QImage image(40, 30, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        image.setPixel(3, 4, qRgba(200, 30, 10, 128));
        image.setPixel(20, 15, qRgba(10, 90, 250, 255));
        QResultExport::Result result;
        QResultExport::start(image, this, dragged, [&result](const QResultExport::Result& r) { result = r; });
        QTRY_VERIFY(!result.png.isEmpty());
        QGuiApplication::clipboard()->setMimeData(dragged ? QDragOutHandle::mimeData(result)
                                                          : QClipboardActions::mimeData(result));
        const auto back = QClipboardActions::pasted(QGuiApplication::clipboard()->mimeData());
        QCOMPARE(back.file.isEmpty(), !dragged);
        QCOMPARE((dragged ? QImage(back.file) : back.image).convertToFormat(QImage::Format_ARGB32), image);
    }
};

BRISEL_TEST_MAIN(TestWindow)
#include "tst_window.moc"
