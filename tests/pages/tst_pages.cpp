// The side panel's pages driven with the mouse: one tool page at a time, the
// brush view only with the cut-out page, every page back at its defaults after a
// reset; and the change-background page's choices, own pictures, unusable files.

#include "imagefixtures.h"
#include "qcropwidget.h"
#include "qfilechooser.h"
#include "qimagebutton.h"
#include "qimagecutoutwidget.h"
#include "qimagesettings.h"
#include "qmaskstroke.h"
#include "qmsgbox.h"
#include "qpagechangebg.h"
#include "qpagecrop.h"
#include "qpagecutout.h"
#include "qpagemanager.h"
#include "qsizebutton.h"
#include "testutils.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>

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

class TestPages : public QObject
{
    Q_OBJECT

    QStringList m_messages;
    QString m_pick;
    std::unique_ptr<QWidget> m_host;
    QHBoxLayout* m_panel = nullptr;
    QCropWidget* m_view = nullptr;
    QPageManager* m_manager = nullptr;

    template <typename T = QWidget> T* in(int key, const char* name)
    {
        return m_manager->page(key)->findChild<T*>(QLatin1String(name));
    }

    // The pages beside a crop view, as the window lays them out.
    bool showPanel()
    {
        m_host = std::make_unique<QWidget>();
        m_panel = new QHBoxLayout(m_host.get());
        m_view = new QCropWidget(m_host.get());
        m_panel->addWidget(m_view, 1);
        m_manager = new QPageManager(nullptr);
        m_manager->setParent(m_host.get());
        m_manager->setLayout(m_panel);
        m_manager->connectView(m_view);
        m_host->resize(1000, 700);
        m_host->show();
        return QTest::qWaitForWindowExposed(m_host.get());
    }

private slots:
    void initTestCase()
    {
        QMsgBox::setTestHook([this](QMsgBox::Kind, const QString& text) {
            m_messages << text;
            return 1;
        });
        QFileChooser::setOpenHook([this](const QString&, const QString&, const QString&) { return m_pick; });
    }

    void cleanup() { m_host.reset(); }

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

    // An unknown key hides the page shown, and the brush view goes with the cut-out page.
    void showsOnePageAtATime()
    {
        QVERIFY(showPanel());
        for (int shown : {1, 2, -1}) {
            m_manager->showPage(shown < 0 ? 5 : shown);
            QCOMPARE(m_manager->currentPage(), shown);
            for (int key = 0; key < 5; ++key) {
                QCOMPARE(m_manager->page(key)->isVisible(), key == shown);
                QCOMPARE(m_panel->indexOf(m_manager->page(key)) >= 0, key == shown);
            }
            QCOMPARE(m_view->activeView(), shown == 1 ? QCropWidget::BrushView : QCropWidget::CropView);
            QCOMPARE(m_view->brushView()->isVisible(), shown == 1);
        }
    }

    // With every page away from its defaults, a reset brings them all back without
    // announcing a choice, the brush view follows, and the open page stays open.
    void resetRestoresDefaults()
    {
        QVERIFY(showPanel());
        m_manager->showPage(QPageManager::CutOut);
        QImageCutoutWidget* brush = m_view->brushView();
        QTest::mouseClick(in<QPushButton>(QPageManager::CutOut, "btnKeep"), Qt::LeftButton);
        QTest::mouseClick(in<QPushButton>(QPageManager::CutOut, "btnTabMagic"), Qt::LeftButton);
        in<QSlider>(QPageManager::CutOut, "hSliderBrushSize")->setValue(33);
        in<QSlider>(QPageManager::CutOut, "hSliderHardness")->setValue(7);
        in<QSlider>(QPageManager::CutOut, "hSliderTolerance")->setValue(200);
        auto* crop = qobject_cast<QPageCrop*>(m_manager->page(QPageManager::Crop));
        m_manager->showPage(QPageManager::Crop);
        QTest::mouseClick(in<QPushButton>(QPageManager::Crop, "btnTabEcommerce"), Qt::LeftButton);
        for (QSizeButton* b : crop->findChildren<QSizeButton*>())
            if (b->name() == "800*800")
                QTest::mouseClick(b, Qt::LeftButton);
        QCOMPARE(crop->currentCode(), 17);
        auto* changeBg = qobject_cast<QPageChangeBg*>(m_manager->page(QPageManager::ChangeBg));
        QImageButton* firstSwatch = changeBg->selectedButton();
        m_manager->showPage(QPageManager::ChangeBg);
        QTest::mouseClick(changeBg->findChildren<QImageButton*>().at(3), Qt::LeftButton);
        QVERIFY(changeBg->selectedButton() != firstSwatch);

        QSignalSpy resets(m_manager, &QPageManager::signal_reset);
        QSignalSpy sizes(crop, &QPageCrop::signal_apply_crop_size);
        QSignalSpy colours(changeBg, &QPageChangeBg::signal_color),
            images(changeBg, &QPageChangeBg::signal_image);
        m_manager->reset();
        QCOMPARE(resets.size(), 1);
        QCOMPARE(sizes.size() + colours.size() + images.size(), 0);
        QVERIFY(!brush->isKeepMode() && !brush->isMagicMode());
        QCOMPARE(brush->brushSize(), 12);
        QCOMPARE(qobject_cast<QPageCutOut*>(m_manager->page(QPageManager::CutOut))->brushHardness(),
                 QMaskStroke::kMaxHardness);
        QCOMPARE(int(QImageSettings::tolerance()), 10);
        QCOMPARE(changeBg->selectedButton(), firstSwatch);
        QCOMPARE(m_manager->currentPage(), int(QPageManager::ChangeBg));
        // "Apply" on the crop page now commits the whole picture.
        in<QPushButton>(QPageManager::Crop, "btnApplyCrop")->click();
        QCOMPARE(sizes.value(0).value(0).toInt(), 1);
    }
};

BRISEL_TEST_MAIN(TestPages)
#include "tst_pages.moc"
