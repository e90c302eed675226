// The int8 network against the float32 one it was quantized from, on photos it
// was not calibrated on: masks cut at one half must overlap almost entirely. And
// the float32 network as the service runs it (convolutions fused and packed at
// load) against OpenCV DNN's run of the same ONNX graph. Skipped when the models
// are not installed (tools/fetch-model.sh).

#include "isnetengine.h"
#include "serviceoptions.h"
#include "serviceprocess.h"
#include "testutils.h"

#include <QGuiApplication>
#include <QtTest>

#include <opencv2/dnn.hpp>
#include <opencv2/imgcodecs.hpp>

#include <fstream>
#include <memory>

Q_DECLARE_METATYPE(cv::Mat)

class TestIsnetFast : public QObject
{
    Q_OBJECT

    std::unique_ptr<IsnetEngine> exact, fast;

private slots:
    void initTestCase()
    {
        const std::string model = ServiceOptions::defaultModelPath();
        for (const std::string& path : {model, ServiceOptions::fastModelPath(model)})
            if (!std::ifstream(path).good())
                QSKIP(qPrintable(QString::fromStdString("model not installed: " + path)));
        exact = std::make_unique<IsnetEngine>(model, 2);
        fast = std::make_unique<IsnetEngine>(ServiceOptions::fastModelPath(model), 2);
    }

    void masksAgree_data()
    {
        QTest::addColumn<cv::Mat>("photo");
        for (const char* name : {"astronaut.png", "hair-busy.jpg", "products-studio.jpg"})
            QTest::newRow(name) << cv::imread(testutils::dataPath(name).toStdString(), cv::IMREAD_COLOR);
        QTest::newRow("disc on green") << photofixtures::discOnGreen(800, 600);
    }
    void masksAgree()
    {
        QFETCH(cv::Mat, photo);
        QVERIFY(!photo.empty());
        const cv::Mat a = exact->alpha(photo, false) > 0.5, b = fast->alpha(photo, false) > 0.5;
        QVERIFY(cv::countNonZero(a) > 1000); // a subject was found at all
        const double iou = double(cv::countNonZero(a & b)) / cv::countNonZero(a | b);
        QVERIFY2(iou >= 0.99, qPrintable(QString("IoU %1").arg(iou)));
    }

    void floatAgreesWithOpenCvDnn()
    {
        const std::string model = ServiceOptions::defaultModelPath();
        cv::dnn::Net net = cv::dnn::readNetFromONNX(model.substr(0, model.size() - 3) + "-fp32.onnx");
        const cv::Mat prepared = IsnetEngine::prepare(
            cv::imread(testutils::dataPath("astronaut.png").toStdString(), cv::IMREAD_COLOR));
        cv::Mat blob;
        cv::dnn::blobFromImage(prepared, blob, 1.0, cv::Size(), cv::Scalar(), false, false, CV_32F);
        net.setInput(blob);
        const cv::Mat theirs = net.forward();
        const double diff = cv::norm(exact->forward(prepared),
                                     cv::Mat(IsnetEngine::kInputSide, IsnetEngine::kInputSide, CV_32F,
                                             const_cast<float*>(theirs.ptr<float>())),
                                     cv::NORM_INF);
        QVERIFY2(diff <= 1e-4, qPrintable(QString::number(diff)));
    }
};

BRISEL_TEST_GUILESS_MAIN(TestIsnetFast)
#include "tst_isnetfast.moc"
