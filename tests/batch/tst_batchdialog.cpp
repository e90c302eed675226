#include "csetting.h"
#include "qbatchmattingdialog.h"
#include "qfilechooser.h"
#include "qimageitem.h"
#include "qmsgbox.h"
#include "testutils.h"

#include <QApplication>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QUrl>

#include <opencv2/imgcodecs.hpp>

class TestBatchDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void limitAndWarning_data();
    void limitAndWarning();
    void dropFilter_data();
    void dropFilter();
    void duplicates_data();
    void duplicates();
    void gridPositions_data();
    void gridPositions();
    void removingLastImage();
    void cancelledPickerKeepsFolder();
    void returnAcceptsWithoutImage();
    void undecodableFileStillGetsTile();

private:
    QString photo(int i) const;
    void settle() { QTest::qWait(3 * QBatchMattingDialog::kRefreshDelayMs); }
    static QPushButton* cutout(QBatchMattingDialog& d) { return d.findChild<QPushButton*>("btnCutout"); }
    static QString count(QBatchMattingDialog& d) { return d.findChild<QLabel*>("labelCount")->text(); }
    static void drop(QBatchMattingDialog& d, const QStringList& files);

    QString folder;
    QStringList warnings;
    QStringList picks;
};

void TestBatchDialog::initTestCase()
{
    folder = testutils::sandboxPath() + "/photos";
    QDir().mkpath(folder);
    // Small photos keep 40 tiles quick; the content is irrelevant here.
    for (int i = 0; i < 40; ++i)
        QVERIFY(cv::imwrite(photo(i).toStdString(), testutils::texturedBgr(64, 48, i)));
    QMsgBox::setTestHook([this](QMsgBox::Kind, const QString& text) {
        warnings << text;
        return 1;
    });
    QFileChooser::setOpenManyHook([this](const QString&, const QString&, const QString&) {
        const QStringList answer = picks;
        picks.clear();
        return answer;
    });
}

void TestBatchDialog::init()
{
    warnings.clear();
    picks.clear();
}

void TestBatchDialog::cleanupTestCase()
{
    QMsgBox::setTestHook(nullptr);
    QFileChooser::setOpenManyHook(nullptr);
}

QString TestBatchDialog::photo(int i) const
{
    return QString("%1/p%2.png").arg(folder).arg(i, 2, 10, QChar('0'));
}

void TestBatchDialog::drop(QBatchMattingDialog& d, const QStringList& files)
{
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& f : files)
        urls << (f.contains("://") ? QUrl(f) : QUrl::fromLocalFile(f));
    mime.setUrls(urls);
    QWidget* page = d.findChild<QWidget*>("pageAddImage");
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(page, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent dropEvent(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(page, &dropEvent);
}

void TestBatchDialog::limitAndWarning_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    QTest::addColumn<int>("kept");
    QTest::addColumn<int>("warned");
    QTest::newRow("40 at once") << 40 << 0 << 30 << 1;
    QTest::newRow("30 then the 31st") << 30 << 1 << 30 << 1;
    QTest::newRow("29 then 1") << 29 << 1 << 30 << 0;
    QTest::newRow("exactly 30") << 30 << 0 << 30 << 0;
}

void TestBatchDialog::limitAndWarning()
{
    QFETCH(int, first);
    QFETCH(int, second);
    QFETCH(int, kept);
    QFETCH(int, warned);
    QBatchMattingDialog d(0);
    for (int i = 0; i < first; ++i)
        picks << photo(i);
    d.onBtnAddImage();
    for (int i = first; i < first + second; ++i)
        picks << photo(i);
    if (second)
        d.onBtnAddImage();
    settle();
    QCOMPARE(d.paths().size(), kept);
    QCOMPARE(d.items().size(), kept + 1);
    QCOMPARE(d.paths().first(), photo(0));
    QCOMPARE(d.paths().last(), photo(kept - 1));
    QCOMPARE(count(d), QString::number(kept));
    QCOMPARE(warnings.size(), warned);
    if (warned)
        QVERIFY(warnings.first().startsWith("Up to 30 images can be added."));
    QCOMPARE(CSetting::getString("default", "path", ""), folder);
}

void TestBatchDialog::dropFilter_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("kept");
    QTest::newRow("mixed case") << QStringList{"a.PNG", "b.Jpeg", "c.gif", "d.txt"}
                                << QStringList{"a.PNG", "b.Jpeg"};
    QTest::newRow("bmp and jpg") << QStringList{"x.bmp", "y.JPG"} << QStringList{"x.bmp", "y.JPG"};
    QTest::newRow("no suffix, dotted name") << QStringList{"noext", "png", "z.png.txt"} << QStringList{};
    QTest::newRow("remote url") << QStringList{"http://example.org/a.png", "k.png"} << QStringList{"k.png"};
}

void TestBatchDialog::dropFilter()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, kept);
    QBatchMattingDialog d(1);
    QStringList files;
    for (const QString& n : names)
        files << (n.contains("://") ? n : folder + "/" + n);
    drop(d, files);
    settle();
    QStringList expected;
    for (const QString& n : kept)
        expected << folder + "/" + n;
    QCOMPARE(d.paths(), expected);
    QCOMPARE(d.findChild<QStackedWidget*>("stackedWidget")->currentIndex(), kept.isEmpty() ? 0 : 1);
}

void TestBatchDialog::duplicates_data()
{
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<int>("expected");
    const QString p = QDir::tempPath() + "/Same.png";
    QTest::newRow("same path twice") << QStringList{p, p} << 1;
    QTest::newRow("other letter case") << QStringList{p, QDir::tempPath() + "/same.png"} << 2;
    QTest::newRow("same path in later call") << QStringList{p, "|", p} << 1;
}

void TestBatchDialog::duplicates()
{
    QFETCH(QStringList, added);
    QFETCH(int, expected);
    QBatchMattingDialog d(0);
    // "|" separates two add operations.
    QStringList batch;
    for (const QString& p : added + QStringList{"|"}) {
        if (p == "|") {
            d.addFiles(batch);
            batch.clear();
        } else {
            batch << p;
        }
    }
    settle();
    QCOMPARE(d.paths().size(), expected);
    QCOMPARE(d.items().size(), expected + 1);
    QVERIFY(warnings.isEmpty());
}

void TestBatchDialog::gridPositions_data()
{
    QTest::addColumn<int>("images");
    QTest::addColumn<int>("removeAt"); // image index removed afterwards, -1 none
    QTest::newRow("five") << 5 << -1;
    QTest::newRow("ten") << 10 << -1;
    QTest::newRow("five, first removed") << 5 << 0;
    QTest::newRow("eleven, middle removed") << 11 << 6;
}

void TestBatchDialog::gridPositions()
{
    QFETCH(int, images);
    QFETCH(int, removeAt);
    QBatchMattingDialog d(0);
    QStringList files;
    for (int i = 0; i < images; ++i)
        files << photo(i);
    d.addFiles(files);
    settle();
    if (removeAt >= 0) {
        QImageItem* tile = d.items().at(removeAt + 1);
        QPointer<QImageItem> guard(tile);
        tile->show();
        QTest::mouseClick(tile->findChild<QPushButton*>("btnItemDelete"), Qt::LeftButton);
        settle();
        QVERIFY(guard.isNull());
        files.removeAt(removeAt);
    }
    QCOMPARE(d.paths(), files);
    auto* grid = d.findChild<QGridLayout*>("gridLayout");
    QCOMPARE(grid->count(), files.size() + 1);
    QVERIFY(d.items().first()->isAddTile());
    for (int i = 0; i < d.items().size(); ++i) {
        int row = -1, column = -1, rs, cs;
        grid->getItemPosition(grid->indexOf(d.items().at(i)), &row, &column, &rs, &cs);
        QCOMPARE(row, i / 5);
        QCOMPARE(column, i % 5);
        if (i > 0)
            QCOMPARE(d.items().at(i)->path(), files.at(i - 1));
    }
}

void TestBatchDialog::removingLastImage()
{
    QBatchMattingDialog d(0);
    d.addFiles({photo(0)});
    settle();
    QVERIFY(cutout(d)->isEnabled());
    QCOMPARE(count(d), QString("1"));
    d.onRemoveItem(d.items().at(1));
    d.onRemoveItem(nullptr);
    settle();
    QCOMPARE(d.items().size(), 1);
    QVERIFY(d.paths().isEmpty());
    QCOMPARE(count(d), QString("0"));
    QVERIFY(!cutout(d)->isEnabled());
    QCOMPARE(d.findChild<QStackedWidget*>("stackedWidget")->currentIndex(), 1);
}

void TestBatchDialog::cancelledPickerKeepsFolder()
{
    CSetting::setValue("default", "path", "/nowhere/kept");
    QBatchMattingDialog d(0);
    d.onBtnAddImage(); // picks is empty: the user cancelled
    settle();
    QCOMPARE(CSetting::getString("default", "path", ""), QString("/nowhere/kept"));
    QVERIFY(d.paths().isEmpty());
    QCOMPARE(d.findChild<QStackedWidget*>("stackedWidget")->currentIndex(), 0);
}

void TestBatchDialog::returnAcceptsWithoutImage()
{
    QBatchMattingDialog d(1);
    QCOMPARE(d.findChild<QLabel*>("labelTitle")->text(), QString("Remove product background in bulk"));
    QVERIFY(!cutout(d)->isEnabled());
    // Ends a dialog that ignored its key with a result no key gives, instead of hanging.
    QTimer::singleShot(3000, &d, [&d] { d.done(42); });
    QTimer::singleShot(0, [&d] { QTest::keyClick(&d, Qt::Key_Return); });
    QCOMPARE(d.exec(), int(QDialog::Accepted));
    QVERIFY(d.paths().isEmpty());
    QTimer::singleShot(0, [&d] { QTest::keyClick(&d, Qt::Key_Escape); });
    QCOMPARE(d.exec(), int(QDialog::Rejected));
}

void TestBatchDialog::undecodableFileStillGetsTile()
{
    const QString broken = folder + "/broken.jpg";
    QVERIFY(testutils::writeFile(broken, "not a picture"));
    QBatchMattingDialog d(0);
    d.addFiles({broken, folder + "/missing.png"});
    settle();
    QCOMPARE(d.paths().size(), 2);
    for (QImageItem* item : d.items()) {
        QVERIFY(item->thumbnail().isNull());
        // The tile says which file it is and that it has no picture.
        QVERIFY2(item->toolTip().contains(QFileInfo(item->path()).fileName()), qPrintable(item->toolTip()));
        item->grab(); // painting a tile without thumbnail must not crash
    }
}

BRISEL_TEST_MAIN(TestBatchDialog)
#include "tst_batchdialog.moc"
