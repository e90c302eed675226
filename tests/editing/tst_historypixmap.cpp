#include "qhistorypixmap.h"
#include "testutils.h"

#include <QGuiApplication>
#include <QPainter>
#include <QRandomGenerator>
#include <QVector>

namespace {

QImage filled(QSize size, QRgb color)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}

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
    // Pushes `pushes` states (pixel (0,0) holds the state's number), then runs the
    // moves: 'u' undo, 'r' redo, 'p' push an edit of the state shown.
    void moves_data()
    {
        QTest::addColumn<int>("pushes");
        QTest::addColumn<QString>("moves");
        QTest::addColumn<int>("current");
        QTest::addColumn<bool>("canUndo");
        QTest::addColumn<bool>("canRedo");
        QTest::addColumn<int>("count");
        QTest::newRow("down and up twice") << 4 << "uuurrur" << 2 << true << true << 4;
        QTest::newRow("single state") << 1 << "r" << 0 << false << false << 1;
        QTest::newRow("undo past the first") << 2 << "uu" << 0 << false << true << 2;
        QTest::newRow("push after undo drops the states ahead") << 3 << "uup" << 1 << true << false << 2;
        QTest::newRow("and redo brings the new one") << 3 << "uupur" << 1 << true << false << 2;
    }

    void moves()
    {
        QFETCH(int, pushes);
        QFETCH(QString, moves);
        QHistoryPixmap history;
        QImage shown = filled({8, 6}, 0xff000000);
        auto push = [&](int number) {
            shown = edited(shown, QRect(0, 0, 1, 1), qRgba(number, 0, 0, 255));
            history.push(shown);
        };
        for (int i = 0; i < pushes; ++i)
            push(i);
        for (QChar move : moves) {
            if (move == 'p') {
                push(history.current() + 1);
                continue;
            }
            const QImage next = move == 'u' ? history.undoImage() : history.redoImage();
            shown = next.isNull() ? shown : next; // nothing to go back or forth to
        }
        QTEST(history.current(), "current");
        QTEST(history.canUndo(), "canUndo");
        QTEST(history.canRedo(), "canRedo");
        QTEST(history.count(), "count");
        QCOMPARE(qRed(shown.pixel(0, 0)), history.current());
        QCOMPARE(history.state(history.current()), shown);
    }

    // Every step down to the first state and up again gives the exact state, and
    // so do jumps that rebuild from a key state.
    void walkDownAndUp_data()
    {
        QTest::addColumn<QVector<QImage>>("states");
        QRandomGenerator rng(7);
        QVector<QImage> fifty{filled({120, 80}, qRgba(0, 0, 255, 100))};
        for (int i = 0; i < 50; ++i) {
            const QRect area(rng.bounded(110), rng.bounded(70), 1 + rng.bounded(40), 1 + rng.bounded(30));
            fifty.append(edited(fifty.last(), area, rng.generate() | 0x01000000));
        }
        QTest::newRow("fifty edits") << fifty;
        // A state of another size or format must be kept whole.
        const QImage large = filled({200, 100}, 0xff445566);
        const QImage large2 = edited(large, {10, 10, 5, 5}, 0xffffffff);
        QTest::newRow("other sizes and formats")
            << QVector<QImage>{filled({20, 10}, 0xff112233), large, large2,
                               large2.convertToFormat(QImage::Format_ARGB32_Premultiplied)};
    }

    void walkDownAndUp()
    {
        QFETCH(QVector<QImage>, states);
        QHistoryPixmap history;
        for (const QImage& s : states)
            history.push(s);
        const int last = states.size() - 1;
        for (int i = last - 1; i >= 0; --i)
            QCOMPARE(history.undoImage(), states[i]);
        QVERIFY(history.undoImage().isNull());
        for (int i = 1; i <= last; ++i)
            QCOMPARE(history.redoImage(), states[i]);
        QVERIFY(history.redoImage().isNull());
        for (int i : {0, last / 4, last / 2 + 1, last})
            QCOMPARE(history.state(i), states[i]);
        QCOMPARE(history.entries().size(), states.size());
    }

    void manyEditsStayCompact()
    {
        QHistoryPixmap history;
        QImage image = filled({1500, 1000}, qRgba(0, 0, 255, 100));
        history.push(image);
        for (int i = 0; i < 30; ++i) {
            image = edited(image, QRect(i * 40, i * 25, 200, 120), i % 2 ? 0 : qRgba(10, 0, 255, 100));
            history.push(image);
        }
        // The first state is a key; thirty changes must cost far less than one more.
        const qint64 full = image.sizeInBytes();
        QVERIFY2(history.storedBytes() < full + full / 4, qPrintable(QString::number(history.storedBytes())));
    }

    void lastChangeCoversTheEdit()
    {
        QHistoryPixmap history;
        const QImage s0 = filled({50, 40}, 0xff000000);
        const QRect area(7, 9, 11, 5);
        const QImage s1 = edited(s0, area, 0xffabcdef);
        history.push(s0);
        QCOMPARE(history.lastChange(), s0.rect());
        history.push(s1);
        QCOMPARE(history.lastChange(), area);
        history.undoImage();
        QCOMPARE(history.lastChange(), area);
        history.push(s0); // no change at all
        QVERIFY(history.lastChange().isEmpty());
        QCOMPARE(history.count(), 2);
    }

    // The brush view's way: one image edited in place, pushed with the changed
    // rectangle, and brought back by applyCurrentTo() on undo and redo.
    void callerEditsInPlace()
    {
        QImage image = filled({300, 200}, qRgba(0, 0, 255, 100));
        QHistoryPixmap history;
        history.push(image);
        QVector<QImage> states{image.copy()};
        const QRect areas[] = {{10, 10, 30, 30}, {100, 50, 80, 20}, {20, 20, 200, 150}};
        for (const QRect& area : areas) {
            QPainter painter(&image);
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            painter.fillRect(area, QColor(255, 0, 10, 100));
            painter.end();
            history.push(image, area);
            states.append(image.copy());
        }
        const uchar* pixels = image.constBits();
        for (int i = 2; i >= 0; --i) {
            history.undoImage();
            history.applyCurrentTo(image);
            QCOMPARE(image, states[i]);
        }
        history.redoImage();
        history.applyCurrentTo(image);
        QCOMPARE(image, states[1]);
        QCOMPARE(image.constBits(), pixels); // no copy of the whole image on the way
        // A hint that does not cover the change is the caller's fault, but the area
        // it names is still recorded exactly.
        QCOMPARE(history.state(3), states[3]);
    }
};

BRISEL_TEST_GUILESS_MAIN(TestHistoryPixmap)
#include "tst_historypixmap.moc"
