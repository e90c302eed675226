// The brisel-cutout tool against the real brisel-matting-service: where cut-outs
// are written (never over a photo), and one bad photo not stopping the others.

#include "csetting.h"
#include "fakeservice.h"
#include "mattingfixtures.h"
#include "qcutoutbatch.h"
#include "qimagehelp.h"
#include "testutils.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QtTest>

using namespace mattingtest;

namespace {

QStringList prefixed(const QString& folder, const QStringList& names)
{
    QStringList paths;
    for (const QString& name : names)
        paths << (name.isEmpty() ? name : QDir::cleanPath(folder + "/" + name));
    return paths;
}

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

// The disc of makePhoto() is kept, the flat background around it removed.
void verifyCutout(const cv::Mat& cutout, const QSize& photoSize)
{
    QCOMPARE(cutout.type(), CV_8UC4);
    QCOMPARE(QSize(cutout.cols, cutout.rows), photoSize);
    QVERIFY2(cutout.at<cv::Vec4b>(cutout.rows / 2, cutout.cols / 2)[3] > 200, "the subject is transparent");
    QVERIFY2(cutout.at<cv::Vec4b>(1, 1)[3] < 30, "the background is kept");
    QVERIFY2(cutout.at<cv::Vec4b>(cutout.rows - 2, cutout.cols - 2)[3] < 30, "the background is kept");
}

Run runTool(const QStringList& args)
{
    testutils::ChildProcess tool;
    tool.start(testutils::binPath("brisel-cutout"), args);
    Run run;
    if (!tool.waitForFinished(120000) || tool.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = tool.exitCode();
    run.out = QString::fromLocal8Bit(tool.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(tool.readAllStandardError());
    return run;
}

} // namespace

class TestCutout : public QObject
{
    Q_OBJECT

private slots:
    void outputNames_data()
    {
        // Paths are relative to a scratch folder holding "a.jpg", "a.png",
        // "b.jpg" and the folders "out" and "in/sub".
        QTest::addColumn<QStringList>("photos");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QStringList>("outputs");
        QTest::addColumn<QString>("error");
        QTest::newRow("beside the photo") << QStringList{"a.jpg"} << "" << QStringList{"a-cutout.png"} << "";
        QTest::newRow("same name, two kinds")
            << QStringList{"a.jpg", "a.png"} << "" << QStringList{"a-cutout.png", "a-cutout-2.png"} << "";
        QTest::newRow("one file") << QStringList{"a.jpg"} << "result.png" << QStringList{"result.png"} << "";
        QTest::newRow("existing folder") << QStringList{"a.jpg"} << "out" << QStringList{"out/a.png"} << "";
        QTest::newRow("new folder by its slash")
            << QStringList{"b.jpg"} << "new/" << QStringList{"new/b.png"} << "";
        QTest::newRow("several photos make a folder")
            << QStringList{"a.jpg", "b.jpg"} << "many" << QStringList{"many/a.png", "many/b.png"} << "";
        QTest::newRow("folder holding the photo")
            << QStringList{"a.png", "a.jpg"} << "." << QStringList{"a-2.png", "a-3.png"} << "";
        QTest::newRow("file that is the photo")
            << QStringList{"a.png"} << "a.png" << QStringList{} << "would overwrite the photo";
        QTest::newRow("the photo spelt another way")
            << QStringList{"a.png"} << "in/sub/../../a.png" << QStringList{} << "would overwrite the photo";
        QTest::newRow("no photo") << QStringList{} << "out" << QStringList{} << "No photo";
    }
    void outputNames()
    {
        QFETCH(QStringList, photos);
        QFETCH(QString, target);
        QFETCH(QStringList, outputs);
        QFETCH(QString, error);
        const QString folder = testutils::sandboxPath() + "/names";
        for (const char* name : {"a.jpg", "a.png", "b.jpg"})
            QVERIFY(testutils::writeFile(folder + "/" + name, "photo"));
        QVERIFY(QDir().mkpath(folder + "/out") && QDir().mkpath(folder + "/in/sub"));

        QList<QCutoutBatch::Item> items;
        QString reason;
        const bool ok = QCutoutBatch::plan(
            prefixed(folder, photos), target.isEmpty() ? target : folder + "/" + target, &items, &reason);
        QCOMPARE(ok, error.isEmpty());
        QVERIFY2(reason.contains(error), qPrintable(reason));
        QStringList planned;
        for (const QCutoutBatch::Item& item : items)
            planned << QDir::cleanPath(item.output);
        QCOMPARE(planned, prefixed(folder, outputs));
    }

    void toolEndToEnd_data()
    {
        QTest::addColumn<QStringList>("photos"); // "bad" is not an image, "gone" does not exist
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("service"); // "real" or "down"
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("written");
        QTest::addColumn<QStringList>("complaints");
        QTest::newRow("all photos into a folder")
            << QStringList{"p1.jpg", "p2.png"} << QStringList{"--type", "goods", "-o", "OUT/"} << "real" << 0
            << QStringList{"OUT/p1.png", "OUT/p2.png"} << QStringList{};
        QTest::newRow("bad photos do not stop the others")
            << QStringList{"q1.jpg", "bad.jpg", "q2.jpg", "gone.jpg"} << QStringList{"--type", "person"}
            << "real" << 1 << QStringList{"q1-cutout.png", "q2-cutout.png"}
            << QStringList{"bad.jpg: The file is not a supported image", "gone.jpg: The file is not exists!",
                           "2 photo(s) could not be cut out."};
        QTest::newRow("service unreachable") << QStringList{"s1.jpg"} << QStringList{} << "down" << 1
                                             << QStringList{} << QStringList{"s1.jpg: File upload failed: 7"};
        QTest::newRow("unknown type") << QStringList{"t1.jpg"} << QStringList{"--type", "cat"} << "down" << 2
                                      << QStringList{} << QStringList{"Unknown photo type \"cat\""};
        QTest::newRow("output over the photo")
            << QStringList{"u1.png"} << QStringList{"-o", "PHOTOS/u1.png"} << "down" << 2 << QStringList{}
            << QStringList{"would overwrite the photo"};
    }
    void toolEndToEnd()
    {
        QFETCH(QStringList, photos);
        QFETCH(QStringList, options);
        QFETCH(QString, service);
        QFETCH(int, exitCode);
        QFETCH(QStringList, written);
        QFETCH(QStringList, complaints);

        RealService real;
        if (service == "real") {
            QString error;
            QVERIFY2(real.start(false, &error), qPrintable(error));
            useService(real.url());
        } else {
            useService(FakeService().url()); // bound, then closed
        }

        const QString photoFolder = testutils::sandboxPath() + "/photos";
        const QString outFolder = testutils::sandboxPath() + "/" + QTest::currentDataTag();
        QStringList args;
        QMap<QString, QByteArray> before;
        for (const QString& name : photos) {
            const QString path = photoFolder + "/" + name;
            if (name.startsWith("bad"))
                QVERIFY(testutils::writeFile(path, "this is a shopping list"));
            else if (!name.startsWith("gone"))
                QVERIFY(!makePhoto(name, 120, 90).isEmpty());
            before[path] = testutils::readFile(path);
            args << path;
        }
        for (const QString& option : options)
            args << QString(option).replace("OUT", outFolder).replace("PHOTOS", photoFolder);

        const Run run = runTool(args);
        QVERIFY2(run.exitCode == exitCode, qPrintable(run.out + run.err));
        for (const QString& complaint : complaints)
            QVERIFY2(run.err.contains(complaint), qPrintable(run.err));
        for (const QString& name : written) {
            const QString path = QString(name).contains("OUT") ? QString(name).replace("OUT", outFolder)
                                                               : photoFolder + "/" + name;
            QVERIFY2(run.out.contains(" -> " + QDir::toNativeSeparators(path)), qPrintable(run.out));
            verifyCutout(QImageHelp::decodeImageBytes(testutils::readFile(path)), QSize(120, 90));
        }
        QCOMPARE(run.out.count(" -> "), written.size());
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            QCOMPARE(testutils::readFile(it.key()), it.value()); // photos are never touched
    }
};

BRISEL_TEST_GUILESS_MAIN(TestCutout)
#include "tst_cutout.moc"
