// The frameless base dialog (keys, dragging, set-up), the drop shadow and the
// style-sheet reader.

#include "qbasedialog.h"
#include "qcustomshadoweffect.h"
#include "readtextfile.h"
#include "testutils.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
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
        title = new QLabel(QStringLiteral("Title"), this);
        edit = new QLineEdit(this);
        ok = new QPushButton(QStringLiteral("OK"), this);
        ok->setDefault(true);
        layout->addWidget(title);
        layout->addWidget(edit);
        layout->addWidget(ok);
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

// Shows a white host with a blue square child carrying `effect` and grabs what the
// screen shows; the real paint path, since QWidget::render() skips an effect's
// drawSource().
QImage renderWithEffect(QGraphicsEffect* effect)
{
    QWidget host;
    host.setAutoFillBackground(true);
    QPalette palette = host.palette();
    palette.setColor(QPalette::Window, Qt::white);
    host.setPalette(palette);
    host.resize(80, 80);
    auto* square = new QWidget(&host);
    square->setAutoFillBackground(true);
    QPalette sp = square->palette();
    sp.setColor(QPalette::Window, QColor(20, 60, 200));
    square->setPalette(sp);
    square->setGeometry(25, 25, 30, 30);
    if (effect)
        square->setGraphicsEffect(effect);
    host.show();
    if (!QTest::qWaitForWindowExposed(&host))
        return QImage();
    QApplication::processEvents();
    return host.screen()->grabWindow(host.winId()).toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class TestBaseDialog : public QObject
{
    Q_OBJECT
private slots:
    void keysCloseTheDialog_data();
    void keysCloseTheDialog();
    void dragging_data();
    void dragging();
    void initSetsUpWindow();
    void missingStyleSheetLeavesDialogUnstyled();

    void readTextFile_data();
    void readTextFile();

    void shadowBoundingRect_data();
    void shadowBoundingRect();
    void shadowDrawing_data();
    void shadowDrawing();
    void shadowTakesItsColour();
    void blurSpreadsAlpha_data();
    void blurSpreadsAlpha();
};

void TestBaseDialog::keysCloseTheDialog_data()
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

void TestBaseDialog::keysCloseTheDialog()
{
    QFETCH(int, key);
    QFETCH(bool, okEnabled);
    QFETCH(int, result);
    QFETCH(int, closeCalls);
    QFETCH(int, okCalls);

    ProbeDialog dialog;
    dialog.init(QStringLiteral(":/qss/ImageFormat.css"));
    dialog.ok->setEnabled(okEnabled);
    // A value no key can produce, in case the key is ignored and the dialog stays open.
    const int stuck = 42;
    // Bringing the window forward must not cost it its modality.
    bool modal = false;
    QTimer::singleShot(0, &dialog, [&] {
        modal = QApplication::activeModalWidget() == &dialog;
        QTest::keyClick(&dialog, Qt::Key(key));
    });
    QTimer::singleShot(3000, &dialog, [&] { dialog.done(stuck); });
    QCOMPARE(dialog.exec(), result);
    QVERIFY(modal);
    QCOMPARE(dialog.closeCalls, closeCalls);
    QCOMPARE(dialog.okCalls, okCalls);
}

void TestBaseDialog::dragging_data()
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

void TestBaseDialog::dragging()
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

    QWidget* target = &dialog;
    if (pressOn == QLatin1String("ok"))
        target = dialog.ok;
    else if (pressOn == QLatin1String("edit"))
        target = dialog.edit;
    else if (pressOn == QLatin1String("title"))
        target = dialog.title;
    const QPoint grab = target == &dialog ? dialog.mapToGlobal(QPoint(5, 5))
                                          : target->mapToGlobal(target->rect().center());
    const QPoint delta(37, -21);

    const Qt::MouseButton b = Qt::MouseButton(button);
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

void TestBaseDialog::initSetsUpWindow()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("dialog.css"));
    const QByteArray sheet = QStringLiteral("QDialog[dialog=\"true\"] { background: white; } /* 提示 */").toUtf8();
    QVERIFY(testutils::writeFile(path, sheet));

    QBaseDialog dialog;
    dialog.init(path);
    QCOMPARE(dialog.styleSheet(), QString::fromUtf8(sheet));
    QVERIFY(dialog.testAttribute(Qt::WA_TranslucentBackground));
    QVERIFY(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(dialog.windowFlags() & Qt::WindowType_Mask, Qt::Tool);
    QCOMPARE(dialog.property("dialog").toBool(), true);
    auto* shadow = qobject_cast<QCustomShadowEffect*>(dialog.graphicsEffect());
    QVERIFY(shadow);
    QCOMPARE(shadow->blurRadius(), 8.0);
    QCOMPARE(shadow->distance(), 1.0);
    QCOMPARE(shadow->color(), QColor(0, 0, 0, 52));
}

void TestBaseDialog::missingStyleSheetLeavesDialogUnstyled()
{
    QBaseDialog dialog;
    dialog.setStyleSheet(QStringLiteral("QDialog { background: red; }"));
    dialog.init(QStringLiteral(":/qss/NoSuchSheet.css"));
    QCOMPARE(dialog.styleSheet(), QString());
    dialog.setStyleSheetFile(QDir::temp().filePath(QStringLiteral("brisel-no-such-dir/x.css")));
    QCOMPARE(dialog.styleSheet(), QString());
}

void TestBaseDialog::readTextFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain text") << "a.css" << QByteArray("QLabel { color: #333333; }") << "QLabel { color: #333333; }";
    QTest::newRow("utf-8 text") << "b.css" << QStringLiteral("/* 保存 */").toUtf8() << QStringLiteral("/* 保存 */");
    QTest::newRow("empty file") << "c.css" << QByteArray() << QString();
    QTest::newRow("missing file") << "" << QByteArray() << QString();
    QTest::newRow("empty path") << "-" << QByteArray() << QString();
    QTest::newRow("folder") << "." << QByteArray() << QString();
}

void TestBaseDialog::readTextFile()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("missing.css"));
    if (name == QLatin1String("."))
        path = dir.path();
    else if (name == QLatin1String("-"))
        path.clear();
    else if (!name.isEmpty()) {
        path = dir.filePath(name);
        QVERIFY(testutils::writeFile(path, bytes));
    }
    const QString text = ::readTextFile(path);
    QCOMPARE(text, expected);
    QCOMPARE(text.isNull() || text.isEmpty(), expected.isEmpty());
}

void TestBaseDialog::shadowBoundingRect_data()
{
    QTest::addColumn<double>("blur");
    QTest::addColumn<double>("distance");
    QTest::addColumn<QRectF>("expected");

    const QRectF r(10, 20, 100, 50);
    QTest::newRow("defaults") << 10.0 << 4.0 << r.adjusted(-14, -14, 14, 14);
    QTest::newRow("dialog") << 8.0 << 1.0 << r.adjusted(-9, -9, 9, 9);
    QTest::newRow("nothing") << 0.0 << 0.0 << r;
    // A negative total would shrink the rectangle; the source is always kept.
    QTest::newRow("negative") << 0.0 << -5.0 << r;
}

void TestBaseDialog::shadowBoundingRect()
{
    QFETCH(double, blur);
    QFETCH(double, distance);
    QFETCH(QRectF, expected);

    QCustomShadowEffect effect;
    QCOMPARE(effect.distance(), 4.0);
    QCOMPARE(effect.blurRadius(), 10.0);
    QCOMPARE(effect.color(), QColor(0, 0, 0, 80));
    effect.setBlurRadius(blur);
    effect.setDistance(distance);
    QCOMPARE(effect.boundingRectFor(QRectF(10, 20, 100, 50)), expected);
}

void TestBaseDialog::shadowDrawing_data()
{
    QTest::addColumn<double>("distance");
    QTest::addColumn<double>("blur");
    QTest::addColumn<bool>("shadowOutside");

    QTest::newRow("no distance, no blur: source only") << 0.0 << 0.0 << false;
    QTest::newRow("dialog shadow") << 1.0 << 8.0 << true;
    QTest::newRow("hard shadow") << 4.0 << 0.0 << true;
    QTest::newRow("blur only") << 0.0 << 6.0 << true;
}

void TestBaseDialog::shadowDrawing()
{
    QFETCH(double, distance);
    QFETCH(double, blur);
    QFETCH(bool, shadowOutside);

    const QImage plain = renderWithEffect(nullptr);
    QVERIFY(!plain.isNull());
    auto* effect = new QCustomShadowEffect;
    effect->setDistance(distance);
    effect->setBlurRadius(blur);
    effect->setColor(QColor(0, 0, 0, 200));
    const QImage shadowed = renderWithEffect(effect);

    // The square itself is drawn unchanged on top of its shadow.
    QCOMPARE(shadowed.pixelColor(40, 40), plain.pixelColor(40, 40));
    // Just outside the square's edges, the shadow darkens the white host.
    const QList<QPoint> outside{{23, 40}, {57, 40}, {40, 23}, {40, 57}};
    for (const QPoint& p : outside) {
        const bool darker = shadowed.pixelColor(p).lightness() < plain.pixelColor(p).lightness() - 8;
        QVERIFY2(darker == shadowOutside, qPrintable(QStringLiteral("at %1,%2").arg(p.x()).arg(p.y())));
    }
    if (!shadowOutside)
        QCOMPARE(testutils::maxPixelDifference(shadowed, plain), 0);
    // Far from the square nothing changes.
    QCOMPARE(shadowed.pixelColor(2, 2), plain.pixelColor(2, 2));
}

void TestBaseDialog::shadowTakesItsColour()
{
    auto* effect = new QCustomShadowEffect;
    effect->setDistance(4.0);
    effect->setBlurRadius(0.0);
    effect->setColor(QColor(255, 0, 0, 255));
    const QImage image = renderWithEffect(effect);
    const QColor edge = image.pixelColor(23, 40);
    QVERIFY2(edge.red() > 200 && edge.green() < 60 && edge.blue() < 60, qPrintable(edge.name()));
}

void TestBaseDialog::blurSpreadsAlpha_data()
{
    QTest::addColumn<double>("radius");
    QTest::addColumn<bool>("changes");

    QTest::newRow("zero radius") << 0.0 << false;
    QTest::newRow("small") << 2.0 << true;
    QTest::newRow("dialog") << 8.0 << true;
    QTest::newRow("large") << 30.0 << true;
}

void TestBaseDialog::blurSpreadsAlpha()
{
    QFETCH(double, radius);
    QFETCH(bool, changes);

    QImage image(161, 161, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.fillRect(QRect(78, 78, 5, 5), Qt::black);
    }
    const QImage before = image;
    QCustomShadowEffect::blurAlpha(image, radius);
    if (!changes) {
        QCOMPARE(image, before);
        return;
    }
    auto alpha = [&](int x, int y) { return qAlpha(image.pixel(x, y)); };
    // Spread outwards, lower in the middle, symmetric, and nothing added from nowhere.
    QVERIFY(alpha(80, 80) < 255);
    QVERIFY(alpha(80, 80) > 0);
    QVERIFY(alpha(76, 80) > 0);
    QCOMPARE(alpha(76, 80), alpha(84, 80));
    QCOMPARE(alpha(80, 76), alpha(80, 84));
    QVERIFY(alpha(80, 80) >= alpha(76, 80));
    qint64 sumBefore = 0, sumAfter = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            sumBefore += qAlpha(before.pixel(x, y));
            sumAfter += alpha(x, y);
        }
    const QString sums = QStringLiteral("%1 vs %2").arg(sumAfter).arg(sumBefore);
    QVERIFY2(sumAfter <= sumBefore * 11 / 10, qPrintable(sums));
    QVERIFY2(sumAfter >= sumBefore * 9 / 10, qPrintable(sums));
}

BRISEL_TEST_MAIN(TestBaseDialog)
#include "tst_basedialog.moc"
