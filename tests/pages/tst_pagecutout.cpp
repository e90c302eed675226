// The cut-out page driven with the keyboard: the sliders with their labels and what
// they announce, the tolerance setting, and the reset when a new cut-out arrives.
// Its buttons reaching the brush view are the page manager's tests.

#include "qimagesettings.h"
#include "qmaskstroke.h"
#include "qpagecutout.h"
#include "testutils.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>

class TestPageCutOut : public QObject
{
    Q_OBJECT

    std::unique_ptr<QPageCutOut> m_page;

    template <typename T = QWidget>
    T* child(const QString& name)
    {
        return m_page->findChild<T*>(name);
    }
    bool marked(const char* button) { return child<QPushButton>(button)->property("checked").toBool(); }
    bool shown(const char* frame) { return child(frame)->isVisible(); }

private slots:
    void init()
    {
        m_page = std::make_unique<QPageCutOut>();
        m_page->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_page.get()));
    }

    void cleanup() { m_page.reset(); }

    // Runs first: nothing has moved the tolerance slider in this process yet.
    void toleranceSettingTakesSliderOnlyWhenItMoves()
    {
        QCOMPARE(int(QImageSettings::tolerance()), 4);
        QCOMPARE(child<QLabel>("labelTolerance")->text(), QString("10"));
        // A reset to the value the slider already has changes nothing.
        m_page->onPageReset();
        QCOMPARE(int(QImageSettings::tolerance()), 4);
        child<QSlider>("hSliderTolerance")->setValue(11);
        QCOMPARE(int(QImageSettings::tolerance()), 11);
        m_page->onPageReset();
        QCOMPARE(int(QImageSettings::tolerance()), 10);
    }

    void sliders_data()
    {
        QTest::addColumn<QString>("slider");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("presses");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("text");
        QTest::newRow("size page down") << "hSliderBrushSize" << int(Qt::Key_PageDown) << 1 << "labelBrushSize"
                                        << "2";
        QTest::newRow("size floor") << "hSliderBrushSize" << int(Qt::Key_Home) << 1 << "labelBrushSize" << "1";
        QTest::newRow("hardness") << "hSliderHardness" << int(Qt::Key_Right) << 7 << "labelHardness" << "7%";
        QTest::newRow("hardness ceiling") << "hSliderHardness" << int(Qt::Key_End) << 1 << "labelHardness"
                                          << "50%";
        QTest::newRow("tolerance ceiling") << "hSliderTolerance" << int(Qt::Key_End) << 1 << "labelTolerance"
                                           << "255";
    }

    void sliders()
    {
        QFETCH(QString, slider);
        QFETCH(int, key);
        QFETCH(int, presses);
        QFETCH(QString, label);
        QFETCH(QString, text);
        QTest::mouseClick(child<QPushButton>(slider == "hSliderTolerance" ? "btnTabMagic" : "btnTabBrush"),
                          Qt::LeftButton);
        QSignalSpy sizes(m_page.get(), &QPageCutOut::signal_brush_size);
        QSignalSpy hardness(m_page.get(), &QPageCutOut::signal_hardness);
        auto* s = child<QSlider>(slider);
        s->setFocus();
        for (int i = 0; i < presses; ++i)
            QTest::keyClick(s, Qt::Key(key));
        QCOMPARE(child<QLabel>(label)->text(), text);
        const int value = s->value();
        if (slider == "hSliderBrushSize") {
            QVERIFY(!sizes.isEmpty());
            QCOMPARE(sizes.last()[0].toInt(), value);
        } else {
            QCOMPARE(sizes.size(), 0);
        }
        if (slider == "hSliderHardness") {
            // The slider softens the edge: at its top the brush view gets its softest edge.
            QCOMPARE(hardness.last()[0].toInt(), QMaskStroke::kMaxHardness - value);
            QCOMPARE(m_page->brushHardness(), QMaskStroke::kMaxHardness - value);
        }
        if (slider == "hSliderTolerance")
            QCOMPARE(int(QImageSettings::tolerance()), value);
    }

    void resetRestoresDefaults()
    {
        QTest::mouseClick(child<QPushButton>("btnKeep"), Qt::LeftButton);
        child<QSlider>("hSliderBrushSize")->setValue(40);
        child<QSlider>("hSliderHardness")->setValue(20);
        QTest::mouseClick(child<QPushButton>("btnTabMagic"), Qt::LeftButton);
        child<QSlider>("hSliderTolerance")->setValue(99);

        QSignalSpy sizes(m_page.get(), &QPageCutOut::signal_brush_size);
        QSignalSpy brush(m_page.get(), &QPageCutOut::signal_change_brush);
        QSignalSpy repair(m_page.get(), &QPageCutOut::signal_repair_background);
        QSignalSpy hardness(m_page.get(), &QPageCutOut::signal_hardness);
        m_page->onPageReset();
        // The view hears every default again, so it matches the page.
        using Heard = QList<QVariantList>;
        QCOMPARE(Heard(sizes), Heard{{QPageCutOut::kDefaultBrushSize}});
        QCOMPARE(Heard(hardness), Heard{{QMaskStroke::kMaxHardness}});
        QCOMPARE(Heard(brush), Heard{{false}});
        QCOMPARE(Heard(repair), Heard{{false}});
        QCOMPARE(child<QLabel>("labelBrushSize")->text(), QString("12"));
        QCOMPARE(child<QLabel>("labelHardness")->text(), QString("0%"));
        QCOMPARE(child<QLabel>("labelTolerance")->text(), QString("10"));
        QCOMPARE(int(QImageSettings::tolerance()), 10);
        QVERIFY(marked("btnTabBrush") && marked("btnRemove"));
        QVERIFY(!marked("btnTabMagic") && !marked("btnKeep"));
        QVERIFY(shown("frameBrushSize") && !shown("frameTolerance"));
    }

};

BRISEL_TEST_MAIN(TestPageCutOut)
#include "tst_pagecutout.moc"
