#include "qhistorypixmap.h"
#include "testutils.h"

#include <QGuiApplication>
#include <QPainter>
#include <QRandomGenerator>

namespace {
// A state that differs from `base` in one rectangle.
QImage edited(const QImage& base, const QRect& area, QRgb color)
{
    QImage next = base.copy();
    QPainter painter(&next);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(area, QColor::fromRgba(color));
    return next;
}
} // namespace

class TestHistoryPixmap : public QObject
{
    Q_OBJECT

private slots:
    // `pushes` random edits (every tenth of another size: a key), then 'u' undo, 'r'
    // redo, 'p' push one more. Every state reached or rebuilt is the one pushed.
    void moves_data()
    {
        QTest::addColumn<int>("pushes");
        QTest::addColumn<QString>("moves");
        QTest::addColumn<int>("current");
        QTest::addColumn<bool>("canRedo");
        QTest::addColumn<int>("count");
        QTest::newRow("down past the first and up")
            << 50 << QString(50, 'u') + QString(20, 'r') << 20 << true << 50;
        QTest::newRow("push after undo drops the states ahead") << 3 << "uupur" << 1 << false << 2;
    }

    void moves()
    {
        QFETCH(int, pushes);
        QFETCH(QString, moves);
        QHistoryPixmap history;
        QVector<QImage> pushed;
        QImage shown(120, 80, QImage::Format_ARGB32);
        shown.fill(qRgba(0, 0, 255, 100));
        QRandomGenerator rng(7);
        const auto push = [&] {
            const QRect area(rng.bounded(110), rng.bounded(70), 1 + rng.bounded(40), 1 + rng.bounded(30));
            shown = edited(shown, area, rng.generate() | 0x01000000);
            if (pushed.size() % 10 == 9)
                shown = shown.copy(0, 0, shown.width() - 1, shown.height());
            pushed.resize(history.current() + 1);
            pushed.append(shown);
            history.push(shown);
        };
        for (int i = 0; i < pushes; ++i)
            push();
        for (QChar move : moves) {
            if (move == 'p')
                push();
            else if (const QImage next = move == 'u' ? history.undoImage() : history.redoImage();
                     !next.isNull())
                QCOMPARE(next, pushed[history.current()]); // null: nothing to go back or forth to
        }
        QTEST(history.current(), "current");
        QTEST(history.canRedo(), "canRedo");
        QTEST(history.count(), "count");
        for (int i : {0, history.count() / 2, history.count() - 1})
            QCOMPARE(history.state(i), pushed[i]);
    }

    // Only changed rectangles are kept: thirty edits cost far less than a full state.
    void manyEditsStayCompact()
    {
        QHistoryPixmap history;
        QImage image(1500, 1000, QImage::Format_ARGB32);
        image.fill(qRgba(0, 0, 255, 100));
        history.push(image);
        for (int i = 0; i < 30; ++i) {
            image = edited(image, QRect(i * 40, i * 25, 200, 120), i % 2 ? 0 : qRgba(10, 0, 255, 100));
            history.push(image);
        }
        QVERIFY(history.storedBytes() < image.sizeInBytes() * 5 / 4);
    }
};

BRISEL_TEST_GUILESS_MAIN(TestHistoryPixmap)
#include "tst_historypixmap.moc"
