// Photos in other formats and what their saved files keep: a WebP with alpha, a
// phone's HEIC, a camera's turned JPG with its location and colour profile.

#include "acceptance.h"
#include "photometadata.h"
#include "qmainwidget.h"

#include <QImageReader>
#include <QImageWriter>
#include <QPainter>

using namespace acceptance;

class TestAcceptMedia : public Scenarios
{
    Q_OBJECT

private slots:
    void init() { window = openWindow(); }

    // Opened through the file dialog, cut out and saved in the format chosen: upright,
    // transparent where the background was (JPG: white), the profile kept, no
    // location, the orientation tag upright.
    void otherFormats_data()
    {
        QTest::addColumn<QString>("photo");
        QTest::addColumn<QString>("format");
        QImage withAlpha = QImage(personPhoto("alpha.png")).convertToFormat(QImage::Format_ARGB32);
        QPainter painter(&withAlpha);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(0, 0, withAlpha.width(), 12, QColor(30, 170, 60, 128));
        painter.end();
        const QString webp = testutils::sandboxPath() + "/photos/alpha.webp";
        QVERIFY(withAlpha.save(webp, "webp", 100) && QImageReader(webp).read().hasAlphaChannel());
        QTest::newRow("webp with alpha, saved as webp") << webp << "webp";
        const QString heic = testutils::sandboxPath() + "/photos/phone.heic";
        QVERIFY(QImageWriter(heic, "heif").write(QImage(personPhoto("phone.png"))));
        QTest::newRow("phone heic, saved as png") << heic << "png";
        const QString camera = orientedPhoto("camera.jpg", kSmall, 6);
        photometadata::tag(camera, 6, true, true);
        QTest::newRow("camera jpg turned, with gps and a profile") << camera << "jpg";
    }
    void otherFormats()
    {
        QFETCH(QString, photo);
        QFETCH(QString, format);
        QVERIFY(openPhoto(window.get(), "EnterPerson", photo) && chooseOutputFolder(window.get(), out));
        const QString saved = saveAs(window.get(), out, format);
        const QImage image = decode(saved);
        QCOMPARE(image.size(), kSmall);
        QVERIFY(format == "jpg" ? image.pixel(0, 0) == qRgb(255, 255, 255) : cornersTransparent(image));
        QCOMPARE(qAlpha(image.pixel(kSmall.width() * 0.4, kSmall.height() / 2)), 255);
        const photometadata::Found found = photometadata::read(saved);
        QVERIFY(found.orientation.isEmpty() || found.orientation == "1");
        QVERIFY(found.latitude.isEmpty() && found.bodySerial.isEmpty());
        QCOMPARE(found.profile, format == "jpg" ? photometadata::displayP3() : QByteArray());
    }
};

ACCEPTANCE_MAIN(TestAcceptMedia)
#include "tst_accept_media.moc"
