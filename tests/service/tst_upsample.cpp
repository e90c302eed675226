// The network's enlargements by two. The kernels against cv::resize, an
// independent bilinear resize, channel by channel; the operator against aten's
// (which it hands all but its own case to) and against the kernels; and a graph
// run through the interpreter after the pass has put the operator in.

// Torch uses `slots` as a name, which Qt defines as a macro: torch comes first.
#include <ATen/ATen.h>
#include <torch/csrc/jit/ir/irparser.h>
#include <torch/csrc/jit/runtime/graph_executor.h>

#include "testutils.h"
#include "upsample2x.h"
#include "upsampleop.h"

#include <QGuiApplication>
#include <QtTest>

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <vector>

namespace {

// cv::resize(INTER_LINEAR) to twice the size, channel by channel.
cv::Mat reference(const cv::Mat& img)
{
    std::vector<cv::Mat> planes;
    cv::split(img, planes);
    for (cv::Mat& plane : planes)
        cv::resize(plane, plane, cv::Size(), 2, 2, cv::INTER_LINEAR);
    cv::Mat out;
    cv::merge(planes, out);
    return out;
}

// The kernel over the rows in `calls` slices, as threads would share them.
template <class T> cv::Mat enlarged(const cv::Mat& img, int calls)
{
    cv::Mat out(2 * img.rows, 2 * img.cols, img.type());
    for (int k = 0; k < calls; ++k)
        upsample2x::rows(img.ptr<T>(), img.rows, img.cols, img.channels(), out.ptr<T>(), img.rows * k / calls,
                         img.rows * (k + 1) / calls);
    return out;
}

at::Tensor viaOp(const at::Tensor& x, int factor, bool alignCorners)
{
    const std::vector<int64_t> size{factor * x.size(2), factor * x.size(3)};
    return upsampleop::upsample(x, at::IntArrayRef(size), alignCorners, c10::nullopt);
}

} // namespace

class TestUpsample : public QObject
{
    Q_OBJECT

private slots:
    void kernels_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("calls");
        QTest::newRow("one pixel") << QSize(1, 1) << 1 << 1;
        QTest::newRow("one row") << QSize(9, 1) << 3 << 1;
        QTest::newRow("one column") << QSize(1, 7) << 16 << 1;
        QTest::newRow("odd sides, many channels") << QSize(13, 11) << 64 << 1;
        QTest::newRow("rows split over three calls") << QSize(37, 29) << 5 << 3;
        QTest::newRow("a feature map") << QSize(128, 96) << 32 << 2;
    }
    void kernels()
    {
        QFETCH(QSize, size);
        QFETCH(int, channels);
        QFETCH(int, calls);
        cv::Mat f(size.height(), size.width(), CV_32FC(channels));
        cv::randu(f, -3.0, 3.0);
        QVERIFY(cv::norm(enlarged<float>(f, calls), reference(f), cv::NORM_INF) < 1e-5);

        // Whole levels: the reference's sixteenths are exact, so rounding is checked
        // exactly, halves to even included.
        cv::Mat q(size.height(), size.width(), CV_8UC(channels)), qf;
        cv::randu(q, 0, 256);
        q.convertTo(qf, CV_32F);
        cv::Mat expected = reference(qf);
        expected.reshape(1).forEach<float>([](float& v, const int*) { v = std::nearbyint(v); });
        cv::Mat ours;
        enlarged<std::uint8_t>(q, calls).convertTo(ours, CV_32F);
        QCOMPARE(cv::norm(ours, expected, cv::NORM_INF), 0.0);
    }

    // `ownKernel`: the result is the kernel's, else aten's, to the last bit.
    void op_data()
    {
        QTest::addColumn<bool>("quantized");
        QTest::addColumn<bool>("channelsLast");
        QTest::addColumn<int>("factor");
        QTest::addColumn<bool>("alignCorners");
        QTest::addColumn<bool>("ownKernel");
        QTest::newRow("float, channels last") << false << true << 2 << false << true;
        QTest::newRow("uint8, channels last") << true << true << 2 << false << true;
        QTest::newRow("float, planar") << false << false << 2 << false << false;
        QTest::newRow("uint8, by three") << true << true << 3 << false << false;
        QTest::newRow("float, corners aligned") << false << true << 2 << true << false;
    }
    void op()
    {
        QFETCH(bool, quantized);
        QFETCH(bool, channelsLast);
        QFETCH(int, factor);
        QFETCH(bool, alignCorners);
        QFETCH(bool, ownKernel);
        at::manual_seed(7);
        at::Tensor x = at::rand({2, 6, 5, 7}); // two images: rows of both are shared out
        if (channelsLast)
            x = x.contiguous(at::MemoryFormat::ChannelsLast);
        if (quantized)
            x = at::quantize_per_tensor(x, 0.01, 3, at::kQUInt8);
        const at::Tensor ours = viaOp(x, factor, alignCorners);
        at::Tensor expected;
        if (ownKernel) {
            expected = quantized ? at::empty(ours.sizes(), at::kByte) : at::empty_like(ours);
            for (int64_t i = 0; i < x.size(0); ++i) {
                const at::Tensor img = (quantized ? x[i].int_repr() : x[i]).permute({1, 2, 0}).contiguous();
                const cv::Mat m(int(img.size(0)), int(img.size(1)), quantized ? CV_8UC(6) : CV_32FC(6),
                                img.data_ptr());
                const cv::Mat up = quantized ? enlarged<std::uint8_t>(m, 1) : enlarged<float>(m, 1);
                const at::Tensor t =
                    at::from_blob(up.data, {up.rows, up.cols, 6}, quantized ? at::kByte : at::kFloat);
                expected[i] = t.permute({2, 0, 1});
            }
        } else {
            const std::vector<int64_t> size{factor * x.size(2), factor * x.size(3)};
            expected = at::upsample_bilinear2d(x, at::IntArrayRef(size), alignCorners, c10::nullopt);
        }
        if (quantized) {
            QCOMPARE(ours.q_scale(), x.q_scale());
            QCOMPARE(ours.q_zero_point(), x.q_zero_point());
        }
        const at::Tensor a = quantized ? ours.int_repr() : ours;
        const at::Tensor b = quantized && !ownKernel ? expected.int_repr() : expected;
        QVERIFY(at::equal(a, b));
    }

    void graphRunsTheOperator()
    {
        auto graph = std::make_shared<torch::jit::Graph>();
        torch::jit::parseIR(R"IR(
graph(%x : Tensor):
  %size : int[] = prim::Constant[value=[10, 14]]()
  %aligned : bool = prim::Constant[value=0]()
  %scales : NoneType = prim::Constant()
  %y : Tensor = aten::upsample_bilinear2d(%x, %size, %aligned, %scales)
  return (%y))IR",
                            graph.get());
        upsampleop::install(*graph);
        int ours = 0, theirs = 0;
        for (const torch::jit::Node* node : graph->nodes()) {
            ours += node->kind().toQualString() == std::string("brisel::upsample_bilinear2d");
            theirs += node->kind().toQualString() == std::string("aten::upsample_bilinear2d");
        }
        QCOMPARE(ours, 1);
        QCOMPARE(theirs, 0);
        const at::Tensor x = at::rand({1, 4, 5, 7}).contiguous(at::MemoryFormat::ChannelsLast);
        torch::jit::GraphExecutor run(graph, "upsample");
        torch::jit::Stack stack{x};
        run.run(stack);
        QVERIFY(at::equal(stack.back().toTensor(), viaOp(x, 2, false)));
    }
};

BRISEL_TEST_GUILESS_MAIN(TestUpsample)
#include "tst_upsample.moc"
