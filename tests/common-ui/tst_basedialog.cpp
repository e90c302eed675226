// The frameless base dialog (keys, dragging, style sheet files), the drop shadow's
// geometry and blur, and the style-sheet reader.

#include "qbasedialog.h"
#include "qcustomshadoweffect.h"
#include "readtextfile.h"
#include "testutils.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
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
        layout->addWidget(edit = new QLineEdit(this));
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
    QLineEdit* edit = nullptr;
    QPushButton* ok = nullptr;
    int closeCalls = 0;
    int okCalls = 0;
};

void sendMouse(QWidget* target, QEvent::Type type, const QPoint& global, Qt::MouseButton button,
               Qt::MouseButtons buttons)
{
    QMouseEvent event(type, target->mapFromGlobal(global), global, button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
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
        QTest::newRow("Return accepts") << int(Qt::Key_Return) << true << int(QDialog::Accepted) << 0 << 1;
        QTest::newRow("Return accepts with OK disabled") << int(Qt::Key_Return) << false << int(QDialog::Accepted) << 0 << 1;
        QTest::newRow("keypad Enter accepts") << int(Qt::Key_Enter) << false << int(QDialog::Accepted) << 0 << 1;
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
        QTest::newRow("line edit child") << "edit" << int(Qt::LeftButton) << false;
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

        const QMap<QString, QWidget*> targets{{"ok", dialog.ok}, {"edit", dialog.edit}, {"title", dialog.title}};
        QWidget* target = targets.value(pressOn, &dialog);
        const QPoint grab =
            target == &dialog ? dialog.mapToGlobal(QPoint(5, 5)) : target->mapToGlobal(target->rect().center());
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
        QTest::addColumn<QString>("name"); // in a scratch folder, or a resource; "-" = empty path
        QTest::addColumn<QByteArray>("bytes"); // null: the file is not written
        QTest::addColumn<QString>("expected");

        QTest::newRow("plain text") << "a.css" << QByteArray("QLabel { color: #333333; }") << "QLabel { color: #333333; }";
        QTest::newRow("utf-8 text") << "b.css" << QStringLiteral("/* 保存 */").toUtf8() << QStringLiteral("/* 保存 */");
        QTest::newRow("empty file") << "c.css" << QByteArray("") << QString();
        QTest::newRow("missing file") << "missing.css" << QByteArray() << QString();
        QTest::newRow("empty path") << "-" << QByteArray() << QString();
        QTest::newRow("folder") << "." << QByteArray() << QString();
        QTest::newRow("missing resource") << ":/qss/NoSuchSheet.css" << QByteArray() << QString();
    }
    void styleSheetFile()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);

        QTemporaryDir dir;
        const QString path = name == QLatin1String("-") ? QString() : name.startsWith(':') ? name : dir.filePath(name);
        if (!bytes.isNull())
            QVERIFY(testutils::writeFile(path, bytes));
        QCOMPARE(::readTextFile(path), expected);

        // The dialog takes the file's text, and an unreadable file clears an old sheet.
        QBaseDialog dialog;
        dialog.setStyleSheet("QDialog { background: red; }");
        dialog.init(path);
        QCOMPARE(dialog.styleSheet(), expected);
    }

    void shadowBoundingRect_data()
    {
        QTest::addColumn<double>("blur");
        QTest::addColumn<double>("distance");
        QTest::addColumn<QRectF>("expected");

        const QRectF r(10, 20, 100, 50);
        QTest::newRow("blur and distance add up") << 8.0 << 1.0 << r.adjusted(-9, -9, 9, 9);
        QTest::newRow("nothing") << 0.0 << 0.0 << r;
        // A negative total would shrink the rectangle; the source is always kept.
        QTest::newRow("negative") << 0.0 << -5.0 << r;
    }
    void shadowBoundingRect()
    {
        QFETCH(double, blur);
        QFETCH(double, distance);
        QFETCH(QRectF, expected);
        QCustomShadowEffect effect;
        effect.setBlurRadius(blur);
        effect.setDistance(distance);
        QCOMPARE(effect.boundingRectFor(QRectF(10, 20, 100, 50)), expected);
    }

    void blurSpreadsAlpha_data()
    {
        QTest::addColumn<double>("radius");
        QTest::newRow("zero radius") << 0.0;
        QTest::newRow("small") << 2.0;
        QTest::newRow("large") << 30.0;
    }
    void blurSpreadsAlpha()
    {
        QFETCH(double, radius);
        QImage image(161, 161, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter(&image).fillRect(QRect(78, 78, 5, 5), Qt::black);
        const QImage before = image;
        QCustomShadowEffect::blurAlpha(image, radius);
        if (radius == 0) {
            QCOMPARE(image, before);
            return;
        }
        auto alpha = [&](int x, int y) { return qAlpha(image.pixel(x, y)); };
        // Spread outwards, lower in the middle, symmetric, and nothing added from nowhere.
        QVERIFY(alpha(80, 80) < 255 && alpha(80, 80) > 0 && alpha(76, 80) > 0);
        QCOMPARE(alpha(76, 80), alpha(84, 80));
        QCOMPARE(alpha(80, 76), alpha(80, 84));
        QVERIFY(alpha(80, 80) >= alpha(76, 80));
        qint64 sumBefore = 0, sumAfter = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                sumBefore += qAlpha(before.pixel(x, y));
                sumAfter += alpha(x, y);
            }
        QVERIFY2(sumAfter <= sumBefore * 11 / 10 && sumAfter >= sumBefore * 9 / 10,
                 qPrintable(QStringLiteral("%1 vs %2").arg(sumAfter).arg(sumBefore)));
    }
};

BRISEL_TEST_MAIN(TestBaseDialog)
#include "tst_basedialog.moc"
