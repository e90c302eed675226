// The photo filter as Qt's own file dialog applies it: the user must see the
// photos of a folder, in any letter case, and nothing else.

#include "qfilechooser.h"
#include "testutils.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QListView>

class TestFileChooser : public QObject
{
    Q_OBJECT
private slots:
    void dialogListsOnlyPhotos()
    {
        const QString folder = testutils::sandboxPath() + "/photos";
        QVERIFY(QDir().mkpath(folder));
        const QStringList photos{"a.jpg", "b.JPEG", "c.png", "d.bmp"};
        for (const QString& name : photos + QStringList{"notes.txt", "e.gif", "f.jpg.part"}) {
            QFile file(folder + "/" + name);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QFileDialog dialog(nullptr, QString(), folder, QFileChooser::imageFilter());
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.show();
        auto* list = dialog.findChild<QListView*>("listView");
        QVERIFY(list);
        QStringList shown;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                shown.clear();
                for (int row = 0; row < list->model()->rowCount(list->rootIndex()); ++row)
                    shown << list->model()->index(row, 0, list->rootIndex()).data().toString();
                shown.sort(Qt::CaseInsensitive);
                return shown == photos;
            }(),
            5000);
    }
};

BRISEL_TEST_MAIN(TestFileChooser)
#include "tst_filechooser.moc"
