// The beautify page driven as a user would: keys and drags change the levels but
// only a mouse release on a slider asks for a run, never while one is running;
// resetting brings back the levels and the first tab.

#include "mouseinput.h"
#include "qimagesettings.h"
#include "qpagebeautify.h"
#include "testutils.h"

#include <QFrame>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>

#include <memory>

namespace {

const char* const kTone = "hSliderStrenghtTone";
const char* const kSmooth = "hSliderSmooth";

using mouseinput::send;

void release(QWidget* w, Qt::MouseButton button = Qt::LeftButton)
{
    send(w, QEvent::MouseButtonRelease, w->rect().center(), button, Qt::NoButton);
}

} // namespace

class TestPageBeautify : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QImageSettings::setToneLevel(0);
        QImageSettings::setSmoothLevel(0);
        m_page = std::make_unique<QPageBeautify>();
        m_page->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_page.get()));
    }

    void cleanup() { m_page.reset(); }

    void keysChangeLevelsButRunNothing_data()
    {
        QTest::addColumn<QString>("sliderName");
        QTest::addColumn<QVector<int>>("keys");
        QTest::addColumn<int>("expected");
        QTest::addColumn<int>("button"); // released afterwards on the other slider
        QTest::newRow("tone cannot pass 30")
            << kTone << QVector<int>{Qt::Key_End, Qt::Key_Right} << 30 << int(Qt::LeftButton);
        QTest::newRow("smooth three steps")
            << kSmooth << QVector<int>{Qt::Key_Right, Qt::Key_Right, Qt::Key_Up} << 3 << int(Qt::LeftButton);
        QTest::newRow("right button runs nothing")
            << kSmooth << QVector<int>{Qt::Key_End, Qt::Key_Left} << 29 << int(Qt::RightButton);
    }

    void keysChangeLevelsButRunNothing()
    {
        QFETCH(QString, sliderName);
        QFETCH(QVector<int>, keys);
        QFETCH(int, expected);
        QFETCH(int, button);
        const bool tone = sliderName == kTone;
        if (!tone)
            QTest::mouseClick(m_page->findChild<QPushButton*>("btnTabSmooth"), Qt::LeftButton);
        QSlider* s = slider(qPrintable(sliderName));
        QSignalSpy runs(m_page.get(), &QPageBeautify::signal_image_beauty);
        s->setFocus();
        for (int key : keys)
            QTest::keyClick(s, Qt::Key(key));
        QCOMPARE(s->value(), expected);
        QCOMPARE(int(tone ? QImageSettings::toneLevel() : QImageSettings::smoothLevel()), expected);
        QCOMPARE(int(tone ? QImageSettings::smoothLevel() : QImageSettings::toneLevel()), 0);
        QCOMPARE(runs.count(), 0);

        // The next left-button release on either slider starts the run, if a key
        // moved one.
        release(slider(tone ? kSmooth : kTone), Qt::MouseButton(button));
        const bool ran = expected > 0 && button == Qt::LeftButton;
        QCOMPARE(runs.count(), ran ? 1 : 0);
        QCOMPARE(slider(kTone)->isEnabled(), !ran);
        QCOMPARE(slider(kSmooth)->isEnabled(), !ran);
    }

    void dragRunsOnceOnRelease()
    {
        QSlider* s = slider(kTone);
        s->resize(200, s->height());
        QSignalSpy runs(m_page.get(), &QPageBeautify::signal_image_beauty);
        QSignalSpy moved(s, &QSlider::valueChanged);

        // Press on the handle (at value 0, the left end) and drag to the right.
        const int y = s->height() / 2;
        send(s, QEvent::MouseButtonPress, QPoint(3, y), Qt::LeftButton, Qt::LeftButton);
        for (int x = 20; x <= 180; x += 40)
            send(s, QEvent::MouseMove, QPoint(x, y), Qt::NoButton, Qt::LeftButton);
        QVERIFY(moved.count() > 1);
        QVERIFY(s->value() > 0);
        QCOMPARE(runs.count(), 0);
        QCOMPARE(int(QImageSettings::toneLevel()), s->value());

        send(s, QEvent::MouseButtonRelease, QPoint(180, y), Qt::LeftButton, Qt::NoButton);
        QCOMPARE(runs.count(), 1);
        // The slider saw the release too: its drag is over.
        QVERIFY(!s->isSliderDown());
        QVERIFY(!s->isEnabled());
    }

    void noSecondRunWhileRunning()
    {
        QSignalSpy runs(m_page.get(), &QPageBeautify::signal_image_beauty);
        slider(kSmooth)->setValue(8);
        release(slider(kSmooth));
        QCOMPARE(runs.count(), 1);

        // Running: keys and releases reach disabled sliders only.
        QTest::keyClick(slider(kSmooth), Qt::Key_Right);
        release(slider(kSmooth));
        release(slider(kTone));
        QCOMPARE(runs.count(), 1);
        QCOMPARE(slider(kSmooth)->value(), 8);

        m_page->onBeautyFinished();
        QVERIFY(slider(kTone)->isEnabled() && slider(kSmooth)->isEnabled());
        release(slider(kTone));
        QCOMPARE(runs.count(), 2);
    }

    // The page manager's test sees the sliders back at 0; here the rest of the page
    // follows, and the next release brings the picture back to the download.
    void reset()
    {
        slider(kTone)->setValue(17);
        slider(kSmooth)->setValue(30);
        QTest::mouseClick(m_page->findChild<QPushButton*>("btnTabSmooth"), Qt::LeftButton);
        QSignalSpy runs(m_page.get(), &QPageBeautify::signal_image_beauty);
        m_page->onPageReset();
        QCOMPARE(int(QImageSettings::toneLevel()) + int(QImageSettings::smoothLevel()), 0);
        QVERIFY(checked("btnTabSkim") && frameShown("frameSkimTone"));
        QVERIFY(!checked("btnTabSmooth") && !frameShown("frameSmooth"));
        QCOMPARE(runs.count(), 0); // resetting alone runs nothing
        release(slider(kTone));
        QCOMPARE(runs.count(), 1);
    }

private:
    QSlider* slider(const char* name) const { return m_page->findChild<QSlider*>(name); }
    bool checked(const char* button) const
    {
        return m_page->findChild<QPushButton*>(button)->property("checked").toBool();
    }
    bool frameShown(const char* frame) const { return m_page->findChild<QFrame*>(frame)->isVisible(); }

    std::unique_ptr<QPageBeautify> m_page;
};

BRISEL_TEST_MAIN(TestPageBeautify)
#include "tst_pagebeautify.moc"
