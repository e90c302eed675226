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
    // falls back to the default instead of selecting nothing; an empty stored output
    // folder would put results beside the program.
    void storedOutput_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("last size") << "size" << QVariant(3) << "3";
        QTest::newRow("size one past the list") << "size" << QVariant(4) << "1";
        QTest::newRow("negative size") << "size" << QVariant(-1) << "1";
        QTest::newRow("chosen folder") << "path" << QVariant("/srv/photos") << "/srv/photos";
        QTest::newRow("empty folder") << "path" << QVariant("") << CGlobal::getOutputPath();
        QTest::newRow("blank folder") << "path" << QVariant("  ") << CGlobal::getOutputPath();
    }
    void storedOutput()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, stored);
        QFETCH(QString, shown);
        CSetting::setValue("output", key, stored);
        QMainWidget fresh;
        if (key == "size")
            QCOMPARE(QString::number(fresh.findChild<QComboBox*>("comboOutputSize")->currentIndex()), shown);
        else
            QCOMPARE(fresh.findChild<QLineEdit*>("lineEditOutput")->text(), QDir::toNativeSeparators(shown));
    }
};

BRISEL_TEST_MAIN(TestMainWidget)
#include "tst_mainwidget.moc"
