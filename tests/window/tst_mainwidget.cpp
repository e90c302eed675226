// The main window's stored settings, hand-edited ones too; the user flows
// themselves are in tests/acceptance.

#include "cglobal.h"
#include "csetting.h"
#include "qmainwidget.h"
#include "testutils.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>

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

    // An empty stored output folder would put results beside the program.
    void storedOutputFolder_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("chosen") << "/srv/photos"
                                << "/srv/photos";
        QTest::newRow("empty") << "" << CGlobal::getOutputPath();
        QTest::newRow("blank") << "  " << CGlobal::getOutputPath();
    }
    void storedOutputFolder()
    {
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        CSetting::setValue("output", "path", stored);
        QMainWidget fresh;
        QCOMPARE(fresh.findChild<QLineEdit*>("lineEditOutput")->text(), QDir::toNativeSeparators(shown));
    }
};

BRISEL_TEST_MAIN(TestMainWidget)
#include "tst_mainwidget.moc"
