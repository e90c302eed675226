// The brisel-cutout tool against the real brisel-matting-service: its exit codes,
// cut-outs written where asked but never over a photo, and one bad photo not
// stopping the others.

#include "fakeservice.h"
#include "mattingfixtures.h"
#include "qimagefiles.h"
#include "testutils.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QtTest>

using namespace mattingtest;

class TestCutout : public QObject
{
    Q_OBJECT

private slots:
    void tool_data()
    {
        QTest::addColumn<QStringList>("photos"); // "bad" is not an image, "gone" does not exist
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("service"); // real, down, or "none" (the tool's folder lacks it)
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("written");
        QTest::addColumn<QStringList>("complaints");
        QTest::newRow("all photos into a folder")
            << QStringList{"p1.jpg", "p2.png"} << QStringList{"--type", "goods", "-o", "OUT/"} << "real" << 0
            << QStringList{"OUT/p1.png", "OUT/p2.png"} << QStringList{};
        QTest::newRow("bad photos do not stop the others")
            << QStringList{"q1.jpg", "bad.jpg", "gone.jpg"} << QStringList{} << "real" << 1
            << QStringList{"q1-cutout.png"}
            << QStringList{"bad.jpg: The file is not a supported image", "gone.jpg: The file is not exists!",
                           "2 photo(s) could not be cut out."};
        QTest::newRow("output over the photo, spelt another way")
            << QStringList{"u1.png"} << QStringList{"-o", "PHOTOS/../photos/u1.png"} << "down" << 2
            << QStringList{} << QStringList{"would overwrite the photo"};
        QTest::newRow("no service to start")
            << QStringList{"s1.jpg"} << QStringList{} << "none" << 3 << QStringList{}
            << QStringList{"brisel-matting-service is missing"};
    }
    void tool()
    {
        QFETCH(QStringList, photos);
        QFETCH(QStringList, options);
        QFETCH(QString, service);
        QFETCH(int, exitCode);
        QFETCH(QStringList, written);
        QFETCH(QStringList, complaints);
        RealService real;
        QString error;
        QVERIFY2(service != "real" || real.start(false, &error), qPrintable(error));
        useService(service == "real" ? real.url() : service == "down" ? FakeService().url() : QString());
        QString program = testutils::binPath("brisel-cutout");
        if (service == "none") { // a copy of the tool in a folder of its own
            const QString copy = testutils::sandboxPath() + "/tool/brisel-cutout";
            QVERIFY(QDir().mkpath(testutils::sandboxPath() + "/tool") && QFile::copy(program, copy));
            program = copy;
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

        testutils::ChildProcess tool;
        tool.start(program, args);
        QVERIFY(tool.waitForFinished(120000));
        const QString out = tool.readAllStandardOutput(), err = tool.readAllStandardError();
        QVERIFY2(tool.exitCode() == exitCode, qPrintable(out + err));
        for (const QString& complaint : complaints)
            QVERIFY2(err.contains(complaint), qPrintable(err));
        QCOMPARE(out.count(" -> "), written.size());
        for (const QString& name : written) {
            const QString path =
                name.startsWith("OUT") ? QString(name).replace("OUT", outFolder) : photoFolder + "/" + name;
            QVERIFY2(out.contains(" -> " + path), qPrintable(out));
            // The disc of makePhoto() kept, the flat background around it removed.
            const cv::Mat cut = QImageFiles::decode(testutils::readFile(path));
            QCOMPARE(cut.type(), CV_8UC4);
            QCOMPARE(cut.size(), cv::Size(120, 90));
            QVERIFY(cut.at<cv::Vec4b>(45, 60)[3] > 200 && cut.at<cv::Vec4b>(1, 1)[3] < 30);
        }
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            QCOMPARE(testutils::readFile(it.key()), it.value()); // photos are never touched
    }
};

BRISEL_TEST_GUILESS_MAIN(TestCutout)
#include "tst_cutout.moc"
