// The side panel: one tool page at a time in the panel's layout, the brush view
// only while the cut-out page is open, the cut-out page's choices reaching the
// brush view, and every page back at its defaults after a reset.

#include "qcropwidget.h"
#include "qimagebutton.h"
#include "qimagecutoutwidget.h"
#include "qpagechangebg.h"
#include "qpagecrop.h"
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

    template <typename T = QWidget>
    T* in(int key, const char* name)
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

    void showsOnePageAtATime_data()
    {
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<int>("shown");
        QTest::newRow("nothing at start") << QList<int>{} << -1;
        QTest::newRow("background") << QList<int>{0} << 0;
        QTest::newRow("cut-out then crop") << QList<int>{1, 2} << 2;
        QTest::newRow("advanced has no tab but exists") << QList<int>{3} << 3;
        QTest::newRow("unknown key hides the shown page") << QList<int>{2, 5} << -1;
        QTest::newRow("hidden") << QList<int>{1, -1} << -1;
        QTest::newRow("same page twice") << QList<int>{1, 4, 4} << 4;
    }

    void showsOnePageAtATime()
    {
        QFETCH(QList<int>, keys);
        QFETCH(int, shown);
        for (int key : keys)
            key < 0 ? m_manager->hidePage() : m_manager->showPage(key);
        QCOMPARE(m_manager->currentPage(), shown);
        for (int key = 0; key < 5; ++key) {
            QWidget* page = m_manager->page(key);
            QVERIFY(page);
            QCOMPARE(page->isVisible(), key == shown);
            QCOMPARE(m_panel->indexOf(page) >= 0, key == shown);
        }
        // The view and at most one page.
        QCOMPARE(m_panel->count(), shown < 0 ? 1 : 2);
        QCOMPARE(m_view->activeView(), shown == 1 ? QCropWidget::BrushView : QCropWidget::CropView);
        QCOMPARE(m_view->brushView()->isVisible(), shown == 1);
    }

    void cropPageShowsTheFrameWhileOpen()
    {
        QSignalSpy frame(qobject_cast<QPageCrop*>(m_manager->page(QPageManager::Crop)),
                         &QPageCrop::signal_show_crop_frame);
        m_manager->showPage(QPageManager::Crop);
        m_manager->showPage(QPageManager::ChangeBg);
        QCOMPARE(static_cast<QList<QVariantList>>(frame), (QList<QVariantList>{{true}, {false}}));
    }

    void cutOutChoicesReachTheBrushView()
    {
        m_manager->showPage(QPageManager::CutOut);
        QImageCutoutWidget* brush = m_view->brushView();
        QTest::mouseClick(in<QPushButton>(QPageManager::CutOut, "btnKeep"), Qt::LeftButton);
        QVERIFY(brush->isKeepMode());
        QTest::mouseClick(in<QPushButton>(QPageManager::CutOut, "btnTabMagic"), Qt::LeftButton);
        QVERIFY(brush->isMagicMode());
        QTest::mouseClick(in<QPushButton>(QPageManager::CutOut, "btnTabBrush"), Qt::LeftButton);
        QVERIFY(!brush->isMagicMode());
        in<QSlider>(QPageManager::CutOut, "hSliderBrushSize")->setValue(33);
        QCOMPARE(brush->brushSize(), 33);
        // The view changing the size itself (its keys) moves the page's slider.
        emit m_view->signal_brush_size_changed(21);
        QCOMPARE(in<QSlider>(QPageManager::CutOut, "hSliderBrushSize")->value(), 21);
    }

    // Each page's own reset is tested with the page; here: every page is reached,
    // the brush view follows, and the open page stays open.
    void resetReachesEveryPage()
    {
        m_manager->showPage(QPageManager::CutOut);
        QTest::mouseClick(in<QPushButton>(QPageManager::CutOut, "btnKeep"), Qt::LeftButton);
        QTest::mouseClick(in<QPushButton>(QPageManager::CutOut, "btnTabMagic"), Qt::LeftButton);
        in<QSlider>(QPageManager::CutOut, "hSliderBrushSize")->setValue(50);
        auto* crop = qobject_cast<QPageCrop*>(m_manager->page(QPageManager::Crop));
        m_manager->showPage(QPageManager::Crop);
        QTest::mouseClick(crop->findChildren<QSizeButton*>().at(1), Qt::LeftButton);
        QVERIFY(crop->currentCode() != 1);
        auto* changeBg = qobject_cast<QPageChangeBg*>(m_manager->page(QPageManager::ChangeBg));
        QImageButton* firstSwatch = changeBg->selectedButton();
        m_manager->showPage(QPageManager::ChangeBg);
        QTest::mouseClick(changeBg->findChildren<QImageButton*>().at(3), Qt::LeftButton);
        QVERIFY(changeBg->selectedButton() != firstSwatch);
        m_manager->showPage(QPageManager::Beautify);
        QList<QSlider*> beautySliders = m_manager->page(QPageManager::Beautify)->findChildren<QSlider*>();
        for (QSlider* s : beautySliders)
            s->setValue(17);

        QSignalSpy resets(m_manager, &QPageManager::signal_reset);
        m_manager->reset();
        QCOMPARE(resets.size(), 1);
        QVERIFY(!m_view->brushView()->isKeepMode());
        QVERIFY(!m_view->brushView()->isMagicMode());
        QCOMPARE(m_view->brushView()->brushSize(), 12);
        QCOMPARE(crop->currentCode(), 1);
        QCOMPARE(changeBg->selectedButton(), firstSwatch);
        for (QSlider* s : beautySliders)
            QCOMPARE(s->value(), 0);
        QCOMPARE(m_manager->currentPage(), int(QPageManager::Beautify));
    }
};

BRISEL_TEST_MAIN(TestPageManager)
#include "tst_pagemanager.moc"
