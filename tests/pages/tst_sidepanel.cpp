// The side panel inside the main window, against the real matting service
// (flat-background engine) on a free port: each tab opens its page in place of the
// original photo, committing a crop closes the crop page, and a new cut-out
// brings every page back to its defaults.

#include "../matting/mattingfixtures.h"
#include "csetting.h"
#include "qenterbutton.h"
#include "qfilechooser.h"
#include "qmainwidget.h"
#include "qmsgbox.h"
#include "qpagecrop.h"
#include "qpagemanager.h"
#include "qsizebutton.h"
#include "qtabbutton.h"
#include "qtaskmanager.h"
#include "testutils.h"

#include <QApplication>
#include <QPushButton>
#include <QSlider>
#include <QStackedWidget>

namespace {
constexpr int kFlowTimeoutMs = 30000;
} // namespace

class TestSidePanel : public QObject
{
    Q_OBJECT

    mattingtest::RealService m_service;
    std::unique_ptr<QMainWidget> m_window;
    QStringList m_picks;
    QStringList m_boxes;

    QTabButton* tab(const char* name) { return m_window->findChild<QTabButton*>(QLatin1String(name)); }
    QWidget* originView() { return m_window->findChild<QWidget*>("originView"); }
    template <typename T>
    T* onPage(int key, const char* name)
    {
        return m_window->pages()->page(key)->findChild<T*>(QLatin1String(name));
    }
    QSizeButton* sizeButton(const QString& name)
    {
        for (QSizeButton* b : m_window->pages()->page(QPageManager::Crop)->findChildren<QSizeButton*>())
            if (b->name() == name)
                return b;
        return nullptr;
    }

    // Submits a photo through the person card and waits for the workspace.
    void openPhoto(const QString& name)
    {
        const QString photo = mattingtest::makePhoto(name);
        QVERIFY(!photo.isEmpty());
        m_picks << photo;
        QTest::mouseClick(m_window->findChildren<QEnterButton*>().at(0), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(
            m_window->findChild<QStackedWidget*>("stackedWidget")->currentIndex() == QMainWidget::PageImage
                || !m_boxes.isEmpty(),
            kFlowTimeoutMs);
        QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join('\n')));
        QTRY_VERIFY(originView()->isVisible());
    }

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_service.start(false, &error), qPrintable(error));
        QFileChooser::setOpenHook([this](const QString&, const QString&, const QString&) {
            return m_picks.isEmpty() ? QString() : m_picks.takeFirst();
        });
        QMsgBox::setTestHook([this](QMsgBox::Kind, const QString& text) {
            m_boxes << text;
            return 1;
        });
    }

    void init()
    {
        CSetting::setValue("service", "url", m_service.url());
        m_boxes.clear();
        m_window = std::make_unique<QMainWidget>();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void cleanup()
    {
        m_window.reset();
        QTaskManager::clear();
    }

    void cleanupTestCase()
    {
        QFileChooser::setOpenHook(nullptr);
        QMsgBox::setTestHook(nullptr);
    }

    void tabsOpenTheirPages_data()
    {
        QTest::addColumn<QString>("tabName");
        QTest::addColumn<int>("key");
        QTest::newRow("change background") << "BtnTabChangeBg" << 0;
        QTest::newRow("beautify") << "BtnTabBeautify" << 4;
    }

    void tabsOpenTheirPages()
    {
        QFETCH(QString, tabName);
        QFETCH(int, key);
        openPhoto("tabs.png");
        if (QTest::currentTestFailed())
            return;
        QPageManager* pages = m_window->pages();
        QCOMPARE(pages->currentPage(), int(QPageManager::kNoPage));

        // Another tab first, so switching tabs is covered too.
        QTest::mouseClick(tab(key == 0 ? "BtnTabCrop" : "BtnTabChangeBg"), Qt::LeftButton);
        QTest::mouseClick(tab(tabName.toLatin1().constData()), Qt::LeftButton);
        QCOMPARE(pages->currentPage(), key);
        QVERIFY(pages->page(key)->isVisible());
        QVERIFY(!originView()->isVisible());
        int open = 0;
        for (int k = 0; k < 5; ++k)
            open += pages->page(k)->isVisible() ? 1 : 0;
        QCOMPARE(open, 1);

        // The same tab again closes the page and brings the photo back.
        QTest::mouseClick(tab(tabName.toLatin1().constData()), Qt::LeftButton);
        QCOMPARE(pages->currentPage(), int(QPageManager::kNoPage));
        QVERIFY(!pages->page(key)->isVisible());
        QVERIFY(originView()->isVisible());
    }

    void committingACropClosesThePage()
    {
        openPhoto("crop.png");
        if (QTest::currentTestFailed())
            return;
        QTest::mouseClick(tab("BtnTabCrop"), Qt::LeftButton);
        QTest::mouseClick(sizeButton("1:1"), Qt::LeftButton);
        // A size button only previews: the page stays open.
        QCOMPARE(m_window->pages()->currentPage(), int(QPageManager::Crop));
        QVERIFY(!originView()->isVisible());
        QTest::mouseClick(onPage<QPushButton>(QPageManager::Crop, "btnApplyCrop"), Qt::LeftButton);
        QCOMPARE(m_window->pages()->currentPage(), int(QPageManager::kNoPage));
        QVERIFY(originView()->isVisible());
        QVERIFY(!tab("BtnTabCrop")->isChecked());
    }

    void newCutoutResetsEveryPage()
    {
        openPhoto("first.png");
        if (QTest::currentTestFailed())
            return;
        QTest::mouseClick(tab("BtnTabCutout"), Qt::LeftButton);
        onPage<QSlider>(QPageManager::CutOut, "hSliderBrushSize")->setValue(64);
        QTest::mouseClick(tab("BtnTabCrop"), Qt::LeftButton);
        QTest::mouseClick(sizeButton("1:1"), Qt::LeftButton);

        // Upload again: the next cut-out arrives while the crop page is open.
        m_picks << mattingtest::makePhoto("second.png");
        QTest::mouseClick(m_window->findChild<QPushButton*>("btnUploadAgain"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(m_window->findChild<QStackedWidget*>("stackedWidget")->currentIndex()
                                         == QMainWidget::PageImage
                                     && originView()->isVisible(),
                                 kFlowTimeoutMs);

        QPageManager* pages = m_window->pages();
        QCOMPARE(pages->currentPage(), int(QPageManager::kNoPage));
        for (QTabButton* t : m_window->tabs())
            QVERIFY(!t->isChecked());
        QCOMPARE(onPage<QSlider>(QPageManager::CutOut, "hSliderBrushSize")->value(), 12);
        QCOMPARE(qobject_cast<QPageCrop*>(pages->page(QPageManager::Crop))->currentCode(), 1);
    }
};

BRISEL_TEST_MAIN(TestSidePanel)
#include "tst_sidepanel.moc"
