// The main window's saving and keys as a user meets them: where the first photo
// dialog opens, the JPG file size set on its own tab and kept, a second save that
// never replaces the first, and shortcuts that work exactly where their button does.

#include "acceptance.h"
#include "csetting.h"
#include "qmainwidget.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QTimer>

using namespace acceptance;

namespace {

// Runs `trigger` and returns the folder (a file dialog's) or the object name of the
// modal dialog it opened, closed with Esc as by a user who changed their mind;
// empty when no dialog came.
QString escapeNextDialog(const std::function<void()>& trigger)
{
    QString seen;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog || !dialog->isVisible())
            return;
        poll.stop();
        auto* files = qobject_cast<QFileDialog*>(dialog);
        seen = files ? files->directory().absolutePath() : dialog->objectName();
        // To the dialog itself: right after it shows, the focus may not be in it yet.
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    poll.start(50);
    trigger(); // a dialog's exec() returns after the Esc
    return seen;
}

int pageOf(QMainWidget* window, const char* stack)
{
    return window->findChild<QStackedWidget*>(stack)->currentIndex();
}

} // namespace

class TestAcceptWindow : public Scenarios
{
    Q_OBJECT

private slots:

    // Before any photo was picked, with no desktop folder: Pictures, not the
    // program's own folder; afterwards the folder of the last photo.
    void photoDialogOpensInAFolderThatExists()
    {
        const QString home = QDir::homePath();
        QVERIFY(QDir(home + "/Desktop").removeRecursively());
        QVERIFY(QDir().mkpath(home + "/Pictures"));
        CSetting::setValue("default", "path", QString());
        window = openWindow();
        QCOMPARE(escapeNextDialog([&] { click(window.get(), "EnterPerson"); }), home + "/Pictures");
        const QString photo = productPhoto("vase.png");
        QVERIFY(openPhoto(window.get(), "EnterGoods", photo));
        QVERIFY(click(window.get(), "btnBackHome"));
        QVERIFY(waitFor([&] { return pageOf(window.get(), "stackedWidget") == QMainWidget::PageHome; }));
        QCOMPARE(escapeNextDialog([&] { click(window.get(), "EnterCard"); }),
                 QFileInfo(photo).absolutePath());
    }

    void jpgStaysUnderTheFileSizeSetOnItsTab()
    {
        window = openWindow();
        QVERIFY(openPhoto(window.get(), "EnterCard", personPhoto("id photo.v2.jpg", kBig)));
        QVERIFY(chooseOutputFolder(window.get(), out));
        QVERIFY(click(window.get(), "BtnTabFileSize"));
        auto* limit = find<QLineEdit>(window.get(), "lineEdit");
        QVERIFY(limit);
        QTest::mouseClick(limit, Qt::LeftButton);
        QTest::keyClicks(limit, "400");
        QVERIFY(choose(window.get(), "comboOutputSize", 3)); // the photo's own size
        const QString file = save(window.get(), out, true);
        QVERIFY2(QRegularExpression("_\\d{4}(-\\d\\d){2}_\\d\\d(-\\d\\d){2}\\.jpg$").match(file).hasMatch(),
                 qPrintable(file));
        QVERIFY2(QFileInfo(file).size() <= 400 * 1024, qPrintable(messages().join(' ')));
        QCOMPARE(decode(file).size(), kBig);
        // Without a limit, and perhaps within the same second: a second, larger file.
        QTest::keyClick(limit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(limit, Qt::Key_Backspace);
        const QString again = save(window.get(), out, true);
        QVERIFY(!again.isEmpty() && again != file && QFileInfo::exists(file));
        QVERIFY(QFileInfo(again).size() > 400 * 1024);
        QTest::keyClicks(limit, "400");

        // The limit is a setting: the next start shows it.
        window = openWindow();
        QCOMPARE(window->findChild<QLineEdit*>("lineEdit")->text(), QString("400"));
    }

    // Ctrl+O on the home page, Esc while the service works and in a dialog, Ctrl+S
    // only with a result to save.
    void keysWorkWhereTheirButtonsDo()
    {
        // Takes the upload and never answers: the cut-out stays in progress.
        auto silent = std::make_unique<testutils::LoopbackPort>(testutils::LoopbackPort::Silent);
        QVERIFY(silent->port() > 0);
        window = openWindow();
        CSetting::setValue("service", "url", silent->url());
        QCOMPARE(escapeNextDialog([&] { key(window.get(), Qt::Key_S, Qt::ControlModifier); }), QString());
        answerFileDialog(personPhoto("keys.jpg"));
        key(window.get(), Qt::Key_O, Qt::ControlModifier);
        QVERIFY(answersUsed());
        QVERIFY(
            waitFor([&] { return pageOf(window.get(), "stackedWidgetHome") == QMainWidget::HomeProgress; }));
        QCOMPARE(escapeNextDialog([&] { key(window.get(), Qt::Key_S, Qt::ControlModifier); }), QString());
        QVERIFY(waitFor([&] { return silent->called(); }));
        key(window.get(), Qt::Key_Escape);
        QVERIFY(waitFor([&] { return pageOf(window.get(), "stackedWidgetHome") == QMainWidget::HomeEntry; }));
        silent.reset(); // the late failure of the dropped connection stays unseen
        QTest::qWait(500);
        QVERIFY(messages().isEmpty());

        CSetting::setValue("service", "url", service.url());
        QVERIFY(openPhoto(window.get(), "EnterGoods", productPhoto("keys.png")));
        // A product has no face to beautify; the tutorial stays.
        QVERIFY(window->findChild<QWidget*>("BtnTabBeautify") &&
                countShown(window.get(), "BtnTabBeautify") == 0);
        QVERIFY(find(window.get(), "BtnTabMore"));
        const QStringList before = listFiles(out);
        QCOMPARE(escapeNextDialog([&] { key(window.get(), Qt::Key_S, Qt::ControlModifier); }),
                 QString("QImageFormatDialog"));
        QTest::qWait(500);
        QCOMPARE(listFiles(out), before);
    }
};

ACCEPTANCE_MAIN(TestAcceptWindow)
#include "tst_accept_window.moc"
