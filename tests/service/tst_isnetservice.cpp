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
        ServiceProcess service;
        QString error;
        QVERIFY2(service.start({"--engine", "isnet", "--model", model}, &error), qPrintable(error));
        ServiceClient client(service.url());
        const ServiceReply created = client.upload(
            "isnet-test", "1", testutils::readFile(testutils::dataPath("astronaut.png")).toStdString());
        const ServiceReply done = client.waitFinished("isnet-test", created.serial(), 120000);
        QCOMPARE(done.jobStatus(), mattingprotocol::kStatusDone);
        const std::string png = client.get(done.convertPath()).body;
        const cv::Mat cut = cv::imdecode(std::vector<uchar>(png.begin(), png.end()), cv::IMREAD_UNCHANGED);
        QCOMPARE(cut.type(), CV_8UC4);
        QCOMPARE(QSize(cut.cols, cut.rows), QSize(512, 512));
        cv::Mat alpha;
        cv::extractChannel(cut, alpha, 3);
        // The astronaut fills the middle-left down to the bottom edge; the flag and
        // the shuttle behind, top right, are background.
        const cv::Rect box = cv::boundingRect(alpha > 128);
        QVERIFY(box.x < 100 && box.br().x > 380 && box.y < 60 && box.br().y > 500);
        QVERIFY(alpha.at<uchar>(180, 230) > 200); // face
        const cv::Rect topRight(400, 0, 112, 150);
        QVERIFY(cv::countNonZero(alpha(topRight) < 30) > topRight.area() * 8 / 10);
    }
};

BRISEL_TEST_GUILESS_MAIN(TestIsnetService)
#include "tst_isnetservice.moc"
