// The crop page driven with the mouse and keyboard: which code each size button
// sends, the custom size and its bounds, the crop frame following the page's
// visibility, and the reset when a new cut-out arrives.

#include "qimagesettings.h"
#include "qmsgbox.h"
#include "qpagecrop.h"
#include "qsizebutton.h"
#include "testutils.h"

#include <QApplication>
#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>

namespace {

QSizeButton* sizeButton(QWidget* page, const QString& name)
{
    for (QSizeButton* b : page->findChildren<QSizeButton*>())
        if (b->name() == name)
            return b;
    return nullptr;
}

QStringList checkedButtons(QWidget* page)
{
    QStringList names;
    for (QSizeButton* b : page->findChildren<QSizeButton*>())
        if (b->isChecked() || b->property("checked").toBool())
            names << b->name();
    return names;
}

void typeInto(QLineEdit* edit, const QString& text)
{
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

} // namespace

class TestPageCrop : public QObject
{
    Q_OBJECT

    QStringList m_messages;
    std::unique_ptr<QPageCrop> m_page;

    QPushButton* button(const char* name) { return m_page->findChild<QPushButton*>(QLatin1String(name)); }
    QLineEdit* edit(const char* name) { return m_page->findChild<QLineEdit*>(QLatin1String(name)); }

private slots:
    void initTestCase()
    {
        QMsgBox::setTestHook([this](QMsgBox::Kind, const QString& text) {
            m_messages << text;
            return 1;
        });
    }

    void init()
    {
        m_messages.clear();
        QImageSettings::setCustomWidth(640);
        QImageSettings::setCustomHeight(360);
        m_page = std::make_unique<QPageCrop>();
        m_page->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_page.get()));
    }

    void cleanup() { m_page.reset(); }

    void sizeButtonSendsItsCode_data()
    {
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QString>("label");
        QTest::addColumn<int>("code");
        QTest::newRow("whole picture") << "btnTabRegular" << "Original image" << 1;
        QTest::newRow("ratio") << "btnTabRegular" << "16:9" << 3;
        QTest::newRow("custom") << "btnTabRegular" << "Custom size" << 10;
        QTest::newRow("ID photo") << "btnTabCertificate" << "一寸 295x413px  |  25x35mm" << 20;
        QTest::newRow("product") << "btnTabEcommerce" << "800*800" << 17;
    }

    void sizeButtonSendsItsCode()
    {
        QFETCH(QString, tab);
        QFETCH(QString, label);
        QFETCH(int, code);
        QCOMPARE(checkedButtons(m_page.get()), QStringList{"Original image"});
        QTest::mouseClick(button("btnTabEcommerce"), Qt::LeftButton);
        QTest::mouseClick(button(qPrintable(tab)), Qt::LeftButton);
        int marked = 0;
        for (const char* name : {"btnTabRegular", "btnTabCertificate", "btnTabEcommerce"})
            marked += button(name)->property("checked").toBool() ? 1 : 0;
        QCOMPARE(marked, 1);
        QSizeButton* b = sizeButton(m_page.get(), label);
        QVERIFY2(b && b->isVisible(), qPrintable(label));
        QCOMPARE(b->findChild<QWidget*>("labelExplain")->isVisibleTo(b), !b->explanation().isEmpty());

        QSignalSpy spy(m_page.get(), &QPageCrop::signal_apply_crop_size);
        QTest::mouseClick(b, Qt::LeftButton);
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy[0], (QVariantList{code, false, QSize(640, 360)}));
        QCOMPARE(m_page->currentCode(), code);
        // The first button let go of its selection (unless it was clicked itself),
        // and clicking the chosen size again keeps it chosen.
        QCOMPARE(checkedButtons(m_page.get()), QStringList{label});
        QTest::mouseClick(b, Qt::LeftButton);
        QCOMPARE(checkedButtons(m_page.get()), QStringList{label});
        QCOMPARE(m_page->findChild<QFrame*>("frameCustomSize")->isVisible(), code == 10);
    }

    void customSizeApply_data()
    {
        QTest::addColumn<QString>("width");
        QTest::addColumn<QString>("height");
        QTest::addColumn<QSize>("applied"); // invalid: refused
        QTest::newRow("ordinary") << "800" << "450" << QSize(800, 450);
        QTest::newRow("largest") << "10000" << "10000" << QSize(10000, 10000);
        QTest::newRow("spaces around") << " 300 " << " 200" << QSize(300, 200);
        QTest::newRow("zero width") << "0" << "450" << QSize();
        QTest::newRow("too high") << "800" << "10001" << QSize();
        QTest::newRow("not a number") << "abc" << "450" << QSize();
        QTest::newRow("empty") << "" << "" << QSize();
        QTest::newRow("fraction") << "12.5" << "450" << QSize();
    }

    void customSizeApply()
    {
        QFETCH(QString, width);
        QFETCH(QString, height);
        QFETCH(QSize, applied);

        QTest::mouseClick(sizeButton(m_page.get(), "Custom size"), Qt::LeftButton);
        QVERIFY(m_page->findChild<QFrame*>("frameCustomSize")->isVisible());
        // The boxes show the size kept for the photo.
        QCOMPARE(edit("lineEditWidth")->text(), QString("640"));
        QCOMPARE(edit("lineEditHeight")->text(), QString("360"));

        typeInto(edit("lineEditWidth"), width);
        typeInto(edit("lineEditHeight"), height);
        QSignalSpy spy(m_page.get(), &QPageCrop::signal_apply_crop_size);
        QTest::mouseClick(button("btnApplyCrop"), Qt::LeftButton);
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

    void resetSelectsTheWholePictureSilently()
    {
        QTest::mouseClick(sizeButton(m_page.get(), "Custom size"), Qt::LeftButton);
        QTest::mouseClick(button("btnTabEcommerce"), Qt::LeftButton);
        QTest::mouseClick(sizeButton(m_page.get(), "800*800"), Qt::LeftButton);

        QSignalSpy spy(m_page.get(), &QPageCrop::signal_apply_crop_size);
        m_page->onPageReset();
        QCOMPARE(spy.size(), 0);
        QCOMPARE(m_page->findChild<QStackedWidget*>("stackedWidget")->currentIndex(), 0);
        QCOMPARE(checkedButtons(m_page.get()), QStringList{"Original image"});
        QVERIFY(!m_page->findChild<QFrame*>("frameCustomSize")->isVisible());
        // "Yes" now commits the whole picture, not the size chosen before the reset.
        QTest::mouseClick(button("btnApplyCrop"), Qt::LeftButton);
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy[0][0].toInt(), 1);
    }
};

BRISEL_TEST_MAIN(TestPageCrop)
#include "tst_pagecrop.moc"
