// The side panel: one tool page at a time in the panel's layout, the brush view
// only while the cut-out page is open, the cut-out page's choices reaching the
// brush view, every page back at its defaults after a reset; and the crop page
// driven with the mouse and keyboard: the size each button sends, the custom
// size's bounds.

#include "qcropwidget.h"
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

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStackedWidget>

namespace {

void typeInto(QLineEdit* edit, const QString& text)
{
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

} // namespace

class TestPageManager : public QObject
{
    Q_OBJECT

    std::unique_ptr<QWidget> m_host;
    QHBoxLayout* m_panel = nullptr;
    QCropWidget* m_view = nullptr;
    QPageManager* m_manager = nullptr;

    QStringList m_messages;

    template <typename T = QWidget> T* in(int key, const char* name)
    {
        return m_manager->page(key)->findChild<T*>(QLatin1String(name));
    }
    QPageCrop* crop() { return qobject_cast<QPageCrop*>(m_manager->page(QPageManager::Crop)); }
    QPageCutOut* cutOut() { return qobject_cast<QPageCutOut*>(m_manager->page(QPageManager::CutOut)); }
    QSizeButton* sizeButton(const QString& name)
    {
        for (QSizeButton* b : crop()->findChildren<QSizeButton*>())
            if (b->name() == name)
                return b;
        return nullptr;
    }
    QStringList checkedButtons()
    {
        QStringList names;
        for (QSizeButton* b : crop()->findChildren<QSizeButton*>())
            if (b->isChecked() || b->property("checked").toBool())
                names << b->name();
        return names;
    }

private slots:
    void initTestCase()
    {
        QMsgBox::setTestHook([this](QMsgBox::Kind, const QString& text) {
            m_messages << text;
            return 1;
        });
    }

    // Runs first: nothing has moved the tolerance slider in this process yet.
    void toleranceSettingTakesSliderOnlyWhenItMoves()
    {
        m_manager->showPage(QPageManager::CutOut);
        QCOMPARE(int(QImageSettings::tolerance()), 4);
        // A reset to the value the slider already has changes nothing.
        cutOut()->onPageReset();
        QCOMPARE(int(QImageSettings::tolerance()), 4);
        in<QSlider>(QPageManager::CutOut, "hSliderTolerance")->setValue(11);
        QCOMPARE(int(QImageSettings::tolerance()), 11);
        cutOut()->onPageReset();
        QCOMPARE(int(QImageSettings::tolerance()), 10);
    }

    void init()
    {
        m_messages.clear();
        QImageSettings::setCustomWidth(640);
        QImageSettings::setCustomHeight(360);
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
        QTest::newRow("cut-out then crop") << QList<int>{1, 2} << 2;
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

    // The cut-out page's choices reach the brush view. Then, with every page left
    // away from its defaults, a reset brings them all back without announcing a
    // choice, the brush view follows, and the open page stays open.
    void choicesAndReset()
    {
        m_manager->showPage(QPageManager::CutOut);
        QImageCutoutWidget* brush = m_view->brushView();
        QTest::mouseClick(in<QPushButton>(QPageManager::CutOut, "btnKeep"), Qt::LeftButton);
        QVERIFY(brush->isKeepMode());
        QTest::mouseClick(in<QPushButton>(QPageManager::CutOut, "btnTabMagic"), Qt::LeftButton);
        QVERIFY(brush->isMagicMode());
        QTest::mouseClick(in<QPushButton>(QPageManager::CutOut, "btnTabBrush"), Qt::LeftButton);
        QVERIFY(!brush->isMagicMode());
        QTest::mouseClick(in<QPushButton>(QPageManager::CutOut, "btnTabMagic"), Qt::LeftButton);
        in<QSlider>(QPageManager::CutOut, "hSliderBrushSize")->setValue(33);
        QCOMPARE(brush->brushSize(), 33);
        // The slider softens the edge: at its top the brush gets its softest edge.
        QSignalSpy hardness(cutOut(), &QPageCutOut::signal_hardness);
        in<QSlider>(QPageManager::CutOut, "hSliderHardness")->setValue(7);
        QCOMPARE(hardness.last()[0].toInt(), QMaskStroke::kMaxHardness - 7);
        QCOMPARE(cutOut()->brushHardness(), QMaskStroke::kMaxHardness - 7);
        in<QSlider>(QPageManager::CutOut, "hSliderTolerance")->setValue(200);
        QCOMPARE(int(QImageSettings::tolerance()), 200);
        // The view changing the size itself (its keys) moves the page's slider.
        emit m_view->signal_brush_size_changed(21);
        QCOMPARE(in<QSlider>(QPageManager::CutOut, "hSliderBrushSize")->value(), 21);

        m_manager->showPage(QPageManager::Crop);
        QTest::mouseClick(in<QPushButton>(QPageManager::Crop, "btnTabEcommerce"), Qt::LeftButton);
        QTest::mouseClick(sizeButton("800*800"), Qt::LeftButton);
        QCOMPARE(crop()->currentCode(), 17);
        auto* changeBg = qobject_cast<QPageChangeBg*>(m_manager->page(QPageManager::ChangeBg));
        QImageButton* firstSwatch = changeBg->selectedButton();
        m_manager->showPage(QPageManager::ChangeBg);
        QTest::mouseClick(in<QPushButton>(QPageManager::ChangeBg, "btnTemplate"), Qt::LeftButton);
        QTest::mouseClick(changeBg->findChildren<QImageButton*>().at(20), Qt::LeftButton);
        QVERIFY(changeBg->selectedButton() != firstSwatch);
        m_manager->showPage(QPageManager::Beautify);
        QList<QSlider*> beautySliders = m_manager->page(QPageManager::Beautify)->findChildren<QSlider*>();
        for (QSlider* s : beautySliders)
            s->setValue(17);

        QSignalSpy resets(m_manager, &QPageManager::signal_reset);
        QSignalSpy sizes(crop(), &QPageCrop::signal_apply_crop_size);
        QSignalSpy colors(changeBg, &QPageChangeBg::signal_color);
        QSignalSpy images(changeBg, &QPageChangeBg::signal_image);
        m_manager->reset();
        QCOMPARE(resets.size(), 1);
        QCOMPARE(sizes.size() + colors.size() + images.size(), 0);
        QVERIFY(!m_view->brushView()->isKeepMode());
        QVERIFY(!m_view->brushView()->isMagicMode());
        QCOMPARE(m_view->brushView()->brushSize(), 12);
        QCOMPARE(cutOut()->brushHardness(), QMaskStroke::kMaxHardness);
        QCOMPARE(int(QImageSettings::tolerance()), 10);
        QCOMPARE(checkedButtons(), QStringList{"Original image"});
        QCOMPARE(in<QStackedWidget>(QPageManager::Crop, "stackedWidget")->currentIndex(), 0);
        QCOMPARE(changeBg->selectedButton(), firstSwatch);
        QVERIFY(in(QPageManager::ChangeBg, "frameTemplate")->isHidden());
        for (QSlider* s : beautySliders)
            QCOMPARE(s->value(), 0);
        QCOMPARE(m_manager->currentPage(), int(QPageManager::Beautify));
        // "Yes" on the crop page now commits the whole picture, not the size chosen
        // before the reset.
        in<QPushButton>(QPageManager::Crop, "btnApplyCrop")->click();
        QCOMPARE(sizes.value(0).value(0).toInt(), 1);
    }

    void cropSizeButtonSendsItsCode_data()
    {
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QString>("label");
        QTest::addColumn<int>("code");
        QTest::newRow("custom") << "btnTabRegular" << QString("Custom size") << 10;
        QTest::newRow("ID photo") << "btnTabCertificate" << QString("一寸 295x413px  |  25x35mm") << 20;
        QTest::newRow("product") << "btnTabEcommerce" << QString("800*800") << 17;
    }

    void cropSizeButtonSendsItsCode()
    {
        QFETCH(QString, tab);
        QFETCH(QString, label);
        QFETCH(int, code);
        m_manager->showPage(QPageManager::Crop);
        QCOMPARE(checkedButtons(), QStringList{"Original image"});
        QTest::mouseClick(in<QPushButton>(QPageManager::Crop, "btnTabEcommerce"), Qt::LeftButton);
        QTest::mouseClick(in<QPushButton>(QPageManager::Crop, qPrintable(tab)), Qt::LeftButton);
        QSizeButton* b = sizeButton(label);
        QVERIFY2(b && b->isVisible(), qPrintable(label));

        QSignalSpy spy(crop(), &QPageCrop::signal_apply_crop_size);
        QTest::mouseClick(b, Qt::LeftButton);
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy[0], (QVariantList{code, false, QSize(640, 360)}));
        QCOMPARE(crop()->currentCode(), code);
        // The first button let go of its selection (unless it was clicked itself),
        // and clicking the chosen size again keeps it chosen.
        QCOMPARE(checkedButtons(), QStringList{label});
        QTest::mouseClick(b, Qt::LeftButton);
        QCOMPARE(checkedButtons(), QStringList{label});
        QCOMPARE(crop()->findChild<QFrame*>("frameCustomSize")->isVisible(), code == 10);
    }

    void cropCustomSize_data()
    {
        QTest::addColumn<QString>("width");
        QTest::addColumn<QString>("height");
        QTest::addColumn<QSize>("applied"); // invalid: refused
        QTest::newRow("largest") << "10000" << QString("10000") << QSize(10000, 10000);
        QTest::newRow("spaces around") << " 300 " << QString(" 200") << QSize(300, 200);
        QTest::newRow("zero width") << "0" << QString("450") << QSize();
        QTest::newRow("too high") << "800" << QString("10001") << QSize();
    }

    void cropCustomSize()
    {
        QFETCH(QString, width);
        QFETCH(QString, height);
        QFETCH(QSize, applied);
        m_manager->showPage(QPageManager::Crop);

        QTest::mouseClick(sizeButton("Custom size"), Qt::LeftButton);
        QVERIFY(crop()->findChild<QFrame*>("frameCustomSize")->isVisible());
        // The boxes show the size kept for the photo.
        QCOMPARE(in<QLineEdit>(QPageManager::Crop, "lineEditWidth")->text(), QString("640"));
        QCOMPARE(in<QLineEdit>(QPageManager::Crop, "lineEditHeight")->text(), QString("360"));

        typeInto(in<QLineEdit>(QPageManager::Crop, "lineEditWidth"), width);
        typeInto(in<QLineEdit>(QPageManager::Crop, "lineEditHeight"), height);
        QSignalSpy spy(crop(), &QPageCrop::signal_apply_crop_size);
        QTest::mouseClick(in<QPushButton>(QPageManager::Crop, "btnApplyCrop"), Qt::LeftButton);
        if (applied.isValid()) {
            QCOMPARE(spy.size(), 1);
            QCOMPARE(spy[0], (QVariantList{10, true, applied}));
            QCOMPARE(QSize(QImageSettings::customWidth(), QImageSettings::customHeight()), applied);
            QVERIFY(m_messages.isEmpty());
        } else {
            QCOMPARE(spy.size(), 0);
            QCOMPARE(QSize(QImageSettings::customWidth(), QImageSettings::customHeight()), QSize(640, 360));
            QCOMPARE(m_messages.size(), 1);
            QVERIFY2(m_messages[0].contains("10000"), qPrintable(m_messages[0]));
        }
    }
};

BRISEL_TEST_MAIN(TestPageManager)
#include "tst_pagemanager.moc"
