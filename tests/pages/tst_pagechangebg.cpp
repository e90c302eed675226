// The change-background page driven with the mouse: what the swatches send, own
// pictures with their thumbnails (the same file twice,
// unreadable files, the grid position of the n-th picture). Its reset is checked
// with the other pages'.

#include "cglobal.h"
#include "csetting.h"
#include "qfilechooser.h"
#include "qimagebutton.h"
#include "qmsgbox.h"
#include "qpagechangebg.h"
#include "testutils.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>

namespace {

QImageButton* cell(QWidget* page, const char* grid, int row, int column)
{
    QLayoutItem* item = page->findChild<QGridLayout*>(QLatin1String(grid))->itemAtPosition(row, column);
    return item ? qobject_cast<QImageButton*>(item->widget()) : nullptr;
}

int swatchesShowingSelection(QWidget* page)
{
    int n = 0;
    for (QImageButton* b : page->findChildren<QImageButton*>())
        n += b->isChecked() || b->isSelectionShown() ? 1 : 0;
    return n;
}

// A picture in three vertical (or horizontal) bands, so the centred square of a
// wide (or tall) picture is all of the middle colour.
QString makeBandedPicture(const QString& name, QSize size, QColor middle)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter p(&image);
    const int side = qMin(size.width(), size.height());
    p.fillRect(QRect((size.width() - side) / 2, (size.height() - side) / 2, side, side), middle);
    p.end();
    const QString path = testutils::sandboxPath() + "/pictures/" + name;
    QDir().mkpath(QFileInfo(path).absolutePath());
    return image.save(path) ? path : QString();
}

} // namespace

class TestPageChangeBg : public QObject
{
    Q_OBJECT

    QStringList m_messages;
    QStringList m_pickerFolders; // where the picker opened
    QString m_pick;
    std::unique_ptr<QPageChangeBg> m_page;

    QImageButton* addButton() { return cell(m_page.get(), "gridLayoutCustom", 0, 0); }

    // Picks `path` in the file picker and waits for what the page then sends.
    QList<QVariantList> addPicture(const QString& path)
    {
        QSignalSpy spy(m_page.get(), &QPageChangeBg::signal_image);
        m_pick = path;
        QTest::mouseClick(addButton(), Qt::LeftButton);
        spy.wait(1000);
        return spy;
    }

private slots:
    void initTestCase()
    {
        QMsgBox::setTestHook([this](QMsgBox::Kind, const QString& text) {
            m_messages << text;
            return 1;
        });
        QFileChooser::setOpenHook([this](const QString&, const QString& folder, const QString&) {
            m_pickerFolders << folder;
            return m_pick;
        });
    }

    void init()
    {
        m_messages.clear();
        m_pickerFolders.clear();
        m_page = std::make_unique<QPageChangeBg>();
        m_page->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_page.get()));
    }

    void cleanup() { m_page.reset(); }

    void swatches_data()
    {
        QTest::addColumn<bool>("onTemplates");
        QTest::addColumn<int>("index");
        QTest::addColumn<QColor>("color"); // invalid: a picture is sent
        QTest::addColumn<QString>("background");
        QTest::newRow("transparent colour") << false << 0 << QColor(0, 0, 0, 0) << QString();
        QTest::newRow("last colour, third row") << false << 13 << QColor(226, 195, 165) << QString();
        QTest::newRow("first template is none") << true << 0 << QColor(0, 0, 0, 0) << QString();
        QTest::newRow("last template") << true << 14 << QColor() << QString(":/template/bg15.jpg");
    }

    void swatches()
    {
        QFETCH(bool, onTemplates);
        QFETCH(int, index);
        QFETCH(QColor, color);
        QFETCH(QString, background);
        QVERIFY(cell(m_page.get(), "gridLayoutColor", 0, 0)->isSelectionShown());
        if (onTemplates)
            QTest::mouseClick(m_page->findChild<QPushButton*>("btnTemplate"), Qt::LeftButton);

        QImageButton* b =
            cell(m_page.get(), onTemplates ? "gridLayoutTemplate" : "gridLayoutColor", index / 5, index % 5);
        QSignalSpy colors(m_page.get(), &QPageChangeBg::signal_color);
        QSignalSpy images(m_page.get(), &QPageChangeBg::signal_image);
        QTest::mouseClick(b, Qt::LeftButton);
        QCOMPARE(colors.size(), color.isValid() ? 1 : 0);
        QCOMPARE(images.size(), color.isValid() ? 0 : 1);
        if (color.isValid())
            QCOMPARE(colors[0][0].value<QColor>().rgba(), color.rgba());
        else
            QCOMPARE(images[0][0].toString(), background);
        QVERIFY2(background.isEmpty() || !QImage(background).isNull(), qPrintable(background));
        // The transparent swatch chosen at start let go of its selection.
        QCOMPARE(m_page->selectedButton(), b);
        QVERIFY(b->isSelectionShown());
        QCOMPARE(swatchesShowingSelection(m_page.get()), 1);
    }

    void customPictures()
    {
        QStringList paths;
        auto colour = [](int i) { return QColor::fromHsv(i * 30, 255, 200); };
        for (int i = 1; i <= 6; ++i) {
            paths << makeBandedPicture(QString("own%1.png").arg(i), QSize(120, 80), colour(i));
            const QList<QVariantList> sent = addPicture(paths.last());
            QCOMPARE(sent.size(), 1);
            QCOMPARE(sent[0][0].toString(), paths.last());
            QCOMPARE(m_page->selectedButton(), nullptr);
        }
        QCOMPARE(m_page->customPaths(), paths);
        // The n-th picture sits in cell n (the add button keeps cell 0) with a
        // thumbnail of its own, though all were added within the same seconds.
        for (int i = 1; i <= 6; ++i) {
            QImageButton* b = cell(m_page.get(), "gridLayoutCustom", i / 5, i % 5);
            QVERIFY2(b, qPrintable(QString("no button for picture %1").arg(i)));
            QCOMPARE(QFileInfo(b->text()).absolutePath() + "/", QPageChangeBg::thumbnailFolder());
            const QImage thumb(b->text());
            QCOMPARE(thumb.size(), QSize(38, 38));
            // Only the centred square of the picture: none of its black bands.
            for (const QPoint p : {QPoint(2, 19), QPoint(35, 19)})
                QCOMPARE(QColor(thumb.pixel(p)).rgb(), colour(i).rgb());
        }
        QVERIFY(!cell(m_page.get(), "gridLayoutCustom", 1, 2));
        QCOMPARE(m_pickerFolders.last(),
                 QFileInfo(paths.last()).absolutePath()); // opens where the last came from
        // The same file again is sent but not added twice.
        const int buttons = m_page->findChildren<QImageButton*>().size();
        QCOMPARE(addPicture(paths[0]).size(), 1);
        QCOMPARE(m_page->findChildren<QImageButton*>().size(), buttons);
        QCOMPARE(m_page->customPaths(), paths);

        // A swatch of an own picture sends the picture, not its thumbnail.
        QSignalSpy images(m_page.get(), &QPageChangeBg::signal_image);
        QImageButton* third = cell(m_page.get(), "gridLayoutCustom", 0, 3);
        QTest::mouseClick(third, Qt::LeftButton);
        QCOMPARE(images.size(), 1);
        QCOMPARE(images[0][0].toString(), paths[2]);
        QCOMPARE(m_page->selectedButton(), third);
    }

    void unusablePictures_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        QTest::newRow("truncated PNG") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) << "cannot be read";
        // A JPEG header claiming 65500 x 65500 pixels with no pixels behind it.
        const unsigned char header[] = {
            0xFF, 0xD8,                                                       // start of image
            0xFF, 0xC0, 0x00, 0x11, 0x08, 0xFF, 0xDC, 0xFF, 0xDC, 0x03,       // frame: 65500 x 65500
            0x01, 0x11, 0x00, 0x02, 0x11, 0x00, 0x03, 0x11, 0x00,             // three components
            0xFF, 0xDA, 0x00, 0x0C, 0x03, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00, // scan
            0x00, 0x3F, 0x00, 0x00, 0xFF, 0xD9};
        const QByteArray huge(reinterpret_cast<const char*>(header), int(sizeof(header)));
        QTest::newRow("huge JPEG header") << huge << "too large";
    }

    void unusablePictures()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        // Named as what it claims to be, as a user's file would be.
        const QString path = testutils::sandboxPath() +
                             (bytes.startsWith("\xFF\xD8") ? "/pictures/broken.jpg" : "/pictures/broken.png");
        QVERIFY(testutils::writeFile(path, bytes));
        const int buttons = m_page->findChildren<QImageButton*>().size();
        QCOMPARE(addPicture(path).size(), 0);
        QCOMPARE(m_messages.size(), 1);
        QVERIFY2(m_messages[0].contains(QFileInfo(path).fileName()), qPrintable(m_messages[0]));
        QVERIFY2(m_messages[0].contains(reason), qPrintable(m_messages[0]));
        QCOMPARE(m_page->findChildren<QImageButton*>().size(), buttons);
        QVERIFY(m_page->customPaths().isEmpty());
    }
};

BRISEL_TEST_MAIN(TestPageChangeBg)
#include "tst_pagechangebg.moc"
