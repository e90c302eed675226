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
        QTest::newRow("cut-out") << QList<int>{1} << 1;
        QTest::newRow("cut-out then crop") << QList<int>{1, 2} << 2;
        QTest::newRow("beautify") << QList<int>{0, 4} << 4;
        QTest::newRow("advanced has no tab but exists") << QList<int>{3} << 3;
        QTest::newRow("unknown key hides the shown page") << QList<int>{2, 5} << -1;
        QTest::newRow("hidden") << QList<int>{1, -1} << -1;
        QTest::newRow("same page twice") << QList<int>{4, 4} << 4;
        QTest::newRow("back to the first") << QList<int>{0, 1, 0} << 0;
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
        QCOMPARE(frame.size(), 2);
        QCOMPARE(frame[0][0].toBool(), true);
        QCOMPARE(frame[1][0].toBool(), false);
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

    void resetReturnsEveryPageToItsDefaults()
    {
        // Leave every page away from its defaults.
        m_manager->showPage(QPageManager::CutOut);
        QTest::mouseClick(in<QPushButton>(QPageManager::CutOut, "btnKeep"), Qt::LeftButton);
        QTest::mouseClick(in<QPushButton>(QPageManager::CutOut, "btnTabMagic"), Qt::LeftButton);
        in<QSlider>(QPageManager::CutOut, "hSliderBrushSize")->setValue(50);

        m_manager->showPage(QPageManager::Crop);
        QTest::mouseClick(in<QPushButton>(QPageManager::Crop, "btnTabEcommerce"), Qt::LeftButton);
        QSizeButton* product = nullptr;
        for (QSizeButton* b : m_manager->page(QPageManager::Crop)->findChildren<QSizeButton*>())
            if (b->name() == "800*800")
                product = b;
        QVERIFY(product);
        QTest::mouseClick(product, Qt::LeftButton);

        auto* changeBg = qobject_cast<QPageChangeBg*>(m_manager->page(QPageManager::ChangeBg));
        m_manager->showPage(QPageManager::ChangeBg);
        QTest::mouseClick(in<QPushButton>(QPageManager::ChangeBg, "btnTemplate"), Qt::LeftButton);
        QImageButton* firstSwatch = changeBg->selectedButton();
        QImageButton* someTemplate = changeBg->findChildren<QImageButton*>().at(20);
        QTest::mouseClick(someTemplate, Qt::LeftButton);
        QCOMPARE(changeBg->selectedButton(), someTemplate);

        m_manager->showPage(QPageManager::Beautify);
        QList<QSlider*> beautySliders = m_manager->page(QPageManager::Beautify)->findChildren<QSlider*>();
        QCOMPARE(beautySliders.size(), 2);
        for (QSlider* s : beautySliders)
            s->setValue(17);

        QSignalSpy resets(m_manager, &QPageManager::signal_reset);
        m_manager->reset();
        QCOMPARE(resets.size(), 1);

        QCOMPARE(in<QSlider>(QPageManager::CutOut, "hSliderBrushSize")->value(), 12);
        QVERIFY(!in<QPushButton>(QPageManager::CutOut, "btnKeep")->property("checked").toBool());
        QVERIFY(in<QPushButton>(QPageManager::CutOut, "btnTabBrush")->property("checked").toBool());
        QVERIFY(!m_view->brushView()->isKeepMode());
        QVERIFY(!m_view->brushView()->isMagicMode());
        QCOMPARE(m_view->brushView()->brushSize(), 12);

        auto* crop = qobject_cast<QPageCrop*>(m_manager->page(QPageManager::Crop));
        QCOMPARE(crop->currentCode(), 1);
        QCOMPARE(crop->selectedButton()->name(), QString("Original image"));
        QVERIFY(!product->isChecked());

        QCOMPARE(changeBg->selectedButton(), firstSwatch);
        QVERIFY(!someTemplate->isChecked());

        for (QSlider* s : beautySliders)
            QCOMPARE(s->value(), 0);
        // The shown page stays where it is; only its contents went back.
        QCOMPARE(m_manager->currentPage(), int(QPageManager::Beautify));
    }
};

BRISEL_TEST_MAIN(TestPageManager)
#include "tst_pagemanager.moc"
