// Dragging the frameless base dialog.

#include "mouseinput.h"
#include "qbasedialog.h"
#include "testutils.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

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
        QBaseDialog dialog;
        dialog.init(QString());
        auto* layout = new QVBoxLayout(&dialog);
        layout->setContentsMargins(20, 20, 20, 20);
        auto* title = new QLabel("Title", &dialog);
        auto* ok = new QPushButton("OK", &dialog);
        layout->addWidget(title);
        layout->addWidget(ok);
        dialog.setGeometry(100, 100, 240, 160);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QPoint start = dialog.pos();

        QWidget* target = pressOn == "ok" ? ok : pressOn == "title" ? static_cast<QWidget*>(title) : &dialog;
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
        sendMouse(&dialog, QEvent::MouseMove, grab + delta * 2, Qt::NoButton, Qt::NoButton);
        QCOMPARE(dialog.pos(), moves ? start + delta : start);
    }
};

BRISEL_TEST_MAIN(TestBaseDialog)
#include "tst_basedialog.moc"
