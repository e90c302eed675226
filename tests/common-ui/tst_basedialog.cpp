// The frameless base dialog (keys, dragging, style sheet files) and the
// style-sheet reader.

#include "mouseinput.h"
#include "qbasedialog.h"
#include "readtextfile.h"
#include "testutils.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// A derived dialog like the program's own: an OK button that may be disabled, and
// counters to show that the keys go through the virtual slots.
class ProbeDialog : public QBaseDialog
{
public:
    ProbeDialog()
    {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(20, 20, 20, 20);
        layout->addWidget(title = new QLabel("Title", this));
        layout->addWidget(ok = new QPushButton("OK", this));
        ok->setDefault(true);
        connect(ok, &QPushButton::clicked, this, &ProbeDialog::onOK);
        resize(240, 160);
    }
    void onClose() override
    {
        ++closeCalls;
        QBaseDialog::onClose();
    }
    void onOK() override
    {
        ++okCalls;
        QBaseDialog::onOK();
    }
    QLabel* title = nullptr;
    QPushButton* ok = nullptr;
    int closeCalls = 0;
    int okCalls = 0;
};

// Mouse input at a screen position, wherever the dialog has moved meanwhile.
void sendMouse(QWidget* target, QEvent::Type type, const QPoint& global, Qt::MouseButton button,
               Qt::MouseButtons buttons)
{
    mouseinput::send(target, type, target->mapFromGlobal(global), button, buttons);
}

} // namespace

class TestBaseDialog : public QObject
{
    Q_OBJECT
private slots:
    void keysCloseTheDialog_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("okEnabled");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("closeCalls");
        QTest::addColumn<int>("okCalls");

        QTest::newRow("Escape rejects") << int(Qt::Key_Escape) << true << int(QDialog::Rejected) << 1 << 0;
        QTest::newRow("Return accepts with OK disabled")
            << int(Qt::Key_Return) << false << int(QDialog::Accepted) << 0 << 1;
        QTest::newRow("keypad Enter accepts")
            << int(Qt::Key_Enter) << false << int(QDialog::Accepted) << 0 << 1;
    }
    void keysCloseTheDialog()
    {
        QFETCH(int, key);
        QFETCH(bool, okEnabled);
        QFETCH(int, result);
        QFETCH(int, closeCalls);
        QFETCH(int, okCalls);

        ProbeDialog dialog;
        dialog.init(":/qss/ImageFormat.css");
        dialog.ok->setEnabled(okEnabled);
        // Bringing the window forward must not cost it its modality.
        bool modal = false;
        QTimer::singleShot(0, &dialog, [&] {
            modal = QApplication::activeModalWidget() == &dialog;
            QTest::keyClick(&dialog, Qt::Key(key));
        });
        // A result no key can produce, in case the key is ignored and the dialog stays open.
        QTimer::singleShot(3000, &dialog, [&] { dialog.done(42); });
        QCOMPARE(dialog.exec(), result);
        QVERIFY(modal);
        QCOMPARE(dialog.closeCalls, closeCalls);
        QCOMPARE(dialog.okCalls, okCalls);
    }

    void dragging_data()
    {
        QTest::addColumn<QString>("pressOn");
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("moves");

        QTest::newRow("background, left button") << "dialog" << int(Qt::LeftButton) << true;
        QTest::newRow("background, right button") << "dialog" << int(Qt::RightButton) << false;
        QTest::newRow("push button child") << "ok" << int(Qt::LeftButton) << false;
        // A label takes no clicks, so pressing on it is pressing on the background.
        QTest::newRow("title label") << "title" << int(Qt::LeftButton) << true;
    }
    void dragging()
    {
        QFETCH(QString, pressOn);
        QFETCH(int, button);
        QFETCH(bool, moves);

        ProbeDialog dialog;
        dialog.init(QString());
        dialog.move(100, 100);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QPoint start = dialog.pos();

        const QMap<QString, QWidget*> targets{{"ok", dialog.ok}, {"title", dialog.title}};
        QWidget* target = targets.value(pressOn, &dialog);
        const QPoint grab = target == &dialog ? dialog.mapToGlobal(QPoint(5, 5))
                                              : target->mapToGlobal(target->rect().center());
        const QPoint delta(37, -21);
        const auto b = Qt::MouseButton(button);
        sendMouse(target, QEvent::MouseButtonPress, grab, b, b);
        // The moves reach the dialog itself, as they would when the child ignores them.
        sendMouse(&dialog, QEvent::MouseMove, grab + delta / 2, Qt::NoButton, b);
        sendMouse(&dialog, QEvent::MouseMove, grab + delta, Qt::NoButton, b);
        sendMouse(&dialog, QEvent::MouseButtonRelease, grab + delta, b, Qt::NoButton);
        QCOMPARE(dialog.pos(), moves ? start + delta : start);

        // After the release, moving with no button held leaves the dialog where it is.
        const QPoint after = dialog.pos();
        sendMouse(&dialog, QEvent::MouseMove, grab + delta * 2, Qt::NoButton, Qt::NoButton);
        QCOMPARE(dialog.pos(), after);
    }

    void styleSheetFile_data()
    {
        QTest::addColumn<QString>("name");     // in a scratch folder; "-" = empty path
        QTest::addColumn<QByteArray>("bytes"); // null: the file is not written
        QTest::addColumn<QString>("expected");

        QTest::newRow("utf-8 text") << "b.css" << QStringLiteral("/* 保存 */").toUtf8()
                                    << QStringLiteral("/* 保存 */");
        QTest::newRow("missing file") << "missing.css" << QByteArray() << QString();
        QTest::newRow("empty path") << "-" << QByteArray() << QString();
    }
    void styleSheetFile()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);

        QTemporaryDir dir;
        const QString path = name == QLatin1String("-") ? QString() : dir.filePath(name);
        if (!bytes.isNull())
            QVERIFY(testutils::writeFile(path, bytes));
        QCOMPARE(::readTextFile(path), expected);

        // The dialog takes the file's text, and an unreadable file clears an old sheet.
        QBaseDialog dialog;
        dialog.setStyleSheet("QDialog { background: red; }");
        dialog.init(path);
        QCOMPARE(dialog.styleSheet(), expected);
    }
};

BRISEL_TEST_MAIN(TestBaseDialog)
#include "tst_basedialog.moc"
