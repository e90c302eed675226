// Copy and paste as a user meets them: a picture (or a photo file) copied in
// another program and pasted on the home page with Ctrl+V becomes the photo being
// edited, and Ctrl+C or Copy in the workspace puts the result on the clipboard,
// transparent around the subject, for the next program.

#include "acceptance.h"
#include "qimagecropwidget.h"
#include "qmainwidget.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QStackedWidget>

using namespace acceptance;

class TestAcceptOpenWith : public Scenarios
{
    Q_OBJECT

private slots:
    void pasteThenCopy_data()
    {
        QTest::addColumn<bool>("fileCopied");
        QTest::addColumn<bool>("copyButton");
        QTest::newRow("picture pasted, Ctrl+C") << false << false;
        QTest::newRow("file pasted, Copy button") << true << true;
    }
    void pasteThenCopy()
    {
        QFETCH(bool, fileCopied);
        QFETCH(bool, copyButton);
        window = openWindow();
        const QString photo = personPhoto(QStringLiteral("pasted.png"));
        auto* copied = new QMimeData;
        if (fileCopied)
            copied->setUrls({QUrl::fromLocalFile(photo)});
        else
            copied->setImageData(decode(photo));
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->setMimeData(copied);

        key(window.get(), Qt::Key_V, Qt::ControlModifier);
        auto* pages = window->findChild<QStackedWidget*>(QStringLiteral("stackedWidget"));
        auto* view = window->findChild<QImageCropWidget*>(QStringLiteral("cropView"));
        QVERIFY(waitFor([&] { return pages->currentIndex() == QMainWidget::PageImage && view->hasImage(); }));

        clipboard->clear();
        if (copyButton)
            QVERIFY(click(window.get(), QStringLiteral("btnCopy")));
        else
            key(window.get(), Qt::Key_C, Qt::ControlModifier);
        QVERIFY(waitFor([clipboard] {
            const QMimeData* copied = clipboard->mimeData();
            return copied && copied->hasFormat(QStringLiteral("image/png"));
        }));
        const QImage result = QImage::fromData(clipboard->mimeData()->data(QStringLiteral("image/png")));
        QCOMPARE(result.size(), kSmall);
        QVERIFY(cornersTransparent(result));
        QCOMPARE(qAlpha(result.pixel(kSmall.width() / 2, kSmall.height() / 2)), 255);
    }
};

ACCEPTANCE_MAIN(TestAcceptOpenWith)
#include "tst_accept_openwith.moc"
