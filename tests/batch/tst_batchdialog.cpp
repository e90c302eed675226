// The add dialog takes dropped photos by suffix, each path once, files it cannot
// decode too (their tile fails later, visibly), and at most 30, saying so; Escape
// closes it, Return starts only with a photo.

#include "qappsettings.h"
#include "qbatchmattingdialog.h"
#include "qimageitem.h"
#include "qmsgbox.h"
#include "testutils.h"

#include <QApplication>
#include <QCheckBox>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QUrl>

namespace {
// Names separated by spaces, as the table below gives them.
QString photos(int from, int to)
{
    QStringList names;
    for (int i = from; i < to; ++i)
        names << QString("p%1.png").arg(i, 2, 10, QChar('0'));
    return names.join(' ');
}
} // namespace

class TestBatchDialog : public QObject
{
    Q_OBJECT

    QStringList warnings;

private slots:
    void initTestCase()
    {
        QVERIFY(testutils::writeFile(testutils::sandboxPath() + "/broken.jpg", "not a picture"));
        QMsgBox::setTestHook([this](QMsgBox::Kind, const QString& text) {
            warnings << text;
            return 1;
        });
    }

    void cleanupTestCase() { QMsgBox::setTestHook(nullptr); }

    void dropped_data()
    {
        QTest::addColumn<QString>("drops"); // "|" separates two drops
        QTest::addColumn<QString>("kept");
        QTest::addColumn<bool>("warned");
        QTest::newRow("by suffix, any case")
            << "a.PNG b.Jpeg x.bmp w.webp c.gif d.txt noext z.png.txt http://example.org/e.png"
            << "a.PNG b.Jpeg x.bmp w.webp" << false;
        QTest::newRow("each path once") << "S.png S.png | S.png s.png"
                                        << "S.png s.png" << false;
        QTest::newRow("undecodable and missing") << "broken.jpg missing.png"
                                                 << "broken.jpg missing.png" << false;
        QTest::newRow("40 at once") << photos(0, 40) << photos(0, 30) << true;
        QTest::newRow("30 then the 31st") << photos(0, 30) + "|p30.png" << photos(0, 30) << true;
        QTest::newRow("29 then the 30th") << photos(0, 29) + "|p29.png" << photos(0, 30) << false;
    }

    void dropped()
    {
        QFETCH(QString, drops);
        QFETCH(QString, kept);
        QFETCH(bool, warned);
        warnings.clear();
        QBatchMattingDialog d(0);
        QWidget* page = d.findChild<QWidget*>("pageAddImage");
        for (const QString& dropped : drops.split('|')) {
            QList<QUrl> urls;
            for (const QString& name : dropped.split(' ', Qt::SkipEmptyParts))
                urls << (name.contains("://") ? QUrl(name)
                                              : QUrl::fromLocalFile(testutils::sandboxPath() + "/" + name));
            QMimeData mime;
            mime.setUrls(urls);
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(page, &enter); // a drop goes where the drag entered
            QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(page, &drop);
        }
        QTest::qWait(3 * QBatchMattingDialog::kRefreshDelayMs);
        QStringList expected;
        for (const QString& name : kept.split(' '))
            expected << testutils::sandboxPath() + "/" + name;
        QCOMPARE(d.paths(), expected);
        QCOMPARE(d.items().size(), expected.size() + 1); // and the add tile
        QVERIFY(d.findChild<QPushButton*>("btnCutout")->isEnabled());
        for (QImageItem* item : d.items())
            item->grab(); // a tile without a picture paints too
        QCOMPARE(warnings.size(), warned ? 1 : 0);
    }

    void keys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("withPhoto");
        QTest::addColumn<int>("result"); // -1: still open
        QTest::newRow("Escape") << int(Qt::Key_Escape) << true << int(QDialog::Rejected);
        QTest::newRow("Return, no photo") << int(Qt::Key_Return) << false << -1;
        QTest::newRow("Return") << int(Qt::Key_Return) << true << int(QDialog::Accepted);
    }

    void keys()
    {
        QFETCH(int, key);
        QFETCH(bool, withPhoto);
        QFETCH(int, result);
        QBatchMattingDialog d(0);
        if (withPhoto)
            d.addFiles({testutils::sandboxPath() + "/broken.jpg"});
        QTest::qWait(3 * QBatchMattingDialog::kRefreshDelayMs);
        QSignalSpy finished(&d, &QDialog::finished);
        QTest::keyClick(&d, Qt::Key(key));
        QCOMPARE(finished.isEmpty() ? -1 : finished.first().at(0).toInt(), result);
    }

    // The Fast box shows the remembered choice and remembers a click at once.
    void fastRemembered()
    {
        for (const bool was : {false, true}) {
            QAppSettings::setBatchFast(was);
            QBatchMattingDialog d(0);
            auto* box = d.findChild<QCheckBox*>("checkFast");
            QVERIFY(box);
            QCOMPARE(box->isChecked(), was);
            QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
            QCOMPARE(QAppSettings::batchFast(), !was);
        }
    }
};

BRISEL_TEST_MAIN(TestBatchDialog)
#include "tst_batchdialog.moc"
