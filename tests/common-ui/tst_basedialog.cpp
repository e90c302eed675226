#include "testutils.h"

#include <QApplication>

class TestBasedialog : public QObject
{
    Q_OBJECT
};

BRISEL_TEST_MAIN(TestBasedialog)
#include "tst_basedialog.moc"
