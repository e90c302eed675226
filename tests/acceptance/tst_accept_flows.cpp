// The user flows of the program, each driven from the home page as a user does,
// with the saved files decoded and checked.

#include "acceptance.h"
#include "cwinapp.h"
#include "qmainwidget.h"

#include <QApplication>
#include <QDir>

using namespace acceptance;

namespace {

QPoint centre(const QImage& image)
{
    return QPoint(image.width() / 2, image.height() / 2);
}

bool near(QRgb a, QRgb b, int tolerance = 8)
{
    return qAbs(qRed(a) - qRed(b)) <= tolerance && qAbs(qGreen(a) - qGreen(b)) <= tolerance &&
           qAbs(qBlue(a) - qBlue(b)) <= tolerance && qAbs(qAlpha(a) - qAlpha(b)) <= tolerance;
}

} // namespace

class TestAcceptFlows : public QObject
{
    Q_OBJECT

    Service service;
    std::unique_ptr<QMainWidget> window;
    const QString out = testutils::sandboxPath() + "/out";

    // Opens `photo` from a card and sends results to `out`.
    bool open(const QString& photo, const QString& card = "EnterPerson")
    {
        return openPhoto(window.get(), card, photo) && chooseOutputFolder(window.get(), out);
    }
    // Opens (or closes) a tool page from the column on the left.
    bool tab(const QString& name) { return click(window.get(), name); }
    QImage saved(bool jpg = false, int outputSize = 3)
    {
        return choose(window.get(), "comboOutputSize", outputSize) ? decode(save(window.get(), out, jpg))
                                                                   : QImage();
    }

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(service.start(&error), qPrintable(error));
        QVERIFY(QDir().mkpath(out));
    }
    void init() { window = openWindow(); }
    void cleanup()
    {
        window.reset();
        QVERIFY2(messages().isEmpty() || QTest::currentTestFailed(), qPrintable(messages().join('\n')));
    }

    // Output sizes scale the photo's shape; a JPG has white where the background was.
    void cutAndSave_data()
    {
        QTest::addColumn<QString>("card");
        QTest::addColumn<QSize>("photo");
        QTest::addColumn<bool>("jpg");
        QTest::addColumn<int>("outputSize");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("person PNG 1080P") << "EnterPerson" << kSmall << false << 0 << QSize(1731, 1080);
        QTest::newRow("person PNG 2K") << "EnterPerson" << kSmall << false << 1 << QSize(2000, 1248);
        QTest::newRow("person JPG 4K") << "EnterPerson" << kSmall << true << 2 << QSize(4000, 2496);
        QTest::newRow("product PNG original") << "EnterGoods" << kSmall << false << 3 << kSmall;
        QTest::newRow("product JPG 1080P") << "EnterGoods" << kSmall << true << 0 << QSize(1731, 1080);
        QTest::newRow("big product PNG original") << "EnterGoods" << kBig << false << 3 << kBig;
    }
    void cutAndSave()
    {
        QFETCH(QString, card);
        QFETCH(QSize, photo);
        QFETCH(bool, jpg);
        QFETCH(int, outputSize);
        QFETCH(QSize, expected);
        const QString name = QString("%1-%2.jpg").arg(card).arg(photo.width());
        QVERIFY(open(card == "EnterGoods" ? productPhoto(name, photo) : personPhoto(name, photo), card));
        const QImage image = saved(jpg, outputSize);
        QCOMPARE(image.size(), expected);
        if (jpg)
            QVERIFY(near(image.pixel(1, 1), qRgb(255, 255, 255)));
        else
            QVERIFY(cornersTransparent(image));
        QCOMPARE(qAlpha(image.pixel(centre(image))), 255);
        QCOMPARE(shownFolders().size(), 1);
    }

    void brokenPhotoIsReported()
    {
        answerFileDialog(corruptPhoto("broken.jpg"));
        QVERIFY(click(window.get(), "EnterPerson"));
        QVERIFY(waitFor([] { return messages().size() == 1; }));
        clearMessages();
        QVERIFY(waitFor([this] { return find(window.get(), "EnterPerson") != nullptr; }));
    }

    // A certificate size crops to its pixels and the file says 300 dpi, so it
    // prints at the right size.
    void idPhoto()
    {
        QVERIFY(open(personPhoto("id.jpg"), "EnterCard"));
        QVERIFY(tab("BtnTabCrop"));
        QVERIFY(click(window.get(), "btnTabCertificate"));
        QWidget* size = findText(window.get(), "295x413");
        QVERIFY(size);
        QTest::mouseClick(size, Qt::LeftButton, Qt::NoModifier, size->rect().center());
        QVERIFY(click(window.get(), "btnApplyCrop"));
        const QImage image = saved();
        QCOMPARE(image.size(), QSize(295, 413));
        QCOMPARE(dpi(image), 300);
    }
};

ACCEPTANCE_MAIN(TestAcceptFlows)
#include "tst_accept_flows.moc"
