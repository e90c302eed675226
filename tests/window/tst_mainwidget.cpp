// The main window's stored settings; the user flows themselves are in
// tests/acceptance.

#include "csetting.h"
#include "qmainwidget.h"
#include "testutils.h"

#include <QComboBox>

class TestMainWidget : public QObject
{
    Q_OBJECT

private slots:
    // A stored output size outside the list (a hand-edited or older settings file)
    // falls back to the default instead of selecting nothing.
    void storedOutputSize_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("shown");
        QTest::newRow("last entry") << 3 << 3;
        QTest::newRow("one past the list") << 4 << 1;
        QTest::newRow("negative") << -1 << 1;
    }
    void storedOutputSize()
    {
        QFETCH(int, stored);
        QFETCH(int, shown);
        CSetting::setValue("output", "size", stored);
        QMainWidget fresh;
        QCOMPARE(fresh.findChild<QComboBox*>("comboOutputSize")->currentIndex(), shown);
    }
};

BRISEL_TEST_MAIN(TestMainWidget)
#include "tst_mainwidget.moc"
