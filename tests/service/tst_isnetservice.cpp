// The isnet engine through the real service, on a real photo of a person in
// front of a busy background. Needs the converted model (tools/fetch-model.sh).

#include "serviceprocess.h"
#include "testutils.h"

#include <QFile>
#include <QGuiApplication>
#include <QtTest>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

class TestIsnetService : public QObject
{
    Q_OBJECT

private slots:
    void personOnBusyBackground()
    {
        const QString model = qEnvironmentVariable("BRISEL_MODEL_DIR") + "/isnet-general.pt";
        if (!QFile::exists(model))
            QSKIP(qPrintable("the isnet model is not installed at " + model + "; run tools/fetch-model.sh"));
        QFile photo(testutils::dataPath("astronaut.png"));
        QVERIFY(photo.open(QIODevice::ReadOnly));
        const QByteArray bytes = photo.readAll();

        ServiceProcess service;
        QString error;
        QVERIFY2(service.start({"--engine", "isnet", "--model", model}, &error), qPrintable(error));
        // Re-executed with passive OpenMP waiting, under the process id it started as.
        QFile environ(QString("/proc/%1/environ").arg(service.process().processId()));
        QVERIFY(environ.open(QIODevice::ReadOnly));
        QVERIFY(environ.readAll().split('\0').contains("OMP_WAIT_POLICY=PASSIVE"));

        ServiceClient client(service.url());
        const ServiceReply created = client.upload("isnet-test", "1", bytes.toStdString());
        QCOMPARE(created.code(), 200);
        const ServiceReply done = client.waitFinished("isnet-test", created.serial(), 120000);
        QCOMPARE(done.jobStatus(), mattingprotocol::kStatusDone);
        const ServiceReply png = client.get(done.convertPath());
        QCOMPARE(png.status, 200);
        const cv::Mat cut =
            cv::imdecode(cv::Mat(1, int(png.body.size()), CV_8U, const_cast<char*>(png.body.data())),
                         cv::IMREAD_UNCHANGED);
        QCOMPARE(cut.type(), CV_8UC4);
        QCOMPARE(QSize(cut.cols, cut.rows), QSize(512, 512));

        cv::Mat alpha;
        cv::extractChannel(cut, alpha, 3);
        // The astronaut: head and shoulders in the middle-left, down to the bottom edge.
        const cv::Rect box = cv::boundingRect(alpha > 128);
        QVERIFY2(
            box.x < 100 && box.x + box.width > 380 && box.y < 60 && box.y + box.height > 500,
            qPrintable(
                QString("subject box %1,%2 %3x%4").arg(box.x).arg(box.y).arg(box.width).arg(box.height)));
        QVERIFY(alpha.at<uchar>(180, 230) > 200); // face
        // The flag and the shuttle behind are background.
        const cv::Rect topRight(400, 0, 112, 150);
        QVERIFY(cv::countNonZero(alpha(topRight) < 30) > topRight.area() * 8 / 10);
        const double transparent = double(cv::countNonZero(alpha < 30)) / alpha.total();
        QVERIFY2(transparent > 0.25, qPrintable(QString::number(transparent)));
    }
};

BRISEL_TEST_GUILESS_MAIN(TestIsnetService)
#include "tst_isnetservice.moc"
