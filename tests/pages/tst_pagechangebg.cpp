// The change-background page driven with the mouse: each choice, own pictures, unusable files.

#include "imagefixtures.h"
#include "qfilechooser.h"
#include "qimagebutton.h"
#include "qmsgbox.h"
#include "qpagechangebg.h"
#include "testutils.h"

#include <QApplication>
#include <QGridLayout>
#include <QSignalSpy>

namespace {

QImageButton* cell(QWidget* page, const char* grid, int index)
{
    QLayoutItem* item =
        page->findChild<QGridLayout*>(QLatin1String(grid))->itemAtPosition(index / 5, index % 5);
    return item ? qobject_cast<QImageButton*>(item->widget()) : nullptr;
}

// A wide picture in three bands, so its centred square is all green.
QByteArray bandedPng()
{
    cv::Mat image(80, 120, CV_8UC3, cv::Scalar::all(0));
    image(cv::Rect(20, 0, 80, 80)).setTo(cv::Scalar(0, 255, 0));
    return imagefixtures::encoded(image, ".png");
}

} // namespace

class TestPageChangeBg : public QObject
{
    Q_OBJECT

    QStringList m_messages;
    QString m_pick;

private slots:
    void initTestCase()
    {
        QMsgBox::setTestHook([this](QMsgBox::Kind, const QString& text) {
            m_messages << text;
            return 1;
        });
        QFileChooser::setOpenHook([this](const QString&, const QString&, const QString&) { return m_pick; });
    }

    void choices_data()
    {
        QTest::addColumn<QString>("choice"); // "colour N" or a file name to pick
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QVariant>("sent"); // colour, picture, or nothing
        QTest::addColumn<QString>("message");
        QTest::newRow("last colour, third row")
            << "colour 13" << QByteArray() << QVariant(QColor(226, 195, 165)) << "";
        QTest::newRow("own picture") << "own.png" << bandedPng() << QVariant("own.png") << "";
        QTest::newRow("truncated PNG") << "broken.png" << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)
                                       << QVariant() << "cannot be read";
        // A JPEG header claiming 65500 x 65500 pixels with no pixels behind it.
        const QByteArray header = QByteArray::fromHex("FFD8FFC0001108FFDCFFDC03011100021100031100FFDA000C"
                                                      "03010002000300003F0000FFD9");
        QTest::newRow("huge JPEG header") << "broken.jpg" << header << QVariant() << "too large";
    }
    void choices()
    {
        QFETCH(QString, choice);
        QFETCH(QByteArray, bytes);
        QFETCH(QVariant, sent);
        QFETCH(QString, message);
        m_messages.clear();
        QPageChangeBg page;
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QSignalSpy colours(&page, &QPageChangeBg::signal_color), images(&page, &QPageChangeBg::signal_image);
        QImageButton* chosen = page.selectedButton(); // the transparent swatch at start
        if (bytes.isNull()) {
            chosen = cell(&page, "gridLayoutColor", choice.section(' ', 1).toInt());
            QTest::mouseClick(chosen, Qt::LeftButton);
        } else {
            m_pick = testutils::sandboxPath() + "/pictures/" + choice;
            QVERIFY(testutils::writeFile(m_pick, bytes));
            if (sent.isValid())
                sent = m_pick;
            QTest::mouseClick(cell(&page, "gridLayoutCustom", 0), Qt::LeftButton);
            QTRY_COMPARE(images.size() + m_messages.size(), 1);
            chosen = sent.isValid() ? nullptr : chosen;
        }
        QCOMPARE(colours.size() + images.size(), sent.isValid() ? 1 : 0);
        QCOMPARE((colours.isEmpty() ? images : colours).value(0).value(0), sent);
        // Only the clicked swatch shows selected; an own picture clears it, a refused one keeps it.
        QCOMPARE(page.selectedButton(), chosen);
        int shown = 0;
        for (QImageButton* b : page.findChildren<QImageButton*>())
            shown += b->isChecked() || b->isSelectionShown() ? 1 : 0;
        QCOMPARE(shown, chosen ? 1 : 0);
        QCOMPARE(m_messages.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty())
            QVERIFY2(m_messages[0].contains(choice) && m_messages[0].contains(message),
                     qPrintable(m_messages[0]));
        QCOMPARE(page.customPaths(), bytes.isNull() || !sent.isValid() ? QStringList() : QStringList{m_pick});
        if (page.customPaths().isEmpty())
            return;
        // An own picture gets the next cell with a thumbnail of its centred square.
        const QImage thumb(cell(&page, "gridLayoutCustom", 1)->text());
        QCOMPARE(thumb.size(), QSize(38, 38));
        for (const QPoint p : {QPoint(2, 19), QPoint(35, 19)})
            QCOMPARE(QColor(thumb.pixel(p)), QColor(Qt::green));
    }
};

BRISEL_TEST_MAIN(TestPageChangeBg)
#include "tst_pagechangebg.moc"
