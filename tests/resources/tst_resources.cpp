#include "testutils.h"

#include <QApplication>

class TestResources : public QObject
{
    Q_OBJECT
};

BRISEL_TEST_MAIN(TestResources)
#include "tst_resources.moc"
