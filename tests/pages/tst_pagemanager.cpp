// The side panel: one tool page at a time, the brush view only with the cut-out
// page, and every page back at its defaults after a reset.

#include "qcropwidget.h"
#include "qimagebutton.h"
#include "qimagecutoutwidget.h"
#include "qimagesettings.h"
#include "qmaskstroke.h"
#include "qpagechangebg.h"
#include "qpagecrop.h"
#include "qpagecutout.h"
#include "qpagemanager.h"
#include "qsizebutton.h"
#include "testutils.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>

class TestPageManager : public QObject
{
    Q_OBJECT

    std::unique_ptr<QWidget> m_host;
    QHBoxLayout* m_panel = nullptr;
    QCropWidget* m_view = nullptr;
    QPageManager* m_manager = nullptr;

    template <typename T = QWidget> T* in(int key, const char* name)
    {
        return m_manager->page(key)->findChild<T*>(QLatin1String(name));
    }

private slots:
    void init()
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
        QVERIFY(QTest::qWaitForWindowExposed(m_host.get()));
    }
    void cleanup() { m_host.reset(); }

    // An unknown key hides the page shown, and the brush view goes with the cut-out page.
    void showsOnePageAtATime()
    {
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

BRISEL_TEST_MAIN(TestPageManager)
#include "tst_pagemanager.moc"
